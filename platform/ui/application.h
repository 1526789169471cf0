#pragma once
// The application object. Its event dispatch is the one place where an error
// that no operation caught ends up: it is written to the standard error stream
// and discarded without any message box, and the program goes on.
#include <QApplication>

namespace ui {

class Application : public QApplication {
    Q_OBJECT
public:
    // Also names the program: application name "Ostrafen" and the title
    // "Ostrafen FREE Edition" (see applicationTitle()).
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // How many errors were discarded so far (for diagnostics and tests).
    static int discardedErrors();
};

// The application's title, the caption of message boxes. It is deliberately
// not Qt's application display name: the platform would append that to every
// window's caption ("About — ..."), and each window has its own.
QString applicationTitle();
void setApplicationTitle(const QString& title);

// Writes one discarded error to stderr, in the handler's format. Operations that
// end themselves on an error they did not expect report it the same way.
void reportDiscardedError(const char* what);

}  // namespace ui
