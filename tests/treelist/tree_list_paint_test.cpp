// The tree list's paint frame and the painters around the rows, read from
// the recording canvas: the colour rule, the paint's brushes, the order of
// the areas and partial repaints, a raising handler, headers, the
// indicator and the footer.
#include "treelist/tree_list_paint.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <stdexcept>

#include "tests/treelist/tree_list_paint_util.h"
#include "tests/treelist/tree_list_test_util.h"

using namespace gui;
using namespace painttest;
using namespace treetest;

namespace {

// A drag of the grid's focused node on (true) or over.
class DragGrid : public TGridTreeList {
 public:
  void Drag(bool on) {
    if (on == Dragging()) return;
    if (on) {
      HandleNeeded();
      BeginDrag(true);
    } else {
      EndDrag(false);
    }
  }
};

TEST(TreeListPaint, ColourRuleOverSelectionFocusDraggingStyleAndColumns) {
  FakeDesktop desk;
  DragGrid g;
  OneColumn(g);
  TGridTreeListColumn* own = g.CreateColumn();
  own->SetColor(clYellow);
  own->Font().SetColor(clRed);  // the column's font from now on
  g.CreateColumn()->SetColor(clWhite);  // the window colour's RGB value
  Build(g, "p(c) q");  // p is focused
  RecordingCanvas canvas({300, 100});
  struct Case {
    bool selected, active, hideSelection, dragging, outlook;
    int column;
    const char *node, *bk, *text;
  } cases[] = {
      {true, true, true, false, false, 1, "p", "clHighlight", "clHighlightText"},
      {true, false, true, false, false, 1, "p", "#FFFF00", "#FF0000"},  // hidden: as if not selected
      {true, false, false, false, false, 0, "p", "clBtnFace", "clBtnText"},
      {false, false, true, true, false, 0, "p", "clHighlight", "clHighlightText"},  // dragged over
      {false, false, true, true, false, 0, "q", "clWindow", "clWindowText"},
      {false, true, true, false, true, 1, "p", "clBtnFace", "clWindowText"},  // Outlook group
      {false, true, true, false, false, 1, "p", "#FFFF00", "#FF0000"},        // standard: plain
      {false, true, true, false, true, 1, "q", "#FFFF00", "#FF0000"},         // no children
      {false, true, true, false, false, 2, "q", "clWindow", "clWindowText"},  // no brush of its own
      {false, true, true, false, false, -1, "q", "clWindow", "clWindowText"},
  };
  for (const Case& k : cases) {
    g.SetHideSelection(k.hideSelection);
    g.SetPaintStyle(k.outlook ? psOutlook : psStandard);
    g.Drag(k.dragging);
    TTreeListPaintFrame f(g, canvas);
    f.Active = k.active;
    const TTreeListCellColors r = f.CellColors({Find(g, k.node), k.selected, false, k.column});
    EXPECT_EQ(ColorText(r.Bk), k.bk) << k.node << k.column << k.selected << k.active;
    EXPECT_EQ(ColorText(r.Text), k.text) << k.node << k.column << k.selected << k.active;
    EXPECT_EQ(ColorText(r.Brush->Color()), k.bk);
  }
  g.Drag(false);
}

// One brush per colour for the whole paint: a level's brush stays valid
// after other levels asked for theirs; the group colour adds none.
TEST(TreeListPaint, LevelBrushesStayValidAndTheGroupColourAddsNone) {
  FakeDesktop desk;
  TGridTreeList g;
  OneColumn(g);
  g.SetPaintStyle(psOutlook);
  RecordingCanvas canvas({200, 100});
  TTreeListPaintFrame f(g, canvas);
  const int before = f.Brushes.Count();
  EXPECT_EQ(&f.LevelBrush(1, clBtnFace), f.Group);  // no handler
  g.OnGetLevelColor = [](TCustomGridTreeList*, int level, Color& c) {
    if (level == 3) c = clDefault;
    else if (level > 0) c = MakeRGB(level, 0, 0);
  };
  Color c = 0;
  EXPECT_EQ(&f.LevelBrush(0, clBtnFace, &c), f.Group);
  EXPECT_EQ(c, clBtnFace);
  EXPECT_EQ(&f.LevelBrush(3, clBtnFace), f.Group);  // the marker: the proposed colour
  EXPECT_EQ(f.Brushes.Count(), before);
  const gui::Brush& one = f.LevelBrush(1, clBtnFace);
  const gui::Brush& two = f.LevelBrush(2, clBtnFace);
  EXPECT_EQ(one.Color(), MakeRGB(1, 0, 0));
  EXPECT_EQ(two.Color(), MakeRGB(2, 0, 0));
  EXPECT_EQ(&f.LevelBrush(1, clBtnFace), &one);
  EXPECT_EQ(f.Brushes.Count(), before + 2);
  EXPECT_THROW(f.Brushes.Of(clDefault), std::logic_error);
}

TEST(TreeListPaint, AreasPaintInOrderAndAPartialPaintKeepsToItsArea) {
  PaintDesk d;
  TGridTreeList g;
  g.SetBorderStyle(bsNone);
  g.SetBounds(0, 0, 300, 200);
  g.SetShowBands(true);
  g.SetShowIndicator(true);
  g.SetShowFooter(true);
  g.CreateColumn()->SetCaption("Name");
  g.Bands(0)->SetCaption("Band");
  g.OnIsExistFooterCell = [](TCustomGridTreeListControl*, TGridTreeListColumn*, bool& e) { e = true; };
  g.OnGetFooterText = [](TCustomGridTreeListControl*, TGridTreeListNode* n, TGridTreeListColumn*, int, std::string& t) {
    t = n ? "row" : "sum";
  };
  Build(g, "a b");
  g.HandleNeeded();
  g.SetBandCornerPressed(true);
  const std::string log = d.desk.Paint(g);
  EXPECT_TRUE(Has(log, "DrawEdge(0,0,11,17,0x2,0x2003)")) << log;    // the band corner, pressed
  EXPECT_TRUE(Has(log, "DrawEdge(0,18,11,35,0x4,0x200F)")) << log;  // the header corner, raised
  size_t at = 0;
  for (const char* part : {"\"Band\"", "\"Name\"", "Indicator 0", "\"sum\"", "\"a\""}) {
    const size_t next = log.find(part);
    ASSERT_NE(next, std::string::npos) << part << "\n" << log;
    EXPECT_GE(next, at) << part;
    at = next;
  }
  TTreeListDrawInfo info;
  g.CalcDrawInfo(info);
  const std::string footer = d.desk.Paint(g, &info.Footer);
  EXPECT_TRUE(Has(footer, "\"sum\""));
  for (const char* part : {"\"Band\"", "\"Name\"", "Indicator", "\"a\"", "PolyPolyline"})
    EXPECT_FALSE(Has(footer, part)) << part;
  EXPECT_TRUE(d.reported.empty());
}

TEST(TreeListPaint, ARaisingHandlerReleasesThePaintAndShowsTheFeedbackAgain) {
  PaintDesk d;
  TGridTreeList g;
  OneColumn(g);
  Build(g, "a");
  bool hadBitmap = false;
  g.OnCustomDrawColumnHeader = [&](TCustomGridTreeListControl*, TGridTreeListColumn*, Canvas&, const Rect&,
                                   std::string&, Color&, gui::Font&, TAlignment&, TGridTreeListColumnSort&, bool&) {
    hadBitmap = g.PaintBitmap() != nullptr;
    throw std::runtime_error("handler failed");
  };
  g.HandleNeeded();
  g.SetState(tsColumnSizing);
  g.ShowSizingLine(50);
  d.desk.Paint(g);
  ASSERT_EQ(d.reported.size(), 1u);
  EXPECT_TRUE(Has(d.reported[0], "handler failed"));
  EXPECT_TRUE(hadBitmap);
  EXPECT_EQ(g.PaintBitmap(), nullptr);
  EXPECT_EQ(TTreeListBrushes::Live(), 0);
  // Hidden once and shown again: two inversions, and the nesting is back
  // at the start (a new outermost paint hides the line).
  auto inversions = [&] {
    int n = 0;
    for (const std::string& l : d.desk.CanvasLog()) n += l.rfind("InvertRect(50,", 0) == 0;
    d.desk.CanvasLog().clear();
    return n;
  };
  EXPECT_EQ(inversions(), 2);
  g.HideTrackingFeedback();
  EXPECT_EQ(inversions(), 1);
  g.ShowTrackingFeedback();
}

// Each header cell is drawn off-screen and copied: the log lines up to a
// copy are that cell's.
std::vector<std::string> HeaderCells(const std::string& log, int headerBottom) {
  std::vector<std::string> cells;
  std::string cell;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) {
    cell += line + "\n";
    int l, t, r, b;
    if (std::sscanf(line.c_str(), "BitBlt(%d,%d,%d,%d <- bitmap", &l, &t, &r, &b) == 4) {
      if (b <= headerBottom) cells.push_back(std::to_string(l) + ": " + cell);
      cell.clear();
    }
  }
  return cells;
}

