#include "platform/net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/posix/posix_util.h"

namespace plat {
namespace {

thread_local int lastError = 0;

// Records errno as this thread's last error; returns the given result.
template <class T>
T Fail(T result, int e = errno) {
  lastError = posix::WsaFromErrno(e);
  return result;
}

sockaddr_in MakeAddr(uint32_t addr, uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(addr);
  a.sin_port = htons(port);
  return a;
}

void ReadAddr(const sockaddr_in& a, uint32_t* addr, uint16_t* port) {
  if (addr) *addr = ntohl(a.sin_addr.s_addr);
  if (port) *port = ntohs(a.sin_port);
}

int Fd(SocketHandle s) { return int(s); }

// What a call on a socket that another thread is closing reports.
template <class T>
T Closing(T result) {
  lastError = kWsaENOTSOCK;
  return result;
}

bool SetFlag(SocketHandle s, int level, int name, bool on) {
  posix::SocketUse use(s);
  if (!use) return Closing(false);
  const int v = on ? 1 : 0;
  if (setsockopt(Fd(s), level, name, &v, sizeof v) != 0) return Fail(false);
  return true;
}

}  // namespace

bool NetStartup() {
  static std::once_flag once;
  // A peer that goes away must never end the process with SIGPIPE; sends
  // also pass MSG_NOSIGNAL, this covers everything else.
  std::call_once(once, [] { signal(SIGPIPE, SIG_IGN); });
  return true;
}

namespace {
std::atomic<int> netUsers{0};
}  // namespace

bool NetAcquire() {
  NetStartup();
  netUsers.fetch_add(1);
  return true;
}

void NetRelease() { netUsers.fetch_sub(1); }

int NetUsers() { return netUsers.load(); }

int LastNetError() { return lastError; }

SocketHandle TcpSocket() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return Fail(kInvalidSocket);
  return SocketHandle(fd);
}

void CloseSocket(SocketHandle s) {
  if (s == kInvalidSocket) return;
  posix::ForgetSocketWatch(s);
  // Closing alone does not wake a thread blocked on the socket here (it
  // does on Windows); the shutdown in there does.
  posix::CloseWhenUnused(s);
}

void ShutdownSocket(SocketHandle s) {
  posix::SocketUse use(s);
  if (use) shutdown(Fd(s), SHUT_RDWR);
}

bool SetNonBlocking(SocketHandle s, bool on) {
  posix::SocketUse use(s);
  if (!use) return Closing(false);
  const int flags = fcntl(Fd(s), F_GETFL);
  if (flags < 0) return Fail(false);
  const int want = on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK;
  if (want != flags && fcntl(Fd(s), F_SETFL, want) != 0) return Fail(false);
  return true;
}

// On Windows a listener may bind a port that old connections still hold
// in TIME_WAIT; here only SO_REUSEADDR allows that. It never allows binding
// over a live listener on this system, so BindSocket always sets it: the
// flag given here cannot make a difference between the two systems.
bool SetReuseAddress(SocketHandle s, bool on) { return SetFlag(s, SOL_SOCKET, SO_REUSEADDR, on); }

bool SetNoDelay(SocketHandle s, bool on) { return SetFlag(s, IPPROTO_TCP, TCP_NODELAY, on); }

