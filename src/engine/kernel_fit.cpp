#include "engine/kernel_fit.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <new>

#include "engine/pixel_stats.h"
#include "platform/big_buffers.h"

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

void addGaussians(BasisSet& b, double width) {
    const int side = 2 * b.half + 1;
    const double rel[3] = {0.5, 1.0, 2.0};
    const int degree[3] = {6, 4, 2};
    for (int g = 0; g < 3; ++g) {
        const double s = std::max(0.4, rel[g] * width);
        b.sigmas.push_back(s);
        std::vector<std::vector<double>> f(static_cast<std::size_t>(degree[g] + 1), std::vector<double>(side));
        for (int p = 0; p <= degree[g]; ++p)
            for (int u = -b.half; u <= b.half; ++u)
                f[p][u + b.half] = std::exp(-0.5 * u * u / (s * s)) * std::pow(u / s, p);
        b.factor.push_back(f);
        for (int p = 0; p <= degree[g]; ++p)
            for (int q = 0; q <= degree[g] - p; ++q) b.list.push_back({g, p, q});
    }
}

std::vector<double> rawKernel(const BasisSet& b, const Basis& e) {
    const int side = 2 * b.half + 1;
    std::vector<double> k(static_cast<std::size_t>(side) * side);
    for (int v = 0; v < side; ++v)
        for (int u = 0; u < side; ++u) k[v * side + u] = b.factor[e.gauss][e.p][u] * b.factor[e.gauss][e.q][v];
    return k;
}

