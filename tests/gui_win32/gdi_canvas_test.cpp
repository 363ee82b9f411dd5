// The window system's canvas drawing into device-independent sections,
// read back pixel by pixel.
#include "tests/gui_win32/win32_fixture.h"

#include <stdexcept>

#include "gui/canvas.h"
#include "gui/win32/gdi_canvas.h"

namespace {

using namespace gui;
using testwin::kFace;
using testwin::kShadow;

constexpr Color kPaper = MakeRGB(250, 250, 250);

class GdiCanvasTest : public testwin::Win32Test {
 protected:
  GdiCanvasTest() : bmp(16, 16) { bmp.Fill(kPaper); }
  Canvas& c() { return bmp.GetCanvas(); }
  // The pixels of row y as 'x' (colour) and '.' (paper) from x0 to x1.
  std::string Row(int y, int x0, int x1, Color colour) {
    std::string s;
    for (int x = x0; x < x1; ++x) {
      const Color p = bmp.Pixel(x, y);
      s += p == colour ? 'x' : p == kPaper ? '.' : '?';
    }
    return s;
  }
  Bitmap bmp;
};

TEST_F(GdiCanvasTest, LinesLeaveOutTheirEndPixelAndSystemColoursComeFromTheTable) {
  ASSERT_NE(c().Handle(), 0u) << "the bitmap is not a device-independent section";
  c().Pen().SetColor(clBtnShadow);
  c().MoveTo(1, 1);
  c().LineTo(6, 1);
  EXPECT_EQ(Row(1, 0, 8, kShadow), ".xxxxx..") << "the end pixel is left out";
  c().LineTo(6, 5);
  for (int y = 1; y < 5; ++y) EXPECT_EQ(bmp.Pixel(6, y), kShadow) << y;
  EXPECT_EQ(bmp.Pixel(6, 5), kPaper) << "the end pixel is left out";
  EXPECT_EQ(c().PenPos(), Point(6, 5));

  // The default-colour marker never reaches the device.
  c().Pen().SetColor(clDefault);
  EXPECT_THROW(c().LineTo(9, 9), std::logic_error);
  EXPECT_EQ(bmp.Pixel(7, 6), kPaper);
}

TEST_F(GdiCanvasTest, FillRectLeavesOutTheRightAndBottomEdgesWithinTheClip) {
  c().Brush().SetColor(clBtnFace);
  c().FillRect({2, 2, 5, 5});
  EXPECT_EQ(Row(2, 0, 7, kFace), "..xxx..");
  EXPECT_EQ(Row(4, 0, 7, kFace), "..xxx..");
  EXPECT_EQ(Row(5, 0, 7, kFace), ".......");

  // A clip saved and restored: the excluded part stays paper only while
  // the exclusion holds.
  bmp.Fill(kPaper);
  c().IntersectClip({0, 8, 16, 16});
  const int level = c().Save();
  c().ExcludeClip({4, 8, 8, 16});
  EXPECT_FALSE(c().RectVisible({0, 0, 16, 8}));
  EXPECT_FALSE(c().RectVisible({4, 9, 8, 12}));
  c().FillRect({0, 0, 16, 16});
  EXPECT_EQ(Row(7, 0, 10, kFace), "..........");
  EXPECT_EQ(Row(9, 0, 10, kFace), "xxxx....xx");
  c().Restore(level);
  c().FillRect({0, 0, 16, 16});
  EXPECT_EQ(Row(9, 0, 10, kFace), "xxxxxxxxxx");
  EXPECT_EQ(Row(7, 0, 10, kFace), "..........");
  EXPECT_EQ(c().ClipBox(), Rect(0, 8, 16, 16));
}

// A long-lived canvas (a control's off-screen bitmap) drawing with the same
// pen and brush before and after the colour scheme changed.
TEST_F(GdiCanvasTest, PenAndBrushFollowAColourSchemeChange) {
  c().Brush().SetColor(clBtnFace);
  c().Pen().SetColor(clBtnShadow);
  c().FillRect({0, 0, 4, 4});
  c().MoveTo(0, 8);
  c().LineTo(4, 8);
  ASSERT_EQ(Row(1, 0, 5, kFace), "xxxx.");
  ASSERT_EQ(Row(8, 0, 5, kShadow), "xxxx.");

  constexpr Color kNewFace = MakeRGB(200, 10, 10);
  constexpr Color kNewShadow = MakeRGB(10, 200, 10);
  Colors().Set(COLOR_BTNFACE, kNewFace);
  Colors().Set(COLOR_BTNSHADOW, kNewShadow);
  c().FillRect({0, 0, 4, 4});
  c().MoveTo(0, 8);
  c().LineTo(4, 8);
  EXPECT_EQ(Row(1, 0, 5, kNewFace), "xxxx.");
  EXPECT_EQ(Row(8, 0, 5, kNewShadow), "xxxx.");
}

TEST_F(GdiCanvasTest, PatternWhereTheMonochromeMaskIsWhiteDestinationElsewhere) {
  // The mask: white on the left half, black on the right.
  Bitmap mask(16, 16, PixelFormat::Mono);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 8; ++x) mask.SetPixel(x, y, clWhite);
  c().Brush().SetColor(clRed);
  c().SetTextColor(clBlack);  // the mask's 0 bits
  c().SetBkColor(clWhite);    // and its 1 bits
  c().BitBlt({0, 0, 16, 16}, mask.GetCanvas(), {0, 0}, 0x00E20746);
  EXPECT_EQ(Row(3, 0, 16, clRed), "xxxxxxxx........");
  EXPECT_EQ(Row(12, 0, 16, clRed), "xxxxxxxx........");
}

