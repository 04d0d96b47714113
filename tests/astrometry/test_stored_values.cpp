// Integer images are turned into floats by our own loop where the scaling
// allows it: every kind of 16-bit image must read as cfitsio reads it.
#include <gtest/gtest.h>

#include <fitsio.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "astrometry/fits_image.h"
#include "support/temp_dir.h"

namespace {

struct Kind {
    const char* what;
    double bscale, bzero;
    bool blank;
};

// A 16-bit image stored with the given scaling, its stored values spread over
// the whole range; with `blank`, a BLANK value held by some pixels.
std::string write16(const std::string& path, const Kind& k, int w, int h) {
    int status = 0;
    fitsfile* f = nullptr;
    fits_create_file(&f, ("!" + path).c_str(), &status);
    long axes[2] = {w, h};
    fits_create_img(f, SHORT_IMG, 2, axes, &status);
    if (k.bscale != 1 || k.bzero != 0) {
        double s = k.bscale, z = k.bzero;
        fits_write_key(f, TDOUBLE, "BSCALE", &s, nullptr, &status);
        fits_write_key(f, TDOUBLE, "BZERO", &z, nullptr, &status);
        fits_set_bscale(f, 1.0, 0.0, &status); // the values below are the stored ones
    }
    if (k.blank) {
        long b = -32768;
        fits_write_key(f, TLONG, "BLANK", &b, nullptr, &status);
        fits_set_imgnull(f, -32768, &status);
    }
    std::vector<short> stored(static_cast<std::size_t>(w) * h);
    std::mt19937 rng(9);
    std::uniform_int_distribution<int> any(-32768, 32767);
    for (auto& v : stored) v = static_cast<short>(any(rng));
    stored[7] = -32768;
    stored[8] = 32767;
    fits_write_img(f, TSHORT, 1, static_cast<LONGLONG>(stored.size()), stored.data(), &status);
    fits_close_file(f, &status);
    return status ? "cfitsio status " + std::to_string(status) : "";
}

std::vector<float> readByCfitsio(const std::string& path, std::size_t n) {
    int status = 0, anynul = 0;
    fitsfile* f = nullptr;
    fits_open_file(&f, path.c_str(), READONLY, &status);
    std::vector<float> v(n);
    float nan = std::nanf("");
    fits_read_img(f, TFLOAT, 1, static_cast<LONGLONG>(n), &nan, v.data(), &anynul, &status);
    fits_close_file(f, &status);
    return v;
}

} // namespace

TEST(StoredValues, SixteenBitImagesOfEveryScalingReadAsCfitsioReadsThem) {
    testsupport::TempDir t("vospen-stored");
    const int w = 301, h = 207;
    for (const Kind& k : {Kind{"unsigned (BZERO 32768)", 1, 32768, false}, Kind{"signed", 1, 0, false},
                          Kind{"with BLANK", 1, 32768, true}, Kind{"scaled", 0.5, 100.25, false}}) {
        const std::string path = (t.path / "k.fts").string();
        ASSERT_EQ(write16(path, k, w, h), "") << k.what;
        const auto ours = astrometry::ReadFitsImage(path).pixels;
        const auto theirs = readByCfitsio(path, static_cast<std::size_t>(w) * h);
        ASSERT_EQ(ours.size(), theirs.size()) << k.what;
        std::size_t differ = 0, blanks = 0;
        for (std::size_t i = 0; i < ours.size(); ++i) {
            if (std::isnan(theirs[i])) {
                ++blanks;
                differ += !std::isnan(ours[i]);
            } else {
                differ += !(ours[i] == theirs[i]);
            }
        }
        EXPECT_EQ(differ, 0u) << k.what;
        EXPECT_EQ(blanks > 0, k.blank) << k.what;
    }
}
