#pragma once
// The checks' files are text with "." decimals whatever the user's locale:
// numbers read with from_chars, fields trimmed of their blanks.
#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace checks {

inline std::string Trimmed(std::string_view s) {
    const auto a = s.find_first_not_of(" \t");
    if (a == std::string_view::npos) return {};
    return std::string(s.substr(a, s.find_last_not_of(" \t") - a + 1));
}

// The whole of `text` (blanks around it aside) as a finite number.
inline bool PlainNumber(std::string_view text, double& out) {
    const std::string t = Trimmed(text);
    const char* from = t.data() + (!t.empty() && t[0] == '+');
    const auto r = std::from_chars(from, t.data() + t.size(), out);
    return !t.empty() && r.ec == std::errc() && r.ptr == t.data() + t.size() && std::isfinite(out);
}

// The numbers between `separator`s, each a plain number: "21:06:07.5" -> 21, 6, 7.5.
inline bool SeparatedNumbers(std::string_view text, char separator, std::vector<double>& out) {
    out.clear();
    std::size_t from = 0;
    while (true) {
        const auto to = text.find(separator, from);
        double v = 0;
        if (!PlainNumber(text.substr(from, to == std::string_view::npos ? to : to - from), v)) return false;
        out.push_back(v);
        if (to == std::string_view::npos) return true;
        from = to + 1;
    }
}

// An angle in degrees from "51.05", "+51 03 00.0" or "-31:16:24"; the
// sexagesimal forms in hours when `hours` (an RA). None for other text.
inline std::optional<double> AngleText(std::string_view text, bool hours) {
    std::string t = Trimmed(text);
    double v = 0;
    if (PlainNumber(t, v)) return v;
    if (t.empty()) return std::nullopt;
    const bool negative = t[0] == '-';
    if (t[0] == '-' || t[0] == '+') t = Trimmed(std::string_view(t).substr(1));
    std::string collapsed; // "d:m:s" or "d m s", blanks run together
    for (char c : t) {
        if (c == ':') c = ' ';
        if (c != ' ' || (!collapsed.empty() && collapsed.back() != ' ')) collapsed += c;
    }
    std::vector<double> parts;
    if (!SeparatedNumbers(collapsed, ' ', parts) || parts.empty() || parts.size() > 3) return std::nullopt;
    parts.resize(3, 0);
    if (parts[0] < 0 || parts[1] < 0 || parts[1] >= 60 || parts[2] < 0 || parts[2] >= 60) return std::nullopt;
    const double a = (parts[0] + parts[1] / 60 + parts[2] / 3600) * (hours ? 15 : 1);
    return negative ? -a : a;
}

} // namespace checks
