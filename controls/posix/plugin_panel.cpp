// Without a window system there are no windows of other programs or
// forms to host: no handle is a window.
#include "controls/plugin_panel.h"

namespace {

class NoForeignWindows : public TForeignWindows {
 public:
  bool IsWindow(uintptr_t) const override { return false; }
  void Show(uintptr_t, bool) override {}
  intptr_t Send(uintptr_t, unsigned, uintptr_t, intptr_t) override { return 0; }
  void Post(uintptr_t, unsigned, uintptr_t, intptr_t) override {}
  void SetStyle(uintptr_t, uint32_t) override {}
  void SetParent(uintptr_t, uintptr_t) override {}
  void SetText(uintptr_t, const std::string&) override {}
  void Move(uintptr_t, const gui::Rect&) override {}
  uintptr_t TopChild(uintptr_t) const override { return 0; }
  void Focus(uintptr_t) override {}
};

}  // namespace

namespace gui {
template <>
TForeignWindows& DefaultService<TForeignWindows>() {
  static NoForeignWindows instance;
  return instance;
}
}  // namespace gui
