#pragma once
// Shared pieces of the FTP client tests: a client wired to a scripted server,
// the login script every test starts with, status and file helpers.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "ftp/ftp_client.h"
#include "tests/support/core/counting_pump.h"
#include "tests/support/core/scripted_ftp_server.h"

namespace ftptest {

using testing_support::CountingPump;

struct StatusLog {
    std::vector<std::pair<TIdStatus, std::string>> items;
    void attach(TIdFTP& ftp) {
        ftp.OnStatus = [this](void*, TIdStatus s, const std::string& t) { items.emplace_back(s, t); };
    }
    int count(TIdStatus s) const {
        int n = 0;
        for (const auto& i : items) n += i.first == s;
        return n;
    }
};

inline void configure(TIdFTP& ftp, const testing_support::ScriptedFtpServer& srv) {
    ftp.Host = "127.0.0.1";
    ftp.Port = srv.port();
    ftp.Username = "bob";
    ftp.Password = "pw";
    ftp.ReadTimeout = 5000;
}

// Greeting and a plain login with binary type.
inline testing_support::ScriptedFtpServer& loginScript(testing_support::ScriptedFtpServer& srv) {
    return srv.greet("220 ready")
        .expect("USER bob", "331 password please")
        .expect("PASS pw", "230 logged in")
        .expect("TYPE I", "200 binary")
        .expect("SYST", "215 UNIX Type: L8");
}

inline std::vector<std::string> loginLines() { return {"USER bob", "PASS pw", "TYPE I", "SYST"}; }

inline std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class TempDir {
public:
    TempDir() {
        static int serial = 0;
        const auto base = std::filesystem::temp_directory_path();
        for (int i = 0;; ++i) {
            auto p = base / ("ostrafen-ftp-" + std::to_string(std::random_device{}()) + "-" + std::to_string(++serial));
            if (std::filesystem::create_directory(p) || i > 100) {
                path_ = p.string();
                break;
            }
        }
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

} // namespace ftptest
