#include "platform/posix/posix_util.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

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
