// Socket component with connection threads.
//
// TEasyWinsock opens TCP connections and listens for them on the main
// thread without blocking it: name lookups run on a helper thread that posts
// the result back, connect completion and pending accepts arrive as socket
// notifications of the component's main-loop target. Each established
// connection is handed to a thread of its own (a TEasyWinsockThread subclass
// supplied by the owner through OnGetThread), which serves it with blocking
// calls on a TEasySocket. The socket underneath is non-blocking: every call
// that has to wait (for data, for room to send) waits in the socket's own
// waiter, so that a Close or Cancel from another thread ends it on every
// system.
//
// Every event fires on the main thread. Socket errors carry Windows Sockets
// numbers on every system (see WinsockErrorText).
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/global_functions.h"  // EasyStrToInt64, offered to this unit's users
#include "core/message_pump.h"
#include "platform/dispatcher.h"
#include "platform/net.h"
#include "platform/stream.h"
#include "platform/sync.h"
#include "platform/thread.h"

class TEasySocket;
class TEasyWinsock;
class TEasyWinsockThread;

// The text of a Windows Sockets error number ("Unknown winsock error #N"
// for numbers without a text of their own).
std::string WinsockErrorText(int code);

// A socket call failed: Code is the error number, the message its text.
class EEasySocketWinsock : public std::runtime_error {
 public:
  EEasySocketWinsock(int code, TEasySocket* socket);
  EEasySocketWinsock(int code, TEasySocket* socket, const std::string& message);
  int Code;
  TEasySocket* Socket;
};

// The connection was closed, by the peer or by Close.
class EEasySocketClose : public EEasySocketWinsock {
 public:
  // Message: the error text of code, then "; Because close was called".
  EEasySocketClose(int code, TEasySocket* socket);
  int ErrorNumber;
  TEasySocket* ClosedSocket;
};

// File errors a connection routine raises to have the thread frame report
// them as OnStreamCreateError / OnStreamReadError / OnStreamWriteError.
// (A bare plat::EStreamError is not one of them: it ends the thread like
// any other unexpected exception.)
class EStreamCreateError : public plat::EStreamError {
 public:
  using plat::EStreamError::EStreamError;
};
class EStreamReadError : public plat::EStreamError {
 public:
  using plat::EStreamError::EStreamError;
};
class EStreamWriteError : public plat::EStreamError {
 public:
  using plat::EStreamError::EStreamError;
};

// Name lookup: true with the address (host order), or false with the
// Windows Sockets error number. The default is plat::ResolveHost.
using TEasyResolver = std::function<bool(const std::string& host, uint32_t* addr, int* error)>;

class TEasySocket {
 public:
  static constexpr int kBufferSize = 8192;
  // A longer line from a peer ends the connection (error 10040).
  static constexpr size_t kMaxLineLength = 64 * 1024;

  TEasySocket();
  ~TEasySocket();  // closes the handle if it is still open
  TEasySocket(const TEasySocket&) = delete;
  TEasySocket& operator=(const TEasySocket&) = delete;

  // Closes the connection: may be called from any thread, more than once.
  // The first call wins; a thread that does not own the socket only shuts
  // the connection down and wakes the owning thread's wait (which ends its
  // call), the handle itself is closed by the owning thread or the
  // destructor.
  void Close();

  // The calls below are made by the thread that serves the connection.
  // Failures raise EEasySocketWinsock / EEasySocketClose (error rule).
  // Send waits (without limit, until Close) for room for at least a byte,
  // then sends what fits of count bytes and returns that number.
  int Send(const void* buffer, int count);
  void SendBuffer(const void* buffer, int count);
  void SendString(std::string_view s);
  // Unread look-ahead bytes first; otherwise waits (TimeOut) and receives
  // at most count bytes.
  int Receive(void* buffer, int count);
  // Without progress one Receive; with progress, until count bytes are in,
  // reporting the share received before each piece.
  int ReceiveBuffer(void* buffer, int count, bool progress);
  // Reads a line ended by a line feed, trimmed of bytes 0-32 at both ends.
  // True when the look-ahead buffer still holds unread bytes afterwards.
  bool ReadLine(std::string& line);
  // Unread look-ahead bytes, or the bytes the socket can deliver now.
  int DataAvailable();
  // Opens a new connection to the same peer address in place of this one
  // (for peers that close after each answer). The look-ahead buffer starts
  // empty; the counters and rates go on. Raises like the other calls when
  // the connect fails or takes longer than TimeOut, or when the socket is
  // closed meanwhile (a Close from another thread also ends the connect).
  void Reconnect();

