#include "transfer/queue_run.h"

#include "browser/browser_frame.h"
#include "browser/connection_session.h"
#include "browser/listing_state.h"
#include "browser/remote_list_model.h"
#include "ftp/id_exceptions.h"
#include "platform/ui/dialog_service.h"
#include "transfer/duplicate_dialog.h"
#include "transfer/history_recorder.h"
#include "transfer/local_target.h"
#include "transfer/queue_model.h"
#include "transfer/queue_rules.h"
#include "transfer/remote_listing.h"
#include "transfer/run_progress.h"
#include "transfer/transfer_type.h"
#include "transfer/tree_walk.h"

#include <QCoreApplication>
#include <QDateTime>

#include <chrono>
#include <filesystem>

namespace fs = std::filesystem;

namespace transfer {

namespace {

std::uint64_t steadyMs() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

bool isFolder(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(fs::status(path, ec));
}

bool existsAtAll(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

// "0", and an empty folder from a server that names none, mean the folder
// the run started in.
bool ownFolder(const std::string& remotedir) { return remotedir == "0" || remotedir.empty(); }

// What the duplicate dialog compares for a download: the local target and the remote side.
rtmpinfo downloadSides(const rupdown& e, std::int64_t remoteSize) {
    rtmpinfo info;
    info.path = e.localpath;
    info.remotesize = remoteSize;
    info.remotedate = e.remotedate;
    return info;
}

}  // namespace

QueueRun::QueueRun(Tfb& frame, store::Tdm& dm, QueueModel& model, browser::PageOperation& op, Hooks hooks)
    : frame_(frame), dm_(dm), model_(model), op_(op), hooks_(std::move(hooks)), start_(op.folder()) {}

bool QueueRun::alive() const { return op_.sameConnection() && !frame_.isShutDown(); }

void QueueRun::check() const {
    if (!alive()) throw ERunStopped();
}

browser::ConnectionSession& QueueRun::session() const { return *op_.session(); }

TIdFTP& QueueRun::client() const {
    check();
    return session().client();
}

QueueRun::End QueueRun::run(bool enterHead) {
    QueueState& st = session().queue();
    bool first = true;
    while (true) {
        if (!alive()) return End::Interrupted;
        if (st.queue.empty()) {
            taken_ = 0;
            if (hooks_.taking) hooks_.taking(0);
            return End::Done;
        }
        // A copy: the queue may change under every wait below.
        const rupdown e = st.queue.front();
        taken_ = e.id;
        if (hooks_.taking) hooks_.taking(e.id);
        // A server that hung up after the last entry is noticed only by asking.
        if (!first && st.running && !session().isOpen()) st.running = false;
        first = false;
        if (!alive()) return End::Interrupted;
        if (!st.running) {
            model_.setEntryStatus(e.id, "No connection");
            model_.setEntryState(e.id, 1);
            return End::NoConnection;
        }
        frame_.EnableBrowsing(false);
        QCoreApplication::processEvents();
        if (!alive()) return End::Interrupted;
        if (!st.running) {
            model_.setEntryStatus(e.id, "No connection");
            model_.setEntryState(e.id, 1);
            return End::NoConnection;
        }
        try {
            if (enterHead) {
                enterHead = false;
                enterHeadFolder();
            }
            // Left from an earlier entry, they would scale this entry's gauge.
            st.resumeat = 0;
            st.expectedsize = 0;
            asciiExts_ = LoadAsciiExtensions(dm_);
            if (e.direction == 1)
                download(e);
            else
                upload(e);
        } catch (const ERunStopped&) {
            return End::Interrupted;
        } catch (const std::exception& error) {
            endLine_ = RunEndLogLine(error);
            return alive() ? End::Failed : End::Interrupted;
        }
        if (!alive()) return End::Interrupted;
        RemoveQueueEntry(st, e.id);
        model_.entryRemoved(e.id);
    }
}

void QueueRun::enterHeadFolder() {
    const QueueState& st = session().queue();
    if (st.queue.empty() || ownFolder(st.queue.front().remotedir)) return;
    client().ChangeFolder(st.queue.front().remotedir);
    const std::string now = client().CurrentFolder();
    check();
    frame_.ForgetCached(now);
    moved_ = now != start_;
}

void QueueRun::returnToStart() {
    if (!moved_ || start_.empty() || !alive()) return;
    try {
        client().ChangeFolder(start_);
        moved_ = false;
    } catch (const std::exception&) {
    }
}

std::string QueueRun::enterFolder(const rupdown& e, bool upload) {
    if (ownFolder(e.remotedir)) {
        // "0" is the folder on the page, not wherever an earlier entry left the server.
        if (moved_ && !start_.empty()) {
            client().ChangeFolder(start_);
            check();
            moved_ = false;
        }
        return start_;
    }
    // A relative upload folder starts from the login folder.
    if (upload && !session().initialdir().empty()) {
        client().ChangeFolder(session().initialdir());
        check();
    }
    client().ChangeFolder(e.remotedir);
    check();
    std::string folder = e.remotedir;
    if (folder.front() != '/') {
        folder = client().CurrentFolder();
        check();
    }
    moved_ = folder != start_;
    if (upload) frame_.ForgetCached(folder);
    return folder;
}

const std::vector<RemoteEntry>& QueueRun::listed(const std::string& folder) {
    const auto& entries = listings_.entries(folder, [this] { return FetchRemoteEntries(client()); });
    check();
    return entries;
}

void QueueRun::setType(const std::string& name) {
    client().SetTransferType(ChooseTransferType(session().options().transfermode, ExtensionOf(name), asciiExts_));
    check();
}

void QueueRun::markBusy(const rupdown& e, const char* verb) {
    model_.setEntryStatus(e.id, std::string(verb) + session().options().transfermode + ")");
    model_.setEntryState(e.id, 0);
}

void QueueRun::startClock() {
    QueueState& st = session().queue();
    startMs_ = QDateTime::currentMSecsSinceEpoch();
    startTick_ = steadyMs();
    st.itemstart = startMs_;
    if (hooks_.clockStart) hooks_.clockStart();
}

void QueueRun::finish(const rupdown& e, const std::string& folder, const std::string& newname) {
    check();
    QueueState& st = session().queue();
    FinishedEntry done;
    done.siteid = session().settings().siteid;
    done.newname = newname;
    done.folderRanIn = folder;
    done.startMs = startMs_;
    done.endMs = QDateTime::currentMSecsSinceEpoch();
    done.elapsedms = static_cast<std::int64_t>(steadyMs() - startTick_);
    done.speed = hooks_.clockStop ? hooks_.clockStop() : std::string(kIdleSpeed);
    st.itemend = done.endMs;
    st.elapsedms = done.elapsedms;
    RecordHistory(dm_, e, done);
}

DuplicateAnswer QueueRun::resolve(const rtmpinfo& info, bool isfolder, bool download) {
    RenameRules rules;
    rules.download = download;
    rules.localFolder = LocalFolderPart(info.path);
    if (!download) {
        // The name typed must be free on the server now, not just in this run's memory.
        rules.remoteExists = [this](const std::string& name) {
            rtmpinfo ignored;
            return FindRemoteEntry(FetchRemoteEntries(client()), name, ignored, true) >= 0;
        };
        rules.listing = frame_.listing();
    }
    const DuplicateAnswer answer = ResolveDuplicate(session().queue(), info, isfolder, download,
                                                    [&](const DuplicateView& view) {
                                                        return AskDuplicate(view, rules, &frame_);
                                                    });
    check();
    return answer;
}

WalkContext QueueRun::walkContext() {
    WalkContext c;
    c.log = [this](const std::string& text, int kind) { frame_.LogLine(text, kind); };
    c.stillValid = [this] { return alive(); };
    const std::string mode = session().options().transfermode;
    c.typeFor = [this, mode](const std::string& ext) { return ChooseTransferType(mode, ext, asciiExts_); };
    c.expectSize = [this](std::int64_t size) { session().queue().expectedsize = size; };
    c.processMessages = [] { QCoreApplication::processEvents(); };
    c.errorBox = [this](const std::string& text) { ui::error(&frame_, QString::fromStdString(text)); };
    return c;
}

// ---------------------------------------------------------------- uploads

void QueueRun::upload(const rupdown& e) {
    const std::string folder = enterFolder(e, true);
    markBusy(e, "Uploading...(");
    rtmpinfo info;
    info.path = e.localpath;
    info.localsize = e.size;
    const bool exists = FindRemoteEntry(listed(folder), e.name, info, false) >= 0;
    if (e.isfolder)
        uploadFolder(e, folder, info, exists);
    else
        uploadFile(e, folder, info, exists);
}

void QueueRun::uploadFolder(const rupdown& e, const std::string& folder, rtmpinfo& info, bool exists) {
    std::string target = LocalLastPart(e.localpath), newname;
    bool create = true;
    if (exists) {
        switch (resolve(info, true, false)) {
        case DuplicateAnswer::Rename:
            newname = target = session().queue().newname;
            break;
        case DuplicateAnswer::Overwrite:
            create = false;  // merged into the folder that is there
            break;
        default:
            return;
        }
    }
    // Gone since it was queued: an empty remote folder would pass for the upload.
    if (!isFolder(e.localpath)) throw EIdLocalFileError("The folder " + e.localpath + " does not exist.");
    startClock();
    TIdFTP& ftp = client();
    if (create) {
        ftp.CreateFolder(target);
        check();
        listings_.added(folder, target, RemoteEntry::KindFolder, 0);
    }
    ftp.ChangeFolder(target);
    check();
    frame_.ForgetCached(browser::joinRemote(folder, target));
    UploadTree(ftp, walkContext(), WithSeparator(e.localpath));
    finish(e, folder, newname);
}

void QueueRun::uploadFile(const rupdown& e, const std::string& folder, rtmpinfo& info, bool exists) {
    std::string remoteName = e.name, newname;
    if (exists) {
        switch (resolve(info, false, false)) {
        case DuplicateAnswer::Rename:
            newname = remoteName = session().queue().newname;
            break;
        case DuplicateAnswer::Overwrite:
            break;
        default:
            return;
        }
    }
    setType(e.name);
    startClock();
    client().UploadFromFile(e.localpath, remoteName, false);
    check();
    listings_.added(folder, remoteName, RemoteEntry::KindFile, e.size);
    finish(e, folder, newname);
}

// ---------------------------------------------------------------- downloads

void QueueRun::download(const rupdown& e) {
    const std::string folder = enterFolder(e, false);
    if (e.checkremote) {
        rtmpinfo ignored;
        if (FindRemoteEntry(listed(folder), e.name, ignored, true) < 0) {
            ui::error(&frame_, QStringLiteral("The file %1 was not exists.").arg(browser::fromBytes(e.name)));
            check();
            return;
        }
    }
    markBusy(e, "Downloading...(");
    if (e.isfolder)
        downloadFolder(e, folder);
    else
        downloadFile(e, folder);
}

void QueueRun::downloadFolder(const rupdown& e, const std::string& folder) {
    DownloadMode mode = DownloadMode::New;
    std::string newname;
    if (isFolder(e.localpath)) {
        switch (resolve(downloadSides(e, e.size), true, true)) {
        case DuplicateAnswer::Rename:
            mode = DownloadMode::Rename;
            newname = session().queue().newname;
            break;
        case DuplicateAnswer::Overwrite:
            mode = DownloadMode::Overwrite;
            break;
        default:
            return;
        }
    }
    startClock();
    DownloadTree(client(), walkContext(), e.name, e.localpath, mode, newname);
    finish(e, folder, newname);
}

void QueueRun::downloadFile(const rupdown& e, const std::string& folder) {
    QueueState& st = session().queue();
    // The type first: some servers refuse SIZE in ASCII mode.
    setType(e.name);
    // History and task entries carry no size: the server's figure serves the
    // dialog, the Resume offer and the gauge.
    st.expectedsize = e.size > 0 ? e.size : client().RemoteSize(e.name);
    check();
    std::string target = e.localpath, newname;
    bool overwrite = false, resume = false;
    if (existsAtAll(e.localpath)) {
        switch (resolve(downloadSides(e, st.expectedsize), false, true)) {
        case DuplicateAnswer::Overwrite:
            overwrite = true;
            break;
        case DuplicateAnswer::Resume:
            // The client asks the server to restart at the local file's end ("REST").
            resume = true;
            break;
        case DuplicateAnswer::Rename: {
            newname = st.newname;
            const std::optional<std::string> renamed = LocalTarget(LocalFolderPart(e.localpath), newname);
            if (!renamed) throw EIdLocalFileError(RefusedNameLine(newname));
            target = *renamed;
            break;
        }
        default:
            return;
        }
    }
    startClock();
    client().DownloadToFile(e.name, target, overwrite, resume);
    finish(e, folder, newname);
}

}  // namespace transfer
