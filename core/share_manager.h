// The share tree: shared folders ("shares", each under a share name of its
// own), the folders found below them on disk, and files shared one by one;
// queries over virtual paths ("/" + share name + "/" + names below); the
// share file "Shared.dat".
//
// Locking: one re-entrant manager lock guards every list of the tree and
// every field that changes after a node is added. Queries read one entry at
// a time under it; listing a folder and analysing MP3 files happen outside
// it, the results being applied under it. While any query (or a public
// Update/Rescan) is alive nothing is freed: removed entries are only
// marked, and the last one to end frees them (Purge). Callers may hold the
// lock (Lock()) to read the lists, but not while they call Query, Next,
// Update or Rescan, which list folders without it.
//
// Events run on the thread that created the manager (the main thread); a
// sender on another thread waits for the handler. A disk scan sends while
// holding the lock, so that thread must not wait for the lock during a
// scan.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_scan.h"
#include "core/mpeg.h"
#include "platform/clock.h"
#include "platform/dispatcher.h"
#include "platform/files.h"
#include "platform/stream.h"
#include "platform/sync.h"

class TShareManager;
class TShareDirectory;
class TShareFile;
class TShareResults;

using TShareOnScanStatus = std::function<void(TShareManager* Sender, const std::string& FileName)>;
using TShareOnDirectoryAction =
    std::function<void(TShareManager* Sender, TShareDirectory* Directory)>;
using TShareOnFileAction = std::function<void(TShareManager* Sender, TShareFile* FileObject)>;
using TShareOnScanEnd = std::function<void(TShareManager* Sender)>;

// Messages to the manager's window (the owner's thread).
constexpr unsigned WM_SHARE_ADD_DIRECTORY = 0x464;
constexpr unsigned WM_SHARE_ADD_FILE = 0x466;

// Splits a mask text at commas and trims each piece; empty pieces stay (an
// empty mask matches every name); a comma that is the very last character
// stays part of the last piece.
std::vector<std::string> SplitMasks(const std::string& maskText);
// True when name matches one of the masks.
bool MatchesMasks(const std::vector<std::string>& masks, std::string_view name);

class TShareFile {
 public:
  TShareDirectory* const Folder;
  TShareManager* const Manager;
  std::string Name;
  std::string Path;       // full disk path
  std::string SharePath;  // folder's SharePath + "/" + Name
  uint8_t IsMP3 = 0;
  int32_t BitRate = 0;     // kbit/s
  int32_t SampleRate = 0;  // Hz
  int32_t Seconds = 0;     // play time, rounded
  uint32_t Size = 0;       // bytes (files of 4 GiB or more are not shared)
  plat::DateTime FileDate = 0;
  // The owner's; never freed by the tree. A removed entry is freed only
  // once its Data is cleared (or the owner removed it); atomic, since the
  // purge that looks at it may run on a query's thread.
  std::atomic<void*> Data{nullptr};

  TShareFile(TShareDirectory* folder, TShareManager* manager) : Folder(folder), Manager(manager) {}
  TShareFile(const TShareFile&) = delete;
  TShareFile& operator=(const TShareFile&) = delete;

  // A root-level file also takes the new name in its folder's list and
  // SharePath; any other file only changes Name.
  void SetName(const std::string& name);
  void SetPath(const std::string& path);
  // Marks this file removed (freed by the next purge). Clear Data first.
  void Remove();
};

class TShareDirectory {
 public:
  TShareDirectory* const Parent;  // nullptr for the root
  TShareManager* const Manager;
  const bool IsRoot;
  bool IsShare = false;  // a direct child of the root
  std::string Name;      // share name for a share, the folder's name below
  std::string Path;      // the folder on disk, as the caller gave it
  std::string SharePath;
  std::string MaskText;
  std::vector<std::string> Masks;
  bool IncludeSubfolders = true;
  int32_t Reserved1 = 0;
  int32_t Reserved2 = 0;
  // The owner's; never freed by the tree. A removed entry is freed only
  // once its Data is cleared (or the owner removed it); atomic, since the
  // purge that looks at it may run on a query's thread.
  std::atomic<void*> Data{nullptr};

  TShareDirectory(TShareDirectory* parent, TShareManager* manager, bool root);
  ~TShareDirectory();
  TShareDirectory(const TShareDirectory&) = delete;
  TShareDirectory& operator=(const TShareDirectory&) = delete;

