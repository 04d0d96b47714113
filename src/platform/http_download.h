#pragma once
// A synchronous download with libcurl: redirects followed, https, a time limit
// and a size limit. The body goes to a file.
#include <atomic>
#include <cstdint>
#include <string>

namespace platform {

struct DownloadLimits {
    long seconds = 60;
    std::uint64_t maxBytes = 100ull * 1024 * 1024;
    // set from another thread, the transfer ends within a fraction of a second
    const std::atomic<bool>* cancel = nullptr;
};

struct DownloadResult {
    bool ok = false;      // transfer complete and HTTP status 200
    long status = 0;      // HTTP status of the last response
    std::uint64_t bytes = 0;
    std::string error;    // what went wrong, for a message
};

DownloadResult DownloadToFile(const std::string& url, const std::string& path, const DownloadLimits& limits = {});

} // namespace platform
