// The local Napster-protocol gateway: a one-client Napster-protocol server
// on 127.0.0.1 that the program's own client component logs in to (session
// "P2P"). Behind it stand two peer networks, the Duskwire overlay and
// Gnutella. The gateway turns the client's messages into Duskwire requests
// and Gnutella queries, answers other nodes' requests from the files its
// client announced, and hands results and answers back as Napster messages.
//
// TGatewayCore is the protocol: the connection state, the client dispatch,
// the login, the translation to and from the networks, the pump pass and
// the periodic work. It reaches the client only through a few virtual
// calls and the networks only through two small interfaces, so tests and
// the fuzz target drive it without sockets or live networks.
//
// TMainThread is the gateway thread: it listens on the client port, serves
// one client at a time over a TSocket and runs the core's loop. A client
// that has not sent its login within the login wait is closed, so that one
// silent connection cannot keep the next client waiting. Several can live
// in one process (tests, simulations); StartGateway and friends wrap the
// program's one default instance.
//
// Everything written to the client passes one frame writer that refuses
// texts over the gateway's own frame limit: much of what the gateway writes
// comes from remote peers, and an over-long text would wrap the 16-bit
// length and inject frames into the user's session.
#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/network_wrapper.h"
#include "peer/duskwire/duskwire_peer_router.h"
#include "peer/gnutella/gnutella.h"
#include "platform/sync.h"
#include "platform/thread.h"

// ---------------------------------------------------------------- limits

// The longest frame text the gateway reads or writes.
constexpr std::size_t kGatewayMaxText = 8000;
// Results handed to the client per search before it is ended with 202.
constexpr int kGatewayResultLimit = 1500;
// Lines per Duskwire response packet.
constexpr int kGatewayLinesPerPacket = 700;
// Body bytes per response packet: well within what a peer accepts.
constexpr std::size_t kGatewayBytesPerPacket = 512 * 1024;
// Upload requests of remote nodes waiting for the client's answer.
constexpr int kGatewayMaxPending = 256;
// Router settings the gateway gives at each login.
constexpr int kGatewayIncomingQueueLimit = 64;
constexpr int kGatewayMessageIdMemory = 200;
// Gnutella connections that end the login wait at once.
constexpr int kGatewayEnoughGnutellaLinks = 3;

// Placeholders where the Napster protocol expects checksums.
inline constexpr const char* kGatewaySearchMD5 = "MD5MD5MD5MD";
inline constexpr const char* kGatewayTransferMD5 = "AAAAAAAAAAAAAAAAAAAA";
// Request-Type of every gateway message on Duskwire.
inline constexpr const char* kNapsterRequestType = "NAPSTER-REQUEST";
// Pseudo-nick prefix of Gnutella results.
inline constexpr const char* kGnutellaNickPrefix = "@#!GNUTELLA:";

// ---------------------------------------------------------------- settings

struct TGatewaySettings {
  std::string ClientAddress = "127.0.0.1";  // where the client side listens
  int ClientPort = 10000;                   // 0: any free port (tests)
  int LoginWait = 180;                      // seconds
  int DuskwirePort = 6016;                  // 0: any free port
  std::string DuskwireAddress;              // router's local address ("": every)
  std::string CacheHost;
  int CachePort = 0;
  std::string GnutellaSeedHost = "hostcache.tarnwick.net";  // "": no seed
  int GnutellaSeedPort = 7000;
  int GnutellaPort = 5050;
  std::string GnutellaAddress;              // node's local address ("": every)
  // Pacing in milliseconds; the defaults are the product's.
  int IdleSleepMs = 100;
  int BetweenClientsMs = 1000;
  int LoginStepMs = 1000;
  int StatsPeriodMs = 5000;
  int SearchSilenceMs = 30000;
};

// ---------------------------------------------------------------- networks

