#pragma once
// A fresh folder below the system's temporary one for one test, removed with
// everything in it.
#include <unistd.h>

#include <filesystem>
#include <string>

namespace testsupport {

struct TempDir {
    std::filesystem::path path;
    explicit TempDir(const std::string& prefix = "vospen-test") {
        static int n = 0;
        path = std::filesystem::temp_directory_path() /
               (prefix + "-" + std::to_string(::getpid()) + "-" + std::to_string(n++));
        std::filesystem::create_directories(path);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
};

} // namespace testsupport
