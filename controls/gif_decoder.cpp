#include "controls/gif_decoder.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint8_t kExtension = 0x21;
constexpr uint8_t kImage = 0x2C;
constexpr uint8_t kTrailer = 0x3B;
constexpr uint8_t kGraphicControl = 0xF9;
constexpr uint8_t kComment = 0xFE;
constexpr uint8_t kApplication = 0xFF;

constexpr int kMaxCodeBits = 12;
constexpr int kTableSize = 1 << kMaxCodeBits;
// Larger minimum code sizes leave no room for a table: such a frame has
// no pixels.
constexpr int kMaxMinCodeSize = 11;

// Every read of the stream goes through this: nothing past the end.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  size_t Pos() const { return pos_; }
  size_t Size() const { return size_; }
  bool AtEnd() const { return pos_ >= size_; }
  void Back(size_t n) { pos_ -= n; }
  bool Byte(uint8_t& b) {
    if (pos_ >= size_) return false;
    b = data_[pos_++];
    return true;
  }
  bool Bytes(void* dst, size_t n) {
    if (size_ - pos_ < n) return false;
    std::memcpy(dst, data_ + pos_, n);
    pos_ += n;
    return true;
  }
  // Skips n bytes (or to the end); false when fewer were there.
  bool Skip(size_t n) {
    const bool whole = size_ - pos_ >= n;
    pos_ = whole ? pos_ + n : size_;
    return whole;
  }
  // One data sub-block into out; false (out empty) at the terminator, or
  // false with what there was when the data end within the block.
  bool SubBlock(std::string& out) {
    out.clear();
    uint8_t n;
    if (!Byte(n) || n == 0) return false;
    const size_t take = std::min<size_t>(n, size_ - pos_);
    out.assign(reinterpret_cast<const char*>(data_ + pos_), take);
    pos_ += take;
    return take == n;
  }
  // Skips sub-blocks up to and including the terminator.
  void SkipSubBlocks() {
    uint8_t n;
    while (Byte(n) && n != 0) Skip(n);
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// Rounded like the system's MulDiv.
int Percent(size_t pos, size_t size) {
  return size ? int((int64_t(pos) * 100 + int64_t(size) / 2) / int64_t(size)) : 0;
}

struct GraphicControl {
  bool present = false;
  uint8_t flags = 0;
  uint16_t delay = 0;
  uint8_t index = 0;
};

// The LZW code stream of one frame, read from its data sub-blocks.
class CodeReader {
 public:
  explicit CodeReader(Reader& r) : r_(r) {}
  // The next code of width bits; false when the data ended.
  bool Next(int width, int& code) {
    while (bits_ < width) {
      if (left_ == 0) {
        uint8_t n;
        if (ended_ || !r_.Byte(n) || n == 0) {
          ended_ = true;
          return false;
        }
        left_ = n;
      }
      uint8_t b;
      if (!r_.Byte(b)) {
        ended_ = true;
        return false;
      }
      --left_;
      acc_ |= uint32_t(b) << bits_;
      bits_ += 8;
    }
    code = int(acc_ & ((1u << width) - 1));
    acc_ >>= width;
    bits_ -= width;
    return true;
  }
  // Moves past the rest of the data sub-blocks.
  void Finish() {
    if (ended_) return;
    r_.Skip(left_);
    r_.SkipSubBlocks();
  }

 private:
  Reader& r_;
  uint32_t acc_ = 0;
  int bits_ = 0;
  int left_ = 0;  // bytes left in the current sub-block
  bool ended_ = false;
};

// Where decoded pixels go: rows in stream order mapped to image rows
// (the four passes of an interlaced frame), never past the last pixel.
class PixelSink {
 public:
  PixelSink(TGIFFrame& f, std::function<bool()> rowProgress, int progressRows)
      : f_(f), rowProgress_(std::move(rowProgress)), progressRows_(progressRows) {
    rows_.reserve(size_t(f.Height));
    if (f.Interlaced) {
      static constexpr int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
      for (int pass = 0; pass < 4; ++pass)
        for (int y = kStart[pass]; y < f.Height; y += kStep[pass]) rows_.push_back(y);
    } else {
      for (int y = 0; y < f.Height; ++y) rows_.push_back(y);
    }
  }
  bool Full() const { return row_ >= f_.Height; }
  bool Stopped() const { return stopped_; }
  // Writes n pixels from src; false once the frame is full or progress
  // asked to stop.
  bool Put(const uint8_t* src, int n) {
    while (n > 0) {
      if (Full() || stopped_) return false;
      if (col_ == 0 && rowProgress_ && row_ % progressRows_ == 0 && !rowProgress_()) {
        stopped_ = true;
        return false;
      }
      const int k = std::min(n, f_.Width - col_);
      std::memcpy(f_.Pixels.data() + size_t(rows_[size_t(row_)]) * size_t(f_.Width) + size_t(col_), src, size_t(k));
      src += k;
      n -= k;
      if ((col_ += k) == f_.Width) {
        col_ = 0;
        ++row_;
      }
    }
    return !Full();
  }
  // Marks every pixel not reached as transparent in the mask.
  void MaskUnreached() {
    for (int r = row_; r < f_.Height; ++r) {
      uint8_t* m = f_.Mask.data() + size_t(rows_[size_t(r)]) * size_t(f_.Width);
      std::fill(m + (r == row_ ? col_ : 0), m + f_.Width, uint8_t(1));
    }
  }

 private:
  TGIFFrame& f_;
  std::function<bool()> rowProgress_;
  int progressRows_;
  std::vector<int> rows_;
  int row_ = 0, col_ = 0;
  bool stopped_ = false;
};

// LZW decoding of one frame's data. Every code is checked against the
// table's current fill; codes stay at 12 bits and the table stops growing
// when full. Ends at the end code, at a code that cannot be decoded, when
// the frame is full, or when the data end.
void DecodeLzw(CodeReader& in, int minCodeSize, PixelSink& out) {
  uint16_t prefix[kTableSize];
  uint8_t suffix[kTableSize];
  uint8_t first[kTableSize];  // first pixel of each code's string
  uint8_t stack[kTableSize];
  const int clear = 1 << minCodeSize;
  const int end = clear + 1;
  for (int i = 0; i < clear && i < kTableSize; ++i) {
    suffix[i] = uint8_t(i);
    first[i] = uint8_t(i);
  }
  int width = minCodeSize + 1, next = clear + 2, prev = -1;
  int code;
  while (in.Next(width, code)) {
    if (code == clear) {
      width = minCodeSize + 1;
      next = clear + 2;
      prev = -1;
      continue;
    }
    if (code == end) return;
    if (prev < 0) {  // the first code after a clear: a single pixel
      if (code >= clear) return;
      if (!out.Put(&suffix[code], 1)) return;
      prev = code;
      continue;
    }
    // The code's string, written backwards from the end of the stack.
    uint8_t* p = stack + sizeof stack;
    int cur = code;
    if (code >= next) {  // (codes of 12 bits never reach a full table's next)
      if (code > next) return;
      *--p = first[prev];  // the string of prev plus its own first pixel
      cur = prev;
    }
    while (cur >= clear) {  // prefixes always point to older codes
      *--p = suffix[cur];
      cur = prefix[cur];
    }
    *--p = suffix[cur];
    if (next < kTableSize) {
      prefix[next] = uint16_t(prev);
      suffix[next] = *p;
      first[next] = first[prev];
      ++next;
      if (next >= (1 << width) && width < kMaxCodeBits) ++width;
    }
    if (!out.Put(p, int(stack + sizeof stack - p))) return;
    prev = code;
  }
}

class Decoding {
 public:
  Decoding(const TGIFDecoder& d, const uint8_t* data, size_t size)
      : d_(d), r_(data, size) {}

  int Run(TGIFData& out) {
    out = TGIFData{};
    if (r_.Size() == 0) return kGIFErrorEmpty;
    const int e = Stream(out);
    if (e != kGIFErrorNone) out = TGIFData{};
    return e;
  }

 private:
  bool Progress() {
    if (!d_.OnProgress) return true;
    bool keep = true;
    d_.OnProgress(int(std::min<size_t>(r_.Pos(), INT32_MAX)), int(std::min<size_t>(r_.Size(), INT32_MAX)),
                  Percent(r_.Pos(), r_.Size()), keep);
    return keep;
  }

  static void ReadTable(const uint8_t* src, int entries, TGIFColorTable& t) {
    t.fill(0);
    std::memcpy(t.data(), src, size_t(entries) * 3);
  }

  bool Table(uint8_t flags, TGIFColorTable& t) {
    const int entries = 2 << (flags & 7);
    uint8_t buf[768];
    if (!r_.Bytes(buf, size_t(entries) * 3)) return false;
    ReadTable(buf, entries, t);
    return true;
  }

  int Stream(TGIFData& out) {
    uint8_t h[13];
    if (!r_.Bytes(h, 6) || std::memcmp(h, "GIF", 3) != 0) return kGIFErrorDecoding;
    out.Version = h[4] == '9' ? gvGIF89a : gvGIF87a;
    if (!r_.Bytes(h + 6, 7)) return kGIFErrorDecoding;
    out.ScreenWidth = U16(h + 6);
    out.ScreenHeight = U16(h + 8);
    if (int64_t(out.ScreenWidth) * out.ScreenHeight > d_.MaxScreenPixels) return kGIFErrorDecoding;
    const uint8_t flags = h[10];
    if (flags & 0x80) {
      if (!Table(flags, out.GlobalTable)) return kGIFErrorDecoding;
      out.HasGlobalTable = true;
      out.GlobalBits = (flags & 7) + 1;
    }
    out.BitDepth = out.GlobalBits;
    while (!r_.AtEnd()) {
      if (!Progress()) return kGIFErrorStopped;
      uint8_t a, b = 0;
      r_.Byte(a);
      if (a == kTrailer) break;
      if (!r_.Byte(b)) break;
      if (a == kExtension) {
        Extension(b, out);
      } else if (a == kImage) {
        r_.Back(2);
        if (int(out.Frames.size()) >= TGIFDecoder::kMaxFrames) break;
        const int e = Frame(out);
        if (e != kGIFErrorNone) return e;
        if (d_.FirstImageOnly) break;
      }
      // any other pair of bytes is passed over
    }
    for (const TGIFFrame& f : out.Frames) {
      out.ScreenWidth = std::max(out.ScreenWidth, f.Left + f.Width);
      out.ScreenHeight = std::max(out.ScreenHeight, f.Top + f.Height);
    }
    return kGIFErrorNone;
  }

  void Extension(uint8_t label, TGIFData& out) {
    std::string block;
    if (label == kGraphicControl) {
      gce_ = GraphicControl{};
      if (r_.SubBlock(block) && block.size() >= 4) {
        const auto* p = reinterpret_cast<const uint8_t*>(block.data());
        gce_ = {true, p[0], U16(p + 1), p[3]};
      }
      if (!block.empty()) r_.SkipSubBlocks();
    } else if (label == kComment) {
      while (r_.SubBlock(block)) comment_ += block;
      comment_ += block;  // what a cut-short block brought
    } else if (label == kApplication) {
      // The identifier block, then the data sub-blocks.
      if (r_.SubBlock(block)) {
        if (block.size() >= 11 && block.compare(0, 11, "NETSCAPE2.0") == 0) {
          if (r_.SubBlock(block)) {
            if (block.size() >= 3)
              out.LoopCount = U16(reinterpret_cast<const uint8_t*>(block.data()) + 1);
            r_.SkipSubBlocks();
          }
        } else {
          r_.SkipSubBlocks();
        }
      }
    } else {
      r_.SkipSubBlocks();
    }
  }

  int Frame(TGIFData& out) {
    uint8_t d[10];
    if (!r_.Bytes(d, 10)) return kGIFErrorDecoding;
    TGIFFrame f;
    f.Left = U16(d + 1);
    f.Top = U16(d + 3);
    f.Width = U16(d + 5);
    f.Height = U16(d + 7);
    if (f.Width == 0 || f.Height == 0) return kGIFErrorDecoding;
    if (f.Width > TGIFDecoder::kMaxFrameSide || f.Height > TGIFDecoder::kMaxFrameSide) return kGIFErrorDecoding;
    // The screen as this frame grows it must stay within the cap, and so
    // must the pixels of all frames, before anything is allocated for it.
    // (Grown by every frame so far: one frame may widen it, another
    // make it taller.)
    grownWidth_ = std::max<int64_t>({grownWidth_, out.ScreenWidth, f.Left + f.Width});
    grownHeight_ = std::max<int64_t>({grownHeight_, out.ScreenHeight, f.Top + f.Height});
    if (grownWidth_ * grownHeight_ > d_.MaxScreenPixels) return kGIFErrorDecoding;
    totalPixels_ += int64_t(f.Width) * f.Height;
    if (totalPixels_ > d_.MaxTotalPixels) return kGIFErrorDecoding;
    const uint8_t flags = d[9];
    f.Interlaced = flags & 0x40;
    if (flags & 0x80) {
      if (!Table(flags, f.Table)) return kGIFErrorDecoding;
      f.HasLocalTable = true;
      f.LocalBits = (flags & 7) + 1;
      f.TableBits = f.LocalBits;
    } else {
      f.Table = out.GlobalTable;
      f.TableBits = out.GlobalBits;
    }
    if (gce_.present) {
      f.Disposal = (gce_.flags >> 2) & 7;
      if (f.Disposal != 0 && f.Disposal != 1 && f.Disposal != 3) f.Disposal = 2;
      f.Delay = gce_.delay * 10;
      if (gce_.flags & 1) {
        f.Transparent = true;
        f.TransparentIndex = gce_.index;
        f.TransparentColor = f.Color(gce_.index);
      }
    }
    f.Pixels.assign(size_t(f.Width) * size_t(f.Height), 0);
    if (!Pixels(f)) return kGIFErrorStopped;
    out.BitDepth = std::max(out.BitDepth, f.LocalBits);
    out.AnyTransparent |= f.Transparent;
    out.AnyInterlaced |= f.Interlaced;
    f.Comment = std::move(comment_);
    comment_.clear();
    gce_ = GraphicControl{};
    out.Frames.push_back(std::move(f));
    return kGIFErrorNone;
  }

  // The frame's LZW data into its pixels (and mask); false when progress
  // asked to stop.
  bool Pixels(TGIFFrame& f) {
    std::function<bool()> rowProgress;
    if (d_.OnProgress && int64_t(f.Width) * f.Height > TGIFDecoder::kRowProgressPixels)
      rowProgress = [this] { return Progress(); };
    PixelSink sink(f, std::move(rowProgress), f.Width <= 320 ? 64 : 32);
    uint8_t minCodeSize = 0;
    if (r_.Byte(minCodeSize)) {
      CodeReader codes(r_);
      if (minCodeSize <= kMaxMinCodeSize) DecodeLzw(codes, std::max<int>(minCodeSize, 1), sink);
      codes.Finish();
    }
    if (sink.Stopped()) return false;
    if (!sink.Full()) f.Transparent = true;
    if (f.Transparent) {
      f.Mask.assign(f.Pixels.size(), 0);
      if (f.TransparentIndex >= 0)
        for (size_t i = 0; i < f.Pixels.size(); ++i) f.Mask[i] = f.Pixels[i] == f.TransparentIndex;
      sink.MaskUnreached();
    }
    return true;
  }

  const TGIFDecoder& d_;
  Reader r_;
  GraphicControl gce_;
  std::string comment_;
  int64_t totalPixels_ = 0;
  int64_t grownWidth_ = 0, grownHeight_ = 0;  // the screen as the frames grow it
};

}  // namespace

int TGIFDecoder::Decode(const uint8_t* data, size_t size, TGIFData& out) const {
  return Decoding(*this, data, size).Run(out);
}
