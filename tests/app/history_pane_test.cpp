// History pane: the tree and its order, buttons and pop-up states, details,
// deleting days and items, clearing, and what "Execute" checks and hands out.
#include "app/history_pane.h"
#include "tests/support/store/history_rows.h"
#include "tests/support/gui/app_fixture.h"
#include "tests/support/gui/store_lock.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTreeView>
#include <gtest/gtest.h>

using testing_support::AppTest;

namespace {

class HistoryPaneTest : public AppTest {
protected:
    int site(const std::string& name) { return testing_support::AddNamedSite(app.dm(), name); }
    int master(int siteId, const std::string& date, const std::string& type = "Download") {
        return testing_support::AddHistoryMaster(app.dm(), siteId, date, type);
    }
    // A detail row; `lopath` is relative to the data directory.
    int item(int masterKey, const std::string& type, const std::string& lopath,
             const std::string& lofile, bool folder = false) {
        testing_support::HistoryItemRow row;
        row.type = type;
        row.lofile = lofile;
        row.lopath = under(lopath).toStdString();
        row.isfolder = folder;
        return testing_support::AddHistoryItem(app.dm(), masterKey, row);
    }
    QString under(const std::string& rel) const {
        return app.path(QString::fromStdString(rel));
    }
    QModelIndex at(std::initializer_list<int> path) const {
        QModelIndex i;
        for (int r : path) i = pane.model()->index(r, 0, i);
        return i;
    }
    QString text(std::initializer_list<int> path) const { return at(path).data().toString(); }
    int rows(store::Table& table) { return testing_support::RowCount(table); }
    std::vector<HistoryRun> executeItem(std::initializer_list<int> path) {
        std::vector<HistoryRun> runs;
        auto c = QObject::connect(&pane, &HistoryPane::executeRequested,
                                  [&](const HistoryRun& r) { runs.push_back(r); });
        pane.select(at(path));
        pane.executeSelected();
        QObject::disconnect(c);
        return runs;
    }

