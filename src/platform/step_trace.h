#pragma once
// Time spent in the parts of a long operation, printed to standard error when
// VOSPEN_STEP_TIMES is set: the bench's way of seeing inside an engine call.
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
        std::fprintf(stderr, "  %s/%s: %.1f ms (peak %ld MB)\n", what_, part,
                     std::chrono::duration<double, std::milli>(now - last_).count(), u.ru_maxrss / 1024);
        last_ = now;
    }

private:
    const char* what_;
    bool on_;
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

} // namespace platform
