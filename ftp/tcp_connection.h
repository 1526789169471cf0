#pragma once
// The TCP layers under the FTP client: the socket layer (TIdIOHandlerSocket),
// the buffered connection with line and reply reading (TIdTCPConnection), the
// connecting client (TIdTCPClient) and the one-shot listener of active data
// connections (TIdSimpleServer). Every blocking wait is cut into slices that
// call the current message pump (ftp/message_pump.h). No Qt here.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ftp/id_exceptions.h"
#include "ftp/message_pump.h"
#include "platform/net/socket.h"
#include "platform/net/stack.h"
#include "platform/net/tls.h"

struct TIdSocksInfo;  // ftp/socks.h

enum TIdStatus {
    StatusResolving = 0,
    StatusConnecting = 1,
    StatusConnected = 2,
    StatusDisconnecting = 3,
    StatusDisconnected = 4,
    StatusText = 5,
    StatusTransferStarting = 6,
    StatusReady = 7,
    StatusAborted = 8,
};

// The text an OnStatus event carries for a kind ("%s" filled with arg).
std::string StatusTextFor(TIdStatus status, const std::string& arg);

enum TWorkMode { WorkRead = 0, WorkWrite = 1 };
enum TIdMaxLineAction { maException, maSplit };

using TIdStatusEvent = std::function<void(void* ASender, TIdStatus AStatus, const std::string& AStatusText)>;
using TNotifyEvent = std::function<void(void* Sender)>;
using TWorkBeginEvent = std::function<void(void* Sender, TWorkMode AWorkMode, std::int64_t AWorkCountMax)>;
using TWorkEvent = std::function<void(void* Sender, TWorkMode AWorkMode, std::int64_t AWorkCount)>;
using TWorkEndEvent = std::function<void(void* Sender, TWorkMode AWorkMode)>;

// One FTP reply: code and the lines without their first four characters.
struct TIdRFCReply {
    int NumericCode = 0;
    std::string TextCode;
    std::vector<std::string> Text;
    // The reply's lines as read (trimmed), codes included: FEAT puts its
    // facts in the first four characters that Text drops.
    std::vector<std::string> RawLines;
    void Clear() {
        NumericCode = 0;
        TextCode.clear();
        Text.clear();
        RawLines.clear();
    }
    // Text lines each followed by CR LF (the message of a refused reply).
    std::string JoinedText() const;
};

// Line log of the control connection.
class TIdLogEvent {
public:
    using TLogItemEvent = std::function<void(void* ASender, const std::string& AText, const std::string& AData)>;
    using TLogStatusEvent = std::function<void(void* ASender, const std::string& AText)>;

    bool Active = true;
    bool LogTime = true;
    bool ReplaceCRLF = true;
    TLogItemEvent OnSent;
    TLogItemEvent OnReceived;
    TLogStatusEvent OnStatus;

    // Called by the connection.
    void Connected();
    void Disconnected();
    void Sent(const char* data, std::size_t len);
    void Received(const char* data, std::size_t len);

    // CR LF -> "<EOL>", then CR -> "<CR>", LF -> "<LF>".
    static std::string ReplaceLineBreaks(const std::string& data);

private:
    std::string timeText() const;
};

// The socket layer: one socket binding plus the SOCKS settings.
class TIdIOHandlerSocket {
public:
    TIdIOHandlerSocket();
    ~TIdIOHandlerSocket();
    TIdIOHandlerSocket(const TIdIOHandlerSocket&) = delete;
    TIdIOHandlerSocket& operator=(const TIdIOHandlerSocket&) = delete;

    TIdSocksInfo& SocksInfo() { return *socks_; }
    const TIdSocksInfo& SocksInfo() const { return *socks_; }
    bool UseNagle = true;
    TIdStatusEvent OnStatus;  // StatusResolving and StatusConnecting only
    int ClientPortMin = 0;
    int ClientPortMax = 0;

    // The binding.
    std::string IP;
    int Port = 0;
    std::string PeerIP;
    int PeerPort = 0;
    bool HandleAllocated() const { return handle_ != net::kInvalidSocket; }
    bool Connected() const { return HandleAllocated(); }
    net::SocketHandle Handle() const { return handle_; }

    // Creates, binds and connects the socket to host:port (through the SOCKS
    // server when one is set), then runs the SOCKS handshake. A name with
    // several addresses (IPv6 and IPv4) is tried address by address while
    // connects are refused. connectTimeoutMs: -1 none given, 0 none. Raises
    // on failure with the socket released.
    void Open(const std::string& host, int port, const std::string& boundIP, int boundPort,
              int connectTimeoutMs);
    // Takes over a socket accepted by a listener.
    void Adopt(net::SocketHandle s);
    // Shuts down sending and releases the socket (TLS is dropped without a
    // close_notify, keeping its session resumable).
    void CloseSocket();
    void ResetBinding();

