#include "astrometry/plate_solver.h"

#include <Eigen/Dense>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "astrometry/errors.h"
#include "astrometry/pattern_match.h"

namespace astrometry {
namespace {

constexpr double kDeg = M_PI / 180.0;

bool project(double ra0, double dec0, double ra, double dec, double& xi, double& eta) {
    const double a = (ra - ra0) * kDeg, d = dec * kDeg, d0 = dec0 * kDeg;
    const double den = std::sin(d) * std::sin(d0) + std::cos(d) * std::cos(d0) * std::cos(a);
    if (den <= 0.1) return false;
    xi = std::cos(d) * std::sin(a) / den / kDeg;
    eta = (std::sin(d) * std::cos(d0) - std::cos(d) * std::sin(d0) * std::cos(a)) / den / kDeg;
    return true;
}

void deproject(double ra0, double dec0, double xi, double eta, double& ra, double& dec) {
    const double x = xi * kDeg, y = eta * kDeg, d0 = dec0 * kDeg;
    const double den = std::cos(d0) - y * std::sin(d0);
    ra = std::fmod(ra0 + std::atan2(x, den) / kDeg + 360.0, 360.0);
    dec = std::atan2(std::sin(d0) + y * std::cos(d0), std::sqrt(x * x + den * den)) / kDeg;
}

} // namespace

void PlateSolution::pixelToSky(double x, double y, double& ra, double& dec) const {
    double u = x - crpix1, v = y - crpix2;
    if (sip) {
        const double du = a20 * u * u + a11 * u * v + a02 * v * v;
        const double dv = b20 * u * u + b11 * u * v + b02 * v * v;
        u += du;
        v += dv;
    }
    deproject(crval1, crval2, cd[0] * u + cd[1] * v, cd[2] * u + cd[3] * v, ra, dec);
}

std::string PlateSolution::headerCards() const {
    std::string out;
    auto card = [&](const char* key, const std::string& value) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "%-8.8s= %20s", key, value.c_str());
        std::string c(buf);
        c.resize(80, ' ');
        out += c;
    };
    auto num = [](double v) {
        char b[32];
        std::snprintf(b, sizeof b, "%.15G", v);
        return std::string(b);
    };
    auto str = [](const char* s) {
        std::string q = std::string("'") + s;
        while (q.size() < 9) q += ' ';
        return q + "'";
    };
    card("CTYPE1", str(sip ? "RA---TAN-SIP" : "RA---TAN"));
    card("CTYPE2", str(sip ? "DEC--TAN-SIP" : "DEC--TAN"));
    card("CRVAL1", num(crval1));
    card("CRVAL2", num(crval2));
    card("CRPIX1", num(crpix1));
    card("CRPIX2", num(crpix2));
    card("CD1_1", num(cd[0]));
    card("CD1_2", num(cd[1]));
    card("CD2_1", num(cd[2]));
    card("CD2_2", num(cd[3]));
    if (sip) {
        card("A_ORDER", "2");
        card("A_2_0", num(a20));
        card("A_1_1", num(a11));
        card("A_0_2", num(a02));
        card("B_ORDER", "2");
        card("B_2_0", num(b20));
        card("B_1_1", num(b11));
        card("B_0_2", num(b02));
    }
    return out;
}

