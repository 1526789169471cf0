#include "store/task_records.h"

#include "store/table.h"

#include <unordered_map>

namespace store {

namespace {

rtask readTaskRow(Table& t) {
    rtask r;
    r.taskid = t.asInteger("taskid");
    r.id = t.asInteger("id");
    r.name = t.asString("name");
    r.ftp = t.asString("ftp");
    r.type = t.asString("type");
    r.common = t.asString("common");
    return r;
}

TaskCategory readCategoryRow(Table& t) {
    return {t.asInteger("id"), t.asString("name"), t.asString("desc")};
}

// Deletes every item row of one task; the caller holds the scope and the batch.
void deleteItems(Table& items, int taskId) {
    while (items.locate("id", {taskId})) items.del();
}

}  // namespace

bool IsDownloadTask(const std::string& type) {
    std::string up = type;
    for (char& c : up)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return up == "DOWNLOAD";
}

char LocalSeparator() {
#ifdef _WIN32
    return '\\';
#else
    return '/';
#endif
}

std::string WithLocalSeparator(const std::string& folder) {
    if (folder.empty() || folder.back() == LocalSeparator()) return folder;
    return folder + LocalSeparator();
}

std::vector<TaskCategoryTasks> ReadTaskTree(Tdm& dm) {
    std::vector<TaskCategoryTasks> out;
    std::unordered_map<int, size_t> byId;
    {
        TableScope t(dm.task());
        for (t->first(); !t->eof(); t->next()) {
            TaskCategory c = readCategoryRow(*t);
            byId.emplace(c.id, out.size());
            out.push_back({std::move(c), {}});
        }
    }
    TableScope t(dm.taskd());
    for (t->first(); !t->eof(); t->next()) {
        auto it = byId.find(t->asInteger("taskid"));
        if (it != byId.end()) out[it->second].tasks.push_back(readTaskRow(*t));
    }
    return out;
}

std::optional<TaskCategory> ReadTaskCategory(Tdm& dm, int id) {
    TableScope t(dm.task());
    if (!t->locate("id", {id})) return std::nullopt;
    return readCategoryRow(*t);
}

std::optional<rtask> ReadTask(Tdm& dm, int id) {
    TableScope t(dm.taskd());
    if (!t->locate("id", {id})) return std::nullopt;
    return readTaskRow(*t);
}

std::vector<rtaskupdown> ReadTaskItems(Tdm& dm, int taskId) {
    std::vector<rtaskupdown> out;
    TableScope t(dm.taskd2());
    for (t->first(); !t->eof(); t->next()) {
        if (t->asInteger("id") != taskId) continue;
        out.push_back({t->asBoolean("isfolder"), t->asString("files"), t->asString("local"),
                       t->asString("ftp")});
    }
    return out;
}

bool TaskCategoryNameExists(Tdm& dm, const std::string& name) {
    TableScope t(dm.task());
    return t->locate("name", {name});
}

int AddTaskCategory(Tdm& dm, const std::string& name, const std::string& desc) {
    TableScope t(dm.task());
    if (t->locate("name", {name})) return 0;
    t->append();
    t->setString("name", name);
    t->setString("desc", desc);
    t->post();
    return t->asInteger("id");
}

bool EditTaskCategory(Tdm& dm, int id, const std::string& name, const std::string& desc) {
    TableScope t(dm.task());
    if (!t->locate("id", {id})) return false;
    t->edit();
    t->setString("name", name);
    t->setString("desc", desc);
    t->post();
    return true;
}

int SaveTask(Tdm& dm, const rtask& task, const std::vector<rtaskupdown>& items) {
    WriteBatch batch(dm.database());
    int id = 0;
    {
        TableScope t(dm.taskd());
        if (task.id != 0 && t->locate("id", {task.id})) {
            t->edit();
        } else {
            // A task deleted while it was being edited comes back as a new one
            // rather than leaving its items without an owner.
            t->append();
        }
        t->setInteger("taskid", task.taskid);
        t->setString("name", task.name);
        t->setString("ftp", task.ftp);
        t->setString("type", task.type);
        t->setString("common", task.common);
        t->post();
        id = t->asInteger("id");
    }
    {
        TableScope t(dm.taskd2());
        deleteItems(*t, id);
        for (const rtaskupdown& item : items) {
            t->append();
            t->setInteger("id", id);
            t->setString("files", item.files);
            t->setString("local", WithLocalSeparator(item.local));
            t->setString("ftp", item.ftp);
            t->setBoolean("isfolder", item.isfolder);
            t->post();
        }
    }
    batch.commit();
    return id;
}

bool DeleteTask(Tdm& dm, int id) {
    WriteBatch batch(dm.database());
    {
        TableScope items(dm.taskd2());
        deleteItems(*items, id);
    }
    bool found = false;
    {
        TableScope t(dm.taskd());
        if (t->locate("id", {id})) {
            t->del();
            found = true;
        }
    }
    batch.commit();
    return found;
}

bool DeleteTaskCategory(Tdm& dm, int id) {
    WriteBatch batch(dm.database());
    bool found = false;
    {
        TableScope t(dm.task());
        if (t->locate("id", {id})) {
            t->del();
            found = true;
        }
    }
    {
        TableScope tasks(dm.taskd());
        TableScope items(dm.taskd2());
        while (tasks->locate("taskid", {id})) {
            deleteItems(*items, tasks->asInteger("id"));
            tasks->del();
        }
    }
    batch.commit();
    return found;
}

std::vector<std::string> SiteNames(Tdm& dm) {
    std::vector<std::string> out;
    TableScope t(dm.ftpsite());
    for (t->first(); !t->eof(); t->next()) out.push_back(t->asString("name"));
    return out;
}

bool SiteExists(Tdm& dm, const std::string& name) {
    TableScope t(dm.ftpsite());
    return t->locate("name", {name});
}

}  // namespace store
