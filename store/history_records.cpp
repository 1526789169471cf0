#include "store/history_records.h"

#include <deque>
#include <unordered_map>
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

    // The days, from the entries alone.
    for (HistorySite& site : sites) {
        auto masters = mastersBySite.find(site.id);
        if (masters == mastersBySite.end()) continue;
        std::unordered_map<std::string, size_t> dayIndex[2];
        const std::vector<MasterRow>& rows = masters->second;
        for (auto m = rows.rbegin(); m != rows.rend(); ++m) {
            std::vector<HistoryDay>& days = site.days[m->direction];
            auto [at, added] = dayIndex[m->direction].try_emplace(m->date, days.size());
            if (added) days.push_back(HistoryDay{m->date, {}, {}});
            days[at->second].masterKeys.push_back(m->key);
        }
    }

    // Where each entry's items go, so every item is read straight into its
    // day. A day made of several entries (the same date text twice) collects
    // them apart and joins them newest entry first. An entry lies under more
    // than one site only when a damaged file repeats a site id.
    struct Target {
        std::vector<rhd>* items;
        int siteId;
    };
    std::unordered_map<int, std::vector<Target>> targets;
    std::deque<std::vector<rhd>> parts;
    std::vector<std::pair<HistoryDay*, std::vector<std::vector<rhd>*>>> joined;
    for (HistorySite& site : sites)
        for (auto& days : site.days)
            for (HistoryDay& day : days) {
                if (day.masterKeys.size() == 1) {
                    targets[day.masterKeys[0]].push_back({&day.items, site.id});
                    continue;
                }
                auto& order = joined.emplace_back(&day, std::vector<std::vector<rhd>*>{}).second;
                for (int key : day.masterKeys) {
                    order.push_back(&parts.emplace_back());
                    targets[key].push_back({order.back(), site.id});
                }
            }

    {
        TableScope t(dm.hdital());
        for (t->first(); !t->eof(); t->next()) {
            auto to = targets.find(t->asInteger("id"));
            if (to == targets.end()) continue;
            rhd& r = to->second.front().items->emplace_back();
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
            r.siteid = to->second.front().siteId;
            r.isfolder = t->asBoolean("isfolder");
            for (size_t k = 1; k < to->second.size(); ++k) {
                to->second[k].items->push_back(r);
                to->second[k].items->back().siteid = to->second[k].siteId;
            }
        }
    }
    for (auto& [day, order] : joined)
        for (std::vector<rhd>* part : order)
            for (rhd& r : *part) day->items.push_back(std::move(r));
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
    {
        TableScope t(dm.hmaster());
        for (int key : masterKeys)
            if (t->locate("key", {key})) t->del();
    }
    batch.commit();
}

void ClearHistory(Tdm& dm) {
    WriteBatch batch(dm.database());
    {
        TableScope t(dm.hdital());
        t->empty();
    }
    {
        TableScope t(dm.hmaster());
        t->empty();
    }
    batch.commit();
}

}  // namespace store
