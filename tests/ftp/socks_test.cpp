#include "ftp/socks.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>

#include "tests/support/core/real_servers.h"

namespace {

using testing_support::ScriptedSocksServer;
using Step = ScriptedSocksServer::Step;

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out += char(v);
    return out;
}

// A plain blocking client socket with the SocksIo the handshake needs.
class Client {
public:
    explicit Client(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(std::uint16_t(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        io.send = [this](std::string_view b) {
            ++sends;
            std::size_t done = 0;
            while (done < b.size()) {
                const ssize_t n = ::send(fd_, b.data() + done, b.size() - done, MSG_NOSIGNAL);
                if (n <= 0) throw EIdException("send failed");
                done += std::size_t(n);
            }
        };
        io.recv = [this](char* buf, int max, int timeoutMs) -> int {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, timeoutMs) <= 0) return -1;
            const ssize_t n = ::recv(fd_, buf, std::size_t(max), 0);
            if (n < 0) throw EIdException("recv failed");
            return int(n);
        };
    }
    ~Client() { ::close(fd_); }
    bool Connected() const { return connected_; }
    // What the peer sends after the handshake.
    std::string ReadFor(std::size_t n) {
        std::string out;
        char buf[256];
        while (out.size() < n) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 2000) <= 0) break;
            const ssize_t got = ::recv(fd_, buf, std::min(sizeof buf, n - out.size()), 0);
            if (got <= 0) break;
            out.append(buf, std::size_t(got));
        }
        return out;
    }
    void Close() { ::shutdown(fd_, SHUT_RDWR); }

    SocksIo io;
    int sends = 0;

private:
    int fd_ = -1;
    bool connected_ = false;
};

TIdSocksInfo info(TSocksVersion v, const std::string& user = "", const std::string& pass = "") {
    TIdSocksInfo i;
    i.Version = v;
    i.Host = "127.0.0.1";
    if (!user.empty() || !pass.empty()) {
        i.Authentication = saUsernamePassword;
        i.Username = user;
        i.Password = pass;
    }
    return i;
}

const std::string kHost11 = "ftp.foo.org";  // 11 bytes
const std::string kGreeting = "220 ready\r\n";
const std::string kSocks5Bound = bytes({5, 0, 0, 1, 127, 0, 0, 1, 0x04, 0x38});

// Runs one handshake against a scripted server; returns the error text ("" = success).
std::string runScript(const TIdSocksInfo& settings, const std::string& host, int port, std::vector<Step> steps,
                      std::string* received = nullptr, bool* greetingIntact = nullptr) {
    ScriptedSocksServer server(std::move(steps), kGreeting);
    Client client(server.Port());
    EXPECT_TRUE(client.Connected());
    std::string error;
    SocksHandshakeOptions options;
    options.TimeoutMs = 3000;
    try {
        SocksHandshake(settings, host, port, client.io, options);
        if (greetingIntact) *greetingIntact = client.ReadFor(kGreeting.size()) == kGreeting;
    } catch (const EIdSocksError& e) {
        error = e.what();
    }
    client.Close();
    server.WaitDone(3000);
    if (received) *received = server.Received();
    return error;
}

TEST(SocksRequests, Socks4SendsTheResolvedAddressAndAnEmptyUser) {
    const std::string expected = bytes({4, 1, 0, 21, 10, 0, 0, 5, 0});
    EXPECT_EQ(BuildSocks4Request(info(svSocks4), "10.0.0.5", 21, 0x0A000005), expected);
    bool intact = false;
    std::string got;
    EXPECT_EQ(runScript(info(svSocks4), "10.0.0.5", 21, {{expected, bytes({0, 90, 0, 0, 0, 0, 0, 0})}}, &got, &intact),
              "");
    EXPECT_EQ(got, expected);
    EXPECT_TRUE(intact) << "the handshake read past its reply";
}

