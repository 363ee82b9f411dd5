#include "core/network.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "platform/clock.h"
#include "platform/sync.h"

using plat::WaitResult;

// A name lookup runs on a helper thread of its own, so that the thread that
// asked can stop waiting when the record is closed; the helper finishes on
// its own and only touches this shared job.
struct TResolveJob {
  plat::Event done{true, false};  // set when the lookup ends or on Close
  std::mutex m;
  bool finished = false;
  uint32_t addr = 0;
  int error = 0;
};

namespace {

// Step of the lookup wait when the record has no time-out.
constexpr int kLookupStepMs = 100;

// Holds a record's operation lock for one operation. When a second thread
// closed the record meanwhile, the handle is released here, by the thread
// that used it.
class OpGuard {
 public:
  explicit OpGuard(TSocketRecord* r) : r_(r) { r_->opLock.lock(); }
  ~OpGuard() {
    {
      std::lock_guard<std::mutex> g(r_->handleLock);
      if (r_->closeWhenDone) {
        r_->closeWhenDone = false;
        if (r_->handle != plat::kInvalidSocket) plat::CloseSocket(r_->handle);
        r_->handle = plat::kInvalidSocket;
        r_->readFill = r_->readPos = 0;
      }
    }
    r_->opLock.unlock();
  }
  OpGuard(const OpGuard&) = delete;
  OpGuard& operator=(const OpGuard&) = delete;

