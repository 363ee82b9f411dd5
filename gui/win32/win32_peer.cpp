#include "gui/win32/win32_peer.h"

#include <commctrl.h>

#include <map>

#include "gui/control.h"
#include "gui/win32/gdi_canvas.h"
#include "gui/win32/gdi_objects.h"
#include "gui/win32/win32_menus.h"

namespace gui {

namespace {

const char kPeerProp[] = "TarnPeer";

// The peer whose window is being created: its window procedure attaches
// it on the first message (some arrive before WM_NCCREATE).
thread_local Win32Peer* creating = nullptr;

// Registered window classes by name and class style.
std::string RegisterKind(const std::string& name, UINT classStyle, WNDPROC proc) {
  static std::map<std::string, UINT> registered;
  std::string cls = name.empty() ? "TarnControl" : name;
  auto it = registered.find(cls);
  if (it != registered.end() && it->second != classStyle) {
    // The same kind with another class style: a class of its own.
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%X", classStyle);
    cls += suffix;
    it = registered.find(cls);
  }
  if (it != registered.end()) return cls;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.style = classStyle;
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hIcon = LoadIconA(wc.hInstance, "MAINICON");
  wc.lpszClassName = cls.c_str();
  RegisterClassExA(&wc);
  registered[cls] = classStyle;
  return cls;
}

// Child window identifiers (owner-drawn children are found by them).
UINT NextChildId() {
  static UINT next = 0;
  next = next % 0xFFF0 + 1;
  return next;
}

LPCSTR CursorId(Cursor c) {
  switch (c) {
    case Cursor::IBeam: return reinterpret_cast<LPCSTR>(IDC_IBEAM);
    case Cursor::Wait: return reinterpret_cast<LPCSTR>(IDC_WAIT);
    case Cursor::Cross: return reinterpret_cast<LPCSTR>(IDC_CROSS);
    case Cursor::UpArrow: return reinterpret_cast<LPCSTR>(IDC_UPARROW);
    case Cursor::SizeAll: return reinterpret_cast<LPCSTR>(IDC_SIZEALL);
    case Cursor::SizeNWSE: return reinterpret_cast<LPCSTR>(IDC_SIZENWSE);
    case Cursor::SizeNESW: return reinterpret_cast<LPCSTR>(IDC_SIZENESW);
    case Cursor::SizeWE:
    case Cursor::HSplit: return reinterpret_cast<LPCSTR>(IDC_SIZEWE);
    case Cursor::SizeNS:
    case Cursor::VSplit: return reinterpret_cast<LPCSTR>(IDC_SIZENS);
    case Cursor::No:
    case Cursor::NoDrop: return reinterpret_cast<LPCSTR>(IDC_NO);
    case Cursor::HandPoint: return reinterpret_cast<LPCSTR>(IDC_HAND);
    case Cursor::AppStarting: return reinterpret_cast<LPCSTR>(IDC_APPSTARTING);
    case Cursor::Help: return reinterpret_cast<LPCSTR>(IDC_HELP);
    default: return reinterpret_cast<LPCSTR>(IDC_ARROW);
  }
}

// The flat scroll-bar functions of the common controls, where present.
struct FlatApi {
  BOOL(WINAPI* init)(HWND) = nullptr;
  BOOL(WINAPI* getInfo)(HWND, int, LPSCROLLINFO) = nullptr;
  int(WINAPI* setInfo)(HWND, int, LPCSCROLLINFO, BOOL) = nullptr;
  BOOL(WINAPI* show)(HWND, int, BOOL) = nullptr;
  BOOL(WINAPI* setProp)(HWND, UINT, INT_PTR, BOOL) = nullptr;
  FlatApi() {
    HMODULE m = GetModuleHandleA("comctl32.dll");
    if (!m) m = LoadLibraryA("comctl32.dll");
    if (!m) return;
    Load(init, m, "InitializeFlatSB");
    Load(getInfo, m, "FlatSB_GetScrollInfo");
    Load(setInfo, m, "FlatSB_SetScrollInfo");
    Load(show, m, "FlatSB_ShowScrollBar");
    Load(setProp, m, "FlatSB_SetScrollProp");
  }
  template <class F>
  static void Load(F& f, HMODULE m, const char* name) {
    f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name)));
  }
  bool Complete() const { return init && getInfo && setInfo && show && setProp; }
};

const FlatApi& Flat() {
  static FlatApi api;
  return api;
}

