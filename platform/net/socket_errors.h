#pragma once
#include <string>

namespace net {

// Windows Sockets error numbers used throughout, whatever the platform.
enum : int {
    kErrInterrupted = 10004,
    kErrBadFile = 10009,
    kErrWouldBlock = 10035,
    kErrNotSocket = 10038,
    kErrAddrInUse = 10048,
    kErrConnAborted = 10053,
    kErrConnReset = 10054,
    kErrNotConnected = 10057,
    kErrShutdown = 10058,
    kErrTimedOut = 10060,
    kErrConnRefused = 10061,
    kErrHostNotFound = 11001,
};

// The Windows Sockets number for a POSIX errno value (the value itself when
// there is no counterpart).
int wsaFromErrno(int err);

// The fixed text for a Windows Sockets number; empty for an unlisted one.
std::string socketErrorText(int wsaCode);

} // namespace net
