#include "app/main_window.h"

#include "app/about_window.h"
#include "app/history_pane.h"
#include "app/local_pane.h"
#include "app/site_list_pane.h"
#include "browser/browser_frame.h"
#include "browser/connect_settings.h"
#include "browser/connection_session.h"
#include "browser/remote_list_model.h"
#include "dialogs/options_dialog.h"
#include "dialogs/quick_connect.h"
#include "dialogs/store_messages.h"
#include "platform/ui/app_paths.h"
#include "platform/ui/application.h"
#include "platform/ui/dialog_service.h"
#include "platform/ui/ini_file.h"
#include "platform/ui/pictures.h"
#include "store/site_records.h"
#include "store/table.h"
#include "tasks/tasks_pane.h"
#include "transfer/frame_transfers.h"
#include "transfer/local_target.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QPainter>
#include <QPushButton>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <exception>

namespace {

const QString kMain = QStringLiteral("MAIN");
const QString kFtp = QStringLiteral("FTP");
constexpr int kDefaultP2 = 0;
constexpr int kDefaultPWidth = 307;
constexpr int kDefaultWelcomeH = 211;
constexpr int kDefaultSiteView = 0;
constexpr int kDefaultInfo = 93;
constexpr int kDefaultUpdown = 116;
constexpr int kDefaultLvcView = 3;
constexpr int kDesignSideTab = 1;  // "&History"

bool validViewCode(int code) { return code >= 0 && code <= 3; }

// A tab shows "&" literally; site names may contain it.
QString tabText(const QString& caption) {
    QString t = caption;
    t.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return t;
}

// Top bar: a picture stretched over the width, a second one at the right end.
class TopBar : public QWidget {
public:
    explicit TopBar(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("TopBar"));
        setFixedHeight(33);
        back_ = ui::picture(ui::Picture::TopBarBack, 33);
        right_ = ui::picture(ui::Picture::TopBarRight, 33);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.drawPixmap(rect(), back_);
        p.drawPixmap(width() - right_.width(), 0, right_);
    }

private:
    QPixmap back_, right_;
};

template <typename F>
void reportingErrors(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        ui::reportDiscardedError(e.what());
    } catch (...) {
        ui::reportDiscardedError(nullptr);
    }
}

}  // namespace

TForm1::TForm1(store::Tdm& dm, QWidget* parent) : QMainWindow(parent), dm_(dm) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Ostrafen FREE Edition"));

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(buildTopBar(central));

    splitter_ = new QSplitter(Qt::Horizontal, central);
    splitter_->setObjectName(QStringLiteral("Splitter1"));
    splitter_->setHandleWidth(3);
    splitter_->setChildrenCollapsible(false);
    column->addWidget(splitter_, 1);

    sidePane_ = new QTabWidget(splitter_);
    sidePane_->setObjectName(QStringLiteral("PageControl2"));
    sidePane_->setAccessibleName(QStringLiteral("Side pane"));
    localPane_ = new LocalPane(sidePane_);
    localPane_->loadBookmarks(ui::dataFile(QStringLiteral("bookmark.dat")));
    historyPane_ = new HistoryPane(dm_, sidePane_);
    tasksPane_ = new TasksPane(dm_, sidePane_);
    sidePane_->addTab(localPane_, QStringLiteral("&Local File"));
    sidePane_->addTab(historyPane_, QStringLiteral("&History"));
    sidePane_->addTab(tasksPane_, QStringLiteral("&Tasks"));
    sidePane_->setCurrentIndex(kDesignSideTab);

    pages_ = new QTabWidget(splitter_);
    pages_->setObjectName(QStringLiteral("PageControl1"));
    pages_->setAccessibleName(QStringLiteral("Pages"));
    ftpSitePage_ = new QWidget(pages_);
    ftpSitePage_->setObjectName(QStringLiteral("TabSheet1"));
    auto* siteLayout = new QVBoxLayout(ftpSitePage_);
    siteLayout->setContentsMargins(0, 0, 0, 0);
    siteList_ = new SiteListPane(dm_, ftpSitePage_);
    siteLayout->addWidget(siteList_);
    pages_->addTab(ftpSitePage_, QStringLiteral("FTP Site"));
    pages_->tabBar()->installEventFilter(this);
    connect(pages_, &QTabWidget::currentChanged, this, [this](int) { PageChanged(); });

    splitter_->addWidget(sidePane_);
    splitter_->addWidget(pages_);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    splitter_->setSizes({kDefaultPWidth, 800});

    pageMenu_ = new QMenu(this);
    pageMenu_->setObjectName(QStringLiteral("PageMenu"));
    pageMenu_->addAction(QStringLiteral("Close current page"), this, [this] { CloseBrowserPage(); });
    pageMenu_->addSeparator();
    pageMenu_->addAction(QStringLiteral("Close all"), this, [this] { CloseAllPages(); });

    setCentralWidget(central);
    resize(1024, 720);
    wireSiteList();
    wireSidePanes();
}

