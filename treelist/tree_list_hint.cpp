// The grid's hints: a cell's text that its cell cuts off shows whole in the
// hint window over the cell while the mouse is on it; the grid's own Hint
// (with ShowHint) shows below the mouse once it rests on the grid. Either
// goes when the mouse leaves the cell or the grid, on a press, a key or
// scrolling.
#include <algorithm>

#include "gui/environment.h"
#include "treelist/custom_tree_list.h"

using namespace gui;

bool TCustomGridTreeList::CellTextCut(const TGridTreeListNode* node, int column, std::string& text,
                                      Point& at) const {
  if (!node || !HandleAllocated()) return false;
  const int absolute = VisibleIndexToAbsolute(column);
  if (absolute < 0) return false;
  const Rect cell = CellRect(node, column);
  if (cell.IsEmpty()) return false;
  text = GetNodeString(node, absolute);
  if (text.empty()) return false;
  TTreeListDrawInfo info;
  CalcAreaRects(info);
  // The text runs inside the cell's insets, and only the part within the
  // rows area shows.
  const int left = cell.Left + kCellTextInset, right = std::min(cell.Right - kCellTextInset, info.Rows.Right);
  const int width = Measurer().TextExtent(ColumnFont(absolute), text).Width;
  if (left >= info.Rows.Left && width <= right - left) return false;
  at = ClientToScreen({std::max(left, info.Rows.Left), cell.Top});
  return true;
}

void TCustomGridTreeList::UpdateHint(const TTreeListHitInfo& hit) {
  if (state_ != tsNone || pan_.Active) {
    HideCellHint();
    return;
  }
  const TGridTreeListNode* node = hit.Area == htLabel && hit.Column >= 0 ? hit.Node : nullptr;
  const int column = node ? AbsoluteToVisibleIndex(hit.Column) : -1;
  if (node && node == hintNode_ && column == hintColumn_) return;  // still on the cell shown
  std::string text;
  Point at;
  if (node && CellTextCut(node, column, text, at)) {
    HideCellHint();
    hintNode_ = node;
    hintColumn_ = column;
    // The hint's text lies over the cell's.
    ShowHintText(at - Point(TGridContainerHintWindow::kTextInset, 0), text, ColumnFont(hit.Column));
    return;
  }
  if (hintNode_) HideCellHint();
  if (ShowHint() && !Hint().empty() && !(hintWindow_ && hintWindow_->HintShowing()))
    SetTimer(kHintTimerId, kHintPause);  // restarted by every move: shown once the mouse rests
}

void TCustomGridTreeList::ShowGridHint() {
  KillTimer(kHintTimerId);
  if (state_ != tsNone || !MouseOverGrid() || !ShowHint() || Hint().empty()) return;
  ShowHintText(Env().CursorPos() + Point(0, Env().SystemMetric(SM_CYCURSOR)), Hint(), Font());
}

void TCustomGridTreeList::ShowHintText(Point screen, const std::string& text, const gui::Font& font) {
  if (!hintWindow_) hintWindow_ = new TGridContainerHintWindow(this);
  hintWindow_->ShowHintAt(screen, text, font);
}

void TCustomGridTreeList::HideCellHint() {
  if (HandleAllocated()) KillTimer(kHintTimerId);
  hintNode_ = nullptr;
  hintColumn_ = -1;
  if (hintWindow_) hintWindow_->HideHint();
}

void TCustomGridTreeList::MouseLeave() {
  HideCellHint();
  TCustomGridContainer::MouseLeave();
}
