#pragma once
// The transfer engine of one browser page: owns the queue list's model,
// answers the page's queue popup, the drop of local files onto the remote
// list and "Download...", drives the progress strip, and runs the queue.
//
// Every producer of queue entries goes through this object, and every run
// starts through requestRun() (the page's StartRun() and the frame's own
// controls land there too):
//
//   auto* engine = transfer::FrameTransfers::of(frame);   // the page's engine
//   std::vector<rupdown> entries = ...;                   // localpath built with LocalTarget()
//   engine->enqueue(entries);                             // skips entries already queued
//   engine->requestRun(/*refreshAfter=*/true, /*needOpenClient=*/true);
//
// requestRun() returns at once when a run is going (that run takes the new
// entries) and defers the run while another operation of the page is under
// way (a listing, a delete walk, an export): it starts as soon as the page is
// idle. A run, like every operation of the page, holds the page's gate, so
// nothing else of that page talks to the server meanwhile.
#include "browser/browser_frame.h"
#include "browser/queue_entry.h"
#include "transfer/run_progress.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <cstdint>
#include <string>
#include <vector>

namespace store {
class Tdm;
}

namespace transfer {

class QueueModel;
class QueueRun;

class FrameTransfers : public QObject, public browser::QueueRunner {
    Q_OBJECT
public:
    // Installs itself as the frame's queue runner and queue model, and
    // answers the frame's queue signals. A child of the frame.
    FrameTransfers(Tfb& frame, store::Tdm& dm);
    ~FrameTransfers() override;

    // The engine installed on a frame, or nullptr.
    static FrameTransfers* of(Tfb* frame);

    // --- producers --------------------------------------------------------
    // Appends each entry that is not queued yet (same name, localpath and
    // remotedir), in order; the ids given to those appended. Download
    // entries must name a local path made by LocalTarget(): nothing checks
    // it again here.
    std::vector<std::uint64_t> enqueue(const std::vector<rupdown>& entries);
    // Appends without that check (task runs queue every item).
    std::uint64_t enqueueAlways(const rupdown& entry);

    // --- the run protocol -------------------------------------------------
    // Starts a run of the queue from its head. refreshAfter: list the shown
    // folder again once the run has ended normally (not after the download
    // dialog). needOpenClient: start only when the page is connected (drops,
    // the local pane's "Upload", history and task runs).
    void requestRun(bool refreshAfter, bool needOpenClient = false);
    void startRun(bool refreshAfter) override { requestRun(refreshAfter, false); }
    // A run is under way on this page.
    bool running() const { return run_ != nullptr; }
    // The entry the run has taken (0: none); "Delete" and "Clear" spare it.
    std::uint64_t takenId() const;

    QueueModel& model() { return *model_; }

    // --- the page's controls (tests press them here) ----------------------
    // Queue popup "Transfer": enters the head entry's folder, then runs.
    void Transfer();
    void DeleteSelected();
    void ClearQueue();
    // Local files or folders dropped on the remote list; folderRow is the
    // folder row they were dropped on (empty: no row or a file row).
    void DropLocalFiles(const QStringList& paths, const QByteArray& folderRow);
    // "Download...": the download dialog for the selected remote rows.
    void Download();

private:
    struct Request {
        bool refreshAfter = false;
        bool needOpen = true;
        bool enterHead = false;
    };
    void request(Request r);
    void runNow(Request r);
    void updatePopup();
    void onWorkBegin(std::int64_t max);
    void onWork(std::int64_t done);
    void showProgress(bool force);
    std::string finishEntryProgress();
    void resetStrip();

    Tfb& frame_;
    store::Tdm& dm_;
    QPointer<browser::ConnectionSession> session_;
    QueueModel* model_ = nullptr;
    std::uint64_t nextId_ = 1;
    QueueRun* run_ = nullptr;
    // A run waiting for the page to become idle, and the connection it was
    // asked on (a disconnect drops the waiting request).
    bool deferred_ = false;
    unsigned deferredGen_ = 0;
    Request pending_;
    unsigned closedCount_ = 0;

    TransferProgress progress_;
    std::int64_t lastDone_ = 0;
    std::int64_t lastShownMs_ = 0;
    bool progressSeen_ = false;
};

}  // namespace transfer
