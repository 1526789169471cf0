// Listings, downloads and uploads over passive and active data connections.
#include "tests/ftp/ftp_test_util.h"


using testing_support::ScriptedFtpServer;
using namespace ftptest;

namespace {

class Transfers : public ::testing::Test {
protected:
    ScriptedFtpServer srv;
    TIdFTP ftp;
    StatusLog status;
    TempDir dir;
    std::vector<std::string> work;  // "begin R 0", "work R 5", "end R"
    void SetUp() override {
        loginScript(srv);
        status.attach(ftp);
        ftp.OnWorkBegin = [this](void*, TWorkMode m, std::int64_t max) {
            work.push_back(std::string("begin ") + (m == WorkRead ? "R " : "W ") + std::to_string(max));
        };
        ftp.OnWork = [this](void*, TWorkMode m, std::int64_t n) {
            work.push_back(std::string("work ") + (m == WorkRead ? "R " : "W ") + std::to_string(n));
        };
        ftp.OnWorkEnd = [this](void*, TWorkMode m) { work.push_back(std::string("end ") + (m == WorkRead ? "R" : "W")); };
    }
    void go() {
        srv.start();
        configure(ftp, srv);
        ftp.OpenConnection(true, 5000);
        status.items.clear();
    }
    std::vector<TIdStatus> statusKinds() const {
        std::vector<TIdStatus> k;
        for (const auto& i : status.items) k.push_back(i.first);
        return k;
    }
};

} // namespace

TEST_F(Transfers, PassiveListingOrderLinesAndEntries) {
    srv.expectPasv()
        .openData()
        .expect("LIST", "150 here it comes")
        .sendData("total 2\r\n-rw-r--r-- 1 alice staff 1048576 Mar  3 10:15 notes.txt\r\n"
                  "drwxr-xr-x 2 alice staff 4096 Jan  5  2003 docs\n")
        .closeData()
        .reply("226 done");
    go();
    ftp.Passive = true;
    std::vector<std::string> dest = {"old"};
    ftp.FetchListing(&dest, "", true);
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
    EXPECT_EQ(srv.transcript(), concat(loginLines(), {"PASV", "LIST"}));
    ASSERT_EQ(dest.size(), 3u);
    EXPECT_EQ(dest, ftp.ListingLines());
    EXPECT_EQ(dest[2], "drwxr-xr-x 2 alice staff 4096 Jan  5  2003 docs");
    TIdFTPListItems& items = ftp.ListingEntries();
    ASSERT_EQ(items.Count(), 2u);
    EXPECT_EQ(items[0].EntryName, "notes.txt");
    EXPECT_EQ(items[0].EntrySize, 1048576);
    EXPECT_EQ(items[1].EntryKind, KindFolder);
    EXPECT_EQ(&items, &ftp.ListingEntries());
    EXPECT_EQ(statusKinds(), (std::vector<TIdStatus>{StatusTransferStarting, StatusReady}));
    EXPECT_EQ(status.items[0].second, "Starting FTP transfer");
    EXPECT_EQ(status.items[1].second, "Transfer complete");
}

TEST_F(Transfers, ListingNamesAreBytesAndArgumentsAreTrimmed) {
    const std::string name = "caf\xe9 \xff\xfe.txt";  // not UTF-8
    srv.expectPasv()
        .expect("NLST  -a", "150 ok")
        .sendData(name + "\r\nsecond\rthird")
        .closeData()
        .reply("226 done");
    go();
    ftp.Passive = true;
    ftp.FetchListing(nullptr, " -a \r\n", false);  // only the ends are trimmed
    EXPECT_EQ(ftp.ListingLines(), (std::vector<std::string>{name, "second", "third"}));
}

TEST_F(Transfers, PasvAddressWithoutParenthesesIsTheTextAfterTheLastBlank) {
    srv.expectPasv("227 Entering Passive Mode %s")
        .expect("LIST", "150 ok")
        .sendData("x\r\n")
        .closeData()
        .reply("226 done")
        .expect("PASV", "227 Entering Passive Mode (127,0,0,1,ab,1)");
    go();
    ftp.Passive = true;
    ftp.FetchListing(nullptr);
    EXPECT_EQ(ftp.ListingLines(), (std::vector<std::string>{"x"}));
    try {
        ftp.FetchListing(nullptr);
        FAIL();
    } catch (const EIdException& e) {
        EXPECT_STREQ(e.what(), "'ab' is not a valid integer value");
    }
    EXPECT_EQ(status.items.back().first, StatusReady);
}

