// The tree list's relayout: the row cache (row index <-> node), the layout
// metrics, the top row and the scroll bars; the row and column mapping;
// repainting rows.
#include <algorithm>
#include <climits>

#include "gui/graphics_backend.h"
#include "gui/text_measurer.h"
#include "treelist/custom_tree_list.h"

using namespace gui;

// ------------------------------------------------------------------ row cache

void TCustomGridTreeList::InvalidateRowCache() {
  rowCacheValid_ = false;
  rows_.clear();
  if (++rowGeneration_ == 0) rowGeneration_ = 1;
}

void TCustomGridTreeList::RebuildRowCache() {
  InvalidateRowCache();
  for (TGridTreeListNode* n = GetFirstNode(); n; n = WalkNextVisible(n)) {
    n->row_ = int(rows_.size());
    n->rowGeneration_ = rowGeneration_;
    rows_.push_back(n);
  }
  rowCacheValid_ = true;
}

// Outside a deletion or a clearing the cache is rebuilt on demand, so the
// row mapping answers quickly inside an update bracket too.
bool TCustomGridTreeList::EnsureRowCache() const {
  if (RowCacheValid()) return true;
  if (clearing_ || Destroying() || quietLayout_ > 0) return false;
  const_cast<TCustomGridTreeList*>(this)->RebuildRowCache();
  return true;
}

TGridTreeListNode* TCustomGridTreeList::WalkNextVisible(const TGridTreeListNode* node) const {
  if (node->Expanded() && node->Count() > 0) return node->GetFirstChild();
  for (const TGridTreeListNode* n = node; n; n = n->Parent())
    if (TGridTreeListNode* next = n->GetNextSibling()) return next;
  return nullptr;
}

TGridTreeListNode* TCustomGridTreeList::WalkPrevVisible(const TGridTreeListNode* node) const {
  TGridTreeListNode* prev = node->GetPrevSibling();
  return prev ? prev->GetLastVisibleDescendant() : node->Parent();
}

TGridTreeListNode* TCustomGridTreeList::NextVisibleNode(const TGridTreeListNode* node) const {
  if (!node) return nullptr;
  if (RowCacheValid() && node->rowGeneration_ == rowGeneration_) {
    const size_t next = size_t(node->row_) + 1;
    return next < rows_.size() ? rows_[next] : nullptr;
  }
  return WalkNextVisible(node);
}

TGridTreeListNode* TCustomGridTreeList::PrevVisibleNode(const TGridTreeListNode* node) const {
  if (!node) return nullptr;
  if (RowCacheValid() && node->rowGeneration_ == rowGeneration_)
    return node->row_ > 0 ? rows_[size_t(node->row_) - 1] : nullptr;
  return WalkPrevVisible(node);
}

int TCustomGridTreeList::RowCount() const {
  if (EnsureRowCache()) return int(rows_.size());
  int count = 0;
  for (TGridTreeListNode* n = GetFirstNode(); n; n = WalkNextVisible(n)) ++count;
  return count;
}

TGridTreeListNode* TCustomGridTreeList::NodeAtRow(int rowIndex) const {
  if (rowIndex < 0) return nullptr;
  if (EnsureRowCache()) return size_t(rowIndex) < rows_.size() ? rows_[size_t(rowIndex)] : nullptr;
  TGridTreeListNode* n = GetFirstNode();
  for (int i = 0; n && i < rowIndex; ++i) n = WalkNextVisible(n);
  return n;
}

int TCustomGridTreeList::NodeRowIndex(const TGridTreeListNode* node) const {
  if (!node || node->Owner() != this) return -1;
  if (EnsureRowCache()) return node->rowGeneration_ == rowGeneration_ ? node->row_ : -1;
  if (!node->IsVisible()) return -1;
  int row = 0;
  for (TGridTreeListNode* n = GetFirstNode(); n; n = WalkNextVisible(n), ++row)
    if (n == node) return row;
  return -1;
}

// ------------------------------------------------------------------ metrics

