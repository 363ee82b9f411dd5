// Fetching one large body over loopback: the program's HTTP client, run as
// a user runs it ("tarnctl GET"), against curl, the tool a user would fetch
// it with, from the same local server in the same run. The server (on
// 127.0.0.1) sends TARN_BENCH_GET_MB megabytes (1024 by default) from
// memory; every client writes the body to the null device, so the network
// path is measured, not the disk.
//
// With TARN_BENCH_WIN32_TARNCTL naming the Windows build of tarnctl
// (./build.sh bench sets it, with a persistent wineserver running), that
// program fetches the same body under Wine too. Each client's figure is the
// time it reports for its own transfer (curl's time_total, tarnctl's
// "in N ms"), so process start-up counts for neither.
//
// Prints each client's rate and its ratio to curl (higher is better). At
// these rates the kernel's copies and wake-ups between server and client
// set the pace, and that moves from run to run; the CPU time each native
// client spent (user and system, start-up included) is its own cost and
// much steadier, so its ratio to curl's is printed too.
#ifndef _WIN32
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/resource.h>

#include "core/network_wrapper.h"
#include "tools/fake_http_server.h"

namespace {

constexpr int kRuns = 5;

// CPU seconds (user and system) of the child processes waited for so far.
double ChildrenCpu() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// A shell command's output ("" when it failed) and the CPU time it took.
struct Ran {
  std::string out;
  double cpu = 0;
};

Ran Run(const std::string& command) {
  Ran r;
  const double before = ChildrenCpu();
  FILE* p = popen(command.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
  if (pclose(p) != 0) r.out.clear();
  r.cpu = ChildrenCpu() - before;
  return r;
}

// A transfer's time and CPU time in seconds (time negative: it failed).
struct Figure {
  double seconds = -1;
  double cpu = 0;
};

// tarnctl's "<bytes> bytes written to <file> in <ms> ms" on standard error.
Figure TarnctlFigure(const Ran& ran, int64_t bytes) {
  Figure f;
  f.cpu = ran.cpu;
  for (size_t at = 0; at < ran.out.size();) {
    const size_t end = std::min(ran.out.find('\n', at), ran.out.size());
    long long got = 0;
    double ms = 0;
    if (std::sscanf(ran.out.substr(at, end - at).c_str(), "%lld bytes written to %*s in %lf ms", &got, &ms) == 2) {
      if (got == bytes && ms > 0) f.seconds = ms / 1000;
      break;
    }
    at = end + 1;
  }
  return f;
}

// The best of a client's figures: the shortest time and the least CPU
// (a failed run makes the client's figure a failure).
struct Best {
  double seconds = -1;
  double cpu = -1;
  bool failed = false;
  void Add(const Figure& f) {
    failed = failed || f.seconds < 0;
    seconds = failed ? -1 : seconds < 0 ? f.seconds : std::min(seconds, f.seconds);
    cpu = cpu < 0 ? f.cpu : std::min(cpu, f.cpu);
  }
};

void Report(const char* who, int64_t bytes, const Best& b, const Best& curl, bool withCpu) {
  if (b.seconds < 0) {
    std::printf("%-34s failed\n", who);
    return;
  }
  std::printf("%-34s %8.1f MB/s  %.2fx curl", who, double(bytes) / b.seconds / 1e6, curl.seconds / b.seconds);
  if (withCpu && b.cpu > 0) std::printf("   CPU %4.0f ms/GB  %.2fx curl", b.cpu * 1e3 / (double(bytes) / 1e9), curl.cpu / b.cpu);
  std::printf("\n");
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

  // Each client's figures are its best of kRuns; the runs take turns (curl,
  // native, Wine, curl, ...) so that a load spike on a shared machine
  // falls on every client alike.
  auto curl = [&] {
    const Ran ran = Run("curl -s -o /dev/null -w '%{size_download} %{time_total}' '" + url + "'");
    Figure f;
    f.cpu = ran.cpu;
    long long got = 0;
    double t = -1;
    if (std::sscanf(ran.out.c_str(), "%lld %lf", &got, &t) == 2 && got == bytes) f.seconds = t;
    return f;
  };
  auto native = [&] {
    return TarnctlFigure(Run("'" TARNCTL_PATH "' GET '" + url + "' /dev/null 2>&1 >/dev/null"), bytes);
  };
  const char* exe = std::getenv("TARN_BENCH_WIN32_TARNCTL");
  const bool withWine = exe && *exe;
  auto wine = [&] {
    return TarnctlFigure(Run("wine '" + std::string(exe) + "' GET '" + url + "' NUL 2>&1 >/dev/null"), bytes);
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
  Report("curl", bytes, bestCurl, bestCurl, true);
  Report("HTTP client (native)", bytes, bestNative, bestCurl, true);
  // Wine's CPU time is mostly its server's, which is no child of ours.
  if (withWine) Report("HTTP client (Win32 under Wine)", bytes, bestWine, bestCurl, false);
  return 0;
}
#else
int main() { return 0; }
#endif
