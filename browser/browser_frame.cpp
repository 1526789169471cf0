#include "browser/browser_frame.h"

#include "browser/connection_log.h"
#include "browser/name_validation.h"
#include "browser/qt_message_pump.h"
#include "browser/remote_list_model.h"
#include "browser/remote_walk.h"
#include "browser/size_text.h"
#include "ftp/ftp_client.h"
#include "ftp/socks.h"
#include "platform/ui/app_paths.h"
#include "platform/ui/dialog_service.h"
#include "store/table.h"

#if __has_include("dialogs/quick_connect.h")
#include "dialogs/quick_connect.h"
#define OSTRAFEN_HAVE_QUICK_CONNECT 1
#endif

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QListView>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyle>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

#include <cmath>

using browser::fromBytes;

namespace {

std::string bytes(const QString& s) { return s.toUtf8().toStdString(); }

std::string nowText() {
    return bytes(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
}

const char* kRetryPrefix = "Error occured,wait ";

}  // namespace

// The delete and export walks over this frame's connection.
class Tfb::FtpOps : public browser::RemoteOps {
public:
    explicit FtpOps(Tfb& f) : f_(f) {}
    void changeFolder(const std::string& path) override { f_.client_->ChangeFolder(path); }
    std::vector<RemoteEntry> listCurrent() override { return f_.fetchEntries(); }
    void removeFile(const std::string& name) override { f_.client_->RemoveFile(name); }
    void removeFolder(const std::string& name) override { f_.client_->RemoveFolder(name); }
    void processMessages() override { QCoreApplication::processEvents(); }
    void skipped(const std::string& name) override {
        f_.LogLine("Skipped <" + name + ">: the name leads out of its folder.", 2);
    }

private:
    Tfb& f_;
};

// ---------------------------------------------------------------- creation

Tfb::Tfb(QWidget* parent)
    : QFrame(parent),
      io_(std::make_unique<TIdIOHandlerSocket>()),
      logEvent_(std::make_unique<TIdLogEvent>()),
      client_(std::make_unique<TIdFTP>()),
      pump_(browser::acquireMessagePump()) {
    setObjectName(QStringLiteral("Tfb"));
    client_->ReadTimeout = 0;
    client_->RecvBufferSize = 2048;
    client_->SendBufferSize = 1024;
    client_->Port = 0;
    client_->MaxLineAction = maException;
    client_->SetIOHandler(io_.get());
    logEvent_->Active = true;
    logEvent_->LogTime = false;
    logEvent_->ReplaceCRLF = false;
    client_->Intercept = logEvent_.get();
    wireClient();

    retryTimer_ = new QTimer(this);
    retryTimer_->setSingleShot(true);  // one attempt at a time; re-armed after a failure
    connect(retryTimer_, &QTimer::timeout, this, &Tfb::retryTick);
    antiIdleTimer_ = new QTimer(this);
    antiIdleTimer_->setInterval(1000);
    connect(antiIdleTimer_, &QTimer::timeout, this, &Tfb::antiIdleTick);

    buildLayout();
    EnableBrowsing(false);
    updateSelectionControls();
}

Tfb::~Tfb() {
    StopTimers();
    client_->OnStatus = nullptr;
    client_->OnConnected = nullptr;
    client_->OnDisconnected = nullptr;
    client_->OnWorkBegin = nullptr;
    client_->OnWork = nullptr;
    client_->Intercept = nullptr;
    CloseConnectionSilently();
    client_.reset();
}

void Tfb::wireClient() {
    client_->OnConnected = [this](void*) { onConnected(); };
    client_->OnDisconnected = [this](void*) { onDisconnected(); };
    client_->OnStatus = [this](void*, TIdStatus s, const std::string&) { onStatus(s); };
    logEvent_->OnSent = [this](void*, const std::string&, const std::string& data) {
        idlecount = 0;
        LogText(data, 0);
    };
    logEvent_->OnReceived = [this](void*, const std::string&, const std::string& data) {
        LogText(data, 1);
    };
}

void Tfb::endBusy() {
    if (--busy_ == 0 && reconnectPending_) {
        reconnectPending_ = false;
        // The blocked call has unwound; now the connection may be opened again.
        QTimer::singleShot(0, this, &Tfb::reconnectAfterAbort);
    }
}

// ---------------------------------------------------------------- settings

bool Tfb::ReadSiteSettings(bool quick) {
    // A reused frame must not keep the profiles of an earlier connection.
    client_->ProxySettings = TIdFtpProxySettings{};
    client_->SocksInfo() = TIdSocksInfo{};
    if (quick) {
#ifdef OSTRAFEN_HAVE_QUICK_CONNECT
        TForm15* q = TForm15::current();
        if (!q) return false;
        client_->Host = bytes(q->address());
        client_->Port = q->port();
        client_->Username = bytes(q->user());
        client_->Password = bytes(q->password());
        client_->Passive = q->passive();
#else
        return false;
#endif
        autorefresh = false;
        timeoutms = 30000;
        client_->ReadTimeout = 30000;
        retrydelayms = 10000;
        LoadOptions();
        siteid = 0;
        quickSettings_ = true;
        return true;
    }

    store::Tdm* dm = store::Tdm::instance();
    if (!dm) return false;
    try {
        store::TableScope site(dm->ftpsite());
        if (!site->locate("name", {bytes(sitename)})) return false;
        site->edit();
        site->setString("zdate", nowText());
        site->post();
        client_->Host = site->asString("address");
        client_->Port = site->asInteger("port");
        client_->Username = site->asString("username");
        client_->Password = site->asString("password");
        client_->Passive = site->asBoolean("pasv");
        proxyname = site->asString("proxy");
        socksname = site->asString("socks");
        autorefresh = site->asBoolean("autorefresh");
        timeoutms = site->asInteger("timeout") * 1000;
        client_->ReadTimeout = timeoutms;
        retrydelayms = site->asInteger("rd") * 1000;
        siteid = site->asInteger("id");
    } catch (const std::exception&) {
        return false;
    }
    quickSettings_ = false;
    LoadOptions();

    try {
        if (proxyname != "None") {
            store::TableScope proxy(dm->proxy());
            if (proxy->locate("name", {proxyname})) {
                TIdFtpProxySettings& p = client_->ProxySettings;
                p.Host = proxy->asString("server");
                p.Port = proxy->asInteger("port");
                static const std::pair<const char*, TIdFtpProxyType> kinds[] = {
                    {"None", fpcmNone},         {"UserSite", fpcmUserSite},
                    {"Site", fpcmSite},         {"Open", fpcmOpen},
                    {"UserPass", fpcmUserPass}, {"Transparent", fpcmTransparent},
                    {"HttpProxyWithFtp", fpcmHttpProxyWithFtp}};
                const std::string type = proxy->asString("typename");
                for (const auto& [n, k] : kinds)
                    if (type == n) p.ProxyType = k;
                if (proxy->asBoolean("login")) {
                    p.UserName = proxy->asString("username");
                    p.Password = proxy->asString("password");
                }
            }
        }
        if (socksname != "None") {
            store::TableScope socks(dm->socks());
            if (socks->locate("name", {socksname})) {
                TIdSocksInfo& s = client_->SocksInfo();
                s.Host = socks->asString("host");
                s.Port = socks->asInteger("port");
                s.Version = SocksVersionFromName(socks->asString("svname"));
                if (socks->asBoolean("login")) {
                    s.Authentication = saUsernamePassword;
                    s.Username = socks->asString("user");
                    s.Password = socks->asString("pass");
                } else {
                    s.Authentication = saNoAuthentication;
                }
            }
        }
    } catch (const std::exception&) {
        // A profile that cannot be read is skipped like a missing one.
    }
    return true;
}

void Tfb::LoadOptions() {
    store::Tdm* dm = store::Tdm::instance();
    if (dm) {
        try {
            std::vector<std::string> cmds;
            store::TableScope anti(dm->antiidle());
            for (anti->first(); !anti->eof(); anti->next())
                if (anti->asBoolean("tf")) cmds.push_back(anti->asString("command"));
            antiidlecmds = std::move(cmds);
        } catch (const std::exception&) {
        }
        try {
            store::TableScope opt(dm->options());
            opt->first();
            if (!opt->eof()) {
                antiidleinterval = opt->asInteger("interval");
                transfermode = opt->asString("transfermode");
                client_->RecvBufferSize = opt->asInteger("recvb");
                client_->SendBufferSize = opt->asInteger("sendb");
                (void)opt->asString("transferc");
                (void)opt->asBoolean("appe");
            }
        } catch (const std::exception&) {
        }
    }
    idlecount = 0;
}

// ---------------------------------------------------------------- connecting

void Tfb::StartConnect(bool quick) {
    if (attempting_) return;
    bool ok;
    if (!quick && quickSettings_) {
        // A quick-connect page keeps the address it was opened with: the
        // quick-connect window is gone by now and no site row exists for it.
        LoadOptions();
        ok = true;
    } else {
        ok = ReadSiteSettings(quick);
    }
    if (!ok) {
        ui::error(this, QStringLiteral("Can not read the information of the FTP site."));
        return;
    }
    LogLine("Connecting " + client_->Host, 0);
    if (attempt()) afterConnect();
}

bool Tfb::attempt() {
    if (attempting_) return false;
    attempting_ = true;
    retryTimer_->stop();
    BusyScope busy(this);
    const unsigned gen = generation_;
    try {
        client_->OpenConnection(true, timeoutms);
    } catch (const std::exception&) {
        attempting_ = false;
        if (gen == generation_) {
            const long s = std::lrint(retrydelayms / 1000.0);
            LogLine(kRetryPrefix + std::to_string(s) + " second for retry", 2);
            armRetry();
        }
        return false;
    }
    attempting_ = false;
    return gen == generation_ && clientOpen();
}

void Tfb::armRetry() {
    // A delay of 0 would fire without pause; it means no retry.
    if (retrydelayms > 0) retryTimer_->start(retrydelayms);
}

void Tfb::afterConnect() {
    browse([this] {
        currentdir = client_->CurrentFolder();
        initialdir = client_->CurrentFolder();
        if (currentdir.empty()) LogLine("The server did not name its current folder.", 2);
        ListFolder(currentdir);
    });
}

void Tfb::retryTick() {
    if (busy_ > 0 || attempting_) {
        // Another operation of this frame is running: try again later.
        armRetry();
        return;
    }
    LogLine("Connecting " + client_->Host, 0);
    if (attempt()) {
        setTabImage(1);
        afterConnect();
    }
}

void Tfb::antiIdleTick() {
    if (busy_ > 0 || client_->Busy()) return;
    if (!clientOpen()) return;
    ++idlecount;
    if (antiidleinterval <= 0 || idlecount < antiidleinterval) return;
    idlecount = 0;
    if (antiidlecmds.empty()) return;
    const auto i = QRandomGenerator::global()->bounded(static_cast<quint32>(antiidlecmds.size()));
    const std::string cmd = antiidlecmds[i];
    BusyScope busy(this);
    try {
        client_->RunCommand(cmd, -1);
    } catch (const std::exception&) {
    }
    idlecount = 0;
}

void Tfb::onConnected() {
    connected_ = true;
    setTabImage(1);
    emit uploadEnabledChanged(true);
    if (QAction* a = action(QStringLiteral("Abort operation"))) a->setEnabled(true);
    retryTimer_->stop();
    antiIdleTimer_->start();
    emit connectedChanged(true);
}

void Tfb::onDisconnected() {
    antiIdleTimer_->stop();
    setTabImage(0);
    if (connected_) {
        connected_ = false;
        emit connectedChanged(false);
    }
}

void Tfb::onStatus(int status) {
    if (status != StatusDisconnected) return;
    if (auto* sel = remoteSelection()) sel->clearSelection();
    updateSelectionControls();
    EnableBrowsing(false);
    running = false;
    antiIdleTimer_->stop();
}

void Tfb::setTabImage(int image) {
    if (tabImage_ == image) return;
    tabImage_ = image;
    emit tabImageChanged(image);
}

void Tfb::setDisconnectImage(bool showConnect) {
    showsConnect_ = showConnect;
    if (QAction* a = action(QStringLiteral("Disconnect")))
        a->setIcon(style()->standardIcon(showConnect ? QStyle::SP_DialogOkButton
                                                     : QStyle::SP_DialogCloseButton));
}

bool Tfb::clientOpen() {
    try {
        return client_->IsOpen();
    } catch (const std::exception&) {
        return false;
    }
}

void Tfb::Disconnect() {
    LogLine("Disconnected from server.", 2);
    ++generation_;
    EnableBrowsing(false);
    emit uploadEnabledChanged(false);
    setTabImage(0);
    setDisconnectImage(true);
    view_.clear();
    model_->refresh();
    updateSelectionControls();
    running = false;
    retryTimer_->stop();
    CloseConnectionSilently();
}

void Tfb::DisconnectButton() {
    if (!showsConnect_) {
        Disconnect();
        setDisconnectImage(true);
        if (QAction* a = action(QStringLiteral("Abort operation"))) a->setEnabled(false);
    } else {
        setDisconnectImage(false);
        StartConnect(false);
    }
}

void Tfb::AbortOperation() {
    try {
        client_->AbortTransfer();
    } catch (const std::exception&) {
    }
    if (busy_ > 0) {
        // A call of this frame is blocked below this handler: close under it
        // and reconnect once it has unwound.
        CloseConnectionSilently();
        reconnectPending_ = true;
        return;
    }
    reconnectAfterAbort();
}

void Tfb::reconnectAfterAbort() {
    if (busy_ > 0) {
        reconnectPending_ = true;
        return;
    }
    BusyScope busy(this);
    const unsigned gen = generation_;
    // A live connection is closed and opened again, so the page ends connected.
    CloseConnectionSilently();
    try {
        client_->OpenConnection(true, timeoutms);
    } catch (const std::exception&) {
    }
    if (gen != generation_ || !clientOpen()) return;
    setDisconnectImage(false);
    if (currentdir.empty()) {
        afterConnect();
    } else {
        const std::string dir = currentdir;
        browse([&] { ListFolder(dir); });
    }
}

// ---------------------------------------------------------------- log

void Tfb::LogLine(const std::string& text, int kind) { log_->LogLine(text, kind); }

void Tfb::LogText(const std::string& data, int kind) { log_->LogText(data, kind); }

void Tfb::ClearLog() { log_->clear(); }

void Tfb::SaveLog() {
    auto path = ui::DialogService::instance().saveFile(this, QStringLiteral("Save to file..."), exportdir,
                                                       QString(), QStringLiteral("*.txt (*.txt)"));
    if (!path || path->isEmpty()) return;
    QString file = *path;
    if (QFileInfo(file).suffix().isEmpty()) file += QStringLiteral(".txt");
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)) {
        LogLine("Can not write " + bytes(file), 2);
        return;
    }
    for (const auto& e : log_->entries()) {
        out.write(e.text.data(), static_cast<qint64>(e.text.size()));
        out.write("\n", 1);
    }
    if (!out.commit()) LogLine("Can not write " + bytes(file), 2);
}