TEST(SocksRequests, Socks4ANamesTheHostAfterTheUser) {
    TIdSocksInfo s = info(svSocks4A);
    s.Username = "abc";  // SOCKS 4 sends the user name whatever the authentication setting
    const std::string expected = bytes({4, 1, 0, 21, 0, 0, 0, 1}) + "abc" + std::string(1, '\0') + kHost11 +
                                 std::string(1, '\0');
    bool intact = false;
    EXPECT_EQ(runScript(s, kHost11, 21, {{expected, bytes({0, 90, 0, 0, 0, 0, 0, 0})}}, nullptr, &intact), "");
    EXPECT_TRUE(intact);
    // SOCKS 4 sends at most 255 bytes of the user name.
    s.Username = std::string(300, 'u');
    EXPECT_EQ(BuildSocks4Request(s, kHost11, 21, 0).size(), 8u + 255 + 1 + 11 + 1);
}

TEST(SocksRequests, Socks5WithoutLoginSendsTheTargetAsAName) {
    const std::vector<Step> steps = {
        {bytes({5, 1, 0}), bytes({5, 0})},
        {bytes({5, 1, 0, 3, 11}) + kHost11 + bytes({8, 73}), kSocks5Bound},
    };
    bool intact = false;
    EXPECT_EQ(runScript(info(svSocks5), kHost11, 2121, steps, nullptr, &intact), "");
    EXPECT_TRUE(intact);
    // Even an address literal goes as a name.
    EXPECT_EQ(BuildSocks5ConnectRequest("10.0.0.5", 21), bytes({5, 1, 0, 3, 8}) + "10.0.0.5" + bytes({0, 21}));
}

TEST(SocksRequests, Socks5WithLoginSendsUserAndPassword) {
    const std::vector<Step> steps = {
        {bytes({5, 1, 2}), bytes({5, 2})},
        {bytes({1, 4}) + "user" + bytes({6}) + "secret", bytes({1, 0})},
        {bytes({5, 1, 0, 3, 9}) + "127.0.0.1" + bytes({0, 21}), kSocks5Bound},
    };
    bool intact = false;
    EXPECT_EQ(runScript(info(svSocks5, "user", "secret"), "127.0.0.1", 21, steps, nullptr, &intact), "");
    EXPECT_TRUE(intact);
}

TEST(SocksRequests, Socks5ReadsEveryBoundAddressForm) {
    const std::string connect = bytes({5, 1, 0, 3, 1}) + "h" + bytes({0, 21});
    for (const std::string& bound : {bytes({5, 0, 0, 3, 4}) + "abcd" + bytes({0, 1}),
                                     bytes({5, 0, 0, 4}) + std::string(16, '\x01') + bytes({0, 1})}) {
        bool intact = false;
        EXPECT_EQ(runScript(info(svSocks5), "h", 21, {{bytes({5, 1, 0}), bytes({5, 0})}, {connect, bound}}, nullptr,
                            &intact),
                  "");
        EXPECT_TRUE(intact);
    }
    // An address type of unknown length cannot be skipped safely.
    EXPECT_EQ(runScript(info(svSocks5), "h", 21,
                        {{bytes({5, 1, 0}), bytes({5, 0})}, {connect, bytes({5, 0, 0, 9, 0, 0, 0})}}),
              "Address type not supported.");
}

TEST(SocksErrors, Socks4ReplyCodes) {
    const std::pair<int, const char*> cases[] = {
        {91, "Request rejected or failed."},
        {92, "Request rejected because SOCKS server cannot connect."},
        {93, "Request rejected because the client program and identd report different user-ids."},
        {0, "Unknown socks error."},
        {255, "Unknown socks error."},
    };
    const std::string request = bytes({4, 1, 0, 21, 127, 0, 0, 1, 0});
    for (const auto& [code, text] : cases)
        EXPECT_EQ(runScript(info(svSocks4), "127.0.0.1", 21, {{request, bytes({0, code, 0, 0, 0, 0, 0, 0})}}), text)
            << code;
}

