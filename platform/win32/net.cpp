// TCP sockets over Windows Sockets 2.2. Error numbers are the system's own
// (WSAGetLastError); the few refusals made here set one the same way.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>

#include "platform/net.h"

namespace plat {

namespace {

sockaddr_in MakeAddr(uint32_t addr, uint16_t port) {
  sockaddr_in sa = {};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(addr);
  sa.sin_port = htons(port);
  return sa;
}

void SplitAddr(const sockaddr_in& sa, uint32_t* addr, uint16_t* port) {
  if (addr) *addr = ntohl(sa.sin_addr.s_addr);
  if (port) *port = ntohs(sa.sin_port);
}

bool SetIntOption(SocketHandle s, int level, int name, bool on) {
  BOOL v = on ? TRUE : FALSE;
  return setsockopt(SOCKET(s), level, name, reinterpret_cast<const char*>(&v), sizeof v) == 0;
}

// Strict dotted quad: four decimal parts of 0..255, nothing else.
bool ParseDotted(const std::string& text, uint32_t* addr) {
  uint32_t result = 0;
  size_t i = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (i >= text.size() || text[i] != '.') return false;
      ++i;
    }
    size_t start = i;
    unsigned value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 3)
      value = value * 10 + unsigned(text[i++] - '0');
    if (i == start || value > 255) return false;
    result = (result << 8) | value;
  }
  if (i != text.size()) return false;
  *addr = result;
  return true;
}

}  // namespace

bool NetStartup() {
  static int result = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
  }();
  return result == 0;
}

namespace {
std::atomic<int> netUsers{0};
}  // namespace

bool NetAcquire() {
  NetStartup();
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
  netUsers.fetch_add(1);
  return true;
}

void NetRelease() {
  netUsers.fetch_sub(1);
  WSACleanup();
}

int NetUsers() { return netUsers.load(); }

int LastNetError() { return WSAGetLastError(); }

SocketHandle TcpSocket() {
  NetStartup();
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return kInvalidSocket;
  // Programs started through the shell must not inherit the connections.
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  return SocketHandle(s);
}

void CloseSocket(SocketHandle s) {
  if (s != kInvalidSocket) closesocket(SOCKET(s));
}

void ShutdownSocket(SocketHandle s) { shutdown(SOCKET(s), SD_BOTH); }

bool SetNonBlocking(SocketHandle s, bool on) {
  u_long v = on ? 1 : 0;
  return ioctlsocket(SOCKET(s), FIONBIO, &v) == 0;
}

bool SetReuseAddress(SocketHandle s, bool on) { return SetIntOption(s, SOL_SOCKET, SO_REUSEADDR, on); }

bool SetNoDelay(SocketHandle s, bool on) { return SetIntOption(s, IPPROTO_TCP, TCP_NODELAY, on); }

