// The tree list's paint: the frame every area painter shares and the
// order of the areas; the grid's own drawers of cells, previews and
// footer cells; the pressed header parts.
#include "treelist/tree_list_paint.h"

#include <algorithm>
#include <stdexcept>

#include "treelist/custom_tree_list.h"
#include "treelist/grid_drawing.h"
#include "treelist/tree_list_band_paint.h"
#include "treelist/tree_list_row_paint.h"

using namespace gui;

// ------------------------------------------------------------------ brushes

namespace {
int g_liveBrushes = 0;
}  // namespace

TTreeListBrushes::~TTreeListBrushes() { g_liveBrushes -= Count(); }

int TTreeListBrushes::Live() { return g_liveBrushes; }

const gui::Brush& TTreeListBrushes::Of(gui::Color c) {
  const gui::Color rgb = ColorToRGB(c);  // the marker throws here
  std::unique_ptr<gui::Brush>& b = brushes_[rgb];
  if (!b) {
    b = std::make_unique<gui::Brush>();
    b->SetColor(c);
    ++g_liveBrushes;
  }
  return *b;
}

// ------------------------------------------------------------------ clip

void TTreeListClip::Remember() {
  if (set_) return;
  hadClip_ = canvas_.GetClip(saved_);
  set_ = true;
}

void TTreeListClip::Set(const Rect& r) {
  Remember();
  canvas_.IntersectClip(r);
}

void TTreeListClip::Exclude(const Rect& r) {
  Remember();
  canvas_.ExcludeClip(r);
}

void TTreeListClip::Restore() {
  if (!set_) return;
  canvas_.SelectClip(hadClip_ ? &saved_ : nullptr);
  saved_.Clear();
  set_ = false;
}

// ------------------------------------------------------------------ frame

namespace {

using TCTL = TCustomGridTreeList;

gui::Color Def(gui::Color c, gui::Color fallback) { return TCTL::DefaultedColor(c, fallback); }

TTreeListPaintColors PaintColors(const TCustomGridTreeList& g) {
  TTreeListPaintColors c;
  c.Window = Def(g.Color(), clWindow);
  c.Font = Def(g.Font().Color(), clWindowText);
  c.Band = Def(g.BandColor(), clBtnFace);
  c.Header = Def(g.HeaderColor(), clBtnFace);
  c.Group = Def(g.GroupNodeColor(), clBtnFace);
  c.GroupText = Def(g.GroupNodeTextColor(), c.Font);
  c.Highlight = Def(g.HighlightColor(), clHighlight);
  c.HighlightText = Def(g.HighlightTextColor(), clHighlightText);
  c.HideSelection = Def(g.HideSelectionColor(), clBtnFace);
  c.HideSelectionText = Def(g.HideSelectionTextColor(), clBtnText);
  c.TreeLine = Def(g.TreeLineColor(), clGrayText);
  c.FixedBandLine = Def(g.FixedBandLineColor(), clWindowFrame);
  c.RowFooter = Def(g.RowFooterColor(), cl3DLight);
  c.RowFooterText = Def(g.RowFooterTextColor(), clWindowText);
  c.Shadow = g.LookAndFeel() == lfUltraFlat ? MakeRGB(0xA0, 0xA0, 0xA0) : clBtnShadow;
  c.Grid = g.GridColor();
  return c;
}

bool SameRGB(gui::Color a, gui::Color b) { return ColorToRGB(a) == ColorToRGB(b); }

}  // namespace

TTreeListPaintFrame::TTreeListPaintFrame(TCustomGridTreeList& grid, gui::Canvas& canvas)
    : Grid(grid),
      Canvas(canvas),
      Colors(PaintColors(grid)),
      Look(grid.LookAndFeel()),
      Active(grid.HasFocus() || (grid.Editing() && grid.EditorHasFocus())),
      PaintClip(canvas) {
  grid.CalcDrawInfo(Info);
  Band = &Brushes.Of(Colors.Band);
  Header = &Brushes.Of(Colors.Header);
  Group = &Brushes.Of(Colors.Group);
  Background = &Brushes.Of(Colors.Window);
  Shadow = &Brushes.Of(Colors.Shadow);
  Highlight = &Brushes.Of(Colors.Highlight);
  TreeLine = &Brushes.Of(Colors.TreeLine);
  HideSelection = &Brushes.Of(Colors.HideSelection);
  RowFooter = &Brushes.Of(Colors.RowFooter);
  FixedBandLine = &Brushes.Of(Colors.FixedBandLine);
  for (const TTreeListColumnEntry& e : Info.Columns) {
    if (e.Column < 0) continue;
    if (size_t(e.Column) >= columns_.size()) columns_.resize(size_t(e.Column) + 1);
    ColumnEntry& entry = columns_[size_t(e.Column)];
    entry.color = Def(grid.ColumnColor(e.Column), Colors.Window);
    if (!SameRGB(entry.color, Colors.Window)) entry.brush = &Brushes.Of(entry.color);
  }
  grid.paintBitmap_ = &Scratch;
}

