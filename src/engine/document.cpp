#include "engine/document.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>

#include "astrometry/catalog.h"
#include "astrometry/detection.h"
#include "astrometry/errors.h"
#include "astrometry/fits_image.h"
#include "astrometry/pattern_match.h"
#include "astrometry/plate_solver.h"
#include "engine/aperture.h"
#include "engine/application.h"
#include "engine/errors.h"
#include "engine/image_writers.h"
#include "engine/modelled_resample.h"
#include "engine/pixel_stats.h"
#include "engine/poly_map.h"
#include "engine/psf_match.h"
#include "engine/resample.h"
#include "engine/sky_level_cache.h"
#include "engine/star_finder.h"
#include "engine/step_trace.h"
#include "platform/big_buffers.h"

namespace engine {
namespace {

std::string fileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

std::string fixed(double v, int decimals) {
    char b[64];
    std::snprintf(b, sizeof b, "%.*f", decimals, v);
    return b;
}

std::vector<BrightStar> brightStars(const std::vector<float>& pix, int w, int h, double sigmas,
                                    std::size_t maxStars, const SkyStats& sky) {
    return FindBrightStars(pix, w, h, sky.level, sky.sigma, sigmas, maxStars);
}

// How well a star's centroid is known, up to a factor common to the image: the
// variance of its light over its light squared, the variance from the noise
// image (sky and the star's own photons) in the 5 x 5 pixels around it.
double centroidVariance(const BrightStar& s, const std::vector<float>& noise, int w, int h, double skySigma) {
    const int cx = static_cast<int>(std::lround(s.x - 1)), cy = static_cast<int>(std::lround(s.y - 1));
    double v = 0;
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) {
            const int x = std::clamp(cx + dx, 0, w - 1), y = std::clamp(cy + dy, 0, h - 1);
            const double n = noise.empty() ? skySigma : noise[static_cast<std::size_t>(y) * w + x];
            v += std::isfinite(n) ? n * n : skySigma * skySigma;
        }
    return v / std::max(s.flux * s.flux, 1e-9);
}

} // namespace

Document::Document(std::shared_ptr<Registry> registry) : registry_(std::move(registry)) {}

Document::~Document() { CloseDocument(); }

void Document::requireOpen(const char* what) const {
    if (!open_) throw Error(kNoDocument, std::string(what) + " needs an open image");
}

void Document::refreshSolution() {
    const std::string block = header_.solutionBlock();
    wcs_ = astrometry::Wcs::FromHeader(block, static_cast<int>(block.size() / 80));
    // a solution must place the image's centre on the sky
    double ra, dec;
    if (wcs_.valid() && !wcs_.pixelToSky((width_ + 1) / 2.0, (height_ + 1) / 2.0, ra, dec))
        wcs_ = astrometry::Wcs();
    status_ = wcs_.valid() ? 2 : 0;
}

SkyStats Document::sky() const {
    std::lock_guard<std::mutex> lock(skyMutex_);
    if (!sky_) sky_ = MeasureSky(pixels_);
    return *sky_;
}

void Document::computeNoise() {
    // sky noise as measured, plus the photon noise of what lies above the sky
    const SkyStats sky = this->sky();
    if (!path_.empty()) RememberSkyLevel(path_, sky.level);
    platform::ResizeFast(noise_, pixels_.size());
    const double pixelNoise = PixelNoise(pixels_, width_, sky);
    const double var0 = pixelNoise * pixelNoise, g = gain_ > 0 ? gain_ : 1;
    PhotonNoise(pixels_, noise_, var0, sky.level, g);
}

