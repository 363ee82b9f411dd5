// Without a window system: a true-colour surface that shows every colour,
// and the layer's default font as the menu font; no popup menu windows.
#include "controls/menu_skin.h"

gui::Color MenuSkinNearestColor(const gui::Canvas&, gui::Color rgb) { return rgb; }

void MenuSkinSystemFont(gui::Font& f) {
  f.Assign(gui::Font());
  f.SetColor(gui::clMenuText);
}

std::unique_ptr<gui::Canvas> MenuSkinPopupFrame(const gui::Canvas&, gui::Size&) { return nullptr; }
