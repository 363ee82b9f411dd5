// What a user would see wrong in a window, found without looking: a control
// that sticks out of its parent's client area or lies over a sibling, and a
// caption that does not fit its label, button or box as the window lays it
// out (with the test's fixed text measurer, as the product lays it out with
// its fonts). Only what is shown counts: hidden controls and whatever is
// inside them are passed over.
#pragma once
#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "gui/control.h"
#include "gui/services.h"
#include "gui/text_measurer.h"
#include "gui/win32/std_controls.h"

namespace testapp {

// The control's window rectangle in its parent's client coordinates.
inline gui::Rect PlacedRect(gui::Control* c) {
  if (!c->HandleAllocated() || !c->Parent() || !c->Parent()->HandleAllocated()) return c->BoundsRect();
  RECT r;
  GetWindowRect(reinterpret_cast<HWND>(c->Handle()), &r);
  MapWindowPoints(nullptr, reinterpret_cast<HWND>(c->Parent()->Handle()), reinterpret_cast<POINT*>(&r), 2);
  return {int(r.left), int(r.top), int(r.right), int(r.bottom)};
}

inline std::string Named(gui::Control* c) {
  std::string name = typeid(*c).name();
  if (!c->Caption().empty()) name += " \"" + c->Caption() + "\"";
  return name;
}

// The size a caption needs: wrapped at width (labels), or on one line.
inline gui::Rect Needed(gui::Control* c, int width, bool wrap, bool prefix) {
  const unsigned flags = DT_CALCRECT | (wrap ? DT_WORDBREAK : DT_SINGLELINE) |
                         (prefix ? 0u : unsigned(DT_NOPREFIX));
  return gui::LayoutText(gui::Service<gui::TextMeasurer>::Get(), c->Font(), c->Caption(),
                         gui::Rect{0, 0, width, 1 << 20}, flags)
      .Bounds;
}

// A list's columns: side by side within the list (a vertical scroll bar
// beside them), each header's text whole.
inline void ListFaults(gui::Control* list, const std::string& where, std::vector<std::string>& faults) {
  const HWND h = reinterpret_cast<HWND>(list->Handle());
  const HWND header = reinterpret_cast<HWND>(SendMessageA(h, LVM_GETHEADER, 0, 0));
  const int n = int(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
  int total = 0;
  for (int i = 0; i < n; ++i) {
    char text[256] = {};
    LVCOLUMNA col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH;
    col.pszText = text;
    col.cchTextMax = sizeof text;
    SendMessageA(h, LVM_GETCOLUMNA, WPARAM(i), reinterpret_cast<LPARAM>(&col));
    total += col.cx;
    const int need = gui::Service<gui::TextMeasurer>::Get().TextExtent(list->Font(), text).Width + 12;
    if (col.cx < need) faults.push_back(where + ": the header \"" + std::string(text) + "\" is cut");
  }
  RECT client;
  GetClientRect(h, &client);
  const bool scrollBar = GetWindowLongA(h, GWL_STYLE) & WS_VSCROLL;
  if (total > client.right - (scrollBar ? 0 : GetSystemMetrics(SM_CXVSCROLL)))
    faults.push_back(where + ": the columns are wider than the list");
}

// The faults of the shown controls below root.
inline void CollectLayoutFaults(gui::Control* root, std::vector<std::string>& faults) {
  const gui::Rect area = root->ClientRect();
  std::vector<gui::Control*> shown;
  for (int i = 0; i < root->ControlCount(); ++i)
    if (root->Controls(i)->Visible()) shown.push_back(root->Controls(i));
  for (size_t i = 0; i < shown.size(); ++i) {
    gui::Control* c = shown[i];
    const gui::Rect r = PlacedRect(c);
    const std::string where = Named(c) + " in " + Named(root);
    if (r.Left < area.Left || r.Top < area.Top || r.Right > area.Right || r.Bottom > area.Bottom)
      faults.push_back(where + " sticks out of its parent");
    for (size_t j = 0; j < i; ++j)
      if (r.Intersects(PlacedRect(shown[j]))) faults.push_back(where + " lies over " + Named(shown[j]));
    if (!c->Caption().empty()) {
      const int w = r.Width(), h = r.Height();
      if (dynamic_cast<gui::Label*>(c)) {
        // A label that cuts its text with an ellipsis needs one line.
        const bool cuts = GetWindowLongA(reinterpret_cast<HWND>(c->Handle()), GWL_STYLE) & SS_ELLIPSISMASK;
        const gui::Rect need = Needed(c, w, !cuts, false);
        if ((!cuts && need.Width() > w) || need.Height() > h) faults.push_back(where + ": the text does not fit");
      } else if (dynamic_cast<gui::Button*>(c)) {
        if (Needed(c, w, false, true).Width() + 8 > w) faults.push_back(where + ": the caption does not fit");
      } else if (dynamic_cast<gui::CheckBox*>(c)) {
        if (Needed(c, w, false, true).Width() + 18 > w) faults.push_back(where + ": the caption does not fit");
      }
    }
    if (dynamic_cast<gui::ListView*>(c)) ListFaults(c, where, faults);
    CollectLayoutFaults(c, faults);
  }
}

inline std::vector<std::string> LayoutFaults(gui::Control* root) {
  std::vector<std::string> faults;
  CollectLayoutFaults(root, faults);
  return faults;
}

}  // namespace testapp
