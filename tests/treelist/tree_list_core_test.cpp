#include "treelist/custom_tree_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include "gui/clipboard.h"
#include "gui/fake_peer.h"
#include "gui/ini_file.h"
#include "tests/support/test_util.h"
#include "tests/treelist/tree_list_test_util.h"
#include "treelist/grid_edit_error.h"

using namespace treetest;

namespace {

// A grid with a stand-in editor: its check rejects while reject is set,
// and it reports a modified value.
class EditingGrid : public CountingGrid {
 public:
  using CountingGrid::CountingGrid;
  bool reject = false;
  std::vector<std::string> editor;
  int timerShows = 0;

 protected:
  void ValidateEditorValue() override {
    if (reject) throw EGridEditInvalidInput(kGridEditInvalidInputText);
  }
  bool EditorModified() const override { return true; }
  std::string EditorValue() const override { return "edited"; }
  void ActivateEditor(bool active) override { editor.push_back(active ? "show" : "hide"); }
  void ShowEditorFromTimer() override { ++timerShows; }
};

TEST(TreeListCore, NestedUpdateRelayoutsOnceAndReportsTheSelectionOnce) {
  EventLog log;
  CountingGrid g;
  OneColumn(g);
  g.SetOptions(g.Options().With(aoMultiSelect));
  auto nodes = Build(g, "a b c d");
  log.Attach(g);
  g.layouts = 0;
  g.BeginUpdate();
  g.BeginUpdate();
  nodes[0]->SetSelected(true);
  nodes[1]->SetSelected(true);
  g.EndUpdate();
  EXPECT_EQ(g.layouts, 0);
  g.EndUpdate();
  EXPECT_EQ(g.layouts, 1);
  EXPECT_EQ(log.Take(), "count 2");
  // A bracket that leaves the count as it was says nothing.
  {
    TGridUpdateScope scope(g);
    nodes[2]->SetSelected(true);
    nodes[2]->SetSelected(false);
  }
  EXPECT_EQ(log.Take(), "");
  // A stray EndUpdate changes nothing: brackets and events still work.
  g.EndUpdate();
  EXPECT_EQ(g.LockCount(), 0);
  g.layouts = 0;
  {
    TGridUpdateScope scope(g);
    nodes[3]->SetSelected(true);
  }
  EXPECT_EQ(g.layouts, 1);
  EXPECT_EQ(log.Take(), "count 3");
}

TEST(TreeListCore, BeginUpdateIsAllOrNothingWhenTheEditorRejects) {
  EditingGrid g;
  OneColumn(g);
  auto nodes = Build(g, "a b");
  g.SetState(tsEditing);
  g.reject = true;
  EXPECT_THROW(g.BeginUpdate(), EGridEditInvalidInput);
  EXPECT_EQ(g.LockCount(), 0);
  EXPECT_TRUE(g.Editing());
  // The scope guard takes nothing when its BeginUpdate fails, and gives the
  // lock back when the code inside throws.
  EXPECT_THROW(TGridUpdateScope scope(g), EGridEditInvalidInput);
  g.reject = false;
  EXPECT_THROW(
      {
        TGridUpdateScope scope(g);
        throw std::runtime_error("inside");
      },
      std::runtime_error);
  EXPECT_EQ(g.LockCount(), 0);
  EXPECT_FALSE(g.Editing());
  EXPECT_EQ(nodes[0]->Strings(0), "edited");  // stored when the edit ended
  EXPECT_EQ(g.editor, (std::vector<std::string>{"show", "hide"}));
}

TEST(TreeListCore, DeletingTheEditedNodeHidesTheEditorWithoutStoring) {
  EditingGrid g;
  OneColumn(g);
  auto nodes = Build(g, "p(a) b");
  nodes[1]->SetFocused(true);
  g.SetState(tsEditing);
  EXPECT_EQ(g.EditingNode(), nodes[1]);
  int edited = 0;
  g.OnEdited = [&](TCustomGridTreeList*, TGridTreeListNode*) { ++edited; };
  nodes[0]->Delete();  // the edited node's parent
  EXPECT_FALSE(g.Editing());
  EXPECT_EQ(g.EditingNode(), nullptr);
  EXPECT_EQ(g.EditingRow(), -1);
  EXPECT_EQ(edited, 0);
  EXPECT_EQ(g.editor, (std::vector<std::string>{"show", "hide"}));
  g.HideEditor(true);  // nothing left to store into
  EXPECT_EQ(edited, 0);
}

// The grid going away with a cell open ends the edit as any other way out
// does, its value stored and OnEdited fired, only unchecked.
TEST(TreeListCore, DestroyingTheGridStoresTheOpenEdit) {
  class ClosingGrid : public EditingGrid {
   public:
    ~ClosingGrid() override { DestroyNodes(); }
  };
  std::string edited;
  auto* g = new ClosingGrid;
  OneColumn(*g);
  auto nodes = Build(*g, "a b");
  nodes[1]->SetFocused(true);
  g->SetState(tsEditing);
  g->reject = true;
  g->OnEdited = [&](TCustomGridTreeList*, TGridTreeListNode* n) { edited = n->Strings(0); };
  delete g;
  EXPECT_EQ(edited, "edited");
}

// A single border in the standard look: a sunken client edge with the
// three-dimensional look (system and control), else a line; none in the
// flat looks.
TEST(TreeListCore, TheBorderFollowsTheLookAndCtl3D) {
  using namespace gui;  // the style names are the system's macros in its build
  FakeDesktop desk;
  TGridTreeList g;
  auto styles = [&] {
    const gui::WindowParams& p = desk.PeerOf(g).Params();
    return std::string(p.ExStyle & WS_EX_CLIENTEDGE ? "sunken" : "") + (p.Style & WS_BORDER ? "line" : "");
  };
  EXPECT_EQ(styles(), "sunken");
  g.SetCtl3D(false);
  EXPECT_EQ(styles(), "line");
  g.SetCtl3D(true);
  desk.env.SetNewStyleControls(false);
  g.RecreateWnd();
  EXPECT_EQ(styles(), "line");
  g.SetLookAndFeel(lfFlat);
  EXPECT_EQ(styles(), "");
  g.SetLookAndFeel(lfStandard);
  g.SetBorderStyle(bsNone);
  EXPECT_EQ(styles(), "");
}

TEST(TreeListCore, EditorHostingAnswers) {
  EditingGrid g;
  OneColumn(g);
  g.CreateColumn()->SetColor(gui::clYellow);
  g.SetOptions(g.Options().Without(aoRowSelect));
  auto nodes = Build(g, "a b c");
  g.SetFocusedNode(nodes[0], 1, true);
  EXPECT_EQ(g.GetEditColor(), gui::clYellow);
  g.OnGetEditColor = [](TCustomGridTreeList*, gui::Color& c) { c = gui::clRed; };
  EXPECT_EQ(g.GetEditColor(), gui::clRed);
  g.SetState(tsEditing);
  EXPECT_FALSE(g.EditorKeyVeto());
  g.EditorMoveFocus(false);  // ends the edit, one row down
  EXPECT_FALSE(g.Editing());
  EXPECT_EQ(nodes[0]->Strings(1), "edited");
  EXPECT_EQ(g.FocusedNode(), nodes[1]);
  EXPECT_EQ(g.FocusedColumn(), 1);
  g.SetState(tsEditing);
  g.Insert(nodes[0]);  // the edited row moves away from the editor: its keys stop
  EXPECT_TRUE(g.EditorKeyVeto());
  EXPECT_EQ(g.EditorBorderKind(), 2);
  g.SetLookAndFeel(lfFlat);
  EXPECT_EQ(g.EditorBorderKind(), 1);
}

TEST(TreeListCore, ClearNodesReportsOnceAndMovesNoFocus) {
  EventLog log;
  CountingGrid g;
  OneColumn(g);
  g.SetOptions(g.Options().With(aoMultiSelect));
  auto nodes = Build(g, "a(a1 a2) b c");
  nodes[1]->SetSelected(true);
  nodes[3]->SetSelected(true);
  nodes[3]->SetFocused(true);
  log.Attach(g);
  g.ClearNodes();
  EXPECT_EQ(log.Take(), "top -, del a1, del a2, del a, del b, del c, count 0");
  EXPECT_EQ(g.FocusedNode(), nullptr);
  EXPECT_EQ(g.TopVisibleNode(), nullptr);
  EXPECT_EQ(g.RowCount(), 0);
  // The first node of an empty grid is its top and focused node, quietly.
  g.Add()->SetStrings(0, "n");
  EXPECT_EQ(log.Take(), "top ");  // named only after it was added
  EXPECT_EQ(Name(g.FocusedNode()), "n");
  EXPECT_EQ(Name(g.TopVisibleNode()), "n");
}

// While the nodes go (ClearNodes, or the grid being destroyed), what a
// handler of OnDeletion reads of the grid is alive: a root has left the
// list before its subtree goes (ASan reports any read of a freed node).
TEST(TreeListCore, OnDeletionReadsOnlyLiveNodesWhileClearingAndDestroying) {
  auto watch = [](TCustomGridTreeList& g, std::string& seen) {
    g.OnDeletion = [&seen](TCustomGridTreeList* s, TGridTreeListNode* d) {
      std::string names;
      for (TGridTreeListNode* n = s->GetFirstNode(); n; n = n->GetNext()) names += Name(n);
      for (int i = 0; i < s->Count(); ++i) names += Name(s->Items(i))[0];
      seen += Name(d) + ":" + std::to_string(s->Count()) + ":" + names + " ";
    };
  };
  const std::string expected = "a1:2:bcbc a:2:bcbc b:1:cc c:0: ";
  std::string seen;
  {
    CountingGrid g;
    OneColumn(g);
    Build(g, "a(a1) b c");
    watch(g, seen);
    g.ClearNodes();
    EXPECT_EQ(seen, expected);
    seen.clear();
    Build(g, "a(a1) b c");
  }
  EXPECT_EQ(seen, expected);
}

TEST(TreeListCore, MakeNodeVisibleExpandsAncestorsAndScrollsToTopOrBottom) {
  EventLog log;
  CountingGrid g;
  OneColumn(g);  // four rows fit
  Build(g, "r0 r1 r2 f(g(x)) r3 r4 r5 r6 r7");
  TGridTreeListNode* f = Find(g, "f");
  f->Collapse();
  Find(g, "g")->Collapse();
  log.Attach(g);
  Find(g, "x")->MakeVisible();
  EXPECT_EQ(log.Take(), "expanding g, expanded g, expanding f, expanded f, top r2");
  EXPECT_EQ(g.TopIndex(), 2);  // x (row 5) is the bottom row of four
  EXPECT_EQ(g.NodeRowIndex(Find(g, "x")) - g.TopIndex(), g.FullyVisibleRowCount() - 1);
  g.SetTopIndex(6);
  Find(g, "r1")->MakeVisible();
  EXPECT_EQ(g.TopIndex(), 1);
  Find(g, "r2")->MakeVisible();  // in view already
  EXPECT_EQ(g.TopIndex(), 1);
}

TEST(TreeListCore, VisibleColumnsRunHeaderRowByHeaderRow) {
  TGridTreeList g;
  g.CreateBand();
  // Band 0: row 0 {c0, c1}, row 1 {c2}; band 1: row 0 {c3}, row 1 {c4, c5}.
  const int place[][2] = {{0, 0}, {0, 0}, {0, 1}, {1, 0}, {1, 1}, {1, 1}};
  for (const auto& p : place) {
    TGridTreeListColumn* c = g.CreateColumn();
    c->SetBandIndex(p[0]);
    c->SetRowIndex(p[1]);
  }
  std::vector<int> order;
  for (int i = 0; i < g.VisibleColumnCount() + 1; ++i) order.push_back(g.VisibleIndexToAbsolute(i));
  EXPECT_EQ(order, (std::vector<int>{0, 1, 3, 2, 4, 5, -1}));
  EXPECT_EQ(g.AbsoluteToVisibleIndex(3), 2);
  g.Columns(3)->SetVisible(false);  // band 1's second row moves up
  EXPECT_EQ(g.VisibleIndexToAbsolute(2), 4);
  EXPECT_EQ(g.VisibleIndexToAbsolute(4), 2);
}

TEST(TreeListCore, DefaultsThatBehaviourDependsOn) {
  TGridTreeList g;
  EXPECT_EQ(g.Options().Bits(), 0x37u);
  EXPECT_EQ(g.OptionsEx().Bits(), 0x303Eu);
  EXPECT_TRUE(g.IsRowSelect());
  EXPECT_FALSE(g.IsMultiSelect());
  EXPECT_EQ(g.GridLineColor(), gui::clDefault);
  EXPECT_EQ(g.GridColor(), gui::clBtnShadow);  // the marker never reaches drawing
}

TEST(TreeListCore, ClipboardCopiesHeaderAndSelectedLinesInTreeOrder) {
  gui::MemoryClipboard clip;
  gui::ScopedService<gui::Clipboard> installed(clip);
  TGridTreeList g;
  OneColumn(g);
  g.CreateColumn()->SetCaption("Size");
  auto nodes = Build(g, "a(a1) b");
  nodes[1]->SetStrings(1, "10");
  g.SetFocusedNode(nullptr);
  g.CopySelectedToClipboard();
  EXPECT_EQ(clip.GetText(), "Name\tSize\r\n");  // nothing focused: the header alone
  nodes[1]->SetFocused(true);
  g.CopySelectedToClipboard();
  EXPECT_EQ(clip.GetText(), "Name\tSize\r\na1\t10\r\n");
  g.SetOptions(g.Options().With(aoMultiSelect));
  nodes[2]->SetSelected(true);
  nodes[0]->SetSelected(true);
  g.CopySelectedToClipboard();
  EXPECT_EQ(clip.GetText(), "Name\tSize\r\na\t\r\nb\t\r\n");
}

TEST(TreeListCore, SelectionListRulesAndOrder) {
  EventLog log;
  TGridTreeList g;
  OneColumn(g);
  auto nodes = Build(g, "a b(b1 b2) c d");
  log.Attach(g);
  nodes[0]->SetSelected(true);  // refused without multi-select
  EXPECT_EQ(g.SelectedCount(), 0);
  g.SetOptions(g.Options().With(aoMultiSelect));
  Find(g, "b")->Collapse();
  g.OnCanNodeSelected = [](TCustomGridTreeList*, TGridTreeListNode* n, bool& allow) { allow = Name(n) != "c"; };
  log.lines.clear();
  g.SelectRange(Find(g, "d"), Find(g, "a"));  // either way round
  EXPECT_EQ(log.Take(), "count 3");
  std::vector<std::string> names;
  for (int i = 0; i < g.SelectedCount(); ++i) names.push_back(Name(g.SelectedNodes(i)));
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "d"}));  // b1, b2 hidden; c refused
  EXPECT_FALSE(Find(g, "b1")->Selected());
  Find(g, "b")->Delete();
  EXPECT_EQ(g.SelectedCount(), 2);
  EXPECT_EQ(log.Take(), "del b1, del b2, del b, count 2");
  g.SetAnchor(Find(g, "d"));
  EXPECT_EQ(g.DirectionToAnchor(Find(g, "a")), -1);  // the anchor is below
  EXPECT_EQ(g.DirectionToAnchor(Find(g, "d")), 0);
  Find(g, "d")->Delete();
  EXPECT_EQ(Name(g.Anchor()), "c");  // moved like the focus
}

