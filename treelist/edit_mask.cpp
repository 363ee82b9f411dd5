#include "treelist/edit_mask.h"

#include <algorithm>

#include "platform/text.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Windows-1252 letters: every byte with a case partner, and the caseless
// ones (f with hook, the two ordinal indicators, micro, sharp s).
bool IsLetter(char c) {
  if (plat::FoldChar(c) != plat::LowerChar(c)) return true;
  switch (static_cast<unsigned char>(c)) {
    case 0x83: case 0xAA: case 0xB5: case 0xBA: case 0xDF: return true;
    default: return false;
  }
}

bool IsTextType(MaskCharType t) {
  return t == MaskCharType::Literal || t == MaskCharType::LocaleLiteral ||
         t == MaskCharType::Input || t == MaskCharType::OptionalInput;
}

MaskCharType PlainType(char c) {
  switch (c) {
    case ':': case '/': return MaskCharType::LocaleLiteral;
    case '!': case '<': case '>': case '\\': return MaskCharType::Directive;
    case '#': case '9': case 'a': case 'c': case 'l': return MaskCharType::OptionalInput;
    case '0': case 'A': case 'C': case 'L': return MaskCharType::Input;
    default: return MaskCharType::Literal;
  }
}

std::string PadField(std::string_view sub, int length, char blank, bool reverse) {
  const size_t n = static_cast<size_t>(std::max(length, 0));
  std::string r(sub);
  if (r.size() < n) {
    r.insert(reverse ? r.begin() : r.end(), n - r.size(), blank);
  } else if (r.size() > n) {
    r = reverse ? r.substr(r.size() - n) : r.substr(0, n);
  }
  return r;
}

}  // namespace

// ------------------------------------------------------------------ layout

TMaskLayout::TMaskLayout(std::string_view mask, const MaskLocale& locale)
    : mask_(mask), locale_(locale) {
  const int n = static_cast<int>(mask_.size());
  types_.resize(mask_.size());
  caseBefore_.resize(mask_.size() + 1);
  unsigned caseState = 0;
  bool trail = false;
  for (int i = 0; i < n; ++i) {
    const char c = mask_[size_t(i)];
    const MaskCharType prev = i > 0 ? types_[size_t(i - 1)] : MaskCharType::None;
    caseBefore_[size_t(i)] = caseState;
    MaskCharType t;
    if (trail) {
      t = MaskCharType::Literal;
      trail = false;
    } else {
      if (prev == MaskCharType::Directive && mask_[size_t(i - 1)] == '\\')
        t = MaskCharType::Literal;
      else if (c == ';' && i >= n - 4)
        t = MaskCharType::FieldSeparator;
      else if (prev == MaskCharType::FieldSeparator)
        t = MaskCharType::Field;
      else
        t = PlainType(c);
      trail = locale_.IsLead(c) && i + 1 < n;
    }
    types_[size_t(i)] = t;
    if (t == MaskCharType::Directive) {
      if (c == '!') {
        reverse_ = true;
      } else if (c == '>') {
        // "<>" turns case conversion off altogether.
        const bool afterLower = prev == MaskCharType::Directive && mask_[size_t(i - 1)] == '<';
        caseState = afterLower ? 0u : unsigned{kMaskUpper};
      } else if (c == '<') {
        caseState = kMaskLower;
      }
    }
    if (IsTextType(t)) textToMask_.push_back(i);
  }
  caseBefore_[mask_.size()] = caseState;

  if (n >= 4) {
    int first = -1, count = 0;
    for (int i = n - 4; i < n; ++i) {
      if (types_[size_t(i)] != MaskCharType::FieldSeparator) continue;
      ++count;
      if (first < 0) first = i;
    }
    if ((count == 1 || count == 2) && first != n - 1 && mask_[size_t(first + 1)] == '0')
      save_ = false;
    if (types_[size_t(n - 2)] == MaskCharType::FieldSeparator &&
        (types_[size_t(n - 3)] == MaskCharType::FieldSeparator ||
         types_[size_t(n - 4)] == MaskCharType::FieldSeparator))
      blank_ = mask_[size_t(n - 1)];
  }
}

MaskCharType TMaskLayout::TypeAt(int maskOffset) const {
  if (maskOffset < 0 || maskOffset >= static_cast<int>(types_.size())) return MaskCharType::None;
  return types_[size_t(maskOffset)];
}

