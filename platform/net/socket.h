#pragma once
// Thin blocking TCP socket interface over the operating system's sockets.
// Errors are reported as Windows Sockets numbers (see socket_errors.h) so that
// messages read the same on every platform. Nothing here throws.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace net {

#ifdef _WIN32
using SocketHandle = std::uintptr_t;
inline constexpr SocketHandle kInvalidSocket = ~static_cast<SocketHandle>(0);
#else
using SocketHandle = int;
inline constexpr SocketHandle kInvalidSocket = -1;
#endif

// Creates a TCP stream socket (IPv4, or IPv6 when asked); kInvalidSocket and
// err set on failure.
SocketHandle createTcpSocket(int& err, bool ipv6 = false);
// The same, of the family an address text belongs to.
inline SocketHandle createTcpSocketFor(const std::string& ip, int& err) {
    return createTcpSocket(err, ip.find(':') != std::string::npos);
}

// Shuts down one or both directions without releasing the handle. Used to
// wake a thread blocked in connect/recv on that socket.
void shutdownSend(SocketHandle s);
void shutdownBoth(SocketHandle s);
void closeSocket(SocketHandle s);

// Addresses are texts: dotted IPv4 ("192.0.2.1"), or IPv6 ("2001:db8::1",
// "fe80::1%eth0" with its zone); "::" is any IPv6 address.

// ip empty binds any IPv4 address. Returns 0 or the error.
int bindSocket(SocketHandle s, const std::string& ip, std::uint16_t port);
int listenSocket(SocketHandle s, int backlog);
// Returns the accepted socket or kInvalidSocket with err set.
SocketHandle acceptSocket(SocketHandle s, std::string& peerIp, std::uint16_t& peerPort, int& err);

// Plain blocking connect to an address. Returns 0 or the error.
int connectSocket(SocketHandle s, const std::string& ip, std::uint16_t port);

// Return the byte count (0 = orderly close by the peer for recv) or -1 with err set.
// noWait: send what fits now (err 10035 when nothing fits).
long sendSome(SocketHandle s, const void* data, std::size_t len, int& err, bool noWait = false);
long recvSome(SocketHandle s, void* data, std::size_t len, int& err, bool noWait = false);

// 1 readable (or closed/error pending), 0 timed out, -1 failure with err set.
// timeoutMs < 0 waits without limit.
int waitReadable(SocketHandle s, int timeoutMs, int& err);
// The same for room to send.
int waitWritable(SocketHandle s, int timeoutMs, int& err);

int setNoDelay(SocketHandle s, bool on);
// The socket's receive buffer (SO_RCVBUF). Returns 0 or the error.
int setReceiveBufferSize(SocketHandle s, int bytes);
// Bytes written to s that the peer has not taken yet (this side's send
// queue); -1 when the system cannot tell.
long pendingSendBytes(SocketHandle s);

// Failure injection for tests: the next recvSome on the calling thread fails
// with err instead of reading (once). Lets a test play a local stack that
// aborts a connection, which cannot be provoked on loopback.
void failNextReceiveForTest(int err);

// Returns 0 or the error.
int localAddress(SocketHandle s, std::string& ip, std::uint16_t& port);
int peerAddress(SocketHandle s, std::string& ip, std::uint16_t& port);

// Decimal IPv4 literal in one to four dot-separated parts: a.b.c.d (each
// 0-255), a.b.c (c 0-65535), a.b (b 0-16777215) or a single 32-bit number.
bool parseIPv4Literal(const std::string& text, std::uint32_t& hostOrder);
std::string formatIPv4(std::uint32_t hostOrder);

// "localhost" in any case gives 127.0.0.1 without a lookup, a literal is
// taken as it is, anything else is looked up and its first IPv4 address used.
// Returns 0 or the lookup error (11001 for an unknown host).
int resolveIPv4(const std::string& name, std::string& dottedIp);

// True for an IPv6 address text (without brackets).
bool isIPv6Literal(const std::string& text);
// Every address of a host, in the order to try them: "localhost" and IPv4
// literals as resolveIPv4 gives them, an IPv6 literal (also "[...]") as it
// is, any other name looked up for IPv6 and IPv4 addresses in the system's
// order of preference. Returns 0 or the lookup error (11001).
int resolveHost(const std::string& name, std::vector<std::string>& addresses);

} // namespace net
