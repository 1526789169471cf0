// Browsing, sorting, remote file operations and the listing export of a
// connected frame, each checked against the exact commands the server got.
#include "frame_fixture.h"

#include <QAction>
#include <QFile>

using namespace frametest;

namespace {

const std::string kHomeListing = dirLine(".") + dirLine("..") + fileLine("a.txt", 100, "Jan 04  2024") +
                                 dirLine("pics");

}  // namespace

class BrowseTest : public FrameTest {
protected:
    Server srv;

    void connect(bool autorefresh) {
        SiteRow site;
        site.port = srv.port();
        site.autorefresh = autorefresh;
        site.name = "Docs";
        makeFrame(site);
        frame->StartConnect(false);
        ASSERT_TRUE(frame->browsingEnabled()) << srv.failure();
    }
    void finish() {
        ASSERT_TRUE(waitFor([&] { return srv.done(); })) << srv.failure();
        EXPECT_TRUE(srv.failure().empty()) << srv.failure();
    }
    void open(const std::string& name) {
        const int r = rowOf(name);
        ASSERT_GE(r, 0) << name;
        selectRows({r});
        frame->OpenSelectedFolder();
    }
};

TEST_F(BrowseTest, CachedFoldersAreShownWithoutListingAgain) {
    connectAndList(srv, "/home", dirLine("sub") + fileLine("f", 1));
    srv.expect("CWD sub", "250 ok");
    pwd(srv, "/home/sub");
    srv.expect("CWD /home/sub", "250 ok");
    pwd(srv, "/home/sub");
    list(srv, fileLine("inner", 5));
    srv.expect("CWD ..", "250 ok");
    pwd(srv, "/home");
    srv.expect("CWD sub", "250 ok");
    pwd(srv, "/home/sub");
    srv.start();
    connect(false);
    open("sub");
    EXPECT_EQ(names(), std::vector<std::string>{"inner"});
    EXPECT_EQ(frame->currentdir(), "/home/sub");
    frame->GoBack();
    EXPECT_EQ(names(), (std::vector<std::string>{"sub", "f"}));
    expectModelConsistent();
    open("sub");  // from the cache: no LIST
    EXPECT_EQ(names(), std::vector<std::string>{"inner"});
    finish();
    EXPECT_TRUE(frame->browsingEnabled());
    EXPECT_TRUE(frame->remoteSelection()->selectedRows().isEmpty());
}

TEST_F(BrowseTest, AutorefreshListsEveryVisit) {
    connectAndList(srv, "/home", dirLine("sub"));
    srv.expect("CWD sub", "250 ok");
    pwd(srv, "/home/sub");
    list(srv, fileLine("inner", 5));
    srv.expect("CWD ..", "250 ok");
    pwd(srv, "/home");
    list(srv, dirLine("sub") + fileLine("new", 1));
    srv.start();
    connect(true);
    open("sub");
    EXPECT_EQ(names(), std::vector<std::string>{"inner"});
    frame->GoBack();
    EXPECT_EQ(names(), (std::vector<std::string>{"sub", "new"}));
    finish();
}

TEST_F(BrowseTest, FileRowsDoNotOpenAndRefreshShowsChanges) {
    connectAndList(srv, "/", fileLine("f", 1));
    srv.expect("CWD /", "250 ok");
    pwd(srv, "/");
    list(srv, fileLine("f", 1) + fileLine("g", 2));
    srv.start();
    connect(false);
    open("f");  // nothing sent: the script would fail on it
    frame->Refresh();
    EXPECT_EQ(names(), (std::vector<std::string>{"f", "g"}));
    finish();
}

TEST_F(BrowseTest, EmptyFolderIsListedOnEveryVisit) {
    connectAndList(srv, "/", dirLine("e"));
    srv.expect("CWD e", "250 ok");
    pwd(srv, "/e");
    srv.expect("CWD /e", "250 ok");
    pwd(srv, "/e");
    list(srv, dirLine(".") + dirLine(".."));
    srv.expect("CWD ..", "250 ok");
    pwd(srv, "/");
    srv.expect("CWD e", "250 ok");
    pwd(srv, "/e");
    srv.expect("CWD /e", "250 ok");
    pwd(srv, "/e");
    list(srv, "");
    srv.start();
    connect(false);
    open("e");
    EXPECT_TRUE(frame->listing().empty());
    frame->GoBack();
    open("e");
    finish();
}

