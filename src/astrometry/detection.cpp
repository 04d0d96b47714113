#include "astrometry/detection.h"

extern "C" {
#include <sep.h>
}

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "astrometry/errors.h"
#include "astrometry/local_significance.h"
#include "astrometry/matched_filter.h"
#include "astrometry/source_shape.h"
#include "platform/big_buffers.h"
#include "platform/step_trace.h"

namespace astrometry {
namespace {

struct BkgFree {
    void operator()(sep_bkg* b) const { sep_bkg_free(b); }
};
struct CatFree {
    void operator()(sep_catalog* c) const { sep_catalog_free(c); }
};

void check(int status, const char* what) {
    if (status) {
        char msg[128] = {};
        sep_get_errmsg(status, msg);
        throw Error(kDetectionError, std::string(what) + ": " + msg);
    }
}

sep_image view(const float* data, const float* noise, int w, int h) {
    sep_image im{};
    im.data = data;
    im.noise = noise;
    im.dtype = SEP_TFLOAT;
    im.ndtype = SEP_TFLOAT;
    im.w = w;
    im.h = h;
    im.noise_type = noise ? SEP_NOISE_STDDEV : SEP_NOISE_NONE;
    return im;
}

// The detection filter's reach: 2 sigma of the point spread, at most 6 px;
// 0 without a point spread of at least 0.9 px (the filter is then 1 2 1).
int filterHalf(double psfSigma) {
    return psfSigma > 0.9 ? std::min(6, static_cast<int>(std::ceil(2 * psfSigma))) : 0;
}

template <typename Image>
std::unique_ptr<sep_bkg, BkgFree> background(const Image& img) {
    sep_image im = view(img.pixels.data(), nullptr, img.width, img.height);
    sep_bkg* bkg = nullptr;
    const int box = std::clamp(std::min(img.width, img.height) / 8, 16, 64);
    check(sep_background(&im, box, box, 3, 3, 0.0, &bkg), "background");
    return std::unique_ptr<sep_bkg, BkgFree>(bkg);
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
}

} // namespace

double MinorWidth(const std::vector<float>& sub, int w, int h, int px, int py, double sky) {
    double s = 0, sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
    for (int y = py - 2; y <= py + 2; ++y)
        for (int x = px - 2; x <= px + 2; ++x) {
            if (x < 0 || y < 0 || x >= w || y >= h) continue;
            const double v = sub[static_cast<std::size_t>(y) * w + x] - sky;
            if (!(v > 0)) continue;
            s += v;
            sx += v * x;
            sy += v * y;
            sxx += v * x * x;
            syy += v * y * y;
            sxy += v * x * y;
        }
    if (s <= 0) return 0;
    const double mx = sx / s, my = sy / s;
    const double cxx = sxx / s - mx * mx, cyy = syy / s - my * my, cxy = sxy / s - mx * my;
    const double t = (cxx + cyy) / 2, d = std::sqrt(std::max(0.0, (cxx - cyy) * (cxx - cyy) / 4 + cxy * cxy));
    return std::sqrt(std::max(0.0, t - d));
}

double SourceLight(const std::vector<float>& pixels, int w, int h, double x, double y, double radius, double outer) {
    if (pixels.size() != static_cast<std::size_t>(w) * h) return NAN;
    sep_image im = view(pixels.data(), nullptr, w, h);
    double sum = 0, sumErr = 0, area = 0, ann = 0, annErr = 0, annArea = 0;
    short flag = 0;
    if (sep_sum_circle(&im, x - 1, y - 1, radius, 0, 5, 0, &sum, &sumErr, &area, &flag) != 0 ||
        sep_sum_circann(&im, x - 1, y - 1, radius, outer, 0, 5, 0, &ann, &annErr, &annArea, &flag) != 0 ||
        !(annArea > 0))
        return NAN;
    return sum - ann / annArea * area;
}

std::vector<float> DetectionFilter(double psfSigma, int& side) {
    const int half = filterHalf(psfSigma);
    if (half == 0) {
        side = 3;
        return {1, 2, 1, 2, 4, 2, 1, 2, 1};
    }
    side = 2 * half + 1;
    std::vector<float> f(static_cast<std::size_t>(side) * side);
    for (int y = -half; y <= half; ++y)
        for (int x = -half; x <= half; ++x)
            f[static_cast<std::size_t>(y + half) * side + x + half] =
                static_cast<float>(std::exp(-0.5 * (x * x + y * y) / (psfSigma * psfSigma)));
    return f;
}

double FilteredNoiseRatio(const std::vector<float>& pix, const std::vector<float>& noise, int w, int h,
                          const std::vector<float>& filter, int side) {
    const int half = side / 2;
    double f2 = 0;
    for (float v : filter) f2 += double(v) * v;
    auto filtered = [&](int x, int y, double& out) {
        double acc = 0;
        for (int v = -half; v <= half; ++v)
            for (int u = -half; u <= half; ++u) {
                const std::size_t i = static_cast<std::size_t>(y + v) * w + x + u;
                if (!std::isfinite(pix[i]) || !(noise[i] > 0)) return false;
                acc += filter[static_cast<std::size_t>(v + half) * side + u + half] * pix[i] / noise[i];
            }
        out = acc / std::sqrt(f2);
        return true;
    };
    // differences of filtered values 16 pixels apart: a background left over at
    // large scales is not noise (detection takes it away), and the noise of two
    // places that far apart is independent
    constexpr int kApart = 16;
    std::vector<float> z;
    // about 60 000 pairs: the ratio to half a per cent
    const int step = std::max(5, static_cast<int>(std::sqrt(double(w) * h / 60000.0)));
#pragma omp parallel
    {
        std::vector<float> mine;
#pragma omp for schedule(static)
        for (int y = half; y < h - half; y += step)
            for (int x = half; x + kApart < w - half; x += step) {
                double a = 0, b = 0;
                if (filtered(x, y, a) && filtered(x + kApart, y, b))
                    mine.push_back(static_cast<float>((a - b) / std::sqrt(2.0)));
            }
#pragma omp critical
        z.insert(z.end(), mine.begin(), mine.end());
    }
    if (z.size() < 100) return 1;
    auto mid = z.begin() + static_cast<std::ptrdiff_t>(z.size() / 2);
    std::nth_element(z.begin(), mid, z.end());
    const float med = *mid;
    for (auto& v : z) v = std::abs(v - med);
    std::nth_element(z.begin(), mid, z.end());
    return 1.4826 * *mid;
}

double BackgroundLevel(const FitsImage& image) {
    auto bkg = background(image);
    return sep_bkg_global(bkg.get());
}

double BackgroundLevel(const std::string& path) { return BackgroundLevel(ReadFitsImage(path)); }

namespace {

// A star that moved or changed its shape between the two images leaves a
// positive lobe beside a negative one in the difference; a new source has no
// negative partner. The lobe is judged on 3 x 3 means: it must be deeper than
// 0.4 of the source's own and than four times their noise.
bool isDipole(const std::vector<float>& sub, const std::vector<float>* noise, double rms, int w, int h, double x,
              double y, double starWidth, double psfSigma) {
    const int cx = static_cast<int>(std::lround(x)), cy = static_cast<int>(std::lround(y));
    // the lobes of a dipole lie about one seeing width apart
    const int r = psfSigma > 0 ? std::max(3, static_cast<int>(std::ceil(1.0 * 2.355 * psfSigma)))
                               : std::max(4, static_cast<int>(std::ceil(6 * starWidth)));
    auto mean3 = [&](int px, int py) {
        double s = 0;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) s += sub[static_cast<std::size_t>(py + dy) * w + px + dx];
        return s / 9;
    };
    if (cx - r < 1 || cy - r < 1 || cx + r >= w - 1 || cy + r >= h - 1) return false;
    const double own = mean3(cx, cy);
    double deepest = 0, deepestNoise = rms / 3;
    for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx) {
            if (dx * dx + dy * dy > r * r) continue;
            const double m = mean3(cx + dx, cy + dy);
            if (m < deepest) {
                deepest = m;
                if (noise) deepestNoise = (*noise)[static_cast<std::size_t>(cy + dy) * w + cx + dx] / 3;
            }
        }
    if (!(deepestNoise > 0) || deepestNoise > 1e20) return false;
    return deepest < -std::max(0.4 * own, 4 * deepestNoise);
}

} // namespace