// ---------------------------------------------------------------- browsing

void Tfb::EnableBrowsing(bool on) {
    browsing_ = on;
    for (const char* n : {"Back", "Refresh", "Find...", "Filter", "Make new directory",
                          "Export whole directories", "popup/Download...", "popup/Sort",
                          "popup/Make new directory", "popup/Add task...", "popup/Find...",
                          "popup/Filter...", "popup/Refresh"})
        if (QAction* a = action(QString::fromLatin1(n))) a->setEnabled(on);
    if (model_) model_->editable = on;
    const auto triggers = on ? QAbstractItemView::EditKeyPressed : QAbstractItemView::NoEditTriggers;
    if (report_) report_->setEditTriggers(triggers);
    if (icons_) icons_->setEditTriggers(triggers);
}

template <class F>
bool Tfb::browse(F&& f) {
    if (!clientOpen()) {
        StartConnect(false);
        return false;
    }
    BusyScope busy(this);
    const unsigned gen = generation_;
    EnableBrowsing(false);
    try {
        f();
    } catch (const std::exception& e) {
        if (gen != generation_) return false;  // emptied or disconnected meanwhile
        reportFailure(e);
        EnableBrowsing(true);
        return false;
    }
    if (gen != generation_) return false;
    EnableBrowsing(true);
    return true;
}

