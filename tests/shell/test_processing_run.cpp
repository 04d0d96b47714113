// The processing run from the window, on simulated pairs.
#include <QtTest>

#include <fitsio.h>

#include <filesystem>

#include "support/files.h"
#include <fstream>
#include <sstream>

#include "display/image_view.h"
#include "display/zoom.h"
#include "pair.h"
#include "processing/work_folder.h"
#include "platform/fits_handle.h"
#include "shell/frm_main.h"
#include "support/window_fixture.h"

namespace fs = std::filesystem;
using shell::FrmMain;

namespace {
skysim::Pair makePair(const fs::path& dir, bool solution, std::uint64_t seed = 7, double density = 1500) {
    skysim::PairOptions o;
    o.density = density;
    o.out = dir.string();
    o.width = 640;
    o.height = 480;
    o.seed = seed;
    o.solution = solution;
    o.supernovae = {14.5};
    o.object = "  NGC 1234 ";
    auto p = skysim::MakePair(o);
    skysim::WritePair(o, p);
    return p;
}
} // namespace

class TestProcessingRun : public QObject {
    Q_OBJECT
    testsupport::WindowFixture f;
    fs::path root, solved, unsolved, starless;
    skysim::Pair pair;

    QString commandLine(const fs::path& ref, const fs::path& reshot, const fs::path& catalog) {
        return QString::fromStdString(ref.string() + "," + reshot.string() + "," + catalog.string() + ",1");
    }

private slots:
    void initTestCase() {
        root = fs::temp_directory_path() / ("vospen-run-" + std::to_string(::getpid()));
        solved = root / "solved";
        unsolved = root / "unsolved";
        pair = makePair(solved, true);
        makePair(unsolved, false);
        starless = root / "starless";
        makePair(starless, true, 7, 0); // the galaxy and the supernova alone: nothing to solve on
    }
    void cleanupTestCase() { fs::remove_all(root); }
    void init() {
        f.setUp();
        fs::remove_all(solved / "current");
        fs::remove_all(unsolved / "current");
        fs::remove_all(starless / "current");
    }

