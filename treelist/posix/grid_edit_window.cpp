// The editors' window-system services without a window system: nothing
// to load, no queue to take a character from, no non-client area, and the
// separators of the default locale.
#include "treelist/grid_edit_window.h"

void InitGridRichEdit() {}
void FinalizeGridRichEdit() {}
bool GridRichEditLoaded() { return false; }
void GridEditBeep() {}
bool GridEditTakePendingChar(gui::Control&, char&) { return false; }
void GridEditFrameChanged(gui::Control&) {}
std::unique_ptr<gui::Canvas> GridEditWindowCanvas(gui::Control&) { return nullptr; }
void GridEditSendFont(gui::Control&) {}
void GridEditSetTextColor(gui::Control&, gui::Color) {}
void GridEditRegisterOleCallback(gui::Control&) {}
void GridEditWithShiftHeld(const std::function<void()>& f) { f(); }
MaskLocale GridEditMaskLocale() { return MaskLocale{}; }
