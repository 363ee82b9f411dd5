// Dragging nodes out of the grid: the drag begins as a pressed node is
// pulled past the grid's 5 pixels and then the system's threshold, carries
// the selection, keeps the focused row highlighted while another control
// has the focus, scrolls the rows near their edge, and ends with the click
// of the release and the drop on the control that takes it, or without a
// drop on Escape.
#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "tests/treelist/tree_list_paint_util.h"
#include "tests/treelist/tree_list_test_util.h"
#include "treelist/grid_auto_scroll.h"

using namespace treetest;
using namespace gui;

namespace {

struct DragFixture : InputFixture {
  InputGrid target;  // to the right of the grid on the screen
  std::vector<std::string> events;

  DragFixture() : InputFixture("a b c d e f g h", {aoMultiSelect}) {
    g.SetDragMode(dmAutomatic);
    OneColumn(target);
    target.SetBounds(300, 0, 200, 90);
    target.HandleNeeded();
    g.OnClick = [this](Control*) { events.push_back("click"); };
    g.OnStartDrag = [this](Control*) { events.push_back("start"); };
    g.OnEndDrag = [this](Control*, Control* t, int, int) { events.push_back(t == &target ? "end on target" : "end"); };
    target.OnDragOver = [](Control*, Control*, int, int, DragState, bool& accept) { accept = true; };
    target.OnDragDrop = [this](Control*, Control* s, int x, int y) {
      events.push_back("drop " + std::to_string(x) + "," + std::to_string(y) + (s == &g ? " from g" : ""));
    };
  }
  std::string Events() {
    std::string s;
    for (const std::string& e : events) s += (s.empty() ? "" : ", ") + e;
    events.clear();
    return s;
  }
  // A press on row r pulled 6 pixels (the grid's threshold), then 5 more
  // (the system's).
  void PullRow(int r) {
    desk.MouseDown(g, 50, RowY(r));
    desk.MouseMove(g, 53, RowY(r));
    EXPECT_EQ(CurrentDrag(), nullptr);
    desk.MouseMove(g, 56, RowY(r));
    EXPECT_EQ(g.State(), tsNodeDown);  // begun, not yet past the system's threshold
    desk.MouseMove(g, 61, RowY(r));
  }
};

TEST(TreeListDrag, ANodeDragCarriesTheSelectionScrollsAndDropsWithAClick) {
  DragFixture f;
  f.Click(50, f.RowY(0));
  f.Click(50, f.RowY(1), ssCtrl);
  ASSERT_EQ(f.Sel(), "b [a b]");
  f.Events();
  f.PullRow(0);  // a press on a selected node keeps the selection for the drag
  EXPECT_EQ(f.g.State(), tsNodeDragging);
  EXPECT_TRUE(f.g.Dragging() && f.g.IsDragging());
  EXPECT_EQ(f.Events(), "start");
  EXPECT_EQ(f.Sel(), "a [a b]");

  // Another control has the focus: the dragged row is still highlighted,
  // the other selected row is not (HideSelection).
  f.target.SetFocus();
  const std::string log = f.desk.Paint(f.g);
  EXPECT_EQ(painttest::CountOf(log, "brush=clHighlight"), 1) << log;
  f.g.SetFocus();

  // Near the rows' bottom edge the rows scroll a row a tick; away from it
  // they stop.
  f.desk.MouseMove(f.g, 50, 86);
  ASSERT_TRUE(f.desk.TimerRunning(f.g, kVertScrollTimerId));
  f.desk.FireTimer(f.g, kVertScrollTimerId);
  f.desk.FireTimer(f.g, kVertScrollTimerId);
  EXPECT_EQ(f.g.TopIndex(), 2);
  f.desk.MouseMove(f.g, 50, 12);  // the top edge, above the rows
  f.desk.FireTimer(f.g, kVertScrollTimerId);
  EXPECT_EQ(f.g.TopIndex(), 1);
  f.desk.MouseMove(f.g, 50, 50);
  EXPECT_FALSE(f.desk.TimerRunning(f.g, kVertScrollTimerId));

  // The release over the target: the grid's click, the drop, the end.
  f.desk.MouseMove(f.g, 350, 40);
  f.desk.MouseUp(f.g, 350, 40);
  EXPECT_EQ(f.Events(), "click, drop 50,40 from g, end on target");
  EXPECT_EQ(f.g.State(), tsNone);
  EXPECT_FALSE(f.g.IsDragging());
  EXPECT_EQ(f.Sel(), "a [a b]");  // not reduced after a drag
  EXPECT_TRUE(f.reported.empty());
}

TEST(TreeListDrag, EscapeEndsTheDragWithoutADropAndAShortPullIsAClick) {
  DragFixture f;
  f.PullRow(2);
  EXPECT_EQ(f.Sel(), "c [c]");
  f.desk.MouseMove(f.g, 350, 40);
  f.desk.KeyDown(f.g, VK_ESCAPE);
  EXPECT_EQ(f.Events(), "start, end");
  EXPECT_EQ(f.g.State(), tsNone);
  EXPECT_FALSE(f.desk.TimerRunning(f.g, kVertScrollTimerId));
  f.desk.MouseUp(f.g, 350, 40);
  EXPECT_EQ(f.Events(), "");
  // Pulled past the grid's threshold but released before the system's: a
  // click on the node, the selection reduced to it.
  f.Click(50, f.RowY(1), ssCtrl);
  f.desk.MouseDown(f.g, 50, f.RowY(1));
  f.desk.MouseMove(f.g, 57, f.RowY(1));
  f.desk.MouseUp(f.g, 57, f.RowY(1));
  EXPECT_EQ(f.Events(), "click, click");
  EXPECT_EQ(f.Sel(), "b [b]");
}

// The capture taken by another window (a message box) ends the drag
// without a drop, begun or still short of the system's threshold; a right
// press ends a pending one: a further pull starts nothing.
TEST(TreeListDrag, ALostCaptureOrARightPressEndsTheDragBegunOrPending) {
  DragFixture f;
  Control other;
  other.SetBounds(600, 0, 10, 10);
  f.PullRow(2);
  ASSERT_EQ(f.g.State(), tsNodeDragging);
  f.Events();
  f.desk.PeerOf(other).SetCapture();
  EXPECT_EQ(f.Events(), "end");
  EXPECT_EQ(CurrentDrag(), nullptr);
  f.desk.MouseUp(f.g, 61, f.RowY(2));
  EXPECT_EQ(f.Events(), "");
  EXPECT_EQ(f.g.State(), tsNone);

  for (bool right : {true, false}) {
    f.desk.MouseDown(f.g, 50, f.RowY(1));
    f.desk.MouseMove(f.g, 56, f.RowY(1));
    ASSERT_NE(CurrentDrag(), nullptr);  // pending
    if (right)
      f.desk.MouseDown(f.g, 56, f.RowY(1), mbRight);
    else
      f.desk.PeerOf(other).SetCapture();
    EXPECT_EQ(CurrentDrag(), nullptr) << right;
    f.desk.MouseMove(f.g, 70, f.RowY(1));
    EXPECT_EQ(f.Events(), "") << right;
    EXPECT_EQ(f.g.State(), tsNone) << right;
    if (right) f.desk.MouseUp(f.g, 70, f.RowY(1), mbRight);
    f.desk.MouseUp(f.g, 70, f.RowY(1));
  }
  EXPECT_TRUE(f.reported.empty());
}

// Rows change under a drag (a search result arrives, a node expands, the
// rows are sorted or cleared), each in an update bracket: the grid goes
// idle, but the drag, begun or still short of the system's threshold,
// goes on to its drop.
TEST(TreeListDrag, AnUpdateBracketLeavesTheDragToItsDrop) {
  DragFixture f;
  Find(f.g, "h")->AddChild()->SetStrings(0, "h1");
  const std::pair<const char*, std::function<void()>> updates[] = {
      {"add",
       [&] {
         f.g.BeginUpdate();
         f.g.Add()->SetStrings(0, "new");
         f.g.EndUpdate();
       }},
      {"expand", [&] { Find(f.g, "h")->Expand(true); }},
      {"sort",
       [&] {
         f.g.Columns(0)->SetSorted(f.g.Columns(0)->Sorted() == csDown ? csUp : csDown);
         f.g.SortNodes();
       }},
      {"clear", [&] { f.g.ClearNodes(); }},
  };
  for (const auto& [what, update] : updates) {
    for (bool begun : {true, false}) {
      if (f.g.Count() == 0) Build(f.g, "a b c");
      f.Events();
      f.desk.MouseDown(f.g, 50, f.RowY(1));
      f.desk.MouseMove(f.g, 56, f.RowY(1));  // pending
      if (begun) f.desk.MouseMove(f.g, 61, f.RowY(1));
      ASSERT_NE(CurrentDrag(), nullptr) << what;
      EXPECT_EQ(CurrentDrag()->Started(), begun) << what;
      update();
      EXPECT_EQ(f.g.State(), tsNone) << what;
      ASSERT_NE(CurrentDrag(), nullptr) << what << begun;
      f.desk.MouseMove(f.g, 350, 40);
      f.desk.MouseUp(f.g, 350, 40);
      EXPECT_EQ(f.Events(), begun ? "start, drop 50,40 from g, end on target"
                                  : "start, click, drop 50,40 from g, end on target")
          << what;
      EXPECT_EQ(CurrentDrag(), nullptr) << what;
      EXPECT_EQ(f.g.State(), tsNone) << what;
    }
  }
  // A right press still ends a drag the bracket left pending: a further
  // pull starts nothing.
  Build(f.g, "a b c");
  f.Events();
  f.desk.MouseDown(f.g, 50, f.RowY(1));
  f.desk.MouseMove(f.g, 56, f.RowY(1));
  updates[0].second();
  ASSERT_NE(CurrentDrag(), nullptr);
  f.desk.Click(f.g, 56, f.RowY(1), mbRight);
  EXPECT_EQ(CurrentDrag(), nullptr);
  f.desk.MouseMove(f.g, 350, 40);
  f.desk.MouseUp(f.g, 350, 40);
  EXPECT_EQ(f.Events(), "");
  EXPECT_TRUE(f.reported.empty());
}

// With aoImmediateEditor, a node dragged back onto the cell it was pulled
// from is a click on that cell: the release opens its editor.
TEST(TreeListDrag, ANodeDraggedBackOntoItsCellOpensTheImmediateEditor) {
  DragFixture f;
  f.g.SetOptions(f.g.Options().Without(aoRowSelect).With(aoImmediateEditor));
  f.PullRow(1);
  ASSERT_EQ(f.g.State(), tsNodeDragging);
  f.desk.MouseMove(f.g, 50, f.RowY(1));
  f.desk.MouseUp(f.g, 50, f.RowY(1));
  EXPECT_EQ(f.Events(), "start, click, end");
  EXPECT_TRUE(f.g.Editing());
  EXPECT_EQ(Name(f.g.EditingNode()), "b");
  EXPECT_EQ(CurrentDrag(), nullptr);
  EXPECT_TRUE(f.reported.empty());
}

}  // namespace
