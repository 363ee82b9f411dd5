// Stand-ins for the two networks behind the gateway, for tests and the
// fuzz target: they record what the gateway sends and hand it whatever the
// test puts into their queues. Safe to use from the gateway thread and the
// test thread at once.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "peer/gateway/gateway.h"
#include "peer/napster/napster_message.h"

class TFakeDuskwire : public TGatewayDuskwire {
 public:
  // One request or response the gateway sent.
  struct Sent {
    bool Response = false;
    std::string Seed;  // the seed of a request, the Routing-Info of a response
    std::string To;
    std::string RequestType;
    std::string Body;
  };

  // ---- what the test sets
  void SetPeers(int n, int incoming = 0);
  void SetHealth(int percent);
  void SetTraffic(int bps);
  void SetIPNumber(uint32_t hostOrder, const std::string& host);
  void SetServerMessage(const std::string& text);
  void SetNetworkStatisticValue(const std::string& name, int64_t value);
  // Peers while started, 0 while stopped (the default: as set).
  void SetPeersWhenStarted(int n);
  void InjectRequest(const std::string& routingInfo, const std::string& to, const std::string& from,
                     const std::string& body, const std::string& requestType = kNapsterRequestType);
  void InjectResponse(const std::string& routingInfo, const std::string& to, const std::string& from,
                      const std::string& body);

  // ---- what the test looks at
  std::vector<Sent> SentItems();
  std::vector<Sent> Requests();
  std::vector<Sent> Responses();
  void ClearSent();
  int64_t LocalStatistic(const std::string& name);
  std::string NickGiven();
  bool Started();
  bool StartedFirewalled();
  int Starts();
  int Stops();

  // ---- the interface
  void SetNick(const std::string& nick) override;
  void SetCacheServer(const std::string& host, int port) override;
  void SetIncomingQueueLimit(int n) override;
  void SetMessageIdMemory(int n) override;
  void Start(bool firewalled, int listenPort) override;
  void Stop() override;
  int PeerCount() override;
  int IncomingPeerCount() override;
  int OutgoingPeerCount() override;
  int HealthPercent() override;
  int Traffic() override;
  uint32_t IPNumber() override;
  std::string IPHost() override;
  std::string ServerMessage() override;
  void SetLocalStatistic(const std::string& name, int64_t value) override;
  int64_t NetworkStatistic(const std::string& name) override;
  void SendRequest(const std::string& seed, const std::string& to, bool limited, const std::string& requestType,
                   const std::string& body) override;
  void SendResponse(const std::string& routingInfo, const std::string& to, const std::string& body) override;
  bool GetNextRequest(std::string& routingInfo, std::string& to, std::string& requestType, std::string& body,
                      std::string& from) override;
  bool GetNextResponse(std::string& routingInfo, std::string& to, std::string& from, std::string& body) override;

 private:
  struct Item {
    std::string routingInfo, to, from, body, requestType;
  };
  std::mutex lock_;
  int peers_ = 0, incoming_ = 0, health_ = 0, traffic_ = 0;
  int peersWhenStarted_ = -1;
  uint32_t ipNumber_ = 0;
  std::string ipHost_, serverMessage_, nick_;
  bool started_ = false, firewalled_ = false;
  int starts_ = 0, stops_ = 0;
  std::map<std::string, int64_t> local_, network_;
  std::deque<Item> requests_, responses_;
  std::vector<Sent> sent_;
};

class TFakeGnutella : public TGatewayGnutella {
 public:
  void SetConnections(int n);
  void SetHealth(int percent);
  // A result of the search the gateway sent last (or of the given GUID).
  void InjectResult(TSearchResult r, bool forLastSearch = true);
  void InjectSearchRequest(const std::string& text);
  std::vector<std::string> SearchTexts();
  TGuid LastSearch();
  std::vector<std::string> Seeds();
  bool Firewalled();
  bool Started();
  int StartPort();
  int PendingResults();

  void AddSeedHost(const std::string& host, int port) override;
  void SetFirewalled(bool firewalled) override;
  void Start(int port) override;
  void Stop() override;
  int ConnectionCount() override;
  int HealthPercent() override;
  TGuid Search(const std::string& text) override;
  std::unique_ptr<TSearchResult> GetNextResult() override;
  std::unique_ptr<TSearchRequest> GetNextSearchRequest() override;

 private:
  std::mutex lock_;
  int connections_ = 0, health_ = 0, port_ = 0;
  bool firewalled_ = false, started_ = false;
  std::vector<std::string> seeds_, searches_;
  TGuid last_{};
  std::deque<std::unique_ptr<TSearchResult>> results_;
  std::deque<std::unique_ptr<TSearchRequest>> requests_;
};

// The gateway's protocol with both networks faked and the client in
// memory: every frame the gateway writes is kept, decoded, in order.
struct TGatewayHarnessNetworks {
  std::unique_ptr<TFakeDuskwire> dusk = std::make_unique<TFakeDuskwire>();
  std::unique_ptr<TFakeGnutella> gnut = std::make_unique<TFakeGnutella>();
  TFakeDuskwire* duskPtr = dusk.get();
  TFakeGnutella* gnutPtr = gnut.get();
};

class TGatewayHarness : private TGatewayHarnessNetworks, public TGatewayCore {
 public:
  // Quick pacing: login steps of 10 ms, a login wait of 0 seconds.
  static TGatewaySettings QuickSettings();
  explicit TGatewayHarness(TGatewaySettings settings = QuickSettings());
  TFakeDuskwire& Dusk() { return *duskPtr; }
  TFakeGnutella& Gnut() { return *gnutPtr; }

  // A new client connection (the state of the last one is reset).
  void Reconnect();
  // Logs in as nick with data port and link speed; true when it worked.
  bool LogIn(const std::string& nick = "me", int dataPort = 6699, int linkSpeed = 7);
  // Runs pump passes until one takes nothing (at most n passes).
  int Pump(int n = 100000);
  bool Closed() const { return closed_; }
  // The health the gateway stored, each time (Gnutella, Duskwire).
  const std::vector<std::pair<int, int>>& HealthSeen() const { return health_; }
  // Each step of the login wait calls this instead of sleeping (false
  // stops the wait).
  std::function<bool()> OnLoginPause;
  // Frames written so far, and the raw bytes.
  const std::vector<NapsterMessage>& Frames() const { return frames_; }
  const std::string& Wire() const { return wire_; }
  std::vector<NapsterMessage> TakeFrames();
  std::vector<NapsterMessage> OfType(uint16_t type) const;

 protected:
  void WriteClient(const std::string& frame) override;
  bool ClientConnected() override { return !closed_; }
  void CloseClient() override { closed_ = true; }
  bool LoginPause(int ms) override;
  void HealthStored(int gnutella, int duskwire) override { health_.emplace_back(gnutella, duskwire); }

 private:
  bool closed_ = false;
  std::vector<std::pair<int, int>> health_;
  std::vector<NapsterMessage> frames_;
  std::string wire_;
};
