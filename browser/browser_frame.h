#pragma once
// Browser frame: one per open connection, inside a browser page of the main
// window. It shows the page's connection session (browser/connection_session.h):
// the connection log, the remote list with its listing cache, and the transfer
// queue list with its progress strip. The algorithms live in plain classes
// beside it (listing_state.h, remote_walk.h, connection_log.h); this class
// wires them to the session and the controls.
//
// Every handler that talks to the server, or opens a box, takes the session's
// gate first and checks after each wait that the page, the connection and the
// folder are still the ones it started with.
#include "browser/connect_settings.h"
#include "browser/connection_session.h"
#include "browser/listing_state.h"

#include <QByteArray>
#include <QFrame>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QAbstractItemModel;
class QAbstractItemView;
class QAction;
class QActionGroup;
class QItemSelectionModel;
class QLabel;
class QListView;
class QMenu;
class QProgressBar;
class QSplitter;
class QStackedWidget;
class QToolBar;
class QTreeView;

namespace store {
class Tdm;
}

namespace browser {
class ConnectionLog;
class RemoteListModel;

// What the transfer engine gives a page. The frame cannot know the engine (it
// lives in a folder above), so the engine plugs in through this.
class QueueRunner {
public:
    virtual ~QueueRunner() = default;
    // The one run method every caller uses: starts a run of the page's queue
    // with the whole run protocol. A run asked for while the page is busy
    // starts as soon as it is idle again. `refreshAfter`: list the remote
    // folder again once the run ends (not after the download dialog).
    virtual void startRun(bool refreshAfter) = 0;
};
}  // namespace browser

class Tfb : public QFrame {
    Q_OBJECT
public:
    explicit Tfb(store::Tdm& dm, QWidget* parent = nullptr);
    ~Tfb() override;

    // The page's connection: client, settings, timers, folders, queue state, gate.
    browser::ConnectionSession& session() { return *session_; }
    const browser::ConnectionSession& session() const { return *session_; }

    // The site name, equal to the page caption.
    const QString& sitename() const { return sitename_; }
    void setSitename(const QString& name) { sitename_ = name; }

    // --- connection -------------------------------------------------------
    // Connects by the site row of `sitename`; with `quick`, or on a page
    // opened by quick connect, by the settings the page was opened with. A
    // call while the page is busy connects as soon as it is idle.
    void StartConnect(bool quick);
    // Connects with these settings (quick connect).
    void StartConnect(const browser::ConnectSettings& settings);
    void LoadOptions();
    void Disconnect();
    // The control connection is up (the page's tab image).
    bool connected() const { return session_->connected(); }
    int tabImage() const { return connected() ? 1 : 0; }
    void EnableBrowsing(bool on);
    bool browsingEnabled() const { return browsing_; }
    void LogLine(const std::string& text, int kind);
    void LogText(const std::string& data, int kind);
    const std::string& currentdir() const { return session_->currentdir(); }
    const std::string& initialdir() const { return session_->initialdir(); }

    // --- remote view ------------------------------------------------------
    // Lists `path` into the rows and the cache. The caller holds an operation
    // of the page; failures raise.
    void ListFolder(const std::string& path);
    void ShowFromCache(const std::string& path);
    void ForgetCached(const std::string& folder);
    void ForgetCached(const std::string& folder, const std::string& name);
    void SortListing();
    // The rows of the shown folder and of the cache (find/filter, downloads).
    // Never keep a reference or a row number across a wait.
    std::vector<rdatalist>& listing() { return view_.listing; }
    std::vector<rdatalist>& listingcache() { return view_.listingcache; }
    int sortcolumn() const { return view_.sortcolumn; }
    // Re-reads `listing` into the list after a change ("set the row count").
    void setRowCount();
    // Selected rows of the view, ascending: row numbers of remoteModel(), whose
    // row(r) gives each. Rows the filter hides are never among them, so no
    // action reaches a row the user cannot see.
    std::vector<int> selectedRows() const;
    // Copies of the selected rows, in view order.
    std::vector<rdatalist> selectedEntries() const;
    QItemSelectionModel* remoteSelection() const;
    browser::RemoteListModel* remoteModel() const { return model_; }
    QAbstractItemView* remoteView() const;  // the view of the current style

    // --- remote file operations ------------------------------------------
    bool MakeFolder(const std::string& name);
    void DeleteEntry(const std::string& name, bool isFolder);
    void RenameRemote(const std::string& oldName, const std::string& newName);
    bool ValidateNewName(const std::string& name);

    // --- listing export ---------------------------------------------------
    void ExportWhole();
    void ExportSelected();
    const QString& exportdir() const { return exportdir_; }

    // --- toolbar and menu actions (also what tests press) -----------------
    void OpenSelectedFolder();  // double-click on a row
    void GoBack();
    void Refresh();
    void AbortOperation();
    void DisconnectButton();
    void SortBy(int column);
    void ViewButton();
    void MakeNewDirectory();
    void DeleteSelected();
    void RenameSelected();
    // "Find..." and "Filter" (toolbar and popup): open the dialogs on the shown
    // folder. Find selects the matching rows; the filter hides file rows in the
    // view until the folder is listed or shown again.
    void Find();
    void Filter();
    void Help();
    void SaveLog();
    void ClearLog();
    void updateSelectionControls();

    // Layout kept in "forminfo.ini" section "FTP".
    int infoHeight() const;
    void setInfoHeight(int h);
    int queueHeight() const;
    void setQueueHeight(int h);
    int listViewStyle() const;       // 0..3
    void setListViewStyle(int code); // codes outside 0..3 change nothing

