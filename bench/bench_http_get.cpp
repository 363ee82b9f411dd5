// Fetching one large body over loopback: the program's HTTP client (as
// "tarnctl GET" runs it) against curl, the tool a user would fetch it with,
// from the same local server in the same run. The server (on 127.0.0.1)
// sends TARN_BENCH_GET_MB megabytes (1024 by default) from memory; every
// client writes the body to the null device, so the network path is
// measured, not the disk.
//
// With TARN_BENCH_WIN32_TARNCTL naming the Windows build of tarnctl
// (./build.sh bench sets it, with a persistent wineserver running), that
// program fetches the same body under Wine too. Each client's figure is the
// time it reports for its own transfer (curl's time_total, tarnctl's
// "in N ms"), so process start-up counts for neither.
//
// Prints each client's rate and its ratio to curl (higher is better).
#ifndef _WIN32
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "core/network_wrapper.h"
#include "tools/fake_http_server.h"
#include "tools/http_get.h"

namespace {

constexpr int kRuns = 5;

// The output of a shell command, "" when it failed.
std::string Run(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  return pclose(p) == 0 ? out : std::string();
}

// The best of a client's figures (seconds; negative: a run failed, and
// then the client's figure is a failure).
struct Best {
  double seconds = -1;
  bool failed = false;
  void Add(double t) {
    failed = failed || t < 0;
    seconds = failed ? -1 : seconds < 0 ? t : std::min(seconds, t);
  }
};

void Report(const char* who, int64_t bytes, double seconds, double curlSeconds) {
  if (seconds < 0) {
    std::printf("%-34s failed\n", who);
    return;
  }
  std::printf("%-34s %8.1f MB/s  %.2fx curl\n", who, double(bytes) / seconds / 1e6, curlSeconds / seconds);
}

}  // namespace

int main() {
  const char* mb = std::getenv("TARN_BENCH_GET_MB");
  const int64_t bytes = int64_t(mb ? std::atoll(mb) : 1024) << 20;
  // The body in 4 MiB writes from one buffer.
  const std::string block(4 << 20, 'x');
  FakeHttpServer server([&](const FakeHttpServer::Request&) {
    FakeHttpServer::Reply r;
    r.bytes = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
              std::to_string(bytes) + "\r\n\r\n";
    r.writer = [&](TSocket& s) {
      for (int64_t left = bytes; left > 0;) {
        const int n = int(std::min<int64_t>(left, int64_t(block.size())));
        s.WriteAll(block.data(), n);
        left -= n;
      }
    };
    r.after = FakeHttpServer::Reply::kClose;
    return r;
  });
  const std::string url = server.Url("/big.bin");

  // Each client's figure is its best of kRuns; the runs take turns (curl,
  // native, Wine, curl, ...) so that a load spike on a shared machine
  // falls on every client alike.
  auto curl = [&] {
    const std::string out = Run("curl -s -o /dev/null -w '%{size_download} %{time_total}' '" + url + "'");
    long long got = 0;
    double t = -1;
    if (std::sscanf(out.c_str(), "%lld %lf", &got, &t) != 2 || got != bytes) return -1.0;
    return t;
  };
  auto native = [&] {
    std::ofstream headers("/dev/null");
    const auto start = std::chrono::steady_clock::now();
    const HttpGetResult r = HttpGet(url, "/dev/null", headers);
    const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return r.code == 200 && r.bytes == bytes ? t : -1.0;
  };
  const char* exe = std::getenv("TARN_BENCH_WIN32_TARNCTL");
  const bool withWine = exe && *exe;
  auto wine = [&] {
    // "<bytes> bytes written to NUL in <ms> ms" on standard error.
    const std::string out = Run("wine '" + std::string(exe) + "' GET '" + url + "' NUL 2>&1 >/dev/null");
    for (size_t at = 0; at < out.size();) {
      const size_t end = std::min(out.find('\n', at), out.size());
      long long got = 0;
      double ms = 0;
      if (std::sscanf(out.substr(at, end - at).c_str(), "%lld bytes written to %*s in %lf ms", &got, &ms) == 2)
        return got == bytes && ms > 0 ? ms / 1000 : -1.0;
      at = end + 1;
    }
    return -1.0;
  };

  Best bestCurl, bestNative, bestWine;
  for (int i = 0; i < kRuns; ++i) {
    bestCurl.Add(curl());
    bestNative.Add(native());
    if (withWine) bestWine.Add(wine());
  }
  if (bestCurl.seconds < 0) {
    std::printf("bench_http_get: curl is not available or failed\n");
    return 1;
  }

  std::printf("HTTP GET of %lld MB over loopback\n", (long long)(bytes >> 20));
  Report("curl", bytes, bestCurl.seconds, bestCurl.seconds);
  Report("HTTP client (native)", bytes, bestNative.seconds, bestCurl.seconds);
  if (withWine) Report("HTTP client (Win32 under Wine)", bytes, bestWine.seconds, bestCurl.seconds);
  return 0;
}
#else
int main() { return 0; }
#endif
