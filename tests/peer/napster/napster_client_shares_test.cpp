// test-label: concurrency
// The client component's folder scans: the share tree walked on the
// scanner's thread, entries listed once, empty files skipped, and the
// scan's reports reaching the handlers on the main thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "core/share_manager.h"
#include "peer/napster/napster_client.h"
#include "peer/napster/napster_helpers.h"
#include "platform/dispatcher.h"
#include "platform/text.h"
#include "tests/support/test_util.h"
#include "tools/fake_napster_server.h"
#include "tools/mp3_builder.h"
#include "tools/napster_client_harness.h"

namespace {

constexpr char D = plat::kPathDelim;

TEST(ClientScan, ScansListEachFileOnceAndEndOnTheMainThread) {
  const std::string dir = testutil::TempFolder("clientscan");
  const std::string song = dir + "song.mp3";
  const std::string text = dir + "one" + D + "a.txt";
  ASSERT_TRUE(mp3gen::WriteFile(song, mp3gen::Frames(mp3gen::Header{}, 100)));
  ASSERT_TRUE(mp3gen::WriteFile(text, "words"));
  ASSERT_TRUE(mp3gen::WriteFile(dir + "one" + D + "empty.txt", ""));
  ASSERT_TRUE(mp3gen::WriteFile(dir + "marked.txt", "marked"));
  TShareManager m;
  m.AddFile(song, "song.mp3");
  TShareDirectory* one = m.AddDirectory(dir + "one", "One", true, "");
  one->AddFile(text, "a.txt");
  one->AddFile(dir + "one" + D + "empty.txt", "empty.txt");

  TNapsterEventLines lines;
  TNapsterClient c;
  ApplyMainWindowProperties(c);
  lines.Attach(c);
  bool offMain = false;
  int finished = 0;
  std::vector<std::string> added;
  c.OnScanFinished = [&](TNapsterClient*) {
    offMain = offMain || !plat::MainLoop::IsMainThread();
    finished++;
  };
  c.OnAddFile = [&](TNapsterClient*, const std::string& file, const std::string& request, const std::string&, int,
                    int, int, int64_t, bool) {
    offMain = offMain || !plat::MainLoop::IsMainThread();
    added.push_back(file + "|" + request);
  };

  // Without a share tree a scan ends at once.
  c.ScanAllDrives("*.mp3,,*.txt");
  EXPECT_EQ(finished, 1);

  c.ShareFile(dir + "marked.txt", true);
  ASSERT_EQ(c.SharedCount(), 1);
  c.ShareManager = &m;
  c.ScanAllDrives("*.mp3,,*.txt");  // the marked file goes first
  ASSERT_TRUE(testutil::PumpUntil([&] { return finished == 2; }, 8000));
  EXPECT_EQ(lines.Find("OnRemoveFile"), "OnRemoveFile FILENAME=" + EventValueText(dir + "marked.txt"));
  EXPECT_EQ(c.SharedCount(), 2);  // the empty file is not shared
  EXPECT_EQ(added, (std::vector<std::string>{song + "|" + song, text + "|" + EncodeNonMp3Name(text)}));

  // A second scan finds them listed already: no second entries.
  c.ScanFolders("*.mp3,,*.txt", true);
  ASSERT_TRUE(testutil::PumpUntil([&] { return finished == 3; }, 8000));
  EXPECT_EQ(c.SharedCount(), 2);
  c.ShareFile(song, true);  // listed already: nothing changes
  EXPECT_EQ(c.SharedCount(), 2);
  c.UnshareFile(song);  // outside the folder list: state 2, withdrawn
  EXPECT_EQ(c.SharedCount(), 1);
  c.UnshareFile(song);
  EXPECT_EQ(c.SharedCount(), 1);
  EXPECT_FALSE(offMain);
  c.StopScan();
}

TEST(ClientScan, ShutdownStopsARunningScan) {
  const std::string dir = testutil::TempFolder("clientscan-stop");
  TShareManager m;
  for (int i = 0; i < 5; i++) {
    const std::string f = dir + "f" + std::to_string(i) + ".txt";
    ASSERT_TRUE(mp3gen::WriteFile(f, "words"));
    m.AddFile(f, "f" + std::to_string(i) + ".txt");
  }
  TNapsterClient c;
  c.ShareManager = &m;
  int added = 0, finished = 0;
  // The scan waits for each report: shut down at the first one.
  c.OnAddFile = [&](TNapsterClient* sender, const std::string&, const std::string&, const std::string&, int, int,
                    int, int64_t, bool) {
    if (++added == 1) sender->Shutdown();
  };
  c.OnScanFinished = [&](TNapsterClient*) { finished++; };
  c.ScanAllDrives("*.txt");
  ASSERT_TRUE(testutil::PumpUntil([&] { return finished == 1; }, 8000));
  EXPECT_EQ(added, 1);
  EXPECT_EQ(c.SharedCount(), 1);
}

// A client component logged in to a harness server, with a file to share.
struct LoggedIn {
  std::string file;
  FakeNapsterServer server;
  TNapsterEventLines lines;
  TNapsterClient c;
  std::string id;
  explicit LoggedIn(const std::string& tag) : file(testutil::TempFolder(tag) + "notes.txt") {
    EXPECT_TRUE(mp3gen::WriteFile(file, "words"));
    EXPECT_TRUE(server.Start());
    ApplyMainWindowProperties(c);
    lines.Attach(c);
    c.StartSession("127.0.0.1", server.Port(), "me", "pw", "", false, false, id);
    EXPECT_TRUE(lines.Wait("OnLogin", 1, 6000)) << lines.Text();
  }
  // Runs f in a handler, while the session waits for it (so nothing drains
  // its queue meanwhile).
  void WhileTheSessionWaits(const std::function<void()>& f) {
    bool done = false;
    c.OnPrivMsg = [&](TNapsterClient*, const std::string&, const std::string&, const std::string&) {
      f();
      done = true;
    };
    ASSERT_TRUE(server.Send(205, "bob hello"));
    ASSERT_TRUE(testutil::PumpUntil([&] { return done; }, 6000));
  }
};

// One record tells every session that the shares changed. A session whose
// queue was full when it was posted never got it: the timer posts it again,
// so that session's server still hears of the change.
TEST(ClientShares, AChangeAFullQueueLeftOutIsPostedAgain) {
  LoggedIn l("clientshares");
  l.WhileTheSessionWaits([&] {
    for (int i = 0; i < TMessagePumpConnection::kQueueLimit; i++) l.c.GetStats(l.id);
    l.c.ShareFile(l.file, true);
  });
  ASSERT_TRUE(testutil::PumpUntil([&] { return l.server.CountOfType(100) == 1; }, 6000));
  NapsterMessage announced;
  ASSERT_TRUE(l.server.WaitForType(100, 0, &announced));
  EXPECT_EQ(announced.Text.substr(0, EncodeNonMp3Name(l.file).size() + 1), "\"" + EncodeNonMp3Name(l.file));
}

// A server lists a file under its figures: a listed file whose figures
// changed is withdrawn and announced again with them, also when the change
// reaches the session as a withdrawal and an addition under one name at
// once.
TEST(ClientShares, AFileWhoseFiguresChangedIsAnnouncedAgain) {
  LoggedIn l("clientshares-figures");
  l.c.ShareFile(l.file, true);
  const std::string name = "\"" + EncodeNonMp3Name(l.file) + "\" ";
  const auto announced = [&](int n, const std::string& size) {
    EXPECT_TRUE(testutil::PumpUntil([&] { return l.server.CountOfType(100) == n; }, 6000));
    NapsterMessage m;
    ASSERT_TRUE(l.server.WaitForType(100, 0, &m, n));
    EXPECT_EQ(m.Text.substr(0, name.size()), name);
    EXPECT_NE(m.Text.find(" " + size + " "), std::string::npos) << m.Text;
    EXPECT_EQ(l.server.CountOfType(102), n - 1);
  };
  announced(1, "5");
  l.WhileTheSessionWaits([&] {
    l.c.UnshareFile(l.file);
    ASSERT_TRUE(mp3gen::WriteFile(l.file, "more words"));
    l.c.ShareFile(l.file, true);
  });
  announced(2, "10");
  ASSERT_TRUE(mp3gen::WriteFile(l.file, "a few more words"));
  l.c.ShareFile(l.file, true);
  announced(3, "16");
  EXPECT_EQ(l.c.SharedCount(), 1);
}

}  // namespace

