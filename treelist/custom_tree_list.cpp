// The tree list's core object: its life, the bookkeeping of its nodes
// (adding, deleting, expanding, the order sorting falls back on), the
// update and selection brackets, the text of the selection, the focused
// node and column, the queries the painters and the input ask, and the
// window's messages (scroll bars, timers, the double-click point). The
// files of the rest are listed in custom_tree_list.h.
#include "treelist/custom_tree_list.h"

#include <algorithm>
#include <exception>
#include <optional>

#include "gui/clipboard.h"
#include "gui/environment.h"
#include "gui/text_measurer.h"
#include "treelist/grid_edit_error.h"
#include "treelist/grid_sort.h"
#include "treelist/tree_list_error.h"

using namespace gui;

// ------------------------------------------------------------------ helpers

namespace {

// Closes a bracket from a scope's end: while an exception is already on
// its way, a failure of the closing is dropped (the first one travels).
void CloseScope(TCustomGridTreeList& grid, void (TCustomGridTreeList::*close)()) {
  if (std::uncaught_exceptions() == 0) {
    (grid.*close)();
    return;
  }
  try {
    (grid.*close)();
  } catch (...) {
  }
}

}  // namespace

TGridUpdateScope::TGridUpdateScope(TCustomGridTreeList& grid, bool take)
    : grid_(take ? &grid : nullptr) {
  if (grid_) grid_->BeginUpdate();
}

TGridUpdateScope::~TGridUpdateScope() noexcept(false) {
  if (grid_) CloseScope(*grid_, &TCustomGridTreeList::EndUpdate);
}

TGridSelectionScope::TGridSelectionScope(TCustomGridTreeList& grid) : grid_(grid) {
  grid_.BeginSelectionUpdate();
}

TGridSelectionScope::~TGridSelectionScope() noexcept(false) {
  CloseScope(grid_, &TCustomGridTreeList::EndSelectionUpdate);
}

void TCustomGridTreeList::QuietLayoutEnd::operator()(TCustomGridTreeList* grid) const {
  if (--grid->quietLayout_ == 0 && grid->layoutPending_) {
    grid->layoutPending_ = false;
    grid->LayoutChanged();
  }
}

std::unique_ptr<TCustomGridTreeList, TCustomGridTreeList::QuietLayoutEnd> TCustomGridTreeList::QuietLayout() {
  ++quietLayout_;
  return std::unique_ptr<TCustomGridTreeList, QuietLayoutEnd>(this);
}

// ------------------------------------------------------------------ life

TCustomGridTreeList::TCustomGridTreeList(Component* owner)
    : TCustomGridContainer(owner),
      options_{aoColumnSizing, aoColumnMoving, aoEditing, aoTabThrough, aoRowSelect},
      optionsEx_{aoUseBitmap, aoBandHeaderWidth, aoAutoCalcPreviewLines, aoBandSizing, aoBandMoving,
                 aoDragScroll, aoDragExpand},
      arrowsColor_(MakeRGB(0, 255, 0)),
      bandColor_(clBtnFace),
      headerColor_(clBtnFace),
      groupNodeColor_(clBtnFace),
      hideSelectionColor_(clBtnFace),
      gridLineColor_(clDefault),
      groupNodeTextColor_(clDefault),
      autoSearchColor_(clDefault),
      autoSearchTextColor_(clDefault),
      highlightColor_(clHighlight),
      highlightTextColor_(clHighlightText),
      hideSelectionTextColor_(clBtnText),
      treeLineColor_(clGrayText),
      fixedBandLineColor_(clWindowFrame),
      rowFooterColor_(cl3DLight),
      rowFooterTextColor_(clWindowText) {
  SetBounds(0, 0, 250, 150);
  SetColor(clWindow);
  SetTabStop(true);
  SetControlStyle(csCaptureMouse | csOpaque | csDoubleClicks | csClickEvents);
  previewFont_.SetColor(MakeRGB(0, 0, 255));
  for (gui::Font* f : {&bandFont_, &headerFont_, &previewFont_})
    f->OnChange = [this](GraphicsObject&) { SubFontChanged(); };
  lastHit_.Pt = {-1000, -1000};
}

TCustomGridTreeList::~TCustomGridTreeList() {
  DestroyNodes();
  SetImages(nullptr);
  SetStateImages(nullptr);
}

