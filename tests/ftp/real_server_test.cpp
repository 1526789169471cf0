// End-to-end runs of the FTP client against real servers, FTP proxies and
// SOCKS servers on loopback. Each server is started by its fixture and the
// test is skipped when the program is not installed.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "ftp/ftp_client.h"
#include "ftp/socks.h"
#include "platform/net/local_time.h"
#include "tests/support/core/counting_pump.h"
#include "tests/support/core/ftp_script.h"
#include "tests/support/core/real_servers.h"
#include "tests/support/core/tls_servers.h"
#include "tests/support/core/tls_test_peer.h"

namespace {

namespace fs = std::filesystem;
using testing_support::FtpAccount;
using testing_support::randomBytes;
using testing_support::ReadWholeFile;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

// Names with blanks and bytes that are not UTF-8 must travel unchanged.
const std::string kOddName = "my file caf\xe9 \xc3\xa9.txt";
// No 0xFF byte: a telnet-aware peer (ftp-proxy) would take it as IAC.
const std::string kUploadName = "up load \xfe\xe9.bin";

struct Scenario {
    std::string home;  // the server-side folder of the account
    FtpAccount account;
    int port = 0;
};

void fillHome(const std::string& home, const std::string& big) {
    ASSERT_TRUE(WriteWholeFile(home + "/big.bin", big));
    ASSERT_TRUE(WriteWholeFile(home + "/empty.bin", ""));
    ASSERT_TRUE(WriteWholeFile(home + "/" + kOddName, "odd name contents\n"));
    fs::create_directory(home + "/sub dir");
    // vsftpd serves as the account's own user, which must be able to write.
    std::error_code ec;
    fs::permissions(home, fs::perms::all, fs::perm_options::add, ec);
    for (const auto& e : fs::directory_iterator(home))
        fs::permissions(e.path(), fs::perms::all, fs::perm_options::add, ec);
}

void configure(TIdFTP& ftp, const Scenario& s, bool passive) {
    ftp.Host = "127.0.0.1";
    ftp.Port = s.port;
    ftp.Username = s.account.User;
    ftp.Password = s.account.Password;
    ftp.Passive = passive;
    ftp.ReadTimeout = 10000;
}

const ListingEntry* findEntry(TIdFTP& ftp, const std::string& name) {
    for (const ListingEntry& e : ftp.ListingEntries())
        if (e.EntryName == name) return &e;
    return nullptr;
}

void runSteps(TIdFTP& ftp, const Scenario& s, bool full);

// Lists, downloads, uploads; with full also the 0-byte file, the odd name and
// the resume of a cut-off download. Every copy must be byte-identical. The
// control-line log goes into the failure message (and, with
// OSTRAFEN_SHOW_TRANSCRIPT set, to stdout with millisecond stamps).
void runScenario(TIdFTP& ftp, const Scenario& s, bool full) {
    TIdLogEvent log;
    log.LogTime = false;
    log.ReplaceCRLF = false;
    std::string transcript;
    const auto t0 = std::chrono::steady_clock::now();
    const auto stamp = [&] {
        if (!std::getenv("OSTRAFEN_SHOW_TRANSCRIPT")) return std::string();
        return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::steady_clock::now() - t0)
                                  .count()) +
               " ";
    };
    log.OnSent = [&](void*, const std::string&, const std::string& data) { transcript += stamp() + "> " + data; };
    log.OnReceived = [&](void*, const std::string&, const std::string& data) {
        transcript += stamp() + "< " + data;
    };
    ftp.Intercept = &log;
    struct Detach {
        TIdFTP& ftp;
        const std::string& transcript;
        ~Detach() {
            ftp.Intercept = nullptr;
            if (::testing::Test::HasFailure())
                ADD_FAILURE() << "control connection:\n" << transcript;
            else if (std::getenv("OSTRAFEN_SHOW_TRANSCRIPT"))
                std::fputs(transcript.c_str(), stdout);
        }
    } detach{ftp, transcript};
    try {
        runSteps(ftp, s, full);
    } catch (const std::exception& e) {
        ADD_FAILURE() << "unexpected error: " << e.what();
    }
}

