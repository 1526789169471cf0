#include "app/local_pane_targets.h"

#include <QDir>
#include <QFileInfo>

#include <cstring>

namespace localpane {

bool LocalNameAllowed(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
#ifdef _WIN32
    const char* forbidden = "/\\:";
#else
    const char* forbidden = "/\\";
#endif
    for (char c : name)
        if (c == '\0' || std::strchr(forbidden, c)) return false;
    return true;
}

QString DropTargetFolder(const QString& root, const QString& itemPath, bool itemIsFolder) {
    if (itemPath.isEmpty()) return root;
    if (itemIsFolder) return itemPath;
    return QDir::toNativeSeparators(QFileInfo(itemPath).absolutePath());
}

std::string JoinLocal(const QString& folder, const std::string& name) {
    std::string out = QDir::toNativeSeparators(folder).toUtf8().toStdString();
    const char sep = QDir::separator().toLatin1();
    if (out.empty() || out.back() != sep) out.push_back(sep);
    out.append(name);
    return out;
}

QString LocalFolderPart(const QString& path) {
    const int at = path.lastIndexOf(QDir::separator());
    return at < 0 ? QString() : path.left(at + 1);
}

QString LocalNamePart(const QString& path) {
    return path.mid(path.lastIndexOf(QDir::separator()) + 1);
}

DownloadDrop PlanDownloadDrop(const QString& targetFolder, const dragfmt::RemoteRows& rows) {
    DownloadDrop drop;
    drop.frame = rows.frame;
    drop.targetFolder = targetFolder;
    for (const dragfmt::RemoteRow& row : rows.rows) {
        if (!LocalNameAllowed(row.name)) {
            drop.refused.push_back(row.name);
            continue;
        }
        rupdown e;
        e.direction = 1;
        e.localpath = JoinLocal(targetFolder, row.name);
        e.remotedir = rows.folder.empty() ? std::string("0") : rows.folder;
        e.size = row.size;
        e.name = row.name;
        e.isfolder = row.isfolder;
        e.remotedate = row.date;
        e.checkremote = false;
        drop.entries.push_back(std::move(e));
    }
    return drop;
}

}  // namespace localpane