void TCustomGridTreeList::DestroyNodes() {
  if (destroyingNodes_) return;
  destroyingNodes_ = true;
  MarkDestroying();
  hotRow_ = -1;
  hotNode_ = nullptr;
  // An open edit ends as on any other way out (the value stored, OnEdited),
  // only unchecked: nothing is left to keep a refused value open in.
  HideEditor(false);
  StopAutoScroll(*this);
  InvalidateRowCache();
  ClearNodes();
}

void TCustomGridTreeList::Loaded() {
  TCustomGridContainer::Loaded();
  LayoutChanged();
}

void TCustomGridTreeList::HandleCreated() {
  TCustomGridContainer::HandleCreated();
  LayoutChanged();
}

// ------------------------------------------------------------------ nodes

TGridTreeListNode* TCustomGridTreeList::Items(int index) const {
  return index >= 0 && index < roots_.Count() ? roots_.At(index) : nullptr;
}

TGridTreeListNode* TCustomGridTreeList::Add() { return Insert(nullptr); }

TGridTreeListNode* TCustomGridTreeList::Insert(TGridTreeListNode* beforeNode) {
  const int index = beforeNode ? roots_.IndexOf(beforeNode) : roots_.Count();
  if (beforeNode && (beforeNode->Parent() || index < 0))
    RaiseTreeListError("Invalid BeforeNode: not a root node of this TCustomGridTreeList");
  TGridTreeListNode* node = CreateNode();
  roots_.Insert(index, node);
  NodeAdded(node);
  return node;
}

TGridTreeListNode* TCustomGridTreeList::GetLastVisibleNode() const {
  return roots_.Empty() ? nullptr : roots_.Back()->GetLastVisibleDescendant();
}

