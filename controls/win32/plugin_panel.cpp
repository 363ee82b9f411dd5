// Windows by handle, through the window system.
#include <windows.h>

#include "gui/win_names.h"

#include "controls/plugin_panel.h"

namespace {

HWND W(uintptr_t h) { return reinterpret_cast<HWND>(h); }

class Win32ForeignWindows : public TForeignWindows {
 public:
  bool IsWindow(uintptr_t h) const override { return h && ::IsWindow(W(h)); }
  void Show(uintptr_t h, bool visible) override { ShowWindow(W(h), visible ? SW_SHOW : SW_HIDE); }
  intptr_t Send(uintptr_t h, unsigned msg, uintptr_t wp, intptr_t lp) override {
    return SendMessageA(W(h), msg, wp, lp);
  }
  void Post(uintptr_t h, unsigned msg, uintptr_t wp, intptr_t lp) override {
    PostMessageA(W(h), msg, wp, lp);
  }
  void SetStyle(uintptr_t h, uint32_t style) override { SetWindowLongA(W(h), GWL_STYLE, LONG(style)); }
  void SetParent(uintptr_t h, uintptr_t parent) override { ::SetParent(W(h), W(parent)); }
  void SetText(uintptr_t h, const std::string& text) override { SetWindowTextA(W(h), text.c_str()); }
  void Move(uintptr_t h, const gui::Rect& r) override {
    MoveWindow(W(h), r.Left, r.Top, r.Width(), r.Height(), TRUE);
  }
  uintptr_t TopChild(uintptr_t parent) const override {
    return reinterpret_cast<uintptr_t>(GetWindow(W(parent), GW_CHILD));
  }
  void Focus(uintptr_t h) override { ::SetFocus(W(h)); }
};

}  // namespace

namespace gui {
template <>
TForeignWindows& DefaultService<TForeignWindows>() {
  static Win32ForeignWindows instance;
  return instance;
}
}  // namespace gui
