#include "platform/net/tick.h"

#include <chrono>

namespace net {

std::uint64_t tickCount64() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::uint32_t tickCount() { return static_cast<std::uint32_t>(tickCount64()); }

} // namespace net
