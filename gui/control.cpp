#include "gui/control.h"

#include <algorithm>
#include <map>
#include <stdexcept>

#include "gui/environment.h"
#include "gui/menu.h"
#include "platform/system.h"

namespace gui {

namespace {

std::map<uintptr_t, Control*>& HandleMap() {
  static std::map<uintptr_t, Control*> map;
  return map;
}

ExceptionReporter& Reporter() {
  static ExceptionReporter r;
  return r;
}

bool IsMouseMessage(unsigned msg) { return msg >= WM_MOUSEMOVE && msg <= WM_MBUTTONDBLCLK; }

}  // namespace

ExceptionReporter SetExceptionReporter(ExceptionReporter r) {
  ExceptionReporter prev = std::move(Reporter());
  Reporter() = std::move(r);
  return prev;
}

void ReportCurrentException(Control* where) {
  std::string what;
  try {
    throw;
  } catch (const Abort&) {
    return;
  } catch (const std::exception& e) {
    what = e.what();
  } catch (...) {
    what = "unknown exception";
  }
  try {
    if (Reporter())
      Reporter()(what, where);
    else
      plat::ShowMessage(what);
  } catch (...) {
    // The reporter's own failure has nowhere to go.
  }
}

ShiftState ShiftFromMouseFlags(unsigned mk) {
  ShiftState s = 0;
  if (mk & MK_SHIFT) s |= ssShift;
  if (mk & MK_CONTROL) s |= ssCtrl;
  if (mk & MK_LBUTTON) s |= ssLeft;
  if (mk & MK_RBUTTON) s |= ssRight;
  if (mk & MK_MBUTTON) s |= ssMiddle;
  if (Env().KeyDown(VK_MENU)) s |= ssAlt;
  return s;
}

ShiftState KeyboardShiftState() {
  const Environment& e = Env();
  ShiftState s = 0;
  if (e.KeyDown(VK_SHIFT)) s |= ssShift;
  if (e.KeyDown(VK_CONTROL)) s |= ssCtrl;
  if (e.KeyDown(VK_MENU)) s |= ssAlt;
  if (e.KeyDown(VK_LBUTTON)) s |= ssLeft;
  if (e.KeyDown(VK_RBUTTON)) s |= ssRight;
  if (e.KeyDown(VK_MBUTTON)) s |= ssMiddle;
  return s;
}

// ---------------------------------------------------------------- life

Control::Control(Component* owner) : Component(owner) {
  font_.OnChange = [this](GraphicsObject&) { FontOnChange(); };
}

Control::~Control() {
  if (freedFlag_) *freedFlag_ = true;
  DragDriver::Forget(*this);
  MarkDestroying();
  // Owned components go while this is still a whole control.
  DestroyComponents();
  DestroyHandle();
  for (Control* c : children_) c->parent_ = nullptr;
  children_.clear();
  tabOrder_.clear();
  if (parent_) parent_->RemoveChild(this);
  font_.OnChange = nullptr;
}

Control* Control::FromHandle(uintptr_t h) {
  if (!h) return nullptr;
  auto it = HandleMap().find(h);
  return it == HandleMap().end() ? nullptr : it->second;
}

// ---------------------------------------------------------------- tree

void Control::SetParent(Control* p) {
  if (p == parent_) return;
  if (p && (p == this || ContainsControl(p))) throw std::logic_error("a control cannot be its own parent");
  if (parent_) parent_->RemoveChild(this);
  DestroyHandle();
  parent_ = p;
  if (!p) return;
  p->children_.push_back(this);
  if (Windowed()) p->tabOrder_.push_back(this);
  if (parentFont_) ApplyParentFont();
  if (parentColor_) ApplyParentColor();
  if (Windowed() && p->HandleAllocated()) HandleNeeded();
  if (!Windowed()) Invalidate();
  p->Realign();
}

void Control::RemoveChild(Control* c) {
  children_.erase(std::remove(children_.begin(), children_.end(), c), children_.end());
  tabOrder_.erase(std::remove(tabOrder_.begin(), tabOrder_.end(), c), tabOrder_.end());
  if (mouseControl_ == c) mouseControl_ = nullptr;
  c->DestroyHandle();
  c->parent_ = nullptr;
  if (!Destroying()) {
    if (!c->Windowed() && c->visible_) InvalidateRect(c->bounds_, true);
    Realign();
  }
}

bool Control::ContainsControl(const Control* c) const {
  for (; c; c = c->parent_)
    if (c == this) return true;
  return false;
}

void Control::BringToFront() {
  if (!parent_) {
    if (peer_) peer_->BringToFront();
    return;
  }
  auto& v = parent_->children_;
  v.erase(std::remove(v.begin(), v.end(), this), v.end());
  v.push_back(this);
  if (peer_) peer_->BringToFront();
  Invalidate();
}

void Control::SendToBack() {
  if (!parent_) return;
  auto& v = parent_->children_;
  v.erase(std::remove(v.begin(), v.end(), this), v.end());
  v.insert(v.begin(), this);
  parent_->InvalidateRect(bounds_, true);
}

// ---------------------------------------------------------------- bounds

void Control::SetBounds(int left, int top, int width, int height) {
  width = std::max(0, width);
  height = std::max(0, height);
  const Rect fresh = Rect::FromSize(left, top, width, height);
  if (fresh == bounds_) return;
  const Rect old = bounds_;
  const bool resized = old.Width() != width || old.Height() != height;
  bounds_ = fresh;
  if (peer_) {
    // The window answers with WM_SIZE when its size changed.
    peer_->SetBounds(bounds_);
  } else {
    if (!Windowed() && parent_ && visible_) {
      parent_->InvalidateRect(old, true);
      parent_->InvalidateRect(bounds_, true);
    }
    if (resized) {
      Realign();
      Resize();
    }
  }
  if (parent_ && align_ != alNone) parent_->Realign();
}

Rect Control::ClientRect() const {
  if (peer_) return peer_->ClientRect();
  return {0, 0, Width(), Height()};
}

Point Control::ClientToScreen(Point p) const {
  if (peer_) return peer_->ClientToScreen(p);
  const Point q = p + bounds_.TopLeft();
  return parent_ ? parent_->ClientToScreen(q) : q;
}

Point Control::ScreenToClient(Point p) const {
  const Point origin = ClientToScreen({0, 0});
  return p - origin;
}

void Control::SetAlign(AlignMode a) {
  if (a == align_) return;
  align_ = a;
  if (parent_) parent_->Realign();
}

void Control::EnableAlign() {
  if (alignLock_ > 0 && --alignLock_ == 0) Realign();
}

void Control::Realign() {
  if (alignLock_ > 0 || aligning_ || Destroying()) return;
  aligning_ = true;
  try {
    Rect area = ClientRect();
    AdjustClientRect(area);
    AlignControls(area);
  } catch (...) {
    aligning_ = false;
    throw;
  }
  aligning_ = false;
}

void Control::AlignControls(Rect& area) {
  // Top, bottom, left, right, then client; within each kind the controls
  // keep the order of their positions (ties: the order of the children).
  for (AlignMode a : {alTop, alBottom, alLeft, alRight, alClient}) {
    std::vector<Control*> list;
    for (Control* c : children_)
      if (c->align_ == a && c->visible_) list.push_back(c);
    std::stable_sort(list.begin(), list.end(), [a](const Control* x, const Control* y) {
      switch (a) {
        case alTop: return x->Top() < y->Top();
        case alBottom: return x->bounds_.Bottom > y->bounds_.Bottom;
        case alLeft: return x->Left() < y->Left();
        case alRight: return x->bounds_.Right > y->bounds_.Right;
        default: return false;
      }
    });
    for (Control* c : list) {
      const int w = std::max(0, area.Width()), h = std::max(0, area.Height());
      switch (a) {
        case alTop: {
          const int ch = std::min(c->Height(), h);
          c->SetBounds(area.Left, area.Top, w, c->Height());
          area.Top += ch;
          break;
        }
        case alBottom: {
          const int ch = std::min(c->Height(), h);
          c->SetBounds(area.Left, area.Bottom - c->Height(), w, c->Height());
          area.Bottom -= ch;
          break;
        }
        case alLeft: {
          const int cw = std::min(c->Width(), w);
          c->SetBounds(area.Left, area.Top, c->Width(), h);
          area.Left += cw;
          break;
        }
        case alRight: {
          const int cw = std::min(c->Width(), w);
          c->SetBounds(area.Right - c->Width(), area.Top, c->Width(), h);
          area.Right -= cw;
          break;
        }
        default:
          c->SetBounds(area.Left, area.Top, w, h);
          break;
      }
    }
  }
}

void Control::UpdateBoundsFromPeer() {
  if (peer_) bounds_ = peer_->Bounds();
}

// ---------------------------------------------------------------- state

void Control::SetVisible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  if (Windowed()) {
    if (v && !peer_ && (!parent_ || parent_->HandleAllocated())) HandleNeeded();
    if (peer_) peer_->Show(v);
  } else if (parent_) {
    parent_->InvalidateRect(bounds_, true);
  }
  Perform(CM_VISIBLECHANGED, v ? 1 : 0);
  if (parent_ && align_ != alNone) parent_->Realign();
}

