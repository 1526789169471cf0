// The side panes' runs through the main window against real servers: uploads
// from the local pane, remote rows dropped on it, history and task "Execute"
// reaching the page of their own site, and "Add task" from a page.
#include "app/history_pane.h"
#include "app/local_pane.h"
#include "app/local_pane_targets.h"
#include "app/main_window.h"
#include "browser/browser_frame.h"
#include "browser/connection_log.h"
#include "browser/remote_list_model.h"
#include "store/site_records.h"
#include "store/task_records.h"
#include "tasks/task_editor.h"
#include "tasks/task_run.h"
#include "tasks/tasks_pane.h"
#include "tests/support/core/real_servers.h"
#include "tests/support/gui/app_fixture.h"
#include "tests/support/gui/gui_test_utils.h"
#include "tests/support/gui/store_rows.h"
#include "transfer/duplicate_dialog.h"
#include "transfer/frame_transfers.h"
#include "transfer/queue_model.h"

#include <QDialog>
#include <QItemSelectionModel>
#include <QTabWidget>
#include <QTest>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

using testing_support::ReadWholeFile;
using testing_support::WriteWholeFile;

class RealServerSidePanes : public testing_support::AppTest {
protected:
    std::unique_ptr<TForm1> w;
    testing_support::TempDir local;

    TForm1& show() {
        w = std::make_unique<TForm1>(app.dm());
        w->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        return *w;
    }
    bool serve(testing_support::PyftpdlibServer& s, const std::string& site) {
        std::string why;
        if (!s.Start(&why)) return false;
        store::SiteRecord r = testing_support::loopbackSite(site, s.Port());
        r.username = s.Account().User;
        r.password = s.Account().Password;
        store::appendSite(app.dm(), r);
        return true;
    }
    Tfb* page(const QString& site) {
        for (Tfb* f : w->frames())
            if (f->sitename() == site) return f;
        return nullptr;
    }
    transfer::FrameTransfers* engine(const QString& site) { return transfer::FrameTransfers::of(page(site)); }
    bool settled(const QString& site) {
        transfer::FrameTransfers* e = engine(site);
        return e && !e->running() && e->model().rowCount() == 0 && page(site)->browsingEnabled();
    }
    std::string localFile(const std::string& name, const std::string& bytes) {
        fs::create_directories(fs::path(local.File(name)).parent_path());
        WriteWholeFile(local.File(name), bytes);
        return local.File(name);
    }
};

TEST_F(RealServerSidePanes, UploadFromTheLocalPaneMovesFilesAndAFolderTree) {
    testing_support::PyftpdlibServer server;
    if (!serve(server, "up")) GTEST_SKIP() << "pyftpdlib not available";
    TForm1& m = show();
    m.OpenBrowserPage("up", false);
    ASSERT_TRUE(testing_support::waitUntil([&] { return page("up") && page("up")->browsingEnabled(); }, 8000));

    localFile("one.txt", "1");
    localFile("two.txt", "22");
    localFile("tree/deep/three.txt", "333");
    LocalPane* pane = m.localPane();
    ASSERT_TRUE(pane->setRootPath(QString::fromStdString(local.Path())));
    const QStringList items{QString::fromStdString(local.File("one.txt")),
                            QString::fromStdString(local.File("two.txt")),
                            QString::fromStdString(local.File("tree"))};
    ASSERT_TRUE(testing_support::waitUntil([&] { return pane->selectPaths(items); }, 5000));
    std::size_t queued = 0;
    auto count = QObject::connect(pane, &LocalPane::uploadRequested,
                                  [&](const std::vector<rupdown>& e) { queued = e.size(); });
    pane->upload();
    QObject::disconnect(count);
    EXPECT_EQ(queued, 3u);
    ASSERT_TRUE(testing_support::waitUntil([&] { return settled("up"); }, 10000));
    const std::string home = server.Account().Home;
    EXPECT_EQ(ReadWholeFile(home + "/one.txt"), "1");
    EXPECT_EQ(ReadWholeFile(home + "/two.txt"), "22");
    EXPECT_EQ(ReadWholeFile(home + "/tree/deep/three.txt"), "333");
    EXPECT_EQ(testing_support::column(app.dm().hdital(), "lofile"),
              (std::vector<std::string>{"one.txt", "two.txt", "tree"}));
}

