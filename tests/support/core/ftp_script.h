#pragma once
// Steps of a scripted server's side that many tests share: the login, the
// listing, PWD, the first listing of a page, and listing lines and contents.
#include "tests/support/core/scripted_ftp_server.h"

#include <random>
#include <string>

namespace testing_support {

// Greeting and login of user "bob" with password "pw", then the type and SYST.
// (A page's reconnect logs in with the type of its last listing, "TYPE A".)
inline ScriptedFtpServer& scriptLogin(ScriptedFtpServer& s, const char* type = "TYPE I") {
    return s.greet("220 ready")
        .expect("USER bob", "331 password please")
        .expect("PASS pw", "230 logged in")
        .expect(type, "200 type set")
        .expect("SYST", "215 UNIX Type: L8");
}

// One "LIST" over a passive data connection.
inline ScriptedFtpServer& scriptList(ScriptedFtpServer& s, const std::string& lines) {
    return s.expectPasv().expect("LIST", "150 here").sendData(lines).closeData().reply("226 done");
}

inline ScriptedFtpServer& scriptPwd(ScriptedFtpServer& s, const std::string& dir) {
    return s.expect("PWD", "257 \"" + dir + "\" is current");
}

// What a page sends when it connects: login, the two PWDs and the first
// listing of the login folder (`again`: a reconnect, already in ASCII).
inline ScriptedFtpServer& scriptConnectAndList(ScriptedFtpServer& s, const std::string& dir,
                                               const std::string& lines, bool again = false) {
    scriptLogin(s, again ? "TYPE A" : "TYPE I");
    scriptPwd(s, dir);
    scriptPwd(s, dir);
    s.expect("CWD " + dir, "250 ok");
    if (!again) s.expect("TYPE A", "200 ascii");
    scriptPwd(s, dir);
    return scriptList(s, lines);
}

// Unix listing lines.
inline std::string dirLine(const std::string& name) {
    return "drwxr-xr-x   2 u g     4096 Jan 02  2024 " + name + "\r\n";
}
inline std::string fileLine(const std::string& name, long long size, const std::string& date = "Jan 03  2024") {
    return "-rw-r--r--   1 u g " + std::to_string(size) + " " + date + " " + name + "\r\n";
}

// `n` bytes that compress badly and are the same for the same seed.
inline std::string randomBytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string out(n, '\0');
    for (char& c : out) c = static_cast<char>(rng() & 0xFF);
    return out;
}

}  // namespace testing_support