bool Control::Showing() const {
  for (const Control* c = this; c; c = c->parent_)
    if (!c->visible_) return false;
  return true;
}

void Control::SetEnabled(bool e) {
  if (e == enabled_) return;
  enabled_ = e;
  if (peer_) peer_->Enable(e);
  Perform(CM_ENABLEDCHANGED, e ? 1 : 0);
}

void Control::SetParentFont(bool p) {
  parentFont_ = p;
  if (p && parent_) ApplyParentFont();
}

void Control::ApplyParentFont() {
  if (!parent_) return;
  applyingParentFont_ = true;
  try {
    font_.Assign(parent_->font_);
  } catch (...) {
    applyingParentFont_ = false;
    throw;
  }
  applyingParentFont_ = false;
}

void Control::FontOnChange() {
  // A font set on the control itself is its own from then on.
  if (!applyingParentFont_) parentFont_ = false;
  Perform(CM_FONTCHANGED);
  for (Control* c : std::vector<Control*>(children_))
    if (c->parentFont_) c->ApplyParentFont();
}

void Control::SetColor(gui::Color c) {
  parentColor_ = false;
  if (c == color_) return;
  color_ = c;
  Perform(CM_COLORCHANGED);
  for (Control* ch : std::vector<Control*>(children_))
    if (ch->parentColor_) ch->ApplyParentColor();
}