bool BindSocket(SocketHandle s, uint32_t addr, uint16_t port) {
  sockaddr_in sa = MakeAddr(addr, port);
  return bind(SOCKET(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
}

bool ListenSocket(SocketHandle s, int backlog) { return listen(SOCKET(s), backlog) == 0; }

SocketHandle AcceptSocket(SocketHandle s, uint32_t* addr, uint16_t* port) {
  sockaddr_in sa = {};
  int len = sizeof sa;
  SOCKET c = accept(SOCKET(s), reinterpret_cast<sockaddr*>(&sa), &len);
  if (c == INVALID_SOCKET) return kInvalidSocket;
  SetHandleInformation(reinterpret_cast<HANDLE>(c), HANDLE_FLAG_INHERIT, 0);
  SplitAddr(sa, addr, port);
  return SocketHandle(c);
}

bool ConnectSocket(SocketHandle s, uint32_t addr, uint16_t port) {
  if (addr == 0) {  // "any address" is no destination
    WSASetLastError(kWsaEADDRNOTAVAIL);
    return false;
  }
  sockaddr_in sa = MakeAddr(addr, port);
  return connect(SOCKET(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
}

int SocketError(SocketHandle s) {
  int err = 0;
  int len = sizeof err;
  if (getsockopt(SOCKET(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0)
    return WSAGetLastError();
  return err;
}

int SendSocket(SocketHandle s, const void* buf, int len) {
  int r = send(SOCKET(s), static_cast<const char*>(buf), len, 0);
  return r == SOCKET_ERROR ? -1 : r;
}

int RecvSocket(SocketHandle s, void* buf, int len) {
  int r = recv(SOCKET(s), static_cast<char*>(buf), len, 0);
  return r == SOCKET_ERROR ? -1 : r;
}

int ReadableBytes(SocketHandle s) {
  u_long n = 0;
  if (ioctlsocket(SOCKET(s), FIONREAD, &n) != 0) return -1;
  return int(std::min<u_long>(n, 0x7FFFFFFF));
}

namespace {

// getsockname / getpeername into host-order address and port.
bool SocketName(int(WSAAPI* fn)(SOCKET, sockaddr*, int*), SocketHandle s, uint32_t* addr,
                uint16_t* port) {
  sockaddr_in sa = {};
  int len = sizeof sa;
  if (fn(SOCKET(s), reinterpret_cast<sockaddr*>(&sa), &len) != 0) return false;
  SplitAddr(sa, addr, port);
  return true;
}

}  // namespace

bool LocalAddress(SocketHandle s, uint32_t* addr, uint16_t* port) {
  return SocketName(getsockname, s, addr, port);
}

bool PeerAddress(SocketHandle s, uint32_t* addr, uint16_t* port) {
  return SocketName(getpeername, s, addr, port);
}

// ------------------------------------------------------------ SocketWaiter

struct SocketWaiter::Impl {
  WSAEVENT socketEvent = WSA_INVALID_EVENT;
  HANDLE wakeEvent = nullptr;  // manual reset: a wake stays until Clear
  SocketWaiter::Mode mode = SocketWaiter::kBlockingSockets;
};

SocketWaiter::SocketWaiter(Mode mode) : impl_(std::make_unique<Impl>()) {
  impl_->mode = mode;
  NetStartup();
  impl_->socketEvent = WSACreateEvent();
  impl_->wakeEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

SocketWaiter::~SocketWaiter() {
  if (impl_->socketEvent != WSA_INVALID_EVENT) WSACloseEvent(impl_->socketEvent);
  if (impl_->wakeEvent) CloseHandle(impl_->wakeEvent);
}

bool SocketWaiter::Valid() const {
  return impl_->socketEvent != WSA_INVALID_EVENT && impl_->wakeEvent != nullptr;
}

namespace {

// Zero-time readiness check: the event record only reports changes, so a
// socket that is ready already is found here. A failed connect shows in
// the exception set on Windows and counts as ready (SocketError tells).
int ReadyNow(SocketHandle s, unsigned what) {
  fd_set r, w, e;
  FD_ZERO(&r);
  FD_ZERO(&w);
  FD_ZERO(&e);
  if (what & kWaitRead) FD_SET(SOCKET(s), &r);
  if (what & kWaitWrite) {
    FD_SET(SOCKET(s), &w);
    FD_SET(SOCKET(s), &e);
  }
  timeval tv = {0, 0};
  return select(0, &r, &w, &e, &tv);
}

}  // namespace

WaitResult SocketWaiter::Wait(SocketHandle s, unsigned what, int ms) {
  if (!Valid()) return WaitResult::kError;
  if (s == kInvalidSocket) {  // no socket: waits for a wake only
    DWORD r = WaitForSingleObject(impl_->wakeEvent, ms < 0 ? INFINITE : DWORD(ms));
    return r == WAIT_OBJECT_0 ? WaitResult::kWoken : WaitResult::kTimeout;
  }
  if (WaitForSingleObject(impl_->wakeEvent, 0) == WAIT_OBJECT_0) return WaitResult::kWoken;
  int ready = ReadyNow(s, what);
  if (ready != 0) return ready > 0 ? WaitResult::kReady : WaitResult::kError;

  long mask = FD_CLOSE;
  if (what & kWaitRead) mask |= FD_READ | FD_ACCEPT;
  if (what & kWaitWrite) mask |= FD_WRITE | FD_CONNECT;
  WSAResetEvent(impl_->socketEvent);
  if (WSAEventSelect(SOCKET(s), impl_->socketEvent, mask) != 0) return WaitResult::kError;

  // The wake event comes first, so a pending wake wins over readiness.
  WSAEVENT events[2] = {impl_->wakeEvent, impl_->socketEvent};
  const DWORD start = GetTickCount();
  WaitResult result = WaitResult::kTimeout;
  for (;;) {
    // Waits in slices and looks at the socket between them: a change that
    // came just before the event selection may have left no record.
    DWORD slice = 250;
    if (ms >= 0) {
      DWORD spent = GetTickCount() - start;
      if (spent >= DWORD(ms)) break;
      slice = std::min<DWORD>(slice, DWORD(ms) - spent);
    }
    DWORD r = WSAWaitForMultipleEvents(2, events, FALSE, slice, FALSE);
    if (r == WSA_WAIT_EVENT_0) {
      result = WaitResult::kWoken;
      break;
    }
    if (r == WSA_WAIT_EVENT_0 + 1) {
      WSANETWORKEVENTS ne;
      WSAEnumNetworkEvents(SOCKET(s), impl_->socketEvent, &ne);
      result = WaitResult::kReady;
      break;
    }
    if (r != WSA_WAIT_TIMEOUT) {
      result = WaitResult::kError;
      break;
    }
    int now = ReadyNow(s, what);
    if (now != 0) {
      result = now > 0 ? WaitResult::kReady : WaitResult::kError;
      break;
    }
  }
  // Ends the selection; a blocking socket goes back into blocking mode,
  // which the event selection had switched off.
  WSAEventSelect(SOCKET(s), nullptr, 0);
  if (impl_->mode == kBlockingSockets) SetNonBlocking(s, false);
  return result;
}

void SocketWaiter::Wake() { SetEvent(impl_->wakeEvent); }

void SocketWaiter::Clear() { ResetEvent(impl_->wakeEvent); }

// ------------------------------------------------------------ name lookup

bool ResolveHost(const std::string& host, uint32_t* addr, int* error, std::string* canonical) {
  if (canonical) *canonical = host;
  NetStartup();
  if (!host.empty() && std::all_of(host.begin(), host.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    uint64_t v = 0;
    for (char c : host) {
      v = v * 10 + uint64_t(c - '0');
      if (v > 0xFFFFFFFFull) break;
    }
    if (v <= 0xFFFFFFFFull) {
      *addr = uint32_t(v);
      return true;
    }
    if (error) *error = kWsaHOST_NOT_FOUND;
    return false;
  }
  if (ParseDotted(host, addr)) return true;
  if (host.empty()) {
    if (error) *error = kWsaHOST_NOT_FOUND;
    return false;
  }
  addrinfo hints = {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  if (canonical) hints.ai_flags = AI_CANONNAME;
  addrinfo* res = nullptr;
  int rc = getaddrinfo(host.c_str(), nullptr, &hints, &res);
  if (rc != 0 || !res) {
    if (res) freeaddrinfo(res);
    if (error) *error = rc != 0 ? rc : kWsaHOST_NOT_FOUND;
    return false;
  }
  *addr = ntohl(reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr.s_addr);
  if (canonical && res->ai_canonname && *res->ai_canonname) *canonical = res->ai_canonname;
  freeaddrinfo(res);
  return true;
}

std::string AddressToText(uint32_t addr) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", unsigned(addr >> 24), unsigned(addr >> 16 & 255),
                unsigned(addr >> 8 & 255), unsigned(addr & 255));
  return buf;
}

bool TextToAddress(const std::string& text, uint32_t* addr) { return ParseDotted(text, addr); }

uint32_t OwnFirstAddress() {
  NetStartup();
  char name[256];
  uint32_t addr = 0;
  if (gethostname(name, sizeof name) == 0 && ResolveHost(name, &addr, nullptr) && addr != 0)
    return addr;
  return 0x7F000001;  // 127.0.0.1
}

}  // namespace plat
