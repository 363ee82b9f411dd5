#include "peer/gnutella/gnutella.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>

#include "core/global_functions.h"
#include "platform/clock.h"
#include "platform/net.h"
#include "platform/text.h"

namespace {

constexpr size_t kOwnSearches = 10;
constexpr size_t kRequestQueue = 10;
constexpr size_t kDefaultResultQueue = 2000;
constexpr size_t kRouteTableSize = 1024;
constexpr int kHostListItems = 20;
// Descriptors read in one step of a connection while bytes wait.
constexpr int kDescriptorsPerPass = 16;

const char kProto04[] = "Gnutella 0.4";
const char kProtoUltrapeer[] = "Gnutella 0.6 Ultrapeer";
const char kProtoLeaf[] = "Gnutella 0.6 Leaf";

// Runs fn and swallows what it raises: a thread body ends quietly.
template <class F>
void Quietly(F&& fn) {
  try {
    fn();
  } catch (...) {
  }
}

std::string TwoDigits(int64_t v) {
  std::string s = plat::IntToStr(v);
  return s.size() < 2 ? "0" + s : s;
}

int ClampByte(int v) { return std::clamp(v, 0, 255); }

template <class T>
std::unique_ptr<T> TakeFront(std::deque<std::unique_ptr<T>>& q) {
  if (q.empty()) return nullptr;
  std::unique_ptr<T> item = std::move(q.front());
  q.pop_front();
  return item;
}

// The connection manager's own thread.
class TGnutellaTicker : public plat::Thread {
 public:
  explicit TGnutellaTicker(TGnutella& node) : plat::Thread(true), node_(node) {}

 protected:
  void Execute() override {
    while (node_.Pause(std::max(1, node_.Timings().tickMs))) node_.Tick();
  }

 private:
  TGnutella& node_;
};

}  // namespace

// ================================================================ texts

void HitFlagBytes(const TGnutellaSettings& s, uint8_t& validBits, uint8_t& valueBits) {
  auto bits = [](bool speed, bool uploaded, bool busy, bool push) {
    return uint8_t((speed ? kHitFlagUploadSpeed : 0) | (uploaded ? kHitFlagHaveUploaded : 0) |
                   (busy ? kHitFlagBusy : 0) | (push ? kHitFlagPush : 0));
  };
  validBits = bits(s.bFlagUploadSpeedValid, s.bFlagHaveUploadedValid, s.bFlagBusyValid, s.bFlagPushValid);
  valueBits = bits(s.bFlagUploadSpeed, s.bFlagHaveUploaded, s.bFlagBusy, s.bFlagPush);
}

std::string THostItem::Key() const { return Host + ":" + plat::IntToStr(Port); }

std::string UptimeText(int64_t minutes) {
  if (minutes < 0) minutes = 0;
  return TwoDigits(minutes / 1440) + "D " + TwoDigits(minutes % 1440 / 60) + "H " + TwoDigits(minutes % 60) +
         "M";
}

int64_t ParseUptime(std::string_view text) {
  int64_t total = 0, number = 0;
  bool digits = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      if (number < 100000000) number = number * 10 + (c - '0');
      digits = true;
      continue;
    }
    if (c == ' ' || c == '\t') continue;
    char u = plat::FoldChar(c);
    if (digits && (u == 'D' || u == 'H' || u == 'M')) total += number * (u == 'D' ? 1440 : u == 'H' ? 60 : 1);
    number = 0;
    digits = false;
  }
  return total;
}

bool SplitHostPort(std::string_view item, std::string& host, int& port) {
  std::string t = plat::Trim(item);
  size_t colon = t.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 >= t.size()) return false;
  int64_t p = 0;
  for (size_t i = colon + 1; i < t.size(); ++i) {
    if (t[i] < '0' || t[i] > '9' || p > 65535) return false;
    p = p * 10 + (t[i] - '0');
  }
  if (p < 1 || p > 65535) return false;
  host = plat::Trim(t.substr(0, colon));
  port = int(p);
  return !host.empty();
}

std::vector<THostItem> ParseHostList(std::string_view text) {
  std::vector<THostItem> out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string_view::npos) comma = text.size();
    THostItem h;
    int port = 0;
    if (SplitHostPort(text.substr(start, comma - start), h.Host, port)) {
      h.Port = uint16_t(port);
      out.push_back(h);
    }
    start = comma + 1;
  }
  return out;
}

// ================================================================ handshake

uint8_t TGnutellaSocketReader::ReadByte() {
  uint8_t b = 0;
  s_.Recv(&b, 1);
  return b;
}

void TGnutellaSocketReader::ReadExact(void* buf, int count) { s_.ReadExact(buf, count); }

std::string ReadHandshakeLine(TGnutellaReader& in) {
  std::string line;
  for (;;) {
    char c = char(in.ReadByte());
    if (c == '\n') break;
    if (line.size() > kMaxHandshakeLine) throw EGnutella("Handshake line too long");  // room for its CR
    line += c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.size() > kMaxHandshakeLine) throw EGnutella("Handshake line too long");
  return line;
}

bool IsStatusOk(std::string_view line) {
  static const std::string kOk = "GNUTELLA/0.6 200";
  std::string t = plat::UpperCase(plat::Trim(line));
  return t.compare(0, kOk.size(), kOk) == 0 && (t.size() == kOk.size() || t[kOk.size()] == ' ');
}

void THandshakeHeaders::Read(TGnutellaReader& in) {
  for (int lines = 0;; ++lines) {
    std::string line = ReadHandshakeLine(in);
    if (line.empty()) return;
    if (lines >= kMaxHandshakeLines) throw EGnutella("Too many handshake lines");
    if ((line[0] == ' ' || line[0] == '\t') && !items_.empty()) {
      std::string more = plat::Trim(line);
      std::string& v = items_.back().second;
      if (!more.empty()) v += v.empty() ? more : " " + more;
      continue;
    }
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    Add(plat::Trim(line.substr(0, colon)), plat::Trim(line.substr(colon + 1)));
  }
}

void THandshakeHeaders::Add(const std::string& name, const std::string& value) {
  items_.emplace_back(name, value);
}

