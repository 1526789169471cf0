// Every reply answers its own command, and no failure passes for success:
// time-outs, aborts, late and owed replies, stalled or cut data connections.
#include "tests/ftp/ftp_test_util.h"

#include "platform/net/socket.h"
#include "platform/net/socket_errors.h"
#include "platform/net/tick.h"

using testing_support::ScriptedFtpServer;
using namespace ftptest;

namespace {

class Pairing : public ::testing::Test {
protected:
    ScriptedFtpServer srv;
    TIdFTP ftp;
    StatusLog status;
    TempDir dir;
    void SetUp() override { loginScript(srv); }
    void go(bool passive = true) {
        srv.start();
        configure(ftp, srv);
        ftp.Passive = passive;
        ftp.OpenConnection(true, 5000);
        status.attach(ftp);
    }
    // The code of the protocol error fn raises, or 0.
    template <class Fn>
    int refusal(Fn fn) {
        try {
            fn();
        } catch (const EIdProtocolReplyError& e) {
            return e.ReplyErrorCode();
        }
        return 0;
    }
};

std::uint64_t msSince(std::uint64_t start) { return net::tickCount64() - start; }

} // namespace

// ---------------------------------------------------- late and owed replies

TEST_F(Pairing, ReadTimeoutClosesSoALateReplyIsNeverTakenForTheNextCommand) {
    srv.expect("CWD slow").expectClosed();
    go();
    ftp.ReadTimeout = 300;
    EXPECT_THROW(ftp.ChangeFolder("slow"), EIdReadTimeout);
    EXPECT_FALSE(ftp.IsOpen());
    EXPECT_THROW(ftp.CurrentFolder(), EIdConnClosedGracefully);
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
}

TEST_F(Pairing, LateReplyToListClosesTheConnectionToo) {
    srv.expectPasv().expect("LIST").expectClosed();
    go();
    ftp.ReadTimeout = 300;
    EXPECT_THROW(ftp.FetchListing(nullptr), EIdReadTimeout);
    EXPECT_FALSE(ftp.IsOpen());
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
}

TEST_F(Pairing, AborAfterTheTransfersOwnReplyIsSettledBeforeTheNextCommand) {
    srv.expectPasv()
        .expect("RETR f", "150 ok")
        .sendData("all of it")
        .closeData()
        .hold()
        .reply("226 Transfer complete")
        .expect("ABOR", "225 No transfer to ABOR")
        .expect("NOOP", "200 ok");
    go();
    CountingPump pump;
    // The data has ended and the closing reply is awaited: the user aborts.
    pump.until = [&] {
        if (ftp.DataConnectionOpen() || srv.transcript().size() < 6) return false;
        ftp.AbortTransfer();
        srv.release();
        return true;
    };
    ftp.DownloadToFile("f", dir.file("f"), false, false);
    EXPECT_EQ(readFile(dir.file("f")), "all of it");
    EXPECT_EQ(ftp.RunCommand("NOOP", 200), 200);
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
}

// ------------------------------------------------------------- aborts

TEST_F(Pairing, ServerAbortIsAFailureWithTheServersReply) {
    // A lone 426, 426 followed by 226, and 450: each a failure, none waits
    // a whole time-out, and the next command gets its own reply.
    for (const char* closing : {"426 Connection closed; transfer aborted.", "426 Aborted\n226 ABOR done", "450 busy"}) {
        srv.expectPasv().expect("RETR f", "150 ok").sendData("part").closeData().reply(closing).expect("NOOP", "200 ok");
    }
    go();
    for (int code : {426, 426, 450}) {
        const auto start = net::tickCount64();
        EXPECT_EQ(refusal([&] { ftp.DownloadToFile("f", dir.file("f"), true, false); }), code);
        EXPECT_LT(msSince(start), 2500u);
        EXPECT_EQ(ftp.NumericCode(), code);
        EXPECT_EQ(status.items.back().first, StatusAborted);
        EXPECT_EQ(ftp.RunCommand("NOOP", 200), 200);
    }
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
}

// ------------------------------------------------------- active mode

TEST_F(Pairing, ActiveServerThatFinishesWithinOnePumpCallKeepsItsData) {
    srv.expectPort().expect("RETR f", "150 ok").hold().sendData("whole file").closeData().reply("226 done");
    go(false);
    CountingPump pump;
    // While the client waits for the server's connection, the server
    // connects, sends, closes and replies before the pump call returns.
    pump.until = [&] {
        if (ftp.NumericCode() != 150) return false;
        srv.release();
        testing_support::WaitFor([&] { return srv.done(); });
        return true;
    };
    ftp.DownloadToFile("f", dir.file("f"), false, false);
    EXPECT_EQ(readFile(dir.file("f")), "whole file");
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
}

