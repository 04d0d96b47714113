#pragma once
// Hand-made FITS headers, card by card, for files whose layout must match the
// catalog CDs byte for byte (cfitsio would lay out the ASCII tables its own way).
#include <string>

namespace skysim {

class FitsCards {
public:
    void logical(const char* key, bool v, const char* comment);
    void integer(const char* key, long v, const char* comment);
    void string(const char* key, const std::string& v, const char* comment);
    void comment(const std::string& text);
    // The header with END, padded with blanks to whole 2880-byte blocks.
    std::string block() const;

private:
    void card(const char* key, const std::string& value, const char* comment);
    std::string text_;
};

// Pads data to whole 2880-byte blocks with blanks, as ASCII tables are padded.
std::string PadBlanks(std::string data);

} // namespace skysim
