#pragma once
// Every queue entry that moved something leaves one history row.
#include "browser/queue_entry.h"
#include "store/history_append.h"

#include <QDate>
#include <cstdint>
#include <string>

namespace store { class Tdm; }

namespace transfer {

// What the run knows about the entry that just finished.
struct FinishedEntry {
    int siteid = 0;               // 0 for a quick connection
    std::string newname;          // chosen by "Rename", else empty
    std::string folderRanIn;      // the remote folder the entry ran in (as PWD says)
    std::int64_t startMs = 0;     // start and end, milliseconds since the epoch
    std::int64_t endMs = 0;
    std::int64_t elapsedms = 0;   // by the tick count
    std::string speed;            // the speed label's text at the end
};

// The hdital values of a finished entry.
store::HistoryDetail HistoryDetailFor(const rupdown& entry, const FinishedEntry& done);

// Seconds as the shortest decimal text of up to 15 significant digits with
// the user's decimal separator ("2.5", "12").
std::string UseTimeText(std::int64_t elapsedms);
// "hh:mm:ss" in local time.
std::string ClockText(std::int64_t msSinceEpoch);
// The day in the user's long date format.
std::string LongDateText(const QDate& day);

// Files the entry under its site, the day it ended and its direction; one
// store write. Store errors propagate.
void RecordHistory(store::Tdm& dm, const rupdown& entry, const FinishedEntry& done);

}  // namespace transfer
