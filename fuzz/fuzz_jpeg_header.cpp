// The JPEG frame-header reader over arbitrary bytes: it either refuses with
// a reason and leaves the size as it was, or gives a width and a height of
// 1 to 65535 from a frame header that lies wholly within the bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "gui/jpeg_header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  gui::JpegSize s{-1, -2};
  std::string error;
  if (!gui::ReadJpegSize(bytes, s, &error)) {
    if (error.empty() || s.Width != -1 || s.Height != -2) std::abort();
    return 0;
  }
  if (!gui::IsJpeg(bytes)) std::abort();
  if (s.Width < 1 || s.Width > 65535 || s.Height < 1 || s.Height > 65535) std::abort();
  // A piece of its start that still holds the frame header tells the same
  // size.
  gui::JpegSize again;
  for (size_t n = 0; n < size && n < 64; ++n)
    if (gui::ReadJpegSize(bytes.substr(0, n), again) && (again.Width != s.Width || again.Height != s.Height))
      std::abort();
  return 0;
}
