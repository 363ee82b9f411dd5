#include "treelist/grid_tree_list.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "gui/graphics_backend.h"
#include "gui/text_measurer.h"
#include "treelist/grid_sort.h"

using namespace gui;

// ------------------------------------------------------------------ control

TCustomGridTreeListControl::TCustomGridTreeListControl(Component* owner) : TCustomGridTreeList(owner) {
  bands_.push_back(std::make_unique<TGridTreeListBand>(*this));
}

TCustomGridTreeListControl::~TCustomGridTreeListControl() {
  DestroyNodes();
  delete editor_;
}

TGridTreeListTextNode* TCustomGridTreeListControl::CreateNode() { return new TGridTreeListTextNode(this); }

TGridTreeListTextNode* TCustomGridTreeListControl::Text(TGridTreeListNode* node) {
  return static_cast<TGridTreeListTextNode*>(node);
}

const TGridTreeListTextNode* TCustomGridTreeListControl::Text(const TGridTreeListNode* node) {
  return static_cast<const TGridTreeListTextNode*>(node);
}

TGridTreeListColumn* TCustomGridTreeListControl::CreateColumn() {
  columns_.push_back(std::make_unique<TGridTreeListColumn>(*this));
  columns_.back()->colIndex_ = ColumnCount();  // after the others
  LayoutChanged();
  return columns_.back().get();
}

TGridTreeListColumn* TCustomGridTreeListControl::Columns(int index) const {
  return index >= 0 && index < ColumnCount() ? columns_[size_t(index)].get() : nullptr;
}

void TCustomGridTreeListControl::DeleteColumn(int index) {
  if (index < 0 || index >= ColumnCount()) return;
  HideEditor(false);
  if (editorColumn_ == columns_[size_t(index)].get()) DeleteEditor();
  columns_.erase(columns_.begin() + index);
  // The later columns move down one index: so do their texts.
  for (TGridTreeListNode* n = GetFirstNode(); n; n = n->GetNext()) {
    std::vector<std::string>& texts = Text(n)->texts_;
    if (size_t(index) < texts.size()) texts.erase(texts.begin() + index);
  }
  LayoutChanged();
}

TGridTreeListBand* TCustomGridTreeListControl::CreateBand() {
  bands_.push_back(std::make_unique<TGridTreeListBand>(*this));
  LayoutChanged();
  return bands_.back().get();
}

TGridTreeListBand* TCustomGridTreeListControl::Bands(int index) const {
  return index >= 0 && index < BandCount() ? bands_[size_t(index)].get() : nullptr;
}

void TCustomGridTreeListControl::DeleteBand(int index) {
  if (index <= 0 || index >= BandCount()) return;  // band 0 stays
  bands_.erase(bands_.begin() + index);
  LayoutChanged();
}

TGridTreeListColumn* TCustomGridTreeListControl::VisibleColumns(int visibleIndex) const {
  return Columns(VisibleIndexToAbsolute(visibleIndex));
}

TGridTreeListColumn* TCustomGridTreeListControl::FocusedColumnObject() const {
  return Columns(FocusedAbsoluteIndex());
}

void TCustomGridTreeListControl::BuildLayout(std::vector<TTreeListLayoutBand>& layout) const {
  for (const auto& band : bands_) {
    if (!band->Visible()) continue;
    TTreeListLayoutBand lb;
    lb.Band = band->Index();
    lb.Fixed = band->Fixed();
    lb.Sizable = band->Sizing();
    std::vector<const TGridTreeListColumn*> cols;
    for (const auto& col : columns_)
      if (col->Visible() && col->BandIndex() == lb.Band) cols.push_back(col.get());
    std::stable_sort(cols.begin(), cols.end(), [](const TGridTreeListColumn* a, const TGridTreeListColumn* b) {
      return a->ColIndex() < b->ColIndex();
    });
    for (const TGridTreeListColumn* col : cols) {
      if (lb.Rows.size() <= size_t(col->RowIndex())) lb.Rows.resize(size_t(col->RowIndex()) + 1);
      lb.Rows[size_t(col->RowIndex())].push_back({col->Index(), col->Width(), col->Sizing(), false});
    }
    // Header rows left empty between used ones do not count.
    lb.Rows.erase(std::remove_if(lb.Rows.begin(), lb.Rows.end(), [](const auto& r) { return r.empty(); }),
                  lb.Rows.end());
    int64_t widest = 0;
    for (const auto& row : lb.Rows) widest = std::max(widest, TCustomGridTreeList::RowWidthSum(row));
    lb.Width = band->Width() > 0 ? band->Width() : int(std::min<int64_t>(widest, INT_MAX));
    layout.push_back(std::move(lb));
  }
}

