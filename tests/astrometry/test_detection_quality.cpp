// Detection and photometry against the simulator's truth.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "astrometry/detection.h"
#include "astrometry/plate.h"
#include "stars/star_lines.h"
#include "pair.h"

namespace fs = std::filesystem;

namespace {

struct SimulatedPair {
    fs::path dir;
    skysim::PairOptions options;
    skysim::Pair pair;
    SimulatedPair(std::uint64_t seed, int size, bool clean) {
        dir = fs::temp_directory_path() / ("vospen-det-" + std::to_string(::getpid()) + "-" + std::to_string(seed));
        options.out = dir.string();
        options.seed = seed;
        options.width = size;
        options.height = size;
        options.density = clean ? 0 : 3000;
        options.galaxy = !clean;
        options.hotPixels = !clean;
        options.cosmicRays = !clean;
        options.reshot.seeing = 3.2;
        pair = skysim::MakePair(options);
        skysim::WritePair(options, pair);
    }
    ~SimulatedPair() { fs::remove_all(dir); }
};

// Expected S/N of a star in the inner aperture from the simulator's noise model.
double snr(const skysim::Epoch& e, double flux) {
    const double area = M_PI * 9;
    const double var = flux / e.gain + area * (e.sky / e.gain + std::pow(e.readNoise / e.gain, 2));
    return flux / std::sqrt(var);
}

const astrometry::Star* nearest(const astrometry::StarCollection& stars, double x, double y, double& d) {
    const astrometry::Star* best = nullptr;
    d = 1e9;
    for (const auto& s : stars) {
        const double dd = std::hypot(s.x - x, s.Y - y);
        if (dd < d) {
            d = dd;
            best = &s;
        }
    }
    return best;
}

bool isolated(const skysim::Image& img, const skysim::TruthStar& t, double radius) {
    for (const auto& o : img.stars)
        if (&o != &t && std::hypot(o.x - t.x, o.y - t.y) < radius && o.flux > 0.002 * t.flux) return false;
    return true;
}

} // namespace

TEST(DetectionQuality, CompletenessPositionsFluxesAndArtefacts) {
    SimulatedPair sim(11, 1024, false);
    astrometry::Plate plate;
    plate.AttachFITS((sim.dir / "reshot.fts").string());
    plate.SigmaAboveMean = 2.5;
    plate.Catalog = "5";
    plate.CatalogPath = (sim.dir / "catalog").string();
    plate.FindImageStars();
    const auto& found = plate.ImageStars();
    const auto& img = sim.pair.reshot;
    const auto& e = sim.pair.reshotEpoch;

    int bright = 0, brightFound = 0;
    double pos2 = 0;
    int posN = 0;
    std::vector<double> fluxRatios, magErrors;
    for (const auto& t : img.stars) {
        if (t.x < 8 || t.y < 8 || t.x > img.width - 8 || t.y > img.height - 8) continue;
        const double s = snr(e, t.flux);
        if (s < 10 || t.flux * 0.17 > 60000) continue; // saturated stars are not measured
        if (!isolated(img, t, 6)) continue;
        ++bright;
        double d;
        const auto* f = nearest(found, t.x, t.y, d);
        if (!f || d > 1.5) continue;
        ++brightFound;
        if (s >= 50 && isolated(img, t, 15)) {
            pos2 += d * d;
            ++posN;
            fluxRatios.push_back(f->RawFlux / t.flux);
        }
    }
    ASSERT_GT(bright, 50);
    EXPECT_GE(double(brightFound) / bright, 0.98) << brightFound << " of " << bright;
    ASSERT_GT(posN, 5);
    const double rms = std::sqrt(pos2 / posN / 2);
    EXPECT_LE(rms, 0.05) << "position RMS per axis " << rms;
    // at S/N 50 the noise alone is 2 %: the scatter stays within it, the bias well below
    double sum2 = 0;
    for (double r : fluxRatios) sum2 += (r - 1) * (r - 1);
    EXPECT_LE(std::sqrt(sum2 / fluxRatios.size()), 0.02);
    std::sort(fluxRatios.begin(), fluxRatios.end());
    EXPECT_NEAR(fluxRatios[fluxRatios.size() / 2], 1.0, 0.01);

    // artefacts: cosmic rays and hot pixels are not stars
    int artefacts = 0, reported = 0;
    auto check = [&](double x, double y) {
        for (const auto& t : img.stars)
            if (std::hypot(t.x - x, t.y - y) < 6 && snr(e, t.flux) > 3) return; // on a star
        ++artefacts;
        double d;
        if (nearest(found, x, y, d) && d < 2.5) ++reported;
    };
    for (const auto& [x, y] : img.cosmicRays) check(x, y);
    for (const auto& [x, y] : img.hotPixels) check(x, y);
    ASSERT_GT(artefacts, 10);
    EXPECT_LE(double(reported) / artefacts, 0.05) << reported << " of " << artefacts;
}

TEST(DetectionQuality, CalibratedMagnitudesAgreeWithTheCatalog) {
    SimulatedPair sim(12, 1024, false);
    astrometry::Plate plate;
    plate.AttachFITS((sim.dir / "reference.fts").string());
    plate.Catalog = "5";
    plate.CatalogPath = (sim.dir / "catalog").string();
    plate.FindImageStars();
    const auto& img = sim.pair.reference;
    std::vector<double> errors;
    for (const auto& t : img.stars) {
        if (snr(sim.pair.referenceEpoch, t.flux) < 20 || t.flux * 0.17 > 60000 || !isolated(img, t, 8)) continue;
        double d;
        const auto* f = nearest(plate.ImageStars(), t.x, t.y, d);
        if (f && d < 1.5) errors.push_back(f->Magnitude - t.mag);
    }
    ASSERT_GT(errors.size(), 20u);
    std::sort(errors.begin(), errors.end());
    EXPECT_LT(std::abs(errors[errors.size() / 2]), 0.1); // the zero-point
    int within = 0;
    for (double d : errors) within += std::abs(d) <= 0.1;
    EXPECT_GE(double(within) / errors.size(), 0.9);
}

