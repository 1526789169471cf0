// Local pane: bookmarks and their file, the root folder and LOCALPATH, the
// view styles, "Upload" and remote rows dropped onto the list.
#include "app/local_pane.h"
#include "platform/ui/ini_file.h"
#include "tests/support/gui/app_fixture.h"

#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileSystemModel>
#include <QMimeData>
#include <QTreeView>
#include <QUrl>
#include <gtest/gtest.h>

using testing_support::AppTest;
using testing_support::waitUntil;

namespace {

class LocalPaneTest : public AppTest {
protected:
    LocalPaneTest() {
        root = app.path(QStringLiteral("disk"));
        QDir().mkpath(root + QStringLiteral("/sub"));
        writeLocal(QStringLiteral("a.txt"), "aaaa");
        writeLocal(QStringLiteral("b.bin"), "bb");
        pane.loadBookmarks(bookmarkFile());
        EXPECT_TRUE(pane.setRootPath(root));
    }
    QString bookmarkFile() const { return app.path(QStringLiteral("bookmark.dat")); }
    QString local(const QString& name) const { return QDir::toNativeSeparators(root + "/" + name); }
    void writeLocal(const QString& name, const QByteArray& bytes) {
        QFile f(root + "/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    // Every item listed and sorted (folders first).
    bool listed(int rows) {
        return waitUntil([&] {
            const QModelIndex r = pane.model()->index(root);
            return pane.model()->rowCount(r) == rows &&
                   pane.model()->isDir(pane.model()->index(0, 0, r));
        });
    }

    QString root;
    LocalPane pane;
};

TEST_F(LocalPaneTest, BookmarkFileKeepsOneEntryPerFolder) {
    pane.addBookmark();
    pane.addBookmark();
    const QByteArray bytes = app.readFile(QStringLiteral("bookmark.dat"));
    ASSERT_EQ(bytes.size(), 4 + 51);
    EXPECT_EQ(bytes.left(4), QByteArray("\x01\x00\x00\x00", 4));
    EXPECT_EQ(pane.bookmarks(), QStringList{root});

    // With an empty box text nothing is removed and the file is not rewritten.
    QFile::remove(bookmarkFile());
    pane.bookmarkBox()->setEditText(QString());
    pane.deleteBookmark();
    EXPECT_FALSE(QFile::exists(bookmarkFile()));
    EXPECT_EQ(pane.bookmarks(), QStringList{root});

    // Deleting by the box text neither picks another entry nor moves the list.
    ASSERT_TRUE(pane.setRootPath(local("sub")));
    pane.addBookmark();
    pane.bookmarkBox()->setEditText(root);
    ASSERT_TRUE(pane.setRootPath(local("sub")));
    pane.deleteBookmark();
    EXPECT_EQ(pane.bookmarks(), QStringList{local("sub")});
    EXPECT_EQ(pane.bookmarkBox()->currentText(), QString());
    EXPECT_EQ(pane.rootPath(), local("sub"));
    EXPECT_EQ(app.readFile(QStringLiteral("bookmark.dat")).size(), 4 + 51);
}

TEST_F(LocalPaneTest, LongAndNonAsciiBookmarksAfterReload) {
    const QString unicode = local(QStringLiteral("Ünïcødé ñ"));
    ASSERT_LE(unicode.toUtf8().size(), 50);
    ASSERT_LT(root.size(), 58);
    const QString longPath = local(QString(59 - root.size(), QLatin1Char('x')));
    ASSERT_EQ(longPath.size(), 60);
    for (const QString& p : {unicode, longPath}) {
        ASSERT_TRUE(QDir().mkpath(p));
        ASSERT_TRUE(pane.setRootPath(p));
        pane.addBookmark();
    }
    LocalPane again;
    again.loadBookmarks(bookmarkFile());
    EXPECT_EQ(again.bookmarks(), (QStringList{unicode, longPath.left(50)}));
    // The long folder is bookmarked already, as the file keeps it.
    ASSERT_TRUE(again.setRootPath(longPath));
    again.addBookmark();
    EXPECT_EQ(again.bookmarks().size(), 2);

    // Choosing the cut entry names no folder: the list stays and says so.
    const QString before = again.rootPath();
    again.chooseBookmark(1);
    EXPECT_EQ(again.rootPath(), before);
    EXPECT_EQ(app.dialogs().messageTexts(), QStringList{"Invalid path."});
    again.chooseBookmark(0);
    EXPECT_EQ(again.rootPath(), unicode);
    // Typing a text that names no folder moves nothing and says nothing.
    again.bookmarkBox()->setEditText(QStringLiteral("/no/such/folder"));
    EXPECT_EQ(again.rootPath(), unicode);
    EXPECT_EQ(app.dialogs().messages.size(), 1u);
}

TEST_F(LocalPaneTest, RootFolderInLayoutFile) {
    ui::IniFile ini(app.path(QStringLiteral("forminfo.ini")));
    ASSERT_TRUE(pane.setRootPath(local("sub")));
    pane.saveLayout(ini);
    EXPECT_EQ(ini.readString("MAIN", "LOCALPATH", "?"), local("sub"));
    LocalPane restored;
    restored.loadLayout(ini);
    EXPECT_EQ(restored.rootPath(), local("sub"));
    restored.upOneLevel();
    EXPECT_EQ(restored.rootPath(), root);

    ASSERT_TRUE(QDir(local("sub")).removeRecursively());
    pane.saveLayout(ini);
    EXPECT_EQ(ini.readString("MAIN", "LOCALPATH", "?"), "-1");
    LocalPane fresh;
    const QString start = fresh.rootPath();
    fresh.loadLayout(ini);
    EXPECT_EQ(fresh.rootPath(), start);
}

TEST_F(LocalPaneTest, ViewStyleCycleAndDropDown) {
    std::vector<int> seen;
    for (int i = 0; i < 5; ++i) {
        pane.cycleViewStyle();
        seen.push_back(pane.viewStyleCode());
    }
    EXPECT_EQ(seen, (std::vector<int>{2, 1, 0, 3, 2}));
    pane.viewStyleItem(3)->trigger();
    EXPECT_EQ(pane.viewStyleCode(), 3);
    EXPECT_TRUE(pane.viewStyleItem(3)->isChecked());
    pane.cycleViewStyle();
    EXPECT_EQ(pane.viewStyleCode(), 1);  // the drop-down did not move the cycle
}

TEST_F(LocalPaneTest, UploadChecksEachItemAndEmitsEntriesInListOrder) {
    std::vector<std::vector<rupdown>> got;
    QObject::connect(&pane, &LocalPane::uploadRequested,
                     [&](const std::vector<rupdown>& e) { got.push_back(e); });
    ASSERT_TRUE(listed(3));
    ASSERT_TRUE(pane.selectPaths({local("sub"), local("b.bin"), local("a.txt")}));
    pane.upload();  // no connected page: the button is off
    EXPECT_TRUE(got.empty());

    pane.setUploadEnabled(true);
    pane.upload();
    ASSERT_EQ(got.size(), 1u);
    ASSERT_EQ(got[0].size(), 3u);
    // Folders come first in the list.
    EXPECT_TRUE(got[0][0].isfolder);
    EXPECT_EQ(got[0][0].size, 0);
    const rupdown& file = got[0][1];
    EXPECT_EQ(file.name, "a.txt");
    EXPECT_EQ(file.localpath, local("a.txt").toStdString());
    EXPECT_EQ(file.size, 4);
    EXPECT_EQ(file.remotedir, "0");
    EXPECT_EQ(file.direction, 0);
    EXPECT_FALSE(file.isfolder);
    EXPECT_EQ(got[0][2].name, "b.bin");

    // An item gone since it was listed: one message, the others still go.
    ASSERT_TRUE(QFile::remove(local("a.txt")));
    pane.upload();
    EXPECT_EQ(app.dialogs().messageTexts(), QStringList{"Invalid path."});
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].size(), 2u);
}

TEST_F(LocalPaneTest, DroppedRowsLandInTheFolderUnderThePointAndUnsafeNamesAreRefused) {
    std::vector<localpane::DownloadDrop> drops;
    QObject::connect(&pane, &LocalPane::downloadDropped,
                     [&](const localpane::DownloadDrop& d) { drops.push_back(d); });
    dragfmt::RemoteRows rows;
    rows.frame = QStringLiteral("fr2");
    rows.folder = "/pub";
    rows.rows = {{"ok.txt", false, 12, "2024-01-02 03:04:05"}, {"..", true, 0, ""},
                 {"../up.txt", false, 1, ""},                  {"a\\b", false, 1, ""},
                 {"", false, 1, ""},                           {"dir", true, 0, ""}};

    pane.resize(400, 300);
    pane.setViewStyleCode(3);
    pane.show();
    ASSERT_TRUE(listed(3));
    QTreeView* view = pane.reportView();
    // A drop goes to the widget that accepted the drag's entry.
    auto dropAt = [&](const QPoint& at, QMimeData* mime) {
        QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view->viewport(), &enter);
        QDropEvent ev(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view->viewport(), &ev);
        return ev.isAccepted();
    };
    auto pointOf = [&](const QString& name) {
        return view->visualRect(pane.model()->index(root + "/" + name)).center();
    };
    QMimeData remote;
    remote.setData(dragfmt::kRemoteRowsMime, dragfmt::encodeRemoteRows(rows));
    ASSERT_TRUE(waitUntil([&] { return view->viewport()->rect().contains(pointOf("b.bin")); }));
    EXPECT_TRUE(dropAt(pointOf("b.bin"), &remote));
    ASSERT_TRUE(waitUntil([&] { return drops.size() == 1; }));
    EXPECT_TRUE(dropAt(pointOf("sub"), &remote));
    ASSERT_TRUE(waitUntil([&] { return drops.size() == 2; }));

