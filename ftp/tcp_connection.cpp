#include "ftp/tcp_connection.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "ftp/socks.h"
#include "platform/net/connect_worker.h"
#include "platform/net/local_time.h"
#include "platform/net/socket_errors.h"
#include "platform/net/tick.h"

namespace {

constexpr int kDefaultBufferSize = 32768;
constexpr int kConnectSliceMs = 125;
constexpr int kDefaultPumpConnectMs = 120000;
// Copy loops look at the clock only every so many chunks: at 2 KiB a chunk
// a clock read costs as much as the rest of the chunk's bookkeeping.
constexpr unsigned kPumpCheckEvery = 16;

bool isBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string trimmed(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && isBlankOrControl(s[b])) ++b;
    while (e > b && isBlankOrControl(s[e - 1])) --e;
    return s.substr(b, e - b);
}

bool parseInt(const std::string& s, int& out) {
    if (s.empty()) return false;
    std::size_t i = (s[0] == '-' || s[0] == '+') ? 1 : 0;
    if (i == s.size()) return false;
    long long v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
        if (v > 2147483648LL) return false;
    }
    if (s[0] == '-') v = -v;
    if (v > 2147483647LL || v < -2147483648LL) return false;
    out = static_cast<int>(v);
    return true;
}

bool startsWithNoCase(const std::string& s, const std::string& prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char a = s[i], b = prefix[i];
        if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 32);
        if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 32);
        if (a != b) return false;
    }
    return true;
}

} // namespace

std::string StatusTextFor(TIdStatus status, const std::string& arg) {
    switch (status) {
    case StatusResolving: return "Resolving hostname " + arg + ".";
    case StatusConnecting: return "Connecting to " + arg + ".";
    case StatusConnected: return "Connected.";
    case StatusDisconnecting: return "Disconnecting.";
    case StatusDisconnected: return "Disconnected.";
    default: return arg;
    }
}

EIdSocketError::EIdSocketError(int code) : EIdException(MessageFor(code)), code_(code) {}

std::string EIdSocketError::MessageFor(int code) {
    return "Socket Error # " + std::to_string(code) + "\r\n" + net::socketErrorText(code);
}

std::string TIdRFCReply::JoinedText() const {
    std::string s;
    for (const auto& l : Text) s += l + "\r\n";
    return s;
}

// ---------------------------------------------------------------- line log

std::string TIdLogEvent::timeText() const {
    if (!LogTime) return {};
    std::tm tm = net::localTime(std::time(nullptr));
    char buf[64];
    std::strftime(buf, sizeof buf, "%x %X", &tm);
    return buf;
}

std::string TIdLogEvent::ReplaceLineBreaks(const std::string& data) {
    std::string out;
    out.reserve(data.size() + 16);
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (data[i] == '\r' && i + 1 < data.size() && data[i + 1] == '\n') {
            out += "<EOL>";
            ++i;
        } else if (data[i] == '\r') {
            out += "<CR>";
        } else if (data[i] == '\n') {
            out += "<LF>";
        } else {
            out += data[i];
        }
    }
    return out;
}

void TIdLogEvent::Connected() {
    if (Active && OnStatus) OnStatus(this, "Connected.");
}

void TIdLogEvent::Disconnected() {
    if (Active && OnStatus) OnStatus(this, "Disconnected.");
}

void TIdLogEvent::Sent(const char* data, std::size_t len) {
    if (!Active || !OnSent) return;
    std::string d(data, len);
    OnSent(this, timeText(), ReplaceCRLF ? ReplaceLineBreaks(d) : d);
}

void TIdLogEvent::Received(const char* data, std::size_t len) {
    if (!Active || !OnReceived) return;
    std::string d(data, len);
    OnReceived(this, timeText(), ReplaceCRLF ? ReplaceLineBreaks(d) : d);
}

// ------------------------------------------------------------ socket layer

TIdIOHandlerSocket::TIdIOHandlerSocket() : socks_(std::make_unique<TIdSocksInfo>()) {}

TIdIOHandlerSocket::~TIdIOHandlerSocket() { CloseSocket(); }

void TIdIOHandlerSocket::ResetBinding() {
    IP.clear();
    Port = 0;
    PeerIP.clear();
    PeerPort = 0;
}

void TIdIOHandlerSocket::Adopt(net::SocketHandle s) {
    CloseSocket();
    tlsOn_ = false;
    handle_ = s;
    std::uint16_t p = 0;
    if (net::localAddress(s, IP, p) == 0) Port = p;
    if (net::peerAddress(s, PeerIP, p) == 0) PeerPort = p;
}