void Control::SetParentColor(bool p) {
  parentColor_ = p;
  if (p && parent_) ApplyParentColor();
}

void Control::ApplyParentColor() {
  if (!parent_ || color_ == parent_->color_) return;
  color_ = parent_->color_;
  Perform(CM_COLORCHANGED);
  for (Control* ch : std::vector<Control*>(children_))
    if (ch->parentColor_) ch->ApplyParentColor();
}

void Control::SetCaption(const std::string& s) {
  if (s == text_) return;
  text_ = s;
  if (peer_) peer_->SetText(s);
  Perform(CM_TEXTCHANGED);
}

void Control::SetCursor(gui::Cursor c) { cursor_ = c; }

void Control::SetCtl3D(bool v) {
  if (v == ctl3D_) return;
  ctl3D_ = v;
  RecreateWnd();
}

void Control::SetTabStop(bool t) {
  if (t == tabStop_) return;
  tabStop_ = t;
  if (peer_) {
    WindowParams p;
    CreateParams(p);
    peer_->SetStyle(p.Style, p.ExStyle);
  }
}

int Control::TabOrder() const {
  if (!parent_) return -1;
  const auto& v = parent_->tabOrder_;
  auto it = std::find(v.begin(), v.end(), this);
  return it == v.end() ? -1 : int(it - v.begin());
}

void Control::SetTabOrder(int order) {
  if (!parent_) return;
  auto& v = parent_->tabOrder_;
  auto it = std::find(v.begin(), v.end(), this);
  if (it == v.end()) return;
  v.erase(it);
  order = std::clamp(order, 0, int(v.size()));
  v.insert(v.begin() + order, this);
}

std::vector<Control*> Control::TabList() const { return tabOrder_; }

void Control::SetPopupMenu(gui::PopupMenu* m) {
  if (m == popupMenu_) return;
  if (popupMenu_) RemoveFreeNotification(popupMenu_);
  popupMenu_ = m;
  if (m) FreeNotification(m);
}

