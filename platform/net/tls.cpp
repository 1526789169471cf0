// TLS client on OpenSSL 3. OpenSSL reads and writes through a BIO of our
// own that calls the non-blocking socket functions, so the socket keeps its
// blocking mode for the rest of the FTP client and every wait stays with the
// caller (or with the sliced waits below).
#include "platform/net/tls.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>

#include "platform/net/socket_errors.h"
#include "platform/net/tick.h"

namespace net {

namespace {

// One TLS record's worth of plain text.
constexpr std::size_t kRecordBytes = 16384;

const char* const kClosedInHandshake = "The server closed the connection during the TLS handshake.";

struct SocketLink {
    SocketHandle s = kInvalidSocket;
    int err = 0;      // last socket error, Windows Sockets number
    bool eof = false; // the peer closed the TCP stream
};

int bioRead(BIO* b, char* buf, int len) {
    auto* link = static_cast<SocketLink*>(BIO_get_data(b));
    BIO_clear_retry_flags(b);
    if (len <= 0) return 0;
    int err = 0;
    long n = recvSome(link->s, buf, static_cast<std::size_t>(len), err, true);
    if (n > 0) return static_cast<int>(n);
    if (n == 0) {
        link->eof = true;
        return 0;
    }
    if (err == kErrWouldBlock) {
        BIO_set_retry_read(b);
        return -1;
    }
    link->err = err;
    return -1;
}

int bioWrite(BIO* b, const char* buf, int len) {
    auto* link = static_cast<SocketLink*>(BIO_get_data(b));
    BIO_clear_retry_flags(b);
    if (len <= 0) return 0;
    int err = 0;
    long n = sendSome(link->s, buf, static_cast<std::size_t>(len), err, true);
    if (n >= 0) return static_cast<int>(n);
    if (err == kErrWouldBlock) {
        BIO_set_retry_write(b);
        return -1;
    }
    link->err = err;
    return -1;
}

long bioCtrl(BIO* b, int cmd, long, void*) {
    switch (cmd) {
    case BIO_CTRL_FLUSH: return 1;
    case BIO_CTRL_EOF: return static_cast<SocketLink*>(BIO_get_data(b))->eof ? 1 : 0;
    default: return 0;
    }
}

int bioCreate(BIO* b) {
    BIO_set_init(b, 1);
    return 1;
}

BIO_METHOD* socketMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "ostrafen socket");
        BIO_meth_set_read(m, bioRead);
        BIO_meth_set_write(m, bioWrite);
        BIO_meth_set_ctrl(m, bioCtrl);
        BIO_meth_set_create(m, bioCreate);
        return m;
    }();
    return method;
}

