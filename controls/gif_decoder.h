// The GIF stream decoder of the animated image control: GIF87a and GIF89a
// with global and local colour tables, LZW image data, interlaced rows,
// graphic control data (disposal, delay, transparency), comments and the
// loop count of the NETSCAPE2.0 application block. Frames come out as
// portable pixel buffers: one colour-table index a pixel, the table, and
// for transparent frames a mask of one byte a pixel.
//
// GIF data arrives from the network: every read is bounds-checked, and
// the sizes a header declares are checked against fixed caps before
// anything is allocated for them.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum TGIFVersion { gvGIF87a, gvGIF89a };

// The control's error codes.
enum : int {
  kGIFErrorNone = 0,        // done
  kGIFErrorStopped = 1,     // OnProgress cleared KeepOnProcessing
  kGIFErrorEmpty = 2,       // no bytes at all
  kGIFErrorDecoding = 3,    // not a GIF, malformed, or beyond the caps
  kGIFErrorFrameIndex = 5,  // a frame number out of range
};

// 256 RGB triples; entries a stream does not give are zero (black).
using TGIFColorTable = std::array<uint8_t, 768>;

struct TGIFFrame {
  int Left = 0, Top = 0, Width = 0, Height = 0;  // in the logical screen
  bool HasLocalTable = false;
  int LocalBits = 0;  // depth of its own table (0 without one)
  bool Interlaced = false;
  int Delay = 0;      // milliseconds (the stream's hundredths times 10)
  int Disposal = 0;   // 0 none, 1 keep, 2 restore background, 3 restore previous
  // A transparent frame has a Mask. Its pixels equal to TransparentIndex
  // are transparent, and so are pixels its data did not reach (a frame cut
  // short is transparent for them even without a transparent index: then
  // TransparentIndex is -1).
  bool Transparent = false;
  int TransparentIndex = -1;
  uint32_t TransparentColor = 0;  // 0x00RRGGBB of the table entry at that index
  int TableBits = 0;              // depth of the table in use: 2^TableBits colours
  TGIFColorTable Table{};         // its own table, or the global one
  std::vector<uint8_t> Pixels;    // Width * Height indices, rows top-down
  std::vector<uint8_t> Mask;      // transparent frames: Width * Height, 1 = transparent
  std::string Comment;            // comment blocks met before the frame

  // 0x00RRGGBB of the table entry at index.
  uint32_t Color(uint8_t index) const {
    return uint32_t(Table[index * 3]) << 16 | uint32_t(Table[index * 3 + 1]) << 8 |
           Table[index * 3 + 2];
  }
};

struct TGIFData {
  TGIFVersion Version = gvGIF87a;
  // The logical screen, grown to cover every frame.
  int ScreenWidth = 0, ScreenHeight = 0;
  bool HasGlobalTable = false;
  int GlobalBits = 0;
  TGIFColorTable GlobalTable{};
  int BitDepth = 0;   // the deepest table of the stream
  int LoopCount = 1;  // from the loop extension; 0 = for ever
  bool AnyTransparent = false;
  bool AnyInterlaced = false;
  std::vector<TGIFFrame> Frames;
};

// (BytesProcessed, BytesToProcess, PercentageProcessed, KeepOnProcessing)
using TGIFProgress = std::function<void(int, int, int, bool&)>;

class TGIFDecoder {
 public:
  static constexpr int kMaxFrames = 256;
  // The largest frame: a wider one, or one of 16385 rows or more, is an
  // error.
  static constexpr int kMaxFrameSide = 16384;
  // The bounds against memory exhaustion by hostile headers: the logical
  // screen (declared, and as grown to cover the frames) may hold at most
  // MaxScreenPixels pixels, and the pixels of all frames together at most
  // MaxTotalPixels. The composed image, its bitmap and its mask are of the
  // screen's size, and every animation step copies the image: a stream of
  // a few kilobytes could otherwise ask for gigabytes (a 65535 x 65535
  // screen, or 256 frames of 16384 x 16384). A user of the decoder that
  // shows small pictures sets lower bounds.
  static constexpr int64_t kMaxScreenPixels = int64_t(4096) * 4096;
  static constexpr int64_t kMaxTotalPixels = int64_t(64) << 20;
  // Frames of more pixels than this report progress every few rows too.
  static constexpr int kRowProgressPixels = 100000;

  bool FirstImageOnly = false;  // stop after the first frame
  int64_t MaxScreenPixels = kMaxScreenPixels;
  int64_t MaxTotalPixels = kMaxTotalPixels;
  TGIFProgress OnProgress;      // called at each block while decoding

  // Decodes size bytes at data into out; returns one of the error codes.
  // On failure out is left empty (no frames, no screen).
  int Decode(const uint8_t* data, size_t size, TGIFData& out) const;
};