TTreeListPaintFrame::~TTreeListPaintFrame() { Grid.paintBitmap_ = nullptr; }

const gui::Brush* TTreeListPaintFrame::ColumnBrush(int column) const {
  return column >= 0 && size_t(column) < columns_.size() ? columns_[size_t(column)].brush : nullptr;
}

gui::Color TTreeListPaintFrame::ColumnColor(int column) const {
  return ColumnBrush(column) ? columns_[size_t(column)].color : Colors.Window;
}

const gui::Brush& TTreeListPaintFrame::LevelBrush(int level, gui::Color proposed, gui::Color* color) {
  gui::Color c = proposed;
  const gui::Brush* brush = Group;
  if (Grid.LevelColorAssigned()) {
    Grid.LevelColor(level, c);
    c = Def(c, proposed);
    if (!SameRGB(c, Colors.Group)) brush = &Brushes.Of(c);
  }
  if (color) *color = c;
  return *brush;
}

TTreeListCellColors TTreeListPaintFrame::CellColors(const TTreeListColorQuery& q) {
  const bool focused = q.Node && q.Node == Grid.FocusedNode();
  if ((!Active && Grid.Dragging() && focused) || (q.Selected && Active))
    return {Colors.Highlight, Colors.HighlightText, Highlight};
  if (q.Selected && !Grid.HideSelection()) return {Colors.HideSelection, Colors.HideSelectionText, HideSelection};
  if (!Grid.IsStandardStyle() && (q.GroupRow || (q.Node && q.Node->HasChildren()))) {
    TTreeListCellColors r{Colors.Group, Colors.GroupText, nullptr};
    r.Brush = &LevelBrush(q.Node ? q.Node->Level() : 0, Colors.Group, &r.Bk);
    return r;
  }
  const bool ownFont = q.Column >= 0 && Grid.ColumnFontAssigned(q.Column);
  const gui::Color text = ownFont ? Def(Grid.ColumnFont(q.Column).Color(), Colors.Font) : Colors.Font;
  if (const gui::Brush* b = ColumnBrush(q.Column)) return {ColumnColor(q.Column), text, b};
  return {Colors.Window, text, Background};
}

void TTreeListPaintFrame::Fill(const Rect& r, const gui::Brush& brush) {
  if (!Visible(r)) return;
  Canvas.Brush().Assign(brush);
  Canvas.FillRect(r);
}

void TTreeListPaintFrame::CornerButton(const Rect& r, const gui::Brush& brush, bool pressed) {
  if (!Visible(r)) return;
  Rect q = r;
  if (Look == lfUltraFlat) {
    Canvas.DrawEdge(q, BDR_SUNKENOUTER, BF_TOP | BF_RIGHT | BF_BOTTOM | BF_FLAT | BF_ADJUST);
    Fill(q, brush);
    if (pressed) Canvas.PatBlt(q, DSTINVERT);
    return;
  }
  DrawHeaderFaceInverted(Canvas, q, brush, Look, hekOnly, pressed);
}

void TTreeListPaintFrame::CellFrame(const Rect& r) {
  if (Look == lfUltraFlat) {
    Canvas.Brush().SetColor(clBtnShadow);
    Canvas.FrameRect(r);
    return;
  }
  Rect q = r;
  Canvas.DrawEdge(q, BDR_SUNKENOUTER, BF_RECT);
}

void TTreeListPaintFrame::FocusRect(const Rect& r) {
  if (r.IsEmpty()) return;
  if (Active) {
    if (!Grid.HasOption(aoHideFocusRect)) DrawFocusFrame(Canvas, r);
  } else if (!Grid.HideFocusRect() && !Grid.Dragging()) {
    InvertFrame(Canvas, r);
  }
}

// ------------------------------------------------------------------ paint

void TCustomGridTreeList::Paint(Canvas& canvas, const Rect& clip) {
  // The feedback drawn by inversion is away while the grid paints (also
  // when a painter raises).
  HideTrackingFeedback();
  struct Shown {
    TCustomGridTreeList& grid;
    ~Shown() { grid.ShowTrackingFeedback(); }
  } shown{*this};
  TTreeListPaintFrame f(*this, canvas);
  if (f.Visible(f.Info.TopPanel)) DrawTopPanel(canvas, f.Info.TopPanel);
  PaintBandPanel(f);
  PaintHeaderPanel(f);
  PaintNewItemRow(f);
  PaintIndicator(f);
  PaintFooter(f);
  PaintBottomStrip(f);
  PaintRows(f);
}