int exIndex() {
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

// The reason of the newest OpenSSL error, for a message.
std::string reasonText(unsigned long code) {
    if (code == 0) return "unknown error";
    const char* r = ERR_reason_error_string(code);
    if (r) return r;
    char buf[256];
    ERR_error_string_n(code, buf, sizeof buf);
    return buf;
}

bool isIpLiteral(const std::string& host) {
    ASN1_OCTET_STRING* ip = a2i_IPADDRESS(host.c_str());
    if (!ip) return false;
    ASN1_OCTET_STRING_free(ip);
    return true;
}

std::string nameText(const X509_NAME* name) {
    BIO* mem = BIO_new(BIO_s_mem());
    if (!mem) return {};
    X509_NAME_print_ex(mem, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* p = nullptr;
    long n = BIO_get_mem_data(mem, &p);
    std::string out(p ? p : "", n > 0 ? static_cast<std::size_t>(n) : 0);
    BIO_free(mem);
    return out;
}

std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void timeFacts(const ASN1_TIME* t, std::int64_t& seconds, std::string& text) {
    std::tm tm{};
    if (!t || ASN1_TIME_to_tm(t, &tm) != 1) return;
    seconds = daysFromCivil(tm.tm_year + 1900, static_cast<unsigned>(tm.tm_mon + 1), static_cast<unsigned>(tm.tm_mday)) *
                  86400 +
              tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec;
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d UTC", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec);
    text = buf;
}

TlsVerifyProblem problemFor(long code) {
    switch (code) {
    case X509_V_OK: return TlsVerifyProblem::None;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN: return TlsVerifyProblem::SelfSigned;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE: return TlsVerifyProblem::UnknownIssuer;
    case X509_V_ERR_CERT_HAS_EXPIRED: return TlsVerifyProblem::Expired;
    case X509_V_ERR_CERT_NOT_YET_VALID: return TlsVerifyProblem::NotYetValid;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH: return TlsVerifyProblem::HostNameMismatch;
    default: return TlsVerifyProblem::Other;
    }
}

TlsError makeError(TlsErrc code, std::string message, int socketError = 0) {
    TlsError e;
    e.Code = code;
    e.SocketError = socketError;
    e.Message = std::move(message);
    return e;
}

TlsError socketError(int code) {
    std::string text = socketErrorText(code);
    if (text.empty()) text = "Socket Error # " + std::to_string(code);
    return makeError(TlsErrc::Socket, text, code);
}

// What OpenSSL's callbacks report about one connection (its ex data).
struct CallbackFacts {
    bool verifyFailed = false;
    long verifyCode = X509_V_OK;  // the first problem the verification found
    SSL_SESSION* latest = nullptr;  // owned
};

int verifyCallback(int ok, X509_STORE_CTX* store) {
    if (!ok) {
        auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
        auto* f = ssl ? static_cast<CallbackFacts*>(SSL_get_ex_data(ssl, exIndex())) : nullptr;
        if (f && !f->verifyFailed) {
            f->verifyFailed = true;
            f->verifyCode = X509_STORE_CTX_get_error(store);
        }
    }
    return 1;
}

// With TLS 1.3 the server issues its session tickets after the handshake;
// they arrive here while the client reads. The newest one is kept.
int newSessionCallback(SSL* ssl, SSL_SESSION* session) {
    auto* f = static_cast<CallbackFacts*>(SSL_get_ex_data(ssl, exIndex()));
    if (!f) return 0;
    if (f->latest) SSL_SESSION_free(f->latest);
    f->latest = session;
    return 1;
}

// One client context per extra trust file, made once and kept for the whole
// run: loading the trust store for every data connection would cost more
// than the connection.
SSL_CTX* contextFor(const std::string& trustFile, TlsError& err) {
    static std::mutex mutex;
    // Never destroyed: connections may still use a context while statics go.
    static auto* contexts = new std::map<std::string, SSL_CTX*>;
    std::lock_guard<std::mutex> lock(mutex);
    auto it = contexts->find(trustFile);
    if (it != contexts->end()) return it->second;
    ERR_clear_error();
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx) {
        err = makeError(TlsErrc::Setup, "TLS could not be set up: " + reasonText(ERR_get_error()));
        return nullptr;
    }
    SSL_CTX_set_default_verify_paths(ctx);
    if (!trustFile.empty() && SSL_CTX_load_verify_locations(ctx, trustFile.c_str(), nullptr) != 1) {
        SSL_CTX_free(ctx);
        ERR_clear_error();
        err = makeError(TlsErrc::Setup, "TLS could not be set up: the trust file " + trustFile + " could not be read.");
        return nullptr;
    }
    // Verification runs in full but never ends the handshake: the caller
    // decides about an untrusted certificate (ask the user, compare a stored
    // fingerprint) before it sends anything.
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, verifyCallback);
    // Sessions go to the connection that received them (for its data
    // connections), never into a cache shared by every server.
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(ctx, newSessionCallback);
    SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_read_ahead(ctx, 1);
    SSL_CTX_set_default_read_buffer_len(ctx, 64 * 1024);
    contexts->emplace(trustFile, ctx);
    return ctx;
}

} // namespace

struct TlsClient::Impl {
    SSL* ssl = nullptr;
    SocketLink link;
    TlsError err;
    bool handshakeDone = false;
    bool cleanClose = false;
    CallbackFacts facts;
    std::string collected;  // writeBuffered's bytes not sent yet

    ~Impl() {
        if (facts.latest) SSL_SESSION_free(facts.latest);
    }

    TlsStep fail(TlsError e) {
        err = std::move(e);
        return TlsStep::Failed;
    }

    // Maps the outcome of a failed SSL call.
    TlsStep classify(int ret) {
        const int code = SSL_get_error(ssl, ret);
        switch (code) {
        case SSL_ERROR_WANT_READ: return TlsStep::WantRead;
        case SSL_ERROR_WANT_WRITE: return TlsStep::WantWrite;
        case SSL_ERROR_ZERO_RETURN:
            cleanClose = true;
            ERR_clear_error();
            return TlsStep::Closed;
        default: break;
        }
        const unsigned long e = ERR_get_error();
        ERR_clear_error();
        if (link.err != 0) return fail(socketError(link.err));
        const bool eof = link.eof || (e != 0 && ERR_GET_REASON(e) == SSL_R_UNEXPECTED_EOF_WHILE_READING);
        if (eof) {
            if (!handshakeDone) return fail(makeError(TlsErrc::Closed, kClosedInHandshake));
            return TlsStep::Closed;
        }
        if (!handshakeDone) return fail(makeError(TlsErrc::Handshake, "TLS handshake failed: " + reasonText(e) + "."));
        return fail(makeError(TlsErrc::Protocol, "TLS error: " + reasonText(e) + "."));
    }

