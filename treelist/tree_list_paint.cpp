// The tree list's paint: header cells with their captions, the rows'
// tree parts (indent, expand button, images), every cell through the cell
// drawer, the focus rectangle and the empty areas. Tracking feedback is
// hidden around it.
#include <algorithm>

#include "treelist/custom_tree_list.h"

using namespace gui;

namespace {

unsigned AlignmentFlags(TAlignment a) {
  switch (a) {
    case taRightJustify: return DT_RIGHT;
    case taCenter: return DT_CENTER;
    default: return DT_LEFT;
  }
}

void Fill(Canvas& c, const Rect& r, gui::Color color) {
  if (r.IsEmpty() || !c.RectVisible(r)) return;
  c.Brush().SetColor(color);
  c.FillRect(r);
}

// The 9 x 9 expand button centred in its cell: a frame, a minus, and a
// plus bar when collapsed.
void DrawExpandButton(Canvas& c, const Rect& cell, bool collapsed) {
  const int left = cell.Left + (cell.Width() - 9) / 2;
  const int top = cell.Top + (cell.Height() - 9) / 2;
  const Rect box(left, top, left + 9, top + 9);
  c.Brush().SetColor(clGrayText);
  c.FrameRect(box);
  c.Brush().SetColor(clWindowText);
  c.FillRect(Rect(left + 2, top + 4, left + 7, top + 5));
  if (collapsed) c.FillRect(Rect(left + 4, top + 2, left + 5, top + 7));
}

// A raised button face with a one-line caption, drawn within clip.
void PaintHeaderButton(Canvas& c, const Rect& r, const Rect& clip, gui::Color face, const gui::Font& font,
                       const std::string& caption, TAlignment alignment) {
  if (r.IsEmpty() || clip.IsEmpty() || !c.RectVisible(clip)) return;
  CanvasSaver saver(c);
  c.IntersectClip(clip);
  Fill(c, r, face);
  Rect edge = r;
  c.DrawEdge(edge, BDR_RAISEDINNER | BDR_RAISEDOUTER, BF_RECT);
  c.Font().Assign(font);
  c.SetBkMode(TRANSPARENT);
  Rect text = r.Inflate(-2, 0);
  c.DrawText(caption, text, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX | AlignmentFlags(alignment));
}

}  // namespace

void TCustomGridTreeList::DrawCell(const TTreeListCellDrawParams& p) {
  Canvas& c = *p.Canvas;
  if (p.CellRect.IsEmpty() || !c.RectVisible(p.CellRect)) return;
  Fill(c, p.CellRect, p.BrushColor);
  const std::string text = p.Node ? GetNodeString(p.Node, p.Column) : std::string();
  if (text.empty()) return;
  CanvasSaver saver(c);
  c.IntersectClip(p.CellRect);
  c.Font().Assign(ColumnFont(p.Column));
  c.SetTextColor(p.TextColor);
  c.SetBkMode(TRANSPARENT);
  Rect r = p.CellRect.Inflate(-2, 0);
  const unsigned lines = p.MultiLine ? DT_WORDBREAK : DT_SINGLELINE | DT_VCENTER;
  c.DrawText(text, r, lines | DT_END_ELLIPSIS | DT_NOPREFIX | AlignmentFlags(ColumnAlignment(p.Column)));
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
  Fill(c, info.BandCorner, bandColor_);
  Fill(c, info.HeaderCorner, headerColor_);
  for (const TTreeListBandEntry& b : info.Bands)
    PaintHeaderButton(c, b.HeaderRect, b.ClipRect, bandColor_, bandFont_, BandCaption(b.Band), BandAlignment(b.Band));
  for (const TTreeListColumnEntry& e : info.Columns) {
    Fill(c, e.EmptyRect, clBtnShadow);
    PaintHeaderButton(c, e.HeaderRect, e.ClipRect, headerColor_, headerFont_, HeaderCaption(e.Column),
                      HeaderAlignment(e.Column));
  }
  for (const Rect& gap : info.HeaderGaps) Fill(c, gap, clBtnShadow);
  Fill(c, info.Indicator, headerColor_);
  Fill(c, info.Footer, headerColor_);
  Fill(c, info.EmptyRight, Color());
  Fill(c, info.EmptyBelow, Color());

  const bool active = HasFocus() || (Editing() && EditorHasFocus());
  const int lines = RowLineHeight() * LinesPerRecord();
  const int firstBand = Layout().empty() ? -1 : Layout()[0].Band;
  for (const TTreeListRowEntry& row : info.RowEntries) {
    const Rect rowRect(info.Rows.Left, row.Top, info.DataRight, row.Top + row.Height);
    if (!c.RectVisible(rowRect)) continue;
    const bool highlighted = row.Selected && (active || !hideSelection_);
    const gui::Color bk = !highlighted ? Color() : (active ? highlightColor_ : hideSelectionColor_);
    const gui::Color text = !highlighted ? Font().Color() : (active ? highlightTextColor_ : hideSelectionTextColor_);
    // The tree part of the first column.
    const TTreeListIndentGeometry g = IndentGeometry(
        row.Node, Rect(info.TreeLeft, row.Top, info.TreeRight, row.Top + lines), info.TreeIndentLimit);
    {
      CanvasSaver saver(c);
      c.IntersectClip(Rect(info.TreeClipLeft, row.Top, info.TreeIndentLimit, row.Top + lines));
      Fill(c, Rect(info.TreeLeft, row.Top, g.CellLeft, row.Top + lines), Color());
      if (!g.Button.IsEmpty()) DrawExpandButton(c, g.Button, !row.Node->Expanded());
      if (!g.StateImage.IsEmpty()) StateImages()->Draw(c, g.StateImage.Left, g.StateImage.Top, row.Node->StateIndex());
      if (!g.Image.IsEmpty())
        Images()->Draw(c, g.Image.Left, g.Image.Top,
                       row.Selected ? row.Node->SelectedIndex() : row.Node->ImageIndex());
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
    if (row.Node == FocusedNode() && active && !HasOption(aoHideFocusRect)) {
      Rect focus(info.TreeLeft + row.Indent, row.Top, info.DataRight, row.Top + lines);
      if (!IsRowSelect() && !IsInvertSelect()) focus = CellRect(row.Node, FocusedColumn());
      c.SetBkColor(clBlack);
      c.SetTextColor(clWhite);
      c.DrawFocusRect(focus);
    }
  }
}
