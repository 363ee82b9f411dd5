// An edit that shows a number by a number pattern ("#,###"): the text is
// shown by the pattern when the control loses the focus and whenever text
// is set, and iValue reads the digits of the text as a 64-bit number that
// stops at its maximum.
#pragma once
#include <windows.h>

#include "gui/win_names.h"

#include <cstdint>
#include <string>

#include "gui/win32/std_controls.h"

class TExtendedEdit : public gui::Edit {
 public:
  explicit TExtendedEdit(gui::Component* owner = nullptr);

  int64_t iValue();
  // The text becomes the value by the pattern (a blank pattern: the
  // decimal number).
  void SetiValue(int64_t v);
  const std::string& sMask() const { return mask_; }
  // The text is first shown by the pattern in force until now (when it is
  // not blank), then the new pattern is kept for the next reformatting.
  void SetsMask(const std::string& mask);

 protected:
  void WndProc(gui::Message& m) override;
  void FocusOut(uintptr_t other) override;

 private:
  bool Masked() const;
  std::string mask_;
  std::string setting_;  // the reformatted text handed on with WM_SETTEXT
};
