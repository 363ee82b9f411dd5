#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "gui/control.h"
#include "gui/fake_peer.h"
#include "gui/image_list.h"
#include "gui/menu.h"

namespace gui {
void PrintTo(const Rect& r, std::ostream* os) {
  *os << "(" << r.Left << "," << r.Top << "," << r.Right << "," << r.Bottom << ")";
}
void PrintTo(const Point& p, std::ostream* os) { *os << "(" << p.X << "," << p.Y << ")"; }
}  // namespace gui

namespace {

using namespace gui;

// Records every exception the dispatch boundary reports.
struct Reports {
  Reports() {
    prev = SetExceptionReporter([this](const std::string& what, Control* where) {
      seen.push_back(what + (where ? " @" + where->Name() : ""));
    });
  }
  ~Reports() { SetExceptionReporter(prev); }
  ExceptionReporter prev;
  std::vector<std::string> seen;
};

Control* Child(Control& parent, const char* name, int l, int t, int w, int h, AlignMode a = alNone) {
  auto* c = new Control(&parent);
  c->SetName(name);
  c->SetBounds(l, t, w, h);
  c->SetAlign(a);
  c->SetParent(&parent);
  return c;
}

class EdgedControl : public Control {
 public:
  using Control::Control;

 protected:
  void CreateParams(WindowParams& p) override {
    Control::CreateParams(p);
    p.ExStyle |= WS_EX_CLIENTEDGE;
  }
};

TEST(ControlLayout, AlignOrderAndRelayoutOnResize) {
  FakeDesktop desk;
  Control form;
  form.SetBounds(0, 0, 200, 100);
  form.DisableAlign();  // laid out once, by the positions given
  Control* top2 = Child(form, "top2", 0, 50, 10, 20, alTop);
  Control* top1 = Child(form, "top1", 0, 0, 10, 10, alTop);
  Control* bottom = Child(form, "bottom", 0, 0, 10, 15, alBottom);
  Control* client = Child(form, "client", 0, 0, 1, 1, alClient);
  Control* right = Child(form, "right", 0, 0, 40, 5, alRight);
  Control* left = Child(form, "left", 0, 0, 30, 5, alLeft);
  Control* hidden = Child(form, "hidden", 0, 0, 25, 5, alLeft);
  hidden->Hide();
  form.EnableAlign();
  form.HandleNeeded();
  EXPECT_EQ(top1->BoundsRect(), Rect(0, 0, 200, 10));  // above top2: it was higher
  EXPECT_EQ(top2->BoundsRect(), Rect(0, 10, 200, 30));
  EXPECT_EQ(bottom->BoundsRect(), Rect(0, 85, 200, 100));
  EXPECT_EQ(left->BoundsRect(), Rect(0, 30, 30, 85));
  EXPECT_EQ(right->BoundsRect(), Rect(160, 30, 200, 85));
  EXPECT_EQ(client->BoundsRect(), Rect(30, 30, 160, 85));
  form.SetBounds(0, 0, 300, 60);
  EXPECT_EQ(bottom->BoundsRect(), Rect(0, 45, 300, 60));
  EXPECT_EQ(client->BoundsRect(), Rect(30, 30, 260, 45));
  hidden->Show();
  EXPECT_EQ(hidden->BoundsRect().Width(), 25);
  EXPECT_EQ(client->BoundsRect(), Rect(55, 30, 260, 45));
  // A window's size arrives through WM_SIZE: the children follow it.
  FakePeer& p = desk.PeerOf(form);
  p.SetBounds({0, 0, 100, 40});
  EXPECT_EQ(form.Width(), 100);
  EXPECT_EQ(bottom->BoundsRect(), Rect(0, 25, 100, 40));
}

// Clicks reach the control under the point with its own client
// coordinates (inside a client edge), with the capture held meanwhile.
TEST(ControlInput, ClickAtPointReachesHandlerInClientCoordinates) {
  FakeDesktop desk;
  Control form;
  form.SetBounds(100, 100, 300, 200);
  auto* panel = new EdgedControl(&form);
  panel->SetBounds(10, 20, 100, 80);
  panel->SetParent(&form);
  std::vector<std::string> seen;
  panel->OnMouseDown = [&](Control*, MouseButton b, ShiftState s, int x, int y) {
    seen.push_back("down " + std::to_string(x) + "," + std::to_string(y) +
                   ((s & ssShift) ? " shift" : "") + (panel->MouseCapture() ? " captured" : ""));
  };
  panel->OnClick = [&](Control*) { seen.push_back("click"); };
  form.HandleNeeded();
  desk.env.SetKeyDown(VK_SHIFT, true);
  desk.ClickAt(form, 10 + 2 + 5, 20 + 2 + 7);
  desk.env.SetKeyDown(VK_SHIFT, false);
  EXPECT_EQ(seen, (std::vector<std::string>{"down 5,7 shift captured", "click"}));
  EXPECT_EQ(desk.CaptureControl(), nullptr);
  // Released outside: no click.
  seen.clear();
  desk.MouseDown(*panel, 5, 5);
  desk.MouseUp(*panel, 500, 5);
  EXPECT_EQ(seen, (std::vector<std::string>{"down 5,5 captured"}));
  EXPECT_EQ(panel->ClientToScreen({0, 0}), Point(112, 122));
}

// Says when it goes.
class Watched : public Control {
 public:
  explicit Watched(bool* gone) : gone_(gone) {}
  ~Watched() override { *gone_ = true; }