TEST(SocksErrors, Socks5ReplyCodes) {
    const char* texts[] = {"",
                           "General SOCKS server failure.",
                           "Connection not allowed by ruleset.",
                           "Network unreachable.",
                           "Host unreachable.",
                           "Connection refused.",
                           "TTL expired.",
                           "Command not supported.",
                           "Address type not supported.",
                           "Unknown socks error."};
    const std::string connect = bytes({5, 1, 0, 3, 1}) + "h" + bytes({0, 21});
    for (int code = 1; code <= 9; ++code)
        EXPECT_EQ(runScript(info(svSocks5), "h", 21,
                            {{bytes({5, 1, 0}), bytes({5, 0})}, {connect, bytes({5, code, 0, 1, 0, 0, 0, 0, 0, 0})}}),
                  texts[code])
            << code;
}

TEST(SocksErrors, Socks5MethodAndLoginRefusals) {
    // Chose "no authentication" although a login was offered, or none acceptable.
    EXPECT_EQ(runScript(info(svSocks5, "u", "p"), "h", 21, {{bytes({5, 1, 2}), bytes({5, 0})}}),
              "Invalid socks authentication method.");
    EXPECT_EQ(runScript(info(svSocks5), "h", 21, {{bytes({5, 1, 0}), bytes({5, 0xFF})}}),
              "Invalid socks authentication method.");
    EXPECT_EQ(runScript(info(svSocks5, "u", "p"), "h", 21,
                        {{bytes({5, 1, 2}), bytes({5, 2})}, {bytes({1, 1}) + "u" + bytes({1}) + "p", bytes({1, 1})}}),
              "Authentication error to socks server.");
}

TEST(SocksErrors, ServerThatGoesQuietOrAwayFailsInTime) {
    for (TSocksVersion v : {svSocks4, svSocks5}) {
        ScriptedSocksServer server(std::vector<Step>{Step{"", ""}});
        Client client(server.Port());
        int pumps = 0;
        SocksHandshakeOptions options;
        options.TimeoutMs = 300;
        options.Pump = [&] { ++pumps; };
        const auto start = std::chrono::steady_clock::now();
        EXPECT_THROW(SocksHandshake(info(v), "127.0.0.1", 21, client.io, options), EIdSocksServerRespondError);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_GE(took, std::chrono::milliseconds(250));
        EXPECT_LT(took, std::chrono::seconds(2));
        EXPECT_GE(pumps, 3) << "the wait must keep the window alive";
    }
    // A server that closes halfway through its reply.
    EXPECT_EQ(runScript(info(svSocks5), "h", 21, {{bytes({5, 1, 0}), bytes({5}), true}}), "Socks server did not respond.");
    // A transport error while reading is reported the same way.
    SocksIo broken;
    broken.send = [](std::string_view) {};
    broken.recv = [](char*, int, int) -> int { throw EIdException("Socket Error # 10054"); };
    EXPECT_THROW(SocksHandshake(info(svSocks4A), "h", 21, broken), EIdSocksServerRespondError);
}

TEST(SocksHandshake, NoSocksExchangesNothing) {
    int calls = 0;
    SocksIo io;
    io.send = [&](std::string_view) { ++calls; };
    io.recv = [&](char*, int, int) {
        ++calls;
        return -1;
    };
    SocksHandshake(TIdSocksInfo{}, "example.org", 21, io);
    EXPECT_EQ(calls, 0);
}

