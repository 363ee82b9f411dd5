#include "core/global_functions.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <mutex>

#include "platform/files.h"
#include "platform/system.h"
#include "platform/text.h"

// ------------------------------------------------------------ random numbers
//
// One generator for the whole program behind a mutex. Re-seeding stirs the
// seed into the current state instead of replacing it, so two threads
// re-seeding in the same millisecond still draw different numbers.

namespace {

class ProgramRandom {
 public:
  int Draw(int n) {
    std::lock_guard<std::mutex> lock(mutex_);
    return DrawLocked(n);
  }

  void Stir(uint64_t seed) {
    std::lock_guard<std::mutex> lock(mutex_);
    StirLocked(seed);
  }

  // Stirs seed in and draws two numbers under one lock.
  void StirAndDrawTwo(uint64_t seed, int n, int& a, int& b) {
    std::lock_guard<std::mutex> lock(mutex_);
    StirLocked(seed);
    a = DrawLocked(n);
    b = DrawLocked(n);
  }

 private:
  // splitmix64 step.
  static uint64_t Mix(uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

  void SeedOnce() {
    if (seeded_) return;
    unsigned char bytes[16];
    plat::NewGuidBytes(bytes);
    for (unsigned char b : bytes) state_ = (state_ << 8 | state_ >> 56) ^ b;
    seeded_ = true;
  }

  uint64_t NextLocked() {
    SeedOnce();
    state_ += 0x9E3779B97F4A7C15ull;
    return Mix(state_);
  }

  int DrawLocked(int n) {
    uint64_t x = NextLocked();
    if (n <= 0) return 0;
    return int(((x >> 32) * uint64_t(n)) >> 32);
  }

  void StirLocked(uint64_t seed) {
    SeedOnce();
    state_ = Mix(state_ ^ (seed * 0x9E3779B97F4A7C15ull));
  }

  std::mutex mutex_;
  uint64_t state_ = 0;
  bool seeded_ = false;
};

ProgramRandom& TheRandom() {
  static ProgramRandom r;
  return r;
}

}  // namespace

int Random(int n) { return TheRandom().Draw(n); }

void Randomize() { TheRandom().Stir(uint64_t(plat::MillisecondsOfDayNow())); }

std::string CreateUniqueID() {
  std::string id = plat::NewGuidText();
  int a = 0, b = 0;
  TheRandom().StirAndDrawTwo(uint64_t(plat::MillisecondsOfDayNow()), 1000, a, b);
  id += std::to_string(a);
  id += std::to_string(b);
  return id;
}

// ------------------------------------------------------------------- clocks

int SecondsSince(plat::DateTime t) {
  constexpr int64_t kMsPerDay = 86400000;
  double diff = (plat::Now() - t) * double(kMsPerDay);
  // Rounded to whole milliseconds first, so that a difference meant to be
  // a whole number of seconds is not cut one below by the float error.
  if (!std::isfinite(diff) || std::fabs(diff) > 9.0e18) return 0;
  int64_t ms = std::llabs(std::llround(diff)) % kMsPerDay;
  return int(ms / 1000);
}

// --------------------------------------------------------------- conversions

namespace {

// The decimal digits of s as a number; 0 when none or when too large.
// stopAtNul: the digits end at the first NUL character.
int64_t DigitsOf(std::string_view s, bool stopAtNul) {
  constexpr uint64_t kMax = uint64_t(std::numeric_limits<int64_t>::max());
  uint64_t v = 0;
  for (char c : s) {
    if (c == '\0' && stopAtNul) break;
    if (c < '0' || c > '9') continue;
    unsigned d = unsigned(c - '0');
    if (v > (kMax - d) / 10) return 0;
    v = v * 10 + d;
  }
  return int64_t(v);
}

}  // namespace

int64_t DigitsToInt64(std::string_view s) { return DigitsOf(s, true); }

int64_t EasyStrToInt64(std::string_view s) { return DigitsOf(s, false); }

std::string BoolToStr(bool b) { return b ? "TRUE" : "FALSE"; }

bool StrToBool(std::string_view s) { return plat::UpperAscii(plat::Trim(s)) == "TRUE"; }

void StrLCopyFromString(char* dest, std::string_view source, std::size_t n) {
  std::size_t i = 0;
  for (; i < n && i < source.size() && source[i] != '\0'; ++i) dest[i] = source[i];
  dest[i] = '\0';
}

// -------------------------------------------------------------------- system

void OpenDocument(std::string_view target) {
  std::string t = plat::Trim(target);
  if (t.empty()) return;
  plat::ShellOpen(t, plat::ExtractFilePath(t));
}

std::string AppDirectory() { return plat::ProgramFolder(); }

// -------------------------------------------------------------------- base64

namespace {

constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kBase64LineBytes = 60;

// Symbol value of a byte, -1 outside the alphabet.
int Base64Value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

std::string EncodeBase64(std::string_view s, bool lineBreaks) {
  std::string out;
  out.reserve((s.size() + 2) / 3 * 4 + s.size() / kBase64LineBytes * 2);
  for (std::size_t i = 0; i < s.size(); i += 3) {
    std::size_t left = s.size() - i;
    uint32_t group = uint32_t(uint8_t(s[i])) << 16;
    if (left > 1) group |= uint32_t(uint8_t(s[i + 1])) << 8;
    if (left > 2) group |= uint32_t(uint8_t(s[i + 2]));
    out += kBase64Alphabet[(group >> 18) & 63];
    out += kBase64Alphabet[(group >> 12) & 63];
    out += left > 1 ? kBase64Alphabet[(group >> 6) & 63] : '=';
    out += left > 2 ? kBase64Alphabet[group & 63] : '=';
    // Groups never straddle a line: 60 is a multiple of 3.
    if (lineBreaks && left >= 3 && (i + 3) % kBase64LineBytes == 0) out += "\r\n";
  }
  return out;
}

}  // namespace

std::string Base64Encode(std::string_view s) { return EncodeBase64(s, true); }

std::string Base64EncodeOneLine(std::string_view s) { return EncodeBase64(s, false); }

std::string Base64Decode(std::string_view s) {
  std::string out;
  out.reserve(s.size() / 4 * 3 + 2);
  uint32_t bits = 0;
  int count = 0;
  for (char c : s) {
    int v = Base64Value(uint8_t(c));
    if (v < 0) continue;
    bits = (bits << 6) | uint32_t(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += char(uint8_t(bits >> count));
      bits &= (1u << count) - 1;
    }
  }
  return out;
}

// ------------------------------------------------------------------ wildcard

bool MatchWildcard(std::string_view pattern, std::string_view text) {
  if (pattern.empty()) return true;
  // Greedy matching that remembers the last "*": on a mismatch the star
  // takes one more character and matching resumes after it. Earlier stars
  // never need revisiting, so this is O(pattern x text) and gives the same
  // answers as trying every split recursively.
  // Folding is ASCII-only on purpose (a-z): Windows-1252 letters compare as
  // bytes here, unlike the program's general case-insensitive comparisons.
  std::size_t p = 0, t = 0;
  std::size_t starP = std::string_view::npos, starT = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starT = t;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' ||
                plat::UpperAsciiChar(pattern[p]) == plat::UpperAsciiChar(text[t]))) {
      ++p;
      ++t;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      t = ++starT;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}
