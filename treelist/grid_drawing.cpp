#include "treelist/grid_drawing.h"

#include <algorithm>
#include <memory>

using namespace gui;

// ---------------------------------------------------------------- unit images

namespace {

struct DrawingUnit {
  int uses = 0;
  std::unique_ptr<ImageList> indicators;
  std::unique_ptr<Bitmap> expanded;
  std::unique_ptr<Bitmap> collapsed;
};

DrawingUnit& Unit() {
  static DrawingUnit unit;
  return unit;
}

constexpr const char* kIndicatorResources[] = {"GRID_ARROW", "GRID_EDIT", "GRID_INSERT",
                                               "GRID_MULTIDOT", "GRID_MULTIARROW"};

// src cut or padded (with white, the left-out colour) to w x h, so that
// every resource makes exactly one image of the list.
std::unique_ptr<Bitmap> FitTo(const Bitmap& src, int w, int h) {
  auto b = std::make_unique<Bitmap>(w, h);
  b->Fill(clWhite);
  for (int y = 0; y < std::min(h, src.Height()); ++y)
    for (int x = 0; x < std::min(w, src.Width()); ++x) b->SetPixel(x, y, src.Pixel(x, y));
  return b;
}

// The expand-button bitmap of the Outlook look: an 11 x 11 rounded grey
// frame on a light face with a black minus, and a plus when collapsed;
// white around it is left out.
std::unique_ptr<Bitmap> MakeExpandBitmap(bool collapsed) {
  constexpr int n = 11;
  const Color frame = MakeRGB(128, 128, 128), face = MakeRGB(240, 240, 240);
  auto b = std::make_unique<Bitmap>(n, n);
  b->Fill(clWhite);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const bool edgeX = x == 0 || x == n - 1, edgeY = y == 0 || y == n - 1;
      if (edgeX && edgeY) continue;  // rounded corners
      b->SetPixel(x, y, edgeX || edgeY ? frame : face);
    }
  for (int i = 3; i < n - 3; ++i) {
    b->SetPixel(i, n / 2, clBlack);
    if (collapsed) b->SetPixel(n / 2, i, clBlack);
  }
  b->SetTransparentColor(clWhite);
  b->SetTransparent(true);
  return b;
}

}  // namespace

void InitGridDrawing() {
  DrawingUnit& u = Unit();
  if (u.uses++ > 0) return;
  Bitmap images[5];
  bool loaded[5];
  int w = 0, h = 0;
  for (int i = 0; i < 5; ++i) {
    loaded[i] = images[i].LoadFromResourceName(kIndicatorResources[i]) && !images[i].Empty();
    if (loaded[i] && w == 0) {
      w = images[i].Width();
      h = images[i].Height();
    }
  }
  if (w == 0) w = h = 16;  // no resources: a list of blank images
  u.indicators = std::make_unique<ImageList>(nullptr, w, h);
  for (int i = 0; i < 5; ++i) {
    const std::unique_ptr<Bitmap> fitted = FitTo(images[i], w, h);
    u.indicators->AddMasked(*fitted, clWhite);
  }
  u.expanded = MakeExpandBitmap(false);
  u.collapsed = MakeExpandBitmap(true);
}

void FinalizeGridDrawing() {
  DrawingUnit& u = Unit();
  if (u.uses == 0 || --u.uses > 0) return;
  u.indicators.reset();
  u.expanded.reset();
  u.collapsed.reset();
}

const ImageList* GridIndicatorImages() { return Unit().indicators.get(); }

const Bitmap* GridExpandButtonBitmap(bool collapsed) {
  return collapsed ? Unit().collapsed.get() : Unit().expanded.get();
}

// ---------------------------------------------------------------- small routines

namespace {

// Where something of size w x h is centred in r.
Point Centred(const Rect& r, int w, int h) {
  return {(r.Left + r.Right - w + 1) / 2, (r.Top + r.Bottom - h + 1) / 2};
}

void Fill(Canvas& c, const Rect& r, Color colour) {
  c.Brush().SetColor(colour);
  c.FillRect(r);
}

}  // namespace

void DrawImageCentered(Canvas& c, const Rect& r, const ImageList* list, int index) {
  if (!list || index < 0 || index >= list->Count()) return;
  const Point p = Centred(r, list->Width(), list->Height());
  list->Draw(c, p.X, p.Y, index);
}

void DrawGraphicCentered(Canvas& c, const Rect& r, const Bitmap& graphic) {
  if (graphic.Empty()) return;
  const Point p = Centred(r, graphic.Width(), graphic.Height());
  c.Draw(p.X, p.Y, graphic);
}

