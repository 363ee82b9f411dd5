// The main thread's message loop: everything a hidden window of a
// component would receive (posted and sent messages, timers, socket
// readiness notifications) arrives here as calls on the main thread.
//
// Win32: a message-only window on the main thread; timers are SetTimer
// timers and socket notifications come from WSAAsyncSelect. POSIX: a
// poll() loop with a wake-up pipe.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>

namespace plat {

using SocketHandle = std::uintptr_t;

// Readiness kinds for WatchSocket (combinable).
enum SocketEvent : unsigned {
  kSocketRead = 1,     // data, or a pending connection on a listener
  kSocketWrite = 2,    // writable
  kSocketConnect = 4,  // a non-blocking connect completed (error != 0: failed)
  kSocketAccept = 8,   // a connection waits on a listening socket
  kSocketClose = 16,   // the peer closed
};

class MainLoop {
 public:
  // Makes the calling thread the main thread (once, at start-up; tests call
  // it in their set-up). Calling it again from the same thread is harmless.
  static void Init();
  static bool IsMainThread();

  // Runs until Quit (Win32: the whole GUI message loop).
  static void Run();
  static void Quit();
  // Runs everything that is pending now (posts, sends, due timers, socket
  // notifications) without blocking. Main thread only.
  static void ProcessMessages();
  // Runs the loop until pred() holds or timeoutMs pass; true when it held.
  static bool PumpUntil(const std::function<bool()>& pred, int timeoutMs);
};

// What a component's hidden window is: a target on the main thread for
// posts, sends, timers and socket notifications. Destroying it (on the
// main thread) drops everything still queued for it, kills its timers and
// stops its socket watches, so no call reaches a destroyed owner.
class MessageTarget {
 public:
  MessageTarget();
  ~MessageTarget();
  MessageTarget(const MessageTarget&) = delete;
  MessageTarget& operator=(const MessageTarget&) = delete;

  // Queues fn to run on the main thread; callable from any thread.
  void Post(std::function<void()> fn);
  // Runs fn on the main thread and waits for it (directly when called on
  // the main thread). An exception raised by fn is raised again in the
  // caller. Returns false (without running fn) when the target is
  // destroyed before fn could run.
  bool Send(const std::function<void()>& fn);

  // Window-style timer: fn runs on the main thread every intervalMs until
  // KillTimer. Setting an id again replaces that timer. False when the
  // system has no timer to give (then there is none under id); known on the
  // main thread only: a timer set from another thread starts later and
  // answers true.
  bool SetTimer(int id, int intervalMs, std::function<void()> fn);
  void KillTimer(int id);

  // Asks for notifications about socket s (events: SocketEvent bits); fn
  // receives the socket, the event that happened and an error number
  // (Winsock numbering, 0 for success). Replaces an earlier watch of s.
  // Main thread only.
  void WatchSocket(SocketHandle s, unsigned events,
                   std::function<void(SocketHandle, unsigned event, int error)> fn);
  void UnwatchSocket(SocketHandle s);

 private:
  struct State;
  std::shared_ptr<State> state_;
};

// Test hook: while on, SetTimer makes no timer and answers false, as the
// window system does when it is out of timers.
void RefuseTimersForTesting(bool refuse);
bool TimersRefusedForTesting();

}  // namespace plat