 private:
  TSocketRecord* r_;
};

// Closes the handle; the caller holds the operation lock.
void CloseOwned(TSocketRecord* r) {
  std::lock_guard<std::mutex> g(r->handleLock);
  if (r->handle != plat::kInvalidSocket) {
    plat::ShutdownSocket(r->handle);
    plat::CloseSocket(r->handle);
  }
  r->handle = plat::kInvalidSocket;
  r->closeWhenDone = false;
  r->state = kStateClosed;
  r->readFill = r->readPos = 0;
  if (r->lookup) {
    r->lookup->done.Set();
    r->lookup.reset();
  }
}

// Start of Listen/Connect/Accept: close what is open and forget old wakes.
void Reopen(TSocketRecord* r) {
  CloseOwned(r);
  r->closing = false;
  r->cancelPending = false;
  r->waiter.Clear();
}

// Installs a new handle; false (handle closed) when Close came first.
bool Adopt(TSocketRecord* r, plat::SocketHandle s, int state) {
  std::lock_guard<std::mutex> g(r->handleLock);
  if (r->closing) {
    plat::CloseSocket(s);
    return false;
  }
  r->handle = s;
  r->state = state;
  return true;
}

int Fail(TSocketRecord* r, int code) {
  CloseOwned(r);
  return code;
}

int LastCode() {
  int e = plat::LastNetError();
  int code = NetErrorToCode(e);
  return code == 0 ? kNetOtherError : code;
}

void FillAddresses(TSocketRecord* r) {
  uint32_t a = 0;
  uint16_t p = 0;
  if (plat::LocalAddress(r->handle, &a, &p)) {
    r->localIP = a;
    r->localPort = p;
  }
  a = 0;
  p = 0;
  if (plat::PeerAddress(r->handle, &a, &p)) {
    r->remoteIP = a;
    r->remotePort = p;
  } else {
    r->remoteIP = 0;
    r->remotePort = 0;
  }
}

void ResetRates(TSocketRecord* r) {
  r->bytesSent = r->bytesReceived = 0;
  r->windowStartMs = r->lastUpdateMs = plat::MonotonicMs();
  r->sendRate = 0;
  r->receiveRate = 0;
}

void UpdateRates(TSocketRecord* r, int sent, int received) {
  int64_t now = plat::MonotonicMs();
  r->lastUpdateMs = now;
  r->bytesSent += sent;
  r->bytesReceived += received;
  // Bytes that all came within the window's first millisecond still make
  // a rate (as if over one millisecond), never 0.
  const int64_t elapsed = std::max<int64_t>(1, now - r->windowStartMs);
  r->sendRate = int((r->bytesSent * 1000 + elapsed / 2) / elapsed);
  r->receiveRate = int((r->bytesReceived * 1000 + elapsed / 2) / elapsed);
  if (r->bytesSent > kRateWindowBytes || r->bytesReceived > kRateWindowBytes) {
    r->windowStartMs = now;
    r->bytesSent = r->bytesReceived = 0;
  }
}

// Milliseconds left of a wait that ends at deadline (-1: no deadline).
int Remaining(int64_t deadline) {
  if (deadline < 0) return -1;
  int64_t left = deadline - plat::MonotonicMs();
  if (left < 0) return 0;
  return left > 0x7fffffff ? 0x7fffffff : int(left);
}

int64_t DeadlineIn(int64_t ms) { return ms < 0 ? -1 : plat::MonotonicMs() + ms; }

// Waits on the record's waiter (or a listener's). The socket stays
// non-blocking, so that no call ever blocks outside a wakeable wait.
WaitResult WaitOn(TSocketRecord* r, unsigned what, int ms) { return r->waiter.Wait(r->handle, what, ms); }

// After a wake: the wake is consumed; true when the record was closed.
bool WokenByClose(TSocketRecord* r) {
  r->waiter.Clear();
  return r->closing.load();
}

// Looks a host name up without blocking Close: dotted text at once, names
// on a helper thread. 0 or a code; *addr in host order.
int Resolve(TSocketRecord* r, const std::string& host, uint32_t* addr) {
  if (plat::TextToAddress(host, addr)) return kNetOk;
  if (host.empty()) return kNetHostNotFound;
  auto job = std::make_shared<TResolveJob>();
  {
    std::lock_guard<std::mutex> g(r->handleLock);
    if (r->closing) return kNetPeerClosed;
    r->lookup = job;
    r->state = kStateResolving;
  }
  try {
    std::thread([job, host] {
      uint32_t a = 0;
      int e = 0;
      bool ok = plat::ResolveHost(host, &a, &e);
      std::lock_guard<std::mutex> g(job->m);
      job->finished = true;
      job->addr = a;
      job->error = ok ? 0 : (e != 0 ? e : plat::kWsaHOST_NOT_FOUND);
      job->done.Set();
    }).detach();
  } catch (...) {
    std::lock_guard<std::mutex> g(r->handleLock);
    r->lookup.reset();
    return kNetFailed;
  }
  int64_t deadline = r->timeOut > 0 ? plat::MonotonicMs() + int64_t(r->timeOut) * 1000 : -1;
  for (;;) {
    int step = r->timeOut > 0 ? Remaining(deadline) : kLookupStepMs;
    job->done.Wait(step);
    {
      std::lock_guard<std::mutex> g(job->m);
      if (job->finished) {
        std::lock_guard<std::mutex> h(r->handleLock);
        r->lookup.reset();
        if (job->error != 0) {
          int code = NetErrorToCode(job->error);
          return code == 0 ? kNetOtherError : code;
        }
        *addr = job->addr;
        return kNetOk;
      }
    }
    if (r->closing) return kNetPeerClosed;
    if (deadline >= 0 && Remaining(deadline) == 0) {
      std::lock_guard<std::mutex> h(r->handleLock);
      r->lookup.reset();
      return kNetTimeout;
    }
  }
}

}  // namespace

int NetErrorToCode(int e) {
  using namespace plat;
  switch (e) {
    case 0:
      return kNetOk;
    case kWsaENETRESET:
    case kWsaECONNABORTED:
    case kWsaECONNRESET:
    case kWsaESHUTDOWN:
      return kNetDropped;
    case kWsaEADDRINUSE:
    case kWsaEADDRNOTAVAIL:
      return kNetAddressInUse;
    case kWsaENETDOWN:
    case kWsaENETUNREACH:
    case kWsaSYSNOTREADY:
    case kWsaNOTINITIALISED:
      return kNetDown;
    case kWsaENOBUFS:
      return kNetNoBuffers;
    case kWsaECONNREFUSED:
      return kNetRefused;
    case kWsaEHOSTDOWN:
    case kWsaEHOSTUNREACH:
      return kNetHostUnreachable;
    case kWsaHOST_NOT_FOUND:
    case kWsaTRY_AGAIN:
    case kWsaNO_RECOVERY:
    case kWsaNO_DATA:
      return kNetHostNotFound;
    case kWsaETIMEDOUT:
      return kNetTimeout;
    default:
      return kNetOtherError;
  }
}

