#include "astrometry/fits_image.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "astrometry/errors.h"
#include "platform/fits_handle.h"
#include "platform/fits_precheck.h"
#include "platform/big_buffers.h"

namespace astrometry {
namespace {

std::string fitsMessage(int status) {
    char text[FLEN_STATUS] = {};
    fits_get_errstatus(status, text);
    return text;
}

[[noreturn]] void fail(const std::string& path, const std::string& why) {
    throw Error(kFileError, "Cannot read the FITS image " + path + ": " + why);
}

platform::FitsFile open(const std::string& path) {
    if (const auto problem = platform::FitsHeaderProblem(path); !problem.empty()) fail(path, problem);
    int status = 0;
    fitsfile* raw = nullptr;
    if (fits_open_diskfile(&raw, path.c_str(), READONLY, &status)) {
        // .fz and .gz files need cfitsio's full file-name handling
        status = 0;
        if (fits_open_file(&raw, path.c_str(), READONLY, &status))
            fail(path, fitsMessage(status));
    }
    return platform::FitsFile(raw);
}

// Moves to the first HDU holding a 2-D image with data; returns its size and
// the number of planes (a colour cube of up to four planes is read as their mean).
void findImage(fitsfile* f, const std::string& path, long& w, long& h, long& planes, bool needData) {
    int status = 0, hdus = 0;
    fits_get_num_hdus(f, &hdus, &status);
    for (int i = 1; i <= hdus; ++i) {
        int type = 0;
        status = 0;
        if (fits_movabs_hdu(f, i, &type, &status)) break;
        if (type != IMAGE_HDU) continue;
        int naxis = 0, bitpix = 0;
        long axes[3] = {0, 0, 0};
        fits_get_img_param(f, 3, &bitpix, &naxis, axes, &status);
        if (status || naxis == 0) continue;
        if (naxis == 1) fail(path, "the image is one-dimensional");
        if (naxis > 3 || (naxis == 3 && axes[2] > 4))
            fail(path, "the image has more than two axes and is not a colour image");
        if (axes[0] <= 0 || axes[1] <= 0) fail(path, "the image is empty");
        if (needData && double(axes[0]) * double(axes[1]) > 400e6) fail(path, "the image is too large");
        int compressed = fits_is_compressed_image(f, &status);
        LONGLONG headStart = 0, dataStart = 0, dataEnd = 0;
        // refused before any pixel buffer is made: a short file may claim a huge image
        const double bytes = double(axes[0]) * double(axes[1]) * double(std::max(1L, axes[2])) * std::abs(bitpix) / 8;
        if (needData && !compressed && fits_get_hduaddrll(f, &headStart, &dataStart, &dataEnd, &status) == 0 &&
            double(dataStart) + bytes > double(f->Fptr->logfilesize))
            fail(path, "the file is truncated: it ends before the image data does");
        w = axes[0];
        h = axes[1];
        planes = naxis == 3 ? std::max(1L, axes[2]) : 1;
        return;
    }
    fail(path, "no image data in the file");
}

void readHeader(fitsfile* f, FitsImage& img) {
    int status = 0;
    char* header = nullptr;
    int n = 0;
    if (fits_hdr2str(f, 0, nullptr, 0, &header, &n, &status) == 0) {
        img.header.assign(header, static_cast<std::size_t>(n) * 80);
        img.headerCards = n;
        fits_free_memory(header, &status);
    }
}

// 16-bit integers with no null value and whole-number scaling (BSCALE 1,
// BZERO 0 or 32768: what cameras write) are read as stored and made floats
// on every core; cfitsio converts on one. The values are the same, every one
// exact. False where the image is of another kind (nothing read then).
bool readWholeNumbers(fitsfile* f, std::vector<float>& out, int& status) {
    int bitpix = 0, s = 0;
    fits_get_img_type(f, &bitpix, &s);
    if (s || bitpix != SHORT_IMG || fits_is_compressed_image(f, &s)) return false;
    double scale = 1, zero = 0;
    long blank = 0;
    s = 0;
    if (fits_read_key(f, TDOUBLE, "BSCALE", &scale, nullptr, &s) == KEY_NO_EXIST) scale = 1;
    s = 0;
    if (fits_read_key(f, TDOUBLE, "BZERO", &zero, nullptr, &s) == KEY_NO_EXIST) zero = 0;
    s = 0;
    const bool hasBlank = fits_read_key(f, TLONG, "BLANK", &blank, nullptr, &s) != KEY_NO_EXIST;
    if (hasBlank || scale != 1 || (zero != 0 && zero != 32768)) return false;
    std::vector<short> stored;
    platform::ResizeFast(stored, out.size());
    int anynul = 0;
    fits_set_bscale(f, 1.0, 0.0, &status);
    fits_read_img(f, TSHORT, 1, static_cast<LONGLONG>(stored.size()), nullptr, stored.data(), &anynul, &status);
    fits_set_bscale(f, scale, zero, &status);
    const float offset = static_cast<float>(zero);
    const long long n = static_cast<long long>(out.size());
#pragma omp parallel for schedule(static)
    for (long long i = 0; i < n; ++i) {
        const auto k = static_cast<std::size_t>(i);
        out[k] = static_cast<float>(stored[k]) + offset;
    }
    return true;
}

} // namespace

std::optional<double> FitsImage::number(const std::string& key) const {
    for (int i = 0; i < headerCards; ++i) {
        const std::string card = header.substr(static_cast<std::size_t>(i) * 80, 80);
        std::string k = card.substr(0, 8);
        while (!k.empty() && k.back() == ' ') k.pop_back();
        if (k != key || card.size() < 10 || card[8] != '=') continue;
        std::string v = card.substr(10, 70);
        for (char& c : v)
            if (c == '\'') c = ' '; // numbers written as strings still count
        char* end = nullptr;
        const double d = std::strtod(v.c_str(), &end);
        if (end == v.c_str() || !std::isfinite(d)) return std::nullopt;
        return d;
    }
    return std::nullopt;
}

FitsImage ReadFitsHeader(const std::string& path) {
    auto f = open(path);
    long w = 0, h = 0, planes = 1;
    findImage(f.get(), path, w, h, planes, false);
    FitsImage img;
    img.width = static_cast<int>(w);
    img.height = static_cast<int>(h);
    readHeader(f.get(), img);
    return img;
}

FitsImage ReadFitsImage(const std::string& path) {
    auto f = open(path);
    long w = 0, h = 0, planes = 1;
    findImage(f.get(), path, w, h, planes, true);
    FitsImage img;
    img.width = static_cast<int>(w);
    img.height = static_cast<int>(h);
    readHeader(f.get(), img);
    platform::ResizeFast(img.pixels, static_cast<std::size_t>(w) * h);
    int status = 0, anynul = 0;
    const float nan = std::nanf("");
    if (planes > 1 || !readWholeNumbers(f.get(), img.pixels, status))
        fits_read_img(f.get(), TFLOAT, 1, static_cast<LONGLONG>(img.pixels.size()),
                      const_cast<float*>(&nan), img.pixels.data(), &anynul, &status);
    if (status) fail(path, fitsMessage(status));
    if (planes > 1) {
        std::vector<float> plane(img.pixels.size());
        for (long p = 1; p < planes; ++p) {
            fits_read_img(f.get(), TFLOAT, 1 + p * static_cast<LONGLONG>(plane.size()),
                          static_cast<LONGLONG>(plane.size()), const_cast<float*>(&nan), plane.data(), &anynul,
                          &status);
            if (status) fail(path, fitsMessage(status));
            for (std::size_t i = 0; i < plane.size(); ++i) img.pixels[i] += plane[i];
        }
        for (auto& v : img.pixels) v /= static_cast<float>(planes);
    }

    // the per-pixel noise written beside a subtracted image
    int type = 0;
    status = 0;
    if (fits_movnam_hdu(f.get(), IMAGE_HDU, const_cast<char*>("NOISE"), 0, &status) == 0) {
        long axes[2] = {0, 0};
        int naxis = 0;
        fits_get_img_param(f.get(), 2, nullptr, &naxis, axes, &status);
        if (!status && naxis == 2 && axes[0] == w && axes[1] == h) {
            img.noise.resize(img.pixels.size());
            fits_read_img(f.get(), TFLOAT, 1, static_cast<LONGLONG>(img.noise.size()),
                          const_cast<float*>(&nan), img.noise.data(), &anynul, &status);
            if (status) img.noise.clear();
        }
    }
    (void)type;
    return img;
}

} // namespace astrometry
