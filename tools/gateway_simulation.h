// Live gateways on 127.0.0.N for tests, the simulation program and the
// benchmarks: each with its own Duskwire router and Gnutella node (brisk
// pacing), and a raw Napster-frame client logged in to it, as the program's
// own client would be.
//
// The simulation runs N such nodes with the harness cache server and a
// topology plan (a ring with chords); every node's client announces synthetic files, and
// the clients search in turn. It reports how far each search reached by
// hop distance, the packets written per search, duplicate results, and the
// share of the expected results that arrived, and it stops by itself.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "peer/gateway/gateway.h"
#include "tools/duskwire_cache_server.h"
#include "tools/duskwire_timings.h"
#include "tools/napster_test_client.h"

// A cache server for two nodes, 127.0.0.2 told about 127.0.0.1, each
// content with one peer; started.
void StartPairedCache(TDWFakeCacheServer& cache, const std::string& serverMessage = "");

struct TGatewayNodeOptions {
  std::string Address = "127.0.0.1";  // client side, Duskwire and Gnutella
  std::string Nick = "node";
  std::string CacheHost = "127.0.0.1";
  int CachePort = 0;
  int DataPort = 6699;  // announced to the gateway (0: firewalled)
  int LinkSpeed = 7;
  std::string GnutellaSeedHost;  // "": none
  int GnutellaSeedPort = 0;
  int LoginWait = 30;
};

class TGatewayNode {
 public:
  explicit TGatewayNode(const TGatewayNodeOptions& options);
  ~TGatewayNode();
  TGatewayNode(const TGatewayNode&) = delete;
  TGatewayNode& operator=(const TGatewayNode&) = delete;

  const TGatewayNodeOptions& Options() const { return options_; }
  TMainThread& Gateway() { return *gateway_; }
  TDuskwirePeerRouter& Router() { return *router_; }
  TGnutella& Gnutella() { return *gnutella_; }
  TNapsterTestClient& Client() { return client_; }

  // The client connects and sends its login (the reply is not awaited).
  void Connect();
  // Waits for the login reply: true on 3 (then 621 follows).
  bool WaitLoggedIn(int timeoutMs);
  // Announces a file (message 100).
  void Share(const std::string& name, int64_t size, int bitrate = 128, int frequency = 44100, int seconds = 200);
  // Returns once the gateway has handled every frame sent before.
  bool Sync(int timeoutMs);
  // Stops the gateway; milliseconds it took.
  int64_t Stop();

 private:
  TGatewayNodeOptions options_;
  TDuskwirePeerRouter* router_;
  TGnutella* gnutella_;
  std::unique_ptr<TMainThread> gateway_;
  TNapsterTestClient client_;
};

struct TSimulationConfig {
  int Nodes = 20;
  int DurationMs = 60000;  // searches are spread over this time
  int FilesPerNode = 10;
  int MaxHops = 5;
  // Chords across the ring: searches then meet themselves on the way.
  bool Chords = true;
  int SettleMs = 2000;     // results of one search are awaited this long
  // When above 0, a search is not timed: it waits until every result of the
  // nodes within MaxHops has arrived (at most this long, a bound that only a
  // failing run reaches), then until QuietMs pass without a frame, so that
  // late duplicates are seen. The quiet period can only miss a fault: a good
  // run has no duplicates to wait for.
  int ResultWaitMs = 0;
  int QuietMs = 0;
  int SetupTimeoutMs = 60000;
};

struct TSimulationReport {
  bool Ready = false;  // every node logged in with a peer
  int Searches = 0;
  // Hop distance -> (nodes reached, nodes at that distance), over all searches.
  std::map<int, std::pair<int, int>> Reach;
  int64_t Packets = 0;     // written by all routers during the searches
  int Duplicates = 0;      // results delivered more than once
  int Unexpected = 0;      // results from nodes beyond MaxHops
  int64_t Expected = 0;    // results of nodes within MaxHops
  int64_t Delivered = 0;   // of those, results that arrived
  int64_t SetupMs = 0;
  // Every node within MaxHops reached by every search.
  bool FullReach() const;
  double PacketsPerSearch() const { return Searches ? double(Packets) / Searches : 0; }
  double DeliveryRatio() const { return Expected ? double(Delivered) / double(Expected) : 0; }
};

// Runs the simulation; progress lines go to log when given.
TSimulationReport RunGatewaySimulation(const TSimulationConfig& config, std::ostream* log = nullptr);
void PrintSimulationReport(const TSimulationReport& report, std::ostream& out);
