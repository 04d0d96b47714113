#pragma once
// A small, portable random generator (xoshiro256**) whose streams are derived
// from a seed and a purpose, so that every part of a simulation is
// reproducible on its own and rows can be drawn in parallel.
#include <cmath>
#include <cstdint>

namespace skysim {

inline std::uint64_t splitmix64(std::uint64_t& x) {
    std::uint64_t z = (x += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

class Random {
public:
    explicit Random(std::uint64_t seed, std::uint64_t stream = 0) {
        std::uint64_t x = seed * 0x100000001B3ull + stream * 0x9E3779B97F4A7C15ull + 12345;
        for (auto& s : s_) s = splitmix64(x);
    }
    std::uint64_t next() {
        const std::uint64_t result = rotl(s_[1] * 5, 7) * 9;
        const std::uint64_t t = s_[1] << 17;
        s_[2] ^= s_[0];
        s_[3] ^= s_[1];
        s_[1] ^= s_[2];
        s_[0] ^= s_[3];
        s_[2] ^= t;
        s_[3] = rotl(s_[3], 45);
        return result;
    }
    // [0, 1)
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    double normal() {
        if (hasSpare_) {
            hasSpare_ = false;
            return spare_;
        }
        double u, v, s;
        do {
            u = 2 * uniform() - 1;
            v = 2 * uniform() - 1;
            s = u * u + v * v;
        } while (s >= 1 || s == 0);
        const double m = std::sqrt(-2 * std::log(s) / s);
        spare_ = v * m;
        hasSpare_ = true;
        return u * m;
    }
    double normal(double mean, double sigma) { return mean + sigma * normal(); }
    // Poisson counts; a normal approximation above 30, where it is exact enough.
    double poisson(double mean) {
        if (mean <= 0) return 0;
        if (mean > 30) {
            const double v = std::round(mean + std::sqrt(mean) * normal());
            return v < 0 ? 0 : v;
        }
        const double l = std::exp(-mean);
        double k = 0, p = 1;
        do {
            ++k;
            p *= uniform();
        } while (p > l);
        return k - 1;
    }
    int below(int n) { return static_cast<int>(uniform() * n); }

private:
    static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    std::uint64_t s_[4];
    bool hasSpare_ = false;
    double spare_ = 0;
};

} // namespace skysim
