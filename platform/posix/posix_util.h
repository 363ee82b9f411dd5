// Internal to the POSIX implementation: what its files share.
#pragma once
#include <poll.h>

#include <cstdint>

#include "platform/dispatcher.h"

namespace plat::posix {

// The Windows Sockets number of an errno value.
int WsaFromErrno(int e);

// A self-pipe that lets one thread wake another out of poll(). Both ends
// are non-blocking; a wake stays pending until Drain.
class WakePipe {
 public:
  WakePipe();
  ~WakePipe();
  WakePipe(const WakePipe&) = delete;
  WakePipe& operator=(const WakePipe&) = delete;
  bool Valid() const { return fds_[0] >= 0; }
  int ReadFd() const { return fds_[0]; }
  void Wake();   // any thread
  void Drain();  // forgets pending wakes

 private:
  int fds_[2] = {-1, -1};
};

// poll() of at most timeoutMs (negative: without limit), restarted after
// signals with the time that is left. Returns poll's result.
int PollRetrying(pollfd* fds, unsigned long n, int timeoutMs);

// Sockets may be closed by one thread while another is blocked on them (a
// foreign Close ends a blocked call). Every call on a socket holds a use of
// its descriptor; CloseSocket shuts the socket down at once, which wakes
// blocked calls, but the descriptor itself is closed by whoever lets go of
// it last, so its number cannot be handed to a new socket while a call
// still works on it.
class SocketUse {
 public:
  explicit SocketUse(SocketHandle s);
  ~SocketUse();
  SocketUse(SocketUse&& o) noexcept : s_(o.s_), ok_(o.ok_) { o.ok_ = false; }
  SocketUse(const SocketUse&) = delete;
  SocketUse& operator=(const SocketUse&) = delete;
  // False when the socket is being closed: the call must not go on.
  explicit operator bool() const { return ok_; }

 private:
  SocketHandle s_;
  bool ok_;
};
// Marks s as closing and shuts it down; the descriptor is closed now or
// when its last use ends. False when it was already closing.
bool CloseWhenUnused(SocketHandle s);

// The dispatcher's side of the socket calls, like the re-enabling rule of
// window-message socket notifications: a notification fires once and comes
// again only after the matching call (recv for read, accept for accept, a
// send that would block for write). Closing a socket ends its watch.
void RearmSocketWatch(SocketHandle s, unsigned events);
void ForgetSocketWatch(SocketHandle s);

}  // namespace plat::posix