bool BindSocket(SocketHandle s, uint32_t addr, uint16_t port) {
  posix::SocketUse use(s);
  if (!use) return Closing(false);
  SetReuseAddress(s, true);
  const sockaddr_in a = MakeAddr(addr, port);
  if (bind(Fd(s), reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) return Fail(false);
  return true;
}

bool ListenSocket(SocketHandle s, int backlog) {
  posix::SocketUse use(s);
  if (!use) return Closing(false);
  if (listen(Fd(s), backlog) != 0) return Fail(false);
  return true;
}

SocketHandle AcceptSocket(SocketHandle s, uint32_t* addr, uint16_t* port) {
  posix::SocketUse use(s);
  if (!use) return Closing(kInvalidSocket);
  sockaddr_in a{};
  socklen_t len = sizeof a;
  int fd;
  do {
    fd = accept4(Fd(s), reinterpret_cast<sockaddr*>(&a), &len, SOCK_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  const int e = errno;
  posix::RearmSocketWatch(s, kSocketAccept | kSocketRead);
  if (fd < 0) return Fail(kInvalidSocket, e);
  ReadAddr(a, addr, port);
  return SocketHandle(fd);
}

bool ConnectSocket(SocketHandle s, uint32_t addr, uint16_t port) {
  // Linux would reach this machine through 0.0.0.0; Windows refuses it.
  if (addr == 0) {
    lastError = kWsaEADDRNOTAVAIL;
    return false;
  }
  posix::SocketUse use(s);
  if (!use) return Closing(false);
  const sockaddr_in a = MakeAddr(addr, port);
  if (connect(Fd(s), reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) return true;
  if (errno == EINPROGRESS) {
    lastError = kWsaEWOULDBLOCK;  // the number Windows gives a started connect
    return false;
  }
  if (errno != EINTR) return Fail(false);
  // A blocking connect interrupted by a signal goes on in the background:
  // wait for its end.
  pollfd p{Fd(s), POLLOUT, 0};
  if (posix::PollRetrying(&p, 1, -1) < 0) return Fail(false);
  const int e = SocketError(s);
  if (e != 0) {
    lastError = e;
    return false;
  }
  return true;
}

int SocketError(SocketHandle s) {
  posix::SocketUse use(s);
  if (!use) return kWsaENOTSOCK;
  int e = 0;
  socklen_t len = sizeof e;
  if (getsockopt(Fd(s), SOL_SOCKET, SO_ERROR, &e, &len) != 0) e = errno;
  return posix::WsaFromErrno(e);
}

int SendSocket(SocketHandle s, const void* buf, int len) {
  if (len < 0) {
    lastError = kWsaEINVAL;
    return -1;
  }
  posix::SocketUse use(s);
  if (!use) return Closing(-1);
  ssize_t n;
  do {
    n = send(Fd(s), buf, size_t(len), MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  if (n >= 0) return int(n);
  const int e = errno;
  if (e == EAGAIN || e == EWOULDBLOCK) posix::RearmSocketWatch(s, kSocketWrite);
  return Fail(-1, e);
}

int RecvSocket(SocketHandle s, void* buf, int len) {
  if (len < 0) {
    lastError = kWsaEINVAL;
    return -1;
  }
  posix::SocketUse use(s);
  if (!use) return Closing(-1);
  ssize_t n;
  do {
    n = recv(Fd(s), buf, size_t(len), 0);
  } while (n < 0 && errno == EINTR);
  const int e = errno;
  posix::RearmSocketWatch(s, kSocketRead);
  if (n >= 0) return int(n);
  return Fail(-1, e);
}

int ReadableBytes(SocketHandle s) {
  posix::SocketUse use(s);
  if (!use) return Closing(-1);
  int n = 0;
  if (ioctl(Fd(s), FIONREAD, &n) != 0) return Fail(-1);
  return n;
}

namespace {

bool AddressOf(int (*get)(int, sockaddr*, socklen_t*), SocketHandle s, uint32_t* addr,
               uint16_t* port) {
  posix::SocketUse use(s);
  if (!use) return Closing(false);
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (get(Fd(s), reinterpret_cast<sockaddr*>(&a), &len) != 0) return Fail(false);
  ReadAddr(a, addr, port);
  return true;
}

}  // namespace

bool LocalAddress(SocketHandle s, uint32_t* addr, uint16_t* port) {
  return AddressOf(getsockname, s, addr, port);
}

bool PeerAddress(SocketHandle s, uint32_t* addr, uint16_t* port) {
  return AddressOf(getpeername, s, addr, port);
}

// ------------------------------------------------------------ SocketWaiter

struct SocketWaiter::Impl {
  posix::WakePipe pipe;
};

// poll leaves a socket's mode as it is.
SocketWaiter::SocketWaiter(Mode) : impl_(std::make_unique<Impl>()) {}
SocketWaiter::~SocketWaiter() = default;

bool SocketWaiter::Valid() const { return impl_->pipe.Valid(); }

WaitResult SocketWaiter::Wait(SocketHandle s, unsigned what, int ms) {
  if (!Valid()) return WaitResult::kError;
  posix::SocketUse use(s);
  if (!use) return Closing(WaitResult::kError);
  short ev = 0;
  if (what & kWaitRead) ev |= POLLIN;
  if (what & kWaitWrite) ev |= POLLOUT;
  // An invalid socket (-1 to poll) is passed over: the wait is then one
  // for a wake or the time-out only.
  pollfd p[2] = {{impl_->pipe.ReadFd(), POLLIN, 0}, {s == kInvalidSocket ? -1 : Fd(s), ev, 0}};
  const int r = posix::PollRetrying(p, 2, ms);
  if (r < 0) return Fail(WaitResult::kError);
  if (p[0].revents) return WaitResult::kWoken;
  if (r == 0) return WaitResult::kTimeout;
  if (p[1].revents & POLLNVAL) {
    lastError = kWsaENOTSOCK;
    return WaitResult::kError;
  }
  // Errors and hang-ups count as ready: the next call on the socket
  // reports them, as on Windows.
  return WaitResult::kReady;
}

void SocketWaiter::Wake() { impl_->pipe.Wake(); }

void SocketWaiter::Clear() { impl_->pipe.Drain(); }

// ------------------------------------------------------------- addresses

std::string AddressToText(uint32_t addr) {
  return std::to_string(addr >> 24) + "." + std::to_string((addr >> 16) & 255) + "." +
         std::to_string((addr >> 8) & 255) + "." + std::to_string(addr & 255);
}

bool TextToAddress(const std::string& text, uint32_t* addr) {
  uint32_t result = 0;
  int parts = 0;
  size_t i = 0;
  while (parts < 4) {
    uint32_t v = 0;
    size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4) {
      v = v * 10 + uint32_t(text[i] - '0');
      ++i;
      ++digits;
    }
    if (digits == 0 || digits > 3 || v > 255) return false;
    result = (result << 8) | v;
    ++parts;
    if (parts < 4) {
      if (i >= text.size() || text[i] != '.') return false;
      ++i;
    }
  }
  if (i != text.size()) return false;
  if (addr) *addr = result;
  return true;
}

bool ResolveHost(const std::string& host, uint32_t* addr, int* error, std::string* canonical) {
  if (canonical) *canonical = host;
  int dummy = 0;
  if (!error) error = &dummy;
  *error = 0;
  if (!host.empty() && host.find_first_not_of("0123456789") == std::string::npos) {
    // Digits only: the address as one number, host order.
    uint64_t v = 0;
    for (char c : host) {
      v = v * 10 + uint64_t(c - '0');
      if (v > 0xFFFFFFFFu) {
        *error = kWsaHOST_NOT_FOUND;
        return false;
      }
    }
    if (addr) *addr = uint32_t(v);
    return true;
  }
  if (TextToAddress(host, addr)) return true;
  if (host.empty()) {
    *error = kWsaHOST_NOT_FOUND;
    return false;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  if (canonical) hints.ai_flags = AI_CANONNAME;
  addrinfo* res = nullptr;
  const int r = getaddrinfo(host.c_str(), nullptr, &hints, &res);
  if (r != 0 || !res) {
    switch (r) {
      case EAI_AGAIN: *error = kWsaTRY_AGAIN; break;
      case EAI_FAIL: *error = kWsaNO_RECOVERY; break;
#ifdef EAI_NODATA
      case EAI_NODATA: *error = kWsaNO_DATA; break;
#endif
#ifdef EAI_ADDRFAMILY
      case EAI_ADDRFAMILY: *error = kWsaNO_DATA; break;
#endif
      case EAI_SYSTEM: *error = posix::WsaFromErrno(errno); break;
      default: *error = kWsaHOST_NOT_FOUND; break;
    }
    if (res) freeaddrinfo(res);
    return false;
  }
  if (addr) *addr = ntohl(reinterpret_cast<const sockaddr_in*>(res->ai_addr)->sin_addr.s_addr);
  if (canonical && res->ai_canonname && *res->ai_canonname) *canonical = res->ai_canonname;
  freeaddrinfo(res);
  return true;
}

uint32_t OwnFirstAddress() {
  uint32_t found = 0x7F000001;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return found;
  for (ifaddrs* i = list; i; i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
    if ((i->ifa_flags & IFF_LOOPBACK) || !(i->ifa_flags & IFF_UP)) continue;
    found = ntohl(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
    break;
  }
  freeifaddrs(list);
  return found;
}

}  // namespace plat