TForm1::~TForm1() {
    // By now no call of any frame is on the stack (the message loop has
    // returned), so whatever is left can go. Frames go first, while the panes
    // they may reach are still there.
    while (pages_->count() > 1) delete pages_->widget(pages_->count() - 1);
}

// --- wiring ----------------------------------------------------------------

void TForm1::wireSiteList() {
    connect(siteList_, &SiteListPane::openPageRequested, this,
            [this](const QString& name) { OpenBrowserPage(name, false); });
    connect(siteList_, &SiteListPane::siteRenamed, this, &TForm1::RenameBrowserPage);
    connect(siteList_, &SiteListPane::quickConnectRequested, this, &TForm1::QuickConnect);
    connect(siteList_, &SiteListPane::optionsSaved, this, &TForm1::ApplyOptions);
}

void TForm1::wireSidePanes() {
    // The payloads are plain structs handed over by direct calls, never queued.
    connect(localPane_, &LocalPane::uploadRequested, this, &TForm1::UploadToActivePage);
    connect(localPane_, &LocalPane::downloadDropped, this, &TForm1::QueueDroppedRows);
    connect(localPane_, &LocalPane::addTaskRequested, this, &TForm1::AddUploadTask);
    connect(historyPane_, &HistoryPane::executeRequested, this, &TForm1::ExecuteHistory);
    connect(tasksPane_, &TasksPane::executeRequested, this, &TForm1::ExecuteTask);
}

void TForm1::wireFrame(Tfb* frame) {
    // The page's transfer engine: its queue, drops, "Download..." and runs.
    new transfer::FrameTransfers(*frame, dm_);
    QPointer<Tfb> guard(frame);
    connect(frame, &Tfb::connectedChanged, this, [this, guard](bool on) {
        if (!guard) return;
        setPageConnected(guard, on);
        if (activeFrame() == guard) PageChanged();
    });
    // The tab's tooltip says whether the connection is encrypted.
    connect(&frame->session(), &browser::ConnectionSession::stateChanged, this, [this, guard] {
        const int i = guard ? pages_->indexOf(guard->parentWidget()) : -1;
        if (i > 0) pages_->setTabToolTip(i, QString::fromStdString(guard->session().encryptionState()));
    });
    connect(frame, &Tfb::addTaskRequested, this, [this, guard] {
        if (guard) AddDownloadTask(guard);
    });
}

