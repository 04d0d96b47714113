#pragma once
// Two jobs at once, each failure kept.
#include <exception>
#include <future>
#include <utility>

namespace platform {

// `first` on a thread of its own while `second` runs here; both always run to
// their end, and `first`'s failure is the one reported when both fail.
template <typename First, typename Second>
void SideBySide(First&& first, Second&& second) {
    auto job = std::async(std::launch::async, std::forward<First>(first));
    std::exception_ptr failed;
    try {
        second();
    } catch (...) {
        failed = std::current_exception();
    }
    job.get();
    if (failed) std::rethrow_exception(failed);
}

} // namespace platform
