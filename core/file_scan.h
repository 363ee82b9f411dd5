// Listing folders on disk: TFileScan walks one folder (or a whole tree)
// entry by entry; TShareScanThread searches the fixed drives for media
// folders named by the scanning rules and for files matching a mask list,
// and adds them to a share manager.
#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/thread.h"

class TShareManager;
class TShareDirectory;
class TShareFile;

class TFileScan {
 public:
  TFileScan() = default;
  TFileScan(const TFileScan&) = delete;
  TFileScan& operator=(const TFileScan&) = delete;

  // Folder (trimmed, a path delimiter appended) becomes the only pending
  // folder.
  void Start(const std::string& folder, bool recursive);
  // True when the entry fields describe the next entry. "." and ".." are
  // reported like other entries. A folder that cannot be listed is skipped.
  bool Next();

  // The current entry.
  std::string Name;
  std::string FullPath;  // current folder + Name
  bool Hidden = false, System = false, Directory = false;
  plat::DateTime FileDate = 0;
  int64_t Size = 0;

 private:
  bool NextFolder();
  void Fill(const plat::FileEntry& e);

  plat::FileSearch search_;
  std::vector<std::string> pending_;  // a stack: the last one is taken first
  bool findActive_ = false;
  bool fresh_ = false;
  std::string current_;
  bool recursive_ = false;
};

// One scanning rule: a folder whose full path matches Keyword (and
// IgnoreKeyword too, when that is given: despite its name it narrows the
// rule) becomes a share named Description.
struct TShareRule {
  std::string Keyword;
  std::string IgnoreKeyword;
  std::string Description;
};

// The disk search of TShareManager::StartScan. Frees itself when done.
class TShareScanThread : public plat::Thread {
 public:
  TShareScanThread(TShareManager* manager, const std::string& maskText);
  ~TShareScanThread() override;
  void Stop() { stop_.store(true); }
  // Which of its manager's scans this is (the first is 1).
  uint64_t Serial = 0;
  // Called on a header reader's thread before it reads a file (tests hold
  // reads back with it); empty: none.
  static void SetReadHookForTesting(std::function<void(const std::string& path)> hook);

 protected:
  void Execute() override;

 private:
  bool Stopped() const { return stop_.load(); }

  // One entry of the walk, as TFileScan described it. The walk runs ahead
  // on a thread of its own (AheadWalk), listing folders while the steps of
  // what it listed before run here; the entries keep their order.
  struct Walked {
    std::string name, fullPath;
    int64_t size = 0;
    plat::DateTime date = 0;
    bool hidden = false, system = false, directory = false;
  };
  class AheadWalk;

  void FolderStep(const std::string& fullPath);
  void FileStep(const Walked& entry);
  void EndOfScan();

  // The files the file step took, in step order, while a few reader
  // threads (HeaderReaders) read their MP3 figures: they join the tree and
  // are announced in that order, before a share found after them. Under an
  // emulated system every file opened costs several round trips to its
  // server; several files' trips overlap. The names and paths taken are in
  // the index from the step on.
  struct Taken {
    std::unique_ptr<TShareFile> file;
    bool analyse = false;  // its figures are to be read,
    uint64_t number = 0;   // by the readers under this number
  };
  class HeaderReaders;
  void JoinOldest(size_t count);
  void JoinTaken();
  std::deque<std::unique_ptr<Taken>> taken_;
  HeaderReaders* readers_ = nullptr;

  // What the steps look up in the root's lists, case-folded and hashed
  // once, so a step costs the same however much was added before. Built
  // when the root's version differs from the one it was built for (some
  // other call changed the root) and kept in step with the scan's own
  // additions. Used under the manager lock.
  struct Share {
    std::string upperPath;  // upper-cased Path
    std::string trimmed;    // and trimmed
    bool include;
    bool removed;
  };
  // Texts hashed and compared without regard to case (looked up by
  // std::string_view, so a look-up copies nothing).
  struct FoldHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const;
  };
  struct FoldEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };
  using FoldSet = std::unordered_set<std::string, FoldHash, FoldEqual>;
  struct RootIndex {
    uint64_t version = ~uint64_t(0);
    FoldSet filePaths;   // unremoved files, by path
    FoldSet fileNames;   // unremoved files, by trimmed name
    FoldSet shareNames;  // unremoved shares, the same
    // A base name (left-trimmed) -> n: the names numbered 1 to n after it
    // are all taken.
    std::unordered_map<std::string, int, FoldHash, FoldEqual> fileNumbers, shareNumbers;
    std::vector<Share> shares;
    std::string coverFolder;  // the folder of the last file step
    bool covered = false;     // and whether a share covers it
  };
  RootIndex& Index();

  // Additions are announced (the add message, and for a file OnScanStatus)
  // in batches, each batch in one synchronised call that keeps their order:
  // a call per file would cost more than the whole rest of the step. The
  // scan pins the tree, so nothing announced is freed before its turn; an
  // entry removed meanwhile is not announced.
  struct Pending {
    unsigned msg;
    size_t index;  // in the root's list (stable while the tree is pinned)
    void* node;
  };
  void Announce(unsigned msg, size_t index, void* node);
  void Deliver();

  RootIndex index_;
  std::vector<Pending> pending_;
  int64_t pendingSince_ = 0;

  std::atomic<bool> stop_{false};
  std::vector<std::string> roots_;
  std::vector<std::string> masks_;
  TShareManager* manager_;
  std::string maskText_;
};

// Reads the scanning rules (section SCANNING_RULES, items with KEYWORD,
// IGNORE_KEYWORD and DESCRIPTION) into the manager with AddRule. A missing
// or unreadable file adds nothing more; the rules read so far stay.
void LoadScanningRules(TShareManager* manager, const std::string& fileName);
// The same for "SharedRules.dat" in the program folder.
void LoadScanningRules(TShareManager* manager);
// The rules of a new disk search: the manager's rules become those of the
// file (cleared first, so a search after a search does not add them again).
void ReloadScanningRules(TShareManager* manager, const std::string& fileName);
