#pragma once
// The client's message pump for the Qt program: every blocking network wait
// calls it, and it lets Qt handle waiting events (repaints, timers, clicks).
//
// One pump serves the whole process. Frames take a share of it and the last
// share to go removes it, so closing one frame never leaves the others'
// blocking calls without a pump.
#include "ftp/message_pump.h"

#include <memory>

namespace browser {

class QtMessagePump : public TIdAntiFreeze {
public:
    QtMessagePump();
    void ProcessMessages(bool allWaiting) override;
    int calls = 0;  // how often a blocking wait pumped (diagnostics, tests)
};

// A frame's share of the process pump (idle slice 50 ms, pumping also when busy).
std::shared_ptr<QtMessagePump> acquireMessagePump();

}  // namespace browser