void TIdIOHandlerSocket::CloseSocket() {
    if (tls_) tls_->abandon();
    tlsOn_ = false;
    if (handle_ == net::kInvalidSocket) return;
    net::SocketHandle h = handle_;
    handle_ = net::kInvalidSocket;
    if (connecting_) {
        // A worker thread is inside connect() on this socket: wake it; Open
        // releases the socket once the worker is done.
        net::shutdownBoth(h);
        cancelled_ = true;
        return;
    }
    net::shutdownSend(h);
    net::closeSocket(h);
}

void TIdIOHandlerSocket::bindLocal(const std::string& boundIP, int boundPort) {
    if (ClientPortMax < ClientPortMin) throw EIdInvalidPortRange(ClientPortMin, ClientPortMax);
    if (ClientPortMin != 0 || ClientPortMax != 0) {
        for (int p = ClientPortMin; p <= ClientPortMax; ++p)
            if (net::bindSocket(handle_, boundIP, static_cast<std::uint16_t>(p)) == 0) return;
        throw EIdCanNotBindPortInRange(ClientPortMin, ClientPortMax);
    }
    if (boundIP.empty() && boundPort == 0) return;
    int e = net::bindSocket(handle_, boundIP, static_cast<std::uint16_t>(boundPort));
    if (e == net::kErrAddrInUse) throw EIdCouldNotBindSocket();
    if (e != 0) throw EIdSocketError(e);
}

void TIdIOHandlerSocket::connectTimed(const std::string& ip, int port, int timeoutMs) {
    connecting_ = true;
    cancelled_ = false;
    net::SocketHandle h = handle_;
    int err = 0;
    bool timedOut = false;
    bool released = false;
    {
        net::ConnectWorker worker(h, ip, static_cast<std::uint16_t>(port));
        const std::uint64_t deadline = net::tickCount64() + static_cast<std::uint64_t>(timeoutMs);
        while (!worker.finished()) {
            int slice = kConnectSliceMs;
            int idle = TIdAntiFreeze::IdleSlice();
            if (idle > 0 && idle < slice) slice = idle;
            std::uint64_t now = net::tickCount64();
            if (now >= deadline) {
                timedOut = true;
                break;
            }
            slice = static_cast<int>(std::min<std::uint64_t>(static_cast<std::uint64_t>(slice), deadline - now));
            if (worker.waitFor(slice)) break;
            TIdAntiFreeze::DoProcess(true);
            if (cancelled_) break;
        }
        if (!worker.finished()) worker.cancel();
        worker.join();
        err = worker.error();
        released = worker.released();
    }
    connecting_ = false;
    if (cancelled_) {
        // Closed from inside the pump while connecting.
        if (!released) net::closeSocket(h);
        cancelled_ = false;
        throw EIdClosedSocket();
    }
    if (timedOut && err == 0) {
        // The connect won the race against the deadline; keep it.
        timedOut = false;
    }
    if (released) handle_ = net::kInvalidSocket;
    if (timedOut) {
        CloseSocket();
        throw EIdConnectTimeout();
    }
    if (released) throw EIdConnectTimeout();
    if (err != 0 && err != net::kErrBadFile && err != net::kErrNotSocket)
        throw EIdConnectException(EIdSocketError::MessageFor(err), err);
}

void TIdIOHandlerSocket::connectTo(const std::string& ip, int port, int connectTimeoutMs) {
    if (!UseNagle) net::setNoDelay(handle_, true);
    if (OnStatus) OnStatus(this, StatusConnecting, StatusTextFor(StatusConnecting, ip));
    if (!HandleAllocated()) throw EIdClosedSocket();
    if (port < 0 || port > 65535) throw EIdSocketError(10049);
    int timeout = connectTimeoutMs;
    if (timeout == -1 || timeout == 0) timeout = TIdAntiFreeze::ActiveHere() ? kDefaultPumpConnectMs : 0;
    if (timeout > 0) {
        connectTimed(ip, port, timeout);
    } else {
        const int err = net::connectSocket(handle_, ip, static_cast<std::uint16_t>(port));
        if (err != 0) throw EIdConnectException(EIdSocketError::MessageFor(err), err);
    }
}

