#include "platform/posix/posix_util.h"

#include <errno.h>
#include <sys/socket.h>
#include <fcntl.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

#include "platform/net.h"

namespace plat::posix {

int WsaFromErrno(int e) {
  switch (e) {
    case 0: return 0;
    case EINTR: return kWsaEINTR;
    case EBADF: return kWsaEBADF;
    case EACCES:
    case EPERM: return kWsaEACCES;
    case EFAULT: return kWsaEFAULT;
    case EINVAL: return kWsaEINVAL;
    case EMFILE:
    case ENFILE: return kWsaEMFILE;
#if EAGAIN != EWOULDBLOCK
    case EAGAIN:
#endif
    case EWOULDBLOCK: return kWsaEWOULDBLOCK;
    case EINPROGRESS: return kWsaEINPROGRESS;
    case EALREADY: return kWsaEALREADY;
    case ENOTSOCK: return kWsaENOTSOCK;
    case EDESTADDRREQ: return kWsaEDESTADDRREQ;
    case EMSGSIZE: return kWsaEMSGSIZE;
    case EPROTOTYPE: return kWsaEPROTOTYPE;
    case ENOPROTOOPT: return kWsaENOPROTOOPT;
    case EPROTONOSUPPORT: return kWsaEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return kWsaESOCKTNOSUPPORT;
    case EOPNOTSUPP: return kWsaEOPNOTSUPP;
    case EPFNOSUPPORT: return kWsaEPFNOSUPPORT;
    case EAFNOSUPPORT: return kWsaEAFNOSUPPORT;
    case EADDRINUSE: return kWsaEADDRINUSE;
    case EADDRNOTAVAIL: return kWsaEADDRNOTAVAIL;
    case ENETDOWN: return kWsaENETDOWN;
    case ENETUNREACH: return kWsaENETUNREACH;
    case ENETRESET: return kWsaENETRESET;
    case ECONNABORTED: return kWsaECONNABORTED;
    // Sending into a connection the peer has reset: what Windows reports
    // for the same situation.
    case EPIPE:
    case ECONNRESET: return kWsaECONNRESET;
    case ENOBUFS:
    case ENOMEM: return kWsaENOBUFS;
    case EISCONN: return kWsaEISCONN;
    case ENOTCONN: return kWsaENOTCONN;
    case ESHUTDOWN: return kWsaESHUTDOWN;
    case ETOOMANYREFS: return kWsaETOOMANYREFS;
    case ETIMEDOUT: return kWsaETIMEDOUT;
    case ECONNREFUSED: return kWsaECONNREFUSED;
    case ELOOP: return kWsaELOOP;
    case ENAMETOOLONG: return kWsaENAMETOOLONG;
    case EHOSTDOWN: return kWsaEHOSTDOWN;
    case EHOSTUNREACH: return kWsaEHOSTUNREACH;
    default: return kWsaEINVAL;
  }
}

WakePipe::WakePipe() {
  if (pipe2(fds_, O_NONBLOCK | O_CLOEXEC) != 0) fds_[0] = fds_[1] = -1;
}

WakePipe::~WakePipe() {
  if (fds_[0] >= 0) close(fds_[0]);
  if (fds_[1] >= 0) close(fds_[1]);
}

void WakePipe::Wake() {
  if (fds_[1] < 0) return;
  const char b = 1;
  // A full pipe already wakes the reader: nothing is lost.
  while (write(fds_[1], &b, 1) < 0 && errno == EINTR) {
  }
}

void WakePipe::Drain() {
  if (fds_[0] < 0) return;
  char buf[256];
  for (;;) {
    const ssize_t n = read(fds_[0], buf, sizeof buf);
    if (n > 0) continue;
    if (n < 0 && errno == EINTR) continue;
    break;
  }
}

namespace {

// Per descriptor: the number of calls using it, and a closing mark. The
// table grows in chunks that are never freed, so a slot stays valid.
constexpr uint32_t kClosing = 0x80000000u;
constexpr int kChunkBits = 10;
constexpr int kChunkSize = 1 << kChunkBits;
constexpr int kChunks = 4096;  // descriptors below 4M are tracked
std::atomic<std::atomic<uint32_t>*> chunks[kChunks];

std::atomic<uint32_t>* Slot(SocketHandle s) {
  if (s >= SocketHandle(kChunkSize) * kChunks) return nullptr;
  std::atomic<std::atomic<uint32_t>*>& chunk = chunks[s >> kChunkBits];
  std::atomic<uint32_t>* p = chunk.load();
  if (!p) {
    auto* fresh = new std::atomic<uint32_t>[kChunkSize]();
    if (chunk.compare_exchange_strong(p, fresh))
      p = fresh;
    else
      delete[] fresh;
  }
  return &p[s & (kChunkSize - 1)];
}

// Closes the descriptor if it is marked closing and nobody uses it; of
// several threads trying, one succeeds.
void FinishClose(std::atomic<uint32_t>* slot, SocketHandle s) {
  uint32_t expect = kClosing;
  if (slot->compare_exchange_strong(expect, 0)) close(int(s));
}

}  // namespace

SocketUse::SocketUse(SocketHandle s) : s_(s), ok_(true) {
  std::atomic<uint32_t>* slot = Slot(s);
  if (!slot) return;
  if (slot->fetch_add(1) & kClosing) {
    if (slot->fetch_sub(1) - 1 == kClosing) FinishClose(slot, s);
    ok_ = false;
  }
}

SocketUse::~SocketUse() {
  if (!ok_) return;
  std::atomic<uint32_t>* slot = Slot(s_);
  if (slot && slot->fetch_sub(1) - 1 == kClosing) FinishClose(slot, s_);
}

bool CloseWhenUnused(SocketHandle s) {
  std::atomic<uint32_t>* slot = Slot(s);
  if (!slot) {
    shutdown(int(s), SHUT_RDWR);
    close(int(s));
    return true;
  }
  const uint32_t before = slot->fetch_or(kClosing);
  if (before & kClosing) return false;
  shutdown(int(s), SHUT_RDWR);
  if (before == 0) FinishClose(slot, s);
  return true;
}

int PollRetrying(pollfd* fds, unsigned long n, int timeoutMs) {
  timespec start{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  int left = timeoutMs;
  for (;;) {
    const int r = poll(fds, nfds_t(n), left);
    if (r >= 0 || errno != EINTR) return r;
    if (timeoutMs < 0) continue;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const int64_t spent = (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
    left = spent >= timeoutMs ? 0 : int(timeoutMs - spent);
  }
}

}  // namespace plat::posix
