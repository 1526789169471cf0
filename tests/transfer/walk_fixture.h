#pragma once
// A client logged in to a scripted server, and the script steps the walks need.
#include "ftp/ftp_client.h"
#include "tests/support/core/real_servers.h"
#include "tests/support/core/ftp_script.h"
#include "transfer/tree_walk.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace walktest {

using Server = testing_support::ScriptedFtpServer;

using testing_support::dirLine;
using testing_support::fileLine;
inline Server& list(Server& s, const std::string& lines) { return testing_support::scriptList(s, lines); }
inline Server& retr(Server& s, const std::string& name, const std::string& data) {
    return s.expectPasv().expect("RETR " + name, "150 here").sendData(data).closeData().reply("226 done");
}
inline Server& stor(Server& s, const std::string& name) {
    return s.expectPasv().expect("STOR " + name, "150 go").receiveData().reply("226 stored");
}

// Logs in with TYPE I; the script goes on from there.
class WalkTest : public ::testing::Test {
protected:
    void SetUp() override {
        srv.greet().expect("USER bob", "331 pw").expect("PASS pw", "230 in").expect("TYPE I", "200 ok");
        srv.expect("SYST", "215 UNIX Type: L8");
    }
    void connect() {
        srv.start();
        ftp.Host = "127.0.0.1";
        ftp.Port = srv.port();
        ftp.Username = "bob";
        ftp.Password = "pw";
        ftp.Passive = true;
        ftp.ReadTimeout = 5000;
        ftp.OpenConnection();
    }
    // The commands after the login.
    std::vector<std::string> commands() const {
        std::vector<std::string> t = srv.transcript();
        return t.size() > 4 ? std::vector<std::string>(t.begin() + 4, t.end()) : std::vector<std::string>{};
    }
    void finish() {
        ftp.CloseConnection();
        EXPECT_TRUE(srv.waitDone()) << srv.failure();
    }

    Server srv;
    TIdFTP ftp;
    testing_support::TempDir local;
    std::vector<std::pair<std::string, int>> logged;
    transfer::WalkContext ctx{
        [this](const std::string& t, int k) { logged.emplace_back(t, k); },
        {},
        [](const std::string& ext) { return ext == ".txt" ? ftASCII : ftBinary; },
        {},
        {},
        {}};
};

}  // namespace walktest
