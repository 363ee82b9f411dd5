// Moving one large file between two client components over loopback (the
// downloader asks through a fake server, the uploader serves it from its
// data port), beside a plain socket copy of the same number of bytes
// written here, measured in the same run; then a transfer held to
// 100 KB/s by the upload limit, reporting the rate it achieved.
//
// The file is sparse (TARN_BENCH_TRANSFER_MB megabytes, 1024 by default)
// and the downloader writes to /dev/null: the network path is measured, not
// the disk.
#include <benchmark/benchmark.h>

#ifndef _WIN32
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "peer/napster_client.h"
#include "peer/napster_helpers.h"
#include "platform/clock.h"
#include "platform/dispatcher.h"
#include "tools/fake_napster_server.h"
#include "tools/napster_client_harness.h"

namespace {

constexpr int64_t kThrottleLimit = 100 * 1024;
constexpr int64_t kThrottledBytes = 400 * 1024;

struct Files {
  std::string dir;
  std::string big, small;
  int64_t bytes = 0;
  bool ok = false;
  Files() {
    const char* mb = std::getenv("TARN_BENCH_TRANSFER_MB");
    bytes = int64_t(mb ? std::atoll(mb) : 1024) << 20;
    dir = (std::filesystem::temp_directory_path() / ("tarn-bench-transfer-" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(dir);
    // Non-MP3 names: a sparse file holds no MPEG audio to analyse.
    big = dir + "/big.bin";
    small = dir + "/small.bin";
    ok = Sparse(big, bytes) && Sparse(small, kThrottledBytes);
  }
  ~Files() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  static bool Sparse(const std::string& path, int64_t size) {
    int fd = open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    if (fd < 0) return false;
    bool sized = ftruncate(fd, size) == 0;
    close(fd);
    return sized;
  }
};

Files& TheFiles() {
  static Files f;
  return f;
}

// Two components: "up" shares the files on its data port, "me" logs in to
// a fake server that knows where "up" is.
struct TwoPeers {
  TNapsterClient up, down;
  FakeNapsterServer server;
  std::string id;
  int finished = 0;
  bool complete = false;
  bool ok = false;

  TwoPeers() {
    plat::MainLoop::Init();
    ApplyMainWindowProperties(up);
    ApplyMainWindowProperties(down);
    if (!up.SetPort(0)) return;
    FakeNapsterServer::User u;
    u.nick = "up";
    u.dataPort = up.DataPort();
    server.AddUser(u);
    if (!server.Start()) return;
    bool logged = false;
    down.OnLogin = [&](TNapsterClient*, const std::string&, const std::string&) { logged = true; };
    down.OnDownloadFinish = [this](TNapsterClient*, TNapsterClientData& d) {
      finished++;
      complete = d.Complete;
    };
    down.StartSession("127.0.0.1", server.Port(), "me", "pw", "", false, false, id);
    ok = plat::MainLoop::PumpUntil([&] { return logged; }, 10000);
    up.ShareFile(TheFiles().big, true);
    up.ShareFile(TheFiles().small, true);
  }

  // One download to /dev/null; false when it did not complete.
  bool Move(const std::string& remote, int timeoutMs) {
    const int before = finished;
    if (!down.Download(id, "up", EncodeNonMp3Name(remote), "/dev/null", false, 0, "", 0, false, "")) return false;
    return plat::MainLoop::PumpUntil([&] { return finished > before; }, timeoutMs) && complete;
  }
};

// Left running to the end of the process (its threads with it).
TwoPeers& ThePeers() {
  static TwoPeers* p = new TwoPeers();
  return *p;
}

double g_rawBytesPerSecond = 0;

// Baseline: the same number of bytes through one loopback connection with
// bare socket calls, from memory to nowhere.
void BM_RawTcpCopy(benchmark::State& state) {
  Files& f = TheFiles();
  if (!f.ok) return state.SkipWithError("cannot make the test file");
  std::vector<char> buf(1 << 16, 'x');
  double seconds = 0;
  for (auto _ : state) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len) != 0)
      return state.SkipWithError("no listener");
    const int64_t start = plat::MonotonicMs();
    std::thread sender([&] {
      int s = socket(AF_INET, SOCK_STREAM, 0);
      if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        for (int64_t left = f.bytes; left > 0;) {
          ssize_t n = send(s, buf.data(), size_t(std::min<int64_t>(left, 8190)), MSG_NOSIGNAL);
          if (n <= 0) break;
          left -= n;
        }
      }
      close(s);
    });
    int c = accept(listener, nullptr, nullptr);
    std::vector<char> in(8192);
    int64_t got = 0;
    for (ssize_t n; (n = recv(c, in.data(), in.size(), 0)) > 0;) got += n;
    sender.join();
    close(c);
    close(listener);
    seconds += double(plat::MonotonicMs() - start) / 1000.0;
    if (got != f.bytes) return state.SkipWithError("short copy");
  }
  state.SetBytesProcessed(state.iterations() * f.bytes);
  g_rawBytesPerSecond = seconds > 0 ? double(state.iterations() * f.bytes) / seconds : 0;
}

void BM_TwoPeersTransfer(benchmark::State& state) {
  Files& f = TheFiles();
  TwoPeers& p = ThePeers();
  if (!f.ok || !p.ok) return state.SkipWithError("peers did not start");
  double seconds = 0;
  for (auto _ : state) {
    const int64_t start = plat::MonotonicMs();
    if (!p.Move(f.big, 600000)) return state.SkipWithError("transfer failed");
    seconds += double(plat::MonotonicMs() - start) / 1000.0;
  }
  state.SetBytesProcessed(state.iterations() * f.bytes);
  const double rate = seconds > 0 ? double(state.iterations() * f.bytes) / seconds : 0;
  state.counters["ratio_to_raw_tcp"] = g_rawBytesPerSecond > 0 ? rate / g_rawBytesPerSecond : 0;
  std::printf("transfer / raw TCP throughput: %.3f (%.1f MB/s against %.1f MB/s)\n",
              g_rawBytesPerSecond > 0 ? rate / g_rawBytesPerSecond : 0.0, rate / 1e6, g_rawBytesPerSecond / 1e6);
}

void BM_ThrottledTransfer(benchmark::State& state) {
  Files& f = TheFiles();
  TwoPeers& p = ThePeers();
  if (!f.ok || !p.ok) return state.SkipWithError("peers did not start");
  p.up.MaxUploadBPS = int(kThrottleLimit);
  double seconds = 0;
  for (auto _ : state) {
    const int64_t start = plat::MonotonicMs();
    if (!p.Move(f.small, 60000)) return state.SkipWithError("transfer failed");
    seconds += double(plat::MonotonicMs() - start) / 1000.0;
  }
  p.up.MaxUploadBPS = 0;
  const double rate = seconds > 0 ? double(state.iterations() * kThrottledBytes) / seconds : 0;
  state.SetBytesProcessed(state.iterations() * kThrottledBytes);
  state.counters["achieved_Bps"] = rate;
  state.counters["ratio_to_limit"] = rate / double(kThrottleLimit);
  std::printf("throttled transfer / 100 KB/s limit: %.3f (%.0f B/s)\n", rate / double(kThrottleLimit), rate);
}

BENCHMARK(BM_RawTcpCopy)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TwoPeersTransfer)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ThrottledTransfer)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
#endif

BENCHMARK_MAIN();
