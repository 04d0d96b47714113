#include "platform/app_folder.h"

#include <cstdlib>
#include <filesystem>

namespace platform {

std::string ApplicationFolder() {
    if (const char* home = std::getenv("VOSPEN_HOME"); home && *home) {
        std::string h(home);
        while (h.size() > 1 && h.back() == '/') h.pop_back();
        return h;
    }
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return std::filesystem::current_path().string();
    return exe.parent_path().string();
}

} // namespace platform
