#include "gui/jpeg_header.h"

#include <cstddef>
#include <cstdint>

namespace gui {
namespace {

constexpr uint8_t kMarker = 0xFF;
constexpr uint8_t kStartOfImage = 0xD8;
constexpr uint8_t kEndOfImage = 0xD9;
constexpr uint8_t kStartOfScan = 0xDA;

int Be16(std::string_view b, size_t at) { return int(uint8_t(b[at])) << 8 | int(uint8_t(b[at + 1])); }

// The frame headers: C0 to CF but the Huffman tables (C4), the reserved
// code (C8) and the arithmetic conditioning (CC).
bool IsFrameHeader(uint8_t code) { return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC; }

// Markers without a length: the temporary one and the restarts.
bool StandsAlone(uint8_t code) { return code == 0x01 || (code >= 0xD0 && code <= 0xD7); }

bool Refuse(std::string* error, const char* why) {
  if (error) *error = why;
  return false;
}

}  // namespace

bool IsJpeg(std::string_view b) {
  return b.size() >= 2 && uint8_t(b[0]) == kMarker && uint8_t(b[1]) == kStartOfImage;
}

bool ReadJpegSize(std::string_view b, JpegSize& size, std::string* error) {
  if (!IsJpeg(b)) return Refuse(error, "not a JPEG file");
  size_t pos = 2;
  for (;;) {
    if (pos >= b.size()) return Refuse(error, "the file ends before its frame header");
    if (uint8_t(b[pos]) != kMarker) return Refuse(error, "no marker where a segment begins");
    while (pos < b.size() && uint8_t(b[pos]) == kMarker) ++pos;  // fill bytes
    if (pos >= b.size()) return Refuse(error, "the file ends before its frame header");
    const uint8_t code = uint8_t(b[pos++]);
    if (StandsAlone(code)) continue;
    if (code == kStartOfScan || code == kEndOfImage) return Refuse(error, "no frame header before the image data");
    if (code == 0 || code == kStartOfImage) return Refuse(error, "no marker where a segment begins");
    if (b.size() - pos < 2) return Refuse(error, "a segment runs past the end of the file");
    const size_t length = size_t(Be16(b, pos));  // its own two bytes included
    if (length < 2 || length > b.size() - pos) return Refuse(error, "a segment runs past the end of the file");
    if (IsFrameHeader(code)) {
      // Sample precision, then the height and the width.
      if (length < 8) return Refuse(error, "the frame header is cut short");
      const int height = Be16(b, pos + 3), width = Be16(b, pos + 5);
      if (width == 0 || height == 0) return Refuse(error, "the frame header gives no width or no height");
      size = {width, height};
      return true;
    }
    pos += length;
  }
}

}  // namespace gui