    void aSuccessfulRunShowsTheReshotWithTheSuspiciousStars() {
        FrmMain w;
        w.Form_Load(commandLine(solved / "reference.fts", solved / "reshot.fts", solved / "catalog"));
        QVERIFY2(f.dialogs->messages.empty(),
                 f.dialogs->messages.empty() ? "" : qPrintable(f.dialogs->messages[0].text));
        QVERIFY(!w.runFailed);
        QCOMPARE(QString::fromStdString(w.workFolder), QString::fromStdString((solved / "current").string() + "/"));
        for (const char* p : {"Subtracted.fts", "Subtracted.jpg", "ReferenceImage.fts", "ReferenceImage.jpg",
                              "ReshotImage.fts", "ReshotImage.jpg", "NGC 1234_ProcessLog.txt"})
            QVERIFY2(fs::exists(solved / "current" / p), p);
        QVERIFY(w.lstSuspicious->count() > 0);
        QCOMPARE(w.Label3->text(), QString::number(w.lstSuspicious->count()) + " Suspicous Stars");
        // the supernova is among them, within a pixel
        const auto& sn = pair.reshot.supernovae.at(0);
        bool found = false;
        for (int i = 0; i < w.lstSuspicious->count(); ++i) {
            const QStringList f = w.lstSuspicious->item(i)->text().split(' ');
            if (std::hypot(f[0].toDouble() - sn.x, f[1].toDouble() - sn.y) <= 1.0) found = true;
        }
        QVERIFY(found);
        QVERIFY(w.cmdpre->isEnabled());
        QVERIFY(!w.cmdre->isEnabled());
        for (QPushButton* b : {w.cmdsub, w.cmbBlink, w.cmdcat, w.cmdIm, w.cmdUnid, w.cmdcheck, w.cmdGetDSS})
            QVERIFY(b->isEnabled());
        QVERIFY(!w.engineApp && !w.docReference && !w.docReshot && !w.docSubtracted);
        QVERIFY(w.picMain->surface().pixel(300, 200) != qRgb(255, 255, 255)); // a picture is on show

        // the log, byte for byte
        const std::string log = testsupport::Slurp(solved / "current" / "NGC 1234_ProcessLog.txt");
        const std::string expected = "##Reference##\r\nFile: " + (solved / "reference.fts").string() +
                                     "\r\nDate/Time: 2025-10-02T22:10:14\r\nExposure: 60.\r\nBinning: 1*1\r\n"
                                     "Filter: Clear\r\n\r\n##ReShot##\r\nFile: " +
                                     (solved / "reshot.fts").string() +
                                     "\r\nDate/Time: 2026-11-20T21:05:37\r\nExposure: 60.\r\nBinning: 1*1\r\n"
                                     "Filter: Clear\r\n";
        QCOMPARE(QString::fromStdString(log), QString::fromStdString(expected));

        // show buttons
        w.cmdpre->click();
        QVERIFY(!w.cmdpre->isEnabled() && w.cmdre->isEnabled());
        w.cmdsub->click();
        QVERIFY(w.cmdpre->isEnabled() && w.cmdre->isEnabled());
        w.cmdre->click();
        QVERIFY(w.cmdpre->isEnabled() && !w.cmdre->isEnabled());
        w.cmdIm->click();
        QVERIFY(w.Label2->text().endsWith(" ImageStars in Reshot"));
        w.cmdcat->click();
        QVERIFY(w.Label2->text().endsWith(" CatalogStars in Reshot"));
        QVERIFY(w.Label2->text().split(' ')[0].toInt() > 2);
        w.cmdpre->click();
        w.cmdIm->click();
        QVERIFY(w.Label1->text().endsWith(" ImageStars in Preshot"));
        QVERIFY(f.dialogs->messages.empty());
        // inverting twice gives the picture back
        const QImage before = w.picMain->surface();
        w.chkInvert->setChecked(true);
        QVERIFY(w.picMain->surface() != before);
        w.chkInvert->setChecked(false);
        QCOMPARE(w.picMain->surface(), before);
    }

    void theCheckFindsTheSupernovaAndTheBlinkAlternates() {
        FrmMain w;
        w.Form_Load(commandLine(solved / "reference.fts", solved / "reshot.fts", solved / "catalog"));
        QVERIFY(f.dialogs->messages.empty());
        w.cmdcheck->click();
        QVERIFY(f.dialogs->messages.empty());
        QCOMPARE(w.lstCandidates->count(), w.lstUnidentified->count());
        QVERIFY(w.lstCandidates->count() >= 1);
        QVERIFY(w.lstCandidates->count() <= 2); // the supernova and at most one other
        const auto& sn = pair.reshot.supernovae.at(0);
        bool found = false;
        for (int i = 0; i < w.lstUnidentified->count(); ++i) {
            const QStringList p = w.lstUnidentified->item(i)->text().split(' ');
            if (std::hypot(p[0].toDouble() - sn.x, p[1].toDouble() - sn.y) <= 1.0) {
                found = true;
                QVERIFY(w.lstCandidates->item(i)->text().startsWith("RA: "));
            }
        }
        QVERIFY(found);
        QVERIFY(!w.cmdre->isEnabled()); // the reshot is on show
        w.lstCandidates->setCurrentRow(0);
        QVERIFY(w.txtCard->toPlainText().isEmpty());
        w.lstCandidates_Click(); // zooms on the star: the zoom centre moves
        QVERIFY(display::zoomCenterX != 0 || display::zoomCenterY != 0);
        // and shows its card; the entry's text stays as it was
        const QString card = w.txtCard->toPlainText();
        QVERIFY(card.startsWith(w.lstCandidates->item(0)->text()));
        QVERIFY(card.contains("Minor planets: not made: No orbit file"));
        QVERIFY(card.contains("Magnitude: "));
        QVERIFY(card.contains("From the nucleus: "));

        // blink: reference first, then the reshot; a restart goes on with the next picture
        QVERIFY(!w.blinkPhase);
        w.cmbBlink->click();
        QVERIFY(w.Timer1->isActive());
        QCOMPARE(w.cmbBlink->text(), QString("Stop Blinking"));
        w.Timer1_Timer();
        QVERIFY(!w.cmdpre->isEnabled()); // the reference
        w.Timer1_Timer();
        QVERIFY(!w.cmdre->isEnabled()); // the reshot
        w.Timer1_Timer();
        w.cmbBlink->click();
        QCOMPARE(w.cmbBlink->text(), QString("Blink"));
        QVERIFY(!w.Timer1->isActive());
        QVERIFY(w.blinkPhase); // the reshot comes next
        w.cmbBlink->click();
        w.cmddiag1_Click(); // cancelled: nothing is reset
        QVERIFY(w.Timer1->isActive());
        f.dialogs->files.push_back(QString::fromStdString((solved / "reference.fts").string()));
        w.cmddiag1_Click(); // a new file: the reset stops the blink
        QVERIFY(!w.Timer1->isActive());
        QCOMPARE(w.cmbBlink->text(), QString("Blink"));
    }

