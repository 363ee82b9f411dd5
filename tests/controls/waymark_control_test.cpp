#include "controls/waymark_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bar_fixture.h"

namespace {

using namespace gui;
using namespace bartest;

// A bar with margin 2 (no border, both spacings 1), 100 x height.
struct Bar : BarFixture {
  TWaymarkControl bar;
  explicit Bar(int height = 100, TWaymarkScrollStyle style = nssAutomatic) {
    bar.SetBorderStyle(nbsNone);
    bar.SetScrollStyle(style);
    bar.SetBounds(0, 0, 100, height);
    bar.HandleNeeded();
  }
  void AddButtons(int n) {
    for (int i = 0; i < n; ++i) bar.Add()->SetCaption("b" + std::to_string(bar.Count() - 1));
  }
  std::string Scrolls() const {
    auto s = [](const TWaymarkScrollButton& b) {
      return std::string(b.Visible() ? (b.Enabled() ? "on" : "off") : "-");
    };
    return s(bar.TopScroll()) + "/" + s(bar.BottomScroll()) + " first " + std::to_string(bar.First()) +
           " last " + std::to_string(bar.Last());
  }
};

// Ten 21-pixel buttons in 100 pixels: room for (96 - 16) / 21 = 3, so the
// first may go up to 7; each click scrolls one button.
TEST(WaymarkControl, ScrollsByWholeButtonsOneStepPerPress) {
  Bar t;
  t.AddButtons(10);
  EXPECT_EQ(t.bar.MaxFirst(), 7);
  EXPECT_EQ(t.Scrolls(), "-/on first 0 last 3");
  EXPECT_EQ(t.bar.BottomScroll().Top(), 82);
  EXPECT_EQ(t.bar.GetButton(3)->Top(), 65);  // cut by the bottom scroll button
  std::vector<std::string> seen;
  for (int i = 1; i <= 7; ++i) {
    t.desk.Click(t.bar, 50, 90);
    seen.push_back(t.Scrolls());
  }
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "on/on first 1 last 3", "on/on first 2 last 4", "on/on first 3 last 5",
                      "on/on first 4 last 6", "on/on first 5 last 7", "on/on first 6 last 8",
                      "on/- first 7 last 9"}));
  EXPECT_EQ(t.bar.GetButton(7)->Top(), 18);
  // Held down on the top one: the timer does not repeat the step.
  t.desk.MouseDown(t.bar, 50, 10);
  for (int i = 0; i < 3; ++i) t.desk.FireTimer(t.bar, 0);
  EXPECT_EQ(t.bar.First(), 6);
  EXPECT_EQ(t.bar.TopScroll().GetState(), TWaymarkScrollButton::Pressed);
  t.desk.MouseUp(t.bar, 50, 10);
  EXPECT_EQ(t.bar.TopScroll().GetState(), TWaymarkScrollButton::Hot);

  // Always shown: enabled only where there is somewhere to go; a
  // disabled one takes the click and does nothing.
  Bar always(100, nssAlways);
  always.AddButtons(2);
  EXPECT_EQ(always.Scrolls(), "off/off first 0 last 1");
  EXPECT_EQ(always.bar.GetButton(0)->Top(), 18);
  always.desk.Click(always.bar, 50, 90);
  EXPECT_EQ(always.Scrolls(), "off/off first 0 last 1");
  always.AddButtons(8);
  EXPECT_EQ(always.Scrolls(), "off/on first 0 last 2");
  always.desk.Click(always.bar, 50, 90);
  EXPECT_EQ(always.Scrolls(), "on/on first 1 last 3");
  always.bar.SetScrollStyle(nssNever);
  EXPECT_EQ(always.Scrolls(), "-/- first 0 last 4");
}