bool THandshakeHeaders::Has(std::string_view name) const {
  return std::any_of(items_.begin(), items_.end(), [&](auto& i) { return plat::SameText(i.first, name); });
}

std::string THandshakeHeaders::Get(std::string_view name) const {
  for (auto& i : items_)
    if (plat::SameText(i.first, name)) return plat::Trim(i.second);
  return "";
}

TPeerHeaders InterpretHeaders(const THandshakeHeaders& h) {
  TPeerHeaders p;
  auto addAll = [&](const std::vector<THostItem>& hosts) { p.Hosts.insert(p.Hosts.end(), hosts.begin(), hosts.end()); };
  for (int i = 0; i < h.Count(); ++i) {
    const std::string& n = h.Name(i);
    const std::string v = plat::Trim(h.Value(i));
    if (plat::SameText(n, "X-Ultrapeer")) {
      p.IsUltrapeer = StrToBool(v);
    } else if (plat::SameText(n, "X-Ultrapeer-Needed")) {
      p.UltrapeerNeeded = StrToBool(v);
    } else if (plat::SameText(n, "X-Try-Ultrapeers") || plat::SameText(n, "X-Try")) {
      addAll(ParseHostList(v));
    } else if (plat::SameText(n, "X-My-Address")) {
      THostItem item;
      int port = 0;
      if (SplitHostPort(v, item.Host, port)) {
        item.Port = uint16_t(port);
        p.MyAddressPort = port;
        p.Hosts.push_back(item);
      }
    } else if (plat::SameText(n, "X-Tarn-Info")) {
      addAll(ParseHostList(Base64Decode(v)));
    } else if (plat::SameText(n, "User-Agent")) {
      p.UserAgent = v;
    } else if (plat::SameText(n, "Uptime")) {
      p.Uptime = v;
    } else if (plat::SameText(n, "X-Max-TTL")) {
      const int64_t ttl = DigitsToInt64(v);
      p.MaxTtl = ttl >= 1 && ttl <= 255 ? int(ttl) : 0;
    }
  }
  return p;
}

TAdmission CheckAdmission(const TGnutellaSettings& s, int U, int L, bool linkUltrapeer, bool incoming,
                          bool peerIsUltrapeer, bool peerUltrapeerNeeded) {
  bool roomUltrapeer, roomLeaf;
  if (!linkUltrapeer) {
    roomUltrapeer = incoming ? U < s.iMinUltraPeerSlow : U < s.iMaxUltraPeersSlow;
    roomLeaf = false;
  } else if (incoming) {
    roomUltrapeer = U < s.iMinUltraPeers;
    roomLeaf = L < s.iMaxPeers;
  } else {
    roomUltrapeer = U < s.iMaxUltraPeers;
    roomLeaf = L < s.iMaxPeers;
  }
  TAdmission a;
  a.LinkUltrapeer = linkUltrapeer;
  if (!roomUltrapeer && !roomLeaf) return a;
  if (a.LinkUltrapeer && !peerUltrapeerNeeded && roomUltrapeer) a.LinkUltrapeer = false;
  a.Accept = peerIsUltrapeer || a.LinkUltrapeer;
  return a;
}

// ================================================================ threads

void TGnutellaThreadList::Open() {
  std::lock_guard<std::mutex> g(lock_);
  closed_ = false;
}

void TGnutellaThreadList::Close() {
  std::lock_guard<std::mutex> g(lock_);
  closed_ = true;
}

bool TGnutellaThreadList::Start(plat::Thread* t) {
  std::lock_guard<std::mutex> g(lock_);
  if (closed_) return false;
  t->Resume();
  threads_.push_back(t);
  return true;
}

void TGnutellaThreadList::Reap(const std::function<void(plat::Thread*)>& beforeFree) {
  std::vector<plat::Thread*> done;
  {
    std::lock_guard<std::mutex> g(lock_);
    auto ended = std::stable_partition(threads_.begin(), threads_.end(), [](plat::Thread* t) { return !t->Finished(); });
    done.assign(ended, threads_.end());
    threads_.erase(ended, threads_.end());
  }
  for (plat::Thread* t : done) {
    if (beforeFree) beforeFree(t);
    t->WaitFor();
    delete t;
  }
}

bool TGnutellaThreadList::Empty() {
  std::lock_guard<std::mutex> g(lock_);
  return threads_.empty();
}

// ================================================================ node

struct TGnutella::SyncCall {
  std::function<void()> fn;
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  bool abandoned = false;
  bool running = false;  // the handler runs now
};

TGnutella::TGnutella() : serventGuid_(NewServentGuid()) {}

TGnutella::~TGnutella() { Stop(); }

TGnutellaSettings TGnutella::Settings() const {
  std::lock_guard<plat::CriticalSection> g(lock_);
  return settings_;
}

void TGnutella::SetSettings(const TGnutellaSettings& s) {
  std::lock_guard<plat::CriticalSection> g(lock_);
  settings_ = s;
  if (s.bManualNetworkSettings) ApplyManualAddressLocked();
}

void TGnutella::ApplyManualAddressLocked() {
  localIP_ = settings_.sLocalIP;
  localIPNumber_ = settings_.iLocalIP;
  if (localIPNumber_ == 0) plat::TextToAddress(settings_.sLocalIP, &localIPNumber_);
  localPort_ = settings_.iLocalPort;
}

void TGnutella::SetBindAddress(const std::string& address) {
  std::lock_guard<plat::CriticalSection> g(lock_);
  bindAddress_ = address;
}

std::string TGnutella::BindAddress() const {
  std::lock_guard<plat::CriticalSection> g(lock_);
  return bindAddress_;
}

std::string TGnutella::sLocalIP() const {
  std::lock_guard<plat::CriticalSection> g(lock_);
  return localIP_;
}

uint32_t TGnutella::iLocalIP() const {
  std::lock_guard<plat::CriticalSection> g(lock_);
  return localIPNumber_;
}

std::string TGnutella::UptimeText() const {
  return ::UptimeText((plat::MonotonicMs() - startMs_) / 60000);
}

bool TGnutella::Pause(int ms) {
  if (ms > 0) stopEvent_.Wait(ms);
  return !stopping_;
}

// ---------------------------------------------------------------- start/stop

