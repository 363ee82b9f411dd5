// Fetching one large file over loopback: the program's HTTP client (as
// "tarnctl GET" runs it) against a bare socket read of the same answer, from
// the same local server in the same run. The server is Python's http.server over a sparse file
// (TARN_BENCH_GET_MB megabytes, 1024 by default).
#include <benchmark/benchmark.h>

#ifndef _WIN32
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

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

// Baseline: the same request written and the whole answer read with bare
// socket calls, no parsing at all - what the loopback and server allow.
void BM_RawSocketGet(benchmark::State& state) {
  Server& s = TheServer();
  if (!s.ok) return state.SkipWithError("python3 http.server did not start");
  std::string url = s.Url();                       // http://127.0.0.1:PORT/big.bin
  std::string hostPort = url.substr(7, url.find('/', 7) - 7);
  int port = std::atoi(hostPort.substr(hostPort.find(':') + 1).c_str());
  std::string req = "GET /big.bin HTTP/1.0\r\nHost: " + hostPort + "\r\n\r\n";
  std::vector<char> buf(1 << 16);
  for (auto _ : state) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        send(fd, req.data(), req.size(), MSG_NOSIGNAL) != ssize_t(req.size())) {
      if (fd >= 0) close(fd);
      return state.SkipWithError("raw fetch failed");
    }
    int64_t got = 0;
    for (ssize_t n; (n = recv(fd, buf.data(), buf.size(), 0)) > 0;) got += n;
    close(fd);
    if (got < s.bytes) return state.SkipWithError("raw fetch short");
  }
  state.SetBytesProcessed(state.iterations() * s.bytes);
}

BENCHMARK(BM_TarnctlGet)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RawSocketGet)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
#endif

BENCHMARK_MAIN();
