#include "controls/gif_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/gif_builder.h"

namespace {

int Decode(const std::string& bytes, TGIFData& out, bool firstOnly = false) {
  TGIFDecoder d;
  d.FirstImageOnly = firstOnly;
  return d.Decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), out);
}

gifgen::Frame MakeFrame(int left, int top, int w, int h, int colours, uint32_t seed) {
  gifgen::Frame f;
  f.left = left;
  f.top = top;
  f.width = w;
  f.height = h;
  f.pixels = gifgen::Indices(w, h, colours, seed);
  return f;
}

// A screen of one frame covering it, with a global table of colours.
gifgen::Image Single(int w, int h, int colours, uint32_t seed) {
  gifgen::Image img;
  img.width = w;
  img.height = h;
  img.globalTable = gifgen::Palette(colours, seed);
  img.frames.push_back(MakeFrame(0, 0, w, h, colours, seed));
  return img;
}

// Every kind of frame the format allows, each compared pixel for pixel
// with what was encoded.
TEST(GIFDecoder, DecodesEveryFrameAsEncoded) {
  gifgen::Image img;
  img.width = 40;
  img.height = 30;
  img.globalTable = gifgen::Palette(16, 1);
  img.loopCount = 3;
  img.frames.push_back(MakeFrame(0, 0, 40, 30, 16, 1));
  auto local = MakeFrame(5, 3, 17, 13, 256, 2);  // 13 rows: every interlace pass
  local.localTable = gifgen::Palette(256, 2);
  local.interlaced = true;
  local.control = true;
  local.disposal = 6;  // unknown methods restore the background
  local.delay = 7;
  local.transparent = 9;
  local.comment = "first ";
  img.frames.push_back(local);
  auto big = MakeFrame(100, 200, 300, 220, 256, 3);  // grows the screen; 12-bit codes, full tables
  big.localTable = gifgen::Palette(256, 3);
  big.comment = "second";
  img.frames.push_back(big);
  auto cleared = MakeFrame(1, 1, 64, 64, 4, 4);
  cleared.clearEvery = 37;
  cleared.control = true;
  cleared.disposal = 3;
  img.frames.push_back(cleared);
  auto full = MakeFrame(0, 0, 300, 200, 256, 5);
  full.localTable = gifgen::Palette(256, 5);
  full.keepFullTable = true;
  img.frames.push_back(full);

  TGIFData d;
  ASSERT_EQ(Decode(gifgen::Encode(img), d), kGIFErrorNone);
  EXPECT_EQ(d.Version, gvGIF89a);
  EXPECT_EQ(d.LoopCount, 3);
  EXPECT_EQ(d.ScreenWidth, 400);
  EXPECT_EQ(d.ScreenHeight, 420);
  EXPECT_EQ(d.GlobalBits, 4);
  EXPECT_EQ(d.BitDepth, 8);
  EXPECT_TRUE(d.AnyTransparent);
  EXPECT_TRUE(d.AnyInterlaced);
  ASSERT_EQ(d.Frames.size(), img.frames.size());
  for (size_t i = 0; i < d.Frames.size(); ++i) {
    SCOPED_TRACE(i);
    const TGIFFrame& f = d.Frames[i];
    const gifgen::Frame& e = img.frames[i];
    EXPECT_EQ(f.Left, e.left);
    EXPECT_EQ(f.Top, e.top);
    ASSERT_EQ(f.Width, e.width);
    ASSERT_EQ(f.Height, e.height);
    EXPECT_EQ(f.Pixels, e.pixels);
    EXPECT_EQ(f.HasLocalTable, !e.localTable.empty());
    const auto& table = e.localTable.empty() ? img.globalTable : e.localTable;
    EXPECT_TRUE(std::equal(table.begin(), table.end(), f.Table.begin()));
    EXPECT_EQ(f.Interlaced, e.interlaced);
  }
  const TGIFFrame& t = d.Frames[1];
  EXPECT_EQ(t.Disposal, 2);
  EXPECT_EQ(t.Delay, 70);
  EXPECT_TRUE(t.Transparent);
  EXPECT_EQ(t.TransparentIndex, 9);
  EXPECT_EQ(t.TransparentColor, t.Color(9));
  EXPECT_EQ(t.Comment, "first ");
  EXPECT_EQ(d.Frames[2].Comment, "second");
  EXPECT_TRUE(d.Frames[3].Comment.empty());
  EXPECT_EQ(d.Frames[3].Disposal, 3);
  for (size_t i = 0; i < t.Pixels.size(); ++i) ASSERT_EQ(t.Mask[i], t.Pixels[i] == 9) << i;
  EXPECT_FALSE(d.Frames[0].Transparent);
  EXPECT_TRUE(d.Frames[0].Mask.empty());
}

