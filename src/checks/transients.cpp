#include "checks/transients.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "checks/errors.h"
#include "checks/text_fields.h"

namespace checks {

std::vector<std::string> CsvFields(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') fields.back() += '"', ++i;
            else if (c == '"') quoted = false;
            else fields.back() += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

TransientsNear FindTransients(const std::string& path, const std::vector<SkyPlace>& places, double radiusArcsec) {
    TransientsNear out;
    out.near.resize(places.size());
    std::map<std::string, std::size_t> column;
    const auto field = [&](const std::vector<std::string>& f, const char* name) {
        const auto it = column.find(name);
        return it != column.end() && it->second < f.size() ? Trimmed(f[it->second]) : std::string();
    };
    ForEachLine(path, "transient list (TNS= in [Checks])", [&](const std::string& line) {
        if (Trimmed(line).empty()) return;
        const auto f = CsvFields(line);
        if (column.empty()) {
            // the time stamp and anything else before the header row
            for (std::size_t i = 0; i < f.size(); ++i) column[Trimmed(f[i])] = i;
            if (!column.count("name") || !column.count("ra") || !column.count("declination")) column.clear();
            return;
        }
        KnownTransient t;
        const auto ra = AngleText(field(f, "ra"), true), dec = AngleText(field(f, "declination"), false);
        if (ra) t.place.ra = *ra;
        if (dec) t.place.dec = *dec;
        if (!ra || !dec ||
            std::abs(t.place.dec) > 90) {
            ++out.damagedLines;
            return;
        }
        for (std::size_t i = 0; i < places.size(); ++i) {
            const double sep = SeparationArcsec(places[i], t.place);
            if (sep > radiusArcsec) continue;
            if (t.name.empty()) {
                const std::string prefix = field(f, "name_prefix");
                t.name = (prefix.empty() ? "" : prefix + " ") + field(f, "name");
                t.type = field(f, "type");
                t.discoveryDate = field(f, "discoverydate");
                t.discoveryMag = field(f, "discoverymag");
            }
            t.separation = sep;
            out.near[i].push_back(t);
        }
    });
    if (column.empty())
        throw Error(kFileDamaged, "The transient list \"" + path + "\" has no header row naming name, ra and declination");
    for (auto& list : out.near)
        std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.separation < b.separation; });
    return out;
}

} // namespace checks
