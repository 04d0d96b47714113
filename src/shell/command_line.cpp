#include "shell/command_line.h"

#include <cctype>
#include <cstdlib>

namespace shell {

const char* const kExpectedProcessingForm = "reference,reshot,catalog folder,catalog index";

std::string JoinArguments(int argc, const char* const* argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) text += ' ';
        text += argv[i];
    }
    return text;
}

namespace {
// A whole number, blanks around it allowed; false for anything else.
bool wholeNumber(const std::string& s, long& value) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    if (b == e) return false;
    std::size_t i = b;
    if (s[i] == '+' || s[i] == '-') ++i;
    if (i == e || e - i > 6) return false;
    for (std::size_t k = i; k < e; ++k)
        if (!std::isdigit(static_cast<unsigned char>(s[k]))) return false;
    value = std::strtol(s.substr(b, e - b).c_str(), nullptr, 10);
    return true;
}
} // namespace

CommandLine ParseCommandLine(const std::string& text, int lastCatalogPosition) {
    CommandLine cl;
    if (text.empty()) return cl;
    std::size_t start = 0;
    while (true) {
        const auto comma = text.find(',', start);
        cl.fields.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (cl.fields.size() == 1) {
        cl.kind = CommandLine::Kind::Scanner;
        return cl;
    }
    long index = 0;
    if (cl.fields.size() < 4 || !wholeNumber(cl.fields[3], index) || index < -1 ||
        index > lastCatalogPosition) {
        cl.kind = CommandLine::Kind::Malformed;
        return cl;
    }
    cl.kind = CommandLine::Kind::Processing;
    cl.catalogIndex = static_cast<int>(index);
    return cl;
}

} // namespace shell
