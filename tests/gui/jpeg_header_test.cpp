#include "gui/jpeg_header.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/jpeg_builder.h"

namespace {

using gui::JpegSize;
using gui::ReadJpegSize;

std::string Bytes(std::initializer_list<int> b) {
  std::string s;
  for (int v : b) s += char(v);
  return s;
}

// A segment with its marker and length.
std::string Seg(int code, const std::string& body) {
  const size_t n = body.size() + 2;
  return Bytes({0xFF, code, int(n >> 8), int(n & 0xFF)}) + body;
}

// A frame header body: precision 8, height, width, one component.
std::string Frame(int width, int height) {
  return Bytes({8, height >> 8, height & 0xFF, width >> 8, width & 0xFF, 1, 1, 0x11, 0});
}

const std::string kStart = Bytes({0xFF, 0xD8});

// The size comes from the first frame header, past application segments
// (a thumbnail's own header inside one included), fill bytes, restart
// markers and a progressive frame's code; what does not lead to a whole
// frame header with a width and a height is refused, the size left as it
// was and the reason told.
TEST(JpegHeader, ReadsTheFrameSizeAndRefusesWhatHidesIt) {
  struct Case {
    const char* what;
    std::string bytes;
    int width, height;  // 0: refused
  };
  const std::string thumbnail = kStart + Seg(0xC0, Frame(5000, 5000));
  const std::vector<Case> cases = {
      {"built", jpeggen::Grey(300, 200, 90), 300, 200},
      {"past segments", kStart + Seg(0xE0, "JFIF") + Seg(0xE1, "Exif" + thumbnail) + Bytes({0xFF, 0xFF, 0xD3}) +
                            Bytes({0xFF, 0xFF}) + Seg(0xC2, Frame(65535, 1)),
       65535, 1},
      {"empty", "", 0, 0},
      {"a GIF", "GIF89a", 0, 0},
      {"the start only", kStart, 0, 0},
      {"fill bytes at the end", kStart + Bytes({0xFF, 0xFF}), 0, 0},
      {"image data first", kStart + Seg(0xDA, "scan") + Seg(0xC0, Frame(8, 8)), 0, 0},
      {"the end first", kStart + Bytes({0xFF, 0xD9}) + Seg(0xC0, Frame(8, 8)), 0, 0},
      {"tables are no frame", kStart + Seg(0xC4, Frame(8, 8)) + Seg(0xCC, Frame(8, 8)) + Seg(0xC8, Frame(8, 8)), 0, 0},
      {"a segment past the end", kStart + Seg(0xE0, "JFIF").substr(0, 6), 0, 0},
      {"a length cut in two", kStart + Bytes({0xFF, 0xE0, 0}), 0, 0},
      {"a length below two", kStart + Bytes({0xFF, 0xE0, 0, 1}) + Seg(0xC0, Frame(8, 8)), 0, 0},
      {"junk between segments", kStart + Seg(0xE0, "JFIF") + "x" + Seg(0xC0, Frame(8, 8)), 0, 0},
      {"a second start", kStart + kStart + Seg(0xC0, Frame(8, 8)), 0, 0},
      {"a frame header cut short", kStart + Seg(0xC0, Frame(8, 8).substr(0, 5)), 0, 0},
      {"no height", kStart + Seg(0xC0, Frame(8, 0)), 0, 0},
      {"no width", kStart + Seg(0xC1, Frame(0, 8)), 0, 0},
  };
  for (const Case& c : cases) {
    JpegSize size{7, 9};
    std::string error;
    const bool read = ReadJpegSize(c.bytes, size, &error);
    EXPECT_EQ(read, c.width > 0) << c.what;
    if (read) {
      EXPECT_EQ(size.Width, c.width) << c.what;
      EXPECT_EQ(size.Height, c.height) << c.what;
    } else {
      EXPECT_EQ(size.Width, 7) << c.what;
      EXPECT_EQ(size.Height, 9) << c.what;
      EXPECT_FALSE(error.empty()) << c.what;
    }
  }
}

}  // namespace