TEST(TreeListPaint, HeadersShowMarksGlyphsPressedStatesAndCustomDrawing) {
  PaintDesk d;
  TGridTreeList g;
  g.SetBorderStyle(bsNone);
  g.SetBounds(0, 0, 300, 100);
  g.SetLookAndFeel(lfFlat);
  for (const char* caption : {"Name", "Size", "Kind", "Last"}) {
    TGridTreeListColumn* c = g.CreateColumn();
    c->SetCaption(caption);
    c->SetWidth(60);
  }
  Bitmap glyph(8, 8);
  TGridTreeListColumn* kind = g.Columns(2);
  kind->SetDisableCaption(true);
  kind->SetHeaderGlyph(&glyph);
  kind->SetSorted(csDown);
  g.SetPressedColumn(2);
  g.OnCustomDrawColumnHeader = [](TCustomGridTreeListControl*, TGridTreeListColumn* c, Canvas&, const Rect&,
                                  std::string& text, Color& color, gui::Font& font, TAlignment&,
                                  TGridTreeListColumnSort&, bool& done) {
    if (c->Index() == 0) done = true;
    if (c->Index() == 1) font.SetStyle(fsBold);
    if (c->Index() == 2) color = clRed;
    if (c->Index() == 3) {
      EXPECT_EQ(text, "Last");
    }
  };
  Build(g, "a");
  g.HandleNeeded();
  const std::vector<std::string> cells = HeaderCells(d.desk.Paint(g), g.HeaderPanelHeight());
  ASSERT_EQ(cells.size(), 3u);  // the first is the handler's
  EXPECT_EQ(cells[0].rfind("60: ", 0), 0u);
  EXPECT_TRUE(Has(cells[0], "\"Size\"") && Has(cells[0], "/B ") && Has(cells[0], "brush=clBtnFace")) << cells[0];
  // No caption, but the glyph and the sort mark; its own colour; pressed.
  EXPECT_FALSE(Has(cells[1], "\"Kind\"")) << cells[1];
  EXPECT_TRUE(Has(cells[1], "bitmap 8x8") && Has(cells[1], "pen=clBtnShadow")) << cells[1];
  EXPECT_TRUE(Has(cells[1], "brush=#FF0000") && Has(cells[1], "InvertRect(0,0,60,18)")) << cells[1];
  // The canvas font is the header font again after a handler changed it.
  EXPECT_TRUE(Has(cells[2], "\"Last\"") && !Has(cells[2], "/B ") && !Has(cells[2], "InvertRect")) << cells[2];
}

