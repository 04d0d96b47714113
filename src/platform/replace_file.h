#pragma once
// A finished file put in the place of an older one.
#include <string>
#include <system_error>

namespace platform {

// `temp` becomes `path` atomically: a run killed at any point leaves the old
// file or the new one, never neither. On failure `ec` says why and `temp`
// is left as it was.
void ReplaceFile(const std::string& temp, const std::string& path, std::error_code& ec);

} // namespace platform
