// The control connection: reply parsing, line limits, closes, time-outs and
// the line log, against the scripted server.
#include "platform/net/stack.h"
#include "tests/ftp/ftp_test_util.h"

#include "platform/net/socket.h"
#include "platform/net/tick.h"

using testing_support::ScriptedFtpServer;
using namespace ftptest;

namespace {

// Connects without logging in; the greeting is the first reply of the script.
void connectOnly(TIdFTP& ftp, ScriptedFtpServer& srv) {
    configure(ftp, srv);
    srv.start();
    ftp.OpenConnection(false, 5000);
}

} // namespace

TEST(ReplyParsing, MultiLineReplyKeepsEveryLineWithoutItsFirstFourCharacters) {
    ScriptedFtpServer srv;
    srv.send("220-Welcome\r\nhello\r\n220-more\r\n220 ready\r\n");
    TIdFTP ftp;
    connectOnly(ftp, srv);
    EXPECT_EQ(ftp.Greeting().NumericCode, 220);
    EXPECT_EQ(ftp.Greeting().TextCode, "220");
    EXPECT_EQ(ftp.Greeting().Text, (std::vector<std::string>{"Welcome", "o", "more", "ready"}));
}

TEST(ReplyParsing, ShortContinuationLineEndsTheReplyAndTheRestIsTheNextReply) {
    ScriptedFtpServer srv;
    srv.greet("220 ok").expect("NOOP", "211-status\nab\n211 end").expect("NOOP", "200 fine");
    TIdFTP ftp;
    connectOnly(ftp, srv);
    EXPECT_EQ(ftp.RunCommand("NOOP", -1), 211);
    EXPECT_EQ(ftp.Text(), (std::vector<std::string>{"status", ""}));
    // "211 end" is left over and answers the next command.
    EXPECT_EQ(ftp.RunCommand("NOOP", -1), 211);
    EXPECT_EQ(ftp.Text(), (std::vector<std::string>{"end"}));
    EXPECT_EQ(ftp.RunCommand("NOOP", -1), 200);
}

TEST(ReplyParsing, BlankLinesLeadingBlanksBareCodesAndLineEndings) {
    ScriptedFtpServer srv;
    srv.send("\r\n   \r\n  220 hi\r\n")
        .expect("A", "250")
        .expect("B")
        .send("200 lf only\n")
        .expect("C")
        .send("200 cr\rinside\r\n")
        .expect("D")
        .send("abc text\r\n");
    TIdFTP ftp;
    connectOnly(ftp, srv);
    EXPECT_EQ(ftp.Greeting().Text, (std::vector<std::string>{"hi"}));
    EXPECT_EQ(ftp.RunCommand("A", 250), 250);
    EXPECT_EQ(ftp.TextCode(), "250");
    EXPECT_EQ(ftp.Text(), (std::vector<std::string>{""}));
    EXPECT_EQ(ftp.RunCommand("B", 200), 200);
    EXPECT_EQ(ftp.Text()[0], "lf only");
    EXPECT_EQ(ftp.RunCommand("C", 200), 200);
    EXPECT_EQ(ftp.Text()[0], "cr\rinside");
    // A code that is no number gives 0 and is refused against any code list.
    EXPECT_THROW(ftp.RunCommand("D", 200), EIdProtocolReplyError);
    EXPECT_EQ(ftp.NumericCode(), 0);
    EXPECT_EQ(ftp.TextCode(), "abc");
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
}

TEST(ReplyParsing, RefusedReplyCarriesCodeAndTextAndLeavesTheConnectionOpen) {
    ScriptedFtpServer srv;
    srv.greet("220 ok").expect("CWD x", "550-No such\n550 folder").expect("NOOP", "200 ok");
    TIdFTP ftp;
    connectOnly(ftp, srv);
    try {
        ftp.ChangeFolder("x");
        FAIL() << "no error";
    } catch (const EIdProtocolReplyError& e) {
        EXPECT_EQ(e.ReplyErrorCode(), 550);
        EXPECT_STREQ(e.what(), "No such\r\nfolder\r\n");
    }
    EXPECT_TRUE(ftp.IsOpen());
    EXPECT_EQ(ftp.RunCommand("NOOP", 200), 200);
}

TEST(ReplyParsing, MaxLineLengthCountsTheCarriageReturn) {
    const std::string body(16380, 'x');  // "200 " + body = 16384 characters
    ScriptedFtpServer srv;
    srv.greet("220 ok").expect("A").send("200 " + body + "\n").expect("B").send("200 " + body + "\r\n");
    TIdFTP ftp;
    connectOnly(ftp, srv);
    EXPECT_EQ(ftp.RunCommand("A", 200), 200);
    EXPECT_EQ(ftp.Text()[0].size(), body.size());
    EXPECT_THROW(ftp.RunCommand("B", 200), EIdReadLnMaxLineLengthExceeded);
    EXPECT_FALSE(ftp.IsOpen());  // the rest of that reply would answer the next command
}

