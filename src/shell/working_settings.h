#pragma once
// The working values of the settings: loaded once per start from the settings
// file, read by the star extraction and the catalog check.
#include <QString>

#include <string>

namespace shell {

inline std::string catalogPath;
inline std::string catalogCode;
inline double catalogMaxMag = 0;
inline double minRawFlux = 0;
inline double matchTolerance = 0; // degrees
inline double snrCatalog = 0;
inline double snrImages = 0;
inline double snrSubtracted = 0;
inline std::string baseFolderSetting;
// The sky-survey server, from the optional key Server in section DSS.
inline std::string dssServer = "https://archive.stsci.edu";

// Catalog code for a list position of the catalog combo; other positions keep `current`.
std::string CatalogCodeForPosition(int position, const std::string& current);

// Numbers as text in the user's locale: whole numbers without decimals, others
// in their shortest exact form, no group separators.
QString NumberText(double value);
bool ParseNumber(const QString& text, double& value);
// A whole number that fits 16 bits.
bool ParseWholeNumber(const QString& text, int& value);

} // namespace shell