BasisSet makeBasis(int half, double width) {
    BasisSet b;
    b.half = half;
    addGaussians(b, width);
    const auto first = rawKernel(b, b.list[0]);
    double firstSum = 0;
    for (double v : first) firstSum += v;
    b.list[0].scale = 1 / firstSum; // the first basis carries the flux
    for (std::size_t i = 0; i < b.list.size(); ++i) {
        auto k = rawKernel(b, b.list[i]);
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

// The sizes of one fit: the kernel reaches as far as the broader image's stars do.
struct Sizes {
    int half, hs, reach, side, npx, kside, bigSide;
    explicit Sizes(double scienceSigma)
        : half(std::clamp(static_cast<int>(std::ceil(3.0 * scienceSigma + 1)), 4, 20)), hs(half + 2),
          reach(hs + half), side(2 * hs + 1), npx(side * side), kside(2 * half + 1), bigSide(2 * reach + 1) {}
};

struct Stamp {
    double x, y;
    std::array<double, 3> spatial;
    // pixels x (bases + 1 background), in one block for all stamps (see FitMatchingKernel)
    Eigen::Map<Eigen::MatrixXd> design{nullptr, 0, 0};
    Eigen::VectorXd target, weight;
    Eigen::MatrixXd normal; // design' W design
    Eigen::VectorXd right;  // design' W target
    double chi2 = 0;
    bool used = true;
};

// No blank or saturated template pixel within the kernel's reach, and none in
// the science image within the stamp.
bool stampClear(const MatchInputs& in, const Sizes& z, int cx, int cy) {
    const int w = in.width;
    const auto &T = *in.templ, &S = *in.science;
    for (int y = cy - z.reach; y <= cy + z.reach; ++y)
        for (int x = cx - z.reach; x <= cx + z.reach; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * w + x;
            if (!std::isfinite(T[i]) || T[i] >= in.templSaturation) return false;
            if (std::abs(y - cy) <= z.hs && std::abs(x - cx) <= z.hs &&
                (!std::isfinite(S[i]) || S[i] >= in.scienceSaturation || !((*in.scienceNoise)[i] > 0)))
                return false;
        }
    return true;
}

// Noise in the template biases the kernel's flux low (it is on the fitted
// side of the equation): only stars it shows at high signal-to-noise.
bool brightInTemplate(const MatchInputs& in, int hs, int cx, int cy) {
    const int w = in.width;
    const auto& T = *in.templ;
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
    return (peak - local) > 40 * (*in.templNoise)[at];
}

std::vector<Stamp> chooseStamps(const MatchInputs& in, const Sizes& z) {
    const int w = in.width, h = in.height;
    std::vector<int> perCell(36, 0);
    std::vector<Stamp> stamps;
    for (const auto& st : in.stars) {
        if (stamps.size() >= 180) break;
        const int cx = static_cast<int>(std::lround(st.x)), cy = static_cast<int>(std::lround(st.y));
        if (cx < z.reach || cy < z.reach || cx >= w - z.reach || cy >= h - z.reach) continue;
        const int cell = std::min(5, cx * 6 / w) + 6 * std::min(5, cy * 6 / h);
        if (perCell[cell] >= 6) continue;
        if (!stampClear(in, z, cx, cy) || !brightInTemplate(in, z.hs, cx, cy)) continue;
        Stamp s;
        s.x = cx;
        s.y = cy;
        s.spatial = {1, 2.0 * cx / (w - 1) - 1, 2.0 * cy / (h - 1) - 1};
        stamps.push_back(std::move(s));
        ++perCell[cell];
    }
    return stamps;
}

// The design matrix of a stamp (each basis applied to the template around the
// star, rows first), its target, weights and normal equations.
void fillDesign(Stamp& s, const MatchInputs& in, const BasisSet& basis, const Sizes& z) {
    const int w = in.width, nb = static_cast<int>(basis.list.size());
    const auto &T = *in.templ, &S = *in.science;
    const int cx = static_cast<int>(s.x), cy = static_cast<int>(s.y), side = z.side;
    s.target.resize(z.npx);
    s.weight.resize(z.npx);
    std::vector<double> rows(static_cast<std::size_t>(z.bigSide) * side);
    std::vector<double> raw0(z.npx);
    for (int b = 0; b < nb; ++b) {
        const Basis& e = basis.list[b];
        const auto& fu = basis.factor[e.gauss][e.p];
        const auto& fv = basis.factor[e.gauss][e.q];
        for (int yy = 0; yy < z.bigSide; ++yy) {
            const int y = cy - z.reach + yy;
            for (int xx = 0; xx < side; ++xx) {
                const int x = cx - z.hs + xx;
                double acc = 0;
                const float* row = &T[static_cast<std::size_t>(y) * w + x - z.half];
                for (int u = 0; u < z.kside; ++u) acc += fu[u] * row[u];
                rows[static_cast<std::size_t>(yy) * side + xx] = acc;
            }
        }
        for (int yy = 0; yy < side; ++yy)
            for (int xx = 0; xx < side; ++xx) {
                double acc = 0;
                for (int v = 0; v < z.kside; ++v) acc += fv[v] * rows[static_cast<std::size_t>(yy + v) * side + xx];
                const int k = yy * side + xx;
                if (b == 0) raw0[k] = acc;
                s.design(k, b) = e.scale * (acc - e.sub * raw0[k]);
            }
    }
    for (int yy = 0; yy < side; ++yy)
        for (int xx = 0; xx < side; ++xx) {
            const std::size_t i = static_cast<std::size_t>(cy - z.hs + yy) * w + cx - z.hs + xx;
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

// The solution of one fit: for each component (bases, then the background)
// its coefficients of 1, xn and yn. The kernel's flux is one number for the
// whole image (a change of transparency); its shape may vary linearly when
// there are stars enough (`spatial` 3), the background (two skies' gradients) always.
struct Solution {
    std::vector<int> offset;
    Eigen::VectorXd x;
    double at(int c, int sa) const { return sa < offset[c + 1] - offset[c] ? x(offset[c] + sa) : 0.0; }
};

std::vector<int> componentOffsets(int nb, int spatial) {
    const int nc = nb + 1;
    std::vector<int> offset(static_cast<std::size_t>(nc) + 1, 0);
    for (int c = 0; c < nc; ++c) offset[c + 1] = offset[c] + (c == 0 ? 1 : c == nb ? 3 : spatial);
    return offset;
}

// The normal equations summed over the used stamps, by columns of M on every
// core (each thread adds into columns of its own).
void assembleNormal(const std::vector<Stamp>& stamps, const std::vector<int>& offset, Eigen::MatrixXd& M,
                    Eigen::VectorXd& r) {
    const int nc = static_cast<int>(offset.size()) - 1, n = offset[nc];
    M = Eigen::MatrixXd::Zero(n, n);
    r = Eigen::VectorXd::Zero(n);
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
                    for (int sa = 0; sa < offset[a + 1] - offset[a]; ++sa) column[offset[a] + sa] += qab * s.spatial[sa];
                }
            }
        }
    for (const auto& s : stamps) {
        if (!s.used) continue;
        for (int a = 0; a < nc; ++a)
            for (int sa = 0; sa < offset[a + 1] - offset[a]; ++sa) r(offset[a] + sa) += s.right(a) * s.spatial[sa];
    }
}

// Equilibrated first (the columns differ by many orders of magnitude); then
// bases that the data cannot tell apart get no weight instead of a wild one.
Eigen::VectorXd solveEquilibrated(const Eigen::MatrixXd& M, const Eigen::VectorXd& r) {
    const int n = static_cast<int>(r.size());
    Eigen::VectorXd d = M.diagonal().cwiseMax(1e-300).cwiseSqrt().cwiseInverse();
    const Eigen::MatrixXd Me = d.asDiagonal() * M * d.asDiagonal();
    Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> eig(Me);
    const auto& ev = eig.eigenvalues();
    const double cut = ev.maxCoeff() * 1e-10;
    Eigen::VectorXd proj = eig.eigenvectors().transpose() * (d.asDiagonal() * r);
    for (int i = 0; i < n; ++i) proj(i) = ev(i) > cut ? proj(i) / ev(i) : 0;
    return d.asDiagonal() * (eig.eigenvectors() * proj);
}

Solution fitOnce(const std::vector<Stamp>& stamps, int nb, int spatial) {
    Solution sol;
    sol.offset = componentOffsets(nb, spatial);
    Eigen::MatrixXd M;
    Eigen::VectorXd r;
    assembleNormal(stamps, sol.offset, M, r);
    sol.x = solveEquilibrated(M, r);
    return sol;
}

// Each stamp's chi2 per pixel under the solution; the used stamps' values.
std::vector<double> measureStamps(std::vector<Stamp>& stamps, const Solution& sol, int nc, int npx) {
    std::vector<double> chis;
    for (auto& s : stamps) {
        Eigen::VectorXd a(nc);
        for (int b = 0; b < nc; ++b) {
            double v = 0;
            for (int sa = 0; sa < 3; ++sa) v += sol.at(b, sa) * s.spatial[sa];
            a(b) = v;
        }
        const Eigen::VectorXd res = s.target - s.design * a;
        s.chi2 = (res.array().square() * s.weight.array()).sum() / npx;
        if (s.used) chis.push_back(s.chi2);
    }
    return chis;
}

// Stamps the kernel does not explain (a neighbour, a variable, a cosmic ray)
// are left out; true when the set changed.
bool clipStamps(std::vector<Stamp>& stamps, const std::vector<double>& chis) {
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
    return changed;
}

void noteStamps(MatchingKernel& k, const std::vector<Stamp>& stamps) {
    k.stamps = 0;
    k.chi2PerPixel = 0;
    for (const auto& s : stamps)
        if (s.used) {
            ++k.stamps;
            k.chi2PerPixel += s.chi2;
        }
    if (k.stamps) k.chi2PerPixel /= k.stamps;
}

void setTerms(MatchingKernel& k, const Solution& sol, const BasisSet& basis, int spatial) {
    const int nb = static_cast<int>(basis.list.size());
    const std::size_t kn = static_cast<std::size_t>(2 * k.half + 1) * (2 * k.half + 1);
    k.terms.assign(static_cast<std::size_t>(spatial), std::vector<double>(kn, 0));
    for (int b = 0; b < nb; ++b)
        for (int sa = 0; sa < spatial; ++sa) {
            const double c = sol.at(b, sa);
            for (std::size_t i = 0; i < kn; ++i) k.terms[sa][i] += c * basis.kernels[b][i];
        }
    for (int sa = 0; sa < 3; ++sa) k.background[sa] = sol.at(nb, sa);
}

} // namespace

