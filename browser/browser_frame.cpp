#include "browser/browser_frame.h"

Tfb::Tfb(QWidget* parent) : QFrame(parent) {}
Tfb::~Tfb() = default;
void Tfb::StartConnect(bool) {}
void Tfb::LoadOptions() {}
void Tfb::Disconnect() {}
int Tfb::infoHeight() const { return info_; }
void Tfb::setInfoHeight(int h) { info_ = h; }
int Tfb::queueHeight() const { return queue_; }
void Tfb::setQueueHeight(int h) { queue_ = h; }
int Tfb::listViewStyle() const { return view_; }
void Tfb::setListViewStyle(int code) {
    if (code >= 0 && code <= 3) view_ = code;
}
void Tfb::StopTimers() {}
void Tfb::CloseConnectionSilently() {}
void Tfb::EmptyFrame() {}
void Tfb::StopPumping() {}
