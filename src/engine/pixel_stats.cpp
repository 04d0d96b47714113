#include "engine/pixel_stats.h"

#include <immintrin.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace engine {
namespace {
std::vector<float> sample(const std::vector<float>& pixels, std::size_t samples) {
    std::vector<float> s;
    const std::size_t step = std::max<std::size_t>(1, pixels.size() / samples);
    s.reserve(pixels.size() / step + 1);
    // an odd stride against the row length avoids sampling one column only
    for (std::size_t i = step / 2; i < pixels.size(); i += step | 1)
        if (std::isfinite(pixels[i])) s.push_back(pixels[i]);
    return s;
}
constexpr std::size_t kNone = std::size_t(-1);
std::size_t rankOf(const std::vector<float>& v, double q) {
    return static_cast<std::size_t>(std::clamp(q, 0.0, 1.0) * (v.size() - 1));
}
// `placed`: a rank already put in its place by nth_element, so that the
// values below and above it are each on their side; the search then takes
// one side only.
double quantile(std::vector<float>& v, double q, std::size_t placed = kNone) {
    if (v.empty()) return 0;
    const std::size_t k = rankOf(v, q);
    auto b = v.begin(), e = v.end();
    if (placed != kNone && k < placed) e = b + static_cast<std::ptrdiff_t>(placed);
    else if (placed != kNone && k > placed) b += static_cast<std::ptrdiff_t>(placed + 1);
    else if (placed == k) return v[k];
    std::nth_element(b, v.begin() + static_cast<std::ptrdiff_t>(k), e);
    return v[k];
}
} // namespace

SkyStats MeasureSky(const std::vector<float>& pixels, std::size_t samples) {
    std::vector<float> s = sample(pixels, samples);
    SkyStats st;
    if (s.empty()) return st;
    double med = quantile(s, 0.5);
    double sig = (med - quantile(s, 0.1587, rankOf(s, 0.5)));
    // clip the stars and the galaxy away, twice
    for (int i = 0; i < 2 && sig > 0; ++i) {
        std::vector<float> kept;
        kept.reserve(s.size());
        for (float v : s)
            if (std::abs(v - med) < 3 * sig) kept.push_back(v);
        if (kept.size() < 16) break;
        s.swap(kept);
        med = quantile(s, 0.5);
        sig = 0.5 * (quantile(s, 0.8413, rankOf(s, 0.5)) - quantile(s, 0.1587, rankOf(s, 0.5)));
    }
    st.level = med;
    st.sigma = std::max(sig, 1e-6);
    return st;
}

double PixelNoise(const std::vector<float>& pixels, int width, const SkyStats& sky, std::size_t samples) {
    // differences of neighbours in a row: the sky's slopes cancel, the noise of
    // two pixels remains
    std::vector<float> d;
    const std::size_t n = pixels.size();
    if (width < 2 || n < 2) return sky.sigma;
    const std::size_t step = std::max<std::size_t>(1, n / samples) | 1;
    d.reserve(n / step + 1);
    const double limit = 5 * sky.sigma;
    for (std::size_t i = step / 2; i + 1 < n; i += step) {
        if (static_cast<int>((i + 1) % static_cast<std::size_t>(width)) == 0) continue;
        const float a = pixels[i], b = pixels[i + 1];
        if (!std::isfinite(a) || !std::isfinite(b)) continue;
        if (std::abs(a - sky.level) > limit || std::abs(b - sky.level) > limit) continue;
        d.push_back(std::abs(a - b));
    }
    if (d.size() < 16) return sky.sigma;
    return 1.4826 * quantile(d, 0.5) / std::sqrt(2.0);
}

