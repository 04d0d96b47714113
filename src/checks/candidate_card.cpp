#include "checks/candidate_card.h"

#include <cmath>
#include <filesystem>
#include <functional>
#include <sstream>

#include "astrometry/difference_record.h"
#include "astrometry/wcs.h"
#include "checks/errors.h"
#include "checks/image_measures.h"
#include "checks/observation_time.h"
#include "checks/observer_site.h"
#include "checks/orbit_cache.h"
#include "checks/text_fields.h"
#include "platform/step_trace.h"

namespace checks {
namespace {

struct Products {
    astrometry::FitsImage difference, reshot, reference;
    std::optional<astrometry::FitsImage> plate;
};

// A check's failure, as the card tells it.
template <typename T>
void attempt(Check<T>& check, const std::function<void()>& make) {
    try {
        make();
    } catch (const platform::Error& e) {
        check.value.reset();
        check.reason = e.description();
    } catch (const std::exception& e) {
        check.value.reset();
        check.reason = e.what();
    }
}

// The folder's sky-survey plate; none when there is none or it cannot be
// read (the survey check tells which).
std::optional<astrometry::FitsImage> readPlate(const std::string& folder) {
    if (!std::filesystem::exists(folder + "DSSPicture.fit")) return std::nullopt;
    try {
        return astrometry::ReadFitsImage(folder + "DSSPicture.fit");
    } catch (const platform::Error&) {
        return std::nullopt;
    }
}

Products readProducts(const std::string& folder) {
    Products p;
    p.difference = astrometry::ReadFitsImage(folder + "Subtracted.fts");
    p.reshot = astrometry::ReadFitsImage(folder + "ReshotImage.fts");
    p.reference = astrometry::ReadFitsImage(folder + "ReferenceImage.fts");
    p.plate = readPlate(folder);
    return p;
}

ImageFacts imageFacts(const Products& p) {
    ImageFacts f;
    const std::string& h = p.reshot.header;
    f.object = HeaderText(h, "OBJECT");
    if (const auto t = MidExposureMjdTT(h)) f.discoveryTime = UtcText(*t);
    if (const auto t = MidExposureMjdTT(p.reference.header)) f.referenceTime = UtcText(*t);
    f.telescope = HeaderText(h, "TELESCOP");
    f.instrument = HeaderText(h, "INSTRUME");
    f.filter = HeaderText(h, "FILTER");
    f.exposure = p.reshot.number("EXPTIME").value_or(p.reshot.number("EXPOSURE").value_or(0));
    return f;
}

// The pixel line's whole pixels refined to the light's centre within 2 px in
// the difference: a report wants the place to a tenth of an arc-second.
void placeCards(std::vector<CandidateCard>& cards, const Products& p) {
    const auto wcs = astrometry::Wcs::FromHeader(p.difference.header, p.difference.headerCards);
    if (!wcs.valid()) throw Error(kFileDamaged, "Subtracted.fts has no plate solution");
    const auto& d = p.difference;
    for (auto& c : cards) {
        std::istringstream in(c.candidate.pixelLine);
        std::string x, y;
        if (!(in >> x >> y) || !PlainNumber(x, c.x) || !PlainNumber(y, c.y))
            throw Error(kFileDamaged, "The candidate's line \"" + c.candidate.pixelLine + "\" has no pixel place");
        const RingSky sky = MeasureRing(d, c.x, c.y, 3, 6);
        double sx = 0, sy = 0, sum = 0;
        for (int py = static_cast<int>(c.y) - 3; py <= static_cast<int>(c.y) + 1; ++py)
            for (int px = static_cast<int>(c.x) - 3; px <= static_cast<int>(c.x) + 1; ++px) {
                if (px < 0 || py < 0 || px >= d.width || py >= d.height || std::hypot(px + 1 - c.x, py + 1 - c.y) > 2)
                    continue;
                const double v = d.pixels[static_cast<std::size_t>(py) * d.width + px] - sky.level;
                if (v > 0) sx += v * (px + 1), sy += v * (py + 1), sum += v;
            }
        if (sum > 0) c.x = sx / sum, c.y = sy / sum;
        wcs.pixelToSky(c.x, c.y, c.place.ra, c.place.dec);
    }
}

std::vector<SkyPlace> placesOf(const std::vector<CandidateCard>& cards) {
    std::vector<SkyPlace> places;
    for (const auto& c : cards) places.push_back(c.place);
    return places;
}

// A file's check for every card at once: each card's list and the file's
// damaged lines, or for every card the reason it could not be made.
template <typename Found, typename Item>
void spread(std::vector<CandidateCard>& cards, Check<std::vector<Item>> CandidateCard::*check,
            const std::function<Found()>& find) {
    try {
        const Found found = find();
        for (std::size_t i = 0; i < cards.size(); ++i) {
            (cards[i].*check).value = found.near[i];
            (cards[i].*check).damagedLines = found.damagedLines;
        }
    } catch (const platform::Error& e) {
        for (auto& c : cards) (c.*check).reason = e.description();
    }
}

struct PlanetsNear {
    std::vector<std::vector<MinorPlanetNear>> near;
    std::size_t damagedLines = 0;
};

void checkMinorPlanets(std::vector<CandidateCard>& cards, const Products& p, const CardSources& s) {
    spread<PlanetsNear>(cards, &CandidateCard::minorPlanets, [&] {
        const auto t = MidExposureMjdTT(p.reshot.header);
        if (!t) throw Error(kNoTime, "The reshot has no readable DATE-OBS");
        const OrbitFile orbits = LoadOrbits(s.orbitFile, s.orbitCache);
        return PlanetsNear{MinorPlanetsNear(orbits, *t, placesOf(cards), s.minorPlanetRadius, ObserverSite(p.reshot.header)),
                           orbits.damagedLines};
    });
}

void checkVariableStars(std::vector<CandidateCard>& cards, const CardSources& s) {
    spread<VariableStarsNear>(cards, &CandidateCard::variableStars,
                              [&] { return FindVariableStars(s.variableStarFile, placesOf(cards), s.variableStarRadius); });
}

void checkTransients(std::vector<CandidateCard>& cards, const CardSources& s) {
    spread<TransientsNear>(cards, &CandidateCard::transients,
                           [&] { return FindTransients(s.transientFile, placesOf(cards), s.transientRadius); });
}

// Made last: the reshot is turned into the galaxy's image in place.
void checkNucleus(std::vector<CandidateCard>& cards, Products& p, const CardSources& s) {
    const auto record = astrometry::ReadDifferenceRecord(p.difference);
    const double sigma = record && record->psfSigma > 0 ? record->psfSigma : 1.5;
    const auto wcs = astrometry::Wcs::FromHeader(p.reshot.header, p.reshot.headerCards);
    std::vector<PixelPlace> stars;
    for (const auto& s0 : s.catalogStars) {
        PixelPlace px;
        if (wcs.valid() && wcs.skyToPixel(s0.ra, s0.dec, px.x, px.y)) stars.push_back(px);
    }
    // the reshot without what is new in it: a bright candidate beside the
    // core would pull the core's centre towards itself
    auto& galaxy = p.reshot.pixels;
    if (p.difference.pixels.size() == galaxy.size()) {
        const long long n = static_cast<long long>(galaxy.size());
#pragma omp parallel for schedule(static)
        for (long long i = 0; i < n; ++i)
            if (std::isfinite(p.difference.pixels[static_cast<std::size_t>(i)]))
                galaxy[static_cast<std::size_t>(i)] -= p.difference.pixels[static_cast<std::size_t>(i)];
    }
    const auto nucleus = FindNucleus(p.reshot, sigma, stars);
    SkyPlace n;
    const bool placed = nucleus && wcs.valid() && wcs.pixelToSky(nucleus->x, nucleus->y, n.ra, n.dec);
    for (auto& c : cards) {
        if (!placed) {
            c.nucleus.reason = nucleus ? "The reshot has no plate solution"
                                       : "No extended source stands out near the centre of the reshot";
            continue;
        }
        NucleusOffset o;
        o.nucleus = n;
        OffsetArcsec(n, c.place, o.east, o.north);
        o.total = std::hypot(o.east, o.north);
        c.nucleus.value = o;
    }
}

void checkPhotometry(std::vector<CandidateCard>& cards, const Products& p) {
    for (auto& c : cards)
        attempt(c.photometry, [&] { c.photometry.value = MeasurePhotometry(p.difference, p.reshot, p.reference, c.x, c.y); });
}

void checkSurvey(std::vector<CandidateCard>& cards, const std::optional<astrometry::FitsImage>& plate,
                 const std::string& workFolder) {
    for (auto& c : cards) {
        c.survey = {};
        if (!plate) {
            c.survey.reason = std::filesystem::exists(workFolder + "DSSPicture.fit")
                                  ? "DSSPicture.fit cannot be read"
                                  : "No sky-survey plate in the work folder (Get DSS Picture fetches one)";
            continue;
        }
        attempt(c.survey, [&] { c.survey.value = JudgeSurveyPlate(*plate, c.place); });
    }
}

} // namespace

CardSet BuildCards(const std::vector<CardCandidate>& candidates, const CardSources& sources) {
    CardSet set;
    platform::StepTrace trace("cards");
    Products products = readProducts(sources.workFolder);
    trace.mark("read");
    set.facts = imageFacts(products);
    for (const auto& c : candidates) {
        CandidateCard card;
        card.candidate = c;
        set.cards.push_back(std::move(card));
    }
    if (set.cards.empty()) return set;
    placeCards(set.cards, products);
    checkMinorPlanets(set.cards, products, sources);
    checkVariableStars(set.cards, sources);
    checkTransients(set.cards, sources);
    trace.mark("files");
    checkPhotometry(set.cards, products);
    checkSurvey(set.cards, products.plate, sources.workFolder);
    trace.mark("photometry, plate");
    checkNucleus(set.cards, products, sources);
    trace.mark("nucleus");
    return set;
}

void JudgeSurveyAgain(CardSet& set, const std::string& workFolder) {
    checkSurvey(set.cards, readPlate(workFolder), workFolder);
}

} // namespace checks