QWidget* TForm1::buildTopBar(QWidget* host) {
    auto* bar = new TopBar(host);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(0);
    const struct {
        const char* text;
        void (TForm1::*slot)();
    } buttons[] = {
        {"Options", nullptr},
        {"Feedback", &TForm1::Feedback},
        {"Homepage", &TForm1::Homepage},
        {"Help", &TForm1::HelpContents},
        {"About", &TForm1::ShowAbout},
        {"Exit", nullptr},
    };
    for (const auto& b : buttons) {
        const QString text = QString::fromLatin1(b.text);
        auto* button = new QPushButton(text, bar);
        button->setObjectName(QStringLiteral("btn") + text);
        button->setFlat(true);
        button->setFixedWidth(70);
        button->setToolTip(text);
        button->setFocusPolicy(Qt::TabFocus);
        row->addWidget(button);
        if (text == QLatin1String("Options"))
            connect(button, &QPushButton::clicked, this, [this] { openOptions(0); });
        else if (text == QLatin1String("Exit"))
            connect(button, &QPushButton::clicked, this, &QWidget::close);
        else
            connect(button, &QPushButton::clicked, this, b.slot);
    }
    row->addStretch(1);
    return bar;
}

QString TForm1::layoutFile() { return ui::dataFile(QStringLiteral("forminfo.ini")); }

QString TForm1::pageCaption(const QWidget* page) {
    return page ? page->property("caption").toString() : QString();
}

// --- first showing ---------------------------------------------------------

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_) return;
    shown_ = true;
    FirstShow();
}

void TForm1::FirstShow() {
    // A store that cannot be opened ends the sequence: the window keeps its
    // design layout and empty lists, and the user is told once why.
    const QString file = ui::dataFile(QStringLiteral("all.dat"));
    try {
        store::Database& db = dm_.database();
        db.disconnect();
        db.setFileName(file.toStdString());
        db.connect();
    } catch (const std::exception& e) {
        const QString text = dialogs::storeOpenFailureText(file, e);
        QTimer::singleShot(0, this, [this, text] { ui::error(this, text); });
        return;
    }
    reportingErrors([this] {
        siteList_->FillList();
        tasksPane_->FillTree();
        RestoreLayout();
    });
}

void TForm1::RestoreLayout() {
    const ui::IniFile ini(layoutFile());
    const int p2 = ini.readInteger(kMain, QStringLiteral("P2"), kDefaultP2);
    if (p2 >= 0 && p2 <= 2) sidePane_->setCurrentIndex(p2);
    localPane_->loadLayout(ini);
    const int width = std::max(0, ini.readInteger(kMain, QStringLiteral("PWIDTH"), kDefaultPWidth));
    const int total = std::max(splitter_->width() - splitter_->handleWidth(), width + 1);
    splitter_->setSizes({width, total - width});
    siteList_->setDescriptionHeight(ini.readInteger(kMain, QStringLiteral("WELCOMEH"), kDefaultWelcomeH));
    const int view = ini.readInteger(kMain, QStringLiteral("FTPSITEVIEW"), kDefaultSiteView);
    if (validViewCode(view)) siteList_->setViewStyleCode(view);
}

int TForm1::sidePaneWidth() const {
    const QList<int> sizes = splitter_->sizes();
    return sizes.isEmpty() ? sidePane_->width() : sizes.first();
}

void TForm1::SaveLayout() {
    ui::IniFile ini(layoutFile());
    // Write failures at exit are not reported.
    ini.writeInteger(kMain, QStringLiteral("P2"), sidePane_->currentIndex());
    localPane_->saveLayout(ini);
    ini.writeInteger(kMain, QStringLiteral("PWIDTH"), sidePaneWidth());
    ini.writeInteger(kMain, QStringLiteral("FTPSITEVIEW"), siteList_->viewStyleCode());
    ini.writeInteger(kMain, QStringLiteral("WELCOMEH"), siteList_->descriptionHeight());
}

void TForm1::ApplyFrameLayout(Tfb* frame) {
    const ui::IniFile ini(layoutFile());
    frame->setInfoHeight(ini.readInteger(kFtp, QStringLiteral("INFO"), kDefaultInfo));
    frame->setQueueHeight(ini.readInteger(kFtp, QStringLiteral("UPDOWN"), kDefaultUpdown));
    const int view = ini.readInteger(kFtp, QStringLiteral("LVCVIEW"), kDefaultLvcView);
    if (validViewCode(view)) frame->setListViewStyle(view);
}

