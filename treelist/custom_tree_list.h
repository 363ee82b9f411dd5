// TCustomGridTreeList: the base window class of the tree-list grid. It owns
// the root nodes, the update bracket, the appearance settings and option
// sets, the focus, the row caches and layout metrics, the draw info and the
// hit test, and the plumbing that the node model, selection, search, input
// and painting use.
//
// The services that depend on how nodes, columns and bands are stored are
// virtual operations that the descendant (TCustomGridTreeListControl,
// TGridTreeList) answers: the node factory and the node values, the column
// layout, the selection list, the painting queries and the cell drawer.
//
// Destruction: a descendant's destructor calls DestroyNodes() first, so
// that OnDeletion reaches a control whose parts are all still alive.
//
// The records it hands out and takes in (the layout a descendant builds,
// what the drawers are given) and its event types are in
// tree_list_records.h. Its code, by concern: custom_tree_list.cpp (life,
// nodes, update brackets, focus, messages), tree_list_properties.cpp
// (settings), tree_list_layout.cpp (row caches, metrics, scrolling),
// tree_list_draw_info.cpp (draw info, hit test), tree_list_tracking.cpp
// (tracking state, sizing, header dragging), tree_list_editing.cpp,
// tree_list_search.cpp (focus moves, incremental search),
// tree_list_keyboard.cpp, tree_list_mouse.cpp, tree_list_drag.cpp,
// tree_list_hint.cpp, and the painters (tree_list_paint.cpp,
// tree_list_band_paint.cpp, tree_list_row_paint.cpp).
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gui/canvas.h"
#include "gui/image_list.h"
#include "platform/stringlist.h"
#include "treelist/grid_auto_scroll.h"
#include "treelist/grid_container.h"
#include "treelist/grid_drawing.h"
#include "treelist/grid_inplace_edit.h"
#include "treelist/grid_value.h"
#include "treelist/tree_list_draw_info.h"
#include "treelist/tree_list_node.h"
#include "treelist/tree_list_records.h"
#include "treelist/tree_list_types.h"

class TCustomGridTreeList : public TCustomGridContainer, public TGridAutoScrollTarget {
 public:
  explicit TCustomGridTreeList(gui::Component* owner = nullptr);
  ~TCustomGridTreeList() override;

  // ------------------------------------------------------------ nodes
  // A new root node at the end / before beforeNode (nullptr: at the end;
  // a beforeNode that is not a root node raises before anything is made).
  TGridTreeListNode* Add();
  TGridTreeListNode* Insert(TGridTreeListNode* beforeNode);
  // Deletes every node (OnDeletion for each, one selection event, no
  // focus moves node by node).
  void ClearNodes();
  int Count() const { return roots_.Count(); }
  TGridTreeListNode* Items(int index) const;
  TGridTreeListNode* GetFirstNode() const { return Items(0); }
  // The last visible row (the last root node, down through expanded last
  // children).
  TGridTreeListNode* GetLastVisibleNode() const;
  TGridTreeListNode* FocusedNode() const { return focusedNode_; }
  TGridTreeListNode* TopVisibleNode() const { return topVisibleNode_; }
  // Expands the collapsed ancestors (events fire) and scrolls the node's
  // row into view: to the top when above it, to the bottom when below.
  void MakeNodeVisible(TGridTreeListNode* node);

  // ------------------------------------------------------------ update bracket
  // Nests; relayout, row refreshes and repaint wait for the outermost
  // EndUpdate. BeginUpdate first ends any edit: when the editor turns its
  // value down the exception leaves with the lock untouched. An EndUpdate
  // without its BeginUpdate is ignored.
  void BeginUpdate();
  void EndUpdate();
  int LockCount() const { return lockCount_; }
  bool Locked() const { return lockCount_ > 0; }
  bool Clearing() const { return clearing_; }
  // Selection-change bracket: the outermost end fires
  // OnSelectedCountChange when the count differs from its start.
  void BeginSelectionUpdate();
  void EndSelectionUpdate();

  // ------------------------------------------------------------ text
  // One header line, then the selected nodes in tree order (multi-select)
  // or the focused node; CR LF after every line. Only the header line when
  // nothing is focused.
  void CopySelectedToClipboard();
  std::string GetSelectedText();
  // The header line and every visible row.
  void GetAllText(plat::StringList& lines);

  // ------------------------------------------------------------ focus and rows
  // Focuses node (nullptr: none) and the visible column (see the focus
  // bookkeeping): ends any edit, repaints the two rows, makes the node
  // visible when asked, fires OnChangeNode then OnChangeColumn.
  virtual void SetFocusedNode(TGridTreeListNode* node, int column, bool makeVisible);
  void SetFocusedNode(TGridTreeListNode* node) { SetFocusedNode(node, FocusedColumn(), true); }
  // Visible column index; 0 with aoRowSelect or when out of range.
  int FocusedColumn() const;
  void SetFocusedColumn(int visibleIndex);
  // Absolute index of the focused column (-1: none).
  int FocusedAbsoluteIndex() const;
  // Focuses the row (clamped to the rows), keeping the column.
  void FocusRow(int rowIndex);
  // Stores node as the top visible node and fires OnChangeTopVisibleNode.
  virtual void SetTopVisibleNode(TGridTreeListNode* node);
  int RowCount() const;
  TGridTreeListNode* NodeAtRow(int rowIndex) const;
  int NodeRowIndex(const TGridTreeListNode* node) const;
  // Rows that fit whole in the rows area (at least 1).
  int FullyVisibleRowCount() const { return fullyVisibleRows_; }
  // The visible row after / before node (the row cache when valid, else
  // a walk of the tree).
  TGridTreeListNode* NextVisibleNode(const TGridTreeListNode* node) const;
  TGridTreeListNode* PrevVisibleNode(const TGridTreeListNode* node) const;
  int TopIndex() const override;
  void SetTopIndex(int rowIndex) override;
  int LeftCoord() const override { return leftCoord_; }
  void SetLeftCoord(int x) override;
  int ContentWidth() const override;
  int VisibleWidth() const override;

  // ------------------------------------------------------------ columns
  int VisibleColumnCount() const;
  // Row-major: every band's first header row, then every second row...
  // -1 beyond the last.
  int VisibleIndexToAbsolute(int visibleIndex) const;
  // 0 when the column is not visible.
  int AbsoluteToVisibleIndex(int column) const;
  void MakeColumnVisible(int column);
  void MakeBandVisible(int band);
  const std::vector<TTreeListLayoutBand>& Layout() const { return layout_; }
  // The widths of a header row's cells: a row narrower than its band is
  // stretched to the band's width.
  static std::vector<int> RowWidths(const TTreeListLayoutBand& band,
                                    const std::vector<TTreeListLayoutColumn>& row);
  // The widths of a header row's cells added up (in 64 bits: no overflow).
  static int64_t RowWidthSum(const std::vector<TTreeListLayoutColumn>& row);

