// The strip-wise JPEG compressor: its file must decode to exactly what one
// compression of the whole picture decodes to.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <memory>
#include <random>

#include "engine/errors.h"
#include "engine/grey_jpeg.h"

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