void DrawTreeButton(Canvas& c, const Rect& cell, int centreY, bool collapsed) {
  const Rect b = Rect::FromSize(cell.Left + (cell.Width() - 9) / 2, centreY - 4, 9, 9);
  CanvasSaver saved(c);
  c.Brush().SetColor(clGrayText);
  c.FrameRect(b);
  Fill(c, {b.Left + 2, b.Top + 4, b.Right - 2, b.Top + 5}, clWindowText);
  if (collapsed) c.FillRect({b.Left + 4, b.Top + 2, b.Left + 5, b.Bottom - 2});
}

void DrawTreeButtonBitmap(Canvas& c, const Rect& r, bool collapsed) {
  if (const Bitmap* b = GridExpandButtonBitmap(collapsed)) DrawGraphicCentered(c, r, *b);
}

void DrawOutlookButton(Canvas& c, const Rect& r, bool collapsed) {
  const Point p = Centred(r, 11, 11);
  Rect b = Rect::FromSize(p.X, p.Y, 11, 11);
  CanvasSaver saved(c);
  c.Brush().SetColor(clWindowFrame);
  c.FrameRect(b);
  b = b.Inflate(-1, -1);
  c.DrawEdge(b, BDR_RAISEDINNER, BF_RECT | BF_FLAT | BF_ADJUST);
  Fill(c, b, clBtnFace);
  Fill(c, {p.X + 3, p.Y + 5, p.X + 8, p.Y + 6}, clWindowText);
  if (collapsed) c.FillRect({p.X + 5, p.Y + 3, p.X + 6, p.Y + 8});
}

void DrawSortMark(Canvas& c, const Rect& r, bool up) {
  const Point p = Centred(r, 7, 7);
  const int left = p.X, right = p.X + 6, top = p.Y, bottom = p.Y + 6, mid = p.X + 3;
  CanvasSaver saved(c);
  c.Pen().SetColor(clBtnShadow);
  if (up) {
    c.MoveTo(left, bottom);
    c.LineTo(mid, top);
    c.Pen().SetColor(clBtnHighlight);
    c.MoveTo(mid, top);
    c.LineTo(right, bottom);
    c.LineTo(left, bottom);
  } else {
    c.MoveTo(right, top);
    c.LineTo(left, top);
    c.LineTo(mid, bottom);
    c.Pen().SetColor(clBtnHighlight);
    c.MoveTo(mid, bottom);
    c.LineTo(right, top);
  }
}

void DrawHeaderFace(Canvas& c, Rect& r, const gui::Brush& brush, TGridLookAndFeel lf,
                    TGridHeaderEdgeKind edge, bool pressed) {
  CanvasSaver saved(c);
  const auto face = [&] {
    c.Brush().Assign(brush);
    c.FillRect(r);
  };
  if (lf == lfStandard) {
    c.DrawEdge(r, BDR_RAISEDOUTER, BF_BOTTOMRIGHT | BF_ADJUST);
    if (pressed)
      c.DrawEdge(r, BDR_SUNKENOUTER, BF_TOPLEFT | BF_ADJUST);
    else
      c.DrawEdge(r, BDR_RAISEDINNER, BF_RECT | BF_ADJUST);
    face();
    return;
  }
  // Pressed, the flat looks' raised edges and flat lines turn sunken.
  const unsigned raised = pressed ? BDR_SUNKENOUTER : BDR_RAISEDINNER;
  if (edge == hekOnly) {
    if (lf == lfUltraFlat && !pressed) {
      c.Brush().SetColor(clBtnShadow);
      c.FrameRect(r);
      r = r.Inflate(-1, -1);
    } else {
      c.DrawEdge(r, raised, BF_RECT | BF_ADJUST);
    }
    face();
    r = r.Inflate(-1, 0);
    return;
  }
  face();
  // Lines along the top and bottom, and short separators at the sides: a
  // cell with a neighbour on that side keeps 2 pixels off each end.
  const unsigned line = lf == lfUltraFlat ? BDR_SUNKENOUTER : raised;
  const unsigned flat = lf == lfUltraFlat && !pressed ? BF_FLAT : 0u;
  Rect t = r;
  c.DrawEdge(t, line, BF_TOP | flat);
  Rect b = r;
  c.DrawEdge(b, line, BF_BOTTOM | flat);
  if (lf == lfFlat) {
    const int cut = (edge == hekLast || edge == hekMiddle) ? 2 : 1;
    Rect left{r.Left, r.Top + cut, r.Left + 1, r.Bottom - cut};
    c.DrawEdge(left, raised, BF_LEFT);
  }
  const bool neighbourRight = edge == hekFirst || edge == hekMiddle;
  Rect right{r.Right - 1, r.Top + (neighbourRight ? 2 : 0), r.Right,
             r.Bottom - (neighbourRight ? 2 : 1)};
  c.DrawEdge(right, raised, BF_RIGHT);
  r = r.Inflate(-2, -1);
}

