// test-label: concurrency
#include "core/global_functions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/files.h"
#include "tools/wildcard_reference.h"

using namespace std::string_literals;

namespace {

// Holds "now" at a fixed date-time for the life of the object.
class FixedNow {
 public:
  explicit FixedNow(plat::DateTime t) {
    plat::SetNowForTesting([t] { return t; });
  }
  ~FixedNow() { plat::SetNowForTesting(nullptr); }
};

// ------------------------------------------------------------------ wildcard

struct WildcardCase {
  const char* pattern;
  std::string text;
  bool match;
};

TEST(MatchWildcard, Table) {
  const WildcardCase cases[] = {
      {"*", "", true},
      {"", "", true},
      {"", "anything", true},  // an empty pattern matches every text
      {"a?c", "abc", true},
      {"a?c", "ab", false},
      {"a?c", "abcd", false},
      {"*.MP3", "x.mp3", true},
      {"*.mp3", "SONG.MP3", true},
      {"*.mp3", "song.mp3.txt", false},
      {"abc", "", false},  // no star: never the empty text
      {"?", "", false},
      {"*?", "", false},
      {"**", "", true},
      {"a*", "a", true},
      {"*a", "a", true},
      {"*b", "ab", true},
      {"a*b*c", "aXbYc", true},
      {"a*b*c", "aXbY", false},
      {"*ab*ab", "xabyabab", true},
      {"*aab", "aaab", true},
      {"?*?", "ab", true},
      {"?*?", "a", false},
      {"Z", "z", true},
      {"z", "Z", true},
      // Only a-z fold: brackets and braces are 32 apart but differ.
      {"[", "{", false},
      {"@", "`", false},
      {"^", "~", false},
      // Windows-1252 letters never fold here.
      {"\xC9T\xC9", "\xE9t\xE9", false},   // ÉTÉ / été
      {"\xE9t\xE9", "\xE9T\xE9", true},    // same accented bytes, ASCII folded
      {"*\xC4*", "m\xE4rz", false},        // Ä / ä
      {"*\xE4*", "M\xE4RZ", true},
      {"\x8A", "\x9A", false},              // Š / š
      {"?", "\xFF", true},
      {"*", "\0\0"s, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MatchWildcard(c.pattern, c.text), c.match)
        << "pattern \"" << c.pattern << "\" text \"" << c.text << "\"";
  }
}

TEST(MatchWildcard, PatternWithNulByte) {
  EXPECT_TRUE(MatchWildcard("a\0b"s, "a\0b"s));
  EXPECT_FALSE(MatchWildcard("a\0b"s, "a\0c"s));
  EXPECT_TRUE(MatchWildcard("*\0"s, "xyz\0"s));
}

// Every pattern and text over a tiny alphabet, up to four characters each:
// the iterative matcher must agree with the plain recursive one.
TEST(MatchWildcard, AgreesWithRecursiveMatcherExhaustively) {
  auto all = [](const std::string& alphabet, int maxLen) {
    std::vector<std::string> out{""};
    std::vector<std::string> last{""};
    for (int len = 1; len <= maxLen; ++len) {
      std::vector<std::string> next;
      for (const auto& s : last)
        for (char c : alphabet) next.push_back(s + c);
      out.insert(out.end(), next.begin(), next.end());
      last.swap(next);
    }
    return out;
  };
  const auto patterns = all("aB*?\xE4", 4);
  const auto texts = all("Ab\xC4", 5);
  int checked = 0;
  for (const auto& p : patterns)
    for (const auto& t : texts) {
      ASSERT_EQ(MatchWildcard(p, t), testref::Wildcard(p, t))
          << "pattern \"" << p << "\" text \"" << t << "\"";
      ++checked;
    }
  EXPECT_GT(checked, 200000);
}

TEST(MatchWildcard, ManyStarsStayFast) {
  // Exponential for a backtracking matcher; immediate for this one.
  std::string text(5000, 'a');
  EXPECT_FALSE(MatchWildcard("*a*a*a*a*a*a*a*a*a*a*a*a*b", text));
  EXPECT_TRUE(MatchWildcard("*a*a*a*a*a*a*a*a*a*a*a*a*a", text));
}

// -------------------------------------------------------------------- base64

TEST(Base64, KnownValues) {
  EXPECT_EQ(Base64Encode(""), "");
  EXPECT_EQ(Base64Encode("f"), "Zg==");
  EXPECT_EQ(Base64Encode("fo"), "Zm8=");
  EXPECT_EQ(Base64Encode("foo"), "Zm9v");
  EXPECT_EQ(Base64Encode("foobar"), "Zm9vYmFy");
  EXPECT_EQ(Base64Encode("\xFF\xFE\0"s), "//4A");
  EXPECT_EQ(Base64Decode("Zg=="), "f");
  EXPECT_EQ(Base64Decode("Zm8="), "fo");
  EXPECT_EQ(Base64Decode("Zm9vYmFy"), "foobar");
  EXPECT_EQ(Base64Decode(""), "");
}

TEST(Base64, DecodingSkipsJunk) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"Zm9v\r\nYmFy", "foobar"},
      {" Zm 9v*Ym\tFy! ", "foobar"},
      {"Zg", "f"},          // final group of two symbols
      {"Zm8", "fo"},        // of three
      {"Z", ""},            // a lone symbol gives nothing
      {"=Z=g=", "f"},       // "=" anywhere is skipped
      {"Zm9v\xC3\xA9YmFy", "foobar"},
      {"-_.~", ""},
      {"\0Zg=="s, "f"},
  };
  for (const auto& c : cases) EXPECT_EQ(Base64Decode(c.in), c.out) << c.in;
}

