// The Gnutella node itself: its thread list, start and stop, the events it
// hands to the main thread, its counts and roles, the connection manager
// and the host cache. Its connections and their handshake are in
// gnutella_connection.cpp, the descriptors it floods, answers and routes
// and the searches it sends in gnutella_descriptors.cpp.
#include "peer/gnutella/gnutella.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>

#include "core/global_functions.h"
#include "platform/clock.h"
#include "platform/net.h"
#include "platform/text.h"

namespace {

constexpr int kHostListItems = 20;

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
    plat::Quietly(call->fn);
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
  plat::Quietly([&] {
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
  plat::Quietly([&] { UpdateRole(); });
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
