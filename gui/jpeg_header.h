// The size a JPEG file declares, read from its frame header without
// decoding anything: what a picture from elsewhere would cost is known
// before a decoder is asked to make it.
#pragma once
#include <string>
#include <string_view>

namespace gui {

struct JpegSize {
  int Width = 0;
  int Height = 0;
};

// Whether bytes begin as a JPEG file does (the start-of-image marker).
bool IsJpeg(std::string_view bytes);

// The width and height of the JPEG's first frame header, found by walking
// its segments from the start (fill bytes before a marker allowed; a
// segment's contents, such as a thumbnail in an application segment, are
// passed over whole). False, with size unchanged and *error telling why,
// when bytes do not begin as a JPEG, something other than a marker stands
// where one belongs, a segment runs past the end, the image data or the
// end come before any frame header, or the header is cut short or gives no
// width or no height (a height the image data sets later is not known
// beforehand).
bool ReadJpegSize(std::string_view bytes, JpegSize& size, std::string* error = nullptr);

}  // namespace gui
