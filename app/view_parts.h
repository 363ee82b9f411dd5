// Building blocks the program's windows share: a strip of controls along
// an edge, buttons, labels and edits placed on it, and a flat list grid
// with its columns (the rows selected whole, the header sorting by click).
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "gui/control.h"
#include "gui/win32/std_controls.h"
#include "treelist/grid_tree_list.h"

namespace view {

// Aligns c to an edge after the controls already there (size: its height
// or width).
void PlaceLast(gui::Control* c, gui::AlignMode align, int size);
// A panel without a bevel along an edge of parent (alTop, alBottom, ...),
// after those already there.
gui::Panel* Strip(gui::Control* parent, gui::AlignMode align, int size);

gui::Button* AddButton(gui::Control* parent, const std::string& caption, int left, int top, int width,
                       std::function<void()> onClick);
gui::Label* AddLabel(gui::Control* parent, const std::string& caption, int left, int top, int width);
gui::Edit* AddEdit(gui::Control* parent, int left, int top, int width);
// An edit after its label: the label at left (labelWidth wide), the edit
// where the label ends.
gui::Edit* LabelledEdit(gui::Control* parent, const std::string& caption, int left, int top, int labelWidth,
                        int width);
// A button (86 wide) that lets the user pick a folder for edit, starting at
// the folder the edit holds; the picker belongs to owner (the window).
gui::Button* AddBrowseButton(gui::Component* owner, gui::Control* parent, const std::string& caption, int left,
                             int top, gui::Edit* edit);
// The connection choice: the names of the link-speed codes 0 to 10, in
// their order; owner is the window.
gui::ComboBox* AddLinkTypeCombo(gui::Component* owner, gui::Control* parent, int left, int top);
// Shows a link-speed code in that choice (codes out of range at the
// nearest end).
void SelectLinkType(gui::ComboBox* combo, int code);

struct Column {
  std::string Caption;
  int Width;
  bool Right = false;  // numbers: right-aligned
};
// A grid filling parent's free area, one column each.
TGridTreeList* AddGrid(gui::Control* parent, const std::vector<Column>& columns);

// The first selected row of a grid, else its focused row (nullptr: none).
TGridTreeListNode* CurrentRow(TGridTreeList* grid);
// The selected rows, or the focused row when none is selected.
std::vector<TGridTreeListNode*> ChosenRows(TGridTreeList* grid);

// The file's own name: the last part of the path a peer shows.
std::string ShownName(const std::string& path);
// A nick as users read it: a Gnutella result's pseudo-nick is shown as
// "Gnutella" and the host.
std::string ShownNick(const std::string& nick);
// "12.3 KB/s"; "" for nothing.
std::string RateText(int64_t bytesPerSecond);

}  // namespace view
