// Listing folders on disk: TFileScan walks one folder (or a whole tree)
// entry by entry; TShareScanThread searches the fixed drives for media
// folders named by the scanning rules and for files matching a mask list,
// and adds them to a share manager.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/thread.h"

class TShareManager;
class TShareDirectory;

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

// One scanning rule: a folder whose full path matches Keyword (and not
// IgnoreKeyword, when that is given) becomes a share named Description.
struct TShareRule {
  std::string Keyword;
  std::string IgnoreKeyword;
  std::string Description;
};

// The disk search of TShareManager::StartScan. Frees itself when done.
class TShareScanThread : public plat::Thread {
 public:
  TShareScanThread(TShareManager* manager, const std::string& maskText);
  void Stop() { stop_.store(true); }

 protected:
  void Execute() override;

 private:
  bool Stopped() const { return stop_.load(); }
  void FolderStep(const std::string& fullPath);
  void FileStep(const std::string& fullPath, const std::string& name, int64_t size);
  void EndOfScan();

  std::atomic<bool> stop_{false};
  std::vector<std::string> roots_;
  TFileScan scan_;
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
