// test-label: concurrency
// The grid's mouse: the tracking states as a table of (state, message) ->
// (state, events), selection by clicks, the pending editor of a click on
// the focused cell, double-clicks, and scrolling while a node is held.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/treelist/tree_list_paint_util.h"
#include "tests/treelist/tree_list_test_util.h"
#include "treelist/grid_auto_scroll.h"

using namespace treetest;
using namespace gui;

namespace {

// Two 100-pixel columns under a band panel: band 0-18, headers 18-36,
// rows from 36. Mouse steps are "down|up|move|rdown|rup|mdown|mup|dbl|drag
// x y" (drag: a move with the left button up), "esc", or "lost": another
// window takes the mouse capture (a message box shown meanwhile).
struct TrackingFixture : InputFixture {
  std::vector<std::string> events;
  Control other;
  TrackingFixture() : InputFixture("a b c") {
    g.CreateColumn()->SetCaption("Size");
    g.SetShowBands(true);
    g.OnColumnClick = [this](TCustomGridTreeListControl*, TGridTreeListColumn* c) {
      events.push_back("sort " + c->Caption() + (c->Sorted() == csUp ? " up" : " down"));
    };
    g.OnChangedColumnsWidth = [this](TCustomGridTreeList*) {
      events.push_back("widths " + std::to_string(g.Columns(0)->Width()) + "/" + std::to_string(g.Columns(1)->Width()));
    };
    g.OnClick = [this](Control*) { events.push_back("click"); };
    g.OnDblClick = [this](Control*) { events.push_back("dblclick"); };
  }
  void Step(const std::string& step) {
    std::istringstream in(step);
    std::string what;
    int x = 0, y = 0;
    in >> what >> x >> y;
    if (what == "down") desk.MouseDown(g, x, y);
    if (what == "up") desk.MouseUp(g, x, y);
    if (what == "move") desk.MouseMove(g, x, y);
    if (what == "rdown") desk.MouseDown(g, x, y, mbRight);
    if (what == "rup") desk.MouseUp(g, x, y, mbRight);
    if (what == "mdown") desk.MouseDown(g, x, y, mbMiddle);
    if (what == "mup") desk.MouseUp(g, x, y, mbMiddle);
    if (what == "lost") desk.PeerOf(other).SetCapture();
    if (what == "dbl") desk.DoubleClick(g, x, y);
    if (what == "drag") {
      desk.env.SetKeyDown(VK_LBUTTON, false);
      desk.MouseMove(g, x, y);
    }
    if (what == "esc") desk.KeyDown(g, VK_ESCAPE);
  }
  std::string TakeEvents() {
    std::string s;
    for (const std::string& e : events) s += (s.empty() ? "" : ", ") + e;
    events.clear();
    return s;
  }
};

TEST(TreeListMouse, TrackingStatesAsATable) {
  TrackingFixture f;
  struct Row {
    const char* step;
    TTreeListTrackingState state;
    const char* events;
  };
  const Row rows[] = {
      // A header press is a click within 5 pixels, a drag beyond them.
      {"down 50 27", tsColumnDown, ""},
      {"move 55 32", tsColumnDown, ""},
      {"up 55 32", tsNone, "sort Name up"},
      {"down 50 27", tsColumnDown, ""},
      {"mdown 50 27", tsColumnDown, ""},  // a middle click meanwhile: still pressed
      {"mup 50 27", tsColumnDown, ""},
      {"up 50 27", tsNone, "sort Name down"},
      {"down 50 27", tsColumnDown, ""},
      {"move 56 27", tsColumnDragging, ""},
      {"up 190 27", tsNone, ""},  // dropped last: Size Name
      // Size's edge at 100: sized to the mouse, clamped to its minimum.
      {"down 101 27", tsColumnSizing, ""},
      {"move 0 27", tsColumnSizing, ""},
      {"rdown 0 27", tsNone, ""},  // a right press cancels: nothing changes
      {"rup 0 27", tsNone, ""},
      {"down 101 27", tsColumnSizing, ""},
      {"move -20 27", tsColumnSizing, ""},
      {"up -20 27", tsNone, "widths 100/4"},  // the minimum: left 0 + 4 - 1 + 1
      {"down 4 27", tsColumnSizing, ""},
      {"move 60 27", tsColumnSizing, ""},
      {"esc", tsNone, ""},
      {"down 4 27", tsColumnSizing, ""},
      {"up 4 27", tsNone, ""},  // released where it began: no change
      {"down 4 27", tsColumnSizing, ""},
      {"mdown 30 27", tsColumnSizing, ""},  // a middle click sizes nothing
      {"mup 30 27", tsColumnSizing, ""},
      {"up 60 27", tsNone, "widths 100/61"},  // position - left + 1
      // A double-click on the edge sizes the column to its content.
      {"dbl 61 27", tsNone, "widths 100/32"},  // "Size" and 8: no OnDblClick
      // Bands: pressed, then dragged beyond 5 pixels either way.
      {"down 20 9", tsBandDown, ""},
      {"move 20 15", tsBandDragging, ""},
      {"up 20 15", tsNone, ""},
      // A node press; the release is a click; a move without the button
      // ends the press.
      {"down 60 45", tsNodeDown, ""},
      {"up 60 45", tsNone, "click"},
      {"down 60 63", tsNodeDown, ""},
      {"drag 60 63", tsNone, ""},
      // A double-click on a node fires OnDblClick once.
      {"dbl 60 81", tsNone, "click, dblclick"},
  };
  for (const Row& r : rows) {
    f.Step(r.step);
    std::string events;
    for (const std::string& e : f.events) events += (events.empty() ? "" : ", ") + e;
    f.events.clear();
    EXPECT_EQ(f.g.State(), r.state) << r.step;
    EXPECT_EQ(events, r.events) << r.step;
  }
  EXPECT_EQ(f.g.VisibleIndexToAbsolute(0), 1);  // moved by the drag
  EXPECT_EQ(f.g.Columns(0)->Width(), 100);
  EXPECT_EQ(Name(f.g.FocusedNode()), "a");  // the rows sorted down: c b a
  EXPECT_EQ(f.g.SizingPos(), -1);
  EXPECT_TRUE(f.reported.empty());
}

// The indicator shown, the corner buttons clicking, the panels and rows
// sizable, multi-select, columns of 90 pixels: the band corner button at
// 0-12 x 0-18, the band 12-192, the header corner 0-12 x 18-36, rows from
// 36 with their sizing edges in the indicator. After each step: the
// state, the events, and what stays: the panel and row heights, the
// selection, a sizing line left on the screen, the scrolling timers
// running, panning.
struct PanelFixture : TrackingFixture {
  PanelFixture() {
    g.SetShowIndicator(true);
    g.Columns(0)->SetWidth(90);
    g.Columns(1)->SetWidth(90);
    g.SetOptions(g.Options().With(aoMultiSelect));
    g.SetOptionsEx(g.OptionsEx()
                       .With(aoBandButtonClicking)
                       .With(aoHeaderButtonClicking)
                       .With(aoBandPanelSizing)
                       .With(aoHeaderPanelSizing)
                       .With(aoRowSizing)
                       .With(aoMouseScroll));
    g.OnBandButtonClick = [this](TCustomGridTreeList*) { events.push_back("band button"); };
    g.OnHeaderButtonClick = [this](TCustomGridTreeList*) { events.push_back("header button"); };
    other.SetBounds(300, 0, 50, 50);
    desk.CanvasLog().clear();
  }
  std::string Stays() {
    int inversions = 0;
    for (const std::string& l : desk.CanvasLog()) inversions += l.rfind("InvertRect", 0) == 0;
    std::string s = std::to_string(g.BandPanelHeight()) + "/" + std::to_string(g.HeaderPanelHeight()) + "/" +
                    std::to_string(g.RowLineHeight()) + " " + Sel();
    if (inversions % 2) s += " line";
    if (desk.TimerRunning(g, kHorzScrollTimerId)) s += " hscroll";
    if (desk.TimerRunning(g, kSelectingTimerId)) s += " select";
    if (g.Panning()) s += " panning";
    return s;
  }
};

TEST(TreeListMouse, CornerButtonsPanelAndRowSizingAndACaptureLostInEveryState) {
  PanelFixture f;
  f.Click(60, 45);
  f.Click(60, 63, ssCtrl);
  f.TakeEvents();
  struct Row {
    const char* step;
    TTreeListTrackingState state;
    const char* events;
    const char* stays;
  };
  const Row rows[] = {
      // A corner button clicks when released on it.
      {"down 5 5", tsBandButtonDown, "", "18/18/18 b [a b]"},
      {"move 50 5", tsBandButtonDown, "", "18/18/18 b [a b]"},
      {"up 50 5", tsNone, "", "18/18/18 b [a b]"},
      {"down 5 5", tsBandButtonDown, "", "18/18/18 b [a b]"},
      {"up 5 5", tsNone, "band button", "18/18/18 b [a b]"},
      {"down 5 27", tsHeaderButtonDown, "", "18/18/18 b [a b]"},
      {"up 5 27", tsNone, "header button", "18/18/18 b [a b]"},
      // Escape cancels a sizing and leaves the selection alone.
      {"down 102 27", tsColumnSizing, "", "18/18/18 b [a b] line"},
      {"esc", tsNone, "", "18/18/18 b [a b]"},
      // Lost while pressed, sized, dragged or held: the state ends, its
      // line and timers with it, and the release does nothing (a press on
      // a selected row, kept for a drag, leaves the selection as it was).
      {"down 60 45", tsNodeDown, "", "18/18/18 a [a b]"},
      {"lost", tsNone, "", "18/18/18 a [a b]"},
      {"up 60 45", tsNone, "", "18/18/18 a [a b]"},
      {"down 60 63", tsNodeDown, "", "18/18/18 b [a b]"},
      {"lost", tsNone, "", "18/18/18 b [a b]"},
      {"up 60 63", tsNone, "", "18/18/18 b [a b]"},
      {"down 5 27", tsHeaderButtonDown, "", "18/18/18 b [a b]"},
      {"lost", tsNone, "", "18/18/18 b [a b]"},
      {"up 5 27", tsNone, "", "18/18/18 b [a b]"},
      {"down 5 5", tsBandButtonDown, "", "18/18/18 b [a b]"},
      {"lost", tsNone, "", "18/18/18 b [a b]"},
      {"up 5 5", tsNone, "", "18/18/18 b [a b]"},
      {"down 102 27", tsColumnSizing, "", "18/18/18 b [a b] line"},
      {"move 150 27", tsColumnSizing, "", "18/18/18 b [a b] line"},
      {"lost", tsNone, "", "18/18/18 b [a b]"},
      {"up 150 27", tsNone, "", "18/18/18 b [a b]"},
      {"down 192 9", tsBandSizing, "", "18/18/18 b [a b] line"},
      {"lost", tsNone, "", "18/18/18 b [a b]"},
      {"up 150 9", tsNone, "", "18/18/18 b [a b]"},
      {"down 50 18", tsBandPanelSizing, "", "18/18/18 b [a b] line"},
      {"lost", tsNone, "", "18/18/18 b [a b]"},
      {"up 50 30", tsNone, "", "18/18/18 b [a b]"},
      {"down 50 36", tsHeaderPanelSizing, "", "18/18/18 b [a b] line"},
      {"lost", tsNone, "", "18/18/18 b [a b]"},
      {"up 50 50", tsNone, "", "18/18/18 b [a b]"},
      {"down 5 54", tsRowSizing, "", "18/18/18 b [a b] line"},
      {"lost", tsNone, "", "18/18/18 b [a b]"},
      {"up 5 70", tsNone, "", "18/18/18 b [a b]"},
      {"down 50 27", tsColumnDown, "", "18/18/18 b [a b]"},
      {"lost", tsNone, "", "18/18/18 b [a b]"},
      {"up 50 27", tsNone, "", "18/18/18 b [a b]"},
      {"down 50 9", tsBandDown, "", "18/18/18 b [a b]"},
      {"lost", tsNone, "", "18/18/18 b [a b]"},
      {"up 50 9", tsNone, "", "18/18/18 b [a b]"},
      {"down 50 27", tsColumnDown, "", "18/18/18 b [a b]"},
      {"move 56 27", tsColumnDragging, "", "18/18/18 b [a b]"},
      {"move 205 27", tsColumnDragging, "", "18/18/18 b [a b] hscroll"},
      {"lost", tsNone, "", "18/18/18 b [a b]"},
      {"up 205 27", tsNone, "", "18/18/18 b [a b]"},
      {"down 50 9", tsBandDown, "", "18/18/18 b [a b]"},
      {"move 50 15", tsBandDragging, "", "18/18/18 b [a b]"},
      {"move -5 9", tsBandDragging, "", "18/18/18 b [a b] hscroll"},
      {"lost", tsNone, "", "18/18/18 b [a b]"},
      {"up -5 9", tsNone, "", "18/18/18 b [a b]"},
      {"down 60 63", tsNodeDown, "", "18/18/18 b [a b]"},
      {"move 60 200", tsNodeDown, "", "18/18/18 c [c] select"},
      {"lost", tsNone, "", "18/18/18 c [c]"},
      {"up 60 200", tsNone, "", "18/18/18 c [c]"},
      {"mdown 60 45", tsNone, "", "18/18/18 c [c] panning"},
      {"lost", tsNone, "", "18/18/18 c [c]"},
      // The sizing states complete on their release.
      {"down 192 9", tsBandSizing, "", "18/18/18 c [c] line"},
      {"up 162 9", tsNone, "widths 90/90", "18/18/18 c [c]"},
      {"down 50 18", tsBandPanelSizing, "", "18/18/18 c [c] line"},
      {"up 50 24", tsNone, "", "24/18/18 c [c]"},
      {"down 50 42", tsHeaderPanelSizing, "", "24/18/18 c [c] line"},
      {"up 50 50", tsNone, "", "24/26/18 c [c]"},
      {"down 5 68", tsRowSizing, "", "24/26/18 c [c] line"},
      {"up 5 74", tsNone, "", "24/26/24 c [c]"},
  };
  for (const Row& r : rows) {
    f.Step(r.step);
    EXPECT_EQ(f.g.State(), r.state) << r.step;
    EXPECT_EQ(f.TakeEvents(), r.events) << r.step;
    EXPECT_EQ(f.Stays(), r.stays) << r.step;
  }
  EXPECT_TRUE(f.reported.empty());
}

// Header clicks sort up, then down; rows with equal keys keep their order.
TEST(TreeListMouse, HeaderClicksSortStablyAndTheHeaderDrawsAsAsked) {
  InputFixture f("b1 a1 b2 a2 b3");
  f.g.CreateColumn()->SetCaption("Kind");
  for (TGridTreeListNode* n = f.g.GetFirstNode(); n; n = n->GetNextSibling()) n->SetStrings(1, n->Strings(0).substr(0, 1));
  auto order = [&] {
    std::string s;
    for (TGridTreeListNode* n = f.g.GetFirstNode(); n; n = n->GetNextSibling()) s += Name(n) + " ";
    return s;
  };
  f.Click(150, 9);
  EXPECT_EQ(order(), "a1 a2 b1 b2 b3 ");
  f.Click(150, 9);
  EXPECT_EQ(order(), "b1 b2 b3 a1 a2 ");
  EXPECT_EQ(f.g.SortedColumns().size(), 1u);
  // The sort mark as OnColumnSorted has it; the header's drawing by the
  // grid's handler, then the column's unless the first one is done.
  f.g.OnColumnSorted = [](TCustomGridTreeListControl*, TGridTreeListColumn*, TGridTreeListColumnSort& s) { s = csUp; };
  EXPECT_EQ(f.g.HeaderSortMark(1), csUp);
  std::string drawn;
  f.g.OnCustomDrawColumnHeader = [&](TCustomGridTreeListControl*, TGridTreeListColumn* c, Canvas&, const Rect&,
                                     std::string& text, Color&, Font&, TAlignment&, TGridTreeListColumnSort&,
                                     bool& done) {
    drawn += "grid:" + c->Caption() + " ";
    text = "K";
    done = c->Index() == 0;
  };
  f.g.Columns(1)->OnCustomDrawColumnHeader = [&](TCustomGridTreeListControl*, TGridTreeListColumn*, Canvas&,
                                                 const Rect&, std::string& text, Color&, Font&, TAlignment&,
                                                 TGridTreeListColumnSort&, bool&) { drawn += "column:" + text; };
  RecordingCanvas canvas;
  for (int column : {0, 1}) {
    std::string text = f.g.HeaderCaption(column);
    Color color = clBtnFace;
    Font font;
    TAlignment alignment = taLeftJustify;
    TGridTreeListColumnSort sorted = csNone;
    bool done = false;
    ASSERT_TRUE(f.g.CustomDrawHeaderAssigned(column));
    f.g.CustomDrawHeader(column, canvas, Rect(0, 0, 100, 18), text, color, font, alignment, sorted, done);
  }
  EXPECT_EQ(drawn, "grid:Name grid:Kind column:K");
}

TEST(TreeListMouse, ClicksSelectAloneToggleAndAddRanges) {
  InputFixture f("a b c d e f", {aoMultiSelect});
  const int x = 50;
  f.Click(x, f.RowY(2));
  EXPECT_EQ(f.Sel(), "c [c]");
  f.Click(x, f.RowY(3), ssCtrl);
  EXPECT_EQ(f.Sel(), "d [c d]");
  f.Click(x, f.RowY(1), ssShift);  // from the anchor, replacing the rest
  EXPECT_EQ(f.Sel(), "b [b c d]");
  f.Click(x, f.RowY(3), ssCtrl);  // toggled off; the anchor
  EXPECT_EQ(f.Sel(), "d [b c]");
  f.log.Take();
  f.Click(x, f.RowY(0) + 0 * 18, ssCtrl | ssShift);  // the range added
  EXPECT_EQ(f.Sel(), "a [a b c d]");
  EXPECT_EQ(f.log.Take(), "node d>a, count 4");
  // A press on a selected node keeps the selection for a drag; the
  // release without one leaves that node alone.
  // A middle click meanwhile changes nothing.
  f.desk.MouseDown(f.g, x, f.RowY(2));
  EXPECT_EQ(f.Sel(), "c [a b c d]");
  f.desk.Click(f.g, x, f.RowY(4), mbMiddle);
  EXPECT_EQ(f.Sel(), "c [a b c d]");
  EXPECT_EQ(f.g.State(), tsNodeDown);
  f.desk.MouseUp(f.g, x, f.RowY(2));
  EXPECT_EQ(f.Sel(), "c [c]");
  EXPECT_EQ(f.log.Take(), "node a>c, count 1");
}

// Cells editable: a click on the focused cell of a focused grid opens the
// editor when the double-click time is up, unless something came first.
TEST(TreeListMouse, ThePendingEditorOfAClick) {
  InputFixture f("a b c");
  f.g.SetOptions(f.g.Options().Without(aoRowSelect));
  TGridTreeList other;
  other.SetBounds(0, 200, 100, 100);
  auto pending = [&] { return f.desk.TimerRunning(f.g, TCustomGridTreeList::kEditorTimerId); };
  auto fire = [&] { return f.desk.FireTimer(f.g, TCustomGridTreeList::kEditorTimerId); };
  f.Click(50, f.RowY(0));
  ASSERT_TRUE(pending());
  EXPECT_TRUE(fire());
  EXPECT_TRUE(f.g.Editing());
  EXPECT_FALSE(pending());
  f.Key(VK_ESCAPE);
  f.Click(50, f.RowY(1));  // another cell: only focused
  EXPECT_FALSE(pending());
  // The focus goes elsewhere first: no editor.
  f.Click(50, f.RowY(1));
  other.SetFocus();
  EXPECT_FALSE(pending());
  f.desk.Send(f.g, WM_TIMER, TCustomGridTreeList::kEditorTimerId);  // a late tick changes nothing
  EXPECT_FALSE(f.g.Editing());
  // An unfocused grid's click only gives it the focus.
  f.Click(50, f.RowY(1));
  EXPECT_TRUE(f.g.Focused());
  EXPECT_FALSE(pending());
  // A key that moves the focus, or the second click of a double-click,
  // ends the wait.
  f.Click(50, f.RowY(1));
  f.Key(VK_DOWN);
  EXPECT_FALSE(pending());
  f.desk.DoubleClick(f.g, 50, f.RowY(2));
  EXPECT_FALSE(pending());
  EXPECT_FALSE(f.g.Editing());
  // With aoImmediateEditor the release opens it.
  f.g.SetOptions(f.g.Options().With(aoImmediateEditor));
  f.Click(50, f.RowY(0));
  EXPECT_TRUE(f.g.Editing());
  EXPECT_TRUE(f.reported.empty());
}

// OnDblClick sees the node its double-click toggled as it is now, and
// comes before the second press's OnMouseDown.
TEST(TreeListMouse, ExpandButtonVetoDoubleClickExpandsOnce) {
  InputFixture f("a(a1) b");
  int dbl = 0;
  std::string seen;
  f.g.OnDblClick = [&](Control*) {
    ++dbl;
    seen += Find(f.g, "a")->Expanded() ? "dbl expanded, " : "dbl collapsed, ";
  };
  f.g.OnMouseDown = [&](Control*, MouseButton, ShiftState, int, int) { seen += "down, "; };
  bool allow = false;
  f.g.OnCollapsing = [&](TCustomGridTreeList*, TGridTreeListNode*, bool& a) { a = allow; };
  f.Click(8, f.RowY(0));  // the button
  EXPECT_TRUE(Find(f.g, "a")->Expanded());
  allow = true;
  f.Click(8, f.RowY(0));
  EXPECT_FALSE(Find(f.g, "a")->Expanded());
  seen.clear();
  f.desk.DoubleClick(f.g, 50, f.RowY(0));
  EXPECT_TRUE(Find(f.g, "a")->Expanded());
  EXPECT_EQ(dbl, 1);
  EXPECT_EQ(seen, "down, dbl expanded, down, ");
  // The right button's double-click toggles too (OnDblClick is the left one's).
  auto rightDouble = [&] {
    f.desk.Click(f.g, 50, f.RowY(0), mbRight);
    f.desk.env.SetKeyDown(VK_RBUTTON, true);
    f.desk.Send(f.g, WM_RBUTTONDBLCLK, MK_RBUTTON, MakeLParam(50, f.RowY(0)));
    f.desk.MouseUp(f.g, 50, f.RowY(0), mbRight);
  };
  rightDouble();
  EXPECT_FALSE(Find(f.g, "a")->Expanded());
  EXPECT_EQ(dbl, 1);
  f.g.SetDblClkExpanding(false);
  f.desk.DoubleClick(f.g, 50, f.RowY(0));
  rightDouble();
  EXPECT_FALSE(Find(f.g, "a")->Expanded());
  EXPECT_EQ(dbl, 2);
}

// A row added under the mouse (a search result arriving in an update
// bracket) idles a press on a cell, and its release still opens the
// immediate editor; the mouse taken by another window meanwhile (a message
// box) forgets that: the release opens nothing.
TEST(TreeListMouse, AnUpdateMidPressKeepsTheReleasesEditorALostCaptureForgetsIt) {
  EditFixture f;
  f.g.SetOptions(f.g.Options().With(aoImmediateEditor));
  Control other;
  other.SetBounds(300, 0, 10, 10);
  for (bool lost : {false, true}) {
    const int y = f.RowY(lost ? 2 : 1);
    f.desk.MouseDown(f.g, 50, y);
    f.g.BeginUpdate();
    f.g.Add()->SetStrings(0, "new");
    f.g.EndUpdate();
    EXPECT_EQ(f.g.State(), tsNone) << lost;
    if (lost) f.desk.PeerOf(other).SetCapture();
    f.desk.MouseUp(f.g, 50, y);
    EXPECT_EQ(f.g.Editing(), !lost) << lost;
    if (f.g.Editing()) f.Key(VK_ESCAPE);
  }
  EXPECT_TRUE(f.reported.empty());
}

// Held on a node below the rows: timer 1 scrolls a row a tick; each grid
// keeps its own timers.
TEST(TreeListMouse, MouseScrollingWhileANodeIsHeld) {
  InputFixture f("a b c d e f g h", {}, {aoMouseScroll});
  InputGrid second;
  OneColumn(second);
  Build(second, "x y");
  f.desk.MouseDown(f.g, 50, f.RowY(1));
  f.desk.MouseMove(f.g, 50, f.RowY(2));
  EXPECT_EQ(Name(f.g.FocusedNode()), "c");
  f.desk.MouseMove(f.g, 50, 200);
  EXPECT_EQ(Name(f.g.FocusedNode()), "d");  // the last row shown
  ASSERT_TRUE(f.desk.TimerRunning(f.g, kSelectingTimerId));
  f.desk.Send(second, WM_LBUTTONUP, 0, MakeLParam(50, f.RowY(0)));  // another grid's release
  f.desk.FireTimer(f.g, kSelectingTimerId);
  f.desk.FireTimer(f.g, kSelectingTimerId);
  EXPECT_EQ(f.g.TopIndex(), 2);
  f.desk.MouseUp(f.g, 50, 200);
  EXPECT_FALSE(f.desk.TimerRunning(f.g, kSelectingTimerId));
}

// The middle button holds the rows and columns: they follow the mouse a
// row per row height and pixel by pixel, until the button is released.
TEST(TreeListMouse, TheMiddleButtonPansRowsAndColumns) {
  InputFixture f("a b c d e f g h");
  f.g.CreateColumn()->SetWidth(300);  // 400 wide in a 200-pixel grid
  f.desk.MouseDown(f.g, 150, 80, mbMiddle);
  EXPECT_TRUE(f.g.Panning());
  EXPECT_EQ(f.desk.PeerOf(f.g).CurrentCursor(), Cursor::SizeAll);
  f.desk.MouseMove(f.g, 100, 80 - 2 * 18);
  EXPECT_EQ(f.g.TopIndex(), 2);
  EXPECT_EQ(f.g.LeftCoord(), 50);
  f.desk.MouseMove(f.g, 140, 80 - 18);
  EXPECT_EQ(f.g.TopIndex(), 1);
  EXPECT_EQ(f.g.LeftCoord(), 10);
  f.desk.MouseUp(f.g, 140, 80 - 18, mbMiddle);
  EXPECT_FALSE(f.g.Panning());
  f.desk.MouseMove(f.g, 150, 80);
  EXPECT_EQ(f.g.TopIndex(), 1);  // no longer held
  EXPECT_EQ(f.g.State(), tsNone);
}

// A descendant with a bottom strip and its check box, whose column
// presses may be taken in the second header mode.
class StripGrid : public InputGrid {
 public:
  bool secondMode = false;
  int actions = 0;
  bool BottomStripShown() const override { return true; }
  int BottomStripHeight() const override { return 20; }
  bool BottomStripCheckBox() const override { return true; }
  void BottomStripAction() override { ++actions; }
  bool ColumnPressSecondMode(int) const override { return secondMode; }
};

// A Ctrl click on a header stops its sorting; the second header mode
// clicks without dragging; the strip's button is pressed while the mouse
// is on it and acts on a release there.
TEST(TreeListMouse, CtrlHeaderClicksSecondHeaderModeAndTheBottomStripButton) {
  FakeDesktop desk;
  StripGrid g;
  OneColumn(g);
  g.CreateColumn()->SetCaption("Size");
  Build(g, "b a");
  g.HandleNeeded();
  g.SetFocus();
  std::vector<std::string> clicks;
  g.OnColumnClick = [&](TCustomGridTreeListControl*, TGridTreeListColumn* c) {
    clicks.push_back(c->Caption() + " " + std::to_string(c->Sorted()));
  };
  desk.Click(g, 50, 9);
  desk.env.SetKeyDown(VK_CONTROL, true);
  desk.Click(g, 50, 9);
  desk.env.SetKeyDown(VK_CONTROL, false);
  EXPECT_EQ(clicks, (std::vector<std::string>{"Name 1", "Name 0"}));
  EXPECT_EQ(Name(g.Items(0)), "a");  // the order the sort left

  g.secondMode = true;
  desk.MouseDown(g, 150, 9);
  EXPECT_EQ(g.State(), tsColumnDownSecond);
  desk.MouseMove(g, 170, 9);  // no drag in this mode
  EXPECT_EQ(g.State(), tsColumnDownSecond);
  desk.MouseUp(g, 170, 9);
  EXPECT_EQ(clicks.back(), "Size 1");

  // The strip: rows 18-70, strip 70-90, its box at (5,74) 11 square.
  auto boxPressed = [&] { return painttest::Has(desk.Paint(g), "FillRect(6,75,15,84) brush=clWindowFrame"); };
  desk.MouseDown(g, 40, 80);  // in the strip, beside the box: nothing
  EXPECT_EQ(g.State(), tsNone);
  desk.MouseUp(g, 40, 80);
  desk.MouseDown(g, 10, 80);
  EXPECT_EQ(g.State(), tsBottomStripDown);
  EXPECT_TRUE(boxPressed());
  desk.MouseMove(g, 40, 80);
  EXPECT_FALSE(boxPressed());
  desk.MouseUp(g, 40, 80);  // released off the box: no action
  EXPECT_EQ(g.actions, 0);
  desk.MouseDown(g, 10, 80);
  desk.MouseMove(g, 40, 80);
  desk.MouseMove(g, 12, 78);
  EXPECT_TRUE(boxPressed());
  desk.MouseUp(g, 12, 78);
  EXPECT_EQ(g.actions, 1);
  EXPECT_EQ(g.State(), tsNone);
  EXPECT_FALSE(boxPressed());

  // The capture lost to another window: neither press acts on its release.
  Control other;
  for (Point at : {Point{150, 9}, Point{10, 80}}) {
    desk.MouseDown(g, at.X, at.Y);
    EXPECT_NE(g.State(), tsNone);
    desk.PeerOf(other).SetCapture();
    EXPECT_EQ(g.State(), tsNone);
    EXPECT_FALSE(boxPressed());
    desk.MouseUp(g, at.X, at.Y);
  }
  EXPECT_EQ(clicks.size(), 3u);
  EXPECT_EQ(g.actions, 1);
}

// A descendant showing the new-item row (18 pixels under the header) and
// counting the editor asked for there.
class NewRowGrid : public InputGrid {
 public:
  int editorAsked = 0;
  bool NewItemRowShown() const override { return true; }
  int NewItemRowHeight() const override { return 18; }
  void ShowNewItemRowEditor() override { ++editorAsked; }
};

// Up, Ctrl+Up and Page Up on the first row go into the new-item row, Down
// and Page Down back to the top row (the selection that row alone unless
// Shift or Ctrl is held); a press in the row focuses it and the column
// under it, and its release (aoImmediateEditor) or the pending editor asks
// for the row's editor; a press on a node leaves it.
TEST(TreeListMouse, TheNewItemRowTakesTheFocusByKeysAndPresses) {
  EditFixtureOf<NewRowGrid> f("a b c d e f");
  NewRowGrid& g = f.g;
  auto at = [&] {
    std::string s = (g.NewItemRowFocused() ? "new " : "") + Name(g.FocusedNode()) + std::to_string(g.FocusedColumn()) + " [";
    for (int i = 0; i < g.SelectedCount(); ++i) s += (i ? " " : "") + Name(g.SelectedNodes(i));
    return s + "]";
  };
  f.Key(VK_DOWN);
  f.Key(VK_DOWN, ssShift);
  f.Key(VK_UP, ssCtrl);
  f.Key(VK_UP, ssCtrl);
  ASSERT_EQ(at(), "a0 [b c]");
  f.Key(VK_UP, ssCtrl);
  EXPECT_EQ(at(), "new a0 [b c]");
  f.Key(VK_DOWN, ssShift);  // the selection kept with Shift
  EXPECT_EQ(at(), "a0 [b c]");
  f.Key(VK_UP);
  EXPECT_EQ(at(), "new a0 [b c]");
  f.Key(VK_NEXT);
  EXPECT_EQ(at(), "a0 [a]");
  f.Key(VK_PRIOR);
  EXPECT_EQ(at(), "new a0 [a]");
  f.Key(VK_DOWN);
  f.Key(VK_DOWN);
  EXPECT_EQ(at(), "b0 [b]");

  f.Click(150, 27);  // the row, under Size
  EXPECT_EQ(at(), "new b1 [b]");
  EXPECT_EQ(g.editorAsked, 0);
  f.Click(150, 27);  // its focused cell again: the pending editor
  ASSERT_TRUE(f.desk.FireTimer(g, TCustomGridTreeList::kEditorTimerId));
  EXPECT_EQ(g.editorAsked, 1);
  g.SetOptions(g.Options().With(aoImmediateEditor));
  f.Click(50, 27);
  EXPECT_EQ(at(), "new b0 [b]");
  EXPECT_EQ(g.editorAsked, 2);
  f.Key(VK_F2);
  EXPECT_EQ(g.editorAsked, 3);
  EXPECT_FALSE(g.Editing());
  f.Click(50, 18 + 18 + 2 * 18 + 9);  // a node: the row is left
  EXPECT_EQ(at(), "c0 [c]");
  EXPECT_TRUE(f.reported.empty());
}

// An editor kept open through a press (its keep-open flag) is still ended
// by it; the press does nothing else.
TEST(TreeListMouse, APressEndsAnEditorKeptOpenThroughIt) {
  InputFixture f("a b c");
  f.g.SetOptions(f.g.Options().Without(aoRowSelect));
  f.Key(VK_F2);
  ASSERT_TRUE(f.g.Editing());
  f.g.InplaceEditor()->KeepOpen = true;
  f.g.modified = true;
  f.g.typed = "x";
  f.Click(50, f.RowY(2));
  EXPECT_FALSE(f.g.Editing());
  EXPECT_EQ(Name(f.g.GetFirstNode()), "x");
  EXPECT_EQ(Name(f.g.FocusedNode()), "x");
  EXPECT_TRUE(f.g.Focused());
}

}  // namespace
