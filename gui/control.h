// Controls: the portable base of every window of the program. A control
// has a parent and children, bounds, alignment, visibility, enabled state,
// font and colour (each optionally taken from the parent), caption, hint,
// cursor, tab order and a popup menu. Its window is a WindowPeer made on
// demand by the installed PeerFactory.
//
// Every message reaches the control through Dispatch, the one boundary
// where exceptions stop: an exception a handler throws is handed to the
// installed exception reporter and the control goes on working. Below
// Dispatch, WndProc decodes the standard messages into virtual handlers
// (Paint, MouseDown, KeyDown, Timer, ...) and leaves the rest to
// DefaultHandler; a control may override WndProc to see every message raw,
// its own CM_* notifications included. Perform calls WndProc directly (no
// catch), so a handler's exception travels up to the outermost Dispatch
// and abandons everything the message started.
#pragma once
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "gui/canvas.h"
#include "gui/color.h"
#include "gui/component.h"
#include "gui/drag_drop.h"
#include "gui/geometry.h"
#include "gui/graphics.h"
#include "gui/win_constants.h"
#include "gui/window_peer.h"

namespace gui {

class PopupMenu;

// Notifications of the layer itself (messages of the application range).
enum : unsigned {
  CM_BASE = 0xB000,
  CM_ENTER = CM_BASE + 1,            // the focus entered the control or a child
  CM_EXIT = CM_BASE + 2,             // ... and has now left them
  CM_MOUSEENTER = CM_BASE + 3,
  CM_MOUSELEAVE = CM_BASE + 4,
  CM_FONTCHANGED = CM_BASE + 5,
  CM_COLORCHANGED = CM_BASE + 6,
  CM_ENABLEDCHANGED = CM_BASE + 7,
  CM_TEXTCHANGED = CM_BASE + 8,
  CM_VISIBLECHANGED = CM_BASE + 9,
  CM_SHOWINGCHANGED = CM_BASE + 10,
  CM_PARENTFONTCHANGED = CM_BASE + 11,
  CM_PARENTCOLORCHANGED = CM_BASE + 12,
  CM_CANCELMODE = CM_BASE + 13,      // LParam: the control that causes it
  CM_WANTSPECIALKEY = CM_BASE + 14,  // WParam: the key; answer 1 to get it
  CM_DIALOGKEY = CM_BASE + 15,
  CM_APPKEYDOWN = CM_BASE + 16,      // WParam: the key, LParam: shift state
  CM_SYSCOLORCHANGE = CM_BASE + 17,
  CM_HITTEST = CM_BASE + 18,         // LParam: client point; answer 1 when on the control
  CM_HINTSHOW = CM_BASE + 19,
  CM_CHANGED = CM_BASE + 20,         // to the parent: a child's value changed; LParam: the child
  CM_USER = CM_BASE + 0x100,         // first number free for controls
  // Notifications reflected from a parent to the child that sent them.
  CN_BASE = 0xBC00,
};

enum AlignMode { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum MouseButton { mbLeft, mbRight, mbMiddle };

enum ShiftFlags : unsigned {
  ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32, ssDouble = 64,
};
using ShiftState = unsigned;

// Behaviour switches of a control.
enum ControlStyleFlags : unsigned {
  csCaptureMouse = 1,     // takes the mouse capture on a press, releases it on the release
  csClickEvents = 2,      // a press and release of the left button inside fire Click
  csDoubleClicks = 4,     // double-clicks arrive as such (class style CS_DBLCLKS)
  csOpaque = 8,           // paints its whole client area (no background erase)
  csAcceptsControls = 16, // may parent other controls
  csParentBackground = 32,
};

// The window system has no more of a resource to give (timers...).
class EOutOfResources : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
constexpr const char* kNoTimersMessage = "Not enough timers available";

// Silent abort: Dispatch drops it without reporting.
class Abort : public std::exception {
 public:
  const char* what() const noexcept override { return "Operation aborted"; }
};

// What a control is, for code that treats controls of a kind alike (the
// menu skin's flat looks): the containers and the standard controls.
enum class ControlKind {
  Other, Form, Frame, ToolBar, CoolBar, ControlBar, Panel, ScrollBox, GroupBox, TabSheet, PageScroller,
  ComboBox, Edit, MaskEdit, Memo, RichEdit, CheckBox, RadioButton, Button, BitBtn, SpeedButton, UpDown,
};

class Control;
// Reports an exception that a handler let escape. The product shows a
// message box; tests record it.
using ExceptionReporter = std::function<void(const std::string& what, Control* where)>;
// Installs r (an empty function: the default, plat::ShowMessage); returns
// the previous one.
ExceptionReporter SetExceptionReporter(ExceptionReporter r);
// Reports the exception being handled (call inside a catch block).
void ReportCurrentException(Control* where);

// Shift state from the key flags of a mouse message (MK_*) and the
// environment's Alt key.
ShiftState ShiftFromMouseFlags(unsigned mk);
// Shift state of the keyboard now (the environment's synchronous state).
ShiftState KeyboardShiftState();

class Control : public Component {
 public:
  explicit Control(Component* owner = nullptr);
  ~Control() override;