int TCustomGridTreeListControl::ColumnMinWidth(int column) const {
  const TGridTreeListColumn* c = Columns(column);
  return c ? c->MinWidth() : 4;
}

void TCustomGridTreeListControl::SetColumnWidth(int column, int width) {
  if (TGridTreeListColumn* c = Columns(column)) c->SetWidth(width);
  if (OnChangedColumnsWidth) OnChangedColumnsWidth(this);
}

void TCustomGridTreeListControl::SetBandWidth(int band, int width) {
  if (TGridTreeListBand* b = Bands(band)) b->SetWidth(width);
  if (OnChangedColumnsWidth) OnChangedColumnsWidth(this);
}

void TCustomGridTreeListControl::MoveColumn(int column, int position) {
  TGridTreeListColumn* moving = Columns(column);
  if (!moving) return;
  std::vector<TGridTreeListColumn*> row;  // its header row's visible columns, in order
  for (const TTreeListLayoutBand& b : Layout())
    if (b.Band == moving->BandIndex() && size_t(moving->RowIndex()) < b.Rows.size())
      for (const TTreeListLayoutColumn& c : b.Rows[size_t(moving->RowIndex())]) row.push_back(Columns(c.Column));
  auto from = std::find(row.begin(), row.end(), moving);
  if (from == row.end()) return;
  const size_t to = size_t(std::clamp(position, 0, int(row.size())));
  const size_t old = size_t(from - row.begin());
  if (to == old || to == old + 1) return;
  row.erase(from);
  row.insert(row.begin() + std::ptrdiff_t(to > old ? to - 1 : to), moving);
  // The absolute indexes (and the texts of the nodes) stay; the places change.
  for (size_t i = 0; i < row.size(); ++i) row[i]->colIndex_ = int(i);
  LayoutChanged();
}

void TCustomGridTreeListControl::MoveBand(int band, int position) {
  if (!Bands(band)) return;
  std::vector<int> visible;  // band indexes in display order
  for (int i = 0; i < BandCount(); ++i)
    if (Bands(i)->Visible()) visible.push_back(i);
  const int before = position >= 0 && size_t(position) < visible.size() ? visible[size_t(position)] : BandCount();
  if (before == band) return;
  std::vector<int> order;  // old indexes in their new order
  for (int i = 0; i < BandCount(); ++i) {
    if (i == before) order.push_back(band);
    if (i != band) order.push_back(i);
  }
  if (before == BandCount()) order.push_back(band);
  std::vector<int> newIndex(static_cast<size_t>(BandCount()));
  std::vector<std::unique_ptr<TGridTreeListBand>> moved;
  for (size_t i = 0; i < order.size(); ++i) {
    newIndex[size_t(order[i])] = int(i);
    moved.push_back(std::move(bands_[size_t(order[i])]));
  }
  bands_.swap(moved);
  for (const auto& c : columns_) c->bandIndex_ = newIndex[size_t(std::min(c->BandIndex(), BandCount() - 1))];
  LayoutChanged();
}

void TCustomGridTreeListControl::FontChanged() {
  for (const auto& col : columns_)
    if (!col->FontAssigned()) col->SyncFont(Font());
  TCustomGridTreeList::FontChanged();
}

std::vector<TGridTreeListColumn*> TCustomGridTreeListControl::SortedColumns() const {
  std::vector<TGridTreeListColumn*> sorted;
  for (const auto& col : columns_)
    if (col->Sorted() != csNone) sorted.push_back(col.get());
  std::function<bool(TGridTreeListColumn* const&, TGridTreeListColumn* const&)> less =
      [](TGridTreeListColumn* const& a, TGridTreeListColumn* const& b) {
        return CompareColumnSortOrder(a->SortOrder(), b->SortOrder()) < 0;
      };
  SafeStableSort(sorted, less);
  return sorted;
}

