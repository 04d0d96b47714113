// Runs under a German locale (see CMakeLists): numbers are written and read "2,5".
#include <QtTest>

#include <clocale>

#include "platform/profile_file.h"
#include "shell/frm_main.h"
#include "support/window_fixture.h"

class TestSettingsLocale : public QObject {
    Q_OBJECT
    testsupport::WindowFixture f;

private slots:
    // as the program's main does: Qt hands the user's locale to the C library
    // too, and FITS cards and star lines are read and written with "."
    void initTestCase() { std::setlocale(LC_NUMERIC, "C"); }
    void init() { f.setUp(); }

    void commaLocaleReadsAndWritesCommas() {
        QCOMPARE(QLocale::system().decimalPoint(), QString(","));
        {
            shell::FrmMain w;
            w.Form_Load("");
            QCOMPARE(w.cmbMaxMag->itemText(1), QString("10,5"));
            // The defaults are written with "."; in this locale they are
            // unreadable, keep their value and are rewritten the local way.
            QCOMPARE(shell::snrCatalog, 2.5);
            QCOMPARE(w.cmbCatStars->currentText(), QString("2,5"));
            QCOMPARE(platform::ReadProfileString(f.config(), "Solving", "SNRC"), std::string("2,5"));
            w.cmbImSub->setCurrentText("7,5");
            w.close();
        }
        f.dialogs->messages.clear();
        shell::FrmMain w;
        w.Form_Load("");
        QCOMPARE(shell::snrSubtracted, 7.5);
        QCOMPARE(w.cmbImSub->currentText(), QString("7,5"));
        QVERIFY(f.dialogs->messages.empty());
    }
};

QTEST_MAIN(TestSettingsLocale)
#include "test_settings_locale.moc"
