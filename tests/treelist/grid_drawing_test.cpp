#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>

#include "gui/graphics_backend.h"
#include "gui/recording_canvas.h"
#include "treelist/custom_tree_list.h"
#include "treelist/grid_drawing.h"

namespace {

using namespace gui;

TEST(CalcTextLines, CountsWrappedLinesWithinTheLimitsAndSurvivesTheEdges) {
  FixedTextMeasurer m;  // 6 x 13 pixels a character
  RecordingCanvas c({}, "measure", &m);
  c.Font().SetName("Caller");
  Font cellFont;
  cellFont.SetName("Cell");
  int h = 99;
  EXPECT_EQ(CalcTextLines(c, "", 100, 13, h, 0, false, cellFont, -1), 0);
  EXPECT_EQ(CalcTextLines(c, "abc", 100, 13, h, 0, false, cellFont, 0), 0);
  EXPECT_EQ(h, 99);
  // 40 - 4 = 36 pixels: six characters a line, "aaaa bbbb cccc" in three.
  EXPECT_EQ(CalcTextLines(c, "aaaa bbbb cccc", 40, 13, h, 0, false, cellFont, -1), 3);
  EXPECT_EQ(h, 39 + 5);
  EXPECT_EQ(c.Font().Name(), "Caller");
  // The indent narrows the text; the limit cuts the count and the height.
  EXPECT_EQ(CalcTextLines(c, "aaaa bbbb", 40, 13, h, 10, true, cellFont, -1), 2);
  EXPECT_EQ(CalcTextLines(c, "aaaa bbbb cccc", 40, 14, h, 0, false, cellFont, 1), 1);
  EXPECT_EQ(h, 14 + 5);
  EXPECT_EQ(CalcTextLines(c, "aaaa bbbb cccc", 40, 13, h, 0, false, cellFont, -7), 3);  // no limit
  // Line height 0: the height of "Wg".
  EXPECT_EQ(CalcTextLines(c, "aaaa bbbb cccc", 40, 0, h, 0, false, cellFont, -1), 3);
  // No room at all: still measured in a rectangle one pixel wide.
  c.ClearLog();
  EXPECT_EQ(CalcTextLines(c, "abc", 5, 13, h, 20, false, cellFont, -1), 1);
  EXPECT_NE(c.LogText().find("DrawText(\"abc\",0,1,1,1,"), std::string::npos) << c.LogText();
  // A font without height: no division by zero.
  FixedTextMeasurer flat(6, 0);
  RecordingCanvas f({}, "flat", &flat);
  EXPECT_EQ(CalcTextLines(f, "abc", 100, 0, h, 0, false, cellFont, -1), 0);
  // The height is a row's, by the grid's row-height rule.
  EXPECT_EQ(CalcTextLines(c, "ab", 100, 13, h, 0, false, cellFont, -1), 1);
  EXPECT_EQ(h, TCustomGridTreeList::AdjustRowHeight(13));
}

// Counts how often each pixel is inverted.
class InversionCounter : public RecordingCanvas {
 public:
  using RecordingCanvas::RecordingCanvas;
  void InvertRect(const Rect& r) override {
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x) ++count[{x, y}];
  }
  std::map<std::pair<int, int>, int> count;
};

TEST(GridDrawing, InvertFrameInvertsEveryFramePixelExactlyOnce) {
  for (const Rect& r : {Rect(3, 4, 10, 9), Rect(0, 0, 1, 1), Rect(2, 2, 3, 7), Rect(1, 1, 6, 2),
                        Rect(0, 0, 2, 2), Rect(5, 5, 5, 9)}) {
    InversionCounter c;
    InvertFrame(c, r);
    std::map<std::pair<int, int>, int> want;
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x)
        if (x == r.Left || x == r.Right - 1 || y == r.Top || y == r.Bottom - 1) want[{x, y}] = 1;
    EXPECT_EQ(c.count, want) << r.Left << "," << r.Top << "," << r.Right << "," << r.Bottom;
  }
}

bool Has(const RecordingCanvas& c, const std::string& part) {
  return c.LogText().find(part) != std::string::npos;
}

