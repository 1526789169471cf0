// "Find..." and "Filter" on a connected frame: what the view shows and selects,
// and that rows the filter hides stay in the folder's rows for every name
// check but are never acted on.
#include "frame_fixture.h"

#include "dialogs/filter_dialog.h"
#include "dialogs/find_dialog.h"
#include "tests/support/core/real_servers.h"
#include "tests/support/gui/scripted_dialogs.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

#include <algorithm>
#include <filesystem>
#include <fstream>

using namespace frametest;
using L = std::vector<std::string>;

namespace {

L sorted(L v) {
    std::sort(v.begin(), v.end());
    return v;
}

}  // namespace

class FindFilterFrameTest : public FrameTest {
protected:
    Server srv;

    void connect(int port) {
        SiteRow site;
        site.port = port;
        makeFrame(site);
        frame->StartConnect(false);
        ASSERT_TRUE(frame->browsingEnabled()) << srv.failure();
    }
    void finish() {
        ASSERT_TRUE(waitFor([&] { return srv.done(); })) << srv.failure();
        EXPECT_TRUE(srv.failure().empty()) << srv.failure();
    }
    void find(const std::string& text, bool caseSensitive, bool whole) {
        testing_support::onNextModal([=](QDialog& d) {
            auto& f = static_cast<TForm3&>(d);
            f.cbName->setEditText(QString::fromStdString(text));
            f.cbCase->setChecked(caseSensitive);
            f.cbWhole->setChecked(whole);
            f.btFind->click();
        });
        frame->Find();
    }
    void filter(const std::string& pattern, std::function<void()> whileOpen = {}) {
        testing_support::onNextModal([=](QDialog& d) {
            if (whileOpen) whileOpen();
            auto& f = static_cast<TForm6&>(d);
            f.cbPattern->setEditText(QString::fromStdString(pattern));
            f.btOk->click();
        });
        frame->Filter();
    }
    // Names of the rows the view shows, in view order.
    L shown() const {
        L out;
        const auto* m = frame->remoteModel();
        for (int i = 0; i < m->rowCount(); ++i) out.push_back(m->row(i)->name);
        return out;
    }
    L selected() const {
        L out;
        for (const rdatalist& r : frame->selectedEntries()) out.push_back(r.name);
        return sorted(out);
    }
    int viewRowOf(const std::string& name) const {
        const L s = shown();
        const auto it = std::find(s.begin(), s.end(), name);
        return it == s.end() ? -1 : static_cast<int>(it - s.begin());
    }
};

TEST_F(FindFilterFrameTest, FindSelectsByCaseAndWholeWordsAmongShownRows) {
    connectAndList(srv, "/",
                   dirLine("README") + fileLine("Readme.TXT", 1) + fileLine("readme.txt", 1) + fileLine("notes.md", 1) +
                       fileLine("readme", 1));
    srv.start();
    connect(srv.port());

    find("README", false, false);
    EXPECT_EQ(selected(), (L{"README", "Readme.TXT", "readme", "readme.txt"}));
    EXPECT_TRUE(frame->action(QStringLiteral("Delete"))->isEnabled());
    find("readme", true, false);
    EXPECT_EQ(selected(), (L{"readme", "readme.txt"}));
    // Whole words: the exact name, letter case counting whatever the other box says.
    find("readme", false, true);
    EXPECT_EQ(selected(), L{"readme"});
    find("", false, false);
    EXPECT_EQ(selected(), L{});
    EXPECT_FALSE(frame->action(QStringLiteral("Delete"))->isEnabled());

    // Rows the filter hides are not found.
    filter("*.md");
    find("e", false, false);
    EXPECT_EQ(selected(), (L{"README", "notes.md"}));
    finish();
}

TEST_F(FindFilterFrameTest, FilterHidesFileRowsInTheViewOnlyUntilTheFolderIsListedAgain) {
    const std::string lines = dirLine("docs") + fileLine("a.txt", 1) + fileLine("b.TXT", 1) + fileLine("Makefile", 1) +
                              fileLine("c.tar.gz", 1);
    connectAndList(srv, "/", lines);
    for (int i = 0; i < 2; ++i) {
        srv.expect("CWD /", "250 ok");
        pwd(srv, "/");
        list(srv, lines);
    }
    srv.start();
    connect(srv.port());
    const L all = sorted(names());

    filter("*.TXT");
    EXPECT_EQ(sorted(shown()), (L{"b.TXT", "docs"}));
    EXPECT_EQ(sorted(names()), all);  // the folder's rows are all kept
    EXPECT_EQ(frame->hiddenCount(), 3u);
    filter("*.*");  // brings nothing back
    EXPECT_EQ(sorted(shown()), (L{"b.TXT", "docs"}));
    filter("*");  // narrows what the first left
    EXPECT_EQ(shown(), L{"docs"});

    frame->Refresh();
    EXPECT_EQ(sorted(shown()), all);
    filter("*");
    EXPECT_EQ(sorted(shown()), (L{"Makefile", "docs"}));
    frame->Refresh();
    filter("");
    EXPECT_EQ(shown(), L{"docs"});
    finish();
}

