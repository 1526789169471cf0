#pragma once
// Real FTP, FTP proxy and SOCKS servers for end-to-end tests, each started in
// the foreground on a free 127.0.0.1 port with a time limit, and stopped (its
// whole process group) when the fixture object goes. Start() returns false
// with a reason when a program is missing or does not come up, so a test can
// skip cleanly:
//
//   testing_support::PyftpdlibServer ftp;
//   std::string why;
//   if (!ftp.Start(&why)) GTEST_SKIP() << why;
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

// A port on 127.0.0.1 that was free a moment ago.
int FreeLoopbackPort();
// A block of count consecutive ports that are free right now.
int FreeLoopbackPortRange(int count);
// Polls until 127.0.0.1:port accepts a connection.
bool WaitForPort(int port, int timeoutMs);
// The same on a loopback address of either family ("127.0.0.1", "::1").
bool WaitForPortOn(const std::string& host, int port, int timeoutMs);
// Whether this machine has the IPv6 loopback address ::1.
bool HasIPv6Loopback();
// Full path of a program found on PATH or in the sbin folders; empty if none.
std::string FindProgram(const std::string& name);
bool RunningAsRoot();
std::string ReadWholeFile(const std::string& path);
bool WriteWholeFile(const std::string& path, const std::string& bytes);

// A temporary folder, removed with its contents by the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// One child process in a process group of its own. It dies with the test
// process, and Stop() (or the destructor) ends the whole group.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { Stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // argv[0] is the program path; output goes to logPath.
    // extraEnv entries ("NAME=value") are added to the inherited environment.
    bool Start(const std::vector<std::string>& argv, const std::string& logPath, std::string* why,
               const std::vector<std::string>& extraEnv = {});
    bool Running();
    void Stop();
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

struct FtpAccount {
    std::string User;
    std::string Password;
    std::string Home;  // the folder the account starts in (writable)
};

// Common part of the server fixtures.
class RealServer {
public:
    virtual ~RealServer() = default;
    int Port() const { return port_; }
    std::string Log() const;  // the server's own output, for failure messages
    const std::string& Dir() const { return dir_.Path(); }

protected:
    bool Launch(const std::vector<std::string>& argv, int port, std::string* why, int startMs = 5000,
                const std::vector<std::string>& extraEnv = {});
    TempDir dir_;
    ChildProcess process_;
    int port_ = 0;
};

// pyftpdlib with one user whose home is a private temporary folder.
class PyftpdlibServer : public RealServer {
public:
    ~PyftpdlibServer() override { process_.Stop(); }  // before the home folder goes
    // The loopback address to serve on; "::1" for IPv6. Set before Start.
    std::string Host = "127.0.0.1";
    bool Start(std::string* why);
    const FtpAccount& Account() const { return account_; }

private:
    FtpAccount account_;
    TempDir home_;
};

// vsftpd with the system user ostrafen-test (created when missing; needs root).
class VsftpdServer : public RealServer {
public:
    ~VsftpdServer() override { process_.Stop(); }  // before the home folder goes
    // Bytes per second of each transfer (0: unlimited); set before Start.
    int LocalMaxRate = 0;
    bool Start(std::string* why);
    const FtpAccount& Account() const { return account_; }

private:
    FtpAccount account_;
    TempDir home_;
};

// pure-ftpd (8-line greeting, multi-line replies) with a virtual user mapped
// to the system account. Found on PATH or in the folder tests/tools/fetch-peers.sh
// fills (PeersRoot()).
class PureFtpdServer : public RealServer {
public:
    ~PureFtpdServer() override { process_.Stop(); }
    bool Start(std::string* why);
    const FtpAccount& Account() const { return account_; }

private:
    FtpAccount account_;
    TempDir home_;
};

// proftpd with a virtual user; windowsStyle makes it list in MS-DOS style.
class ProftpdServer : public RealServer {
public:
    ~ProftpdServer() override { process_.Stop(); }
    bool Start(std::string* why, bool windowsStyle);
    const FtpAccount& Account() const { return account_; }

private:
    FtpAccount account_;
    TempDir home_;
};

// Where tests/tools/fetch-peers.sh unpacks servers apt cannot install beside
// vsftpd: $OSTRAFEN_PEERS_DIR/root, default /var/tmp/ostrafen-peers/root.
std::string PeersRoot();

// The system account the vsftpd and dante fixtures log in with.
// Creates it (useradd/chpasswd) when missing; false when that is impossible.
bool EnsureSystemTestUser(std::string* why);
extern const char* const kSystemTestUser;
extern const char* const kSystemTestPassword;

// microsocks: SOCKS 5, with a user name and password when both are given.
class MicrosocksServer : public RealServer {
public:
    bool Start(std::string* why, const std::string& user = "", const std::string& password = "");
};

// dante: SOCKS 4 and 5; with requireLogin SOCKS 5 clients must log in with a
// system account (kSystemTestUser), otherwise no authentication is asked.
class DanteServer : public RealServer {
public:
    bool Start(std::string* why, bool requireLogin);
};

// Debian's ftp-proxy: a "USER user@host" FTP proxy. The host named in USER
// is reached at destinationPort (the proxy's DestinationPort).
class FtpProxyServer : public RealServer {
public:
    bool Start(std::string* why, int destinationPort = 21);
};

// A SOCKS server played from a script on one loopback connection: for every
// step it reads exactly Expect.size() bytes, records them, and, when they
// match, sends Reply. An empty Expect with an empty Reply stays silent until
// the client gives up. After the last step it sends AfterHandshake (for
// example a fake FTP greeting) so a test can see the handshake read no more
// than its own bytes.
class ScriptedSocksServer {
public:
    struct Step {
        std::string Expect;
        std::string Reply;
        bool CloseAfterReply = false;  // hang up right after Reply
    };
    explicit ScriptedSocksServer(std::vector<Step> steps, std::string afterHandshake = "");
    ~ScriptedSocksServer();
    ScriptedSocksServer(const ScriptedSocksServer&) = delete;
    ScriptedSocksServer& operator=(const ScriptedSocksServer&) = delete;
    int Port() const { return port_; }
    // Every byte received so far, in order.
    std::string Received();
    // True when each step got exactly the bytes it expected.
    bool AllMatched();
    // Waits until the client closed its side (or the server gave up).
    bool WaitDone(int timeoutMs);

private:
    void Run();
    std::vector<Step> steps_;
    std::string after_;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> done_{false};
    std::mutex mutex_;
    std::string received_;
    bool matched_ = false;
    std::thread thread_;
};

// A small SOCKS 4/4A/5 relay (no authentication, or user name and password
// with 5) that records each request and connects on to the target it names.
// Serves any number of connections; used where no packaged server speaks the
// protocol variant (SOCKS 4A).
class RelaySocksServer {
public:
    explicit RelaySocksServer(std::string user = "", std::string password = "");
    ~RelaySocksServer();
    RelaySocksServer(const RelaySocksServer&) = delete;
    RelaySocksServer& operator=(const RelaySocksServer&) = delete;
    int Port() const { return port_; }
    // The raw request bytes of each connection's CONNECT request.
    std::vector<std::string> Requests();
    // "host:port" of each target asked for.
    std::vector<std::string> Targets();

private:
    void Accept();
    void Serve(int fd);
    std::string user_, password_;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> requests_, targets_;
    std::vector<std::thread> workers_;
    std::vector<int> openFds_;
    std::thread acceptor_;
};

}  // namespace testing_support
