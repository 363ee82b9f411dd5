#include "treelist/tree_list_row_paint.h"

#include <algorithm>
#include <vector>

#include "treelist/custom_tree_list.h"
#include "treelist/grid_drawing.h"
#include "treelist/tree_list_paint.h"

using namespace gui;

namespace {

// The grid lines of a paint: one-pixel segments (both ends drawn) kept in
// a buffer that grows as rows add them, drawn by one call at the end.
class GridLines {
 public:
  void H(int x1, int x2, int y) {
    if (x2 >= x1) Add({x1, y}, {x2 + 1, y});
  }
  void V(int x, int y1, int y2) {
    if (y2 >= y1) Add({x, y1}, {x, y2 + 1});
  }
  void Draw(Canvas& c, gui::Color color) const {
    if (points_.empty()) return;
    CanvasSaver keep(c);
    c.Pen().SetStyle(PenStyle::Solid);
    c.Pen().SetWidth(1);
    c.Pen().SetMode(R2_COPYPEN);
    c.Pen().SetColor(color);
    c.PolyPolyline(points_, counts_);
  }

 private:
  void Add(Point a, Point b) {
    points_.push_back(a);
    points_.push_back(b);
    counts_.push_back(2);
  }
  std::vector<Point> points_;
  std::vector<int> counts_;
};

// The cell of column e on node's row (nullptr: the new-item row, row
// kind 2), in the colour rule's colours, through the grid's cell drawer.
void DrawRowCell(TTreeListPaintFrame& f, const TTreeListColumnEntry& e, const Rect& cell, TGridTreeListNode* node,
                 bool selected, bool focusedCell, bool multiLine, int rowKind) {
  TTreeListColorQuery q;
  q.Node = node;
  q.Selected = selected;
  q.Column = e.Column;
  const TTreeListCellColors colors = f.CellColors(q);
  TTreeListCellDrawParams p;
  p.Canvas = &f.Canvas;
  p.CellRect = cell;
  p.ColumnColor = f.ColumnColor(e.Column);
  p.FirstOfGrid = e.FirstOfGrid;
  p.LastOfGrid = e.LastOfGrid;
  p.RowKind = rowKind;
  p.MultiLine = multiLine;
  p.BrushColor = p.BkColor = colors.Bk;
  p.Brush = colors.Brush;
  p.TextColor = colors.Text;
  p.FocusedCell = focusedCell;
  p.Selected = selected;
  p.Column = e.Column;
  p.Node = node;
  f.Grid.DrawCell(p);
}

class RowPainter {
 public:
  explicit RowPainter(TTreeListPaintFrame& frame)
      : f(frame), g(frame.Grid), info(frame.Info), c(frame.Canvas) {
    shift = g.ShowRootRead() ? 0 : -1;
    rowLine = g.RowLineHeight();
    lines = rowLine * g.LinesPerRecord();
    multiRowRecord = g.LinesPerRecord() > 1;
    sep = info.RowSeparatorWidth;
    standard = g.IsStandardStyle();
    grid = g.ShowGrid();
    previewGrid = grid && g.ShowPreviewGrid();
    rowFocus = g.IsRowSelect() || g.IsInvertSelect();
    fixedWidth = g.FixedBandLineWidth();
    const std::vector<TTreeListLayoutBand>& layout = g.Layout();
    firstBand = layout.empty() ? -1 : layout[0].Band;
    lastBand = info.LastBand();
    for (const TTreeListBandEntry& b : info.Bands)
      if (b.Band == firstBand) firstBandClip = b.ClipRect;
    scrollingRows = Rect(info.Scrollable.Left, info.Rows.Top, info.Scrollable.Right, info.Rows.Bottom);
  }

  void Paint();

