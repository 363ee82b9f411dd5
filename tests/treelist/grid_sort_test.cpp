#include "treelist/grid_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "tests/treelist/tree_list_test_util.h"
#include "treelist/grid_auto_scroll.h"

using namespace treetest;

namespace {

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

TGridValue RandomValue(std::mt19937& rng) {
  static const char* const texts[] = {"", "a", "A", "ab", "b", "B", "\xE9", "\xC9", "10", "9"};
  const int64_t big = int64_t(1) << 53;
  switch (rng() % 6) {
    case 0: return TGridValue();
    case 1: return TGridValue::FromInteger(big + int64_t(rng() % 5) - 2);
    case 2: return TGridValue::FromInteger(int64_t(rng() % 7) - 3);
    case 3: {
      const double d[] = {double(big), -0.0, 0.0, 1.5, -2.5, std::nan(""), 1e300};
      return TGridValue::FromFloat(d[rng() % 7]);
    }
    case 4: return TGridValue::FromDate(double(rng() % 3));
    default: return TGridValue::FromText(texts[rng() % 10]);
  }
}

// Any two values compare, in one total order: antisymmetric and transitive
// over every kind (texts by bytes and by the locale's order).
TEST(GridSort, ValueOrderIsTotalAcrossKinds) {
  std::mt19937 rng(7);
  std::vector<TGridValue> v;
  for (int i = 0; i < 60; ++i) v.push_back(RandomValue(rng));
  for (TGridTextCompare texts : {CompareTextBytes, AnsiCollate}) {
    for (const TGridValue& a : v)
      for (const TGridValue& b : v) {
        ASSERT_EQ(Sign(CompareGridValues(a, b, texts)), -Sign(CompareGridValues(b, a, texts)));
        for (const TGridValue& c : v) {
          const bool chain = CompareGridValues(a, b, texts) <= 0 && CompareGridValues(b, c, texts) <= 0;
          ASSERT_TRUE(!chain || CompareGridValues(a, c, texts) <= 0)
              << a.ToString() << " " << b.ToString() << " " << c.ToString();
        }
      }
  }
  const int64_t big = int64_t(1) << 53;
  EXPECT_LT(CompareGridValues(TGridValue(), TGridValue::FromInteger(-5)), 0);
  EXPECT_LT(CompareGridValues(TGridValue::FromFloat(1e300), TGridValue::FromText("")), 0);
  EXPECT_GT(CompareGridValues(TGridValue::FromInteger(big + 1), TGridValue::FromFloat(double(big))), 0);
  EXPECT_EQ(CompareGridValues(TGridValue::FromDate(2), TGridValue::FromInteger(2)), 0);
}

TEST(GridSort, LocaleOrderPutsSmallBeforeCapitalAndCanBeReplaced) {
  EXPECT_LT(AnsiCollate("a", "A"), 0);
  EXPECT_LT(AnsiCollate("A", "b"), 0);
  EXPECT_LT(AnsiCollate("\xE9", "\xC9"), 0);  // é before É
  EXPECT_EQ(AnsiCollate("ab", "ab"), 0);
  EXPECT_TRUE(CompareUpperText("Stra\xDF" "e\xE9", "STRA\xDF" "E\xC9"));
  EXPECT_FALSE(CompareUpperText("ab", "abc"));
  SetAnsiCollation([](std::string_view a, std::string_view b) { return CompareTextBytes(b, a); });
  EXPECT_GT(AnsiCollate("a", "b"), 0);
  SetAnsiCollation(nullptr);
  EXPECT_LT(AnsiCollate("a", "b"), 0);
}

#ifdef _WIN32
// With aoAnsiSort the user's locale orders the texts: an accented letter
// stands by its plain one, not after "z" where its byte would put it.
TEST(GridSort, AnsiSortFollowsTheUsersLocale) {
  TGridTreeList g;
  OneColumn(g);
  for (const char* name : {"z", "f", "\xE9", "e"}) g.Add()->SetStrings(0, name);
  g.SetOptionsEx(g.OptionsEx().With(aoAnsiSort));
  g.Columns(0)->SetSorted(csUp);
  g.SortNodes();
  std::string order;
  for (int i = 0; i < g.Count(); ++i) order += Name(g.Items(i)) + " ";
  EXPECT_EQ(order, "e \xE9 f z ");
}
#endif

// A grid whose column 1 delivers numbers.
class NumberGrid : public TGridTreeList {
 public:
  using TGridTreeList::TGridTreeList;
  TGridValue GetNodeValue(const TGridTreeListNode* n, int column) const override {
    if (column == 1) return TGridValue::FromInteger(std::stoll(GetNodeString(n, 1)));
    return TGridTreeList::GetNodeValue(n, column);
  }
};

std::string Order(TCustomGridTreeList& g, const TGridTreeListNode* parent = nullptr) {
  std::string s;
  const int n = parent ? parent->Count() : g.Count();
  for (int i = 0; i < n; ++i) s += (s.empty() ? "" : " ") + Name(parent ? parent->Items(i) : g.Items(i));
  return s;
}

TEST(GridSort, SortKeysDescendingTieBreakAnsiAndNumbers) {
  NumberGrid g;
  OneColumn(g);
  g.CreateColumn();
  const char* rows[][2] = {{"b", "1"}, {"A", "9"}, {"a", "10"}, {"B", "10"}, {"a", "9"}, {"b", "2"}};
  for (auto& r : rows) {
    TGridTreeListNode* n = g.Add();
    n->SetStrings(0, r[0]);
    n->SetStrings(1, r[1]);
  }
  g.Columns(0)->SetSorted(csUp);
  g.Columns(1)->SetSorted(csDown);
  g.Columns(1)->SetSortOrder(1);
  g.SortNodes();
  auto both = [&] {
    std::string s;
    for (int i = 0; i < g.Count(); ++i) s += Name(g.Items(i)) + g.Items(i)->Strings(1) + " ";
    return s;
  };
  EXPECT_EQ(both(), "A9 B10 a10 a9 b2 b1 ");  // bytes; numbers down within equal names
  g.SetOptionsEx(g.OptionsEx().With(aoAnsiSort));
  g.SortNodes();
  EXPECT_EQ(both(), "a10 a9 A9 b2 b1 B10 ");
  // Equal keys: the published grid's tie-break is the order before the
  // sort, so rows that compare equal keep their places.
  g.Columns(1)->SetSorted(csNone);
  for (int i = 0; i < g.Count(); ++i) g.Items(i)->SetStrings(0, "same");
  const std::string before = both();
  g.SortNodes();
  EXPECT_EQ(both(), before);
}

TEST(GridSort, OnCompareDecidesAndAnInconsistentOneCannotHurt) {
  TGridTreeList g;
  OneColumn(g);
  Build(g, "c a(z y x) b");
  g.Columns(0)->SetSorted(csUp);
  g.OnCompare = [](TCustomGridTreeList*, const TGridTreeListNode* a, const TGridTreeListNode* b, int& c) {
    EXPECT_EQ(c, 0);
    c = -a->Strings(0).compare(b->Strings(0));  // backwards
  };
  g.SortNodes();
  EXPECT_EQ(Order(g), "c b a");
  EXPECT_EQ(Order(g, Find(g, "a")), "z y x");
  std::mt19937 rng(3);
  for (int i = 0; i < 200; ++i) Find(g, "a")->AddChild()->SetStrings(0, std::to_string(i));
  g.OnCompare = [&](TCustomGridTreeList*, const TGridTreeListNode*, const TGridTreeListNode*, int& c) {
    c = int(rng() % 3) - 1;
  };
  g.SortNodes();
  std::vector<std::string> names;
  for (int i = 0; i < Find(g, "a")->Count(); ++i) names.push_back(Name(Find(g, "a")->Items(i)));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names.size(), 203u);
  EXPECT_TRUE(std::adjacent_find(names.begin(), names.end()) == names.end());  // each node once
  EXPECT_EQ(g.RowCount(), 206);
}

