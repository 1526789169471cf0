// Login sequences of every FTP proxy mode and the single-reply commands.
#include "tests/ftp/ftp_test_util.h"

using testing_support::ScriptedFtpServer;
using namespace ftptest;

namespace {

struct LoginCase {
    const char* name;
    TIdFtpProxyType type;
    std::string proxyUser, proxyPass;
    std::vector<std::pair<std::string, std::string>> exchange;  // line, reply
};

void PrintTo(const LoginCase& c, std::ostream* os) { *os << c.name; }

class ProxyLogin : public ::testing::TestWithParam<LoginCase> {};

} // namespace

TEST_P(ProxyLogin, SendsExactlyTheLinesOfItsMode) {
    const LoginCase& c = GetParam();
    ScriptedFtpServer srv;
    srv.greet("220 proxy ready");
    for (const auto& [line, reply] : c.exchange) srv.expect(line, reply);
    srv.expect("TYPE I", "200 ok").expect("SYST", "215 UNIX");
    srv.start();

    TIdFTP ftp;
    configure(ftp, srv);
    // The FTP server's name stays in Host; the TCP target is the proxy.
    ftp.Host = "ftp.example.org";
    ftp.ProxySettings.ProxyType = c.type;
    ftp.ProxySettings.Host = "127.0.0.1";
    ftp.ProxySettings.Port = srv.port();
    ftp.ProxySettings.UserName = c.proxyUser;
    ftp.ProxySettings.Password = c.proxyPass;
    ftp.OpenConnection(true, 5000);
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
    EXPECT_EQ(ftp.Host, "ftp.example.org");
    EXPECT_EQ(ftp.Port, srv.port());
    EXPECT_EQ(ftp.SystemDesc(), "UNIX");
    EXPECT_EQ(ftp.LoginReply().NumericCode, 230);
}

INSTANTIATE_TEST_SUITE_P(
    AllModes, ProxyLogin,
    ::testing::Values(
        LoginCase{"UserSiteNoProxyUser", fpcmUserSite, "", "", {{"USER bob@ftp.example.org", "331 pass"}, {"PASS pw", "230 ok"}}},
        LoginCase{"UserSiteWithProxyUser",
                  fpcmUserSite,
                  "pu",
                  "pp",
                  {{"USER pu", "331 pass"}, {"PASS pp", "230 ok"}, {"USER bob@ftp.example.org", "331 pass"}, {"PASS pw", "230 ok"}}},
        LoginCase{"Site",
                  fpcmSite,
                  "pu",
                  "pp",
                  {{"USER pu", "331 pass"},
                   {"PASS pp", "230 ok"},
                   {"SITE ftp.example.org", "502 whatever"},
                   {"USER bob", "331 pass"},
                   {"PASS pw", "230 ok"}}},
        LoginCase{"OpenWithoutProxyUser",
                  fpcmOpen,
                  "",
                  "",
                  {{"OPEN ftp.example.org", "220 connected"}, {"USER bob", "331 pass"}, {"PASS pw", "230 ok"}}},
        LoginCase{"UserPass", fpcmUserPass, "pu", "pp", {{"USER bob@pu@ftp.example.org", "331 pass"}, {"PASS pw@pp", "230 ok"}}},
        LoginCase{"UserPassEmptyProxyPassword", fpcmUserPass, "pu", "", {{"USER bob@pu@ftp.example.org", "331 pass"}, {"PASS pw", "230 ok"}}},
        LoginCase{"TransparentProxyUserNeedsNoPass",
                  fpcmTransparent,
                  "pu",
                  "pp",
                  {{"USER pu", "230 no password needed"}, {"USER bob", "331 pass"}, {"PASS pw", "230 ok"}}}),
    [](const ::testing::TestParamInfo<LoginCase>& i) { return std::string(i.param.name); });

TEST(Login, SiteModeWithoutProxyHostConnectsStraightAndStillSendsSite) {
    ScriptedFtpServer srv;
    srv.greet("220 hi").expect("SITE 127.0.0.1", "500 what").expect("USER bob", "230 ok");
    srv.expect("TYPE I", "200 ok").expect("SYST", "215 UNIX");
    srv.start();
    TIdFTP ftp;
    configure(ftp, srv);
    ftp.ProxySettings.ProxyType = fpcmSite;
    ftp.OpenConnection(true, 5000);
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
}

TEST(Login, HttpProxyWithFtpIsRefusedAfterTheGreeting) {
    ScriptedFtpServer srv;
    srv.greet("220 hi").expectClosed();
    srv.start();
    TIdFTP ftp;
    configure(ftp, srv);
    ftp.ProxySettings.ProxyType = fpcmHttpProxyWithFtp;
    try {
        ftp.OpenConnection(true, 5000);
        FAIL();
    } catch (const EIdException& e) {
        EXPECT_STREQ(e.what(), "Command not supported.");
    }
    EXPECT_FALSE(ftp.IsOpen());
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
}

