// Windows without a window system, for native tests: fake peers that keep
// what a window keeps (bounds, visibility, invalid region, timers, focus,
// capture, scroll bars, text) and a desktop that makes them and drives
// them: send messages, click and type at client points, fire timers by id,
// paint a control into a RecordingCanvas and read the log.
//
// A FakeDesktop installs itself as the peer factory and its FixedEnvironment
// as the environment for its lifetime.
#pragma once
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gui/control.h"
#include "gui/environment.h"
#include "gui/recording_canvas.h"
#include "gui/window_peer.h"

namespace gui {

class FakeDesktop;

class FakePeer : public WindowPeer {
 public:
  FakePeer(FakeDesktop& desk, Control* owner);
  ~FakePeer() override;

  bool Realize(const WindowParams& params) override;
  uintptr_t Handle() const override { return handle_; }
  Control* Owner() const override { return owner_; }
  void SetBounds(const Rect& r) override;
  Rect Bounds() const override { return bounds_; }
  Rect ClientRect() const override;
  Point ClientToScreen(Point p) const override;
  Point ScreenToClient(Point p) const override;
  void SetParent(uintptr_t parent) override { params_.Parent = parent; }
  void BringToFront() override {}
  void Show(bool visible) override;
  bool IsVisible() const override { return visible_; }
  void Enable(bool enabled) override { enabled_ = enabled; }
  void SetText(const std::string& text) override { text_ = text; }
  std::string Text() const override { return text_; }
  void SetStyle(uint32_t style, uint32_t exStyle) override;
  uint32_t CurrentStyle() const override;
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
  void TrackMouseLeave() override { trackingLeave_ = true; }
  bool SetTimer(uintptr_t id, unsigned ms) override;
  void KillTimer(uintptr_t id) override;
  void SetCursor(Cursor c) override { cursor_ = c; }
  bool GetScrollInfo(int bar, ScrollInfo& info) const override;
  int SetScrollInfo(int bar, const ScrollInfo& info, bool redraw) override;
  void ShowScrollBar(int bar, bool show) override;
  void SetScrollBarStyle(int mode) override { scrollStyle_ = mode; }
  intptr_t DefaultProc(Message& msg) override;
  intptr_t Send(unsigned msg, uintptr_t wp, intptr_t lp) override;
  void Post(unsigned msg, uintptr_t wp, intptr_t lp) override;

  // What tests read.
  const WindowParams& Params() const { return params_; }
  bool IsEnabled() const { return enabled_; }
  const Region& InvalidRegion() const { return invalid_; }
  bool EraseNeeded() const { return erase_; }
  const std::map<uintptr_t, unsigned>& Timers() const { return timers_; }
  Cursor CurrentCursor() const { return cursor_; }
  int ScrollBarStyle() const { return scrollStyle_; }
  bool ScrollBarShown(int bar) const { return bar == SB_HORZ ? hBar_ : vBar_; }
  bool TrackingLeave() const { return trackingLeave_; }
  void SetTrackingLeave(bool t) { trackingLeave_ = t; }
  // Scrolls done (dx, dy, area), in order.
  std::vector<std::string> scrolls;

 private:
  friend class FakeDesktop;
  Rect Insets() const;
  FakeDesktop& desk_;
  Control* owner_;
  WindowParams params_;
  uintptr_t handle_ = 0;
  Rect bounds_;
  bool visible_ = false;
  bool enabled_ = true;
  std::string text_;
  Region invalid_;
  bool erase_ = false;
  std::map<uintptr_t, unsigned> timers_;
  Cursor cursor_ = Cursor::Default;
  ScrollInfo hInfo_;
  ScrollInfo vInfo_;
  bool hBar_ = false;
  bool vBar_ = false;
  int scrollStyle_ = 0;
  bool trackingLeave_ = false;
  bool hasRegion_ = false;
  Region region_;
};

class FakeDesktop : public PeerFactory {
 public:
  FakeDesktop();
  ~FakeDesktop() override;
  FakeDesktop(const FakeDesktop&) = delete;
  FakeDesktop& operator=(const FakeDesktop&) = delete;

