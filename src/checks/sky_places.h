#pragma once
// Places on the sky and which of them lie near each other; the line-by-line
// reading of the checks' large text files, plain or gzip.
#include <functional>
#include <string>
#include <vector>

namespace checks {

struct SkyPlace {
    double ra = 0, dec = 0; // degrees, J2000
};

// Arc-seconds between two places.
double SeparationArcsec(const SkyPlace& a, const SkyPlace& b);

// Offsets of `b` from `a` in arc-seconds, east and north on the tangent plane.
void OffsetArcsec(const SkyPlace& a, const SkyPlace& b, double& east, double& north);

// Each line of a plain or gzip text file, without its line end. Throws
// checks::Error: kNoFileNamed for an empty path, kFileMissing, kFileDamaged
// for a broken gzip stream. `what` names the file in the messages.
void ForEachLine(const std::string& path, const std::string& what, const std::function<void(const std::string&)>& line);

} // namespace checks
