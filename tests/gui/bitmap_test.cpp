#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "gui/bitmap.h"
#include "gui/image_list.h"
#include "gui/recording_canvas.h"

namespace {

using namespace gui;

void Put32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + size_t(i)] = char((v >> (8 * i)) & 0xFF);
}
void Put16(std::string& s, size_t at, uint16_t v) {
  s[at] = char(v & 0xFF);
  s[at + 1] = char(v >> 8);
}

// An uncompressed file: 40-byte header, palette entries (B, G, R, 0),
// rows bottom-up as given by pixel(x, y) -> value of bpp bits.
std::string MakeBmp(int w, int h, int bpp, const std::vector<Color>& palette,
                    const std::function<uint32_t(int, int)>& pixel) {
  const size_t stride = size_t(((w * bpp + 31) / 32) * 4);
  const size_t off = 14 + 40 + palette.size() * 4;
  std::string s(off + stride * size_t(h), '\0');
  s[0] = 'B';
  s[1] = 'M';
  Put32(s, 2, uint32_t(s.size()));
  Put32(s, 10, uint32_t(off));
  Put32(s, 14, 40);
  Put32(s, 18, uint32_t(w));
  Put32(s, 22, uint32_t(h));
  Put16(s, 26, 1);
  Put16(s, 28, uint16_t(bpp));
  Put32(s, 46, uint32_t(palette.size()));
  for (size_t i = 0; i < palette.size(); ++i) {
    s[54 + i * 4] = char(BlueOf(palette[i]));
    s[54 + i * 4 + 1] = char(GreenOf(palette[i]));
    s[54 + i * 4 + 2] = char(RedOf(palette[i]));
  }
  for (int y = 0; y < h; ++y) {
    uint8_t* row = reinterpret_cast<uint8_t*>(&s[off + size_t(h - 1 - y) * stride]);
    for (int x = 0; x < w; ++x) {
      const uint32_t v = pixel(x, y);
      if (bpp == 24 || bpp == 32) {
        for (int k = 0; k < bpp / 8; ++k) row[size_t(x * bpp / 8 + k)] = uint8_t(v >> (8 * k));
      } else {
        const int bit = x * bpp;
        row[bit / 8] = uint8_t(row[bit / 8] | (v << (8 - bpp - bit % 8)));
      }
    }
  }
  return s;
}

TEST(BmpReader, ReadsEveryDepthAndRoundTrips) {
  const std::vector<Color> pal = {clBlack, clRed, clLime, clBlue, clWhite};
  for (int bpp : {1, 4, 8}) {
    const int n = bpp == 1 ? 2 : 5;
    std::vector<Color> p(pal.begin(), pal.begin() + n);
    if (bpp == 1) p = {clBlack, clWhite};
    Bitmap b;
    ASSERT_TRUE(b.LoadFromBytes(MakeBmp(7, 3, bpp, p, [n](int x, int y) { return uint32_t((x + y) % n); })))
        << bpp;
    EXPECT_EQ(b.Format(), bpp == 1 ? PixelFormat::Mono : PixelFormat::Bits24);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 7; ++x) ASSERT_EQ(b.Pixel(x, y), p[size_t((x + y) % n)]) << bpp << " " << x << "," << y;
    // Written and read again: the same pixels.
    Bitmap again;
    ASSERT_TRUE(again.LoadFromBytes(b.SaveToBytes()));
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 7; ++x) ASSERT_EQ(again.Pixel(x, y), b.Pixel(x, y));
  }
  Bitmap b;
  ASSERT_TRUE(b.LoadFromBytes(MakeBmp(3, 2, 24, {}, [](int x, int y) { return uint32_t(x * 0x10 + y); })));
  EXPECT_EQ(b.Pixel(2, 1), MakeRGB(0, 0, 0x21));  // B, G, R in the file
  ASSERT_TRUE(b.LoadFromBytes(MakeBmp(2, 2, 32, {}, [](int x, int) { return x ? 0xFF102030u : 0u; })));
  EXPECT_EQ(b.Format(), PixelFormat::Bits32);
  EXPECT_EQ(b.Pixel(1, 0), MakeRGB(0x10, 0x20, 0x30));
  // Top-down rows; an index beyond the palette shows black.
  std::string td = MakeBmp(1, 2, 8, {clRed, clLime}, [](int, int y) { return uint32_t(y ? 7 : 1); });
  Put32(td, 22, uint32_t(-2));
  ASSERT_TRUE(b.LoadFromBytes(td));
  EXPECT_EQ(b.Pixel(0, 0), clBlack);
  EXPECT_EQ(b.Pixel(0, 1), clLime);
  // The automatic transparent colour is the bottom-left pixel.
  EXPECT_EQ(b.TransparentColor(), clLime);
}

