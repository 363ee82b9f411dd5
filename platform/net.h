// Thin layer over the system's TCP sockets. Every error is reported with
// the Windows Sockets error number (POSIX maps errno to it), so events and
// texts carry the same numbers on both systems. Addresses are IPv4 in host
// byte order.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/dispatcher.h"  // SocketHandle

namespace plat {

constexpr SocketHandle kInvalidSocket = ~SocketHandle(0);

// Windows Sockets error numbers used by the program.
enum NetError : int {
  kWsaEINTR = 10004, kWsaEBADF = 10009, kWsaEACCES = 10013, kWsaEFAULT = 10014,
  kWsaEINVAL = 10022, kWsaEMFILE = 10024, kWsaEWOULDBLOCK = 10035,
  kWsaEINPROGRESS = 10036, kWsaEALREADY = 10037, kWsaENOTSOCK = 10038,
  kWsaEDESTADDRREQ = 10039, kWsaEMSGSIZE = 10040, kWsaEPROTOTYPE = 10041,
  kWsaENOPROTOOPT = 10042, kWsaEPROTONOSUPPORT = 10043,
  kWsaESOCKTNOSUPPORT = 10044, kWsaEOPNOTSUPP = 10045,
  kWsaEPFNOSUPPORT = 10046, kWsaEAFNOSUPPORT = 10047, kWsaEADDRINUSE = 10048,
  kWsaEADDRNOTAVAIL = 10049, kWsaENETDOWN = 10050, kWsaENETUNREACH = 10051,
  kWsaENETRESET = 10052, kWsaECONNABORTED = 10053, kWsaECONNRESET = 10054,
  kWsaENOBUFS = 10055, kWsaEISCONN = 10056, kWsaENOTCONN = 10057,
  kWsaESHUTDOWN = 10058, kWsaETOOMANYREFS = 10059, kWsaETIMEDOUT = 10060,
  kWsaECONNREFUSED = 10061, kWsaELOOP = 10062, kWsaENAMETOOLONG = 10063,
  kWsaEHOSTDOWN = 10064, kWsaEHOSTUNREACH = 10065, kWsaSYSNOTREADY = 10091,
  kWsaVERNOTSUPPORTED = 10092, kWsaNOTINITIALISED = 10093,
  kWsaHOST_NOT_FOUND = 11001, kWsaTRY_AGAIN = 11002, kWsaNO_RECOVERY = 11003,
  kWsaNO_DATA = 11004,
};

// Bytes a bulk receive asks for at once. Under Wine every receive costs a
// round trip to the Wine server, so the Windows build reads big pieces; on
// POSIX a 64 KiB piece stays in cache while it is passed on and measured
// faster than bigger ones (bench_http_get).
#ifdef _WIN32
constexpr int kBulkReceive = 1 << 20;
#else
constexpr int kBulkReceive = 64 << 10;
#endif

// Starts the socket library once per process (Win32 WSAStartup; POSIX:
// ignores SIGPIPE). Safe to call many times and from any thread.
bool NetStartup();
// A reference of a component's own to the socket library, taken when it is
// created and given back when it is destroyed (Win32: WSAStartup and
// WSACleanup; the process's reference from NetStartup keeps the library up
// for everyone else). NetUsers() counts the references taken and not given
// back.
bool NetAcquire();
void NetRelease();
int NetUsers();

// Error of the last failed call on this thread, in Winsock numbering.
int LastNetError();

SocketHandle TcpSocket();  // kInvalidSocket on failure
void CloseSocket(SocketHandle s);
void ShutdownSocket(SocketHandle s);  // both directions
bool SetNonBlocking(SocketHandle s, bool on);
bool SetReuseAddress(SocketHandle s, bool on);
bool SetNoDelay(SocketHandle s, bool on);
bool BindSocket(SocketHandle s, uint32_t addr, uint16_t port);
bool ListenSocket(SocketHandle s, int backlog);
// Accepts one pending connection; kInvalidSocket on failure (error in
// LastNetError, kWsaEWOULDBLOCK when none waits on a non-blocking socket).
SocketHandle AcceptSocket(SocketHandle s, uint32_t* addr, uint16_t* port);
// Connects; on a non-blocking socket a started connect gives false with
// LastNetError() == kWsaEWOULDBLOCK. Address 0 is refused (kWsaEADDRNOTAVAIL).
bool ConnectSocket(SocketHandle s, uint32_t addr, uint16_t port);
// Result of a finished non-blocking connect: 0 or the error number.
int SocketError(SocketHandle s);
// Bytes sent / received, or -1 (error in LastNetError). Receive of 0 bytes:
// the peer closed. Sending never raises SIGPIPE.
int SendSocket(SocketHandle s, const void* buf, int len);
int RecvSocket(SocketHandle s, void* buf, int len);
// Bytes that can be read now without blocking (FIONREAD), -1 on failure.
int ReadableBytes(SocketHandle s);
bool LocalAddress(SocketHandle s, uint32_t* addr, uint16_t* port);
bool PeerAddress(SocketHandle s, uint32_t* addr, uint16_t* port);

// Poll result for WaitSocket.
enum class WaitResult { kReady, kTimeout, kWoken, kError };
enum WaitFor : unsigned { kWaitRead = 1, kWaitWrite = 2 };

// Lets one thread wait on a socket while others wake it (Win32: socket
// event objects; POSIX: poll with a wake-up pipe).
class SocketWaiter {
 public:
  // What a wait leaves of the socket's mode. Win32 switches a socket to
  // non-blocking mode while it waits on it; a waiter of blocking sockets
  // puts them back into blocking mode, one of sockets that are kept
  // non-blocking (every call a wakeable wait) leaves them so.
  enum Mode { kBlockingSockets, kNonBlockingSockets };
  explicit SocketWaiter(Mode mode = kBlockingSockets);
  ~SocketWaiter();
  SocketWaiter(const SocketWaiter&) = delete;
  SocketWaiter& operator=(const SocketWaiter&) = delete;
  bool Valid() const;
  // Waits for s to become readable/writable (WaitFor bits) at most ms
  // milliseconds (negative: without limit). kWoken when Wake was called
  // (the wake stays pending until Clear).
  WaitResult Wait(SocketHandle s, unsigned what, int ms);
  void Wake();   // any thread
  void Clear();  // forgets a pending wake

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Blocking name lookup: true with the address (host order) on success;
// false with the Winsock error (kWsaHOST_NOT_FOUND, ...) in *error.
// A text of digits only is a 32-bit address in host order ("2130706433").
// Dotted text is parsed without a lookup. *canonical, when given, gets the
// name the lookup found for the host (the text itself where none was made).
bool ResolveHost(const std::string& host, uint32_t* addr, int* error, std::string* canonical = nullptr);
// "a.b.c.d" of a host-order address, and back (false for anything else).
std::string AddressToText(uint32_t addr);
bool TextToAddress(const std::string& text, uint32_t* addr);
// The machine's own first IPv4 address (127.0.0.1 when none).
uint32_t OwnFirstAddress();

// ICMP echo: sends data (at most 65,500 bytes) to addr with the given
// time-to-live and type of service; the round-trip time in ms, or a
// negative value on failure (time-out: -1). The data the reply carried goes
// to *echoed when given. Win32: icmp.dll loaded at run time; POSIX: an ICMP
// datagram socket, else a raw socket. IcmpAvailable() tells whether echo
// requests can be sent at all.
bool IcmpAvailable();
// What stands in the way of echo requests: nothing, the system's ICMP
// library (Win32: icmp.dll missing), its entry points, or the handle (POSIX:
// no ICMP socket can be opened).
enum class IcmpStart { kReady, kNoLibrary, kNoFunctions, kNoHandle };
IcmpStart IcmpStartup();
int IcmpEcho(uint32_t addr, int timeoutMs, const std::string& data, int ttl, int tos,
             std::string* echoed = nullptr);

}  // namespace plat
