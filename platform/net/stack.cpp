#include "platform/net/stack.h"

#include <mutex>

namespace net {

namespace {
std::mutex& stackLock() {
    static std::mutex m;
    return m;
}
int gUsers = 0;

// POSIX sockets need no start; Winsock would call WSAStartup(2.2) here.
bool startLibrary() { return true; }
void stopLibrary() {}
} // namespace

StackUser::StackUser() {
    std::lock_guard<std::mutex> g(stackLock());
    if (gUsers == 0 && !startLibrary()) throw EIdStackInitializationFailed();
    ++gUsers;
}

StackUser::StackUser(const StackUser&) : StackUser() {}

StackUser::~StackUser() {
    std::lock_guard<std::mutex> g(stackLock());
    if (--gUsers == 0) stopLibrary();
}

int StackUser::count() {
    std::lock_guard<std::mutex> g(stackLock());
    return gUsers;
}

} // namespace net
