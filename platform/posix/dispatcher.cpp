// The main thread's loop on POSIX: one queue of calls for all targets, the
// targets' timers and socket watches, and a poll() that sleeps until a call
// arrives (the wake-up pipe), a watched socket is ready or a timer is due.
#include "platform/dispatcher.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/os.h"
#include "platform/posix/posix_util.h"

namespace plat {

namespace {

// What the loop knows of a target (MessageTarget::State is this).
struct TargetState {
  bool alive = true;  // guarded by the loop's lock
};
using SocketFn = std::function<void(SocketHandle, unsigned, int)>;

// Windows raises shorter timer intervals to this.
constexpr int kMinTimerMs = 10;
// PumpUntil looks at its predicate at least this often.
constexpr int kPumpSliceMs = 10;

// A sender blocked in Send waits on this until its call ran or was dropped.
struct SendSlot {
  std::condition_variable cv;
  bool done = false;
  bool ran = false;
  std::exception_ptr error;
};

struct Item {
  uint64_t seq = 0;
  TargetState* owner = nullptr;
  std::function<void()> post;                   // a posted call, or
  const std::function<void()>* send = nullptr;  // a sent one with its slot
  SendSlot* slot = nullptr;
};

struct Timer {
  TargetState* owner;
  int id;
  int interval;
  int64_t due;
  uint64_t gen;
  std::shared_ptr<std::function<void()>> fn;
};

struct Watch {
  TargetState* owner;
  unsigned events;  // asked for
  unsigned armed;   // may fire now
  bool listener;
  uint64_t gen;
  std::shared_ptr<SocketFn> fn;
  bool failed = false;  // its connect failed: nothing more to report
};

struct Loop {
  std::mutex mu;
  std::deque<Item> queue;
  uint64_t nextSeq = 1;
  std::vector<Timer> timers;
  std::map<int, Watch> watches;
  uint64_t nextGen = 1;
  bool quit = false;
  std::atomic<int> watchCount{0};
  std::atomic<std::thread::id> mainId{};
  posix::WakePipe wake;
};

// Never destroyed: threads may still post while the process ends.
Loop& L() {
  static Loop* loop = new Loop;
  return *loop;
}

int64_t Ms() { return os::MonotonicRawMs(); }

void RunItem(Item& it) {
  Loop& l = L();
  if (!it.slot) {
    try {
      it.post();
    } catch (...) {
      os::ReportEscaped("posted call");
    }
    return;
  }
  std::exception_ptr error;
  try {
    (*it.send)();
  } catch (...) {
    error = std::current_exception();
  }
  std::lock_guard<std::mutex> g(l.mu);
  // Moved, so that the sender holds the only reference once it wakes.
  it.slot->error = std::move(error);
  it.slot->ran = true;
  it.slot->done = true;
  it.slot->cv.notify_all();
}

// Runs the calls queued before this point; later ones wait for the next
// round, so a call that posts itself again cannot starve the loop.
void DispatchQueue() {
  Loop& l = L();
  uint64_t last;
  {
    std::lock_guard<std::mutex> g(l.mu);
    last = l.nextSeq - 1;
  }
  for (;;) {
    Item it;
    {
      std::lock_guard<std::mutex> g(l.mu);
      if (l.queue.empty() || l.queue.front().seq > last) return;
      it = std::move(l.queue.front());
      l.queue.pop_front();
    }
    RunItem(it);
  }
}

void DispatchTimers() {
  Loop& l = L();
  struct Due {
    TargetState* owner;
    int id;
    uint64_t gen;
    std::shared_ptr<std::function<void()>> fn;
  };
  std::vector<Due> due;
  {
    std::lock_guard<std::mutex> g(l.mu);
    const int64_t now = Ms();
    for (Timer& t : l.timers) {
      if (t.due > now) continue;
      t.due = now + t.interval;  // no catching up, as with window timers
      due.push_back({t.owner, t.id, t.gen, t.fn});
    }
  }
  for (Due& d : due) {
    {
      std::lock_guard<std::mutex> g(l.mu);
      auto it = std::find_if(l.timers.begin(), l.timers.end(), [&](const Timer& t) {
        return t.owner == d.owner && t.id == d.id && t.gen == d.gen;
      });
      if (it == l.timers.end()) continue;  // killed or replaced meanwhile
    }
    try {
      (*d.fn)();
    } catch (...) {
      os::ReportEscaped("timer call");
    }
  }
}

int SocketErrorOf(int fd) {
  int e = 0;
  socklen_t len = sizeof e;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &e, &len) != 0) e = errno;
  return e;
}