  // The control whose window has handle h (nullptr: none of ours).
  static Control* FromHandle(uintptr_t h);

  virtual ControlKind Kind() const { return ControlKind::Other; }

  // ------------------------------------------------------------ tree
  Control* Parent() const { return parent_; }
  // Moves the control under p (nullptr: no parent; its window goes).
  void SetParent(Control* p);
  int ControlCount() const { return int(children_.size()); }
  Control* Controls(int i) const { return children_[size_t(i)]; }
  bool ContainsControl(const Control* c) const;  // c is this or below it
  void BringToFront();
  void SendToBack();

  // ------------------------------------------------------------ bounds
  int Left() const { return bounds_.Left; }
  int Top() const { return bounds_.Top; }
  int Width() const { return bounds_.Width(); }
  int Height() const { return bounds_.Height(); }
  Rect BoundsRect() const { return bounds_; }
  void SetBounds(int left, int top, int width, int height);
  void SetLeft(int v) { SetBounds(v, Top(), Width(), Height()); }
  void SetTop(int v) { SetBounds(Left(), v, Width(), Height()); }
  void SetWidth(int v) { SetBounds(Left(), Top(), v, Height()); }
  void SetHeight(int v) { SetBounds(Left(), Top(), Width(), v); }
  // (0, 0, client width, client height): the window's client area, or the
  // bounds' size for a control without a window.
  virtual Rect ClientRect() const;
  int ClientWidth() const { return ClientRect().Width(); }
  int ClientHeight() const { return ClientRect().Height(); }
  Point ClientToScreen(Point p) const;
  Point ScreenToClient(Point p) const;

  AlignMode Align() const { return align_; }
  void SetAlign(AlignMode a);
  // Lays out the aligned children again.
  void Realign();
  // While the count is above 0 Realign does nothing; the last
  // EnableAlign realigns.
  void DisableAlign() { ++alignLock_; }
  void EnableAlign();

  // ------------------------------------------------------------ state
  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Visible, and every parent too.
  bool Showing() const;
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool e);

  gui::Font& Font() { return font_; }
  const gui::Font& Font() const { return font_; }
  bool ParentFont() const { return parentFont_; }
  void SetParentFont(bool p);
  gui::Color Color() const { return color_; }
  void SetColor(gui::Color c);
  bool ParentColor() const { return parentColor_; }
  void SetParentColor(bool p);

