#pragma once
// Errors of the candidate checks, with numbers a user can quote. A check that
// cannot be made says so on the card; nothing else of the run is affected.
#include "platform/error.h"

namespace checks {

enum ErrorNumber {
    kNoFileNamed = 3001,   // the settings name no file for the check
    kFileMissing = 3002,   // named, but not there or unreadable
    kFileDamaged = 3003,   // of another format, or no usable line
    kNoTime = 3004,        // the reshot says not when it was taken
    kNoZeroPoint = 3005,   // no calibration: no catalog covered the field
    kOutside = 3006,       // the place is not on the image
    kNotFound = 3007,      // nothing stands out where it should
};

class Error : public platform::Error {
public:
    using platform::Error::Error;
};

} // namespace checks
