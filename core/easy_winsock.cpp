#include "core/easy_winsock.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <thread>

#include "platform/clock.h"
#include "platform/text.h"

// ---------------------------------------------------------------- error texts

namespace {

struct ErrorText {
  int code;
  const char* text;
};

const ErrorText kErrorTexts[] = {
    {0, "Client reset by peer"},
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on nonsocket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Protocol wrong type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Cannot assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Net dropped connection or reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Cannot send after socket shutdown"},
    {10059, "Too many references, cannot splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disk quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network subsystem is unavailable"},
    {10092, "WINSOCK DLL version out of range"},
    {10093, "Successful WSASTARTUP not yet performed"},
    {11001, "Host not found"},
    {11002, "Non authoritative host not found"},
    {11003, "Nonrecoverable errors: FORMERR, REFUSED, NOTIMP"},
};

const char kTimedOutText[] = "Connection Timed out.";
const char kBecauseClosed[] = "; Because close was called";

// Rounds half to even, as the program's other rounding does.
int64_t RoundToInt(double v) { return int64_t(std::nearbyint(v)); }

std::atomic<uint64_t> g_nextSerial{1};

}  // namespace

std::string WinsockErrorText(int code) {
  for (const auto& e : kErrorTexts)
    if (e.code == code) return e.text;
  return "Unknown winsock error #" + std::to_string(code);
}

EEasySocketWinsock::EEasySocketWinsock(int code, TEasySocket* socket)
    : EEasySocketWinsock(code, socket, WinsockErrorText(code)) {}

EEasySocketWinsock::EEasySocketWinsock(int code, TEasySocket* socket, const std::string& message)
    : std::runtime_error(message), Code(code), Socket(socket) {}

EEasySocketClose::EEasySocketClose(int code, TEasySocket* socket)
    : EEasySocketWinsock(code, socket, WinsockErrorText(code) + kBecauseClosed),
      ErrorNumber(code),
      ClosedSocket(socket) {}

// ---------------------------------------------------------------- socket

TEasySocket::TEasySocket() : serial_(g_nextSerial.fetch_add(1)), startMs_(plat::MonotonicMs()) {}

TEasySocket::~TEasySocket() {
  // A Close that another thread is still in the middle of finishes first.
  while (closing_.load() > 0) std::this_thread::yield();
  const plat::SocketHandle h = handle_.load();
  if (h != plat::kInvalidSocket && !handleClosed_) plat::CloseSocket(h);
}

void TEasySocket::Close() {
  closing_.fetch_add(1);
  struct Done {
    std::atomic<int>& n;
    ~Done() { n.fetch_sub(1); }
  } done{closing_};
  // A pending lookup of a cancelled socket is dropped when it completes.
  cancelled_.store(true);
  const plat::SocketHandle h = handle_.load();
  if (h == plat::kInvalidSocket) return;
  if (closed_.exchange(true)) return;
  active_.store(false);
  plat::ShutdownSocket(h);
  waiter_.Wake();
  // Only the thread that uses the handle closes it: another thread closing
  // it could hit a number the system has already handed out again.
  if (owner_.load() == plat::CurrentThreadId()) {
    plat::CloseSocket(h);
    handleClosed_ = true;
  }
}

int TEasySocket::ErrorRule(int result, int error) {
  if (error == plat::kWsaEWOULDBLOCK) error = -1;
  if (!active_.load()) throw EEasySocketClose(error, this);
  if (error == 0) throw EEasySocketClose(0, this);
  if (error > 0) throw EEasySocketWinsock(error, this);
  return result;
}

void TEasySocket::CheckOpen() {
  if (closed_.load() || handle_.load() == plat::kInvalidSocket) {
    active_.store(false);
    throw EEasySocketClose(plat::kWsaENOTSOCK, this);
  }
}

void TEasySocket::UpdateRates() {
  const int64_t elapsed = (plat::MonotonicMs() - startMs_) / 1000;
  if (elapsed < 1) return;
  receiveRate_.store(RoundToInt(double(received_.load()) / double(elapsed)));
  sendRate_.store(RoundToInt(double(sent_.load()) / double(elapsed)));
}

