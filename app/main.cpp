#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Ostrafen FREE Edition"));
    QLabel l(QStringLiteral("Ostrafen"));
    l.show();
    return app.exec();
}