// Texts that the byte-order sort's 16-byte windows find hard: long shared
// beginnings that end before, at or just past a window's edge (as paths of
// one folder do), equal texts, letters that differ only in case, NULs and
// 8-bit characters.
std::string HardText(std::mt19937& rng) {
  static const std::string base = "C:\\My Shared Music\\Rock\\Artist\\Album\\";
  static const size_t cuts[] = {0, 1, 8, 15, 16, 17, 24, 31, 32, 33, base.size()};
  static const std::string tails[] = {"", std::string("\0", 1), "a", "A", "\xE9", "\xC9", "\xFF", "\x80",
                                      "track 1", "Track 1", "track 10"};
  std::string t = base.substr(0, cuts[rng() % std::size(cuts)]);
  for (int i = int(rng() % 3); i > 0; --i) t += tails[rng() % std::size(tails)];
  return t;
}

// The byte-order sort reads the first texts 16 bytes at a time, going on
// from where it stopped only for texts that agree so far. On hard texts,
// mixed with other kinds, up and down, with a second key and the
// tie-break, its order is exactly the comparison's.
TEST(GridSort, WindowedSortGivesExactlyTheComparisonsOrder) {
  TGridTreeList g;
  OneColumn(g);
  std::mt19937 rng(13);
  const int n = 1500;
  std::vector<TGridSortKey> keys(size_t(n) * 2);
  for (int i = 0; i < n; ++i) {
    TGridSortKey& first = keys[size_t(i) * 2];
    TGridSortKey& second = keys[size_t(i) * 2 + 1];
    first.Node = second.Node = g.Add();
    first.Next = &second;
    if (rng() % 20 == 0)
      first.Value = rng() % 2 ? TGridValue::FromInteger(int64_t(rng() % 3)) : TGridValue();
    else
      first.Value = TGridValue::FromText(HardText(rng));
    second.Value = TGridValue::FromInteger(int64_t(rng() % 3));
    second.Descending = true;
  }
  for (bool descending : {false, true}) {
    std::vector<const TGridSortKey*> expected;
    for (int i = 0; i < n; ++i) {
      keys[size_t(i) * 2].Descending = descending;
      expected.push_back(&keys[size_t(i) * 2]);
    }
    std::vector<const TGridSortKey*> got = expected;
    std::stable_sort(expected.begin(), expected.end(),
                     [](const TGridSortKey* a, const TGridSortKey* b) { return CompareKeys(a, b) < 0; });
    SortKeyChains(got, false);
    EXPECT_TRUE(got == expected) << descending;
    SortKeyChains(got, false);  // sorted already: the same again
    EXPECT_TRUE(got == expected) << descending;
  }
}