void Document::OpenFile(const std::string& path) {
    StepTrace trace("open");
    astrometry::FitsImage img;
    try {
        img = astrometry::ReadFitsImage(path);
    } catch (const astrometry::Error& e) {
        throw Error(kOpenFailed, e.description());
    }
    trace.mark("read");
    CloseDocument();
    path_ = path;
    width_ = img.width;
    height_ = img.height;
    pixels_ = std::move(img.pixels);
    header_ = HeaderCards(img.header);
    gain_ = 1;
    for (const char* k : {"EGAIN", "GAIN"})
        if (const auto g = img.number(k); g && *g > 0) {
            gain_ = *g;
            break;
        }
    if (!img.noise.empty()) {
        noise_ = std::move(img.noise);
        RememberSkyLevel(path_, sky().level);
    } else {
        computeNoise();
    }
    trace.mark("noise");
    saturation_.reset();
    {
        float top = -std::numeric_limits<float>::infinity();
        const float* p = pixels_.data();
        const long long n = static_cast<long long>(pixels_.size());
#pragma omp parallel for reduction(max : top) schedule(static)
        for (long long i = 0; i < n; ++i)
            if (p[i] > top) top = p[i];
        long long atTop = 0;
        const float near = top - 1e-4f * std::abs(top);
#pragma omp parallel for reduction(+ : atTop) schedule(static)
        for (long long i = 0; i < n; ++i) atTop += p[i] >= near;
        // a flat top of several pixels: the camera's full well or its converter's end
        if (atTop >= 3 && top > 1000) saturation_ = top;
    }
    difference_ = header_.has("MAGZERO") && !noise_.empty() && header_.value("IMAGETYP") == "Difference";
    if (const auto zp = img.number("MAGZERO")) zeroPoint_ = *zp;
    geometry_ = registry_->newGeometry();
    open_ = true;
    registry_->add(this);
    refreshSolution();
    trace.mark("rest");
}

void Document::CloseDocument() {
    if (!open_) return;
    registry_->remove(this);
    open_ = false;
    sky_.reset();
    pixels_.clear();
    pixels_.shrink_to_fit();
    noise_.clear();
    noise_.shrink_to_fit();
    header_ = HeaderCards();
    wcs_ = astrometry::Wcs();
    status_ = 0;
    stretch_.reset();
    zeroPoint_.reset();
    difference_ = false;
}

double Document::ImageScale() const {
    if (!wcs_.valid()) return 0;
    return wcs_.scaleAt((width_ + 1) / 2.0, (height_ + 1) / 2.0);
}

double Document::CentreRightAscension() const {
    double ra = 0, dec = 0;
    wcs_.pixelToSky((width_ + 1) / 2.0, (height_ + 1) / 2.0, ra, dec);
    return ra / 15.0;
}

double Document::CentreDeclination() const {
    double ra = 0, dec = 0;
    wcs_.pixelToSky((width_ + 1) / 2.0, (height_ + 1) / 2.0, ra, dec);
    return dec;
}

std::string Document::ReadHeaderKey(const std::string& key) const { return header_.value(key); }

void Document::AdjustByDifference(float difference) {
    requireOpen("AdjustByDifference");
    const float d = std::abs(difference);
    if (saturation_) *saturation_ += d;
#pragma omp parallel for schedule(static)
    for (long long i = 0; i < static_cast<long long>(pixels_.size()); ++i) pixels_[static_cast<std::size_t>(i)] += d;
    if (sky_) sky_->level += d;
    header_.history("Raised by " + fixed(d, 3) + " ADU to the other image's background");
}

std::shared_ptr<Document> Document::DuplicateDocument() {
    requireOpen("DuplicateDocument");
    auto copy = std::make_shared<Document>(registry_);
    copy->path_ = path_;
    copy->width_ = width_;
    copy->height_ = height_;
    copy->pixels_ = platform::CopyFast(pixels_);
    copy->noise_ = platform::CopyFast(noise_);
    copy->sky_ = sky_;
    copy->header_ = header_;
    copy->gain_ = gain_;
    copy->difference_ = difference_;
    copy->zeroPoint_ = zeroPoint_;
    copy->stretch_ = stretch_;
    copy->intensityScale_ = intensityScale_;
    copy->saturation_ = saturation_;
    copy->geometry_ = geometry_; // the same pixel grid
    copy->open_ = true;
    registry_->add(copy.get());
    copy->refreshSolution();
    if (status_ == 1) copy->status_ = 1;
    return copy;
}