void TEasySocket::Serve(plat::SocketHandle h) {
  // Without a waiter of its own nothing could wake a wait: the calls block.
  plat::SetNonBlocking(h, waiter_.Valid());
}

bool TEasySocket::WaitFor(unsigned what, int ms) {
  for (;;) {
    CheckOpen();
    switch (waiter_.Wait(handle_.load(), what, ms)) {
      case plat::WaitResult::kReady:
      case plat::WaitResult::kError:  // the call that follows reports what went wrong
        return true;
      case plat::WaitResult::kWoken:
        CheckOpen();
        waiter_.Clear();
        break;
      case plat::WaitResult::kTimeout:
        return false;
    }
  }
}

void TEasySocket::WaitReadable() {
  if (!waiter_.Valid()) return CheckOpen();  // cannot wait apart: the receive blocks
  const int ms = TimeOut <= 0 ? -1 : (TimeOut >= INT_MAX / 1000 ? INT_MAX : TimeOut * 1000);
  if (WaitFor(plat::kWaitRead, ms)) return;
  Close();
  throw EEasySocketWinsock(plat::kWsaETIMEDOUT, this, kTimedOutText);
}

int TEasySocket::ReceiveFromSocket(void* buffer, int count) {
  for (;;) {
    WaitReadable();
    UpdateRates();
    const int n = plat::RecvSocket(handle_.load(), buffer, count);
    if (n > 0) {
      received_.fetch_add(uint64_t(n));
      return n;
    }
    // 0 bytes is always the peer's orderly close, whatever error is pending.
    const int error = n == 0 ? 0 : plat::LastNetError();
    // Readiness that went before the data did: wait again.
    if (error == plat::kWsaEWOULDBLOCK && waiter_.Valid()) continue;
    return ErrorRule(n, error);
  }
}

int TEasySocket::Send(const void* buffer, int count) {
  for (;;) {
    CheckOpen();
    const int n = plat::SendSocket(handle_.load(), buffer, count);
    const int error = n < 1 ? (n == 0 ? 0 : plat::LastNetError()) : 0;
    // No room at a peer that reads slowly or not at all: the wait for it
    // is one that Close and Cancel end, from any thread, on every system.
    if (n < 0 && error == plat::kWsaEWOULDBLOCK && waiter_.Valid()) {
      WaitFor(plat::kWaitWrite, -1);
      continue;
    }
    if (n > 0) sent_.fetch_add(uint64_t(n));
    UpdateRates();
    if (n < 1) return ErrorRule(n, error);
    return n;
  }
}

void TEasySocket::SendBuffer(const void* buffer, int count) {
  const char* p = static_cast<const char*>(buffer);
  int done = 0;
  while (done < count) {
    const int n = Send(p + done, std::min(kBufferSize, count - done));
    if (n > 0) done += n;
  }
}

void TEasySocket::SendString(std::string_view s) { SendBuffer(s.data(), int(s.size())); }

int TEasySocket::Receive(void* buffer, int count) {
  if (count <= 0) return 0;
  const int unread = fill_ - pos_;
  if (unread > 0) {
    const int n = std::min(count, unread);
    std::memcpy(buffer, buffer_ + pos_, size_t(n));
    pos_ += n;
    return n;
  }
  return ReceiveFromSocket(buffer, count);
}

int TEasySocket::ReceiveBuffer(void* buffer, int count, bool progress) {
  if (!progress) return Receive(buffer, count);
  char* p = static_cast<char*>(buffer);
  int got = 0;
  while (got < count) {
    ReportProgress(got == 0 ? 0 : int(RoundToInt(double(got) * 100.0 / double(count))));
    const int n = Receive(p + got, std::min(kBufferSize, count - got));
    if (n > 0) got += n;
  }
  return got;
}

void TEasySocket::ReportProgress(int percent) {
  if (progress_) progress_(percent);
}

