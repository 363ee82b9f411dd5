#include "controls/win32/sorted_list_view.h"

#include <commctrl.h>

TSortedListView::TSortedListView(gui::Component* owner) : gui::ListView(owner), sorter_(this) {}

std::vector<TSortedListRow> TSortedListView::Rows() const {
  std::vector<TSortedListRow> rows(static_cast<size_t>(RowCount()));
  for (int r = 0; r < RowCount(); ++r)
    for (int c = 0; c < TextCount(r); ++c) rows[size_t(r)].push_back(Text(r, c));
  return rows;
}

void TSortedListView::Arrange(const std::vector<int>& order) {
  // The rows take the merge sort's places (a strict order by place).
  std::vector<int> place(order.size());
  for (size_t i = 0; i < order.size(); ++i) place[size_t(order[i])] = int(i);
  Sort([&](int a, int b) { return place[size_t(a)] - place[size_t(b)]; });
}

void TSortedListView::SortOnColumn(int column, int direction) {
  sorter_.OnSortedSort = OnSortedSort;
  Arrange(sorter_.SortOnColumn(column, direction, Rows()));
}

void TSortedListView::WndProc(gui::Message& m) {
  if (m.Msg == gui::CN_NOTIFY && reinterpret_cast<NMHDR*>(m.LParam)->code == UINT(LVN_COLUMNCLICK)) {
    sorter_.OnSortedSort = OnSortedSort;
    Arrange(sorter_.ColumnClick(reinterpret_cast<NMLISTVIEW*>(m.LParam)->iSubItem, Rows()));
  }
  gui::ListView::WndProc(m);
}
