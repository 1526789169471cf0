#pragma once
// The message pump that keeps the window alive while a network call blocks.
// The application derives from TIdAntiFreeze and processes its window
// messages in ProcessMessages; tests derive to count or script calls.
#include <thread>

class TIdAntiFreeze {
public:
    // Makes this instance the current pump of the process; the creating
    // thread counts as the user-interface thread.
    TIdAntiFreeze();
    // Destroying any instance leaves the process without a current pump.
    virtual ~TIdAntiFreeze();
    TIdAntiFreeze(const TIdAntiFreeze&) = delete;
    TIdAntiFreeze& operator=(const TIdAntiFreeze&) = delete;

    bool Active = true;
    bool ApplicationHasPriority = true;
    int IdleTimeOut = 250;   // ms; the longest slice of a blocking wait
    bool OnlyWhenIdle = true;

    // Processes waiting window messages: all of them when allWaiting, else at
    // most one.
    virtual void ProcessMessages(bool allWaiting) = 0;

    // The current pump, or nullptr.
    static TIdAntiFreeze* Current();
    // The current pump when it should act on this thread (active, on the
    // user-interface thread), else nullptr.
    static TIdAntiFreeze* ActiveHere();
    // One pump call as a blocking wait makes it: does something only when a
    // pump is active here and idle is set or OnlyWhenIdle is false.
    static void DoProcess(bool idle);
    // IdleTimeOut of the pump active here (at least 1), or -1 without one.
    static int IdleSlice();

private:
    std::thread::id uiThread_;
};
