// Rounding and number formatting by pattern.
#pragma once
#include <cstdint>
#include <string>

namespace gui {

// Rounds to the nearest whole number, halves to the even neighbour
// (2.5 -> 2, 3.5 -> 4, -2.5 -> -2). Values beyond the 64-bit range are
// clamped to it; NaN gives 0.
int64_t Round(double v);

// Formats value by pattern: '0' a digit always shown, '#' a digit shown
// when significant, ',' anywhere in the integer part: group thousands
// (the locale's separator), '.' the decimal point (the locale's), the
// fraction rounded halves to even at the last place; other characters and
// "quoted" or 'quoted' text are copied; ';' separates the patterns for
// positive, negative and zero values. "#,###" formats 0 as "", "#,##0"
// as "0"; an empty pattern gives the plain shortest decimal form.
std::string FormatFloat(const std::string& pattern, double value);
// The same for a whole number, exact over the whole 64-bit range (a
// double keeps only 53 bits); an empty pattern gives the decimal form.
std::string FormatInteger(const std::string& pattern, int64_t value);

}  // namespace gui