void Control::Notification(Component* c, Operation op) {
  if (op == Operation::Remove && c && c == static_cast<Component*>(popupMenu_)) popupMenu_ = nullptr;
  Component::Notification(c, op);
}

void Control::Loaded() {
  Component::Loaded();
  Realign();
}

// ---------------------------------------------------------------- window

void Control::CreateParams(WindowParams& p) {
  p.ClassName = "TarnControl";
  p.Caption = text_;
  p.Style = parent_ ? (WS_CHILD | WS_CLIPSIBLINGS) : WS_POPUP;
  if (controlStyle_ & csAcceptsControls) p.Style |= WS_CLIPCHILDREN;
  if (visible_) p.Style |= WS_VISIBLE;
  if (!enabled_) p.Style |= WS_DISABLED;
  if (tabStop_) p.Style |= WS_TABSTOP;
  p.ClassStyle = (controlStyle_ & csDoubleClicks) ? CS_DBLCLKS : 0u;
  p.Bounds = bounds_;
  p.Parent = parent_ && parent_->peer_ ? parent_->peer_->Handle() : 0;
}

uintptr_t Control::Handle() {
  if (!Windowed()) return 0;
  HandleNeeded();
  return peer_ ? peer_->Handle() : 0;
}

void Control::HandleNeeded() {
  if (!Windowed()) {
    if (parent_) parent_->HandleNeeded();
    return;
  }
  if (peer_) return;
  if (parent_) {
    if (!parent_->Windowed()) throw std::logic_error("a window needs a parent that has one");
    parent_->HandleNeeded();
    if (peer_) return;  // the parent made this one with its children
  }
  WindowParams p;
  CreateParams(p);
  peer_ = Peers().CreatePeer(this);
  if (!peer_->Realize(p)) {
    peer_.reset();
    throw std::runtime_error("the window could not be created");
  }
  HandleMap()[peer_->Handle()] = this;
  HandleCreated();
  ChildrenHandlesNeeded();
  Realign();
}

void Control::ChildrenHandlesNeeded() {
  for (Control* c : std::vector<Control*>(children_))
    if (c->Windowed() && !c->peer_) c->HandleNeeded();
}

void Control::DestroyHandle() {
  if (!peer_) return;
  for (Control* c : children_) c->DestroyHandle();
  HandleDestroying();
  HandleMap().erase(peer_->Handle());
  mouseInside_ = false;
  peer_.reset();
}

void Control::RecreateWnd() {
  if (!peer_) return;
  DestroyHandle();
  HandleNeeded();
}

void Control::Invalidate() {
  if (Windowed()) {
    if (peer_) peer_->Invalidate(nullptr, !(controlStyle_ & csOpaque));
  } else if (parent_ && visible_) {
    parent_->InvalidateRect(bounds_, !(controlStyle_ & csOpaque));
  }
}

void Control::InvalidateRect(const Rect& r, bool erase) {
  if (Windowed()) {
    if (peer_) peer_->Invalidate(&r, erase);
  } else if (parent_ && visible_) {
    const Rect q = r.Offset(Left(), Top()).Intersect(bounds_);
    if (!q.IsEmpty()) parent_->InvalidateRect(q, erase);
  }
}

void Control::Update() {
  if (peer_)
    peer_->Update();
  else if (!Windowed() && parent_)
    parent_->Update();
}

std::unique_ptr<Canvas> Control::WindowCanvas() {
  if (Windowed()) return peer_ ? peer_->GetCanvas(0) : nullptr;
  if (!parent_) return nullptr;
  std::unique_ptr<Canvas> c = parent_->WindowCanvas();
  if (c) {
    c->SetViewportOrigin(c->ViewportOrigin() + bounds_.TopLeft());
    c->IntersectClip(ClientRect());
  }
  return c;
}

bool Control::CanFocus() const {
  if (!Windowed()) return false;
  for (const Control* c = this; c; c = c->parent_)
    if (!c->visible_ || !c->enabled_) return false;
  return true;
}

void Control::SetFocus() {
  if (!Windowed()) return;
  HandleNeeded();
  peer_->SetFocus();
}

bool Control::Focused() const { return peer_ && peer_->HasFocus(); }

