#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/control.h"
#include "gui/fake_peer.h"

namespace {

using namespace gui;

// Font and colour follow the parent until set on the control itself.
TEST(ControlState, ParentFontAndColourPropagate) {
  FakeDesktop desk;
  Control form;
  auto* panel = new Control(&form);
  panel->SetParent(&form);
  auto* label = new Control(&form);
  label->SetParent(panel);
  label->SetParentColor(true);
  panel->SetParentColor(true);
  form.Font().SetName("Tahoma");
  form.SetColor(clWindow);
  EXPECT_EQ(label->Font().Name(), "Tahoma");
  EXPECT_EQ(label->Color(), clWindow);
  EXPECT_TRUE(label->ParentFont());
  label->Font().SetStyle(fsBold);  // its own from now on
  EXPECT_FALSE(label->ParentFont());
  form.Font().SetName("Arial");
  EXPECT_EQ(panel->Font().Name(), "Arial");
  EXPECT_EQ(label->Font().Name(), "Tahoma");
  panel->SetColor(clRed);
  EXPECT_FALSE(panel->ParentColor());
  EXPECT_EQ(label->Color(), clRed);
  form.SetColor(clBlue);
  EXPECT_EQ(label->Color(), clRed);
  label->SetParentFont(true);
  EXPECT_EQ(label->Font().Name(), "Arial");
  EXPECT_EQ(label->Font().Style(), 0u);
}

// Every message goes through WndProc, so a control can see and change
// any of them; keys a handler clears never reach the window's default.
class Interceptor : public Control {
 public:
  using Control::Control;
  std::vector<std::string> seen;