int TCustomGridTreeList::NodePreviewLines(const TGridTreeListNode* node) const {
  if (!HasOption(aoPreview)) return 0;
  const int limit = std::max(0, previewLines_);
  if (!HasOption(aoAutoCalcPreviewLines) || !node) return limit;
  // The preview spans the bands, right of the node's tree part.
  int width = 0;
  for (const TTreeListLayoutBand& b : layout_) width += b.Width;
  const int tree = IndentGeometry(node, Rect(0, 0, width, rowLineHeight_), width).CellLeft;
  if (!measureBitmap_) measureBitmap_ = std::make_unique<Bitmap>(1, 1);
  int height = 0;
  return CalcTextLines(measureBitmap_->GetCanvas(), PreviewText(node), width - tree, previewLineHeight_, height,
                       indentDesc_, false, previewFont_, limit);
}

int TCustomGridTreeList::NodeFooterCount(const TGridTreeListNode* node) const {
  if (!showRowFooter_ || !node || (node->Expanded() && node->Count() > 0)) return 0;
  int count = 0;
  for (const TGridTreeListNode* n = node; n->Parent() && n->IsLast(); n = n->Parent()) ++count;
  return count;
}

int TCustomGridTreeList::NodeHeight(const TGridTreeListNode* node) const {
  const int preview = NodePreviewLines(node);
  return rowLineHeight_ * linesPerRecord_ + (preview ? preview * previewLineHeight_ + 2 : 0) +
         NodeFooterCount(node) * RowFooterHeight() + (showGrid_ ? rowSeparatorLineWidth_ : 0);
}

int TCustomGridTreeList::FooterHeight() const {
  if (!showFooter_) return 0;
  return footerLineHeight_ * linesPerRecord_ + 3 + (LookAndFeel() == lfStandard ? 1 : 0);
}

void TCustomGridTreeList::CalcMetrics() {
  const TextMeasurer& m = Measurer();
  const int textHeight = m.LineHeight(Font());
  int rowLine = AdjustRowHeight(textHeight);
  rowLine = std::max({rowLine, ImageHeight() + 1, StateImageHeight() + 1});
  rowLineHeight_ = rowHeight_ > 0 ? rowHeight_ : rowLine;
  headerLineHeight_ =
      headerPanelRowHeight_ > 0 ? headerPanelRowHeight_ : AdjustRowHeight(m.LineHeight(headerFont_));
  headerLineCount_ = 1;
  for (const TTreeListLayoutBand& b : layout_) headerLineCount_ = std::max(headerLineCount_, int(b.Rows.size()));
  linesPerRecord_ = headerLineCount_;
  headerPanelHeight_ = headerLineHeight_ * headerLineCount_;
  bandLineCount_ = 1;
  bandPanelHeight_ =
      (bandPanelRowHeight_ > 0 ? bandPanelRowHeight_ : AdjustRowHeight(m.LineHeight(bandFont_))) * bandLineCount_;
  previewLineHeight_ = m.LineHeight(previewFont_);
  footerLineHeight_ = textHeight + 7;
  defaultRowHeight_ = rowLineHeight_ * linesPerRecord_;
}

int TCustomGridTreeList::RowsAreaHeight() const {
  TTreeListDrawInfo info;
  CalcAreaRects(info);
  return info.Rows.Height();
}

void TCustomGridTreeList::CountFullyVisibleRows() {
  const int height = RowsAreaHeight();
  int used = 0, count = 0;
  for (int row = TopIndex();; ++row) {
    const TGridTreeListNode* node = NodeAtRow(row);
    const int h = node ? NodeHeight(node) : std::max(1, defaultRowHeight_);
    if (used + h > height) break;
    used += h;
    ++count;
  }
  fullyVisibleRows_ = std::max(1, count);
}

int TCustomGridTreeList::TopRowShowing(int bottomRow) const {
  const int height = RowsAreaHeight();
  int top = bottomRow, used = NodeHeight(NodeAtRow(bottomRow));
  while (top > 0) {
    const int h = NodeHeight(NodeAtRow(top - 1));
    if (used + h > height) break;
    used += h;
    --top;
  }
  return top;
}