unsigned TMaskLayout::DirectivesAt(int maskOffset) const {
  const int m = std::clamp(maskOffset, 0, static_cast<int>(mask_.size()));
  unsigned d = caseBefore_[size_t(m)];
  if (reverse_) d |= kMaskReverse;
  if (TypeAt(maskOffset) == MaskCharType::Literal) d |= kMaskLiteral;
  return d;
}

int TMaskLayout::TextOffsetOf(int maskOffset) const {
  return static_cast<int>(std::lower_bound(textToMask_.begin(), textToMask_.end(), maskOffset) -
                          textToMask_.begin());
}

int TMaskLayout::MaskOffsetOf(int textOffset) const {
  return InRange(textOffset) ? textToMask_[size_t(textOffset)] : -1;
}

bool TMaskLayout::IsLiteral(int t) const {
  const MaskCharType k = TypeAt(MaskOffsetOf(t));
  return k == MaskCharType::Literal || k == MaskCharType::LocaleLiteral;
}

bool TMaskLayout::IsInput(int t) const {
  const MaskCharType k = TypeAt(MaskOffsetOf(t));
  return k == MaskCharType::Input || k == MaskCharType::OptionalInput;
}

bool TMaskLayout::IsRequired(int t) const { return TypeAt(MaskOffsetOf(t)) == MaskCharType::Input; }

char TMaskLayout::LiteralAt(int t) const {
  if (!InRange(t)) return '\0';
  const char c = mask_[size_t(textToMask_[size_t(t)])];
  return TypeAt(MaskOffsetOf(t)) == MaskCharType::LocaleLiteral ? MaskIntlLiteralToChar(c, locale_) : c;
}

char TMaskLayout::ClassAt(int t) const { return InRange(t) ? mask_[size_t(textToMask_[size_t(t)])] : '\0'; }

int TMaskLayout::NextInput(int t) const {
  for (t = std::max(t, 0); t < TextLength(); ++t)
    if (IsInput(t)) return t;
  return TextLength();
}

int TMaskLayout::PrevInput(int t) const {
  for (t = std::min(t, TextLength()) - 1; t >= 0; --t)
    if (IsInput(t)) return t;
  return -1;
}

int TMaskLayout::NextLiteral(int t) const {
  for (t = std::max(t + 1, 0); t < TextLength(); ++t)
    if (IsLiteral(t)) return t;
  return -1;
}

bool TMaskLayout::AcceptChar(int t, char& ch) const {
  if (!IsInput(t) || static_cast<unsigned char>(ch) < 32 || locale_.IsLead(ch)) return false;
  bool ok;
  switch (ClassAt(t)) {
    case '0': case '9': ok = IsDigit(ch); break;
    case '#': ok = IsDigit(ch) || ch == '+' || ch == '-' || ch == ' '; break;
    case 'L': case 'l': ok = IsLetter(ch); break;
    case 'A': case 'a': ok = IsLetter(ch) || IsDigit(ch); break;
    default: ok = true; break;  // "C", "c"
  }
  if (!ok) return false;
  const unsigned caseState = caseBefore_[size_t(textToMask_[size_t(t)])];
  if (caseState & kMaskUpper) ch = plat::FoldChar(ch);
  if (caseState & kMaskLower) ch = plat::LowerChar(ch);
  return true;
}

bool TMaskLayout::AcceptPair(int t) const {
  auto anyChar = [this](int u) {
    return IsInput(u) && (ClassAt(u) == 'C' || ClassAt(u) == 'c');
  };
  return anyChar(t) && anyChar(t + 1);
}

// ------------------------------------------------------------------ routines

MaskCharType MaskGetCharType(std::string_view mask, int maskOffset, const MaskLocale& locale) {
  return TMaskLayout(mask, locale).TypeAt(maskOffset);
}

unsigned MaskGetCurrentDirectives(std::string_view mask, int maskOffset, const MaskLocale& locale) {
  return TMaskLayout(mask, locale).DirectivesAt(maskOffset);
}

char MaskIntlLiteralToChar(char c, const MaskLocale& locale) {
  if (c == ':') return locale.timeSeparator;
  if (c == '/') return locale.dateSeparator;
  return c;
}

bool MaskGetMaskSave(std::string_view mask, const MaskLocale& locale) {
  return TMaskLayout(mask, locale).Save();
}

char MaskGetMaskBlank(std::string_view mask, const MaskLocale& locale) {
  return TMaskLayout(mask, locale).Blank();
}

