// The TLS interface of a build without a TLS library: every call fails the
// same clear way, so the FTP client reports it instead of sending plain text.
#include "platform/net/tls.h"

namespace net {

namespace {
TlsError notAvailable() {
    TlsError e;
    e.Code = TlsErrc::NotAvailable;
    e.Message = "TLS is not available in this build.";
    return e;
}
} // namespace

struct TlsClient::Impl {
    TlsError err = notAvailable();
};

bool tlsAvailable() { return false; }

TlsClient::TlsClient() : d_(std::make_unique<Impl>()) {}
TlsClient::~TlsClient() = default;

TlsError TlsClient::start(SocketHandle, const TlsClientOptions&) { return notAvailable(); }
TlsStep TlsClient::handshakeStep() { return TlsStep::Failed; }
TlsStep TlsClient::readStep(void*, std::size_t, std::size_t& got) {
    got = 0;
    return TlsStep::Failed;
}
TlsStep TlsClient::writeStep(const void*, std::size_t, std::size_t& put) {
    put = 0;
    return TlsStep::Failed;
}
TlsStep TlsClient::shutdownStep() { return TlsStep::Failed; }
const TlsError& TlsClient::lastError() const { return d_->err; }

TlsError TlsClient::handshake(const TlsWait&) { return notAvailable(); }
long TlsClient::read(void*, std::size_t, const TlsWait&, TlsError& err) {
    err = notAvailable();
    return -1;
}
TlsError TlsClient::writeAll(const void*, std::size_t, const TlsWait&) { return notAvailable(); }
TlsError TlsClient::writeBuffered(const void*, std::size_t, const TlsWait&) { return notAvailable(); }
TlsError TlsClient::flush(const TlsWait&) { return notAvailable(); }
TlsError TlsClient::close(const TlsWait&, bool) { return notAvailable(); }
void TlsClient::abandon() {}

bool TlsClient::pending() const { return false; }
bool TlsClient::handshakeDone() const { return false; }
bool TlsClient::peerClosedCleanly() const { return false; }
bool TlsClient::sessionReused() const { return false; }
std::string TlsClient::protocolName() const { return {}; }
std::string TlsClient::cipherName() const { return {}; }
TlsCertificateInfo TlsClient::peerCertificate() const { return {}; }
TlsSession TlsClient::session() const { return {}; }

} // namespace net