  // The parameter record the owner fills before the thread starts (keys as
  // in TMessageItem). Safe to use from any thread.
  void SetValue(std::string_view key, std::string_view value);
  std::string GetValue(std::string_view key) const;

  bool Active() const { return active_.load(); }
  bool Closed() const { return closed_.load(); }
  bool Cancelled() const { return cancelled_.load(); }

  // Seconds a receive waits for data; 0 or less waits without limit.
  int TimeOut = 0;

  uint64_t BytesReceived() const { return received_.load(); }
  uint64_t BytesSent() const { return sent_.load(); }
  // Bytes per second since the socket object was created.
  int64_t ReceiveRate() const { return receiveRate_.load(); }
  int64_t SendRate() const { return sendRate_.load(); }

  // Addresses, filled when the connection is established or accepted.
  std::string LocalIP() const { return plat::AddressToText(localAddr_); }
  std::string RemoteIP() const { return plat::AddressToText(remoteAddr_); }
  uint32_t LocalAddr() const { return localAddr_; }
  uint32_t RemoteAddr() const { return remoteAddr_; }
  int LocalPort() const { return localPort_; }
  int RemotePort() const { return remotePort_; }
  // The listening socket that accepted this connection (outgoing: itself).
  TEasySocket* ListenSocket() const { return listenSocket_; }
  plat::SocketHandle Handle() const { return handle_.load(); }

 private:
  friend class TEasyWinsock;
  friend class TEasyWinsockThread;

  // Raises for a failed call (result < 1): see the error rule. Returns
  // result only for a call that would have blocked.
  int ErrorRule(int result, int error);
  // Raises EEasySocketClose when the socket was closed (by anyone).
  void CheckOpen();
  // Puts a connection's handle into the mode it is served in: non-blocking,
  // every call that has to wait waiting in the socket's waiter, which a
  // Close from any thread wakes.
  void Serve(plat::SocketHandle h);
  // Waits until the socket is ready (what: plat::WaitFor bits) or ms pass
  // (negative: no limit); false on time-out. Raises EEasySocketClose when
  // the socket is closed meanwhile.
  bool WaitFor(unsigned what, int ms);
  void WaitReadable();
  // One receive call of at most count bytes (after WaitReadable).
  int ReceiveFromSocket(void* buffer, int count);
  char NextChar();
  void UpdateRates();
  void FillAddresses();
  void ReportProgress(int percent);

  std::atomic<plat::SocketHandle> handle_{plat::kInvalidSocket};
  std::atomic<uint64_t> owner_{0};  // thread that may close the handle
  uint64_t serial_;                 // tells apart sockets that reuse a handle
  std::atomic<bool> active_{false};
  std::atomic<bool> closed_{false};
  std::atomic<bool> cancelled_{false};
  bool handleClosed_ = false;
  std::atomic<int> closing_{0};  // Close calls in progress
  plat::SocketWaiter waiter_{plat::SocketWaiter::kNonBlockingSockets};

  // Look-ahead buffer and the current character of ReadLine.
  char buffer_[kBufferSize];
  int fill_ = 0;
  int pos_ = 0;
  char current_ = 0;

  mutable plat::Mutex paramsLock_;
  TMessageItem params_;

  std::function<void(int)> progress_;

  std::atomic<uint64_t> received_{0};
  std::atomic<uint64_t> sent_{0};
  std::atomic<int64_t> receiveRate_{0};
  std::atomic<int64_t> sendRate_{0};
  int64_t startMs_;

  uint32_t localAddr_ = 0;
  uint32_t remoteAddr_ = 0;
  int localPort_ = 0;
  int remotePort_ = 0;
  TEasySocket* listenSocket_ = nullptr;
};

