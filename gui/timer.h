// The timer component: OnTimer every Interval milliseconds on the main
// thread while Enabled (and Interval > 0). An exception OnTimer lets escape
// is reported like any handler's and the timer goes on.
#pragma once
#include <functional>
#include <memory>

#include "gui/component.h"

namespace plat {
class MessageTarget;
}

namespace gui {

class Timer : public Component {
 public:
  explicit Timer(Component* owner = nullptr);
  ~Timer() override;
  unsigned Interval() const { return interval_; }
  void SetInterval(unsigned ms);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool e);
  std::function<void(Component* sender)> OnTimer;

 private:
  void Update();
  unsigned interval_ = 1000;
  bool enabled_ = true;
  std::unique_ptr<plat::MessageTarget> target_;
};

}  // namespace gui
