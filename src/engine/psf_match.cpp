#include "engine/psf_match.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <functional>

#include "engine/aperture.h"
#include "engine/pixel_stats.h"

namespace engine {
namespace {

// One basis function g(u) u^p * g(v) v^q of one Gaussian, made flux-free
// (less `sub` times the first basis) and scaled to unit norm.
struct Basis {
    int gauss, p, q;
    double sub = 0, scale = 1;
};

struct BasisSet {
    int half = 0;
    std::vector<double> sigmas;
    std::vector<Basis> list;
    // 1-D factors: factor[g][p][u + half]
    std::vector<std::vector<std::vector<double>>> factor;
    std::vector<std::vector<double>> kernels; // the 2-D bases as fitted
};

BasisSet makeBasis(int half, double width) {
    BasisSet b;
    b.half = half;
    const int side = 2 * half + 1;
    const double rel[3] = {0.5, 1.0, 2.0};
    const int degree[3] = {6, 4, 2};
    for (int g = 0; g < 3; ++g) {
        const double s = std::max(0.4, rel[g] * width);
        b.sigmas.push_back(s);
        std::vector<std::vector<double>> f(static_cast<std::size_t>(degree[g] + 1), std::vector<double>(side));
        for (int p = 0; p <= degree[g]; ++p)
            for (int u = -half; u <= half; ++u)
                f[p][u + half] = std::exp(-0.5 * u * u / (s * s)) * std::pow(u / s, p);
        b.factor.push_back(f);
        for (int p = 0; p <= degree[g]; ++p)
            for (int q = 0; q <= degree[g] - p; ++q) b.list.push_back({g, p, q});
    }
    auto raw = [&](const Basis& e) {
        std::vector<double> k(static_cast<std::size_t>(side) * side);
        for (int v = 0; v < side; ++v)
            for (int u = 0; u < side; ++u) k[v * side + u] = b.factor[e.gauss][e.p][u] * b.factor[e.gauss][e.q][v];
        return k;
    };
    const auto first = raw(b.list[0]);
    double firstSum = 0;
    for (double v : first) firstSum += v;
    b.list[0].scale = 1 / firstSum; // the first basis carries the flux
    for (std::size_t i = 0; i < b.list.size(); ++i) {
        auto k = raw(b.list[i]);
        if (i > 0) {
            double sum = 0;
            for (double v : k) sum += v;
            b.list[i].sub = sum / firstSum;
            double norm = 0;
            for (std::size_t j = 0; j < k.size(); ++j) {
                k[j] -= b.list[i].sub * first[j];
                norm += k[j] * k[j];
            }
            b.list[i].scale = norm > 0 ? 1 / std::sqrt(norm) : 0;
        }
        for (auto& v : k) v *= b.list[i].scale;
        b.kernels.push_back(std::move(k));
    }
    return b;
}

struct Stamp {
    double x, y;
    std::array<double, 3> spatial;
    Eigen::MatrixXd design; // pixels x (bases + 1 background)
    Eigen::VectorXd target, weight;
    Eigen::MatrixXd normal; // design' W design
    Eigen::VectorXd right;  // design' W target
    double chi2 = 0;
    bool used = true;
};

} // namespace

std::vector<float> MatchingKernel::at(double x, double y, bool squared) const {
    const double xn = width > 1 ? 2 * x / (width - 1) - 1 : 0, yn = height > 1 ? 2 * y / (height - 1) - 1 : 0;
    const double p[3] = {1, xn, yn};
    std::vector<float> k(terms.empty() ? 0 : terms[0].size());
    for (std::size_t i = 0; i < k.size(); ++i) {
        double v = 0;
        for (std::size_t s = 0; s < terms.size(); ++s) v += p[s] * terms[s][i];
        k[i] = static_cast<float>(squared ? v * v : v);
    }
    return k;
}

double MatchingKernel::backgroundAt(double x, double y) const {
    const double xn = width > 1 ? 2 * x / (width - 1) - 1 : 0, yn = height > 1 ? 2 * y / (height - 1) - 1 : 0;
    return background[0] + xn * background[1] + yn * background[2];
}

double MatchingKernel::sumAt(double x, double y) const {
    double s = 0;
    for (float v : at(x, y)) s += v;
    return s;
}

double StarSigma(const std::vector<float>& pix, int w, int h, const std::vector<StampStar>& stars, double sky) {
    std::vector<double> sigmas;
    for (const auto& s : stars) {
        int px = static_cast<int>(std::lround(s.x)), py = static_cast<int>(std::lround(s.y));
        if (px < 12 || py < 12 || px >= w - 12 || py >= h - 12) continue;
        // the brightest pixel next to the given position
        for (int pass = 0; pass < 2; ++pass) {
            int bx = px, by = py;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if (pix[static_cast<std::size_t>(py + dy) * w + px + dx] > pix[static_cast<std::size_t>(by) * w + bx]) {
                        bx = px + dx;
                        by = py + dy;
                    }
            px = bx;
            py = by;
        }
        double core = 0;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) core += pix[static_cast<std::size_t>(py + dy) * w + px + dx] - sky;
        const double total = ApertureFlux(pix, w, h, px + 1.0, py + 1.0, 7, 8, 11);
        if (!(total > 0) || !(core > 0) || !std::isfinite(core)) continue;
        const double frac = std::clamp(core / total, 1e-3, 0.999);
        // the centred Gaussian with that share: erf(1.5 / (sqrt(2) s))^2 = frac
        double lo = 0.05, hi = 20;
        for (int i = 0; i < 50; ++i) {
            const double mid = 0.5 * (lo + hi);
            const double e = std::erf(1.5 / (std::sqrt(2.0) * mid));
            (e * e > frac ? lo : hi) = mid;
        }
        sigmas.push_back(0.5 * (lo + hi));
    }
    return sigmas.size() >= 3 ? MedianOf(sigmas) : 0;
}

