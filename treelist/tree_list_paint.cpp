// The tree list's paint with the grid's drawing routines: band and column
// headers, the indicator cells, the rows' tree parts (indent, expand
// button, images), every cell through the cell drawer, the focus frame and
// the empty areas. Tracking feedback is hidden around it.
#include <algorithm>

#include "treelist/custom_tree_list.h"
#include "treelist/grid_drawing.h"

using namespace gui;

namespace {

void Fill(Canvas& c, const Rect& r, gui::Color color) {
  if (r.IsEmpty() || !c.RectVisible(r)) return;
  c.Brush().SetColor(color);
  c.FillRect(r);
}

TGridHeaderEdgeKind EdgeKind(const TTreeListColumnEntry& e) {
  if (e.FirstInRow && e.LastInRow) return hekOnly;
  if (e.LastInRow) return hekLast;
  return e.FirstInRow ? hekFirst : hekMiddle;
}

}  // namespace

unsigned TCustomGridTreeList::AlignmentFlags(TAlignment a) {
  switch (a) {
    case taRightJustify: return gtfRight;
    case taCenter: return gtfCenter;
    default: return gtfLeft;
  }
}

void TCustomGridTreeList::DrawCell(const TTreeListCellDrawParams& p) {
  Canvas& c = *p.Canvas;
  if (p.CellRect.IsEmpty() || !c.RectVisible(p.CellRect)) return;
  CanvasSaver saver(c);
  c.Font().Assign(ColumnFont(p.Column));
  c.SetTextColor(p.TextColor);
  c.SetBkColor(p.BkColor);
  gui::Brush brush;
  brush.SetColor(p.BrushColor);
  DrawCellText(c, p.CellRect, brush, p.Node ? GetNodeString(p.Node, p.Column) : std::string(),
               AlignmentFlags(ColumnAlignment(p.Column)), p.MultiLine);
}

void TCustomGridTreeList::Paint(Canvas& canvas, const Rect& clip) {
  HideTrackingFeedback();
  struct Shown {
    TCustomGridTreeList& grid;
    ~Shown() { grid.ShowTrackingFeedback(); }
  } shown{*this};
  TTreeListDrawInfo info;
  CalcDrawInfo(info);
  PaintBasic(canvas, info);
}

