#pragma once
// The simulator's own gnomonic plate model (TAN with optional SIP terms), kept
// apart from the engines' wcslib so that the engines are checked against it.
#include <array>

namespace skysim {

struct Plate {
    double crval1 = 0, crval2 = 0; // degrees
    double crpix1 = 0, crpix2 = 0; // FITS pixels
    std::array<double, 4> cd{};    // degrees per pixel: CD1_1 CD1_2 CD2_1 CD2_2
    // SIP forward terms of order 2: u += a20 u^2 + a11 u v + a02 v^2, same for v with b.
    bool sip = false;
    double a20 = 0, a11 = 0, a02 = 0, b20 = 0, b11 = 0, b02 = 0;

    // FITS pixel coordinates (first pixel centred at 1.0) to sky degrees.
    void pixelToSky(double p, double q, double& ra, double& dec) const;
    // false on the far hemisphere.
    bool skyToPixel(double ra, double dec, double& p, double& q) const;
};

// A plate centred at (ra, dec) with a scale in arcsec per pixel, the image's y axis
// turned `rotationDeg` east of north, optionally mirrored.
Plate MakePlate(double ra, double dec, int width, int height, double arcsecPerPixel,
                double rotationDeg, bool mirrored);

// Gnomonic standard coordinates (degrees) of a point about a centre.
bool StandardCoordinates(double ra0, double dec0, double ra, double dec, double& xi, double& eta);
void FromStandardCoordinates(double ra0, double dec0, double xi, double eta, double& ra,
                             double& dec);

} // namespace skysim