char TEasySocket::NextChar() {
  while (pos_ >= fill_) {
    fill_ = pos_ = 0;
    const int n = ReceiveFromSocket(buffer_, kBufferSize);
    if (n > 0) fill_ = n;
  }
  return buffer_[pos_++];
}

bool TEasySocket::ReadLine(std::string& line) {
  line.clear();
  if (current_ == 0) current_ = NextChar();
  if (current_ == '\n') current_ = NextChar();
  while (current_ != '\n') {
    if (line.size() >= kMaxLineLength) {
      // A peer that never ends its line would make it grow without bound.
      Close();
      throw EEasySocketWinsock(plat::kWsaEMSGSIZE, this);
    }
    line += current_;
    current_ = NextChar();
  }
  line = plat::Trim(line);
  return pos_ < fill_;
}

int TEasySocket::DataAvailable() {
  // Bytes already read ahead come first: they must not be lost behind a
  // close that followed them.
  const int unread = fill_ - pos_;
  if (unread > 0) return unread;
  CheckOpen();
  if (waiter_.Valid()) {
    switch (waiter_.Wait(handle_.load(), plat::kWaitRead, 0)) {
      case plat::WaitResult::kTimeout:
        return 0;
      case plat::WaitResult::kWoken:
        CheckOpen();
        waiter_.Clear();
        return 0;
      default:
        break;
    }
  }
  const int n = plat::ReadableBytes(handle_.load());
  if (n < 0) return std::max(0, ErrorRule(0, plat::LastNetError()));
  if (n == 0 && waiter_.Valid()) return ErrorRule(0, 0);  // readable, nothing: closed
  return n;
}

void TEasySocket::Reconnect() {
  CheckOpen();
  const plat::SocketHandle h = plat::TcpSocket();
  if (h == plat::kInvalidSocket) {
    const int error = plat::LastNetError();
    throw EEasySocketWinsock(error > 0 && error != plat::kWsaEWOULDBLOCK ? error : plat::kWsaENOBUFS, this);
  }
  auto fail = [h, this](int error) {
    plat::CloseSocket(h);
    if (closed_.load()) throw EEasySocketClose(plat::kWsaENOTSOCK, this);
    if (error == plat::kWsaETIMEDOUT) throw EEasySocketWinsock(error, this, kTimedOutText);
    throw EEasySocketWinsock(error > 0 ? error : plat::kWsaECONNREFUSED, this);
  };
  plat::SetNonBlocking(h, true);
  if (!plat::ConnectSocket(h, remoteAddr_, uint16_t(remotePort_))) {
    const int error = plat::LastNetError();
    if (error != plat::kWsaEWOULDBLOCK && error != plat::kWsaEINPROGRESS) fail(error);
    const int ms = TimeOut <= 0 ? -1 : (TimeOut >= INT_MAX / 1000 ? INT_MAX : TimeOut * 1000);
    switch (waiter_.Valid() ? waiter_.Wait(h, plat::kWaitWrite, ms) : plat::WaitResult::kReady) {
      case plat::WaitResult::kReady:
      case plat::WaitResult::kError:
        if (const int e = plat::SocketError(h)) fail(e);
        break;
      case plat::WaitResult::kWoken:
        waiter_.Clear();
        fail(0);  // closed meanwhile
        break;
      case plat::WaitResult::kTimeout:
        fail(plat::kWsaETIMEDOUT);
        break;
    }
  }
  Serve(h);
  // The new handle first, then the old one goes: a Close from another
  // thread that still holds the old number finishes before it is closed.
  const plat::SocketHandle old = handle_.exchange(h);
  while (closing_.load() > 0) std::this_thread::yield();
  plat::CloseSocket(old);
  fill_ = pos_ = 0;
  current_ = 0;
  FillAddresses();
  if (closed_.load()) {
    // Closed while the connections changed places: this one ends too.
    plat::ShutdownSocket(h);
    throw EEasySocketClose(plat::kWsaENOTSOCK, this);
  }
}

