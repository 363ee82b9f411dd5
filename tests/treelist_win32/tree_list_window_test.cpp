// The tree-list grid as a real window under Wine: it paints its rows
// through the window system's canvas and answers what a click hits.
#include "tests/gui_win32/win32_fixture.h"

#include "gui/form.h"
#include "treelist/grid_tree_list.h"

namespace {

using namespace gui;
using testwin::kFace;
using testwin::kWindow;

class TreeListWindowTest : public testwin::Win32Test {
 protected:
  TreeListWindowTest() {
    form.SetBounds(40, 40, 420, 320);
    grid = new TGridTreeList(&form);
    grid->SetBorderStyle(bsNone);
    grid->SetBounds(0, 0, 400, 280);
    grid->SetParent(&form);
    for (int w : {120, 100, 80}) grid->CreateColumn()->SetWidth(w);
    grid->Columns(0)->SetCaption("Name");
    grid->Columns(1)->SetCaption("Size");
    grid->BeginUpdate();
    for (int i = 0; i < 1000; ++i) {
      TGridTreeListNode* n = grid->Add();
      n->SetStrings(0, "file " + std::to_string(i));
      n->SetStrings(1, std::to_string(i * 1000));
      if (i % 10 == 0) n->AddChild()->SetStrings(0, "inside " + std::to_string(i));
    }
    grid->EndUpdate();
    form.HandleNeeded();
  }
  // Paints the grid into a bitmap of its client size.
  void PaintInto(Bitmap& target) {
    const Rect client = grid->ClientRect();
    target.SetSize(client.Width(), client.Height());
    target.Fill(MakeRGB(1, 2, 3));
    SendMessageA(reinterpret_cast<HWND>(grid->Handle()), WM_PAINT, WPARAM(target.GetCanvas().Handle()), 0);
  }
  Form form;
  TGridTreeList* grid;
};

TEST_F(TreeListWindowTest, ThreeColumnsOfAThousandNodesPaintWithoutError) {
  ASSERT_EQ(grid->RowCount(), 1000);
  Bitmap shot;
  PaintInto(shot);
  EXPECT_TRUE(reported.empty()) << reported.front();
  const int header = grid->HeaderPanelHeight();
  EXPECT_EQ(shot.Pixel(260, header / 2), kFace) << "the third column's header face";
  EXPECT_EQ(shot.Pixel(280, header + 3 * 18 + 9), kWindow) << "an empty cell of the fourth row";
  EXPECT_EQ(shot.Pixel(grid->ClientWidth() - 3, header + 9), kWindow) << "right of the last column";
  // Scrolled half way, painted again.
  grid->SetTopIndex(500);
  PaintInto(shot);
  EXPECT_TRUE(reported.empty());
  EXPECT_EQ(grid->TopIndex(), 500);
}

TEST_F(TreeListWindowTest, AClickAnswersItsHitTest) {
  form.Show();
  TTreeListHitInfo hit;
  grid->OnMouseDown = [&](Control*, MouseButton, ShiftState, int x, int y) { hit = grid->HitTest(x, y); };
  const int y = grid->HeaderPanelHeight() + 2 * 18 + 5;  // the third row
  HWND h = reinterpret_cast<HWND>(grid->Handle());
  PostMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(150, y));
  PostMessageA(h, WM_LBUTTONUP, 0, MAKELPARAM(150, y));
  Pump();
  EXPECT_EQ(hit.Area, htLabel);
  ASSERT_NE(hit.Node, nullptr);
  EXPECT_EQ(hit.Node->Strings(0), "file 2");
  EXPECT_EQ(hit.Column, 1);
  EXPECT_EQ(grid->HitTest(8, grid->HeaderPanelHeight() + 9).Area, htButton);  // "file 0" has a child
  EXPECT_TRUE(reported.empty());
}

}  // namespace
