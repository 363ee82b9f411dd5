// The Gnutella node: a servent that joins the network with the 0.6
// handshake (falling back to 0.4), as a leaf or as an ultrapeer. It keeps a
// small host cache, opens connections to keep its ultrapeer links up,
// optionally accepts connections, floods and answers descriptors, sends the
// application's searches and collects their results.
//
// Threads: the node owns a ticker thread (the connection manager, once a
// second, never overlapping itself), one thread per connection and, unless
// firewalled, a listen thread. Stop closes every socket, wakes every wait
// and joins every thread; it returns promptly even with live connections.
//
// Events fire on the main thread by synchronised calls, and only when a
// handler is assigned. A Stop on the main thread serves the events still
// waiting; a Stop on another thread gives them up, so it never deadlocks
// against a main thread that is itself waiting for the node.
#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/network_wrapper.h"
#include "peer/gnutella/gnutella_packet.h"
#include "platform/dispatcher.h"
#include "platform/sync.h"
#include "platform/thread.h"

enum TUltraPeerMode { umAutomatic, umUltraPeer, umLeaf };

// The node's published properties with their defaults.
struct TGnutellaSettings {
  std::string sUserAgent = "Tarnwick 4.0";
  std::string sVendorCode = "TRWK";
  bool bIsCacheServer = false;     // learn hosts, refuse every connection
  int iConnectionSpeed = 5000;
  TUltraPeerMode sUltraPeerMode = umUltraPeer;
  int iPongResponseSize = 1;
  int iMaxHops = 7;                // TTL cap and hop limit of forwarded descriptors
  int iMinPeers = 4;               // base of the health percent
  int iMinUltraPeers = 4;          // ultrapeer links wanted while an ultrapeer
  int iMinUltraPeerSlow = 4;       // ultrapeer links wanted while a leaf
  int iMaxPeers = 5;               // leaf links accepted by an ultrapeer
  int iMaxPeersSlow = 5;
  int iMinPeersSlow = 4;
  int iMaxUltraPeers = 5;          // ultrapeer links accepted while an ultrapeer
  int iMaxUltraPeersSlow = 5;      // ultrapeer links accepted while a leaf
  int iMaxPendingPeers = 10;       // connection attempts under way at once
  int iMaxTrackingSize = 32;       // descriptor GUIDs remembered
  int iMaxMessageQueue = 32;       // out queue of a connection
  int iMaxResults = 0;             // result queue length (0: 2000)
  int iMaxHostCacheSize = 5;       // host cache length
  int iMaxHostCacheAge = 60;
  int iPeerTimeout = 60;           // seconds of silence before a link is closed
  int iPingInterval = 10;          // seconds between pings on a connection
  int iMinUltrapeerInBPS = 10000;  // automatic role: peak receive rate needed
  int iMinUltraPeerOutBPS = 15000; // automatic role: peak send rate needed
  int iMinUltraPeerSecondsLive = 300;
  bool bFirewalled = false;        // no listener, no own address announced
  bool bManualNetworkSettings = false;  // keep the three below as set
  std::string sLocalIP;
  uint32_t iLocalIP = 0;           // host byte order
  int iLocalPort = 0;
  bool bFlagUploadSpeedValid = true;
  bool bFlagHaveUploadedValid = true;
  bool bFlagBusyValid = true;
  bool bFlagPushValid = false;
  bool bFlagUploadSpeed = false;
  bool bFlagHaveUploaded = false;
  bool bFlagBusy = false;
  bool bFlagPush = true;
};

// The two flag bytes of query-hit trailers for these settings.
void HitFlagBytes(const TGnutellaSettings& s, uint8_t& validBits, uint8_t& valueBits);

// Pacing of the node's threads in milliseconds. The defaults are the
// product's; tests shorten them. Set before Start.
struct TGnutellaTimings {
  int tickMs = 1000;         // connection manager
  int loopSleepMs = 5;       // a connection thread's step
  int seedRetryMs = 60000;   // a seed is tried again no sooner than this
  int stopPollMs = 5;        // Stop's polling step
};

// A connection as the events describe it.
struct TConnectionInfo {
  std::string LocalHost;
  int LocalPort = 0;
  std::string RemoteHost;
  int RemotePort = 0;
  std::string UserAgent;       // the peer's
  std::string LocalProtocol;   // "Gnutella 0.4", "Gnutella 0.6 Ultrapeer" or "Gnutella 0.6 Leaf"
  std::string RemoteProtocol;
  bool Incoming = false;
};

