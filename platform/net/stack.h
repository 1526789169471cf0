#pragma once
// Process-wide start and stop of the sockets library. Every network object
// holds one StackUser; the first starts the library, the last stops it. The
// count is guarded by one lock so objects may be made on any thread.
#include "platform/exceptions.h"

class EIdStackInitializationFailed : public EIdException {
public:
    EIdStackInitializationFailed() : EIdException("Winsock Initialization Error.") {}
};

namespace net {

class StackUser {
public:
    StackUser();   // throws EIdStackInitializationFailed on failure
    ~StackUser();
    StackUser(const StackUser&);
    StackUser& operator=(const StackUser&) { return *this; }
    static int count();
};

} // namespace net
