// An edit for one number between a fixed prefix and suffix ("Speed " 6699
// " KB/s"): every change reformats the text, the number shown by Mask,
// and puts the caret after the number, before the suffix, so that typing
// goes on where it was. Digits of the prefix and suffix never join the
// number; a number too large for 32 bits stops at the largest.
#pragma once
#include <windows.h>

#include "gui/win_names.h"

#include <cstdint>
#include <string>

#include "controls/number_edit.h"
#include "gui/win32/std_controls.h"

class TSpecialMaskEdit : public gui::Edit {
 public:
  gui::ControlKind Kind() const override { return gui::ControlKind::MaskEdit; }
  explicit TSpecialMaskEdit(gui::Component* owner = nullptr);

  int32_t NumberValue();
  // The text shows the value (empty for 0).
  void SetNumberValue(int32_t v);
  // A new pattern, prefix or suffix shows the number again with it.
  const std::string& Mask() const { return affixes_.Mask; }
  void SetMask(const std::string& m);
  const std::string& Prefix() const { return affixes_.Prefix; }
  void SetPrefix(const std::string& p);
  const std::string& Suffix() const { return affixes_.Suffix; }
  void SetSuffix(const std::string& s);

 protected:
  void Command(unsigned code) override;

 private:
  // Shows text (unless shown already) with the caret at caret.
  void Show(const std::string& text, int caret);
  void ChangeAffixes(const TNumberAffixes& next);
  TNumberAffixes affixes_;
  bool reformatting_ = false;
};