TEST(TreeListPaint, IndicatorShowsTheImageOfEachRowsKind) {
  PaintDesk d;
  TGridTreeList g;
  OneColumn(g);
  g.SetShowIndicator(true);
  g.SetOptions(g.Options().With(aoMultiSelect));
  auto nodes = Build(g, "a b c d");
  g.SetFocusedNode(nodes[1]);
  g.SetNodeSelected(nodes[1], true);
  g.SetNodeSelected(nodes[2], true);
  g.HandleNeeded();
  auto images = [&] {
    std::string seen;
    const std::string log = d.desk.Paint(g);
    for (size_t at = log.find("Indicator "); at != std::string::npos; at = log.find("Indicator ", at + 1))
      seen += log.substr(at + 10, 1);
    return seen;
  };
  EXPECT_EQ(images(), "43");  // multi-arrow for b, multi-dot for c, none for a and d
  g.SetOptions(g.Options().Without(aoMultiSelect));
  EXPECT_EQ(images(), "0");  // the arrow
}

// Shown only by descendants: the new-item row (its indicator image and
// cells of row kind 2) and the bottom strip (text and check box).
TEST(TreeListPaint, NewItemRowAndBottomStripOfADescendant) {
  PaintDesk d;
  struct Grid : TGridTreeList {
    bool NewItemRowShown() const override { return true; }
    int NewItemRowHeight() const override { return 18; }
    bool BottomStripShown() const override { return true; }
    int BottomStripHeight() const override { return 20; }
    std::string BottomStripText() const override { return "strip"; }
    bool BottomStripCheckBox() const override { return true; }
    void DrawCell(const TTreeListCellDrawParams& p) override {
      if (p.RowKind == 2) kinds += std::to_string(p.CellRect.Top) + (p.Node ? "n" : "-");
      TGridTreeList::DrawCell(p);
    }
    std::string kinds;
  } g;
  OneColumn(g);
  g.SetShowIndicator(true);
  g.SetBounds(0, 0, 200, 120);
  Build(g, "a");
  g.HandleNeeded();
  const std::string log = d.desk.Paint(g);
  EXPECT_LT(log.find("Indicator 2"), log.find("Indicator 0")) << log;  // the insert mark, then a's arrow
  EXPECT_EQ(g.kinds, "18-");
  EXPECT_TRUE(Has(log, "\"strip\"") && Has(log, "FrameRect(5,")) << log;
  EXPECT_TRUE(Has(log, "ExcludeClip(0,100,200,120)"));
}

