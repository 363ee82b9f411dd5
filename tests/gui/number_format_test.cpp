#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "gui/number_format.h"
#include "platform/system.h"

namespace {

using gui::Round;

// The formatted text with the locale's separators written as ',' and '.'.
std::string Local(std::string s) {
  const char t = plat::ThousandsSeparator(), d = plat::DecimalSeparator();
  for (char& c : s) c = c == t ? ',' : c == d ? '.' : c;
  return s;
}

std::string FormatFloat(const std::string& pattern, double v) { return Local(gui::FormatFloat(pattern, v)); }

TEST(Round, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(Round(0.5), 0);
  EXPECT_EQ(Round(1.5), 2);
  EXPECT_EQ(Round(2.5), 2);
  EXPECT_EQ(Round(-2.5), -2);
  EXPECT_EQ(Round(-3.5), -4);
  EXPECT_EQ(Round(2.4999999), 2);
  EXPECT_EQ(Round(-0.5000001), -1);
  EXPECT_EQ(Round((21 - 16) / 2.0), 2);
  EXPECT_EQ(Round(std::nan("")), 0);
  EXPECT_EQ(Round(1e300), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(Round(-1e300), std::numeric_limits<int64_t>::min());
}

TEST(FormatFloat, Patterns) {
  EXPECT_EQ(FormatFloat("#,###", 0), "");
  EXPECT_EQ(FormatFloat("#,###", 1234567), "1,234,567");
  EXPECT_EQ(FormatFloat("#,###", 999), "999");
  EXPECT_EQ(FormatFloat("#,##0", 0), "0");
  EXPECT_EQ(FormatFloat("#,##0", -1234.5), "-1,234");  // .5 to the even 1234
  EXPECT_EQ(FormatFloat("#,##0", 1235.5), "1,236");
  EXPECT_EQ(FormatFloat("0000000000", 42), "0000000042");
  EXPECT_EQ(FormatFloat("0.00", 3.14159), "3.14");
  EXPECT_EQ(FormatFloat("0.00", 0.125), "0.12");
  EXPECT_EQ(FormatFloat("0.##", 2.5), "2.5");
  EXPECT_EQ(FormatFloat("#.##", 0.5), ".5");
  EXPECT_EQ(FormatFloat("0.0#", 1), "1.0");
  EXPECT_EQ(FormatFloat("#,##0.00", 1234567.891), "1,234,567.89");
  EXPECT_EQ(FormatFloat("#,##0 \"KB\"", 2048), "2,048 KB");
  EXPECT_EQ(FormatFloat("0%", 7), "7%");
  EXPECT_EQ(FormatFloat("0;(0);'zero'", -5), "(5)");
  EXPECT_EQ(FormatFloat("0;(0);'zero'", 0), "zero");
  EXPECT_EQ(FormatFloat("0", -0.4), "0");  // no sign on what rounds to zero
  EXPECT_EQ(FormatFloat("", 1.5), "1.5");
  EXPECT_EQ(FormatFloat("#,##0", 1e20), "100,000,000,000,000,000,000");
}

TEST(FormatInteger, IsExactOverTheWhole64BitRange) {
  auto fmt = [](const std::string& p, int64_t v) { return Local(gui::FormatInteger(p, v)); };
  EXPECT_EQ(fmt("#,###", 9223372036854775807), "9,223,372,036,854,775,807");
  EXPECT_EQ(fmt("0", 9007199254740993), "9007199254740993");  // 2^53 + 1: no double holds it
  EXPECT_EQ(fmt("#,##0", std::numeric_limits<int64_t>::min()), "-9,223,372,036,854,775,808");
  EXPECT_EQ(fmt("", -42), "-42");
  // The same sections and literals as the floating form.
  EXPECT_EQ(fmt("#,###", 0), "");
  EXPECT_EQ(fmt("0.00 \"KB\"", 12), "12.00 KB");
  EXPECT_EQ(fmt("0;(0);'zero'", -5), "(5)");
  EXPECT_EQ(fmt("0;(0);'zero'", 0), "zero");
}

}  // namespace
