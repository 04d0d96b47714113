#pragma once
// One detection per file state and settings: the search of a difference just
// written and the catalog check's two lists of it ask for the same stars of
// the same file, and each detection of a large image takes a second or more.
#include <optional>
#include <string>
#include <vector>

#include "astrometry/detection.h"

namespace astrometry {

// What identifies the contents of a file on disk without reading it: a product
// swapped into place has another inode, one rewritten in place another size or
// time.
struct FileState {
    std::string path;
    unsigned long long device = 0, inode = 0, size = 0;
    long long modifiedNs = 0;
    bool operator==(const FileState&) const = default;
};

// nullopt where the file cannot be looked at (it is then not cached).
std::optional<FileState> StateOfFile(const std::string& path);

// What an earlier search of the file in `state` with these settings found.
std::optional<DetectionResult> CachedDetection(const std::optional<FileState>& state,
                                               const DetectionSettings& settings);

// Keeps `found`, the search of the file as it was in `state`.
void RememberDetection(const std::optional<FileState>& state, const DetectionSettings& settings,
                       const DetectionResult& found);

} // namespace astrometry
