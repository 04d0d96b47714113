// A whole scan of a simulated survey tree, with "NEXT >>" pressed for every image.
#include <QtTest>

#include <filesystem>

#include "support/files.h"
#include <fstream>
#include <map>
#include <sstream>

#include "scanner/frm_scanner.h"
#include "scanner/scan_state.h"
#include "scanner/survey_walk.h"
#include "shell/frm_main.h"
#include "shell/working_settings.h"
#include "support/window_fixture.h"
#include "survey.h"

namespace fs = std::filesystem;

namespace {
// name -> bytes of every .fts file below a folder
std::multimap<std::string, std::string> images(const fs::path& root) {
    std::multimap<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.path().extension() == ".fts" && e.path().parent_path().filename() != "current")
            out.emplace(e.path().filename().string(), testsupport::Slurp(e.path()));
    return out;
}
} // namespace

class TestSurveyScan : public QObject {
    Q_OBJECT
    testsupport::WindowFixture f;
    fs::path root;

private slots:
    void initTestCase() {
        root = fs::temp_directory_path() / ("vospen-scan-" + std::to_string(::getpid()));
        skysim::SurveyOptions o;
        o.out = root.string();
        o.width = 320;
        o.height = 240;
        o.targets = 4;
        skysim::WriteSurvey(o);
    }
    void cleanupTestCase() { fs::remove_all(root); }
    void init() { f.setUp(); }

    void listingsAreSortedNumerically() {
        const fs::path d = root / "sorting";
        for (const char* n : {"10", "9", "reference", "002", "abc"}) fs::create_directories(d / n);
        std::vector<std::string> names;
        for (const auto& p : scanner::ListFolders(d)) names.push_back(p.filename().string());
        QCOMPARE(names, (std::vector<std::string>{"002", "9", "10", "abc", "reference"}));
        QVERIFY(!scanner::IsNumberedFolder("reference"));
        QVERIFY(!scanner::IsNumberedFolder("-1"));
        fs::remove_all(d);
    }

    void aWholeScanOffersEveryNewImageOnceAndLosesNothing() {
        const fs::path base = root / "survey";
        const auto before = images(base);
        shell::FrmMain w;
        w.Form_Load("");
        auto& s = w.frmScanner();
        s.lblBaseFolder->setText(QString::fromStdString(base.string()));
        int offered = 0, blinking = 0;
        QStringList objects;
        QTimer next;
        next.setInterval(50);
        QObject::connect(&next, &QTimer::timeout, [&] {
            if (!s.cmdNext->isEnabled() || scanner::nextRequested) return;
            if (s.isBlinking()) ++blinking;
            ++offered;
            objects << s.lblObj->text();
            QVERIFY(fs::exists(fs::path(scanner::scanBlinkFolder) / "ReshotImage.jpg"));
            s.cmdNext->click();
        });
        next.start();
        s.cmdStartScan->click();
        next.stop();
        QCOMPARE(s.status(), QString("Scanning Finished!"));
        // first folder gives the reference (NGC7331: 2 offered), three images in the first
        // folder (NGC2903: 2 + 1), a reference filled earlier (M51: 1), an equal time stamp (NGC4565: 1)
        QCOMPARE(offered, 7);
        QCOMPARE(blinking, 7);
        QCOMPARE(objects.count("NGC2903"), 3);
        QVERIFY(w.txtPre->text().isEmpty() && w.txtRe->text().isEmpty());
        for (const char* t : {"NGC7331", "NGC2903", "M51", "NGC4565"}) {
            QVERIFY(fs::is_directory(base / t / "reference"));
            QCOMPARE(int(scanner::ListFiles(base / t / "reference").size()), 1);
            for (const auto& d : scanner::ListFolders(base / t))
                QVERIFY2(!scanner::IsNumberedFolder(d.filename().string()), d.c_str());
            QVERIFY(fs::exists(base / t / "current" / "Subtracted.jpg"));
        }
        QVERIFY(fs::is_directory(base / "M51" / "notes"));
        // every original image is still in the tree, byte for byte
        const auto after = images(base);
        for (const auto& [name, bytes] : before) {
            bool found = false;
            const auto range = after.equal_range(name);
            for (auto it = range.first; it != range.second; ++it) found = found || it->second == bytes;
            QVERIFY2(found, name.c_str());
        }
        // a second scan finds nothing new
        offered = 0;
        next.start();
        s.cmdStartScan->click();
        next.stop();
        QCOMPARE(offered, 0);
    }

    void examineHandsTheTargetToTheMainWindow() {
        const fs::path base = root / "examine";
        fs::create_directories(base / "T" / "1");
        fs::create_directories(base / "T" / "2");
        const fs::path img = root / "survey" / "NGC7331" / "processed";
        fs::copy_file(img / "1" / "NGC7331-S001-R001-C001-Clear-1.fts", base / "T" / "1" / "a.fts");
        fs::copy_file(img / "2" / "NGC7331-S001-R001-C001-Clear-2.fts", base / "T" / "2" / "b.fts");
        fs::last_write_time(base / "T" / "2" / "b.fts", fs::last_write_time(base / "T" / "1" / "a.fts") + std::chrono::hours(24));
        shell::FrmMain w;
        w.Form_Load("");
        auto& s = w.frmScanner();
        s.lblBaseFolder->setText(QString::fromStdString(base.string()));
        bool examined = false;
        QTimer step;
        step.setInterval(50);
        QObject::connect(&step, &QTimer::timeout, [&] {
            if (!s.cmdExFind->isEnabled() || scanner::nextRequested) return;
            if (!examined) {
                s.cmdExFind->click();
                examined = true;
                QVERIFY(s.isHidden());
                QVERIFY(w.cmdProcess->isEnabled());
                QVERIFY(scanner::examineFromScanner);
                QVERIFY(w.txtRe->text().endsWith("b.fts"));
                // the products the blink does not show are complete before the run writes beside them
                for (const char* p : {"Subtracted.fts", "Subtracted.jpg", "ReshotImage.fts", "ReferenceImage.fts"})
                    QVERIFY2(fs::exists(base / "T" / "current" / p), p);
                shell::catalogPath = (root / "catalog").string();
                w.cmdProcess_Click(); // the run writes into the target's current folder
                QVERIFY(fs::exists(base / "T" / "current" / "NGC7331_ProcessLog.txt"));
                // (these 320 x 240 frames hold too few stars to solve the aligned
                // reference again; the log shows where the run writes either way)
                QVERIFY(fs::exists(base / "T" / "current" / "Subtracted.fts"));
                w.cmdScan->click(); // back to the scanner: still paused
                QVERIFY(!scanner::examineFromScanner);
                return;
            }
            s.cmdNext->click();
        });
        step.start();
        s.cmdStartScan->click();
        step.stop();
        QVERIFY(examined);
        QVERIFY(fs::exists(base / "T" / "processed" / "2" / "b.fts"));
    }