bool IsConnected(int fd) {
  sockaddr_storage a{};
  socklen_t len = sizeof a;
  return getpeername(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0;
}

// Turns poll's answer for a watched socket into notifications (disarming
// them, so a nested loop cannot deliver them twice).
struct Fired {
  unsigned event;
  int error;
};

std::vector<Fired> Classify(int fd, Watch& w, short rev) {
  std::vector<Fired> out;
  const bool in = rev & POLLIN;
  const bool out_ = rev & POLLOUT;
  const bool hup = rev & (POLLHUP | POLLRDHUP);
  const bool err = rev & POLLERR;
  if (w.armed & kSocketConnect) {
    if (!(out_ || hup || err)) return out;
    const int e = SocketErrorOf(fd);
    if (e != 0) {
      out.push_back({kSocketConnect, posix::WsaFromErrno(e)});
      w.armed = 0;
      w.failed = true;
      return out;
    }
    if (!IsConnected(fd)) return out;  // no connect issued yet
    w.armed &= ~unsigned(kSocketConnect);
    out.push_back({kSocketConnect, 0});
  }
  // Read once: reading the pending error clears it.
  const int error = err ? posix::WsaFromErrno(SocketErrorOf(fd)) : 0;
  if (w.listener) {
    if (in || err) {
      if (w.armed & kSocketAccept)
        out.push_back({kSocketAccept, error});
      else if (w.armed & kSocketRead)
        out.push_back({kSocketRead, error});
      w.armed &= ~unsigned(kSocketAccept | kSocketRead);
    }
    return out;
  }
  if ((in || hup || err) && (w.armed & kSocketRead)) {
    out.push_back({kSocketRead, error});
    w.armed &= ~unsigned(kSocketRead);
  }
  if (out_ && (w.armed & kSocketWrite)) {
    out.push_back({kSocketWrite, error});
    w.armed &= ~unsigned(kSocketWrite);
  }
  if ((hup || err) && (w.armed & kSocketClose)) {
    out.push_back({kSocketClose, error});
    w.armed &= ~unsigned(kSocketClose);
  }
  return out;
}

struct Polled {
  int fd;
  uint64_t gen;
};

void DispatchSockets(const std::vector<pollfd>& fds, const std::vector<Polled>& polled) {
  Loop& l = L();
  for (size_t i = 0; i < polled.size(); ++i) {
    const short rev = fds[i + 1].revents;
    if (!rev) continue;
    const int fd = polled[i].fd;
    std::vector<Fired> fired;
    std::shared_ptr<SocketFn> fn;
    {
      std::lock_guard<std::mutex> g(l.mu);
      auto it = l.watches.find(fd);
      if (it == l.watches.end() || it->second.gen != polled[i].gen) continue;
      if (rev & POLLNVAL) {  // closed behind the layer's back
        l.watches.erase(it);
        l.watchCount.fetch_sub(1);
        continue;
      }
      fired = Classify(fd, it->second, rev);
      fn = it->second.fn;
    }
    for (const Fired& f : fired) {
      {
        std::lock_guard<std::mutex> g(l.mu);
        auto it = l.watches.find(fd);
        if (it == l.watches.end() || it->second.gen != polled[i].gen) break;
      }
      try {
        (*fn)(SocketHandle(fd), f.event, f.error);
      } catch (...) {
        os::ReportEscaped("socket notification");
      }
    }
  }
}

short PollEventsOf(const Watch& w) {
  if (w.armed & kSocketConnect) return POLLOUT;
  short ev = 0;
  if (w.armed & (kSocketRead | kSocketAccept)) ev |= POLLIN;
  if (w.armed & kSocketWrite) ev |= POLLOUT;
  if (w.armed & kSocketClose) ev |= POLLRDHUP;
  return ev;
}

// One round of the loop: waits at most timeoutMs (negative: until
// something happens) and then runs what is due.
void WaitAndDispatch(int timeoutMs) {
  Loop& l = L();
  std::vector<pollfd> fds;
  std::vector<Polled> polled;
  // Held until the notifications are out: a socket closed meanwhile keeps
  // its descriptor (and number) until then.
  std::vector<posix::SocketUse> uses;
  fds.push_back({l.wake.ReadFd(), POLLIN, 0});
  int wait = timeoutMs;
  {
    std::lock_guard<std::mutex> g(l.mu);
    for (auto& [fd, w] : l.watches) {
      if (!w.armed) continue;
      posix::SocketUse use{SocketHandle(fd)};
      if (!use) continue;
      uses.push_back(std::move(use));
      fds.push_back({fd, PollEventsOf(w), 0});
      polled.push_back({fd, w.gen});
    }
    if (!l.queue.empty()) wait = 0;
    if (wait != 0 && !l.timers.empty()) {
      int64_t next = l.timers.front().due;
      for (const Timer& t : l.timers) next = std::min(next, t.due);
      const int64_t left = std::max<int64_t>(0, next - Ms());
      if (wait < 0 || left < wait) wait = int(left);
    }
  }
  const int r = posix::PollRetrying(fds.data(), fds.size(), wait);
  if (r > 0 && fds[0].revents) l.wake.Drain();
  DispatchQueue();
  if (r > 0) DispatchSockets(fds, polled);
  DispatchTimers();
}

void Enqueue(Item it) {
  Loop& l = L();
  {
    std::lock_guard<std::mutex> g(l.mu);
    if (!it.owner->alive) return;
    it.seq = l.nextSeq++;
    l.queue.push_back(std::move(it));
  }
  if (!MainLoop::IsMainThread()) l.wake.Wake();
}

bool HaveMainThread() { return L().mainId.load() != std::thread::id(); }

}  // namespace

