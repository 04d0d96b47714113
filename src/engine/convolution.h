#pragma once
// Convolution of an image with a kernel that varies slowly over the image.
#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

namespace engine {

// The kernel (2*half+1)^2 values, row by row, for the pixel (x, y) (0-based).
using KernelAt = std::function<std::vector<float>(double x, double y)>;

// out(x, y) = sum over u, v of K(u, v) * in(x + u, y + v), with u, v in
// -half..half and K taken at the centre of the tile that holds (x, y). The
// input must be finite (see BlankPixels); pixels whose footprint reaches past
// the image's edge are NaN.
// Each kernel is applied as a sum of separable terms, enough of them that the
// rest holds less than `tolerance` of the kernel (root of the summed squares).
std::vector<float> ConvolveVarying(const std::vector<float>& in, int width, int height, int half,
                                   const KernelAt& kernelAt, double tolerance = 3e-3, int tile = 256);

// The same with the `blank` pixels and those not finite as zeros, without a
// copy of the image; with `squares`, of the squared input (the variance
// through the kernel's squares, which the caller's function then gives).
std::vector<float> ConvolveMasked(const std::vector<float>& in, const std::vector<unsigned char>& blank, int width,
                                  int height, int half, const KernelAt& kernelAt, bool squares,
                                  double tolerance = 3e-3, int tile = 256);

// As ConvolveMasked, each finished tile given to `sink` instead of gathered
// into an image (no image-sized buffer): sink(ya, yb, xa, xb, values) for the
// rows [ya, yb) and columns [xa, xb), row after row. Tiles come from several
// threads at once; the pixels no tile covers (NaN in ConvolveMasked) are not given.
using TileSink = std::function<void(int ya, int yb, int xa, int xb, float* values)>;
void ConvolveMaskedTiles(const std::vector<float>& in, const std::vector<unsigned char>& blank, int width,
                         int height, int half, const KernelAt& kernelAt, bool squares, double tolerance,
                         const TileSink& sink, int tile = 256);

// Adds to `out` what the pixels (index, value) would have given ConvolveVarying
// had they not been left out as blank: out(x - u, y - v) += K(u, v) * value,
// K taken at the pixel; with `squares`, values and kernel are the caller's
// squares. For a few thousand pixels, not an image.
void AddSparseConvolution(std::vector<float>& out, int width, int height, int half, const KernelAt& kernelAt,
                          const std::vector<std::pair<std::size_t, float>>& pixels);

// AddSparseConvolution for one tile at a time, to the same floats: the
// kernels taken once.
class SparseConvolution {
public:
    SparseConvolution(int width, int height, int half, const KernelAt& kernelAt,
                      const std::vector<std::pair<std::size_t, float>>& pixels);
    // `values`: the tile [ya, yb) x [xa, xb), row after row, `stride` values
    // a row (0: the tile's width)
    void addTo(float* values, int ya, int yb, int xa, int xb, int stride = 0) const;

private:
    int w_, half_;
    const std::vector<std::pair<std::size_t, float>>& pixels_;
    std::vector<std::vector<float>> kernels_;
};

// Sets the NaN pixels to 0 and returns where they were.
std::vector<unsigned char> BlankPixels(std::vector<float>& pixels);

// Every pixel within `radius` (a square) of a true pixel becomes true.
std::vector<unsigned char> DilateMask(const std::vector<unsigned char>& mask, int width, int height, int radius);
// The same, using up `mask` as its working memory: one mask less at once.
std::vector<unsigned char> DilateMask(std::vector<unsigned char>&& mask, int width, int height, int radius);

} // namespace engine
