#pragma once
// Browser frame: one per open connection, inside a browser page of the main
// window. It owns the FTP client of the page, the connection log, the remote
// list with its listing cache, and the transfer queue list with its progress
// strip. The algorithms live in plain classes beside it (listing_state.h,
// remote_walk.h, connection_log.h); this class wires them to the client and
// the controls.
#include "browser/listing_state.h"
#include "browser/queue_entry.h"

#include <QFrame>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QActionGroup;
class QItemSelectionModel;
class QLabel;
class QListView;
class QMenu;
class QProgressBar;
class QSplitter;
class QStackedWidget;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeView;
class QTreeWidget;
class QAbstractItemView;
class TIdFTP;
class TIdIOHandlerSocket;
class TIdLogEvent;

namespace browser {
class ConnectionLog;
class RemoteListModel;
class QtMessagePump;
}

class Tfb : public QFrame {
    Q_OBJECT
public:
    explicit Tfb(QWidget* parent = nullptr);
    ~Tfb() override;

    QString sitename;

    // --- connection -------------------------------------------------------
    void StartConnect(bool quick);
    bool ReadSiteSettings(bool quick);
    void LoadOptions();
    void Disconnect();
    bool connected() const { return connected_; }
    // Number of blocking operations currently running on this frame.
    int busyCount() const { return busy_; }
    void EnableBrowsing(bool on);
    bool browsingEnabled() const { return browsing_; }
    void LogLine(const std::string& text, int kind);
    void LogText(const std::string& data, int kind);

    // --- remote view ------------------------------------------------------
    void ListFolder(const std::string& path);
    void ShowFromCache(const std::string& path);
    void ForgetCached(const std::string& folder);
    void ForgetCached(const std::string& folder, const std::string& name);
    void SortListing();
    // The rows of the shown folder and of the cache (find/filter, downloads).
    std::vector<rdatalist>& listing() { return view_.listing; }
    std::vector<rdatalist>& listingcache() { return view_.listingcache; }
    // Re-reads `listing` into the list after a change ("set the row count").
    void setRowCount();
    std::vector<int> selectedRows() const;  // ascending
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
    void Help();
    void SaveLog();
    void ClearLog();
    void updateSelectionControls();

    // Layout kept in "forminfo.ini" section "FTP".
    int infoHeight() const;
    void setInfoHeight(int h);
    int queueHeight() const;
    void setQueueHeight(int h);
    int listViewStyle() const;      // 0..3
    void setListViewStyle(int code); // codes outside 0..3 change nothing

    void StopTimers();
    // Closes the connection without QUIT, ignoring errors.
    void CloseConnectionSilently();
    // Empties queue, listing, cache and the three lists (page close).
    void EmptyFrame();
    // Stops protocol logging and message pumping (main window closing).
    void StopPumping();

    // --- frame fields -----------------------------------------------------
    int siteid = 0;
    bool autorefresh = false;
    int timeoutms = 0;
    int retrydelayms = 0;
    std::string proxyname, socksname;
    std::vector<std::string> antiidlecmds;
    int antiidleinterval = 0;
    std::int64_t idlecount = 0;
    std::string transfermode;
    std::string currentdir;
    std::string initialdir;
    bool running = false;
    // Transfer state, used by the queue engine.
    bool askdup = true;
    int dupchoice = -1;
    std::string newname;
    std::int64_t resumeat = 0, remaining = 0, expectedsize = 0;
    std::int64_t workstart = 0, itemstart = 0, itemend = 0, elapsedms = 0;
    int viewcycle = 4;
    QString exportdir;
    std::vector<rupdown> queue;
    int& sortcolumn() { return view_.sortcolumn; }

    TIdFTP& client() { return *client_; }
    browser::ConnectionLog* log() const { return log_; }
    QTimer* retryTimer() const { return retryTimer_; }
    QTimer* antiIdleTimer() const { return antiIdleTimer_; }
    QTreeWidget* queueList() const { return queueList_; }
    QWidget* progressStrip() const { return strip_; }
    QLabel* progressBox() const { return progressBox_; }
    QProgressBar* progressGauge() const { return gauge_; }
    QLabel* speedLabel() const { return speed_; }
    // Toolbar and popup actions by their hint or caption ("Refresh", "Sort by size").
    QAction* action(const QString& name) const;
    QMenu* remotePopup() const { return remoteMenu_; }
    QMenu* logPopup() const { return logMenu_; }
    bool disconnectShowsConnect() const { return showsConnect_; }
    int tabImage() const { return tabImage_; }

    // Hooks for the windows of other folders (download dialog, tasks, find and
    // filter) that start from this frame's toolbar and popup.
signals:
    void connectedChanged(bool connected);
    // The page's tab image: 1 connected, 0 not.
    void tabImageChanged(int image);
    // The local pane's "Upload" button follows the connection.
    void uploadEnabledChanged(bool enabled);
    void downloadRequested();
    void addTaskRequested();
    void findRequested();
    void filterRequested();

public:
    // Counts one blocking operation on this frame for as long as it lives.
    // Timers stay quiet and the frame is kept alive while any is counted.
    class BusyScope {
    public:
        explicit BusyScope(Tfb* f) : f_(f) { ++f_->busy_; }
        ~BusyScope() { f_->endBusy(); }
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

    private:
        Tfb* f_;
    };

private:
    class FtpOps;

    void buildLayout();
    void buildToolbar(QWidget* host);
    void buildRemoteList(QWidget* host);
    void buildQueue(QWidget* host);
    QAction* addAction(const QString& name, QMenu* menu = nullptr);
    void wireClient();

    // One connection attempt with the frame's settings; true when open.
    bool attempt();
    void afterConnect();
    void armRetry();
    void retryTick();
    void antiIdleTick();
    void onConnected();
    void onDisconnected();
    void onStatus(int status);
    void setTabImage(int image);
    void setDisconnectImage(bool showConnect);

    bool clientOpen();
    // Runs a browsing action on an open client: browsing is disabled while it
    // runs, a failure is logged and browsing enabled again.
    template <class F> bool browse(F&& f);
    void reportFailure(const std::exception& e);
    void returnToCurrentDir();
    void applyViewStyle(int code);
    void onRenameRequested(int row, const QString& text);
    void onRowActivated();
    std::vector<RemoteEntry> fetchEntries();
    void enterFolder(const std::string& name);
    void deleteOne(const std::string& name, bool isFolder);
    void reconnectAfterAbort();
    std::optional<QString> askExportFile();
    std::string exportRootText(const std::string& folder) const;
    void endBusy();

    std::unique_ptr<TIdIOHandlerSocket> io_;
    std::unique_ptr<TIdLogEvent> logEvent_;
    std::unique_ptr<TIdFTP> client_;
    std::shared_ptr<browser::QtMessagePump> pump_;
    browser::ListingState view_;

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
    QTreeWidget* queueList_ = nullptr;
    QWidget* strip_ = nullptr;
    QLabel* progressBox_ = nullptr;
    QProgressBar* gauge_ = nullptr;
    QLabel* speed_ = nullptr;
    QTimer* retryTimer_ = nullptr;
    QTimer* antiIdleTimer_ = nullptr;
    std::vector<std::pair<QString, QAction*>> actions_;

    bool connected_ = false;
    bool browsing_ = false;
    bool quickSettings_ = false;   // the settings came from quick connect
    bool attempting_ = false;
    bool reconnectPending_ = false;
    bool showsConnect_ = false;
    int busy_ = 0;
    int tabImage_ = 0;
    unsigned generation_ = 0;      // bumped when the page is emptied or disconnected
    int info_ = 93, queue_ = 116, style_ = 3;
};
