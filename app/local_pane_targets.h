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

// False for a remote name that must not become a local file name: empty, ".",
// "..", or holding "/", "\" or NUL (on Windows also ":").
bool LocalNameAllowed(const std::string& name);

// The folder a drop lands in: a folder item itself, a file item's folder, the
// root folder when the drop point is on no item (empty `itemPath`).
QString DropTargetFolder(const QString& root, const QString& itemPath, bool itemIsFolder);

// `folder`, the separator unless it ends in one, and the name's bytes.
std::string JoinLocal(const QString& folder, const std::string& name);

// The folder part of a local path, ending in the separator; empty when the
// path holds no separator.
QString LocalFolderPart(const QString& path);
// The last part of a local path.
QString LocalNamePart(const QString& path);

// Remote rows dropped onto the local list, as queue entries for downloads.
struct DownloadDrop {
    QString frame;                     // object name of the frame the rows came from
    QString targetFolder;
    std::vector<rupdown> entries;      // one per accepted row, in row order
    std::vector<std::string> refused;  // names that cannot be local names
};

// Entries carry the folder the rows were listed in (or "0" when the payload
// names none) and the listed size and date.
DownloadDrop PlanDownloadDrop(const QString& targetFolder, const dragfmt::RemoteRows& rows);

}  // namespace localpane
