#pragma once
// The working values of the settings: loaded once per start from the settings
// file, read by the star extraction and the catalog check.
#include <QString>

#include <string>

#include "settings/vospen_settings.h"

namespace shell {

inline settings::Settings working;
// the record's fields by the names the window code uses
inline astrometry::CatalogSettings& catalog = working.catalog;
inline std::string& catalogPath = working.catalog.folder;
inline std::string& catalogCode = working.catalog.code;
inline double& catalogMaxMag = working.catalog.maxMag;
inline double& minRawFlux = working.minRawFlux;
inline double& matchTolerance = working.matchToleranceDeg; // degrees
inline double& snrCatalog = working.snrCatalog;
inline double& snrImages = working.snrImages;
inline double& snrSubtracted = working.snrSubtracted;
inline std::string& baseFolderSetting = working.baseFolder;
// The sky-survey server, from the optional key Server in section DSS.
inline std::string& dssServer = working.dssServer;

// Numbers as text in the user's locale: whole numbers without decimals, others
// in their shortest exact form, no group separators.
QString NumberText(double value);
bool ParseNumber(const QString& text, double& value);
// A whole number that fits 16 bits.
bool ParseWholeNumber(const QString& text, int& value);

} // namespace shell
