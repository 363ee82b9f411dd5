// The sorting of the sorting list view, without any window: a click on a
// column header toggles the view-wide direction and sorts the rows by that
// column. Texts are compared by their sort keys: a blank text counts as
// "0", a text that begins with a digit as the number of the digits of its
// first 12 characters padded with zeros to 12 digits (so 9 sorts before
// 10, and 11- and 12-digit numbers stay in order), any other text as
// itself, case-sensitively byte by byte.
//
// The comparison answers 1 or 0, never a negative number: with direction 1
// it is 1 when the first key is greater, with direction 0 when it is not
// (also for equal keys). That is no ordering a library sort may be given;
// the rows are ordered by a merge sort that puts a row after another only
// when the comparison is positive: ascending for direction 1 (equal rows
// keep their order), descending for direction 0 (equal rows reversed:
// exactly the ascending order backwards).
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "gui/component.h"

std::string SortedListViewKey(const std::string& text);
int SortedListViewCompare(const std::string& key1, const std::string& key2, int direction);

// The order of count items (their indexes, first to last) by a merge sort
// that takes an item of the right-hand run before one of the left-hand run
// only when compare(left, right) is positive.
std::vector<int> MergeSortOrder(int count, const std::function<int(int left, int right)>& compare);

// A handler that may change the comparison's result of two keys.
using TSortedListViewOnSortedSort = std::function<void(
    gui::Component* sender, const std::string& itemText1, const std::string& itemText2, int& result)>;

// One row: the caption, then the sub-items.
using TSortedListRow = std::vector<std::string>;

class TSortedListSorter {
 public:
  // sender: the list view named to OnSortedSort.
  explicit TSortedListSorter(gui::Component* sender = nullptr) : sender_(sender) {}

  int Column() const { return column_; }
  int Direction() const { return direction_; }
  // A click on a column: direction 1 when it was not 1, else 0; answers
  // the order of the rows sorted by that column.
  std::vector<int> ColumnClick(int column, const std::vector<TSortedListRow>& rows);
  // Stores column and direction and answers the order of the rows. The
  // texts compared: the captions for column 0, else the sub-items
  // column - 1 when both rows have them, else empty ones.
  std::vector<int> SortOnColumn(int column, int direction, const std::vector<TSortedListRow>& rows);

  TSortedListViewOnSortedSort OnSortedSort;

 private:
  gui::Component* sender_;
  int column_ = 0;
  int direction_ = 0;
};
