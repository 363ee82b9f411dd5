// Settings text: parsing never fails, and what is saved reads back to the
// same store (saving it again gives the same bytes).
#include <cstddef>
#include <cstdint>
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
  return 0;
}