void TForm1::SaveFrameLayout(Tfb* frame) {
    ui::IniFile ini(layoutFile());
    ini.writeInteger(kFtp, QStringLiteral("INFO"), frame->infoHeight());
    ini.writeInteger(kFtp, QStringLiteral("UPDOWN"), frame->queueHeight());
    ini.writeInteger(kFtp, QStringLiteral("LVCVIEW"), frame->listViewStyle());
}

// --- pages -----------------------------------------------------------------

int TForm1::pageIndexByCaption(const QString& caption) const {
    for (int i = 1; i < pages_->count(); ++i)
        if (pageCaption(pages_->widget(i)) == caption) return i;
    return -1;
}

Tfb* TForm1::frameOfPage(const QWidget* page) const {
    if (!page || page == ftpSitePage_) return nullptr;
    const QString name = QStringLiteral("fr") + QString::number(page->property("tag").toInt());
    return page->findChild<Tfb*>(name, Qt::FindDirectChildrenOnly);
}

Tfb* TForm1::activeFrame() const { return frameOfPage(pages_->currentWidget()); }

Tfb* TForm1::frameByCaption(const QString& caption) const {
    const int i = pageIndexByCaption(caption);
    return i < 0 ? nullptr : frameOfPage(pages_->widget(i));
}

QList<Tfb*> TForm1::frames() const {
    QList<Tfb*> out;
    for (int i = 1; i < pages_->count(); ++i)
        if (Tfb* f = frameOfPage(pages_->widget(i))) out << f;
    return out;
}

void TForm1::ForEachFrame(const std::function<void(Tfb*)>& fn) {
    // Guarded: the call may pump messages and a frame may be closed under it.
    QList<QPointer<Tfb>> list;
    for (Tfb* f : frames()) list << f;
    for (const auto& f : list)
        if (f) fn(f);
}

void TForm1::ApplyOptions() {
    ForEachFrame([](Tfb* f) { f->LoadOptions(); });
}

Tfb* TForm1::showPage(const QString& name, bool* mustConnect) {
    const int found = pageIndexByCaption(name);
    if (found >= 0) {
        *mustConnect = !pages_->isTabVisible(found);
        pages_->setTabVisible(found, true);
        pages_->setCurrentIndex(found);
        return frameOfPage(pages_->widget(found));
    }
    const int n = ++pageCounter_;
    auto* page = new QWidget(pages_);
    page->setObjectName(QStringLiteral("tab") + QString::number(n));
    page->setProperty("tag", n);
    page->setProperty("caption", name);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* frame = new Tfb(dm_, page);
    frame->setObjectName(QStringLiteral("fr") + QString::number(n));
    frame->setProperty("tag", n);
    frame->setSitename(name);
    layout->addWidget(frame);
    ApplyFrameLayout(frame);
    wireFrame(frame);
    const int index = pages_->addTab(page, ui::icon(ui::Picture::Disconnected), tabText(name));
    pages_->setCurrentIndex(index);
    *mustConnect = true;
    return frame;
}

void TForm1::openPage(const QString& name, const std::function<void(Tfb&)>& startConnect) {
    QCoreApplication::processEvents();
    if (closing_) return;
    bool mustConnect = false;
    QPointer<Tfb> frame = showPage(name, &mustConnect);
    if (frame && mustConnect) startConnect(*frame);
    if (!closing_) PageChanged();
}

void TForm1::OpenBrowserPage(const QString& name, bool quick) {
    openPage(name, [quick](Tfb& f) { f.StartConnect(quick); });
}

void TForm1::OpenBrowserPage(const QString& name, const browser::ConnectSettings& quick) {
    openPage(name, [&quick](Tfb& f) { f.StartConnect(quick); });
}

void TForm1::setPageConnected(Tfb* frame, bool connected) {
    if (!frame) return;
    const int i = pages_->indexOf(frame->parentWidget());
    if (i > 0)
        pages_->setTabIcon(i, ui::icon(connected ? ui::Picture::Connected : ui::Picture::Disconnected));
}

