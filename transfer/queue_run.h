#pragma once
// One run of a page's queue: takes the entry at the head, moves it (upload or
// download, file or folder tree, after asking about an existing target),
// files it in the history and removes it, until the queue is empty or an
// entry fails. The caller holds the page's operation for the whole run;
// everything the run keeps across a wait is a copy or an id.
#include "browser/queue_entry.h"
#include "transfer/duplicate_resolution.h"
#include "transfer/run_listings.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class Tfb;
class TIdFTP;

namespace browser {
class PageOperation;
class ConnectionSession;
}
namespace store {
class Tdm;
}

namespace transfer {

class QueueModel;
struct WalkContext;

class QueueRun {
public:
    enum class End {
        Done,          // the queue is empty
        NoConnection,  // the connection was gone before the head entry
        Failed,        // an entry failed on a connection that is still the page's
        Interrupted,   // the page changed under the run (disconnect, abort, close)
    };
    struct Hooks {
        // The run took this entry (0: none any more).
        std::function<void(std::uint64_t id)> taking;
        // An entry's clock starts and stops; stop returns the speed text shown.
        std::function<void()> clockStart;
        std::function<std::string()> clockStop;
    };

    QueueRun(Tfb& frame, store::Tdm& dm, QueueModel& model, browser::PageOperation& op, Hooks hooks);

    // enterHead ("Transfer"): the server enters the head entry's folder first.
    End run(bool enterHead = false);
    // Back to the folder shown on the page when the run began, if an entry
    // left the server elsewhere; errors are ignored.
    void returnToStart();

    std::uint64_t taken() const { return taken_; }
    // The kind-2 line that tells why the run ended, when it failed.
    const std::optional<std::string>& endLine() const { return endLine_; }

private:
    // False once the page was closed, disconnected, aborted or shut down.
    bool alive() const;
    void check() const;
    TIdFTP& client() const;
    browser::ConnectionSession& session() const;

    void enterHeadFolder();
    // Moves the server to the entry's folder; the folder it ran in.
    std::string enterFolder(const rupdown& e, bool upload);
    void upload(const rupdown& e);
    void download(const rupdown& e);
    void uploadFolder(const rupdown& e, const std::string& folder, rtmpinfo& info, bool exists);
    void uploadFile(const rupdown& e, const std::string& folder, rtmpinfo& info, bool exists);
    void downloadFolder(const rupdown& e, const std::string& folder);
    void downloadFile(const rupdown& e, const std::string& folder);

    DuplicateAnswer resolve(const rtmpinfo& info, bool isfolder, bool download);
    const std::vector<RemoteEntry>& listed(const std::string& folder);
    void setType(const std::string& name);
    WalkContext walkContext();
    void markBusy(const rupdown& e, const char* verb);
    void startClock();
    void finish(const rupdown& e, const std::string& folder, const std::string& newname);

    Tfb& frame_;
    store::Tdm& dm_;
    QueueModel& model_;
    browser::PageOperation& op_;
    Hooks hooks_;
    RunListings listings_;
    std::vector<std::string> asciiExts_;
    std::string start_;       // the folder shown when the run began
    bool moved_ = false;      // the server may be elsewhere now
    std::uint64_t taken_ = 0;
    std::int64_t startMs_ = 0;
    std::uint64_t startTick_ = 0;
    std::optional<std::string> endLine_;
};

}  // namespace transfer
