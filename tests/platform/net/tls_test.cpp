// The TLS client against a TLS server of our own on loopback: handshake and
// data both ways, the certificate facts and problems a prompt shows, a
// handshake the server drops or never answers, orderly and fast closes, and
// session resumption as FTP data connections need it.
#include <gtest/gtest.h>

#include "platform/net/socket.h"
#include "platform/net/stack.h"
#include "platform/net/tls.h"

#if OSTRAFEN_TLS
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdio>
#include <ctime>
#include <regex>

#include "tests/support/core/real_servers.h"
#include "tests/support/core/tls_test_peer.h"
#endif

namespace {

const net::StackUser gStack;

}  // namespace

#if !OSTRAFEN_TLS

TEST(TlsClient, EveryCallSaysTlsIsNotAvailable) {
    EXPECT_FALSE(net::tlsAvailable());
    net::TlsClient tls;
    const std::string text = "TLS is not available in this build.";
    EXPECT_EQ(tls.start(net::kInvalidSocket, {}).Message, text);
    EXPECT_EQ(tls.handshake({}).Code, net::TlsErrc::NotAvailable);
    net::TlsError err;
    char buf[4];
    EXPECT_EQ(tls.read(buf, sizeof buf, {}, err), -1);
    EXPECT_EQ(err.Message, text);
    EXPECT_EQ(tls.writeAll("x", 1, {}).Message, text);
    EXPECT_EQ(tls.close({}).Message, text);
    EXPECT_EQ(tls.handshakeStep(), net::TlsStep::Failed);
    EXPECT_EQ(tls.lastError().Message, text);
    EXPECT_FALSE(tls.session().valid());
}

#else

using testing_support::TlsTestServer;

namespace {

const testing_support::TlsTestCertificates& certs() {
    std::string why;
    const auto* c = testing_support::TestCertificates(&why);
    if (!c) ADD_FAILURE() << why;
    static const testing_support::TlsTestCertificates empty;
    return c ? *c : empty;
}

TlsTestServer::Options serverWith(const std::string& cert, const std::string& key,
                                  TlsTestServer::Mode mode = TlsTestServer::Mode::Echo) {
    TlsTestServer::Options o;
    o.CertFile = cert;
    o.KeyFile = key;
    o.Behaviour = mode;
    return o;
}

net::TlsWait quickWait() {
    net::TlsWait w;
    w.TimeoutMs = 5000;
    w.SliceMs = 20;
    return w;
}

// One client connection: the socket and TLS over it.
struct Client {
    int fd = -1;
    net::TlsClient tls;
    explicit Client(int port) : fd(testing_support::ConnectLoopback(port)) {}
    ~Client() {
        tls.abandon();
        if (fd >= 0) net::closeSocket(fd);
    }
    net::TlsError open(const net::TlsClientOptions& options) {
        net::TlsError e = tls.start(fd, options);
        return e.ok() ? tls.handshake(quickWait()) : e;
    }
    // Writes text and reads the echo back.
    std::string echo(const std::string& text) {
        EXPECT_TRUE(tls.writeAll(text.data(), text.size(), quickWait()).ok());
        std::string back;
        char buf[256];
        while (back.size() < text.size()) {
            net::TlsError e;
            const long n = tls.read(buf, sizeof buf, quickWait(), e);
            if (n <= 0) {
                ADD_FAILURE() << "echo ended early: " << e.Message;
                break;
            }
            back.append(buf, std::size_t(n));
        }
        return back;
    }
};

net::TlsClientOptions trusting(const std::string& host) {
    net::TlsClientOptions o;
    o.HostName = host;
    o.ExtraTrustFile = certs().CaCert;
    return o;
}

std::string fingerprintOf(const std::string& pemFile) {
    FILE* f = std::fopen(pemFile.c_str(), "r");
    if (!f) return {};
    X509* cert = PEM_read_X509(f, nullptr, nullptr, nullptr);
    std::fclose(f);
    unsigned char md[32];
    unsigned int n = 0;
    X509_digest(cert, EVP_sha256(), md, &n);
    X509_free(cert);
    std::string out;
    char pair[4];
    for (unsigned int i = 0; i < n; ++i) {
        std::snprintf(pair, sizeof pair, i ? ":%02X" : "%02X", md[i]);
        out += pair;
    }
    return out;
}

}  // namespace

