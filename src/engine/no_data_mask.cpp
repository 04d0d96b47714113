#include "engine/no_data_mask.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

#include "engine/convolution.h"
#include "engine/line_stats.h"
#include "platform/big_buffers.h"

namespace engine {
namespace {

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

// The lines from each end that are unexposed, as [0, first) and [last, n);
// `line(i)` gives a line's statistics, asked for only as far as the bands go.
template <class Line>
std::pair<int, int> edgeBands(int n, Line line, const Field& f) {
    int first = 0, last = n;
    while (first < n && unexposed(line(first), f)) ++first;
    while (last > first && unexposed(line(last - 1), f)) --last;
    return {first, last};
}

// Runs of kRun or more identical values no brighter than `ceiling`, along rows
// and along columns.
constexpr int kRun = 16;

// A run of identical values: `length` pixels from `start`, along a row or down a column.
struct Run {
    std::size_t start;
    int length;
    bool down;
};

// A run of kRun or more holds a whole aligned block of kBlock pixels, so only
// blocks are tried, first by their two ends: in a noisy image nearly all
// differ there, and the image is read at two pixels in eight along the rows
// and two rows in eight down the columns. A run is taken from the first block
// it holds whole, so it is found once.
constexpr int kBlock = 8;
static_assert(kRun >= 2 * kBlock - 1, "a run must hold a whole aligned block");

int firstBlockAfter(int start) { return (start + kBlock - 1) / kBlock * kBlock; }

// Found on the pixels as they are, before any is blanked: a blanked pixel
// would cut a run that crosses it. Usually there are none, and nothing is written.
std::vector<Run> constantRuns(const std::vector<float>& p, int w, int h, double ceiling) {
    std::vector<Run> runs;
    const auto at = [&](int x, int y) { return p[static_cast<std::size_t>(y) * w + x]; };
    const auto keep = [&](std::vector<Run>& mine, int x, int y, int length, bool down) {
        if (length >= kRun && at(x, y) <= ceiling) mine.push_back({static_cast<std::size_t>(y) * w + x, length, down});
    };
#pragma omp parallel
    {
        std::vector<Run> mine;
#pragma omp for schedule(static) nowait
        for (int y = 0; y < h; ++y) {
            const float* row = p.data() + static_cast<std::size_t>(y) * w;
            for (int b = 0; b + kBlock <= w; b += kBlock) {
                const float v = row[b];
                const auto same = [v](float u) { return u == v; };
                if (!(row[b + kBlock - 1] == v) || !std::all_of(row + b + 1, row + b + kBlock, same)) continue;
                int s = b, e = b + kBlock;
                while (s > 0 && row[s - 1] == v) --s;
                while (e < w && row[e] == v) ++e;
                if (firstBlockAfter(s) == b) keep(mine, s, y, e - s, false);
            }
        }
#pragma omp for schedule(static)
        for (int b = 0; b <= h - kBlock; b += kBlock) {
            const float* top = p.data() + static_cast<std::size_t>(b) * w;
            const float* last = top + static_cast<std::size_t>(kBlock - 1) * w;
            for (int x = 0; x < w; ++x) {
                if (!(last[x] == top[x])) continue;
                const float v = top[x];
                bool whole = true;
                for (int k = 1; k < kBlock - 1 && whole; ++k) whole = at(x, b + k) == v;
                if (!whole) continue;
                int s = b, e = b + kBlock;
                while (s > 0 && at(x, s - 1) == v) --s;
                while (e < h && at(x, e) == v) ++e;
                if (firstBlockAfter(s) == b) keep(mine, x, s, e - s, true);
            }
        }
#pragma omp critical
        runs.insert(runs.end(), mine.begin(), mine.end());
    }
    return runs;
}

long long blank(std::vector<float>& p, std::size_t i) {
    if (!std::isfinite(p[i])) return 0;
    p[i] = NAN;
    return 1;
}

} // namespace

long long MarkNoData(std::vector<float>& p, int w, int h, std::vector<LineStats>* columnsOut) {
    if (w < 16 || h < 16) return 0;
    std::vector<LineStats> columns = ColumnStats(p, w, h);
    const auto field = fieldOf(columns);
    if (!field) {
        if (columnsOut) *columnsOut = std::move(columns);
        return 0;
    }
    const std::vector<Run> runs = constantRuns(p, w, h, field->level + field->sigma);
    const auto [left, right] = edgeBands(w, [&](int x) { return columns[x]; }, *field);
    const auto [top, bottom] = edgeBands(
        h, [&](int y) { return RowStats(p, w, y); }, *field);
    long long n = 0;
    for (const Run& r : runs)
        for (int k = 0; k < r.length; ++k) n += blank(p, r.start + static_cast<std::size_t>(k) * (r.down ? w : 1));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (y >= top && y < bottom && x == left) x = std::max(left, right); // skip the exposed field
            if (x < w) n += blank(p, static_cast<std::size_t>(y) * w + x);
        }
    if (columnsOut && n == 0) *columnsOut = std::move(columns);
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
    for (long long i = 0; i < n; ++i) m[i] = (((tp[i] >= tSat) | b[i]) & !g[i]) | (sp[i] >= sSat) | !(sp[i] - sp[i] == 0.f);
    // one dilation for both: a blank footprint two pixels wider costs nothing that matters
    return DilateMask(std::move(mask), width, height, radius);
}

} // namespace engine
