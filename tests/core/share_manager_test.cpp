// The share tree: the share file byte by byte, loading, queries, rescans
// that follow the disk, removal and deferred purge.
#include "core/share_manager.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "platform/stream.h"
#include "tests/support/test_util.h"
#include "tools/mp3_builder.h"

namespace {

namespace fs = std::filesystem;
constexpr char D = plat::kPathDelim;

void Put(const std::string& path, const std::string& bytes) {
  ASSERT_TRUE(mp3gen::WriteFile(path, bytes)) << path;
}

// The record fields as the share file lays them out.
std::string Str(const std::string& s) {
  std::string f = s.substr(0, 254);
  f.resize(256, '\0');
  return f;
}
std::string LE(uint32_t v) {
  return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}
std::string F64(double d) {
  uint64_t b;
  std::memcpy(&b, &d, 8);
  std::string s;
  for (int i = 0; i < 8; ++i) s += char(b >> (8 * i));
  return s;
}
std::string FolderRecord(const std::string& path, const std::string& name,
                         const std::string& sharePath, const std::string& masks,
                         int32_t children, bool include, int32_t r1 = 0, int32_t r2 = 0) {
  return LE(1) + Str(path) + Str(name) + Str(sharePath) + Str(masks) + LE(uint32_t(children)) +
         char(include ? 1 : 0) + LE(uint32_t(r1)) + LE(uint32_t(r2));
}
std::string FileRecord(const TShareFile& f) {
  return LE(0) + Str(f.Path) + Str(f.Name) + Str(f.SharePath) + char(f.IsMP3) +
         LE(uint32_t(f.BitRate)) + LE(uint32_t(f.SampleRate)) + LE(uint32_t(f.Seconds)) +
         LE(f.Size) + F64(f.FileDate);
}

// Everything a query yields, one line per item ("D " folders, "F " files).
std::vector<std::string> Walk(TShareManager& m, const std::string& path, bool recursive) {
  std::vector<std::string> items;
  auto q = m.Query(path, recursive);
  while (q->Next()) items.push_back((q->IsDirectory ? "D " : "F ") + q->SharePath);
  return items;
}

bool Has(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

// A tree on disk:
//   solo.txt
//   one/ a.txt b.txt sub/ c.txt
//   two/ d.txt
struct Tree {
  std::string dir = testutil::TempFolder("shares");
  std::string one = dir + "one", two = dir + "two", sub = one + D + "sub";
  Tree() {
    fs::create_directories(sub);
    fs::create_directories(two);
    Put(dir + "solo.txt", "solo");
    Put(one + D + "a.txt", "aaaa");
    Put(one + D + "b.txt", "bb");
    Put(sub + D + "c.txt", "c");
    Put(two + D + "d.txt", "ddddd");
  }
  ~Tree() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

// The tree above in a manager, entries added in a known order.
struct Shared {
  TShareManager m;
  TShareFile* solo;
  TShareDirectory *one, *two, *sub;
  TShareFile *a, *b, *c, *d;
  explicit Shared(const Tree& t) {
    solo = m.AddFile(t.dir + "solo.txt", "Solo");
    one = m.AddDirectory(t.one, "One", true, "*.txt");
    two = m.AddDirectory(t.two, "Two", false, "");
    a = one->AddFile(t.one + D + "a.txt", "a.txt");
    b = one->AddFile(t.one + D + "b.txt", "b.txt");
    sub = one->AddDirectory(t.sub, "sub", true);
    c = sub->AddFile(t.sub + D + "c.txt", "c.txt");
    d = two->AddFile(t.two + D + "d.txt", "d.txt");
    one->Reserved1 = 7;
    one->Reserved2 = -3;
  }
};

TEST(ShareFile, ExactBytes) {
  Tree t;
  Shared s(t);
  s.b->Remove();  // not written, not counted
  const std::string expected =
      std::string("SHARE_1_0") + FileRecord(*s.solo) +
      FolderRecord(t.two, "Two", "/Two", "", 1, false) + FileRecord(*s.d) +
      FolderRecord(t.one, "One", "/One", "*.txt", 2, true, 7, -3) + FileRecord(*s.a) +
      FolderRecord(t.sub, "sub", "/One/sub", "*.txt", 1, true) + FileRecord(*s.c);
  const std::string saved = s.m.SaveToString();
  EXPECT_EQ(saved.size(), 9u + 4 * (4 + 793) + 3 * (4 + 1037));
  EXPECT_EQ(saved, expected);
  EXPECT_EQ(s.a->Size, 4u);
  EXPECT_EQ(s.a->SharePath, "/One/a.txt");
  EXPECT_EQ(s.solo->SharePath, "/Solo");
  EXPECT_GT(s.a->FileDate, 36526.0);  // after 2000-01-01

  TShareManager empty;
  EXPECT_EQ(empty.SaveToString(), "SHARE_1_0");
  const std::string file = t.dir + "empty.dat";
  ASSERT_TRUE(empty.SaveToFile(file));
  TShareManager loaded;
  EXPECT_TRUE(loaded.LoadFromFile(file));
  EXPECT_EQ(loaded.Root()->DirectoryCount(), 0);
}

TEST(ShareFile, LongStringsAreCut) {
  Tree t;
  TShareManager m;
  TShareDirectory* share = m.AddDirectory(t.one, std::string(300, 'N'), true, "");
  const std::string saved = m.SaveToString();
  EXPECT_EQ(saved.substr(9 + 4 + 256, 256), std::string(254, 'N') + std::string(2, '\0'));
  EXPECT_EQ(share->Name.size(), 300u);
}

TEST(ShareFile, TwoCyclesRestoreTheBytes) {
  Tree t;
  Shared s(t);
  const std::string first = s.m.SaveToString();
  const std::string file = t.dir + "Shared.dat";
  ASSERT_TRUE(s.m.SaveToFile(file));

  TShareManager m2;
  int dirEvents = 0, fileEvents = 0;
  m2.OnAddDirectory = [&](TShareManager* sender, TShareDirectory* dir) {
    EXPECT_EQ(sender, &m2);
    EXPECT_TRUE(plat::MainLoop::IsMainThread());
    EXPECT_TRUE(dir->IsShare);
    ++dirEvents;
  };
  m2.OnAddFile = [&](TShareManager*, TShareFile* f) {
    EXPECT_EQ(f->Name, "Solo");
    ++fileEvents;
  };
  ASSERT_TRUE(m2.LoadFromFile(file));
  EXPECT_EQ(dirEvents, 2);  // the shares only, not the folder below
  EXPECT_EQ(fileEvents, 1);
  ASSERT_EQ(m2.Root()->DirectoryCount(), 2);
  EXPECT_EQ(m2.Root()->Directory(0)->Name, "Two");  // the order is reversed
  TShareDirectory* one = m2.Root()->Directory(1);
  EXPECT_EQ(one->Reserved1, 7);
  EXPECT_EQ(one->Reserved2, -3);
  EXPECT_EQ(one->MaskText, "*.txt");
  EXPECT_EQ(one->Masks, std::vector<std::string>{"*.txt"});
  ASSERT_EQ(one->DirectoryCount(), 1);
  EXPECT_EQ(one->Directory(0)->SharePath, "/One/sub");
  EXPECT_EQ(one->Directory(0)->File(0)->Size, 1u);
  EXPECT_EQ(one->FileCount(), 2);
  EXPECT_FALSE(m2.Root()->Directory(0)->IncludeSubfolders);

  const std::string second = m2.SaveToString();
  EXPECT_NE(second, first);
  EXPECT_EQ(second.size(), first.size());
  TShareManager m3;
  plat::MemoryStream ms;
  ms.Write(second.data(), int64_t(second.size()));
  ms.SetPosition(0);
  ASSERT_TRUE(m3.LoadFromStream(ms));
  EXPECT_EQ(m3.SaveToString(), first);
}

TEST(ShareFile, VanishedShareIsSkippedWithItsSubtree) {
  Tree t;
  std::string bytes;
  {
    Shared s(t);
    bytes = s.m.SaveToString();  // Solo, Two(d), One(a, b, sub(c))
  }
  // Two (first in the file) is gone: its record and its file are skipped,
  // and One still lands under the root. Likewise One with its nested
  // subfolder, leaving Two.
  for (const std::string& gone : {t.two, t.one}) {
    SCOPED_TRACE(gone);
    const std::string keep = gone == t.two ? "One" : "Two";
    const std::string moved = t.dir + "moved";
    fs::rename(gone, moved);
    TShareManager m;
    plat::MemoryStream ms;
    ms.Write(bytes.data(), int64_t(bytes.size()));
    ms.SetPosition(0);
    EXPECT_TRUE(m.LoadFromStream(ms));
    fs::rename(moved, gone);
    ASSERT_EQ(m.Root()->FileCount(), 1);
    ASSERT_EQ(m.Root()->DirectoryCount(), 1);
    TShareDirectory* share = m.Root()->Directory(0);
    EXPECT_EQ(share->Name, keep);
    if (keep == "One") {
      EXPECT_EQ(share->FileCount(), 2);
      ASSERT_EQ(share->DirectoryCount(), 1);
      EXPECT_EQ(share->Directory(0)->FileCount(), 1);
    } else {
      EXPECT_EQ(share->FileCount(), 1);
      EXPECT_EQ(share->DirectoryCount(), 0);
    }
  }
}

TEST(ShareFile, ForeignTruncatedAndMissingFiles) {
  Tree t;
  std::string bytes;
  {
    Shared s(t);
    bytes = s.m.SaveToString();
  }
  auto load = [](TShareManager& m, const std::string& b) {
    plat::MemoryStream ms;
    ms.Write(b.data(), int64_t(b.size()));
    ms.SetPosition(0);
    return m.LoadFromStream(ms);
  };
  Shared s(t);
  // A missing file leaves the tree as it was.
  EXPECT_FALSE(s.m.LoadFromFile(t.dir + "missing.dat"));
  EXPECT_EQ(s.m.Root()->DirectoryCount(), 2);
  // A foreign magic (case counts) empties it.
  std::string foreign = bytes;
  foreign.replace(0, 9, "share_1_0");
  EXPECT_FALSE(load(s.m, foreign));
  EXPECT_EQ(s.m.Root()->DirectoryCount(), 0);
  EXPECT_EQ(s.m.Root()->FileCount(), 0);
  EXPECT_FALSE(load(s.m, "SHARE"));
  // A truncated file keeps what was read: Solo, Two and its file.
  TShareManager m;
  EXPECT_FALSE(load(m, bytes.substr(0, 9 + 797 + 1041 + 797 + 500)));
  EXPECT_EQ(m.Root()->FileCount(), 1);
  ASSERT_EQ(m.Root()->DirectoryCount(), 1);
  EXPECT_EQ(m.Root()->Directory(0)->FileCount(), 1);
}

// The load lists each folder once: its files are looked for in that
// listing, and its first query takes the folder as listed, unless a name in
// it changed since.
TEST(ShareFile, AFolderTheLoadListedIsNotListedAgainUntilANameInItChanges) {
  Tree t;
  const std::string file = t.dir + "Shared.dat";
  {
    Shared s(t);
    ASSERT_TRUE(s.m.SaveToFile(file));
  }
  TShareManager m;
  ASSERT_TRUE(m.LoadFromFile(file));
  // Grown past what is shared after the load, no name changed: not seen.
  try {
    plat::FileStream f(t.one + D + "a.txt", plat::FileStream::kOpenReadWrite);
    f.SetSize(int64_t(1) << 32);
  } catch (const plat::EStreamError&) {
    GTEST_SKIP() << "no sparse files here";
  }
  EXPECT_TRUE(Has(Walk(m, "/One", false), "F /One/a.txt"));
  // A new name in the folder: listed again, without the file.
  Put(t.one + D + "e.txt", "e");
  const auto items = Walk(m, "/One", false);
  EXPECT_TRUE(Has(items, "F /One/e.txt"));
  EXPECT_FALSE(Has(items, "F /One/a.txt"));
  fs::remove(t.one + D + "a.txt");
}

// What the load's listing cannot stand for: files new on disk since the
// share file was saved, masks changed and entries removed by the owner
// after the load. An empty file is looked for on disk.
TEST(ShareFile, TheFirstQueryAfterALoadSeesWhatChangedSinceTheSave) {
  Tree t;
  const std::string file = t.dir + "Shared.dat";
  Put(t.sub + D + "empty.txt", "");
  {
    Shared s(t);
    s.sub->AddFile(t.sub + D + "empty.txt", "empty.txt");
    ASSERT_TRUE(s.m.SaveToFile(file));
  }
  Put(t.one + D + "new.txt", "n");
  TShareManager m;
  ASSERT_TRUE(m.LoadFromFile(file));
  ASSERT_EQ(m.Root()->DirectoryCount(), 2);
  TShareDirectory* two = m.Root()->Directory(0);
  TShareDirectory* sub = m.Root()->Directory(1)->Directory(0);
  ASSERT_EQ(sub->FileCount(), 2);
  EXPECT_EQ(sub->FileName(1), "empty.txt");
  two->SetMasks("*.zzz");
  sub->File(0)->Remove();  // c.txt, still on disk
  const auto items = Walk(m, "/", true);
  EXPECT_TRUE(Has(items, "F /One/new.txt"));
  EXPECT_FALSE(Has(items, "F /Two/d.txt"));
  EXPECT_TRUE(Has(items, "F /One/sub/c.txt"));
  EXPECT_TRUE(Has(items, "F /One/sub/empty.txt"));
  EXPECT_TRUE(Has(items, "F /One/a.txt"));
}

TEST(ShareFile, HostileRecords) {
  Tree t;
  const std::string solo = t.dir + "solo.txt";
  // A name without NUL takes 255 bytes; a negative child count counts as
  // none, so the next record belongs to the root again; a non-zero kind
  // other than 1 is a folder.
  std::string nameField(256, 'N');
  std::string file = LE(0) + Str(solo) + nameField + Str("/x") + char(0) + LE(0) + LE(0) +
                     LE(0) + LE(0xFFFFFFFFu) + F64(0);
  std::string folder = FolderRecord(t.one, "One", "/One", "", -5, true);
  folder.replace(0, 4, LE(77));
  const std::string bytes = "SHARE_1_0" + file + folder + file;
  TShareManager m;
  plat::MemoryStream ms;
  ms.Write(bytes.data(), int64_t(bytes.size()));
  ms.SetPosition(0);
  ASSERT_TRUE(m.LoadFromStream(ms));
  ASSERT_EQ(m.Root()->FileCount(), 2);
  EXPECT_EQ(m.Root()->File(0)->Name, std::string(255, 'N'));
  EXPECT_EQ(m.Root()->File(0)->Size, 0xFFFFFFFFu);  // held unsigned
  ASSERT_EQ(m.Root()->DirectoryCount(), 1);
  EXPECT_EQ(m.Root()->Directory(0)->FileCount(), 0);

  // A missing folder claiming many children skips until the data ends.
  const std::string missing =
      FolderRecord(t.dir + "nowhere", "X", "/X", "", 0x7FFFFFFF, true) + file + file;
  TShareManager m2;
  plat::MemoryStream ms2;
  const std::string b2 = "SHARE_1_0" + missing;
  ms2.Write(b2.data(), int64_t(b2.size()));
  ms2.SetPosition(0);
  EXPECT_FALSE(m2.LoadFromStream(ms2));
  EXPECT_EQ(m2.Root()->FileCount(), 0);
}

TEST(ShareQuery, OrderAndPaths) {
  Tree t;
  Shared s(t);
  EXPECT_EQ(Walk(s.m, "/", false),
            (std::vector<std::string>{"F /Solo", "D /One", "D /Two"}));
  EXPECT_EQ(Walk(s.m, "/", true),
            (std::vector<std::string>{"F /Solo", "D /One", "F /One/a.txt", "F /One/b.txt",
                                      "D /One/sub", "F /One/sub/c.txt", "D /Two",
                                      "F /Two/d.txt"}));
  const std::vector<std::string> sub{"F /One/sub/c.txt"};
  EXPECT_EQ(Walk(s.m, "/One/sub", true), sub);
  EXPECT_EQ(Walk(s.m, "\\ONE\\Sub\\", false), sub);
  EXPECT_EQ(Walk(s.m, "//one// sub /", false), sub);
  EXPECT_TRUE(Walk(s.m, "/Nope/sub", true).empty());
  EXPECT_TRUE(Walk(s.m, "/One/nope", true).empty());

  // Folder items carry Path and the reserved values; files their figures.
  auto q = s.m.Query("/", false);
  ASSERT_TRUE(q->Next());
  EXPECT_FALSE(q->IsDirectory);
  EXPECT_EQ(q->Name, "Solo");
  EXPECT_EQ(q->Size, 4u);
  ASSERT_TRUE(q->Next());
  EXPECT_TRUE(q->IsDirectory);
  EXPECT_EQ(q->Path, t.one);
  EXPECT_EQ(q->Reserved1, 7);
  EXPECT_EQ(q->Reserved2, -3);
  EXPECT_EQ(s.m.LiveQueries(), 1);
  q.reset();
  EXPECT_EQ(s.m.LiveQueries(), 0);
}

TEST(ShareQuery, RescansFollowTheDisk) {
  Tree t;
  Shared s(t);
  ASSERT_TRUE(Has(Walk(s.m, "/", true), "F /Two/d.txt"));
  // New, deleted and renamed entries show on the next query that reaches
  // the folder.
  Put(t.two + D + "e.txt", "e");
  fs::remove(t.two + D + "d.txt");
  Put(t.sub + D + "new.bin", "x");  // not matching *.txt
  fs::create_directories(t.one + D + "later");
  Put(t.one + D + "later" + D + "l.txt", "l");
  auto items = Walk(s.m, "/", true);
  EXPECT_TRUE(Has(items, "F /Two/e.txt"));
  EXPECT_FALSE(Has(items, "F /Two/d.txt"));
  EXPECT_FALSE(Has(items, "F /One/sub/new.bin"));
  EXPECT_TRUE(Has(items, "D /One/later"));
  EXPECT_TRUE(Has(items, "F /One/later/l.txt"));
  // The deleted file was purged when the walk ended.
  EXPECT_EQ(s.two->FileCount(), 1);

  // A share without subfolders lists a matching folder as a file, and
  // never "." or "..".
  fs::create_directories(t.two + D + "folder.txt");
  items = Walk(s.m, "/Two", true);
  EXPECT_TRUE(Has(items, "F /Two/folder.txt"));
  for (const auto& i : items) EXPECT_EQ(i.find("/."), std::string::npos) << i;

  // The include flag and the masks take effect on the next query.
  s.two->SetIncludeSubfolders(true);
  items = Walk(s.m, "/Two", true);
  EXPECT_TRUE(Has(items, "D /Two/folder.txt"));
  EXPECT_FALSE(Has(items, "F /Two/folder.txt"));
  s.one->SetMasks("*.bin");
  items = Walk(s.m, "/One", true);
  EXPECT_TRUE(Has(items, "F /One/sub/new.bin"));
  EXPECT_FALSE(Has(items, "F /One/a.txt"));
  EXPECT_EQ(s.sub->MaskText, "*.bin");

  // A new disk folder for a share.
  s.two->SetPath(t.one);
  items = Walk(s.m, "/Two", false);
  EXPECT_TRUE(Has(items, "D /Two/sub"));
  EXPECT_FALSE(Has(items, "F /Two/e.txt"));
}

TEST(ShareQuery, MasksAndMp3Analysis) {
  EXPECT_EQ(SplitMasks("*.mp3, *.txt"), (std::vector<std::string>{"*.mp3", "*.txt"}));
  EXPECT_EQ(SplitMasks("a,,b"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(SplitMasks("a,b,"), (std::vector<std::string>{"a", "b,"}));
  EXPECT_EQ(SplitMasks(""), (std::vector<std::string>{""}));
  EXPECT_TRUE(MatchesMasks(SplitMasks("x,,y"), "anything"));
  EXPECT_FALSE(MatchesMasks(SplitMasks("*.mp3, *.txt"), "a.wav"));
  EXPECT_TRUE(MatchesMasks(SplitMasks("*.mp3, *.txt"), "A.TXT"));

  Tree t;
  TShareManager m;
  const std::string song = mp3gen::Frames(mp3gen::Header{}, 100);
  Put(t.two + D + "song.MP3", song);
  Put(t.two + D + "fake.mp3", "not audio at all");
  TShareDirectory* two = m.AddDirectory(t.two, "Two", true, "*.mp3");
  ASSERT_EQ(Walk(m, "/Two", false).size(), 2u);
  int found = 0;
  for (int i = 0; i < two->FileCount(); ++i) {
    const TShareFile* f = two->File(i);
    if (f->Name == "song.MP3") {
      ++found;
      EXPECT_EQ(f->IsMP3, 1);
      EXPECT_EQ(f->BitRate, 128);
      EXPECT_EQ(f->SampleRate, 44100);
      EXPECT_EQ(f->Seconds, 3);  // 2.6 s rounded
      EXPECT_EQ(f->Size, song.size());
    } else {
      EXPECT_EQ(f->IsMP3, 0);
      EXPECT_EQ(f->BitRate, 0);
    }
  }
  EXPECT_EQ(found, 1);
  // The shown name or the name on disk marks a file for analysis.
  TShareFile* root = m.AddFile(t.two + D + "song.MP3", "Song (1)");
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->IsMP3, 1);
  EXPECT_EQ(root->Seconds, 3);
  Put(t.two + D + "song.bin", song);
  EXPECT_EQ(m.AddFile(t.two + D + "song.bin", "Song.mp3")->IsMP3, 1);
  EXPECT_EQ(m.AddFile(t.two + D + "song.bin", "Song")->IsMP3, 0);
  EXPECT_EQ(m.AddFile(t.dir + "solo.txt", "x.txt")->IsMP3, 0);
}

TEST(ShareQuery, FilesOfFourGigabytesAreNotShared) {
  Tree t;
  const std::string big = t.two + D + "big.txt";
  try {
    plat::FileStream f(big, plat::FileStream::kCreate);
    f.SetSize(int64_t(1) << 32);
  } catch (const plat::EStreamError&) {
    GTEST_SKIP() << "no sparse files here";
  }
  TShareManager m;
  EXPECT_EQ(m.AddFile(big, "big"), nullptr);
  m.AddDirectory(t.two, "Two", true, "");
  const auto items = Walk(m, "/", true);
  EXPECT_TRUE(Has(items, "F /Two/d.txt"));
  EXPECT_FALSE(Has(items, "F /Two/big.txt"));
  fs::remove(big);
}

TEST(ShareTree, RemoveAndSetNameFindTheirOwnEntry) {
  Tree t;
  TShareManager m;
  TShareDirectory* first = m.AddDirectory(t.one, "X", true, "");
  first->Remove();  // marked, not purged yet
  TShareDirectory* second = m.AddDirectory(t.two, "X", true, "");
  // A query by that name reaches the live share, not the removed one.
  EXPECT_TRUE(Has(Walk(m, "/x", false), "F /X/d.txt"));
  second->Remove();
  {
    plat::Locked<plat::CriticalSection> g(m.Lock());
    // (the walk above purged the first one)
    ASSERT_EQ(m.Root()->DirectoryCount(), 1);
    EXPECT_TRUE(m.Root()->DirectoryRemoved(0));
  }

  TShareFile* f1 = m.AddFile(t.dir + "solo.txt", "Same");
  f1->Remove();
  TShareFile* f2 = m.AddFile(t.dir + "solo.txt", "Same");
  f2->SetName("Other");
  EXPECT_EQ(m.Root()->FileName(0), "Same");
  EXPECT_EQ(m.Root()->FileName(1), "Other");
  EXPECT_EQ(f2->SharePath, "/Other");
  f2->Remove();
  EXPECT_TRUE(m.Root()->FileRemoved(1));
  m.Root()->Purge();
  EXPECT_EQ(m.Root()->FileCount(), 0);
  EXPECT_EQ(m.Root()->DirectoryCount(), 0);
  m.Root()->Remove();  // the root stays
  EXPECT_NE(m.Root(), nullptr);
}

TEST(ShareTree, SetNameOnAShare) {
  Tree t;
  Shared s(t);
  s.one->SetName("Uno");
  EXPECT_EQ(s.one->SharePath, "/Uno");
  EXPECT_EQ(s.sub->SharePath, "/One/sub");  // the entries below keep theirs
  EXPECT_TRUE(Has(Walk(s.m, "/uno", false), "D /One/sub"));
  EXPECT_TRUE(Walk(s.m, "/One", false).empty());
  s.sub->SetName("Below");
  EXPECT_EQ(s.sub->Name, "Below");
  EXPECT_EQ(s.one->DirectoryName(0), "sub");  // only shares rename their entry
}

TEST(ShareTree, VanishedShareKeepsTheOwnersData) {
  Tree t;
  TShareManager m;
  int token = 0;
  TShareDirectory* two = m.AddDirectory(t.two, "Two", true, "");
  two->Data = &token;
  const std::string moved = t.dir + "moved";
  fs::rename(t.two, moved);
  EXPECT_TRUE(Walk(m, "/", true).empty());
  // Marked by the root's update, but not freed: the owner still holds it.
  ASSERT_EQ(m.Root()->DirectoryCount(), 1);
  EXPECT_TRUE(m.Root()->DirectoryRemoved(0));
  // Back on disk, back in the list.
  fs::rename(moved, t.two);
  EXPECT_TRUE(Has(Walk(m, "/", true), "F /Two/d.txt"));
  EXPECT_FALSE(m.Root()->DirectoryRemoved(0));
  // Removed by the owner (who clears Data first): freed.
  two->Data = nullptr;
  two->Remove();
  Walk(m, "/", false);
  EXPECT_EQ(m.Root()->DirectoryCount(), 0);
}

// Clearing the shares while a query holds them marks them for the purge;
// a vanished share among them stays cleared when its folder comes back,
// beside a new share of that folder. And a query by path never reaches a
// share marked removed while no live share carries its name.
TEST(ShareTree, ClearedSharesStayClearedAndAreNotReachedByPath) {
  Tree t;
  TShareManager m;
  int token = 0;
  m.AddDirectory(t.two, "Two", true, "")->Data = &token;  // kept while vanished
  m.AddDirectory(t.one, "One", true, "");
  const std::string moved = t.dir + "moved";
  fs::rename(t.two, moved);
  EXPECT_FALSE(Has(Walk(m, "/", true), "F /Two/d.txt"));  // vanished
  ASSERT_EQ(m.Root()->DirectoryCount(), 2);
  auto holder = m.Query("/", false);
  ASSERT_TRUE(holder->Next());
  m.ClearDirectories();
  EXPECT_TRUE(Walk(m, "/One", true).empty());
  EXPECT_TRUE(Walk(m, "/Two", true).empty());
  m.AddDirectory(t.two, "Two", true, "");
  fs::rename(moved, t.two);
  const std::vector<std::string> all = Walk(m, "/", true);
  EXPECT_EQ(std::count(all.begin(), all.end(), "F /Two/d.txt"), 1);
  EXPECT_EQ(std::count(all.begin(), all.end(), "D /Two"), 1);
  EXPECT_FALSE(Has(all, "D /One"));
  EXPECT_EQ(Walk(m, "/Two", true), (std::vector<std::string>{"F /Two/d.txt"}));
  EXPECT_TRUE(Walk(m, "/One", true).empty());
  holder.reset();
  EXPECT_EQ(m.Root()->DirectoryCount(), 1);
}

TEST(ShareTree, DeferredFreeWhileAQueryLives) {
  Tree t;
  Shared s(t);
  auto q = s.m.Query("/", true);
  ASSERT_TRUE(q->Next());  // Solo
  ASSERT_TRUE(q->Next());  // One: the walk is now inside it
  ASSERT_EQ(q->Name, "One");
  fs::remove(t.one + D + "b.txt");  // gone from disk meanwhile: still reported
  s.m.ClearDirectories();
  s.m.ClearFiles();
  EXPECT_EQ(s.m.Root()->DirectoryCount(), 2);  // marked, not freed
  std::vector<std::string> rest;
  while (q->Next()) rest.push_back(q->Name);
  EXPECT_EQ(rest, (std::vector<std::string>{"a.txt", "b.txt", "sub", "c.txt"}));
  EXPECT_TRUE(Walk(s.m, "/", true).empty());
  q.reset();
  EXPECT_EQ(s.m.Root()->DirectoryCount(), 0);
  EXPECT_EQ(s.m.Root()->FileCount(), 0);

  // Loading while a query lives defers the free as well.
  Shared s2(t);
  const std::string file = t.dir + "s.dat";
  ASSERT_TRUE(s2.m.SaveToFile(file));
  auto q2 = s2.m.Query("/One", true);
  ASSERT_TRUE(q2->Next());
  ASSERT_TRUE(s2.m.LoadFromFile(file));
  EXPECT_EQ(s2.m.Root()->DirectoryCount(), 4);
  while (q2->Next()) {
  }
  q2.reset();
  EXPECT_EQ(s2.m.Root()->DirectoryCount(), 2);
}

TEST(ShareTree, DestroyingTheManagerDetachesQueries) {
  Tree t;
  auto m = std::make_unique<TShareManager>();
  m->AddDirectory(t.one, "One", true, "");
  auto q = m->Query("/", true);
  ASSERT_TRUE(q->Next());
  m.reset();
  EXPECT_FALSE(q->Next());
  q.reset();  // does not touch the manager
}

TEST(ShareTree, SaveToFileReplacesTheOldFile) {
  Tree t;
  Shared s(t);
  const std::string file = t.dir + "Shared.dat";
  Put(file, "old contents");
  ASSERT_TRUE(s.m.SaveToFile(file));
  plat::MemoryStream ms;
  ms.LoadFromFile(file);
  EXPECT_EQ(ms.AsString(), s.m.SaveToString());
  EXPECT_FALSE(plat::FileExists(file + ".tmp"));
  EXPECT_FALSE(s.m.SaveToFile(t.dir + "no" + D + "such" + D + "folder.dat"));
}

}  // namespace
