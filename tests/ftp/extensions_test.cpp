// FTP over TLS negotiation, EPSV and FEAT/MLSD against scripted servers: the
// exact lines sent, and the faults (refusals, a dropped handshake, bad
// replies) that must end in a clear error or a sound fallback.
#include "tests/ftp/ftp_test_util.h"

using testing_support::ScriptedFtpServer;
using namespace ftptest;

namespace {

void connect(TIdFTP& ftp, ScriptedFtpServer& srv) {
    srv.start();
    configure(ftp, srv);
    ftp.OpenConnection(true, 5000);
}

// Opens against srv expecting E; its message.
template <typename E>
std::string openFails(TIdFTP& ftp, ScriptedFtpServer& srv) {
    srv.start();
    configure(ftp, srv);
    try {
        ftp.OpenConnection(true, 5000);
    } catch (const E& e) {
        EXPECT_FALSE(ftp.IsOpen());
        return e.what();
    }
    ADD_FAILURE() << "connected";
    return {};
}

// The login up to the transfer type, as loginScript without SYST.
ScriptedFtpServer& loginToType(ScriptedFtpServer& srv) {
    return srv.expect("USER bob", "331 password please").expect("PASS pw", "230 logged in").expect("TYPE I", "200 binary");
}

bool hasStatus(const StatusLog& log, const std::string& part) {
    for (const auto& i : log.items)
        if (i.first == StatusText && i.second.find(part) != std::string::npos) return true;
    return false;
}

} // namespace

TEST(Encryption, WithoutTlsInTheBuildNothingAsksForIt) {
    if (net::tlsAvailable()) GTEST_SKIP() << "this build has TLS";
    ScriptedFtpServer optional;
    loginScript(optional);
    TIdFTP ftp;
    StatusLog log;
    log.attach(ftp);
    ftp.Encryption = ftpsExplicitIfAvailable;
    connect(ftp, optional);
    EXPECT_TRUE(optional.waitDone()) << optional.failure();
    EXPECT_TRUE(hasStatus(log, "TLS is not available in this build"));
    ScriptedFtpServer strict;
    strict.greet().expectClosed();
    TIdFTP required;
    required.Encryption = ftpsExplicitRequired;
    EXPECT_EQ(openFails<EIdTlsError>(required, strict), "TLS is not available in this build.");
    EXPECT_TRUE(strict.waitDone()) << strict.failure();
}

TEST(Encryption, RefusedAuthFallsBackOnlyWhenTlsIsOptional) {
    if (!net::tlsAvailable()) GTEST_SKIP() << "built without TLS";
    ScriptedFtpServer srv;
    loginToType(srv.greet().expect("AUTH TLS", "502 not implemented")).expect("SYST", "215 UNIX Type: L8");
    TIdFTP ftp;
    StatusLog log;
    log.attach(ftp);
    ftp.Encryption = ftpsExplicitIfAvailable;
    connect(ftp, srv);
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
    EXPECT_FALSE(ftp.IsEncrypted());
    EXPECT_FALSE(ftp.DataProtected());
    EXPECT_TRUE(hasStatus(log, "not encrypted"));

    ScriptedFtpServer strict;
    strict.greet().expect("AUTH TLS", "500 unknown command").expectClosed();
    TIdFTP required;
    required.Encryption = ftpsExplicitRequired;
    EXPECT_NE(openFails<EIdTlsNotOffered>(required, strict).find("500 unknown command"), std::string::npos);
    EXPECT_TRUE(strict.waitDone()) << strict.failure();
    EXPECT_EQ(strict.transcript(), (std::vector<std::string>{"AUTH TLS"}));  // no password in clear
    // Stored fingerprints compare whatever their letter case and separators.
    EXPECT_TRUE(SameFingerprint("AB:cd:01", "abcd01"));
    EXPECT_FALSE(SameFingerprint("AB:CD:01", "AB:CD:02"));
    EXPECT_FALSE(SameFingerprint("", ""));
}

