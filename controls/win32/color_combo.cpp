#include "controls/win32/color_combo.h"

TColorCombo::TColorCombo(gui::Component* owner) : gui::ComboBox(owner, true) {
  for (const TColorComboEntry& e : kColorComboColors) AddItem(e.Name);
  SetItemIndex(kColorComboDefault);
  OnDrawItem = [](gui::Control*, int index, gui::Canvas& c, const gui::Rect& r, unsigned state) {
    DrawColorComboItem(c, r, index, (state & ODS_DISABLED) != 0);
  };
}