    // TLS over the connected socket: the handshake, waiting as wait says.
    // Raises EIdTlsError, EIdReadTimeout, EIdSocketError or, when the socket
    // was closed under the wait, EIdConnClosedGracefully; the socket stays
    // for the caller to close.
    void StartTls(const net::TlsClientOptions& options, const net::TlsWait& wait);
    // The TLS layer while this connection speaks TLS, else nullptr.
    net::TlsClient* Tls() { return tlsOn_ ? tls_.get() : nullptr; }
    const net::TlsClient* Tls() const { return tlsOn_ ? tls_.get() : nullptr; }

private:
    net::StackUser stack_;
    std::unique_ptr<TIdSocksInfo> socks_;
    net::SocketHandle handle_ = net::kInvalidSocket;
    bool connecting_ = false;
    bool cancelled_ = false;
    // Kept across closes: a call may still be inside it when the socket is
    // closed under it, so it is only ever abandoned, never destroyed early.
    std::unique_ptr<net::TlsClient> tls_;
    bool tlsOn_ = false;

    void connectTimed(const std::string& ip, int port, int timeoutMs);
    void bindLocal(const std::string& boundIP, int boundPort);
    void connectTo(const std::string& ip, int port, int connectTimeoutMs);
};

// The exception for a failed TLS call (TlsErrc -> EIdException family).
[[noreturn]] void RaiseTlsError(const net::TlsError& error);

// A buffered TCP connection: reading bytes, lines and replies, sending,
// closing, noticing a peer close, progress counting.
class TIdTCPConnection {
public:
    TIdTCPConnection();
    virtual ~TIdTCPConnection();
    TIdTCPConnection(const TIdTCPConnection&) = delete;
    TIdTCPConnection& operator=(const TIdTCPConnection&) = delete;

    int ReadTimeout = 0;            // ms, 0 = no limit
    int RecvBufferSize = 32768;     // <= 0 means the default
    int SendBufferSize = 32768;     // <= 0 means the default
    int MaxLineLength = 16384;
    TIdMaxLineAction MaxLineAction = maException;
    TIdLogEvent* Intercept = nullptr;  // not owned

    // The socket layer; created on first use when none was supplied (and
    // given a copy of OnStatus then). A supplied one is not owned.
    TIdIOHandlerSocket* IOHandler();
    void SetIOHandler(TIdIOHandlerSocket* handler);

    TIdStatusEvent OnStatus;
    TNotifyEvent OnDisconnected;
    TWorkBeginEvent OnWorkBegin;
    TWorkEvent OnWork;
    TWorkEndEvent OnWorkEnd;

    bool IsOpen();
    virtual void ProbePeerClosed(bool raiseIfClosed);
    virtual void CloseConnection();
    void CheckForDisconnect(bool raiseIfDisconnected = true, bool ignoreBuffer = false);

    // One socket read into the input buffer; -1 on a timeout without raise.
    // timeout -1 = ReadTimeout (0 there = no limit), -2 = no limit.
    long ReadFromStack(bool raiseIfDisconnected = true, int timeout = -1, bool raiseOnTimeout = true);
    std::string ReadLn(char terminator = '\n', int timeout = -1, int maxLength = -1);
    // Reads one reply into the last reply; raises EIdProtocolReplyError when
    // accepted is not empty and the code is not in it. A reply cut short by
    // a time-out or an over-long line closes the connection: what is left of
    // it would otherwise answer the next command.
    int GetResponse(const std::vector<int>& accepted);
    // Sends the line and CR LF; a line holding CR, LF or NUL raises
    // EIdInvalidCommandText before anything is sent.
    void WriteLn(const std::string& line);
    static bool IsSingleLine(const std::string& text);
    void WriteBuffer(const void* data, std::size_t len);
    int SendCmd(const std::string& line, const std::vector<int>& accepted);

    // Copies everything until the peer closes into sink, in chunks of at
    // most RecvBufferSize; each chunk counts as WorkRead work. With a
    // ReadTimeout, a connection that moves no byte for that long raises
    // EIdReadTimeout. A connection the local stack aborts raises its error.
    void ReadUntilClose(const std::function<void(const char*, std::size_t)>& sink);
    // Sends FIN after what is queued but keeps the socket, so that the
    // peer's progress in taking the data can still be watched.
    void ShutdownSending();
    // Bytes still in this side's send queue; -1 when the system cannot tell.
    long PendingSendBytes();

    // FTP over TLS on this connection: the handshake (waits as every read
    // does: ReadTimeout, pump slices). Raises as TIdIOHandlerSocket::StartTls.
    void StartTls(const net::TlsClientOptions& options);
    // Whether the connection speaks TLS now.
    bool TlsActive() const { return handler_ && handler_->Tls(); }
    // With TLS, collect written bytes into full records (uploads); commands
    // go out at once. FinishWrites sends what is collected and ends TLS with
    // close_notify (the socket stays open).
    bool CollectWrites = false;
    void FinishWrites();

