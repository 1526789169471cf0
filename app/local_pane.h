#pragma once
// The "&Local File" tab of the side pane: the local file list, the bookmarked
// folders kept in "bookmark.dat", and the two ways files leave or reach the
// local side ("Upload" and remote rows dropped onto the list). What needs a
// browser page is handed out as signals carrying copied entries; the main
// window decides the page and starts the run.
#include "app/local_pane_targets.h"
#include "browser/queue_entry.h"

#include <QString>
#include <QStringList>
#include <QWidget>
#include <vector>

class QAction;
class QActionGroup;
class QComboBox;
class QFileSystemModel;
class QItemSelectionModel;
class QListView;
class QModelIndex;
class QStackedWidget;
class QToolButton;
class QTreeView;
class QAbstractItemView;

namespace ui {
class IniFile;
}

class LocalPane : public QWidget {
    Q_OBJECT
public:
    explicit LocalPane(QWidget* parent = nullptr);
    ~LocalPane() override;

    // --- bookmarks ---------------------------------------------------------
    // Fills the box from `file` (missing: empty) and saves to it from then on;
    // until then "bookmark.dat" of the data directory is used.
    void loadBookmarks(const QString& file);
    QStringList bookmarks() const;
    QComboBox* bookmarkBox() const { return box_; }

    // --- the list ----------------------------------------------------------
    // Full path of the folder the list shows (native separators).
    QString rootPath() const { return root_; }
    // A text that names no existing folder (or a relative one) changes nothing; false then.
    bool setRootPath(const QString& path);
    // "LOCALPATH" of the "MAIN" section: "-1" keeps the start folder.
    void loadLayout(const ui::IniFile& ini);
    void saveLayout(ui::IniFile& ini) const;

    // The selected items in list order: full path and whether it is a folder.
    struct Selected {
        QString path;
        bool folder;
    };
    std::vector<Selected> selectedItems() const;
    // Full paths of the selected items in list order.
    QStringList selectedPaths() const;
    // Selects exactly these items of the shown folder (by full path); false
    // when one is not shown (yet).
    bool selectPaths(const QStringList& paths);

    QFileSystemModel* model() const { return model_; }
    QTreeView* reportView() const { return report_; }
    QListView* iconView() const { return icons_; }
    QAbstractItemView* currentView() const;

    // --- view styles -------------------------------------------------------
    int viewStyleCode() const { return view_; }
    void setViewStyleCode(int code);  // 0..3; others change nothing
    int cyclePosition() const { return cycle_; }
    QAction* viewStyleItem(int code) const;

    // --- handlers ----------------------------------------------------------
    void upOneLevel();
    // An entry chosen from the box; a bookmarked folder that is gone says so.
    void chooseBookmark(int row);
    void addBookmark();
    void deleteBookmark();
    // Checks the selected items ("Invalid path." for each that is gone) and
    // emits uploadRequested with one entry per good item. Nothing while the
    // button is disabled (no connected page is active).
    void upload();
    void cycleViewStyle();
    void showHelp();
    // Remote rows dropped on the item at `itemPath` (empty: on no item).
    void dropRemoteRows(const dragfmt::RemoteRows& rows, const QString& itemPath, bool itemIsFolder);

    // Enabled exactly while the active page is a connected browser page.
    void setUploadEnabled(bool on);
    QAction* uploadAction() const { return actUpload_; }
    QToolButton* uploadButton() const;
    QAction* addTaskAction() const { return actAddTask_; }
    QAction* addBookmarkAction() const { return actAddBookmark_; }
    QAction* deleteBookmarkAction() const { return actDeleteBookmark_; }
    QAction* upAction() const { return actUp_; }

signals:
    void addTaskRequested();
    // Upload entries (remote folder "0", the one current when they run).
    void uploadRequested(const std::vector<rupdown>& entries);
    void downloadDropped(const localpane::DownloadDrop& drop);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildToolbar();
    void saveBookmarks();
    void applyViewStyle(int code);
    void openItem(const QModelIndex& index);
    bool handleDragEvent(QAbstractItemView* view, QEvent* event);

    QString root_;
    QString bookmarkFile_;
    QFileSystemModel* model_;
    QItemSelectionModel* selection_;
    QStackedWidget* stack_;
    QListView* icons_;
    QTreeView* report_;
    QComboBox* box_;
    QAction* actUp_;
    QAction* actAddBookmark_;
    QAction* actDeleteBookmark_;
    QAction* actAddTask_;
    QAction* actUpload_;
    QAction* actStyle_;
    QAction* actHelp_;
    QActionGroup* styleGroup_;
    QAction* styleItems_[4] = {};
    int view_ = 3;
    int cycle_ = 4;
};