void Tfb::reportFailure(const std::exception& e) {
    if (dynamic_cast<const EIdProtocolReplyError*>(&e)) {
        std::string text;
        for (const std::string& l : client_->Text()) text += (text.empty() ? "" : " ") + l;
        LogLine(client_->TextCode() + ":" + text, 2);
        return;
    }
    LogText(e.what(), 2);
    if (dynamic_cast<const EIdReadTimeout*>(&e)) {
        // A late reply would be taken as the answer to the next command.
        CloseConnectionSilently();
    }
}

void Tfb::returnToCurrentDir() {
    if (currentdir.empty() || !clientOpen()) return;
    try {
        client_->ChangeFolder(currentdir);
    } catch (const std::exception&) {
    }
}

std::vector<RemoteEntry> Tfb::fetchEntries() {
    client_->FetchListing(nullptr);
    const TIdFTPListItems& items = client_->ListingEntries();
    if (items.Empty()) {
        // The parser drops a listing it cannot read; an empty result from
        // lines that are not just a "total" count means exactly that.
        for (const std::string& line : client_->ListingLines()) {
            const QString l = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())).trimmed();
            if (!l.isEmpty() && !l.startsWith(QLatin1String("total"), Qt::CaseInsensitive))
                throw EIdException("The listing could not be read.");
        }
    }
    std::vector<RemoteEntry> out;
    out.reserve(items.Count());
    for (const ListingEntry& e : items) {
        RemoteEntry r;
        r.name = e.EntryName;
        r.kind = e.EntryKind == KindFolder ? RemoteEntry::KindFolder
                 : e.EntryKind == KindLink ? RemoteEntry::KindLink
                                           : RemoteEntry::KindFile;
        r.size = e.EntrySize;
        r.modified = browser::formatListingDate(e.Modified);
        out.push_back(std::move(r));
    }
    return out;
}

