#include "engine/sky_level_cache.h"

#include <filesystem>
#include <map>
#include <mutex>
#include <tuple>

namespace engine {
namespace {
struct Key {
    std::string path;
    std::uintmax_t size;
    std::filesystem::file_time_type time;
    bool operator<(const Key& o) const { return std::tie(path, size, time) < std::tie(o.path, o.size, o.time); }
};
std::optional<Key> keyOf(const std::string& path) {
    std::error_code ec;
    const auto canonical = std::filesystem::weakly_canonical(path, ec);
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) return std::nullopt;
    const auto time = std::filesystem::last_write_time(path, ec);
    if (ec) return std::nullopt;
    return Key{canonical.string(), size, time};
}
std::mutex mutex;
std::map<Key, double>& cache() {
    static std::map<Key, double> c;
    return c;
}
} // namespace

void RememberSkyLevel(const std::string& path, double level) {
    const auto k = keyOf(path);
    if (!k) return;
    std::lock_guard<std::mutex> lock(mutex);
    if (cache().size() > 256) cache().clear();
    cache()[*k] = level;
}

std::optional<double> RememberedSkyLevel(const std::string& path) {
    const auto k = keyOf(path);
    if (!k) return std::nullopt;
    std::lock_guard<std::mutex> lock(mutex);
    const auto it = cache().find(*k);
    if (it == cache().end()) return std::nullopt;
    return it->second;
}

} // namespace engine
