#pragma once
// The transfer queue of one page and the state of the run that works through
// it. Plain data: the page's connection session owns one, the transfer engine
// reads and writes it, the queue list shows it.
#include "browser/queue_entry.h"

#include <cstdint>
#include <string>
#include <vector>

struct QueueState {
    std::vector<rupdown> queue;
    bool running = false;      // a run is allowed and in progress
    bool askdup = true;        // ask about an existing target (else dupchoice holds)
    int dupchoice = -1;        // the "... all" answer for the rest of a run; -1 none
    std::string newname;       // the name chosen by "Rename"
    std::int64_t resumeat = 0, remaining = 0, expectedsize = 0;
    std::int64_t workstart = 0, itemstart = 0, itemend = 0, elapsedms = 0;
    std::int64_t idlecount = 0; // anti-idle ticks since the last command or progress
};