    const TIdRFCReply& LastCmdResult() const { return lastReply_; }
    const TIdRFCReply& Greeting() const { return greeting_; }
    int NumericCode() const { return lastReply_.NumericCode; }
    const std::string& TextCode() const { return lastReply_.TextCode; }
    const std::vector<std::string>& Text() const { return lastReply_.Text; }
    std::size_t InputBufferSize() const { return inBuf_.size() - inPos_; }

    void BeginWork(TWorkMode mode, std::int64_t max = 0);
    void DoWork(TWorkMode mode, std::int64_t count);
    void EndWork(TWorkMode mode);

    int EffectiveRecvBufferSize() const;
    int EffectiveSendBufferSize() const;

protected:
    void DoStatus(TIdStatus status, const std::string& arg = {});
    void ResetForConnect();
    void CloseSocketQuietly();  // as after a failed connect: no events
    void SetGreetingFromLastReply() { greeting_ = lastReply_; }
    bool OwnsHandler() const { return ownHandler_ != nullptr; }
    TIdRFCReply& MutableLastReply() { return lastReply_; }
    // Waits for readability in pump slices; true when data (or a close) is there.
    bool WaitForData(int timeoutMs);
    // Calls the pump (not idle), at most once per IdleTimeOut on the fast path.
    void PumpThrottled();
    // Called with every reply read, before its code is checked.
    virtual void AfterReply() {}
    // Data waits to be read: in the input buffer, inside TLS, or on the socket.
    bool InputReadyNow();
    // The socket layer when there is one (never creates it).
    const TIdIOHandlerSocket* ExistingIOHandler() const { return handler_; }
    // A multi-line reply ends only at its code followed by a blank (FEAT,
    // whose feature lines may be shorter than four characters).
    bool StrictMultiLineReplies = false;

private:
    std::unique_ptr<TIdIOHandlerSocket> ownHandler_;
    TIdIOHandlerSocket* handler_ = nullptr;
    std::string inBuf_;
    std::size_t inPos_ = 0;
    std::size_t lineSearchPos_ = 0;
    bool closedByPeer_ = false;
    TIdRFCReply lastReply_;
    TIdRFCReply greeting_;
    struct Work {
        int level = 0;
        std::int64_t max = 0;
        std::int64_t count = 0;
    } work_[2];
    std::uint64_t lastPumpTick_ = 0;
    unsigned pumpSkip_ = 0;
    bool wasOpen_ = false;  // open since the last connect began: a close is then "closed", not "never connected"
    std::vector<char> recvChunk_;

    // What the last TLS read waits for: 0 nothing (bytes TLS holds may be
    // read at once), 'r' more bytes from the socket, 'w' room to send.
    char tlsBlockedOn_ = 0;
    bool tlsReadable();

    void closeSocketInternal();
    void consumeInput(std::size_t n);
    net::TlsWait tlsWait();
    [[noreturn]] void failTls(const net::TlsError& e);
    // One TLS read step: bytes (> 0), 0 at the end, -1 with err (a socket
    // error), -2 when nothing is there yet. Raises for TLS errors.
    long tlsRead(char* buf, std::size_t len, int& err);
};

// Adds the target and the connect.
class TIdTCPClient : public TIdTCPConnection {
public:
    std::string Host;
    int Port = 0;
    std::string BoundIP;
    int BoundPort = 0;
    TNotifyEvent OnConnected;

    // connectTimeoutMs: -1 none given (120000 ms when a pump is active), 0 none.
    void Connect(int connectTimeoutMs = -1);
};

// One-shot listener for an active-mode data connection; once the server has
// connected it is that connection.
class TIdSimpleServer : public TIdTCPConnection {
public:
    std::string BoundIP;
    int BoundPort = 0;
    int AcceptWait = 1000;  // ms per wait slice
    int ListenQueue = 15;
    // Called after every wait slice without a connection; may throw to end
    // the wait (the owner watches its control connection there). A
    // connection that is pending when it returns is accepted.
    std::function<void()> OnAcceptSlice;

    // Binds and listens; the chosen address is then in IOHandler()->IP/Port.
    void BeginListen();
    // Waits without overall limit for the server's connection (pumping every
    // slice), accepts it and closes the listener. A listener closed under the
    // wait ends it with EIdConnClosedGracefully.
    void Listen();
    // Closes the listener (not an accepted connection).
    void AbortListen();
    // Whether the server's connection is waiting to be accepted.
    bool ConnectionPending();
    void CloseConnection() override;
    bool Listening() const { return listener_ != net::kInvalidSocket; }

    ~TIdSimpleServer() override;

private:
    net::SocketHandle listener_ = net::kInvalidSocket;
    bool aborted_ = false;
};
