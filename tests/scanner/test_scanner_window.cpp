#include <QtTest>

#include "scanner/frm_scanner.h"
#include "scanner/scan_state.h"
#include "shell/frm_main.h"
#include "support/window_fixture.h"

class TestScannerWindow : public QObject {
    Q_OBJECT
    testsupport::WindowFixture f;

private slots:
    void init() { f.setUp(); }

    void loadsHiddenWithTargetControlsDisabled() {
        shell::FrmMain w;
        w.Form_Load("");
        QVERIFY(w.scannerLoaded());
        auto& s = w.frmScanner();
        QVERIFY(!s.isVisible());
        QCOMPARE(s.windowTitle(), QString("Survey Scanner"));
        QCOMPARE(s.status(), QString("Scanner Idle"));
        QCOMPARE(s.lblBaseFolder->text(), QString("C:\\Astronomy\\SNe"));
        for (QWidget* c : {static_cast<QWidget*>(s.fraStatus), static_cast<QWidget*>(s.cmdNext),
                           static_cast<QWidget*>(s.cmdExFind), static_cast<QWidget*>(s.cmdToggle)})
            QVERIFY(!c->isEnabled());
        QVERIFY(s.cmdStartScan->isEnabled());
        QCOMPARE(s.cmdToggle->text(), QString("Blink"));
        QCOMPARE(s.Label2_0->text(), QString("Object:"));
        QCOMPARE(s.Label2_1->text(), QString("Date of Reshot:"));
    }

    void emptyBaseFolderAsksForOne() {
        shell::FrmMain w;
        w.Form_Load("");
        auto& s = w.frmScanner();
        s.cmdBaseFolder->click(); // cancelled chooser empties the label
        QCOMPARE(s.lblBaseFolder->text(), QString());
        s.cmdStartScan->click();
        QCOMPARE(int(f.dialogs->messages.size()), 1);
        QCOMPARE(f.dialogs->messages[0].text, QString("You forgot to Enter a Base Folder"));
        QCOMPARE(f.dialogs->messages[0].title, QString("Please Choose Base Folder"));
        QCOMPARE(f.dialogs->messages[0].style, 64);
        QCOMPARE(s.status(), QString("Scanner Idle"));
    }

    void mainWindowButtonShowsTheScanner() {
        shell::FrmMain w;
        w.Form_Load("");
        scanner::examineFromScanner = true;
        w.txtPre->setText("/a.fts");
        w.cmdProcess->setEnabled(true);
        w.cmdpre->setEnabled(true);
        w.Timer1->start();
        w.cmdScan->click();
        QVERIFY(!scanner::examineFromScanner);
        QVERIFY(!w.cmdpre->isEnabled());
        QVERIFY(!w.cmdProcess->isEnabled()); // the reshot box is empty
        QVERIFY(!w.Timer1->isActive());
        QVERIFY(w.frmScanner().isVisible());
    }

    void toggleLooks() {
        shell::FrmMain w;
        auto& s = w.frmScanner();
        s.setBlinkLook(true);
        QCOMPARE(s.cmdToggle->text(), QString("Stop Blinking"));
        QVERIFY(s.isBlinking());
        s.setBlinkLook(false);
        QCOMPARE(s.cmdToggle->text(), QString("Blink"));
    }
};

QTEST_MAIN(TestScannerWindow)
#include "test_scanner_window.moc"
