#include "treelist/tree_list_draw_info.h"

#include <algorithm>

#include "treelist/custom_tree_list.h"

using namespace gui;

const TTreeListRowEntry* TTreeListDrawInfo::FindRow(const TGridTreeListNode* node) const {
  for (const TTreeListRowEntry& r : RowEntries)
    if (r.Node == node) return &r;
  return nullptr;
}

const TTreeListColumnEntry* TTreeListDrawInfo::FindColumn(int column) const {
  for (const TTreeListColumnEntry& c : Columns)
    if (c.Column == column) return &c;
  return nullptr;
}

namespace {

// The horizontal part of r within [left, right).
Rect CutX(Rect r, int left, int right) {
  r.Left = std::clamp(r.Left, left, std::max(left, right));
  r.Right = std::clamp(r.Right, r.Left, std::max(r.Left, right));
  return r;
}

bool InZone(int pos, int edge) {
  return pos >= edge - TCustomGridTreeList::kSizingZone && pos < edge + TCustomGridTreeList::kSizingZone;
}

bool InY(const Rect& r, int y) { return y >= r.Top && y < r.Bottom; }

}  // namespace

// ------------------------------------------------------------------ areas

void TCustomGridTreeList::CalcAreaRects(TTreeListDrawInfo& info) const {
  const Rect client = ClientRect();
  const int ind = IndicatorWidth();
  info.Client = client;
  int y = client.Top;
  info.TopPanel = Rect(client.Left, y, client.Right, y + TopPanelHeight());
  y = info.TopPanel.Bottom;
  info.BandPanel = Rect(client.Left + ind, y, client.Right, y + BandPanelHeight());
  info.BandCorner = ind ? Rect(client.Left, y, client.Left + ind, info.BandPanel.Bottom) : Rect();
  y = info.BandPanel.Bottom;
  info.HeaderPanel = Rect(client.Left + ind, y, client.Right, y + HeaderPanelHeight());
  info.HeaderCorner = ind ? Rect(client.Left, y, client.Left + ind, info.HeaderPanel.Bottom) : Rect();
  y = info.HeaderPanel.Bottom;
  info.NewItemRow = Rect(client.Left, y, client.Right, y + (NewItemRowShown() ? NewItemRowHeight() : 0));
  y = info.NewItemRow.Bottom;
  const int strip = BottomStripShown() ? BottomStripHeight() : 0;
  const int footer = FooterHeight();
  info.Rows = Rect(client.Left + ind, y, client.Right, std::max(y, client.Bottom - footer - strip));
  info.Indicator = ind ? Rect(client.Left, info.Rows.Top, client.Left + ind, info.Rows.Bottom) : Rect();
  info.Footer = Rect(client.Left, info.Rows.Bottom, client.Right, info.Rows.Bottom + footer);
  info.BottomStrip = Rect(client.Left, info.Footer.Bottom, client.Right, info.Footer.Bottom + strip);
}

// ------------------------------------------------------------------ draw info

