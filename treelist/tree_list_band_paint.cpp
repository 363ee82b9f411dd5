#include "treelist/tree_list_band_paint.h"

#include <string>
#include <utility>

#include "treelist/custom_tree_list.h"
#include "treelist/grid_drawing.h"
#include "treelist/tree_list_paint.h"

using namespace gui;

namespace {

gui::Color Def(gui::Color c, gui::Color fallback) { return TCustomGridTreeList::DefaultedColor(c, fallback); }

// One band or column header on its way to the header-cell routine.
struct HeaderJob {
  HeaderJob(const TTreeListPaintFrame& f, const Rect& rect, const Rect& clip, std::string text, TAlignment alignment,
            gui::Color color, const gui::Brush* brush)
      : rect(rect), clip(clip), text(std::move(text)), alignment(alignment), color(color), brush(brush) {
    cell.look = f.Look;
  }
  Rect rect, clip;
  std::string text;
  TAlignment alignment = taLeftJustify;
  gui::Color color = clBtnFace;  // the panel's colour (a handler may change it)
  const gui::Brush* brush = nullptr;
  TGridHeaderCell cell;  // what else the cell shows
};

// Custom drawing first when a handler is there: fire(text, colour, font,
// alignment, done) is called clipped to the cell's visible part; a
// different colour paints the cell with a brush of its own, done leaves
// the cell to the handler. Then the cell, through the off-screen bitmap.
template <class Fire>
void PaintHeaderCell(TTreeListPaintFrame& f, HeaderJob& job, bool custom, Fire&& fire) {
  Canvas& c = f.Canvas;
  if (job.clip.IsEmpty() || !c.RectVisible(job.clip)) return;
  bool done = false;
  gui::Font saved;
  const gui::Color textColor = c.TextColor();
  if (custom) {
    saved.Assign(c.Font());
    gui::Color color = job.color;
    {
      TTreeListClip clip(c);
      if (job.clip != job.rect) clip.Set(job.clip);
      fire(job.text, color, c.Font(), job.alignment, done);
    }
    color = Def(color, job.color);
    if (!done && ColorToRGB(color) != ColorToRGB(job.color)) job.brush = &f.Brushes.Of(color);
    if (c.TextColor() == clDefault) c.SetTextColor(textColor);
  }
  if (!done) {
    job.cell.alignment = TCustomGridTreeList::AlignmentFlags(job.alignment);
    job.cell.text = job.text;
    DrawHeaderCellBuffered(c, job.rect, job.clip, job.cell, *job.brush, f.Scratch);
  }
  if (custom) {
    c.Font().Assign(saved);
    c.SetTextColor(textColor);
  }
}

TGridHeaderEdgeKind EdgeKind(const TTreeListColumnEntry& e) {
  if (e.FirstInRow && e.LastInRow) return hekOnly;
  if (e.LastInRow) return hekLast;
  return e.FirstInRow ? hekFirst : hekMiddle;
}

// The panel's font and its colour on the canvas for a scope.
struct PanelFont {
  PanelFont(Canvas& c, const gui::Font& font, gui::Color fallback) : keep(c) {
    c.Font().Assign(font);
    c.SetTextColor(Def(font.Color(), fallback));
  }
  CanvasSaver keep;
};

}  // namespace

void PaintBandPanel(TTreeListPaintFrame& f) {
  TCustomGridTreeList& g = f.Grid;
  const TTreeListDrawInfo& info = f.Info;
  f.CornerButton(info.BandCorner, *f.Band, g.BandCornerPressed());
  if (f.Visible(info.BandPanel) && !info.Bands.empty()) {
    PanelFont font(f.Canvas, g.BandFont(), clBtnText);
    const bool custom = g.CustomDrawBandAssigned();
    for (const TTreeListBandEntry& b : info.Bands) {
      HeaderJob job(f, b.HeaderRect, b.ClipRect, g.BandCaption(b.Band), g.BandAlignment(b.Band), f.Colors.Band, f.Band);
      job.cell.multiLine = g.BandLineCount() > 1;
      job.cell.pressed = g.PressedBand() == b.Band;
      PaintHeaderCell(f, job, custom, [&](std::string& text, gui::Color& color, gui::Font& font, TAlignment& a,
                                          bool& done) {
        g.CustomDrawBand(b.Band, f.Canvas, b.HeaderRect, text, color, font, a, done);
      });
    }
  }
}

