// gateway_sim: N local gateways on 127.0.0.1..N in one process, joined by
// the harness cache server in a ring, each with a client that shares
// synthetic files and searches in turn. Prints reach by hop distance,
// packets per search, duplicates and delivered responses, then ends.
//
//   gateway_sim [nodes] [seconds] [files per node] [max hops] [ring]
//
// "ring" leaves out the chords across the ring.
//
// Exit status: 0 when every node within the hop limit was reached without
// duplicates, 1 otherwise.
#include <cstdlib>
#include <iostream>
#include <string>

#include "platform/dispatcher.h"
#include "tools/gateway_simulation.h"

int main(int argc, char** argv) {
  plat::MainLoop::Init();
  TSimulationConfig c;
  if (argc > 1) c.Nodes = std::atoi(argv[1]);
  if (argc > 2) c.DurationMs = std::atoi(argv[2]) * 1000;
  if (argc > 3) c.FilesPerNode = std::atoi(argv[3]);
  if (argc > 4) c.MaxHops = std::atoi(argv[4]);
  if (argc > 5) c.Chords = std::string(argv[5]) != "ring";
  if (c.Nodes < 2 || c.Nodes > 250 || c.DurationMs < 0 || c.FilesPerNode < 1 || c.MaxHops < 1) {
    std::cerr << "usage: gateway_sim [nodes 2-250] [seconds] [files per node] [max hops] [ring]\n";
    return 2;
  }
  TSimulationReport r = RunGatewaySimulation(c, &std::cout);
  PrintSimulationReport(r, std::cout);
  return r.FullReach() && r.Duplicates == 0 ? 0 : 1;
}
