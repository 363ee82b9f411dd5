#include "gui/control_bar.h"

namespace gui {

ControlBar::ControlBar(Component* owner) : Control(owner) {
  SetControlStyle(ControlStyle() | csAcceptsControls | csOpaque);
  SetBounds(0, 0, 100, 50);
}

Rect ControlBar::BandRect(const Control& child) {
  const Rect b = child.BoundsRect();
  return {b.Left - kGrabberWidth - 2, b.Top - 2, b.Right + 2, b.Bottom + 2};
}

void ControlBar::Paint(Canvas& canvas, const Rect&) {
  canvas.Brush().SetColor(Color());
  canvas.FillRect(ClientRect());
  for (int i = 0; i < ControlCount(); ++i) {
    Control* child = Controls(i);
    if (!child->Visible()) continue;
    Rect area = BandRect(*child);
    unsigned options = bpoGrabber | bpoFrame;
    if (OnBandPaint) {
      CanvasSaver keep(canvas);
      OnBandPaint(this, child, canvas, area, options);
    }
    if (options & bpoFrame) {
      Rect edge = area;
      canvas.DrawEdge(edge, BDR_RAISEDINNER, BF_RECT);
    }
    if (options & bpoGrabber) {
      // Two raised ridges down the grab handle.
      for (int x : {area.Left + 3, area.Left + 6}) {
        Rect ridge{x, area.Top + 3, x + 3, area.Bottom - 3};
        canvas.DrawEdge(ridge, BDR_RAISEDINNER, BF_RECT);
      }
    }
  }
}

}  // namespace gui
