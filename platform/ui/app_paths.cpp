#include "platform/ui/app_paths.h"

#include <QCoreApplication>
#include <QDir>

namespace ui {
namespace {
QString g_dir;
}

QString executableDir() {
    if (!QCoreApplication::instance()) return QString();
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

QString dataDir() {
    if (g_dir.isEmpty()) return executableDir();
    return g_dir;
}

void setDataDir(const QString& dir) { g_dir = dir; }

QString dataFile(const QString& name) {
    return QDir::toNativeSeparators(QDir(dataDir()).filePath(name));
}

}  // namespace ui
