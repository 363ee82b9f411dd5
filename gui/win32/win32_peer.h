// Real windows behind controls. Each control kind gets a registered window
// class (its class style from the control's parameters); standard controls
// of the window system are created from their own class and subclassed.
// Every message reaches the control's Dispatch through one window
// procedure; notifications a child control sends to its parent (commands,
// notifications, owner drawing, scrolling, colours) are reflected to that
// child as CN_BASE + message, and owner-drawn menu items are measured and
// drawn through their items' hooks.
#pragma once
#include <windows.h>

#include "gui/win_names.h"

#include <set>

#include "gui/window_peer.h"

namespace gui {

class Win32Peer : public WindowPeer {
 public:
  explicit Win32Peer(Control* owner) : owner_(owner) {}
  ~Win32Peer() override;

  bool Realize(const WindowParams& params) override;
  uintptr_t Handle() const override { return reinterpret_cast<uintptr_t>(hwnd_); }
  Control* Owner() const override { return owner_; }
  void SetBounds(const Rect& r) override;
  Rect Bounds() const override;
  Rect ClientRect() const override;
  Point ClientToScreen(Point p) const override;
  Point ScreenToClient(Point p) const override;
  void SetParent(uintptr_t parent) override;
  void BringToFront() override;
  void Show(bool visible) override;
  bool IsVisible() const override;
  void Enable(bool enabled) override;
  void SetText(const std::string& text) override;
  std::string Text() const override;
  void SetStyle(uint32_t style, uint32_t exStyle) override;
  void Invalidate(const Rect* r, bool erase) override;
  void Validate(const Rect* r) override;
  void Update() override;
  void Scroll(int dx, int dy, const Rect* scroll, const Rect* clip) override;
  void SetRegion(const Region* r) override;
  std::unique_ptr<PaintSession> BeginPaint(const Message& msg) override;
  std::unique_ptr<Canvas> GetCanvas(uintptr_t device) override;
  void SetFocus() override;
  bool HasFocus() const override;
  void SetCapture() override;
  void ReleaseCapture() override;
  bool HasCapture() const override;
  uint32_t CurrentStyle() const override;
  void TrackMouseLeave() override;
  bool SetTimer(uintptr_t id, unsigned ms) override;
  void KillTimer(uintptr_t id) override;
  void SetCursor(Cursor c) override;
  bool GetScrollInfo(int bar, ScrollInfo& info) const override;
  int SetScrollInfo(int bar, const ScrollInfo& info, bool redraw) override;
  void ShowScrollBar(int bar, bool show) override;
  void SetScrollBarStyle(int mode) override;
  intptr_t DefaultProc(Message& msg) override;
  intptr_t Send(unsigned msg, uintptr_t wp, intptr_t lp) override;
  void Post(unsigned msg, uintptr_t wp, intptr_t lp) override;

  HWND Hwnd() const { return hwnd_; }
  // The peer of one of our windows (nullptr for any other window).
  static Win32Peer* FromHwnd(HWND h);

 private:
  static LRESULT CALLBACK WindowProc(HWND h, UINT msg, WPARAM wp, LPARAM lp);
  void Attach(HWND h);
  // Whether the flat scroll bars serve this window (set up on first use).
  bool FlatBars() const;

  Control* owner_;
  HWND hwnd_ = nullptr;
  WNDPROC oldProc_ = nullptr;  // a subclassed standard control's own procedure
  bool destroying_ = false;
  mutable int flat_ = -1;      // -1: not yet asked, 0: plain bars, 1: flat bars
};

class Win32PeerFactory : public PeerFactory {
 public:
  std::unique_ptr<WindowPeer> CreatePeer(Control* owner) override;
  uintptr_t FocusedHandle() const override;
  uintptr_t WindowAt(Point screen) const override;
};

}  // namespace gui
