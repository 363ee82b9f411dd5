#include "controls/sorted_list_view.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <numeric>

#include "controls/number_edit.h"
#include "gui/number_format.h"
#include "platform/text.h"

namespace {

// Digits of a key's number: 12 at most, so a 64-bit number always holds it.
constexpr size_t kKeyDigits = 12;

}  // namespace

std::string SortedListViewKey(const std::string& text) {
  const std::string s = plat::Trim(text).empty() ? "0" : text;
  if (s[0] < '0' || s[0] > '9') return s;
  const int64_t n = ClampedDigits(std::string_view(s).substr(0, kKeyDigits),
                                  std::numeric_limits<int64_t>::max());
  return gui::FormatInteger(std::string(kKeyDigits, '0'), n);
}

int SortedListViewCompare(const std::string& key1, const std::string& key2, int direction) {
  const int c = key1.compare(key2);
  return (direction == 1 && c > 0) || (direction == 0 && c <= 0) ? 1 : 0;
}

std::vector<int> MergeSortOrder(int count, const std::function<int(int left, int right)>& compare) {
  std::vector<int> order(size_t(std::max(count, 0)));
  std::iota(order.begin(), order.end(), 0);
  std::vector<int> merged(order.size());
  // Runs of width 1, 2, 4, ... merged pairwise.
  for (size_t width = 1; width < order.size(); width *= 2) {
    for (size_t lo = 0; lo < order.size(); lo += 2 * width) {
      const size_t mid = std::min(lo + width, order.size());
      const size_t hi = std::min(lo + 2 * width, order.size());
      size_t l = lo, r = mid, out = lo;
      while (l < mid && r < hi) merged[out++] = compare(order[l], order[r]) > 0 ? order[r++] : order[l++];
      while (l < mid) merged[out++] = order[l++];
      while (r < hi) merged[out++] = order[r++];
    }
    order.swap(merged);
  }
  return order;
}

std::vector<int> TSortedListSorter::ColumnClick(int column, const std::vector<TSortedListRow>& rows) {
  return SortOnColumn(column, direction_ != 1 ? 1 : 0, rows);
}

std::vector<int> TSortedListSorter::SortOnColumn(int column, int direction,
                                                 const std::vector<TSortedListRow>& rows) {
  column_ = column;
  direction_ = direction;
  const size_t index = size_t(std::max(column, 0));
  // Every row's key once; a row without the column compares as an empty
  // text against any other row.
  std::vector<std::string> keys;
  std::vector<bool> has;
  for (const TSortedListRow& row : rows) {
    has.push_back(row.size() > index);
    keys.push_back(SortedListViewKey(has.back() ? row[index] : ""));
  }
  const std::string none = SortedListViewKey("");
  return MergeSortOrder(int(rows.size()), [&](int a, int b) {
    const bool both = column == 0 || (has[size_t(a)] && has[size_t(b)]);
    const std::string& s1 = both ? keys[size_t(a)] : none;
    const std::string& s2 = both ? keys[size_t(b)] : none;
    int result = SortedListViewCompare(s1, s2, direction);
    if (OnSortedSort) OnSortedSort(sender_, s1, s2, result);
    return result;
  });
}
