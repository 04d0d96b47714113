#pragma once
// INI files with the semantics of the Windows profile functions: sections in
// brackets, key=value lines, names compared without case, a write replaces the
// key's line in place or appends it to its section, every other line is kept.
#include <string>

namespace platform {

// Missing file, section or key: empty text.
std::string ReadProfileString(const std::string& file, const std::string& section,
                              const std::string& key);

// Creates the file when needed. Returns false when the file cannot be written;
// the old file is then left untouched (written to a temporary name, renamed).
bool WriteProfileString(const std::string& file, const std::string& section,
                        const std::string& key, const std::string& value);

} // namespace platform
