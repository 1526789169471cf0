// Listing lines as real servers send them: captures from the servers the
// tests run (tests/tools/listings/*-wide.txt), GNU ls output in several
// languages and time styles (what servers that run /bin/ls send), and lines
// in the formats other servers document. Each line is parsed alone and with
// the others of its format as one listing.
#include "ftp/listing_parser.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

const ListingDate kToday{2026, 12, 9};  // the day the captures were made

struct Row {
    const char* line;
    const char* name;  // nullptr: not a listing line, no entry
    ListingEntryKind kind;
    std::int64_t size;
};

// Unix style. GNU ls 9.1 (Debian 12) in each locale, then other servers.
const Row kUnixRows[] = {
    {"-rw-r--r-- 1 root root    2 15. Aug 2025  aug.txt", "aug.txt", KindFile, 2},  // de_DE
    {"-rw-r--r-- 1 root root    2  3. Okt 08:05 dec.txt", "dec.txt", KindFile, 2},
    {"-rw-r--r-- 1 root root    2  1. M\xc3\xa4r 2026  feb.txt", "feb.txt", KindFile, 2},
    {"drwxr-xr-x 2 root root 4096 14. Feb 2026  sub dir", "sub dir", KindFolder, 4096},
    {"-rw-r--r-- 1 root root    2 24. Dez 2025  dec2.txt", "dec2.txt", KindFile, 2},
    {"-rw-r--r-- 1 root root    2 15 ao\xc3\xbbt   2025 aug.txt", "aug.txt", KindFile, 2},  // fr_FR
    {"-rw-r--r-- 1 root root    2  3 oct.  08:05 dec.txt", "dec.txt", KindFile, 2},
    {"-rw-r--r-- 1 root root    4  5 janv.  2003 notes.txt", "notes.txt", KindFile, 4},
    {"drwxr-xr-x 2 root root 4096 14 f\xc3\xa9vr.  2026 sub dir", "sub dir", KindFolder, 4096},
    {"-rw-r--r-- 1 root root    2 24 d\xc3\xa9" "c.   2025 dec2.txt", "dec2.txt", KindFile, 2},
    {"-rw-r--r-- 1 root root    2 ago 15  2025 aug.txt", "aug.txt", KindFile, 2},  // es_ES
    {"-rw-r--r-- 1 root root    2 dic 24  2025 dec.txt", "dec.txt", KindFile, 2},
    {"-rw-r--r-- 1 root root    4 ene  5  2003 notes.txt", "notes.txt", KindFile, 4},
    {"-rw-r--r-- 1 root root    2 15 ago  2025 aug.txt", "aug.txt", KindFile, 2},  // it_IT
    {"-rw-r--r-- 1 root root    2  3 ott 08.05 dec.txt", "dec.txt", KindFile, 2},
    {"-rw-r--r-- 1 root root    4  5 gen  2003 notes.txt", "notes.txt", KindFile, 4},
    {"-rw-r--r-- 1 root root    2  1 mrt  2026 feb.txt", "feb.txt", KindFile, 2},  // nl_NL
    {"-rw-r--r-- 1 root root    2  3 okt 08:05 dec.txt", "dec.txt", KindFile, 2},
    {"-rw-r--r-- 1 root root    2 2025-08-15 23:59 aug.txt", "aug.txt", KindFile, 2},  // long-iso
    {"-rw-r--r-- 1 root root    2 2025-08-15 23:59:00.000000000 +0000 aug.txt", "aug.txt", KindFile, 2},
    {"-rw-r--r-- 1 root root    2 2025-08-15  aug.txt", "aug.txt", KindFile, 2},  // iso, older file
    {"-rw-r--r-- 1 root root    2 11-20 14:30 feb.txt", "feb.txt", KindFile, 2},  // iso, recent file
    // FileZilla Server, wodFTPD, a group-less server (the LIST notes of
    // Peter N. Lewis), BSD ls -lT, names of accounts with blanks.
    {"-rw-r--r-- 1 ftp ftp           1234 Sep 02 14:30 readme.txt", "readme.txt", KindFile, 1234},
    {"drw-r--r-- 1 root root 0 Jun 29 2001 test4", "test4", KindFolder, 0},
    {"-rw------- 1 peter 848 Dec 14 11:22 00README.txt", "00README.txt", KindFile, 848},
    {"-rw-r--r--  1 bob  staff  1234 Jan  5 10:15:00 2003 report", "report", KindFile, 1234},
    {"-rw-r--r-- 1 John Smith Domain Users 1234 Jan  5  2003 budget.xls", "budget.xls", KindFile, 1234},
    {"-rw-r--r-- 1 owner 2 staff 12 Jan  5  2003 x y", "x y", KindFile, 12},
    {"-rw-r--r-- 1 bob staff 7 Jan  5 24:00 midnight", "midnight", KindFile, 7},
    // Not listing lines: a date where the name should be.
    {"-rw-r--r-- 1 bob staff 1234 Jan  5  2003", nullptr, KindFile, 0},
    {"drwxr-xr-x 2 bob staff 4096 Jan  5 10:15", nullptr, KindFile, 0},
};

