// Locks and events shared by threads.
#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace plat {

// Re-entrant lock: the same thread may enter it again.
class CriticalSection {
 public:
  void Enter() { m_.lock(); }
  void Leave() { m_.unlock(); }
  bool TryEnter() { return m_.try_lock(); }
  // BasicLockable, so std::lock_guard / std::unique_lock work too.
  void lock() { m_.lock(); }
  void unlock() { m_.unlock(); }
  bool try_lock() { return m_.try_lock(); }

 private:
  std::recursive_mutex m_;
};

// Plain (non re-entrant) lock.
using Mutex = std::mutex;

// Scoped holder for either kind of lock.
template <class L>
class Locked {
 public:
  explicit Locked(L& l) : l_(l) { l_.lock(); }
  ~Locked() { l_.unlock(); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  L& l_;
};

// A waitable flag: manual-reset or auto-reset.
class Event {
 public:
  explicit Event(bool manualReset = true, bool initial = false)
      : manual_(manualReset), set_(initial) {}
  void Set();
  void Reset();
  // Waits at most ms milliseconds (negative: without limit); true when set.
  bool Wait(int ms = -1);
  bool IsSet();

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool manual_;
  bool set_;
};

}  // namespace plat