TEST(Login, RefusalsCloseTheConnection) {
    struct Case {
        std::string greeting;
        std::vector<std::pair<std::string, std::string>> exchange;
        int code;
    };
    const std::vector<Case> cases = {
        {"421 too many users", {}, 421},
        {"220 hi", {{"USER bob", "332 need account"}}, 332},
        {"220 hi", {{"USER bob", "331 pass"}, {"PASS pw", "530 wrong"}}, 530},
        {"220 hi", {{"USER bob", "230 ok"}, {"TYPE I", "504 no"}}, 504},
        {"220 hi", {{"USER bob", "230 ok"}, {"TYPE I", "200 ok"}, {"SYST", "502 not here"}}, 502},
    };
    for (const auto& c : cases) {
        ScriptedFtpServer srv;
        srv.greet(c.greeting);
        for (const auto& [l, r] : c.exchange) srv.expect(l, r);
        srv.expectClosed();
        srv.start();
        TIdFTP ftp;
        configure(ftp, srv);
        int disconnects = 0;
        ftp.OnDisconnected = [&](void*) { ++disconnects; };
        try {
            ftp.OpenConnection(true, 5000);
            ADD_FAILURE() << c.code;
        } catch (const EIdProtocolReplyError& e) {
            EXPECT_EQ(e.ReplyErrorCode(), c.code);
        }
        EXPECT_FALSE(ftp.IsOpen());
        EXPECT_EQ(disconnects, 1) << c.code;
        EXPECT_TRUE(srv.waitDone()) << c.code << ": " << srv.failure();
    }
}

TEST(Login, Syst500MeansUnknownSystem) {
    ScriptedFtpServer srv;
    srv.greet("220 hi").expect("USER bob", "230 ok").expect("TYPE I", "200 ok").expect("SYST", "500 unknown command");
    srv.start();
    TIdFTP ftp;
    configure(ftp, srv);
    bool afterLogin = false;
    ftp.OnAfterClientLogin = [&](void*) { afterLogin = true; };
    ftp.OpenConnection(true, 5000);
    EXPECT_TRUE(afterLogin);
    EXPECT_EQ(ftp.SystemDesc(), "Unknown");
    EXPECT_TRUE(ftp.IsOpen());
}

TEST(Login, AsciiTypeIsSentAtLogin) {
    ScriptedFtpServer srv;
    srv.greet("220 hi").expect("USER bob", "230 ok").expect("TYPE A", "200 ok").expect("SYST", "215 X");
    srv.start();
    TIdFTP ftp;
    configure(ftp, srv);
    ftp.SetTransferType(ftASCII);  // not connected: only stored
    ftp.OpenConnection(true, 5000);
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
}

TEST(Login, ProxyTypeNames) {
    EXPECT_EQ(ProxyTypeFromName("None"), fpcmNone);
    EXPECT_EQ(ProxyTypeFromName("UserSite"), fpcmUserSite);
    EXPECT_EQ(ProxyTypeFromName("Site"), fpcmSite);
    EXPECT_EQ(ProxyTypeFromName("Open"), fpcmOpen);
    EXPECT_EQ(ProxyTypeFromName("UserPass"), fpcmUserPass);
    EXPECT_EQ(ProxyTypeFromName("Transparent"), fpcmTransparent);
    EXPECT_EQ(ProxyTypeFromName("HttpProxyWithFtp"), fpcmHttpProxyWithFtp);
    EXPECT_EQ(ProxyTypeFromName("usersite"), fpcmNone);
}

// ------------------------------------------------------------- commands

class Commands : public ::testing::Test {
protected:
    ScriptedFtpServer srv;
    TIdFTP ftp;
    void SetUp() override { loginScript(srv); }
    void go() {
        srv.start();
        configure(ftp, srv);
        ftp.OpenConnection(true, 5000);
    }
};

TEST_F(Commands, FolderCommandsSendTheArgumentUnchanged) {
    srv.expect("CWD  a b ", "250 ok")
        .expect("CWD ..", "200 ok")
        .expect("MKD new", "257 \"new\" created")
        .expect("RMD old", "250 gone")
        .expect("DELE f.txt", "250 gone")
        .expect("RNFR a", "350 ready")
        .expect("RNTO b", "250 renamed")
        .expect("RNFR x", "550 no such file")
        .expect("NOOP", "200 ok");
    go();
    ftp.ChangeFolder(" a b ");
    ftp.ChangeFolder("..");
    ftp.CreateFolder("new");
    ftp.RemoveFolder("old");
    ftp.RemoveFile("f.txt");
    ftp.RenameEntry("a", "b");
    EXPECT_THROW(ftp.RenameEntry("x", "y"), EIdProtocolReplyError);  // no RNTO
    EXPECT_EQ(ftp.RunCommand("NOOP", 200), 200);
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
}

TEST_F(Commands, CurrentFolderTakesTheQuotedPathWithDoubledQuotesUndone) {
    srv.expect("PWD", "257 \"/home/bob\" is current")
        .expect("PWD", "257 no quotes here")
        .expect("PWD", "257 \"/a \"\"q\"\" b\" is current")
        .expect("PWD", "257 \"unterminated")
        .expect("PWD", "550 no");
    go();
    EXPECT_EQ(ftp.CurrentFolder(), "/home/bob");
    EXPECT_EQ(ftp.CurrentFolder(), "");
    EXPECT_EQ(ftp.CurrentFolder(), "/a \"q\" b");
    EXPECT_EQ(ftp.CurrentFolder(), "");
    EXPECT_THROW(ftp.CurrentFolder(), EIdProtocolReplyError);
}