  // ------------------------------------------------------------ layout
  // Rebuilds the row caches, metrics and scroll bars now (nothing while
  // locked) and repaints.
  void LayoutChanged();
  // Repaints node's row (and with below everything under it).
  void RefreshNode(TGridTreeListNode* node, bool below);
  // The draw info of the current layout and scroll position.
  void CalcDrawInfo(TTreeListDrawInfo& info) const;
  void CalcAreaRects(TTreeListDrawInfo& info) const;
  TTreeListHitInfo HitTest(int x, int y) const;
  const TTreeListHitInfo& LastHitInfo() const { return lastHit_; }
  TGridTreeListNode* GetNodeAt(int x, int y) const { return HitTest(x, y).Node; }
  // The rectangle of (node, visible column); empty when not shown.
  gui::Rect CellRect(const TGridTreeListNode* node, int visibleColumn) const;
  // The tree parts of node's row: firstCell is the first column's cell in
  // the row (unscrolled by clipping), clipRight where that column's
  // visible part ends.
  TTreeListIndentGeometry IndentGeometry(const TGridTreeListNode* node, const gui::Rect& firstCell,
                                         int clipRight) const;
  // Whether the hit test offers a band's / a column's sizing edge.
  bool BandSizable(int band) const;
  bool ColumnSizable(int column) const;
  // The text-flag alignment (gtfLeft...) of an alignment.
  static unsigned AlignmentFlags(TAlignment a);
  // Given a text height, the row line height the grid uses for it.
  static int AdjustRowHeight(int textHeight) { return GridAdjustRowHeight(textHeight); }

  // Layout metrics (computed by the relayout).
  int BandPanelHeight() const { return showBands_ ? bandPanelHeight_ : 0; }
  int HeaderPanelHeight() const { return showHeader_ ? headerPanelHeight_ : 0; }
  int HeaderLineHeight() const { return headerLineHeight_; }
  int HeaderLineCount() const { return headerLineCount_; }
  int BandLineCount() const { return bandLineCount_; }
  int LinesPerRecord() const { return linesPerRecord_; }
  int RowLineHeight() const { return rowLineHeight_; }
  int DefaultRowHeight() const { return defaultRowHeight_; }
  int PreviewLineHeight() const { return previewLineHeight_; }
  int FooterLineHeight() const { return footerLineHeight_; }
  int RowFooterHeight() const { return footerLineHeight_; }
  int FooterHeight() const;
  int IndentWidth() const { return kIndentWidth; }
  int ImageWidth() const { return images_ ? images_->Width() : 0; }
  int ImageHeight() const { return images_ ? images_->Height() : 0; }
  int StateImageWidth() const { return stateImages_ ? stateImages_->Width() : 0; }
  int StateImageHeight() const { return stateImages_ ? stateImages_->Height() : 0; }
  int IndicatorWidth() const { return showIndicator_ ? kIndicatorWidth : 0; }
  bool IsStandardStyle() const { return paintStyle_ == psStandard; }
  bool IsFlat() const { return LookAndFeel() != lfStandard; }
  // Rows in the row of node: lines, previews and footers.
  int NodeHeight(const TGridTreeListNode* node) const;
  int NodeFooterCount(const TGridTreeListNode* node) const;
  // PreviewLines with aoPreview; with aoAutoCalcPreviewLines as many as
  // the node's preview text takes in the row's width, PreviewLines at most.
  int NodePreviewLines(const TGridTreeListNode* node) const;

  // ------------------------------------------------------------ sizing and dragging
  // (The mouse handling runs these.) The range a sizing line may move in,
  // in client coordinates, for the edge of the sizing state s: a column's
  // or band's right edge (x), the band or header panel's or a row's bottom
  // edge (y); index is the column, band or row (draw-info row index).
  void SizingLimits(TTreeListTrackingState s, int index, int& minPos, int& maxPos) const;
  // A sizing that ended at pos: the column width becomes pos minus its
  // left edge plus 1, a band's pos minus its left edge plus 2, a panel's
  // or row's line height what pos gives.
  void EndSizing(TTreeListTrackingState s, int index, int pos);
  // Header and band dragging (tsColumnDragging / tsBandDragging): the drop
  // place follows the mouse, shown by two arrows in ArrowsColor above and
  // below the header row (or band); ending with drop moves the item there.
  void StartDragging(TTreeListTrackingState s, int index);
  void ContinueDragging(gui::Point p);
  void EndDragging(gui::Point p, bool drop);
  // Where a dragged column (within its band and header row) or band would
  // go for a point: its new position, and the client x of the place.
  int DropPosition(gui::Point p, int* x = nullptr) const;
  // The band header's click.
  virtual void BandClick(int band) {}
  // The column header's click (sorting, OnColumnClick); ctrl: Ctrl was
  // held.
  virtual void DoColumnClick(int column, bool addToSort, bool ctrl) {}
  // A double-click on a sizing edge: the column, or every column of the
  // band, sized to its content, then OnChangedColumnsWidth (descendant).
  virtual void DoColumnBestFit(int column) {}
  virtual void DoBandBestFit(int band) {}
  // Whether the mouse holds a panel button pressed (the pressed look of the
  // header follows the press through SyncPressedLook).
  bool HeaderButtonPressed() const { return state_ == tsHeaderButtonDown && press_.ButtonStillDown; }
  bool BandButtonPressed() const { return state_ == tsBandButtonDown && press_.ButtonStillDown; }
  bool BottomStripButtonPressed() const { return state_ == tsBottomStripDown && press_.ButtonStillDown; }
  // The bottom strip's button (its check box) in the strip's rectangle.
  static gui::Rect BottomStripBox(const gui::Rect& strip);
  // The middle button holds the rows and columns: they follow the mouse.
  bool Panning() const { return pan_.Active; }

  // ------------------------------------------------------------ state
  TTreeListTrackingState State() const { return state_; }
  // Entering editing activates the editor; leaving a sizing state erases
  // its line; entering or leaving editing ends the incremental search.
  void SetState(TTreeListTrackingState s);
  // Back to idle from any tracking but editing: sizing lines erased, drop
  // arrows and pressed looks taken away. What the mouse still holds goes
  // on: a drag of the nodes, and what the release of a node press does.
  void ReturnToIdle();
  // Back to idle from any tracking, and what the mouse held given up: the
  // scrolling timers stopped, a drag of the nodes (begun or pending) ended
  // without a drop, the release's reduction of the selection and its
  // editor forgotten.
  void CancelTracking();
  // Tracking feedback drawn by inversion, hidden around painting (nests).
  void HideTrackingFeedback();
  void ShowTrackingFeedback();
  // Starts a sizing line at pos (client x for columns and bands, y for
  // panels and rows) in the current sizing state, and moves it.
  void ShowSizingLine(int pos);
  void MoveSizingLine(int pos);
  int SizingPos() const { return sizingPos_; }
  // A drag-and-drop is on (of this grid's nodes or anything else).
  bool IsDragging() const override;
  TTreeListTrackingState TrackingState() const override { return state_; }
  void UpdateGrid() override { Update(); }
  bool StartGridTimer(uintptr_t id, unsigned ms) override { return SetTimer(id, ms); }
  void StopGridTimer(uintptr_t id) override { KillTimer(id); }
  bool MouseOverGrid() const override;
  bool Searching() const { return searching_; }
  virtual void EndIncrementalSearch();
  // The node under the mouse with aoHotTrack (nullptr: none).
  TGridTreeListNode* HotNode() const { return hotNode_; }

