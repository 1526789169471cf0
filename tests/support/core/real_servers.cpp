#include "tests/support/core/real_servers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace testing_support {

const char* const kSystemTestUser = "ostrafen-test";
const char* const kSystemTestPassword = "Ostr4fen-test";

namespace {

using Clock = std::chrono::steady_clock;

long long msLeft(Clock::time_point deadline) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
}

sockaddr_in loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(std::uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

bool portBindable(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_in a = loopback(port);
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// Listens on 127.0.0.1 at a port the system chooses.
int listenLoopback(int* port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in a = loopback(0);
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ::close(fd);
        return -1;
    }
    *port = ntohs(a.sin_port);
    return fd;
}

int connectLoopback(std::uint32_t hostOrderAddress, int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in a = loopback(port);
    a.sin_addr.s_addr = htonl(hostOrderAddress);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Waits for the fd to become readable in short slices so a stop request is
// seen quickly. Returns true when readable.
bool waitReadable(int fd, Clock::time_point deadline, const std::atomic<bool>& stop) {
    while (!stop) {
        const long long left = msLeft(deadline);
        if (left <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, int(std::min<long long>(left, 100)));
        if (r > 0) return true;
        if (r < 0 && errno != EINTR) return false;
    }
    return false;
}

// Reads exactly n bytes; false on close, error, time-out or stop.
bool readExact(int fd, std::size_t n, std::string& out, Clock::time_point deadline, const std::atomic<bool>& stop) {
    char buf[512];
    while (n > 0) {
        if (!waitReadable(fd, deadline, stop)) return false;
        const ssize_t got = ::recv(fd, buf, std::min(n, sizeof buf), 0);
        if (got <= 0) return false;
        out.append(buf, std::size_t(got));
        n -= std::size_t(got);
    }
    return true;
}

bool sendAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += std::size_t(n);
    }
    return true;
}

std::string tail(const std::string& text, std::size_t max = 1500) {
    return text.size() <= max ? text : text.substr(text.size() - max);
}

bool runShell(const std::string& command) { return std::system(command.c_str()) == 0; }

}  // namespace

int FreeLoopbackPort() {
    int port = 0;
    const int fd = listenLoopback(&port);
    if (fd < 0) return 0;
    ::close(fd);
    return port;
}

int FreeLoopbackPortRange(int count) {
    static std::mt19937 rng(std::random_device{}());
    // Below the ephemeral range, so outgoing connections never take them.
    std::uniform_int_distribution<int> pick(20000, 32000 - count);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int base = pick(rng);
        bool ok = true;
        for (int p = base; ok && p < base + count; ++p) ok = portBindable(p);
        if (ok) return base;
    }
    return 0;
}

bool WaitForPort(int port, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (msLeft(deadline) > 0) {
        const int fd = connectLoopback(INADDR_LOOPBACK, port);
        if (fd >= 0) {
            ::close(fd);
            return true;
        }
        ::usleep(20000);
    }
    return false;
}

bool WaitForPortOn(const std::string& host, int port, int timeoutMs) {
    if (host.find(':') == std::string::npos) return WaitForPort(port, timeoutMs);
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_port = htons(std::uint16_t(port));
    if (::inet_pton(AF_INET6, host.c_str(), &a.sin6_addr) != 1) return false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (msLeft(deadline) > 0) {
        const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return false;
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(fd);
        if (ok) return true;
        ::usleep(20000);
    }
    return false;
}

bool HasIPv6Loopback() {
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

std::string FindProgram(const std::string& name) {
    std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    path += ":/usr/sbin:/sbin:/usr/bin:/bin:/usr/local/sbin:/usr/local/bin";
    std::stringstream ss(path);
    for (std::string dir; std::getline(ss, dir, ':');) {
        if (dir.empty()) continue;
        const std::string full = dir + "/" + name;
        if (::access(full.c_str(), X_OK) == 0) return full;
    }
    return {};
}

bool RunningAsRoot() { return ::geteuid() == 0; }

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(out);
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ostrafen-test-XXXXXX").string();
    if (::mkdtemp(pattern.data())) path_ = pattern;
}

