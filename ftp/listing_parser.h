#pragma once
// Turns the lines of a LIST reply into typed entries. The format of a whole
// listing is decided once, from its first line; every line is then parsed by
// the rules of that format. Names are bytes: they are kept exactly as the
// server sent them (no transcoding), so names that are not UTF-8 survive.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/exceptions.h"

// Kinds of a listing entry; the values are stored in one byte.
enum ListingEntryKind : std::uint8_t { KindFolder = 0, KindFile = 1, KindLink = 2 };

enum ListingFormat : int {
    FormatNone = 0,
    FormatDos = 1,
    FormatUnix = 2,
    FormatDsk = 3,
    FormatNameOnly = 4,
    FormatUnknown = 5,
    FormatCustom = 6,
    // MLSD fact lines ("type=file;size=5;modify=20240102030405; name"): set
    // by the client for an MLSD listing, never guessed from a line. Sizes
    // are exact; "modify" is UTC and becomes the machine's local time in
    // Modified like every other listing time; unix.mode fills the rights and
    // unix.owner/group (or uid/gid) the names. Lines of the folder itself
    // and its parent (type cdir, pdir) give no entry; a line without facts
    // (" name") gives a file of that name; a line with no blank before the
    // name cannot be read.
    FormatMlsd = 7,
};

// One parsed listing line. Modified counts days since 1899-12-30 with the
// time of day as the fraction (0 = unknown).
struct ListingEntry {
    std::int64_t EntrySize = 0;
    std::int32_t LinkCount = 0;
    std::string RawLine;
    std::string EntryName;
    std::string GroupRights = "???";
    std::string GroupName = "????????";
    std::string UserRights = "???";
    std::string OwnerName = "????????";
    std::string OtherRights = "???";
    double Modified = 0;
    std::string LinkTarget;
    ListingEntryKind EntryKind = KindFile;
};
using TIdFTPListItem = ListingEntry;

// Raised for a line of a listing whose format is unknown (or custom without a
// parser). Never reaches the caller of the collection's parsing: the line is
// only skipped and counted.
class EIdInvalidFTPListingFormat : public EIdException {
public:
    EIdInvalidFTPListingFormat() : EIdException("Unknown FTP listing format") {}
};

// A calendar day; the parser's notion of "today" for lines without a year.
struct ListingDate {
    int Year = 0;
    int Month = 0;
    int Day = 0;
};
ListingDate ListingToday();  // local date of the machine

// Day count helpers for Modified (days since 1899-12-30 plus day fraction).
// EncodeListingDateTime returns nullopt for an invalid date or time.
std::optional<double> EncodeListingDateTime(int year, int month, int day, int hour = 0,
                                            int minute = 0, int second = 0, int msec = 0);
struct ListingDateTime {
    int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0, Msec = 0;
};
ListingDateTime DecodeListingDateTime(double modified);

// Parses one entry of FormatCustom (its RawLine is set).
using TOnParseCustomListFormat = std::function<void(ListingEntry& AItem)>;

// The ordered entries of one listing plus its format (new: FormatUnix).
class TIdFTPListItems {
public:
    TIdFTPListItems() = default;
    TIdFTPListItems(const TIdFTPListItems&) = default;  // copies every entry
    TIdFTPListItems& operator=(const TIdFTPListItems&) = default;
    void Assign(const TIdFTPListItems& other) { *this = other; }

    ListingFormat ListFormat = FormatUnix;
    // Date used for lines that carry no year; unset = the machine's date.
    std::optional<ListingDate> Today;
    // Parser for FormatCustom lines; unset = such lines are invalid.
    TOnParseCustomListFormat OnParseCustomListFormat;

    std::size_t Count() const { return items_.size(); }
    bool Empty() const { return items_.empty(); }
    ListingEntry& operator[](std::size_t i) { return items_[i]; }
    const ListingEntry& operator[](std::size_t i) const { return items_[i]; }
    ListingEntry& Add();
    void Clear() {
        items_.clear();
        skipped_ = 0;
    }
    // Lines of the last LoadList that could not be read (blank lines and the
    // "total" line are not counted). With FormatUnknown every line counts:
    // the listing could not be read at all.
    std::size_t SkippedLines() const { return skipped_; }
    std::vector<ListingEntry>::const_iterator begin() const { return items_.begin(); }
    std::vector<ListingEntry>::const_iterator end() const { return items_.end(); }
    const std::vector<ListingEntry>& Items() const { return items_; }

    // Format of a listing decided from its first line; without translation
    // the result is FormatNameOnly.
    static ListingFormat CheckListFormat(std::string_view line, bool translate = true);
    // Empties the collection and parses every line by ListFormat. A line that
    // cannot be read is skipped and counted (SkippedLines); every other line
    // is kept. No error leaves this call.
    void LoadList(const std::vector<std::string>& lines);
    // Parses one entry (RawLine set) by ListFormat; throws on a bad line.
    void ParseEntry(ListingEntry& entry) const;

private:
    std::vector<ListingEntry> items_;
    std::size_t skipped_ = 0;
    void parseEntryOn(ListingEntry& entry, const ListingDate& today) const;
};

// Hooks the FTP client publishes (the browser frame sets none).
//   OnCreateFTPList may supply the collection when it is first needed.
//   OnCheckListFormat sees the first line after detection and may change the format.
using TOnCreateFTPList = std::function<void(void* ASender, std::shared_ptr<TIdFTPListItems>& VFTPList)>;
using TOnCheckListFormat =
    std::function<void(void* ASender, const std::string& ALine, ListingFormat& VListFormat)>;

struct ListingHooks {
    TOnCreateFTPList OnCreateFTPList;
    TOnCheckListFormat OnCheckListFormat;
    TOnParseCustomListFormat OnParseCustomListFormat;
};

// The whole first-access step of ListingEntries: creates the collection
// (through OnCreateFTPList when set), and with at least one line detects the
// format from the first non-blank line (a "total" line in another language,
// as ls writes it, counts as a Unix one when a Unix line follows), lets
// OnCheckListFormat change it, and parses every line. Never throws for bad
// lines.
// format, when given, is the listing's format without detection (MLSD).
std::shared_ptr<TIdFTPListItems> BuildListingEntries(void* sender, const std::vector<std::string>& lines,
                                                     const ListingHooks& hooks = {},
                                                     std::optional<ListingDate> today = std::nullopt,
                                                     std::optional<ListingFormat> format = std::nullopt);

// Splits listing text into lines at CR LF, lone CR and lone LF.
std::vector<std::string> SplitListingLines(std::string_view text);
