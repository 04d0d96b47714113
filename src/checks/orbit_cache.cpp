#include "checks/orbit_cache.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sys/stat.h>

namespace checks {
namespace {

constexpr char kMagic[8] = {'V', 'O', 'M', 'P', 'C', 'O', 'R', '1'};

struct Stamp {
    std::uint64_t size = 0;
    std::int64_t seconds = 0, nanoseconds = 0;
    bool operator==(const Stamp&) const = default;
};

bool stampOf(const std::string& path, Stamp& s) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return false;
    s = {static_cast<std::uint64_t>(st.st_size), st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
    return true;
}

template <typename T>
void put(std::ofstream& out, const T& v) {
    out.write(reinterpret_cast<const char*>(&v), sizeof v);
}

template <typename T>
bool get(std::ifstream& in, T& v) {
    return static_cast<bool>(in.read(reinterpret_cast<char*>(&v), sizeof v));
}

bool readCache(const std::string& cachePath, const std::string& orbitPath, const Stamp& stamp, OrbitFile& out) {
    std::ifstream in(cachePath, std::ios::binary);
    char magic[8];
    std::uint32_t pathLength = 0;
    if (!in || !in.read(magic, 8) || std::memcmp(magic, kMagic, 8) || !get(in, pathLength) || pathLength > 65536)
        return false;
    std::string path(pathLength, '\0');
    Stamp was;
    std::uint64_t count = 0, damaged = 0, namesSize = 0;
    if (!in.read(path.data(), pathLength) || path != orbitPath || !get(in, was) || !(was == stamp) || !get(in, count) ||
        !get(in, damaged) || !get(in, namesSize))
        return false;
    // a damaged copy must not ask for more memory than it holds
    const auto start = static_cast<std::uint64_t>(in.tellg());
    Stamp cacheStamp;
    if (!stampOf(cachePath, cacheStamp) || count > cacheStamp.size || namesSize > cacheStamp.size ||
        start + count * (sizeof(Orbit) + sizeof(std::uint32_t)) + namesSize != cacheStamp.size)
        return false;
    out.orbits.resize(count);
    std::vector<std::uint32_t> ends(count);
    std::string names(namesSize, '\0');
    if (!in.read(reinterpret_cast<char*>(out.orbits.data()), static_cast<std::streamsize>(count * sizeof(Orbit))) ||
        !in.read(reinterpret_cast<char*>(ends.data()), static_cast<std::streamsize>(count * sizeof(std::uint32_t))) ||
        !in.read(names.data(), static_cast<std::streamsize>(namesSize)))
        return false;
    out.names.resize(count);
    std::uint32_t from = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (ends[i] < from || ends[i] > namesSize) return false;
        out.names[i].assign(names, from, ends[i] - from);
        from = ends[i];
    }
    out.damagedLines = damaged;
    return true;
}

void writeCache(const std::string& cachePath, const std::string& orbitPath, const Stamp& stamp, const OrbitFile& f) {
    const std::string temporary = cachePath + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return;
        out.write(kMagic, 8);
        put(out, static_cast<std::uint32_t>(orbitPath.size()));
        out.write(orbitPath.data(), static_cast<std::streamsize>(orbitPath.size()));
        std::string names;
        std::vector<std::uint32_t> ends;
        for (const auto& n : f.names) {
            names += n;
            ends.push_back(static_cast<std::uint32_t>(names.size()));
        }
        put(out, stamp);
        put(out, static_cast<std::uint64_t>(f.orbits.size()));
        put(out, static_cast<std::uint64_t>(f.damagedLines));
        put(out, static_cast<std::uint64_t>(names.size()));
        out.write(reinterpret_cast<const char*>(f.orbits.data()), static_cast<std::streamsize>(f.orbits.size() * sizeof(Orbit)));
        out.write(reinterpret_cast<const char*>(ends.data()), static_cast<std::streamsize>(ends.size() * sizeof(std::uint32_t)));
        out.write(names.data(), static_cast<std::streamsize>(names.size()));
        if (!out.flush()) {
            out.close();
            std::remove(temporary.c_str());
            return;
        }
    }
    // a half-written copy never takes the place of a whole one
    if (std::rename(temporary.c_str(), cachePath.c_str()) != 0) std::remove(temporary.c_str());
}

} // namespace

OrbitFile LoadOrbits(const std::string& orbitPath, const std::string& cachePath) {
    Stamp stamp;
    OrbitFile f;
    if (!orbitPath.empty() && !cachePath.empty() && stampOf(orbitPath, stamp) &&
        readCache(cachePath, orbitPath, stamp, f))
        return f;
    f = ReadOrbitFile(orbitPath);
    if (!cachePath.empty() && stampOf(orbitPath, stamp)) writeCache(cachePath, orbitPath, stamp, f);
    return f;
}

} // namespace checks