class TGnutella;
using TGnutellaOnAction = std::function<void(TGnutella& Sender, const TConnectionInfo& poInfo)>;
using TGnutellaOnPush = std::function<void(TGnutella& Sender, const std::string& sGUID, int iFileIndex,
                                           const std::string& sHost, int iPort)>;

// A host to connect to.
struct THostItem {
  std::string Host;
  uint16_t Port = 0;
  int64_t Added = 0;   // monotonic milliseconds
  int64_t Uptime = 0;  // minutes
  std::string Key() const;  // host, colon, port
};

// One result of one of the node's searches.
struct TSearchResult {
  std::string Host;  // dotted text
  int Port = 0;
  uint32_t Speed = 0;
  std::string FileName;
  uint32_t Size = 0;
  uint32_t FileIndex = 0;
  bool bFlagUploadSpeedValid = false, bFlagHaveUploadedValid = false, bFlagBusyValid = false,
       bFlagPushValid = false;
  bool bFlagUploadSpeed = false, bFlagHaveUploaded = false, bFlagBusy = false, bFlagPush = false;
  std::string ServentGUID;  // 32 hexadecimal digits
  TGuid QueryGUID{};        // the search it answers
};

// ---------------------------------------------------------------- texts

// "02D 03H 15M": days, hours and minutes, at least two digits each.
std::string UptimeText(int64_t minutes);
// Reads tokens of digits followed by D, H or M (any case, blanks ignored);
// other characters end a token without counting it.
int64_t ParseUptime(std::string_view text);
// "host:port" with a port of 1 to 65535 (blanks around are ignored).
bool SplitHostPort(std::string_view item, std::string& host, int& port);
// Items of host, colon and port separated by commas; malformed items skipped.
std::vector<THostItem> ParseHostList(std::string_view text);

// ---------------------------------------------------------------- handshake

constexpr size_t kMaxHandshakeLine = 4096;
constexpr int kMaxHandshakeLines = 100;

// Reads a socket one receive call a byte, so that nothing past a handshake
// is taken into the socket's read-ahead buffer: the descriptor loop that
// follows can then rely on the socket's own readiness. With a deadline
// (monotonic ms), no read ends after it, however the peer paces its
// bytes: one due later closes the socket and raises ESocket (time-out).
class TGnutellaSocketReader : public TGnutellaReader {
 public:
  explicit TGnutellaSocketReader(TSocket& s, int64_t deadline = -1) : s_(s), deadline_(deadline) {}
  uint8_t ReadByte() override;
  void ReadExact(void* buf, int count) override;

 private:
  void KeepDeadline();
  TSocket& s_;
  int64_t deadline_;
};

// One line up to LF (a CR before it dropped). Raises EGnutella when it
// grows beyond kMaxHandshakeLine.
std::string ReadHandshakeLine(TGnutellaReader& in);
// True for a status line beginning "GNUTELLA/0.6 200" (trimmed, any case).
bool IsStatusOk(std::string_view line);

// A block of handshake headers; names compare without regard to case.
class THandshakeHeaders {
 public:
  // Reads lines up to an empty one. A line starting with a blank continues
  // the previous value; a line without a colon is skipped. More than
  // kMaxHandshakeLines lines before the empty one raise EGnutella.
  void Read(TGnutellaReader& in);
  void Add(const std::string& name, const std::string& value);
  bool Has(std::string_view name) const;
  std::string Get(std::string_view name) const;  // trimmed value, "" when absent
  int Count() const { return int(items_.size()); }
  const std::string& Name(int i) const { return items_[size_t(i)].first; }
  const std::string& Value(int i) const { return items_[size_t(i)].second; }

 private:
  std::vector<std::pair<std::string, std::string>> items_;
};

// What the node reads from a peer's headers.
struct TPeerHeaders {
  bool IsUltrapeer = true;       // X-Ultrapeer, true when absent
  bool UltrapeerNeeded = false;  // X-Ultrapeer-Needed
  std::string UserAgent;
  std::string Uptime;
  int MyAddressPort = 0;         // port of X-My-Address, 0 when absent
  int MaxTtl = 0;                // X-Max-TTL (its digits, 1 to 255); 0 when absent or out of range
  std::vector<THostItem> Hosts;  // X-Try-Ultrapeers, X-Try, X-My-Address, X-Tarn-Info
};
TPeerHeaders InterpretHeaders(const THandshakeHeaders& h);

