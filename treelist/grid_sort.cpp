#include "treelist/grid_sort.h"

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