TEST(ReplyParsing, SplitModeHandsOverTheFirstPartAsALine) {
    ScriptedFtpServer srv;
    srv.greet("220 ok").expect("A").send("200 abcdefgh\r\n");
    TIdFTP ftp;
    connectOnly(ftp, srv);
    ftp.MaxLineLength = 6;
    ftp.MaxLineAction = maSplit;
    ftp.WriteLn("A");
    EXPECT_EQ(ftp.ReadLn(), "200 ab");
    EXPECT_EQ(ftp.ReadLn(), "cdefgh");
}

TEST(ControlConnection, ServerClosingMidReplyFailsAndIsNoticedOnce) {
    ScriptedFtpServer srv;
    srv.greet("220 ok").expect("NOOP").send("200-first line\r\n200 hal").closeControl();
    TIdFTP ftp;
    int disconnects = 0;
    StatusLog log;
    log.attach(ftp);
    ftp.OnDisconnected = [&](void*) { ++disconnects; };
    connectOnly(ftp, srv);
    EXPECT_THROW(ftp.RunCommand("NOOP", 200), EIdConnClosedGracefully);
    EXPECT_EQ(disconnects, 1);
    EXPECT_EQ(log.count(StatusDisconnected), 1);
    EXPECT_FALSE(ftp.IsOpen());
    EXPECT_FALSE(ftp.IsOpen());
    EXPECT_EQ(disconnects, 1);
    EXPECT_THROW(ftp.RunCommand("NOOP", 200), EIdConnClosedGracefully);
}

TEST(ControlConnection, PeerCloseIsOnlyKnownAfterARead) {
    ScriptedFtpServer srv;
    srv.greet("220 ok").closeControl();
    TIdFTP ftp;
    int disconnects = 0;
    ftp.OnDisconnected = [&](void*) { ++disconnects; };
    connectOnly(ftp, srv);
    ASSERT_TRUE(srv.waitDone());
    EXPECT_TRUE(ftp.IsOpen());
    EXPECT_THROW(ftp.ProbePeerClosed(true), EIdConnClosedGracefully);
    EXPECT_EQ(disconnects, 1);
    EXPECT_FALSE(ftp.IsOpen());
    EXPECT_THROW(ftp.ProbePeerClosed(false), EIdConnClosedGracefully);
    EXPECT_EQ(disconnects, 1);
}

TEST(ControlConnection, ProbeOnALiveConnectionKeepsEarlyDataForTheNextReply) {
    ScriptedFtpServer srv;
    srv.greet("220 ok").send("200 unsolicited\r\n").hold().expect("NOOP", "200 ok");
    TIdFTP ftp;
    connectOnly(ftp, srv);
    // Poll until the unsolicited line has been read into the buffer.
    const auto deadline = net::tickCount64() + 5000;
    while (ftp.InputBufferSize() == 0 && net::tickCount64() < deadline) ftp.ProbePeerClosed(true);
    EXPECT_TRUE(ftp.IsOpen());
    srv.release();
    EXPECT_EQ(ftp.RunCommand("NOOP", -1), 200);
    EXPECT_EQ(ftp.Text()[0], "unsolicited");
}

TEST(ControlConnection, SilentServerRaisesReadTimeoutWhileThePumpRuns) {
    ScriptedFtpServer srv;
    srv.greet("220 ok").silentUntilClosed();
    CountingPump pump;
    TIdFTP ftp;
    connectOnly(ftp, srv);
    ftp.ReadTimeout = 600;
    const auto start = net::tickCount64();
    EXPECT_THROW(ftp.RunCommand("NOOP", 200), EIdReadTimeout);
    const auto took = net::tickCount64() - start;
    EXPECT_GE(took, 550u);
    EXPECT_LT(took, 3000u);
    EXPECT_GE(pump.calls, 8);  // about every 50 ms
    EXPECT_FALSE(ftp.IsOpen());  // a late reply must not answer the next command
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
}

