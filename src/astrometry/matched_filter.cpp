#include "astrometry/matched_filter.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "platform/big_buffers.h"

namespace astrometry {
namespace {

// Rows of output per band: a band's row-filtered lines stay in the cache.
constexpr int kBand = 32;

struct Kernels {
    std::vector<float> plain, weighted, squared; // f / sum f, f, f^2
    int half;
};

Kernels kernelsOf(const std::vector<float>& row) {
    Kernels k;
    k.half = static_cast<int>(row.size() / 2);
    double sum = 0;
    for (float v : row) sum += v;
    for (float v : row) {
        k.plain.push_back(static_cast<float>(v / sum));
        k.weighted.push_back(v);
        k.squared.push_back(v * v);
    }
    return k;
}

// out[x] = sum_u k[u] in[x + u], `in` padded by half zeros each side.
void filterLine(const float* in, const std::vector<float>& k, float* out, int w) {
    std::fill(out, out + w, 0.0f);
    for (std::size_t u = 0; u < k.size(); ++u) {
        const float c = k[u];
        const float* p = in + u;
        for (int x = 0; x < w; ++x) out[x] += c * p[x];
    }
}

// The three quantities of image row y, filtered along the row, into lines
// of the band buffer; zeros for rows outside the image.
struct RowPass {
    const RowSource& rows;
    const Kernels& k;
    int w, h;
    std::vector<float> pixels, noise;            // the row as given
    std::vector<float> value, weighted, inverse; // padded input lines

    RowPass(const RowSource& r, const Kernels& kk, int ww, int hh)
        : rows(r), k(kk), w(ww), h(hh), pixels(ww), noise(ww), value(ww + 2 * kk.half, 0.0f),
          weighted(ww + 2 * kk.half, 0.0f), inverse(ww + 2 * kk.half, 0.0f) {}

    void run(int y, float* plain, float* num, float* den) {
        if (y < 0 || y >= h) {
            std::fill(plain, plain + w, 0.0f);
            std::fill(num, num + w, 0.0f);
            std::fill(den, den + w, 0.0f);
            return;
        }
        rows(y, pixels.data(), noise.data());
        for (int x = 0; x < w; ++x) {
            const float n = noise[x], v = pixels[x];
            const bool usable = n > 0 && n * n < INFINITY && std::isfinite(v);
            const float iv = usable ? 1.0f / (n * n) : 0.0f;
            value[k.half + x] = std::isfinite(v) ? v : 0.0f;
            weighted[k.half + x] = usable ? v * iv : 0.0f;
            inverse[k.half + x] = iv;
        }
        filterLine(value.data(), k.plain, plain, w);
        filterLine(weighted.data(), k.weighted, num, w);
        filterLine(inverse.data(), k.squared, den, w);
    }
};

// Output rows [y0, y1): the row pass over [y0 - half, y1 + half), then the
// columns.
void filterBand(RowPass& rows, int y0, int y1, std::vector<float>& lines, FilteredImages& out) {
    const int w = rows.w, half = rows.k.half, n = y1 - y0 + 2 * half;
    const std::size_t plane = static_cast<std::size_t>(n) * w;
    lines.resize(3 * plane);
    float *plain = lines.data(), *num = plain + plane, *den = num + plane;
    for (int j = 0; j < n; ++j) {
        const std::size_t o = static_cast<std::size_t>(j) * w;
        rows.run(y0 - half + j, plain + o, num + o, den + o);
    }
    std::vector<float> a(w), b(w);
    for (int y = y0; y < y1; ++y) {
        float* smooth = out.smoothed.data() + static_cast<std::size_t>(y) * w;
        float* snr = out.snr.data() + static_cast<std::size_t>(y) * w;
        std::fill(smooth, smooth + w, 0.0f);
        std::fill(a.begin(), a.end(), 0.0f);
        std::fill(b.begin(), b.end(), 0.0f);
        for (int v = 0; v <= 2 * half; ++v) {
            const std::size_t o = static_cast<std::size_t>(y - y0 + v) * w;
            const float cp = rows.k.plain[v], cw = rows.k.weighted[v], cs = rows.k.squared[v];
            for (int x = 0; x < w; ++x) {
                smooth[x] += cp * plain[o + x];
                a[x] += cw * num[o + x];
                b[x] += cs * den[o + x];
            }
        }
        for (int x = 0; x < w; ++x) snr[x] = b[x] > 0 ? a[x] / std::sqrt(b[x]) : 0.0f;
    }
}

} // namespace

FilteredImages MatchedFilter(const RowSource& source, int w, int h, const std::vector<float>& row) {
    const Kernels k = kernelsOf(row);
    FilteredImages out;
    const std::size_t n = static_cast<std::size_t>(w) * h;
    platform::ResizeFast(out.smoothed, n);
    platform::ResizeFast(out.snr, n);
    const int bands = (h + kBand - 1) / kBand;
#pragma omp parallel
    {
        RowPass rows(source, k, w, h);
        std::vector<float> lines;
#pragma omp for schedule(dynamic, 4)
        for (int b = 0; b < bands; ++b) filterBand(rows, b * kBand, std::min(h, (b + 1) * kBand), lines, out);
    }
    return out;
}

long long SnrAsNoise(const std::vector<float>& smoothed, std::vector<float>& snr, double threshold) {
    const float t = static_cast<float>(threshold);
    const long long n = static_cast<long long>(snr.size());
    long long above = 0;
#pragma omp parallel for schedule(static) reduction(+ : above)
    for (long long i = 0; i < n; ++i) {
        const float c = smoothed[i], s = snr[i];
        above += s > t;
        if (s > t)
            snr[i] = c > 0 ? c / s : (c - std::max(1.0f, std::abs(c))) / t;
        else
            snr[i] = c > 0 && s > 0 ? c / s : 1e30f;
    }
    return above;
}

int QuietCut(const std::vector<float>& snr, int w, int h, double threshold) {
    if (h < 8 || snr.size() != static_cast<std::size_t>(w) * h) return 0;
    // a hundredth under the threshold: far beyond any rounding of SEP's
    // comparison, and noise alone seldom comes this near it
    const float under = static_cast<float>(0.99 * threshold);
    std::vector<signed char> quiet(static_cast<std::size_t>(h), -1); // -1: not looked at
    const auto isQuiet = [&](int y) {
        signed char& q = quiet[static_cast<std::size_t>(y)];
        if (q < 0) {
            const float* row = snr.data() + static_cast<std::size_t>(y) * w;
            q = 1;
            for (int x = 0; x < w && q; ++x)
                if (!(row[x] <= under)) q = 0; // NaN counts as loud
        }
        return q == 1;
    };
    for (int d = 0; d <= h / 4; ++d)
        for (const int y : {h / 2 + d, h / 2 - d})
            if (isQuiet(y) && isQuiet(y - 1)) return y;
    return 0;
}

} // namespace astrometry
