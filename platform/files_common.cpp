// The system-independent part of platform/files.h: path texts and the
// choice of scan roots.
#include <mutex>
#include <optional>

#include "platform/files.h"
#include "platform/os.h"

namespace plat {
namespace {

bool IsDelim(char c) {
#ifdef _WIN32
  return c == kPathDelim || c == ':';  // "C:name" has the folder "C:"
#else
  return c == kPathDelim;
#endif
}

// Index of the last path delimiter, npos when none.
size_t LastDelim(const std::string& path) {
  for (size_t i = path.size(); i > 0; --i)
    if (IsDelim(path[i - 1])) return i - 1;
  return std::string::npos;
}

std::mutex rootsLock;
std::optional<std::vector<std::string>> rootsOverride;

}  // namespace

std::string IncludeTrailingDelim(const std::string& path) {
  if (!path.empty() && path.back() == kPathDelim) return path;
  return path + kPathDelim;
}

std::string ExcludeTrailingDelim(const std::string& path) {
  if (!path.empty() && path.back() == kPathDelim) return path.substr(0, path.size() - 1);
  return path;
}

std::string ExtractFilePath(const std::string& path) {
  const size_t i = LastDelim(path);
  return i == std::string::npos ? std::string() : path.substr(0, i + 1);
}

std::string ExtractFileName(const std::string& path) {
  const size_t i = LastDelim(path);
  return i == std::string::npos ? path : path.substr(i + 1);
}

std::string ExtractFileExt(const std::string& path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos) return std::string();
  const size_t delim = LastDelim(path);
  if (delim != std::string::npos && delim > dot) return std::string();
  return path.substr(dot);
}

std::vector<std::string> FixedDriveRoots() {
  {
    std::lock_guard<std::mutex> g(rootsLock);
    if (rootsOverride) return *rootsOverride;
  }
  return os::FixedDriveRootsRaw();
}

// An empty list means "no roots", never "the real ones": a test must not
// end up walking a whole disk.
void SetFixedDriveRootsForTesting(std::vector<std::string> roots) {
  std::lock_guard<std::mutex> g(rootsLock);
  rootsOverride = std::move(roots);
}

bool IsPseudoFileSystem(const std::string& folder) {
#ifdef _WIN32
  (void)folder;
  return false;
#else
  static const char* const kPseudo[] = {"/proc", "/sys", "/dev", "/run"};
  const std::string f = ExcludeTrailingDelim(folder);
  for (const char* p : kPseudo) {
    const std::string root = p;
    if (f == root || f.compare(0, root.size() + 1, root + "/") == 0) return true;
  }
  return false;
#endif
}

}  // namespace plat