TEST(Encryption, DroppedOrForeignHandshakeIsAClearErrorAndCloses) {
    if (!net::tlsAvailable()) GTEST_SKIP() << "built without TLS";
    // Explicit: the server agrees, then hangs up in the handshake.
    ScriptedFtpServer srv;
    srv.greet().expect("AUTH TLS", "234 go ahead").closeControl();
    TIdFTP ftp;
    ftp.Encryption = ftpsExplicitRequired;
    EXPECT_EQ(openFails<EIdTlsError>(ftp, srv), "The server closed the connection during the TLS handshake.");
    EXPECT_TRUE(srv.waitDone()) << srv.failure();

    // Implicit against a plain server: its greeting is no TLS record.
    ScriptedFtpServer plain;
    plain.greet("220 plain server here, no TLS").silentUntilClosed();
    TIdFTP implicit;
    implicit.Encryption = ftpsImplicit;
    openFails<EIdTlsError>(implicit, plain);
    EXPECT_TRUE(plain.waitDone()) << plain.failure();
    for (const std::string& line : plain.transcript())  // the TLS hello only, no command
        EXPECT_EQ(line.find("USER"), std::string::npos);
}

TEST(ExtendedPassive, RefusedEpsvFallsBackToPasvOncePerConnection) {
    ScriptedFtpServer srv;
    loginScript(srv)
        .expect("EPSV", "500 EPSV not understood")
        .expectPasv()
        .expect("LIST", "150 here")
        .sendData("-rw-r--r-- 1 a b 3 Jan  5  2003 one\r\n")
        .closeData()
        .reply("226 done")
        .expectPasv()
        .expect("LIST", "150 here")
        .openData()
        .closeData()
        .reply("226 done");
    TIdFTP ftp;
    ftp.Passive = true;
    ftp.UseEpsv = true;
    connect(ftp, srv);
    ftp.FetchListing(nullptr);
    ASSERT_EQ(ftp.ListingEntries().Count(), 1u);
    ftp.FetchListing(nullptr);
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
    EXPECT_EQ(srv.transcript(), concat(loginLines(), {"EPSV", "PASV", "LIST", "PASV", "LIST"}));
}

TEST(ExtendedPassive, EpsvConnectsToTheServersOwnAddress) {
    ScriptedFtpServer srv;
    loginScript(srv)
        .expectEpsv()
        .expect("RETR a.txt", "150 here")
        .sendData("hello over EPSV")
        .closeData()
        .reply("226 done");
    TIdFTP ftp;
    ftp.Passive = true;
    ftp.UseEpsv = true;
    TempDir dir;
    connect(ftp, srv);
    ftp.DownloadToFile("a.txt", dir.file("a.txt"), false, false);
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
    EXPECT_EQ(readFile(dir.file("a.txt")), "hello over EPSV");
}

