// The window behind a control. A Control never talks to the window system
// itself: it holds a WindowPeer made by the installed PeerFactory. In the
// product each peer is a real window whose window procedure builds a
// Message and hands it to Control::Dispatch; natively (and in tests) the
// fake peers of gui/fake_peer.h stand in.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "gui/canvas.h"
#include "gui/geometry.h"
#include "gui/region.h"
#include "gui/services.h"

namespace gui {

class Control;

// One window message: number, parameters, and the result the handler
// leaves for the sender.
struct Message {
  unsigned Msg = 0;
  uintptr_t WParam = 0;
  intptr_t LParam = 0;
  intptr_t Result = 0;
};

// What a window is created with.
struct WindowParams {
  std::string ClassName;  // the window class ("" for the control's own kind)
  std::string Caption;
  uint32_t Style = 0;       // WS_*
  uint32_t ExStyle = 0;     // WS_EX_*
  uint32_t ClassStyle = 0;  // CS_*
  Rect Bounds;              // in the parent's client coordinates (screen for top level)
  uintptr_t Parent = 0;     // the parent window's handle (0: top level)
  uintptr_t Menu = 0;       // a top-level window's menu bar handle, or a child's id
  // A standard control of the window system to wrap ("BUTTON", "EDIT"...):
  // its own window procedure handles what the control leaves to the
  // default.
  bool SystemClass = false;
};

struct ScrollInfo {
  unsigned Mask = 0;  // SIF_*
  int Min = 0;
  int Max = 0;
  unsigned Page = 0;
  int Pos = 0;
  int TrackPos = 0;
};

// Cursor shapes a control may show.
enum class Cursor {
  Default, Arrow, IBeam, Wait, Cross, UpArrow, SizeAll, SizeNWSE, SizeNESW, SizeWE, SizeNS,
  No, HandPoint, AppStarting, Help, HSplit, VSplit, Drag, NoDrop
};

// A paint session (between the window system's begin and end of
// painting): the canvas of the window and the area to paint.
class PaintSession {
 public:
  virtual ~PaintSession() = default;  // ends the session
  virtual Canvas& GetCanvas() = 0;
  virtual Rect ClipRect() const = 0;
};

class WindowPeer {
 public:
  virtual ~WindowPeer() = default;  // destroys the window

  // Makes the window (the control already holds this peer, so the
  // messages of creation reach it); false when the system refuses.
  virtual bool Realize(const WindowParams& params) = 0;
  // 0 until the window exists.
  virtual uintptr_t Handle() const = 0;
  virtual Control* Owner() const = 0;

  // Position and size in the parent's client coordinates.
  virtual void SetBounds(const Rect& r) = 0;
  virtual Rect Bounds() const = 0;
  virtual Rect ClientRect() const = 0;  // (0, 0, client width, client height)
  virtual Point ClientToScreen(Point p) const = 0;
  virtual Point ScreenToClient(Point p) const = 0;
  virtual void SetParent(uintptr_t parent) = 0;
  virtual void BringToFront() = 0;

  virtual void Show(bool visible) = 0;
  virtual bool IsVisible() const = 0;
  virtual void Enable(bool enabled) = 0;
  virtual void SetText(const std::string& text) = 0;
  virtual std::string Text() const = 0;
  // Style bits after creation (some take effect only when re-created).
  virtual void SetStyle(uint32_t style, uint32_t exStyle) = 0;
  // The window's style bits now, the scroll bars it shows included.
  virtual uint32_t CurrentStyle() const = 0;

  // Marks r (nullptr: the whole client area) for painting, with or
  // without a background erase first.
  virtual void Invalidate(const Rect* r, bool erase) = 0;
  virtual void Validate(const Rect* r) = 0;
  // Paints what is marked now (WM_PAINT before returning).
  virtual void Update() = 0;
  // Moves the pixels of scroll (nullptr: the client) by (dx, dy) within
  // clip (nullptr: no limit) and marks the uncovered part for painting.
  virtual void Scroll(int dx, int dy, const Rect* scroll, const Rect* clip) = 0;
  // Only the window's shape: pixels outside r are not the window's
  // (nullptr: the whole window again).
  virtual void SetRegion(const Region* r) = 0;
  // Begins painting (WM_PAINT): nullptr when there is nothing to paint.
  // msg is the WM_PAINT being handled (its WParam may carry a device).
  virtual std::unique_ptr<PaintSession> BeginPaint(const Message& msg) = 0;
  // A canvas on the window outside painting (inversion feedback; released
  // when destroyed); device != 0: a canvas on that device (WM_ERASEBKGND's).
  virtual std::unique_ptr<Canvas> GetCanvas(uintptr_t device = 0) = 0;

  virtual void SetFocus() = 0;
  virtual bool HasFocus() const = 0;
  virtual void SetCapture() = 0;
  virtual void ReleaseCapture() = 0;
  virtual bool HasCapture() const = 0;
  // Asks for a WM_MOUSELEAVE when the mouse leaves the window.
  virtual void TrackMouseLeave() = 0;
  // Window timers: WM_TIMER with wParam id every ms milliseconds (id 0 is a
  // valid id; setting an id again restarts it). false when refused.
  virtual bool SetTimer(uintptr_t id, unsigned ms) = 0;
  // Stopping an unknown id does nothing.
  virtual void KillTimer(uintptr_t id) = 0;
  virtual void SetCursor(Cursor c) = 0;

  // Scroll bars (SB_HORZ / SB_VERT): the flat scroll bars where the
  // system has them. SetScrollInfo answers the position kept (clamped to
  // [Min, Max - max(Page - 1, 0)]).
  virtual bool GetScrollInfo(int bar, ScrollInfo& info) const = 0;
  virtual int SetScrollInfo(int bar, const ScrollInfo& info, bool redraw) = 0;
  virtual void ShowScrollBar(int bar, bool show) = 0;
  // The look of the bars: FSB_REGULAR_MODE, FSB_ENCARTA_MODE, FSB_FLAT_MODE.
  virtual void SetScrollBarStyle(int mode) = 0;

  // The window's own default handling of a message the control left
  // unhandled (a wrapped standard control: its window procedure).
  virtual intptr_t DefaultProc(Message& msg) = 0;
  // Sends to / posts to this window (through the control's Dispatch).
  virtual intptr_t Send(unsigned msg, uintptr_t wp, intptr_t lp) = 0;
  virtual void Post(unsigned msg, uintptr_t wp, intptr_t lp) = 0;
};

class PeerFactory {
 public:
  virtual ~PeerFactory() = default;
  // A peer for owner, without a window yet (WindowPeer::Realize makes it).
  // The peer hands every message of its window to owner->Dispatch.
  virtual std::unique_ptr<WindowPeer> CreatePeer(Control* owner) = 0;
  // The handle of the window that has the keyboard focus (0: none).
  virtual uintptr_t FocusedHandle() const = 0;
  // The deepest visible window under a screen point that takes the mouse
  // there (0: none).
  virtual uintptr_t WindowAt(Point screen) const = 0;
};

inline PeerFactory& Peers() { return Service<PeerFactory>::Get(); }
template <>
PeerFactory& DefaultService<PeerFactory>();

}  // namespace gui