int MaskOffsetToOffset(std::string_view mask, int maskOffset, const MaskLocale& locale) {
  return TMaskLayout(mask, locale).TextOffsetOf(maskOffset);
}

int OffsetToMaskOffset(std::string_view mask, int offset, const MaskLocale& locale) {
  return TMaskLayout(mask, locale).MaskOffsetOf(offset);
}

bool IsLiteralChar(std::string_view mask, int offset, const MaskLocale& locale) {
  return TMaskLayout(mask, locale).IsLiteral(offset);
}

std::string PadSubField(std::string_view mask, std::string_view value, int start, int stop,
                        int length, char blank) {
  const int size = static_cast<int>(value.size());
  start = std::clamp(start, 0, size);
  stop = std::clamp(stop, start, size);
  return PadField(value.substr(size_t(start), size_t(stop - start)), length, blank,
                  TMaskLayout(mask).Reverse());
}

std::string PadInputLiterals(const TMaskLayout& layout, std::string_view value, char blank) {
  std::string r;
  size_t pos = 0;
  int fieldLength = 0;
  auto takeField = [&](size_t stop) {
    r += PadField(value.substr(pos, stop - pos), fieldLength, blank, layout.Reverse());
    fieldLength = 0;
  };
  for (int t = 0; t < layout.TextLength(); ++t) {
    if (!layout.IsLiteral(t)) {
      ++fieldLength;
      continue;
    }
    const char literal = layout.LiteralAt(t);
    const size_t found = std::min(value.find(literal, pos), value.size());
    takeField(found);
    r += literal;
    pos = std::min(found + 1, value.size());
  }
  takeField(value.size());
  for (int t = 0; t < layout.TextLength(); ++t)
    if (layout.IsInput(t) && r[size_t(t)] == ' ') r[size_t(t)] = blank;
  return r;
}

std::string MaskDoFormatText(const TMaskLayout& layout, std::string_view value, char blank) {
  const int n = layout.TextLength();
  std::string r(value);
  if (!layout.Reverse()) {
    for (int t = 0; t < n; ++t) {
      if (layout.IsLiteral(t))
        r.insert(size_t(t), 1, layout.LiteralAt(t));
      else if (size_t(t) >= r.size())
        r.push_back(blank);
    }
    r.resize(size_t(n));
  } else {
    // From the end backwards: k characters of the text stand behind t.
    for (int k = 0; k < n; ++k) {
      const int t = n - 1 - k;
      if (layout.IsLiteral(t))
        r.insert(r.size() - size_t(k), 1, layout.LiteralAt(t));
      else if (size_t(k) >= r.size())
        r.insert(r.begin(), blank);
    }
    r.erase(0, r.size() - size_t(n));
  }
  return r;
}

std::string RemoveEditFormat(const TMaskLayout& layout, std::string_view editText, char blank) {
  const int n = std::min(layout.TextLength(), static_cast<int>(editText.size()));
  std::string r;
  for (int t = 0; t < n; ++t)
    if (!layout.IsLiteral(t)) r += editText[size_t(t)];
  if (layout.Reverse())
    r.erase(0, std::min(r.find_first_not_of(blank), r.size()));
  else
    r.erase(r.find_last_not_of(blank) + 1);
  if (blank != ' ') std::replace(r.begin(), r.end(), blank, ' ');
  return r;
}

std::string PadInputLiterals(std::string_view mask, std::string_view value, char blank,
                             const MaskLocale& locale) {
  return PadInputLiterals(TMaskLayout(mask, locale), value, blank);
}

std::string MaskDoFormatText(std::string_view mask, std::string_view value, char blank,
                             const MaskLocale& locale) {
  return MaskDoFormatText(TMaskLayout(mask, locale), value, blank);
}

std::string RemoveEditFormat(std::string_view mask, std::string_view editText, char blank,
                             const MaskLocale& locale) {
  return RemoveEditFormat(TMaskLayout(mask, locale), editText, blank);
}

bool MaskValidateText(const TMaskLayout& layout, std::string_view text, char blank,
                      bool ignoreBlank, int& pos) {
  for (int t = 0; t < layout.TextLength(); ++t) {
    if (!layout.IsRequired(t)) continue;
    const char c = size_t(t) < text.size() ? text[size_t(t)] : blank;
    const bool fails = c == blank ? !ignoreBlank : (c == ' ' && layout.ClassAt(t) != 'C');
    if (fails) {
      pos = t;
      return false;
    }
  }
  return true;
}
