#pragma once
#include <cstdint>

namespace net {

// Milliseconds since an arbitrary start, monotonic; wraps like GetTickCount.
std::uint32_t tickCount();
// Same clock without the wrap, for measuring spans.
std::uint64_t tickCount64();

} // namespace net