void TEasySocket::SetValue(std::string_view key, std::string_view value) {
  plat::Locked<plat::Mutex> hold(paramsLock_);
  params_.SetValue(key, value);
}

std::string TEasySocket::GetValue(std::string_view key) const {
  plat::Locked<plat::Mutex> hold(paramsLock_);
  return params_.GetValue(key);
}

void TEasySocket::FillAddresses() {
  const plat::SocketHandle h = handle_.load();
  uint32_t addr = 0;
  uint16_t port = 0;
  if (plat::LocalAddress(h, &addr, &port)) {
    localAddr_ = addr;
    localPort_ = port;
  }
  if (plat::PeerAddress(h, &addr, &port)) {
    remoteAddr_ = addr;
    remotePort_ = port;
  }
}

// ---------------------------------------------------------------- manager

TEasySocketManager::~TEasySocketManager() {
  for (TEasySocket* s : sockets_) delete s;
}

void TEasySocketManager::Add(TEasySocket* socket, plat::SocketHandle handle) {
  plat::Locked<plat::CriticalSection> hold(lock_);
  sockets_.push_back(socket);
  handles_.push_back(handle);
}

void TEasySocketManager::Remove(TEasySocket* socket) {
  if (!socket) return;
  plat::Locked<plat::CriticalSection> hold(lock_);
  auto it = std::find(sockets_.begin(), sockets_.end(), socket);
  if (it == sockets_.end()) return;
  handles_.erase(handles_.begin() + (it - sockets_.begin()));
  sockets_.erase(it);
}

TEasySocket* TEasySocketManager::First() {
  plat::Locked<plat::CriticalSection> hold(lock_);
  return sockets_.empty() ? nullptr : sockets_.front();
}

TEasySocket* TEasySocketManager::FindByHandle(plat::SocketHandle handle) {
  plat::Locked<plat::CriticalSection> hold(lock_);
  auto it = std::find(handles_.begin(), handles_.end(), handle);
  return it == handles_.end() ? nullptr : sockets_[size_t(it - handles_.begin())];
}

bool TEasySocketManager::Contains(TEasySocket* socket) {
  plat::Locked<plat::CriticalSection> hold(lock_);
  return socket && std::find(sockets_.begin(), sockets_.end(), socket) != sockets_.end();
}

plat::SocketHandle TEasySocketManager::HandleOf(TEasySocket* socket) {
  plat::Locked<plat::CriticalSection> hold(lock_);
  auto it = std::find(sockets_.begin(), sockets_.end(), socket);
  return it == sockets_.end() ? plat::kInvalidSocket : handles_[size_t(it - sockets_.begin())];
}

int TEasySocketManager::Count() {
  plat::Locked<plat::CriticalSection> hold(lock_);
  return int(sockets_.size());
}

// ---------------------------------------------------------------- thread

TEasyWinsockThread::TEasyWinsockThread() : plat::Thread(true) {}

TEasyWinsockThread::~TEasyWinsockThread() { delete socket_; }

void TEasyWinsockThread::Stop() {
  if (socket_) socket_->Close();
  CancelHook();
}

void TEasyWinsockThread::SyncSafely(const std::function<void()>& fn) {
  try {
    Synchronize(fn);
  } catch (...) {
    // An event handler's exception stays out of the connection thread.
  }
}

void TEasyWinsockThread::ReportProgress(int percent) {
  if (!socket_->Active()) return;
  lastProgress_.store(percent);
  if (!progressHandler_) return;  // nobody listens: spare the round trip
  SyncSafely([this, percent] {
    if (owner_->IsListed(this) && socket_->Active() && owner_->OnProgress)
      owner_->OnProgress(owner_, socket_, int16_t(percent));
  });
}

