#pragma once
// A survey folder tree as an automated survey run leaves it, and its catalog.
#include <cstdint>
#include <string>

namespace skysim {

struct SurveyOptions {
    std::string out;
    std::uint64_t seed = 1;
    int targets = 4;
    int width = 1024, height = 768;
    double scale = 1.5;
};

// out/survey/<target>/<n>/*.fts, out/catalog/, out/truth.json
void WriteSurvey(const SurveyOptions& options);

} // namespace skysim