  // Appends a subfolder (not listed now) / a file (MP3 files analysed).
  // AddFile answers nullptr for a file of 4 GiB or more.
  TShareDirectory* AddDirectory(const std::string& path, const std::string& name,
                                bool includeSubfolders);
  TShareFile* AddFile(const std::string& path, const std::string& name);
  // New masks, also for the folders below that inherited them; the next
  // Update lists the folders again.
  void SetMasks(const std::string& maskList);
  void SetIncludeSubfolders(bool include);
  // A share takes the new name in the root's list and SharePath ("/" +
  // name); the SharePaths below it stay. Other folders only change Name.
  void SetName(const std::string& name);
  // A new disk folder: the change notification follows it and the next
  // Update lists it again.
  void SetPath(const std::string& path);
  // The root checks that each share's folder exists (a vanished share is
  // marked removed, and unmarked when its folder is back) and updates it;
  // any other folder is listed again when it changed since its last
  // listing (or was never listed: a folder the share file's load listed
  // counts as listed when that listing showed nothing new to it).
  void Update();
  // Lists the folder again: marks what vanished, adds what is new.
  // Update and Rescan list the disk without the manager lock: call them
  // without holding it.
  void Rescan();
  // Frees removed entries when no query is alive.
  void Purge();
  // Marks this folder removed in its parent's list. Clear Data first. No
  // effect on the root.
  void Remove();

  // The lists. Hold the manager's lock while reading them when other
  // threads may use the tree.
  int DirectoryCount() const { return int(dirs_.size()); }
  TShareDirectory* Directory(int i) const { return dirs_[size_t(i)].node.get(); }
  const std::string& DirectoryName(int i) const { return dirs_[size_t(i)].name; }
  bool DirectoryRemoved(int i) const { return dirs_[size_t(i)].removed; }
  int FileCount() const { return int(files_.size()); }
  TShareFile* File(int i) const { return files_[size_t(i)].node.get(); }
  const std::string& FileName(int i) const { return files_[size_t(i)].name; }
  bool FileRemoved(int i) const { return files_[size_t(i)].removed; }

 private:
  friend class TShareManager;
  friend class TShareResults;
  friend class TShareFile;
  friend class TShareScanThread;

  template <class T>
  struct Entry {
    std::string name;  // as listed (case-insensitive look-up); the disk path is the node's
    bool removed = false;
    bool disposed = false;  // removed by the owner: freed even with Data set
    bool vanished = false;  // a share whose folder is missing
    std::unique_ptr<T> node;
  };

  // The folder's entries on disk as a rescan reads them, and how they line
  // up with the lists; defined with the rescan.
  struct Listing;
  struct Kept;
  static std::unique_ptr<Listing> List(TFileScan& scan, const std::string& path);
  // Which entries a listing keeps (by name, without regard to case) under
  // the include flag and masks; each listed entry that no list has goes to
  // fresh, which answers whether it added the entry. Under the manager lock.
  Kept LineUpLocked(const Listing& listing, bool include, const std::vector<std::string>& masks,
                    const std::function<bool(size_t entry, bool folder)>& fresh);
  // The load lists each folder it adds. Once the folder's records are read,
  // when a rescan by that listing would change nothing, the folder's first
  // update does not list it again (unless it changed since on disk or in
  // its lists, masks or path).
  void LoadedLocked(const Listing& listing);
  bool TakeLoadedAsListed();

  void DoUpdate();
  void DoRescan();
  void PurgeLocked();
  // The lists take no more room than their entries (a loaded library's).
  void ShrinkLocked();
  void Watch();
  void Unwatch();
  TShareDirectory* AppendDirectory(const std::string& path, const std::string& name,
                                   bool includeSubfolders);
  void AppendFile(std::unique_ptr<TShareFile> f);
  // A file node for path (Size and FileDate from info, or from the disk
  // when info is null; MP3 files analysed). nullptr for 4 GiB or more.
  std::unique_ptr<TShareFile> MakeFile(const std::string& path, const std::string& name,
                                       const plat::FileEntry* info);
  // The same without the analysis; *analyse tells whether the file is one
  // to analyse (an MP3 file that can be read).
  std::unique_ptr<TShareFile> NewFile(const std::string& path, const std::string& name,
                                      const plat::FileEntry* info, bool* analyse);
  // Reads f's MP3 figures from its file with mpeg.
  static void Analyse(TShareFile& f, TMPEGaudio& mpeg);
  void SetMasksLocked(const std::string& maskList);
  int IndexOfDirectory(const std::string& name, bool liveOnly) const;

  // Bumped under the manager lock whenever the lists change, or an entry's
  // name, path, include flag or removed mark does: indexes built over the
  // lists (the disk scan's) know from it whether they still hold. Names
  // and paths change through SetName and SetPath for that reason.
  void Touch() { ++version_; }
  uint64_t version_ = 0;

  plat::CriticalSection folderLock_;  // held by Rescan
  plat::Mutex mpegLock_;              // held while mpeg_ analyses; takes no other lock
  std::vector<Entry<TShareDirectory>> dirs_;
  std::vector<Entry<TShareFile>> files_;
  TFileScan scan_;
  TMPEGaudio mpeg_;
  std::atomic<bool> armed_{false};
  std::atomic<int> watch_{-1};  // replaced by SetPath while others poll it
  // The load's listing would change nothing at this version of the lists
  // (guarded by the manager lock).
  bool loadedAsListed_ = false;
  uint64_t loadedVersion_ = 0;
};

