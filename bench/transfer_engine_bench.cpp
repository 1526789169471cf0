// Transfers through the program's own engine: a page's queue driven offscreen
// against vsftpd, beside curl and lftp moving the same files, and the longest
// time the event loop went unserved during the download. Run by hand as root
// (vsftpd needs a system account, created when missing):
//   build/bench/bench_transfer_engine_bench [size in MiB, default 1024] [rounds, default 3] [files|trees]
// Prints MB/s per method (best of the rounds), the ratio to the faster peer,
// and a tree of 2,000 files of 4 KiB in 20 folders down and up against
// "lftp mirror" on one connection.
#include "bench/bench_util.h"
#include "browser/browser_frame.h"
#include "store/options_records.h"
#include "store/site_records.h"
#include "tests/support/core/real_servers.h"
#include "tests/support/gui/app_fixture.h"
#include "tests/support/gui/store_rows.h"
#include "transfer/frame_transfers.h"
#include "transfer/queue_model.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using bench::Clock;
using bench::makeFile;
using bench::runTimed;
using bench::seconds;


// 20 folders of 100 files of 4 KiB, readable by the server's account.
bool makeTree(const std::string& root) {
    for (int d = 0; d < 20; ++d) {
        const std::string dir = root + "/d" + std::to_string(d);
        fs::create_directories(dir);
        ::chmod(dir.c_str(), 0755);
        for (int f = 0; f < 100; ++f) {
            const std::string file = dir + "/f" + std::to_string(f) + ".bin";
            if (!makeFile(file, 4096)) return false;
            ::chmod(file.c_str(), 0644);
        }
    }
    ::chmod(root.c_str(), 0755);
    return true;
}


struct Result {
    std::string name;
    double value = 0;     // MB/s, or seconds for the trees (smaller is better)
    double stallMs = 0;   // longest event-loop gap (engine downloads)
    bool smallerIsBetter = false;
};

// One page of the program connected to the server with these buffer sizes.
struct Page {
    std::unique_ptr<Tfb> frame;
    transfer::FrameTransfers* engine = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
    const std::uint64_t size = mib << 20;
    const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    // Only the big files or only the trees (for a profiler); both by default.
    const std::string only = argc > 3 ? argv[3] : "";

    testing_support::VsftpdServer server;
    std::string why;
    if (!server.Start(&why)) {
        std::fprintf(stderr, "cannot start vsftpd: %s\n", why.c_str());
        return 1;
    }
    const auto& acc = server.Account();
    const std::string work = "/tmp/ostrafen-engine-bench";
    fs::remove_all(work);
    fs::create_directories(work);
    const std::string remoteSrc = acc.Home + "/src.bin", upSrc = work + "/up.bin";
    std::printf("creating %llu MiB files and two trees in %s ...\n", static_cast<unsigned long long>(mib),
                work.c_str());
    if (!makeFile(remoteSrc, size) || !makeFile(upSrc, size) || !makeTree(acc.Home + "/tree") ||
        !makeTree(work + "/treeup")) {
        std::fprintf(stderr, "cannot create the test files\n");
        return 1;
    }
    ::chmod(remoteSrc.c_str(), 0644);

    testing_support::AppFixture app;
    int sites = 0;
    auto openPage = [&](int recvb, int sendb) {
        store::OptionsRecord o = store::readOptions(app.dm());
        o.recvb = recvb;
        o.sendb = sendb;
        store::saveOptions(app.dm(), store::antiIdleCommands(app.dm()), store::asciiExtensions(app.dm()), o);
        const std::string name = "bench" + std::to_string(++sites);
        store::SiteRecord site = testing_support::loopbackSite(name, server.Port());
        site.username = acc.User;
        site.password = acc.Password;
        site.timeout = 60;
        store::appendSite(app.dm(), site);
        Page p;
        p.frame = std::make_unique<Tfb>(app.dm());
        p.frame->setSitename(QString::fromStdString(name));
        p.engine = new transfer::FrameTransfers(*p.frame, app.dm());
        p.frame->StartConnect(false);
        testing_support::waitUntil([&] { return p.frame->browsingEnabled(); }, 10000);
        return p;
    };

