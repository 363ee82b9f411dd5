// Helpers shared by the tests.
#pragma once
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

// A fresh, empty folder for one test (removed by the caller if wanted).
std::string TempFolder(const std::string& tag);

// The source tree (for test data), from TARN_SOURCE_DIR.
std::string SourceDir();

// A whole file's bytes ("" when it cannot be read), and writing them.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
// n pseudo-random bytes, the same for the same seed.
std::string PatternBytes(std::size_t n, uint32_t seed);

}  // namespace testutil
