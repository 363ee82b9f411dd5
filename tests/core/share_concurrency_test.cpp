// test-label: concurrency
// The share tree under concurrent use: queries walking while other threads
// change the disk, add, rename, remove, save, load and clear, and an
// enumerator walking while a disk scan adds shares. Run under the thread
// sanitizer; entries freed while a query holds them show under the
// address sanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "core/file_find.h"
#include "core/share_manager.h"
#include "platform/dispatcher.h"
#include "tests/support/test_util.h"
#include "tools/mp3_builder.h"

namespace {

namespace fs = std::filesystem;
constexpr char D = plat::kPathDelim;

void Put(const std::string& path, const std::string& bytes = "x") {
  mp3gen::WriteFile(path, bytes);
}

// share/dN/fM.txt and a few MP3 files.
std::string MakeTree(const std::string& root, int folders, int files) {
  const std::string song = mp3gen::Frames(mp3gen::Header{}, 30);
  for (int d = 0; d < folders; ++d)
    for (int f = 0; f < files; ++f)
      Put(root + "d" + std::to_string(d) + D + "f" + std::to_string(f) +
              (f % 4 == 0 ? ".mp3" : ".txt"),
          f % 4 == 0 ? song : "text");
  return root;
}

// prefix + number (built by appending, which keeps one compiler's
// overlap warning quiet).
std::string Numbered(const char* prefix, int i) {
  std::string s = prefix;
  s += std::to_string(i);
  return s;
}

// Runs the workers while the main thread serves their calls into it.
void RunAll(std::vector<std::function<void()>> work) {
  std::atomic<int> done{0};
  std::vector<std::thread> threads;
  for (auto& w : work)
    threads.emplace_back([&done, w] {
      w();
      ++done;
    });
  EXPECT_TRUE(testutil::PumpUntil([&] { return done.load() == int(threads.size()); }, 200000));
  for (auto& t : threads) t.join();
}

TEST(ShareConcurrency, QueriesWhileTheTreeChanges) {
  const std::string dir = testutil::TempFolder("stress");
  const std::string a = MakeTree(dir + "a" + D, 4, 6);
  const std::string b = MakeTree(dir + "b" + D, 2, 4);
  const std::string file = dir + "Shared.dat";
  TShareManager m;
  m.AddDirectory(a, "A", true, "*.txt,*.mp3");
  m.AddDirectory(b, "B", true, "");
  ASSERT_TRUE(m.SaveToFile(file));
  std::atomic<bool> walking{true};
  std::atomic<int> walks{0};

  auto walker = [&](const std::string& path) {
    return [&, path] {
      for (int i = 0; i < 12; ++i) {
        auto q = m.Query(path, true);
        int n = 0;
        while (q->Next() && n < 100000) {
          // Fields are the walker's own copies.
          if (!q->IsDirectory && q->SharePath.empty()) ADD_FAILURE() << "file without path";
          ++n;
          if (n == 5) plat::Thread::Sleep(1);  // hold the query across changes
        }
        ++walks;
      }
    };
  };
  auto disk = [&] {
    for (int i = 0; walking && i < 60; ++i) {
      const std::string n = std::to_string(i);
      Put(a + "d" + std::to_string(i % 4) + D + "new" + n + ".txt");
      std::error_code ec;
      fs::create_directories(a + "tmp" + n, ec);
      Put(a + "tmp" + n + D + "t.txt");
      if (i >= 2) {
        fs::remove_all(a + "tmp" + std::to_string(i - 2), ec);
        fs::remove(a + "d" + std::to_string((i - 2) % 4) + D + "new" + std::to_string(i - 2) + ".txt", ec);
      }
      plat::Thread::Sleep(2);
    }
  };
  auto editor = [&] {
    for (int i = 0; i < 40; ++i) {
      // The nodes added here are only used while a query of this thread
      // lives: loads and clears on other threads then mark them instead of
      // freeing them.
      auto hold = m.Query("/none", false);
      TShareFile* f = m.AddFile(a + "d0" + D + "f1.txt", Numbered("Loose", i));
      TShareDirectory* d = m.AddDirectory(b, Numbered("B", i), i % 2 == 0, "");
      if (f) f->SetName(Numbered("Renamed", i));
      d->SetName(Numbered("C", i));
      d->SetMasks(i % 3 ? "*.txt" : "");
      d->SetIncludeSubfolders(i % 2 == 1);
      EXPECT_GE(m.SaveToString().size(), 9u);
      if (i % 5 == 0) m.SaveToFile(dir + "edit.dat");
      if (f) f->Remove();
      if (i % 2) d->Remove();
      m.Root()->Update();
    }
  };
  auto loader = [&] {
    for (int i = 0; i < 10; ++i) {
      plat::Thread::Sleep(5);
      EXPECT_TRUE(m.LoadFromFile(file));
      if (i % 3 == 0) m.ClearFiles();
      if (i % 4 == 0) m.ClearDirectories();
    }
    walking = false;
  };
  RunAll({walker("/"), walker("/A"), walker("\\a\\d1"), disk, editor, loader});
  EXPECT_EQ(walks.load(), 36);
  EXPECT_EQ(m.LiveQueries(), 0);

  // Quiet again: a last walk reports what the disk holds.
  ASSERT_TRUE(m.LoadFromFile(file));
  auto q = m.Query("/", true);
  int files = 0;
  while (q->Next())
    if (!q->IsDirectory) {
      ++files;
      EXPECT_TRUE(plat::FileExists(q->Path)) << q->Path;
    }
  EXPECT_GE(files, 4 * 6 + 2 * 4);
}

TEST(ShareConcurrency, EnumeratorWhileAScanAddsShares) {
  const std::string dir = testutil::TempFolder("scanwalk");
  MakeTree(dir + "Music1" + D, 3, 4);
  MakeTree(dir + "Music2" + D, 3, 4);
  MakeTree(dir + "loose" + D, 2, 4);
  plat::SetFixedDriveRootsForTesting({dir});

  TShareManager m;
  m.AddRule("*MUSIC?", "", "Music");
  TFileFind find(&m);
  std::atomic<int> threadItems{0};
  find.OnThreadSearchItem = [&](TFileFindThread*, const std::string&, const std::string& path,
                                bool, int, int, int, uint32_t) {
    if (path.empty()) ADD_FAILURE();
    ++threadItems;
  };
  int ends = 0, scanEnds = 0;
  find.OnSearchEnd = [&](TFileFind*, const std::string&) { ++ends; };
  m.OnScanEnd = [&](TShareManager*) { ++scanEnds; };

  std::atomic<bool> stopDisk{false};
  std::thread disk([&] {
    for (int i = 0; !stopDisk && i < 200; ++i) {
      Put(dir + "Music1" + D + "d0" + D + "n" + std::to_string(i) + ".mp3");
      plat::Thread::Sleep(1);
    }
  });
  for (int round = 0; round < 4; ++round) {
    m.StartScan("*.mp3");
    std::string id1, id2;
    find.Start("", 0, id1);
    find.Start("", 0, id2);
    ASSERT_TRUE(testutil::PumpUntil([&] { return ends == 2 * (round + 1); }, 60000));
    if (round % 2) m.StopScan();
    ASSERT_TRUE(testutil::PumpUntil([&] { return scanEnds == round + 1; }, 60000));
  }
  stopDisk = true;
  disk.join();
  plat::SetFixedDriveRootsForTesting({});
  EXPECT_GT(threadItems.load(), 0);
  EXPECT_EQ(m.LiveQueries(), 0);
}

}  // namespace
