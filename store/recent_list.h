#pragma once
// The small files behind the drop-down boxes that offer recent entries again
// ("bookmark.dat", "Downloads.dat", "Find.dat", "Filter.dat"): a signed 32-bit
// little-endian count, then per entry one length byte (0..50) and 50 bytes.
#include <string>
#include <vector>

namespace store {

inline constexpr int kRecentTextMax = 50;
inline constexpr int kRecentEntrySize = 1 + kRecentTextMax;

// A missing or unreadable file reads as an empty list; a file shorter than its
// count yields the whole entries it holds.
std::vector<std::string> LoadRecentList(const std::string& path);

// Replaces the file as a whole (a crash leaves the old list or the new one,
// never a mix). A text longer than 50 bytes is cut to its first 50 bytes,
// backed off to a whole UTF-8 character. False when the file cannot be written.
bool SaveRecentList(const std::string& path, const std::vector<std::string>& items);

// The "Clear history" of a box: an empty list, saved (a 4-byte file).
bool ClearRecentList(const std::string& path);

// Appends `text` unless an entry equals it exactly (letter case included) as
// the file keeps them, cut to 50 bytes; true when it was appended.
bool AddRecentUnique(std::vector<std::string>& items, const std::string& text);

// The text as it is stored in an entry.
std::string CutRecentText(const std::string& text);

}  // namespace store
