#include "tools/gif_builder.h"

#include <unordered_map>

namespace gifgen {
namespace {

void U16(std::string& out, int v) {
  out += char(v & 0xFF);
  out += char((v >> 8) & 0xFF);
}

// The depth n of a table of 2^n entries (at least 1).
int Depth(size_t entries) {
  int n = 1;
  while ((size_t(1) << n) < entries) ++n;
  return n;
}

void SubBlocks(std::string& out, const std::string& bytes) {
  for (size_t i = 0; i < bytes.size(); i += 255) {
    const size_t n = std::min<size_t>(255, bytes.size() - i);
    out += char(n);
    out.append(bytes, i, n);
  }
  out += '\0';
}

class BitWriter {
 public:
  void Put(int code, int width) {
    acc_ |= uint32_t(code) << bits_;
    bits_ += width;
    while (bits_ >= 8) {
      bytes_ += char(acc_ & 0xFF);
      acc_ >>= 8;
      bits_ -= 8;
    }
  }
  std::string Finish() {
    if (bits_ > 0) bytes_ += char(acc_ & 0xFF);
    return bytes_;
  }

 private:
  std::string bytes_;
  uint32_t acc_ = 0;
  int bits_ = 0;
};

}  // namespace

std::string ImageData(const std::vector<uint8_t>& pixels, int minCodeSize, int clearEvery,
                      bool keepFullTable) {
  const int clear = 1 << minCodeSize, end = clear + 1;
  BitWriter w;
  std::unordered_map<uint32_t, int> table;  // (prefix code << 8 | pixel) -> code
  int width = minCodeSize + 1, next = clear + 2, sinceClear = 0;
  // A code right after a data code (no entry added in between) is read
  // after the decoder's table has caught up by one entry.
  auto widthAfterData = [&] { return next >= (1 << width) && width < 12 ? width + 1 : width; };
  auto reset = [&] {
    table.clear();
    width = minCodeSize + 1;
    next = clear + 2;
    sinceClear = 0;
  };
  w.Put(clear, width);
  if (pixels.empty()) {
    w.Put(end, width);
  } else {
    int cur = pixels[0];
    for (size_t i = 1; i < pixels.size(); ++i) {
      const uint32_t key = uint32_t(cur) << 8 | pixels[i];
      auto it = table.find(key);
      if (it != table.end()) {
        cur = it->second;
        continue;
      }
      w.Put(cur, width);
      if (clearEvery > 0 && ++sinceClear >= clearEvery) {
        w.Put(clear, widthAfterData());
        reset();
      } else if (next < 4096) {
        table[key] = next++;
        if (next > (1 << width) && width < 12) ++width;
      } else if (!keepFullTable) {
        w.Put(clear, width);
        reset();
      }
      cur = pixels[i];
    }
    w.Put(cur, width);
    w.Put(end, widthAfterData());
  }
  std::string out(1, char(minCodeSize));
  SubBlocks(out, w.Finish());
  return out;
}

std::string Encode(const Image& image) {
  std::string out = image.version89a ? "GIF89a" : "GIF87a";
  U16(out, image.width);
  U16(out, image.height);
  const bool global = !image.globalTable.empty();
  const int globalDepth = global ? Depth(image.globalTable.size() / 3) : 1;
  out += char((global ? 0x80 : 0) | (global ? globalDepth - 1 : 0));
  out += '\0';  // background index
  out += '\0';  // aspect
  out += std::string(image.globalTable.begin(), image.globalTable.end());
  if (image.loopCount >= 0) {
    out += "\x21\xFF\x0BNETSCAPE2.0\x03\x01";
    U16(out, image.loopCount);
    out += '\0';
  }
  for (const Frame& f : image.frames) {
    if (!f.comment.empty()) {
      out += "\x21\xFE";
      SubBlocks(out, f.comment);
    }
    if (f.control) {
      out += "\x21\xF9\x04";
      out += char((f.disposal & 7) << 2 | (f.transparent >= 0 ? 1 : 0));
      U16(out, f.delay);
      out += char(f.transparent >= 0 ? f.transparent : 0);
      out += '\0';
    }
    out += ',';
    U16(out, f.left);
    U16(out, f.top);
    U16(out, f.width);
    U16(out, f.height);
    const bool local = !f.localTable.empty();
    const int localDepth = local ? Depth(f.localTable.size() / 3) : 1;
    out += char((local ? 0x80 | (localDepth - 1) : 0) | (f.interlaced ? 0x40 : 0));
    out += std::string(f.localTable.begin(), f.localTable.end());
    std::vector<uint8_t> stored;
    if (f.interlaced) {
      static constexpr int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
      for (int pass = 0; pass < 4; ++pass)
        for (int y = kStart[pass]; y < f.height; y += kStep[pass])
          stored.insert(stored.end(), f.pixels.begin() + y * f.width, f.pixels.begin() + (y + 1) * f.width);
    } else {
      stored = f.pixels;
    }
    const int depth = local ? localDepth : globalDepth;
    out += ImageData(stored, f.minCodeSize ? f.minCodeSize : std::max(depth, 2), f.clearEvery,
                     f.keepFullTable);
  }
  if (image.trailer) out += ';';
  return out;
}

std::vector<uint8_t> Palette(int entries, uint32_t seed) {
  std::vector<uint8_t> t;
  for (int i = 0; i < entries; ++i) {
    t.push_back(uint8_t(i));
    t.push_back(uint8_t(255 - i));
    t.push_back(uint8_t(seed));
  }
  return t;
}

std::vector<uint8_t> Indices(int width, int height, int colours, uint32_t seed) {
  std::vector<uint8_t> px(size_t(width) * size_t(height));
  uint32_t x = seed * 2654435761u + 1;
  uint8_t v = 0;
  for (auto& p : px) {
    x = x * 1103515245u + 12345u;
    if ((x >> 16) % 4 == 0) v = uint8_t((x >> 8) % uint32_t(colours));  // runs and changes
    p = v;
  }
  return px;
}

Frame ControlFrame(int left, int top, int width, int height, std::vector<uint8_t> pixels,
                   int disposal, int transparent) {
  Frame f;
  f.left = left;
  f.top = top;
  f.width = width;
  f.height = height;
  f.pixels = std::move(pixels);
  f.control = true;
  f.disposal = disposal;
  f.transparent = transparent;
  return f;
}

}  // namespace gifgen