TSocketRecord* NetCreate() {
  plat::NetStartup();
  auto* r = new TSocketRecord();
  if (!r->waiter.Valid()) {
    delete r;
    return nullptr;
  }
  r->localIP = plat::OwnFirstAddress();
  ResetRates(r);
  return r;
}

void NetDestroy(TSocketRecord* r) {
  if (!r) return;
  r->closing = true;
  {
    OpGuard g(r);
    CloseOwned(r);
  }
  delete r;
}

int NetListen(TSocketRecord* r, const std::string& address, int port, bool reuse) {
  OpGuard g(r);
  Reopen(r);
  uint32_t addr = 0;
  if (!address.empty() && !plat::TextToAddress(address, &addr)) return kNetAddressInUse;
  if (port < 0 || port > 65535) return kNetAddressInUse;
  plat::SocketHandle s = plat::TcpSocket();
  if (s == plat::kInvalidSocket) return kNetFailed;
  if (!Adopt(r, s, kStateCreated)) return kNetPeerClosed;
  plat::SetReuseAddress(s, reuse);
  if (!plat::BindSocket(s, addr, uint16_t(port)) || !plat::ListenSocket(s, 5000) ||
      !plat::SetNonBlocking(s, true)) {
    int code = LastCode();
    return Fail(r, code);
  }
  r->state = kStateListening;
  FillAddresses(r);
  ResetRates(r);
  return kNetOk;
}

int NetAccept(TSocketRecord* r, TSocketRecord* listener) {
  OpGuard g(r);
  Reopen(r);
  if (listener == r) return kNetNotOpen;
  OpGuard lg(listener);
  if (listener->state != kStateListening || listener->handle == plat::kInvalidSocket)
    return kNetNotOpen;
  int64_t deadline = r->timeOut > 0 ? DeadlineIn(int64_t(r->timeOut) * 1000) : -1;
  for (;;) {
    if (listener->closing || r->closing) return kNetPeerClosed;
    uint32_t a = 0;
    uint16_t p = 0;
    plat::SocketHandle s = plat::AcceptSocket(listener->handle, &a, &p);
    if (s != plat::kInvalidSocket) {
      plat::SetNonBlocking(s, true);
      if (!Adopt(r, s, kStateConnected)) return kNetPeerClosed;
      FillAddresses(r);
      r->remoteIP = a;
      r->remotePort = p;
      ResetRates(r);
      return kNetOk;
    }
    int e = plat::LastNetError();
    if (e != plat::kWsaEWOULDBLOCK) {
      if (listener->closing || r->closing) return kNetPeerClosed;
      // A connection reset before it was taken is no failure of the listener.
      if (e == plat::kWsaECONNABORTED || e == plat::kWsaECONNRESET || e == plat::kWsaEINTR) continue;
      return kNetFailed;
    }
    WaitResult w = WaitOn(listener, plat::kWaitRead, Remaining(deadline));
    if (w == WaitResult::kTimeout) return kNetTimeout;
    if (w == WaitResult::kWoken) {
      if (WokenByClose(listener)) return kNetPeerClosed;
      listener->cancelPending = false;
    }
    if (w == WaitResult::kError && (listener->closing || r->closing)) return kNetPeerClosed;
  }
}