struct MessageTarget::State : TargetState {};

// ---------------------------------------------------------------- MainLoop

void MainLoop::Init() {
  Loop& l = L();
  std::thread::id none{};
  l.mainId.compare_exchange_strong(none, std::this_thread::get_id());
  os::SyncTarget();
}

bool MainLoop::IsMainThread() { return L().mainId.load() == std::this_thread::get_id(); }

void MainLoop::Run() {
  Loop& l = L();
  for (;;) {
    {
      std::lock_guard<std::mutex> g(l.mu);
      if (l.quit) {
        l.quit = false;
        return;
      }
    }
    WaitAndDispatch(-1);
  }
}

void MainLoop::Quit() {
  Loop& l = L();
  {
    std::lock_guard<std::mutex> g(l.mu);
    l.quit = true;
  }
  l.wake.Wake();
}

void MainLoop::ProcessMessages() { WaitAndDispatch(0); }

bool MainLoop::PumpUntil(const std::function<bool()>& pred, int timeoutMs) {
  const int64_t deadline = Ms() + timeoutMs;
  for (;;) {
    if (pred()) return true;
    int slice = kPumpSliceMs;
    if (timeoutMs >= 0) {
      const int64_t left = deadline - Ms();
      if (left <= 0) return false;
      slice = int(std::min<int64_t>(left, kPumpSliceMs));
    }
    if (IsMainThread())
      WaitAndDispatch(slice);
    else  // another thread can only watch the predicate
      std::this_thread::sleep_for(std::chrono::milliseconds(slice));
  }
}

// ----------------------------------------------------------- MessageTarget

MessageTarget::MessageTarget() : state_(std::make_shared<State>()) {}

MessageTarget::~MessageTarget() {
  Loop& l = L();
  std::lock_guard<std::mutex> g(l.mu);
  TargetState* me = state_.get();
  me->alive = false;
  for (auto it = l.queue.begin(); it != l.queue.end();) {
    if (it->owner != me) {
      ++it;
      continue;
    }
    if (it->slot) {  // the sender gets false
      it->slot->done = true;
      it->slot->cv.notify_all();
    }
    it = l.queue.erase(it);
  }
  std::erase_if(l.timers, [me](const Timer& t) { return t.owner == me; });
  for (auto it = l.watches.begin(); it != l.watches.end();) {
    if (it->second.owner == me) {
      it = l.watches.erase(it);
      l.watchCount.fetch_sub(1);
    } else {
      ++it;
    }
  }
}

void MessageTarget::Post(std::function<void()> fn) {
  Item it;
  it.owner = state_.get();
  it.post = std::move(fn);
  Enqueue(std::move(it));
}