// The announce pass as it was first written, one file at a time over plain
// lists: what the indexed, batched pass must report, event for event.
struct ReferenceAnnounce {
  struct Entry {
    std::string path, line;
  };
  std::vector<Entry> listed;

  static std::string Line(const std::string& path, bool mp3, int rate, int hz, int secs, uint32_t size) {
    const std::string request = mp3 ? path : EncodeNonMp3Name(path);
    const std::string md5 = mp3 ? "AAAAAAAAAAAAAAAAA" : "AAAAAAAAAAAAAAAAAAAAAA";
    if (!mp3) rate = 24, hz = 16000, secs = 60;
    return path + "|" + request + "|" + md5 + "|" + std::to_string(rate) + "|" + std::to_string(hz) + "|" +
           std::to_string(secs) + "|" + std::to_string(size) + "|" + (mp3 ? "mp3" : "other");
  }
  // The OnAddFile lines of one scan over the tree.
  std::vector<std::string> Scan(TShareManager& m) {
    std::vector<std::string> events;
    for (auto q = m.Query("/", true); q->Next();) {
      if (q->IsDirectory) continue;
      auto same = [&](const Entry& e) { return plat::SameText(e.path, q->Path); };
      const bool shareable = q->IsMP3 || q->Size > 0;
      if (shareable && std::none_of(listed.begin(), listed.end(), same))
        listed.push_back({q->Path, Line(q->Path, q->IsMP3, q->BitRate, q->SampleRate, q->Seconds, q->Size)});
      for (const Entry& e : listed)
        if (same(e)) events.push_back(e.line);
    }
    return events;
  }
};

