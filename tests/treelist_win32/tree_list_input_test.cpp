// The grid's input on a real window under Wine: mouse messages that click,
// double-click, size a column and move one, keys through the window
// procedure and the form's dialog keys, and a value typed into the real
// editor, scrolled out of view and back, stored by Enter.
#include "tests/gui_win32/win32_fixture.h"

#include <algorithm>

#include "gui/environment.h"
#include "gui/form.h"
#include "gui/win32/std_controls.h"
#include "treelist/grid_tree_list.h"

namespace {

using namespace gui;

HWND Hwnd(Control& c) { return reinterpret_cast<HWND>(c.Handle()); }

class TreeListInputTest : public testwin::Win32Test {
 protected:
  TreeListInputTest() {
    form.SetBounds(40, 40, 420, 320);
    grid->SetBorderStyle(bsNone);
    grid->SetBounds(0, 0, 400, 200);
    grid->SetParent(&form);
    other->SetBounds(0, 210, 75, 25);
    other->SetParent(&form);
    for (const char* caption : {"Name", "Size"}) grid->CreateColumn()->SetCaption(caption);
    for (int i = 0; i < 20; ++i) {
      TGridTreeListNode* n = grid->Add();
      n->SetStrings(0, "file " + std::to_string(i));
      n->SetStrings(1, std::to_string(i));
      if (i == 0) n->AddChild()->SetStrings(0, "inside");
    }
    grid->OnClick = [this](Control*) { ++clicks; };
    grid->OnDblClick = [this](Control*) { ++dblClicks; };
    form.Show();
    grid->SetFocus();
    Pump();
  }
  void Mouse(UINT msg, int x, int y, WPARAM keys = 0) {
    PostMessageA(Hwnd(*grid), msg, keys, MAKELPARAM(x, y));
    Pump();
  }
  void Key(Control& c, WPARAM vk) {
    PostMessageA(Hwnd(c), WM_KEYDOWN, vk, 1);
    PostMessageA(Hwnd(c), WM_KEYUP, vk, LPARAM(0xC0000001u));
    Pump();
  }
  static int RowY(int r) { return 18 + 18 * r + 9; }

