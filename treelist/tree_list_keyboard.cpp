// The keyboard: keys move the focused row and column, select ranges with
// Shift from the anchor, expand and collapse, open and close the editor,
// copy, and drive the incremental search. The application's OnKeyDown sees
// every key first and may change it or take it (0).
#include <algorithm>

#include "treelist/custom_tree_list.h"

using namespace gui;

namespace {

bool IsModifierKey(uint16_t key) { return key == VK_SHIFT || key == VK_CONTROL || key == VK_MENU; }

}  // namespace

bool TCustomGridTreeList::SizingOrDragging() const {
  switch (state_) {
    case tsColumnSizing: case tsBandSizing: case tsColumnDragging: case tsBandDragging:
    case tsBandPanelSizing: case tsHeaderPanelSizing: case tsRowSizing:
      return true;
    default:
      return false;
  }
}

unsigned TCustomGridTreeList::GetDlgCode(unsigned defaultCode) {
  unsigned code = defaultCode | DLGC_WANTARROWS | DLGC_WANTCHARS;
  if (HasOption(aoTabs) && !(KeyboardShiftState() & ssCtrl))
    code |= DLGC_WANTTAB;
  else
    code &= ~unsigned(DLGC_WANTTAB);
  return code;
}

// ------------------------------------------------------------------ moves

void TCustomGridTreeList::RowMove(int delta, bool shift) {
  TGridTreeListNode* f = focusedNode_;
  if (!f) return;
  const int row = NodeRowIndex(f);
  if (!IsMultiSelect()) {
    FocusRow(row + delta);
    return;
  }
  // A move that cannot leave its row keeps the selection as it is.
  const bool stays = (delta > 0 && row == RowCount() - 1) || (delta < 0 && row == 0 && SelectedCount() == 1);
  if (!shift) {
    if (!stays) ClearSelection();
    SetAnchor(nullptr);
    rangeInProgress_ = false;
    FocusRow(row + delta);
    return;
  }
  // Going back towards the anchor gives up the row being left.
  const bool back = DirectionToAnchor(f) == -delta;
  if (rangeInProgress_) {
    if (back) f->SetSelected(false);
    FocusRow(row + delta);
    if (!back && focusedNode_) focusedNode_->SetSelected(true);
    return;
  }
  if (!stays) ClearSelection();
  if (!Anchor()) {
    SetAnchor(f);
    f->SetSelected(true);
  } else {
    SelectRange(Anchor(), f);
    if (back) f->SetSelected(false);
  }
  rangeInProgress_ = true;
  FocusRow(row + delta);
  if (focusedNode_) focusedNode_->SetSelected(true);
}

void TCustomGridTreeList::PageMove(int delta) {
  const TGridTreeListNode* f = focusedNode_;
  if (!f) return;
  const int rows = RowCount();
  const int row = NodeRowIndex(f);
  if (rows < 2) {
    if ((delta < 0 && row <= 0) || (delta > 0 && row >= rows - 1)) return;
    FocusRow(row + delta);
    return;
  }
  const int page = FullyVisibleRowCount();
  const int top = TopIndex();
  const int last = std::min(top + page - 1, rows - 1);
  if (row > top && row < last)
    FocusRow(delta > 0 ? last : top);
  else
    FocusRow(row + delta * std::max(page - 1, 1));
}

void TCustomGridTreeList::RangeMove(bool shift, const std::function<void()>& move) {
  ClearSelection();
  if (!shift) {
    SetAnchor(nullptr);
    move();
    return;
  }
  if (!Anchor()) SetAnchor(focusedNode_);
  move();
  SelectRange(Anchor(), focusedNode_);
}

int TCustomGridTreeList::FocusableColumn(int from, bool forward) const {
  const int count = VisibleColumnCount();
  for (int i = from; i >= 0 && i < count; i += forward ? 1 : -1)
    if (ColumnCanFocus(i)) return i;
  return forward ? count : -1;
}

