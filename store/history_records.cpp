#include "store/history_records.h"

#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace store {

namespace {

struct MasterRow {
    std::string date;
    int direction;
    int key;
};

}  // namespace

std::vector<HistorySite> ReadHistoryTree(Tdm& dm) {
    std::vector<HistorySite> sites;
    std::unordered_map<int, std::vector<size_t>> sitesById;
    {
        TableScope t(dm.ftpsite());
        for (t->first(); !t->eof(); t->next()) {
            HistorySite s;
            s.id = t->asInteger("id");
            s.name = t->asString("name");
            s.address = t->asString("address");
            sitesById[s.id].push_back(sites.size());
            sites.push_back(std::move(s));
        }
    }

    // Entries per site in table order, so each site can take them last first.
    std::unordered_map<int, std::vector<MasterRow>> mastersBySite;
    {
        TableScope t(dm.hmaster());
        for (t->first(); !t->eof(); t->next()) {
            const int id = t->asInteger("id");
            if (!sitesById.count(id)) continue;
            mastersBySite[id].push_back(
                {t->asString("date"), HistoryDirection(t->asString("type")), t->asInteger("key")});
        }
    }

    // Items per entry key, in table order. Keys are unique, so each group is
    // taken by exactly one entry.
    std::unordered_map<int, std::vector<rhd>> itemsByMaster;
    {
        std::unordered_set<int> wanted;
        for (const auto& [id, rows] : mastersBySite)
            for (const MasterRow& m : rows) wanted.insert(m.key);
        TableScope t(dm.hdital());
        for (t->first(); !t->eof(); t->next()) {
            const int master = t->asInteger("id");
            if (!wanted.count(master)) continue;
            rhd r;
            r.type = t->asString("type");
            r.date = t->asString("date");
            r.date2 = t->asString("date2");
            r.ftppath = t->asString("ftppath");
            r.lopath = t->asString("lopath");
            r.ftpfile = t->asString("ftpfile");
            r.lofile = t->asString("lofile");
            r.usetime = t->asString("usetime");
            r.speed = t->asString("speed");
            r.key = t->asInteger("key");
            r.isfolder = t->asBoolean("isfolder");
            itemsByMaster[master].push_back(std::move(r));
        }
    }

    for (HistorySite& site : sites) {
        auto masters = mastersBySite.find(site.id);
        if (masters == mastersBySite.end()) continue;
        // Two sites can only share an id in a damaged file; they copy then.
        const bool shared = sitesById[site.id].size() > 1;
        std::unordered_map<std::string, size_t> dayIndex[2];
        const std::vector<MasterRow>& rows = masters->second;
        for (auto m = rows.rbegin(); m != rows.rend(); ++m) {
            std::vector<HistoryDay>& days = site.days[m->direction];
            auto [at, added] = dayIndex[m->direction].try_emplace(m->date, days.size());
            if (added) days.push_back(HistoryDay{m->date, {}, {}});
            HistoryDay& day = days[at->second];
            day.masterKeys.push_back(m->key);
            auto items = itemsByMaster.find(m->key);
            if (items == itemsByMaster.end()) continue;
            for (rhd& r : items->second) {
                day.items.push_back(shared ? r : std::move(r));
                day.items.back().siteid = site.id;
            }
            if (!shared) itemsByMaster.erase(items);
        }
    }
    return sites;
}

std::optional<std::string> HistorySiteName(Tdm& dm, int siteId) {
    TableScope t(dm.ftpsite());
    if (!t->locate("id", {siteId})) return std::nullopt;
    return t->asString("name");
}

bool DeleteHistoryItem(Tdm& dm, int key) {
    TableScope t(dm.hdital());
    if (!t->locate("key", {key})) return false;
    t->del();
    return true;
}

void DeleteHistoryDay(Tdm& dm, const std::vector<int>& itemKeys,
                      const std::vector<int>& masterKeys) {
    WriteBatch batch(dm.database());
    {
        TableScope t(dm.hdital());
        for (int key : itemKeys)
            if (t->locate("key", {key})) t->del();
    }
    TableScope t(dm.hmaster());
    for (int key : masterKeys)
        if (t->locate("key", {key})) t->del();
}

void ClearHistory(Tdm& dm) {
    WriteBatch batch(dm.database());
    {
        TableScope t(dm.hdital());
        t->empty();
    }
    TableScope t(dm.hmaster());
    t->empty();
}

}  // namespace store
