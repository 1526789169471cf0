#pragma once
// The main window: top bar with the fixed buttons, the side pane (local files,
// history, tasks), and the main page control with the "FTP Site" page and one
// browser page per open connection. Keeps the window layout in "forminfo.ini".
//
// The composition root of the program: it creates the panes and the pages,
// hands them the store, and wires every window's requests to the window that
// serves them, all in this class.
#include "browser/queue_entry.h"

#include <QList>
#include <QMainWindow>
#include <QString>
#include <functional>
#include <vector>

class QMenu;
class QSplitter;
class QTabWidget;
class Tfb;
class SiteListPane;
class LocalPane;
class HistoryPane;
class TasksPane;
struct HistoryRun;

namespace browser {
struct ConnectSettings;
}
namespace localpane {
struct DownloadDrop;
}
namespace tasks {
struct TaskRun;
}
namespace store {
class Tdm;
}

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(store::Tdm& dm, QWidget* parent = nullptr);
    ~TForm1() override;

    // --- browser pages ---------------------------------------------------
    // Opens the page of `name` (a site name), or shows and activates it
    // again. A page that was closed reconnects; one that is open is only
    // activated. `quick`: the page was opened by quick connect and keeps the
    // settings it was opened with.
    void OpenBrowserPage(const QString& name, bool quick);
    // Opens the page of a quick connection, named by its address.
    void OpenBrowserPage(const QString& name, const browser::ConnectSettings& quick);
    // Closes the active browser page: saves its frame layout, disconnects and
    // empties the frame, hides the tab. Nothing happens on "FTP Site".
    void CloseBrowserPage();
    // "Close all": closes every open browser page.
    void CloseAllPages();
    // Renames the page of `oldName` (tab caption and the frame's site name).
    void RenameBrowserPage(const QString& oldName, const QString& newName);

    // The frame of the active page; nullptr while "FTP Site" is active.
    Tfb* activeFrame() const;
    // The frame of the page whose caption is exactly `caption` (open or closed).
    Tfb* frameByCaption(const QString& caption) const;
    // Every frame, in page order, closed pages included.
    QList<Tfb*> frames() const;
    // Calls `fn` for every frame that still exists when its turn comes (a
    // call may run the event loop).
    void ForEachFrame(const std::function<void(Tfb*)>& fn);
    // Every open page takes the saved options (LoadOptions).
    void ApplyOptions();

    // --- runs and tasks asked for by the side pane and the frames ---------
    // The local pane's "Upload": the entries join the active page's queue
    // (those queued already are not added twice) and run when it is connected.
    void UploadToActivePage(const std::vector<rupdown>& entries);
    // Remote rows dropped on the local list: queued in the page they were
    // dragged from; names refused as local names are logged there.
    void QueueDroppedRows(const localpane::DownloadDrop& drop);
    // History "Execute": opens or shows the page of the item's site, queues
    // the item there once, and runs.
    void ExecuteHistory(const HistoryRun& run);
    // Task "Execute": opens or shows the page of the task's site, queues every
    // entry (again, if queued before), logs refused names there, and runs.
    void ExecuteTask(const tasks::TaskRun& run);
    // "Add task" of the local pane: an upload task of the selected local items.
    void AddUploadTask();
    // "Add task" of a page: a download task of its selected remote rows, into
    // the local pane's folder.
    void AddDownloadTask(Tfb* frame);

    // --- panes -----------------------------------------------------------
    SiteListPane* siteList() const { return siteList_; }
    LocalPane* localPane() const { return localPane_; }
    HistoryPane* historyPane() const { return historyPane_; }
    TasksPane* tasksPane() const { return tasksPane_; }
    QTabWidget* sidePane() const { return sidePane_; }
    QTabWidget* pageControl() const { return pages_; }
    QWidget* ftpSitePage() const { return ftpSitePage_; }
    QMenu* pageMenu() const { return pageMenu_; }
    int sidePaneWidth() const;

    // The local pane's "Upload" button.
    void setUploadEnabled(bool on);
    // Tab image of the frame's page: connected (1) or not (0).
    void setPageConnected(Tfb* frame, bool connected);

    // View-style cycle position (1..4) of the local list.
    int localViewCycle = 4;

    // --- fixed buttons ---------------------------------------------------
    void openOptions(int page = 0);
    // "Quick connect" of the site list.
    void QuickConnect();
    void Feedback();
    void Homepage();
    void HelpContents();
    void ShowAbout();

    // Full path of "forminfo.ini".
    static QString layoutFile();
    // The caption of a browser page (the site name it was opened with).
    static QString pageCaption(const QWidget* page);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildTopBar(QWidget* host);
    void FirstShow();
    void RestoreLayout();
    void SaveLayout();
    void ApplyFrameLayout(Tfb* frame);
    void SaveFrameLayout(Tfb* frame);
    void ClosePage(QWidget* page);
    void PageChanged();
    int pageIndexByCaption(const QString& caption) const;
    Tfb* frameOfPage(const QWidget* page) const;
    // Shows the page of `name`, making it first if needed; the frame, and
    // whether it must connect (a new page, or one that was closed).
    Tfb* showPage(const QString& name, bool* mustConnect);
    // Shows or makes the page of `name`; a new or closed page connects by `startConnect`.
    void openPage(const QString& name, const std::function<void(Tfb&)>& startConnect);
    // The wiring of one frame to the rest of the window.
    void wireFrame(Tfb* frame);
    void wireSiteList();
    void wireSidePanes();
    // The frame of the open page of `site` after OpenBrowserPage has run the
    // event loop: found again by name, never as "the active page" (the user
    // may have switched tabs meanwhile). Null when that page was closed, the
    // site renamed, or the window is closing.
    Tfb* pageForRun(const QString& site);

    SiteListPane* siteList_ = nullptr;
    LocalPane* localPane_ = nullptr;
    HistoryPane* historyPane_ = nullptr;
    TasksPane* tasksPane_ = nullptr;
    QTabWidget* sidePane_ = nullptr;
    QTabWidget* pages_ = nullptr;
    QWidget* ftpSitePage_ = nullptr;
    QSplitter* splitter_ = nullptr;
    QMenu* pageMenu_ = nullptr;

    store::Tdm& dm_;
    int pageCounter_ = 0;
    bool shown_ = false;
    bool closing_ = false;
};
