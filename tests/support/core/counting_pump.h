#pragma once
// A message pump for tests: counts its calls and can run a test's own action
// from inside a blocked network call, the way a button press or a timer runs
// inside the real event loop. Installing one makes it the process's pump.
//
//   testing_support::CountingPump pump;                 // every 50 ms
//   pump.onPump = [&] { ftp.AbortTransfer(); };         // once, at the next call
//   pump.until = [&] { return done(); };                // every call until true
//   pump.busyMs = 20;                                   // each call takes 20 ms
#include <chrono>
#include <functional>
#include <thread>

#include "ftp/message_pump.h"

namespace testing_support {

class CountingPump : public TIdAntiFreeze {
public:
    explicit CountingPump(int idleTimeOutMs = 50) {
        IdleTimeOut = idleTimeOutMs;
        OnlyWhenIdle = false;
    }
    int calls = 0;
    // Run once, at the next call.
    std::function<void()> onPump;
    // Run at every call until it returns true.
    std::function<bool()> until;
    // How long each call keeps the caller, like an event loop with work to do.
    int busyMs = 0;

    void ProcessMessages(bool) override {
        ++calls;
        if (until) {
            // Taken out while it runs: the action may pump again itself.
            auto fn = std::move(until);
            until = nullptr;
            if (!fn()) until = std::move(fn);
        }
        if (onPump) {
            auto fn = std::move(onPump);
            onPump = nullptr;
            fn();
        }
        if (busyMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(busyMs));
    }
};

// Polls cond every millisecond, for at most timeoutMs; true once it holds.
inline bool WaitFor(const std::function<bool()>& cond, int timeoutMs = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!cond()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace testing_support
