// Program entry: the application with its error handler, the main window, the
// data module, the message loop.
#include "app/main_window.h"
#include "platform/ui/application.h"
#include "platform/ui/dialog_service.h"
#include "store/table.h"

#include <QIcon>
#include <memory>

int main(int argc, char** argv) {
    // Names the program and sets its title; no display name, which the
    // platform would append to every window's caption.
    ui::Application app(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral("0.1.0"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/ostrafen.png")));
    ui::setHelpFile(QString());

    // The data files live beside the executable (ui::dataDir()); the first
    // showing of the window connects the store to its all.dat.
    auto dm = std::make_unique<store::Tdm>();
    auto window = std::make_unique<TForm1>(*dm);
    window->showMaximized();
    const int rc = app.exec();

    ui::closeHelpWindow();
    // The window's frames go before the data module they may still refer to.
    window.reset();
    dm.reset();
    return rc;
}
