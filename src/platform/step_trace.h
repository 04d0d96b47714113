#pragma once
// Time spent in the parts of a long operation, printed to standard error when
// VOSPEN_STEP_TIMES is set: the bench's way of seeing inside an engine call.
#include <malloc.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace platform {

class StepTrace {
public:
    explicit StepTrace(const char* what) : what_(what), on_(std::getenv("VOSPEN_STEP_TIMES") != nullptr) {}
    void mark(const char* part) {
        if (!on_) return;
        const auto now = std::chrono::steady_clock::now();
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        // in use: what the heap holds now; the peak counts what it once held.
        // The CPU is the whole process's, work running meanwhile included.
        const struct mallinfo2 m = mallinfo2();
        const double cpu = cpuMs(u);
        std::fprintf(stderr, "  %s/%s: %.1f ms (cpu %.0f ms, peak %ld MB, in use %zu MB)\n", what_, part,
                     std::chrono::duration<double, std::milli>(now - last_).count(), cpu - lastCpu_,
                     u.ru_maxrss / 1024, (m.uordblks + m.hblkhd) >> 20);
        last_ = now;
        lastCpu_ = cpu;
    }

private:
    static double cpuMs(const rusage& u) {
        return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
    }
    static double cpuNow() {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        return cpuMs(u);
    }

    const char* what_;
    bool on_;
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
    double lastCpu_ = on_ ? cpuNow() : 0;
};

} // namespace platform
