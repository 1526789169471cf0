#pragma once
// The part of running a task that needs no page: the checks of each item, with
// their messages, and the queue entries of the items that pass. The page of
// the task's site then queues the entries and runs them.
#include "browser/queue_entry.h"
#include "store/task_records.h"

#include <QString>
#include <functional>
#include <string>
#include <vector>

namespace tasks {

// What "Execute" hands on, copied: nothing in it refers to the task tree.
struct TaskRun {
    rtask task;                              // task.ftp names the page to run on
    std::vector<rtaskupdown> items;          // the items that passed, in table order
    std::vector<rupdown> entries;            // their queue entries, same order
    std::vector<std::string> refusedNames;   // remote names not usable as local names
};

// Checks each item in order and builds the entries of those that pass. Each
// skipped item is reported through `error` with its message; the walk goes
// on. Uploads need their local file or folder; downloads get their local
// folder created (an empty folder is refused: it would mean wherever the
// program runs) and need a remote name that is safe as a local name.
TaskRun PrepareTaskRun(const rtask& task, const std::vector<rtaskupdown>& items,
                       const std::function<void(const QString&)>& error);

}  // namespace tasks
