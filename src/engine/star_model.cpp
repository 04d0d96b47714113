#include "engine/star_model.h"

#include <Eigen/Dense>
#include <algorithm>
#include <array>
#include <cmath>
#include <type_traits>

#include "engine/pixel_stats.h"

namespace engine {
namespace {

// Gauss-Legendre nodes and weights on one pixel (-0.5..0.5): four points near
// the core, where a 2-px star changes fast across a pixel, two in the wings.
constexpr double kNode4[4] = {-0.4305681558, -0.1699905218, 0.1699905218, 0.4305681558};
constexpr double kWeight4[4] = {0.1739274226, 0.3260725774, 0.3260725774, 0.1739274226};
constexpr double kNode2[2] = {-0.2886751346, 0.2886751346};

struct Profile {
    double a, b, c, beta, norm; // norm: the peak of a unit flux
    double core2;               // squared radius within which four points are used
    explicit Profile(const StarShape& s)
        : a(s.a), b(s.b), c(s.c), beta(s.beta),
          norm((s.beta - 1) * std::sqrt(std::max(s.a * s.c - s.b * s.b, 1e-30)) / M_PI),
          core2(4 * s.fwhm() * s.fwhm()) {}
    double at(double dx, double dy) const {
        return norm * std::pow(1 + a * dx * dx + 2 * b * dx * dy + c * dy * dy, -beta);
    }
    // value and derivatives at one point: d/dx0, d/dy0 (the star's position),
    // d/da, d/db, d/dc, d/dbeta, the normalisation's own change included
    std::array<double, 7> derivatives(double dx, double dy) const {
        const double q = 1 + a * dx * dx + 2 * b * dx * dy + c * dy * dy;
        const double v = norm * std::pow(q, -beta), vq = -beta * v / q; // dv/dq
        const double det = a * c - b * b;
        return {v,
                -vq * (2 * a * dx + 2 * b * dy),
                -vq * (2 * b * dx + 2 * c * dy),
                v * 0.5 * c / det + vq * dx * dx,
                -v * b / det + vq * 2 * dx * dy,
                v * 0.5 * a / det + vq * dy * dy,
                v / (beta - 1) - v * std::log(q)};
    }
    // the mean of f over the pixel whose centre lies (dx, dy) from the star
    template <class T, class F> T overPixel(double dx, double dy, F f) const {
        T sum{};
        auto add = [&](double weight, const T& v) {
            if constexpr (std::is_arithmetic_v<T>) sum += weight * v;
            else
                for (std::size_t k = 0; k < sum.size(); ++k) sum[k] += weight * v[k];
        };
        if (dx * dx + dy * dy < core2) {
            for (int j = 0; j < 4; ++j)
                for (int i = 0; i < 4; ++i) add(kWeight4[j] * kWeight4[i], f(dx + kNode4[i], dy + kNode4[j]));
        } else {
            for (double ny : kNode2)
                for (double nx : kNode2) add(0.25, f(dx + nx, dy + ny));
        }
        return sum;
    }
    std::array<double, 7> pixelDerivatives(double dx, double dy) const {
        return overPixel<std::array<double, 7>>(dx, dy, [this](double u, double v) { return derivatives(u, v); });
    }
    double pixel(double dx, double dy) const {
        return overPixel<double>(dx, dy, [this](double u, double v) { return at(u, v); });
    }
};

// Calls f(dx, dy, index) for every pixel whose centre lies within `radius` of
// (x, y); false, calling nothing, when part of that circle lies off the image.
template <class F> bool withinRadius(int w, int h, double x, double y, double radius, F f) {
    const int x0 = static_cast<int>(std::floor(x - radius)), x1 = static_cast<int>(std::ceil(x + radius));
    const int y0 = static_cast<int>(std::floor(y - radius)), y1 = static_cast<int>(std::ceil(y + radius));
    if (x0 < 0 || y0 < 0 || x1 >= w || y1 >= h) return false;
    const double r2 = radius * radius;
    for (int py = y0; py <= y1; ++py)
        for (int px = x0; px <= x1; ++px) {
            const double dx = px - x, dy = py - y;
            if (dx * dx + dy * dy <= r2) f(dx, dy, static_cast<std::size_t>(py) * w + px);
        }
    return true;
}

struct Fit {
    // x, y, flux, sky, log a, b / sqrt(ac), log c, beta
    Eigen::Matrix<double, 8, 1> p;
    double chi2 = 0;
};

StarShape shapeOf(const Eigen::Matrix<double, 8, 1>& p) {
    StarShape s;
    s.a = std::exp(p(4));
    s.c = std::exp(p(6));
    s.b = std::clamp(p(5), -0.95, 0.95) * std::sqrt(s.a * s.c);
    s.beta = std::clamp(p(7), 1.2, 15.0);
    return s;
}

// Levenberg-Marquardt on one star's stamp.
std::optional<Fit> fitOne(const std::vector<float>& pix, const std::vector<float>& noise, int w, int cx, int cy, int hs,
                          Fit start, double skySigma) {
    const int side = 2 * hs + 1, n = side * side;
    Eigen::VectorXd data(n), inv(n);
    for (int j = 0; j < side; ++j)
        for (int i = 0; i < side; ++i) {
            const std::size_t k = static_cast<std::size_t>(cy - hs + j) * w + cx - hs + i;
            const double v = pix[k], s = noise.empty() ? skySigma : noise[k];
            if (!std::isfinite(v) || !(s > 0)) return std::nullopt;
            data(j * side + i) = v;
            inv(j * side + i) = 1 / s;
        }
    auto residuals = [&](const Eigen::Matrix<double, 8, 1>& p) {
        const Profile prof(shapeOf(p));
        Eigen::VectorXd r(n);
        for (int j = 0; j < side; ++j)
            for (int i = 0; i < side; ++i) {
                const double m = p(3) + p(2) * prof.pixel(cx - hs + i - p(0), cy - hs + j - p(1));
                r(j * side + i) = (data(j * side + i) - m) * inv(j * side + i);
            }
        return r;
    };
    Fit f = start;
    Eigen::VectorXd r = residuals(f.p);
    f.chi2 = r.squaredNorm();
    double lambda = 1e-3;
    for (int it = 0; it < 30; ++it) {
        Eigen::Matrix<double, Eigen::Dynamic, 8> J(n, 8);
        {
            const StarShape sh = shapeOf(f.p);
            const Profile prof(sh);
            const double sac = std::sqrt(sh.a * sh.c);
            for (int j = 0; j < side; ++j)
                for (int i = 0; i < side; ++i) {
                    const auto d = prof.pixelDerivatives(cx - hs + i - f.p(0), cy - hs + j - f.p(1));
                    // d: value, d/dx0, d/dy0, d/da, d/db, d/dc, d/dbeta of the unit-flux pixel
                    const double w = -inv(j * side + i), F = f.p(2);
                    const double da = d[3], db = d[4], dc = d[5];
                    const int k = j * side + i;
                    J(k, 0) = w * F * d[1];
                    J(k, 1) = w * F * d[2];
                    J(k, 2) = w * d[0];
                    J(k, 3) = w;
                    // log a, b / sqrt(ac), log c: b moves with a and c
                    J(k, 4) = w * F * (sh.a * da + 0.5 * sh.b * db);
                    J(k, 5) = w * F * sac * db;
                    J(k, 6) = w * F * (sh.c * dc + 0.5 * sh.b * db);
                    J(k, 7) = w * F * d[6];
                }
        }
        const Eigen::Matrix<double, 8, 8> JtJ = J.transpose() * J;
        const Eigen::Matrix<double, 8, 1> g = J.transpose() * r;
        bool better = false;
        for (int tries = 0; tries < 8 && !better; ++tries) {
            Eigen::Matrix<double, 8, 8> A = JtJ;
            A.diagonal() *= 1 + lambda;
            const Eigen::Matrix<double, 8, 1> step = A.ldlt().solve(-g);
            if (!step.allFinite()) return std::nullopt;
            Eigen::Matrix<double, 8, 1> q = f.p + step;
            q(5) = std::clamp(q(5), -0.95, 0.95);
            q(7) = std::clamp(q(7), 1.2, 15.0);
            const Eigen::VectorXd rq = residuals(q);
            const double c2 = rq.squaredNorm();
            if (c2 < f.chi2) {
                const bool done = f.chi2 - c2 < 1e-5 * f.chi2;
                f.p = q;
                r = rq;
                f.chi2 = c2;
                lambda = std::max(lambda * 0.3, 1e-7);
                better = true;
                if (done) it = 30;
            } else {
                lambda *= 10;
            }
        }
        if (!better) break;
    }
    f.chi2 /= n;
    if (std::abs(f.p(0) - cx) >= 1 || std::abs(f.p(1) - cy) >= 1) return std::nullopt;
    return f;
}

} // namespace

double StarShape::fwhm() const {
    // the radius where the profile halves, for the mean of the two axes' curvatures
    const double q = 0.5 * (a + c);
    return 2 * std::sqrt((std::pow(2.0, 1 / beta) - 1) / std::max(q, 1e-12));
}

StarShape StarShape::through(const std::array<double, 4>& j) const {
    // q(d_t) = (J d_t)' Q (J d_t): Q_t = J' Q J
    const double j00 = j[0], j01 = j[1], j10 = j[2], j11 = j[3];
    StarShape s = *this;
    s.a = j00 * (a * j00 + b * j10) + j10 * (b * j00 + c * j10);
    s.b = j00 * (a * j01 + b * j11) + j10 * (b * j01 + c * j11);
    s.c = j01 * (a * j01 + b * j11) + j11 * (b * j01 + c * j11);
    return s;
}

std::optional<StarShape> FitStarShape(const std::vector<float>& pix, const std::vector<float>& noise, int w, int h,
                                      const std::vector<BrightStar>& stars, double skySigma, double maxFwhm) {
    // a first width from the light-weighted second moment of the brightest stars
    std::vector<double> moments;
    for (const auto& s : stars) {
        if (s.saturated || moments.size() >= 25) continue;
        const int cx = static_cast<int>(std::lround(s.x - 1)), cy = static_cast<int>(std::lround(s.y - 1));
        if (cx < 4 || cy < 4 || cx >= w - 4 || cy >= h - 4) continue;
        const double m = StarSecondMoment(pix, w, s);
        if (m > 0) moments.push_back(m);
    }
    if (moments.size() < 5) return std::nullopt;
    const double sigma0 = std::clamp(std::sqrt(MedianOf(moments)) * 1.15, 0.5, 8.0);
    if (2.3548 * sigma0 > 1.25 * maxFwhm) return std::nullopt;
    const double alpha0 = 2.3548 * sigma0 / 1.0196; // beta 3
    const int hs = std::clamp(static_cast<int>(std::ceil(2.5 * 2.3548 * sigma0)), 4, 14);

    // the brightest stars with no bright neighbour in reach
    std::vector<const BrightStar*> chosen;
    for (const auto& s : stars) {
        if (chosen.size() >= 16) break;
        if (s.saturated) continue;
        const int cx = static_cast<int>(std::lround(s.x - 1)), cy = static_cast<int>(std::lround(s.y - 1));
        if (cx < hs + 1 || cy < hs + 1 || cx >= w - hs - 1 || cy >= h - hs - 1) continue;
        bool alone = true;
        for (const auto& o : stars)
            if (&o != &s && o.flux > 0.02 * s.flux && std::abs(o.x - s.x) < 2.0 * hs && std::abs(o.y - s.y) < 2.0 * hs) {
                alone = false;
                break;
            }
        if (alone) chosen.push_back(&s);
    }
    std::vector<std::optional<Fit>> fits(chosen.size());
#pragma omp parallel for schedule(dynamic)
    for (std::size_t k = 0; k < chosen.size(); ++k) {
        const BrightStar& s = *chosen[k];
        const int cx = static_cast<int>(std::lround(s.x - 1)), cy = static_cast<int>(std::lround(s.y - 1));
        Fit start;
        start.p << s.x - 1, s.y - 1, s.flux, s.sky, std::log(1 / (alpha0 * alpha0)), 0, std::log(1 / (alpha0 * alpha0)),
            3;
        fits[k] = fitOne(pix, noise, w, cx, cy, hs, start, skySigma);
    }
    std::vector<double> la, bb, lc, beta;
    for (const auto& f : fits)
        if (f && std::isfinite(f->chi2) && f->p(2) > 0) {
            la.push_back(f->p(4));
            bb.push_back(f->p(5));
            lc.push_back(f->p(6));
            beta.push_back(f->p(7));
        }
    if (la.size() < 5) return std::nullopt;
    Eigen::Matrix<double, 8, 1> p;
    p << 0, 0, 1, 0, MedianOf(la), MedianOf(bb), MedianOf(lc), MedianOf(beta);
    return shapeOf(p);
}

void AddStarLight(std::vector<float>& image, int w, int h, double x, double y, double flux, const StarShape& shape,
                  double radius, double scale) {
    const Profile prof(shape);
    const int x0 = std::max(0, static_cast<int>(std::floor(x - radius))),
              x1 = std::min(w - 1, static_cast<int>(std::ceil(x + radius)));
    const int y0 = std::max(0, static_cast<int>(std::floor(y - radius))),
              y1 = std::min(h - 1, static_cast<int>(std::ceil(y + radius)));
    const double r2 = radius * radius, f = flux * scale;
    for (int py = y0; py <= y1; ++py)
        for (int px = x0; px <= x1; ++px) {
            const double dx = px - x, dy = py - y;
            if (dx * dx + dy * dy > r2) continue;
            float& v = image[static_cast<std::size_t>(py) * w + px];
            v = static_cast<float>(v + f * prof.pixel(dx, dy));
        }
}

double FitStarFlux(const std::vector<float>& image, int w, int h, double x, double y, double sky,
                   const StarShape& shape, double radius) {
    const Profile prof(shape);
    double md = 0, mm = 0;
    bool blank = false;
    if (!withinRadius(w, h, x, y, radius, [&](double dx, double dy, std::size_t k) {
            const double v = image[k], m = prof.pixel(dx, dy);
            blank |= !std::isfinite(v);
            md += m * (v - sky);
            mm += m * m;
        }))
        return NAN;
    return !blank && mm > 0 ? md / mm : NAN;
}

double StarMisfit(const std::vector<float>& image, const std::vector<float>& noise, int w, int h, double x, double y,
                  double sky, double flux, const StarShape& shape, double radius, double skySigma) {
    const Profile prof(shape);
    double off = 0, light = 0;
    if (!withinRadius(w, h, x, y, radius, [&](double dx, double dy, std::size_t k) {
            const double m = flux * prof.pixel(dx, dy), n = noise.empty() ? skySigma : noise[k];
            const double d = image[k] - sky - m;
            off += d * d - n * n;
            light += m * m;
        }))
        return NAN;
    return light > 0 ? std::sqrt(std::max(off, 0.0) / light) : NAN;
}

} // namespace engine