// Sockets keyed by the handle under which notifications name them (the
// socket handle, or a lookup's task handle). Frees what it still holds.
class TEasySocketManager {
 public:
  TEasySocketManager() = default;
  ~TEasySocketManager();
  TEasySocketManager(const TEasySocketManager&) = delete;
  TEasySocketManager& operator=(const TEasySocketManager&) = delete;

  void Add(TEasySocket* socket, plat::SocketHandle handle);
  void Remove(TEasySocket* socket);
  TEasySocket* First();
  TEasySocket* FindByHandle(plat::SocketHandle handle);
  bool Contains(TEasySocket* socket);
  // The handle the socket is listed under (kInvalidSocket when absent).
  plat::SocketHandle HandleOf(TEasySocket* socket);
  int Count();

 private:
  plat::CriticalSection lock_;
  std::vector<TEasySocket*> sockets_;
  std::vector<plat::SocketHandle> handles_;
};

// Base of the threads that serve connections: created suspended, started
// by the component, freed (with its socket) when it ends.
class TEasyWinsockThread : public plat::Thread {
 public:
  TEasyWinsockThread();
  ~TEasyWinsockThread() override;

  TEasySocket* Socket() const { return socket_; }
  TEasySocket* ListenSocket() const { return listenSocket_; }
  int ErrorCode() const { return errorCode_; }
  const std::string& ErrorText() const { return errorText_; }
  int LastProgress() const { return lastProgress_.load(); }

  // Stops the connection from any thread: closes the socket, then calls
  // the cancel hook.
  void Stop();

 protected:
  // The frame: runs ServeConnection and reports how it ended.
  void Execute() final;
  // Serves the connection (the protocol of the subclass).
  virtual void ServeConnection() = 0;
  // Called right after a stop closed the socket.
  virtual void CancelHook() = 0;

 private:
  friend class TEasyWinsock;
  void ReportProgress(int percent);
  // Runs fn on the main thread; an exception fn raises stays there.
  void SyncSafely(const std::function<void()>& fn);

  TEasyWinsock* owner_ = nullptr;
  TEasySocket* socket_ = nullptr;
  TEasySocket* listenSocket_ = nullptr;
  bool progressHandler_ = false;
  std::shared_ptr<std::atomic<bool>> ownerAlive_;
  int errorCode_ = 0;
  std::string errorText_;
  std::atomic<int> lastProgress_{0};
};

using TEasyOnConnect = std::function<void(TEasyWinsock* sender, TEasySocket* socket)>;
using TEasyOnDisconnect = TEasyOnConnect;
using TEasyOnAccept = std::function<void(TEasyWinsock* sender, TEasySocket* socket, bool& accept)>;
using TEasyOnStart = TEasyOnConnect;
using TEasyOnFinish = TEasyOnConnect;
using TEasyOnCancel = TEasyOnConnect;
using TEasyOnStreamCreateError = TEasyOnConnect;
using TEasyOnStreamReadError = TEasyOnConnect;
using TEasyOnStreamWriteError = TEasyOnConnect;
using TEasyOnWinsockError = std::function<void(TEasyWinsock* sender, TEasySocket* socket,
                                               int errorNumber, const std::string& errorDescription)>;
using TEasyOnGetThread = std::function<void(TEasyWinsock* sender, TEasyWinsockThread*& thread)>;
using TEasyOnProgress = std::function<void(TEasyWinsock* sender, TEasySocket* socket, int16_t percent)>;

class TEasyWinsock {
 public:
  explicit TEasyWinsock(void* owner = nullptr);
  ~TEasyWinsock();
  TEasyWinsock(const TEasyWinsock&) = delete;
  TEasyWinsock& operator=(const TEasyWinsock&) = delete;

  // Seconds a connection's receive waits for data (copied into each socket).
  int TimeOut = 0;