 protected:
  void WndProc(Message& m) override {
    if (m.Msg == CM_USER + 1) {
      m.Result = 42;
      return;
    }
    if (m.Msg == WM_CHAR || m.Msg == WM_KEYDOWN) seen.push_back(std::to_string(m.Msg));
    Control::WndProc(m);
  }
  unsigned GetDlgCode(unsigned code) override { return code | DLGC_WANTARROWS | DLGC_WANTCHARS; }
  void DefaultHandler(Message& m) override {
    if (m.Msg == WM_CHAR) seen.push_back(std::string("default ") + char(m.WParam));
    Control::DefaultHandler(m);
  }
};

TEST(ControlState, MessagesCanBeInterceptedAndKeysSwallowedOrChanged) {
  FakeDesktop desk;
  Interceptor c;
  EXPECT_EQ(desk.Send(c, CM_USER + 1), 42);
  EXPECT_EQ(desk.Send(c, WM_GETDLGCODE), DLGC_WANTARROWS | DLGC_WANTCHARS);
  c.OnKeyPress = [](Control*, char& k) {
    if (k == 'x') k = 0;
    if (k == 'a') k = 'A';
  };
  desk.Type(c, "xa");
  EXPECT_EQ(c.seen, (std::vector<std::string>{"258", "258", "default A"}));
}

TEST(ControlState, VisibilityEnablingAndTheWindowsOfChildren) {
  FakeDesktop desk;
  Control form;
  form.SetBounds(0, 0, 100, 100);
  auto* child = new Control(&form);
  child->SetBounds(0, 0, 10, 10);
  child->SetParent(&form);
  child->SetEnabled(false);
  form.HandleNeeded();
  ASSERT_TRUE(child->HandleAllocated());
  EXPECT_FALSE(desk.PeerOf(*child).IsEnabled());
  EXPECT_TRUE(desk.PeerOf(*child).Params().Style & WS_CHILD);
  EXPECT_EQ(desk.PeerOf(*child).Params().Parent, form.Handle());
  child->Hide();
  EXPECT_FALSE(desk.PeerOf(*child).IsVisible());
  EXPECT_FALSE(child->Showing());
  EXPECT_FALSE(child->CanFocus());
  // A window made again keeps its children's windows and the state.
  const uintptr_t old = form.Handle();
  form.RecreateWnd();
  EXPECT_NE(form.Handle(), old);
  ASSERT_TRUE(child->HandleAllocated());
  EXPECT_EQ(desk.PeerOf(*child).Params().Parent, form.Handle());
  EXPECT_FALSE(desk.PeerOf(*child).IsVisible());
  EXPECT_EQ(Control::FromHandle(old), nullptr);
  EXPECT_EQ(Control::FromHandle(form.Handle()), &form);
  // A child moved out of its parent loses its window.
  child->SetParent(nullptr);
  EXPECT_FALSE(child->HandleAllocated());
  EXPECT_EQ(form.ControlCount(), 0);
  delete child;
  EXPECT_EQ(form.ComponentCount(), 0);
}

TEST(ControlState, MouseEnterLeaveDoubleClickAndScrollInfo) {
  FakeDesktop desk;
  std::vector<std::string> log;
  Control c;
  c.SetBounds(0, 0, 50, 50);
  c.OnMouseEnter = [&](Control*) { log.push_back("enter"); };
  c.OnMouseLeave = [&](Control*) { log.push_back("leave"); };
  c.OnClick = [&](Control*) { log.push_back("click"); };
  c.OnDblClick = [&](Control*) { log.push_back("dblclick"); };
  c.OnMouseDown = [&](Control*, MouseButton, ShiftState s, int, int) {
    log.push_back((s & ssDouble) ? "down double" : "down");
  };
  desk.MouseMove(c, 1, 1);
  desk.MouseMove(c, 2, 2);
  EXPECT_TRUE(desk.PeerOf(c).TrackingLeave());
  desk.Send(c, WM_MOUSELEAVE);
  desk.DoubleClick(c, 3, 3);
  EXPECT_EQ(log, (std::vector<std::string>{"enter", "leave", "down", "click", "dblclick", "down double"}));
  // Positions stay within the range less the page.
  ScrollInfo si;
  si.Mask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.Min = 0;
  si.Max = 99;
  si.Page = 10;
  si.Pos = 500;
  EXPECT_EQ(c.SetScrollInfo(SB_VERT, si), 90);
  si.Mask = SIF_POS;
  si.Pos = -3;
  EXPECT_EQ(c.SetScrollInfo(SB_VERT, si), 0);
  ScrollInfo back;
  ASSERT_TRUE(c.GetScrollInfo(SB_VERT, back));
  EXPECT_EQ(back.Max, 99);
  EXPECT_EQ(back.Page, 10u);
}

TEST(ControlState, TabOrderAndInvalidation) {
  FakeDesktop desk;
  Control form;
  form.SetBounds(0, 0, 100, 100);
  std::vector<Control*> kids;
  for (int i = 0; i < 3; ++i) {
    auto* k = new Control(&form);
    k->SetParent(&form);
    kids.push_back(k);
  }
  kids[2]->SetTabOrder(0);
  EXPECT_EQ(form.TabList(), (std::vector<Control*>{kids[2], kids[0], kids[1]}));
  kids[0]->SetTabOrder(99);
  EXPECT_EQ(kids[0]->TabOrder(), 2);
  desk.Paint(form);
  EXPECT_TRUE(desk.InvalidRegion(form).IsEmpty());
  form.InvalidateRect({5, 5, 10, 10}, true);
  form.InvalidateRect({8, 8, 20, 20});
  const Region r = desk.InvalidRegion(form);
  EXPECT_EQ(r.Area(), 25 + 144 - 4);
  EXPECT_EQ(r.Bounds(), Rect(5, 5, 20, 20));
  // Painting what is invalid erases first when asked (a control that is
  // not opaque fills its background) and validates.
  EXPECT_EQ(desk.PaintInvalid(form), "FillRect(0,0,100,100) brush=clBtnFace\n");
  EXPECT_EQ(desk.PaintInvalid(form), "");
}

}  // namespace