// A name is sent as SNI and checked as a name, an address only checked.
TEST(TlsClient, TrustedServerGivesDataBothWaysAndAnOrderlyClose) {
    for (auto [version, host] : {std::pair{net::kTls13, "localhost"}, std::pair{net::kTls12, "127.0.0.1"}}) {
        SCOPED_TRACE(host);
        TlsTestServer server(serverWith(certs().ServerCert, certs().ServerKey));
        ASSERT_GT(server.Port(), 0) << server.Why();
        Client c(server.Port());
        net::TlsClientOptions o = trusting(host);
        o.MaxVersion = version;
        ASSERT_TRUE(c.open(o).ok()) << c.tls.lastError().Message;
        EXPECT_EQ(c.tls.protocolName(), version == net::kTls13 ? "TLSv1.3" : "TLSv1.2");
        const net::TlsCertificateInfo cert = c.tls.peerCertificate();
        EXPECT_TRUE(cert.Trusted) << cert.VerifyError;
        EXPECT_EQ(cert.VerifyError, "");
        EXPECT_EQ(c.echo("PBSZ 0\r\n"), "PBSZ 0\r\n");
        EXPECT_FALSE(c.tls.sessionReused());
        ASSERT_TRUE(c.tls.close(quickWait(), true).ok()) << c.tls.lastError().Message;
        EXPECT_TRUE(c.tls.peerClosedCleanly());
        ASSERT_TRUE(server.WaitServed(1, 5000));
        EXPECT_TRUE(server.ServedConnections()[0].GotCloseNotify);
        EXPECT_EQ(server.ServedConnections()[0].ServerName, host == std::string("localhost") ? host : "");
    }
}

TEST(TlsClient, StepCallsMoveAMegabyteBothWaysWithoutBlocking) {
    TlsTestServer server(serverWith(certs().ServerCert, certs().ServerKey));
    Client c(server.Port());
    ASSERT_TRUE(c.open(trusting("localhost")).ok());
    std::string out(1 << 20, '\0');
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = char(i * 7 + i / 4096);
    std::string in;
    std::size_t sent = 0;
    char buf[16384];
    // Echoed data fills our receive side while we still send: only a client
    // that reads whenever a write would block gets through.
    for (int rounds = 0; in.size() < out.size() && rounds < 100000; ++rounds) {
        net::TlsStep w = net::TlsStep::Done;
        if (sent < out.size()) {
            std::size_t put = 0;
            w = c.tls.writeStep(out.data() + sent, std::min<std::size_t>(out.size() - sent, 50000), put);
            ASSERT_NE(w, net::TlsStep::Failed) << c.tls.lastError().Message;
            sent += put;
        }
        std::size_t got = 0;
        const net::TlsStep r = c.tls.readStep(buf, sizeof buf, got);
        ASSERT_TRUE(r == net::TlsStep::Done || r == net::TlsStep::WantRead) << c.tls.lastError().Message;
        in.append(buf, got);
        if (r == net::TlsStep::WantRead && (w != net::TlsStep::Done || sent == out.size())) {
            int err = 0;
            net::waitReadable(c.fd, 50, err);
        }
    }
    EXPECT_TRUE(in == out);
}

