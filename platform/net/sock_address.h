#pragma once
// Internal to platform/net: socket addresses to and from their texts, for the
// POSIX and the Winsock socket layers alike. IPv4 texts keep the liberal
// decimal forms of parseIPv4Literal; anything holding ':' is IPv6.
#include <cstdint>
#include <string>
#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace net::detail {

struct SockAddr {
    sockaddr_storage storage{};
    socklen_t length = 0;
    sockaddr* get() { return reinterpret_cast<sockaddr*>(&storage); }
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
    bool ipv6() const { return storage.ss_family == AF_INET6; }
};

// ip empty: any IPv4 address. False when the text is no address.
bool makeSockAddr(const std::string& ip, std::uint16_t port, SockAddr& out);
// The address as text ("192.0.2.1", "2001:db8::1", "fe80::1%eth0"); an
// IPv4-mapped IPv6 address reads as its IPv4 form.
void splitSockAddr(const sockaddr* a, std::string& ip, std::uint16_t& port);
// Every address of a name in the system's order of preference; false when
// the name has none.
bool lookupAll(const std::string& name, std::vector<std::string>& out);

} // namespace net::detail