// Fault: "Execute" went to whichever page was active, so a file of one
// server could be sent to another.
TEST_F(RealServerSidePanes, HistoryAndTaskRunsGoToTheirOwnSitesPageNotTheActiveOne) {
    testing_support::PyftpdlibServer a, b;
    if (!serve(a, "a") || !serve(b, "b")) GTEST_SKIP() << "pyftpdlib not available";
    TForm1& m = show();
    m.OpenBrowserPage("a", false);
    ASSERT_TRUE(testing_support::waitUntil([&] { return page("a") && page("a")->browsingEnabled(); }, 8000));

    HistoryRun run;
    run.siteName = QStringLiteral("b");
    run.entry.direction = 0;
    run.entry.name = "h.txt";
    run.entry.localpath = localFile("h.txt", "history");
    run.entry.size = 7;
    run.entry.remotedir = "/";
    run.refreshAfter = true;
    m.ExecuteHistory(run);
    ASSERT_TRUE(testing_support::waitUntil([&] { return settled("b"); }, 10000));
    EXPECT_EQ(ReadWholeFile(b.Account().Home + "/h.txt"), "history");
    EXPECT_FALSE(fs::exists(a.Account().Home + "/h.txt"));

    // A download task of site "a" while "b" is the active page; it creates
    // its local folders and runs again (the second time over the first copy).
    WriteWholeFile(a.Account().Home + "/t.bin", "task bytes");
    rtask task;
    task.name = "fetch";
    task.ftp = "a";
    task.type = "Download";
    const std::string into = local.File("made/by/task");
    tasks::TaskRun prepared = tasks::PrepareTaskRun(task, {{false, "t.bin", into, "/"}},
                                                    [](const QString& e) { ADD_FAILURE() << e.toStdString(); });
    ASSERT_EQ(prepared.entries.size(), 1u);
    ASSERT_EQ(m.activeFrame(), page("b"));
    m.ExecuteTask(prepared);
    ASSERT_TRUE(testing_support::waitUntil([&] { return settled("a"); }, 10000));
    EXPECT_EQ(ReadWholeFile(into + "/t.bin"), "task bytes");

    WriteWholeFile(a.Account().Home + "/t.bin", "newer task bytes");
    testing_support::onNextModal([](QDialog& d) { static_cast<TForm9&>(d).onButton(transfer::DuplicateButton::Overwrite); });
    m.ExecuteTask(prepared);
    ASSERT_TRUE(testing_support::waitUntil([&] { return settled("a"); }, 10000));
    EXPECT_EQ(ReadWholeFile(into + "/t.bin"), "newer task bytes");
    EXPECT_FALSE(fs::exists(b.Account().Home + "/t.bin"));
}

TEST_F(RealServerSidePanes, AHistoryItemExecutedTwiceWhileQueuedIsQueuedOnce) {
    // A site nobody answers on: the page keeps its queue while it retries.
    store::appendSite(app.dm(), testing_support::loopbackSite("silent", testing_support::FreeLoopbackPort()));
    TForm1& m = show();
    HistoryRun run;
    run.siteName = QStringLiteral("silent");
    run.entry.direction = 0;
    run.entry.name = "q.txt";
    run.entry.localpath = localFile("q.txt", "q");
    run.entry.remotedir = "/";
    m.ExecuteHistory(run);
    m.ExecuteHistory(run);
    ASSERT_NE(engine("silent"), nullptr);
    EXPECT_EQ(engine("silent")->model().rowCount(), 1);
}

TEST_F(RealServerSidePanes, DroppedRowsQueueInTheirPageAndRefusedNamesAreLoggedThere) {
    testing_support::PyftpdlibServer server;
    if (!serve(server, "d")) GTEST_SKIP() << "pyftpdlib not available";
    WriteWholeFile(server.Account().Home + "/dropped.txt", "dropped");
    TForm1& m = show();
    m.OpenBrowserPage("d", false);
    ASSERT_TRUE(testing_support::waitUntil([&] { return page("d") && page("d")->browsingEnabled(); }, 8000));

    localpane::DownloadDrop drop;
    drop.frame = page("d")->objectName();
    drop.targetFolder = QString::fromStdString(local.Path());
    rupdown e;
    e.direction = 1;
    e.name = "dropped.txt";
    e.size = 7;
    e.remotedir = page("d")->currentdir();
    e.localpath = local.File("dropped.txt");
    drop.entries.push_back(e);
    drop.refused.push_back("../escape");
    m.QueueDroppedRows(drop);
    ASSERT_TRUE(testing_support::waitUntil([&] { return settled("d"); }, 10000));
    EXPECT_EQ(ReadWholeFile(local.File("dropped.txt")), "dropped");
    bool logged = false;
    for (const auto& l : page("d")->log()->entries()) logged |= l.text.find("../escape") != std::string::npos;
    EXPECT_TRUE(logged);
}

TEST_F(RealServerSidePanes, AddTaskFromAPageStartsInTheLocalPanesFolder) {
    testing_support::PyftpdlibServer server;
    if (!serve(server, "t")) GTEST_SKIP() << "pyftpdlib not available";
    WriteWholeFile(server.Account().Home + "/wanted.txt", "w");
    TForm1& m = show();
    ASSERT_TRUE(m.localPane()->setRootPath(QString::fromStdString(local.Path())));
    m.OpenBrowserPage("t", false);
    Tfb* f = page("t");
    ASSERT_TRUE(testing_support::waitUntil([&] { return f && f->browsingEnabled() && !f->listing().empty(); }, 8000));
    f->remoteSelection()->select(f->remoteModel()->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);

    std::vector<rtaskupdown> items;
    testing_support::onNextModal([&](QDialog& d) {
        items = static_cast<TForm13&>(d).items();
        d.reject();
    });
    m.AddDownloadTask(f);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].files, "wanted.txt");
    EXPECT_EQ(items[0].local, local.Path());
    EXPECT_EQ(items[0].ftp, f->currentdir());
}

}  // namespace