TEST_F(BrowseTest, SortByMenuAndHeader) {
    connectAndList(srv, "/", fileLine("b.txt", 5000, "Mar 01  2023") + fileLine("A.zip", 10, "Jan 01  2024") +
                                 dirLine("c"));
    srv.start();
    connect(false);
    frame->action("Sort by name")->trigger();
    EXPECT_EQ(names(), (std::vector<std::string>{"A.zip", "b.txt", "c"}));
    frame->action("Sort by size")->trigger();
    EXPECT_EQ(names(), (std::vector<std::string>{"c", "A.zip", "b.txt"}));
    frame->action("Sort by date")->trigger();
    EXPECT_EQ(names().front(), "b.txt");
    frame->SortBy(0);
    EXPECT_EQ(frame->sortcolumn(), 0);
    expectModelConsistent();
    finish();
}

TEST_F(BrowseTest, MakeFolderAppendsARowAndRefusesTakenOrBadNames) {
    connectAndList(srv, "/home", dirLine("sub") + fileLine("f", 1));
    srv.expect("MKD newdir", "257 \"/home/newdir\" created");
    srv.expect("MKD bad", "550 Permission denied");
    srv.start();
    connect(false);
    auto& d = app.dialogs();
    d.inputAnswers.push_back(QStringLiteral("newdir"));
    frame->MakeNewDirectory();
    EXPECT_EQ(names().back(), "newdir");
    EXPECT_TRUE(frame->listing().back().isFolder());
    EXPECT_EQ(frame->listingcache().back().folder, "/home");
    EXPECT_EQ(frame->listingcache().back().typetext, "Folder");
    EXPECT_EQ(d.inputPrompts.back(), "Make new directory|Name|");
    expectModelConsistent();

    d.inputAnswers.push_back(QStringLiteral("sub"));
    frame->MakeNewDirectory();
    EXPECT_EQ(d.messageTexts(), QStringList{"The name sub was existed, please re-enter."});
    d.clear();
    d.inputAnswers.push_back(QStringLiteral("a/b"));
    frame->MakeNewDirectory();
    EXPECT_EQ(d.messageTexts(), QStringList{
        "The following characters can not be contained in the name of files: \\/:*?\"<>|"});
    d.clear();
    frame->MakeNewDirectory();  // cancelled
    EXPECT_TRUE(d.messageTexts().isEmpty());
    d.inputAnswers.push_back(QStringLiteral("bad"));
    frame->MakeNewDirectory();
    EXPECT_EQ(d.messageTexts(), QStringList{"Can not create folder."});
    finish();
}

TEST_F(BrowseTest, DeleteThreeLevelTreeFromTheLastEntryBack) {
    connectAndList(srv, "/", dirLine("top") + fileLine("keep", 1));
    srv.expect("CWD top", "250 ok");
    list(srv, dirLine(".") + dirLine("..") + fileLine("a", 1) + dirLine("mid") + fileLine("b", 1));
    srv.expect("DELE b", "250 ok").expect("CWD mid", "250 ok");
    list(srv, fileLine("c", 1) + dirLine("low"));
    srv.expect("CWD low", "250 ok");
    list(srv, fileLine("d", 1) + fileLine("e", 1));
    srv.expect("DELE e", "250 ok").expect("DELE d", "250 ok").expect("CWD ..", "250 ok").expect("RMD low", "250 ok");
    srv.expect("DELE c", "250 ok").expect("CWD ..", "250 ok").expect("RMD mid", "250 ok");
    srv.expect("DELE a", "250 ok").expect("CWD ..", "250 ok").expect("RMD top", "250 ok");
    srv.start();
    connect(false);
    frame->listingcache().push_back(rdatalist{"stale", "", 1, "1", 1, "", "", "/top/mid"});
    selectRows({rowOf("top")});
    frame->DeleteSelected();
    EXPECT_EQ(app.dialogs().messageTexts(),
              QStringList{"Are you sure to delete the folder <top> and all files in this folder?"});
    finish();
    EXPECT_EQ(names(), std::vector<std::string>{"keep"});
    for (const auto& r : frame->listingcache()) {
        EXPECT_NE(r.name, "top");
        EXPECT_NE(r.folder, "/top/mid");
    }
    expectModelConsistent();
    EXPECT_TRUE(frame->browsingEnabled());
}