void Document::AlignToThis(int mode, bool) {
    requireOpen("AlignToThis");
    if (mode != 1 && mode != 3) throw Error(kAlignFailed, "Unknown alignment mode " + std::to_string(mode));
    const auto others = registry_->documents();
    for (Document* d : others)
        if (d != this) alignOther(*d, mode);
}

void Document::alignOther(Document& other, int mode) {
    if (other.geometry_ == geometry_ && other.width_ == width_ && other.height_ == height_) {
        // already on this grid (a copy of this image): only the solution is taken over
        other.header_.removeSolution();
        other.header_.append(header_.solutionBlock());
        other.refreshSolution();
        return;
    }
    const bool bothSolved = wcs_.valid() && other.wcs_.valid();
    if (mode == 1 && !bothSolved)
        throw Error(kAlignFailed, "Aligning by plate solutions needs a plate solution in both images");

    StepTrace trace("align");
    const double cx = (width_ + 1) / 2.0, cy = (height_ + 1) / 2.0, scale = std::max(width_, height_) / 2.0;
    PolyMap map;
    bool haveMap = false;
    if (bothSolved) {
        // this pixel -> sky -> the other's pixel, on a grid
        std::vector<std::pair<double, double>> t, s;
        for (int j = 0; j <= 16; ++j)
            for (int i = 0; i <= 16; ++i) {
                const double x = 0.5 + width_ * i / 16.0, y = 0.5 + height_ * j / 16.0;
                double ra, dec, u, v;
                if (wcs_.pixelToSky(x, y, ra, dec) && other.wcs_.skyToPixel(ra, dec, u, v)) {
                    t.emplace_back(x, y);
                    s.emplace_back(u, v);
                }
            }
        haveMap = map.fit(t, s, 3, cx, cy, scale);
    }
    alignStars_ = 0;
    alignRms_ = 0;
    if (mode == 3) {
        const auto mine = brightStars(pixels_, width_, height_, 6, 300, sky());
        const auto theirs = brightStars(other.pixels_, other.width_, other.height_, 6, 300, other.sky());
        std::vector<astrometry::P> a, b;
        std::vector<double> va, vb;
        const double sa = sky().sigma, sb = other.sky().sigma;
        // a centroid's variance is about 2 sigma^2 / SNR^2 (sigma: the stars' Gaussian width)
        auto widthOf = [](const std::vector<BrightStar>& stars, const std::vector<float>& pix, int w, int h,
                          double level) {
            std::vector<StampStar> at;
            for (const auto& s : stars)
                if (!s.saturated && at.size() < 40) at.push_back({s.x - 1, s.y - 1});
            const double sigma = StarSigma(pix, w, h, at, level);
            return sigma > 0 ? sigma : 1.0;
        };
        const double ka = 2 * std::pow(widthOf(mine, pixels_, width_, height_, sky().level), 2);
        const double kb = 2 * std::pow(widthOf(theirs, other.pixels_, other.width_, other.height_, other.sky().level), 2);
        for (const auto& s : mine)
            if (!s.saturated) {
                a.push_back({s.x, s.y});
                va.push_back(ka * centroidVariance(s, noise_, width_, height_, sa));
            }
        for (const auto& s : theirs)
            if (!s.saturated) {
                b.push_back({s.x, s.y});
                vb.push_back(kb * centroidVariance(s, other.noise_, other.width_, other.height_, sb));
            }
        trace.mark("stars");
        astrometry::Pairs pairs;
        if (haveMap) {
            // predicted by the plate solutions, refined by the stars
            std::vector<astrometry::P> predicted;
            for (const auto& p : a) {
                const auto [u, v] = map(p.x, p.y);
                predicted.push_back({u, v});
            }
            const astrometry::Affine identity{{1, 0, 0, 1}, {0, 0}};
            pairs = astrometry::PairUp(predicted, b, identity, 4.0);
        } else if (a.size() >= 4 && b.size() >= 4) {
            astrometry::Affine aff{};
            const std::size_t n =
                astrometry::MatchByTriangles(a, b, std::min(width_, height_) / 25.0, 3.0, 0.25, aff);
            if (n >= 6) {
                for (double tol : {4.0, 2.5, 2.0}) {
                    pairs = astrometry::PairUp(a, b, aff, tol);
                    if (!astrometry::FitAffine(a, b, pairs, aff)) break;
                }
            }
        }
        if (pairs.size() >= 6) {
            // clip pairs that disagree with the rest, then fit the map to the stars
            for (int round = 0; round < 3; ++round) {
                // Each pair weighted by how well both centroids are known: the
                // faint stars' centroid noise (a tenth of a pixel) moved an
                // unweighted map by 0.02 px, which is 5 % of a bright
                // undersampled star's peak in the difference.
                std::vector<std::pair<double, double>> t, s;
                std::vector<double> weight;
                for (const auto& [i, j] : pairs) {
                    t.emplace_back(a[i].x, a[i].y);
                    s.emplace_back(b[j].x, b[j].y);
                    weight.push_back(1 / (va[i] + vb[j]));
                }
                const int order = pairs.size() >= 60 ? 3 : (pairs.size() >= 25 ? 2 : 1);
                PolyMap starMap;
                if (!starMap.fit(t, s, order, cx, cy, scale, weight)) break;
                astrometry::Pairs kept;
                for (const auto& pr : pairs) {
                    const auto [u, v] = starMap(a[pr.first].x, a[pr.first].y);
                    if (std::hypot(u - b[pr.second].x, v - b[pr.second].y) < std::max(3 * starMap.rms(), 0.3))
                        kept.push_back(pr);
                }
                map = starMap;
                haveMap = true;
                alignStars_ = static_cast<int>(pairs.size());
                alignRms_ = starMap.rms();
                if (kept.size() == pairs.size() || kept.size() < 6) break;
                pairs = kept;
            }
        }
    }
    if (!haveMap)
        throw Error(kAlignFailed, "Cannot align " + fileName(other.path_) + " to " + fileName(path_) +
                                      ": the images have no stars in common and no plate solutions");

    {
        const auto [u0, v0] = map(cx, cy);
        const auto [u1, v1] = map(cx + 1, cy);
        const auto [u2, v2] = map(cx, cy + 1);
        const double area = std::abs((u1 - u0) * (v2 - v0) - (v1 - v0) * (u2 - u0));
        other.intensityScale_ *= area;
        if (other.saturation_) *other.saturation_ *= area;
    }
    trace.mark("map");
    int modelledStars = 0;
    {
        auto moved = ResampleModelled(other.pixels_, other.noise_, other.width_, other.height_, other.sky(),
                                      other.saturation_, map, width_, height_);
        modelledStars = moved.starsModelled;
        other.pixels_ = std::move(moved.image.pixels);
        other.sky_.reset();
        other.noise_ = std::move(moved.image.noise);
    }
    trace.mark("resample");
    other.width_ = width_;
    other.height_ = height_;
    other.geometry_ = geometry_;
    other.alignStars_ = alignStars_;
    other.alignRms_ = alignRms_;
    other.header_.removeSolution();
    other.header_.append(header_.solutionBlock());
    other.header_.history("Aligned to " + fileName(path_) + (alignStars_ ? " on " + std::to_string(alignStars_) +
                                                                               " stars, residual " +
                                                                               fixed(alignRms_, 3) + " px"
                                                                         : " by the plate solutions") +
                          ", Lanczos-3" +
                          (modelledStars ? ", " + std::to_string(modelledStars) + " stars modelled" : std::string()));
    other.refreshSolution();
}