void TCustomGridTreeListControl::ColumnBestFit(int column) {
  if (!Columns(column)) return;
  FitColumn(column);
  if (OnChangedColumnsWidth) OnChangedColumnsWidth(this);
}

void TCustomGridTreeListControl::FitColumn(int column) {
  TGridTreeListColumn* col = Columns(column);
  if (!col) return;
  const TextMeasurer& m = Measurer();
  int width = m.TextExtent(HeaderFont(), col->Caption()).Width;
  TTreeListDrawInfo info;
  const bool tree = !Layout().empty() && !Layout()[0].Rows.empty() && !Layout()[0].Rows[0].empty() &&
                    Layout()[0].Rows[0][0].Column == column;
  for (TGridTreeListNode* n = GetFirstNode(); n; n = n->GetNextVisible()) {
    int w = m.TextExtent(col->Font(), GetNodeString(n, column)).Width;
    if (tree) w += IndentGeometry(n, Rect(0, 0, 1 << 20, 1), 1 << 20).CellLeft;
    width = std::max(width, w);
  }
  col->SetWidth(width + 8);
}

void TCustomGridTreeListControl::BandBestFit(int band) {
  std::vector<int> columns;
  for (const TTreeListLayoutBand& b : Layout())
    if (b.Band == band)
      for (const auto& row : b.Rows)
        for (const TTreeListLayoutColumn& c : row) columns.push_back(c.Column);
  if (columns.empty()) return;
  {
    TGridUpdateScope scope(*this);
    for (int c : columns) FitColumn(c);
  }
  if (OnChangedColumnsWidth) OnChangedColumnsWidth(this);
}

int TCustomGridTreeListControl::CompareNodes(const TGridTreeListNode* a, const TGridTreeListNode* b) const {
  if (a->Parent() != b->Parent()) return CompareIdentity(a, b);
  const int ia = a->Index(), ib = b->Index();
  return ia < ib ? -1 : (ia > ib ? 1 : 0);
}

void TCustomGridTreeListControl::ColumnClick(int column, bool addToSort, bool unsort) {
  TGridTreeListColumn* col = Columns(column);
  if (!col) return;
  if (unsort) {
    col->sorted_ = csNone;
    if (HandleAllocated()) Invalidate();  // its sort mark goes
    SortNodes();
    if (OnColumnClick) OnColumnClick(this, col);
    return;
  }
  const TGridTreeListColumnSort next = col->Sorted() == csUp ? csDown : csUp;
  if (!(addToSort && HasOption(aoMultiSort))) {
    for (const auto& c : columns_)
      if (c.get() != col) c->sorted_ = csNone;
    col->SetSortOrder(0);
  } else if (col->Sorted() == csNone) {
    int order = 0;
    for (const auto& c : columns_)
      if (c->Sorted() != csNone) order = std::max(order, c->SortOrder() + 1);
    col->SetSortOrder(order);
  }
  col->sorted_ = next;
  SortNodes();
  if (OnColumnClick) OnColumnClick(this, col);
}

// ------------------------------------------------------------------ layout store

void TCustomGridTreeListControl::StoreLayout(TGridRegIniWrapper& store, const std::string& key) const {
  store.EraseSectionsStartingWith(key + "\\");
  for (int i = 0; i < ColumnCount(); ++i) {
    const TGridTreeListColumn& c = *columns_[size_t(i)];
    const std::string section = key + "\\Column" + std::to_string(i);
    store.WriteInteger(section, "Width", c.Width());
    store.WriteBool(section, "Visible", c.Visible());
    store.WriteInteger(section, "Band", c.BandIndex());
    store.WriteInteger(section, "Row", c.RowIndex());
    store.WriteInteger(section, "Place", c.ColIndex());
    store.WriteInteger(section, "Sorted", c.Sorted());
    store.WriteInteger(section, "SortOrder", c.SortOrder());
  }
  for (int i = 0; i < BandCount(); ++i) {
    const TGridTreeListBand& b = *bands_[size_t(i)];
    const std::string section = key + "\\Band" + std::to_string(i);
    store.WriteInteger(section, "Width", b.Width());
    store.WriteBool(section, "Visible", b.Visible());
    store.WriteInteger(section, "Fixed", b.Fixed());
  }
}