    bool usable() {
        if (ssl) return true;
        err = makeError(TlsErrc::State, "The TLS connection is not established.");
        return false;
    }

    void release() {
        if (!ssl) return;
        // A quiet shutdown marks the session as properly ended, so it stays
        // resumable; nothing goes out on the wire.
        SSL_set_quiet_shutdown(ssl, 1);
        SSL_shutdown(ssl);
        SSL_free(ssl);
        ssl = nullptr;
        collected.clear();
        ERR_clear_error();
    }

    // Waits for the socket as step asks, in slices with the pump between.
    TlsError waitFor(TlsStep step, const TlsWait& wait) {
        const int slice = std::max(1, wait.SliceMs);
        const bool limited = wait.TimeoutMs > 0;
        const std::uint64_t deadline = tickCount64() + static_cast<std::uint64_t>(limited ? wait.TimeoutMs : 0);
        while (true) {
            int ms = slice;
            if (limited) {
                const std::uint64_t now = tickCount64();
                const std::uint64_t left = now >= deadline ? 0 : deadline - now;
                if (left < static_cast<std::uint64_t>(ms)) ms = static_cast<int>(left);
            }
            int e = 0;
            const int r = step == TlsStep::WantWrite ? waitWritable(link.s, ms, e) : waitReadable(link.s, ms, e);
            if (r < 0) return socketError(e);
            if (wait.Pump) wait.Pump(r == 0);
            // The pump may have closed the connection: through Cancelled, or
            // by abandoning this very client.
            if ((wait.Cancelled && wait.Cancelled()) || !ssl) return makeError(TlsErrc::Cancelled, "Disconnected.");
            if (r > 0) return {};
            if (limited && tickCount64() >= deadline)
                return makeError(TlsErrc::TimedOut, "The TLS connection timed out.");
        }
    }
};

bool tlsAvailable() { return true; }

TlsClient::TlsClient() : d_(std::make_unique<Impl>()) {}

TlsClient::~TlsClient() { d_->release(); }

TlsError TlsClient::start(SocketHandle s, const TlsClientOptions& options) {
    if (d_->ssl) return d_->err = makeError(TlsErrc::State, "TLS is already started on this connection.");
    d_->err = {};
    TlsError err;
    SSL_CTX* ctx = contextFor(options.ExtraTrustFile, err);
    if (!ctx) return d_->err = err;
    ERR_clear_error();
    SSL* ssl = SSL_new(ctx);
    BIO* bio = ssl ? BIO_new(socketMethod()) : nullptr;
    if (!ssl || !bio) {
        if (ssl) SSL_free(ssl);
        return d_->err = makeError(TlsErrc::Setup, "TLS could not be set up: " + reasonText(ERR_get_error()));
    }
    d_->link = SocketLink{s, 0, false};
    BIO_set_data(bio, &d_->link);
    SSL_set_bio(ssl, bio, bio);
    SSL_set_ex_data(ssl, exIndex(), &d_->facts);
    SSL_set_connect_state(ssl);
    d_->ssl = ssl;
    d_->handshakeDone = d_->cleanClose = false;
    if (d_->facts.latest) SSL_SESSION_free(d_->facts.latest);
    d_->facts = CallbackFacts{};

    bool ok = true;
    if (options.MaxVersion > 0) ok = SSL_set_max_proto_version(ssl, options.MaxVersion) == 1;
    const std::string& host = options.HostName;
    if (ok && !host.empty()) {
        if (isIpLiteral(host)) {
            ok = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str()) == 1;
        } else {
            ok = SSL_set_tlsext_host_name(ssl, host.c_str()) == 1 && SSL_set1_host(ssl, host.c_str()) == 1;
        }
    }
    if (ok && options.Resume.valid()) {
        // A copy: should this connection fail, OpenSSL marks its session
        // unusable, and the control connection's must stay good.
        SSL_SESSION* copy = SSL_SESSION_dup(static_cast<SSL_SESSION*>(options.Resume.p_.get()));
        ok = copy && SSL_set_session(ssl, copy) == 1;
        if (copy) SSL_SESSION_free(copy);
    }
    if (!ok) {
        d_->err = makeError(TlsErrc::Setup, "TLS could not be set up: " + reasonText(ERR_get_error()));
        d_->release();
        return d_->err;
    }
    return {};
}