void TIdIOHandlerSocket::Open(const std::string& host, int port, const std::string& boundIP, int boundPort,
                              int connectTimeoutMs) {
    if (HandleAllocated()) throw EIdAlreadyConnected();
    ResetBinding();
    tlsOn_ = false;
    try {
        const bool viaSocks = socks_->Version != svNoSocks;
        const std::string target = viaSocks ? socks_->Host : host;
        const int targetPort = viaSocks ? socks_->Port : port;

        int err = 0;
        handle_ = net::createTcpSocket(err);
        if (handle_ == net::kInvalidSocket) throw EIdInvalidSocket();
        bindLocal(boundIP, boundPort);

        std::uint32_t lit;
        const bool bracketed = target.size() > 2 && target.front() == '[' && target.back() == ']';
        const bool literal = net::parseIPv4Literal(target, lit) ||
                             net::isIPv6Literal(bracketed ? target.substr(1, target.size() - 2) : target);
        if (!literal && OnStatus)
            OnStatus(this, StatusResolving, StatusTextFor(StatusResolving, target));
        std::vector<std::string> addresses;
        err = net::resolveHost(target, addresses);
        if (err != 0) throw EIdSocketError(err);
        if (!HandleAllocated()) throw EIdClosedSocket();
        for (std::size_t i = 0; i < addresses.size(); ++i) {
            const std::string& ip = addresses[i];
            if (i > 0 || net::isIPv6Literal(ip)) {
                // A socket of the address's family, bound as the first was.
                CloseSocket();
                handle_ = net::createTcpSocketFor(ip, err);
                if (handle_ == net::kInvalidSocket) throw EIdInvalidSocket();
                bindLocal(boundIP, boundPort);
            }
            try {
                connectTo(ip, targetPort, connectTimeoutMs);
                break;
            } catch (const EIdConnectException&) {
                // Refused or unreachable here: the host's next address may answer.
                if (i + 1 == addresses.size() || !HandleAllocated()) throw;
            }
        }
        if (!HandleAllocated()) throw EIdClosedSocket();
        std::uint16_t p = 0;
        if (net::localAddress(handle_, IP, p) == 0) Port = p;
        if (net::peerAddress(handle_, PeerIP, p) == 0) PeerPort = p;

        if (viaSocks) {
            SocksIo io;
            io.send = [this](std::string_view bytes) {
                std::size_t done = 0;
                while (done < bytes.size()) {
                    if (!HandleAllocated()) throw EIdClosedSocket();
                    int e = 0;
                    long n = net::sendSome(handle_, bytes.data() + done, bytes.size() - done, e);
                    if (n < 0) throw EIdSocketError(e);
                    done += static_cast<std::size_t>(n);
                }
            };
            io.recv = [this](char* buf, int max, int timeoutMs) -> int {
                if (!HandleAllocated()) throw EIdClosedSocket();
                int e = 0;
                int r = net::waitReadable(handle_, timeoutMs, e);
                if (r < 0) throw EIdSocketError(e);
                if (r == 0) return -1;
                long n = net::recvSome(handle_, buf, static_cast<std::size_t>(max), e);
                if (n < 0) throw EIdSocketError(e);
                return static_cast<int>(n);
            };
            SocksHandshakeOptions opt;
            opt.TimeoutMs = connectTimeoutMs > 0 ? connectTimeoutMs : 0;
            opt.Pump = [] { TIdAntiFreeze::DoProcess(true); };
            opt.Resolve = [](const std::string& name) -> std::uint32_t {
                std::string dotted;
                int e = net::resolveIPv4(name, dotted);
                if (e != 0) throw EIdSocketError(e);
                std::uint32_t v = 0;
                net::parseIPv4Literal(dotted, v);
                return v;
            };
            SocksHandshake(*socks_, host, port, io, opt);
            if (!HandleAllocated()) throw EIdClosedSocket();
        }
    } catch (...) {
        CloseSocket();
        throw;
    }
}

void RaiseTlsError(const net::TlsError& error) {
    switch (error.Code) {
    case net::TlsErrc::TimedOut: throw EIdReadTimeout();
    case net::TlsErrc::Cancelled: throw EIdConnClosedGracefully();
    case net::TlsErrc::Socket: throw EIdSocketError(error.SocketError);
    default: throw EIdTlsError(error.Message);
    }
}

void TIdIOHandlerSocket::StartTls(const net::TlsClientOptions& options, const net::TlsWait& wait) {
    if (!HandleAllocated()) throw EIdConnClosedGracefully();
    if (!tls_) tls_ = std::make_unique<net::TlsClient>();
    tls_->abandon();
    tlsOn_ = false;
    net::TlsError e = tls_->start(handle_, options);
    if (e.ok()) e = tls_->handshake(wait);
    if (!e.ok()) {
        tls_->abandon();
        // A server that hangs up on the hello often resets rather than closes.
        if (e.Code == net::TlsErrc::Socket &&
            (e.SocketError == net::kErrConnReset || e.SocketError == net::kErrConnAborted))
            throw EIdTlsError("The server closed the connection during the TLS handshake.");
        RaiseTlsError(e);
    }
    tlsOn_ = true;
}

// ---------------------------------------------------------- TCP connection