// The admission check for a new link: U ultrapeer links and L leaf links
// at present, the link's mode (ultrapeer or not), its direction and what
// the peer announced. Accepted links may leave ultrapeer mode.
struct TAdmission {
  bool Accept = false;
  bool LinkUltrapeer = false;
};
TAdmission CheckAdmission(const TGnutellaSettings& s, int ultrapeerLinks, int leafLinks,
                          bool linkUltrapeer, bool incoming, bool peerIsUltrapeer,
                          bool peerUltrapeerNeeded);

// ---------------------------------------------------------------- threads

// The threads a component starts and must see ended before it stops:
// each is kept until its body has ended, then joined and freed.
class TGnutellaThreadList {
 public:
  TGnutellaThreadList() = default;
  TGnutellaThreadList(const TGnutellaThreadList&) = delete;
  TGnutellaThreadList& operator=(const TGnutellaThreadList&) = delete;
  void Open();   // starts are taken again
  void Close();  // starts are refused from now on
  // Starts t and keeps it; false (t not started) while closed.
  bool Start(plat::Thread* t);
  // Joins and frees the threads whose bodies ended; beforeFree sees each
  // first (no lock of the list held).
  void Reap(const std::function<void(plat::Thread*)>& beforeFree = nullptr);
  bool Empty();

 private:
  std::mutex lock_;
  std::vector<plat::Thread*> threads_;
  bool closed_ = false;
};

// ---------------------------------------------------------------- node

// A connection as routing sees it. Tests put fake ones into the node.
class TGnutellaLink {
 public:
  virtual ~TGnutellaLink() = default;
  // Appends to the out queue (dropping the oldest beyond the limit) and
  // wakes the writer.
  virtual void QueueDescriptor(const TBasePacket& p) = 0;
  virtual void CloseLink() = 0;
  uint64_t LinkId() const { return linkId_; }
  // The highest TTL the peer takes on queries (its X-Max-TTL; 0: no limit
  // of its own). Set before the link is entered as connected.
  void SetMaxQueryTtl(int ttl) { maxQueryTtl_ = ttl > 0 && ttl < 256 ? ttl : 0; }
  int MaxQueryTtl() const { return maxQueryTtl_; }

 private:
  friend class TGnutella;
  uint64_t linkId_ = 0;
  std::atomic<int> maxQueryTtl_{0};
};

class TGnutellaThread;

class TGnutella {
 public:
  TGnutella();
  ~TGnutella();  // stops
  TGnutella(const TGnutella&) = delete;
  TGnutella& operator=(const TGnutella&) = delete;

  // Published properties. Changes take effect for what happens next.
  TGnutellaSettings Settings() const;
  void SetSettings(const TGnutellaSettings& s);
  void SetTimings(const TGnutellaTimings& t) { timings_ = t; }
  const TGnutellaTimings& Timings() const { return timings_; }
  // Local address to listen on and connect from ("": every address). Lets
  // tests keep to 127.0.0.1; also the own address until a connection tells.
  void SetBindAddress(const std::string& address);
  std::string BindAddress() const;

  // Handlers; assign before Start. Unassigned events are skipped.
  TGnutellaOnAction OnPendingConnection;
  TGnutellaOnAction OnConnect;
  TGnutellaOnAction OnDisconnect;
  TGnutellaOnPush OnPush;

  // Stops first; starts the ticker; unless firewalled listens on port (0:
  // any free port) and starts the listen thread; runs the manager once.
  void Start(int port);
  void Stop();
  bool Started() const { return started_; }

  void AddSeedHost(const std::string& host, int port);  // once per host and port
  void AddExclusion(const std::string& pattern);        // wildcard over host texts

  int ConnectionCount();
  int UltrapeerLinkCount();
  int LeafLinkCount();
  int PendingCount();
  // Connections / iMinPeers x 100, rounded; 0 unless both are at least 1.
  int HealthPercent();
  bool bIsUltraPeer() const { return isUltraPeer_; }
  std::string sLocalIP() const;
  uint32_t iLocalIP() const;
  int iLocalPort() const { return localPort_; }
  std::string UptimeText() const;  // own uptime
  const TGuid& ServentGuid() const { return serventGuid_; }
  // Ultrapeer links are below what the node wants in its present role.
  bool UltrapeersNeeded();

