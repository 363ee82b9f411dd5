#include "core/file_scan.h"

#include <array>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <thread>

#include "core/config_wrapper.h"
#include "core/global_functions.h"
#include "core/mpeg.h"
#include "core/share_manager.h"
#include "platform/dispatcher.h"
#include "platform/system.h"
#include "platform/text.h"

namespace {

using Guard = plat::Locked<plat::CriticalSection>;

constexpr size_t kAnnounceBatch = 256;  // additions announced in one call at most
constexpr int64_t kAnnounceMs = 100;    // how long an addition waits for its batch at most
constexpr size_t kTakenAhead = 32;      // files taken and not yet added, at most

bool IsDotEntry(const std::string& name) { return name == "." || name == ".."; }

// The folder part of a path, without its trailing delimiter unless it is
// a root ("C:\", "/").
std::string FolderOf(const std::string& path) {
  std::string folder = plat::ExtractFilePath(path);
  const bool driveRoot = folder.size() == 3 && folder[1] == ':';
  if (folder.size() > 1 && !driveRoot) folder = plat::ExcludeTrailingDelim(folder);
  return folder;
}

}  // namespace

// ------------------------------------------------------------ TFileScan

void TFileScan::Start(const std::string& folder, bool recursive) {
  search_.Close();
  findActive_ = false;
  pending_.assign(1, plat::IncludeTrailingDelim(plat::Trim(folder)));
  recursive_ = recursive;
  fresh_ = true;
}

bool TFileScan::Next() {
  if (fresh_) {
    fresh_ = false;
    return NextFolder();
  }
  plat::FileEntry e;
  if (findActive_ && search_.Next(e)) {
    Fill(e);
    return true;
  }
  return NextFolder();
}

bool TFileScan::NextFolder() {
  // A folder that cannot be listed is passed over; the walk goes on with
  // the next pending one.
  while (!pending_.empty()) {
    current_ = std::move(pending_.back());
    pending_.pop_back();
    search_.Close();
    plat::FileEntry e;
    findActive_ = search_.First(current_, "*", e);
    if (findActive_) {
      Fill(e);
      return true;
    }
  }
  search_.Close();
  findActive_ = false;
  return false;
}

void TFileScan::Fill(const plat::FileEntry& e) {
  Name = e.name;
  FullPath = current_ + e.name;
  Hidden = (e.attr & plat::kAttrHidden) != 0;
  System = (e.attr & plat::kAttrSystem) != 0;
  Directory = (e.attr & plat::kAttrDirectory) != 0;
  Size = e.size;
  FileDate = e.modified;
  if (Directory && recursive_ && !IsDotEntry(Name) && !plat::IsPseudoFileSystem(FullPath))
    pending_.push_back(FullPath + plat::kPathDelim);
}

// ------------------------------------------------------------ TShareScanThread

TShareScanThread::TShareScanThread(TShareManager* manager, const std::string& maskText)
    : plat::Thread(true), manager_(manager), maskText_(maskText) {}

TShareScanThread::~TShareScanThread() = default;

namespace {

std::mutex readHookLock;
std::function<void(const std::string&)> readHook;

void BeforeRead(const std::string& path) {
  std::function<void(const std::string&)> hook;
  {
    std::lock_guard<std::mutex> g(readHookLock);
    hook = readHook;
  }
  if (hook) hook(path);
}

}  // namespace

void TShareScanThread::SetReadHookForTesting(std::function<void(const std::string&)> hook) {
  std::lock_guard<std::mutex> g(readHookLock);
  readHook = std::move(hook);
}

// Reads the MP3 figures of the files handed to it, in the order handed, on
// kThreads threads of its own, each with its own analyser. Destroying it
// waits for the reads handed over. The threads meet as seldom as they can:
// where the system is emulated each wait and wake-up costs round trips too.
class TShareScanThread::HeaderReaders {
 public:
  static constexpr int kThreads = 3;

