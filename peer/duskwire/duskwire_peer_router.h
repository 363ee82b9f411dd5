// One node of the Duskwire overlay. The router keeps TCP connections to a
// handful of other nodes (peers), floods requests to all of them with a hop
// limit, records on each request the path it took and sends responses back
// along that path. It learns hosts from the packets it sees and from a cache
// server, and keeps its peer count up with connect attempts.
//
// Its work runs on threads of its own: a refresh thread, an accept thread
// while it listens, a connect thread per attempt, a thread per peer and at
// most one cache-server client. The router owns them all; Stop closes every
// connection, wakes every wait and joins every thread before it returns.
//
// Everything that faces the network is bounded: queues (incoming-queue
// limit and a byte budget), remembered ids (message-id memory), the host
// queue, packet sizes. A packet routed to several peers is held once, in
// every queue it waits in.
#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "peer/duskwire/duskwire.h"
#include "peer/duskwire/number_list.h"
#include "platform/sync.h"
#include "platform/thread.h"

// Settings the cache server may replace (its header names in SettingName).
enum class TDWSetting : int {
  MaxHostQueueSize,  // host queue length; adding at this length drops the oldest
  MaxHostQueueAge,   // seconds after which a queued host is dropped
  MaxPeers,          // most peers at once; most connects started per refresh
  MinPeers,          // target peer count while carrying traffic
  LowSpeedBPS,       // traffic at or below which the node counts as idle
  LowSpeedPeers,     // target peer count while idle
  PeerTimeout,       // seconds of silence after which a peer is closed (0: never)
  MaxHops,           // hop limit of requests
  CacheRefreshTime,  // seconds between periodic refreshes
  Count
};

// Pacing of the router's threads in milliseconds. The defaults are the
// product's; tests shorten them. Set before Start.
struct TDWTimings {
  int addPeerDelayMs = 500;      // before a new peer's thread starts
  int connectPacingMs = 250;     // before each connect a refresh starts
  int refreshTickMs = 1000;      // refresh thread's step
  int acceptPauseMs = 1000;      // after each accepted connection
  int peerPollMs = 50;           // peer thread's step
  int peerSendPauseMs = 30;      // between the two sends of a step
  int peerWaitMs = 1000;         // longest socket wait of an idle peer
  int cacheRetryWaitMs = 5000;   // after a failed cache-server connect
  int getNodeWaitMs = 3000;      // between GET_NODE commands
  int stopPollMs = 50;           // Stop's polling step
  int maxGetNodeAttempts = 10;   // GET_NODE commands per cache session
};

// A known host to connect to.
struct TDWHostItem {
  int64_t Added = 0;  // monotonic milliseconds
  std::string Host;
  uint16_t Port = 0;
  int Age() const;  // whole seconds since Added
};

// A packet waiting in a queue, with its (transformed) body. Queues share
// it: a request flooded to every peer is one object however many queues
// hold it.
struct TDWQueuedPacket {
  TDWQueuedPacket(TDuskwirePacket packet, std::string body);
  TDuskwirePacket Packet;
  std::string Body;
  // What it counts against a queue's byte budget: its body and headers.
  std::size_t Bytes = 0;
};
using TDWPacketRef = std::shared_ptr<const TDWQueuedPacket>;

// Bytes of packets each queue may hold (each peer's out queue and the
// delivered queues): room for twenty of the largest packets the gateway
// sends (about 200 KB), while ten peers' full queues hold some 40 MB where
// the packet count alone let 64 bodies of up to 1 MiB wait for each.
constexpr std::size_t kDWQueueByteBudget = std::size_t(4) << 20;

// A queue of shared packets, oldest first, bounded by a packet count and by
// bytes. Its owner locks it.
class TDWPacketQueue {
 public:
  // Appends p, then drops the oldest once when the queue holds `limit`
  // packets or more (full is then set), and more of the oldest while it
  // holds over `budget` bytes; the newest always stays. Returns the number
  // dropped.
  int Push(TDWPacketRef p, int limit, std::size_t budget, bool& full);
  TDWPacketRef Pop();  // nullptr when empty
  bool Empty() const { return items_.empty(); }
  int Count() const { return int(items_.size()); }
  std::size_t Bytes() const { return bytes_; }
  void Clear();

 private:
  std::deque<TDWPacketRef> items_;
  std::size_t bytes_ = 0;
};

// A connected peer as routing sees it.
class TDWPeer {
 public:
  virtual ~TDWPeer() = default;
  virtual const std::string& PeerId() const = 0;
  // Appends the packet to the peer's out queue. When the queue then holds
  // the incoming-queue limit or more, the oldest is dropped and the peer
  // closed; over the byte budget, the oldest are dropped and the peer kept
  // (one peer's large packets must not cut the links to the slower ones).
  virtual void QueuePacket(const TDWPacketRef& packet) = 0;
  virtual void ClosePeer() = 0;
  virtual int Traffic() const = 0;  // send + receive rate, bytes per second
  virtual std::size_t QueuedBytes() const { return 0; }
};

