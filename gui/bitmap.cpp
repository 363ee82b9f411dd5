#include "gui/bitmap.h"

#include <algorithm>
#include <cstring>
#include <vector>
#include <limits>

#include "gui/graphics_backend.h"
#include "gui/recording_canvas.h"
#include "platform/stream.h"

namespace gui {

int BitsPerPixel(PixelFormat f) {
  switch (f) {
    case PixelFormat::Mono: return 1;
    case PixelFormat::Bits24: return 24;
    case PixelFormat::Bits32: return 32;
  }
  return 24;
}

int RowStride(int width, PixelFormat f) {
  return int(((int64_t(width) * BitsPerPixel(f) + 31) / 32) * 4);
}

Color ReadPixel(const uint8_t* bits, int width, PixelFormat f, int x, int y) {
  const uint8_t* row = bits + size_t(y) * size_t(RowStride(width, f));
  switch (f) {
    case PixelFormat::Mono:
      return (row[x / 8] & (0x80 >> (x % 8))) ? clWhite : clBlack;
    case PixelFormat::Bits24:
      return MakeRGB(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]);
    case PixelFormat::Bits32:
      return MakeRGB(row[x * 4 + 2], row[x * 4 + 1], row[x * 4]);
  }
  return clBlack;
}

void WritePixel(uint8_t* bits, int width, PixelFormat f, int x, int y, Color c) {
  uint8_t* row = bits + size_t(y) * size_t(RowStride(width, f));
  switch (f) {
    case PixelFormat::Mono:
      if ((c & 0xFFFFFF) != 0)
        row[x / 8] = uint8_t(row[x / 8] | (0x80 >> (x % 8)));
      else
        row[x / 8] = uint8_t(row[x / 8] & ~(0x80 >> (x % 8)));
      break;
    case PixelFormat::Bits24:
      row[x * 3] = uint8_t(BlueOf(c));
      row[x * 3 + 1] = uint8_t(GreenOf(c));
      row[x * 3 + 2] = uint8_t(RedOf(c));
      break;
    case PixelFormat::Bits32:
      row[x * 4] = uint8_t(BlueOf(c));
      row[x * 4 + 1] = uint8_t(GreenOf(c));
      row[x * 4 + 2] = uint8_t(RedOf(c));
      row[x * 4 + 3] = 0;
      break;
  }
}

// ---------------------------------------------------------------- Bitmap

Bitmap::Bitmap() = default;

Bitmap::Bitmap(int width, int height, PixelFormat f) : format_(f) { Realloc(width, height, f, false); }

Bitmap::~Bitmap() = default;

void Bitmap::Changed() {
  if (OnChange) OnChange(*this);
}

void Bitmap::Realloc(int w, int h, PixelFormat f, bool keep) {
  if (w < 0) w = 0;
  if (h < 0) h = 0;
  std::unique_ptr<BitmapStorage> fresh;
  if (w > 0 && h > 0) fresh = Graphics().CreateBitmapStorage(w, h, f);
  if (keep && fresh && storage_) {
    const uint8_t* old = storage_->Bits();
    uint8_t* bits = fresh->Bits();
    const int cw = std::min(w, width_), ch = std::min(h, height_);
    if (f == format_) {
      const size_t n = size_t(std::min(RowStride(w, f), RowStride(width_, f)));
      for (int y = 0; y < ch; ++y)
        std::memcpy(bits + size_t(y) * size_t(RowStride(w, f)),
                    old + size_t(y) * size_t(RowStride(width_, f)), n);
    } else {
      for (int y = 0; y < ch; ++y)
        for (int x = 0; x < cw; ++x) WritePixel(bits, w, f, x, y, ReadPixel(old, width_, format_, x, y));
    }
  }
  storage_ = std::move(fresh);
  width_ = storage_ ? w : 0;
  height_ = storage_ ? h : 0;
  format_ = f;
}