void Document::SubtractDocument(Document& other) {
    requireOpen("SubtractDocument");
    other.requireOpen("SubtractDocument");
    if (other.width_ != width_ || other.height_ != height_)
        throw Error(kSubtractFailed, "Cannot subtract " + fileName(other.path_) +
                                         ": it is not aligned to this image (the sizes differ)");
    StepTrace trace("subtract");
    // flux scale from the stars that both show, robustly
    const SkyStats sky = this->sky();
    const auto stars = brightStars(pixels_, width_, height_, 20, 200, sky);
    trace.mark("stars");
    // how wide this image's stars are, for telling residuals from cosmic rays later
    {
        std::vector<double> widths;
        for (const auto& st : stars)
            if (!st.saturated)
                widths.push_back(astrometry::MinorWidth(pixels_, width_, height_, static_cast<int>(std::lround(st.x - 1)),
                                                        static_cast<int>(std::lround(st.y - 1)), sky.level));
        if (widths.size() >= 5) header_.set(astrometry::kStarWidthKey, MedianOf(widths), "minor width of the stars, px");
    }
    std::vector<double> ratios;
    for (const auto& s : stars) {
        if (s.saturated) continue;
        const double mine = ApertureFlux(pixels_, width_, height_, s.x, s.y, 5, 7, 10);
        const double theirs = ApertureFlux(other.pixels_, width_, height_, s.x, s.y, 5, 7, 10);
        if (mine > 0 && theirs > 0 && std::isfinite(theirs)) ratios.push_back(mine / theirs);
    }
    fluxScale_ = ratios.size() >= 5 ? MedianOf(ratios) : 1.0;
    if (!(fluxScale_ > 0.05 && fluxScale_ < 20)) fluxScale_ = 1.0;

    // the reshot's zero-point, for magnitudes of what is left
    zeroPoint_.reset();
    if (wcs_.valid() && !registry_->catalogPath.empty()) {
        try {
            double ra, dec;
            wcs_.pixelToSky((width_ + 1) / 2.0, (height_ + 1) / 2.0, ra, dec);
            const double half = std::hypot(width_, height_) / 2 * std::abs(ImageScale()) / 3600;
            auto byDec = astrometry::ReadCatalog(registry_->catalogCode, registry_->catalogPath,
                                                 astrometry::BoxAround(ra, dec, half), registry_->catalogMaxMag);
            // Every star well measured takes part: a catalog's magnitudes
            // scatter by a fifth of a magnitude, and the zero-point of a few
            // dozen stars was off by several hundredths.
            std::sort(byDec.begin(), byDec.end(), [](const auto& a, const auto& b) { return a.dec < b.dec; });
            const double near = 2.5 / 3600;
            std::vector<double> zps;
            for (const auto& s : brightStars(pixels_, width_, height_, 10, 800, sky)) {
                if (s.saturated) continue;
                double sra, sdec;
                if (!wcs_.pixelToSky(s.x, s.y, sra, sdec)) continue;
                auto it = std::lower_bound(byDec.begin(), byDec.end(), sdec - near,
                                           [](const auto& c, double d) { return c.dec < d; });
                for (; it != byDec.end() && it->dec <= sdec + near; ++it) {
                    if (std::hypot((it->ra - sra) * std::cos(sdec * M_PI / 180), it->dec - sdec) < near) {
                        const double whole = ApertureFlux(pixels_, width_, height_, s.x, s.y, 9, 11, 16);
                        if (whole > 0) zps.push_back(it->mag + 2.5 * std::log10(whole));
                        break;
                    }
                }
            }
            if (zps.size() >= 3) zeroPoint_ = ClippedMean(zps);
        } catch (const astrometry::Error&) {
            // no catalog for this field: the difference carries no zero-point
        }
    }

    setApertureCorrection(pixels_, stars);
    trace.mark("scale, zero-point");
    std::string how;
    if (!registry_->psfMatching || !subtractMatched(other, stars, sky, how)) {
        const float s = static_cast<float>(fluxScale_);
#pragma omp parallel for schedule(static)
        for (long long i = 0; i < static_cast<long long>(pixels_.size()); ++i) {
            const auto k = static_cast<std::size_t>(i);
            pixels_[k] -= s * other.pixels_[k];
            const float n2 = other.noise_.empty() ? 0.f : s * other.noise_[k];
            noise_[k] = std::sqrt(noise_[k] * noise_[k] + n2 * n2);
        }
        how = "scaled by " + fixed(fluxScale_, 5);
    }
    trace.mark("matched");
    // the background offset left after scaling
    sky_.reset();
    const double offset = this->sky().level;
    const float o = static_cast<float>(offset);
#pragma omp parallel for schedule(static)
    for (long long i = 0; i < static_cast<long long>(pixels_.size()); ++i) pixels_[static_cast<std::size_t>(i)] -= o;
    if (sky_) sky_->level -= offset;

    {
        int side = 3;
        const double psf =
            header_.has(astrometry::kPsfSigmaKey) ? std::atof(header_.value(astrometry::kPsfSigmaKey).c_str()) : 0;
        const auto filter = astrometry::DetectionFilter(psf, side);
        const double c = astrometry::FilteredNoiseRatio(pixels_, noise_, width_, height_, filter, side);
        header_.set(astrometry::kNoiseCorrelationKey, std::clamp(c, 1.0, 5.0),
                    "filtered noise over that of independent pixels");
    }
    trace.mark("offset, noise ratio");
    difference_ = true;
    header_.history("Subtracted " + fileName(other.path_) + " " + how + ", background offset " + fixed(offset, 3) +
                    " ADU");
    header_.set("FLUXSCAL", fluxScale_, "flux scale applied to the subtracted image");
    if (zeroPoint_) header_.set("MAGZERO", *zeroPoint_, "magnitude = MAGZERO - 2.5 log10(ADU)");
}

