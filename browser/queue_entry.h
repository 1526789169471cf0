#pragma once
// One queued transfer of a browser frame's queue.
#include <cstdint>
#include <string>

struct rupdown {
    int direction = 0;        // 0 upload, 1 download
    std::string localpath;    // source of an upload, target of a download
    std::string remotedir;    // "0": the folder current when the entry runs
    std::int64_t size = 0;
    std::string name;
    bool isfolder = false;
    std::string remotedate;   // downloads: as listed, or "?"
    bool checkremote = false;
    // Unique within a page's queue for the page's lifetime; rows and the run
    // find an entry again by it, never by its position.
    std::uint64_t id = 0;
};
