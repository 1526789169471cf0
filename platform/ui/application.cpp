#include "platform/ui/application.h"

#include <atomic>
#include <cstdio>
#include <exception>

namespace ui {
namespace {
std::atomic<int> g_discarded{0};
QString& title() {
    static QString t;
    return t;
}
}  // namespace

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Ostrafen"));
    setApplicationTitle(QStringLiteral("Ostrafen FREE Edition"));
}

QString applicationTitle() { return title(); }
void setApplicationTitle(const QString& t) { title() = t; }

void reportDiscardedError(const char* what) {
    ++g_discarded;
    std::fprintf(stderr, "Ostrafen: discarded error: %s\n", what ? what : "(unknown)");
    std::fflush(stderr);
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        reportDiscardedError(e.what());
    } catch (...) {
        reportDiscardedError("an error of unknown kind");
    }
    return false;
}

int Application::discardedErrors() { return g_discarded; }

}  // namespace ui
