#include "browser/qt_message_pump.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace browser {

QtMessagePump::QtMessagePump() {
    // A 25 ms slice keeps the window answering within 50 ms even while a
    // fast transfer runs (the client pumps at most once per slice).
    IdleTimeOut = 25;
    OnlyWhenIdle = false;
}

void QtMessagePump::ProcessMessages(bool allWaiting) {
    ++calls;
    if (!QCoreApplication::instance()) return;
    if (allWaiting)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    else
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
}

std::shared_ptr<QtMessagePump> acquireMessagePump() {
    static std::weak_ptr<QtMessagePump> shared;
    if (auto p = shared.lock()) {
        // Another pump object may have been made current meanwhile (tests).
        return p;
    }
    auto p = std::make_shared<QtMessagePump>();
    shared = p;
    return p;
}

}  // namespace browser
