#include "tests/support/gui/scripted_dialogs.h"

#include <QDialog>

namespace testing_support {

ScriptedDialogs::ScriptedDialogs() { ui::DialogService::setInstance(this); }
ScriptedDialogs::~ScriptedDialogs() { ui::DialogService::setInstance(nullptr); }

ui::MsgResult ScriptedDialogs::message(QWidget*, ui::MsgKind kind, const QString& text,
                                       ui::MsgButtons buttons) {
    messages.push_back({kind, text, buttons});
    if (whileOpen) whileOpen();
    if (buttons == ui::MsgButtons::Ok) return ui::MsgResult::Ok;
    if (confirmAnswers.empty()) return defaultConfirm;
    const ui::MsgResult r = confirmAnswers.front();
    confirmAnswers.pop_front();
    return r;
}

namespace {
std::optional<QString> take(std::deque<std::optional<QString>>& q) {
    if (q.empty()) return std::nullopt;
    const bool has = q.front().has_value();
    const QString value = has ? *q.front() : QString();
    q.pop_front();
    if (!has) return std::nullopt;
    return value;
}
}  // namespace

std::optional<QString> ScriptedDialogs::inputBox(QWidget*, const QString& caption,
                                                 const QString& prompt, const QString& value) {
    inputPrompts << caption + QLatin1Char('|') + prompt + QLatin1Char('|') + value;
    if (whileOpen) whileOpen();
    return take(inputAnswers);
}

std::optional<QString> ScriptedDialogs::saveFile(QWidget*, const QString& caption,
                                                 const QString& startDir, const QString& fileName,
                                                 const QString& filter) {
    saveRequests << QStringList{caption, startDir, fileName, filter}.join(QLatin1Char('|'));
    if (whileOpen) whileOpen();
    return take(saveAnswers);
}

std::optional<QString> ScriptedDialogs::browseFolder(QWidget*, const QString& caption,
                                                     const QString& startDir) {
    folderRequests << caption + QLatin1Char('|') + startDir;
    return take(folderAnswers);
}

void ScriptedDialogs::showHelp(QWidget*, const QString& helpFile, const QString& topic) {
    helpRequests << helpFile + QLatin1Char('|') + topic;
}

void ScriptedDialogs::shellOpen(const QString& address) { opened << address; }

QStringList ScriptedDialogs::messageTexts() const {
    QStringList out;
    for (const auto& m : messages) out << m.text;
    return out;
}

void ScriptedDialogs::clear() {
    messages.clear();
    inputPrompts.clear();
    saveRequests.clear();
    folderRequests.clear();
    helpRequests.clear();
    opened.clear();
}

namespace {
std::vector<std::function<void(QDialog&)>>& pending() {
    static std::vector<std::function<void(QDialog&)>> stack;
    return stack;
}
void install();
void dispatch(QDialog& d) {
    auto& st = pending();
    if (st.empty()) {
        // Nothing prepared: reject instead of blocking the test in exec().
        d.reject();
        return;
    }
    auto fn = std::move(st.back());
    st.pop_back();
    fn(d);
}
void install() { ui::setModalHandler(dispatch); }
}  // namespace

void onNextModal(std::function<void(QDialog&)> fn) {
    // Newest handler is used first, so push in front: handlers run in the order given.
    auto& st = pending();
    st.insert(st.begin(), std::move(fn));
    install();
}

void clearModalHandlers() {
    pending().clear();
    ui::setModalHandler(nullptr);
}

}  // namespace testing_support
