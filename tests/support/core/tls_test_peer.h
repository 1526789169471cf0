#pragma once
// TLS fixtures of our own: certificates made at test time, and a small TLS
// server in this process whose every connection can be inspected afterwards
// (was the session resumed, did the client end with close_notify). Only in
// builds with TLS.
#if OSTRAFEN_TLS
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/core/real_servers.h"

namespace testing_support {

// PEM files in a private folder, made once per test program (EC P-256 keys).
struct TlsTestCertificates {
    std::string CaCert;          // the test authority: trust it to make the others trusted
    std::string ServerCert;      // by the authority, for localhost and 127.0.0.1
    std::string ServerKey;
    std::string OtherHostCert;   // by the authority, for other.invalid only
    std::string OtherHostKey;
    std::string ExpiredCert;     // by the authority, for localhost and 127.0.0.1, ended yesterday
    std::string ExpiredKey;
    std::string SelfSignedCert;  // signed by itself, for localhost and 127.0.0.1
    std::string SelfSignedKey;
    std::string SelfSignedBoth;  // SelfSignedCert and SelfSignedKey in one file
};
// Nullptr with why set when they cannot be made.
const TlsTestCertificates* TestCertificates(std::string* why);

// A TLS server on 127.0.0.1, one thread per connection.
class TlsTestServer {
public:
    enum class Mode {
        Echo,      // sends back what it reads until the client's close_notify
        Source,    // sends SourceBytes, then close_notify
        Sink,      // reads until the client's close_notify, counting bytes
        DropHello, // reads the client's first bytes and closes the TCP connection
        Silent,    // accepts and never answers
    };
    struct Options {
        std::string CertFile;
        std::string KeyFile;
        Mode Behaviour = Mode::Echo;
        std::uint64_t SourceBytes = 0;
        int MaxVersion = 0;  // 0: the highest; 0x0303 for TLS 1.2 only
        bool SendCloseNotify = true;  // false: Source ends with a bare TCP close
    };
    // What the server saw of one connection, once it ended.
    struct Served {
        bool Handshaken = false;
        bool Resumed = false;
        bool GotCloseNotify = false;
        std::string Protocol;
        std::string ServerName;  // the SNI the client sent
        std::uint64_t BytesIn = 0;
    };

    explicit TlsTestServer(Options options);
    ~TlsTestServer();
    TlsTestServer(const TlsTestServer&) = delete;
    TlsTestServer& operator=(const TlsTestServer&) = delete;

    // 0 when the server could not start (Why() says why).
    int Port() const { return port_; }
    const std::string& Why() const { return why_; }
    // Waits until count connections have ended; their facts in accept order.
    bool WaitServed(std::size_t count, int timeoutMs);
    std::vector<Served> ServedConnections();

private:
    void Accept();
    void Serve(int fd, std::size_t slot);
    Options options_;
    void* ctx_ = nullptr;  // SSL_CTX
    int listenFd_ = -1;
    int port_ = 0;
    std::string why_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Served> served_;
    std::vector<bool> ended_;
    std::vector<int> openFds_;
    std::vector<std::thread> workers_;
    std::thread acceptor_;
};

// A connected TCP socket to 127.0.0.1:port (blocking), or -1.
int ConnectLoopback(int port);

}  // namespace testing_support
#endif