// The layout written to an ini file comes back into a fresh grid; an older
// layout with more columns leaves nothing behind.
TEST(TreeListCore, LayoutStoreRoundTrip) {
  const std::string path = testutil::TempFolder("treelist_layout") + "/layout.ini";
  auto makeGrid = [](TGridTreeList& g, int columns) {
    for (int i = 0; i < columns; ++i) g.CreateColumn();
  };
  {
    TGridTreeList older;
    makeGrid(older, 4);
    gui::IniFile ini(path);
    TGridRegIniWrapper store(ini);
    older.StoreLayout(store, "Search");
    store.WriteInteger("Other", "Kept", 1);
    TGridTreeList g;
    makeGrid(g, 3);
    g.Columns(1)->SetWidth(77);
    g.Columns(2)->SetVisible(false);
    g.Columns(0)->SetColIndex(9);  // last in its row
    g.Columns(1)->SetSorted(csDown);
    g.Columns(1)->SetSortOrder(2);
    g.Bands(0)->SetWidth(300);
    g.StoreLayout(store, "Search");
    ASSERT_TRUE(ini.UpdateFile());
  }
  gui::IniFile ini(path);
  const TGridRegIniWrapper store(ini);
  EXPECT_FALSE(ini.SectionExists("Search\\Column3"));
  EXPECT_EQ(ini.ReadInteger("Other", "Kept", 0), 1);
  TGridTreeList g;
  makeGrid(g, 3);
  g.LoadLayout(store, "Search");
  EXPECT_EQ(g.Columns(1)->Width(), 77);
  EXPECT_FALSE(g.Columns(2)->Visible());
  EXPECT_EQ(g.VisibleIndexToAbsolute(0), 1);
  EXPECT_EQ(g.VisibleIndexToAbsolute(1), 0);
  EXPECT_EQ(g.Columns(1)->Sorted(), csDown);
  EXPECT_EQ(g.Columns(1)->SortOrder(), 2);
  EXPECT_EQ(g.Layout()[0].Width, 300);
}

