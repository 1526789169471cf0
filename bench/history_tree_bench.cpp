// Figures for the side pane on large data: the history tree with 100,000 items
// under 1,000 entries (time to read, build and show it; heap and resident
// memory over an empty history), deleting a day and clearing, and the local
// list of a folder with 50,000 files (time until every row is listed).
// Usage: bench_history_tree_bench [items] [entries] [files]
#include "app/history_pane.h"
#include "app/local_pane.h"
#include "platform/ui/app_paths.h"
#include "store/history_records.h"
#include "store/table.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileSystemModel>
#include <QTemporaryDir>
#include <QTreeView>

#include <malloc.h>
#include <time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

long residentKb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

// Wall time and the CPU time of the whole process (the file system model
// lists on a thread of its own); on a busy machine the second is the fairer one.
class Stopwatch {
public:
    Stopwatch() { restart(); }
    void restart() {
        wall_.start();
        cpu_ = cpuMs();
    }
    void print(const char* what) const {
        std::printf("  %-32s %9.1f ms wall %9.1f ms cpu\n", what, double(wall_.nsecsElapsed()) / 1e6,
                    cpuMs() - cpu_);
    }
    qint64 elapsedMs() const { return wall_.elapsed(); }

private:
    static double cpuMs() {
        timespec ts{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
        return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
    }
    QElapsedTimer wall_;
    double cpu_ = 0;
};

// Heap in use, blocks the allocator mapped on their own included.
double heapMb() {
    const struct mallinfo2 m = mallinfo2();
    return double(m.uordblks + m.hblkhd) / (1024.0 * 1024.0);
}

// Written by a child process, so the parent's memory figures start clean.
void fillStore(const std::string& file, int items, int entries) {
    store::Tdm dm;
    dm.database().setFileName(file);
    dm.database().connect();
    const int sites = entries / 20 > 0 ? entries / 20 : 1;
    store::WriteBatch batch(dm.database());
    store::TableScope s(dm.ftpsite()), h(dm.hmaster()), d(dm.hdital());
    for (int i = 0; i < sites; ++i) {
        s->append();
        s->setString("name", "site" + std::to_string(i));
        s->setString("address", "ftp" + std::to_string(i) + ".example.org");
        s->post();
    }
    for (int e = 0; e < entries; ++e) {
        h->append();
        h->setInteger("id", 1 + e % sites);
        h->setString("date", "Day " + std::to_string(e / sites));
        h->setString("type", e % 2 ? "Upload" : "Download");
        h->post();
        const int key = h->asInteger("key");
        const int per = items / entries + (e < items % entries ? 1 : 0);
        for (int i = 0; i < per; ++i) {
            const std::string name = "file" + std::to_string(e) + "_" + std::to_string(i) + ".dat";
            d->append();
            d->setInteger("id", key);
            d->setString("type", e % 2 ? "Upload" : "Download");
            d->setString("ftpfile", name);
            d->setString("lofile", name);
            d->setString("date", "12:00:00");
            d->setString("date2", "12:00:03");
            d->setString("ftppath", "/pub/mirror/releases/2024");
            d->setString("lopath", "/home/user/Downloads/releases/" + name);
            d->setString("usetime", "3.25");
            d->setString("speed", "1024.00KB/S");
            d->setBoolean("isfolder", i % 50 == 0);
            d->post();
        }
    }
}

void makeFiles(const QString& dir, int files) {
    for (int i = 0; i < files; ++i) std::ofstream(dir.toStdString() + "/f" + std::to_string(i) + ".txt");
}

}  // namespace

int main(int argc, char** argv) {
    const int items = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int entries = argc > 2 ? std::atoi(argv[2]) : 1000;
    const int files = argc > 3 ? std::atoi(argv[3]) : 50000;
    QTemporaryDir tmp;
    const std::string full = (tmp.path() + "/full.dat").toStdString();
    const QString folder = tmp.path() + "/many";
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        fillStore(full, items, entries);
        QDir().mkpath(folder);
        makeFiles(folder, files);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "filling the store failed\n");
        return 1;
    }

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    ui::setDataDir(tmp.path());

    store::Tdm dm;
    dm.database().setFileName((tmp.path() + "/empty.dat").toStdString());
    dm.database().connect();
    HistoryPane pane(dm);
    pane.resize(300, 700);
    pane.show();
    pane.refresh();
    QApplication::processEvents();
    malloc_trim(0);
    const long rss0 = residentKb();
    const double heap0 = heapMb();

    dm.database().disconnect();
    dm.database().setFileName(full);
    dm.database().connect();
    Stopwatch t;
    pane.refresh();
    std::printf("history, %d items under %d entries:\n", pane.model()->itemCount(), entries);
    t.print("read and build the tree:");
    QApplication::processEvents();
    pane.tree()->viewport()->repaint();
    t.print("... and show it:");
    std::printf("  heap over an empty history:      %9.1f MB\n", heapMb() - heap0);
    std::printf("  resident over an empty history:  %9.1f MB\n", double(residentKb() - rss0) / 1024.0);

    // The two halves of a refresh, measured apart (the store file is cached now).
    pane.model()->clear();
    t.restart();
    auto history = store::ReadHistoryTree(dm);
    t.print("of that, reading the store:");
    t.restart();
    pane.model()->setHistory(std::move(history));
    t.print("of that, building the model:");

    t.restart();
    pane.expandAll();
    pane.tree()->viewport()->repaint();
    t.print("expand every node:");
    pane.collapseAll();

    const QModelIndex day = pane.model()->index(0, 0, pane.model()->index(1, 0, pane.model()->index(0, 0)));
    std::printf("  (a day of %d items)\n", pane.model()->rowCount(day));
    pane.select(day);
    t.restart();
    pane.deleteSelected();
    t.print("delete a day:");
    t.restart();
    pane.clearHistory();
    t.print("clear the whole history:");

    LocalPane local;
    local.resize(300, 700);
    local.show();
    QApplication::processEvents();
    t.restart();
    local.setRootPath(folder);
    QFileSystemModel* model = local.model();
    const QModelIndex root = model->index(folder);
    while (model->rowCount(root) == 0 && t.elapsedMs() < 60000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    std::printf("local list, folder of %d files:\n", files);
    local.reportView()->viewport()->repaint();
    t.print("first rows shown:");
    while (model->rowCount(root) < files && t.elapsedMs() < 60000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    t.print("every row listed:");
    local.reportView()->viewport()->repaint();
    t.print("... and shown:");
    return 0;
}