// Sorting the grid sorts every list of siblings at every depth (a node
// with one child, collapsed nodes and leaves among them) by the column,
// equal texts keeping their order.
TEST(GridSort, ColumnSortOrdersEveryListOfSiblings) {
  TGridTreeList g;
  OneColumn(g);
  std::mt19937 rng(17);
  std::vector<TGridTreeListNode*> nodes;
  for (int i = 0; i < 400; ++i) {
    TGridTreeListNode* parent = nodes.empty() || rng() % 4 == 0 ? nullptr : nodes[rng() % nodes.size()];
    nodes.push_back(parent ? parent->AddChild() : g.Add());
    nodes.back()->SetStrings(0, HardText(rng));
    if (parent && rng() % 2) parent->SetExpanded(true);
  }
  auto lists = [&] {
    std::vector<std::vector<TGridTreeListNode*>> all(1);
    for (int i = 0; i < g.Count(); ++i) all[0].push_back(g.Items(i));
    for (TGridTreeListNode* n : nodes) {
      all.emplace_back();
      for (int i = 0; i < n->Count(); ++i) all.back().push_back(n->Items(i));
    }
    return all;
  };
  std::vector<std::vector<TGridTreeListNode*>> expected = lists();
  for (auto& list : expected)
    std::stable_sort(list.begin(), list.end(), [](const TGridTreeListNode* a, const TGridTreeListNode* b) {
      return CompareTextBytes(a->Strings(0), b->Strings(0)) < 0;
    });
  g.Columns(0)->SetSorted(csUp);
  g.SortNodes();
  EXPECT_TRUE(lists() == expected);
}

TEST(GridSort, SafeStableSortKeepsEveryItemAndIsStable) {
  std::mt19937 rng(11);
  std::vector<int> items(1000);
  for (int& v : items) v = int(rng() % 50);
  std::vector<int> sorted = items;
  std::function<bool(const int&, const int&)> random = [&](const int&, const int&) { return rng() % 2 == 0; };
  SafeStableSort(sorted, random);
  std::vector<int> a = items, b = sorted;
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  EXPECT_EQ(a, b);
  // Stable under a consistent comparison: equal tens keep their order.
  std::vector<int> seq(300);
  for (int i = 0; i < 300; ++i) seq[size_t(i)] = (299 - i) / 10 * 1000 + i;
  std::function<bool(const int&, const int&)> byTens = [](const int& x, const int& y) { return x / 1000 < y / 1000; };
  SafeStableSort(seq, byTens);
  for (size_t i = 1; i < seq.size(); ++i)
    EXPECT_TRUE(seq[i - 1] / 1000 < seq[i] / 1000 || seq[i - 1] % 1000 < seq[i] % 1000);
  // Stretches in order, against it (with equal items among them: not
  // turned round as a whole) and at random, against the standard's
  // stable sort.
  for (int shape = 0; shape < 4; ++shape) {
    std::vector<int> in(500);
    for (int i = 0; i < 500; ++i) {
      const int key = shape == 0 ? i / 7 : shape == 1 ? (499 - i) / 7 : shape == 2 ? (i % 50 < 25 ? i : 500 - i) / 3
                                                                                    : int(rng() % 40);
      in[size_t(i)] = key * 1000 + i;
    }
    std::vector<int> ours = in, standard = in;
    SafeStableSort(ours, byTens);
    std::stable_sort(standard.begin(), standard.end(), byTens);
    EXPECT_EQ(ours, standard) << shape;
  }
}