int NetConnect(TSocketRecord* r, const std::string& host, int port) {
  OpGuard g(r);
  Reopen(r);
  if (port <= 0 || port > 65535) return kNetAddressInUse;
  uint32_t addr = 0;
  int rc = Resolve(r, host, &addr);
  if (rc != kNetOk) return Fail(r, rc);
  if (addr == 0) return Fail(r, kNetAddressInUse);
  plat::SocketHandle s = plat::TcpSocket();
  if (s == plat::kInvalidSocket) return Fail(r, kNetFailed);
  if (!Adopt(r, s, kStateConnecting)) return Fail(r, kNetPeerClosed);
  if (!plat::SetNonBlocking(s, true)) return Fail(r, LastCode());
  uint32_t bind = r->bindAddress;
  if (bind != 0 && !plat::BindSocket(s, bind, 0)) return Fail(r, LastCode());
  if (!plat::ConnectSocket(s, addr, uint16_t(port))) {
    int e = plat::LastNetError();
    if (e != plat::kWsaEWOULDBLOCK && e != plat::kWsaEINPROGRESS) {
      int code = NetErrorToCode(e);
      return Fail(r, code == 0 ? kNetOtherError : code);
    }
    int64_t deadline = DeadlineIn(kConnectWaitMs);
    for (;;) {
      if (r->closing) return Fail(r, kNetPeerClosed);
      WaitResult w = WaitOn(r, plat::kWaitWrite, Remaining(deadline));
      if (w == WaitResult::kTimeout) return Fail(r, kNetTimeout);
      if (w == WaitResult::kWoken) {
        if (WokenByClose(r)) return Fail(r, kNetPeerClosed);
        if (r->cancelPending.exchange(false)) return Fail(r, kNetTimeout);
        continue;
      }
      int err = plat::SocketError(s);
      if (err != 0) {
        int code = NetErrorToCode(err);
        return Fail(r, code == 0 ? kNetOtherError : code);
      }
      uint32_t pa = 0;
      uint16_t pp = 0;
      if (!plat::PeerAddress(s, &pa, &pp)) {
        int code = NetErrorToCode(plat::LastNetError());
        // Not connected and no reason given: the other side refused.
        return Fail(r, code == 0 || code == kNetOtherError ? kNetRefused : code);
      }
      break;
    }
  }
  r->state = kStateConnected;
  FillAddresses(r);
  ResetRates(r);
  return kNetOk;
}

namespace {

// One receive or send of at most count bytes, waiting (within the time-out)
// while the socket is not ready. io returns the bytes moved or -1 with the
// error in LastNetError; for a receive, 0 means the peer closed.
template <class Io>
int Transfer(TSocketRecord* r, int count, unsigned waitFor, Io io) {
  OpGuard g(r);
  if (r->state != kStateConnected || r->handle == plat::kInvalidSocket) return kNetNotOpen;
  if (count <= 0) return 0;
  const bool receiving = waitFor == plat::kWaitRead;
  int64_t deadline = r->timeOut > 0 ? DeadlineIn(int64_t(r->timeOut) * 1000) : -1;
  for (;;) {
    if (r->closing) return kNetPeerClosed;
    int n = io(r->handle);
    if (n > 0) {
      UpdateRates(r, receiving ? 0 : n, receiving ? n : 0);
      return n;
    }
    if (n == 0 && receiving) return kNetPeerClosed;
    int e = n == 0 ? plat::kWsaEWOULDBLOCK : plat::LastNetError();
    if (e != plat::kWsaEWOULDBLOCK && e != plat::kWsaEINTR) {
      if (r->closing) return kNetPeerClosed;
      int code = NetErrorToCode(e);
      return code == 0 ? kNetOtherError : code;
    }
    WaitResult w = WaitOn(r, waitFor, Remaining(deadline));
    if (w == WaitResult::kTimeout) return Fail(r, kNetTimeout);
    if (w == WaitResult::kWoken && WokenByClose(r)) return kNetPeerClosed;
  }
}

}  // namespace

int NetRecv(TSocketRecord* r, void* buf, int count) {
  return Transfer(r, count, plat::kWaitRead,
                  [&](plat::SocketHandle s) { return plat::RecvSocket(s, buf, count); });
}

