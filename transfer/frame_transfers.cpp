#include "transfer/frame_transfers.h"

#include "browser/connection_session.h"
#include "browser/listing_state.h"
#include "browser/remote_list_model.h"
#include "ftp/ftp_client.h"
#include "platform/ui/app_paths.h"
#include "platform/ui/dialog_service.h"
#include "transfer/download_dialog.h"
#include "transfer/local_target.h"
#include "transfer/queue_model.h"
#include "transfer/queue_rules.h"
#include "transfer/queue_run.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QTreeView>

#include <chrono>

namespace transfer {

namespace {

std::int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The strip is redrawn at most this often: a 2 KiB chunk arrives every few
// microseconds on a fast link, and redrawing for each would cost more than the copy.
constexpr std::int64_t kRedrawMs = 100;

const char* const kStoppedLine = "Transfer aborted, the operation cancel.";

}  // namespace

FrameTransfers::FrameTransfers(Tfb& frame, store::Tdm& dm)
    : QObject(&frame), frame_(frame), dm_(dm), session_(&frame.session()) {
    setObjectName(QStringLiteral("transfers"));
    model_ = new QueueModel(&session_->queue(), this);
    frame.setQueueModel(model_);
    frame.setQueueRunner(this);
    connect(frame.queueList()->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &FrameTransfers::updatePopup);
    connect(&frame, &Tfb::transferRequested, this, &FrameTransfers::Transfer);
    connect(&frame, &Tfb::queueDeleteRequested, this, &FrameTransfers::DeleteSelected);
    connect(&frame, &Tfb::queueClearRequested, this, &FrameTransfers::ClearQueue);
    connect(&frame, &Tfb::localFilesDropped, this, &FrameTransfers::DropLocalFiles);
    connect(&frame, &Tfb::downloadRequested, this, &FrameTransfers::Download);
    connect(session_, &browser::ConnectionSession::closed, this, [this] {
        // The page's queue was emptied with it.
        ++closedCount_;
        model_->resync();
        updatePopup();
    });
    TIdFTP& client = session_->client();
    client.OnWorkBegin = [this](void*, TWorkMode, std::int64_t max) { onWorkBegin(max); };
    client.OnWork = [this](void*, TWorkMode, std::int64_t done) { onWork(done); };
}

FrameTransfers::~FrameTransfers() {
    // The frame destroys its session first; when the engine goes alone, the
    // client must not call into it any more.
    if (session_) {
        session_->client().OnWorkBegin = nullptr;
        session_->client().OnWork = nullptr;
    }
}

FrameTransfers* FrameTransfers::of(Tfb* frame) {
    return frame ? dynamic_cast<FrameTransfers*>(frame->queueRunner()) : nullptr;
}

// ---------------------------------------------------------------- producers

std::vector<std::uint64_t> FrameTransfers::enqueue(const std::vector<rupdown>& entries) {
    std::vector<std::uint64_t> ids = QueueEntries(session_->queue(), entries, nextId_);
    for (std::uint64_t id : ids) model_->entryAppended(id);
    return ids;
}

std::uint64_t FrameTransfers::enqueueAlways(const rupdown& entry) {
    const std::uint64_t id = AppendQueueEntry(session_->queue(), entry, nextId_);
    model_->entryAppended(id);
    return id;
}

std::uint64_t FrameTransfers::takenId() const { return run_ ? run_->taken() : 0; }

// ---------------------------------------------------------------- the run protocol

void FrameTransfers::requestRun(bool refreshAfter, bool needOpenClient) {
    request(Request{refreshAfter, needOpenClient, false});
}

void FrameTransfers::request(Request r) {
    // A run under way takes what was queued meanwhile.
    if (run_ || !session_) return;
    if (session_->idle()) {
        runNow(r);
        return;
    }
    // Another operation of the page is running: starting now would move the
    // server's folder under it. Run once the page is idle; a disconnect
    // drops the waiting request with the others of that connection.
    if (deferred_ && deferredGen_ == session_->generation()) {
        pending_.refreshAfter = pending_.refreshAfter || r.refreshAfter;
        pending_.needOpen = pending_.needOpen && r.needOpen;
        pending_.enterHead = pending_.enterHead || r.enterHead;
        return;
    }
    deferred_ = true;
    deferredGen_ = session_->generation();
    pending_ = r;
    session_->whenIdle(this, [this] {
        deferred_ = false;
        runNow(pending_);
    });
}

void FrameTransfers::runNow(Request r) {
    if (run_ || !session_) return;
    browser::ConnectionSession& session = *session_;
    if (session.queue().queue.empty()) return;
    browser::PageOperation op = session.begin();
    if (!op) {
        request(r);
        return;
    }
    if (r.needOpen && !session.isOpen()) return;

    QPointer<FrameTransfers> self(this);
    const unsigned closedBefore = closedCount_;
    frame_.progressStrip()->setVisible(true);
    session.queue().running = true;
    QueueRun::Hooks hooks;
    hooks.taking = [this](std::uint64_t) { updatePopup(); };
    hooks.clockStart = [this] {
        progressSeen_ = false;
        frame_.speedLabel()->setText(QString::fromLatin1(kIdleSpeed));
    };
    hooks.clockStop = [this] { return finishEntryProgress(); };
    QueueRun run(frame_, dm_, *model_, op, hooks);
    run_ = &run;
    const QueueRun::End end = run.run(r.enterHead);
    // The frame (and this engine with it) may be gone after the run's waits.
    if (!self || !op.alive()) return;
    run_ = nullptr;
    const std::uint64_t taken = run.taken();

    QueueState& st = session.queue();
    st.askdup = true;
    st.dupchoice = -1;
    st.running = false;
    resetStrip();
    updatePopup();
    // Closed or shut down: nothing is left to show.
    if (closedCount_ != closedBefore || frame_.isShutDown()) return;
    const bool sameConnection = op.sameConnection();
    if (end == QueueRun::End::Interrupted && !sameConnection && session.userDisconnected()) {
        // "Disconnect" ended it: the page says so already. The entry did not finish.
        if (model_->stateOf(taken) == 0) model_->setEntryState(taken, 1);
        return;
    }
    if (end == QueueRun::End::Failed || end == QueueRun::End::Interrupted) {
        frame_.LogLine(run.endLine().value_or(kStoppedLine), 2);
        model_->setEntryState(taken, 1);
        op.end();
        // "Stop" has reconnected already (or will once this run has unwound).
        if (sameConnection) frame_.AbortOperation();
        frame_.EnableBrowsing(true);
        return;
    }
    if (end == QueueRun::End::Done) run.returnToStart();
    op.end();
    frame_.EnableBrowsing(true);
    // Listing a closed page's folder would connect it again.
    if (r.refreshAfter && end == QueueRun::End::Done && session.isOpen()) frame_.Refresh();
}

// ---------------------------------------------------------------- queue popup

void FrameTransfers::updatePopup() {
    QItemSelectionModel* sel = frame_.queueList()->selectionModel();
    const QueuePopupState p = QueuePopupFor(sel ? model_->selectedIds(*sel) : std::vector<std::uint64_t>{},
                                            takenId());
    const std::pair<const char*, bool> items[] = {
        {"queue/Transfer", p.transfer}, {"queue/Stop", p.stop}, {"queue/Delete", p.del}, {"queue/Clear", p.clear}};
    for (const auto& [name, on] : items)
        if (QAction* a = frame_.action(QString::fromLatin1(name))) a->setEnabled(on);
}

void FrameTransfers::Transfer() {
    // During a run the head is taken already; entering its folder now would
    // be a command inside the run's.
    if (run_) return;
    request(Request{true, false, true});
}

void FrameTransfers::DeleteSelected() {
    QItemSelectionModel* sel = frame_.queueList()->selectionModel();
    if (!sel) return;
    QueueState& st = session_->queue();
    for (std::uint64_t id : DeletableIds(model_->selectedIds(*sel), takenId()))
        if (RemoveQueueEntry(st, id)) model_->entryRemoved(id);
    updatePopup();
}

void FrameTransfers::ClearQueue() {
    QueueState& st = session_->queue();
    for (std::uint64_t id : ClearableIds(st, takenId()))
        if (RemoveQueueEntry(st, id)) model_->entryRemoved(id);
    updatePopup();
}

// ---------------------------------------------------------------- producers on the page

void FrameTransfers::DropLocalFiles(const QStringList& paths, const QByteArray& folderRow) {
    // The folder on screen is where the user dropped; asking the server from
    // inside a drop would run the event loop in the middle of it.
    const std::string target =
        folderRow.isEmpty() ? std::string("0") : browser::joinRemote(session_->currentdir(), folderRow.toStdString());
    QPointer<FrameTransfers> self(this);
    for (const QString& path : paths) {
        const QFileInfo fi(path);
        if (!fi.exists()) {
            ui::error(&frame_, QStringLiteral("Invalid path."));
            if (!self) return;
            continue;
        }
        rupdown e;
        e.direction = 0;
        e.localpath = QDir::toNativeSeparators(fi.absoluteFilePath()).toUtf8().toStdString();
        e.name = LocalLastPart(e.localpath);
        e.remotedir = target;
        e.isfolder = fi.isDir();
        e.size = e.isfolder ? 0 : fi.size();
        enqueue({e});
    }
    if (!running() && session_->isOpen()) requestRun(true, true);
}

void FrameTransfers::Download() {
    std::vector<rdatalist> rows;
    for (int r : frame_.selectedRows())
        if (const rdatalist* row = frame_.remoteModel()->row(r)) rows.push_back(*row);
    if (rows.empty()) return;
    QPointer<FrameTransfers> self(this);
    const unsigned closedBefore = closedCount_;
    const auto asked = AskDownload(rows, session_->currentdir(), ui::dataFile(QStringLiteral("Downloads.dat")), &frame_);
    // A page closed meanwhile has forgotten those rows.
    if (!self || !session_ || closedCount_ != closedBefore) return;
    if (asked) {
        for (const std::string& name : asked->refused) frame_.LogLine(RefusedNameLine(name), 2);
        enqueue(asked->entries);
    }
    if (!session_->queue().queue.empty() && !running()) requestRun(false, false);
}

// ---------------------------------------------------------------- progress

void FrameTransfers::onWorkBegin(std::int64_t max) {
    if (!session_) return;
    QueueState& st = session_->queue();
    if (!st.running) return;
    const std::int64_t now = nowMs();
    st.workstart = now;
    st.idlecount = 0;
    progress_.begin(max, st.resumeat, st.remaining, st.expectedsize, now);
    progressSeen_ = true;
    lastDone_ = 0;
    showProgress(true);
}

void FrameTransfers::onWork(std::int64_t done) {
    if (!session_) return;
    QueueState& st = session_->queue();
    if (!st.running) return;
    st.idlecount = 0;
    lastDone_ = done;
    showProgress(false);
}

void FrameTransfers::showProgress(bool force) {
    const std::int64_t now = nowMs();
    if (!force && now - lastShownMs_ < kRedrawMs) return;
    lastShownMs_ = now;
    const ProgressDisplay d = progress_.work(lastDone_, now);
    QProgressBar* gauge = frame_.progressGauge();
    if (d.busy) {
        gauge->setRange(0, 0);
    } else {
        gauge->setRange(0, d.gaugeMax);
        gauge->setValue(d.gaugePos);
    }
    frame_.progressBox()->setText(QString::fromStdString(d.box));
    if (!d.speed.empty()) frame_.speedLabel()->setText(QString::fromStdString(d.speed));
}

std::string FrameTransfers::finishEntryProgress() {
    // The last figures of the entry, whatever the redraw pace skipped.
    if (progressSeen_) showProgress(true);
    return frame_.speedLabel()->text().toStdString();
}

void FrameTransfers::resetStrip() {
    frame_.speedLabel()->setText(QString::fromLatin1(kIdleSpeed));
    frame_.progressGauge()->setRange(0, 100);
    frame_.progressGauge()->setValue(0);
    frame_.progressStrip()->setVisible(false);
}

}  // namespace transfer