 private:
  bool* gone_;
};

// Records how the capture left it.
class CaptureWatcher : public Control {
 public:
  using Control::Control;
  std::vector<std::string> changes;

 protected:
  void CaptureChanged(bool lost) override { changes.push_back(lost ? "lost" : "released"); }
};

// The press that took the mouse keeps it until its own button's release;
// a capture taken by another window is lost, the control's own release is
// not; a control released while it handles a message goes when that
// handling is over, not before.
TEST(ControlInput, TheCaptureBelongsToThePressAndAReleasedControlOutlivesItsHandling) {
  FakeDesktop desk;
  CaptureWatcher c;
  c.SetBounds(0, 0, 50, 50);
  Control other;
  other.SetBounds(100, 0, 50, 50);
  desk.MouseDown(c, 5, 5);
  desk.Send(c, WM_CAPTURECHANGED, 0, intptr_t(c.Handle()));  // taken again by itself (a drag)
  desk.MouseDown(c, 5, 5, mbMiddle);
  desk.MouseUp(c, 5, 5, mbMiddle);
  desk.MouseDown(c, 5, 5, mbRight);
  desk.MouseUp(c, 5, 5, mbRight);
  EXPECT_EQ(desk.CaptureControl(), &c);
  desk.MouseUp(c, 5, 5);
  EXPECT_EQ(desk.CaptureControl(), nullptr);
  desk.MouseDown(c, 5, 5);
  desk.PeerOf(other).SetCapture();  // a message box, say
  EXPECT_EQ(c.changes, (std::vector<std::string>{"released", "lost"}));
  desk.MouseUp(c, 5, 5);
  EXPECT_EQ(desk.CaptureControl(), &other) << "not the control's to release";

  bool gone = false, wholeInside = false;
  auto* released = new Watched(&gone);
  released->OnKeyDown = [&](Control* s, uint16_t&, ShiftState) {
    s->Release();
    s->Perform(CM_TEXTCHANGED);  // a nested handling ends first
    wholeInside = !gone && s->HandlingMessage();
  };
  desk.KeyDown(*released, VK_RETURN);
  EXPECT_TRUE(wholeInside);
  EXPECT_TRUE(gone);
  bool idleGone = false;
  (new Watched(&idleGone))->Release();  // handling nothing: freed at once
  EXPECT_TRUE(idleGone);
}

TEST(ControlInput, HandlerExceptionIsReportedAndTheControlGoesOn) {
  FakeDesktop desk;
  Reports reports;
  Control c;
  c.SetName("c");
  c.SetBounds(0, 0, 50, 50);
  int clicks = 0;
  c.OnClick = [&](Control*) {
    if (++clicks == 1) throw std::runtime_error("boom");
  };
  desk.Click(c, 1, 1);
  desk.Click(c, 1, 1);
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(reports.seen, (std::vector<std::string>{"boom @c"}));
  EXPECT_EQ(desk.CaptureControl(), nullptr);  // the press took it, the release gave it back
  // A nested notification's exception abandons the rest of the handler
  // that sent it and is reported once, at the outer boundary.
  bool rest = false;
  c.OnExit = [](Control*) { throw std::runtime_error("invalid input"); };
  c.OnKeyDown = [&](Control* s, uint16_t&, ShiftState) {
    s->Perform(CM_EXIT);
    rest = true;
  };
  desk.KeyDown(c, VK_TAB);
  EXPECT_FALSE(rest);
  EXPECT_EQ(reports.seen.back(), "invalid input @c");
  // A silent abort is not reported.
  c.OnKeyDown = [](Control*, uint16_t&, ShiftState) { throw Abort(); };
  desk.KeyDown(c, VK_TAB);
  EXPECT_EQ(reports.seen.size(), 2u);
}

class ThrowingPainter : public Control {
 public:
  using Control::Control;
  bool fail = true;

