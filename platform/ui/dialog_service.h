#pragma once
// Every message box, input box, save-file dialog, folder browser, help jump and
// shell "open" goes through this one service, so tests can script the answers.
#include <QString>
#include <functional>
#include <optional>

class QWidget;
class QDialog;

namespace ui {

enum class MsgKind { Warning, Error, Confirmation, Information };
enum class MsgButtons { Ok, YesNo };
enum class MsgResult { Ok, Yes, No };

class DialogService {
public:
    virtual ~DialogService() = default;

    virtual MsgResult message(QWidget* parent, MsgKind kind, const QString& text,
                              MsgButtons buttons) = 0;
    // Single-line input box; nullopt when cancelled.
    virtual std::optional<QString> inputBox(QWidget* parent, const QString& caption,
                                            const QString& prompt, const QString& value) = 0;
    // Save-file dialog; nullopt when cancelled. `filter` uses Qt's "Text (*.txt)" form.
    virtual std::optional<QString> saveFile(QWidget* parent, const QString& caption,
                                            const QString& startDir, const QString& fileName,
                                            const QString& filter) = 0;
    // Folder browser; nullopt when cancelled.
    virtual std::optional<QString> browseFolder(QWidget* parent, const QString& caption,
                                                const QString& startDir) = 0;
    // Help file by full path; an empty topic opens the contents.
    virtual void showHelp(QWidget* parent, const QString& helpFile, const QString& topic) = 0;
    // Shell "open" of a web or mailto: address.
    virtual void shellOpen(const QString& address) = 0;

    // The service in force; the Qt one unless a test installed another.
    static DialogService& instance();
    // Installs `service` (not owned); nullptr restores the Qt one.
    static void setInstance(DialogService* service);
};

// Convenience wrappers over instance().
MsgResult warning(QWidget* parent, const QString& text);
MsgResult error(QWidget* parent, const QString& text);
bool confirm(QWidget* parent, const QString& text);  // Yes/No confirmation, true on Yes

// Help. Every help action first makes "Ostrafen.hlp" in the data directory the
// application's help file, then shows a topic by its name (empty: the contents).
void setHelpFile(const QString& path);
QString helpFile();
void helpJump(QWidget* parent, const QString& topic);
void helpContents(QWidget* parent);
// Closes and frees the help window of the Qt service, if one was opened.
void closeHelpWindow();

// Runs one of our own modal dialogs. Tests install a handler that receives the
// dialog instead of it being executed: the handler fills controls and presses
// buttons, and the dialog's result() is returned.
int runModal(QDialog& dialog);
using ModalHandler = std::function<void(QDialog&)>;
void setModalHandler(ModalHandler handler);  // empty handler: exec() for real

}  // namespace ui
