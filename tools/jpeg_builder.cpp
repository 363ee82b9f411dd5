#include "tools/jpeg_builder.h"

#include <cstdlib>

namespace jpeggen {
namespace {

void Be16(std::string& out, int v) {
  out += char((v >> 8) & 0xFF);
  out += char(v & 0xFF);
}

// A segment: its marker, its length (its own two bytes included), its body.
void Segment(std::string& out, uint8_t code, const std::string& body) {
  out += char(0xFF);
  out += char(code);
  Be16(out, int(body.size()) + 2);
  out += body;
}

// The entropy-coded bits, most significant first, a 0 byte stuffed after
// every 0xFF, the last byte filled with 1 bits.
class BitWriter {
 public:
  void Put(uint32_t bits, int count) {
    for (int i = count - 1; i >= 0; --i) {
      acc_ = uint8_t(acc_ << 1 | ((bits >> i) & 1));
      if (++n_ == 8) Flush();
    }
  }
  std::string Finish() {
    while (n_ != 0) Put(1, 1);
    return std::move(out_);
  }

 private:
  void Flush() {
    out_ += char(acc_);
    if (acc_ == 0xFF) out_ += '\0';
    acc_ = 0;
    n_ = 0;
  }
  std::string out_;
  uint8_t acc_ = 0;
  int n_ = 0;
};

// The DC table: categories 0 to 11 with the usual luminance code lengths.
const uint8_t kDcCounts[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
// The AC table holds two codes of two bits: 00 ends a block (all further
// coefficients 0), 01 is never used.
const uint8_t kAcCounts[16] = {0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// The canonical code and its length of DC category c.
void DcCode(int c, uint32_t& code, int& length) {
  uint32_t next = 0;
  int symbol = 0;
  for (int len = 1; len <= 16; ++len, next <<= 1)
    for (int k = 0; k < kDcCounts[len - 1]; ++k, ++next, ++symbol)
      if (symbol == c) {
        code = next;
        length = len;
        return;
      }
  std::abort();
}

std::string Table(uint8_t classAndId, const uint8_t (&counts)[16], int symbols) {
  std::string t(1, char(classAndId));
  t.append(reinterpret_cast<const char*>(counts), 16);
  for (int s = 0; s < symbols; ++s) t += char(s);
  return t;
}

}  // namespace

std::string Grey(int width, int height, uint8_t level) {
  std::string out("\xFF\xD8", 2);
  Segment(out, 0xDB, std::string(1, '\0') + std::string(64, '\x01'));  // quantisation: all 1
  std::string frame(1, char(8));
  Be16(frame, height);
  Be16(frame, width);
  frame += std::string("\x01\x01\x11\x00", 4);  // one component: id 1, no subsampling, table 0
  Segment(out, 0xC0, frame);
  Segment(out, 0xC4, Table(0x00, kDcCounts, 12));
  Segment(out, 0xC4, Table(0x10, kAcCounts, 2));
  Segment(out, 0xDA, std::string("\x01\x01\x00\x00\x3F\x00", 6));
  // A flat block of level has the DC coefficient 8 x (level - 128) and
  // nothing else; every block after the first repeats it (a difference
  // of 0).
  const int dc = 8 * (int(level) - 128);
  const int magnitude = std::abs(dc);
  int category = 0;
  while ((1 << category) <= magnitude) ++category;
  BitWriter bits;
  const long blocks = long((width + 7) / 8) * long((height + 7) / 8);
  for (long i = 0; i < blocks; ++i) {
    const int c = i == 0 ? category : 0;
    uint32_t code = 0;
    int length = 0;
    DcCode(c, code, length);
    bits.Put(code, length);
    if (c > 0) bits.Put(uint32_t(dc >= 0 ? dc : dc + (1 << c) - 1), c);
    bits.Put(0, 2);  // end of block
  }
  out += bits.Finish();
  out += std::string("\xFF\xD9", 2);
  return out;
}

}  // namespace jpeggen