TEST(DataAddress, PasvTextAndPortArgument) {
    std::string host;
    int port = 0;
    PasvAddressFromText("Entering Passive Mode (10,0,0,5,19,137)", host, port);
    EXPECT_EQ(host, "10.0.0.5");
    EXPECT_EQ(port, 5001);
    PasvAddressFromText("  Entering Passive Mode 10,0,0,5,19,137 ", host, port);
    EXPECT_EQ(host, "10.0.0.5");
    EXPECT_EQ(port, 5001);
    EXPECT_THROW(PasvAddressFromText("Entering Passive Mode (10,0,0,5)", host, port), EIdException);
    EXPECT_EQ(PortArgument("192.168.1.20", 3012), "192,168,1,20,11,196");
}

TEST_F(Transfers, ActiveListingSendsPortWithTheControlAddress) {
    srv.expectPort().expect("LIST", "150 ok").sendData("a\r\n").closeData().reply("226 done");
    go();
    ftp.Passive = false;
    ftp.FetchListing(nullptr);
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
    auto t = srv.transcript();
    ASSERT_EQ(t.size(), 6u);
    EXPECT_EQ(t[4].rfind("PORT 127,0,0,1,", 0), 0u) << t[4];
    EXPECT_EQ(t[5], "LIST");
}

TEST_F(Transfers, PassiveDownloadOrderAndProgress) {
    srv.expectPasv()
        .openData()
        .expect("RETR a.bin", "150 opening")
        .sendData("hello ")
        .sendData("world")
        .closeData()
        .reply("226 done");
    go();
    ftp.Passive = true;
    ftp.RecvBufferSize = 4;
    std::string after;
    ftp.OnAfterGet = [&](void*, const std::string& p) { after = p; };
    const std::string local = dir.file("a.bin");
    ftp.DownloadToFile("a.bin", local, false, false);
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
    EXPECT_EQ(readFile(local), "hello world");
    EXPECT_EQ(after, local);
    ASSERT_GE(work.size(), 3u);
    EXPECT_EQ(work.front(), "begin R 0");
    EXPECT_EQ(work[work.size() - 2], "work R 11");
    EXPECT_EQ(work.back(), "end R");
    EXPECT_GE(work.size(), 5u);  // chunks of at most 4 bytes
}

TEST_F(Transfers, ActiveDownloadOrder) {
    srv.expectPort().expect("RETR f", "150 ok").sendData("data").closeData().reply("226 done");
    go();
    ftp.DownloadToFile("f", dir.file("f"), false, false);
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
    EXPECT_EQ(readFile(dir.file("f")), "data");
}

TEST_F(Transfers, ClosingReply550AfterDataFailsButKeepsTheFile) {
    srv.expectPasv().expect("RETR f", "150 ok").sendData("partial").closeData().reply("550 read error");
    go();
    ftp.Passive = true;
    EXPECT_THROW(ftp.DownloadToFile("f", dir.file("f"), false, false), EIdProtocolReplyError);
    EXPECT_EQ(readFile(dir.file("f")), "partial");
    EXPECT_TRUE(ftp.IsOpen());
}

TEST_F(Transfers, RefusedRetrLeavesNoDataConnectionAndReportsComplete) {
    srv.expectPasv().expect("RETR f", "550 no such file").expect("NOOP", "200 ok");
    go();
    ftp.Passive = true;
    EXPECT_THROW(ftp.DownloadToFile("f", dir.file("f"), false, false), EIdProtocolReplyError);
    EXPECT_FALSE(ftp.DataConnectionOpen());
    EXPECT_EQ(statusKinds(), (std::vector<TIdStatus>{StatusTransferStarting, StatusReady}));
    EXPECT_EQ(ftp.RunCommand("NOOP", 200), 200);
}

TEST_F(Transfers, AbortFromThePumpReads426And226AndFailsAsAborted) {
    srv.expectPasv()
        .expect("RETR big", "150 ok")
        .sendData(std::string(1000, 'x'))
        .expect("ABOR", "426 transfer aborted\n226 abort ok")
        .closeData()
        .expect("NOOP", "200 ok");
    go();
    ftp.Passive = true;
    CountingPump pump;
    pump.until = [&] {
        if (!ftp.DataConnectionOpen() || work.size() < 2) return false;
        ftp.AbortTransfer();
        return true;
    };
    try {
        ftp.DownloadToFile("big", dir.file("big"), false, false);
        FAIL() << "an aborted download passed for complete";
    } catch (const EIdException& e) {
        EXPECT_STREQ(e.what(), "Transfer aborted");
    }
    EXPECT_EQ(readFile(dir.file("big")), std::string(1000, 'x'));  // kept for a resume
    EXPECT_EQ(statusKinds(), (std::vector<TIdStatus>{StatusTransferStarting, StatusReady, StatusAborted}));
    EXPECT_EQ(status.items.back().second, "Transfer aborted");
    EXPECT_EQ(ftp.RunCommand("NOOP", 200), 200);
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
}