TIdTCPConnection::TIdTCPConnection() = default;

TIdTCPConnection::~TIdTCPConnection() = default;

TIdIOHandlerSocket* TIdTCPConnection::IOHandler() {
    if (!handler_) {
        ownHandler_ = std::make_unique<TIdIOHandlerSocket>();
        ownHandler_->OnStatus = OnStatus;
        handler_ = ownHandler_.get();
    }
    return handler_;
}

void TIdTCPConnection::SetIOHandler(TIdIOHandlerSocket* handler) {
    if (handler_ && handler_ != handler && handler_->HandleAllocated()) closeSocketInternal();
    handler_ = handler;
    if (handler) ownHandler_.reset();
}

int TIdTCPConnection::EffectiveRecvBufferSize() const {
    return RecvBufferSize > 0 ? RecvBufferSize : kDefaultBufferSize;
}

int TIdTCPConnection::EffectiveSendBufferSize() const {
    return SendBufferSize > 0 ? SendBufferSize : kDefaultBufferSize;
}

void TIdTCPConnection::DoStatus(TIdStatus status, const std::string& arg) {
    if (OnStatus) OnStatus(this, status, StatusTextFor(status, arg));
}

void TIdTCPConnection::ResetForConnect() {
    inBuf_.clear();
    inPos_ = 0;
    lineSearchPos_ = 0;
    closedByPeer_ = false;
    wasOpen_ = false;
}

void TIdTCPConnection::closeSocketInternal() {
    closedByPeer_ = true;
    if (!handler_) return;
    if (handler_->HandleAllocated() && Intercept) Intercept->Disconnected();
    handler_->CloseSocket();
}

void TIdTCPConnection::CloseSocketQuietly() { closeSocketInternal(); }

void TIdTCPConnection::CloseConnection() {
    if (handler_ && handler_->HandleAllocated()) {
        DoStatus(StatusDisconnecting);
        closeSocketInternal();
        if (OnDisconnected) OnDisconnected(this);
        DoStatus(StatusDisconnected);
    } else {
        closeSocketInternal();
    }
}

void TIdTCPConnection::CheckForDisconnect(bool raiseIfDisconnected, bool ignoreBuffer) {
    if (!handler_) return;
    if (handler_->HandleAllocated()) wasOpen_ = true;
    bool gone;
    if (closedByPeer_ && handler_->HandleAllocated()) {
        closeSocketInternal();
        DoStatus(StatusDisconnected);
        if (OnDisconnected) OnDisconnected(this);
        gone = true;
    } else {
        gone = !handler_->HandleAllocated();
    }
    if (gone && raiseIfDisconnected && (InputBufferSize() == 0 || ignoreBuffer)) {
        if (!wasOpen_) throw EIdNotConnected();
        throw EIdConnClosedGracefully();
    }
}

bool TIdTCPConnection::IsOpen() {
    CheckForDisconnect(false);
    return handler_ && handler_->HandleAllocated();
}

void TIdTCPConnection::ProbePeerClosed(bool raiseIfClosed) {
    if (!handler_ || !handler_->HandleAllocated()) throw EIdConnClosedGracefully();
    ReadFromStack(false, 1, false);
    CheckForDisconnect(raiseIfClosed, false);
}

void TIdTCPConnection::PumpThrottled() {
    if (++pumpSkip_ < kPumpCheckEvery) return;
    pumpSkip_ = 0;
    if (!TIdAntiFreeze::ActiveHere()) return;
    std::uint64_t now = net::tickCount64();
    int slice = TIdAntiFreeze::IdleSlice();
    if (now - lastPumpTick_ >= static_cast<std::uint64_t>(slice)) {
        lastPumpTick_ = now;
        TIdAntiFreeze::DoProcess(false);
    }
}

bool TIdTCPConnection::WaitForData(int timeoutMs) {
    if (!handler_ || !handler_->HandleAllocated()) throw EIdConnClosedGracefully();
    // Bytes TLS has taken off the socket already never make it readable again.
    if (tlsReadable()) return true;
    const bool forWrite = tlsBlockedOn_ == 'w' && handler_->Tls();
    const auto waitSocket = [&](int ms, int& e) {
        return forWrite ? net::waitWritable(handler_->Handle(), ms, e) : net::waitReadable(handler_->Handle(), ms, e);
    };
    int err = 0;
    int slice = TIdAntiFreeze::IdleSlice();
    if (slice < 0) {
        int r = waitSocket(timeoutMs < 0 ? -1 : timeoutMs, err);
        if (r < 0) throw EIdSocketError(err);
        return r > 0;
    }
    const bool unlimited = timeoutMs < 0;
    const std::uint64_t deadline = net::tickCount64() + static_cast<std::uint64_t>(unlimited ? 0 : timeoutMs);
    while (true) {
        int wait = slice;
        if (!unlimited) {
            std::uint64_t now = net::tickCount64();
            std::uint64_t left = now >= deadline ? 0 : deadline - now;
            if (left < static_cast<std::uint64_t>(wait)) wait = static_cast<int>(left);
        }
        int r = waitSocket(wait, err);
        if (r < 0) throw EIdSocketError(err);
        lastPumpTick_ = net::tickCount64();
        TIdAntiFreeze::DoProcess(r == 0);
        // The pump may have run an action that closed this connection; the
        // caller notices through the closed socket.
        if (!handler_ || !handler_->HandleAllocated()) return true;
        if (r > 0) return true;
        if (!unlimited && net::tickCount64() >= deadline) return false;
    }
}

