// Figures for the side pane on large data: the history tree with 100,000 items
// under 1,000 entries (time to read, build and show it; heap and resident
// memory over an empty history), deleting a day and clearing, and the local
// list of a folder with 50,000 files (time until every row is listed).
// Usage: bench_history_tree_bench [items] [entries] [files]
#include "app/history_pane.h"
#include "app/local_pane.h"
#include "platform/ui/app_paths.h"
#include "store/table.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileSystemModel>
#include <QTemporaryDir>
#include <QTreeView>

#include <malloc.h>
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

double heapMb() { return double(mallinfo2().uordblks) / (1024.0 * 1024.0); }

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
    QElapsedTimer t;
    t.start();
    pane.refresh();
    const double build = double(t.nsecsElapsed()) / 1e6;
    QApplication::processEvents();
    pane.tree()->viewport()->repaint();
    const double shown = double(t.nsecsElapsed()) / 1e6;
    std::printf("history, %d items under %d entries:\n", pane.model()->itemCount(), entries);
    std::printf("  read and build the tree:        %9.1f ms\n", build);
    std::printf("  ... and show it:                %9.1f ms\n", shown);
    std::printf("  heap over an empty history:     %9.1f MB\n", heapMb() - heap0);
    std::printf("  resident over an empty history: %9.1f MB\n", double(residentKb() - rss0) / 1024.0);

    t.restart();
    pane.expandAll();
    pane.tree()->viewport()->repaint();
    std::printf("  expand every node:              %9.1f ms\n", double(t.nsecsElapsed()) / 1e6);
    pane.collapseAll();

    const QModelIndex day = pane.model()->index(0, 0, pane.model()->index(1, 0, pane.model()->index(0, 0)));
    const int dayItems = pane.model()->rowCount(day);
    pane.select(day);
    t.restart();
    pane.deleteSelected();
    std::printf("  delete a day of %d items:       %9.1f ms\n", dayItems, double(t.nsecsElapsed()) / 1e6);
    t.restart();
    pane.clearHistory();
    std::printf("  clear the whole history:        %9.1f ms\n", double(t.nsecsElapsed()) / 1e6);

    LocalPane local;
    local.resize(300, 700);
    local.show();
    QApplication::processEvents();
    t.restart();
    local.setRootPath(folder);
    QFileSystemModel* model = local.model();
    const QModelIndex root = model->index(folder);
    while (model->rowCount(root) < files && t.elapsed() < 60000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    const double listed = double(t.nsecsElapsed()) / 1e6;
    local.reportView()->viewport()->repaint();
    std::printf("local list, folder of %d files:\n", model->rowCount(root));
    std::printf("  every row listed:               %9.1f ms\n", listed);
    std::printf("  ... and shown:                  %9.1f ms\n", double(t.nsecsElapsed()) / 1e6);
    return 0;
}
