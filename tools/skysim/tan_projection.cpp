#include "tan_projection.h"

#include <cmath>

namespace skysim {
namespace {
constexpr double kDeg = M_PI / 180.0;
}

bool StandardCoordinates(double ra0, double dec0, double ra, double dec, double& xi,
                         double& eta) {
    const double a = (ra - ra0) * kDeg, d = dec * kDeg, d0 = dec0 * kDeg;
    const double den = std::sin(d) * std::sin(d0) + std::cos(d) * std::cos(d0) * std::cos(a);
    if (den <= 0) return false;
    xi = std::cos(d) * std::sin(a) / den / kDeg;
    eta = (std::sin(d) * std::cos(d0) - std::cos(d) * std::sin(d0) * std::cos(a)) / den / kDeg;
    return true;
}

void FromStandardCoordinates(double ra0, double dec0, double xi, double eta, double& ra,
                             double& dec) {
    const double x = xi * kDeg, y = eta * kDeg, d0 = dec0 * kDeg;
    const double den = std::cos(d0) - y * std::sin(d0);
    ra = ra0 + std::atan2(x, den) / kDeg;
    dec = std::atan2(std::sin(d0) + y * std::cos(d0), std::sqrt(x * x + den * den)) / kDeg;
    ra = std::fmod(ra, 360.0);
    if (ra < 0) ra += 360.0;
}

void Plate::pixelToSky(double p, double q, double& ra, double& dec) const {
    double u = p - crpix1, v = q - crpix2;
    if (sip) {
        const double du = a20 * u * u + a11 * u * v + a02 * v * v;
        const double dv = b20 * u * u + b11 * u * v + b02 * v * v;
        u += du;
        v += dv;
    }
    const double xi = cd[0] * u + cd[1] * v;
    const double eta = cd[2] * u + cd[3] * v;
    FromStandardCoordinates(crval1, crval2, xi, eta, ra, dec);
}

bool Plate::skyToPixel(double ra, double dec, double& p, double& q) const {
    double xi, eta;
    if (!StandardCoordinates(crval1, crval2, ra, dec, xi, eta)) return false;
    const double det = cd[0] * cd[3] - cd[1] * cd[2];
    const double up = (cd[3] * xi - cd[1] * eta) / det;
    const double vp = (-cd[2] * xi + cd[0] * eta) / det;
    double u = up, v = vp;
    if (sip) {
        for (int i = 0; i < 20; ++i) { // the distortion is small: fixed-point iteration
            const double nu = up - (a20 * u * u + a11 * u * v + a02 * v * v);
            const double nv = vp - (b20 * u * u + b11 * u * v + b02 * v * v);
            const bool done = std::abs(nu - u) < 1e-10 && std::abs(nv - v) < 1e-10;
            u = nu;
            v = nv;
            if (done) break;
        }
    }
    p = u + crpix1;
    q = v + crpix2;
    return true;
}

Plate MakePlate(double ra, double dec, int width, int height, double arcsecPerPixel,
                double rotationDeg, bool mirrored) {
    Plate plate;
    plate.crval1 = ra;
    plate.crval2 = dec;
    plate.crpix1 = (width + 1) / 2.0;
    plate.crpix2 = (height + 1) / 2.0;
    const double s = arcsecPerPixel / 3600.0;
    const double c = std::cos(rotationDeg * kDeg), n = std::sin(rotationDeg * kDeg);
    // North up and east left at rotation 0: RA grows towards smaller x.
    plate.cd = {-s * c, s * n, s * n, s * c};
    if (mirrored) {
        plate.cd[0] = -plate.cd[0];
        plate.cd[2] = -plate.cd[2];
    }
    return plate;
}

} // namespace skysim
