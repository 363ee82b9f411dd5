// The window system's side of the message components: one shared window
// procedure stands in front of every watched window's own procedure.
//
// A window whose chain holds the shared procedure is never given it
// again: when someone else has replaced the window's procedure after us
// (their procedure calls ours), a component hooked later simply joins the
// table, so no procedure ever ends up calling itself round a loop. When
// the last component leaves, the window's own procedure is put back if
// ours is still the one in front; if another procedure sits in front of
// ours, ours stays in the chain and passes every message straight to the
// window's procedure until the window is destroyed.
#include <windows.h>

#include "gui/win_names.h"

#include <map>

#include "controls/msg_cmp.h"

namespace {

// Windows whose chain holds the shared procedure, with the procedure it
// calls after the components (the window's own before we came).
std::map<HWND, WNDPROC>& Chains() {
  static std::map<HWND, WNDPROC> chains;
  return chains;
}

WNDPROC CurrentProc(HWND h) { return reinterpret_cast<WNDPROC>(GetWindowLongPtrA(h, GWLP_WNDPROC)); }

void SetProc(HWND h, WNDPROC p) { SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(p)); }

LRESULT CALLBACK SharedHookProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  auto it = Chains().find(h);
  if (it == Chains().end()) return DefWindowProcA(h, msg, wp, lp);
  const WNDPROC next = it->second;
  gui::Message m{msg, wp, lp, 0};
  TMsgCmpList::Get().Dispatch(reinterpret_cast<uintptr_t>(h), m);
  if (msg == WM_NCDESTROY) {
    // The window's last message: the table and the chain forget it.
    TMsgCmpList::Get().WindowDestroyed(reinterpret_cast<uintptr_t>(h));
    if (Chains().erase(h) && CurrentProc(h) == &SharedHookProc) SetProc(h, next);
  }
  return CallWindowProcA(next, h, msg, wp, lp);
}

class Win32MsgHooks : public TMsgHookBackend {
 public:
  void Attach(uintptr_t window) override {
    HWND h = reinterpret_cast<HWND>(window);
    if (!IsWindow(h) || Chains().count(h)) return;  // already in the chain
    const WNDPROC own = CurrentProc(h);
    if (!own) return;
    Chains()[h] = own;
    SetProc(h, &SharedHookProc);
  }

  void Detach(uintptr_t window) override {
    HWND h = reinterpret_cast<HWND>(window);
    auto it = Chains().find(h);
    if (it == Chains().end()) return;
    if (!IsWindow(h)) {
      Chains().erase(it);
      return;
    }
    if (CurrentProc(h) != &SharedHookProc) return;  // someone sits in front: pass through
    SetProc(h, it->second);
    Chains().erase(it);
  }
};

}  // namespace

namespace gui {
template <>
TMsgHookBackend& DefaultService<TMsgHookBackend>() {
  static Win32MsgHooks hooks;
  return hooks;
}
}  // namespace gui
