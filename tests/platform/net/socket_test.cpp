// The socket layer under the FTP client: address literals, lookups, error
// numbers and texts, the timed connect worker and the library start count.
#include <gtest/gtest.h>

#include <cerrno>

#include "platform/net/connect_worker.h"
#include "platform/net/socket.h"
#include "platform/net/socket_errors.h"
#include "platform/net/stack.h"
#include "platform/net/tick.h"

namespace {

// Winsock needs its library started before the first socket call.
const net::StackUser gStack;

std::uint32_t lit(const std::string& s) {
    std::uint32_t v = 0;
    EXPECT_TRUE(net::parseIPv4Literal(s, v)) << s;
    return v;
}

bool isLit(const std::string& s) {
    std::uint32_t v;
    return net::parseIPv4Literal(s, v);
}

struct Listener {
    net::SocketHandle s = net::kInvalidSocket;
    int port = 0;
    explicit Listener(int backlog = 4) {
        int err = 0;
        s = net::createTcpSocket(err);
        EXPECT_EQ(net::bindSocket(s, "127.0.0.1", 0), 0);
        EXPECT_EQ(net::listenSocket(s, backlog), 0);
        std::string ip;
        std::uint16_t p = 0;
        net::localAddress(s, ip, p);
        port = p;
    }
    ~Listener() { net::closeSocket(s); }
};

} // namespace

TEST(IPv4Literal, OneToFourPartsWithTheLastFillingTheRest) {
    EXPECT_EQ(lit("10.0.0.5"), 0x0A000005u);
    EXPECT_EQ(lit("127.1"), 0x7F000001u);
    EXPECT_EQ(lit("10.1.65535"), 0x0A01FFFFu);
    EXPECT_EQ(lit("10.16777215"), 0x0AFFFFFFu);
    EXPECT_EQ(lit("4294967295"), 0xFFFFFFFFu);
    EXPECT_EQ(lit("0"), 0u);
    EXPECT_FALSE(isLit("256.0.0.1"));
    EXPECT_FALSE(isLit("1.2.65536"));
    EXPECT_FALSE(isLit("1.16777216"));
    EXPECT_FALSE(isLit("4294967296"));
    EXPECT_FALSE(isLit("1.2.3.4.5"));
    EXPECT_FALSE(isLit("1..2"));
    EXPECT_FALSE(isLit("1.2."));
    EXPECT_FALSE(isLit(""));
    EXPECT_FALSE(isLit("ftp.example.org"));
    EXPECT_FALSE(isLit("0x7f.1"));
    EXPECT_EQ(net::formatIPv4(0xC0A80114u), "192.168.1.20");
}

TEST(Resolve, LocalhostLiteralsAndUnknownNames) {
    std::string ip;
    EXPECT_EQ(net::resolveIPv4("LOCALHOST", ip), 0);
    EXPECT_EQ(ip, "127.0.0.1");
    EXPECT_EQ(net::resolveIPv4("127.1", ip), 0);
    EXPECT_EQ(ip, "127.0.0.1");
    EXPECT_EQ(net::resolveIPv4("no-such-host.invalid", ip), 11001);
}

