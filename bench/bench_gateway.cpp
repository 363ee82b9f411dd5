// The local gateway: a remote search answered over 100,000 shared files,
// and the overlay simulation (20 gateways for 60 s, 10 for 30 s) with its
// reach, packets per search, duplicates and delivered responses.
#include <benchmark/benchmark.h>

#include <string>

#include "peer/gateway.h"
#include "platform/dispatcher.h"
#include "tools/gateway_fake_networks.h"
#include "tools/gateway_simulation.h"

namespace {

// A logged-in gateway sharing n synthetic files.
std::unique_ptr<TGatewayHarness> Sharing(int n) {
  auto gw = std::make_unique<TGatewayHarness>();
  gw->Dusk().SetPeers(1);
  gw->LogIn("bench", 6699, 7);
  for (int i = 0; i < n; ++i)
    gw->HandleClientMessage(100, "\"Artist " + std::to_string(i % 997) + " - Song Title " + std::to_string(i) +
                                     " (Live Version).mp3\" 0 " + std::to_string(3000000 + i) + " 128 44100 240");
  return gw;
}

void Search(benchmark::State& state, const std::string& text) {
  static auto gw = Sharing(100000);
  TGatewayRemote m;
  m.RoutingInfo = "S:1:p";
  m.From = "asker";
  m.Request = true;
  int64_t answers = 0;
  for (auto _ : state) {
    gw->RemoteDispatch(text, m);
    answers += int64_t(gw->Dusk().Responses().size());
    gw->Dusk().ClearSent();
  }
  state.counters["files"] = double(gw->SharedCount());
  state.counters["answer_packets"] = benchmark::Counter(double(answers), benchmark::Counter::kAvgIterations);
}

}  // namespace

// Nothing matches: every name is looked at.
static void BM_GatewaySearchNoMatch(benchmark::State& state) {
  Search(state, "200 FILENAME CONTAINS \"unheard of\" MAX_RESULTS 100");
}
BENCHMARK(BM_GatewaySearchNoMatch)->Unit(benchmark::kMillisecond);

static void BM_GatewaySearchTwoTermsRare(benchmark::State& state) {
  Search(state, "200 FILENAME CONTAINS \"artist 996\" FILENAME CONTAINS \"title 99\" BITRATE \"AT LEAST\" \"128\"");
}
BENCHMARK(BM_GatewaySearchTwoTermsRare)->Unit(benchmark::kMillisecond);

// A pattern that would make a backtracking matcher explode.
static void BM_GatewaySearchPathologicalPattern(benchmark::State& state) {
  Search(state, "200 FILENAME CONTAINS \"*a*a*a*a*a*a*a*a*a*a*a*a*zz\"");
}
BENCHMARK(BM_GatewaySearchPathologicalPattern)->Unit(benchmark::kMillisecond);

// Many matches: the answer stops at its limit early.
static void BM_GatewaySearchCommonTerm(benchmark::State& state) {
  Search(state, "200 FILENAME CONTAINS \"song\"");
}
BENCHMARK(BM_GatewaySearchCommonTerm)->Unit(benchmark::kMicrosecond);

static void BM_GatewaySimulation(benchmark::State& state) {
  TSimulationConfig c;
  c.Nodes = int(state.range(0));
  c.DurationMs = int(state.range(1)) * 1000;
  TSimulationReport r;
  for (auto _ : state) r = RunGatewaySimulation(c);
  int reached = 0, total = 0;
  for (auto& e : r.Reach) {
    reached += e.second.first;
    total += e.second.second;
  }
  state.counters["searches"] = r.Searches;
  state.counters["reach_within_max_hops"] = total ? double(reached) / total : 0;
  state.counters["full_reach"] = r.FullReach() ? 1 : 0;
  state.counters["duplicates"] = r.Duplicates;
  state.counters["beyond_max_hops"] = r.Unexpected;
  state.counters["delivery_ratio"] = r.DeliveryRatio();
  state.counters["packets_per_search"] = r.PacketsPerSearch();
  if (!r.Ready) state.SkipWithError("the simulated overlay did not form");
}
BENCHMARK(BM_GatewaySimulation)->Args({20, 60})->Args({10, 30})->Iterations(1)->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
  plat::MainLoop::Init();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
