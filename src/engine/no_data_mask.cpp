#include "engine/no_data_mask.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "engine/convolution.h"
#include "platform/big_buffers.h"

namespace engine {
namespace {

// The median and interquartile range of up to 256 finite values of a line.
struct LineStats {
    double median = NAN, iqr = NAN;
};

template <class At>
LineStats lineStats(int n, At at) {
    std::vector<float> v;
    const int step = std::max(1, n / 256);
    for (int i = 0; i < n; i += step)
        if (const float x = at(i); std::isfinite(x)) v.push_back(x);
    if (v.size() < 8) return {};
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], double(v[3 * v.size() / 4]) - v[v.size() / 4]};
}

struct Field {
    double level, sigma, iqr;
};

// The field's level and scatter from the lines of the middle half.
std::optional<Field> fieldOf(const std::vector<LineStats>& lines) {
    std::vector<double> medians, iqrs;
    for (std::size_t i = lines.size() / 4; i < 3 * lines.size() / 4; ++i)
        if (std::isfinite(lines[i].median)) {
            medians.push_back(lines[i].median);
            iqrs.push_back(lines[i].iqr);
        }
    if (medians.size() < 4) return std::nullopt;
    std::nth_element(medians.begin(), medians.begin() + medians.size() / 2, medians.end());
    std::nth_element(iqrs.begin(), iqrs.begin() + iqrs.size() / 2, iqrs.end());
    const double iqr = iqrs[iqrs.size() / 2];
    return Field{medians[medians.size() / 2], iqr / 1.349, iqr};
}

bool unexposed(const LineStats& l, const Field& f) {
    if (!std::isfinite(l.median)) return true; // already blank
    return l.median < f.level - 3 * f.sigma && l.iqr < 0.5 * f.iqr;
}

// The lines from each end that are unexposed, as [0, first) and [last, n).
std::pair<int, int> edgeBands(const std::vector<LineStats>& lines, const Field& f) {
    const int n = static_cast<int>(lines.size());
    int first = 0, last = n;
    while (first < n && unexposed(lines[first], f)) ++first;
    while (last > first && unexposed(lines[last - 1], f)) --last;
    return {first, last};
}

// Runs of kRun or more identical values no brighter than `ceiling`, along rows
// and along columns.
constexpr int kRun = 16;

std::vector<unsigned char> constantRuns(const std::vector<float>& p, int w, int h, double ceiling) {
    std::vector<unsigned char> mark(p.size(), 0);
#pragma omp parallel for schedule(static)
    for (int y = 0; y < h; ++y) {
        const float* row = p.data() + static_cast<std::size_t>(y) * w;
        for (int x = 0; x < w;) {
            int e = x + 1;
            while (e < w && row[e] == row[x]) ++e;
            if (e - x >= kRun && row[x] <= ceiling)
                std::fill(mark.begin() + static_cast<std::ptrdiff_t>(y) * w + x,
                          mark.begin() + static_cast<std::ptrdiff_t>(y) * w + e, 1);
            x = e;
        }
    }
#pragma omp parallel for schedule(static)
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h;) {
            const float v = p[static_cast<std::size_t>(y) * w + x];
            int e = y + 1;
            while (e < h && p[static_cast<std::size_t>(e) * w + x] == v) ++e;
            if (e - y >= kRun && v <= ceiling)
                for (int k = y; k < e; ++k) mark[static_cast<std::size_t>(k) * w + x] = 1;
            y = e;
        }
    return mark;
}

} // namespace

long long MarkNoData(std::vector<float>& p, int w, int h) {
    if (w < 16 || h < 16) return 0;
    std::vector<LineStats> columns(w), rows(h);
    for (int x = 0; x < w; ++x) columns[x] = lineStats(h, [&](int y) { return p[static_cast<std::size_t>(y) * w + x]; });
    for (int y = 0; y < h; ++y) rows[y] = lineStats(w, [&](int x) { return p[static_cast<std::size_t>(y) * w + x]; });
    const auto field = fieldOf(columns);
    if (!field) return 0;
    std::vector<unsigned char> mark = constantRuns(p, w, h, field->level + field->sigma);
    const auto [left, right] = edgeBands(columns, *field);
    const auto [top, bottom] = edgeBands(rows, *field);
    long long n = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * w + x;
            if ((mark[i] || x < left || x >= right || y < top || y >= bottom) && std::isfinite(p[i])) {
                p[i] = NAN;
                ++n;
            }
        }
    return n;
}

std::vector<unsigned char> NoDataMask(const std::vector<float>& pixels) {
    std::vector<unsigned char> mask;
    platform::ResizeFast(mask, pixels.size());
    // raw pointers: a byte store could alias a vector's own pointer and stop the vector units
    unsigned char* b = mask.data();
    const float* p = pixels.data();
    const long long n = static_cast<long long>(mask.size());
#pragma omp parallel for schedule(static)
    for (long long i = 0; i < n; ++i) b[i] = !(p[i] - p[i] == 0.f); // not finite
    return mask;
}

std::vector<unsigned char> UnusableMask(const std::vector<float>& templ, const std::vector<float>& science,
                                        const std::vector<unsigned char>& noData,
                                        const std::vector<unsigned char>& given, float tSat, float sSat, int width,
                                        int height, int radius) {
    std::vector<unsigned char> mask;
    platform::ResizeFast(mask, templ.size());
    unsigned char* m = mask.data();
    const unsigned char *b = noData.data(), *g = given.data();
    const float *tp = templ.data(), *sp = science.data();
    const long long n = static_cast<long long>(mask.size());
#pragma omp parallel for schedule(static)
    for (long long i = 0; i < n; ++i) m[i] = (((tp[i] >= tSat) | b[i]) & !g[i]) | (sp[i] >= sSat);
    // one dilation for both: a blank footprint two pixels wider costs nothing that matters
    return DilateMask(mask, width, height, radius);
}

} // namespace engine
