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
//
// Then the same where the user meets them, the Windows build under Wine
// (when TARN_BENCH_WIN32_TARNCTL names its tarnctl; ./build.sh bench sets
// it, with a persistent wineserver running), the library's share file
// written with the Windows names of its paths:
// - tarnctl ANNOUNCE, a fresh process each round, timed by its own clock;
//   the memory is its working set (what the system shows of the program)
//   after the pass less before it, per file;
// - the program itself (when TARN_BENCH_WIN32_PROGRAM and
//   TARN_BENCH_WIN32_START_WATCH name tarnwick.exe and start_watch.exe),
//   started in a program folder of its own, from its start until its status
//   bar says the files are announced, and its working set then, against the
//   same program started with nothing shared. Best of three starts each.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "bench/bench_console.h"
#include "core/share_manager.h"
#include "peer/napster/napster_client.h"
#include "platform/dispatcher.h"
#include "tools/mp3_builder.h"
#include "tools/process_memory.h"

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
size_t HeapInUse() { return size_t(MeasureProcessMemory().Heap); }

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

// Said beside each figure's goal.
const char* Verdict(bool met) { return met ? "met" : "NOT MET"; }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// ------------------------------------------------------------ under Wine

constexpr int kWineRounds = 3;
constexpr const char* kAnnounced = "Shared files announced";  // the status bar's text

// The library's share file with the Windows names of its paths, beside it.
std::string WineShareFile(const std::string& shareFile) {
  const std::string wine = shareFile + ".wine";
  if (fs::exists(wine) && fs::last_write_time(wine) > fs::last_write_time(shareFile)) return wine;
  TShareManager m;
  m.LoadFromFile(shareFile);
  std::function<void(TShareDirectory*)> rename = [&](TShareDirectory* d) {
    for (int i = 0; i < d->FileCount(); ++i) d->File(i)->SetPath(WinePath(d->File(i)->Path));
    for (int i = 0; i < d->DirectoryCount(); ++i) {
      d->Directory(i)->SetPath(WinePath(d->Directory(i)->Path));
      rename(d->Directory(i));
    }
  };
  rename(m.Root());
  m.SaveToFile(wine);
  return wine;
}

// A value "KEY=123" of an answer line, or -1.
double Field(const std::string& line, const std::string& key) {
  const size_t at = line.find(" " + key + "=");
  return at == std::string::npos ? -1 : std::atof(line.c_str() + at + key.size() + 2);
}

// tarnctl ANNOUNCE of the share file: the load and the whole pass (ms), and
// the working set before and after it (bytes); empty when a round failed.
struct WineAnnounce {
  std::vector<double> load, total, before, after;
};

WineAnnounce AnnounceUnderWine(const std::string& exe, const std::string& shareFile, int files) {
  WineAnnounce w;
  for (int round = 0; round < kWineRounds; ++round) {
    Console c({"wine", exe});
    const std::string before = c.Ask("MEMORY", {"OK MEMORY", "ERROR"});
    const std::string pass = c.Ask("ANNOUNCE \"" + WinePath(shareFile) + "\"", {"OK ANNOUNCE", "ERROR"});
    const std::string after = c.Ask("MEMORY", {"OK MEMORY", "ERROR"});
    if (Field(pass, "FILES") != files || Field(before, "RESIDENT") <= 0 || Field(after, "RESIDENT") <= 0) {
      std::printf("bench_announce: tarnctl under Wine answered: %s", pass.empty() ? "nothing\n" : pass.c_str());
      return {};
    }
    w.load.push_back(Field(pass, "LOAD_MS"));
    w.total.push_back(Field(pass, "TOTAL_MS"));
    w.before.push_back(Field(before, "RESIDENT"));
    w.after.push_back(Field(after, "RESIDENT"));
  }
  return w;
}

// A program folder of its own: the program, its language texts and, when
// given, a share file.
std::string ProgramFolder(const std::string& program, const std::string& name, const std::string& shareFile) {
  const fs::path folder = fs::temp_directory_path() / ("tarn-bench-program-" + name);
  fs::remove_all(folder);
  fs::create_directories(folder);
  const fs::path exe = folder / "tarnwick.exe";
  fs::copy_file(program, exe);
  fs::copy_file(fs::path(program).parent_path() / "Application.flf", folder / "Application.flf");
  if (!shareFile.empty()) fs::copy_file(shareFile, folder / "Shared.dat");
  return exe.string();
}

// The best of the program's starts until the status bar said the files are
// announced: milliseconds and the working set then (bytes); negative when
// it never said so.
struct ProgramStart {
  double ms = -1, resident = -1;
};

