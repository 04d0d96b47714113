// Builds the main window's controls at the places of the classic layout.
#include <QMenuBar>

#include "shell/frm_main.h"

namespace shell {

namespace {
template <typename W>
W* make(QWidget* parent, const char* name, int x, int y, int w, int h) {
    W* widget = new W(parent);
    widget->setObjectName(name);
    widget->setGeometry(x, y, w, h);
    return widget;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption, int x, int y,
                    int w, int h) {
    auto* b = make<QPushButton>(parent, name, x, y, w, h);
    b->setText(caption);
    return b;
}

QLabel* label(QWidget* parent, const char* name, const QString& caption, int x, int y, int w,
              int h = 18) {
    auto* l = make<QLabel>(parent, name, x, y, w, h);
    l->setText(caption);
    return l;
}

QComboBox* combo(QWidget* parent, const char* name, int x, int y, int w) {
    auto* c = make<QComboBox>(parent, name, x, y, w, 24);
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    return c;
}

QGroupBox* frame(QWidget* parent, const char* name, const QString& caption, int x, int y, int w,
                 int h) {
    auto* f = make<QGroupBox>(parent, name, x, y, w, h);
    f->setTitle(caption);
    return f;
}
} // namespace

void FrmMain::buildControls() {
    setWindowTitle("Vospen");
    auto* central = new QWidget(this);
    central->setObjectName("frmMainClient");
    central->setFixedSize(1208, 742);
    setCentralWidget(central);

    mnuHelp = menuBar()->addAction("Help");
    mnuHelp->setObjectName("mnuHelp");
    menAbout = menuBar()->addAction("About");
    menAbout->setObjectName("menAbout");

    // inputs
    txtPre = make<QLineEdit>(central, "txtPre", 8, 6, 300, 24);
    cmddiag1 = button(central, "cmddiag1", "...", 310, 6, 28, 24);
    txtRe = make<QLineEdit>(central, "txtRe", 362, 6, 316, 24);
    cmddiag2 = button(central, "cmddiag2", "...", 680, 6, 28, 24);
    Label1 = label(central, "Label1", "Catalog Stars in Reference", 8, 34, 330);
    Label2 = label(central, "Label2", " Catalog Stars in Reshot", 362, 34, 340);
    cmdProcess = button(central, "cmdProcess", "PROCESS", 716, 6, 232, 46);
    cmdProcess->setEnabled(false);

    // pictures
    picMain = new display::PictureBox(696, 520, central);
    picMain->setObjectName("picMain");
    picMain->move(8, 56);
    Shape1 = make<QFrame>(picMain, "Shape1", 0, 0, 50, 50);
    Shape1->setFrameStyle(QFrame::Box | QFrame::Plain);
    Shape1->setStyleSheet("QFrame#Shape1 { border: 1px solid black; background: transparent; }");
    Shape1->hide();
    lblDownload = label(central, "lblDownload", "Downloading DSS-Image, please wait...", 206, 300,
                        300, 22);
    lblDownload->setAlignment(Qt::AlignCenter);
    lblDownload->setAutoFillBackground(true);
    lblDownload->hide();

    picZoom = new display::PictureBox(205, 205, central);
    picZoom->setObjectName("picZoom");
    picZoom->move(716, 56);
    VScroll1 = make<QScrollBar>(central, "VScroll1", 925, 56, 17, 207);
    VScroll1->setOrientation(Qt::Vertical);
    HScroll1 = make<QScrollBar>(central, "HScroll1", 716, 265, 207, 17);
    HScroll1->setOrientation(Qt::Horizontal);
    chkZoom = make<QCheckBox>(central, "chkZoom", 716, 288, 232, 20);
    chkZoom->setText("continuous Zoom");
    chkInvert = make<QCheckBox>(central, "chkInvert", 716, 310, 232, 20);
    chkInvert->setText("Inverted Display ");

    Frame3 = frame(central, "Frame3", "Show Images", 716, 334, 232, 112);
    cmdsub = button(Frame3, "cmdsub", "Show subtracted image", 10, 22, 212, 26);
    cmdpre = button(Frame3, "cmdpre", "Show Reference", 10, 50, 212, 26);
    cmdre = button(Frame3, "cmdre", "Show Reshot", 10, 78, 212, 26);

    Frame1 = frame(central, "Frame1", "Show Stars", 716, 452, 232, 112);
    cmdcat = button(Frame1, "cmdcat", "Show Catalog Stars", 10, 22, 212, 26);
    cmdIm = button(Frame1, "cmdIm", "Show Image Stars", 10, 50, 212, 26);
    cmdUnid = button(Frame1, "cmdUnid", "Show Suspicous", 10, 78, 212, 26);

    Frame2 = frame(central, "Frame2", "Check", 716, 570, 232, 140);
    cmdcheck = button(Frame2, "cmdcheck", "Check against Catalog", 10, 22, 212, 26);
    cmbBlink = button(Frame2, "cmbBlink", "Blink Ref/Reshot", 10, 50, 212, 26);
    cmdGetDSS = button(Frame2, "cmdGetDSS", "Get DSS Picture", 10, 78, 212, 26);
    cmdblinkdss = button(Frame2, "cmdblinkdss", "Blink DSS", 10, 106, 212, 26);

    for (QPushButton* b : {cmdsub, cmdpre, cmdre, cmdcat, cmdIm, cmdUnid, cmdcheck, cmbBlink,
                           cmdGetDSS, cmdblinkdss})
        b->setEnabled(false);

    // star lists
    Label3 = label(central, "Label3", "Suspicious Stars", 8, 584, 224);
    lstSuspicious = make<QListWidget>(central, "lstSuspicious", 8, 604, 224, 130);
    lstUnidentified = make<QListWidget>(central, "lstUnidentified", 240, 604, 224, 130);
    Label4 = label(central, "Label4", "Possible Candidates", 472, 584, 234);
    lstCandidates = make<QListWidget>(central, "lstCandidates", 472, 604, 234, 130);

    buildSettingsFrame(central);
    cmdRef = button(central, "cmdRef", "Reference", 958, 420, 240, 30);
    cmdScan = button(central, "cmdScan", "Start ACP Survey Scanner", 958, 456, 240, 30);
    lblCard = label(central, "lblCard", "Candidate Card", 958, 494, 240);
    txtCard = make<QPlainTextEdit>(central, "txtCard", 958, 514, 240, 220);
    txtCard->setReadOnly(true);
    txtCard->setLineWrapMode(QPlainTextEdit::WidgetWidth);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(200);
    Timer2 = new QTimer(this);
    Timer2->setObjectName("Timer2");
    Timer2->setInterval(200);
}

void FrmMain::buildSettingsFrame(QWidget* parent) {
    fraPiPo = frame(parent, "fraPiPo", "PinPoint Settings", 958, 56, 240, 352);
    Label10 = label(fraPiPo, "Label10", "Catalog Path", 10, 22, 190);
    lblPiPoPath = new CaptionLabel(fraPiPo);
    lblPiPoPath->setObjectName("lblPiPoPath");
    lblPiPoPath->setGeometry(10, 42, 190, 36);
    lblPiPoPath->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    lblPiPoPath->setWordWrap(true);
    cmdPiPoPath = button(fraPiPo, "cmdPiPoPath", "...", 204, 42, 26, 24);

    Label12 = label(fraPiPo, "Label12", "Catalog", 10, 88, 100);
    cmbCat = combo(fraPiPo, "cmbCat", 120, 84, 110);
    Label11 = label(fraPiPo, "Label11", "Cat. max Magnitude", 10, 118, 140);
    cmbMaxMag = combo(fraPiPo, "cmbMaxMag", 150, 114, 80);
    Label9 = label(fraPiPo, "Label9", "min RawFlux (subtracted Image)", 10, 146, 220);
    txtRawFlux = make<QLineEdit>(fraPiPo, "txtRawFlux", 150, 166, 80, 24);
    Label13 = label(fraPiPo, "Label13", "max. Matching Error [\"]", 10, 202, 140);
    cmbMatchErr = combo(fraPiPo, "cmbMatchErr", 150, 198, 80);

    Label6 = label(fraPiPo, "Label6", "min SNR for DETECTION", 10, 236, 220);
    QFont bold = Label6->font();
    bold.setBold(true);
    Label6->setFont(bold);
    Label5 = label(fraPiPo, "Label5", "Cat. Stars", 10, 264, 140);
    cmbCatStars = combo(fraPiPo, "cmbCatStars", 150, 260, 80);
    Label7 = label(fraPiPo, "Label7", "Img. Stars Pre/ReShots", 10, 294, 140);
    cmbImPRe = combo(fraPiPo, "cmbImPRe", 150, 290, 80);
    Label8 = label(fraPiPo, "Label8", "Img. Stars Processed", 10, 324, 140);
    cmbImSub = combo(fraPiPo, "cmbImSub", 150, 320, 80);
}

} // namespace shell
