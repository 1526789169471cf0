#pragma once
// Internal to platform/net: the per-thread failure a test asked for.
namespace net::detail {

// True (and the injected error in err) when a test asked the next receive
// on this thread to fail; the request is used up.
bool takeInjectedReceiveError(int& err);

} // namespace net::detail
