#include "ftp/socks.h"

#include <algorithm>
#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDefaultHandshakeMs = 120000;
constexpr int kSliceMs = 50;

void putPort(std::string& out, int port) {
    out += char((port >> 8) & 0xFF);
    out += char(port & 0xFF);
}

void checkPort(int port) {
    if (port < 0 || port > 65535) throw EIdSocksParameterError("Invalid SOCKS target port.");
}

void checkTargetName(const std::string& host) {
    if (host.empty()) throw EIdSocksParameterError("SOCKS target host name is empty.");
    if (host.size() > 255) throw EIdSocksParameterError("SOCKS target host name is longer than 255 bytes.");
    if (host.find('\0') != std::string::npos)
        throw EIdSocksParameterError("SOCKS target host name contains a NUL byte.");
}

char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// Reads exactly count bytes (never more, so the target's first bytes stay in
// the socket) within the handshake's deadline, pumping messages between slices.
std::string readExactly(const SocksIo& io, std::size_t count, Clock::time_point deadline,
                        const std::function<void()>& pump) {
    std::string out;
    char buf[300];
    while (out.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) throw EIdSocksServerRespondError();
        const int slice = int(std::min<long long>(left, kSliceMs));
        const int want = int(std::min<std::size_t>(count - out.size(), sizeof buf));
        int got;
        try {
            got = io.recv(buf, want, slice);
        } catch (const EIdException&) {
            throw EIdSocksServerRespondError();
        }
        if (got == 0) throw EIdSocksServerRespondError();
        if (got > 0) out.append(buf, std::size_t(std::min(got, want)));
        if (pump) pump();
    }
    return out;
}

void socks4(const TIdSocksInfo& info, const std::string& host, int port, const SocksIo& io,
            const SocksHandshakeOptions& options, Clock::time_point deadline) {
    std::uint32_t address = 1;
    if (info.Version == svSocks4) {
        if (options.Resolve) {
            address = options.Resolve(host);
        } else if (!ParseIPv4Literal(host, address)) {
            throw EIdSocksParameterError("Cannot resolve the SOCKS target host " + host + ".");
        }
    }
    io.send(BuildSocks4Request(info, host, port, address));
    const std::string reply = readExactly(io, 8, deadline, options.Pump);
    switch (static_cast<unsigned char>(reply[1])) {
    case 90: return;
    case 91: throw EIdSocksRequestFailed();
    case 92: throw EIdSocksRequestServerFailed();
    case 93: throw EIdSocksRequestIdentFailed();
    default: throw EIdSocksUnknownError();
    }
}

void socks5(const TIdSocksInfo& info, const std::string& host, int port, const SocksIo& io,
            const SocksHandshakeOptions& options, Clock::time_point deadline) {
    // Refuse what the one-byte lengths cannot carry before anything goes out.
    const std::string connect = BuildSocks5ConnectRequest(host, port);
    const bool login = info.Authentication == saUsernamePassword;
    const std::string auth = login ? BuildSocks5AuthRequest(info) : std::string();

    const std::string offer = BuildSocks5MethodOffer(info);
    io.send(offer);
    const std::string method = readExactly(io, 2, deadline, options.Pump);
    if (method[1] != offer[2]) throw EIdSocksAuthMethodError();

    if (login) {
        io.send(auth);
        const std::string status = readExactly(io, 2, deadline, options.Pump);
        if (status[1] != 0) throw EIdSocksAuthError();
    }

    io.send(connect);
    const std::string head = readExactly(io, 5, deadline, options.Pump);
    switch (static_cast<unsigned char>(head[1])) {
    case 0: break;
    case 1: throw EIdSocksServerGeneralError();
    case 2: throw EIdSocksServerPermissionError();
    case 3: throw EIdSocksServerNetUnreachableError();
    case 4: throw EIdSocksServerHostUnreachableError();
    case 5: throw EIdSocksServerConnectionRefusedError();
    case 6: throw EIdSocksServerTTLExpiredError();
    case 7: throw EIdSocksServerCommandError();
    case 8: throw EIdSocksServerAddressError();
    default: throw EIdSocksUnknownError();
    }
    std::size_t more;
    switch (static_cast<unsigned char>(head[3])) {
    case 1: more = 5; break;
    case 3: more = std::size_t(static_cast<unsigned char>(head[4])) + 2; break;
    case 4: more = 17; break;
    default:
        // The length of an unknown address cannot be known; guessing would
        // leave stray bytes in front of the FTP greeting.
        throw EIdSocksServerAddressError();
    }
    readExactly(io, more, deadline, options.Pump);
}

}  // namespace

TSocksVersion SocksVersionFromName(std::string_view svname) {
    if (svname == "Socks4" || svname == "svSocks4") return svSocks4;
    if (svname == "Socks4A" || svname == "svSocks4A") return svSocks4A;
    if (svname == "Socks5" || svname == "svSocks5") return svSocks5;
    return svNoSocks;
}

