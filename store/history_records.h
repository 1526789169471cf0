#pragma once
// The transfer history as the history pane needs it: the whole tree read in one
// pass over each table, and the deletions, each one write to disk.
#include "store/table.h"

#include <optional>
#include <string>
#include <vector>

// One history item behind a node of the history tree: the fields of its
// `hdital` row plus the site it lies under.
struct rhd {
    std::string type;     // "Upload" or "Download"
    std::string date;     // start time
    std::string date2;    // finish time
    std::string ftppath;
    std::string lopath;   // full local path as queued
    std::string ftpfile;
    std::string lofile;
    std::string usetime;
    std::string speed;
    int key = 0;          // hdital.key
    int siteid = 0;       // ftpsite.id of the site
    bool isfolder = false;
};

namespace store {

// One day of one direction: the items of every history entry of that site,
// direction and date text, newest entry first, each entry's items in table order.
struct HistoryDay {
    std::string date;
    std::vector<int> masterKeys;  // the hmaster rows the day was made from
    std::vector<rhd> items;
};

struct HistorySite {
    int id = 0;
    std::string name;
    std::string address;
    std::vector<HistoryDay> days[2];  // [0] "Upload", [1] "Download"
};

// Index into HistorySite::days for an hmaster or hdital `type`: anything but
// "Upload" counts as a download.
inline int HistoryDirection(const std::string& type) { return type == "Upload" ? 0 : 1; }

// Every site in table order with its history. Days of a direction come from the
// site's hmaster rows, last row first; a date text already present adds its
// items to that day. Items come from hdital in table order.
std::vector<HistorySite> ReadHistoryTree(Tdm& dm);

// The name of the site with this id; nullopt when there is none.
std::optional<std::string> HistorySiteName(Tdm& dm, int siteId);

// Deletes the hdital row with this key; false when there is none.
bool DeleteHistoryItem(Tdm& dm, int key);

// Deletes a day: the hdital rows of `itemKeys`, then the hmaster rows of
// `masterKeys`, in one write. Keys no longer present are passed over.
void DeleteHistoryDay(Tdm& dm, const std::vector<int>& itemKeys,
                      const std::vector<int>& masterKeys);

// Empties hmaster and hdital in one write.
void ClearHistory(Tdm& dm);

}  // namespace store
