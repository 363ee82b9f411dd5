// The frame of one paint of the tree list: the draw info, the off-screen
// bitmap the header, indicator and footer cells are rendered in, the
// paint's brushes (one per colour), the column table, the colour rule of
// cells, indents and row footers, and the small routines every area
// painter shares (clip, corner button, cell frame, focus rectangle).
//
// Everything of a paint lives in the frame and goes with it, also when a
// painter or a custom-draw handler raises: the brushes, the bitmap (and
// the grid's reference to it) and the canvas's clip region as it was.
#pragma once
#include <map>
#include <memory>
#include <vector>

#include "gui/bitmap.h"
#include "gui/canvas.h"
#include "gui/region.h"
#include "treelist/grid_container.h"
#include "treelist/tree_list_draw_info.h"

class TCustomGridTreeList;
class TGridTreeListNode;

// The brushes of one paint: one per colour (by its RGB value), kept until
// the paint ends, so a brush handed out stays valid whatever colour is
// asked for later.
class TTreeListBrushes {
 public:
  TTreeListBrushes() = default;
  TTreeListBrushes(const TTreeListBrushes&) = delete;
  TTreeListBrushes& operator=(const TTreeListBrushes&) = delete;
  ~TTreeListBrushes();
  // The brush of colour c (the first colour asked for with c's RGB value
  // names it). The "default" marker is no colour: it throws
  // std::logic_error, as drawing with it would.
  const gui::Brush& Of(gui::Color c);
  int Count() const { return int(brushes_.size()); }
  // Brushes of all paints alive now (0 between paints).
  static int Live();

 private:
  std::map<gui::Color, std::unique_ptr<gui::Brush>> brushes_;
};

// Intersects the canvas's clip region with rectangles and puts back the
// region it had (or none) on Restore and when it goes.
class TTreeListClip {
 public:
  explicit TTreeListClip(gui::Canvas& c) : canvas_(c) {}
  TTreeListClip(const TTreeListClip&) = delete;
  TTreeListClip& operator=(const TTreeListClip&) = delete;
  ~TTreeListClip() { Restore(); }
  // Clips to r within the current clip (the first call remembers it).
  void Set(const gui::Rect& r);
  // Takes r out of the clip region (remembering it the same way).
  void Exclude(const gui::Rect& r);
  void Restore();
  bool IsSet() const { return set_; }

 private:
  void Remember();
  gui::Canvas& canvas_;
  gui::Region saved_;
  bool hadClip_ = false;
  bool set_ = false;
};

// The colours and brush of a cell, indent, preview or row footer.
struct TTreeListCellColors {
  gui::Color Bk;
  gui::Color Text;
  const gui::Brush* Brush;
};

// What the colour rule is asked about.
struct TTreeListColorQuery {
  const TGridTreeListNode* Node = nullptr;
  bool Selected = false;
  bool GroupRow = false;
  int Column = -1;  // absolute column, -1: none
};

// The paint's colours: the grid's, the "default" marker replaced.
struct TTreeListPaintColors {
  gui::Color Window, Font, Band, Header, Group, GroupText, Highlight, HighlightText, HideSelection,
      HideSelectionText, TreeLine, FixedBandLine, RowFooter, RowFooterText, Shadow, Grid;
};

class TTreeListPaintFrame {
 public:
  // Computes the draw info, the colours, the brushes and the column
  // table, and lends the grid the off-screen bitmap.
  TTreeListPaintFrame(TCustomGridTreeList& grid, gui::Canvas& canvas);
  ~TTreeListPaintFrame();
  TTreeListPaintFrame(const TTreeListPaintFrame&) = delete;
  TTreeListPaintFrame& operator=(const TTreeListPaintFrame&) = delete;

  // The cell colour rule: the focused node while dragging over an unfocused
  // grid, then a selected row (focused grid: highlight; unfocused: the
  // hide-selection colours unless HideSelection), then in the Outlook style
  // group rows and nodes with children (the level rule), then the column's
  // colour and font colour (or the grid's).
  TTreeListCellColors CellColors(const TTreeListColorQuery& q);
  // The level rule: the group brush without OnGetLevelColor; otherwise the
  // handler's colour for level (offered proposed) with its brush; color
  // (when given) receives the colour.
  const gui::Brush& LevelBrush(int level, gui::Color proposed, gui::Color* color = nullptr);
  // The column table: a column whose colour differs (in RGB) from the
  // grid's has a brush of its own; others paint with the background.
  const gui::Brush* ColumnBrush(int column) const;
  gui::Color ColumnColor(int column) const;

  // A band or header corner button with brush, pressed or not.
  void CornerButton(const gui::Rect& r, const gui::Brush& brush, bool pressed);
  // The frame of a footer or row-footer cell.
  void CellFrame(const gui::Rect& r);
  // The focus rectangle of a cell or row: dotted when the grid is active
  // (unless aoHideFocusRect), an inverted frame when it is not (unless
  // HideFocusRect or while dragging), else nothing.
  void FocusRect(const gui::Rect& r);
  // r filled with brush when it is not empty and can be seen.
  void Fill(const gui::Rect& r, const gui::Brush& brush);
  bool Visible(const gui::Rect& r) const { return !r.IsEmpty() && Canvas.RectVisible(r); }

  TCustomGridTreeList& Grid;
  gui::Canvas& Canvas;
  TTreeListDrawInfo Info;
  gui::Bitmap Scratch;
  TTreeListBrushes Brushes;
  TTreeListPaintColors Colors;
  TGridLookAndFeel Look;
  // The grid, or its editor while editing, has the keyboard focus.
  bool Active = false;
  const gui::Brush *Band, *Header, *Group, *Background, *Shadow, *Highlight, *TreeLine,
      *HideSelection, *RowFooter, *FixedBandLine;
  // Put back when the paint ends (the indicator and bottom strip take
  // themselves out of the clip for the rest of it).
  TTreeListClip PaintClip;

 private:
  struct ColumnEntry {
    const gui::Brush* brush = nullptr;
    gui::Color color = 0;
  };
  std::vector<ColumnEntry> columns_;  // by absolute column
};
