// The TLS client under a bare FTP exchange written here (AUTH TLS, PBSZ,
// PROT P, login, PASV, LIST) against real FTP over TLS servers: the facts the
// FTP client will rely on, above all that vsftpd with require_ssl_reuse takes
// a data connection that resumes the control connection's session.
#include <gtest/gtest.h>

#if OSTRAFEN_TLS
#include <cstdio>

#include "platform/net/socket.h"
#include "platform/net/stack.h"
#include "platform/net/tls.h"
#include "tests/support/core/tls_servers.h"
#include "tests/support/core/tls_test_peer.h"

namespace {

using namespace testing_support;

const net::StackUser gStack;

net::TlsWait wait5s() {
    net::TlsWait w;
    w.TimeoutMs = 5000;
    w.SliceMs = 50;
    return w;
}

// One side of the exchange: plain until secure() and TLS after it.
class Channel {
public:
    explicit Channel(int port) : fd_(ConnectLoopback(port)) {}
    ~Channel() {
        tls_.abandon();
        if (fd_ >= 0) net::closeSocket(fd_);
    }
    bool connected() const { return fd_ >= 0; }
    net::TlsClient& tls() { return tls_; }

    net::TlsError secure(const net::TlsSession& resume = {}) {
        net::TlsClientOptions o;
        o.HostName = "127.0.0.1";
        o.Resume = resume;
        net::TlsError e = tls_.start(fd_, o);
        if (e.ok()) e = tls_.handshake(wait5s());
        secured_ = e.ok();
        return e;
    }
    // Bytes read, 0 at the end, -1 on failure.
    long readSome(char* buf, std::size_t len) {
        if (secured_) {
            net::TlsError e;
            const long n = tls_.read(buf, len, wait5s(), e);
            if (n < 0) failure_ = e.Message;
            return n;
        }
        int err = 0;
        if (net::waitReadable(fd_, 5000, err) <= 0) return -1;
        return net::recvSome(fd_, buf, len, err);
    }
    bool send(const std::string& bytes) {
        if (secured_) return tls_.writeAll(bytes.data(), bytes.size(), wait5s()).ok();
        int err = 0;
        return net::sendSome(fd_, bytes.data(), bytes.size(), err) == long(bytes.size());
    }
    // One whole reply, multi-line ones included; its code, or 0 when none came.
    int reply(std::string* text = nullptr) {
        std::string line, all;
        std::string first;
        while (true) {
            if (!readLine(line)) return 0;
            all += line + "\n";
            if (first.empty()) first = line.substr(0, 3);
            if (line.size() >= 4 && line.compare(0, 3, first) == 0 && line[3] == ' ') break;
        }
        if (text) *text = all;
        return std::atoi(first.c_str());
    }
    int command(const std::string& line, std::string* text = nullptr) {
        return send(line + "\r\n") ? reply(text) : 0;
    }
    std::string readAll() {
        std::string out;
        char buf[4096];
        long n;
        while ((n = readSome(buf, sizeof buf)) > 0) out.append(buf, std::size_t(n));
        return out;
    }
    const std::string& failure() const { return failure_; }

private:
    bool readLine(std::string& line) {
        while (true) {
            const std::size_t at = in_.find('\n');
            if (at != std::string::npos) {
                line = in_.substr(0, at);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                in_.erase(0, at + 1);
                return true;
            }
            char buf[1024];
            const long n = readSome(buf, sizeof buf);
            if (n <= 0) return false;
            in_.append(buf, std::size_t(n));
        }
    }
    int fd_;
    net::TlsClient tls_;
    bool secured_ = false;
    std::string in_;
    std::string failure_;
};

struct Listing {
    int FinalCode = 0;
    bool Reused = false;
    std::string Text;
    std::string Failure;
};

// Logs in over TLS and lists the home folder over a protected data
// connection that offers the control session when resume is set.
Listing listOverTls(int port, const FtpAccount& account, bool implicitTls, bool resume) {
    Listing out;
    Channel control(port);
    if (!control.connected()) return {0, false, "", "no control connection"};
    if (implicitTls) {
        const net::TlsError e = control.secure();
        if (!e.ok()) return {0, false, "", "implicit handshake: " + e.Message};
        if (control.reply() != 220) return {0, false, "", "no greeting over TLS"};
    } else {
        if (control.reply() != 220) return {0, false, "", "no greeting"};
        if (control.command("AUTH TLS") != 234) return {0, false, "", "AUTH TLS refused"};
        const net::TlsError e = control.secure();
        if (!e.ok()) return {0, false, "", "handshake: " + e.Message};
    }
    const net::TlsCertificateInfo cert = control.tls().peerCertificate();
    EXPECT_EQ(cert.Problem, net::TlsVerifyProblem::SelfSigned);
    EXPECT_FALSE(cert.Sha256Fingerprint.empty());
    std::string text;
    if (control.command("PBSZ 0") != 200 || control.command("PROT P") != 200) return {0, false, "", "PBSZ/PROT refused"};
    if (control.command("USER " + account.User) != 331 || control.command("PASS " + account.Password) != 230)
        return {0, false, "", "login refused"};
    if (control.command("TYPE I") != 200 || control.command("PASV", &text) != 227) return {0, false, "", "PASV refused"};
    unsigned h1, h2, h3, h4, p1, p2;
    const std::size_t open = text.find('(');
    if (open == std::string::npos ||
        std::sscanf(text.c_str() + open, "(%u,%u,%u,%u,%u,%u)", &h1, &h2, &h3, &h4, &p1, &p2) != 6)
        return {0, false, "", "bad PASV reply " + text};
    Channel data(int(p1 * 256 + p2));
    if (!data.connected() || !control.send("LIST\r\n")) return {0, false, "", "no data connection"};
    const net::TlsError e = data.secure(resume ? control.tls().session() : net::TlsSession{});
    out.Failure = e.ok() ? "" : "data handshake: " + e.Message;
    if (e.ok()) {
        out.Reused = data.tls().sessionReused();
        out.Text = data.readAll();
        data.tls().close(wait5s());
    }
    const int first = control.reply(&text);
    out.FinalCode = first >= 100 && first < 200 ? control.reply(&text) : first;
    if (out.FinalCode != 226) out.Failure += " reply: " + text;
    control.command("QUIT");
    return out;
}

void putFile(const FtpAccount& account) { WriteWholeFile(account.Home + "/hello-tls.txt", "hello over TLS\n"); }

}  // namespace