TEST(Base64, RoundTripsWithLineBreaksEverySixtyBytes) {
  for (std::size_t len = 0; len <= 200; ++len) {
    std::string data;
    for (std::size_t i = 0; i < len; ++i) data += char((i * 37 + len) & 0xFF);
    std::string enc = Base64Encode(data);

    // 80 symbols then CR LF for each full 60 bytes, then the rest.
    std::size_t lines = len / 60;
    std::size_t tail = len % 60;
    std::size_t expected = lines * 82 + (tail + 2) / 3 * 4;
    ASSERT_EQ(enc.size(), expected) << len;
    for (std::size_t l = 0; l < lines; ++l) EXPECT_EQ(enc.substr(l * 82 + 80, 2), "\r\n") << len;
    std::size_t crlfs = 0;
    for (std::size_t i = 0; i + 1 < enc.size(); ++i) crlfs += enc.compare(i, 2, "\r\n") == 0;
    EXPECT_EQ(crlfs, lines) << len;
    if (len > 0) {
      EXPECT_EQ(enc.substr(enc.size() - 2) == "\r\n", tail == 0) << len;
    }

    ASSERT_EQ(Base64Decode(enc), data) << len;
  }
  const std::string line = Base64Encode(std::string(60, 'x'));
  EXPECT_EQ(line.size(), 82u);
  EXPECT_EQ(line.substr(80), "\r\n");
  EXPECT_EQ(Base64Encode(std::string(120, 'x')), line + line);
}

TEST(Base64, OneLineFormHasNoBreaksAndTheSameSymbols) {
  for (std::size_t len : {0u, 1u, 59u, 60u, 61u, 120u, 200u}) {
    std::string data(len, 'q');
    std::string one = Base64EncodeOneLine(data);
    EXPECT_EQ(one.find_first_of("\r\n"), std::string::npos) << len;
    std::string broken = Base64Encode(data);
    std::string stripped;
    for (char c : broken)
      if (c != '\r' && c != '\n') stripped += c;
    EXPECT_EQ(one, stripped) << len;
    EXPECT_EQ(Base64Decode(one), data) << len;
  }
}

TEST(Base64, AllByteValuesRoundTrip) {
  std::string data;
  for (int i = 0; i < 256; ++i) data += char(i);
  EXPECT_EQ(Base64Decode(Base64Encode(data)), data);
}

// ---------------------------------------------------------- digit conversions

TEST(DigitConversions, Table) {
  const struct {
    std::string in;
    int64_t digits;  // DigitsToInt64: stops at NUL
    int64_t easy;    // EasyStrToInt64: whole text
  } cases[] = {
      {"-12a3", 123, 123},
      {"", 0, 0},
      {"abc", 0, 0},
      {"-", 0, 0},
      {"0", 0, 0},
      {"12\0" "34"s, 12, 1234},
      {"\0" "5"s, 0, 5},
      {"1.234.567", 1234567, 1234567},
      {"9223372036854775807", std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::max()},
      {"9223372036854775808", 0, 0},                      // one past the top
      {"123456789012345678901234567890", 0, 0},           // a 30-digit field
      {"99999999999999999999", 0, 0},
      {"000000000000000000000000000042", 42, 42},         // zeros do not overflow
      {"1\0" "99999999999999999999"s, 1, 0},              // overflow after the NUL
      {"\xB2\xB3" "7", 7, 7},                             // superscript digits are not digits
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DigitsToInt64(c.in), c.digits) << c.in;
    EXPECT_EQ(EasyStrToInt64(c.in), c.easy) << c.in;
  }
}

// ------------------------------------------------------------- small helpers

TEST(BoolText, BothWays) {
  EXPECT_EQ(BoolToStr(true), "TRUE");
  EXPECT_EQ(BoolToStr(false), "FALSE");
  EXPECT_TRUE(StrToBool("TRUE"));
  EXPECT_TRUE(StrToBool("  true\t"));
  EXPECT_TRUE(StrToBool("tRuE"));
  EXPECT_FALSE(StrToBool("TRUEX"));
  EXPECT_FALSE(StrToBool("yes"));
  EXPECT_FALSE(StrToBool("1"));
  EXPECT_FALSE(StrToBool(""));
  EXPECT_FALSE(StrToBool("T RUE"));
}

