#pragma once
// Sharp sources: cosmic rays and hot pixels of the image to be convolved. The
// convolution would blur each into a spot as wide as a star, which no later
// test could tell from a star; they are marked first, and most given back by
// a patch from their neighbours.
#include <cstddef>
#include <utility>
#include <vector>

namespace engine {

// The image to be convolved and the other one, on one grid.
struct SharpSearch {
    const std::vector<float>& pixels;
    const std::vector<float>& noise;
    const std::vector<float>& other;
    const std::vector<float>& otherNoise;
    int width, height;
    double sky;       // of `pixels`
    double starWidth; // minor width of its stars, px; 0: unknown (nothing is marked)
};

// Marks each bright source whose light lies across a line far narrower than
// the stars or nearly all in one pixel, and that the other image does not
// show, with the dips that resampling rings around it: 1 where the other image
// shows nothing there either (to be patched), 2 beside a star (stays blank).
// Returns the number of sources.
int MarkSharpSources(const SharpSearch& in, std::vector<unsigned char>& marks);

// What the image would show at the pixels marked 1 without the source: the
// nearest usable pixels in eight directions weighted by nearness (a galaxy's
// slope goes on under it), and the variance of that guess.
struct Patch {
    std::vector<std::pair<std::size_t, float>> values, variances;
};

// `marks` leaves as the pixels given back (1), all others 0; `blank`: pixels
// that no patch may draw from.
Patch PatchSharpSources(const std::vector<float>& pixels, const std::vector<float>& noise,
                        std::vector<unsigned char>& marks, const std::vector<unsigned char>& blank, int width,
                        int height, double sky);

} // namespace engine
