#include "platform/big_buffers.h"

#include <sys/mman.h>
#include <unistd.h>

#include <omp.h>

#include <cstdint>

namespace platform {

void Prefault(void* begin, std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
    // below a huge page there is nothing to gain
    constexpr std::size_t kWorthIt = std::size_t(2) << 20;
    if (bytes < kWorthIt) return;
    const std::uintptr_t page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const std::uintptr_t a = (reinterpret_cast<std::uintptr_t>(begin) + page - 1) / page * page;
    const std::uintptr_t b = (reinterpret_cast<std::uintptr_t>(begin) + bytes) / page * page;
    if (b <= a) return;
    const std::uintptr_t pages = (b - a) / page;
#ifdef MADV_HUGEPAGE
    ::madvise(reinterpret_cast<void*>(a), b - a, MADV_HUGEPAGE);
#endif
#pragma omp parallel
    {
        // contiguous pieces, one per thread; pages already there cost nothing
        const int n = omp_get_num_threads(), t = omp_get_thread_num();
        const std::uintptr_t p0 = a + pages * t / n * page, p1 = a + pages * (t + 1) / n * page;
        if (p1 > p0) ::madvise(reinterpret_cast<void*>(p0), p1 - p0, MADV_POPULATE_WRITE);
    }
#else
    (void)begin;
    (void)bytes;
#endif
}

} // namespace platform
