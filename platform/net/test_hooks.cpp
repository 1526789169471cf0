#include "platform/net/test_hooks.h"

#include "platform/net/socket.h"

namespace net {

namespace {
thread_local int tInjectedReceiveError = 0;
}

void failNextReceiveForTest(int err) { tInjectedReceiveError = err; }

bool detail::takeInjectedReceiveError(int& err) {
    if (tInjectedReceiveError == 0) return false;
    err = tInjectedReceiveError;
    tInjectedReceiveError = 0;
    return true;
}

} // namespace net
