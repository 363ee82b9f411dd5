#include "controls/graph.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/fake_peer.h"
#include "gui/graphics_backend.h"

namespace {

using namespace gui;

std::vector<std::string> Lines(const std::string& log, const std::string& prefix) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at < log.size()) {
    const size_t end = log.find('\n', at);
    const std::string line = log.substr(at, end - at);
    if (line.rfind(prefix, 0) == 0) out.push_back(line);
    at = end == std::string::npos ? log.size() : end + 1;
  }
  return out;
}

struct Graph {
  FakeDesktop desk;
  FixedTextMeasurer measurer;
  ScopedService<TextMeasurer> useMeasurer{measurer};
  TGraph graph;
  Graph(int width, int height) {
    graph.SetBounds(0, 0, width, height);
    graph.HandleNeeded();
  }
};

// 193 pixels high, grid 12, scale 100: labels on every second grid line,
// 12 apart, from the bottom (where 0 shows as the suffix alone).
TEST(Graph, LabelsStepAndMargin) {
  Graph t(300, 193);
  t.graph.SetsSuffix(" b/s");
  t.graph.SetbLabelGraph(true);
  const std::string log = t.desk.Paint(t.graph);
  std::vector<std::string> want;
  for (int i = 0; i <= 8; ++i)
    want.push_back("TextOut(1," + std::to_string(193 - 24 * i) + ",\"" + (i ? std::to_string(12 * i) : "") +
                   " b/s\") font=MS Sans Serif/-11 text=clWindowText bk=clBtnFace");
  EXPECT_EQ(Lines(log, "TextOut"), want);
  EXPECT_EQ(t.graph.LabelMargin(), 46);  // "96 b/s" and 10
  EXPECT_EQ(Lines(log, "FillRect"), (std::vector<std::string>{"FillRect(0,0,300,193) brush=#000000",
                                                              "FillRect(0,0,45,193) brush=clBtnFace"}));
}

// 197 wide with a 60-pixel margin: 117 samples; each further one drops
// the oldest and scrolls the plot a pixel left, the grid phase wrapping
// at -grid. Narrower than its labels the graph keeps none.
TEST(Graph, KeepsWhatFitsAndScrolls) {
  Graph t(197, 193);
  t.measurer.SetCharWidth(5);
  t.graph.SetsSuffix(" bytes/s");  // "96 bytes/s": 50 pixels
  t.graph.SetbLabelGraph(true);
  t.desk.Paint(t.graph);
  ASSERT_EQ(t.graph.LabelMargin(), 60);
  for (int v = 0; v < 117; ++v) t.graph.AddValue(v);
  EXPECT_EQ(t.graph.Samples().size(), 117u);
  EXPECT_TRUE(t.desk.PeerOf(t.graph).scrolls.empty());
  t.graph.AddValue(117);
  EXPECT_EQ(t.graph.Samples().size(), 117u);
  EXPECT_EQ(t.graph.Samples().front(), 1);
  EXPECT_EQ(t.desk.PeerOf(t.graph).scrolls, (std::vector<std::string>{"Scroll(-1,0,60,0,197,193)"}));
  EXPECT_EQ(t.graph.GridPhase(), -1);
  for (int v = 0; v < 10; ++v) t.graph.AddValue(v);
  EXPECT_EQ(t.graph.GridPhase(), -11);
  t.graph.AddValue(0);
  EXPECT_EQ(t.graph.GridPhase(), 0);

  t.graph.SetWidth(70);  // 70 - 20 < 60
  t.graph.AddValue(5);
  t.graph.AddValue(6);
  EXPECT_TRUE(t.graph.Samples().empty());
  // A grid size below 1 counts as 1: painting and scrolling end.
  t.graph.SetiGridSize(0);
  t.graph.SetbLabelGraph(false);
  t.desk.Paint(t.graph);
  EXPECT_EQ(t.graph.LabelMargin(), 0);
  for (int v = 0; v < 60; ++v) t.graph.AddValue(v);
  EXPECT_EQ(t.graph.Samples().size(), 50u);
  EXPECT_EQ(t.graph.GridPhase(), 0);
  EXPECT_EQ(Lines(t.desk.Paint(t.graph), "MoveTo(").size(), size_t(70 + (193 - 3) + 1));
}

// Points at Height - 2 - round(v x f), halves to even; a sample above
// iMaximum raises the scale (and sits 18 pixels below the top); a narrow
// clip draws only the vertical grid lines inside it.
TEST(Graph, LinePointsAndClip) {
  Graph t(100, 120);
  t.graph.SetiMaximum(200);
  for (int v : {10, 14, 400}) t.graph.AddValue(v);  // scale 400: f = 0.25
  const std::string log = t.desk.Paint(t.graph);
  EXPECT_EQ(Lines(log, "LineTo(0,116)").size(), 1u);  // 2.5 -> 2
  EXPECT_EQ(Lines(log, "LineTo(1,114)").size(), 1u);  // 3.5 -> 4
  EXPECT_EQ(Lines(log, "LineTo(2,18) pen=#00FF00,w2").size(), 1u);
  const Rect clip{50, 0, 60, 120};
  const std::string part = t.desk.Paint(t.graph, &clip);
  EXPECT_EQ(Lines(part, "MoveTo(60,0)").size(), 1u);
  EXPECT_EQ(Lines(part, "LineTo(60,120) pen=#0000FF").size(), 1u);
  for (const std::string& l : Lines(part, "MoveTo("))
    EXPECT_TRUE(l == "MoveTo(60,0)" || l.rfind("MoveTo(0,", 0) == 0) << l;
}

}  // namespace
