#include "checks/observation_time.h"

#include <cmath>
#include <cstdio>

#include <erfa.h>

#include "checks/text_fields.h"

namespace checks {
namespace {

constexpr double kMjdZero = 2400000.5;

std::optional<double> headerNumber(const std::string& header, const std::string& key) {
    double v = 0;
    if (!PlainNumber(HeaderText(header, key), v)) return std::nullopt;
    return v;
}

} // namespace

std::string HeaderText(const std::string& header, const std::string& key) {
    for (std::size_t at = 0; at + 80 <= header.size(); at += 80) {
        const std::string card = header.substr(at, 80);
        if (Trimmed(card.substr(0, 8)) != key || card.compare(8, 2, "= ") != 0) continue;
        std::string v = card.substr(10);
        const auto q = v.find('\'');
        if (q != std::string::npos && Trimmed(v.substr(0, q)).empty()) {
            const auto e = v.find('\'', q + 1);
            return Trimmed(v.substr(q + 1, e == std::string::npos ? std::string::npos : e - q - 1));
        }
        const auto slash = v.find('/');
        return Trimmed(v.substr(0, slash));
    }
    return {};
}

std::optional<double> MidExposureMjdTT(const std::string& header) {
    std::string date = HeaderText(header, "DATE-OBS");
    if (date.size() < 10) return std::nullopt;
    if (date.size() == 10) {
        const std::string time = HeaderText(header, "TIME-OBS");
        date += "T" + (time.empty() ? std::string("00:00:00") : time);
    }
    std::vector<double> day, time;
    const auto t = date.find('T');
    if (!SeparatedNumbers(std::string_view(date).substr(0, t), '-', day) || day.size() != 3) return std::nullopt;
    if (t != std::string::npos && (!SeparatedNumbers(std::string_view(date).substr(t + 1), ':', time) || time.size() > 3))
        return std::nullopt;
    time.resize(3, 0);
    double u1 = 0, u2 = 0;
    if (eraDtf2d("UTC", static_cast<int>(day[0]), static_cast<int>(day[1]), static_cast<int>(day[2]),
                 static_cast<int>(time[0]), static_cast<int>(time[1]), time[2], &u1, &u2) < 0)
        return std::nullopt;
    double exposure = headerNumber(header, "EXPTIME").value_or(headerNumber(header, "EXPOSURE").value_or(0));
    if (!(exposure >= 0 && exposure < 1e6)) exposure = 0;
    u2 += exposure / 2 / 86400;
    double a1 = 0, a2 = 0, t1 = 0, t2 = 0;
    if (eraUtctai(u1, u2, &a1, &a2) < 0 || eraTaitt(a1, a2, &t1, &t2) < 0) return std::nullopt;
    return (t1 - kMjdZero) + t2;
}

std::string UtcText(double mjdTT) {
    double a1 = 0, a2 = 0, u1 = 0, u2 = 0;
    eraTttai(kMjdZero, mjdTT, &a1, &a2);
    eraTaiutc(a1, a2, &u1, &u2);
    int y = 0, mo = 0, d = 0, hmsf[4] = {};
    if (eraD2dtf("UTC", 1, u1, u2, &y, &mo, &d, hmsf) < 0) return {};
    char b[64];
    std::snprintf(b, sizeof b, "%04d-%02d-%02dT%02d:%02d:%02d.%d", y, mo, d, hmsf[0], hmsf[1], hmsf[2], hmsf[3]);
    return b;
}

} // namespace checks
