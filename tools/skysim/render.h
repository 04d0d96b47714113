#pragma once
// One exposure of a simulated field as an amateur camera records it.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "sky_model.h"
#include "tan_projection.h"

namespace skysim {

// What real cameras and reduction programs leave in a frame beyond hot pixels
// and rays; all off by default.
struct CameraFlaws {
    int zeroColumns = 0;        // the first columns zero-filled (a reduction program's no-data)
    double exposedRadius = 0;   // > 0: light only within this share of the half diagonal (a vignetted
                                // circular field; beyond it bias and read noise)
    bool badColumns = false;    // a hot and a cold column, a hot and a cold 2 x 2 cluster
    int warmPixels = 0;         // at the camera's places, at another level in every frame
    int warmClusters = 0;       // two or three warm pixels within 2 px, as warmPixels (a space
                                // telescope's detector)
    bool bleeds = false;        // saturated charge runs along the column
};

struct Epoch {
    std::string object = "NGC 2903";
    std::string dateObs = "2026-11-20T21:05:00";
    std::string filter = "Clear";
    int width = 1536, height = 1024;
    double scale = 1.5;             // arcsec per pixel
    double ra = 0, dec = 0;         // pointing, degrees
    double rotation = 0;            // degrees
    bool mirrored = false;
    bool sip = false;
    double seeing = 3.0;            // FWHM, arcsec
    double beta = 3.0;              // Moffat
    double transparency = 1.0;
    double exptime = 60;            // s
    double sky = 800;               // ADU per pixel
    double gradientX = 0, gradientY = 0; // ADU across the whole image
    double gain = 1.5;              // e- per ADU
    bool gainCard = true;           // GAIN and EGAIN written into the header
    double readNoise = 10;          // e-
    double bias = 1000;             // ADU
    double zeroPoint = 21.0;        // magnitude giving 1 ADU/s at transparency 1
    int binning = 1;
    int hotPixels = -1;             // -1: about one per 150 000 pixels
    bool cosmicRays = false;
    CameraFlaws flaws;
    bool supernovae = false;        // render the field's supernovae
    bool solution = true;           // write a plate solution into the header
    double solutionError = 0;       // px: the written solution's reference pixel is off by this in x and y
    std::uint64_t cameraSeed = 7;   // hot-pixel positions belong to the camera
    std::uint64_t noiseSeed = 1;

    double fluxOf(double mag) const {
        return transparency * exptime * std::pow(10.0, -0.4 * (mag - zeroPoint));
    }
};

struct TruthStar {
    double ra, dec, x, y, mag, flux; // x, y: FITS pixels
};

struct Image {
    int width = 0, height = 0;
    std::vector<std::uint16_t> pixels; // row by row, first row at the bottom (FITS order)
    Plate plate;
    std::vector<TruthStar> stars;
    std::vector<TruthStar> supernovae;
    std::vector<std::pair<double, double>> hotPixels;  // FITS pixels
    std::vector<std::pair<double, double>> cosmicRays; // FITS pixels of each track's start
};

Image Render(const Field& field, const Epoch& epoch);

// The light of a point (or of a pixel-wide square) centred (ox, oy) from a
// pixel's centre, spread by the Moffat profile (alpha, beta) and collected by
// the pixels around: a table of (2 reach + 1)^2 shares summing to one, row by row.
std::vector<double> MoffatShares(double ox, double oy, double alpha, double beta, int reach);
// The same with a given plate instead of the epoch's own.
Image RenderWithPlate(const Field& field, const Epoch& epoch, const Plate& plate);

} // namespace skysim
