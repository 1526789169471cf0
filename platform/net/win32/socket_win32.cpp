// Winsock 2 side of the socket interface. Winsock reports its own error
// numbers, so no mapping is needed here.
#include "platform/net/socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/net/sock_address.h"
#include "platform/net/socket_errors.h"
#include "platform/net/test_hooks.h"

namespace net {

namespace {

int lastError() { return WSAGetLastError(); }

SOCKET raw(SocketHandle s) { return static_cast<SOCKET>(s); }

int waitFor(SocketHandle s, bool forRead, int timeoutMs, int& err) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(raw(s), &set);
    // A failed connect or a reset shows in the except set on Windows.
    fd_set ex;
    FD_ZERO(&ex);
    FD_SET(raw(s), &ex);
    timeval tv{};
    timeval* ptv = nullptr;
    if (timeoutMs >= 0) {
        tv.tv_sec = timeoutMs / 1000;
        tv.tv_usec = (timeoutMs % 1000) * 1000;
        ptv = &tv;
    }
    const int r = ::select(0, forRead ? &set : nullptr, forRead ? nullptr : &set, &ex, ptv);
    if (r == SOCKET_ERROR) {
        err = lastError();
        return -1;
    }
    err = 0;
    return r > 0 ? 1 : 0;
}

// Winsock has no per-call "don't wait" flag: ask select first. False with
// err set (10035 when the socket is simply not ready).
bool readyNow(SocketHandle s, bool forRead, int& err) {
    const int w = waitFor(s, forRead, 0, err);
    if (w > 0) return true;
    if (w == 0) err = WSAEWOULDBLOCK;
    return false;
}

} // namespace

SocketHandle createTcpSocket(int& err, bool ipv6) {
    SOCKET s = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        err = lastError();
        return kInvalidSocket;
    }
    // Handles must not leak into processes the program starts.
    ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    err = 0;
    return static_cast<SocketHandle>(s);
}

void shutdownSend(SocketHandle s) {
    if (s != kInvalidSocket) ::shutdown(raw(s), SD_SEND);
}

void shutdownBoth(SocketHandle s) {
    if (s != kInvalidSocket) ::shutdown(raw(s), SD_BOTH);
}

void closeSocket(SocketHandle s) {
    if (s != kInvalidSocket) ::closesocket(raw(s));
}

int bindSocket(SocketHandle s, const std::string& ip, std::uint16_t port) {
    detail::SockAddr a;
    if (!detail::makeSockAddr(ip, port, a)) return WSAEADDRNOTAVAIL;
    if (a.ipv6()) {
        // An IPv6 socket serves IPv6 only; IPv4 has sockets of its own.
        DWORD on = 1;
        ::setsockopt(raw(s), IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&on), sizeof on);
    }
    if (::bind(raw(s), a.get(), a.length) != 0) return lastError();
    return 0;
}

int listenSocket(SocketHandle s, int backlog) {
    if (::listen(raw(s), backlog) != 0) return lastError();
    return 0;
}

SocketHandle acceptSocket(SocketHandle s, std::string& peerIp, std::uint16_t& peerPort, int& err) {
    detail::SockAddr a;
    int len = sizeof a.storage;
    SOCKET c = ::accept(raw(s), a.get(), &len);
    if (c == INVALID_SOCKET) {
        err = lastError();
        return kInvalidSocket;
    }
    ::SetHandleInformation(reinterpret_cast<HANDLE>(c), HANDLE_FLAG_INHERIT, 0);
    err = 0;
    detail::splitSockAddr(a.get(), peerIp, peerPort);
    return static_cast<SocketHandle>(c);
}

int connectSocket(SocketHandle s, const std::string& ip, std::uint16_t port) {
    detail::SockAddr a;
    if (!detail::makeSockAddr(ip, port, a)) return WSAEADDRNOTAVAIL;
    if (::connect(raw(s), a.get(), a.length) == 0) return 0;
    return lastError();
}

long sendSome(SocketHandle s, const void* data, std::size_t len, int& err, bool noWait) {
    if (noWait && !readyNow(s, false, err)) return -1;
    const int chunk = len > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(len);
    const int n = ::send(raw(s), static_cast<const char*>(data), chunk, 0);
    if (n == SOCKET_ERROR) {
        err = lastError();
        return -1;
    }
    err = 0;
    return n;
}

long recvSome(SocketHandle s, void* data, std::size_t len, int& err, bool noWait) {
    if (detail::takeInjectedReceiveError(err)) return -1;
    if (noWait && !readyNow(s, true, err)) return -1;
    const int chunk = len > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(len);
    const int n = ::recv(raw(s), static_cast<char*>(data), chunk, 0);
    if (n == SOCKET_ERROR) {
        err = lastError();
        return -1;
    }
    err = 0;
    return n;
}

int waitReadable(SocketHandle s, int timeoutMs, int& err) { return waitFor(s, true, timeoutMs, err); }
int waitWritable(SocketHandle s, int timeoutMs, int& err) { return waitFor(s, false, timeoutMs, err); }

int setNoDelay(SocketHandle s, bool on) {
    BOOL v = on ? TRUE : FALSE;
    if (::setsockopt(raw(s), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&v), sizeof v) != 0)
        return lastError();
    return 0;
}

int setReceiveBufferSize(SocketHandle s, int bytes) {
    if (::setsockopt(raw(s), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes) != 0)
        return lastError();
    return 0;
}

// Winsock has no portable query for the unsent part of the send queue.
long pendingSendBytes(SocketHandle) { return -1; }

int localAddress(SocketHandle s, std::string& ip, std::uint16_t& port) {
    detail::SockAddr a;
    int len = sizeof a.storage;
    if (::getsockname(raw(s), a.get(), &len) != 0) return lastError();
    detail::splitSockAddr(a.get(), ip, port);
    return 0;
}

int peerAddress(SocketHandle s, std::string& ip, std::uint16_t& port) {
    detail::SockAddr a;
    int len = sizeof a.storage;
    if (::getpeername(raw(s), a.get(), &len) != 0) return lastError();
    detail::splitSockAddr(a.get(), ip, port);
    return 0;
}

int resolveIPv4(const std::string& name, std::string& dottedIp) {
    if (_stricmp(name.c_str(), "localhost") == 0) {
        dottedIp = "127.0.0.1";
        return 0;
    }
    std::uint32_t v;
    if (parseIPv4Literal(name, v)) {
        dottedIp = formatIPv4(v);
        return 0;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    const int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &res);
    if (rc != 0 || !res) {
        if (res) ::freeaddrinfo(res);
        return kErrHostNotFound;
    }
    for (addrinfo* p = res; p; p = p->ai_next) {
        if (p->ai_family == AF_INET) {
            auto* a = reinterpret_cast<sockaddr_in*>(p->ai_addr);
            dottedIp = formatIPv4(ntohl(a->sin_addr.s_addr));
            ::freeaddrinfo(res);
            return 0;
        }
    }
    ::freeaddrinfo(res);
    return kErrHostNotFound;
}

} // namespace net