  std::unique_ptr<WindowPeer> CreatePeer(Control* owner) override;
  uintptr_t FocusedHandle() const override { return focus_; }
  // The last made of the shown top-level windows whose window takes the
  // point (not transparent to the mouse), then its deepest shown child.
  uintptr_t WindowAt(Point screen) const override;

  // The fake peer of a control (its window made on demand).
  FakePeer& PeerOf(Control& c);
  FakePeer* FindPeer(uintptr_t handle) const;

  // A message through the control's Dispatch (its window made on demand).
  intptr_t Send(Control& c, unsigned msg, uintptr_t wp = 0, intptr_t lp = 0);
  // Delivers the posted messages, in order, until none are left.
  void ProcessPosted();

  // Mouse at client point (x, y) of c: the message carries the buttons
  // held (the environment's state plus the one pressed) and shift keys.
  void MouseDown(Control& c, int x, int y, MouseButton b = mbLeft);
  void MouseUp(Control& c, int x, int y, MouseButton b = mbLeft);
  void MouseMove(Control& c, int x, int y);
  // Press and release at one point.
  void Click(Control& c, int x, int y, MouseButton b = mbLeft);
  // Press, release, double-click message, release.
  void DoubleClick(Control& c, int x, int y);
  void Wheel(Control& c, int delta, int x = 0, int y = 0);
  // The windowed control under a client point of top (the deepest visible
  // one; the capture wins), and the point in its client coordinates.
  Control* ControlAt(Control& top, Point p, Point* local = nullptr);
  // A click at a client point of top, delivered to ControlAt's control.
  void ClickAt(Control& top, int x, int y, MouseButton b = mbLeft);

  // Keys to c: WM_KEYDOWN, WM_CHAR, WM_KEYUP; PressKey sends all three
  // (WM_CHAR only with a character), Type one WM_CHAR a character.
  void KeyDown(Control& c, uint16_t vk);
  void KeyUp(Control& c, uint16_t vk);
  void Char(Control& c, char ch);
  void PressKey(Control& c, uint16_t vk, char ch = 0);
  void Type(Control& c, const std::string& text);

  // Fires window timer id of c once; false when it is not running.
  bool FireTimer(Control& c, uintptr_t id);
  bool TimerRunning(Control& c, uintptr_t id);

  // Paints c: its whole client area (area: only that part) into a fresh
  // log, as the window system would (WM_ERASEBKGND when wanted, then
  // WM_PAINT); answers the log's text.
  std::string Paint(Control& c, const Rect* area = nullptr);
  // Paints only what is marked invalid ("" when nothing is).
  std::string PaintInvalid(Control& c);
  Region InvalidRegion(Control& c);
  // The paint and window-canvas log, shared by every window.
  std::vector<std::string>& CanvasLog() { return log_; }

  Control* FocusedControl() const;
  Control* CaptureControl() const;

  FixedEnvironment env;
  // The colour depth of every window canvas the desktop makes.
  int screenBits = 32;

 private:
  friend class FakePeer;
  void MouseMessage(Control& c, unsigned msg, int x, int y);
  void PaintNow(FakePeer& p);
  void ChangeFocus(FakePeer* to);
  void ChangeCapture(FakePeer* to);
  void Forget(FakePeer* p);
  std::map<uintptr_t, FakePeer*> peers_;
  uintptr_t nextHandle_ = 0x1000;
  uintptr_t focus_ = 0;
  uintptr_t capture_ = 0;
  std::deque<std::pair<uintptr_t, Message>> posted_;
  std::vector<std::string> log_;
  PeerFactory* prevFactory_;
  Environment* prevEnv_;
};

}  // namespace gui
