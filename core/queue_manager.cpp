#include "core/queue_manager.h"

#include "platform/clock.h"

namespace {
constexpr int64_t kSecondsPerDay = 86400;
}

void TQueueManager::Add(void* item, std::string_view key) {
  keys_.Add(std::string(key), item);
  times_.push_back(std::make_unique<TQueueTimeItem>(Stamp()));
}

void TQueueManager::Remove(std::string_view key) {
  const int i = keys_.IndexOf(key);
  if (i >= 0) Delete(i);
}

void TQueueManager::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  keys_.Delete(index);
  times_.erase(times_.begin() + index);
}

void TQueueManager::Clear() {
  keys_.Clear();
  times_.clear();
}

int64_t TQueueManager::ElapsedSeconds(int64_t then, int64_t now) {
  return ((now - then) % kSecondsPerDay + kSecondsPerDay) % kSecondsPerDay;
}

int64_t TQueueManager::Stamp() const {
  return clock_ == Clock::Monotonic ? plat::MonotonicMs() : plat::SecondsOfDayNow();
}

bool TQueueManager::Expired(int index) const {
  if (clock_ == Clock::Monotonic) return (Stamp() - Times(index)) / 1000 > Timeout;
  return ElapsedSeconds(Times(index), Stamp()) > Timeout;
}
