// Key-value records filled from arbitrary bytes: keys and values as peers
// and servers might send them. Checks the record's invariants.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/message_pump.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Records are lines; a line is KEY=VALUE (a line without '=' is a key
  // with an empty value).
  const std::string text(reinterpret_cast<const char*>(data), size);
  TMessageItem m;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    const size_t eq = line.find('=');
    const std::string key = line.substr(0, eq);
    const std::string value = eq == std::string::npos ? "" : line.substr(eq + 1);
    m.SetValue(key, value);
    Check(m.GetValue(key) == value);
    const std::string stored = TMessageItem::NormaliseKey(key);
    Check(stored.empty() || (!IsBlank(stored.front()) && !IsBlank(stored.back())));
    for (char c : stored) Check(!(c >= 'a' && c <= 'z'));
    const int n = m.GetInteger(key);
    Check(n > -100000000 && n < 1000000000);
    m.GetBool(key);
    start = end + 1;
  }
  for (int i = 0; i < m.Count(); ++i)
    for (int j = i + 1; j < m.Count(); ++j) Check(m.Keys(i) != m.Keys(j));
  TMessageItem copy;
  copy.Assign(m);
  Check(copy.Count() == m.Count());
  return 0;
}
