#pragma once
// The main window: top bar with the fixed buttons, the side pane (local files,
// history, tasks), and the main page control with the "FTP Site" page and one
// browser page per open connection. Keeps the window layout in "forminfo.ini".
#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <functional>

class QMenu;
class QSplitter;
class QTabWidget;
class QTimer;
class Tfb;
class SiteListPane;
class LocalPanePlaceholder;
class HistoryPanePlaceholder;
class TasksPanePlaceholder;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // The main window of the running program (nullptr when there is none).
    static TForm1* instance();

    // --- browser pages ---------------------------------------------------
    // Opens the page of `name` (a site name, or with `quick` the address typed
    // in quick connect), or shows and activates it again. A page that was
    // closed reconnects; one that is open is only activated.
    void OpenBrowserPage(const QString& name, bool quick);
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
    void ForEachFrame(const std::function<void(Tfb*)>& fn);

    // Makes sure a local folder exists, creating every missing level. True for
    // an empty path; false when a level cannot be created or the path is
    // malformed (an empty level, a relative path).
    static bool CreateFolderPath(const QString& path);

    // --- panes -----------------------------------------------------------
    SiteListPane* siteList() const { return siteList_; }
    LocalPanePlaceholder* localPane() const { return localPane_; }
    HistoryPanePlaceholder* historyPane() const { return historyPane_; }
    TasksPanePlaceholder* tasksPane() const { return tasksPane_; }
    QTabWidget* sidePane() const { return sidePane_; }
    QTabWidget* pageControl() const { return pages_; }
    QWidget* ftpSitePage() const { return ftpSitePage_; }
    QMenu* pageMenu() const { return pageMenu_; }
    int sidePaneWidth() const;

    // The local pane's "Upload" button.
    void setUploadEnabled(bool on);
    // Tab image of the frame's page: connected (1) or not (0).
    void setPageConnected(Tfb* frame, bool connected);

    // View-style cycle positions (1..4) of the site list and the local list.
    int siteViewCycle = 4;
    int localViewCycle = 4;

    // --- fixed buttons ---------------------------------------------------
    void openOptions(int page = 0);
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
    bool frameInUse(Tfb* frame) const;
    void StartFrame(Tfb* frame, bool quick);
    // Marks a call of ours into a frame for its whole scope.
    class FrameCall {
    public:
        FrameCall(TForm1* owner, Tfb* frame);
        ~FrameCall();
        FrameCall(const FrameCall&) = delete;
        FrameCall& operator=(const FrameCall&) = delete;

    private:
        TForm1* owner_;
        Tfb* frame_;
    };
    void reapClosedPages();

    SiteListPane* siteList_ = nullptr;
    LocalPanePlaceholder* localPane_ = nullptr;
    HistoryPanePlaceholder* historyPane_ = nullptr;
    TasksPanePlaceholder* tasksPane_ = nullptr;
    QTabWidget* sidePane_ = nullptr;
    QTabWidget* pages_ = nullptr;
    QWidget* ftpSitePage_ = nullptr;
    QSplitter* splitter_ = nullptr;
    QMenu* pageMenu_ = nullptr;

    int pageCounter_ = 0;
    bool shown_ = false;
    bool closing_ = false;
    // Calls of ours into a frame that may pump messages (StartConnect, page
    // close): the frame must outlive them even if the window closes meanwhile.
    QHash<Tfb*, int> callsInFrame_;
    // Pages of the closed window still waiting for their frame to go idle.
    QList<QPointer<QWidget>> doomed_;
    QTimer* reaper_ = nullptr;
};
