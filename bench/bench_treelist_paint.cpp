// A full paint of a 40-row tree-list window over 100,000 nodes (1,000
// folders of 99 files, all expanded, scrolled to the middle; three
// columns, grid lines, dotted tree lines, buttons, the indicator, the
// header) on the recording canvas, beside what a plain list would do for
// the same window: each visible cell filled and its text drawn, on the
// same canvas, measured in the same run.
#include <benchmark/benchmark.h>

#include <functional>
#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "gui/fake_peer.h"
#include "gui/recording_canvas.h"
#include "treelist/grid_tree_list.h"

namespace {

class PaintingGrid : public TGridTreeList {
 public:
  using TGridTreeList::Paint;
};

constexpr int kRows = 40;
constexpr int kRowHeight = 19;  // 18 and the grid's separator
constexpr int kWidths[] = {220, 100, 100};

void BM_PaintFortyRowsOfAHundredThousand(benchmark::State& state) {
  gui::FakeDesktop desk;
  PaintingGrid g;
  g.SetBorderStyle(bsNone);
  g.SetShowGrid(true);
  g.SetShowIndicator(true);
  const int width = 12 + kWidths[0] + kWidths[1] + kWidths[2];
  const int height = 18 + kRows * kRowHeight;
  g.SetBounds(0, 0, width, height);
  for (int w : kWidths) g.CreateColumn()->SetWidth(w);
  g.BeginUpdate();
  for (int f = 0; f < 1000; ++f) {
    TGridTreeListNode* folder = g.Add();
    folder->SetStrings(0, "folder " + std::to_string(f));
    for (int i = 0; i < 99; ++i) {
      TGridTreeListNode* n = folder->AddChild();
      n->SetStrings(0, "file " + std::to_string(i) + ".mp3");
      n->SetStrings(1, std::to_string(i * 1234));
      n->SetStrings(2, "audio");
    }
    folder->SetExpanded(true);
  }
  g.EndUpdate();
  g.HandleNeeded();
  g.SetTopIndex(50000);

  std::vector<std::string> log;
  gui::RecordingCanvas canvas({width, height}, "window");
  canvas.SetSink(&log);
  const gui::Rect client(0, 0, width, height);
  size_t gridCalls = 0, plainCalls = 0;
  auto gridPaint = [&] {
    log.clear();
    g.Paint(canvas, client);
    gridCalls = log.size();
  };
  // The plain list: the same visible cells, filled and written.
  auto plainPaint = [&] {
    log.clear();
    TGridTreeListNode* n = g.TopVisibleNode();
    for (int row = 0; row < kRows && n; ++row, n = n->GetNextVisible()) {
      int x = 12;
      for (int col = 0; col < 3; ++col) {
        const gui::Rect cell(x, 18 + row * kRowHeight, x + kWidths[col], 18 + (row + 1) * kRowHeight);
        canvas.Brush().SetColor(gui::clWindow);
        canvas.FillRect(cell);
        canvas.ExtTextOut(cell.Left + 2, cell.Top + 2, gui::ETO_CLIPPED, &cell, n->Strings(col));
        x += kWidths[col];
      }
    }
    plainCalls = log.size();
  };
  const Beside t = TimeBeside(state, gridPaint, plainPaint);
  state.counters["paint_us"] = t.ours * 1e6;
  state.counters["plain_list_us"] = t.baseline * 1e6;
  state.counters["ratio_to_plain_list"] = t.ours / t.baseline;
  state.counters["canvas_calls"] = double(gridCalls);
  state.counters["plain_calls"] = double(plainCalls);
}
BENCHMARK(BM_PaintFortyRowsOfAHundredThousand)->Unit(benchmark::kMillisecond)->Iterations(200);

}  // namespace

BENCHMARK_MAIN();
