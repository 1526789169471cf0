#include "platform/ui/file_type.h"

#include <QMimeDatabase>
#include <QMimeType>

#include <algorithm>

namespace ui {

QString fileTypeName(const QString& fileName, bool isFolder) {
    if (isFolder) return QStringLiteral("File folder");
    // Only the last path component counts; remote names may carry either separator.
    QString name = fileName;
    const int cut = std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    if (cut >= 0) name = name.mid(cut + 1);

    static const QMimeDatabase db;
    const QList<QMimeType> types = db.mimeTypesForFileName(name);
    if (!types.isEmpty() && !types.first().comment().isEmpty()) {
        QString c = types.first().comment();
        c[0] = c[0].toUpper();
        return c;
    }
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0 && dot + 1 < name.size())
        return name.mid(dot + 1).toUpper() + QStringLiteral(" File");
    return QStringLiteral("File");
}

}  // namespace ui
