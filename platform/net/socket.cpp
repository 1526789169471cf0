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

#include "platform/net/sock_address.h"
#include "platform/net/socket_errors.h"
#include "platform/net/test_hooks.h"

namespace net {

namespace {

int lastError() { return wsaFromErrno(errno); }

} // namespace

SocketHandle createTcpSocket(int& err, bool ipv6) {
    int s = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
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
    detail::SockAddr a;
    if (!detail::makeSockAddr(ip, port, a)) return 10049;
    if (a.ipv6()) {
        // An IPv6 socket serves IPv6 only; IPv4 has sockets of its own.
        int on = 1;
        ::setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    }
    if (::bind(s, a.get(), a.length) != 0) return lastError();
    return 0;
}

int listenSocket(SocketHandle s, int backlog) {
    if (::listen(s, backlog) != 0) return lastError();
    return 0;
}

SocketHandle acceptSocket(SocketHandle s, std::string& peerIp, std::uint16_t& peerPort, int& err) {
    detail::SockAddr a;
    socklen_t len = sizeof a.storage;
    int c;
    do {
        c = ::accept4(s, a.get(), &len, SOCK_CLOEXEC);
    } while (c < 0 && errno == EINTR);
    if (c < 0) {
        err = lastError();
        return kInvalidSocket;
    }
    err = 0;
    detail::splitSockAddr(a.get(), peerIp, peerPort);
    return c;
}

int connectSocket(SocketHandle s, const std::string& ip, std::uint16_t port) {
    detail::SockAddr a;
    if (!detail::makeSockAddr(ip, port, a)) return 10049;
    if (::connect(s, a.get(), a.length) == 0) return 0;
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
    detail::SockAddr a;
    socklen_t len = sizeof a.storage;
    if (::getsockname(s, a.get(), &len) != 0) return lastError();
    detail::splitSockAddr(a.get(), ip, port);
    return 0;
}

int peerAddress(SocketHandle s, std::string& ip, std::uint16_t& port) {
    detail::SockAddr a;
    socklen_t len = sizeof a.storage;
    if (::getpeername(s, a.get(), &len) != 0) return lastError();
    detail::splitSockAddr(a.get(), ip, port);
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
