// What the saved settings do to a page: the SOCKS profile a site names (never
// gone around), "Enabled anti-idle", the password in the log, and the lines
// the listing and the client add to it.
#include "frame_fixture.h"

#include "tests/support/core/real_servers.h"

#include <QTimer>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

using namespace frametest;

namespace {

// Remote ports of the established TCP connections this process owns: a
// connection the page made straight to the FTP server shows up here, one
// made through the SOCKS server belongs to that server's process instead.
std::set<int> ownRemotePorts() {
    std::set<std::string> inodes;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        const std::string target = std::filesystem::read_symlink(fd.path(), ec).string();
        if (!ec && target.rfind("socket:[", 0) == 0) inodes.insert(target.substr(8, target.size() - 9));
    }
    std::set<int> ports;
    std::ifstream tcp("/proc/net/tcp");
    std::string line;
    std::getline(tcp, line);  // header
    while (std::getline(tcp, line)) {
        std::istringstream in(line);
        std::string slot, local, remote, state, queues, timer, retrans, uid, timeout, inode;
        in >> slot >> local >> remote >> state >> queues >> timer >> retrans >> uid >> timeout >> inode;
        if (state != "01" || !inodes.count(inode)) continue;
        ports.insert(std::stoi(remote.substr(remote.find(':') + 1), nullptr, 16));
    }
    return ports;
}

store::SocksRecord socks5(const std::string& name, int port) {
    store::SocksRecord k;
    k.name = name;
    k.host = "127.0.0.1";
    k.port = port;
    k.sv = 3;
    k.svName = "Socks5";
    return k;
}

}  // namespace

TEST_F(FrameTest, SiteGoesThroughSocksAfterAProfileRenameAndNotAtAllWithoutIt) {
    testing_support::MicrosocksServer micro;
    std::string why;
    if (!micro.Start(&why)) GTEST_SKIP() << why;
    Server srv;
    connectAndList(srv, "/", "");
    srv.start();
    store::appendSocks(app.dm(), socks5("office", micro.Port()));
    SiteRow site;
    site.port = srv.port();
    site.socks = "office";
    makeFrame(site);
    // The profile gets another name after the site was set up with it.
    ASSERT_TRUE(store::updateSocks(app.dm(), "office", socks5("head office", micro.Port())));

    frame->StartConnect(false);
    ASSERT_TRUE(srv.waitDone()) << srv.failure() << micro.Log();
    ASSERT_TRUE(frame->connected());
    const std::set<int> ports = ownRemotePorts();
    EXPECT_TRUE(ports.count(micro.Port())) << "no connection to the SOCKS server";
    EXPECT_FALSE(ports.count(srv.port())) << "the page went around the SOCKS server";

    // Without its profile the site does not connect at all, and says why.
    frame->Disconnect();
    ASSERT_TRUE(store::deleteSocks(app.dm(), "head office"));
    frame->StartConnect(false);
    const std::string refusal =
        "The SOCKS profile <head office> of this site does not exist, so the site is not connected. "
        "Choose another profile in the site editor.";
    EXPECT_EQ(logLines().back(), refusal);
    EXPECT_TRUE(logHas(refusal, 2));
    EXPECT_FALSE(session().retryTimer()->isActive());
    EXPECT_FALSE(frame->connected());
    EXPECT_EQ(srv.controlConnections(), 1);
}

// One connection with "Enabled anti-idle" off, a password, a server that
// names another address for its data connection and a listing with lines
// that cannot be read.
TEST_F(FrameTest, LogMasksThePasswordAndTellsWhatWasLostAndNoKeepAliveIsSent) {
    setAntiIdle(app.dm(), {"NOOP"}, 1);
    store::OptionsRecord o = store::readOptions(app.dm());
    o.eanti = false;
    store::saveOptions(app.dm(), store::antiIdleCommands(app.dm()), store::asciiExtensions(app.dm()), o);
    Server srv;
    srv.greet("220 ready").expect("USER bob", "331 password please").expect("PASS Secret pw", "230 in");
    srv.expect("TYPE I", "200 type set").expect("SYST", "215 UNIX Type: L8");
    pwd(srv, "/");
    pwd(srv, "/");
    srv.expect("CWD /", "250 ok").expect("TYPE A", "200 ascii");
    pwd(srv, "/");
    srv.expectPasv("227 Entering Passive Mode (10,0,0,1,%p)")
        .expect("LIST", "150 here")
        .sendData(fileLine("a.txt", 1) + "garbage line\r\n" + "more garbage\r\n")
        .closeData()
        .reply("226 done");
    SiteRow site;
    site.password = "Secret pw";
    openOn(srv, site, false);
    session().antiIdleTimer()->setInterval(10);
    frame->StartConnect(false);
    ASSERT_TRUE(srv.waitDone()) << srv.failure();
    EXPECT_EQ(names(), std::vector<std::string>{"a.txt"});
    EXPECT_TRUE(logHas("2 lines of the listing could not be read.", 2));
    EXPECT_TRUE(logHas("The server named 10.0.0.1 for the data connection; connecting to 127.0.0.1, "
                       "the server's own address, instead.", 2));

    // Idle periods pass; the script would fail on any line.
    int ticks = 0;
    QObject::connect(session().antiIdleTimer(), &QTimer::timeout, [&] { ++ticks; });
    ASSERT_TRUE(waitFor([&] { return ticks >= 5; }));
    EXPECT_TRUE(srv.failure().empty()) << srv.failure();

    EXPECT_TRUE(logHas("PASS ******", 0));
    app.dialogs().saveAnswers.push_back(app.path("log.txt"));
    frame->SaveLog();
    const QByteArray saved = app.readFile("log.txt");
    EXPECT_TRUE(saved.contains("PASS ******\n"));
    EXPECT_FALSE(saved.contains("Secret"));
}