    EXPECT_EQ(drops[0].targetFolder, root);  // a file item: its folder
    EXPECT_EQ(drops[0].frame, QStringLiteral("fr2"));
    EXPECT_EQ(drops[1].targetFolder, local("sub"));
    const auto& d = drops[1];
    ASSERT_EQ(d.entries.size(), 2u);
    EXPECT_EQ(d.entries[0].localpath, local("sub/ok.txt").toStdString());
    EXPECT_EQ(d.entries[0].remotedir, "/pub");
    EXPECT_EQ(d.entries[0].size, 12);
    EXPECT_EQ(d.entries[0].remotedate, "2024-01-02 03:04:05");
    EXPECT_EQ(d.entries[0].direction, 1);
    EXPECT_TRUE(d.entries[1].isfolder);
    EXPECT_EQ(d.refused, (std::vector<std::string>{"..", "../up.txt", "a\\b", ""}));

    // Local files dragged back onto the list are refused.
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(root + "/a.txt")});
    EXPECT_FALSE(dropAt(pointOf("sub"), &files));

    // On no item: the root; a root that is gone: a message and nothing else.
    pane.dropRemoteRows(rows, QString(), false);
    EXPECT_EQ(drops.back().targetFolder, root);
    pane.dropRemoteRows(rows, local("gone/x.txt"), false);
    EXPECT_EQ(drops.size(), 3u);
    EXPECT_EQ(app.dialogs().messageTexts(), QStringList{"Invalid path."});
}

}  // namespace
