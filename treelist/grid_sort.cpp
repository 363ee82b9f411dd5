#include "treelist/grid_sort.h"

#include <algorithm>
#include <cstdint>
#include <string>

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

// A chain as the byte-order sort sees it first: its first text's leading
// bytes (big-endian, so that they compare as the bytes do; zeros past the
// end) and length, and where the chain is.
struct PrefixedChain {
  static constexpr uint32_t kNoText = 0xFFFFFFFF;
  static constexpr size_t kPrefix = 16;
  uint64_t high = 0, low = 0;
  uint32_t length = kNoText;  // capped below kNoText
  uint32_t index = 0;
};

// The first 8 of the n bytes at p, big-endian, zeros past n.
uint64_t BigEndian(const char* p, size_t n) {
  uint64_t v = 0;
  for (size_t i = 0; i < 8; ++i) v = v << 8 | (i < n ? uint8_t(p[i]) : 0u);
  return v;
}

PrefixedChain Prefixed(const TGridSortKey& k, uint32_t index) {
  PrefixedChain c;
  c.index = index;
  if (!k.Value.IsText()) return c;
  const std::string& t = k.Value.AsText();
  c.length = uint32_t(std::min<size_t>(t.size(), PrefixedChain::kNoText - 1));
  c.high = BigEndian(t.data(), t.size());
  c.low = t.size() > 8 ? BigEndian(t.data() + 8, t.size() - 8) : 0;
  return c;
}

// The first texts' order where their prefixes tell it (0: they do not).
// Equal prefixes of texts no longer than the prefix leave only the
// lengths: the shorter text is the other's beginning.
int ComparePrefixes(const PrefixedChain& a, const PrefixedChain& b) {
  if (a.length == PrefixedChain::kNoText || b.length == PrefixedChain::kNoText) return 0;
  if (a.high != b.high) return a.high < b.high ? -1 : 1;
  if (a.low != b.low) return a.low < b.low ? -1 : 1;
  if (a.length <= PrefixedChain::kPrefix && b.length <= PrefixedChain::kPrefix && a.length != b.length)
    return a.length < b.length ? -1 : 1;
  return 0;
}

}  // namespace

void SortKeyChains(std::vector<const TGridSortKey*>& chains, bool ansi) {
  if (chains.size() < 2) return;
  if (ansi) {
    SafeStableSort(chains, [](const TGridSortKey* a, const TGridSortKey* b) { return CompareKeysAnsi(a, b) < 0; });
    return;
  }
  std::vector<PrefixedChain> items(chains.size());
  for (size_t i = 0; i < chains.size(); ++i) items[i] = Prefixed(*chains[i], uint32_t(i));
  const std::vector<const TGridSortKey*>& at = chains;
  SafeStableSort(items, [&at](const PrefixedChain& a, const PrefixedChain& b) {
    const TGridSortKey* ka = at[a.index];
    if (const int c = ComparePrefixes(a, b)) return (ka->Descending ? -c : c) < 0;
    return CompareKeys(ka, at[b.index]) < 0;
  });
  std::vector<const TGridSortKey*> sorted(chains.size());
  for (size_t i = 0; i < items.size(); ++i) sorted[i] = chains[items[i].index];
  chains.swap(sorted);
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
