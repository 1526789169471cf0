// Listing rows, the listing cache, sorting and size texts, without a view.
#include "browser/listing_state.h"
#include "browser/remote_list_model.h"
#include "browser/size_text.h"

#include <gtest/gtest.h>

using browser::ListingState;
using browser::RemoteListModel;

namespace {

std::string fakeType(const std::string& name) {
    const auto dot = name.rfind('.');
    if (dot == std::string::npos) return "File";
    return name.substr(dot + 1) + " file";
}

RemoteEntry entry(std::string name, RemoteEntry::Kind kind, std::int64_t size = 0,
                  std::string modified = "2024-01-01 00:00:00") {
    return RemoteEntry{std::move(name), kind, size, std::move(modified)};
}

std::vector<std::string> names(const ListingState& s) {
    std::vector<std::string> out;
    for (const auto& r : s.listing) out.push_back(r.name);
    return out;
}

// Model and listing must agree after every change the frame makes.
void expectConsistent(const RemoteListModel& m, const ListingState& s) {
    ASSERT_EQ(m.rowCount(), static_cast<int>(s.listing.size()));
    ASSERT_EQ(m.columnCount(), 4);
    for (int i = 0; i < m.rowCount(); ++i) {
        const auto& r = s.listing[static_cast<std::size_t>(i)];
        EXPECT_EQ(m.data(m.index(i, 0), Qt::DisplayRole).toString(), browser::fromBytes(r.name));
        EXPECT_EQ(m.data(m.index(i, 1), Qt::DisplayRole).toString(), browser::fromBytes(r.sizetext));
        EXPECT_EQ(m.data(m.index(i, 2), Qt::DisplayRole).toString(), browser::fromBytes(r.typetext));
        EXPECT_EQ(m.data(m.index(i, 3), Qt::DisplayRole).toString(), browser::fromBytes(r.modified));
        EXPECT_FALSE(m.index(i, 0).parent().isValid());
        EXPECT_EQ(m.rowCount(m.index(i, 0)), 0);
    }
}

}  // namespace

TEST(SizeTexts, ListingRoundsHalfToEvenAndShowsAtLeastOne) {
    EXPECT_EQ(browser::listingSizeText(1536), "2KB");   // 1.5 -> 2
    EXPECT_EQ(browser::listingSizeText(2560), "2KB");   // 2.5 -> 2
    EXPECT_EQ(browser::listingSizeText(3584), "4KB");   // 3.5 -> 4
    EXPECT_EQ(browser::listingSizeText(10), "1KB");
    EXPECT_EQ(browser::listingSizeText(0), "1KB");
    EXPECT_EQ(browser::listingSizeText(1535), "1KB");
    EXPECT_EQ(browser::listingSizeText(1537), "2KB");
    // Beyond 4 GiB the count must not wrap.
    EXPECT_EQ(browser::listingSizeText(5LL * 1024 * 1024 * 1024 + 100), "5242880KB");
}

TEST(SizeTexts, ExportFallsBackToBytesBelowHalfAKiB) {
    EXPECT_EQ(browser::SizeText(100), "100bytes");
    EXPECT_EQ(browser::SizeText(512), "512bytes");  // 0.5 -> 0
    EXPECT_EQ(browser::SizeText(513), "1KB");
    EXPECT_EQ(browser::SizeText(0), "0bytes");
    EXPECT_EQ(browser::SizeText(2048), "2KB");
}

TEST(SizeTexts, ListingDatesFormatAsFixedText) {
    EXPECT_EQ(browser::formatListingDate(0), "1899-12-30 00:00:00");
    // 2024-01-05 10:20:30
    const double d = 45296 + (10 * 3600 + 20 * 60 + 30) / 86400.0;
    EXPECT_EQ(browser::formatListingDate(d), "2024-01-05 10:20:30");
    EXPECT_EQ(browser::formatListingDate(36526), "2000-01-01 00:00:00");
    EXPECT_EQ(browser::parseSize("6000000000"), 6000000000LL);
    EXPECT_EQ(browser::parseSize("x"), 0);
}

