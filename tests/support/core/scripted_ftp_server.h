#pragma once
// A loopback FTP server that plays a script: the commands it expects, in
// order, and the replies it sends back. It runs on its own thread, can open
// and accept data connections (passive and active), send and receive data,
// close the control connection in the middle of a reply or stay silent, and
// records everything the client sent. The first line that does not match the
// script ends the run with a failure (see failure()).
//
// Typical use:
//   testing_support::ScriptedFtpServer srv;
//   srv.greet()                                   // "220 ready"
//      .expect("USER bob", "331 password")
//      .expect("PASS pw", "230 in")
//      .expect("TYPE I", "200 ok")
//      .expect("SYST", "215 UNIX")
//      .expectPasv()                              // replies 227 with a data port
//      .expect("RETR a.txt", "150 here")
//      .sendData("hello")                         // accepts the data connection first
//      .closeData()
//      .reply("226 done");
//   srv.start();
//   ... drive the client against 127.0.0.1:srv.port() ...
//   EXPECT_TRUE(srv.waitDone()) << srv.failure();
//
// Replies passed to expect()/reply() may hold several lines separated by
// "\n"; each line is sent followed by CR LF. send() writes bytes unchanged.
// Every step that waits gives up after stepTimeoutMs (a failure).
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/net/socket.h"
#include "platform/net/stack.h"

namespace testing_support {

class ScriptedFtpServer {
public:
    ScriptedFtpServer();   // listens on 127.0.0.1 at a free port
    ~ScriptedFtpServer();  // stops the thread and closes every socket
    ScriptedFtpServer(const ScriptedFtpServer&) = delete;
    ScriptedFtpServer& operator=(const ScriptedFtpServer&) = delete;

    int port() const { return port_; }
    std::string host() const { return "127.0.0.1"; }
    int stepTimeoutMs = 10000;
    // Receive buffer of the data connections (0: the system's default). A
    // small one makes a slow reader hold back the client's sends.
    int dataReceiveBuffer = 0;

    // --- control connection -------------------------------------------
    // Waits for the client's control connection. Runs implicitly before the
    // first step; call it again after closeControl() for a reconnect.
    ScriptedFtpServer& acceptControl();
    ScriptedFtpServer& greet(const std::string& reply = "220 ready");
    // Reads one command line; fails unless it equals line exactly. Then sends
    // the reply (nothing when empty).
    ScriptedFtpServer& expect(const std::string& line, const std::string& reply = "");
    // The same, matching only the start of the line.
    ScriptedFtpServer& expectPrefix(const std::string& prefix, const std::string& reply = "");
    ScriptedFtpServer& reply(const std::string& lines);
    ScriptedFtpServer& send(const std::string& raw);
    // Closes the control connection (after a partial reply, say).
    ScriptedFtpServer& closeControl();
    // Reads and records lines without answering until the client closes the
    // control connection (a server that never answers).
    ScriptedFtpServer& silentUntilClosed();
    // Waits until the client has closed the control connection; any line
    // that arrives first is a failure.
    ScriptedFtpServer& expectClosed();

    // --- data connections ---------------------------------------------
    // Expects "PASV", opens a data listener and replies 227 with its address
    // ("227 Entering Passive Mode (127,0,0,1,p1,p2)"). replyFormat, when not
    // empty, is the reply with "%s" standing for "127,0,0,1,p1,p2" and "%p"
    // for the port alone ("p1,p2").
    ScriptedFtpServer& expectPasv(const std::string& replyFormat = "");
    // Expects "EPSV", opens a data listener and replies 229 with its port
    // ("229 Entering Extended Passive Mode (|||port|)"); replyFormat as for
    // expectPasv with "%p" standing for the port number.
    ScriptedFtpServer& expectEpsv(const std::string& replyFormat = "");
    // Expects "PORT h1,h2,h3,h4,p1,p2" and remembers the address; replies
    // with reply.
    ScriptedFtpServer& expectPort(const std::string& reply = "200 PORT ok");
    // Makes the data connection now: accepts it (after PASV) or connects to
    // the client's listener (after PORT). Later data steps do this themselves.
    ScriptedFtpServer& openData();
    ScriptedFtpServer& sendData(const std::string& bytes);
    // Sends count bytes of a repeating pattern (for large transfers).
    ScriptedFtpServer& sendDataPattern(std::uint64_t count);
    // Reads data until the client closes the data connection. keep=false
    // only counts the bytes.
    ScriptedFtpServer& receiveData(bool keep = true);
    // The same for a slow server: chunk bytes at a time with a pause after
    // each (only counts the bytes).
    ScriptedFtpServer& receiveDataSlowly(std::size_t chunk, int pauseMs);
    ScriptedFtpServer& closeData();

    // --- synchronisation with the test --------------------------------
    // Runs fn on the server thread (for checks or waits of the test's own).
    ScriptedFtpServer& call(std::function<void()> fn);
    // Blocks the script until the test calls release().
    ScriptedFtpServer& hold();
    void release();

    // Starts playing the script on its own thread.
    void start();
    // Waits until the script has run to its end (or failed); true when it
    // ended without failure.
    bool waitDone(int timeoutMs = 15000);
    bool done() const { return done_.load(); }

    // The first mismatch or error; empty while all went to plan.
    std::string failure() const;
    // Every command line the client sent, in order, without CR LF.
    std::vector<std::string> transcript() const;
    // Data received per receiveData() step, and the byte counts.
    std::vector<std::string> receivedData() const;
    std::vector<std::uint64_t> receivedCounts() const;
    // How many control connections were accepted.
    int controlConnections() const { return controlCount_.load(); }

private:
    struct Runner;
    using Step = std::function<void(Runner&)>;
    ScriptedFtpServer& add(Step s);
    void run();

    net::StackUser stack_;  // first: the sockets library must outlive every socket
    net::SocketHandle listener_ = net::kInvalidSocket;
    int port_ = 0;
    std::vector<Step> steps_;
    std::thread thread_;
    std::atomic<bool> done_{false};
    std::atomic<bool> stop_{false};
    std::atomic<bool> released_{false};
    std::atomic<int> controlCount_{0};
    mutable std::mutex mutex_;
    std::string failure_;
    std::vector<std::string> transcript_;
    std::vector<std::string> received_;
    std::vector<std::uint64_t> receivedCounts_;
};

} // namespace testing_support
