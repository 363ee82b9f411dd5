// What the bar tests share: the fake desktop, fixed text measuring (6 x 13
// pixels a character), the classic colour table, memory bitmaps with the
// program's bitmap resources drawn as small test pictures (ink on silver,
// the bottom-left pixel silver), and the off-screen picture's drawing log.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controls/offscreen_control.h"
#include "gui/fake_peer.h"
#include "gui/graphics_backend.h"
#include "gui/recording_canvas.h"

namespace bartest {

using namespace gui;

// A w x h picture: silver, with a black diagonal from the top-left.
inline std::string Picture(int w, int h) {
  Bitmap b(w, h);
  b.Fill(clSilver);
  for (int i = 0; i < w && i < h - 1; ++i) b.SetPixel(i, i, clBlack);
  return b.SaveToBytes();
}

struct BarFixture {
  FakeDesktop desk;
  FixedTextMeasurer measurer;
  MemoryGraphicsBackend graphics;
  FixedSystemColorTable colors;
  ScopedService<TextMeasurer> useMeasurer{measurer};
  ScopedService<GraphicsBackend> useGraphics{graphics};
  ScopedService<SystemColorTable> useColors{colors};

  BarFixture() {
    graphics.RegisterResource("TOPSCROLL", Picture(9, 6));
    graphics.RegisterResource("BOTTOMSCROLL", Picture(9, 6));
    graphics.RegisterResource("LEFTSCROLL", Picture(6, 10));
    graphics.RegisterResource("RIGHTSCROLL", Picture(6, 10));
    graphics.RegisterResource("CHECKED", Picture(16, 16));
    graphics.RegisterResource("UNCHECKED", Picture(16, 16));
  }

  // Where the cursor is, in c's client coordinates.
  void Cursor(Control& c, int x, int y) { desk.env.SetCursorPos(c.ClientToScreen({x, y})); }
};

// The drawing log of a bar's off-screen picture.
inline RecordingCanvas& OffCanvas(TOffscreenControl& c) {
  return dynamic_cast<RecordingCanvas&>(c.Offscreen().GetCanvas());
}
inline const std::vector<std::string>& OffLog(TOffscreenControl& c) { return OffCanvas(c).Log(); }

// Whether lines holds want as consecutive lines.
inline bool HasRun(const std::vector<std::string>& lines, const std::vector<std::string>& want) {
  for (size_t i = 0; i + want.size() <= lines.size(); ++i) {
    size_t k = 0;
    while (k < want.size() && lines[i + k] == want[k]) ++k;
    if (k == want.size()) return true;
  }
  return false;
}

inline std::string Joined(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) s += l + "\n";
  return s;
}

}  // namespace bartest
