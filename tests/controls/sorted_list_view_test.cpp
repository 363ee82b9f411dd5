// The sorting list view's keys, its comparison and the merge sort that
// orders the rows with it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "controls/sorted_list_view.h"
#include "platform/text.h"

namespace {

using Order = std::vector<int>;

Order Reversed(Order o) {
  std::reverse(o.begin(), o.end());
  return o;
}

TEST(SortedListView, KeysPadNumbersToTwelveDigitsAndCompareTextByteByByte) {
  EXPECT_EQ(SortedListViewKey("9 files"), "000000000009");
  EXPECT_EQ(SortedListViewKey("10"), "000000000010");
  EXPECT_EQ(SortedListViewKey("  "), "000000000000") << "blank counts as 0";
  EXPECT_EQ(SortedListViewKey("123456789012345"), "123456789012") << "the first 12 characters";
  EXPECT_EQ(SortedListViewKey("2003-05-01"), "000020030501");
  EXPECT_EQ(SortedListViewKey(" 7"), " 7") << "not a digit first: text";
  // Case-sensitive and ordinal: 'B' (0x42) before 'a' (0x61) before 0xE9.
  EXPECT_EQ(SortedListViewCompare("a", "B", 1), 1);
  EXPECT_EQ(SortedListViewCompare("a", "\xE9", 1), 0);
  // Equal keys: 0 ascending, 1 descending; never negative.
  EXPECT_EQ(SortedListViewCompare("x", "x", 1), 0);
  EXPECT_EQ(SortedListViewCompare("x", "x", 0), 1);
}

TEST(SortedListView, ClicksSortNumbersTextAndDatesUpThenDown) {
  const std::vector<TSortedListRow> rows = {{"b.mp3", "10", "2003-05-01"},
                                            {"A.mp3", "9", "2002-12-31"},
                                            {"c.mp3", "10", "2003-05-01"},
                                            {"a.mp3", "999999999999", "2001-01-01"}};
  TSortedListSorter s;
  // Sizes: 9 before 10 before twelve nines; the two 10s keep their order.
  EXPECT_EQ(s.ColumnClick(1, rows), (Order{1, 0, 2, 3}));
  EXPECT_EQ(s.Direction(), 1);
  // The second click: descending, the equal rows the other way round.
  EXPECT_EQ(s.ColumnClick(1, rows), Reversed({1, 0, 2, 3}));
  EXPECT_EQ(s.Direction(), 0);
  // The direction is the view's: a click on another column toggles it on.
  EXPECT_EQ(s.ColumnClick(0, rows), (Order{1, 3, 0, 2}));
  EXPECT_EQ(s.ColumnClick(2, rows), Reversed({3, 1, 0, 2}));
  EXPECT_EQ(s.ColumnClick(2, rows), (Order{3, 1, 0, 2}));
  EXPECT_EQ(s.Column(), 2);
}

TEST(SortedListView, ARowWithoutTheColumnComparesEmptyAgainstAnyRow) {
  // "5" against a missing sub-item: both count as empty, so they are
  // equal (a missing text taken as "0" alone would put the row first).
  const std::vector<TSortedListRow> rows = {{"x", "5"}, {"y"}};
  TSortedListSorter s;
  EXPECT_EQ(s.SortOnColumn(1, 1, rows), (Order{0, 1}));
  EXPECT_EQ(s.SortOnColumn(1, 0, rows), (Order{1, 0}));
}

TEST(SortedListView, TheSortedSortHandlerDecidesTheResult) {
  const std::vector<TSortedListRow> rows = {{"b"}, {"C"}, {"a"}};
  gui::Component view;
  TSortedListSorter s(&view);
  int calls = 0;
  s.OnSortedSort = [&](gui::Component* sender, const std::string& a, const std::string& b, int& result) {
    EXPECT_EQ(sender, &view);
    ++calls;
    result = plat::CompareText(a, b) > 0 ? 1 : 0;  // without regard to case
  };
  EXPECT_EQ(s.SortOnColumn(0, 1, rows), (Order{2, 0, 1}));
  EXPECT_GT(calls, 0);
}

TEST(SortedListView, MergeSortTakesTheRightRunOnlyOnAPositiveResult) {
  // Every comparison 0: nothing moves; every comparison 1: the order is
  // exactly reversed.
  EXPECT_EQ(MergeSortOrder(5, [](int, int) { return 0; }), (Order{0, 1, 2, 3, 4}));
  EXPECT_EQ(MergeSortOrder(5, [](int, int) { return 1; }), (Order{4, 3, 2, 1, 0}));
  EXPECT_TRUE(MergeSortOrder(0, [](int, int) { return 1; }).empty());
}

}  // namespace
