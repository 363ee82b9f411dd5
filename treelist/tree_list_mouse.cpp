// The mouse: a press classifies its point with the hit test and enters a
// tracking state (sizing an edge, pressing a header, band or panel button,
// pressing a node); moves carry the tracking on; the release completes it
// (a size is set, a header click sorts, a button click fires, a cell click
// opens the editor). Presses on nodes focus and select them.
#include <algorithm>
#include <cstdlib>

#include "treelist/custom_tree_list.h"

using namespace gui;

namespace {

bool OnNodeArea(TTreeListHitArea a) {
  return a == htIcon || a == htStateIcon || a == htLabel || a == htNewItemRow || a == htRowFooter ||
         a == htPreview;
}

bool SizingArea(TTreeListTrackingState s) {
  return s == tsColumnSizing || s == tsBandSizing || s == tsBandPanelSizing || s == tsHeaderPanelSizing ||
         s == tsRowSizing;
}

// Sizing lines of columns and bands run across (x); the others along (y).
bool Horizontal(TTreeListTrackingState s) { return s == tsColumnSizing || s == tsBandSizing; }

}  // namespace

void TCustomGridTreeList::SyncPressedLook() {
  const bool column = (state_ == tsColumnDown || state_ == tsColumnDownSecond) && press_.StillDown;
  SetPressedColumn(column ? press_.Column : -1);
  SetPressedBand(state_ == tsBandDown && press_.StillDown ? press_.Band : -1);
  SetHeaderCornerPressed(HeaderButtonPressed());
  SetBandCornerPressed(BandButtonPressed());
}

// ------------------------------------------------------------------ MouseDown

void TCustomGridTreeList::MouseDown(MouseButton b, ShiftState s, int x, int y) {
  HideCellHint();
  // The middle button pressed while the left one is held leaves what the
  // left press began, and what its release will do, alone.
  if (b == mbMiddle && (s & ssLeft)) {
    TCustomGridContainer::MouseDown(b, s, x, y);  // OnMouseDown
    return;
  }
  TGridInplaceEdit* editor = InplaceEditor();
  if (Editing() && editor && editor->IgnorePress) return;
  const bool wasEditing = Editing();
  if (wasEditing && !(editor && editor->KeepOpen)) HideEditor(true);  // a rejection stops the press here
  press_.ReduceOnRelease = press_.ClickAllowed = press_.Extended = false;
  releaseMayOpenEditor_ = false;
  rangeInProgress_ = false;
  bool focusTaken = false;
  if (!Designing() && CanFocus()) {
    focusTaken = !HasFocus();  // a click that only gives the focus opens no editor
    if (!HasFocus()) SetFocus();
    if (!HasFocus()) {
      SetMouseCapture(false);
      return;
    }
  }
  const TTreeListHitInfo hit = HitTest(x, y);
  press_.Hit = hit;
  press_.Point = {x, y};
  // A right press cancels the tracking, and a drag of the nodes an update
  // bracket left going.
  if (b == mbRight) CancelTracking();
  // A press in another state (an editor kept open through the press) only
  // ends the edit.
  const bool idle = state_ == tsNone;
  if (b == mbLeft && idle) PressHeader(s, x, y);
  const bool onNode = hit.Node || hit.Area == htNewItemRow;
  if (idle && state_ == tsNone && onNode && (b == mbLeft || (b == mbRight && OnNodeArea(hit.Area))) &&
      (OnNodeArea(hit.Area) || hit.Area == htButton))
    PressNode(b, s, x, y, focusTaken, wasEditing);
  if (!idle && Editing()) HideEditor(true);
  if (b == mbMiddle && state_ == tsNone) StartPanning(x, y);
  FirePendingDblClick();
  TCustomGridContainer::MouseDown(b, s, x, y);  // OnMouseDown
}