  // ---- searches
  // Sends a query to every connected peer and remembers its GUID among the
  // last 10 own searches. The first field is a set of flags: minSpeed when
  // it has kQueryFlagsForm, else kQueryFlagsForm alone, with
  // kQueryFlagFirewalled added while the node is firewalled. The text is
  // cut to keep the payload within 256 bytes.
  TGuid Search(uint16_t minSpeed, const std::string& text, const std::string& extension = "");
  TGuid CurrentSearchGuid();
  std::unique_ptr<TSearchResult> GetNextResult();          // nullptr when none
  std::unique_ptr<TSearchRequest> GetNextSearchRequest();  // nullptr when none
  int ResultQueueLength();

  // ---- used by the node's threads; tests drive the logic through them
  void Tick();  // the connection manager; a call during another returns at once
  void AddHost(const std::string& host, int port);
  void AddHosts(const std::vector<THostItem>& hosts);
  // Known uptime first (largest; none while a cache server), then the host
  // cache, then the seeds; taken hosts leave their list, seeds rotate.
  bool TakeHost(THostItem& h);
  std::vector<THostItem> HostCache();
  std::vector<THostItem> KnownUptimeHosts();
  std::vector<THostItem> SeedHosts();
  void AddKnownUptimeHost(const std::string& host, int port, int64_t uptimeMinutes);
  // Up to 20 known-uptime keys, then up to 20 cache keys, ", " between;
  // each key taken moves to the end of its list.
  std::string HostListText();
  // Enters a link as connected (its peer counted as ultrapeer or leaf).
  uint64_t AttachLink(TGnutellaLink* link, const std::string& key, bool peerIsUltrapeer,
                      bool incoming);
  void DetachLink(uint64_t id);
  // What a connection does with a descriptor it read.
  void ReceiveDescriptor(TBasePacket& p, TGnutellaLink* from);
  // Dedupe, TTL and hops, then on to the other links (from: nullptr for
  // the node's own descriptors).
  void Forward(TBasePacket& p, TGnutellaLink* from);
  // Queues p on link by its type: pings and queries always (a query's TTL
  // cut to the link's MaxQueryTtl); pongs and hits only on the link their
  // ping or query arrived on; others never.
  bool SendOn(TGnutellaLink& link, const TBasePacket& p);
  TBasePacket OwnPong(const TGuid& guid);
  bool Stopping() const { return stopping_; }
  bool Pause(int ms);  // false when stopping

  // ---- for the connection and listen threads
  // Enters a new connection thread as pending and starts it; false (the
  // thread not started) when stopping, when an outgoing one's host is
  // connected or pending already, or when too many incoming ones wait.
  bool LaunchConnection(TGnutellaThread* t, bool incoming);
  // Admission of a pending link under the node lock; an accepted link moves
  // to the connected list. linkUltrapeer may change.
  bool Admit(TGnutellaThread* t, const std::string& key, bool incoming, bool& linkUltrapeer,
             bool peerIsUltrapeer, bool peerUltrapeerNeeded);
  // Admission of a 0.4 link (an ultrapeer link both ways): only while
  // ultrapeer links are below the most the node's role accepts.
  bool Admit04(TGnutellaThread* t, const std::string& key, bool incoming);
  void LinkEnded(TGnutellaThread* t);
  void AdoptLocalAddress(const std::string& ip, uint32_t number);
  void RaisePeaks(int sendRate, int receiveRate);
  void FireConnectionEvent(const TGnutellaOnAction& handler, const TConnectionInfo& info);
  TSocket& Listener() { return listener_; }

 private:
  struct ConnectedEntry {
    uint64_t id;
    std::string key;
    TGnutellaLink* link;
    bool peerIsUltrapeer;
    bool incoming;
  };
  struct PendingEntry {
    std::string key;
    TGnutellaThread* thread;
    bool incoming;
  };
  struct SyncCall;

  void ApplyManualAddressLocked();  // sLocalIP, iLocalIP, iLocalPort as set
  bool KnownKeyLocked(const std::string& key) const;  // cache, connected or pending
  bool ConnectedOrPendingLocked(const std::string& key) const;
  void CountsLocked(int& ultrapeers, int& leaves) const;
  void RememberGuidLocked(const TGuid& g);
  bool SeenGuidLocked(const TGuid& g) const;
  void RecordRouteLocked(const TGuid& g, uint64_t linkId);
  void QueueResultsLocked(const TQueryHit& hit, const TGuid& query);
  void UpdateRole();
  void CloseEverything();
  // Runs fn on the main thread and waits for it, unless the node stops.
  void RunSync(const std::function<void()>& fn);
  // Releases threads waiting in RunSync: all of them, or only those whose
  // call runs now (when Stop is called from within a handler).
  void AbandonSyncCalls(bool all);