unsigned TCustomGridTreeList::AlignmentFlags(TAlignment a) {
  switch (a) {
    case taRightJustify: return gtfRight;
    case taCenter: return gtfCenter;
    default: return gtfLeft;
  }
}

void TCustomGridTreeList::DrawCell(const TTreeListCellDrawParams& p) {
  PaintCell(p, p.Node ? GetNodeString(p.Node, p.Column) : std::string(), ColumnFont(p.Column), p.TextColor,
            p.BrushColor, ColumnAlignment(p.Column));
}

void TCustomGridTreeList::PaintCell(const TTreeListCellDrawParams& p, const std::string& text, const gui::Font& font,
                                    gui::Color textColor, gui::Color brushColor, TAlignment alignment) {
  Canvas& c = *p.Canvas;
  if (p.CellRect.IsEmpty() || !c.RectVisible(p.CellRect)) return;
  CanvasSaver saver(c);
  c.Font().Assign(font);
  c.SetTextColor(textColor);
  c.SetBkColor(p.BkColor);
  gui::Brush own;
  own.SetColor(DefaultedColor(brushColor, p.BrushColor));
  DrawCellText(c, p.CellRect, brushColor == p.BrushColor && p.Brush ? *p.Brush : own, text,
               AlignmentFlags(alignment), p.MultiLine);
}

void TCustomGridTreeList::DrawPreview(const TTreeListPreviewDrawParams& p) {
  Canvas& c = *p.Canvas;
  if (p.Rect.IsEmpty() || !c.RectVisible(p.Rect) || !p.Brush) return;
  CanvasSaver saver(c);
  c.Brush().Assign(*p.Brush);
  c.FillRect(p.Rect);
  const std::string text = p.Node ? PreviewText(p.Node) : std::string();
  if (text.empty()) return;
  const Rect r(p.Rect.Left + indentDesc_, p.Rect.Top + 1, p.Rect.Right - 2, p.Rect.Bottom - 1);
  DrawTextEx(c, text, nullptr, p.TextColor, p.BkColor, previewFont_, *p.Brush,
             gtfWordWrap | gtfEndEllipsis | gtfNoFill, r, r);
}

void TCustomGridTreeList::DrawFooterCell(const TTreeListFooterDrawParams& p) {
  Canvas& c = *p.Canvas;
  if (p.Rect.IsEmpty() || !c.RectVisible(p.Rect) || !p.Brush || !p.Scratch) return;
  CanvasSaver saver(c);
  c.SetTextColor(p.TextColor);
  c.SetBkColor(p.BkColor);
  std::string text;
  unsigned alignment = gtfLeft;
  if (p.GroupRow) {
    text = p.Node ? GetNodeString(p.Node, VisibleIndexToAbsolute(0)) : std::string();
  } else {
    text = FooterText(p.Node, p.Column, p.FooterIndex);
    alignment = AlignmentFlags(ColumnAlignment(p.Column));
  }
  DrawCellTextBuffered(c, p.Rect, c.ClipBox().Intersect(p.Rect), *p.Brush, text, alignment, p.MultiLine,
                       *p.Scratch);
}

// ------------------------------------------------------------------ pressed parts

void TCustomGridTreeList::InvalidateHeaderPart(const Rect& r) {
  if (!r.IsEmpty() && HandleAllocated() && !Destroying()) InvalidateRect(r);
}

void TCustomGridTreeList::SetBandCornerPressed(bool v) {
  if (v == bandCornerPressed_) return;
  bandCornerPressed_ = v;
  TTreeListDrawInfo info;
  CalcAreaRects(info);
  InvalidateHeaderPart(info.BandCorner);
}

void TCustomGridTreeList::SetHeaderCornerPressed(bool v) {
  if (v == headerCornerPressed_) return;
  headerCornerPressed_ = v;
  TTreeListDrawInfo info;
  CalcAreaRects(info);
  InvalidateHeaderPart(info.HeaderCorner);
}

void TCustomGridTreeList::SetPressedBand(int band) {
  if (band == pressedBand_) return;
  TTreeListDrawInfo info;
  CalcDrawInfo(info);
  for (const TTreeListBandEntry& b : info.Bands)
    if (b.Band == band || b.Band == pressedBand_) InvalidateHeaderPart(b.ClipRect);
  pressedBand_ = band;
}

void TCustomGridTreeList::SetPressedColumn(int column) {
  if (column == pressedColumn_) return;
  TTreeListDrawInfo info;
  CalcDrawInfo(info);
  for (const TTreeListColumnEntry& e : info.Columns)
    if (e.Column == column || e.Column == pressedColumn_) InvalidateHeaderPart(e.ClipRect);
  pressedColumn_ = column;
}