TEST(ControlConnection, ConnectRefusedEndsInConnectionRefused) {
    // A port that was free a moment ago and has nobody listening.
    int port;
    {
        ScriptedFtpServer probe;
        port = probe.port();
    }
    TIdFTP ftp;
    ftp.Host = "127.0.0.1";
    ftp.Port = port;
    try {
        ftp.OpenConnection(true, 3000);
        FAIL() << "connected";
    } catch (const EIdConnectException& e) {
        EXPECT_EQ(e.LastError(), 10061);
        EXPECT_EQ(std::string(e.what()), "Socket Error # 10061\r\nConnection refused.");
    }
    EXPECT_FALSE(ftp.IsOpen());
    // The same without a connect time-out (plain blocking connect).
    EXPECT_THROW(ftp.OpenConnection(true, 0), EIdConnectException);
}

TEST(ControlConnection, UnknownHostFailsWithHostNotFound) {
    TIdFTP ftp;
    ftp.Host = "no-such-host.invalid";
    try {
        ftp.OpenConnection(true, 3000);
        FAIL();
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.LastError(), 11001);
        EXPECT_EQ(std::string(e.what()), "Socket Error # 11001\r\nHost not found.");
    }
}

TEST(ControlConnection, ConnectWhileConnectedFailsAndCloses) {
    ScriptedFtpServer srv;
    srv.greet("220 ok");
    TIdFTP ftp;
    connectOnly(ftp, srv);
    int disconnects = 0;
    ftp.OnDisconnected = [&](void*) { ++disconnects; };
    EXPECT_THROW(ftp.OpenConnection(false, 1000), EIdAlreadyConnected);
    EXPECT_FALSE(ftp.IsOpen());
    EXPECT_EQ(disconnects, 1);
}

TEST(ControlConnection, StatusEventsOfConnectAndClose) {
    ScriptedFtpServer srv;
    loginScript(srv);
    TIdFTP ftp;
    configure(ftp, srv);
    StatusLog log;
    log.attach(ftp);
    int connected = 0;
    ftp.OnConnected = [&](void*) { ++connected; };
    srv.start();
    ftp.OpenConnection(true, 5000);
    ftp.CloseConnection();
    ftp.CloseConnection();  // a second close raises nothing
    std::vector<std::pair<TIdStatus, std::string>> want = {
        {StatusConnecting, "Connecting to 127.0.0.1."},
        {StatusConnected, "Connected."},
        {StatusReady, "Connection established"},
        {StatusDisconnecting, "Disconnecting."},
        {StatusDisconnected, "Disconnected."},
    };
    EXPECT_EQ(log.items, want);
    EXPECT_EQ(connected, 1);
}

TEST(ControlConnection, ResolvingStatusOnlyForNames) {
    ScriptedFtpServer srv;
    srv.greet("220 ok");
    TIdFTP ftp;
    configure(ftp, srv);
    ftp.Host = "LocalHost";
    StatusLog log;
    log.attach(ftp);
    srv.start();
    ftp.OpenConnection(false, 5000);
    ASSERT_GE(log.items.size(), 2u);
    EXPECT_EQ(log.items[0], std::make_pair(StatusResolving, std::string("Resolving hostname LocalHost.")));
    EXPECT_EQ(log.items[1], std::make_pair(StatusConnecting, std::string("Connecting to 127.0.0.1.")));
}

TEST(LineLog, LogsSentAndReceivedChunksWithLineBreaksMarked) {
    ScriptedFtpServer srv;
    srv.greet("220 ok").expect("NOOP", "200 fine");
    TIdFTP ftp;
    TIdLogEvent log;
    log.LogTime = false;
    std::vector<std::string> sent, received, status;
    log.OnSent = [&](void*, const std::string& t, const std::string& d) {
        EXPECT_TRUE(t.empty());
        sent.push_back(d);
    };
    log.OnReceived = [&](void*, const std::string&, const std::string& d) { received.push_back(d); };
    log.OnStatus = [&](void*, const std::string& t) { status.push_back(t); };
    ftp.Intercept = &log;
    connectOnly(ftp, srv);
    ftp.RunCommand("NOOP", 200);
    ftp.CloseConnection();
    EXPECT_EQ(sent, (std::vector<std::string>{"NOOP<EOL>"}));
    std::string all;
    for (const auto& r : received) all += r;
    EXPECT_EQ(all, "220 ok<EOL>200 fine<EOL>");
    EXPECT_EQ(status, (std::vector<std::string>{"Connected.", "Disconnected."}));
}

TEST(LineLog, ReplaceLineBreaks) {
    EXPECT_EQ(TIdLogEvent::ReplaceLineBreaks("a\r\nb\rc\nd\n\r"), "a<EOL>b<CR>c<LF>d<LF><CR>");
    TIdLogEvent log;
    log.ReplaceCRLF = false;
    std::string got;
    log.OnSent = [&](void*, const std::string& t, const std::string& d) {
        EXPECT_FALSE(t.empty());  // LogTime is on by default
        got = d;
    };
    log.Sent("x\r\n", 3);
    EXPECT_EQ(got, "x\r\n");
}

