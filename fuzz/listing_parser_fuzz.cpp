// Feeds arbitrary bytes to the listing parser as the text of a LIST or MLSD
// reply. The first byte may force one format, so every line parser sees
// every input.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "ftp/listing_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const unsigned char selector = static_cast<unsigned char>(all[0]);
    const std::vector<std::string> lines = SplitListingLines(all.substr(1));

    ListingHooks hooks;
    if (selector < 0x80) {
        static const ListingFormat forced[] = {FormatDos,     FormatUnix, FormatDsk, FormatNameOnly,
                                               FormatUnknown, FormatNone, FormatMlsd};
        const ListingFormat f = forced[selector % 7];
        hooks.OnCheckListFormat = [f](void*, const std::string&, ListingFormat& v) { v = f; };
    }
    // Vary "today" so the year roll-back and day defaults are exercised.
    const ListingDate today{1990 + selector % 60, 1 + selector % 12, 1 + selector % 28};
    // Selectors from 0xF0 read the text as an MLSD listing, as the client does.
    const std::optional<ListingFormat> mlsd =
        selector >= 0xF0 ? std::optional<ListingFormat>(FormatMlsd) : std::nullopt;
    auto items = BuildListingEntries(nullptr, lines, hooks, today, mlsd);
    std::size_t nonBlank = 0;
    for (const std::string& l : lines) nonBlank += l.find_first_not_of(" \t") != std::string::npos;
    // Every line is an entry, a skipped line, or the count line.
    if (items->Count() + items->SkippedLines() > nonBlank) __builtin_trap();
    const bool parsed =
        items->ListFormat == FormatUnix || items->ListFormat == FormatDos || items->ListFormat == FormatMlsd;
    for (const ListingEntry& e : *items) {
        const ListingDateTime t = DecodeListingDateTime(e.Modified);
        if (e.Modified != 0 && (t.Month < 1 || t.Month > 12 || t.Day < 1 || t.Day > 31 || t.Hour > 23))
            __builtin_trap();
        if (e.EntrySize < 0) __builtin_trap();
        if (e.RawLine.empty()) __builtin_trap();
        // A line that reads gives a name; none is made of nothing.
        if (parsed && e.EntryName.empty()) __builtin_trap();
        if (e.EntryKind != KindFolder && e.EntryKind != KindFile && e.EntryKind != KindLink) __builtin_trap();
    }
    // Detection alone, line by line, as the first line of a listing would be.
    for (const std::string& l : lines) (void)TIdFTPListItems::CheckListFormat(l);
    TIdFTPListItems copy;
    copy.Assign(*items);
    if (copy.Count() != items->Count()) __builtin_trap();
    return 0;
}