bool Control::MouseCapture() const {
  if (!Windowed()) return parent_ && parent_->mouseControl_ == this && parent_->MouseCapture();
  return peer_ && peer_->HasCapture();
}

void Control::SetMouseCapture(bool c) {
  if (!Windowed()) {
    if (!parent_) return;
    parent_->mouseControl_ = c ? this : nullptr;
    parent_->SetMouseCapture(c);
    return;
  }
  if (!peer_) return;
  if (c) {
    peer_->SetCapture();
  } else if (peer_->HasCapture()) {
    releasingCapture_ = true;
    peer_->ReleaseCapture();
    releasingCapture_ = false;
  }
}

bool Control::SetTimer(uintptr_t id, unsigned ms) {
  if (!Windowed()) return false;
  HandleNeeded();
  return peer_->SetTimer(id, ms);
}

void Control::KillTimer(uintptr_t id) {
  if (peer_) peer_->KillTimer(id);
}

bool Control::GetScrollInfo(int bar, ScrollInfo& info) const {
  return peer_ && peer_->GetScrollInfo(bar, info);
}

int Control::SetScrollInfo(int bar, const ScrollInfo& info, bool redraw) {
  if (!Windowed()) return 0;
  HandleNeeded();
  return peer_->SetScrollInfo(bar, info, redraw);
}

// ---------------------------------------------------------------- messages

class Control::HandlingScope {
 public:
  explicit HandlingScope(Control& c) : c_(c), outer_(c.freedFlag_) {
    c.freedFlag_ = &freed_;
    ++c.handling_;
  }
  ~HandlingScope() {
    if (freed_) {
      if (outer_) *outer_ = true;
      return;
    }
    c_.freedFlag_ = outer_;
    if (--c_.handling_ > 0 || !c_.released_) return;
    c_.released_ = false;  // the messages of its going are no handling to wait for
    delete &c_;
  }
  HandlingScope(const HandlingScope&) = delete;
  HandlingScope& operator=(const HandlingScope&) = delete;

 private:
  Control& c_;
  bool* outer_;
  bool freed_ = false;
};

intptr_t Control::Dispatch(Message& m) {
  // Outside the handler below: a released control goes after the report.
  const HandlingScope handling(*this);
  try {
    if (WindowProc)
      WindowProc(m);
    else
      WndProc(m);
  } catch (...) {
    ReportCurrentException(this);
  }
  return m.Result;
}

intptr_t Control::Perform(unsigned msg, uintptr_t wp, intptr_t lp) {
  Message m{msg, wp, lp, 0};
  const HandlingScope handling(*this);
  if (WindowProc)
    WindowProc(m);
  else
    WndProc(m);
  return m.Result;
}

void Control::Release() {
  if (handling_ > 0)
    released_ = true;
  else
    delete this;
}

void Control::DefaultHandler(Message& m) {
  m.Result = Windowed() && peer_ ? peer_->DefaultProc(m) : 0;
}