  // ------------------------------------------------------------ hints
  // The window that shows a cell's text cut off in its cell, or the grid's
  // Hint (nullptr until first needed).
  TGridContainerHintWindow* HintWindow() const { return hintWindow_; }
  void HideCellHint();
  // The text of a cell when it does not fit where the cell shows it, and
  // the screen point where the text begins; false when it fits.
  bool CellTextCut(const TGridTreeListNode* node, int column, std::string& text, gui::Point& at) const;

  // ------------------------------------------------------------ editing
  bool Editing() const { return state_ == tsEditing; }
  // Validates (a rejection raises EGridEditError and keeps the edit), then
  // ends the edit storing a modified value; the grid takes the focus back
  // when takeFocus or when the editor had it.
  void HideEditor(bool takeFocus);
  // The cell being edited (nullptr / -1 when none; the column absolute).
  TGridTreeListNode* EditingNode() const { return editingNode_; }
  int EditingRow() const { return editingRow_; }
  int EditingColumn() const { return editingColumn_; }
  // Opens the editor on the focused cell: only with aoEditing, without
  // aoRowSelect, with a focused node that OnEditing allows, in the idle
  // state; the cell is scrolled into view first.
  void ShowEditor();
  // ShowEditor, then the character goes to the editor (posted, so that it
  // arrives after the editor has the focus): Ctrl+V pastes, Ctrl+X cuts.
  // False when no editor took the character.
  bool ShowEditorWithChar(char c);
  // ShowEditor, then the editor is handed the press point (client
  // coordinates of the grid) / told that the click that opened it is over.
  void ShowEditorWithClick(int x, int y);
  void ShowEditorAfterClick();
  // The editor the grid shows now or last (nullptr: none yet).
  virtual TGridInplaceEdit* InplaceEditor() const { return nullptr; }

  // ------------------------------------------------------------ focus moves and search
  // Direction 0: the first root node; 1: the visible row before node; 2:
  // the next node in tree order (all) or the next visible row; 3: the last
  // visible row, with all the last node of the whole tree. nullptr for a
  // nullptr node or another direction.
  TGridTreeListNode* GetNodeByDirection(const TGridTreeListNode* node, int direction, bool all) const;
  // Focuses GetNodeByDirection of the focused node (made visible); with
  // aoMultiSelect, a selection of the focused node alone follows it.
  // Returns the node focused (nullptr: none, nothing moved).
  TGridTreeListNode* MoveFocus(int direction, bool all);
  // True without nodes, or when the focused node is the first root node /
  // the last visible row.
  bool IsFocusedFirst() const;
  bool IsFocusedLast() const;
  // Starts a search of text in a column (absolute; -1 the focused one),
  // which is focused and scrolled into view; true when a node matched.
  bool StartIncrementalSearch(int column, const std::string& text);
  // One step of the running search: FindNode from the focused node in
  // direction (0 from it, 1 backwards, 2 forwards from the next); a match is
  // focused (with aoMultiSelect, it becomes the whole selection). No match:
  // with clearOnFail the text empties, else direction 0 drops the last
  // character (the text stays the longest prefix that matched).
  void IncrementalSearchStep(const std::string& text, int direction, bool clearOnFail);
  // The first node from the focused one (the first root node when none is
  // focused) whose text in column begins with text, letter case aside;
  // nodes inside collapsed ones too with AutoExpandOnSearch. The walk wraps
  // once round the tree and stops where it began.
  bool FindNode(int column, const std::string& text, TGridTreeListNode*& node, int direction) const;
  int SearchColumn() const { return searchColumn_; }
  const std::string& SearchText() const { return searchText_; }
  // A pending editor (a click on the focused cell waits for the
  // double-click time before it opens the editor).
  bool EditorTimerPending() const { return editorTimer_.Pending; }

  // ------------------------------------------------------------ editor hosting
  // What the grid answers its in-place editors (see TCustomGridContainer).
  bool CanEditModify() const override { return true; }
  bool CanEditAcceptKey(char key) const override { return true; }
  // The focused column's colour (the grid's without one), then
  // OnGetEditColor's word.
  gui::Color GetEditColor() const override;
  // The focused column's own font, else the grid's.
  const gui::Font& GetEditFont() const override;
  bool EditorHideFocusRect() const override { return HasOption(aoHideFocusRect); }
  bool EditorShowButtonAlways() const override { return HasOption(aoShowButtonAlways); }
  // The focus has left the row the editor was opened on.
  bool EditorKeyVeto() const override;
  bool AllowClickPromotion() const override { return HasOption(aoImmediateEditor); }
  bool EditorWantsTab() const override;
  // Ends the edit and moves the focus one row up or down.
  void EditorMoveFocus(bool up) override;
  int EditorBorderKind() const override { return LookAndFeel() != lfStandard ? 1 : 2; }

  // ------------------------------------------------------------ queries
  bool HasOption(TGridTreeListOption o) const { return options_.Contains(o); }
  bool HasOption(TGridTreeListOptionEx o) const { return optionsEx_.Contains(o); }
  bool IsMultiSelect() const { return HasOption(aoMultiSelect); }
  bool IsRowSelect() const { return HasOption(aoRowSelect); }
  bool IsInvertSelect() const { return HasOption(aoInvertSelect); }
  bool IsAnsiSort() const { return HasOption(aoAnsiSort); }
  // Editing is allowed and the focused column takes it.
  bool CanEditFocused() const;
  // ShowRoot, or always in the Outlook style.
  bool ShowRootRead() const { return showRoot_ || paintStyle_ == psOutlook; }
  // The keyboard focus is on the grid's window or a child of it, or the
  // open editor has it.
  bool HasFocus() const;
  // 5 focused+selected with multi-select, 1 focused, 4 selected, else 0.
  int IndicatorKind(const TGridTreeListNode* node, bool selected) const;
  virtual bool IsGroupRow(const TGridTreeListNode* node) const { return false; }
  // GridLineColor, or the button-shadow colour for clDefault.
  gui::Color GridColor() const;
  // c, or fallback when c is the "default" marker: the marker never
  // reaches drawing.
  static gui::Color DefaultedColor(gui::Color c, gui::Color fallback) { return c == gui::clDefault ? fallback : c; }
  bool LevelColorAssigned() const { return bool(OnGetLevelColor); }
  void LevelColor(int level, gui::Color& color);
  virtual int TopPanelHeight() const { return 0; }
  virtual void DrawTopPanel(gui::Canvas& canvas, const gui::Rect& r) {}
  virtual bool BottomStripShown() const { return false; }
  virtual int BottomStripHeight() const { return 0; }
  virtual std::string BottomStripText() const { return {}; }
  virtual bool BottomStripCheckBox() const { return false; }
  virtual bool BottomStripChecked() const { return false; }
  // The click of the bottom strip's button.
  virtual void BottomStripAction() {}
  // What ShowEditor does while the new-item row has the focus (OnEditing
  // and the editor of a node's cell have no place there); nothing here.
  virtual void ShowNewItemRowEditor() {}
  // Whether a press on a column header is taken in the second header mode
  // (a click without dragging).
  virtual bool ColumnPressSecondMode(int column) const { return false; }
  // The new-item row above the rows (a descendant's feature): Up, Ctrl+Up
  // and Page Up on the first row and a press in it move the focus there,
  // Down and Page Down move it back to the top row; the editor asked for
  // there is the descendant's (ShowNewItemRowEditor).
  virtual bool NewItemRowShown() const { return false; }
  virtual int NewItemRowHeight() const { return 0; }
  bool NewItemRowFocused() const { return newItemRowFocused_; }
  // Only while the row is shown; the row and the focused row repaint.
  void SetNewItemRowFocused(bool v);
  virtual void AfterRow(TGridTreeListNode* node) {}
  // The level of the ancestor whose row footer index is.
  int FooterLevel(const TGridTreeListNode* node, int index) const;

