#include "platform/fits_precheck.h"

#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <string_view>

namespace platform {
namespace {

constexpr int kBlock = 2880;
constexpr int kHdus = 8;          // the readers never go further
constexpr int kBlocksPerHeader = 400; // 16 000 cards
constexpr long long kLarge = 1LL << 20; // bytes of data worth skipping to the next header
constexpr long long kHuge = 1LL << 40;
constexpr std::size_t kLongestNumber = 60; // a complex pair of doubles is under 50 characters

struct GzCloser {
    void operator()(gzFile_s* f) const { gzclose(f); }
};

long long number(std::string_view card) {
    const std::string v(card.substr(10, 70));
    return std::strtoll(v.c_str(), nullptr, 10);
}

} // namespace

std::string FitsHeaderProblem(const std::string& path) {
    // a FIFO or device in the file's place would block the program in open()
    std::error_code ec;
    const auto st = std::filesystem::status(path, ec);
    if (std::filesystem::exists(st) && !std::filesystem::is_regular_file(st))
        return "it is not a regular file (a folder, a FIFO or a device is in its place)";
    // gzread reads plain files as they are
    std::unique_ptr<gzFile_s, GzCloser> f(gzopen(path.c_str(), "rb"));
    if (!f) return {}; // cfitsio tells why it cannot open it
    char block[kBlock];
    for (int hdu = 0; hdu < kHdus; ++hdu) {
        long long bitpix = 0, naxis = 0, pcount = 0, gcount = 1, product = 1;
        bool end = false;
        std::set<std::string, std::less<>> tileKeys;
        for (int b = 0; b < kBlocksPerHeader && !end; ++b) {
            const int got = gzread(f.get(), block, kBlock);
            if (got < kBlock) return {}; // the end of the file: cfitsio reports what is short
            for (int c = 0; c < kBlock / 80 && !end; ++c) {
                const std::string_view card(block + 80 * c, 80);
                const std::string_view key = card.substr(0, 8);
                if (key == "END     ") {
                    end = true;
                    break;
                }
                if (card[8] != '=') continue;
                const std::string_view value = card.substr(9);
                const auto first = value.find_first_not_of(' ');
                // cfitsio divides by a compressed image's sizes and tiles unchecked:
                // each given once, as a whole number of at least 1
                if (key.substr(0, 5) == "ZTILE" || key.substr(0, 6) == "ZNAXIS") {
                    const std::string v(value);
                    char* stop = nullptr;
                    const long long n = std::strtoll(v.c_str(), &stop, 10);
                    if (!tileKeys.emplace(key).second || stop == v.c_str() || n < 1)
                        return "the header card " + std::string(key) + " is damaged";
                }
                // a value that is not a string and runs on for most of the field, as no
                // number does: cfitsio copies such a value unchecked into its column names
                if (first != std::string_view::npos && value[first] != '\'') {
                    // cfitsio reads a complex value to its closing parenthesis, slashes and all
                    const bool complex = value[first] == '(';
                    auto stop = complex ? value.find(')', first) : value.find_first_of(" /", first);
                    if (complex && stop != std::string_view::npos) ++stop;
                    const auto length = (stop == std::string_view::npos ? value.size() : stop) - first;
                    if (length >= kLongestNumber) return "the header card " + std::string(key) + " is damaged";
                }
                // sizes are clamped: beyond kLarge they only mean "a large data unit"
                const auto size = [&] { return std::clamp(number(card), 0LL, kHuge); };
                if (key == "BITPIX  ") bitpix = std::clamp(number(card), -64LL, 64LL);
                else if (key == "NAXIS   ") naxis = size();
                else if (key == "PCOUNT  ") pcount = size();
                else if (key == "GCOUNT  ") gcount = size();
                else if (key.substr(0, 5) == "NAXIS") {
                    const long long n = size();
                    product = n != 0 && product > kHuge / n ? kHuge : product * n;
                }
            }
        }
        if (!end) return "a header has no END card";
        if (naxis == 0) product = 0;
        // the headers behind a large data unit are not looked at: skipping it in a
        // gzip file costs its unpacking, and the readers want the first image
        if (gcount > kLarge || pcount + product > kLarge) return {};
        const long long bytes = std::llabs(bitpix) / 8 * gcount * (pcount + product);
        if (bytes > kLarge) return {};
        const long long padded = (bytes + kBlock - 1) / kBlock * kBlock;
        if (padded > 0 && gzseek(f.get(), static_cast<z_off_t>(padded), SEEK_CUR) < 0) return {};
    }
    return {};
}

} // namespace platform