TEST(SocksHandshake, RefusesWhatTheProtocolCannotCarryBeforeSending) {
    int sends = 0;
    SocksIo io;
    io.send = [&](std::string_view) { ++sends; };
    io.recv = [](char* buf, int, int) {
        buf[0] = 0;
        return 1;
    };
    const std::string longText(256, 'x');
    EXPECT_THROW(SocksHandshake(info(svSocks5, longText, "p"), "h", 21, io), EIdSocksParameterError);
    EXPECT_THROW(SocksHandshake(info(svSocks5, "u", longText), "h", 21, io), EIdSocksParameterError);
    EXPECT_THROW(SocksHandshake(info(svSocks5), longText, 21, io), EIdSocksParameterError);
    EXPECT_THROW(SocksHandshake(info(svSocks5), "", 21, io), EIdSocksParameterError);
    EXPECT_THROW(SocksHandshake(info(svSocks4A), std::string("a\0b", 3), 21, io), EIdSocksParameterError);
    EXPECT_THROW(SocksHandshake(info(svSocks4, std::string("a\0b", 3)), "1.2.3.4", 21, io), EIdSocksParameterError);
    EXPECT_THROW(SocksHandshake(info(svSocks5), "h", 70000, io), EIdSocksParameterError);
    // SOCKS 4 must resolve on this side; without a resolver only literals work.
    EXPECT_THROW(SocksHandshake(info(svSocks4), "ftp.example.org", 21, io), EIdSocksParameterError);
    EXPECT_EQ(sends, 0);
    // 255 bytes still fit.
    EXPECT_EQ(BuildSocks5AuthRequest(info(svSocks5, std::string(255, 'u'), std::string(255, 'p'))).size(), 513u);
}

TEST(SocksHandshake, Socks4UsesTheResolverForNames) {
    std::string asked;
    SocksHandshakeOptions options;
    options.TimeoutMs = 3000;
    options.Resolve = [&](const std::string& host) {
        asked = host;
        return std::uint32_t(0x7F000001);
    };
    ScriptedSocksServer server({{bytes({4, 1, 0, 21, 127, 0, 0, 1, 0}), bytes({0, 90, 0, 0, 0, 0, 0, 0})}});
    Client client(server.Port());
    SocksHandshake(info(svSocks4), "ftp.example.org", 21, client.io, options);
    EXPECT_EQ(asked, "ftp.example.org");
}

TEST(SocksSettings, LiteralsProfilesAndNames) {
    std::uint32_t a = 0;
    EXPECT_TRUE(ParseIPv4Literal("10.0.0.5", a));
    EXPECT_EQ(a, 0x0A000005u);
    EXPECT_TRUE(ParseIPv4Literal("10.0.261", a));  // last of three parts spans two bytes
    EXPECT_EQ(a, 0x0A000105u);
    EXPECT_TRUE(ParseIPv4Literal("10.5", a));
    EXPECT_EQ(a, 0x0A000005u);
    EXPECT_TRUE(ParseIPv4Literal("167772165", a));
    EXPECT_EQ(a, 0x0A000005u);
    EXPECT_TRUE(ParseIPv4Literal("LocalHost", a));
    EXPECT_EQ(a, 0x7F000001u);
    for (const char* bad : {"", "256.0.0.1", "1.2.3.256", "1.2.3.4.5", "1..2", "a.b.c.d", "4294967296", "1.2.3.",
                            "0x7f.0.0.1"})
        EXPECT_FALSE(ParseIPv4Literal(bad, a)) << bad;

    TIdSocksInfo s = SocksInfoFromProfile("Socks5", "proxy", 1081, true, "u", "p");
    EXPECT_EQ(s.Version, svSocks5);
    EXPECT_EQ(s.Authentication, saUsernamePassword);
    EXPECT_EQ(s.Username, "u");
    s = SocksInfoFromProfile("Socks4A", "proxy", 1080, false, "u", "p");
    EXPECT_EQ(s.Version, svSocks4A);
    EXPECT_EQ(s.Authentication, saNoAuthentication);
    EXPECT_EQ(s.Username, "");
    EXPECT_EQ(SocksInfoFromProfile("NoSocks", "", 0, false, "", "").Version, svNoSocks);
    EXPECT_EQ(SocksVersionFromName("Socks4"), svSocks4);
    EXPECT_EQ(SocksVersionName(svSocks4A), "svSocks4A");
    EXPECT_EQ(TIdSocksInfo{}.Port, 1080);
    EXPECT_FALSE(TIdSocksInfo{}.Enabled());
}

}  // namespace
