// test-label: concurrency
// Folder walks and the disk scan: rules, coverage by shares, name
// de-duplication, events on the main thread, stopping; the scanning rules
// file and the call sequences of the settings dialog and the setup wizard.
#include "core/file_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "core/mpeg.h"
#include "core/share_manager.h"
#include "platform/dispatcher.h"
#include "platform/text.h"
#include "tests/support/test_util.h"
#include "tools/mp3_builder.h"

namespace {

namespace fs = std::filesystem;
constexpr char D = plat::kPathDelim;

void Put(const std::string& path, const std::string& bytes = "x") {
  ASSERT_TRUE(mp3gen::WriteFile(path, bytes)) << path;
}

std::string Folder(const std::string& path) {
  fs::create_directories(path);
  return path;
}

// Scan roots for one test, reset afterwards.
struct Roots {
  explicit Roots(std::vector<std::string> r) { plat::SetFixedDriveRootsForTesting(std::move(r)); }
  ~Roots() { plat::SetFixedDriveRootsForTesting({}); }
};

// What a scan announced, with a check that every event arrived on the
// main thread.
struct Recorder {
  std::vector<std::string> dirs, files, status;
  int ends = 0;
  bool offMain = false;
  void Attach(TShareManager& m) {
    m.OnAddDirectory = [this](TShareManager*, TShareDirectory* d) {
      offMain |= !plat::MainLoop::IsMainThread();
      dirs.push_back(d->Name);
    };
    m.OnAddFile = [this](TShareManager*, TShareFile* f) {
      offMain |= !plat::MainLoop::IsMainThread();
      files.push_back(f->Name);
    };
    m.OnScanStatus = [this](TShareManager*, const std::string& path) {
      offMain |= !plat::MainLoop::IsMainThread();
      status.push_back(path);
    };
    m.OnScanEnd = [this](TShareManager*) {
      offMain |= !plat::MainLoop::IsMainThread();
      ++ends;
    };
  }
  bool WaitEnd(int n = 1) { return testutil::PumpUntil([&] { return ends >= n; }, 20000); }
};

std::set<std::string> ShareNames(TShareManager& m) {
  std::set<std::string> names;
  for (int i = 0; i < m.Root()->DirectoryCount(); ++i)
    if (!m.Root()->DirectoryRemoved(i)) names.insert(m.Root()->Directory(i)->Name);
  return names;
}

std::multiset<std::string> RootFileNames(TShareManager& m) {
  std::multiset<std::string> names;
  for (int i = 0; i < m.Root()->FileCount(); ++i) names.insert(m.Root()->File(i)->Name);
  return names;
}

TEST(FileScan, WalksATreeAndPassesOverFoldersThatCannotBeListed) {
  const std::string r = testutil::TempFolder("walk");
  Put(r + "a" + D + "1.txt");
  Put(r + "b" + D + "2.txt");
  Put(r + "c" + D + "3.txt");
  Put(r + "top.txt", "12345");

  TFileScan flat;
  flat.Start(" " + r + " ", false);
  std::set<std::string> names;
  while (flat.Next()) {
    names.insert(flat.Name);
    if (flat.Name == "top.txt") {
      EXPECT_EQ(flat.Size, 5);
      EXPECT_EQ(flat.FullPath, r + "top.txt");
      EXPECT_FALSE(flat.Directory);
    }
    if (flat.Name == "a") {
      EXPECT_TRUE(flat.Directory);
    }
  }
  EXPECT_EQ(names, (std::set<std::string>{".", "..", "a", "b", "c", "top.txt"}));

  // Recursive: after the top level has been reported, the folder that
  // would be listed next disappears; the walk goes on with the others.
  TFileScan walk;
  walk.Start(r, true);
  std::string lastFolder;
  for (int i = 0; i < 6; ++i) {
    ASSERT_TRUE(walk.Next());
    if (walk.Directory && walk.Name != "." && walk.Name != "..") lastFolder = walk.Name;
  }
  fs::remove_all(r + lastFolder);
  std::set<std::string> files;
  while (walk.Next())
    if (!walk.Directory) files.insert(walk.Name);
  EXPECT_EQ(files.size(), 2u);
  EXPECT_EQ(files.count(lastFolder == "a" ? "1.txt" : lastFolder == "b" ? "2.txt" : "3.txt"), 0u);

  TFileScan none;
  none.Start(r + "missing", true);
  EXPECT_FALSE(none.Next());

#ifndef _WIN32
  // A folder without permissions (for users the system holds to them).
  if (geteuid() != 0) {
    Put(r + "locked" + D + "hidden.txt");
    fs::permissions(r + "locked", fs::perms::none);
    TFileScan locked;
    locked.Start(r, true);
    std::set<std::string> seen;
    while (locked.Next()) seen.insert(locked.Name);
    fs::permissions(r + "locked", fs::perms::owner_all);
    EXPECT_EQ(seen.count("locked"), 1u);
    EXPECT_EQ(seen.count("hidden.txt"), 0u);
    EXPECT_EQ(seen.count("top.txt"), 1u);
  }
#endif
}

TEST(ShareScan, RulesCoverageAndNames) {
  const std::string r = testutil::TempFolder("scan");
  const std::string song = mp3gen::Frames(mp3gen::Header{}, 60);
  Put(r + "Music" + D + "a.mp3", song);
  Put(r + "Music" + D + "Deep" + D + "b.mp3", song);  // below a share: covered
  Folder(r + "other" + D + "MusicToo");
  Put(r + "loose" + D + "x.mp3", song);
  Put(r + "loose2" + D + "x.mp3", song);
  Put(r + "loose" + D + "readme.txt");
  Put(r + "flat" + D + "f.mp3", song);           // in a share without subfolders
  Put(r + "flat" + D + "inner" + D + "g.mp3", song);  // below it: taken
  Roots roots({r});

  TShareManager m;
  Recorder rec;
  rec.Attach(m);
  m.AddRule("*MUSIC*", "", "Music");
  TShareDirectory* flat = m.AddDirectory(r + "flat", "Flat", false, "");
  m.StartScan("*.mp3");
  EXPECT_TRUE(m.Scanning());
  ASSERT_TRUE(rec.WaitEnd());
  EXPECT_FALSE(m.Scanning());
  EXPECT_FALSE(rec.offMain);
  EXPECT_EQ(rec.ends, 1);

  EXPECT_EQ(ShareNames(m), (std::set<std::string>{"Flat", "Music", "Music (1)"}));
  EXPECT_EQ(RootFileNames(m), (std::multiset<std::string>{"g.mp3", "x.mp3", "x.mp3 (1)"}));
  EXPECT_EQ(std::multiset<std::string>(rec.dirs.begin(), rec.dirs.end()),
            (std::multiset<std::string>{"Music", "Music (1)"}));
  EXPECT_EQ(rec.files.size(), 3u);
  EXPECT_EQ(rec.status.size(), 3u);
  for (int i = 0; i < m.Root()->DirectoryCount(); ++i) {
    TShareDirectory* d = m.Root()->Directory(i);
    if (d == flat) continue;
    EXPECT_TRUE(d->IncludeSubfolders);
    EXPECT_EQ(d->MaskText, "*.mp3");
  }
  for (int i = 0; i < m.Root()->FileCount(); ++i) {
    EXPECT_EQ(m.Root()->File(i)->IsMP3, 1);
    EXPECT_EQ(m.Root()->File(i)->BitRate, 128);
  }

  // A second scan adds nothing: everything is shared already.
  m.StartScan("*.mp3");
  ASSERT_TRUE(rec.WaitEnd(2));
  EXPECT_EQ(m.Root()->DirectoryCount(), 3);
  EXPECT_EQ(m.Root()->FileCount(), 3);
}

TEST(ShareScan, PrefixSharesAndEmptyKeywords) {
  const std::string r = testutil::TempFolder("prefix");
  Folder(r + "Music");
  Folder(r + "Music2");
  Folder(r + "Other" + D + "Inner");
  Roots roots({r});

  TShareManager m;
  Recorder rec;
  rec.Attach(m);
  // A share's path that begins another folder's name covers that folder.
  m.AddDirectory(r + "Music", "Mine", true, "");
  m.AddRule("", "", "Any");
  m.StartScan("");
  ASSERT_TRUE(rec.WaitEnd());
  // Every folder not covered yet becomes a share (covering what lies
  // below it); never "." or "..".
  std::set<std::string> paths;
  for (int i = 0; i < m.Root()->DirectoryCount(); ++i) {
    const std::string p = m.Root()->Directory(i)->Path;
    paths.insert(p);
    EXPECT_NE(plat::ExtractFileName(p), ".");
    EXPECT_NE(plat::ExtractFileName(p), "..");
  }
  EXPECT_EQ(paths.count(r + "Music2"), 0u);
  EXPECT_EQ(ShareNames(m).count("Mine"), 1u);
  EXPECT_GE(ShareNames(m).count("Any"), 1u);
}

TEST(ShareScan, IgnoreKeywordNarrowsItsRuleAndNamesAreNumbered) {
  const std::string r = testutil::TempFolder("names");
  Folder(r + "keep" + D + "Songs");
  Folder(r + "drop" + D + "Songs");
  Folder(r + "third" + D + "Songs");
  Roots roots({r});

  TShareManager m;
  Recorder rec;
  rec.Attach(m);
  // The first share already carries the numbered form. A rule's ignore
  // keyword narrows it: the first rule takes only the folder matching both.
  m.AddDirectory(testutil::TempFolder("elsewhere"), "Songs (1)", false, "");
  m.AddRule("*SONGS", "*KEEP*", "Kept songs");
  m.AddRule("*SONGS", " ", "Songs");
  m.StartScan("*.none");
  ASSERT_TRUE(rec.WaitEnd());
  EXPECT_EQ(ShareNames(m), (std::set<std::string>{"Kept songs", "Songs", "Songs (1)", "Songs (2)"}));
  for (int i = 0; i < m.Root()->DirectoryCount(); ++i) {
    TShareDirectory* d = m.Root()->Directory(i);
    EXPECT_EQ(d->Name == "Kept songs", d->Path.find("keep") != std::string::npos) << d->Path;
  }
}

// Names repeated from folder to folder are numbered as a search of the
// whole list would number them: a number held by a file shared earlier is
// skipped, one of a removed file is free again, names differing in case
// alone count as one, and a path shared already is not added twice.
TEST(ShareScan, RepeatedNamesAreNumberedAgainstTheWholeList) {
  const std::string r = testutil::TempFolder("repeat");
  for (const char* f : {"a", "b", "c", "e"}) Put(r + f + D + "Song.mp3");
  Put(r + "d" + D + "SONG.MP3");
  Put(r + "x" + D + "two.txt");
  Roots roots({r});

  TShareManager m;
  Recorder rec;
  rec.Attach(m);
  m.AddFile(r + "x" + D + "two.txt", "song.mp3 (2)");
  m.AddFile(r + "x" + D + "two.txt", "Song.mp3 (4)")->Remove();
  m.AddFile(r + "e" + D + "Song.mp3", "Song.mp3");
  m.StartScan("*.mp3");
  ASSERT_TRUE(rec.WaitEnd());

  std::multiset<std::string> added;
  for (const std::string& n : rec.files) added.insert(plat::UpperCase(n));
  EXPECT_EQ(added, (std::multiset<std::string>{"SONG.MP3 (1)", "SONG.MP3 (3)", "SONG.MP3 (4)", "SONG.MP3 (5)"}));
  // The events follow the list (the removed file purged by now), one
  // OnScanStatus per file with its path.
  ASSERT_EQ(m.Root()->FileCount(), 6);
  ASSERT_EQ(rec.status.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(m.Root()->File(int(i) + 2)->Name, rec.files[i]);
    EXPECT_EQ(m.Root()->File(int(i) + 2)->Path, rec.status[i]);
  }

  // A rename frees its number for the next scan of a new folder.
  m.Root()->File(0)->SetName("elsewhere");
  Put(r + "f" + D + "song.mp3");
  m.StartScan("*.mp3");
  ASSERT_TRUE(rec.WaitEnd(2));
  ASSERT_EQ(rec.files.size(), 5u);
  EXPECT_EQ(rec.files[4], "song.mp3 (2)");
}

TEST(ShareScan, StopReturnsAfterTheEndEvent) {
  const std::string r = testutil::TempFolder("stop");
  for (int i = 0; i < 300; ++i) Put(r + "d" + std::to_string(i) + D + "f.mp3");
  Roots roots({r});

  TShareManager m;
  Recorder rec;
  rec.Attach(m);
  m.AddRule("*", "", "Any");
  m.StartScan("*.mp3");
  m.StopScan();
  EXPECT_EQ(rec.ends, 1);
  EXPECT_FALSE(m.Scanning());
  EXPECT_FALSE(rec.offMain);

  // No roots: the scan ends at once, still with its event. Destroying the
  // manager during a scan stops it as well.
  Roots empty({});
  m.StartScan("*.mp3");
  ASSERT_TRUE(rec.WaitEnd(2));
  {
    Roots again({r});
    auto other = std::make_unique<TShareManager>();
    Recorder rec2;
    rec2.Attach(*other);
    other->AddRule("*", "", "Any");
    other->StartScan("*.mp3");
    other.reset();
    EXPECT_EQ(rec2.ends, 1);
  }
}

// Off the owner's thread too, StopScan returns only after OnScanEnd has
// returned: here the end event waits (at most a while) for StopScan to
// return first, which it must not do.
TEST(ShareScan, StopFromAnotherThreadReturnsAfterTheEndEvent) {
  const std::string r = testutil::TempFolder("stopoff");
  for (int i = 0; i < 50; ++i) Put(r + "d" + std::to_string(i) + D + "f.mp3");
  Roots roots({r});
  TShareManager m;
  m.AddRule("*", "", "Any");
  std::atomic<bool> stopReturned{false}, endDone{false}, ranAtReturn{false}, stopperDone{false};
  m.OnScanEnd = [&](TShareManager*) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!stopReturned.load() && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    endDone.store(true);
  };
  m.StartScan("*.mp3");
  std::thread stopper([&] {
    m.StopScan();
    ranAtReturn.store(endDone.load());
    stopReturned.store(true);
    stopperDone.store(true);
  });
  ASSERT_TRUE(testutil::PumpUntil([&] { return stopperDone.load(); }, 20000));
  stopper.join();
  EXPECT_TRUE(ranAtReturn.load());
  EXPECT_FALSE(m.Scanning());
  // With no scan running it returns at once.
  std::thread again([&] { m.StopScan(); });
  again.join();
}