TEST(ExtendedPassive, BadEpsvPortIsAClearErrorAndTheConnectionGoesOn) {
    ScriptedFtpServer srv;
    loginScript(srv)
        .expect("EPSV", "229 Entering Extended Passive Mode (|||70000|)")
        .expect("NOOP", "200 still here");
    TIdFTP ftp;
    ftp.Passive = true;
    ftp.UseEpsv = true;
    TempDir dir;
    connect(ftp, srv);
    try {
        ftp.DownloadToFile("a.txt", dir.file("a.txt"), false, false);
        FAIL() << "downloaded";
    } catch (const EIdInvalidEpsvReply& e) {
        EXPECT_NE(std::string(e.what()).find("(|||70000|)"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.txt")));
    EXPECT_EQ(ftp.RunCommand("NOOP", 200), 200);
    EXPECT_TRUE(srv.waitDone()) << srv.failure();

    EXPECT_EQ(EpsvPortFromText("Entering Extended Passive Mode (!!!6446!)"), 6446);
    EXPECT_EQ(EpsvPortFromText("Extended mode |||21|"), 21);
    for (const char* bad : {"(|||0|)", "(|||65536|)", "(||||)", "(|||12a|)", "(|1|2|3|)", "(999)", "no port"})
        EXPECT_THROW(EpsvPortFromText(bad), EIdInvalidEpsvReply) << bad;
    EXPECT_EQ(EprtArgument("::1", 5282), "|2|::1|5282|");
    EXPECT_EQ(EprtArgument("fe80::1%eth0", 21), "|2|fe80::1|21|");
}

TEST(Features, MlsdListsWithFactsAndUtf8IsSwitchedOn) {
    ScriptedFtpServer srv;
    loginToType(srv.greet())
        // "CCC" is shorter than a reply code: it must not end the reply.
        .expect("FEAT", "211-Features:\n MDTM\n CCC\n MLST type*;size;modify*;UNIX.mode;\n UTF8\n211 End")
        .expect("OPTS UTF8 ON", "200 UTF8 on")
        .expect("OPTS MLST type;size;modify;UNIX.mode;", "200 facts set")
        .expect("SYST", "215 UNIX Type: L8")
        .expectPasv()
        .expect("MLSD", "150 here")
        .sendData("type=cdir;modify=20240101000000; .\r\n"
                  "type=pdir;modify=20240101000000; ..\r\n"
                  "type=file;size=5000000000;modify=20240229235959; big file;x.bin\r\n"
                  "type=dir;modify=20230102030405; caf\xc3\xa9\r\n"
                  " no facts at all\r\n")
        .closeData()
        .reply("226 done")
        .expectPasv()
        .expect("LIST -a", "150 here")
        .openData()
        .closeData()
        .reply("226 done");
    TIdFTP ftp;
    ftp.Passive = true;
    ftp.AskFeatures = true;
    connect(ftp, srv);
    EXPECT_TRUE(ftp.UsesMlsd());
    EXPECT_TRUE(ftp.Utf8Names());
    EXPECT_TRUE(ftp.HasFeature("ccc"));
    EXPECT_EQ(ftp.Features().size(), 4u);
    ftp.FetchListing(nullptr);
    TIdFTPListItems& items = ftp.ListingEntries();
    EXPECT_EQ(items.ListFormat, FormatMlsd);
    ASSERT_EQ(items.Count(), 3u);  // not the folder itself nor its parent
    EXPECT_EQ(items[0].EntryName, "big file;x.bin");
    EXPECT_EQ(items[0].EntrySize, 5000000000LL);
    EXPECT_EQ(items[1].EntryName, "caf\xc3\xa9");
    EXPECT_EQ(items[1].EntryKind, KindFolder);
    EXPECT_EQ(items[2].EntryName, "no facts at all");
    EXPECT_EQ(items[2].EntryKind, KindFile);
    // LIST options are no MLSD path.
    ftp.FetchListing(nullptr, "-a");
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
}

TEST(Features, RefusedOrMalformedFeatLeavesTheClientAsWithout) {
    for (const char* reply : {"500 FEAT not understood", "211 no features", "211-Features\n211 End",
                              "214-odd\n MLST type*;\n214 End"}) {
        ScriptedFtpServer srv;
        loginToType(srv.greet())
            .expect("FEAT", reply)
            .expect("SYST", "215 UNIX Type: L8")
            .expectPasv()
            .expect("LIST", "150 here")
            .openData()
            .closeData()
            .reply("226 done");
        TIdFTP ftp;
        ftp.Passive = true;
        ftp.AskFeatures = true;
        connect(ftp, srv);
        EXPECT_FALSE(ftp.UsesMlsd()) << reply;
        EXPECT_FALSE(ftp.Utf8Names()) << reply;
        ftp.FetchListing(nullptr);
        EXPECT_TRUE(srv.waitDone()) << reply << ": " << srv.failure();
    }
}
