#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/os.h"
#include "platform/posix/posix_util.h"
#include "platform/stream.h"
#include "platform/text.h"

namespace plat {
namespace {

// Name mask as the directory search of Windows reads it: "*" any run, "?"
// one character, letters compared under FoldChar; "*.*" takes every name
// and "x.*" also takes "x" without an extension.
bool MatchMask(std::string_view name, std::string_view mask) {
  if (mask == "*.*") return true;
  if (mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*" &&
      MatchMask(name, mask.substr(0, mask.size() - 2)))
    return true;
  size_t n = 0, m = 0;
  size_t starM = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starM = m++;
      starN = n;
    } else if (m < mask.size() && (mask[m] == '?' || FoldChar(mask[m]) == FoldChar(name[n]))) {
      ++m;
      ++n;
    } else if (starM != std::string_view::npos) {
      m = starM + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

DateTime ModifiedOf(const struct stat& st) {
  return UnixToDateTime(st.st_mtim.tv_sec) + double(st.st_mtim.tv_nsec / 1000000) / 86400000.0;
}

// Describes the entry at path. A link to a file is that file; a link to a
// folder (or a dangling one) is neither folder nor file of any size, so a
// walk never follows it. Devices, pipes and sockets are system entries.
// dir: a descriptor of the entry's folder, which path names relative to it
// (AT_FDCWD: path is a whole path).
bool Describe(int dir, const char* path, const std::string& name, FileEntry& out) {
  struct stat st {};
  if (fstatat(dir, path, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  out = FileEntry();
  out.name = name;
  if (S_ISLNK(st.st_mode)) {
    struct stat target {};
    if (fstatat(dir, path, &target, 0) == 0 && !S_ISDIR(target.st_mode)) {
      st = target;
    } else {
      out.modified = ModifiedOf(st);
      return true;
    }
  }
  if (S_ISDIR(st.st_mode)) {
    out.attr |= kAttrDirectory;
  } else if (S_ISREG(st.st_mode)) {
    out.size = st.st_size;
  } else {
    out.attr |= kAttrSystem;
  }
  if (name.size() > 1 && name[0] == '.' && name != "..") out.attr |= kAttrHidden;
  if (!(st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH))) out.attr |= kAttrReadOnly;
  out.modified = ModifiedOf(st);
  return true;
}

}  // namespace

// ---------------------------------------------------------------- FileSearch

struct FileSearch::Impl {
  DIR* dir = nullptr;
  std::string folder;  // with trailing delimiter
  std::string mask;
};

FileSearch::FileSearch() : impl_(std::make_unique<Impl>()) {}

FileSearch::~FileSearch() { Close(); }

bool FileSearch::First(const std::string& folder, const std::string& mask, FileEntry& out) {
  Close();
  impl_->folder = IncludeTrailingDelim(folder.empty() ? std::string(".") : folder);
  impl_->mask = mask;
  impl_->dir = opendir(impl_->folder.c_str());
  if (!impl_->dir) return false;
  return Next(out);
}

bool FileSearch::Next(FileEntry& out) {
  if (!impl_->dir) return false;
  while (dirent* d = readdir(impl_->dir)) {
    const std::string name = d->d_name;
    if (!MatchMask(name, impl_->mask)) continue;
    // An entry deleted since the folder was read is passed over. It is
    // looked at relative to the open folder: no walk of the whole path.
    if (Describe(dirfd(impl_->dir), d->d_name, name, out)) return true;
  }
  return false;
}

void FileSearch::Close() {
  if (impl_->dir) closedir(impl_->dir);
  impl_->dir = nullptr;
}

// ----------------------------------------------------------- single files

bool FileExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DeleteFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool RenameFile(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0;
}

bool CreateDir(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }

bool ForceDirectories(const std::string& path) {
  const std::string dir = ExcludeTrailingDelim(path);
  if (dir.empty()) return false;
  if (DirectoryExists(dir)) return true;
  const std::string parent = ExtractFilePath(dir);
  if (!parent.empty() && parent != dir && !ForceDirectories(parent)) return false;
  return CreateDir(dir) || DirectoryExists(dir);
}

int64_t FileSize(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
  return st.st_size;
}

bool GetFileInfo(const std::string& path, FileEntry& out) {
  const std::string whole = ExcludeTrailingDelim(path);
  return Describe(AT_FDCWD, whole.c_str(), ExtractFileName(whole), out);
}

std::vector<std::string> os::FixedDriveRootsRaw() {
  std::vector<std::string> roots;
  const char* env = std::getenv("TARN_SCAN_ROOTS");
  if (!env) return roots;
  const std::string list = env;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    if (end > start) roots.push_back(IncludeTrailingDelim(list.substr(start, end - start)));
    start = end + 1;
  }
  return roots;
}

// --------------------------------------------------------------- FileStream

struct FileStream::Impl {
  int fd = -1;
};

FileStream::FileStream(const std::string& path, Mode mode) : impl_(std::make_unique<Impl>()) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case kOpenRead: flags |= O_RDONLY; break;
    case kOpenWrite: flags |= O_WRONLY; break;
    case kOpenReadWrite: flags |= O_RDWR; break;
    case kCreate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
  }
  const char* what = mode == kCreate ? "Cannot create file" : "Cannot open file";
  impl_->fd = open(path.c_str(), flags, 0666);
  if (impl_->fd < 0)
    throw EStreamError(std::string(what) + " \"" + path + "\". " + std::strerror(errno));
  struct stat st {};
  if (fstat(impl_->fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    close(impl_->fd);
    impl_->fd = -1;
    throw EStreamError(std::string(what) + " \"" + path + "\". " + std::strerror(EISDIR));
  }
}

FileStream::~FileStream() {
  if (impl_->fd >= 0) close(impl_->fd);
}

int64_t FileStream::Read(void* buf, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    const ssize_t n = read(impl_->fd, static_cast<char*>(buf) + done, size_t(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t FileStream::Write(const void* buf, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    const ssize_t n = write(impl_->fd, static_cast<const char*>(buf) + done, size_t(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t FileStream::Seek(int64_t offset, Origin origin) {
  const int whence = origin == kBegin ? SEEK_SET : origin == kCurrent ? SEEK_CUR : SEEK_END;
  return lseek(impl_->fd, off_t(offset), whence);
}

int64_t FileStream::Size() {
  struct stat st {};
  return fstat(impl_->fd, &st) == 0 ? int64_t(st.st_size) : -1;
}

void FileStream::SetSize(int64_t size) {
  if (size < 0 || ftruncate(impl_->fd, off_t(size)) != 0)
    throw EStreamError(std::string("Cannot set the file size. ") + std::strerror(errno));
  if (Position() > size) SetPosition(size);
}

void FileStream::Flush() { fsync(impl_->fd); }

int64_t FileStream::ReadAt(int64_t offset, void* buf, int64_t count) {
  ssize_t n;
  do {
    n = pread(impl_->fd, buf, size_t(count), off_t(offset));
  } while (n < 0 && errno == EINTR);
  return n;
}

// ------------------------------------------------------------ FolderWatcher

struct FolderWatcher::Impl {
  struct Entry {
    int wd;        // -1: not watched, so always changed
    bool changed;
  };
  std::mutex lock;
  int fd = -1;
  Handle next = 1;
  std::map<Handle, Entry> entries;

  // Reads what the kernel has queued and marks the folders it names.
  void Drain() {
    if (fd < 0) return;
    alignas(inotify_event) char buf[8192];
    for (;;) {
      const ssize_t n = read(fd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      for (ssize_t off = 0; off < n;) {
        const auto* ev = reinterpret_cast<const inotify_event*>(buf + off);
        off += ssize_t(sizeof(inotify_event) + ev->len);
        for (auto& [h, e] : entries) {
          if (ev->mask & IN_Q_OVERFLOW) {
            e.changed = true;
          } else if (e.wd == ev->wd) {
            e.changed = true;
            if (ev->mask & IN_IGNORED) e.wd = -1;  // the folder went away
          }
        }
      }
    }
  }
};

FolderWatcher::FolderWatcher() : impl_(std::make_unique<Impl>()) {
  // One descriptor per watcher: the system allows few of them per user.
  impl_->fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
}

FolderWatcher::~FolderWatcher() {
  if (impl_->fd >= 0) close(impl_->fd);
}

FolderWatcher::Handle FolderWatcher::Add(const std::string& folder) {
  std::lock_guard<std::mutex> g(impl_->lock);
  int wd = -1;
  if (impl_->fd >= 0)
    wd = inotify_add_watch(impl_->fd, folder.c_str(),
                           IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                               IN_MOVE_SELF | IN_ONLYDIR);
  const Handle h = impl_->next++;
  impl_->entries[h] = {wd < 0 ? -1 : wd, false};
  return h;
}

void FolderWatcher::Remove(Handle h) {
  std::lock_guard<std::mutex> g(impl_->lock);
  auto it = impl_->entries.find(h);
  if (it == impl_->entries.end()) return;
  const int wd = it->second.wd;
  impl_->entries.erase(it);
  if (wd < 0) return;
  // Adding the same folder twice gives the same watch: it stays while
  // another handle uses it.
  for (const auto& [other, e] : impl_->entries)
    if (e.wd == wd) return;
  inotify_rm_watch(impl_->fd, wd);
}

bool FolderWatcher::Changed(Handle h, int waitMs) {
  const int64_t deadline = os::MonotonicRawMs() + (waitMs > 0 ? waitMs : 0);
  for (;;) {
    {
      std::lock_guard<std::mutex> g(impl_->lock);
      impl_->Drain();
      auto it = impl_->entries.find(h);
      if (it == impl_->entries.end()) return false;
      if (it->second.wd < 0) return true;
      if (it->second.changed) {
        it->second.changed = false;
        return true;
      }
    }
    const int64_t left = deadline - os::MonotonicRawMs();
    if (left <= 0) return false;
    pollfd p{impl_->fd, POLLIN, 0};
    posix::PollRetrying(&p, 1, int(left));
  }
}

}  // namespace plat
