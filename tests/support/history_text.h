#pragma once
// The HISTORY cards of a header block as one text: a long history line runs
// on over several cards, so a phrase can straddle two.
#include <string>

namespace testsupport {

inline std::string HistoryText(const std::string& block) {
    std::string history;
    for (std::size_t k = 0; k + 80 <= block.size(); k += 80)
        if (block.compare(k, 8, "HISTORY ") == 0) history += block.substr(k + 8, 72);
    return history;
}

} // namespace testsupport
