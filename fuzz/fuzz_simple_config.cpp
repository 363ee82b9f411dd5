// Settings text: parsing never fails, and what is saved reads back to the
// same store (saving it again gives the same bytes); a value the store
// takes into a store read so reads back as it was written.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string>

#include "core/simple_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TSimpleConfig a;
  a.LoadFromText(std::string_view(reinterpret_cast<const char*>(data), size));
  std::string once = a.SaveToText();
  TSimpleConfig b;
  b.LoadFromText(once);
  if (b.SaveToText() != once) std::abort();
  for (int i = 0; i < a.SectionCount(); ++i) {
    a.SetSection(a.SectionName(i));
    a.ReadInteger("x");
    a.ReadBool("y");
  }
  // The input's last bytes as a value (their count in the last byte).
  if (size > 0) {
    const size_t n = std::min<size_t>(data[size - 1], size - 1);
    const std::string value(reinterpret_cast<const char*>(data) + size - 1 - n, n);
    a.SetSection(a.SectionCount() > 0 ? a.SectionName(0) : "S");
    if (a.WriteString("Value", value)) {
      TSimpleConfig c;
      c.LoadFromText(a.SaveToText());
      c.SetSection(a.CurrentSection());
      if (c.ReadString("Value") != value || c.SaveToText() != a.SaveToText()) std::abort();
    }
  }
  return 0;
}