void PaintHeaderPanel(TTreeListPaintFrame& f) {
  TCustomGridTreeList& g = f.Grid;
  const TTreeListDrawInfo& info = f.Info;
  f.CornerButton(info.HeaderCorner, *f.Header, g.HeaderCornerPressed());
  if (f.Visible(info.HeaderPanel) && !info.Columns.empty()) {
    PanelFont font(f.Canvas, g.HeaderFont(), clBtnText);
    for (const TTreeListColumnEntry& e : info.Columns) {
      HeaderJob job(f, e.HeaderRect, e.ClipRect, g.HeaderCaption(e.Column), g.HeaderAlignment(e.Column),
                    f.Colors.Header, f.Header);
      job.cell.button = g.HeaderButtonKind(e.Column);
      job.cell.edge = EdgeKind(e);
      job.cell.glyph = g.HeaderGlyph(e.Column);
      job.cell.multiLine = e.RowCount > 1 || g.HeaderLineCount() > 1;
      job.cell.pressed = g.PressedColumn() == e.Column;
      // The sort mark (OnColumnSorted may change it) only for a cell that shows.
      TGridTreeListColumnSort sorted = f.Visible(job.clip) ? g.HeaderSortMark(e.Column) : csNone;
      job.cell.sortMark = TGridSortMark(sorted);
      PaintHeaderCell(f, job, g.CustomDrawHeaderAssigned(e.Column),
                      [&](std::string& text, gui::Color& color, gui::Font& font, TAlignment& a, bool& done) {
                        g.CustomDrawHeader(e.Column, f.Canvas, e.HeaderRect, text, color, font, a, sorted, done);
                        job.cell.sortMark = TGridSortMark(sorted);
                      });
      f.Fill(e.EmptyRect, *f.Shadow);
    }
  }
  for (const Rect& gap : info.HeaderGaps) f.Fill(gap, *f.Shadow);
  // The separator lines of the fixed bands, across both panels, over the
  // cells of the bands' edges.
  const int w = g.FixedBandLineWidth();
  const Rect& l = info.LeftFixedHeader;
  if (f.Visible(l)) f.Fill(Rect(l.Right - w, l.Top, l.Right, l.Bottom), *f.FixedBandLine);
  const Rect& r = info.RightFixedHeader;
  if (f.Visible(r)) f.Fill(Rect(r.Left, r.Top, r.Left + w, r.Bottom), *f.FixedBandLine);
}

void PaintIndicator(TTreeListPaintFrame& f) {
  const TTreeListDrawInfo& info = f.Info;
  const Rect& ind = info.Indicator;
  if (ind.IsEmpty()) return;
  if (f.Canvas.RectVisible(ind)) {
    int y = ind.Top;
    for (const TTreeListRowEntry& row : info.RowEntries) {
      const Rect cell(ind.Left, row.Top, ind.Right, row.Top + row.Height);
      if (f.Visible(cell.Intersect(ind)))
        DrawIndicatorCell(f.Canvas, cell, cell.Intersect(ind), f.Look, TGridIndicatorKind(row.IndicatorKind),
                          f.Scratch, *f.Header);
      y = row.Top + row.Height;
    }
    f.Fill(Rect(ind.Left, y, ind.Right, ind.Bottom), *f.Background);  // below the last row
  }
  f.PaintClip.Exclude(ind);
}

