#include "engine/survey_plate.h"

#include "engine/errors.h"

namespace engine {
namespace {

void requirePlateKeys(const HeaderCards& header) {
    static const char* keys[] = {"PLTRAH", "PLTRAM", "PLTRAS", "PLTDECSN", "PLTDECD", "PLTDECM", "PLTDECS",
                                 "PLTSCALE", "XPIXELSZ", "YPIXELSZ", "CNPIX1", "CNPIX2", "PPO3", "PPO6",
                                 "AMDX1", "AMDX2", "AMDX3", "AMDY1", "AMDY2", "AMDY3"};
    std::string missing;
    for (const char* k : keys)
        if (!header.has(k)) missing += std::string(missing.empty() ? "" : ", ") + k;
    if (!missing.empty()) throw Error(kSurveyPlate, "The survey picture lacks the plate keywords " + missing);
}

bool isStandardSolutionKey(const std::string& key) {
    return HeaderCards::IsSolutionKey(key) &&
           (key.rfind("CTYPE", 0) == 0 || key.rfind("CRVAL", 0) == 0 || key.rfind("CRPIX", 0) == 0 ||
            key.rfind("CD", 0) == 0 || key.rfind("CDELT", 0) == 0 || key.rfind("CROTA", 0) == 0 ||
            key.rfind("PC", 0) == 0 || key == "CUNIT1" || key == "CUNIT2");
}

} // namespace

HeaderCards SurveyPlateCards(const HeaderCards& header) {
    requirePlateKeys(header);
    std::string block;
    const std::string all = header.block();
    for (std::size_t o = 0; o + 80 <= all.size(); o += 80) {
        const std::string card = all.substr(o, 80);
        std::string key = card.substr(0, 8);
        while (!key.empty() && key.back() == ' ') key.pop_back();
        if (!isStandardSolutionKey(key)) block += card;
    }
    return HeaderCards(block);
}

} // namespace engine
