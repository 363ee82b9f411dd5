// A timer component that ticks either from a main-thread window timer or
// from a thread of its own. In thread mode the thread sleeps Interval
// milliseconds and hands each tick to the main thread (or, with
// ThreadSafe, runs it in the thread itself).
//
// Setting Enabled, Interval, Threaded or OnTimer (and ThreadPriority in
// thread mode) rebuilds the timer: it ticks while Enabled, Interval is
// above 0 and OnTimer is set. Properties are set on the main thread. In
// window mode a rebuild the system has no timer for raises
// gui::EOutOfResources (the property keeps its new value; no tick comes).
//
// Destroying the timer stops the thread, drops a tick it has handed to the
// main thread and not yet run, and waits for the thread to end. Destroying
// it from inside its own OnTimer is deferred until that call returns.
#pragma once
#include <functional>
#include <memory>

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TTimerEx;
using TTimerExEvent = std::function<void(TTimerEx* Sender)>;

class TTimerEx {
 public:
  TTimerEx();
  ~TTimerEx();
  TTimerEx(const TTimerEx&) = delete;
  TTimerEx& operator=(const TTimerEx&) = delete;

  bool Enabled() const;
  void SetEnabled(bool v);
  int Interval() const;  // milliseconds
  void SetInterval(int ms);
  bool Threaded() const;
  void SetThreaded(bool v);
  TThreadPriority ThreadPriority() const;
  void SetThreadPriority(TThreadPriority v);
  bool ThreadSafe() const;
  void SetThreadSafe(bool v);
  TTimerExEvent OnTimer() const;
  void SetOnTimer(TTimerExEvent fn);

  // Ticks the thread has handed to the main thread that have not run yet
  // (0 or 1): lets callers and tests see a tick in flight.
  int PendingTicks() const;

  struct Impl;

 private:
  std::shared_ptr<Impl> impl_;
};
