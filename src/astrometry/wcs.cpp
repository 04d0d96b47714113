#include "astrometry/wcs.h"

#include <wcslib/wcs.h>
#include <wcslib/wcsfix.h>
#include <wcslib/wcshdr.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <utility>
#include <vector>

namespace astrometry {

namespace {

std::string keyOf(const std::string& header, int i) {
    std::string k = header.substr(static_cast<std::size_t>(i) * 80, 8);
    while (!k.empty() && k.back() == ' ') k.pop_back();
    return k;
}

bool isDssKey(const std::string& k) {
    for (const char* p : {"AMDX", "AMDY", "PLTRA", "PLTDEC", "PLTSCALE", "CNPIX", "PPO", "XPIXELSZ", "YPIXELSZ"})
        if (k.rfind(p, 0) == 0) return true;
    return false;
}

// Only the cards of a plate solution go to wcspih, and only whole ones: its
// lexer copies an unclosed string (DATE-OBS = '08...) past its buffers.
std::string solutionCardsOnly(const std::string& header, int cards) {
    std::string out;
    for (int i = 0; i < cards; ++i) {
        const std::string card = header.substr(static_cast<std::size_t>(i) * 80, 80);
        if (!IsPlateSolutionKey(keyOf(header, i))) continue;
        if (!std::all_of(card.begin(), card.end(), [](char c) { return c >= 32 && c <= 126; })) continue;
        if (card.compare(8, 2, "= ") == 0) {
            const auto first = card.find_first_not_of(' ', 10);
            if (first != std::string::npos && card[first] == '\'') {
                // a closing quote, '' being a quote inside the string
                std::size_t q = first + 1;
                bool closed = false;
                while ((q = card.find('\'', q)) != std::string::npos) {
                    if (q + 1 < card.size() && card[q + 1] == '\'') {
                        q += 2;
                        continue;
                    }
                    closed = true;
                    break;
                }
                if (!closed) continue;
            }
        }
        out += card;
    }
    return out;
}

// wcslib turns the survey plates' keywords into a polynomial distortion; with
// some of them missing or not numbers its translation frees memory it does not
// own. So the set is handed over whole or not at all.
std::string withWholeDssSetOnly(const std::string& header, int cards) {
    std::vector<std::string> needed = {"PLTRAH", "PLTRAM", "PLTRAS", "PLTDECD", "PLTDECM", "PLTDECS",
                                       "PLTSCALE", "XPIXELSZ", "YPIXELSZ", "CNPIX1", "CNPIX2", "PPO3", "PPO6"};
    for (int i = 1; i <= 13; ++i) {
        needed.push_back("AMDX" + std::to_string(i));
        needed.push_back("AMDY" + std::to_string(i));
    }
    bool any = false;
    std::vector<bool> found(needed.size(), false);
    for (int i = 0; i < cards; ++i) {
        const std::string k = keyOf(header, i);
        if (!isDssKey(k)) continue;
        any = true;
        const auto at = std::find(needed.begin(), needed.end(), k);
        if (at == needed.end()) continue;
        const std::string value = header.substr(static_cast<std::size_t>(i) * 80 + 10, 70);
        char* end = nullptr;
        const double v = std::strtod(value.c_str(), &end);
        if (header[static_cast<std::size_t>(i) * 80 + 8] == '=' && end != value.c_str() && std::isfinite(v))
            found[static_cast<std::size_t>(at - needed.begin())] = true;
    }
    if (!any || std::all_of(found.begin(), found.end(), [](bool b) { return b; })) return header;
    std::string out;
    for (int i = 0; i < cards; ++i)
        if (!isDssKey(keyOf(header, i))) out += header.substr(static_cast<std::size_t>(i) * 80, 80);
    return out;
}

// Solution numbers written as strings ('150.0') become numbers; a solution
// number that is no number at all makes the solution unusable (wcslib would
// drop the card and put its default in: an image at RA 0 instead of 150).
std::string withNumbersAsNumbers(const std::string& header, bool& broken) {
    static const std::regex numeric("((CRVAL|CRPIX|CDELT|CROTA)[0-9]+|CD[0-9]+_[0-9]+|PC[0-9]+_[0-9]+|PC00[0-9]00[0-9]|"
                                    "PV[0-9]+_[0-9]+|(A|B|AP|BP)_[0-9]+_[0-9]+|(A|B|AP|BP)_ORDER|LONPOLE|LATPOLE|"
                                    "EQUINOX|EPOCH)[A-Z]?");
    broken = false;
    std::string out = header;
    for (std::size_t o = 0; o + 80 <= out.size(); o += 80) {
        const std::string key = keyOf(out, static_cast<int>(o / 80));
        if (out.compare(o + 8, 2, "= ") != 0 || !std::regex_match(key, numeric)) continue;
        const std::string field = out.substr(o + 10, 70);
        const auto first = field.find_first_not_of(' ');
        if (first == std::string::npos) {
            broken = true;
            continue;
        }
        if (field[first] == '\'') {
            const auto close = field.find('\'', first + 1);
            std::string text = field.substr(first + 1, close == std::string::npos ? std::string::npos : close - first - 1);
            while (!text.empty() && text.back() == ' ') text.pop_back();
            char* end = nullptr;
            const double v = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !std::isfinite(v)) {
                broken = true;
                continue;
            }
            char card[81];
            std::snprintf(card, sizeof card, "%-8.8s= %20.15G", key.c_str(), v);
            std::string c(card);
            c.resize(80, ' ');
            out.replace(o, 80, c);
        } else if (!std::strchr("+-.0123456789", field[first])) {
            broken = true; // T, F or text where a number belongs
        }
    }
    return out;
}

// A solution that maps the sky at all: its two celestial axes not parallel
// (a rank-1 CD matrix passes wcslib when rounding leaves it a pivot), a scale
// between 0.001" and 10 degrees a pixel, a reference point on the sky.
bool plausible(const wcsprm* w) {
    // the pixel-to-intermediate matrix: PC scaled by CDELT (a CD matrix is held as PC, CDELT 1)
    const int n = w->naxis, x = w->lng, y = w->lat;
    const double *pc = w->lin.pc, *cdelt = w->lin.cdelt;
    if (!pc || !cdelt) return false;
    const double a = cdelt[x] * pc[x * n + 0], b = cdelt[x] * pc[x * n + 1];
    const double c = cdelt[y] * pc[y * n + 0], d = cdelt[y] * pc[y * n + 1];
    const double det = a * d - b * c, rows = std::hypot(a, b) * std::hypot(c, d);
    if (!std::isfinite(det) || !(rows > 0) || std::abs(det) < 1e-6 * rows) return false;
    const double scale = std::sqrt(std::abs(det)); // degrees a pixel
    if (!(scale >= 0.001 / 3600 && scale <= 10)) return false;
    const double ra = w->crval[x], dec = w->crval[y];
    return std::isfinite(ra) && ra >= -360 && ra <= 720 && std::isfinite(dec) && dec >= -90 && dec <= 90;
}

} // namespace

