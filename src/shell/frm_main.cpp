#include "shell/frm_main.h"

#include <QCloseEvent>
#include <QSignalBlocker>
#include <QCoreApplication>
#include <QFileInfo>

#include "display/zoom.h"
#include "engine/application.h"
#include "engine/document.h"
#include "platform/dialogs.h"
#include "scanner/frm_scanner.h"
#include "scanner/scan_state.h"
#include "stars/reset_star_lists.h"
#include "platform/app_folder.h"

#include <cmath>

namespace shell {

FrmMain::FrmMain() {
    setObjectName("frmMain");
    buildControls();
    connectHandlers();
}

FrmMain::~FrmMain() = default;

void FrmMain::connectHandlers() {
    connect(mnuHelp, &QAction::triggered, this, &FrmMain::mnuHelp_Click);
    connect(menAbout, &QAction::triggered, this, &FrmMain::menAbout_Click);
    connect(cmddiag1, &QPushButton::clicked, this, &FrmMain::cmddiag1_Click);
    connect(cmddiag2, &QPushButton::clicked, this, &FrmMain::cmddiag2_Click);
    connect(cmdPiPoPath, &QPushButton::clicked, this, &FrmMain::cmdPiPoPath_Click);
    connect(lblPiPoPath, &CaptionLabel::captionChanged, this, &FrmMain::lblPiPoPath_Change);
    connect(txtRawFlux, &QLineEdit::textChanged, this, &FrmMain::txtRawFlux_Change);
    connect(chkInvert, &QCheckBox::toggled, this, &FrmMain::chkInvert_Click);
    connect(cmdProcess, &QPushButton::clicked, this, &FrmMain::cmdProcess_Click);
    connect(cmdScan, &QPushButton::clicked, this, &FrmMain::cmdScan_Click);
    connect(cmdRef, &QPushButton::clicked, this, &FrmMain::cmdRef_Click);
    connect(cmdpre, &QPushButton::clicked, this, &FrmMain::cmdpre_Click);
    connect(cmdre, &QPushButton::clicked, this, &FrmMain::cmdre_Click);
    connect(cmdsub, &QPushButton::clicked, this, &FrmMain::cmdsub_Click);
    connect(cmdcat, &QPushButton::clicked, this, &FrmMain::cmdcat_Click);
    connect(cmdIm, &QPushButton::clicked, this, &FrmMain::cmdIm_Click);
    connect(cmdUnid, &QPushButton::clicked, this, &FrmMain::cmdUnid_Click);
    connect(lstSuspicious, &QListWidget::itemClicked, this, &FrmMain::lstSuspicious_Click);
    connect(lstUnidentified, &QListWidget::itemClicked, this, &FrmMain::lstUnidentified_Click);
    connect(lstCandidates, &QListWidget::itemClicked, this, &FrmMain::lstCandidates_Click);
    connect(cmdcheck, &QPushButton::clicked, this, &FrmMain::cmdcheck_Click);
    connect(cmbBlink, &QPushButton::clicked, this, &FrmMain::cmbBlink_Click);
    connect(cmdblinkdss, &QPushButton::clicked, this, &FrmMain::cmdblinkdss_Click);
    connect(cmdGetDSS, &QPushButton::clicked, this, &FrmMain::cmdGetDSS_Click);
    connect(Timer1, &QTimer::timeout, this, &FrmMain::Timer1_Timer);
    connect(picMain, &display::PictureBox::mousePressed, this, &FrmMain::picMain_MouseDown);
    connect(picMain, &display::PictureBox::mouseMoved, this, &FrmMain::picMain_MouseMove);
    connect(HScroll1, &QScrollBar::valueChanged, this, &FrmMain::HScroll1_Change);
    connect(VScroll1, &QScrollBar::valueChanged, this, &FrmMain::VScroll1_Change);
    connect(Timer2, &QTimer::timeout, this, &FrmMain::Timer2_Timer);
}

scanner::FrmScanner& FrmMain::frmScanner() {
    if (!scanner_) {
        scanner_ = std::make_unique<scanner::FrmScanner>(this);
        scanner_->Form_Load();
    }
    return *scanner_;
}

void FrmMain::Form_Load(const QString& commandLine) {
    {
        // setting the ranges is not a zoom action: the centre stays at (0, 0)
        const QSignalBlocker h(HScroll1), v(VScroll1);
        HScroll1->setMaximum(646);
        HScroll1->setMinimum(0);
        VScroll1->setMinimum(50);
        VScroll1->setMaximum(470);
    }

    FillCombos();
    GetSettings();

    const CommandLine cl = ParseCommandLine(commandLine.toStdString(), cmbCat->count() - 1);
    switch (cl.kind) {
    case CommandLine::Kind::Processing: applyProcessingCommandLine(cl); break;
    case CommandLine::Kind::Scanner: {
        show();
        cmdScan_Click();
        QString folder = QString::fromStdString(cl.fields[0]);
        if (!QFileInfo(folder).isDir())
            folder = QString::fromStdString(platform::ApplicationFolder());
        frmScanner().lblBaseFolder->setText(folder);
        frmScanner().cmdStartScan_Click();
        break;
    }
    case CommandLine::Kind::Malformed:
        platform::dialogs().messageBox(
            QString("The command line cannot be used.\r\nExpected: %1\r\nor a survey base folder.")
                .arg(kExpectedProcessingForm),
            "Vospen", platform::msg::Exclamation);
        runFailed = true;
        break;
    case CommandLine::Kind::None: break;
    }

    if (runFailed) Form_QueryUnload();
}

void FrmMain::applyProcessingCommandLine(const CommandLine& cl) {
    referencePath = cl.fields[0];
    txtPre->setText(QString::fromStdString(referencePath));
    reshotPath = cl.fields[1];
    txtRe->setText(QString::fromStdString(reshotPath));
    lblPiPoPath->setCaption(QString::fromStdString(cl.fields[2]));
    cmbCat->setCurrentIndex(cl.catalogIndex);
    cmdProcess->setEnabled(true);
    cmdProcess_Click();
}

void FrmMain::Form_QueryUnload() {
    if (unloaded_) return;
    unloaded_ = true;
    // a scan paused inside this window's event loop ends at its next test
    scanner::scanAbort = true;
    scanner::nextRequested = true;
    if (scanner_ && scanner_->isBlinking()) scanner_->setBlinkLook(false);
    // Each step on its own: a failing one does not stop the next.
    try {
        if (engineApp) engineApp->CloseAll();
    } catch (...) {
    }
    try {
        SaveSettings();
    } catch (...) {
    }
    docReference.reset();
    docReshot.reset();
    docSubtracted.reset();
    engineApp.reset();
    if (scanner_) scanner_->close();
    hide();
    QCoreApplication::quit();
}

void FrmMain::closeEvent(QCloseEvent* event) {
    if (downloading_) { // the download's loop closes the window once the transfer is cancelled
        closeAfterDownload_ = true;
        event->ignore();
        return;
    }
    Form_QueryUnload();
    event->accept();
}

void FrmMain::chooseImage(std::string& path, QLineEdit* box, QLineEdit* other) {
    path = platform::dialogs()
               .openFile("FITS-Files (*.fts, *.fits, *.fit)|*.fts;*.fits;*.fit)", "O:\\", "")
               .toStdString();
    if (path.empty()) return;
    box->setText(QString::fromStdString(path));
    stars::ResetStarLists(*this);
    if (!other->text().isEmpty()) cmdProcess->setEnabled(true);
}

void FrmMain::cmddiag1_Click() { chooseImage(referencePath, txtPre, txtRe); }
void FrmMain::cmddiag2_Click() { chooseImage(reshotPath, txtRe, txtPre); }

void FrmMain::mnuHelp_Click() {
    const QString folder = QString::fromStdString(platform::ApplicationFolder());
    for (const char* name : {"/Vospen.chm", "/Vospen.html"}) {
        if (QFileInfo::exists(folder + name)) {
            platform::dialogs().openDocument(folder + name);
            return;
        }
    }
    platform::dialogs().messageBox("Help is not available\r\nPlease check your files",
                                   "Helpfile not found", platform::msg::Information);
}

void FrmMain::menAbout_Click() {
    platform::dialogs().messageBox(
        "Vospen, the supernova search program, by the Vospen developers\r\n\r\n"
        "Version Number: 1.0.1\r\nVersion Date: 2007-11-10",
        "About the Author..", platform::msg::Information);
}

void FrmMain::chkInvert_Click() {
    picMain->invertRect(0, 0, static_cast<int>(std::lround(picMain->scaleWidth())),
                        static_cast<int>(std::lround(picMain->scaleHeight())));
    picMain->refresh();
    display::RefreshZoom(*picMain, *picZoom);
}

void FrmMain::cmdScan_Click() {
    scanner::examineFromScanner = false;
    for (QPushButton* b : {cmdpre, cmdre, cmdsub, cmbBlink, cmdcat, cmdIm, cmdUnid, cmdcheck,
                           cmdGetDSS, cmdblinkdss})
        b->setEnabled(false);
    if (txtPre->text().isEmpty() || txtRe->text().isEmpty()) cmdProcess->setEnabled(false);
    Timer1->stop();
    Timer2->stop();
    frmScanner().show();
    frmScanner().raise();
}

} // namespace shell

#include <filesystem>

namespace shell {

void FrmMain::cmdRef_Click() {
    if (txtRe->text().isEmpty()) return;
    if (platform::dialogs().messageBox("Overwrite existing Reference?", "Vospen", platform::msg::OkCancel | platform::msg::Question) !=
        platform::msg::Ok)
        return;
    namespace fs = std::filesystem;
    const fs::path from = txtRe->text().toStdString(), to = txtPre->text().toStdString();
    std::error_code ec;
    // to a temporary name first, so that a failed copy leaves the reference as it was
    const fs::path temp = to.string() + ".part";
    fs::copy_file(from, temp, fs::copy_options::overwrite_existing, ec);
    if (!ec) fs::last_write_time(temp, fs::last_write_time(from, ec), ec);
    if (!ec) fs::rename(temp, to, ec);
    if (ec) {
        fs::remove(temp, ec);
        platform::dialogs().messageBox(QString("The reference could not be replaced:\r\n%1").arg(QString::fromStdString(to.string())),
                                       "Vospen", platform::msg::Exclamation);
    }
}

} // namespace shell