// Tree order against the order of a plain walk, on a random tree.
TEST(GridSort, NodeOrderMatchesTheTreeWalk) {
  std::mt19937 rng(5);
  TGridTreeList g;
  OneColumn(g);
  std::vector<TGridTreeListNode*> nodes;
  for (int i = 0; i < 120; ++i)
    nodes.push_back(nodes.empty() || rng() % 6 == 0 ? g.Add() : nodes[rng() % nodes.size()]->AddChild());
  std::vector<TGridTreeListNode*> walk;
  for (TGridTreeListNode* n = g.GetFirstNode(); n; n = n->GetNext()) walk.push_back(n);
  for (size_t i = 0; i < walk.size(); ++i)
    for (size_t j = 0; j < walk.size(); j += 7)
      ASSERT_EQ(CompareNodeOrder(walk[i], walk[j]), Sign(int(i) - int(j)));
}

// ------------------------------------------------------------------ auto-scroll

struct FakeTarget : TGridAutoScrollTarget {
  int left = 0, content = 500, visible = 200, top = 5, updates = 0;
  TTreeListTrackingState state = tsColumnDragging;
  std::vector<std::string> timers;
  int LeftCoord() const override { return left; }
  void SetLeftCoord(int x) override { left = x; }
  int ContentWidth() const override { return content; }
  int VisibleWidth() const override { return visible; }
  int TopIndex() const override { return top; }
  void SetTopIndex(int r) override { top = r; }
  TTreeListTrackingState TrackingState() const override { return state; }
  bool IsDragging() const override { return false; }
  bool MouseOverGrid() const override { return true; }
  void UpdateGrid() override { ++updates; }
  bool StartGridTimer(uintptr_t id, unsigned ms) override {
    timers.push_back("start " + std::to_string(id) + "/" + std::to_string(ms));
    return true;
  }
  void StopGridTimer(uintptr_t id) override { timers.push_back("stop " + std::to_string(id)); }
};

TEST(GridAutoScroll, HorizontalStopsAtEitherEdgeOtherwiseMoves32) {
  FakeTarget t;
  t.left = 40;
  StartHorzAutoScroll(t, true);
  HorzScrollTimerProc(t);
  EXPECT_EQ(t.left, 8);
  HorzScrollTimerProc(t);
  EXPECT_EQ(t.left, 0);
  EXPECT_EQ(t.updates, 2);
  HorzScrollTimerProc(t);  // at the left edge: stops itself
  EXPECT_EQ(t.AutoScrollState().HorzTimer, -1);
  EXPECT_EQ(t.timers, (std::vector<std::string>{"start 3/60", "stop 3"}));
  t.left = 290;
  StartHorzAutoScroll(t, false);
  HorzScrollTimerProc(t);
  EXPECT_EQ(t.left, 300);  // no more than the hidden width
  HorzScrollTimerProc(t);
  EXPECT_EQ(t.AutoScrollState().HorzTimer, -1);
  EXPECT_EQ(t.updates, 3);
}

TEST(GridAutoScroll, SelectingMovesOneRowPerTickWhileTheNodeIsHeld) {
  FakeTarget t;
  t.state = tsNodeDown;
  StartSelectAutoScroll(t, true);
  VertSelectScrollTimerProc(t);
  VertSelectScrollTimerProc(t);
  EXPECT_EQ(t.top, 3);
  t.state = tsNone;
  EXPECT_TRUE(AutoScrollTimerTick(t, kSelectingTimerId));
  EXPECT_EQ(t.top, 3);
  EXPECT_EQ(t.AutoScrollState().SelectTimer, -1);
  EXPECT_EQ(t.timers, (std::vector<std::string>{"start 1/60", "stop 1"}));
}

}  // namespace
