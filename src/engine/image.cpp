#include "engine/image.h"

#include <filesystem>

namespace engine {

std::string Image::name() const { return std::filesystem::path(path).filename().string(); }

} // namespace engine
