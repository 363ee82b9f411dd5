// The tree list painted by the window system into device-independent
// sections under Wine, read back at chosen pixels (never text): header
// edges, dotted tree lines in both phases, expand buttons, grid lines, the
// inverted focus frame and the footer's edge, in the standard and flat
// looks, and what a grid with bands, the indicator and a sorted column
// shows.
#include "tests/gui_win32/win32_fixture.h"

#include <string>

#include "gui/form.h"
#include "treelist/grid_tree_list.h"

namespace {

using namespace gui;
using testwin::kFace;
using testwin::kShadow;
using testwin::kWindow;

constexpr Color kLight = MakeRGB(250, 240, 230);  // button highlight
constexpr Color kDark = MakeRGB(5, 6, 7);         // 3-D dark shadow
constexpr Color kLines = MakeRGB(100, 110, 120);  // grey text: tree lines and button frames
constexpr Color kInk = MakeRGB(20, 0, 40);        // window text: the buttons' bars
constexpr Color kFrame = MakeRGB(30, 31, 32);     // window frame

Color Inverted(Color c) { return MakeRGB(255 - RedOf(c), 255 - GreenOf(c), 255 - BlueOf(c)); }

class TreeListPaintTest : public testwin::Win32Test {
 protected:
  TreeListPaintTest() {
    Colors().Set(COLOR_BTNHIGHLIGHT, kLight);
    Colors().Set(COLOR_3DDKSHADOW, kDark);
    Colors().Set(COLOR_GRAYTEXT, kLines);
    Colors().Set(COLOR_WINDOWTEXT, kInk);
    Colors().Set(COLOR_WINDOWFRAME, kFrame);
    form.SetBounds(40, 40, 320, 240);
    grid = new TGridTreeList(&form);
    grid->SetBorderStyle(bsNone);
    grid->SetBounds(0, 0, 300, 200);
    grid->SetParent(&form);
    grid->CreateColumn()->SetCaption("Name");
    grid->Columns(0)->SetWidth(120);
    grid->CreateColumn()->SetWidth(100);
    grid->SetShowGrid(true);
    grid->SetShowFooter(true);
    grid->SetHideFocusRect(false);  // unfocused: an inverted frame
    // Rows of 19 pixels (18 and the separator) from y 18: a b c d e f.
    TGridTreeListNode* a = grid->Add();
    TGridTreeListNode* b = a->AddChild();
    b->AddChild();
    a->AddChild();
    b->SetExpanded(true);
    a->SetExpanded(true);
    grid->Add();
    grid->Add()->SetHasChildren(true);  // collapsed: a plus
    form.HandleNeeded();
  }
  void Paint() {
    shot.SetSize(grid->ClientWidth(), grid->ClientHeight());
    shot.Fill(MakeRGB(1, 2, 3));
    SendMessageA(reinterpret_cast<HWND>(grid->Handle()), WM_PAINT, WPARAM(shot.GetCanvas().Handle()), 0);
    ASSERT_TRUE(reported.empty()) << reported.front();
  }
  Form form;
  TGridTreeList* grid;
  Bitmap shot;
};

// Pixels of both looks; f is the collapsed last root's row centre.
TEST_F(TreeListPaintTest, StandardAndFlatLookPixels) {
  const int f = 18 + 5 * 19 + 9;
  const Color inverted = Inverted(kWindow);
  struct Point {
    int x, y;
    Color standard, flat;
    const char* what;
  } points[] = {
      {60, 0, kLight, kLight, "header: top edge"},
      {60, 17, kDark, kShadow, "header: bottom edge"},
      {118, 9, kShadow, kFace, "header: inner right edge / the face"},
      {119, 9, kDark, kShadow, "header: outer right edge / the separator"},
      {119, 1, kDark, kFace, "header: the separator keeps off the ends"},
      {100, 9, kFace, kFace, "header: the face"},
      {3, 27, kLines, kLines, "a's button: the frame"},
      {5, 27, kInk, kInk, "a's button: the minus"},
      {7, 25, kWindow, kWindow, "a's button: no plus (expanded)"},
      {7, f - 2, kInk, kInk, "f's button: the plus"},
      {4, f - 3, kWindow, kWindow, "f's button: inside"},
      {7, 32, kLines, kLines, "the dotted line under a's button"},
      {7, 33, kWindow, kWindow, "... and its gap"},
      {119, 25, kShadow, kShadow, "grid: a cell's right edge"},
      {60, 36, kShadow, kShadow, "grid: the row separator"},
      {16, 25, inverted, inverted, "the unfocused grid's focus frame: left"},
      {100, 18, inverted, inverted, "... top"},
      {100, 19, kWindow, kWindow, "... inside"},
  };
  for (TGridLookAndFeel look : {lfStandard, lfFlat}) {
    grid->SetLookAndFeel(look);
    Paint();
    for (const Point& p : points)
      EXPECT_EQ(shot.Pixel(p.x, p.y), look == lfStandard ? p.standard : p.flat) << p.what << " " << int(look);
    // The footer's edge: the window frame, or a sunken line at the top.
    EXPECT_EQ(shot.Pixel(150, grid->ClientHeight() - grid->FooterHeight()), look == lfStandard ? kFrame : kShadow);
  }
}

// The dots keep one phase against the rows area: its top-left pixel is a
// window pixel whether the area starts on an even or an odd line.
TEST_F(TreeListPaintTest, DottedLinesKeepTheirPhaseWithTheRowsArea) {
  for (int header : {18, 19}) {
    grid->SetHeaderPanelRowHeight(header);
    Paint();
    EXPECT_EQ(shot.Pixel(7, header + 14), kLines) << header;
    EXPECT_EQ(shot.Pixel(7, header + 15), kWindow) << header;
    EXPECT_EQ(shot.Pixel(7, header + 19 + 1), kLines) << header;  // b's row: a's line goes on
  }
}

// A grid with a band over its two headers, the indicator and a sorted
// column: the band runs over the boundary between the headers, the
// indicator's arrow points at the focused row alone, and the sorted
// column's header shows the upward mark at its right end.
TEST_F(TreeListPaintTest, BandIndicatorArrowAndSortMark) {
  grid->SetShowIndicator(true);
  grid->SetShowBands(true);
  grid->Bands(0)->SetCaption("Files");
  grid->Columns(1)->SetCaption("Size");
  grid->Columns(1)->SetSorted(csUp);
  Paint();
  TTreeListDrawInfo info;
  grid->CalcDrawInfo(info);
  ASSERT_EQ(info.Bands.size(), 1u);
  const Rect band = info.Bands[0].HeaderRect;
  const TTreeListRowEntry* focused = info.FindRow(grid->FocusedNode());
  const TTreeListColumnEntry* size = info.FindColumn(1);
  ASSERT_TRUE(focused && size);
  const int boundary = size->HeaderRect.Left - 1;  // the headers' separator
  EXPECT_EQ(shot.Pixel(boundary, band.Top + 3), kFace) << "the band runs on over it";
  EXPECT_EQ(shot.Pixel(boundary, size->HeaderRect.Top + 9), kDark) << "the headers' separator";
  const int arrowY = focused->Top + 9;
  EXPECT_EQ(shot.Pixel(6, arrowY), MakeRGB(0, 0, 0)) << "the arrow";
  EXPECT_EQ(shot.Pixel(6, arrowY + focused->Height), kFace) << "no arrow on the next row";
  const Rect& h = size->HeaderRect;
  EXPECT_EQ(shot.Pixel(h.Right - 10, h.Top + 5), kLight) << "the mark's tip";
  EXPECT_EQ(shot.Pixel(h.Right - 13, h.Top + 10), kShadow) << "its left side";
  EXPECT_EQ(shot.Pixel(h.Right - 10, h.Top + 11), kLight) << "its base";
  EXPECT_EQ(shot.Pixel(h.Right - 10, h.Top + 3), kFace) << "the face above it";
  EXPECT_EQ(band.Right, h.Right);
}

}  // namespace