bool IsPlateSolutionKey(const std::string& k) {
    static const std::regex solution(
        "(CTYPE|CRVAL|CRPIX|CDELT|CROTA|CUNIT)[0-9]+|CD[0-9]+_[0-9]+|PC[0-9]+_[0-9]+|PC00[0-9]00[0-9]|"
        "PV[0-9]+_[0-9]+|(A|B|AP|BP)_[0-9]+_[0-9]+|(A|B|AP|BP)_ORDER|A_DMAX|B_DMAX|LONPOLE|LATPOLE|"
        "WCSAXES|WCSNAME|RADESYS|RADECSYS|EQUINOX|EPOCH|"
        "PLTRAH|PLTRAM|PLTRAS|PLTDECSN|PLTDECD|PLTDECM|PLTDECS|PLTSCALE|XPIXELSZ|YPIXELSZ|"
        "CNPIX[12]|PPO[0-9]+|AMDX[0-9]+|AMDY[0-9]+");
    return std::regex_match(k, solution);
}

Wcs Wcs::FromHeader(const std::string& header, int cards) {
    Wcs w;
    int nreject = 0, nwcs = 0;
    wcsprm* all = nullptr;
    cards = std::min<int>(cards, static_cast<int>(header.size() / 80));
    bool broken = false;
    std::string copy = solutionCardsOnly(header, cards);
    copy = withNumbersAsNumbers(withWholeDssSetOnly(copy, static_cast<int>(copy.size() / 80)), broken);
    if (broken) return w;
    const int failed = wcspih(copy.data(), static_cast<int>(copy.size() / 80), WCSHDR_all, 0, &nreject, &nwcs, &all);
    w.all_ = all; // freed with w whatever happens next
    w.nwcs_ = nwcs;
    if (failed || nwcs == 0) return w;
    for (int i = 0; i < nwcs; ++i) {
        wcsprm* cand = all + i;
        // wcsfix without cdfix: cdfix makes a missing or all-zero CD row the unit
        // matrix, a plate of one degree per pixel that no header meant
        datfix(cand);
        obsfix(0, cand);
        unitfix(7, cand);
        spcfix(cand);
        // celfix only where it has work (NCP, GLS): it runs wcsset itself, and a
        // second wcsset on a singular matrix leaks the first one's inverse
        bool oldProjection = false;
        for (int a = 0; a < cand->naxis; ++a)
            oldProjection = oldProjection || std::strstr(cand->ctype[a], "-NCP") || std::strstr(cand->ctype[a], "-GLS");
        if (oldProjection) celfix(cand);
        if (wcsset(cand) != 0) continue;
        // the celestial axes must be the image's two axes; a third (a colour
        // cube's plane axis) is carried at pixel 1
        if (cand->naxis < 2 || cand->naxis > 9 || cand->lng < 0 || cand->lat < 0 || cand->lng > 1 ||
            cand->lat > 1)
            continue;
        if (!plausible(cand)) continue;
        // a solution must map the centre of the sky and back
        w.wcs_ = cand;
        break;
    }
    if (!w.wcs_) return Wcs();
    return w;
}

