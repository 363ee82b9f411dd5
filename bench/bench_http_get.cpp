// Fetching one large file over loopback: the program's HTTP client (as
// "tarnctl GET" runs it) against curl, from the same local server in the
// same run. The server is Python's http.server over a sparse file
// (TARN_BENCH_GET_MB megabytes, 1024 by default).
#include <benchmark/benchmark.h>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "tools/http_get.h"
#include "tools/python_http_server.h"

namespace {

struct Server {
  std::string dir;
  int64_t bytes = 0;
  bool ok = false;
  std::unique_ptr<PythonHttpServer> http;

  Server() {
    const char* mb = std::getenv("TARN_BENCH_GET_MB");
    bytes = int64_t(mb ? std::atoll(mb) : 1024) << 20;
    dir = (std::filesystem::temp_directory_path() / ("tarn-bench-get-" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(dir);
    int fd = open((dir + "/big.bin").c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    if (fd < 0) return;
    bool sized = ftruncate(fd, bytes) == 0;  // sparse: no disk space used
    close(fd);
    if (!sized) return;
    http = std::make_unique<PythonHttpServer>(dir);
    ok = http->Ok();
  }
  ~Server() {
    http.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  std::string Url() const { return http->Url("/big.bin"); }
};

Server& TheServer() {
  static Server s;
  return s;
}

void BM_TarnctlGet(benchmark::State& state) {
  Server& s = TheServer();
  if (!s.ok) return state.SkipWithError("python3 http.server did not start");
  std::ofstream headers("/dev/null");
  std::string out = "/dev/null";  // the client, not the disk, is measured
  for (auto _ : state) {
    HttpGetResult r = HttpGet(s.Url(), out, headers);
    if (r.code != 200 || r.bytes != s.bytes) return state.SkipWithError("fetch failed");
  }
  state.SetBytesProcessed(state.iterations() * s.bytes);
}

void BM_CurlGet(benchmark::State& state) {
  Server& s = TheServer();
  if (!s.ok) return state.SkipWithError("python3 http.server did not start");
  std::string cmd = "curl -s -o /dev/null '" + s.Url() + "'";
  for (auto _ : state) {
    if (std::system(cmd.c_str()) != 0) return state.SkipWithError("curl failed (is it installed?)");
  }
  state.SetBytesProcessed(state.iterations() * s.bytes);
}

BENCHMARK(BM_TarnctlGet)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CurlGet)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
#endif

BENCHMARK_MAIN();
