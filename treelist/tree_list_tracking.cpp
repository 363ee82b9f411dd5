// The tracking state and its feedback, and sizing and dragging in the
// header: entering and leaving a state, the sizing line and the drop
// arrows hidden around paints; the limits of a sizing line, what the end of
// a sizing sets, and moving columns and bands by dragging their headers,
// with the drop place shown by inversion.
#include <algorithm>

#include "treelist/custom_tree_list.h"

using namespace gui;

// ------------------------------------------------------------------ state and feedback

bool TCustomGridTreeList::SizingState() const {
  return state_ == tsColumnSizing || state_ == tsBandSizing || state_ == tsBandPanelSizing ||
         state_ == tsHeaderPanelSizing || state_ == tsRowSizing;
}

void TCustomGridTreeList::SetState(TTreeListTrackingState s) {
  if (s == state_) return;
  const TTreeListTrackingState old = state_;
  if (SizingState() && sizingLineShown_) {
    InvertSizingLine();
    sizingLineShown_ = false;
  }
  if ((old == tsColumnDragging || old == tsBandDragging) && dropX_ >= 0) {
    DrawDropArrows(false);
    dropX_ = -1;
  }
  state_ = s;
  if (old == tsEditing || s == tsEditing) EndIncrementalSearch();
  if (s == tsEditing) {
    editingNode_ = focusedNode_;
    editingRow_ = NodeRowIndex(focusedNode_);
    editingColumn_ = FocusedAbsoluteIndex();
    ActivateEditor(true);
  }
  SyncPressedLook();  // a press that ends takes its pressed look along
}

void TCustomGridTreeList::ReturnToIdle() {
  if (state_ == tsNone || state_ == tsEditing) return;  // the edit ends through HideEditor
  const bool pressed = state_ == tsColumnDown || state_ == tsBandDown || state_ == tsHeaderButtonDown ||
                       state_ == tsBandButtonDown || state_ == tsColumnDownSecond ||
                       state_ == tsColumnDragging || state_ == tsBandDragging || state_ == tsBottomStripDown;
  SetState(tsNone);
  sizingPos_ = -1;
  if (pressed && HandleAllocated()) Invalidate();
}

void TCustomGridTreeList::CancelTracking() {
  if (state_ == tsEditing) return;
  ReturnToIdle();
  // The release of a press given up neither reduces the selection nor
  // opens the editor.
  press_.ReduceOnRelease = false;
  releaseMayOpenEditor_ = false;
  StopAutoScroll(*this);
  // A drag of the nodes ends without a drop, begun or still short of the
  // system's threshold (a further pull must not start it).
  EndDrag(false);
}

void TCustomGridTreeList::InvertSizingLine() {
  if (!HandleAllocated() || sizingPos_ < 0) return;
  std::unique_ptr<Canvas> c = WindowCanvas();
  if (!c) return;
  const Rect client = ClientRect();
  const bool vertical = state_ == tsColumnSizing || state_ == tsBandSizing;
  c->InvertRect(vertical ? Rect(sizingPos_, client.Top, sizingPos_ + 1, client.Bottom)
                         : Rect(client.Left, sizingPos_, client.Right, sizingPos_ + 1));
}

void TCustomGridTreeList::ShowSizingLine(int pos) {
  if (!SizingState()) return;
  if (sizingLineShown_ && paintNesting_ == 0) InvertSizingLine();
  sizingPos_ = pos;
  sizingLineShown_ = true;
  if (paintNesting_ == 0) InvertSizingLine();
}

void TCustomGridTreeList::MoveSizingLine(int pos) {
  if (pos != sizingPos_) ShowSizingLine(pos);
}

void TCustomGridTreeList::HideTrackingFeedback() {
  if (paintNesting_++ > 0) return;
  if (SizingState() && sizingLineShown_) InvertSizingLine();
  if (state_ == tsColumnDragging || state_ == tsBandDragging) DrawDropArrows(false);
  if (DragObject* d = CurrentDrag()) d->HideDragImage();
}