void Document::StartPlateSolve(double raHours, double decDeg, double scaleX, double scaleY) {
    requireOpen("StartPlateSolve");
    status_ = 3;
    solveReason_.clear();
    std::vector<astrometry::DetectedStar> found;
    for (const auto& s : brightStars(pixels_, width_, height_, 5, 400, sky()))
        found.push_back({s.x, s.y, s.flux, std::sqrt(std::max(s.flux, 1.0)), s.peak, s.saturated});
    const astrometry::SolveHints hints{raHours, decDeg, 0.5 * (std::abs(scaleX) + std::abs(scaleY))};
    astrometry::SolveResult r;
    try {
        const double half = std::hypot(width_, height_) / 2 * hints.arcsecPerPixel / 3600 + 0.12;
        const auto cat = astrometry::ReadCatalog(registry_->catalogCode, registry_->catalogPath,
                                                 astrometry::BoxAround(raHours * 15, decDeg, half),
                                                 registry_->catalogMaxMag);
        r = astrometry::SolvePlate(found, width_, height_, cat, hints);
    } catch (const astrometry::Error& e) {
        r.reason = e.description();
    }
    if (!r.solved) {
        status_ = 1;
        solveReason_ = r.reason;
        return;
    }
    header_.removeSolution();
    header_.append(r.solution.headerCards());
    header_.history("Plate solved on " + std::to_string(r.solution.matched) + " catalog stars, residual " +
                    fixed(r.solution.rmsArcsec, 2) + " arcsec");
    refreshSolution();
    if (status_ != 2) {
        status_ = 1;
        solveReason_ = "The new plate solution cannot be used";
    }
}