void TForm1::ClosePage(QWidget* page) {
    Tfb* frame = frameOfPage(page);
    if (!frame) return;
    // The first error ends the sequence; the tab then stays as it is.
    reportingErrors([&] {
        SaveFrameLayout(frame);
        frame->ClosePage();
        const int i = pages_->indexOf(page);
        if (i > 0) pages_->setTabVisible(i, false);
    });
}

void TForm1::CloseBrowserPage() {
    QWidget* page = pages_->currentWidget();
    if (page == ftpSitePage_) return;
    ClosePage(page);
}

void TForm1::CloseAllPages() {
    QList<QPointer<QWidget>> open;
    for (int i = 1; i < pages_->count(); ++i)
        if (pages_->isTabVisible(i)) open << pages_->widget(i);
    for (const auto& p : open)
        if (p) ClosePage(p);
}

void TForm1::RenameBrowserPage(const QString& oldName, const QString& newName) {
    const int i = pageIndexByCaption(oldName);
    if (i < 0) return;
    QWidget* page = pages_->widget(i);
    page->setProperty("caption", newName);
    pages_->setTabText(i, tabText(newName));
    if (Tfb* f = frameOfPage(page)) f->setSitename(newName);
}

void TForm1::PageChanged() {
    if (pages_->currentWidget() == ftpSitePage_) {
        setUploadEnabled(false);
        return;
    }
    Tfb* frame = activeFrame();
    setUploadEnabled(frame && frame->connected());
}

void TForm1::setUploadEnabled(bool on) { localPane_->setUploadEnabled(on); }

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == pages_->tabBar() && event->type() == QEvent::MouseButtonPress) {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() != Qt::RightButton) return false;
        QTabBar* bar = pages_->tabBar();
        const QPoint pos = me->position().toPoint();
        for (int i = 0; i < bar->count(); ++i) {
            if (!bar->isTabVisible(i) || !bar->tabRect(i).contains(pos)) continue;
            pages_->setCurrentIndex(i);
            if (pages_->widget(i) != ftpSitePage_) pageMenu_->popup(bar->mapToGlobal(pos));
            break;
        }
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

// --- closing ---------------------------------------------------------------

void TForm1::closeEvent(QCloseEvent* event) {
    if (closing_) {
        event->accept();
        return;
    }
    closing_ = true;
    QList<QPointer<QWidget>> all;
    for (int i = 1; i < pages_->count(); ++i) all << pages_->widget(i);
    for (const auto& page : all) {
        if (!page) continue;
        Tfb* frame = frameOfPage(page);
        if (frame) {
            reportingErrors([&] { SaveFrameLayout(frame); });
            reportingErrors([&] { frame->Shutdown(); });
        }
        if (!page) continue;
        if (frame && !frame->session().idle()) {
            // An operation is still waiting inside this frame: the closed
            // connection makes it fail; the page goes once it has unwound.
            pages_->setTabVisible(pages_->indexOf(page), false);
            QPointer<QWidget> doomed(page);
            connect(&frame->session(), &browser::ConnectionSession::becameIdle, this, [doomed] {
                if (doomed) doomed->deleteLater();
            });
            continue;
        }
        reportingErrors([&] { delete page.data(); });
    }
    SaveLayout();
    event->accept();
}

// --- fixed buttons ---------------------------------------------------------

void TForm1::openOptions(int page) {
    reportingErrors([&] {
        if (TForm2::Execute(this, dm_, page) == QDialog::Accepted) ApplyOptions();
    });
}

void TForm1::QuickConnect() {
    reportingErrors([&] {
        const TForm15::Outcome done = TForm15::Execute(this, dm_, [this](const store::QuickConnection& typed) {
            OpenBrowserPage(QString::fromUtf8(typed.ftp), browser::quickSettings(typed));
        });
        if (done.siteSaved) siteList_->FillList();
        if (done.optionsSaved) ApplyOptions();
    });
}

