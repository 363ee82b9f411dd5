// The published tree-list grid.
//
// TGridTreeListTextNode: the node the grid makes, with one text per column
// and its three image indexes.
// TCustomGridTreeListControl: stores the nodes' texts, holds the columns
// and bands and lays them out, answers the painting queries from them,
// draws cells, and sorts by the sorted columns or the application's
// OnCompare.
// TGridTreeList: adds the selection list (multi-select): the selected
// nodes in tree order, range selection and the anchor.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "treelist/custom_tree_list.h"
#include "treelist/grid_tree_list_column.h"
#include "treelist/grid_utils.h"

class TGridTreeListTextNode : public TGridTreeListNode {
 public:
  explicit TGridTreeListTextNode(TCustomGridTreeList* owner) : TGridTreeListNode(owner) {}

 protected:
  ~TGridTreeListTextNode() override = default;

 private:
  friend class TCustomGridTreeListControl;
  friend class TGridTreeList;
  std::vector<std::string> texts_;
  int imageIndex_ = 0;
  int selectedIndex_ = -1;
  int stateIndex_ = -1;
  bool selected_ = false;
};

class TCustomGridTreeListControl;
using TGridTLGetIndex =
    std::function<void(TCustomGridTreeListControl* sender, TGridTreeListNode* node, int& index)>;
using TGridTLColumnEvent = std::function<void(TCustomGridTreeListControl* sender, TGridTreeListColumn* column)>;
using TGridTLColumnSorted = std::function<void(TCustomGridTreeListControl* sender, TGridTreeListColumn* column,
                                               TGridTreeListColumnSort& sorted)>;
using TGridTLCustomDrawCell = std::function<void(
    TCustomGridTreeListControl* sender, gui::Canvas& canvas, const gui::Rect& rect, TGridTreeListNode* node,
    TGridTreeListColumn* column, bool selected, bool focused, std::string& text, gui::Color& color,
    gui::Font& font, TAlignment& alignment, bool& done)>;
using TGridTLIsExistFooterCell =
    std::function<void(TCustomGridTreeListControl* sender, TGridTreeListColumn* column, bool& exists)>;
using TGridTLCustomDrawBand = std::function<void(
    TCustomGridTreeListControl* sender, TGridTreeListBand* band, gui::Canvas& canvas, const gui::Rect& rect,
    std::string& text, gui::Color& color, gui::Font& font, TAlignment& alignment, bool& done)>;
using TGridTLGetPreviewText =
    std::function<void(TCustomGridTreeListControl* sender, TGridTreeListNode* node, std::string& text)>;
// A footer cell's text (node nullptr) or a row-footer cell's.
using TGridTLGetFooterText = std::function<void(TCustomGridTreeListControl* sender, TGridTreeListNode* node,
                                                TGridTreeListColumn* column, int footerIndex, std::string& text)>;
using TGridTLIsExistRowFooterCell =
    std::function<void(TCustomGridTreeListControl* sender, TGridTreeListNode* node, TGridTreeListColumn* column,
                       int footerIndex, bool& exists)>;

class TCustomGridTreeListControl : public TCustomGridTreeList {
 public:
  explicit TCustomGridTreeListControl(gui::Component* owner = nullptr);
  ~TCustomGridTreeListControl() override;

  // ------------------------------------------------------------ columns and bands
  // A new column at the end of the list, in band 0, header row 0.
  TGridTreeListColumn* CreateColumn();
  int ColumnCount() const { return int(columns_.size()); }
  TGridTreeListColumn* Columns(int index) const;
  // Deletes a column and its text in every node (the later columns and
  // their texts move down one index).
  void DeleteColumn(int index);
  // Band 0 always exists.
  TGridTreeListBand* CreateBand();
  int BandCount() const { return int(bands_.size()); }
  TGridTreeListBand* Bands(int index) const;
  void DeleteBand(int index);
  // The column at a visible index (nullptr: none) and the focused one.
  TGridTreeListColumn* VisibleColumns(int visibleIndex) const;
  TGridTreeListColumn* FocusedColumnObject() const;
  // The sorted columns by their sort order.
  std::vector<TGridTreeListColumn*> SortedColumns() const;
  // Sizes the column to its caption and the visible texts, then fires
  // OnChangedColumnsWidth.
  void ColumnBestFit(int column);
  // Every visible column of the band so (one relayout), then
  // OnChangedColumnsWidth once.
  void BandBestFit(int band);
  // The header click: the column becomes the sort column (with addToSort
  // and aoMultiSort one more), sorting up, then down, then up...; with
  // unsort (a Ctrl click) it stops sorting instead, the other sorted
  // columns keeping their order. The nodes are sorted; OnColumnClick fires.
  void ColumnClick(int column, bool addToSort, bool unsort = false);

