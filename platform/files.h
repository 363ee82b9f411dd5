// Files and folders. Paths are native (Win32: "C:\x\y"; POSIX: "/x/y");
// kPathDelim is the separator.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"

// windows.h turns DeleteFile into DeleteFileA. Undone here for sources that
// include windows.h first; for those that include it later, the DeleteFileA
// overload below takes the renamed calls.
#ifdef DeleteFile
#undef DeleteFile
#endif

namespace plat {

#ifdef _WIN32
constexpr char kPathDelim = '\\';
#else
constexpr char kPathDelim = '/';
#endif

// Attribute bits as the directory search reports them.
enum FileAttr : uint32_t {
  kAttrReadOnly = 1,
  kAttrHidden = 2,
  kAttrSystem = 4,
  kAttrDirectory = 16,
  kAttrArchive = 32,
};

struct FileEntry {
  std::string name;     // name only, no folder
  uint32_t attr = 0;    // FileAttr bits (POSIX: names starting with '.' are hidden)
  int64_t size = 0;     // bytes (folders: 0)
  DateTime modified = 0;  // last write, local date-time
};

// Directory search over one folder and a name mask ("*.*" or "*" = all,
// "*.mp3", ...; case-insensitive). "." and ".." are included as the system
// gives them on Win32 and emulated on POSIX. Symbolic links to folders are
// reported as links are: not as folders (so walks never loop).
class FileSearch {
 public:
  FileSearch();
  ~FileSearch();
  // Starts a search of folder for mask; false when nothing matches or the
  // folder cannot be read.
  bool First(const std::string& folder, const std::string& mask, FileEntry& out);
  bool Next(FileEntry& out);
  void Close();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

bool FileExists(const std::string& path);       // an existing non-folder
bool DirectoryExists(const std::string& path);
bool DeleteFile(const std::string& path);
#ifdef _WIN32
inline bool DeleteFileA(const std::string& path) { return DeleteFile(path); }
#endif
// Renames from over to (replacing an existing file atomically where the
// system allows it).
bool RenameFile(const std::string& from, const std::string& to);
bool CreateDir(const std::string& path);
bool ForceDirectories(const std::string& path);
int64_t FileSize(const std::string& path);      // -1 when missing
bool GetFileInfo(const std::string& path, FileEntry& out);

std::string IncludeTrailingDelim(const std::string& path);
std::string ExcludeTrailingDelim(const std::string& path);
std::string ExtractFilePath(const std::string& path);  // with trailing delimiter
std::string ExtractFileName(const std::string& path);
std::string ExtractFileExt(const std::string& path);   // with the dot

// Roots of the fixed drives (Win32: "C:\" ... with GetDriveType fixed).
// POSIX has no drives: the roots are what SetScanRootsForTesting or the
// TARN_SCAN_ROOTS environment variable (separated by ':') give, else none.
std::vector<std::string> FixedDriveRoots();
void SetFixedDriveRootsForTesting(std::vector<std::string> roots);
// True for folders a disk walk must never enter (POSIX: /proc, /sys, /dev,
// /run; Win32: none).
bool IsPseudoFileSystem(const std::string& folder);

// Watches folders (not their subfolders) for files and folders being
// created, deleted or renamed. One watcher serves many folders (POSIX: one
// inotify descriptor with one watch per folder). A folder that cannot be
// watched counts as changed on every poll.
class FolderWatcher {
 public:
  FolderWatcher();
  ~FolderWatcher();
  FolderWatcher(const FolderWatcher&) = delete;
  FolderWatcher& operator=(const FolderWatcher&) = delete;
  using Handle = int;
  Handle Add(const std::string& folder);
  void Remove(Handle h);
  // True when the folder changed since the last call for it (or since Add);
  // clears the mark. waitMs: how long to wait for a change at most.
  bool Changed(Handle h, int waitMs = 0);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace plat