void TGnutella::Start(int port) {
  Stop();
  std::lock_guard<std::mutex> run(runLock_);
  {
    std::lock_guard<std::mutex> g(syncLock_);
    stopping_ = false;
    eventsGivenUp_ = false;
  }
  stopEvent_.Reset();
  threads_.Open();
  startMs_ = plat::MonotonicMs();
  peakSend_ = 0;
  peakReceive_ = 0;
  TGnutellaSettings s = Settings();
  std::string bind = BindAddress();
  {
    std::lock_guard<plat::CriticalSection> g(lock_);
    if (s.bManualNetworkSettings) {
      ApplyManualAddressLocked();
    } else {
      uint32_t own = 0;
      if (bind.empty() || bind == "0.0.0.0" || !plat::TextToAddress(bind, &own)) own = plat::OwnFirstAddress();
      localIPNumber_ = own;
      localIP_ = plat::AddressToText(own);
      localPort_ = 0;
    }
  }
  started_ = true;
  if (!s.bFirewalled) {
    try {
      listener_.Listen(bind, port, true);
      if (!s.bManualNetworkSettings) localPort_ = listener_.LocalPort();
      threads_.Start(new TGnutellaListenThread(*this));
    } catch (const ESocket&) {
      // Not listening: the node still connects out.
    }
  }
  UpdateRole();
  threads_.Start(new TGnutellaTicker(*this));
  Tick();
}

void TGnutella::CloseEverything() {
  std::lock_guard<plat::CriticalSection> g(lock_);
  for (auto& p : pending_) p.thread->CloseLink();
  for (auto& c : connected_) c.link->CloseLink();
  listener_.Close();
}

void TGnutella::Stop() {
  std::lock_guard<std::mutex> run(runLock_);
  const bool onMain = plat::MainLoop::IsMainThread();
  {
    std::lock_guard<std::mutex> g(syncLock_);
    stopping_ = true;
    eventsGivenUp_ = !onMain;
  }
  stopEvent_.Set();
  threads_.Close();
  for (;;) {
    CloseEverything();
    // Connection threads may wait for the main thread: serve them when this
    // is the main thread, release them otherwise (the main thread may be
    // waiting for this very Stop).
    if (onMain) plat::MainLoop::ProcessMessages();
    AbandonSyncCalls(!onMain);
    threads_.Reap();
    if (threads_.Empty()) break;
    plat::Thread::Sleep(std::max(1, timings_.stopPollMs));
  }
  {
    std::lock_guard<plat::CriticalSection> g(lock_);
    pending_.clear();
    requests_.clear();
    results_.clear();
    tracked_.clear();
    routes_.clear();
    routeOrder_.clear();
  }
  if (!Settings().bManualNetworkSettings) localPort_ = 0;
  started_ = false;
}

// ---------------------------------------------------------------- synchronised events

void TGnutella::RunSync(const std::function<void()>& fn) {
  if (plat::MainLoop::IsMainThread()) {
    fn();
    return;
  }
  auto call = std::make_shared<SyncCall>();
  call->fn = fn;
  {
    std::lock_guard<std::mutex> g(syncLock_);
    if (eventsGivenUp_) return;
    syncCalls_.push_back(call);
  }
  target_.Post([call] {
    {
      std::lock_guard<std::mutex> g(call->m);
      if (call->abandoned) return;
      call->running = true;
    }
    Quietly(call->fn);
    {
      std::lock_guard<std::mutex> g(call->m);
      call->running = false;
      call->done = true;
    }
    call->cv.notify_all();
  });
  {
    std::unique_lock<std::mutex> lk(call->m);
    call->cv.wait(lk, [&] { return call->done || call->abandoned; });
  }
  std::lock_guard<std::mutex> g(syncLock_);
  syncCalls_.erase(std::remove(syncCalls_.begin(), syncCalls_.end(), call), syncCalls_.end());
}

void TGnutella::AbandonSyncCalls(bool all) {
  std::lock_guard<std::mutex> g(syncLock_);
  for (auto& c : syncCalls_) {
    {
      std::lock_guard<std::mutex> h(c->m);
      // On the main thread only a call whose handler is running now (and so
      // called Stop) is left waiting: release it too.
      if (!all && !c->running) continue;
      c->abandoned = true;
    }
    c->cv.notify_all();
  }
}

void TGnutella::FireConnectionEvent(const TGnutellaOnAction& handler, const TConnectionInfo& info) {
  if (!handler) return;
  TGnutellaOnAction h = handler;
  RunSync([this, h, info] { h(*this, info); });
}

// ---------------------------------------------------------------- counts and roles

void TGnutella::CountsLocked(int& ultrapeers, int& leaves) const {
  ultrapeers = leaves = 0;
  for (auto& c : connected_) (c.peerIsUltrapeer ? ultrapeers : leaves)++;
}

int TGnutella::ConnectionCount() {
  std::lock_guard<plat::CriticalSection> g(lock_);
  return int(connected_.size());
}

int TGnutella::UltrapeerLinkCount() {
  std::lock_guard<plat::CriticalSection> g(lock_);
  int u, l;
  CountsLocked(u, l);
  return u;
}

int TGnutella::LeafLinkCount() {
  std::lock_guard<plat::CriticalSection> g(lock_);
  int u, l;
  CountsLocked(u, l);
  return l;
}

int TGnutella::PendingCount() {
  std::lock_guard<plat::CriticalSection> g(lock_);
  return int(pending_.size());
}

int TGnutella::HealthPercent() {
  int connections = ConnectionCount();
  int minPeers = Settings().iMinPeers;
  if (connections < 1 || minPeers < 1) return 0;
  return int(std::lround(double(connections) / minPeers * 100.0));
}

bool TGnutella::UltrapeersNeeded() {
  std::lock_guard<plat::CriticalSection> g(lock_);
  int u, l;
  CountsLocked(u, l);
  return u < (isUltraPeer_ ? settings_.iMinUltraPeers : settings_.iMinUltraPeerSlow);
}

void TGnutella::RaisePeaks(int sendRate, int receiveRate) {
  for (int cur = peakSend_; sendRate > cur && !peakSend_.compare_exchange_weak(cur, sendRate);) {
  }
  for (int cur = peakReceive_; receiveRate > cur && !peakReceive_.compare_exchange_weak(cur, receiveRate);) {
  }
}

