#include "browser/browser_frame.h"

#include "browser/connection_log.h"
#include "browser/drag_formats.h"
#include "browser/name_validation.h"
#include "browser/remote_list_model.h"
#include "browser/remote_walk.h"
#include "browser/size_text.h"
#include "ftp/ftp_client.h"
#include "platform/ui/app_paths.h"
#include "platform/ui/dialog_service.h"
#include "store/options_records.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QListView>
#include <QPointer>
#include <QSaveFile>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyle>
#include <QTimer>
#include <QTreeView>

#include <algorithm>

using browser::fromBytes;
using browser::PageOperation;

namespace {

std::string bytes(const QString& s) { return s.toUtf8().toStdString(); }

std::string nowText() {
    return bytes(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
}

// Raised inside a walk when the page changed under it; the walk's operation
// then ends without a word (the page already shows why).
class PageChanged : public EIdException {
public:
    PageChanged() : EIdException("The page changed.") {}
};

}  // namespace

// The delete and export walks over this page's connection. Between folders
// the event loop runs; a walk whose connection was replaced meanwhile stops.
class Tfb::FtpOps : public browser::RemoteOps {
public:
    FtpOps(Tfb& f, PageOperation& op) : f_(f), op_(op) {}
    void changeFolder(const std::string& path) override { client().ChangeFolder(path); }
    std::vector<RemoteEntry> listCurrent() override { return f_.fetchEntries(); }
    void removeFile(const std::string& name) override { client().RemoveFile(name); }
    void removeFolder(const std::string& name) override { client().RemoveFolder(name); }
    void processMessages() override {
        QCoreApplication::processEvents();
        if (!op_.sameConnection()) throw PageChanged();
    }
    void skipped(const std::string& name) override {
        f_.LogLine("Skipped <" + name + ">: the name leads out of its folder.", 2);
    }

private:
    TIdFTP& client() {
        if (!op_.sameConnection()) throw PageChanged();
        return f_.session_->client();
    }
    Tfb& f_;
    PageOperation& op_;
};

// ---------------------------------------------------------------- creation

Tfb::Tfb(store::Tdm& dm, QWidget* parent) : QFrame(parent), dm_(dm) {
    setObjectName(QStringLiteral("Tfb"));
    session_ = new browser::ConnectionSession(this);
    buildLayout();
    wireSession();
    EnableBrowsing(false);
    updateSelectionControls();
}

Tfb::~Tfb() {
    // The session goes first: its client must not call back into a half-destroyed frame.
    QObject::disconnect(session_, nullptr, this, nullptr);
    delete session_;
    session_ = nullptr;
}

void Tfb::wireSession() {
    connect(session_, &browser::ConnectionSession::logLine, this, &Tfb::LogLine);
    connect(session_, &browser::ConnectionSession::logText, this, &Tfb::LogText);
    connect(session_, &browser::ConnectionSession::stateChanged, this, &Tfb::showState);
    connect(session_, &browser::ConnectionSession::connectionLost, this, &Tfb::onConnectionLost);
    session_->afterConnect = [this](PageOperation& op) { afterConnect(op); };
}

void Tfb::showState() {
    const bool on = session_->connected();
    if (on) {
        if (QAction* a = action(QStringLiteral("Abort operation"))) a->setEnabled(true);
    }
    if (session_->userDisconnected()) {
        if (QAction* a = action(QStringLiteral("Abort operation"))) a->setEnabled(false);
    }
    if (QAction* a = action(QStringLiteral("Disconnect")))
        a->setIcon(style()->standardIcon(session_->userDisconnected() ? QStyle::SP_DialogOkButton
                                                                      : QStyle::SP_DialogCloseButton));
    if (shownConnected_ != on) {
        shownConnected_ = on;
        emit connectedChanged(on);
    }
}

void Tfb::onConnectionLost() {
    clearSelection();
    EnableBrowsing(false);
}

// ---------------------------------------------------------------- settings

std::optional<browser::ConnectSettings> Tfb::readSiteSettings() {
    try {
        return browser::siteSettings(dm_, bytes(sitename_), nowText());
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void Tfb::LoadOptions() {
    browser::PageOptions o = session_->options();
    try {
        o.antiidlecmds = store::enabledAntiIdleCommands(dm_);
    } catch (const std::exception&) {
    }
    try {
        const store::OptionsRecord r = store::readOptions(dm_);
        o.antiidle = r.eanti;
        o.antiidleinterval = r.interval;
        o.transfermode = r.transfermode;
        o.recvb = r.recvb;
        o.sendb = r.sendb;
    } catch (const std::exception&) {
    }
    session_->setOptions(o);
}

// ---------------------------------------------------------------- connecting

void Tfb::StartConnect(bool quick) {
    PageOperation op = session_->begin();
    if (!op) {
        // The page is busy (a connect of a closed page may still be unwinding):
        // connect as soon as it is idle.
        session_->whenIdle(this, [this, quick] {
            if (!session_->isOpen()) StartConnect(quick);
        });
        return;
    }
    std::optional<browser::ConnectSettings> s;
    if (quick || session_->settings().quick) {
        // A quick-connect page keeps the address it was opened with: no site
        // row exists for it.
        if (session_->settings().quick) s = session_->settings();
    } else {
        s = readSiteSettings();
    }
    if (!s) {
        ui::error(this, QStringLiteral("Can not read the information of the FTP site."));
        return;
    }
    session_->setSettings(*s);
    connectWith(op);
}

void Tfb::StartConnect(const browser::ConnectSettings& settings) {
    PageOperation op = session_->begin();
    if (!op) {
        session_->whenIdle(this, [this, settings] {
            if (!session_->isOpen()) StartConnect(settings);
        });
        return;
    }
    session_->setSettings(settings);
    connectWith(op);
}

void Tfb::connectWith(PageOperation& op) {
    // Opening a connection that is up would close it.
    if (session_->isOpen()) return;
    LoadOptions();
    session_->setUserDisconnected(false);
    if (session_->openConnection(op)) afterConnect(op);
}

void Tfb::afterConnect(PageOperation& op) {
    browse(op, [&] { ListFolder(session_->currentdir()); });
}

void Tfb::Disconnect() {
    session_->disconnectByUser();
    EnableBrowsing(false);
    view_.clear();
    showAllRows();
    updateSelectionControls();
}

void Tfb::DisconnectButton() {
    if (!session_->userDisconnected()) {
        Disconnect();
    } else {
        session_->setUserDisconnected(false);
        StartConnect(false);
    }
}

void Tfb::AbortOperation() { session_->abort(); }

// ---------------------------------------------------------------- log

void Tfb::LogLine(const std::string& text, int kind) { log_->LogLine(text, kind); }

void Tfb::LogText(const std::string& data, int kind) { log_->LogText(data, kind); }

void Tfb::ClearLog() { log_->clear(); }

void Tfb::SaveLog() {
    auto path = ui::DialogService::instance().saveFile(this, QStringLiteral("Save to file..."), exportdir_,
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
    if (model_) {
        model_->editable = on;
        model_->acceptsDrops = on;
    }
    const auto triggers = on ? QAbstractItemView::EditKeyPressed : QAbstractItemView::NoEditTriggers;
    if (report_) report_->setEditTriggers(triggers);
    if (icons_) icons_->setEditTriggers(triggers);
}

template <class F>
bool Tfb::browse(PageOperation& op, F&& f) {
    EnableBrowsing(false);
    try {
        f();
    } catch (const std::exception& e) {
        // Disconnected, closed or aborted meanwhile: the page shows that already.
        if (!op.sameConnection()) return false;
        session_->reportFailure(e);
        EnableBrowsing(true);
        return false;
    }
    if (!op.sameConnection()) return false;
    EnableBrowsing(true);
    return true;
}

PageOperation Tfb::beginBrowsing() {
    PageOperation op = session_->begin();
    if (op && !session_->isOpen()) {
        op.end();
        StartConnect(false);
        return PageOperation{};
    }
    return op;
}

bool Tfb::reconnectInFolder(PageOperation& op) {
    const unsigned before = op.generation();
    if (!session_->reconnectInFolder(op)) return false;
    // A new connection in the folder on screen: the page can browse again.
    if (op.generation() != before) EnableBrowsing(true);
    return true;
}

void Tfb::returnToFolder(PageOperation& op) {
    // After a failed walk the server may be anywhere in the tree.
    if (!op.sameConnection() || op.folder().empty() || !session_->isOpen()) return;
    try {
        session_->client().ChangeFolder(op.folder());
    } catch (const std::exception&) {
    }
}

void Tfb::clearSelection() {
    if (auto* sel = remoteSelection()) sel->clearSelection();
    updateSelectionControls();
}

std::vector<RemoteEntry> Tfb::fetchEntries() {
    session_->client().FetchListing(nullptr);
    const TIdFTPListItems& items = session_->client().ListingEntries();
    if (const std::size_t lost = items.SkippedLines(); lost > 0)
        LogLine(std::to_string(lost) + " lines of the listing could not be read.", 2);
    if (items.Empty()) {
        // The parser drops a listing it cannot read; an empty result from
        // lines that are not just a "total" count means exactly that.
        for (const std::string& line : session_->client().ListingLines()) {
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
    QPointer<Tfb> self(this);
    TIdFTP& client = session_->client();
    view_.listing.clear();
    showAllRows();
    // An empty path (a server whose PWD names no folder) lists where it is.
    if (!path.empty()) client.ChangeFolder(path);
    client.SetTransferType(ftASCII);
    session_->setCurrentdir(client.CurrentFolder());
    const std::string folder = session_->currentdir();
    const unsigned gen = session_->generation();
    std::vector<RemoteEntry> entries = fetchEntries();
    if (!self || gen != session_->generation()) return;
    view_.applyListing(folder, entries);
    // Without a folder name the rows cannot be told apart from other folders'.
    if (folder.empty()) view_.ForgetCached(folder);
    model_->refresh();
}

void Tfb::ShowFromCache(const std::string& path) {
    view_.listing.clear();
    showAllRows();
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

std::vector<rdatalist> Tfb::selectedEntries() const {
    std::vector<rdatalist> out;
    for (int r : selectedRows()) out.push_back(*model_->row(r));
    return out;
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
    if (browsing_) OpenSelectedFolder();
}

void Tfb::enterFolder(const std::string& name) {
    if (session_->settings().autorefresh) {
        ListFolder(name);
    } else {
        TIdFTP& client = session_->client();
        client.ChangeFolder(name);
        session_->setCurrentdir(client.CurrentFolder());
        ShowFromCache(session_->currentdir());
    }
}

void Tfb::OpenSelectedFolder() {
    PageOperation op = beginBrowsing();
    if (!op) return;
    const std::vector<int> rows = selectedRows();
    if (rows.empty()) return;
    const rdatalist* r = model_->row(rows.front());
    if (!r || !r->isFolder()) return;
    const std::string name = r->name;
    browse(op, [&] { enterFolder(name); });
    if (!op.alive()) return;
    clearSelection();
}

void Tfb::GoBack() {
    PageOperation op = beginBrowsing();
    if (!op) return;
    browse(op, [&] { enterFolder(".."); });
    if (!op.alive()) return;
    clearSelection();
}

void Tfb::Refresh() {
    PageOperation op = beginBrowsing();
    if (!op) return;
    const std::string dir = session_->currentdir();
    browse(op, [&] { ListFolder(dir); });
    if (!op.alive()) return;
    clearSelection();
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
    viewcycle_ = viewcycle_ == 1 ? 4 : viewcycle_ - 1;
    const int code = viewcycle_ - 1;
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
    PageOperation op = session_->begin();
    if (!op) return;
    QPointer<Tfb> self(this);
    auto text = ui::DialogService::instance().inputBox(this, QStringLiteral("Make new directory"),
                                                       QStringLiteral("Name"), QString());
    // Disconnected or closed while the box was open: there is nowhere to create it.
    if (!self || !op.sameConnection() || !text) return;
    if (!makeFolderIn(op, bytes(*text))) ui::error(this, QStringLiteral("Can not create folder."));
}

bool Tfb::MakeFolder(const std::string& name) {
    PageOperation op = session_->begin();
    if (!op) return true;  // busy: nothing was tried, so nothing failed
    return makeFolderIn(op, name);
}

bool Tfb::makeFolderIn(PageOperation& op, const std::string& name) {
    if (name.empty()) return true;
    QPointer<Tfb> self(this);
    if (!ValidateNewName(name)) return true;
    if (!self || !op.sameConnection()) return true;
    if (!reconnectInFolder(op)) return false;
    try {
        session_->client().CreateFolder(name);
    } catch (const std::exception& e) {
        if (!op.sameConnection()) return true;
        session_->reportFailure(e);
        return false;
    }
    if (!op.still()) return true;
    const std::string now = nowText();
    view_.AddCacheRow(op.folder(), name, now, "", "Folder");
    view_.addNewFolderRow(name, now);
    model_->refresh();
    return true;
}

void Tfb::DeleteSelected() {
    PageOperation op = session_->begin();
    if (!op) return;
    const std::vector<int> rows = selectedRows();
    if (rows.empty()) return;
    // Names, not row numbers: the box below runs the event loop.
    std::vector<std::pair<std::string, bool>> targets;
    for (int r : rows) targets.emplace_back(model_->row(r)->name, model_->row(r)->isFolder());
    QString text;
    if (targets.size() == 1) {
        const QString name = fromBytes(targets.front().first);
        text = targets.front().second
                   ? QStringLiteral("Are you sure to delete the folder <%1> and all files in this folder?").arg(name)
                   : QStringLiteral("Are you sure to delete <%1>?").arg(name);
    } else {
        text = QStringLiteral("Are you sure to delete the selected files or folders?");
    }
    QPointer<Tfb> self(this);
    if (!ui::confirm(this, text)) return;
    if (!self || !op.sameConnection()) return;
    if (!reconnectInFolder(op)) return;
    deleteNames(op, targets);
    if (!op.alive()) return;
    model_->refresh();
    clearSelection();
}

void Tfb::DeleteEntry(const std::string& name, bool isFolder) {
    PageOperation op = session_->begin();
    if (!op || !reconnectInFolder(op)) return;
    deleteNames(op, {{name, isFolder}});
}

void Tfb::deleteNames(PageOperation& op, const std::vector<std::pair<std::string, bool>>& targets) {
    const bool ok = browse(op, [&] {
        for (auto it = targets.rbegin(); it != targets.rend(); ++it) {
            if (!op.still()) throw PageChanged();
            // Only what the user confirmed, found again by name in the folder acted on.
            if (!view_.hasListingRow(it->first)) continue;
            deleteOne(op, it->first, it->second);
        }
    });
    if (!ok) returnToFolder(op);
}

void Tfb::deleteOne(PageOperation& op, const std::string& name, bool isFolder) {
    // A listed name such as "x/../.." would send the delete outside this folder.
    if (browser::unsafeEntryName(name)) {
        LogLine("Skipped <" + name + ">: the name leads out of its folder.", 2);
        return;
    }
    if (isFolder) {
        FtpOps ops(*this, op);
        browser::DeleteTree(ops, name);
    } else {
        session_->client().RemoveFile(name);
    }
    if (!op.still()) throw PageChanged();
    view_.ForgetCached(op.folder(), name);
    // Rows remembered for folders inside a deleted tree are gone as well.
    if (isFolder) view_.ForgetCachedBelow(browser::joinRemote(op.folder(), name));
    view_.removeListingRows(name);
    model_->refresh();
}

void Tfb::RenameSelected() {
    if (!session_->idle() || !browsing_) return;
    const std::vector<int> rows = selectedRows();
    if (rows.size() != 1) return;
    QAbstractItemView* v = remoteView();
    const QModelIndex idx = model_->index(rows.front(), 0);
    v->setCurrentIndex(idx);
    v->edit(idx);
}

void Tfb::onRenameRequested(const QByteArray& old, const QString& text) {
    if (!browsing_) return;
    PageOperation op = session_->begin();
    if (!op) return;
    const std::string oldName(old.constData(), static_cast<std::size_t>(old.size()));
    if (!view_.hasListingRow(oldName)) return;
    const std::string newName = bytes(text);
    QPointer<Tfb> self(this);
    if (!ValidateNewName(newName)) return;
    if (!self || !op.still() || !view_.hasListingRow(oldName)) return;
    op.end();
    RenameRemote(oldName, newName);
}

void Tfb::RenameRemote(const std::string& oldName, const std::string& newName) {
    PageOperation op = session_->begin();
    if (!op || !session_->isOpen()) return;
    browse(op, [&] {
        session_->client().RenameEntry(oldName, newName);
        if (!op.still()) return;
        view_.renameRows(op.folder(), oldName, newName);
        model_->refresh();
    });
}

// ---------------------------------------------------------------- export

std::optional<QString> Tfb::askExportFile() {
    auto path = ui::DialogService::instance().saveFile(this, QStringLiteral("Export whole directories"),
                                                       exportdir_, QString(), QStringLiteral("*.txt (*.txt)"));
    if (!path || path->isEmpty()) return std::nullopt;
    QString file = *path;
    if (QFileInfo(file).suffix().isEmpty()) file += QStringLiteral(".txt");
    exportdir_ = QFileInfo(file).absolutePath();
    return file;
}

std::string Tfb::exportRootText(const std::string& folder) const {
    return bytes(sitename_) + "(ftp://" + session_->settings().host + folder + ")";
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

void Tfb::exportTree(PageOperation& op, const QString& file, const std::vector<rdatalist>* picked) {
    // The walk moves the server through the tree; browsing meanwhile would
    // send the user's commands to whatever folder the walk has reached.
    const bool ok = browse(op, [&] {
        browser::ExportNode root;
        const std::string& initialdir = session_->initialdir();
        FtpOps ops(*this, op);
        if (!picked) {
            root.text = exportRootText(initialdir);
            browser::BuildTree(ops, initialdir, initialdir, root);
        } else {
            root.text = exportRootText(op.folder());
            for (const rdatalist& r : *picked) {
                if (r.isFolder() && browser::unsafeEntryName(r.name))
                    ops.skipped(r.name);
                else if (r.isFolder())
                    browser::BuildTree(ops, r.name, initialdir, root);
                else
                    root.add(browser::exportLeafText(r.name, r.sizetext, r.modified));
            }
        }
        writeAll(file, browser::WriteTreeBytes(root, exportDate()));
        if (!op.sameConnection()) throw PageChanged();
        session_->client().ChangeFolder(op.folder());
    });
    if (!ok) returnToFolder(op);
}

void Tfb::ExportWhole() {
    PageOperation op = session_->begin();
    if (!op) return;
    QPointer<Tfb> self(this);
    const auto file = askExportFile();
    if (!self || !op.sameConnection() || !file) return;
    if (!reconnectInFolder(op)) return;
    exportTree(op, *file, nullptr);
}

void Tfb::ExportSelected() {
    PageOperation op = session_->begin();
    if (!op) return;
    const std::vector<rdatalist> picked = selectedEntries();
    if (picked.empty()) return;
    QPointer<Tfb> self(this);
    const auto file = askExportFile();
    if (!self || !op.sameConnection() || !file) return;
    if (!reconnectInFolder(op)) return;
    exportTree(op, *file, &picked);
}

// ---------------------------------------------------------------- help and page life

void Tfb::Help() {
    ui::DialogService::instance().showHelp(this, ui::dataFile(QStringLiteral("Ostrafen.hlp")),
                                           QStringLiteral("Newitem6"));
}

void Tfb::ClosePage() {
    session_->closePage();
    view_.clear();
    showAllRows();
    log_->clear();
    EnableBrowsing(false);
    updateSelectionControls();
    strip_->setVisible(false);
    showState();
}

void Tfb::Shutdown() {
    shutDown_ = true;
    session_->stopTimers();
    session_->stopPumping();
    session_->closeConnection();
}

// ---------------------------------------------------------------- transfer engine

void Tfb::StartRun(bool refreshAfter) {
    if (runner_) runner_->startRun(refreshAfter);
}