void DrawHeaderFaceInverted(Canvas& c, Rect& r, const gui::Brush& brush, TGridLookAndFeel lf,
                            TGridHeaderEdgeKind edge, bool pressed, bool invert) {
  const Rect whole = r;
  DrawHeaderFace(c, r, brush, lf, edge, pressed);
  if (pressed && invert && lf != lfStandard) c.InvertRect(whole);
}

void DrawDropDownMark(Canvas& c, const Rect& r, TGridHeaderButtonKind state) {
  const Rect b = r.Inflate(-1, -1);
  if (b.IsEmpty()) return;
  CanvasSaver saved(c);
  Fill(c, b, state == hbkPressed ? clBtnShadow : state == hbkHot ? clBtnHighlight : clBtnFace);
  c.Brush().SetColor(state == hbkPressed ? clBtnText : clBtnShadow);
  c.FrameRect(b);
  const Color mark = state == hbkPressed ? clBtnHighlight : clBtnText;
  const Point p = Centred(b, 5, 3);
  const Point tri[3] = {{p.X, p.Y}, {p.X + 4, p.Y}, {p.X + 2, p.Y + 2}};
  c.Pen().SetColor(mark);
  c.Brush().SetColor(mark);
  c.Polygon(tri);
}

void DrawUltraFlatFace(Canvas& c, const Rect& r, const gui::Brush& brush) {
  CanvasSaver saved(c);
  Rect q = r;
  c.DrawEdge(q, BDR_SUNKENOUTER, BF_RECT | BF_FLAT | BF_ADJUST);
  c.Brush().Assign(brush);
  c.FillRect(q);
}

namespace {

// The caption flags of cells and headers: one line centred vertically or
// word-wrapped, end ellipsis, on the face already drawn.
unsigned CaptionFlags(unsigned alignment, bool multiLine) {
  return (alignment & gtfAlignMask) | (multiLine ? gtfWordWrap : gtfVCenter) | gtfEndEllipsis |
         gtfNoFill;
}

void Caption(Canvas& c, const Rect& r, std::string_view text, Color textColor, Color bkColor,
             unsigned alignment, bool multiLine) {
  if (text.empty() || r.IsEmpty()) return;
  DrawTextEx(c, text, nullptr, textColor, bkColor, c.Font(), c.Brush(),
             CaptionFlags(alignment, multiLine), r, r);
}

// Renders a cell of r into scratch (grown to the cell, with the canvas's
// font and colours) by draw(scratch canvas, cell at 0,0), then copies the
// part inside clip.
template <class Draw>
void Buffered(Canvas& c, const Rect& r, const Rect& clip, Bitmap& scratch, Draw&& draw) {
  const Rect part = clip.Intersect(r);
  if (part.IsEmpty()) return;
  EnsureBitmapSize(scratch, r.Width(), r.Height());
  Canvas& sc = scratch.GetCanvas();
  CanvasSaver keep(sc);
  sc.Font().Assign(c.Font());
  sc.SetTextColor(c.TextColor());
  sc.SetBkColor(c.BkColor());
  draw(sc, Rect(0, 0, r.Width(), r.Height()));
  c.BitBlt(part, sc, {part.Left - r.Left, part.Top - r.Top}, SRCCOPY);
}

}  // namespace

void DrawHeaderCell(Canvas& c, const Rect& r, const TGridHeaderCell& cell, const gui::Brush& brush) {
  const Color textColor = c.TextColor(), bkColor = c.BkColor();
  CanvasSaver saved(c);
  Rect q = r;
  DrawHeaderFace(c, q, brush, cell.look, cell.edge, cell.pressed);
  if (cell.button != hbkNone && q.Width() >= kGridHeaderButtonWidth) {
    DrawDropDownMark(c, {q.Right - kGridHeaderButtonWidth, q.Top, q.Right, q.Bottom}, cell.button);
    q.Right -= kGridHeaderButtonWidth;
  }
  if (cell.sortMark != 0 && q.Width() >= kGridSortMarkWidth) {
    DrawSortMark(c, {q.Right - kGridSortMarkWidth, q.Top, q.Right, q.Bottom}, cell.sortMark == 1);
    q.Right -= kGridSortMarkWidth;
  }
  if (cell.glyph && !cell.glyph->Empty() && q.Width() > 0) {
    c.Draw(q.Left + 1, (q.Top + q.Bottom - cell.glyph->Height() + 1) / 2, *cell.glyph);
    q.Left += cell.glyph->Width() + 3;
  }
  Caption(c, q.Inflate(-1, 0), cell.text, textColor, bkColor, cell.alignment, cell.multiLine);
  if (cell.pressed && cell.look != lfStandard) c.InvertRect(r);
}