void PaintFooter(TTreeListPaintFrame& f) {
  TCustomGridTreeList& g = f.Grid;
  const TTreeListDrawInfo& info = f.Info;
  Canvas& c = f.Canvas;
  if (!f.Visible(info.Footer)) return;
  // Scrolled columns: the frame's side moves out of sight.
  Rect frame = info.Footer;
  const int out = f.Look == lfStandard ? 2 : 1;
  if (info.LeftFixedBand < 0 && g.LeftCoord() != 0) frame.Left -= out;
  if (info.RightFixedBand < 0 && g.ContentWidth() - g.LeftCoord() > g.VisibleWidth()) frame.Right += out;
  if (f.Look == lfStandard) {
    c.Brush().SetColor(clWindowFrame);
    c.FrameRect(frame);
    frame = frame.Inflate(-1, -1);
    frame.Left -= 1;
    Rect edge = frame;
    c.DrawEdge(edge, BDR_RAISEDINNER, BF_RECT);
  } else {
    Rect top = frame;
    c.DrawEdge(top, BDR_SUNKENOUTER, BF_TOP);
    frame.Top += 1;
    if (f.Look == lfUltraFlat) {
      f.Fill(frame, *f.Header);
    } else {
      Rect edge = frame;
      c.DrawEdge(edge, BDR_RAISEDINNER, BF_RECT);
    }
  }
  frame = frame.Inflate(-1, -1);
  f.Fill(frame, *f.Header);

  const int lineHeight = g.FooterLineHeight();
  const int lastBand = info.LastBand();
  const Rect scrollable(info.Scrollable.Left, info.Footer.Top, info.Scrollable.Right, info.Footer.Bottom);
  for (const TTreeListColumnEntry& e : info.Columns) {
    Rect cell(e.HeaderRect.Left, frame.Top + e.RowIndex * lineHeight, e.HeaderRect.Right,
              frame.Top + (e.RowIndex + e.RowCount) * lineHeight);
    cell = cell.Inflate(-1, -1);
    if (e.FirstOfGrid) cell.Left += 1;
    if (e.LastInRow && e.Band == lastBand) cell.Right -= 2;
    TTreeListClip clip(c);
    if (info.Scrolling(e.Band) && e.ClipRect != e.HeaderRect) clip.Set(scrollable);
    if (!f.Visible(cell) || !g.FooterCellExists(e.Column)) continue;
    f.CellFrame(cell);
    TTreeListFooterDrawParams p;
    p.Canvas = &c;
    p.Rect = cell.Inflate(-1, -1);
    p.MultiLine = e.RowCount > 1;
    p.Brush = f.Header;
    p.TextColor = f.Colors.Font;
    p.BkColor = f.Colors.Header;
    p.Column = e.Column;
    p.Scratch = &f.Scratch;
    g.DrawFooterCell(p);
  }
}

void PaintBottomStrip(TTreeListPaintFrame& f) {
  TCustomGridTreeList& g = f.Grid;
  const Rect& strip = f.Info.BottomStrip;
  if (strip.IsEmpty()) return;
  if (f.Canvas.RectVisible(strip)) {
    Canvas& c = f.Canvas;
    CanvasSaver keep(c);
    f.Fill(strip, *f.Header);
    c.Font().Assign(g.Font());
    c.SetTextColor(f.Colors.Font);
    const Rect r = strip.Inflate(-2, -2);
    const bool box = g.BottomStripCheckBox();
    const Rect text(r.Left + (box ? 18 : 0), r.Top, r.Right, r.Bottom);
    DrawTextEx(c, g.BottomStripText(), nullptr, f.Colors.Font, f.Colors.Header, c.Font(), *f.Header,
               gtfVCenter | gtfEndEllipsis | gtfNoFill, text, text);
    if (box) {
      const Rect b = TCustomGridTreeList::BottomStripBox(strip);
      c.Brush().SetColor(clWindowFrame);
      c.FrameRect(b);
      c.Brush().SetColor(g.BottomStripButtonPressed() ? clWindowFrame : clWindow);
      c.FillRect(b.Inflate(-1, -1));
      if (g.BottomStripChecked()) {
        c.Pen().SetColor(f.Colors.Font);
        for (int i = 0; i < 2; ++i) {
          const Point mark[] = {{b.Left + 2, b.Top + 5 + i}, {b.Left + 4, b.Top + 7 + i}, {b.Left + 9, b.Top + 2 + i}};
          c.Polyline(mark);
        }
      }
    }
  }
  f.PaintClip.Exclude(strip);
}
