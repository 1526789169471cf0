#pragma once
// Task categories (`task`), tasks (`taskd`) and their items (`taskd2`). Every
// operation is found by id, never by name: two categories or two tasks may
// share a name. Each opens its own table scopes and closes them before it
// returns; changes of several rows are one write.
#include <optional>
#include <string>
#include <vector>

// One task as the task tree carries it; the fields mirror its `taskd` row.
struct rtask {
    int taskid = 0;       // category id
    int id = 0;           // task id
    std::string name;
    std::string ftp;      // name of the site the task runs against
    std::string type;     // direction text as saved ("Upload", "Download")
    std::string common;   // comment
    bool operator==(const rtask&) const = default;
};

// One item of a task: a file or a whole folder with its local and remote folder.
struct rtaskupdown {
    bool isfolder = false;
    std::string files;    // file or folder name, no path
    std::string local;    // local folder
    std::string ftp;      // remote folder
    bool operator==(const rtaskupdown&) const = default;
};

namespace store {

class Tdm;

struct TaskCategory {
    int id = 0;
    std::string name;
    std::string desc;
    bool operator==(const TaskCategory&) const = default;
};

// A category with its tasks, both in table order.
struct TaskCategoryTasks {
    TaskCategory category;
    std::vector<rtask> tasks;
};

// A task downloads when its direction text, in upper case, is "DOWNLOAD".
bool IsDownloadTask(const std::string& type);

// The separator of local paths on this platform.
char LocalSeparator();
// `folder` ending in the local separator; an empty folder stays empty.
std::string WithLocalSeparator(const std::string& folder);

// Every category with the tasks whose `taskid` is its id. A task of no
// existing category is left out.
std::vector<TaskCategoryTasks> ReadTaskTree(Tdm& dm);
std::optional<TaskCategory> ReadTaskCategory(Tdm& dm, int id);
std::optional<rtask> ReadTask(Tdm& dm, int id);
// The items of a task in table order.
std::vector<rtaskupdown> ReadTaskItems(Tdm& dm, int taskId);

// Exact comparison, letter case included.
bool TaskCategoryNameExists(Tdm& dm, const std::string& name);
// Appends a category unless one of that name exists: its new id, or 0 when
// the name was taken and nothing was saved.
int AddTaskCategory(Tdm& dm, const std::string& name, const std::string& desc);
// Renames and redescribes a category (no uniqueness test); false when no
// category has that id.
bool EditTaskCategory(Tdm& dm, int id, const std::string& name, const std::string& desc);

// Writes the task row and replaces its items as a whole, in one write. A
// task id of 0, or one no longer stored, appends a new row. Each item's
// `local` is stored ending in the local separator. Returns the task id.
int SaveTask(Tdm& dm, const rtask& task, const std::vector<rtaskupdown>& items);

// A task with its items; false when no task has that id.
bool DeleteTask(Tdm& dm, int id);
// A category with every task filed under it and their items; false when no
// category has that id (its tasks are deleted all the same).
bool DeleteTaskCategory(Tdm& dm, int id);

// Site names in the order of the site list.
std::vector<std::string> SiteNames(Tdm& dm);
bool SiteExists(Tdm& dm, const std::string& name);

}  // namespace store
