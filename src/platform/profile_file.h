#pragma once
// INI files with the semantics of the Windows profile functions: sections in
// brackets, key=value lines, names compared without case, a write replaces the
// key's line in place or appends it to its section, every other line is kept.
#include <optional>
#include <string>

namespace platform {

// Missing file, section or key: empty text. Only a regular file is read (a
// FIFO in its place would block the program in open()).
std::string ReadProfileString(const std::string& file, const std::string& section,
                              const std::string& key);

// The same, telling a missing key (nullopt) from one stored empty.
std::optional<std::string> ReadProfileValue(const std::string& file, const std::string& section,
                                            const std::string& key);

// Creates the file when needed. Returns false when the file cannot be written;
// the old file is then left untouched (written to a temporary name, renamed
// with its permissions). A file the user made read-only, or something other
// than a regular file in its place, is not replaced.
bool WriteProfileString(const std::string& file, const std::string& section,
                        const std::string& key, const std::string& value);

// The file is there but not ours to replace: made read-only by its user, or
// something other than a regular file.
bool ProfileFileProtected(const std::string& file);

} // namespace platform
