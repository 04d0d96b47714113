#pragma once
// Each candidate checked as a discoverer checks it before reporting it: known
// minor planets at that moment, variable stars, transients already reported,
// the offset from the galaxy's nucleus, its calibrated magnitude and the
// images' depth, and whether the old sky-survey plate shows it. A check that
// cannot be made says why; the others are made all the same.
#include <optional>
#include <string>
#include <vector>

#include "checks/candidate_photometry.h"
#include "checks/galaxy_nucleus.h"
#include "checks/minor_planets.h"
#include "checks/survey_verdict.h"
#include "checks/transients.h"
#include "checks/variable_stars.h"

namespace checks {

// A candidate as the catalog check lists it.
struct CardCandidate {
    std::string pixelLine, text; // "x y mag rawflux", "RA: .. DEC: .."
};

template <typename T>
struct Check {
    std::optional<T> value;       // made
    std::string reason;           // why not, when not made
    std::size_t damagedLines = 0; // of its file, skipped
};

struct NucleusOffset {
    SkyPlace nucleus;
    double east = 0, north = 0, total = 0; // arc-seconds, the candidate from the nucleus
};

struct CandidateCard {
    CardCandidate candidate;
    double x = 0, y = 0; // FITS pixels of the reshot
    SkyPlace place;
    Check<std::vector<MinorPlanetNear>> minorPlanets;
    Check<std::vector<VariableStar>> variableStars;
    Check<std::vector<KnownTransient>> transients;
    Check<NucleusOffset> nucleus;
    Check<Photometry> photometry;
    Check<SurveyVerdict> survey;
};

// What a report says of the images, the same for every candidate.
struct ImageFacts {
    std::string object, discoveryTime;    // UTC, the reshot's mid-exposure
    std::string referenceTime;            // UTC, the reference's mid-exposure
    std::string telescope, instrument, filter;
    double exposure = 0;                  // s
};

struct CardSet {
    ImageFacts facts;
    std::vector<CandidateCard> cards;
};

struct CardSources {
    std::string workFolder; // with its trailing separator: the run's products
    std::string orbitFile, variableStarFile, transientFile; // [Checks]
    std::string orbitCache;                                 // beside the settings
    double minorPlanetRadius = 30, variableStarRadius = 10, transientRadius = 10; // arc-seconds
    std::vector<SkyPlace> catalogStars; // the catalog check's stars, left out of the nucleus
};

// Throws (checks::Error, astrometry::Error) only when the run's products cannot
// be read at all, the difference has no plate solution or a line no place.
CardSet BuildCards(const std::vector<CardCandidate>& candidates, const CardSources& sources);

// The sky-survey verdicts made anew, the plate of `workFolder` as it is now
// (fetched after the cards were made); the other checks are kept.
void JudgeSurveyAgain(CardSet& set, const std::string& workFolder);

} // namespace checks