// Streams written by hand, independent of the test encoder: the code
// width grows as soon as the table reaches the next power of two, and
// interlaced rows are stored in the four passes.
TEST(GIFDecoder, HandWrittenCodesAndInterlacedRowOrder) {
  // Ten pixels of index 0 as the codes clear, 0, 6, 7 (3 bits), 8, end (4 bits).
  std::string gif("GIF87a\x0A\x00\x01\x00\x80\x00\x00" "\x00\x00\x00\xFF\xFF\xFF", 19);
  gif += std::string(",\x00\x00\x00\x00\x0A\x00\x01\x00\x00" "\x02\x03\x84\x8F\x05\x00;", 17);
  TGIFData d;
  ASSERT_EQ(Decode(gif, d), kGIFErrorNone);
  EXPECT_EQ(d.Version, gvGIF87a);
  ASSERT_EQ(d.Frames.size(), 1u);
  EXPECT_EQ(d.Frames[0].Pixels, std::vector<uint8_t>(10, 0));
  EXPECT_FALSE(d.Frames[0].Transparent);  // every pixel reached

  // One column whose stored rows carry their display row numbers.
  gifgen::Image img = Single(1, 8, 8, 0);
  img.frames[0].pixels = {0, 4, 2, 6, 1, 3, 5, 7};
  std::string bytes = gifgen::Encode(img);
  bytes[13 + 24 + 9] |= 0x40;  // the descriptor's interlace flag
  ASSERT_EQ(Decode(bytes, d), kGIFErrorNone);
  EXPECT_EQ(d.Frames[0].Pixels, (std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6, 7}));
}

TEST(GIFDecoder, FrameLimitFirstImageOnlyAndProgress) {
  gifgen::Image img;
  img.width = img.height = 2;
  img.globalTable = gifgen::Palette(2, 0);
  for (int i = 0; i < 257; ++i) img.frames.push_back(MakeFrame(0, 0, 2, 2, 2, uint32_t(i)));
  const std::string bytes = gifgen::Encode(img);
  TGIFData d;
  ASSERT_EQ(Decode(bytes, d), kGIFErrorNone);
  EXPECT_EQ(d.Frames.size(), 256u);
  EXPECT_EQ(d.Frames[255].Pixels, img.frames[255].pixels);
  ASSERT_EQ(Decode(bytes, d, true), kGIFErrorNone);
  EXPECT_EQ(d.Frames.size(), 1u);

  TGIFDecoder dec;
  int calls = 0, lastPercent = -1;
  dec.OnProgress = [&](int done, int total, int percent, bool& keep) {
    EXPECT_EQ(total, int(bytes.size()));
    EXPECT_GE(percent, lastPercent);
    lastPercent = percent;
    keep = ++calls < 10;
  };
  EXPECT_EQ(dec.Decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), d), kGIFErrorStopped);
  EXPECT_EQ(calls, 10);
  EXPECT_TRUE(d.Frames.empty());

  // A frame of more than 100,000 pixels also reports every 32 rows.
  const std::string lb = gifgen::Encode(Single(400, 300, 4, 9));
  calls = 0;
  dec.OnProgress = [&](int, int, int, bool& keep) { keep = ++calls != 5; };
  EXPECT_EQ(dec.Decode(reinterpret_cast<const uint8_t*>(lb.data()), lb.size(), d), kGIFErrorStopped);
  calls = 0;
  dec.OnProgress = [&](int, int, int, bool&) { ++calls; };
  ASSERT_EQ(dec.Decode(reinterpret_cast<const uint8_t*>(lb.data()), lb.size(), d), kGIFErrorNone);
  EXPECT_EQ(calls, 2 + 10);  // two blocks, rows 0, 32, ..., 288
}