TempDir::~TempDir() {
    if (path_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const std::string& logPath, std::string* why,
                         const std::vector<std::string>& extraEnv) {
    Stop();
    if (argv.empty() || ::access(argv[0].c_str(), X_OK) != 0) {
        if (why) *why = "program not found: " + (argv.empty() ? std::string("(none)") : argv[0]);
        return false;
    }
    // Everything the child needs is prepared before fork: after it only
    // async-signal-safe calls are allowed (the test process has threads).
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> envStore;
    for (char** e = environ; *e; ++e) envStore.emplace_back(*e);
    envStore.insert(envStore.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> env;
    for (std::string& e : envStore) env.push_back(e.data());
    env.push_back(nullptr);
    const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        if (log >= 0) ::close(log);
        if (null >= 0) ::close(null);
        if (why) *why = "fork failed";
        return false;
    }
    if (pid == 0) {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        if (null >= 0) ::dup2(null, 0);
        if (log >= 0) {
            ::dup2(log, 1);
            ::dup2(log, 2);
        }
        ::execve(args[0], args.data(), env.data());
        ::_exit(127);
    }
    ::setpgid(pid, pid);
    if (log >= 0) ::close(log);
    if (null >= 0) ::close(null);
    pid_ = pid;
    return true;
}

bool ChildProcess::Running() {
    if (pid_ <= 0) return false;
    int status = 0;
    return ::waitpid(pid_, &status, WNOHANG) == 0;
}

void ChildProcess::Stop() {
    if (pid_ <= 0) return;
    const pid_t group = pid_;
    ::kill(-group, SIGTERM);
    bool reaped = false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(3000);
    while (msLeft(deadline) > 0) {
        int status = 0;
        if (!reaped) {
            const pid_t r = ::waitpid(group, &status, WNOHANG);
            // -1: Running() has reaped it already.
            reaped = r == group || (r < 0 && errno == ECHILD);
        }
        // The leader may be gone while forked helpers of the server remain.
        if (reaped && ::kill(-group, 0) != 0 && errno == ESRCH) break;
        ::usleep(10000);
    }
    ::kill(-group, SIGKILL);
    if (!reaped && ::kill(group, 0) == 0) {
        int status = 0;
        ::waitpid(group, &status, 0);
    }
    pid_ = -1;
}

std::string RealServer::Log() const { return ReadWholeFile(dir_.File("server.log")); }

bool RealServer::Launch(const std::vector<std::string>& argv, int port, std::string* why, int startMs,
                        const std::vector<std::string>& extraEnv) {
    if (port <= 0) {
        if (why) *why = "no free loopback port";
        return false;
    }
    if (!process_.Start(argv, dir_.File("server.log"), why, extraEnv)) return false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(startMs);
    while (msLeft(deadline) > 0) {
        if (!process_.Running()) break;
        if (WaitForPort(port, 50)) {
            port_ = port;
            return true;
        }
    }
    if (why) *why = argv[0] + " did not start on port " + std::to_string(port) + ": " + tail(Log());
    process_.Stop();
    return false;
}

bool PyftpdlibServer::Start(std::string* why) {
    const std::string python = "/usr/bin/python3";
    if (::access(python.c_str(), X_OK) != 0) {
        if (why) *why = "no /usr/bin/python3";
        return false;
    }
    account_ = {"tester", "secret", home_.Path()};
    const int low = FreeLoopbackPortRange(20);
    const std::string portFile = dir_.File("port");
    std::vector<std::string> argv = {python,        std::string(OSTRAFEN_TEST_TOOLS) + "/pyftpd_server.py",
                                     "--home",      account_.Home,
                                     "--user",      account_.User,
                                     "--password",  account_.Password,
                                     "--port-file", portFile,
                                     "--host",      Host,
                                     "--max-seconds", "300"};
    if (low > 0) {
        argv.insert(argv.end(), {"--pasv-low", std::to_string(low), "--pasv-high", std::to_string(low + 19)});
    }
    if (!process_.Start(argv, dir_.File("server.log"), why)) return false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(8000);
    while (msLeft(deadline) > 0 && process_.Running()) {
        const std::string text = ReadWholeFile(portFile);
        if (!text.empty()) {
            const int port = std::atoi(text.c_str());
            if (port > 0 && WaitForPortOn(Host, port, msLeft(deadline) > 0 ? int(msLeft(deadline)) : 1)) {
                port_ = port;
                return true;
            }
            break;
        }
        ::usleep(20000);
    }
    if (why) *why = "pyftpdlib did not start: " + tail(Log());
    process_.Stop();
    return false;
}

bool EnsureSystemTestUser(std::string* why) {
    if (!RunningAsRoot()) {
        if (why) *why = "needs root to create the system account " + std::string(kSystemTestUser);
        return false;
    }
    static bool done = false;
    if (done) return true;
    // ctest runs test cases as parallel processes; useradd and chpasswd
    // fail when two of them edit the account files at once.
    const int lockFd = ::open("/tmp/ostrafen-test-account.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd >= 0) ::flock(lockFd, LOCK_EX);
    struct Unlock {
        int fd;
        ~Unlock() {
            if (fd >= 0) ::close(fd);
        }
    } unlock{lockFd};
    const std::string user = kSystemTestUser;
    const std::string home = "/home/" + user;
    if (!::getpwnam(user.c_str())) {
        if (FindProgram("useradd").empty() ||
            !runShell("useradd -m -d " + home + " -s /bin/sh " + user + " >/dev/null 2>&1")) {
            if (why) *why = "could not create the system account " + user;
            return false;
        }
    }
    const passwd* pw = ::getpwnam(user.c_str());
    if (!pw) {
        if (why) *why = "system account " + user + " is missing";
        return false;
    }
    // PAM refuses accounts whose home is missing or whose shell is not listed.
    const std::string actualHome = pw->pw_dir ? pw->pw_dir : "";
    if (actualHome.empty() || actualHome == "/nonexistent") {
        runShell("usermod -d " + home + " " + user + " >/dev/null 2>&1");
    }
    ::mkdir(home.c_str(), 0755);
    if (::chown(home.c_str(), pw->pw_uid, pw->pw_gid) != 0) {
        // Not fatal: the fixtures serve their own folders.
    }
    if (std::string(pw->pw_shell ? pw->pw_shell : "") != "/bin/sh")
        runShell("usermod -s /bin/sh " + user + " >/dev/null 2>&1");
    FILE* p = ::popen("chpasswd 2>/dev/null", "w");
    if (!p) {
        if (why) *why = "chpasswd failed";
        return false;
    }
    std::fprintf(p, "%s:%s\n", kSystemTestUser, kSystemTestPassword);
    if (::pclose(p) != 0) {
        if (why) *why = "chpasswd failed";
        return false;
    }
    done = true;
    return true;
}

bool VsftpdServer::Start(std::string* why) {
    const std::string program = FindProgram("vsftpd");
    if (program.empty()) {
        if (why) *why = "vsftpd is not installed";
        return false;
    }
    if (!EnsureSystemTestUser(why)) return false;
    const passwd* pw = ::getpwnam(kSystemTestUser);
    if (!pw || ::chown(home_.Path().c_str(), pw->pw_uid, pw->pw_gid) != 0) {
        if (why) *why = "cannot hand the home folder to " + std::string(kSystemTestUser);
        return false;
    }
    account_ = {kSystemTestUser, kSystemTestPassword, home_.Path()};
    const int port = FreeLoopbackPort();
    const int low = FreeLoopbackPortRange(30);
    const std::string empty = dir_.File("empty");
    ::mkdir(empty.c_str(), 0555);
    std::ostringstream conf;
    conf << "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=" << port
         << "\nbackground=NO\nseccomp_sandbox=NO\npam_service_name=vsftpd\n"
            "anonymous_enable=NO\nlocal_enable=YES\nwrite_enable=YES\nlocal_umask=022\n"
         << "local_root=" << home_.Path() << "\nsecure_chroot_dir=" << empty
         << "\npasv_enable=YES\npasv_min_port=" << low << "\npasv_max_port=" << (low + 29)
         << "\nport_enable=YES\nconnect_from_port_20=NO\nxferlog_enable=NO\nuse_localtime=YES\n"
            "userlist_enable=NO\ndirmessage_enable=NO\nmax_clients=50\nidle_session_timeout=120\n";
    if (LocalMaxRate > 0) conf << "local_max_rate=" << LocalMaxRate << "\n";
    const std::string confPath = dir_.File("vsftpd.conf");
    if (!WriteWholeFile(confPath, conf.str()) || ::chown(confPath.c_str(), 0, 0) != 0) {
        if (why) *why = "cannot write the vsftpd configuration";
        return false;
    }
    return Launch({program, confPath}, port, why);
}

std::string PeersRoot() {
    const char* dir = std::getenv("OSTRAFEN_PEERS_DIR");
    return std::string(dir && *dir ? dir : "/var/tmp/ostrafen-peers") + "/root";
}

namespace {

// A program on PATH, else in the private peers folder.
std::string findPeer(const std::string& name, const std::string& subdir) {
    std::string path = FindProgram(name);
    if (path.empty()) {
        const std::string private_ = PeersRoot() + "/" + subdir + "/" + name;
        if (::access(private_.c_str(), X_OK) == 0) path = private_;
    }
    return path;
}

// Runs a shell command with text on its standard input.
bool runWithInput(const std::string& command, const std::string& input) {
    FILE* p = ::popen(command.c_str(), "w");
    if (!p) return false;
    std::fwrite(input.data(), 1, input.size(), p);
    return ::pclose(p) == 0;
}

// The home folder of a virtual user, owned by the system test account.
bool prepareHome(const TempDir& home, std::string* why) {
    if (!EnsureSystemTestUser(why)) return false;
    const passwd* pw = ::getpwnam(kSystemTestUser);
    if (!pw || ::chown(home.Path().c_str(), pw->pw_uid, pw->pw_gid) != 0) {
        if (why) *why = "cannot hand the home folder to " + std::string(kSystemTestUser);
        return false;
    }
    return true;
}

}  // namespace

bool PureFtpdServer::Start(std::string* why) {
    const std::string program = findPeer("pure-ftpd", "usr/sbin");
    const std::string pw = findPeer("pure-pw", "usr/bin");
    if (program.empty() || pw.empty()) {
        if (why) *why = "pure-ftpd is not available (tests/tools/fetch-peers.sh unpacks it)";
        return false;
    }
    if (!prepareHome(home_, why)) return false;
    account_ = {"tester", "secret", home_.Path()};
    const std::string pdb = dir_.File("pure.pdb");
    const std::string users = dir_.File("pure.passwd");
    // pure-pw would hash with argon2, which costs two seconds per login; a
    // SHA-512 crypt of "secret" keeps each login instant.
    const passwd* sys = ::getpwnam(kSystemTestUser);
    const std::string line = "tester:$6$6Q4LWhBuzHbR/Es5$03lGQvzMzhiKhliO0gL89TY.kJGAG.L47hjRNTUOuqAC3l0hxso3ALxvd."
                             "YnGD7VCucz.WZ0My9.J/k58tE7K.:" +
                             std::to_string(sys->pw_uid) + ":" + std::to_string(sys->pw_gid) + "::" + home_.Path() +
                             "/./::::::::::::\n";
    if (!WriteWholeFile(users, line) ||
        !runWithInput(pw + " mkdb " + pdb + " -f " + users + " >/dev/null 2>&1", "")) {
        if (why) *why = "pure-pw could not build the user database";
        return false;
    }
    const int port = FreeLoopbackPort();
    const int low = FreeLoopbackPortRange(30);
    return Launch({program, "-S", "127.0.0.1," + std::to_string(port), "-l", "puredb:" + pdb, "-E", "-p",
                   std::to_string(low) + ":" + std::to_string(low + 29), "-P", "127.0.0.1"},
                  port, why);
}

bool ProftpdServer::Start(std::string* why, bool windowsStyle) {
    const std::string program = findPeer("proftpd", "usr/sbin");
    std::string ftpasswd = findPeer("ftpasswd", "usr/sbin");
    if (program.empty() || ftpasswd.empty()) {
        if (why) *why = "proftpd is not available (tests/tools/fetch-peers.sh unpacks it)";
        return false;
    }
    if (!prepareHome(home_, why)) return false;
    const passwd* pw = ::getpwnam(kSystemTestUser);
    account_ = {"tester", "secret", home_.Path()};
    const std::string users = dir_.File("proftpd.passwd");
    if (!runWithInput("perl " + ftpasswd + " --passwd --file=" + users + " --name=tester --uid=" +
                          std::to_string(pw->pw_uid) + " --gid=" + std::to_string(pw->pw_gid) +
                          " --home=" + home_.Path() + " --shell=/bin/sh --stdin >/dev/null 2>&1",
                      "secret\n")) {
        if (why) *why = "ftpasswd could not create the user";
        return false;
    }
    const int port = FreeLoopbackPort();
    const int low = FreeLoopbackPortRange(30);
    std::ostringstream conf;
    conf << "ServerType standalone\nDefaultServer on\nDefaultAddress 127.0.0.1\nPort " << port
         << "\nSocketBindTight on\nUseIPv6 off\nUser nobody\nGroup nogroup\nRequireValidShell off\n"
         << "AuthOrder mod_auth_file.c\nAuthUserFile " << users << "\nWtmpLog off\n"
         << "ScoreboardFile " << dir_.File("scoreboard") << "\nPidFile " << dir_.File("pid")
         << "\nDelayTable none\nPassivePorts " << low << " " << (low + 29) << "\nAllowOverwrite on\n"
         << "AllowStoreRestart on\nAllowRetrieveRestart on\n"
         << (windowsStyle ? "ListStyle Windows\n" : "");
    const std::string confPath = dir_.File("proftpd.conf");
    if (!WriteWholeFile(confPath, conf.str())) {
        if (why) *why = "cannot write the proftpd configuration";
        return false;
    }
    // The unpacked copy brings its own libraries.
    std::string libs;
    for (const char* d : {"/usr/lib/x86_64-linux-gnu", "/usr/lib"}) libs += PeersRoot() + d + ":";
    return Launch({program, "-n", "-q", "-c", confPath}, port, why, 8000, {"LD_LIBRARY_PATH=" + libs});
}

bool MicrosocksServer::Start(std::string* why, const std::string& user, const std::string& password) {
    const std::string program = FindProgram("microsocks");
    if (program.empty()) {
        if (why) *why = "microsocks is not installed";
        return false;
    }
    const int port = FreeLoopbackPort();
    std::vector<std::string> argv = {program, "-i", "127.0.0.1", "-p", std::to_string(port)};
    if (!user.empty()) argv.insert(argv.end(), {"-u", user, "-P", password});
    return Launch(argv, port, why);
}

bool DanteServer::Start(std::string* why, bool requireLogin) {
    const std::string program = FindProgram("danted");
    if (program.empty()) {
        if (why) *why = "dante-server is not installed";
        return false;
    }
    if (requireLogin && !EnsureSystemTestUser(why)) return false;
    if (!RunningAsRoot()) {
        if (why) *why = "danted needs root here";
        return false;
    }
    const int port = FreeLoopbackPort();
    std::ostringstream conf;
    conf << "logoutput: " << dir_.File("danted.log") << "\n"
         << "internal: 127.0.0.1 port = " << port << "\n"
         << "external: 127.0.0.1\n"
         << "clientmethod: none\n"
         << "socksmethod: " << (requireLogin ? "username" : "none") << "\n"
         << "user.privileged: root\nuser.unprivileged: nobody\n"
         << "client pass {\n  from: 127.0.0.0/8 to: 0.0.0.0/0\n}\n"
         << "socks pass {\n  from: 127.0.0.0/8 to: 127.0.0.0/8\n  command: connect\n  protocol: tcp\n}\n";
    const std::string confPath = dir_.File("danted.conf");
    if (!WriteWholeFile(confPath, conf.str())) {
        if (why) *why = "cannot write the dante configuration";
        return false;
    }
    return Launch({program, "-N", "1", "-f", confPath}, port, why);
}

bool FtpProxyServer::Start(std::string* why, int destinationPort) {
    const std::string program = FindProgram("ftp-proxy");
    if (program.empty()) {
        if (why) *why = "ftp-proxy is not installed";
        return false;
    }
    const int port = FreeLoopbackPort();
    std::ostringstream conf;
    conf << "[-Global-]\n"
         << "ServerType standalone\n"
         << "Listen 127.0.0.1\n"
         << "Port " << port << "\n"
         << "DestinationAddress 127.0.0.1\n"
         << "DestinationPort " << destinationPort << "\n"
         << "AllowMagicUser yes\n"
         << "LogDestination " << dir_.File("ftp-proxy.log") << "\n";
    const std::string confPath = dir_.File("ftp-proxy.conf");
    if (!WriteWholeFile(confPath, conf.str())) {
        if (why) *why = "cannot write the ftp-proxy configuration";
        return false;
    }
    return Launch({program, "-d", "-n", "-f", confPath}, port, why);
}

ScriptedSocksServer::ScriptedSocksServer(std::vector<Step> steps, std::string afterHandshake)
    : steps_(std::move(steps)), after_(std::move(afterHandshake)) {
    listenFd_ = listenLoopback(&port_);
    thread_ = std::thread([this] { Run(); });
}

ScriptedSocksServer::~ScriptedSocksServer() {
    stop_ = true;
    thread_.join();
    if (listenFd_ >= 0) ::close(listenFd_);
}

void ScriptedSocksServer::Run() {
    const auto acceptDeadline = Clock::now() + std::chrono::seconds(10);
    if (listenFd_ < 0 || !waitReadable(listenFd_, acceptDeadline, stop_)) {
        done_ = true;
        return;
    }
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        done_ = true;
        return;
    }
    bool ok = true;
    for (const Step& step : steps_) {
        if (step.Expect.empty() && step.Reply.empty()) {
            // Silent: hold the connection until the client gives up.
            ok = false;
            break;
        }
        std::string got;
        const bool complete = readExact(fd, step.Expect.size(), got, Clock::now() + std::chrono::seconds(5), stop_);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            received_ += got;
        }
        if (!complete || got != step.Expect) {
            ok = false;
            break;
        }
        if ((!step.Reply.empty() && !sendAll(fd, step.Reply)) || step.CloseAfterReply) {
            ok = !step.CloseAfterReply ? false : ok;
            ::shutdown(fd, SHUT_WR);
            break;
        }
    }
    if (ok && !after_.empty()) sendAll(fd, after_);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        matched_ = ok;
    }
    // Record anything more the client sends until it closes.
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    char buf[512];
    while (waitReadable(fd, deadline, stop_)) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        std::lock_guard<std::mutex> lock(mutex_);
        received_.append(buf, std::size_t(n));
    }
    ::close(fd);
    done_ = true;
}

