// A full disk, made with the process's file-size limit: every writer says so
// with a typed error or a false result, and the file that was there before
// stays as it was, with no temporary left beside it.
#include <gtest/gtest.h>

#include <fitsio.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>

#include "support/temp_dir.h"
#include "engine/application.h"
#include "engine/document.h"
#include "engine/errors.h"
#include "platform/http_download.h"
#include "platform/profile_file.h"
#include "support/files.h"
#include "support/http_server.h"

namespace fs = std::filesystem;

using testsupport::TempDir;

namespace {

// Writes beyond `bytes` fail with EFBIG, as on a full disk.
class FullDisk {
public:
    explicit FullDisk(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit small = old_;
        small.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FullDisk() { setrlimit(RLIMIT_FSIZE, &old_); }

private:
    rlimit old_{};
};

void noisyImage(const fs::path& p, int n) {
    std::vector<float> px(static_cast<std::size_t>(n) * n);
    std::mt19937 rng(3);
    std::normal_distribution<float> g(1000, 50);
    for (auto& v : px) v = g(rng);
    int status = 0;
    fitsfile* f = nullptr;
    const std::string name = "!" + p.native(); // "!": over an older file
    fits_create_file(&f, name.c_str(), &status);
    long axes[2] = {n, n};
    fits_create_img(f, FLOAT_IMG, 2, axes, &status);
    fits_write_img(f, TFLOAT, 1, static_cast<LONGLONG>(px.size()), px.data(), &status);
    fits_close_file(f, &status);
    ASSERT_EQ(status, 0);
}

bool anyPart(const fs::path& dir) {
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().extension() == ".part" || e.path().extension() == ".tmp") return true;
    return false;
}

} // namespace

TEST(FullDisk, ProductsFailWithAReasonAndKeepTheOldFile) {
    TempDir t("vospen-full");
    noisyImage(t.path / "in.fits", 600);
    engine::Application app;
    auto doc = app.CreateDocument();
    doc->OpenFile((t.path / "in.fits").string());
    for (const auto& [name, type] : {std::pair{"Subtracted.fts", 3}, {"Subtracted.jpg", 6}}) {
        const fs::path out = t.path / name;
        std::ofstream(out) << "the earlier product";
        {
            FullDisk full(64 * 1024);
            try {
                doc->SaveFile(out.string(), type);
                ADD_FAILURE() << name << " written on a full disk";
            } catch (const engine::Error& e) {
                EXPECT_NE(e.description().find(name), std::string::npos) << e.description();
            }
        }
        EXPECT_EQ(testsupport::Slurp(out), "the earlier product") << name;
        EXPECT_FALSE(anyPart(t.path)) << name;
    }
}

TEST(FullDisk, SettingsAndDownloadsSaySoAndLoseNothing) {
    TempDir t("vospen-full");
    const auto ini = (t.path / "VospenConfig.ini").string();
    ASSERT_TRUE(platform::WriteProfileString(ini, "Settings", "catalogPath", "/data/usno"));
    const std::string before = testsupport::Slurp(ini);
    {
        FullDisk full(16 * 1024);
        EXPECT_FALSE(platform::WriteProfileString(ini, "Settings", "notes", std::string(100000, 'n')));
    }
    EXPECT_EQ(testsupport::Slurp(ini), before);
    EXPECT_FALSE(anyPart(t.path));

    testsupport::HttpServer server;
    server.body = std::string(1 << 20, 'x');
    platform::DownloadResult r;
    {
        FullDisk full(64 * 1024);
        r = platform::DownloadToFile(server.base() + "/x", (t.path / "DSSPicture.fit.part").string());
    }
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
}
