#pragma once
// Sites and history rows written straight into the tables, for the tests of
// the history tree, the history pane and its runs. Each returns the key the
// store gave the new row.
#include "store/table.h"

#include <string>

namespace testing_support {

// One hdital row besides its keys.
struct HistoryItemRow {
    std::string type = "Download";
    std::string ftpfile = "remote.bin";
    std::string lofile;
    std::string lopath;
    std::string ftppath = "/pub";
    std::string date = "10:00:00";
    std::string date2 = "10:00:02";
    std::string usetime = "2.5";
    std::string speed = "1.00KB/S";
    bool isfolder = false;
};

// An ftpsite row with a name and an address only.
inline int AddNamedSite(store::Tdm& dm, const std::string& name) {
    store::TableScope t(dm.ftpsite());
    t->append();
    t->setString("name", name);
    t->setString("address", name + ".example");
    t->post();
    return t->asInteger("id");
}

inline int AddHistoryMaster(store::Tdm& dm, int siteId, const std::string& date,
                            const std::string& type = "Download") {
    store::TableScope t(dm.hmaster());
    t->append();
    t->setInteger("id", siteId);
    t->setString("date", date);
    t->setString("type", type);
    t->post();
    return t->asInteger("key");
}

inline int AddHistoryItem(store::Tdm& dm, int masterKey, const HistoryItemRow& row) {
    store::TableScope t(dm.hdital());
    t->append();
    t->setInteger("id", masterKey);
    t->setString("type", row.type);
    t->setString("ftpfile", row.ftpfile);
    t->setString("lofile", row.lofile);
    t->setString("lopath", row.lopath);
    t->setString("ftppath", row.ftppath);
    t->setString("date", row.date);
    t->setString("date2", row.date2);
    t->setString("usetime", row.usetime);
    t->setString("speed", row.speed);
    t->setBoolean("isfolder", row.isfolder);
    t->post();
    return t->asInteger("key");
}

// How many rows a table holds.
inline int RowCount(store::Table& table) {
    store::TableScope t(table);
    int n = 0;
    for (t->first(); !t->eof(); t->next()) ++n;
    return n;
}

}  // namespace testing_support
