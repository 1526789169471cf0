#pragma once
// The listings one run has fetched, by remote folder. A duplicate check of
// each queued upload would otherwise list the same folder again for every
// entry; within one run only the run itself adds to those folders, and it
// notes what it added, so the remembered listing gives the same answer.
#include "browser/listing_row.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace transfer {

class RunListings {
public:
    using Fetch = std::function<std::vector<RemoteEntry>()>;

    // The entries of `folder` (the server's current folder): fetched the
    // first time, remembered afterwards. The reference lasts until the next
    // call on this object.
    const std::vector<RemoteEntry>& entries(const std::string& folder, const Fetch& fetch);
    // The run made or replaced `name` in `folder`.
    void added(const std::string& folder, const std::string& name, RemoteEntry::Kind kind, std::int64_t size);
    // Forget one folder, or everything (the end of a run).
    void forget(const std::string& folder) { folders_.erase(folder); }
    void clear() { folders_.clear(); }

private:
    std::map<std::string, std::vector<RemoteEntry>> folders_;
};

}  // namespace transfer