long TIdTCPConnection::ReadFromStack(bool raiseIfDisconnected, int timeout, bool raiseOnTimeout) {
    if (timeout == -1) timeout = ReadTimeout > 0 ? ReadTimeout : -2;
    CheckForDisconnect(raiseIfDisconnected, false);
    if (!handler_ || !handler_->HandleAllocated()) {
        if (raiseIfDisconnected) throw EIdNotConnected();
        return 0;
    }
    const std::size_t size = static_cast<std::size_t>(EffectiveRecvBufferSize());
    if (recvChunk_.size() < size) recvChunk_.resize(size);
    while (true) {
        if (!WaitForData(timeout)) {
            if (raiseOnTimeout) throw EIdReadTimeout();
            return -1;
        }
        if (!handler_->HandleAllocated()) {
            CheckForDisconnect(raiseIfDisconnected, false);
            return 0;
        }
        int err = 0;
        long n;
        if (handler_->Tls()) {
            n = tlsRead(recvChunk_.data(), size, err);
            if (n == -2) continue;  // a record is not complete yet
        } else {
            n = net::recvSome(handler_->Handle(), recvChunk_.data(), size, err);
        }
        if (n < 0) {
            if (err == net::kErrConnAborted || err == net::kErrShutdown || err == net::kErrConnReset) {
                // The connection is dead; report it as closed.
                closeSocketInternal();
                if (InputBufferSize() > 0) n = 0;
                else throw EIdSocketError(err);
            } else {
                throw EIdSocketError(err);
            }
        }
        if (n == 0) closedByPeer_ = true;
        if (n > 0) {
            if (Intercept) Intercept->Received(recvChunk_.data(), static_cast<std::size_t>(n));
            inBuf_.append(recvChunk_.data(), static_cast<std::size_t>(n));
        }
        CheckForDisconnect(raiseIfDisconnected, false);
        if (n > 0 || !handler_->HandleAllocated()) return n;
    }
}

void TIdTCPConnection::consumeInput(std::size_t n) {
    inPos_ += n;
    if (lineSearchPos_ < inPos_) lineSearchPos_ = inPos_;
    if (inPos_ == inBuf_.size()) {
        inBuf_.clear();
        inPos_ = 0;
        lineSearchPos_ = 0;
    } else if (inPos_ > 65536 && inPos_ * 2 > inBuf_.size()) {
        inBuf_.erase(0, inPos_);
        lineSearchPos_ -= inPos_;
        inPos_ = 0;
    }
    DoWork(WorkRead, static_cast<std::int64_t>(n));
}

