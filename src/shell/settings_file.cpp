#include "shell/settings_file.h"

#include <QFileInfo>

#include <cmath>
#include <fstream>

#include "platform/app_folder.h"
#include "platform/dialogs.h"
#include "platform/profile_file.h"
#include "scanner/frm_scanner.h"
#include "shell/frm_main.h"
#include "shell/working_settings.h"

namespace shell {

QString ReadSetting(const std::string& file, const char* section, const char* key) {
    return QString::fromStdString(platform::ReadProfileString(file, section, key));
}

bool WriteSetting(const std::string& file, const char* section, const char* key,
                  const QString& value) {
    return platform::WriteProfileString(file, section, key, value.toStdString());
}

QString ChooseFolder(QWidget* owner) {
    return platform::dialogs().chooseFolder(owner, "Please choose a folder");
}

std::string FrmMain::ConfigFile() { return platform::ApplicationFolder() + "/VospenConfig.ini"; }

void FrmMain::FillCombos() {
    cmbCat->clear();
    cmbCat->addItems({"GSC ACT", "USNO A2", "UCAC 2"});
    cmbCat->setCurrentIndex(1);
    for (double m = 10; m <= 20; m += 0.5) cmbMaxMag->addItem(NumberText(m));
    for (double s = 2; s <= 15; s += 0.5) {
        cmbCatStars->addItem(NumberText(s));
        cmbImPRe->addItem(NumberText(s));
        cmbImSub->addItem(NumberText(s));
    }
    for (double e = 0; e <= 10; e += 0.5) cmbMatchErr->addItem(NumberText(e));
}

void FrmMain::WriteDefaults() {
    const std::string file = ConfigFile();
    { std::ofstream empty(file, std::ios::trunc); }
    for (const auto& d : kSettingDefaults) WriteSetting(file, d.section, d.key, d.text);
}

namespace {
const SettingDefault& defaultOf(const char* key) {
    for (const auto& d : kSettingDefaults)
        if (std::string(d.key) == key) return d;
    return kSettingDefaults[0];
}

// Reads one number; an unreadable value takes the default and is remembered.
double readNumber(const std::string& file, const char* section, const char* key, bool& broken) {
    double v = 0;
    if (ParseNumber(ReadSetting(file, section, key), v)) return v;
    broken = true;
    // Defaults are written with "."; parse them independently of the locale.
    return QString(defaultOf(key).text).toDouble();
}

int readSwitch(const std::string& file, const char* key, bool& broken) {
    int v = 0;
    if (ParseWholeNumber(ReadSetting(file, "Display", key), v) && (v == 0 || v == 1)) return v;
    broken = true;
    return QString(defaultOf(key).text).toInt();
}

QString readText(const std::string& file, const char* section, const char* key, bool& broken) {
    QString v = ReadSetting(file, section, key);
    if (!v.isEmpty()) return v;
    broken = true;
    return defaultOf(key).text;
}
} // namespace

void FrmMain::GetSettings() {
    const std::string file = ConfigFile();
    if (!QFileInfo::exists(QString::fromStdString(file))) WriteDefaults();

    // Every readable value is applied; an unreadable one takes its default,
    // and the file is then rewritten from the controls.
    bool broken = false;
    catalogPath = readText(file, "PinPointBasic", "Path", broken).toStdString();

    int position = 1;
    if (!ParseWholeNumber(ReadSetting(file, "PinPointBasic", "Cat"), position) || position < -1 ||
        position >= cmbCat->count()) {
        position = 1;
        broken = true;
    }
    cmbCat->setCurrentIndex(position);
    catalogCode = CatalogCodeForPosition(position, catalogCode);

    catalogMaxMag = readNumber(file, "Solving", "CatMaxMag", broken);
    minRawFlux = readNumber(file, "Solving", "RawFlux", broken);
    const double matchSeconds = readNumber(file, "Solving", "MaxMatchErr", broken);
    matchTolerance = matchSeconds / 3600.0;
    snrCatalog = readNumber(file, "Solving", "SNRC", broken);
    snrImages = readNumber(file, "Solving", "SNRI", broken);
    snrSubtracted = readNumber(file, "Solving", "SNRP", broken);

    frmScanner().lblBaseFolder->setText(readText(file, "SurveyScanner", "BaseFolder", broken));
    baseFolderSetting = frmScanner().lblBaseFolder->text().toStdString();

    lblPiPoPath->setCaption(QString::fromStdString(catalogPath));
    cmbMaxMag->setCurrentText(NumberText(catalogMaxMag));
    txtRawFlux->setText(NumberText(minRawFlux));
    cmbMatchErr->setCurrentText(NumberText(std::round(matchSeconds)));
    cmbCatStars->setCurrentText(NumberText(snrCatalog));
    cmbImPRe->setCurrentText(NumberText(snrImages));
    cmbImSub->setCurrentText(NumberText(snrSubtracted));

    chkInvert->setChecked(readSwitch(file, "Inverted", broken) == 1);
    chkZoom->setChecked(readSwitch(file, "CZoom", broken) == 1);

    // optional, not one of the eleven: read, never written
    const QString server = ReadSetting(file, "DSS", "Server");
    dssServer = server.isEmpty() ? "https://archive.stsci.edu" : server.toStdString();

    if (broken) SaveSettings();
}

void FrmMain::SaveSettings() {
    const std::string file = ConfigFile();
    if (!QFileInfo::exists(QString::fromStdString(file))) WriteDefaults();
    const QString values[] = {
        lblPiPoPath->caption(),
        QString::number(cmbCat->currentIndex()),
        cmbMaxMag->currentText(),
        txtRawFlux->text(),
        cmbMatchErr->currentText(),
        cmbCatStars->currentText(),
        cmbImPRe->currentText(),
        cmbImSub->currentText(),
        frmScanner().lblBaseFolder->text(),
        QString::number(chkInvert->isChecked() ? 1 : 0),
        QString::number(chkZoom->isChecked() ? 1 : 0),
    };
    bool ok = true;
    for (std::size_t i = 0; i < kSettingDefaults.size() && ok; ++i)
        ok = WriteSetting(file, kSettingDefaults[i].section, kSettingDefaults[i].key, values[i]);
    if (!ok) {
        platform::dialogs().messageBox(
            "Something is wrong with the\r\nConfiguration-File. Trying to repair...",
            "Configfile is broken...", platform::msg::Information);
        WriteDefaults();
    }
}

void FrmMain::cmdPiPoPath_Click() { lblPiPoPath->setCaption(ChooseFolder(this)); }

void FrmMain::lblPiPoPath_Change() { catalogPath = lblPiPoPath->caption().toStdString(); }

void FrmMain::txtRawFlux_Change() {
    double v = 0;
    if (!ParseNumber(txtRawFlux->text(), v)) txtRawFlux->setText("1000");
}

} // namespace shell
