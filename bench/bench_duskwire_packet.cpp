// Reading Duskwire packets: a large response (700 result lines, as the
// gateway sends them) and a stream of small requests.
#include <benchmark/benchmark.h>

#include "tools/duskwire_memory.h"

namespace {

std::string Packet(const std::string& body) {
  return "2000\r\nTo: nick\r\nMessage-ID: {0D3A6C1E-58B1-4F0B-9A57-3C8A2F7D5E11}12345\r\n"
         "From: other\r\nRouting-Info: seed%3A{ID}1%3A2%3A3\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

void BM_LargeResponse(benchmark::State& state) {
  std::string body;
  for (int i = 0; i < 700; ++i) body += "201 \"Some Artist - Some Title.mp3\" MD5MD5MD5MD 4000000 128 44100 240 nick 0 3 6699 0\r\n";
  const std::string wire = Packet(body);
  for (auto _ : state) {
    TMemoryDuskwire d(wire, 8000);
    std::string s;
    d.ReceiveString(0, s);
    benchmark::DoNotOptimize(s.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(wire.size()));
}
BENCHMARK(BM_LargeResponse);

void BM_SmallRequests(benchmark::State& state) {
  std::string wire;
  for (int i = 0; i < 100; ++i) wire += Packet("200 query text");
  for (auto _ : state) {
    TMemoryDuskwire d(wire, 8000);
    std::string s;
    for (int i = 0; i < 100; ++i) d.ReceiveString(0, s);
    benchmark::DoNotOptimize(s.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * 100);
}
BENCHMARK(BM_SmallRequests);

}  // namespace

BENCHMARK_MAIN();