// MS-DOS style: IIS in 12- and 24-hour form, four-digit, dotted and ISO dates.
const Row kDosRows[] = {
    {"04-05-02  02:18PM               462848 test1.dll", "test1.dll", KindFile, 462848},
    {"06-29-01  05:38PM       <DIR>          test4", "test4", KindFolder, 0},
    {"09-02-2002  14:30       <DIR>          pub", "pub", KindFolder, 0},
    {"09-02-2002  14:30                 1,234 readme.txt", "readme.txt", KindFile, 1234},
    {"02.09.2002  14:30       <DIR>          Bilder", "Bilder", KindFolder, 0},
    {"02.09.2002  14:30            1.234.567 Bericht.doc", "Bericht.doc", KindFile, 1234567},
    {"2002-09-02  14:30    <DIR>    iso dir", "iso dir", KindFolder, 0},
    {"2002-09-02  14:30        77 iso file.txt", "iso file.txt", KindFile, 77},
    {"01-05-03  24:00       <DIR>           padded", "padded", KindFolder, 0},
    {"01-05-03  09:00AM       abc a.txt", nullptr, KindFile, 0},
    {"01-05-03  09:00AM       <DIR>          ", nullptr, KindFile, 0},
};

std::shared_ptr<TIdFTPListItems> parse(const std::vector<std::string>& lines) {
    return BuildListingEntries(nullptr, lines, {}, kToday);
}

template <std::size_t N>
void checkTable(const Row (&rows)[N], ListingFormat format) {
    std::vector<std::string> all;
    std::vector<const Row*> readable;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        all.emplace_back(r.line);
        const auto alone = parse({r.line});
        if (!r.name) {
            EXPECT_EQ(alone->Count(), 0u);
            EXPECT_EQ(alone->SkippedLines(), 1u);
            continue;
        }
        readable.push_back(&r);
        EXPECT_EQ(alone->ListFormat, format);
        ASSERT_EQ(alone->Count(), 1u);
        EXPECT_EQ((*alone)[0].EntryName, r.name);
        EXPECT_EQ((*alone)[0].EntryKind, r.kind);
        EXPECT_EQ((*alone)[0].EntrySize, r.size);
        EXPECT_GT((*alone)[0].Modified, 0);
    }
    // Together: every readable line, in order; the others counted.
    const auto listing = parse(all);
    ASSERT_EQ(listing->Count(), readable.size());
    EXPECT_EQ(listing->SkippedLines(), all.size() - readable.size());
    for (std::size_t i = 0; i < readable.size(); ++i) EXPECT_EQ((*listing)[i].EntryName, readable[i]->name);
}

// "yyyy-mm-dd hh:mm" of the line's only entry.
std::string when(const std::string& line) {
    const auto items = parse({line});
    if (items->Count() != 1) return "no entry";
    const ListingDateTime t = DecodeListingDateTime((*items)[0].Modified);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d", t.Year, t.Month, t.Day, t.Hour, t.Minute);
    return buf;
}