  TEasyOnConnect OnConnect;
  TEasyOnDisconnect OnDisconnect;
  TEasyOnAccept OnAccept;
  TEasyOnStart OnStart;
  TEasyOnFinish OnFinish;
  // Published for owners that assign it; no path of the component fires it
  // (a stopped connection reports OnFinish and OnDisconnect).
  TEasyOnCancel OnCancel;
  TEasyOnStreamCreateError OnStreamCreateError;
  TEasyOnStreamReadError OnStreamReadError;
  TEasyOnStreamWriteError OnStreamWriteError;
  TEasyOnWinsockError OnWinsockError;
  TEasyOnGetThread OnGetThread;
  TEasyOnProgress OnProgress;

  // Starts connecting and returns the socket at once; the outcome arrives
  // as events (never as an exception). A host of digits only is a 32-bit
  // address in host order; other hosts are looked up without blocking.
  TEasySocket* Connect(const std::string& host, int port);
  // A listening socket bound to address ("" = every local address) and
  // port (0 = any free one; see LocalPort), or nullptr after OnWinsockError.
  TEasySocket* Listen(int port, const std::string& address = "");
  void CloseListener(TEasySocket* socket);
  void StopListening();
  // Stops one connection, pending or served.
  void Cancel(TEasySocket* socket);
  // Stops every connection and waits (processing messages) until every
  // connection thread has left.
  void CloseAll();

  int ThreadCount();
  int PendingCount() { return pending_.Count(); }
  int ListeningCount() { return listening_.Count(); }

  // Replaces the name lookup (tests).
  void SetResolverForTesting(TEasyResolver resolver) { resolver_ = std::move(resolver); }
  // Replaces the start of connection threads (tests): false stands for a
  // thread the system could not start.
  void SetThreadStartForTesting(std::function<bool(TEasyWinsockThread*)> start) { threadStart_ = std::move(start); }
  // Replaces the start of name-lookup threads in every component (tests;
  // nullptr: the real start): false stands for a thread the system could
  // not start.
  static void SetLookupStartForTesting(std::function<bool()> start);

 private:
  friend class TEasyWinsockThread;
  // Lets lookup threads reach the target while the component lives.
  struct ResolverLink {
    plat::Mutex lock;
    plat::MessageTarget* target = nullptr;
  };

  void StartLookup(TEasySocket* socket, const std::string& host, int port);
  void LookupDone(plat::SocketHandle task, bool ok, uint32_t addr, int error, int port);
  void StartConnect(TEasySocket* socket, uint32_t addr, int port);
  void ConnectDone(plat::SocketHandle handle, unsigned event, int error);
  void AcceptReady(plat::SocketHandle handle, unsigned event, int error);
  // Reports a pending socket's failure (if error > 0) and frees it.
  void FinishPending(TEasySocket* socket, int error);
  // Takes a socket out of the pending list, reports OnFinish, frees it.
  void DropPending(TEasySocket* socket);
  // Completes (error 0) or fails a connect whose socket is pending.
  void CompleteConnect(TEasySocket* socket, int error);
  // Runs CompleteConnect from the main loop, if the socket is still pending.
  void CompleteConnectLater(TEasySocket* socket, int error);
  void StartConnection(TEasySocket* socket, TEasySocket* listener);
  // Closes, reports (OnDisconnect, OnFinish) and frees a connection that
  // will not be served.
  void DropRefused(TEasySocket* socket);
  void Unregister(TEasyWinsockThread* thread);
  bool IsListed(TEasyWinsockThread* thread);
  // Stops a listed thread (resumes a suspended one). Under the lock.
  void StopThread(TEasyWinsockThread* thread);
  plat::SocketHandle NewTaskHandle();

  plat::MessageTarget window_;
  plat::CriticalSection lock_;
  std::vector<TEasyWinsockThread*> threads_;
  std::vector<TEasySocket*> sockets_;
  TEasySocketManager pending_;
  TEasySocketManager listening_;
  TEasyResolver resolver_;
  std::function<bool(TEasyWinsockThread*)> threadStart_;
  std::shared_ptr<ResolverLink> link_;
  std::shared_ptr<std::atomic<bool>> alive_;
  bool netStarted_ = false;  // this component's own reference to the socket library
  uint32_t nextTask_ = 0;
};