 protected:
  void Paint(Canvas& c, const Rect& clip) override {
    if (fail) throw std::runtime_error("paint failed");
    c.FillRect(clip);
  }
};

TEST(ControlPaint, FailedPaintIsReportedAndTheWindowValidated) {
  FakeDesktop desk;
  Reports reports;
  ThrowingPainter c;
  c.SetBounds(0, 0, 20, 10);
  c.SetControlStyle(c.ControlStyle() | csOpaque);
  desk.Paint(c);
  EXPECT_EQ(reports.seen.size(), 1u);
  EXPECT_TRUE(desk.InvalidRegion(c).IsEmpty());
  c.fail = false;
  c.InvalidateRect({2, 2, 6, 6});
  EXPECT_EQ(desk.PaintInvalid(c), "FillRect(2,2,6,6) brush=clBtnFace\n");
}

// A control without a window is painted by its parent, moved and clipped
// to its place, and gets the mouse over it in its own coordinates.
class Dot : public GraphicControl {
 public:
  using GraphicControl::GraphicControl;
  std::vector<Point> downs;

 protected:
  void Paint(Canvas& c, const Rect&) override { c.FillRect(ClientRect()); }
  void MouseDown(MouseButton, ShiftState, int x, int y) override { downs.push_back({x, y}); }
};

TEST(ControlPaint, GraphicChildPaintedAndClickedThroughItsParent) {
  FakeDesktop desk;
  Control parent;
  parent.SetBounds(0, 0, 40, 40);
  parent.SetControlStyle(parent.ControlStyle() | csOpaque);
  auto* dot = new Dot(&parent);
  dot->SetBounds(10, 10, 5, 5);
  dot->SetColor(clRed);
  dot->SetParent(&parent);
  EXPECT_EQ(desk.Paint(parent),
            "Save() -> 1\n"
            "SetViewportOrigin(10,10)\n"
            "IntersectClip(0,0,5,5)\n"
            "FillRect(0,0,5,5) brush=#FF0000\n"
            "Restore(1)\n");
  desk.Click(parent, 12, 14);
  desk.Click(parent, 30, 30);
  EXPECT_EQ(dot->downs, (std::vector<Point>{{2, 4}}));
  dot->Invalidate();
  EXPECT_EQ(desk.InvalidRegion(parent).Bounds(), Rect(10, 10, 15, 15));
}

TEST(ControlInput, FocusEntersAndExitsAlongTheTree) {
  FakeDesktop desk;
  std::vector<std::string> log;
  Control form;
  form.SetName("form");
  form.SetBounds(0, 0, 100, 100);
  Control* panel = Child(form, "panel", 0, 0, 50, 50);
  Control* a = Child(*panel, "a", 0, 0, 10, 10);
  Control* b = Child(form, "b", 60, 0, 10, 10);
  for (Control* c : {&form, panel, a, b}) {
    c->OnEnter = [&log](Control* s) { log.push_back("enter " + s->Name()); };
    c->OnExit = [&log](Control* s) { log.push_back("exit " + s->Name()); };
  }
  a->SetFocus();
  EXPECT_EQ(log, (std::vector<std::string>{"enter form", "enter panel", "enter a"}));
  log.clear();
  b->SetFocus();
  EXPECT_EQ(log, (std::vector<std::string>{"exit a", "exit panel", "enter b"}));
  EXPECT_TRUE(b->Focused());
  EXPECT_EQ(desk.FocusedControl(), b);
  log.clear();
  delete b;  // its window goes with the focus
  EXPECT_EQ(desk.FocusedControl(), nullptr);
  a->SetFocus();
  EXPECT_EQ(log, (std::vector<std::string>{"enter form", "enter panel", "enter a"}));
}

TEST(ControlInput, TimersWheelAndPopupMenu) {
  FakeDesktop desk;
  RecordingMenuBackend menus;
  ScopedService<MenuBackend> useMenus(menus);
  Control form;
  form.SetBounds(0, 0, 100, 100);
  Control* child = Child(form, "child", 10, 10, 30, 30);
  std::vector<uintptr_t> ticks;
  struct Ticker : Control {
    using Control::Control;
    std::vector<uintptr_t>* ticks;
    void Timer(uintptr_t id) override { ticks->push_back(id); }
  } ticker;
  ticker.ticks = &ticks;
  ASSERT_TRUE(ticker.SetTimer(0, 50));
  EXPECT_TRUE(desk.FireTimer(ticker, 0));
  ticker.KillTimer(0);
  ticker.KillTimer(7);  // unknown: nothing happens
  EXPECT_FALSE(desk.FireTimer(ticker, 0));
  EXPECT_EQ(ticks, (std::vector<uintptr_t>{0}));
  // A wheel the child leaves alone goes to its parent.
  int wheel = 0;
  form.OnMouseWheel = [&](Control*, ShiftState, int delta, Point, bool& handled) {
    wheel += delta;
    handled = true;
  };
  desk.Wheel(*child, -120);
  EXPECT_EQ(wheel, -120);
  // A right click shows the popup menu at the screen point.
  auto* popup = new PopupMenu(&form);
  bool chosen = false;
  MenuItem* item = popup->Items().AddItem("&Open", [&](Component*) { chosen = true; });
  child->SetPopupMenu(popup);
  menus.choose = item;
  desk.Click(*child, 3, 4, mbRight);
  ASSERT_EQ(menus.shown.size(), 1u);
  EXPECT_EQ(menus.shown[0].x, 13);
  EXPECT_EQ(menus.shown[0].y, 14);
  EXPECT_TRUE(chosen);
  delete popup;
  EXPECT_EQ(child->PopupMenu(), nullptr);
}

TEST(Components, OwnerDestroysInReverseAndReferencesAreCleared) {
  std::vector<std::string> order;
  struct Probe : Component {
    Probe(Component* o, const char* n, std::vector<std::string>* log) : Component(o), log(log) { SetName(n); }
    ~Probe() override { log->push_back(Name() + (Destroying() ? "" : " not marked")); }
    std::vector<std::string>* log;
  };
  auto* owner = new Component();
  new Probe(owner, "a", &order);
  auto* b = new Probe(owner, "b", &order);
  new Probe(owner, "c", &order);
  delete b;  // leaves its owner's list
  EXPECT_EQ(owner->ComponentCount(), 2);
  delete owner;
  EXPECT_EQ(order, (std::vector<std::string>{"b not marked", "c", "a"}));

  // A menu forgets an image list that goes away, and a list that outlives
  // the menu is not touched by the menu's end.
  RecordingMenuBackend menus;
  ScopedService<MenuBackend> useMenus(menus);
  auto* images = new ImageList(nullptr, 16, 16);
  auto* menu = new MainMenu();
  menu->SetImages(images);
  delete images;
  EXPECT_EQ(menu->Images(), nullptr);
  images = new ImageList(nullptr, 16, 16);
  menu->SetImages(images);
  delete menu;
  delete images;
}

TEST(Menus, ShortCutsCaptionsAndCommands) {
  RecordingMenuBackend menus;
  ScopedService<MenuBackend> useMenus(menus);
  for (const char* t : {"Ctrl+S", "Shift+Del", "F2", "Alt+Enter", "Shift+Ctrl+Alt+Z"})
    EXPECT_EQ(ShortCutToText(TextToShortCut(t)), t);
  EXPECT_EQ(TextToShortCut("Ctrl+"), scNone);
  EXPECT_EQ(TextToShortCut("Hyper+A"), scNone);
  EXPECT_EQ(MakeShortCut('S', ssCtrl), TextToShortCut("ctrl+s"));
  EXPECT_EQ(AcceleratorOf("Save && &quit"), 'Q');
  EXPECT_EQ(StripAccelerator("Save && &quit&"), "Save & quit");
  MainMenu menu;
  MenuItem* file = menu.Items().AddItem("&File");
  int exits = 0;
  MenuItem* exitItem = file->AddItem("E&xit", [&](Component*) { ++exits; });
  exitItem->SetShortCut(TextToShortCut("Alt+X"));
  MenuItem* a = file->AddItem("A");
  MenuItem* b = file->AddItem("B");
  a->SetRadioItem(true);
  b->SetRadioItem(true);
  a->SetChecked(true);
  b->SetChecked(true);
  EXPECT_FALSE(a->Checked());
  EXPECT_TRUE(menu.DispatchCommand(exitItem->Command()));
  EXPECT_EQ(menu.FindShortCut(TextToShortCut("Alt+X")), exitItem);
  exitItem->SetEnabled(false);
  EXPECT_TRUE(menu.DispatchCommand(exitItem->Command()));
  EXPECT_EQ(exits, 1);
  EXPECT_EQ(menu.FindShortCut(TextToShortCut("Alt+X")), nullptr);
  EXPECT_FALSE(menu.DispatchCommand(99999));
}

}  // namespace
