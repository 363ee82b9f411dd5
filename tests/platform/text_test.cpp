#include "platform/text.h"

#include <gtest/gtest.h>

namespace {

using plat::FoldChar;
using plat::LowerChar;

unsigned char U(char c) { return static_cast<unsigned char>(c); }

// The folding rule over every byte: which bytes are letters with a
// partner, and that the two directions are each other's inverse.
TEST(FoldChar, WholeTable) {
  for (int i = 0; i < 256; ++i) {
    const char c = static_cast<char>(i);
    int up = i;
    if (i >= 'a' && i <= 'z') up = i - 32;
    if (i >= 0xE0 && i <= 0xFE && i != 0xF7) up = i - 0x20;
    if (i == 0x9A) up = 0x8A;
    if (i == 0x9C) up = 0x8C;
    if (i == 0x9E) up = 0x8E;
    if (i == 0xFF) up = 0x9F;
    EXPECT_EQ(U(FoldChar(c)), up) << "byte " << i;
    // Folding an upper-case letter changes nothing; lowering it returns
    // the lower-case byte it came from.
    EXPECT_EQ(U(FoldChar(FoldChar(c))), up) << "byte " << i;
    if (up != i) {
      EXPECT_EQ(U(LowerChar(static_cast<char>(up))), i) << "byte " << i;
    }
  }
  // Bytes that look like letter pairs but are not: multiplication and
  // division signs, sharp s, and the non-letters around the pairs.
  for (int i : {0xD7, 0xF7, 0xDF, 0x8B, 0x9B, 0x9D, 0x80, int('@'), int('['), int('`'), int('{')}) {
    EXPECT_EQ(U(FoldChar(static_cast<char>(i))), i) << "byte " << i;
    EXPECT_EQ(U(LowerChar(static_cast<char>(i))), i) << "byte " << i;
  }
}

TEST(FoldChar, UpperAsciiLeavesLatinLettersAlone) {
  EXPECT_EQ(plat::UpperAscii("abc\xE9\xFF"), "ABC\xE9\xFF");
  EXPECT_EQ(plat::UpperCase("abc\xE9\xFF"), "ABC\xC9\x9F");
  EXPECT_EQ(plat::LowerCase("ABC\xC9\x9F"), "abc\xE9\xFF");
}

TEST(CompareText, FoldsAndOrders) {
  EXPECT_EQ(plat::CompareText("Hello", "hELLO"), 0);
  EXPECT_TRUE(plat::SameText("caf\xE9", "CAF\xC9"));
  EXPECT_FALSE(plat::SameText("a", "a "));
  EXPECT_LT(plat::CompareText("abc", "ABD"), 0);
  EXPECT_GT(plat::CompareText("b", "A"), 0);
  EXPECT_LT(plat::CompareText("ab", "ABC"), 0);
  EXPECT_GT(plat::CompareText("abc", "AB"), 0);
  EXPECT_EQ(plat::CompareText("", ""), 0);
  // Bytes compare unsigned: 0xE9 sorts after 'z'.
  EXPECT_GT(plat::CompareText("\xE9", "z"), 0);
  // Embedded NULs are text like any other byte.
  EXPECT_LT(plat::CompareText(std::string_view("a\0b", 3), std::string_view("a\0c", 3)), 0);
}

TEST(Trim, RemovesControlBytesAndSpaces) {
  EXPECT_EQ(plat::Trim(" \t\r\n x y \x01\x20"), "x y");
  EXPECT_EQ(plat::TrimLeft("  x  "), "x  ");
  EXPECT_EQ(plat::TrimRight("  x  "), "  x");
  EXPECT_EQ(plat::Trim("   "), "");
  EXPECT_EQ(plat::Trim(""), "");
  // 0xA0 (no-break space) and other high bytes are kept.
  EXPECT_EQ(plat::Trim("\xA0x\xA0"), "\xA0x\xA0");
  EXPECT_EQ(plat::Trim(std::string_view("\0x\0", 3)), "x");
}

TEST(IntToStr, Extremes) {
  EXPECT_EQ(plat::IntToStr(0), "0");
  EXPECT_EQ(plat::IntToStr(-42), "-42");
  EXPECT_EQ(plat::IntToStr(INT64_MIN), "-9223372036854775808");
}

}  // namespace