void Control::WndProc(Message& m) {
  if (IsMouseMessage(m.Msg)) {
    const DragDriver::MouseMessageScope at(ClientToScreen(PointFromLParam(m.LParam)));
    if (DragDriver::SourceMessage(*this, m)) return;
    const bool release = m.Msg == WM_LBUTTONUP;
    HandleMouse(m);
    // The control has seen the release of its drag: the drop follows (the
    // control may be gone, and its drag with it).
    if (const DragObject* d = CurrentDrag(); release && d && d->Source() == this) DragDriver::Finish(true);
    return;
  }
  switch (m.Msg) {
    case WM_PAINT:
      HandlePaint(m);
      return;
    case WM_ERASEBKGND: {
      std::unique_ptr<Canvas> c = peer_ ? peer_->GetCanvas(m.WParam) : nullptr;
      if (c && EraseBackground(*c))
        m.Result = 1;
      else
        DefaultHandler(m);
      return;
    }
    case WM_SIZE:
      // The window's own handling first: a system control (a multi-line
      // edit wrapping its lines, a list view its scroll bars) lays itself
      // out for its new size.
      DefaultHandler(m);
      UpdateBoundsFromPeer();
      Realign();
      Resize();
      return;
    case WM_MOVE:
      DefaultHandler(m);
      UpdateBoundsFromPeer();
      return;
    case WM_MOUSELEAVE:
      mouseInside_ = false;
      if (peer_) Perform(CM_MOUSELEAVE);
      return;
    case WM_MOUSEWHEEL: {
      const ShiftState s = ShiftFromMouseFlags(unsigned(LoWord(intptr_t(m.WParam))));
      const int delta = HiWordSigned(intptr_t(m.WParam));
      if (MouseWheel(s, delta, PointFromLParam(m.LParam)))
        m.Result = 0;
      else
        DefaultHandler(m);
      return;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      if (DragDriver::SourceMessage(*this, m)) return;  // Escape ends a drag
      uint16_t key = uint16_t(m.WParam);
      ShiftState s = KeyboardShiftState();
      if (m.LParam & (1 << 29)) s |= ssAlt;
      if (m.Msg == WM_KEYDOWN || m.Msg == WM_SYSKEYDOWN)
        KeyDown(key, s);
      else
        KeyUp(key, s);
      if (key == 0) return;  // swallowed
      m.WParam = key;
      DefaultHandler(m);
      return;
    }
    case WM_CHAR: {
      char ch = char(m.WParam);
      KeyPress(ch);
      if (ch == 0) return;
      m.WParam = uint8_t(ch);
      DefaultHandler(m);
      return;
    }
    case WM_GETDLGCODE:
      DefaultHandler(m);
      m.Result = intptr_t(GetDlgCode(unsigned(m.Result)));
      return;
    case WM_TIMER:
      Timer(m.WParam);
      return;
    case WM_SETFOCUS:
      DefaultHandler(m);
      HandleFocusChange(m, true);
      return;
    case WM_KILLFOCUS:
      DefaultHandler(m);
      HandleFocusChange(m, false);
      return;
    case WM_CAPTURECHANGED: {
      // Taken again by this window (a drag taking the mouse it has): the
      // press that took it first still holds it.
      if (!peer_ || uintptr_t(m.LParam) != peer_->Handle()) {
        mouseControl_ = nullptr;
        captureButton_ = -1;
        CaptureChanged(!releasingCapture_);
      }
      // The window's own procedure hears it too: a system control (a
      // pressed button, an edit selecting with the mouse) ends its
      // tracking there.
      DefaultHandler(m);
      return;
    }
    case WM_CANCELMODE:
    case CM_CANCELMODE:
      CancelMode();
      if (m.Msg == WM_CANCELMODE) DefaultHandler(m);
      return;
    case WM_SETCURSOR:
      if (peer_ && m.WParam == peer_->Handle() && UpdateCursor(LoWordSigned(m.LParam)))
        m.Result = 1;
      else
        DefaultHandler(m);
      return;
    case WM_NCHITTEST:
      DefaultHandler(m);
      m.Result = NcHitTest(PointFromLParam(m.LParam), int(m.Result));
      return;
    case WM_CONTEXTMENU:
      if (popupMenu_ && popupMenu_->AutoPopup()) {
        Point p = PointFromLParam(m.LParam);
        if (p.X == -1 && p.Y == -1) p = ClientToScreen({0, 0});  // from the keyboard
        popupMenu_->SetPopupComponent(this);
        popupMenu_->Popup(p.X, p.Y);
        m.Result = 1;
      } else {
        DefaultHandler(m);
      }
      return;
    case CM_ENTER: DoEnter(); return;
    case CM_EXIT: DoExit(); return;
    case CM_MOUSEENTER: MouseEnter(); return;
    case CM_MOUSELEAVE: MouseLeave(); return;
    case CM_FONTCHANGED: FontChanged(); return;
    case CM_COLORCHANGED: ColorChanged(); return;
    case CM_ENABLEDCHANGED: EnabledChanged(); return;
    case CM_TEXTCHANGED: TextChanged(); return;
    case CM_VISIBLECHANGED: VisibleChanged(); return;
    case CM_HITTEST: m.Result = HitTest(PointFromLParam(m.LParam)) ? 1 : 0; return;
    default:
      DefaultHandler(m);
      return;
  }
}

