// The rows of the tree list as the row painter draws them on the recording
// canvas: tree lines and buttons, indents with and without root lines,
// images, focus rectangles, grid lines, previews and row footers, and a
// large grid painting only what shows.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "tests/treelist/tree_list_paint_util.h"
#include "tests/treelist/tree_list_test_util.h"

using namespace gui;
using namespace painttest;
using namespace treetest;

namespace {

// One 200-pixel column, 18-pixel header and rows, room for eight rows.
void Tree(TGridTreeList& g, const std::string& shape) {
  g.SetBorderStyle(bsNone);
  g.SetBounds(0, 0, 300, 18 + 8 * 18);
  g.CreateColumn()->SetWidth(200);
  Build(g, shape);
  g.HandleNeeded();
}

std::string Line(int l, int t, int r, int b) {
  return "FillRect(" + std::to_string(l) + "," + std::to_string(t) + "," + std::to_string(r) + "," +
         std::to_string(b) + ") brush=halftone";
}

// Rows a 18, b 36, c 54, d 72, x 90, e 108, f 126; row centres at +9.
TEST(TreeListRowPaint, TreeLinesButtonsAndIndentsFollowTheTree) {
  PaintDesk d;
  TGridTreeList g;
  Tree(g, "a(b(c) d(x)) e f");
  Find(g, "f")->SetHasChildren(true);  // collapsed, without children yet
  std::string log = d.desk.Paint(g);
  // Buttons: a (minus) and f (plus) at level 0, b and d at level 1.
  for (const char* frame : {"FrameRect(3,23,12,32)", "FrameRect(19,41,28,50)", "FrameRect(19,77,28,86)",
                            "FrameRect(3,131,12,140)"})
    EXPECT_TRUE(Has(log, std::string(frame) + " brush=clGrayText")) << frame << "\n" << log;
  EXPECT_TRUE(Has(log, "FillRect(7,133,8,138) brush=clWindowText"));   // f's plus
  EXPECT_FALSE(Has(log, "FillRect(23,43,24,48) brush=clWindowText"));  // b is expanded
  EXPECT_FALSE(Has(log, "FillRect(7,18,"));                            // nothing above the first root
  for (const std::string& l : {Line(7, 32, 8, 36),  // under a's button
                               Line(7, 36, 8, 54), Line(23, 36, 24, 41), Line(23, 50, 24, 54),  // b
                               Line(39, 54, 40, 64), Line(39, 63, 48, 64),  // c, the last child: to its centre
                               Line(7, 90, 8, 108),                         // a goes on past x
                               Line(7, 126, 8, 131)})                       // f: only above its button
    EXPECT_TRUE(Has(log, l)) << l << "\n" << log;
  EXPECT_FALSE(Has(log, Line(23, 90, 24, 108)));  // d is the last: its column stays empty under it
  EXPECT_FALSE(Has(log, "FillRect(7,140,"));      // f is the last root
  // The dots keep their phase against the rows area: its top-left pixel
  // takes the window colour whatever the parity of its coordinates.
  EXPECT_TRUE(Has(log, "brush=halftone(clWindow/clGrayText)"));
  g.SetHeaderPanelRowHeight(19);
  EXPECT_TRUE(Has(d.desk.Paint(g), "brush=halftone(clGrayText/clWindow)"));
  g.SetHeaderPanelRowHeight(18);

  // Without root lines everything moves one indent left; roots have no
  // button and no lines, and their level cells are gone.
  g.SetShowRoot(false);
  log = d.desk.Paint(g);
  EXPECT_FALSE(Has(log, "FrameRect(3,23,12,32)"));
  EXPECT_TRUE(Has(log, "FrameRect(3,41,12,50) brush=clGrayText")) << log;
  EXPECT_TRUE(Has(log, Line(7, 36, 8, 41)));
  EXPECT_FALSE(Has(log, Line(7, 90, 8, 108)));
  EXPECT_FALSE(Has(log, "FillRect(0,18,16,36)"));
  EXPECT_TRUE(Has(log, "FillRect(0,36,16,54) brush=clWindow"));
  EXPECT_TRUE(d.reported.empty());
}

// Image lists of icons log which image is drawn.
TEST(TreeListRowPaint, SelectedRowsShowTheirSelectedImageAndMinusOneLeavesTheCellEmpty) {
  PaintDesk d;
  Icon icons[3];
  ImageList images(nullptr, 16, 16);
  for (int i = 0; i < 3; ++i) {
    icons[i].SetHandle(uintptr_t(0x100 + i), 16, 16, false);
    images.AddIcon(icons[i]);
  }
  TGridTreeList g;
  g.SetImages(&images);
  Tree(g, "a b c");  // a is focused: selected
  Find(g, "a")->SetSelectedIndex(1);
  Find(g, "b")->SetImageIndex(2);
  Find(g, "c")->SetImageIndex(-1);
  Find(g, "c")->SetSelectedIndex(0);
  const std::string log = d.desk.Paint(g);
  EXPECT_TRUE(Has(log, "DrawIcon(16,19,0x00000101,16x16)")) << log;
  EXPECT_TRUE(Has(log, "DrawIcon(16,37,0x00000102,16x16)"));
  EXPECT_EQ(CountOf(log, "DrawIcon("), 2);
  EXPECT_TRUE(Has(log, "FillRect(16,54,32,72) brush=clWindow"));  // c's image cell
}

TEST(TreeListRowPaint, FocusRectangleByRowSelectFocusAndDragging) {
  PaintDesk d;
  class Grid : public TGridTreeList {
   public:
    // A drag of the grid on (true) or over.
    void Drag(bool on) {
      if (on)
        BeginDrag(true);
      else
        EndDrag(false);
    }
  } g;
  Tree(g, "a b");
  g.CreateColumn()->SetWidth(80);
  g.SetOptions(g.Options().Without(aoRowSelect));
  g.SetFocusedNode(Find(g, "b"), 1, false);
  g.SetFocus();
  EXPECT_TRUE(Has(d.desk.Paint(g), "DrawFocusRect(200,36,280,54)"));
  g.SetOptions(g.Options().With(aoRowSelect));
  EXPECT_TRUE(Has(d.desk.Paint(g), "DrawFocusRect(16,36,280,54)"));
  g.SetOptions(g.Options().With(aoHideFocusRect));
  EXPECT_FALSE(Has(d.desk.Paint(g), "DrawFocusRect"));
  // Unfocused: an inverted frame, unless HideFocusRect or while dragging.
  TGridTreeList other;
  other.HandleNeeded();
  other.SetFocus();
  EXPECT_EQ(CountOf(d.desk.Paint(g), "InvertRect("), 0);  // HideFocusRect by default
  g.SetHideFocusRect(false);
  const std::string log = d.desk.Paint(g);
  EXPECT_EQ(CountOf(log, "InvertRect("), 4);
  EXPECT_TRUE(Has(log, "InvertRect(16,36,280,37)") && Has(log, "InvertRect(16,53,280,54)")) << log;
  g.Drag(true);
  EXPECT_EQ(CountOf(d.desk.Paint(g), "InvertRect("), 0);
  g.Drag(false);
}

TEST(TreeListRowPaint, GridLinesGoInOneCallInTheirColour) {
  PaintDesk d;
  TGridTreeList g;
  Tree(g, "a b");
  g.CreateColumn()->SetWidth(80);
  g.SetShowGrid(true);  // rows 19 high: 18 and the separator
  auto lines = [&] {
    const std::string log = d.desk.Paint(g);
    EXPECT_LE(CountOf(log, "PolyPolyline("), 1);
    const size_t at = log.find("PolyPolyline(");
    return at == std::string::npos ? std::string() : log.substr(at, log.find('\n', at) - at);
  };
  std::string l = lines();
  for (const char* segment : {"199,18 199,37", "279,18 279,37", "15,18 15,36",  // cells, level line
                              "16,36 280,36", "16,55 280,55",                  // row separators
                              "279,18 279,56"})                                // the right edge
    EXPECT_TRUE(Has(l, segment)) << segment << "\n" << l;
  EXPECT_TRUE(Has(l, "pen=clBtnShadow"));  // GridLineColor: the default
  EXPECT_TRUE(Has(d.desk.Paint(g), "FillRect(200,18,279,36)"));  // a cell gives its right pixel up
  g.SetShowPreviewGrid(false);
  l = lines();
  EXPECT_FALSE(Has(l, "199,18 199,37"));
  EXPECT_TRUE(Has(l, "16,36 280,36") && Has(l, "15,18 15,36") && Has(l, "279,18 279,56")) << l;
  g.SetGridLineColor(clRed);
  EXPECT_TRUE(Has(lines(), "pen=#FF0000"));
  g.SetShowGrid(false);
  EXPECT_EQ(lines(), "");
  g.SetPaintStyle(psOutlook);  // the top lines of nodes with children remain, in the grid's colour
  Find(g, "a")->AddChild();
  l = lines();
  EXPECT_TRUE(Has(l, "pen=clWindow") && !Has(l, "279,18 279,")) << l;
  EXPECT_TRUE(d.reported.empty());
}

// With aoAutoCalcPreviewLines (the default) a preview takes the lines its
// text needs in the row, PreviewLines at most: none for no text. Rows of
// root nodes leave the text 200 - 16 - 20 - 4 = 160 pixels: five words of
// four letters a line.
TEST(TreeListRowPaint, APreviewTakesTheLinesItsTextNeeds) {
  PaintDesk d;
  TGridTreeList g;
  g.SetOptions(g.Options().With(aoPreview));
  auto words = [](int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += "word ";
    return s;
  };
  const std::map<std::string, std::string> texts = {{"a", ""}, {"b", "short"}, {"c", words(8)}, {"d", words(20)}};
  g.OnGetPreviewText = [&](TCustomGridTreeListControl*, TGridTreeListNode* n, std::string& t) {
    const auto it = texts.find(n->Strings(0));
    if (it != texts.end()) t = it->second;
  };
  Tree(g, "a b c d");
  auto lines = [&] {
    std::string s;
    for (const char* n : {"a", "b", "c", "d"}) s += std::to_string(g.NodePreviewLines(Find(g, n)));
    return s;
  };
  EXPECT_EQ(lines(), "0122");
  EXPECT_EQ(g.NodeHeight(Find(g, "b")), 18 + 13 + 2);
  g.SetPreviewLines(5);
  EXPECT_EQ(lines(), "0124");
  const std::string log = d.desk.Paint(g);
  EXPECT_TRUE(Has(log, "\"short\"@36,")) << log;
  g.SetOptionsEx(g.OptionsEx().Without(aoAutoCalcPreviewLines));
  EXPECT_EQ(lines(), "5555");
  EXPECT_TRUE(d.reported.empty());
}

TEST(TreeListRowPaint, PreviewsAndRowFootersTakeTheirPartsOfTheRow) {
  PaintDesk d;
  TGridTreeList g;
  g.SetOptions(g.Options().With(aoPreview));
  g.SetOptionsEx(g.OptionsEx().Without(aoAutoCalcPreviewLines));  // always PreviewLines
  g.SetShowRowFooter(true);
  g.OnGetPreviewText = [](TCustomGridTreeListControl*, TGridTreeListNode* n, std::string& t) {
    t = "about " + n->Strings(0);
  };
  g.OnIsExistRowFooterCell = [](TCustomGridTreeListControl*, TGridTreeListNode*, TGridTreeListColumn*, int,
                                bool& e) { e = true; };
  g.OnGetFooterText = [](TCustomGridTreeListControl*, TGridTreeListNode* n, TGridTreeListColumn*, int i,
                         std::string& t) { t = "end of " + n->Parent()->Strings(0) + std::to_string(i); };
  Tree(g, "a(b)");
  // a: 18 + 2 preview lines of 13 + 2 = 46 high; b the same and a footer
  // of 20 closing a's level.
  const std::string log = d.desk.Paint(g);
  EXPECT_TRUE(Has(log, "\"about a\"@36,37")) << log;
  EXPECT_TRUE(Has(log, "\"about b\"@52,83"));
  EXPECT_TRUE(Has(log, "FillRect(16,110,200,130) brush=cl3DLight"));
  EXPECT_TRUE(Has(log, "DrawEdge(16,110,198,130,0x2,0xF)"));
  EXPECT_EQ(CountOf(log, "\"end of a0\""), 1);
  // The button and the line to a node stand in the middle of its lines and
  // preview (a: 18-64, b: 64-110 above its footer), where a click finds
  // the button.
  EXPECT_TRUE(Has(log, "FrameRect(3,37,12,46) brush=clGrayText")) << log;
  EXPECT_TRUE(Has(log, Line(23, 87, 32, 88)));
  EXPECT_TRUE(Has(log, Line(23, 64, 24, 88)));
  for (int y : {38, 45}) {
    const TTreeListHitInfo h = g.HitTest(7, y);
    EXPECT_EQ(h.Area, htButton) << y;
    EXPECT_EQ(Name(h.Node), "a");
  }
  EXPECT_EQ(g.HitTest(50, 45).Area, htPreview);
  EXPECT_TRUE(d.reported.empty());
}

TEST(TreeListRowPaint, CustomDrawnCellsTakeTheHandlersChoices) {
  PaintDesk d;
  TGridTreeList g;
  g.OnCustomDrawCell = [](TCustomGridTreeListControl*, Canvas&, const Rect&, TGridTreeListNode* n,
                          TGridTreeListColumn*, bool, bool, std::string& text, Color& color, gui::Font& font,
                          TAlignment&, bool& done) {
    if (n->Strings(0) == "a") {
      text = "A!";
      color = clRed;
      font.SetStyle(fsBold);
    }
    done = n->Strings(0) == "b";
  };
  Tree(g, "a b c");
  const std::string log = d.desk.Paint(g);
  EXPECT_TRUE(Has(log, "FillRect(16,18,200,36) brush=#FF0000")) << log;
  EXPECT_TRUE(Has(log, "\"A!\") font=MS Sans Serif/-11/B "));
  EXPECT_FALSE(Has(log, "\"b\""));
  EXPECT_TRUE(Has(log, "\"c\") font=MS Sans Serif/-11 "));
}

TEST(TreeListRowPaint, AHundredThousandNodesPaintOnlyTheRowsInView) {
  PaintDesk d;
  TGridTreeList g;
  g.BeginUpdate();
  for (int i = 0; i < 100000; ++i) g.Add()->SetStrings(0, "n" + std::to_string(i));
  g.EndUpdate();
  Tree(g, "");
  g.SetTopIndex(50000);
  const std::string log = d.desk.Paint(g);
  EXPECT_EQ(CountOf(log, "ExtTextOut("), 8);
  EXPECT_TRUE(Has(log, "\"n50000\"") && Has(log, "\"n50007\"") && !Has(log, "\"n50008\""));
}

// The "default" marker is never drawn: every paint colour falls back.
TEST(TreeListRowPaint, TheDefaultMarkerNeverReachesTheCanvas) {
  PaintDesk d;
  TGridTreeList g;
  Tree(g, "a(b) c");
  g.SetPaintStyle(psOutlook);
  g.SetShowRowFooter(true);
  g.SetHighlightColor(clDefault);
  g.SetTreeLineColor(clDefault);
  g.Columns(0)->SetColor(clDefault);
  g.OnGetLevelColor = [](TCustomGridTreeList*, int level, Color& c) { c = level ? clDefault : clRed; };
  g.SetFocus();
  const std::string log = d.desk.Paint(g);
  EXPECT_TRUE(d.reported.empty()) << d.reported.front();
  EXPECT_TRUE(Has(log, "brush=clHighlight") && Has(log, "brush=#FF0000")) << log;
}

}  // namespace