std::optional<MatchingKernel> FitMatchingKernel(const MatchInputs& in) {
    const int w = in.width, h = in.height;
    const auto& T = *in.templ;
    const auto& S = *in.science;
    // the kernel must reach as far as the broader image's stars do
    const int half = std::clamp(static_cast<int>(std::ceil(3.0 * in.scienceSigma + 1)), 4, 20);
    const int hs = half + 2; // stamp half-size
    const int reach = hs + half;
    const double match = std::sqrt(std::max(0.0, in.scienceSigma * in.scienceSigma - in.templSigma * in.templSigma));
    const BasisSet basis = makeBasis(half, std::max(match, 0.5 * in.scienceSigma));
    const int nb = static_cast<int>(basis.list.size());
    const int nc = nb + 1; // and the background
    const int side = 2 * hs + 1, npx = side * side;

    // stamps spread over the image: at most a few per cell of a 6 x 6 grid
    std::vector<int> perCell(36, 0);
    std::vector<Stamp> stamps;
    for (const auto& st : in.stars) {
        if (stamps.size() >= 180) break;
        const int cx = static_cast<int>(std::lround(st.x)), cy = static_cast<int>(std::lround(st.y));
        if (cx < reach || cy < reach || cx >= w - reach || cy >= h - reach) continue;
        const int cell = std::min(5, cx * 6 / w) + 6 * std::min(5, cy * 6 / h);
        if (perCell[cell] >= 6) continue;
        bool ok = true;
        for (int y = cy - reach; y <= cy + reach && ok; ++y)
            for (int x = cx - reach; x <= cx + reach; ++x) {
                const std::size_t i = static_cast<std::size_t>(y) * w + x;
                if (!std::isfinite(T[i]) || T[i] >= in.templSaturation) { ok = false; break; }
                if (std::abs(y - cy) <= hs && std::abs(x - cx) <= hs &&
                    (!std::isfinite(S[i]) || S[i] >= in.scienceSaturation || !((*in.scienceNoise)[i] > 0))) {
                    ok = false;
                    break;
                }
            }
        if (!ok) continue;
        // Noise in the template biases the kernel's flux low (it is on the
        // fitted side of the equation): only stars it shows at high signal-to-noise.
        {
            std::vector<double> edge;
            for (int k = -hs; k <= hs; ++k) {
                edge.push_back(T[static_cast<std::size_t>(cy - hs) * w + cx + k]);
                edge.push_back(T[static_cast<std::size_t>(cy + hs) * w + cx + k]);
                edge.push_back(T[static_cast<std::size_t>(cy + k) * w + cx - hs]);
                edge.push_back(T[static_cast<std::size_t>(cy + k) * w + cx + hs]);
            }
            const double local = MedianOf(edge);
            double peak = -1e30;
            std::size_t at = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const std::size_t i = static_cast<std::size_t>(cy + dy) * w + cx + dx;
                    if (T[i] > peak) {
                        peak = T[i];
                        at = i;
                    }
                }
            if (!((peak - local) > 40 * (*in.templNoise)[at])) continue;
        }
        Stamp s;
        s.x = cx;
        s.y = cy;
        s.spatial = {1, 2.0 * cx / (w - 1) - 1, 2.0 * cy / (h - 1) - 1};
        stamps.push_back(std::move(s));
        ++perCell[cell];
    }
    if (stamps.size() < 8) return std::nullopt;

    // the design matrices: each basis applied to the template around the star
    const int bigSide = 2 * reach + 1;
    const int kside = 2 * half + 1;