class Win32PaintSession : public PaintSession {
 public:
  Win32PaintSession(HWND h, HDC given) : hwnd_(h) {
    RECT client{};
    GetClientRect(h, &client);
    HDC dc = given;
    if (!given) {
      dc = ::BeginPaint(h, &ps_);
      clip_ = {ps_.rcPaint.left, ps_.rcPaint.top, ps_.rcPaint.right, ps_.rcPaint.bottom};
    } else {
      RECT box{};
      GetClipBox(dc, &box);
      clip_ = Rect{box.left, box.top, box.right, box.bottom}.Intersect(
          {0, 0, client.right, client.bottom});
    }
    painting_ = !given;
    canvas_ = std::make_unique<GdiCanvas>(dc, Size{client.right, client.bottom}, "paint");
  }
  ~Win32PaintSession() override {
    canvas_.reset();
    if (painting_) EndPaint(hwnd_, &ps_);
  }
  Canvas& GetCanvas() override { return *canvas_; }
  Rect ClipRect() const override { return clip_; }
  bool Empty() const { return clip_.IsEmpty(); }

 private:
  HWND hwnd_;
  PAINTSTRUCT ps_{};
  bool painting_ = false;
  Rect clip_;
  std::unique_ptr<GdiCanvas> canvas_;
};

// Notifications sent to a parent about one of its child controls: the
// child's window (nullptr: not such a notification).
HWND NotifyingChild(HWND parent, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<HWND>(lp);
    case WM_NOTIFY:
      return lp ? reinterpret_cast<const NMHDR*>(lp)->hwndFrom : nullptr;
    case WM_DRAWITEM:
      return lp ? reinterpret_cast<const DRAWITEMSTRUCT*>(lp)->hwndItem : nullptr;
    case WM_MEASUREITEM:
      return lp ? GetDlgItem(parent, int(reinterpret_cast<const MEASUREITEMSTRUCT*>(lp)->CtlID))
                : nullptr;
    case WM_DELETEITEM:
      return lp ? reinterpret_cast<const DELETEITEMSTRUCT*>(lp)->hwndItem : nullptr;
    case WM_COMPAREITEM:
      return lp ? reinterpret_cast<const COMPAREITEMSTRUCT*>(lp)->hwndItem : nullptr;
    default:
      return nullptr;
  }
}

// Owner-drawn menu items get no mnemonic handling of the system's: the
// item whose text has "&" before the typed character is chosen here.
bool MenuMnemonic(WPARAM wp, LPARAM lp, LRESULT& r) {
  const HMENU menu = reinterpret_cast<HMENU>(lp);
  const char typed = char(LOWORD(wp));
  if (!menu || typed == 0) return false;
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    char text[256] = {};
    if (GetMenuStringA(menu, UINT(i), text, sizeof text, MF_BYPOSITION) <= 0) continue;
    for (const char* c = text; *c; ++c) {
      if (*c != '&' || !c[1]) continue;
      if (c[1] == '&') {
        ++c;
        continue;
      }
      if (CharUpperA(reinterpret_cast<LPSTR>(uintptr_t(uint8_t(c[1])))) ==
          CharUpperA(reinterpret_cast<LPSTR>(uintptr_t(uint8_t(typed))))) {
        r = MAKELRESULT(i, MNC_EXECUTE);
        return true;
      }
      break;
    }
  }
  return false;
}

bool IsMenuOwnerDraw(UINT msg, LPARAM lp) {
  if (msg == WM_DRAWITEM) return lp && reinterpret_cast<const DRAWITEMSTRUCT*>(lp)->CtlType == ODT_MENU;
  if (msg == WM_MEASUREITEM)
    return lp && reinterpret_cast<const MEASUREITEMSTRUCT*>(lp)->CtlType == ODT_MENU;
  return false;
}

}  // namespace

// ---------------------------------------------------------------- life

Win32Peer* Win32Peer::FromHwnd(HWND h) {
  return h ? static_cast<Win32Peer*>(GetPropA(h, kPeerProp)) : nullptr;
}

void Win32Peer::Attach(HWND h) {
  hwnd_ = h;
  SetPropA(h, kPeerProp, this);
}

