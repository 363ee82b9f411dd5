#include "core/globals.h"

#include "platform/system.h"
#include "platform/text.h"

namespace {

constexpr char kDecimalSeparator = '.';

// The digits of magnitude grouped by thousands, after a "-" when negative.
std::string Grouped(uint64_t magnitude, bool negative) {
  const char separator = plat::ThousandsSeparator();
  std::string digits = std::to_string(magnitude);
  std::string out;
  if (negative) out += '-';
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += separator;
    out += digits[i];
  }
  return out;
}

uint64_t Magnitude(int64_t n) { return n < 0 ? 0 - uint64_t(n) : uint64_t(n); }

}  // namespace

std::string SplitFirstWord(std::string& s) {
  std::size_t blank = s.find(' ');
  std::string word;
  if (blank == std::string::npos) {
    word.swap(s);
  } else {
    word = s.substr(0, blank);
    s.erase(0, blank + 1);
  }
  return word;
}

std::string ExtractQuoted(std::string& s) {
  std::size_t open = s.find('"');
  if (open == std::string::npos) {
    s = plat::Trim(s);
    return std::string();
  }
  std::size_t close = s.find('"', open + 1);
  if (close == std::string::npos) {
    std::string token = plat::Trim(std::string_view(s).substr(open + 1));
    s = plat::Trim(s);
    return token;
  }
  std::string token = plat::Trim(std::string_view(s).substr(open + 1, close - open - 1));
  s = plat::Trim(std::string_view(s).substr(close + 1));
  return token;
}

std::string FormatThousands(int64_t n) { return Grouped(Magnitude(n), n < 0); }

std::string FormatByteSize(int64_t n) {
  if (n == 0) return "0 B";
  struct Unit {
    uint64_t size;
    const char* name;
  };
  static constexpr Unit kUnits[] = {{1000000000000ull, "TB"},
                                    {1000000000ull, "GB"},
                                    {1000000ull, "MB"},
                                    {1000ull, "KB"}};
  if (n < 1000) return Grouped(Magnitude(n), n < 0) + " B";
  uint64_t m = uint64_t(n);
  for (const Unit& u : kUnits) {
    if (m < u.size) continue;
    // Tenths of the unit in integers, the half rounded up: exact where a
    // binary fraction would round 1.25 to even.
    uint64_t tenth = u.size / 10;
    uint64_t tenths = m / tenth + (m % tenth * 2 >= tenth ? 1 : 0);
    std::string text = Grouped(tenths / 10, false);
    if (tenths % 10 != 0) {
      text += kDecimalSeparator;
      text += char('0' + tenths % 10);
    }
    return text + ' ' + u.name;
  }
  return std::string();  // not reached: m >= 1000
}
