// Parses 100,000 Unix listing lines and reports the rate.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "ftp/listing_parser.h"

int main() {
    const int kLines = 100000;
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::vector<std::string> lines;
    lines.reserve(kLines + 1);
    lines.emplace_back("total 123456");
    std::size_t bytes = 0;
    char buf[256];
    for (int i = 0; i < kLines; ++i) {
        const bool dir = i % 10 == 0;
        if (i % 3 == 0)
            std::snprintf(buf, sizeof buf, "%crw-r--r--    1 user%-4d staff %12lld %s %2d  %04d file number %d.dat",
                          dir ? 'd' : '-', i % 100, 1000LL * i, months[i % 12], 1 + i % 28, 2000 + i % 25, i);
        else
            std::snprintf(buf, sizeof buf, "%crw-r--r--    1 user%-4d staff %12lld %s %2d %02d:%02d file number %d.dat",
                          dir ? 'd' : '-', i % 100, 1000LL * i, months[i % 12], 1 + i % 28, i % 24, i % 60, i);
        lines.emplace_back(buf);
        bytes += lines.back().size() + 2;
    }

    const auto start = std::chrono::steady_clock::now();
    auto items = BuildListingEntries(nullptr, lines, {}, ListingDate{2026, 6, 15});
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    if (items->Count() != std::size_t(kLines)) {
        std::fprintf(stderr, "parsed %zu entries, expected %d\n", items->Count(), kLines);
        return 1;
    }
    std::printf("%d lines, %.1f MB in %.3f s: %.0f lines/s, %.1f MB/s\n", kLines, bytes / 1e6, secs,
                kLines / secs, bytes / 1e6 / secs);
    return 0;
}
