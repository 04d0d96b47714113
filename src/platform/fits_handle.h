#pragma once
// RAII for cfitsio file handles.
#include <fitsio.h>

#include <memory>

namespace platform {

struct FitsCloser {
    void operator()(fitsfile* f) const {
        int status = 0;
        fits_close_file(f, &status);
    }
};
using FitsFile = std::unique_ptr<fitsfile, FitsCloser>;

} // namespace platform
