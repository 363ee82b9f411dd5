// The numeric edits' text rules: digits read without overflow, numbers by
// pattern, and a number between a prefix and a suffix kept in shape while
// it is typed.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "controls/number_edit.h"
#include "platform/system.h"

namespace {

// The text with the locale's thousands separator written as ','.
std::string Local(std::string s) {
  for (char& c : s)
    if (c == plat::ThousandsSeparator()) c = ',';
  return s;
}

// An edit as the user drives it: a key goes in at the caret (Backspace
// takes the character before it), then the edit's change handling
// reformats the text; the caret moves only when the text was changed.
struct TypedEdit {
  explicit TypedEdit(TNumberAffixes a) : affixes(std::move(a)) {}
  TNumberAffixes affixes;
  std::string text;
  int caret = 0;
  int32_t value = 0;

  void Type(const std::string& keys) {
    for (char k : keys) {
      if (k != '\b')
        text.insert(size_t(caret++), 1, k);
      else if (caret > 0)
        text.erase(size_t(--caret), 1);
      const TNumberReformat r = ReformatNumberText(affixes, text);
      if (r.Text != text) text = r.Text, caret = r.Caret;
      value = r.Value;
    }
  }
};

TEST(ExtendedEditText, FormatsTheDigitsByTheMaskAndNeverOverflows) {
  EXPECT_EQ(Local(ExtendedEditText("12345", "#,###")), "12,345");
  EXPECT_EQ(Local(ExtendedEditText("-1,2a3", "#,###")), "123");
  EXPECT_EQ(ExtendedEditText("no digits", "#,###"), "") << "0 by \"#,###\" is empty";
  EXPECT_EQ(ExtendedEditText("12a3", " "), "12a3") << "a blank mask leaves the text";
  EXPECT_EQ(Local(ExtendedEditText(std::string(25, '9'), "#,###")), "9,223,372,036,854,775,807");
  EXPECT_EQ(ClampedDigits("x2147483647y", std::numeric_limits<int32_t>::max()), 2147483647);
  EXPECT_EQ(ClampedDigits("2147483648", std::numeric_limits<int32_t>::max()), 2147483647);
}

TEST(NumberAffixes, TypingKeepsTheCaretAfterTheNumber) {
  TypedEdit e{{"0", "Speed ", ""}};
  e.Type("6");
  EXPECT_EQ(e.text, "Speed 6");
  EXPECT_EQ(e.caret, 7);
  e.Type("699");
  EXPECT_EQ(e.text, "Speed 6699") << "a caret left at 0 would give 9966";
  EXPECT_EQ(e.value, 6699);
  // Clearing the number clears the text.
  e.Type("\b\b\b\b");
  EXPECT_EQ(e.text, "");
  EXPECT_EQ(e.value, 0);

  // Thousands, and a suffix the caret stays in front of.
  TypedEdit k{{"#,###", "", " KB/s"}};
  k.Type("1234567");
  EXPECT_EQ(Local(k.text), "1,234,567 KB/s");
  EXPECT_EQ(k.caret, 9);
  EXPECT_EQ(k.value, 1234567);
}

TEST(NumberAffixes, DigitsOfThePrefixAndSuffixNeverJoinTheNumber) {
  TypedEdit e{{"0", "Port 2: ", " (x3)"}};
  e.Type("5");
  EXPECT_EQ(e.text, "Port 2: 5 (x3)");
  e.Type("0");
  EXPECT_EQ(e.text, "Port 2: 50 (x3)");
  EXPECT_EQ(e.value, 50);
  EXPECT_EQ(e.affixes.ValueOf("Port 2: "), 0);
}

}  // namespace
