// The report list view that sorts its rows when a column header is
// clicked (see controls/sorted_list_view.h for the order).
#pragma once
#include <windows.h>

#include "gui/win_names.h"

#include "controls/sorted_list_view.h"
#include "gui/win32/std_controls.h"

class TSortedListView : public gui::ListView {
 public:
  explicit TSortedListView(gui::Component* owner = nullptr);
  // Sorts the rows by column in direction (1: ascending, 0: descending).
  void SortOnColumn(int column, int direction);
  int SortColumn() const { return sorter_.Column(); }
  int SortDirection() const { return sorter_.Direction(); }
  // May change each comparison's result (see TSortedListSorter).
  TSortedListViewOnSortedSort OnSortedSort;

 protected:
  void WndProc(gui::Message& m) override;

 private:
  std::vector<TSortedListRow> Rows() const;
  void Arrange(const std::vector<int>& order);
  TSortedListSorter sorter_;
};