void Bitmap::SetSize(int width, int height) {
  if (width == width_ && height == height_) return;
  Realloc(width, height, format_, true);
  Changed();
}

void Bitmap::SetFormat(PixelFormat f) {
  if (f == format_) return;
  if (Empty()) {
    format_ = f;
  } else {
    Realloc(width_, height_, f, true);
  }
  Changed();
}

Color Bitmap::Pixel(int x, int y) const {
  if (!storage_ || x < 0 || y < 0 || x >= width_ || y >= height_) return clBlack;
  return ReadPixel(storage_->Bits(), width_, format_, x, y);
}

void Bitmap::SetPixel(int x, int y, Color c) {
  if (!storage_ || x < 0 || y < 0 || x >= width_ || y >= height_) return;
  WritePixel(storage_->Bits(), width_, format_, x, y, ColorToRGB(c));
  Changed();
}

void Bitmap::Fill(Color c) {
  if (!storage_) return;
  const Color rgb = ColorToRGB(c);
  uint8_t* bits = storage_->Bits();
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x) WritePixel(bits, width_, format_, x, y, rgb);
  Changed();
}

const uint8_t* Bitmap::Row(int y) const {
  if (!storage_ || y < 0 || y >= height_) return nullptr;
  return storage_->Bits() + size_t(y) * size_t(Stride());
}

uint8_t* Bitmap::Row(int y) {
  if (!storage_ || y < 0 || y >= height_) return nullptr;
  return storage_->Bits() + size_t(y) * size_t(Stride());
}

Canvas& Bitmap::GetCanvas() {
  if (!storage_) {
    // An empty bitmap still has a canvas: drawing on it changes nothing.
    static RecordingCanvas nowhere({0, 0}, "bitmap 0x0");
    nowhere.ClearLog();
    return nowhere;
  }
  return storage_->GetCanvas();
}

uintptr_t Bitmap::Handle() const { return storage_ ? storage_->Handle() : 0; }

Color Bitmap::TransparentColor() const {
  if (transparentMode_ == TransparentMode::Fixed) return transparentColor_;
  if (Empty()) return clDefault;
  return Pixel(0, height_ - 1);
}

void Bitmap::SetTransparentColor(Color c) {
  transparentColor_ = c;
  transparentMode_ = TransparentMode::Fixed;
  Changed();
}

void Bitmap::Assign(const Bitmap& other) {
  if (&other == this) return;
  Realloc(other.width_, other.height_, other.format_, false);
  if (storage_ && other.storage_)
    std::memcpy(storage_->Bits(), other.storage_->Bits(), size_t(Stride()) * size_t(height_));
  transparent_ = other.transparent_;
  transparentMode_ = other.transparentMode_;
  transparentColor_ = other.transparentColor_;
  Changed();
}

void Bitmap::MakeMask(const Bitmap& source, Color key) {
  Realloc(source.width_, source.height_, PixelFormat::Mono, false);
  const Color k = ColorToRGB(key);
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x)
      WritePixel(storage_->Bits(), width_, format_, x, y, source.Pixel(x, y) == k ? clWhite : clBlack);
  Changed();
}

// ---------------------------------------------------------------- .bmp

namespace {

uint32_t U32(std::string_view b, size_t at) {
  return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 |
         uint32_t(uint8_t(b[at + 2])) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
}
uint16_t U16(std::string_view b, size_t at) {
  return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8);
}

bool Fail(std::string* error, const char* why) {
  if (error) *error = why;
  return false;
}

void Put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s += char((v >> (8 * i)) & 0xFF);
}
void Put16(std::string& s, uint16_t v) {
  s += char(v & 0xFF);
  s += char(v >> 8);
}

}  // namespace

