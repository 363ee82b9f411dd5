#include "controls/win32/special_mask_edit.h"

#include <limits>

TSpecialMaskEdit::TSpecialMaskEdit(gui::Component* owner) : gui::Edit(owner) {}

int32_t TSpecialMaskEdit::NumberValue() { return affixes_.ValueOf(GetText()); }

void TSpecialMaskEdit::SetNumberValue(int32_t v) {
  // Only digits are shown: a negative value loses its sign.
  const auto value = int32_t(ClampedDigits(std::to_string(v), std::numeric_limits<int32_t>::max()));
  Show(affixes_.TextOf(value), affixes_.CaretOf(value));
}

void TSpecialMaskEdit::ChangeAffixes(const TNumberAffixes& next) {
  const int32_t value = NumberValue();
  affixes_ = next;
  Show(affixes_.TextOf(value), affixes_.CaretOf(value));
}

void TSpecialMaskEdit::SetMask(const std::string& m) {
  TNumberAffixes next = affixes_;
  next.Mask = m;
  ChangeAffixes(next);
}

void TSpecialMaskEdit::SetPrefix(const std::string& p) {
  TNumberAffixes next = affixes_;
  next.Prefix = p;
  ChangeAffixes(next);
}

void TSpecialMaskEdit::SetSuffix(const std::string& s) {
  TNumberAffixes next = affixes_;
  next.Suffix = s;
  ChangeAffixes(next);
}

void TSpecialMaskEdit::Show(const std::string& text, int caret) {
  // The text is set only when it differs: setting it is itself a change,
  // which would reformat again.
  if (GetText() == text) return;
  reformatting_ = true;
  try {
    SetText(text);
  } catch (...) {
    reformatting_ = false;
    throw;
  }
  reformatting_ = false;
  if (HandleAllocated()) SetSel(caret, caret);
}

void TSpecialMaskEdit::Command(unsigned code) {
  if (code != EN_CHANGE) {
    gui::Edit::Command(code);
    return;
  }
  // The change made by reformatting: the typed change's own handling
  // reports it, once, when the text is in shape.
  if (reformatting_) {
    TextFromWindow(Peer()->Text());
    return;
  }
  const TNumberReformat r = ReformatNumberText(affixes_, Peer()->Text());
  Show(r.Text, r.Caret);
  gui::Edit::Command(code);
}
