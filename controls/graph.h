// A scrolling line graph of integer samples, one pixel column a sample,
// on a grid that moves with the data, with value labels ("#,###" and the
// suffix) at the left. The main window feeds its rate graphs a sample on
// every tick of its statistics timer.
#pragma once
#include <cstdint>
#include <deque>
#include <string>

#include "gui/control.h"

class TGraph : public gui::Control {
 public:
  explicit TGraph(gui::Component* owner = nullptr);

  // Appends a sample; the oldest go while the samples and the label
  // margin do not fit into Width - 20 (the plot scrolls a pixel left for
  // each), and the control is invalidated.
  void AddValue(int value);

  // The label font: its attributes are copied into the control's font;
  // the object stays the caller's.
  const gui::Font* poFont() const { return poFont_; }
  void SetpoFont(const gui::Font* f);
  gui::Color sLineColor() const { return lineColor_; }
  void SetsLineColor(gui::Color c);
  gui::Color sGridColor() const { return gridColor_; }
  void SetsGridColor(gui::Color c);
  gui::Color sBackColor() const { return backColor_; }
  void SetsBackColor(gui::Color c);
  // Grid spacing in pixels; values below 1 count as 1.
  int iGridSize() const { return gridSize_; }
  void SetiGridSize(int v);
  // The smallest top of the scale.
  int iMaximum() const { return maximum_; }
  void SetiMaximum(int v);
  const std::string& sSuffix() const { return suffix_; }
  void SetsSuffix(const std::string& s);
  bool bLabelGraph() const { return labelGraph_; }
  void SetbLabelGraph(bool b);

  // The samples, oldest first; the label margin and grid phase.
  const std::deque<int>& Samples() const { return samples_; }
  int LabelMargin() const { return margin_; }
  int GridPhase() const { return phase_; }

 protected:
  void Paint(gui::Canvas& canvas, const gui::Rect& clip) override;

 private:
  int Grid() const { return gridSize_ < 1 ? 1 : gridSize_; }
  void PaintLabels(gui::Canvas& c, int64_t top);

  const gui::Font* poFont_ = nullptr;
  gui::Color lineColor_ = gui::clLime;
  gui::Color gridColor_ = gui::clBlue;
  gui::Color backColor_ = gui::clBlack;
  int gridSize_ = 12;
  int maximum_ = 100;
  std::string suffix_;
  bool labelGraph_ = false;
  std::deque<int> samples_;
  int margin_ = 0;
  int phase_ = 0;
};