void TCustomGridTreeList::RowWrap(bool next) {
  if (!focusedNode_) return;
  // Beyond the first or last row: that row again, from its other end.
  const int to = std::clamp(NodeRowIndex(focusedNode_) + (next ? 1 : -1), 0, std::max(0, RowCount() - 1));
  ClearSelection();
  const int column = next ? FocusableColumn(0, true) : FocusableColumn(VisibleColumnCount() - 1, false);
  SetFocusedNode(NodeAtRow(to), std::clamp(column, 0, std::max(0, VisibleColumnCount() - 1)), true);
}

bool TCustomGridTreeList::BandRowMove(int delta, bool shift) {
  if (IsRowSelect() || !focusedNode_) return false;
  const int column = FocusedAbsoluteIndex();
  for (const TTreeListLayoutBand& band : layout_) {
    for (size_t r = 0; r < band.Rows.size(); ++r) {
      const auto& cells = band.Rows[r];
      for (size_t p = 0; p < cells.size(); ++p) {
        if (cells[p].Column != column) continue;
        if (band.Rows.size() < 2) return false;
        const int to = int(r) + delta;
        const bool inside = to >= 0 && to < int(band.Rows.size());
        const auto& target = band.Rows[size_t(inside ? to : (delta < 0 ? int(band.Rows.size()) - 1 : 0))];
        const int targetColumn = target[std::min(p, target.size() - 1)].Column;
        // A column kept out of these moves: Up and Down move rows there.
        if (!ColumnVertThrough(column) || !ColumnVertThrough(targetColumn)) return false;
        const int visible = AbsoluteToVisibleIndex(targetColumn);
        if (inside) {
          SetFocusedColumn(visible);
          return true;
        }
        // Past the band's first or last column row: the next record's.
        const int row = NodeRowIndex(focusedNode_);
        if ((delta < 0 && row == 0) || (delta > 0 && row == RowCount() - 1)) return true;
        RowMove(delta, shift);
        SetFocusedColumn(visible);
        return true;
      }
    }
  }
  return false;
}

// ------------------------------------------------------------------ KeyDown

void TCustomGridTreeList::KeyDown(uint16_t& key, ShiftState shift) {
  TGridSelectionScope bracket(*this);
  TCustomGridContainer::KeyDown(key, shift);  // OnKeyDown
  if (key == 0) return;
  if (SizingOrDragging()) {
    if (key == VK_ESCAPE) CancelTracking();
    return;
  }
  if (roots_.Empty()) return;
  // A key that may move the focus forgets the pending editor of a click.
  if (!IsModifierKey(key)) KillEditorTimer();
  if (Editing()) {
    switch (key) {
      case VK_TAB: case VK_RETURN: case VK_ESCAPE: case VK_PRIOR: case VK_NEXT: case VK_UP: case VK_DOWN:
        HideEditor(true);  // a value the editor turns down stops the key here
        if (key == VK_ESCAPE) return;
        break;
      default:
        break;
    }
  }
  if (newItemRowFocused_ && (key == VK_DOWN || key == VK_NEXT)) {
    LeaveNewItemRow(shift);
    return;
  }
  if (searching_ && SearchKey(key, shift)) return;
  if ((shift & ssCtrl) &&
      !((shift & ssShift) && (key == VK_PRIOR || key == VK_NEXT || key == VK_HOME || key == VK_END ||
                              key == VK_UP || key == VK_DOWN))) {
    rangeInProgress_ = false;
    CtrlKey(key);
    return;
  }
  PlainKey(key, shift);
  // Nothing selected: the focused node is (with multi-select).
  if (focusedNode_ && SelectedCount() == 0 && IsMultiSelect()) focusedNode_->SetSelected(true);
}

bool TCustomGridTreeList::SearchKey(uint16_t key, ShiftState shift) {
  const bool enter = key == VK_RETURN && ((shift & ssCtrl) || (shift & ssShift));
  if (key != VK_BACK && key != VK_DELETE && key != VK_ESCAPE && !enter) return false;
  if (key == VK_ESCAPE) {
    EndIncrementalSearch();
    return true;
  }
  searchColumn_ = FocusedAbsoluteIndex();
  std::string text = searchText_;
  int direction = 0;
  if (key == VK_BACK) {
    if (!text.empty()) text.pop_back();
  } else if (key == VK_DELETE) {
    text.clear();
  } else {
    direction = (shift & ssCtrl) ? 2 : 1;
  }
  searchText_ = text;
  IncrementalSearchStep(text, direction, false);
  return true;
}