void TCustomGridTreeList::ClampTopRow() {
  const int rows = RowCount();
  if (rows == 0) {
    fullyVisibleRows_ = 1;
    return;
  }
  TGridTreeListNode* top = topVisibleNode_;
  if (top && !top->IsVisible()) {
    while (!top->IsVisible()) top = top->Parent();
  }
  if (!top) top = GetFirstNode();
  // No empty rows below the last one while rows are scrolled off the top.
  const int maxTop = TopRowShowing(rows - 1);
  if (NodeRowIndex(top) > maxTop) top = NodeAtRow(maxTop);
  if (top != topVisibleNode_) SetTopVisibleNode(top);
  CountFullyVisibleRows();
}

void TCustomGridTreeList::LayoutChanged() {
  if (Locked()) {
    InvalidateRowCache();
    return;
  }
  if (Destroying()) return;
  if (layingOut_) {  // from a handler or a resize while laying out: once more
    relayoutPending_ = true;
    return;
  }
  {
    layingOut_ = true;
    struct Done {
      bool& flag;
      ~Done() { flag = false; }
    } done{layingOut_};
    for (int pass = 0; pass < 3; ++pass) {
      relayoutPending_ = false;
      layout_.clear();
      BuildLayout(layout_);
      CalcMetrics();
      RebuildRowCache();
      ClampTopRow();
      leftCoord_ = std::clamp(leftCoord_, 0, std::max(0, ContentWidth() - VisibleWidth()));
      UpdateScrollBars();  // a bar that comes or goes resizes the window
      if (!relayoutPending_) break;
    }
  }
  if (HandleAllocated()) Invalidate();
  FollowEditedColumn();
  if (Editing()) PlaceEditor();
}

void TCustomGridTreeList::UpdateScrollBars() {
  if (!HandleAllocated() || Locked() || Destroying()) return;
  const bool vert = scrollBars_ == ssVertical || scrollBars_ == ssBoth;
  const bool horz = scrollBars_ == ssHorizontal || scrollBars_ == ssBoth;
  ScrollInfo v;
  v.Mask = SIF_RANGE | SIF_PAGE | SIF_POS;
  const int rows = RowCount();
  v.Max = vert && rows > 0 ? rows - 1 : 0;
  v.Page = vert ? unsigned(FullyVisibleRowCount()) : 1;
  v.Pos = vert ? TopIndex() : 0;
  SetScrollInfo(SB_VERT, v, true);
  ScrollInfo h;
  h.Mask = SIF_RANGE | SIF_PAGE | SIF_POS;
  h.Max = horz ? std::max(0, ContentWidth() - 1) : 0;
  h.Page = horz ? unsigned(std::max(0, VisibleWidth())) : 1;
  h.Pos = horz ? leftCoord_ : 0;
  SetScrollInfo(SB_HORZ, h, true);
}

void TCustomGridTreeList::Resize() {
  TCustomGridContainer::Resize();
  LayoutChanged();
}

// ------------------------------------------------------------------ scrolling

int TCustomGridTreeList::TopIndex() const { return std::max(0, NodeRowIndex(topVisibleNode_)); }

void TCustomGridTreeList::SetTopIndex(int rowIndex) {
  const int rows = RowCount();
  if (rows == 0) return;
  rowIndex = std::clamp(rowIndex, 0, TopRowShowing(rows - 1));
  TGridTreeListNode* node = NodeAtRow(rowIndex);
  if (node == topVisibleNode_) return;
  SetTopVisibleNode(node);
  CountFullyVisibleRows();
}

int TCustomGridTreeList::ContentWidth() const {
  int64_t width = 0;
  for (const TTreeListLayoutBand& b : layout_)
    if (b.Fixed == bfNone) width += b.Width;
  return int(std::min<int64_t>(width, INT_MAX));
}

int TCustomGridTreeList::VisibleWidth() const {
  int width = ClientWidth() - IndicatorWidth();
  for (const TTreeListLayoutBand& b : layout_)
    if (b.Fixed != bfNone) width -= b.Width;
  return std::max(0, width);
}

