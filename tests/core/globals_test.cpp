#include "core/globals.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "platform/system.h"

namespace {

struct NumberCase {
  int64_t n;
  const char* text;
};

// A table text with "," grouping, as the user's separator groups it.
std::string Grouped(std::string text) {
  for (char& c : text)
    if (c == ',') c = plat::ThousandsSeparator();
  return text;
}

// A text, what a cutting routine returns from it, and what it leaves.
struct CutCase {
  std::string in, taken, rest;
};

template <std::size_t N>
void ExpectCuts(const CutCase (&cases)[N], std::string (*cut)(std::string&)) {
  for (const auto& c : cases) {
    std::string s = c.in;
    EXPECT_EQ(cut(s), c.taken) << c.in;
    EXPECT_EQ(s, c.rest) << c.in;
  }
}

TEST(SplitFirstWord, Table) {
  const CutCase cases[] = {
      {"abc abc", "abc", "abc"},
      {"abc", "abc", ""},
      {"", "", ""},
      {" abc", "", "abc"},
      {"a  b", "a", " b"},   // only the first blank goes
      {"a ", "a", ""},
      {"SEARCH \"x y\" 12", "SEARCH", "\"x y\" 12"},
      {"tab\tseparated words", "tab\tseparated", "words"},  // only blanks split
  };
  ExpectCuts(cases, SplitFirstWord);
}

TEST(ExtractQuoted, Table) {
  const CutCase cases[] = {
      {"\"my file.mp3\" 123 456", "my file.mp3", "123 456"},
      {"  nick \" a b \"   rest  ", "a b", "rest"},
      {"\"\"", "", ""},
      {"\"a\"\"b\"", "a", "\"b\""},
      {"\"a\"", "a", ""},
      // no closing quote: the text after the opening one; s only trimmed
      {" abc \"def  ", "def", "abc \"def"},
      {"\"", "", "\""},
      // no quote at all: nothing; s only trimmed
      {"  abc  ", "", "abc"},
      {"", "", ""},
      {"\"C:\\Music\\\xC4rger.mp3\" 5", "C:\\Music\\\xC4rger.mp3", "5"},
  };
  ExpectCuts(cases, ExtractQuoted);
}

TEST(ExtractQuoted, TakesTokensOneAfterAnother) {
  std::string s = "\"first one\" \"second\"  \"third\" tail";
  EXPECT_EQ(ExtractQuoted(s), "first one");
  EXPECT_EQ(ExtractQuoted(s), "second");
  EXPECT_EQ(ExtractQuoted(s), "third");
  EXPECT_EQ(s, "tail");
  EXPECT_EQ(ExtractQuoted(s), "");
  EXPECT_EQ(s, "tail");
}

TEST(FormatThousands, Table) {
  const NumberCase cases[] = {
      {0, "0"},
      {7, "7"},
      {999, "999"},
      {1000, "1,000"},
      {123456, "123,456"},
      {1234567, "1,234,567"},
      {-1000, "-1,000"},
      {-999, "-999"},
      {std::numeric_limits<int64_t>::max(), "9,223,372,036,854,775,807"},
      {std::numeric_limits<int64_t>::min(), "-9,223,372,036,854,775,808"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatThousands(c.n), Grouped(c.text)) << c.n;
}

TEST(FormatByteSize, UnitBoundariesAndRounding) {
  const NumberCase cases[] = {
      {0, "0 B"},
      {1, "1 B"},
      {999, "999 B"},
      {1000, "1 KB"},
      {1049, "1 KB"},
      {1050, "1.1 KB"},    // a half: away from zero
      {1150, "1.2 KB"},    // not a tie in decimal, whatever binary says
      {1250, "1.3 KB"},    // an exact binary tie: still away from zero
      {1500, "1.5 KB"},
      {9950, "10 KB"},
      {999949, "999.9 KB"},
      {999950, "1,000 KB"},
      {999999, "1,000 KB"},
      {1000000, "1 MB"},
      {2345678, "2.3 MB"},
      {999999999, "1,000 MB"},
      {1000000000, "1 GB"},
      {1000000000000, "1 TB"},
      {1250000000000, "1.3 TB"},
      {123456789000000000, "123,456.8 TB"},
      {std::numeric_limits<int64_t>::max(), "9,223,372 TB"},
      {-5, "-5 B"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatByteSize(c.n), Grouped(c.text)) << c.n;
}

}  // namespace
