#include "platform/net/sock_address.h"

#include <cctype>
#include <cstring>

#include "platform/net/socket.h"
#include "platform/net/socket_errors.h"

namespace net {

namespace detail {

namespace {

bool ipv6FromText(const std::string& ip, std::uint16_t port, SockAddr& out) {
    // Only the address itself (and its zone): some systems also take "[::1]".
    const std::string address = ip.substr(0, ip.find('%'));
    for (char c : address)
        if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.') return false;
    addrinfo hints{};
    hints.ai_family = AF_INET6;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* res = nullptr;
    if (::getaddrinfo(ip.c_str(), nullptr, &hints, &res) != 0 || !res) {
        if (res) ::freeaddrinfo(res);
        return false;
    }
    bool ok = false;
    if (res->ai_family == AF_INET6 && res->ai_addrlen <= sizeof out.storage) {
        std::memcpy(&out.storage, res->ai_addr, res->ai_addrlen);
        reinterpret_cast<sockaddr_in6*>(&out.storage)->sin6_port = htons(port);
        out.length = static_cast<socklen_t>(sizeof(sockaddr_in6));
        ok = true;
    }
    ::freeaddrinfo(res);
    return ok;
}

} // namespace

bool makeSockAddr(const std::string& ip, std::uint16_t port, SockAddr& out) {
    out = SockAddr{};
    if (ip.find(':') != std::string::npos) return ipv6FromText(ip, port, out);
    auto* a = reinterpret_cast<sockaddr_in*>(&out.storage);
    a->sin_family = AF_INET;
    a->sin_port = htons(port);
    out.length = static_cast<socklen_t>(sizeof(sockaddr_in));
    if (ip.empty()) {
        a->sin_addr.s_addr = htonl(INADDR_ANY);
        return true;
    }
    std::uint32_t v = 0;
    if (!parseIPv4Literal(ip, v)) return false;
    a->sin_addr.s_addr = htonl(v);
    return true;
}

void splitSockAddr(const sockaddr* a, std::string& ip, std::uint16_t& port) {
    ip.clear();
    port = 0;
    if (a->sa_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(a);
        ip = formatIPv4(ntohl(v4->sin_addr.s_addr));
        port = ntohs(v4->sin_port);
        return;
    }
    if (a->sa_family != AF_INET6) return;
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(a);
    port = ntohs(v6->sin6_port);
    const unsigned char* b = reinterpret_cast<const unsigned char*>(&v6->sin6_addr);
    static const unsigned char mapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (std::memcmp(b, mapped, sizeof mapped) == 0) {
        ip = formatIPv4((std::uint32_t(b[12]) << 24) | (std::uint32_t(b[13]) << 16) | (std::uint32_t(b[14]) << 8) |
                        std::uint32_t(b[15]));
        return;
    }
    char host[NI_MAXHOST];
    if (::getnameinfo(a, static_cast<socklen_t>(sizeof(sockaddr_in6)), host, sizeof host, nullptr, 0,
                      NI_NUMERICHOST) == 0)
        ip = host;
}

bool lookupAll(const std::string& name, std::vector<std::string>& out) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &res) != 0 || !res) {
        if (res) ::freeaddrinfo(res);
        return false;
    }
    for (addrinfo* p = res; p; p = p->ai_next) {
        if (p->ai_family != AF_INET && p->ai_family != AF_INET6) continue;
        std::string ip;
        std::uint16_t port = 0;
        splitSockAddr(p->ai_addr, ip, port);
        bool seen = ip.empty();
        for (const std::string& s : out) seen = seen || s == ip;
        if (!seen) out.push_back(ip);
    }
    ::freeaddrinfo(res);
    return !out.empty();
}

} // namespace detail

namespace {
bool isLocalhostName(const std::string& s) {
    static const char k[] = "localhost";
    if (s.size() != sizeof k - 1) return false;
    for (std::size_t i = 0; i < s.size(); ++i)
        if ((s[i] >= 'A' && s[i] <= 'Z' ? s[i] + 32 : s[i]) != k[i]) return false;
    return true;
}
} // namespace

bool isIPv6Literal(const std::string& text) {
    detail::SockAddr a;
    return text.find(':') != std::string::npos && detail::makeSockAddr(text, 0, a);
}

int resolveHost(const std::string& name, std::vector<std::string>& addresses) {
    addresses.clear();
    std::string host = name;
    // "[2001:db8::1]" as written in addresses.
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    if (isIPv6Literal(host)) {
        detail::SockAddr a;
        detail::makeSockAddr(host, 0, a);
        std::string ip;
        std::uint16_t port = 0;
        detail::splitSockAddr(a.get(), ip, port);
        addresses.push_back(ip);
        return 0;
    }
    // localhost and IPv4 literals as ever, without a lookup.
    std::uint32_t v = 0;
    if (parseIPv4Literal(host, v) || isLocalhostName(host)) {
        std::string dotted;
        const int e = resolveIPv4(host, dotted);
        if (e == 0) addresses.push_back(dotted);
        return e;
    }
    if (!detail::lookupAll(host, addresses)) return kErrHostNotFound;
    return 0;
}

} // namespace net