Wcs::Wcs(Wcs&& o) noexcept
    : wcs_(std::exchange(o.wcs_, nullptr)), nwcs_(std::exchange(o.nwcs_, 0)),
      all_(std::exchange(o.all_, nullptr)) {}

Wcs& Wcs::operator=(Wcs&& o) noexcept {
    if (this != &o) {
        if (all_) wcsvfree(&nwcs_, &all_);
        wcs_ = std::exchange(o.wcs_, nullptr);
        nwcs_ = std::exchange(o.nwcs_, 0);
        all_ = std::exchange(o.all_, nullptr);
    }
    return *this;
}

Wcs::~Wcs() {
    if (all_) wcsvfree(&nwcs_, &all_);
}

bool Wcs::pixelToSky(double x, double y, double& ra, double& dec) const {
    if (!wcs_) return false;
    const int n = wcs_->naxis;
    double pix[9], img[9], world[9], phi, theta;
    std::fill(pix, pix + n, 1.0);
    pix[0] = x;
    pix[1] = y;
    int stat = 0;
    if (wcsp2s(wcs_, 1, n, pix, img, &phi, &theta, world, &stat) || stat) return false;
    ra = world[wcs_->lng];
    dec = world[wcs_->lat];
    if (!std::isfinite(ra) || !std::isfinite(dec)) return false;
    ra = std::fmod(ra + 360.0, 360.0);
    return true;
}

bool Wcs::skyToPixel(double ra, double dec, double& x, double& y) const {
    if (!wcs_) return false;
    const int n = wcs_->naxis;
    double world[9], img[9], pix[9], phi, theta;
    // the other axes at their reference values
    for (int i = 0; i < n; ++i) world[i] = wcs_->crval[i];
    world[wcs_->lng] = ra;
    world[wcs_->lat] = dec;
    int stat = 0;
    if (wcss2p(wcs_, 1, n, world, &phi, &theta, img, pix, &stat) || stat) return false;
    x = pix[0];
    y = pix[1];
    return std::isfinite(x) && std::isfinite(y);
}

double Wcs::scaleAt(double x, double y) const {
    double r0, d0, r1, d1, r2, d2;
    if (!pixelToSky(x, y, r0, d0) || !pixelToSky(x + 1, y, r1, d1) || !pixelToSky(x, y + 1, r2, d2))
        return 0;
    const double c = std::cos(d0 * M_PI / 180);
    auto wrap = [](double d) { return d > 180 ? d - 360 : (d < -180 ? d + 360 : d); };
    const double ax = wrap(r1 - r0) * c, ay = d1 - d0, bx = wrap(r2 - r0) * c, by = d2 - d0;
    const double det = ax * by - ay * bx; // negative for the usual east-left orientation
    const double s = std::sqrt(std::abs(det)) * 3600;
    return det < 0 ? s : -s;
}

} // namespace astrometry