void TCustomGridTreeList::LeaveNewItemRow(ShiftState shift) {
  SetNewItemRowFocused(false);
  TGridSelectionScope bracket(*this);
  if (topVisibleNode_) SetFocusedNode(topVisibleNode_, FocusedColumn(), true);
  if (shift & (ssShift | ssCtrl)) return;
  ClearSelection();
  SetAnchor(nullptr);
  if (focusedNode_) focusedNode_->SetSelected(true);
}

bool TCustomGridTreeList::EnterNewItemRow() {
  if (!NewItemRowShown() || NodeRowIndex(focusedNode_) != 0) return false;
  SetNewItemRowFocused(true);
  return true;
}

void TCustomGridTreeList::CtrlKey(uint16_t key) {
  TGridTreeListNode* f = focusedNode_;
  const int row = NodeRowIndex(f);
  switch (key) {
    case VK_SPACE:
      if (f && (IsRowSelect() || !HasOption(aoEditing))) {
        f->SetSelected(!f->Selected());
        SetAnchor(f);
      }
      break;
    case VK_PRIOR: PageMove(-1); break;
    case VK_NEXT: PageMove(1); break;
    case VK_HOME: FocusRow(0); break;
    case VK_END: FocusRow(RowCount() - 1); break;
    case VK_LEFT: SetFocusedColumn(0); break;
    case VK_RIGHT: SetFocusedColumn(std::max(0, VisibleColumnCount() - 1)); break;
    case VK_UP:
      if (f && !EnterNewItemRow()) FocusRow(row - 1);
      break;
    case VK_DOWN: if (f) FocusRow(row + 1); break;
    case VK_INSERT: CopySelectedToClipboard(); break;
    default: break;
  }
}

void TCustomGridTreeList::RightKey() {
  TGridTreeListNode* f = focusedNode_;
  if (!f) return;
  if (!IsRowSelect()) {
    const int next = FocusedColumn() + 1;
    if (next < VisibleColumnCount())
      SetFocusedColumn(next);
    else if (HasOption(aoHorzThrough))
      RowWrap(true);
    return;
  }
  MakeNodeVisible(f);
  if (f->HasChildren()) {
    if (!f->Expanded()) {
      f->SetExpanded(true);
    } else if (f->Count() > 0) {
      ClearSelection();
      SetFocusedNode(f->GetFirstChild(), FocusedColumn(), true);
    }
    return;
  }
  ClearSelection();
  FocusRow(NodeRowIndex(f) + 1);
}

void TCustomGridTreeList::LeftKey() {
  TGridTreeListNode* f = focusedNode_;
  if (!f) return;
  if (!IsRowSelect()) {
    const int prev = FocusedColumn() - 1;
    if (prev >= 0)
      SetFocusedColumn(prev);
    else if (HasOption(aoHorzThrough))
      RowWrap(false);
    return;
  }
  MakeNodeVisible(f);
  if (f->Expanded() && f->HasChildren()) {
    f->SetExpanded(false);
  } else if (f->Parent() && f->Index() == 0) {
    ClearSelection();
    SetFocusedNode(f->Parent(), FocusedColumn(), true);
  } else {
    ClearSelection();
    FocusRow(NodeRowIndex(f) - 1);
  }
}