  // What sizing and dragging the header change.
  int ColumnMinWidth(int column) const override;
  void SetColumnWidth(int column, int width) override;
  void SetBandWidth(int band, int width) override;
  // A column goes to a position among the visible columns of its band's
  // header row; a band among the visible bands.
  void MoveColumn(int column, int position) override;
  void MoveBand(int band, int position) override;
  void DoColumnClick(int column, bool addToSort, bool ctrl) override { ColumnClick(column, addToSort, ctrl); }
  void DoColumnBestFit(int column) override { ColumnBestFit(column); }
  void DoBandBestFit(int band) override { BandBestFit(band); }

  // ------------------------------------------------------------ editing
  // The editor of the focused column's cell: a text editor, or a mask
  // editor for a column with an edit mask; made when a cell of a column
  // is first edited and kept while cells of that column are.
  TGridInplaceEdit* InplaceEditor() const override { return editor_; }
  // A column's editor style: the column's controller before the chain.
  std::unique_ptr<TGridEditStyle> CreateEditStyle(TGridStyledEditor* editor) override;
  // Sorting's tie-break among siblings: their order before the sort, so
  // that rows with equal keys keep their places (other nodes: identity).
  int CompareNodes(const TGridTreeListNode* a, const TGridTreeListNode* b) const override;

  // ------------------------------------------------------------ layout store
  // Writes the columns' and bands' layout into sections key + "\Column<i>"
  // (Width, Visible, Band, Row, Place, Sorted, SortOrder) and key +
  // "\Band<i>" (Width, Visible, Fixed), the sections of an earlier layout
  // under key erased first (in ini files).
  void StoreLayout(TGridRegIniWrapper& store, const std::string& key) const;
  // Reads it back; a value the store lacks leaves the column or band as it
  // is, sections of columns or bands the grid has not are passed over.
  // Values out of range are clamped: header rows below the column count,
  // places up to it, widths to kGridMaxWidth, sort orders to
  // 0..kMaxStoredSortOrder.
  void LoadLayout(const TGridRegIniWrapper& store, const std::string& key);
  static constexpr int kMaxStoredSortOrder = 0xFFFF;

  // ------------------------------------------------------------ sorting
  // Sorts every list of siblings by the sorted columns (or by OnCompare
  // when there is one), keeping the relative order of equal nodes under
  // OnCompare and the tie-break's order otherwise.
  void SortNodes();

  // ------------------------------------------------------------ node services
  TGridTreeListTextNode* CreateNode() override;
  int GetNodeImageIndex(const TGridTreeListNode* node) const override;
  void SetNodeImageIndex(TGridTreeListNode* node, int value) override;
  int GetNodeSelectedIndex(const TGridTreeListNode* node) const override;
  void SetNodeSelectedIndex(TGridTreeListNode* node, int value) override;
  int GetNodeStateIndex(const TGridTreeListNode* node) const override;
  void SetNodeStateIndex(TGridTreeListNode* node, int value) override;
  // A column beyond the node's texts reads ""; a set pads the texts up to
  // the column (a negative column is ignored).
  std::string GetNodeString(const TGridTreeListNode* node, int column) const override;
  void SetNodeString(TGridTreeListNode* node, int column, const std::string& text) override;

  // ------------------------------------------------------------ painting queries
  gui::Color ColumnColor(int column) const override;
  const gui::Font& ColumnFont(int column) const override;
  bool ColumnFontAssigned(int column) const override;
  std::string BandCaption(int band) const override;
  TAlignment BandAlignment(int band) const override;
  TAlignment HeaderAlignment(int column) const override;
  TAlignment ColumnAlignment(int column) const override;
  std::string HeaderCaption(int column) const override;
  TGridTreeListColumnSort HeaderSortMark(int column) override;
  const gui::Bitmap* HeaderGlyph(int column) const override;
  bool FooterCellExists(int column) const override;
  bool RowFooterCellExists(const TGridTreeListNode* node, int column, int footer) const override;
  // Captions / texts of the visible columns, separated by tabs.
  std::string GetHeaderLine() const override;
  std::string GetNodeLine(const TGridTreeListNode* node) const override;
  // OnCustomDrawCell first (its text, colour, font and alignment are the
  // cell's); then the background and the text.
  void DrawCell(const TTreeListCellDrawParams& p) override;
  std::string PreviewText(const TGridTreeListNode* node) const override;
  std::string FooterText(const TGridTreeListNode* node, int column, int footer) const override;
  bool CustomDrawBandAssigned() const override { return bool(OnCustomDrawBand); }
  void CustomDrawBand(int band, gui::Canvas& canvas, const gui::Rect& r, std::string& text, gui::Color& color,
                      gui::Font& font, TAlignment& alignment, bool& done) override;
  // The grid's OnCustomDrawColumnHeader, then (not done) the column's.
  bool CustomDrawHeaderAssigned(int column) const override;
  void CustomDrawHeader(int column, gui::Canvas& canvas, const gui::Rect& r, std::string& text, gui::Color& color,
                        gui::Font& font, TAlignment& alignment, TGridTreeListColumnSort& sorted,
                        bool& done) override;