void TGnutella::UpdateRole() {
  TGnutellaSettings s = Settings();
  switch (s.sUltraPeerMode) {
    case umUltraPeer:
      isUltraPeer_ = true;
      break;
    case umLeaf:
      isUltraPeer_ = false;
      break;
    case umAutomatic:
      isUltraPeer_ = (plat::MonotonicMs() - startMs_) / 1000 > s.iMinUltraPeerSecondsLive &&
                     peakReceive_ >= s.iMinUltrapeerInBPS && peakSend_ >= s.iMinUltraPeerOutBPS;
      break;
  }
}

void TGnutella::AdoptLocalAddress(const std::string& ip, uint32_t number) {
  if (ip.empty() || number == 0) return;
  std::lock_guard<plat::CriticalSection> g(lock_);
  localIP_ = ip;
  localIPNumber_ = number;
}

// ---------------------------------------------------------------- connection manager

void TGnutella::Tick() {
  if (tickRunning_.exchange(true)) return;
  Quietly([&] {
    threads_.Reap();
    if (!started_ || stopping_) return;
    TGnutellaSettings s = Settings();
    int wanted = isUltraPeer_ ? s.iMinUltraPeers : s.iMinUltraPeerSlow;
    int outgoingPending = 0;
    int ultrapeers = 0, leaves = 0;
    {
      std::lock_guard<plat::CriticalSection> g(lock_);
      CountsLocked(ultrapeers, leaves);
      for (auto& p : pending_) outgoingPending += p.incoming ? 0 : 1;
    }
    if (ultrapeers >= wanted || outgoingPending >= s.iMaxPendingPeers) return;
    THostItem h;
    if (!TakeHost(h)) return;
    auto* t = new TGnutellaThread(*this, h.Host, h.Port);
    if (!LaunchConnection(t, false)) delete t;
  });
  Quietly([&] { UpdateRole(); });
  tickRunning_ = false;
}

bool TGnutella::LaunchConnection(TGnutellaThread* t, bool incoming) {
  {
    std::lock_guard<plat::CriticalSection> g(lock_);
    if (stopping_) return false;
    if (incoming) {
      int n = 0;
      for (auto& p : pending_) n += p.incoming ? 1 : 0;
      if (n >= std::max(1, settings_.iMaxPendingPeers)) return false;
    } else if (ConnectedOrPendingLocked(t->Key())) {
      return false;
    }
    pending_.push_back(PendingEntry{t->Key(), t, incoming});
  }
  if (threads_.Start(t)) return true;
  std::lock_guard<plat::CriticalSection> g(lock_);
  pending_.erase(std::remove_if(pending_.begin(), pending_.end(), [&](auto& p) { return p.thread == t; }),
                 pending_.end());
  return false;
}

bool TGnutella::Admit(TGnutellaThread* t, const std::string& key, bool incoming, bool& linkUltrapeer,
                      bool peerIsUltrapeer, bool peerUltrapeerNeeded) {
  std::lock_guard<plat::CriticalSection> g(lock_);
  if (stopping_) return false;
  int u, l;
  CountsLocked(u, l);
  TAdmission a = CheckAdmission(settings_, u, l, linkUltrapeer, incoming, peerIsUltrapeer, peerUltrapeerNeeded);
  linkUltrapeer = a.LinkUltrapeer;
  if (!a.Accept) return false;
  pending_.erase(std::remove_if(pending_.begin(), pending_.end(), [&](auto& p) { return p.thread == t; }),
                 pending_.end());
  t->linkId_ = ++nextLinkId_;
  connected_.push_back(ConnectedEntry{t->linkId_, key, t, peerIsUltrapeer, incoming});
  return true;
}

bool TGnutella::Admit04(TGnutellaThread* t, const std::string& key, bool incoming) {
  std::lock_guard<plat::CriticalSection> g(lock_);
  if (stopping_) return false;
  int u, l;
  CountsLocked(u, l);
  if (u >= (isUltraPeer_ ? settings_.iMaxUltraPeers : settings_.iMaxUltraPeersSlow)) return false;
  pending_.erase(std::remove_if(pending_.begin(), pending_.end(), [&](auto& p) { return p.thread == t; }),
                 pending_.end());
  t->linkId_ = ++nextLinkId_;
  connected_.push_back(ConnectedEntry{t->linkId_, key, t, true, incoming});
  return true;
}

void TGnutella::LinkEnded(TGnutellaThread* t) {
  std::lock_guard<plat::CriticalSection> g(lock_);
  pending_.erase(std::remove_if(pending_.begin(), pending_.end(), [&](auto& p) { return p.thread == t; }),
                 pending_.end());
  connected_.erase(std::remove_if(connected_.begin(), connected_.end(),
                                  [&](auto& c) { return c.link == static_cast<TGnutellaLink*>(t); }),
                   connected_.end());
}

uint64_t TGnutella::AttachLink(TGnutellaLink* link, const std::string& key, bool peerIsUltrapeer,
                               bool incoming) {
  std::lock_guard<plat::CriticalSection> g(lock_);
  link->linkId_ = ++nextLinkId_;
  connected_.push_back(ConnectedEntry{link->linkId_, key, link, peerIsUltrapeer, incoming});
  return link->linkId_;
}

void TGnutella::DetachLink(uint64_t id) {
  std::lock_guard<plat::CriticalSection> g(lock_);
  connected_.erase(std::remove_if(connected_.begin(), connected_.end(), [&](auto& c) { return c.id == id; }),
                   connected_.end());
}

// ---------------------------------------------------------------- hosts

bool TGnutella::ConnectedOrPendingLocked(const std::string& key) const {
  for (auto& c : connected_)
    if (c.key == key) return true;
  for (auto& p : pending_)
    if (p.key == key) return true;
  return false;
}

bool TGnutella::KnownKeyLocked(const std::string& key) const {
  for (auto& h : hostCache_)
    if (h.Key() == key) return true;
  return ConnectedOrPendingLocked(key);
}

