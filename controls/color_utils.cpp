#include "controls/color_utils.h"

#include <algorithm>

#include "gui/number_format.h"

namespace {

template <class F>
gui::Color EachChannel(gui::Color c, F f) {
  const gui::Color rgb = gui::ColorToRGB(c);
  return gui::MakeRGB(f(gui::RedOf(rgb)), f(gui::GreenOf(rgb)), f(gui::BlueOf(rgb)));
}

template <class F>
void EachPixel(gui::Bitmap& b, F f) {
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) b.SetPixel(x, y, f(b.Pixel(x, y)));
}

}  // namespace

gui::Color Lighten(gui::Color c, int percent) {
  const int p = std::clamp(percent, 0, 100);
  return EachChannel(c, [p](int x) { return x + int(gui::Round((255 - x) * p / 100.0)); });
}

gui::Color Darken(gui::Color c, int amount) {
  return EachChannel(c, [amount](int x) { return std::clamp(x - amount, 0, 255); });
}

gui::Color Brighten(gui::Color c, int amount) {
  return EachChannel(c, [amount](int x) { return std::clamp(x + amount, 0, 255); });
}

gui::Color GrayOf(gui::Color c, int level) {
  const gui::Color rgb = gui::ColorToRGB(c);
  const int g = std::min((gui::RedOf(rgb) + gui::GreenOf(rgb) + gui::BlueOf(rgb)) / 3 + level, 240);
  return gui::MakeRGB(g, g, g);
}

void LightenPixels(gui::Bitmap& b, int percent) {
  EachPixel(b, [percent](gui::Color c) { return Lighten(c, percent); });
}

void GrayPixels(gui::Bitmap& b, int level) {
  EachPixel(b, [level](gui::Color c) { return GrayOf(c, level); });
}