  // ------------------------------------------------------------ node services
  // The factory: a new node of the control's node class, not linked.
  virtual TGridTreeListNode* CreateNode() = 0;
  virtual int GetNodeImageIndex(const TGridTreeListNode* node) const { return -1; }
  virtual void SetNodeImageIndex(TGridTreeListNode* node, int value) {}
  virtual int GetNodeSelectedIndex(const TGridTreeListNode* node) const { return -1; }
  virtual void SetNodeSelectedIndex(TGridTreeListNode* node, int value) {}
  virtual int GetNodeStateIndex(const TGridTreeListNode* node) const { return -1; }
  virtual void SetNodeStateIndex(TGridTreeListNode* node, int value) {}
  virtual std::string GetNodeString(const TGridTreeListNode* node, int column) const { return {}; }
  virtual void SetNodeString(TGridTreeListNode* node, int column, const std::string& text) {}
  virtual TGridValue GetNodeValue(const TGridTreeListNode* node, int column) const;
  virtual bool MaySetData(const TGridTreeListNode* node) const { return true; }
  // Sorting's tie-break: a fixed total order (identity by default).
  virtual int CompareNodes(const TGridTreeListNode* a, const TGridTreeListNode* b) const;
  // OnCompare's answer (starting at 0); 0 without a handler.
  virtual int DoCompare(const TGridTreeListNode* a, const TGridTreeListNode* b);

  // ------------------------------------------------------------ selection
  // The base control selects only the focused node; TGridTreeList keeps a
  // list (multi-select).
  virtual void ClearSelection() {}
  virtual int SelectedCount() const { return focusedNode_ ? 1 : 0; }
  virtual TGridTreeListNode* SelectedNodes(int index) const { return index == 0 ? focusedNode_ : nullptr; }
  virtual bool IsNodeSelected(const TGridTreeListNode* node) const { return node == focusedNode_; }
  virtual void SetNodeSelected(TGridTreeListNode* node, bool value) {}
  virtual void SelectRange(TGridTreeListNode* from, TGridTreeListNode* to) {}
  virtual TGridTreeListNode* Anchor() const { return nullptr; }
  virtual void SetAnchor(TGridTreeListNode* node) {}
  // Takes a node that is going away out of the selection.
  virtual void RemoveFromSelection(TGridTreeListNode* node) {}
  // 0 the anchor's row, -1 the anchor is below, +1 above.
  int DirectionToAnchor(const TGridTreeListNode* node) const;

  // ------------------------------------------------------------ painting queries
  virtual gui::Color ColumnColor(int column) const { return Color(); }
  virtual const gui::Font& ColumnFont(int column) const { return Font(); }
  virtual bool ColumnFontAssigned(int column) const { return false; }
  virtual std::string BandCaption(int band) const { return {}; }
  virtual TAlignment BandAlignment(int band) const { return taCenter; }
  virtual TAlignment HeaderAlignment(int column) const { return taLeftJustify; }
  virtual TAlignment ColumnAlignment(int column) const { return taLeftJustify; }
  virtual std::string HeaderCaption(int column) const { return {}; }
  virtual TGridTreeListColumnSort HeaderSortMark(int column) { return csNone; }
  virtual const gui::Bitmap* HeaderGlyph(int column) const { return nullptr; }
  virtual bool FooterCellExists(int column) const { return false; }
  virtual bool RowFooterCellExists(const TGridTreeListNode* node, int column, int footer) const {
    return false;
  }
  // Clipboard and GetAllText lines.
  virtual std::string GetHeaderLine() const { return {}; }
  virtual std::string GetNodeLine(const TGridTreeListNode* node) const { return {}; }
  // Draws one cell: background and text (see TTreeListCellDrawParams).
  virtual void DrawCell(const TTreeListCellDrawParams& p);
  // A cell's background and text as given (a brush colour that is the
  // cell's own uses the cell's brush when it has one).
  void PaintCell(const TTreeListCellDrawParams& p, const std::string& text, const gui::Font& font,
                 gui::Color textColor, gui::Color brushColor, TAlignment alignment);
  // The preview part of a row: background and the preview text in the
  // preview font, word-wrapped, IndentDesc pixels in.
  virtual void DrawPreview(const TTreeListPreviewDrawParams& p);
  // A footer or row-footer cell (through the scratch bitmap), or a group
  // row: background and text.
  virtual void DrawFooterCell(const TTreeListFooterDrawParams& p);
  virtual std::string PreviewText(const TGridTreeListNode* node) const { return {}; }
  // The text of a footer cell (node nullptr) or of a row-footer cell.
  virtual std::string FooterText(const TGridTreeListNode* node, int column, int footer) const { return {}; }
  // Custom drawing of band and column headers: the handlers may change the
  // text, colour, font and alignment (and a header's sort mark), or draw the
  // cell themselves and say done.
  virtual bool CustomDrawBandAssigned() const { return false; }
  virtual void CustomDrawBand(int band, gui::Canvas& canvas, const gui::Rect& r, std::string& text,
                              gui::Color& color, gui::Font& font, TAlignment& alignment, bool& done) {}
  virtual bool CustomDrawHeaderAssigned(int column) const { return false; }
  virtual void CustomDrawHeader(int column, gui::Canvas& canvas, const gui::Rect& r, std::string& text,
                                gui::Color& color, gui::Font& font, TAlignment& alignment,
                                TGridTreeListColumnSort& sorted, bool& done) {}
  // The header button a column shows (none in this grid).
  virtual TGridHeaderButtonKind HeaderButtonKind(int column) const { return hbkNone; }