TEST_F(GdiCanvasTest, TransparentDrawLeavesOutTheBottomLeftPixelsColour) {
  Bitmap glyph(4, 3);
  glyph.Fill(clLime);  // the key: the bottom-left pixel's colour
  glyph.SetPixel(1, 0, clBlue);
  glyph.SetPixel(2, 1, clBlue);
  glyph.SetPixel(3, 2, clBlue);
  glyph.SetTransparent(true);
  c().Draw(5, 5, glyph);
  EXPECT_EQ(Row(5, 5, 9, clBlue), ".x..");
  EXPECT_EQ(Row(6, 5, 9, clBlue), "..x.");
  EXPECT_EQ(Row(7, 5, 9, clBlue), "...x");

  // Opaque, the same bitmap covers its whole rectangle.
  glyph.SetTransparent(false);
  c().Draw(0, 10, glyph);
  EXPECT_EQ(Row(10, 0, 4, clLime), "x?xx");
}

TEST_F(GdiCanvasTest, DrawTextEllipsisKeepsToTheMeasuredWidth) {
  Bitmap wide(60, 20);
  wide.Fill(kPaper);
  Canvas& w = wide.GetCanvas();
  // Glyphs in the background colour: only the measured boxes show.
  w.SetBkMode(OPAQUE);
  w.SetBkColor(clYellow);
  w.SetTextColor(clYellow);
  Rect r{0, 0, 40, 13};
  Rect calc = r;
  w.DrawText("abcdefghij", calc, DT_SINGLELINE | DT_END_ELLIPSIS | DT_CALCRECT);
  EXPECT_EQ(wide.Pixel(0, 5), kPaper) << "measuring draws nothing";
  w.DrawText("abcdefghij", r, DT_SINGLELINE | DT_END_ELLIPSIS);
  // Six cells of 6 pixels ("abc...") fit within 40; the rest stays paper.
  for (int x = 0; x < 60; ++x)
    for (int y : {0, 6, 12})
      ASSERT_EQ(wide.Pixel(x, y), x < 36 ? clYellow : kPaper) << x << "," << y;
  EXPECT_EQ(wide.Pixel(10, 13), kPaper);
}

TEST_F(GdiCanvasTest, HalftoneBrushIsACheckerboardInTheTextAndBackgroundColours) {
  c().Brush().SetStyle(BrushStyle::Halftone);
  c().SetTextColor(clBlack);
  c().SetBkColor(clWhite);
  c().FillRect({0, 0, 16, 16});
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      ASSERT_EQ(bmp.Pixel(x, y), (x % 2) == (y % 2) ? clBlack : clWhite) << x << "," << y;
}

TEST_F(GdiCanvasTest, NamedBitmapResourcesOfTheProgramLoad) {
  for (const char* name : {"LEFTSCROLL", "RIGHTSCROLL", "TOPSCROLL", "BOTTOMSCROLL", "CHECKED",
                           "UNCHECKED", "GRID_ARROW", "GRID_EDIT", "GRID_INSERT", "GRID_MULTIDOT",
                           "GRID_MULTIARROW"}) {
    Bitmap b;
    ASSERT_TRUE(b.LoadFromResourceName(name)) << name;
    EXPECT_FALSE(b.Empty()) << name;
  }
  Bitmap arrow;
  arrow.LoadFromResourceName("TOPSCROLL");
  EXPECT_EQ(arrow.Width(), 9);
  EXPECT_EQ(arrow.Height(), 6);
  Bitmap grid;
  grid.LoadFromResourceName("GRID_ARROW");
  EXPECT_EQ(grid.Pixel(0, grid.Height() - 1), clWhite) << "white is the grid marks' left-out colour";
  EXPECT_FALSE(Bitmap().LoadFromResourceName("NO_SUCH_BITMAP"));

  // The program icon: a teal disc, transparent around it.
  Icon icon;
  ASSERT_TRUE(icon.LoadFromResourceName("MAINICON"));
  EXPECT_EQ(icon.Width(), 32);
  Bitmap face(32, 32);
  face.Fill(kPaper);
  face.GetCanvas().DrawIcon(0, 0, icon);
  EXPECT_EQ(face.Pixel(2, 16), MakeRGB(0, 96, 112));
  EXPECT_EQ(face.Pixel(0, 0), kPaper);
}

}  // namespace

namespace {

// The one test that measures with the system's own fonts.
TEST(GdiTextMeasurer, MeasuresWithTheSystemsFontsConsistently) {
  gui::GdiTextMeasurer m;
  gui::Font f;
  const gui::Size wg = m.TextExtent(f, "Wg");
  EXPECT_GT(wg.Width, 0);
  EXPECT_EQ(wg.Height, m.LineHeight(f));
  EXPECT_EQ(m.TextExtent(f, "").Height, m.LineHeight(f));
  const std::string text = "Measure me";
  const int full = m.TextExtent(f, text).Width;
  EXPECT_EQ(m.FitCount(f, text, full), int(text.size()));
  EXPECT_LT(m.FitCount(f, text, full - 1), int(text.size()));
  EXPECT_EQ(m.FitCount(f, text, 0), 0);
  EXPECT_EQ(m.FitCount(f, text, -5), 0);
  gui::Font bold;
  bold.SetStyle(gui::fsBold);
  EXPECT_GE(m.TextExtent(bold, text).Width, full);
}

}  // namespace
