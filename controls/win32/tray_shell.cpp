// The shell's notification area behind TTrayShell.
#include <windows.h>

#include "gui/win_names.h"

#include <shellapi.h>

#include <cstring>

#include "controls/tray.h"

static_assert(kNimAdd == NIM_ADD && kNimModify == NIM_MODIFY && kNimDelete == NIM_DELETE);
static_assert(kNifMessage == NIF_MESSAGE && kNifIcon == NIF_ICON && kNifTip == NIF_TIP);
static_assert(kTrayCallbackMessage == WM_USER + 9100);

namespace {

class Win32TrayShell : public TTrayShell {
 public:
  bool NotifyIcon(unsigned message, const TNotifyIconData& d) override {
    // The first layout of the record, which every shell reads.
    NOTIFYICONDATAA nid{};
    nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
    nid.hWnd = reinterpret_cast<HWND>(d.Wnd);
    nid.uID = d.ID;
    nid.uFlags = d.Flags;
    nid.uCallbackMessage = d.CallbackMessage;
    nid.hIcon = reinterpret_cast<HICON>(d.Icon);
    static_assert(sizeof d.Tip <= sizeof nid.szTip);
    std::memcpy(nid.szTip, d.Tip, sizeof d.Tip);
    return Shell_NotifyIconA(message, &nid) != FALSE;
  }
  void SetForegroundWindow(uintptr_t window) override {
    if (window) ::SetForegroundWindow(reinterpret_cast<HWND>(window));
  }
  void PostMessage(uintptr_t window, unsigned msg, uintptr_t wp, intptr_t lp) override {
    if (window) PostMessageA(reinterpret_cast<HWND>(window), msg, wp, lp);
  }
};

}  // namespace

namespace gui {
template <>
TTrayShell& DefaultService<TTrayShell>() {
  static Win32TrayShell shell;
  return shell;
}
}  // namespace gui
