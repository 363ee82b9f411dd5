// The tree list painted by the window system into device-independent
// sections under Wine, read back at chosen pixels (never text): header
// edges, dotted tree lines in both phases, expand buttons, grid lines, the
// inverted focus frame and the footer's edge, in the standard and flat
// looks. With TARN_SHOT_DIR set, a picture of a grid is written there as
// tree_list.bmp.
#include "tests/gui_win32/win32_fixture.h"

#include <cstdlib>
#include <string>

#include "gui/form.h"
#include "tests/support/test_util.h"
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

TEST_F(TreeListPaintTest, StandardLookPixels) {
  Paint();
  // The first header cell: raised edges, the face.
  EXPECT_EQ(shot.Pixel(60, 0), kLight);
  EXPECT_EQ(shot.Pixel(118, 9), kShadow);
  EXPECT_EQ(shot.Pixel(119, 9), kDark);
  EXPECT_EQ(shot.Pixel(100, 9), kFace);
  // a's button (expanded): a grey frame, the minus, no plus.
  EXPECT_EQ(shot.Pixel(3, 27), kLines);
  EXPECT_EQ(shot.Pixel(5, 27), kInk);
  EXPECT_EQ(shot.Pixel(7, 25), kWindow);
  // f's button (collapsed): the plus too.
  const int f = 18 + 5 * 19 + 9;
  EXPECT_EQ(shot.Pixel(7, f - 2), kInk);
  EXPECT_EQ(shot.Pixel(4, f - 3), kWindow);
  // The dotted line under a's button: line and window pixels alternate.
  EXPECT_EQ(shot.Pixel(7, 32), kLines);
  EXPECT_EQ(shot.Pixel(7, 33), kWindow);
  // Grid lines: a cell's right edge and the row separator.
  EXPECT_EQ(shot.Pixel(119, 25), kShadow);
  EXPECT_EQ(shot.Pixel(60, 36), kShadow);
  // The focused row's inverted frame (the grid has no focus).
  EXPECT_EQ(shot.Pixel(16, 25), Inverted(kWindow));
  EXPECT_EQ(shot.Pixel(100, 18), Inverted(kWindow));
  EXPECT_EQ(shot.Pixel(100, 19), kWindow);
  // The footer's window-frame border.
  EXPECT_EQ(shot.Pixel(150, 176), kFrame);
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

TEST_F(TreeListPaintTest, FlatLookPixels) {
  grid->SetLookAndFeel(lfFlat);
  Paint();
  EXPECT_EQ(shot.Pixel(60, 0), kLight);    // the top line
  EXPECT_EQ(shot.Pixel(60, 17), kShadow);  // the bottom line
  EXPECT_EQ(shot.Pixel(119, 1), kFace);    // the separator keeps off the ends
  EXPECT_EQ(shot.Pixel(119, 9), kShadow);
  EXPECT_EQ(shot.Pixel(5, 27), kInk);
  EXPECT_EQ(shot.Pixel(119, 25), kShadow);
  EXPECT_EQ(shot.Pixel(16, 25), Inverted(kWindow));
  EXPECT_EQ(shot.Pixel(150, grid->ClientHeight() - grid->FooterHeight()), kShadow);  // a sunken line
}

// A grid to look at, in the classic colours.
TEST_F(TreeListPaintTest, Picture) {
  const char* dir = std::getenv("TARN_SHOT_DIR");
  if (!dir) GTEST_SKIP() << "TARN_SHOT_DIR not set";
  FixedSystemColorTable classic;
  ScopedService<SystemColorTable> colors(classic);
  grid->SetShowIndicator(true);
  grid->SetShowBands(true);
  grid->Bands(0)->SetCaption("Files");
  grid->Columns(1)->SetCaption("Size");
  grid->Columns(1)->SetSorted(csUp);
  const char* names[] = {"music", "rock", "song.mp3", "notes.txt", "video", "more"};
  int i = 0;
  for (TGridTreeListNode* n = grid->GetFirstNode(); n; n = n->GetNext(), ++i) {
    n->SetStrings(0, names[i % 6]);
    n->SetStrings(1, std::to_string(1000 * (i + 1)));
  }
  form.Show();
  grid->SetFocus();
  Pump();
  Paint();
  testutil::WriteFileBytes(std::string(dir) + "/tree_list.bmp", shot.SaveToBytes());
}

}  // namespace