void TEasyWinsockThread::Execute() {
  socket_->owner_.store(plat::CurrentThreadId());
  std::exception_ptr fatal;
  // A stream error is reported while the connection is still up.
  auto streamError = [this](TEasyOnConnect TEasyWinsock::*event) {
    if (socket_->Active())
      SyncSafely([this, event] {
        if (owner_->*event) (owner_->*event)(owner_, socket_);
      });
    Stop();
  };
  try {
    try {
      ServeConnection();
      Stop();
    } catch (const EEasySocketClose&) {
      // The connection was closed: nothing to report.
    } catch (const EEasySocketWinsock& e) {
      errorCode_ = e.Code;
      errorText_ = e.what();
      SyncSafely([this] {
        if (owner_->OnWinsockError) owner_->OnWinsockError(owner_, socket_, errorCode_, errorText_);
      });
    } catch (const EStreamCreateError&) {
      streamError(&TEasyWinsock::OnStreamCreateError);
    } catch (const EStreamReadError&) {
      streamError(&TEasyWinsock::OnStreamReadError);
    } catch (const EStreamWriteError&) {
      streamError(&TEasyWinsock::OnStreamWriteError);
    }
  } catch (...) {
    fatal = std::current_exception();
  }
  // However the routine ended, the connection ends here.
  socket_->Close();
  // Leaving the list and the final events happen in one step on the main
  // thread, so the component cannot go away between them.
  SyncSafely([this] {
    owner_->Unregister(this);
    std::shared_ptr<std::atomic<bool>> alive = ownerAlive_;
    if (owner_->OnFinish) owner_->OnFinish(owner_, socket_);
    if (*alive && owner_->OnDisconnect) owner_->OnDisconnect(owner_, socket_);
  });
  if (fatal) std::rethrow_exception(fatal);
}

// ---------------------------------------------------------------- component

namespace {

// Runs one name lookup and hands the outcome to post (which queues it for
// the main thread, unless the component has gone).
class LookupThread : public plat::Thread {
 public:
  using Done = std::function<void(bool ok, uint32_t addr, int error)>;
  using Poster = std::function<void(std::function<void()>)>;

  LookupThread(TEasyResolver resolver, std::string host, Done done, Poster post)
      : plat::Thread(true),
        resolver_(std::move(resolver)),
        host_(std::move(host)),
        done_(std::move(done)),
        post_(std::move(post)) {}

 protected:
  void Execute() override {
    uint32_t addr = 0;
    int error = 0;
    bool ok = false;
    try {
      ok = resolver_(host_, &addr, &error);
    } catch (...) {
      ok = false;
    }
    if (!ok && error <= 0) error = plat::kWsaHOST_NOT_FOUND;
    Done done = std::move(done_);
    post_([done, ok, addr, error] { done(ok, addr, error); });
  }