void TForm1::Feedback() { ui::DialogService::instance().shellOpen(QString::fromLatin1(links::kSupportMailto)); }

void TForm1::Homepage() { ui::DialogService::instance().shellOpen(QString::fromLatin1(links::kHomepage)); }

void TForm1::HelpContents() { ui::helpContents(this); }

void TForm1::ShowAbout() { TAboutBox::Execute(this); }

// --- runs and tasks from the side pane and the frames ---------------------------

void TForm1::UploadToActivePage(const std::vector<rupdown>& entries) {
    transfer::FrameTransfers* engine = transfer::FrameTransfers::of(activeFrame());
    if (!engine) return;
    engine->enqueue(entries);
    engine->requestRun(true, true);
}

void TForm1::QueueDroppedRows(const localpane::DownloadDrop& drop) {
    // The rows belong to the page they were dragged from, whichever is active now.
    Tfb* frame = nullptr;
    for (Tfb* f : frames())
        if (f->objectName() == drop.frame) frame = f;
    // A page closed since the drag began has forgotten those rows.
    if (!frame || !pages_->isTabVisible(pages_->indexOf(frame->parentWidget()))) return;
    transfer::FrameTransfers* engine = transfer::FrameTransfers::of(frame);
    if (!engine) return;
    for (const std::string& name : drop.refused) frame->LogLine(transfer::RefusedNameLine(name), 2);
    engine->enqueue(drop.entries);
    engine->requestRun(false, true);
}

Tfb* TForm1::pageForRun(const QString& site) {
    OpenBrowserPage(site, false);
    if (closing_) return nullptr;
    const int i = pageIndexByCaption(site);
    if (i < 0 || !pages_->isTabVisible(i)) return nullptr;
    return frameOfPage(pages_->widget(i));
}

void TForm1::ExecuteHistory(const HistoryRun& request) {
    // Copied: opening the page runs the event loop.
    const HistoryRun run = request;
    transfer::FrameTransfers* engine = transfer::FrameTransfers::of(pageForRun(run.siteName));
    if (!engine) return;
    // Queued already: the item waits there once, and that is all.
    if (engine->enqueue({run.entry}).empty()) return;
    engine->requestRun(run.refreshAfter, true);
}

void TForm1::ExecuteTask(const tasks::TaskRun& request) {
    const tasks::TaskRun run = request;
    const QPointer<Tfb> frame = pageForRun(QString::fromUtf8(run.task.ftp));
    transfer::FrameTransfers* engine = transfer::FrameTransfers::of(frame);
    if (!engine) return;
    for (const std::string& name : run.refusedNames) frame->LogLine(transfer::RefusedNameLine(name), 2);
    // A task queues every item each time it runs, even one still waiting.
    for (const rupdown& e : run.entries) engine->enqueueAlways(e);
    if (store::IsDownloadTask(run.task.type)) {
        // Downloads run once without refreshing the remote view, then once
        // more for whatever the first run left.
        engine->requestRun(false, true);
        engine = transfer::FrameTransfers::of(frame);
        if (!engine) return;
    }
    engine->requestRun(true, true);
}

void TForm1::AddUploadTask() {
    std::vector<TaskEntryName> names;
    for (const LocalPane::Selected& item : localPane_->selectedItems())
        names.push_back({transfer::LocalLastPart(item.path.toUtf8().toStdString()), item.folder});
    reportingErrors([&] { tasksPane_->addUploadTask(localPane_->rootPath(), names); });
}

void TForm1::AddDownloadTask(Tfb* frame) {
    std::vector<TaskEntryName> names;
    for (int r : frame->selectedRows())
        if (const rdatalist* row = frame->remoteModel()->row(r)) names.push_back({row->name, row->isFolder()});
    const std::string site = frame->sitename().toUtf8().toStdString();
    const std::string folder = frame->currentdir();
    // The local pane's folder, not wherever the program was started from.
    reportingErrors([&] { tasksPane_->addDownloadTask(site, folder, localPane_->rootPath(), names); });
}