void TCustomGridTreeListControl::LoadLayout(const TGridRegIniWrapper& store, const std::string& key) {
  TGridUpdateScope scope(*this);
  // The store is a file the user may have edited: what it says is kept
  // within what the grid can hold. No more header rows than columns, no
  // place past the last, widths within kGridMaxWidth (their setters),
  // sort orders far from overflowing when a Shift+click adds one.
  const int columns = ColumnCount();
  for (int i = 0; i < columns; ++i) {
    TGridTreeListColumn& c = *columns_[size_t(i)];
    const std::string section = key + "\\Column" + std::to_string(i);
    c.SetWidth(store.ReadInteger(section, "Width", c.Width()));
    c.SetVisible(store.ReadBool(section, "Visible", c.Visible()));
    c.SetBandIndex(std::clamp(store.ReadInteger(section, "Band", c.BandIndex()), 0, BandCount() - 1));
    c.SetRowIndex(std::clamp(store.ReadInteger(section, "Row", c.RowIndex()), 0, columns - 1));
    c.SetColIndex(std::clamp(store.ReadInteger(section, "Place", c.ColIndex()), 0, columns));
    c.SetSorted(TGridTreeListColumnSort(std::clamp(store.ReadInteger(section, "Sorted", c.Sorted()), 0, 2)));
    c.SetSortOrder(std::clamp(store.ReadInteger(section, "SortOrder", c.SortOrder()), 0, kMaxStoredSortOrder));
  }
  for (int i = 0; i < BandCount(); ++i) {
    TGridTreeListBand& b = *bands_[size_t(i)];
    const std::string section = key + "\\Band" + std::to_string(i);
    b.SetWidth(store.ReadInteger(section, "Width", b.Width()));
    b.SetVisible(store.ReadBool(section, "Visible", b.Visible()));
    b.SetFixed(TGridBandFixed(std::clamp(store.ReadInteger(section, "Fixed", b.Fixed()), 0, 2)));
  }
}

// ------------------------------------------------------------------ sorting

void TCustomGridTreeListControl::SortSiblings(std::vector<TGridTreeListNode*>& nodes,
                                              const std::vector<TGridTreeListColumn*>& sorted) {
  if (nodes.size() < 2) return;
  const size_t per = std::max<size_t>(1, sorted.size());
  std::vector<int> columns(sorted.size());
  for (size_t k = 0; k < sorted.size(); ++k) columns[k] = sorted[k]->Index();
  std::vector<TGridSortKey> keys(nodes.size() * per);
  for (size_t i = 0; i < nodes.size(); ++i)
    for (size_t k = 0; k < per; ++k) {
      TGridSortKey& key = keys[i * per + k];
      key.Node = nodes[i];
      if (k < sorted.size()) {
        key.Value = GetNodeValue(nodes[i], columns[k]);
        key.Descending = sorted[k]->Sorted() == csDown;
      }
      key.Next = k + 1 < sorted.size() ? &keys[i * per + k + 1] : nullptr;
    }
  std::vector<const TGridSortKey*> order(nodes.size());
  for (size_t i = 0; i < nodes.size(); ++i) order[i] = &keys[i * per];
  if (OnCompare)
    SafeStableSort(order, [](const TGridSortKey* a, const TGridSortKey* b) { return CompareByEvent(a, b) < 0; });
  else
    SortKeyChains(order, IsAnsiSort());
  for (size_t i = 0; i < nodes.size(); ++i) nodes[i] = order[i]->Node;
}

void TCustomGridTreeListControl::SortNodes() {
  const std::vector<TGridTreeListColumn*> sorted = SortedColumns();
  if (sorted.empty() && !OnCompare) return;
  TGridUpdateScope scope(*this);
  // Every list of siblings: the root list, then the children of each node
  // that has any, found in the list that holds it as that list is sorted
  // (its nodes are read for their keys then; a walk through the tree
  // afterwards would visit them again in their new order, scattered in
  // memory).
  std::vector<TGridTreeListNode*> parents{nullptr};
  while (!parents.empty()) {
    TGridTreeListNode* parent = parents.back();
    parents.pop_back();
    std::vector<TGridTreeListNode*> list = ChildNodes(parent);
    for (TGridTreeListNode* n : list)
      if (n->Count() > 0) parents.push_back(n);
    if (list.size() < 2) continue;
    SortSiblings(list, sorted);
    ReorderChildren(parent, list);
  }
  NodesReordered();
}

