#pragma once
// The settings file VospenConfig.ini: its eleven keys with their defaults, and
// the setting access routines shared with the scanner window.
#include <QString>

#include <array>
#include <string>

#include "settings/vospen_settings.h"

class QWidget;

namespace shell {

using settings::kSettingDefaults;

// The whole stored value (no length limit); "" for a missing key.
QString ReadSetting(const std::string& file, const char* section, const char* key);
// false when the file could not be written.
bool WriteSetting(const std::string& file, const char* section, const char* key,
                  const QString& value);

// The folder browser; "" when the user cancels.
QString ChooseFolder(QWidget* owner);

} // namespace shell
