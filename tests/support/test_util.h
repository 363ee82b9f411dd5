// Helpers shared by the tests.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/dispatcher.h"

namespace testutil {

// Pumps the main loop until pred holds or ms pass; true when it held.
inline bool PumpUntil(const std::function<bool()>& pred, int ms = 5000) {
  return plat::MainLoop::PumpUntil(pred, ms);
}

// Pumps the main loop until count, once above 0, stands still over ten
// looks 20 ms apart (a sender whose peer has stopped reading has filled the
// buffers between them), or until gone holds (then false; count is not
// looked at any more). A hang guard of 30 seconds ends it too (false).
bool PumpUntilStill(const std::function<uint64_t()>& count, const std::function<bool()>& gone);

// Sets a flag when it goes. A scripted peer that waits for the flag is let
// go by a guard declared after the component that waits for the peer, so
// that a failing run ends too.
class SetOnExit {
 public:
  explicit SetOnExit(std::atomic<bool>& flag) : flag_(flag) {}
  ~SetOnExit() { flag_ = true; }
  SetOnExit(const SetOnExit&) = delete;
  SetOnExit& operator=(const SetOnExit&) = delete;

 private:
  std::atomic<bool>& flag_;
};

// A fresh, empty folder for one test (removed by the caller if wanted).
std::string TempFolder(const std::string& tag);

// The source tree (for test data), from TARN_SOURCE_DIR.
std::string SourceDir();

// A whole file's bytes ("" when it cannot be read), and writing them.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
// n pseudo-random bytes, the same for the same seed.
std::string PatternBytes(std::size_t n, uint32_t seed);

// While it lives, the program's monotonic clock runs with the system's but
// is moved on by Advance (so that the program's waits end when the test
// says, not after real time). One at a time.
class MovedClock {
 public:
  MovedClock();
  ~MovedClock();
  MovedClock(const MovedClock&) = delete;
  MovedClock& operator=(const MovedClock&) = delete;
  void Advance(int64_t ms) { shift_ += ms; }

 private:
  std::atomic<int64_t> shift_{0};
};

}  // namespace testutil