// Data from the network: wrong, cut short or built to exhaust memory.
TEST(GIFDecoder, HostileAndMalformedStreams) {
  TGIFData d;
  EXPECT_EQ(Decode("", d), kGIFErrorEmpty);
  EXPECT_EQ(Decode("GIX89a" + std::string(20, '\0'), d), kGIFErrorDecoding);
  EXPECT_EQ(Decode("GIF8", d), kGIFErrorDecoding);
  EXPECT_EQ(Decode(std::string("GIF89a\x02\x00\x02\x00\x81\x00\x00\x01\x02", 15), d), kGIFErrorDecoding);
  // Frames of up to 16384 pixels a side; 16385 is an error either way.
  EXPECT_EQ(Decode(gifgen::Encode(Single(16384, 1, 2, 1)), d), kGIFErrorNone);
  EXPECT_EQ(Decode(gifgen::Encode(Single(1, 16384, 2, 1)), d), kGIFErrorNone);
  EXPECT_EQ(Decode(gifgen::Encode(Single(16385, 1, 2, 1)), d), kGIFErrorDecoding);
  EXPECT_EQ(Decode(gifgen::Encode(Single(1, 16385, 2, 1)), d), kGIFErrorDecoding);
  // Screens beyond the pixel cap, declared or grown by a small frame far
  // out.
  EXPECT_EQ(Decode(std::string("GIF89a\xFF\xFF\xFF\xFF\x00\x00\x00;", 14), d), kGIFErrorDecoding);
  gifgen::Image far = Single(2, 2, 2, 1);
  far.frames[0].left = far.frames[0].top = 60000;
  EXPECT_EQ(Decode(gifgen::Encode(far), d), kGIFErrorDecoding);
  // ... or by two, one far right and one far down, each within it alone.
  gifgen::Image apart = Single(2, 2, 2, 1);
  apart.frames.push_back(apart.frames[0]);
  apart.frames[0].left = 16000;
  apart.frames[1].top = 16000;
  EXPECT_EQ(Decode(gifgen::Encode(apart), d), kGIFErrorDecoding);
  const std::string head("GIF89a\x10\x00\x10\x00\x00\x00\x00", 13);
  // A screen grown past 4096 pixels wide by a frame is within the caps.
  ASSERT_EQ(Decode(head + std::string(",\x00\x0F\x00\x00\x00\x02\x10\x00\x00", 10), d), kGIFErrorNone);
  EXPECT_EQ(d.ScreenWidth, 3840 + 512);
  EXPECT_EQ(Decode(head + std::string(",\x00\x00\x00\x00\x00\x00\x01\x00\x00", 10), d), kGIFErrorDecoding);
  EXPECT_EQ(Decode(head + std::string(",\x00\x00\x00\x00\x01\x00", 7), d), kGIFErrorDecoding);
  // A screen of 8192 x 8192 (a few bytes that would ask for a gigabyte
  // to show) is beyond the screen cap of 4096 x 4096 pixels; a user's
  // lower cap holds for a declared and for a grown screen.
  const std::string huge("GIF89a\x00\x20\x00\x20\x00\x00\x00,\x00\x00\x00\x00\x00\x20\x00\x20\x00\x02\x01\x2C\x00;",
                         28);
  EXPECT_EQ(Decode(huge, d), kGIFErrorDecoding);
  EXPECT_EQ(Decode(std::string("GIF89a\x00\x10\x01\x10\x00\x00\x00;", 14), d), kGIFErrorDecoding);
  ASSERT_EQ(Decode(std::string("GIF89a\x00\x10\x00\x10\x00\x00\x00;", 14), d), kGIFErrorNone);
  TGIFDecoder small;
  small.MaxScreenPixels = 100 * 100;
  auto bytesOf = [](const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); };
  const std::string declared("GIF89a\x65\x00\x64\x00\x00\x00\x00;", 14);
  EXPECT_EQ(small.Decode(bytesOf(declared), declared.size(), d), kGIFErrorDecoding);
  gifgen::Image grown = Single(2, 2, 2, 1);
  grown.frames[0].left = grown.frames[0].top = 99;
  std::string g = gifgen::Encode(grown);
  EXPECT_EQ(small.Decode(bytesOf(g), g.size(), d), kGIFErrorDecoding);
  grown.frames[0].left = grown.frames[0].top = 98;
  g = gifgen::Encode(grown);
  EXPECT_EQ(small.Decode(bytesOf(g), g.size(), d), kGIFErrorNone);
  small.MaxTotalPixels = 3;
  EXPECT_EQ(small.Decode(bytesOf(g), g.size(), d), kGIFErrorDecoding);
  // Pixels of all frames beyond 64 M: the fifth 4096 x 4096 frame.
  std::string many = head;
  for (int i = 0; i < 5; ++i) many += std::string(",\x00\x00\x00\x00\x00\x10\x00\x10\x00\x02\x00", 12);
  EXPECT_EQ(Decode(many, d), kGIFErrorDecoding);
  EXPECT_TRUE(d.Frames.empty());

  // Minimum code sizes above 11: no pixels, all transparent.
  ASSERT_EQ(Decode(head + std::string(",\x00\x00\x00\x00\x02\x00\x02\x00\x00\x0F\x02\xFF\xFF\x00;", 16), d),
            kGIFErrorNone);
  ASSERT_EQ(d.Frames.size(), 1u);
  EXPECT_EQ(d.Frames[0].Mask, std::vector<uint8_t>(4, 1));

  // A code beyond the table (7 where 6 is next) and data cut short: the
  // pixels reached stay, the rest are transparent.
  gifgen::Image img = Single(4, 2, 4, 0);
  img.frames[0].pixels = {1, 2, 3, 0, 1, 2, 3, 0};
  img.frames[0].interlaced = true;  // rows 0 then 1
  std::string bytes = gifgen::Encode(img);
  const size_t data = 13 + 12 + 10;  // min code size byte
  // clear(4), 1, then 7 where 6 is the next free code: 100 001 111
  std::string bad = bytes.substr(0, data) + std::string("\x02\x02\xCC\x01\x00;", 6);
  ASSERT_EQ(Decode(bad, d), kGIFErrorNone);
  EXPECT_EQ(d.Frames[0].Pixels[0], 1);
  EXPECT_EQ(d.Frames[0].Mask, (std::vector<uint8_t>{0, 1, 1, 1, 1, 1, 1, 1}));
  EXPECT_TRUE(d.AnyTransparent);
  for (size_t cut = data; cut < bytes.size(); ++cut) {
    ASSERT_EQ(Decode(bytes.substr(0, cut), d), kGIFErrorNone) << cut;
    ASSERT_EQ(d.Frames.size(), 1u);
  }

  // Application and control blocks shorter than what they should hold.
  const std::string frame = bytes.substr(13 + 12);
  const std::string start = bytes.substr(0, 13 + 12);
  for (const std::string& ext : {std::string("\x21\xFF\x08NETSCAPE\x03\x01\x05\x00\x00", 16),
                                 std::string("\x21\xFF\x0BNETSCAPE2.0\x02\x01\x05\x00", 18),
                                 std::string("\x21\xF9\x02\x09\x00\x00", 6)}) {
    ASSERT_EQ(Decode(start + ext + frame, d), kGIFErrorNone);
    EXPECT_EQ(d.LoopCount, 1);
    ASSERT_EQ(d.Frames.size(), 1u);
    EXPECT_FALSE(d.Frames[0].Transparent);
  }
  for (const std::string& cut : {std::string("\x21\xFF\x0BNETSCAPE2.0", 14), std::string("\x21\xFF\x0BNETS", 7),
                                 std::string("\x21\xF9\x04\x01", 4), std::string("\x21\xFE\x09short", 8)}) {
    ASSERT_EQ(Decode(start + cut, d), kGIFErrorNone);
    EXPECT_EQ(d.LoopCount, 1);
  }
  ASSERT_EQ(Decode(start + std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19) + frame, d),
            kGIFErrorNone);
  EXPECT_EQ(d.LoopCount, 0);
}

}  // namespace
