// Worker threads in the style the program's components expect: created
// suspended or running, a terminate flag the body polls, optional
// self-deletion when the body ends, and synchronised calls into the main
// thread. The body never lets an exception escape.
#pragma once
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/sync.h"

namespace plat {

class Thread {
 public:
  explicit Thread(bool createSuspended);
  virtual ~Thread();  // waits for a started, not self-freeing thread to end
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts a thread created suspended (again: no effect).
  void Resume();
  bool Suspended() const { return !started_.load(); }
  // Sets the terminate flag; the body is expected to notice it.
  void Terminate() { terminated_.store(true); }
  bool Terminated() const { return terminated_.load(); }
  // When set before the body ends, the object deletes itself after the body
  // (and after OnTerminate) has run. Such a thread must be created with new.
  void SetFreeOnTerminate(bool v) { freeOnTerminate_.store(v); }
  bool FreeOnTerminate() const { return freeOnTerminate_.load(); }
  // Blocks until the body has ended. Must not be called by a self-freeing
  // thread's owner after the body may have ended. Calling it from the main
  // thread keeps the main thread's dispatcher running while waiting, so
  // synchronised calls of the thread cannot deadlock.
  void WaitFor();
  bool Finished() const { return finished_.load(); }
  // Message of the exception that ended the body, if any.
  std::string FatalMessage() const;
  // The scheduling priority the body runs at, in the steps of
  // SetCurrentThreadPriority (0, normal, by default); set before Resume.
  void SetPriority(int step) { priority_.store(step); }
  int Priority() const { return priority_.load(); }

  // Called on the main thread (by synchronised call) after the body ended.
  std::function<void()> OnTerminate;

  static void Sleep(int ms);

 protected:
  virtual void Execute() = 0;
  // Runs fn on the main thread and waits for it; an exception that fn
  // raises is raised again here. From the main thread fn runs directly.
  void Synchronize(const std::function<void()>& fn);

 private:
  void Body();
  std::thread thread_;
  std::atomic<bool> started_{false};
  std::atomic<bool> terminated_{false};
  std::atomic<bool> freeOnTerminate_{false};
  std::atomic<bool> finished_{false};
  std::atomic<int> priority_{0};
  mutable Mutex fatalLock_;
  std::string fatal_;
  Mutex startLock_;
};

// Runs fn and swallows what it raises: a thread body, or a handler it
// calls, ends quietly instead of taking the thread down.
template <class F>
void Quietly(F&& fn) {
  try {
    fn();
  } catch (...) {
  }
}

// Identity of the calling thread, comparable across threads.
uint64_t CurrentThreadId();

// Scheduling priority of the calling thread in steps from -3 (idle) through
// 0 (normal) to 3 (time-critical). Win32 maps the steps to its thread
// priorities; elsewhere an unprivileged process cannot raise a thread's
// priority, so it has no effect there beyond being remembered.
void SetCurrentThreadPriority(int step);
// The calling thread's priority in those steps: on Win32 the system's, as
// the nearest step; elsewhere the step last set on the thread (0 before).
int CurrentThreadPriority();

}  // namespace plat
