// The tree-list grid with 100,000 nodes: adding them (inside one update
// bracket and one by one), the relayout, walking the rows, the memory a
// node takes; sorting 100,000 keys through the grid's comparison, the
// first click on a column header of rows in scattered order and the clicks
// that sort it again, each with short texts and with long ones that share
// their beginning, beside std::sort of the same texts in the same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
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

// The texts the sorts take, in scattered order (a fixed shuffle): short
// file names of 12-15 bytes, or paths of 40-50 bytes whose first 24 bytes
// are the same, as the paths in a shared folder are (and the files of one
// folder share some 40).
std::vector<std::string> SortTexts(bool paths) {
  std::vector<std::string> texts(kNodes);
  for (int i = 0; i < kNodes; ++i)
    texts[size_t(i)] =
        paths ? "C:\\My Shared Music\\Rock\\" + std::to_string(i % 997) + " Artist\\track " + std::to_string(i) + ".mp3"
              : Text(i);
  std::shuffle(texts.begin(), texts.end(), std::mt19937(1));
  return texts;
}

void Report(benchmark::State& state, const Beside& t) {
  state.counters["grid_ms"] = t.ours * 1e3;
  state.counters["std_sort_ms"] = t.baseline * 1e3;
  state.counters["ratio_to_std_sort"] = t.ours / t.baseline;
}

// 100,000 text keys in scattered order sorted as the grid sorts them
// (CompareKeys' order, stable), beside std::sort of the same texts.
void BM_SortKeys(benchmark::State& state, bool paths) {
  TGridTreeList g;
  g.CreateColumn();
  Fill(g, true);
  const std::vector<std::string> texts = SortTexts(paths);
  std::vector<TGridSortKey> keys(kNodes);
  for (int i = 0; i < kNodes; ++i) {
    keys[size_t(i)].Node = g.Items(i);
    keys[size_t(i)].Value = TGridValue::FromText(texts[size_t(i)]);
  }
  std::vector<std::string> copy = texts;
  auto gridSort = [&] {
    std::vector<const TGridSortKey*> order(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) order[i] = &keys[i];
    SortKeyChains(order, false);
    benchmark::DoNotOptimize(order.data());
  };
  auto plainSort = [&] {
    std::sort(copy.begin(), copy.end());
    benchmark::DoNotOptimize(copy.data());
  };
  Report(state, TimeBeside(state, gridSort, plainSort, [&] { copy = texts; }));
}
BENCHMARK_CAPTURE(BM_SortKeys, short_texts, false)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(BM_SortKeys, paths, true)->Unit(benchmark::kMillisecond)->Iterations(5);

// A grid of 100,000 rows, one column, in a window on the fake desktop.
struct ClickGrid {
  TGridTreeList g;
  explicit ClickGrid(const std::vector<std::string>& texts) {
    g.SetBounds(0, 0, 400, 300);
    g.CreateColumn()->SetCaption("Name");
    g.BeginUpdate();
    for (const std::string& t : texts) g.Add()->SetStrings(0, t);
    g.EndUpdate();
    g.HandleNeeded();
  }
  void ClickHeader(gui::FakeDesktop& desk) {
    desk.Click(g, 20, g.HeaderPanelHeight() / 2);
    benchmark::DoNotOptimize(g.GetFirstNode());
  }
  bool InOrder(const std::vector<std::string>& sorted) const {
    for (int i = 0; i < g.Count(); ++i)
      if (g.Items(i)->Strings(0) != sorted[size_t(i)]) return false;
    return true;
  }
};

// The first click on the column's header of a grid of 100,000 rows in
// scattered order: the press and release, the sort and the relayout,
// beside std::sort of the same texts in the same order. Each round takes
// a fresh grid.
void BM_FirstClick(benchmark::State& state, bool paths) {
  gui::FakeDesktop desk;
  const std::vector<std::string> texts = SortTexts(paths);
  auto grid = std::make_unique<ClickGrid>(texts);
  std::vector<std::string> copy = texts;
  const Beside t = TimeBeside(
      state, [&] { grid->ClickHeader(desk); },
      [&] {
        std::sort(copy.begin(), copy.end());
        benchmark::DoNotOptimize(copy.data());
      },
      [&] {
        if (!grid->InOrder(copy)) state.SkipWithError("not sorted");
        grid.reset();
        grid = std::make_unique<ClickGrid>(texts);
        copy = texts;
      });
  Report(state, t);
}
BENCHMARK_CAPTURE(BM_FirstClick, short_texts, false)->Unit(benchmark::kMillisecond)->Iterations(6);
BENCHMARK_CAPTURE(BM_FirstClick, paths, true)->Unit(benchmark::kMillisecond)->Iterations(6);

// Clicks on the header of a sorted column (down, then up again), beside
// std::sort of the same texts, in the order the grid shows them, the same
// way.
void BM_ReSortClick(benchmark::State& state, bool paths) {
  gui::FakeDesktop desk;
  const std::vector<std::string> texts = SortTexts(paths);
  ClickGrid grid(texts);
  grid.ClickHeader(desk);
  std::vector<std::string> copy = texts;
  std::sort(copy.begin(), copy.end());
  bool descending = true;
  const Beside t = TimeBeside(
      state, [&] { grid.ClickHeader(desk); },
      [&] {
        if (descending)
          std::sort(copy.begin(), copy.end(), std::greater<>());
        else
          std::sort(copy.begin(), copy.end());
        benchmark::DoNotOptimize(copy.data());
      },
      [&] {
        if (!grid.InOrder(copy)) state.SkipWithError("not sorted");
        descending = !descending;
      });
  Report(state, t);
}
BENCHMARK_CAPTURE(BM_ReSortClick, short_texts, false)->Unit(benchmark::kMillisecond)->Iterations(6);
BENCHMARK_CAPTURE(BM_ReSortClick, paths, true)->Unit(benchmark::kMillisecond)->Iterations(6);

}  // namespace

BENCHMARK_MAIN();