  HeaderReaders() {
    try {
      for (int i = 0; i < kThreads; ++i) threads_.emplace_back([this] { Run(); });
    } catch (...) {
      End();
      throw;
    }
  }
  ~HeaderReaders() { End(); }

  // Hands t over; answers its number (from 0, in the order handed).
  uint64_t Add(Taken* t) {
    std::lock_guard<std::mutex> g(lock_);
    queue_.emplace_back(added_, t);
    if (idle_ > 0) work_.notify_one();
    return added_++;
  }

  // Waits until every file numbered up to n is read.
  void WaitThrough(uint64_t n) {
    std::unique_lock<std::mutex> g(lock_);
    waitFor_ = n;
    read_.wait(g, [&] { return readBelow_ > n; });
  }

 private:
  void Run() {
    TMPEGaudio mpeg;
    std::unique_lock<std::mutex> g(lock_);
    for (;;) {
      ++idle_;
      work_.wait(g, [this] { return !queue_.empty() || quit_; });
      --idle_;
      if (queue_.empty()) return;
      const auto [n, t] = queue_.front();
      queue_.pop_front();
      g.unlock();
      BeforeRead(t->file->Path);
      TShareDirectory::Analyse(*t->file, mpeg);
      g.lock();
      const uint64_t before = readBelow_;
      if (n == readBelow_) {
        ++readBelow_;
        while (readAhead_.erase(readBelow_) > 0) ++readBelow_;
      } else {
        readAhead_.insert(n);
      }
      if (before <= waitFor_ && readBelow_ > waitFor_) read_.notify_one();
    }
  }

  void End() {
    {
      std::lock_guard<std::mutex> g(lock_);
      quit_ = true;
    }
    work_.notify_all();
    for (std::thread& t : threads_) t.join();
    threads_.clear();
  }

  std::mutex lock_;
  std::condition_variable work_, read_;
  std::deque<std::pair<uint64_t, Taken*>> queue_;
  uint64_t added_ = 0;
  uint64_t readBelow_ = 0;        // every file numbered below it is read
  std::set<uint64_t> readAhead_;  // and these above it
  uint64_t waitFor_ = ~uint64_t(0);
  int idle_ = 0;  // threads waiting for work
  bool quit_ = false;
  std::vector<std::thread> threads_;  // last: started once the rest is there
};

// Walks the roots in order, each recursively, handing the entries over in
// blocks; at most kAheadBlocks blocks wait. Destroying it stops the walk.
class TShareScanThread::AheadWalk {
 public:
  static constexpr size_t kBlock = 256;
  static constexpr size_t kAheadBlocks = 64;

