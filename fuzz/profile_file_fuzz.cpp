// Any bytes as the settings file; a key written into it reads back, and no
// other key's value changes.
#include <string>

#include "platform/profile_file.h"
#include "fuzz_files.h"

namespace {
// A name or value as the program writes them: printable, no line breaks,
// no blanks at the ends, no "=" or brackets in names.
std::string plain(std::string_view s, std::size_t max, bool name) {
    std::string out;
    for (char ch : s) {
        if (out.size() >= max) break;
        const auto u = static_cast<unsigned char>(ch);
        if (u < 32 || u > 126) continue;
        if (name && (ch == '=' || ch == '[' || ch == ']' || ch == ';')) continue;
        out += ch;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    while (!out.empty() && out.front() == ' ') out.erase(0, 1);
    return out;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto [ini, rest] = fuzz::Split(data, size);
    const auto file = (fuzz::Folder() / "VospenConfig.ini").string();
    fuzz::WriteFile(file, ini);
    std::string section = plain(rest.substr(0, std::min<std::size_t>(rest.size(), 8)), 8, true);
    std::string key = plain(rest.substr(std::min<std::size_t>(rest.size(), 8), 8), 8, true);
    const std::string value = plain(rest.substr(std::min<std::size_t>(rest.size(), 16)), 200, false);
    if (section.empty()) section = "Settings";
    if (key.empty()) key = "catalogPath";
    const std::string other = key == "minRawFlux" ? "threshold" : "minRawFlux";
    const std::string otherBefore = platform::ReadProfileString(file, section, other);
    (void)platform::ReadProfileString(file, "", "");
    if (!platform::WriteProfileString(file, section, key, value)) __builtin_trap();
    if (platform::ReadProfileString(file, section, key) != value) __builtin_trap();
    if (platform::ReadProfileString(file, section, other) != otherBefore) __builtin_trap();
    return 0;
}
