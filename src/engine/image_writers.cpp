#include "engine/image_writers.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "engine/errors.h"
#include "engine/grey_jpeg.h"
#include "platform/step_trace.h"
#include "platform/big_buffers.h"
#include "platform/fits_handle.h"
#include "platform/fits_write_buffer.h"
#include "platform/replace_file.h"

namespace engine {
namespace {
[[noreturn]] void fail(const std::string& path, const std::string& why) {
    throw Error(kSaveFailed, "Cannot write " + path + ": " + why);
}
std::string fitsMessage(int status) {
    char text[FLEN_STATUS] = {};
    fits_get_errstatus(status, text);
    return text;
}
// Built for the wider vector units too, picked at run time: a third faster.
__attribute__((target_clones("arch=x86-64-v3", "default"))) void greyLevels(const float* p, const unsigned char* t,
                                                                               unsigned char* out, long long n,
                                                                               float low, float toLevel, float top) {
#pragma omp parallel for schedule(static)
    for (long long i = 0; i < n; ++i) {
        const bool blank = !(p[i] == p[i]); // NaN: black
        const float v = blank ? low : p[i];
        const unsigned char g = t[static_cast<int>(std::clamp((v - low) * toLevel, 0.f, top))];
        out[i] = blank ? 0 : g;
    }
}

} // namespace

void WriteFloatFits(const std::string& path, const std::vector<float>& pixels, int w, int h,
                    const HeaderCards& header, const std::vector<float>* noise) {
    // written beside the target and renamed, so that a failed write leaves the old file
    platform::StepTrace trace("fits");
    const std::string temp = path + ".part";
    int status = 0;
    fitsfile* raw = nullptr;
    std::string name = "!"; // over an older file of the name
    name += platform::BufferedFitsName(temp);
    fits_create_file(&raw, name.c_str(), &status);
    if (status) fail(path, fitsMessage(status));
    {
        platform::FitsFile f(raw);
        long axes[2] = {w, h};
        fits_create_img(f.get(), FLOAT_IMG, 2, axes, &status);
        for (const auto& card : header.userCards()) {
            std::string c = card;
            fits_write_record(f.get(), c.c_str(), &status);
            if (status) { // a card cfitsio will not take is left out, not fatal
                status = 0;
            }
        }
        fits_write_img(f.get(), TFLOAT, 1, static_cast<LONGLONG>(pixels.size()), const_cast<float*>(pixels.data()),
                       &status);
        if (noise && noise->size() == pixels.size()) {
            fits_create_img(f.get(), FLOAT_IMG, 2, axes, &status);
            fits_write_key_str(f.get(), "EXTNAME", "NOISE", "one standard deviation per pixel, ADU", &status);
            fits_write_img(f.get(), TFLOAT, 1, static_cast<LONGLONG>(noise->size()), const_cast<float*>(noise->data()),
                           &status);
        }
        if (status) {
            const std::string why = fitsMessage(status);
            f.reset();
            std::error_code ec;
            std::filesystem::remove(temp, ec);
            fail(path, why);
        }
        int closeStatus = 0;
        fits_close_file(f.release(), &closeStatus);
        if (closeStatus) {
            std::error_code ec;
            std::filesystem::remove(temp, ec);
            fail(path, fitsMessage(closeStatus));
        }
    }
    trace.mark("write");
    std::error_code ec;
    platform::ReplaceFile(temp, path, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        fail(path, ec.message());
    }
    trace.mark("rename");
}

void WriteGreyJpeg(const std::string& path, const std::vector<float>& pixels, int w, int h, const Stretch& s) {
    platform::StepTrace trace("jpeg");
    // The stretch as a table over the values from `low` to `high`: the
    // conversion is a look-up per pixel, without branches (a difference's noise
    // is positive and negative at random). Square root for a picture; for a
    // difference zero is a dark grey, positives the square root above it,
    // negatives a straight line down to black.
    constexpr int kLevels = 8192;
    constexpr double kZeroGrey = 48; // a difference of zero
    const double span = s.high > s.low ? s.high - s.low : 1.0;
    std::vector<unsigned char> table(kLevels + 1);
    for (int i = 0; i <= kLevels; ++i) {
        const double v = s.low + span * i / kLevels;
        double g;
        if (!s.difference) g = 255 * std::sqrt(double(i) / kLevels);
        else if (v >= 0) g = kZeroGrey + (255 - kZeroGrey) * std::sqrt(std::min(1.0, v / (s.high > 0 ? s.high : 1.0)));
        else g = std::max(0.0, kZeroGrey + v * kZeroGrey / (s.low < 0 ? -s.low : 1.0));
        table[i] = static_cast<unsigned char>(std::lround(g));
    }
    std::vector<unsigned char> grey;
    platform::ResizeFast(grey, pixels.size());
    greyLevels(pixels.data(), table.data(), grey.data(), static_cast<long long>(pixels.size()),
               static_cast<float>(s.low), static_cast<float>(kLevels / span), float(kLevels));
    trace.mark("grey");
    std::vector<unsigned char> jpeg;
    try {
        jpeg = CompressGreyJpeg(grey.data(), w, h, 90);
    } catch (const Error& e) {
        fail(path, e.description());
    }
    trace.mark("compress");
    const std::string temp = path + ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(jpeg.data()), static_cast<std::streamsize>(jpeg.size()));
        out.close(); // the last bytes reach the disk here
        if (!out) {
            std::error_code ec;
            std::filesystem::remove(temp, ec);
            fail(path, "the disk refused the data");
        }
    }
    trace.mark("write");
    std::error_code ec;
    platform::ReplaceFile(temp, path, ec);
    if (ec) fail(path, ec.message());
    trace.mark("rename");
}

} // namespace engine
