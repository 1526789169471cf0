#include "transfer/queue_rules.h"

#include "transfer/local_target.h"

#include <algorithm>

namespace transfer {

bool IsQueued(const QueueState& st, const std::string& name, const std::string& localpath,
              const std::string& remotedir) {
    return std::any_of(st.queue.begin(), st.queue.end(), [&](const rupdown& e) {
        return e.localpath == localpath && e.name == name && e.remotedir == remotedir;
    });
}

std::uint64_t AppendQueueEntry(QueueState& st, rupdown entry, std::uint64_t& nextId) {
    if (nextId == 0) nextId = 1;  // 0 stands for "no entry"
    entry.id = nextId++;
    st.queue.push_back(std::move(entry));
    return st.queue.back().id;
}

std::vector<std::uint64_t> QueueEntries(QueueState& st, const std::vector<rupdown>& entries,
                                        std::uint64_t& nextId) {
    std::vector<std::uint64_t> ids;
    for (const rupdown& e : entries)
        if (!IsQueued(st, e.name, e.localpath, e.remotedir)) ids.push_back(AppendQueueEntry(st, e, nextId));
    return ids;
}

int FindQueueEntry(const QueueState& st, std::uint64_t id) {
    for (std::size_t i = 0; i < st.queue.size(); ++i)
        if (st.queue[i].id == id) return static_cast<int>(i);
    return -1;
}

bool RemoveQueueEntry(QueueState& st, std::uint64_t id) {
    const int i = FindQueueEntry(st, id);
    if (i < 0) return false;
    st.queue.erase(st.queue.begin() + i);
    return true;
}

QueuePopupState QueuePopupFor(const std::vector<std::uint64_t>& selected, std::uint64_t taken) {
    QueuePopupState s;
    if (selected.empty()) return s;
    s.transfer = s.stop = s.clear = true;
    s.del = !DeletableIds(selected, taken).empty();
    return s;
}

std::vector<std::uint64_t> DeletableIds(const std::vector<std::uint64_t>& selected, std::uint64_t taken) {
    std::vector<std::uint64_t> out;
    for (std::uint64_t id : selected)
        if (id != taken) out.push_back(id);
    return out;
}

std::vector<std::uint64_t> ClearableIds(const QueueState& st, std::uint64_t taken) {
    std::vector<std::uint64_t> out;
    for (auto it = st.queue.rbegin(); it != st.queue.rend(); ++it)
        if (it->id != taken) out.push_back(it->id);
    return out;
}

std::string QueueSizeText(const rupdown& e) {
    if (e.isfolder || (e.direction == 0 && e.size == 0)) return {};
    return std::to_string(e.size);
}

std::string QueuePathText(const rupdown& e) { return LocalFolderPart(e.localpath); }

}  // namespace transfer
