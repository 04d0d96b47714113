#include "fits_cards.h"

#include <cstdio>

namespace skysim {

void FitsCards::card(const char* key, const std::string& value, const char* comment) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%-8.8s= %s", key, value.c_str());
    std::string c(buf);
    if (comment && *comment) c += std::string(" / ") + comment;
    c.resize(80, ' ');
    text_ += c;
}

void FitsCards::logical(const char* key, bool v, const char* comment) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%20s", v ? "T" : "F");
    card(key, buf, comment);
}

void FitsCards::integer(const char* key, long v, const char* comment) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%20ld", v);
    card(key, buf, comment);
}

void FitsCards::string(const char* key, const std::string& v, const char* comment) {
    std::string quoted = v;
    if (quoted.size() < 8) quoted.resize(8, ' ');
    quoted = "'" + quoted + "'";
    if (quoted.size() < 20) quoted.resize(20, ' ');
    card(key, quoted, comment);
}

void FitsCards::comment(const std::string& text) {
    std::string c = "COMMENT " + text;
    c.resize(80, ' ');
    text_ += c;
}

std::string FitsCards::block() const {
    std::string b = text_;
    std::string end = "END";
    end.resize(80, ' ');
    b += end;
    return PadBlanks(b);
}

std::string PadBlanks(std::string data) {
    const std::size_t rem = data.size() % 2880;
    if (rem) data.append(2880 - rem, ' ');
    return data;
}

} // namespace skysim
