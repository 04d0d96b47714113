#pragma once
#include "platform/error.h"

namespace engine {

enum ErrorNumber {
    kOpenFailed = 2001,    // not FITS, truncated, not 2-D, empty, too large
    kSaveFailed = 2002,
    kBadFileType = 2003,
    kNoDocument = 2004,    // the operation needs an open image
    kAlignFailed = 2005,
    kSubtractFailed = 2006,
    kSurveyPlate = 2007,   // the survey picture's plate keywords are incomplete
};

class Error : public platform::Error {
public:
    using platform::Error::Error;
};

} // namespace engine