std::vector<std::string> readCapture(const std::string& name) {
    std::ifstream in(std::string(OSTRAFEN_TEST_TOOLS) + "/listings/" + name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return SplitListingLines(ss.str());
}

TEST(ListingTable, UnixLinesOfManyServersAndLanguages) { checkTable(kUnixRows, FormatUnix); }

TEST(ListingTable, MsDosLinesInEveryDateForm) { checkTable(kDosRows, FormatDos); }

TEST(ListingTable, DatesOfTheWidenedForms) {
    EXPECT_EQ(when(kUnixRows[0].line), "2025-08-15 00:00");
    EXPECT_EQ(when(kUnixRows[1].line), "2026-10-03 08:05");
    EXPECT_EQ(when(kUnixRows[2].line), "2026-03-01 00:00");
    EXPECT_EQ(when(kUnixRows[14].line), "2026-10-03 08:05");
    EXPECT_EQ(when(kUnixRows[19].line), "2025-08-15 23:59");
    EXPECT_EQ(when(kUnixRows[21].line), "2026-11-20 14:30");
    EXPECT_EQ(when(kUnixRows[25].line), "2003-01-05 10:15");
    EXPECT_EQ(when(kUnixRows[28].line), "2026-01-06 00:00");  // 24:00 is the next midnight
    EXPECT_EQ(when(kDosRows[4].line), "2002-09-02 14:30");
    EXPECT_EQ(when(kDosRows[6].line), "2002-09-02 14:30");
    EXPECT_EQ(when(kDosRows[8].line), "2003-01-06 00:00");
    // Latin-1 month names read as well as UTF-8 ones.
    EXPECT_EQ(when("-rw-r--r-- 1 root root 2  1. M\xe4r 2026  f"), "2026-03-01 00:00");
}

TEST(ListingTable, LocalisedTotalLineIsNoEntryAndNoSkippedLine) {
    for (const char* total : {"insgesamt 20", "totale 20", "totaal 20"}) {
        const auto items = parse({total, kUnixRows[0].line, kUnixRows[3].line});
        EXPECT_EQ(items->ListFormat, FormatUnix) << total;
        EXPECT_EQ(items->Count(), 2u) << total;
        EXPECT_EQ(items->SkippedLines(), 0u) << total;
    }
}

// Twelve entries on each real server: blanks at the start of a name, names
// that begin like a year or a date, a link, a 5 GB file, a Latin-1 name.
TEST(ListingTable, CapturesOfTheServersTheTestsRun) {
    struct Want {
        const char* name;
        ListingEntryKind kind;
        std::int64_t size;
    };
    const Want unixWant[] = {{" leading blank.txt", KindFile, 1}, {"2003 report.txt", KindFile, 6},
                             {"Jan 5 notes", KindFile, 2},        {"big.bin", KindFile, 5000000000LL},
                             {"caf\xe9.bin", KindFile, 1},        {"empty.txt", KindFile, 0},
                             {"link", KindLink, 7},               {"midnight.txt", KindFile, 1},
                             {"notes.txt", KindFile, 3},          {"old.tar.gz", KindFile, 1234},
                             {"sub dir", KindFolder, 4096},       {"with  two spaces.txt", KindFile, 11}};
    for (const char* capture : {"vsftpd-wide.txt", "pure-ftpd-wide.txt", "pyftpdlib-wide.txt", "proftpd-wide.txt",
                                "proftpd-windows-wide.txt"}) {
        SCOPED_TRACE(capture);
        const auto lines = readCapture(capture);
        ASSERT_EQ(lines.size(), 12u);
        const bool dos = std::string(capture).find("windows") != std::string::npos;
        const auto items = parse(lines);
        ASSERT_EQ(items->Count(), 12u);
        EXPECT_EQ(items->SkippedLines(), 0u);
        for (std::size_t i = 0; i < 12; ++i) {
            Want w = unixWant[i];
            if (dos && w.kind == KindLink) w.kind = KindFile;  // MS-DOS style shows no links
            if (dos && w.kind == KindFolder) w.size = 0;
            EXPECT_EQ((*items)[i].EntryName, w.name);
            EXPECT_EQ((*items)[i].EntryKind, w.kind) << w.name;
            EXPECT_EQ((*items)[i].EntrySize, w.size) << w.name;
            const auto alone = parse({lines[i]});
            ASSERT_EQ(alone->Count(), 1u);
            EXPECT_EQ((*alone)[0].EntryName, w.name);
        }
    }
}

} // namespace