void Tfb::ListFolder(const std::string& path) {
    view_.listing.clear();
    model_->refresh();
    // An empty path (a server whose PWD names no folder) lists where it is.
    if (!path.empty()) client_->ChangeFolder(path);
    client_->SetTransferType(ftASCII);
    currentdir = client_->CurrentFolder();
    const unsigned gen = generation_;
    std::vector<RemoteEntry> entries = fetchEntries();
    if (gen != generation_) return;
    if (currentdir.empty()) {
        // Without a folder name the rows cannot be told apart from other folders'.
        view_.applyListing(currentdir, entries);
        view_.ForgetCached(currentdir);
    } else {
        view_.applyListing(currentdir, entries);
    }
    model_->refresh();
}

void Tfb::ShowFromCache(const std::string& path) {
    view_.listing.clear();
    model_->refresh();
    if (!path.empty() && view_.loadFromCache(path)) {
        model_->refresh();
        return;
    }
    ListFolder(path);
}

void Tfb::ForgetCached(const std::string& folder) { view_.ForgetCached(folder); }

void Tfb::ForgetCached(const std::string& folder, const std::string& name) {
    view_.ForgetCached(folder, name);
}

void Tfb::SortListing() { view_.SortListing(); }

void Tfb::setRowCount() { model_->refresh(); }

