#pragma once
// A reference and a reshot of one field, with the field's catalog.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "catalog_entries.h"
#include "render.h"

namespace skysim {

struct EpochOverrides {
    std::optional<double> offsetRa, offsetDec; // arcmin from the field centre
    std::optional<double> rotation, seeing, transparency, exptime, sky;
    // another telescope or camera: its own scale (arcsec/px) and size
    std::optional<double> scale;
    std::optional<int> width, height;
    bool noGain = false; // a camera program that writes no GAIN
};

struct PairOptions {
    std::string out;
    std::uint64_t seed = 1;
    int width = 1536, height = 1024;
    double scale = 1.5;
    double ra = 143.0417, dec = 21.5008; // degrees
    std::string object = "NGC 2903";
    std::vector<double> supernovae; // magnitudes
    bool solution = true;
    bool sip = false;
    bool flip = false;   // reshot turned by 180 deg (a meridian flip)
    bool mirror = false; // reference mirrored
    bool galaxy = true;
    bool cosmicRays = true;
    bool hotPixels = true;
    // what real frames have: a zero-filled band in the reference and its
    // solution 2 px off, a vignetted reshot, bad columns and clusters, warm
    // pixels that flicker, saturated bleeds
    bool flaws = false;
    int warmClusters = 0; // clusters of warm pixels at the camera's places (CameraFlaws)
    bool exactScale = false; // both frames at the given scale, without the small random error
    bool preview = false;
    double maxOffsetArcmin = 3;
    double density = 1500;
    std::optional<double> catalogLimit;
    bool usnoLittleEndian = false;
    bool dss = false; // also write dss.fits, a survey-plate cut-out of the reshot's field
    EpochOverrides reference, reshot;
    // called once the field and both epochs are made, before rendering
    std::function<void(Field&, const Epoch& reference, const Epoch& reshot)> editField;
};

struct Pair {
    Field field;
    Epoch referenceEpoch, reshotEpoch;
    Image reference, reshot;
};

Pair MakePair(const PairOptions& options);

// reference.fts, reshot.fts, truth.json and catalog/ (and previews) into options.out.
void WritePair(const PairOptions& options, const Pair& pair);

// The catalog folder with all three formats for the stars of the fields.
void WriteCatalogFolder(const std::string& folder, const std::vector<const Field*>& fields,
                        std::optional<double> limit, std::uint64_t seed, bool usnoLittleEndian);

} // namespace skysim