void runSteps(TIdFTP& ftp, const Scenario& s, bool full) {
    const std::string big = randomBytes(full ? 3 * 1024 * 1024 : 256 * 1024, 7);
    fillHome(s.home, big);
    TempDir local;

    ASSERT_NO_THROW(ftp.OpenConnection(true, 5000));
    ASSERT_TRUE(ftp.IsOpen());
    ftp.SetTransferType(ftBinary);

    ftp.FetchListing(nullptr);
    const ListingEntry* bigEntry = findEntry(ftp, "big.bin");
    ASSERT_NE(bigEntry, nullptr) << "listing lines: " << ftp.ListingLines().size();
    EXPECT_EQ(bigEntry->EntrySize, std::int64_t(big.size()));
    EXPECT_EQ(bigEntry->EntryKind, KindFile);
    const ListingEntry* sub = findEntry(ftp, "sub dir");
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->EntryKind, KindFolder);
    ASSERT_NE(findEntry(ftp, kOddName), nullptr) << "names must keep their bytes";

    ftp.DownloadToFile("big.bin", local.File("big.bin"), true, false);
    EXPECT_TRUE(ReadWholeFile(local.File("big.bin")) == big) << "download differs";

    ASSERT_TRUE(WriteWholeFile(local.File("up.bin"), randomBytes(100000, 9)));
    ftp.UploadFromFile(local.File("up.bin"), kUploadName, false);
    EXPECT_TRUE(ReadWholeFile(s.home + "/" + kUploadName) == ReadWholeFile(local.File("up.bin")))
        << "upload differs";

    if (!full) {
        ftp.CloseConnection();
        return;
    }

    ftp.DownloadToFile("empty.bin", local.File("empty.bin"), true, false);
    EXPECT_TRUE(fs::exists(local.File("empty.bin")));
    EXPECT_EQ(fs::file_size(local.File("empty.bin")), 0u);
    ASSERT_TRUE(WriteWholeFile(local.File("empty-up.bin"), ""));
    ftp.UploadFromFile(local.File("empty-up.bin"), "empty-up.bin", false);
    EXPECT_TRUE(fs::exists(s.home + "/empty-up.bin"));
    EXPECT_EQ(fs::file_size(s.home + "/empty-up.bin"), 0u);

    ftp.DownloadToFile(kOddName, local.File("odd.txt"), true, false);
    EXPECT_EQ(ReadWholeFile(local.File("odd.txt")), "odd name contents\n");

    // Cut a download off part way from inside the pump, as the Abort button does.
    testing_support::CountingPump pump(20);
    bool armed = false;
    ftp.OnWork = [&](void*, TWorkMode mode, std::int64_t count) {
        if (mode == WorkRead && count >= 128 * 1024 && !armed) {
            armed = true;
            pump.onPump = [&] { ftp.AbortTransfer(); };
        }
    };
    try {
        ftp.DownloadToFile("big.bin", local.File("resumed.bin"), true, false);
    } catch (const EIdException&) {
        // A cut-off transfer ends in an error; the partial file stays.
    }
    ftp.OnWork = nullptr;
    pump.onPump = nullptr;
    std::uintmax_t partial = fs::exists(local.File("resumed.bin")) ? fs::file_size(local.File("resumed.bin")) : 0;
    const bool cutByAbort = partial > 0 && partial < big.size();
    ::testing::Test::RecordProperty("cut_by_abort", cutByAbort ? "yes" : "no");
    ::testing::Test::RecordProperty("partial", std::to_string(partial) + " pumps " + std::to_string(pump.calls));
    if (!cutByAbort) {
        // The pump did not get to cut the transfer: cut the file by hand.
        partial = big.size() / 3;
        ASSERT_TRUE(WriteWholeFile(local.File("resumed.bin"), big.substr(0, partial)));
    }
    // As after a lost connection: a fresh one, then the resume.
    ftp.CloseConnection();
    ASSERT_NO_THROW(ftp.OpenConnection(true, 5000));
    ftp.SetTransferType(ftBinary);
    ASSERT_NO_THROW(ftp.DownloadToFile("big.bin", local.File("resumed.bin"), false, true));
    EXPECT_TRUE(ftp.CanResume());
    EXPECT_TRUE(ReadWholeFile(local.File("resumed.bin")) == big)
        << "resumed file differs (had " << partial << " bytes before resuming)";
    ftp.CloseConnection();
}

Scenario pyftpdlibScenario(testing_support::PyftpdlibServer& srv) {
    return {srv.Account().Home, srv.Account(), srv.Port()};
}