TlsStep TlsClient::handshakeStep() {
    if (!d_->usable()) return TlsStep::Failed;
    if (d_->handshakeDone) return TlsStep::Done;
    ERR_clear_error();
    const int r = SSL_do_handshake(d_->ssl);
    if (r == 1) {
        d_->handshakeDone = true;
        return TlsStep::Done;
    }
    TlsStep st = d_->classify(r);
    if (st == TlsStep::Closed) {
        // An alert-free close during the handshake is a failure all the same.
        return d_->fail(makeError(TlsErrc::Closed, kClosedInHandshake));
    }
    return st;
}

TlsStep TlsClient::readStep(void* data, std::size_t len, std::size_t& got) {
    got = 0;
    if (!d_->usable()) return TlsStep::Failed;
    if (!d_->handshakeDone) return d_->fail(makeError(TlsErrc::State, "The TLS handshake has not been done."));
    ERR_clear_error();
    if (SSL_read_ex(d_->ssl, data, len, &got) == 1) return TlsStep::Done;
    got = 0;
    return d_->classify(0);
}

TlsStep TlsClient::writeStep(const void* data, std::size_t len, std::size_t& put) {
    put = 0;
    if (!d_->usable()) return TlsStep::Failed;
    if (!d_->handshakeDone) return d_->fail(makeError(TlsErrc::State, "The TLS handshake has not been done."));
    if (len == 0) return TlsStep::Done;
    ERR_clear_error();
    if (SSL_write_ex(d_->ssl, data, len, &put) == 1) return TlsStep::Done;
    put = 0;
    TlsStep st = d_->classify(0);
    // Writing after the peer's close_notify or TCP close is a failure.
    if (st == TlsStep::Closed) return d_->fail(makeError(TlsErrc::Closed, "The server closed the TLS connection."));
    return st;
}

TlsStep TlsClient::shutdownStep() {
    if (!d_->usable()) return TlsStep::Failed;
    if (!d_->handshakeDone) {
        d_->release();
        return TlsStep::Done;
    }
    ERR_clear_error();
    const int r = SSL_shutdown(d_->ssl);
    if (r == 1) d_->cleanClose = true;
    if (r >= 0) return TlsStep::Done;
    TlsStep st = d_->classify(r);
    // A peer that has ended the stream already may be gone: our close_notify
    // cannot reach it, and nothing is lost.
    if (st == TlsStep::Closed || (st == TlsStep::Failed && (d_->cleanClose || d_->link.eof))) {
        d_->err = {};
        return TlsStep::Done;
    }
    return st;
}

const TlsError& TlsClient::lastError() const { return d_->err; }

TlsError TlsClient::handshake(const TlsWait& wait) {
    while (true) {
        const TlsStep st = handshakeStep();
        if (st == TlsStep::Done) return {};
        if (st == TlsStep::Failed) return d_->err;
        TlsError e = d_->waitFor(st, wait);
        if (!e.ok()) return d_->err = e;
    }
}

long TlsClient::read(void* data, std::size_t len, const TlsWait& wait, TlsError& err) {
    err = {};
    while (true) {
        std::size_t got = 0;
        const TlsStep st = readStep(data, len, got);
        if (st == TlsStep::Done) return static_cast<long>(got);
        if (st == TlsStep::Closed) return 0;
        if (st == TlsStep::Failed) {
            err = d_->err;
            return -1;
        }
        TlsError e = d_->waitFor(st, wait);
        if (!e.ok()) {
            err = d_->err = e;
            return -1;
        }
    }
}

TlsError TlsClient::writeAll(const void* data, std::size_t len, const TlsWait& wait) {
    const char* p = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < len) {
        std::size_t put = 0;
        const TlsStep st = writeStep(p + done, len - done, put);
        if (st == TlsStep::Done) {
            done += put;
            continue;
        }
        if (st == TlsStep::Failed) return d_->err;
        TlsError e = d_->waitFor(st, wait);
        if (!e.ok()) return d_->err = e;
    }
    return {};
}

