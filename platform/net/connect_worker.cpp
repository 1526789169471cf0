#include "platform/net/connect_worker.h"

#include "platform/net/socket_errors.h"

namespace net {

ConnectWorker::ConnectWorker(SocketHandle s, std::string ip, std::uint16_t port)
    : socket_(s), ip_(std::move(ip)), port_(port) {
    thread_ = std::thread([this] {
        int e = connectSocket(socket_, ip_, port_);
        std::lock_guard<std::mutex> g(mutex_);
        error_ = e;
        finished_.store(true, std::memory_order_release);
        done_.notify_all();
    });
}

ConnectWorker::~ConnectWorker() { join(); }

bool ConnectWorker::waitFor(int ms) {
    std::unique_lock<std::mutex> l(mutex_);
    return done_.wait_for(l, std::chrono::milliseconds(ms < 0 ? 0 : ms), [this] { return finished(); });
}

void ConnectWorker::cancel() {
#ifdef _WIN32
    if (!finished()) {
        closeSocket(socket_);
        released_ = true;
    }
#else
    shutdownBoth(socket_);
#endif
    join();
}

void ConnectWorker::join() {
    if (thread_.joinable()) thread_.join();
}

} // namespace net
