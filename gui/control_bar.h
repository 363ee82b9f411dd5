// Control bars: a container that shows each child control as a band, a
// frame around the child with a grab handle at its left. Each band is
// painted through OnBandPaint when set: the handler may draw the band
// itself and clear the options it has no use for (the grabber, the frame),
// which the bar then leaves out.
#pragma once
#include <functional>

#include "gui/control.h"

namespace gui {

// What the bar draws of a band after OnBandPaint (combinable).
enum BandPaintOption : unsigned { bpoGrabber = 1, bpoFrame = 2, bpoGradient = 4, bpoRoundRect = 8 };

class ControlBar : public Control {
 public:
  static constexpr int kGrabberWidth = 11;
  explicit ControlBar(Component* owner = nullptr);
  ControlKind Kind() const override { return ControlKind::ControlBar; }

  // The band of a child: its bounds with the grabber at the left and two
  // pixels around.
  static Rect BandRect(const Control& child);

  // (bar, band's control, canvas, band rectangle, options).
  std::function<void(ControlBar* sender, Control* band, Canvas& canvas, Rect& area, unsigned& options)>
      OnBandPaint;

 protected:
  void Paint(Canvas& canvas, const Rect& clip) override;
};

}  // namespace gui
