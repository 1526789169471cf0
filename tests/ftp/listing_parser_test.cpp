#include "ftp/listing_parser.h"
#include "platform/net/local_time.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

const ListingDate kMarch15{2026, 3, 15};
const ListingDate kJan10{2026, 1, 10};

TIdFTPListItems parse(const std::vector<std::string>& lines, ListingDate today = kMarch15,
                      const ListingHooks& hooks = {}) {
    return *BuildListingEntries(nullptr, lines, hooks, today);
}

ListingEntry parseOne(const std::string& line, ListingDate today = kMarch15) {
    TIdFTPListItems items = parse({line}, today);
    EXPECT_EQ(items.Count(), 1u) << line;
    return items.Count() ? items[0] : ListingEntry{};
}

void expectTime(double modified, int y, int mo, int d, int h, int mi, int s, int ms) {
    const ListingDateTime t = DecodeListingDateTime(modified);
    EXPECT_EQ(t.Year, y);
    EXPECT_EQ(t.Month, mo);
    EXPECT_EQ(t.Day, d);
    EXPECT_EQ(t.Hour, h);
    EXPECT_EQ(t.Minute, mi);
    EXPECT_EQ(t.Second, s);
    EXPECT_EQ(t.Msec, ms);
}

std::vector<std::string> readCapture(const std::string& name) {
    std::ifstream in(std::string(OSTRAFEN_TEST_TOOLS) + "/listings/" + name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return SplitListingLines(ss.str());
}

TEST(ListingDetect, RecognisesEachFormatFromItsFirstLine) {
    struct Case {
        const char* line;
        ListingFormat format;
    } cases[] = {
        {"-rw-r--r-- 1 alice staff 10 Mar 3 10:15 a", FormatUnix},
        {"drwxr-xr-x 2 0 0 4096 Jan 5 2003 docs", FormatUnix},
        {"lrwxrwxrwx 1 root root 7 Jan 5 2003 bin -> usr/bin", FormatUnix},
        {"crw-rw-rw- 1 root tty 4, 64 Jan 5 2003 tty0", FormatUnix},
        {"-rwsr-sr-t 1 a b 1 Jan 1 2000 x", FormatUnix},
        {"total 24", FormatUnix},
        {"TOTAL 0", FormatUnix},
        {"Dir DSK:[USER] list", FormatDsk},
        {"01-05-03  10:15PM       <DIR>          My Folder", FormatDos},
        {"01-05-03  09:00AM                 1234 a.txt", FormatDos},
        {"01/05/2003  09:00AM            1,234,567 a.txt", FormatDos},
        // sizes wider than the usual column, and a narrowly padded size
        {"01-05-03  09:00AM       123456789012 big.iso", FormatDos},
        {"01-05-03  09:00AM              1,234 a.txt", FormatDos},
        {"hello world", FormatUnknown},
        {"-rw-r--r-", FormatUnknown},      // too short for a permission field
        {"-rw-r--r-Q 1 a b 1 Jan 1 2000 x", FormatUnknown},
        {"01-05-03  09:00AM       abc a.txt", FormatUnknown},
        {"", FormatUnknown},
        {"01-", FormatUnknown},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TIdFTPListItems::CheckListFormat(c.line), c.format) << "line: " << c.line;
    EXPECT_EQ(TIdFTPListItems::CheckListFormat("-rw-r--r-- 1 a b 1 Jan 1 2000 x", false), FormatNameOnly);
}

TEST(ListingUnix, ParsesAPlainFileLine) {
    const ListingEntry e = parseOne("-rw-r--r-- 1 alice staff 1048576 Mar 3 10:15 notes.txt");
    EXPECT_EQ(e.EntryKind, KindFile);
    EXPECT_EQ(e.EntryName, "notes.txt");
    EXPECT_EQ(e.EntrySize, 1048576);
    EXPECT_EQ(e.OwnerName, "alice");
    EXPECT_EQ(e.GroupName, "staff");
    EXPECT_EQ(e.UserRights, "rw-");
    EXPECT_EQ(e.GroupRights, "r--");
    EXPECT_EQ(e.OtherRights, "r--");
    EXPECT_EQ(e.LinkCount, 1);
    EXPECT_EQ(e.RawLine, "-rw-r--r-- 1 alice staff 1048576 Mar 3 10:15 notes.txt");
    expectTime(e.Modified, 2026, 3, 3, 10, 15, 0, 999);
}

TEST(ListingUnix, LinesWithoutYearBelongToLastYearWhenTheMonthIsStillAhead) {
    expectTime(parseOne("-rw-r--r-- 1 alice staff 1 Mar 3 10:15 a", kJan10).Modified, 2025, 3, 3, 10, 15, 0, 999);
    expectTime(parseOne("-rw-r--r-- 1 alice staff 1 Jan 3 10:15 a", kJan10).Modified, 2026, 1, 3, 10, 15, 0, 999);
}

TEST(ListingUnix, FolderWithoutGroupColumnShiftsOwnerToGroup) {
    const ListingEntry e = parseOne("drwxr-xr-x 2 alice 4096 Jan 5 2003 docs");
    EXPECT_EQ(e.EntryKind, KindFolder);
    EXPECT_EQ(e.EntryName, "docs");
    EXPECT_EQ(e.EntrySize, 4096);
    EXPECT_EQ(e.GroupName, "alice");
    EXPECT_EQ(e.OwnerName, "");
    expectTime(e.Modified, 2003, 1, 5, 0, 0, 0, 999);
}

TEST(ListingUnix, LinksSplitAtTheFirstArrow) {
    ListingEntry e = parseOne("lrwxrwxrwx 1 root root 7 Jan 5 2003 bin -> usr/bin");
    EXPECT_EQ(e.EntryKind, KindLink);
    EXPECT_EQ(e.EntryName, "bin");
    EXPECT_EQ(e.LinkTarget, "usr/bin");
    e = parseOne("lrwxrwxrwx 1 root root 7 Jan 5 2003 a -> b -> c");
    EXPECT_EQ(e.EntryName, "a");
    EXPECT_EQ(e.LinkTarget, "b -> c");
    // Without an arrow the name is kept rather than lost.
    e = parseOne("lrwxrwxrwx 1 root root 7 Jan 5 2003 dangling");
    EXPECT_EQ(e.EntryName, "dangling");
    EXPECT_EQ(e.LinkTarget, "");
    // A year glued to the next word leaves only " -> target" behind: never an
    // entry without a name.
    for (const char* line : {"lrwxrwxrwx 1 root root 7 Jan 5 2003inb  -> usr/bin",
                             "lrwxrwxrwx 1 root root 7 Jan 5 10:15  -> usr/bin"}) {
        for (const ListingEntry& l : parse({line})) EXPECT_FALSE(l.EntryName.empty()) << line;
    }
}

TEST(ListingUnix, DeviceNumbersGiveNoSize) {
    ListingEntry e = parseOne("crw-rw-rw- 1 root tty 4, 64 Jan 5 2003 tty0");
    EXPECT_EQ(e.EntrySize, 0);
    EXPECT_EQ(e.EntryName, "tty0");
    expectTime(e.Modified, 2003, 1, 5, 0, 0, 0, 999);
    // Written without a blank after the comma the minor number must not eat the month.
    e = parseOne("brw-rw---- 1 root disk 8,1 Feb 7 2004 sda1");
    EXPECT_EQ(e.EntrySize, 0);
    EXPECT_EQ(e.EntryName, "sda1");
    expectTime(e.Modified, 2004, 2, 7, 0, 0, 0, 999);
}

TEST(ListingUnix, NamesKeepTheirBlanksAndBytes) {
    EXPECT_EQ(parseOne("-rw-r--r-- 1 a b 5 Jan 5 2003 my  file.txt").EntryName, "my  file.txt");
    EXPECT_EQ(parseOne("-rw-r--r-- 1 a b 5 Jan 5 2003  lead").EntryName, " lead");
    EXPECT_EQ(parseOne("-rw-r--r-- 1 a b 5 Jan 5 2003 trail  ").EntryName, "trail  ");
    const std::string latin1 = "caf\xe9 \xff\xfe.txt";
    EXPECT_EQ(parseOne("-rw-r--r-- 1 a b 5 Jan 5 2003 " + latin1).EntryName, latin1);
    EXPECT_EQ(parseOne("-rw-r--r-- 1 a b 5 Jan 5 12:00 caf\xc3\xa9").EntryName, "caf\xc3\xa9");
}

TEST(ListingUnix, SizesAreSixtyFourBitAndNeverNegative) {
    EXPECT_EQ(parseOne("-rw-r--r-- 1 a b 8589934592 Jan 5 2003 big").EntrySize, 8589934592LL);
    EXPECT_EQ(parseOne("-rw-r--r-- 1 a b 9223372036854775807 Jan 5 2003 max").EntrySize, INT64_MAX);
    EXPECT_EQ(parseOne("-rw-r--r-- 1 a b 99999999999999999999 Jan 5 2003 over").EntrySize, 0);
    EXPECT_EQ(parseOne("-rw-r--r-- 1 a b -5 Jan 5 2003 neg").EntrySize, 0);
}

TEST(ListingUnix, OddColumnLayouts) {
    // "folder" in place of the link count: no link count, owner or group.
    ListingEntry e = parseOne("drwxr-xr-x folder 0 Jan 5 2003 Mac Stuff");
    EXPECT_EQ(e.EntryKind, KindFolder);
    EXPECT_EQ(e.EntryName, "Mac Stuff");
    EXPECT_EQ(e.LinkCount, 0);
    EXPECT_EQ(e.OwnerName, "");
    EXPECT_EQ(e.GroupName, "");
    // A link count run into the owner column.
    e = parseOne("-rw-r--r-- 0owner group 12 Jan 5 2003 x");
    EXPECT_EQ(e.LinkCount, 0);
    EXPECT_EQ(e.OwnerName, "owner");
    EXPECT_EQ(e.GroupName, "group");
    EXPECT_EQ(e.EntrySize, 12);
    // Numeric owner and group as vsftpd prints them, wide padding.
    e = parseOne("-rw-------    1 1000     1000        12345 Dec 31  2025 log.txt");
    EXPECT_EQ(e.OwnerName, "1000");
    EXPECT_EQ(e.EntrySize, 12345);
    EXPECT_EQ(e.EntryName, "log.txt");
    expectTime(e.Modified, 2025, 12, 31, 0, 0, 0, 999);
    // Space-padded day (pure-ftpd) and a missing year column word order.
    e = parseOne("-rw-r--r--    1 1000       1000              3 Dec  9 05:07 x y");
    EXPECT_EQ(e.EntryName, "x y");
    expectTime(e.Modified, 2025, 12, 9, 5, 7, 0, 999);
}

TEST(ListingUnix, InvalidDatesFailTheLine) {
    for (const char* bad : {"-rw-r--r-- 1 a b 5 Foo 5 2003 x", "-rw-r--r-- 1 a b 5 Feb 30 2003 x",
                            "-rw-r--r-- 1 a b 5 Jan 5 25:00 x", "-rw-r--r-- 1 a b 5 Jan 5 10:61 x",
                            "-rw-r--r-- 1 a b"})
        EXPECT_EQ(parse({bad}).Count(), 0u) << bad;
    // A day that is not a number means today.
    expectTime(parseOne("-rw-r--r-- 1 a b 5 Jan xx 2003 x").Modified, 2003, 1, 15, 0, 0, 0, 999);
}

TEST(ListingUnix, DskLinesNeverShiftTheGroupColumn) {
    TIdFTPListItems items = parse({"-rw-r--r-- 1 owner grp 7 Jan 5 2003 DSK:file"});
    ASSERT_EQ(items.ListFormat, FormatUnix);  // the permission field wins
    items.ListFormat = FormatDsk;
    ListingEntry e;
    e.RawLine = "-rw-r--r-- 1 alice 4096 Jan 5 2003 docs";
    // Without the shift "Jan" is taken as the size and "5" as the month word.
    EXPECT_THROW(items.ParseEntry(e), EIdException);
    e = ListingEntry{};
    e.RawLine = "-rw-r--r-- 1 alice staff 9 Jan 5 2003 notes";
    items.ParseEntry(e);
    EXPECT_EQ(e.GroupName, "staff");
    EXPECT_EQ(e.EntrySize, 9);
}

TEST(ListingDos, ParsesFoldersAndFiles) {
    TIdFTPListItems items = parse({"01-05-03  10:15PM       <DIR>          My Folder",
                                   "01-05-03  09:00AM              1,234 a.txt"});
    ASSERT_EQ(items.ListFormat, FormatDos);
    ASSERT_EQ(items.Count(), 2u);
    EXPECT_EQ(items[0].EntryKind, KindFolder);
    EXPECT_EQ(items[0].EntryName, "My Folder");
    EXPECT_EQ(items[0].EntrySize, 0);
    expectTime(items[0].Modified, 2003, 1, 5, 22, 15, 0, 0);
    EXPECT_EQ(items[1].EntryKind, KindFile);
    EXPECT_EQ(items[1].EntryName, "a.txt");
    EXPECT_EQ(items[1].EntrySize, 1234);
    expectTime(items[1].Modified, 2003, 1, 5, 9, 0, 0, 0);
    // Untouched columns keep their initial values.
    EXPECT_EQ(items[1].OwnerName, "????????");
    EXPECT_EQ(items[1].UserRights, "???");
}

TEST(ListingDos, FolderNamesSurviveNarrowPaddingAndKeepNoBlankOfWidePadding) {
    TIdFTPListItems items = parse({"01-05-03  10:15PM       <DIR>  Short Pad", "01-05-03  10:15PM       <DIR>           Lead"});
    ASSERT_EQ(items.Count(), 2u);
    EXPECT_EQ(items[0].EntryName, "Short Pad");
    EXPECT_EQ(items[1].EntryName, "Lead");
}

TEST(ListingDos, TimesAndTwoDigitYears) {
    const auto t = [](const std::string& dateTime) {
        return parseOne(dateTime + "                 1234 a.txt").Modified;
    };
    expectTime(t("01-05-03  12:30AM"), 2003, 1, 5, 0, 30, 0, 0);
    expectTime(t("01-05-03  12:30PM"), 2003, 1, 5, 12, 30, 0, 0);
    expectTime(t("01-05-50  23:59  "), 2050, 1, 5, 23, 59, 0, 0);
    expectTime(t("01-05-51  00:00  "), 1951, 1, 5, 0, 0, 0, 0);
    // An invalid date or time keeps the line with an unknown time.
    EXPECT_EQ(t("13-05-03  09:00AM"), 0);
    EXPECT_EQ(t("02-30-03  09:00AM"), 0);
    EXPECT_EQ(t("01-05-03  xx:00AM"), 0);
    const ListingEntry e = parseOne("01-05-03  25:00                  77 b.txt");
    EXPECT_EQ(e.Modified, 0);
    EXPECT_EQ(e.EntryName, "b.txt");
    EXPECT_EQ(e.EntrySize, 77);
    // Four-digit years pass through unchanged.
    expectTime(parseOne("01-05-2003  09:00AM            5 c").Modified, 2003, 1, 5, 9, 0, 0, 0);
}

TEST(ListingLoad, TotalLineIsSkippedAndTheFormatStaysUnix) {
    TIdFTPListItems items = parse({"total 24", "Xrw-r--r-- 1 a b 5 Jan 5 2003 x",
                                   "-rw-r--r-- 1 a b 5 Jan 5 2003 y"});
    EXPECT_EQ(items.ListFormat, FormatUnix);
    ASSERT_EQ(items.Count(), 2u);
    EXPECT_EQ(items[0].EntryName, "x");
    EXPECT_EQ(items[1].EntryName, "y");
}

TEST(ListingLoad, BlankLinesAreSkipped) {
    TIdFTPListItems items = parse({"", "   ", "-rw-r--r-- 1 a b 5 Jan 5 2003 y", "\t ", ""});
    EXPECT_EQ(items.ListFormat, FormatUnix);
    ASSERT_EQ(items.Count(), 1u);
    EXPECT_EQ(items[0].EntryName, "y");
    // A blank line ahead of "total" does not make "total" an entry.
    items = parse({"", "total 8", "-rw-r--r-- 1 a b 5 Jan 5 2003 z"});
    ASSERT_EQ(items.Count(), 1u);
    EXPECT_EQ(items[0].EntryName, "z");
    EXPECT_EQ(parse({"", " "}).Count(), 0u);
}

TEST(ListingLoad, ABadLineIsSkippedAndCountedAndEveryOtherLineKept) {
    TIdFTPListItems items = parse({"-rw-r--r-- 1 a b 5 Jan 5 2003 one", "-rw-r--r-- 1 a b 5 Jan 5 2003 two",
                                   "-rw-r--r-- 1 a b 5 Foo 5 2003 bad", "-rw-r--r-- 1 a b 5 Jan 5 2003 three",
                                   "-rw-r--r-- 1 a b 5 Jan 5 2003 four"});
    ASSERT_EQ(items.Count(), 4u);
    EXPECT_EQ(items[1].EntryName, "two");
    EXPECT_EQ(items[2].EntryName, "three");
    EXPECT_EQ(items.SkippedLines(), 1u);
    TIdFTPListItems copy;
    copy.Assign(items);
    EXPECT_EQ(copy.SkippedLines(), 1u);
}

TEST(ListingLoad, UnknownFormatYieldsNothingAndNoError) {
    TIdFTPListItems items;
    EXPECT_NO_THROW(items = parse({"Hello there", "-rw-r--r-- 1 a b 5 Jan 5 2003 y"}));
    EXPECT_EQ(items.ListFormat, FormatUnknown);
    EXPECT_EQ(items.Count(), 0u);
    EXPECT_EQ(items.SkippedLines(), 2u);  // reported as unreadable, not as an empty folder
    EXPECT_EQ(parse({}).ListFormat, FormatUnix);
    EXPECT_EQ(parse({}).Count(), 0u);
}

TEST(ListingLoad, HooksSupplyTheCollectionChangeTheFormatAndParseCustomLines) {
    auto supplied = std::make_shared<TIdFTPListItems>();
    int sender = 0;
    std::string seenLine;
    ListingHooks hooks;
    hooks.OnCreateFTPList = [&](void* s, std::shared_ptr<TIdFTPListItems>& list) {
        EXPECT_EQ(s, &sender);
        list = supplied;
    };
    hooks.OnCheckListFormat = [&](void*, const std::string& line, ListingFormat& format) {
        seenLine = line;
        EXPECT_EQ(format, FormatUnknown);
        format = FormatCustom;
    };
    hooks.OnParseCustomListFormat = [](ListingEntry& e) { e.EntryName = "<" + e.RawLine + ">"; };
    auto list = BuildListingEntries(&sender, {"alpha", "beta"}, hooks);
    EXPECT_EQ(list.get(), supplied.get());
    EXPECT_EQ(seenLine, "alpha");
    ASSERT_EQ(list->Count(), 2u);
    EXPECT_EQ((*list)[1].EntryName, "<beta>");

    // Custom format without a parser: every line fails, quietly.
    ListingHooks noParser;
    noParser.OnCheckListFormat = [](void*, const std::string&, ListingFormat& f) { f = FormatCustom; };
    EXPECT_EQ(BuildListingEntries(nullptr, {"alpha"}, noParser)->Count(), 0u);

    // FormatNone keeps the raw lines without parsing them.
    ListingHooks none;
    none.OnCheckListFormat = [](void*, const std::string&, ListingFormat& f) { f = FormatNone; };
    auto raw = BuildListingEntries(nullptr, {"x y", "z"}, none);
    ASSERT_EQ(raw->Count(), 2u);
    EXPECT_EQ((*raw)[0].RawLine, "x y");
    EXPECT_EQ((*raw)[0].EntryName, "");

    ListingHooks nameOnly;
    nameOnly.OnCheckListFormat = [](void*, const std::string&, ListingFormat& f) { f = FormatNameOnly; };
    auto names = BuildListingEntries(nullptr, {"  spaced name  "}, nameOnly);
    ASSERT_EQ(names->Count(), 1u);
    EXPECT_EQ((*names)[0].EntryName, "spaced name");
}

TEST(ListingLoad, CopiesAreIndependent) {
    TIdFTPListItems items = parse({"-rw-r--r-- 1 a b 5 Jan 5 2003 one"});
    TIdFTPListItems copy;
    copy.Assign(items);
    items.Clear();
    ASSERT_EQ(copy.Count(), 1u);
    EXPECT_EQ(copy[0].EntryName, "one");
    EXPECT_EQ(copy.ListFormat, FormatUnix);
}

TEST(ListingText, SplitsAtEveryKindOfLineEnd) {
    EXPECT_EQ(SplitListingLines("a\r\nb\rc\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitListingLines("a\r\n\r\nb\r\n"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_TRUE(SplitListingLines("").empty());
}

TEST(ListingDates, EncodeMatchesTheDayCountAndRoundTrips) {
    EXPECT_EQ(*EncodeListingDateTime(1899, 12, 30), 0);
    EXPECT_EQ(*EncodeListingDateTime(2003, 1, 5), 37626);
    EXPECT_DOUBLE_EQ(*EncodeListingDateTime(2003, 1, 5, 12), 37626.5);
    EXPECT_FALSE(EncodeListingDateTime(2003, 2, 29));
    EXPECT_TRUE(EncodeListingDateTime(2004, 2, 29));
    EXPECT_FALSE(EncodeListingDateTime(2003, 1, 5, 24));
    expectTime(*EncodeListingDateTime(1951, 7, 31, 23, 59, 59, 999), 1951, 7, 31, 23, 59, 59, 999);
    expectTime(*EncodeListingDateTime(1800, 3, 1, 6, 0, 0, 0), 1800, 3, 1, 6, 0, 0, 0);
}

// Listings captured from real servers on loopback.
TEST(ListingCaptured, PyftpdlibListing) {
    TIdFTPListItems items = parse(readCapture("pyftpdlib.txt"));
    EXPECT_EQ(items.ListFormat, FormatUnix);
    ASSERT_GE(items.Count(), 4u);
    bool sawFolder = false, sawSpaced = false, sawBytes = false;
    for (const ListingEntry& e : items) {
        sawFolder |= e.EntryKind == KindFolder && e.EntryName == "sub dir";
        sawSpaced |= e.EntryName == "with  two spaces.txt" && e.EntrySize == 11;
        sawBytes |= e.EntryName == "caf\xe9.bin";
        EXPECT_GT(e.Modified, 0);
    }
    EXPECT_TRUE(sawFolder);
    EXPECT_TRUE(sawSpaced);
    EXPECT_TRUE(sawBytes);
}

TEST(ListingCaptured, VsftpdListingWithDotEntries) {
    TIdFTPListItems items = parse(readCapture("vsftpd-a.txt"));
    EXPECT_EQ(items.ListFormat, FormatUnix);
    ASSERT_GE(items.Count(), 4u);
    EXPECT_EQ(items[0].EntryName, ".");
    EXPECT_EQ(items[0].EntryKind, KindFolder);
    EXPECT_EQ(items[1].EntryName, "..");
    bool sawBig = false, sawLink = false;
    for (const ListingEntry& e : items) {
        sawBig |= e.EntryName == "big.bin" && e.EntrySize == 5000000000LL;
        sawLink |= e.EntryKind == KindLink && e.EntryName == "link" && e.LinkTarget == "sub dir";
    }
    EXPECT_TRUE(sawBig);
    EXPECT_TRUE(sawLink);
}

TEST(ListingCaptured, PureFtpdListing) {
    const auto lines = readCapture("pure-ftpd.txt");
    if (lines.empty()) GTEST_SKIP() << "no pure-ftpd capture";
    TIdFTPListItems items = parse(lines);
    EXPECT_EQ(items.ListFormat, FormatUnix);
    ASSERT_GE(items.Count(), 3u);
    bool sawSpaced = false;
    for (const ListingEntry& e : items) sawSpaced |= e.EntryName == "with  two spaces.txt";
    EXPECT_TRUE(sawSpaced);
}

// proftpd's Windows style: "<DIR>" and wide sizes sit left of the usual columns.
TEST(ListingCaptured, ProftpdWindowsStyleListing) {
    TIdFTPListItems items = parse(readCapture("proftpd-windows.txt"));
    EXPECT_EQ(items.ListFormat, FormatDos);
    ASSERT_EQ(items.Count(), 8u);
    EXPECT_EQ(items[0].EntryName, "a dir");
    EXPECT_EQ(items[0].EntryKind, KindFolder);
    expectTime(items[0].Modified, 2025, 3, 4, 9, 7, 0, 0);
    EXPECT_EQ(items[1].EntryName, "big.bin");
    EXPECT_EQ(items[1].EntrySize, 5000000000LL);
    expectTime(items[1].Modified, 2026, 12, 9, 6, 20, 0, 0);
    EXPECT_EQ(items[2].EntryName, "caf\xe9.bin");
    EXPECT_EQ(items[6].EntryName, "sub dir");
    EXPECT_EQ(items[6].EntryKind, KindFolder);
    EXPECT_EQ(items[7].EntryName, "with  two spaces.txt");
    EXPECT_EQ(items[7].EntrySize, 11);
    // Either kind of line alone decides the format.
    EXPECT_EQ(TIdFTPListItems::CheckListFormat("03-04-25  09:07       <DIR>          a dir"), FormatDos);
    EXPECT_EQ(TIdFTPListItems::CheckListFormat("12-09-26  06:20            5000000000 big.bin"), FormatDos);
}

}  // namespace

TEST(MlsdListing, FactsGiveExactValuesAndNothingIsGuessed) {
    const std::vector<std::string> lines = {
        "type=cdir;modify=20240101000000; /home",
        "Type=File;Size=42;Modify=20210304050607.25;UNIX.mode=755;UNIX.owner=alice;UNIX.gid=100; run me",
        "type=OS.unix=slink:/usr/bin;modify=19991231235959; bin",
        "type=file;size=-3;modify=2021030405; odd values",
        "type=file;size=7; ",
        "type=file;size=1;no-blank-before-the-name",
    };
    TIdFTPListItems items = *BuildListingEntries(nullptr, lines, {}, kMarch15, FormatMlsd);
    ASSERT_EQ(items.Count(), 3u);
    EXPECT_EQ(items.SkippedLines(), 2u);  // no name, or no blank to tell it from the facts
    const ListingEntry& run = items[0];
    EXPECT_EQ(run.EntryName, "run me");
    EXPECT_EQ(run.EntrySize, 42);
    EXPECT_EQ(run.UserRights + run.GroupRights + run.OtherRights, "rwxr-xr-x");
    EXPECT_EQ(run.OwnerName, "alice");
    EXPECT_EQ(run.GroupName, "100");
    // UTC on the wire, the machine's local time in the entry.
    const std::tm local = net::localTime(1614834367);
    expectTime(run.Modified, local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
               local.tm_sec, 250);
    EXPECT_EQ(items[1].EntryKind, KindLink);
    EXPECT_EQ(items[1].LinkTarget, "/usr/bin");
    // A negative size and a short time are no values: left out, not made up.
    EXPECT_EQ(items[2].EntrySize, 0);
    EXPECT_EQ(items[2].Modified, 0);
    EXPECT_EQ(items[2].OwnerName, "????????");
}