// ------------------------------------------------------------------ node values

int TCustomGridTreeListControl::GetNodeImageIndex(const TGridTreeListNode* node) const {
  int index = Text(node)->imageIndex_;
  if (OnGetImageIndex) OnGetImageIndex(const_cast<TCustomGridTreeListControl*>(this), const_cast<TGridTreeListNode*>(node), index);
  return index;
}

void TCustomGridTreeListControl::SetNodeImageIndex(TGridTreeListNode* node, int value) {
  if (Text(node)->imageIndex_ == value) return;
  Text(node)->imageIndex_ = value;
  RefreshNode(node, false);
}

int TCustomGridTreeListControl::GetNodeSelectedIndex(const TGridTreeListNode* node) const {
  int index = Text(node)->selectedIndex_;
  if (OnGetSelectedIndex)
    OnGetSelectedIndex(const_cast<TCustomGridTreeListControl*>(this), const_cast<TGridTreeListNode*>(node), index);
  return index;
}

void TCustomGridTreeListControl::SetNodeSelectedIndex(TGridTreeListNode* node, int value) {
  if (Text(node)->selectedIndex_ == value) return;
  Text(node)->selectedIndex_ = value;
  RefreshNode(node, false);
}

int TCustomGridTreeListControl::GetNodeStateIndex(const TGridTreeListNode* node) const {
  int index = Text(node)->stateIndex_;
  if (OnGetStateIndex)
    OnGetStateIndex(const_cast<TCustomGridTreeListControl*>(this), const_cast<TGridTreeListNode*>(node), index);
  return index;
}

void TCustomGridTreeListControl::SetNodeStateIndex(TGridTreeListNode* node, int value) {
  if (Text(node)->stateIndex_ == value) return;
  Text(node)->stateIndex_ = value;
  RefreshNode(node, false);
}

std::string TCustomGridTreeListControl::GetNodeString(const TGridTreeListNode* node, int column) const {
  const std::vector<std::string>& texts = Text(node)->texts_;
  return column >= 0 && size_t(column) < texts.size() ? texts[size_t(column)] : std::string();
}

void TCustomGridTreeListControl::SetNodeString(TGridTreeListNode* node, int column, const std::string& text) {
  if (column < 0) return;
  std::vector<std::string>& texts = Text(node)->texts_;
  if (texts.size() <= size_t(column)) texts.resize(size_t(column) + 1);
  if (texts[size_t(column)] == text) return;
  texts[size_t(column)] = text;
  RefreshNode(node, false);
}

// ------------------------------------------------------------------ painting queries

gui::Color TCustomGridTreeListControl::ColumnColor(int column) const {
  const TGridTreeListColumn* c = Columns(column);
  return c ? c->Color() : Color();
}

const gui::Font& TCustomGridTreeListControl::ColumnFont(int column) const {
  const TGridTreeListColumn* c = Columns(column);
  return c ? c->Font() : Font();
}

bool TCustomGridTreeListControl::ColumnFontAssigned(int column) const {
  const TGridTreeListColumn* c = Columns(column);
  return c && c->FontAssigned();
}

std::string TCustomGridTreeListControl::BandCaption(int band) const {
  const TGridTreeListBand* b = Bands(band);
  return b ? b->Caption() : std::string();
}

TAlignment TCustomGridTreeListControl::BandAlignment(int band) const {
  const TGridTreeListBand* b = Bands(band);
  return b ? b->Alignment() : taCenter;
}

TAlignment TCustomGridTreeListControl::HeaderAlignment(int column) const {
  const TGridTreeListColumn* c = Columns(column);
  return c ? c->HeaderAlignment() : taLeftJustify;
}

TAlignment TCustomGridTreeListControl::ColumnAlignment(int column) const {
  const TGridTreeListColumn* c = Columns(column);
  return c ? c->Alignment() : taLeftJustify;
}

std::string TCustomGridTreeListControl::HeaderCaption(int column) const {
  const TGridTreeListColumn* c = Columns(column);
  return c && !c->DisableCaption() ? c->Caption() : std::string();
}