    // The longest time between two turns of the event loop while a run goes.
    QElapsedTimer sinceTick;
    double longestGap = 0;
    bool measuring = false;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (measuring) longestGap = std::max(longestGap, static_cast<double>(sinceTick.nsecsElapsed()) / 1e6);
        sinceTick.restart();
    });
    ticker.start();

    // Runs the entry through the page's queue; seconds, or negative on failure.
    auto runEntry = [&](Page& p, const rupdown& e, bool watchStalls) {
        p.engine->enqueue({e});
        measuring = watchStalls;
        longestGap = 0;
        sinceTick.restart();
        const auto t0 = Clock::now();
        p.engine->requestRun(false);
        const double s = seconds(Clock::now() - t0);
        measuring = false;
        if (p.engine->model().rowCount() != 0) {
            std::fprintf(stderr, "the run failed; the entry stays queued\n");
            p.engine->ClearQueue();
            return -1.0;
        }
        return s;
    };
    auto download = [&](const std::string& name, const std::string& local, std::int64_t bytes, bool folder) {
        rupdown e;
        e.direction = 1;
        e.name = name;
        e.remotedir = acc.Home;
        e.localpath = local;
        e.size = bytes;
        e.isfolder = folder;
        return e;
    };
    auto upload = [&](const std::string& local, std::int64_t bytes, bool folder) {
        rupdown e;
        e.direction = 0;
        e.localpath = local;
        e.name = fs::path(local).filename().string();
        e.remotedir = acc.Home;
        e.size = bytes;
        e.isfolder = folder;
        return e;
    };

    const std::string local = work + "/down.bin";
    auto engineFile = [&](const std::string& name, bool down, int recvb, int sendb) {
        return [&, name, down, recvb, sendb] {
            Result r{name};
            Page p = openPage(recvb, sendb);
            fs::remove(local);
            fs::remove(acc.Home + "/up.bin");
            const double s = down ? runEntry(p, download("src.bin", local, static_cast<std::int64_t>(size), false), true)
                                  : runEntry(p, upload(upSrc, static_cast<std::int64_t>(size), false), false);
            if (s > 0) r.value = size / 1e6 / s;
            r.stallMs = down ? longestGap : 0;
            return r;
        };
    };
    auto engineTree = [&](const std::string& name, bool down) {
        return [&, name, down] {
            Result r{name, 0, 0, true};
            Page p = openPage(2048, 1024);
            fs::remove_all(work + "/tree");
            fs::remove_all(acc.Home + "/treeup");
            const double s = down ? runEntry(p, download("tree", work + "/tree", 0, true), false)
                                  : runEntry(p, upload(work + "/treeup", 0, true), false);
            r.value = s;
            return r;
        };
    };
    const std::string url = "ftp://" + acc.User + ":" + acc.Password + "@127.0.0.1:" + std::to_string(server.Port());
    const std::string lftp = "lftp -u " + acc.User + "," + acc.Password + " -p " + std::to_string(server.Port()) +
                             " -e \"set ftp:passive-mode on; set net:max-retries 1; cd " + acc.Home + "; ";
    auto peer = [&](const std::string& name, const std::string& cmd, bool tree, const std::string& clean) {
        return [&, name, cmd, tree, clean] {
            Result r{name, 0, 0, tree};
            if (!clean.empty()) fs::remove_all(clean);
            const double s = runTimed(cmd);
            if (s > 0) r.value = tree ? s : size / 1e6 / s;
            return r;
        };
    };

    std::vector<std::function<Result()>> methods = {
        engineFile("engine download 256 KiB buffers", true, 256 * 1024, 256 * 1024),
        engineFile("engine download 2048/1024 buffers", true, 2048, 1024),
        peer("curl download", "curl -s -S --ftp-pasv -o " + local + " " + url + "/src.bin", false, local),
        peer("lftp download", lftp + "get -e src.bin -o " + local + "; quit\" 127.0.0.1 >/dev/null", false, local),
        engineFile("engine upload 256 KiB buffers", false, 256 * 1024, 256 * 1024),
        engineFile("engine upload 2048/1024 buffers", false, 2048, 1024),
        peer("curl upload", "curl -s -S --ftp-pasv -T " + upSrc + " " + url + "/up-curl.bin", false, ""),
        peer("lftp upload", lftp + "put " + upSrc + " -o up-lftp.bin; quit\" 127.0.0.1 >/dev/null", false, ""),
        engineTree("engine tree down (s)", true),
        peer("lftp mirror down (s)", lftp + "mirror tree " + work + "/lftp-tree; quit\" 127.0.0.1 >/dev/null", true,
             work + "/lftp-tree"),
        engineTree("engine tree up (s)", false),
        peer("lftp mirror up (s)", lftp + "mirror -R " + work + "/treeup treeup-lftp; quit\" 127.0.0.1 >/dev/null",
             true, acc.Home + "/treeup-lftp"),
    };
    std::vector<Result> best(methods.size());
    for (int round = 0; round < reps; ++round) {
        for (std::size_t i = 0; i < methods.size(); ++i) {
            if ((only == "files" && i >= 8) || (only == "trees" && i < 8)) continue;
            ::sync();
            Result r = methods[i]();
            const bool better = best[i].name.empty() || (r.value > 0 && (best[i].value <= 0 ||
                                (r.smallerIsBetter ? r.value < best[i].value : r.value > best[i].value)));
            if (better) best[i] = r;
            // The stall is a property of every round: keep the worst seen.
            best[i].stallMs = std::max(best[i].stallMs, r.stallMs);
        }
    }

    double load[3] = {};
    std::FILE* la = std::fopen("/proc/loadavg", "r");
    if (la) {
        if (std::fscanf(la, "%lf %lf %lf", &load[0], &load[1], &load[2]) != 3) load[0] = -1;
        std::fclose(la);
    }
    std::printf("\n%llu MiB over loopback vsftpd through a page's queue, best of %d (load %.2f %.2f %.2f)\n",
                static_cast<unsigned long long>(mib), reps, load[0], load[1], load[2]);
    std::printf("%-36s %10s %16s\n", "run", "value", "longest stall ms");
    for (const Result& r : best) {
        if (r.stallMs > 0)
            std::printf("%-36s %10.2f %16.1f\n", r.name.c_str(), r.value, r.stallMs);
        else
            std::printf("%-36s %10.2f\n", r.name.c_str(), r.value);
    }
    auto ratio = [](double a, double b) { return b > 0 ? a / b : 0; };
    const double dlPeer = std::max(best[2].value, best[3].value), ulPeer = std::max(best[6].value, best[7].value);
    std::printf("\nratio to the faster peer: download 256K %.2f, 2048 %.2f; upload 256K %.2f, 1024 %.2f\n",
                ratio(best[0].value, dlPeer), ratio(best[1].value, dlPeer), ratio(best[4].value, ulPeer),
                ratio(best[5].value, ulPeer));
    std::printf("tree time / lftp mirror: down %.2f, up %.2f\n", ratio(best[8].value, best[9].value),
                ratio(best[10].value, best[11].value));

    fs::remove_all(work);
    fs::remove(remoteSrc);
    for (const char* f : {"/up.bin", "/up-curl.bin", "/up-lftp.bin"}) fs::remove(acc.Home + f);
    for (const char* d : {"/tree", "/treeup", "/treeup-lftp"}) fs::remove_all(acc.Home + d);
    return 0;
}
