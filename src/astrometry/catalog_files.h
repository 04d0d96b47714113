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

// Checks that the catalog folder exists; throws kCatalogError otherwise.
void RequireFolder(const std::string& folder, const char* catalogName);

bool InRaRange(double ra, double raMin, double raMax);

} // namespace astrometry