void TGnutella::AddHost(const std::string& host, int port) {
  if (host.empty() || port < 1 || port > 65535) return;
  THostItem item{host, uint16_t(port), plat::MonotonicMs(), 0};
  std::string key = item.Key();
  std::lock_guard<plat::CriticalSection> g(lock_);
  if (KnownKeyLocked(key)) return;
  if (localPort_ > 0 && key == localIP_ + ":" + plat::IntToStr(localPort_)) return;  // ourselves
  for (auto& pattern : exclusions_)
    if (MatchWildcard(pattern, host)) return;
  hostCache_.push_back(item);
  while (hostCache_.size() > size_t(std::max(0, settings_.iMaxHostCacheSize))) hostCache_.pop_front();
}

void TGnutella::AddHosts(const std::vector<THostItem>& hosts) {
  for (auto& h : hosts) AddHost(h.Host, h.Port);
}

void TGnutella::AddSeedHost(const std::string& host, int port) {
  if (host.empty() || port < 1 || port > 65535) return;
  THostItem item{host, uint16_t(port), plat::MonotonicMs(), 0};
  std::lock_guard<plat::CriticalSection> g(lock_);
  for (auto& s : seeds_)
    if (s.Key() == item.Key()) return;
  seeds_.push_back(item);
}

void TGnutella::AddExclusion(const std::string& pattern) {
  std::lock_guard<plat::CriticalSection> g(lock_);
  exclusions_.push_back(pattern);
}

void TGnutella::AddKnownUptimeHost(const std::string& host, int port, int64_t uptimeMinutes) {
  if (host.empty() || port < 1 || port > 65535) return;
  THostItem item{host, uint16_t(port), plat::MonotonicMs(), uptimeMinutes};
  std::lock_guard<plat::CriticalSection> g(lock_);
  for (auto& k : knownUptime_)
    if (k.Key() == item.Key()) return;
  knownUptime_.push_back(item);
  if (knownUptime_.size() > size_t(std::max(0, settings_.iMaxHostCacheSize)) && !knownUptime_.empty()) {
    auto smallest = std::min_element(knownUptime_.begin(), knownUptime_.end(),
                                     [](auto& a, auto& b) { return a.Uptime < b.Uptime; });
    knownUptime_.erase(smallest);
  }
}

bool TGnutella::TakeHost(THostItem& h) {
  std::lock_guard<plat::CriticalSection> g(lock_);
  if (!settings_.bIsCacheServer && !knownUptime_.empty()) {
    auto best = knownUptime_.begin();
    for (auto it = knownUptime_.begin(); it != knownUptime_.end(); ++it)
      if (it->Uptime > best->Uptime) best = it;
    h = *best;
    knownUptime_.erase(best);
    return true;
  }
  if (!hostCache_.empty()) {
    h = hostCache_.front();
    hostCache_.pop_front();
    return true;
  }
  // Seeds go back to the end; one tried a moment ago is left to rest, so a
  // seed that refuses is not hammered.
  int64_t now = plat::MonotonicMs();
  for (size_t i = 0; i < seeds_.size(); ++i) {
    THostItem s = seeds_.front();
    seeds_.pop_front();
    seeds_.push_back(s);
    auto tried = seedTried_.find(s.Key());
    if (tried != seedTried_.end() && now - tried->second < timings_.seedRetryMs) continue;
    seedTried_[s.Key()] = now;
    h = s;
    return true;
  }
  return false;
}

std::vector<THostItem> TGnutella::HostCache() {
  std::lock_guard<plat::CriticalSection> g(lock_);
  return std::vector<THostItem>(hostCache_.begin(), hostCache_.end());
}

std::vector<THostItem> TGnutella::KnownUptimeHosts() {
  std::lock_guard<plat::CriticalSection> g(lock_);
  return knownUptime_;
}

std::vector<THostItem> TGnutella::SeedHosts() {
  std::lock_guard<plat::CriticalSection> g(lock_);
  return std::vector<THostItem>(seeds_.begin(), seeds_.end());
}

std::string TGnutella::HostListText() {
  std::lock_guard<plat::CriticalSection> g(lock_);
  std::string text;
  auto take = [&](auto& list) {
    size_t n = std::min(list.size(), size_t(kHostListItems));
    for (size_t i = 0; i < n; ++i) {
      if (!text.empty()) text += ", ";
      text += list[i].Key();
    }
    std::rotate(list.begin(), list.begin() + std::ptrdiff_t(n), list.end());
  };
  take(knownUptime_);
  take(hostCache_);
  return text;
}

// ================================================================ descriptors

bool TGnutella::SeenGuidLocked(const TGuid& g) const {
  return std::find(tracked_.begin(), tracked_.end(), g) != tracked_.end();
}

void TGnutella::RememberGuidLocked(const TGuid& g) {
  tracked_.push_back(g);
  while (tracked_.size() > size_t(std::max(1, settings_.iMaxTrackingSize))) tracked_.pop_front();
}

void TGnutella::RecordRouteLocked(const TGuid& g, uint64_t linkId) {
  if (routes_.count(g)) return;  // the first arrival is the way back
  routes_[g] = linkId;
  routeOrder_.push_back(g);
  while (routeOrder_.size() > kRouteTableSize) {
    routes_.erase(routeOrder_.front());
    routeOrder_.pop_front();
  }
}

TBasePacket TGnutella::OwnPong(const TGuid& guid) {
  TPong pong;
  pong.Port = uint16_t(localPort_.load());
  {
    std::lock_guard<plat::CriticalSection> g(lock_);
    pong.Address = localIPNumber_;
  }
  pong.Files = 100;
  pong.KBytes = 1000;
  return TBasePacket(guid, kDescPong, 1, 0, PongPayload(pong));
}

bool TGnutella::SendOn(TGnutellaLink& link, const TBasePacket& p) {
  switch (p.Type) {
    case kDescPing:
      link.QueueDescriptor(p);
      return true;
    case kDescQuery: {
      // A peer that announced a lower TTL limit drops queries above it.
      const int maxTtl = link.MaxQueryTtl();
      if (maxTtl > 0 && p.TTL > maxTtl) {
        TBasePacket cut = p;
        cut.TTL = uint8_t(maxTtl);
        link.QueueDescriptor(cut);
      } else {
        link.QueueDescriptor(p);
      }
      return true;
    }
    case kDescPong:
    case kDescQueryHit: {
      std::lock_guard<plat::CriticalSection> g(lock_);
      auto it = routes_.find(p.Guid);
      if (it == routes_.end() || it->second != link.LinkId()) return false;
      link.QueueDescriptor(p);
      return true;
    }
    default:
      return false;  // pushes and other types are not sent on
  }
}

