// The history as the history pane reads and deletes it.
#include "store/history_records.h"
#include "tests/store/store_fixture.h"
#include "tests/support/store/history_rows.h"

#include <filesystem>
#include <random>
#include <sstream>

namespace {

using store::TableScope;
using store_test::StoreTest;

class HistoryRecords : public StoreTest {
protected:
    int site(const std::string& name) { return testing_support::AddNamedSite(*dm, name); }
    int master(int siteId, const std::string& date, const std::string& type) {
        return testing_support::AddHistoryMaster(*dm, siteId, date, type);
    }
    int item(int masterKey, const std::string& lofile, bool folder = false) {
        testing_support::HistoryItemRow row;
        row.lofile = lofile;
        row.ftpfile = lofile + ".remote";
        row.lopath = "/l/" + lofile;
        row.isfolder = folder;
        return testing_support::AddHistoryItem(*dm, masterKey, row);
    }
    size_t rows(store::Table& table) { return static_cast<size_t>(testing_support::RowCount(table)); }
};

// The tree as text, one line per node, so two trees compare with one EXPECT.
std::string dump(const std::vector<store::HistorySite>& sites) {
    std::ostringstream out;
    for (const auto& s : sites) {
        out << s.id << ' ' << s.name << " (" << s.address << ")\n";
        for (int d = 0; d < 2; ++d) {
            out << "  " << d << '\n';
            for (const auto& day : s.days[d]) {
                out << "    " << day.date << '\n';
                for (const rhd& r : day.items)
                    out << "      " << r.key << ' ' << r.lofile << ' ' << r.ftpfile << ' ' << r.lopath
                        << ' ' << r.usetime << ' ' << r.siteid << ' ' << r.isfolder << '\n';
            }
        }
    }
    return out.str();
}

// The walk the tree stands for: per site, its entries last to first, and for
// each entry a walk over every detail row.
std::vector<store::HistorySite> perMasterWalk(store::Tdm& dm) {
    std::vector<store::HistorySite> out;
    TableScope s(dm.ftpsite()), h(dm.hmaster()), d(dm.hdital());
    for (s->first(); !s->eof(); s->next()) {
        store::HistorySite site;
        site.id = s->asInteger("id");
        site.name = s->asString("name");
        site.address = s->asString("address");
        for (h->last(); !h->bof(); h->prior()) {
            if (h->asInteger("id") != site.id) continue;
            auto& days = site.days[h->asString("type") == "Upload" ? 0 : 1];
            store::HistoryDay* day = nullptr;
            for (auto& existing : days)
                if (existing.date == h->asString("date")) day = &existing;
            if (!day) day = &days.emplace_back(store::HistoryDay{h->asString("date"), {}, {}});
            for (d->first(); !d->eof(); d->next()) {
                if (d->asInteger("id") != h->asInteger("key")) continue;
                rhd r;
                r.key = d->asInteger("key");
                r.lofile = d->asString("lofile");
                r.ftpfile = d->asString("ftpfile");
                r.lopath = d->asString("lopath");
                r.usetime = d->asString("usetime");
                r.isfolder = d->asBoolean("isfolder");
                r.siteid = site.id;
                day->items.push_back(r);
            }
        }
        out.push_back(std::move(site));
    }
    return out;
}

TEST_F(HistoryRecords, OnePassTreeEqualsThePerEntryWalk) {
    // Interleaved sites and entries, repeated day texts, an odd direction
    // text, entries of a deleted site and details of a deleted entry.
    std::mt19937 rng(7);
    std::vector<int> sites{site("a"), site("b"), site("c")};
    sites.push_back(99);  // no such site
    site("empty");
    const char* dates[] = {"Monday, 1 May", "Tuesday, 2 May", "Friday, 5 May"};
    const char* types[] = {"Upload", "Download", "download"};
    std::vector<int> masters{12345};  // no such entry
    {
        store::WriteBatch batch(dm->database());
        for (int i = 0; i < 40; ++i)
            masters.push_back(master(sites[rng() % sites.size()], dates[rng() % 3], types[rng() % 3]));
        for (int i = 0; i < 400; ++i)
            item(masters[rng() % masters.size()], "f" + std::to_string(i), rng() % 5 == 0);
    }
    const auto tree = store::ReadHistoryTree(*dm);
    EXPECT_EQ(dump(tree), dump(perMasterWalk(*dm)));
    ASSERT_EQ(tree.size(), 4u);
    EXPECT_EQ(tree[3].name, "empty");
    EXPECT_TRUE(tree[3].days[0].empty() && tree[3].days[1].empty());
}

TEST_F(HistoryRecords, ADayIsDeletedInOneWrite) {
    const int day = master(site("a"), "Monday", "Download");
    std::vector<int> keys;
    {
        store::WriteBatch batch(dm->database());
        for (int i = 0; i < 400; ++i) keys.push_back(item(day, std::to_string(i)));
    }
    // Every commit adds at least one page to the write-ahead log; a commit
    // per row would add hundreds.
    const auto wal = std::filesystem::path(storePath() + "-wal");
    const auto before = std::filesystem::file_size(wal);
    store::DeleteHistoryDay(*dm, keys, {day});
    EXPECT_LT(std::filesystem::file_size(wal), before + 40 * 4096);
    EXPECT_EQ(rows(dm->hdital()), 0u);
}

// Another program holding the file: the deletes fail as a whole and say so.
TEST_F(HistoryRecords, AWriteThatCannotReachTheFileThrowsAndChangesNothing) {
    const int day = master(site("a"), "Monday", "Download");
    const int key = item(day, "x");
    dm->database().setBusyTimeout(50);
    dm->database().disconnect();
    dm->database().connect();
    auto other = openModule();
    store::WriteBatch lock(other->database());
    EXPECT_THROW(store::DeleteHistoryDay(*dm, {key}, {day}), store::EStoreError);
    EXPECT_THROW(store::ClearHistory(*dm), store::EStoreError);
    EXPECT_EQ(rows(dm->hdital()) + rows(dm->hmaster()), 2u);
}

}  // namespace
