#include <QtTest>

#include <QDir>
#include <QFile>

#include "platform/profile_file.h"
#include "scanner/frm_scanner.h"
#include "shell/frm_main.h"
#include "support/window_fixture.h"

using shell::FrmMain;

namespace {
const char* const kDefaultFile =
    "[PinPointBasic]\nPath=C:\\USNO A2.0\nCat=1\n"
    "[Solving]\nCatMaxMag=18\nRawFlux=1000\nMaxMatchErr=5\nSNRC=2.5\nSNRI=2.5\nSNRP=5\n"
    "[SurveyScanner]\nBaseFolder=C:\\Astronomy\\SNe\n"
    "[Display]\nInverted=0\nCZoom=1\n";

QString read(const testsupport::WindowFixture& f, const char* section, const char* key) {
    return QString::fromStdString(platform::ReadProfileString(f.config(), section, key));
}
} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
    testsupport::WindowFixture f;

private slots:
    void init() { f.setUp(); }

    void firstStartWritesAndShowsTheDefaults() {
        FrmMain w;
        w.Form_Load("");
        QCOMPARE(QString::fromStdString(f.readConfig()), QString(kDefaultFile));
        QCOMPARE(w.windowTitle(), QString("Vospen"));
        QCOMPARE(w.cmbCat->currentText(), QString("USNO A2"));
        QCOMPARE(QString::fromStdString(shell::catalogCode), QString("5"));
        QCOMPARE(w.cmbMaxMag->currentText(), QString("18"));
        QCOMPARE(w.txtRawFlux->text(), QString("1000"));
        QCOMPARE(w.cmbMatchErr->currentText(), QString("5"));
        QCOMPARE(w.cmbCatStars->currentText(), QString("2.5"));
        QCOMPARE(w.cmbImPRe->currentText(), QString("2.5"));
        QCOMPARE(w.cmbImSub->currentText(), QString("5"));
        QCOMPARE(w.lblPiPoPath->text(), QString("C:\\USNO A2.0"));
        QCOMPARE(w.frmScanner().lblBaseFolder->text(), QString("C:\\Astronomy\\SNe"));
        QVERIFY(!w.chkInvert->isChecked());
        QVERIFY(w.chkZoom->isChecked());
        QCOMPARE(shell::matchTolerance, 5.0 / 3600.0);
        QCOMPARE(shell::snrSubtracted, 5.0);
        QVERIFY(!w.cmdProcess->isEnabled());
        QVERIFY(!w.frmScanner().isVisible());
        QCOMPARE(w.HScroll1->maximum(), 646);
        QCOMPARE(w.VScroll1->minimum(), 50);
        QCOMPARE(w.VScroll1->maximum(), 470);
        QVERIFY(f.dialogs->messages.empty());
    }

    void combosHoldTheirRanges() {
        FrmMain w;
        w.FillCombos();
        QCOMPARE(w.cmbCat->count(), 3);
        QCOMPARE(w.cmbCat->itemText(0), QString("GSC ACT"));
        QCOMPARE(w.cmbCat->itemText(2), QString("UCAC 2"));
        QCOMPARE(w.cmbCat->currentIndex(), 1);
        QCOMPARE(w.cmbMaxMag->count(), 21);
        QCOMPARE(w.cmbMaxMag->itemText(1), QString("10.5"));
        QCOMPARE(w.cmbMaxMag->itemText(20), QString("20"));
        for (QComboBox* c : {w.cmbCatStars, w.cmbImPRe, w.cmbImSub}) {
            QCOMPARE(c->count(), 27);
            QCOMPARE(c->itemText(0), QString("2"));
            QCOMPARE(c->itemText(26), QString("15"));
        }
        QCOMPARE(w.cmbMatchErr->count(), 21);
        QCOMPARE(w.cmbMatchErr->itemText(0), QString("0"));
        QCOMPARE(w.cmbMatchErr->itemText(20), QString("10"));
    }

    void storedValuesAreShownAndSavedBack() {
        f.writeConfig(std::string(kDefaultFile) + "[Foreign]\nmine=kept\n");
        platform::WriteProfileString(f.config(), "Solving", "MaxMatchErr", "2.5");
        platform::WriteProfileString(f.config(), "PinPointBasic", "Cat", "0");
        platform::WriteProfileString(f.config(), "Display", "Inverted", "1");
        {
            FrmMain w;
            w.Form_Load("");
            QCOMPARE(shell::matchTolerance, 2.5 / 3600.0);
            QCOMPARE(w.cmbMatchErr->currentText(), QString("3"));
            QCOMPARE(w.cmbCat->currentText(), QString("GSC ACT"));
            QCOMPARE(QString::fromStdString(shell::catalogCode), QString("3"));
            QVERIFY(w.chkInvert->isChecked());
            // Applying "Inverted" counts as a change: the empty picture is inverted once.
            QCOMPARE(w.picMain->surface().pixel(10, 10), qRgb(0, 0, 0));
            w.close();
        }
        QCOMPARE(read(f, "Solving", "MaxMatchErr"), QString("3"));
        QCOMPARE(read(f, "Foreign", "mine"), QString("kept"));
        QCOMPARE(read(f, "Display", "Inverted"), QString("1"));
    }

    void catalogPositionTwoAndMinusOne() {
        f.writeConfig(kDefaultFile);
        platform::WriteProfileString(f.config(), "PinPointBasic", "Cat", "2");
        {
            FrmMain w;
            w.Form_Load("");
            QCOMPARE(QString::fromStdString(shell::catalogCode), QString("6"));
        }
        platform::WriteProfileString(f.config(), "PinPointBasic", "Cat", "-1");
        FrmMain w;
        w.Form_Load("");
        QCOMPARE(w.cmbCat->currentIndex(), -1);
        QCOMPARE(QString::fromStdString(shell::catalogCode), QString("6")); // unchanged
        QVERIFY(f.dialogs->messages.empty());
    }

    void unreadableValuesTakeDefaultsAndNothingValidIsLost() {
        const std::string longPath = "/home/observer/catalogs/USNO-A2.0 full copy from the CDs";
        f.writeConfig("[PinPointBasic]\nPath=" + longPath +
                      "\nCat=7\n[Solving]\nCatMaxMag=16\nRawFlux=abc\nMaxMatchErr=4\n"
                      "SNRC=3\nSNRI=\nSNRP=6\n[SurveyScanner]\n[Display]\nInverted=x\nCZoom=0\n");
        FrmMain w;
        w.Form_Load("");
        QCOMPARE(QString::fromStdString(shell::catalogPath), QString::fromStdString(longPath));
        QCOMPARE(w.cmbCat->currentIndex(), 1);
        QCOMPARE(shell::catalogMaxMag, 16.0);
        QCOMPARE(shell::minRawFlux, 1000.0);
        QCOMPARE(shell::snrCatalog, 3.0);
        QCOMPARE(shell::snrImages, 2.5);
        QCOMPARE(shell::snrSubtracted, 6.0);
        QVERIFY(!w.chkZoom->isChecked());
        // rewritten at once
        QCOMPARE(read(f, "PinPointBasic", "Path"), QString::fromStdString(longPath));
        QCOMPARE(read(f, "PinPointBasic", "Cat"), QString("1"));
        QCOMPARE(read(f, "Solving", "RawFlux"), QString("1000"));
        QCOMPARE(read(f, "Solving", "SNRI"), QString("2.5"));
        QCOMPARE(read(f, "Solving", "CatMaxMag"), QString("16"));
        QCOMPARE(read(f, "SurveyScanner", "BaseFolder"), QString("C:\\Astronomy\\SNe"));
        QCOMPARE(read(f, "Display", "Inverted"), QString("0"));
        QCOMPARE(read(f, "Display", "CZoom"), QString("0"));
        QVERIFY(f.dialogs->messages.empty());
    }

    void longCatalogPathSurvivesARestart() {
        const QString path = "/srv/astro/catalogs/usno-a2.0/complete-set-of-all-eleven-cds";
        QCOMPARE(path.size(), 60);
        {
            FrmMain w;
            w.Form_Load("");
            f.dialogs->folders.push_back(path);
            w.cmdPiPoPath->click();
            QCOMPARE(QString::fromStdString(shell::catalogPath), path);
            w.close();
        }
        FrmMain w;
        w.Form_Load("");
        QCOMPARE(w.lblPiPoPath->text(), path);
        QCOMPARE(f.dialogs->folderTitles.front(), QString("Please choose a folder"));
    }

    void cancelledCatalogChooserEmptiesThePath() {
        FrmMain w;
        w.Form_Load("");
        w.cmdPiPoPath->click();
        QCOMPARE(w.lblPiPoPath->text(), QString());
        QCOMPARE(QString::fromStdString(shell::catalogPath), QString());
    }

    void rawFluxAcceptsOnlyNumbers() {
        FrmMain w;
        w.Form_Load("");
        w.txtRawFlux->setText("abc");
        QCOMPARE(w.txtRawFlux->text(), QString("1000"));
        w.txtRawFlux->setText("250.5");
        QCOMPARE(w.txtRawFlux->text(), QString("250.5"));
        w.txtRawFlux->clear();
        QCOMPARE(w.txtRawFlux->text(), QString("1000"));
    }

    void changedSettingsApplyOnlyAfterRestart() {
        FrmMain w;
        w.Form_Load("");
        w.cmbMaxMag->setCurrentText("16.5");
        w.cmbCat->setCurrentIndex(2);
        QCOMPARE(shell::catalogMaxMag, 18.0);
        QCOMPARE(QString::fromStdString(shell::catalogCode), QString("5"));
        w.close();
        QCOMPARE(read(f, "Solving", "CatMaxMag"), QString("16.5"));
        QCOMPARE(read(f, "PinPointBasic", "Cat"), QString("2"));
    }

    void unwritableConfigSaysSoAndTriesToRepair() {
        FrmMain w;
        w.Form_Load("");
        QFile::remove(QString::fromStdString(f.config()));
        QDir().mkpath(QString::fromStdString(f.config())); // a folder where the file belongs
        w.SaveSettings();
        QCOMPARE(int(f.dialogs->messages.size()), 1);
        QCOMPARE(f.dialogs->messages[0].title, QString("Configfile is broken..."));
        QCOMPARE(f.dialogs->messages[0].text,
                 QString("Something is wrong with the\r\nConfiguration-File. Trying to repair..."));
        QCOMPARE(f.dialogs->messages[0].style, 64);
    }

    void processingCommandLineFillsTheWindow() {
        FrmMain w;
        w.Form_Load("ref.fts,new.fts,/some/catalog,2");
        QCOMPARE(w.txtPre->text(), QString("ref.fts"));
        QCOMPARE(w.txtRe->text(), QString("new.fts"));
        QCOMPARE(QString::fromStdString(w.referencePath), QString("ref.fts"));
        QCOMPARE(QString::fromStdString(w.reshotPath), QString("new.fts"));
        QCOMPARE(w.lblPiPoPath->text(), QString("/some/catalog"));
        QCOMPARE(QString::fromStdString(shell::catalogPath), QString("/some/catalog"));
        QCOMPARE(w.cmbCat->currentIndex(), 2);
        QCOMPARE(QString::fromStdString(shell::catalogCode), QString("5")); // next start
        // the run starts at once; these files do not exist, so it stops and the program ends
        QCOMPARE(int(f.dialogs->messages.size()), 1);
        QVERIFY(f.dialogs->messages[0].text.contains("ref.fts"));
        QCOMPARE(f.dialogs->messages[0].title, QString("Vospen"));
        QVERIFY(w.runFailed);
        QVERIFY(w.isUnloaded());
    }

    void scannerCommandLineOpensBothWindows() {
        QTemporaryDir survey;
        {
            FrmMain w;
            w.Form_Load(survey.path());
            QVERIFY(w.isVisible());
            QVERIFY(w.frmScanner().isVisible());
            QCOMPARE(w.frmScanner().lblBaseFolder->text(), survey.path());
            QCOMPARE(w.frmScanner().status(), QString("Scanning Finished!"));
            QVERIFY(w.frmScanner().windowFlags() & Qt::WindowStaysOnTopHint);
        }
        FrmMain w;
        w.Form_Load("/no/such/folder/anywhere");
        QCOMPARE(w.frmScanner().lblBaseFolder->text(), f.home->path());
    }

    void malformedCommandLineExplainsAndEnds() {
        for (const char* bad : {"a.fts,b.fts", "a.fts,b.fts,/cat", "a.fts,b.fts,/cat,two"}) {
            f.dialogs->messages.clear();
            FrmMain w;
            w.Form_Load(bad);
            QCOMPARE(int(f.dialogs->messages.size()), 1);
            QCOMPARE(f.dialogs->messages[0].title, QString("Vospen"));
            QVERIFY(f.dialogs->messages[0].text.contains(
                "reference,reshot,catalog folder,catalog index"));
            QVERIFY(w.runFailed);
            QVERIFY(w.isUnloaded());
            QVERIFY(w.txtPre->text().isEmpty());
        }
    }

    void choosingImagesEnablesProcessOnlyWithBoth() {
        FrmMain w;
        w.Form_Load("");
        f.dialogs->files.push_back("/data/ref.fts");
        w.cmddiag1->click();
        QCOMPARE(w.txtPre->text(), QString("/data/ref.fts"));
        QVERIFY(!w.cmdProcess->isEnabled());
        QVERIFY(f.dialogs->fileFilters.back().startsWith("FITS-Files (*.fts, *.fits, *.fit)|"));

        w.lstSuspicious->addItem("1 2 15.0 100");
        w.cmddiag1->click(); // cancelled
        QCOMPARE(w.txtPre->text(), QString("/data/ref.fts"));
        QVERIFY(w.referencePath.empty());
        QCOMPARE(w.lstSuspicious->count(), 1); // a cancelled dialog resets nothing

        f.dialogs->files.push_back("/data/new.fts");
        w.cmddiag2->click();
        QCOMPARE(QString::fromStdString(w.reshotPath), QString("/data/new.fts"));
        QCOMPARE(w.lstSuspicious->count(), 0);
        QCOMPARE(w.Label3->text(), QString(" Suspicious Stars"));
        QCOMPARE(w.Label1->text(), QString(" Stars in Reference"));
        QVERIFY(w.cmdProcess->isEnabled());
    }

    void helpOpensTheManualOrSaysItIsMissing() {
        FrmMain w;
        w.Form_Load("");
        w.mnuHelp->trigger();
        QCOMPARE(int(f.dialogs->messages.size()), 1);
        QCOMPARE(f.dialogs->messages[0].title, QString("Helpfile not found"));
        QCOMPARE(f.dialogs->messages[0].text,
                 QString("Help is not available\r\nPlease check your files"));

        QFile html(f.home->filePath("Vospen.html"));
        QVERIFY(html.open(QIODevice::WriteOnly));
        html.close();
        w.mnuHelp->trigger();
        QCOMPARE(f.dialogs->openedDocuments.back(), f.home->filePath("Vospen.html"));

        QFile chm(f.home->filePath("Vospen.chm"));
        QVERIFY(chm.open(QIODevice::WriteOnly));
        chm.close();
        w.mnuHelp->trigger();
        QCOMPARE(f.dialogs->openedDocuments.back(), f.home->filePath("Vospen.chm"));
        QCOMPARE(int(f.dialogs->messages.size()), 1);
    }

    void aboutBox() {
        FrmMain w;
        w.menAbout->trigger();
        QCOMPARE(f.dialogs->messages.back().title, QString("About the Author.."));
        const QStringList lines = f.dialogs->messages.back().text.split("\r\n");
        QCOMPARE(lines.size(), 4);
        QVERIFY(lines[0].contains("Vospen"));
        QCOMPARE(lines[1], QString());
        QCOMPARE(lines[2], QString("Version Number: 1.0.1"));
        QCOMPARE(lines[3], QString("Version Date: 2007-11-10"));
        QCOMPARE(f.dialogs->messages.back().style, 64);
    }

    void closingWithoutAnyRunSavesTheSettings() {
        FrmMain w;
        w.Form_Load("");
        QVERIFY(!w.engineApp);
        w.txtRawFlux->setText("2500");
        w.chkZoom->setChecked(false);
        w.frmScanner().lblBaseFolder->setText("/surveys/night");
        w.close();
        QVERIFY(w.isUnloaded());
        QCOMPARE(read(f, "Solving", "RawFlux"), QString("2500"));
        QCOMPARE(read(f, "Display", "CZoom"), QString("0"));
        QCOMPARE(read(f, "SurveyScanner", "BaseFolder"), QString("/surveys/night"));
    }

    void captionsAsTheyStand() {
        FrmMain w;
        QCOMPARE(w.chkInvert->text(), QString("Inverted Display "));
        QCOMPARE(w.Label2->text(), QString(" Catalog Stars in Reshot"));
        QCOMPARE(w.Label13->text(), QString("max. Matching Error [\"]"));
        QCOMPARE(w.cmdUnid->text(), QString("Show Suspicous"));
        QCOMPARE(w.fraPiPo->title(), QString("PinPoint Settings"));
        QCOMPARE(w.picMain->surface().size(), QSize(696, 520));
        QCOMPARE(w.picZoom->surface().size(), QSize(205, 205));
        QCOMPARE(w.Timer1->interval(), 200);
        QVERIFY(!w.Timer1->isActive() && !w.Timer2->isActive());
        QVERIFY(w.lblDownload->isHidden());
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