 private:
  // Where level cell i (0: the roots') begins.
  int IndentX(int i) const { return info.TreeLeft + (i + shift) * indent; }
  // The bottom of a row's own part: above its separator and footers.
  int OwnBottom(const TTreeListRowEntry& row) const { return row.Top + row.Height - sep - row.FootersHeight; }
  // The selected flag of the parts of a row outside its cells.
  bool RowPartSelected(const TTreeListRowEntry& row) const {
    return row.Selected && (!g.NewItemRowFocused() || g.IsMultiSelect()) &&
           (rowFocus || g.IsMultiSelect());
  }
  // In the Outlook style without grid a node with children has a line
  // along the top of its row: its cells and its focus begin a pixel lower.
  bool LineAlongTop(const TGridTreeListNode* n) const { return !standard && !grid && n->HasChildren(); }
  // A vertical line at x lies between the fixed bands, where the scrolling
  // columns are.
  bool InScrollingArea(int x) const { return x >= info.Scrollable.Left && x < info.Scrollable.Right; }
  // A column of the scrolling band that a fixed band partly covers: its
  // cells are clipped to the scrolling area.
  bool ClippedByFixedBands(const TTreeListColumnEntry& e) const {
    return info.Scrolling(e.Band) && e.ClipRect != e.HeaderRect;
  }
  // The last column of a header row in the left fixed band, or in the band
  // just before a right fixed band: a fixed band's separator runs along its
  // right edge, so the cell keeps its last pixel and has no line there.
  bool SeparatorAlongRightEdge(const TTreeListColumnEntry& e) const {
    if (!e.LastInRow) return false;
    return e.Band == info.LeftFixedBand || (info.RightFixedBand >= 0 && e.Band == info.BandBeforeRightFixed);
  }
  // The cell gives its right pixel to a vertical grid line: every cell
  // with the cell lines on (but where a separator runs); with the row
  // lines only, the last column of the last band, for the grid's right
  // edge.
  bool RightPixelGoesToLine(const TTreeListColumnEntry& e) const {
    if (previewGrid) return !SeparatorAlongRightEdge(e);
    return grid && e.LastInRow && e.Band == lastBand;
  }
  const gui::Brush& IndentBrush(const TGridTreeListNode* n, int i);
  void TreeLine(const Rect& r);
  void Indents(const TTreeListRowEntry& row, const TTreeListRowEntry* prev);
  void GroupRow(const TTreeListRowEntry& row);
  void Row(const TTreeListRowEntry& row);
  void Cells(const TTreeListRowEntry& row, int cellBottom);
  Rect CellRect(const TTreeListRowEntry& row, const TTreeListColumnEntry& e, int cellBottom) const;
  void CellGridLines(const TTreeListRowEntry& row, const TTreeListColumnEntry& e, const Rect& cell, bool clipped);
  void RowFooters(const TTreeListRowEntry& row);
  void Separators(const TTreeListRowEntry& row);
  template <class Body>
  void EachRow(Body&& body);

