#pragma once
// Size texts of the remote list and of the listing export.
#include <cstdint>
#include <string>

namespace browser {

// size / 1024 rounded to the nearest integer, halves to the even neighbour.
std::int64_t roundedKiB(std::int64_t size);

// Remote list: at least 1, so an empty file shows "1KB".
std::string listingSizeText(std::int64_t size);

// Export lines: "NKB", or the byte count with "bytes" when it rounds to 0 KiB.
std::string SizeText(std::int64_t size);

// Decimal text to a 64-bit size; anything unreadable is 0.
std::int64_t parseSize(const std::string& text);

// A listing date (days since 1899-12-30, time of day as fraction) as
// "yyyy-mm-dd hh:mm:ss".
std::string formatListingDate(double days);

}  // namespace browser
