#pragma once
// Fuzz inputs become files: every reader under test takes a path, as the
// program hands it one. A private folder per process, removed at exit.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>

namespace fuzz {

inline const std::filesystem::path& Folder() {
    static const struct Dir {
        std::filesystem::path path;
        Dir() {
            const char* base = std::getenv("TMPDIR");
            path = std::filesystem::path(base && *base ? base : "/tmp") /
                   ("vospen-fuzz-" + std::to_string(::getpid()));
            std::filesystem::create_directories(path);
        }
        ~Dir() {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    } dir;
    return dir.path;
}

inline void WriteFile(const std::filesystem::path& path, const void* data, std::size_t size) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

inline void WriteFile(const std::filesystem::path& path, std::string_view text) {
    WriteFile(path, text.data(), text.size());
}

// Splits an input at its first "\n--\n" (or takes it whole).
inline std::pair<std::string_view, std::string_view> Split(const std::uint8_t* data, std::size_t size) {
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const auto at = all.find("\n--\n");
    if (at == std::string_view::npos) return {all, {}};
    return {all.substr(0, at), all.substr(at + 4)};
}

} // namespace fuzz