TEST(TlsFtpServers, VsftpdTakesADataConnectionThatResumesTheControlSession) {
    VsftpdTlsServer server;
    std::string why;
    if (!server.Start(&why)) GTEST_SKIP() << why;
    putFile(server.Account());
    const Listing l = listOverTls(server.Port(), server.Account(), false, true);
    EXPECT_EQ(l.FinalCode, 226) << l.Failure << server.Log();
    EXPECT_TRUE(l.Reused);
    EXPECT_NE(l.Text.find("hello-tls.txt"), std::string::npos) << l.Text;
    // A second listing resumes the same session again.
    const Listing again = listOverTls(server.Port(), server.Account(), false, true);
    EXPECT_EQ(again.FinalCode, 226) << again.Failure;
}

TEST(TlsFtpServers, VsftpdRefusesADataConnectionWithAFreshSession) {
    VsftpdTlsServer server;
    std::string why;
    if (!server.Start(&why)) GTEST_SKIP() << why;
    const Listing l = listOverTls(server.Port(), server.Account(), false, false);
    EXPECT_FALSE(l.Reused);
    EXPECT_EQ(l.FinalCode, 522) << l.Failure;
}

TEST(TlsFtpServers, VsftpdImplicitTlsFromTheFirstByte) {
    VsftpdTlsServer server;
    std::string why;
    if (!server.Start(&why, true)) GTEST_SKIP() << why;
    putFile(server.Account());
    const Listing l = listOverTls(server.Port(), server.Account(), true, true);
    EXPECT_EQ(l.FinalCode, 226) << l.Failure << server.Log();
    EXPECT_NE(l.Text.find("hello-tls.txt"), std::string::npos);
}

TEST(TlsFtpServers, PureFtpdAndPyftpdlibListOverProtectedDataConnections) {
    {
        PureFtpdTlsServer server;
        std::string why;
        if (!server.Start(&why)) GTEST_SKIP() << why;
        putFile(server.Account());
        const Listing l = listOverTls(server.Port(), server.Account(), false, true);
        EXPECT_EQ(l.FinalCode, 226) << l.Failure << server.Log();
        EXPECT_NE(l.Text.find("hello-tls.txt"), std::string::npos) << l.Text;
    }
    {
        PyftpdlibTlsServer server;
        std::string why;
        if (!server.Start(&why)) GTEST_SKIP() << why;
        putFile(server.Account());
        const Listing l = listOverTls(server.Port(), server.Account(), false, true);
        EXPECT_EQ(l.FinalCode, 226) << l.Failure << server.Log();
        EXPECT_NE(l.Text.find("hello-tls.txt"), std::string::npos) << l.Text;
    }
}

#endif
