// IPv4 address texts, shared by the POSIX and the Winsock socket layers.
#include "platform/net/socket.h"

namespace net {

bool parseIPv4Literal(const std::string& text, std::uint32_t& out) {
    std::uint64_t parts[4];
    int count = 0;
    std::size_t i = 0;
    if (text.empty()) return false;
    while (true) {
        if (count == 4 || i >= text.size() || text[i] < '0' || text[i] > '9') return false;
        std::uint64_t v = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            v = v * 10 + static_cast<unsigned>(text[i] - '0');
            if (v > 0xFFFFFFFFull) return false;
            ++i;
        }
        parts[count++] = v;
        if (i == text.size()) break;
        if (text[i] != '.') return false;
        ++i;
    }
    // The last part fills the bytes the earlier parts leave free.
    const std::uint64_t lastMax[] = {0xFFFFFFFFull, 0xFFFFFFull, 0xFFFFull, 0xFFull};
    for (int k = 0; k < count - 1; ++k)
        if (parts[k] > 0xFF) return false;
    if (parts[count - 1] > lastMax[count - 1]) return false;
    std::uint32_t v = 0;
    for (int k = 0; k < count - 1; ++k) v |= static_cast<std::uint32_t>(parts[k]) << (24 - 8 * k);
    v |= static_cast<std::uint32_t>(parts[count - 1]);
    out = v;
    return true;
}

std::string formatIPv4(std::uint32_t v) {
    return std::to_string(v >> 24) + "." + std::to_string((v >> 16) & 0xFF) + "." +
           std::to_string((v >> 8) & 0xFF) + "." + std::to_string(v & 0xFF);
}

} // namespace net