    void nothingFoundStartsTheBlink() {
        skysim::PairOptions o;
        o.out = (root / "quiet").string();
        o.width = 640;
        o.height = 480;
        o.seed = 9;
        o.cosmicRays = false;
        o.hotPixels = false;
        o.galaxy = false;
        o.reference.seeing = o.reshot.seeing = 3.0;
        skysim::WritePair(o, skysim::MakePair(o));
        FrmMain w;
        w.Form_Load(commandLine(root / "quiet" / "reference.fts", root / "quiet" / "reshot.fts", root / "quiet" / "catalog"));
        QVERIFY(f.dialogs->messages.empty());
        w.cmdcheck->click();
        QCOMPARE(w.lstUnidentified->count(), 0);
        QCOMPARE(w.lstCandidates->count(), 1);
        QCOMPARE(w.lstCandidates->item(0)->text(), QString("No unidentifyable Stars in Image"));
        QVERIFY(w.Timer1->isActive());
        w.lstCandidates->setCurrentRow(0);
        w.lstCandidates_Click(); // no star line behind it: nothing happens
        QVERIFY(w.txtCard->toPlainText().isEmpty());
    }

    void unsolvedReferenceStopsBeforeAnything() {
        FrmMain w;
        w.Form_Load("");
        w.txtPre->setText(QString::fromStdString((unsolved / "reference.fts").string()));
        w.txtRe->setText(QString::fromStdString((solved / "reshot.fts").string()));
        w.cmdProcess_Click();
        QCOMPARE(int(f.dialogs->messages.size()), 1);
        QCOMPARE(f.dialogs->messages[0].text, QString("Reference image not plate solved - cannot continue"));
        QCOMPARE(f.dialogs->messages[0].style, 0);
        QVERIFY(w.runFailed);
        QVERIFY(!fs::exists(solved / "current"));
        QVERIFY(!w.docReference && !w.docReshot);
        QVERIFY(!w.isUnloaded()); // an interactive run leaves the program open
    }

    // The two images are read at once; what is reported is still the
    // reference's trouble first, whatever the reshot's.
    void theReferencesFailureIsReportedBeforeTheReshots() {
        const std::string missing = (root / "nowhere.fts").string();
        const std::pair<std::string, QString> cases[] = {
            {(unsolved / "reference.fts").string(), "Reference image not plate solved - cannot continue"},
            {(root / "also-nowhere.fts").string(), "also-nowhere.fts"},
        };
        for (const auto& [reference, expected] : cases) {
            f.dialogs->messages.clear();
            FrmMain w;
            w.Form_Load("");
            w.txtPre->setText(QString::fromStdString(reference));
            w.txtRe->setText(QString::fromStdString(missing));
            w.cmdProcess_Click();
            QCOMPARE(int(f.dialogs->messages.size()), 1);
            QVERIFY2(f.dialogs->messages[0].text.contains(expected), qPrintable(f.dialogs->messages[0].text));
            QVERIFY(w.runFailed);
        }
    }

