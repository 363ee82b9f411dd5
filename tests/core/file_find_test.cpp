// test-label: concurrency
// The shared-files enumerator: items in query order, events on the right
// threads, stopping, several runs, and teardown while runs are alive.
#include "core/file_find.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <map>

#include "core/share_manager.h"
#include "platform/dispatcher.h"
#include "tests/support/test_util.h"
#include "tools/mp3_builder.h"

namespace {

namespace fs = std::filesystem;
constexpr char D = plat::kPathDelim;

void Put(const std::string& path, const std::string& bytes = "x") {
  ASSERT_TRUE(mp3gen::WriteFile(path, bytes)) << path;
}

// Collects what runs report.
struct Listener {
  std::vector<std::pair<std::string, std::string>> items;  // id, path
  std::vector<std::string> ends;
  std::atomic<int> threadItems{0};
  std::atomic<bool> wrongThread{false};
  void Attach(TFileFind& f) {
    f.OnSearchItem = [this](TFileFind*, const std::string& id, const std::string& path) {
      if (!plat::MainLoop::IsMainThread()) wrongThread = true;
      items.emplace_back(id, path);
    };
    f.OnSearchEnd = [this](TFileFind*, const std::string& id) {
      if (!plat::MainLoop::IsMainThread()) wrongThread = true;
      ends.push_back(id);
    };
  }
  bool WaitEnds(size_t n) {
    return testutil::PumpUntil([&] { return ends.size() >= n; }, 20000);
  }
};

TEST(FileFind, EmptyTreeStillEnds) {
  TShareManager m;
  TFileFind find(&m);
  Listener l;
  l.Attach(find);
  std::string id;
  find.Start("*.mp3", 7, id);
  EXPECT_FALSE(id.empty());
  ASSERT_TRUE(l.WaitEnds(1));
  EXPECT_EQ(l.ends[0], id);
  EXPECT_TRUE(l.items.empty());
  EXPECT_FALSE(l.wrongThread);
  EXPECT_EQ(find.Running(), 0);
}

TEST(FileFind, ItemsInQueryOrder) {
  const std::string dir = testutil::TempFolder("find");
  const std::string song = mp3gen::Frames(mp3gen::Header{}, 100);
  Put(dir + "solo.mp3", song);
  Put(dir + "one" + D + "a.txt");
  Put(dir + "one" + D + "sub" + D + "c.txt");
  Put(dir + "two" + D + "d.txt");
  TShareManager m;
  m.AddFile(dir + "solo.mp3", "solo.mp3");
  TShareDirectory* one = m.AddDirectory(dir + "one", "One", true, "");
  m.AddDirectory(dir + "two", "Two", true, "");
  one->AddFile(dir + "one" + D + "a.txt", "a.txt");
  one->AddDirectory(dir + "one" + D + "sub", "sub", true);

  TFileFind find(&m);
  EXPECT_TRUE(find.AddFolder(dir + "one" + D));
  EXPECT_FALSE(find.AddFolder(dir + "missing"));
  Listener l;
  l.Attach(find);
  std::map<std::string, std::tuple<bool, int, int, int, uint32_t>> figures;
  std::mutex figuresLock;
  find.OnThreadSearchItem = [&](TFileFindThread* sender, const std::string& id,
                                const std::string& path, bool mp3, int rate, int hz, int secs,
                                uint32_t size) {
    if (plat::MainLoop::IsMainThread() || !id.empty() || !sender) l.wrongThread = true;
    std::lock_guard<std::mutex> g(figuresLock);
    figures[path] = {mp3, rate, hz, secs, size};
    ++l.threadItems;
  };
  std::string id;
  find.Start("*.mp3,,*.txt", 1, id);
  ASSERT_TRUE(l.WaitEnds(1));
  std::vector<std::string> paths;
  for (const auto& [itemId, path] : l.items) {
    EXPECT_EQ(itemId, id);
    paths.push_back(path);
  }
  EXPECT_EQ(paths, (std::vector<std::string>{dir + "solo.mp3", dir + "one" + D + "a.txt",
                                             dir + "one" + D + "sub" + D + "c.txt",
                                             dir + "two" + D + "d.txt"}));
  EXPECT_EQ(l.threadItems.load(), 4);
  EXPECT_FALSE(l.wrongThread);
  std::lock_guard<std::mutex> g(figuresLock);
  EXPECT_EQ(figures[dir + "solo.mp3"], std::make_tuple(true, 128, 44100, 3, uint32_t(song.size())));
}

TEST(FileFind, StopEndsAfterAtMostOneMoreItem) {
  const std::string dir = testutil::TempFolder("findstop");
  for (int i = 0; i < 200; ++i) Put(dir + "s" + D + "f" + std::to_string(i) + ".txt");
  TShareManager m;
  m.AddDirectory(dir + "s", "S", true, "");
  TFileFind find(&m);
  Listener l;
  l.Attach(find);
  find.OnSearchItem = [&](TFileFind* sender, const std::string& id, const std::string& path) {
    l.items.emplace_back(id, path);
    sender->Stop();
  };
  std::string id;
  find.Start("", 0, id);
  ASSERT_TRUE(l.WaitEnds(1));
  EXPECT_GE(l.items.size(), 1u);
  EXPECT_LE(l.items.size(), 2u);
  EXPECT_EQ(l.ends[0], id);
}

TEST(FileFind, SeveralRunsAndTeardown) {
  const std::string dir = testutil::TempFolder("findmany");
  for (int i = 0; i < 100; ++i) Put(dir + "s" + D + "f" + std::to_string(i) + ".txt");
  auto m = std::make_unique<TShareManager>();
  m->AddDirectory(dir + "s", "S", true, "");

  {
    TFileFind find(m.get());
    Listener l;
    l.Attach(find);
    std::string a, b;
    find.Start("", 0, a);
    find.Start("", 0, b);
    EXPECT_NE(a, b);
    ASSERT_TRUE(l.WaitEnds(2));
    EXPECT_EQ(l.items.size(), 200u);
    EXPECT_EQ(std::set<std::string>(l.ends.begin(), l.ends.end()),
              (std::set<std::string>{a, b}));
  }

  // Destroyed while runs walk: it waits for them and reports no more ends.
  {
    Listener l;
    auto find = std::make_unique<TFileFind>(m.get());
    l.Attach(*find);
    find->OnThreadSearchItem = [](TFileFindThread*, const std::string&, const std::string&,
                                  bool, int, int, int, uint32_t) { plat::Thread::Sleep(1); };
    std::string a, b;
    find->Start("", 0, a);
    find->Start("", 0, b);
    ASSERT_TRUE(testutil::PumpUntil([&] { return !l.items.empty(); }));
    find.reset();
    EXPECT_TRUE(l.ends.empty());
    EXPECT_LT(l.items.size(), 200u);
  }

  // The manager goes away while a run walks: the run's query answers no
  // more items and the run still ends.
  {
    TFileFind find(m.get());
    Listener l;
    l.Attach(find);
    find.OnThreadSearchItem = [](TFileFindThread*, const std::string&, const std::string&,
                                 bool, int, int, int, uint32_t) { plat::Thread::Sleep(1); };
    std::string id;
    find.Start("", 0, id);
    ASSERT_TRUE(testutil::PumpUntil([&] { return !l.items.empty(); }));
    m.reset();
    ASSERT_TRUE(l.WaitEnds(1));
    EXPECT_LT(l.items.size(), 100u);
  }
}

}  // namespace