void TCustomGridTreeList::SetLeftCoord(int x) {
  x = std::clamp(x, 0, std::max(0, ContentWidth() - VisibleWidth()));
  if (x == leftCoord_) return;
  HideCellHint();  // scrolled: the cell under it moved
  leftCoord_ = x;
  if (Locked() || Destroying()) return;
  UpdateScrollBars();
  if (HandleAllocated()) Invalidate();
  FollowEditedColumn();
  if (Editing()) PlaceEditor();
}

// Scrolls so that the content range [left, right) of the scrolling bands
// shows, its left edge first.
void TCustomGridTreeList::ScrollIntoView(int left, int right) {
  const int visible = VisibleWidth();
  if (left < leftCoord_)
    SetLeftCoord(left);
  else if (right > leftCoord_ + visible)
    SetLeftCoord(std::min(right - visible, left));
}

// The scroll bars' messages: a line (a row, or an indent's width), a page
// (the rows that fit whole, or the visible width), the thumb, and the ends.
void TCustomGridTreeList::ScrollMessage(int bar, int code, int thumb) {
  const bool rows = bar == SB_VERT;
  const int pos = rows ? TopIndex() : leftCoord_;
  const int page = std::max(1, rows ? FullyVisibleRowCount() : VisibleWidth());
  const int line = rows ? 1 : kIndentWidth;
  const auto scrollTo = [&](int to) {
    if (rows)
      SetTopIndex(to);
    else
      SetLeftCoord(to);
  };
  switch (code) {
    case SB_LINEUP: scrollTo(pos - line); break;    // and SB_LINELEFT
    case SB_LINEDOWN: scrollTo(pos + line); break;  // and SB_LINERIGHT
    case SB_PAGEUP: scrollTo(pos - page); break;
    case SB_PAGEDOWN: scrollTo(pos + page); break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
      ScrollInfo info;
      info.Mask = SIF_TRACKPOS;
      scrollTo(GetScrollInfo(bar, info) && code == SB_THUMBTRACK ? info.TrackPos : thumb);
      break;
    }
    case SB_TOP: scrollTo(0); break;  // and SB_LEFT
    case SB_BOTTOM: scrollTo(rows ? RowCount() : ContentWidth()); break;
    default: break;
  }
}

void TCustomGridTreeList::MakeBandVisible(int band) {
  if (layout_.size() < 2) return;
  int x = 0;
  for (const TTreeListLayoutBand& b : layout_) {
    if (b.Band == band) {
      if (b.Fixed == bfNone) ScrollIntoView(x, x + b.Width);
      return;
    }
    if (b.Fixed == bfNone) x += b.Width;
  }
}

void TCustomGridTreeList::MakeColumnVisible(int column) {
  int x = 0;
  for (const TTreeListLayoutBand& b : layout_) {
    for (const auto& row : b.Rows) {
      const std::vector<int> widths = RowWidths(b, row);
      int cx = x;
      for (size_t i = 0; i < row.size(); ++i) {
        if (row[i].Column == column) {
          if (b.Fixed == bfNone) ScrollIntoView(cx, cx + widths[i]);
          return;
        }
        cx += widths[i];
      }
    }
    if (b.Fixed == bfNone) x += b.Width;
  }
}

int64_t TCustomGridTreeList::RowWidthSum(const std::vector<TTreeListLayoutColumn>& row) {
  int64_t sum = 0;
  for (const TTreeListLayoutColumn& c : row) sum += c.Width;
  return sum;
}

std::vector<int> TCustomGridTreeList::RowWidths(const TTreeListLayoutBand& band,
                                                const std::vector<TTreeListLayoutColumn>& row) {
  const int64_t sum = RowWidthSum(row);
  std::vector<int> widths;
  widths.reserve(row.size());
  if (sum <= 0 || sum == band.Width) {
    for (const TTreeListLayoutColumn& c : row) widths.push_back(c.Width);
    return widths;
  }
  // A row narrower or wider than its band is fitted to the band's width;
  // cumulative rounding keeps the total exact.
  int64_t cum = 0;
  int prev = 0;
  for (const TTreeListLayoutColumn& c : row) {
    cum += c.Width;
    const int edge = int((cum * band.Width + sum / 2) / sum);
    widths.push_back(edge - prev);
    prev = edge;
  }
  return widths;
}

