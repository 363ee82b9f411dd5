// Conversions between the layer's graphics objects and the window
// system's: bitmaps as fresh device-independent sections or monochrome
// device bitmaps, regions both ways, and the graphics backend whose bitmaps
// are device-independent sections drawn on through memory contexts.
#pragma once
#include <windows.h>

#include "gui/win_names.h"

#include <string>

#include "gui/bitmap.h"
#include "gui/graphics_backend.h"
#include "gui/region.h"

namespace gui {

// A new device-independent section holding a copy of b's pixels, selected
// nowhere (the caller deletes it). 24-bit unless b is 32-bit or
// monochrome.
HBITMAP CreateDibFromBitmap(const Bitmap& b);
// A new monochrome device bitmap of b's pixels (any format: white where
// the pixel is not black). Drawn, its 0 bits take the text colour and its
// 1 bits the background colour.
HBITMAP CreateMonoDDB(const Bitmap& b);
// A region handle of r (the caller deletes it) and back.
HRGN CreateRegionHandle(const Region& r);
Region RegionFromHandle(HRGN h);

// The product's graphics: bitmaps in device-independent sections with a
// canvas on a memory context, resources of the executable, icons and the
// common controls' image lists.
class GdiGraphicsBackend : public GraphicsBackend {
 public:
  std::unique_ptr<BitmapStorage> CreateBitmapStorage(int width, int height,
                                                     PixelFormat f) override;
  bool LoadBitmapResource(const std::string& name, Bitmap& out) override;
  bool LoadIconFile(const std::string& path, Icon& out) override;
  bool LoadIconResource(const std::string& name, Icon& out) override;
  void DestroyIcon(uintptr_t handle) override;
  std::unique_ptr<NativeImageList> RealizeImageList(const ImageList& list) override;
  bool DecodePicture(const std::string& bytes, Bitmap& out) override;
};

// The bits of a bitmap resource of the executable as a .bmp file ("" when
// there is no such resource).
std::string BitmapResourceBytes(const std::string& name);

}  // namespace gui