// Depth-first query iterator: a folder's files come before its subfolders,
// and with Recursive a folder item comes before its contents. Destroying it
// ends the query.
class TShareResults {
 public:
  ~TShareResults();
  TShareResults(const TShareResults&) = delete;
  TShareResults& operator=(const TShareResults&) = delete;

  // True: the fields describe the next item.
  bool Next();

  std::string Name, Path, SharePath;
  int32_t Reserved1 = 0, Reserved2 = 0;  // folder items
  int32_t SampleRate = 0, BitRate = 0, Seconds = 0;
  uint32_t Size = 0;  // file items
  bool IsDirectory = false;
  bool IsMP3 = false;
  bool Recursive = false;

 private:
  friend class TShareManager;
  TShareResults(TShareManager* manager, bool recursive);
  TShareManager* Attach();  // the manager, counted busy; nullptr when detached

  struct Level {
    TShareDirectory* folder;
    int fileIndex;
    int dirIndex;
  };
  std::mutex attachLock_;
  TShareManager* manager_;
  TShareDirectory* current_ = nullptr;  // nullptr: finished
  std::vector<Level> stack_;
  int fileIndex_ = 0;
  int dirIndex_ = 0;
};

class TShareManager {
 public:
  // Created on the owner's thread, which receives the events.
  TShareManager();
  // Stops a scan, detaches live queries (their Next answers False, their
  // destruction no longer touches the manager), waits for calls in
  // progress, then frees the tree and the rules.
  ~TShareManager();
  TShareManager(const TShareManager&) = delete;
  TShareManager& operator=(const TShareManager&) = delete;

  TShareOnScanStatus OnScanStatus;
  TShareOnDirectoryAction OnAddDirectory;
  TShareOnFileAction OnAddFile;
  TShareOnScanEnd OnScanEnd;

  TShareDirectory* AddDirectory(const std::string& path, const std::string& name,
                                bool includeSubfolders, const std::string& maskList);
  TShareFile* AddFile(const std::string& path, const std::string& name);
  // The files the tree lists at path take the size, date and MP3 figures
  // the file has on disk now: its contents changed under the same name (a
  // download completed it), which no rescan looks at. False when the tree
  // lists no such file.
  bool RereadFile(const std::string& path);
  // Free every share / every root-level file (marked and freed later while
  // queries are alive).
  void ClearDirectories();
  void ClearFiles();

  TShareRule* AddRule(const std::string& keyword, const std::string& ignoreKeyword,
                      const std::string& description);
  std::vector<TShareRule> Rules();  // a copy, in order
  // Frees every rule (a scan that runs meanwhile goes on without them).
  void ClearRules();
  // Starts a disk scan of the fixed drives (stopping a running one first).
  void StartScan(const std::string& maskList);
  // Asks a running scan to stop before its next step and returns at once
  // (on the manager's own thread, where the scan's end is handled).
  void CancelScan();
  // Stops a running scan; returns after its OnScanEnd has run.
  void StopScan();
  bool Scanning();

  bool SaveToFile(const std::string& fileName);
  bool LoadFromFile(const std::string& fileName);
  // The share file's bytes, as SaveToFile writes them.
  void SaveToStream(plat::Stream& s);
  std::string SaveToString();
  bool LoadFromStream(plat::Stream& s);

  std::unique_ptr<TShareResults> Query(const std::string& sharePath, bool recursive);

  TShareDirectory* Root() { return root_.get(); }
  plat::CriticalSection& Lock() { return lock_; }
  int LiveQueries();

 private:
  friend class TShareDirectory;
  friend class TShareFile;
  friend class TShareResults;
  friend class TShareScanThread;
  friend class PinGuard;

  void Pin();
  void Unpin();  // purges when nothing is alive any more
  bool InUse() const { return liveCount_ + pins_ > 0; }
  void Unregister(TShareResults* r);
  void ClearLocked(bool dirs, bool files);
  // The hidden window: WParam = the manager, LParam = the node.
  void HandleMessage(unsigned msg, TShareManager* wParam, void* lParam);
  void SendMessage(unsigned msg, void* lParam);
  void ScanEnded(TShareScanThread* t);

  plat::CriticalSection lock_;
  std::unique_ptr<TShareDirectory> root_;
  std::vector<std::unique_ptr<TShareRule>> rules_;
  int liveCount_ = 0;
  int pins_ = 0;
  std::vector<TShareResults*> live_;
  std::atomic<int> busy_{0};  // calls in progress through queries
  std::atomic<TShareScanThread*> scanThread_{nullptr};  // set and cleared on the owner's thread
  // Scans started, and the last one whose OnScanEnd has returned.
  std::atomic<uint64_t> scansStarted_{0};
  std::atomic<uint64_t> scanEndedSerial_{0};
  plat::FolderWatcher watcher_;  // one for all folders; safe from any thread
  plat::MessageTarget window_;
};