TGridTreeListColumnSort TCustomGridTreeListControl::HeaderSortMark(int column) {
  TGridTreeListColumn* c = Columns(column);
  if (!c) return csNone;
  TGridTreeListColumnSort sorted = c->Sorted();
  if (OnColumnSorted) OnColumnSorted(this, c, sorted);
  return sorted;
}

const gui::Bitmap* TCustomGridTreeListControl::HeaderGlyph(int column) const {
  const TGridTreeListColumn* c = Columns(column);
  return c ? c->HeaderGlyph() : nullptr;
}

bool TCustomGridTreeListControl::FooterCellExists(int column) const {
  bool exists = false;
  if (TGridTreeListColumn* c = Columns(column); c && OnIsExistFooterCell)
    OnIsExistFooterCell(const_cast<TCustomGridTreeListControl*>(this), c, exists);
  return exists;
}

bool TCustomGridTreeListControl::RowFooterCellExists(const TGridTreeListNode* node, int column, int footer) const {
  bool exists = false;
  if (TGridTreeListColumn* c = Columns(column); c && OnIsExistRowFooterCell)
    OnIsExistRowFooterCell(const_cast<TCustomGridTreeListControl*>(this), const_cast<TGridTreeListNode*>(node), c,
                           footer, exists);
  return exists;
}

std::string TCustomGridTreeListControl::GetHeaderLine() const {
  std::string line;
  for (int i = 0; i < VisibleColumnCount(); ++i) {
    if (i) line += '\t';
    if (const TGridTreeListColumn* c = VisibleColumns(i)) line += c->Caption();
  }
  return line;
}

std::string TCustomGridTreeListControl::GetNodeLine(const TGridTreeListNode* node) const {
  std::string line;
  for (int i = 0; i < VisibleColumnCount(); ++i) {
    if (i) line += '\t';
    line += GetNodeString(node, VisibleIndexToAbsolute(i));
  }
  return line;
}

void TCustomGridTreeListControl::DrawCell(const TTreeListCellDrawParams& p) {
  if (!OnCustomDrawCell || !p.Node) {
    TCustomGridTreeList::DrawCell(p);
    return;
  }
  std::string text = GetNodeString(p.Node, p.Column);
  gui::Color color = p.BrushColor;
  gui::Font font;
  font.Assign(ColumnFont(p.Column));
  TAlignment alignment = ColumnAlignment(p.Column);
  bool done = false;
  OnCustomDrawCell(this, *p.Canvas, p.CellRect, p.Node, Columns(p.Column), p.Selected, p.FocusedCell, text, color,
                   font, alignment, done);
  // What the handler chose: the colour and font (the "default" marker
  // keeps the cell's), the text and the alignment.
  if (!done) PaintCell(p, text, font, DefaultedColor(font.Color(), p.TextColor), color, alignment);
}

std::string TCustomGridTreeListControl::PreviewText(const TGridTreeListNode* node) const {
  std::string text;
  if (OnGetPreviewText)
    OnGetPreviewText(const_cast<TCustomGridTreeListControl*>(this), const_cast<TGridTreeListNode*>(node), text);
  return text;
}

std::string TCustomGridTreeListControl::FooterText(const TGridTreeListNode* node, int column, int footer) const {
  std::string text;
  if (OnGetFooterText)
    OnGetFooterText(const_cast<TCustomGridTreeListControl*>(this), const_cast<TGridTreeListNode*>(node),
                    Columns(column), footer, text);
  return text;
}

void TCustomGridTreeListControl::CustomDrawBand(int band, gui::Canvas& canvas, const gui::Rect& r, std::string& text,
                                                gui::Color& color, gui::Font& font, TAlignment& alignment,
                                                bool& done) {
  if (OnCustomDrawBand) OnCustomDrawBand(this, Bands(band), canvas, r, text, color, font, alignment, done);
}

bool TCustomGridTreeListControl::CustomDrawHeaderAssigned(int column) const {
  const TGridTreeListColumn* c = Columns(column);
  return OnCustomDrawColumnHeader || (c && c->OnCustomDrawColumnHeader);
}

