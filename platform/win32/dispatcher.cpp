// The main thread's dispatcher on Win32: a message-only window created by
// MainLoop::Init receives the wake-ups of the call queue, the window timers
// of every target and the WSAAsyncSelect notifications of watched sockets.
// Run is an ordinary GetMessage loop, so GUI windows of the main thread are
// served by the same loop.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <set>

#include "platform/clock.h"
#include "platform/dispatcher.h"
#include "platform/net.h"
#include "platform/os.h"

namespace plat {

namespace {

// What the dispatcher keeps of a target.
struct TargetCore {
  bool alive = true;               // guarded by the queue lock
  std::map<int, UINT_PTR> timers;  // id -> window timer id (map lock)
  std::set<SocketHandle> sockets;  // watched sockets (map lock)
};
using TargetRef = std::shared_ptr<TargetCore>;
using TargetWeak = std::weak_ptr<TargetCore>;

constexpr UINT kWakeMsg = WM_APP + 1;   // the call queue has entries
constexpr UINT kQuitMsg = WM_APP + 2;   // Quit asked for by another thread
// Each socket watch gets its own message number from this range, so a
// notification still queued for an earlier watch of a reused handle can be
// told apart and dropped.
constexpr UINT kSocketMsgFirst = WM_APP + 0x100;
constexpr UINT kSocketMsgLast = 0xBFFF;
// How many window messages one ProcessMessages call handles at most, so
// that a call that posts itself again cannot keep it from returning.
constexpr int kMaxMessagesPerPass = 10000;
const char kWindowClass[] = "TarnDispatchWindow";

// One call waiting in the queue. A send also has a record the caller
// waits on.
struct SendRecord {
  const std::function<void()>* fn = nullptr;
  bool done = false;
  bool ran = false;
  std::exception_ptr error;
};

struct QueuedCall {
  uint64_t seq = 0;            // order of arrival
  TargetRef target;            // nullptr: internal call
  std::function<void()> fn;    // for posts
  SendRecord* send = nullptr;  // for sends
};

struct TimerEntry {
  TargetWeak target;
  std::shared_ptr<std::function<void()>> fn;
};

struct SocketWatch {
  TargetWeak target;
  UINT msg = 0;
  unsigned events = 0;
  std::shared_ptr<std::function<void(SocketHandle, unsigned, int)>> fn;
};

struct Dispatcher {
  // Set once by MainLoop::Init, read by every thread.
  std::atomic<HWND> hwnd{nullptr};
  std::atomic<DWORD> mainThread{0};

  std::mutex queueLock;
  std::condition_variable sendDone;
  std::deque<QueuedCall> queue;
  uint64_t nextSeq = 1;
  bool wakePosted = false;
  // While a pump pass runs (main thread only): the last call it may run,
  // so that calls queued during the pass wait for the next one.
  uint64_t passLimit = UINT64_MAX;