Scenario vsftpdScenario(testing_support::VsftpdServer& srv) {
    return {srv.Account().Home, srv.Account(), srv.Port()};
}

#define START_OR_SKIP(server, ...)                                  \
    do {                                                            \
        std::string why_;                                           \
        if (!(server).Start(&why_ __VA_OPT__(, ) __VA_ARGS__))      \
            GTEST_SKIP() << why_;                                   \
    } while (0)

class RealFtp : public ::testing::TestWithParam<bool> {};

TEST_P(RealFtp, Pyftpdlib) {
    testing_support::PyftpdlibServer srv;
    START_OR_SKIP(srv);
    TIdFTP ftp;
    const Scenario s = pyftpdlibScenario(srv);
    configure(ftp, s, GetParam());
    runScenario(ftp, s, true);
    if (HasFailure()) ADD_FAILURE() << srv.Log();
}

TEST_P(RealFtp, Vsftpd) {
    testing_support::VsftpdServer srv;
    START_OR_SKIP(srv);
    TIdFTP ftp;
    const Scenario s = vsftpdScenario(srv);
    configure(ftp, s, GetParam());
    runScenario(ftp, s, true);
}

TEST_P(RealFtp, VsftpdListsDotEntriesWithDashA) {
    testing_support::VsftpdServer srv;
    START_OR_SKIP(srv);
    TIdFTP ftp;
    const Scenario s = vsftpdScenario(srv);
    configure(ftp, s, GetParam());
    ASSERT_NO_THROW(ftp.OpenConnection(true, 5000));
    ftp.FetchListing(nullptr, "-a");
    ASSERT_NE(findEntry(ftp, "."), nullptr);
    ASSERT_NE(findEntry(ftp, ".."), nullptr);
    EXPECT_EQ(findEntry(ftp, "..")->EntryKind, KindFolder);
    ftp.CloseConnection();
}

// pure-ftpd greets with eight 220- lines and closes transfers with multi-line replies.
TEST_P(RealFtp, PureFtpd) {
    testing_support::PureFtpdServer srv;
    START_OR_SKIP(srv);
    TIdFTP ftp;
    const Scenario s{srv.Account().Home, srv.Account(), srv.Port()};
    configure(ftp, s, GetParam());
    runScenario(ftp, s, true);
    EXPECT_GE(ftp.Greeting().Text.size(), 2u);
}

// proftpd listing in MS-DOS style: the client must still find its entries.
TEST_P(RealFtp, ProftpdWindowsStyle) {
    testing_support::ProftpdServer srv;
    START_OR_SKIP(srv, true);
    TIdFTP ftp;
    const Scenario s{srv.Account().Home, srv.Account(), srv.Port()};
    configure(ftp, s, GetParam());
    runScenario(ftp, s, true);
    if (HasFailure()) ADD_FAILURE() << srv.Log();
}

INSTANTIATE_TEST_SUITE_P(Modes, RealFtp, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "Passive" : "Active"; });

// Faults that only show against a real server's timing.
class VsftpdFaults : public ::testing::Test {
protected:
    testing_support::VsftpdServer srv;
    TIdFTP ftp;
    TempDir local;
    bool start(bool passive, int maxRate = 0) {
        srv.LocalMaxRate = maxRate;
        std::string why;
        if (!srv.Start(&why)) {
            skipWhy = why;
            return false;
        }
        configure(ftp, vsftpdScenario(srv), passive);
        ftp.OpenConnection(true, 5000);
        return true;
    }
    std::string skipWhy;
};

TEST_F(VsftpdFaults, RefusedRetrLeavesTheLocalFileAsItWas) {
    if (!start(true)) GTEST_SKIP() << skipWhy;
    ASSERT_TRUE(WriteWholeFile(local.File("keep.txt"), "eighteen bytes...."));
    EXPECT_THROW(ftp.DownloadToFile("missing.bin", local.File("keep.txt"), true, false), EIdProtocolReplyError);
    EXPECT_EQ(ReadWholeFile(local.File("keep.txt")), "eighteen bytes....");
    EXPECT_THROW(ftp.DownloadToFile("missing.bin", local.File("new.txt"), false, false), EIdProtocolReplyError);
    EXPECT_FALSE(fs::exists(local.File("new.txt")));
    EXPECT_EQ(ftp.RunCommand("NOOP", -1), 200);
}

