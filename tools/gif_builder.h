// Builds GIF bytes for tests, fuzz seeds and benchmarks: colour tables,
// LZW image data (with clear codes on demand, or a full table kept without
// one), interlaced rows, graphic control, comment and loop blocks.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace gifgen {

struct Frame {
  int left = 0, top = 0, width = 0, height = 0;
  std::vector<uint8_t> pixels;      // width * height indices, rows top-down
  std::vector<uint8_t> localTable;  // RGB triples, 2..256 entries; empty: none
  bool interlaced = false;
  bool control = false;  // write a graphic control block before the frame
  int disposal = 0;
  int delay = 0;         // hundredths of a second
  int transparent = -1;  // transparent index, or -1
  std::string comment;   // a comment block before the frame when not empty
  int minCodeSize = 0;   // 0: from the table's depth (at least 2)
  int clearEvery = 0;    // a clear code after every so many codes (0: when full)
  bool keepFullTable = false;  // a full table goes on without a clear code
};

struct Image {
  bool version89a = true;
  int width = 0, height = 0;        // the logical screen
  std::vector<uint8_t> globalTable; // RGB triples, 2..256 entries; empty: none
  int loopCount = -1;               // a NETSCAPE2.0 block when >= 0
  std::vector<Frame> frames;
  bool trailer = true;
};

std::string Encode(const Image& image);

// A frame with a graphic control block: place, size, pixels, disposal
// and transparent index (-1: none).
Frame ControlFrame(int left, int top, int width, int height, std::vector<uint8_t> pixels,
                   int disposal, int transparent = -1);

// The LZW data of one frame: the code size byte, the data sub-blocks and
// their terminator; pixels in the order they are stored.
std::string ImageData(const std::vector<uint8_t>& pixels, int minCodeSize, int clearEvery = 0,
                      bool keepFullTable = false);

// A table of entries distinct RGB colours (entries a power of two).
std::vector<uint8_t> Palette(int entries, uint32_t seed);
// width * height indices below colours, the same for the same seed.
std::vector<uint8_t> Indices(int width, int height, int colours, uint32_t seed);

}  // namespace gifgen
