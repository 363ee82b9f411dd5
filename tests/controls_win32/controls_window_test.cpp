// The four custom controls together in one window under Wine: pixels of
// the bars' off-screen pictures and of the graph painted into a picture
// (device-independent sections read back), images of the named list
// loaded from real .bmp and .ico files, presses sent as window messages.
// tools/demo/controls_demo.cpp shows the same window for a picture.
#include "tests/gui_win32/win32_fixture.h"

#include <string>
#include <vector>

#include "tests/support/test_util.h"
#include "tools/controls_showcase.h"

namespace {

using namespace gui;
using namespace std::string_literals;
using testwin::kFace;
using testwin::kShadow;

constexpr Color kHighlight = MakeRGB(200, 210, 220);
constexpr Color kRed = kShowcaseRed;
constexpr Color kBlue = kShowcaseBlue;

class ControlsWindow : public testwin::Win32Test {
 protected:
  // The test's own highlight colour, set before anything is drawn.
  bool colored_ = (Colors().Set(COLOR_BTNHIGHLIGHT, kHighlight), true);
  TControlsShowcase showcase{testutil::TempFolder("controls_window")};
  Form& form = showcase.form;
  TManagedImageList* images = showcase.images;
  TCoolBarControl* bar = showcase.bar;
  TWaymarkControl* side = showcase.side;
  TGraph* graph = showcase.graph;
  int bmpIndex = showcase.bmpIndex, icoIndex = showcase.icoIndex;

  static HWND Hwnd(Control& c) { return reinterpret_cast<HWND>(c.Handle()); }
  static Color At(TOffscreenControl& c, int x, int y) { return c.Offscreen().Pixel(x, y); }

};

TEST_F(ControlsWindow, NamedImagesFromBmpAndIcoFiles) {
  ASSERT_EQ(bmpIndex, 0);
  ASSERT_EQ(icoIndex, 1);
  EXPECT_EQ(images->ImageAt(0)->Pixel(8, 8), kRed);
  EXPECT_EQ(images->MaskAt(0)->Pixel(1, 1), clWhite);
  EXPECT_EQ(images->ImageAt(1)->Pixel(8, 8), kBlue);
  EXPECT_EQ(images->MaskAt(1)->Pixel(8, 8), clBlack);
  EXPECT_EQ(images->MaskAt(1)->Pixel(1, 14), clWhite);
  // A number that is no icon handle draws nothing, harmlessly.
  EXPECT_EQ(images->AddImage("RESOURCE://4660"), 2);
  EXPECT_EQ(images->ImageAt(2)->Pixel(8, 8), clBlack);
}

// The side bar (margin 3): the down button sunken, the other raised,
// their images drawn transparent, the disabled scroll button's arrow
// embossed, the raised border at OutsideSpacing 1.
TEST_F(ControlsWindow, SideBarPixels) {
  struct Probe {
    int x, y;
    Color want;
    const char* what;
  } probes[] = {
      {3, 30, kShadow, "down: left edge"},      {60, 19, kShadow, "down: top edge"},
      {136, 30, kHighlight, "down: right edge"}, {60, 39, kHighlight, "down: bottom edge"},
      {100, 30, kHighlight, "down: face"},       {26 + 8, 22 + 8, kRed, "down: image, moved 1"},
      {26 + 1, 22 + 1, kHighlight, "down: image's transparent part"},
      {3, 50, kHighlight, "up: left edge"},      {136, 50, kShadow, "up: right edge"},
      {100, 50, kFace, "up: face"},              {25 + 8, 42 + 8, kBlue, "up: icon image"},
      {25 + 1, 42 + 1, kFace, "up: icon's transparent part"},
      {1, 100, kHighlight, "border: left"},      {70, 1, kHighlight, "border: top"},
      {138, 100, kShadow, "border: right"},      {70, 198, kShadow, "border: bottom"},
      {0, 100, kFace, "outside the border"},
  };
  for (const Probe& p : probes) EXPECT_EQ(At(*side, p.x, p.y), p.want) << p.what;

  // Both scroll buttons are disabled (nothing to scroll): the arrow's ink
  // in the shadow colour with its highlight one pixel down and right.
  Bitmap arrow;
  ASSERT_TRUE(arrow.LoadFromResourceName("TOPSCROLL"));
  const Color paper = arrow.TransparentColor();
  auto ink = [&](int x, int y) { return x >= 0 && y >= 0 && arrow.Pixel(x, y) != paper; };
  const Point at{3 + 62, 3 + 5};  // round((134 - 9) / 2), round((16 - 6) / 2)
  int inked = 0;
  for (int y = 0; y < arrow.Height(); ++y)
    for (int x = 0; x < arrow.Width(); ++x) {
      const Color want = ink(x, y) ? kShadow : ink(x - 1, y - 1) ? kHighlight : kFace;
      inked += ink(x, y);
      EXPECT_EQ(At(*side, at.X + x, at.Y + y), want) << x << "," << y;
    }
  EXPECT_GT(inked, 0);

  // A press sent to the window selects the other button.
  std::vector<int> clicks;
  side->OnClick = [&](TWaymarkControl*, TWaymarkButton*, int i) { clicks.push_back(i); };
  SendMessageA(Hwnd(*side), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 50));
  SendMessageA(Hwnd(*side), WM_LBUTTONUP, 0, MAKELPARAM(100, 50));
  EXPECT_EQ(clicks, (std::vector<int>{1}));
  EXPECT_EQ(At(*side, 3, 50), kShadow);
  EXPECT_EQ(At(*side, 3, 30), kHighlight);
}