TEST_F(VsftpdFaults, AborDuringAThrottledRetrFailsAndKeepsRepliesPaired) {
    if (!start(true, 256 * 1024)) GTEST_SKIP() << skipWhy;
    ASSERT_TRUE(WriteWholeFile(srv.Account().Home + "/slow.bin", randomBytes(4 << 20, 3)));
    testing_support::CountingPump pump(20);
    ftp.OnWork = [&](void*, TWorkMode, std::int64_t n) {
        if (n >= 64 * 1024) pump.onPump = [&] { ftp.AbortTransfer(); };
    };
    try {
        ftp.DownloadToFile("slow.bin", local.File("slow.bin"), true, false);
        FAIL() << "an aborted download passed for complete";
    } catch (const EIdException& e) {
        EXPECT_STREQ(e.what(), "Transfer aborted");
    }
    ftp.OnWork = nullptr;
    EXPECT_LT(fs::file_size(local.File("slow.bin")), 4u << 20);
    ASSERT_TRUE(ftp.IsOpen());
    EXPECT_EQ(ftp.RunCommand("NOOP", -1), 200);
    EXPECT_EQ(ftp.CurrentFolder(), srv.Account().Home);
}

TEST_F(VsftpdFaults, ActiveModeWithASlowEventLoopKeepsEveryTransfer) {
    if (!start(false)) GTEST_SKIP() << skipWhy;
    ASSERT_TRUE(WriteWholeFile(srv.Account().Home + "/small.txt", "small file\n"));
    testing_support::CountingPump pump(20);
    pump.busyMs = 20;
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        ASSERT_NO_THROW(ftp.DownloadToFile("small.txt", local.File("small.txt"), true, false));
        EXPECT_EQ(ReadWholeFile(local.File("small.txt")), "small file\n");
        ASSERT_NO_THROW(ftp.FetchListing(nullptr));
        EXPECT_NE(findEntry(ftp, "small.txt"), nullptr);
    }
}

// Through SOCKS: the control connection and passive data connections both go
// through the SOCKS server; active data connections are accepted locally.
class ThroughSocks : public ::testing::TestWithParam<bool> {};

TEST_P(ThroughSocks, MicrosocksWithoutLogin) {
    testing_support::PyftpdlibServer ftpSrv;
    START_OR_SKIP(ftpSrv);
    testing_support::MicrosocksServer socks;
    START_OR_SKIP(socks);
    TIdFTP ftp;
    const Scenario s = pyftpdlibScenario(ftpSrv);
    configure(ftp, s, GetParam());
    ftp.SocksInfo() = SocksInfoFromProfile("Socks5", "127.0.0.1", socks.Port(), false, "", "");
    runScenario(ftp, s, false);
}

TEST_P(ThroughSocks, MicrosocksWithLogin) {
    testing_support::PyftpdlibServer ftpSrv;
    START_OR_SKIP(ftpSrv);
    testing_support::MicrosocksServer socks;
    START_OR_SKIP(socks, "sockuser", "sockpass");
    const Scenario s = pyftpdlibScenario(ftpSrv);
    {
        TIdFTP wrong;
        configure(wrong, s, GetParam());
        wrong.SocksInfo() = SocksInfoFromProfile("Socks5", "127.0.0.1", socks.Port(), true, "sockuser", "nope");
        EXPECT_THROW(wrong.OpenConnection(true, 5000), EIdSocksError);
        EXPECT_FALSE(wrong.IsOpen());
    }
    TIdFTP ftp;
    configure(ftp, s, GetParam());
    ftp.SocksInfo() = SocksInfoFromProfile("Socks5", "127.0.0.1", socks.Port(), true, "sockuser", "sockpass");
    runScenario(ftp, s, false);
}

TEST_P(ThroughSocks, DanteSocks4) {
    testing_support::PyftpdlibServer ftpSrv;
    START_OR_SKIP(ftpSrv);
    testing_support::DanteServer socks;
    START_OR_SKIP(socks, false);
    TIdFTP ftp;
    const Scenario s = pyftpdlibScenario(ftpSrv);
    configure(ftp, s, GetParam());
    ftp.SocksInfo() = SocksInfoFromProfile("Socks4", "127.0.0.1", socks.Port(), false, "", "");
    runScenario(ftp, s, false);
    if (HasFailure()) ADD_FAILURE() << socks.Log() << ReadWholeFile(socks.Dir() + "/danted.log");
}

