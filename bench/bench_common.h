#pragma once
// Small helpers shared by the bench programs: timing and the figure lines.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace bench {

// Milliseconds since `start`.
inline double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Wall time of one call, in milliseconds.
inline double msOf(const std::function<void()>& fn) {
    const auto start = std::chrono::steady_clock::now();
    fn();
    return msSince(start);
}

// The middle value (the upper of the two middle ones); NaN of none.
inline double median(std::vector<double> v) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Median wall time of `runs` calls, in milliseconds.
inline double medianMs(int runs, const std::function<void()>& fn) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) t.push_back(msOf(fn));
    return median(t);
}

inline void figure(const char* name, double value, const char* unit) {
    std::printf("%s: %.4g %s\n", name, value, unit);
    std::fflush(stdout);
}

inline double peakMemoryMb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024.0;
}

} // namespace bench