TEST(ListingRows, FilesAndFoldersGetTheirDisplayFields) {
    ListingState s(fakeType);
    s.AddListingRow("docs", "Folder", "2024-01-02 03:04:05", "4096");
    s.AddListingRow("a.txt", "", "2024-01-02 03:04:06", "1536");
    s.AddListingRow(".", "Folder", "", "0");
    s.AddListingRow("..", "", "", "0");
    ASSERT_EQ(s.listing.size(), 2u);
    const auto& f = s.listing[0];
    EXPECT_EQ(f.image, 0);
    EXPECT_EQ(f.typetext, "Folder");
    EXPECT_EQ(f.size, 0);
    EXPECT_TRUE(f.sizetext.empty());
    EXPECT_TRUE(f.sorttype.empty());
    EXPECT_TRUE(f.isFolder());
    const auto& a = s.listing[1];
    EXPECT_EQ(a.image, 1);
    EXPECT_EQ(a.size, 1536);
    EXPECT_EQ(a.sizetext, "2KB");
    EXPECT_EQ(a.typetext, "txt file");
    EXPECT_EQ(a.sorttype, "txt file");
    EXPECT_FALSE(a.isFolder());
}

TEST(ListingRows, PlatformTypeNameNeedsNoFile) {
    const std::string t = browser::platformTypeName("no-such-file-here.txt");
    EXPECT_FALSE(t.empty());
    EXPECT_NE(t, "Folder");
    EXPECT_EQ(browser::platformTypeName("other.txt"), t);
}

TEST(ListingCache, ListingReplacesTheFolderAndKeepsOthers) {
    ListingState s(fakeType);
    s.applyListing("/a", {entry(".", RemoteEntry::KindFolder), entry("x.txt", RemoteEntry::KindFile, 10),
                          entry("sub", RemoteEntry::KindFolder, 4096)});
    s.applyListing("/b", {entry("y.txt", RemoteEntry::KindFile, 20)});
    ASSERT_EQ(s.listingcache.size(), 3u);
    // Cache rows keep the raw byte count, and links count as files.
    EXPECT_EQ(s.listingcache[0].folder, "/a");
    EXPECT_EQ(s.listingcache[0].sizetext, "10");
    EXPECT_EQ(s.listingcache[0].typetext, "");
    EXPECT_EQ(s.listingcache[1].typetext, "Folder");

    s.applyListing("/a", {entry("z.bin", RemoteEntry::KindLink, 5)});
    ASSERT_EQ(s.listingcache.size(), 2u);
    EXPECT_EQ(s.listingcache[0].folder, "/b");
    EXPECT_EQ(s.listingcache[1].name, "z.bin");
    EXPECT_EQ(names(s), std::vector<std::string>{"z.bin"});

    ASSERT_TRUE(s.loadFromCache("/b"));
    EXPECT_EQ(names(s), std::vector<std::string>{"y.txt"});
    EXPECT_EQ(s.listing[0].sizetext, "1KB");
    EXPECT_EQ(s.listing[0].size, 20);
}

TEST(ListingCache, EmptyFolderLeavesNothingToShowFromCache) {
    ListingState s(fakeType);
    s.applyListing("/e", {entry(".", RemoteEntry::KindFolder), entry("..", RemoteEntry::KindFolder)});
    EXPECT_TRUE(s.listing.empty());
    EXPECT_TRUE(s.listingcache.empty());
    EXPECT_FALSE(s.loadFromCache("/e"));
}

TEST(ListingCache, ForgetIsExactAndCaseSensitive) {
    ListingState s(fakeType);
    s.AddCacheRow("/a", "F", "", "1", "");
    s.AddCacheRow("/a", "f", "", "1", "");
    s.AddCacheRow("/A", "f", "", "1", "");
    s.AddCacheRow("/a/f", "deep", "", "1", "");
    s.AddCacheRow("/a/f/g", "deeper", "", "1", "");
    s.AddCacheRow("/ab", "other", "", "1", "");
    s.ForgetCached("/a", "f");
    ASSERT_EQ(s.listingcache.size(), 5u);
    EXPECT_EQ(s.listingcache[0].name, "F");
    s.ForgetCachedBelow("/a/f");
    ASSERT_EQ(s.listingcache.size(), 4u);
    s.ForgetCachedBelow("/a");
    ASSERT_EQ(s.listingcache.size(), 3u);  // "/ab" is a sibling, not below "/a"
    s.ForgetCached("/a");
    ASSERT_EQ(s.listingcache.size(), 2u);
    EXPECT_EQ(s.listingcache[0].folder, "/A");
    EXPECT_EQ(s.listingcache[1].folder, "/ab");
}

