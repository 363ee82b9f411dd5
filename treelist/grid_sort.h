// The grid's comparisons: sort-key chains (one key per sorted column) with
// the grid's tie-break, the application's OnCompare, tree order, identity,
// the order of sorted columns and the incremental search's text test; and
// the sort itself, stable and safe with any comparison (an application's
// inconsistent OnCompare gives some order, never a crash).
#pragma once
#include <algorithm>
#include <compare>
#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

#include "treelist/grid_value.h"

class TGridTreeListNode;

// One node's key for one sorted column; Next is the same node's key for
// the next sorted column.
struct TGridSortKey {
  TGridTreeListNode* Node = nullptr;
  TGridValue Value;
  bool Descending = false;
  const TGridSortKey* Next = nullptr;
};

// The key chains compared column by column (a descending key reverses only
// its own column); when every key is equal the node owner's CompareNodes
// decides. Texts by bytes.
int CompareKeys(const TGridSortKey* k1, const TGridSortKey* k2);
// The same with texts in the locale's order when the grid sorts that way
// (aoAnsiSort).
int CompareKeysAnsi(const TGridSortKey* k1, const TGridSortKey* k2);
// The grid's OnCompare for the two nodes (0 when it has none).
int CompareByEvent(const TGridSortKey* k1, const TGridSortKey* k2);

// Sorts the chains (each node's first key) stably into the order of
// CompareKeysAnsi (ansi) or CompareKeys: exactly the order SafeStableSort
// gives with that comparison. In byte order 16 bytes of each chain's first
// text sit beside it in one array, so that most comparisons read no key at
// all (the keys' texts lie far apart in memory): first the texts' first 16
// bytes, then, for each stretch of texts that agree on them, the next 16,
// and so on; a shared beginning is read once per text, not again at each
// comparison.
void SortKeyChains(std::vector<const TGridSortKey*>& chains, bool ansi);

// Tree (display) order: an ancestor before its descendants, siblings by
// index, others by their ancestors' order. -1, 0 or 1.
int CompareNodeOrder(const TGridTreeListNode* a, const TGridTreeListNode* b);

// A fixed total order of objects by address: -1, 0 or 1.
inline int CompareIdentity(const void* a, const void* b) {
  const std::strong_ordering o = std::compare_three_way{}(a, b);
  return o < 0 ? -1 : (o > 0 ? 1 : 0);
}

// The order of the sorted-column list by the columns' sort-order numbers.
inline int CompareColumnSortOrder(int sortOrder1, int sortOrder2) {
  return sortOrder1 < sortOrder2 ? -1 : (sortOrder1 > sortOrder2 ? 1 : 0);
}

// Equal after upper-casing (the incremental search's match).
bool CompareUpperText(std::string_view a, std::string_view b);

// The user's locale's order of texts, case-sensitive (the system's
// comparison; natively a fixed stand-in, see plat::CompareLocaleText).
// Replaceable (SetAnsiCollation, nullptr for this default).
int AnsiCollate(std::string_view a, std::string_view b);
void SetAnsiCollation(TGridTextCompare collation);

// Sorts ranges stably by less (a strict "comes before"); stays within the
// range and keeps every item whatever less answers. Stretches already in
// order, or strictly against it (turned round), are taken whole: sorting
// rows sorted already, or sorted the other way (a second click on a
// column's header), costs one pass. One sorter's scratch space serves
// every range it sorts.
template <class T>
class TStableSorter {
 public:
  template <class Less>
  void Sort(T* items, size_t n, const Less& less) {
    if (n < 2) return;
    runs_.assign(1, 0);  // where each run starts, then n
    for (size_t i = 0; i < n;) {
      size_t end = i + 1;
      if (end < n && less(items[end], items[i])) {
        while (end + 1 < n && less(items[end + 1], items[end])) ++end;
        ++end;
        std::reverse(items + i, items + end);
      } else {
        while (end < n && !less(items[end], items[end - 1])) ++end;
      }
      runs_.push_back(i = end);
    }
    if (runs_.size() == 2) return;
    if (buffer_.size() < n) buffer_.resize(n);
    T* from = items;
    T* to = buffer_.data();
    while (runs_.size() > 2) {
      merged_.assign(1, 0);
      for (size_t r = 0; r + 1 < runs_.size(); r += 2) {
        const size_t lo = runs_[r], mid = runs_[r + 1], hi = r + 2 < runs_.size() ? runs_[r + 2] : mid;
        size_t i = lo, j = mid, k = lo;
        while (i < mid && j < hi) to[k++] = less(from[j], from[i]) ? from[j++] : from[i++];
        while (i < mid) to[k++] = from[i++];
        while (j < hi) to[k++] = from[j++];
        merged_.push_back(hi);
      }
      runs_.swap(merged_);
      std::swap(from, to);
    }
    if (from != items) std::copy(from, from + n, items);
  }

 private:
  std::vector<T> buffer_;
  std::vector<size_t> runs_, merged_;
};

// Sorts items stably by less, as TStableSorter does.
template <class T, class Less>
void SafeStableSort(std::vector<T>& items, const Less& less) {
  TStableSorter<T>().Sort(items.data(), items.size(), less);
}
