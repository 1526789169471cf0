#include "tests/support/core/tls_test_peer.h"
#if OSTRAFEN_TLS

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <chrono>
#include <cstdio>
#include <memory>

namespace testing_support {

namespace {

struct KeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct CertFree {
    void operator()(X509* c) const { X509_free(c); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Cert = std::unique_ptr<X509, CertFree>;

bool addExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext) return false;
    const bool ok = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return ok;
}

// A certificate for key, signed by issuerKey (itself when issuer is null).
Cert makeCert(EVP_PKEY* key, const std::string& commonName, X509* issuer, EVP_PKEY* issuerKey, bool authority,
              const char* altNames, long fromSeconds, long toSeconds) {
    Cert cert(X509_new());
    if (!cert) return nullptr;
    X509_set_version(cert.get(), 2);
    unsigned char serial[8];
    RAND_bytes(serial, sizeof serial);
    serial[0] &= 0x7F;
    BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get()));
    BN_free(bn);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), fromSeconds);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), toSeconds);
    X509_set_pubkey(cert.get(), key);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Ostrafen Test"), -1, -1,
                               0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName.c_str()),
                               -1, -1, 0);
    X509* signer = issuer ? issuer : cert.get();
    X509_set_issuer_name(cert.get(), X509_get_subject_name(signer));
    bool ok = addExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
    if (authority) {
        ok = ok && addExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:TRUE") &&
             addExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        ok = ok && addExtension(cert.get(), signer, NID_basic_constraints, "CA:FALSE") &&
             addExtension(cert.get(), signer, NID_ext_key_usage, "serverAuth") &&
             addExtension(cert.get(), signer, NID_subject_alt_name, altNames);
        if (issuer) ok = ok && addExtension(cert.get(), signer, NID_authority_key_identifier, "keyid");
    }
    if (!ok || X509_sign(cert.get(), issuerKey ? issuerKey : key, EVP_sha256()) == 0) return nullptr;
    return cert;
}

bool writePem(const std::string& path, X509* cert, EVP_PKEY* key) {
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    bool ok = true;
    if (cert) ok = PEM_write_X509(f, cert) == 1;
    if (key) ok = ok && PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    return std::fclose(f) == 0 && ok;
}

bool makeAll(const std::string& dir, TlsTestCertificates& out) {
    const long day = 86400;
    const char* local = "DNS:localhost,IP:127.0.0.1";
    Key caKey(EVP_EC_gen("P-256"));
    if (!caKey) return false;
    Cert ca = makeCert(caKey.get(), "Ostrafen Test Authority", nullptr, nullptr, true, nullptr, -day, 30 * day);
    struct Leaf {
        std::string name;
        const char* alt;
        long from, to;
        bool selfSigned;
        std::string* certPath;
        std::string* keyPath;
    } leaves[] = {
        {"localhost", local, -day, 30 * day, false, &out.ServerCert, &out.ServerKey},
        {"other.invalid", "DNS:other.invalid", -day, 30 * day, false, &out.OtherHostCert, &out.OtherHostKey},
        {"localhost", local, -10 * day, -day, false, &out.ExpiredCert, &out.ExpiredKey},
        {"localhost", local, -day, 30 * day, true, &out.SelfSignedCert, &out.SelfSignedKey},
    };
    out.CaCert = dir + "/ca.pem";
    if (!ca || !writePem(out.CaCert, ca.get(), nullptr)) return false;
    int n = 0;
    for (Leaf& l : leaves) {
        Key key(EVP_EC_gen("P-256"));
        if (!key) return false;
        Cert cert = l.selfSigned ? makeCert(key.get(), l.name, nullptr, nullptr, false, l.alt, l.from, l.to)
                                 : makeCert(key.get(), l.name, ca.get(), caKey.get(), false, l.alt, l.from, l.to);
        const std::string base = dir + "/leaf" + std::to_string(n++);
        *l.certPath = base + ".crt";
        *l.keyPath = base + ".key";
        if (!cert || !writePem(*l.certPath, cert.get(), nullptr) || !writePem(*l.keyPath, nullptr, key.get()))
            return false;
        if (l.selfSigned) {
            out.SelfSignedBoth = base + ".pem";
            if (!writePem(out.SelfSignedBoth, cert.get(), key.get())) return false;
        }
    }
    return true;
}

}  // namespace

const TlsTestCertificates* TestCertificates(std::string* why) {
    // Made once and kept for the whole test program.
    static TempDir* dir = new TempDir;
    static TlsTestCertificates certs;
    static const bool ok = !dir->Path().empty() && makeAll(dir->Path(), certs);
    if (!ok && why) *why = "could not make the test certificates";
    return ok ? &certs : nullptr;
}

