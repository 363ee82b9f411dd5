#include "treelist/grid_sort.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <cstdint>
#include <string>
#include <utility>

#include "platform/system.h"
#include "platform/text.h"
#include "treelist/custom_tree_list.h"
#include "treelist/tree_list_node.h"

namespace {

TGridTextCompare g_collation = nullptr;

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

int CompareChain(const TGridSortKey* k1, const TGridSortKey* k2, TGridTextCompare texts) {
  for (; k1 && k2; k1 = k1->Next, k2 = k2->Next) {
    const int c = CompareGridValues(k1->Value, k2->Value, texts);
    if (c != 0) return k1->Descending ? -c : c;
  }
  return 0;
}

int CompareWithTieBreak(const TGridSortKey* k1, const TGridSortKey* k2, TGridTextCompare texts) {
  if (!k1 || !k2) return 0;
  const int c = CompareChain(k1, k2, texts);
  if (c != 0 || !k1->Node || !k2->Node) return c;
  return Sign(k1->Node->Owner()->CompareNodes(k1->Node, k2->Node));
}

}  // namespace

int CompareKeys(const TGridSortKey* k1, const TGridSortKey* k2) {
  return CompareWithTieBreak(k1, k2, CompareTextBytes);
}

int CompareKeysAnsi(const TGridSortKey* k1, const TGridSortKey* k2) {
  const bool ansi = k1 && k1->Node && k1->Node->Owner()->IsAnsiSort();
  return CompareWithTieBreak(k1, k2, ansi ? AnsiCollate : CompareTextBytes);
}

int CompareByEvent(const TGridSortKey* k1, const TGridSortKey* k2) {
  if (!k1 || !k2 || !k1->Node) return 0;
  return k1->Node->Owner()->DoCompare(k1->Node, k2->Node);
}

namespace {

// A chain as the byte-order sort sees it: the 16 bytes of its first text
// that the sort reads now (big-endian, so that they compare as the bytes
// do; zeros past the end), how much of the text is left from where they
// begin, and where the chain is.
struct TextWindow {
  static constexpr uint32_t kWidth = 16;
  static constexpr uint32_t kNoText = 0xFFFFFFFF;  // the first value is no text
  uint64_t high = 0, low = 0;
  uint32_t left = kNoText;
  uint32_t index = 0;

