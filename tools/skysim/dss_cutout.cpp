#include "dss_cutout.h"

#include <cmath>
#include <stdexcept>

#include "platform/fits_handle.h"
#include "render.h"

namespace skysim {
namespace {
void check(int status, const char* what) {
    if (status) {
        char text[FLEN_STATUS];
        fits_get_errstatus(status, text);
        throw std::runtime_error(std::string(what) + ": " + text);
    }
}
} // namespace

void WriteDssCutout(const std::string& path, const Field& field, const DssOptions& o) {
    // POSS-II-like plate: 67.2"/mm, 15 micron scan pixels (1.008"/px); the plate
    // centre lies 2 deg north-east of the cut-out, as plates are 6.5 deg wide.
    const double plateScale = 67.20, pixelMicron = 15.0;
    const double ppo3 = 177000.0, ppo6 = 177000.0;
    double plateRa, plateDec;
    FromStandardCoordinates(o.ra, o.dec, -1.4, -1.4, plateRa, plateDec);
    const double pixelArcsec = plateScale * pixelMicron / 1000.0;
    const int w = static_cast<int>(std::lround(o.widthArcmin * 60 / pixelArcsec));
    const int h = static_cast<int>(std::lround(o.heightArcmin * 60 / pixelArcsec));
    // where the cut-out's centre falls on the plate, in plate pixels
    double xiC, etaC;
    StandardCoordinates(plateRa, plateDec, o.ra, o.dec, xiC, etaC);
    const double xmm = xiC * 3600 / plateScale, ymm = etaC * 3600 / plateScale;
    const double Xc = (ppo3 - 1000 * xmm) / pixelMicron, Yc = (ppo6 + 1000 * ymm) / pixelMicron;
    const long cnpix1 = std::lround(Xc - w / 2.0), cnpix2 = std::lround(Yc - h / 2.0);

    // The linear plate model is a gnomonic projection about the plate centre:
    // render through the equivalent TAN plate.
    Epoch e;
    e.width = w;
    e.height = h;
    e.scale = pixelArcsec;
    e.seeing = 2.5;
    e.sky = 6000;
    e.gain = 50; // photographic grain, not photons
    e.readNoise = 200;
    e.bias = 0;
    e.zeroPoint = 26.5;
    e.exptime = 1;
    e.hotPixels = 0;
    e.noiseSeed = o.seed * 77 + 5;
    Plate tan;
    tan.crval1 = plateRa;
    tan.crval2 = plateDec;
    // p = X - CNPIX1 + 0.5, x_mm = (PPO3 - X s)/1000  =>  xi = -A1 s/1000 (p - p0)
    tan.crpix1 = ppo3 / pixelMicron - cnpix1 + 0.5;
    tan.crpix2 = ppo6 / pixelMicron - cnpix2 + 0.5;
    const double degPerPixel = plateScale * pixelMicron / 1000.0 / 3600.0;
    tan.cd = {-degPerPixel, 0, 0, degPerPixel};
    Image img = RenderWithPlate(field, e, tan);

    int status = 0;
    fitsfile* raw = nullptr;
    fits_create_file(&raw, ("!" + path).c_str(), &status);
    check(status, "create");
    platform::FitsFile f(raw);
    long axes[2] = {w, h};
    fits_create_img(f.get(), SHORT_IMG, 2, axes, &status);
    auto dbl = [&](const char* k, double v) { fits_write_key_dbl(f.get(), k, v, -14, "", &status); };
    auto lng = [&](const char* k, long v) { fits_write_key_lng(f.get(), k, v, "", &status); };
    auto str = [&](const char* k, const char* v) { fits_write_key_str(f.get(), k, v, "", &status); };
    str("ORIGIN", "vospen-skysim survey plate");
    str("SURVEY", "POSS2/UKSTU Red");
    str("REGION", "XP999");
    dbl("EQUINOX", 2000.0);
    dbl("EPOCH", 1993.5);
    // approximate standard cards, 0.3 % off in scale, that must not be used
    str("CTYPE1", "RA---TAN");
    str("CTYPE2", "DEC--TAN");
    dbl("CRPIX1", (w + 1) / 2.0);
    dbl("CRPIX2", (h + 1) / 2.0);
    dbl("CRVAL1", o.ra);
    dbl("CRVAL2", o.dec);
    dbl("CD1_1", -degPerPixel * 1.003);
    dbl("CD1_2", 0);
    dbl("CD2_1", 0);
    dbl("CD2_2", degPerPixel * 1.003);
    // the plate solution
    const double raH = plateRa / 15.0;
    lng("PLTRAH", static_cast<long>(raH));
    lng("PLTRAM", static_cast<long>((raH - std::floor(raH)) * 60));
    dbl("PLTRAS", (raH * 60 - std::floor(raH * 60)) * 60);
    str("PLTDECSN", plateDec < 0 ? "-" : "+");
    const double ad = std::abs(plateDec);
    lng("PLTDECD", static_cast<long>(ad));
    lng("PLTDECM", static_cast<long>((ad - std::floor(ad)) * 60));
    dbl("PLTDECS", (ad * 60 - std::floor(ad * 60)) * 60);
    dbl("PLTSCALE", plateScale);
    dbl("XPIXELSZ", pixelMicron);
    dbl("YPIXELSZ", pixelMicron);
    for (int i = 1; i <= 6; ++i) dbl(("PPO" + std::to_string(i)).c_str(), i == 3 ? ppo3 : (i == 6 ? ppo6 : 0));
    for (int i = 1; i <= 20; ++i) {
        dbl(("AMDX" + std::to_string(i)).c_str(), i == 1 ? plateScale : 0);
        dbl(("AMDY" + std::to_string(i)).c_str(), i == 1 ? plateScale : 0);
    }
    lng("CNPIX1", cnpix1);
    lng("CNPIX2", cnpix2);
    check(status, "keywords");
    std::vector<short> pix(img.pixels.size());
    for (std::size_t i = 0; i < pix.size(); ++i) pix[i] = static_cast<short>(std::min<int>(img.pixels[i], 32767));
    fits_write_img(f.get(), TSHORT, 1, static_cast<LONGLONG>(pix.size()), pix.data(), &status);
    check(status, "pixels");
}

} // namespace skysim
