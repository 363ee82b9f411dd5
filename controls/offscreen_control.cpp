#include "controls/offscreen_control.h"

#include <algorithm>
#include <memory>

#include "gui/environment.h"

using namespace gui;

namespace {

// Brush where the source is 1, destination where it is 0.
constexpr uint32_t kBrushWhereSource = 0x00E20746;

}  // namespace

void MakeInkMask(const Bitmap& source, const Rect& area, Color paper, Bitmap& mask) {
  const Color p = ColorToRGB(paper);
  mask.SetFormat(PixelFormat::Mono);
  mask.SetSize(area.Width(), area.Height());
  uint8_t* bits = mask.Row(0);
  const uint8_t* src = source.Row(0);
  if (!bits) return;
  for (int y = 0; y < mask.Height(); ++y)
    for (int x = 0; x < mask.Width(); ++x) {
      const int sx = area.Left + x, sy = area.Top + y;
      const bool inside = src && sx >= 0 && sy >= 0 && sx < source.Width() && sy < source.Height();
      const Color c = inside ? ReadPixel(src, source.Width(), source.Format(), sx, sy) : p;
      WritePixel(bits, mask.Width(), PixelFormat::Mono, x, y, c == p ? clBlack : clWhite);
    }
}

void Emboss(Canvas& dest, const Rect& area, Bitmap& mask) {
  CanvasSaver keep(dest);
  dest.Brush().SetColor(clBtnFace);
  dest.FillRect(area);
  const int w = std::min(area.Width(), mask.Width()), h = std::min(area.Height(), mask.Height());
  const struct {
    Color color;
    int offset;
  } passes[] = {{clBtnHighlight, 1}, {clBtnShadow, 0}};
  for (const auto& pass : passes) {
    // A brush change resets the background colour: the mask's colours
    // (0 black, 1 white) are set after it.
    dest.Brush().SetColor(pass.color);
    dest.SetTextColor(clBlack);
    dest.SetBkColor(clWhite);
    const Rect to = Rect::FromSize(area.Left + pass.offset, area.Top + pass.offset, w - pass.offset,
                                   h - pass.offset);
    if (!to.IsEmpty()) dest.BitBlt(to, mask.GetCanvas(), {0, 0}, kBrushWhereSource);
  }
}

TOffscreenControl::TOffscreenControl(Component* owner) : Control(owner) {
  // The off-screen bitmap covers everything: no background erase. Every
  // press arrives as a press (no double-click messages), so each click on
  // a scroll button counts.
  SetControlStyle((ControlStyle() | csOpaque) & ~unsigned(csDoubleClicks));
}

void TOffscreenControl::RepaintAll() {
  if (!constructed_ || !HandleAllocated()) return;
  const Rect all = ClientRect();
  Compose(all);
  CopyToScreen(all);
}

void TOffscreenControl::CopyToScreen(const Rect& area) {
  if (!constructed_ || !HandleAllocated() || area.IsEmpty()) return;
  std::unique_ptr<Canvas> screen = WindowCanvas();
  if (screen) screen->BitBlt(area, OffCanvas(), area.TopLeft(), SRCCOPY);
}

void TOffscreenControl::SizeOffscreen() { offscreen_.SetSize(Width(), Height()); }

Point TOffscreenControl::CursorPoint() const { return ScreenToClient(Env().CursorPos()); }

bool TOffscreenControl::PrimaryButtonDown() {
  return Env().AsyncKeyDown(Env().ButtonsSwapped() ? VK_RBUTTON : VK_LBUTTON);
}

void TOffscreenControl::Paint(Canvas& canvas, const Rect& clip) {
  if (!constructed_) return;
  Compose(clip);
  canvas.BitBlt(clip, OffCanvas(), clip.TopLeft(), SRCCOPY);
}

void TOffscreenControl::StartPolling() {
  if (!polling_ && HandleAllocated()) polling_ = SetTimer(kHoverTimer, kHoverInterval);
}

void TOffscreenControl::HandleDestroying() { polling_ = false; }

void TOffscreenControl::WndProc(Message& m) {
  switch (m.Msg) {
    case WM_MOUSEMOVE:
      StartPolling();
      Control::WndProc(m);
      return;
    case WM_LBUTTONDOWN:
      StartPolling();
      Control::WndProc(m);
      LeftButtonDown(LoWord(m.LParam), HiWord(m.LParam));
      return;
    case WM_LBUTTONUP:
      Control::WndProc(m);
      LeftButtonUp(LoWord(m.LParam), HiWord(m.LParam));
      return;
    default:
      Control::WndProc(m);
      return;
  }
}

void TOffscreenControl::Timer(uintptr_t id) {
  if (id != kHoverTimer) return;
  HoverTick();
  // The tick that saw the cursor leave has put the looks right; until the
  // mouse comes back nothing can change them.
  if (polling_ && !PrimaryButtonDown() && (!Showing() || !ClientRect().Contains(CursorPoint()))) {
    KillTimer(kHoverTimer);
    polling_ = false;
  }
}
