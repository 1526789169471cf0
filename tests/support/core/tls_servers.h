#pragma once
// Real FTP over TLS servers for end-to-end tests, in the manner of
// real_servers.h: each on free 127.0.0.1 ports with a time limit, stopped with
// the fixture, Start() false with a reason so a test can skip. All serve the
// self-signed certificate of TestCertificates() (tls_test_peer.h).
#if OSTRAFEN_TLS
#include <string>

#include "tests/support/core/real_servers.h"

namespace testing_support {

// vsftpd with TLS required for login and data, and data connections required
// to resume the control connection's session (require_ssl_reuse). implicitTls:
// TLS from the first byte instead of "AUTH TLS".
class VsftpdTlsServer : public RealServer {
public:
    ~VsftpdTlsServer() override { process_.Stop(); }
    bool Start(std::string* why, bool implicitTls = false);
    const FtpAccount& Account() const { return account_; }

private:
    FtpAccount account_;
    TempDir home_;
};

// pure-ftpd refusing sessions and data connections without TLS (-Y 3).
class PureFtpdTlsServer : public RealServer {
public:
    ~PureFtpdTlsServer() override { process_.Stop(); }
    bool Start(std::string* why);
    const FtpAccount& Account() const { return account_; }

private:
    FtpAccount account_;
    TempDir home_;
};

// pyftpdlib's TLS handler (tests/tools/pyftpd_tls_server.py), TLS required on
// control and data connections.
class PyftpdlibTlsServer : public RealServer {
public:
    ~PyftpdlibTlsServer() override { process_.Stop(); }
    bool Start(std::string* why);
    const FtpAccount& Account() const { return account_; }

private:
    FtpAccount account_;
    TempDir home_;
};

}  // namespace testing_support
#endif