TEST_P(ThroughSocks, DanteSocks5WithSystemAccount) {
    testing_support::PyftpdlibServer ftpSrv;
    START_OR_SKIP(ftpSrv);
    testing_support::DanteServer socks;
    START_OR_SKIP(socks, true);
    const Scenario s = pyftpdlibScenario(ftpSrv);
    {
        TIdFTP noLogin;
        configure(noLogin, s, GetParam());
        noLogin.SocksInfo() = SocksInfoFromProfile("Socks5", "127.0.0.1", socks.Port(), false, "", "");
        EXPECT_THROW(noLogin.OpenConnection(true, 5000), EIdSocksAuthMethodError);
    }
    TIdFTP ftp;
    configure(ftp, s, GetParam());
    ftp.SocksInfo() = SocksInfoFromProfile("Socks5", "127.0.0.1", socks.Port(), true,
                                           testing_support::kSystemTestUser, testing_support::kSystemTestPassword);
    runScenario(ftp, s, false);
    if (HasFailure()) ADD_FAILURE() << ReadWholeFile(socks.Dir() + "/danted.log");
}

TEST_P(ThroughSocks, Socks4ANamesEveryTarget) {
    testing_support::PyftpdlibServer ftpSrv;
    START_OR_SKIP(ftpSrv);
    testing_support::RelaySocksServer socks;
    TIdFTP ftp;
    const Scenario s = pyftpdlibScenario(ftpSrv);
    configure(ftp, s, GetParam());
    ftp.Host = "localhost";
    ftp.SocksInfo() = SocksInfoFromProfile("Socks4A", "127.0.0.1", socks.Port(), true, "me", "unused");
    runScenario(ftp, s, false);
    const auto targets = socks.Targets();
    ASSERT_FALSE(targets.empty());
    EXPECT_EQ(targets[0], "localhost:" + std::to_string(s.port));
    const std::string expectedHead = std::string("\x04\x01", 2) + char(s.port >> 8) + char(s.port & 0xFF) +
                                     std::string("\0\0\0\x01me\0localhost\0", 17);
    EXPECT_EQ(socks.Requests()[0], expectedHead);
    // Passive mode: every data connection went through SOCKS as well.
    if (GetParam()) EXPECT_GE(targets.size(), 3u);
    else EXPECT_EQ(targets.size(), 1u);
}

TEST_P(ThroughSocks, Socks5SendsNamesAndLoginOnEveryConnection) {
    testing_support::PyftpdlibServer ftpSrv;
    START_OR_SKIP(ftpSrv);
    testing_support::RelaySocksServer socks("relayuser", "relaypass");
    TIdFTP ftp;
    const Scenario s = pyftpdlibScenario(ftpSrv);
    configure(ftp, s, GetParam());
    ftp.Host = "localhost";
    ftp.SocksInfo() = SocksInfoFromProfile("Socks5", "127.0.0.1", socks.Port(), true, "relayuser", "relaypass");
    runScenario(ftp, s, false);
    const auto requests = socks.Requests();
    ASSERT_FALSE(requests.empty());
    const std::string port{char(s.port >> 8), char(s.port & 0xFF)};
    EXPECT_EQ(requests[0], std::string("\x05\x01\x02\x01\x09relayuser\x09relaypass\x05\x01\x00\x03\x09localhost", 38) + port);
    for (const std::string& r : requests) EXPECT_EQ(r.substr(0, 3), "\x05\x01\x02");
    if (GetParam()) EXPECT_GE(requests.size(), 3u);
    else EXPECT_EQ(requests.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Modes, ThroughSocks, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "Passive" : "Active"; });

