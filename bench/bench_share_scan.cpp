// The disk scan at library size: 100,000 files in 1,000 folders whose file
// names repeat from folder to folder (as track names do in music
// libraries), shared one by one with the mask "*.*", against the time the
// system's `find` needs to list the same tree, measured in the same run.
// Also a recursive query over a share of the same tree (every folder
// reached once more after its first listing) against the same baseline.
// `find` runs twice: listing names alone, and listing each entry's size and
// date as a share list must (the scan reads both for every file). Prints
// each time and its ratio (lower is better; the scan's goal is 2 or less).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "bench/bench_clock.h"
#include "core/share_manager.h"
#include "platform/dispatcher.h"
#include "platform/files.h"

namespace {

namespace fs = std::filesystem;
constexpr int kFolders = 1000;
constexpr int kFilesPerFolder = 100;

// Made once per machine and kept between runs (a marker says it is whole).
std::string TheTree() {
  const fs::path root = fs::temp_directory_path() / "tarn-bench-library";
  if (!fs::exists(root / "complete")) {
    for (int d = 0; d < kFolders; ++d) {
      const fs::path folder = root / ("Album " + std::to_string(d));
      fs::create_directories(folder);
      for (int f = 1; f <= kFilesPerFolder; ++f) {
        char name[32];
        std::snprintf(name, sizeof name, "Track %02d.ogg", f);
        std::ofstream(folder / name) << "x";
      }
    }
    std::ofstream(root / "complete") << "ok\n";
  }
  return root.string() + char(fs::path::preferred_separator);
}

// The best of a few runs: the figure least disturbed by other work.
double Best(int runs, const std::function<void()>& fn) {
  double best = 1e9;
  for (int i = 0; i < runs; ++i) best = std::min(best, Seconds(fn));
  return best;
}

}  // namespace

int main() {
  plat::MainLoop::Init();
  const std::string root = TheTree();
  // find listing the names alone, and listing each entry's size and date
  // as well: what a share list holds of every file.
  const std::string find = "find '" + root + "' > /dev/null";
  const std::string findStat = "find '" + root + "' -printf '%p %s %T@\\n' > /dev/null";
  if (std::system(find.c_str()) != 0 || std::system(findStat.c_str()) != 0) {
    std::printf("bench_share_scan: `find` is not available\n");
    return 1;
  }
  const double findTime = Best(5, [&] { (void)std::system(find.c_str()); });
  const double findStatTime = Best(5, [&] { (void)std::system(findStat.c_str()); });

  // From the start of the scan to its end event (freeing the list
  // afterwards is not part of sharing it).
  int files = 0;
  double scanTime = 1e9;
  plat::SetFixedDriveRootsForTesting({root});
  for (int run = 0; run < 5; ++run) {
    TShareManager m;
    bool ended = false;
    int added = 0, status = 0;
    // Handlers as the settings dialog assigns them.
    m.OnAddFile = [&](TShareManager*, TShareFile*) { ++added; };
    m.OnScanStatus = [&](TShareManager*, const std::string&) { ++status; };
    m.OnScanEnd = [&](TShareManager*) { ended = true; };
    scanTime = std::min(scanTime, Seconds([&] {
                          m.StartScan("*.*");
                          plat::MainLoop::PumpUntil([&] { return ended; }, -1);
                        }));
    files = m.Root()->FileCount();
  }
  plat::SetFixedDriveRootsForTesting({});

  TShareManager shares;
  shares.AddDirectory(root, "Library", true, "*.*");
  auto walk = [&shares] {
    auto q = shares.Query("/", true);
    int n = 0;
    while (q->Next()) n += !q->IsDirectory;
    return n;
  };
  const int walked = walk();  // lists every folder once
  const double queryTime = Best(3, [&] { walk(); });

  std::printf("find lists %d folders of %d files: %.1f ms; with sizes and dates: %.1f ms\n", kFolders,
              kFilesPerFolder, findTime * 1000, findStatTime * 1000);
  std::printf("disk scan sharing %d files one by one (mask *.*): %.1f ms, %.2fx find with sizes and dates "
              "(%.2fx find of names alone)\n",
              files, scanTime * 1000, scanTime / findStatTime, scanTime / findTime);
  std::printf("recursive query over a share of the tree (%d files, listed before): %.1f ms, %.2fx find with "
              "sizes and dates\n",
              walked, queryTime * 1000, queryTime / findStatTime);
  return 0;
}
