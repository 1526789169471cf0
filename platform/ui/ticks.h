#pragma once
// Millisecond tick count: milliseconds since an arbitrary fixed point (the
// system's start on most platforms), wrapping at 2^32 like the Windows one.
// Take differences with unsigned arithmetic so a wrap in between is harmless.
#include <cstdint>

namespace ui {

std::uint32_t tickCount();

}  // namespace ui