// Refusals of real and scripted SOCKS servers reach the caller as their own
// errors, within the connect time-out, and leave the client closed.
TEST(SocksRefusals, RealServersReportTheirReplyCodes) {
    testing_support::MicrosocksServer micro;
    START_OR_SKIP(micro);
    TIdFTP ftp;
    ftp.Host = "127.0.0.1";
    ftp.Port = testing_support::FreeLoopbackPort();  // nothing listens there
    ftp.Username = "x";
    ftp.SocksInfo() = SocksInfoFromProfile("Socks5", "127.0.0.1", micro.Port(), false, "", "");
    EXPECT_THROW(ftp.OpenConnection(true, 3000), EIdSocksServerConnectionRefusedError);
    EXPECT_FALSE(ftp.IsOpen());

    testing_support::DanteServer dante;
    START_OR_SKIP(dante, false);
    ftp.SocksInfo() = SocksInfoFromProfile("Socks4A", "127.0.0.1", dante.Port(), false, "", "");
    ftp.Host = "localhost";
    EXPECT_THROW(ftp.OpenConnection(true, 3000), EIdSocksRequestFailed);
    EXPECT_FALSE(ftp.IsOpen());
}

TEST(SocksRefusals, SilentSocksServerEndsWithTheConnectTimeOut) {
    testing_support::ScriptedSocksServer silent(std::vector<testing_support::ScriptedSocksServer::Step>{{"", ""}});
    TIdFTP ftp;
    ftp.Host = "127.0.0.1";
    ftp.Port = 21;
    ftp.SocksInfo() = SocksInfoFromProfile("Socks5", "127.0.0.1", silent.Port(), false, "", "");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(ftp.OpenConnection(true, 700), EIdSocksServerRespondError);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_FALSE(ftp.IsOpen());
}

TEST(ThroughFtpProxy, UserSiteLoginThroughFtpProxy) {
    testing_support::PyftpdlibServer ftpSrv;
    START_OR_SKIP(ftpSrv);
    testing_support::FtpProxyServer proxy;
    START_OR_SKIP(proxy);
    TIdFTP ftp;
    const Scenario s = pyftpdlibScenario(ftpSrv);
    configure(ftp, s, true);
    // The proxy reads "user@host:port"; the client sends Host as it stands.
    ftp.Host = "127.0.0.1:" + std::to_string(s.port);
    ftp.ProxySettings.ProxyType = fpcmUserSite;
    ftp.ProxySettings.Host = "127.0.0.1";
    ftp.ProxySettings.Port = proxy.Port();
    runScenario(ftp, s, false);
    if (HasFailure()) ADD_FAILURE() << proxy.Log() << ReadWholeFile(proxy.Dir() + "/ftp-proxy.log");
}

#if OSTRAFEN_TLS
// FTP over TLS: the whole scenario (list, download, upload, abort and resume)
// with the control and every data connection encrypted; with FEAT asked, so
// pure-ftpd and pyftpdlib list through MLSD, and with EPSV first.
class RealFtpTls : public ::testing::TestWithParam<bool> {};

void configureTls(TIdFTP& ftp, const Scenario& s, bool passive, TIdFtpEncryption mode) {
    configure(ftp, s, passive);
    ftp.Encryption = mode;
    ftp.AskFeatures = true;
    ftp.UseEpsv = true;
    ftp.OnVerifyCertificate = [](void*, const net::TlsCertificateInfo&) { return tlsTrustOnce; };
}

// After the scenario: a fresh connection is encrypted on both channels.
void expectEncrypted(TIdFTP& ftp) {
    ASSERT_NO_THROW(ftp.OpenConnection(true, 5000));
    EXPECT_TRUE(ftp.IsEncrypted());
    EXPECT_TRUE(ftp.DataProtected());
    EXPECT_EQ(ftp.TlsProtocol().rfind("TLSv1.", 0), 0u) << ftp.TlsProtocol();
    ftp.CloseConnection();
    EXPECT_FALSE(ftp.IsEncrypted());
}

// The whole scenario over TLS against one server, then a fresh encrypted login.
template <class Server, class... StartArgs>
void runTlsScenario(bool passive, TIdFtpEncryption mode, bool withSubfolder, StartArgs... startArgs) {
    Server srv;
    START_OR_SKIP(srv, startArgs...);
    TIdFTP ftp;
    const Scenario s{srv.Account().Home, srv.Account(), srv.Port()};
    configureTls(ftp, s, passive, mode);
    runScenario(ftp, s, withSubfolder);
    expectEncrypted(ftp);
    if (::testing::Test::HasFailure()) ADD_FAILURE() << srv.Log();
}

