#include "gui/timer.h"

#include "gui/control.h"
#include "platform/dispatcher.h"

namespace gui {

Timer::Timer(Component* owner) : Component(owner), target_(std::make_unique<plat::MessageTarget>()) {
  Update();
}

Timer::~Timer() { target_.reset(); }

void Timer::SetInterval(unsigned ms) {
  if (ms == interval_) return;
  interval_ = ms;
  Update();
}

void Timer::SetEnabled(bool e) {
  if (e == enabled_) return;
  enabled_ = e;
  Update();
}

void Timer::Update() {
  target_->KillTimer(1);
  if (!enabled_ || interval_ == 0) return;
  target_->SetTimer(1, int(interval_), [this] {
    try {
      if (OnTimer) OnTimer(this);
    } catch (...) {
      ReportCurrentException(nullptr);
    }
  });
}

}  // namespace gui
