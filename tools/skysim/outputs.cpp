#include "outputs.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace skysim {
namespace {
std::string star(const TruthStar& s) {
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "{\"ra\": %.10f, \"dec\": %.10f, \"x\": %.4f, \"y\": %.4f, \"mag\": %.4f, "
                  "\"flux\": %.3f}",
                  s.ra, s.dec, s.x, s.y, s.mag, s.flux);
    return buf;
}
std::string points(const std::vector<std::pair<double, double>>& p) {
    std::string out = "[";
    for (std::size_t i = 0; i < p.size(); ++i) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%s{\"x\": %.1f, \"y\": %.1f}", i ? ", " : "", p[i].first,
                      p[i].second);
        out += buf;
    }
    return out + "]";
}
std::string image(const TruthImage& t) {
    std::string out = std::string("  \"") + t.name + "\": {\n    \"width\": " +
                      std::to_string(t.image->width) + ", \"height\": " +
                      std::to_string(t.image->height) + ",\n    \"stars\": [\n";
    for (std::size_t i = 0; i < t.image->stars.size(); ++i)
        out += "      " + star(t.image->stars[i]) + (i + 1 < t.image->stars.size() ? ",\n" : "\n");
    out += "    ],\n    \"hot_pixels\": " + points(t.image->hotPixels) +
           ",\n    \"cosmic_rays\": " + points(t.image->cosmicRays) + "\n  }";
    return out;
}
} // namespace

void WriteTruthJson(const std::string& path, const TruthImage& reference, const TruthImage& reshot,
                    const Field& field) {
    std::ofstream out(path, std::ios::trunc);
    out << "{\n" << image(reference) << ",\n" << image(reshot) << ",\n  \"supernovae\": [";
    const auto& sn = reshot.image->supernovae;
    for (std::size_t i = 0; i < sn.size(); ++i) out << (i ? ", " : "") << star(sn[i]);
    out << "],\n  \"galaxy\": ";
    if (field.galaxy) {
        char buf[128];
        std::snprintf(buf, sizeof buf, "{\"ra\": %.10f, \"dec\": %.10f}", field.galaxy->ra,
                      field.galaxy->dec);
        out << buf;
    } else {
        out << "null";
    }
    out << "\n}\n";
    if (!out) throw std::runtime_error("cannot write " + path);
}

void WritePreviewJpeg(const std::string& path, const Image& img) {
    std::vector<std::uint16_t> sorted(img.pixels);
    const std::size_t n = sorted.size();
    std::nth_element(sorted.begin(), sorted.begin() + n / 2, sorted.end());
    const double median = sorted[n / 2];
    std::nth_element(sorted.begin(), sorted.begin() + n / 4, sorted.end());
    const double q1 = sorted[n / 4];
    std::nth_element(sorted.begin(), sorted.begin() + n * 999 / 1000, sorted.end());
    const double top = sorted[n * 999 / 1000];
    const double sigma = std::max(1.0, (median - q1) / 0.6745);
    const double lo = median - 2 * sigma, hi = std::max(top, median + 20 * sigma);
    std::vector<unsigned char> grey(n);
    // FITS rows go bottom-up; pictures top-down.
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            const double v = std::clamp((img.pixels[static_cast<std::size_t>(y) * img.width + x] - lo) /
                                            (hi - lo), 0.0, 1.0);
            grey[static_cast<std::size_t>(img.height - 1 - y) * img.width + x] =
                static_cast<unsigned char>(std::lround(255 * std::sqrt(v)));
        }
    std::unique_ptr<void, int (*)(tjhandle)> tj(tjInitCompress(), tjDestroy);
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    if (!tj || tjCompress2(tj.get(), grey.data(), img.width, 0, img.height, TJPF_GRAY, &jpeg, &size,
                           TJSAMP_GRAY, 90, 0) != 0)
        throw std::runtime_error("cannot compress " + path);
    std::unique_ptr<unsigned char, void (*)(unsigned char*)> owned(jpeg, tjFree);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(jpeg), static_cast<std::streamsize>(size));
    if (!out) throw std::runtime_error("cannot write " + path);
}

} // namespace skysim