QItemSelectionModel* Tfb::remoteSelection() const {
    return report_ ? report_->selectionModel() : nullptr;
}

QAbstractItemView* Tfb::remoteView() const {
    return style_ == 3 ? static_cast<QAbstractItemView*>(report_) : static_cast<QAbstractItemView*>(icons_);
}

std::vector<int> Tfb::selectedRows() const {
    std::vector<int> rows;
    if (!remoteSelection()) return rows;
    for (const QModelIndex& i : remoteSelection()->selectedRows(0)) rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::erase_if(rows, [&](int r) { return !model_->row(r); });
    return rows;
}

void Tfb::updateSelectionControls() {
    const std::size_t n = selectedRows().size();
    const bool any = n > 0;
    for (const char* p : {"popup/Download...", "popup/Delete", "popup/Export selected", "popup/Add task..."})
        if (QAction* a = action(QString::fromLatin1(p))) a->setVisible(any);
    if (QAction* a = action(QStringLiteral("popup/Rename"))) a->setVisible(any && n < 2);
    for (const char* p : {"Add task", "Delete", "Download...", "menu/Export selected"})
        if (QAction* a = action(QString::fromLatin1(p))) a->setEnabled(any);
}

void Tfb::onRowActivated() {
    if (browsing_ && busy_ == 0) OpenSelectedFolder();
}