// The MP3 figures of the files a scan takes are read ahead on threads of
// their own, while the scan goes on: reads of several files are under way at
// once (the first is held back here until a second one has begun). Still
// the files join the tree and are announced in the order of the walk, a
// share found between them in its place, each with its own figures; and
// the names taken but not yet added count when a file is named, also after
// another call changed the list meanwhile.
TEST(ShareScan, FilesReadAheadJoinInTheOrderOfTheWalk) {
  const std::string r = testutil::TempFolder("ahead");
  for (int d = 0; d < 8; ++d)
    for (int t = 1; t <= 10; ++t) {
      mp3gen::Header h;
      h.bitRateIndex = 1 + (d + t) % 13;  // 32 to 256 kbit/s
      Put(r + "cd" + std::to_string(d) + D + "Track " + std::to_string(t) + ".mp3",
          mp3gen::Frames(h, 20 + d * 10 + t));
    }
  Put(r + "cd3" + D + "Music" + D + "covered.mp3", mp3gen::Frames(mp3gen::Header{}, 30));
  Roots roots({r});

  TShareManager m;
  Recorder rec;
  rec.Attach(m);
  std::vector<std::string> log;  // "D path" and "F path" as announced
  std::map<std::string, std::pair<int, int>> figures;  // bit rate and seconds as announced
  m.OnAddDirectory = [&, on = m.OnAddDirectory](TShareManager* s, TShareDirectory* d) {
    log.push_back("D " + d->Path);
    on(s, d);
  };
  m.OnAddFile = [&, on = m.OnAddFile](TShareManager* s, TShareFile* f) {
    log.push_back("F " + f->Path);
    figures[f->Path] = {f->BitRate, f->Seconds};
    on(s, f);
  };
  m.AddRule("*" + std::string(1, D) + "MUSIC", "", "Music");

  std::mutex lock;
  std::condition_variable changed;
  std::set<std::string> begun;
  bool overlapped = false;
  const std::string outside = testutil::TempFolder("outside") + "x.mp3";
  Put(outside);
  TShareScanThread::SetReadHookForTesting([&](const std::string& path) {
    std::unique_lock<std::mutex> g(lock);
    begun.insert(path);
    changed.notify_all();
    if (begun.size() != 1) return;
    overlapped = changed.wait_for(g, std::chrono::seconds(20), [&] { return begun.size() > 1; });
    g.unlock();
    m.AddFile(outside, "outside.mp3");  // another call changes the list
  });
  m.StartScan("*.mp3");
  const bool ended = rec.WaitEnd();
  TShareScanThread::SetReadHookForTesting(nullptr);
  ASSERT_TRUE(ended);
  EXPECT_TRUE(overlapped);

  std::vector<std::string> walked;
  TFileScan walk;
  walk.Start(r, true);
  while (walk.Next()) {
    if (walk.Directory && walk.Name == "Music") walked.push_back("D " + walk.FullPath);
    if (!walk.Directory && walk.Name != "covered.mp3") walked.push_back("F " + walk.FullPath);
  }
  EXPECT_EQ(log, walked);
  ASSERT_EQ(m.Root()->FileCount(), 81);
  std::set<std::string> names;
  for (int i = 0; i < m.Root()->FileCount(); ++i) {
    TShareFile* f = m.Root()->File(i);
    EXPECT_TRUE(names.insert(plat::UpperCase(f->Name)).second) << f->Name;
    if (f->Path == outside) continue;
    TMPEGaudio a;
    ASSERT_TRUE(a.ReadFromFile(f->Path));
    EXPECT_EQ(figures[f->Path], std::make_pair(int(a.BitRate()), int(std::lround(a.Duration())))) << f->Path;
    EXPECT_EQ(f->IsMP3, 1);
  }
}

