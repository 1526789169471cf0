#pragma once
// Filing one finished transfer in the history tables: a master row per site,
// day and direction (hmaster) and one detail row per transfer (hdital).
#include <string>

namespace store {

class Tdm;

// The values of one hdital row besides its keys.
struct HistoryDetail {
    std::string type;  // "Download" or "Upload"
    std::string ftpfile, lofile;
    std::string date, date2;  // start and end, "hh:mm:ss"
    std::string ftppath, lopath;
    std::string usetime, speed;
    bool isfolder = false;
};

// Adds `detail` under the master row (siteid, day, detail.type), which is
// created when missing; both rows reach the disk in one write. Returns the
// master row's key.
int AppendHistory(Tdm& dm, int siteid, const std::string& day, const HistoryDetail& detail);

}  // namespace store
