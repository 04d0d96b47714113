#pragma once
// The peer the benches measure the search against: SEP alone in C, one
// thread, on an image as read: background map, its subtraction, extraction
// with SEP's 3 x 3 default filter, and (when asked) the aperture photometry
// that the engine does.
#include <cstddef>
extern "C" {
#include <sep.h>
}

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#include "astrometry/fits_image.h"
#include "bench_common.h"

namespace bench {

// Milliseconds of one such search; NaN where SEP fails.
inline double SepAloneMs(const astrometry::FitsImage& img, double sigma, int minArea, bool photometry) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<float> sub(img.pixels);
    sep_image im{};
    im.data = sub.data();
    im.dtype = SEP_TFLOAT;
    im.w = img.width;
    im.h = img.height;
    sep_bkg* bkg = nullptr;
    if (sep_background(&im, 64, 64, 3, 3, 0.0, &bkg) != 0) return NAN;
    sep_bkg_subarray(bkg, sub.data(), SEP_TFLOAT);
    im.noiseval = sep_bkg_globalrms(bkg);
    im.noise_type = SEP_NOISE_STDDEV;
    static const float conv[9] = {1, 2, 1, 2, 4, 2, 1, 2, 1};
    sep_catalog* cat = nullptr;
    // SEP writes its whole pixel stack before it starts: a stack for a
    // usual field first (a thirty-second of the image, SEP's own 300 000 at
    // the least), and only a field that fills it again with a quarter
    const auto extract = [&] {
        return sep_extract(&im, static_cast<float>(sigma), SEP_THRESH_REL, minArea, conv, 3, 3, SEP_FILTER_CONV,
                           32, 0.005, 1, 1.0, &cat);
    };
    constexpr int kStackFull = 2;
    sep_set_extract_pixstack(std::max<std::size_t>(300000, sub.size() / 32));
    int status = extract();
    if (status == kStackFull) {
        sep_set_extract_pixstack(std::max<std::size_t>(300000, sub.size() / 4));
        status = extract();
    }
    if (status == 0 && photometry)
        for (int i = 0; i < cat->nobj; ++i) {
            double sum, err, area, a2, e2, ar2;
            short flag;
            sep_sum_circle(&im, cat->x[i], cat->y[i], 3, 0, 5, 0, &sum, &err, &area, &flag);
            sep_sum_circann(&im, cat->x[i], cat->y[i], 3, 6, 0, 5, 0, &a2, &e2, &ar2, &flag);
        }
    const double ms = msSince(start);
    if (status == 0) sep_catalog_free(cat);
    sep_bkg_free(bkg);
    return status == 0 ? ms : NAN;
}

} // namespace bench