std::optional<MatchingKernel> FitMatchingKernel(const MatchInputs& in) {
    const Sizes z(in.scienceSigma);
    const double match = std::sqrt(std::max(0.0, in.scienceSigma * in.scienceSigma - in.templSigma * in.templSigma));
    const BasisSet basis = makeBasis(z.half, std::max(match, 0.5 * in.scienceSigma));
    const int nb = static_cast<int>(basis.list.size()), nc = nb + 1;

    std::vector<Stamp> stamps = chooseStamps(in, z);
    if (stamps.size() < 8) return std::nullopt;
    // The design matrices, megabytes together, in one block faulted in ahead:
    // each of its own, they were the run's largest count of page faults.
    const std::size_t each = static_cast<std::size_t>(z.npx) * nc;
    std::vector<double> designs;
    platform::ResizeFast(designs, stamps.size() * each);
    for (std::size_t j = 0; j < stamps.size(); ++j)
        new (&stamps[j].design) Eigen::Map<Eigen::MatrixXd>(designs.data() + j * each, z.npx, nc);
#pragma omp parallel for schedule(dynamic)
    for (std::size_t j = 0; j < stamps.size(); ++j) fillDesign(stamps[j], in, basis, z);

    MatchingKernel result;
    result.half = z.half;
    result.width = in.width;
    result.height = in.height;
    Solution sol;
    int spatial = 1;
    for (int iteration = 0; iteration < 4; ++iteration) {
        int used = 0;
        for (const auto& s : stamps) used += s.used;
        if (used < 8) return std::nullopt;
        spatial = used >= 30 ? 3 : 1;
        sol = fitOnce(stamps, nb, spatial);
        const bool changed = clipStamps(stamps, measureStamps(stamps, sol, nc, z.npx));
        noteStamps(result, stamps);
        if (!changed) break;
    }
    setTerms(result, sol, basis, spatial);
    return result;
}

} // namespace engine