void TCustomGridTreeList::ShowTrackingFeedback() {
  if (paintNesting_ == 0 || --paintNesting_ > 0) return;
  if (SizingState() && sizingLineShown_) InvertSizingLine();
  if (state_ == tsColumnDragging || state_ == tsBandDragging) DrawDropArrows(true);
  if (DragObject* d = CurrentDrag()) d->ShowDragImage();
}

// ------------------------------------------------------------------ sizing and dragging

void TCustomGridTreeList::SizingLimits(TTreeListTrackingState s, int index, int& minPos, int& maxPos) const {
  TTreeListDrawInfo info;
  CalcDrawInfo(info);
  minPos = info.Client.Left;
  maxPos = info.Client.Right;
  switch (s) {
    case tsColumnSizing:
      if (const TTreeListColumnEntry* c = info.FindColumn(index)) minPos = c->HeaderRect.Left + ColumnMinWidth(index) - 1;
      break;
    case tsBandSizing:
      for (const TTreeListBandEntry& b : info.Bands)
        if (b.Band == index) minPos = b.HeaderRect.Left + kSizingZone;
      break;
    case tsBandPanelSizing:
    case tsHeaderPanelSizing: {
      const Rect& panel = s == tsBandPanelSizing ? info.BandPanel : info.HeaderPanel;
      const int lines = s == tsBandPanelSizing ? BandLineCount() : HeaderLineCount();
      minPos = panel.Top + lines * kSizingZone;
      maxPos = std::max(minPos, info.Rows.Bottom - RowLineHeight());
      break;
    }
    case tsRowSizing:
      if (index >= 0 && size_t(index) < info.RowEntries.size()) minPos = info.RowEntries[size_t(index)].Top + kSizingZone;
      maxPos = std::max(minPos, info.Rows.Bottom);
      break;
    default:
      break;
  }
  maxPos = std::max(minPos, maxPos);
}

void TCustomGridTreeList::EndSizing(TTreeListTrackingState s, int index, int pos) {
  int minPos, maxPos;
  SizingLimits(s, index, minPos, maxPos);
  pos = std::clamp(pos, minPos, maxPos);
  TTreeListDrawInfo info;
  CalcDrawInfo(info);
  switch (s) {
    case tsColumnSizing:
      if (const TTreeListColumnEntry* c = info.FindColumn(index)) SetColumnWidth(index, pos - c->HeaderRect.Left + 1);
      break;
    case tsBandSizing:
      for (const TTreeListBandEntry& b : info.Bands)
        if (b.Band == index) SetBandWidth(index, pos - b.HeaderRect.Left + 2);
      break;
    case tsBandPanelSizing:
      SetBandPanelRowHeight(std::max(1, (pos - info.BandPanel.Top) / std::max(1, BandLineCount())));
      break;
    case tsHeaderPanelSizing:
      SetHeaderPanelRowHeight(std::max(1, (pos - info.HeaderPanel.Top) / std::max(1, HeaderLineCount())));
      break;
    case tsRowSizing:
      if (index >= 0 && size_t(index) < info.RowEntries.size())
        SetRowHeight(std::max(1, (pos - info.RowEntries[size_t(index)].Top) / std::max(1, LinesPerRecord())));
      break;
    default:
      break;
  }
}

void TCustomGridTreeList::StartDragging(TTreeListTrackingState s, int index) {
  if (s != tsColumnDragging && s != tsBandDragging) return;
  SetState(s);
  dragIndex_ = index;
  dropX_ = -1;
}

int TCustomGridTreeList::DropPosition(Point p, int* x) const {
  TTreeListDrawInfo info;
  CalcDrawInfo(info);
  int position = 0, edge = info.Rows.Left;
  if (state_ == tsBandDragging) {
    for (size_t i = 0; i < layout_.size(); ++i) {
      const TTreeListBandEntry* b = nullptr;
      for (const TTreeListBandEntry& e : info.Bands)
        if (e.Band == layout_[i].Band) b = &e;
      if (!b) continue;
      if (p.X >= (b->HeaderRect.Left + b->HeaderRect.Right) / 2) {
        position = int(i) + 1;
        edge = b->HeaderRect.Right;
      } else if (position == int(i)) {
        edge = b->HeaderRect.Left;
      }
    }
  } else {
    const TTreeListColumnEntry* dragged = info.FindColumn(dragIndex_);
    for (const TTreeListColumnEntry& e : info.Columns) {
      if (!dragged || e.Band != dragged->Band || e.RowIndex != dragged->RowIndex) continue;
      if (p.X >= (e.HeaderRect.Left + e.HeaderRect.Right) / 2) {
        position = e.Position + 1;
        edge = e.HeaderRect.Right;
      } else if (position == e.Position) {
        edge = e.HeaderRect.Left;
      }
    }
  }
  if (x) *x = edge;
  return position;
}

