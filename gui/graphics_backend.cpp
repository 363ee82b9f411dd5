#include "gui/graphics_backend.h"

#include <vector>

#include "gui/recording_canvas.h"
#include "platform/text.h"

namespace gui {

namespace {

class MemoryStorage : public BitmapStorage {
 public:
  MemoryStorage(int w, int h, PixelFormat f)
      : bits_(size_t(RowStride(w, f)) * size_t(h), 0),
        canvas_({w, h}, "bitmap " + std::to_string(w) + "x" + std::to_string(h)) {
    canvas_.SetPixelAccess(
        [this, w, h, f](int x, int y) {
          return x >= 0 && y >= 0 && x < w && y < h ? ReadPixel(bits_.data(), w, f, x, y) : clBlack;
        },
        [this, w, h, f](int x, int y, Color c) {
          if (x >= 0 && y >= 0 && x < w && y < h) WritePixel(bits_.data(), w, f, x, y, c);
        });
  }
  uint8_t* Bits() override { return bits_.data(); }
  Canvas& GetCanvas() override { return canvas_; }

 private:
  std::vector<uint8_t> bits_;
  RecordingCanvas canvas_;
};

}  // namespace

std::unique_ptr<BitmapStorage> MemoryGraphicsBackend::CreateBitmapStorage(int width, int height,
                                                                          PixelFormat f) {
  return std::make_unique<MemoryStorage>(width, height, f);
}

bool MemoryGraphicsBackend::LoadBitmapResource(const std::string& name, Bitmap& out) {
  auto it = resources_.find(plat::UpperCase(name));
  return it != resources_.end() && out.LoadFromBytes(it->second);
}

bool MemoryGraphicsBackend::DecodePicture(const std::string& bytes, Bitmap& out) {
  return out.LoadFromBytes(bytes);
}

bool MemoryGraphicsBackend::LoadIconFile(const std::string&, Icon&) { return false; }
bool MemoryGraphicsBackend::LoadIconResource(const std::string&, Icon&) { return false; }

void MemoryGraphicsBackend::RegisterResource(const std::string& name, std::string bmpBytes) {
  resources_[plat::UpperCase(name)] = std::move(bmpBytes);
}

}  // namespace gui
