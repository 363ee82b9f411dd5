#include "controls/timer_ex.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "gui/control.h"
#include "platform/dispatcher.h"
#include "platform/thread.h"

namespace {
constexpr int kWindowTimerId = 1;
}

// The thread of thread mode: it sleeps the interval and ticks until told
// to end. It never waits for the main thread in a way the main thread
// cannot end, so joining it needs no message loop.
class TTimerThread {
 public:
  explicit TTimerThread(TTimerEx::Impl* timer);
  ~TTimerThread() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::thread thread_;
};

struct TTimerEx::Impl : std::enable_shared_from_this<TTimerEx::Impl> {
  mutable std::mutex m;
  std::condition_variable cv;
  // Guarded by m.
  TTimerEx* owner = nullptr;
  bool enabled = true;
  int interval = 1000;
  bool threaded = false;
  TThreadPriority priority = tpNormal;
  bool threadSafe = false;
  TTimerExEvent onTimer;
  bool running = false;     // the thread ticks
  uint64_t generation = 0;  // bumped by each rebuild: the thread starts a new interval
  bool terminated = false;  // the thread is to end
  bool pending = false;     // a tick handed to the main thread has not run yet
  int inTick = 0;           // OnTimer calls in progress
  bool released = false;    // the component is gone; torn down after the last tick
  // Main thread only (read by the thread while it runs, which Teardown
  // waits for before it drops them).
  std::unique_ptr<plat::MessageTarget> window = std::make_unique<plat::MessageTarget>();
  std::unique_ptr<TTimerThread> thread;

  void Rebuild() {
    window->KillTimer(kWindowTimerId);
    bool threadMode, go;
    int ms;
    {
      std::lock_guard<std::mutex> g(m);
      running = false;
      ++generation;
      threadMode = threaded;
      ms = interval;
      go = enabled && interval > 0 && onTimer && !released;
    }
    cv.notify_all();
    if (!threadMode) {
      StopThread();
      if (go && !window->SetTimer(kWindowTimerId, ms, [this] { Fire(); }))
        throw gui::EOutOfResources(gui::kNoTimersMessage);
      return;
    }
    if (!thread) {
      {
        std::lock_guard<std::mutex> g(m);
        terminated = false;
      }
      thread = std::make_unique<TTimerThread>(this);
    }
    if (go) {
      {
        std::lock_guard<std::mutex> g(m);
        running = true;
        ++generation;
      }
      cv.notify_all();
    }
  }

  void StopThread() {
    if (!thread) return;
    {
      std::lock_guard<std::mutex> g(m);
      terminated = true;
      running = false;
      pending = false;  // a tick still queued for the main thread is void
    }
    cv.notify_all();
    thread.reset();  // joins
  }

  // Main thread: the component is gone, or its last tick has returned.
  void Teardown() {
    StopThread();
    window.reset();  // kills the window timer, drops queued ticks
  }

  void Release() {
    {
      std::lock_guard<std::mutex> g(m);
      owner = nullptr;
      released = true;
      running = false;
      if (inTick > 0) return;  // EndTick tears down
    }
    Teardown();
  }

  // One tick: OnTimer, while enabled. On the main thread, or on the timer's
  // thread with ThreadSafe.
  void Fire() {
    auto keep = shared_from_this();
    TTimerExEvent fn;
    TTimerEx* sender;
    {
      std::lock_guard<std::mutex> g(m);
      if (released || !enabled || !onTimer) return;
      fn = onTimer;  // a copy: OnTimer may replace it
      sender = owner;
      ++inTick;
    }
    struct End {
      Impl* self;
      ~End() { self->EndTick(); }
    } end{this};
    fn(sender);
  }

  void EndTick() {
    {
      std::lock_guard<std::mutex> g(m);
      if (--inTick > 0 || !released) return;
    }
    if (plat::MainLoop::IsMainThread())
      Teardown();
    else  // freed from within a tick on the timer's own thread
      window->Post([keep = shared_from_this()] { keep->Teardown(); });
  }

