#include "platform/system.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>

#include "platform/files.h"
#include "platform/text.h"

namespace plat {

void NewGuidBytes(unsigned char out[16]) {
  size_t got = 0;
  while (got < 16) {
    const ssize_t n = getrandom(out + got, 16 - got, 0);
    if (n > 0) {
      got += size_t(n);
    } else if (n < 0 && errno != EINTR) {
      break;
    }
  }
  if (got < 16) {  // no kernel source: still distinct per call
    static std::mutex lock;
    static std::random_device rd;
    std::lock_guard<std::mutex> g(lock);
    for (; got < 16; ++got) out[got] = static_cast<unsigned char>(rd());
  }
}

std::string NewGuidText() {
  unsigned char b[16];
  NewGuidBytes(b);
  // The first three groups are little-endian numbers in a GUID's layout.
  char text[39];
  std::snprintf(text, sizeof text,
                "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[3], b[2],
                b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
                b[15]);
  return text;
}

std::string ExecutablePath() {
  std::string buf(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
  if (n <= 0) return std::string();
  buf.resize(size_t(n));
  return buf;
}

std::string ProgramFolder() { return ExtractFilePath(ExecutablePath()); }

namespace {

// The full path of a program found on PATH, or "".
std::string FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (dir.empty()) dir = ".";
    const std::string full = dir + "/" + name;
    if (access(full.c_str(), X_OK) == 0) return full;
    start = end + 1;
  }
  return std::string();
}

}  // namespace

bool ShellOpen(const std::string& target, const std::string& folder) {
  const std::string opener = FindOnPath("xdg-open");
  if (opener.empty() || target.empty()) return false;
  // Everything the child needs is prepared before fork: a threaded
  // process may only make async-signal-safe calls there.
  const char* argv[] = {opener.c_str(), target.c_str(), nullptr};
  const char* dir = folder.empty() ? nullptr : folder.c_str();
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    // The grandchild is adopted by init, so nobody has to reap it.
    setsid();
    if (fork() != 0) _exit(0);
    const int devnull = open("/dev/null", O_RDWR);
    if (devnull >= 0) {
      dup2(devnull, 0);
      dup2(devnull, 1);
      dup2(devnull, 2);
    }
    if (dir && chdir(dir) != 0) _exit(127);
    execv(argv[0], const_cast<char* const*>(argv));
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return true;
}

void* LoadLib(const std::string& name) { return dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL); }

void* LibSymbol(void* lib, const char* name) { return lib ? dlsym(lib, name) : nullptr; }

void FreeLib(void* lib) {
  if (lib) dlclose(lib);
}

char ThousandsSeparator() { return ','; }
char DecimalSeparator() { return '.'; }

int CompareLocaleText(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const auto fa = static_cast<unsigned char>(FoldChar(a[i]));
    const auto fb = static_cast<unsigned char>(FoldChar(b[i]));
    if (fa != fb) return fa < fb ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (size_t i = 0; i < n; ++i) {
    if (a[i] == b[i]) continue;
    const bool aSmall = FoldChar(a[i]) != a[i];  // a[i] has a capital form
    return aSmall ? -1 : 1;
  }
  return 0;
}

void ShowMessage(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
}

}  // namespace plat
