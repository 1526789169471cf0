#include "browser/size_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace browser {

std::int64_t roundedKiB(std::int64_t size) {
    if (size <= 0) return 0;
    std::int64_t q = size / 1024;
    const std::int64_t r = size % 1024;
    if (r > 512 || (r == 512 && (q & 1))) ++q;
    return q;
}

std::string listingSizeText(std::int64_t size) {
    std::int64_t k = roundedKiB(size);
    if (k < 1) k = 1;
    return std::to_string(k) + "KB";
}

std::string SizeText(std::int64_t size) {
    const std::int64_t k = roundedKiB(size);
    if (k > 0) return std::to_string(k) + "KB";
    return std::to_string(size) + "bytes";
}

std::int64_t parseSize(const std::string& text) {
    std::int64_t v = 0;
    const char* b = text.data();
    const char* e = b + text.size();
    while (b < e && *b == ' ') ++b;
    auto [p, ec] = std::from_chars(b, e, v);
    if (ec != std::errc()) return 0;
    (void)p;
    return v;
}

namespace {
// Civil date from a day count relative to 1970-01-01 (proleptic Gregorian).
void civilFromDays(std::int64_t z, int& y, unsigned& m, unsigned& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t yy = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int>(yy + (m <= 2));
}
}  // namespace

std::string formatListingDate(double days) {
    if (!std::isfinite(days) || days < -600000 || days > 3000000) days = 0;
    // Whole seconds, the fraction dropped (a listing time may carry 999 ms);
    // the small bias keeps an exact second that binary fractions put just
    // below it from losing that second.
    const auto total = static_cast<std::int64_t>(std::floor(days * 86400.0 + 1e-4));
    std::int64_t dayNo = total / 86400;
    std::int64_t secs = total % 86400;
    if (secs < 0) { secs += 86400; --dayNo; }
    int y; unsigned m, d;
    civilFromDays(dayNo - 25569, y, m, d);  // 25569 days from 1899-12-30 to 1970-01-01
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02d:%02d:%02d", y, m, d,
                  static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60),
                  static_cast<int>(secs % 60));
    return buf;
}

}  // namespace browser