void TCustomGridTreeList::PlainKey(uint16_t key, ShiftState shift) {
  const bool withShift = (shift & ssShift) != 0;
  const int count = VisibleColumnCount();
  switch (key) {
    case VK_DOWN:
    case VK_UP: {
      const int delta = key == VK_DOWN ? 1 : -1;
      if (HasOption(aoVertThrough) && BandRowMove(delta, withShift)) break;
      if (delta < 0 && EnterNewItemRow()) break;
      RowMove(delta, withShift);
      break;
    }
    case VK_RIGHT: RightKey(); break;
    case VK_LEFT: LeftKey(); break;
    case VK_HOME:
    case VK_END: {
      const bool home = key == VK_HOME;
      if (!IsRowSelect() && !withShift) {
        SetFocusedColumn(home ? 0 : std::max(0, count - 1));
        break;
      }
      RangeMove(withShift, [&] { FocusRow(home ? 0 : RowCount() - 1); });
      break;
    }
    case VK_NEXT:
    case VK_PRIOR:
      if (key == VK_PRIOR && EnterNewItemRow()) break;
      RangeMove(withShift, [&] { PageMove(key == VK_NEXT ? 1 : -1); });
      break;
    case VK_TAB: {
      if (shift & ssAlt) break;
      if (IsRowSelect()) {
        ClearSelection();
        FocusRow(NodeRowIndex(focusedNode_) + (withShift ? -1 : 1));
        break;
      }
      const int column = FocusableColumn(FocusedColumn() + (withShift ? -1 : 1), !withShift);
      if (column >= 0 && column < count)
        SetFocusedColumn(column);
      else if (HasOption(aoTabThrough))
        RowWrap(!withShift);
      break;
    }
    case VK_RETURN:
      if (HasOption(aoEnterThrough) && HasOption(aoEnterShowEditor)) {
        const int column = FocusableColumn(FocusedColumn() + 1, true);
        if (column < count)
          SetFocusedColumn(column);
        else
          RowWrap(true);
        ShowEditor();
      }
      break;
    case VK_F2: ShowEditor(); break;
    case VK_ESCAPE:
      ClearSelection();
      CancelEdit();
      break;
    default:
      break;
  }
}

// ------------------------------------------------------------------ KeyPress

void TCustomGridTreeList::KeyPress(char& key) {
  // Whether a search runs is decided once: the key that starts one is not
  // also appended. "+", "-" and "*" expand and collapse whether or not a
  // search runs; a running search takes them too.
  const bool wasSearching = searching_;
  const ShiftState shift = KeyboardShiftState();
  const bool ctrlAlone = (shift & ssCtrl) && !(shift & ssAlt);
  const auto code = uint8_t(key);
  bool consumed = false;
  if (state_ == tsNone && !wasSearching && HasOption(aoAutoSearch) && code >= 32 && !ctrlAlone) {
    // A key that begins no row leaves the search on with nothing typed
    // (and goes on to the keys below).
    consumed = StartIncrementalSearch(-1, std::string(1, key));
  }
  const bool opensEditor = !consumed && !searching_ && HasOption(aoEnterShowEditor) && !Editing() &&
                           state_ == tsNone && (code == 8 || code == 13 || code == 22 || code == 24 || code >= 32);
  if (!opensEditor) {
    TCustomGridContainer::KeyPress(key);  // OnKeyPress
  } else if (code == 13) {
    ShowEditor();
  } else if (!ShowEditorWithChar(key)) {
    // Without an editor the character goes to the grid's own handling.
    TCustomGridContainer::KeyPress(key);
  }
  if (key == 0) return;
  if (!Editing() && focusedNode_) {
    TGridTreeListNode* f = focusedNode_;
    switch (key) {
      case 3:
        if (HasOption(aoAutoCopySelectedToClipboard)) CopySelectedToClipboard();
        break;
      case '*':
        if (f->HasChildren()) f->Expand(true);
        break;
      case '+':
      case '-':
        MakeNodeVisible(f);
        f->SetExpanded(key == '+');
        break;
      default:
        break;
    }
  }
  if (!wasSearching || !searching_ || uint8_t(key) < 32 || ctrlAlone) return;
  if (!Editing() && FocusedAbsoluteIndex() != searchColumn_) {
    searchColumn_ = FocusedAbsoluteIndex();
    searchText_.clear();
  }
  searchText_ += key;
  IncrementalSearchStep(searchText_, 0, false);
}
