// Any text as star lists: the image stars' sky and pixel lines and the
// catalog's sky lines, as the catalog check and the markers read them.
#include <sstream>

#include "stars/catalog_check.h"
#include "stars/star_lines.h"
#include "fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto [images, catalog] = fuzz::Split(data, size);
    stars::StarList a, b, c;
    {
        std::istringstream in{std::string(images)};
        std::string line;
        for (int i = 0; std::getline(in, line); ++i) (i % 2 ? b : a).push_back(line);
    }
    {
        std::istringstream in{std::string(catalog)};
        std::string line;
        while (std::getline(in, line)) c.push_back(line);
    }
    for (const auto& line : a) {
        double xy[2];
        (void)stars::LineNumbers(line, xy, 2);
        const auto blank = line.find(' ');
        (void)stars::CandidateText(line.substr(0, blank), blank == std::string::npos ? "" : line.substr(blank + 1));
    }
    const std::size_t before = a.size();
    stars::FilterByCatalog(a, b, c, 5.0 / 3600);
    if (a.size() > before) __builtin_trap();
    for (const auto& cand : stars::ListCandidates(a, b, 0)) (void)cand.text.size();
    return 0;
}
