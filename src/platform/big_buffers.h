#pragma once
// Image-sized vectors made with their memory faulted in on every core.
//
// A new 64 MB vector costs a page fault per 4 KB on first touch, all of them
// on the thread that zeroes or copies it: tens of milliseconds per image, the
// largest cost of many steps. The kernel can fault a range in ahead of time
// (MADV_POPULATE_WRITE); split over the cores, and in 2 MB pages where the
// kernel has them, that takes a fraction of it.
#include <cstddef>
#include <vector>

namespace platform {

// Faults in the pages of [begin, begin + bytes) on every core, asking for
// huge pages. Contents are unchanged; without kernel support it does nothing.
void Prefault(void* begin, std::size_t bytes);

// v.reserve(n) with the new memory faulted in on every core first.
template <typename T>
void ReserveFast(std::vector<T>& v, std::size_t n) {
    if (n <= v.capacity()) return;
    std::vector<T> grown;
    grown.reserve(n);
    Prefault(grown.data(), n * sizeof(T));
    grown.assign(v.begin(), v.end());
    v.swap(grown);
}

// v.resize(n) made the same way.
template <typename T>
void ResizeFast(std::vector<T>& v, std::size_t n, const T& value = T()) {
    ReserveFast(v, n);
    v.resize(n, value);
}

// A copy of v made the same way.
template <typename T>
std::vector<T> CopyFast(const std::vector<T>& v) {
    std::vector<T> copy;
    ReserveFast(copy, v.size());
    copy.assign(v.begin(), v.end());
    return copy;
}

} // namespace platform