    // The page is closed: timers off, connection closed without QUIT, queue,
    // listing, cache and the three lists emptied. It can be opened again.
    void ClosePage();
    // The main window is closing: timers, protocol log and message pumping off,
    // connection closed.
    void Shutdown();
    // Shutdown() was called: an operation still unwinding ends without a word.
    bool isShutDown() const { return shutDown_; }

    // --- the transfer engine's place --------------------------------------
    void setQueueRunner(browser::QueueRunner* runner) { runner_ = runner; }
    browser::QueueRunner* queueRunner() const { return runner_; }
    // Starts a run of the queue through the engine (nothing without one).
    void StartRun(bool refreshAfter);
    // The queue list shows the model the engine gives it.
    void setQueueModel(QAbstractItemModel* model);
    QTreeView* queueList() const { return queueList_; }
    QMenu* queuePopup() const { return queueMenu_; }
    QWidget* progressStrip() const { return strip_; }
    QLabel* progressBox() const { return progressBox_; }
    QProgressBar* progressGauge() const { return gauge_; }
    QLabel* speedLabel() const { return speed_; }

    browser::ConnectionLog* log() const { return log_; }
    // Toolbar and popup actions by their hint or caption ("Refresh", "Sort by size",
    // "popup/Delete", "queue/Transfer").
    QAction* action(const QString& name) const;
    QMenu* remotePopup() const { return remoteMenu_; }
    QMenu* logPopup() const { return logMenu_; }
    bool disconnectShowsConnect() const { return session_->userDisconnected(); }

signals:
    void connectedChanged(bool connected);
    // Requests for the windows of other folders.
    void downloadRequested();
    void addTaskRequested();
    // The queue popup's "Transfer", "Delete" and "Clear" ("Stop" is "Abort operation").
    void transferRequested();
    void queueDeleteRequested();
    void queueClearRequested();
    // Local files or folders dropped on the remote list: their full paths, and
    // the name of the folder row they were dropped on (empty: no row or a file row).
    void localFilesDropped(const QStringList& paths, const QByteArray& folderRow);

private:
    class FtpOps;

    void buildLayout();
    void buildToolbar(QWidget* host);
    void buildRemoteList(QWidget* host);
    void buildQueue(QWidget* host);
    QAction* addAction(const QString& name, QMenu* menu = nullptr);
    void wireSession();

    std::optional<browser::ConnectSettings> readSiteSettings();
    void connectWith(browser::PageOperation& op);
    void afterConnect(browser::PageOperation& op);
    void showState();
    void onConnectionLost();

    // Runs a browsing action inside `op`: browsing is off while it runs, a
    // failure is logged and browsing comes back. False when it failed or the
    // page changed under it.
    template <class F> bool browse(browser::PageOperation& op, F&& f);
    // An operation for a browsing action: refused while the page is busy,
    // and on a closed client it starts the connection instead.
    browser::PageOperation beginBrowsing();
    // The session's reconnect for an operation, with browsing back on after it.
    bool reconnectInFolder(browser::PageOperation& op);
    void returnToFolder(browser::PageOperation& op);
    void clearSelection();
    void applyViewStyle(int code);
    void onRenameRequested(const QByteArray& oldName, const QString& text);
    void selectNames(const std::vector<std::string>& names);
    void showAllRows();
    void onRowActivated();
    std::vector<RemoteEntry> fetchEntries();
    void enterFolder(const std::string& name);
    bool makeFolderIn(browser::PageOperation& op, const std::string& name);
    void deleteOne(browser::PageOperation& op, const std::string& name, bool isFolder);
    void deleteNames(browser::PageOperation& op, const std::vector<std::pair<std::string, bool>>& targets);
    std::optional<QString> askExportFile();
    std::string exportRootText(const std::string& folder) const;
    void exportTree(browser::PageOperation& op, const QString& file, const std::vector<rdatalist>* picked);

    store::Tdm& dm_;
    browser::ConnectionSession* session_ = nullptr;
    browser::QueueRunner* runner_ = nullptr;
    browser::ListingState view_;
    QString sitename_;
    QString exportdir_;

    browser::ConnectionLog* log_ = nullptr;
    browser::RemoteListModel* model_ = nullptr;
    QListView* logView_ = nullptr;
    QMenu* logMenu_ = nullptr;
    QSplitter* splitter_ = nullptr;
    QToolBar* toolbar_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QTreeView* report_ = nullptr;
    QListView* icons_ = nullptr;
    QMenu* remoteMenu_ = nullptr;
    QMenu* exportMenu_ = nullptr;
    QMenu* viewMenu_ = nullptr;       // the "View" button's drop-down
    QMenu* popupViewMenu_ = nullptr;  // the popup's "View" submenu
    QActionGroup* viewGroup_ = nullptr;
    QActionGroup* popupViewGroup_ = nullptr;
    QTreeView* queueList_ = nullptr;
    QMenu* queueMenu_ = nullptr;
    QWidget* strip_ = nullptr;
    QLabel* progressBox_ = nullptr;
    QProgressBar* gauge_ = nullptr;
    QLabel* speed_ = nullptr;
    std::vector<std::pair<QString, QAction*>> actions_;

    bool browsing_ = false;
    bool shutDown_ = false;
    bool shownConnected_ = false;    // what connectedChanged last said
    int viewcycle_ = 4;              // position of the "View" button's cycle, 1..4
    int info_ = 93, queue_ = 116, style_ = 3;
};
