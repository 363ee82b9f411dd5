// The blocking socket layer: one record per socket, every operation blocks
// the calling thread until it is done, fails or times out, and reports
// failures as negative result codes (0 or a byte count means success).
//
// Sockets are kept non-blocking underneath and every wait goes through a
// plat::SocketWaiter, so Close and Cancel from a second thread wake a thread
// blocked in accept, connect, receive, send or WaitReadable at once. A
// foreign Close only shuts the socket down; the handle itself is released by
// the thread that owns the running operation when it returns, so a blocked
// call can never go on with a descriptor number the system has meanwhile
// given to another socket.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/net.h"

// Result codes of the layer.
enum NetResult : int {
  kNetOk = 0,
  kNetFailed = -1,          // socket, lookup or accept on a listener failed
  kNetNotOpen = -2,         // not open (for accept: not listening)
  kNetTimeout = -3,         // wait timed out
  kNetDropped = -4,         // connection dropped, aborted or reset
  kNetAddressInUse = -6,    // address in use or not available
  kNetDown = -7,            // network down / unreachable, library not ready
  kNetNoBuffers = -8,       // no buffer space
  kNetRefused = -9,         // connection refused
  kNetHostUnreachable = -10,// host down or unreachable
  kNetHostNotFound = -11,   // host name does not resolve
  kNetOtherError = -12,     // any other error number
  kNetPeerClosed = -13,     // peer closed, or the socket was closed meanwhile
};

// Record states.
enum NetState : int {
  kStateClosed = 1,
  kStateCreated = 2,
  kStateResolving = 3,
  kStateConnecting = 4,
  kStateListening = 5,
  kStateConnected = 6,
};

constexpr int kReadAheadSize = 65536;  // one receive call per 64 KiB of byte-wise reading
// Longest wait for an outgoing connect to complete.
constexpr int kConnectWaitMs = 10000000;
// Rate windows restart once either counter passes this many bytes.
constexpr int64_t kRateWindowBytes = 1000000;

struct TResolveJob;

struct TSocketRecord {
  std::atomic<int> state{kStateClosed};
  plat::SocketHandle handle = plat::kInvalidSocket;  // changed under handleLock
  plat::SocketWaiter waiter{plat::SocketWaiter::kNonBlockingSockets};
  std::atomic<int> timeOut{0};  // seconds, 0 = no limit
  std::atomic<bool> closing{false};        // Close was called
  std::atomic<bool> cancelPending{false};  // Cancel was called
  bool closeWhenDone = false;              // foreign Close during an operation
  std::shared_ptr<TResolveJob> lookup;     // pending name lookup

  unsigned char readAhead[kReadAheadSize];
  int readFill = 0;
  int readPos = 0;

  // Rates, bytes per second over the current window.
  int64_t bytesSent = 0;
  int64_t bytesReceived = 0;
  int64_t windowStartMs = 0;
  int64_t lastUpdateMs = 0;
  std::atomic<int> sendRate{0};
  std::atomic<int> receiveRate{0};

  // Addresses in host byte order.
  std::atomic<uint32_t> localIP{0};
  std::atomic<uint32_t> remoteIP{0};
  std::atomic<int> localPort{0};
  std::atomic<int> remotePort{0};
  // Local address that outgoing connects bind to (0: any).
  std::atomic<uint32_t> bindAddress{0};

  std::recursive_mutex opLock;  // held for the whole of every operation
  std::mutex handleLock;        // guards handle and closeWhenDone
};

// Creates a record; nullptr when it cannot be made (its waiter failed).
TSocketRecord* NetCreate();
// Closes the socket and frees the record. No other thread may be inside an
// operation on it.
void NetDestroy(TSocketRecord* r);

// Winsock error number -> result code (0 stays 0).
int NetErrorToCode(int wsaError);

int NetListen(TSocketRecord* r, const std::string& address, int port, bool reuse);
int NetAccept(TSocketRecord* r, TSocketRecord* listener);
int NetConnect(TSocketRecord* r, const std::string& host, int port);
int NetRecv(TSocketRecord* r, void* buf, int count);
int NetSend(TSocketRecord* r, const void* buf, int count);
int NetReadExact(TSocketRecord* r, void* buf, int count);
int NetWriteAll(TSocketRecord* r, const void* buf, int count);
// The next byte (0..255) or a negative code.
int NetReadByte(TSocketRecord* r);
// Bytes readable now (the read-ahead buffer not counted), or a code.
int NetBytesAvailable(TSocketRecord* r);
// 0 when readable or woken by Cancel, -3 on time-out, -13 when closed.
int NetWaitReadable(TSocketRecord* r, int ms);
// Wakes a thread in WaitReadable or in the connect wait. Any thread.
void NetCancel(TSocketRecord* r);
// Closes the socket. Any thread.
void NetClose(TSocketRecord* r);
bool NetConnected(TSocketRecord* r);