TEST(BmpReader, RefusesMalformedFilesAndKeepsTheBitmap) {
  const std::string good = MakeBmp(4, 4, 8, {clRed, clBlue}, [](int x, int) { return uint32_t(x & 1); });
  struct Case {
    const char* what;
    std::function<void(std::string&)> spoil;
  };
  const Case cases[] = {
      {"signature", [](std::string& s) { s[0] = 'X'; }},
      {"short", [](std::string& s) { s.resize(20); }},
      {"header size", [](std::string& s) { Put32(s, 14, 20); }},
      {"header beyond the file", [](std::string& s) { Put32(s, 14, 124); s.resize(60); }},
      {"planes", [](std::string& s) { Put16(s, 26, 2); }},
      {"depth", [](std::string& s) { Put16(s, 28, 16); }},
      {"compression", [](std::string& s) { Put32(s, 30, 1); }},
      {"zero width", [](std::string& s) { Put32(s, 18, 0); }},
      {"negative width", [](std::string& s) { Put32(s, 18, uint32_t(-4)); }},
      {"zero height", [](std::string& s) { Put32(s, 22, 0); }},
      {"lowest height", [](std::string& s) { Put32(s, 22, 0x80000000u); }},
      {"huge", [](std::string& s) { Put32(s, 18, 30000); Put32(s, 22, 30000); }},
      {"palette too large", [](std::string& s) { Put32(s, 46, 257); }},
      {"palette beyond the file", [](std::string& s) { Put32(s, 46, 256); }},
      {"pixels over the headers", [](std::string& s) { Put32(s, 10, 20); }},
      {"pixels beyond the file", [](std::string& s) { Put32(s, 10, 0xFFFFFFF0u); }},
      {"truncated pixels", [](std::string& s) { s.resize(s.size() - 1); }},
  };
  for (const Case& c : cases) {
    Bitmap b(2, 3);
    b.SetPixel(1, 1, clRed);
    std::string bytes = good;
    c.spoil(bytes);
    std::string error;
    EXPECT_FALSE(b.LoadFromBytes(bytes, &error)) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
    EXPECT_EQ(b.Width(), 2) << c.what;
    EXPECT_EQ(b.Pixel(1, 1), clRed) << c.what;
  }
  Bitmap b;
  EXPECT_TRUE(b.LoadFromBytes(good));
}

TEST(ImageList, AddDeleteDrawAndCopy) {
  ImageList list(nullptr, 4, 4);
  int changes = 0;
  const int link = list.AddChangeLink([&](ImageList&) { ++changes; });
  Bitmap strip(12, 4);
  for (int x = 0; x < 12; ++x)
    for (int y = 0; y < 4; ++y) strip.SetPixel(x, y, x < 4 ? clRed : x < 8 ? clLime : clBlue);
  strip.SetPixel(8, 3, clWhite);  // the third image's bottom-left: its key
  EXPECT_EQ(list.AddMasked(strip, clWhite), 0);
  EXPECT_EQ(list.Count(), 3);
  list.Delete(1);  // the blue one moves down
  EXPECT_EQ(list.Count(), 2);
  Bitmap out;
  EXPECT_TRUE(list.GetBitmap(1, out));
  EXPECT_EQ(out.Pixel(1, 1), clBlue);
  EXPECT_EQ(out.Pixel(0, 3), clBlack);  // transparent pixels copy as black
  Bitmap mask;
  EXPECT_TRUE(list.GetMask(1, mask));
  EXPECT_EQ(mask.Pixel(0, 3), clWhite);
  EXPECT_EQ(mask.Pixel(1, 1), clBlack);
  // Out of range: nothing drawn, a blank copy.
  RecordingCanvas c({20, 20});
  list.Draw(c, 0, 0, 2);
  list.Draw(c, 0, 0, -1);
  EXPECT_TRUE(c.Log().empty());
  EXPECT_FALSE(list.GetBitmap(5, out));
  EXPECT_EQ(out.Width(), 4);
  EXPECT_EQ(out.Pixel(1, 1), clBlack);
  list.Draw(c, 3, 5, 0);
  EXPECT_EQ(c.LogText(), "DrawMasked(3,5,bitmap 4x4,mask)\n");
  EXPECT_EQ(changes, 2);
  list.RemoveChangeLink(link);
  list.Clear();
  EXPECT_EQ(changes, 2);
}

}  // namespace