std::string SocksVersionName(TSocksVersion v) {
    switch (v) {
    case svSocks4: return "svSocks4";
    case svSocks4A: return "svSocks4A";
    case svSocks5: return "svSocks5";
    case svNoSocks: break;
    }
    return "svNoSocks";
}

TIdSocksInfo SocksInfoFromProfile(std::string_view svname, const std::string& host, int port, bool login,
                                  const std::string& user, const std::string& pass) {
    TIdSocksInfo info;
    info.Version = SocksVersionFromName(svname);
    info.Host = host;
    info.Port = port;
    if (login) {
        info.Authentication = saUsernamePassword;
        info.Username = user;
        info.Password = pass;
    }
    return info;
}

bool ParseIPv4Literal(std::string_view text, std::uint32_t& address) {
    if (text.size() == 9) {
        bool local = true;
        for (std::size_t i = 0; i < 9; ++i)
            if (lower(text[i]) != "localhost"[i]) local = false;
        if (local) {
            address = 0x7F000001u;
            return true;
        }
    }
    std::uint64_t parts[4];
    std::size_t n = 0;
    std::size_t pos = 0;
    while (true) {
        if (n == 4) return false;
        std::size_t end = text.find('.', pos);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view p = text.substr(pos, end - pos);
        if (p.empty() || p.size() > 10) return false;
        std::uint64_t v = 0;
        for (char c : p) {
            if (c < '0' || c > '9') return false;
            v = v * 10 + unsigned(c - '0');
        }
        parts[n++] = v;
        if (end == text.size()) break;
        pos = end + 1;
    }
    // The last part fills every byte the earlier parts leave free.
    const std::uint64_t lastLimit[] = {0xFFFFFFFFull, 0xFFFFFFull, 0xFFFFull, 0xFFull};
    if (parts[n - 1] > lastLimit[n - 1]) return false;
    std::uint32_t a = 0;
    for (std::size_t i = 0; i + 1 < n; ++i) {
        if (parts[i] > 255) return false;
        a |= std::uint32_t(parts[i]) << (24 - 8 * i);
    }
    address = a | std::uint32_t(parts[n - 1]);
    return true;
}

std::string BuildSocks4Request(const TIdSocksInfo& info, const std::string& targetHost, int targetPort,
                               std::uint32_t resolvedAddress) {
    checkPort(targetPort);
    const std::string user = info.Username.substr(0, 255);
    if (user.find('\0') != std::string::npos) throw EIdSocksParameterError("SOCKS user name contains a NUL byte.");
    if (info.Version == svSocks4A) {
        checkTargetName(targetHost);
        resolvedAddress = 1;
    }
    std::string out;
    out += char(4);
    out += char(1);
    putPort(out, targetPort);
    for (int shift = 24; shift >= 0; shift -= 8) out += char((resolvedAddress >> shift) & 0xFF);
    out += user;
    out += '\0';
    if (info.Version == svSocks4A) {
        out += targetHost;
        out += '\0';
    }
    return out;
}

std::string BuildSocks5MethodOffer(const TIdSocksInfo& info) {
    std::string out;
    out += char(5);
    out += char(1);
    out += char(info.Authentication == saUsernamePassword ? 2 : 0);
    return out;
}

std::string BuildSocks5AuthRequest(const TIdSocksInfo& info) {
    if (info.Username.size() > 255) throw EIdSocksParameterError("SOCKS user name is longer than 255 bytes.");
    if (info.Password.size() > 255) throw EIdSocksParameterError("SOCKS password is longer than 255 bytes.");
    std::string out;
    out += char(1);
    out += char(info.Username.size());
    out += info.Username;
    out += char(info.Password.size());
    out += info.Password;
    return out;
}

std::string BuildSocks5ConnectRequest(const std::string& targetHost, int targetPort) {
    checkPort(targetPort);
    checkTargetName(targetHost);
    std::string out;
    out += char(5);
    out += char(1);
    out += char(0);
    out += char(3);
    out += char(targetHost.size());
    out += targetHost;
    putPort(out, targetPort);
    return out;
}

void SocksHandshake(const TIdSocksInfo& info, const std::string& targetHost, int targetPort, const SocksIo& io,
                    const SocksHandshakeOptions& options) {
    if (info.Version == svNoSocks) return;
    const int limit = options.TimeoutMs > 0 ? options.TimeoutMs : kDefaultHandshakeMs;
    const auto deadline = Clock::now() + std::chrono::milliseconds(limit);
    if (info.Version == svSocks5)
        socks5(info, targetHost, targetPort, io, options, deadline);
    else
        socks4(info, targetHost, targetPort, io, options, deadline);
}
