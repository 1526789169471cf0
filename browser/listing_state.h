#pragma once
// The rows of the shown remote folder (`listing`) and the rows remembered from
// every folder listed since the last disconnect (`listingcache`), with the
// operations that fill, sort and patch them. No view and no connection here.
#include "browser/listing_row.h"

#include <functional>
#include <string>
#include <vector>

namespace browser {

// File-type name of a file name, looked up by the name alone.
using TypeNameFn = std::function<std::string(const std::string& name)>;
// The platform's name (Qt's MIME database, by name only, no file access).
std::string platformTypeName(const std::string& name);

enum SortColumn { SortByName = 0, SortBySize = 1, SortByType = 2, SortByDate = 3 };

class ListingState {
public:
    explicit ListingState(TypeNameFn typeName = platformTypeName);

    std::vector<rdatalist> listing;
    std::vector<rdatalist> listingcache;
    int sortcolumn = SortByType;

    void AddListingRow(const std::string& name, const std::string& typetext,
                       const std::string& modified, const std::string& sizetext);
    void AddCacheRow(const std::string& folder, const std::string& name,
                     const std::string& modified, const std::string& sizetext,
                     const std::string& typetext);
    // Drops the cache rows of `folder`, or only the one called `name`.
    void ForgetCached(const std::string& folder);
    void ForgetCached(const std::string& folder, const std::string& name);
    // Drops the cache rows of every folder below `folder` (not `folder` itself).
    void ForgetCachedBelow(const std::string& folder);

    // Fills `listing` from the cache rows of `path`; false (listing empty) when
    // the cache holds none, so the caller must ask the server.
    bool loadFromCache(const std::string& path);
    // Replaces the cache rows of `folder` and the listing with fresh entries
    // ("." and ".." left out), then sorts.
    void applyListing(const std::string& folder, const std::vector<RemoteEntry>& entries);

    void SortListing();

    // Appends the row of a folder just created (not sorted in).
    void addNewFolderRow(const std::string& name, const std::string& now);
    // Renames the first listing row and the first cache row of `folder` named `from`.
    void renameRows(const std::string& folder, const std::string& from, const std::string& to);
    // Removes every listing row with exactly this name.
    void removeListingRows(const std::string& name);
    bool hasListingRow(const std::string& name) const;

    void clear();

private:
    std::string typeNameOf(const std::string& name);
    TypeNameFn typeName_;
};

// Child path of a remote folder: "/a" + "b" is "/a/b", "/" + "b" is "/b".
std::string joinRemote(const std::string& folder, const std::string& name);

}  // namespace browser