int NetSend(TSocketRecord* r, const void* buf, int count) {
  return Transfer(r, count, plat::kWaitWrite,
                  [&](plat::SocketHandle s) { return plat::SendSocket(s, buf, count); });
}

int NetReadExact(TSocketRecord* r, void* buf, int count) {
  OpGuard g(r);
  auto* out = static_cast<unsigned char*>(buf);
  int got = 0;
  int have = r->readFill - r->readPos;
  if (have > 0) {
    int take = have < count ? have : count;
    std::memcpy(out, r->readAhead + r->readPos, size_t(take));
    r->readPos += take;
    got = take;
  }
  while (got < count) {
    int n = NetRecv(r, out + got, count - got);
    if (n < 0) return n;
    got += n;
  }
  return got;
}

int NetWriteAll(TSocketRecord* r, const void* buf, int count) {
  OpGuard g(r);
  const auto* in = static_cast<const unsigned char*>(buf);
  int done = 0;
  while (done < count) {
    int n = NetSend(r, in + done, count - done);
    if (n < 0) return n;
    done += n;
  }
  return done;
}

int NetReadByte(TSocketRecord* r) {
  OpGuard g(r);
  if (r->readPos >= r->readFill) {
    r->readPos = r->readFill = 0;
    int n = NetRecv(r, r->readAhead, kReadAheadSize);
    if (n < 0) return n;
    r->readFill = n;
  }
  return r->readAhead[r->readPos++];
}

int NetBytesAvailable(TSocketRecord* r) {
  OpGuard g(r);
  if (r->state != kStateConnected || r->handle == plat::kInvalidSocket) return kNetNotOpen;
  if (r->closing) return kNetPeerClosed;
  WaitResult w = WaitOn(r, plat::kWaitRead, 0);
  if (w == WaitResult::kWoken) {
    if (WokenByClose(r)) return kNetPeerClosed;
    // A Cancel is not lost: cancelPending still tells WaitReadable.
    w = WaitOn(r, plat::kWaitRead, 0);
    if (w == WaitResult::kWoken) return 0;
  }
  if (w == WaitResult::kTimeout) return 0;
  if (w == WaitResult::kError) return kNetPeerClosed;
  int n = plat::ReadableBytes(r->handle);
  return n > 0 ? n : kNetPeerClosed;
}

int NetWaitReadable(TSocketRecord* r, int ms) {
  OpGuard g(r);
  if (r->readPos < r->readFill) return kNetOk;
  if (r->state != kStateConnected || r->handle == plat::kInvalidSocket) return kNetNotOpen;
  if (r->cancelPending.exchange(false)) return kNetOk;
  int64_t deadline = DeadlineIn(ms);
  for (;;) {
    if (r->closing) return kNetPeerClosed;
    WaitResult w = WaitOn(r, plat::kWaitRead, Remaining(deadline));
    switch (w) {
      case WaitResult::kReady:
      case WaitResult::kError:  // the next read reports it
        return kNetOk;
      case WaitResult::kTimeout:
        return kNetTimeout;
      case WaitResult::kWoken:
        if (WokenByClose(r)) return kNetPeerClosed;
        if (r->cancelPending.exchange(false)) return kNetOk;
        break;
    }
  }
}

void NetCancel(TSocketRecord* r) {
  r->cancelPending = true;
  r->waiter.Wake();
}

void NetClose(TSocketRecord* r) {
  r->closing = true;
  r->waiter.Wake();
  if (r->opLock.try_lock()) {
    CloseOwned(r);
    r->opLock.unlock();
    return;
  }
  // Another thread is inside an operation: shut the connection down (which
  // ends its wait) and leave the handle for that thread to close.
  std::lock_guard<std::mutex> g(r->handleLock);
  if (r->lookup) r->lookup->done.Set();
  if (r->handle != plat::kInvalidSocket) {
    plat::ShutdownSocket(r->handle);
    r->closeWhenDone = true;
  }
  r->state = kStateClosed;
}

bool NetConnected(TSocketRecord* r) {
  int s = r->state;
  return s == kStateListening || s == kStateConnected;
}
