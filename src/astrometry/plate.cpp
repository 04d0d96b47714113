#include "astrometry/plate.h"

#include <algorithm>
#include <cmath>

#include "astrometry/catalog.h"
#include "astrometry/detection.h"
#include "astrometry/errors.h"

namespace astrometry {

void Plate::AttachFITS(const std::string& path) {
    DetachFITS();
    state_ = StateOfFile(path);
    image_ = ReadFitsHeader(path);
    path_ = path;
    wcs_ = Wcs::FromHeader(image_.header, image_.headerCards);
    attached_ = true;
}

void Plate::DetachFITS() {
    image_ = FitsImage();
    state_.reset();
    pixelState_.reset();
    pixelsRead_ = false;
    path_.clear();
    wcs_ = Wcs();
    attached_ = false;
}

const FitsImage& Plate::image() const {
    if (attached_ && !pixelsRead_) {
        // looked at before the read: a file replaced during it is not taken for the old one
        pixelState_ = StateOfFile(path_);
        image_ = ReadFitsImage(path_);
        pixelsRead_ = true;
    }
    return image_;
}

void Plate::requireAttached() const {
    if (!attached_) throw Error(kNotAttached, "No FITS file is attached to the plate");
}

std::vector<CatalogStar> Plate::catalogOnImage(double margin) const {
    double ra, dec;
    if (!wcs_.pixelToSky((image_.width + 1) / 2.0, (image_.height + 1) / 2.0, ra, dec))
        throw Error(kNoPlateSolution, "The plate solution cannot place the image's centre");
    const double scale = std::abs(wcs_.scaleAt((image_.width + 1) / 2.0, (image_.height + 1) / 2.0));
    const double half = std::hypot(image_.width, image_.height) / 2 * scale / 3600 + margin;
    auto all = ReadCatalog(Catalog, CatalogPath, BoxAround(ra, dec, half), CatalogMaximumMagnitude);
    std::vector<CatalogStar> on;
    for (const auto& s : all) {
        double x, y;
        if (!wcs_.skyToPixel(s.ra, s.dec, x, y)) continue;
        if (x < 0.5 || y < 0.5 || x > image_.width + 0.5 || y > image_.height + 0.5) continue;
        on.push_back(s);
    }
    return on;
}

DetectionSettings Plate::ImageStarSettings() const {
    DetectionSettings settings;
    settings.sigma = SigmaAboveMean;
    settings.innerAperture = InnerAperture > 0 ? InnerAperture : 3;
    settings.outerAperture = OuterAperture > settings.innerAperture ? OuterAperture : settings.innerAperture + 3;
    return settings;
}

void Plate::FindImageStars() {
    requireAttached();
    imageStars_.clear();
    const DetectionSettings settings = ImageStarSettings();
    std::optional<DetectionResult> cached = CachedDetection(state_, settings);
    if (!cached) {
        cached = DetectStars(image(), settings);
        RememberDetection(pixelState_, settings, *cached);
    }
    const DetectionResult& found = *cached;
    rejectedSharp_ = found.rejectedSharp;
    backgroundLevel_ = found.backgroundLevel;
    apertureCorrection_ = found.apertureCorrection;

    if (const auto mz = image_.number("MAGZERO")) {
        zeroPoint_ = *mz;
    } else {
        zeroPoint_ = 25;
        if (wcs_.valid() && !CatalogPath.empty()) {
            try {
                const auto cat = catalogOnImage(0);
                std::vector<double> zps;
                for (const auto& d : found.stars) {
                    if (d.saturated || d.flux <= 0 || d.flux < 10 * d.fluxError) continue;
                    double ra, dec;
                    if (!wcs_.pixelToSky(d.x, d.y, ra, dec)) continue;
                    for (const auto& c : cat) {
                        const double sep = std::hypot((c.ra - ra) * std::cos(dec * M_PI / 180), c.dec - dec);
                        if (sep * 3600 < 2.5) {
                            zps.push_back(c.mag + 2.5 * std::log10(d.flux * apertureCorrection_));
                            break;
                        }
                    }
                }
                if (zps.size() >= 3) {
                    std::nth_element(zps.begin(), zps.begin() + zps.size() / 2, zps.end());
                    zeroPoint_ = zps[zps.size() / 2];
                }
            } catch (const Error&) {
                // the catalog does not serve this field: instrumental magnitudes
            }
        }
    }
    for (const auto& d : found.stars) {
        Star s;
        s.x = d.x;
        s.Y = d.y;
        s.RawFlux = d.flux * apertureCorrection_;
        s.Magnitude = zeroPoint_ - 2.5 * std::log10(std::max(s.RawFlux, 1e-3));
        double ra = 0, dec = 0;
        if (wcs_.valid() && wcs_.pixelToSky(d.x, d.y, ra, dec)) {
            s.RightAscension = ra / 15.0;
            s.Declination = dec;
        }
        imageStars_.add(s);
    }
}

void Plate::FindCatalogStars() {
    requireAttached();
    catalogStars_.clear();
    if (!wcs_.valid()) throw Error(kNoPlateSolution, "The image has no plate solution");
    const double zp = image_.number("MAGZERO").value_or(25.0);
    for (const auto& c : catalogOnImage(0)) {
        Star s;
        wcs_.skyToPixel(c.ra, c.dec, s.x, s.Y);
        s.RightAscension = c.ra / 15.0;
        s.Declination = c.dec;
        s.Magnitude = c.mag;
        s.RawFlux = std::pow(10.0, -0.4 * (c.mag - zp));
        catalogStars_.add(s);
    }
}

} // namespace astrometry