bool Win32Peer::Realize(const WindowParams& p) {
  HINSTANCE inst = GetModuleHandleA(nullptr);
  std::string cls = p.SystemClass ? p.ClassName : RegisterKind(p.ClassName, p.ClassStyle, &WindowProc);
  HMENU menu = reinterpret_cast<HMENU>(p.Menu);
  if ((p.Style & WS_CHILD) && !menu) menu = reinterpret_cast<HMENU>(uintptr_t(NextChildId()));
  Win32Peer* outer = creating;
  creating = p.SystemClass ? nullptr : this;
  HWND h = CreateWindowExA(p.ExStyle, cls.c_str(), p.Caption.c_str(), p.Style, p.Bounds.Left,
                           p.Bounds.Top, p.Bounds.Width(), p.Bounds.Height(),
                           reinterpret_cast<HWND>(p.Parent), menu, inst, this);
  creating = outer;
  if (!h) return false;
  if (p.SystemClass) {
    // A standard control: its procedure stays behind ours.
    Attach(h);
    oldProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc)));
  } else if (!hwnd_) {
    Attach(h);
  }
  return true;
}

Win32Peer::~Win32Peer() {
  destroying_ = true;
  if (hwnd_) {
    HWND h = hwnd_;
    if (GetCapture() == h) ::ReleaseCapture();
    DestroyWindow(h);  // WM_NCDESTROY detaches it
    if (hwnd_) {       // not one of ours any more (subclassing undone elsewhere)
      RemovePropA(h, kPeerProp);
      hwnd_ = nullptr;
    }
  }
}

LRESULT CALLBACK Win32Peer::WindowProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  Win32Peer* p = FromHwnd(h);
  if (!p && creating) {
    p = creating;
    creating = nullptr;
    p->Attach(h);
  }
  if (!p) return DefWindowProcA(h, msg, wp, lp);
  if (msg == WM_NCDESTROY) {
    // The window is gone: the peer forgets it.
    WNDPROC old = p->oldProc_;
    RemovePropA(h, kPeerProp);
    p->hwnd_ = nullptr;
    if (old) {
      SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
      return CallWindowProcA(old, h, msg, wp, lp);
    }
    return DefWindowProcA(h, msg, wp, lp);
  }
  if (p->destroying_) {
    // Going away at the control's request: nothing reaches it any more.
    return p->oldProc_ ? CallWindowProcA(p->oldProc_, h, msg, wp, lp) : DefWindowProcA(h, msg, wp, lp);
  }
  // The one boundary: nothing a handler throws unwinds through here.
  Control* owner = p->owner_;
  try {
    if (IsMenuOwnerDraw(msg, lp)) {
      LRESULT r = 0;
      if (HandleMenuOwnerDraw(msg, lp, r)) return r;
    } else if (LRESULT r = 0; msg == WM_MENUCHAR && MenuMnemonic(wp, lp, r)) {
      return r;
    } else if (HWND child = NotifyingChild(h, msg, wp, lp); child && child != h) {
      Win32Peer* cp = FromHwnd(child);
      if (cp && !cp->destroying_) {
        Message m{CN_BASE + msg, wp, lp, 0};
        cp->owner_->Dispatch(m);
        const bool colour = msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC;
        if (!colour || m.Result) return m.Result;
      }
    }
    Message m{msg, wp, lp, 0};
    owner->Dispatch(m);
    return m.Result;
  } catch (...) {
    ReportCurrentException(owner);
    return 0;
  }
}

// ---------------------------------------------------------------- geometry