void Tfb::enterFolder(const std::string& name) {
    if (autorefresh) {
        ListFolder(name);
    } else {
        client_->ChangeFolder(name);
        currentdir = client_->CurrentFolder();
        ShowFromCache(currentdir);
    }
}

void Tfb::OpenSelectedFolder() {
    if (busy_ > 0) return;
    if (!clientOpen()) {
        StartConnect(false);
        return;
    }
    const std::vector<int> rows = selectedRows();
    if (rows.empty()) return;
    const rdatalist* r = model_->row(rows.front());
    if (!r || !r->isFolder()) return;
    const std::string name = r->name;
    browse([&] { enterFolder(name); });
    if (auto* sel = remoteSelection()) sel->clearSelection();
    updateSelectionControls();
}

void Tfb::GoBack() {
    if (busy_ > 0) return;
    if (!clientOpen()) {
        StartConnect(false);
        return;
    }
    browse([&] { enterFolder(".."); });
    if (auto* sel = remoteSelection()) sel->clearSelection();
    updateSelectionControls();
}

void Tfb::Refresh() {
    if (busy_ > 0) return;
    if (!clientOpen()) {
        StartConnect(false);
        return;
    }
    const std::string dir = currentdir;
    browse([&] { ListFolder(dir); });
    if (auto* sel = remoteSelection()) sel->clearSelection();
    updateSelectionControls();
}

void Tfb::SortBy(int column) {
    if (column < 0 || column > 3) return;
    view_.sortcolumn = column;
    view_.SortListing();
    model_->refresh();
}

void Tfb::applyViewStyle(int code) {
    if (code < 0 || code > 3) return;
    style_ = code;
    if (code == 3) {
        stack_->setCurrentWidget(report_);
        return;
    }
    if (code == 0) {
        icons_->setViewMode(QListView::IconMode);
        icons_->setIconSize(QSize(32, 32));
        icons_->setFlow(QListView::LeftToRight);
        icons_->setGridSize(QSize(96, 64));
    } else {
        icons_->setViewMode(QListView::ListMode);
        icons_->setIconSize(QSize(16, 16));
        icons_->setGridSize(QSize());
        icons_->setFlow(code == 1 ? QListView::TopToBottom : QListView::LeftToRight);
    }
    icons_->setWrapping(true);
    icons_->setMovement(QListView::Static);
    icons_->setResizeMode(QListView::Adjust);
    stack_->setCurrentWidget(icons_);
}

void Tfb::ViewButton() {
    viewcycle = viewcycle == 1 ? 4 : viewcycle - 1;
    const int code = viewcycle - 1;
    applyViewStyle(code);
    viewGroup_->actions().at(code)->setChecked(true);
    popupViewGroup_->actions().at(code)->setChecked(true);
}

int Tfb::listViewStyle() const { return style_; }

void Tfb::setListViewStyle(int code) {
    if (code < 0 || code > 3) return;
    applyViewStyle(code);
    viewGroup_->actions().at(code)->setChecked(true);
    popupViewGroup_->actions().at(code)->setChecked(true);
}

int Tfb::infoHeight() const { return info_; }

void Tfb::setInfoHeight(int h) {
    info_ = h;
    QList<int> s = splitter_->sizes();
    if (s.size() == 3) {
        s[0] = h;
        splitter_->setSizes(s);
    }
}