TEST(ScanningRules, ReadFromTheRulesFile) {
  const std::string dir = testutil::TempFolder("rules");
  const std::string file = dir + "SharedRules.dat";
  Put(file,
      "<!SCANNING_RULES>\r\n"
      "<RULE KEYWORD=\"*\\MUSIC*\" IGNORE_KEYWORD=\"\" DESCRIPTION=\"Music\">\r\n"
      "<RULE DESCRIPTION=\"MP3\" KEYWORD=\"*MP3*\" IGNORE_KEYWORD=\"*TEMP*\">\r\n"
      "<!/SCANNING_RULES>\r\n<!OTHER><RULE KEYWORD=\"no\"><!/OTHER>\r\n");
  TShareManager m;
  m.AddRule("kept", "", "Earlier");
  LoadScanningRules(&m, file);
  const auto rules = m.Rules();
  ASSERT_EQ(rules.size(), 3u);
  EXPECT_EQ(rules[0].Description, "Earlier");
  EXPECT_EQ(rules[1].Keyword, "*\\MUSIC*");
  EXPECT_EQ(rules[1].IgnoreKeyword, "");
  EXPECT_EQ(rules[1].Description, "Music");
  EXPECT_EQ(rules[2].Keyword, "*MP3*");
  EXPECT_EQ(rules[2].IgnoreKeyword, "*TEMP*");
  EXPECT_EQ(rules[2].Description, "MP3");

  LoadScanningRules(&m, dir + "missing.dat");  // swallowed
  EXPECT_EQ(m.Rules().size(), 3u);
  LoadScanningRules(&m);  // no rules file beside the test program
  EXPECT_EQ(m.Rules().size(), 3u);
}