  // A tick the thread handed to the main thread.
  void FirePosted() {
    auto keep = shared_from_this();
    {
      std::lock_guard<std::mutex> g(m);
      if (!pending) return;
    }
    struct Done {
      Impl* self;
      ~Done() {
        {
          std::lock_guard<std::mutex> g(self->m);
          self->pending = false;
        }
        self->cv.notify_all();
      }
    } done{this};
    Fire();
  }

  void ThreadLoop() {
    std::unique_lock<std::mutex> lk(m);
    TThreadPriority applied = tpNormal;
    while (!terminated) {
      if (!running) {
        cv.wait(lk);
        continue;
      }
      if (priority != applied) {
        applied = priority;
        plat::SetCurrentThreadPriority(int(applied) - int(tpNormal));
      }
      const uint64_t gen = generation;
      const auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(interval);
      if (cv.wait_until(lk, due, [&] { return terminated || generation != gen; })) continue;
      if (threadSafe) {
        lk.unlock();
        try {
          Fire();
        } catch (...) {  // the main loop reports it, as for a window timer
          window->Post([e = std::current_exception()] { std::rethrow_exception(e); });
        }
        lk.lock();
      } else {
        pending = true;
        lk.unlock();
        window->Post([this] { FirePosted(); });
        lk.lock();
        cv.wait(lk, [&] { return terminated || !pending; });
      }
    }
  }
};

TTimerThread::TTimerThread(TTimerEx::Impl* timer) : thread_([timer] { timer->ThreadLoop(); }) {}

TTimerEx::TTimerEx() : impl_(std::make_shared<Impl>()) { impl_->owner = this; }

TTimerEx::~TTimerEx() { impl_->Release(); }

namespace {

// Stores v into the field under the lock; true when it changed.
template <class T>
bool Store(std::mutex& m, T& field, T v) {
  std::lock_guard<std::mutex> g(m);
  if (field == v) return false;
  field = std::move(v);
  return true;
}

template <class T>
T Load(std::mutex& m, const T& field) {
  std::lock_guard<std::mutex> g(m);
  return field;
}

}  // namespace

bool TTimerEx::Enabled() const { return Load(impl_->m, impl_->enabled); }
int TTimerEx::Interval() const { return Load(impl_->m, impl_->interval); }
bool TTimerEx::Threaded() const { return Load(impl_->m, impl_->threaded); }
TThreadPriority TTimerEx::ThreadPriority() const { return Load(impl_->m, impl_->priority); }
bool TTimerEx::ThreadSafe() const { return Load(impl_->m, impl_->threadSafe); }
TTimerExEvent TTimerEx::OnTimer() const { return Load(impl_->m, impl_->onTimer); }
int TTimerEx::PendingTicks() const { return Load(impl_->m, impl_->pending) ? 1 : 0; }

void TTimerEx::SetEnabled(bool v) {
  if (Store(impl_->m, impl_->enabled, v)) impl_->Rebuild();
}

void TTimerEx::SetInterval(int ms) {
  if (Store(impl_->m, impl_->interval, ms)) impl_->Rebuild();
}

void TTimerEx::SetThreaded(bool v) {
  if (Store(impl_->m, impl_->threaded, v)) impl_->Rebuild();
}

void TTimerEx::SetThreadPriority(TThreadPriority v) {
  if (Store(impl_->m, impl_->priority, v) && Threaded()) impl_->Rebuild();
}

void TTimerEx::SetThreadSafe(bool v) { Store(impl_->m, impl_->threadSafe, v); }

void TTimerEx::SetOnTimer(TTimerExEvent fn) {
  {
    std::lock_guard<std::mutex> g(impl_->m);
    impl_->onTimer = std::move(fn);
  }
  impl_->Rebuild();
}
