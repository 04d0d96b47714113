#pragma once
// Every window test runs in its own program folder (VOSPEN_HOME) with
// scripted dialogs, so nothing touches the user's settings or asks a person.
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "platform/dialogs.h"
#include "shell/working_settings.h"

namespace testsupport {

struct WindowFixture {
    std::unique_ptr<QTemporaryDir> home;
    platform::ScriptedDialogs* dialogs = nullptr;

    void setUp() {
        home = std::make_unique<QTemporaryDir>();
        qputenv("VOSPEN_HOME", home->path().toUtf8());
        auto d = std::make_unique<platform::ScriptedDialogs>();
        dialogs = d.get();
        platform::setDialogs(std::move(d));
        shell::catalogPath.clear();
        shell::catalogCode.clear();
        shell::baseFolderSetting.clear();
    }
    std::string config() const { return home->filePath("VospenConfig.ini").toStdString(); }
    std::string readConfig() const {
        std::ifstream in(config(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void writeConfig(const std::string& text) const {
        std::ofstream(config(), std::ios::binary) << text;
    }
};

} // namespace testsupport
