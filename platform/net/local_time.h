#pragma once
// Broken-down local time, thread-safe on both POSIX and Windows.
#include <ctime>

namespace net {

inline std::tm localTime(std::time_t t) {
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &t);
#else
    localtime_r(&t, &tm);
#endif
    return tm;
}

} // namespace net
