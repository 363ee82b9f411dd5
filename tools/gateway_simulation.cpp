#include "tools/gateway_simulation.h"

#include <algorithm>
#include <deque>
#include <iomanip>
#include <set>

#include "platform/clock.h"
#include "platform/thread.h"

// ---------------------------------------------------------------- one node

TGatewayNode::TGatewayNode(const TGatewayNodeOptions& options) : options_(options), client_(options.Address) {
  auto router = std::make_unique<TGatewayRouter>();
  router_ = &router->Router();
  router_->SetBindAddress(options.Address);
  router_->SetTimings(BriskDuskwireTimings());
  auto node = std::make_unique<TGatewayGnutellaNode>();
  gnutella_ = &node->Node();
  gnutella_->SetBindAddress(options.Address);
  TGnutellaTimings gt;
  gt.tickMs = 50;
  gnutella_->SetTimings(gt);

  TGatewaySettings s;
  s.ClientAddress = options.Address;
  s.ClientPort = 0;
  s.LoginWait = options.LoginWait;
  s.DuskwirePort = 0;
  s.CacheHost = options.CacheHost;
  s.CachePort = options.CachePort;
  s.GnutellaSeedHost = options.GnutellaSeedHost;
  s.GnutellaSeedPort = options.GnutellaSeedPort;
  s.GnutellaPort = 0;
  s.IdleSleepMs = 10;
  s.BetweenClientsMs = 50;
  s.LoginStepMs = 20;
  gateway_ = std::make_unique<TMainThread>(s, std::move(router), std::move(node));
  gateway_->Start();
  const int64_t deadline = plat::MonotonicMs() + 5000;
  while (gateway_->ListeningPort() == 0 && !gateway_->Ended() && plat::MonotonicMs() < deadline)
    plat::Thread::Sleep(5);
}

TGatewayNode::~TGatewayNode() { Stop(); }

void TGatewayNode::Connect() {
  client_.Connect(options_.Address, gateway_->ListeningPort());
  client_.Send(2, options_.Nick + " password " + std::to_string(options_.DataPort) + " \"simulated client 1.0\" " +
                      std::to_string(options_.LinkSpeed) + " 1");
}

bool TGatewayNode::WaitLoggedIn(int timeoutMs) {
  NapsterMessage m;
  const int64_t deadline = plat::MonotonicMs() + timeoutMs;
  while (plat::MonotonicMs() < deadline) {
    if (!client_.Read(m, int(std::max<int64_t>(1, deadline - plat::MonotonicMs())))) return false;
    if (m.Type == 3) return true;
    if (m.Type == 0) return false;
  }
  return false;
}

void TGatewayNode::Share(const std::string& name, int64_t size, int bitrate, int frequency, int seconds) {
  client_.Send(100, "\"" + name + "\" 00000000000000000000000000000000 " + std::to_string(size) + " " +
                        std::to_string(bitrate) + " " + std::to_string(frequency) + " " + std::to_string(seconds));
}

bool TGatewayNode::Sync(int timeoutMs) {
  client_.Send(7, options_.Nick);
  return client_.WaitFor(8, timeoutMs);
}

int64_t TGatewayNode::Stop() {
  int64_t start = plat::MonotonicMs();
  if (gateway_) gateway_->Stop();
  client_.Close();
  return plat::MonotonicMs() - start;
}

void StartPairedCache(TDWFakeCacheServer& cache, const std::string& serverMessage) {
  cache.SetGreetingHeader("LowSpeedBPS", "0");  // new nodes announce themselves however idle
  cache.SetGreetingHeader("MinPeers", "1");
  cache.SetGreetingHeader("LowSpeedPeers", "1");
  cache.SetGreetingHeader("CacheRefreshTime", "1");
  if (!serverMessage.empty()) cache.SetGreetingHeader("ServerMessage", serverMessage);
  cache.SetPlan("127.0.0.1", {});
  cache.SetPlan("127.0.0.2", {"127.0.0.1"});
  cache.Start();
}

// ---------------------------------------------------------------- simulation

