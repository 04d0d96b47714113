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

void FrmMain::GetSettings() {
    const std::string file = ConfigFile();
    if (!QFileInfo::exists(QString::fromStdString(file))) WriteDefaults();

    // Every readable value is applied; an unreadable one takes its default,
    // and the file is then rewritten from the controls. Numbers in the user's locale.
    const auto number = [](const std::string& t, double& v) { return ParseNumber(QString::fromStdString(t), v); };
    const auto whole = [](const std::string& t, int& v) { return ParseWholeNumber(QString::fromStdString(t), v); };
    const auto read = settings::ReadSettings(file, number, whole, catalogCode);
    working = read.settings;

    cmbCat->setCurrentIndex(working.catalogPosition);
    frmScanner().lblBaseFolder->setText(QString::fromStdString(working.baseFolder));
    baseFolderSetting = frmScanner().lblBaseFolder->text().toStdString();
    lblPiPoPath->setCaption(QString::fromStdString(catalogPath));
    cmbMaxMag->setCurrentText(NumberText(catalogMaxMag));
    txtRawFlux->setText(NumberText(minRawFlux));
    cmbMatchErr->setCurrentText(NumberText(std::round(matchTolerance * 3600.0)));
    cmbCatStars->setCurrentText(NumberText(snrCatalog));
    cmbImPRe->setCurrentText(NumberText(snrImages));
    cmbImSub->setCurrentText(NumberText(snrSubtracted));
    chkInvert->setChecked(working.inverted);
    chkZoom->setChecked(working.zoom);

    if (read.broken) SaveSettings();
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
        // a settings file its user made read-only stays as it is
        if (!platform::ProfileFileProtected(file)) WriteDefaults();
    }
}

void FrmMain::cmdPiPoPath_Click() { lblPiPoPath->setCaption(ChooseFolder(this)); }

void FrmMain::lblPiPoPath_Change() { catalogPath = lblPiPoPath->caption().toStdString(); }

void FrmMain::txtRawFlux_Change() {
    double v = 0;
    if (!ParseNumber(txtRawFlux->text(), v)) txtRawFlux->setText("1000");
}

} // namespace shell
