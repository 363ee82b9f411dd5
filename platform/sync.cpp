#include "platform/sync.h"

namespace plat {

void Event::Set() {
  std::lock_guard<std::mutex> g(m_);
  set_ = true;
  // An auto-reset event lets exactly one waiter through.
  if (manual_)
    cv_.notify_all();
  else
    cv_.notify_one();
}

void Event::Reset() {
  std::lock_guard<std::mutex> g(m_);
  set_ = false;
}

bool Event::Wait(int ms) {
  std::unique_lock<std::mutex> l(m_);
  auto isSet = [this] { return set_; };
  if (ms < 0)
    cv_.wait(l, isSet);
  else if (!cv_.wait_for(l, std::chrono::milliseconds(ms), isSet))
    return false;
  if (!manual_) set_ = false;
  return true;
}

bool Event::IsSet() {
  std::lock_guard<std::mutex> g(m_);
  return set_;
}

}  // namespace plat
