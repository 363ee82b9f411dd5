#include "core/share_manager.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

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

bool MatchesMasks(const std::vector<std::string>& masks, const std::string& name) {
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
  DoRescan();
  armed_.store(true);
}

void TShareDirectory::DoRescan() {
  if (IsRoot) return;
  Guard folder(folderLock_);
  std::string path, sharePath;
  bool include;
  std::vector<std::string> masks;
  {
    Guard g(Manager->lock_);
    path = Path;
    include = IncludeSubfolders;
    masks = Masks;
  }

  // The listing, outside the manager lock.
  struct Listed {
    plat::FileEntry entry;
    std::string fullPath;
    bool asFolder;  // goes to the subfolders
    bool matches;   // goes to the files
    std::unique_ptr<TShareFile> made;
  };
  std::vector<Listed> listed;
  scan_.Start(path, false);
  while (scan_.Next()) {
    if (IsDotEntry(scan_.Name)) continue;
    Listed l;
    l.entry.name = scan_.Name;
    l.entry.size = scan_.Size;
    l.entry.modified = scan_.FileDate;
    l.fullPath = scan_.FullPath;
    l.asFolder = scan_.Directory && include;
    l.matches = !l.asFolder && scan_.Size <= kMaxShareSize && MatchesMasks(masks, scan_.Name);
    listed.push_back(std::move(l));
  }

  // The lists by folded name, built once per listing (the first entry of a
  // name wins, as in a linear search).
  using NameIndex = std::unordered_map<std::string, size_t>;
  auto indexOf = [](const auto& list) {
    NameIndex index;
    for (size_t i = 0; i < list.size(); ++i) index.emplace(plat::UpperCase(list[i].name), i);
    return index;
  };
  auto find = [](const NameIndex& index, const std::string& name) {
    auto it = index.find(plat::UpperCase(name));
    return it == index.end() ? -1 : int(it->second);
  };

  // New files are built (and analysed) outside the manager lock.
  std::vector<Listed*> fresh;
  {
    Guard g(Manager->lock_);
    const NameIndex files = indexOf(files_);
    for (auto& l : listed)
      if (l.matches && find(files, l.entry.name) < 0) fresh.push_back(&l);
  }
  for (Listed* l : fresh) l->made = MakeFile(l->fullPath, l->entry.name, &l->entry);

  // Marks and additions in one step, so a query never sees an entry flicker.
  Guard g(Manager->lock_);
  NameIndex dirIndex = indexOf(dirs_), fileIndex = indexOf(files_);
  std::vector<char> keepDir(dirs_.size(), 0), keepFile(files_.size(), 0);
  for (auto& l : listed) {
    if (l.asFolder) {
      const int k = find(dirIndex, l.entry.name);
      if (k >= 0) {
        keepDir[size_t(k)] = 1;
      } else {
        dirIndex.emplace(plat::UpperCase(l.entry.name), dirs_.size());
        AppendDirectory(l.fullPath, l.entry.name, true);
        keepDir.push_back(1);
      }
    } else if (l.matches) {
      const int k = find(fileIndex, l.entry.name);
      if (k >= 0) {
        keepFile[size_t(k)] = 1;
      } else if (l.made) {
        fileIndex.emplace(plat::UpperCase(l.entry.name), files_.size());
        l.made->SharePath = SharePath + "/" + l.entry.name;
        AppendFile(std::move(l.made));
        keepFile.push_back(1);
      }
    }
  }
  Touch();
  for (size_t i = 0; i < dirs_.size(); ++i) {
    dirs_[i].removed = !keepDir[i];
    if (keepDir[i]) dirs_[i].disposed = false;
  }
  for (size_t i = 0; i < files_.size(); ++i) {
    files_[i].removed = !keepFile[i];
    if (keepFile[i]) files_[i].disposed = false;
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

void TShareManager::ClearLocked(bool dirs, bool files) {
  root_->Touch();
  if (InUse()) {
    // Queries may hold these entries: they are freed when the last ends.
    if (dirs)
      for (auto& e : root_->dirs_) e.removed = e.disposed = true;
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
  std::unique_ptr<plat::FileStream> s;
  try {
    s = std::make_unique<plat::FileStream>(fileName, plat::FileStream::kOpenRead);
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

    struct Level {
      TShareDirectory* folder;
      int64_t remaining;  // records still to come as its direct children
    };
    std::vector<Level> stack;
    Level cur{root_.get(), 0};
    unsigned char body[kFolderBody];
    const int64_t size = s.Size();
    while (s.Position() < size) {
      const int32_t kind = ReadKind(s);
      ReadRecordBody(s, kind, body);
      --cur.remaining;
      const std::string path = GetString(body);
      const std::string name = GetString(body + kStringField);
      if (kind == 0) {
        if (plat::FileExists(path)) {
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
          stack.push_back(cur);
          cur = {d, children};
        }
      }
      while (cur.remaining <= 0 && !stack.empty()) {
        cur = stack.back();
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
  if (!scanThread_.load()) return;
  CancelScan();
  // The scan's last call runs on this (the owner's) thread: keep it served.
  while (scanThread_.load()) {
    if (plat::MainLoop::IsMainThread())
      plat::MainLoop::PumpUntil([this] { return scanThread_.load() == nullptr; }, 50);
    else
      plat::Thread::Sleep(50);
  }
}

void TShareManager::ScanEnded(TShareScanThread* t) {
  if (scanThread_.load() == t) scanThread_.store(nullptr);
  if (OnScanEnd) OnScanEnd(this);
}