TEST_F(Transfers, AbortButtonDuringADownloadClosesTheConnection) {
    // The frame's Abort: AbortTransfer, then OpenConnection from the pump.
    srv.expectPasv().expect("RETR big", "150 ok").sendData("abc").expect("ABOR").expectClosed();
    go();
    ftp.Passive = true;
    CountingPump pump;
    pump.until = [&] {
        if (!ftp.DataConnectionOpen() || work.size() < 2) return false;
        ftp.AbortTransfer();
        EXPECT_THROW(ftp.OpenConnection(true, 1000), EIdAlreadyConnected);
        return true;
    };
    try {
        ftp.DownloadToFile("big", dir.file("big"), false, false);
        FAIL();
    } catch (const EIdException& e) {
        EXPECT_STREQ(e.what(), "Transfer aborted");
    }
    EXPECT_FALSE(ftp.IsOpen());
    EXPECT_FALSE(ftp.Busy());
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
}

TEST_F(Transfers, AbortWhileActiveModeWaitsForTheServer) {
    srv.expectPort().expect("RETR f", "150 ok").expect("ABOR", "426 aborted\n226 ABOR ok").expect("NOOP", "200 ok");
    go();
    CountingPump pump;
    pump.until = [&] {
        if (!ftp.DataConnectionOpen() || srv.transcript().size() < 6) return false;
        ftp.AbortTransfer();
        return true;
    };
    try {
        ftp.DownloadToFile("f", dir.file("f"), false, false);
        FAIL();
    } catch (const EIdException& e) {
        EXPECT_STREQ(e.what(), "Transfer aborted");
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("f")));  // no byte came: no file
    EXPECT_FALSE(ftp.DataConnectionOpen());
    EXPECT_EQ(ftp.RunCommand("NOOP", 200), 200);
}

TEST_F(Transfers, ActiveModeServerThatCannotConnectEndsTheWait) {
    srv.expectPort()
        .expect("RETR f", "150 ok\n425 Can't open data connection")
        .expect("NOOP", "200 ok")
        .expectPort()
        .expect("RETR g", "150 ok")
        .closeControl();
    go();
    try {
        ftp.DownloadToFile("f", dir.file("f"), false, false);
        FAIL();
    } catch (const EIdProtocolReplyError& e) {
        EXPECT_EQ(e.ReplyErrorCode(), 425);
    }
    EXPECT_EQ(ftp.RunCommand("NOOP", 200), 200);
    EXPECT_THROW(ftp.DownloadToFile("g", dir.file("g"), true, false), EIdConnClosedGracefully);
    EXPECT_FALSE(ftp.IsOpen());
}

TEST_F(Transfers, PassiveUploadOrderSizeAndProgress) {
    writeFile(dir.file("up.txt"), "0123456789");
    srv.expectPasv().expect("STOR up.txt").openData().reply("150 go").receiveData().reply("226 stored");
    go();
    ftp.Passive = true;
    ftp.SendBufferSize = 4;
    ftp.UploadFromFile(dir.file("up.txt"), "up.txt", false);
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
    EXPECT_EQ(srv.receivedData(), (std::vector<std::string>{"0123456789"}));
    EXPECT_EQ(work, (std::vector<std::string>{"begin W 10", "work W 4", "work W 8", "work W 10", "end W"}));
}

TEST_F(Transfers, ActiveUploadAppendAndUnique) {
    writeFile(dir.file("u"), "abc");
    srv.expectPort()
        .expect("APPE u", "150 ok")
        .receiveData()
        .reply("226 ok")
        .expectPort()
        .expect("STOU ", "150 FILE: u.1")
        .receiveData()
        .reply("226 ok");
    go();
    ftp.UploadFromFile(dir.file("u"), "u", true);
    ftp.UploadFromFile(dir.file("u"), "", false);
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
    EXPECT_EQ(srv.receivedData(), (std::vector<std::string>{"abc", "abc"}));
}

TEST_F(Transfers, EmptyFileUploadSendsNothing) {
    writeFile(dir.file("empty"), "");
    srv.expectPasv().expect("STOR empty").reply("150 go").receiveData().reply("226 ok");
    go();
    ftp.Passive = true;
    ftp.UploadFromFile(dir.file("empty"), "empty", false);
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
    EXPECT_EQ(srv.receivedCounts(), (std::vector<std::uint64_t>{0}));
    EXPECT_EQ(work.front(), "begin W 0");
}