namespace {

// The image as the extraction sees it: background-subtracted, blanks at zero
// with an infinite noise (or zero without a noise image).
struct Search {
    const PixelsView& img;
    std::optional<DifferenceRecord> record;
    DetectionSettings settings;
    std::vector<float> sub, noise;
    bool haveNoise = false;
    sep_image im{};
    double psfSigma = 0;
    double backgroundRms = 0;
    bool difference() const { return record.has_value(); }
};

std::unique_ptr<sep_bkg, BkgFree> measureBackground(Search& s, DetectionResult& result) {
    auto bkg = background(s.img);
    result.backgroundLevel = sep_bkg_global(bkg.get());
    result.backgroundRms = s.backgroundRms = sep_bkg_globalrms(bkg.get());
    s.haveNoise = !s.img.noise.empty();
    return bkg;
}

// Pixels no source pixel covered (NaN) and blanks take no part.
inline void blankUnusable(float& value, float& noise) {
    if (!(noise > 0) || !std::isfinite(value)) {
        noise = 1e30f;
        value = 0;
    }
}

// One row of the image and its noise as the extraction sees them; SEP's
// status is kept in `failed` (none may throw on the filter's threads).
void subtractedRow(const Search& s, sep_bkg& bkg, int y, float* values, float* noise, std::atomic<int>& failed) {
    const int w = s.img.width;
    const std::size_t o = static_cast<std::size_t>(y) * w;
    std::copy(s.img.pixels.begin() + o, s.img.pixels.begin() + o + w, values);
    std::copy(s.img.noise.begin() + o, s.img.noise.begin() + o + w, noise);
    if (const int status = sep_bkg_subline(&bkg, y, values, SEP_TFLOAT)) failed = status;
    for (int x = 0; x < w; ++x) blankUnusable(values[x], noise[x]);
}

// `sub` and `noise` as the measurements see them.
void subtractBackground(Search& s, sep_bkg& bkg) {
    const PixelsView& img = s.img;
    if (s.haveNoise) {
        // row by row on every core (SEP's whole-image call runs on one)
        const int w = img.width;
        platform::ResizeFast(s.sub, img.pixels.size());
        platform::ResizeFast(s.noise, img.noise.size());
        std::atomic<int> failed{0};
#pragma omp parallel for schedule(static)
        for (int y = 0; y < img.height; ++y) {
            const std::size_t o = static_cast<std::size_t>(y) * w;
            subtractedRow(s, bkg, y, s.sub.data() + o, s.noise.data() + o, failed);
        }
        check(failed, "background subtraction");
    } else {
        s.sub = platform::CopyFast(img.pixels);
        check(sep_bkg_subarray(&bkg, s.sub.data(), SEP_TFLOAT), "background subtraction");
        for (auto& v : s.sub)
            if (!std::isfinite(v)) v = 0;
    }
    s.im = view(s.sub.data(), s.haveNoise ? s.noise.data() : nullptr, img.width, img.height);
    if (!s.haveNoise) {
        s.im.noiseval = s.backgroundRms;
        s.im.noise_type = SEP_NOISE_STDDEV;
    }
}

// The filter's row: the detection filter is its outer product with itself.
std::vector<float> detectionFilterRow(double psfSigma) {
    const int half = filterHalf(psfSigma);
    if (half == 0) return {1, 2, 1};
    std::vector<float> row;
    for (int x = -half; x <= half; ++x) row.push_back(static_cast<float>(std::exp(-0.5 * x * x / (psfSigma * psfSigma))));
    return row;
}

// What the measurements take of an extracted source: its centroid and
// brightest pixel (0-based, in the whole image).
struct Found {
    double x, y;
    float peak;
    int xpeak, ypeak;
};

// The sources of a catalog made of the rows from `firstRow` on. In a
// difference, the brightest pixel is looked up in `sub` (SEP saw the
// smoothed image).
void addFound(const sep_catalog& cat, int firstRow, int w, const std::vector<float>* sub, std::vector<Found>& out) {
    const std::size_t offset = static_cast<std::size_t>(firstRow) * w;
    for (int i = 0; i < cat.nobj; ++i) {
        Found f{cat.x[i], cat.y[i] + firstRow, cat.peak[i], cat.xpeak[i], cat.ypeak[i] + firstRow};
        if (sub) {
            float peak = -INFINITY;
            std::size_t at = 0;
            bool any = false;
            for (int k = 0; k < cat.npix[i]; ++k) {
                const std::size_t j = offset + static_cast<std::size_t>(cat.pix[i][k]);
                if ((*sub)[j] > peak) peak = (*sub)[j], at = j, any = true;
            }
            if (any) f = {f.x, f.y, peak, static_cast<int>(at % w), static_cast<int>(at / w)};
        }
        out.push_back(f);
    }
}

// SEP keeps the pixels above the threshold on a stack made whole before it
// starts (tens of bytes a pixel, every page written: 120 MB for a quarter of
// a 4096 x 4096 image). A thirty-second serves any usual field; the quarter is
// taken only when that one fills.
constexpr int kStackFull = 2; // SEP's "internal pixel buffer full"

int extractWithStack(std::size_t pixels, const std::function<int()>& extraction) {
    sep_set_extract_pixstack(std::max<std::size_t>(300000, pixels / 32));
    int status = extraction();
    if (status == kStackFull) {
        sep_set_extract_pixstack(std::max<std::size_t>(300000, pixels / 4));
        status = extraction();
    }
    return status;
}

// SEP's catalogs of the detection images, each of the rows from its first on.
struct Segments {
    std::vector<std::unique_ptr<sep_catalog, CatFree>> catalogs;
    std::vector<int> firstRows;
};

// Split at the quiet rows from `cut` (none: 0), the halves on two cores: no
// source crosses them, and the halves' sources come out as one search's
// would, in the same order (their centroids the same to 1e-12 px: a half
// sums from its own first row). A half that fills SEP's stack, or no cut:
// the whole image at once. `above`: the pixels above the threshold, which
// are all SEP's stack ever holds; twice that is the halves' stack, where a
// share of the image would cost a page fault per hundred pixels.
Segments segment(const FilteredImages& f, int w, int h, int cut, double threshold, int minArea, long long above) {
    const auto extractRows = [&](int y0, int y1, sep_catalog** cat) {
        const std::size_t o = static_cast<std::size_t>(y0) * w;
        const sep_image im = view(f.smoothed.data() + o, f.snr.data() + o, w, y1 - y0);
        return sep_extract(&im, static_cast<float>(threshold), SEP_THRESH_REL, minArea, nullptr, 0, 0,
                           SEP_FILTER_CONV, 32, 0.005, 0, 1.0, cat);
    };
    const std::size_t pixels = static_cast<std::size_t>(w) * h;
    Segments out;
    if (cut > 0) {
        constexpr long long kLeast = 50000;
        sep_set_extract_pixstack(static_cast<std::size_t>(std::max(kLeast, 2 * above)));
        const int from[3] = {0, cut, h};
        sep_catalog* cats[2] = {nullptr, nullptr};
        int status[2] = {0, 0};
#pragma omp parallel for num_threads(2) schedule(static, 1)
        for (int k = 0; k < 2; ++k) status[k] = extractRows(from[k], from[k + 1], &cats[k]);
        for (int k = 0; k < 2; ++k) out.catalogs.emplace_back(cats[k]);
        out.firstRows = {0, cut};
        if (!status[0] && !status[1]) return out;
        for (int k = 0; k < 2; ++k)
            if (status[k] != kStackFull) check(status[k], "extraction");
        out = {};
    }
    sep_catalog* cat = nullptr;
    check(extractWithStack(pixels, [&] { return extractRows(0, h, &cat); }), "extraction");
    out.catalogs.emplace_back(cat);
    out.firstRows = {0};
    return out;
}

// A difference's sources (no cleaning, see extract). SEP's matched filter
// thresholds the filtered S/N but hands its deblending and centroids the
// plain convolution; both images made by MatchedFilter and given to SEP
// without a filter find the same sources, while SEP's own filter runs on one
// core at ten times the cost. SEP then takes the smoothed image for the
// unfiltered one: the brightest pixel is looked up in the pixels.
//
// The filter takes the image row by row, each row's background taken out as
// SEP takes it out of the whole image: the background-subtracted copy is
// made only after the filter's two images are given back (a lower peak).
std::vector<Found> extractMatched(Search& s, sep_bkg& bkg, double threshold, int minArea) {
    const int w = s.img.width, h = s.img.height;
    std::atomic<int> failed{0}; // told after the filter's threads: none may throw
    const auto rows = [&](int y, float* values, float* noise) { subtractedRow(s, bkg, y, values, noise, failed); };
    Segments parts;
    platform::StepTrace trace("extract");
    {
        FilteredImages f = MatchedFilter(rows, w, h, detectionFilterRow(s.psfSigma));
        check(failed, "background subtraction");
        trace.mark("filter");
        const int cut = QuietCut(f.snr, w, h, threshold);
        const long long above = SnrAsNoise(f.smoothed, f.snr, threshold);
        trace.mark("snr");
        parts = segment(f, w, h, cut, threshold, minArea, above);
        trace.mark("segmentation");
    }
    subtractBackground(s, bkg);
    trace.mark("background out");
    std::vector<Found> found;
    for (std::size_t k = 0; k < parts.catalogs.size(); ++k)
        addFound(*parts.catalogs[k], parts.firstRows[k], w, &s.sub, found);
    return found;
}

// The filtered S/N a source must reach: a difference's correlated noise
// scatters its filtered values by more than one.
double detectionThreshold(const Search& s) {
    double threshold = s.settings.sigma;
    if (s.record && s.record->noiseCorrelation >= 1 && s.record->noiseCorrelation <= 5)
        threshold *= s.record->noiseCorrelation;
    return threshold;
}

// With a noise image the matched filter weighs each pixel by its own noise (a
// plain convolution would carry a noisy pixel's value into quiet neighbours).
// A difference says how wide its point spread is and how correlated its noise.
std::vector<Found> extract(Search& s, sep_bkg& bkg) {
    int side = 3;
    s.psfSigma = s.record ? s.record->psfSigma : 0;
    const double threshold = detectionThreshold(s);
    sep_set_sub_object_limit(4096);
    // Cleaning takes a faint object for the wing of a bright neighbour; in a
    // difference the bright neighbours are residuals without wings. There one
    // filtered pixel above the threshold is a source (docs/difference-imaging.md).
    const int minArea = s.difference() && s.haveNoise ? 1 : 3;
    if (s.difference() && s.haveNoise) return extractMatched(s, bkg, threshold, minArea);
    subtractBackground(s, bkg);
    std::vector<float> conv = DetectionFilter(s.psfSigma, side);
    sep_catalog* rawCat = nullptr;
    check(extractWithStack(s.img.pixels.size(),
                           [&] {
                               return sep_extract(&s.im, static_cast<float>(threshold), SEP_THRESH_REL, minArea,
                                                  conv.data(), side, side,
                                                  s.haveNoise ? SEP_FILTER_MATCHED : SEP_FILTER_CONV, 32, 0.005,
                                                  s.difference() ? 0 : 1, 1.0, &rawCat);
                           }),
          "extraction");
    const std::unique_ptr<sep_catalog, CatFree> cat(rawCat);
    std::vector<Found> found;
    addFound(*cat, 0, s.img.width, nullptr, found);
    return found;
}

// The image's saturation level: the highest raw value, when several pixels
// reach it (a lone hot pixel at the top is no saturation); none in a difference.
std::optional<float> saturationLevel(const Search& s) {
    if (s.difference()) return std::nullopt;
    float maxRaw = -1e30f;
    for (float v : s.img.pixels)
        if (v > maxRaw) maxRaw = v;
    std::size_t atTop = 0;
    for (float v : s.img.pixels) atTop += v >= maxRaw - 0.5f;
    if (atTop >= 3 && maxRaw > 1000) return maxRaw;
    return std::nullopt;
}

struct Candidate {
    DetectedStar star;
    double peakFraction, width, peakSnr;
    int px, py; // the brightest pixel, 0-based
};

// A light-weighted centroid, refined by the windowed position where it
// converges; the window starts at the brightest pixel (the centroid of a
// source blended with a neighbour lies between the two).
Candidate measure(const Search& s, const Found& f, std::optional<float> saturation) {
    double x = f.x, y = f.y;
    double wx = x, wy = y;
    int niter = 0;
    short wflag = 0;
    const double px0 = f.xpeak, py0 = f.ypeak;
    if (sep_windowed(&s.im, px0, py0, 1.0, 5, 0, &wx, &wy, &niter, &wflag) == 0 && !wflag &&
        std::hypot(wx - px0, wy - py0) < 1.5) {
        x = wx;
        y = wy;
    }
    const double r = s.settings.innerAperture;
    double sum = 0, sumErr = 0, area = 0, annSum = 0, annErr = 0, annArea = 0;
    short flag = 0;
    sep_sum_circle(&s.im, x, y, r, 0, 5, 0, &sum, &sumErr, &area, &flag);
    sep_sum_circann(&s.im, x, y, r, s.settings.outerAperture, 0, 5, 0, &annSum, &annErr, &annArea, &flag);
    const double localSky = annArea > 0 ? annSum / annArea : 0;
    const double flux = sum - localSky * area;
    const int w = s.img.width, px = f.xpeak, py = f.ypeak;
    const double peakRaw = s.img.pixels[static_cast<std::size_t>(py) * w + px];
    Candidate c;
    c.star = {x + 1, y + 1, flux, sumErr, f.peak, saturation && peakRaw >= *saturation - 0.5};
    c.peakFraction = flux > 0 ? f.peak / flux : 1e9;
    // judged on the brightest pixel: an aperture that reaches an uncovered pixel has no usable error
    const double peakNoise = s.haveNoise ? s.noise[static_cast<std::size_t>(py) * w + px] : s.backgroundRms;
    c.peakSnr = peakNoise > 0 && peakNoise < 1e20 ? f.peak / peakNoise : 0;
    c.width = MinorWidth(s.sub, w, s.img.height, px, py, 0);
    c.px = px;
    c.py = py;
    return c;
}

// What the image's stars look like, for telling them from sharp sources.
struct StarLook {
    double maxFraction, minWidth, starWidth;
};

StarLook starLook(const Search& s, const std::vector<Candidate>& cands) {
    std::vector<double> fractions, widths;
    for (const auto& c : cands) {
        if (c.star.saturated || c.star.flux <= 0 || c.star.flux < 30 * c.star.fluxError) continue;
        fractions.push_back(c.peakFraction);
        widths.push_back(c.width);
    }
    // a difference's bright sources are residuals, hot pixels and cosmic rays,
    // not stars: it says how wide its stars are
    const bool haveModel = fractions.size() >= 5 && !s.difference();
    const double starFraction = haveModel ? median(fractions) : 0.25;
    double starWidth = haveModel ? median(widths) : 0.8;
    if (s.record && s.record->starWidth > 0) starWidth = s.record->starWidth;
    double starFractionNow = starFraction;
    if (s.difference() && s.psfSigma > 0.3) {
        // the brightest pixel's share of a Gaussian's light within the inner aperture
        const double r = s.settings.innerAperture, sig = s.psfSigma;
        const double inner = 1 - std::exp(-0.5 * r * r / (sig * sig));
        const double e = std::erf(0.5 / (std::sqrt(2.0) * sig));
        starFractionNow = e * e / inner;
    }
    // a point source has at most about half of its light in one pixel unless the
    // seeing is below a pixel; hot pixels and cosmic rays have nearly all of it
    return {std::max(0.6, 2.0 * starFractionNow), 0.5 * starWidth, starWidth};
}

// A difference's source that a near-point model fits better than the point
// spread by 25 in chi2 (five sigma, its own significance test): a hot pixel
// or pair, a ray's track; or, with near-points on its two next brightest
// pixels in both models, a cluster of warm pixels. Asked only of the sources
// the cheaper tests keep.
bool sharperThanAStar(const Search& s, const Candidate& c) {
    if (!s.difference() || !s.haveNoise) return false;
    // a plain scaled subtraction names no point spread: its stars' width stands in
    const double sigma = s.psfSigma > 0 ? s.psfSigma : s.record->starWidth;
    const ShapeStamp stamp{s.sub, s.noise, s.img.width, s.img.height};
    return SharpnessPreference(stamp, c.px, c.py, sigma) > 25 || ClusterPreference(stamp, c.px, c.py, sigma) > 25;
}

// A difference's source that is no longer significant once its noise is
// taken as the scatter of the ring around it, where that ring scatters a fifth
// or more above what the noise image says (the noise model knows nothing of a
// detector's noisy rows or of a region thick with warm pixels). Below a fifth
// the ring's own sampling error would decide.
bool lostInItsSurroundings(const Search& s, const Candidate& c) {
    if (!s.difference() || !s.haveNoise) return false;
    const double sigma = s.psfSigma > 0 ? s.psfSigma : s.record->starWidth;
    const double inner = std::max(4.0, 3 * sigma); // past the source's own light
    const PixelsView view{s.sub, s.noise, s.img.width, s.img.height};
    const double local = LocalScatter(view, c.px, c.py, inner, inner + 11);
    if (local < 1.2) return false;
    return GaussianSnr(view, c.px, c.py, sigma) / local < detectionThreshold(s);
}

void keepStars(Search& s, const std::vector<Candidate>& cands, DetectionResult& result) {
    const StarLook look = starLook(s, cands);
    for (const auto& c : cands) {
        if (!(c.star.flux > 0)) continue;
        const double snr = c.star.fluxError > 0 ? c.star.flux / c.star.fluxError : 0;
        const bool sharp = !c.star.saturated && (((snr > 5 || c.peakSnr > 5) &&
                                                  (c.peakFraction > look.maxFraction || c.width < look.minWidth)) ||
                                                 sharperThanAStar(s, c));
        if (sharp) {
            ++result.rejectedSharp;
            continue;
        }
        if (s.difference() && isDipole(s.sub, s.haveNoise ? &s.noise : nullptr, result.backgroundRms, s.img.width,
                                       s.img.height, c.star.x - 1, c.star.y - 1, look.starWidth, s.psfSigma)) {
            ++result.rejectedDipoles;
            continue;
        }
        if (lostInItsSurroundings(s, c)) {
            ++result.rejectedNoisy;
            continue;
        }
        result.stars.push_back(c.star);
    }
}

// Whole light over inner-aperture light of the bright isolated stars; a
// difference has few whole stars left and carries its stars' correction.
double apertureCorrection(Search& s, const std::vector<DetectedStar>& stars) {
    std::vector<double> ratios;
    const double big = 3 * s.settings.innerAperture;
    for (const auto& st : stars) {
        if (st.saturated || st.flux < 50 * st.fluxError) continue;
        const double x = st.x - 1, y = st.y - 1;
        if (x < big + 8 || y < big + 8 || x > s.img.width - big - 9 || y > s.img.height - big - 9) continue;
        bool isolated = true;
        for (const auto& o : stars)
            if (&o != &st && std::hypot(o.x - st.x, o.y - st.y) < big + 8) isolated = false;
        if (!isolated) continue;
        double sum = 0, err = 0, area = 0, ann = 0, annErr = 0, annArea = 0;
        short flag = 0;
        sep_sum_circle(&s.im, x, y, big, 0, 5, 0, &sum, &err, &area, &flag);
        sep_sum_circann(&s.im, x, y, big + 2, big + 7, 0, 5, 0, &ann, &annErr, &annArea, &flag);
        const double whole = sum - (annArea > 0 ? ann / annArea : 0) * area;
        ratios.push_back(whole / st.flux);
    }
    if (ratios.size() >= 5) return std::clamp(median(ratios), 1.0, 1.5);
    if (s.record && s.record->apertureCorrection >= 1 && s.record->apertureCorrection <= 3)
        return s.record->apertureCorrection;
    return 1;
}

} // namespace