// Fault: a rename checked only the shown rows, so "RNTO" to a hidden name
// replaced that file on the server.
TEST_F(FindFilterFrameTest, HiddenRowsBlockTheirNamesAndAreNeverActedOn) {
    connectAndList(srv, "/", fileLine("keep.dat", 5) + fileLine("x.txt", 1) + fileLine("y.txt", 1) + fileLine("z.bin", 1));
    srv.expect("DELE y.txt", "250 ok").expect("DELE x.txt", "250 ok");
    srv.start();
    connect(srv.port());
    filter("*.txt");
    ASSERT_EQ(sorted(shown()), (L{"x.txt", "y.txt"}));

    auto* model = frame->remoteModel();
    model->setData(model->index(viewRowOf("x.txt"), 0), QStringLiteral("keep.dat"), Qt::EditRole);
    ASSERT_TRUE(waitFor([&] { return !app.dialogs().messages.empty(); }));
    app.dialogs().inputAnswers.push_back(QStringLiteral("z.bin"));
    frame->MakeNewDirectory();
    EXPECT_EQ(app.dialogs().messageTexts(), (QStringList{"The name keep.dat was existed, please re-enter.",
                                                         "The name z.bin was existed, please re-enter."}));
    app.dialogs().clear();

    frame->remoteView()->selectAll();
    EXPECT_EQ(selected(), (L{"x.txt", "y.txt"}));
    frame->DeleteSelected();
    EXPECT_EQ(app.dialogs().messageTexts(), QStringList{"Are you sure to delete the selected files or folders?"});
    finish();
    EXPECT_EQ(sorted(names()), (L{"keep.dat", "z.bin"}));
    EXPECT_TRUE(shown().empty());
}

TEST_F(FindFilterFrameTest, AnswerIsDroppedWhenThePageDisconnectedMeanwhile) {
    connectAndList(srv, "/", fileLine("a.txt", 1) + fileLine("b.bin", 1));
    srv.start();
    connect(srv.port());
    filter("*.txt", [&] { frame->Disconnect(); });
    EXPECT_TRUE(frame->remoteModel()->hiddenFiles().empty());
    EXPECT_TRUE(shown().empty());
    EXPECT_FALSE(frame->browsingEnabled());
    finish();
}

class RealServerFindFilter : public FindFilterFrameTest {};

TEST_F(RealServerFindFilter, RenameOntoAHiddenFileIsRefusedAndDeleteLeavesIt) {
    namespace fs = std::filesystem;
    testing_support::PyftpdlibServer ftp;
    std::string why;
    if (!ftp.Start(&why)) GTEST_SKIP() << why;
    const fs::path home = ftp.Account().Home;
    std::ofstream(home / "keep.dat") << "precious";
    std::ofstream(home / "x.txt") << "x";
    std::ofstream(home / "y.txt") << "y";
    SiteRow site;
    site.port = ftp.Port();
    site.user = ftp.Account().User;
    site.password = ftp.Account().Password;
    makeFrame(site);
    frame->StartConnect(false);
    ASSERT_TRUE(frame->browsingEnabled()) << ftp.Log();

    filter("*.txt");
    auto* model = frame->remoteModel();
    model->setData(model->index(viewRowOf("x.txt"), 0), QStringLiteral("keep.dat"), Qt::EditRole);
    ASSERT_TRUE(waitFor([&] { return !app.dialogs().messages.empty(); }));
    EXPECT_EQ(testing_support::ReadWholeFile((home / "keep.dat").string()), "precious");
    EXPECT_TRUE(fs::exists(home / "x.txt"));

    frame->remoteView()->selectAll();
    frame->DeleteSelected();
    EXPECT_FALSE(fs::exists(home / "x.txt"));
    EXPECT_FALSE(fs::exists(home / "y.txt"));
    EXPECT_EQ(testing_support::ReadWholeFile((home / "keep.dat").string()), "precious");
}
