#pragma once
// The seam for everything that asks the user: message boxes, the file-open
// dialog, the folder chooser, and opening a document with the desktop's viewer.
// The program uses Qt's dialogs; tests install ScriptedDialogs.
#include <QString>

#include <deque>
#include <memory>
#include <vector>

class QWidget;

namespace platform {

// Message-box styles and answers with the classic numbers (style = buttons + icon).
namespace msg {
constexpr int OkOnly = 0;
constexpr int OkCancel = 1;
constexpr int YesNo = 4;
constexpr int Critical = 16;
constexpr int Question = 32;
constexpr int Exclamation = 48;
constexpr int Information = 64;

constexpr int Ok = 1;
constexpr int Cancel = 2;
constexpr int Yes = 6;
constexpr int No = 7;
} // namespace msg

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // `detail`: a longer reason behind the message, shown on request ("" for none).
    virtual int messageBox(const QString& text, const QString& title, int style, const QString& detail = {}) = 0;
    // filter in the classic "description|pattern;pattern" form; "" when cancelled
    virtual QString openFile(const QString& filter, const QString& initialFolder,
                             const QString& fileName) = 0;
    virtual QString chooseFolder(QWidget* owner, const QString& title) = 0;
    virtual bool openDocument(const QString& path) = 0;
};

Dialogs& dialogs();
// Replaces the process-wide dialogs; returns the previous ones.
std::unique_ptr<Dialogs> setDialogs(std::unique_ptr<Dialogs> d);

class QtDialogs : public Dialogs {
public:
    int messageBox(const QString& text, const QString& title, int style, const QString& detail = {}) override;
    QString openFile(const QString& filter, const QString& initialFolder,
                     const QString& fileName) override;
    QString chooseFolder(QWidget* owner, const QString& title) override;
    bool openDocument(const QString& path) override;
};

// Turns "FITS-Files (*.fts, *.fits, *.fit)|*.fts;*.fits;*.fit)" into a Qt filter.
QString toQtFilter(const QString& classicFilter);

// Records every call; answers from queues the test fills (defaults: OK, cancel).
class ScriptedDialogs : public Dialogs {
public:
    struct Message {
        QString text, title;
        int style;
        QString detail;
    };
    std::vector<Message> messages;
    std::vector<QString> openedDocuments;
    std::vector<QString> fileFilters;
    std::vector<QString> folderTitles;
    std::deque<int> answers;
    std::deque<QString> files;
    std::deque<QString> folders;

    int messageBox(const QString& text, const QString& title, int style, const QString& detail = {}) override;
    QString openFile(const QString& filter, const QString& initialFolder,
                     const QString& fileName) override;
    QString chooseFolder(QWidget* owner, const QString& title) override;
    bool openDocument(const QString& path) override;
};

} // namespace platform