// The button bar (single border): a pressed button sunken, a disabled one
// embossed (only face, highlight and shadow, its image's ink in shadow).
TEST_F(ControlsWindow, ButtonBarPixels) {
  TBarButton* alpha = bar->GetButton(0);
  ASSERT_EQ(Rect::FromSize(alpha->Left(), alpha->Top(), alpha->Width(), alpha->Height()), Rect(1, 2, 68, 37));
  EXPECT_EQ(At(*bar, 30, 2), kFace) << "cold: flat";
  std::vector<int> changes;
  bar->OnChange = [&](TCoolBarControl*, TBarButton*, int i) { changes.push_back(i); };
  SendMessageA(Hwnd(*bar), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 20));
  EXPECT_EQ(changes, (std::vector<int>{0}));
  EXPECT_EQ(At(*bar, 30, 2), kShadow);
  EXPECT_EQ(At(*bar, 1, 20), kShadow);
  EXPECT_EQ(At(*bar, 30, 36), kHighlight);
  EXPECT_EQ(At(*bar, 67, 20), kHighlight);
  SendMessageA(Hwnd(*bar), WM_LBUTTONUP, 0, MAKELPARAM(30, 20));

  TBarButton* beta = bar->GetButton(1);
  const Rect r = Rect::FromSize(beta->Left(), beta->Top(), beta->Width(), beta->Height());
  ASSERT_EQ(r, Rect(68, 2, 123, 37));
  int odd = 0;
  for (int y = r.Top; y < r.Bottom; ++y)
    for (int x = r.Left; x < r.Right; ++x) {
      const Color c = At(*bar, x, y);
      odd += c != kFace && c != kHighlight && c != kShadow;
    }
  EXPECT_EQ(odd, 0) << "an embossed button shows only face, highlight and shadow";
  const Point image{r.Left + 2, r.Top + 10};  // round((35 - 16) / 2) = 10
  EXPECT_EQ(At(*bar, image.X + 6, image.Y + 6), kShadow);
  EXPECT_EQ(At(*bar, image.X + 12, image.Y + 12), kHighlight);
  EXPECT_EQ(At(*bar, image.X + 1, image.Y + 1), kFace);
  EXPECT_EQ(At(*bar, 0, 20), kHighlight) << "border: left";
  EXPECT_EQ(At(*bar, 200, 0), kHighlight) << "border: top";
  EXPECT_EQ(At(*bar, 419, 20), kShadow) << "border: right";
  EXPECT_EQ(At(*bar, 200, 39), kShadow) << "border: bottom";
}

// The graph painted into a picture: the label strip, the grid's 1-pixel
// lines (the margin of the previous paint: 46), the background.
TEST_F(ControlsWindow, GraphPixels) {
  Bitmap picture(280, 200);
  for (int i = 0; i < 2; ++i)
    SendMessageA(Hwnd(*graph), WM_PAINT, WPARAM(picture.GetCanvas().Handle()), 0);
  ASSERT_EQ(graph->LabelMargin(), 46);
  EXPECT_EQ(picture.Pixel(40, 145), kFace) << "label strip";
  EXPECT_EQ(picture.Pixel(45, 145), clBlack) << "the strip leaves out its last column";
  EXPECT_EQ(picture.Pixel(106, 50), clBlue) << "vertical grid line (46 + 5 x 12)";
  EXPECT_EQ(picture.Pixel(100, 53), clBlue) << "horizontal grid line";
  EXPECT_EQ(picture.Pixel(100, 50), clBlack) << "background";
}

}  // namespace
