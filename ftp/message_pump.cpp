#include "ftp/message_pump.h"

#include <atomic>

namespace {
std::atomic<TIdAntiFreeze*> gCurrent{nullptr};
}

TIdAntiFreeze::TIdAntiFreeze() : uiThread_(std::this_thread::get_id()) { gCurrent.store(this); }

TIdAntiFreeze::~TIdAntiFreeze() { gCurrent.store(nullptr); }

TIdAntiFreeze* TIdAntiFreeze::Current() { return gCurrent.load(); }

TIdAntiFreeze* TIdAntiFreeze::ActiveHere() {
    TIdAntiFreeze* p = gCurrent.load();
    if (!p || !p->Active || p->uiThread_ != std::this_thread::get_id()) return nullptr;
    return p;
}

void TIdAntiFreeze::DoProcess(bool idle) {
    TIdAntiFreeze* p = ActiveHere();
    if (!p) return;
    if (idle || !p->OnlyWhenIdle) p->ProcessMessages(p->ApplicationHasPriority);
}

int TIdAntiFreeze::IdleSlice() {
    TIdAntiFreeze* p = ActiveHere();
    if (!p) return -1;
    return p->IdleTimeOut < 1 ? 1 : p->IdleTimeOut;
}
