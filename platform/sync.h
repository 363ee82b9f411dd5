// Locks and events shared by threads.
#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace plat {

// Re-entrant lock: the same thread may enter it again. On Win32 it is the
// system's critical section, which spins a while before it waits: under
// Wine the runtime's mutex goes through the Wine server each time a lock
// passes between threads, and locks taken for each file of a library pass
// between threads thousands of times.
class CriticalSection {
 public:
#ifdef _WIN32
  CriticalSection();
  ~CriticalSection();
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  void Enter();
  void Leave();
  bool TryEnter();
#else
  void Enter() { m_.lock(); }
  void Leave() { m_.unlock(); }
  bool TryEnter() { return m_.try_lock(); }
#endif
  // BasicLockable, so std::lock_guard / std::unique_lock work too.
  void lock() { Enter(); }
  void unlock() { Leave(); }
  bool try_lock() { return TryEnter(); }

 private:
#ifdef _WIN32
  alignas(void*) unsigned char cs_[sizeof(void*) == 4 ? 24 : 40];  // a CRITICAL_SECTION
#else
  std::recursive_mutex m_;
#endif
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