void TCustomGridTreeList::PaintBasic(Canvas& c, const TTreeListDrawInfo& info) {
  Bitmap scratch;
  gui::Brush bandBrush, headerBrush;
  bandBrush.SetColor(bandColor_);
  headerBrush.SetColor(headerColor_);
  const TGridLookAndFeel look = LookAndFeel();
  auto header = [&](const Rect& r, const Rect& clipRect, const gui::Brush& brush, const gui::Font& font,
                    const TGridHeaderCell& cell) {
    if (r.IsEmpty() || clipRect.IsEmpty() || !c.RectVisible(clipRect)) return;
    CanvasSaver saver(c);
    c.IntersectClip(clipRect);
    c.Font().Assign(font);
    DrawHeaderCell(c, r, cell, brush);
  };
  Fill(c, info.BandCorner, bandColor_);
  Fill(c, info.HeaderCorner, headerColor_);
  for (const TTreeListBandEntry& b : info.Bands) {
    const std::string caption = BandCaption(b.Band);
    TGridHeaderCell cell;
    cell.look = look;
    cell.alignment = AlignmentFlags(BandAlignment(b.Band));
    cell.text = caption;
    header(b.HeaderRect, b.ClipRect, bandBrush, bandFont_, cell);
  }
  for (const TTreeListColumnEntry& e : info.Columns) {
    Fill(c, e.EmptyRect, clBtnShadow);
    const std::string caption = HeaderCaption(e.Column);
    TGridHeaderCell cell;
    cell.look = look;
    cell.edge = EdgeKind(e);
    cell.sortMark = TGridSortMark(HeaderSortMark(e.Column));
    cell.alignment = AlignmentFlags(HeaderAlignment(e.Column));
    cell.multiLine = e.MultiLine;
    cell.text = caption;
    header(e.HeaderRect, e.ClipRect, headerBrush, headerFont_, cell);
  }
  for (const Rect& gap : info.HeaderGaps) Fill(c, gap, clBtnShadow);
  Fill(c, info.Footer, headerColor_);
  Fill(c, info.EmptyRight, Color());
  Fill(c, info.EmptyBelow, Color());
  Fill(c, info.Indicator, headerColor_);

  const bool active = HasFocus() || (Editing() && EditorHasFocus());
  const int lines = RowLineHeight() * LinesPerRecord();
  const int firstBand = Layout().empty() ? -1 : Layout()[0].Band;
  for (const TTreeListRowEntry& row : info.RowEntries) {
    if (!info.Indicator.IsEmpty()) {
      const Rect cell(info.Indicator.Left, row.Top, info.Indicator.Right, row.Top + row.Height);
      if (c.RectVisible(cell))
        DrawIndicatorCell(c, cell, cell.Intersect(info.Indicator), look, TGridIndicatorKind(row.IndicatorKind),
                          scratch, headerBrush);
    }
    const Rect rowRect(info.Rows.Left, row.Top, info.DataRight, row.Top + row.Height);
    if (!c.RectVisible(rowRect)) continue;
    const bool highlighted = row.Selected && (active || !hideSelection_);
    const gui::Color bk = !highlighted ? Color() : (active ? highlightColor_ : hideSelectionColor_);
    const gui::Color text = !highlighted ? Font().Color() : (active ? highlightTextColor_ : hideSelectionTextColor_);
    // The tree part of the first column, from the geometry the hit test uses.
    const TTreeListIndentGeometry g = IndentGeometry(
        row.Node, Rect(info.TreeLeft, row.Top, info.TreeRight, row.Top + lines), info.TreeIndentLimit);
    {
      CanvasSaver saver(c);
      c.IntersectClip(Rect(info.TreeClipLeft, row.Top, info.TreeIndentLimit, row.Top + lines));
      Fill(c, Rect(info.TreeLeft, row.Top, g.CellLeft, row.Top + lines), Color());
      if (!g.Button.IsEmpty()) DrawTreeButton(c, g.Button, row.Top + lines / 2, !row.Node->Expanded());
      if (!g.StateImage.IsEmpty()) DrawImageCentered(c, g.StateImage, StateImages(), row.Node->StateIndex());
      if (!g.Image.IsEmpty())
        DrawImageCentered(c, g.Image, Images(), row.Selected ? row.Node->SelectedIndex() : row.Node->ImageIndex());
    }
    for (const TTreeListColumnEntry& e : info.Columns) {
      TTreeListCellDrawParams p;
      p.Canvas = &c;
      p.CellRect = Rect(e.HeaderRect.Left, row.Top + e.RowIndex * RowLineHeight(), e.HeaderRect.Right,
                        row.Top + (e.RowIndex + e.RowCount) * RowLineHeight());
      if (e.Band == firstBand) p.CellRect.Left = std::max(p.CellRect.Left, info.TreeLeft + row.Indent);
      p.CellRect = p.CellRect.Intersect(Rect(e.ClipRect.Left, row.Top, e.ClipRect.Right, row.Top + lines));
      const bool cellSelected = highlighted && (IsRowSelect() || IsInvertSelect() || e.Column == FocusedAbsoluteIndex());
      p.ColumnColor = ColumnColor(e.Column);
      p.BrushColor = p.BkColor = cellSelected ? bk : p.ColumnColor;
      p.TextColor = cellSelected ? text : ColumnFont(e.Column).Color();
      p.FirstOfGrid = e.FirstOfGrid;
      p.LastOfGrid = e.LastOfGrid;
      p.MultiLine = e.MultiLine;
      p.FocusedCell = active && row.Node == FocusedNode();
      p.Selected = row.Selected;
      p.Column = e.Column;
      p.Node = row.Node;
      DrawCell(p);
    }
    if (row.Node == FocusedNode() && active && !HasOption(aoHideFocusRect))
      DrawFocusFrame(c, IsRowSelect() || IsInvertSelect()
                            ? Rect(info.TreeLeft + row.Indent, row.Top, info.DataRight, row.Top + lines)
                            : CellRect(row.Node, FocusedColumn()));
  }
}
