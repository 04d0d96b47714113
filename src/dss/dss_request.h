#pragma once
// The request to the sky-survey server and the check of its reply.
#include <string>

namespace dss {

// "A+B+S": whole part, minutes, seconds with one decimal (halves away from
// zero) in the user's decimal separator. A seconds value rounding to 60 is
// written 60.0.
std::string Sexagesimal(double value, char decimalSeparator);

// Up to 15 significant digits, no trailing zeros, the user's separator.
std::string FieldSize(double arcmin, char decimalSeparator);

// Path and query. Northern declinations are sent as "%2B" and the value,
// southern ones as "-" and the absolute value.
std::string DssRequest(double raHours, double decDeg, double heightArcmin, double widthArcmin,
                       char decimalSeparator);

// Height and width of a field in arcminutes (no 16-bit overflow).
double FieldArcmin(long pixels, double arcsecPerPixel);

// Checks a downloaded reply: a FITS file is kept as it is, a gzip file is
// unpacked into place. Returns "" when `path` now holds a FITS file, else what
// came back, in words for a message. A plate of more than `maxPixels` pixels
// (its header says so) is refused before it is unpacked: a cut-out of the
// field asked for has a known size, and a small gzip reply can unpack to
// gigabytes.
std::string CheckDssReply(const std::string& path, long long maxPixels = 1LL << 40);

// The most pixels a cut-out of `widthArcmin` x `heightArcmin` may have: 16
// times the field at one arc-second a pixel (the finest survey plates), at
// least four megapixels.
long long MostDssPixels(double widthArcmin, double heightArcmin);

} // namespace dss