  Form form;
  TGridTreeList* grid = new TGridTreeList(&form);
  Button* other = new Button(&form);
  int clicks = 0, dblClicks = 0;
};

TEST_F(TreeListInputTest, ClicksDoubleClicksAndHeaderDrags) {
  Mouse(WM_LBUTTONDOWN, 150, RowY(2), MK_LBUTTON);
  Mouse(WM_LBUTTONUP, 150, RowY(2));
  ASSERT_NE(grid->FocusedNode(), nullptr);
  EXPECT_EQ(grid->FocusedNode()->Strings(0), "file 2");
  EXPECT_EQ(clicks, 1);
  // The system's message order of a double-click on a folder's text: one
  // toggle, then one OnDblClick, which sees the folder toggled.
  bool expandedSeen = false;
  grid->OnDblClick = [&](Control*) {
    ++dblClicks;
    expandedSeen = grid->Items(0)->Expanded();
  };
  Mouse(WM_LBUTTONDOWN, 60, RowY(0), MK_LBUTTON);
  Mouse(WM_LBUTTONUP, 60, RowY(0));
  Mouse(WM_LBUTTONDBLCLK, 60, RowY(0), MK_LBUTTON);
  Mouse(WM_LBUTTONUP, 60, RowY(0));
  EXPECT_TRUE(grid->Items(0)->Expanded());
  EXPECT_EQ(dblClicks, 1);
  EXPECT_TRUE(expandedSeen);
  EXPECT_EQ(clicks, 2);
  // The edge of Name (100 wide) dragged to 150; the line is drawn and
  // erased by inversion on the way. A middle click on the way sizes
  // nothing: the grid keeps the mouse for the left button.
  Mouse(WM_LBUTTONDOWN, 100, 9, MK_LBUTTON);
  EXPECT_EQ(grid->State(), tsColumnSizing);
  Mouse(WM_MOUSEMOVE, 130, 9, MK_LBUTTON);
  Mouse(WM_MBUTTONDOWN, 130, 9, MK_LBUTTON | MK_MBUTTON);
  Mouse(WM_MBUTTONUP, 130, 9, MK_LBUTTON);
  EXPECT_EQ(grid->State(), tsColumnSizing);
  EXPECT_EQ(GetCapture(), Hwnd(*grid));
  Mouse(WM_MOUSEMOVE, 150, 9, MK_LBUTTON);
  Mouse(WM_LBUTTONUP, 150, 9);
  EXPECT_EQ(grid->Columns(0)->Width(), 151);
  EXPECT_EQ(grid->State(), tsNone);
  // Name's header dragged past the middle of Size: Size comes first.
  Mouse(WM_LBUTTONDOWN, 40, 9, MK_LBUTTON);
  Mouse(WM_MOUSEMOVE, 120, 9, MK_LBUTTON);
  EXPECT_EQ(grid->State(), tsColumnDragging);
  Mouse(WM_MOUSEMOVE, 240, 9, MK_LBUTTON);
  Mouse(WM_LBUTTONUP, 240, 9);
  EXPECT_EQ(grid->VisibleIndexToAbsolute(0), 1);
  EXPECT_EQ(clicks, 2);  // header presses are no clicks
  EXPECT_TRUE(reported.empty()) << reported.front();
}

TEST_F(TreeListInputTest, KeysThroughTheWindowAndTheFormsDialogKeys) {
  const auto code = [&] { return unsigned(SendMessageA(Hwnd(*grid), WM_GETDLGCODE, VK_TAB, 0)); };
  EXPECT_EQ(code() & (DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_WANTTAB), unsigned(DLGC_WANTARROWS | DLGC_WANTCHARS));
  Key(*grid, VK_DOWN);
  EXPECT_EQ(grid->FocusedNode()->Strings(0), "file 1");
  // Without aoTabs, Tab moves to the next control; with it, the grid takes
  // it (the next row, in row-select mode).
  Key(*grid, VK_TAB);
  EXPECT_EQ(GetFocus(), Hwnd(*other));
  grid->SetOptions(grid->Options().With(aoTabs));
  EXPECT_TRUE(code() & DLGC_WANTTAB);
  grid->SetFocus();
  Key(*grid, VK_TAB);
  EXPECT_EQ(GetFocus(), Hwnd(*grid));
  EXPECT_EQ(grid->FocusedNode()->Strings(0), "file 2");
  EXPECT_TRUE(reported.empty()) << reported.front();
}

TEST_F(TreeListInputTest, TypedIntoTheEditorAndStoredByEnter) {
  grid->SetOptions(grid->Options().Without(aoRowSelect));
  grid->SetOptionsEx(grid->OptionsEx().With(aoEnterShowEditor));
  Key(*grid, VK_DOWN);  // file 1
  PostMessageA(Hwnd(*grid), WM_CHAR, 'n', 1);  // opens the editor with the character
  Pump();
  TGridInplaceEdit* editor = grid->InplaceEditor();
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(GetFocus(), Hwnd(*editor));
  PostMessageA(Hwnd(*editor), WM_CHAR, 'e', 1);
  Pump();
  // The scroll bar moves the rows: the editor goes along with its cell,
  // out of sight while the cell is (the grid has the keys), and back.
  RECT opened;
  GetWindowRect(Hwnd(*editor), &opened);
  auto scroll = [&](int code) {
    PostMessageA(Hwnd(*grid), WM_VSCROLL, MAKEWPARAM(code, 0), 0);
    Pump();
  };
  scroll(SB_LINEDOWN);
  RECT moved;
  GetWindowRect(Hwnd(*editor), &moved);
  EXPECT_EQ(moved.top, opened.top - 18);
  EXPECT_EQ(GetFocus(), Hwnd(*editor));
  scroll(SB_LINEDOWN);
  EXPECT_TRUE(grid->Editing());
  EXPECT_FALSE(IsWindowVisible(Hwnd(*editor)));
  EXPECT_EQ(GetFocus(), Hwnd(*grid));
  scroll(SB_TOP);
  EXPECT_TRUE(IsWindowVisible(Hwnd(*editor)));
  EXPECT_EQ(GetFocus(), Hwnd(*editor));
  PostMessageA(Hwnd(*editor), WM_CHAR, 'w', 1);
  Pump();
  int edited = 0;
  grid->OnEdited = [&](TCustomGridTreeList*, TGridTreeListNode*) { ++edited; };
  Key(*editor, VK_RETURN);
  EXPECT_FALSE(grid->Editing());
  EXPECT_EQ(grid->Items(1)->Strings(0), "new");
  EXPECT_EQ(edited, 1);
  EXPECT_EQ(GetFocus(), Hwnd(*grid));
  // Escape leaves the value as it was, also after the cell went out of
  // view and came back.
  Key(*grid, VK_F2);
  PostMessageA(Hwnd(*editor), WM_CHAR, 'x', 1);
  Pump();
  scroll(SB_PAGEDOWN);
  scroll(SB_TOP);
  EXPECT_EQ(GetFocus(), Hwnd(*editor));
  Key(*editor, VK_ESCAPE);
  EXPECT_FALSE(grid->Editing());
  EXPECT_EQ(grid->Items(1)->Strings(0), "new");
  EXPECT_EQ(edited, 1);
  EXPECT_TRUE(reported.empty()) << reported.front();
}

// Enter typed into the real editor walks the cells, each value stored in
// its own cell (the editor of the next column opens while the one typed
// into still handles its key); the mouse taken by another window in the
// middle of a column sizing (a message box, say) ends the sizing: the next
// click in the rows only focuses the row. Taken in the middle of a press
// on a row of a multi-selection, the release changes no selection.
TEST_F(TreeListInputTest, EnterWalksTheCellsAndALostCaptureEndsTheSizing) {
  grid->SetOptions(grid->Options().Without(aoRowSelect));
  grid->SetOptionsEx(grid->OptionsEx().With(aoEnterShowEditor).With(aoEnterThrough));
  Key(*grid, VK_F2);
  for (char typed : {'a', '7'}) {
    TGridInplaceEdit* editor = grid->InplaceEditor();
    ASSERT_NE(editor, nullptr);
    ASSERT_EQ(GetFocus(), Hwnd(*editor));
    PostMessageA(Hwnd(*editor), WM_CHAR, WPARAM(typed), 1);
    Pump();
    Key(*editor, VK_RETURN);
  }
  EXPECT_EQ(grid->Items(0)->Strings(0), "a");
  EXPECT_EQ(grid->Items(0)->Strings(1), "7");
  ASSERT_TRUE(grid->Editing());
  EXPECT_EQ(grid->FocusedNode(), grid->Items(0)->GetNextVisible());
  Key(*grid->InplaceEditor(), VK_ESCAPE);
  EXPECT_FALSE(grid->Editing());

  Mouse(WM_LBUTTONDOWN, 100, 9, MK_LBUTTON);
  Mouse(WM_MOUSEMOVE, 150, 9, MK_LBUTTON);
  ASSERT_EQ(grid->State(), tsColumnSizing);
  SetCapture(Hwnd(*other));
  Pump();
  EXPECT_EQ(grid->State(), tsNone);
  ReleaseCapture();
  Mouse(WM_LBUTTONDOWN, 150, RowY(3), MK_LBUTTON);
  Mouse(WM_LBUTTONUP, 150, RowY(3));
  EXPECT_EQ(grid->Columns(0)->Width(), 100);
  EXPECT_EQ(grid->FocusedNode()->Strings(0), "file 3");
  EXPECT_EQ(GetCapture(), nullptr);

  // The same in the middle of a press on a row of a multi-selection: the
  // release over the grid leaves the selection whole.
  grid->SetOptions(grid->Options().With(aoMultiSelect));
  Mouse(WM_LBUTTONDOWN, 150, RowY(3), MK_LBUTTON);
  Mouse(WM_LBUTTONUP, 150, RowY(3));
  Mouse(WM_LBUTTONDOWN, 150, RowY(4), MK_LBUTTON | MK_CONTROL);
  Mouse(WM_LBUTTONUP, 150, RowY(4), MK_CONTROL);
  ASSERT_EQ(grid->SelectedCount(), 2);
  Mouse(WM_LBUTTONDOWN, 150, RowY(3), MK_LBUTTON);
  ASSERT_EQ(grid->State(), tsNodeDown);
  SetCapture(Hwnd(*other));
  Pump();
  ReleaseCapture();
  Mouse(WM_LBUTTONUP, 150, RowY(3));
  EXPECT_EQ(grid->SelectedCount(), 2);
  EXPECT_EQ(grid->FocusedNode()->Strings(0), "file 3");
  EXPECT_TRUE(reported.empty()) << reported.front();
}

// A pulled node: the grid keeps the mouse, the drag starts only past the
// grid's 5 pixels and then the system's threshold, goes on through rows
// added meanwhile, and the release drops on the window under it.
TEST_F(TreeListInputTest, ANodeDragKeepsTheMouseAndDropsOnTheWindowUnderTheRelease) {
  grid->SetDragMode(dmAutomatic);
  std::string dropped;
  other->OnDragOver = [](Control*, Control*, int, int, DragState, bool& accept) { accept = true; };
  other->OnDragDrop = [&](Control*, Control* source, int x, int y) {
    dropped = (source == grid ? "grid " : "other ") + std::to_string(x) + "," + std::to_string(y);
  };
  Mouse(WM_LBUTTONDOWN, 150, RowY(3), MK_LBUTTON);
  EXPECT_EQ(GetCapture(), Hwnd(*grid));
  Mouse(WM_MOUSEMOVE, 156, RowY(3), MK_LBUTTON);  // the grid's threshold: the drag begins
  const int threshold = std::max(GetSystemMetrics(SM_CXDRAG), GetSystemMetrics(SM_CYDRAG));
  Mouse(WM_MOUSEMOVE, 156 + threshold, RowY(3), MK_LBUTTON);
  EXPECT_EQ(grid->State(), tsNodeDown);
  EXPECT_FALSE(grid->Dragging());
  Mouse(WM_MOUSEMOVE, 157 + threshold, RowY(3), MK_LBUTTON);
  EXPECT_EQ(grid->State(), tsNodeDragging);
  EXPECT_TRUE(grid->Dragging());
  EXPECT_EQ(GetCapture(), Hwnd(*grid));
  // A row arriving meanwhile (an update bracket) idles the grid; the drag
  // goes on, and its release is no click of the grid's.
  grid->BeginUpdate();
  grid->Add()->SetStrings(0, "arrived");
  grid->EndUpdate();
  EXPECT_EQ(grid->State(), tsNone);
  EXPECT_TRUE(grid->Dragging());
  // The button lies below the grid: (0,210) of the form, 75 by 25.
  Mouse(WM_MOUSEMOVE, 30, 222, MK_LBUTTON);
  Mouse(WM_LBUTTONUP, 30, 222);
  EXPECT_EQ(dropped, "grid 30,12");
  EXPECT_EQ(grid->State(), tsNone);
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_EQ(grid->FocusedNode()->Strings(0), "file 3");
  EXPECT_EQ(clicks, 0);
  EXPECT_TRUE(reported.empty()) << reported.front();
}

// The mouse resting on a cut-off cell: its text shows in the hint window,
// placed with its text over the cell's, without taking the activation or
// the mouse, until the mouse moves to a cell whose text fits.
TEST_F(TreeListInputTest, ACutOffCellShowsItsTextInTheHintWindowOverTheCell) {
  grid->Items(4)->SetStrings(0, "a name far too long for its column of a hundred pixels");
  auto rest = [&](int x, int y) {
    const Point p = grid->ClientToScreen({x, y});
    SetCursorPos(p.X, p.Y);
    WaitFor([&] { return grid->ScreenToClient(gui::Env().CursorPos()) == Point(x, y); });
    Mouse(WM_MOUSEMOVE, x, y);
  };
  rest(60, RowY(4));
  TGridContainerHintWindow* hint = grid->HintWindow();
  ASSERT_NE(hint, nullptr);
  HWND h = Hwnd(*hint);
  ASSERT_TRUE(IsWindowVisible(h));
  RECT r;
  GetWindowRect(h, &r);
  const Rect cell = grid->CellRect(grid->Items(4), 0);
  const Point corner = grid->ClientToScreen(cell.TopLeft());
  EXPECT_EQ(Point(r.left, r.top), corner);
  EXPECT_GT(r.right - r.left, cell.Width());
  EXPECT_EQ(GetActiveWindow(), Hwnd(form));
  // The mouse passes through it to the grid.
  EXPECT_EQ(WindowFromPoint(POINT{corner.X + 5, corner.Y + 5}), Hwnd(*grid));
  Pump();
  EXPECT_TRUE(IsWindowVisible(h));  // the hint under the mouse does not take it from the grid
  rest(60, RowY(5));
  EXPECT_FALSE(IsWindowVisible(h));
}

}  // namespace