void TGnutella::Forward(TBasePacket& p, TGnutellaLink* from) {
  std::lock_guard<plat::CriticalSection> g(lock_);
  bool request = p.Type == kDescPing || p.Type == kDescPush || p.Type == kDescQuery;
  if (request && SeenGuidLocked(p.Guid)) return;
  RememberGuidLocked(p.Guid);
  int maxHops = ClampByte(settings_.iMaxHops);
  if (p.TTL > maxHops) p.TTL = uint8_t(maxHops);
  if (p.Hops > maxHops) return;
  if (p.TTL > 0) --p.TTL;
  if (p.Hops < 255) ++p.Hops;
  if (p.TTL == 0) return;
  bool relay = isUltraPeer_ && !settings_.bIsCacheServer;
  if (from && !relay) return;
  for (auto& c : connected_)
    if (c.link != from) SendOn(*c.link, p);
}

void TGnutella::QueueResultsLocked(const TQueryHit& hit, const TGuid& query) {
  size_t limit = settings_.iMaxResults > 0 ? size_t(settings_.iMaxResults) : kDefaultResultQueue;
  std::string host = plat::AddressToText(hit.Address);
  std::string servent = GuidToText(hit.ServentGuid);
  auto valid = [&](uint8_t bit) { return hit.HasFlags && (hit.Flags1 & bit) != 0; };
  auto value = [&](uint8_t bit) { return hit.HasFlags && (hit.Flags2 & bit) != 0; };
  for (auto& r : hit.Results) {
    auto res = std::make_unique<TSearchResult>();
    res->Host = host;
    res->Port = hit.Port;
    res->Speed = hit.Speed;
    res->FileName = r.Name;
    res->Size = r.Size;
    res->FileIndex = r.FileIndex;
    res->bFlagUploadSpeedValid = valid(kHitFlagUploadSpeed);
    res->bFlagHaveUploadedValid = valid(kHitFlagHaveUploaded);
    res->bFlagBusyValid = valid(kHitFlagBusy);
    res->bFlagPushValid = valid(kHitFlagPush);
    res->bFlagUploadSpeed = value(kHitFlagUploadSpeed);
    res->bFlagHaveUploaded = value(kHitFlagHaveUploaded);
    res->bFlagBusy = value(kHitFlagBusy);
    res->bFlagPush = value(kHitFlagPush);
    res->ServentGUID = servent;
    res->QueryGUID = query;
    results_.push_back(std::move(res));
  }
  while (results_.size() > limit) results_.pop_front();  // the oldest go
}

void TGnutella::ReceiveDescriptor(TBasePacket& p, TGnutellaLink* from) {
  std::unique_lock<plat::CriticalSection> g(lock_);
  switch (p.Type) {
    case kDescPing: {
      if (from) RecordRouteLocked(p.Guid, from->LinkId());
      // An ultrapeer answers every ping; a leaf only the keep-alive pings of
      // its neighbour (TTL 1, no hops), which servents expect answered.
      bool keepAlive = p.TTL == 1 && p.Hops == 0;
      if (from && (isUltraPeer_ || keepAlive)) {
        g.unlock();
        SendOn(*from, OwnPong(p.Guid));
      }
      return;
    }
    case kDescPong: {
      TPong pong;
      if (!ParsePong(p.Payload, pong) || pong.Address == 0) return;
      g.unlock();
      AddHost(plat::AddressToText(pong.Address), pong.Port);
      return;
    }
    case kDescPush: {
      TPush push;
      if (ParsePush(p.Payload, push) && push.ServentGuid == serventGuid_) {
        g.unlock();
        if (OnPush) {
          TGnutellaOnPush h = OnPush;
          std::string guid = GuidToText(push.ServentGuid), host = plat::AddressToText(push.Address);
          int index = int(push.FileIndex), port = push.Port;
          RunSync([this, h, guid, index, host, port] { h(*this, guid, index, host, port); });
        }
        return;
      }
      break;
    }
    case kDescQueryHit: {
      if (p.Payload.size() < kHitHeaderSize ||
          std::find(ownSearches_.begin(), ownSearches_.end(), p.Guid) == ownSearches_.end())
        break;
      TQueryHit hit;
      if (ParseQueryHit(p.Payload, hit)) QueueResultsLocked(hit, p.Guid);
      return;  // ours: never sent on
    }
    case kDescQuery: {
      auto r = std::make_unique<TSearchRequest>();
      if (!ParseQuery(p.Payload, *r) || SeenGuidLocked(p.Guid)) return;
      if (from) RecordRouteLocked(p.Guid, from->LinkId());
      r->Guid = p.Guid;
      requests_.push_back(std::move(r));
      while (requests_.size() > kRequestQueue) requests_.pop_front();
      break;
    }
    default:
      break;
  }
  Forward(p, from);
}

// ---------------------------------------------------------------- searches

TGuid TGnutella::Search(uint16_t minSpeed, const std::string& text, const std::string& extension) {
  std::lock_guard<plat::CriticalSection> g(lock_);
  TGuid guid = NewDescriptorGuid();
  uint16_t first = (minSpeed & kQueryFlagsForm) ? minSpeed : kQueryFlagsForm;
  if (settings_.bFirewalled) first |= kQueryFlagFirewalled;
  TBasePacket q(guid, kDescQuery, uint8_t(ClampByte(settings_.iMaxHops)), 0, QueryPayload(first, text, extension));
  ownSearches_.push_back(guid);
  while (ownSearches_.size() > kOwnSearches) ownSearches_.pop_front();
  currentSearch_ = guid;
  RememberGuidLocked(guid);  // an echo of our own query is not sent on
  for (auto& c : connected_) SendOn(*c.link, q);
  return guid;
}

