#include "checks/discovery_report.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>

#include "checks/card_words.h"
#include "checks/errors.h"

namespace checks {
namespace {

std::string num(double v, int decimals) { return FixedText(v, decimals); }

std::string orUnknown(const std::string& s) { return s.empty() ? "unknown" : s; }

// A check's outcome in a line: what it found, or why it was not made.
template <typename T>
std::string foundText(const Check<std::vector<T>>& c, const std::function<std::string(const T&)>& each) {
    if (!c.value) return "not checked: " + c.reason;
    if (c.value->empty()) return "none";
    std::string t;
    for (const auto& v : *c.value) t += (t.empty() ? "" : "; ") + each(v);
    return t;
}

void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!(out << text) || !out.flush()) throw Error(kFileMissing, "\"" + path.string() + "\" cannot be written");
}

} // namespace

std::string DiscoveryReportText(const CardSet& set) {
    const ImageFacts& f = set.facts;
    std::string t = "Discovery report";
    if (!f.object.empty()) t += ": " + f.object;
    t += "\n\nTelescope: " + orUnknown(f.telescope) + "\nInstrument: " + orUnknown(f.instrument) +
         "\nExposure: " + num(f.exposure, 1) + " s\nFilter: " + orUnknown(f.filter) + "\nDiscovery time (UTC): " +
         orUnknown(f.discoveryTime) + "\n";
    int n = 0;
    for (const auto& c : set.cards) {
        t += "\nCandidate " + std::to_string(++n) + " (" + c.candidate.pixelLine + ")\n";
        t += "  RA  " + RaText(c.place.ra) + " = " + num(c.place.ra, 5) + " deg\n";
        t += "  Dec " + DecText(c.place.dec) + " = " + num(c.place.dec, 5) + " deg\n";
        if (c.photometry.value) {
            const auto& p = *c.photometry.value;
            t += "  Magnitude: " + num(p.magnitude, 2) + " +/- " + num(p.error, 2) + " " + orUnknown(p.filter) + "\n";
            t += "  Limiting magnitude (5 sigma): " + num(p.reshotLimit, 1) + "\n";
            t += "  Last non-detection: " + orUnknown(f.referenceTime) + ", limiting magnitude " +
                 num(p.referenceLimit, 1) + "\n";
        } else {
            t += "  Magnitude: not measured: " + c.photometry.reason + "\n";
            t += "  Last non-detection: " + orUnknown(f.referenceTime) + "\n";
        }
        if (c.nucleus.value) {
            const auto& o = *c.nucleus.value;
            t += "  Offset from the nucleus: " + num(std::abs(o.east), 1) + "\" " + (o.east >= 0 ? "E" : "W") + ", " +
                 num(std::abs(o.north), 1) + "\" " + (o.north >= 0 ? "N" : "S") + "\n";
        }
        t += "  Minor planets: " + foundText<MinorPlanetNear>(c.minorPlanets, [](const MinorPlanetNear& m) {
                 return m.name + " at " + num(m.separation, 1) + "\"";
             }) + "\n";
        t += "  Variable stars: " + foundText<VariableStar>(c.variableStars, [](const VariableStar& v) {
                 return v.name + " (" + v.type + ") at " + num(v.separation, 1) + "\"";
             }) + "\n";
        t += "  Known transients: " + foundText<KnownTransient>(c.transients, [](const KnownTransient& k) {
                 return k.name + " at " + num(k.separation, 1) + "\"";
             }) + "\n";
        t += "  Sky survey: " + (c.survey.value ? c.survey.value->verdict + " (plate " +
                                                      orUnknown(c.survey.value->plateDate) + ")"
                                                : "not checked: " + c.survey.reason) + "\n";
    }
    if (set.cards.empty()) t += "\nNo candidates.\n";
    return t;
}

std::string RegionFileText(const CardSet& set) {
    std::string t = "# Region file format: DS9 version 4.1\nglobal color=green width=1\nfk5\n";
    int n = 0;
    for (const auto& c : set.cards)
        t += "circle(" + num(c.place.ra, 6) + "," + num(c.place.dec, 6) + ",5\") # text={C" + std::to_string(++n) +
             "}\n";
    return t;
}

void WriteDiscoveryReport(const std::string& dir, const CardSet& set) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) throw Error(kFileMissing, "The report folder \"" + dir + "\" cannot be made: " + ec.message());
    writeFile(std::filesystem::path(dir) / "DiscoveryReport.txt", DiscoveryReportText(set));
    writeFile(std::filesystem::path(dir) / "Candidates.reg", RegionFileText(set));
}

} // namespace checks