// A layout file edited by hand (or damaged): header rows and places past
// the columns, widths and a sort order at the top of the range. The grid
// lays them out within bounds and a Shift+click on a header still adds a
// column to the sort after the stored one.
TEST(TreeListCore, AnOutOfRangeLayoutStoreIsClampedOnLoad) {
  const std::string path = testutil::TempFolder("treelist_layout_range") + "/layout.ini";
  gui::IniFile ini(path);
  TGridRegIniWrapper store(ini);
  for (const char* column : {"Grid\\Column0", "Grid\\Column1"}) {
    store.WriteInteger(column, "Width", INT_MAX);
    store.WriteInteger(column, "Row", 2000000000);
  }
  store.WriteInteger("Grid\\Column0", "Place", INT_MAX);
  store.WriteInteger("Grid\\Column1", "Place", INT_MIN);
  store.WriteInteger("Grid\\Column0", "Sorted", csUp);
  store.WriteInteger("Grid\\Column0", "SortOrder", INT_MAX);
  store.WriteInteger("Grid\\Band0", "Width", INT_MAX);

  InputFixture f("a b c");
  f.g.CreateColumn()->SetCaption("Size");
  f.g.SetOptionsEx(f.g.OptionsEx().With(aoMultiSort));
  f.g.LoadLayout(store, "Grid");
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(f.g.Columns(i)->Width(), kGridMaxWidth) << i;
    EXPECT_EQ(f.g.Columns(i)->RowIndex(), 1) << i;
  }
  EXPECT_EQ(f.g.Columns(0)->ColIndex(), 2);
  EXPECT_EQ(f.g.Columns(1)->ColIndex(), 0);
  EXPECT_EQ(f.g.Bands(0)->Width(), kGridMaxWidth);
  ASSERT_EQ(f.g.Layout().size(), 1u);
  ASSERT_EQ(f.g.Layout()[0].Rows.size(), 1u);
  EXPECT_EQ(f.g.VisibleIndexToAbsolute(0), 1);  // Size first
  EXPECT_EQ(f.g.ContentWidth(), kGridMaxWidth);
  f.Click(50, 9, gui::ssShift);  // Size's header
  EXPECT_EQ(f.g.Columns(1)->Sorted(), csUp);
  const std::vector<TGridTreeListColumn*> sorted = f.g.SortedColumns();
  ASSERT_EQ(sorted.size(), 2u);
  EXPECT_EQ(sorted[0], f.g.Columns(0));
  EXPECT_EQ(sorted[1], f.g.Columns(1));
  EXPECT_TRUE(f.reported.empty());
}

