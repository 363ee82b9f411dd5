#include "controls/number_edit.h"

#include <limits>

#include "gui/number_format.h"
#include "platform/text.h"

int64_t ClampedDigits(std::string_view s, int64_t max) {
  int64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') continue;
    const int d = c - '0';
    if (v > (max - d) / 10) return max;
    v = v * 10 + d;
  }
  return v;
}

std::string NumberByMask(const std::string& mask, int64_t value) {
  return gui::FormatInteger(plat::Trim(mask).empty() ? "" : mask, value);
}

std::string ExtendedEditText(std::string_view text, const std::string& mask) {
  if (plat::Trim(mask).empty()) return std::string(text);
  return NumberByMask(mask, ClampedDigits(text, std::numeric_limits<int64_t>::max()));
}

int32_t TNumberAffixes::ValueOf(std::string_view text) const {
  if (!Prefix.empty() && text.substr(0, Prefix.size()) == Prefix) text.remove_prefix(Prefix.size());
  if (!Suffix.empty() && text.size() >= Suffix.size() &&
      text.substr(text.size() - Suffix.size()) == Suffix)
    text.remove_suffix(Suffix.size());
  return int32_t(ClampedDigits(text, std::numeric_limits<int32_t>::max()));
}

std::string TNumberAffixes::TextOf(int32_t value) const {
  if (value == 0) return "";
  return Prefix + NumberByMask(Mask, value) + Suffix;
}

int TNumberAffixes::CaretOf(int32_t value) const {
  const std::string t = TextOf(value);
  return t.empty() ? 0 : int(t.size() - Suffix.size());
}

TNumberReformat ReformatNumberText(const TNumberAffixes& affixes, std::string_view text) {
  TNumberReformat r;
  r.Value = affixes.ValueOf(text);
  r.Text = affixes.TextOf(r.Value);
  r.Caret = affixes.CaretOf(r.Value);
  return r;
}
