#include "platform/dialogs.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>
#include <QUrl>

namespace platform {

namespace {
std::unique_ptr<Dialogs>& current() {
    static std::unique_ptr<Dialogs> d = std::make_unique<QtDialogs>();
    return d;
}
} // namespace

Dialogs& dialogs() { return *current(); }

std::unique_ptr<Dialogs> setDialogs(std::unique_ptr<Dialogs> d) {
    std::unique_ptr<Dialogs> old = std::move(current());
    current() = std::move(d);
    return old;
}

int QtDialogs::messageBox(const QString& text, const QString& title, int style, const QString& detail) {
    QMessageBox box;
    box.setWindowTitle(title);
    box.setText(text);
    if (!detail.isEmpty()) box.setDetailedText(detail);
    switch (style & 0x70) {
    case msg::Critical: box.setIcon(QMessageBox::Critical); break;
    case msg::Question: box.setIcon(QMessageBox::Question); break;
    case msg::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case msg::Information: box.setIcon(QMessageBox::Information); break;
    default: break;
    }
    switch (style & 0x0F) {
    case msg::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case msg::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    default: box.setStandardButtons(QMessageBox::Ok); break;
    }
    switch (box.exec()) {
    case QMessageBox::Cancel: return msg::Cancel;
    case QMessageBox::Yes: return msg::Yes;
    case QMessageBox::No: return msg::No;
    default: return msg::Ok;
    }
}

QString toQtFilter(const QString& classicFilter) {
    const QStringList parts = classicFilter.split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i];
        const int paren = name.indexOf('(');
        if (paren >= 0) name = name.left(paren);
        QStringList patterns;
        for (QString p : parts[i + 1].split(';', Qt::SkipEmptyParts)) {
            p.remove(')');
            p = p.trimmed();
            if (p.isEmpty()) continue;
            patterns << p;
            // Linux names are case-sensitive; camera software often writes .FTS.
            if (p.toUpper() != p) patterns << p.toUpper();
        }
        out << name.trimmed() + " (" + patterns.join(' ') + ")";
    }
    return out.join(";;");
}

QString QtDialogs::openFile(const QString& filter, const QString& initialFolder,
                            const QString& fileName) {
    QString start = QDir(initialFolder).exists() ? initialFolder : QString();
    if (!fileName.isEmpty()) start = QDir(start).filePath(fileName);
    return QFileDialog::getOpenFileName(nullptr, QString(), start, toQtFilter(filter));
}

QString QtDialogs::chooseFolder(QWidget* owner, const QString& title) {
    return QFileDialog::getExistingDirectory(owner, title);
}

bool QtDialogs::openDocument(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

int ScriptedDialogs::messageBox(const QString& text, const QString& title, int style, const QString& detail) {
    messages.push_back({text, title, style, detail});
    if (answers.empty()) return msg::Ok;
    const int a = answers.front();
    answers.pop_front();
    return a;
}

QString ScriptedDialogs::openFile(const QString& filter, const QString&, const QString&) {
    fileFilters.push_back(filter);
    if (files.empty()) return {};
    QString f = files.front();
    files.pop_front();
    return f;
}

QString ScriptedDialogs::chooseFolder(QWidget*, const QString& title) {
    folderTitles.push_back(title);
    if (folders.empty()) return {};
    QString f = folders.front();
    folders.pop_front();
    return f;
}

bool ScriptedDialogs::openDocument(const QString& path) {
    openedDocuments.push_back(path);
    return true;
}

} // namespace platform
