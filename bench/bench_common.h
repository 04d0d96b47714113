#pragma once
// Small helpers shared by the bench programs: timing and the figure lines.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace bench {

// Median wall time of `runs` calls, in milliseconds.
inline double medianMs(int runs, const std::function<void()>& fn) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const auto a = std::chrono::steady_clock::now();
        fn();
        t.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - a).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
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
