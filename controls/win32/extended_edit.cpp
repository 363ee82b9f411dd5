#include "controls/win32/extended_edit.h"

#include <limits>

#include "controls/number_edit.h"
#include "platform/text.h"

TExtendedEdit::TExtendedEdit(gui::Component* owner) : gui::Edit(owner) {}

bool TExtendedEdit::Masked() const { return !plat::Trim(mask_).empty(); }

int64_t TExtendedEdit::iValue() { return ClampedDigits(GetText(), std::numeric_limits<int64_t>::max()); }

void TExtendedEdit::SetiValue(int64_t v) { SetText(NumberByMask(mask_, v)); }

void TExtendedEdit::SetsMask(const std::string& mask) {
  if (Masked()) SetText(NumberByMask(mask_, iValue()));
  mask_ = mask;
}

void TExtendedEdit::WndProc(gui::Message& m) {
  // Text set from anywhere shows by the pattern: the window is handed the
  // reformatted text instead.
  if (m.Msg == WM_SETTEXT && m.LParam && Masked()) {
    setting_ = ExtendedEditText(reinterpret_cast<const char*>(m.LParam), mask_);
    m.LParam = reinterpret_cast<intptr_t>(setting_.c_str());
  }
  gui::Edit::WndProc(m);
}

void TExtendedEdit::FocusOut(uintptr_t other) {
  gui::Edit::FocusOut(other);
  if (!Masked() || !HandleAllocated()) return;
  const std::string text = GetText(), shown = ExtendedEditText(text, mask_);
  if (shown != text) SetText(shown);
}
