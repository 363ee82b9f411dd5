// The description of a tree list's client area that painting, scrolling,
// sizing and the mouse all work from: the area rectangles, the visible
// bands, header cells and rows (TCustomGridTreeList::CalcDrawInfo), and
// what a point hits (TCustomGridTreeList::HitTest). Client coordinates
// throughout.
#pragma once
#include <vector>

#include "gui/geometry.h"
#include "treelist/tree_list_types.h"

class TGridTreeListNode;

struct TTreeListBandEntry {
  int Band = -1;
  gui::Rect HeaderRect;  // the band's caption cell
  gui::Rect ClipRect;    // the part that may be drawn on
};

struct TTreeListColumnEntry {
  int Column = -1;  // absolute column index
  int Band = -1;
  int RowIndex = 0;  // header row within the band
  int Position = 0;  // within the header row
  int RowCount = 1;  // header rows the column spans
  gui::Rect HeaderRect;
  gui::Rect ClipRect;
  // The header panel below the cell when the band's last header row ends
  // above the panel's bottom (empty otherwise).
  gui::Rect EmptyRect;
  bool FirstInRow = false;
  bool LastInRow = false;
  bool FirstOfGrid = false;  // first column of the first band
  bool LastOfGrid = false;   // last column of the last scrolling band
  bool MultiLine = false;
};

struct TTreeListRowEntry {
  TGridTreeListNode* Node = nullptr;
  int Top = 0;  // client y of the row
  int Height = 0;
  bool GroupRow = false;
  bool Selected = false;
  int FooterCount = 0;
  int FootersHeight = 0;
  int IndicatorKind = 0;
  int PreviewLines = 0;
  int LineCount = -1;  // -1: rows are not multi-line
  int Indent = 0;      // pixels before the first cell's text area
};

struct TTreeListDrawInfo {
  // The area rectangles (empty when the part is not shown).
  gui::Rect Client, TopPanel, BandPanel, BandCorner, HeaderPanel, HeaderCorner, NewItemRow, Rows,
      Indicator, Footer, BottomStrip;
  gui::Rect EmptyRight;  // right of the last column (header and rows)
  gui::Rect EmptyBelow;  // below the last row
  // The header part of the fixed bands, from the band panel's top to the
  // rows' top (a point-sized rectangle when there is no such band).
  gui::Rect LeftFixedHeader, RightFixedHeader;
  // Where scrolling bands may be drawn (between the fixed bands).
  gui::Rect Scrollable;
  int LeftFixedBand = -1;
  int RightFixedBand = -1;
  // Whether band is one of those that scroll (not a fixed one).
  bool Scrolling(int band) const { return band != LeftFixedBand && band != RightFixedBand; }
  // The rightmost band shown, -1 when none is.
  int LastBand() const { return Bands.empty() ? -1 : Bands.back().Band; }
  int BandBeforeRightFixed = -1;
  int DataRight = 0;          // right edge of the data in the rows
  // The column the tree is drawn in (the first band's first column): its
  // x range as laid out, and its visible part [TreeClipLeft,
  // TreeIndentLimit).
  int TreeColumn = -1;
  int TreeLeft = 0, TreeRight = 0, TreeClipLeft = 0;
  int TreeIndentLimit = 0;
  int RowSeparatorWidth = 0;  // grid-line pixels at each row's bottom
  std::vector<TTreeListBandEntry> Bands;
  std::vector<TTreeListColumnEntry> Columns;  // band, then header row, then position
  std::vector<gui::Rect> HeaderGaps;
  std::vector<TTreeListRowEntry> RowEntries;  // top to bottom, as many as fit

  // The row entry of node, nullptr when it is not shown.
  const TTreeListRowEntry* FindRow(const TGridTreeListNode* node) const;
  // The header cell entry of an absolute column, nullptr when not shown.
  const TTreeListColumnEntry* FindColumn(int column) const;
};

// What HitTest found at a point.
struct TTreeListHitInfo {
  gui::Point Pt;
  int Band = -1;
  int Column = -1;  // absolute
  TGridTreeListNode* Node = nullptr;
  int Row = -1;  // index into the draw info's rows
  int RowFooter = -1;
  TTreeListHitArea Area = htNowhere;
};

// Where the parts of a row's tree area lie (client x ranges, over the
// row's lines and preview: the part above its footers). Painting draws the button and images in these rectangles and
// the hit test classifies points by them, so a click lands where the
// part was drawn. Each is empty when the row has no such part, and cut at
// the first column's right edge.
struct TTreeListIndentGeometry {
  gui::Rect Indent;      // level cells left of the button / images
  gui::Rect Button;      // the expand button's cell (one indent wide)
  gui::Rect StateImage;
  gui::Rect Image;
  int Levels = 0;        // indent cells before the images
  int CellLeft = 0;      // where the first cell's text area begins
};