// Clicks, check boxes and removals as an event log: OnClick sees the
// previous DownButton; removing the down button fires one OnClick for its
// neighbour, by its index after the removal, with DownButton already moved.
TEST(WaymarkControl, ClickCheckAndRemoveEvents) {
  Bar t(200);
  t.AddButtons(5);
  std::vector<std::string> log;
  auto name = [](TWaymarkButton* b) { return b ? b->Caption() : std::string("none"); };
  t.bar.OnClick = [&](TWaymarkControl* s, TWaymarkButton* b, int i) {
    log.push_back("click " + name(b) + " @" + std::to_string(i) + " was " + name(s->DownButton()));
  };
  t.bar.OnCheck = [&](TWaymarkControl*, TWaymarkButton* b, int i) {
    log.push_back("check " + name(b) + " @" + std::to_string(i) + (b->Checked() ? " on" : " off"));
  };
  auto click = [&](int i) { t.desk.Click(t.bar, 60, t.bar.GetButton(i)->Top() + 10); };
  auto clickCheck = [&](int i) {
    TWaymarkButton* b = t.bar.GetButton(i);
    t.desk.Click(t.bar, b->Left() + 10, b->Top() + b->CheckOffset().Y + 8);
  };
  click(1);
  click(1);  // already down: nothing
  click(3);
  clickCheck(2);
  EXPECT_EQ(log, (std::vector<std::string>{"click b1 @1 was none", "click b3 @3 was b1", "check b2 @2 on"}));
  EXPECT_FALSE(t.bar.GetButton(1)->Down());
  EXPECT_FALSE(t.bar.GetButton(2)->Down());

  // Up again, the down button leaves the bar without one and can be
  // selected anew.
  log.clear();
  t.bar.GetButton(3)->SetDown(false);
  EXPECT_EQ(t.bar.DownButton(), nullptr);
  click(3);
  EXPECT_EQ(log, (std::vector<std::string>{"click b3 @3 was none"}));

  log.clear();
  t.bar.GetButton(3)->Remove();  // down at 3: the one above
  t.bar.GetButton(0)->SetDown(true);
  t.bar.GetButton(0)->Remove();  // down at 0: the one that followed
  t.bar.GetButton(2)->Remove();  // not down: no event
  EXPECT_EQ(t.bar.Count(), 2);
  EXPECT_EQ(log, (std::vector<std::string>{"click b2 @2 was b2", "click b0 @0 was b2", "click b1 @0 was b1"}));
  EXPECT_TRUE(t.bar.GetButton(0)->Down());
  t.bar.GetButton(1)->Remove();
  t.bar.GetButton(0)->Remove();  // the only, down button
  EXPECT_EQ(t.bar.DownButton(), nullptr);
  EXPECT_EQ(log.size(), 3u);
  EXPECT_EQ(t.bar.Last(), -1);
}

// Text is fitted in Width - (X + 2) with "..."; offsets round halves to
// even; the font, height and image list reach the buttons scrolled away
// and their text follows the bar's width.
TEST(WaymarkControl, FitsTextAndKeepsScrolledButtonsCurrent) {
  Bar t;
  t.bar.SetButtonHeight(21);
  ImageList images(nullptr, 16, 16);
  Bitmap picture(16, 16);
  images.Add(picture);
  TWaymarkButton* b = t.bar.Add();
  b->SetCaption("ABCDEFGHIJKLMNOP");
  EXPECT_EQ(b->Width(), 95);
  EXPECT_EQ(b->CheckOffset(), Point(2, 2));  // (21 - 16) / 2 = 2.5
  EXPECT_EQ(b->TextOffset(), Point(22, 4));
  EXPECT_EQ(b->ShownText(), "ABCDEFGH...");  // 71 pixels: 11 fit
  t.bar.SetImageList(&images);
  b->SetImageIndex(0);
  EXPECT_EQ(b->ImageOffset(), Point(22, 2));
  EXPECT_EQ(b->TextOffset().X, 40);
  EXPECT_EQ(b->ShownText(), "ABCDE...");
  b->SetImageIndex(-1);  // keeps the image
  EXPECT_TRUE(b->HasImage());
  const struct {
    int width;
    const char* shown;
  } widths[] = {{71, "A..."}, {65, "..."}, {59, "..."}, {47, "..."}, {30, "..."}, {200, "ABCDEFGHIJKLMNOP"}};
  for (const auto& w : widths) {
    t.bar.SetWidth(w.width);
    EXPECT_EQ(b->ShownText(), w.shown) << w.width;
  }
  b->Remove();

  t.bar.SetImageList(nullptr);
  t.AddButtons(10);
  TWaymarkButton* hidden = t.bar.GetButton(9);
  hidden->SetCaption("A caption too long for the bar");
  hidden->SetImageIndex(0);
  ASSERT_LT(t.bar.Last(), 9);
  Font big;
  big.SetHeight(-20);
  t.bar.Font().Assign(big);
  t.bar.SetButtonHeight(22);
  t.bar.SetImageList(&images);
  EXPECT_EQ(hidden->Font().Height(), -20);
  EXPECT_EQ(hidden->Height(), 22);
  EXPECT_TRUE(hidden->HasImage());
  t.bar.SetWidth(300);
  EXPECT_EQ(hidden->ShownText(), "A caption too long for the bar");
  t.bar.SetWidth(100);
  EXPECT_EQ(hidden->ShownText(), "A cap...");
}