namespace {

std::string NodeAddress(int i) { return "127.0.0." + std::to_string(i + 1); }
std::string NodeNick(int i) { return "n" + std::to_string(i); }

// Both ends of the link between nodes i and j carry packets.
bool LinkUp(std::vector<std::unique_ptr<TGatewayNode>>& nodes, int i, int j) {
  return nodes[size_t(i)]->Router().IsActivePeer(NodeAddress(j)) &&
         nodes[size_t(j)]->Router().IsActivePeer(NodeAddress(i));
}

// Hop distances from node `from` over the links the routers have now.
std::vector<int> Distances(std::vector<std::unique_ptr<TGatewayNode>>& nodes, int from) {
  const int n = int(nodes.size());
  std::vector<std::vector<int>> links(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j)
      if (LinkUp(nodes, i, j)) {
        links[size_t(i)].push_back(j);
        links[size_t(j)].push_back(i);
      }
  std::vector<int> dist(size_t(n), -1);
  std::deque<int> queue{from};
  dist[size_t(from)] = 0;
  while (!queue.empty()) {
    int i = queue.front();
    queue.pop_front();
    for (int j : links[size_t(i)])
      if (dist[size_t(j)] < 0) {
        dist[size_t(j)] = dist[size_t(i)] + 1;
        queue.push_back(j);
      }
  }
  return dist;
}

int64_t AllPackets(std::vector<std::unique_ptr<TGatewayNode>>& nodes) {
  int64_t sum = 0;
  for (auto& n : nodes) sum += n->Router().PacketsSent();
  return sum;
}

void Drain(TNapsterTestClient& c) {
  NapsterMessage m;
  while (c.Read(m, 1)) {
  }
}

// Nick and file name of a result line: "file" MD5 size bitrate freq secs nick ...
std::pair<std::string, std::string> ResultOwner(const std::string& text) {
  std::size_t close = text.find('"', 1);
  if (text.empty() || text[0] != '"' || close == std::string::npos) return {};
  std::string file = text.substr(1, close - 1);
  std::size_t pos = close + 1;
  std::string word;
  for (int field = 0; field < 6 && pos < text.size(); ++field) {
    std::size_t start = text.find_first_not_of(' ', pos);
    if (start == std::string::npos) return {};
    std::size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    word = text.substr(start, end - start);
    pos = end;
  }
  return {word, file};
}

}  // namespace

bool TSimulationReport::FullReach() const {
  if (!Ready || Searches == 0) return false;
  for (auto& entry : Reach)  // distances within the hop limit only
    if (entry.second.first < entry.second.second) return false;
  return Unexpected == 0;
}