#pragma omp parallel for schedule(dynamic)
    for (std::size_t j = 0; j < stamps.size(); ++j) {
        Stamp& s = stamps[j];
        const int cx = static_cast<int>(s.x), cy = static_cast<int>(s.y);
        s.design.resize(npx, nc);
        s.target.resize(npx);
        s.weight.resize(npx);
        // rows first: R[g][p](x, y) over the stamp's columns and the reach's rows
        std::vector<double> rows(static_cast<std::size_t>(bigSide) * side);
        std::vector<double> raw0(npx);
        for (int b = 0; b < nb; ++b) {
            const Basis& e = basis.list[b];
            const auto& fu = basis.factor[e.gauss][e.p];
            const auto& fv = basis.factor[e.gauss][e.q];
            for (int yy = 0; yy < bigSide; ++yy) {
                const int y = cy - reach + yy;
                for (int xx = 0; xx < side; ++xx) {
                    const int x = cx - hs + xx;
                    double acc = 0;
                    const float* row = &T[static_cast<std::size_t>(y) * w + x - half];
                    for (int u = 0; u < kside; ++u) acc += fu[u] * row[u];
                    rows[static_cast<std::size_t>(yy) * side + xx] = acc;
                }
            }
            for (int yy = 0; yy < side; ++yy)
                for (int xx = 0; xx < side; ++xx) {
                    double acc = 0;
                    for (int v = 0; v < kside; ++v) acc += fv[v] * rows[static_cast<std::size_t>(yy + v) * side + xx];
                    const int k = yy * side + xx;
                    if (b == 0) raw0[k] = acc;
                    s.design(k, b) = e.scale * (acc - e.sub * raw0[k]);
                }
        }
        for (int yy = 0; yy < side; ++yy)
            for (int xx = 0; xx < side; ++xx) {
                const std::size_t i = static_cast<std::size_t>(cy - hs + yy) * w + cx - hs + xx;
                const int k = yy * side + xx;
                s.design(k, nb) = 1;
                s.target(k) = S[i];
                const double nt = (*in.templNoise)[i], ns = (*in.scienceNoise)[i];
                s.weight(k) = 1 / (nt * nt + ns * ns);
            }
        const Eigen::MatrixXd wd = s.design.array().colwise() * s.weight.array();
        s.normal = s.design.transpose() * wd;
        s.right = wd.transpose() * s.target;
    }

    MatchingKernel result;
    result.half = half;
    result.width = w;
    result.height = h;
    Eigen::VectorXd solution;
    std::function<double(int, int)> coefficients;
    int ns = 1;
    for (int iteration = 0; iteration < 4; ++iteration) {
        int used = 0;
        for (const auto& s : stamps) used += s.used;
        if (used < 8) return std::nullopt;
        ns = used >= 30 ? 3 : 1;
        // The kernel's flux is one number for the whole image (a change of
        // transparency); its shape may vary linearly when there are stars
        // enough, the background (two skies' gradients) always.
        std::vector<int> offset(static_cast<std::size_t>(nc) + 1, 0);
        for (int c = 0; c < nc; ++c) offset[c + 1] = offset[c] + (c == 0 ? 1 : c == nb ? 3 : ns);
        const int n = offset[nc];
        Eigen::MatrixXd M = Eigen::MatrixXd::Zero(n, n);
        Eigen::VectorXd r = Eigen::VectorXd::Zero(n);
        // by columns of M on every core: each thread adds into columns of its own
#pragma omp parallel for schedule(static)
        for (int b = 0; b < nc; ++b)
            for (const auto& s : stamps) {
                if (!s.used) continue;
                const Eigen::MatrixXd& Q = s.normal;
                for (int sb = 0; sb < offset[b + 1] - offset[b]; ++sb) {
                    double* column = M.data() + static_cast<std::ptrdiff_t>(offset[b] + sb) * n;
                    const double fb = s.spatial[sb];
                    for (int a = 0; a < nc; ++a) {
                        const double qab = Q(a, b) * fb;
                        for (int sa = 0; sa < offset[a + 1] - offset[a]; ++sa)
                            column[offset[a] + sa] += qab * s.spatial[sa];
                    }
                }
            }
        for (const auto& s : stamps) {
            if (!s.used) continue;
            for (int a = 0; a < nc; ++a)
                for (int sa = 0; sa < offset[a + 1] - offset[a]; ++sa) r(offset[a] + sa) += s.right(a) * s.spatial[sa];
        }
        // Equilibrated first (the columns differ by many orders of magnitude);
        // then bases that the data cannot tell apart get no weight instead of a wild one.
        Eigen::VectorXd d = M.diagonal().cwiseMax(1e-300).cwiseSqrt().cwiseInverse();
        const Eigen::MatrixXd Me = d.asDiagonal() * M * d.asDiagonal();
        Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> eig(Me);
        const auto& ev = eig.eigenvalues();
        const double cut = ev.maxCoeff() * 1e-10;
        Eigen::VectorXd proj = eig.eigenvectors().transpose() * (d.asDiagonal() * r);
        for (int i = 0; i < n; ++i) proj(i) = ev(i) > cut ? proj(i) / ev(i) : 0;
        solution = d.asDiagonal() * (eig.eigenvectors() * proj);
        coefficients = [&, offset](int c, int sa) {
            return sa < offset[c + 1] - offset[c] ? solution(offset[c] + sa) : 0.0;
        };

        std::vector<double> chis;
        for (auto& s : stamps) {
            Eigen::VectorXd a(nc);
            for (int b = 0; b < nc; ++b) {
                double v = 0;
                for (int sa = 0; sa < 3; ++sa) v += coefficients(b, sa) * s.spatial[sa];
                a(b) = v;
            }
            const Eigen::VectorXd res = s.target - s.design * a;
            s.chi2 = (res.array().square() * s.weight.array()).sum() / npx;
            if (s.used) chis.push_back(s.chi2);
        }
        // stamps that the kernel does not explain (a neighbour, a variable, a cosmic ray) are left out
        const double med = MedianOf(chis);
        std::vector<double> dev;
        for (double c : chis) dev.push_back(std::abs(c - med));
        const double limit = med + std::max(3 * 1.4826 * MedianOf(dev), med);
        bool changed = false;
        for (auto& s : stamps) {
            const bool keep = s.chi2 <= limit;
            if (keep != s.used) changed = true;
            s.used = keep;
        }
        result.stamps = 0;
        result.chi2PerPixel = 0;
        for (const auto& s : stamps)
            if (s.used) {
                ++result.stamps;
                result.chi2PerPixel += s.chi2;
            }
        if (result.stamps) result.chi2PerPixel /= result.stamps;
        if (!changed) break;
    }

    const std::size_t kn = static_cast<std::size_t>(kside) * kside;
    result.terms.assign(static_cast<std::size_t>(ns), std::vector<double>(kn, 0));
    for (int b = 0; b < nb; ++b)
        for (int sa = 0; sa < ns; ++sa) {
            const double c = coefficients(b, sa);
            for (std::size_t i = 0; i < kn; ++i) result.terms[sa][i] += c * basis.kernels[b][i];
        }
    for (int sa = 0; sa < 3; ++sa) result.background[sa] = coefficients(nb, sa);
    return result;
}

} // namespace engine