TEST(SocketErrors, PosixNumbersMapToWindowsSocketsNumbersAndTexts) {
    EXPECT_EQ(net::wsaFromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(net::wsaFromErrno(ECONNRESET), 10054);
    EXPECT_EQ(net::wsaFromErrno(ETIMEDOUT), 10060);
    EXPECT_EQ(net::wsaFromErrno(EADDRINUSE), 10048);
    EXPECT_EQ(net::wsaFromErrno(ENOTSOCK), 10038);
    EXPECT_EQ(net::wsaFromErrno(EHOSTUNREACH), 10065);
    EXPECT_EQ(net::socketErrorText(10061), "Connection refused.");
    EXPECT_EQ(net::socketErrorText(10035), "Operation would block. ");
    EXPECT_EQ(net::socketErrorText(10066), "Directory not empty");
    EXPECT_EQ(net::socketErrorText(11001), "Host not found.");
    EXPECT_EQ(net::socketErrorText(12345), "");
    // Every number of the table has a text.
    for (int c = 10004; c <= 10066; ++c) {
        const bool listed = c == 10004 || c == 10009 || c == 10013 || c == 10014 || c == 10022 || c == 10024 ||
                            c >= 10035;
        EXPECT_EQ(!net::socketErrorText(c).empty(), listed) << c;
    }
}

TEST(Sockets, ConnectSendReceiveAndOrderlyClose) {
    Listener l;
    int err = 0;
    net::SocketHandle c = net::createTcpSocket(err);
    ASSERT_NE(c, net::kInvalidSocket);
    ASSERT_EQ(net::connectSocket(c, "127.0.0.1", static_cast<std::uint16_t>(l.port)), 0);
    std::string peer;
    std::uint16_t peerPort = 0;
    net::SocketHandle a = net::acceptSocket(l.s, peer, peerPort, err);
    ASSERT_NE(a, net::kInvalidSocket);
    EXPECT_EQ(peer, "127.0.0.1");
    EXPECT_EQ(net::waitReadable(a, 1, err), 0);
    EXPECT_EQ(net::sendSome(c, "ping", 4, err), 4);
    EXPECT_EQ(net::waitReadable(a, 2000, err), 1);
    char buf[8];
    EXPECT_EQ(net::recvSome(a, buf, sizeof buf, err), 4);
    EXPECT_EQ(std::string(buf, 4), "ping");
    net::shutdownSend(c);
    EXPECT_EQ(net::waitReadable(a, 2000, err), 1);
    EXPECT_EQ(net::recvSome(a, buf, sizeof buf, err), 0);
    net::closeSocket(a);
    net::closeSocket(c);
}

TEST(Sockets, RefusedConnectAndBindConflict) {
    int port;
    {
        Listener l;
        port = l.port;
    }
    int err = 0;
    net::SocketHandle c = net::createTcpSocket(err);
    EXPECT_EQ(net::connectSocket(c, "127.0.0.1", static_cast<std::uint16_t>(port)), 10061);
    net::closeSocket(c);

    Listener l;
    net::SocketHandle b = net::createTcpSocket(err);
    EXPECT_EQ(net::bindSocket(b, "127.0.0.1", static_cast<std::uint16_t>(l.port)), 10048);
    EXPECT_EQ(net::bindSocket(b, "300.1.1.1", 0), 10049);
    net::closeSocket(b);
}

TEST(ConnectWorker, FinishesWithTheConnectResult) {
    Listener l;
    int err = 0;
    net::SocketHandle c = net::createTcpSocket(err);
    net::ConnectWorker w(c, "127.0.0.1", static_cast<std::uint16_t>(l.port));
    EXPECT_TRUE(w.waitFor(5000));
    EXPECT_EQ(w.error(), 0);
    net::closeSocket(c);
}

TEST(ConnectWorker, CancelEndsAConnectThatHangs) {
    // A listener whose queue is full drops further SYNs, so a connect hangs.
    Listener l(0);
    std::vector<net::SocketHandle> fillers;
    int err = 0;
    bool hung = false;
    for (int i = 0; i < 8 && !hung; ++i) {
        net::SocketHandle c = net::createTcpSocket(err);
        auto w = std::make_unique<net::ConnectWorker>(c, "127.0.0.1", static_cast<std::uint16_t>(l.port));
        if (w->waitFor(300)) {
            fillers.push_back(c);
            continue;
        }
        hung = true;
        const auto start = net::tickCount64();
        w->cancel();
        EXPECT_TRUE(w->finished());
        EXPECT_LT(net::tickCount64() - start, 2000u);
        if (!w->released()) net::closeSocket(c);
    }
    for (auto s : fillers) net::closeSocket(s);
    if (!hung) GTEST_SKIP() << "the kernel accepted every connect";
}

TEST(Stack, CountsUsersUnderOneLock) {
    const int before = net::StackUser::count();
    {
        net::StackUser a;
        net::StackUser b(a);
        EXPECT_EQ(net::StackUser::count(), before + 2);
    }
    EXPECT_EQ(net::StackUser::count(), before);
}

TEST(Tick, IsMonotonic) {
    const auto a = net::tickCount64();
    const auto b = net::tickCount64();
    EXPECT_LE(a, b);
    EXPECT_EQ(static_cast<std::uint32_t>(b) - net::tickCount() <= 1000u, true);
}

TEST(IPv6, AddressTextsLookupsAndALoopbackConnection) {
    std::vector<std::string> a;
    EXPECT_EQ(net::resolveHost("::1", a), 0);
    EXPECT_EQ(a, std::vector<std::string>{"::1"});
    EXPECT_EQ(net::resolveHost("[2001:DB8:0:0::1]", a), 0);
    EXPECT_EQ(a, std::vector<std::string>{"2001:db8::1"});
    EXPECT_EQ(net::resolveHost("LocalHost", a), 0);
    EXPECT_EQ(a, std::vector<std::string>{"127.0.0.1"});
    EXPECT_EQ(net::resolveHost("10.1", a), 0);
    EXPECT_EQ(a, std::vector<std::string>{"10.0.0.1"});
    EXPECT_EQ(net::resolveHost("no-such-host.invalid", a), 11001);
    EXPECT_TRUE(net::isIPv6Literal("fe80::1"));
    EXPECT_FALSE(net::isIPv6Literal("[::1]"));
    EXPECT_FALSE(net::isIPv6Literal("1.2.3.4"));
    EXPECT_FALSE(net::isIPv6Literal("::g"));

    int err = 0;
    net::SocketHandle l = net::createTcpSocketFor("::1", err);
    ASSERT_NE(l, net::kInvalidSocket);
    if (net::bindSocket(l, "::1", 0) != 0) {
        net::closeSocket(l);
        GTEST_SKIP() << "no ::1 on this machine";
    }
    ASSERT_EQ(net::listenSocket(l, 4), 0);
    std::string ip;
    std::uint16_t port = 0;
    ASSERT_EQ(net::localAddress(l, ip, port), 0);
    EXPECT_EQ(ip, "::1");
    net::SocketHandle c = net::createTcpSocketFor(ip, err);
    ASSERT_EQ(net::connectSocket(c, "::1", port), 0);
    std::string peer;
    std::uint16_t peerPort = 0;
    net::SocketHandle s = net::acceptSocket(l, peer, peerPort, err);
    ASSERT_NE(s, net::kInvalidSocket);
    EXPECT_EQ(peer, "::1");
    EXPECT_EQ(net::sendSome(c, "six", 3, err), 3);
    char buf[8] = {};
    EXPECT_EQ(net::recvSome(s, buf, sizeof buf, err), 3);
    EXPECT_STREQ(buf, "six");
    // An IPv4 text cannot go to an IPv6 socket, and no text is no address.
    EXPECT_NE(net::connectSocket(c, "127.0.0.1", port), 0);
    EXPECT_EQ(net::bindSocket(l, "::zz", 0), 10049);
    for (net::SocketHandle h : {s, c, l}) net::closeSocket(h);
}