 private:
  TEasyResolver resolver_;
  std::string host_;
  Done done_;
  Poster post_;
};

// Tests stand in for a system that cannot start a lookup thread.
std::function<bool()>& LookupStart() {
  static std::function<bool()> start;
  return start;
}

bool AllDigits(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The dotted forms used without a lookup: those whose address, stored in
// network order and read as a signed 32-bit number, is positive.
bool DottedUsable(const std::string& host, uint32_t* addr) {
  uint32_t a = 0;
  if (!plat::TextToAddress(host, &a)) return false;
  const uint32_t stored = ((a >> 24) & 0xFF) | ((a >> 8) & 0xFF00) | ((a << 8) & 0xFF0000) | (a << 24);
  if (int32_t(stored) <= 0) return false;
  *addr = a;
  return true;
}

}  // namespace

TEasyWinsock::TEasyWinsock(void* /*owner*/)
    : link_(std::make_shared<ResolverLink>()), alive_(std::make_shared<std::atomic<bool>>(true)) {
  netStarted_ = plat::NetAcquire();
  link_->target = &window_;
}

TEasyWinsock::~TEasyWinsock() {
  StopListening();
  CloseAll();
  {
    plat::Locked<plat::Mutex> hold(link_->lock);
    link_->target = nullptr;
  }
  alive_->store(false);
  if (netStarted_) plat::NetRelease();
}

plat::SocketHandle TEasyWinsock::NewTaskHandle() {
  // Task handles live apart from socket handles: the top bit is set.
  return plat::SocketHandle(0x80000000u | (++nextTask_ & 0x7FFFFFFFu));
}

TEasySocket* TEasyWinsock::Connect(const std::string& host, int port) {
  auto* s = new TEasySocket();
  s->remotePort_ = port;
  uint32_t addr = 0;
  if (AllDigits(host)) {
    StartConnect(s, uint32_t(uint64_t(EasyStrToInt64(host)) & 0xFFFFFFFFu), port);
  } else if (DottedUsable(host, &addr)) {
    StartConnect(s, addr, port);
  } else {
    StartLookup(s, host, port);
  }
  return s;
}

void TEasyWinsock::StartLookup(TEasySocket* socket, const std::string& host, int port) {
  const plat::SocketHandle task = NewTaskHandle();
  pending_.Add(socket, task);
  TEasyResolver resolver = resolver_ ? resolver_ : TEasyResolver([](const std::string& host, uint32_t* addr, int* error) {
    return plat::ResolveHost(host, addr, error);
  });
  auto done = [this, task, port](bool ok, uint32_t addr, int error) { LookupDone(task, ok, addr, error, port); };
  auto post = [link = link_](std::function<void()> fn) {
    plat::Locked<plat::Mutex> hold(link->lock);
    if (link->target) link->target->Post(std::move(fn));
  };
  auto* t = new LookupThread(std::move(resolver), host, std::move(done), std::move(post));
  t->SetFreeOnTerminate(true);
  bool started = false;
  try {
    started = !LookupStart() || LookupStart()();
    if (started) t->Resume();
  } catch (const std::exception&) {
    started = false;  // the system has no thread to spare
  }
  if (started) return;
  delete t;
  // Reported from the main loop, as a socket that cannot be made is.
  CompleteConnectLater(socket, plat::kWsaENOBUFS);
}

void TEasyWinsock::SetLookupStartForTesting(std::function<bool()> start) { LookupStart() = std::move(start); }

void TEasyWinsock::LookupDone(plat::SocketHandle task, bool ok, uint32_t addr, int error, int port) {
  TEasySocket* s = pending_.FindByHandle(task);
  if (!s) return;
  pending_.Remove(s);
  if (s->Cancelled()) {
    FinishPending(s, 0);
  } else if (!ok) {
    FinishPending(s, error);
  } else {
    StartConnect(s, addr, port);
  }
}

void TEasyWinsock::StartConnect(TEasySocket* socket, uint32_t addr, int port) {
  socket->remoteAddr_ = addr;
  socket->remotePort_ = port;
  const plat::SocketHandle h = plat::TcpSocket();
  if (h == plat::kInvalidSocket) {
    int error = plat::LastNetError();
    if (error <= 0 || error == plat::kWsaEWOULDBLOCK) error = plat::kWsaENOBUFS;
    // Reported from the main loop: the caller gets its socket first.
    pending_.Add(socket, NewTaskHandle());
    CompleteConnectLater(socket, error);
    return;
  }
  socket->handle_.store(h);
  plat::SetNonBlocking(h, true);
  pending_.Add(socket, h);
  window_.WatchSocket(h, plat::kSocketConnect,
                      [this](plat::SocketHandle sh, unsigned event, int error) { ConnectDone(sh, event, error); });
  if (OnStart) OnStart(this, socket);
  if (!pending_.Contains(socket)) return;  // cancelled by the handler
  if (plat::ConnectSocket(h, addr, uint16_t(port))) {
    CompleteConnectLater(socket, 0);
  } else {
    const int error = plat::LastNetError();
    if (error != plat::kWsaEWOULDBLOCK && error != plat::kWsaEINPROGRESS)
      CompleteConnectLater(socket, error > 0 ? error : plat::kWsaECONNREFUSED);
  }
}

void TEasyWinsock::ConnectDone(plat::SocketHandle handle, unsigned event, int error) {
  if (event != plat::kSocketConnect) return;
  TEasySocket* s = pending_.FindByHandle(handle);
  if (!s) return;
  CompleteConnect(s, error);
}

void TEasyWinsock::CompleteConnectLater(TEasySocket* socket, int error) {
  const uint64_t serial = socket->serial_;
  window_.Post([this, socket, serial, error] {
    if (pending_.Contains(socket) && socket->serial_ == serial) CompleteConnect(socket, error);
  });
}

void TEasyWinsock::CompleteConnect(TEasySocket* socket, int error) {
  socket->TimeOut = TimeOut;
  pending_.Remove(socket);
  const plat::SocketHandle h = socket->handle_.load();
  if (h != plat::kInvalidSocket) window_.UnwatchSocket(h);
  if (socket->Cancelled()) {
    FinishPending(socket, 0);
  } else if (error != 0) {
    FinishPending(socket, error);
  } else {
    socket->Serve(h);
    StartConnection(socket, socket);
  }
}

void TEasyWinsock::FinishPending(TEasySocket* socket, int error) {
  socket->Close();
  if (error != 0 && OnWinsockError) OnWinsockError(this, socket, error, WinsockErrorText(error));
  if (OnFinish) OnFinish(this, socket);
  delete socket;
}

TEasySocket* TEasyWinsock::Listen(int port, const std::string& address) {
  auto fail = [this](TEasySocket* s, int error) -> TEasySocket* {
    if (error == 0) error = plat::kWsaENOBUFS;
    delete s;
    if (OnWinsockError) OnWinsockError(this, nullptr, error, WinsockErrorText(error));
    return nullptr;
  };
  uint32_t addr = 0;
  if (!address.empty() && !plat::TextToAddress(address, &addr)) return fail(nullptr, plat::kWsaEADDRNOTAVAIL);
  const plat::SocketHandle h = plat::TcpSocket();
  if (h == plat::kInvalidSocket) return fail(nullptr, plat::LastNetError());
  auto* s = new TEasySocket();
  s->handle_.store(h);
#ifndef _WIN32
  // Lets the port be listened on again while old connections linger in
  // TIME_WAIT (on Windows the option would let others steal the port).
  plat::SetReuseAddress(h, true);
#endif
  if (!plat::BindSocket(h, addr, uint16_t(port))) return fail(s, plat::LastNetError());
  if (!plat::ListenSocket(h, 5)) return fail(s, plat::LastNetError());
  plat::SetNonBlocking(h, true);
  s->FillAddresses();
  listening_.Add(s, h);
  window_.WatchSocket(h, plat::kSocketAccept,
                      [this](plat::SocketHandle sh, unsigned event, int error) { AcceptReady(sh, event, error); });
  return s;
}

void TEasyWinsock::CloseListener(TEasySocket* socket) {
  if (!listening_.Contains(socket)) return;
  listening_.Remove(socket);
  window_.UnwatchSocket(socket->Handle());
  socket->Close();
  delete socket;
}

void TEasyWinsock::StopListening() {
  while (TEasySocket* s = listening_.First()) CloseListener(s);
}

void TEasyWinsock::AcceptReady(plat::SocketHandle handle, unsigned event, int error) {
  if (event != plat::kSocketAccept) return;
  TEasySocket* listener = listening_.FindByHandle(handle);
  if (!listener) return;
  uint32_t addr = 0;
  uint16_t port = 0;
  const plat::SocketHandle h = plat::AcceptSocket(handle, &addr, &port);
  if (h == plat::kInvalidSocket) return;
  auto* s = new TEasySocket();
  s->handle_.store(h);
  // An accepted socket may inherit the listener's notifications: they are
  // switched off, its thread waits on the socket itself.
  window_.WatchSocket(h, plat::kSocketRead, [](plat::SocketHandle, unsigned, int) {});
  window_.UnwatchSocket(h);
  s->Serve(h);
  s->TimeOut = TimeOut;
  s->FillAddresses();
  s->listenSocket_ = listener;
  if (OnStart) OnStart(this, s);
  bool accept = true;
  if (OnAccept) OnAccept(this, s, accept);
  if (!accept) {
    DropRefused(s);
    return;
  }
  StartConnection(s, listener);
}

void TEasyWinsock::DropRefused(TEasySocket* socket) {
  socket->Close();
  if (OnDisconnect) OnDisconnect(this, socket);
  if (OnFinish) OnFinish(this, socket);
  delete socket;
}

void TEasyWinsock::StartConnection(TEasySocket* socket, TEasySocket* listener) {
  TEasyWinsockThread* thread = nullptr;
  if (OnGetThread) OnGetThread(this, thread);
  if (!thread) {
    // Nobody serves it: close and free it as a refused connection.
    DropRefused(socket);
    return;
  }
  socket->FillAddresses();
  socket->listenSocket_ = listener;
  socket->progress_ = [thread](int percent) { thread->ReportProgress(percent); };
  socket->active_.store(true);
  socket->cancelled_.store(true);
  socket->TimeOut = TimeOut;
  if (OnConnect) OnConnect(this, socket);
  thread->owner_ = this;
  thread->socket_ = socket;
  thread->listenSocket_ = listener;
  thread->progressHandler_ = bool(OnProgress);
  thread->ownerAlive_ = alive_;
  thread->SetFreeOnTerminate(true);
  // Listed before it runs, so that CloseAll and Cancel always see it.
  {
    plat::Locked<plat::CriticalSection> hold(lock_);
    threads_.push_back(thread);
    sockets_.push_back(socket);
  }
  bool started = false;
  try {
    started = threadStart_ ? threadStart_(thread) : (thread->Resume(), true);
  } catch (const std::exception&) {
    started = false;  // the system has no thread to spare
  }
  if (started) return;
  // Nobody will serve it: the connection ends here, as a thread's would.
  Unregister(thread);
  thread->socket_ = nullptr;
  delete thread;
  socket->Close();
  if (OnFinish) OnFinish(this, socket);
  if (OnDisconnect) OnDisconnect(this, socket);
  delete socket;
}

void TEasyWinsock::Unregister(TEasyWinsockThread* thread) {
  plat::Locked<plat::CriticalSection> hold(lock_);
  auto it = std::find(threads_.begin(), threads_.end(), thread);
  if (it == threads_.end()) return;
  sockets_.erase(sockets_.begin() + (it - threads_.begin()));
  threads_.erase(it);
}

bool TEasyWinsock::IsListed(TEasyWinsockThread* thread) {
  plat::Locked<plat::CriticalSection> hold(lock_);
  return std::find(threads_.begin(), threads_.end(), thread) != threads_.end();
}

int TEasyWinsock::ThreadCount() {
  plat::Locked<plat::CriticalSection> hold(lock_);
  return int(threads_.size());
}

void TEasyWinsock::StopThread(TEasyWinsockThread* thread) {
  if (thread->Suspended())
    thread->Resume();
  else
    thread->Stop();
}

void TEasyWinsock::Cancel(TEasySocket* socket) {
  if (!socket) return;
  {
    plat::Locked<plat::CriticalSection> hold(lock_);
    auto it = std::find(sockets_.begin(), sockets_.end(), socket);
    if (it != sockets_.end()) StopThread(threads_[size_t(it - sockets_.begin())]);
  }
  if (pending_.Contains(socket)) DropPending(socket);
}

void TEasyWinsock::DropPending(TEasySocket* socket) {
  pending_.Remove(socket);
  const plat::SocketHandle h = socket->Handle();
  if (h != plat::kInvalidSocket) window_.UnwatchSocket(h);
  FinishPending(socket, 0);
}

void TEasyWinsock::CloseAll() {
  while (TEasySocket* s = pending_.First()) DropPending(s);
  for (;;) {
    TEasyWinsockThread* last = nullptr;
    {
      plat::Locked<plat::CriticalSection> hold(lock_);
      if (threads_.empty()) break;
      last = threads_.back();
      StopThread(last);
    }
    // The threads' final synchronised calls run while we wait here.
    plat::MainLoop::PumpUntil([this, last] { return !IsListed(last); }, 300);
  }
}