void Document::SaveFile(const std::string& path, int type, bool, int, int) {
    requireOpen("SaveFile");
    if (type == 3) {
        HeaderCards h = header_;
        h.history("Saved by Vospen");
        WriteFloatFits(path, pixels_, width_, height_, h, difference_ ? &noise_ : nullptr);
        return;
    }
    if (type == 6) {
        StepTrace trace("save");
        Stretch s;
        if (stretch_) {
            s.low = (*stretch_)[0];
            s.high = (*stretch_)[1];
        } else {
            // one rule for every picture that is blinked against another
            const SkyStats sky = this->sky();
            s.difference = difference_;
            s.low = difference_ ? -3 * sky.sigma : sky.level - 3 * sky.sigma;
            s.high = difference_ ? 100 * sky.sigma : sky.level + 100 * sky.sigma;
        }
        trace.mark("stretch");
        WriteGreyJpeg(path, pixels_, width_, height_, s);
        return;
    }
    throw Error(kBadFileType, "Unknown file type " + std::to_string(type) + " (3 FITS, 6 JPEG)");
}

void Document::UseSurveyPlateSolution() {
    requireOpen("UseSurveyPlateSolution");
    static const char* keys[] = {"PLTRAH", "PLTRAM", "PLTRAS", "PLTDECSN", "PLTDECD", "PLTDECM", "PLTDECS",
                                 "PLTSCALE", "XPIXELSZ", "YPIXELSZ", "CNPIX1", "CNPIX2", "PPO3", "PPO6",
                                 "AMDX1", "AMDX2", "AMDX3", "AMDY1", "AMDY2", "AMDY3"};
    std::string missing;
    for (const char* k : keys)
        if (!header_.has(k)) missing += std::string(missing.empty() ? "" : ", ") + k;
    if (!missing.empty())
        throw Error(kSurveyPlate, "The survey picture lacks the plate keywords " + missing);
    // keep only the survey plate's own keywords: wcslib turns them into the exact solution
    HeaderCards kept;
    std::string block;
    const std::string all = header_.block();
    for (std::size_t o = 0; o + 80 <= all.size(); o += 80) {
        const std::string card = all.substr(o, 80);
        std::string key = card.substr(0, 8);
        while (!key.empty() && key.back() == ' ') key.pop_back();
        const bool standard = HeaderCards::IsSolutionKey(key) &&
                              (key.rfind("CTYPE", 0) == 0 || key.rfind("CRVAL", 0) == 0 ||
                               key.rfind("CRPIX", 0) == 0 || key.rfind("CD", 0) == 0 ||
                               key.rfind("CDELT", 0) == 0 || key.rfind("CROTA", 0) == 0 ||
                               key.rfind("PC", 0) == 0 || key == "CUNIT1" || key == "CUNIT2");
        if (!standard) block += card;
    }
    header_ = HeaderCards(block);
    refreshSolution();
    if (status_ != 2) throw Error(kSurveyPlate, "The survey picture's plate solution cannot be used");
}

std::array<double, 2> Document::MeasureLevels(int left, int top, int right, int bottom) const {
    requireOpen("MeasureLevels");
    left = std::clamp(left, 0, width_ - 1);
    right = std::clamp(right, left, width_ - 1);
    top = std::clamp(top, 0, height_ - 1);
    bottom = std::clamp(bottom, top, height_ - 1);
    std::vector<float> area;
    area.reserve(static_cast<std::size_t>(right - left + 1) * (bottom - top + 1));
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x) area.push_back(pixels_[static_cast<std::size_t>(y) * width_ + x]);
    const SkyStats sky = MeasureSky(area);
    const double bright = SampledPercentile(area, 0.998);
    levelsScale_ = intensityScale_;
    return {sky.level - 3 * sky.sigma, std::max(bright, sky.level + 20 * sky.sigma)};
}

void Document::SetStretchLevels(int, float, int, int, double high, double low) {
    requireOpen("SetStretchLevels");
    const double k = levelsScale_ > 0 ? intensityScale_ / levelsScale_ : 1;
    stretch_ = std::array<double, 2>{low * k, high * k};
}

} // namespace engine
