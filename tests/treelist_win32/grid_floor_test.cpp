// The grid's floor on real windows and device-independent sections under
// Wine: the wheel's page setting, the hint window the mouse passes
// through, and the drawing routines read back pixel by pixel.
#include "tests/gui_win32/win32_fixture.h"

#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "gui/environment.h"
#include "gui/form.h"
#include "treelist/grid_drawing.h"

namespace {

using namespace gui;
using testwin::kFace;
using testwin::kShadow;

constexpr Color kPaper = MakeRGB(250, 250, 250);
constexpr Color kHighlight = MakeRGB(200, 210, 220);
constexpr Color kDark = MakeRGB(1, 2, 3);
constexpr Color kGrayText = MakeRGB(100, 101, 102);
constexpr Color kText = MakeRGB(20, 0, 40);

HWND Hwnd(Control& c) { return reinterpret_cast<HWND>(c.Handle()); }

class GridFloorTest : public testwin::Win32Test {
 protected:
  GridFloorTest() : bmp(40, 30) {
    Colors().Set(COLOR_BTNHIGHLIGHT, kHighlight);
    Colors().Set(COLOR_3DDKSHADOW, kDark);
    Colors().Set(COLOR_GRAYTEXT, kGrayText);
    Colors().Set(COLOR_WINDOWTEXT, kText);
    bmp.Fill(kPaper);
  }
  Canvas& c() { return bmp.GetCanvas(); }
  Bitmap bmp;
};

class VScrollCounter : public TCustomGridContainer {
 public:
  using TCustomGridContainer::TCustomGridContainer;
  std::vector<int> codes;

 protected:
  void WndProc(Message& m) override {
    if (m.Msg == WM_VSCROLL) codes.push_back(int(m.WParam));
    TCustomGridContainer::WndProc(m);
  }
};

TEST_F(GridFloorTest, TheWheelsPageSettingScrollsOnePageOnARealWindow) {
  FixedEnvironment env;
  ScopedService<Environment> useEnv(env);
  Form form;
  form.SetBounds(40, 40, 300, 200);
  auto* grid = new VScrollCounter(&form);
  grid->SetBounds(0, 0, 200, 150);
  grid->SetParent(&form);
  form.HandleNeeded();
  env.SetWheelScrollLines(WHEEL_PAGESCROLL);
  SendMessageA(Hwnd(*grid), WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(-WHEEL_DELTA)), MAKELPARAM(50, 50));
  EXPECT_EQ(grid->codes, std::vector<int>{SB_PAGEDOWN});
  grid->codes.clear();
  env.SetWheelScrollLines(2);
  SendMessageA(Hwnd(*grid), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(50, 50));
  EXPECT_EQ(grid->codes, (std::vector<int>{SB_LINEUP, SB_LINEUP}));
}