// What the gateway uses of the Duskwire router.
class TGatewayDuskwire {
 public:
  virtual ~TGatewayDuskwire() = default;
  virtual void SetNick(const std::string& nick) = 0;
  virtual void SetCacheServer(const std::string& host, int port) = 0;
  virtual void SetIncomingQueueLimit(int n) = 0;
  virtual void SetMessageIdMemory(int n) = 0;
  virtual void Start(bool firewalled, int listenPort) = 0;
  virtual void Stop() = 0;
  virtual int PeerCount() = 0;
  virtual int IncomingPeerCount() = 0;
  virtual int OutgoingPeerCount() = 0;
  virtual int HealthPercent() = 0;
  virtual int Traffic() = 0;
  virtual uint32_t IPNumber() = 0;  // host byte order
  virtual std::string IPHost() = 0;
  virtual std::string ServerMessage() = 0;
  // The banner address the cache server announced ("" until it did).
  virtual std::string AdvertisingURL() { return ""; }
  virtual void SetLocalStatistic(const std::string& name, int64_t value) = 0;
  virtual int64_t NetworkStatistic(const std::string& name) = 0;
  virtual void SendRequest(const std::string& seed, const std::string& to, bool limited,
                           const std::string& requestType, const std::string& body) = 0;
  virtual void SendResponse(const std::string& routingInfo, const std::string& to,
                            const std::string& body) = 0;
  virtual bool GetNextRequest(std::string& routingInfo, std::string& to, std::string& requestType,
                              std::string& body, std::string& from) = 0;
  virtual bool GetNextResponse(std::string& routingInfo, std::string& to, std::string& from,
                               std::string& body) = 0;
};

// What the gateway uses of the Gnutella node.
class TGatewayGnutella {
 public:
  virtual ~TGatewayGnutella() = default;
  virtual void AddSeedHost(const std::string& host, int port) = 0;
  virtual void SetFirewalled(bool firewalled) = 0;
  virtual void Start(int port) = 0;
  virtual void Stop() = 0;
  virtual int ConnectionCount() = 0;
  virtual int HealthPercent() = 0;
  // Sends a query; the GUID its results will carry.
  virtual TGuid Search(const std::string& text) = 0;
  virtual std::unique_ptr<TSearchResult> GetNextResult() = 0;
  virtual std::unique_ptr<TSearchRequest> GetNextSearchRequest() = 0;
};

// The live networks behind the interfaces.
class TGatewayRouter : public TGatewayDuskwire {
 public:
  TDuskwirePeerRouter& Router() { return router_; }
  void SetNick(const std::string& nick) override { router_.SetNick(nick); }
  void SetCacheServer(const std::string& host, int port) override { router_.SetCacheServer(host, port); }
  void SetIncomingQueueLimit(int n) override { router_.SetIncomingQueueLimit(n); }
  void SetMessageIdMemory(int n) override { router_.SetMessageIdMemory(n); }
  void Start(bool firewalled, int listenPort) override { router_.Start(firewalled, listenPort); }
  std::string AdvertisingURL() override { return router_.AdvertisingURL(); }
  void Stop() override { router_.Stop(); }
  // Peers that carry packets: one whose thread is still starting does not
  // count, or a login could end before its first search can go out.
  int PeerCount() override { return router_.ActivePeerCount(); }
  int IncomingPeerCount() override { return router_.IncomingPeerCount(); }
  int OutgoingPeerCount() override { return router_.OutgoingPeerCount(); }
  int HealthPercent() override { return router_.HealthPercent(); }
  int Traffic() override { return router_.Traffic(); }
  uint32_t IPNumber() override { return router_.IPNumber(); }
  std::string IPHost() override { return router_.IPHost(); }
  std::string ServerMessage() override { return router_.ServerMessage(); }
  void SetLocalStatistic(const std::string& name, int64_t value) override {
    router_.SetLocalStatistic(name, value);
  }
  int64_t NetworkStatistic(const std::string& name) override { return router_.NetworkStatistic(name); }
  void SendRequest(const std::string& seed, const std::string& to, bool limited,
                   const std::string& requestType, const std::string& body) override {
    router_.SendRequest(seed, to, limited, requestType, body);
  }
  void SendResponse(const std::string& routingInfo, const std::string& to, const std::string& body) override {
    router_.SendResponse(routingInfo, to, body);
  }
  bool GetNextRequest(std::string& routingInfo, std::string& to, std::string& requestType, std::string& body,
                      std::string& from) override {
    return router_.GetNextRequest(routingInfo, to, requestType, body, from);
  }
  bool GetNextResponse(std::string& routingInfo, std::string& to, std::string& from,
                       std::string& body) override {
    return router_.GetNextResponse(routingInfo, to, from, body);
  }

 private:
  TDuskwirePeerRouter router_;
};

class TGatewayGnutellaNode : public TGatewayGnutella {
 public:
  TGnutella& Node() { return node_; }
  void AddSeedHost(const std::string& host, int port) override { node_.AddSeedHost(host, port); }
  void SetFirewalled(bool firewalled) override;
  void Start(int port) override { node_.Start(port); }
  void Stop() override { node_.Stop(); }
  int ConnectionCount() override { return node_.ConnectionCount(); }
  int HealthPercent() override { return node_.HealthPercent(); }
  TGuid Search(const std::string& text) override { return node_.Search(0, text); }
  std::unique_ptr<TSearchResult> GetNextResult() override { return node_.GetNextResult(); }
  std::unique_ptr<TSearchRequest> GetNextSearchRequest() override { return node_.GetNextSearchRequest(); }

