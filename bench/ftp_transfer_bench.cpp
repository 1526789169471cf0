// Loopback throughput of the FTP client against vsftpd, beside curl and lftp
// doing the same transfers. Run by hand (as root: vsftpd needs a system
// account, created when missing):
//   build/bench/bench_ftp_transfer_bench [size in MiB, default 1024] [rounds, default 3] [tls]
// With "tls" every run uses explicit FTP over TLS with protected data
// connections (vsftpd requiring session reuse; curl --ssl-reqd, lftp with
// ftp:ssl-force). Prints MB/s per run, the ratio to the faster of curl and
// lftp, and the time spent in message pump calls.
#include "bench/bench_util.h"
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "ftp/ftp_client.h"
#include "tests/support/core/real_servers.h"
#include "tests/support/core/tls_servers.h"

namespace {

using bench::Clock;
using bench::makeFile;
using bench::runTimed;
using bench::seconds;

// A pump that does no work of its own, so what it measures is the cost of
// being called from the copy loops.
class TimingPump : public TIdAntiFreeze {
public:
    TimingPump() {
        IdleTimeOut = 50;
        OnlyWhenIdle = false;
    }
    void ProcessMessages(bool) override {
        auto t0 = Clock::now();
        ++calls;
        spent += Clock::now() - t0;
    }
    long calls = 0;
    Clock::duration spent{};
};



struct Result {
    std::string name;
    double mbps = 0;
    long pumpCalls = 0;
    double pumpSeconds = 0;
};

double mbps(std::uint64_t bytes, double s) { return s > 0 ? bytes / 1e6 / s : 0; }

} // namespace