ProgramStart StartUnderWine(const std::string& watch, const std::string& exe) {
  ProgramStart best;
  for (int round = 0; round < kWineRounds; ++round) {
    const std::string cmd = "wine '" + watch + "' '" + WinePath(exe) + "' '" + kAnnounced + "' 300 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return {};
    char line[512];
    ProgramStart run;
    while (std::fgets(line, sizeof line, p))
      if (std::sscanf(line, "DONE %lf RESIDENT=%lf", &run.ms, &run.resident) == 2) break;
    while (std::fgets(line, sizeof line, p)) {
    }
    pclose(p);
    if (run.ms < 0) return {};
    if (best.ms < 0 || run.ms < best.ms) best.ms = run.ms;
    best.resident = best.resident < 0 ? run.resident : std::min(best.resident, run.resident);
  }
  return best;
}

void BenchUnderWine(const std::string& shareFile, int files) {
  const char* exe = std::getenv("TARN_BENCH_WIN32_TARNCTL");
  if (!exe || !*exe) {
    std::printf("under Wine: not run (TARN_BENCH_WIN32_TARNCTL names no Windows build)\n");
    return;
  }
  const std::string wineFile = WineShareFile(shareFile);
  const WineAnnounce w = AnnounceUnderWine(exe, wineFile, files);
  if (w.load.empty()) return;
  const double load = Median(w.load), total = Median(w.total);
  std::printf("under Wine, tarnctl ANNOUNCE, %d files: load %.0f ms, load to every file announced %.0f ms, %.2fx the "
              "load (goal: %.1fx or less) %s\n",
              files, load, total, total / load, kTimeGoal, Verdict(total / load <= kTimeGoal));
  std::vector<double> grown;
  for (size_t i = 0; i < w.after.size(); ++i) grown.push_back(w.after[i] - w.before[i]);
  const double perFile = Median(grown) / files;
  std::printf("under Wine, tarnctl's working set with %d files shared: %.1f MB more than before them (%.1f MB), %.0f "
              "bytes per file (goal: %.0f or less) %s\n",
              files, Median(grown) / 1e6, Median(w.before) / 1e6, perFile, kBytesGoal,
              Verdict(perFile <= kBytesGoal));

  const char* program = std::getenv("TARN_BENCH_WIN32_PROGRAM");
  const char* watch = std::getenv("TARN_BENCH_WIN32_START_WATCH");
  if (!program || !*program || !watch || !*watch) {
    std::printf("under Wine, the program's start: not run (TARN_BENCH_WIN32_PROGRAM, TARN_BENCH_WIN32_START_WATCH)\n");
    return;
  }
  // Its setup is complete (no wizard); a first start shares only its empty
  // download folder.
  if (std::system("wine reg add 'HKCU\\Software\\Tarnwick_26' /v SetupComplete18 /d 1 /f >/dev/null 2>&1") != 0) {
    std::printf("under Wine, the program's start: the registry could not be set\n");
    return;
  }
  const ProgramStart empty = StartUnderWine(watch, ProgramFolder(program, "empty", ""));
  const ProgramStart full = StartUnderWine(watch, ProgramFolder(program, "library", wineFile));
  if (empty.ms < 0 || full.ms < 0) {
    std::printf("under Wine, the program's start: the status bar never said \"%s\"\n", kAnnounced);
    return;
  }
  std::printf("under Wine, the program with %d files: from its start to \"%s\" %.0f ms (with nothing shared "
              "%.0f ms), %.2fx the load of its share file above (goal: %.1fx or less) %s\n",
              files, kAnnounced, full.ms, empty.ms, full.ms / load, kTimeGoal,
              Verdict(full.ms / load <= kTimeGoal));
  const double programPerFile = (full.resident - empty.resident) / files;
  std::printf("under Wine, the program's working set then: %.1f MB (with nothing shared %.1f MB), %.0f bytes per file "
              "(goal: %.0f or less) %s\n",
              full.resident / 1e6, empty.resident / 1e6, programPerFile, kBytesGoal,
              Verdict(programPerFile <= kBytesGoal));
}

}  // namespace

int main() {
  plat::MainLoop::Init();
  std::signal(SIGPIPE, SIG_IGN);
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
                "load (goal: %.1fx or less) %s\n",
                sizes[i], load * 1000, total * 1000, total / load, kTimeGoal, Verdict(total / load <= kTimeGoal));
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
              "(goal: %.0f or less) %s: the share tree %.0f, the client's list %.0f\n",
              sizes.back(), double(shared - empty) / 1e6, double(empty - before) / 1e6, double(shared - empty) / n,
              kBytesGoal, Verdict(double(shared - empty) / n <= kBytesGoal), double(loaded - empty) / n,
              double(shared - loaded) / n);
  p.reset();

  BenchUnderWine(files.back(), sizes.back());
  return 0;
}
