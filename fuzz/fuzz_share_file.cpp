// Loading "Shared.dat" from arbitrary bytes: the loader must stop cleanly on
// anything, and what it loaded must survive two save/load cycles byte for
// byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/share_manager.h"
#include "platform/dispatcher.h"
#include "platform/stream.h"

namespace {

std::string SaveOfLoad(const std::string& bytes, bool* ok = nullptr) {
  TShareManager m;
  plat::MemoryStream s;
  if (!bytes.empty()) s.Write(bytes.data(), int64_t(bytes.size()));
  s.SetPosition(0);
  const bool loaded = m.LoadFromStream(s);
  if (ok) *ok = loaded;
  return m.SaveToString();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  plat::MainLoop::Init();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  bool ok = false;
  const std::string first = SaveOfLoad(input, &ok);
  if (first.compare(0, 9, "SHARE_1_0") != 0) std::abort();
  // Each cycle reverses the order of shares and subfolders; two restore it.
  bool again = false;
  const std::string second = SaveOfLoad(first, &again);
  if (!again || second.size() != first.size()) std::abort();
  if (SaveOfLoad(second) != first) std::abort();
  return 0;
}