TEST(StrLCopyFromString, CopiesAtMostNAndTerminates) {
  char buf[8];
  std::memset(buf, 'x', sizeof buf);
  StrLCopyFromString(buf, "abcdef", 3);
  EXPECT_STREQ(buf, "abc");
  StrLCopyFromString(buf, "ab", 7);
  EXPECT_STREQ(buf, "ab");
  StrLCopyFromString(buf, "ab\0cd"s, 7);
  EXPECT_STREQ(buf, "ab");
  StrLCopyFromString(buf, "abc", 0);
  EXPECT_STREQ(buf, "");
  StrLCopyFromString(buf, "abcdefghijk", 7);
  EXPECT_STREQ(buf, "abcdefg");
}

TEST(AppDirectory, EndsInPathSeparator) {
  std::string dir = AppDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), plat::kPathDelim);
  EXPECT_TRUE(plat::DirectoryExists(dir));
}

// -------------------------------------------------------------------- clocks

TEST(SecondsSince, DropsWholeDays) {
  const plat::DateTime now = plat::EncodeDateTime(2024, 5, 6, 12, 0, 0);
  FixedNow fixed(now);
  const double hour = 1.0 / 24, second = 1.0 / 86400;
  EXPECT_EQ(SecondsSince(now), 0);
  EXPECT_EQ(SecondsSince(now - 25 * hour), 3600);
  EXPECT_EQ(SecondsSince(now - 90 * second), 90);
  EXPECT_EQ(SecondsSince(now - 1.0), 0);
  EXPECT_EQ(SecondsSince(now - 86399 * second), 86399);
  EXPECT_EQ(SecondsSince(now - 3 - 7 * hour - 5 * second), 7 * 3600 + 5);
  EXPECT_EQ(SecondsSince(0), 12 * 3600);  // since midnight
  EXPECT_EQ(SecondsSince(now + 5 * second), 5);  // a clock set back a little
}

// ------------------------------------------------------- ids and random numbers

TEST(CreateUniqueID, Shape) {
  const std::regex shape(
      R"(^\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}(0|[1-9][0-9]{0,2}){2}$)");
  for (int i = 0; i < 200; ++i) {
    std::string id = CreateUniqueID();
    EXPECT_TRUE(std::regex_match(id, shape)) << id;
    EXPECT_GE(id.size(), 40u);
    EXPECT_LE(id.size(), 44u);
  }
}

TEST(CreateUniqueID, DistinctWhenMadeConcurrentlyInOneMillisecond) {
  // With the clock standing still every id falls into the same
  // millisecond; the numbers after the GUID must still vary.
  FixedNow fixed(plat::EncodeDateTime(2024, 1, 1, 8, 30, 0));
  constexpr int kThreads = 8, kEach = 250;
  std::vector<std::vector<std::string>> made(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i)
    threads.emplace_back([&made, i] {
      for (int k = 0; k < kEach; ++k) made[size_t(i)].push_back(CreateUniqueID());
    });
  for (auto& t : threads) t.join();

  std::set<std::string> ids, suffixes;
  for (const auto& list : made)
    for (const auto& id : list) {
      ids.insert(id);
      suffixes.insert(id.substr(38));
    }
  EXPECT_EQ(ids.size(), size_t(kThreads * kEach));
  EXPECT_GT(suffixes.size(), size_t(kThreads * kEach * 9 / 10));
}

TEST(Random, StaysInRange) {
  EXPECT_EQ(Random(0), 0);
  EXPECT_EQ(Random(-5), 0);
  EXPECT_EQ(Random(1), 0);
  std::set<int> seen;
  for (int i = 0; i < 2000; ++i) {
    int r = Random(10);
    ASSERT_GE(r, 0);
    ASSERT_LT(r, 10);
    seen.insert(r);
  }
  EXPECT_EQ(seen.size(), 10u);
  for (int i = 0; i < 1000; ++i) {
    int r = Random(std::numeric_limits<int>::max());
    ASSERT_GE(r, 0);
  }
}

TEST(Random, ReseedingInTheSameMillisecondDoesNotRepeat) {
  FixedNow fixed(plat::EncodeDateTime(2024, 1, 1, 8, 30, 0));
  Randomize();
  int a = Random(1000000000);
  int a2 = Random(1000000000);
  Randomize();
  int b = Random(1000000000);
  int b2 = Random(1000000000);
  EXPECT_FALSE(a == b && a2 == b2);
}

TEST(Random, SharedByManyThreads) {
  std::vector<std::thread> threads;
  std::vector<int> bad(6, 0);
  for (int i = 0; i < 6; ++i)
    threads.emplace_back([&bad, i] {
      for (int k = 0; k < 2000; ++k) {
        if (k % 100 == 0) Randomize();
        int r = Random(1000);
        if (r < 0 || r >= 1000) ++bad[size_t(i)];
      }
    });
  for (auto& t : threads) t.join();
  for (int b : bad) EXPECT_EQ(b, 0);
}

}  // namespace
