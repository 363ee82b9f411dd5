#include "controls/graph.h"

#include <algorithm>
#include <vector>

#include "gui/number_format.h"

using namespace gui;

TGraph::TGraph(Component* owner) : Control(owner) {
  // The paint covers the whole client area.
  SetControlStyle(ControlStyle() | csOpaque);
}

void TGraph::AddValue(int value) {
  samples_.push_back(value);
  // Stops at an empty list: a graph narrower than its labels keeps no
  // samples instead of failing on every tick.
  while (!samples_.empty() && int64_t(samples_.size()) + margin_ > int64_t(Width()) - 20) {
    samples_.pop_front();
    if (Peer()) {
      const Rect plot{margin_, 0, Width(), Height()};
      Peer()->Scroll(-1, 0, &plot, &plot);
    }
    if (--phase_ <= -Grid()) phase_ = 0;
  }
  Invalidate();
}

void TGraph::SetpoFont(const gui::Font* f) {
  poFont_ = f;
  if (f) Font().Assign(*f);
  Invalidate();
}

void TGraph::SetsLineColor(gui::Color c) {
  lineColor_ = c;
  Invalidate();
}

void TGraph::SetsGridColor(gui::Color c) {
  gridColor_ = c;
  Invalidate();
}

void TGraph::SetsBackColor(gui::Color c) {
  backColor_ = c;
  Invalidate();
}

void TGraph::SetiGridSize(int v) {
  gridSize_ = v;
  Invalidate();
}

void TGraph::SetiMaximum(int v) {
  maximum_ = v;
  Invalidate();
}

void TGraph::SetsSuffix(const std::string& s) {
  suffix_ = s;
  Invalidate();
}

void TGraph::SetbLabelGraph(bool b) {
  labelGraph_ = b;
  Invalidate();
}

void TGraph::Paint(Canvas& c, const Rect& clip) {
  const int w = Width(), h = Height(), g = Grid();
  int64_t top = maximum_;
  for (int s : samples_) top = std::max<int64_t>(top, s);

  c.Brush().SetColor(backColor_);
  c.FillRect(clip);
  c.Pen().SetWidth(1);
  c.Pen().SetColor(gridColor_);
  // The margin is the one of the previous paint: it is measured below.
  for (int x = phase_ + margin_; x < w; x += g)
    if (clip.Left <= x && x <= clip.Right) {
      c.MoveTo(x, 0);
      c.LineTo(x, h);
    }
  for (int y = h - 3; y > 0; y -= g)
    if (clip.Top <= y && y <= clip.Bottom) {
      c.MoveTo(margin_, y);
      c.LineTo(w, y);
    }

  if (labelGraph_)
    PaintLabels(c, top);
  else
    margin_ = 0;

  const double f = top > 0 ? double(h - 20) / double(top) : 1.0;
  c.Pen().SetColor(lineColor_);
  c.Pen().SetWidth(2);
  for (size_t i = 0; i < samples_.size(); ++i) {
    const int y = int(h - 2 - Round(samples_[i] * f));
    if (i == 0) c.MoveTo(margin_, y);
    c.LineTo(margin_ + int(i), y);
  }
}

void TGraph::PaintLabels(Canvas& c, int64_t top) {
  const int h = Height(), g = Grid();
  // Labels stand on every k-th grid line, a step s apart.
  int64_t k = 2, n = 0, s = 1;
  if (top > 0)
    for (; k <= int64_t(h) + 2; ++k) {
      n = h / (k * g);
      if (n > 0) s = top / n;
      if (s != 0) break;
    }
  std::vector<std::string> labels;
  int widest = 0;
  for (int64_t i = 0; i <= n; ++i) {
    labels.push_back(FormatFloat("#,###", double(i * s)) + suffix_);
    widest = std::max(widest, c.TextWidth(labels.back()));
  }
  margin_ = widest + 10;
  c.Brush().SetColor(clBtnFace);
  c.FillRect({0, 0, margin_ - 1, h});
  for (int64_t i = 0; i <= n; ++i) c.TextOut(1, int(h - i * k * g), labels[size_t(i)]);
}
