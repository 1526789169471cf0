// The "Download" window: what it shows, the checks of "&OK", folder creation,
// the entries it returns and the recent folders in "Downloads.dat".
#include "tests/support/gui/app_fixture.h"
#include "transfer/download_dialog.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

using testing_support::onNextModal;
using transfer::AskDownload;

namespace {

rdatalist row(const std::string& name, bool folder, std::int64_t size = 0) {
    rdatalist r;
    r.name = name;
    r.typetext = folder ? "Folder" : "Text Document";
    r.sorttype = folder ? "" : r.typetext;
    r.sizetext = folder ? "" : "1KB";
    r.size = size;
    r.modified = "2024-01-03 00:00:00";
    return r;
}

class DownloadDialog : public testing_support::AppTest {
protected:
    QString recent() const { return app.path("Downloads.dat"); }
    // Runs the window with `fn` as the user.
    std::optional<transfer::DownloadRequest> run(const std::vector<rdatalist>& rows,
                                                 std::function<void(TForm10&)> fn) {
        onNextModal([fn](QDialog& d) { fn(static_cast<TForm10&>(d)); });
        return AskDownload(rows, "/pub", recent(), nullptr);
    }
};

TEST_F(DownloadDialog, OkChecksTheFolderCreatesItAndReturnsEntriesOfTheListedFolder) {
    const QString target = app.path("a/b/c");
    auto req = run({row("x.txt", false, 10), row("docs", true), row("..", false)}, [&](TForm10& f) {
        EXPECT_EQ(f.windowTitle(), "Download");
        EXPECT_EQ(f.nameLabel()->text(), "1 Folders , 2 Files .");
        EXPECT_EQ(f.iconNames(), (QStringList{"File", "Folder"}));
        f.okButton()->click();  // empty folder text: the window stays
        f.folderCombo()->setEditText(target);
        f.okButton()->click();
    });
    ASSERT_TRUE(req);
    EXPECT_EQ(app.dialogs().messageTexts(), QStringList{"Please enter the path with the files download to."});
    EXPECT_TRUE(QDir(target).exists());
    ASSERT_EQ(req->entries.size(), 2u);
    const rupdown& e = req->entries[0];
    EXPECT_EQ(e.localpath, target.toStdString() + "/x.txt");
    EXPECT_EQ(e.remotedir, "/pub");
    EXPECT_EQ(e.direction, 1);
    EXPECT_EQ(e.size, 10);
    EXPECT_EQ(e.remotedate, "2024-01-03 00:00:00");
    EXPECT_TRUE(req->entries[1].isfolder);
    EXPECT_EQ(req->refused, std::vector<std::string>{".."});
    // The folder is remembered: 4 + 51 bytes.
    EXPECT_EQ(app.readFile("Downloads.dat").size(), 55);
}

TEST_F(DownloadDialog, EveryRowIsCheckedAndAFolderThatCanNotBeMadeKeepsTheWindowOpen) {
    app.writeFile("plain", "a file, not a folder");
    auto req = run({row("fine.txt", false), row("a:b", false)}, [&](TForm10& f) {
        f.folderCombo()->setEditText(app.path("dl"));
        f.okButton()->click();
        f.cancelButton()->click();
    });
    EXPECT_FALSE(req);
    EXPECT_FALSE(QDir(app.path("dl")).exists());
    EXPECT_EQ(app.dialogs().messageTexts(),
              QStringList{"The following characters can not be contained in the name of files: \\/:*?\"<>|"});

    app.dialogs().clear();
    req = run({row("one.txt", false)}, [&](TForm10& f) {
        EXPECT_EQ(f.iconNames(), QStringList{"File"});
        EXPECT_EQ(f.infoTexts(), (QStringList{"1KB", "2024-01-03 00:00:00", "Text Document"}));
        f.folderCombo()->setEditText(app.path("plain/sub"));
        f.okButton()->click();
        f.cancelButton()->click();
    });
    EXPECT_FALSE(req);
    EXPECT_EQ(app.dialogs().messageTexts(),
              QStringList{"Can not create the folder " + app.path("plain/sub") + ", please check and enter again."});
}

TEST_F(DownloadDialog, RecentFoldersLoadOnceEachAndClearHistoryKeepsTheTypedText) {
    const QString dl = app.path("dl");
    run({row("f", false)}, [&](TForm10& f) {
        f.folderCombo()->setEditText(dl);
        f.okButton()->click();
    });
    run({row("f", false)}, [&](TForm10& f) {
        EXPECT_EQ(f.folderCombo()->count(), 1);
        EXPECT_EQ(f.folderCombo()->currentText(), "");
        f.folderCombo()->setEditText(dl);
        f.okButton()->click();
    });
    EXPECT_EQ(app.readFile("Downloads.dat").size(), 55);

    app.dialogs().folderAnswers = {app.path("picked")};
    run({row("f", false)}, [&](TForm10& f) {
        f.folderCombo()->setEditText(app.path("typed"));
        f.browseButton()->click();
        EXPECT_EQ(f.folderCombo()->currentText(), app.path("picked"));
        f.clearHistoryButton()->click();
        EXPECT_EQ(f.folderCombo()->count(), 0);
        EXPECT_EQ(f.folderCombo()->currentText(), app.path("picked"));
        f.cancelButton()->click();
    });
    EXPECT_EQ(app.dialogs().folderRequests, QStringList{"Download to|" + app.path("typed")});
    EXPECT_EQ(app.readFile("Downloads.dat"), QByteArray(4, '\0'));
}

TEST_F(DownloadDialog, FolderTextIsCheckedOnEveryChangeButNotForTheSeparator) {
    run({row("f", false)}, [&](TForm10& f) {
        f.folderCombo()->setEditText(QDir::separator() + QStringLiteral("ok"));
        f.folderCombo()->setEditText(QStringLiteral("/a*b"));
        f.cancelButton()->click();
    });
    EXPECT_EQ(app.dialogs().messageTexts(),
              QStringList{"The following characters can not be contained in the name of files: /\\*?\"<>|"});
}

}  // namespace
