// The records of the tree-list grid beside the control itself: the layout
// of bands and header rows that a descendant builds for the core, what the
// cell, preview and footer drawers are given, and the types of the grid's
// event handlers. (The enumerations and option sets are in
// tree_list_types.h; the draw info and the hit test's answer in
// tree_list_draw_info.h.)
#pragma once
#include <functional>
#include <vector>

#include "gui/color.h"
#include "gui/geometry.h"
#include "treelist/tree_list_types.h"

namespace gui {
class Bitmap;
class Brush;
class Canvas;
}  // namespace gui

class TCustomGridTreeList;
class TGridTreeListNode;

// One column of the current layout (see TTreeListLayoutBand).
struct TTreeListLayoutColumn {
  int Column = -1;  // absolute index
  int Width = 0;
  bool Sizable = true;
  bool MultiLine = false;
};

// One visible band of the current layout with its header rows of visible
// columns, as the descendant's BuildLayout gives it.
struct TTreeListLayoutBand {
  int Band = -1;
  int Width = 0;
  TGridBandFixed Fixed = bfNone;
  bool Sizable = true;
  std::vector<std::vector<TTreeListLayoutColumn>> Rows;
};

// What the cell drawer is given for one cell.
struct TTreeListCellDrawParams {
  gui::Canvas* Canvas = nullptr;
  gui::Rect CellRect;
  gui::Color ColumnColor = gui::clWindow;
  bool FirstOfGrid = false;
  bool LastOfGrid = false;
  int RowKind = 0;  // 0 rows, 2 the new-item row
  bool MultiLine = false;
  gui::Color BrushColor = gui::clWindow;  // the background fill
  gui::Color TextColor = gui::clWindowText;
  gui::Color BkColor = gui::clWindow;
  bool FocusedCell = false;
  bool Selected = false;
  int Column = -1;  // absolute
  TGridTreeListNode* Node = nullptr;
  const gui::Brush* Brush = nullptr;  // the paint's brush of BrushColor (none: one is made)
};

// What the preview drawer is given for the preview part of a row.
struct TTreeListPreviewDrawParams {
  gui::Canvas* Canvas = nullptr;
  gui::Rect Rect;
  bool Selected = false;
  const gui::Brush* Brush = nullptr;  // the background fill
  gui::Color TextColor = gui::clWindowText;
  gui::Color BkColor = gui::clWindow;
  TGridTreeListNode* Node = nullptr;
  gui::Bitmap* Scratch = nullptr;  // the paint's off-screen bitmap
};

// What the footer drawer is given: a cell of the footer (Node nullptr,
// FooterIndex -1), of a row footer, or a whole group row (GroupRow).
struct TTreeListFooterDrawParams {
  gui::Canvas* Canvas = nullptr;
  gui::Rect Rect;
  bool GroupRow = false;
  bool MultiLine = false;
  const gui::Brush* Brush = nullptr;
  gui::Color TextColor = gui::clWindowText;
  gui::Color BkColor = gui::clBtnFace;
  bool Focused = false;   // group rows
  bool Selected = false;  // group rows
  int FooterIndex = -1;
  int Column = -1;  // absolute; -1 for group rows
  TGridTreeListNode* Node = nullptr;
  gui::Bitmap* Scratch = nullptr;
};

using TGridTreeListNotify = std::function<void(TCustomGridTreeList* sender)>;
using TGridTreeListNodeNotify = std::function<void(TCustomGridTreeList* sender, TGridTreeListNode* node)>;
using TGridTreeListAllowNode =
    std::function<void(TCustomGridTreeList* sender, TGridTreeListNode* node, bool& allow)>;
using TGridTreeListChangeNode = std::function<void(TCustomGridTreeList* sender,
                                                   TGridTreeListNode* oldNode, TGridTreeListNode* node)>;
using TGridTreeListChangeColumn =
    std::function<void(TCustomGridTreeList* sender, TGridTreeListNode* node, int column)>;
using TGridTreeListGetLevelColor =
    std::function<void(TCustomGridTreeList* sender, int level, gui::Color& color)>;
using TGridTreeListGetEditColor = std::function<void(TCustomGridTreeList* sender, gui::Color& color)>;
using TGridTreeListCompare = std::function<void(TCustomGridTreeList* sender, const TGridTreeListNode* a,
                                                const TGridTreeListNode* b, int& compare)>;