TEST(TlsClient, CollectedWritesArriveWholeAndInOrder) {
    TlsTestServer server(serverWith(certs().ServerCert, certs().ServerKey));
    Client c(server.Port());
    ASSERT_TRUE(c.open(trusting("localhost")).ok());
    std::string out, in;
    char buf[16384];
    auto drain = [&] {
        std::size_t got = 0;
        while (c.tls.readStep(buf, sizeof buf, got) == net::TlsStep::Done) in.append(buf, got);
    };
    // Pieces below, at and across the record size, from an empty and a part-filled collection.
    for (std::size_t len : {2048u, 7u, 16384u, 16377u, 40000u, 1u, 2048u, 70000u, 3u}) {
        std::string piece(len, '\0');
        for (std::size_t i = 0; i < len; ++i) piece[i] = char('a' + (out.size() + i) % 26);
        ASSERT_TRUE(c.tls.writeBuffered(piece.data(), piece.size(), quickWait()).ok());
        out += piece;
        drain();
    }
    ASSERT_TRUE(c.tls.flush(quickWait()).ok());
    while (in.size() < out.size()) {
        net::TlsError e;
        const long n = c.tls.read(buf, sizeof buf, quickWait(), e);
        ASSERT_GT(n, 0) << e.Message;
        in.append(buf, std::size_t(n));
    }
    EXPECT_TRUE(in == out);
}

TEST(TlsClient, CloseSendsWhatWasCollected) {
    TlsTestServer server(serverWith(certs().ServerCert, certs().ServerKey, TlsTestServer::Mode::Sink));
    Client c(server.Port());
    ASSERT_TRUE(c.open(trusting("localhost")).ok());
    ASSERT_TRUE(c.tls.writeBuffered("tail!", 5, quickWait()).ok());
    ASSERT_TRUE(c.tls.close(quickWait(), true).ok());
    ASSERT_TRUE(server.WaitServed(1, 5000));
    EXPECT_EQ(server.ServedConnections()[0].BytesIn, 5u);
    EXPECT_TRUE(server.ServedConnections()[0].GotCloseNotify);
}