TEST_P(RealFtpTls, VsftpdRequiringSessionReuse) {
    runTlsScenario<testing_support::VsftpdTlsServer>(GetParam(), ftpsExplicitRequired, true);
}
TEST_P(RealFtpTls, VsftpdImplicit) {
    runTlsScenario<testing_support::VsftpdTlsServer>(GetParam(), ftpsImplicit, false, true);
}
TEST_P(RealFtpTls, PureFtpd) {
    runTlsScenario<testing_support::PureFtpdTlsServer>(GetParam(), ftpsExplicitIfAvailable, true);
}
TEST_P(RealFtpTls, Pyftpdlib) {
    runTlsScenario<testing_support::PyftpdlibTlsServer>(GetParam(), ftpsExplicitRequired, true);
}

INSTANTIATE_TEST_SUITE_P(Modes, RealFtpTls, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "Passive" : "Active"; });

// The certificate decision against vsftpd's self-signed certificate.
TEST(RealFtpTlsCertificate, PromptAnswersPinsAndAChangedCertificate) {
    testing_support::VsftpdTlsServer srv;
    START_OR_SKIP(srv);
    TIdFTP ftp;
    const Scenario s{srv.Account().Home, srv.Account(), srv.Port()};
    configure(ftp, s, true);
    ftp.Encryption = ftpsExplicitRequired;
    std::vector<net::TlsCertificateInfo> asked;
    TIdTlsTrust answer = tlsCancel;
    ftp.OnVerifyCertificate = [&](void*, const net::TlsCertificateInfo& c) {
        asked.push_back(c);
        return answer;
    };

    EXPECT_THROW(ftp.OpenConnection(true, 5000), EIdTlsCertificateRejected);
    EXPECT_FALSE(ftp.IsOpen());
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].Problem, net::TlsVerifyProblem::SelfSigned);
    EXPECT_FALSE(asked[0].Trusted);
    EXPECT_NE(asked[0].Subject.find("CN="), std::string::npos) << asked[0].Subject;
    EXPECT_EQ(asked[0].Sha256Fingerprint.size(), 95u);

    answer = tlsTrustOnce;  // this connection only: asked again next time
    ASSERT_NO_THROW(ftp.OpenConnection(true, 5000));
    EXPECT_TRUE(ftp.PinnedFingerprint.empty());
    ftp.CloseConnection();

    answer = tlsTrustAlways;
    ASSERT_NO_THROW(ftp.OpenConnection(true, 5000));
    EXPECT_EQ(asked.size(), 3u);
    EXPECT_EQ(ftp.PinnedFingerprint, asked[0].Sha256Fingerprint);
    ftp.CloseConnection();
    ASSERT_NO_THROW(ftp.OpenConnection(true, 5000));  // pinned: not asked
    EXPECT_EQ(asked.size(), 3u);
    ftp.CloseConnection();

    // Another certificate than the stored one: refused, never asked.
    // (Each run makes a new certificate: flip its first digit rather than
    // write a fixed one, which the new fingerprint could happen to start with.)
    std::string changed = asked[0].Sha256Fingerprint;
    changed[0] = changed[0] == '0' ? '1' : '0';
    ftp.PinnedFingerprint = changed;
    try {
        ftp.OpenConnection(true, 5000);
        FAIL() << "a changed certificate was accepted";
    } catch (const EIdTlsCertificateChanged& e) {
        EXPECT_EQ(e.PresentedFingerprint(), asked[0].Sha256Fingerprint);
    }
    EXPECT_EQ(asked.size(), 3u);
    EXPECT_FALSE(ftp.IsOpen());

    // A certificate the client trusts needs no question at all.
    std::string why;
    const testing_support::TlsTestCertificates* certs = testing_support::TestCertificates(&why);
    ASSERT_NE(certs, nullptr) << why;
    ftp.PinnedFingerprint.clear();
    ftp.TlsTrustFile = certs->SelfSignedCert;
    ASSERT_NO_THROW(ftp.OpenConnection(true, 5000));
    EXPECT_EQ(asked.size(), 3u);
}
#endif

