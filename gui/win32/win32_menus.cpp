#include "gui/win32/win32_menus.h"

#include <functional>
#include <set>

#include "gui/control.h"
#include "gui/graphics_backend.h"
#include "gui/image_list.h"
#include "gui/win32/gdi_canvas.h"

namespace gui {

namespace {

// Items of realised owner-drawn menus (their pointers travel as item data).
std::set<const MenuItem*>& LiveItems() {
  static std::set<const MenuItem*> items;
  return items;
}

void ForEachItem(MenuItem& root, const std::function<void(MenuItem&)>& fn) {
  for (int i = 0; i < root.Count(); ++i) {
    fn(*root.Items(i));
    ForEachItem(*root.Items(i), fn);
  }
}

std::string ItemText(const MenuItem& item) {
  std::string t = item.Caption();
  const std::string sc = ShortCutToText(item.ShortCut());
  if (!sc.empty()) t += "\t" + sc;
  return t;
}

void Clear(HMENU h) {
  while (GetMenuItemCount(h) > 0) {
    HMENU sub = GetSubMenu(h, 0);
    RemoveMenu(h, 0, MF_BYPOSITION);
    if (sub) DestroyMenu(sub);
  }
}

LRESULT CALLBACK PopupOwnerProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT r = 0;
  if ((msg == WM_MEASUREITEM || msg == WM_DRAWITEM)) {
    try {
      if (HandleMenuOwnerDraw(msg, lp, r)) return r;
    } catch (...) {
      ReportCurrentException(nullptr);
      return 0;
    }
  }
  return DefWindowProcA(h, msg, wp, lp);
}

// Redraws the menu bars that show h.
BOOL CALLBACK RedrawBar(HWND w, LPARAM h) {
  if (GetMenu(w) == reinterpret_cast<HMENU>(h)) DrawMenuBar(w);
  return TRUE;
}

BOOL CALLBACK DropBar(HWND w, LPARAM h) {
  if (GetMenu(w) == reinterpret_cast<HMENU>(h)) SetMenu(w, nullptr);
  return TRUE;
}

}  // namespace

Win32MenuBackend::~Win32MenuBackend() {
  for (auto& [menu, h] : menus_) DestroyMenu(h);
  for (auto& [menu, b] : backgrounds_)
    if (b.brush) DeleteObject(b.brush);
  if (popupOwner_) DestroyWindow(popupOwner_);
}

bool Win32MenuBackend::Knows(const MenuItem* item) const { return LiveItems().count(item) != 0; }

void Win32MenuBackend::Fill(HMENU h, Menu& menu, MenuItem& parent) {
  for (int i = 0; i < parent.Count(); ++i) {
    MenuItem& item = *parent.Items(i);
    if (!item.Visible()) continue;
    const std::string text = ItemText(item);
    MENUITEMINFOA mi{};
    mi.cbSize = sizeof mi;
    mi.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_DATA | MIIM_STRING;
    mi.fType = item.IsLine() ? MFT_SEPARATOR : MFT_STRING;
    if (item.RadioItem()) mi.fType |= MFT_RADIOCHECK;
    if (menu.RightToLeft()) mi.fType |= MFT_RIGHTORDER;
    // Separators too: an owner-drawn menu measures and draws every item.
    if (menu.OwnerDraw()) {
      mi.fType |= MFT_OWNERDRAW;
      LiveItems().insert(&item);
    }
    mi.fState = (item.Checked() ? MFS_CHECKED : 0) | (item.Enabled() ? 0 : MFS_GRAYED) |
                (item.Default() ? MFS_DEFAULT : 0);
    mi.wID = item.Command();
    mi.dwItemData = reinterpret_cast<ULONG_PTR>(&item);
    mi.dwTypeData = const_cast<char*>(text.c_str());
    if (item.Count() > 0) {
      HMENU sub = CreatePopupMenu();
      Fill(sub, menu, item);
      mi.fMask |= MIIM_SUBMENU;
      mi.hSubMenu = sub;
    }
    InsertMenuItemA(h, UINT(GetMenuItemCount(h)), TRUE, &mi);
  }
}

void Win32MenuBackend::SetBackground(HMENU h, Menu& menu) {
  if (dynamic_cast<PopupMenu*>(&menu)) return;
  const Color color = menu.BarColor();
  auto [it, added] = backgrounds_.try_emplace(&menu, Background{color, nullptr});
  if (!added && it->second.color == color) return;
  HBRUSH brush = color == clDefault ? nullptr : CreateSolidBrush(COLORREF(ColorToRGB(color)));
  MENUINFO mi{};
  mi.cbSize = sizeof mi;
  mi.fMask = MIM_BACKGROUND;
  mi.hbrBack = brush;
  SetMenuInfo(h, &mi);
  if (it->second.brush) DeleteObject(it->second.brush);
  it->second = {color, brush};
}

void Win32MenuBackend::Repaint(HMENU h, Menu& menu) {
  SetBackground(h, menu);
  EnumThreadWindows(GetCurrentThreadId(), &RedrawBar, reinterpret_cast<LPARAM>(h));
}

uintptr_t Win32MenuBackend::Realize(Menu& menu) {
  auto it = menus_.find(&menu);
  if (it != menus_.end()) return reinterpret_cast<uintptr_t>(it->second);
  HMENU h = dynamic_cast<PopupMenu*>(&menu) ? CreatePopupMenu() : CreateMenu();
  menus_[&menu] = h;
  Fill(h, menu, menu.Items());
  SetBackground(h, menu);
  return reinterpret_cast<uintptr_t>(h);
}