TEST(TlsClient, ASelfSignedCertificateIsReportedWithItsFacts) {
    TlsTestServer server(serverWith(certs().SelfSignedCert, certs().SelfSignedKey));
    Client c(server.Port());
    net::TlsClientOptions o;
    o.HostName = "localhost";
    ASSERT_TRUE(c.open(o).ok());
    const net::TlsCertificateInfo cert = c.tls.peerCertificate();
    EXPECT_TRUE(cert.Present);
    EXPECT_FALSE(cert.Trusted);
    EXPECT_EQ(cert.Problem, net::TlsVerifyProblem::SelfSigned);
    EXPECT_EQ(cert.VerifyError, "self-signed certificate");
    EXPECT_EQ(cert.Subject, "CN=localhost,O=Ostrafen Test");
    EXPECT_EQ(cert.Issuer, cert.Subject);
    EXPECT_EQ(cert.NotAfter - cert.NotBefore, 31 * 86400);
    const std::int64_t now = std::time(nullptr);
    EXPECT_NEAR(double(cert.NotBefore), double(now - 86400), 120.0);
    EXPECT_TRUE(std::regex_match(cert.NotAfterText, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d UTC)")))
        << cert.NotAfterText;
    EXPECT_EQ(cert.Sha256Fingerprint, fingerprintOf(certs().SelfSignedCert));
    EXPECT_EQ(cert.Sha256Fingerprint.size(), 95u);
    // The handshake is complete all the same: the caller decides.
    EXPECT_EQ(c.echo("still usable"), "still usable");
}

TEST(TlsClient, EachCertificateProblemIsNamed) {
    struct Case {
        const char* what;
        std::string cert, key, host;
        bool trustAuthority;
        net::TlsVerifyProblem problem;
        const char* text;
    } cases[] = {
        {"wrong host", certs().OtherHostCert, certs().OtherHostKey, "localhost", true,
         net::TlsVerifyProblem::HostNameMismatch, "hostname mismatch"},
        {"wrong address", certs().OtherHostCert, certs().OtherHostKey, "127.0.0.1", true,
         net::TlsVerifyProblem::HostNameMismatch, "IP address mismatch"},
        {"expired", certs().ExpiredCert, certs().ExpiredKey, "localhost", true, net::TlsVerifyProblem::Expired,
         "certificate has expired"},
        {"unknown authority", certs().ServerCert, certs().ServerKey, "localhost", false,
         net::TlsVerifyProblem::UnknownIssuer, "unable to get local issuer certificate"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        TlsTestServer server(serverWith(k.cert, k.key));
        Client c(server.Port());
        net::TlsClientOptions o = trusting(k.host);
        if (!k.trustAuthority) o.ExtraTrustFile.clear();
        ASSERT_TRUE(c.open(o).ok()) << c.tls.lastError().Message;
        const net::TlsCertificateInfo cert = c.tls.peerCertificate();
        EXPECT_FALSE(cert.Trusted);
        EXPECT_EQ(cert.Problem, k.problem);
        EXPECT_EQ(cert.VerifyError, k.text);
        if (k.problem == net::TlsVerifyProblem::Expired) {
            EXPECT_LT(cert.NotAfter, std::int64_t(std::time(nullptr)));
        }
    }
}

TEST(TlsClient, HandshakeFailuresAreClearResults) {
    {
        TlsTestServer server(serverWith(certs().ServerCert, certs().ServerKey, TlsTestServer::Mode::DropHello));
        Client c(server.Port());
        const net::TlsError e = c.open(trusting("localhost"));
        EXPECT_EQ(e.Code, net::TlsErrc::Closed);
        EXPECT_EQ(e.Message, "The server closed the connection during the TLS handshake.");
        EXPECT_FALSE(c.tls.handshakeDone());
    }
    {
        // A plain FTP server where TLS was expected (implicit mode on a plain port).
        testing_support::ScriptedSocksServer plain({}, "220 plain FTP here\r\n");
        Client c(plain.Port());
        const net::TlsError e = c.open(trusting("localhost"));
        EXPECT_EQ(e.Code, net::TlsErrc::Handshake);
        EXPECT_EQ(e.Message.rfind("TLS handshake failed: ", 0), 0u) << e.Message;
    }
    {
        Client c(testing_support::FreeLoopbackPort());
        net::TlsClientOptions o = trusting("localhost");
        o.ExtraTrustFile = "/nonexistent/ca.pem";
        const net::TlsError e = c.tls.start(c.fd, o);
        EXPECT_EQ(e.Code, net::TlsErrc::Setup);
        EXPECT_NE(e.Message.find("/nonexistent/ca.pem"), std::string::npos);
    }
}

TEST(TlsClient, WaitsRunThePumpAndEndOnTimeOutOrCancel) {
    TlsTestServer server(serverWith(certs().ServerCert, certs().ServerKey, TlsTestServer::Mode::Silent));
    {
        Client c(server.Port());
        ASSERT_TRUE(c.tls.start(c.fd, trusting("localhost")).ok());
        int pumps = 0;
        net::TlsWait w;
        w.TimeoutMs = 200;
        w.SliceMs = 10;
        w.Pump = [&](bool idle) { pumps += idle ? 1 : 0; };
        const net::TlsError e = c.tls.handshake(w);
        EXPECT_EQ(e.Code, net::TlsErrc::TimedOut);
        EXPECT_EQ(e.Message, "The TLS connection timed out.");
        EXPECT_GE(pumps, 5);
    }
    {
        Client c(server.Port());
        ASSERT_TRUE(c.tls.start(c.fd, trusting("localhost")).ok());
        bool closed = false;
        net::TlsWait w;
        w.SliceMs = 10;  // no time-out: only the cancel ends it
        w.Pump = [&](bool) { closed = true; };
        w.Cancelled = [&] { return closed; };
        EXPECT_EQ(c.tls.handshake(w).Code, net::TlsErrc::Cancelled);
    }
    {
        // The user drops the connection from inside the wait.
        TlsTestServer quiet(serverWith(certs().ServerCert, certs().ServerKey, TlsTestServer::Mode::Sink));
        Client c(quiet.Port());
        ASSERT_TRUE(c.open(trusting("localhost")).ok());
        net::TlsWait w;
        w.SliceMs = 10;
        w.Pump = [&](bool) { c.tls.abandon(); };
        net::TlsError e;
        char buf[16];
        EXPECT_EQ(c.tls.read(buf, sizeof buf, w, e), -1);
        EXPECT_EQ(e.Code, net::TlsErrc::Cancelled);
    }
}

TEST(TlsClient, StreamEndsCleanlyOnlyWithCloseNotify) {
    for (bool notify : {true, false}) {
        SCOPED_TRACE(notify);
        auto o = serverWith(certs().ServerCert, certs().ServerKey, TlsTestServer::Mode::Source);
        o.SourceBytes = 300000;
        o.SendCloseNotify = notify;
        TlsTestServer server(o);
        Client c(server.Port());
        ASSERT_TRUE(c.open(trusting("localhost")).ok());
        std::uint64_t total = 0;
        char buf[2048];
        net::TlsError e;
        long n;
        while ((n = c.tls.read(buf, sizeof buf, quickWait(), e)) > 0) total += std::uint64_t(n);
        EXPECT_EQ(n, 0) << e.Message;
        EXPECT_EQ(total, 300000u);
        EXPECT_EQ(c.tls.peerClosedCleanly(), notify);
        // Our close_notify after the peer's end is no failure.
        EXPECT_TRUE(c.tls.close(quickWait()).ok()) << c.tls.lastError().Message;
    }
}

TEST(TlsClient, FastCloseSendsNothingAndStateErrorsAreReported) {
    TlsTestServer server(serverWith(certs().ServerCert, certs().ServerKey));
    Client c(server.Port());
    char buf[8];
    std::size_t got = 0;
    EXPECT_EQ(c.tls.readStep(buf, sizeof buf, got), net::TlsStep::Failed);
    EXPECT_EQ(c.tls.lastError().Code, net::TlsErrc::State);
    ASSERT_TRUE(c.open(trusting("localhost")).ok());
    EXPECT_EQ(c.tls.start(c.fd, trusting("localhost")).Code, net::TlsErrc::State);
    EXPECT_EQ(c.echo("a"), "a");
    c.tls.abandon();
    EXPECT_FALSE(c.tls.handshakeDone());
    net::closeSocket(c.fd);
    c.fd = -1;
    ASSERT_TRUE(server.WaitServed(1, 5000));
    EXPECT_FALSE(server.ServedConnections()[0].GotCloseNotify);
}

// A data connection offers the control connection's session; the server
// must see it resumed, every time, also after a data connection that broke.
TEST(TlsClient, LaterConnectionsResumeTheFirstOnesSession) {
    for (int version : {net::kTls13, net::kTls12}) {
        SCOPED_TRACE(version);
        TlsTestServer server(serverWith(certs().ServerCert, certs().ServerKey));
        Client control(server.Port());
        net::TlsClientOptions o = trusting("localhost");
        o.MaxVersion = version;
        ASSERT_TRUE(control.open(o).ok());
        // With TLS 1.3 the ticket comes after the handshake: a reply read
        // (PBSZ's, in FTP) brings it in.
        EXPECT_EQ(control.echo("PBSZ 0\r\n"), "PBSZ 0\r\n");
        const net::TlsSession session = control.tls.session();
        ASSERT_TRUE(session.valid());

        o.Resume = session;
        for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE(i);
            Client data(server.Port());
            ASSERT_TRUE(data.open(o).ok()) << data.tls.lastError().Message;
            EXPECT_TRUE(data.tls.sessionReused());
            EXPECT_TRUE(data.tls.peerCertificate().Trusted);
            EXPECT_EQ(data.echo("LIST"), "LIST");
            if (i == 0) {
                // Dropped in the middle, as an aborted transfer is.
                data.tls.abandon();
            } else {
                EXPECT_TRUE(data.tls.close(quickWait()).ok());
            }
        }
        control.tls.abandon();
        net::closeSocket(control.fd);
        control.fd = -1;
        ASSERT_TRUE(server.WaitServed(4, 5000));
        const auto served = server.ServedConnections();
        EXPECT_FALSE(served[0].Resumed);
        for (std::size_t i = 1; i < served.size(); ++i) EXPECT_TRUE(served[i].Resumed) << i;
    }
}

#endif
