#include <QApplication>

#include <clocale>

#include "shell/command_line.h"
#include "shell/frm_main.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // Qt takes the user's locale for the C library too; FITS cards, star lines
    // and catalog texts are read with "." whatever the user's country
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName("Vospen");
    const QString commandLine = QString::fromStdString(shell::JoinArguments(argc, argv));

    shell::FrmMain frmMain;
    frmMain.Form_Load(commandLine);
    if (frmMain.isUnloaded()) return frmMain.runFailed ? 1 : 0;
    frmMain.show();
    return app.exec();
}