int Tfb::queueHeight() const { return queue_; }

void Tfb::setQueueHeight(int h) {
    queue_ = h;
    QList<int> s = splitter_->sizes();
    if (s.size() == 3) {
        s[2] = h;
        splitter_->setSizes(s);
    }
}

// ---------------------------------------------------------------- file operations

bool Tfb::ValidateNewName(const std::string& name) {
    return browser::ValidateNewName(name, view_.listing, this);
}

void Tfb::MakeNewDirectory() {
    if (busy_ > 0) return;
    auto text = ui::DialogService::instance().inputBox(this, QStringLiteral("Make new directory"),
                                                       QStringLiteral("Name"), QString());
    if (!text) return;
    if (!MakeFolder(bytes(*text))) ui::error(this, QStringLiteral("Can not create folder."));
}

bool Tfb::MakeFolder(const std::string& name) {
    if (name.empty()) return true;
    if (!clientOpen()) StartConnect(false);
    if (!ValidateNewName(name)) return true;
    BusyScope busy(this);
    try {
        client_->CreateFolder(name);
        const std::string now = nowText();
        view_.AddCacheRow(currentdir, name, now, "", "Folder");
        view_.addNewFolderRow(name, now);
        model_->refresh();
        return true;
    } catch (const std::exception& e) {
        reportFailure(e);
        return false;
    }
}

void Tfb::DeleteSelected() {
    if (busy_ > 0) return;
    const std::vector<int> rows = selectedRows();
    if (rows.empty()) return;
    QString text;
    if (rows.size() == 1) {
        const rdatalist* r = model_->row(rows.front());
        text = r->image == 0
                   ? QStringLiteral("Are you sure to delete the folder <%1> and all files in this folder?")
                         .arg(fromBytes(r->name))
                   : QStringLiteral("Are you sure to delete <%1>?").arg(fromBytes(r->name));
    } else {
        text = QStringLiteral("Are you sure to delete the selected files or folders?");
    }
    if (!ui::confirm(this, text)) return;
    std::vector<std::pair<std::string, bool>> targets;
    for (int r : rows) targets.emplace_back(model_->row(r)->name, model_->row(r)->image == 0);
    if (!clientOpen()) StartConnect(false);
    if (!clientOpen()) return;
    const bool ok = browse([&] {
        for (auto it = targets.rbegin(); it != targets.rend(); ++it) deleteOne(it->first, it->second);
    });
    if (!ok) returnToCurrentDir();
    model_->refresh();
    if (auto* sel = remoteSelection()) sel->clearSelection();
    updateSelectionControls();
}

void Tfb::DeleteEntry(const std::string& name, bool isFolder) {
    if (!clientOpen()) StartConnect(false);
    if (!clientOpen()) return;
    if (!browse([&] { deleteOne(name, isFolder); })) returnToCurrentDir();
}

void Tfb::deleteOne(const std::string& name, bool isFolder) {
    // A listed name such as "x/../.." would send the delete outside this folder.
    if (browser::unsafeEntryName(name)) {
        LogLine("Skipped <" + name + ">: the name leads out of its folder.", 2);
        return;
    }
    if (isFolder) {
        FtpOps ops(*this);
        browser::DeleteTree(ops, name);
    } else {
        client_->RemoveFile(name);
    }
    view_.ForgetCached(currentdir, name);
    // Rows remembered for folders inside a deleted tree are gone as well.
    if (isFolder) view_.ForgetCachedBelow(browser::joinRemote(currentdir, name));
    view_.removeListingRows(name);
    model_->refresh();
}

void Tfb::RenameSelected() {
    if (busy_ > 0 || !browsing_) return;
    const std::vector<int> rows = selectedRows();
    if (rows.size() != 1) return;
    QAbstractItemView* v = remoteView();
    const QModelIndex idx = model_->index(rows.front(), 0);
    v->setCurrentIndex(idx);
    v->edit(idx);
}

void Tfb::onRenameRequested(int row, const QString& text) {
    if (busy_ > 0 || !browsing_) return;
    const rdatalist* r = model_->row(row);
    if (!r) return;
    const std::string oldName = r->name;
    const std::string newName = bytes(text);
    if (!ValidateNewName(newName)) return;
    RenameRemote(oldName, newName);
}

