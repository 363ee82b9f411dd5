// The grid's drawing routines and unit images: header button faces and
// cells, sort and drop-down marks, expand buttons, indicator cells with
// their images, cell and band texts (directly or through a scratch
// bitmap), the focus frame and the inverted tracking frame; and the
// measuring of word-wrapped cell text.
//
// The painters hand these routines a canvas whose font and text colour
// are the cell's. The buffered routines render the whole cell into the
// scratch bitmap (grown to the cell) and copy the part inside the clip
// rectangle, so a cell is never seen half drawn.
#pragma once
#include <cstdint>
#include <functional>
#include <string_view>

#include "gui/bitmap.h"
#include "gui/canvas.h"
#include "gui/image_list.h"
#include "treelist/grid_container.h"
#include "treelist/grid_utils.h"

// ---------------------------------------------------------------- unit images

// The indicator images ("GRID_ARROW", "GRID_EDIT", "GRID_INSERT",
// "GRID_MULTIDOT", "GRID_MULTIARROW": image kind - 1, white left out, the
// size of the first) and the two expand-button bitmaps, made by the first
// of any number of initialisations and freed by the last finalisation.
void InitGridDrawing();
void FinalizeGridDrawing();
// Null outside initialisation.
const gui::ImageList* GridIndicatorImages();
const gui::Bitmap* GridExpandButtonBitmap(bool collapsed);

using TGridDrawingUse = TGridUnitUse<InitGridDrawing, FinalizeGridDrawing>;

// Indicator kinds: what the indicator cell of a row shows.
enum TGridIndicatorKind : uint8_t {
  ikNone,
  ikArrow,       // the focused row
  ikEdit,
  ikInsert,      // the new-item row
  ikMultiDot,    // a selected row that is not focused
  ikMultiArrow,  // the focused row, selected, with multi-select on
};

// The header button of a column cell: none, or the drop-down mark in one
// of its states.
enum TGridHeaderButtonKind : uint8_t { hbkNone, hbkNormal, hbkHot, hbkPressed };

// Which edges of a header row a cell has: 0 the only cell of its row, 1
// the last, 2 the first, 3 neither.
enum TGridHeaderEdgeKind : uint8_t { hekOnly, hekLast, hekFirst, hekMiddle };

// The sort mark of a header cell, as the column's sort state: 0 none,
// 1 ascending (pointing up), 2 descending (pointing down).
using TGridSortMark = uint8_t;

// Space a header cell gives its marks, from the right.
constexpr int kGridHeaderButtonWidth = 15;
constexpr int kGridSortMarkWidth = 16;

// ---------------------------------------------------------------- small routines

// The image index of list centred in r; nothing for a null list or an
// index outside it.
void DrawImageCentered(gui::Canvas& c, const gui::Rect& r, const gui::ImageList* list, int index);
void DrawGraphicCentered(gui::Canvas& c, const gui::Rect& r, const gui::Bitmap& graphic);
// The 9 x 9 expand button centred horizontally in cell with its top at
// centreY - 4: a frame in the grey-text colour, a minus bar in the
// window-text colour and, collapsed, a plus bar; the inside is left as it is.
void DrawTreeButton(gui::Canvas& c, const gui::Rect& cell, int centreY, bool collapsed);
// The expanded or collapsed expand-button bitmap centred in r.
void DrawTreeButtonBitmap(gui::Canvas& c, const gui::Rect& r, bool collapsed);
// An 11 x 11 flat button centred in r: window-frame border, a raised inner
// edge, a minus (plus when collapsed).
void DrawOutlookButton(gui::Canvas& c, const gui::Rect& r, bool collapsed);
// The 7 x 7 sort triangle centred in r, pointing up or down, in
// button-shadow (its left / top sides) and button-highlight lines.
void DrawSortMark(gui::Canvas& c, const gui::Rect& r, bool up);

// A header button face with brush; r shrinks to the face's inside.
// Standard look: a raised outer edge at the bottom and right, then raised
// inner edges, or (pressed) a sunken outer edge at the top and left. Flat
// looks: the only cell of its row gets a frame (ultra-flat: a button-shadow
// frame; flat: raised inner edges); the other cells lines at the top and
// bottom and short separators at the sides; pressed, the frame, lines and
// separators are sunken edges. A pressed flat face is not inverted here
// (see DrawHeaderFaceInverted).
void DrawHeaderFace(gui::Canvas& c, gui::Rect& r, const gui::Brush& brush, TGridLookAndFeel lf,
                    TGridHeaderEdgeKind edge, bool pressed);
