// Files and folders on Win32 (ANSI API): directory search, file streams,
// fixed drives and folder change notifications.
#include <windows.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

#include "platform/files.h"
#include "platform/os.h"
#include "platform/stream.h"

namespace plat {

namespace {

constexpr DWORD kKnownAttrs = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrDirectory | kAttrArchive;

DateTime LocalDateTime(const FILETIME& utc) {
  FILETIME local;
  SYSTEMTIME st;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st)) return 0;
  return EncodeDateTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond,
                        st.wMilliseconds);
}

// Fills an entry from what the system reports. A link to a folder (a
// reparse point) is not reported as a folder, so that walks never loop.
void FillEntry(FileEntry& out, const char* name, DWORD attrs, DWORD sizeHigh, DWORD sizeLow,
               const FILETIME& written) {
  out.name = name;
  out.attr = attrs & kKnownAttrs;
  if (attrs & FILE_ATTRIBUTE_REPARSE_POINT) out.attr &= ~uint32_t(kAttrDirectory);
  out.size = (attrs & FILE_ATTRIBUTE_DIRECTORY) ? 0 : int64_t((uint64_t(sizeHigh) << 32) | sizeLow);
  out.modified = LocalDateTime(written);
}

// The system's text for an error number, without the closing line break.
std::string ErrorText(DWORD error) {
  char buf[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           error, 0, buf, sizeof buf, nullptr);
  while (n > 0 && (buf[n - 1] == '\r' || buf[n - 1] == '\n' || buf[n - 1] == ' ')) --n;
  return n > 0 ? std::string(buf, n) : "Error " + std::to_string(error);
}

bool Attributes(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA& data) {
  return !path.empty() && GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
}

}  // namespace

// --------------------------------------------------------------- FileSearch

struct FileSearch::Impl {
  HANDLE h = INVALID_HANDLE_VALUE;
};

FileSearch::FileSearch() : impl_(std::make_unique<Impl>()) {}
FileSearch::~FileSearch() { Close(); }

bool FileSearch::First(const std::string& folder, const std::string& mask, FileEntry& out) {
  Close();
  std::string pattern = (folder.empty() ? std::string() : IncludeTrailingDelim(folder)) + mask;
  WIN32_FIND_DATAA fd;
  impl_->h = FindFirstFileA(pattern.c_str(), &fd);
  if (impl_->h == INVALID_HANDLE_VALUE) return false;
  FillEntry(out, fd.cFileName, fd.dwFileAttributes, fd.nFileSizeHigh, fd.nFileSizeLow,
            fd.ftLastWriteTime);
  return true;
}

bool FileSearch::Next(FileEntry& out) {
  if (impl_->h == INVALID_HANDLE_VALUE) return false;
  WIN32_FIND_DATAA fd;
  if (!FindNextFileA(impl_->h, &fd)) return false;
  FillEntry(out, fd.cFileName, fd.dwFileAttributes, fd.nFileSizeHigh, fd.nFileSizeLow,
            fd.ftLastWriteTime);
  return true;
}

void FileSearch::Close() {
  if (impl_->h != INVALID_HANDLE_VALUE) FindClose(impl_->h);
  impl_->h = INVALID_HANDLE_VALUE;
}

// ------------------------------------------------------ single-file helpers

bool FileExists(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  return Attributes(path, data) && !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  return Attributes(path, data) && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DeleteFile(const std::string& path) { return ::DeleteFileA(path.c_str()) != 0; }

bool RenameFile(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool CreateDir(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

bool ForceDirectories(const std::string& path) {
  std::string dir = ExcludeTrailingDelim(path);
  if (dir.empty()) return false;
  if (DirectoryExists(dir)) return true;
  std::string parent = ExcludeTrailingDelim(ExtractFilePath(dir));
  // Stops at a drive ("C:") or share root, which cannot be created.
  if (!parent.empty() && parent != dir && !(parent.size() == 2 && parent[1] == ':') &&
      !ForceDirectories(parent))
    return false;
  return CreateDir(dir) || DirectoryExists(dir);
}

int64_t FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!Attributes(path, data)) return -1;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
  return int64_t((uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

bool GetFileInfo(const std::string& path, FileEntry& out) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!Attributes(path, data)) return false;
  FillEntry(out, ExtractFileName(ExcludeTrailingDelim(path)).c_str(), data.dwFileAttributes,
            data.nFileSizeHigh, data.nFileSizeLow, data.ftLastWriteTime);
  return true;
}

// ------------------------------------------------------------ fixed drives

std::vector<std::string> os::FixedDriveRootsRaw() {
  std::vector<std::string> roots;
  DWORD drives = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(drives & (DWORD(1) << i))) continue;
    std::string root = std::string(1, char('A' + i)) + ":\\";
    if (GetDriveTypeA(root.c_str()) == DRIVE_FIXED) roots.push_back(root);
  }
  return roots;
}

// --------------------------------------------------------------- FileStream

struct FileStream::Impl {
  HANDLE h = INVALID_HANDLE_VALUE;
};

