#include "tools/gateway_fake_networks.h"

#include "peer/gnutella/gnutella_packet.h"
#include "platform/thread.h"

using Guard = std::lock_guard<std::mutex>;

// ---------------------------------------------------------------- Duskwire

void TFakeDuskwire::SetPeers(int n, int incoming) {
  Guard g(lock_);
  peers_ = n;
  incoming_ = incoming;
}
void TFakeDuskwire::SetHealth(int percent) { Guard g(lock_); health_ = percent; }
void TFakeDuskwire::SetTraffic(int bps) { Guard g(lock_); traffic_ = bps; }
void TFakeDuskwire::SetIPNumber(uint32_t hostOrder, const std::string& host) {
  Guard g(lock_);
  ipNumber_ = hostOrder;
  ipHost_ = host;
}
void TFakeDuskwire::SetServerMessage(const std::string& text) { Guard g(lock_); serverMessage_ = text; }
void TFakeDuskwire::SetNetworkStatisticValue(const std::string& name, int64_t value) {
  Guard g(lock_);
  network_[name] = value;
}
void TFakeDuskwire::SetPeersWhenStarted(int n) { Guard g(lock_); peersWhenStarted_ = n; }

void TFakeDuskwire::InjectRequest(const std::string& routingInfo, const std::string& to, const std::string& from,
                                  const std::string& body, const std::string& requestType) {
  Guard g(lock_);
  requests_.push_back({routingInfo, to, from, body, requestType});
}
void TFakeDuskwire::InjectResponse(const std::string& routingInfo, const std::string& to, const std::string& from,
                                   const std::string& body) {
  Guard g(lock_);
  responses_.push_back({routingInfo, to, from, body, ""});
}

std::vector<TFakeDuskwire::Sent> TFakeDuskwire::SentItems() { Guard g(lock_); return sent_; }
std::vector<TFakeDuskwire::Sent> TFakeDuskwire::Requests() {
  Guard g(lock_);
  std::vector<Sent> out;
  for (const Sent& s : sent_)
    if (!s.Response) out.push_back(s);
  return out;
}
std::vector<TFakeDuskwire::Sent> TFakeDuskwire::Responses() {
  Guard g(lock_);
  std::vector<Sent> out;
  for (const Sent& s : sent_)
    if (s.Response) out.push_back(s);
  return out;
}
void TFakeDuskwire::ClearSent() { Guard g(lock_); sent_.clear(); }
int64_t TFakeDuskwire::LocalStatistic(const std::string& name) {
  Guard g(lock_);
  auto it = local_.find(name);
  return it == local_.end() ? -1 : it->second;
}
std::string TFakeDuskwire::NickGiven() { Guard g(lock_); return nick_; }
bool TFakeDuskwire::Started() { Guard g(lock_); return started_; }
bool TFakeDuskwire::StartedFirewalled() { Guard g(lock_); return firewalled_; }
int TFakeDuskwire::Starts() { Guard g(lock_); return starts_; }
int TFakeDuskwire::Stops() { Guard g(lock_); return stops_; }

void TFakeDuskwire::SetNick(const std::string& nick) { Guard g(lock_); nick_ = nick; }
void TFakeDuskwire::SetCacheServer(const std::string&, int) {}
void TFakeDuskwire::SetIncomingQueueLimit(int) {}
void TFakeDuskwire::SetMessageIdMemory(int) {}
void TFakeDuskwire::Start(bool firewalled, int) {
  Guard g(lock_);
  started_ = true;
  firewalled_ = firewalled;
  ++starts_;
}
void TFakeDuskwire::Stop() {
  Guard g(lock_);
  started_ = false;
  ++stops_;
}
int TFakeDuskwire::PeerCount() {
  Guard g(lock_);
  if (peersWhenStarted_ >= 0) return started_ ? peersWhenStarted_ : 0;
  return peers_;
}
int TFakeDuskwire::IncomingPeerCount() { Guard g(lock_); return incoming_; }
int TFakeDuskwire::OutgoingPeerCount() { Guard g(lock_); return peers_ - incoming_; }
int TFakeDuskwire::HealthPercent() { Guard g(lock_); return health_; }
int TFakeDuskwire::Traffic() { Guard g(lock_); return traffic_; }
uint32_t TFakeDuskwire::IPNumber() { Guard g(lock_); return ipNumber_; }
std::string TFakeDuskwire::IPHost() { Guard g(lock_); return ipHost_; }
std::string TFakeDuskwire::ServerMessage() { Guard g(lock_); return serverMessage_; }
void TFakeDuskwire::SetLocalStatistic(const std::string& name, int64_t value) {
  Guard g(lock_);
  local_[name] = value;
}
int64_t TFakeDuskwire::NetworkStatistic(const std::string& name) {
  Guard g(lock_);
  auto it = network_.find(name);
  return it == network_.end() ? 0 : it->second;
}
void TFakeDuskwire::SendRequest(const std::string& seed, const std::string& to, bool, const std::string& requestType,
                                const std::string& body) {
  Guard g(lock_);
  sent_.push_back({false, seed, to, requestType, body});
}
void TFakeDuskwire::SendResponse(const std::string& routingInfo, const std::string& to, const std::string& body) {
  Guard g(lock_);
  sent_.push_back({true, routingInfo, to, "", body});
}
bool TFakeDuskwire::GetNextRequest(std::string& routingInfo, std::string& to, std::string& requestType,
                                   std::string& body, std::string& from) {
  Guard g(lock_);
  if (requests_.empty()) return false;
  Item& i = requests_.front();
  routingInfo = i.routingInfo;
  to = i.to;
  requestType = i.requestType;
  body = i.body;
  from = i.from;
  requests_.pop_front();
  return true;
}
bool TFakeDuskwire::GetNextResponse(std::string& routingInfo, std::string& to, std::string& from,
                                    std::string& body) {
  Guard g(lock_);
  if (responses_.empty()) return false;
  Item& i = responses_.front();
  routingInfo = i.routingInfo;
  to = i.to;
  from = i.from;
  body = i.body;
  responses_.pop_front();
  return true;
}