  // ------------------------------------------------------------ pressed headers
  // What the mouse holds down in the header (painted sunken): the band and
  // header corner buttons, a band (-1: none) and a column (absolute, -1:
  // none). The setters repaint the part.
  bool BandCornerPressed() const { return bandCornerPressed_; }
  bool HeaderCornerPressed() const { return headerCornerPressed_; }
  int PressedBand() const { return pressedBand_; }
  int PressedColumn() const { return pressedColumn_; }
  void SetBandCornerPressed(bool v);
  void SetHeaderCornerPressed(bool v);
  void SetPressedBand(int band);
  void SetPressedColumn(int column);
  // The paint's off-screen bitmap while a paint runs, else nullptr.
  const gui::Bitmap* PaintBitmap() const { return paintBitmap_; }

  // ------------------------------------------------------------ properties
  TGridTreeListOptions Options() const { return options_; }
  void SetOptions(TGridTreeListOptions o);
  TGridTreeListOptionsEx OptionsEx() const { return optionsEx_; }
  void SetOptionsEx(TGridTreeListOptionsEx o);

  gui::Color ArrowsColor() const { return arrowsColor_; }
  gui::Color BandColor() const { return bandColor_; }
  gui::Color HeaderColor() const { return headerColor_; }
  gui::Color GroupNodeColor() const { return groupNodeColor_; }
  gui::Color HideSelectionColor() const { return hideSelectionColor_; }
  gui::Color GridLineColor() const { return gridLineColor_; }
  gui::Color GroupNodeTextColor() const { return groupNodeTextColor_; }
  gui::Color AutoSearchColor() const { return autoSearchColor_; }
  gui::Color AutoSearchTextColor() const { return autoSearchTextColor_; }
  gui::Color HighlightColor() const { return highlightColor_; }
  gui::Color HighlightTextColor() const { return highlightTextColor_; }
  gui::Color HideSelectionTextColor() const { return hideSelectionTextColor_; }
  gui::Color TreeLineColor() const { return treeLineColor_; }
  gui::Color FixedBandLineColor() const { return fixedBandLineColor_; }
  gui::Color RowFooterColor() const { return rowFooterColor_; }
  gui::Color RowFooterTextColor() const { return rowFooterTextColor_; }
  void SetArrowsColor(gui::Color c) { arrowsColor_ = c; }
  void SetBandColor(gui::Color c) { SetPaintColor(bandColor_, c); }
  void SetHeaderColor(gui::Color c) { SetPaintColor(headerColor_, c); }
  void SetGroupNodeColor(gui::Color c) { SetPaintColor(groupNodeColor_, c); }
  void SetHideSelectionColor(gui::Color c) { SetPaintColor(hideSelectionColor_, c); }
  void SetGridLineColor(gui::Color c) { SetPaintColor(gridLineColor_, c); }
  void SetGroupNodeTextColor(gui::Color c) { SetPaintColor(groupNodeTextColor_, c); }
  void SetAutoSearchColor(gui::Color c) { SetPaintColor(autoSearchColor_, c); }
  void SetAutoSearchTextColor(gui::Color c) { SetPaintColor(autoSearchTextColor_, c); }
  void SetHighlightColor(gui::Color c) { SetPaintColor(highlightColor_, c); }
  void SetHighlightTextColor(gui::Color c) { SetPaintColor(highlightTextColor_, c); }
  void SetHideSelectionTextColor(gui::Color c) { SetPaintColor(hideSelectionTextColor_, c); }
  void SetTreeLineColor(gui::Color c) { SetPaintColor(treeLineColor_, c); }
  void SetFixedBandLineColor(gui::Color c) { SetPaintColor(fixedBandLineColor_, c); }
  void SetRowFooterColor(gui::Color c) { SetPaintColor(rowFooterColor_, c); }
  void SetRowFooterTextColor(gui::Color c) { SetPaintColor(rowFooterTextColor_, c); }

  gui::Font& BandFont() { return bandFont_; }
  gui::Font& HeaderFont() { return headerFont_; }
  gui::Font& PreviewFont() { return previewFont_; }
  const gui::Font& BandFont() const { return bandFont_; }
  const gui::Font& HeaderFont() const { return headerFont_; }
  const gui::Font& PreviewFont() const { return previewFont_; }
  gui::ImageList* Images() const { return images_; }
  void SetImages(gui::ImageList* list) { SetImageList(images_, imagesLink_, list); }
  gui::ImageList* StateImages() const { return stateImages_; }
  void SetStateImages(gui::ImageList* list) { SetImageList(stateImages_, stateImagesLink_, list); }

