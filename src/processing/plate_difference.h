#pragma once
#include <string>

namespace processing {

// The sky background level of the reshot file minus that of the reference
// file, in single precision. Throws astrometry::Error for unreadable files.
float GetPlateDifference(const std::string& referenceFile, const std::string& reshotFile);

} // namespace processing
