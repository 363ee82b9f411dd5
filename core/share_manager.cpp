#include "core/share_manager.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

#include "core/fold_index.h"
#include "core/global_functions.h"
#include "platform/text.h"

namespace {

using Guard = plat::Locked<plat::CriticalSection>;

constexpr int64_t kMaxShareSize = 0xFFFFFFFFll;  // sizes are kept in 32 bits

// ------------------------------------------------------------ share file

const char kMagic[] = "SHARE_1_0";
constexpr size_t kMagicLength = 9;
constexpr size_t kStringField = 256;
constexpr size_t kMaxStored = 254;  // characters kept of a string
constexpr size_t kFolderBody = 4 * kStringField + 4 + 1 + 4 + 4;  // 1037
constexpr size_t kFileBody = 3 * kStringField + 1 + 4 * 4 + 8;     // 793
static_assert(kFolderBody == 1037 && kFileBody == 793);

void PutInt32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += char((v >> (8 * i)) & 0xFF);
}

void PutDouble(std::string& out, double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, 8);
  for (int i = 0; i < 8; ++i) out += char((bits >> (8 * i)) & 0xFF);
}

void PutString(std::string& out, const std::string& s) {
  const size_t n = std::min(s.size(), kMaxStored);
  out.append(s, 0, n);
  out.append(kStringField - n, '\0');
}