TlsError TlsClient::writeBuffered(const void* data, std::size_t len, const TlsWait& wait) {
    if (!d_->usable()) return d_->err;
    const char* p = static_cast<const char*>(data);
    std::string& out = d_->collected;
    if (!out.empty()) {
        const std::size_t take = std::min(len, kRecordBytes - out.size());
        out.append(p, take);
        p += take;
        len -= take;
        if (out.size() < kRecordBytes) return {};
        TlsError e = writeAll(out.data(), out.size(), wait);
        out.clear();
        if (!e.ok()) return e;
    }
    // Whole records go out at once; the rest waits for more.
    const std::size_t whole = len - len % kRecordBytes;
    if (whole > 0) {
        TlsError e = writeAll(p, whole, wait);
        if (!e.ok()) return e;
    }
    out.assign(p + whole, len - whole);
    return {};
}

TlsError TlsClient::flush(const TlsWait& wait) {
    if (d_->collected.empty()) return {};
    TlsError e = writeAll(d_->collected.data(), d_->collected.size(), wait);
    d_->collected.clear();
    return e;
}

TlsError TlsClient::close(const TlsWait& wait, bool waitForPeer) {
    if (d_->ssl && d_->handshakeDone) {
        TlsError e = flush(wait);
        if (!e.ok()) return e;
    }
    while (true) {
        const TlsStep st = shutdownStep();
        if (st == TlsStep::Done) break;
        if (st == TlsStep::Failed) return d_->err;
        TlsError e = d_->waitFor(st, wait);
        if (!e.ok()) return d_->err = e;
    }
    if (!waitForPeer || !d_->ssl || d_->cleanClose) return {};
    // Whatever still arrives before the peer's close_notify is dropped.
    char sink[4096];
    while (true) {
        TlsError e;
        const long n = read(sink, sizeof sink, wait, e);
        if (n == 0) return {};
        if (n < 0) return e;
    }
}

void TlsClient::abandon() { d_->release(); }

bool TlsClient::pending() const { return d_->ssl && SSL_has_pending(d_->ssl) == 1; }

bool TlsClient::handshakeDone() const { return d_->ssl && d_->handshakeDone; }

bool TlsClient::peerClosedCleanly() const { return d_->cleanClose; }

bool TlsClient::sessionReused() const { return d_->ssl && d_->handshakeDone && SSL_session_reused(d_->ssl) == 1; }

std::string TlsClient::protocolName() const { return d_->ssl ? SSL_get_version(d_->ssl) : ""; }

std::string TlsClient::cipherName() const {
    const char* c = d_->ssl ? SSL_get_cipher_name(d_->ssl) : nullptr;
    return c ? c : "";
}

TlsCertificateInfo TlsClient::peerCertificate() const {
    TlsCertificateInfo info;
    if (!d_->ssl) return info;
    X509* cert = SSL_get1_peer_certificate(d_->ssl);
    if (!cert) {
        info.VerifyError = "The server sent no certificate.";
        return info;
    }
    info.Present = true;
    info.Subject = nameText(X509_get_subject_name(cert));
    info.Issuer = nameText(X509_get_issuer_name(cert));
    timeFacts(X509_get0_notBefore(cert), info.NotBefore, info.NotBeforeText);
    timeFacts(X509_get0_notAfter(cert), info.NotAfter, info.NotAfterText);
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    if (X509_digest(cert, EVP_sha256(), md, &n) == 1) {
        static const char hex[] = "0123456789ABCDEF";
        for (unsigned int i = 0; i < n; ++i) {
            if (i) info.Sha256Fingerprint += ':';
            info.Sha256Fingerprint += hex[md[i] >> 4];
            info.Sha256Fingerprint += hex[md[i] & 15];
        }
    }
    X509_free(cert);
    long code = d_->facts.verifyFailed ? d_->facts.verifyCode : SSL_get_verify_result(d_->ssl);
    info.Problem = problemFor(code);
    info.Trusted = info.Problem == TlsVerifyProblem::None && d_->handshakeDone;
    if (!info.Trusted) info.VerifyError = X509_verify_cert_error_string(code);
    return info;
}

TlsSession TlsClient::session() const {
    TlsSession out;
    SSL_SESSION* s = d_->facts.latest;
    if (s) {
        SSL_SESSION_up_ref(s);
    } else if (d_->ssl) {
        s = SSL_get1_session(d_->ssl);
        if (s && SSL_SESSION_is_resumable(s) != 1) {
            SSL_SESSION_free(s);
            s = nullptr;
        }
    }
    if (s) out.p_ = std::shared_ptr<void>(s, [](void* p) { SSL_SESSION_free(static_cast<SSL_SESSION*>(p)); });
    return out;
}

} // namespace net
