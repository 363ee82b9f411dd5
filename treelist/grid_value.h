// The value of a grid cell as sorting sees it: nothing, a whole number, a
// floating-point number, a date (days since 30 December 1899, the time of
// day as the fraction) or a text.
//
// Values of any two kinds compare in one fixed total order, so a sort
// never fails halfway: nothing first, then numbers and dates together by
// their numeric value (a whole number against a floating-point one
// exactly, not through rounding; NaN before every other number), then
// texts.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

class TGridValue {
 public:
  enum Kind : uint8_t { Null, Integer, Float, Date, Text };

  TGridValue() = default;
  static TGridValue FromInteger(int64_t v);
  static TGridValue FromFloat(double v);
  static TGridValue FromDate(double days);
  static TGridValue FromText(std::string text);

  Kind GetKind() const { return kind_; }
  bool IsNull() const { return kind_ == Null; }
  bool IsNumeric() const { return kind_ == Integer || kind_ == Float || kind_ == Date; }
  bool IsText() const { return kind_ == Text; }
  int64_t AsInteger() const { return int_; }
  double AsFloat() const { return float_; }
  const std::string& AsText() const { return text_; }
  // The value as text ("" for nothing; numbers in the C locale).
  std::string ToString() const;

 private:
  Kind kind_ = Null;
  int64_t int_ = 0;
  double float_ = 0;
  std::string text_;
};

// How two texts compare: negative, zero or positive.
using TGridTextCompare = int (*)(std::string_view a, std::string_view b);

// Byte order (unsigned), shorter first on a common prefix.
int CompareTextBytes(std::string_view a, std::string_view b);

// Three-way comparison in the order above; texts by textCompare.
int CompareGridValues(const TGridValue& a, const TGridValue& b,
                      TGridTextCompare textCompare = CompareTextBytes);
