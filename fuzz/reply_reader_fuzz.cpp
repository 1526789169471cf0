// Feeds arbitrary bytes as a server's control-connection stream to the
// client's reply reader, through a socket pair, until it gives up.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "ftp/tcp_connection.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 60000) return 0;  // stays below the socket buffer: the write never blocks
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, sv) != 0) return 0;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(sv[1], data + done, size - done);
        if (n <= 0) break;
        done += std::size_t(n);
    }
    ::close(sv[1]);

    TIdTCPConnection c;
    c.ReadTimeout = 1000;
    c.MaxLineLength = 512 + (size % 1024);
    c.MaxLineAction = (size & 1) ? maSplit : maException;
    c.IOHandler()->Adopt(sv[0]);
    for (int i = 0; i < 200; ++i) {
        try {
            const int code = c.GetResponse(i % 2 ? std::vector<int>{} : std::vector<int>{200, 226});
            const TIdRFCReply& r = c.LastCmdResult();
            if (code != r.NumericCode) __builtin_trap();
            (void)r.JoinedText();
        } catch (const EIdException&) {
            if (!c.IOHandler()->Connected()) break;
        }
    }
    c.CloseConnection();
    return 0;
}