TGuid TGnutella::CurrentSearchGuid() {
  std::lock_guard<plat::CriticalSection> g(lock_);
  return currentSearch_;
}

std::unique_ptr<TSearchResult> TGnutella::GetNextResult() {
  std::lock_guard<plat::CriticalSection> g(lock_);
  return TakeFront(results_);
}

std::unique_ptr<TSearchRequest> TGnutella::GetNextSearchRequest() {
  std::lock_guard<plat::CriticalSection> g(lock_);
  return TakeFront(requests_);
}

int TGnutella::ResultQueueLength() {
  std::lock_guard<plat::CriticalSection> g(lock_);
  return int(results_.size());
}

// ================================================================ connection thread

TGnutellaThread::TGnutellaThread(TGnutella& node, std::string host, int port)
    : plat::Thread(true),
      node_(node),
      sock_(std::make_unique<TSocket>()),
      host_(std::move(host)),
      port_(port),
      incoming_(false) {
  key_ = host_ + ":" + plat::IntToStr(port_);
}

TGnutellaThread::TGnutellaThread(TGnutella& node, std::unique_ptr<TSocket> accepted)
    : plat::Thread(true), node_(node), sock_(std::move(accepted)), incoming_(true) {
  host_ = sock_->RemoteIP();
  port_ = sock_->RemotePort();
  key_ = host_ + ":" + plat::IntToStr(port_);
}

TGnutellaThread::~TGnutellaThread() = default;

void TGnutellaThread::QueueDescriptor(const TBasePacket& p) {
  {
    std::lock_guard<std::mutex> g(queueLock_);
    out_.push_back(p);
    while (out_.size() > size_t(std::max(1, queueLimit_.load()))) out_.pop_front();
  }
  wake_.Set();
}

void TGnutellaThread::CloseLink() {
  sock_->Close();
  wake_.Set();
}

std::string TGnutellaThread::LinkProtocol(bool ultrapeer) const {
  if (v04_) return kProto04;
  return ultrapeer ? kProtoUltrapeer : kProtoLeaf;
}

void TGnutellaThread::FillInfo() {
  info_.LocalHost = sock_->LocalIP();
  info_.LocalPort = sock_->LocalPort();
  info_.RemoteHost = host_;
  info_.RemotePort = port_;
  info_.UserAgent = peer_.UserAgent;
  info_.LocalProtocol = LinkProtocol(linkUltrapeer_);
  info_.RemoteProtocol = LinkProtocol(peerUltrapeer_);
  info_.Incoming = incoming_;
}

void TGnutellaThread::Execute() {
  Quietly([&] {
    TGnutellaSettings s = node_.Settings();
    queueLimit_ = s.iMaxMessageQueue;
    FillInfo();
    node_.FireConnectionEvent(node_.OnPendingConnection, info_);
    sock_->SetTimeout(std::max(0, s.iPeerTimeout));
    Outcome o;
    if (incoming_) {
      o = IncomingHandshake(s);
    } else {
      bool connected = false;
      o = Outgoing06(s, connected);
      if (o == Outcome::Failed && connected && !node_.Stopping()) o = Outgoing04();
    }
    if (o == Outcome::Accepted && !node_.Stopping()) Established(s);
  });
  sock_->Close();
  node_.LinkEnded(this);
  Quietly([&] { node_.FireConnectionEvent(node_.OnDisconnect, info_); });
}

TGnutellaThread::Outcome TGnutellaThread::Outgoing06(const TGnutellaSettings& s, bool& connected) {
  try {
    sock_->SetBindAddress(node_.BindAddress());
    if (node_.Stopping()) return Outcome::Refused;
    sock_->Connect(host_, port_);
  } catch (const ESocket&) {
    return Outcome::Refused;  // no one there: nothing to fall back to
  }
  connected = true;
  TGnutellaSocketReader in(*sock_);
  linkUltrapeer_ = node_.bIsUltraPeer();
  std::string status;
  try {
    std::string req = "GNUTELLA CONNECT/0.6\r\n";
    req += "User-Agent: " + s.sUserAgent + "\r\n";
    req += "X-Ultrapeer: " + BoolToStr(linkUltrapeer_) + "\r\n";
    if (!s.bFirewalled) req += "X-My-Address: " + node_.sLocalIP() + ":" + plat::IntToStr(node_.iLocalPort()) + "\r\n";
    req += "Uptime: " + node_.UptimeText() + "\r\n\r\n";
    sock_->WriteAll(req);
    status = ReadHandshakeLine(in);
  } catch (const ESocket&) {
    return Outcome::Failed;  // the peer did not take a 0.6 handshake
  }
  // Refusals carry host lists too: read the headers either way.
  THandshakeHeaders h;
  h.Read(in);
  peer_ = InterpretHeaders(h);
  SetMaxQueryTtl(peer_.MaxTtl);
  node_.AddHosts(peer_.Hosts);
  if (!IsStatusOk(status)) return Outcome::Refused;
  const bool wasUltrapeer = linkUltrapeer_;
  if (!node_.Admit(this, key_, false, linkUltrapeer_, peer_.IsUltrapeer, peer_.UltrapeerNeeded)) {
    sock_->WriteAll("GNUTELLA/0.6 503 Sorry\r\n\r\n");
    return Outcome::Refused;
  }
  peerUltrapeer_ = peer_.IsUltrapeer;
  // A link the peer's guidance made a leaf link says so, as the peer expects.
  std::string reply = "GNUTELLA/0.6 200 OK\r\n";
  if (wasUltrapeer && !linkUltrapeer_) reply += "X-Ultrapeer: " + BoolToStr(false) + "\r\n";
  sock_->WriteAll(reply + "\r\n");
  node_.AddKnownUptimeHost(sock_->RemoteIP(), port_, ParseUptime(peer_.Uptime));
  return Outcome::Accepted;
}

TGnutellaThread::Outcome TGnutellaThread::Outgoing04() {
  TGnutellaSocketReader in(*sock_);
  try {
    sock_->Connect(host_, port_);
    sock_->WriteAll("GNUTELLA CONNECT/0.4\n\n");
    if (plat::UpperCase(plat::Trim(ReadHandshakeLine(in))) != "GNUTELLA OK") return Outcome::Refused;
    if (!plat::Trim(ReadHandshakeLine(in)).empty()) return Outcome::Refused;
  } catch (const ESocket&) {
    return Outcome::Refused;
  }
  v04_ = true;
  linkUltrapeer_ = peerUltrapeer_ = true;
  return node_.Admit04(this, key_, false) ? Outcome::Accepted : Outcome::Refused;
}