    HistoryPane pane{app.dm()};
    QAbstractItemModelTester tester{pane.model(), QAbstractItemModelTester::FailureReportingMode::Fatal};
};

TEST_F(HistoryPaneTest, TreeOrderButtonsAndDetails) {
    EXPECT_EQ(pane.model()->rowCount(), 0);
    for (QAction* a : {pane.deleteAction(), pane.executeAction(), pane.clearAction(),
                       pane.expandAction(), pane.collapseAction()})
        EXPECT_FALSE(a->isEnabled());
    EXPECT_TRUE(pane.refreshAction()->isEnabled());

    const int a = site("a");
    site("quiet");
    const int monday = master(a, "Monday");
    const int tuesday = master(a, "Tuesday");
    item(monday, "Download", "dl/one.txt", "one.txt");
    item(tuesday, "Download", "dl/two.txt", "two.txt");
    item(tuesday, "Download", "dl/sub", "sub", true);
    pane.refresh();

    EXPECT_EQ(text({0}), QStringLiteral("a  (a.example)"));
    EXPECT_EQ(text({0, 0}), QStringLiteral("Upload"));
    EXPECT_EQ(text({0, 1}), QStringLiteral("Download"));
    EXPECT_EQ(text({0, 1, 0}), QStringLiteral("Tuesday"));  // the newer day first
    EXPECT_EQ(text({0, 1, 1}), QStringLiteral("Monday"));
    EXPECT_EQ(text({0, 1, 0, 1}), QStringLiteral("sub"));
    EXPECT_EQ(pane.model()->rowCount(at({1, 0})) + pane.model()->rowCount(at({1, 1})), 0);
    EXPECT_TRUE(pane.clearAction()->isEnabled() && pane.expandAction()->isEnabled());

    pane.select(at({0, 1, 0, 0}));
    EXPECT_TRUE(pane.deleteAction()->isEnabled() && pane.executeAction()->isEnabled());
    EXPECT_EQ(pane.details(), (QStringList{"10:00:00", "10:00:02", "2.5sec", "1.00KB/S", "/pub",
                                           under("dl/two.txt")}));
    EXPECT_TRUE(pane.popupMenu()->actions().at(0)->isEnabled());

    pane.select(at({0, 1, 0}));
    EXPECT_TRUE(pane.deleteAction()->isEnabled());
    EXPECT_FALSE(pane.executeAction()->isEnabled());
    EXPECT_EQ(pane.details().join(QString()), QString());
    EXPECT_FALSE(pane.popupMenu()->actions().at(0)->isEnabled());
    EXPECT_TRUE(pane.menuDelete()->isEnabled());

    pane.select(at({0, 1}));
    EXPECT_FALSE(pane.deleteAction()->isEnabled());
    pane.popupMenu();
    EXPECT_FALSE(pane.menuDelete()->isEnabled());

    pane.select(at({0, 1, 0, 0}));
    pane.expandAll();
    pane.collapseAll();
    EXPECT_FALSE(pane.deleteAction()->isEnabled() || pane.executeAction()->isEnabled());
    EXPECT_EQ(pane.selectedIndex(), at({0}));
}

TEST_F(HistoryPaneTest, DeletingDaysAndItemsAndClearing) {
    const int a = site("a"), b = site("b");
    const int dayA = master(a, "Monday");
    const int dayB = master(b, "Monday");
    const int other = master(a, "Sunday", "Upload");
    item(dayA, "Download", "x/1", "1");
    item(dayA, "Download", "x/2", "2");
    item(dayB, "Download", "x/3", "3");
    item(other, "Upload", "x/4", "4");
    pane.refresh();

    pane.select(at({0, 1, 0}));
    pane.deleteSelected();
    EXPECT_EQ(pane.model()->rowCount(at({0, 1})), 0);
    EXPECT_EQ(text({1, 1, 0}), QStringLiteral("Monday"));  // the other site's day stays
    EXPECT_EQ(rows(app.dm().hdital()), 2);
    EXPECT_EQ(rows(app.dm().hmaster()), 2);

    // The last item of a day goes; the day and its entry stay.
    pane.select(at({0, 0, 0, 0}));
    pane.deleteSelected();
    EXPECT_EQ(text({0, 0, 0}), QStringLiteral("Sunday"));
    EXPECT_EQ(pane.model()->rowCount(at({0, 0, 0})), 0);
    EXPECT_EQ(rows(app.dm().hmaster()), 2);

    pane.clearHistory();
    EXPECT_EQ(rows(app.dm().hdital()) + rows(app.dm().hmaster()), 0);
    EXPECT_EQ(pane.model()->rowCount(), 2);
    EXPECT_EQ(pane.model()->rowCount(at({0})), 2);
    EXPECT_EQ(pane.model()->itemCount(), 0);
}

TEST_F(HistoryPaneTest, DeletesThatCannotBeWrittenAreReportedAndTheTreeStays) {
    item(master(site("a"), "Monday"), "Download", "x/1", "1");
    pane.refresh();
    testing_support::StoreLock lock(app);
    pane.select(at({0, 1, 0}));
    pane.deleteSelected();
    pane.clearHistory();
    ASSERT_EQ(app.dialogs().messages.size(), 2u);
    for (const auto& m : app.dialogs().messages)
        EXPECT_TRUE(m.text.startsWith(QStringLiteral("The change was not saved: "))) << m.text.toStdString();
    EXPECT_EQ(text({0, 1, 0, 0}), QStringLiteral("1"));
    EXPECT_EQ(rows(app.dm().hdital()), 1);
}

TEST_F(HistoryPaneTest, ExecuteRefusesWhatCannotRunWithItsMessage) {
    const int a = site("a");
    const int up = master(a, "Monday", "Upload");
    const int down = master(a, "Monday", "Download");
    item(up, "Upload", "gone.txt", "gone.txt");
    item(down, "Download", "blocker/sub/f.bin", "f.bin");
    item(down, "Download", "safe/f.bin", "../escape.bin");
    app.writeFile(QStringLiteral("blocker"), "a file where a folder should be");
    pane.refresh();

    EXPECT_TRUE(executeItem({0, 0, 0, 0}).empty());
    EXPECT_TRUE(executeItem({0, 1, 0, 0}).empty());
    EXPECT_TRUE(executeItem({0, 1, 0, 1}).empty());
    EXPECT_FALSE(QDir(under("safe")).exists());  // refused before any folder is made
    {
        store::TableScope t(app.dm().ftpsite());
        ASSERT_TRUE(t->locate("id", {a}));
        t->del();
    }
    EXPECT_TRUE(executeItem({0, 0, 0, 0}).empty());
    EXPECT_EQ(app.dialogs().messageTexts(),
              (QStringList{"The file " + under("gone.txt") + " was not exists.",
                           "Can not create the folder " + under("blocker/sub/f.bin") +
                               ", please check and enter again.",
                           "Invalid path.", "Can not read the information of the FTP site."}));
    for (const auto& m : app.dialogs().messages) EXPECT_EQ(m.kind, ui::MsgKind::Error);
}

TEST_F(HistoryPaneTest, ExecuteHandsOutCopiesThatOutliveTheTree) {
    const int down = master(site("a"), "Monday", "Download");
    item(down, "Download", "new/deeper/asked.bin", "saved.bin");
    pane.refresh();

    // Whoever opens the page may clear the history meanwhile; the run must
    // not point into the tree.
    std::vector<HistoryRun> runs;
    QObject::connect(&pane, &HistoryPane::executeRequested, [&](const HistoryRun& r) {
        pane.clearHistory();
        runs.push_back(r);
    });
    pane.select(at({0, 1, 0, 0}));
    pane.executeSelected();
    ASSERT_EQ(runs.size(), 1u);
    const HistoryRun& d = runs[0];
    EXPECT_EQ(d.siteName, QStringLiteral("a"));
    EXPECT_EQ(d.entry.direction, 1);
    EXPECT_EQ(d.entry.localpath, under("new/deeper/saved.bin").toStdString());
    EXPECT_EQ(d.entry.name, "remote.bin");
    EXPECT_EQ(d.entry.remotedir, "/pub");
    EXPECT_EQ(d.entry.remotedate, "?");
    EXPECT_TRUE(d.entry.checkremote);
    EXPECT_FALSE(d.refreshAfter);
    EXPECT_EQ(d.item.lofile, "saved.bin");
    EXPECT_TRUE(QDir(under("new/deeper")).exists());
}

TEST_F(HistoryPaneTest, ExecuteAnUploadTakesTheFileAsItIsNow) {
    const int up = master(site("a"), "Monday", "Upload");
    app.writeFile(QStringLiteral("up.txt"), "12345");
    item(up, "Upload", "up.txt", "up.txt");
    pane.refresh();
    const auto runs = executeItem({0, 0, 0, 0});
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].entry.direction, 0);
    EXPECT_EQ(runs[0].entry.name, "up.txt");
    EXPECT_EQ(runs[0].entry.size, 5);
    EXPECT_EQ(runs[0].entry.localpath, under("up.txt").toStdString());
    EXPECT_TRUE(runs[0].refreshAfter);
}

}  // namespace