  TTreeListPaintFrame& f;
  TCustomGridTreeList& g;
  const TTreeListDrawInfo& info;
  Canvas& c;
  static constexpr int indent = TCustomGridTreeList::kIndentWidth;
  int shift = 0, rowLine = 0, lines = 0, sep = 0, fixedWidth = 0;
  int firstBand = -1, lastBand = -1;
  Rect firstBandClip;
  Rect scrollingRows;  // the rows area between the fixed bands
  bool standard = true, grid = false;
  bool previewGrid = false;     // the cell lines: the grid with ShowPreviewGrid
  bool multiRowRecord = false;  // a record has more than one header row
  bool rowFocus = false;        // the focus is the whole row's, not a cell's
  bool dotted = false;
  gui::Color lineText = 0, lineBk = 0;
  GridLines gridLines;
};

// Runs body for each row with the after-row hook behind it (also when the
// body raises).
template <class Body>
void RowPainter::EachRow(Body&& body) {
  const TTreeListRowEntry* prev = nullptr;
  for (const TTreeListRowEntry& row : info.RowEntries) {
    try {
      body(row, prev);
    } catch (...) {
      g.AfterRow(row.Node);
      throw;
    }
    g.AfterRow(row.Node);
    prev = &row;
  }
}

void RowPainter::Paint() {
  f.Fill(info.EmptyRight, *f.Background);
  f.Fill(info.EmptyBelow, *f.Background);
  if (!f.Visible(info.Rows) || info.Columns.empty() || info.RowEntries.empty()) return;

  // First pass: the tree parts, clipped to the first band's visible part.
  const Rect tree(std::max(info.Rows.Left, info.TreeClipLeft), info.Rows.Top,
                  std::min(info.Rows.Right, firstBandClip.Right), info.Rows.Bottom);
  if (f.Visible(tree)) {
    CanvasSaver keep(c);  // the clip and the colours the dotted lines take
    c.IntersectClip(tree);
    dotted = standard && g.ShowLines() && g.TreeLineStyle() == tlDot;
    if (dotted) {
      // The dots keep one phase against the rows area: its top-left pixel
      // always takes the background colour.
      const Point o = c.ViewportOrigin();
      const bool same = ((info.Rows.Left + o.X + info.Rows.Top + o.Y) & 1) == 0;
      lineText = same ? f.Colors.Window : f.Colors.TreeLine;
      lineBk = same ? f.Colors.TreeLine : f.Colors.Window;
    }
    EachRow([&](const TTreeListRowEntry& row, const TTreeListRowEntry* prev) { Indents(row, prev); });
  }

  // Second pass: cells, previews, row footers, focus and grid lines.
  {
    CanvasSaver keep(c);
    c.Font().Assign(g.Font());
    c.SetTextColor(f.Colors.Font);
    EachRow([&](const TTreeListRowEntry& row, const TTreeListRowEntry*) {
      if (row.GroupRow)
        GroupRow(row);
      else
        Row(row);
    });
  }
  const TTreeListRowEntry& last = info.RowEntries.back();
  if (grid) gridLines.V(info.DataRight - 1, info.Rows.Top, last.Top + last.Height - 1);
  gridLines.Draw(c, grid ? f.Colors.Grid : f.Colors.Window);
}

const gui::Brush& RowPainter::IndentBrush(const TGridTreeListNode* n, int i) {
  if (standard) return *f.Background;
  const int deepest = n->Level() - (n->HasChildren() ? 0 : 1);
  if (g.LevelColorAssigned() && i <= deepest) return f.LevelBrush(i, f.Colors.Group);
  return *f.Group;
}

void RowPainter::TreeLine(const Rect& r) {
  if (r.IsEmpty()) return;
  if (!dotted) {
    f.Fill(r, *f.TreeLine);
    return;
  }
  if (!c.RectVisible(r)) return;
  c.Brush().Assign(GridHalftoneBrush());
  c.SetTextColor(lineText);
  c.SetBkColor(lineBk);
  c.FillRect(r);
  c.Brush().Assign(*f.TreeLine);  // routines that only set a colour expect a solid brush
}

void RowPainter::Indents(const TTreeListRowEntry& row, const TTreeListRowEntry* prev) {
  TGridTreeListNode* n = row.Node;
  const int level = n->Level();
  const bool kids = n->HasChildren();
  const int top = row.Top, bottom = row.Top + row.Height;
  // The button and the images are centred on the row without its footers
  // (its lines and its preview), and so is the line to the node.
  const int limit = OwnBottom(row);
  const TTreeListIndentGeometry geo =
      g.IndentGeometry(n, Rect(info.TreeLeft, top, info.TreeRight, limit), info.TreeIndentLimit);
  // Level cells: one per ancestor, and the node's own.
  const int cells = level + ((kids || standard) ? 1 : 0);
  for (int i = 0; i < cells; ++i)
    if (i + shift >= 0) f.Fill(Rect(IndentX(i), top, IndentX(i) + indent, bottom), IndentBrush(n, i));

  const int mid = top + (limit + sep - top) / 2;
  const bool button = g.ShowButtons() && kids;
  if (standard && g.ShowLines() && level + shift >= 0) {
    const int x = IndentX(level) + indent / 2 - 1;
    const bool firstRoot = n == g.GetFirstNode();
    TreeLine(Rect(button ? x + 5 : x, mid, IndentX(level) + indent, mid + 1));
    if (!button) {
      int from = firstRoot ? mid : top;
      // A first child starts its line right under its parent's image.
      if (!firstRoot && prev && prev->Node == n->Parent() && !n->GetPrevSibling() && g.Images()) {
        const TTreeListIndentGeometry up = g.IndentGeometry(
            prev->Node, Rect(info.TreeLeft, prev->Top, info.TreeRight, OwnBottom(*prev)), info.TreeIndentLimit);
        if (!up.Image.IsEmpty())
          from = prev->Top + (OwnBottom(*prev) - prev->Top - g.ImageHeight() + 1) / 2 + g.ImageHeight();
      }
      TreeLine(Rect(x, from, x + 1, (n->IsLast() ? mid : bottom - 1) + 1));
    } else {
      if (!firstRoot) TreeLine(Rect(x, top, x + 1, mid - 4));
      if (!n->IsLast()) TreeLine(Rect(x, mid + 5, x + 1, bottom));
    }
    int ax = x, alevel = level;
    for (const TGridTreeListNode* a = n->Parent(); a && --alevel + shift >= 0; a = a->Parent()) {
      ax -= indent;
      if (!a->IsLast()) TreeLine(Rect(ax, top, ax + 1, bottom));
    }
  }

  if (button && !geo.Button.IsEmpty()) {
    const Rect cell(IndentX(level), top, IndentX(level) + indent - 1, limit);
    if (standard)
      DrawTreeButton(c, cell, mid, !n->Expanded());
    else if (f.Look == lfUltraFlat)
      DrawOutlookButton(c, cell, !n->Expanded());
    else
      DrawTreeButtonBitmap(c, cell, !n->Expanded());
  }
  if (kids && (!standard || !grid) && cells + shift >= 0)
    f.Fill(Rect(IndentX(cells), top, IndentX(cells) + 1, bottom - sep), IndentBrush(n, level));

  // The images, filled to the row's lower limit.
  const gui::Brush& imageBrush = standard || !(row.GroupRow || kids) ? *f.Background : IndentBrush(n, level);
  if (!geo.StateImage.IsEmpty()) {
    f.Fill(Rect(geo.StateImage.Left, top, geo.StateImage.Right, limit), imageBrush);
    DrawImageCentered(c, geo.StateImage, g.StateImages(), n->StateIndex());
  }
  if (!geo.Image.IsEmpty()) {
    f.Fill(Rect(geo.Image.Left, top, geo.Image.Right, limit), imageBrush);
    DrawImageCentered(c, geo.Image, g.Images(), row.Selected ? n->SelectedIndex() : n->ImageIndex());
  }
}

void RowPainter::GroupRow(const TTreeListRowEntry& row) {
  TGridTreeListNode* n = row.Node;
  Rect r(info.TreeLeft + row.Indent, row.Top + (!grid && n->HasChildren() ? 1 : 0), info.DataRight,
         row.Top + row.Height - sep);
  r.Right = std::min(r.Right, info.Rows.Right);
  TTreeListClip clip(c);
  if (r.Left < info.Rows.Left || g.LeftCoord() != 0) clip.Set(info.Rows);
  TTreeListColorQuery q;
  q.Node = n;
  q.GroupRow = true;
  q.Selected = row.Selected && !(g.NewItemRowFocused() && !g.IsMultiSelect());
  const TTreeListCellColors colors = f.CellColors(q);
  c.SetBkColor(colors.Bk);
  c.SetTextColor(colors.Text);
  TTreeListFooterDrawParams p;
  p.Canvas = &c;
  p.Rect = r;
  p.GroupRow = true;
  p.Brush = colors.Brush;
  p.TextColor = colors.Text;
  p.BkColor = colors.Bk;
  p.Focused = n == g.FocusedNode();
  p.Selected = q.Selected;
  p.Node = n;
  p.Scratch = &f.Scratch;
  g.DrawFooterCell(p);
  if (p.Focused) f.FocusRect(r);
}

void RowPainter::Row(const TTreeListRowEntry& row) {
  TGridTreeListNode* n = row.Node;
  const int top = row.Top, bottom = row.Top + row.Height;
  const int previewHeight = row.PreviewLines ? row.PreviewLines * g.PreviewLineHeight() + 2 : 0;
  const int below = bottom - sep - row.FootersHeight;  // where the row's footers begin
  const int cellBottom = std::min(below - (previewHeight ? previewHeight + sep : 0), info.Rows.Bottom);
  // The fixed bands' separator pieces.
  if (info.LeftFixedBand >= 0) {
    const int x = info.LeftFixedHeader.Right;
    f.Fill(Rect(x - fixedWidth, top, x, cellBottom), *f.FixedBandLine);
  }
  if (info.RightFixedBand >= 0) {
    const int x = info.RightFixedHeader.Left;
    f.Fill(Rect(x, top, x + fixedWidth, cellBottom), *f.FixedBandLine);
  }
  Cells(row, cellBottom);

  const bool partSelected = RowPartSelected(row);
  TTreeListColorQuery partQuery;
  partQuery.Node = n;
  partQuery.Selected = partSelected;
  const TTreeListCellColors partColors = f.CellColors(partQuery);
  // The record's parts no cell covers.
  for (const TTreeListColumnEntry& e : info.Columns)
    if (!e.EmptyRect.IsEmpty())
      f.Fill(Rect(e.EmptyRect.Left, top + (e.RowIndex + e.RowCount) * rowLine, e.EmptyRect.Right, top + lines),
             *partColors.Brush);
  for (const Rect& gap : info.HeaderGaps) {
    f.Fill(Rect(gap.Left, top, gap.Right, top + lines), *partColors.Brush);
    if (previewGrid && InScrollingArea(gap.Left - 1)) gridLines.V(gap.Left - 1, top, top + lines - 1);
  }

  if (previewHeight) {
    const Rect r(info.TreeLeft + row.Indent, below - previewHeight, info.DataRight, below);
    TTreeListClip clip(c);
    if (r.Left < info.Rows.Left || r.Right > info.Rows.Right) clip.Set(info.Rows);
    const TTreeListCellColors& colors = partColors;
    TTreeListPreviewDrawParams p;
    p.Canvas = &c;
    p.Rect = r;
    p.Selected = row.Selected;
    p.Brush = colors.Brush;
    p.TextColor = colors.Text;
    p.BkColor = colors.Bk;
    p.Node = n;
    p.Scratch = &f.Scratch;
    g.DrawPreview(p);
    if (previewGrid) gridLines.H(std::max(r.Left, info.Rows.Left), r.Right - 1, r.Top - 1);
  }
  RowFooters(row);

  if (rowFocus && !g.NewItemRowFocused() && n == g.FocusedNode())
    f.FocusRect(Rect(info.TreeLeft + row.Indent, top + (LineAlongTop(n) ? 1 : 0), info.DataRight, below));
  Separators(row);
}

void RowPainter::Cells(const TTreeListRowEntry& row, int cellBottom) {
  TGridTreeListNode* n = row.Node;
  const bool focusedRow = n == g.FocusedNode();
  const int focusedColumn = g.FocusedAbsoluteIndex();
  for (const TTreeListColumnEntry& e : info.Columns) {
    const Rect cell = CellRect(row, e, cellBottom);
    const bool clipped = ClippedByFixedBands(e);
    TTreeListClip clip(c);
    if (clipped) clip.Set(scrollingRows);
    if (f.Visible(cell)) {
      const bool focusedCell = focusedRow && e.Column == focusedColumn;
      DrawRowCell(f, e, cell, n, row.Selected, f.Active && (rowFocus ? focusedRow : focusedCell),
                  e.RowCount > 1 || row.LineCount > 1 || e.MultiLine, 0);
      // Without row focus the focused cell has a focus rectangle of its own.
      if (!rowFocus && !g.NewItemRowFocused() && focusedCell) f.FocusRect(cell);
    }
    if (previewGrid) CellGridLines(row, e, cell, clipped);
  }
}

// Column e's cell on row: the lines of its header rows (down to
// cellBottom when a record has one row), right of the row's indent in the
// first band, inside the fixed bands' separators; with the cell lines on,
// a cell of a record of several rows gives its bottom pixel to the line
// under it.
Rect RowPainter::CellRect(const TTreeListRowEntry& row, const TTreeListColumnEntry& e, int cellBottom) const {
  Rect cell(e.HeaderRect.Left, row.Top + e.RowIndex * rowLine, e.HeaderRect.Right, cellBottom);
  if (e.Band == firstBand) cell.Left = std::max(cell.Left, info.TreeLeft + row.Indent);
  if (LineAlongTop(row.Node)) ++cell.Top;
  if (multiRowRecord) cell.Bottom = row.Top + (e.RowIndex + e.RowCount) * rowLine - (previewGrid ? 1 : 0);
  if (RightPixelGoesToLine(e)) --cell.Right;
  if (e.Band == info.LeftFixedBand) cell.Right = std::min(cell.Right, info.LeftFixedHeader.Right - fixedWidth);
  if (e.Band == info.RightFixedBand) cell.Left = std::max(cell.Left, info.RightFixedHeader.Left + fixedWidth);
  return cell;
}

// A cell's lines, with the cell lines on: along its bottom between the
// header rows of a record, and on its right edge unless a separator runs
// there; the last column of a header row draws its edge down through the
// record's lines. A cell clipped by the fixed bands keeps its lines in
// the scrolling area.
void RowPainter::CellGridLines(const TTreeListRowEntry& row, const TTreeListColumnEntry& e, const Rect& cell,
                               bool clipped) {
  const int x = e.HeaderRect.Right - 1;
  if (multiRowRecord) {
    int left = cell.Left, right = x;
    if (clipped) {
      left = std::max(left, scrollingRows.Left);
      right = std::min(right, scrollingRows.Right - 1);
    }
    gridLines.H(left, right, cell.Bottom);
  }
  if (SeparatorAlongRightEdge(e) || (clipped && !InScrollingArea(x))) return;
  gridLines.V(x, cell.Top, e.LastInRow && multiRowRecord ? row.Top + lines - 1 : cell.Bottom);
}

void RowPainter::RowFooters(const TTreeListRowEntry& row) {
  TGridTreeListNode* n = row.Node;
  const int footerHeight = g.RowFooterHeight();
  const int first = row.Top + row.Height - sep - row.FootersHeight;
  for (int fi = 0; fi < row.FooterCount; ++fi) {
    const int level = g.FooterLevel(n, fi);
    const int y = first + fi * footerHeight;
    // A footer closes its level: it begins right of that level's cells.
    const Rect line(IndentX(level + 1), y, info.DataRight, y + footerHeight);
    TTreeListClip clip(c);
    if (line.Left < info.Rows.Left) clip.Set(info.Rows);
    gui::Color bk = f.Colors.RowFooter;
    const gui::Brush& brush = g.LevelColorAssigned() ? f.LevelBrush(level, bk, &bk) : *f.RowFooter;
    f.Fill(line, brush);
    for (const TTreeListColumnEntry& e : info.Columns) {
      Rect cell(std::max(e.HeaderRect.Left, line.Left), y, e.HeaderRect.Right, y + footerHeight);
      if (e.LastInRow && e.Band == lastBand) cell.Right -= 2;
      if (!f.Visible(cell) || !g.RowFooterCellExists(n, e.Column, fi)) continue;
      f.CellFrame(cell);
      TTreeListFooterDrawParams p;
      p.Canvas = &c;
      p.Rect = cell.Inflate(-1, -1);
      p.Brush = &brush;
      p.TextColor = f.Colors.RowFooterText;
      p.BkColor = bk;
      p.FooterIndex = fi;
      p.Column = e.Column;
      p.Node = n;
      p.Scratch = &f.Scratch;
      g.DrawFooterCell(p);
    }
  }
}

void RowPainter::Separators(const TTreeListRowEntry& row) {
  TGridTreeListNode* n = row.Node;
  const int level = n->Level();
  const int top = row.Top, bottom = row.Top + row.Height;
  // Level lines: a deeper level's line stops above the footers that close
  // shallower levels (those run across it).
  const int count = standard ? (grid ? level + 1 : 0) : level;
  for (int i = 0; i < count; ++i) {
    const int x = IndentX(i + 1) - 1;
    if (i + 1 + shift <= 0 || x < info.Rows.Left) continue;
    const int through = std::clamp(level - i, 0, row.FooterCount);
    gridLines.V(x, top, bottom - sep - (row.FooterCount - through) * g.RowFooterHeight() - 1);
  }
  int start = IndentX(level + ((standard || n->HasChildren()) ? 1 : 0));
  start = std::max(std::min(start, firstBandClip.Right), info.Rows.Left);
  if (grid) {
    // Along the bottom; a plain row leaves the fixed bands' separators free.
    const bool plain = !row.PreviewLines && !row.FooterCount;
    std::vector<std::pair<int, int>> gaps;  // [left, right) kept free
    if (plain && info.LeftFixedBand >= 0)
      gaps.emplace_back(info.LeftFixedHeader.Right - fixedWidth, info.LeftFixedHeader.Right);
    if (plain && info.RightFixedBand >= 0)
      gaps.emplace_back(info.RightFixedHeader.Left, info.RightFixedHeader.Left + fixedWidth);
    for (int k = 0; k < sep; ++k) {
      const int y = bottom - sep + k;
      int from = start;
      for (const auto& [gl, gr] : gaps) {
        gridLines.H(from, std::min(gl, info.DataRight) - 1, y);
        from = std::max(from, gr);
      }
      gridLines.H(from, info.DataRight - 1, y);
    }
  } else if (LineAlongTop(n)) {
    gridLines.H(std::max(IndentX(level), info.Rows.Left), info.DataRight, top);
  }
}

}  // namespace