void Control::HandlePaint(Message& m) {
  std::unique_ptr<PaintSession> ps = peer_ ? peer_->BeginPaint(m) : nullptr;
  if (!ps) {
    DefaultHandler(m);
    return;
  }
  Canvas& c = ps->GetCanvas();
  const Rect clip = ps->ClipRect();
  c.Font().Assign(font_);
  c.Brush().SetColor(color_);
  Paint(c, clip);
  PaintGraphicChildren(c, clip);
  m.Result = 0;
}

void Control::PaintGraphicChildren(Canvas& canvas, const Rect& clip) {
  for (Control* ch : std::vector<Control*>(children_)) {
    if (ch->Windowed() || !ch->visible_ || clip.Intersect(ch->bounds_).IsEmpty()) continue;
    CanvasSaver save(canvas);
    canvas.SetViewportOrigin(canvas.ViewportOrigin() + ch->bounds_.TopLeft());
    canvas.IntersectClip(ch->ClientRect());
    canvas.Font().Assign(ch->font_);
    canvas.Brush().SetColor(ch->color_);
    const Rect local = clip.Offset(-ch->Left(), -ch->Top()).Intersect(ch->ClientRect());
    ch->Paint(canvas, local);
    ch->PaintGraphicChildren(canvas, local);
  }
}

bool Control::RouteMouseToGraphicChild(Message& m) {
  if (!Windowed()) return false;
  const Point p = PointFromLParam(m.LParam);
  Control* target = mouseControl_;
  if (!target) {
    for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
      Control* c = *it;
      if (c->Windowed() || !c->visible_ || !c->enabled_ || !c->bounds_.Contains(p)) continue;
      if (!c->HitTest(p - c->bounds_.TopLeft())) continue;
      target = c;
      break;
    }
  }
  if (!target) return false;
  const Point q = p - target->bounds_.TopLeft();
  m.Result = target->Perform(m.Msg, m.WParam, MakeLParam(q.X, q.Y));
  return true;
}

void Control::HandleMouse(Message& m) {
  if (RouteMouseToGraphicChild(m)) return;
  DefaultHandler(m);
  const int x = LoWordSigned(m.LParam), y = HiWordSigned(m.LParam);
  ShiftState s = ShiftFromMouseFlags(unsigned(m.WParam & 0xFFFF));
  MouseButton b = mbLeft;
  switch (m.Msg) {
    case WM_RBUTTONDOWN: case WM_RBUTTONUP: case WM_RBUTTONDBLCLK: b = mbRight; break;
    case WM_MBUTTONDOWN: case WM_MBUTTONUP: case WM_MBUTTONDBLCLK: b = mbMiddle; break;
    default: break;
  }
  switch (m.Msg) {
    case WM_MOUSEMOVE:
      if (!mouseInside_ && Windowed() && peer_) {
        mouseInside_ = true;
        peer_->TrackMouseLeave();
        Perform(CM_MOUSEENTER);
      }
      MouseMove(s, x, y);
      return;
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK:
      if (controlStyle_ & csDoubleClicks) {
        TakeMouseCapture(b);
        if (b == mbLeft) leftPressed_ = false;  // a double-click is not a click
        if (b == mbLeft) DblClick();
        MouseDown(b, s | ssDouble, x, y);
        return;
      }
      [[fallthrough]];
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      TakeMouseCapture(b);
      if (b == mbLeft) leftPressed_ = true;
      MouseDown(b, s, x, y);
      return;
    default: {  // button releases
      const bool click = b == mbLeft && leftPressed_;
      if (b == mbLeft) leftPressed_ = false;
      // Another button's release leaves the press that took the mouse on.
      if ((controlStyle_ & csCaptureMouse) && captureButton_ == int(b)) {
        captureButton_ = -1;
        SetMouseCapture(false);
      }
      MouseUp(b, s, x, y);
      // Last: the handler may free the control.
      if (click && (controlStyle_ & csClickEvents) && ClientRect().Contains({x, y})) Click();
      return;
    }
  }
}

void Control::TakeMouseCapture(MouseButton b) {
  if (!(controlStyle_ & csCaptureMouse)) return;
  // A press while another button holds the mouse leaves it to that one.
  if (captureButton_ >= 0 && MouseCapture()) return;
  SetMouseCapture(true);
  captureButton_ = int(b);
}

