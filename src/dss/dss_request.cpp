#include "dss/dss_request.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <vector>

namespace dss {

std::string Sexagesimal(double v, char sep) {
    const double a = std::floor(v);
    const double m = (v - a) * 60;
    const double b = std::floor(m);
    const double s = (m - b) * 60;
    const double tenths = std::round(s * 10); // halves away from zero
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.0f+%.0f+%ld%c%ld", a, b, static_cast<long>(tenths) / 10, sep,
                  static_cast<long>(tenths) % 10);
    return buf;
}

std::string FieldSize(double arcmin, char sep) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", arcmin);
    std::string s = buf;
    for (char& c : s)
        if (c == '.') c = sep;
    return s;
}

double FieldArcmin(long pixels, double arcsecPerPixel) {
    return std::abs(static_cast<double>(pixels)) * std::abs(arcsecPerPixel) / 60.0;
}

std::string DssRequest(double raHours, double decDeg, double height, double width, char sep) {
    const std::string dec = decDeg < 0 ? "-" + Sexagesimal(-decDeg, sep) : "%2B" + Sexagesimal(decDeg, sep);
    return "/cgi-bin/dss_search?v=poss2ukstu_red&r=" + Sexagesimal(std::abs(raHours), sep) + "&d=" + dec +
           "&e=J2000&h=" + FieldSize(height, sep) + "&w=" + FieldSize(width, sep) + "&f=fit&c=none&fov=NONE&v3=";
}

namespace {

// NAXIS1 x NAXIS2 of the first header of a plain or gzip FITS file, read
// without unpacking more than the header.
std::optional<long long> headerPixels(const std::string& path) {
    std::unique_ptr<gzFile_s, int (*)(gzFile)> gz(gzopen(path.c_str(), "rb"), gzclose);
    if (!gz) return std::nullopt;
    long long n1 = -1, n2 = -1;
    char card[80];
    for (int i = 0; i < 36 * 10 && gzread(gz.get(), card, 80) == 80; ++i) {
        const std::string key(card, 8);
        if (key == "END     ") break;
        if (card[8] != '=') continue;
        const long long v = std::strtoll(std::string(card + 10, 70).c_str(), nullptr, 10);
        if (key == "NAXIS1  ") n1 = v;
        if (key == "NAXIS2  ") n2 = v;
    }
    if (n1 < 0 || n2 < 0) return std::nullopt;
    const long long cap = 1LL << 31; // no survey plate is wider: the product cannot overflow
    return std::min(n1, cap) * std::min(n2, cap);
}

std::string describe(const std::string& head) {
    std::string shown;
    for (char c : head) {
        if (shown.size() >= 60) break;
        const unsigned char u = static_cast<unsigned char>(c);
        shown += (u >= 32 && u < 127) ? c : (c == '\n' || c == '\r' || c == '\t' ? ' ' : '.');
    }
    if (head.empty()) return "an empty reply";
    if (head[0] == '<') return "a web page instead of a FITS file (\"" + shown + "\")";
    return "no FITS file (\"" + shown + "\")";
}
} // namespace

long long MostDssPixels(double widthArcmin, double heightArcmin) {
    const double asked = std::abs(widthArcmin * 60) * std::abs(heightArcmin * 60);
    return static_cast<long long>(std::max(4e6, std::min(16 * asked, 1e12)));
}

std::string CheckDssReply(const std::string& path, long long maxPixels) {
    if (const auto pixels = headerPixels(path); pixels && *pixels > maxPixels)
        return "a plate of " + std::to_string(*pixels) + " pixels, far more than the field asked for";
    std::ifstream in(path, std::ios::binary);
    std::string head(80, '\0');
    in.read(head.data(), 80);
    head.resize(static_cast<std::size_t>(in.gcount()));
    in.close();
    if (head.rfind("SIMPLE  =", 0) == 0) return {};
    if (head.size() >= 2 && static_cast<unsigned char>(head[0]) == 0x1F && static_cast<unsigned char>(head[1]) == 0x8B) {
        std::unique_ptr<gzFile_s, int (*)(gzFile)> gz(gzopen(path.c_str(), "rb"), gzclose);
        if (!gz) return "a compressed reply that cannot be read";
        std::vector<char> data;
        char buf[1 << 16];
        int n;
        while ((n = gzread(gz.get(), buf, sizeof buf)) > 0) {
            data.insert(data.end(), buf, buf + n);
            if (data.size() > 400u * 1024 * 1024) return "a compressed reply that unpacks to more than 400 MB";
        }
        if (n < 0) return "a damaged compressed reply";
        gz.reset();
        if (data.size() < 9 || std::string(data.data(), 9) != "SIMPLE  =")
            return "a compressed reply that holds " + describe(std::string(data.data(), std::min<std::size_t>(80, data.size())));
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
        out.close();
        if (!out) return "a reply that cannot be unpacked onto the disk";
        return {};
    }
    return describe(head);
}

} // namespace dss