class TDWCacheClientThread;

class TDuskwirePeerRouter {
 public:
  TDuskwirePeerRouter();
  ~TDuskwirePeerRouter();  // stops
  TDuskwirePeerRouter(const TDuskwirePeerRouter&) = delete;
  TDuskwirePeerRouter& operator=(const TDuskwirePeerRouter&) = delete;

  // Stops first; listens on ListenPort unless firewalled (0: any free port);
  // starts the refresh thread and marks a refresh as due.
  void Start(bool firewalled, int listenPort);
  // Ends every thread and connection; returns when all are gone.
  void Stop();
  bool Running() const { return running_; }

  void SendRequest(const std::string& seed, const std::string& to, bool limited,
                   const std::string& requestType, const std::string& body);
  void SendResponse(const std::string& routingInfo, const std::string& to, const std::string& body);
  bool GetNextRequest(std::string& routingInfo, std::string& to, std::string& requestType,
                      std::string& body, std::string& from);
  // routingInfo comes without its last element: the seed of the request.
  bool GetNextResponse(std::string& routingInfo, std::string& to, std::string& from, std::string& body);

  void SetLocalStatistic(const std::string& name, int64_t value);
  int64_t NetworkStatistic(const std::string& name);

  int PeerCount();        // peers, counting those whose thread is starting
  int ActivePeerCount();  // peers whose thread runs
  int IncomingPeerCount();
  int OutgoingPeerCount();
  bool TakePeersChanged() { return peersChanged_.exchange(false); }
  int HealthPercent();
  int Traffic();  // sum of the peers' send and receive rates
  // Bytes of packets waiting in the peers' out queues.
  int64_t QueuedBytes();
  // Packets written to peers since the router was made (for statistics).
  int64_t PacketsSent() const { return packetsSent_; }
  void CountPacketSent() { ++packetsSent_; }

  int64_t Setting(TDWSetting s) const { return settings_[int(s)]; }
  void SetSetting(TDWSetting s, int64_t v) { settings_[int(s)] = v; }
  static const char* SettingName(TDWSetting s);
  int MinPeers() const { return int(Setting(TDWSetting::MinPeers)); }

  uint32_t IPNumber();
  std::string IPHost();
  std::string ServerMessage();
  std::string AdvertisingURL();
  std::string HomepageURL();
  int LastCacheResult() const { return lastCacheResult_; }
  int OwnListenPort() const { return ownListenPort_; }

  void SetNick(const std::string& nick);
  std::string Nick();
  void SetCacheServer(const std::string& host, int port);
  void SetIncomingQueueLimit(int n) { incomingQueueLimit_ = n < 1 ? 1 : n; }
  int IncomingQueueLimit() const { return incomingQueueLimit_; }
  void SetMessageIdMemory(int n) { messageIdMemory_ = n < 1 ? 1 : n; }
  void SetQueueByteBudget(std::size_t bytes) { queueByteBudget_ = bytes; }
  std::size_t QueueByteBudget() const { return queueByteBudget_; }
  void SetCacheTimeout(int seconds) { cacheTimeout_ = seconds; }
  void SetAcceptServerSettings(bool v) { acceptServerSettings_ = v; }
  // Local address to listen on and to connect from ("": every address).
  // Several nodes can share one machine on 127.0.0.N this way.
  void SetBindAddress(const std::string& address);
  std::string BindAddress();
  void SetTimings(const TDWTimings& t) { timings_ = t; }
  const TDWTimings& Timings() const { return timings_; }

