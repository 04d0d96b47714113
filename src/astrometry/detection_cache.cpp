#include "astrometry/detection_cache.h"

#include <sys/stat.h>

#include <deque>
#include <mutex>

namespace astrometry {
namespace {

struct Entry {
    FileState state;
    DetectionSettings settings;
    DetectionResult result;
};

bool sameSettings(const DetectionSettings& a, const DetectionSettings& b) {
    return a.sigma == b.sigma && a.innerAperture == b.innerAperture && a.outerAperture == b.outerAperture;
}

// A few entries: a run asks for a difference and a reshot, the window for the
// lists of the images it shows.
constexpr std::size_t kEntries = 4;

std::mutex& guard() {
    static std::mutex m;
    return m;
}

std::deque<Entry>& entries() {
    static std::deque<Entry> e;
    return e;
}

} // namespace

std::optional<FileState> StateOfFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    FileState s;
    s.path = path;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = static_cast<unsigned long long>(st.st_size);
    s.modifiedNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return s;
}

std::optional<DetectionResult> CachedDetection(const std::optional<FileState>& state,
                                               const DetectionSettings& settings) {
    if (!state) return std::nullopt;
    std::lock_guard lock(guard());
    for (const auto& e : entries())
        if (e.state == *state && sameSettings(e.settings, settings)) return e.result;
    return std::nullopt;
}

void RememberDetection(const std::optional<FileState>& state, const DetectionSettings& settings,
                       const DetectionResult& found) {
    if (!state) return;
    std::lock_guard lock(guard());
    auto& all = entries();
    all.push_front({*state, settings, found});
    if (all.size() > kEntries) all.pop_back();
}

} // namespace astrometry
