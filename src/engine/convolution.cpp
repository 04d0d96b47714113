#include "engine/convolution.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/step_trace.h"
#include "platform/big_buffers.h"

namespace engine {
namespace {

typedef float V8 __attribute__((vector_size(32)));
// (unaligned loads and stores of eight through memcpy; no V8 crosses a call)

// out[i] (+)= sum over u of k[u] * in[i + u * step]: along a row (step 1) and
// down the columns (step a row's length), one loop. The sums are kept in
// registers, four vectors of eight at a time so that the additions need not
// wait for each other. Built for the wider vector units too and picked at run
// time, since the package cannot assume them.
__attribute__((target_clones("arch=x86-64-v3", "default"))) void weightedSum(float* out, const float* in,
                                                                                std::size_t step, const float* k,
                                                                                int side, int n, bool add) {
    int i = 0;
    for (; i + 32 <= n; i += 32) {
        V8 a0{}, a1{}, a2{}, a3{}, x0, x1, x2, x3;
        if (add) {
            std::memcpy(&a0, out + i, sizeof a0);
            std::memcpy(&a1, out + i + 8, sizeof a1);
            std::memcpy(&a2, out + i + 16, sizeof a2);
            std::memcpy(&a3, out + i + 24, sizeof a3);
        }
        for (int u = 0; u < side; ++u) {
            const float* p = in + u * step + i;
            std::memcpy(&x0, p, sizeof x0);
            std::memcpy(&x1, p + 8, sizeof x1);
            std::memcpy(&x2, p + 16, sizeof x2);
            std::memcpy(&x3, p + 24, sizeof x3);
            a0 += k[u] * x0;
            a1 += k[u] * x1;
            a2 += k[u] * x2;
            a3 += k[u] * x3;
        }
        std::memcpy(out + i, &a0, sizeof a0);
        std::memcpy(out + i + 8, &a1, sizeof a1);
        std::memcpy(out + i + 16, &a2, sizeof a2);
        std::memcpy(out + i + 24, &a3, sizeof a3);
    }
    for (; i < n; ++i) {
        float acc = add ? out[i] : 0.f;
        for (int u = 0; u < side; ++u) acc += k[u] * in[u * step + i];
        out[i] = acc;
    }
}

// out[i] = the input (or its square), 0 where blank or not finite; without
// branches, for the vector units
template <bool kSquares>
void maskedRow(const float* in, const unsigned char* blank, float* out, int n) {
    for (int i = 0; i < n; ++i) {
        const float v = in[i];
        const bool use = !blank[i] && v - v == 0.f;
        out[i] = use ? (kSquares ? v * v : v) : 0.f;
    }
}

// A kernel as a short sum of separable terms col[v] * row[u] (its singular
// value decomposition, cut where the rest holds less than `tolerance` of it):
// a smooth kernel needs two to four terms, far fewer taps than the full square.
struct Separable {
    std::vector<std::vector<float>> rows, cols;
};

Separable separate(const std::vector<float>& k, int side, double tolerance) {
    Eigen::MatrixXd m(side, side);
    for (int v = 0; v < side; ++v)
        for (int u = 0; u < side; ++u) m(v, u) = k[static_cast<std::size_t>(v) * side + u];
    Eigen::JacobiSVD<Eigen::MatrixXd> svd(m, Eigen::ComputeFullU | Eigen::ComputeFullV);
    const auto& sv = svd.singularValues();
    double total = sv.squaredNorm(), kept = 0;
    Separable out;
    for (int r = 0; r < side && total > 0; ++r) {
        if (total - kept <= tolerance * tolerance * total) break;
        kept += sv(r) * sv(r);
        std::vector<float> row(static_cast<std::size_t>(side)), col(static_cast<std::size_t>(side));
        for (int i = 0; i < side; ++i) {
            row[i] = static_cast<float>(svd.matrixV()(i, r) * sv(r));
            col[i] = static_cast<float>(svd.matrixU()(i, r));
        }
        out.rows.push_back(std::move(row));
        out.cols.push_back(std::move(col));
    }
    return out;
}

} // namespace

std::vector<unsigned char> BlankPixels(std::vector<float>& pixels) {
    std::vector<unsigned char> bad;
    platform::ResizeFast(bad, pixels.size());
#pragma omp parallel for schedule(static)
    for (long long i = 0; i < static_cast<long long>(pixels.size()); ++i) {
        const auto k = static_cast<std::size_t>(i);
        if (!std::isfinite(pixels[k])) {
            pixels[k] = 0;
            bad[k] = 1;
        }
    }
    return bad;
}

std::vector<unsigned char> DilateMask(const std::vector<unsigned char>& mask, int w, int h, int r) {
    if (r <= 0) return mask;
    return DilateMask(std::vector<unsigned char>(mask), w, h, r);
}

std::vector<unsigned char> DilateMask(std::vector<unsigned char>&& mask, int w, int h, int r) {
    if (r <= 0) return std::move(mask);
    std::vector<unsigned char> out;
    platform::ResizeFast(out, mask.size());
    // or-ing shifted copies: a few passes over a row held in the cache, each on
    // the vector units, beat a running count that must go pixel by pixel; the
    // rows in place, from a copy of each
#pragma omp parallel
    {
        std::vector<unsigned char> row(static_cast<std::size_t>(w));
#pragma omp for schedule(static)
        for (int y = 0; y < h; ++y) {
            unsigned char* o = &mask[static_cast<std::size_t>(y) * w];
            const int n = w; // locals: a byte store could alias the loop's shared variables
            unsigned char* m = row.data();
            std::copy_n(o, n, m);
            for (int x = 0; x < n; ++x) o[x] = m[x] != 0;
            for (int d = -r; d <= r; ++d) {
                if (d == 0) continue;
                const int x0 = std::max(0, -d), x1 = std::min(n, n - d);
                for (int x = x0; x < x1; ++x) o[x] |= m[x + d] != 0;
            }
        }
    }
    const std::vector<unsigned char>& rows = mask;
#pragma omp parallel for schedule(static)
    for (int y = 0; y < h; ++y) {
        unsigned char* o = &out[static_cast<std::size_t>(y) * w];
        const int y0 = std::max(0, y - r), y1 = std::min(h - 1, y + r);
        std::copy_n(&rows[static_cast<std::size_t>(y0) * w], w, o);
        const int n = w;
        for (int yy = y0 + 1; yy <= y1; ++yy) {
            const unsigned char* p = &rows[static_cast<std::size_t>(yy) * n];
            for (int x = 0; x < n; ++x) o[x] |= p[x];
        }
    }
    return out;
}

namespace {

// `rowOf(y, x, n, scratch)` gives n input values of row y from column x on,
// either in place or written to scratch. Each tile is summed straight into
// `image` (w a row) when there is one, else into a tile of its own that goes
// to `sink`.
template <typename RowOf, typename Sink>
void convolveTiles(int w, int h, int half, const KernelAt& kernelAt, double tolerance, int tile, const RowOf& rowOf,
                   float* image, const Sink& sink) {
    const int side = 2 * half + 1;
    platform::StepTrace trace("convolve");
    const int tilesX = (w + tile - 1) / tile, tilesY = (h + tile - 1) / tile;
    // the kernels first (the caller's function need not be thread-safe), then
    // their decompositions on every core
    std::vector<std::vector<float>> full(static_cast<std::size_t>(tilesX) * tilesY);
    for (int ty = 0; ty < tilesY; ++ty)
        for (int tx = 0; tx < tilesX; ++tx) {
            const double cx = (tx * tile + std::min(w, tx * tile + tile) - 1) * 0.5;
            const double cy = (ty * tile + std::min(h, ty * tile + tile) - 1) * 0.5;
            full[static_cast<std::size_t>(ty) * tilesX + tx] = kernelAt(cx, cy);
        }
    std::vector<Separable> kernels(full.size());
#pragma omp parallel for schedule(dynamic)
    for (long long i = 0; i < static_cast<long long>(full.size()); ++i)
        kernels[static_cast<std::size_t>(i)] = separate(full[static_cast<std::size_t>(i)], side, tolerance);
    trace.mark("kernels");
#pragma omp parallel
    {
        const std::size_t rowIn = static_cast<std::size_t>(tile + side);
        std::vector<float> pass(rowIn * tile), scratch(rowIn * rowIn), out(image ? 0 : static_cast<std::size_t>(tile) * tile);
        std::vector<const float*> input(rowIn);
#pragma omp for collapse(2) schedule(dynamic)
        for (int ty = 0; ty < tilesY; ++ty)
            for (int tx = 0; tx < tilesX; ++tx) {
                const auto& k = kernels[static_cast<std::size_t>(ty) * tilesX + tx];
                const int xa = std::max(tx * tile, half), xb = std::min(tx * tile + tile, w - half);
                const int ya = std::max(ty * tile, half), yb = std::min(ty * tile + tile, h - half);
                if (xa >= xb || ya >= yb) continue;
                const int len = xb - xa, rowsIn = yb - ya + 2 * half;
                const auto target = [&](int y) {
                    return image ? image + static_cast<std::size_t>(y) * w + xa
                                 : out.data() + static_cast<std::size_t>(y - ya) * len;
                };
                for (int y = ya; y < yb; ++y) std::fill_n(target(y), len, 0.f);
                // the tile's input rows, with the kernel's reach above and below, once for all terms
                for (int j = 0; j < rowsIn; ++j)
                    input[j] = rowOf(ya - half + j, xa - half, len + 2 * half, &scratch[j * rowIn]);
                for (std::size_t r = 0; r < k.rows.size(); ++r) {
                    // along the rows
                    for (int j = 0; j < rowsIn; ++j)
                        weightedSum(&pass[static_cast<std::size_t>(j) * len], input[j], 1, k.rows[r].data(), side,
                                    len, false);
                    // then down the columns
                    for (int y = ya; y < yb; ++y)
                        weightedSum(target(y), &pass[static_cast<std::size_t>(y - ya) * len],
                                    static_cast<std::size_t>(len), k.cols[r].data(), side, len, true);
                }
                if (!image) sink(ya, yb, xa, xb, out.data());
            }
    }
    trace.mark("passes");
}

// The convolution as an image, NaN where no tile reaches.
template <typename RowOf>
std::vector<float> convolve(std::size_t n, int w, int h, int half, const KernelAt& kernelAt, double tolerance,
                            int tile, const RowOf& rowOf) {
    std::vector<float> out;
    platform::ResizeFast(out, n, std::numeric_limits<float>::quiet_NaN());
    convolveTiles(w, h, half, kernelAt, tolerance, tile, rowOf, out.data(), [](int, int, int, int, float*) {});
    return out;
}

template <bool Squares>
auto maskedRows(const std::vector<float>& in, const std::vector<unsigned char>& blank, int w) {
    return [&in, &blank, w](int y, int x, int n, float* scratch) {
        const std::size_t o = static_cast<std::size_t>(y) * w + x;
        maskedRow<Squares>(in.data() + o, blank.data() + o, scratch, n);
        return static_cast<const float*>(scratch);
    };
}

} // namespace

std::vector<float> ConvolveVarying(const std::vector<float>& src, int w, int h, int half, const KernelAt& kernelAt,
                                   double tolerance, int tile) {
    return convolve(src.size(), w, h, half, kernelAt, tolerance, tile,
                    [&](int y, int x, int, float*) { return &src[static_cast<std::size_t>(y) * w + x]; });
}

std::vector<float> ConvolveMasked(const std::vector<float>& in, const std::vector<unsigned char>& blank, int w, int h,
                                  int half, const KernelAt& kernelAt, bool squares, double tolerance, int tile) {
    // the input is made row by row as the tiles need it: no image of it is kept
    if (squares) return convolve(in.size(), w, h, half, kernelAt, tolerance, tile, maskedRows<true>(in, blank, w));
    return convolve(in.size(), w, h, half, kernelAt, tolerance, tile, maskedRows<false>(in, blank, w));
}

void ConvolveMaskedTiles(const std::vector<float>& in, const std::vector<unsigned char>& blank, int w, int h,
                         int half, const KernelAt& kernelAt, bool squares, double tolerance, const TileSink& sink,
                         int tile) {
    if (squares) convolveTiles(w, h, half, kernelAt, tolerance, tile, maskedRows<true>(in, blank, w), nullptr, sink);
    else convolveTiles(w, h, half, kernelAt, tolerance, tile, maskedRows<false>(in, blank, w), nullptr, sink);
}

SparseConvolution::SparseConvolution(int w, int h, int half, const KernelAt& kernelAt,
                                     const std::vector<std::pair<std::size_t, float>>& pixels)
    : w_(w), half_(half), pixels_(pixels) {
    (void)h; // the tiles keep within the image
    kernels_.reserve(pixels.size());
    for (const auto& [i, value] : pixels)
        kernels_.push_back(kernelAt(static_cast<int>(i % static_cast<std::size_t>(w)), static_cast<int>(i / w)));
}

// AddSparseConvolution's sums restricted to the tile, in the same order, so
// that each pixel comes out as it would there.
void SparseConvolution::addTo(float* values, int ya, int yb, int xa, int xb, int stride) const {
    const int side = 2 * half_ + 1, len = stride > 0 ? stride : xb - xa;
    for (std::size_t p = 0; p < pixels_.size(); ++p) {
        const auto [i, value] = pixels_[p];
        const int qx = static_cast<int>(i % static_cast<std::size_t>(w_)), qy = static_cast<int>(i / w_);
        if (qy + half_ < ya || qy - half_ >= yb || qx + half_ < xa || qx - half_ >= xb) continue;
        const std::vector<float>& k = kernels_[p];
        for (int v = -half_; v <= half_; ++v) {
            const int y = qy - v;
            if (y < ya || y >= yb) continue;
            for (int u = -half_; u <= half_; ++u) {
                const int x = qx - u;
                if (x < xa || x >= xb) continue;
                values[static_cast<std::size_t>(y - ya) * len + (x - xa)] +=
                    k[static_cast<std::size_t>(v + half_) * side + u + half_] * value;
            }
        }
    }
}

void AddSparseConvolution(std::vector<float>& out, int w, int h, int half, const KernelAt& kernelAt,
                          const std::vector<std::pair<std::size_t, float>>& pixels) {
    if (w <= 2 * half || h <= 2 * half) return; // the convolution leaves every pixel NaN
    // the convolution's pixels: all but the kernel's reach at the edges
    SparseConvolution(w, h, half, kernelAt, pixels)
        .addTo(out.data() + static_cast<std::size_t>(half) * w + half, half, h - half, half, w - half, w);
}

} // namespace engine
