// The colour combo's colours and item drawing, without any window: 17
// named colours ("Transparent" is the window colour, stored as such by
// the settings that keep a chosen colour), each item drawn with a swatch
// of its colour before its name.
#pragma once
#include <string>

#include "gui/canvas.h"
#include "gui/color.h"

struct TColorComboEntry {
  const char* Name;
  gui::Color Color;  // 0x00BBGGRR, or clWindow
};
constexpr int kColorComboCount = 17;
extern const TColorComboEntry kColorComboColors[kColorComboCount];
// The item selected when the combo is made: "White".
constexpr int kColorComboDefault = 1;

// The colour of item index; no item (-1) or one out of range: clWindow,
// the same as "Transparent".
gui::Color ColorComboColor(int index);

// Draws item index in r with the canvas's brush and font as the combo
// prepared them (highlight or the control's colour): r filled, the swatch
// (r.Left + 3, r.Top + 3)-(r.Left + 17, r.Bottom - 3) filled with the
// colour and framed black, the name 22 pixels in. A disabled item's
// swatch, frame and text are in the window colour.
void DrawColorComboItem(gui::Canvas& c, const gui::Rect& r, int index, bool disabled);
