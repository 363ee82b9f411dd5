// Dragging nodes out of the grid and dragging anything over it: the drag
// begins as the mouse pulls a pressed node away (the automatic drag mode),
// the grid is in its node-dragging state while its drag is on, and rows
// and columns scroll while a drag hovers near an edge of the rows.
#include <algorithm>

#include "gui/environment.h"
#include "treelist/custom_tree_list.h"

using namespace gui;

void TCustomGridTreeList::DoStartDrag() {
  HideCellHint();
  StopSelectAutoScroll(*this);
  dragNode_ = focusedNode_;
  press_.ReduceOnRelease = false;  // the selection goes along whole
  SetState(tsNodeDragging);
  // The picture that follows the mouse: the dragged cell as it shows now.
  const Rect cell = CellRect(focusedNode_, FocusedColumn()).Intersect(ClientRect());
  std::unique_ptr<Canvas> window = WindowCanvas();
  if (DragObject* d = CurrentDrag(); d && window && !cell.IsEmpty()) {
    auto image = std::make_unique<Bitmap>(cell.Width(), cell.Height());
    image->GetCanvas().BitBlt(Rect(0, 0, cell.Width(), cell.Height()), *window, cell.TopLeft(), SRCCOPY);
    d->SetDragImage(std::move(image), ScreenToClient(Env().CursorPos()) - cell.TopLeft());
  }
  RefreshNode(focusedNode_, false);
  TCustomGridContainer::DoStartDrag();  // OnStartDrag
}

void TCustomGridTreeList::DragOver(Control* source, int x, int y, DragState state, bool& accept) {
  TTreeListDrawInfo info;
  CalcAreaRects(info);
  const Rect& rows = info.Rows;
  const bool scroll = state != dsDragLeave && HasOption(aoDragScroll);
  // -1 near the low edge, 1 near the high one, 0 between.
  auto zone = [](int pos, int low, int high) {
    return pos < low + kDragScrollZone ? -1 : pos >= high - kDragScrollZone ? 1 : 0;
  };
  const int v = scroll ? zone(y, rows.Top, rows.Bottom) : 0;
  const int h = scroll ? zone(x, rows.Left, rows.Right) : 0;
  if (v)
    StartVertAutoScroll(*this, v < 0);
  else
    StopVertAutoScroll(*this);
  if (h)
    StartHorzAutoScroll(*this, h < 0);
  else
    StopHorzAutoScroll(*this);
  TCustomGridContainer::DragOver(source, x, y, state, accept);  // OnDragOver
}

void TCustomGridTreeList::DoEndDrag(Control* target, int x, int y) {
  StopVertAutoScroll(*this);
  StopHorzAutoScroll(*this);
  dragNode_ = nullptr;
  if (state_ == tsNodeDragging) SetState(tsNone);
  RefreshNode(focusedNode_, false);  // its colours without the drag
  TCustomGridContainer::DoEndDrag(target, x, y);  // OnEndDrag
}
