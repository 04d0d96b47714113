#pragma once
// The settings file VospenConfig.ini: its eleven keys with their defaults, and
// the setting access routines shared with the scanner window.
#include <QString>

#include <array>
#include <string>

class QWidget;

namespace shell {

struct SettingDefault {
    const char* section;
    const char* key;
    const char* text;
};

// In the order WriteDefaults writes them.
inline constexpr std::array<SettingDefault, 11> kSettingDefaults{{
    {"PinPointBasic", "Path", "C:\\USNO A2.0"},
    {"PinPointBasic", "Cat", "1"},
    {"Solving", "CatMaxMag", "18"},
    {"Solving", "RawFlux", "1000"},
    {"Solving", "MaxMatchErr", "5"},
    {"Solving", "SNRC", "2.5"},
    {"Solving", "SNRI", "2.5"},
    {"Solving", "SNRP", "5"},
    {"SurveyScanner", "BaseFolder", "C:\\Astronomy\\SNe"},
    {"Display", "Inverted", "0"},
    {"Display", "CZoom", "1"},
}};

// The whole stored value (no length limit); "" for a missing key.
QString ReadSetting(const std::string& file, const char* section, const char* key);
// false when the file could not be written.
bool WriteSetting(const std::string& file, const char* section, const char* key,
                  const QString& value);

// The folder browser; "" when the user cancels.
QString ChooseFolder(QWidget* owner);

} // namespace shell
