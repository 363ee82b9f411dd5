// What the numeric edits do to their text, without any window: the digits
// of a text read as a number that stops at a maximum instead of
// overflowing, a number shown by a number pattern ("#,###", "0", ...), and
// the reformatting of a text that carries a prefix and a suffix around its
// number. TExtendedEdit and TSpecialMaskEdit (controls/win32/) apply these
// rules to the system's edit.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// The characters '0' to '9' of s, in order, read as a decimal number; 0
// when there are none; max when the number is larger (never an overflow).
int64_t ClampedDigits(std::string_view s, int64_t max);

// value by a number pattern; a blank pattern gives the decimal number.
std::string NumberByMask(const std::string& mask, int64_t value);

// TExtendedEdit's text for a text typed or set: its digits (64-bit,
// clamped) shown by mask; a mask that is blank leaves the text as it is.
std::string ExtendedEditText(std::string_view text, const std::string& mask);

// A number between a prefix and a suffix, as TSpecialMaskEdit shows it.
struct TNumberAffixes {
  std::string Mask;    // number pattern of the number itself
  std::string Prefix;
  std::string Suffix;

  // The number of a text: a leading Prefix and a trailing Suffix (when
  // there) are taken off first, so that digits in them never count; the
  // digits left are read as a 32-bit number that stops at its maximum.
  int32_t ValueOf(std::string_view text) const;
  // The text that shows value: empty for 0, else Prefix, the value by
  // Mask and Suffix.
  std::string TextOf(int32_t value) const;
  // Where the caret goes in TextOf(value): after the number, before the
  // suffix (0 in an empty text).
  int CaretOf(int32_t value) const;
};

// One reformatting of an edit's text.
struct TNumberReformat {
  std::string Text;
  int Caret = 0;
  int32_t Value = 0;
};
TNumberReformat ReformatNumberText(const TNumberAffixes& affixes, std::string_view text);