// ------------------------------------------------------------------ columns

int TCustomGridTreeList::VisibleColumnCount() const {
  int count = 0;
  for (const TTreeListLayoutBand& b : layout_)
    for (const auto& row : b.Rows) count += int(row.size());
  return count;
}

int TCustomGridTreeList::VisibleIndexToAbsolute(int visibleIndex) const {
  if (visibleIndex < 0) return -1;
  int index = 0;
  for (int r = 0; r < headerLineCount_; ++r)
    for (const TTreeListLayoutBand& b : layout_)
      if (size_t(r) < b.Rows.size())
        for (const TTreeListLayoutColumn& c : b.Rows[size_t(r)])
          if (index++ == visibleIndex) return c.Column;
  return -1;
}

int TCustomGridTreeList::AbsoluteToVisibleIndex(int column) const {
  const int count = VisibleColumnCount();
  for (int i = 0; i < count; ++i)
    if (VisibleIndexToAbsolute(i) == column) return i;
  return 0;
}

// ------------------------------------------------------------------ repainting

bool TCustomGridTreeList::RowBounds(const TGridTreeListNode* node, Rect& out, bool& above) const {
  above = false;
  TTreeListDrawInfo info;
  CalcAreaRects(info);
  const int row = NodeRowIndex(node);
  const int top = TopIndex();
  if (row < 0) return false;
  if (row < top) {
    above = true;
    return false;
  }
  int y = info.Rows.Top;
  for (int r = top; r < row && y < info.Rows.Bottom; ++r) y += NodeHeight(NodeAtRow(r));
  if (y >= info.Rows.Bottom) return false;
  out = Rect(info.Client.Left, y, info.Client.Right, y + NodeHeight(node));
  return true;
}

void TCustomGridTreeList::RefreshNode(TGridTreeListNode* node, bool below) {
  if (!node || node->Deleting() || Locked() || Destroying() || !HandleAllocated() || !node->IsVisible())
    return;
  if (below) {
    UpdateScrollBars();
    InvalidateRowsFrom(node);
    return;
  }
  Rect r;
  bool above;
  if (RowBounds(node, r, above)) InvalidateRect(r);
}

void TCustomGridTreeList::InvalidateRowsFrom(const TGridTreeListNode* node) {
  if (!HandleAllocated() || Locked() || Destroying()) return;
  TTreeListDrawInfo info;
  CalcAreaRects(info);
  Rect r;
  bool above = true;
  if (node && !RowBounds(node, r, above) && !above) return;  // below the view
  const int top = node && !above ? r.Top : info.Rows.Top;
  InvalidateRect(Rect(info.Client.Left, top, info.Client.Right, info.Client.Bottom));
}

// ------------------------------------------------------------------ sizing and order

bool TCustomGridTreeList::BandSizable(int band) const {
  if (!HasOption(aoBandSizing) || (HasOption(aoAutoWidth) && !showBands_)) return false;
  for (const TTreeListLayoutBand& b : layout_)
    if (b.Band == band) return b.Sizable;
  return false;
}

bool TCustomGridTreeList::ColumnSizable(int column) const {
  if (!HasOption(aoColumnSizing)) return false;
  for (const TTreeListLayoutBand& b : layout_)
    for (const auto& row : b.Rows)
      for (const TTreeListLayoutColumn& c : row)
        if (c.Column == column) return c.Sizable;
  return false;
}

std::vector<TGridTreeListNode*> TCustomGridTreeList::ChildNodes(const TGridTreeListNode* parent) const {
  if (!parent) return roots_.Items();
  return parent->children_ ? parent->children_->Items() : std::vector<TGridTreeListNode*>();
}

void TCustomGridTreeList::ReorderChildren(TGridTreeListNode* parent, const std::vector<TGridTreeListNode*>& order) {
  TGridTreeListNodeList* list = parent ? parent->children_.get() : &roots_;
  if (!list || order.size() != size_t(list->Count())) return;
  list->Assign(order);
  InvalidateRowCache();
  LayoutChanged();
}
