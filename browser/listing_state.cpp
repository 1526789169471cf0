#include "browser/listing_state.h"

#include "browser/size_text.h"

#include <QCollator>
#include <QMimeDatabase>
#include <QString>

#include <algorithm>
#include <numeric>
#include <unordered_map>

namespace browser {

std::string platformTypeName(const std::string& name) {
    static QMimeDatabase db;
    // Many rows share an extension; the lookup by glob is the costly part.
    static std::unordered_map<std::string, std::string> byExtension;
    const auto dot = name.find('.');
    std::string key;
    if (dot != std::string::npos && dot > 0) {
        key = name.substr(dot);
        for (char& c : key)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        auto it = byExtension.find(key);
        if (it != byExtension.end()) return it->second;
    }
    const QMimeType t = db.mimeTypeForFile(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())),
                                           QMimeDatabase::MatchExtension);
    std::string text = t.isValid() ? t.comment().toStdString() : std::string();
    if (text.empty()) text = "File";
    if (!key.empty() && byExtension.size() < 4096) byExtension.emplace(key, text);
    return text;
}

ListingState::ListingState(TypeNameFn typeName) : typeName_(std::move(typeName)) {}

std::string ListingState::typeNameOf(const std::string& name) {
    return typeName_ ? typeName_(name) : std::string("File");
}

void ListingState::AddListingRow(const std::string& name, const std::string& typetext,
                                 const std::string& modified, const std::string& sizetext) {
    if (name == "." || name == "..") return;
    rdatalist row;
    row.name = name;
    row.modified = modified;
    if (typetext != "Folder") {
        row.size = parseSize(sizetext);
        row.image = 1;
        row.typetext = typeNameOf(name);
        row.sorttype = row.typetext;
        row.sizetext = listingSizeText(row.size);
    } else {
        row.image = 0;
        row.typetext = "Folder";
    }
    listing.push_back(std::move(row));
}

void ListingState::AddCacheRow(const std::string& folder, const std::string& name,
                               const std::string& modified, const std::string& sizetext,
                               const std::string& typetext) {
    rdatalist row;
    row.folder = folder;
    row.name = name;
    row.modified = modified;
    row.sizetext = sizetext;
    row.typetext = typetext;
    row.image = typetext == "Folder" ? 0 : 1;
    listingcache.push_back(std::move(row));
}

void ListingState::ForgetCached(const std::string& folder) {
    std::erase_if(listingcache, [&](const rdatalist& r) { return r.folder == folder; });
}

void ListingState::ForgetCached(const std::string& folder, const std::string& name) {
    std::erase_if(listingcache,
                  [&](const rdatalist& r) { return r.folder == folder && r.name == name; });
}

void ListingState::ForgetCachedBelow(const std::string& folder) {
    std::string prefix = folder;
    if (prefix.empty() || prefix.back() != '/') prefix += '/';
    std::erase_if(listingcache, [&](const rdatalist& r) {
        return r.folder.size() > prefix.size() && r.folder.compare(0, prefix.size(), prefix) == 0;
    });
}

bool ListingState::loadFromCache(const std::string& path) {
    listing.clear();
    for (const rdatalist& r : listingcache)
        if (r.folder == path) AddListingRow(r.name, r.typetext, r.modified, r.sizetext);
    if (listing.empty()) return false;
    SortListing();
    return true;
}

void ListingState::applyListing(const std::string& folder, const std::vector<RemoteEntry>& entries) {
    listing.clear();
    ForgetCached(folder);
    listing.reserve(entries.size());
    for (const RemoteEntry& e : entries) {
        if (e.name == "." || e.name == "..") continue;
        const std::string typetext = e.kind == RemoteEntry::KindFolder ? "Folder" : "";
        const std::string size = std::to_string(e.size);
        AddCacheRow(folder, e.name, e.modified, size, typetext);
        AddListingRow(e.name, typetext, e.modified, size);
    }
    SortListing();
}

namespace {
QString displayText(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
}  // namespace

void ListingState::SortListing() {
    const std::size_t n = listing.size();
    if (n < 2) return;
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    if (sortcolumn == SortByName || sortcolumn == SortByType) {
        QCollator collator;
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        // One key per distinct text: a folder's rows share a handful of types.
        std::vector<QCollatorSortKey> keys;
        std::unordered_map<std::string, std::size_t> keyOf;
        std::vector<std::size_t> rowKey(n);
        for (std::size_t i = 0; i < n; ++i) {
            const std::string& text = sortcolumn == SortByName ? listing[i].name : listing[i].sorttype;
            auto [it, fresh] = keyOf.try_emplace(text, keys.size());
            if (fresh) keys.push_back(collator.sortKey(displayText(text)));
            rowKey[i] = it->second;
        }
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return rowKey[a] != rowKey[b] && keys[rowKey[a]].compare(keys[rowKey[b]]) < 0;
        });
    } else if (sortcolumn == SortBySize) {
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return listing[a].size < listing[b].size;
        });
    } else if (sortcolumn == SortByDate) {
        // The fixed "yyyy-mm-dd hh:mm:ss" form sorts chronologically as text.
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return displayText(listing[a].modified).compare(displayText(listing[b].modified),
                                                            Qt::CaseInsensitive) < 0;
        });
    } else {
        return;
    }
    std::vector<rdatalist> sorted;
    sorted.reserve(n);
    for (std::size_t i : order) sorted.push_back(std::move(listing[i]));
    listing = std::move(sorted);
}

void ListingState::addNewFolderRow(const std::string& name, const std::string& now) {
    rdatalist row;
    row.name = name;
    row.image = 0;
    row.typetext = "Folder";
    row.modified = now;
    listing.push_back(std::move(row));
}

void ListingState::renameRows(const std::string& folder, const std::string& from,
                              const std::string& to) {
    for (rdatalist& r : listingcache)
        if (r.folder == folder && r.name == from) { r.name = to; break; }
    for (rdatalist& r : listing)
        if (r.name == from) { r.name = to; break; }
}

void ListingState::removeListingRows(const std::string& name) {
    std::erase_if(listing, [&](const rdatalist& r) { return r.name == name; });
}

bool ListingState::hasListingRow(const std::string& name) const {
    return std::any_of(listing.begin(), listing.end(),
                       [&](const rdatalist& r) { return r.name == name; });
}

void ListingState::clear() {
    listing.clear();
    listingcache.clear();
}

std::string joinRemote(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

}  // namespace browser
