#include "treelist/edit_mask.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// One letter per mask position: L literal, T locale literal, D directive,
// I required input, O optional input, S field separator, F field.
std::string TypeCodes(const std::string& mask) {
  std::string r;
  for (int i = 0; i < static_cast<int>(mask.size()); ++i)
    r += "?LTDIOSF"[static_cast<int>(MaskGetCharType(mask, i))];
  return r;
}

struct LayoutCase {
  std::string mask;
  const char* types;
  bool save;
  char blank;
  int maxChars;
};

TEST(EditMask, FieldsTypesAndOffsets) {
  const LayoutCase cases[] = {
      {"!(999) 000-0000;1;_", "DLOOOLLIIILIIIISFSF", true, '_', 14},
      {"00-00;1;_", "IILIISFSF", true, '_', 5},
      {"00-00;0;*", "IILIISFSF", false, '*', 5},
      {"99/99/0000;0; ", "OOTOOTIIIISFSF", false, ' ', 10},
      {"xy;zqrs", "LLLLLLL", true, '_', 7},   // ";" before the last four: a literal
      {"0;0", "ISF", true, '_', 1},           // shorter than four: no save or blank field
      {"00\\;0", "IIDLI", true, '_', 4},      // an escaped ";" is a literal
      {"\\(0\\\\;0", "DLIDLSF", false, '_', 3},  // an escaped "\" escapes nothing
      {"00;;*", "IISSF", true, '*', 2},       // a blank without a save field
      {">LL<ll<>CC", "DIIDOODDII", true, '_', 6},
      {"", "", true, '_', 0},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.mask);
    EXPECT_EQ(TypeCodes(c.mask), c.types);
    EXPECT_EQ(MaskGetMaskSave(c.mask), c.save);
    EXPECT_EQ(MaskGetMaskBlank(c.mask), c.blank);
    EXPECT_EQ(MaskOffsetToOffset(c.mask, static_cast<int>(c.mask.size())), c.maxChars);
    EXPECT_EQ(OffsetToMaskOffset(c.mask, c.maxChars), -1);
    EXPECT_EQ(MaskGetCharType(c.mask, static_cast<int>(c.mask.size())), MaskCharType::None);
    // The two offset maps are inverses over every text position.
    for (int t = 0; t < c.maxChars; ++t) {
      const int m = OffsetToMaskOffset(c.mask, t);
      EXPECT_EQ(MaskOffsetToOffset(c.mask, m), t);
      const char code = c.types[m];
      EXPECT_EQ(IsLiteralChar(c.mask, t), code == 'L' || code == 'T') << t;
      EXPECT_TRUE(code == 'L' || code == 'T' || code == 'I' || code == 'O') << t;
    }
  }
}

TEST(EditMask, DirectivesAndCaseConversion) {
  // ">" upper, "<" lower, "<>" off, an escaped ">" switches nothing, "!" anywhere.
  const std::string mask = ">L<L<>L\\>L!";
  const unsigned r = kMaskReverse;
  EXPECT_EQ(MaskGetCurrentDirectives(mask, 1), r | kMaskUpper);
  EXPECT_EQ(MaskGetCurrentDirectives(mask, 3), r | kMaskLower);
  EXPECT_EQ(MaskGetCurrentDirectives(mask, 6), r);
  EXPECT_EQ(MaskGetCurrentDirectives(mask, 8), r | kMaskLiteral);
  EXPECT_EQ(MaskGetCurrentDirectives(mask, 9), r);

  const TMaskLayout layout(">L<L<>L#09aAcC");
  struct {
    int offset;
    char typed, expect;  // 0: refused
  } checks[] = {
      {0, 'a', 'A'}, {0, '\xE9', '\xC9'}, {0, '1', 0},      // ">L": letters, upper case
      {1, 'B', 'b'}, {2, 'x', 'x'}, {2, 'X', 'X'},          // "<L", then "<>": as typed
      {3, '+', '+'}, {3, ' ', ' '}, {3, 'x', 0},            // "#"
      {4, '7', '7'}, {4, ' ', 0}, {5, 'a', 0},              // "0", "9"
      {6, '\xDF', '\xDF'}, {7, '5', '5'}, {7, '-', 0},      // "a" (sharp s is a letter), "A"
      {8, '%', '%'}, {9, '\x01', 0},                        // "c", "C": no control characters
  };
  for (const auto& c : checks) {
    char ch = c.typed;
    EXPECT_EQ(layout.AcceptChar(c.offset, ch), c.expect != 0) << c.offset << " " << c.typed;
    if (c.expect != 0) {
      EXPECT_EQ(ch, c.expect) << c.offset;
    }
  }
  char lit = '-';
  EXPECT_FALSE(TMaskLayout("0-0").AcceptChar(1, lit));  // a literal takes no input
}

TEST(EditMask, FormattingRoutines) {
  const MaskLocale dots{'.', '-'};
  EXPECT_EQ(MaskIntlLiteralToChar(':', dots), '.');
  EXPECT_EQ(MaskIntlLiteralToChar('/', dots), '-');
  EXPECT_EQ(MaskIntlLiteralToChar('/'), '/');
  // Locale literals convert; an escaped one stays as written.
  EXPECT_EQ(MaskDoFormatText("00:00\\/00", "123456", '_', dots), "12.34/56");
  EXPECT_EQ(RemoveEditFormat("00:00\\/00", "12.3_/__", '_', dots), "123");
  // "!" right-aligns: blanks in front, the leftmost characters cut.
  EXPECT_EQ(MaskDoFormatText("!(999)", "12", '_'), "(_12)");
  EXPECT_EQ(MaskDoFormatText("!999", "12345", '_'), "345");
  EXPECT_EQ(MaskDoFormatText("999", "12345", '_'), "123");
  EXPECT_EQ(RemoveEditFormat("!(999)", "(__1)", '_'), "1");
  EXPECT_EQ(RemoveEditFormat("(999)", "(1_2)", '_'), "1 2");
  // A value with its literals, fitted field by field; a missing literal
  // ends the value, spaces at input positions become the blank.
  EXPECT_EQ(PadInputLiterals("(999)000-0000", "(55)1234-5", '*'), "(55*)123-5***");
  EXPECT_EQ(PadInputLiterals("!(999)000", "(1 )12345", '*'), "(*1*)345");
  EXPECT_EQ(PadInputLiterals("00-00", "1234", '_'), "12-__");
  EXPECT_EQ(PadSubField("999", "abcdef", 1, 5, 2, '_'), "bc");
  EXPECT_EQ(PadSubField("!999", "abcdef", 1, 5, 2, '_'), "de");
  EXPECT_EQ(PadSubField("!999", "abcdef", 1, 2, 3, '_'), "__b");
}

}  // namespace