void PaintRows(TTreeListPaintFrame& f) { RowPainter(f).Paint(); }

void PaintNewItemRow(TTreeListPaintFrame& f) {
  TCustomGridTreeList& g = f.Grid;
  const TTreeListDrawInfo& info = f.Info;
  const Rect& r = info.NewItemRow;
  if (!f.Visible(r)) return;
  Canvas& c = f.Canvas;
  const bool grid = g.ShowGrid();
  const int bottom = r.Bottom - (grid ? 1 : 0);
  if (!info.Indicator.IsEmpty())
    DrawIndicatorCell(c, Rect(info.Indicator.Left, r.Top, info.Indicator.Right, r.Bottom),
                      Rect(info.Indicator.Left, r.Top, info.Indicator.Right, r.Bottom), f.Look, ikInsert, f.Scratch,
                      *f.Header);
  // A button face over the tree part of the first column.
  const int treeRight = std::min(info.TreeLeft + (g.IsStandardStyle() && g.ShowRootRead() ? g.IndentWidth() : 0),
                                 info.TreeIndentLimit);
  Rect face(std::max(info.TreeLeft, info.Rows.Left), r.Top, treeRight, bottom);
  if (f.Visible(face)) DrawHeaderFace(c, face, *f.Header, f.Look == lfUltraFlat ? lfFlat : f.Look, hekOnly, false);
  f.Fill(Rect(info.DataRight, r.Top, r.Right, r.Bottom), *f.Background);
  GridLines lines;
  const int focusedColumn = g.FocusedAbsoluteIndex();
  TTreeListClip clip(c);
  clip.Set(Rect(info.Rows.Left, r.Top, info.Rows.Right, r.Bottom));
  for (const TTreeListColumnEntry& e : info.Columns) {
    Rect cell(e.HeaderRect.Left, r.Top, e.HeaderRect.Right - (grid ? 1 : 0), bottom);
    if (e.FirstOfGrid) cell.Left = std::max(cell.Left, treeRight);
    if (f.Visible(cell)) {
      DrawRowCell(f, e, cell, nullptr, g.NewItemRowFocused(),
                  f.Active && g.NewItemRowFocused() && e.Column == focusedColumn, false, 2);
      if (g.NewItemRowFocused() && e.Column == focusedColumn) f.FocusRect(cell);
    }
    if (grid) lines.V(e.HeaderRect.Right - 1, r.Top, r.Bottom - 1);
  }
  if (grid) lines.H(info.Rows.Left, info.DataRight - 1, r.Bottom - 1);
  lines.Draw(c, f.Colors.Grid);
}
