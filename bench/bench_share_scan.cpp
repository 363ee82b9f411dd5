// The disk scan at library size: 100,000 MP3 files (real frame headers and
// tags at their start and end, a few megabytes each, sparse between) in
// 1,000 folders whose file names repeat from folder to folder (as track names
// do in music libraries), shared one by one with the mask "*.mp3", so every
// file's headers are read. Each figure is set beside a baseline doing the
// same work in the same run, the two taking turns round by round:
//
// - the scan, cold (each file's data dropped from the cache first) and warm,
//   against a plain walk that lists every folder with sizes and dates and
//   reads each file's first and last few kilobytes (what the analysis
//   reads); `find` listing the tree with sizes and dates is printed beside
//   them for reference;
// - a recursive query over a share of the same tree (every folder reached
//   once more after its first listing) against `find` with sizes and dates;
// - the Windows build's scan under Wine against the native one ("tarnctl"
//   SCAN of the tree, as a user would run it, each timed from the command to
//   its answer), warm; goal: 3x or less. Run when TARN_BENCH_WIN32_TARNCTL
//   names the Windows build of tarnctl (./build.sh bench sets it, with a
//   persistent wineserver running). What bounds it: each file read costs
//   three round trips to the Wine server (open, the descriptor, close), the
//   last two made one at a time per process; the cost per file printed is
//   to be read against the time of one trip on the machine.
//
// Lower ratios are better.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "bench/bench_console.h"
#include "core/id3v1.h"
#include "core/share_manager.h"
#include "platform/dispatcher.h"
#include "platform/files.h"
#include "tools/mp3_builder.h"