void Win32Peer::SetBounds(const Rect& r) {
  if (hwnd_)
    SetWindowPos(hwnd_, nullptr, r.Left, r.Top, r.Width(), r.Height(),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

Rect Win32Peer::Bounds() const {
  RECT r{};
  if (!hwnd_) return {};
  GetWindowRect(hwnd_, &r);
  HWND parent = (GetWindowLongA(hwnd_, GWL_STYLE) & WS_CHILD) ? GetParent(hwnd_) : nullptr;
  if (parent) MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right, r.bottom};
}

Rect Win32Peer::ClientRect() const {
  RECT r{};
  if (hwnd_) GetClientRect(hwnd_, &r);
  return {r.left, r.top, r.right, r.bottom};
}

Point Win32Peer::ClientToScreen(Point p) const {
  POINT q{p.X, p.Y};
  if (hwnd_) ::ClientToScreen(hwnd_, &q);
  return {q.x, q.y};
}

Point Win32Peer::ScreenToClient(Point p) const {
  POINT q{p.X, p.Y};
  if (hwnd_) ::ScreenToClient(hwnd_, &q);
  return {q.x, q.y};
}

void Win32Peer::SetParent(uintptr_t parent) {
  if (hwnd_) ::SetParent(hwnd_, reinterpret_cast<HWND>(parent));
}

void Win32Peer::BringToFront() {
  if (hwnd_) SetWindowPos(hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// ---------------------------------------------------------------- state

void Win32Peer::Show(bool visible) {
  if (!hwnd_) return;
  const bool child = (GetWindowLongA(hwnd_, GWL_STYLE) & WS_CHILD) != 0;
  if (visible && !child && IsIconic(hwnd_))
    ShowWindow(hwnd_, SW_RESTORE);
  else
    ShowWindow(hwnd_, !visible ? SW_HIDE : child ? SW_SHOWNA : SW_SHOW);
}

bool Win32Peer::IsVisible() const { return hwnd_ && IsWindowVisible(hwnd_); }

void Win32Peer::Enable(bool enabled) {
  if (hwnd_) EnableWindow(hwnd_, enabled);
}

void Win32Peer::SetText(const std::string& text) {
  if (hwnd_) SetWindowTextA(hwnd_, text.c_str());
}

std::string Win32Peer::Text() const {
  if (!hwnd_) return {};
  std::string s(size_t(GetWindowTextLengthA(hwnd_)) + 1, '\0');
  s.resize(size_t(GetWindowTextA(hwnd_, s.data(), int(s.size()))));
  return s;
}

void Win32Peer::SetStyle(uint32_t style, uint32_t exStyle) {
  if (!hwnd_) return;
  SetWindowLongA(hwnd_, GWL_STYLE, LONG(style));
  SetWindowLongA(hwnd_, GWL_EXSTYLE, LONG(exStyle));
  SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

// ---------------------------------------------------------------- painting

void Win32Peer::Invalidate(const Rect* r, bool erase) {
  if (!hwnd_) return;
  RECT w{};
  if (r) w = RECT{r->Left, r->Top, r->Right, r->Bottom};
  InvalidateRect(hwnd_, r ? &w : nullptr, erase);
}

void Win32Peer::Validate(const Rect* r) {
  if (!hwnd_) return;
  RECT w{};
  if (r) w = RECT{r->Left, r->Top, r->Right, r->Bottom};
  ValidateRect(hwnd_, r ? &w : nullptr);
}

void Win32Peer::Update() {
  if (hwnd_) UpdateWindow(hwnd_);
}

void Win32Peer::Scroll(int dx, int dy, const Rect* scroll, const Rect* clip) {
  if (!hwnd_) return;
  RECT s{}, c{};
  if (scroll) s = RECT{scroll->Left, scroll->Top, scroll->Right, scroll->Bottom};
  if (clip) c = RECT{clip->Left, clip->Top, clip->Right, clip->Bottom};
  ScrollWindowEx(hwnd_, dx, dy, scroll ? &s : nullptr, clip ? &c : nullptr, nullptr, nullptr,
                 SW_INVALIDATE);
}

void Win32Peer::SetRegion(const Region* r) {
  if (hwnd_) SetWindowRgn(hwnd_, r ? CreateRegionHandle(*r) : nullptr, TRUE);  // the system owns it
}

std::unique_ptr<PaintSession> Win32Peer::BeginPaint(const Message& msg) {
  // A standard control paints itself (its own procedure, by default).
  if (!hwnd_ || oldProc_) return nullptr;
  auto s = std::make_unique<Win32PaintSession>(hwnd_, reinterpret_cast<HDC>(msg.WParam));
  if (s->Empty()) return nullptr;  // ends the (empty) session
  return s;
}

std::unique_ptr<Canvas> Win32Peer::GetCanvas(uintptr_t device) {
  if (!hwnd_) return nullptr;
  const Rect client = ClientRect();
  if (device)
    return std::make_unique<GdiCanvas>(reinterpret_cast<HDC>(device), Size{client.Width(), client.Height()},
                                       "device");
  HWND h = hwnd_;
  return std::make_unique<GdiCanvas>(GetDC(h), Size{client.Width(), client.Height()}, "window",
                                     [h](HDC dc) { ReleaseDC(h, dc); });
}

// ---------------------------------------------------------------- input

void Win32Peer::SetFocus() {
  if (hwnd_) ::SetFocus(hwnd_);
}

bool Win32Peer::HasFocus() const { return hwnd_ && GetFocus() == hwnd_; }

void Win32Peer::SetCapture() {
  if (hwnd_) ::SetCapture(hwnd_);
}

void Win32Peer::ReleaseCapture() {
  if (hwnd_ && GetCapture() == hwnd_) ::ReleaseCapture();
}

bool Win32Peer::HasCapture() const { return hwnd_ && GetCapture() == hwnd_; }

uint32_t Win32Peer::CurrentStyle() const { return hwnd_ ? uint32_t(GetWindowLongA(hwnd_, GWL_STYLE)) : 0u; }

void Win32Peer::TrackMouseLeave() {
  if (!hwnd_) return;
  TRACKMOUSEEVENT t{};
  t.cbSize = sizeof t;
  t.dwFlags = TME_LEAVE;
  t.hwndTrack = hwnd_;
  TrackMouseEvent(&t);
}

bool Win32Peer::SetTimer(uintptr_t id, unsigned ms) {
  if (!hwnd_) return false;
  SetLastError(0);
  // A window timer's answer is not its id (id 0 is a valid id): only 0 with
  // an error set is a refusal.
  return ::SetTimer(hwnd_, id, ms, nullptr) != 0 || GetLastError() == 0;
}

void Win32Peer::KillTimer(uintptr_t id) {
  if (hwnd_) ::KillTimer(hwnd_, id);
}

void Win32Peer::SetCursor(Cursor c) { ::SetCursor(LoadCursorA(nullptr, CursorId(c))); }

// ---------------------------------------------------------------- scroll bars

bool Win32Peer::FlatBars() const {
  if (flat_ < 0) {
    flat_ = 0;
    // Right-to-left systems keep the plain bars.
    if (hwnd_ && Flat().Complete() && !GetSystemMetrics(SM_MIDEASTENABLED) && Flat().init(hwnd_))
      flat_ = 1;
  }
  return flat_ == 1;
}

bool Win32Peer::GetScrollInfo(int bar, ScrollInfo& info) const {
  if (!hwnd_) return false;
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = info.Mask ? info.Mask : SIF_ALL;
  const BOOL ok = FlatBars() ? Flat().getInfo(hwnd_, bar, &si) : ::GetScrollInfo(hwnd_, bar, &si);
  if (!ok) return false;
  info.Min = si.nMin;
  info.Max = si.nMax;
  info.Page = si.nPage;
  info.Pos = si.nPos;
  info.TrackPos = si.nTrackPos;
  return true;
}

int Win32Peer::SetScrollInfo(int bar, const ScrollInfo& info, bool redraw) {
  if (!hwnd_) return 0;
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = info.Mask;
  si.nMin = info.Min;
  si.nMax = info.Max;
  si.nPage = info.Page;
  si.nPos = info.Pos;
  si.nTrackPos = info.TrackPos;
  return FlatBars() ? Flat().setInfo(hwnd_, bar, &si, redraw)
                    : ::SetScrollInfo(hwnd_, bar, &si, redraw);
}

void Win32Peer::ShowScrollBar(int bar, bool show) {
  if (!hwnd_) return;
  if (FlatBars())
    Flat().show(hwnd_, bar, show);
  else
    ::ShowScrollBar(hwnd_, bar, show);
}

void Win32Peer::SetScrollBarStyle(int mode) {
  if (!hwnd_ || !FlatBars()) return;
  Flat().setProp(hwnd_, WSB_PROP_VSTYLE, mode, TRUE);
  Flat().setProp(hwnd_, WSB_PROP_HSTYLE, mode, TRUE);
}

// ---------------------------------------------------------------- messages

intptr_t Win32Peer::DefaultProc(Message& m) {
  if (!hwnd_) return 0;
  // The layer's own notifications mean nothing to the window system.
  if (m.Msg >= CM_BASE && m.Msg < CN_BASE + 0x400) return 0;
  return oldProc_ ? CallWindowProcA(oldProc_, hwnd_, m.Msg, m.WParam, m.LParam)
                  : DefWindowProcA(hwnd_, m.Msg, m.WParam, m.LParam);
}

intptr_t Win32Peer::Send(unsigned msg, uintptr_t wp, intptr_t lp) {
  return hwnd_ ? SendMessageA(hwnd_, msg, wp, lp) : 0;
}

void Win32Peer::Post(unsigned msg, uintptr_t wp, intptr_t lp) {
  if (hwnd_) PostMessageA(hwnd_, msg, wp, lp);
}

// ---------------------------------------------------------------- factory

std::unique_ptr<WindowPeer> Win32PeerFactory::CreatePeer(Control* owner) {
  return std::make_unique<Win32Peer>(owner);
}

uintptr_t Win32PeerFactory::FocusedHandle() const { return reinterpret_cast<uintptr_t>(GetFocus()); }

uintptr_t Win32PeerFactory::WindowAt(Point screen) const {
  // The system passes over hidden and disabled windows and those of ours
  // that say they are transparent to the mouse.
  return reinterpret_cast<uintptr_t>(WindowFromPoint(POINT{screen.X, screen.Y}));
}

}  // namespace gui
