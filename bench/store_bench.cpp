// Figures for a large history table: appending, locating, walking and
// deleting while walking. Usage: bench_store_bench [rows] (default 100000).
#include "store/table.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

void addDetail(store::Table& t, int id, int n) {
    t.append();
    t.setInteger("id", id);
    t.setString("type", n % 2 ? "Upload" : "Download");
    t.setString("ftpfile", "file" + std::to_string(n) + ".txt");
    t.setString("lofile", "file" + std::to_string(n) + ".txt");
    t.setString("date", "12:00:00");
    t.setString("date2", "12:00:01");
    t.setString("ftppath", "/pub/some/folder");
    t.setString("lopath", "C:\\Downloads\\file" + std::to_string(n) + ".txt");
    t.setString("usetime", "1.5");
    t.setString("speed", "10KB/S");
    t.setBoolean("isfolder", false);
    t.post();
}

}  // namespace

int main(int argc, char** argv) {
    int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
    if (rows < 10) rows = 10;
    const int perEntry = 20;  // details per history entry
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("ostrafen-store-bench-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir);

    {
        store::Tdm dm;
        dm.database().setFileName((dir / "all.dat").string());
        auto t0 = Clock::now();
        dm.database().connect();
        std::printf("connect, new store:                %9.1f ms\n", msSince(t0));
        store::Table& h = dm.hdital();
        store::TableScope scope(h);

        t0 = Clock::now();
        {
            store::WriteBatch batch(dm.database());
            for (int i = 0; i < rows; ++i) addDetail(h, i / perEntry, i);
        }
        std::printf("append %d rows, one batch:     %9.1f ms\n", rows, msSince(t0));

        const int single = 200;
        t0 = Clock::now();
        for (int i = 0; i < single; ++i) addDetail(h, rows / perEntry + 1, rows + i);
        double perRow = msSince(t0) / single;
        std::printf("append, each row written to disk:  %9.3f ms per row (%d rows)\n", perRow, single);
        std::printf("  (%d rows that way: about %.1f s)\n", rows, perRow * rows / 1000);

        dm.database().disconnect();
        t0 = Clock::now();
        dm.database().connect();
        std::printf("connect, existing store (checked): %9.1f ms\n", msSince(t0));

        t0 = Clock::now();
        h.open();
        std::printf("open the table:                    %9.1f ms\n", msSince(t0));

        std::mt19937 rng(1);
        const int lookups = 1000;
        t0 = Clock::now();
        int found = 0;
        for (int i = 0; i < lookups; ++i)
            found += h.locate("id", {static_cast<int>(rng() % (rows / perEntry))});
        std::printf("locate by id (indexed):            %9.3f ms each (%d/%d found)\n",
                    msSince(t0) / lookups, found, lookups);
        t0 = Clock::now();
        found = 0;
        for (int i = 0; i < lookups; ++i) found += h.locate("key", {static_cast<int>(rng() % rows) + 1});
        std::printf("locate by key (auto-number):       %9.3f ms each (%d/%d found)\n",
                    msSince(t0) / lookups, found, lookups);
        t0 = Clock::now();
        bool last = h.locate("ftpfile", {"file" + std::to_string(rows - 1) + ".txt"});
        std::printf("locate last row by ftpfile (scan): %9.1f ms (%s)\n", msSince(t0),
                    last ? "found" : "missing");

        t0 = Clock::now();
        long long sum = 0;
        int walked = 0;
        for (h.first(); !h.eof(); h.next()) {
            sum += h.asInteger("id");
            ++walked;
        }
        std::printf("walk %d rows reading a field:  %9.1f ms\n", walked, msSince(t0));

        t0 = Clock::now();
        walked = 0;
        for (h.first(); !h.eof(); h.next()) {
            walked += static_cast<int>(h.asString("lopath").size() > 0);
            walked += static_cast<int>(h.asString("ftpfile").size() > 0);
        }
        std::printf("walk reading two texts per row:    %9.1f ms\n", msSince(t0));

        t0 = Clock::now();
        int deleted = 0, visited = 0;
        {
            store::WriteBatch batch(dm.database());
            h.first();
            while (!h.eof()) {
                ++visited;
                if (h.asInteger("id") % 2 == 0) {
                    h.del();
                    ++deleted;
                } else {
                    h.next();
                }
            }
        }
        std::printf("delete while walking, one batch:   %9.1f ms (%d of %d deleted)\n",
                    msSince(t0), deleted, visited);

        t0 = Clock::now();
        int few = 0;
        h.first();
        while (!h.eof() && few < single) {
            h.del();
            ++few;
        }
        std::printf("delete, each row written to disk:  %9.3f ms per row (%d rows)\n",
                    msSince(t0) / few, few);

        t0 = Clock::now();
        int fromEnd = 0;
        {
            store::WriteBatch batch(dm.database());
            for (h.last(); !h.bof() && fromEnd < rows / 4; ++fromEnd) h.del();
        }
        std::printf("delete %d rows from the end:    %9.1f ms\n", fromEnd, msSince(t0));

        t0 = Clock::now();
        h.empty();
        std::printf("empty the table:                   %9.1f ms\n", msSince(t0));
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
