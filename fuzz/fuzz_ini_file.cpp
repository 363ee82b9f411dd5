// The ini reader over arbitrary text: whatever it keeps writes out as a
// file that reads back to the same sections and values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "gui/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  gui::IniFile a("");
  a.SetText(std::string(reinterpret_cast<const char*>(data), size));
  gui::IniFile b("");
  b.SetText(a.Text());
  if (a.ReadSections() != b.ReadSections()) std::abort();
  for (const std::string& s : a.ReadSections()) {
    if (a.ReadSectionValues(s) != b.ReadSectionValues(s)) std::abort();
  }
  return 0;
}