TEST_F(Commands, RemoteSizeIsSixtyFourBit) {
    srv.expect("SIZE a", "213 1048576")
        .expect("SIZE big", "213 5000000000")
        .expect("SIZE missing", "550 no such file")
        .expect("SIZE odd", "213 12abc")
        .expect("SIZE bare", "213")
        .expect("SIZE worded", "213 file: 213")
        .expect("SIZE negative", "213 -5");
    go();
    EXPECT_EQ(ftp.RemoteSize("a"), 1048576);
    EXPECT_EQ(ftp.RemoteSize("big"), 5000000000LL);
    EXPECT_EQ(ftp.RemoteSize("missing"), -1);
    EXPECT_EQ(ftp.RemoteSize("odd"), -1);
    EXPECT_EQ(ftp.RemoteSize("bare"), -1);
    EXPECT_EQ(ftp.RemoteSize("worded"), -1);
    EXPECT_EQ(ftp.RemoteSize("negative"), -1);
}

TEST_F(Commands, LineBreaksOrNulInsideAnArgumentAreRefusedBeforeAnyByte) {
    srv.expect("NOOP", "200 ok");
    go();
    TempDir d;
    const std::string nul("a\0b", 3);
    for (const std::string& bad : {std::string("a\r\nDELE b"), std::string("a\nb"), std::string("a\rb"), nul}) {
        EXPECT_THROW(ftp.ChangeFolder(bad), EIdException);
        EXPECT_THROW(ftp.RunCommand("SITE " + bad, -1), EIdException);
        EXPECT_THROW(ftp.RenameEntry("ok", bad), EIdException);  // no RNFR either
        EXPECT_THROW(ftp.DownloadToFile(bad, d.file("x"), false, false), EIdException);
    }
    EXPECT_EQ(ftp.RunCommand("NOOP", 200), 200);
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
    EXPECT_EQ(srv.transcript(), concat(loginLines(), {"NOOP"}));
}

TEST(Login, LineBreakInALoginTextConnectsNowhere) {
    ScriptedFtpServer srv;
    TIdFTP ftp;
    configure(ftp, srv);
    ftp.Username = "bob\r\nSITE EXEC x";
    int connects = 0;
    ftp.OnConnected = [&](void*) { ++connects; };
    ftp.ReadTimeout = 300;
    EXPECT_THROW(ftp.OpenConnection(true, 5000), EIdException);
    EXPECT_EQ(connects, 0);
    EXPECT_FALSE(ftp.IsOpen());
}

TEST_F(Commands, RunCommandWithMinusOneAcceptsAnyCode) {
    srv.expect("REST 100", "502 no").expect("NOOP", "421 bye");
    go();
    EXPECT_EQ(ftp.RunCommand("REST 100", -1), 502);
    EXPECT_THROW(ftp.RunCommand("NOOP", 200), EIdProtocolReplyError);
}

TEST_F(Commands, SettingTheSameTransferTypeTwiceSendsOneTypeLine) {
    srv.expect("TYPE A", "200 ascii").expect("TYPE I", "200 binary").expect("NOOP", "200 ok");
    go();
    ftp.SetTransferType(ftASCII);
    ftp.SetTransferType(ftASCII);
    EXPECT_EQ(ftp.TransferType(), ftASCII);
    ftp.SetTransferType(ftBinary);
    ftp.RunCommand("NOOP", 200);
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
}

TEST_F(Commands, NestedCommandFromThePumpIsRefusedButAbortIsSent) {
    srv.expect("CWD slow").hold().reply("250 ok").expect("ABOR", "225 nothing to abort").expect("NOOP", "200 ok");
    go();
    CountingPump pump;
    std::string nestedError;
    pump.onPump = [&] {
        try {
            ftp.RunCommand("NOOP", 200);
        } catch (const EIdCommandInProgress& e) {
            nestedError = e.what();
        }
        try {
            ftp.ListingEntries();
            ftp.ChangeFolder("other");
        } catch (const EIdCommandInProgress&) {
            nestedError += "+";
        }
        ftp.AbortTransfer();  // a write only: allowed
        srv.release();
    };
    ftp.ChangeFolder("slow");
    EXPECT_EQ(nestedError, "Another command is still in progress on this connection.+");
    EXPECT_FALSE(ftp.Busy());
    // The ABOR reply came after the CWD reply; it is read before the next command.
    EXPECT_EQ(ftp.RunCommand("NOOP", -1), 200);
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
}

TEST_F(Commands, DisconnectFromThePumpEndsTheBlockedCommand) {
    srv.expect("CWD slow").silentUntilClosed();
    go();
    CountingPump pump;
    pump.onPump = [&] { ftp.CloseConnection(); };
    EXPECT_THROW(ftp.ChangeFolder("slow"), EIdConnClosedGracefully);
    EXPECT_FALSE(ftp.IsOpen());
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
}