void TCustomGridTreeList::PressHeader(ShiftState s, int x, int y) {
  const TTreeListHitInfo& hit = press_.Hit;
  const bool dbl = (s & ssDouble) != 0;
  auto startSizing = [&](TTreeListTrackingState state, int index, int pos) {
    press_.SizingIndex = index;
    SetState(state);
    int lo = 0, hi = 0;
    SizingLimits(state, index, lo, hi);
    press_.SizingStart = std::clamp(pos, lo, hi);
    ShowSizingLine(press_.SizingStart);
  };
  switch (hit.Area) {
    case htBandEdge:
      if (dbl)
        DoBandBestFit(hit.Band);
      else
        startSizing(tsBandSizing, hit.Band, x);
      break;
    case htColumnEdge:
      if (dbl)
        DoColumnBestFit(hit.Column);
      else
        startSizing(tsColumnSizing, hit.Column, x);
      break;
    case htBandPanelEdge: startSizing(tsBandPanelSizing, -1, y); break;
    case htHeaderPanelEdge: startSizing(tsHeaderPanelSizing, -1, y); break;
    case htRowEdge: startSizing(tsRowSizing, hit.Row, y); break;
    case htBand:
      press_.Band = hit.Band;
      press_.StillDown = true;
      SetState(tsBandDown);
      break;
    case htColumn:
      press_.Column = hit.Column;
      press_.StillDown = true;
      SetState(ColumnPressSecondMode(hit.Column) ? tsColumnDownSecond : tsColumnDown);
      break;
    case htBottomStrip: {
      TTreeListDrawInfo info;
      CalcAreaRects(info);
      if (!BottomStripCheckBox() || !BottomStripBox(info.BottomStrip).Contains({x, y})) break;
      press_.ButtonStillDown = true;
      SetState(tsBottomStripDown);
      InvalidateRect(info.BottomStrip);
      break;
    }
    case htBandButton:
    case htColumnButton: {
      const bool band = hit.Area == htBandButton;
      if (!HasOption(band ? aoBandButtonClicking : aoHeaderButtonClicking)) break;
      press_.ButtonStillDown = true;
      SetState(band ? tsBandButtonDown : tsHeaderButtonDown);
      break;
    }
    default:
      break;
  }
}

void TCustomGridTreeList::PressNode(MouseButton b, ShiftState s, int x, int y, bool focusTaken, bool wasEditing) {
  const TTreeListHitInfo hit = press_.Hit;
  TGridTreeListNode* node = hit.Node;
  const bool dbl = (s & ssDouble) != 0;
  if (hit.Area == htButton || dbl) {  // a right double-click on a node too
    // The second press of a double-click ends the wait for the editor.
    KillEditorTimer();
    if (node && (dblClkExpanding_ || hit.Area == htButton)) node->SetExpanded(!node->Expanded());
    return;
  }
  if (hit.Area == htNewItemRow) {
    PressNewItemRow(b, focusTaken, wasEditing);
    return;
  }
  SetNewItemRowFocused(false);
  if (b == mbLeft) SetState(tsNodeDown);
  pressNode_ = node;
  TGridTreeListNode* before = focusedNode_;
  const int columnBefore = FocusedColumn();
  {
    TGridSelectionScope bracket(*this);
    press_.FocusedBefore = before;
    const int visible = hit.Column >= 0 ? AbsoluteToVisibleIndex(hit.Column) : FocusedColumn();
    SetFocusedNode(node, visible, true);
    if (IsMultiSelect() && focusedNode_) {
      TGridTreeListNode* f = focusedNode_;
      const bool ctrl = (s & ssCtrl) != 0, shift = (s & ssShift) != 0;
      press_.Extended = ctrl || shift;
      if (ctrl || shift) {
        if (ctrl && !shift) {
          f->SetSelected(!f->Selected());
          SetAnchor(f);
        } else {
          if (!Anchor()) SetAnchor(press_.FocusedBefore);
          if (!ctrl) ClearSelection();
          if (!Anchor())
            f->SetSelected(!f->Selected());
          else
            SelectRange(Anchor(), f);
        }
      } else if (!f->Selected()) {
        ClearSelection();
        f->SetSelected(true);
        SetAnchor(f);
      } else if (b != mbRight) {
        press_.ReduceOnRelease = true;  // kept for a drag of all of them until the release
      }
    }
  }
  if (b != mbLeft || hit.Area != htLabel || IsRowSelect() || !focusedNode_) return;
  const bool sameCell = focusedNode_ == before && FocusedColumn() == columnBefore;
  if (EditorClickAtOnce(x, y, hit.Column, focusedNode_ == before)) {
    SetState(tsNone);
    ShowEditorWithClick(x, y);
  } else if (sameCell && !focusTaken && !wasEditing && !dbl && HasOption(aoEditing)) {
    StartEditorTimer();
  }
}

