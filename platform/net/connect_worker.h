#pragma once
// A short-lived thread that runs one blocking connect so that the caller can
// time it out while it keeps its own loop going.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <cstdint>
#include <string>
#include <thread>

#include "platform/net/socket.h"

namespace net {

class ConnectWorker {
public:
    ConnectWorker(SocketHandle s, std::string ip, std::uint16_t port);
    ~ConnectWorker(); // waits for the thread
    ConnectWorker(const ConnectWorker&) = delete;
    ConnectWorker& operator=(const ConnectWorker&) = delete;

    bool finished() const { return finished_.load(std::memory_order_acquire); }
    // Waits up to ms for the connect to finish; true when it has.
    bool waitFor(int ms);
    // Interrupts the connect and waits. POSIX shuts the socket down (it stays
    // allocated); Winsock can only be interrupted by releasing the socket,
    // which released() then reports, so the caller must not close it again.
    void cancel();
    bool released() const { return released_; }
    void join();
    // 0 or the Windows Sockets error of the connect; valid once finished.
    int error() const { return error_; }

private:
    SocketHandle socket_;
    std::string ip_;
    std::uint16_t port_;
    std::atomic<bool> finished_{false};
    bool released_ = false;
    int error_ = 0;
    std::mutex mutex_;
    std::condition_variable done_;
    std::thread thread_;
};

} // namespace net
