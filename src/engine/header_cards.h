#pragma once
// The FITS header cards of a document: read as a person reads them, with the
// plate-solution keywords replaceable as a whole.
#include <string>
#include <vector>

namespace engine {

class HeaderCards {
public:
    HeaderCards() = default;
    // From a block of 80-character cards.
    explicit HeaderCards(const std::string& block);

    // The value as a person reads it: strings without quotes and trailing
    // blanks, numbers as written, "" for a missing key.
    std::string value(const std::string& key) const;
    bool has(const std::string& key) const;

    // Cards that describe the data layout (SIMPLE, BITPIX, NAXISn, BZERO, ...):
    // the writer makes them anew.
    std::vector<std::string> userCards() const;
    // The plate-solution cards (standard WCS, SIP, TPV, old PC forms, DSS plate).
    std::string solutionBlock() const;
    void removeSolution();
    // Appends cards given as a block of 80-character cards.
    void append(const std::string& block);
    void set(const std::string& key, double value, const std::string& comment);
    void history(const std::string& text);

    std::string block() const; // all cards, for wcslib
    int count() const { return static_cast<int>(cards_.size()); }

    static bool IsSolutionKey(const std::string& key);

private:
    std::vector<std::string> cards_;
};

} // namespace engine