DetectionResult DetectStars(const FitsImage& image, const DetectionSettings& settings) {
    return DetectStars(image, PixelsView{image.pixels, image.noise, image.width, image.height}, settings);
}

DetectionResult DetectStars(const FitsImage& header, const PixelsView& img, const DetectionSettings& settings) {
    Search s{img, ReadDifferenceRecord(header), settings, {}, {}};
    if (s.record) {
        s.settings.innerAperture = kDifferenceInnerAperture;
        s.settings.outerAperture = kDifferenceOuterAperture;
    }
    if (s.settings.sigma <= 0) throw Error(kBadArgument, "The detection threshold must be above 0");
    DetectionResult result;
    platform::StepTrace trace("detect");
    const auto bkg = measureBackground(s, result);
    trace.mark("background");
    const std::vector<Found> found = extract(s, *bkg);
    trace.mark("extract");
    const std::optional<float> saturation = saturationLevel(s);
    std::vector<Candidate> cands(found.size());
#pragma omp parallel for schedule(dynamic, 64)
    for (std::size_t i = 0; i < found.size(); ++i) cands[i] = measure(s, found[i], saturation);
    trace.mark("measure");
    keepStars(s, cands, result);
    result.apertureCorrection = apertureCorrection(s, result.stars);
    trace.mark("keep");
    return result;
}

} // namespace astrometry
