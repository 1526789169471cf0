#include "transfer/remote_listing.h"

#include "browser/size_text.h"
#include "ftp/ftp_client.h"

namespace transfer {

namespace {

std::string trimmed(const std::string& s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

bool startsWithTotal(const std::string& line) {
    const std::string t = trimmed(line);
    if (t.size() < 5) return false;
    std::string head = t.substr(0, 5);
    for (char& c : head) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return head == "total";
}

}  // namespace

bool IsDotEntry(const std::string& name) {
    const std::string t = trimmed(name);
    return t == "." || t == "..";
}

std::vector<RemoteEntry> FetchRemoteEntries(TIdFTP& ftp) {
    ftp.FetchListing(nullptr);
    const TIdFTPListItems& items = ftp.ListingEntries();
    if (items.Empty()) {
        // The parser drops a listing it cannot read as a whole; a walk that
        // took that for an empty folder would report a partial tree as done.
        for (const std::string& line : ftp.ListingLines())
            if (!trimmed(line).empty() && !startsWithTotal(line))
                throw EIdException("The listing could not be read.");
    }
    std::vector<RemoteEntry> out;
    out.reserve(items.Count());
    for (const ListingEntry& e : items) {
        RemoteEntry r;
        r.name = e.EntryName;
        r.kind = e.EntryKind == KindFolder ? RemoteEntry::KindFolder
                 : e.EntryKind == KindLink ? RemoteEntry::KindLink
                                           : RemoteEntry::KindFile;
        r.size = e.EntrySize;
        r.modified = browser::formatListingDate(e.Modified);
        out.push_back(std::move(r));
    }
    return out;
}

int FindRemoteEntry(const std::vector<RemoteEntry>& entries, const std::string& name, rtmpinfo& info,
                    bool existsOnly) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].name != name) continue;
        if (!existsOnly) {
            info.remotesize = entries[i].size;
            info.remotedate = entries[i].modified;
        }
        return static_cast<int>(i);
    }
    return -1;
}

}  // namespace transfer
