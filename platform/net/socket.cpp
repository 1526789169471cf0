#include "platform/net/socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/net/socket_errors.h"
#include "platform/net/test_hooks.h"

namespace net {

namespace {

int lastError() { return wsaFromErrno(errno); }

sockaddr_in makeAddr(const std::string& ip, std::uint16_t port, bool& ok) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ok = true;
    if (ip.empty()) {
        a.sin_addr.s_addr = htonl(INADDR_ANY);
    } else {
        std::uint32_t v = 0;
        ok = parseIPv4Literal(ip, v);
        a.sin_addr.s_addr = htonl(v);
    }
    return a;
}

void splitAddr(const sockaddr_in& a, std::string& ip, std::uint16_t& port) {
    ip = formatIPv4(ntohl(a.sin_addr.s_addr));
    port = ntohs(a.sin_port);
}

} // namespace

SocketHandle createTcpSocket(int& err) {
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (s < 0) {
        err = lastError();
        return kInvalidSocket;
    }
    err = 0;
    return s;
}

void shutdownSend(SocketHandle s) {
    if (s != kInvalidSocket) ::shutdown(s, SHUT_WR);
}

void shutdownBoth(SocketHandle s) {
    if (s != kInvalidSocket) ::shutdown(s, SHUT_RDWR);
}

void closeSocket(SocketHandle s) {
    if (s != kInvalidSocket) ::close(s);
}

int bindSocket(SocketHandle s, const std::string& ip, std::uint16_t port) {
    bool ok;
    sockaddr_in a = makeAddr(ip, port, ok);
    if (!ok) return 10049;
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return lastError();
    return 0;
}

int listenSocket(SocketHandle s, int backlog) {
    if (::listen(s, backlog) != 0) return lastError();
    return 0;
}

SocketHandle acceptSocket(SocketHandle s, std::string& peerIp, std::uint16_t& peerPort, int& err) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    int c;
    do {
        c = ::accept4(s, reinterpret_cast<sockaddr*>(&a), &len, SOCK_CLOEXEC);
    } while (c < 0 && errno == EINTR);
    if (c < 0) {
        err = lastError();
        return kInvalidSocket;
    }
    err = 0;
    splitAddr(a, peerIp, peerPort);
    return c;
}

int connectSocket(SocketHandle s, const std::string& ip, std::uint16_t port) {
    bool ok;
    sockaddr_in a = makeAddr(ip, port, ok);
    if (!ok) return 10049;
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return 0;
    if (errno != EINTR) return lastError();
    // An interrupted connect goes on in the background; wait for its outcome.
    pollfd p{s, POLLOUT, 0};
    while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
    }
    int soErr = 0;
    socklen_t l = sizeof soErr;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &soErr, &l) != 0) return lastError();
    return soErr ? wsaFromErrno(soErr) : 0;
}

long sendSome(SocketHandle s, const void* data, std::size_t len, int& err, bool noWait) {
    ssize_t n;
    do {
        n = ::send(s, data, len, MSG_NOSIGNAL | (noWait ? MSG_DONTWAIT : 0));
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        err = lastError();
        return -1;
    }
    err = 0;
    return static_cast<long>(n);
}

long recvSome(SocketHandle s, void* data, std::size_t len, int& err, bool noWait) {
    if (detail::takeInjectedReceiveError(err)) return -1;
    ssize_t n;
    do {
        n = ::recv(s, data, len, noWait ? MSG_DONTWAIT : 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        err = lastError();
        return -1;
    }
    err = 0;
    return static_cast<long>(n);
}

namespace {
int waitFor(SocketHandle s, short events, int timeoutMs, int& err) {
    pollfd p{s, events, 0};
    int r = ::poll(&p, 1, timeoutMs < 0 ? -1 : timeoutMs);
    if (r < 0) {
        if (errno == EINTR) {
            err = 0;
            return 0;
        }
        err = lastError();
        return -1;
    }
    err = 0;
    if (r > 0 && (p.revents & POLLNVAL)) {
        err = 10038;
        return -1;
    }
    return r > 0 ? 1 : 0;
}
} // namespace

int waitReadable(SocketHandle s, int timeoutMs, int& err) { return waitFor(s, POLLIN, timeoutMs, err); }
int waitWritable(SocketHandle s, int timeoutMs, int& err) { return waitFor(s, POLLOUT, timeoutMs, err); }

int setNoDelay(SocketHandle s, bool on) {
    int v = on ? 1 : 0;
    if (::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &v, sizeof v) != 0) return lastError();
    return 0;
}

int setReceiveBufferSize(SocketHandle s, int bytes) {
    if (::setsockopt(s, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) != 0) return lastError();
    return 0;
}

long pendingSendBytes(SocketHandle s) {
    int n = 0;
    if (::ioctl(s, SIOCOUTQ, &n) != 0) return -1;
    return n;
}

int localAddress(SocketHandle s, std::string& ip, std::uint16_t& port) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) return lastError();
    splitAddr(a, ip, port);
    return 0;
}

int peerAddress(SocketHandle s, std::string& ip, std::uint16_t& port) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (::getpeername(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) return lastError();
    splitAddr(a, ip, port);
    return 0;
}

int resolveIPv4(const std::string& name, std::string& dottedIp) {
    if (strcasecmp(name.c_str(), "localhost") == 0) {
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
    int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &res);
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