  bool IsText() const { return left != kNoText; }
  // The text goes on past this window.
  bool GoesOn() const { return IsText() && left > kWidth; }
};

// The first 8 of the n bytes at p, big-endian, zeros past n.
uint64_t BigEndian(const char* p, size_t n) {
  unsigned char bytes[8] = {};
  if (n >= 8)
    std::memcpy(bytes, p, 8);
  else
    std::memcpy(bytes, p, n);
  uint64_t v;
  std::memcpy(&v, bytes, 8);
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
  return v;
}

// Reads the window of the text that begins left bytes before its end.
void ReadWindow(TextWindow& w, const std::string& text, uint32_t left) {
  const char* at = text.data() + (text.size() - left);
  w.left = left;
  w.high = BigEndian(at, left);
  w.low = left > 8 ? BigEndian(at + 8, left - 8) : 0;
}

// The texts' order as their windows tell it: -1 or 1, or 0 when the
// windows agree and the texts either end alike in them (the texts are
// equal, as the windows before agreed) or both go on past them.
int CompareWindows(const TextWindow& a, const TextWindow& b) {
  if (a.high != b.high) return a.high < b.high ? -1 : 1;
  if (a.low != b.low) return a.low < b.low ? -1 : 1;
  // Equal bytes: a text that ends first is the other's beginning.
  const uint32_t la = std::min(a.left, TextWindow::kWidth + 1), lb = std::min(b.left, TextWindow::kWidth + 1);
  return la == lb ? 0 : (la < lb ? -1 : 1);
}

// Sorts the chains in byte order by windows of their first texts: all of
// them by the first 16 bytes, then each stretch whose texts agree there
// and go on by the next 16 bytes, from where the window before ended, and
// so on. Equal texts, and first values that are no texts, are ordered by
// the whole comparison. Every chain's first key sorts the same way.
void SortByTextWindows(std::vector<const TGridSortKey*>& chains, bool descending) {
  const size_t n = chains.size();
  std::vector<TextWindow> items(n);
  for (size_t i = 0; i < n; ++i) {
    items[i].index = uint32_t(i);
    const TGridValue& v = chains[i]->Value;
    if (v.IsText()) ReadWindow(items[i], v.AsText(), uint32_t(v.AsText().size()));
  }
  auto less = [&chains, descending](const TextWindow& a, const TextWindow& b) {
    if (a.IsText() && b.IsText()) {
      if (const int c = CompareWindows(a, b)) return descending ? c > 0 : c < 0;
      if (a.GoesOn()) return false;  // the next window tells
    }
    return CompareKeys(chains[a.index], chains[b.index]) < 0;
  };
  TStableSorter<TextWindow> sorter;
  sorter.Sort(items.data(), n, less);
  std::vector<std::pair<size_t, size_t>> stretches;
  auto findStretches = [&](size_t from, size_t to) {
    for (size_t i = from; i < to;) {
      size_t end = i + 1;
      if (items[i].GoesOn())
        while (end < to && items[end].GoesOn() && items[end].high == items[i].high && items[end].low == items[i].low)
          ++end;
      if (end - i > 1) stretches.emplace_back(i, end);
      i = end;
    }
  };
  findStretches(0, n);
  while (!stretches.empty()) {
    const auto [from, to] = stretches.back();
    stretches.pop_back();
    for (size_t i = from; i < to; ++i)
      ReadWindow(items[i], chains[items[i].index]->Value.AsText(), items[i].left - TextWindow::kWidth);
    sorter.Sort(items.data() + from, to - from, less);
    findStretches(from, to);
  }
  std::vector<const TGridSortKey*> sorted(n);
  for (size_t i = 0; i < n; ++i) sorted[i] = chains[items[i].index];
  chains.swap(sorted);
}

}  // namespace

void SortKeyChains(std::vector<const TGridSortKey*>& chains, bool ansi) {
  if (chains.size() < 2) return;
  const bool descending = chains[0]->Descending;
  // The windows hold texts of up to 4 GiB less 2 bytes; a longer one, or
  // first keys that do not all sort one way, take the plain comparison.
  const bool byWindows = !ansi && std::all_of(chains.begin(), chains.end(), [descending](const TGridSortKey* k) {
    return k->Descending == descending && (!k->Value.IsText() || k->Value.AsText().size() < TextWindow::kNoText);
  });
  if (byWindows)
    SortByTextWindows(chains, descending);
  else
    SafeStableSort(chains, [ansi](const TGridSortKey* a, const TGridSortKey* b) {
      return (ansi ? CompareKeysAnsi(a, b) : CompareKeys(a, b)) < 0;
    });
}

int CompareNodeOrder(const TGridTreeListNode* a, const TGridTreeListNode* b) {
  if (a == b) return 0;
  int la = a->Level(), lb = b->Level();
  const int deeper = la > lb ? 1 : -1;
  while (la > lb) a = a->Parent(), --la;
  while (lb > la) b = b->Parent(), --lb;
  if (a == b) return deeper;  // one was the other's ancestor
  while (a->Parent() != b->Parent()) a = a->Parent(), b = b->Parent();
  return Sign(a->Index() - b->Index());
}

bool CompareUpperText(std::string_view a, std::string_view b) { return plat::CompareText(a, b) == 0; }

int AnsiCollate(std::string_view a, std::string_view b) {
  return g_collation ? g_collation(a, b) : plat::CompareLocaleText(a, b);
}

void SetAnsiCollation(TGridTextCompare collation) { g_collation = collation; }