  mutable plat::CriticalSection lock_;  // the node lock: lists and settings
  TGnutellaSettings settings_;
  TGnutellaTimings timings_;
  std::string bindAddress_;
  std::string localIP_;
  uint32_t localIPNumber_ = 0;
  std::atomic<int> localPort_{0};
  const TGuid serventGuid_;

  std::vector<ConnectedEntry> connected_;
  std::vector<PendingEntry> pending_;
  uint64_t nextLinkId_ = 0;
  std::deque<THostItem> hostCache_;
  std::vector<THostItem> knownUptime_;
  std::deque<THostItem> seeds_;
  std::unordered_map<std::string, int64_t> seedTried_;  // key -> monotonic ms
  std::vector<std::string> exclusions_;

  std::deque<TGuid> tracked_;           // last descriptor GUIDs
  std::deque<TGuid> routeOrder_;        // GUID -> arrival link, bounded
  std::unordered_map<TGuid, uint64_t, TGuidHash> routes_;
  std::deque<TGuid> ownSearches_;       // last 10
  TGuid currentSearch_{};
  std::deque<std::unique_ptr<TSearchRequest>> requests_;
  std::deque<std::unique_ptr<TSearchResult>> results_;

  std::atomic<bool> isUltraPeer_{true};
  std::atomic<int> peakSend_{0};
  std::atomic<int> peakReceive_{0};
  std::atomic<int64_t> startMs_{0};
  std::atomic<bool> tickRunning_{false};

  TSocket listener_;
  TGnutellaThreadList threads_;  // closed while stopping

  std::mutex syncLock_;
  std::vector<std::shared_ptr<SyncCall>> syncCalls_;
  plat::MessageTarget target_;

  std::mutex runLock_;  // Start and Stop
  std::atomic<bool> started_{false};
  std::atomic<bool> stopping_{false};
  bool eventsGivenUp_ = false;  // under syncLock_: a Stop off the main thread runs
  plat::Event stopEvent_{true, false};
};

// ---------------------------------------------------------------- threads

// One connection: handshake, then the descriptor loop.
class TGnutellaThread : public plat::Thread, public TGnutellaLink {
 public:
  TGnutellaThread(TGnutella& node, std::string host, int port);  // outgoing
  TGnutellaThread(TGnutella& node, std::unique_ptr<TSocket> accepted);  // incoming
  ~TGnutellaThread() override;
  void QueueDescriptor(const TBasePacket& p) override;
  void CloseLink() override;
  const std::string& Key() const { return key_; }

 protected:
  void Execute() override;

 private:
  enum class Outcome { Accepted, Refused, Failed };
  Outcome Outgoing06(const TGnutellaSettings& s, bool& connected);
  Outcome Outgoing04();
  Outcome IncomingHandshake(const TGnutellaSettings& s);
  void Established(const TGnutellaSettings& s);
  void Loop(const TGnutellaSettings& s);
  void WriteNow(const TBasePacket& p);
  void WriteQueued();
  void FillInfo();
  std::string LinkProtocol(bool ultrapeer) const;
  bool HandshakeTimeLeft() const;

  TGnutella& node_;
  std::unique_ptr<TSocket> sock_;
  std::string host_;
  int port_;
  bool incoming_;
  std::string key_;
  std::mutex queueLock_;
  std::deque<TBasePacket> out_;
  std::atomic<int> queueLimit_{32};
  plat::Event wake_{false, false};
  bool v04_ = false;
  bool linkUltrapeer_ = true;
  bool peerUltrapeer_ = true;
  TPeerHeaders peer_;
  TConnectionInfo info_;
  // The end of the whole handshake (monotonic ms; -1: none), from when the
  // connection is taken on: a peer that drips its bytes would otherwise
  // hold a connection slot for ever.
  int64_t handshakeDeadline_;
};

// Accepts connections while the node listens.
class TGnutellaListenThread : public plat::Thread {
 public:
  explicit TGnutellaListenThread(TGnutella& node);

 protected:
  void Execute() override;

 private:
  TGnutella& node_;
};
