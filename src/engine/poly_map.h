#pragma once
// A smooth map between the pixel grids of two images: a polynomial in the
// target's pixel coordinates giving the source's (order 1 to 3).
#include <utility>
#include <vector>

namespace engine {

class PolyMap {
public:
    PolyMap() = default;
    // Least squares from pairs (target x, y) -> (source x, y), each pair with
    // its weight (none: equal); false when too few.
    bool fit(const std::vector<std::pair<double, double>>& target,
             const std::vector<std::pair<double, double>>& source, int order, double cx, double cy,
             double scale, const std::vector<double>& weights = {});
    std::pair<double, double> operator()(double x, double y) const;
    int order() const { return order_; }
    static PolyMap Identity();
    // Residual RMS over the pairs used in the last fit, unweighted.
    double rms() const { return rms_; }

private:
    int order_ = 1;
    double cx_ = 0, cy_ = 0, s_ = 1; // normalisation of the target coordinates
    std::vector<double> ax_, ay_;
    double rms_ = 0;
};

} // namespace engine
