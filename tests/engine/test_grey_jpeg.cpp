// The strip-wise JPEG compressor: its file must decode to exactly what one
// compression of the whole picture decodes to.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

#include "engine/errors.h"
#include "engine/grey_jpeg.h"
#include "engine/image_writers.h"

namespace {

using Handle = std::unique_ptr<void, int (*)(tjhandle)>;

std::vector<unsigned char> decode(const unsigned char* jpeg, unsigned long size, int& w, int& h) {
    Handle tj(tjInitDecompress(), tjDestroy);
    int sub = 0, cs = 0;
    if (tjDecompressHeader3(tj.get(), jpeg, size, &w, &h, &sub, &cs) != 0) return {};
    std::vector<unsigned char> out(static_cast<std::size_t>(w) * h);
    if (tjDecompress2(tj.get(), jpeg, size, out.data(), w, 0, h, TJPF_GRAY, 0) != 0) return {};
    return out;
}

} // namespace

TEST(GreyJpeg, StripsDecodeAsOneCompressionOfTheWholePicture) {
    std::mt19937 rng(7);
    // partial blocks at the right and bottom; a row wide enough that the
    // restart interval's 16 bits limit the strips; one strip only
    for (const auto& [w, h] : {std::pair{1, 1}, {13, 7}, {1001, 2049}, {9000, 130}, {64, 64}}) {
        std::vector<unsigned char> grey(static_cast<std::size_t>(w) * h);
        for (std::size_t i = 0; i < grey.size(); ++i)
            grey[i] = static_cast<unsigned char>(48 + rng() % 12 + (i % w > static_cast<unsigned>(w) / 2 ? 90 : 0));
        const auto strips = engine::CompressGreyJpeg(grey.data(), w, h, 90);

        Handle tj(tjInitCompress(), tjDestroy);
        unsigned char* whole = nullptr;
        unsigned long size = 0;
        ASSERT_EQ(tjCompress2(tj.get(), grey.data(), w, 0, h, TJPF_GRAY, &whole, &size, TJSAMP_GRAY, 90,
                              TJFLAG_FASTDCT),
                  0);
        std::unique_ptr<unsigned char, void (*)(unsigned char*)> owned(whole, tjFree);

        int w1 = 0, h1 = 0, w2 = 0, h2 = 0;
        const auto a = decode(strips.data(), strips.size(), w1, h1);
        const auto b = decode(whole, size, w2, h2);
        ASSERT_FALSE(a.empty()) << w << " x " << h;
        EXPECT_EQ(w1, w);
        EXPECT_EQ(h1, h);
        EXPECT_EQ(a, b) << w << " x " << h;
    }
}

TEST(GreyJpeg, PicturesBeyondTheFormatAreAClearError) {
    std::vector<unsigned char> row(70000, 100);
    try {
        engine::CompressGreyJpeg(row.data(), 70000, 1, 90);
        FAIL() << "no error";
    } catch (const engine::Error& e) {
        EXPECT_EQ(e.number(), engine::kSaveFailed);
        EXPECT_NE(e.description().find("70000"), std::string::npos);
    }
}

TEST(GreyJpeg, BlankAndInfinitePixelsOfBothStretches) {
    // 64 x 64 in 16 x 16 blocks: blank, +inf, -inf, sky, and a bright value per block
    const int w = 64, h = 64;
    std::vector<float> pix(static_cast<std::size_t>(w) * h);
    const float values[4] = {NAN, INFINITY, -INFINITY, 100.f};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) pix[static_cast<std::size_t>(y) * w + x] = values[(x / 16 + y / 16) % 4];
    const auto dir = std::filesystem::temp_directory_path() / ("vospen-grey-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    for (const bool difference : {false, true}) {
        engine::Stretch s;
        s.difference = difference;
        s.low = difference ? -30 : 90;
        s.high = difference ? 1000 : 1100;
        const auto path = (dir / "p.jpg").string();
        engine::WriteGreyJpeg(path, pix, w, h, s);
        std::ifstream in(path, std::ios::binary);
        const std::vector<unsigned char> jpeg((std::istreambuf_iterator<char>(in)), {});
        int dw = 0, dh = 0;
        const auto g = decode(jpeg.data(), jpeg.size(), dw, dh);
        ASSERT_EQ(g.size(), pix.size());
        // the first FITS row is the picture's top row; block (0, 0) is blank, (1, 0) +inf, (2, 0) -inf
        auto at = [&](int bx, int by) { return int(g[static_cast<std::size_t>(by * 16 + 8) * w + bx * 16 + 8]); };
        EXPECT_LE(at(0, 0), 8) << difference;   // blank: black
        EXPECT_GE(at(1, 0), 245) << difference; // +inf: white
        EXPECT_LE(at(2, 0), 8) << difference;   // -inf: black
        const double sky = difference ? 48 + 207 * std::sqrt(100.0 / 1000) : 255 * std::sqrt(10.0 / 1010);
        EXPECT_NEAR(at(3, 0), sky, 8) << difference;
    }
    std::filesystem::remove_all(dir);
}
