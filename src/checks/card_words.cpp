#include "checks/card_words.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace checks {
namespace {

std::string num(double v, int decimals) { return FixedText(v, decimals); }
std::string quoted(const std::string& s) { return JsonString(s); }

// `wrap`: the units of a full turn (24 h), none for a declination.
std::string sexagesimal(double v, int secondDecimals, bool sign, long long wrap = 0) {
    const bool negative = v < 0;
    const double scale = std::pow(10.0, secondDecimals);
    long long units = std::llround(std::abs(v) * 3600 * scale);
    if (wrap) units %= static_cast<long long>(wrap * scale); // 23:59:59.9996 is 00:00:00.000
    const long long s = units % static_cast<long long>(60 * scale);
    units /= static_cast<long long>(60 * scale);
    char b[64];
    std::snprintf(b, sizeof b, "%s%02lld:%02lld:%0*.*f", sign ? (negative ? "-" : "+") : "", units / 60, units % 60,
                  secondDecimals + 3, secondDecimals, s / scale);
    return b;
}

// A check's JSON: its value's fields, or its reason.
template <typename T, typename Fields>
std::string checkJson(const Check<T>& c, Fields fields) {
    std::string o = "{\"made\": " + std::string(c.value ? "true" : "false");
    if (c.value) o += ", " + fields(*c.value);
    else o += ", \"reason\": " + quoted(c.reason);
    if (c.damagedLines) o += ", \"damagedLinesSkipped\": " + std::to_string(c.damagedLines);
    return o + "}";
}

template <typename T, typename Item>
std::string listJson(const std::vector<T>& list, Item item) {
    std::string o = "\"near\": [";
    for (std::size_t i = 0; i < list.size(); ++i) o += (i ? ", " : "") + item(list[i]);
    return o + "]";
}

std::string reasonOr(const std::string& reason, const std::string& made) { return reason.empty() ? made : "not made: " + reason; }

// A list check on the card: a line for each one near, `none` for none, or why it was not made.
template <typename T, typename Line>
std::string listText(const Check<std::vector<T>>& c, const char* none, Line line) {
    if (!c.value) return reasonOr(c.reason, "");
    std::string t = c.value->empty() ? none : "";
    for (const T& item : *c.value) t += "\n  " + line(item);
    return t;
}

} // namespace

std::string FixedText(double v, int decimals) {
    if (!std::isfinite(v)) return "null";
    char b[64];
    const auto r = std::to_chars(b, b + sizeof b, v, std::chars_format::fixed, decimals);
    return std::string(b, r.ptr);
}

std::string JsonString(const std::string& s) {
    std::string o = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') o += '\\';
        if (static_cast<unsigned char>(c) < 32) continue;
        o += c;
    }
    return o + "\"";
}

// a report gives places to 0.1": RA's seconds of time to the thousandth
std::string RaText(double ra) { return sexagesimal(ra / 15, 3, false, 24 * 3600); }
std::string DecText(double dec) { return sexagesimal(dec, 2, true); }

std::string CardText(const CandidateCard& c, const ImageFacts& f) {
    std::string t = c.candidate.text + "\n" + "RA " + RaText(c.place.ra) + "  Dec " + DecText(c.place.dec) + "  (" +
                    num(c.place.ra, 5) + " " + num(c.place.dec, 5) + ")\n";
    if (!f.discoveryTime.empty()) t += "Taken " + f.discoveryTime + " UTC (mid-exposure)\n";
    t += "\nMinor planets: " + listText(c.minorPlanets, "none known within the radius", [](const MinorPlanetNear& m) {
             return m.name + " " + num(m.separation, 1) + "\" away, V " + num(m.sighting.vMagnitude, 1) + ", " +
                    num(m.sighting.motion, 1) + "\"/h, at " + RaText(m.sighting.ra) + " " + DecText(m.sighting.dec);
         });
    t += "\nVariable stars: " + listText(c.variableStars, "none within 10\"", [](const VariableStar& v) {
             return v.name + " (" + v.type + ", " + v.range + ") " + num(v.separation, 1) + "\" away";
         });
    t += "\nKnown transients: " + listText(c.transients, "none within 10\"", [](const KnownTransient& k) {
             return k.name + (k.type.empty() ? "" : " (" + k.type + ")") + ", discovered " + k.discoveryDate + ", " +
                    num(k.separation, 1) + "\" away";
         });
    t += "\nFrom the nucleus: ";
    if (c.nucleus.value) {
        const auto& n = *c.nucleus.value;
        t += num(std::abs(n.east), 1) + "\" " + (n.east >= 0 ? "E" : "W") + ", " + num(std::abs(n.north), 1) + "\" " +
             (n.north >= 0 ? "N" : "S") + " (" + num(n.total, 1) + "\")";
    } else {
        t += reasonOr(c.nucleus.reason, "");
    }
    t += "\nMagnitude: ";
    if (c.photometry.value) {
        const auto& p = *c.photometry.value;
        t += num(p.magnitude, 2) + " +/- " + num(p.error, 2) + (p.filter.empty() ? "" : " (" + p.filter + ")") +
             "; limit " + num(p.reshotLimit, 1) + ", reference's limit " + num(p.referenceLimit, 1) +
             (f.referenceTime.empty() ? "" : " on " + f.referenceTime.substr(0, 10));
    } else {
        t += reasonOr(c.photometry.reason, "");
    }
    t += "\nSky survey: ";
    if (c.survey.value)
        t += c.survey.value->verdict + " (S/N " + num(c.survey.value->signalToNoise, 1) + ")" +
             (c.survey.value->plateDate.empty() ? "" : ", plate of " + c.survey.value->plateDate);
    else
        t += reasonOr(c.survey.reason, "");
    return t + "\n";
}