void TCustomGridTreeList::DrawDropArrows(bool show) {
  std::unique_ptr<Canvas> c = HandleAllocated() ? WindowCanvas() : nullptr;
  if (!show) {
    // What lay under the arrows comes back.
    if (c && dropSaveUnder_)
      for (int i = 0; i < 2; ++i)
        c->BitBlt(dropArrowRects_[i], dropSaveUnder_->GetCanvas(), {0, i * kDropArrowHeight}, SRCCOPY);
    dropSaveUnder_.reset();
    return;
  }
  if (!c || dropX_ < 0 || dropSaveUnder_) return;
  // The arrows point at the drop place from above and below the row of
  // headers the item moves in (the band panel for a band).
  TTreeListDrawInfo info;
  CalcDrawInfo(info);
  int top = info.BandPanel.Top, bottom = info.BandPanel.Bottom;
  if (state_ == tsColumnDragging) {
    top = info.HeaderPanel.Top;
    bottom = info.HeaderPanel.Bottom;
    if (const TTreeListColumnEntry* e = info.FindColumn(dragIndex_)) {
      top = e->HeaderRect.Top;
      bottom = e->HeaderRect.Bottom;
    }
  }
  const int half = kDropArrowWidth / 2;
  dropArrowRects_[0] = Rect::FromSize(dropX_ - half, top, kDropArrowWidth, kDropArrowHeight);
  dropArrowRects_[1] = Rect::FromSize(dropX_ - half, bottom - kDropArrowHeight, kDropArrowWidth, kDropArrowHeight);
  dropSaveUnder_ = std::make_unique<Bitmap>(kDropArrowWidth, 2 * kDropArrowHeight);
  for (int i = 0; i < 2; ++i)
    dropSaveUnder_->GetCanvas().BitBlt(Rect::FromSize(0, i * kDropArrowHeight, kDropArrowWidth, kDropArrowHeight),
                                       *c, dropArrowRects_[i].TopLeft(), SRCCOPY);
  CanvasSaver saver(*c);
  c->Brush().SetColor(arrowsColor_);
  for (int i = 0; i < kDropArrowHeight; ++i) {
    // Row i of each triangle: the widest at the header's edge, the tip
    // pointing into the header.
    const int w = kDropArrowWidth - 2 * i;
    const int left = dropX_ - w / 2;
    c->FillRect(Rect::FromSize(left, dropArrowRects_[0].Top + i, w, 1));
    c->FillRect(Rect::FromSize(left, dropArrowRects_[1].Bottom - 1 - i, w, 1));
  }
}

void TCustomGridTreeList::ContinueDragging(Point p) {
  if (state_ != tsColumnDragging && state_ != tsBandDragging) return;
  int x = -1;
  DropPosition(p, &x);
  if (x == dropX_) return;
  if (paintNesting_ == 0) DrawDropArrows(false);  // off at the old place
  dropX_ = x;
  if (paintNesting_ == 0) DrawDropArrows(true);
}

void TCustomGridTreeList::EndDragging(Point p, bool drop) {
  const TTreeListTrackingState s = state_;
  if (s != tsColumnDragging && s != tsBandDragging) return;
  const int position = DropPosition(p);
  SetState(tsNone);  // takes the drop place away
  const int index = dragIndex_;
  dragIndex_ = -1;
  if (!drop) return;
  if (s == tsColumnDragging)
    MoveColumn(index, position);
  else
    MoveBand(index, position);
}