  std::mutex mapLock;
  std::map<UINT_PTR, TimerEntry> timers;
  UINT_PTR nextTimer = 1;
  std::map<SocketHandle, SocketWatch> sockets;
  UINT nextSocketMsg = kSocketMsgFirst;
};

Dispatcher& D() {
  static Dispatcher* d = new Dispatcher;  // lives as long as the process
  return *d;
}

void WakeLocked(Dispatcher& d) {
  if (d.wakePosted || !d.hwnd) return;
  if (PostMessageA(d.hwnd, kWakeMsg, 0, 0)) d.wakePosted = true;
}

void Enqueue(QueuedCall call) {
  Dispatcher& d = D();
  std::lock_guard<std::mutex> g(d.queueLock);
  call.seq = d.nextSeq++;
  d.queue.push_back(std::move(call));
  WakeLocked(d);
}

void FinishSend(Dispatcher& d, SendRecord* rec, bool ran, std::exception_ptr err) {
  std::lock_guard<std::mutex> g(d.queueLock);
  rec->ran = ran;
  rec->error = err;
  rec->done = true;
  d.sendDone.notify_all();
}

// Runs the calls queued now (not those queued while they run: those wait
// for the next wake-up or pump pass). Re-entrant: a call that pumps the
// loop takes the next calls from the same queue, so the order is kept.
void DrainQueue() {
  Dispatcher& d = D();
  uint64_t last;
  {
    std::lock_guard<std::mutex> g(d.queueLock);
    d.wakePosted = false;
    last = std::min(d.nextSeq - 1, d.passLimit);
  }
  for (;;) {
    QueuedCall call;
    {
      std::lock_guard<std::mutex> g(d.queueLock);
      if (d.queue.empty() || d.queue.front().seq > last) return;
      call = std::move(d.queue.front());
      d.queue.pop_front();
      if (call.target && !call.target->alive) {
        if (call.send) {
          call.send->done = true;
          d.sendDone.notify_all();
        }
        continue;
      }
    }
    if (call.send) {
      std::exception_ptr err;
      try {
        (*call.send->fn)();
      } catch (...) {
        err = std::current_exception();
      }
      FinishSend(d, call.send, true, err);
    } else {
      try {
        call.fn();
      } catch (...) {
        os::ReportEscaped("posted call");
      }
    }
  }
}

void OnTimer(UINT_PTR uid) {
  Dispatcher& d = D();
  std::shared_ptr<std::function<void()>> fn;
  {
    std::lock_guard<std::mutex> g(d.mapLock);
    auto it = d.timers.find(uid);
    if (it == d.timers.end() || it->second.target.expired()) {
      if (it != d.timers.end()) d.timers.erase(it);
      ::KillTimer(d.hwnd, uid);
      return;
    }
    fn = it->second.fn;
  }
  try {
    (*fn)();
  } catch (...) {
    os::ReportEscaped("timer call");
  }
}

void OnSocket(UINT msg, WPARAM wp, LPARAM lp) {
  Dispatcher& d = D();
  SocketHandle s = SocketHandle(wp);
  unsigned what = WSAGETSELECTEVENT(lp);
  int error = WSAGETSELECTERROR(lp);
  std::shared_ptr<std::function<void(SocketHandle, unsigned, int)>> fn;
  unsigned event = 0;
  {
    std::lock_guard<std::mutex> g(d.mapLock);
    auto it = d.sockets.find(s);
    if (it == d.sockets.end() || it->second.msg != msg || it->second.target.expired()) return;
    unsigned asked = it->second.events;
    // Each system event goes out as the kind that was asked for; a kind
    // not asked for falls back to what a poll() loop would report.
    switch (what) {
      case FD_READ: event = kSocketRead; break;
      case FD_WRITE: event = kSocketWrite; break;
      case FD_ACCEPT: event = (asked & kSocketAccept) ? kSocketAccept : kSocketRead; break;
      case FD_CONNECT: event = (asked & kSocketConnect) ? kSocketConnect : kSocketWrite; break;
      case FD_CLOSE: event = (asked & kSocketClose) ? kSocketClose : kSocketRead; break;
      default: return;
    }
    fn = it->second.fn;
  }
  try {
    (*fn)(s, event, error);
  } catch (...) {
    os::ReportEscaped("socket notification");
  }
}

LRESULT CALLBACK DispatchWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kWakeMsg) {
    DrainQueue();
    return 0;
  }
  if (msg == kQuitMsg) {
    PostQuitMessage(int(wp));
    return 0;
  }
  if (msg == WM_TIMER) {
    OnTimer(wp);
    return 0;
  }
  if (msg >= kSocketMsgFirst && msg <= kSocketMsgLast) {
    OnSocket(msg, wp, lp);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

// Runs fn on the main thread: at once when called there, else queued as an
// internal call that no target's destruction drops.
void OnMainThread(std::function<void()> fn) {
  if (MainLoop::IsMainThread())
    fn();
  else
    Enqueue(QueuedCall{0, nullptr, std::move(fn), nullptr});
}

long EventMask(unsigned events) {
  long mask = 0;
  if (events & kSocketRead) mask |= FD_READ;
  if (events & kSocketWrite) mask |= FD_WRITE;
  if (events & (kSocketAccept | kSocketRead)) mask |= FD_ACCEPT;
  if (events & (kSocketConnect | kSocketWrite)) mask |= FD_CONNECT;
  if (events & (kSocketClose | kSocketRead)) mask |= FD_CLOSE;
  return mask;
}

}  // namespace

struct MessageTarget::State : TargetCore {};

// ----------------------------------------------------------------- MainLoop

void MainLoop::Init() {
  Dispatcher& d = D();
  if (d.hwnd) return;
  HINSTANCE inst = GetModuleHandleA(nullptr);
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DispatchWndProc;
  wc.hInstance = inst;
  wc.lpszClassName = kWindowClass;
  RegisterClassA(&wc);
  HWND hwnd = CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                              nullptr, inst, nullptr);
  std::lock_guard<std::mutex> g(d.queueLock);
  d.mainThread = GetCurrentThreadId();
  d.hwnd = hwnd;
  if (!d.queue.empty()) WakeLocked(d);  // calls queued before the loop existed
}