TSimulationReport RunGatewaySimulation(const TSimulationConfig& config, std::ostream* log) {
  TSimulationReport report;
  const int n = std::max(2, config.Nodes);
  TDWFakeCacheServer cache;
  cache.SetGreetingHeader("LowSpeedBPS", "0");
  cache.SetGreetingHeader("MinPeers", "3");
  cache.SetGreetingHeader("LowSpeedPeers", "3");
  cache.SetGreetingHeader("CacheRefreshTime", "1");
  cache.SetGreetingHeader("MaxHops", std::to_string(config.MaxHops));
  cache.SetGreetingHeader("ServerMessage", "simulated overlay");
  // A ring (each node is told about the one before it) with chords across
  // from every fourth node, so that searches meet themselves on the way.
  std::vector<std::pair<int, int>> planned;
  for (int i = 0; i < n; ++i) {
    std::vector<int> to{(i + n - 1) % n};
    if (config.Chords && i % 4 == 0 && n >= 8) to.push_back((i + n / 2) % n);
    std::vector<std::string> plan;
    for (int j : to) {
      plan.push_back(NodeAddress(j));
      planned.emplace_back(i, j);
    }
    cache.SetPlan(NodeAddress(i), plan);
  }
  cache.Start();

  const int64_t setupStart = plat::MonotonicMs();
  std::vector<std::unique_ptr<TGatewayNode>> nodes;
  for (int i = 0; i < n; ++i) {
    TGatewayNodeOptions o;
    o.Address = NodeAddress(i);
    o.Nick = NodeNick(i);
    o.CachePort = cache.Port();
    o.LoginWait = std::max(1, config.SetupTimeoutMs / 1000);
    nodes.push_back(std::make_unique<TGatewayNode>(o));
  }
  for (auto& node : nodes) node->Connect();
  bool ready = true;
  for (auto& node : nodes) {
    int64_t left = setupStart + config.SetupTimeoutMs - plat::MonotonicMs();
    ready = ready && left > 0 && node->WaitLoggedIn(int(left));
  }
  for (int i = 0; ready && i < n; ++i) {
    for (int f = 0; f < config.FilesPerNode; ++f)
      nodes[size_t(i)]->Share("simfile " + NodeNick(i) + " f" + std::to_string(f) + ".mp3", 1000000 + f);
    ready = nodes[size_t(i)]->Sync(10000);
  }
  // Ready once every planned link carries packets at both ends: the graph
  // may be joined up well before that, and the expected reach would then
  // be reckoned over links that are still to come.
  while (ready) {
    bool all = true;
    for (auto& [i, j] : planned) all = all && LinkUp(nodes, i, j);
    for (auto& node : nodes) all = all && node->Router().PendingConnectCount() == 0;
    if (all) break;
    if (plat::MonotonicMs() - setupStart > config.SetupTimeoutMs) ready = false;
    plat::Thread::Sleep(50);
  }
  report.Ready = ready;
  report.SetupMs = plat::MonotonicMs() - setupStart;
  if (log) *log << "setup " << (ready ? "done" : "FAILED") << " in " << report.SetupMs << " ms\n";

  const bool timed = config.ResultWaitMs <= 0;
  const int interval = timed ? std::max(config.SettleMs, config.DurationMs / n) : config.DurationMs / n;
  for (int s = 0; ready && s < n; ++s) {
    const int64_t start = plat::MonotonicMs();
    TGatewayNode& me = *nodes[size_t(s)];
    Drain(me.Client());
    const std::vector<int> dist = Distances(nodes, s);
    const int64_t packetsBefore = AllPackets(nodes);
    me.Client().Send(200, "FILENAME CONTAINS \"simfile\" MAX_RESULTS 1000");
    std::map<std::string, std::set<std::string>> got;  // nick -> files
    int duplicates = 0;
    // Every file of every node within the hop limit has come.
    auto complete = [&] {
      for (int j = 0; j < n; ++j) {
        if (j == s || dist[size_t(j)] < 1 || dist[size_t(j)] > config.MaxHops) continue;
        auto it = got.find(NodeNick(j));
        if (it == got.end() || int(it->second.size()) < config.FilesPerNode) return false;
      }
      return true;
    };
    // Reads until `until` (a deadline) or, untimed, until the results are
    // complete and then QuietMs pass without a frame.
    const int64_t until = start + (timed ? config.SettleMs : config.ResultWaitMs);
    bool over = false;
    NapsterMessage m;
    while (!over && plat::MonotonicMs() < until) {
      const bool done = !timed && complete();
      int64_t wait = until - plat::MonotonicMs();
      if (done) wait = std::min<int64_t>(wait, std::max(1, config.QuietMs));
      if (!me.Client().Read(m, int(std::max<int64_t>(1, wait)))) {
        over = done || me.Client().Closed();
        continue;
      }
      if (m.Type != 201) continue;
      auto [nick, file] = ResultOwner(m.Text);
      if (!got[nick].insert(file).second) ++duplicates;
    }
    report.Packets += AllPackets(nodes) - packetsBefore;
    report.Duplicates += duplicates;
    ++report.Searches;
    int reached = 0;
    for (int j = 0; j < n; ++j) {
      if (j == s) continue;
      const int d = dist[size_t(j)];
      auto it = got.find(NodeNick(j));
      const int files = it == got.end() ? 0 : int(it->second.size());
      if (files > 0) ++reached;
      if (d >= 1 && d <= config.MaxHops) {
        auto& r = report.Reach[d];
        ++r.second;
        if (files > 0) ++r.first;
        report.Expected += config.FilesPerNode;
        report.Delivered += std::min(files, config.FilesPerNode);
      } else if (files > 0 && (d < 0 || d > config.MaxHops + 1)) {
        ++report.Unexpected;
      }
    }
    if (log)
      *log << "search " << s << " from " << NodeNick(s) << ": " << reached << " nodes answered, "
           << duplicates << " duplicates\n";
    const int64_t next = start + interval;
    while (plat::MonotonicMs() < next) plat::Thread::Sleep(10);
  }
  for (auto& node : nodes) node->Stop();
  cache.Stop();
  return report;
}

void PrintSimulationReport(const TSimulationReport& r, std::ostream& out) {
  out << "searches: " << r.Searches << (r.Ready ? "" : " (setup failed)") << "\n";
  for (auto& [hops, counts] : r.Reach)
    out << "  reach at " << hops << " hop(s): " << counts.first << "/" << counts.second << "\n";
  out << std::fixed << std::setprecision(1);
  out << "packets per search: " << r.PacketsPerSearch() << "\n";
  out << "duplicates delivered: " << r.Duplicates << "\n";
  out << "results from beyond the hop limit: " << r.Unexpected << "\n";
  out << "responses delivered: " << r.Delivered << "/" << r.Expected << " (" << 100.0 * r.DeliveryRatio()
      << " %)\n";
  out << "full reach within the hop limit: " << (r.FullReach() ? "yes" : "no") << "\n";
}
