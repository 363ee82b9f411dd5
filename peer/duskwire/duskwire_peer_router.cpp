#include "peer/duskwire/duskwire_peer_router.h"

#include <algorithm>
#include <cmath>

#include "core/global_functions.h"
#include "platform/clock.h"
#include "platform/text.h"

namespace {

const char* const kSettingNames[] = {
    "MaxHostQueueSize", "MaxHostQueueAge", "MaxPeers",    "MinPeers",         "LowSpeedBPS",
    "LowSpeedPeers",    "PeerTimeout",     "MaxHops",     "CacheRefreshTime",
};
const int64_t kSettingDefaults[] = {20, 120, 10, 7, 2400, 3, 180, 5, 180};

constexpr int kCodeRequest = 1000;
constexpr int kCodeResponse = 2000;
constexpr int kCodeNode = 2010;
constexpr int kCodeStats = 2030;

int HopCount(const std::string& routingInfo) {
  return int(std::count(routingInfo.begin(), routingInfo.end(), ':')) - 1;
}

int64_t HeaderNumber(const TDuskwirePacket& p, const char* name, int64_t fallback) {
  try {
    return p.GetHeaderInt64(name);
  } catch (const EDuskwire&) {
    return fallback;
  }
}

}  // namespace

int TDWHostItem::Age() const { return int((plat::MonotonicMs() - Added) / 1000); }

// ================================================================ queues

TDWQueuedPacket::TDWQueuedPacket(TDuskwirePacket packet, std::string body)
    : Packet(std::move(packet)), Body(std::move(body)) {
  Bytes = Body.size() + Packet.FirstLine().size();
  for (int i = 0; i < Packet.HeaderCount(); ++i) Bytes += Packet.HeaderName(i).size() + Packet.HeaderValue(i).size();
}

int TDWPacketQueue::Push(TDWPacketRef p, int limit, std::size_t budget, bool& full) {
  bytes_ += p->Bytes;
  items_.push_back(std::move(p));
  int dropped = 0;
  full = int(items_.size()) >= limit;
  if (full) {
    Pop();
    ++dropped;
  }
  while (bytes_ > budget && items_.size() > 1) {
    Pop();
    ++dropped;
  }
  return dropped;
}

TDWPacketRef TDWPacketQueue::Pop() {
  if (items_.empty()) return nullptr;
  TDWPacketRef p = std::move(items_.front());
  items_.pop_front();
  bytes_ -= p->Bytes;
  return p;
}

void TDWPacketQueue::Clear() {
  items_.clear();
  bytes_ = 0;
}

// ================================================================ router

TDuskwirePeerRouter::TDuskwirePeerRouter() {
  for (int i = 0; i < int(TDWSetting::Count); ++i) settings_[i] = kSettingDefaults[i];
}

TDuskwirePeerRouter::~TDuskwirePeerRouter() { Stop(); }

const char* TDuskwirePeerRouter::SettingName(TDWSetting s) { return kSettingNames[int(s)]; }

void TDuskwirePeerRouter::SetNick(const std::string& nick) {
  std::lock_guard<std::mutex> g(infoLock_);
  nick_ = nick;
}
std::string TDuskwirePeerRouter::Nick() {
  std::lock_guard<std::mutex> g(infoLock_);
  return nick_;
}
void TDuskwirePeerRouter::SetCacheServer(const std::string& host, int port) {
  std::lock_guard<std::mutex> g(infoLock_);
  cacheHost_ = host;
  cachePort_ = port;
}
void TDuskwirePeerRouter::SetBindAddress(const std::string& address) {
  std::lock_guard<std::mutex> g(infoLock_);
  bindAddress_ = address;
}
std::string TDuskwirePeerRouter::BindAddress() {
  std::lock_guard<std::mutex> g(infoLock_);
  return bindAddress_;
}
uint32_t TDuskwirePeerRouter::IPNumber() {
  std::lock_guard<std::mutex> g(infoLock_);
  return ipNumber_;
}
std::string TDuskwirePeerRouter::IPHost() {
  std::lock_guard<std::mutex> g(infoLock_);
  return ipHost_;
}
std::string TDuskwirePeerRouter::ServerMessage() {
  std::lock_guard<std::mutex> g(infoLock_);
  return serverMessage_;
}
std::string TDuskwirePeerRouter::AdvertisingURL() {
  std::lock_guard<std::mutex> g(infoLock_);
  return advertisingURL_;
}
std::string TDuskwirePeerRouter::HomepageURL() {
  std::lock_guard<std::mutex> g(infoLock_);
  return homepageURL_;
}

void TDuskwirePeerRouter::AdoptLocalAddress(const std::string& host, uint32_t number) {
  std::lock_guard<std::mutex> g(infoLock_);
  if (ipHost_.empty() && number != 0) {
    ipHost_ = host;
    ipNumber_ = number;
  }
}

bool TDuskwirePeerRouter::Pause(int ms) {
  if (ms > 0) stopEvent_.Wait(ms);
  return !stopping_;
}

