#pragma once
// The queue's own rules, as plain functions over a page's QueueState: adding
// entries, finding them by id, and what the queue popup may do while a run
// holds an entry.
#include "browser/queue_state.h"

#include <cstdint>
#include <string>
#include <vector>

namespace transfer {

// True when an entry with exactly this localpath, name and remotedir is queued.
bool IsQueued(const QueueState& st, const std::string& name, const std::string& localpath,
              const std::string& remotedir);

// Appends the entry with the next id (nextId counts up for the page's
// lifetime and is never reused); returns that id.
std::uint64_t AppendQueueEntry(QueueState& st, rupdown entry, std::uint64_t& nextId);

// Appends each entry that is not queued yet (IsQueued); the ids appended.
std::vector<std::uint64_t> QueueEntries(QueueState& st, const std::vector<rupdown>& entries,
                                        std::uint64_t& nextId);

// Position of the entry with this id, or -1.
int FindQueueEntry(const QueueState& st, std::uint64_t id);
// Removes the entry with this id; false when it is no longer queued.
bool RemoveQueueEntry(QueueState& st, std::uint64_t id);

// The queue popup. `taken` is the id of the entry a run has taken (0: none):
// from the moment the run takes it until it is done, "Delete" and "Clear"
// leave it alone.
struct QueuePopupState {
    bool transfer = false, stop = false, del = false, clear = false;
};
QueuePopupState QueuePopupFor(const std::vector<std::uint64_t>& selected, std::uint64_t taken);
// The selected ids "Delete" removes.
std::vector<std::uint64_t> DeletableIds(const std::vector<std::uint64_t>& selected, std::uint64_t taken);
// The ids "Clear" removes, last to first.
std::vector<std::uint64_t> ClearableIds(const QueueState& st, std::uint64_t taken);

// Row texts. "Size (bytes)": empty for folders and for uploads of size 0.
std::string QueueSizeText(const rupdown& e);
// "Path": the folder part of localpath with its final separator.
std::string QueuePathText(const rupdown& e);

}  // namespace transfer