void TCustomGridTreeList::CalcDrawInfo(TTreeListDrawInfo& info) const {
  info = TTreeListDrawInfo();
  CalcAreaRects(info);
  const int panelTop = info.TopPanel.Bottom;
  const int panelLeft = info.Rows.Left;
  int panelRight = info.Rows.Right;
  int total = 0;
  int leftFixed = -1, rightFixed = -1, lastScrolling = -1;
  for (size_t i = 0; i < layout_.size(); ++i) {
    total += layout_[i].Width;
    if (layout_[i].Fixed == bfLeft && leftFixed < 0) leftFixed = int(i);
    else if (layout_[i].Fixed == bfRight && rightFixed < 0) rightFixed = int(i);
    if (layout_[i].Fixed == bfNone) lastScrolling = int(i);
  }
  // Bands narrower than the panel: the panels end with them.
  if (total < panelRight - panelLeft) {
    panelRight = panelLeft + total;
    info.BandPanel.Right = std::max(info.BandPanel.Left, panelRight);
    info.HeaderPanel.Right = std::max(info.HeaderPanel.Left, panelRight);
  }
  int scrollLeft = panelLeft, scrollRight = panelRight;
  std::vector<int> bandX(layout_.size(), 0);
  if (leftFixed >= 0) {
    bandX[size_t(leftFixed)] = panelLeft;
    scrollLeft = panelLeft + layout_[size_t(leftFixed)].Width;
  }
  if (rightFixed >= 0) {
    bandX[size_t(rightFixed)] = std::max(scrollRight - layout_[size_t(rightFixed)].Width, scrollLeft);
    scrollRight = bandX[size_t(rightFixed)];
  }
  scrollRight = std::max(scrollRight, scrollLeft);
  info.Scrollable = Rect(scrollLeft, panelTop, scrollRight, info.Rows.Bottom);
  info.LeftFixedBand = leftFixed >= 0 ? layout_[size_t(leftFixed)].Band : -1;
  info.RightFixedBand = rightFixed >= 0 ? layout_[size_t(rightFixed)].Band : -1;

  auto addBand = [&](size_t i, int clipLeft, int clipRight) {
    const Rect r(bandX[i], info.BandPanel.Top, bandX[i] + layout_[i].Width, info.BandPanel.Bottom);
    info.Bands.push_back({layout_[i].Band, r, CutX(r, clipLeft, clipRight)});
  };
  if (leftFixed >= 0) addBand(size_t(leftFixed), panelLeft, panelRight);
  int x = scrollLeft - leftCoord_;
  for (size_t i = 0; i < layout_.size(); ++i) {
    if (layout_[i].Fixed != bfNone) continue;
    bandX[i] = x;
    const int right = x + layout_[i].Width;
    if (x >= scrollRight) break;
    if (right > scrollLeft) {
      addBand(i, scrollLeft, scrollRight);
      info.BandBeforeRightFixed = layout_[i].Band;
    }
    x = right;
  }
  if (rightFixed >= 0) addBand(size_t(rightFixed), scrollRight, panelRight);

  // Header cells band by band, then header row, then position.
  const Rect& hp = info.HeaderPanel;
  for (const TTreeListBandEntry& be : info.Bands) {
    size_t li = 0;
    while (layout_[li].Band != be.Band) ++li;
    const TTreeListLayoutBand& band = layout_[li];
    if (band.Rows.empty()) {
      info.HeaderGaps.push_back(Rect(be.ClipRect.Left, hp.Top, be.ClipRect.Right, hp.Bottom));
      continue;
    }
    for (size_t r = 0; r < band.Rows.size(); ++r) {
      const std::vector<TTreeListLayoutColumn>& row = band.Rows[r];
      const std::vector<int> widths = RowWidths(band, row);
      const int top = std::min(hp.Bottom, hp.Top + int(r) * headerLineHeight_);
      const int bottom = std::min(hp.Bottom, top + headerLineHeight_);
      int cx = be.HeaderRect.Left;
      for (size_t p = 0; p < row.size(); ++p) {
        TTreeListColumnEntry e;
        e.Column = row[p].Column;
        e.Band = band.Band;
        e.RowIndex = int(r);
        e.Position = int(p);
        e.HeaderRect = Rect(cx, top, cx + widths[p], bottom);
        e.ClipRect = CutX(e.HeaderRect, be.ClipRect.Left, be.ClipRect.Right);
        cx += widths[p];
        if (e.ClipRect.Width() <= 0) continue;  // scrolled out of view
        if (r + 1 == band.Rows.size() && bottom < hp.Bottom)
          e.EmptyRect = CutX(Rect(e.HeaderRect.Left, bottom, e.HeaderRect.Right, hp.Bottom),
                             be.ClipRect.Left, be.ClipRect.Right);
        e.FirstInRow = p == 0;
        e.LastInRow = p + 1 == row.size();
        e.FirstOfGrid = li == 0 && p == 0;
        e.LastOfGrid = int(li) == lastScrolling && e.LastInRow;
        e.MultiLine = row[p].MultiLine || headerLineCount_ > 1;
        info.Columns.push_back(e);
      }
    }
  }

  // The column the tree lives in.
  if (!layout_.empty() && !layout_[0].Rows.empty() && !layout_[0].Rows[0].empty()) {
    const std::vector<int> widths = RowWidths(layout_[0], layout_[0].Rows[0]);
    info.TreeColumn = layout_[0].Rows[0][0].Column;
    info.TreeLeft = bandX[0];
    info.TreeRight = bandX[0] + widths[0];
    const bool fixed = layout_[0].Fixed != bfNone;
    const int clipLeft = fixed ? panelLeft : scrollLeft;
    const int clipRight = fixed ? panelRight : scrollRight;
    info.TreeClipLeft = std::clamp(info.TreeLeft, clipLeft, std::max(clipLeft, clipRight));
    info.TreeIndentLimit = std::clamp(info.TreeRight, info.TreeClipLeft, std::max(info.TreeClipLeft, clipRight));
  } else {
    info.TreeLeft = info.TreeRight = info.TreeClipLeft = info.TreeIndentLimit = panelLeft;
  }

  // Rows from the top visible node until the rows area is filled.
  int y = info.Rows.Top;
  const int lines = rowLineHeight_ * linesPerRecord_;
  for (TGridTreeListNode* n = topVisibleNode_; n && y < info.Rows.Bottom; n = n->GetNextVisible()) {
    TTreeListRowEntry e;
    e.Node = n;
    e.Top = y;
    e.Height = NodeHeight(n);
    e.GroupRow = IsGroupRow(n);
    e.Selected = n->Selected();
    e.FooterCount = NodeFooterCount(n);
    e.FootersHeight = e.FooterCount * RowFooterHeight();
    e.IndicatorKind = IndicatorKind(n, e.Selected);
    e.PreviewLines = NodePreviewLines(n);
    const TTreeListIndentGeometry g =
        IndentGeometry(n, Rect(info.TreeLeft, y, info.TreeRight, y + lines), info.TreeIndentLimit);
    e.Indent = g.CellLeft - info.TreeLeft;
    info.RowEntries.push_back(e);
    y += e.Height;
  }

  info.DataRight = panelLeft;
  for (const TTreeListBandEntry& be : info.Bands) info.DataRight = std::max(info.DataRight, be.ClipRect.Right);
  info.DataRight = std::min(info.DataRight, info.Rows.Right);
  if (info.DataRight < info.Rows.Right)
    info.EmptyRight = Rect(info.DataRight, panelTop, info.Rows.Right, info.Rows.Bottom);
  if (y < info.Rows.Bottom) info.EmptyBelow = Rect(info.Rows.Left, y, info.Rows.Right, info.Rows.Bottom);
  info.RowSeparatorWidth = showGrid_ ? rowSeparatorLineWidth_ : 0;
  auto fixedHeader = [&](int li, int fallback) {
    if (li < 0) return Rect(fallback, panelTop, fallback, panelTop);
    return Rect(bandX[size_t(li)], panelTop, bandX[size_t(li)] + layout_[size_t(li)].Width, info.Rows.Top);
  };
  info.LeftFixedHeader = fixedHeader(leftFixed, panelLeft);
  info.RightFixedHeader = fixedHeader(rightFixed, panelRight);
  if (info.BandPanel.Height() <= 0) info.BandPanel = info.BandCorner = Rect();
  if (info.HeaderPanel.Height() <= 0) info.HeaderPanel = info.HeaderCorner = Rect();
}

