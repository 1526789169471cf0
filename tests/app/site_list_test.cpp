// Site list pane: filling, selection states and description, opening,
// deleting with history, in-place rename and the view styles.
#include "app/main_window.h"
#include "app/site_list_pane.h"
#include "browser/browser_frame.h"
#include "dialogs/site_editor.h"
#include "tests/support/gui/app_fixture.h"
#include "tests/support/gui/store_rows.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

using testing_support::AppTest;
using testing_support::onNextModal;

namespace {

int addSite(store::Tdm& dm, const std::string& name, const std::string& address = "h.example",
            const std::string& comment = "", int port = 21) {
    store::TableScope t(dm.ftpsite());
    t->append();
    t->setString("name", name);
    t->setString("address", address);
    t->setInteger("port", port);
    t->setString("cdate", "2020-01-02 03:04:05");
    t->setString("zdate", "2021-06-07 08:09:10");
    t->setString("comment", comment);
    t->post();
    return t->asInteger("id");
}

int addHistory(store::Tdm& dm, int siteId, const std::string& file) {
    int key = 0;
    {
        store::TableScope h(dm.hmaster());
        h->append();
        h->setInteger("id", siteId);
        h->setString("date", "Monday");
        h->setString("type", "Download");
        h->post();
        key = h->asInteger("key");
    }
    store::TableScope d(dm.hdital());
    for (int i = 0; i < 2; ++i) {
        d->append();
        d->setInteger("id", key);
        d->setString("ftpfile", file);
        d->post();
    }
    return key;
}

using testing_support::column;

class SiteListTest : public AppTest {
protected:
    void SetUp() override {
        QObject::connect(&pane, &SiteListPane::openPageRequested,
                         [this](const QString& n) { opened << n + "|site"; });
        QObject::connect(&pane, &SiteListPane::siteRenamed,
                         [this](const QString& a, const QString& b) { renamed << a + "->" + b; });
    }