  const std::string& Caption() const { return text_; }
  void SetCaption(const std::string& s);
  const std::string& Text() const { return text_; }
  void SetText(const std::string& s) { SetCaption(s); }
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& h) { hint_ = h; }
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool s) { showHint_ = s; }
  gui::Cursor Cursor() const { return cursor_; }
  void SetCursor(gui::Cursor c);
  bool TabStop() const { return tabStop_; }
  void SetTabStop(bool t);
  // The three-dimensional look (a sunken client edge where a control's
  // border style asks for one); a change re-creates the window.
  bool Ctl3D() const { return ctl3D_; }
  void SetCtl3D(bool v);
  // Position in the parent's tab order (0 first).
  int TabOrder() const;
  void SetTabOrder(int order);
  // This control's windowed children in tab order.
  std::vector<Control*> TabList() const;
  gui::PopupMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(gui::PopupMenu* m);
  unsigned ControlStyle() const { return controlStyle_; }
  void SetControlStyle(unsigned s) { controlStyle_ = s; }

  // ------------------------------------------------------------ window
  // Whether the control has a window of its own (GraphicControl: no).
  virtual bool Windowed() const { return true; }
  bool HandleAllocated() const { return peer_ != nullptr; }
  // The window's handle, creating the window (and its parents') first.
  uintptr_t Handle();
  void HandleNeeded();
  WindowPeer* Peer() const { return peer_.get(); }
  // Destroys the window (and the children's); it is made again on demand.
  void DestroyHandle();
  // Destroys and makes the window again (after a change of its parameters).
  void RecreateWnd();

  void Invalidate();
  void InvalidateRect(const Rect& r, bool erase = false);
  void Update();
  void Repaint() { Invalidate(); Update(); }
  // A canvas on the window outside painting, released when destroyed
  // (nullptr without a window). A control without a window gets its
  // parent's, moved and clipped to the control.
  std::unique_ptr<Canvas> WindowCanvas();

  bool CanFocus() const;
  void SetFocus();
  // The keyboard focus is on this control's window.
  bool Focused() const;
  bool MouseCapture() const;
  void SetMouseCapture(bool c);
  bool SetTimer(uintptr_t id, unsigned ms);
  void KillTimer(uintptr_t id);
  bool GetScrollInfo(int bar, ScrollInfo& info) const;
  int SetScrollInfo(int bar, const ScrollInfo& info, bool redraw = true);

  // The boundary: runs the message through WindowProc, reporting (never
  // passing on) an exception; answers the message's result.
  intptr_t Dispatch(Message& m);
  // Runs a message through WindowProc now, exceptions passing through.
  intptr_t Perform(unsigned msg, uintptr_t wp = 0, intptr_t lp = 0);
  // A message of the control is being handled (its Dispatch or Perform is
  // on the stack): freeing it now would pull it from under that handling.
  bool HandlingMessage() const { return handling_ > 0; }
  // Frees the control: at once, or, while it handles a message, as soon as
  // the outermost of those handlings returns.
  void Release();
  // The control's message handler: empty, WndProc itself. A party that
  // takes it over (subclassing the control) keeps the one before and
  // passes every message on to it, or to ControlWndProc when it was empty.
  std::function<void(Message& m)> WindowProc;
  void ControlWndProc(Message& m) { WndProc(m); }

  // ------------------------------------------------------------ drag-and-drop
  // Automatic: the control begins a drag of its own accord when the mouse
  // pulls something out of it (the control decides when); manual: only
  // BeginDrag does.
  gui::DragMode DragMode() const { return dragMode_; }
  void SetDragMode(gui::DragMode m) { dragMode_ = m; }
  // Begins a drag of this control (it keeps the mouse): at once, or once
  // the mouse has moved more than threshold pixels either way from where
  // it is now (-1: the system's drag threshold); a release before that is
  // an ordinary release.
  void BeginDrag(bool immediate, int threshold = -1) { DragDriver::Begin(*this, immediate, threshold); }
  // Ends this control's drag: with drop on the control under the mouse
  // when it takes it.
  void EndDrag(bool drop);
  // A drag of this control is on (begun and past its threshold).
  bool Dragging() const;

  // ------------------------------------------------------------ events
  std::function<void(Control* sender)> OnClick;
  std::function<void(Control* sender)> OnDblClick;
  std::function<void(Control* sender, MouseButton b, ShiftState s, int x, int y)> OnMouseDown;
  std::function<void(Control* sender, MouseButton b, ShiftState s, int x, int y)> OnMouseUp;
  std::function<void(Control* sender, ShiftState s, int x, int y)> OnMouseMove;
  std::function<void(Control* sender, ShiftState s, int delta, Point pos, bool& handled)>
      OnMouseWheel;
  std::function<void(Control* sender)> OnMouseEnter;
  std::function<void(Control* sender)> OnMouseLeave;
  std::function<void(Control* sender, uint16_t& key, ShiftState s)> OnKeyDown;
  std::function<void(Control* sender, char& key)> OnKeyPress;
  std::function<void(Control* sender, uint16_t& key, ShiftState s)> OnKeyUp;
  std::function<void(Control* sender)> OnEnter;
  std::function<void(Control* sender)> OnExit;
  std::function<void(Control* sender)> OnResize;
  std::function<void(Control* sender)> OnStartDrag;
  // accept starts true when the handler is assigned.
  std::function<void(Control* sender, Control* source, int x, int y, DragState state, bool& accept)> OnDragOver;
  std::function<void(Control* sender, Control* source, int x, int y)> OnDragDrop;
  // target: where it was dropped (nullptr: nowhere, or cancelled).
  std::function<void(Control* sender, Control* target, int x, int y)> OnEndDrag;

 protected:
  // Window parameters; overrides call the base and adjust.
  virtual void CreateParams(WindowParams& p);
  // The window changed its own text (typing into an edit): the caption
  // follows without writing it back to the window.
  void TextFromWindow(const std::string& s) { text_ = s; }
  // After the window is made (the place for window timers and the like)
  // and before it goes.
  virtual void HandleCreated() {}
  virtual void HandleDestroying() {}

  virtual void WndProc(Message& m);
  // What WndProc does with a message it does not decode: the window's
  // default handling (0 without a window).
  virtual void DefaultHandler(Message& m);

  // Paints the area clip (client coordinates) of the control.
  virtual void Paint(Canvas& canvas, const Rect& clip) {}
  // Erases the background: true when done (the default fills the client
  // area with Color unless csOpaque).
  virtual bool EraseBackground(Canvas& canvas);
  virtual void Resize();
  virtual void MouseDown(MouseButton b, ShiftState s, int x, int y);
  virtual void MouseUp(MouseButton b, ShiftState s, int x, int y);
  virtual void MouseMove(ShiftState s, int x, int y);
  virtual void Click();
  virtual void DblClick();
  // pos in screen coordinates; true when handled.
  virtual bool MouseWheel(ShiftState s, int delta, Point pos);
  virtual void MouseEnter();
  virtual void MouseLeave();
  virtual void KeyDown(uint16_t& key, ShiftState s);
  virtual void KeyPress(char& key);
  virtual void KeyUp(uint16_t& key, ShiftState s);
  // WM_GETDLGCODE: the keys the control wants; defaultCode is the window's
  // own answer.
  virtual unsigned GetDlgCode(unsigned defaultCode) { return defaultCode; }
  virtual void Timer(uintptr_t id) {}
  // The keyboard focus arrived from / left for the window with handle
  // other (0: none or not ours).
  virtual void FocusIn(uintptr_t other) {}
  virtual void FocusOut(uintptr_t other) {}
  // The focus entered this control or one below it from outside / left
  // them for outside (CM_ENTER / CM_EXIT): fire OnEnter / OnExit.
  virtual void DoEnter();
  virtual void DoExit();
  // WM_CAPTURECHANGED: the mouse capture left the window; lost: not by
  // the control's own release (another window took it, or the system let
  // it go), so that no release of the button will come.
  virtual void CaptureChanged(bool lost) {}
  // WM_CANCELMODE / CM_CANCELMODE: the default releases the capture.
  virtual void CancelMode();
  // WM_SETCURSOR over the window (hitTest: HT*): true when the cursor was
  // set (the default: Cursor over the client area unless Default).
  virtual bool UpdateCursor(int hitTest);
  // WM_NCHITTEST at a screen point; defaultCode is the window's answer.
  virtual int NcHitTest(Point screen, int defaultCode) { return defaultCode; }
  // Whether a client point is on the control (a GraphicControl's
  // transparent parts answer false and the click goes to what is below).
  virtual bool HitTest(Point client) const { return true; }
  // Notifications of property changes (sent as CM_* through WndProc).
  virtual void FontChanged();
  virtual void ColorChanged();
  virtual void EnabledChanged();
  virtual void TextChanged();
  virtual void VisibleChanged();
  // Lays the aligned children out in area (the client rectangle after
  // AdjustClientRect).
  virtual void AlignControls(Rect& area);
  virtual void AdjustClientRect(Rect& r) {}
  // Drag-and-drop: this control's drag has started (OnStartDrag); a drag
  // is over this control at a client point (entering, moving, leaving; the
  // default fires OnDragOver, accept is the answer); dropped here
  // (OnDragDrop); this control's drag has ended (OnEndDrag).
  virtual void DoStartDrag();
  virtual void DragOver(Control* source, int x, int y, DragState state, bool& accept);
  virtual void DragDrop(Control* source, int x, int y);
  virtual void DoEndDrag(Control* target, int x, int y);

  void Notification(Component* c, Operation op) override;
  void Loaded() override;
  // Children without windows painted into the parent's paint.
  void PaintGraphicChildren(Canvas& canvas, const Rect& clip);

 private:
  friend class DragDriver;
  // Counts a handling of a message for its scope; the last one to end
  // frees a released control. A control freed meanwhile (by its owner)
  // is left alone.
  class HandlingScope;
  void UpdateBoundsFromPeer();
  void ChildrenHandlesNeeded();
  void HandlePaint(Message& m);
  void HandleMouse(Message& m);
  // A press takes the mouse (csCaptureMouse) unless an earlier press holds it.
  void TakeMouseCapture(MouseButton b);
  bool RouteMouseToGraphicChild(Message& m);
  void HandleFocusChange(Message& m, bool gained);
  void FontOnChange();
  void ApplyParentFont();
  void ApplyParentColor();
  void RemoveChild(Control* c);

  Control* parent_ = nullptr;
  std::vector<Control*> children_;  // z-order: last on top
  std::vector<Control*> tabOrder_;
  std::unique_ptr<WindowPeer> peer_;
  Rect bounds_;
  AlignMode align_ = alNone;
  int alignLock_ = 0;
  bool aligning_ = false;
  bool visible_ = true;
  bool enabled_ = true;
  gui::Font font_;
  bool parentFont_ = true;
  bool applyingParentFont_ = false;
  gui::Color color_ = clBtnFace;
  bool parentColor_ = false;
  std::string text_;
  std::string hint_;
  bool showHint_ = false;
  gui::Cursor cursor_ = gui::Cursor::Default;
  bool tabStop_ = false;
  bool ctl3D_ = true;
  gui::PopupMenu* popupMenu_ = nullptr;
  unsigned controlStyle_ = csCaptureMouse | csClickEvents | csDoubleClicks;
  gui::DragMode dragMode_ = dmManual;
  bool mouseInside_ = false;
  bool leftPressed_ = false;
  // The button whose press took the mouse capture (-1: none): only its
  // release lets it go.
  int captureButton_ = -1;
  bool releasingCapture_ = false;
  Control* mouseControl_ = nullptr;  // graphic child holding the mouse
  int handling_ = 0;
  bool released_ = false;
  bool* freedFlag_ = nullptr;  // the innermost handling's "freed" flag
};

// A control without a window of its own: its parent paints it (in the
// parent's paint, moved to its position and clipped to it) and passes it
// the mouse messages over it. It has no focus, timers or scroll bars.
class GraphicControl : public Control {
 public:
  explicit GraphicControl(Component* owner = nullptr);
  bool Windowed() const override { return false; }
};

}  // namespace gui
