// Raw TLS throughput over loopback: the TLS client's read and write paths
// (non-blocking steps through our socket BIO, waits in slices) against an
// in-process TLS server, with the FTP client's large and small buffers, beside
// OpenSSL's own blocking socket path as the yardstick.
//   bench_tls_bench [MiB per run, default 512]
#include <openssl/ssl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/net/socket.h"
#include "platform/net/stack.h"
#include "platform/net/tls.h"
#include "tests/support/core/tls_test_peer.h"

using namespace testing_support;

namespace {

using Clock = std::chrono::steady_clock;

double mibPerSecond(std::uint64_t bytes, Clock::time_point start) {
    const double s = std::chrono::duration<double>(Clock::now() - start).count();
    return double(bytes) / (1024.0 * 1024.0) / s;
}

net::TlsWait waits() {
    net::TlsWait w;
    w.TimeoutMs = 30000;
    w.SliceMs = 250;
    w.Pump = [](bool) {};
    return w;
}

net::TlsClientOptions options(const TlsTestCertificates& certs) {
    net::TlsClientOptions o;
    o.HostName = "localhost";
    o.ExtraTrustFile = certs.CaCert;
    return o;
}

double ourRead(const TlsTestCertificates& certs, std::uint64_t bytes, std::size_t chunk) {
    TlsTestServer::Options so{certs.ServerCert, certs.ServerKey, TlsTestServer::Mode::Source, bytes};
    TlsTestServer server(so);
    const int fd = ConnectLoopback(server.Port());
    net::TlsClient tls;
    if (!tls.start(fd, options(certs)).ok() || !tls.handshake(waits()).ok()) return 0;
    std::vector<char> buf(chunk);
    std::uint64_t total = 0;
    const auto start = Clock::now();
    net::TlsError e;
    long n;
    while ((n = tls.read(buf.data(), buf.size(), waits(), e)) > 0) total += std::uint64_t(n);
    const double rate = mibPerSecond(total, start);
    tls.close(waits());
    net::closeSocket(fd);
    return total == bytes ? rate : 0;
}

double ourWrite(const TlsTestCertificates& certs, std::uint64_t bytes, std::size_t chunk, bool collect) {
    TlsTestServer::Options so{certs.ServerCert, certs.ServerKey, TlsTestServer::Mode::Sink, 0};
    TlsTestServer server(so);
    const int fd = ConnectLoopback(server.Port());
    net::TlsClient tls;
    if (!tls.start(fd, options(certs)).ok() || !tls.handshake(waits()).ok()) return 0;
    std::vector<char> buf(chunk, 'x');
    const auto start = Clock::now();
    for (std::uint64_t sent = 0; sent < bytes; sent += chunk)
        if (!(collect ? tls.writeBuffered(buf.data(), buf.size(), waits()) : tls.writeAll(buf.data(), buf.size(), waits())).ok())
            return 0;
    tls.close(waits(), true);
    const double rate = mibPerSecond(bytes, start);
    net::closeSocket(fd);
    server.WaitServed(1, 30000);
    return server.ServedConnections()[0].BytesIn >= bytes ? rate : 0;
}

// OpenSSL's blocking socket BIO, for comparison.
double stockRead(const TlsTestCertificates& certs, std::uint64_t bytes, std::size_t chunk) {
    TlsTestServer::Options so{certs.ServerCert, certs.ServerKey, TlsTestServer::Mode::Source, bytes};
    TlsTestServer server(so);
    const int fd = ConnectLoopback(server.Port());
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    SSL* ssl = SSL_new(ctx);
    SSL_set_fd(ssl, fd);
    if (SSL_connect(ssl) != 1) return 0;
    std::vector<char> buf(chunk);
    std::uint64_t total = 0;
    const auto start = Clock::now();
    int n;
    while ((n = SSL_read(ssl, buf.data(), int(buf.size()))) > 0) total += std::uint64_t(n);
    const double rate = mibPerSecond(total, start);
    SSL_shutdown(ssl);
    SSL_free(ssl);
    SSL_CTX_free(ctx);
    net::closeSocket(fd);
    return total == bytes ? rate : 0;
}

}  // namespace

int main(int argc, char** argv) {
    const net::StackUser stack;
    const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 512;
    const std::uint64_t bytes = mib * 1024 * 1024;
    std::string why;
    const TlsTestCertificates* certs = TestCertificates(&why);
    if (!certs) {
        std::fprintf(stderr, "%s\n", why.c_str());
        return 1;
    }
    std::printf("%llu MiB per run over loopback, TLS 1.3, MiB/s (0 = failed)\n", static_cast<unsigned long long>(mib));
    for (std::size_t chunk : {std::size_t(256 * 1024), std::size_t(2048)}) {
        std::printf("chunk %7zu  read %7.1f  writeAll %7.1f  writeBuffered %7.1f  | OpenSSL's blocking read %7.1f\n",
                    chunk, ourRead(*certs, bytes, chunk), ourWrite(*certs, bytes, chunk, false),
                    ourWrite(*certs, bytes, chunk, true), stockRead(*certs, bytes, chunk));
    }
    return 0;
}