// The window shows a copy of the off-screen picture; a disabled scroll
// button draws its embossed arrow as it is, a pressed one is sunken with
// its arrow moved a pixel; the outline border is two outlines at
// OutsideSpacing. (Pixels of the picture: the window tests.)
TEST(WaymarkControl, PaintsThroughTheOffscreenPicture) {
  Bar t(100, nssAlways);
  t.bar.SetBorderStyle(nbsOutline);  // margin 4, border at 1
  t.AddButtons(2);
  OffCanvas(t.bar).ClearLog();
  EXPECT_EQ(t.desk.Paint(t.bar), "BitBlt(0,0,100,100 <- bitmap 100x100 @0,0,SRCCOPY)\n");
  const auto& log = OffLog(t.bar);
  // round((92 - 9) / 2) = 42 (41.5), round((16 - 6) / 2) = 5
  EXPECT_TRUE(HasRun(log, {"LineTo(95,4) pen=clBtnFace", "Draw(46,9,bitmap 9x6)"})) << Joined(log);
  EXPECT_TRUE(HasRun(log, {"Rectangle(2,2,98,98) pen=clBtnHighlight brush=clear",
                           "Rectangle(1,1,97,97) pen=clBtnShadow brush=clear"}))
      << Joined(log);
  t.AddButtons(3);
  ASSERT_TRUE(t.bar.BottomScroll().Enabled());
  OffCanvas(t.bar).ClearLog();
  t.desk.MouseDown(t.bar, 50, t.bar.BottomScroll().Top() + 5);
  EXPECT_TRUE(HasRun(OffLog(t.bar), {"MoveTo(95,80)", "LineTo(4,80) pen=clBtnShadow",
                                     "LineTo(4,95) pen=clBtnShadow", "LineTo(95,95) pen=clBtnHighlight",
                                     "LineTo(95,80) pen=clBtnHighlight",
                                     "Draw(47,86,bitmap 9x6) transparent=#C0C0C0"}))
      << Joined(OffLog(t.bar));
}

// Hover is polled: a tick lights the scroll button under the cursor, a
// latched press stays pressed while the primary button is held (the
// physical right one when the buttons are swapped), and releasing gives
// hot within one tick.
TEST(WaymarkControl, HoverFollowsCursorAndPrimaryButton) {
  Bar t;
  t.AddButtons(10);
  const TWaymarkScrollButton& bottom = t.bar.BottomScroll();
  EXPECT_FALSE(t.desk.TimerRunning(t.bar, 0));  // idle: no polling
  t.desk.MouseMove(t.bar, 50, 90);
  t.desk.FireTimer(t.bar, 0);
  EXPECT_EQ(bottom.GetState(), TWaymarkScrollButton::Hot);
  t.Cursor(t.bar, 50, 50);
  t.desk.FireTimer(t.bar, 0);
  EXPECT_EQ(bottom.GetState(), TWaymarkScrollButton::Normal);

  t.desk.env.SetSystemMetric(SM_SWAPBUTTON, 1);
  t.Cursor(t.bar, 50, 90);
  t.desk.env.SetKeyDown(VK_RBUTTON, true);  // the primary button
  t.desk.Send(t.bar, WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(50, 90));
  t.desk.FireTimer(t.bar, 0);
  EXPECT_EQ(bottom.GetState(), TWaymarkScrollButton::Pressed);
  EXPECT_EQ(t.bar.First(), 1);
  t.desk.env.SetKeyDown(VK_RBUTTON, false);
  t.desk.FireTimer(t.bar, 0);
  EXPECT_EQ(bottom.GetState(), TWaymarkScrollButton::Hot);
}

}  // namespace