// ---------------------------------------------------------------- Gnutella

void TFakeGnutella::SetConnections(int n) { Guard g(lock_); connections_ = n; }
void TFakeGnutella::SetHealth(int percent) { Guard g(lock_); health_ = percent; }
void TFakeGnutella::InjectResult(TSearchResult r, bool forLastSearch) {
  Guard g(lock_);
  if (forLastSearch) r.QueryGUID = last_;
  results_.push_back(std::make_unique<TSearchResult>(std::move(r)));
}
void TFakeGnutella::InjectSearchRequest(const std::string& text) {
  Guard g(lock_);
  auto r = std::make_unique<TSearchRequest>();
  r->Text = text;
  requests_.push_back(std::move(r));
}
std::vector<std::string> TFakeGnutella::SearchTexts() { Guard g(lock_); return searches_; }
TGuid TFakeGnutella::LastSearch() { Guard g(lock_); return last_; }
std::vector<std::string> TFakeGnutella::Seeds() { Guard g(lock_); return seeds_; }
bool TFakeGnutella::Firewalled() { Guard g(lock_); return firewalled_; }
bool TFakeGnutella::Started() { Guard g(lock_); return started_; }
int TFakeGnutella::StartPort() { Guard g(lock_); return port_; }
int TFakeGnutella::PendingResults() { Guard g(lock_); return int(results_.size()); }

void TFakeGnutella::AddSeedHost(const std::string& host, int port) {
  Guard g(lock_);
  seeds_.push_back(host + ":" + std::to_string(port));
}
void TFakeGnutella::SetFirewalled(bool firewalled) { Guard g(lock_); firewalled_ = firewalled; }
void TFakeGnutella::Start(int port) {
  Guard g(lock_);
  started_ = true;
  port_ = port;
}
void TFakeGnutella::Stop() { Guard g(lock_); started_ = false; }
int TFakeGnutella::ConnectionCount() { Guard g(lock_); return connections_; }
int TFakeGnutella::HealthPercent() { Guard g(lock_); return health_; }
TGuid TFakeGnutella::Search(const std::string& text) {
  Guard g(lock_);
  searches_.push_back(text);
  last_ = NewDescriptorGuid();
  return last_;
}
std::unique_ptr<TSearchResult> TFakeGnutella::GetNextResult() {
  Guard g(lock_);
  if (results_.empty()) return nullptr;
  auto r = std::move(results_.front());
  results_.pop_front();
  return r;
}
std::unique_ptr<TSearchRequest> TFakeGnutella::GetNextSearchRequest() {
  Guard g(lock_);
  if (requests_.empty()) return nullptr;
  auto r = std::move(requests_.front());
  requests_.pop_front();
  return r;
}

// ---------------------------------------------------------------- harness

TGatewaySettings TGatewayHarness::QuickSettings() {
  TGatewaySettings s;
  s.LoginWait = 0;
  s.LoginStepMs = 10;
  s.GnutellaSeedHost = "127.0.0.1";
  s.GnutellaSeedPort = 7000;
  return s;
}

TGatewayHarness::TGatewayHarness(TGatewaySettings settings)
    : TGatewayCore(std::move(settings), std::move(dusk), std::move(gnut)) {}

void TGatewayHarness::Reconnect() {
  closed_ = false;
  ResetConnection();
}

bool TGatewayHarness::LogIn(const std::string& nick, int dataPort, int linkSpeed) {
  HandleClientMessage(2, nick + " secret " + std::to_string(dataPort) + " \"test client 1.0\" " +
                             std::to_string(linkSpeed));
  return LoggedIn();
}

int TGatewayHarness::Pump(int n) {
  // As the gateway thread does: passes run back to back while they take
  // something.
  int passes = 0;
  while (passes < n && !closed_ && PumpPass()) ++passes;
  return passes;
}

std::vector<NapsterMessage> TGatewayHarness::TakeFrames() {
  std::vector<NapsterMessage> out;
  out.swap(frames_);
  return out;
}

std::vector<NapsterMessage> TGatewayHarness::OfType(uint16_t type) const {
  std::vector<NapsterMessage> out;
  for (const NapsterMessage& m : frames_)
    if (m.Type == type) out.push_back(m);
  return out;
}

void TGatewayHarness::WriteClient(const std::string& frame) {
  if (closed_) return;
  wire_ += frame;
  NapsterFrameReader reader(0xFFFF);
  reader.Feed(frame.data(), frame.size());
  NapsterMessage m;
  while (reader.Next(m) == NapsterFrameReader::Result::kMessage) frames_.push_back(m);
}

bool TGatewayHarness::LoginPause(int ms) {
  if (OnLoginPause) return OnLoginPause();
  plat::Thread::Sleep(ms);
  return true;
}