std::string CardJson(const CandidateCard& c) {
    std::string o = "{\"line\": " + quoted(c.candidate.pixelLine) + ", \"text\": " + quoted(c.candidate.text) +
                    ", \"x\": " + num(c.x, 2) + ", \"y\": " + num(c.y, 2) + ", \"ra\": " + num(c.place.ra, 6) +
                    ", \"dec\": " + num(c.place.dec, 6) + ", \"raText\": " + quoted(RaText(c.place.ra)) +
                    ", \"decText\": " + quoted(DecText(c.place.dec));
    o += ", \"minorPlanets\": " + checkJson(c.minorPlanets, [](const auto& list) {
        return listJson(list, [](const MinorPlanetNear& m) {
            return "{\"name\": " + quoted(m.name) + ", \"ra\": " + num(m.sighting.ra, 6) + ", \"dec\": " +
                   num(m.sighting.dec, 6) + ", \"separation\": " + num(m.separation, 2) + ", \"v\": " +
                   num(m.sighting.vMagnitude, 2) + ", \"motion\": " + num(m.sighting.motion, 2) + ", \"distance\": " +
                   num(m.sighting.distance, 5) + "}";
        });
    });
    o += ", \"variableStars\": " + checkJson(c.variableStars, [](const auto& list) {
        return listJson(list, [](const VariableStar& v) {
            return "{\"name\": " + quoted(v.name) + ", \"type\": " + quoted(v.type) + ", \"range\": " + quoted(v.range) +
                   ", \"ra\": " + num(v.place.ra, 6) + ", \"dec\": " + num(v.place.dec, 6) + ", \"separation\": " +
                   num(v.separation, 2) + "}";
        });
    });
    o += ", \"transients\": " + checkJson(c.transients, [](const auto& list) {
        return listJson(list, [](const KnownTransient& k) {
            return "{\"name\": " + quoted(k.name) + ", \"type\": " + quoted(k.type) + ", \"discoveryDate\": " +
                   quoted(k.discoveryDate) + ", \"discoveryMag\": " + quoted(k.discoveryMag) + ", \"ra\": " +
                   num(k.place.ra, 6) + ", \"dec\": " + num(k.place.dec, 6) + ", \"separation\": " +
                   num(k.separation, 2) + "}";
        });
    });
    o += ", \"nucleus\": " + checkJson(c.nucleus, [](const NucleusOffset& n) {
        return "\"ra\": " + num(n.nucleus.ra, 6) + ", \"dec\": " + num(n.nucleus.dec, 6) + ", \"east\": " +
               num(n.east, 2) + ", \"north\": " + num(n.north, 2) + ", \"total\": " + num(n.total, 2);
    });
    o += ", \"photometry\": " + checkJson(c.photometry, [](const Photometry& p) {
        return "\"magnitude\": " + num(p.magnitude, 3) + ", \"error\": " + num(p.error, 3) + ", \"filter\": " +
               quoted(p.filter) + ", \"limit\": " + num(p.reshotLimit, 2) + ", \"referenceLimit\": " +
               num(p.referenceLimit, 2);
    });
    o += ", \"survey\": " + checkJson(c.survey, [](const SurveyVerdict& v) {
        return "\"verdict\": " + quoted(v.verdict) + ", \"signalToNoise\": " + num(v.signalToNoise, 2) +
               ", \"plateDate\": " + quoted(v.plateDate);
    });
    return o + "}";
}

std::string FactsJson(const ImageFacts& f) {
    return "{\"object\": " + quoted(f.object) + ", \"discoveryTime\": " + quoted(f.discoveryTime) +
           ", \"referenceTime\": " + quoted(f.referenceTime) + ", \"telescope\": " + quoted(f.telescope) +
           ", \"instrument\": " + quoted(f.instrument) + ", \"filter\": " + quoted(f.filter) + ", \"exposure\": " +
           num(f.exposure, 1) + "}";
}

} // namespace checks