void Tfb::RenameRemote(const std::string& oldName, const std::string& newName) {
    if (!clientOpen()) return;
    browse([&] {
        client_->RenameEntry(oldName, newName);
        view_.renameRows(currentdir, oldName, newName);
        model_->refresh();
    });
}

// ---------------------------------------------------------------- export

std::optional<QString> Tfb::askExportFile() {
    auto path = ui::DialogService::instance().saveFile(this, QStringLiteral("Export whole directories"),
                                                       exportdir, QString(), QStringLiteral("*.txt (*.txt)"));
    if (!path || path->isEmpty()) return std::nullopt;
    QString file = *path;
    if (QFileInfo(file).suffix().isEmpty()) file += QStringLiteral(".txt");
    exportdir = QFileInfo(file).absolutePath();
    return file;
}

std::string Tfb::exportRootText(const std::string& folder) const {
    return bytes(sitename) + "(ftp://" + client_->Host + folder + ")";
}

namespace {
void writeAll(const QString& path, const std::string& data) {
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(data.data(), static_cast<qint64>(data.size())) != static_cast<qint64>(data.size()) ||
        !out.commit())
        throw EIdException("Can not write the file " + path.toStdString());
}

std::string exportDate() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy/MM/dd hh:mm")).toStdString();
}
}  // namespace

void Tfb::ExportWhole() {
    if (busy_ > 0) return;
    const auto file = askExportFile();
    if (!file) return;
    // The walk moves the server through the tree; browsing meanwhile would
    // send the user's commands to whatever folder the walk has reached.
    const bool ok = browse([&] {
        browser::ExportNode root;
        root.text = exportRootText(initialdir);
        FtpOps ops(*this);
        browser::BuildTree(ops, initialdir, initialdir, root);
        writeAll(*file, browser::WriteTreeBytes(root, exportDate()));
        client_->ChangeFolder(currentdir);
    });
    if (!ok) returnToCurrentDir();
}

void Tfb::ExportSelected() {
    if (busy_ > 0) return;
    const std::vector<int> rows = selectedRows();
    if (rows.empty()) return;
    std::vector<rdatalist> picked;
    for (int r : rows) picked.push_back(*model_->row(r));
    const auto file = askExportFile();
    if (!file) return;
    const bool ok = browse([&] {
        browser::ExportNode root;
        root.text = exportRootText(currentdir);
        FtpOps ops(*this);
        for (const rdatalist& r : picked) {
            if (r.isFolder() && browser::unsafeEntryName(r.name))
                ops.skipped(r.name);
            else if (r.isFolder())
                browser::BuildTree(ops, r.name, initialdir, root);
            else
                root.add(browser::exportLeafText(r.name, r.sizetext, r.modified));
        }
        writeAll(*file, browser::WriteTreeBytes(root, exportDate()));
        client_->ChangeFolder(currentdir);
    });
    if (!ok) returnToCurrentDir();
}

// ---------------------------------------------------------------- help and page life

void Tfb::Help() {
    ui::DialogService::instance().showHelp(this, ui::dataFile(QStringLiteral("Ostrafen.hlp")),
                                           QStringLiteral("Newitem6"));
}

void Tfb::StopTimers() {
    retryTimer_->stop();
    antiIdleTimer_->stop();
}

void Tfb::CloseConnectionSilently() {
    try {
        client_->CloseConnection();
    } catch (...) {
    }
}

void Tfb::EmptyFrame() {
    StopTimers();
    ++generation_;
    reconnectPending_ = false;
    queue.clear();
    queueList_->clear();
    view_.clear();
    model_->refresh();
    log_->clear();
    EnableBrowsing(false);
    updateSelectionControls();
    running = false;
    quickSettings_ = false;
    currentdir.clear();
    initialdir.clear();
    setDisconnectImage(false);
    strip_->setVisible(false);
}

void Tfb::StopPumping() {
    logEvent_->Active = false;
    if (pump_) pump_->Active = false;
}
