// Menus realised as the window system's menus: a main menu becomes a menu
// bar, a popup menu a popup shown by TrackPopupMenu. Items carry their
// command ids; owner-drawn items carry the item itself, so that any window
// receiving their measure and draw messages can hand them to the items'
// hooks with a canvas.
#pragma once
#include <windows.h>

#include "gui/win_names.h"

#include <map>

#include "gui/menu.h"

namespace gui {

class Win32MenuBackend : public MenuBackend {
 public:
  ~Win32MenuBackend() override;
  MenuItem* TrackPopup(PopupMenu& popup, int x, int y) override;
  uintptr_t Realize(Menu& menu) override;
  void Changed(Menu& menu, MenuItem* item, bool structure) override;
  // The bar is repainted in its new colour; its items stay as they are.
  void BarColorChanged(Menu& menu) override;
  void Forget(Menu& menu) override;
  // Whether item is an item of a realised menu.
  bool Knows(const MenuItem* item) const;

 private:
  void Fill(HMENU h, Menu& menu, MenuItem& parent);
  // Gives the menu handle the menu's bar colour (its own brush, or none);
  // the brush stays while the colour does.
  void SetBackground(HMENU h, Menu& menu);
  // The bar colour set again and the bars showing h redrawn.
  void Repaint(HMENU h, Menu& menu);
  struct Background {
    Color color;
    HBRUSH brush;  // nullptr: the system's
  };
  std::map<Menu*, HMENU> menus_;
  std::map<Menu*, Background> backgrounds_;
  HWND popupOwner_ = nullptr;
};

// WM_MEASUREITEM / WM_DRAWITEM of an owner-drawn menu item: runs the
// item's hook (or draws its caption) and answers true.
bool HandleMenuOwnerDraw(UINT msg, LPARAM lp, LRESULT& result);

}  // namespace gui