uint32_t GetUInt32(const unsigned char* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

int32_t GetInt32(const unsigned char* p) { return int32_t(GetUInt32(p)); }

double GetDouble(const unsigned char* p) {
  uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | p[i];
  double d;
  std::memcpy(&d, &bits, 8);
  return d;
}

// A string field: up to its NUL, at most 255 bytes when there is none.
std::string GetString(const unsigned char* p) {
  size_t n = 0;
  while (n < kStringField - 1 && p[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(p), n);
}

void ReadRecordBody(plat::Stream& s, int32_t kind, unsigned char* body) {
  s.ReadBuffer(body, int64_t(kind == 0 ? kFileBody : kFolderBody));
}

int32_t ReadKind(plat::Stream& s) {
  unsigned char k[4];
  s.ReadBuffer(k, 4);
  return GetInt32(k);
}

int64_t ChildCount(const unsigned char* folderBody) {
  return std::max<int32_t>(0, GetInt32(folderBody + 4 * kStringField));
}

// Reads past count records and the subtrees of the folders among them.
void SkipRecords(plat::Stream& s, int64_t count) {
  unsigned char body[kFolderBody];
  while (count > 0) {
    const int32_t kind = ReadKind(s);
    ReadRecordBody(s, kind, body);
    --count;
    if (kind != 0) count += ChildCount(body);
  }
}

bool IsDotEntry(const std::string& name) { return name == "." || name == ".."; }

}  // namespace

// ------------------------------------------------------------ masks

std::vector<std::string> SplitMasks(const std::string& maskText) {
  std::vector<std::string> masks;
  size_t start = 0;
  for (;;) {
    const size_t comma = maskText.find(',', start);
    if (comma == std::string::npos || comma + 1 == maskText.size()) {
      masks.push_back(plat::Trim(std::string_view(maskText).substr(start)));
      return masks;
    }
    masks.push_back(plat::Trim(std::string_view(maskText).substr(start, comma - start)));
    start = comma + 1;
  }
}

bool MatchesMasks(const std::vector<std::string>& masks, std::string_view name) {
  for (const auto& m : masks)
    if (MatchWildcard(m, name)) return true;
  return false;
}

// ------------------------------------------------------------ TShareFile

void TShareFile::SetName(const std::string& name) {
  Guard g(Manager->lock_);
  Name = name;
  Folder->Touch();
  if (!Folder->IsRoot) return;
  SharePath = "/" + name;
  for (auto& e : Folder->files_)
    if (e.node.get() == this) e.name = name;
}

void TShareFile::SetPath(const std::string& path) {
  Guard g(Manager->lock_);
  Path = path;
  Folder->Touch();
}

void TShareFile::Remove() {
  Guard g(Manager->lock_);
  Folder->Touch();
  for (auto& e : Folder->files_)
    if (e.node.get() == this) e.removed = e.disposed = true;
}

// ------------------------------------------------------------ TShareDirectory

TShareDirectory::TShareDirectory(TShareDirectory* parent, TShareManager* manager, bool root)
    : Parent(parent), Manager(manager), IsRoot(root) {}

TShareDirectory::~TShareDirectory() { Unwatch(); }

void TShareDirectory::Watch() {
  if (IsRoot) return;
  watch_ = Manager->watcher_.Add(Path);
  armed_.store(false);
  loadedAsListed_ = false;
}

void TShareDirectory::Unwatch() {
  if (watch_ < 0) return;
  Manager->watcher_.Remove(watch_);
  watch_ = -1;
}

TShareDirectory* TShareDirectory::AppendDirectory(const std::string& path,
                                                  const std::string& name,
                                                  bool includeSubfolders) {
  auto c = std::make_unique<TShareDirectory>(this, Manager, false);
  if (IsRoot) {
    c->IsShare = true;
    c->SetMasksLocked(MaskText);
  } else {
    c->Masks = Masks;
    c->MaskText = MaskText;
  }
  c->Path = path;
  c->Name = name;
  c->SharePath = SharePath + "/" + name;
  c->Watch();
  c->IncludeSubfolders = includeSubfolders;
  TShareDirectory* p = c.get();
  dirs_.push_back({name, false, false, false, std::move(c)});
  Touch();
  return p;
}

TShareDirectory* TShareDirectory::AddDirectory(const std::string& path, const std::string& name,
                                               bool includeSubfolders) {
  Guard g(Manager->lock_);
  return AppendDirectory(path, name, includeSubfolders);
}

std::unique_ptr<TShareFile> TShareDirectory::NewFile(const std::string& path, const std::string& name,
                                                     const plat::FileEntry* info, bool* analyse) {
  plat::FileEntry found;
  if (!info && plat::GetFileInfo(path, found)) info = &found;
  if (info && info->size > kMaxShareSize) return nullptr;
  auto f = std::make_unique<TShareFile>(this, Manager);
  f->Path = path;
  f->Name = name;
  if (info) {
    f->Size = uint32_t(info->size);
    f->FileDate = info->modified;
  }
  // Folders (listed as files) and devices or pipes are not analysed.
  const bool readable =
      !info || !((info->attr & plat::kAttrDirectory) ||
                 ((info->attr & plat::kAttrSystem) && info->size == 0));
  // The disk name counts too: a shown name numbered by the scan ("x.mp3
  // (1)") no longer ends in the extension.
  *analyse = readable && (MatchWildcard("*.mp3", name) || MatchWildcard("*.mp3", plat::ExtractFileName(path)));
  return f;
}

void TShareDirectory::Analyse(TShareFile& f, TMPEGaudio& mpeg) {
  try {
    mpeg.ReadFromFile(f.Path);
  } catch (...) {
    // the values read so far are used
  }
  f.BitRate = mpeg.BitRate();
  f.SampleRate = mpeg.SampleRate();
  f.Seconds = int32_t(std::lround(std::min(mpeg.Duration(), 2147483647.0)));
  f.IsMP3 = mpeg.Valid() ? 1 : 0;
}

std::unique_ptr<TShareFile> TShareDirectory::MakeFile(const std::string& path,
                                                      const std::string& name,
                                                      const plat::FileEntry* info) {
  bool analyse = false;
  std::unique_ptr<TShareFile> f = NewFile(path, name, info, &analyse);
  if (f && analyse) {
    std::lock_guard<plat::Mutex> g(mpegLock_);
    Analyse(*f, mpeg_);
  }
  return f;
}

void TShareDirectory::AppendFile(std::unique_ptr<TShareFile> f) {
  std::string name = f->Name;
  files_.push_back({std::move(name), false, false, false, std::move(f)});
  Touch();
}

TShareFile* TShareDirectory::AddFile(const std::string& path, const std::string& name) {
  std::unique_ptr<TShareFile> f = MakeFile(path, name, nullptr);
  if (!f) return nullptr;
  Guard g(Manager->lock_);
  f->SharePath = SharePath + "/" + name;
  TShareFile* p = f.get();
  AppendFile(std::move(f));
  return p;
}

void TShareDirectory::SetMasksLocked(const std::string& maskList) {
  MaskText = maskList;
  Masks = SplitMasks(maskList);
  armed_.store(false);
  loadedAsListed_ = false;
  // Folders below that were given this folder's masks follow them.
  for (auto& e : dirs_) e.node->SetMasksLocked(maskList);
}

void TShareDirectory::SetMasks(const std::string& maskList) {
  Guard g(Manager->lock_);
  SetMasksLocked(maskList);
}

void TShareDirectory::SetIncludeSubfolders(bool include) {
  Guard g(Manager->lock_);
  IncludeSubfolders = include;
  armed_.store(false);
  loadedAsListed_ = false;
  if (Parent) Parent->Touch();
}

void TShareDirectory::SetName(const std::string& name) {
  Guard g(Manager->lock_);
  Name = name;
  if (Parent) Parent->Touch();
  if (!IsShare) return;
  SharePath = "/" + name;
  for (auto& e : Parent->dirs_)
    if (e.node.get() == this) e.name = name;
}

void TShareDirectory::SetPath(const std::string& path) {
  if (IsRoot) return;
  Guard g(Manager->lock_);
  Path = path;
  if (Parent) Parent->Touch();
  Unwatch();
  Watch();
}

void TShareDirectory::Remove() {
  if (IsRoot) return;
  Guard g(Manager->lock_);
  Parent->Touch();
  for (auto& e : Parent->dirs_)
    if (e.node.get() == this) {
      e.removed = e.disposed = true;
      e.vanished = false;
    }
}

int TShareDirectory::IndexOfDirectory(const std::string& name, bool liveOnly) const {
  for (size_t i = 0; i < dirs_.size(); ++i)
    if ((!liveOnly || !dirs_[i].removed) && plat::SameText(dirs_[i].name, name)) return int(i);
  return -1;
}

// Keeps the tree from being purged while a call outside any query lists
// folders.
class PinGuard {
 public:
  explicit PinGuard(TShareManager* m) : m_(m) { m_->Pin(); }
  ~PinGuard() { m_->Unpin(); }
  PinGuard(const PinGuard&) = delete;
  PinGuard& operator=(const PinGuard&) = delete;

 private:
  TShareManager* m_;
};

void TShareDirectory::Update() {
  PinGuard pin(Manager);
  DoUpdate();
}

void TShareDirectory::Rescan() {
  PinGuard pin(Manager);
  DoRescan();
}

void TShareDirectory::DoUpdate() {
  if (IsRoot) {
    std::vector<std::pair<TShareDirectory*, std::string>> shares;
    {
      Guard g(Manager->lock_);
      for (auto& e : dirs_)
        if (!e.removed || e.vanished) shares.emplace_back(e.node.get(), e.node->Path);
    }
    for (auto& [share, path] : shares) {
      const bool exists = plat::DirectoryExists(path);
      bool live = false;
      {
        Guard g(Manager->lock_);
        for (auto& e : dirs_) {
          if (e.node.get() != share) continue;
          if (exists && e.vanished) {
            e.removed = e.vanished = false;
            Touch();
          }
          if (!exists && !e.removed) {
            e.removed = e.vanished = true;
            Touch();
          }
          live = exists && !e.removed;
        }
      }
      if (live) share->DoUpdate();
    }
    return;
  }
  // The notification is only looked at, never waited for: a query that
  // reaches an unchanged folder goes on at once.
  const bool changed = Manager->watcher_.Changed(watch_, 0);
  if (armed_.load() && !changed) return;
  if (changed || !TakeLoadedAsListed()) DoRescan();
  armed_.store(true);
}

// The names back to back, each entry pointing into them.
struct TShareDirectory::Listing {
  struct Entry {
    uint32_t at, length;
    int64_t size;
    plat::DateTime date;
    bool directory;
  };
  std::string prefix;     // what comes before a name in an entry's full path
  bool complete = false;  // the folder could be listed
  std::string names;
  std::vector<Entry> entries;  // "." and ".." left out
  std::vector<std::pair<size_t, uint32_t>> exact;  // (hash of the name, entry), sorted

  std::string_view Name(size_t i) const {
    return std::string_view(names).substr(entries[i].at, entries[i].length);
  }
  std::string FullPath(size_t i) const { return prefix + std::string(Name(i)); }

  // Whether a file exists, as plat::FileExists answers: an entry of exactly
  // its name with data settles it; any other path is asked of the disk.
  bool FileExists(const std::string& file) {
    if (file.size() > prefix.size() && file.compare(0, prefix.size(), prefix) == 0) {
      const std::string_view name = std::string_view(file).substr(prefix.size());
      if (exact.size() != entries.size()) {
        for (uint32_t i = 0; i < entries.size(); ++i) exact.emplace_back(std::hash<std::string_view>()(Name(i)), i);
        std::sort(exact.begin(), exact.end());
      }
      const size_t h = std::hash<std::string_view>()(name);
      for (auto it = std::lower_bound(exact.begin(), exact.end(), std::make_pair(h, uint32_t(0)));
           it != exact.end() && it->first == h; ++it) {
        const Entry& e = entries[it->second];
        if (Name(it->second) == name && !e.directory && e.size > 0) return true;
      }
    }
    return plat::FileExists(file);
  }
};

// Which entries of the lists a listing keeps.
struct TShareDirectory::Kept {
  std::vector<char> dirs, files;
};

std::unique_ptr<TShareDirectory::Listing> TShareDirectory::List(TFileScan& scan, const std::string& path) {
  auto l = std::make_unique<Listing>();
  scan.Start(path, false);
  while (scan.Next()) {
    // Every folder that can be listed shows "." at least (a drive's root
    // shows its first entry).
    if (!l->complete) l->prefix = scan.FullPath.substr(0, scan.FullPath.size() - scan.Name.size());
    l->complete = true;
    if (IsDotEntry(scan.Name)) continue;
    l->entries.push_back(
        {uint32_t(l->names.size()), uint32_t(scan.Name.size()), scan.Size, scan.FileDate, scan.Directory});
    l->names += scan.Name;
  }
  return l;
}

TShareDirectory::Kept TShareDirectory::LineUpLocked(const Listing& listing, bool include,
                                                    const std::vector<std::string>& masks,
                                                    const std::function<bool(size_t, bool)>& fresh) {
  // The lists by folded name, built once per listing (the first entry of a
  // name wins, as in a linear search); an entry added meanwhile is found by
  // later entries of its name.
  TFoldIndex dirIndex, fileIndex;
  for (size_t i = 0; i < dirs_.size(); ++i) dirIndex.Insert(uint32_t(i), plat::FoldedHash(dirs_[i].name));
  for (size_t i = 0; i < files_.size(); ++i) fileIndex.Insert(uint32_t(i), plat::FoldedHash(files_[i].name));
  Kept kept{std::vector<char>(dirs_.size(), 0), std::vector<char>(files_.size(), 0)};
  for (size_t i = 0; i < listing.entries.size(); ++i) {
    const Listing::Entry& e = listing.entries[i];
    const std::string_view name = listing.Name(i);
    const bool asFolder = e.directory && include;
    if (!asFolder && (e.size > kMaxShareSize || !MatchesMasks(masks, name))) continue;
    const size_t hash = plat::FoldedHash(name);
    auto& list = asFolder ? kept.dirs : kept.files;
    TFoldIndex& index = asFolder ? dirIndex : fileIndex;
    const int64_t k = index.Find(hash, [&](uint32_t slot) {
      return plat::SameText(asFolder ? dirs_[slot].name : files_[slot].name, name);
    });
    if (k >= 0) {
      list[size_t(k)] = 1;
    } else if (fresh(i, asFolder)) {
      index.Insert(uint32_t(list.size()), hash);
      list.push_back(1);
    }
  }
  return kept;
}

void TShareDirectory::LoadedLocked(const Listing& listing) {
  bool added = false;
  const Kept kept = LineUpLocked(listing, IncludeSubfolders, Masks, [&](size_t, bool) { return added = true, false; });
  const auto all = [](const std::vector<char>& v) { return std::find(v.begin(), v.end(), 0) == v.end(); };
  loadedAsListed_ = !added && all(kept.dirs) && all(kept.files);
  loadedVersion_ = version_;
}

bool TShareDirectory::TakeLoadedAsListed() {
  Guard g(Manager->lock_);
  const bool unchanged = loadedAsListed_ && loadedVersion_ == version_;
  loadedAsListed_ = false;
  return unchanged;
}

void TShareDirectory::DoRescan() {
  if (IsRoot) return;
  Guard folder(folderLock_);
  std::string path;
  bool include;
  std::vector<std::string> masks;
  {
    Guard g(Manager->lock_);
    path = Path;
    include = IncludeSubfolders;
    masks = Masks;
    loadedAsListed_ = false;
  }

  // The listing, outside the manager lock; so are the new files built (and
  // analysed).
  const std::unique_ptr<Listing> listing = List(scan_, path);
  std::vector<std::unique_ptr<TShareFile>> made(listing->entries.size());
  std::vector<size_t> fresh;
  {
    Guard g(Manager->lock_);
    LineUpLocked(*listing, include, masks, [&](size_t i, bool folder) {
      if (!folder) fresh.push_back(i);
      return false;
    });
  }
  for (size_t i : fresh) {
    const Listing::Entry& e = listing->entries[i];
    plat::FileEntry info;
    info.name = std::string(listing->Name(i));
    info.size = e.size;
    info.modified = e.date;
    made[i] = MakeFile(listing->FullPath(i), info.name, &info);
  }

  // Marks and additions in one step, so a query never sees an entry flicker.
  Guard g(Manager->lock_);
  const Kept kept = LineUpLocked(*listing, include, masks, [&](size_t i, bool folder) {
    const std::string name(listing->Name(i));
    if (folder) {
      AppendDirectory(listing->FullPath(i), name, true);
      return true;
    }
    if (!made[i]) return false;
    made[i]->SharePath = SharePath + "/" + name;
    AppendFile(std::move(made[i]));
    return true;
  });
  Touch();
  for (size_t i = 0; i < dirs_.size(); ++i) {
    dirs_[i].removed = !kept.dirs[i];
    if (kept.dirs[i]) dirs_[i].disposed = false;
  }
  for (size_t i = 0; i < files_.size(); ++i) {
    files_[i].removed = !kept.files[i];
    if (kept.files[i]) files_[i].disposed = false;
  }
}

void TShareDirectory::PurgeLocked() {
  // A removed entry still carrying the owner's Data stays, unless the owner
  // removed it himself.
  auto freeable = [](const auto& e) { return e.removed && (e.disposed || !e.node->Data.load()); };
  if (std::erase_if(files_, freeable) + std::erase_if(dirs_, freeable) > 0) Touch();
  for (auto& e : dirs_) e.node->PurgeLocked();
}

void TShareDirectory::ShrinkLocked() {
  files_.shrink_to_fit();
  dirs_.shrink_to_fit();
  for (auto& e : dirs_) e.node->ShrinkLocked();
}

void TShareDirectory::Purge() {
  Guard g(Manager->lock_);
  if (!Manager->InUse()) PurgeLocked();
}

// ------------------------------------------------------------ TShareResults

TShareResults::TShareResults(TShareManager* manager, bool recursive) : manager_(manager) {
  Recursive = recursive;
}

TShareManager* TShareResults::Attach() {
  std::lock_guard<std::mutex> g(attachLock_);
  if (manager_) manager_->busy_.fetch_add(1);
  return manager_;
}

TShareResults::~TShareResults() {
  TShareManager* m = Attach();
  if (!m) return;
  m->Unregister(this);
  m->busy_.fetch_sub(1);
}

bool TShareResults::Next() {
  TShareManager* m = Attach();
  if (!m) return false;
  struct Release {
    TShareManager* m;
    ~Release() { m->busy_.fetch_sub(1); }
  } release{m};

  TShareDirectory* entered = nullptr;
  {
    Guard g(m->lock_);
    for (;;) {
      if (!current_) return false;
      const auto& files = current_->files_;
      while (size_t(fileIndex_) < files.size()) {
        const auto& e = files[size_t(fileIndex_++)];
        if (e.removed) continue;
        const TShareFile& f = *e.node;
        IsDirectory = false;
        Name = f.Name;
        Path = f.Path;
        SharePath = f.SharePath;
        IsMP3 = f.IsMP3 != 0;
        BitRate = f.BitRate;
        SampleRate = f.SampleRate;
        Seconds = f.Seconds;
        Size = f.Size;
        return true;
      }
      const auto& dirs = current_->dirs_;
      TShareDirectory* item = nullptr;
      while (!item && size_t(dirIndex_) < dirs.size()) {
        const auto& e = dirs[size_t(dirIndex_++)];
        if (!e.removed) item = e.node.get();
      }
      if (item) {
        IsDirectory = true;
        Name = item->Name;
        Path = item->Path;
        SharePath = item->SharePath;
        Reserved1 = item->Reserved1;
        Reserved2 = item->Reserved2;
        if (Recursive) {
          stack_.push_back({current_, fileIndex_, dirIndex_});
          current_ = entered = item;
          fileIndex_ = dirIndex_ = 0;
        }
        break;
      }
      if (stack_.empty()) {
        current_ = nullptr;
        return false;
      }
      current_ = stack_.back().folder;
      fileIndex_ = stack_.back().fileIndex;
      dirIndex_ = stack_.back().dirIndex;
      stack_.pop_back();
    }
  }
  if (entered) entered->DoUpdate();
  return true;
}

// ------------------------------------------------------------ TShareManager

TShareManager::TShareManager() : root_(std::make_unique<TShareDirectory>(nullptr, this, true)) {}

TShareManager::~TShareManager() {
  StopScan();
  {
    Guard g(lock_);
    for (TShareResults* r : live_) {
      std::lock_guard<std::mutex> a(r->attachLock_);
      r->manager_ = nullptr;
    }
    live_.clear();
    liveCount_ = 0;
  }
  // Calls that attached before the detachment end by themselves.
  while (busy_.load() > 0) plat::Thread::Sleep(1);
  Guard g(lock_);
  root_.reset();
}

void TShareManager::Pin() {
  Guard g(lock_);
  ++pins_;
}

void TShareManager::Unpin() {
  Guard g(lock_);
  if (--pins_ == 0 && !InUse()) root_->PurgeLocked();
}

void TShareManager::Unregister(TShareResults* r) {
  Guard g(lock_);
  auto it = std::find(live_.begin(), live_.end(), r);
  if (it == live_.end()) return;
  live_.erase(it);
  if (--liveCount_ == 0 && !InUse()) root_->PurgeLocked();
}

int TShareManager::LiveQueries() {
  Guard g(lock_);
  return liveCount_;
}

TShareDirectory* TShareManager::AddDirectory(const std::string& path, const std::string& name,
                                             bool includeSubfolders,
                                             const std::string& maskList) {
  Guard g(lock_);
  TShareDirectory* d = root_->AppendDirectory(path, name, includeSubfolders);
  d->SetMasksLocked(maskList);
  return d;
}

TShareFile* TShareManager::AddFile(const std::string& path, const std::string& name) {
  Guard g(lock_);
  return root_->AddFile(path, name);
}

bool TShareManager::RereadFile(const std::string& path) {
  if (!plat::FileExists(path)) return false;
  PinGuard pin(this);  // the nodes found stay until their figures are in
  const std::string folder = plat::ExcludeTrailingDelim(plat::ExtractFilePath(path));
  std::vector<TShareFile*> found;
  {
    Guard g(lock_);
    std::vector<TShareDirectory*> pending{root_.get()};
    while (!pending.empty()) {
      TShareDirectory* d = pending.back();
      pending.pop_back();
      if (d->IsRoot || plat::SameText(plat::ExcludeTrailingDelim(d->Path), folder))
        for (const auto& e : d->files_)
          if (plat::SameText(e.node->Path, path)) found.push_back(e.node.get());
      for (const auto& e : d->dirs_) pending.push_back(e.node.get());
    }
  }
  for (TShareFile* f : found) {
    // Read and analysed outside the lock, as a rescan makes its files.
    const std::unique_ptr<TShareFile> now = f->Folder->MakeFile(path, f->Name, nullptr);
    if (!now) continue;
    Guard g(lock_);
    f->Size = now->Size;
    f->FileDate = now->FileDate;
    f->IsMP3 = now->IsMP3;
    f->BitRate = now->BitRate;
    f->SampleRate = now->SampleRate;
    f->Seconds = now->Seconds;
  }
  return !found.empty();
}

void TShareManager::ClearLocked(bool dirs, bool files) {
  root_->Touch();
  if (InUse()) {
    // Queries may hold these entries: they are freed when the last ends.
    // A vanished share is cleared like any other: its folder coming back
    // does not bring it back.
    if (dirs)
      for (auto& e : root_->dirs_) {
        e.removed = e.disposed = true;
        e.vanished = false;
      }
    if (files)
      for (auto& e : root_->files_) e.removed = e.disposed = true;
    return;
  }
  if (dirs) root_->dirs_.clear();
  if (files) root_->files_.clear();
}

void TShareManager::ClearDirectories() {
  Guard g(lock_);
  ClearLocked(true, false);
}

void TShareManager::ClearFiles() {
  Guard g(lock_);
  ClearLocked(false, true);
}

TShareRule* TShareManager::AddRule(const std::string& keyword, const std::string& ignoreKeyword,
                                   const std::string& description) {
  Guard g(lock_);
  rules_.push_back(std::make_unique<TShareRule>(TShareRule{keyword, ignoreKeyword, description}));
  return rules_.back().get();
}

void TShareManager::ClearRules() {
  Guard g(lock_);
  rules_.clear();
}

std::vector<TShareRule> TShareManager::Rules() {
  Guard g(lock_);
  std::vector<TShareRule> copy;
  for (const auto& r : rules_) copy.push_back(*r);
  return copy;
}

void TShareManager::HandleMessage(unsigned msg, TShareManager* wParam, void* lParam) {
  if (wParam != this || msg < WM_SHARE_ADD_DIRECTORY || msg > WM_SHARE_ADD_DIRECTORY + 3) return;
  if (msg == WM_SHARE_ADD_DIRECTORY && OnAddDirectory)
    OnAddDirectory(this, static_cast<TShareDirectory*>(lParam));
  else if (msg == WM_SHARE_ADD_FILE && OnAddFile)
    OnAddFile(this, static_cast<TShareFile*>(lParam));
}

void TShareManager::SendMessage(unsigned msg, void* lParam) {
  window_.Send([&] { HandleMessage(msg, this, lParam); });
}

void TShareManager::SaveToStream(plat::Stream& s) {
  std::string out;  // records gather here and go out in large writes
  auto flush = [&](size_t above) {
    if (out.size() <= above) return;
    s.WriteBuffer(out.data(), int64_t(out.size()));
    out.clear();
  };
  auto writeFile = [&](const TShareFile& f) {
    PutInt32(out, 0);
    PutString(out, f.Path);
    PutString(out, f.Name);
    PutString(out, f.SharePath);
    out += char(f.IsMP3);
    PutInt32(out, uint32_t(f.BitRate));
    PutInt32(out, uint32_t(f.SampleRate));
    PutInt32(out, uint32_t(f.Seconds));
    PutInt32(out, f.Size);
    PutDouble(out, f.FileDate);
    flush(1 << 16);
  };
  auto writeFiles = [&](const TShareDirectory& d) {
    for (const auto& e : d.files_)
      if (!e.removed) writeFile(*e.node);
  };
  std::vector<const TShareDirectory*> stack;
  auto pushFolders = [&stack](const TShareDirectory& d) {
    for (const auto& e : d.dirs_)
      if (!e.removed) stack.push_back(e.node.get());
  };

  Guard g(lock_);
  out.assign(kMagic, kMagicLength);
  writeFiles(*root_);
  pushFolders(*root_);
  // The last folder pushed is written first, so a folder's subfolders come
  // out in reverse list order, each followed by its own subtree.
  while (!stack.empty()) {
    const TShareDirectory& d = *stack.back();
    stack.pop_back();
    uint32_t children = 0;
    for (const auto& e : d.files_) children += !e.removed;
    for (const auto& e : d.dirs_) children += !e.removed;
    PutInt32(out, 1);
    PutString(out, d.Path);
    PutString(out, d.Name);
    PutString(out, d.SharePath);
    PutString(out, d.MaskText);
    PutInt32(out, children);
    out += char(d.IncludeSubfolders ? 1 : 0);
    PutInt32(out, uint32_t(d.Reserved1));
    PutInt32(out, uint32_t(d.Reserved2));
    writeFiles(d);
    pushFolders(d);
  }
  flush(0);
}

std::string TShareManager::SaveToString() {
  plat::MemoryStream s;
  SaveToStream(s);
  return s.AsString();
}

bool TShareManager::SaveToFile(const std::string& fileName) {
  // Written beside and renamed over the old file, so a failed save never
  // loses the list that was there.
  const std::string temp = fileName + ".tmp";
  try {
    {
      plat::FileStream f(temp, plat::FileStream::kCreate);
      SaveToStream(f);
      f.Flush();
    }
    if (plat::RenameFile(temp, fileName)) return true;
  } catch (...) {
  }
  plat::DeleteFile(temp);
  return false;
}

bool TShareManager::LoadFromFile(const std::string& fileName) {
  // Read a block at a time: a record at a time costs a library of files
  // some hundred thousand calls to the system.
  constexpr int64_t kBlock = 1 << 16;
  std::unique_ptr<plat::HeaderFileStream> s;
  try {
    s = std::make_unique<plat::HeaderFileStream>(fileName, kBlock, 0);
  } catch (...) {
    return false;  // the tree stays as it is
  }
  return LoadFromStream(*s);
}

bool TShareManager::LoadFromStream(plat::Stream& s) {
  Guard g(lock_);
  ClearLocked(true, true);
  try {
    char magic[kMagicLength];
    if (s.Read(magic, kMagicLength) != int64_t(kMagicLength) ||
        std::memcmp(magic, kMagic, kMagicLength) != 0)
      return false;

    // Each folder is listed as it is added (after its change notification is
    // set up): its files are looked for in that listing rather than one by
    // one on disk, and once its records are read the listing tells whether
    // its first update must list it again.
    struct Level {
      TShareDirectory* folder;
      int64_t remaining;  // records still to come as its direct children
      std::unique_ptr<TShareDirectory::Listing> listing;
    };
    std::vector<Level> stack;
    Level cur{root_.get(), 0, nullptr};
    TFileScan scan;
    unsigned char body[kFolderBody];
    const int64_t size = s.Size();
    while (s.Position() < size) {
      const int32_t kind = ReadKind(s);
      ReadRecordBody(s, kind, body);
      --cur.remaining;
      const std::string path = GetString(body);
      const std::string name = GetString(body + kStringField);
      if (kind == 0) {
        if (cur.listing ? cur.listing->FileExists(path) : plat::FileExists(path)) {
          auto f = std::make_unique<TShareFile>(cur.folder, this);
          f->Path = path;
          f->Name = name;
          f->SharePath = GetString(body + 2 * kStringField);
          const unsigned char* p = body + 3 * kStringField;
          f->IsMP3 = p[0];
          f->BitRate = GetInt32(p + 1);
          f->SampleRate = GetInt32(p + 5);
          f->Seconds = GetInt32(p + 9);
          f->Size = GetUInt32(p + 13);
          f->FileDate = GetDouble(p + 17);
          TShareFile* added = f.get();
          cur.folder->AppendFile(std::move(f));
          if (cur.folder->IsRoot) SendMessage(WM_SHARE_ADD_FILE, added);
        }
      } else {
        const int64_t children = ChildCount(body);
        if (!plat::DirectoryExists(path)) {
          SkipRecords(s, children);
        } else {
          const unsigned char* p = body + 4 * kStringField;
          TShareDirectory* d = cur.folder->AppendDirectory(path, name, p[4] != 0);
          d->Reserved1 = GetInt32(p + 5);
          d->Reserved2 = GetInt32(p + 9);
          if (d->IsShare) d->SetMasksLocked(GetString(body + 3 * kStringField));
          if (cur.folder->IsRoot) SendMessage(WM_SHARE_ADD_DIRECTORY, d);
          std::unique_ptr<TShareDirectory::Listing> listing = TShareDirectory::List(scan, path);
          if (!listing->complete) listing.reset();
          stack.push_back(std::move(cur));
          cur = {d, children, std::move(listing)};
        }
      }
      while (cur.remaining <= 0 && !stack.empty()) {
        if (cur.listing) cur.folder->LoadedLocked(*cur.listing);
        cur = std::move(stack.back());
        stack.pop_back();
      }
    }
    root_->ShrinkLocked();
    return true;
  } catch (...) {
    return false;  // what was read stays
  }
}

std::unique_ptr<TShareResults> TShareManager::Query(const std::string& sharePath,
                                                    bool recursive) {
  std::unique_ptr<TShareResults> r(new TShareResults(this, recursive));
  TShareDirectory* folder = nullptr;
  {
    Guard g(lock_);
    live_.push_back(r.get());
    ++liveCount_;
    folder = root_.get();
    size_t i = 0;
    while (folder && i <= sharePath.size()) {
      size_t end = sharePath.find_first_of("/\\", i);
      if (end == std::string::npos) end = sharePath.size();
      if (end > i) {
        const int k = folder->IndexOfDirectory(plat::Trim(sharePath.substr(i, end - i)), true);
        folder = k >= 0 ? folder->dirs_[size_t(k)].node.get() : nullptr;
      }
      i = end + 1;
    }
    r->current_ = folder;
  }
  if (folder) folder->DoUpdate();
  return r;
}

// ------------------------------------------------------------ scans

bool TShareManager::Scanning() { return scanThread_.load() != nullptr; }

void TShareManager::StartScan(const std::string& maskList) {
  StopScan();
  Guard g(lock_);
  auto* t = new TShareScanThread(this, maskList);
  t->Serial = ++scansStarted_;
  t->SetFreeOnTerminate(true);
  scanThread_.store(t);
  t->Resume();
}

void TShareManager::CancelScan() {
  // The thread object lives until its end call has cleared this on the
  // owner's thread.
  if (TShareScanThread* t = scanThread_.load()) t->Stop();
}

void TShareManager::StopScan() {
  if (!plat::MainLoop::IsMainThread()) {
    // The scan's last call runs on the owner's thread, which lets go of
    // the thread before OnScanEnd runs: wait for that call to return.
    const uint64_t last = scansStarted_.load();
    if (scanEndedSerial_.load() >= last) return;
    CancelScan();
    while (scanEndedSerial_.load() < last) plat::Thread::Sleep(50);
    return;
  }
  if (!scanThread_.load()) return;  // none, or its end is being handled here
  CancelScan();
  // The scan's last call runs on this (the owner's) thread: keep it served.
  while (scanThread_.load()) plat::MainLoop::PumpUntil([this] { return scanThread_.load() == nullptr; }, 50);
}

void TShareManager::ScanEnded(TShareScanThread* t) {
  if (scanThread_.load() == t) scanThread_.store(nullptr);
  if (OnScanEnd) OnScanEnd(this);
  if (t->Serial > scanEndedSerial_.load()) scanEndedSerial_.store(t->Serial);
}
