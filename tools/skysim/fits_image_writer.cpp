#include "fits_image_writer.h"

#include <stdexcept>

#include "platform/fits_handle.h"

namespace skysim {
namespace {
void check(int status, const std::string& what) {
    if (status) {
        char text[FLEN_STATUS];
        fits_get_errstatus(status, text);
        throw std::runtime_error(what + ": " + text);
    }
}
void key(fitsfile* f, const char* name, double v, const char* comment) {
    int s = 0;
    fits_write_key_dbl(f, name, v, -15, comment, &s);
    check(s, name);
}
void key(fitsfile* f, const char* name, int v, const char* comment) {
    int s = 0;
    long lv = v;
    fits_write_key_lng(f, name, lv, comment, &s);
    check(s, name);
}
void key(fitsfile* f, const char* name, const std::string& v, const char* comment) {
    int s = 0;
    fits_write_key_str(f, name, v.c_str(), comment, &s);
    check(s, name);
}
} // namespace

void WriteFitsImage(const std::string& path, const Image& img, const Epoch& e) {
    int status = 0;
    fitsfile* raw = nullptr;
    fits_create_file(&raw, ("!" + path).c_str(), &status);
    check(status, "create " + path);
    platform::FitsFile f(raw);
    long axes[2] = {img.width, img.height};
    fits_create_img(f.get(), USHORT_IMG, 2, axes, &status);
    check(status, "image");

    key(f.get(), "OBJECT", e.object, "Object name");
    key(f.get(), "DATE-OBS", e.dateObs, "UTC start of exposure");
    key(f.get(), "EXPTIME", e.exptime, "Exposure time in seconds");
    key(f.get(), "EXPOSURE", e.exptime, "Exposure time in seconds");
    key(f.get(), "XBINNING", e.binning, "Binning factor in width");
    key(f.get(), "YBINNING", e.binning, "Binning factor in height");
    key(f.get(), "FILTER", e.filter, "Filter used");
    key(f.get(), "IMAGETYP", std::string("Light Frame"), "Type of image");
    key(f.get(), "INSTRUME", std::string("SkySim CCD 16"), "Camera");
    key(f.get(), "TELESCOP", std::string("SkySim 0.35 m"), "Telescope");
    if (e.gainCard) {
        key(f.get(), "EGAIN", e.gain, "Electrons per ADU");
        key(f.get(), "GAIN", e.gain, "Electrons per ADU");
    }
    key(f.get(), "RDNOISE", e.readNoise, "Read noise in electrons");
    key(f.get(), "PEDESTAL", 0, "Offset added to the data");
    key(f.get(), "XPIXSZ", 9.0 * e.binning, "Pixel width in microns");
    key(f.get(), "YPIXSZ", 9.0 * e.binning, "Pixel height in microns");
    key(f.get(), "SWCREATE", std::string("vospen-skysim"), "Software that made the image");

    if (e.solution) {
        const Plate& p = img.plate;
        key(f.get(), "CTYPE1", std::string(p.sip ? "RA---TAN-SIP" : "RA---TAN"), "");
        key(f.get(), "CTYPE2", std::string(p.sip ? "DEC--TAN-SIP" : "DEC--TAN"), "");
        key(f.get(), "EQUINOX", 2000.0, "Equatorial coordinates of J2000");
        key(f.get(), "RADESYS", std::string("ICRS"), "");
        key(f.get(), "CRVAL1", p.crval1, "RA of the reference pixel");
        key(f.get(), "CRVAL2", p.crval2, "Dec of the reference pixel");
        key(f.get(), "CRPIX1", p.crpix1 + e.solutionError, "Reference pixel in x");
        key(f.get(), "CRPIX2", p.crpix2 + e.solutionError, "Reference pixel in y");
        key(f.get(), "CD1_1", p.cd[0], "");
        key(f.get(), "CD1_2", p.cd[1], "");
        key(f.get(), "CD2_1", p.cd[2], "");
        key(f.get(), "CD2_2", p.cd[3], "");
        key(f.get(), "CUNIT1", std::string("deg"), "");
        key(f.get(), "CUNIT2", std::string("deg"), "");
        if (p.sip) {
            key(f.get(), "A_ORDER", 2, "");
            key(f.get(), "A_2_0", p.a20, "");
            key(f.get(), "A_1_1", p.a11, "");
            key(f.get(), "A_0_2", p.a02, "");
            key(f.get(), "B_ORDER", 2, "");
            key(f.get(), "B_2_0", p.b20, "");
            key(f.get(), "B_1_1", p.b11, "");
            key(f.get(), "B_0_2", p.b02, "");
        }
        fits_write_history(f.get(), "Plate solved by vospen-skysim", &status);
    }
    fits_write_img(f.get(), TUSHORT, 1, static_cast<LONGLONG>(img.pixels.size()),
                   const_cast<std::uint16_t*>(img.pixels.data()), &status);
    check(status, "pixels");
}

} // namespace skysim
