// The editors' window-system services on Win32: the rich edit library, the
// beep, the message queue, the non-client area, the rich edit's font,
// colour and callback, the keyboard state, the locale's separators.
#include <windows.h>
#include <ole2.h>
#include <imm.h>
#include <richedit.h>
#include <richole.h>

#include "gui/win_names.h"

#include "gui/win32/gdi_canvas.h"
#include "gui/win32/win32_peer.h"
#include "treelist/grid_edit_window.h"

#define TARN_GRID_EDIT_CHECK(type, name, value) \
  static_assert(static_cast<type>(name) == static_cast<type>(value), #name);
TARN_GRID_EDIT_USER_CONSTANTS(TARN_GRID_EDIT_CHECK)
TARN_GRID_EDIT_RICHEDIT_CONSTANTS(TARN_GRID_EDIT_CHECK)
TARN_GRID_EDIT_IMM_CONSTANTS(TARN_GRID_EDIT_CHECK)
static_assert(sizeof(TGridCharRange) == sizeof(CHARRANGE));
static_assert(sizeof(TGridRect32) == sizeof(RECT));
static_assert(sizeof(TGridPoint32) == sizeof(POINTL));
static_assert(sizeof(TGridNotifyHeader) == sizeof(NMHDR) &&
              offsetof(TGridNotifyHeader, code) == offsetof(NMHDR, code));

namespace {

// The control's window when it is a window of the system (a test's fake
// window on this flavour is not).
HWND HwndOf(gui::Control& c) {
  auto* p = dynamic_cast<gui::Win32Peer*>(c.Peer());
  return p ? p->Hwnd() : nullptr;
}

struct RichEditUnit {
  int uses = 0;
  HMODULE lib = nullptr;
};

RichEditUnit& Unit() {
  static RichEditUnit u;
  return u;
}

// Refuses every drag and drop; asks nothing else. Its count frees nothing:
// one object serves every editor for the program's life.
class RefuseDragDrop : public IRichEditOleCallback {
 public:
  STDMETHODIMP QueryInterface(REFIID, void** out) override {
    if (out) *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ULONG(++refs_); }
  STDMETHODIMP_(ULONG) Release() override { return ULONG(--refs_); }
  STDMETHODIMP GetNewStorage(LPSTORAGE*) override { return E_NOTIMPL; }
  STDMETHODIMP GetInPlaceContext(LPOLEINPLACEFRAME*, LPOLEINPLACEUIWINDOW*,
                                 LPOLEINPLACEFRAMEINFO) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP ShowContainerUI(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP QueryInsertObject(LPCLSID, LPSTORAGE, LONG) override { return E_NOTIMPL; }
  STDMETHODIMP DeleteObject(LPOLEOBJECT) override { return E_NOTIMPL; }
  STDMETHODIMP QueryAcceptData(LPDATAOBJECT, CLIPFORMAT*, DWORD, BOOL, HGLOBAL) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP GetClipboardData(CHARRANGE*, DWORD, LPDATAOBJECT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetDragDropEffect(BOOL, DWORD, LPDWORD effect) override {
    if (effect) *effect = DROPEFFECT_NONE;
    return S_OK;
  }
  STDMETHODIMP GetContextMenu(WORD, LPOLEOBJECT, CHARRANGE*, HMENU*) override { return E_NOTIMPL; }

 private:
  long refs_ = 0;
};

char LocaleChar(LCTYPE type, char fallback) {
  char buf[8] = {};
  return GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buf, sizeof buf) > 1 ? buf[0] : fallback;
}

bool IsLeadByte(char c) { return IsDBCSLeadByte(BYTE(c)) != 0; }

}  // namespace

void InitGridRichEdit() {
  RichEditUnit& u = Unit();
  if (u.uses++ > 0) return;
  const UINT mode = SetErrorMode(SEM_NOOPENFILEERRORBOX);
  HMODULE h = LoadLibraryA("RICHED20.DLL");
  SetErrorMode(mode);
  u.lib = reinterpret_cast<uintptr_t>(h) < 32 ? nullptr : h;
}

void FinalizeGridRichEdit() {
  RichEditUnit& u = Unit();
  if (u.uses == 0 || --u.uses > 0) return;
  if (u.lib) FreeLibrary(u.lib);
  u.lib = nullptr;
}

bool GridRichEditLoaded() { return Unit().lib != nullptr; }

void GridEditBeep() { MessageBeep(0); }

bool GridEditTakePendingChar(gui::Control& c, char& ch) {
  HWND h = HwndOf(c);
  if (!h) return false;
  MSG msg;
  if (!PeekMessageA(&msg, h, WM_CHAR, WM_CHAR, PM_REMOVE)) return false;
  if (msg.message == WM_QUIT) {
    PostQuitMessage(int(msg.wParam));
    return false;
  }
  ch = char(msg.wParam);
  return true;
}

void GridEditFrameChanged(gui::Control& c) {
  if (HWND h = HwndOf(c))
    SetWindowPos(h, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

std::unique_ptr<gui::Canvas> GridEditWindowCanvas(gui::Control& c) {
  HWND h = HwndOf(c);
  if (!h) return nullptr;
  HDC dc = GetWindowDC(h);
  if (!dc) return nullptr;
  RECT r{};
  GetWindowRect(h, &r);
  return std::make_unique<gui::GdiCanvas>(dc, gui::Size{r.right - r.left, r.bottom - r.top},
                                          "window frame", [h](HDC d) { ReleaseDC(h, d); });
}

void GridEditSendFont(gui::Control& c) {
  if (HWND h = HwndOf(c))
    SendMessageA(h, WM_SETFONT, reinterpret_cast<WPARAM>(gui::RealizeFont(c.Font())), TRUE);
}

void GridEditSetTextColor(gui::Control& c, gui::Color color) {
  HWND h = HwndOf(c);
  if (!h) return;
  CHARFORMATA cf{};
  cf.cbSize = sizeof cf;
  cf.dwMask = CFM_COLOR;
  if (color == gui::clWindowText || color == gui::clDefault)
    cf.dwEffects = CFE_AUTOCOLOR;
  else
    cf.crTextColor = gui::ColorToRGB(color);
  SendMessageA(h, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&cf));
}

void GridEditRegisterOleCallback(gui::Control& c) {
  static RefuseDragDrop callback;
  if (HWND h = HwndOf(c)) SendMessageA(h, EM_SETOLECALLBACK, 0, reinterpret_cast<LPARAM>(&callback));
}

void GridEditWithShiftHeld(const std::function<void()>& f) {
  BYTE state[256] = {};
  GetKeyboardState(state);
  const BYTE shift = state[VK_SHIFT];
  state[VK_SHIFT] |= 0x80;
  SetKeyboardState(state);
  struct Restore {
    BYTE* s;
    BYTE old;
    ~Restore() {
      s[VK_SHIFT] = old;
      SetKeyboardState(s);
    }
  } restore{state, shift};
  f();
}

MaskLocale GridEditMaskLocale() {
  MaskLocale l;
  l.timeSeparator = LocaleChar(LOCALE_STIME, ':');
  l.dateSeparator = LocaleChar(LOCALE_SDATE, '/');
  l.isLeadByte = &IsLeadByte;
  return l;
}
