// A whole scan of a simulated survey with one file-system step failing, for
// every step in turn: afterwards every original image is still in the tree
// with its bytes, no half copy is left under a real name, and a second scan
// offers every image that the first did not finish.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "scanner/survey_files.h"
#include "scanner/survey_walk.h"
#include "support/files.h"
#include "survey.h"

namespace fs = std::filesystem;

namespace {

// Fails the `failAt`-th step (counted from 1) with an I/O error; 0 fails none.
class FaultyFiles : public scanner::SurveyFiles {
public:
    int calls = 0, failAt = 0;
    std::string failed; // the step that failed, for the message

    std::vector<fs::path> list(const fs::path& f, bool folders, std::error_code& ec) override {
        auto out = SurveyFiles::list(f, folders, ec);
        if (fault(ec, "list " + f.string())) out.resize(out.size() / 2); // a listing cut short
        return out;
    }
    bool isDirectory(const fs::path& p, std::error_code& ec) override {
        return fault(ec, "isDirectory " + p.string()) ? false : SurveyFiles::isDirectory(p, ec);
    }
    bool exists(const fs::path& p, std::error_code& ec) override {
        return fault(ec, "exists " + p.string()) ? false : SurveyFiles::exists(p, ec);
    }
    void createDirectory(const fs::path& p, std::error_code& ec) override {
        if (!fault(ec, "createDirectory " + p.string())) SurveyFiles::createDirectory(p, ec);
    }
    void copyFile(const fs::path& from, const fs::path& to, std::error_code& ec) override {
        if (calls + 1 == failAt) { // a full disk: half the bytes land
            ++calls;
            failed = "copy (disk full) " + from.string();
            const std::string bytes = testsupport::Slurp(from);
            std::ofstream(to, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size() / 2));
            ec = std::make_error_code(std::errc::no_space_on_device);
            return;
        }
        if (!fault(ec, "copy " + from.string())) SurveyFiles::copyFile(from, to, ec);
    }
    fs::file_time_type lastWriteTime(const fs::path& p, std::error_code& ec) override {
        return fault(ec, "lastWriteTime " + p.string()) ? fs::file_time_type{} : SurveyFiles::lastWriteTime(p, ec);
    }
    void setLastWriteTime(const fs::path& p, fs::file_time_type t, std::error_code& ec) override {
        if (!fault(ec, "setLastWriteTime " + p.string())) SurveyFiles::setLastWriteTime(p, t, ec);
    }
    void remove(const fs::path& p, std::error_code& ec) override {
        if (!fault(ec, "remove " + p.string())) SurveyFiles::remove(p, ec);
    }
    void rename(const fs::path& from, const fs::path& to, std::error_code& ec) override {
        if (!fault(ec, "rename " + from.string())) SurveyFiles::rename(from, to, ec);
    }

private:
    bool fault(std::error_code& ec, const std::string& what) {
        if (++calls != failAt) return false;
        failed = what;
        ec = std::make_error_code(std::errc::io_error);
        return true;
    }
};

struct FilesInPlace {
    explicit FilesInPlace(scanner::SurveyFiles& f) { scanner::SetFiles(&f); }
    ~FilesInPlace() { scanner::SetFiles(nullptr); }
};

// A copy that keeps the files' times, as a survey tree's meaning lies in them.
void copyTree(const fs::path& from, const fs::path& to) {
    fs::remove_all(to);
    for (const auto& e : fs::recursive_directory_iterator(from)) {
        const auto target = to / fs::relative(e.path(), from);
        if (e.is_directory()) {
            fs::create_directories(target);
        } else {
            fs::create_directories(target.parent_path());
            fs::copy_file(e.path(), target);
            fs::last_write_time(target, fs::last_write_time(e.path()));
        }
    }
}

// image name -> bytes, of every file below `root`
std::multimap<std::string, std::string> originals(const fs::path& root) {
    std::multimap<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) out.emplace(e.path().filename().string(), testsupport::Slurp(e.path()));
    return out;
}

// the offered images as target/name
std::set<std::string> scan(const fs::path& base, std::vector<std::string>* reports = nullptr) {
    std::set<std::string> offered;
    scanner::WalkCallbacks cb;
    cb.offer = [&](const scanner::NewImage& n) {
        offered.insert(n.target + "/" + fs::path(n.newImageFile).filename().string());
        return true;
    };
    cb.report = [&](const std::string& r) {
        if (reports) reports->push_back(r);
    };
    scanner::WalkSurvey(base.string(), cb);
    return offered;
}

} // namespace

