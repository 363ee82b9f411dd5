#include "tests/support/test_util.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/clock.h"
#include "platform/os.h"
#ifdef _WIN32
#include <process.h>
#define TARN_GETPID _getpid
#else
#include <unistd.h>
#define TARN_GETPID getpid
#endif

namespace testutil {

std::string TempFolder(const std::string& tag) {
  static std::atomic<int> counter{0};
  namespace fs = std::filesystem;
  fs::path base = fs::temp_directory_path() / "tarn-tests";
  fs::path dir = base / (tag + "-" + std::to_string(TARN_GETPID()) + "-" + std::to_string(counter++));
  std::error_code ec;
  fs::remove_all(dir, ec);
  // Test programs start side by side: when another one makes the shared
  // parent folder between our check and our own attempt, the attempt may
  // fail although the parent is there now; the next one then succeeds.
  for (int attempt = 0; attempt < 5 && !fs::is_directory(dir, ec); ++attempt) fs::create_directories(dir, ec);
  std::string s = dir.string();
  if (!s.empty() && s.back() != char(fs::path::preferred_separator)) s += char(fs::path::preferred_separator);
  return s;
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << bytes;
}

std::string PatternBytes(std::size_t n, uint32_t seed) {
  std::string s(n, '\0');
  for (auto& c : s) {
    seed = seed * 1664525u + 1013904223u;
    c = char(seed >> 24);
  }
  return s;
}

std::string SourceDir() {
  const char* s = std::getenv("TARN_SOURCE_DIR");
  return s ? s : ".";
}

bool PumpUntilStill(const std::function<uint64_t()>& count, const std::function<bool()>& gone) {
  uint64_t last = 0;
  for (int still = 0, looks = 0; looks < 1500; looks++) {
    if (gone()) return false;
    const uint64_t now = count();
    still = now > 0 && now == last ? still + 1 : 0;
    if (still >= 10) return true;
    last = now;
    PumpUntil([] { return false; }, 20);
  }
  return false;
}

MovedClock::MovedClock() {
  plat::SetMonotonicForTesting([this] { return plat::os::MonotonicRawMs() + shift_.load(); });
}

MovedClock::~MovedClock() { plat::SetMonotonicForTesting(nullptr); }

}  // namespace testutil
