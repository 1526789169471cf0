#pragma once
// Recording stand-in for the dialog service: every call is logged, answers are
// taken from queues prepared by the test (defaults when a queue is empty).
#include "platform/ui/dialog_service.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace testing_support {

struct RecordedMessage {
    ui::MsgKind kind;
    QString text;
    ui::MsgButtons buttons;
};

class ScriptedDialogs : public ui::DialogService {
public:
    // Installs itself on construction and restores the Qt service on destruction.
    ScriptedDialogs();
    ~ScriptedDialogs() override;

    ui::MsgResult message(QWidget* parent, ui::MsgKind kind, const QString& text,
                          ui::MsgButtons buttons) override;
    std::optional<QString> inputBox(QWidget* parent, const QString& caption,
                                    const QString& prompt, const QString& value) override;
    std::optional<QString> saveFile(QWidget* parent, const QString& caption,
                                    const QString& startDir, const QString& fileName,
                                    const QString& filter) override;
    std::optional<QString> browseFolder(QWidget* parent, const QString& caption,
                                        const QString& startDir) override;
    void showHelp(QWidget* parent, const QString& helpFile, const QString& topic) override;
    void shellOpen(const QString& address) override;

    // Answers. A Yes/No box with no queued answer gets `defaultConfirm`.
    std::deque<ui::MsgResult> confirmAnswers;
    ui::MsgResult defaultConfirm = ui::MsgResult::Yes;
    std::deque<std::optional<QString>> inputAnswers;  // empty queue: cancelled
    std::deque<std::optional<QString>> saveAnswers;   // empty queue: cancelled
    std::deque<std::optional<QString>> folderAnswers; // empty queue: cancelled

    // Runs while a box or dialog is "open", before it answers: a real one runs
    // the event loop there, so timers fire and connections drop meanwhile.
    std::function<void()> whileOpen;

    // What happened.
    std::vector<RecordedMessage> messages;
    QStringList inputPrompts;       // "caption|prompt|value"
    QStringList saveRequests;       // "caption|startDir|fileName|filter"
    QStringList folderRequests;     // "caption|startDir"
    QStringList helpRequests;       // "file|topic"
    QStringList opened;             // shell-opened addresses

    QStringList messageTexts() const;
    void clear();
};

// Runs `fn` on the next dialog passed to ui::runModal, then falls back to the
// previous handler. Stacks so a handler can prepare the nested dialog it opens.
void onNextModal(std::function<void(QDialog&)> fn);
// Removes every pending modal handler.
void clearModalHandlers();

}  // namespace testing_support
