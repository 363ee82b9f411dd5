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

}  // namespace plat
