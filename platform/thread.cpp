#include "platform/thread.h"

#include <chrono>
#include <exception>

#include "platform/dispatcher.h"
#include "platform/os.h"

namespace plat {
namespace {

// Main-thread WaitFor calls in progress: a body that ends wakes the loop
// for them (otherwise they notice within a pumping slice anyway).
std::atomic<int> mainWaiters{0};

}  // namespace

// A thread created running starts its body at the end of this constructor,
// before a subclass's constructor has run: subclasses with state of their
// own (and every thread of this program) are created suspended and resumed
// once built. Likewise an owner that deletes a thread first lets its body
// end (Terminate, WaitFor), since a subclass is torn down before this
// destructor waits.
Thread::Thread(bool createSuspended) {
  if (!createSuspended) Resume();
}

Thread::~Thread() {
  bool wait = false;
  {
    std::lock_guard<Mutex> g(startLock_);
    if (thread_.joinable() && thread_.get_id() == std::this_thread::get_id()) {
      thread_.detach();  // deleted by its own body
    } else {
      wait = thread_.joinable();
    }
  }
  if (wait) {
    Terminate();
    WaitFor();
  }
}

void Thread::Resume() {
  std::lock_guard<Mutex> g(startLock_);
  if (started_.load()) return;
  thread_ = std::thread(&Thread::Body, this);
  started_.store(true);
}

void Thread::Body() {
  // thread_ is set once started_ is: a body that ends at once may need it.
  while (!started_.load()) std::this_thread::yield();
  if (const int step = priority_.load()) SetCurrentThreadPriority(step);
  try {
    Execute();
  } catch (const std::exception& e) {
    std::lock_guard<Mutex> g(fatalLock_);
    fatal_ = e.what();
  } catch (...) {
    std::lock_guard<Mutex> g(fatalLock_);
    fatal_ = "unknown exception";
  }
  const bool freeSelf = freeOnTerminate_.load();
  if (OnTerminate) {
    try {
      Synchronize(OnTerminate);
    } catch (...) {
      // the handler's failure must not end the process either
    }
  }
  if (freeSelf) {
    delete this;
    return;
  }
  finished_.store(true);
  if (mainWaiters.load() > 0 && !MainLoop::IsMainThread()) os::SyncTarget().Post([] {});
}

void Thread::WaitFor() {
  {
    std::lock_guard<Mutex> g(startLock_);
    if (!thread_.joinable()) return;  // never started, or already waited for
    if (thread_.get_id() == std::this_thread::get_id()) return;
  }
  if (MainLoop::IsMainThread()) {
    // The body may be waiting for a synchronised call: keep serving them
    // (without holding a lock that a served call might want).
    mainWaiters.fetch_add(1);
    while (!MainLoop::PumpUntil([this] { return finished_.load(); }, 1000)) {
    }
    mainWaiters.fetch_sub(1);
  }
  std::lock_guard<Mutex> g(startLock_);
  if (thread_.joinable()) thread_.join();
}

std::string Thread::FatalMessage() const {
  std::lock_guard<Mutex> g(fatalLock_);
  return fatal_;
}

void Thread::Sleep(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void Thread::Synchronize(const std::function<void()>& fn) {
  if (MainLoop::IsMainThread()) {
    fn();
    return;
  }
  os::SyncTarget().Send(fn);
}

uint64_t CurrentThreadId() {
  static std::atomic<uint64_t> next{1};
  thread_local const uint64_t id = next.fetch_add(1);
  return id;
}

}  // namespace plat