TEST(GridDrawing, HeaderCellReservesItsMarksAndDrawsItsFaceByLook) {
  RecordingCanvas c({200, 40});
  Brush face;
  face.SetColor(clBtnFace);
  TGridHeaderCell cell;
  cell.button = hbkNormal;
  cell.sortMark = 2;
  cell.text = "Name";
  DrawHeaderCell(c, {0, 0, 80, 18}, cell, face);
  EXPECT_TRUE(Has(c, "FillRect(1,1,78,16) brush=clBtnFace")) << c.LogText();  // inside the edges
  // From the right: the button (15) then the sort mark (16), the caption in the rest.
  EXPECT_TRUE(Has(c, "FrameRect(64,2,77,15) brush=clBtnShadow")) << c.LogText();
  EXPECT_TRUE(Has(c, "MoveTo(58,5)\nLineTo(52,5) pen=clBtnShadow")) << c.LogText();  // pointing down
  EXPECT_TRUE(Has(c, "ExtTextOut(2,2,clipped 2,1,46,16,\"Name\")")) << c.LogText();
  EXPECT_FALSE(Has(c, "InvertRect")) << c.LogText();

  // A narrow cell keeps its button but has no room left for the sort mark.
  c.ClearLog();
  DrawHeaderCell(c, {0, 0, 20, 18}, cell, face);
  EXPECT_TRUE(Has(c, "FrameRect(")) << c.LogText();
  EXPECT_FALSE(Has(c, "MoveTo(")) << c.LogText();

  // Flat looks: an only cell is framed; a pressed one is sunken and
  // inverted whole.
  c.ClearLog();
  cell.look = lfUltraFlat;
  cell.button = hbkNone;
  DrawHeaderCell(c, {10, 0, 90, 18}, cell, face);
  EXPECT_TRUE(Has(c, "FrameRect(10,0,90,18) brush=clBtnShadow")) << c.LogText();
  c.ClearLog();
  cell.pressed = true;
  DrawHeaderCell(c, {10, 0, 90, 18}, cell, face);
  EXPECT_TRUE(Has(c, "DrawEdge(10,0,90,18,0x2,0x200F)")) << c.LogText();  // sunken
  EXPECT_TRUE(Has(c, "InvertRect(10,0,90,18)")) << c.LogText();
  c.ClearLog();
  cell.look = lfFlat;
  cell.edge = hekMiddle;
  cell.pressed = false;
  DrawHeaderCell(c, {0, 0, 80, 18}, cell, face);
  EXPECT_TRUE(Has(c, "DrawEdge(0,0,80,18,0x4,0x2)")) << c.LogText();   // the top line
  EXPECT_TRUE(Has(c, "DrawEdge(0,2,1,16,0x4,0x1)")) << c.LogText();   // left, 2 off each end
  EXPECT_TRUE(Has(c, "DrawEdge(79,2,80,16,0x4,0x4)")) << c.LogText();  // right, likewise
  c.ClearLog();
  cell.pressed = true;
  DrawHeaderCell(c, {0, 0, 80, 18}, cell, face);
  EXPECT_TRUE(Has(c, "DrawEdge(0,0,80,18,0x2,0x2)")) << c.LogText();
  EXPECT_TRUE(Has(c, "DrawEdge(0,2,1,16,0x2,0x1)")) << c.LogText();
  EXPECT_TRUE(Has(c, "DrawEdge(79,2,80,16,0x2,0x4)")) << c.LogText();
  c.ClearLog();
  cell.look = lfUltraFlat;
  DrawHeaderCell(c, {0, 0, 80, 18}, cell, face);
  EXPECT_TRUE(Has(c, "DrawEdge(0,0,80,18,0x2,0x2)")) << c.LogText();  // not flat: sunken
}

// Five indicator bitmaps of distinct colours, 10 x 8 but the third wider.
class IndicatorImages : public testing::Test {
 protected:
  IndicatorImages() : use_(backend_) {
    const char* names[] = {"GRID_ARROW", "GRID_EDIT", "GRID_INSERT", "GRID_MULTIDOT",
                           "GRID_MULTIARROW"};
    for (int i = 0; i < 5; ++i) {
      Bitmap b(i == 2 ? 25 : 10, 8);
      b.Fill(colours[i]);
      backend_.RegisterResource(names[i], b.SaveToBytes());
    }
  }
  const Color colours[5] = {clRed, clLime, clBlue, clYellow, clAqua};
  MemoryGraphicsBackend backend_;
  ScopedService<GraphicsBackend> use_;
};

TEST_F(IndicatorImages, LoadInKindOrderAndDrawThroughTheScratchBitmap) {
  TGridDrawingUse unit;
  const ImageList* list = GridIndicatorImages();
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->Count(), 5);  // the wide one did not become two
  EXPECT_EQ(Size(list->Width(), list->Height()), Size(10, 8));
  for (int i = 0; i < 5; ++i) {
    Bitmap img;
    list->GetBitmap(i, img);
    EXPECT_EQ(img.Pixel(5, 4), colours[i]) << i;
  }

  RecordingCanvas c({200, 200}, "grid");
  Bitmap scratch(4, 4);
  Brush face;
  face.SetColor(clBtnFace);
  DrawIndicatorCell(c, {0, 20, 12, 38}, {0, 25, 12, 38}, lfStandard, ikMultiArrow, scratch, face);
  EXPECT_EQ(Size(scratch.Width(), scratch.Height()), Size(12, 18));  // grown to the cell
  EXPECT_EQ(c.LogText(), "BitBlt(0,25,12,38 <- bitmap 12x18 @0,5,SRCCOPY)\n");  // only the clip part
}

}  // namespace
