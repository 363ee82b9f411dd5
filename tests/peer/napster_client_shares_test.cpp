// test-label: concurrency
// The client component's folder scans: the share tree walked on the
// scanner's thread, entries listed once, empty files skipped, and the
// scan's reports reaching the handlers on the main thread.
#include <gtest/gtest.h>

#include "core/share_manager.h"
#include "peer/napster_client.h"
#include "peer/napster_helpers.h"
#include "platform/dispatcher.h"
#include "tests/support/test_util.h"
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

}  // namespace