void TCustomGridTreeList::PressNewItemRow(MouseButton b, bool focusTaken, bool wasEditing) {
  const bool sameCell = newItemRowFocused_ && (press_.Hit.Column < 0 || press_.Hit.Column == FocusedAbsoluteIndex());
  SetNewItemRowFocused(true);
  if (press_.Hit.Column >= 0) SetFocusedColumn(AbsoluteToVisibleIndex(press_.Hit.Column));
  releaseMayOpenEditor_ = true;
  if (b == mbLeft && sameCell && !focusTaken && !wasEditing && !IsRowSelect() && HasOption(aoEditing))
    StartEditorTimer();
}

// ------------------------------------------------------------------ MouseMove

void TCustomGridTreeList::MouseMove(ShiftState s, int x, int y) {
  const TTreeListHitInfo hit = HitTest(x, y);
  if (state_ == tsNodeDown && !(s & ssLeft)) SetState(tsNone);
  if (pan_.Active && !(s & ssMiddle)) EndPanning();
  if (pan_.Active) {
    PanTo(x, y);
  } else if (SizingArea(state_)) {
    int lo = 0, hi = 0;
    SizingLimits(state_, press_.SizingIndex, lo, hi);
    MoveSizingLine(std::clamp(Horizontal(state_) ? x : y, lo, hi));
  } else if (state_ == tsBandDragging || state_ == tsColumnDragging) {
    ContinueDragging({x, y});
    TTreeListDrawInfo info;
    CalcAreaRects(info);
    if (x < info.Rows.Left)
      StartHorzAutoScroll(*this, true);
    else if (x >= info.Rows.Right)
      StartHorzAutoScroll(*this, false);
    else
      StopHorzAutoScroll(*this);
  } else if (state_ == tsBandDown || state_ == tsColumnDown) {
    const bool band = state_ == tsBandDown;
    const bool beyond = std::abs(x - press_.Point.X) > kDragThreshold || std::abs(y - press_.Point.Y) > kDragThreshold;
    if (beyond && (band ? HasOption(aoBandMoving) : HasOption(aoColumnMoving))) {
      StartDragging(band ? tsBandDragging : tsColumnDragging, band ? press_.Band : press_.Column);
      ContinueDragging({x, y});
    }
  } else if (state_ == tsNodeDown && DragMode() == dmAutomatic) {
    const bool beyond = std::abs(x - press_.Point.X) > kDragThreshold || std::abs(y - press_.Point.Y) > kDragThreshold;
    if (beyond && !CurrentDrag()) BeginNodeDrag();
  } else if (state_ == tsNodeDown) {
    SelectingMove(x, y);
  }
  UpdatePressedLook(hit);
  UpdateHotTrack(hit);
  UpdateHint(hit);
  TCustomGridContainer::MouseMove(s, x, y);  // OnMouseMove
}

void TCustomGridTreeList::SelectingMove(int x, int y) {
  if (!HasOption(aoMouseScroll) || !(IsRowSelect() || !HasOption(aoEditing)) || roots_.Empty()) return;
  TTreeListDrawInfo info;
  CalcAreaRects(info);
  auto focus = [&](TGridTreeListNode* n) {
    if (!n || n == focusedNode_) return;
    TGridSelectionScope bracket(*this);
    SetFocusedNode(n, FocusedColumn(), true);
    if (IsMultiSelect()) {
      ClearSelection();
      n->SetSelected(true);
    }
  };
  if (y >= info.Rows.Top && y < info.Rows.Bottom) {
    StopSelectAutoScroll(*this);
    if (TGridTreeListNode* n = HitTest(x, y).Node) focus(n);
    return;
  }
  const bool up = y < info.Rows.Top;
  const int top = TopIndex();
  focus(NodeAtRow(up ? top : std::min(RowCount() - 1, top + FullyVisibleRowCount() - 1)));
  if (AutoScrollState().SelectTimer != -1 && AutoScrollState().SelectUp != up) StopSelectAutoScroll(*this);
  StartSelectAutoScroll(*this, up);
}

void TCustomGridTreeList::UpdatePressedLook(const TTreeListHitInfo& hit) {
  bool down = false;
  bool* flag = &press_.StillDown;
  switch (state_) {
    case tsBandDown: down = hit.Area == htBand && hit.Band == press_.Band; break;
    case tsColumnDown:
    case tsColumnDownSecond: down = hit.Area == htColumn && hit.Column == press_.Column; break;
    case tsBandButtonDown: down = hit.Area == htBandButton, flag = &press_.ButtonStillDown; break;
    case tsHeaderButtonDown: down = hit.Area == htColumnButton, flag = &press_.ButtonStillDown; break;
    case tsBottomStripDown: {
      TTreeListDrawInfo info;
      CalcAreaRects(info);
      if (BottomStripBox(info.BottomStrip).Contains(hit.Pt) == press_.ButtonStillDown) return;
      press_.ButtonStillDown = !press_.ButtonStillDown;
      InvalidateRect(info.BottomStrip);
      return;
    }
    default: return;
  }
  if (*flag == down) return;
  *flag = down;
  SyncPressedLook();
}

