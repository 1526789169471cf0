#pragma once
// The connection of one browser page, without widgets: the FTP client with
// its settings and line log, the connect-retry and anti-idle timers, the
// reconnect after "Abort operation", the page's queue state, and the gate
// every operation of the page passes.
//
// Everything runs on the user-interface thread, and every network call, box
// and dialog runs the event loop: user actions and timers run inside other
// operations. The gate keeps them apart:
//
//   auto op = session.begin();          // refused while the page is busy
//   if (!op) return;                    // (or session.whenIdle(...) to wait)
//   ... a box, a network call ...       // timers stay quiet meanwhile
//   if (!op.still()) return;            // same page, connection and folder?
//
// Keep names or copies across a wait, never row numbers or references into
// the listing. The generation changes when the user disconnects, when the
// page is closed and when a new connection is opened; an operation that
// sees another generation stops without touching the page.
#include "browser/connect_settings.h"
#include "browser/queue_state.h"

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QTimer;
class QWidget;
class TIdFTP;
class TIdIOHandlerSocket;
class TIdLogEvent;
class EIdTlsCertificateRejected;

namespace net {
struct TlsCertificateInfo;
}

namespace browser {

class QtMessagePump;
class ConnectionSession;

// What LoadOptions gives a page.
struct PageOptions {
    bool antiidle = true;                   // "Enabled anti-idle": off, no keep-alive command is sent
    std::vector<std::string> antiidlecmds;  // enabled keep-alive commands, table order
    int antiidleinterval = 0;               // idle seconds before one is sent; <= 0 never
    std::string transfermode;               // "auto", "ascii" or "binary"
    int recvb = 2048, sendb = 1024;         // socket buffer sizes
};

// One admitted operation of a page. The page counts as busy while it lives.
class PageOperation {
public:
    PageOperation() = default;
    PageOperation(PageOperation&& other) noexcept;
    PageOperation& operator=(PageOperation&& other) noexcept;
    PageOperation(const PageOperation&) = delete;
    PageOperation& operator=(const PageOperation&) = delete;
    ~PageOperation();

    // False for a refused operation (and after end()).
    explicit operator bool() const { return admitted_; }

    // The session still exists (its page was not destroyed).
    bool alive() const { return !session_.isNull(); }
    // Alive, and the connection is the one the operation started with.
    bool sameConnection() const;
    // The same connection, and the server is still in the operation's folder.
    bool still() const;
    // The remote folder the operation belongs to (the one on screen when it began).
    const std::string& folder() const { return folder_; }
    unsigned generation() const { return generation_; }
    ConnectionSession* session() const { return session_.data(); }

    // The operation itself moved the server on purpose (entered a folder):
    // the folder shown now is the one it works in. Nothing on another connection.
    void follow();
    // Ends the operation before its scope does.
    void end();

private:
    friend class ConnectionSession;
    // The session opened a new connection for this operation.
    void adopt();
    QPointer<ConnectionSession> session_;
    unsigned generation_ = 0;
    std::string folder_;
    bool admitted_ = false;
};

class ConnectionSession : public QObject {
    Q_OBJECT
public:
    explicit ConnectionSession(QObject* parent = nullptr);
    ~ConnectionSession() override;

    // --- settings ---------------------------------------------------------
    // Also logs the settings' notes; settings with a refusal never connect
    // (openConnection logs the refusal instead).
    void setSettings(const ConnectSettings& settings);
    const ConnectSettings& settings() const { return settings_; }
    // LoadOptions: keep-alive commands, transfer mode, buffer sizes; the idle
    // count starts again.
    void setOptions(const PageOptions& options);
    const PageOptions& options() const { return options_; }

    // --- state ------------------------------------------------------------
    TIdFTP& client() { return *client_; }
    // The control connection is up: from the client's OnConnected until its
    // OnDisconnected or a disconnect. The page's tab image shows this.
    bool connected() const { return connected_; }
    // How the open connection is protected, for the page's tab: "Encrypted
    // (TLSv1.3)", "Not encrypted"; empty while no login has succeeded.
    const std::string& encryptionState() const { return encryption_; }
    // Asks the client; a server that went away is noticed here.
    bool isOpen();
    // The user's "Disconnect" was the last word (the button offers "connect").
    bool userDisconnected() const { return userDisconnected_; }
    void setUserDisconnected(bool on);
    unsigned generation() const { return generation_; }
    int busyCount() const { return busy_; }
    bool idle() const { return busy_ == 0; }
    // The remote folder shown (last PWD) and the folder right after login.
    const std::string& currentdir() const { return currentdir_; }
    void setCurrentdir(const std::string& dir) { currentdir_ = dir; }
    const std::string& initialdir() const { return initialdir_; }
    QueueState& queue() { return queue_; }
    QTimer* retryTimer() const { return retryTimer_; }
    QTimer* antiIdleTimer() const { return antiIdleTimer_; }

