// The share list over a generated tree of 100,000 files (1% MP3): listing
// the tree against a plain standard-library walk, the disk scan, MP3
// analysis per file against plain reading, and recursive queries.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/file_scan.h"
#include "core/mpeg.h"
#include "core/share_manager.h"
#include "platform/dispatcher.h"
#include "platform/files.h"
#include "tools/mp3_builder.h"

namespace {

namespace fs = std::filesystem;
constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 1000;

struct Tree {
  std::string root;
  std::vector<std::string> mp3s;
};

// Made once per machine and kept between runs (a marker says it is whole).
const Tree& TheTree() {
  static Tree tree = [] {
    Tree t;
    const fs::path root = fs::temp_directory_path() / "tarn-bench-shares";
    t.root = root.string() + char(fs::path::preferred_separator);
    const bool whole = fs::exists(root / "complete");
    const std::string song = mp3gen::Frames(mp3gen::Header{}, 40);
    for (int d = 0; d < kFolders; ++d) {
      const fs::path folder = root / ("folder" + std::to_string(d));
      if (!whole) fs::create_directories(folder);
      for (int f = 0; f < kFilesPerFolder; ++f) {
        const bool mp3 = f % 100 == 0;
        const fs::path file = folder / ("file" + std::to_string(f) + (mp3 ? ".mp3" : ".dat"));
        if (mp3) t.mp3s.push_back(file.string());
        if (!whole) mp3gen::WriteFile(file.string(), mp3 ? song : std::string(64, 'x'));
      }
    }
    if (!whole) std::ofstream(root / "complete") << "ok\n";
    return t;
  }();
  return tree;
}

void BM_ListTree(benchmark::State& state) {
  const Tree& t = TheTree();
  for (auto _ : state) {
    TFileScan scan;
    scan.Start(t.root, true);
    int64_t bytes = 0, entries = 0;
    while (scan.Next()) {
      bytes += scan.Size;
      ++entries;
    }
    benchmark::DoNotOptimize(bytes);
    state.counters["entries"] = double(entries);
  }
}
BENCHMARK(BM_ListTree)->Unit(benchmark::kMillisecond);

// Baseline: the same walk with the standard library, sizes summed.
void BM_ListTreeBaseline(benchmark::State& state) {
  const Tree& t = TheTree();
  for (auto _ : state) {
    int64_t bytes = 0, entries = 0;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(t.root, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
      if (it->is_regular_file(ec)) bytes += int64_t(it->file_size(ec));
      ++entries;
    }
    benchmark::DoNotOptimize(bytes);
    state.counters["entries"] = double(entries);
  }
}
BENCHMARK(BM_ListTreeBaseline)->Unit(benchmark::kMillisecond);

void BM_DiskScan(benchmark::State& state) {
  const Tree& t = TheTree();
  plat::SetFixedDriveRootsForTesting({t.root});
  for (auto _ : state) {
    TShareManager m;
    bool ended = false;
    m.OnScanEnd = [&](TShareManager*) { ended = true; };
    m.StartScan("*.mp3");
    plat::MainLoop::PumpUntil([&] { return ended; }, -1);
    state.counters["files"] = m.Root()->FileCount();
  }
  plat::SetFixedDriveRootsForTesting({});
}
BENCHMARK(BM_DiskScan)->Unit(benchmark::kMillisecond);

void BM_Mp3Analysis(benchmark::State& state) {
  const Tree& t = TheTree();
  TMPEGaudio a;
  size_t i = 0;
  for (auto _ : state) {
    a.ReadFromFile(t.mp3s[i++ % t.mp3s.size()]);
    benchmark::DoNotOptimize(a.Valid());
  }
}
BENCHMARK(BM_Mp3Analysis);

// Baseline: reading the same files whole, without analysing them.
void BM_Mp3ReadBaseline(benchmark::State& state) {
  const Tree& t = TheTree();
  size_t i = 0;
  std::vector<char> buf(1 << 16);
  for (auto _ : state) {
    std::ifstream in(t.mp3s[i++ % t.mp3s.size()], std::ios::binary);
    while (in.read(buf.data(), std::streamsize(buf.size())) || in.gcount() > 0)
      benchmark::DoNotOptimize(buf.data());
  }
}
BENCHMARK(BM_Mp3ReadBaseline);

// Every file of the tree through one recursive query (the share listed
// once beforehand). A folder reached only looks at its change notification
// (it never waits for one), so the walk costs about what its entries do.
void BM_QueryRecursive(benchmark::State& state) {
  const Tree& t = TheTree();
  TShareManager m;
  m.AddDirectory(t.root, "Bench", true, "");
  auto walk = [&m] {
    auto q = m.Query("/", true);
    int64_t files = 0;
    while (q->Next()) files += !q->IsDirectory;
    return files;
  };
  walk();
  for (auto _ : state) state.counters["files"] = double(walk());
}
BENCHMARK(BM_QueryRecursive)->Unit(benchmark::kMillisecond)->Iterations(3);

// One folder of 1,000 files, without descending.
void BM_QueryOneFolder(benchmark::State& state) {
  const Tree& t = TheTree();
  TShareManager m;
  m.AddDirectory(t.root + "folder7", "F", true, "");
  auto q0 = m.Query("/F", false);
  while (q0->Next()) {
  }
  q0.reset();
  for (auto _ : state) {
    auto q = m.Query("/F", false);
    int n = 0;
    while (q->Next()) ++n;
    benchmark::DoNotOptimize(n);
  }
}
BENCHMARK(BM_QueryOneFolder)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  plat::MainLoop::Init();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