TEST_F(Transfers, AbortDuringUploadEndsTheDataReadsBothRepliesAndFails) {
    writeFile(dir.file("u"), std::string(64 * 1024, 'u'));
    srv.expectPasv()
        .expect("STOR u", "150 go")
        .expect("ABOR", "426 aborted\n226 ok")
        .receiveData(false)
        .expect("NOOP", "200 ok");
    go();
    ftp.Passive = true;
    ftp.SendBufferSize = 1024;
    ftp.OnWork = [&](void*, TWorkMode, std::int64_t n) {
        if (n == 2048) ftp.AbortTransfer();
    };
    EXPECT_THROW(ftp.UploadFromFile(dir.file("u"), "u", false), EIdException);
    EXPECT_EQ(status.items.back().first, StatusAborted);
    EXPECT_EQ(ftp.RunCommand("NOOP", 200), 200);
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
    EXPECT_LT(srv.receivedCounts().at(0), 64u * 1024);
}

TEST_F(Transfers, MissingLocalFileSendsNoCommand) {
    srv.expect("NOOP", "200 ok");
    go();
    EXPECT_THROW(ftp.UploadFromFile(dir.file("nope"), "x", false), EIdLocalFileError);
    EXPECT_THROW(ftp.DownloadToFile("x", dir.file("no/such/dir/x"), false, false), EIdLocalFileError);
    EXPECT_EQ(ftp.RunCommand("NOOP", 200), 200);
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
}

// ------------------------------------------------------------- resume

TEST_F(Transfers, ResumeProbesOnceThenRestartsAtTheLocalSize) {
    const std::string local = dir.file("r");
    writeFile(local, "12345");
    srv.expect("REST 5", "350 ok")  // the frame's own REST
        .expect("REST 1", "350 ok")
        .expect("REST 0", "350 ok")
        .expectPasv()
        .expect("REST 5", "350 restarting")
        .expect("RETR r", "150 ok")
        .sendData("6789")
        .closeData()
        .reply("226 done")
        // A second resume on the same client: no probe.
        .expectPasv()
        .expect("REST 9", "350 ok")
        .expect("RETR r", "150 ok")
        .sendData("!")
        .closeData()
        .reply("226 done")
        // A new file on a resumable server starts with REST 0.
        .expectPasv()
        .expect("REST 0", "350 ok")
        .expect("RETR n", "150 ok")
        .sendData("new")
        .closeData()
        .reply("226 done");
    go();
    ftp.Passive = true;
    ftp.RunCommand("REST 5", -1);
    ftp.DownloadToFile("r", local, false, true);
    EXPECT_EQ(readFile(local), "123456789");
    EXPECT_TRUE(ftp.ResumeProbed());
    EXPECT_TRUE(ftp.CanResume());
    ftp.DownloadToFile("r", local, false, true);
    EXPECT_EQ(readFile(local), "123456789!");
    ftp.DownloadToFile("n", dir.file("n"), false, true);
    EXPECT_EQ(readFile(dir.file("n")), "new");
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
}

TEST_F(Transfers, ServerThatCannotResumeIsAskedOnceEvenAcrossReconnects) {
    const std::string local = dir.file("r");
    writeFile(local, "abc");
    srv.expect("REST 1", "502 no").expect("REST 0", "502 no").closeControl().acceptControl();
    loginScript(srv).expect("NOOP", "200 ok");
    go();
    EXPECT_THROW(ftp.DownloadToFile("r", local, false, true), EIdFTPFileAlreadyExists);
    EXPECT_FALSE(ftp.CanResume());
    ftp.CloseConnection();
    ftp.OpenConnection(true, 5000);
    try {
        ftp.DownloadToFile("r", local, false, true);
        FAIL();
    } catch (const EIdFTPFileAlreadyExists& e) {
        EXPECT_STREQ(e.what(), "Destination file already exists.");
    }
    EXPECT_EQ(ftp.RunCommand("NOOP", 200), 200);
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
    EXPECT_EQ(readFile(local), "abc");
}

TEST_F(Transfers, ExistingFileRules) {
    const std::string local = dir.file("e");
    writeFile(local, "old contents");
    srv.expect("REST 1", "350 ok")
        .expect("REST 0", "350 ok")
        .expectPasv()
        .expect("RETR e", "150 ok")
        .sendData("new")
        .closeData()
        .reply("226 done");
    go();
    ftp.Passive = true;
    // Neither flag, and both flags on a resumable server: refused untouched.
    EXPECT_THROW(ftp.DownloadToFile("e", local, false, false), EIdFTPFileAlreadyExists);
    EXPECT_THROW(ftp.DownloadToFile("e", local, true, true), EIdFTPFileAlreadyExists);
    EXPECT_EQ(readFile(local), "old contents");
    ftp.DownloadToFile("e", local, true, false);  // overwrite
    EXPECT_EQ(readFile(local), "new");
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
}

