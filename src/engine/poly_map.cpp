#include "engine/poly_map.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>

namespace engine {
namespace {
int terms(int order) { return (order + 1) * (order + 2) / 2; }
void basis(int order, double u, double v, double* out) {
    // 1, u, v, u^2, uv, v^2, u^3, u^2 v, u v^2, v^3
    out[0] = 1;
    if (order < 1) return;
    out[1] = u;
    out[2] = v;
    if (order < 2) return;
    out[3] = u * u;
    out[4] = u * v;
    out[5] = v * v;
    if (order < 3) return;
    out[6] = out[3] * u;
    out[7] = out[3] * v;
    out[8] = u * out[5];
    out[9] = v * out[5];
}
} // namespace

PolyMap PolyMap::Identity() {
    PolyMap m;
    m.order_ = 1;
    m.ax_ = {0, 1, 0};
    m.ay_ = {0, 0, 1};
    return m;
}

bool PolyMap::fit(const std::vector<std::pair<double, double>>& t,
                  const std::vector<std::pair<double, double>>& s, int order, double cx, double cy,
                  double scale, const std::vector<double>& weights) {
    const int n = terms(order);
    if (static_cast<int>(t.size()) < n + 2) return false;
    order_ = order;
    cx_ = cx;
    cy_ = cy;
    s_ = scale > 0 ? scale : 1;
    Eigen::MatrixXd A(t.size(), n);
    Eigen::VectorXd bx(t.size()), by(t.size());
    double row[10];
    for (std::size_t i = 0; i < t.size(); ++i) {
        basis(order, (t[i].first - cx_) / s_, (t[i].second - cy_) / s_, row);
        const double r = weights.size() == t.size() ? std::sqrt(std::max(weights[i], 0.0)) : 1.0;
        for (int k = 0; k < n; ++k) A(static_cast<Eigen::Index>(i), k) = r * row[k];
        bx[static_cast<Eigen::Index>(i)] = r * s[i].first;
        by[static_cast<Eigen::Index>(i)] = r * s[i].second;
    }
    const auto qr = A.colPivHouseholderQr();
    const Eigen::VectorXd px = qr.solve(bx), py = qr.solve(by);
    ax_.assign(px.data(), px.data() + n);
    ay_.assign(py.data(), py.data() + n);
    double sum2 = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const auto p = (*this)(t[i].first, t[i].second);
        sum2 += std::pow(p.first - s[i].first, 2) + std::pow(p.second - s[i].second, 2);
    }
    rms_ = std::sqrt(sum2 / t.size());
    return true;
}

std::pair<double, double> PolyMap::operator()(double x, double y) const {
    double row[10];
    basis(order_, (x - cx_) / s_, (y - cy_) / s_, row);
    double u = 0, v = 0;
    for (std::size_t k = 0; k < ax_.size(); ++k) {
        u += ax_[k] * row[k];
        v += ay_[k] * row[k];
    }
    return {u, v};
}

} // namespace engine