  AheadWalk(std::vector<std::string> roots, const std::atomic<bool>& stop)
      : roots_(std::move(roots)), stop_(stop), thread_([this] { Run(); }) {}
  ~AheadWalk() {
    {
      std::lock_guard<std::mutex> g(lock_);
      quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  // The next block; empty once the walk is over.
  std::vector<Walked> Next() {
    std::unique_lock<std::mutex> g(lock_);
    changed_.wait(g, [this] { return !blocks_.empty() || done_; });
    if (blocks_.empty()) return {};
    std::vector<Walked> block = std::move(blocks_.front());
    blocks_.pop_front();
    changed_.notify_all();
    return block;
  }

 private:
  void Run() {
    std::vector<Walked> block;
    auto hand = [&] {  // false when the walk is to stop
      std::unique_lock<std::mutex> g(lock_);
      changed_.wait(g, [this] { return blocks_.size() < kAheadBlocks || quit_; });
      if (quit_) return false;
      if (!block.empty()) blocks_.push_back(std::move(block));
      block.clear();
      changed_.notify_all();
      return true;
    };
    try {
      TFileScan scan;
      for (const std::string& root : roots_) {
        if (stop_.load()) break;
        scan.Start(root, true);
        while (!stop_.load() && scan.Next()) {
          block.push_back({scan.Name, scan.FullPath, scan.Size, scan.FileDate, scan.Hidden, scan.System,
                           scan.Directory});
          if (block.size() >= kBlock && !hand()) return;
        }
      }
    } catch (...) {
      // what was listed is handed over; the scan ends there
    }
    hand();
    std::lock_guard<std::mutex> g(lock_);
    done_ = true;
    changed_.notify_all();
  }

  const std::vector<std::string> roots_;
  const std::atomic<bool>& stop_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<std::vector<Walked>> blocks_;
  bool done_ = false;
  bool quit_ = false;
  std::thread thread_;  // last: starts once the rest is there
};

void TShareScanThread::Execute() {
  manager_->Pin();  // released by EndOfScan
  try {
    roots_ = plat::FixedDriveRoots();
    masks_ = SplitMasks(maskText_);
    HeaderReaders readers;
    readers_ = &readers;
    AheadWalk walk(roots_, stop_);
    while (!Stopped()) {
      const std::vector<Walked> block = walk.Next();
      if (block.empty()) break;
      for (const Walked& e : block) {
        if (Stopped()) break;
        if (!pending_.empty() && plat::MonotonicMs() - pendingSince_ >= kAnnounceMs) Deliver();
        if (e.directory) {
          if (!IsDotEntry(e.name)) FolderStep(e.fullPath);
        } else {
          FileStep(e);
        }
      }
    }
    JoinTaken();
  } catch (...) {
    // the scan never raises; it ends as a stopped one (what was taken and
    // not added is dropped)
  }
  readers_ = nullptr;
  taken_.clear();
  EndOfScan();
}

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string_view TrimLeftView(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

// Names are compared trimmed, without regard to case.
std::string_view TrimView(std::string_view s) {
  s = TrimLeftView(s);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// The first of base, base (1), base (2), ... that no entry holds; the
// caller takes it (and adds its trimmed form, *key, to taken). numbers
// remembers per base how many numbered names are known to be taken, so a
// name repeated a thousand times does not try a thousand numbers each time.
template <class Set, class Numbers>
std::string FreeName(const std::string& base, const Set& taken, Numbers& numbers, std::string* key) {
  if (taken.find(TrimView(base)) == taken.end()) {
    *key = std::string(TrimView(base));
    return base;
  }
  // The numbered names trimmed: the base without its leading blanks, then
  // " (n)".
  const std::string_view head = TrimLeftView(base);
  auto it = numbers.find(head);
  if (it == numbers.end()) it = numbers.emplace(std::string(head), 0).first;
  int& n = it->second;
  for (;;) {
    const std::string number = " (" + std::to_string(++n) + ")";
    *key = std::string(head) + number;
    if (taken.find(std::string_view(*key)) == taken.end()) return base + number;
  }
}

}  // namespace

size_t TShareScanThread::FoldHash::operator()(std::string_view s) const { return plat::FoldedHash(s); }

bool TShareScanThread::FoldEqual::operator()(std::string_view a, std::string_view b) const {
  return plat::SameText(a, b);
}

TShareScanThread::RootIndex& TShareScanThread::Index() {
  TShareDirectory* root = manager_->root_.get();
  RootIndex& x = index_;
  if (x.version == root->version_) return x;
  // Built again from the lists, with every file taken in them.
  JoinTaken();
  x = RootIndex();
  x.filePaths.reserve(root->files_.size() + 4096);
  x.fileNames.reserve(root->files_.size() + 4096);
  for (const auto& e : root->files_) {
    if (e.removed) continue;
    x.filePaths.emplace(e.node->Path);
    x.fileNames.emplace(TrimView(e.node->Name));
  }
  for (const auto& e : root->dirs_) {
    const TShareDirectory& d = *e.node;
    if (!e.removed) x.shareNames.emplace(TrimView(d.Name));
    std::string upper = plat::UpperCase(d.Path);
    std::string trimmed = plat::Trim(upper);
    x.shares.push_back({std::move(upper), std::move(trimmed), d.IncludeSubfolders, e.removed});
  }
  x.version = root->version_;
  return x;
}

void TShareScanThread::FolderStep(const std::string& fullPath) {
  Guard g(manager_->lock_);
  // The first rule that calls this folder a media folder. Whatever its
  // name says, a rule's ignore keyword, when given, narrows the rule: the
  // path must match it as well (the rules files are written that way).
  const TShareRule* rule = nullptr;
  for (const auto& r : manager_->rules_) {
    if (Stopped()) return;
    const bool narrowed = plat::Trim(r->IgnoreKeyword).empty() || MatchWildcard(r->IgnoreKeyword, fullPath);
    if (MatchWildcard(r->Keyword, fullPath) && narrowed) {
      rule = r.get();
      break;
    }
  }
  if (!rule) return;

  RootIndex& x = Index();
  const std::string upper = plat::UpperCase(fullPath);
  const std::string upperTrimmed = plat::Trim(upper);
  for (const Share& s : x.shares) {
    if (Stopped()) return;
    if (s.removed) continue;
    if (s.trimmed == upperTrimmed) return;
    if (s.include && upper.find(s.upperPath) != std::string::npos) return;
  }

  std::string key;
  const std::string name = FreeName(rule->Description, x.shareNames, x.shareNumbers, &key);
  JoinTaken();  // the files taken before it come first
  TShareDirectory* root = manager_->root_.get();
  TShareDirectory* added = root->AppendDirectory(fullPath, name, true);
  added->Masks = masks_;
  added->MaskText = maskText_;
  // The index follows this addition itself.
  x.shareNames.insert(std::move(key));
  x.shares.push_back({upper, upperTrimmed, true, false});
  x.coverFolder.clear();
  x.version = root->version_;
  Announce(WM_SHARE_ADD_DIRECTORY, root->dirs_.size() - 1, added);
}

void TShareScanThread::FileStep(const Walked& entry) {
  const std::string& fullPath = entry.fullPath;
  bool wanted = false;
  for (const auto& m : masks_) {
    if (Stopped()) return;
    if (MatchWildcard(m, entry.name)) {
      wanted = true;
      break;
    }
  }
  if (!wanted || entry.size > 0xFFFFFFFFll) return;  // sizes are kept in 32 bits
  {
    Guard g(manager_->lock_);
    RootIndex& x = Index();
    if (x.filePaths.find(std::string_view(fullPath)) != x.filePaths.end()) return;

    // Every share counts here, removed or not. Files come folder by
    // folder, so the answer for the last folder is kept (by the folder
    // part of the path as it is, which alone decides the answer).
    std::string rawFolder = plat::ExtractFilePath(fullPath);
    if (rawFolder != x.coverFolder || rawFolder.empty()) {
      const std::string folder = FolderOf(plat::UpperCase(plat::Trim(fullPath)));
      x.covered = false;
      for (const Share& s : x.shares) {
        if (Stopped()) return;
        if (folder == s.trimmed || (s.include && folder.find(s.upperPath) != std::string::npos)) {
          x.covered = true;
          break;
        }
      }
      x.coverFolder = std::move(rawFolder);
    }
    if (x.covered) return;

    std::string key;
    const std::string shown = FreeName(entry.name, x.fileNames, x.fileNumbers, &key);
    plat::FileEntry info;
    info.name = entry.name;
    info.size = entry.size;
    info.modified = entry.date;
    info.attr = (entry.hidden ? uint32_t(plat::kAttrHidden) : 0u) | (entry.system ? uint32_t(plat::kAttrSystem) : 0u);
    TShareDirectory* root = manager_->root_.get();
    auto taken = std::make_unique<Taken>();
    taken->file = root->NewFile(fullPath, shown, &info, &taken->analyse);
    if (!taken->file) {  // not taken after all: the numbers remembered may be one too far
      x.version = ~uint64_t(0);
      return;
    }
    taken->file->SharePath = root->SharePath + "/" + shown;
    x.filePaths.insert(fullPath);
    x.fileNames.insert(std::move(key));
    if (taken->analyse) taken->number = readers_->Add(taken.get());
    taken_.push_back(std::move(taken));
  }
  // The older half joins once enough are taken; the readers go on with the
  // rest meanwhile.
  if (taken_.size() >= kTakenAhead) JoinOldest(kTakenAhead / 2);
}

void TShareScanThread::JoinOldest(size_t count) {
  // One wait for the reads of them all.
  uint64_t through = ~uint64_t(0);
  for (size_t i = 0; i < count; ++i)
    if (taken_[i]->analyse) through = taken_[i]->number;
  if (through != ~uint64_t(0)) readers_->WaitThrough(through);

  Guard g(manager_->lock_);
  TShareDirectory* root = manager_->root_.get();
  for (size_t i = 0; i < count; ++i) {
    std::unique_ptr<Taken> t = std::move(taken_.front());
    taken_.pop_front();
    // The index holds the file already; it stays in step unless some other
    // call changed the root meanwhile (then it is built again when used).
    const bool inStep = index_.version == root->version_;
    TShareFile* added = t->file.get();
    root->AppendFile(std::move(t->file));
    if (inStep) index_.version = root->version_;
    Announce(WM_SHARE_ADD_FILE, root->files_.size() - 1, added);
  }
}

void TShareScanThread::JoinTaken() { JoinOldest(taken_.size()); }

void TShareScanThread::Announce(unsigned msg, size_t index, void* node) {
  if (pending_.empty()) pendingSince_ = plat::MonotonicMs();
  pending_.push_back({msg, index, node});
  if (pending_.size() >= kAnnounceBatch) Deliver();
}

void TShareScanThread::Deliver() {
  if (pending_.empty()) return;
  Guard g(manager_->lock_);
  TShareManager* m = manager_;
  TShareDirectory* root = m->root_.get();
  auto present = [](const auto& list, size_t i, void* node) {
    return i < list.size() && list[i].node.get() == node && !list[i].removed;
  };
  std::vector<Pending> batch;
  batch.swap(pending_);
  m->window_.Send([&] {
    for (const Pending& p : batch) {
      if (p.msg == WM_SHARE_ADD_DIRECTORY) {
        if (present(root->dirs_, p.index, p.node)) m->HandleMessage(p.msg, m, p.node);
      } else if (present(root->files_, p.index, p.node)) {
        m->HandleMessage(p.msg, m, p.node);
        // The file's full path as the walk found it.
        if (m->OnScanStatus) m->OnScanStatus(m, static_cast<TShareFile*>(p.node)->Path);
      }
    }
  });
}

void TShareScanThread::EndOfScan() {
  try {
    Deliver();
  } catch (...) {
  }
  manager_->Unpin();
  try {
    manager_->Root()->Update();
  } catch (...) {
  }
  TShareManager* m = manager_;
  try {
    Synchronize([m, this] { m->ScanEnded(this); });
  } catch (...) {
  }
}

// ------------------------------------------------------------ rules file

void LoadScanningRules(TShareManager* manager, const std::string& fileName) {
  try {
    TConfig config;
    config.LoadFromFile(fileName);
    if (!config.SetCurrentNode("\\SCANNING_RULES")) return;
    for (int i = 0; i < config.ItemCount(); ++i) {
      config.ItemName(i);
      manager->AddRule(config.GetValue("KEYWORD"), config.GetValue("IGNORE_KEYWORD"),
                       config.GetValue("DESCRIPTION"));
    }
  } catch (...) {
    // a missing or unreadable file: the rules read so far stay
  }
}

void ReloadScanningRules(TShareManager* manager, const std::string& fileName) {
  manager->ClearRules();
  LoadScanningRules(manager, fileName);
}

void LoadScanningRules(TShareManager* manager) {
  LoadScanningRules(manager, plat::ProgramFolder() + "SharedRules.dat");
}
