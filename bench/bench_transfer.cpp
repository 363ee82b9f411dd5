// Moving one large file between two client components over loopback (the
// downloader asks through a fake server, the uploader serves it from its
// data port), beside a plain socket copy of the same file in the same run,
// the two taking turns (the copy makes the calls a copy tool with a time-out
// makes, in the transfer's piece size: read and send; poll, receive and
// write); then a transfer held to 100 KB/s by the upload limit, reporting the
// rate it achieved and how far its single seconds strayed from the limit.
//
// The file is sparse (TARN_BENCH_TRANSFER_MB megabytes, 1024 by default)
// and the downloader writes to /dev/null: the network path is measured, not
// the disk.
#include <benchmark/benchmark.h>

#ifndef _WIN32
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "peer/napster/napster_client.h"
#include "peer/napster/napster_client_data_thread.h"
#include "peer/napster/napster_helpers.h"
#include "platform/clock.h"
#include "platform/dispatcher.h"
#include "tools/fake_napster_server.h"
#include "tools/napster_client_harness.h"

namespace {

constexpr int64_t kThrottleLimit = 100 * 1024;
constexpr int64_t kThrottledBytes = 800 * 1024;

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

// Baseline: the same file through one loopback connection with bare calls,
// as a copy tool with a time-out moves it, in the transfer's own pieces: the
// sender reads the file and sends each piece; the receiver waits for data
// (poll), receives, and writes to /dev/null. The seconds it took (negative
// when it came short).
double RawTcpCopy(const Files& f) {
  const int piece = TTransferPacer::kPiece;
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener, 1) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    if (listener >= 0) close(listener);
    return -1;
  }
  const int64_t start = plat::MonotonicMs();
  std::thread sender([&] {
    std::vector<char> buf(static_cast<size_t>(piece));
    int s = socket(AF_INET, SOCK_STREAM, 0);
    int file = open(f.big.c_str(), O_RDONLY);
    if (file >= 0 && connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
      for (ssize_t r; (r = read(file, buf.data(), buf.size())) > 0;) {
        for (ssize_t done = 0; done < r;) {
          ssize_t n = send(s, buf.data() + done, size_t(r - done), MSG_NOSIGNAL);
          if (n <= 0) break;
          done += n;
        }
      }
    }
    if (file >= 0) close(file);
    close(s);
  });
  int c = accept(listener, nullptr, nullptr);
  int sink = open("/dev/null", O_WRONLY);
  std::vector<char> in(static_cast<size_t>(piece));
  int64_t got = 0;
  for (;;) {
    pollfd p{c, POLLIN, 0};
    if (poll(&p, 1, 30000) != 1) break;
    const ssize_t n = recv(c, in.data(), in.size(), 0);
    if (n <= 0) break;
    got += write(sink, in.data(), size_t(n)) == n ? n : 0;
  }
  close(sink);
  sender.join();
  close(c);
  close(listener);
  return got == f.bytes ? double(plat::MonotonicMs() - start) / 1000.0 : -1;
}

// The transfer and the plain copy take turns, round by round, so that a
// load on the machine falls on both; each side's best round counts.
void BM_TransferBesideRawTcpCopy(benchmark::State& state) {
  Files& f = TheFiles();
  TwoPeers& p = ThePeers();
  if (!f.ok || !p.ok) return state.SkipWithError("peers did not start");
  double bestRaw = 0, bestTransfer = 0;
  for (auto _ : state) {
    const double raw = RawTcpCopy(f);
    if (raw < 0) return state.SkipWithError("the plain copy failed");
    const int64_t start = plat::MonotonicMs();
    if (!p.Move(f.big, 600000)) return state.SkipWithError("transfer failed");
    const double s = double(plat::MonotonicMs() - start) / 1000.0;
    bestRaw = bestRaw == 0 ? raw : std::min(bestRaw, raw);
    bestTransfer = bestTransfer == 0 ? s : std::min(bestTransfer, s);
  }
  state.SetBytesProcessed(state.iterations() * f.bytes);
  const double rate = bestTransfer > 0 ? double(f.bytes) / bestTransfer : 0;
  const double rawRate = bestRaw > 0 ? double(f.bytes) / bestRaw : 0;
  const double ratio = rawRate > 0 ? rate / rawRate : 0;
  state.counters["ratio_to_raw_tcp"] = ratio;
  std::printf("transfer / raw TCP copy throughput (taking turns, best of %d each): %.3f (%.1f MB/s against %.1f MB/s)\n",
              int(state.iterations()), ratio, rate / 1e6, rawRate / 1e6);
}

void BM_ThrottledTransfer(benchmark::State& state) {
  Files& f = TheFiles();
  TwoPeers& p = ThePeers();
  if (!f.ok || !p.ok) return state.SkipWithError("peers did not start");
  p.up.MaxUploadBPS = int(kThrottleLimit);
  // The downloader's statistics (about one a second) give the rate of each
  // second; the first two are left out while the transfer settles.
  std::vector<std::pair<int64_t, int64_t>> samples;  // ms, position
  p.down.OnDownloadStats = [&](TNapsterClient*, TNapsterClientData& d) {
    samples.emplace_back(plat::MonotonicMs(), d.Position);
  };
  double seconds = 0;
  for (auto _ : state) {
    const int64_t start = plat::MonotonicMs();
    if (!p.Move(f.small, 60000)) return state.SkipWithError("transfer failed");
    seconds += double(plat::MonotonicMs() - start) / 1000.0;
  }
  p.up.MaxUploadBPS = 0;
  p.down.OnDownloadStats = nullptr;
  double worst = 0;
  for (size_t i = 1; i + 1 < samples.size(); i++) {  // the last report is the forced final one
    if (samples[i - 1].first - samples.front().first < 2000) continue;
    const double ms = double(samples[i].first - samples[i - 1].first);
    if (ms <= 0) continue;
    const double rate = double(samples[i].second - samples[i - 1].second) * 1000.0 / ms;
    worst = std::max(worst, std::abs(rate / double(kThrottleLimit) - 1.0));
  }
  state.counters["worst_second_deviation"] = worst;
  std::printf("throttled transfer, worst single second after the first two: %+.1f %% off the limit\n",
              worst * 100.0);
  const double rate = seconds > 0 ? double(state.iterations() * kThrottledBytes) / seconds : 0;
  state.SetBytesProcessed(state.iterations() * kThrottledBytes);
  state.counters["achieved_Bps"] = rate;
  state.counters["ratio_to_limit"] = rate / double(kThrottleLimit);
  std::printf("throttled transfer / 100 KB/s limit: %.3f (%.0f B/s)\n", rate / double(kThrottleLimit), rate);
}

BENCHMARK(BM_TransferBesideRawTcpCopy)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ThrottledTransfer)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
#endif

BENCHMARK_MAIN();