FileStream::FileStream(const std::string& path, Mode mode) : impl_(std::make_unique<Impl>()) {
  DWORD access = 0, share = FILE_SHARE_READ, disposition = OPEN_EXISTING;
  switch (mode) {
    case kOpenRead:
      access = GENERIC_READ;
      share = FILE_SHARE_READ | FILE_SHARE_WRITE;  // deny none
      break;
    case kOpenWrite: access = GENERIC_WRITE; break;
    case kOpenReadWrite: access = GENERIC_READ | GENERIC_WRITE; break;
    case kCreate:
      access = GENERIC_READ | GENERIC_WRITE;
      disposition = CREATE_ALWAYS;
      break;
  }
  impl_->h = CreateFileA(path.c_str(), access, share, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (impl_->h == INVALID_HANDLE_VALUE)
    throw EStreamError((mode == kCreate ? "Cannot create file \"" : "Cannot open file \"") +
                       path + "\". " + ErrorText(GetLastError()));
}

FileStream::~FileStream() {
  if (impl_->h != INVALID_HANDLE_VALUE) CloseHandle(impl_->h);
}

int64_t FileStream::Read(void* buf, int64_t count) {
  int64_t done = 0;
  char* p = static_cast<char*>(buf);
  while (done < count) {
    DWORD chunk = DWORD(std::min<int64_t>(count - done, 1 << 30)), got = 0;
    if (!ReadFile(impl_->h, p + done, chunk, &got, nullptr) || got == 0) break;
    done += got;
  }
  return done;
}

int64_t FileStream::Write(const void* buf, int64_t count) {
  int64_t done = 0;
  const char* p = static_cast<const char*>(buf);
  while (done < count) {
    DWORD chunk = DWORD(std::min<int64_t>(count - done, 1 << 30)), put = 0;
    if (!WriteFile(impl_->h, p + done, chunk, &put, nullptr) || put == 0) break;
    done += put;
  }
  return done;
}

int64_t FileStream::Seek(int64_t offset, Origin origin) {
  LARGE_INTEGER dist, pos;
  dist.QuadPart = offset;
  DWORD method = origin == kBegin ? FILE_BEGIN : origin == kCurrent ? FILE_CURRENT : FILE_END;
  if (!SetFilePointerEx(impl_->h, dist, &pos, method)) return -1;
  return pos.QuadPart;
}

int64_t FileStream::Size() {
  LARGE_INTEGER size;
  return GetFileSizeEx(impl_->h, &size) ? int64_t(size.QuadPart) : -1;
}

void FileStream::SetSize(int64_t size) {
  // The position stays where it was, or at the new end when it was beyond.
  int64_t pos = Position();
  if (size < 0 || Seek(size, kBegin) != size || !SetEndOfFile(impl_->h)) {
    DWORD error = size < 0 ? ERROR_NEGATIVE_SEEK : GetLastError();
    Seek(pos, kBegin);
    throw EStreamError("Cannot set the file size. " + ErrorText(error));
  }
  Seek(std::min(pos, size), kBegin);
}

void FileStream::Flush() { FlushFileBuffers(impl_->h); }

int64_t FileStream::ReadAt(int64_t offset, void* buf, int64_t count) {
  // A move of the file pointer and a plain read: a read at an offset given
  // with it would also queue a completion, which costs a round trip to the
  // server where the system is emulated.
  LARGE_INTEGER to;
  to.QuadPart = offset;
  DWORD got = 0;
  const DWORD chunk = DWORD(std::min<int64_t>(count, 1 << 30));
  if (!SetFilePointerEx(impl_->h, to, nullptr, FILE_BEGIN) || !ReadFile(impl_->h, buf, chunk, &got, nullptr))
    return -1;
  return got;
}

// ------------------------------------------------------------ FolderWatcher

struct FolderWatcher::Impl {
  std::mutex lock;
  std::map<Handle, HANDLE> watches;  // INVALID_HANDLE_VALUE: cannot be watched
  Handle next = 1;
};

FolderWatcher::FolderWatcher() : impl_(std::make_unique<Impl>()) {}

FolderWatcher::~FolderWatcher() {
  for (auto& w : impl_->watches)
    if (w.second != INVALID_HANDLE_VALUE) FindCloseChangeNotification(w.second);
}

FolderWatcher::Handle FolderWatcher::Add(const std::string& folder) {
  HANDLE h = FindFirstChangeNotificationA(folder.c_str(), FALSE,
                                         FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME);
  std::lock_guard<std::mutex> g(impl_->lock);
  Handle id = impl_->next++;
  impl_->watches[id] = h;
  return id;
}

void FolderWatcher::Remove(Handle id) {
  std::lock_guard<std::mutex> g(impl_->lock);
  auto it = impl_->watches.find(id);
  if (it == impl_->watches.end()) return;
  if (it->second != INVALID_HANDLE_VALUE) FindCloseChangeNotification(it->second);
  impl_->watches.erase(it);
}

bool FolderWatcher::Changed(Handle id, int waitMs) {
  std::lock_guard<std::mutex> g(impl_->lock);
  auto it = impl_->watches.find(id);
  if (it == impl_->watches.end()) return false;
  HANDLE& h = it->second;
  if (h == INVALID_HANDLE_VALUE) return true;
  if (WaitForSingleObject(h, DWORD(std::max(waitMs, 0))) != WAIT_OBJECT_0) return false;
  // Re-arms the notification; when that fails the folder is gone or no
  // longer watchable, and so counts as changed from now on.
  if (!FindNextChangeNotification(h)) {
    FindCloseChangeNotification(h);
    h = INVALID_HANDLE_VALUE;
  }
  return true;
}

}  // namespace plat