 private:
  TGnutella node_;
};

// ---------------------------------------------------------------- search text

// A search as the Napster protocol writes it: up to two FILENAME CONTAINS
// terms and conditions on bit rate, line speed and frequency, each with an
// operator "EQUAL TO", "AT LEAST" or "AT BEST" (any other passes all).
struct TGatewaySearch {
  std::string Term1, Term2;
  std::string BitrateOp, LineSpeedOp, FreqOp;
  int64_t Bitrate = 0, LineSpeed = 0, Freq = 0;
};

// Reads a search text word by word (keywords in any case; other words, such
// as MAX_RESULTS and its number, are passed over).
TGatewaySearch ParseSearchText(std::string text);
// A condition on a value, its operator read once for many items.
class TGatewayCondition {
 public:
  TGatewayCondition(const std::string& op, int64_t requested);
  bool Passes(int64_t itemValue) const {
    switch (kind_) {
      case Kind::Equal: return itemValue == requested_;
      case Kind::AtLeast: return itemValue >= requested_;
      case Kind::AtBest: return itemValue <= requested_;
      default: return true;
    }
  }

 private:
  enum class Kind { Any, Equal, AtLeast, AtBest };
  Kind kind_ = Kind::Any;
  int64_t requested_ = 0;
};
// Whether an item's value passes a condition.
bool PassesCondition(const std::string& op, int64_t itemValue, int64_t requested);

// A term prepared for matching many names: with a "*" it is a wildcard
// pattern over the whole name ("*" any run, "?" any one character, ASCII
// letters without regard to case, as MatchWildcard); without, an
// upper-cased substring. An empty term matches every name.
//
// A pattern is matched as its pieces between the stars: the first must
// begin the name, the last end it, and each one between is found, leftmost,
// after the one before; pieces without "?" are found by a plain substring
// search over the upper-cased name. Most names fail at their first piece
// for the cost of one such search, and no name costs more than name length
// times pattern length, so remote searches cannot stall the gateway.
class TGatewayTerm {
 public:
  explicit TGatewayTerm(std::string_view term);
  // upperName: the name under plat::UpperCase.
  bool Matches(std::string_view name, std::string_view upperName) const;
  bool Matches(std::string_view name) const;

 private:
  bool MatchesPieces(std::string_view upperName) const;

  bool wildcard_ = false;
  std::string text_;           // pattern (runs of "*" collapsed) or upper-cased term
  std::size_t literals_ = 0;  // characters a name needs at least
  // The pattern's pieces between stars, upper-cased; the first and the last
  // are anchored at the name's ends (empty when the pattern begins or ends
  // with a star).
  std::vector<std::string> pieces_;
  // Upper-casing also folds Windows-1252 letters, which the pattern does
  // not: a pattern holding such a letter is confirmed by MatchWildcard.
  bool confirm_ = false;
};

// ---------------------------------------------------------------- helpers

// The Napster decimal address: the four bytes of a (host-order) address
// in network order read as a little-endian 32-bit number.
std::string NapsterDecimal(uint32_t hostOrderAddress);
// a / b rounded to the nearest integer, halves to even; 0 unless a >= 0
// and b > 0.
int64_t DivRoundHalfEven(int64_t a, int64_t b);
// The lines of a body (the first maxLines of them): a line ends at CR LF,
// LF or CR; the line end is not part of the line, and empty lines are left
// out.
std::vector<std::string> SplitBodyLines(std::string_view body, std::size_t maxLines = SIZE_MAX);
// Packet bodies of at most kGatewayLinesPerPacket lines (and about
// kGatewayBytesPerPacket bytes), each line followed by CR LF.
std::vector<std::string> BatchLines(const std::vector<std::string>& lines);
// head + as many whole lines of body as fit into maxText bytes.
std::string TruncateAtLine(const std::string& head, std::string_view body, std::size_t maxText);

// ---------------------------------------------------------------- the core

// One file the client announced.
struct TFileItem {
  std::string FileName;
  int64_t Bitrate = 0;
  int64_t Frequency = 0;
  int64_t Size = 0;
  int64_t Seconds = 0;
};