// ------------------------------------------------------------------ tree geometry

TTreeListIndentGeometry TCustomGridTreeList::IndentGeometry(const TGridTreeListNode* node, const Rect& firstCell,
                                                            int clipRight) const {
  TTreeListIndentGeometry g;
  const int indent = kIndentWidth;
  const int shift = ShowRootRead() ? 0 : -1;
  const int level = node->Level();
  const bool hasChildren = node->HasChildren();
  // A node shows one level cell per ancestor, plus its own (where the
  // button or the line to it goes) in the standard style or when it has
  // children; one fewer of each without root lines.
  g.Levels = std::max(0, level + ((IsStandardStyle() || hasChildren) ? 1 : 0) + shift);
  const int x0 = firstCell.Left;
  auto span = [&](int left, int width) {
    Rect r(left, firstCell.Top, left + width, firstCell.Bottom);
    r.Right = std::min(r.Right, clipRight);
    if (r.Right <= r.Left || r.Left < x0) r = Rect();
    return r;
  };
  if (ShowButtons() && hasChildren && level + shift >= 0) g.Button = span(x0 + (level + shift) * indent, indent);
  int x = x0 + g.Levels * indent;
  if (stateImages_ && node->StateIndex() != -1) {
    g.StateImage = span(x, StateImageWidth());
    x += StateImageWidth();
  }
  if (images_ && (node->ImageIndex() != -1 || node->SelectedIndex() != -1)) {
    g.Image = span(x, ImageWidth());
    x += ImageWidth();
  }
  g.CellLeft = x;
  int indentRight = x0 + g.Levels * indent;
  for (const Rect* r : {&g.Button, &g.StateImage, &g.Image})
    if (!r->IsEmpty()) {
      indentRight = r->Left;
      break;
    }
  g.Indent = span(x0, indentRight - x0);
  return g;
}

