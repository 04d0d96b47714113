#pragma once
// The difference and its noise, row by row, once the kernel is known.
#include "engine/matching_kernel.h"

namespace engine {

// A row's background and flux scale of the fitted kernel: value0 + x * step.
struct RowLine {
    float bg0, dbg, k0, dk;
};

// The kernel's background and flux (its sum at the centre, and its change to
// the right and bottom edges) along row y.
RowLine KernelRowLine(const MatchingKernel& kernel, const double (&sums)[3], int y, int width, int height);

// This image minus the convolved other, or (when this image was the one
// convolved) the convolution minus the other over the kernel's flux; NaN where
// `unusable`. Over the columns [x0, x1) of a row: `pixels`, `other` and
// `unusable` start at the row's first column, `convolved` at x0.
void DifferenceRow(float* pixels, const float* convolved, const float* other, const unsigned char* unusable, int x0,
                   int x1, RowLine line, bool convolveOther);

// The noise of that difference; unusable pixels keep theirs.
void DifferenceNoiseRow(float* noise, const float* convolvedVariance, const float* otherNoise,
                        const unsigned char* unusable, int x0, int x1, RowLine line, bool convolveOther);

} // namespace engine
