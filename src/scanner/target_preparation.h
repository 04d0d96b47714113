#pragma once
#include <string>

namespace scanner {

// The engine half of a target's preparation: the reference aligned to the new
// image and subtracted, the six products written into `currentFolder`. No
// plate-solve check, no log, no extraction. Throws platform::Error.
void PrepareTargetProducts(const std::string& referenceFile, const std::string& newImageFile,
                           const std::string& currentFolder);

} // namespace scanner
