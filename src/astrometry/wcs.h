#pragma once
// A plate solution read from FITS header cards with wcslib: TAN, SIN, TPV,
// SIP, the DSS plate solution and the old PC/CROTA forms.
#include <memory>
#include <string>

struct wcsprm;

namespace astrometry {

// The header keys a plate solution is made of (the DSS plate keywords too).
bool IsPlateSolutionKey(const std::string& key);

class Wcs {
public:
    Wcs() = default;
    // An invalid Wcs when the header holds no usable celestial solution.
    static Wcs FromHeader(const std::string& header, int cards);
    Wcs(Wcs&&) noexcept;
    Wcs& operator=(Wcs&&) noexcept;
    ~Wcs();

    bool valid() const { return wcs_ != nullptr; }
    // FITS pixel coordinates (first pixel centred at 1.0) <-> degrees.
    bool pixelToSky(double x, double y, double& ra, double& dec) const;
    bool skyToPixel(double ra, double dec, double& x, double& y) const;
    // Arc-seconds per pixel at a pixel, negative when the image is mirrored.
    double scaleAt(double x, double y) const;

private:
    wcsprm* wcs_ = nullptr; // owned with the array wcspih made
    int nwcs_ = 0;
    wcsprm* all_ = nullptr;
};

} // namespace astrometry