// The files the client announced, in the order announced, with a look-up
// by exact name. Searches walk every file: the upper-cased names lie back
// to back in one buffer and the files in one array, so a walk over
// 100,000 of them reads memory in order.
class TGatewayFileList {
 public:
  void Clear();
  // Adds item, or gives a file announced before under the same name the
  // new values (keeping its place); replaced: the size it had.
  bool Add(TFileItem item, int64_t& replacedSize);
  // Removes the file of that exact name; false when there is none.
  bool Remove(const std::string& name, int64_t& size);
  // Valid until the list next changes.
  const TFileItem* Find(const std::string& name) const;
  int Count() const { return int(index_.size()); }
  // fn(file, its name under plat::UpperCase) for each file in order, while
  // fn returns true.
  template <class F>
  void ForEach(F&& fn) const {
    for (const Slot& s : slots_)
      if (s.live && !fn(s.item, std::string_view(upper_).substr(s.offset, s.item.FileName.size()))) return;
  }

 private:
  struct Slot {
    TFileItem item;
    std::size_t offset = 0;  // of the upper-cased name in upper_
    bool live = true;
  };
  void Compact();

  std::vector<Slot> slots_;
  std::string upper_;
  std::unordered_map<std::string, std::size_t> index_;  // name -> slot
  std::size_t removed_ = 0;                              // slots no longer live
};

// A message taken from Duskwire, as remote dispatch sees it.
struct TGatewayRemote {
  std::string RoutingInfo;
  std::string To;
  std::string From;
  bool Request = false;
};

class TGatewayCore {
 public:
  // Null networks are replaced by the live ones.
  TGatewayCore(TGatewaySettings settings, std::unique_ptr<TGatewayDuskwire> duskwire,
               std::unique_ptr<TGatewayGnutella> gnutella);
  virtual ~TGatewayCore();
  TGatewayCore(const TGatewayCore&) = delete;
  TGatewayCore& operator=(const TGatewayCore&) = delete;

  const TGatewaySettings& Settings() const { return settings_; }
  TGatewayDuskwire& Duskwire() { return *duskwire_; }
  TGatewayGnutella& Gnutella() { return *gnutella_; }

  // ---- one client connection
  void ResetConnection();
  // One frame from the client. Handling does not depend on the login.
  void HandleClientMessage(uint16_t type, const std::string& text);
  // One pass over the networks; true when something was taken.
  bool PumpPass();
  // Closes the client when neither network has a peer.
  void PeerCheck();
  void PeriodicWork();
  // Stops both networks (the client has gone).
  void StopNetworks();
  // One Napster line that came over Duskwire.
  void RemoteDispatch(const std::string& line, const TGatewayRemote& m);

  // The frame writer: false (nothing sent) for texts over kGatewayMaxText.
  bool SendToClient(uint16_t type, std::string_view text);

  // ---- state, for the thread, tests and the server console
  bool LoggedIn() const { return loggedIn_; }
  // A login (type 2) came from this client; its answer follows.
  bool LoginReceived() const { return loginReceived_; }
  const std::string& Nick() const { return nick_; }
  int DataPort() const { return int(dataPort_); }
  int64_t FileCount() const { return fileCount_; }
  int64_t TotalSize() const { return totalSize_; }
  int Downloads() const { return downloads_; }
  int Uploads() const { return uploads_; }
  bool TrafficEcho() const { return echo_; }
  const std::string& SearchId() const { return searchId_; }
  int ResultCount() const { return resultCount_; }
  int PendingCount() const { return int(pending_.size()); }
  int SharedCount() const { return files_.Count(); }
  const TFileItem* FindFile(const std::string& name) const;
  int GnutellaHealth() const { return gnutellaHealth_; }
  int DuskwireHealth() const { return duskwireHealth_; }

 protected:
  // The client connection.
  virtual void WriteClient(const std::string& frame) = 0;
  virtual bool ClientConnected() = 0;
  virtual void CloseClient() = 0;
  // One step of the login wait; false when the gateway is being stopped.
  virtual bool LoginPause(int ms) = 0;
  // Health percents stored (0 to 100), also during the login wait, while
  // the networks gather their first peers; the default instance publishes
  // them.
  virtual void HealthStored(int gnutella, int duskwire) {}

 private:
  struct Pending {
    std::string text;  // nick "file"
    std::string path;  // Routing-Info of the request
  };