    void closingTheScannerDuringAWaitEndsTheWalk() {
        const fs::path base = root / "closing";
        for (const char* t : {"A", "B"}) {
            fs::create_directories(base / t / "1");
            fs::create_directories(base / t / "2");
            const fs::path img = root / "survey" / "NGC7331" / "processed";
            fs::copy_file(img / "1" / "NGC7331-S001-R001-C001-Clear-1.fts", base / t / "1" / "a.fts");
            fs::copy_file(img / "2" / "NGC7331-S001-R001-C001-Clear-2.fts", base / t / "2" / "b.fts");
            fs::last_write_time(base / t / "2" / "b.fts", fs::last_write_time(base / t / "1" / "a.fts") + std::chrono::hours(1));
        }
        shell::FrmMain w;
        w.Form_Load("");
        auto& s = w.frmScanner();
        s.show();
        s.lblBaseFolder->setText(QString::fromStdString(base.string()));
        QTimer close;
        close.setInterval(50);
        QObject::connect(&close, &QTimer::timeout, [&] {
            if (s.cmdNext->isEnabled() && !scanner::nextRequested) s.close();
        });
        close.start();
        s.cmdStartScan->click();
        close.stop();
        // A's image was shown and filed; B was not reached
        QVERIFY(fs::exists(base / "A" / "processed" / "2" / "b.fts"));
        QVERIFY(fs::exists(base / "B" / "2" / "b.fts"));
        QVERIFY(!fs::exists(base / "B" / "reference"));
    }

    void aFolderThatCannotBeFiledStaysAndIsOfferedAgain() {
        const fs::path base = root / "blocked";
        const fs::path img = root / "survey" / "NGC7331" / "processed";
        fs::create_directories(base / "T" / "reference");
        fs::create_directories(base / "T" / "5");
        fs::create_directories(base / "T" / "processed" / "5"); // the name is taken
        fs::copy_file(img / "1" / "NGC7331-S001-R001-C001-Clear-1.fts", base / "T" / "reference" / "r.fts");
        fs::copy_file(img / "2" / "NGC7331-S001-R001-C001-Clear-2.fts", base / "T" / "5" / "n.fts");
        fs::last_write_time(base / "T" / "5" / "n.fts", fs::last_write_time(base / "T" / "reference" / "r.fts") + std::chrono::hours(2));
        int offers = 0, withTheReference = 0;
        std::vector<std::string> reports;
        scanner::WalkCallbacks cb;
        cb.offer = [&](const scanner::NewImage& n) {
            ++offers;
            withTheReference += n.referenceFile.find("r.fts") != std::string::npos;
            return true;
        };
        cb.report = [&](const std::string& r) { reports.push_back(r); };
        scanner::WalkSurvey(base.string(), cb);
        scanner::WalkSurvey(base.string(), cb);
        QCOMPARE(offers, 2);
        QCOMPARE(withTheReference, 2);
        QVERIFY(fs::exists(base / "T" / "5" / "n.fts"));
        QCOMPARE(int(reports.size()), 2);
        QVERIFY(QString::fromStdString(reports[0]).contains("offered again"));
        // an empty base folder, and one that does not exist: nothing happens
        fs::create_directories(root / "empty");
        scanner::WalkSurvey((root / "empty").string(), cb);
        scanner::WalkSurvey((root / "no-such").string(), cb);
        QCOMPARE(offers, 2);
    }

    void referenceButtonAsksFirst() {
        const fs::path a = root / "ref-a.fts", b = root / "ref-b.fts";
        std::ofstream(a) << "old";
        std::ofstream(b) << "new";
        shell::FrmMain w;
        w.Form_Load("");
        w.txtPre->setText(QString::fromStdString(a.string()));
        w.txtRe->setText(QString::fromStdString(b.string()));
        f.dialogs->answers.push_back(platform::msg::Cancel);
        w.cmdRef->click();
        QCOMPARE(QString::fromStdString(testsupport::Slurp(a)), QString("old"));
        QCOMPARE(f.dialogs->messages.back().text, QString("Overwrite existing Reference?"));
        QCOMPARE(f.dialogs->messages.back().style, 33);
        f.dialogs->answers.push_back(platform::msg::Ok);
        w.cmdRef->click();
        QCOMPARE(QString::fromStdString(testsupport::Slurp(a)), QString("new"));
        QCOMPARE(fs::last_write_time(a), fs::last_write_time(b));
    }
};

QTEST_MAIN(TestSurveyScan)
#include "test_survey_scan.moc"
