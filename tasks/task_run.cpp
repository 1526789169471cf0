#include "tasks/task_run.h"

#include "transfer/local_target.h"

#include <QDir>
#include <QFileInfo>

namespace tasks {

namespace {

QString text(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

TaskRun PrepareTaskRun(const rtask& task, const std::vector<rtaskupdown>& items,
                       const std::function<void(const QString&)>& error) {
    TaskRun run;
    run.task = task;
    const bool download = store::IsDownloadTask(task.type);
    for (const rtaskupdown& item : items) {
        const std::string path = store::WithLocalSeparator(item.local) + item.files;
        rupdown e;
        e.localpath = path;
        e.remotedir = item.ftp;
        e.name = item.files;
        e.isfolder = item.isfolder;
        if (!download) {
            // The item itself must be there, a folder as a folder and a file
            // as a file; a relative path would read from wherever we run.
            const QFileInfo info(text(path));
            const bool there = !item.local.empty() && info.isAbsolute() &&
                               (item.isfolder ? info.isDir() : info.isFile());
            if (!there) {
                error(QStringLiteral("The file %1 was not exists.").arg(text(path)));
                continue;
            }
            e.direction = 0;
            e.size = item.isfolder ? 0 : info.size();
        } else {
            if (item.local.empty() || !transfer::CreateFolderPath(item.local)) {
                error(QStringLiteral("Can not create the folder %1, please check and enter again.")
                          .arg(text(item.local)));
                continue;
            }
            const std::optional<std::string> target = transfer::LocalTarget(item.local, item.files);
            if (!target) {
                run.refusedNames.push_back(item.files);
                continue;
            }
            e.localpath = *target;
            e.direction = 1;
            e.remotedate.assign(1, '?');  // unknown until listed
            e.checkremote = true;
        }
        run.items.push_back(item);
        run.entries.push_back(std::move(e));
    }
    return run;
}

}  // namespace tasks