namespace {

// The stars of a solve: the image's in pixels (brightest first, unsaturated
// first) and centred on the image; the catalog's on the tangent plane of the
// hint, in hint pixels, brightest first.
struct SolveStars {
    std::vector<P> img, imgC, cat;
    std::vector<CatalogStar> sorted;
    std::vector<const CatalogStar*> catStar;
    P centre{};
};

void takeImageStars(SolveStars& ss, const std::vector<DetectedStar>& stars, int width, int height) {
    for (const auto& s : stars)
        if (!s.saturated && s.flux > 0) ss.img.push_back({s.x, s.y});
    for (const auto& s : stars)
        if (s.saturated) ss.img.push_back({s.x, s.y});
    // centred for a well-conditioned fit
    ss.centre = {(width + 1) / 2.0, (height + 1) / 2.0};
    ss.imgC.resize(ss.img.size());
    for (std::size_t i = 0; i < ss.img.size(); ++i) ss.imgC[i] = {ss.img[i].x - ss.centre.x, ss.img[i].y - ss.centre.y};
}

void takeCatalogStars(SolveStars& ss, const std::vector<CatalogStar>& catalog, double ra0, double dec0, double scale,
                      double reach) {
    ss.sorted = catalog;
    std::sort(ss.sorted.begin(), ss.sorted.end(), [](auto& a, auto& b) { return a.mag < b.mag; });
    for (const auto& c : ss.sorted) {
        double xi, eta;
        if (!project(ra0, dec0, c.ra, c.dec, xi, eta)) continue;
        const P p{xi * 3600 / scale, eta * 3600 / scale};
        if (std::hypot(p.x, p.y) > reach) continue;
        ss.cat.push_back(p);
        ss.catStar.push_back(&c);
    }
}

// The pairs of image and catalog stars: triangle patterns, then an affine map
// over all stars with a tightening radius; empty with a reason when none.
Pairs matchStars(const SolveStars& ss, int width, int height, double scale, Affine& a, std::string& reason) {
    Affine best{};
    const double tol = std::max(2.0, 3.0 / scale); // pixels: 3 arcsec or 2 px
    if (MatchByTriangles(ss.imgC, ss.cat, std::min(width, height) / 25.0, tol, 0.08, best) < 6) {
        reason = "No pattern of the image's stars matches the catalog near the hinted position";
        return {};
    }
    Pairs matches;
    a = best;
    for (double t : {tol * 1.5, tol, tol * 0.7}) {
        matches = PairUp(ss.imgC, ss.cat, a, t);
        if (!FitAffine(ss.imgC, ss.cat, matches, a)) break;
    }
    if (matches.size() < 6 || !Plausible(a, 0.12)) {
        reason = "The matched stars do not give a consistent plate solution";
        return {};
    }
    return matches;
}

double missArcsec(const PlateSolution& sol, const P& at, const CatalogStar& c) {
    double ra, dec;
    sol.pixelToSky(at.x, at.y, ra, dec);
    return std::hypot((ra - c.ra) * std::cos(dec * kDeg), dec - c.dec) * 3600;
}

// The tangent-plane solution about the image centre, the tangent point moved
// to the centre over three rounds; second-order (SIP) terms with `useSip`.
PlateSolution fitTangentPlane(const SolveStars& ss, const Pairs& matches, double tra, double tdec, bool useSip) {
    PlateSolution sol;
    sol.crpix1 = ss.centre.x;
    sol.crpix2 = ss.centre.y;
    for (int iter = 0; iter < 3; ++iter) {
        const int n = static_cast<int>(matches.size());
        const int terms = useSip ? 6 : 3;
        Eigen::MatrixXd A(n, terms);
        Eigen::VectorXd bx(n), by(n);
        for (int k = 0; k < n; ++k) {
            const P& p = ss.imgC[matches[k].first];
            const CatalogStar& c = *ss.catStar[matches[k].second];
            double xi = 0, eta = 0;
            project(tra, tdec, c.ra, c.dec, xi, eta);
            if (useSip) A.row(k) << 1, p.x, p.y, p.x * p.x, p.x * p.y, p.y * p.y;
            else A.row(k) << 1, p.x, p.y;
            bx[k] = xi;
            by[k] = eta;
        }
        const auto qr = A.colPivHouseholderQr();
        const Eigen::VectorXd px = qr.solve(bx), py = qr.solve(by);
        sol.cd[0] = px[1];
        sol.cd[1] = px[2];
        sol.cd[2] = py[1];
        sol.cd[3] = py[2];
        if (useSip) {
            Eigen::Matrix2d cd;
            cd << px[1], px[2], py[1], py[2];
            const Eigen::Matrix2d inv = cd.inverse();
            sol.sip = true;
            sol.a20 = inv(0, 0) * px[3] + inv(0, 1) * py[3];
            sol.a11 = inv(0, 0) * px[4] + inv(0, 1) * py[4];
            sol.a02 = inv(0, 0) * px[5] + inv(0, 1) * py[5];
            sol.b20 = inv(1, 0) * px[3] + inv(1, 1) * py[3];
            sol.b11 = inv(1, 0) * px[4] + inv(1, 1) * py[4];
            sol.b02 = inv(1, 0) * px[5] + inv(1, 1) * py[5];
        }
        double nra, ndec;
        deproject(tra, tdec, px[0], py[0], nra, ndec);
        tra = nra;
        tdec = ndec;
        sol.crval1 = tra;
        sol.crval2 = tdec;
    }
    double sum2 = 0;
    for (const auto& [i, j] : matches) {
        const double d = missArcsec(sol, ss.img[i], *ss.catStar[j]);
        sum2 += d * d;
    }
    sol.matched = static_cast<int>(matches.size());
    sol.rmsArcsec = std::sqrt(sum2 / matches.size());
    return sol;
}

// A wrong pair (a blend, a star moved since the catalog epoch) pulls the fit:
// pairs beyond 3 rms (at least 1") are dropped and the plane fitted again;
// with forty pairs or more, SIP terms where they fit clearly better (with few
// stars they fit the catalog's noise).
PlateSolution fitWithClipping(const SolveStars& ss, Pairs matches, double tra, double tdec) {
    PlateSolution sol = fitTangentPlane(ss, matches, tra, tdec, false);
    for (int round = 0; round < 3 && matches.size() > 8; ++round) {
        const double limit = std::max(3.0 * sol.rmsArcsec, 1.0);
        Pairs kept;
        for (const auto& m : matches)
            if (missArcsec(sol, ss.img[m.first], *ss.catStar[m.second]) <= limit) kept.push_back(m);
        if (kept.size() == matches.size() || kept.size() < 6) break;
        matches = kept;
        sol = fitTangentPlane(ss, matches, tra, tdec, false);
    }
    if (matches.size() >= 40) {
        const PlateSolution withSip = fitTangentPlane(ss, matches, tra, tdec, true);
        if (withSip.rmsArcsec < 0.85 * sol.rmsArcsec) sol = withSip;
    }
    return sol;
}

// The result of a solution: solved when it agrees with the hinted scale and
// fits its stars, else the reason.
SolveResult judge(const PlateSolution& sol, double scale) {
    SolveResult r;
    const double fittedScale = std::sqrt(std::abs(sol.cd[0] * sol.cd[3] - sol.cd[1] * sol.cd[2])) * 3600;
    if (std::abs(fittedScale / scale - 1) > 0.12) r.reason = "The solution's scale is far from the hinted scale";
    else if (sol.rmsArcsec > std::max(2.0, 1.5 * scale))
        r.reason = "The solution does not fit the matched stars well enough";
    else {
        r.solved = true;
        r.solution = sol;
    }
    return r;
}

} // namespace