TEST_F(BrowseTest, DeleteFirstThirdAndFifthOfFive) {
    std::string lines;
    for (const char* n : {"f1.dat", "f2.dat", "f3.dat", "f4.dat", "f5.dat"}) lines += fileLine(n, 1);
    connectAndList(srv, "/", lines);
    srv.expect("DELE f5.dat", "250 ok").expect("DELE f3.dat", "250 ok").expect("DELE f1.dat", "250 ok");
    srv.start();
    connect(false);
    selectRows({rowOf("f1.dat"), rowOf("f3.dat"), rowOf("f5.dat")});
    frame->DeleteSelected();
    EXPECT_EQ(app.dialogs().messageTexts(), QStringList{"Are you sure to delete the selected files or folders?"});
    finish();
    EXPECT_EQ(names(), (std::vector<std::string>{"f2.dat", "f4.dat"}));
}

TEST_F(BrowseTest, DeclinedDeleteSendsNothing) {
    connectAndList(srv, "/", fileLine("f", 1));
    srv.start();
    connect(false);
    app.dialogs().defaultConfirm = ui::MsgResult::No;
    selectRows({0});
    frame->DeleteSelected();
    EXPECT_EQ(app.dialogs().messageTexts(), QStringList{"Are you sure to delete <f>?"});
    finish();
    EXPECT_EQ(names(), std::vector<std::string>{"f"});
}

TEST_F(BrowseTest, RefusedDeleteLeavesTheServerInTheShownFolder) {
    connectAndList(srv, "/home", dirLine("t"));
    srv.expect("CWD t", "250 ok");
    list(srv, fileLine("x", 1));
    srv.expect("DELE x", "550 busy");
    srv.expect("CWD /home", "250 ok");
    srv.start();
    connect(false);
    selectRows({0});
    frame->DeleteSelected();
    finish();
    EXPECT_TRUE(logHas("550:busy", 2));
    EXPECT_EQ(names(), std::vector<std::string>{"t"});
    EXPECT_TRUE(frame->browsingEnabled());
}

TEST_F(BrowseTest, RenameInPlaceSendsTheServersBytes) {
    const std::string latin = std::string("caf\xE9", 4) + ".txt";
    connectAndList(srv, "/", fileLine(latin, 1) + fileLine("other", 2));
    srv.expect("RNFR " + latin, "350 ready").expect("RNTO cafe.txt", "250 renamed");
    srv.start();
    connect(false);
    frame->SortBy(0);
    const int r = rowOf(latin);
    ASSERT_GE(r, 0);
    EXPECT_TRUE(frame->remoteModel()->data(frame->remoteModel()->index(r, 0), Qt::DisplayRole).toString().contains(
        QChar(0xFFFD)));
    // Confirming the unchanged name is refused, as is a taken one.
    frame->remoteModel()->setData(frame->remoteModel()->index(rowOf("other"), 0), QStringLiteral("other"),
                                  Qt::EditRole);
    ASSERT_TRUE(waitFor([&] { return !app.dialogs().messages.empty(); }));
    EXPECT_EQ(app.dialogs().messageTexts(), QStringList{"The name other was existed, please re-enter."});
    frame->remoteModel()->setData(frame->remoteModel()->index(r, 0), QStringLiteral("cafe.txt"), Qt::EditRole);
    ASSERT_TRUE(waitFor([&] { return rowOf("cafe.txt") >= 0; }));
    EXPECT_EQ(rowOf("cafe.txt"), r);  // keeps its place
    finish();
    expectModelConsistent();
}

