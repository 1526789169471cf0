#include "platform/net/stack.h"

#include <mutex>
#ifdef _WIN32
#include <winsock2.h>
#endif

namespace net {

namespace {
std::mutex& stackLock() {
    static std::mutex m;
    return m;
}
int gUsers = 0;

#ifdef _WIN32
bool startLibrary() {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}
void stopLibrary() { WSACleanup(); }
#else
// POSIX sockets need no start.
bool startLibrary() { return true; }
void stopLibrary() {}
#endif
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