bool Bitmap::LoadFromBytes(std::string_view b, std::string* error) {
  constexpr int kMaxSide = 32768;
  constexpr int64_t kMaxPixels = int64_t(1) << 26;
  if (b.size() < 14 + 12) return Fail(error, "too short for a bitmap file");
  if (b[0] != 'B' || b[1] != 'M') return Fail(error, "not a bitmap file");
  const uint32_t offBits = U32(b, 10);
  const uint32_t hdr = U32(b, 14);
  int64_t width, height;
  unsigned planes, bpp, compression = 0, clrUsed = 0;
  size_t paletteAt, entry;
  if (hdr == 12) {
    width = U16(b, 18);
    height = int16_t(U16(b, 20));
    planes = U16(b, 22);
    bpp = U16(b, 24);
    paletteAt = 14 + 12;
    entry = 3;
  } else if (hdr == 40 || hdr == 52 || hdr == 56 || hdr == 108 || hdr == 124) {
    if (b.size() < 14 + size_t(hdr)) return Fail(error, "truncated header");
    width = int32_t(U32(b, 18));
    height = int32_t(U32(b, 22));
    planes = U16(b, 26);
    bpp = U16(b, 28);
    compression = U32(b, 30);
    clrUsed = U32(b, 46);
    paletteAt = 14 + hdr;
    entry = 4;
  } else {
    return Fail(error, "unknown header size");
  }
  if (planes != 1) return Fail(error, "planes is not 1");
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32)
    return Fail(error, "unsupported bits per pixel");
  if (compression == 3 && bpp == 32 && hdr == 40) {
    // Bit fields after the header: only the plain order is taken.
    if (b.size() < paletteAt + 12) return Fail(error, "truncated bit fields");
    if (U32(b, paletteAt) != 0xFF0000 || U32(b, paletteAt + 4) != 0xFF00 || U32(b, paletteAt + 8) != 0xFF)
      return Fail(error, "unsupported bit fields");
    paletteAt += 12;
  } else if (compression == 3 && bpp == 32) {
    if (U32(b, 54) != 0xFF0000 || U32(b, 58) != 0xFF00 || U32(b, 62) != 0xFF)
      return Fail(error, "unsupported bit fields");
  } else if (compression != 0) {
    return Fail(error, "compressed bitmaps are not supported");
  }
  const bool topDown = height < 0;
  if (topDown) height = -height;
  if (width <= 0 || height <= 0) return Fail(error, "empty bitmap");
  if (width > kMaxSide || height > kMaxSide || width * height > kMaxPixels)
    return Fail(error, "bitmap too large");
  size_t colors = 0;
  if (bpp <= 8) {
    const size_t most = size_t(1) << bpp;
    if (clrUsed > most) return Fail(error, "palette too large");
    colors = clrUsed ? clrUsed : most;
  }
  const size_t paletteEnd = paletteAt + colors * entry;
  if (paletteEnd > b.size()) return Fail(error, "truncated palette");
  if (offBits < paletteEnd) return Fail(error, "pixel data overlaps the headers");
  const size_t stride = size_t(((width * bpp + 31) / 32) * 4);
  if (offBits > b.size() || (b.size() - offBits) / stride < size_t(height))
    return Fail(error, "truncated pixel data");

  std::vector<Color> palette(colors);
  for (size_t i = 0; i < colors; ++i) {
    const size_t at = paletteAt + i * entry;
    palette[i] = MakeRGB(uint8_t(b[at + 2]), uint8_t(b[at + 1]), uint8_t(b[at]));
  }
  const bool mono = bpp == 1 && colors == 2 && palette[0] == clBlack && palette[1] == clWhite;
  const PixelFormat f = mono ? PixelFormat::Mono : bpp == 32 ? PixelFormat::Bits32 : PixelFormat::Bits24;

  Realloc(int(width), int(height), f, false);
  uint8_t* bits = storage_->Bits();
  for (int64_t y = 0; y < height; ++y) {
    const size_t src = offBits + size_t(topDown ? y : height - 1 - y) * stride;
    const uint8_t* row = reinterpret_cast<const uint8_t*>(b.data()) + src;
    if (mono || bpp == 24 || bpp == 32) {
      // The same layout as the file's row.
      std::memcpy(bits + size_t(y) * size_t(Stride()), row, std::min(stride, size_t(Stride())));
      if (bpp == 32)
        for (int64_t x = 0; x < width; ++x) bits[size_t(y) * size_t(Stride()) + size_t(x) * 4 + 3] = 0;
      continue;
    }
    for (int64_t x = 0; x < width; ++x) {
      size_t idx;
      if (bpp == 8)
        idx = row[x];
      else if (bpp == 4)
        idx = (row[x / 2] >> ((x % 2) ? 0 : 4)) & 0xF;
      else
        idx = (row[x / 8] >> (7 - x % 8)) & 1;
      // An index beyond the palette shows black.
      WritePixel(bits, int(width), f, int(x), int(y), idx < colors ? palette[idx] : clBlack);
    }
  }
  Changed();
  return true;
}

