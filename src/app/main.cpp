#include <QApplication>

#include "shell/command_line.h"
#include "shell/frm_main.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Vospen");
    const QString commandLine = QString::fromStdString(shell::JoinArguments(argc, argv));

    shell::FrmMain frmMain;
    frmMain.Form_Load(commandLine);
    if (frmMain.isUnloaded()) return frmMain.runFailed ? 1 : 0;
    frmMain.show();
    return app.exec();
}
