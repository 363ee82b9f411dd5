// A drop-down list of the 17 named colours, each drawn with a swatch of
// its colour; "White" is selected when it is made.
#pragma once
#include <windows.h>

#include "gui/win_names.h"

#include "controls/color_combo.h"
#include "gui/win32/std_controls.h"

class TColorCombo : public gui::ComboBox {
 public:
  explicit TColorCombo(gui::Component* owner = nullptr);
  // The selected item's colour (clWindow when none is selected).
  gui::Color ColorValue() { return ColorComboColor(ItemIndex()); }
};