std::string TIdTCPConnection::ReadLn(char terminator, int timeout, int maxLength) {
    if (maxLength < 0) maxLength = MaxLineLength;
    const std::size_t maxLen = maxLength > 0 ? static_cast<std::size_t>(maxLength) : 0;
    while (true) {
        std::size_t from = std::max(inPos_, lineSearchPos_);
        std::size_t at = inBuf_.find(terminator, from);
        bool found = at != std::string::npos;
        std::size_t lineLen = found ? at - inPos_ : InputBufferSize();
        if (maxLen > 0 && lineLen > maxLen) {
            if (MaxLineAction == maException) throw EIdReadLnMaxLineLengthExceeded();
            std::string line = inBuf_.substr(inPos_, maxLen);
            consumeInput(maxLen);
            return line;
        }
        if (found) {
            std::string line = inBuf_.substr(inPos_, lineLen);
            consumeInput(lineLen + 1);
            if (terminator == '\n' && !line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
        lineSearchPos_ = inBuf_.size();
        CheckForDisconnect(true, true);
        if (ReadFromStack(true, timeout, timeout == -1) == -1) return {};
    }
}

int TIdTCPConnection::GetResponse(const std::vector<int>& accepted) {
    std::vector<std::string> lines;
    std::string first;
    try {
        do {
            first = trimmed(ReadLn());
        } while (first.empty());
        lines.push_back(first);
        if (first.size() > 3 && first[3] == '-') {
            const std::string marker = first.substr(0, 3) + " ";
            while (true) {
                std::string line = trimmed(ReadLn());
                if (line.empty()) continue;
                lines.push_back(line);
                if ((line.size() < 4 && !StrictMultiLineReplies) || startsWithNoCase(line, marker)) break;
            }
        }
    } catch (const EIdReadTimeout&) {
        CloseConnection();
        throw;
    } catch (const EIdReadLnMaxLineLengthExceeded&) {
        CloseConnection();
        throw;
    }
    std::string code = trimmed(first.substr(0, 4));
    if (code.size() == 4 && code[3] == '-') code.pop_back();
    lastReply_.Clear();
    lastReply_.TextCode = code;
    int v = 0;
    lastReply_.NumericCode = parseInt(code, v) ? v : 0;
    for (const auto& l : lines) lastReply_.Text.push_back(l.size() > 4 ? l.substr(4) : std::string());
    lastReply_.RawLines = std::move(lines);
    AfterReply();
    if (!accepted.empty() &&
        std::find(accepted.begin(), accepted.end(), lastReply_.NumericCode) == accepted.end())
        throw EIdProtocolReplyError(lastReply_.NumericCode, lastReply_.JoinedText());
    return lastReply_.NumericCode;
}

bool TIdTCPConnection::IsSingleLine(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

void TIdTCPConnection::WriteLn(const std::string& line) {
    if (!IsSingleLine(line)) throw EIdInvalidCommandText();
    std::string data = line + "\r\n";
    try {
        WriteBuffer(data.data(), data.size());
    } catch (const EIdReadTimeout&) {
        // Part of the line may be out: what the server makes of it is unknown.
        CloseConnection();
        throw;
    }
}

void TIdTCPConnection::WriteBuffer(const void* data, std::size_t len) {
    CheckForDisconnect(true, true);
    if (!handler_ || !handler_->HandleAllocated()) throw EIdNotConnected();
    if (Intercept) Intercept->Sent(static_cast<const char*>(data), len);
    if (net::TlsClient* tls = handler_->Tls()) {
        const net::TlsWait wait = tlsWait();
        const net::TlsError e = CollectWrites ? tls->writeBuffered(data, len, wait) : tls->writeAll(data, len, wait);
        if (!e.ok()) failTls(e);
        PumpThrottled();
        DoWork(WorkWrite, static_cast<std::int64_t>(len));
        return;
    }
    const char* p = static_cast<const char*>(data);
    std::size_t done = 0;
    std::uint64_t stalledSince = 0;
    while (done < len) {
        CheckForDisconnect(true, true);
        int err = 0;
        long n = net::sendSome(handler_->Handle(), p + done, len - done, err, true);
        if (n < 0 && err == net::kErrWouldBlock) {
            // No room: wait in pump slices so the window stays alive and an
            // abort can close the socket under us; a peer that takes nothing
            // for ReadTimeout has stalled.
            int wait = TIdAntiFreeze::IdleSlice();
            if (ReadTimeout > 0) {
                const std::uint64_t now = net::tickCount64();
                if (stalledSince == 0) stalledSince = now;
                const std::uint64_t waited = now - stalledSince;
                if (waited >= static_cast<std::uint64_t>(ReadTimeout)) throw EIdReadTimeout();
                const int left = ReadTimeout - static_cast<int>(waited);
                if (wait < 0 || wait > left) wait = left;
            }
            int r = net::waitWritable(handler_->Handle(), wait, err);
            if (r < 0) throw EIdSocketError(err);
            lastPumpTick_ = net::tickCount64();
            TIdAntiFreeze::DoProcess(r == 0);
            continue;
        }
        stalledSince = 0;
        if (n < 0) {
            if (err == net::kErrConnAborted || err == net::kErrConnReset || err == net::kErrShutdown)
                closeSocketInternal();
            throw EIdSocketError(err);
        }
        PumpThrottled();
        if (n == 0) closedByPeer_ = true;
        CheckForDisconnect(true, true);
        done += static_cast<std::size_t>(n);
        DoWork(WorkWrite, n);
    }
}

int TIdTCPConnection::SendCmd(const std::string& line, const std::vector<int>& accepted) {
    WriteLn(line);
    return GetResponse(accepted);
}

void TIdTCPConnection::ReadUntilClose(const std::function<void(const char*, std::size_t)>& sink) {
    if (InputBufferSize() > 0) {
        std::size_t n = InputBufferSize();
        sink(inBuf_.data() + inPos_, n);
        consumeInput(n);
    }
    const std::size_t size = static_cast<std::size_t>(EffectiveRecvBufferSize());
    if (recvChunk_.size() < size) recvChunk_.resize(size);
    const int stallMs = ReadTimeout > 0 ? ReadTimeout : -2;
    while (handler_ && handler_->HandleAllocated()) {
        int err = 0;
        long n;
        if (handler_->Tls()) {
            n = tlsRead(recvChunk_.data(), size, err);
            if (n == -2) {
                n = -1;
                err = net::kErrWouldBlock;
            }
        } else {
            // Try first: a busy stream never pays for the sliced wait.
            n = net::recvSome(handler_->Handle(), recvChunk_.data(), size, err, true);
        }
        if (n < 0 && err == net::kErrWouldBlock) {
            if (!WaitForData(stallMs)) throw EIdReadTimeout();
            continue;
        }
        if (n < 0) {
            // An aborted or reset connection is no end of the data: what
            // arrived may be short.
            if (err == net::kErrConnAborted || err == net::kErrShutdown || err == net::kErrConnReset)
                closeSocketInternal();
            throw EIdSocketError(err);
        }
        if (n == 0) {
            closedByPeer_ = true;
            CheckForDisconnect(false);
            break;
        }
        sink(recvChunk_.data(), static_cast<std::size_t>(n));
        DoWork(WorkRead, n);
        PumpThrottled();
    }
}

void TIdTCPConnection::ShutdownSending() {
    if (handler_ && handler_->HandleAllocated()) net::shutdownSend(handler_->Handle());
}

long TIdTCPConnection::PendingSendBytes() {
    if (!handler_ || !handler_->HandleAllocated()) return 0;
    return net::pendingSendBytes(handler_->Handle());
}

net::TlsWait TIdTCPConnection::tlsWait() {
    net::TlsWait w;
    w.TimeoutMs = ReadTimeout > 0 ? ReadTimeout : 0;
    const int slice = TIdAntiFreeze::IdleSlice();
    w.SliceMs = slice > 0 ? slice : 250;
    w.Pump = [this](bool idle) {
        lastPumpTick_ = net::tickCount64();
        TIdAntiFreeze::DoProcess(idle);
    };
    w.Cancelled = [this] { return !handler_ || !handler_->HandleAllocated(); };
    return w;
}

void TIdTCPConnection::failTls(const net::TlsError& e) {
    switch (e.Code) {
    case net::TlsErrc::Cancelled:
        // Closed under the wait by a user action.
        CheckForDisconnect(true, true);
        throw EIdConnClosedGracefully();
    case net::TlsErrc::Closed:
        closedByPeer_ = true;
        CheckForDisconnect(true, true);
        throw EIdConnClosedGracefully();
    case net::TlsErrc::TimedOut:
        throw EIdReadTimeout();
    case net::TlsErrc::Socket:
        if (e.SocketError == net::kErrConnAborted || e.SocketError == net::kErrConnReset ||
            e.SocketError == net::kErrShutdown)
            closeSocketInternal();
        throw EIdSocketError(e.SocketError);
    default:
        // A broken TLS stream cannot be read on: nothing after it is trustworthy.
        closeSocketInternal();
        throw EIdTlsError(e.Message);
    }
}

long TIdTCPConnection::tlsRead(char* buf, std::size_t len, int& err) {
    net::TlsClient* tls = handler_->Tls();
    std::size_t got = 0;
    tlsBlockedOn_ = 0;
    switch (tls->readStep(buf, len, got)) {
    case net::TlsStep::Done: return static_cast<long>(got);
    case net::TlsStep::WantRead:
        // What TLS holds now is at most part of a record: only the socket can help.
        tlsBlockedOn_ = 'r';
        return -2;
    case net::TlsStep::WantWrite:
        tlsBlockedOn_ = 'w';
        return -2;
    case net::TlsStep::Closed: return 0;
    case net::TlsStep::Failed: break;
    }
    const net::TlsError e = tls->lastError();
    if (e.Code == net::TlsErrc::Socket) {
        err = e.SocketError;
        return -1;
    }
    failTls(e);
}

void TIdTCPConnection::StartTls(const net::TlsClientOptions& options) {
    if (!handler_ || !handler_->HandleAllocated()) throw EIdNotConnected();
    tlsBlockedOn_ = 0;
    handler_->StartTls(options, tlsWait());
}

void TIdTCPConnection::FinishWrites() {
    net::TlsClient* tls = handler_ ? handler_->Tls() : nullptr;
    if (!tls) return;
    const net::TlsError e = tls->close(tlsWait());
    if (!e.ok()) failTls(e);
}

bool TIdTCPConnection::tlsReadable() {
    const net::TlsClient* tls = handler_ ? handler_->Tls() : nullptr;
    return tls && tlsBlockedOn_ == 0 && tls->pending();
}

bool TIdTCPConnection::InputReadyNow() {
    if (InputBufferSize() > 0) return true;
    if (!handler_ || !handler_->HandleAllocated()) return false;
    if (tlsReadable()) return true;
    int err = 0;
    return net::waitReadable(handler_->Handle(), 0, err) > 0;
}

void TIdTCPConnection::BeginWork(TWorkMode mode, std::int64_t max) {
    Work& w = work_[mode];
    if (++w.level == 1) {
        w.max = max;
        w.count = 0;
        if (OnWorkBegin) OnWorkBegin(this, mode, max);
    }
}

void TIdTCPConnection::DoWork(TWorkMode mode, std::int64_t count) {
    Work& w = work_[mode];
    if (w.level < 1) return;
    w.count += count;
    if (OnWork) OnWork(this, mode, w.count);
}

void TIdTCPConnection::EndWork(TWorkMode mode) {
    Work& w = work_[mode];
    if (w.level < 1) return;
    if (w.level == 1 && OnWorkEnd) OnWorkEnd(this, mode);
    --w.level;
}

// -------------------------------------------------------------- TCP client

void TIdTCPClient::Connect(int connectTimeoutMs) {
    TIdIOHandlerSocket* h = IOHandler();
    if (h->HandleAllocated()) throw EIdAlreadyConnected();
    if (OwnsHandler() && !h->OnStatus) h->OnStatus = OnStatus;
    try {
        ResetForConnect();
        h->Open(Host, Port, BoundIP, BoundPort, connectTimeoutMs);
        if (Intercept) Intercept->Connected();
        DoStatus(StatusConnected);
        if (OnConnected) OnConnected(this);
    } catch (...) {
        CloseSocketQuietly();
        throw;
    }
}

// ---------------------------------------------------------- simple server

TIdSimpleServer::~TIdSimpleServer() { AbortListen(); }

void TIdSimpleServer::BeginListen() {
    AbortListen();
    aborted_ = false;
    ResetForConnect();
    int err = 0;
    net::SocketHandle s = net::createTcpSocketFor(BoundIP, err);
    if (s == net::kInvalidSocket) throw EIdInvalidSocket();
    err = net::bindSocket(s, BoundIP, static_cast<std::uint16_t>(BoundPort));
    if (err == 0) err = net::listenSocket(s, ListenQueue);
    if (err != 0) {
        net::closeSocket(s);
        if (err == net::kErrAddrInUse) throw EIdCouldNotBindSocket();
        throw EIdSocketError(err);
    }
    listener_ = s;
    std::uint16_t port = 0;
    TIdIOHandlerSocket* h = IOHandler();
    if (net::localAddress(s, h->IP, port) == 0) h->Port = port;
}

void TIdSimpleServer::Listen() {
    while (true) {
        if (aborted_ || listener_ == net::kInvalidSocket) throw EIdConnClosedGracefully();
        int slice = AcceptWait;
        int idle = TIdAntiFreeze::IdleSlice();
        if (idle > 0 && idle < slice) slice = idle;
        if (OnAcceptSlice && slice > 100) slice = 100;
        int err = 0;
        int r = net::waitReadable(listener_, slice, err);
        if (r < 0) throw EIdSocketError(err);
        TIdAntiFreeze::DoProcess(r == 0);
        if (aborted_ || listener_ == net::kInvalidSocket) throw EIdConnClosedGracefully();
        if (r == 0) {
            if (OnAcceptSlice) OnAcceptSlice();
            // The server may have connected while the pump ran.
            if (!ConnectionPending()) continue;
        }
        std::string ip;
        std::uint16_t port = 0;
        net::SocketHandle c = net::acceptSocket(listener_, ip, port, err);
        if (c == net::kInvalidSocket) throw EIdSocketError(err);
        net::closeSocket(listener_);
        listener_ = net::kInvalidSocket;
        IOHandler()->Adopt(c);
        return;
    }
}

bool TIdSimpleServer::ConnectionPending() {
    if (listener_ == net::kInvalidSocket) return false;
    int err = 0;
    return net::waitReadable(listener_, 0, err) > 0;
}

void TIdSimpleServer::AbortListen() {
    aborted_ = true;
    if (listener_ != net::kInvalidSocket) {
        net::closeSocket(listener_);
        listener_ = net::kInvalidSocket;
    }
}

void TIdSimpleServer::CloseConnection() {
    AbortListen();
    TIdTCPConnection::CloseConnection();
}
