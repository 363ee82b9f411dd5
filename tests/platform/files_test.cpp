#include "platform/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "platform/clock.h"
#include "platform/stream.h"
#include "tests/support/test_util.h"

namespace {

const char D = plat::kPathDelim;

void WriteFile(const std::string& path, const std::string& bytes) {
  plat::FileStream f(path, plat::FileStream::kCreate);
  f.WriteBuffer(bytes.data(), int64_t(bytes.size()));
}

std::map<std::string, plat::FileEntry> Search(const std::string& folder, const std::string& mask) {
  std::map<std::string, plat::FileEntry> found;
  plat::FileSearch s;
  plat::FileEntry e;
  for (bool ok = s.First(folder, mask, e); ok; ok = s.Next(e)) found[e.name] = e;
  s.Close();
  return found;
}

std::set<std::string> Names(const std::map<std::string, plat::FileEntry>& m) {
  std::set<std::string> r;
  for (const auto& [name, e] : m)
    if (name != "." && name != "..") r.insert(name);
  return r;
}

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testutil::TempFolder("files");
    WriteFile(dir_ + "Song.MP3", "0123456789");
    WriteFile(dir_ + "other.mp3", "");
    WriteFile(dir_ + "notes.txt", "abc");
    WriteFile(dir_ + "README", "r");
    ASSERT_TRUE(plat::CreateDir(dir_ + "sub"));
  }
  std::string dir_;
};

TEST_F(FilesTest, MasksMatchWithoutRegardToCase) {
  EXPECT_EQ(Names(Search(dir_, "*.mp3")), (std::set<std::string>{"Song.MP3", "other.mp3"}));
  EXPECT_EQ(Names(Search(dir_, "*.*")), (std::set<std::string>{"Song.MP3", "other.mp3", "notes.txt", "README", "sub"}));
  EXPECT_EQ(Names(Search(dir_, "*")), Names(Search(dir_, "*.*")));
  EXPECT_EQ(Names(Search(dir_, "s*")), (std::set<std::string>{"Song.MP3", "sub"}));
  EXPECT_EQ(Names(Search(dir_, "?otes.TXT")), (std::set<std::string>{"notes.txt"}));
  EXPECT_EQ(Names(Search(dir_, "readme")), (std::set<std::string>{"README"}));
  EXPECT_TRUE(Search(dir_, "*.wav").empty());
  plat::FileSearch s;
  plat::FileEntry e;
  EXPECT_FALSE(s.First(dir_ + "missing", "*.*", e));
  EXPECT_FALSE(s.Next(e));
}

TEST_F(FilesTest, EntriesCarrySizeAttributesAndTime) {
  auto all = Search(dir_, "*.*");
  ASSERT_TRUE(all.count("Song.MP3"));
  const plat::FileEntry& song = all["Song.MP3"];
  EXPECT_EQ(song.size, 10);
  EXPECT_EQ(song.attr & plat::kAttrDirectory, 0u);
  EXPECT_NEAR(song.modified, plat::Now(), 5.0 / 1440);  // within minutes
  EXPECT_NE(all["sub"].attr & plat::kAttrDirectory, 0u);
  EXPECT_EQ(all["sub"].size, 0);
  // The current and parent folder entries are there, as folders.
  ASSERT_TRUE(all.count("."));
  ASSERT_TRUE(all.count(".."));
  EXPECT_NE(all["."].attr & plat::kAttrDirectory, 0u);

  plat::FileEntry info;
  ASSERT_TRUE(plat::GetFileInfo(dir_ + "notes.txt", info));
  EXPECT_EQ(info.name, "notes.txt");
  EXPECT_EQ(info.size, 3);
  EXPECT_FALSE(plat::GetFileInfo(dir_ + "nothing", info));
}

TEST_F(FilesTest, SingleFileOperations) {
  EXPECT_TRUE(plat::FileExists(dir_ + "notes.txt"));
  EXPECT_FALSE(plat::FileExists(dir_ + "sub"));
  EXPECT_TRUE(plat::DirectoryExists(dir_ + "sub"));
  EXPECT_FALSE(plat::DirectoryExists(dir_ + "notes.txt"));
  EXPECT_EQ(plat::FileSize(dir_ + "Song.MP3"), 10);
  EXPECT_EQ(plat::FileSize(dir_ + "missing"), -1);

  // Renaming replaces an existing target.
  ASSERT_TRUE(plat::RenameFile(dir_ + "notes.txt", dir_ + "README"));
  EXPECT_FALSE(plat::FileExists(dir_ + "notes.txt"));
  EXPECT_EQ(plat::FileSize(dir_ + "README"), 3);
  EXPECT_FALSE(plat::RenameFile(dir_ + "notes.txt", dir_ + "x"));

  EXPECT_TRUE(plat::DeleteFile(dir_ + "README"));
  EXPECT_FALSE(plat::DeleteFile(dir_ + "README"));

  const std::string deep = dir_ + "a" + D + "b" + D + "c" + D;
  EXPECT_TRUE(plat::ForceDirectories(deep));
  EXPECT_TRUE(plat::DirectoryExists(deep));
  EXPECT_TRUE(plat::ForceDirectories(deep));  // already there
  EXPECT_FALSE(plat::CreateDir(dir_ + "sub"));
  EXPECT_FALSE(plat::ForceDirectories(dir_ + "Song.MP3" + D + "x"));
}

