// Time from "Refresh" to rows shown for a folder of 100,000 entries on a
// loopback pyftpdlib server, the memory it takes, and curl fetching the same
// LIST for comparison. Run by hand: bench_browser_listing_bench [entries]
#include "browser/browser_frame.h"
#include "ftp/ftp_client.h"
#include "browser/listing_state.h"
#include "browser/remote_list_model.h"
#include "tests/support/core/real_servers.h"
#include "tests/support/gui/app_fixture.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QProcess>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

long rssKiB() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    const int entries = argc > 1 ? std::atoi(argv[1]) : 100000;

    testing_support::PyftpdlibServer ftp;
    std::string why;
    if (!ftp.Start(&why)) {
        std::fprintf(stderr, "no server: %s\n", why.c_str());
        return 1;
    }
    const fs::path big = fs::path(ftp.Account().Home) / "big";
    fs::create_directories(big);
    for (int i = 0; i < entries; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "file_%06d.%s", i, i % 3 == 0 ? "txt" : i % 3 == 1 ? "jpg" : "dat");
        std::ofstream(big / name);
    }

    testing_support::AppFixture app;
    {
        store::TableScope t(app.dm().ftpsite());
        t->append();
        t->setString("name", "Bench");
        t->setString("address", "127.0.0.1");
        t->setInteger("port", ftp.Port());
        t->setString("username", ftp.Account().User);
        t->setString("password", ftp.Account().Password);
        t->setInteger("timeout", 60);
        t->setInteger("rd", 0);
        t->setBoolean("pasv", true);
        t->setBoolean("autorefresh", true);
        t->setString("proxy", "None");
        t->setString("socks", "None");
        t->post();
    }
    Tfb frame(app.dm());
    frame.setSitename("Bench");
    frame.resize(900, 700);
    frame.show();
    frame.StartConnect(false);
    if (!frame.browsingEnabled()) {
        std::fprintf(stderr, "connect failed\n");
        return 1;
    }
    frame.remoteSelection()->select(frame.remoteModel()->index(0, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    frame.OpenSelectedFolder();  // into "big", listed once to warm up
    QCoreApplication::processEvents();

    const long before = rssKiB();
    const int runs = 3;
    double best = 1e9, total = 0;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        frame.Refresh();
        frame.remoteView()->viewport()->repaint();
        QCoreApplication::processEvents();
        const double ms = static_cast<double>(t.nsecsElapsed()) / 1e6;
        best = std::min(best, ms);
        total += ms;
    }
    const long after = rssKiB();
    {
        // Where the time goes: the transfer of the LIST, then its parsing.
        QElapsedTimer t;
        t.start();
        frame.session().client().FetchListing(nullptr);
        const double fetch = static_cast<double>(t.nsecsElapsed()) / 1e6;
        t.restart();
        const std::size_t n = frame.session().client().ListingEntries().Count();
        const double parse = static_cast<double>(t.nsecsElapsed()) / 1e6;
        std::printf("of which LIST over the network %.1f ms, parsing %zu lines %.1f ms\n", fetch, n, parse);
    }
    std::printf("entries listed: %zu (model rows %d)\n", frame.listing().size(), frame.remoteModel()->rowCount());
    std::printf("Refresh to rows shown: best %.1f ms, mean %.1f ms over %d runs\n", best, total / runs, runs);
    std::printf("resident memory: %ld KiB after listing (%+ld KiB against before the timed runs)\n", after,
                after - before);

    {
        // The frame's own share: rows, cache, type names and the sort.
        std::vector<RemoteEntry> list;
        list.reserve(static_cast<std::size_t>(entries));
        for (const auto& r : frame.listing()) list.push_back({r.name, RemoteEntry::KindFile, r.size, r.modified});
        browser::ListingState state;
        QElapsedTimer t;
        t.start();
        state.applyListing("/big", list);
        const double apply = static_cast<double>(t.nsecsElapsed()) / 1e6;
        state.sortcolumn = browser::SortByName;
        t.restart();
        state.SortListing();
        std::printf("rows and cache %.1f ms (sorted by type), sort by name %.1f ms\n", apply,
                    static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    const QString url = QStringLiteral("ftp://127.0.0.1:%1/big/").arg(ftp.Port());
    const QString user = QString::fromStdString(ftp.Account().User + ":" + ftp.Account().Password);
    double curlBest = 1e9;
    for (int i = 0; i < runs; ++i) {
        QProcess curl;
        QElapsedTimer t;
        t.start();
        curl.start(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("--ftp-pasv"), QStringLiteral("-u"),
                                            user, url, QStringLiteral("-o"), QStringLiteral("/dev/null")});
        if (!curl.waitForFinished(120000) || curl.exitCode() != 0) {
            std::printf("curl failed\n");
            break;
        }
        curlBest = std::min(curlBest, static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    if (curlBest < 1e9) std::printf("curl, same LIST: best %.1f ms\n", curlBest);
    frame.Disconnect();
    return 0;
}