// The face, then, when pressed in a flat look and invert is asked, the
// whole face inverted.
void DrawHeaderFaceInverted(gui::Canvas& c, gui::Rect& r, const gui::Brush& brush,
                            TGridLookAndFeel lf, TGridHeaderEdgeKind edge, bool pressed,
                            bool invert = true);
// A framed small button with a down-pointing filled triangle.
void DrawDropDownMark(gui::Canvas& c, const gui::Rect& r, TGridHeaderButtonKind state);
// A flat sunken edge round r and the inside filled with brush.
void DrawUltraFlatFace(gui::Canvas& c, const gui::Rect& r, const gui::Brush& brush);

// What a header cell shows.
struct TGridHeaderCell {
  TGridHeaderButtonKind button = hbkNone;
  TGridLookAndFeel look = lfStandard;
  TGridHeaderEdgeKind edge = hekOnly;
  const gui::Bitmap* glyph = nullptr;  // drawn at the left, its bottom-left colour left out
  TGridSortMark sortMark = 0;
  unsigned alignment = gtfLeft;  // gtfLeft, gtfCenter or gtfRight
  bool multiLine = false;
  bool pressed = false;
  std::string_view text;
};

// The face; from the right the header button (15 pixels, when the cell
// is at least that wide) and the sort mark (16 pixels, when what is left
// is at least that wide); the glyph at the left; the caption in the rest
// (one line, centred vertically, or word-wrapped; end ellipsis; unclipped
// when it fits); a pressed cell of a flat look inverted.
void DrawHeaderCell(gui::Canvas& c, const gui::Rect& r, const TGridHeaderCell& cell,
                    const gui::Brush& brush);
void DrawHeaderCellBuffered(gui::Canvas& c, const gui::Rect& r, const gui::Rect& clip,
                            const TGridHeaderCell& cell, const gui::Brush& brush,
                            gui::Bitmap& scratch);
// A header-style face (ultra-flat: the flat face) with the indicator image
// of kind centred, through the scratch bitmap.
void DrawIndicatorCell(gui::Canvas& c, const gui::Rect& r, const gui::Rect& clip,
                       TGridLookAndFeel lf, TGridIndicatorKind kind, gui::Bitmap& scratch,
                       const gui::Brush& brush);
// How far a cell's text stays from its cell's left and right edges.
constexpr int kCellTextInset = 2;
// A cell's text: r filled with brush, the text on a transparent background
// inset kCellTextInset pixels across and 1 down, one line centred vertically or
// word-wrapped, end ellipsis, aligned (gtfLeft...).
void DrawCellText(gui::Canvas& c, const gui::Rect& r, const gui::Brush& brush,
                  std::string_view text, unsigned alignment, bool multiLine);
void DrawCellTextBuffered(gui::Canvas& c, const gui::Rect& r, const gui::Rect& clip,
                          const gui::Brush& brush, std::string_view text, unsigned alignment,
                          bool multiLine, gui::Bitmap& scratch);
// A band or footer caption: r filled with colour, the text inset by one
// pixel.
void DrawBandText(gui::Canvas& c, const gui::Rect& r, gui::Color colour, std::string_view text,
                  unsigned alignment, bool multiLine);
void DrawBandTextBuffered(gui::Canvas& c, const gui::Rect& r, const gui::Rect& clip,
                          gui::Color colour, std::string_view text, unsigned alignment,
                          bool multiLine, gui::Bitmap& scratch);
// The dotted focus rectangle with black background and white text colours
// (both restored): drawing it twice leaves the pixels as they were.
void DrawFocusFrame(gui::Canvas& c, const gui::Rect& r);
// A one-pixel frame inverted, each pixel once (the corners too).
void InvertFrame(gui::Canvas& c, const gui::Rect& r);

// ---------------------------------------------------------------- measuring

// The grid's row-height rule: the height a row line takes for a text
// height.
constexpr int GridAdjustRowHeight(int textHeight) { return textHeight + 5; }

// The number of lines text takes word-wrapped (tabs expanded, no prefix)
// in font within width less indent, 2 pixels in on each side; height
// receives its height, at most maxLines lines of the line height used
// (lineHeight, or when that is 0 the height of "Wg"; a negative maxLines
// sets no limit), as the grid's row-height rule makes it. An empty text or
// a maximum of 0 answers 0 and leaves height alone. measure is the grid's
// measuring canvas; its font is restored.
int CalcTextLines(gui::Canvas& measure, std::string_view text, int width, int lineHeight,
                  int& height, int indent, bool thickBorder, const gui::Font& font, int maxLines);

// The rectangle's two corners coincide.
inline bool PointsEqual(const gui::Rect& r) { return r.Left == r.Right && r.Top == r.Bottom; }
inline int Max(int a, int b) { return a > b ? a : b; }
