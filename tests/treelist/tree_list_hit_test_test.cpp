#include "treelist/tree_list_draw_info.h"

#include <gtest/gtest.h>

#include <regex>

#include "gui/fake_peer.h"
#include "tests/treelist/tree_list_test_util.h"

using namespace treetest;

namespace {

// Three columns (100, 80, 60 pixels) on a 300 x 200 grid without border,
// 18-pixel rows and header, 16 x 16 images and 12 x 12 state images; the
// tree p(c(g)) q, all expanded, c with a state image.
struct Fixture {
  gui::ImageList images{nullptr, 16, 16};
  gui::ImageList states{nullptr, 12, 12};
  TGridTreeList g;
  Fixture() {
    gui::Bitmap b16(16, 16), b12(12, 12);
    images.Add(b16);
    states.Add(b12);
    g.SetBorderStyle(bsNone);
    g.SetBounds(0, 0, 300, 200);
    for (int w : {100, 80, 60}) g.CreateColumn()->SetWidth(w);
    g.SetImages(&images);
    g.SetStateImages(&states);
    for (TGridTreeListNode* n : Build(g, "p(c(g)) q")) n->SetStrings(1, n->Strings(0) + "1");
    Find(g, "c")->SetStateIndex(0);
    Find(g, "p")->SetSelectedIndex(0);  // p is focused: its selected image shows
  }
};

struct Hit {
  int x, y;
  TTreeListHitArea area;
  const char* node;  // "-": none
  int column;
};

void CheckHits(TCustomGridTreeList& g, const std::vector<Hit>& hits) {
  for (const Hit& h : hits) {
    const TTreeListHitInfo r = g.HitTest(h.x, h.y);
    EXPECT_EQ(int(r.Area), int(h.area)) << "at " << h.x << "," << h.y;
    EXPECT_EQ(Name(r.Node), h.node) << "at " << h.x << "," << h.y;
    EXPECT_EQ(r.Column, h.column) << "at " << h.x << "," << h.y;
  }
}

// Rows: p 18-36, c 36-54, g 54-72, q 72-90. Standard style: each level one
// 16-pixel cell, plus the node's own (button or line), then the state image
// (12) and the image (16).
TEST(TreeListHitTest, HeaderIndentButtonImagesCellsAndOutside) {
  Fixture f;
  CheckHits(f.g, {
                     {5, 5, htColumn, "-", 0},
                     {98, 5, htColumnEdge, "-", 0},    // 4 pixels each side of the edge
                     {102, 5, htColumnEdge, "-", 0},
                     {150, 5, htColumn, "-", 1},
                     {242, 5, htColumnEdge, "-", 2},   // the strip right of the last column
                     {260, 5, htNowhere, "-", -1},
                     {8, 27, htButton, "p", 0},
                     {20, 27, htIcon, "p", 0},
                     {40, 27, htLabel, "p", 0},
                     {8, 45, htIndent, "c", 0},
                     {20, 45, htButton, "c", 0},
                     {36, 45, htStateIcon, "c", 0},   // 32-44
                     {50, 45, htIcon, "c", 0},        // 44-60
                     {62, 45, htLabel, "c", 0},
                     {47, 63, htIndent, "g", 0},      // no button: 0-48 is indent
                     {50, 63, htIcon, "g", 0},
                     {150, 81, htLabel, "q", 1},
                     {260, 81, htRight, "q", -1},
                     {50, 150, htNowhere, "-", -1},   // below the last row
                     {300, 10, htOutside, "-", -1},
                     {-1, 10, htOutside, "-", -1},
                 });
  // Without root lines everything moves one indent left: a root node has no
  // button, its image starts at the edge.
  f.g.SetShowRoot(false);
  CheckHits(f.g, {
                     {8, 27, htIcon, "p", 0},
                     {20, 27, htLabel, "p", 0},
                     {8, 45, htButton, "c", 0},
                     {20, 45, htStateIcon, "c", 0},
                     {30, 45, htIcon, "c", 0},
                     {8, 63, htIndent, "g", 0},
                     {40, 63, htIcon, "g", 0},
                 });
}

// Bands, indicator, footer, previews and row footers shown; every panel
// and row edge sizable. Rows: p 36-69 (lines 36-54, preview 54-69), c
// 69-122 (+ the footer that closes p, 102-122), q 122-155; footer 176-200.
TEST(TreeListHitTest, PanelsIndicatorPreviewsFootersAndSizingEdges) {
  Fixture f;
  TGridTreeList& g = f.g;
  Find(g, "c")->Collapse();
  g.SetShowBands(true);
  g.SetShowIndicator(true);
  g.SetShowFooter(true);
  g.SetShowRowFooter(true);
  g.SetPreviewLines(1);
  g.SetOptions(g.Options().With(aoPreview));
  g.SetOptionsEx(g.OptionsEx()
                     .With(aoBandPanelSizing)
                     .With(aoHeaderPanelSizing)
                     .With(aoRowSizing)
                     .Without(aoAutoCalcPreviewLines));  // the line without a text
  CheckHits(g, {
                   {5, 5, htBandButton, "-", -1},
                   {50, 5, htBand, "-", -1},
                   {250, 5, htBandEdge, "-", -1},    // the band ends at 12 + 240
                   {254, 5, htBandEdge, "-", -1},    // outside the band, within 4 pixels
                   {50, 16, htBandPanelEdge, "-", -1},
                   {5, 25, htColumnButton, "-", -1},
                   {50, 34, htHeaderPanelEdge, "-", -1},
                   {50, 25, htColumn, "-", 0},
                   {5, 45, htIndicator, "p", -1},
                   {5, 67, htRowEdge, "p", -1},
                   {50, 60, htPreview, "p", 0},
                   {50, 110, htRowFooter, "c", 0},
                   {50, 190, htFooter, "-", -1},
                   {50, 130, htLabel, "q", 0},
               });
  EXPECT_EQ(g.HitTest(50, 110).RowFooter, 0);
  EXPECT_EQ(g.FooterLevel(Find(g, "c"), 0), 0);
}

// Whatever painting draws, the hit test finds at its centre: buttons,
// images, state images and cell texts.
TEST(TreeListHitTest, PaintedPartsAreWhereTheHitTestFindsThem) {
  gui::FakeDesktop desk;
  Fixture f;
  f.g.HandleNeeded();
  const std::string log = desk.Paint(f.g);
  const std::regex button(R"(FrameRect\((-?\d+),(-?\d+),(-?\d+),(-?\d+)\) brush=clGrayText)");
  const std::regex image(R"(Draw\((-?\d+),(-?\d+),bitmap (\d+)x)");
  const std::regex text(R"re(ExtTextOut\(-?\d+,-?\d+,clipped (-?\d+),(-?\d+),(-?\d+),(-?\d+),"([^"]*)"\))re");
  int buttons = 0, images = 0, texts = 0;
  for (std::sregex_iterator i(log.begin(), log.end(), button), e; i != e; ++i, ++buttons) {
    const TTreeListHitInfo h = f.g.HitTest((std::stoi((*i)[1]) + std::stoi((*i)[3])) / 2,
                                           (std::stoi((*i)[2]) + std::stoi((*i)[4])) / 2);
    EXPECT_EQ(h.Area, htButton) << i->str();
    EXPECT_TRUE(h.Node && h.Node->HasChildren());
  }
  for (std::sregex_iterator i(log.begin(), log.end(), image), e; i != e; ++i, ++images) {
    const int size = std::stoi((*i)[3]);
    const TTreeListHitInfo h = f.g.HitTest(std::stoi((*i)[1]) + size / 2, std::stoi((*i)[2]) + size / 2);
    EXPECT_EQ(h.Area, size == 12 ? htStateIcon : htIcon) << i->str();
  }
  for (std::sregex_iterator i(log.begin(), log.end(), text), e; i != e; ++i) {
    const TTreeListHitInfo h = f.g.HitTest((std::stoi((*i)[1]) + std::stoi((*i)[3])) / 2,
                                           (std::stoi((*i)[2]) + std::stoi((*i)[4])) / 2);
    if (h.Area == htColumn) continue;  // a header caption
    ++texts;
    EXPECT_EQ(h.Area, htLabel) << i->str();
    ASSERT_TRUE(h.Node);
    EXPECT_EQ(h.Node->Strings(h.Column), (*i)[5].str());
  }
  EXPECT_EQ(buttons, 2);
  EXPECT_EQ(images, 5);
  EXPECT_EQ(texts, 8);
}

// A left fixed band stays; scrolling bands move, a partly visible one is
// clipped, one beyond the right edge has no entry.
TEST(TreeListHitTest, HorizontalScrollClipsBandsAndKeepsTheFixedOne) {
  TGridTreeList g;
  g.SetBorderStyle(bsNone);
  g.SetBounds(0, 0, 300, 200);
  g.SetShowBands(true);
  const int widths[] = {60, 200, 200, 100};
  for (int b = 0; b < 4; ++b) {
    if (b) g.CreateBand();
    TGridTreeListColumn* c = g.CreateColumn();
    c->SetBandIndex(b);
    c->SetWidth(widths[b]);
  }
  g.Bands(0)->SetFixed(bfLeft);
  Build(g, "a b");
  auto bands = [&] {
    TTreeListDrawInfo info;
    g.CalcDrawInfo(info);
    std::string s;
    for (const TTreeListBandEntry& e : info.Bands)
      s += std::to_string(e.Band) + ":" + std::to_string(e.HeaderRect.Left) + "/" +
           std::to_string(e.ClipRect.Left) + "-" + std::to_string(e.ClipRect.Right) + " ";
    return s;
  };
  EXPECT_EQ(bands(), "0:0/0-60 1:60/60-260 2:260/260-300 ");
  g.SetLeftCoord(100);
  EXPECT_EQ(bands(), "0:0/0-60 1:-40/60-160 2:160/160-300 ");
  EXPECT_EQ(g.HitTest(30, 30).Column, 0);
  EXPECT_EQ(g.HitTest(100, 30).Column, 1);
  g.SetLeftCoord(10000);  // no further than the last band's right edge
  EXPECT_EQ(g.LeftCoord(), 500 - 240);
  EXPECT_EQ(bands(), "0:0/0-60 2:0/60-200 3:200/200-300 ");
  // The last band moved to the second place takes its column along.
  g.MoveBand(3, 1);
  EXPECT_EQ(g.Columns(3)->BandIndex(), 1);
  EXPECT_EQ(g.Columns(1)->BandIndex(), 2);
  ASSERT_EQ(g.Layout().size(), 4u);
  EXPECT_EQ(g.Layout()[1].Width, 100);
}

TEST(TreeListHitTest, SizingAndDraggingTheHeader) {
  gui::FakeDesktop desk;
  Fixture f;
  TGridTreeList& g = f.g;
  g.HandleNeeded();
  int changed = 0;
  g.OnChangedColumnsWidth = [&](TCustomGridTreeList*) { ++changed; };
  g.EndSizing(tsColumnSizing, 0, 149);
  EXPECT_EQ(g.Columns(0)->Width(), 150);
  int lo, hi;
  g.SizingLimits(tsColumnSizing, 1, lo, hi);
  EXPECT_EQ(lo, 150 + 4 - 1);  // the column's minimum width
  g.EndSizing(tsColumnSizing, 1, 10);
  EXPECT_EQ(g.Columns(1)->Width(), 4);
  EXPECT_EQ(changed, 2);
  // Column 0 dragged past the middle of the last one goes last; the drop
  // place shows while dragging and is gone after.
  desk.CanvasLog().clear();
  g.StartDragging(tsColumnDragging, 0);
  g.ContinueDragging({200, 5});
  g.ContinueDragging({190, 5});  // the same place: no redraw
  g.EndDragging({200, 5}, true);
  const auto& log = desk.CanvasLog();
  auto count = [&](const std::string& part) {
    return std::count_if(log.begin(), log.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
  };
  EXPECT_EQ(count("brush=#00FF00"), 10);  // two arrows of five rows, drawn once
  EXPECT_EQ(count("<- bitmap 9x10"), 2);  // what was under them, back
  EXPECT_EQ(log.back(), "BitBlt(210,13,219,18 <- bitmap 9x10 @0,5,SRCCOPY)");
  EXPECT_EQ(g.State(), tsNone);
  EXPECT_EQ(g.VisibleIndexToAbsolute(0), 1);
  EXPECT_EQ(g.VisibleIndexToAbsolute(2), 0);
  TGridTreeListNode* p = Find(g, "p");
  EXPECT_EQ(p->Strings(1), "p1");  // texts stay with their column
  EXPECT_EQ(g.HitTest(200, 27).Column, 0);
  // Deleting a column takes its texts with it.
  g.DeleteColumn(0);
  EXPECT_EQ(p->Strings(0), "p1");
}

// Rows lower than the default row height: every row that shows gets its
// entry, one after the other, down to the bottom.
TEST(TreeListHitTest, RowsShorterThanTheDefaultAllGetEntries) {
  TGridTreeList g;
  OneColumn(g);
  g.SetBounds(0, 0, 200, 200);
  for (int i = 0; i < 50; ++i) g.Add();
  g.SetRowHeight(7);
  TTreeListDrawInfo info;
  g.CalcDrawInfo(info);
  ASSERT_EQ(info.RowEntries.size(), size_t((info.Rows.Height() + 6) / 7));
  for (size_t i = 0; i < info.RowEntries.size(); ++i) {
    EXPECT_EQ(info.RowEntries[i].Top, info.Rows.Top + int(i) * 7);
    EXPECT_EQ(info.RowEntries[i].Node, g.Items(int(i)));
  }
  EXPECT_GE(info.RowEntries.back().Top + 7, info.Rows.Bottom);
  EXPECT_EQ(g.FullyVisibleRowCount(), info.Rows.Height() / 7);
}

}  // namespace
