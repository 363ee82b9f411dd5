#include "app/grid_parts.h"

#include <algorithm>

#include "gui/services.h"
#include "gui/text_measurer.h"
#include "treelist/grid_drawing.h"

namespace view {

int HeaderWidth(int captionWidth) { return captionWidth + kGridSortMarkWidth + kHeaderMargins; }

TGridTreeList* AddGrid(gui::Control* parent, const std::vector<Column>& columns) {
  auto* g = new TGridTreeList(parent);
  g->SetOptions(g->Options().With(aoRowSelect).With(aoMultiSelect).With(aoColumnSizing).With(aoDrawEndEllipsis));
  g->SetShowRoot(false);
  g->SetShowLines(false);
  g->SetShowButtons(false);
  g->SetShowIndicator(false);
  const gui::TextMeasurer& m = gui::Service<gui::TextMeasurer>::Get();
  for (const Column& c : columns) {
    TGridTreeListColumn* col = g->CreateColumn();
    col->SetCaption(c.Caption);
    col->SetWidth(std::max(c.Width, HeaderWidth(m.TextExtent(g->HeaderFont(), c.Caption).Width)));
    if (c.Right) col->SetAlignment(taRightJustify);
  }
  g->SetAlign(gui::alClient);
  g->SetParent(parent);
  return g;
}

TGridTreeListNode* CurrentRow(TGridTreeList* grid) {
  return grid->SelectedCount() > 0 ? grid->SelectedNodes(0) : grid->FocusedNode();
}

std::vector<TGridTreeListNode*> ChosenRows(TGridTreeList* grid) {
  std::vector<TGridTreeListNode*> rows;
  for (int i = 0; i < grid->SelectedCount(); ++i) rows.push_back(grid->SelectedNodes(i));
  if (rows.empty() && grid->FocusedNode()) rows.push_back(grid->FocusedNode());
  return rows;
}

}  // namespace view