    SiteListPane pane{app.dm()};
    QStringList opened, renamed;
};

TEST_F(SiteListTest, FillShowsNewSiteRowThenSitesInTableOrder) {
    pane.FillList();
    ASSERT_EQ(pane.rowCount(), 1);
    EXPECT_EQ(pane.rowText(0), QStringLiteral("NewFTPSite"));
    EXPECT_EQ(pane.rowText(0, 1), QString());

    addSite(app.dm(), "zeta", "z.example");
    addSite(app.dm(), "Alpha", "a.example");
    pane.FillList();
    ASSERT_EQ(pane.rowCount(), 3);
    EXPECT_EQ(pane.rowText(1), QStringLiteral("zeta"));
    EXPECT_EQ(pane.rowText(2), QStringLiteral("Alpha"));
    EXPECT_EQ(pane.rowText(2, 1), QStringLiteral("a.example"));
    EXPECT_EQ(pane.rowText(2, 2), QStringLiteral("2020-01-02 03:04:05"));
    EXPECT_EQ(pane.rowText(2, 3), QStringLiteral("2021-06-07 08:09:10"));
    EXPECT_EQ(pane.reportView()->model()->headerData(3, Qt::Horizontal).toString(),
              QStringLiteral("Latest access"));
}

TEST_F(SiteListTest, SelectionDrivesButtonsMenuAndDescription) {
    addSite(app.dm(), "S", "s.example", "first\r\nsecond\r\n\r\nfourth\r\n", 2121);
    pane.FillList();

    EXPECT_FALSE(pane.editAction()->isEnabled());
    ASSERT_NE(pane.popupMenu(), nullptr);
    EXPECT_FALSE(pane.menuConnect()->isVisible());
    EXPECT_FALSE(pane.menuRename()->isVisible());
    EXPECT_TRUE(pane.menuNew()->isVisible());
    EXPECT_TRUE(pane.menuRefresh()->isVisible());

    pane.selectRow(1);
    EXPECT_TRUE(pane.editAction()->isEnabled());
    EXPECT_TRUE(pane.deleteAction()->isEnabled());
    EXPECT_TRUE(pane.connectionAction()->isEnabled());
    EXPECT_TRUE(pane.menuConnect()->isVisible());
    EXPECT_TRUE(pane.menuDelete()->isVisible());
    EXPECT_EQ(pane.popupMenu()->defaultAction(), pane.menuConnect());
    EXPECT_EQ(pane.description(), QStringLiteral("FTP address: s.example\n"
                                                 "Port: 2121\n"
                                                 "Create date: 2020-01-02 03:04:05\n"
                                                 "Latest date: 2021-06-07 08:09:10\n"
                                                 "\n"
                                                 "first\nsecond\n\nfourth"));

    pane.selectRow(0);
    EXPECT_EQ(pane.popupMenu(), nullptr);
    EXPECT_FALSE(pane.connectionAction()->isEnabled());
    EXPECT_EQ(pane.description(), QString());

    pane.selectRow(-1);
    EXPECT_NE(pane.popupMenu(), nullptr);
    EXPECT_FALSE(pane.deleteAction()->isEnabled());
}

TEST_F(SiteListTest, SiteDeletedElsewhereKeepsOldDescriptionAndDeletesNothing) {
    addSite(app.dm(), "A", "a.example");
    addSite(app.dm(), "B", "b.example");
    pane.FillList();
    pane.selectRow(1);
    const QString shown = pane.description();
    {
        store::TableScope t(app.dm().ftpsite());
        ASSERT_TRUE(t->locate("name", {std::string("B")}));
        t->del();
    }
    pane.selectRow(2);
    EXPECT_EQ(pane.description(), shown);
    pane.deleteSelected();
    EXPECT_EQ(column(app.dm().ftpsite(), "name"), std::vector<std::string>{"A"});
    pane.renameRow(2, QStringLiteral("C"));
    EXPECT_EQ(column(app.dm().ftpsite(), "name"), std::vector<std::string>{"A"});
}

TEST_F(SiteListTest, OpeningSitesAndTheNewSiteRow) {
    addSite(app.dm(), "Mine");
    pane.FillList();
    pane.selectRow(1);
    pane.connectSelected();
    pane.connectionButton();
    EXPECT_EQ(opened, (QStringList{"Mine|site", "Mine|site"}));

    // The new-site row opens the editor; the saved site then shows last.
    pane.selectRow(0);
    pane.connectionButton();
    onNextModal([](QDialog& d) {
        auto& e = static_cast<TForm4&>(d);
        e.nameEdit()->setText(QStringLiteral("Added"));
        e.addressEdit()->setText(QStringLiteral("added.example"));
        e.okButton()->click();
    });
    pane.connectSelected();
    EXPECT_EQ(opened.size(), 2);
    ASSERT_EQ(pane.rowCount(), 3);
    EXPECT_EQ(pane.rowText(2), QStringLiteral("Added"));

    // "Edit FTP site" opens the editor on the selected site.
    pane.selectRow(1);
    QString seen;
    onNextModal([&](QDialog& d) {
        seen = d.windowTitle() + "|" + static_cast<TForm4&>(d).addressEdit()->text();
        d.reject();
    });
    pane.editAction()->trigger();
    EXPECT_EQ(seen, QStringLiteral("Edit FTP Site|h.example"));
    pane.showHelp();
    EXPECT_TRUE(app.dialogs().helpRequests.value(0).endsWith("Ostrafen.hlp|Newitem"));

    // A real double-click in the report view does the same as "Connect".
    pane.resize(600, 500);
    pane.show();
    pane.setViewStyleCode(3);
    QTreeView* v = pane.reportView();
    const QRect r = v->visualRect(v->model()->index(1, 0));
    QTest::mouseDClick(v->viewport(), Qt::LeftButton, {}, r.center());
    EXPECT_EQ(opened.last(), QStringLiteral("Mine|site"));
}

TEST_F(SiteListTest, DeleteAsksAndRemovesOnlyThatSitesHistory) {
    const int keep = addSite(app.dm(), "Keep");
    const int gone = addSite(app.dm(), "Gone");
    const int keepKey = addHistory(app.dm(), keep, "k.txt");
    addHistory(app.dm(), gone, "g1.txt");
    addHistory(app.dm(), gone, "g2.txt");
    addHistory(app.dm(), keep, "k2.txt");
    pane.FillList();
    pane.selectRow(2);

    app.dialogs().confirmAnswers.push_back(ui::MsgResult::No);
    pane.deleteSelected();
    ASSERT_EQ(app.dialogs().messages.size(), 1u);
    EXPECT_EQ(app.dialogs().messages[0].text, QStringLiteral("Are you sure to delete <Gone>?"));
    EXPECT_EQ(app.dialogs().messages[0].kind, ui::MsgKind::Confirmation);
    EXPECT_EQ(app.dialogs().messages[0].buttons, ui::MsgButtons::YesNo);
    EXPECT_EQ(column(app.dm().ftpsite(), "name").size(), 2u);
    EXPECT_EQ(column(app.dm().hdital(), "ftpfile").size(), 8u);

    pane.deleteSelected();  // Yes
    EXPECT_EQ(column(app.dm().ftpsite(), "name"), std::vector<std::string>{"Keep"});
    EXPECT_EQ(column(app.dm().hmaster(), "id"),
              (std::vector<std::string>{std::to_string(keep), std::to_string(keep)}));
    EXPECT_EQ(column(app.dm().hdital(), "ftpfile"),
              (std::vector<std::string>{"k.txt", "k.txt", "k2.txt", "k2.txt"}));
    EXPECT_EQ(column(app.dm().hdital(), "id")[0], std::to_string(keepKey));
    ASSERT_EQ(pane.rowCount(), 2);
    EXPECT_EQ(pane.rowText(1), QStringLiteral("Keep"));
    // Nothing selected after the refill, so the buttons are off again.
    EXPECT_FALSE(pane.deleteAction()->isEnabled());
}

TEST_F(SiteListTest, RenameRefusesTakenAndUnchangedNames) {
    addSite(app.dm(), "One");
    addSite(app.dm(), "Two");
    pane.FillList();

    pane.renameRow(1, QStringLiteral("Two"));
    pane.renameRow(1, QStringLiteral("One"));
    EXPECT_EQ(app.dialogs().messageTexts(),
              (QStringList{"The name Two was existed, please re-enter.",
                           "The name One was existed, please re-enter."}));
    EXPECT_EQ(app.dialogs().messages[0].kind, ui::MsgKind::Warning);
    EXPECT_EQ(pane.rowText(1), QStringLiteral("One"));
    EXPECT_EQ(column(app.dm().ftpsite(), "name"), (std::vector<std::string>{"One", "Two"}));
    EXPECT_TRUE(renamed.isEmpty());

    // An empty name would leave a site nobody can tell apart.
    app.dialogs().clear();
    pane.renameRow(1, QString());
    EXPECT_EQ(app.dialogs().messageTexts(), QStringList{"Please enter name."});
    EXPECT_EQ(pane.rowText(1), QStringLiteral("One"));
    EXPECT_EQ(column(app.dm().ftpsite(), "name"), (std::vector<std::string>{"One", "Two"}));
}

TEST_F(SiteListTest, RenameUpdatesRowPagesAndTasks) {
    addSite(app.dm(), "One");
    {
        store::TableScope t(app.dm().taskd());
        for (const char* site : {"One", "one", "One"}) {
            t->append();
            t->setString("ftp", site);
            t->post();
        }
    }
    pane.FillList();
    // Only letter case differs: a different name, accepted.
    pane.renameRow(1, QStringLiteral("ONE"));
    EXPECT_TRUE(app.dialogs().messages.empty());
    EXPECT_EQ(pane.rowText(1), QStringLiteral("ONE"));
    EXPECT_EQ(column(app.dm().ftpsite(), "name"), std::vector<std::string>{"ONE"});
    EXPECT_EQ(renamed, QStringList{"One->ONE"});
    EXPECT_EQ(column(app.dm().taskd(), "ftp"), (std::vector<std::string>{"ONE", "one", "ONE"}));

    // The new-site row only changes its caption.
    pane.renameRow(0, QStringLiteral("Whatever"));
    EXPECT_EQ(pane.rowText(0), QStringLiteral("Whatever"));
    EXPECT_EQ(column(app.dm().ftpsite(), "name"), std::vector<std::string>{"ONE"});
    pane.refresh();
    EXPECT_EQ(pane.rowText(0), QStringLiteral("NewFTPSite"));
}

TEST_F(SiteListTest, InPlaceEditingEndsInRename) {
    addSite(app.dm(), "Edit me");
    pane.FillList();
    pane.resize(600, 400);
    pane.show();
    pane.setViewStyleCode(3);
    pane.selectRow(1);
    pane.startRename();
    QLineEdit* editor = pane.reportView()->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText(QStringLiteral("Edited"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(pane.rowText(1), QStringLiteral("Edited"), 5000);
    EXPECT_EQ(column(app.dm().ftpsite(), "name"), std::vector<std::string>{"Edited"});
}

TEST_F(SiteListTest, ViewStyleCycleAndDropDown) {
    EXPECT_EQ(pane.cyclePosition(), 4);
    std::vector<int> codes;
    for (int i = 0; i < 5; ++i) {
        pane.cycleViewStyle();
        codes.push_back(pane.viewStyleCode());
        EXPECT_TRUE(pane.viewStyleItem(pane.viewStyleCode())->isChecked());
    }
    // Small icon, List, Large icon, Report, Small icon.
    EXPECT_EQ(codes, (std::vector<int>{2, 1, 0, 3, 2}));
    EXPECT_EQ(pane.iconView()->viewMode(), QListView::ListMode);

    // The drop-down sets the style without moving the cycle.
    pane.viewStyleItem(0)->trigger();
    EXPECT_EQ(pane.viewStyleCode(), 0);
    EXPECT_EQ(pane.iconView()->viewMode(), QListView::IconMode);
    EXPECT_EQ(pane.cyclePosition(), 3);
    pane.cycleViewStyle();
    EXPECT_EQ(pane.viewStyleCode(), 1);

    // Stored codes outside 0..3 change nothing.
    pane.setViewStyleCode(9);
    EXPECT_EQ(pane.viewStyleCode(), 1);
    pane.setViewStyleCode(3);
    EXPECT_TRUE(pane.viewStyleItem(3)->isChecked());
}

// The pane inside the real main window: pages follow a rename and survive a delete.
class SiteListInWindowTest : public AppTest {};

TEST_F(SiteListInWindowTest, DrivesTheMainWindowsPages) {
    addSite(app.dm(), "Live", "127.0.0.1", "", 1);  // port 1: refused at once
    {
        store::TableScope t(app.dm().ftpsite());
        ASSERT_TRUE(t->locate("name", {std::string("Live")}));
        t->edit();
        t->setInteger("timeout", 2);
        t->setInteger("rd", 60);
        t->post();
    }
    TForm1 w(app.dm());
    w.resize(900, 600);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    SiteListPane* pane = w.siteList();
    ASSERT_EQ(pane->rowCount(), 2);

    pane->selectRow(1);
    pane->connectionButton();
    Tfb* frame = w.frameByCaption(QStringLiteral("Live"));
    ASSERT_NE(frame, nullptr);

    pane->renameRow(1, QStringLiteral("Renamed"));
    EXPECT_EQ(w.frameByCaption(QStringLiteral("Renamed")), frame);
    EXPECT_EQ(frame->sitename(), QStringLiteral("Renamed"));

    pane->selectRow(1);
    pane->deleteSelected();
    EXPECT_EQ(pane->rowCount(), 1);
    EXPECT_EQ(w.frameByCaption(QStringLiteral("Renamed")), frame);

    // The cycle position lives as long as the window.
    pane->cycleViewStyle();
    EXPECT_EQ(pane->cyclePosition(), 3);
    EXPECT_EQ(pane->viewStyleCode(), 2);
}

// A damaged all.dat: one error box at start that names the file, the file
// left alone, and a change tried later refused with a message.
TEST(SiteListWithBrokenStore, SaysSoOnceAndRefusesChanges) {
    testing_support::AppFixture app(testing_support::AppFixture::Connect::No);
    const QByteArray damaged = QByteArray("SQLite format 3\0", 16) + QByteArray(200, '\x07');
    app.writeFile(QStringLiteral("all.dat"), damaged);
    TForm1 w(app.dm());
    w.show();
    ASSERT_TRUE(testing_support::waitUntil([&] { return !app.dialogs().messages.empty(); }));
    const testing_support::RecordedMessage start = app.dialogs().messages.at(0);
    EXPECT_EQ(start.kind, ui::MsgKind::Error);
    EXPECT_TRUE(start.text.startsWith(QStringLiteral("Can not open the data file ") + app.path("all.dat")))
        << start.text.toStdString();
    EXPECT_TRUE(start.text.contains(QStringLiteral("restore the file from a backup")));
    EXPECT_EQ(w.siteList()->rowCount(), 1);

    onNextModal([](QDialog& d) {
        auto& e = static_cast<TForm4&>(d);
        e.nameEdit()->setText(QStringLiteral("New"));
        e.addressEdit()->setText(QStringLiteral("h.example"));
        e.okButton()->click();
        EXPECT_NE(e.result(), QDialog::Accepted);
        e.reject();
    });
    w.siteList()->newSite();
    ASSERT_EQ(app.dialogs().messages.size(), 2u);
    EXPECT_EQ(app.dialogs().messages[1].text,
              QStringLiteral("The change was not saved: the data file %1 could not be opened when the "
                             "program started.")
                  .arg(app.path("all.dat")));
    EXPECT_EQ(app.readFile(QStringLiteral("all.dat")), damaged);
}

}  // namespace