// ---------------------------------------------------------------- start/stop

// The caller is Start or one of the router's own threads, so Stop cannot
// finish between the start and the registration.
void TDuskwirePeerRouter::StartThread(plat::Thread* t) {
  t->Resume();
  std::lock_guard<std::mutex> g(threadsLock_);
  threads_.push_back(t);
}

// Joins and deletes the threads whose bodies have ended.
void TDuskwirePeerRouter::ReapThreads() {
  std::vector<plat::Thread*> done;
  {
    std::lock_guard<std::mutex> g(threadsLock_);
    for (auto it = threads_.begin(); it != threads_.end();) {
      if ((*it)->Finished()) {
        done.push_back(*it);
        it = threads_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (plat::Thread* t : done) {
    t->WaitFor();
    delete t;
  }
}

void TDuskwirePeerRouter::StartListening() {
  int port = configuredPort_;
  try {
    listener_.Listen(BindAddress(), port, true);
  } catch (const ESocket&) {
    ownListenPort_ = 0;
    return;
  }
  ownListenPort_ = listener_.LocalPort();
  {
    std::lock_guard<std::mutex> g(flagsLock_);
    acceptRunning_ = true;
  }
  StartThread(new TDWPeerAcceptThread(*this));
}

void TDuskwirePeerRouter::Start(bool firewalled, int listenPort) {
  Stop();
  std::lock_guard<std::mutex> run(runLock_);
  stopping_ = false;
  stopEvent_.Reset();
  ownListenPort_ = 0;
  firewalled_ = firewalled;
  configuredPort_ = listenPort;
  running_ = true;
  if (!firewalled) StartListening();
  {
    std::lock_guard<std::mutex> g(flagsLock_);
    refreshRunning_ = true;
  }
  refreshDue_ = true;
  StartThread(new TDWRefreshThread(*this));
}

void TDuskwirePeerRouter::CloseEverything() {
  {
    std::lock_guard<std::mutex> g(flagsLock_);
    if (cacheClient_) cacheClient_->StopClient();
  }
  {
    std::lock_guard<std::mutex> g(pendingLock_);
    for (auto& p : pending_) p.thread->CloseConnection();
  }
  {
    std::lock_guard<std::mutex> g(peersLock_);
    for (auto& p : peers_)
      if (p.peer) p.peer->ClosePeer();
  }
  listener_.Close();
}

void TDuskwirePeerRouter::Stop() {
  std::lock_guard<std::mutex> run(runLock_);
  stopping_ = true;
  stopEvent_.Set();
  // Every thread sees the stop flag and its closed connection; the closes
  // are repeated each step so that a connection made just now is closed too.
  for (;;) {
    CloseEverything();
    ReapThreads();
    bool idle;
    {
      std::lock_guard<std::mutex> g(threadsLock_);
      idle = threads_.empty();
    }
    if (idle) {
      std::lock_guard<std::mutex> g(peersLock_);
      std::lock_guard<std::mutex> h(pendingLock_);
      if (peers_.empty() && pending_.empty()) break;
    }
    plat::Thread::Sleep(std::max(1, timings_.stopPollMs));
  }
  {
    std::lock_guard<std::mutex> g(requestsLock_);
    requests_.Clear();
  }
  {
    std::lock_guard<std::mutex> g(responsesLock_);
    responses_.Clear();
  }
  {
    std::lock_guard<std::mutex> g(hostsLock_);
    hosts_.clear();
  }
  ownListenPort_ = 0;
  running_ = false;
}

void TDuskwirePeerRouter::ThreadEnded(int which) {
  std::lock_guard<std::mutex> g(flagsLock_);
  switch (which) {
    case kRefreshThread:
      refreshRunning_ = false;
      break;
    case kAcceptThread:
      acceptRunning_ = false;
      break;
    case kCacheThread:
      cacheRunning_ = false;
      cacheClient_ = nullptr;
      break;
  }
}

// ---------------------------------------------------------------- public traffic

TDuskwirePacket TDuskwirePeerRouter::NewPacket(const std::string& to) {
  TDuskwirePacket p;
  p.SetHeader("To", to);
  std::string id = CreateUniqueID();
  bool seenBefore = false;
  RememberId(id, 0, seenBefore);
  p.SetHeader("Message-ID", id);
  p.SetHeader("From", Nick());
  int port = ownListenPort_;
  if (port > 0) {
    p.SetHeader("IP", IPHost());
    p.SetHeader("Port", plat::IntToStr(port));
  }
  return p;
}

void TDuskwirePeerRouter::SendRequest(const std::string& seed, const std::string& to, bool limited,
                                      const std::string& requestType, const std::string& body) {
  TDuskwirePacket p = NewPacket(to);
  p.SetFirstLine("1000");
  p.SetHeader("Request-Type", requestType);
  std::string ri = seed + ":" + CreateUniqueID();
  p.SetHeader("Routing-Info", ri);
  if (limited) p.SetHeader("Limited", "True");
  {
    std::lock_guard<std::mutex> g(ownLock_);
    ownRoutingInfo_.push_back(ri);
    while (int(ownRoutingInfo_.size()) >= messageIdMemory_) ownRoutingInfo_.pop_front();
  }
  std::string b = body;
  DuskwireTransform(b);
  Route(p, std::move(b), nullptr);
}

void TDuskwirePeerRouter::SendResponse(const std::string& routingInfo, const std::string& to,
                                       const std::string& body) {
  TDuskwirePacket p = NewPacket(to);
  p.SetFirstLine("2000");
  p.SetHeader("Routing-Info", routingInfo);
  std::string b = body;
  DuskwireTransform(b);
  Route(p, std::move(b), nullptr);
}

TDWPacketRef TDuskwirePeerRouter::TakeDelivered(std::mutex& lock, TDWPacketQueue& q, std::string& body) {
  TDWPacketRef item;
  {
    std::lock_guard<std::mutex> g(lock);
    item = q.Pop();
  }
  if (!item) return nullptr;
  body = item->Body;  // the shared body stays as it is
  DuskwireTransform(body);
  return item;
}

bool TDuskwirePeerRouter::GetNextRequest(std::string& routingInfo, std::string& to,
                                         std::string& requestType, std::string& body,
                                         std::string& from) {
  TDWPacketRef item = TakeDelivered(requestsLock_, requests_, body);
  if (!item) return false;
  routingInfo = item->Packet.GetHeader("Routing-Info");
  to = item->Packet.GetHeader("To");
  requestType = item->Packet.GetHeader("Request-Type");
  from = item->Packet.GetHeader("From");
  return true;
}

bool TDuskwirePeerRouter::GetNextResponse(std::string& routingInfo, std::string& to,
                                          std::string& from, std::string& body) {
  TDWPacketRef item = TakeDelivered(responsesLock_, responses_, body);
  if (!item) return false;
  routingInfo = item->Packet.GetHeader("Routing-Info");
  size_t colon = routingInfo.rfind(':');
  routingInfo = colon == std::string::npos ? std::string() : routingInfo.substr(0, colon);
  to = item->Packet.GetHeader("To");
  from = item->Packet.GetHeader("From");
  return true;
}

void TDuskwirePeerRouter::SetLocalStatistic(const std::string& name, int64_t value) {
  std::lock_guard<std::mutex> g(statsLock_);
  localStats_.SetValue(name, value);
}

int64_t TDuskwirePeerRouter::NetworkStatistic(const std::string& name) {
  std::lock_guard<std::mutex> g(statsLock_);
  return networkStats_.GetValue(name);
}

void TDuskwirePeerRouter::AddLocalStatistics(TDuskwirePacket& p) {
  std::lock_guard<std::mutex> g(statsLock_);
  for (int i = 0; i < localStats_.Count(); ++i)
    p.SetHeader(localStats_.Names(i), plat::IntToStr(localStats_.Values(i)));
}

void TDuskwirePeerRouter::StatisticsAnswered(const TDuskwirePacket& reply) {
  std::lock_guard<std::mutex> g(statsLock_);
  localStats_.Clear();
  networkStats_.Clear();
  if (reply.Code() != kCodeStats) return;
  for (int i = 0; i < reply.HeaderCount(); ++i)
    networkStats_.SetValue(reply.HeaderName(i), DigitsToInt64(reply.HeaderValue(i)));
}

int TDuskwirePeerRouter::PeerCount() {
  std::lock_guard<std::mutex> g(peersLock_);
  return incomingCount_ + outgoingCount_;
}
int TDuskwirePeerRouter::ActivePeerCount() {
  std::lock_guard<std::mutex> g(peersLock_);
  return int(std::count_if(peers_.begin(), peers_.end(), [](const PeerEntry& e) { return e.peer != nullptr; }));
}
int TDuskwirePeerRouter::IncomingPeerCount() {
  std::lock_guard<std::mutex> g(peersLock_);
  return incomingCount_;
}
int TDuskwirePeerRouter::OutgoingPeerCount() {
  std::lock_guard<std::mutex> g(peersLock_);
  return outgoingCount_;
}

int TDuskwirePeerRouter::HealthPercent() {
  int peers = PeerCount();
  int minPeers = MinPeers();
  if (peers < 1 || minPeers < 1) return 0;
  return int(std::lround(double(peers) / minPeers * 100.0));
}

int TDuskwirePeerRouter::Traffic() {
  std::lock_guard<std::mutex> g(peersLock_);
  int64_t sum = 0;
  for (auto& p : peers_)
    if (p.peer) sum += p.peer->Traffic();
  return int(std::min<int64_t>(sum, 0x7fffffff));
}

int64_t TDuskwirePeerRouter::QueuedBytes() {
  std::lock_guard<std::mutex> g(peersLock_);
  int64_t sum = 0;
  for (auto& p : peers_)
    if (p.peer) sum += int64_t(p.peer->QueuedBytes());
  return sum;
}

// ---------------------------------------------------------------- routing

bool TDuskwirePeerRouter::RememberId(const std::string& id, int hops, bool& seenBefore) {
  std::lock_guard<std::mutex> g(seenLock_);
  auto it = seen_.find(id);
  seenBefore = it != seen_.end();
  if (seenBefore) {
    if (hops >= it->second) return false;
    it->second = hops;
    return true;
  }
  seen_.emplace(id, hops);
  seenOrder_.push_back(id);
  while (int(seenOrder_.size()) >= messageIdMemory_) {
    seen_.erase(seenOrder_.front());
    seenOrder_.pop_front();
  }
  return true;
}

void TDuskwirePeerRouter::ReceivePacket(TDuskwirePacket& packet, std::string body, TDWPeer* from) {
  const bool response = packet.Code() == kCodeResponse;
  // A request over the hop limit is dropped before its id is remembered:
  // a copy that came the long way must not shut out one that comes a
  // shorter way within the limit.
  if (!response && OverHopLimit(packet, from != nullptr)) return;
  // Hops on arrival; a response follows one path, so any copy after the
  // first is a duplicate.
  const int hops = response ? 0 : HopCount(packet.GetHeader("Routing-Info")) + (from ? 1 : 0);
  bool seenBefore = false;
  if (!RememberId(packet.GetHeader("Message-ID"), hops, seenBefore)) return;
  if (!seenBefore) {
    Route(packet, std::move(body), from);
    return;
  }
  // A shorter copy of a request this node has had: it goes on from here
  // with more hops to spare, but is not delivered a second time.
  RouteRequest(packet, std::move(body), from, false);
}

void TDuskwirePeerRouter::Route(TDuskwirePacket& packet, std::string body, TDWPeer* from) {
  if (packet.HasHeader("IP")) {
    int64_t port = HeaderNumber(packet, "Port", 0);
    if (port > 0 && port <= 65535) AddHost(plat::Trim(packet.GetHeader("IP")), int(port));
  }
  if (packet.Code() == kCodeResponse)
    RouteResponse(packet, std::move(body), from);
  else
    RouteRequest(packet, std::move(body), from);
}

bool TDuskwirePeerRouter::OverHopLimit(const TDuskwirePacket& p, bool fromPeer) const {
  int64_t maxHops = Setting(TDWSetting::MaxHops);
  int64_t limit = maxHops;
  if (p.GetHeaderBool("Limited") && maxHops > 0) limit = std::llround(double(maxHops) * 0.777);
  return HopCount(p.GetHeader("Routing-Info")) + (fromPeer ? 1 : 0) > limit;
}

void TDuskwirePeerRouter::RouteRequest(TDuskwirePacket& p, std::string body, TDWPeer* from, bool deliver) {
  // The arrival peer's id goes on first, so a request that has travelled
  // MaxHops hops is the last one forwarded.
  if (OverHopLimit(p, from != nullptr)) return;
  if (from) p.SetHeader("Routing-Info", p.GetHeader("Routing-Info") + ":" + from->PeerId());
  // One packet for every queue it goes into.
  const TDWPacketRef item = std::make_shared<const TDWQueuedPacket>(p, std::move(body));
  {
    std::lock_guard<std::mutex> g(peersLock_);
    for (auto& e : peers_)
      if (e.peer && e.peer != from) e.peer->QueuePacket(item);
  }
  if (!from || !deliver) return;
  std::string to = p.GetHeader("To");
  if (to.empty() || to == Nick()) Deliver(requestsLock_, requests_, item);
}

void TDuskwirePeerRouter::RouteResponse(TDuskwirePacket& p, std::string body, TDWPeer* from) {
  std::string ri = p.GetHeader("Routing-Info");
  int hops = HopCount(ri);
  if (hops < 0) return;  // no path at all
  if (hops > 0) {
    size_t colon = ri.rfind(':');
    std::string next = ri.substr(colon + 1);
    p.SetHeader("Routing-Info", ri.substr(0, colon));
    const TDWPacketRef item = std::make_shared<const TDWQueuedPacket>(p, std::move(body));
    std::lock_guard<std::mutex> g(peersLock_);
    for (auto& e : peers_) {
      if (e.peer && e.id == next) {
        e.peer->QueuePacket(item);
        break;
      }
    }
    return;
  }
  if (from && IsOwnRoutingInfo(ri))
    Deliver(responsesLock_, responses_, std::make_shared<const TDWQueuedPacket>(p, std::move(body)));
}

bool TDuskwirePeerRouter::IsOwnRoutingInfo(const std::string& ri) {
  std::lock_guard<std::mutex> g(ownLock_);
  return std::find(ownRoutingInfo_.begin(), ownRoutingInfo_.end(), ri) != ownRoutingInfo_.end();
}

void TDuskwirePeerRouter::Deliver(std::mutex& lock, TDWPacketQueue& q, const TDWPacketRef& item) {
  std::lock_guard<std::mutex> g(lock);
  bool full = false;
  q.Push(item, incomingQueueLimit_, queueByteBudget_, full);  // the oldest make way
}

// ---------------------------------------------------------------- peers and hosts

bool TDuskwirePeerRouter::IsNewHostLocked(const std::string& host) {
  for (auto& p : peers_)
    if (p.address == host) return false;
  std::lock_guard<std::mutex> g(pendingLock_);
  for (auto& p : pending_)
    if (p.host == host) return false;
  return true;
}

bool TDuskwirePeerRouter::IsNewHost(const std::string& host) {
  std::lock_guard<std::mutex> g(peersLock_);
  return IsNewHostLocked(host);
}

bool TDuskwirePeerRouter::IsActivePeer(const std::string& address) {
  std::lock_guard<std::mutex> g(peersLock_);
  return std::any_of(peers_.begin(), peers_.end(),
                     [&](const PeerEntry& e) { return e.peer != nullptr && e.address == address; });
}

std::string TDuskwirePeerRouter::ReservePeer(const std::string& address, bool incoming,
                                             const std::string& ownAddress, const std::string& connectId) {
  const std::string own = ownAddress.empty() ? IPHost() : ownAddress;
  // Whether this connection beats one opened from the other end.
  const bool beatsCrossing = !own.empty() && own != address && (incoming ? address < own : own < address);
  std::lock_guard<std::mutex> g(peersLock_);
  std::lock_guard<std::mutex> h(pendingLock_);
  if (!connectId.empty()) {
    auto it = std::find_if(pending_.begin(), pending_.end(), [&](const PendingEntry& p) { return p.id == connectId; });
    if (it != pending_.end()) pending_.erase(it);
    refreshDue_ = true;
  }
  if (stopping_) return "";
  bool crossing = false;
  for (auto& e : peers_) {
    if (e.address != address || e.yielding) continue;
    if (e.incoming == incoming || !beatsCrossing) return "";
    crossing = true;
  }
  // A connect of ours still under way loses to an incoming connection that
  // wins; it is closed when it arrives.
  for (auto& p : pending_)
    if (p.host == address && !(incoming && beatsCrossing)) return "";
  if (!crossing && incomingCount_ + outgoingCount_ >= Setting(TDWSetting::MaxPeers)) return "";
  for (auto it = peers_.begin(); crossing && it != peers_.end();) {
    if (it->address != address || it->yielding) {
      ++it;
    } else if (it->peer) {
      it->peer->ClosePeer();
      it->yielding = true;
      ++it;
    } else {  // reserved only: its activation fails
      (it->incoming ? incomingCount_ : outgoingCount_)--;
      it = peers_.erase(it);
    }
  }
  std::string id = plat::IntToStr(int64_t(++nextPeerId_));
  peers_.push_back(PeerEntry{id, address, nullptr, incoming});
  (incoming ? incomingCount_ : outgoingCount_)++;
  return id;
}

bool TDuskwirePeerRouter::ActivatePeer(const std::string& id, TDWPeer* peer) {
  std::lock_guard<std::mutex> g(peersLock_);
  for (auto& e : peers_) {
    if (e.id == id && !e.peer) {
      e.peer = peer;
      peersChanged_ = true;
      return true;
    }
  }
  return false;
}

void TDuskwirePeerRouter::RemovePeer(const std::string& id) {
  {
    std::lock_guard<std::mutex> g(peersLock_);
    for (auto it = peers_.begin(); it != peers_.end(); ++it) {
      if (it->id == id) {
        (it->incoming ? incomingCount_ : outgoingCount_)--;
        peers_.erase(it);
        peersChanged_ = true;
        break;
      }
    }
  }
  refreshDue_ = true;
}

void TDuskwirePeerRouter::AddPeer(std::unique_ptr<TDuskwire> conn, bool incoming, const std::string& connectId) {
  std::string own = IPHost();
  if (own.empty()) own = conn->LocalIP();
  std::string id = ReservePeer(conn->RemoteIP(), incoming, own, connectId);
  if (id.empty()) {
    conn->Close();
    return;
  }
  AdoptLocalAddress(conn->LocalIP(), conn->LocalAddress());
  Pause(timings_.addPeerDelayMs);
  auto* t = new TDWPeerRouterThread(*this, std::move(conn), id, incoming);
  if (stopping_ || !ActivatePeer(id, t)) {
    RemovePeer(id);
    delete t;  // never started: closes its connection
    return;
  }
  StartThread(t);
}

void TDuskwirePeerRouter::RegisterConnect(const std::string& id, const std::string& host,
                                          TDWPeerConnectThread* t) {
  std::lock_guard<std::mutex> g(pendingLock_);
  pending_.push_back(PendingEntry{id, host, t});
}

void TDuskwirePeerRouter::UnregisterConnect(const std::string& id) {
  {
    std::lock_guard<std::mutex> g(pendingLock_);
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
      if (it->id == id) {
        pending_.erase(it);
        break;
      }
    }
  }
  refreshDue_ = true;
}

int TDuskwirePeerRouter::PendingConnectCount() {
  std::lock_guard<std::mutex> g(pendingLock_);
  return int(pending_.size());
}

void TDuskwirePeerRouter::AddHost(const std::string& host, int port) {
  if (port <= 0 || port > 65535 || host.empty() || host == IPHost()) return;
  std::lock_guard<std::mutex> g(hostsLock_);
  hosts_.push_back(TDWHostItem{plat::MonotonicMs(), host, uint16_t(port)});
  // Adding at MaxHostQueueSize entries drops the oldest.
  while (int64_t(hosts_.size()) > std::max<int64_t>(1, Setting(TDWSetting::MaxHostQueueSize)))
    hosts_.pop_front();
}

int TDuskwirePeerRouter::HostQueueCount() {
  std::lock_guard<std::mutex> g(hostsLock_);
  return int(hosts_.size());
}

std::vector<TDWHostItem> TDuskwirePeerRouter::HostQueue() {
  std::lock_guard<std::mutex> g(hostsLock_);
  return std::vector<TDWHostItem>(hosts_.begin(), hosts_.end());
}

// ---------------------------------------------------------------- refresh

void TDuskwirePeerRouter::Refresh() {
  if (stopping_) return;
  ReapThreads();
  int64_t maxAge = Setting(TDWSetting::MaxHostQueueAge);
  {
    std::lock_guard<std::mutex> g(hostsLock_);
    hosts_.erase(std::remove_if(hosts_.begin(), hosts_.end(),
                                [&](const TDWHostItem& h) { return h.Age() > maxAge; }),
                 hosts_.end());
  }
  int64_t lowSpeed = Setting(TDWSetting::LowSpeedBPS);
  int64_t target = (lowSpeed > 0 && Traffic() > lowSpeed) ? Setting(TDWSetting::MinPeers)
                                                          : Setting(TDWSetting::LowSpeedPeers);
  int64_t need = target - (PendingConnectCount() + PeerCount());
  int64_t maxPeers = Setting(TDWSetting::MaxPeers);
  for (int64_t started = 0; need > 0 && started < maxPeers;) {
    TDWHostItem h;
    {
      std::lock_guard<std::mutex> g(hostsLock_);
      if (hosts_.empty()) break;
      h = hosts_.front();
      hosts_.pop_front();
    }
    if (!IsNewHost(h.Host)) continue;  // already a peer or being connected to
    if (!Pause(timings_.connectPacingMs)) return;
    std::string id;
    {
      std::lock_guard<std::mutex> g(peersLock_);
      id = "C" + plat::IntToStr(int64_t(++nextPeerId_));
    }
    auto* t = new TDWPeerConnectThread(*this, id, h.Host, h.Port);
    RegisterConnect(id, h.Host, t);
    StartThread(t);
    ++started;
    --need;
  }
  if (HostQueueCount() < MinPeers()) StartCacheClient(int(std::max<int64_t>(0, need)));
  if (!firewalled_ && !stopping_) {
    int own = ownListenPort_;
    int configured = configuredPort_;
    if (own == 0 || (configured != 0 && own != configured)) {
      listener_.Close();
      for (;;) {
        {
          std::lock_guard<std::mutex> g(flagsLock_);
          if (!acceptRunning_) break;
        }
        if (!Pause(timings_.stopPollMs)) return;
      }
      if (!stopping_) StartListening();
    }
  }
}

void TDuskwirePeerRouter::StartCacheClient(int wanted) {
  std::string host;
  int port;
  {
    std::lock_guard<std::mutex> g(infoLock_);
    host = cacheHost_;
    port = cachePort_;
  }
  if (host.empty() || port <= 0 || stopping_) return;
  TDWCacheClientThread* t;
  {
    std::lock_guard<std::mutex> g(flagsLock_);
    if (cacheRunning_) return;
    t = new TDWCacheClientThread(*this, cacheTimeout_, wanted, host, port);
    cacheRunning_ = true;
    cacheClient_ = t;
  }
  StartThread(t);
}

// ---------------------------------------------------------------- cache server replies

void TDuskwirePeerRouter::ApplyServerGreeting(const TDuskwirePacket& g) {
  if (acceptServerSettings_) {
    for (int i = 0; i < int(TDWSetting::Count); ++i) {
      auto s = TDWSetting(i);
      if (!g.HasHeader(SettingName(s))) continue;  // absent: kept
      int64_t v = HeaderNumber(g, SettingName(s), -1);
      if (v >= 0) SetSetting(s, v);  // 0 included; negative or not a number: kept
    }
  }
  std::string host = plat::Trim(g.GetHeader("IP-Host"));
  int64_t number = HeaderNumber(g, "IP-Number", 0);
  std::lock_guard<std::mutex> lock(infoLock_);
  serverMessage_ = g.GetHeader("ServerMessage");
  advertisingURL_ = g.GetHeader("AdvertisingURL");
  homepageURL_ = g.GetHeader("HomepageURL");
  if (!host.empty()) {
    uint32_t parsed = 0;
    ipHost_ = host;
    if (number > 0 && number <= 0xffffffffLL)
      ipNumber_ = uint32_t(number);
    else if (plat::TextToAddress(host, &parsed))
      ipNumber_ = parsed;
  }
}

// ================================================================ threads

TDWRefreshThread::TDWRefreshThread(TDuskwirePeerRouter& router)
    : plat::Thread(true), router_(router), lastMark_(plat::MonotonicMs()) {}

void TDWRefreshThread::Execute() {
  plat::Quietly([&] {
    while (!Terminated() && !router_.Stopping()) {
      int64_t now = plat::MonotonicMs();
      if (now - lastMark_ > router_.Setting(TDWSetting::CacheRefreshTime) * 1000) {
        router_.SetRefreshDue();
        lastMark_ = now;
      }
      if (router_.TakeRefreshDue()) plat::Quietly([&] { router_.Refresh(); });
      router_.Pause(router_.Timings().refreshTickMs);
    }
  });
  router_.ThreadEnded(TDuskwirePeerRouter::kRefreshThread);
}

TDWPeerAcceptThread::TDWPeerAcceptThread(TDuskwirePeerRouter& router)
    : plat::Thread(true), router_(router) {}

void TDWPeerAcceptThread::Execute() {
  plat::Quietly([&] {
    while (router_.Listener().Connected() && !router_.Stopping()) {
      auto conn = std::make_unique<TDuskwire>();
      try {
        conn->Accept(router_.Listener());
      } catch (const ESocket&) {
        if (!router_.Listener().Connected() || router_.Stopping()) break;
        router_.Pause(router_.Timings().acceptPauseMs);
        continue;
      }
      if (conn->Connected()) router_.AddPeer(std::move(conn), true);
      router_.Pause(router_.Timings().acceptPauseMs);
    }
  });
  router_.ThreadEnded(TDuskwirePeerRouter::kAcceptThread);
}

TDWPeerConnectThread::TDWPeerConnectThread(TDuskwirePeerRouter& router, std::string id,
                                           std::string host, uint16_t port)
    : plat::Thread(true),
      router_(router),
      conn_(std::make_unique<TDuskwire>()),
      id_(std::move(id)),
      host_(std::move(host)),
      port_(port) {}

void TDWPeerConnectThread::CloseConnection() {
  std::lock_guard<std::mutex> g(lock_);
  if (conn_) conn_->Close();
}

void TDWPeerConnectThread::Execute() {
  plat::Quietly([&] {
    conn_->SetBindAddress(router_.BindAddress());
    conn_->SetTimeout(int(router_.Setting(TDWSetting::PeerTimeout)));
    if (!router_.Stopping()) conn_->Connect(host_, port_);
  });
  std::unique_ptr<TDuskwire> conn;
  {
    std::lock_guard<std::mutex> g(lock_);
    conn = std::move(conn_);
  }
  // The connection takes the pending connect's place in one step.
  if (conn->Connected() && !router_.Stopping()) plat::Quietly([&] { router_.AddPeer(std::move(conn), false, id_); });
  router_.UnregisterConnect(id_);
}

TDWPeerRouterThread::TDWPeerRouterThread(TDuskwirePeerRouter& router, std::unique_ptr<TDuskwire> conn,
                                         std::string id, bool incoming)
    : plat::Thread(true), router_(router), conn_(std::move(conn)), id_(std::move(id)), incoming_(incoming) {
  // Below the threads that serve the user: a busy overlay must not starve
  // the program's windows or its own client connection.
  SetPriority(-1);
  conn_->SetTimeout(int(router_.Setting(TDWSetting::PeerTimeout)));
}

void TDWPeerRouterThread::QueuePacket(const TDWPacketRef& packet) {
  bool full = false;
  {
    std::lock_guard<std::mutex> g(queueLock_);
    dropped_ += out_.Push(packet, router_.IncomingQueueLimit(), router_.QueueByteBudget(), full);
  }
  if (full) conn_->Close();  // a peer that does not keep up is dropped
  conn_->Cancel();
}

void TDWPeerRouterThread::ClosePeer() { conn_->Close(); }

int TDWPeerRouterThread::Traffic() const { return conn_->SendRate() + conn_->ReceiveRate(); }

std::size_t TDWPeerRouterThread::QueuedBytes() const {
  std::lock_guard<std::mutex> g(queueLock_);
  return out_.Bytes();
}

bool TDWPeerRouterThread::QueueEmpty() {
  std::lock_guard<std::mutex> g(queueLock_);
  return out_.Empty();
}

void TDWPeerRouterThread::SendOne() {
  TDWPacketRef item;
  {
    std::lock_guard<std::mutex> g(queueLock_);
    item = out_.Pop();
  }
  if (!item) return;
  conn_->Assign(item->Packet);
  conn_->SendPacket(item->Body.data(), 0, int(item->Body.size()));
  ++sent_;
  router_.CountPacketSent();
}

void TDWPeerRouterThread::Execute() {
  plat::Quietly([&] {
    const TDWTimings& t = router_.Timings();
    lastReceived_ = plat::MonotonicMs();
    while (conn_->Connected() && !router_.Stopping()) {
      router_.Pause(t.peerPollMs);
      if (QueueEmpty()) {
        try {
          conn_->WaitReadable(t.peerWaitMs);
        } catch (const ESocket& e) {
          if (e.Code != kNetTimeout) throw;
        }
      }
      if (conn_->DataWaiting()) {
        lastReceived_ = plat::MonotonicMs();
        int length = 0;
        const unsigned char* p = conn_->ReceivePacket(length, 0);
        std::string body(reinterpret_cast<const char*>(p), size_t(length));
        ++received_;
        int code = conn_->Code();
        if (code != kCodeRequest && code != kCodeResponse) break;  // not an overlay peer
        TDuskwirePacket packet(*conn_);
        router_.ReceivePacket(packet, std::move(body), this);
      }
      SendOne();
      router_.Pause(t.peerSendPauseMs);
      SendOne();
      const int64_t timeout = router_.Setting(TDWSetting::PeerTimeout);  // 0: no limit, as for the socket
      if (timeout > 0 && plat::MonotonicMs() - lastReceived_ > timeout * 1000) break;
    }
  });
  conn_->Close();
  router_.RemovePeer(id_);
}

TDWCacheClientThread::TDWCacheClientThread(TDuskwirePeerRouter& router, int timeout, int wanted,
                                           std::string host, int port)
    : plat::Thread(true),
      router_(router),
      timeout_(timeout),
      wanted_(wanted),
      host_(std::move(host)),
      port_(port) {}

void TDWCacheClientThread::StopClient() {
  running_ = false;
  std::lock_guard<std::mutex> g(lock_);
  conn_.Close();
}

bool TDWCacheClientThread::Wait(int ms) {
  // In steps of at most a second, while the session goes on.
  for (int left = ms; left > 0; left -= 1000) {
    if (!running_ || router_.Stopping()) return false;
    router_.Pause(std::min(left, 1000));
  }
  return running_ && !router_.Stopping();
}

void TDWCacheClientThread::Execute() {
  plat::Quietly([&] { Session(); });
  running_ = false;
  conn_.Close();
  router_.ThreadEnded(TDuskwirePeerRouter::kCacheThread);
}

void TDWCacheClientThread::Session() {
  conn_.SetTimeout(timeout_);
  conn_.SetBindAddress(router_.BindAddress());
  try {
    if (!running_ || router_.Stopping()) return;
    conn_.Connect(host_, port_);
  } catch (const ESocket&) {
    router_.SetLastCacheResult(-5);
    Wait(router_.Timings().cacheRetryWaitMs);
    return;
  }
  std::string line;
  conn_.ReadHeaderBlock(line);
  int code = conn_.Code();
  int result = code == 2000 ? 0 : code == 4000 ? -3 : code == 4001 ? -2 : -5;
  router_.SetLastCacheResult(result);
  if (result != 0) return;  // refused: no reconnecting until the next refresh
  router_.ApplyServerGreeting(conn_);

  conn_.ClearHeaders();
  router_.AddLocalStatistics(conn_);
  conn_.SendHeader("UPDATE_STATS");
  conn_.ReadHeaderBlock(line);
  router_.StatisticsAnswered(conn_);

  int64_t lowSpeed = router_.Setting(TDWSetting::LowSpeedBPS);
  bool idle = lowSpeed > 0 && router_.Traffic() < lowSpeed;
  int ownPort = router_.OwnListenPort();
  if (!idle && ownPort > 0) {
    conn_.ClearHeaders();
    conn_.SetHeader("Port", plat::IntToStr(ownPort));
    conn_.SendHeader("SET_NODE");
    conn_.ReadHeaderBlock(line);
  }

  for (int attempts = 0; int(got_.size()) < wanted_ && attempts < router_.Timings().maxGetNodeAttempts;
       ++attempts) {
    if (!running_ || router_.Stopping()) return;
    conn_.ClearHeaders();
    conn_.SendHeader("GET_NODE");
    conn_.ReadHeaderBlock(line);
    if (conn_.Code() == kCodeNode) {
      std::string ip = plat::Trim(conn_.GetHeader("IP"));
      int64_t port = HeaderNumber(conn_, "Port", 0);
      if (!ip.empty() && std::find(got_.begin(), got_.end(), ip) == got_.end() && router_.IsNewHost(ip)) {
        got_.push_back(ip);
        router_.AddHost(ip, int(port));
        router_.SetRefreshDue();
      }
    }
    if (int(got_.size()) >= wanted_) break;
    if (!Wait(router_.Timings().getNodeWaitMs) || !conn_.Connected()) return;
  }
}
