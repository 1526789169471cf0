#pragma once
// What the transfer benchmarks share: the clock, test files, and timing a
// peer program run through the shell.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// A file of `bytes` bytes of noise (nothing on the way can compress it).
inline bool makeFile(const std::string& path, std::uint64_t bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::vector<char> chunk(static_cast<std::size_t>(std::min<std::uint64_t>(std::max<std::uint64_t>(bytes, 1), 1 << 20)));
    std::uint64_t x = 88172645463325252ull;
    for (auto& c : chunk) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        c = static_cast<char>(x);
    }
    for (std::uint64_t left = bytes; left > 0;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
        if (std::fwrite(chunk.data(), 1, n, f) != n) {
            std::fclose(f);
            return false;
        }
        left -= n;
    }
    return std::fclose(f) == 0;
}

// Runs a command line through the shell; the time it took, or negative.
inline double runTimed(const std::string& cmd) {
    const auto t0 = Clock::now();
    const int rc = std::system(cmd.c_str());
    const double s = seconds(Clock::now() - t0);
    if (rc != 0) {
        std::fprintf(stderr, "command failed (%d): %s\n", rc, cmd.c_str());
        return -1;
    }
    return s;
}

}  // namespace bench
