#pragma once
// The main window: every control under its own name, the window's state, and
// the handlers. Handlers stay thin and call the subsystems.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "display/picture_box.h"
#include "shell/caption_label.h"
#include "shell/command_line.h"
#include "checks/candidate_card.h"
#include "stars/catalog_check.h"

namespace engine {
class Application;
class Document;
} // namespace engine

namespace scanner {
class FrmScanner;
}

namespace shell {

class FrmMain : public QMainWindow {
    Q_OBJECT
public:
    FrmMain();
    ~FrmMain() override;

    // ---- controls -------------------------------------------------------
    QAction* mnuHelp = nullptr;
    QAction* menAbout = nullptr;

    QCheckBox* chkInvert = nullptr;
    QPushButton* cmdRef = nullptr;
    QPushButton* cmdScan = nullptr;

    QGroupBox* Frame3 = nullptr;
    QPushButton* cmdsub = nullptr;
    QPushButton* cmdpre = nullptr;
    QPushButton* cmdre = nullptr;

    QGroupBox* Frame2 = nullptr;
    QPushButton* cmdblinkdss = nullptr;
    QPushButton* cmdGetDSS = nullptr;
    QPushButton* cmbBlink = nullptr; // a push button despite its prefix
    QPushButton* cmdcheck = nullptr;

    QGroupBox* Frame1 = nullptr;
    QPushButton* cmdcat = nullptr;
    QPushButton* cmdIm = nullptr;
    QPushButton* cmdUnid = nullptr;

    QGroupBox* fraPiPo = nullptr;
    QComboBox* cmbMatchErr = nullptr;
    QComboBox* cmbImSub = nullptr;
    QComboBox* cmbImPRe = nullptr;
    QComboBox* cmbCatStars = nullptr;
    QComboBox* cmbMaxMag = nullptr;
    QComboBox* cmbCat = nullptr;
    QLineEdit* txtRawFlux = nullptr;
    QPushButton* cmdPiPoPath = nullptr;
    CaptionLabel* lblPiPoPath = nullptr;
    QLabel* Label13 = nullptr;
    QLabel* Label12 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label11 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label5 = nullptr;

    QLineEdit* txtPre = nullptr;
    QLineEdit* txtRe = nullptr;
    QPushButton* cmddiag1 = nullptr;
    QPushButton* cmddiag2 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* cmdProcess = nullptr;

    QListWidget* lstSuspicious = nullptr;
    QLabel* Label3 = nullptr;
    QListWidget* lstUnidentified = nullptr;
    QListWidget* lstCandidates = nullptr;
    QLabel* Label4 = nullptr;
    // the selected candidate's checks; one text per entry of lstCandidates
    QLabel* lblCard = nullptr;
    QPlainTextEdit* txtCard = nullptr;
    checks::CardSet cardSet;
    QString cardFailure; // when no card could be made: why, for every entry

    display::PictureBox* picMain = nullptr;
    QFrame* Shape1 = nullptr;
    display::PictureBox* picZoom = nullptr;
    QScrollBar* HScroll1 = nullptr;
    QScrollBar* VScroll1 = nullptr;
    QCheckBox* chkZoom = nullptr;
    QLabel* lblDownload = nullptr;

    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;

    // ---- state of the current comparison --------------------------------
    std::string referencePath;
    std::string reshotPath;
    std::string workFolder; // ends with "/"
    double plateScale = 0;
    int imageWidth = 0;
    int imageHeight = 0;
    std::string objectName;
    int listIndex = 0;
    int listIndex2 = 0;
    bool blinkPhase = false;
    bool runFailed = false;
    std::unique_ptr<engine::Application> engineApp;
    std::shared_ptr<engine::Document> docReference;
    std::shared_ptr<engine::Document> docReshot;
    std::shared_ptr<engine::Document> docSubtracted;
    std::ofstream logStream;

    // ---- lifecycle --------------------------------------------------------
    // Start-up; `commandLine` is the program's arguments joined with blanks.
    void Form_Load(const QString& commandLine);
    // Shut-down; never cancels. Safe to call more than once.
    void Form_QueryUnload();
    bool isUnloaded() const { return unloaded_; }
    // The scanner window, created hidden on first use.
    scanner::FrmScanner& frmScanner();
    bool scannerLoaded() const { return scanner_ != nullptr; }

    // ---- settings file and controls ---------------------------------------
    static std::string ConfigFile();
    void FillCombos();
    void WriteDefaults();
    void GetSettings();
    void SaveSettings();

    // ---- handlers ---------------------------------------------------------
    void cmddiag1_Click();
    void cmddiag2_Click();
    void mnuHelp_Click();
    void menAbout_Click();
    void cmdPiPoPath_Click();
    void lblPiPoPath_Change();
    void txtRawFlux_Change();
    void chkInvert_Click();
    void cmdProcess_Click();
    void cmdScan_Click();
    void cmdRef_Click();
    void cmdpre_Click();
    void cmdre_Click();
    void cmdsub_Click();
    void ScalePoints();
    void cmdcat_Click();
    void cmdIm_Click();
    void cmdUnid_Click();
    void lstSuspicious_Click();
    void lstUnidentified_Click();
    void lstCandidates_Click();
    void makeCards(const std::vector<stars::Candidate>& candidates, const stars::StarList& catalogStars);
    void showCard();
    void cmdcheck_Click();
    void picMain_MouseDown(double x, double y);
    void picMain_MouseMove(double x, double y);
    void HScroll1_Change();
    void VScroll1_Change();
    void cmbBlink_Click();
    void cmdblinkdss_Click();
    void Timer1_Timer();
    void Timer2_Timer();
    void cmdGetDSS_Click();
    // Both blinks off, captions back ("Blink", "Blink DSS").
    void StopBlinks();
    // The survey-picture retrieval for the reshot on show.
    bool GetDSSPicture();
    bool GetDSSPic(const std::string& imagePath, const std::string& folder); // false: failed, the user told

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void buildSettingsFrame(QWidget* parent);
    void connectHandlers();
    void chooseImage(std::string& path, QLineEdit* box, QLineEdit* other);
    void markStarList(int colour);
    void stopScannerBlink();
    void applyProcessingCommandLine(const CommandLine& cl);

    std::unique_ptr<scanner::FrmScanner> scanner_;
    bool unloaded_ = false;
    // a close asked for during the survey download: the transfer is cancelled,
    // then the window closes
    bool downloading_ = false, closeAfterDownload_ = false;
};

} // namespace shell