std::string ScriptedSocksServer::Received() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

bool ScriptedSocksServer::AllMatched() {
    std::lock_guard<std::mutex> lock(mutex_);
    return matched_;
}

bool ScriptedSocksServer::WaitDone(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done_ && msLeft(deadline) > 0) ::usleep(5000);
    return done_;
}

RelaySocksServer::RelaySocksServer(std::string user, std::string password)
    : user_(std::move(user)), password_(std::move(password)) {
    listenFd_ = listenLoopback(&port_);
    acceptor_ = std::thread([this] { Accept(); });
}

RelaySocksServer::~RelaySocksServer() {
    stop_ = true;
    acceptor_.join();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (int fd : openFds_) ::shutdown(fd, SHUT_RDWR);
    }
    for (std::thread& t : workers_) t.join();
    if (listenFd_ >= 0) ::close(listenFd_);
}

std::vector<std::string> RelaySocksServer::Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::vector<std::string> RelaySocksServer::Targets() {
    std::lock_guard<std::mutex> lock(mutex_);
    return targets_;
}

void RelaySocksServer::Accept() {
    while (!stop_ && listenFd_ >= 0) {
        if (!waitReadable(listenFd_, Clock::now() + std::chrono::milliseconds(200), stop_)) continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        std::lock_guard<std::mutex> lock(mutex_);
        openFds_.push_back(fd);
        workers_.emplace_back([this, fd] { Serve(fd); });
    }
}