int ConnectLoopback(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(std::uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

TlsTestServer::TlsTestServer(Options options) : options_(std::move(options)) {
    // OpenSSL writes to the socket with write(): a client that already left
    // must not end the test program.
    ::signal(SIGPIPE, SIG_IGN);
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    if (!ctx || SSL_CTX_use_certificate_chain_file(ctx, options_.CertFile.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(ctx, options_.KeyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
        why_ = "the test server could not load its certificate";
        if (ctx) SSL_CTX_free(ctx);
        return;
    }
    if (options_.MaxVersion > 0) SSL_CTX_set_max_proto_version(ctx, options_.MaxVersion);
    static const unsigned char sid[] = "ostrafen-test";
    SSL_CTX_set_session_id_context(ctx, sid, sizeof sid - 1);
    ctx_ = ctx;
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listenFd_, 16) != 0 || ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        why_ = "the test server could not listen";
        return;
    }
    port_ = ntohs(a.sin_port);
    acceptor_ = std::thread([this] { Accept(); });
}

TlsTestServer::~TlsTestServer() {
    stop_ = true;
    if (acceptor_.joinable()) acceptor_.join();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (int fd : openFds_) ::shutdown(fd, SHUT_RDWR);
    }
    for (std::thread& t : workers_) t.join();
    for (int fd : openFds_) ::close(fd);
    if (listenFd_ >= 0) ::close(listenFd_);
    if (ctx_) SSL_CTX_free(static_cast<SSL_CTX*>(ctx_));
}

void TlsTestServer::Accept() {
    while (!stop_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        // A stuck client must not hold a worker beyond the test.
        timeval tv{10, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        std::lock_guard<std::mutex> lock(mutex_);
        openFds_.push_back(fd);
        served_.emplace_back();
        ended_.push_back(false);
        const std::size_t slot = served_.size() - 1;
        workers_.emplace_back([this, fd, slot] { Serve(fd, slot); });
    }
}

void TlsTestServer::Serve(int fd, std::size_t slot) {
    Served facts;
    auto finish = [&] {
        std::lock_guard<std::mutex> lock(mutex_);
        served_[slot] = facts;
        ended_[slot] = true;
        changed_.notify_all();
    };
    if (options_.Behaviour == Mode::Silent) {
        char c;
        while (!stop_ && ::recv(fd, &c, 1, 0) > 0) {
        }
        finish();
        return;
    }
    if (options_.Behaviour == Mode::DropHello) {
        char buf[512];
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) > 0) ::recv(fd, buf, sizeof buf, 0);
        ::shutdown(fd, SHUT_RDWR);
        finish();
        return;
    }
    SSL* ssl = SSL_new(static_cast<SSL_CTX*>(ctx_));
    SSL_set_fd(ssl, fd);
    if (SSL_accept(ssl) == 1) {
        facts.Handshaken = true;
        facts.Resumed = SSL_session_reused(ssl) == 1;
        facts.Protocol = SSL_get_version(ssl);
        const char* sni = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name);
        facts.ServerName = sni ? sni : "";
        std::vector<char> buf(64 * 1024);
        if (options_.Behaviour == Mode::Source) {
            std::uint64_t left = options_.SourceBytes;
            while (left > 0) {
                const int n = int(std::min<std::uint64_t>(left, buf.size()));
                if (SSL_write(ssl, buf.data(), n) <= 0) break;
                left -= std::uint64_t(n);
            }
            if (!options_.SendCloseNotify) {
                SSL_set_quiet_shutdown(ssl, 1);
                SSL_shutdown(ssl);
            } else if (SSL_shutdown(ssl) == 0) {
                // Wait for the client's close_notify before the TCP close.
                while (SSL_read(ssl, buf.data(), int(buf.size())) > 0) {
                }
            }
            facts.GotCloseNotify = (SSL_get_shutdown(ssl) & SSL_RECEIVED_SHUTDOWN) != 0;
        } else {
            while (true) {
                const int n = SSL_read(ssl, buf.data(), int(buf.size()));
                if (n <= 0) {
                    facts.GotCloseNotify = SSL_get_error(ssl, n) == SSL_ERROR_ZERO_RETURN;
                    break;
                }
                facts.BytesIn += std::uint64_t(n);
                if (options_.Behaviour == Mode::Echo && SSL_write(ssl, buf.data(), n) <= 0) break;
            }
            if (facts.GotCloseNotify) SSL_shutdown(ssl);
        }
    }
    SSL_free(ssl);
    ERR_clear_error();
    ::shutdown(fd, SHUT_RDWR);
    finish();
}

bool TlsTestServer::WaitServed(std::size_t count, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        std::size_t done = 0;
        for (bool e : ended_) done += e ? 1 : 0;
        return done >= count;
    });
}

std::vector<TlsTestServer::Served> TlsTestServer::ServedConnections() {
    std::lock_guard<std::mutex> lock(mutex_);
    return served_;
}

}  // namespace testing_support
#endif