bool MessageTarget::Send(const std::function<void()>& fn) {
  // On the main thread (or before there is one) nothing else could run it.
  if (MainLoop::IsMainThread() || !HaveMainThread()) {
    fn();
    return true;
  }
  Loop& l = L();
  std::shared_ptr<State> keep = state_;  // outlives a target destroyed meanwhile
  SendSlot slot;
  {
    std::lock_guard<std::mutex> g(l.mu);
    if (!keep->alive) return false;
    Item it;
    it.owner = keep.get();
    it.send = &fn;
    it.slot = &slot;
    it.seq = l.nextSeq++;
    l.queue.push_back(std::move(it));
  }
  l.wake.Wake();
  {
    std::unique_lock<std::mutex> lk(l.mu);
    slot.cv.wait(lk, [&] { return slot.done; });
  }
  if (slot.error) std::rethrow_exception(slot.error);
  return slot.ran;
}

bool MessageTarget::SetTimer(int id, int intervalMs, std::function<void()> fn) {
  if (TimersRefusedForTesting()) {
    KillTimer(id);
    return false;
  }
  Loop& l = L();
  const int interval = std::max(intervalMs, kMinTimerMs);
  {
    std::lock_guard<std::mutex> g(l.mu);
    TargetState* me = state_.get();
    std::erase_if(l.timers, [&](const Timer& t) { return t.owner == me && t.id == id; });
    l.timers.push_back({me, id, interval, Ms() + interval, l.nextGen++,
                        std::make_shared<std::function<void()>>(std::move(fn))});
  }
  if (!MainLoop::IsMainThread()) l.wake.Wake();
  return true;
}

void MessageTarget::KillTimer(int id) {
  Loop& l = L();
  std::lock_guard<std::mutex> g(l.mu);
  TargetState* me = state_.get();
  std::erase_if(l.timers, [&](const Timer& t) { return t.owner == me && t.id == id; });
}

void MessageTarget::WatchSocket(SocketHandle s, unsigned events, std::function<void(SocketHandle, unsigned, int)> fn) {
  const int fd = int(s);
  posix::SocketUse use(s);
  if (events == 0 || !fn || !use) {
    UnwatchSocket(s);
    return;
  }
  // A watched socket is non-blocking, as under window notifications.
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  int acceptConn = 0;
  socklen_t len = sizeof acceptConn;
  const bool listener =
      getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &acceptConn, &len) == 0 && acceptConn != 0;
  Loop& l = L();
  {
    std::lock_guard<std::mutex> g(l.mu);
    auto [it, added] = l.watches.insert_or_assign(
        fd, Watch{state_.get(), events, events, listener, l.nextGen++,
                  std::make_shared<SocketFn>(std::move(fn))});
    (void)it;
    if (added) l.watchCount.fetch_add(1);
  }
  if (!MainLoop::IsMainThread()) l.wake.Wake();
}

void MessageTarget::UnwatchSocket(SocketHandle s) {
  Loop& l = L();
  std::lock_guard<std::mutex> g(l.mu);
  // Like switching notifications off: whoever asked for them.
  if (l.watches.erase(int(s))) l.watchCount.fetch_sub(1);
}

// -------------------------------------------------------- internal hooks

namespace posix {

void RearmSocketWatch(SocketHandle s, unsigned events) {
  Loop& l = L();
  if (l.watchCount.load() == 0) return;
  bool woke = false;
  {
    std::lock_guard<std::mutex> g(l.mu);
    auto it = l.watches.find(int(s));
    if (it == l.watches.end()) return;
    Watch& w = it->second;
    if (w.failed) return;
    const unsigned add = events & w.events & ~w.armed & ~unsigned(kSocketConnect | kSocketClose);
    w.armed |= add;
    woke = add != 0;
  }
  if (woke && !MainLoop::IsMainThread()) l.wake.Wake();
}

void ForgetSocketWatch(SocketHandle s) {
  Loop& l = L();
  if (l.watchCount.load() == 0) return;
  std::lock_guard<std::mutex> g(l.mu);
  if (l.watches.erase(int(s))) l.watchCount.fetch_sub(1);
}

}  // namespace posix

MessageTarget& os::SyncTarget() {
  static MessageTarget* target = new MessageTarget;
  return *target;
}

}  // namespace plat