void TCustomGridTreeList::ClearNodes() {
  TGridUpdateScope scope(*this, !Destroying());
  const bool oldDeletingAll = deletingAll_;
  clearing_ = true;
  InvalidateRowCache();
  deletingAll_ = true;
  std::exception_ptr failure;
  try {
    ClearSelection();
    SetTopVisibleNode(nullptr);
  } catch (...) {
    failure = std::current_exception();
  }
  focusedNode_ = nullptr;
  hotRow_ = -1;
  hotNode_ = nullptr;
  dragNode_ = nullptr;
  pressNode_ = nullptr;
  press_.FocusedBefore = nullptr;
  KillEditorTimer();
  SetAnchor(nullptr);
  // Every node goes whatever a handler throws; the first failure travels.
  // A root leaves the list before its subtree goes, so that what the
  // handlers of OnDeletion read (Count, Items, the navigation) is alive.
  while (!roots_.Empty()) {
    TGridTreeListNode* root = roots_.Front();
    roots_.RemoveAt(0);
    try {
      root->Delete();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  deletingAll_ = oldDeletingAll;
  clearing_ = false;
  if (failure) std::rethrow_exception(failure);
}

void TCustomGridTreeList::NodeAdded(TGridTreeListNode* node) {
  hotRow_ = -1;
  hotNode_ = nullptr;
  if (!topVisibleNode_) SetTopVisibleNode(node);
  if (!focusedNode_) focusedNode_ = topVisibleNode_;
  if (!node->IsVisible()) return;  // the rows are as they were
  if (Locked() || Loading() || Destroying()) {
    InvalidateRowCache();
    return;
  }
  // A node that becomes the last row (a list being filled) joins the cache
  // as it is; anything else rebuilds it.
  if (RowCacheValid() && !WalkNextVisible(node) && WalkPrevVisible(node) == (rows_.empty() ? nullptr : rows_.back())) {
    node->row_ = int(rows_.size());
    node->rowGeneration_ = rowGeneration_;
    rows_.push_back(node);
    ClampTopRow();
    UpdateScrollBars();
  } else {
    LayoutChanged();
  }
  TGridTreeListNode* from = node->GetPrevSiblingOrParent();
  InvalidateRowsFrom(from ? from : node);
}

void TCustomGridTreeList::FireDeletion(TGridTreeListNode* node) {
  if (node == editingNode_) CancelEdit();
  if (OnDeletion) OnDeletion(this, node);
}

void TCustomGridTreeList::NodeDeleted(TGridTreeListNode* node, TGridTreeListNode* prevSiblingOrParent,
                                      TGridTreeListNode* nextVisible, bool wasLast, bool wasVisible) {
  FireDeletion(node);
  if (deletingAll_) return;
  RemoveFromSelection(node);
  if (pressNode_ == node) pressNode_ = nullptr;
  if (press_.FocusedBefore == node) press_.FocusedBefore = nullptr;
  if (editorTimer_.Node == node) KillEditorTimer();
  if (dragNode_ == node) dragNode_ = nullptr;
  if (hotNode_ == node) hotNode_ = nullptr;
  hotRow_ = -1;
  if (roots_.Empty()) {
    if (!Destroying() && !clearing_) InvalidateRowCache();
    topVisibleNode_ = nullptr;
    focusedNode_ = nullptr;
    SetAnchor(nullptr);
    pressNode_ = nullptr;
    if (!Destroying()) Invalidate();
    return;
  }
  TGridTreeListNode* replacement = prevSiblingOrParent ? prevSiblingOrParent : nextVisible;
  if (topVisibleNode_ == node) SetTopVisibleNode(replacement);
  if (focusedNode_ == node) focusedNode_ = replacement;
  if (Anchor() == node) SetAnchor(replacement);
  if (wasVisible && !Locked()) {
    if (quietLayout_ > 0)
      layoutPending_ = true;
    else
      LayoutChanged();
  }
  if (wasVisible) InvalidateRowsFrom(focusedNode_ ? focusedNode_ : topVisibleNode_);
}

bool TCustomGridTreeList::DoExpanding(TGridTreeListNode* node) {
  bool allow = true;
  if (OnExpanding) OnExpanding(this, node, allow);
  return allow;
}

bool TCustomGridTreeList::DoCollapsing(TGridTreeListNode* node) {
  bool allow = true;
  if (OnCollapsing) OnCollapsing(this, node, allow);
  return allow;
}

void TCustomGridTreeList::DoExpanded(TGridTreeListNode* node) {
  if (OnExpanded) OnExpanded(this, node);
}

void TCustomGridTreeList::DoCollapsed(TGridTreeListNode* node) {
  if (OnCollapsed) OnCollapsed(this, node);
}

bool TCustomGridTreeList::FocusForCollapse(TGridTreeListNode* node) {
  node->SetFocused(true);
  return true;
}

TGridValue TCustomGridTreeList::GetNodeValue(const TGridTreeListNode* node, int column) const {
  return TGridValue::FromText(GetNodeString(node, column));
}

int TCustomGridTreeList::CompareNodes(const TGridTreeListNode* a, const TGridTreeListNode* b) const {
  return CompareIdentity(a, b);
}

int TCustomGridTreeList::DoCompare(const TGridTreeListNode* a, const TGridTreeListNode* b) {
  int compare = 0;
  if (OnCompare) OnCompare(this, a, b, compare);
  return compare;
}

void TCustomGridTreeList::MakeNodeVisible(TGridTreeListNode* node) {
  if (!node) return;
  if (!node->IsVisible()) {
    TGridUpdateScope scope(*this, !Locked());
    for (TGridTreeListNode* p = node->Parent(); p; p = p->Parent())
      if (!p->Expanded()) p->SetExpanded(true);
  }
  const int row = NodeRowIndex(node);
  if (row < 0) return;  // a veto kept an ancestor closed
  const int top = TopIndex();
  if (row < top) {
    SetTopIndex(row);
  } else if (row >= top + FullyVisibleRowCount()) {
    // The row goes to the bottom: the top is the first row from which it
    // still fits.
    const int rowsHeight = std::max(0, ClientHeight() - (HeaderPanelHeight() + BandPanelHeight() +
                                                          TopPanelHeight() + FooterHeight()));
    int newTop = row, used = NodeHeight(node);
    while (newTop > 0) {
      const int h = NodeHeight(NodeAtRow(newTop - 1));
      if (used + h > rowsHeight) break;
      used += h;
      --newTop;
    }
    SetTopIndex(newTop);
  }
}

// ------------------------------------------------------------------ update bracket

void TCustomGridTreeList::BeginUpdate() {
  // The edit ends first: a value its editor turns down leaves by exception
  // before anything here has changed.
  HideEditor(false);
  ++lockCount_;
  if (state_ == tsNodeDown) releaseMayOpenEditor_ = true;
  hotRow_ = -1;
  hotNode_ = nullptr;
  // Rows come and go under the mouse (a search result, an expansion, a
  // sort): the grid goes idle, but a drag of its nodes goes on to its drop.
  ReturnToIdle();
  if (!deletingAll_) InvalidateRowCache();
  BeginSelectionUpdate();
}

void TCustomGridTreeList::EndUpdate() {
  if (lockCount_ == 0) return;  // no bracket to close
  if (--lockCount_ == 0 && !Destroying()) LayoutChanged();
  EndSelectionUpdate();
}

void TCustomGridTreeList::BeginSelectionUpdate() {
  if (selectionLock_++ == 0) selectionCountAtBegin_ = SelectedCount();
}

void TCustomGridTreeList::EndSelectionUpdate() {
  if (selectionLock_ == 0) return;
  if (--selectionLock_ == 0 && SelectedCount() != selectionCountAtBegin_) SelectedCountChanged();
}

void TCustomGridTreeList::SelectedCountChanged() {
  if (selectionLock_ > 0 || Destroying()) return;
  if (OnSelectedCountChange) OnSelectedCountChange(this);
}

// ------------------------------------------------------------------ text

std::string TCustomGridTreeList::GetSelectedText() {
  plat::StringList lines;
  lines.Add(GetHeaderLine());
  if (IsMultiSelect()) {
    std::vector<TGridTreeListNode*> nodes;
    for (int i = 0; i < SelectedCount(); ++i) nodes.push_back(SelectedNodes(i));
    std::function<bool(TGridTreeListNode* const&, TGridTreeListNode* const&)> less =
        [](TGridTreeListNode* const& a, TGridTreeListNode* const& b) { return CompareNodeOrder(a, b) < 0; };
    SafeStableSort(nodes, less);
    for (TGridTreeListNode* n : nodes) lines.Add(GetNodeLine(n));
  } else if (focusedNode_) {
    lines.Add(GetNodeLine(focusedNode_));
  }
  return lines.Text();
}

void TCustomGridTreeList::CopySelectedToClipboard() { TheClipboard().SetText(GetSelectedText()); }

void TCustomGridTreeList::GetAllText(plat::StringList& lines) {
  lines.Add(GetHeaderLine());
  for (TGridTreeListNode* n = GetFirstNode(); n; n = n->GetNextVisible()) lines.Add(GetNodeLine(n));
}

// ------------------------------------------------------------------ focus

int TCustomGridTreeList::FocusedColumn() const {
  if (IsRowSelect() || focusedColumn_ < 0 || focusedColumn_ >= VisibleColumnCount()) return 0;
  return focusedColumn_;
}

int TCustomGridTreeList::FocusedAbsoluteIndex() const { return VisibleIndexToAbsolute(FocusedColumn()); }

void TCustomGridTreeList::SetFocusedColumn(int visibleIndex) {
  SetFocusedNode(focusedNode_, visibleIndex, false);
}

void TCustomGridTreeList::SetFocusedNode(TGridTreeListNode* node, int column, bool makeVisible) {
  HideEditor(false);
  TGridTreeListNode* old = focusedNode_;
  // The column as it reads (0 with aoRowSelect or when out of range).
  const int oldColumn = FocusedColumn();
  focusedNode_ = node;
  focusedColumn_ = column;
  const bool columnChanged = FocusedColumn() != oldColumn;
  if (node && makeVisible) MakeNodeVisible(node);
  if (old != node) {
    RefreshNode(old, false);
    RefreshNode(node, false);
  } else if (columnChanged) {
    RefreshNode(node, false);
  }
  // The search's own steps move the focus without ending it.
  if (searching_ && ((old != node && searchStep_ == 0) || columnChanged)) EndIncrementalSearch();
  if (old != node && OnChangeNode) OnChangeNode(this, old, node);
  if (columnChanged && OnChangeColumn) OnChangeColumn(this, node, FocusedColumn());
}

void TCustomGridTreeList::SetNewItemRowFocused(bool v) {
  if (v && !NewItemRowShown()) return;
  if (v == newItemRowFocused_) return;
  newItemRowFocused_ = v;
  if (HandleAllocated() && !Destroying()) {
    TTreeListDrawInfo info;
    CalcAreaRects(info);
    InvalidateRect(info.NewItemRow);
  }
  RefreshNode(focusedNode_, false);
}

void TCustomGridTreeList::FocusRow(int rowIndex) {
  const int rows = RowCount();
  if (rows == 0) return;
  SetFocusedNode(NodeAtRow(std::clamp(rowIndex, 0, rows - 1)), FocusedColumn(), true);
}

void TCustomGridTreeList::SetTopVisibleNode(TGridTreeListNode* node) {
  const bool changed = node != topVisibleNode_;
  if (changed) HideCellHint();  // scrolled: the cell under it moved
  topVisibleNode_ = node;
  if (changed && !Locked() && !Destroying()) {
    UpdateScrollBars();
    Invalidate();
    if (Editing()) PlaceEditor();
  }
  if (OnChangeTopVisibleNode) OnChangeTopVisibleNode(this);
}

int TCustomGridTreeList::DirectionToAnchor(const TGridTreeListNode* node) const {
  const TGridTreeListNode* anchor = Anchor();
  if (!anchor || !node || anchor == node) return 0;
  return CompareNodeOrder(anchor, node) > 0 ? -1 : 1;
}

int TCustomGridTreeList::IndicatorKind(const TGridTreeListNode* node, bool selected) const {
  if (node && node == focusedNode_) return selected && IsMultiSelect() ? 5 : 1;
  return selected ? 4 : 0;
}

bool TCustomGridTreeList::CanEditFocused() const {
  return HasOption(aoEditing) && !IsRowSelect() && FocusedAbsoluteIndex() >= 0;
}

bool TCustomGridTreeList::HasFocus() const {
  if (Editing() && EditorHasFocus()) return true;
  const uintptr_t focused = Peers().FocusedHandle();
  if (!focused) return false;
  const Control* c = Control::FromHandle(focused);
  return c && ContainsControl(c);
}

bool TCustomGridTreeList::IsDragging() const {
  const DragObject* d = CurrentDrag();
  return d && d->Started();
}

bool TCustomGridTreeList::MouseOverGrid() const {
  if (!HandleAllocated()) return false;
  return ClientRect().Contains(ScreenToClient(Env().CursorPos()));
}

gui::Color TCustomGridTreeList::GridColor() const { return DefaultedColor(gridLineColor_, clBtnShadow); }

void TCustomGridTreeList::LevelColor(int level, gui::Color& color) {
  if (OnGetLevelColor) OnGetLevelColor(this, level, color);
}

int TCustomGridTreeList::FooterLevel(const TGridTreeListNode* node, int index) const {
  return node ? node->Level() - 1 - index : -1;
}

// ------------------------------------------------------------------ messages

void TCustomGridTreeList::WndProc(Message& m) {
  if (m.Msg == WM_KEYDOWN || m.Msg == WM_SYSKEYDOWN) HideCellHint();
  if (m.Msg == WM_VSCROLL || m.Msg == WM_HSCROLL) {
    ScrollMessage(m.Msg == WM_VSCROLL ? SB_VERT : SB_HORZ, LoWord(intptr_t(m.WParam)),
                  HiWordSigned(intptr_t(m.WParam)));
    m.Result = 0;
    return;
  }
  if (m.Msg != WM_LBUTTONDBLCLK) {
    TCustomGridContainer::WndProc(m);
    return;
  }
  // The point of the grid's own double-click, for DblClick, which fires
  // after the press (or here, when the press stopped short).
  struct Forget {
    std::optional<Point>& p;
    bool& pending;
    ~Forget() {
      p.reset();
      pending = false;
    }
  } forget{dblClickPoint_, dblClickPending_};
  dblClickPoint_ = PointFromLParam(m.LParam);
  TCustomGridContainer::WndProc(m);
  FirePendingDblClick();
}

void TCustomGridTreeList::Timer(uintptr_t id) {
  if (id == kEditorTimerId) {
    KillTimer(id);
    if (state_ == tsNone) ShowEditorFromTimer();
    editorTimer_ = {};
    return;
  }
  if (id == kHintTimerId) {
    ShowGridHint();
    return;
  }
  // Scrolling moves pixels: what is drawn over them goes first.
  HideTrackingFeedback();
  struct Show {
    TCustomGridTreeList& grid;
    ~Show() { grid.ShowTrackingFeedback(); }
  } show{*this};
  AutoScrollTimerTick(*this, id);
}