  // ------------------------------------------------------------ events
  TGridTLGetIndex OnGetImageIndex;
  TGridTLGetIndex OnGetSelectedIndex;
  TGridTLGetIndex OnGetStateIndex;
  TGridTLColumnEvent OnColumnClick;
  TGridTLColumnSorted OnColumnSorted;
  TGridTLCustomDrawHeader OnCustomDrawColumnHeader;
  TGridTLCustomDrawCell OnCustomDrawCell;
  TGridTLCustomDrawBand OnCustomDrawBand;
  TGridTLGetPreviewText OnGetPreviewText;
  TGridTLGetFooterText OnGetFooterText;
  TGridTLIsExistFooterCell OnIsExistFooterCell;
  TGridTLIsExistRowFooterCell OnIsExistRowFooterCell;
  TGridTreeListNotify OnChangedColumnsWidth;

 protected:
  void BuildLayout(std::vector<TTreeListLayoutBand>& layout) const override;
  void FontChanged() override;
  // After the nodes changed order (the selection list re-sorts itself).
  virtual void NodesReordered() {}
  // The editor protocol (grid_tree_list_edit.cpp).
  void ValidateEditorValue() override;
  bool EditorModified() const override;
  std::string EditorValue() const override;
  void ActivateEditor(bool active) override;
  void PlaceEditor() override;
  bool EditorHasFocus() const override;
  // A column with TabStop off is passed over by the keyboard.
  bool ColumnCanFocus(int visibleColumn) const override;
  bool ColumnVertThrough(int column) const override;
  void Notification(gui::Component* c, gui::Operation op) override;

 private:
  friend class TGridTreeListColumn;
  friend class TGridTreeListBand;
  // A column's controller is watched so that the column forgets it.
  // The editor of that column follows it.
  void ColumnStyleControllerSet(const TGridTreeListColumn* column, TGridEditStyleController* c);
  void DeleteEditor();
  // The column's width from its caption and visible texts.
  void FitColumn(int column);
  static TGridTreeListTextNode* Text(TGridTreeListNode* node);
  static const TGridTreeListTextNode* Text(const TGridTreeListNode* node);
  void SortSiblings(std::vector<TGridTreeListNode*>& nodes, const std::vector<TGridTreeListColumn*>& sorted);

  std::vector<std::unique_ptr<TGridTreeListColumn>> columns_;
  std::vector<std::unique_ptr<TGridTreeListBand>> bands_;
  TGridInplaceEdit* editor_ = nullptr;  // owned (a component of the grid)
  const TGridTreeListColumn* editorColumn_ = nullptr;
  bool editorOutOfSight_ = false;  // the edited cell scrolled out of view
};

class TGridTreeList : public TCustomGridTreeListControl {
 public:
  explicit TGridTreeList(gui::Component* owner = nullptr);
  ~TGridTreeList() override;

  void ClearSelection() override;
  int SelectedCount() const override { return int(selection_.size()); }
  TGridTreeListNode* SelectedNodes(int index) const override;
  bool IsNodeSelected(const TGridTreeListNode* node) const override;
  // Adding needs aoMultiSelect and OnCanNodeSelected's consent.
  void SetNodeSelected(TGridTreeListNode* node, bool value) override;
  // Adds every visible node from one to the other (either order) that may
  // be selected.
  void SelectRange(TGridTreeListNode* from, TGridTreeListNode* to) override;
  TGridTreeListNode* Anchor() const override { return anchor_; }
  void SetAnchor(TGridTreeListNode* node) override { anchor_ = node; }

 protected:
  void RemoveFromSelection(TGridTreeListNode* node) override;
  void NodesReordered() override;

 private:
  bool MaySelect(TGridTreeListNode* node);
  // The selection in tree order.
  std::vector<TGridTreeListNode*> selection_;
  TGridTreeListNode* anchor_ = nullptr;
};