TEST(TreeListCore, IndicatorKindsOverFocusSelectionAndMultiSelect) {
  TGridTreeList g;
  OneColumn(g);
  auto nodes = Build(g, "f o");
  nodes[0]->SetFocused(true);
  struct Case {
    bool multi, focused, selected;
    int kind;
  } cases[] = {{false, true, false, 1}, {false, true, true, 1}, {true, true, true, 5}, {true, true, false, 1},
               {true, false, true, 4},  {false, false, true, 4}, {true, false, false, 0}};
  for (const Case& c : cases) {
    g.SetOptions(c.multi ? g.Options().With(aoMultiSelect) : g.Options().Without(aoMultiSelect));
    EXPECT_EQ(g.IndicatorKind(c.focused ? nodes[0] : nodes[1], c.selected), c.kind)
        << c.multi << c.focused << c.selected;
  }
}

// The sizing line is drawn by inversion: a paint (also one inside another)
// takes it away first and puts it back once at the end.
TEST(TreeListCore, TrackingFeedbackSurvivesNestedPaintsExactlyOnce) {
  gui::FakeDesktop desk;
  TGridTreeList g;
  OneColumn(g);
  Build(g, "a b");
  g.HandleNeeded();
  // Inversions of the line since the last look (a paint starts a fresh log).
  auto inversions = [&] {
    auto& log = desk.CanvasLog();
    const auto n = std::count_if(log.begin(), log.end(),
                                 [](const std::string& l) { return l.rfind("InvertRect(50,", 0) == 0; });
    log.clear();
    return n;
  };
  g.SetState(tsColumnSizing);
  g.ShowSizingLine(50);
  EXPECT_EQ(inversions(), 1);
  g.HideTrackingFeedback();  // an outer paint
  EXPECT_EQ(inversions(), 1);
  desk.Paint(g);  // the inner one leaves the line alone
  EXPECT_EQ(inversions(), 0);
  g.ShowTrackingFeedback();
  EXPECT_EQ(inversions(), 1);
  desk.Paint(g);
  EXPECT_EQ(inversions(), 2);
  g.CancelTracking();
  EXPECT_EQ(inversions(), 1);  // erased: six in all, an even count
  EXPECT_EQ(g.State(), tsNone);
}

TEST(TreeListCore, EditorTimerOpensTheEditorOnlyWhenIdle) {
  gui::FakeDesktop desk;
  EditingGrid g;
  OneColumn(g);
  Build(g, "a");
  g.HandleNeeded();
  g.SetTimer(TCustomGridTreeList::kEditorTimerId, 500);
  g.SetState(tsNodeDown);
  EXPECT_TRUE(desk.FireTimer(g, TCustomGridTreeList::kEditorTimerId));
  EXPECT_EQ(g.timerShows, 0);
  EXPECT_FALSE(desk.TimerRunning(g, TCustomGridTreeList::kEditorTimerId));  // one shot
  g.SetState(tsNone);
  g.SetTimer(TCustomGridTreeList::kEditorTimerId, 500);
  desk.FireTimer(g, TCustomGridTreeList::kEditorTimerId);
  EXPECT_EQ(g.timerShows, 1);
}

}  // namespace