void Win32MenuBackend::Changed(Menu& menu, MenuItem*, bool) {
  auto it = menus_.find(&menu);
  if (it == menus_.end()) return;
  // Built again in the same menu handle, so that windows showing it keep it.
  ForEachItem(menu.Items(), [](MenuItem& i) { LiveItems().erase(&i); });
  Clear(it->second);
  Fill(it->second, menu, menu.Items());
  Repaint(it->second, menu);
}

void Win32MenuBackend::BarColorChanged(Menu& menu) {
  if (auto it = menus_.find(&menu); it != menus_.end()) Repaint(it->second, menu);
}

void Win32MenuBackend::Forget(Menu& menu) {
  auto it = menus_.find(&menu);
  if (it == menus_.end()) return;
  ForEachItem(menu.Items(), [](MenuItem& i) { LiveItems().erase(&i); });
  // A menu bar still shown by a window is taken off it first.
  EnumThreadWindows(GetCurrentThreadId(), &DropBar, reinterpret_cast<LPARAM>(it->second));
  DestroyMenu(it->second);
  menus_.erase(it);
  if (auto b = backgrounds_.find(&menu); b != backgrounds_.end()) {
    if (b->second.brush) DeleteObject(b->second.brush);
    backgrounds_.erase(b);
  }
}

MenuItem* Win32MenuBackend::TrackPopup(PopupMenu& popup, int x, int y) {
  HMENU h = reinterpret_cast<HMENU>(Realize(popup));
  if (!popupOwner_) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = &PopupOwnerProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "TarnPopupOwner";
    RegisterClassA(&wc);
    popupOwner_ = CreateWindowExA(WS_EX_TOOLWINDOW, wc.lpszClassName, "", WS_POPUP, 0, 0, 0, 0,
                                  nullptr, nullptr, wc.hInstance, nullptr);
  }
  const UINT cmd = UINT(TrackPopupMenu(h, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_RIGHTBUTTON, x, y,
                                       0, popupOwner_, nullptr));
  // The menu may be clicked away: the owner must see a message after it.
  PostMessageA(popupOwner_, WM_NULL, 0, 0);
  if (cmd == 0) return nullptr;
  MenuItem* item = popup.Items().FindCommand(cmd);
  return item == &popup.Items() ? nullptr : item;
}

bool HandleMenuOwnerDraw(UINT msg, LPARAM lp, LRESULT& result) {
  auto* backend = dynamic_cast<Win32MenuBackend*>(&Menus());
  if (msg == WM_MEASUREITEM) {
    auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
    auto* item = reinterpret_cast<MenuItem*>(mis->itemData);
    if (mis->CtlType != ODT_MENU || !backend || !backend->Knows(item)) return false;
    HDC screen = GetDC(nullptr);
    GdiCanvas canvas(screen, {1, 1}, "measure", [](HDC dc) { ReleaseDC(nullptr, dc); });
    const Size text = canvas.TextExtent(StripAccelerator(ItemText(*item)));
    // A drop-down item has room for a check mark or an icon; an item of a
    // menu bar only its text (the system spaces the bar's items itself).
    const bool barItem = item->Parent() && !item->Parent()->Parent() && dynamic_cast<MainMenu*>(item->GetMenu());
    int w = text.Width + (barItem ? 0 : 24), h = std::max(text.Height + 4, GetSystemMetrics(SM_CYMENU) - 1);
    if (item->IsLine()) w = 0, h = GetSystemMetrics(SM_CYMENU) / 2;
    if (item->OnMeasureItem) item->OnMeasureItem(item, canvas, w, h);
    mis->itemWidth = UINT(std::max(w, 0));
    mis->itemHeight = UINT(std::max(h, 0));
    result = TRUE;
    return true;
  }
  auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
  auto* item = reinterpret_cast<MenuItem*>(dis->itemData);
  if (dis->CtlType != ODT_MENU || !backend || !backend->Knows(item)) return false;
  GdiCanvas canvas(dis->hDC, {dis->rcItem.right, dis->rcItem.bottom}, "menu item");
  const Rect r{dis->rcItem.left, dis->rcItem.top, dis->rcItem.right, dis->rcItem.bottom};
  if (item->OnDrawItem) {
    item->OnDrawItem(item, canvas, r, dis->itemState);
  } else {
    // The plain look: the caption on the menu or highlight colour.
    const bool selected = (dis->itemState & ODS_SELECTED) != 0;
    canvas.Brush().SetColor(selected ? clHighlight : clMenu);
    canvas.FillRect(r);
    if (item->IsLine()) {
      // A separator: an etched line across the middle.
      Rect line{r.Left + 1, (r.Top + r.Bottom) / 2 - 1, r.Right - 1, (r.Top + r.Bottom) / 2 + 1};
      canvas.DrawEdge(line, EDGE_ETCHED, BF_TOP);
      result = TRUE;
      return true;
    }
    canvas.SetBkMode(TRANSPARENT);
    canvas.SetTextColor((dis->itemState & ODS_GRAYED) ? clGrayText
                        : selected                    ? clHighlightText
                                                      : clMenuText);
    Rect t = r.Inflate(-8, 0);
    canvas.DrawText(item->Caption(), t, DT_SINGLELINE | DT_VCENTER);
  }
  result = TRUE;
  return true;
}

}  // namespace gui