TEST(DetectionQuality, CleanSkyHasAlmostNoSpuriousDetections) {
    SimulatedPair sim(13, 1024, true);
    astrometry::Plate plate;
    plate.AttachFITS((sim.dir / "reference.fts").string());
    plate.SigmaAboveMean = 5;
    plate.FindImageStars();
    EXPECT_LE(plate.ImageStars().Count(), 1u); // one megapixel
    plate.SigmaAboveMean = 50; // nothing at all: an empty list, no error
    plate.FindImageStars();
    EXPECT_EQ(plate.ImageStars().Count(), 0u);
}

// The stars of a file are found once per state of the file: a file rewritten
// in place or another swapped in under its name is searched anew.
TEST(DetectionQuality, AFileChangedUnderItsNameIsSearchedAnew) {
    SimulatedPair sim(21, 512, false);
    const auto countOf = [](const fs::path& file) {
        astrometry::Plate plate;
        plate.AttachFITS(file.string());
        plate.SigmaAboveMean = 5;
        plate.FindImageStars();
        return plate.ImageStars().Count();
    };
    const fs::path ref = sim.dir / "reference.fts", reshot = sim.dir / "reshot.fts", kept = sim.dir / "kept.fts";
    fs::copy_file(ref, kept);
    const auto refStars = countOf(ref), reshotStars = countOf(reshot);
    ASSERT_NE(refStars, reshotStars);
    EXPECT_EQ(countOf(ref), refStars); // unchanged: the same answer

    fs::copy_file(reshot, ref, fs::copy_options::overwrite_existing); // rewritten in place
    EXPECT_EQ(countOf(ref), reshotStars);
    fs::rename(kept, ref); // the old contents swapped back in under the name
    EXPECT_EQ(countOf(ref), refStars);
}

// A search made while a file is being written stands in for the file only in
// the state it was written in: taken there instead of reading the file, and
// not once the file has changed.
TEST(DetectionQuality, ASearchBeforeWritingStandsInOnlyForTheFileAsWritten) {
    SimulatedPair sim(22, 512, false);
    const fs::path ref = sim.dir / "reference.fts", reshot = sim.dir / "reshot.fts";
    fs::copy_file(ref, sim.dir / "original.fts");
    fs::copy_file(reshot, sim.dir / "other.fts");
    const auto request = [](const fs::path& file) {
        stars::ExtractionRequest q;
        q.file = file.string();
        q.threshold = 4.5; // settings of no earlier search: nothing kept
        return q;
    };
    const auto linesOf = [&](const fs::path& file) {
        stars::StarList lines;
        stars::ExtractionFailure failure;
        EXPECT_TRUE(stars::ExtractStarLines(request(file), lines, failure)) << failure.description;
        return lines;
    };
    const auto searchOf = [&](const fs::path& file) {
        const auto image = astrometry::ReadFitsImage(file.string());
        const auto found = stars::SearchBeforeWriting(
            request(ref), image.header, {image.pixels, image.noise, image.width, image.height});
        EXPECT_TRUE(found);
        return *found;
    };
    // made from the file's own contents: the lines of reading it
    stars::KeepSearch(request(ref), astrometry::StateOfFile(ref.string()), searchOf(ref));
    const auto refLines = linesOf(ref);
    EXPECT_FALSE(refLines.empty());
    EXPECT_EQ(refLines, linesOf(sim.dir / "original.fts"));

    // kept under the file's state, it is what the file's search answers...
    fs::copy_file(ref, sim.dir / "second.fts");
    const fs::path second = sim.dir / "second.fts";
    stars::KeepSearch(request(second), astrometry::StateOfFile(second.string()), searchOf(reshot));
    EXPECT_EQ(linesOf(second), linesOf(sim.dir / "other.fts"));
    // ...until the file is rewritten
    fs::copy_file(sim.dir / "original.fts", second, fs::copy_options::overwrite_existing);
    EXPECT_EQ(linesOf(second), refLines);
}

// SEP's pixel stack starts small; a source larger than it (a bright galaxy
// of 400 000 pixels above the threshold in a 10-megapixel frame) is searched
// on the larger one instead of ending the search.
TEST(DetectionQuality, ASourceLargerThanThePixelStackDoesNotEndTheSearch) {
    const int n = 3200; // the small stack: 320 000 pixels
    astrometry::FitsImage image;
    image.width = image.height = n;
    std::vector<float> pixels(static_cast<std::size_t>(n) * n);
    std::uint32_t state = 7;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            state = state * 1664525u + 1013904223u;
            const double r = std::hypot(x - n / 2.0, y - n / 2.0);
            pixels[static_cast<std::size_t>(y) * n + x] =
                static_cast<float>(100 + 10.0 * ((state >> 8) / 16777216.0 - 0.5) + 5000 * std::exp(-r / 140));
        }
    const astrometry::PixelsView view{pixels, {}, n, n};
    EXPECT_NO_THROW(astrometry::DetectStars(image, view, astrometry::DetectionSettings{}));
}
