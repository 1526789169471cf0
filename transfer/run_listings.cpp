#include "transfer/run_listings.h"

namespace transfer {

const std::vector<RemoteEntry>& RunListings::entries(const std::string& folder, const Fetch& fetch) {
    auto it = folders_.find(folder);
    if (it == folders_.end()) it = folders_.emplace(folder, fetch()).first;
    return it->second;
}

void RunListings::added(const std::string& folder, const std::string& name, RemoteEntry::Kind kind,
                        std::int64_t size) {
    auto it = folders_.find(folder);
    if (it == folders_.end()) return;  // not listed yet: the next look lists it
    for (RemoteEntry& e : it->second) {
        if (e.name == name) {
            e.kind = kind;
            e.size = size;
            return;
        }
    }
    RemoteEntry e;
    e.name = name;
    e.kind = kind;
    e.size = size;
    it->second.push_back(std::move(e));
}

}  // namespace transfer