Rect TCustomGridTreeList::BottomStripBox(const Rect& strip) {
  // 11 pixels square, 5 from the left, in the middle of the strip's height.
  const Rect r = strip.Inflate(-2, -2);
  return Rect::FromSize(r.Left + 3, (r.Top + r.Bottom - 11) / 2, 11, 11);
}

void TCustomGridTreeList::BeginNodeDrag() {
  // The pressed node goes, with the selection when the press kept it (a
  // press on a selected node, or with Ctrl or Shift).
  TGridTreeListNode* node = pressNode_ ? pressNode_ : GetNodeAt(press_.Point.X, press_.Point.Y);
  if (!node) return;
  {
    TGridSelectionScope bracket(*this);
    if (node != focusedNode_) SetFocusedNode(node, FocusedColumn(), true);
    if (IsMultiSelect() && focusedNode_ == node) {
      if (!press_.Extended && !node->Selected()) ClearSelection();
      node->SetSelected(true);
    }
  }
  BeginDrag(false);
}

// ------------------------------------------------------------------ panning

void TCustomGridTreeList::StartPanning(int x, int y) {
  pan_ = {true, {x, y}, TopIndex(), leftCoord_};
  if (WindowPeer* p = Peer()) p->SetCursor(gui::Cursor::SizeAll);
}

void TCustomGridTreeList::PanTo(int x, int y) {
  // The rows and columns follow the mouse: a row for each row height, the
  // columns pixel by pixel.
  SetTopIndex(pan_.Top - (y - pan_.Start.Y) / std::max(1, DefaultRowHeight()));
  SetLeftCoord(pan_.Left - (x - pan_.Start.X));
}

void TCustomGridTreeList::EndPanning() {
  if (!pan_.Active) return;
  pan_.Active = false;
  if (WindowPeer* p = Peer()) p->SetCursor(Cursor());
}

void TCustomGridTreeList::UpdateHotTrack(const TTreeListHitInfo& hit) {
  TGridTreeListNode* hot = HasOption(aoHotTrack) && hit.Area == htLabel ? hit.Node : nullptr;
  if (hot == hotNode_) return;
  TGridTreeListNode* old = hotNode_;
  hotNode_ = hot;
  hotRow_ = hit.Row;
  RefreshNode(old, false);
  RefreshNode(hot, false);
}

// ------------------------------------------------------------------ MouseUp