Rect TCustomGridTreeList::CellRect(const TGridTreeListNode* node, int visibleColumn) const {
  TTreeListDrawInfo info;
  CalcDrawInfo(info);
  const TTreeListRowEntry* row = info.FindRow(node);
  const TTreeListColumnEntry* col = info.FindColumn(VisibleIndexToAbsolute(visibleColumn));
  if (!row || !col) return Rect();
  Rect r(col->HeaderRect.Left, row->Top + col->RowIndex * rowLineHeight_, col->HeaderRect.Right,
         row->Top + (col->RowIndex + col->RowCount) * rowLineHeight_);
  if (col->Band == (layout_.empty() ? -1 : layout_[0].Band)) r.Left = std::max(r.Left, info.TreeLeft + row->Indent);
  if (showGrid_) {
    --r.Right;
    if (node->GetNextVisible()) --r.Bottom;
  }
  return r;
}

// ------------------------------------------------------------------ hit test

TTreeListHitInfo TCustomGridTreeList::HitTest(int x, int y) const {
  const Point p(x, y);
  TTreeListHitInfo h;
  h.Pt = p;
  TTreeListDrawInfo info;
  CalcDrawInfo(info);
  auto done = [&](TTreeListHitArea area) {
    h.Area = area;
    lastHit_ = h;
    return h;
  };
  if (!info.Client.Contains(p)) return done(htOutside);

  if (info.TopPanel.Contains(p)) return done(htTopPanel);
  auto panelEdge = [&](const Rect& panel, const Rect& corner) {
    const int left = corner.IsEmpty() ? panel.Left : corner.Left;
    return !panel.IsEmpty() && p.X >= left && p.X < panel.Right && InZone(p.Y, panel.Bottom);
  };
  if (HasOption(aoBandPanelSizing) && panelEdge(info.BandPanel, info.BandCorner)) return done(htBandPanelEdge);
  if (info.BandCorner.Contains(p)) return done(htBandButton);
  if (!info.BandPanel.IsEmpty() && InY(info.BandPanel, p.Y)) {
    for (const TTreeListBandEntry& b : info.Bands) {
      if (BandSizable(b.Band) && InZone(p.X, b.HeaderRect.Right) && p.X >= b.ClipRect.Left &&
          p.X < b.ClipRect.Right + kSizingZone) {
        h.Band = b.Band;
        return done(htBandEdge);
      }
    }
    for (const TTreeListBandEntry& b : info.Bands)
      if (b.ClipRect.Contains(p)) {
        h.Band = b.Band;
        return done(htBand);
      }
  }
  if (HasOption(aoHeaderPanelSizing) && panelEdge(info.HeaderPanel, info.HeaderCorner))
    return done(htHeaderPanelEdge);
  if (info.HeaderCorner.Contains(p)) return done(htColumnButton);
  if (!info.HeaderPanel.IsEmpty() && InY(info.HeaderPanel, p.Y)) {
    for (const TTreeListColumnEntry& c : info.Columns) {
      if (InY(c.HeaderRect, p.Y) && ColumnSizable(c.Column) && InZone(p.X, c.HeaderRect.Right) &&
          p.X >= c.ClipRect.Left && p.X < c.ClipRect.Right + kSizingZone) {
        h.Column = c.Column;
        h.Band = c.Band;
        return done(htColumnEdge);
      }
    }
    for (const TTreeListColumnEntry& c : info.Columns)
      if (c.ClipRect.Contains(p)) {
        h.Column = c.Column;
        h.Band = c.Band;
        return done(htColumn);
      }
  }
  if (info.NewItemRow.Contains(p)) {
    // The column whose cell of the row is under the point (the one drawn
    // last where cells of several header rows meet).
    for (const TTreeListColumnEntry& c : info.Columns)
      if (p.X >= c.ClipRect.Left && p.X < c.ClipRect.Right) {
        h.Column = c.Column;
        h.Band = c.Band;
      }
    return done(htNewItemRow);
  }
  if (info.Indicator.Contains(p)) {
    for (size_t i = 0; i < info.RowEntries.size(); ++i) {
      const TTreeListRowEntry& r = info.RowEntries[i];
      if (HasOption(aoRowSizing) && InZone(p.Y, r.Top + r.Height)) {
        h.Row = int(i);
        h.Node = r.Node;
        return done(htRowEdge);
      }
    }
    for (size_t i = 0; i < info.RowEntries.size(); ++i) {
      const TTreeListRowEntry& r = info.RowEntries[i];
      if (p.Y >= r.Top && p.Y < r.Top + r.Height) {
        h.Row = int(i);
        h.Node = r.Node;
        return done(htIndicator);
      }
    }
    return done(htNowhere);
  }
  if (info.BottomStrip.Contains(p)) return done(htBottomStrip);
  if (info.Footer.Contains(p)) return done(htFooter);
  if (!info.Rows.Contains(p)) return done(htNowhere);

  const TTreeListRowEntry* row = nullptr;
  for (size_t i = 0; i < info.RowEntries.size() && !row; ++i) {
    const TTreeListRowEntry& r = info.RowEntries[i];
    if (p.Y >= r.Top && p.Y < r.Top + r.Height) {
      row = &r;
      h.Row = int(i);
    }
  }
  if (!row) return done(htNowhere);  // below the last row
  h.Node = row->Node;
  const int lines = rowLineHeight_ * linesPerRecord_;
  const int line = std::clamp((p.Y - row->Top) / std::max(1, rowLineHeight_), 0, linesPerRecord_ - 1);
  for (const TTreeListColumnEntry& c : info.Columns)
    if (p.X >= c.ClipRect.Left && p.X < c.ClipRect.Right && line >= c.RowIndex && line < c.RowIndex + c.RowCount) {
      h.Column = c.Column;
      h.Band = c.Band;
    }
  TTreeListHitArea area = p.X < info.DataRight ? htLabel : htRight;
  const int previewHeight = row->PreviewLines ? row->PreviewLines * previewLineHeight_ + 2 : 0;
  const int footersTop = row->Top + lines + previewHeight;
  // The tree's part of the row (indent, button, images) reaches down past
  // the preview to the row's footers, as it is painted.
  if (h.Column == info.TreeColumn && h.Column >= 0 && p.Y < footersTop && p.X < info.TreeLeft + row->Indent) {
    const TTreeListIndentGeometry g =
        IndentGeometry(row->Node, Rect(info.TreeLeft, row->Top, info.TreeRight, footersTop), info.TreeIndentLimit);
    if (g.Indent.Contains(p)) return done(htIndent);
    if (g.Button.Contains(p)) return done(htButton);
    if (g.StateImage.Contains(p)) return done(htStateIcon);
    if (g.Image.Contains(p)) return done(htIcon);
  }
  if (row->FooterCount > 0 && p.Y >= footersTop && p.Y < footersTop + row->FootersHeight) {
    h.RowFooter = (p.Y - footersTop) / std::max(1, RowFooterHeight());
    return done(htRowFooter);
  }
  if (previewHeight > 0 && p.Y >= row->Top + lines && p.Y < footersTop) return done(htPreview);
  return done(area);
}
