// ICMP echo through the system's icmp.dll, loaded when first needed.
#include <winsock2.h>
#include <windows.h>
#include <ipexport.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/net.h"
#include "platform/system.h"

namespace plat {

namespace {

using CreateFn = HANDLE(WINAPI*)();
using CloseFn = BOOL(WINAPI*)(HANDLE);
using SendEchoFn = DWORD(WINAPI*)(HANDLE, IPAddr, LPVOID, WORD, PIP_OPTION_INFORMATION, LPVOID,
                                  DWORD, DWORD);

struct IcmpLib {
  CreateFn create = nullptr;
  CloseFn close = nullptr;
  SendEchoFn sendEcho = nullptr;
  bool ok = false;
  IcmpStart failure = IcmpStart::kNoLibrary;  // when not ok
};

// Loaded once and kept for the life of the process.
const IcmpLib& Lib() {
  static const IcmpLib lib = [] {
    IcmpLib l;
    void* dll = LoadLib("icmp.dll");
    if (!dll) return l;
    l.create = reinterpret_cast<CreateFn>(LibSymbol(dll, "IcmpCreateFile"));
    l.close = reinterpret_cast<CloseFn>(LibSymbol(dll, "IcmpCloseHandle"));
    l.sendEcho = reinterpret_cast<SendEchoFn>(LibSymbol(dll, "IcmpSendEcho"));
    l.ok = l.create && l.close && l.sendEcho;
    if (!l.ok) {
      l.failure = IcmpStart::kNoFunctions;
      FreeLib(dll);
    }
    return l;
  }();
  return lib;
}

constexpr int kMaxPayload = 65500;

}  // namespace

IcmpStart IcmpStartup() {
  const IcmpLib& lib = Lib();
  if (!lib.ok) return lib.failure;
  HANDLE h = lib.create();
  if (h == INVALID_HANDLE_VALUE) return IcmpStart::kNoHandle;
  lib.close(h);
  return IcmpStart::kReady;
}

bool IcmpAvailable() { return IcmpStartup() == IcmpStart::kReady; }

int IcmpEcho(uint32_t addr, int timeoutMs, const std::string& data, int ttl, int tos, std::string* echoed) {
  const IcmpLib& lib = Lib();
  if (!lib.ok) return -2;
  HANDLE h = lib.create();
  if (h == INVALID_HANDLE_VALUE) return -2;
  const int size = int(std::min<size_t>(data.size(), kMaxPayload));
  std::vector<char> request(data.begin(), data.begin() + size);
  // The reply holds the reply record, the echoed data and room for an ICMP
  // error message.
  std::vector<char> reply(sizeof(ICMP_ECHO_REPLY) + size_t(size) + 8 + 64);
  IP_OPTION_INFORMATION options = {};
  options.Ttl = UCHAR(std::clamp(ttl, 1, 255));
  options.Tos = UCHAR(tos & 0xFF);
  DWORD n = lib.sendEcho(h, htonl(addr), request.data(), WORD(size), &options, reply.data(),
                         DWORD(reply.size()), DWORD(std::max(timeoutMs, 1)));
  DWORD lastError = GetLastError();
  lib.close(h);
  const auto* r = reinterpret_cast<const ICMP_ECHO_REPLY*>(reply.data());
  if (n == 0) return lastError == IP_REQ_TIMED_OUT ? -1 : -2;
  if (r->Status == IP_REQ_TIMED_OUT) return -1;
  if (r->Status != IP_SUCCESS) return -2;
  if (echoed) {
    // The echoed data lies in the reply buffer (when the system says so).
    const char* d = static_cast<const char*>(r->Data);
    const bool inside = d >= reply.data() && d + r->DataSize <= reply.data() + reply.size();
    echoed->assign(inside ? d : "", inside ? r->DataSize : 0);
  }
  return int(r->RoundTripTime);
}

}  // namespace plat