// IPv6 on ::1: EPSV for passive and EPRT for active data connections.
TEST_P(RealFtp, PyftpdlibOverIPv6) {
    if (!testing_support::HasIPv6Loopback()) GTEST_SKIP() << "no ::1 on this machine";
    testing_support::PyftpdlibServer srv;
    srv.Host = "::1";
    START_OR_SKIP(srv);
    ASSERT_TRUE(WriteWholeFile(srv.Account().Home + "/six.txt", "over IPv6\n"));
    TIdFTP ftp;
    configure(ftp, {srv.Account().Home, srv.Account(), srv.Port()}, GetParam());
    ftp.Host = "::1";
    TIdLogEvent log;
    std::string sent;
    log.OnSent = [&](void*, const std::string&, const std::string& d) { sent += d; };
    ftp.Intercept = &log;
    TempDir local;
    ASSERT_NO_THROW(ftp.OpenConnection(true, 5000));
    EXPECT_EQ(ftp.IOHandler()->PeerIP, "::1");
    ASSERT_NO_THROW(ftp.FetchListing(nullptr));
    EXPECT_NE(findEntry(ftp, "six.txt"), nullptr);
    ASSERT_NO_THROW(ftp.DownloadToFile("six.txt", local.File("six.txt"), false, false));
    EXPECT_EQ(ReadWholeFile(local.File("six.txt")), "over IPv6\n");
    ftp.Intercept = nullptr;
    if (GetParam()) {
        EXPECT_NE(sent.find("EPSV"), std::string::npos) << sent;
    } else {
        EXPECT_NE(sent.find("EPRT |2|::1|"), std::string::npos) << sent;
    }
    EXPECT_EQ(sent.find("PASV"), std::string::npos) << sent;
}

// MLSD: exact sizes, times in UTC shown in local time, no "." or "..".
TEST(RealFtpMlsd, PureFtpdAndPyftpdlibGiveExactFacts) {
    const std::time_t when = 1614834367;  // 2021-03-04 05:06:07 UTC
    const std::tm local = net::localTime(when);
    const std::string big = randomBytes(123457, 5);
    const auto check = [&](const FtpAccount& account, int port, const std::string& server) {
        SCOPED_TRACE(server);
        ASSERT_TRUE(WriteWholeFile(account.Home + "/facts.bin", big));
        fs::create_directory(account.Home + "/folder");
        // Exactly `when`: a stamp worked out from "now" can land a second off.
        fs::last_write_time(account.Home + "/facts.bin",
                            std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(when)));
        TIdFTP ftp;
        configure(ftp, {account.Home, account, port}, true);
        ftp.AskFeatures = true;
        ASSERT_NO_THROW(ftp.OpenConnection(true, 5000));
        EXPECT_TRUE(ftp.UsesMlsd());
        ASSERT_NO_THROW(ftp.FetchListing(nullptr));
        EXPECT_EQ(ftp.ListingEntries().ListFormat, FormatMlsd);
        EXPECT_EQ(findEntry(ftp, "."), nullptr);
        EXPECT_EQ(findEntry(ftp, ".."), nullptr);
        const ListingEntry* f = findEntry(ftp, "facts.bin");
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->EntrySize, std::int64_t(big.size()));
        const ListingDateTime t = DecodeListingDateTime(f->Modified);
        EXPECT_EQ(std::vector<int>({t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second}),
                  std::vector<int>({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                                    local.tm_min, local.tm_sec}));
        const ListingEntry* d = findEntry(ftp, "folder");
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->EntryKind, KindFolder);
    };
    {
        testing_support::PureFtpdServer srv;
        START_OR_SKIP(srv);
        check(srv.Account(), srv.Port(), "pure-ftpd");
    }
    {
        testing_support::PyftpdlibServer srv;
        START_OR_SKIP(srv);
        check(srv.Account(), srv.Port(), "pyftpdlib");
    }
}

TEST(RealServerFixtures, StopEndsTheWholeProcessGroup) {
    testing_support::ChildProcess child;
    std::string why;
    ASSERT_TRUE(child.Start({"/bin/sh", "-c", "sleep 30 & sleep 30"}, "/dev/null", &why)) << why;
    const pid_t group = child.Pid();
    child.Stop();
    EXPECT_NE(::kill(-group, 0), 0) << "a grandchild survived";
    // A server that dies on its own is stopped at once, not after the grace time.
    ASSERT_TRUE(child.Start({"/bin/sh", "-c", "exit 3"}, "/dev/null", &why)) << why;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (child.Running() && std::chrono::steady_clock::now() < deadline) ::usleep(5000);
    const auto start = std::chrono::steady_clock::now();
    child.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_FALSE(child.Start({"/nonexistent/program"}, "/dev/null", &why));
    EXPECT_NE(why.find("not found"), std::string::npos);
}

}  // namespace
