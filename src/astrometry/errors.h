#pragma once
// Errors of the astrometric engine, with numbers a user can quote.
#include "platform/error.h"

namespace astrometry {

enum ErrorNumber {
    kFileError = 1001,        // missing, unreadable or not a FITS image
    kNoPlateSolution = 1002,  // the operation needs a plate solution
    kCatalogError = 1003,     // catalog folder missing, empty, broken or of another catalog
    kDetectionError = 1004,   // star detection failed
    kNotAttached = 1005,      // no FITS file attached
    kSolveFailed = 1006,      // the plate solver found no solution
    kBadArgument = 1007,
};

class Error : public platform::Error {
public:
    using platform::Error::Error;
};

} // namespace astrometry
