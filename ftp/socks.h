#pragma once
// SOCKS 4, 4A and 5 CONNECT handshakes, run over a TCP connection that is
// already up to the SOCKS server. The handshake does not own the socket: it
// talks through SocksIo so any socket class can carry it.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/exceptions.h"

enum TSocksVersion { svNoSocks = 0, svSocks4 = 1, svSocks4A = 2, svSocks5 = 3 };
enum TSocksAuthentication { saNoAuthentication = 0, saUsernamePassword = 1 };

constexpr int kDefaultSocksPort = 1080;

// The SOCKS settings a socket layer carries (copied into passive data
// connections). Authentication is used by SOCKS 5 only.
struct TIdSocksInfo {
    TSocksVersion Version = svNoSocks;
    TSocksAuthentication Authentication = saNoAuthentication;
    std::string Host;
    int Port = kDefaultSocksPort;
    std::string Username;
    std::string Password;

    bool Enabled() const { return Version != svNoSocks; }
};

// "NoSocks", "Socks4", "Socks4A", "Socks5" (a profile's svname) -> version;
// anything else gives svNoSocks.
TSocksVersion SocksVersionFromName(std::string_view svname);
std::string SocksVersionName(TSocksVersion v);  // "svNoSocks", "svSocks4", ...

// Settings from a SOCKS profile row: svname, host, port, login, user, pass.
TIdSocksInfo SocksInfoFromProfile(std::string_view svname, const std::string& host, int port, bool login,
                                  const std::string& user, const std::string& pass);

class EIdSocksError : public EIdException {
public:
    explicit EIdSocksError(const std::string& message) : EIdException(message) {}
};
#define OSTRAFEN_SOCKS_ERROR(Name, Text)                           \
    class Name : public EIdSocksError {                            \
    public:                                                        \
        Name() : EIdSocksError(Text) {}                            \
    };
OSTRAFEN_SOCKS_ERROR(EIdSocksRequestFailed, "Request rejected or failed.")
OSTRAFEN_SOCKS_ERROR(EIdSocksRequestServerFailed, "Request rejected because SOCKS server cannot connect.")
OSTRAFEN_SOCKS_ERROR(EIdSocksRequestIdentFailed,
                     "Request rejected because the client program and identd report different user-ids.")
OSTRAFEN_SOCKS_ERROR(EIdSocksUnknownError, "Unknown socks error.")
OSTRAFEN_SOCKS_ERROR(EIdSocksServerRespondError, "Socks server did not respond.")
OSTRAFEN_SOCKS_ERROR(EIdSocksAuthMethodError, "Invalid socks authentication method.")
OSTRAFEN_SOCKS_ERROR(EIdSocksAuthError, "Authentication error to socks server.")
OSTRAFEN_SOCKS_ERROR(EIdSocksServerGeneralError, "General SOCKS server failure.")
OSTRAFEN_SOCKS_ERROR(EIdSocksServerPermissionError, "Connection not allowed by ruleset.")
OSTRAFEN_SOCKS_ERROR(EIdSocksServerNetUnreachableError, "Network unreachable.")
OSTRAFEN_SOCKS_ERROR(EIdSocksServerHostUnreachableError, "Host unreachable.")
OSTRAFEN_SOCKS_ERROR(EIdSocksServerConnectionRefusedError, "Connection refused.")
OSTRAFEN_SOCKS_ERROR(EIdSocksServerTTLExpiredError, "TTL expired.")
OSTRAFEN_SOCKS_ERROR(EIdSocksServerCommandError, "Command not supported.")
OSTRAFEN_SOCKS_ERROR(EIdSocksServerAddressError, "Address type not supported.")
#undef OSTRAFEN_SOCKS_ERROR

// A value the protocol cannot carry (a name or password over 255 bytes, a NUL
// byte inside a name, a port outside 0..65535): refused before any byte is sent.
class EIdSocksParameterError : public EIdSocksError {
public:
    explicit EIdSocksParameterError(const std::string& message) : EIdSocksError(message) {}
};

// The connection the handshake runs over.
//   send: writes every byte or throws.
//   recv: reads at most max bytes into buf, waiting at most timeoutMs;
//         returns the count (> 0), 0 when the peer closed, -1 when nothing
//         came in time. Throws on a socket error.
struct SocksIo {
    std::function<void(std::string_view bytes)> send;
    std::function<int(char* buf, int max, int timeoutMs)> recv;
};

// IPv4 address of a host in host byte order (SOCKS 4 resolves on this side).
// Throws when the host cannot be resolved.
using SocksResolver = std::function<std::uint32_t(const std::string& host)>;

// Decimal IPv4 literal ("a.b.c.d", "a.b.c", "a.b", "n") or "localhost" in any
// letter case -> address; false for anything else (no lookup).
bool ParseIPv4Literal(std::string_view text, std::uint32_t& address);

struct SocksHandshakeOptions {
    // Limit for the whole handshake; <= 0 means 120000 ms.
    int TimeoutMs = 0;
    // Called between read slices (at most every 50 ms) so the window stays alive.
    std::function<void()> Pump;
    // Needed for svSocks4 targets that are not IPv4 literals.
    SocksResolver Resolve;
};

// Asks the SOCKS server to connect on to targetHost:targetPort. svNoSocks does
// nothing. Reads never take more than needed, so bytes the target sends after
// the handshake stay unread. Throws an EIdSocksError (or the transport's own
// error) on failure.
void SocksHandshake(const TIdSocksInfo& info, const std::string& targetHost, int targetPort, const SocksIo& io,
                    const SocksHandshakeOptions& options = {});

// The request bytes, exposed for tests and logging. Throw EIdSocksParameterError.
std::string BuildSocks4Request(const TIdSocksInfo& info, const std::string& targetHost, int targetPort,
                               std::uint32_t resolvedAddress);
std::string BuildSocks5MethodOffer(const TIdSocksInfo& info);
std::string BuildSocks5AuthRequest(const TIdSocksInfo& info);
std::string BuildSocks5ConnectRequest(const std::string& targetHost, int targetPort);