TEST_F(BrowseTest, ExportWholeTreeByteForByte) {
    connectAndList(srv, "/home/u", kHomeListing);
    srv.expect("CWD /home/u", "250 ok");
    list(srv, kHomeListing);
    srv.expect("CWD pics", "250 ok");
    list(srv, fileLine("x.jpg", 2048, "Jan 05  2024"));
    srv.expect("CWD ..", "250 ok").expect("CWD ..", "250 ok").expect("CWD /home/u", "250 ok");
    srv.start();
    connect(false);
    const QString path = app.path("tree");
    app.dialogs().saveAnswers.push_back(path);
    frame->ExportWhole();
    finish();
    QFile f(path + ".txt");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const std::string got = f.readAll().toStdString();
    const std::string bar = "\xA9\xA6", tee = "\xA9\xC0", dash = "\xA9\xA4", corner = "\xA9\xB8";
    std::string rule = corner;
    for (int i = 0; i < 22; ++i) rule += dash;
    const std::string expected = "Docs(ftp://127.0.0.1/home/u)\r\n" + tee + dash + "<pics>\r\n" + bar + "    " +
                                 bar + "    x.jpg    2KB    2024-01-05 00:00:00\r\n" + bar +
                                 "    a.txt    100bytes    2024-01-04 00:00:00\r\n" + rule + "\r\n" +
                                 "    1 folders, 2 files, export date: ";
    EXPECT_EQ(got.substr(0, expected.size()), expected);
    EXPECT_EQ(got.size(), expected.size() + 18);  // "yyyy/mm/dd hh:mm" and CR LF
    EXPECT_EQ(got.substr(got.size() - 2), "\r\n");
    EXPECT_EQ(frame->exportdir(), app.dataDir());
    EXPECT_TRUE(app.dialogs().saveRequests.back().endsWith("|*.txt (*.txt)"));
}

TEST_F(BrowseTest, ExportSelectedUsesTheListingTexts) {
    connectAndList(srv, "/home/u", kHomeListing);
    srv.expect("CWD pics", "250 ok");
    list(srv, "");
    srv.expect("CWD ..", "250 ok").expect("CWD /home/u", "250 ok");
    srv.start();
    connect(false);
    selectRows({rowOf("pics"), rowOf("a.txt")});
    app.dialogs().saveAnswers.push_back(app.path("sel.txt"));
    frame->ExportSelected();
    finish();
    const std::string got = app.readFile("sel.txt").toStdString();
    const std::string bar = "\xA9\xA6";
    EXPECT_EQ(got.find("Docs(ftp://127.0.0.1/home/u)\r\n" + bar + "    <pics>\r\n" + bar +
                       "    a.txt    1KB    2024-01-04 00:00:00\r\n"),
              0u);
    EXPECT_NE(got.find("    0 folders, 2 files, export date: "), std::string::npos);
}

TEST_F(BrowseTest, RefusedExportWritesNoFileAndReturnsToTheShownFolder) {
    connectAndList(srv, "/home/u", kHomeListing);
    srv.expect("CWD /home/u", "250 ok");
    list(srv, kHomeListing);
    srv.expect("CWD pics", "550 denied");
    srv.expect("CWD /home/u", "250 ok");
    srv.start();
    connect(false);
    app.dialogs().saveAnswers.push_back(app.path("none.txt"));
    frame->ExportWhole();
    finish();
    EXPECT_FALSE(QFile::exists(app.path("none.txt")));
    EXPECT_TRUE(logHas("550:denied", 2));
}

TEST_F(BrowseTest, ListedNamesThatLeaveTheFolderAreNotDeleted) {
    connectAndList(srv, "/", fileLine("../evil", 1) + dirLine("x/../..") + fileLine("ok", 1));
    srv.expect("DELE ok", "250 ok");
    srv.start();
    connect(false);
    selectRows({rowOf("../evil"), rowOf("x/../.."), rowOf("ok")});
    frame->DeleteSelected();
    finish();
    EXPECT_TRUE(logHas("Skipped <../evil>: the name leads out of its folder.", 2));
    EXPECT_TRUE(logHas("Skipped <x/../..>: the name leads out of its folder.", 2));
    EXPECT_EQ(rowOf("ok"), -1);
}