TEST(FilePaths, SplitAndJoin) {
  const std::string p = std::string("top") + D + "music" + D + "song.name.mp3";
  EXPECT_EQ(plat::ExtractFilePath(p), std::string("top") + D + "music" + D);
  EXPECT_EQ(plat::ExtractFileName(p), "song.name.mp3");
  EXPECT_EQ(plat::ExtractFileExt(p), ".mp3");
  EXPECT_EQ(plat::ExtractFileExt(std::string("a.b") + D + "noext"), "");
  EXPECT_EQ(plat::ExtractFilePath("bare"), "");
  EXPECT_EQ(plat::ExtractFileName("bare"), "bare");
  EXPECT_EQ(plat::IncludeTrailingDelim("x"), std::string("x") + D);
  EXPECT_EQ(plat::IncludeTrailingDelim(std::string("x") + D), std::string("x") + D);
  EXPECT_EQ(plat::ExcludeTrailingDelim(std::string("x") + D), "x");
  EXPECT_EQ(plat::ExcludeTrailingDelim("x"), "x");
}

TEST(ScanRoots, TestsChooseTheRoots) {
  const std::string a = testutil::TempFolder("rootA");
  plat::SetFixedDriveRootsForTesting({a});
  EXPECT_EQ(plat::FixedDriveRoots(), std::vector<std::string>{a});
  plat::SetFixedDriveRootsForTesting({});
  EXPECT_TRUE(plat::FixedDriveRoots().empty());
  EXPECT_FALSE(plat::IsPseudoFileSystem(a));
#ifndef _WIN32
  EXPECT_TRUE(plat::IsPseudoFileSystem("/proc"));
  EXPECT_TRUE(plat::IsPseudoFileSystem("/sys/"));
  EXPECT_TRUE(plat::IsPseudoFileSystem("/dev/shm"));
  EXPECT_FALSE(plat::IsPseudoFileSystem("/processes"));
  EXPECT_FALSE(plat::IsPseudoFileSystem("/"));
#endif
}

#ifndef _WIN32
// A link to a folder is not reported as a folder, so walks never loop; a
// link to a file is that file.
TEST_F(FilesTest, LinksToFoldersAreNoFolders) {
  namespace fs = std::filesystem;
  fs::create_directory_symlink(dir_, dir_ + "loop");
  fs::create_symlink(dir_ + "Song.MP3", dir_ + "alias.mp3");
  auto all = Search(dir_, "*");
  ASSERT_TRUE(all.count("loop"));
  EXPECT_EQ(all["loop"].attr & plat::kAttrDirectory, 0u);
  EXPECT_EQ(all["alias.mp3"].size, 10);
}
#endif

// ------------------------------------------------------------ the watcher

TEST(FolderWatcher, SeesCreateRenameAndDelete) {
  const std::string dir = testutil::TempFolder("watch");
  plat::FolderWatcher w;
  const auto h = w.Add(dir);
  EXPECT_FALSE(w.Changed(h, 0));
  WriteFile(dir + "new.mp3", "x");
  EXPECT_TRUE(w.Changed(h, 5000));
  EXPECT_FALSE(w.Changed(h, 0));  // the mark was cleared
  ASSERT_TRUE(plat::RenameFile(dir + "new.mp3", dir + "renamed.mp3"));
  EXPECT_TRUE(w.Changed(h, 5000));
  w.Changed(h, 50);  // a rename may come in two notes
  ASSERT_TRUE(plat::DeleteFile(dir + "renamed.mp3"));
  EXPECT_TRUE(w.Changed(h, 5000));
  w.Remove(h);
}

TEST(FolderWatcher, FoldersAreWatchedSeparately) {
  const std::string a = testutil::TempFolder("watchA");
  const std::string b = testutil::TempFolder("watchB");
  plat::FolderWatcher w;
  const auto ha = w.Add(a);
  const auto hb = w.Add(b);
  WriteFile(b + "f", "");
  EXPECT_TRUE(w.Changed(hb, 5000));
  EXPECT_FALSE(w.Changed(ha, 100));
  // Subfolders' contents are not watched.
  ASSERT_TRUE(plat::CreateDir(a + "sub"));
  EXPECT_TRUE(w.Changed(ha, 5000));
  WriteFile(a + "sub" + D + "inner", "");
  EXPECT_FALSE(w.Changed(ha, 200));
}

TEST(FolderWatcher, UnwatchableFolderCountsAsAlwaysChanged) {
  const std::string dir = testutil::TempFolder("watch");
  plat::FolderWatcher w;
  const auto h = w.Add(dir + "does-not-exist");
  EXPECT_TRUE(w.Changed(h, 0));
  EXPECT_TRUE(w.Changed(h, 0));
  w.Remove(h);
}

TEST(FolderWatcher, SameFolderTwiceThenRemoveOne) {
  const std::string dir = testutil::TempFolder("watch");
  plat::FolderWatcher w;
  const auto h1 = w.Add(dir);
  const auto h2 = w.Add(dir);
  w.Remove(h1);
  WriteFile(dir + "f", "");
  EXPECT_TRUE(w.Changed(h2, 5000));
}

// Far more folders than the system allows watchers per user: one watcher
// serves them all.
TEST(FolderWatcher, ManyFoldersOneWatcher) {
  const std::string root = testutil::TempFolder("watchMany");
  plat::FolderWatcher w;
  std::vector<plat::FolderWatcher::Handle> hs;
  for (int i = 0; i < 200; ++i) {
    const std::string d = root + std::to_string(i);
    ASSERT_TRUE(plat::CreateDir(d));
    hs.push_back(w.Add(d));
  }
  WriteFile(root + "150" + D + "x", "");
  EXPECT_TRUE(w.Changed(hs[150], 5000));
  EXPECT_FALSE(w.Changed(hs[149], 0));
}

}  // namespace