bool MainLoop::IsMainThread() {
  Dispatcher& d = D();
  const DWORD main = d.mainThread.load();
  return main != 0 && main == GetCurrentThreadId();
}

void MainLoop::Run() {
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void MainLoop::Quit() {
  if (IsMainThread())
    PostQuitMessage(0);
  else if (HWND hwnd = D().hwnd.load())
    PostMessageA(hwnd, kQuitMsg, 0, 0);
}

namespace {

// One pass over what is pending; true when a quit request is pending. The
// request is put back, so that whichever GetMessage loop runs the program
// still ends.
bool PumpPending() {
  Dispatcher& d = D();
  const uint64_t outerLimit = d.passLimit;
  {
    std::lock_guard<std::mutex> g(d.queueLock);
    d.passLimit = d.nextSeq - 1;
  }
  DrainQueue();
  bool quit = false;
  WPARAM quitCode = 0;
  MSG msg;
  for (int i = 0; i < kMaxMessagesPerPass && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
    if (msg.message == WM_QUIT) {
      quit = true;
      quitCode = msg.wParam;
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  {
    std::lock_guard<std::mutex> g(d.queueLock);
    d.passLimit = outerLimit;
    if (!d.queue.empty()) WakeLocked(d);  // what the pass left for later
  }
  if (quit) PostQuitMessage(int(quitCode));
  return quit;
}

}  // namespace

void MainLoop::ProcessMessages() {
  if (IsMainThread()) PumpPending();  // the calls belong to the main thread
}

bool MainLoop::PumpUntil(const std::function<bool()>& pred, int timeoutMs) {
  const int64_t deadline = os::MonotonicRawMs() + timeoutMs;
  for (;;) {
    if (pred()) return true;
    DWORD slice = 10;  // pred may watch what other threads do without posting
    if (timeoutMs >= 0) {
      int64_t left = deadline - os::MonotonicRawMs();
      if (left <= 0) return false;
      slice = DWORD(std::min<int64_t>(left, slice));
    }
    if (!IsMainThread()) {
      Sleep(slice);  // another thread can only watch the predicate
      continue;
    }
    if (PumpPending()) {
      Sleep(1);  // a pending quit keeps the queue "busy": no waiting on it
      continue;
    }
    if (pred()) return true;
    MsgWaitForMultipleObjectsEx(0, nullptr, slice, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

// ------------------------------------------------------------ MessageTarget

MessageTarget::MessageTarget() : state_(std::make_shared<State>()) {}

MessageTarget::~MessageTarget() {
  Dispatcher& d = D();
  {
    // Drop what is queued for this target; waiting senders get false.
    std::lock_guard<std::mutex> g(d.queueLock);
    state_->alive = false;
    auto keep = d.queue.begin();
    for (auto it = d.queue.begin(); it != d.queue.end(); ++it) {
      if (it->target == TargetRef(state_)) {
        if (it->send) it->send->done = true;
      } else {
        if (keep != it) *keep = std::move(*it);
        ++keep;
      }
    }
    d.queue.erase(keep, d.queue.end());
    d.sendDone.notify_all();
  }
  std::vector<UINT_PTR> uids;
  {
    std::lock_guard<std::mutex> g(d.mapLock);
    for (auto& t : state_->timers) {
      d.timers.erase(t.second);
      uids.push_back(t.second);
    }
    state_->timers.clear();
    for (SocketHandle s : state_->sockets) {
      auto it = d.sockets.find(s);
      if (it != d.sockets.end() && it->second.target.lock() == TargetRef(state_)) {
        WSAAsyncSelect(SOCKET(s), d.hwnd, 0, 0);
        d.sockets.erase(it);
      }
    }
    state_->sockets.clear();
  }
  HWND hwnd = d.hwnd;
  if (!hwnd || uids.empty()) return;
  OnMainThread([hwnd, uids] {
    for (UINT_PTR uid : uids) ::KillTimer(hwnd, uid);
  });
}

void MessageTarget::Post(std::function<void()> fn) {
  Enqueue(QueuedCall{0, state_, std::move(fn), nullptr});
}

bool MessageTarget::Send(const std::function<void()>& fn) {
  Dispatcher& d = D();
  // On the main thread (or before there is one) nothing else could run it.
  if (MainLoop::IsMainThread() || !d.hwnd) {
    fn();
    return true;
  }
  SendRecord rec;
  rec.fn = &fn;
  std::unique_lock<std::mutex> g(d.queueLock);
  if (!state_->alive) return false;
  d.queue.push_back(QueuedCall{d.nextSeq++, state_, nullptr, &rec});
  WakeLocked(d);
  d.sendDone.wait(g, [&] { return rec.done; });
  g.unlock();
  if (rec.error) std::rethrow_exception(rec.error);
  return rec.ran;
}

bool MessageTarget::SetTimer(int id, int intervalMs, std::function<void()> fn) {
  if (TimersRefusedForTesting()) {
    KillTimer(id);
    return false;
  }
  Dispatcher& d = D();
  UINT_PTR uid, old = 0;
  {
    std::lock_guard<std::mutex> g(d.mapLock);
    auto it = state_->timers.find(id);
    if (it != state_->timers.end()) {
      old = it->second;
      d.timers.erase(old);
    }
    uid = d.nextTimer++;
    if (d.nextTimer == 0) d.nextTimer = 1;
    state_->timers[id] = uid;
    d.timers[uid] = TimerEntry{state_, std::make_shared<std::function<void()>>(std::move(fn))};
  }
  UINT ms = UINT(std::max(intervalMs, 1));
  TargetWeak weak = state_;
  // False only when the system refused the timer.
  auto start = [old, uid, ms, weak] {
    Dispatcher& d = D();
    if (!d.hwnd) return true;
    if (old) ::KillTimer(d.hwnd, old);
    bool wanted;
    {
      std::lock_guard<std::mutex> g(d.mapLock);
      wanted = d.timers.count(uid) != 0 && !weak.expired();
    }
    return !wanted || ::SetTimer(d.hwnd, uid, ms, nullptr) != 0;
  };
  if (!MainLoop::IsMainThread()) {
    OnMainThread([start] { start(); });
    return true;
  }
  if (start()) return true;
  std::lock_guard<std::mutex> g(d.mapLock);
  d.timers.erase(uid);
  if (auto it = state_->timers.find(id); it != state_->timers.end() && it->second == uid) state_->timers.erase(it);
  return false;
}

void MessageTarget::KillTimer(int id) {
  Dispatcher& d = D();
  UINT_PTR uid;
  {
    std::lock_guard<std::mutex> g(d.mapLock);
    auto it = state_->timers.find(id);
    if (it == state_->timers.end()) return;
    uid = it->second;
    state_->timers.erase(it);
    d.timers.erase(uid);
  }
  OnMainThread([uid] {
    if (HWND hwnd = D().hwnd.load()) ::KillTimer(hwnd, uid);
  });
}

void MessageTarget::WatchSocket(SocketHandle s, unsigned events,
                                std::function<void(SocketHandle, unsigned, int)> fn) {
  if (events == 0 || !fn) {
    UnwatchSocket(s);
    return;
  }
  NetStartup();
  Dispatcher& d = D();
  std::lock_guard<std::mutex> g(d.mapLock);
  auto it = d.sockets.find(s);
  if (it != d.sockets.end()) {
    if (auto owner = it->second.target.lock()) owner->sockets.erase(s);
  }
  SocketWatch w;
  w.target = state_;
  w.msg = d.nextSocketMsg;
  w.events = events;
  w.fn = std::make_shared<std::function<void(SocketHandle, unsigned, int)>>(std::move(fn));
  d.nextSocketMsg = d.nextSocketMsg == kSocketMsgLast ? kSocketMsgFirst : d.nextSocketMsg + 1;
  d.sockets[s] = std::move(w);
  state_->sockets.insert(s);
  WSAAsyncSelect(SOCKET(s), d.hwnd, d.sockets[s].msg, EventMask(events));
}

// Switches the socket's notifications off, whichever target asked for them
// (the system keeps one selection per socket).
void MessageTarget::UnwatchSocket(SocketHandle s) {
  Dispatcher& d = D();
  std::lock_guard<std::mutex> g(d.mapLock);
  auto it = d.sockets.find(s);
  if (it == d.sockets.end()) return;
  if (auto owner = it->second.target.lock()) owner->sockets.erase(s);
  WSAAsyncSelect(SOCKET(s), d.hwnd, 0, 0);
  d.sockets.erase(it);
}

// ---------------------------------------------------------------------- os

namespace os {

MessageTarget& SyncTarget() {
  static MessageTarget* target = new MessageTarget;  // never destroyed
  return *target;
}

}  // namespace os
}  // namespace plat