TEST(MessagePump, NewestIsCurrentAndDestroyingAnyLeavesNone) {
    auto a = std::make_unique<CountingPump>();
    EXPECT_EQ(TIdAntiFreeze::Current(), a.get());
    auto b = std::make_unique<CountingPump>();
    EXPECT_EQ(TIdAntiFreeze::Current(), b.get());
    a.reset();
    EXPECT_EQ(TIdAntiFreeze::Current(), nullptr);
    b->OnlyWhenIdle = true;
    TIdAntiFreeze::DoProcess(false);
    EXPECT_EQ(b->calls, 0);
}

TEST(MessagePump, OnlyWhenIdleAndInactiveAndOtherThreads) {
    CountingPump p;
    p.OnlyWhenIdle = true;
    TIdAntiFreeze::DoProcess(false);
    EXPECT_EQ(p.calls, 0);
    TIdAntiFreeze::DoProcess(true);
    EXPECT_EQ(p.calls, 1);
    std::thread([] { TIdAntiFreeze::DoProcess(true); }).join();
    EXPECT_EQ(p.calls, 1);
    p.Active = false;
    TIdAntiFreeze::DoProcess(true);
    EXPECT_EQ(p.calls, 1);
}

TEST(ControlConnection, BufferSizesOfZeroOrLessMeanTheDefault) {
    TIdTCPConnection c;
    c.RecvBufferSize = 0;
    c.SendBufferSize = -5;
    EXPECT_EQ(c.EffectiveRecvBufferSize(), 32768);
    EXPECT_EQ(c.EffectiveSendBufferSize(), 32768);
    ScriptedFtpServer srv;
    srv.greet("220 ok").expect("NOOP", "200 fine");
    TIdFTP ftp;
    ftp.RecvBufferSize = 0;
    connectOnly(ftp, srv);
    EXPECT_EQ(ftp.RunCommand("NOOP", 200), 200);
}

TEST(ControlConnection, ConnectTimeoutWhileThePumpRunsAndCloseDuringConnect) {
    // A listener with a full queue drops further SYNs, so connects hang.
    net::StackUser stack;  // the socket below is made before any client exists
    int err = 0;
    net::SocketHandle l = net::createTcpSocket(err);
    ASSERT_EQ(net::bindSocket(l, "127.0.0.1", 0), 0);
    ASSERT_EQ(net::listenSocket(l, 0), 0);
    std::string ip;
    std::uint16_t port = 0;
    net::localAddress(l, ip, port);
    std::vector<std::unique_ptr<TIdTCPClient>> fillers;
    CountingPump pump;
    bool hung = false;
    for (int i = 0; i < 8 && !hung; ++i) {
        TIdFTP ftp;
        ftp.Host = "127.0.0.1";
        ftp.Port = port;
        ftp.ReadTimeout = 200;  // no greeting ever comes
        const int before = pump.calls;
        const auto start = net::tickCount64();
        try {
            ftp.OpenConnection(false, 400);
            // Connected into the queue: keep it there and try again.
            auto keep = std::make_unique<TIdTCPClient>();
            keep->Host = "127.0.0.1";
            keep->Port = port;
            keep->Connect(400);
            fillers.push_back(std::move(keep));
        } catch (const EIdConnectTimeout& e) {
            hung = true;
            EXPECT_STREQ(e.what(), "Connect timed out.");
            EXPECT_GE(net::tickCount64() - start, 350u);
            EXPECT_GE(pump.calls - before, 4);
            EXPECT_FALSE(ftp.IsOpen());
        } catch (const EIdException&) {
            // The greeting never comes from this listener: read time-out or
            // close; the connect itself worked.
            auto keep = std::make_unique<TIdTCPClient>();
            keep->Host = "127.0.0.1";
            keep->Port = port;
            try {
                keep->Connect(400);
                fillers.push_back(std::move(keep));
            } catch (const EIdConnectTimeout&) {
                hung = true;
            }
        }
    }
    if (hung) {
        // A user action closing the client while it connects ends the connect.
        TIdFTP ftp;
        ftp.Host = "127.0.0.1";
        ftp.Port = port;
        pump.until = [&] {
            ftp.CloseConnection();
            return true;
        };
        EXPECT_THROW(ftp.OpenConnection(false, 5000), EIdClosedSocket);
        EXPECT_FALSE(ftp.IsOpen());
    }
    fillers.clear();
    net::closeSocket(l);
    if (!hung) GTEST_SKIP() << "the kernel accepted every connect";
}
