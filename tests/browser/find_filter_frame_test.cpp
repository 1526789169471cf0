// "Find..." and "Filter" on a connected frame: what the view shows and selects,
// and that rows the filter hides still count for every name check but are
// never acted on.
#include "frame_fixture.h"

#include "dialogs/filter_dialog.h"
#include "dialogs/find_dialog.h"
#include "tests/support/gui/scripted_dialogs.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

#include <algorithm>

using namespace frametest;
using L = std::vector<std::string>;

class FindFilterFrameTest : public FrameTest {
protected:
    Server srv;

    // Connects to a server that lists `lines`, then plays `more`.
    void connect(const std::string& lines, const std::function<void()>& more = {}) {
        connectAndList(srv, "/", lines);
        if (more) more();
        openOn(srv);
        ASSERT_TRUE(frame->browsingEnabled()) << srv.failure();
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
    void filter(const std::string& pattern, const std::function<void()>& whileOpen = {}) {
        testing_support::onNextModal([=](QDialog& d) {
            if (whileOpen) whileOpen();
            static_cast<TForm6&>(d).cbPattern->setEditText(QString::fromStdString(pattern));
            static_cast<TForm6&>(d).btOk->click();
        });
        frame->Filter();
    }
    // Names of the rows the view shows, and of the selected ones, sorted.
    L shown() const {
        L out;
        for (int i = 0; i < frame->remoteModel()->rowCount(); ++i) out.push_back(frame->remoteModel()->row(i)->name);
        std::sort(out.begin(), out.end());
        return out;
    }
    L selected() const {
        L out;
        for (const rdatalist& r : frame->selectedEntries()) out.push_back(r.name);
        std::sort(out.begin(), out.end());
        return out;
    }
};

TEST_F(FindFilterFrameTest, FindSelectsByCaseAndWholeWordsAmongShownRows) {
    connect(dirLine("README") + fileLine("Readme.TXT", 1) + fileLine("readme", 1) + fileLine("notes.md", 1));
    find("README", false, false);
    EXPECT_EQ(selected(), (L{"README", "Readme.TXT", "readme"}));
    find("readme", true, false);
    EXPECT_EQ(selected(), L{"readme"});
    find("Readme", false, true);  // whole words: the exact name, letter case counting
    EXPECT_EQ(selected(), L{});
    filter("*.md");
    find("e", false, false);  // hidden rows are not found
    EXPECT_EQ(selected(), (L{"README", "notes.md"}));
    EXPECT_TRUE(frame->action(QStringLiteral("Delete"))->isEnabled());
    EXPECT_TRUE(srv.failure().empty()) << srv.failure();
}

TEST_F(FindFilterFrameTest, FilterHidesFileRowsInTheViewOnlyUntilListedAgain) {
    const std::string lines = dirLine("d") + fileLine("a.txt", 1) + fileLine("b.TXT", 1) + fileLine("Makefile", 1);
    connect(lines, [&] {
        srv.expect("CWD /", "250 ok");
        pwd(srv, "/");
        list(srv, lines);
    });
    filter("*.TXT");
    EXPECT_EQ(shown(), (L{"b.TXT", "d"}));
    EXPECT_EQ(names().size(), 4u);  // the folder's rows are all kept
    filter("*.*");                  // brings nothing back
    filter("*");                    // narrows what the first left
    EXPECT_EQ(shown(), L{"d"});
    frame->Refresh();
    filter("*");
    EXPECT_EQ(shown(), (L{"Makefile", "d"}));
    filter("");
    EXPECT_EQ(shown(), L{"d"});
    // The page dropped while the dialog was open: its answer is not applied.
    filter("*.txt", [&] { frame->Disconnect(); });
    EXPECT_TRUE(frame->remoteModel()->hiddenFiles().empty());
    EXPECT_TRUE(srv.failure().empty()) << srv.failure();
}

// Fault: a rename checked only the shown rows, so "RNTO" to a hidden name
// replaced that file on the server.
TEST_F(FindFilterFrameTest, HiddenRowsBlockTheirNamesAndAreNeverActedOn) {
    connect(fileLine("keep.dat", 5) + fileLine("x.txt", 1) + fileLine("y.txt", 1) + fileLine("z.bin", 1),
            [&] { srv.expect("DELE y.txt", "250 ok").expect("DELE x.txt", "250 ok"); });
    filter("*.txt");
    const int x = shown()[0] == "x.txt" ? 0 : 1;
    frame->remoteModel()->setData(frame->remoteModel()->index(x, 0), QStringLiteral("keep.dat"), Qt::EditRole);
    ASSERT_TRUE(waitFor([&] { return !app.dialogs().messages.empty(); }));
    app.dialogs().inputAnswers.push_back(QStringLiteral("z.bin"));
    frame->MakeNewDirectory();
    EXPECT_EQ(app.dialogs().messageTexts(), (QStringList{"The name keep.dat was existed, please re-enter.",
                                                         "The name z.bin was existed, please re-enter."}));
    frame->remoteView()->selectAll();
    EXPECT_EQ(selected(), (L{"x.txt", "y.txt"}));
    frame->DeleteSelected();
    ASSERT_TRUE(waitFor([&] { return srv.done(); })) << srv.failure();
    EXPECT_TRUE(srv.failure().empty()) << srv.failure();
    EXPECT_EQ(names(), (L{"keep.dat", "z.bin"}));
}
