// The graphics backend: makes the memory and canvas of bitmaps, loads
// program resources and icons, realises image lists for the window
// system's own controls. The product installs the window system's backend
// at start-up; natively (and until then) the memory backend serves:
// bitmaps in plain memory with a recording canvas, resources from an
// in-process table.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "gui/bitmap.h"
#include "gui/services.h"
#include "gui/text_measurer.h"

namespace gui {

class ImageList;

// A realised image list of the window system (destroyed with the object).
class NativeImageList {
 public:
  virtual ~NativeImageList() = default;
  virtual uintptr_t Handle() const = 0;
};

class GraphicsBackend {
 public:
  virtual ~GraphicsBackend() = default;
  // Memory for a bitmap: width x height pixels of format f, all 0, with
  // a canvas on them. width and height are at least 1.
  virtual std::unique_ptr<BitmapStorage> CreateBitmapStorage(int width, int height,
                                                             PixelFormat f) = 0;
  // A bitmap resource of the program by name ("LEFTSCROLL"...).
  virtual bool LoadBitmapResource(const std::string& name, Bitmap& out) = 0;
  // Icons: the handle is given to out (owned).
  virtual bool LoadIconFile(const std::string& path, Icon& out) = 0;
  virtual bool LoadIconResource(const std::string& name, Icon& out) = 0;
  virtual void DestroyIcon(uintptr_t handle) = 0;
  // The window system's image list made from list's images (nullptr when
  // the backend has none).
  virtual std::unique_ptr<NativeImageList> RealizeImageList(const ImageList& list) = 0;
  // A still picture from a file's bytes, in any format the backend
  // decodes (JPEG and .bmp in the product); false, with out unchanged,
  // when it cannot.
  virtual bool DecodePicture(const std::string& bytes, Bitmap& out) = 0;
};

// Bitmaps in memory with a recording canvas that measures with the
// installed TextMeasurer; resources from RegisterResource; no icons;
// pictures from .bmp bytes only.
class MemoryGraphicsBackend : public GraphicsBackend {
 public:
  std::unique_ptr<BitmapStorage> CreateBitmapStorage(int width, int height,
                                                     PixelFormat f) override;
  bool LoadBitmapResource(const std::string& name, Bitmap& out) override;
  bool LoadIconFile(const std::string& path, Icon& out) override;
  bool LoadIconResource(const std::string& name, Icon& out) override;
  void DestroyIcon(uintptr_t handle) override {}
  std::unique_ptr<NativeImageList> RealizeImageList(const ImageList& list) override {
    return nullptr;
  }
  bool DecodePicture(const std::string& bytes, Bitmap& out) override;
  // A named bitmap resource as .bmp file bytes (names compared ignoring case).
  void RegisterResource(const std::string& name, std::string bmpBytes);

 private:
  std::map<std::string, std::string> resources_;
};

inline GraphicsBackend& Graphics() { return Service<GraphicsBackend>::Get(); }
inline TextMeasurer& Measurer() { return Service<TextMeasurer>::Get(); }
template <>
GraphicsBackend& DefaultService<GraphicsBackend>();
template <>
TextMeasurer& DefaultService<TextMeasurer>();

}  // namespace gui
