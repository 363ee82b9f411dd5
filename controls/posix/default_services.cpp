// The native build's stand-ins: no window procedures to hook (tests hand
// messages to the hook table themselves) and no shell to show icons.
#include "controls/msg_cmp.h"
#include "controls/tray.h"

namespace {

class NoMsgHooks : public TMsgHookBackend {
 public:
  void Attach(uintptr_t) override {}
  void Detach(uintptr_t) override {}
};

class NoTrayShell : public TTrayShell {
 public:
  bool NotifyIcon(unsigned, const TNotifyIconData&) override { return false; }
  void SetForegroundWindow(uintptr_t) override {}
  void PostMessage(uintptr_t, unsigned, uintptr_t, intptr_t) override {}
};

}  // namespace

namespace gui {

template <>
TMsgHookBackend& DefaultService<TMsgHookBackend>() {
  static NoMsgHooks hooks;
  return hooks;
}

template <>
TTrayShell& DefaultService<TTrayShell>() {
  static NoTrayShell shell;
  return shell;
}

}  // namespace gui