TEST(ScanFaults, EveryFailingStepLosesNothingAndTheNextScanCatchesUp) {
    const fs::path root = fs::temp_directory_path() / ("vospen-faults-" + std::to_string(::getpid()));
    skysim::SurveyOptions o;
    o.out = (root / "sim").string();
    o.width = 64;
    o.height = 48;
    o.targets = 4;
    skysim::WriteSurvey(o);
    const fs::path pristine = root / "sim" / "survey", work = root / "work";

    copyTree(pristine, work);
    FaultyFiles files;
    FilesInPlace inPlace(files);
    const auto expected = scan(work);
    const int steps = files.calls;
    ASSERT_GE(expected.size(), 5u);
    ASSERT_GT(steps, 40);
    const auto before = originals(pristine);

    for (int k = 1; k <= steps; ++k) {
        SCOPED_TRACE("failing step " + std::to_string(k) + " of " + std::to_string(steps));
        copyTree(pristine, work);
        files.calls = 0;
        files.failAt = k;
        std::vector<std::string> reports;
        auto offered = scan(work, &reports);
        files.failAt = 0;
        // the failure was told, and every original image is still there
        // (a failed look at "processed" is made good by creating it)
        EXPECT_TRUE(!reports.empty() || files.failed.find("processed") != std::string::npos) << files.failed;
        const auto after = originals(work);
        for (const auto& [name, bytes] : before) {
            bool found = false;
            const auto range = after.equal_range(name);
            for (auto it = range.first; it != range.second; ++it) found = found || it->second == bytes;
            EXPECT_TRUE(found) << name;
        }
        for (const auto& e : fs::recursive_directory_iterator(work)) {
            EXPECT_NE(e.path().extension(), ".part") << e.path();
            // a reference holds whole images only
            if (e.path().parent_path().filename() == "reference") {
                bool whole = false;
                for (const auto& [name, bytes] : before) whole = whole || testsupport::Slurp(e.path()) == bytes;
                EXPECT_TRUE(whole) << e.path();
            }
        }
        // the next scan offers what the failed one did not finish
        const auto second = scan(work);
        offered.insert(second.begin(), second.end());
        for (const auto& image : expected) EXPECT_TRUE(offered.count(image)) << image << " after " << files.failed;
        // and after it, the tree is as a clean scan leaves it
        EXPECT_TRUE(scan(work).empty());
    }
    fs::remove_all(root);
}

TEST(ScanFaults, FilesThatVanishOrChangeDuringTheScan) {
    const fs::path base = fs::temp_directory_path() / ("vospen-vanish-" + std::to_string(::getpid()));
    fs::remove_all(base);
    fs::create_directories(base / "T" / "reference");
    fs::create_directories(base / "T" / "5");
    std::ofstream(base / "T" / "reference" / "r.fts") << "reference image";
    const auto refTime = fs::last_write_time(base / "T" / "reference" / "r.fts");
    for (const char* n : {"a.fts", "b.fts", "c.fts"}) {
        std::ofstream(base / "T" / "5" / n) << "image " << n;
        fs::last_write_time(base / "T" / "5" / n, refTime + std::chrono::hours(1));
    }
    std::vector<std::string> offered, reports;
    scanner::WalkCallbacks cb;
    cb.offer = [&](const scanner::NewImage& n) {
        offered.push_back(fs::path(n.newImageFile).filename().string());
        if (offered.size() == 1) { // while a.fts is examined, b goes and c is written anew
            fs::remove(base / "T" / "5" / "b.fts");
            std::ofstream(base / "T" / "5" / "c.fts", std::ios::trunc) << "c written again";
        }
        return true;
    };
    cb.report = [&](const std::string& r) { reports.push_back(r); };
    scanner::WalkSurvey(base.string(), cb);
    EXPECT_EQ(offered, (std::vector<std::string>{"a.fts", "c.fts"}));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("b.fts vanished"), std::string::npos);
    EXPECT_EQ(testsupport::Slurp(base / "T" / "processed" / "5" / "a.fts"), "image a.fts");
    EXPECT_EQ(testsupport::Slurp(base / "T" / "processed" / "5" / "c.fts"), "c written again");
    EXPECT_EQ(testsupport::Slurp(base / "T" / "reference" / "r.fts"), "reference image");
    fs::remove_all(base);
}

// A scan killed while it filled a target's first reference folder left an
// empty NAME.part there: later scans took it as the reference and filed the
// target's new folders unseen. The leftover is cleaned away and the reference
// made anew; and a folder whose image could not be offered because of the
// reference waits for the next scan instead of being filed.
TEST(ScanFaults, AnInterruptedReferenceCopyIsCleanedAndNothingIsFiledUnseen) {
    const fs::path base = fs::temp_directory_path() / ("vospen-part-" + std::to_string(::getpid()));
    fs::remove_all(base);
    fs::create_directories(base / "T" / "reference");
    fs::create_directories(base / "T" / "1");
    fs::create_directories(base / "T" / "2");
    std::ofstream(base / "T" / "reference" / "a.fts.part"); // the kill's leftover
    std::ofstream(base / "T" / "1" / "a.fts") << "first night";
    std::ofstream(base / "T" / "2" / "b.fts") << "second night";
    fs::last_write_time(base / "T" / "2" / "b.fts", fs::last_write_time(base / "T" / "1" / "a.fts") + std::chrono::hours(24));
    std::vector<std::string> reports;
    std::vector<std::string> references;
    scanner::WalkCallbacks cb;
    bool referenceReadable = false;
    cb.offer = [&](const scanner::NewImage& n) {
        references.push_back(fs::path(n.referenceFile).filename().string());
        return referenceReadable;
    };
    cb.report = [&](const std::string& r) { reports.push_back(r); };
    scanner::WalkSurvey(base.string(), cb);
    EXPECT_FALSE(fs::exists(base / "T" / "reference" / "a.fts.part"));
    EXPECT_TRUE(fs::exists(base / "T" / "reference" / "a.fts"));
    ASSERT_EQ(references.size(), 1u); // b, against the new reference a
    EXPECT_EQ(references[0], "a.fts");
    // the window could not offer b (say, the reference was unreadable): its folder stays
    EXPECT_TRUE(fs::exists(base / "T" / "2" / "b.fts"));
    EXPECT_FALSE(fs::exists(base / "T" / "processed" / "2"));
    referenceReadable = true;
    scanner::WalkSurvey(base.string(), cb);
    EXPECT_EQ(references.size(), 2u);
    EXPECT_TRUE(fs::exists(base / "T" / "processed" / "2" / "b.fts"));
    bool told = false;
    for (const auto& r : reports) told = told || r.find("leftover") != std::string::npos;
    EXPECT_TRUE(told);
    fs::remove_all(base);
}