TGnutellaThread::Outcome TGnutellaThread::IncomingHandshake(const TGnutellaSettings& s) {
  TGnutellaSocketReader in(*sock_);
  std::string first = plat::UpperCase(plat::Trim(ReadHandshakeLine(in)));
  if (first == "GNUTELLA CONNECT/0.4") {
    if (s.bIsCacheServer) return Outcome::Refused;
    v04_ = true;
    linkUltrapeer_ = peerUltrapeer_ = true;
    if (!node_.Admit04(this, key_, true)) return Outcome::Refused;
    sock_->WriteAll("GNUTELLA OK\n\n");
    return Outcome::Accepted;
  }
  if (first != "GNUTELLA CONNECT/0.6") return Outcome::Refused;

  THandshakeHeaders h;
  h.Read(in);
  peer_ = InterpretHeaders(h);
  SetMaxQueryTtl(peer_.MaxTtl);
  const std::string ua = "User-Agent: " + s.sUserAgent + "\r\n";
  if (s.bIsCacheServer) {
    node_.AddHosts(peer_.Hosts);
    sock_->WriteAll("GNUTELLA/0.6 503 Sorry\r\nX-Tarn-Info: " + Base64EncodeOneLine(node_.HostListText()) + "\r\n" +
                    ua + "\r\n");
    return Outcome::Refused;
  }
  // The peer's listening address names the link; its ephemeral port does not.
  if (peer_.MyAddressPort > 0) key_ = host_ + ":" + plat::IntToStr(peer_.MyAddressPort);
  linkUltrapeer_ = node_.bIsUltraPeer();
  bool ok = node_.Admit(this, key_, true, linkUltrapeer_, peer_.IsUltrapeer, peer_.UltrapeerNeeded);
  node_.AddHosts(peer_.Hosts);  // once admitted, the peer's own address is no new host
  std::string answer = ok ? "GNUTELLA/0.6 200 OK\r\n" : "GNUTELLA/0.6 503 Sorry\r\n";
  answer += "X-Ultrapeer: " + BoolToStr(linkUltrapeer_) + "\r\n";
  answer += "X-Try-Ultrapeers: " + node_.HostListText() + "\r\n";
  if (!s.bFirewalled) answer += "X-My-Address: " + node_.sLocalIP() + ":" + plat::IntToStr(node_.iLocalPort()) + "\r\n";
  answer += "X-UltraPeer-Needed: " + BoolToStr(node_.UltrapeersNeeded()) + "\r\n";
  sock_->WriteAll(answer + ua + "\r\n");
  if (!ok) return Outcome::Refused;
  peerUltrapeer_ = peer_.IsUltrapeer;
  std::string status = ReadHandshakeLine(in);
  THandshakeHeaders final;
  final.Read(in);
  if (!IsStatusOk(status)) return Outcome::Refused;
  if (peer_.MyAddressPort > 0) node_.AddKnownUptimeHost(host_, peer_.MyAddressPort, ParseUptime(peer_.Uptime));
  return Outcome::Accepted;
}

void TGnutellaThread::Established(const TGnutellaSettings& s) {
  if (!s.bManualNetworkSettings) node_.AdoptLocalAddress(sock_->LocalIP(), sock_->LocalAddress());
  FillInfo();
  node_.FireConnectionEvent(node_.OnConnect, info_);
  WriteNow(TBasePacket(FirstPingGuid(), kDescPing, 1, 0, ""));
  Loop(s);
}

void TGnutellaThread::WriteNow(const TBasePacket& p) { sock_->WriteAll(p.Encode()); }

void TGnutellaThread::WriteQueued() {
  std::deque<TBasePacket> batch;
  {
    std::lock_guard<std::mutex> g(queueLock_);
    batch.swap(out_);
  }
  for (auto& p : batch) WriteNow(p);
}

void TGnutellaThread::Loop(const TGnutellaSettings& s) {
  TGnutellaSocketReader in(*sock_);
  const int64_t pingMs = int64_t(s.iPingInterval) * 1000;
  const int64_t silenceMs = int64_t(s.iPeerTimeout) * 1000;
  int64_t lastPing = plat::MonotonicMs();
  int64_t lastHeard = lastPing;
  while (sock_->Connected() && !node_.Stopping()) {
    if (pingMs > 0 && plat::MonotonicMs() - lastPing >= pingMs) {
      WriteNow(TBasePacket(NewDescriptorGuid(), kDescPing, 1, 0, ""));
      lastPing = plat::MonotonicMs();
    }
    for (int n = 0; n < kDescriptorsPerPass && sock_->BytesAvailable() > 0; ++n) {
      TBasePacket p = ReadDescriptor(in);
      lastHeard = plat::MonotonicMs();
      node_.ReceiveDescriptor(p, this);
    }
    WriteQueued();
    node_.RaisePeaks(sock_->SendRate(), sock_->ReceiveRate());
    // A peer that stays silent this long is gone, whether or not its
    // socket says so.
    if (silenceMs > 0 && plat::MonotonicMs() - lastHeard > silenceMs) break;
    wake_.Wait(std::max(1, node_.Timings().loopSleepMs));
  }
}

// ================================================================ listen thread

TGnutellaListenThread::TGnutellaListenThread(TGnutella& node) : plat::Thread(true), node_(node) {}

void TGnutellaListenThread::Execute() {
  Quietly([&] {
    while (node_.Listener().Connected() && !node_.Stopping()) {
      auto s = std::make_unique<TSocket>();
      try {
        s->Accept(node_.Listener());
      } catch (const ESocket&) {
        if (!node_.Listener().Connected() || node_.Stopping()) break;
        node_.Pause(100);
        continue;
      }
      auto* t = new TGnutellaThread(node_, std::move(s));
      if (!node_.LaunchConnection(t, true)) delete t;  // closes the socket
    }
  });
}