void TCustomGridTreeListControl::CustomDrawHeader(int column, gui::Canvas& canvas, const gui::Rect& r,
                                                  std::string& text, gui::Color& color, gui::Font& font,
                                                  TAlignment& alignment, TGridTreeListColumnSort& sorted,
                                                  bool& done) {
  TGridTreeListColumn* c = Columns(column);
  if (OnCustomDrawColumnHeader) OnCustomDrawColumnHeader(this, c, canvas, r, text, color, font, alignment, sorted, done);
  if (!done && c && c->OnCustomDrawColumnHeader)
    c->OnCustomDrawColumnHeader(this, c, canvas, r, text, color, font, alignment, sorted, done);
}

// ------------------------------------------------------------------ selection list

TGridTreeList::TGridTreeList(Component* owner) : TCustomGridTreeListControl(owner) {}

TGridTreeList::~TGridTreeList() { DestroyNodes(); }

TGridTreeListNode* TGridTreeList::SelectedNodes(int index) const {
  return index >= 0 && index < SelectedCount() ? selection_[size_t(index)] : nullptr;
}

bool TGridTreeList::IsNodeSelected(const TGridTreeListNode* node) const {
  return node && static_cast<const TGridTreeListTextNode*>(node)->selected_;
}

bool TGridTreeList::MaySelect(TGridTreeListNode* node) {
  if (!IsMultiSelect() || IsNodeSelected(node)) return false;
  bool allow = true;
  if (OnCanNodeSelected) OnCanNodeSelected(this, node, allow);
  return allow;
}

void TGridTreeList::ClearSelection() {
  if (selection_.empty()) return;
  const std::vector<TGridTreeListNode*> was = std::move(selection_);
  selection_.clear();
  for (TGridTreeListNode* n : was) {
    static_cast<TGridTreeListTextNode*>(n)->selected_ = false;
    if (!Clearing()) RefreshNode(n, false);
  }
  SelectedCountChanged();
}

namespace {

bool TreeLess(TGridTreeListNode* const& a, TGridTreeListNode* const& b) { return CompareNodeOrder(a, b) < 0; }

}  // namespace

void TGridTreeList::SetNodeSelected(TGridTreeListNode* node, bool value) {
  if (!node || value == IsNodeSelected(node)) return;
  if (value) {
    if (!MaySelect(node)) return;
    selection_.insert(std::lower_bound(selection_.begin(), selection_.end(), node, TreeLess), node);
  } else {
    selection_.erase(std::find(selection_.begin(), selection_.end(), node));
  }
  static_cast<TGridTreeListTextNode*>(node)->selected_ = value;
  RefreshNode(node, false);
  SelectedCountChanged();
}

void TGridTreeList::RemoveFromSelection(TGridTreeListNode* node) {
  if (!IsNodeSelected(node)) return;
  selection_.erase(std::find(selection_.begin(), selection_.end(), node));
  static_cast<TGridTreeListTextNode*>(node)->selected_ = false;
  SelectedCountChanged();
}

void TGridTreeList::SelectRange(TGridTreeListNode* from, TGridTreeListNode* to) {
  if (!from || !to || !IsMultiSelect()) return;
  if (CompareNodeOrder(from, to) > 0) std::swap(from, to);
  std::vector<TGridTreeListNode*> added;  // in tree order
  BeginSelectionUpdate();
  try {
    for (TGridTreeListNode* n = from; n && CompareNodeOrder(n, to) <= 0; n = n->GetNextVisible()) {
      if (n->IsVisible() && MaySelect(n)) {
        static_cast<TGridTreeListTextNode*>(n)->selected_ = true;
        added.push_back(n);
      }
    }
  } catch (...) {
    for (TGridTreeListNode* n : added) static_cast<TGridTreeListTextNode*>(n)->selected_ = false;
    EndSelectionUpdate();
    throw;
  }
  std::vector<TGridTreeListNode*> merged;
  merged.reserve(selection_.size() + added.size());
  std::merge(selection_.begin(), selection_.end(), added.begin(), added.end(), std::back_inserter(merged), TreeLess);
  selection_.swap(merged);
  for (TGridTreeListNode* n : added) RefreshNode(n, false);
  EndSelectionUpdate();
}

void TGridTreeList::NodesReordered() {
  std::function<bool(TGridTreeListNode* const&, TGridTreeListNode* const&)> less = TreeLess;
  SafeStableSort(selection_, less);
}
