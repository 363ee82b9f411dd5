// The program's list grids: a flat grid filling its parent with its
// columns (the rows selected whole, the header sorting by click), and the
// rows a user chose in one.
#pragma once
#include <string>
#include <vector>

#include "gui/control.h"
#include "treelist/grid_tree_list.h"

namespace view {

struct Column {
  std::string Caption;
  int Width;
  bool Right = false;  // numbers: right-aligned
};
// A column header's width that shows the whole caption beside the sort
// mark (captionWidth: the caption's width in the header font).
constexpr int kHeaderMargins = 12;
int HeaderWidth(int captionWidth);
// A grid filling parent's free area, one column each (at least as wide as
// its header needs).
TGridTreeList* AddGrid(gui::Control* parent, const std::vector<Column>& columns);

// The first selected row of a grid, else its focused row (nullptr: none).
TGridTreeListNode* CurrentRow(TGridTreeList* grid);
// The selected rows, or the focused row when none is selected.
std::vector<TGridTreeListNode*> ChosenRows(TGridTreeList* grid);

}  // namespace view
