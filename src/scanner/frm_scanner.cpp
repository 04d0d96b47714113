#include "scanner/frm_scanner.h"

#include <QCloseEvent>

#include "display/image_view.h"
#include "display/timed_waits.h"
#include "display/zoom.h"
#include "platform/dialogs.h"
#include "platform/error.h"
#include "stars/reset_star_lists.h"
#include "scanner/scan_state.h"
#include "scanner/survey_scan.h"
#include "shell/frm_main.h"
#include "shell/settings_file.h"
#include "shell/working_settings.h"

namespace scanner {

namespace {
template <typename W>
W* make(QWidget* parent, const char* name, int x, int y, int w, int h) {
    W* widget = new W(parent);
    widget->setObjectName(name);
    widget->setGeometry(x, y, w, h);
    return widget;
}
QLabel* label(QWidget* parent, const char* name, const QString& text, int x, int y, int w) {
    auto* l = make<QLabel>(parent, name, x, y, w, 16);
    l->setText(text);
    return l;
}
QPushButton* button(QWidget* parent, const char* name, const QString& text, int y) {
    auto* b = make<QPushButton>(parent, name, 8, y, 230, 26);
    b->setText(text);
    return b;
}
} // namespace

FrmScanner::FrmScanner(shell::FrmMain* main)
    : QWidget(nullptr, Qt::Window | Qt::WindowStaysOnTopHint), main_(main) {
    setObjectName("frmScanner");
    setWindowTitle("Survey Scanner");
    setFixedSize(246, 347);

    Label1 = label(this, "Label1", "Base Folder:", 8, 8, 230);
    lblBaseFolder = make<QLabel>(this, "lblBaseFolder", 8, 26, 196, 36);
    lblBaseFolder->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    lblBaseFolder->setWordWrap(true);
    cmdBaseFolder = make<QPushButton>(this, "cmdBaseFolder", 210, 26, 28, 24);
    cmdBaseFolder->setText("...");

    fraStatus = make<QGroupBox>(this, "fraStatus", 8, 68, 230, 122);
    fraStatus->setTitle("Status Information");
    Label2_0 = label(fraStatus, "Label2_0", "Object:", 8, 22, 60);
    lblObj = label(fraStatus, "lblObj", "", 70, 22, 150);
    Label4 = label(fraStatus, "Label4", "Date of Reference:", 8, 44, 214);
    lblDateRef = label(fraStatus, "lblDateRef", "", 8, 60, 214);
    Label2_1 = label(fraStatus, "Label2_1", "Date of Reshot:", 8, 80, 214);
    lblDateRes = label(fraStatus, "lblDateRes", "", 8, 96, 214);

    cmdStartScan = button(this, "cmdStartScan", "Start Scanner", 198);
    cmdToggle = button(this, "cmdToggle", "Blink", 228);
    cmdExFind = button(this, "cmdExFind", "Examine with Vospen", 258);
    cmdNext = button(this, "cmdNext", "NEXT >>", 288);

    StatusBar = make<QStatusBar>(this, "StatusBar", 0, 323, 246, 24);
    StatusBar->setSizeGripEnabled(false);
    statusText_ = new QLabel(StatusBar);
    StatusBar->addWidget(statusText_, 1);
    setStatus("Scanner Idle");

    connect(cmdBaseFolder, &QPushButton::clicked, this, &FrmScanner::cmdBaseFolder_Click);
    connect(cmdStartScan, &QPushButton::clicked, this, &FrmScanner::cmdStartScan_Click);
    connect(cmdToggle, &QPushButton::clicked, this, &FrmScanner::cmdToggle_Click);
    connect(cmdNext, &QPushButton::clicked, this, &FrmScanner::cmdNext_Click);
    connect(cmdExFind, &QPushButton::clicked, this, &FrmScanner::cmdExFind_Click);
}

void FrmScanner::Form_Load() {
    fraStatus->setEnabled(false);
    cmdNext->setEnabled(false);
    cmdExFind->setEnabled(false);
    cmdToggle->setEnabled(false);
    lblBaseFolder->setText(QString::fromStdString(shell::baseFolderSetting));
}

void FrmScanner::cmdBaseFolder_Click() { lblBaseFolder->setText(shell::ChooseFolder(this)); }

void FrmScanner::cmdStartScan_Click() {
    if (lblBaseFolder->text().isEmpty()) {
        platform::dialogs().messageBox("You forgot to Enter a Base Folder",
                                       "Please Choose Base Folder", platform::msg::Information);
        return;
    }
    if (scanning_) return; // one walk at a time
    scanning_ = true;
    scanAbort = false;
    setStatus("Scanning Base Folder...");
    ScanBaseFolder(*main_, *this, lblBaseFolder->text().toStdString());
    scanning_ = false;
    scanAbort = false;
    setStatus("Scanning Finished!");
    main_->txtPre->clear();
    main_->txtRe->clear();
}

void FrmScanner::cmdToggle_Click() {
    if (scanBlinkFolder.empty()) {
        setBlinkLook(false);
        setStatus("Blinking Stopped");
        return;
    }
    if (!isBlinking()) {
        if (main_->Timer1->isActive()) main_->cmbBlink_Click();
        if (main_->Timer2->isActive()) main_->cmdblinkdss_Click();
        setBlinkLook(true);
        setStatus("Blinking Images...");
        BlinkScannerImages(scanBlinkFolder);
    } else {
        setBlinkLook(false);
        setStatus("Blinking Stopped");
    }
}

void FrmScanner::showBlinkPicture(const std::string& file) {
    if (!display::ShowPicture(*main_, file)) throw platform::Error(4002, "Cannot load " + file);
    if (main_->chkZoom->isChecked()) display::RefreshZoom(*main_->picMain, *main_->picZoom);
    display::WaitMilliseconds(300);
}

void FrmScanner::BlinkScannerImages(const std::string& folder) {
    if (folder.empty()) return;
    setStatus("Blinking Images...");
    try {
        // the colour is tested before the reshot only: a stop lets the cycle end on the reference
        while (isBlinking() && !scanAbort) {
            showBlinkPicture(folder + "/ReshotImage.jpg");
            showBlinkPicture(folder + "/ReferenceImage.jpg");
        }
    } catch (const platform::Error&) {
        // a product that cannot be loaded stops the blink as the toggle would
        setBlinkLook(false);
    }
    setStatus("Blinking Stopped");
}

void FrmScanner::cmdNext_Click() {
    if (isBlinking()) cmdToggle_Click();
    nextRequested = true;
}

void FrmScanner::cmdExFind_Click() {
    if (isBlinking()) cmdToggle_Click();
    // the run that follows writes into the same folder
    FinishPendingProducts();
    examineFromScanner = true;
    hide();
    main_->cmdProcess->setEnabled(true);
    stars::ResetStarLists(*main_);
}

void FrmScanner::closeEvent(QCloseEvent* event) {
    // a scan waiting for the user ends as "NEXT >>" would, and the walk stops
    if (scanning_) {
        if (isBlinking()) cmdToggle_Click();
        nextRequested = true;
        examineFromScanner = false;
        scanAbort = true;
    }
    event->accept();
}

void FrmScanner::EnableTargetControls() {
    fraStatus->setEnabled(true);
    cmdNext->setEnabled(true);
    cmdExFind->setEnabled(true);
    cmdToggle->setEnabled(true);
}

void FrmScanner::setBlinkLook(bool blinking) {
    blinking_ = blinking;
    cmdToggle->setText(blinking ? "Stop Blinking" : "Blink");
    cmdToggle->setStyleSheet(blinking ? "QPushButton#cmdToggle { background-color: #FF8080; }"
                                      : QString());
}

void FrmScanner::setStatus(const QString& text) { statusText_->setText(text); }
QString FrmScanner::status() const { return statusText_->text(); }

} // namespace scanner