TEST_F(Transfers, RefusedDownloadLeavesTheLocalFileAlone) {
    const std::string existing = dir.file("keep.txt");
    writeFile(existing, "eighteen bytes....");
    srv.expectPasv()
        .expect("RETR keep.txt", "550 No such file")
        .expectPasv()
        .expect("RETR new.txt", "550 No such file")
        .expectPasv()
        .expect("RETR keep.txt", "150 ok\n425 Can't open data connection")
        .closeData()
        .expectPasv()
        .expect("RETR keep.txt", "421 Timeout");
    go();
    ftp.Passive = true;
    EXPECT_THROW(ftp.DownloadToFile("keep.txt", existing, true, false), EIdProtocolReplyError);
    EXPECT_EQ(readFile(existing), "eighteen bytes....");
    EXPECT_THROW(ftp.DownloadToFile("new.txt", dir.file("new.txt"), false, false), EIdProtocolReplyError);
    EXPECT_FALSE(std::filesystem::exists(dir.file("new.txt")));
    // Accepted, but no byte came before the server gave up.
    EXPECT_THROW(ftp.DownloadToFile("keep.txt", existing, true, false), EIdException);
    EXPECT_EQ(readFile(existing), "eighteen bytes....");
    EXPECT_THROW(ftp.DownloadToFile("keep.txt", existing, true, false), EIdProtocolReplyError);
    EXPECT_EQ(readFile(existing), "eighteen bytes....");
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
}

TEST_F(Transfers, TransferTypeChangesAreIgnoredDuringATransfer) {
    srv.expectPasv().expect("RETR f", "150 ok").sendData("x").closeData().reply("226 done").expect("NOOP", "200 ok");
    go();
    ftp.Passive = true;
    ftp.OnWork = [&](void*, TWorkMode, std::int64_t) { ftp.SetTransferType(ftASCII); };
    ftp.DownloadToFile("f", dir.file("f"), false, false);
    EXPECT_EQ(ftp.TransferType(), ftBinary);
    EXPECT_EQ(ftp.RunCommand("NOOP", 200), 200);
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
}

// ------------------------------------------------- beyond 32-bit sizes

#if defined(__SANITIZE_ADDRESS__) || defined(_WIN32)
#define SKIP_WHEN_SANITIZED() GTEST_SKIP() << "moves 2 GiB: too slow here, the normal Linux build runs it"
#else
#define SKIP_WHEN_SANITIZED() (void)0
#endif

TEST_F(Transfers, DownloadOverTwoGibibytesCountsEveryByte) {
    SKIP_WHEN_SANITIZED();
    const std::uint64_t size = (1ull << 31) + 4097;
    srv.expectPasv().expect("RETR huge", "150 ok").sendDataPattern(size).closeData().reply("226 done");
    go();
    ftp.Passive = true;
    ftp.RecvBufferSize = 1 << 18;
    std::int64_t last = 0;
    ftp.OnWork = [&](void*, TWorkMode, std::int64_t n) { last = n; };
    ftp.DownloadToFile("huge", "/dev/null", true, false);
    EXPECT_EQ(last, static_cast<std::int64_t>(size));
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
}

TEST_F(Transfers, UploadOverTwoGibibytesSendsEveryByte) {
    SKIP_WHEN_SANITIZED();
    const std::string local = dir.file("sparse");
    const std::int64_t size = (1ll << 31) + 123;
    writeFile(local, "");
    std::filesystem::resize_file(local, static_cast<std::uintmax_t>(size));  // sparse where it can be
    srv.expectPasv().expect("STOR s").reply("150 go").receiveData(false).reply("226 ok");
    go();
    ftp.Passive = true;
    ftp.SendBufferSize = 1 << 18;
    std::int64_t begin = 0, last = 0;
    ftp.OnWorkBegin = [&](void*, TWorkMode, std::int64_t m) { begin = m; };
    ftp.OnWork = [&](void*, TWorkMode, std::int64_t n) { last = n; };
    ftp.UploadFromFile(local, "s", false);
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
    EXPECT_EQ(begin, size);
    EXPECT_EQ(last, size);
    EXPECT_EQ(srv.receivedCounts(), (std::vector<std::uint64_t>{static_cast<std::uint64_t>(size)}));
}
