#include "platform/profile_file.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include <unistd.h>

namespace platform {
namespace {

std::string trim(const std::string& s) {
    const char* ws = " \t\r\n";
    const auto b = s.find_first_not_of(ws);
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(ws);
    return s.substr(b, e - b + 1);
}

bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

// "[name]" -> name; anything else -> false.
bool sectionName(const std::string& line, std::string& name) {
    const std::string t = trim(line);
    if (t.size() < 2 || t.front() != '[') return false;
    const auto close = t.find(']');
    if (close == std::string::npos) return false;
    name = trim(t.substr(1, close - 1));
    return true;
}

bool keyLine(const std::string& line, std::string& key, std::string& value) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) return false;
    key = trim(line.substr(0, eq));
    value = trim(line.substr(eq + 1));
    return !key.empty();
}

std::vector<std::string> readLines(const std::string& file, bool& crlf) {
    std::vector<std::string> lines;
    crlf = false;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return lines;
    std::ifstream in(file, std::ios::binary);
    if (!in) return lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
            crlf = true;
        }
        lines.push_back(line);
    }
    return lines;
}

} // namespace

std::optional<std::string> ReadProfileValue(const std::string& file, const std::string& section,
                                            const std::string& key) {
    bool crlf = false;
    bool inSection = false;
    for (const auto& line : readLines(file, crlf)) {
        std::string name, k, v;
        if (sectionName(line, name)) {
            inSection = sameName(name, section);
        } else if (inSection && keyLine(line, k, v) && sameName(k, key)) {
            return v;
        }
    }
    return std::nullopt;
}

std::string ReadProfileString(const std::string& file, const std::string& section,
                              const std::string& key) {
    return ReadProfileValue(file, section, key).value_or("");
}

bool WriteProfileString(const std::string& file, const std::string& section,
                        const std::string& key, const std::string& value) {
    namespace fs = std::filesystem;
    if (ProfileFileProtected(file)) return false;
    std::error_code exists;
    const fs::file_status was = fs::symlink_status(file, exists);
    bool crlf = false;
    std::vector<std::string> lines = readLines(file, crlf);
    const std::string newLine = key + "=" + value;

    bool inSection = false;
    bool found = false;
    std::ptrdiff_t lastOfSection = -1; // last non-blank line of the wanted section
    for (std::size_t i = 0; i < lines.size() && !found; ++i) {
        std::string name, k, v;
        if (sectionName(lines[i], name)) {
            inSection = sameName(name, section);
            if (inSection) lastOfSection = static_cast<std::ptrdiff_t>(i);
        } else if (inSection) {
            if (keyLine(lines[i], k, v) && sameName(k, key)) {
                lines[i] = newLine;
                found = true;
            } else if (!trim(lines[i]).empty()) {
                lastOfSection = static_cast<std::ptrdiff_t>(i);
            }
        }
    }
    if (!found) {
        if (lastOfSection >= 0) {
            lines.insert(lines.begin() + lastOfSection + 1, newLine);
        } else {
            lines.push_back("[" + section + "]");
            lines.push_back(newLine);
        }
    }

    std::ostringstream out;
    const char* eol = crlf ? "\r\n" : "\n";
    for (const auto& l : lines) out << l << eol;

    const fs::path target(file);
    const fs::path temp = target.string() + ".tmp";
    {
        std::ofstream f(temp, std::ios::binary | std::ios::trunc);
        if (!f) return false;
        f << out.str();
        f.flush();
        if (!f) {
            std::error_code ec;
            fs::remove(temp, ec);
            return false;
        }
    }
    std::error_code ec;
    if (fs::exists(was)) fs::permissions(temp, fs::status(file, ec).permissions(), ec);
    fs::rename(temp, target, ec);
    if (ec) {
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

bool ProfileFileProtected(const std::string& file) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status st = fs::status(file, ec);
    if (!fs::exists(st)) return false;
    if (!fs::is_regular_file(st)) return true;
    // root may write anything: a file without any write permission counts as protected too
    const fs::perms write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    return (st.permissions() & write) == fs::perms::none || ::access(file.c_str(), W_OK) != 0;
}

} // namespace platform
