#include "controls/cool_bar_control.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "bar_fixture.h"
#include "gui/application.h"
#include "gui/menu.h"

namespace {

using namespace gui;
using namespace bartest;

struct Bar : BarFixture {
  TCoolBarControl bar;
  std::vector<std::string> changes;
  explicit Bar(int width = 150) {
    bar.SetBounds(0, 0, width, 25);
    bar.HandleNeeded();
    bar.OnChange = [this](TCoolBarControl*, TBarButton* b, int i) {
      changes.push_back((i < 0 ? std::string("scroll") : b->Caption()) + "@" + std::to_string(i) +
                        (b->Down() ? " down" : " up"));
    };
  }
  TBarButton* Add(const std::string& caption, const std::string& group = "") {
    TBarButton* b = bar.Add();
    b->SetCaption(caption);
    if (!group.empty()) b->SetGroup(group);
    return b;
  }
  void Press(const TBarButton* b) { desk.Click(bar, b->Left() + b->Width() / 2, 12); }
  std::string Scrolls() const {
    auto s = [](const TBarButton& b) { return std::string(b.Visible() ? (b.Enabled() ? "on" : "off") : "-"); };
    return s(bar.LeftScroll()) + "/" + s(bar.RightScroll()) + " first " + std::to_string(bar.First()) +
           " last " + std::to_string(bar.Last());
  }
};

// Four 40-pixel buttons in 150 pixels behind a grab handle: 140 minus the
// scroll button leaves 124, so the first may be 1 and the fourth button
// waits behind the right scroll button.
TEST(CoolBarControl, LaysOutAndScrollsByWholeButtons) {
  Bar t;
  t.bar.SetDefaultButtonWidth(40);
  t.bar.SetBorderStyle(csDouble);
  TBarButton* first = t.bar.Add();
  EXPECT_EQ(first->Left(), 2);
  EXPECT_EQ(first->Top(), 3);
  EXPECT_EQ(first->Height(), 18);
  t.bar.SetBorderStyle(csNone);
  t.bar.SetGrabHandle(true);
  for (int i = 0; i < 3; ++i) t.bar.Add();
  EXPECT_EQ(t.bar.MaxFirst(), 1);
  EXPECT_EQ(t.Scrolls(), "-/on first 0 last 2");
  EXPECT_EQ(t.bar.RightScroll().Left(), 132);
  EXPECT_EQ(t.bar.GetButton(2)->Left(), 90);
  OffCanvas(t.bar).ClearLog();
  t.desk.Paint(t.bar);
  EXPECT_TRUE(HasRun(OffLog(t.bar), {"FillRect(90,1,130,23) brush=clBtnFace"})) << Joined(OffLog(t.bar));
  for (const std::string& line : OffLog(t.bar)) EXPECT_EQ(line.find("FillRect(130,"), std::string::npos) << line;

  t.desk.Click(t.bar, 140, 12);
  EXPECT_EQ(t.Scrolls(), "on/- first 1 last 3");
  EXPECT_EQ(t.changes, (std::vector<std::string>{"scroll@-1 up"}));
  t.bar.SetScrollStyle(ssAlways);
  EXPECT_EQ(t.Scrolls(), "on/on first 1 last 2");
  t.desk.Click(t.bar, 18, 12);
  EXPECT_EQ(t.Scrolls(), "off/on first 0 last 1");
  EXPECT_EQ(t.bar.GetButton(0)->Left(), 26);
  t.bar.SetScrollStyle(ssNever);
  EXPECT_EQ(t.Scrolls(), "-/- first 0 last 2");
}

// Groups as an OnChange log: one event per button whose Down changed,
// the released one first; group keys are trimmed and upper-cased; a
// group keeps one button down unless AllowAllUp.
TEST(CoolBarControl, GroupsFireOneChangePerChangedButton) {
  Bar t(300);
  t.bar.SetDefaultButtonWidth(40);
  TBarButton* a = t.Add("A", "GROUP");
  TBarButton* b = t.Add("B", "group ");
  TBarButton* c = t.Add("C");
  EXPECT_EQ(t.changes, (std::vector<std::string>{"A@0 down"}));  // the group rule
  t.changes.clear();
  t.Press(b);
  t.Press(b);  // already down: nothing
  t.Press(c);
  t.Press(c);  // without a group: every press
  EXPECT_EQ(t.changes, (std::vector<std::string>{"A@0 up", "B@1 down", "C@2 up", "C@2 up"}));
  EXPECT_FALSE(a->Down());

  t.changes.clear();
  t.bar.SetAllowAllUp(true);
  t.Press(b);
  t.Press(b);
  t.bar.SetAllowAllUp(false);
  // Shortcuts through the application's key hooks: Ctrl+J selects a in
  // its group; a zero shortcut and other modifiers match nothing.
  a->SetShortCut(scCtrl | 'J');
  EXPECT_TRUE(App().RunKeyHooks('J', ssCtrl));
  EXPECT_FALSE(App().RunKeyHooks('J', ssShift));
  EXPECT_FALSE(App().RunKeyHooks(0, 0));
  EXPECT_EQ(t.changes, (std::vector<std::string>{"B@1 up", "B@1 down", "B@1 up", "A@0 down"}));

  // Removing the group's down button leaves the last of the rest down.
  t.changes.clear();
  TBarButton* d = t.Add("D", "Group");
  EXPECT_TRUE(t.changes.empty());
  a->Remove();
  EXPECT_EQ(t.changes, (std::vector<std::string>{"D@2 down"}));
  EXPECT_FALSE(b->Down());
  EXPECT_TRUE(d->Down());
  {
    TCoolBarControl gone;  // hooked while it lives, after t.bar
  }
  EXPECT_FALSE(App().RunKeyHooks('Q', ssCtrl));  // reaches no freed bar
}

// B stays 0 until BorderStyle is set, while the constructor's double
// border is drawn from the start; Style gives every button the bar's
// height and width 25, each then growing to fit its caption.
TEST(CoolBarControl, ConstructionBorderAndStyleHeights) {
  Bar t(300);
  EXPECT_EQ(t.bar.BorderStyle(), csDouble);
  EXPECT_EQ(t.bar.BorderWidth(), 0);
  TBarButton* a = t.Add("Ab");
  EXPECT_EQ(Rect::FromSize(a->Left(), a->Top(), a->Width(), a->Height()), Rect::FromSize(0, 1, 16, 22));
  OffCanvas(t.bar).ClearLog();
  t.desk.Paint(t.bar);
  EXPECT_TRUE(HasRun(OffLog(t.bar), {"MoveTo(298,1)", "LineTo(1,1) pen=clBtnHighlight"})) << Joined(OffLog(t.bar));

  t.bar.SetHeight(40);
  t.bar.SetStyle(bsRight);
  EXPECT_EQ(a->Height(), 40);
  EXPECT_EQ(a->Width(), 27);  // 12 + 15: grown from 25
  t.bar.SetStyle(bsBottom);
  EXPECT_EQ(a->Height(), 40);
  EXPECT_EQ(a->Width(), 25);
}

// The bar polls the mouse only while that can change its looks: an idle
// bar runs no timer; a move over it or a press starts the timer; the tick
// that finds the cursor off the bar with the primary button up lets the
// hot button go cold and stops it; a press held off the bar keeps it.
TEST(CoolBarControl, PollsOnlyWhileTheMouseIsOverOrHeld) {
  Bar t(300);
  t.bar.SetDefaultButtonWidth(40);
  TBarButton* a = t.Add("A");
  EXPECT_FALSE(t.desk.TimerRunning(t.bar, 0));
  t.desk.MouseMove(t.bar, 22, 12);
  EXPECT_TRUE(t.desk.TimerRunning(t.bar, 0));
  t.desk.FireTimer(t.bar, 0);
  EXPECT_EQ(a->GetState(), TBarButton::Hot);
  t.Cursor(t.bar, 22, 30);
  t.desk.FireTimer(t.bar, 0);
  EXPECT_EQ(a->GetState(), TBarButton::Cold);
  EXPECT_EQ(t.bar.HotButton(), nullptr);
  EXPECT_FALSE(t.desk.TimerRunning(t.bar, 0));

  t.desk.MouseDown(t.bar, 22, 12);
  EXPECT_TRUE(t.desk.TimerRunning(t.bar, 0));
  t.Cursor(t.bar, 22, 30);
  t.desk.FireTimer(t.bar, 0);
  EXPECT_EQ(a->GetState(), TBarButton::Pressed);
  EXPECT_TRUE(t.desk.TimerRunning(t.bar, 0));
  t.desk.env.SetKeyDown(VK_LBUTTON, false);
  t.desk.FireTimer(t.bar, 0);
  EXPECT_EQ(a->GetState(), TBarButton::Cold);
  EXPECT_FALSE(t.desk.TimerRunning(t.bar, 0));
  t.bar.Hide();
  t.desk.MouseMove(t.bar, 22, 12);
  t.desk.FireTimer(t.bar, 0);
  EXPECT_FALSE(t.desk.TimerRunning(t.bar, 0));  // nothing to look after
}

// A button removed while the mouse rests on it is forgotten: the next
// tick reaches no freed button. A press stays pressed while the primary
// button is held and turns hot within one tick of its release.
TEST(CoolBarControl, HoverPressAndRemovalWhileHot) {
  Bar t(300);
  t.bar.SetDefaultButtonWidth(40);
  TBarButton* a = t.Add("A");
  TBarButton* b = t.Add("B");
  t.desk.MouseMove(t.bar, 62, 12);
  t.desk.FireTimer(t.bar, 0);
  EXPECT_EQ(t.bar.HotButton(), b);
  EXPECT_EQ(b->GetState(), TBarButton::Hot);
  b->Remove();
  EXPECT_EQ(t.bar.HotButton(), nullptr);
  t.desk.FireTimer(t.bar, 0);
  EXPECT_EQ(t.bar.HotButton(), nullptr);

  t.desk.env.SetSystemMetric(SM_SWAPBUTTON, 1);
  t.Cursor(t.bar, 22, 12);
  t.desk.env.SetKeyDown(VK_RBUTTON, true);  // the primary button
  t.desk.Send(t.bar, WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(22, 12));
  t.desk.FireTimer(t.bar, 0);
  EXPECT_EQ(a->GetState(), TBarButton::Pressed);
  EXPECT_TRUE(t.bar.PressLatched());
  t.desk.env.SetKeyDown(VK_RBUTTON, false);
  t.desk.FireTimer(t.bar, 0);
  EXPECT_EQ(a->GetState(), TBarButton::Hot);

  t.desk.Send(t.bar, WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(22, 12));
  a->Remove();
  EXPECT_FALSE(t.bar.PressLatched());
  t.desk.FireTimer(t.bar, 0);
  EXPECT_EQ(t.bar.HotButton(), nullptr);
}

// Image and caption places of the three styles, halves rounded to even;
// the caption around its '&'.
TEST(CoolBarControl, ButtonGeometryAndCaptions) {
  Bar t(400);
  t.bar.SetBorderStyle(csDouble);
  auto images = std::make_unique<ImageList>(nullptr, 16, 16);
  t.bar.SetHotImageList(images.get());
  t.bar.SetDefaultButtonWidth(25);
  TBarButton* bottom = t.Add("Ab");
  EXPECT_EQ(Rect::FromSize(0, 0, bottom->Width(), bottom->Height()), Rect(0, 0, 25, 35));
  EXPECT_EQ(bottom->ImageOffset(), Point(4, 2));  // (25 - 16) / 2 = 4.5
  EXPECT_EQ(bottom->CaptionOffset(), Point(6, 20));
  TBarButton* right = t.bar.Add();
  right->SetStyle(bsRight);
  right->SetCaption("Ab");
  right->SetHeight(21);
  EXPECT_EQ(right->Width(), 43);  // 12 + 16 + 15
  EXPECT_EQ(right->ImageOffset(), Point(2, 2));  // (21 - 16) / 2 = 2.5
  EXPECT_EQ(right->CaptionOffset(), Point(20, 4));
  TBarButton* none = t.bar.Add();
  none->SetStyle(bsNone);
  EXPECT_EQ(none->Height(), 20);
  EXPECT_EQ(none->ImageOffset(), Point(5, 3));

  TBarButton* file = t.Add("&File");
  EXPECT_EQ(file->LeadingText(), "");
  EXPECT_EQ(file->Accelerator(), 'F');
  EXPECT_EQ(file->TrailingText(), "ile");
  EXPECT_EQ(file->AcceleratorOffset(), 1);
  EXPECT_EQ(file->TrailingOffset(), 8);
  EXPECT_EQ(file->Width(), 34);  // the '&' is measured too
  OffCanvas(t.bar).ClearLog();
  t.desk.Paint(t.bar);
  const int x = file->Left() + file->CaptionOffset().X, y = file->Top() + file->CaptionOffset().Y;
  const std::string state = " font=MS Sans Serif/-11/U text=clWindowText bk=transparent";
  EXPECT_TRUE(HasRun(OffLog(t.bar), {"TextOut(" + std::to_string(x + 1) + "," + std::to_string(y) + ",\"F\")" + state,
                                     "TextOut(" + std::to_string(x + 8) + "," + std::to_string(y) +
                                         ",\"ile\") font=MS Sans Serif/-11 text=clWindowText bk=transparent"}))
      << Joined(OffLog(t.bar));
  TBarButton* last = t.Add("Save&");
  EXPECT_EQ(last->LeadingText(), "Save&");
  EXPECT_EQ(last->Accelerator(), 0);
  last->SetCaption("A&B&C");
  EXPECT_EQ(last->LeadingText() + "|" + last->Accelerator() + "|" + last->TrailingText(), "A|B|&C");

  last->SetEnabled(false);  // a click on it does nothing
  const Rect r = Rect::FromSize(last->Left(), last->Top(), last->Width(), last->Height());
  t.desk.Click(t.bar, r.Left + 5, 12);
  EXPECT_TRUE(t.changes.empty());

  // A freed image list leaves the bar and its buttons: a hot button
  // draws no image from it.
  images.reset();
  EXPECT_EQ(t.bar.HotImageList(), nullptr);
  t.desk.MouseMove(t.bar, bottom->Left() + 5, 12);
  t.desk.FireTimer(t.bar, 0);
  EXPECT_EQ(bottom->GetState(), TBarButton::Hot);
}

}  // namespace
