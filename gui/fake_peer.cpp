#include "gui/fake_peer.h"

#include <algorithm>
#include <cstdio>

namespace gui {

namespace {

// The device value a fake peer hands out with WM_ERASEBKGND.
constexpr uintptr_t kEraseDevice = 1;

std::string RectText(const Rect& r) {
  return std::to_string(r.Left) + "," + std::to_string(r.Top) + "," + std::to_string(r.Right) + "," +
         std::to_string(r.Bottom);
}

class FakePaintSession : public PaintSession {
 public:
  FakePaintSession(std::vector<std::string>& log, Size size, const Rect& clip, std::string name, int bits)
      : canvas_(size, std::move(name)), clip_(clip) {
    canvas_.SetSink(&log);
    canvas_.SetBitsPerPixel(bits);
    canvas_.SetPaintArea(clip);
  }
  Canvas& GetCanvas() override { return canvas_; }
  Rect ClipRect() const override { return clip_; }

 private:
  RecordingCanvas canvas_;
  Rect clip_;
};

}  // namespace

// ---------------------------------------------------------------- FakePeer

FakePeer::FakePeer(FakeDesktop& desk, Control* owner) : desk_(desk), owner_(owner) {}

FakePeer::~FakePeer() {
  if (handle_) desk_.Forget(this);
}

bool FakePeer::Realize(const WindowParams& params) {
  params_ = params;
  handle_ = desk_.nextHandle_;
  desk_.nextHandle_ += 4;
  desk_.peers_[handle_] = this;
  bounds_ = params.Bounds;
  visible_ = (params.Style & WS_VISIBLE) != 0;
  enabled_ = (params.Style & WS_DISABLED) == 0;
  text_ = params.Caption;
  vBar_ = (params.Style & WS_VSCROLL) != 0;
  hBar_ = (params.Style & WS_HSCROLL) != 0;
  invalid_ = Region(ClientRect());
  erase_ = true;
  return true;
}

Rect FakePeer::Insets() const {
  int edge = 0;
  if (params_.Style & WS_BORDER) edge += 1;
  if (params_.ExStyle & WS_EX_CLIENTEDGE) edge += 2;
  if (params_.ExStyle & WS_EX_STATICEDGE) edge += 1;
  Rect r{edge, edge, edge, edge};
  if (vBar_) r.Right += desk_.env.SystemMetric(SM_CXVSCROLL);
  if (hBar_) r.Bottom += desk_.env.SystemMetric(SM_CYHSCROLL);
  return r;
}

Rect FakePeer::ClientRect() const {
  const Rect in = Insets();
  return {0, 0, std::max(0, bounds_.Width() - in.Left - in.Right),
          std::max(0, bounds_.Height() - in.Top - in.Bottom)};
}

Point FakePeer::ClientToScreen(Point p) const {
  Point origin = bounds_.TopLeft();
  if (FakePeer* parent = desk_.FindPeer(params_.Parent)) origin = parent->ClientToScreen(origin);
  const Rect in = Insets();
  return origin + Point(in.Left, in.Top) + p;
}

Point FakePeer::ScreenToClient(Point p) const { return p - ClientToScreen({0, 0}); }

void FakePeer::SetBounds(const Rect& r) {
  const Rect oldClient = ClientRect();
  const bool moved = r.TopLeft() != bounds_.TopLeft();
  bounds_ = r;
  const Rect client = ClientRect();
  if (moved) Send(WM_MOVE, 0, MakeLParam(r.Left, r.Top));
  if (!(client == oldClient)) {
    invalid_ = Region(client);
    erase_ = true;
    Send(WM_SIZE, 0, MakeLParam(client.Width(), client.Height()));
  }
}

void FakePeer::Show(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  if (visible) Invalidate(nullptr, true);
}

uint32_t FakePeer::CurrentStyle() const {
  return (params_.Style & ~(WS_HSCROLL | WS_VSCROLL)) | (hBar_ ? WS_HSCROLL : 0u) | (vBar_ ? WS_VSCROLL : 0u);
}

void FakePeer::SetStyle(uint32_t style, uint32_t exStyle) {
  params_.Style = style;
  params_.ExStyle = exStyle;
}

void FakePeer::Invalidate(const Rect* r, bool erase) {
  const Rect client = ClientRect();
  invalid_.Combine(r ? r->Intersect(client) : client, RegionOp::Or);
  erase_ = erase_ || erase;
}

void FakePeer::Validate(const Rect* r) {
  if (r)
    invalid_.Combine(*r, RegionOp::Diff);
  else
    invalid_.Clear();
  if (invalid_.IsEmpty()) erase_ = false;
}

void FakePeer::Update() {
  if (!invalid_.IsEmpty()) desk_.PaintNow(*this);
}

void FakePeer::Scroll(int dx, int dy, const Rect* scroll, const Rect* clip) {
  Rect area = scroll ? scroll->Intersect(ClientRect()) : ClientRect();
  if (clip) area = area.Intersect(*clip);
  scrolls.push_back("Scroll(" + std::to_string(dx) + "," + std::to_string(dy) + "," + RectText(area) + ")");
  Region uncovered(area);
  uncovered.Combine(area.Offset(dx, dy), RegionOp::Diff);
  invalid_.Combine(uncovered, RegionOp::Or);
  if (!uncovered.IsEmpty()) erase_ = true;
}

void FakePeer::SetRegion(const Region* r) {
  hasRegion_ = r != nullptr;
  region_ = r ? *r : Region();
}

std::unique_ptr<PaintSession> FakePeer::BeginPaint(const Message&) {
  const Rect clip = invalid_.Bounds();
  invalid_.Clear();
  erase_ = false;
  return std::make_unique<FakePaintSession>(desk_.log_, Size{ClientRect().Width(), ClientRect().Height()},
                                            clip, owner_->Name().empty() ? "window" : owner_->Name(),
                                            desk_.screenBits);
}

std::unique_ptr<Canvas> FakePeer::GetCanvas(uintptr_t device) {
  auto c = std::make_unique<RecordingCanvas>(Size{ClientRect().Width(), ClientRect().Height()},
                                             owner_->Name().empty() ? "window" : owner_->Name());
  c->SetSink(&desk_.log_);
  c->SetBitsPerPixel(desk_.screenBits);
  if (device == kEraseDevice) c->SetPaintArea(invalid_.Bounds());
  return c;
}

void FakePeer::SetFocus() { desk_.ChangeFocus(this); }
bool FakePeer::HasFocus() const { return desk_.focus_ == handle_; }
void FakePeer::SetCapture() { desk_.ChangeCapture(this); }

void FakePeer::ReleaseCapture() {
  if (desk_.capture_ == handle_) desk_.ChangeCapture(nullptr);
}

bool FakePeer::HasCapture() const { return desk_.capture_ == handle_; }

bool FakePeer::SetTimer(uintptr_t id, unsigned ms) {
  timers_[id] = ms;
  return true;
}

void FakePeer::KillTimer(uintptr_t id) { timers_.erase(id); }

bool FakePeer::GetScrollInfo(int bar, ScrollInfo& info) const {
  if (bar != SB_HORZ && bar != SB_VERT) return false;
  const ScrollInfo& s = bar == SB_HORZ ? hInfo_ : vInfo_;
  const unsigned mask = info.Mask ? info.Mask : SIF_ALL;
  if (mask & SIF_RANGE) {
    info.Min = s.Min;
    info.Max = s.Max;
  }
  if (mask & SIF_PAGE) info.Page = s.Page;
  if (mask & SIF_POS) info.Pos = s.Pos;
  if (mask & SIF_TRACKPOS) info.TrackPos = s.TrackPos;
  return true;
}

int FakePeer::SetScrollInfo(int bar, const ScrollInfo& info, bool) {
  if (bar != SB_HORZ && bar != SB_VERT) return 0;
  ScrollInfo& s = bar == SB_HORZ ? hInfo_ : vInfo_;
  if (info.Mask & SIF_RANGE) {
    s.Min = info.Min;
    s.Max = std::max(info.Min, info.Max);
  }
  if (info.Mask & SIF_PAGE) s.Page = std::min(info.Page, unsigned(s.Max - s.Min + 1));
  if (info.Mask & SIF_POS) s.Pos = info.Pos;
  const int most = std::max(s.Min, s.Max - std::max(int(s.Page) - 1, 0));
  s.Pos = std::clamp(s.Pos, s.Min, most);
  return s.Pos;
}

void FakePeer::ShowScrollBar(int bar, bool show) {
  const Rect before = ClientRect();
  if (bar == SB_HORZ || bar == SB_BOTH) hBar_ = show;
  if (bar == SB_VERT || bar == SB_BOTH) vBar_ = show;
  const Rect after = ClientRect();
  if (!(before == after)) Send(WM_SIZE, 0, MakeLParam(after.Width(), after.Height()));
}

intptr_t FakePeer::DefaultProc(Message& msg) {
  switch (msg.Msg) {
    case WM_NCHITTEST: {
      const Point p = PointFromLParam(msg.LParam);
      const Point origin = ClientToScreen({0, 0}) - Point(Insets().Left, Insets().Top);
      return Rect::FromSize(origin.X, origin.Y, bounds_.Width(), bounds_.Height()).Contains(p)
                 ? HTCLIENT
                 : HTNOWHERE;
    }
    case WM_MOUSEWHEEL:
      // Unhandled wheels go to the parent window, as on the desktop.
      if (FakePeer* parent = desk_.FindPeer(params_.Parent)) return parent->Send(msg.Msg, msg.WParam, msg.LParam);
      return 0;
    case WM_RBUTTONUP: {
      const Point s = ClientToScreen(PointFromLParam(msg.LParam));
      Send(WM_CONTEXTMENU, handle_, MakeLParam(s.X, s.Y));
      return 0;
    }
    default:
      return 0;
  }
}

intptr_t FakePeer::Send(unsigned msg, uintptr_t wp, intptr_t lp) {
  Message m{msg, wp, lp, 0};
  return owner_->Dispatch(m);
}

void FakePeer::Post(unsigned msg, uintptr_t wp, intptr_t lp) {
  desk_.posted_.emplace_back(handle_, Message{msg, wp, lp, 0});
}

// ---------------------------------------------------------------- FakeDesktop

FakeDesktop::FakeDesktop()
    : prevFactory_(Service<PeerFactory>::Set(this)), prevEnv_(Service<Environment>::Set(&env)) {}

FakeDesktop::~FakeDesktop() {
  Service<PeerFactory>::Set(prevFactory_);
  Service<Environment>::Set(prevEnv_);
}

std::unique_ptr<WindowPeer> FakeDesktop::CreatePeer(Control* owner) {
  return std::make_unique<FakePeer>(*this, owner);
}

FakePeer* FakeDesktop::FindPeer(uintptr_t handle) const {
  auto it = peers_.find(handle);
  return it == peers_.end() ? nullptr : it->second;
}

FakePeer& FakeDesktop::PeerOf(Control& c) { return *FindPeer(c.Handle()); }

void FakeDesktop::Forget(FakePeer* p) {
  peers_.erase(p->handle_);
  if (focus_ == p->handle_) focus_ = 0;
  if (capture_ == p->handle_) capture_ = 0;
  const uintptr_t h = p->handle_;
  posted_.erase(std::remove_if(posted_.begin(), posted_.end(), [h](auto& e) { return e.first == h; }),
                posted_.end());
}

intptr_t FakeDesktop::Send(Control& c, unsigned msg, uintptr_t wp, intptr_t lp) {
  c.HandleNeeded();
  Message m{msg, wp, lp, 0};
  return c.Dispatch(m);
}

void FakeDesktop::ProcessPosted() {
  while (!posted_.empty()) {
    auto [h, m] = posted_.front();
    posted_.pop_front();
    if (FakePeer* p = FindPeer(h)) p->owner_->Dispatch(m);
  }
}

void FakeDesktop::MouseMessage(Control& c, unsigned msg, int x, int y) {
  unsigned mk = 0;
  if (env.KeyDown(VK_LBUTTON)) mk |= MK_LBUTTON;
  if (env.KeyDown(VK_RBUTTON)) mk |= MK_RBUTTON;
  if (env.KeyDown(VK_MBUTTON)) mk |= MK_MBUTTON;
  if (env.KeyDown(VK_SHIFT)) mk |= MK_SHIFT;
  if (env.KeyDown(VK_CONTROL)) mk |= MK_CONTROL;
  env.SetCursorPos(c.ClientToScreen({x, y}));
  Send(c, msg, mk, MakeLParam(x, y));
}

namespace {

int ButtonKey(MouseButton b) { return b == mbLeft ? VK_LBUTTON : b == mbRight ? VK_RBUTTON : VK_MBUTTON; }
unsigned DownMessage(MouseButton b) {
  return b == mbLeft ? WM_LBUTTONDOWN : b == mbRight ? WM_RBUTTONDOWN : WM_MBUTTONDOWN;
}

}  // namespace

void FakeDesktop::MouseDown(Control& c, int x, int y, MouseButton b) {
  env.SetKeyDown(ButtonKey(b), true);
  MouseMessage(c, DownMessage(b), x, y);
}

void FakeDesktop::MouseUp(Control& c, int x, int y, MouseButton b) {
  env.SetKeyDown(ButtonKey(b), false);
  MouseMessage(c, DownMessage(b) + 1, x, y);
}

void FakeDesktop::MouseMove(Control& c, int x, int y) { MouseMessage(c, WM_MOUSEMOVE, x, y); }

void FakeDesktop::Click(Control& c, int x, int y, MouseButton b) {
  MouseDown(c, x, y, b);
  MouseUp(c, x, y, b);
}

void FakeDesktop::DoubleClick(Control& c, int x, int y) {
  Click(c, x, y);
  env.SetKeyDown(VK_LBUTTON, true);
  MouseMessage(c, WM_LBUTTONDBLCLK, x, y);
  MouseUp(c, x, y);
}

void FakeDesktop::Wheel(Control& c, int delta, int x, int y) {
  const Point s = c.ClientToScreen({x, y});
  const uintptr_t wp = (uintptr_t(uint16_t(int16_t(delta))) << 16);
  Send(c, WM_MOUSEWHEEL, wp, MakeLParam(s.X, s.Y));
}

uintptr_t FakeDesktop::WindowAt(Point screen) const {
  auto takes = [&](FakePeer* p) {
    if (!p->visible_) return false;
    Message m{WM_NCHITTEST, 0, MakeLParam(screen.X, screen.Y), 0};
    const intptr_t hit = p->owner_->Dispatch(m);
    return hit != HTNOWHERE && hit != HTTRANSPARENT;
  };
  FakePeer* cur = nullptr;
  for (auto it = peers_.rbegin(); it != peers_.rend() && !cur; ++it)
    if (it->second->params_.Parent == 0 && takes(it->second)) cur = it->second;
  while (cur) {
    FakePeer* child = nullptr;
    for (auto it = peers_.rbegin(); it != peers_.rend() && !child; ++it)
      if (it->second->params_.Parent == cur->handle_ && takes(it->second)) child = it->second;
    if (!child) break;
    cur = child;
  }
  return cur ? cur->handle_ : 0;
}

Control* FakeDesktop::ControlAt(Control& top, Point p, Point* local) {
  const Point screen = top.ClientToScreen(p);
  Control* cur = &top;
  if (Control* cap = CaptureControl()) {
    cur = cap;
  } else {
    for (bool found = true; found;) {
      found = false;
      const Point q = cur->ScreenToClient(screen);
      for (int i = cur->ControlCount() - 1; i >= 0; --i) {
        Control* ch = cur->Controls(i);
        if (ch->Windowed() && ch->Visible() && ch->BoundsRect().Contains(q)) {
          cur = ch;
          found = true;
          break;
        }
      }
    }
  }
  if (local) *local = cur->ScreenToClient(screen);
  return cur;
}

void FakeDesktop::ClickAt(Control& top, int x, int y, MouseButton b) {
  Point local;
  Control* c = ControlAt(top, {x, y}, &local);
  MouseDown(*c, local.X, local.Y, b);
  c = ControlAt(top, {x, y}, &local);
  MouseUp(*c, local.X, local.Y, b);
}

void FakeDesktop::KeyDown(Control& c, uint16_t vk) { Send(c, WM_KEYDOWN, vk, 1); }
void FakeDesktop::KeyUp(Control& c, uint16_t vk) { Send(c, WM_KEYUP, vk, intptr_t(0xC0000001u)); }
void FakeDesktop::Char(Control& c, char ch) { Send(c, WM_CHAR, uint8_t(ch), 1); }

void FakeDesktop::PressKey(Control& c, uint16_t vk, char ch) {
  KeyDown(c, vk);
  if (ch) Char(c, ch);
  KeyUp(c, vk);
}

void FakeDesktop::Type(Control& c, const std::string& text) {
  for (char ch : text) Char(c, ch);
}

bool FakeDesktop::TimerRunning(Control& c, uintptr_t id) {
  if (!c.HandleAllocated()) return false;
  FakePeer* p = FindPeer(c.Handle());
  return p && p->timers_.count(id) != 0;
}

bool FakeDesktop::FireTimer(Control& c, uintptr_t id) {
  if (!TimerRunning(c, id)) return false;
  Send(c, WM_TIMER, id, 0);
  return true;
}

void FakeDesktop::PaintNow(FakePeer& p) {
  const uintptr_t h = p.handle_;
  if (p.erase_) p.Send(WM_ERASEBKGND, kEraseDevice, 0);
  if (FakePeer* still = FindPeer(h)) still->Send(WM_PAINT, 0, 0);
}

std::string FakeDesktop::Paint(Control& c, const Rect* area) {
  FakePeer& p = PeerOf(c);
  log_.clear();
  const Rect r = area ? *area : p.ClientRect();
  p.Validate(nullptr);
  p.Invalidate(&r, true);
  PaintNow(p);
  std::string s;
  for (const std::string& l : log_) s += l + "\n";
  return s;
}

std::string FakeDesktop::PaintInvalid(Control& c) {
  FakePeer& p = PeerOf(c);
  log_.clear();
  if (p.invalid_.IsEmpty()) return "";
  PaintNow(p);
  std::string s;
  for (const std::string& l : log_) s += l + "\n";
  return s;
}

Region FakeDesktop::InvalidRegion(Control& c) { return PeerOf(c).invalid_; }

Control* FakeDesktop::FocusedControl() const { return Control::FromHandle(focus_); }
Control* FakeDesktop::CaptureControl() const { return Control::FromHandle(capture_); }

void FakeDesktop::ChangeFocus(FakePeer* to) {
  const uintptr_t next = to ? to->handle_ : 0;
  if (next == focus_) return;
  const uintptr_t old = focus_;
  focus_ = next;
  if (FakePeer* o = FindPeer(old)) o->Send(WM_KILLFOCUS, next, 0);
  if (FakePeer* n = FindPeer(next)) n->Send(WM_SETFOCUS, old, 0);
}

void FakeDesktop::ChangeCapture(FakePeer* to) {
  const uintptr_t next = to ? to->handle_ : 0;
  if (next == capture_) return;
  const uintptr_t old = capture_;
  capture_ = next;
  if (FakePeer* o = FindPeer(old)) o->Send(WM_CAPTURECHANGED, 0, intptr_t(next));
}

}  // namespace gui