  // ---- Used by the router's threads; tests drive routing through them.
  // A packet from peer `from`: routed when its Message-ID is new. A request
  // seen before is dropped, unless this copy came a shorter way than every
  // earlier one: it is then forwarded (nodes further on may have had only
  // the longer copy, at the hop limit), but not delivered again.
  void ReceivePacket(TDuskwirePacket& packet, std::string body, TDWPeer* from);
  // Routes a packet from a peer, or this node's own (from = nullptr).
  void Route(TDuskwirePacket& packet, std::string body, TDWPeer* from);
  // Reserves a peer slot for a connection from/to address: "" when the
  // address is not new or the node has MaxPeers; otherwise the new peer id.
  // Two nodes that connect to each other at the same moment would each
  // close the other's connection and lose the link: of two connections
  // opened from opposite ends, both nodes keep the one opened by the lower
  // address (compared as text; ownAddress "" means IP-Host, and without an
  // own address the first connection stays). The losing connection, whether
  // reserved, carrying packets or still being connected, gives way.
  // connectId names the pending connect the connection comes from: its
  // entry goes in the same step, so no refresh sees the host as new between.
  std::string ReservePeer(const std::string& address, bool incoming, const std::string& ownAddress = "",
                          const std::string& connectId = "");
  // Puts the peer into its reserved slot; false when the slot is gone
  // (the router stopped meanwhile).
  bool ActivatePeer(const std::string& id, TDWPeer* peer);
  void RemovePeer(const std::string& id);
  // Neither a peer's address nor the host of a pending connect.
  bool IsNewHost(const std::string& host);
  // A peer at this address carries packets (its thread runs).
  bool IsActivePeer(const std::string& address);
  // Adds to the host queue (not port 0, not an empty or own host).
  void AddHost(const std::string& host, int port);
  int HostQueueCount();
  std::vector<TDWHostItem> HostQueue();
  // Hands a connected connection over as a peer (or closes it); connectId
  // as for ReservePeer.
  void AddPeer(std::unique_ptr<TDuskwire> conn, bool incoming, const std::string& connectId = "");
  void RegisterConnect(const std::string& id, const std::string& host, class TDWPeerConnectThread* t);
  void UnregisterConnect(const std::string& id);
  int PendingConnectCount();
  void Refresh();
  void SetRefreshDue() { refreshDue_ = true; }
  bool TakeRefreshDue() { return refreshDue_.exchange(false); }
  bool Stopping() const { return stopping_; }
  // Waits ms or until Stop begins; false when stopping.
  bool Pause(int ms);
  TSocket& Listener() { return listener_; }
  // Takes IP-Number and IP-Host from a connection while none is known.
  void AdoptLocalAddress(const std::string& host, uint32_t number);
  void SetLastCacheResult(int r) { lastCacheResult_ = r; }
  // The cache server's greeting: the settings it carries replace ours when
  // accepted (0 included; negative values and non-numbers are ignored),
  // texts and own address always.
  void ApplyServerGreeting(const TDuskwirePacket& greeting);
  // Local statistics as headers of p (an UPDATE_STATS command).
  void AddLocalStatistics(TDuskwirePacket& p);
  // The cache server's reply to UPDATE_STATS has been read: both tables
  // are emptied, and the headers of a 2030 reply become the network
  // statistics, in one step. Until then the tables stay as they are: the
  // network totals go on being shown while the reply is awaited, and local
  // ones a server never acknowledged go with the next command.
  void StatisticsAnswered(const TDuskwirePacket& reply);
  void ThreadEnded(int which);  // clears a running flag (kRefresh, ...)
  enum { kRefreshThread, kAcceptThread, kCacheThread };

 private:
  struct PeerEntry {
    std::string id;
    std::string address;
    TDWPeer* peer;  // nullptr while reserved
    bool incoming;
    bool yielding = false;  // closed for a crossing connection; leaves when its thread ends
  };
  struct PendingEntry {
    std::string id;
    std::string host;
    TDWPeerConnectThread* thread;
  };

  TDuskwirePacket NewPacket(const std::string& to);
  // Remembers id with the hops it came in; false when it was seen before
  // and this copy came no shorter way.
  bool RememberId(const std::string& id, int hops, bool& seenBefore);
  void RouteRequest(TDuskwirePacket& p, std::string body, TDWPeer* from, bool deliver = true);
  // The request breaks the hop limit (counting the hop to us when it came
  // from a peer).
  bool OverHopLimit(const TDuskwirePacket& p, bool fromPeer) const;
  void RouteResponse(TDuskwirePacket& p, std::string body, TDWPeer* from);
  void Deliver(std::mutex& lock, TDWPacketQueue& q, const TDWPacketRef& item);
  // Takes the oldest delivered packet, its body made plain again.
  TDWPacketRef TakeDelivered(std::mutex& lock, TDWPacketQueue& q, std::string& body);
  bool IsOwnRoutingInfo(const std::string& ri);
  bool IsNewHostLocked(const std::string& host);  // peers lock held
  void StartListening();
  void StartThread(plat::Thread* t);
  void ReapThreads();
  void CloseEverything();
  void StartCacheClient(int wanted);

  std::atomic<int64_t> settings_[int(TDWSetting::Count)];
  std::atomic<int> incomingQueueLimit_{300};
  std::atomic<int> messageIdMemory_{500};
  std::atomic<std::size_t> queueByteBudget_{kDWQueueByteBudget};
  std::atomic<int> cacheTimeout_{180};
  std::atomic<bool> acceptServerSettings_{true};
  TDWTimings timings_;

  std::mutex infoLock_;  // nick, addresses, server texts, cache host
  std::string nick_;
  std::string ipHost_;
  uint32_t ipNumber_ = 0;
  std::string serverMessage_, advertisingURL_, homepageURL_;
  std::string cacheHost_;
  int cachePort_ = 0;
  std::string bindAddress_;
  std::atomic<int> lastCacheResult_{0};
  std::atomic<int64_t> packetsSent_{0};