    void unsolvedReshotWritesNoLog() {
        FrmMain w;
        w.Form_Load("");
        w.txtPre->setText(QString::fromStdString((solved / "reference.fts").string()));
        w.txtRe->setText(QString::fromStdString((unsolved / "reshot.fts").string()));
        w.cmdProcess_Click();
        QCOMPARE(f.dialogs->messages.at(0).text, QString("Target image not plate solved - cannot continue"));
        QVERIFY(!fs::exists(unsolved / "current"));
    }

    void failedSolveKeepsTheLogAndTheFirstCopy() {
        FrmMain w;
        w.Form_Load("");
        // no catalog, and too few stars to solve against the reshot's own
        shell::catalogPath = (root / "no-catalog").string();
        const fs::path solved = starless;
        w.txtPre->setText(QString::fromStdString((solved / "reference.fts").string()));
        w.txtRe->setText(QString::fromStdString((solved / "reshot.fts").string()));
        // an older run's product stays as it was; the reshot's are written ahead of the solve
        fs::create_directories(solved / "current");
        std::ofstream(solved / "current" / "ReshotImage.fts") << "older run";
        w.cmdProcess_Click();
        QCOMPARE(f.dialogs->messages.at(0).text,
                 QString("Plate solving of aligned reference image failed - cannot continue"));
        QVERIFY(fs::exists(solved / "current" / "NGC 1234_ProcessLog.txt"));
        QVERIFY(fs::exists(solved / "current" / "Subtracted.fts"));
        QVERIFY(!fs::exists(solved / "current" / "Subtracted.jpg"));
        QCOMPARE(fs::file_size(solved / "current" / "ReshotImage.fts"), std::uintmax_t{9});
        QVERIFY(!fs::exists(solved / "current" / "ReshotImage.jpg"));
        for (const auto& e : fs::directory_iterator(solved / "current"))
            QVERIFY2(e.path().extension() != ".pending", qPrintable(QString::fromStdString(e.path().string())));
        QCOMPARE(w.lstSuspicious->count(), 0);
        QVERIFY(!w.docSubtracted);
        // the engine's reason: as the message's detail and in the log
        const QString detail = f.dialogs->messages.at(0).detail;
        QVERIFY2(detail.contains("no-catalog") && detail.contains("Too few stars"), qPrintable(detail));
        std::ifstream log(solved / "current" / "NGC 1234_ProcessLog.txt", std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(log)), {});
        QVERIFY(text.find("Plate solving of aligned reference image failed - cannot continue: ") != std::string::npos);
        QVERIFY(text.find("Too few stars") != std::string::npos);
    }

    // A run stopped part-way leaves no log: a folder whose log is missing holds
    // a run cut short, whatever an older run left beside it. No temporary
    // file stays behind, and a finished run's log replaces the older one.
    void aRunCutShortLeavesNoLogOfItself() {
        const fs::path current = solved / "current";
        {
            FrmMain w;
            w.Form_Load(commandLine(solved / "reference.fts", solved / "reshot.fts", solved / "catalog"));
            QVERIFY(f.dialogs->messages.empty());
        }
        QVERIFY(fs::exists(current / "NGC 1234_ProcessLog.txt"));
        fs::remove(current / "ReshotImage.fts");
        fs::create_directories(current / "ReshotImage.fts" / "x"); // the last product cannot be written
        {
            FrmMain w;
            w.Form_Load(commandLine(solved / "reference.fts", solved / "reshot.fts", solved / "catalog"));
            QCOMPARE(int(f.dialogs->messages.size()), 1);
            QVERIFY(w.runFailed);
        }
        QVERIFY(!fs::exists(current / "NGC 1234_ProcessLog.txt"));
        for (const auto& e : fs::directory_iterator(current))
            QVERIFY2(e.path().extension() != ".part", qPrintable(QString::fromStdString(e.path().string())));
        fs::remove_all(current / "ReshotImage.fts");
    }

    void withoutACatalogTheReferenceIsSolvedAgainstTheReshotsStars() {
        FrmMain w;
        w.Form_Load("");
        shell::catalogPath = (root / "no-catalog").string();
        w.txtPre->setText(QString::fromStdString((solved / "reference.fts").string()));
        w.txtRe->setText(QString::fromStdString((solved / "reshot.fts").string()));
        w.cmdProcess_Click();
        QVERIFY2(f.dialogs->messages.empty(),
                 f.dialogs->messages.empty() ? "" : qPrintable(f.dialogs->messages[0].text));
        QVERIFY(!w.runFailed);
        QVERIFY(w.lstSuspicious->count() > 0);
        std::ifstream log(solved / "current" / "NGC 1234_ProcessLog.txt", std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(log)), {});
        QVERIFY2(text.find("Solved against the stars of reshot.fts") != std::string::npos, text.c_str());
        std::ifstream ref(solved / "current" / "ReferenceImage.fts", std::ios::binary);
        const std::string cards((std::istreambuf_iterator<char>(ref)), {});
        QVERIFY(cards.find("stars of reshot.fts (no catalog covers the field)") != std::string::npos);
    }

    void aReshotWithoutObjectNamesTheLogAfterItsFile() {
        const fs::path dir = root / "no-object";
        fs::create_directories(dir);
        fs::copy_file(solved / "reference.fts", dir / "reference.fts", fs::copy_options::overwrite_existing);
        fs::copy_file(solved / "reshot.fts", dir / "night 2.fts", fs::copy_options::overwrite_existing);
        {
            int status = 0;
            fitsfile* raw = nullptr;
            fits_open_file(&raw, (dir / "night 2.fts").c_str(), READWRITE, &status);
            platform::FitsFile file(raw);
            fits_delete_key(file.get(), "OBJECT", &status);
            QCOMPARE(status, 0);
        }
        FrmMain w;
        w.Form_Load(commandLine(dir / "reference.fts", dir / "night 2.fts", solved / "catalog"));
        QVERIFY2(f.dialogs->messages.empty(),
                 f.dialogs->messages.empty() ? "" : qPrintable(f.dialogs->messages[0].text));
        QVERIFY(!w.runFailed);
        std::ifstream log(dir / "current" / "night 2_ProcessLog.txt", std::ios::binary);
        QVERIFY(log.good());
        const std::string text((std::istreambuf_iterator<char>(log)), {});
        QVERIFY(text.find("no OBJECT keyword") != std::string::npos);
    }

    void emptyBoxMeansNoRun() {
        FrmMain w;
        w.Form_Load("");
        w.txtPre->setText(QString::fromStdString((solved / "reference.fts").string()));
        w.cmdProcess_Click();
        QVERIFY(f.dialogs->messages.empty());
        QVERIFY(!fs::exists(solved / "current"));
    }

    void outputFoldersAndObjectNames() {
        QCOMPARE(QString::fromStdString(processing::WorkFolder("/img/new.fts", false)), QString("/img/current/"));
        QCOMPARE(QString::fromStdString(processing::WorkFolder("/survey/M51/12/new.fts", true)),
                 QString("/survey/M51/current/"));
        QCOMPARE(QString::fromStdString(processing::WorkFolder("new.fts", false)), QString("current/"));
        QCOMPARE(QString::fromStdString(processing::SafeObjectName("  NGC 1234 ")), QString("NGC 1234"));
        QCOMPARE(QString::fromStdString(processing::SafeObjectName("../../x")), QString(".._.._x"));
        QCOMPARE(QString::fromStdString(processing::SafeObjectName("a:b*c?")), QString("a_b_c_"));
        QCOMPARE(QString::fromStdString(processing::SafeObjectName("   ")), QString("Object"));
        QCOMPARE(QString::fromStdString(processing::SafeObjectName("..")), QString("Object"));
    }

    void coordinateScaling() {
        QCOMPARE(display::ScaleCoordinate(101, 1392, 696), 51.0);
        QCOMPARE(display::ScaleCoordinate(40, 1040, 520), 20.0);
        QCOMPARE(display::ScaleCoordinate(0, 1392, 696), 0.0);
    }
};

QTEST_MAIN(TestProcessingRun)
#include "test_processing_run.moc"