  void Login(const std::string& text);
  void AddFile(const std::string& text);
  void RemoveFile(const std::string& text);
  void NewSearch(const std::string& text);
  void ClientRequest(uint16_t type, const std::string& text);
  void AnswerUpload(uint16_t type, const std::string& text);
  void SendRequests(const std::string& seed, const std::string& to);
  void SendResponses(const std::string& routingInfo, const std::string& to);
  void CountedResult(const std::string& routingInfo, const std::string& text);
  void AnswerSearch(const std::string& text, const TGatewayRemote& m);
  void AnswerBrowse(const TGatewayRemote& m);
  void AnswerWhois(const TGatewayRemote& m);
  void RemoteUploadRequest(const std::string& text, const TGatewayRemote& m);
  void TakeBody(const std::string& body, const TGatewayRemote& m);
  void Echo(const std::string& from, bool request, const std::string& body);
  void TakeGnutellaResult(const TSearchResult& r);
  int FindPending(const std::string& text) const;
  void UpdateOwnAddress();
  // Reads both networks' health and publishes it (with their peer counts).
  void StoreHealth();
  bool ToMe(const TGatewayRemote& m) const;
  int64_t NowMs() const;
  // A number and a name as the protocol's lines write them.
  static std::string Num(int64_t v);
  static std::string Quoted(const std::string& s);

  TGatewaySettings settings_;
  std::unique_ptr<TGatewayDuskwire> duskwire_;
  std::unique_ptr<TGatewayGnutella> gnutella_;

  TGatewayFileList files_;
  std::deque<Pending> pending_;
  std::vector<std::string> requestLines_;
  std::vector<std::string> responseLines_;

  std::string nick_;
  std::string clientInfo_;
  int64_t linkSpeed_ = 0;
  int64_t dataPort_ = 0;
  std::string ownAddress_ = "0";
  int64_t fileCount_ = 0;
  int64_t totalSize_ = 0;
  int downloads_ = 0;
  int uploads_ = 0;
  bool loggedIn_ = false;
  bool loginReceived_ = false;
  bool statsDue_ = false;
  bool echo_ = false;
  int64_t loginMs_ = 0;
  int64_t lastStatsMs_ = 0;

  std::string searchId_;
  int resultCount_ = 0;
  int resultLimit_ = kGatewayResultLimit;
  int64_t lastResultMs_ = 0;
  bool nonMp3Filter_ = false;
  TGuid gnutellaSearch_{};
  bool gnutellaSearchValid_ = false;

  std::atomic<int> gnutellaHealth_{0};
  std::atomic<int> duskwireHealth_{0};
};

// ---------------------------------------------------------------- thread

class TMainThread : public plat::Thread, public TGatewayCore {
 public:
  explicit TMainThread(TGatewaySettings settings, std::unique_ptr<TGatewayDuskwire> duskwire = nullptr,
                       std::unique_ptr<TGatewayGnutella> gnutella = nullptr);
  ~TMainThread() override;  // stops

  // Starts the thread (once).
  void Start();
  // Closes both sockets, wakes every wait and returns when the thread has
  // ended (on the main thread it serves synchronised calls meanwhile).
  void Stop();
  // The client port once listening; 0 before, and when listening failed.
  int ListeningPort() const { return listeningPort_; }
  bool Ended() const { return Finished(); }
  int ClientsServed() const { return clientsServed_; }

  // Called on the gateway thread when the thread body ends.
  std::function<void()> OnEnded;
  // Called on the gateway thread with each stored pair of health percents.
  std::function<void(int gnutella, int duskwire)> OnHealth;

 protected:
  void Execute() override;
  void WriteClient(const std::string& frame) override;
  bool ClientConnected() override;
  void CloseClient() override;
  bool LoginPause(int ms) override;
  void HealthStored(int gnutella, int duskwire) override;

 private:
  void Serve();
  // Handles the frames readable now; false when the client is gone.
  bool ReadFrames();

  TSocket listener_;
  TSocket client_;
  std::atomic<bool> stopping_{false};
  std::atomic<int> listeningPort_{0};
  std::atomic<int> clientsServed_{0};
  plat::Event stopEvent_{true, false};
};

// ---------------------------------------------------------------- unit level

// Starts the program's gateway; false (nothing done) while one runs.
bool StartGateway(int clientPort, int loginWait, int duskwirePort, const std::string& cacheHost,
                  int cachePort);
// The same with every parameter.
bool StartGateway(const TGatewaySettings& settings);
// Stops it and returns when its thread has ended.
void StopGateway();
bool GatewayRunning();
// The port its client side listens on (0: not listening, or none runs).
int GatewayListeningPort();
// The last health percents the gateway stored (0 to 100).
int GatewayGnutellaHealth();
int GatewayDuskwireHealth();
// The Gnutella connections and Duskwire peers it counted with them.
int GatewayGnutellaPeers();
int GatewayDuskwirePeers();
// The banner address the Duskwire cache server announced to the running
// gateway ("" while none runs or none was announced). Any thread.
std::string GatewayAdvertisingURL();
