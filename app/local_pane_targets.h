#pragma once
// Where things coming from a server land on the local disk: the folder a drop
// goes to, and the check every remote name passes before it becomes part of a
// local path, so nothing is ever written outside the folder meant for it.
#include "browser/drag_formats.h"
#include "browser/queue_entry.h"

#include <QString>
#include <string>
#include <vector>

namespace localpane {

// The folder a drop lands in: a folder item itself, a file item's folder, the
// root folder when the drop point is on no item (empty `itemPath`).
QString DropTargetFolder(const QString& root, const QString& itemPath, bool itemIsFolder);

// Remote rows dropped onto the local list, as queue entries for downloads.
struct DownloadDrop {
    QString frame;                     // object name of the frame the rows came from
    QString targetFolder;
    std::vector<rupdown> entries;      // one per accepted row, in row order
    std::vector<std::string> refused;  // names that cannot be local names
};

// Entries carry the folder the rows were listed in (or "0" when the payload
// names none) and the listed size and date. Names that cannot be local names
// (transfer/local_target.h) are refused, never joined to the folder.
DownloadDrop PlanDownloadDrop(const QString& targetFolder, const dragfmt::RemoteRows& rows);

}  // namespace localpane