// ------------------------------------------------- data connection faults

TEST_F(Pairing, PassiveDataRefusedAfter150ReportsTheServersReply) {
    srv.expectPasv().expect("RETR f", "150 ok\n425 Can't open data connection").closeData();
    srv.expect("NOOP", "200 ok");
    srv.expectPasv().expect("RETR g", "150 ok\n421 Service closing").closeData();
    go();
    EXPECT_EQ(refusal([&] { ftp.DownloadToFile("f", dir.file("f"), false, false); }), 425);
    EXPECT_EQ(ftp.RunCommand("NOOP", 200), 200);
    EXPECT_EQ(refusal([&] { ftp.DownloadToFile("g", dir.file("g"), false, false); }), 421);
    EXPECT_FALSE(ftp.IsOpen());
}

TEST_F(Pairing, ConnectionAbortedByTheLocalStackIsAnErrorWhateverTheServerSays) {
    for (int i = 0; i < 2; ++i)
        srv.expectPasv().expect("RETR f", "150 ok").sendData("abc").reply("226 sent").expect("NOOP", "200");
    go();
    for (int err : {net::kErrConnAborted, net::kErrShutdown}) {
        ftp.OnWork = [err](void*, TWorkMode, std::int64_t) { net::failNextReceiveForTest(err); };
        try {
            ftp.DownloadToFile("f", dir.file("f"), true, false);
            FAIL() << "a cut data connection passed for a complete file";
        } catch (const EIdSocketError& e) {
            EXPECT_EQ(e.LastError(), err);
        }
        EXPECT_EQ(ftp.RunCommand("NOOP", 200), 200);
    }
}

TEST_F(Pairing, StalledDownloadFailsWithReadTimeoutAndKeepsThePartialFile) {
    srv.expectPasv().expect("RETR f", "150 ok").sendData("first part").expectClosed();
    go();
    ftp.ReadTimeout = 300;
    EXPECT_THROW(ftp.DownloadToFile("f", dir.file("f"), false, false), EIdReadTimeout);
    EXPECT_EQ(readFile(dir.file("f")), "first part");
    // The server never answered: the connection is closed rather than
    // left a reply behind.
    EXPECT_FALSE(ftp.IsOpen());
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
}

#ifndef _WIN32  // Winsock cannot tell how much of the send queue is left
TEST_F(Pairing, SlowServerStillTakingTheUploadIsNoTimeout) {
    writeFile(dir.file("u"), std::string(1 << 20, 'u'));
    srv.dataReceiveBuffer = 16 * 1024;
    srv.expectPasv().expect("STOR u", "150 go").receiveDataSlowly(8192, 8).reply("226 stored");
    go();
    ftp.ReadTimeout = 400;  // far less than the server needs to read it all
    ftp.UploadFromFile(dir.file("u"), "u", false);
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
    EXPECT_EQ(srv.receivedCounts(), (std::vector<std::uint64_t>{1 << 20}));
}
#endif

TEST_F(Pairing, PasvAddressOtherThanThePeerIsReplacedAndNotedOnce) {
    for (int i = 0; i < 2; ++i)
        srv.expectPasv("227 Entering Passive Mode (127,0,0,2,%p)")
            .expect("LIST", "150 ok")
            .sendData("x\r\n")
            .closeData()
            .reply("226 done");
    go();
    ftp.FetchListing(nullptr);
    ftp.FetchListing(nullptr);
    EXPECT_EQ(ftp.ListingLines(), (std::vector<std::string>{"x"}));
    EXPECT_EQ(status.count(StatusText), 1);
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
}

// ------------------------------------------------- the control connection

TEST_F(Pairing, OverlongReplyLineClosesTheConnection) {
    srv.expect("NOOP").send("200 " + std::string(20000, 'x') + "\r\n200 second\r\n");
    go();
    EXPECT_THROW(ftp.RunCommand("NOOP", 200), EIdReadLnMaxLineLengthExceeded);
    EXPECT_FALSE(ftp.IsOpen());
    EXPECT_THROW(ftp.RunCommand("NOOP", 200), EIdConnClosedGracefully);
}

TEST(NeverConnected, CommandsSayNotConnected) {
    TIdFTP ftp;
    ftp.SocksInfo();  // a socket layer exists, as in the browser frame
    try {
        ftp.RunCommand("NOOP", 200);
        FAIL();
    } catch (const EIdNotConnected& e) {
        EXPECT_STREQ(e.what(), "Not Connected");
    }
    EXPECT_THROW(ftp.ChangeFolder("x"), EIdNotConnected);
}
