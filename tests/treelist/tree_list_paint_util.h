// Helpers of the tree-list paint tests: a desktop whose off-screen bitmaps
// log into its paint log (header, indicator and footer cells are drawn
// off-screen) with the indicator images named by index, errors that
// escape a paint collected, and small readers of the log.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gui/fake_peer.h"
#include "gui/graphics_backend.h"
#include "gui/recording_canvas.h"
#include "treelist/grid_drawing.h"

namespace painttest {

// Logs "Indicator <index>" for an image of the grid's indicator list.
class SharedCanvas : public gui::RecordingCanvas {
 public:
  using gui::RecordingCanvas::RecordingCanvas;
  void DrawMasked(int x, int y, const gui::Bitmap& image, const gui::Bitmap& mask) override {
    const gui::ImageList* list = GridIndicatorImages();
    for (int i = 0; list && i < list->Count(); ++i)
      if (list->ImageAt(i) == &image) return Note("Indicator " + std::to_string(i));
    gui::RecordingCanvas::DrawMasked(x, y, image, mask);
  }
};

class SharedBackend : public gui::MemoryGraphicsBackend {
 public:
  explicit SharedBackend(std::vector<std::string>& sink) : sink_(sink) {}
  std::unique_ptr<gui::BitmapStorage> CreateBitmapStorage(int w, int h, gui::PixelFormat f) override {
    struct Storage : gui::BitmapStorage {
      Storage(int w, int h, gui::PixelFormat f, std::vector<std::string>& sink)
          : bits(size_t(gui::RowStride(w, f)) * size_t(h)), canvas({w, h}, "bitmap") {
        canvas.SetSink(&sink);
      }
      uint8_t* Bits() override { return bits.data(); }
      gui::Canvas& GetCanvas() override { return canvas; }
      std::vector<uint8_t> bits;
      SharedCanvas canvas;
    };
    return std::make_unique<Storage>(w, h, f, sink_);
  }

 private:
  std::vector<std::string>& sink_;
};

struct PaintDesk {
  gui::FakeDesktop desk;
  SharedBackend backend{desk.CanvasLog()};
  gui::ScopedService<gui::GraphicsBackend> use{backend};
  std::vector<std::string> reported;
  gui::ExceptionReporter previous =
      gui::SetExceptionReporter([this](const std::string& what, gui::Control*) { reported.push_back(what); });
  ~PaintDesk() { gui::SetExceptionReporter(previous); }
};

inline bool Has(const std::string& log, const std::string& part) { return log.find(part) != std::string::npos; }

inline int CountOf(const std::string& log, const std::string& part) {
  int n = 0;
  for (size_t at = log.find(part); at != std::string::npos; at = log.find(part, at + 1)) ++n;
  return n;
}

}  // namespace painttest
