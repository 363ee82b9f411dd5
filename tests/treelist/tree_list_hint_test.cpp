// The grid's hints on the fake desktop: a cell text its cell cuts off
// shows whole over the cell and goes as the mouse leaves the cell or the
// grid, on a press, a key and scrolling; the grid's own hint shows below
// the mouse once the pause is over.
#include <gtest/gtest.h>

#include "tests/treelist/tree_list_test_util.h"

using namespace treetest;
using namespace gui;

namespace {

TEST(TreeListHint, ACutCellTextShowsOverItsCellUntilTheMouseLeavesPressesTypesOrScrolls) {
  // The first text (21 characters, 126 pixels) does not fit in the 80
  // pixels its 100-pixel cell has after the indent and insets.
  InputFixture f("abcdefghijklmnopqrstu b c d e f");
  TGridTreeListNode* cut = f.g.Items(0);
  auto showing = [&] { return f.g.HintWindow() && f.g.HintWindow()->HintShowing(); };
  auto overCut = [&] {
    f.desk.MouseMove(f.g, 50, f.RowY(0));
    return showing();
  };
  ASSERT_TRUE(overCut());
  TGridContainerHintWindow& hint = *f.g.HintWindow();
  EXPECT_EQ(hint.Caption(), "abcdefghijklmnopqrstu");
  // Its text lies on the cell's text: the window at the cell's corner.
  const Rect cell = f.g.CellRect(cut, 0);
  EXPECT_EQ(hint.BoundsRect().TopLeft(), f.g.ClientToScreen(cell.TopLeft()));
  EXPECT_GT(hint.Width(), cell.Width());
  f.desk.MouseMove(f.g, 60, f.RowY(0));  // the same cell: it stays
  EXPECT_TRUE(showing());
  f.desk.MouseMove(f.g, 50, f.RowY(1));  // "b" fits: nothing to show
  EXPECT_FALSE(showing());

  struct Case {
    const char* what;
    std::function<void()> act;
  } cases[] = {
      {"press", [&] { f.desk.MouseDown(f.g, 50, f.RowY(0)); f.desk.MouseUp(f.g, 50, f.RowY(0)); }},
      {"key", [&] { f.desk.KeyDown(f.g, VK_SHIFT); }},
      {"scroll", [&] { f.g.SetTopIndex(1); f.g.SetTopIndex(0); }},
      {"leave", [&] { f.desk.Send(f.g, WM_MOUSELEAVE); }},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(overCut()) << c.what;
    c.act();
    EXPECT_FALSE(showing()) << c.what;
  }
  EXPECT_TRUE(overCut());
}

TEST(TreeListHint, TheGridsOwnHintShowsBelowTheMouseAfterThePause) {
  InputFixture f("a b");
  f.g.SetHint("Results");
  f.g.SetShowHint(true);
  f.desk.MouseMove(f.g, 50, f.RowY(1));
  ASSERT_TRUE(f.desk.TimerRunning(f.g, TCustomGridTreeList::kHintTimerId));
  EXPECT_EQ(f.g.HintWindow(), nullptr);
  f.desk.FireTimer(f.g, TCustomGridTreeList::kHintTimerId);
  ASSERT_TRUE(f.g.HintWindow() && f.g.HintWindow()->HintShowing());
  EXPECT_FALSE(f.desk.TimerRunning(f.g, TCustomGridTreeList::kHintTimerId));
  EXPECT_EQ(f.g.HintWindow()->Caption(), "Results");
  EXPECT_EQ(f.g.HintWindow()->BoundsRect().TopLeft(),
            f.g.ClientToScreen({50, f.RowY(1) + f.desk.env.SystemMetric(SM_CYCURSOR)}));
  f.desk.Send(f.g, WM_MOUSELEAVE);
  EXPECT_FALSE(f.g.HintWindow()->HintShowing());
}

}  // namespace