void DrawHeaderCellBuffered(Canvas& c, const Rect& r, const Rect& clip, const TGridHeaderCell& cell,
                            const gui::Brush& brush, Bitmap& scratch) {
  Buffered(c, r, clip, scratch,
           [&](Canvas& sc, const Rect& local) { DrawHeaderCell(sc, local, cell, brush); });
}

void DrawIndicatorCell(Canvas& c, const Rect& r, const Rect& clip, TGridLookAndFeel lf,
                       TGridIndicatorKind kind, Bitmap& scratch, const gui::Brush& brush) {
  Buffered(c, r, clip, scratch, [&](Canvas& sc, const Rect& local) {
    if (lf == lfUltraFlat) {
      DrawUltraFlatFace(sc, local, brush);
    } else {
      Rect face = local;
      DrawHeaderFace(sc, face, brush, lf, hekOnly, false);
    }
    if (kind != ikNone) DrawImageCentered(sc, local, GridIndicatorImages(), int(kind) - 1);
  });
}

void DrawCellText(Canvas& c, const Rect& r, const gui::Brush& brush, std::string_view text,
                  unsigned alignment, bool multiLine) {
  const Color textColor = c.TextColor(), bkColor = c.BkColor();
  CanvasSaver saved(c);
  c.Brush().Assign(brush);
  c.FillRect(r);
  Caption(c, {r.Left + kCellTextInset, r.Top + 1, r.Right - kCellTextInset, r.Bottom}, text, textColor, bkColor, alignment,
          multiLine);
}

void DrawCellTextBuffered(Canvas& c, const Rect& r, const Rect& clip, const gui::Brush& brush,
                          std::string_view text, unsigned alignment, bool multiLine,
                          Bitmap& scratch) {
  Buffered(c, r, clip, scratch, [&](Canvas& sc, const Rect& local) {
    DrawCellText(sc, local, brush, text, alignment, multiLine);
  });
}

void DrawBandText(Canvas& c, const Rect& r, Color colour, std::string_view text,
                  unsigned alignment, bool multiLine) {
  const Color textColor = c.TextColor();
  CanvasSaver saved(c);
  Fill(c, r, colour);
  Caption(c, r.Inflate(-1, -1), text, textColor, colour, alignment, multiLine);
}

void DrawBandTextBuffered(Canvas& c, const Rect& r, const Rect& clip, Color colour,
                          std::string_view text, unsigned alignment, bool multiLine,
                          Bitmap& scratch) {
  Buffered(c, r, clip, scratch, [&](Canvas& sc, const Rect& local) {
    DrawBandText(sc, local, colour, text, alignment, multiLine);
  });
}

void DrawFocusFrame(Canvas& c, const Rect& r) {
  CanvasSaver saved(c);
  c.SetBkColor(clBlack);
  c.SetTextColor(clWhite);
  c.DrawFocusRect(r);
}

void InvertFrame(Canvas& c, const Rect& r) {
  if (r.IsEmpty()) return;
  c.InvertRect({r.Left, r.Top, r.Right, r.Top + 1});
  if (r.Height() > 1) c.InvertRect({r.Left, r.Bottom - 1, r.Right, r.Bottom});
  if (r.Height() > 2) {
    c.InvertRect({r.Left, r.Top + 1, r.Left + 1, r.Bottom - 1});
    if (r.Width() > 1) c.InvertRect({r.Right - 1, r.Top + 1, r.Right, r.Bottom - 1});
  }
}

// ---------------------------------------------------------------- CalcTextLines

int CalcTextLines(Canvas& measure, std::string_view text, int width, int lineHeight, int& height,
                  int indent, bool thickBorder, const gui::Font& font, int maxLines) {
  if (text.empty() || maxLines == 0) return 0;
  CanvasSaver saved(measure);
  measure.Font().Assign(font);
  // Never a measuring rectangle without width: a narrow cell still wraps
  // one character a line.
  const int inner = std::max(1, width - indent - 4);
  const int border = thickBorder ? 2 : 1;
  Rect r(0, border, inner, border);
  height = measure.DrawText(text, r, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
  int lh = lineHeight;
  if (lh <= 0) lh = measure.TextHeight("Wg");
  if (lh <= 0) lh = 1;  // an empty or zero-size font
  int lines = height / lh;
  if (maxLines > 0 && lines > maxLines) {
    lines = maxLines;
    height = maxLines * lh;
  }
  height = GridAdjustRowHeight(height);
  return lines;
}