void Control::HandleFocusChange(Message& m, bool gained) {
  const uintptr_t other = m.WParam;
  Control* o = FromHandle(other);
  if (!gained) {
    FocusOut(other);
    if (o) return;  // the one that gains the focus sends the exits
    for (Control* c = this; c; c = c->parent_) c->Perform(CM_EXIT);
    return;
  }
  FocusIn(other);
  std::vector<Control*> entered;
  Control* common = this;
  while (common && !(o && common->ContainsControl(o))) {
    entered.push_back(common);
    common = common->parent_;
  }
  if (o)
    for (Control* c = o; c && c != common; c = c->parent_) c->Perform(CM_EXIT);
  for (auto it = entered.rbegin(); it != entered.rend(); ++it) (*it)->Perform(CM_ENTER);
}

// ---------------------------------------------------------------- default handlers

bool Control::EraseBackground(Canvas& canvas) {
  if (controlStyle_ & csOpaque) return true;
  canvas.Brush().SetColor(color_);
  canvas.FillRect(ClientRect());
  return true;
}

void Control::Resize() {
  if (OnResize) OnResize(this);
}

void Control::MouseDown(MouseButton b, ShiftState s, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, b, s, x, y);
}

void Control::MouseUp(MouseButton b, ShiftState s, int x, int y) {
  if (OnMouseUp) OnMouseUp(this, b, s, x, y);
}

void Control::MouseMove(ShiftState s, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, s, x, y);
}

void Control::Click() {
  if (OnClick) OnClick(this);
}

void Control::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

bool Control::MouseWheel(ShiftState s, int delta, Point pos) {
  bool handled = false;
  if (OnMouseWheel) OnMouseWheel(this, s, delta, pos, handled);
  return handled;
}

void Control::MouseEnter() {
  if (OnMouseEnter) OnMouseEnter(this);
}

void Control::MouseLeave() {
  if (OnMouseLeave) OnMouseLeave(this);
}

void Control::KeyDown(uint16_t& key, ShiftState s) {
  if (OnKeyDown) OnKeyDown(this, key, s);
}

void Control::KeyPress(char& key) {
  if (OnKeyPress) OnKeyPress(this, key);
}

void Control::KeyUp(uint16_t& key, ShiftState s) {
  if (OnKeyUp) OnKeyUp(this, key, s);
}

void Control::DoEnter() {
  if (OnEnter) OnEnter(this);
}

void Control::DoExit() {
  if (OnExit) OnExit(this);
}

void Control::CancelMode() {
  if (const DragObject* d = CurrentDrag(); d && d->Source() == this) DragDriver::Finish(false);
  if (MouseCapture()) SetMouseCapture(false);
}

void Control::EndDrag(bool drop) {
  if (const DragObject* d = CurrentDrag(); d && d->Source() == this) DragDriver::Finish(drop);
}

bool Control::Dragging() const {
  const DragObject* d = CurrentDrag();
  return d && d->Source() == this && d->Started();
}

void Control::DoStartDrag() {
  if (OnStartDrag) OnStartDrag(this);
}

void Control::DragOver(Control* source, int x, int y, DragState state, bool& accept) {
  if (OnDragOver) OnDragOver(this, source, x, y, state, accept);
}

void Control::DragDrop(Control* source, int x, int y) {
  if (OnDragDrop) OnDragDrop(this, source, x, y);
}

void Control::DoEndDrag(Control* target, int x, int y) {
  if (OnEndDrag) OnEndDrag(this, target, x, y);
}

bool Control::UpdateCursor(int hitTest) {
  if (hitTest != HTCLIENT || !peer_) return false;
  gui::Cursor c = cursor_;
  const Point p = ScreenToClient(Env().CursorPos());
  for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
    Control* ch = *it;
    if (!ch->Windowed() && ch->visible_ && ch->bounds_.Contains(p)) {
      if (ch->cursor_ != gui::Cursor::Default) c = ch->cursor_;
      break;
    }
  }
  if (c == gui::Cursor::Default) return false;
  peer_->SetCursor(c);
  return true;
}

void Control::FontChanged() { Invalidate(); }
void Control::ColorChanged() { Invalidate(); }
void Control::EnabledChanged() { Invalidate(); }
void Control::TextChanged() {}
void Control::VisibleChanged() {}

GraphicControl::GraphicControl(Component* owner) : Control(owner) {}

}  // namespace gui
