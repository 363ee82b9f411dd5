#include "controls/color_combo.h"

using namespace gui;

const TColorComboEntry kColorComboColors[kColorComboCount] = {
    {"Transparent", clWindow}, {"White", 0xFFFFFF}, {"Black", 0x000000},     {"Navy", 0x800000},
    {"Green", 0x008000},       {"Red", 0x0000FF},   {"Maroon", 0x000080},    {"Purple", 0x800080},
    {"Orange", 0x0080FF},      {"Yellow", 0x00FFFF}, {"Lime", 0x00FF00},     {"Teal", 0x808000},
    {"Aqua", 0xFFFF00},        {"Blue", 0xFF0000},  {"Fuchsia", 0xFF00FF},   {"Dark Gray", 0x808080},
    {"Gray", 0xC0C0C0}};

gui::Color ColorComboColor(int index) {
  return index >= 0 && index < kColorComboCount ? kColorComboColors[index].Color : clWindow;
}

void DrawColorComboItem(Canvas& c, const Rect& r, int index, bool disabled) {
  c.FillRect(r);
  const bool item = index >= 0 && index < kColorComboCount;
  if (item) {
    // The swatch leaves the prepared brush as it was for the name.
    CanvasSaver saved(c);
    const Rect swatch{r.Left + 3, r.Top + 3, r.Left + 17, r.Bottom - 3};
    c.Brush().SetColor(disabled ? clWindow : kColorComboColors[index].Color);
    c.FillRect(swatch);
    c.Brush().SetColor(disabled ? clWindow : clBlack);
    c.FrameRect(swatch);
  }
  if (disabled) c.Font().SetColor(clWindow);
  // The name as a plain item's, 20 pixels to the right (its background
  // is filled already).
  if (item) c.TextOut(r.Left + 20 + 2, r.Top, kColorComboColors[index].Name);
}
