#pragma once
// Finding catalog files without regard to the case of their names, as copies
// from ISO-9660 CDs carry upper-case names.
#include <filesystem>
#include <optional>
#include <string>

namespace astrometry {

// The entry of `folder` whose name equals `name` ignoring case.
std::optional<std::filesystem::path> FindNoCase(const std::filesystem::path& folder,
                                                const std::string& name);

// Checks that the catalog folder exists and can be listed; throws
// kCatalogError with the reason otherwise.
void RequireFolder(const std::string& folder, const char* catalogName);

// Checks that a catalog file found in the folder is a regular file that can
// be read (a FIFO in its place would block the program in open()); throws
// kCatalogError naming the file and the reason otherwise. Returns the path.
const std::filesystem::path& RequireReadable(const std::filesystem::path& file);

bool InRaRange(double ra, double raMin, double raMax);

} // namespace astrometry