namespace {

namespace fs = std::filesystem;
constexpr int kFolders = 1000;
constexpr int kFilesPerFolder = 100;
constexpr int kRounds = 5;
constexpr double kWineGoal = 3.0;

// A file of the library: an ID3v2 tag, constant-rate frames and, at its end,
// frames with the encoder's mark and an ID3v1 tag; the middle is a hole.
void WriteTrack(const std::string& path, int album, int track) {
  const std::string title = "Track " + std::to_string(track);
  const std::string head =
      mp3gen::ID3v2Tag(3, mp3gen::ID3v2Frame("TIT2", std::string(1, '\0') + title) +
                              mp3gen::ID3v2Frame("TPE1", std::string(1, '\0') + "Artist " + std::to_string(album))) +
      mp3gen::Frames(mp3gen::Header{}, 8);
  const std::string tail = mp3gen::Frames(mp3gen::Header{}, 6) + "LAME3.99" +
                           mp3gen::ID3v1Tag(title, "Artist", "Album", "2001", "", track, 17);
  const off_t size = off_t(3 << 20) + off_t((album * 131 + track * 8191) % (2 << 20));
  const int fd = open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  if (fd < 0) return;
  bool ok = ftruncate(fd, size) == 0;
  ok = ok && pwrite(fd, head.data(), head.size(), 0) == ssize_t(head.size());
  ok = ok && pwrite(fd, tail.data(), tail.size(), size - off_t(tail.size())) == ssize_t(tail.size());
  close(fd);
  if (!ok) std::remove(path.c_str());
}

// Made once per machine and kept between runs (a marker says it is whole).
std::string TheTree() {
  const fs::path root = fs::temp_directory_path() / "tarn-bench-mp3-library";
  if (!fs::exists(root / "complete")) {
    for (int d = 0; d < kFolders; ++d) {
      const fs::path folder = root / ("Album " + std::to_string(d));
      fs::create_directories(folder);
      for (int f = 1; f <= kFilesPerFolder; ++f) {
        char name[32];
        std::snprintf(name, sizeof name, "Track %02d.mp3", f);
        WriteTrack((folder / name).string(), d, f);
      }
    }
    std::ofstream(root / "complete") << "ok\n";
  }
  return root.string() + char(fs::path::preferred_separator);
}

// Every entry below folder (not "." and ".."), with what a listing gives.
void Walk(const std::string& folder, const std::function<void(const std::string&, const struct stat&)>& each) {
  DIR* d = opendir(folder.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    struct stat st {};
    if (fstatat(dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    const std::string path = folder + e->d_name;
    each(path, st);
    if (S_ISDIR(st.st_mode)) Walk(path + "/", each);
  }
  closedir(d);
}

// Drops the data of every file of the tree from the cache (the folder
// entries stay). The system allows it for files that are not dirty.
void DropFileData(const std::string& root) {
  Walk(root, [](const std::string& path, const struct stat& st) {
    if (!S_ISREG(st.st_mode)) return;
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return;
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    close(fd);
  });
}

bool IsMp3Name(const std::string& path) {
  return path.size() > 4 && strcasecmp(path.c_str() + path.size() - 4, ".mp3") == 0;
}

// The baseline: the tree listed with sizes and dates, and each MP3 file's
// head and tail read, as much as the analysis reads of it.
int PlainWalk(const std::string& root) {
  static std::vector<char> buf(kTagHeadRead);
  int files = 0;
  Walk(root, [&](const std::string& path, const struct stat& st) {
    if (!S_ISREG(st.st_mode) || !IsMp3Name(path)) return;
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return;
    files += pread(fd, buf.data(), kTagHeadRead, 0) > 0;
    if (st.st_size > kTagHeadRead + kTagTailRead)
      benchmark::DoNotOptimize(pread(fd, buf.data(), kTagTailRead, st.st_size - kTagTailRead));
    close(fd);
  });
  return files;
}

// From the start of the scan to its end event (freeing the list afterwards
// is not part of sharing it); the files shared.
int Scan(const std::string& root) {
  plat::SetFixedDriveRootsForTesting({root});
  TShareManager m;
  bool ended = false;
  int added = 0, status = 0;
  // Handlers as the settings dialog assigns them.
  m.OnAddFile = [&](TShareManager*, TShareFile*) { ++added; };
  m.OnScanStatus = [&](TShareManager*, const std::string&) { ++status; };
  m.OnScanEnd = [&](TShareManager*) { ended = true; };
  m.StartScan("*.mp3");
  plat::MainLoop::PumpUntil([&] { return ended; }, -1);
  plat::SetFixedDriveRootsForTesting({});
  return m.Root()->FileCount();
}

// One SCAN of the tree by a tarnctl: the seconds from the command to its
// answer (negative when it failed) and the files it shared.
struct ConsoleScan {
  double seconds = -1;
  int files = 0;
};

ConsoleScan ScanBy(const std::vector<std::string>& argv, const std::string& root) {
  Console c(argv);
  ConsoleScan r;
  // Ready once a first command is answered: start-up is not the scan's.
  if (c.Ask("MP3 \"" + root + "no such file.mp3\"", {"ERROR MP3", "OK MP3"}).empty()) return r;
  std::string answer;
  const double s = Seconds([&] { answer = c.Ask("SCAN \"" + root + "\" *.mp3", {"SCANNED", "ERROR SCAN"}); });
  if (std::sscanf(answer.c_str(), "SCANNED DIRECTORIES=%*d FILES=%d", &r.files) == 1) r.seconds = s;
  return r;
}

struct BestOf {
  double seconds = 1e9;
  void Add(double s) { seconds = std::min(seconds, s); }
};

}  // namespace

int main() {
  plat::MainLoop::Init();
  std::signal(SIGPIPE, SIG_IGN);
  const std::string root = TheTree();
  const std::string findStat = "find '" + root + "' -printf '%p %s %T@\\n' > /dev/null";
  if (std::system(findStat.c_str()) != 0) {
    std::printf("bench_share_scan: `find` is not available\n");
    return 1;
  }

  // Cold and warm, the scan and its baseline taking turns.
  BestOf scanCold, plainCold, scanWarm, plainWarm, find;
  int files = 0, plainFiles = 0;
  for (int round = 0; round < kRounds; ++round) {
    DropFileData(root);
    plainCold.Add(Seconds([&] { plainFiles = PlainWalk(root); }));
    DropFileData(root);
    scanCold.Add(Seconds([&] { files = Scan(root); }));
    plainWarm.Add(Seconds([&] { PlainWalk(root); }));
    scanWarm.Add(Seconds([&] { Scan(root); }));
    find.Add(Seconds([&] { (void)std::system(findStat.c_str()); }));
  }

  TShareManager shares;
  shares.AddDirectory(root, "Library", true, "*.mp3");
  auto walk = [&shares] {
    auto q = shares.Query("/", true);
    int n = 0;
    while (q->Next()) n += !q->IsDirectory;
    return n;
  };
  const int walked = walk();  // lists every folder once
  BestOf query, queryFind;
  for (int round = 0; round < 3; ++round) {
    query.Add(Seconds([&] { walk(); }));
    queryFind.Add(Seconds([&] { (void)std::system(findStat.c_str()); }));
  }

  std::printf("find lists %d folders of %d files with sizes and dates: %.1f ms\n", kFolders, kFilesPerFolder,
              find.seconds * 1000);
  std::printf("disk scan sharing %d MP3 files one by one (mask *.mp3, headers read), best of %d:\n", files, kRounds);
  std::printf("  cold (file data dropped from the cache, folder entries cached): %.1f ms, %.2fx a plain walk reading "
              "each file's head and tail (%.1f ms, %d files)\n",
              scanCold.seconds * 1000, scanCold.seconds / plainCold.seconds, plainCold.seconds * 1000, plainFiles);
  std::printf("  warm: %.1f ms, %.2fx the plain walk (%.1f ms); %.2fx find with sizes and dates\n",
              scanWarm.seconds * 1000, scanWarm.seconds / plainWarm.seconds, plainWarm.seconds * 1000,
              scanWarm.seconds / find.seconds);
  std::printf("recursive query over a share of the tree (%d files, listed before): %.1f ms, %.2fx find with "
              "sizes and dates\n",
              walked, query.seconds * 1000, query.seconds / queryFind.seconds);

  const char* exe = std::getenv("TARN_BENCH_WIN32_TARNCTL");
  if (!exe || !*exe) {
    std::printf("scan under Wine: not run (TARN_BENCH_WIN32_TARNCTL names no Windows build)\n");
    return 0;
  }
  BestOf native, wine;
  ConsoleScan n, w;
  for (int round = 0; round < 3; ++round) {
    n = ScanBy({TARNCTL_PATH}, root);
    w = ScanBy({"wine", exe}, WinePath(root));
    if (n.seconds < 0 || w.seconds < 0) break;
    native.Add(n.seconds);
    wine.Add(w.seconds);
  }
  if (n.seconds < 0 || w.seconds < 0) {
    std::printf("scan under Wine against the native one: %s failed\n", n.seconds < 0 ? "the native scan" : "Wine's");
    return 0;  // the other benchmarks still run
  }
  const double ratio = wine.seconds / native.seconds;
  std::printf("tarnctl SCAN of the tree, warm (%d files native, %d under Wine): Windows build under Wine %.1f ms "
              "(%.1f us per file), native %.1f ms (%.1f us per file): %.2fx the native scan (goal: %.0fx or less) %s\n",
              n.files, w.files, wine.seconds * 1000, wine.seconds * 1e6 / std::max(w.files, 1), native.seconds * 1000,
              native.seconds * 1e6 / std::max(n.files, 1), ratio, kWineGoal, ratio <= kWineGoal ? "met" : "NOT MET");
  return 0;
}
