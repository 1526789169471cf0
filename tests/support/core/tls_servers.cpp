#include "tests/support/core/tls_servers.h"
#if OSTRAFEN_TLS

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "tests/support/core/tls_test_peer.h"

namespace testing_support {

namespace {

using Clock = std::chrono::steady_clock;

const TlsTestCertificates* serverCertificate(std::string* why) { return TestCertificates(why); }

// The account's home, handed to the system test user the servers map to.
bool handHome(const TempDir& home, std::string* why) {
    if (!EnsureSystemTestUser(why)) return false;
    const passwd* pw = ::getpwnam(kSystemTestUser);
    if (!pw || ::chown(home.Path().c_str(), pw->pw_uid, pw->pw_gid) != 0) {
        if (why) *why = "cannot hand the home folder to " + std::string(kSystemTestUser);
        return false;
    }
    return true;
}

std::string peerProgram(const std::string& name, const std::string& subdir) {
    std::string path = FindProgram(name);
    if (path.empty()) {
        const std::string private_ = PeersRoot() + "/" + subdir + "/" + name;
        if (::access(private_.c_str(), X_OK) == 0) path = private_;
    }
    return path;
}

}  // namespace

bool VsftpdTlsServer::Start(std::string* why, bool implicitTls) {
    const std::string program = FindProgram("vsftpd");
    if (program.empty()) {
        if (why) *why = "vsftpd is not installed";
        return false;
    }
    const TlsTestCertificates* certs = serverCertificate(why);
    if (!certs || !handHome(home_, why)) return false;
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
            "userlist_enable=NO\ndirmessage_enable=NO\nmax_clients=50\nidle_session_timeout=120\n"
         << "ssl_enable=YES\nrsa_cert_file=" << certs->SelfSignedCert << "\nrsa_private_key_file="
         << certs->SelfSignedKey
         << "\nssl_ciphers=HIGH\nforce_local_logins_ssl=YES\nforce_local_data_ssl=YES\n"
            "require_ssl_reuse=YES\n"
         << "implicit_ssl=" << (implicitTls ? "YES" : "NO") << "\n";
    const std::string confPath = dir_.File("vsftpd.conf");
    if (!WriteWholeFile(confPath, conf.str()) || ::chown(confPath.c_str(), 0, 0) != 0) {
        if (why) *why = "cannot write the vsftpd configuration";
        return false;
    }
    return Launch({program, confPath}, port, why);
}

bool PureFtpdTlsServer::Start(std::string* why) {
    const std::string program = peerProgram("pure-ftpd", "usr/sbin");
    const std::string pw = peerProgram("pure-pw", "usr/bin");
    if (program.empty() || pw.empty()) {
        if (why) *why = "pure-ftpd is not available (tests/tools/fetch-peers.sh unpacks it)";
        return false;
    }
    const TlsTestCertificates* certs = serverCertificate(why);
    if (!certs || !handHome(home_, why)) return false;
    account_ = {"tester", "secret", home_.Path()};
    const std::string pdb = dir_.File("pure.pdb");
    const std::string users = dir_.File("pure.passwd");
    // A SHA-512 crypt of "secret": pure-pw's own argon2 hash would cost
    // seconds per login.
    const passwd* sys = ::getpwnam(kSystemTestUser);
    const std::string line = "tester:$6$6Q4LWhBuzHbR/Es5$03lGQvzMzhiKhliO0gL89TY.kJGAG.L47hjRNTUOuqAC3l0hxso3ALxvd."
                             "YnGD7VCucz.WZ0My9.J/k58tE7K.:" +
                             std::to_string(sys->pw_uid) + ":" + std::to_string(sys->pw_gid) + "::" + home_.Path() +
                             "/./::::::::::::\n";
    if (!WriteWholeFile(users, line) || std::system((pw + " mkdb " + pdb + " -f " + users + " >/dev/null 2>&1").c_str()) != 0) {
        if (why) *why = "pure-pw could not build the user database";
        return false;
    }
    const int port = FreeLoopbackPort();
    const int low = FreeLoopbackPortRange(30);
    return Launch({program, "-S", "127.0.0.1," + std::to_string(port), "-l", "puredb:" + pdb, "-E", "-p",
                   std::to_string(low) + ":" + std::to_string(low + 29), "-P", "127.0.0.1", "-Y", "3", "-2",
                   certs->SelfSignedCert + "," + certs->SelfSignedKey},
                  port, why);
}

bool PyftpdlibTlsServer::Start(std::string* why) {
    const std::string python = "/usr/bin/python3";
    if (::access(python.c_str(), X_OK) != 0) {
        if (why) *why = "no /usr/bin/python3";
        return false;
    }
    const TlsTestCertificates* certs = serverCertificate(why);
    if (!certs) return false;
    account_ = {"tester", "secret", home_.Path()};
    const int low = FreeLoopbackPortRange(20);
    const std::string portFile = dir_.File("port");
    std::vector<std::string> argv = {python,        std::string(OSTRAFEN_TEST_TOOLS) + "/pyftpd_tls_server.py",
                                     "--home",      account_.Home,
                                     "--user",      account_.User,
                                     "--password",  account_.Password,
                                     "--cert",      certs->SelfSignedCert,
                                     "--key",       certs->SelfSignedKey,
                                     "--port-file", portFile,
                                     "--max-seconds", "300"};
    if (low > 0) argv.insert(argv.end(), {"--pasv-low", std::to_string(low), "--pasv-high", std::to_string(low + 19)});
    if (!process_.Start(argv, dir_.File("server.log"), why)) return false;
    // The script writes its port once it listens.
    const auto deadline = Clock::now() + std::chrono::seconds(8);
    while (Clock::now() < deadline && process_.Running()) {
        const int port = std::atoi(ReadWholeFile(portFile).c_str());
        if (port > 0 && WaitForPort(port, 3000)) {
            port_ = port;
            return true;
        }
        if (port > 0) break;
        ::usleep(20000);
    }
    if (why) *why = "pyftpdlib's TLS server did not start: " + Log();
    process_.Stop();
    return false;
}

}  // namespace testing_support
#endif
