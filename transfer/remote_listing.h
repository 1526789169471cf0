#pragma once
// A fresh listing of the server's current folder, and looking a name up in it.
#include "browser/listing_row.h"

#include <cstdint>
#include <string>
#include <vector>

class TIdFTP;

namespace transfer {

// What the duplicate dialog compares (the two sides of one target).
struct rtmpinfo {
    std::string path;             // the entry's local path
    std::int64_t remotesize = 0;  // downloads: the expected size; uploads: as listed
    std::string remotedate;       // "yyyy-mm-dd hh:mm:ss", or "?"
    std::int64_t localsize = 0;   // uploads: the local file's size
};

// "LIST" of the current folder, parsed. A listing whose lines could not be
// read raises instead of passing for an empty folder.
std::vector<RemoteEntry> FetchRemoteEntries(TIdFTP& ftp);

// Position of the first entry named exactly `name` (case-sensitive), or -1.
// When found and not existsOnly, the info takes its size and date.
int FindRemoteEntry(const std::vector<RemoteEntry>& entries, const std::string& name, rtmpinfo& info,
                    bool existsOnly);

// The name with blanks trimmed is "." or "..": the folder itself or its
// parent, which servers may list anywhere.
bool IsDotEntry(const std::string& name);

}  // namespace transfer
