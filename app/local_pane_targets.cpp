#include "app/local_pane_targets.h"

#include "transfer/local_target.h"

#include <QDir>
#include <QFileInfo>

#include <optional>

namespace localpane {

QString DropTargetFolder(const QString& root, const QString& itemPath, bool itemIsFolder) {
    if (itemPath.isEmpty()) return root;
    if (itemIsFolder) return itemPath;
    return QDir::toNativeSeparators(QFileInfo(itemPath).absolutePath());
}

DownloadDrop PlanDownloadDrop(const QString& targetFolder, const dragfmt::RemoteRows& rows) {
    DownloadDrop drop;
    drop.frame = rows.frame;
    drop.targetFolder = targetFolder;
    const std::string folder = QDir::toNativeSeparators(targetFolder).toUtf8().toStdString();
    for (const dragfmt::RemoteRow& row : rows.rows) {
        std::optional<std::string> target = transfer::LocalTarget(folder, row.name);
        if (!target) {
            drop.refused.push_back(row.name);
            continue;
        }
        rupdown e;
        e.direction = 1;
        e.localpath = std::move(*target);
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