bool Bitmap::LoadFromFile(const std::string& path, std::string* error) {
  plat::MemoryStream m;
  try {
    m.LoadFromFile(path);
  } catch (const plat::EStreamError&) {
    return Fail(error, "cannot read the file");
  }
  return LoadFromBytes(m.AsString(), error);
}

bool Bitmap::LoadFromResourceName(const std::string& name) {
  return Graphics().LoadBitmapResource(name, *this);
}

std::string Bitmap::SaveToBytes() const {
  const bool mono = format_ == PixelFormat::Mono;
  const int bpp = mono ? 1 : 24;
  const uint32_t stride = uint32_t(RowStride(width_, mono ? PixelFormat::Mono : PixelFormat::Bits24));
  const uint32_t palette = mono ? 8 : 0;
  const uint32_t off = 14 + 40 + palette;
  const uint32_t imageSize = stride * uint32_t(height_);
  std::string s;
  s += "BM";
  Put32(s, off + imageSize);
  Put32(s, 0);
  Put32(s, off);
  Put32(s, 40);
  Put32(s, uint32_t(width_));
  Put32(s, uint32_t(height_));
  Put16(s, 1);
  Put16(s, uint16_t(bpp));
  Put32(s, 0);
  Put32(s, imageSize);
  Put32(s, 2835);
  Put32(s, 2835);
  Put32(s, mono ? 2 : 0);
  Put32(s, 0);
  if (mono) {
    Put32(s, 0);
    Put32(s, 0xFFFFFF);
  }
  for (int y = height_ - 1; y >= 0; --y) {
    std::string row(stride, '\0');
    for (int x = 0; x < width_; ++x) {
      const Color c = Pixel(x, y);
      if (mono) {
        if (c) row[size_t(x / 8)] = char(uint8_t(row[size_t(x / 8)]) | (0x80 >> (x % 8)));
      } else {
        row[size_t(x) * 3] = char(BlueOf(c));
        row[size_t(x) * 3 + 1] = char(GreenOf(c));
        row[size_t(x) * 3 + 2] = char(RedOf(c));
      }
    }
    s += row;
  }
  return s;
}

// ---------------------------------------------------------------- Icon

Icon::~Icon() { Clear(); }

void Icon::SetHandle(uintptr_t h, int width, int height, bool owned) {
  if (owned_ && handle_ && handle_ != h) Graphics().DestroyIcon(handle_);
  handle_ = h;
  width_ = h ? width : 0;
  height_ = h ? height : 0;
  owned_ = owned && h;
  if (OnChange) OnChange(*this);
}

void Icon::Clear() {
  if (!handle_) return;
  if (owned_) Graphics().DestroyIcon(handle_);
  handle_ = 0;
  width_ = height_ = 0;
  owned_ = false;
}

bool Icon::LoadFromFile(const std::string& path) { return Graphics().LoadIconFile(path, *this); }

bool Icon::LoadFromResourceName(const std::string& name) {
  return Graphics().LoadIconResource(name, *this);
}

}  // namespace gui