    // --- the gate ---------------------------------------------------------
    // Admits an operation when the page is idle; a refused one otherwise.
    PageOperation begin();
    // Runs `fn` as soon as the page is idle (on the next turn of the event
    // loop when it is idle now), unless `context` is gone by then. Requests
    // still waiting when the user disconnects or the page is closed are
    // dropped: they belonged to that connection.
    void whenIdle(QObject* context, std::function<void()> fn);
    // What the page does once a connection is open (a retry, or the
    // reconnect after "Abort operation"): the frame lists `currentdir`. Runs
    // inside the operation that connected.
    std::function<void(PageOperation&)> afterConnect;

    // --- connecting (the caller holds `op`) ------------------------------
    // One attempt: logs "Connecting <host>", opens and logs in, then reads
    // currentdir and initialdir. A failure is logged with the retry line and
    // arms the retry timer; a refusal about encryption (a certificate the
    // user did not accept or that changed, TLS the site requires and the
    // server refuses) is logged and not retried: the next attempt would meet
    // the same answer. True when the page is connected afterwards.
    bool openConnection(PageOperation& op);
    // For an operation that needs the connection: a closed client is opened
    // again and the server sent back to the operation's folder before the
    // operation acts there. False (with a log line) when that fails.
    bool reconnectInFolder(PageOperation& op);

    // --- the user's commands ---------------------------------------------
    // "Disconnect": log line, retry off, a run stops, connection closed.
    void disconnectByUser();
    // "Abort operation": ABOR and a fresh connection, at once or as soon as
    // the operation running now has unwound.
    void abort();
    // The page is closed: timers off, connection closed, queue emptied,
    // folders forgotten; it can be opened again later.
    void closePage();
    void stopTimers();
    void closeConnection();  // without QUIT, errors ignored
    // The main window is closing: no more line log, no more message pumping.
    void stopPumping();

    void LogLine(const std::string& text, int kind);
    // What the log shows of a sent line: a password as asterisks.
    static std::string loggedCommand(const std::string& data);
    // Logs a failure of the page's own commands: a refused reply as
    // "code:text", anything else by its message. A read time-out closes the
    // connection: a late reply would be taken for the next command's.
    void reportFailure(const std::exception& e);

signals:
    // The page was closed: its queue is empty now.
    void closed();
    // A line for the page's log (kind 0 sent, 1 received, 2 error or status)
    // and raw sent or received data to be split into lines.
    void logLine(const std::string& text, int kind);
    void logText(const std::string& data, int kind);
    // connected(), userDisconnected() or the retry state changed.
    void stateChanged();
    // The connection was lost (StatusDisconnected): a run stops at its next
    // entry, browsing goes off.
    void connectionLost();
    // The last running operation has ended.
    void becameIdle();

private:
    friend class PageOperation;
    void endOperation();
    void runWaiting();
    void newGeneration();
    void armRetry();
    void retryTick();
    void antiIdleTick();
    void reconnectAfterAbort();
    void readFolders();
    void onConnected();
    void onDisconnected();
    void setConnected(bool on);
    // OpenConnection with the failure handling openConnection describes.
    bool attemptOpen(PageOperation& op);
    void noteEncryption();
    // The certificate question (OnVerifyCertificate); runs the event loop.
    TIdTlsTrust askCertificate(const net::TlsCertificateInfo& cert);
    void refuseCertificate(const EIdTlsCertificateRejected& e);
    QWidget* pageWidget() const;

    struct Waiting {
        QPointer<QObject> context;
        std::function<void()> fn;
    };

    std::unique_ptr<TIdIOHandlerSocket> io_;
    std::unique_ptr<TIdLogEvent> logEvent_;
    std::unique_ptr<TIdFTP> client_;
    std::shared_ptr<QtMessagePump> pump_;
    ConnectSettings settings_;
    PageOptions options_;
    QueueState queue_;
    QTimer* retryTimer_ = nullptr;
    QTimer* antiIdleTimer_ = nullptr;
    std::vector<Waiting> waiting_;
    std::string currentdir_, initialdir_;
    std::string encryption_;
    unsigned generation_ = 0;
    int busy_ = 0;
    bool connected_ = false;
    bool userDisconnected_ = false;
    bool waitingScheduled_ = false;
};

}  // namespace browser