TEST(ListingSort, FourKeysAscending) {
    ListingState s(fakeType);
    s.applyListing("/", {entry("beta.txt", RemoteEntry::KindFile, 3000, "2024-03-01 00:00:00"),
                         entry("Alpha.zip", RemoteEntry::KindFile, 10, "2023-01-01 00:00:00"),
                         entry("gamma", RemoteEntry::KindFolder, 0, "2025-01-01 00:00:00"),
                         entry("delta.TXT", RemoteEntry::KindFile, 6000000000LL, "2022-06-01 00:00:00")});
    // Type first (the default): the folder has an empty key; "TXT file" and
    // "txt file" compare equal without regard to case.
    ASSERT_EQ(s.listing.front().name, "gamma");
    EXPECT_EQ(s.listing.back().name, "Alpha.zip");

    s.sortcolumn = browser::SortByName;
    s.SortListing();
    EXPECT_EQ(names(s), (std::vector<std::string>{"Alpha.zip", "beta.txt", "delta.TXT", "gamma"}));

    s.sortcolumn = browser::SortBySize;
    s.SortListing();
    EXPECT_EQ(names(s), (std::vector<std::string>{"gamma", "Alpha.zip", "beta.txt", "delta.TXT"}));

    s.sortcolumn = browser::SortByDate;
    s.SortListing();
    EXPECT_EQ(names(s), (std::vector<std::string>{"delta.TXT", "Alpha.zip", "beta.txt", "gamma"}));
    // Sorting twice gives the same order (no descending toggle).
    s.SortListing();
    EXPECT_EQ(names(s).front(), "delta.TXT");
}

TEST(ListingSort, OddNamesSortAndKeepTheirBytes) {
    ListingState s(fakeType);
    const std::string bad = std::string("caf\xE9", 4) + ".txt";  // Latin-1, not UTF-8
    s.applyListing("/", {entry(" leading", RemoteEntry::KindFile, 1), entry(bad, RemoteEntry::KindFile, 1),
                         entry("\xC3\xA9t\xC3\xA9", RemoteEntry::KindFile, 1), entry("Zed", RemoteEntry::KindFile, 1)});
    s.sortcolumn = browser::SortByName;
    s.SortListing();
    ASSERT_EQ(s.listing.size(), 4u);
    bool found = false;
    for (const auto& r : s.listing) found |= r.name == bad;
    EXPECT_TRUE(found);
    RemoteListModel m(&s.listing);
    m.refresh();
    for (int i = 0; i < 4; ++i)
        if (s.listing[static_cast<std::size_t>(i)].name == bad) {
            EXPECT_TRUE(m.data(m.index(i, 0), Qt::DisplayRole).toString().contains(QChar(0xFFFD)));
        }
}

TEST(RemoteListModelTest, StaysConsistentThroughEveryChange) {
    ListingState s(fakeType);
    RemoteListModel m(&s.listing);
    expectConsistent(m, s);
    s.applyListing("/", {entry("b", RemoteEntry::KindFile, 1), entry("a", RemoteEntry::KindFolder)});
    m.refresh();
    expectConsistent(m, s);
    s.addNewFolderRow("new", "2024-01-01 00:00:00");
    m.refresh();
    expectConsistent(m, s);
    EXPECT_EQ(s.listing.back().name, "new");  // appended, not sorted in
    s.renameRows("/", "b", "c");
    m.refresh();
    expectConsistent(m, s);
    s.removeListingRows("a");
    m.refresh();
    expectConsistent(m, s);
    s.clear();
    m.refresh();
    expectConsistent(m, s);
}

TEST(RemoteListModelTest, LaggingRowCountNeverReadsPastTheRows) {
    ListingState s(fakeType);
    s.applyListing("/", {entry("a", RemoteEntry::KindFile, 1), entry("b", RemoteEntry::KindFile, 1)});
    RemoteListModel m(&s.listing);
    m.refresh();
    s.listing.clear();  // as while a listing blocks and the window repaints
    EXPECT_FALSE(m.data(m.index(1, 0), Qt::DisplayRole).isValid());
    EXPECT_EQ(m.row(1), nullptr);
}