SolveResult SolvePlate(const std::vector<DetectedStar>& stars, int width, int height,
                       const std::vector<CatalogStar>& catalog, const SolveHints& hints) {
    SolveResult r;
    const double scale = std::abs(hints.arcsecPerPixel);
    if (!(scale > 0)) {
        r.reason = "The plate scale hint must be above 0";
        return r;
    }
    const double ra0 = hints.raHours * 15.0, dec0 = hints.decDeg;
    SolveStars ss;
    takeImageStars(ss, stars, width, height);
    takeCatalogStars(ss, catalog, ra0, dec0, scale, std::hypot(width, height) / 2 + 6.0 * 60 / scale);
    if (ss.img.size() < 4) {
        r.reason = "Too few stars in the image (" + std::to_string(ss.img.size()) + ") to solve it";
        return r;
    }
    if (ss.cat.size() < 4) {
        r.reason = "Too few catalog stars near the hinted position (" + std::to_string(ss.cat.size()) + ")";
        return r;
    }
    Affine a{};
    const Pairs matches = matchStars(ss, width, height, scale, a, r.reason);
    if (matches.empty()) return r;
    double tra0 = ra0, tdec0 = dec0;
    const P c = a.apply({0, 0});
    deproject(ra0, dec0, c.x * scale / 3600, c.y * scale / 3600, tra0, tdec0);
    return judge(fitWithClipping(ss, matches, tra0, tdec0), scale);
}

SolveResult SolvePlateFromPairs(const std::vector<P>& pixels, const std::vector<CatalogStar>& sky, int width,
                                int height, const SolveHints& hints) {
    SolveResult r;
    const double scale = std::abs(hints.arcsecPerPixel);
    if (!(scale > 0)) {
        r.reason = "The plate scale hint must be above 0";
        return r;
    }
    if (pixels.size() < 4 || sky.size() != pixels.size()) {
        r.reason = "Too few stars (" + std::to_string(pixels.size()) + ") to solve the image";
        return r;
    }
    SolveStars ss;
    ss.img = pixels;
    ss.centre = {(width + 1) / 2.0, (height + 1) / 2.0};
    for (const auto& p : pixels) ss.imgC.push_back({p.x - ss.centre.x, p.y - ss.centre.y});
    ss.sorted = sky;
    Pairs matches;
    for (std::size_t i = 0; i < ss.sorted.size(); ++i) {
        ss.catStar.push_back(&ss.sorted[i]);
        matches.emplace_back(static_cast<int>(i), static_cast<int>(i));
    }
    return judge(fitWithClipping(ss, matches, hints.raHours * 15.0, hints.decDeg), scale);
}

SolveResult SolveImage(const FitsImage& image, const SolveHints& hints, const SolveSettings& s) {
    DetectionSettings ds;
    ds.sigma = s.sigma;
    DetectionResult found;
    try {
        found = DetectStars(image, ds);
    } catch (const Error& e) {
        return {false, e.description(), {}};
    }
    std::sort(found.stars.begin(), found.stars.end(), [](auto& a, auto& b) { return a.flux > b.flux; });
    const double half = std::hypot(image.width, image.height) / 2 * std::abs(hints.arcsecPerPixel) / 3600 + 0.12;
    std::vector<CatalogStar> catalog;
    try {
        catalog = ReadCatalog(s.catalog, BoxAround(hints.raHours * 15, hints.decDeg, half));
    } catch (const Error& e) {
        return {false, e.description(), {}};
    }
    return SolvePlate(found.stars, image.width, image.height, catalog, hints);
}

} // namespace astrometry