// The settings dialog's disk search: it clears its own manager, loads the
// rules, scans, lists what is found unless it is listed already, and
// closes its progress window at the end (or stops the scan when the user
// closes it).
TEST(ShareDialogs, SettingsDiskSearch) {
  const std::string r = testutil::TempFolder("dialog");
  Put(r + "MyMusic" + D + "a.mp3");
  Put(r + "OldMusic" + D + "b.mp3");
  Put(r + "misc" + D + "c.mp3");
  const std::string rulesFile = r + "SharedRules.dat";
  Put(rulesFile, "<!SCANNING_RULES><RULE KEYWORD=\"*MUSIC\" DESCRIPTION=\"Music\"><!/SCANNING_RULES>");
  Roots roots({r});

  std::vector<std::string> rows{"D " + r + "OldMusic"};  // already in the dialog
  auto listed = [&](const std::string& row) {
    return std::find(rows.begin(), rows.end(), row) != rows.end();
  };
  std::string shownPath;
  bool progressOpen = false;
  TShareManager dialog;
  dialog.AddDirectory(r + "stale", "Stale", true, "");  // left from an earlier search
  dialog.OnScanStatus = [&](TShareManager*, const std::string& path) { shownPath = path; };
  dialog.OnAddDirectory = [&](TShareManager*, TShareDirectory* d) {
    if (!listed("D " + d->Path)) rows.push_back("D " + d->Path);
  };
  dialog.OnAddFile = [&](TShareManager*, TShareFile* f) {
    if (!listed("F " + f->Path)) rows.push_back("F " + f->Path);
  };
  dialog.OnScanEnd = [&](TShareManager*) { progressOpen = false; };

  dialog.ClearFiles();
  dialog.ClearDirectories();
  LoadScanningRules(&dialog, rulesFile);
  dialog.StartScan("*.mp3");
  progressOpen = true;
  ASSERT_TRUE(testutil::PumpUntil([&] { return !progressOpen; }, 20000));
  std::sort(rows.begin(), rows.end());
  EXPECT_EQ(rows, (std::vector<std::string>{"D " + r + "MyMusic", "D " + r + "OldMusic",
                                            "F " + r + "misc" + D + "c.mp3"}));
  EXPECT_EQ(shownPath, r + "misc" + D + "c.mp3");
  EXPECT_EQ(ShareNames(dialog), (std::set<std::string>{"Music", "Music (1)"}));

  // The user closes the progress window: the scan is stopped and the
  // window closed by the end event before StopScan returns.
  dialog.ClearFiles();
  dialog.ClearDirectories();
  dialog.StartScan("*.mp3");
  progressOpen = true;
  dialog.StopScan();
  EXPECT_FALSE(progressOpen);
}

