// A list of named entries stamped with the time they were added, so that
// the owner can find the ones that have waited longer than a limit. Used on
// the main thread only; it has no lock.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/stringlist.h"

// The time an entry was added: seconds since midnight, or milliseconds of
// the monotonic clock for a manager built with Clock::Monotonic.
class TQueueTimeItem {
 public:
  explicit TQueueTimeItem(int64_t time) : Time(time) {}
  int64_t Time;
};

class TQueueManager {
 public:
  // TimeOfDay stamps entries with the seconds since midnight (exact for
  // waits shorter than a day); Monotonic with the monotonic clock, which
  // neither wraps nor follows changes of the wall clock.
  enum class Clock { TimeOfDay, Monotonic };

  explicit TQueueManager(Clock clock = Clock::TimeOfDay) : clock_(clock) {}
  ~TQueueManager() { Clear(); }
  TQueueManager(const TQueueManager&) = delete;
  TQueueManager& operator=(const TQueueManager&) = delete;

  // Seconds an entry may wait before it counts as expired.
  int64_t Timeout = 0;

  // Appends an entry stamped with the current time. The object is
  // lent: it is never freed here.
  void Add(void* item, std::string_view key);
  // Removes the first entry whose name equals key, ignoring case.
  void Remove(std::string_view key);
  void Delete(int index);
  void Clear();

  int Count() const { return keys_.Count(); }
  const std::string& Keys(int index) const { return keys_[index]; }
  void* Objects(int index) const { return keys_.Object(index); }
  int64_t Times(int index) const { return times_[size_t(index)]->Time; }

  // True when more than Timeout whole seconds have passed since the entry
  // was added. On the time of day, which wraps at midnight, the elapsed time
  // is taken modulo one day: exact for any wait shorter than a day.
  bool Expired(int index) const;

  // Seconds elapsed from then to now, both seconds of the day.
  static int64_t ElapsedSeconds(int64_t then, int64_t now);

 private:
  int64_t Stamp() const;

  Clock clock_;
  plat::StringList keys_;  // names, each with its lent object
  std::vector<std::unique_ptr<TQueueTimeItem>> times_;
};