  TGridTreeLineStyle TreeLineStyle() const { return treeLineStyle_; }
  void SetTreeLineStyle(TGridTreeLineStyle s);
  TGridTreeListPaintStyle PaintStyle() const { return paintStyle_; }
  void SetPaintStyle(TGridTreeListPaintStyle s);
  TGridBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TGridBorderStyle s);
  TGridScrollStyle ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TGridScrollStyle s);
  bool DblClkExpanding() const { return dblClkExpanding_; }
  void SetDblClkExpanding(bool v) { dblClkExpanding_ = v; }
  bool HideFocusRect() const { return hideFocusRect_; }
  void SetHideFocusRect(bool v) { SetPaintFlag(hideFocusRect_, v); }
  bool HideSelection() const { return hideSelection_; }
  void SetHideSelection(bool v) { SetPaintFlag(hideSelection_, v); }
  bool ShowButtons() const { return showButtons_; }
  void SetShowButtons(bool v) { SetPaintFlag(showButtons_, v); }
  bool ShowLines() const { return showLines_; }
  void SetShowLines(bool v) { SetPaintFlag(showLines_, v); }
  bool ShowPreviewGrid() const { return showPreviewGrid_; }
  void SetShowPreviewGrid(bool v) { SetPaintFlag(showPreviewGrid_, v); }
  bool ShowRoot() const { return showRoot_; }
  void SetShowRoot(bool v) { SetPaintFlag(showRoot_, v); }
  bool ShowHeader() const { return showHeader_; }
  void SetShowHeader(bool v) { SetLayoutFlag(showHeader_, v); }
  bool ShowBands() const { return showBands_; }
  void SetShowBands(bool v) { SetLayoutFlag(showBands_, v); }
  bool ShowGrid() const { return showGrid_; }
  void SetShowGrid(bool v) { SetLayoutFlag(showGrid_, v); }
  bool ShowIndicator() const { return showIndicator_; }
  void SetShowIndicator(bool v) { SetLayoutFlag(showIndicator_, v); }
  bool ShowFooter() const { return showFooter_; }
  void SetShowFooter(bool v) { SetLayoutFlag(showFooter_, v); }
  bool ShowRowFooter() const { return showRowFooter_; }
  void SetShowRowFooter(bool v) { SetLayoutFlag(showRowFooter_, v); }
  int IndentDesc() const { return indentDesc_; }
  void SetIndentDesc(int v) { indentDesc_ = v; }
  int PreviewLines() const { return previewLines_; }
  void SetPreviewLines(int v);
  int MaxRowLineCount() const { return maxRowLineCount_; }
  void SetMaxRowLineCount(int v) { maxRowLineCount_ = v; }
  int CustomizingRowCount() const { return customizingRowCount_; }
  void SetCustomizingRowCount(int v) { customizingRowCount_ = v; }
  int FixedBandLineWidth() const { return fixedBandLineWidth_; }
  void SetFixedBandLineWidth(int v);
  int RowSeparatorLineWidth() const { return rowSeparatorLineWidth_; }
  void SetRowSeparatorLineWidth(int v);
  int WaitForExpandNodeTime() const { return waitForExpandNodeTime_; }
  void SetWaitForExpandNodeTime(int v) { waitForExpandNodeTime_ = v; }
  bool AutoExpandOnSearch() const { return autoExpandOnSearch_; }
  void SetAutoExpandOnSearch(bool v) { autoExpandOnSearch_ = v; }
  // The row line height; 0: from the font and the images.
  int RowHeight() const { return rowHeight_; }
  void SetRowHeight(int v);
  // The line heights of the band and header panels; 0: from their fonts.
  void SetBandPanelRowHeight(int v);
  void SetHeaderPanelRowHeight(int v);

  // ------------------------------------------------------------ events
  TGridTreeListNodeNotify OnDeletion;
  TGridTreeListAllowNode OnExpanding;
  TGridTreeListAllowNode OnCollapsing;
  TGridTreeListNodeNotify OnExpanded;
  TGridTreeListNodeNotify OnCollapsed;
  TGridTreeListChangeNode OnChangeNode;
  TGridTreeListChangeColumn OnChangeColumn;
  TGridTreeListNotify OnChangeTopVisibleNode;
  TGridTreeListNotify OnSelectedCountChange;
  TGridTreeListAllowNode OnCanNodeSelected;
  TGridTreeListNodeNotify OnEdited;
  // Before the editor opens on the node's focused cell: allow false keeps
  // it closed.
  TGridTreeListAllowNode OnEditing;
  // A click on the band panel's / header panel's corner button (with
  // aoBandButtonClicking / aoHeaderButtonClicking).
  TGridTreeListNotify OnBandButtonClick;
  TGridTreeListNotify OnHeaderButtonClick;
  TGridTreeListGetLevelColor OnGetLevelColor;
  TGridTreeListGetEditColor OnGetEditColor;
  TGridTreeListCompare OnCompare;

  static constexpr int kIndentWidth = 16;
  static constexpr int kIndicatorWidth = 12;
  static constexpr int kSizingZone = 4;  // pixels each side of a sizable edge
  static constexpr uintptr_t kEditorTimerId = 2;
  // The pause before the grid's own hint shows, and its timer.
  static constexpr uintptr_t kHintTimerId = 5;
  static constexpr unsigned kHintPause = 500;
  // How near the rows' edge a drag scrolls them.
  static constexpr int kDragScrollZone = 8;
  // How far (pixels, either way) a pressed header may move before it is
  // dragged.
  static constexpr int kDragThreshold = 5;
  // The drop arrows of header dragging: 9 pixels wide, 5 high.
  static constexpr int kDropArrowWidth = 9;
  static constexpr int kDropArrowHeight = 5;

 protected:
  // ------------------------------------------------------------ for descendants
  // The bookkeeping the nodes ask for. NodeDeleted gets the node (whole
  // still, its children gone), where the top, focus and anchor move when
  // they were on it (its previous sibling or parent, else the next visible
  // row: given for a visible node and for one that holds one of them),
  // and whether it was the last of its siblings and visible.
  virtual void NodeAdded(TGridTreeListNode* node);
  virtual void NodeDeleted(TGridTreeListNode* node, TGridTreeListNode* prevSiblingOrParent,
                           TGridTreeListNode* nextVisible, bool wasLast, bool wasVisible);
  virtual bool NodeHasChildren(const TGridTreeListNode* node) const { return node->Count() > 0; }
  virtual bool DoExpanding(TGridTreeListNode* node);
  virtual bool DoCollapsing(TGridTreeListNode* node);
  virtual void DoExpanded(TGridTreeListNode* node);
  virtual void DoCollapsed(TGridTreeListNode* node);
  // Moves the focus onto a node that is collapsing over it; false stops
  // the collapse.
  virtual bool FocusForCollapse(TGridTreeListNode* node);
  // Fills the layout (bands, header rows, columns) from the descendant's
  // columns; the base has none.
  virtual void BuildLayout(std::vector<TTreeListLayoutBand>& layout) const {}
  // The editor's part (the in-place editors plug in here): its check of
  // the value (may raise), whether it changed the value, the value, show
  // or take away the editor, whether it has the focus.
  virtual void ValidateEditorValue() {}
  virtual bool EditorModified() const { return false; }
  virtual std::string EditorValue() const { return {}; }
  virtual void ActivateEditor(bool active) {}
  virtual bool EditorHasFocus() const { return false; }
  // The rows or columns moved on the screen (scrolling, a relayout) while
  // a cell is edited: the editor follows its cell, out of sight while the
  // cell is.
  virtual void PlaceEditor() {}
  // Ends the edit: stores a modified value into the edited cell, fires
  // OnEdited, takes the editor away.
  virtual void EndEdit(bool takeFocus);
  // Takes the editor away without storing (the edited node goes away).
  void CancelEdit();
  // After the columns were laid out again during an edit: the focus stays
  // on the edited column where it went; a hidden one ends the edit, its
  // value stored.
  void FollowEditedColumn();
  // The selection's count as the bracket sees it, and its change event.
  void SelectedCountChanged();
  // The children of parent (nullptr: the root nodes) in order, and a new
  // order for the same nodes (the sort).
  std::vector<TGridTreeListNode*> ChildNodes(const TGridTreeListNode* parent) const;
  void ReorderChildren(TGridTreeListNode* parent, const std::vector<TGridTreeListNode*>& order);
  // Ends the grid's deletion work: the most-derived destructor calls it.
  void DestroyNodes();
  // Repaints the rows from node down (the whole rows area for nullptr).
  void InvalidateRowsFrom(const TGridTreeListNode* node);
  // The pending editor's time is up (the timer is gone): opens the editor
  // when the grid still has the focus and the clicked cell is still the
  // focused one.
  virtual void ShowEditorFromTimer();
  // Whether the focus may stop on a visible column (keyboard moves).
  virtual bool ColumnCanFocus(int visibleColumn) const { return true; }
  // Whether Up and Down (aoVertThrough) may move the focus between this
  // column (absolute index) and the band's other column rows.
  virtual bool ColumnVertThrough(int column) const { return true; }
  // Whether a press on a cell belongs to the editor at once (a button of
  // it, say): the editor then opens under the press.
  virtual bool EditorClickAtOnce(int x, int y, int column, bool sameNode) { return false; }
  // What the sizing and dragging change in the descendant's objects.
  virtual int ColumnMinWidth(int column) const { return 4; }
  virtual void SetColumnWidth(int column, int width) {}
  virtual void SetBandWidth(int band, int width) {}
  virtual void MoveColumn(int column, int position) {}
  virtual void MoveBand(int band, int position) {}

  // gui::Control.
  void CreateParams(gui::WindowParams& p) override;
  void WndProc(gui::Message& m) override;
  void Paint(gui::Canvas& canvas, const gui::Rect& clip) override;
  bool EraseBackground(gui::Canvas& canvas) override { return true; }
  void Resize() override;
  void Timer(uintptr_t id) override;
  void Notification(gui::Component* c, gui::Operation op) override;
  void Loaded() override;
  void FontChanged() override;
  void HandleCreated() override;
  // Keyboard (tree_list_keyboard.cpp).
  void KeyDown(uint16_t& key, gui::ShiftState shift) override;
  void KeyPress(char& key) override;
  // Arrows and characters always; Tab with aoTabs unless Ctrl is held.
  unsigned GetDlgCode(unsigned defaultCode) override;
  // Mouse (tree_list_mouse.cpp).
  void MouseDown(gui::MouseButton b, gui::ShiftState s, int x, int y) override;
  void MouseMove(gui::ShiftState s, int x, int y) override;
  void MouseUp(gui::MouseButton b, gui::ShiftState s, int x, int y) override;
  // OnClick only for a release on a node (or in the editor).
  void Click() override;
  // OnDblClick once a double-click, not on the header, the panels, the
  // indicator or the footer, after its press has toggled the node.
  void DblClick() override;
  void FirePendingDblClick();
  // Tracking ends (the sizing line erased, the drop arrows taken away,
  // the scrolling timers stopped, a drag of the nodes ended, what the
  // release would do forgotten) and the capture goes; panning ends.
  void CancelMode() override;
  // The capture lost to another window ends whatever the mouse was doing,
  // as CancelMode does.
  void CaptureChanged(bool lost) override;
  // The focus left the grid and its editor: OnExit, the pending editor
  // forgotten, the edit ended.
  void DoExit() override;
  // The hint goes with the mouse.
  void MouseLeave() override;
  // Drag-and-drop of nodes (tree_list_drag.cpp).
  void DoStartDrag() override;
  void DragOver(gui::Control* source, int x, int y, gui::DragState state, bool& accept) override;
  void DoEndDrag(gui::Control* target, int x, int y) override;

 private:
  friend class TGridTreeListNode;
  friend class TTreeListPaintFrame;
  struct QuietLayoutEnd {
    void operator()(TCustomGridTreeList* grid) const;
  };
  // Holds the relayout back while a subtree goes; the last one relayouts.
  std::unique_ptr<TCustomGridTreeList, QuietLayoutEnd> QuietLayout();

  void InvalidateRowCache();
  void RebuildRowCache();
  bool EnsureRowCache() const;
  int RowsAreaHeight() const;
  void CountFullyVisibleRows();
  // The first row from which rows down to bottomRow fit in the rows area.
  int TopRowShowing(int bottomRow) const;
  void ScrollIntoView(int left, int right);
  // The client rectangle of node's row; false when it is not in view
  // (above: it is above the top row).
  bool RowBounds(const TGridTreeListNode* node, gui::Rect& out, bool& above) const;
  bool RowCacheValid() const { return rowCacheValid_ && !Destroying(); }
  void CalcMetrics();
  void UpdateScrollBars();
  void ClampTopRow();
  void ScrollMessage(int bar, int code, int thumb);
  void FireDeletion(TGridTreeListNode* node);
  void SetPaintColor(gui::Color& field, gui::Color c);
  void SetPaintFlag(bool& field, bool v);
  void SetLayoutFlag(bool& field, bool v);
  void SetImageList(gui::ImageList*& field, int& link, gui::ImageList* list);
  void SubFontChanged();
  void InvertSizingLine();
  bool SizingState() const;
  TGridTreeListNode* WalkNextVisible(const TGridTreeListNode* node) const;
  TGridTreeListNode* WalkPrevVisible(const TGridTreeListNode* node) const;
  // Repaints a part of the header panels (an empty rectangle: nothing).
  void InvalidateHeaderPart(const gui::Rect& r);
  // Input helpers (tree_list_keyboard.cpp, tree_list_mouse.cpp).
  bool SizingOrDragging() const;
  void RowMove(int delta, bool shift);
  void PageMove(int delta);
  // A focus row keeping the Shift range from the anchor (Home, End, pages).
  void RangeMove(bool shift, const std::function<void()>& move);
  int FocusableColumn(int from, bool forward) const;
  void RowWrap(bool next);
  bool BandRowMove(int delta, bool shift);
  bool SearchKey(uint16_t key, gui::ShiftState shift);
  // Down and Page Down in the new-item row: the focus back on the top row.
  void LeaveNewItemRow(gui::ShiftState shift);
  // Up, Ctrl+Up and Page Up: from the first row into the new-item row
  // when there is one (true); elsewhere nothing done.
  bool EnterNewItemRow();
  void CtrlKey(uint16_t key);
  void PlainKey(uint16_t key, gui::ShiftState shift);
  void RightKey();
  void LeftKey();
  void PressNode(gui::MouseButton b, gui::ShiftState s, int x, int y, bool focusTaken, bool wasEditing);
  void PressNewItemRow(gui::MouseButton b, bool focusTaken, bool wasEditing);
  void PressHeader(gui::ShiftState s, int x, int y);
  void SelectingMove(int x, int y);
  void UpdatePressedLook(const TTreeListHitInfo& hit);
  void UpdateHotTrack(const TTreeListHitInfo& hit);
  // A move of a pressed node past the drag threshold in the automatic drag
  // mode: the node is taken and the drag begins.
  void BeginNodeDrag();
  // The middle button's panning.
  void StartPanning(int x, int y);
  void PanTo(int x, int y);
  void EndPanning();
  // The hint for the mouse over a hit (the cell's cut text, the grid's
  // Hint after the pause, or none).
  void UpdateHint(const TTreeListHitInfo& hit);
  void ShowHintText(gui::Point screen, const std::string& text, const gui::Font& font);
  // The pause is over: the grid's Hint under the mouse, when it rests on
  // the grid.
  void ShowGridHint();
  // Sets the header's pressed look (the pressed column or band while the
  // mouse is still over it, and the panel buttons) from the tracking state.
  void SyncPressedLook();
  void StartEditorTimer();
  void KillEditorTimer();
  // A drop place's arrows (save-under kept while they are shown).
  void DrawDropArrows(bool show);

  TGridDrawingUse drawingUse_;  // the indicator images live while a grid does
  TGridTreeListNodeList roots_;
  int lockCount_ = 0;
  bool clearing_ = false;
  bool deletingAll_ = false;
  bool destroyingNodes_ = false;
  TGridTreeListNode* focusedNode_ = nullptr;
  int focusedColumn_ = -1;
  TGridTreeListNode* topVisibleNode_ = nullptr;
  TTreeListTrackingState state_ = tsNone;
  int selectionLock_ = 0;
  int selectionCountAtBegin_ = 0;
  TGridTreeListNode* editingNode_ = nullptr;
  int editingRow_ = -1;
  int editingColumn_ = -1;

  // Row cache: rows_[i] is the node of visible row i; a node's row_ is
  // valid when its rowGeneration_ is rowGeneration_.
  std::vector<TGridTreeListNode*> rows_;
  bool rowCacheValid_ = false;
  uint32_t rowGeneration_ = 1;

  std::vector<TTreeListLayoutBand> layout_;
  int leftCoord_ = 0;
  int fullyVisibleRows_ = 1;
  int bandPanelHeight_ = 18;
  int headerPanelHeight_ = 18;
  int headerLineHeight_ = 18;
  int headerLineCount_ = 1;
  int bandLineCount_ = 1;
  int linesPerRecord_ = 1;
  int rowLineHeight_ = 18;
  int defaultRowHeight_ = 18;
  int previewLineHeight_ = 13;
  int footerLineHeight_ = 20;
  int rowHeight_ = 0;
  int headerPanelRowHeight_ = 0;
  int bandPanelRowHeight_ = 0;
  bool layingOut_ = false;
  int quietLayout_ = 0;
  bool layoutPending_ = false;
  bool relayoutPending_ = false;

  // Input: what the mouse, the keyboard and the search remember.
  TGridTreeListNode* pressNode_ = nullptr;
  TGridTreeListNode* dragNode_ = nullptr;
  TGridTreeListNode* hotNode_ = nullptr;
  int hotRow_ = -1;
  bool newItemRowFocused_ = false;
  bool releaseMayOpenEditor_ = false;
  int searchColumn_ = -1;
  std::string searchText_;
  bool searching_ = false;
  mutable TTreeListHitInfo lastHit_;

  // What a press remembers until its release (see the mouse handling).
  struct PressState {
    TTreeListHitInfo Hit;                        // where the press was
    gui::Point Point;                            // for the drag threshold
    int Column = -1;                             // the pressed header (absolute)
    int Band = -1;                               // the pressed band
    bool StillDown = false;                      // the mouse still over it
    bool ButtonStillDown = false;                // a panel button still pressed
    int SizingIndex = -1;                        // the column, band or row sized
    int SizingStart = -1;                        // the sizing line's first place
    TGridTreeListNode* FocusedBefore = nullptr;  // the focused node before a node press
    bool ReduceOnRelease = false;                // a press on a selected node
    bool Extended = false;                       // a node press with Ctrl or Shift
    bool ClickAllowed = false;                   // the release may fire OnClick
  };
  PressState press_;
  std::optional<gui::Point> dblClickPoint_;  // while the grid's WM_LBUTTONDBLCLK is handled
  bool dblClickPending_ = false;             // its DblClick, held until the press is done
  // The keyboard's Shift range has begun (cleared by Ctrl keys and presses).
  bool rangeInProgress_ = false;

  // Tracking feedback.
  int dragIndex_ = -1;
  int dropX_ = -1;
  int paintNesting_ = 0;
  bool bandCornerPressed_ = false;
  bool headerCornerPressed_ = false;
  int pressedBand_ = -1;
  int pressedColumn_ = -1;
  gui::Bitmap* paintBitmap_ = nullptr;
  mutable std::unique_ptr<gui::Bitmap> measureBitmap_;  // its canvas measures texts
  int sizingPos_ = -1;
  bool sizingLineShown_ = false;
  std::unique_ptr<gui::Bitmap> dropSaveUnder_;  // the pixels under the shown arrows
  gui::Rect dropArrowRects_[2];

  // The pending editor of a click on the focused cell (one per grid).
  struct EditorTimer {
    bool Pending = false;
    TGridTreeListNode* Node = nullptr;
    int Column = -1;
    bool NewItemRow = false;
  };
  EditorTimer editorTimer_;
  // The hint shown (over a cell, or the grid's own).
  TGridContainerHintWindow* hintWindow_ = nullptr;  // owned (a component of the grid)
  const TGridTreeListNode* hintNode_ = nullptr;
  int hintColumn_ = -1;
  // Where the middle button took the rows and columns.
  struct PanState {
    bool Active = false;
    gui::Point Start;
    int Top = 0;
    int Left = 0;
  };
  PanState pan_;
  int searchStep_ = 0;  // re-entrance of the search step

  TGridTreeListOptions options_;
  TGridTreeListOptionsEx optionsEx_;
  gui::Color arrowsColor_;
  gui::Color bandColor_, headerColor_, groupNodeColor_, hideSelectionColor_;
  gui::Color gridLineColor_, groupNodeTextColor_, autoSearchColor_, autoSearchTextColor_;
  gui::Color highlightColor_, highlightTextColor_, hideSelectionTextColor_, treeLineColor_;
  gui::Color fixedBandLineColor_, rowFooterColor_, rowFooterTextColor_;
  gui::Font bandFont_, headerFont_, previewFont_, internalFont_;
  bool adjustingFonts_ = false;
  gui::ImageList* images_ = nullptr;
  gui::ImageList* stateImages_ = nullptr;
  int imagesLink_ = 0;
  int stateImagesLink_ = 0;
  TGridTreeLineStyle treeLineStyle_ = tlDot;
  TGridTreeListPaintStyle paintStyle_ = psStandard;
  TGridBorderStyle borderStyle_ = bsSingle;
  TGridScrollStyle scrollBars_ = ssBoth;
  bool dblClkExpanding_ = true;
  bool hideFocusRect_ = true;
  bool hideSelection_ = true;
  bool showButtons_ = true;
  bool showHeader_ = true;
  bool showLines_ = true;
  bool showPreviewGrid_ = true;
  bool showRoot_ = true;
  bool showBands_ = false;
  bool showGrid_ = false;
  bool showIndicator_ = false;
  bool showFooter_ = false;
  bool showRowFooter_ = false;
  int indentDesc_ = 20;
  int previewLines_ = 2;
  int maxRowLineCount_ = -1;
  int customizingRowCount_ = 11;
  int fixedBandLineWidth_ = 2;
  int rowSeparatorLineWidth_ = 1;
  int waitForExpandNodeTime_ = 500;
  bool autoExpandOnSearch_ = true;
};

// A selection-change bracket for a scope: OnSelectedCountChange fires at
// most once, when it closes, whichever way the scope is left.
class TGridSelectionScope {
 public:
  explicit TGridSelectionScope(TCustomGridTreeList& grid);
  ~TGridSelectionScope() noexcept(false);
  TGridSelectionScope(const TGridSelectionScope&) = delete;
  TGridSelectionScope& operator=(const TGridSelectionScope&) = delete;

 private:
  TCustomGridTreeList& grid_;
};

// An update bracket for a scope (take false: none). A BeginUpdate that
// fails takes nothing, so nothing is released.
class TGridUpdateScope {
 public:
  explicit TGridUpdateScope(TCustomGridTreeList& grid, bool take = true);
  ~TGridUpdateScope() noexcept(false);
  TGridUpdateScope(const TGridUpdateScope&) = delete;
  TGridUpdateScope& operator=(const TGridUpdateScope&) = delete;

 private:
  TCustomGridTreeList* grid_;
};
