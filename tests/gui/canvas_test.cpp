#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

#include "gui/bitmap.h"
#include "gui/recording_canvas.h"
#include "gui/region.h"
#include "gui/text_measurer.h"

namespace {

using namespace gui;

// A small composite drawing gives the exact call log, with the state each
// call draws with; the font change resets the text colour and the brush
// change the background mode.
TEST(RecordingCanvas, CompositeDrawingLog) {
  FixedTextMeasurer m(6, 13);
  RecordingCanvas c({100, 50}, "surface", &m);
  c.Brush().SetColor(clBtnFace);
  c.FillRect({0, 0, 100, 50});
  c.Pen().SetColor(clBtnShadow);
  c.MoveTo(0, 49);
  c.LineTo(99, 49);
  c.SetTextColor(clRed);
  c.Brush().SetStyle(BrushStyle::Clear);
  c.TextOut(4, 2, "Hi");
  c.Font().SetStyle(fsBold);
  Rect r{0, 0, 30, 13};
  c.DrawText("Overflowing", r, DT_SINGLELINE | DT_END_ELLIPSIS);
  const Point tri[] = {{1, 1}, {5, 1}, {3, 3}};
  c.Brush().SetColor(clBlack);
  c.Polygon(tri);
  {
    CanvasSaver save(c);
    c.IntersectClip({10, 10, 20, 20});
    EXPECT_EQ(c.ClipBox(), Rect(10, 10, 20, 20));
    c.PatBlt({10, 10, 20, 20}, PATINVERT);
  }
  EXPECT_EQ(c.ClipBox(), Rect(0, 0, 100, 50));
  Rect edge{0, 0, 10, 10};
  c.DrawEdge(edge, EDGE_RAISED, BF_RECT | BF_ADJUST);
  EXPECT_EQ(edge, Rect(2, 2, 8, 8));
  EXPECT_EQ(c.LogText(),
            "FillRect(0,0,100,50) brush=clBtnFace\n"
            "MoveTo(0,49)\n"
            "LineTo(99,49) pen=clBtnShadow\n"
            "TextOut(4,2,\"Hi\") font=MS Sans Serif/-11 text=#FF0000 bk=transparent\n"
            "DrawText(\"Overflowing\",0,0,30,13,DT_SINGLELINE|DT_END_ELLIPSIS) -> \"Ov...\"@0,0 "
            "font=MS Sans Serif/-11/B text=clWindowText bk=transparent\n"
            "Polygon(1,1 5,1 3,3) pen=clBtnShadow brush=#000000\n"
            "Save() -> 1\n"
            "IntersectClip(10,10,20,20)\n"
            "PatBlt(10,10,20,20,PATINVERT) brush=#000000\n"
            "Restore(1)\n"
            "DrawEdge(0,0,10,10,0x5,0x200F)\n");
}

// The default-colour marker never reaches a drawing call.
TEST(RecordingCanvas, DefaultColourIsRefusedWhenDrawn) {
  RecordingCanvas c({10, 10});
  c.Brush().SetColor(clDefault);
  EXPECT_THROW(c.FillRect({0, 0, 1, 1}), std::logic_error);
  c.Brush().SetColor(clWhite);
  c.Pen().SetColor(clDefault);
  EXPECT_THROW(c.LineTo(1, 1), std::logic_error);
  EXPECT_THROW(ColorToRGB(clDefault), std::logic_error);
  EXPECT_EQ(ColorToRGB(clBtnFace), FixedSystemColorTable().RGBOf(COLOR_BTNFACE));
}

TEST(LayoutText, AlignmentBreaksPrefixAndEllipses) {
  FixedTextMeasurer m(6, 10);
  Font f;
  // Word break: lines no wider than the rectangle, a long word kept whole.
  TextLayout l = LayoutText(m, f, "aa bb cc extraordinary", {0, 0, 36, 100}, DT_WORDBREAK | DT_CENTER);
  ASSERT_EQ(l.Lines.size(), 3u);
  EXPECT_EQ(l.Lines[0].Text, "aa bb");
  EXPECT_EQ(l.Lines[0].X, 3);
  EXPECT_EQ(l.Lines[1].Text, "cc");
  EXPECT_EQ(l.Lines[2].Text, "extraordinary");
  EXPECT_EQ(l.Lines[2].Y, 20);
  EXPECT_EQ(l.Height, 30);
  EXPECT_EQ(l.Bounds, Rect(0, 0, 78, 30));
  // Prefix: "&&" is one ampersand, '&' marks the accelerator; no prefix
  // processing keeps every mark.
  l = LayoutText(m, f, "Save && E&xit", {0, 0, 200, 10}, DT_SINGLELINE);
  EXPECT_EQ(l.Lines[0].Text, "Save & Exit");
  EXPECT_EQ(l.Lines[0].Underline, 8);
  l = LayoutText(m, f, "A&b", {0, 0, 200, 10}, DT_SINGLELINE | DT_NOPREFIX);
  EXPECT_EQ(l.Lines[0].Text, "A&b");
  EXPECT_EQ(l.Lines[0].Underline, -1);
  // Right and bottom, vertical centre.
  l = LayoutText(m, f, "abc", {0, 0, 60, 31}, DT_SINGLELINE | DT_RIGHT | DT_VCENTER);
  EXPECT_EQ(l.Lines[0].X, 42);
  EXPECT_EQ(l.Lines[0].Y, 10);
  // Path ellipsis keeps the file name.
  l = LayoutText(m, f, "C:\\music\\albums\\song.mp3", {0, 0, 96, 10}, DT_SINGLELINE | DT_PATH_ELLIPSIS);
  EXPECT_EQ(l.Lines[0].Text, "C:\\m...\\song.mp3");
  EXPECT_LE(l.Lines[0].Width, 96);
  // Too narrow for anything but the dots.
  l = LayoutText(m, f, "abcdef", {0, 0, 10, 10}, DT_SINGLELINE | DT_END_ELLIPSIS);
  EXPECT_EQ(l.Lines[0].Text, "...");
  // Line breaks of every kind; empty text has no lines.
  l = LayoutText(m, f, "a\r\nb\nc\rd", {0, 0, 100, 100}, 0);
  EXPECT_EQ(l.Lines.size(), 4u);
  EXPECT_TRUE(LayoutText(m, f, "", {0, 0, 10, 10}, 0).Lines.empty());
  EXPECT_EQ(m.FitCount(f, "abc", 0), 0);
  EXPECT_EQ(m.FitCount(f, "abc", 13), 2);
}

// Region operations against a pixel-by-pixel model over random rectangles.
TEST(Region, CombinationsMatchPixelSets) {
  std::mt19937 rng(7);
  auto rnd = [&](int n) { return int(rng() % unsigned(n)); };
  auto randomRegion = [&] {
    Region r;
    for (int i = rnd(4); i >= 0; --i) {
      const int x = rnd(12), y = rnd(12);
      r.Combine(Rect(x, y, x + 1 + rnd(8), y + 1 + rnd(8)), RegionOp::Or);
    }
    return r;
  };
  for (int round = 0; round < 300; ++round) {
    const Region a = randomRegion(), b = randomRegion();
    for (RegionOp op : {RegionOp::And, RegionOp::Or, RegionOp::Xor, RegionOp::Diff, RegionOp::Copy}) {
      Region r = a;
      r.Combine(b, op);
      long long area = 0;
      for (int y = 0; y < 22; ++y)
        for (int x = 0; x < 22; ++x) {
          const bool ia = a.Contains({x, y}), ib = b.Contains({x, y});
          bool want = false;
          switch (op) {
            case RegionOp::And: want = ia && ib; break;
            case RegionOp::Or: want = ia || ib; break;
            case RegionOp::Xor: want = ia != ib; break;
            case RegionOp::Diff: want = ia && !ib; break;
            case RegionOp::Copy: want = ib; break;
          }
          ASSERT_EQ(r.Contains({x, y}), want) << "round " << round << " op " << int(op);
          area += want;
        }
      // Disjoint rectangles: the area adds up.
      EXPECT_EQ(r.Area(), area);
    }
  }
}

}  // namespace