void RelaySocksServer::Serve(int fd) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    std::string req;
    auto read = [&](std::size_t n) { return readExact(fd, n, req, deadline, stop_); };
    auto readUntilNul = [&] {
        while (read(1))
            if (req.back() == '\0') return true;
        return false;
    };
    std::string host;
    int port = 0;
    bool v5 = false;
    bool ok = read(1);
    if (ok && req[0] == 4) {
        ok = read(7) && readUntilNul();
        if (ok) {
            port = (static_cast<unsigned char>(req[2]) << 8) | static_cast<unsigned char>(req[3]);
            char ip[32];
            std::snprintf(ip, sizeof ip, "%u.%u.%u.%u", unsigned(static_cast<unsigned char>(req[4])),
                          unsigned(static_cast<unsigned char>(req[5])), unsigned(static_cast<unsigned char>(req[6])),
                          unsigned(static_cast<unsigned char>(req[7])));
            host = ip;
            if (req[4] == 0 && req[5] == 0 && req[6] == 0 && req[7] != 0) {
                const std::size_t from = req.size();
                ok = readUntilNul();
                host = req.substr(from, req.size() - from - 1);
            }
        }
    } else if (ok && req[0] == 5) {
        v5 = true;
        ok = read(1) && read(static_cast<unsigned char>(req[1]));
        const bool wantLogin = !user_.empty();
        const char method = wantLogin ? 2 : 0;
        if (ok) ok = req.find(method, 2) != std::string::npos;
        sendAll(fd, std::string{5, ok ? method : char(0xFF)});
        if (ok && wantLogin) {
            const std::size_t from = req.size();
            ok = read(2) && read(static_cast<unsigned char>(req.back())) && read(1) &&
                 read(static_cast<unsigned char>(req.back()));
            if (ok) {
                const std::string a = req.substr(from);
                const std::size_t ul = static_cast<unsigned char>(a[1]);
                const std::string u = a.substr(2, ul), p = a.substr(3 + ul);
                ok = u == user_ && p == password_;
            }
            sendAll(fd, std::string{1, ok ? char(0) : char(1)});
        }
        if (ok) {
            ok = read(4);
            const std::size_t atyp = ok ? static_cast<unsigned char>(req.back()) : 0;
            if (ok && atyp == 3) {
                ok = read(1);
                const std::size_t nameLen = ok ? static_cast<unsigned char>(req.back()) : 0;
                ok = ok && read(nameLen);
                if (ok) host = req.substr(req.size() - nameLen);
            } else if (ok && atyp == 1) {
                ok = read(4);
                if (ok) {
                    char ip[32];
                    const char* b = req.data() + req.size() - 4;
                    std::snprintf(ip, sizeof ip, "%u.%u.%u.%u", unsigned(static_cast<unsigned char>(b[0])),
                                  unsigned(static_cast<unsigned char>(b[1])), unsigned(static_cast<unsigned char>(b[2])),
                                  unsigned(static_cast<unsigned char>(b[3])));
                    host = ip;
                }
            } else {
                ok = false;
            }
            if (ok) ok = read(2);
            if (ok) {
                port = (static_cast<unsigned char>(req[req.size() - 2]) << 8) |
                       static_cast<unsigned char>(req[req.size() - 1]);
            }
        }
    } else {
        ok = false;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(req);
        targets_.push_back(host + ":" + std::to_string(port));
    }
    int target = -1;
    if (ok) {
        std::uint32_t addr = 0;
        in_addr parsed{};
        if (host == "localhost" || host == "LOCALHOST")
            addr = INADDR_LOOPBACK;
        else if (::inet_pton(AF_INET, host.c_str(), &parsed) == 1)
            addr = ntohl(parsed.s_addr);
        // Only loopback targets are ever relayed.
        if ((addr >> 24) == 127) target = connectLoopback(addr, port);
    }
    if (v5) {
        sendAll(fd, target >= 0 ? std::string{5, 0, 0, 1, 127, 0, 0, 1, 0, 0} : std::string{5, 5, 0, 1, 0, 0, 0, 0, 0, 0});
    } else if (!req.empty() && req[0] == 4) {
        sendAll(fd, std::string{0, char(target >= 0 ? 90 : 91), 0, 0, 0, 0, 0, 0});
    }
    if (target >= 0) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            openFds_.push_back(target);
        }
        pollfd p[2] = {{fd, POLLIN, 0}, {target, POLLIN, 0}};
        char buf[16384];
        bool open = true;
        while (open && !stop_) {
            const int r = ::poll(p, 2, 100);
            if (r <= 0) continue;
            for (int i = 0; i < 2 && open; ++i) {
                if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                const ssize_t n = ::recv(p[i].fd, buf, sizeof buf, 0);
                if (n <= 0 || !sendAll(p[1 - i].fd, std::string(buf, std::size_t(n)))) open = false;
            }
        }
        ::shutdown(target, SHUT_RDWR);
    }
    ::shutdown(fd, SHUT_RDWR);
    // The fds are closed here, once no other thread can still shut them down.
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = openFds_.begin(); it != openFds_.end();) {
        if (*it == fd || *it == target) {
            ::close(*it);
            it = openFds_.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace testing_support