TEST_F(GridFloorTest, TheHintLetsTheMouseThroughAndTakesNoActivation) {
  Form form;
  form.SetBounds(60, 60, 300, 200);
  form.Show();
  Pump();
  const HWND active = GetActiveWindow();
  TGridContainerHintWindow hint;
  Font font;
  hint.ShowHintAt({120, 120}, "a hint", font);
  Pump();
  ASSERT_TRUE(hint.HintShowing());
  EXPECT_EQ(GetActiveWindow(), active);
  EXPECT_TRUE(GetWindowLongA(Hwnd(hint), GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_EQ(SendMessageA(Hwnd(hint), WM_NCHITTEST, 0, MAKELPARAM(125, 125)), HTTRANSPARENT);
  // What lies under the hint is the form's.
  const POINT p{125, 125};
  EXPECT_EQ(WindowFromPoint(p), Hwnd(form));
  hint.HideHint();
  EXPECT_FALSE(hint.HintShowing());
}

TEST_F(GridFloorTest, HeaderCellUpIsRaisedAndDownIsSunken) {
  Brush face;
  face.SetColor(clBtnFace);
  TGridHeaderCell cell;
  DrawHeaderCell(c(), {0, 0, 20, 12}, cell, face);
  EXPECT_EQ(bmp.Pixel(0, 0), kHighlight);  // raised: light top and left
  EXPECT_EQ(bmp.Pixel(19, 11), kDark);     // the outer edge at the bottom right
  EXPECT_EQ(bmp.Pixel(18, 10), kShadow);   // inside it the inner one
  EXPECT_EQ(bmp.Pixel(1, 1), kFace);
  cell.pressed = true;
  DrawHeaderCell(c(), {20, 0, 40, 12}, cell, face);
  EXPECT_EQ(bmp.Pixel(20, 0), kShadow);  // sunken: dark top-left
  EXPECT_EQ(bmp.Pixel(39, 11), kDark);
  EXPECT_EQ(bmp.Pixel(21, 1), kFace);
}

TEST_F(GridFloorTest, TreeButtonFramesAMinusAndAPlus) {
  DrawTreeButton(c(), {0, 0, 13, 20}, 10, true);
  // 9 x 9 at (2, 6): 'f' frame, '-' / '|' marks, '.' left as it was.
  const char* want[9] = {"fffffffff", "f.......f", "f...|...f", "f...|...f", "f.|||||.f",
                         "f...|...f", "f...|...f", "f.......f", "fffffffff"};
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 9; ++x) {
      const Color p = bmp.Pixel(2 + x, 6 + y);
      const char got = p == kGrayText ? 'f' : p == kText ? '|' : p == kPaper ? '.' : '?';
      ASSERT_EQ(got, want[y][x]) << x << "," << y;
    }
}

TEST_F(GridFloorTest, IndicatorCellsShowTheirKindsImageCentredOnTheFace) {
  TGridDrawingUse unit;
  const ImageList* list = GridIndicatorImages();
  ASSERT_TRUE(list && list->Count() == 5);
  const int w = list->Width(), h = list->Height();
  Bitmap scratch(1, 1);
  Brush face;
  face.SetColor(clBtnFace);
  const Rect cell(0, 0, w + 6, h + 8);
  for (int kind = ikNone; kind <= ikMultiArrow; ++kind) {
    Bitmap target(cell.Width(), cell.Height());
    target.Fill(kPaper);
    DrawIndicatorCell(target.GetCanvas(), cell, cell, lfStandard, TGridIndicatorKind(kind), scratch,
                      face);
    Bitmap image, mask;
    if (kind != ikNone) {
      list->GetBitmap(kind - 1, image);
      list->GetMask(kind - 1, mask);
    }
    int marks = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const bool shown = kind != ikNone && mask.Pixel(x, y) == clBlack;
        ASSERT_EQ(target.Pixel(3 + x, 4 + y), shown ? image.Pixel(x, y) : kFace) << kind;
        marks += shown;
      }
    EXPECT_EQ(marks > 0, kind != ikNone) << kind;
  }
}

TEST_F(GridFloorTest, FocusFrameTwiceRestoresAndGlyphTakesTheBrushWhereTransparent) {
  for (int x = 0; x < 40; ++x) bmp.SetPixel(x, 5, MakeRGB(x * 5, 30, 60));
  const std::string before = bmp.SaveToBytes();
  DrawFocusFrame(c(), {2, 3, 30, 20});
  const std::string once = bmp.SaveToBytes();
  EXPECT_GT(std::inner_product(once.begin(), once.end(), before.begin(), 0, std::plus<>(),
                               std::not_equal_to<>()),
            20);
  DrawFocusFrame(c(), {2, 3, 30, 20});
  EXPECT_EQ(bmp.SaveToBytes(), before);

  // A glyph whose bottom-left colour (lime) is replaced by a red brush.
  Bitmap glyph(4, 3);
  glyph.Fill(clLime);
  glyph.SetPixel(1, 0, clBlue);
  glyph.SetPixel(3, 1, clBlue);
  Brush red;
  red.SetColor(clRed);
  DrawGlyph(c(), red, {10, 20, 20, 30}, glyph);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x)
      ASSERT_EQ(bmp.Pixel(10 + x, 20 + y), glyph.Pixel(x, y) == clBlue ? clBlue : clRed) << x << "," << y;
  EXPECT_EQ(bmp.Pixel(14, 20), kPaper);
}

}  // namespace