// The setup wizard: rules into its own manager, the download folder as a
// share without subfolders, a scan with the chosen types; Cancel stops it.
TEST(ShareDialogs, WizardScan) {
  const std::string r = testutil::TempFolder("wizard");
  const std::string downloads = Folder(r + "Downloads");
  Put(downloads + D + "got.mp3");                   // in the share: not offered again
  Put(downloads + D + "Music" + D + "inner.mp3");  // below it: the share has no subfolders
  const std::string rulesFile = r + "SharedRules.dat";
  Put(rulesFile, "<!SCANNING_RULES><RULE KEYWORD=\"*MUSIC\" DESCRIPTION=\"Music\"><!/SCANNING_RULES>");
  Roots roots({r});

  TShareManager wizard;
  Recorder rec;
  rec.Attach(wizard);
  LoadScanningRules(&wizard, rulesFile);
  TShareDirectory* share = wizard.AddDirectory(downloads, "Downloads", false, "*.*");
  wizard.StartScan("*.mp3,*.ogg");
  ASSERT_TRUE(rec.WaitEnd());
  EXPECT_EQ(share->Masks, std::vector<std::string>{"*.*"});
  EXPECT_EQ(ShareNames(wizard), (std::set<std::string>{"Downloads", "Music"}));
  EXPECT_EQ(RootFileNames(wizard), (std::multiset<std::string>{}));
  EXPECT_EQ(rec.dirs, std::vector<std::string>{"Music"});

  // Cancel during a scan.
  wizard.StartScan("*.mp3");
  wizard.StopScan();
  EXPECT_EQ(rec.ends, 2);
}

}  // namespace