int main(int argc, char** argv) {
    const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
    const std::uint64_t size = mib << 20;
    // On a machine shared with other work only the best of several rounds says
    // something about the code.
    const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;

    const bool tls = argc > 3 && std::string(argv[3]) == "tls";
#if OSTRAFEN_TLS
    testing_support::VsftpdTlsServer tlsServer;
#endif
    testing_support::VsftpdServer plainServer;
    std::string why;
    bool started = false;
    int port = 0;
    testing_support::FtpAccount acc;
    if (tls) {
#if OSTRAFEN_TLS
        started = tlsServer.Start(&why);
        port = tlsServer.Port();
        acc = tlsServer.Account();
#else
        why = "TLS is not available in this build.";
#endif
    } else {
        started = plainServer.Start(&why);
        port = plainServer.Port();
        acc = plainServer.Account();
    }
    if (!started) {
        std::fprintf(stderr, "cannot start vsftpd: %s\n", why.c_str());
        return 1;
    }
    const std::string remoteSrc = acc.Home + "/src.bin";
    const std::string local = "/tmp/ostrafen-bench-local.bin";
    const std::string upSrc = "/tmp/ostrafen-bench-up.bin";
    std::printf("creating %llu MiB test files in /tmp ...\n", static_cast<unsigned long long>(mib));
    if (!makeFile(remoteSrc, size) || !makeFile(upSrc, size)) {
        std::fprintf(stderr, "cannot create the test files\n");
        return 1;
    }
    if (chmod(remoteSrc.c_str(), 0644) != 0) return 1;

    // One run per method and round; rounds interleave the methods so that
    // none is favoured by the state of the page cache, and every run starts
    // after the dirty pages of the one before are written out.
    struct Method {
        std::string name;
        std::function<Result()> run;
    };
    auto ours = [&](const std::string& name, bool download, int recvb, int sendb) {
        return Method{name, [&, name, download, recvb, sendb] {
                          Result res{name};
                          TimingPump pump;
                          TIdFTP ftp;
                          ftp.Host = "127.0.0.1";
                          ftp.Port = port;
                          if (tls) {
                              ftp.Encryption = ftpsExplicitRequired;
                              ftp.OnVerifyCertificate = [](void*, const net::TlsCertificateInfo&) {
                                  return tlsTrustOnce;
                              };
                          }
                          ftp.Username = acc.User;
                          ftp.Password = acc.Password;
                          ftp.Passive = true;
                          ftp.ReadTimeout = 60000;
                          ftp.RecvBufferSize = recvb;
                          ftp.SendBufferSize = sendb;
                          std::int64_t count = 0;
                          ftp.OnWork = [&](void*, TWorkMode, std::int64_t n) { count = n; };
                          try {
                              ftp.OpenConnection(true, 10000);
                              pump.calls = 0;
                              pump.spent = {};
                              auto t0 = Clock::now();
                              if (download) ftp.DownloadToFile("src.bin", local, true, false);
                              else ftp.UploadFromFile(upSrc, "up-ours.bin", false);
                              double s = seconds(Clock::now() - t0);
                              ftp.CloseConnection();
                              if (static_cast<std::uint64_t>(count) != size) {
                                  std::fprintf(stderr, "%s: moved %lld of %llu bytes\n", name.c_str(),
                                               static_cast<long long>(count), static_cast<unsigned long long>(size));
                                  return res;
                              }
                              res.mbps = mbps(size, s);
                              res.pumpCalls = pump.calls;
                              res.pumpSeconds = seconds(pump.spent);
                          } catch (const std::exception& e) {
                              std::fprintf(stderr, "%s: %s\n", name.c_str(), e.what());
                          }
                          return res;
                      }};
    };
    auto peer = [&](const std::string& name, const std::string& cmd) {
        return Method{name, [name, cmd, size] {
                          Result res{name};
                          double s = runTimed(cmd);
                          if (s > 0) res.mbps = mbps(size, s);
                          return res;
                      }};
    };

    const std::string url = "ftp://" + acc.User + ":" + acc.Password + "@127.0.0.1:" + std::to_string(port);
    // The test server's certificate is self-signed: the peers skip its check.
    const std::string curl = tls ? "curl --ssl-reqd -k " : "curl ";
    const std::string lftpBase = "lftp -u " + acc.User + "," + acc.Password + " -p " + std::to_string(port) +
                                 " -e \"set ftp:passive-mode on; set net:max-retries 1; " +
                                 (tls ? "set ftp:ssl-force true; set ftp:ssl-protect-data true; "
                                        "set ssl:verify-certificate no; "
                                      : "");
    std::vector<Method> methods = {
        ours("ours download 256 KiB buffers", true, 256 * 1024, 256 * 1024),
        ours("ours download 2048/1024 buffers", true, 2048, 1024),
        peer("curl download", curl + "-s -S --ftp-pasv -o " + local + " " + url + "/src.bin"),
        peer("lftp download", lftpBase + "get -e src.bin -o " + local + "; quit\" 127.0.0.1 >/dev/null"),
        ours("ours upload 256 KiB buffers", false, 256 * 1024, 256 * 1024),
        ours("ours upload 2048/1024 buffers", false, 2048, 1024),
        peer("curl upload", curl + "-s -S --ftp-pasv -T " + upSrc + " " + url + "/up-curl.bin"),
        peer("lftp upload", lftpBase + "put " + upSrc + " -o up-lftp.bin; quit\" 127.0.0.1 >/dev/null"),
    };
    std::vector<Result> results(methods.size());
    for (int r = 0; r < reps; ++r) {
        for (std::size_t i = 0; i < methods.size(); ++i) {
            ::sync();
            Result res = methods[i].run();
            if (res.mbps > results[i].mbps || results[i].name.empty()) results[i] = res;
        }
    }
    const double dl256 = results[0].mbps, dl2k = results[1].mbps, dlCurl = results[2].mbps, dlLftp = results[3].mbps;
    const double ul256 = results[4].mbps, ul1k = results[5].mbps, ulCurl = results[6].mbps, ulLftp = results[7].mbps;

    std::filesystem::remove(local);
    std::filesystem::remove(upSrc);
    std::filesystem::remove(remoteSrc);
    for (const char* f : {"/up-ours.bin", "/up-curl.bin", "/up-lftp.bin"}) std::filesystem::remove(acc.Home + f);

    std::printf("\n%llu MiB over loopback vsftpd%s, passive mode, best of %d\n", static_cast<unsigned long long>(mib),
                tls ? " with explicit TLS" : "", reps);
    std::printf("%-34s %10s %12s %12s\n", "run", "MB/s", "pump calls", "pump ms");
    for (const auto& r : results)
        std::printf("%-34s %10.1f %12ld %12.2f\n", r.name.c_str(), r.mbps, r.pumpCalls, r.pumpSeconds * 1000);
    const double dlPeer = std::max(dlCurl, dlLftp), ulPeer = std::max(ulCurl, ulLftp);
    auto ratio = [](double a, double b) { return b > 0 ? a / b : 0; };
    std::printf("\nratio to the faster peer: download 256K %.2f, 2048 %.2f; upload 256K %.2f, 1024 %.2f\n",
                ratio(dl256, dlPeer), ratio(dl2k, dlPeer), ratio(ul256, ulPeer), ratio(ul1k, ulPeer));
    return 0;
}
