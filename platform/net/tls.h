#pragma once
// TLS client over an already connected TCP socket: FTP over TLS on the
// control connection and its data connections. Plain C++ without exceptions:
// every call returns a result (TlsError or TlsStep) that the FTP layer turns
// into its own errors.
//
// Two ways to drive it:
//  - step calls (handshakeStep, readStep, writeStep, shutdownStep) never
//    block; WantRead/WantWrite say which socket readiness to wait for before
//    calling again, so a caller can keep its own wait loop;
//  - the waiting calls (handshake, read, writeAll, close) loop over the steps
//    and wait in slices, calling TlsWait::Pump between slices so the message
//    pump runs, with a time-out.
// The socket stays the caller's: this object never closes it, and never
// changes its blocking mode.
//
// A build without TLS (OSTRAFEN_TLS=0, the Windows build for now) has the same
// interface; every call then fails with "TLS is not available in this build."
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/net/socket.h"

namespace net {

// False in a build without TLS.
bool tlsAvailable();

enum class TlsErrc {
    None = 0,
    NotAvailable,  // built without TLS
    Setup,         // the settings were refused (an unreadable trust file)
    Handshake,     // the peer refused or broke the handshake
    Closed,        // the peer closed the TCP connection without a TLS close
    TimedOut,      // a wait reached TlsWait::TimeoutMs
    Cancelled,     // TlsWait::Cancelled said stop (the socket closed under the wait)
    Socket,        // a socket error; SocketError holds its Windows Sockets number
    Protocol,      // a broken record or a fatal alert after the handshake
    State,         // a call that does not fit: data before the handshake, a second start
};

struct TlsError {
    TlsErrc Code = TlsErrc::None;
    int SocketError = 0;
    std::string Message;
    bool ok() const { return Code == TlsErrc::None; }
};

// Outcome of one non-blocking step.
enum class TlsStep {
    Done,       // the step completed (for reads and writes: bytes moved)
    WantRead,   // call again once the socket is readable
    WantWrite,  // call again once the socket has room to send
    Closed,     // the peer ended the stream (see TlsClient::peerClosedCleanly)
    Failed,     // see TlsClient::lastError
};

// A resumable TLS session, shared cheaply between connections. Empty until
// the server has issued one.
class TlsSession {
public:
    bool valid() const { return bool(p_); }

private:
    friend class TlsClient;
    std::shared_ptr<void> p_;
};

enum class TlsVerifyProblem {
    None,              // trusted: chain, dates and host name all fine
    SelfSigned,        // the certificate (or its root) signed itself and is not trusted
    UnknownIssuer,     // no trusted issuer found
    Expired,
    NotYetValid,
    HostNameMismatch,  // trusted, but made out for another name
    Other,             // any other reason; VerifyError says which
};

// What a prompt shows about the server's certificate.
struct TlsCertificateInfo {
    bool Present = false;
    std::string Subject;  // "CN=ftp.example.com,O=Example"
    std::string Issuer;
    std::int64_t NotBefore = 0;  // seconds since 1970-01-01 UTC
    std::int64_t NotAfter = 0;
    std::string NotBeforeText;  // "yyyy-mm-dd hh:mm:ss UTC"
    std::string NotAfterText;
    std::string Sha256Fingerprint;  // upper-case hex pairs joined by ':'
    bool Trusted = false;
    TlsVerifyProblem Problem = TlsVerifyProblem::Other;
    std::string VerifyError;  // the first problem found, as text; empty when trusted
};

struct TlsClientOptions {
    // The server's name as the user typed it: sent as SNI and checked against
    // the certificate. An IP literal is checked as an address and sends no SNI.
    std::string HostName;
    // PEM certificates trusted besides the system's trust store; empty: none.
    std::string ExtraTrustFile;
    // A session to resume: a data connection offers its control connection's.
    TlsSession Resume;
    // Highest protocol to offer; 0 = the highest available.
    int MaxVersion = 0;
};

inline constexpr int kTls12 = 0x0303;
inline constexpr int kTls13 = 0x0304;

// How the waiting calls wait.
struct TlsWait {
    int TimeoutMs = 0;  // longest single wait for the socket; <= 0: no limit
    int SliceMs = 250;  // longest wait before Pump runs again (at least 1)
    // Runs after every slice; idle is true when the slice ended without the
    // socket becoming ready. May run user actions that close the connection
    // (abandon() on the waiting client ends the wait), but must not destroy
    // the waiting client.
    std::function<void(bool idle)> Pump;
    // Asked after every Pump: true ends the call with TlsErrc::Cancelled
    // before the socket is touched again.
    std::function<bool()> Cancelled;
};

class TlsClient {
public:
    TlsClient();
    ~TlsClient();  // frees without a close_notify (as abandon())
    TlsClient(const TlsClient&) = delete;
    TlsClient& operator=(const TlsClient&) = delete;

    // Prepares TLS over the connected socket s; the handshake follows.
    TlsError start(SocketHandle s, const TlsClientOptions& options);

    // Non-blocking steps.
    TlsStep handshakeStep();
    TlsStep readStep(void* data, std::size_t len, std::size_t& got);
    TlsStep writeStep(const void* data, std::size_t len, std::size_t& put);
    // Sends close_notify; Done once it went out.
    TlsStep shutdownStep();
    const TlsError& lastError() const;

    // Waiting calls.
    TlsError handshake(const TlsWait& wait);
    // Bytes read (> 0), 0 when the peer ended the stream, -1 with err set.
    long read(void* data, std::size_t len, const TlsWait& wait, TlsError& err);
    TlsError writeAll(const void* data, std::size_t len, const TlsWait& wait);
    // Collects small writes into full TLS records: an upload in the small
    // pieces of a 2 KiB buffer would otherwise cost a record and a send each.
    // flush() sends what is collected; close() flushes first.
    TlsError writeBuffered(const void* data, std::size_t len, const TlsWait& wait);
    TlsError flush(const TlsWait& wait);
    // Orderly close: flushes, sends close_notify, and with waitForPeer also waits for
    // the peer's. The socket stays open for the caller to close.
    TlsError close(const TlsWait& wait, bool waitForPeer = false);
    // Fast close when the connection is dropped: nothing more is sent (not
    // even collected writes), and the session stays resumable for the other
    // connections.
    void abandon();

    // Decrypted or received bytes wait inside TLS: read before waiting on the
    // socket, which may not become readable again for them.
    bool pending() const;
    bool handshakeDone() const;
    // The peer ended with close_notify (not just a TCP close).
    bool peerClosedCleanly() const;
    // This connection resumed the session it offered.
    bool sessionReused() const;
    std::string protocolName() const;  // "TLSv1.3"
    std::string cipherName() const;
    TlsCertificateInfo peerCertificate() const;
    // The newest session the server issued on this connection (with TLS 1.3
    // it arrives after the handshake, with the first data read), else the
    // handshake's own when it is resumable.
    TlsSession session() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace net
