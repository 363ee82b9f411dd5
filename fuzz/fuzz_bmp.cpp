// The .bmp reader over arbitrary bytes: it either refuses with a reason
// and leaves the bitmap as it was, or gives a bitmap that writes out and
// reads back to the same pixels.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "gui/bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  gui::Bitmap b(1, 1);
  b.SetPixel(0, 0, gui::clRed);
  std::string error;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  if (!b.LoadFromBytes(bytes, &error)) {
    if (error.empty() || b.Width() != 1 || b.Pixel(0, 0) != gui::clRed) std::abort();
    return 0;
  }
  if (b.Width() <= 0 || b.Height() <= 0) std::abort();
  gui::Bitmap again;
  if (!again.LoadFromBytes(b.SaveToBytes())) std::abort();
  if (again.Width() != b.Width() || again.Height() != b.Height()) std::abort();
  for (int y = 0; y < b.Height(); y += 7)
    for (int x = 0; x < b.Width(); x += 7)
      if (again.Pixel(x, y) != b.Pixel(x, y)) std::abort();
  return 0;
}
