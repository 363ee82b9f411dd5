// The start-up announce pass of a large library, and what each shared file
// costs in memory.
//
// Trees of 12,500 to 100,000 MP3 files (folders of 100 named as albums
// name their tracks) are shared as one share each and kept as share files.
// A start of the program loads the share file into the share tree, then the
// client component lists every file of the tree and reports each one
// (OnAddFile) until its scan ends: the time from the load's start to that
// end is set against the load alone, measured in the same round (goal: 2x
// or less). Rounds alternate the sizes; each figure is the median of three.
//
// The memory is the heap in use with 100,000 files loaded and announced,
// less the heap with the same objects empty, per file (goal: 500 bytes or
// less).
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "core/share_manager.h"
#include "peer/napster/napster_client.h"
#include "platform/dispatcher.h"
#include "tools/mp3_builder.h"

namespace {

namespace fs = std::filesystem;
constexpr int kFilesPerFolder = 100;
constexpr double kTimeGoal = 2.0;
constexpr double kBytesGoal = 500;

// A library of that many files and its share file, made once per machine
// and kept between runs (a marker says they are whole).
std::string Library(int files) {
  const fs::path root = fs::temp_directory_path() / "tarn-bench-announce-mp3" / std::to_string(files);
  const std::string shareFile = (root / "Shared.dat").string();
  if (fs::exists(root / "complete")) return shareFile;
  const std::string song = mp3gen::Frames(mp3gen::Header{}, 5);  // 0.13 s: long enough to count as MP3
  for (int d = 0; d < files / kFilesPerFolder; ++d) {
    const fs::path folder = root / "Music" / ("Album " + std::to_string(d));
    fs::create_directories(folder);
    for (int f = 1; f <= kFilesPerFolder; ++f) {
      char name[32];
      std::snprintf(name, sizeof name, "Track %02d.mp3", f);
      std::ofstream(folder / name, std::ios::binary) << song;
    }
  }
  TShareManager m;
  m.AddDirectory((root / "Music").string(), "Music", true, "*.*");
  for (auto q = m.Query("/", true); q->Next();) {
  }
  m.SaveToFile(shareFile);
  std::ofstream(root / "complete") << "ok\n";
  return shareFile;
}

// Bytes allocated: small blocks and the large ones mapped on their own.
size_t HeapInUse() {
  malloc_trim(0);
  const struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd;
}

// What a start does: the share tree and the client component as the main
// window makes them, with handlers that count.
struct Program {
  TShareManager shares;
  TNapsterClient client;
  int loaded = 0, announced = 0;
  bool finished = false;
  Program() {
    ApplyMainWindowProperties(client);
    client.ShareManager = &shares;
    shares.OnAddDirectory = [this](TShareManager*, TShareDirectory*) { ++loaded; };
    shares.OnAddFile = [this](TShareManager*, TShareFile*) { ++loaded; };
    client.OnAddFile = [this](TNapsterClient*, const std::string&, const std::string&, const std::string&, int, int,
                              int, int64_t, bool) { ++announced; };
    client.OnScanFinished = [this](TNapsterClient*) { finished = true; };
  }
  void Load(const std::string& shareFile) { shares.LoadFromFile(shareFile); }
  void Announce() {
    client.ScanAllDrives("*.*");
    plat::MainLoop::PumpUntil([this] { return finished; }, -1);
  }
};

struct Timing {
  std::vector<double> load, total;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main() {
  plat::MainLoop::Init();
  const std::vector<int> sizes = {12500, 25000, 50000, 100000};
  std::vector<std::string> files;
  for (int n : sizes) files.push_back(Library(n));

  std::vector<Timing> timings(sizes.size());
  for (int round = 0; round < 3; ++round) {
    for (size_t i = 0; i < sizes.size(); ++i) {
      Program p;
      const double load = Seconds([&] { p.Load(files[i]); });
      const double announce = Seconds([&] { p.Announce(); });
      if (p.announced != sizes[i]) {
        std::printf("bench_announce: %d of %d files announced\n", p.announced, sizes[i]);
        return 1;
      }
      timings[i].load.push_back(load);
      timings[i].total.push_back(load + announce);
    }
  }
  for (size_t i = 0; i < sizes.size(); ++i) {
    const double load = Median(timings[i].load), total = Median(timings[i].total);
    std::printf("start-up announce pass, %6d files: load %.0f ms, load to every file announced %.0f ms, %.2fx the "
                "load (goal: %.1fx or less)\n",
                sizes[i], load * 1000, total * 1000, total / load, kTimeGoal);
  }

  // Memory: the same objects empty, with the share file loaded, then with
  // the library announced.
  const size_t before = HeapInUse();
  auto p = std::make_unique<Program>();
  const size_t empty = HeapInUse();
  p->Load(files.back());
  const size_t loaded = HeapInUse();
  p->Announce();
  const size_t shared = HeapInUse();
  const double n = sizes.back();
  std::printf("memory with %d files shared: %.1f MB beyond the empty objects (%.1f MB), %.0f bytes per file "
              "(goal: %.0f or less): the share tree %.0f, the client's list %.0f\n",
              sizes.back(), double(shared - empty) / 1e6, double(empty - before) / 1e6, double(shared - empty) / n,
              kBytesGoal, double(loaded - empty) / n, double(shared - loaded) / n);
  return 0;
}