namespace {
// The brightest value of [p, p + n); NaN never counts. Running maxima side
// by side (maxps keeps its second operand against a NaN, as `>` does): one
// alone waits on itself at every pixel.
float brightest(const float* p, long long n, float floor) {
    __m128 a = _mm_set1_ps(floor), b = a;
    long long i = 0;
    for (; i + 8 <= n; i += 8) {
        a = _mm_max_ps(_mm_loadu_ps(p + i), a);
        b = _mm_max_ps(_mm_loadu_ps(p + i + 4), b);
    }
    float lanes[8];
    _mm_storeu_ps(lanes, a);
    _mm_storeu_ps(lanes + 4, b);
    float t = floor;
    for (const float v : lanes)
        if (v > t) t = v;
    for (; i < n; ++i)
        if (p[i] > t) t = p[i];
    return t;
}

} // namespace

float Brightest(const std::vector<float>& pixels, float floor) {
    const float* p = pixels.data();
    const long long n = static_cast<long long>(pixels.size());
    float top = floor;
#pragma omp parallel reduction(max : top)
    {
        const long long t = omp_get_thread_num(), k = omp_get_num_threads();
        top = brightest(p + n * t / k, n * (t + 1) / k - n * t / k, floor);
    }
    return top;
}

namespace {
// In float and without branches, so that it runs on the vector units (the
// wider ones picked at run time): the loop is bound by memory then.
__attribute__((target_clones("arch=x86-64-v3", "default"))) void photonNoise(const float* p, float* o, long n,
                                                                               float var0, float sky, float invGain) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (long i = 0; i < n; ++i) {
        const float v = p[i];
        const float e = std::max(0.f, v - sky) * invGain + var0;
        o[i] = v - v == 0.f ? __builtin_sqrtf(e) : nan; // finite: neither NaN nor infinite
    }
}
} // namespace

void PhotonNoise(const std::vector<float>& pixels, std::vector<float>& out, double var0, double sky, double gain) {
    out.resize(pixels.size());
    const long n = static_cast<long>(pixels.size());
#pragma omp parallel
    {
        const long t = omp_get_thread_num(), k = omp_get_num_threads();
        const long a = n * t / k, b = n * (t + 1) / k;
        photonNoise(pixels.data() + a, out.data() + a, b - a, static_cast<float>(var0), static_cast<float>(sky),
                    static_cast<float>(1 / gain));
    }
}

double MedianOf(std::vector<double> v) {
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

double ClippedMean(std::vector<double> v) {
    const double med = MedianOf(v);
    std::vector<double> dev;
    for (double x : v) dev.push_back(std::abs(x - med));
    const double limit = 3 * 1.4826 * MedianOf(dev);
    double sum = 0;
    int n = 0;
    for (double x : v)
        if (std::abs(x - med) <= limit) {
            sum += x;
            ++n;
        }
    return n >= 3 ? sum / n : med;
}

double RobustWeightedMean(const std::vector<double>& values, const std::vector<double>& errors, double floor) {
    struct Item {
        double v, w;
    };
    std::vector<Item> items;
    for (std::size_t i = 0; i < values.size() && i < errors.size(); ++i) {
        const double e = std::max(errors[i], floor * std::abs(values[i]));
        if (std::isfinite(values[i]) && e > 0 && std::isfinite(e)) items.push_back({values[i], 1 / (e * e)});
    }
    if (items.empty()) return NAN;
    std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.v < b.v; });
    double total = 0;
    for (const auto& it : items) total += it.w;
    double centre = items.back().v, acc = 0;
    for (const auto& it : items)
        if ((acc += it.w) >= 0.5 * total) {
            centre = it.v;
            break;
        }
    // twice: the mean of the first pass is a better centre for the cut than the median
    for (int pass = 0; pass < 2; ++pass) {
        double sum = 0, weights = 0;
        for (const auto& it : items)
            if (std::abs(it.v - centre) * std::sqrt(it.w) <= 4) {
                sum += it.w * it.v;
                weights += it.w;
            }
        if (!(weights > 0)) break;
        centre = sum / weights;
    }
    return centre;
}

double SampledPercentile(const std::vector<float>& pixels, double fraction, std::size_t samples) {
    std::vector<float> s = sample(pixels, samples);
    return quantile(s, fraction);
}

} // namespace engine
