// Every I/O step of login, listing, download and upload fails once (the
// server closes, or sends half a reply and closes). Each failure must end in
// an error, leave the client closed, and the same client object must then
// run the whole scenario cleanly.
#include "tests/ftp/ftp_test_util.h"

using testing_support::ScriptedFtpServer;
using namespace ftptest;

namespace {

struct Unit {
    enum Kind { Send, Expect, Pasv, Port, Data, Receive, CloseData } kind;
    std::string line;
    std::string text;
};

void addFull(ScriptedFtpServer& s, const Unit& u) {
    switch (u.kind) {
    case Unit::Send: s.reply(u.text); break;
    case Unit::Expect: s.expect(u.line, u.text); break;
    case Unit::Pasv: s.expectPasv(); break;
    case Unit::Port: s.expectPort(); break;
    case Unit::Data: s.sendData(u.text); break;
    case Unit::Receive: s.receiveData(); break;
    case Unit::CloseData: s.closeData(); break;
    }
}

// The unit cut short: half of its reply or data, nothing of what follows.
void addCut(ScriptedFtpServer& s, const Unit& u) {
    switch (u.kind) {
    case Unit::Send: s.send(u.text.substr(0, u.text.size() / 2)); break;
    case Unit::Expect:
        s.expect(u.line);
        s.send(u.text.substr(0, u.text.size() / 2));
        break;
    case Unit::Pasv: s.expect("PASV"); break;
    case Unit::Port: s.expectPrefix("PORT "); break;
    case Unit::Data: s.sendData(u.text.substr(0, u.text.size() / 2)); break;
    case Unit::Receive:
    case Unit::CloseData: break;
    }
}

std::vector<Unit> loginUnits() {
    return {{Unit::Send, "", "220 ready"},
            {Unit::Expect, "USER bob", "331 password please"},
            {Unit::Expect, "PASS pw", "230 logged in"},
            {Unit::Expect, "TYPE I", "200 binary"},
            {Unit::Expect, "SYST", "215 UNIX Type: L8"}};
}

struct Scenario {
    const char* name;
    std::vector<Unit> units;  // after the login
    std::function<void(TIdFTP&, const TempDir&)> run;
    std::function<void(TIdFTP&, const TempDir&)> check;
};

std::vector<Scenario> scenarios(bool passive) {
    const std::string listing = "-rw-r--r-- 1 a b 3 Jan  5  2003 x\r\n-rw-r--r-- 1 a b 4 Jan  5  2003 y\r\n";
    return {
        {"login",
         {},
         [](TIdFTP& f, const TempDir&) { f.OpenConnection(true, 5000); },
         [](TIdFTP& f, const TempDir&) { EXPECT_EQ(f.SystemDesc(), "UNIX Type: L8"); }},
        {"listing",
         {{Unit::Expect, "CWD /pub", "250 ok"},
          {Unit::Expect, "TYPE A", "200 ascii"},
          {Unit::Expect, "PWD", "257 \"/pub\""},
          {passive ? Unit::Pasv : Unit::Port, "", ""},
          {Unit::Expect, "LIST", "150 listing"},
          {Unit::Data, "", listing},
          {Unit::CloseData, "", ""},
          {Unit::Send, "", "226 done"}},
         [](TIdFTP& f, const TempDir&) {
             f.ChangeFolder("/pub");
             f.SetTransferType(ftASCII);
             EXPECT_EQ(f.CurrentFolder(), "/pub");
             f.FetchListing(nullptr);
         },
         [](TIdFTP& f, const TempDir&) { EXPECT_EQ(f.ListingEntries().Count(), 2u); }},
        {"download",
         {{passive ? Unit::Pasv : Unit::Port, "", ""},
          {Unit::Expect, "RETR file.bin", "150 sending"},
          {Unit::Data, "", std::string(5000, 'd')},
          {Unit::CloseData, "", ""},
          {Unit::Send, "", "226 done"}},
         [](TIdFTP& f, const TempDir& d) { f.DownloadToFile("file.bin", d.file("file.bin"), true, false); },
         [](TIdFTP&, const TempDir& d) { EXPECT_EQ(readFile(d.file("file.bin")), std::string(5000, 'd')); }},
        {"upload",
         {{passive ? Unit::Pasv : Unit::Port, "", ""},
          {Unit::Expect, "STOR up.bin", "150 go ahead"},
          {Unit::Receive, "", ""},
          {Unit::Send, "", "226 stored"}},
         [](TIdFTP& f, const TempDir& d) { f.UploadFromFile(d.file("up.bin"), "up.bin", false); },
         [](TIdFTP&, const TempDir&) {}},
    };
}

} // namespace

class FailureInjection : public ::testing::TestWithParam<bool> {};

TEST_P(FailureInjection, EveryStepOfEveryScenarioFailsCleanly) {
    const bool passive = GetParam();
    TempDir dir;
    writeFile(dir.file("up.bin"), std::string(3000, 'u'));
    for (const Scenario& sc : scenarios(passive)) {
        std::vector<Unit> all = loginUnits();
        all.insert(all.end(), sc.units.begin(), sc.units.end());
        const std::size_t firstCut = sc.units.empty() ? 0 : loginUnits().size();
        TIdFTP ftp;  // one client for every run of this scenario
        ftp.Passive = passive;
        for (std::size_t k = firstCut; k < all.size(); ++k) {
            for (int variant = 0; variant < 2; ++variant) {
                SCOPED_TRACE(std::string(sc.name) + " step " + std::to_string(k) + (variant ? " short" : " closed"));
                {
                    ScriptedFtpServer srv;
                    srv.stepTimeoutMs = 5000;
                    for (std::size_t i = 0; i < k; ++i) addFull(srv, all[i]);
                    if (variant == 1) addCut(srv, all[k]);
                    srv.closeControl().closeData();
                    srv.start();
                    configure(ftp, srv);
                    ftp.SetTransferType(ftBinary);
                    if (!sc.units.empty()) {
                        ASSERT_NO_THROW(ftp.OpenConnection(true, 5000));
                    }
                    EXPECT_THROW(sc.run(ftp, dir), EIdException);
                    EXPECT_FALSE(ftp.Busy());
                    EXPECT_FALSE(ftp.DataConnectionOpen());
                    // The error may come before the close is seen; any next
                    // read notices it.
                    if (ftp.IsOpen()) {
                        EXPECT_THROW(ftp.RunCommand("NOOP", 200), EIdException);
                    }
                    EXPECT_FALSE(ftp.IsOpen());
                }
                // The same client runs the whole scenario against a good server.
                ScriptedFtpServer good;
                for (const Unit& u : all) addFull(good, u);
                good.start();
                configure(ftp, good);
                ftp.SetTransferType(ftBinary);
                if (!sc.units.empty()) {
                    ASSERT_NO_THROW(ftp.OpenConnection(true, 5000));
                }
                ASSERT_NO_THROW(sc.run(ftp, dir));
                sc.check(ftp, dir);
                EXPECT_TRUE(good.waitDone()) << good.failure();
                ftp.CloseConnection();
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, FailureInjection, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "Passive" : "Active"; });