void TCustomGridTreeList::MouseUp(MouseButton b, ShiftState s, int x, int y) {
  // What a press began ends on the left button's release only: the window
  // keeps the mouse for the left button through a middle or right click
  // (a right press has cancelled the tracking already).
  if (b != mbLeft) {
    if (b == mbMiddle) EndPanning();
    TCustomGridContainer::MouseUp(b, s, x, y);  // OnMouseUp
    return;
  }
  TGridSelectionScope bracket(*this);
  const TTreeListHitInfo hit = HitTest(x, y);
  const TTreeListTrackingState was = state_;
  switch (was) {
    case tsBandSizing:
    case tsColumnSizing:
    case tsBandPanelSizing:
    case tsHeaderPanelSizing:
    case tsRowSizing: {
      int lo = 0, hi = 0;
      SizingLimits(was, press_.SizingIndex, lo, hi);
      const int pos = std::clamp(Horizontal(was) ? x : y, lo, hi);
      SetState(tsNone);  // the line goes
      sizingPos_ = -1;
      const bool rowHit = was != tsRowSizing || press_.Hit.Node;
      if (pos != press_.SizingStart && rowHit) EndSizing(was, press_.SizingIndex, pos);
      break;
    }
    case tsBandDown:
      CancelTracking();
      if (hit.Area == htBand && hit.Band == press_.Band) BandClick(press_.Band);
      break;
    case tsBandDragging:
    case tsColumnDragging:
      StopHorzAutoScroll(*this);
      EndDragging({x, y}, true);
      break;
    case tsColumnDown:
    case tsColumnDownSecond:
      CancelTracking();
      if (hit.Area == htColumn && hit.Column == press_.Column)
        DoColumnClick(press_.Column, (s & ssShift) && HasOption(aoMultiSort), (s & ssCtrl) != 0);
      break;
    case tsBottomStripDown: {
      const bool pressed = press_.ButtonStillDown;
      CancelTracking();
      if (pressed) BottomStripAction();
      break;
    }
    case tsBandButtonDown:
    case tsHeaderButtonDown: {
      const bool pressed = press_.ButtonStillDown;
      CancelTracking();
      const TGridTreeListNotify& event = was == tsBandButtonDown ? OnBandButtonClick : OnHeaderButtonClick;
      if (pressed && event) event(this);
      break;
    }
    default:
      break;
  }
  press_.StillDown = press_.ButtonStillDown = false;
  if (press_.ReduceOnRelease && focusedNode_) {
    press_.ReduceOnRelease = false;
    ClearSelection();
    focusedNode_->SetSelected(true);
    SetAnchor(focusedNode_);
  }
  // The focused cell released on: a node's, or the focused new-item row's.
  const bool onFocused = hit.Area == htNewItemRow ? newItemRowFocused_ : hit.Node && focusedNode_ == hit.Node;
  const bool immediate = (was == tsEditing || was == tsNodeDragging || was == tsNodeDown || releaseMayOpenEditor_) &&
                         HasOption(aoImmediateEditor) && !IsRowSelect() &&
                         hit.Column == press_.Hit.Column && hit.Row == press_.Hit.Row &&
                         hit.Area == press_.Hit.Area && (hit.Area == htLabel || hit.Area == htNewItemRow) &&
                         onFocused;
  if (immediate) {
    // A node dragged back onto its cell counts as a click on it; its drag
    // ends after this release.
    if (state_ == tsNodeDown || state_ == tsNodeDragging) SetState(tsNone);
    if (!(s & (ssShift | ssCtrl)) && !Editing()) ShowEditorAfterClick();
  }
  releaseMayOpenEditor_ = false;
  if (state_ == tsNodeDown) SetState(tsNone);
  StopSelectAutoScroll(*this);
  pressNode_ = nullptr;
  press_.ClickAllowed = was == tsEditing || was == tsNodeDragging || was == tsNodeDown;
  TCustomGridContainer::MouseUp(b, s, x, y);  // OnMouseUp
  // The release of a node drag clicks wherever the drop is (the window
  // layer clicks only inside).
  if (was == tsNodeDragging && !ClientRect().Contains({x, y})) Click();
}

void TCustomGridTreeList::Click() {
  // Only a release on a node (or in the open editor) is a click.
  const bool allowed = press_.ClickAllowed;
  press_.ClickAllowed = false;
  if (allowed) TCustomGridContainer::Click();
}

void TCustomGridTreeList::DblClick() {
  // The window layer tells the grid's own double-click before its press:
  // OnDblClick waits until the press has done its work (the node toggled).
  // The editor's double-clicks come without a point, at once.
  if (dblClickPoint_) {
    dblClickPending_ = true;
    return;
  }
  TCustomGridContainer::DblClick();
}

void TCustomGridTreeList::FirePendingDblClick() {
  if (!dblClickPending_) return;
  dblClickPending_ = false;
  // Once a double-click, and not on the header, the panels, the indicator
  // or the footer (a double-click on a sizing edge is a best fit).
  if (dblClickPoint_) {
    switch (HitTest(dblClickPoint_->X, dblClickPoint_->Y).Area) {
      case htColumn: case htColumnEdge: case htTopPanel: case htBandButton: case htBand: case htBandEdge:
      case htColumnButton: case htIndicator: case htFooter: case htBandPanelEdge: case htHeaderPanelEdge:
      case htRowEdge: case htBottomStrip:
        return;
      default:
        break;
    }
  }
  TCustomGridContainer::DblClick();
}

void TCustomGridTreeList::CancelMode() {
  EndPanning();
  // Also when idle: an update bracket may have ended the press and left
  // its drag and its release's work pending.
  CancelTracking();
  TCustomGridContainer::CancelMode();
}

void TCustomGridTreeList::CaptureChanged(bool lost) {
  TCustomGridContainer::CaptureChanged(lost);
  // Another window has the mouse now (a message box, say): the release
  // that would end what the press began never comes here.
  if (lost) CancelMode();
}