TEST(ClientScan, ALibraryWithRepeatedAndCaseDifferingNamesAnnouncesAsFileByFile) {
  // Folders whose tracks repeat their names, more files than one hand-over
  // holds, paths reported twice, and paths that differ in case only (one
  // file where the disk folds case, two where it does not).
  const std::string dir = testutil::TempFolder("clientscan-library");
  const std::string song = mp3gen::Frames(mp3gen::Header{}, 20);
  TShareManager m;
  for (const char* name : {"Song.mp3", "SONG.mp3", "notes.txt", "NOTES.TXT", "empty.txt"}) {
    ASSERT_TRUE(mp3gen::WriteFile(dir + name, std::string(name) == "empty.txt" ? "" : song));
    m.AddFile(dir + name, name);
  }
  for (int album = 0; album < 6; ++album) {
    const std::string folder = dir + "Music" + D + "Album " + std::to_string(album) + D;
    for (int t = 1; t <= 100; ++t) {
      const std::string name = (t % 10 ? "Track " : "TRACK ") + std::to_string(t) + (t % 3 ? ".mp3" : ".ogg");
      ASSERT_TRUE(mp3gen::WriteFile(folder + name, t % 2 ? song : "x"));
    }
  }
  // Two shares of one folder: each of its files reported twice.
  m.AddDirectory(dir + "Music", "Music", true, "*.*");
  m.AddDirectory(dir + "Music", "Music again", true, "*.*");

  TNapsterClient c;
  c.ShareManager = &m;
  std::vector<std::string> added, removed;
  int finished = 0;
  c.OnAddFile = [&](TNapsterClient*, const std::string& file, const std::string& request, const std::string& md5,
                    int rate, int hz, int secs, int64_t size, bool mp3) {
    std::string line = ReferenceAnnounce::Line(file, mp3, rate, hz, secs, uint32_t(size));
    EXPECT_EQ(request + "|" + md5, line.substr(file.size() + 1, request.size() + 1 + md5.size())) << file;
    added.push_back(line);
  };
  c.OnRemoveFile = [&](TNapsterClient*, const std::string& file) { removed.push_back(file); };
  c.OnScanFinished = [&](TNapsterClient*) { finished++; };

  ReferenceAnnounce reference;
  c.ScanAllDrives("*.*");
  ASSERT_TRUE(testutil::PumpUntil([&] { return finished == 1; }, 30000));
  const std::vector<std::string> expected = reference.Scan(m);
  ASSERT_GT(expected.size(), 1000u);
  EXPECT_EQ(added, expected);
  EXPECT_EQ(c.SharedCount(), int(reference.listed.size()));

  // Listed again: nothing new, every file reported once more.
  added.clear();
  c.ScanFolders("*.*", true);
  ASSERT_TRUE(testutil::PumpUntil([&] { return finished == 2; }, 30000));
  EXPECT_EQ(added, reference.Scan(m));
  EXPECT_TRUE(removed.empty());
  EXPECT_EQ(c.SharedCount(), int(reference.listed.size()));

  // Withdrawn by path in any case, once.
  c.UnshareFile(plat::UpperCase(dir) + "NOTES.TXT");
  c.UnshareFile(dir + "notes.txt");
  EXPECT_EQ(removed.size(), 1u);
  EXPECT_EQ(c.SharedCount(), int(reference.listed.size()) - 1);
}
