// The tree-list grid with 100,000 nodes: adding them (inside one update
// bracket and one by one), the relayout, walking the rows, the memory a
// node takes; sorting 100,000 keys through the grid's comparison, and a
// click on a column header that sorts the rows, each beside std::sort of
// the same keys, measured in the same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "gui/fake_peer.h"
#include "treelist/grid_sort.h"
#include "treelist/grid_tree_list.h"

namespace {
std::atomic<long long> g_allocated{0};
}  // namespace

// Counts the bytes handed out, for the memory per node.
void* operator new(std::size_t n) {
  g_allocated += static_cast<long long>(n);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

constexpr int kNodes = 100000;

std::string Text(int i) { return "file " + std::to_string((i * 7919) % kNodes) + ".mp3"; }

void Fill(TGridTreeList& g, bool bracket) {
  if (bracket) g.BeginUpdate();
  for (int i = 0; i < kNodes; ++i) g.Add()->SetStrings(0, Text(i));
  if (bracket) g.EndUpdate();
}

// Runs pass once an iteration and reports nanoseconds a node.
void PerNode(benchmark::State& state, const std::function<void()>& pass) {
  double total = 0;
  for (auto _ : state) total += Seconds(pass);
  state.counters["ns_per_node"] = total * 1e9 / (double(state.iterations()) * kNodes);
}

void AddAll(benchmark::State& state, bool bracket) {
  PerNode(state, [bracket] {
    TGridTreeList g;
    g.CreateColumn();
    Fill(g, bracket);
    benchmark::DoNotOptimize(g.RowCount());
  });
}

void BM_AddInOneBracket(benchmark::State& state) { AddAll(state, true); }
BENCHMARK(BM_AddInOneBracket)->Unit(benchmark::kMillisecond);

// Without a bracket every node updates the rows as it comes (a list being
// filled joins the row cache at its end).
void BM_AddOneByOne(benchmark::State& state) { AddAll(state, false); }
BENCHMARK(BM_AddOneByOne)->Unit(benchmark::kMillisecond);

void BM_Relayout(benchmark::State& state) {
  TGridTreeList g;
  g.CreateColumn();
  Fill(g, true);
  PerNode(state, [&] { g.LayoutChanged(); });
}
BENCHMARK(BM_Relayout)->Unit(benchmark::kMillisecond);

void BM_WalkVisibleRows(benchmark::State& state) {
  TGridTreeList g;
  g.CreateColumn();
  Fill(g, true);
  PerNode(state, [&] {
    int n = 0;
    for (TGridTreeListNode* node = g.GetFirstNode(); node; node = node->GetNextVisible()) ++n;
    benchmark::DoNotOptimize(n);
  });
}
BENCHMARK(BM_WalkVisibleRows)->Unit(benchmark::kMillisecond);

// A folder tree: 1,000 folders of 99 files, all expanded; every node's
// row index asked once (the index of a node is not a search).
void BM_TreeRowIndexes(benchmark::State& state) {
  TGridTreeList g;
  g.CreateColumn();
  g.BeginUpdate();
  for (int f = 0; f < kNodes / 100; ++f) {
    TGridTreeListNode* folder = g.Add();
    for (int i = 0; i < 99; ++i) folder->AddChild()->SetStrings(0, Text(i));
    folder->SetExpanded(true);
  }
  g.EndUpdate();
  PerNode(state, [&] {
    long long sum = 0;
    for (TGridTreeListNode* n = g.GetFirstNode(); n; n = n->GetNext()) sum += n->RowIndex() + n->Index();
    benchmark::DoNotOptimize(sum);
  });
}
BENCHMARK(BM_TreeRowIndexes)->Unit(benchmark::kMillisecond);

void BM_MemoryPerNode(benchmark::State& state) {
  double perNode = 0;
  for (auto _ : state) {
    TGridTreeList g;
    g.CreateColumn();
    const long long before = g_allocated.load();
    Fill(g, true);
    perNode = double(g_allocated.load() - before) / kNodes;
  }
  state.counters["bytes_per_node"] = perNode;  // one text of 12-15 characters each
}
BENCHMARK(BM_MemoryPerNode)->Unit(benchmark::kMillisecond)->Iterations(1);

// 100,000 text keys sorted as the grid sorts them (CompareKeys' order,
// stable), beside std::sort of the same texts.
void BM_SortKeys(benchmark::State& state) {
  TGridTreeList g;
  g.CreateColumn();
  Fill(g, true);
  std::vector<TGridSortKey> keys(kNodes);
  std::vector<std::string> texts(kNodes);
  for (int i = 0; i < kNodes; ++i) {
    keys[size_t(i)].Node = g.Items(i);
    keys[size_t(i)].Value = TGridValue::FromText(Text(i));
    texts[size_t(i)] = Text(i);
  }
  auto gridSort = [&] {
    std::vector<const TGridSortKey*> order(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) order[i] = &keys[i];
    SortKeyChains(order, false);
    benchmark::DoNotOptimize(order.data());
  };
  auto plainSort = [&] {
    std::vector<std::string> copy = texts;
    std::sort(copy.begin(), copy.end());
    benchmark::DoNotOptimize(copy.data());
  };
  const Beside t = TimeBeside(state, gridSort, plainSort);
  state.counters["grid_ms"] = t.ours * 1e3;
  state.counters["std_sort_ms"] = t.baseline * 1e3;
  state.counters["ratio_to_std_sort"] = t.ours / t.baseline;
}
BENCHMARK(BM_SortKeys)->Unit(benchmark::kMillisecond)->Iterations(5);

// A click on the column's header of a grid of 100,000 rows (a window on the
// fake desktop): the press and release, the sort (up, then down on the
// next click) and the relayout, beside std::sort of the same texts.
void BM_ColumnClickSort(benchmark::State& state) {
  gui::FakeDesktop desk;
  TGridTreeList g;
  g.SetBounds(0, 0, 400, 300);
  g.CreateColumn()->SetCaption("Name");
  Fill(g, true);
  g.HandleNeeded();
  std::vector<std::string> texts(kNodes);
  for (int i = 0; i < kNodes; ++i) texts[size_t(i)] = Text(i);
  const int headerY = g.HeaderPanelHeight() / 2;
  bool descending = false;
  auto click = [&] {
    desk.Click(g, 20, headerY);
    benchmark::DoNotOptimize(g.GetFirstNode());
  };
  auto plainSort = [&] {
    std::vector<std::string> copy = texts;
    if (descending)
      std::sort(copy.begin(), copy.end(), std::greater<>());
    else
      std::sort(copy.begin(), copy.end());
    benchmark::DoNotOptimize(copy.data());
  };
  const Beside t = TimeBeside(state, click, plainSort, [&] { descending = !descending; });
  // The last click sorted down when there was an even number of them.
  const bool down = state.iterations() % 2 == 0;
  if ((g.GetFirstNode()->Strings(0) > g.Items(1)->Strings(0)) != down) state.SkipWithError("not sorted");
  state.counters["click_ms"] = t.ours * 1e3;
  state.counters["std_sort_ms"] = t.baseline * 1e3;
  state.counters["ratio_to_std_sort"] = t.ours / t.baseline;
}
BENCHMARK(BM_ColumnClickSort)->Unit(benchmark::kMillisecond)->Iterations(6);

}  // namespace

BENCHMARK_MAIN();