  std::atomic<bool> firewalled_{true};
  std::atomic<int> configuredPort_{0};
  std::atomic<int> ownListenPort_{0};
  TSocket listener_;

  std::mutex peersLock_;
  std::vector<PeerEntry> peers_;
  int incomingCount_ = 0;
  int outgoingCount_ = 0;
  uint64_t nextPeerId_ = 0;
  std::atomic<bool> peersChanged_{false};

  std::mutex pendingLock_;
  std::vector<PendingEntry> pending_;

  std::mutex hostsLock_;
  std::deque<TDWHostItem> hosts_;

  // Seen Message-IDs, each with the fewest hops a copy of it arrived in
  // (0 for this node's own packets), oldest first.
  std::mutex seenLock_;
  std::deque<std::string> seenOrder_;
  std::unordered_map<std::string, int> seen_;

  std::mutex ownLock_;
  std::deque<std::string> ownRoutingInfo_;

  std::mutex requestsLock_;
  TDWPacketQueue requests_;
  std::mutex responsesLock_;
  TDWPacketQueue responses_;

  std::mutex statsLock_;
  TNumberList localStats_;
  TNumberList networkStats_;

  std::mutex flagsLock_;  // the running flags and the cache client
  bool refreshRunning_ = false;
  bool acceptRunning_ = false;
  bool cacheRunning_ = false;
  TDWCacheClientThread* cacheClient_ = nullptr;

  std::mutex threadsLock_;  // every thread the router started
  std::vector<plat::Thread*> threads_;
  class TDWRefreshThread* refreshThread_ = nullptr;

  std::mutex runLock_;  // Start and Stop
  std::atomic<bool> running_{false};
  std::atomic<bool> stopping_{false};
  std::atomic<bool> refreshDue_{false};
  plat::Event stopEvent_{true, false};
};

// ---------------------------------------------------------------- threads

class TDWRefreshThread : public plat::Thread {
 public:
  explicit TDWRefreshThread(TDuskwirePeerRouter& router);

 protected:
  void Execute() override;

 private:
  TDuskwirePeerRouter& router_;
  int64_t lastMark_;
};

class TDWPeerAcceptThread : public plat::Thread {
 public:
  explicit TDWPeerAcceptThread(TDuskwirePeerRouter& router);

 protected:
  void Execute() override;

 private:
  TDuskwirePeerRouter& router_;
};

class TDWPeerConnectThread : public plat::Thread {
 public:
  TDWPeerConnectThread(TDuskwirePeerRouter& router, std::string id, std::string host, uint16_t port);
  // Closes the connection being made (any thread).
  void CloseConnection();

 protected:
  void Execute() override;

 private:
  TDuskwirePeerRouter& router_;
  std::mutex lock_;
  std::unique_ptr<TDuskwire> conn_;
  std::string id_;
  std::string host_;
  uint16_t port_;
};

class TDWPeerRouterThread : public plat::Thread, public TDWPeer {
 public:
  TDWPeerRouterThread(TDuskwirePeerRouter& router, std::unique_ptr<TDuskwire> conn,
                      std::string id, bool incoming);
  const std::string& PeerId() const override { return id_; }
  void QueuePacket(const TDWPacketRef& packet) override;
  void ClosePeer() override;
  int Traffic() const override;
  std::size_t QueuedBytes() const override;
  bool Incoming() const { return incoming_; }
  int64_t Received() const { return received_; }
  int64_t Sent() const { return sent_; }
  int64_t Dropped() const { return dropped_; }

 protected:
  void Execute() override;

 private:
  void SendOne();
  bool QueueEmpty();

  TDuskwirePeerRouter& router_;
  std::unique_ptr<TDuskwire> conn_;
  std::string id_;
  bool incoming_;
  mutable std::mutex queueLock_;
  TDWPacketQueue out_;
  int64_t lastReceived_ = 0;
  std::atomic<int64_t> received_{0}, sent_{0}, dropped_{0};
};

class TDWCacheClientThread : public plat::Thread {
 public:
  TDWCacheClientThread(TDuskwirePeerRouter& router, int timeout, int wanted, std::string host, int port);
  // Ends the session: clears the running flag and closes the connection.
  void StopClient();
  bool ClientRunning() const { return running_; }

 protected:
  void Execute() override;

 private:
  void Session();
  bool Wait(int ms);  // false when the session is to end

  TDuskwirePeerRouter& router_;
  std::mutex lock_;
  TDuskwire conn_;
  int timeout_;
  int wanted_;
  std::string host_;
  int port_;
  std::vector<std::string> got_;
  std::atomic<bool> running_{true};
};
