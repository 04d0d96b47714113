#pragma once
// The survey scanner window: base folder, status of the target shown, the
// blink toggle, "Examine with Vospen" and "NEXT >>". It floats above others.
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QWidget>

namespace shell {
class FrmMain;
}

namespace scanner {

class FrmScanner : public QWidget {
    Q_OBJECT
public:
    explicit FrmScanner(shell::FrmMain* main);

    QLabel* Label1 = nullptr;
    QLabel* lblBaseFolder = nullptr;
    QPushButton* cmdBaseFolder = nullptr;
    QGroupBox* fraStatus = nullptr;
    QLabel* Label2_0 = nullptr; // "Object:"
    QLabel* lblObj = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* lblDateRef = nullptr;
    QLabel* Label2_1 = nullptr; // "Date of Reshot:"
    QLabel* lblDateRes = nullptr;
    QPushButton* cmdStartScan = nullptr;
    QPushButton* cmdToggle = nullptr;
    QPushButton* cmdExFind = nullptr;
    QPushButton* cmdNext = nullptr;
    QStatusBar* StatusBar = nullptr;

    void Form_Load();
    void cmdBaseFolder_Click();
    void cmdStartScan_Click();
    void EnableTargetControls();
    void cmdToggle_Click();
    void cmdNext_Click();
    void cmdExFind_Click();
    void BlinkScannerImages(const std::string& folder);
    bool scanning() const { return scanning_; }

    // The toggle's two looks: light red "Stop Blinking", or idle "Blink".
    void setBlinkLook(bool blinking);
    bool isBlinking() const { return blinking_; }
    void setStatus(const QString& text);
    QString status() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void showBlinkPicture(const std::string& file);
    shell::FrmMain* main_;
    bool scanning_ = false;
    QLabel* statusText_ = nullptr;
    bool blinking_ = false;
};

} // namespace scanner
