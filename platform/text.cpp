#include "platform/text.h"

#include <array>
#include <string>

namespace plat {
namespace {

// Upper-case fold of every byte, built once. Windows-1252 letters: the
// block 0xE0-0xFE folds onto 0xC0-0xDE (0xF7, the division sign, is no
// letter), and the four letters outside it pair up as listed.
struct FoldTables {
  std::array<unsigned char, 256> upper{};
  std::array<unsigned char, 256> lower{};
  constexpr FoldTables() {
    for (int i = 0; i < 256; ++i) {
      upper[size_t(i)] = static_cast<unsigned char>(i);
      lower[size_t(i)] = static_cast<unsigned char>(i);
    }
    auto pair = [this](int lo, int up) {
      upper[size_t(lo)] = static_cast<unsigned char>(up);
      lower[size_t(up)] = static_cast<unsigned char>(lo);
    };
    for (int c = 'a'; c <= 'z'; ++c) pair(c, c - 32);
    for (int c = 0xE0; c <= 0xFE; ++c)
      if (c != 0xF7) pair(c, c - 0x20);
    pair(0x9A, 0x8A);  // s caron
    pair(0x9C, 0x8C);  // oe
    pair(0x9E, 0x8E);  // z caron
    pair(0xFF, 0x9F);  // y diaeresis
  }
};

constexpr FoldTables kTables;

inline unsigned char Up(char c) { return kTables.upper[static_cast<unsigned char>(c)]; }

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

template <class F>
std::string MapBytes(std::string_view s, F f) {
  std::string r(s);
  for (char& c : r) c = f(c);
  return r;
}

}  // namespace

char FoldChar(char c) { return static_cast<char>(Up(c)); }

char LowerChar(char c) { return static_cast<char>(kTables.lower[static_cast<unsigned char>(c)]); }

std::string UpperCase(std::string_view s) { return MapBytes(s, FoldChar); }
std::string LowerCase(std::string_view s) { return MapBytes(s, LowerChar); }
std::string UpperAscii(std::string_view s) { return MapBytes(s, UpperAsciiChar); }

int CompareText(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const int d = int(Up(a[i])) - int(Up(b[i]));
    if (d != 0) return d;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

size_t FoldedHash(std::string_view s) {
  uint64_t h = 1469598103934665603ull;  // FNV-1a over the folded bytes
  for (char c : s) h = (h ^ Up(c)) * 1099511628211ull;
  return size_t(h ^ (h >> 32));
}

std::string TrimLeft(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  return std::string(s.substr(i));
}

std::string TrimRight(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && IsBlank(s[n - 1])) --n;
  return std::string(s.substr(0, n));
}

std::string Trim(std::string_view s) {
  size_t i = 0, n = s.size();
  while (i < n && IsBlank(s[i])) ++i;
  while (n > i && IsBlank(s[n - 1])) --n;
  return std::string(s.substr(i, n - i));
}

std::string IntToStr(int64_t v) { return std::to_string(v); }

char AnsiFromCodePoint(uint32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return char(cp);
  // The code page's characters at 0x80-0x9F.
  static const uint16_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                     0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] != 0 && kHigh[i] == cp) return char(0x80 + i);
  return '?';
}

std::string AnsiFromUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    const int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
    uint32_t cp = extra == 0 ? b : extra == 1 ? b & 0x1F : extra == 2 ? b & 0x0F : b & 0x07;
    bool ok = extra >= 0 && i + size_t(extra) < s.size();
    for (int k = 1; ok && k <= extra; ++k) {
      const auto c = static_cast<unsigned char>(s[i + size_t(k)]);
      if ((c & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (c & 0x3F);
    }
    // Over-long forms and surrogates are no characters.
    static const uint32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
    if (ok && (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (!ok) {
      out += '?';
      ++i;
      continue;
    }
    out += AnsiFromCodePoint(cp);
    i += size_t(extra) + 1;
  }
  return out;
}

std::string AnsiFromUtf16(std::string_view s, bool bigEndian) {
  std::string out;
  out.reserve(s.size() / 2);
  for (size_t i = 0; i + 1 < s.size(); i += 2) {
    const auto a = static_cast<unsigned char>(s[i]), b = static_cast<unsigned char>(s[i + 1]);
    const uint32_t unit = bigEndian ? (uint32_t(a) << 8 | b) : (uint32_t(b) << 8 | a);
    if (unit == 0xFEFF) continue;
    if (unit == 0xFFFE) {  // the mark read the wrong way round
      bigEndian = !bigEndian;
      continue;
    }
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < s.size()) {
      const auto c = static_cast<unsigned char>(s[i + 2]), d = static_cast<unsigned char>(s[i + 3]);
      const uint32_t low = bigEndian ? (uint32_t(c) << 8 | d) : (uint32_t(d) << 8 | c);
      if (low >= 0xDC00 && low <= 0xDFFF) i += 2;  // a pair: beyond the code page either way
    }
    out += AnsiFromCodePoint(unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit);
  }
  return out;
}

}  // namespace plat