TEST(TreeListPaint, FooterBorderFollowsTheLookAndOnlyExistingCellsAreDrawn) {
  for (TGridLookAndFeel look : {lfStandard, lfFlat, lfUltraFlat}) {
    PaintDesk d;
    TGridTreeList g;
    g.SetBorderStyle(bsNone);
    g.SetBounds(0, 0, 200, 100);
    g.SetLookAndFeel(look);
    g.SetShowFooter(true);
    g.CreateColumn();
    g.CreateColumn();
    g.OnIsExistFooterCell = [](TCustomGridTreeListControl*, TGridTreeListColumn* c, bool& e) { e = c->Index() == 1; };
    std::vector<int> asked;
    g.OnGetFooterText = [&](TCustomGridTreeListControl*, TGridTreeListNode*, TGridTreeListColumn* c, int,
                            std::string& t) {
      asked.push_back(c->Index());
      t = "total";
    };
    g.HandleNeeded();
    TTreeListDrawInfo info;
    g.CalcDrawInfo(info);
    const std::string log = d.desk.Paint(g, &info.Footer);
    const std::string top = std::to_string(info.Footer.Top);
    EXPECT_EQ(Has(log, "FrameRect(0," + top + ",200,100) brush=clWindowFrame"), look == lfStandard) << log;
    EXPECT_EQ(Has(log, "DrawEdge(0," + top + ",200,100,0x2,0x2)"), look != lfStandard) << log;  // sunken top
    EXPECT_EQ(CountOf(log, ",0x4,0xF)"), look == lfUltraFlat ? 0 : 1) << log;               // raised inner
    EXPECT_EQ(asked, std::vector<int>{1});
    EXPECT_EQ(CountOf(log, "\"total\""), 1);
  }
}

}  // namespace
