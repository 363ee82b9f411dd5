// Focus moves by direction, and the incremental search: typing finds the
// first row whose text in the search column begins with what was typed.
#include <algorithm>

#include "treelist/custom_tree_list.h"
#include "treelist/grid_sort.h"

using namespace gui;

// ------------------------------------------------------------------ focus moves

TGridTreeListNode* TCustomGridTreeList::GetNodeByDirection(const TGridTreeListNode* node, int direction,
                                                           bool all) const {
  if (!node) return nullptr;
  switch (direction) {
    case 0: return GetFirstNode();
    case 1: return node->GetPrevVisible();
    case 2: return all ? node->GetNext() : node->GetNextVisible();
    case 3: {
      if (!all) return GetLastVisibleNode();
      TGridTreeListNode* n = roots_.Empty() ? nullptr : roots_.Back();
      while (n && n->Count() > 0) n = n->GetLastChild();
      return n;
    }
    default: return nullptr;
  }
}

TGridTreeListNode* TCustomGridTreeList::MoveFocus(int direction, bool all) {
  TGridTreeListNode* from = focusedNode_;
  if (!from) return nullptr;
  const bool follows = IsMultiSelect() && SelectedCount() == 1 && IsNodeSelected(from);
  TGridTreeListNode* to = GetNodeByDirection(from, direction, all);
  if (!to) return nullptr;
  TGridSelectionScope bracket(*this);
  SetFocusedNode(to, FocusedColumn(), true);
  if (follows) {
    ClearSelection();
    to->SetSelected(true);
  }
  return to;
}

bool TCustomGridTreeList::IsFocusedFirst() const {
  return roots_.Empty() || (focusedNode_ && focusedNode_ == GetFirstNode());
}

bool TCustomGridTreeList::IsFocusedLast() const {
  return roots_.Empty() || (focusedNode_ && focusedNode_ == GetLastVisibleNode());
}

// ------------------------------------------------------------------ incremental search

bool TCustomGridTreeList::StartIncrementalSearch(int column, const std::string& text) {
  HideEditor(false);
  newItemRowFocused_ = false;
  const int absolute = column < 0 ? FocusedAbsoluteIndex() : column;
  if (absolute >= 0) {
    MakeColumnVisible(absolute);
    const int visible = AbsoluteToVisibleIndex(absolute);
    if (VisibleIndexToAbsolute(visible) == absolute && visible != FocusedColumn()) SetFocusedColumn(visible);
  }
  searchColumn_ = absolute;
  searching_ = true;
  searchText_ = text;
  IncrementalSearchStep(text, 0, true);
  return !searchText_.empty();
}

void TCustomGridTreeList::IncrementalSearchStep(const std::string& text, int direction, bool clearOnFail) {
  TGridCountScope step(searchStep_);
  const bool valid = searchColumn_ >= 0 && VisibleIndexToAbsolute(AbsoluteToVisibleIndex(searchColumn_)) == searchColumn_;
  if (valid && !roots_.Empty()) {
    TGridTreeListNode* found = nullptr;
    if (FindNode(searchColumn_, text, found, direction)) {
      searchText_ = text;
      SetFocusedNode(found, FocusedColumn(), true);
    } else if (clearOnFail) {
      searchText_.clear();
    } else if (direction == 0) {
      searchText_ = text;
      if (!searchText_.empty()) searchText_.pop_back();
    }
  }
  if (!focusedNode_) return;
  if (IsMultiSelect()) {
    TGridSelectionScope bracket(*this);
    ClearSelection();
    focusedNode_->SetSelected(true);
  }
  MakeNodeVisible(focusedNode_);
  RefreshNode(focusedNode_, false);
}

bool TCustomGridTreeList::FindNode(int column, const std::string& text, TGridTreeListNode*& node,
                                   int direction) const {
  node = nullptr;
  if (text.empty() || roots_.Empty()) return false;
  const bool all = autoExpandOnSearch_;
  // With no focused node the walk starts at the first root node.
  TGridTreeListNode* const start = focusedNode_ ? focusedNode_ : GetFirstNode();
  int wraps = 0;
  auto step = [&](TGridTreeListNode* n) -> TGridTreeListNode* {
    TGridTreeListNode* next = nullptr;
    if (direction == 1)
      next = all ? n->GetPrev() : n->GetPrevVisible();
    else
      next = all ? n->GetNext() : n->GetNextVisible();
    if (next) return next;
    ++wraps;
    return direction == 1 ? GetNodeByDirection(start, 3, all) : GetFirstNode();
  };
  auto matches = [&](const TGridTreeListNode* n) {
    const std::string cell = GetNodeString(n, column);
    return cell.size() >= text.size() && CompareUpperText(std::string_view(cell).substr(0, text.size()), text);
  };
  TGridTreeListNode* n = direction == 0 ? start : step(start);
  // One round: back at the start (tested last when the walk stepped off
  // it first), or a second wrap when the start is not on the walk's path.
  for (bool first = true; n && wraps < 2; first = false) {
    if (direction == 0 && !first && n == start) break;
    if (matches(n)) {
      node = n;
      return true;
    }
    if (direction != 0 && n == start) break;
    n = step(n);
  }
  return false;
}

void TCustomGridTreeList::EndIncrementalSearch() {
  if (!searching_) return;
  searching_ = false;
  if (!Locked() && !Destroying() && focusedNode_) RefreshNode(focusedNode_, false);
}
