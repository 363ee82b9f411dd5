// Bitmaps and icons. A Bitmap's pixels live in memory that is readable and
// writable (rows top-down, each row padded to 4 bytes; 24-bit: B, G, R;
// 32-bit: B, G, R, unused; monochrome: 1 bit a pixel, most significant bit
// first, 0 black and 1 white). The graphics backend provides that memory
// and a canvas that draws on it: natively a recording canvas, in the
// product a device-independent section of the window system whose bits are
// these pixels.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "gui/canvas.h"
#include "gui/color.h"
#include "gui/geometry.h"

namespace gui {

enum class PixelFormat { Mono, Bits24, Bits32 };

int BitsPerPixel(PixelFormat f);
// Bytes per row: rows padded to a multiple of 4 bytes.
int RowStride(int width, PixelFormat f);

// One pixel of rows laid out as above (x, y inside the bitmap), as RGB.
Color ReadPixel(const uint8_t* bits, int width, PixelFormat f, int x, int y);
void WritePixel(uint8_t* bits, int width, PixelFormat f, int x, int y, Color rgb);

// The backend's memory and canvas of one bitmap.
class BitmapStorage {
 public:
  virtual ~BitmapStorage() = default;
  // The pixels, up to date with everything drawn on the canvas.
  virtual uint8_t* Bits() = 0;
  virtual Canvas& GetCanvas() = 0;
  // The backend's handle of the bitmap (0 natively).
  virtual uintptr_t Handle() const { return 0; }
};

class Bitmap {
 public:
  Bitmap();
  Bitmap(int width, int height, PixelFormat f = PixelFormat::Bits24);
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;
  ~Bitmap();

  int Width() const { return width_; }
  int Height() const { return height_; }
  PixelFormat Format() const { return format_; }
  bool Empty() const { return width_ <= 0 || height_ <= 0; }
  // Resizing keeps the pixels of the common part; new pixels are 0
  // (black); a size of 0 frees the pixels.
  void SetSize(int width, int height);
  void SetWidth(int w) { SetSize(w, height_); }
  void SetHeight(int h) { SetSize(width_, h); }
  // Converts the pixels to another format (monochrome: white where the
  // colour is not black).
  void SetFormat(PixelFormat f);

  // Pixels as RGB; reading outside the bitmap gives clBlack and writing
  // there does nothing. Monochrome: black or white (writing: white unless
  // the colour is black).
  Color Pixel(int x, int y) const;
  void SetPixel(int x, int y, Color c);
  void Fill(Color c);
  const uint8_t* Row(int y) const;
  uint8_t* Row(int y);
  int Stride() const { return RowStride(width_, format_); }

  // Draws on the bitmap. Its size is the bitmap's.
  Canvas& GetCanvas();
  uintptr_t Handle() const;

  // Transparency: when Transparent, Draw leaves out the transparent colour
  // (the bottom-left pixel in TransparentMode Auto, else TransparentColor).
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool t) { transparent_ = t; Changed(); }
  enum class TransparentMode { Auto, Fixed };
  TransparentMode GetTransparentMode() const { return transparentMode_; }
  void SetTransparentMode(TransparentMode m) { transparentMode_ = m; Changed(); }
  // The colour left out: the bottom-left pixel in Auto mode (clDefault when
  // the bitmap is empty), the set colour in Fixed mode.
  Color TransparentColor() const;
  void SetTransparentColor(Color c);  // sets Fixed mode

  // Copies size, format, pixels and transparency.
  void Assign(const Bitmap& other);
  // A monochrome mask: 1 where the pixel equals key, 0 elsewhere.
  void MakeMask(const Bitmap& source, Color key);

  // Loads a .bmp file's bytes (uncompressed 1, 4, 8, 24 or 32 bits a pixel,
  // bottom-up or top-down; 1-bit stays monochrome when its palette is black
  // and white, everything else becomes 24-bit). Every header field is
  // checked: on bad input it returns false with a reason in *error and the
  // bitmap unchanged.
  bool LoadFromBytes(std::string_view bytes, std::string* error = nullptr);
  bool LoadFromFile(const std::string& path, std::string* error = nullptr);
  // A bitmap resource of the program by name (see GraphicsBackend).
  bool LoadFromResourceName(const std::string& name);
  // The bitmap as a .bmp file (24-bit or monochrome, bottom-up).
  std::string SaveToBytes() const;

  // Called after the size, format, pixels (through SetPixel/Fill/Assign/
  // Load) or transparency change.
  std::function<void(Bitmap&)> OnChange;

 private:
  void Changed();
  void Realloc(int w, int h, PixelFormat f, bool keep);
  int width_ = 0;
  int height_ = 0;
  PixelFormat format_ = PixelFormat::Bits24;
  bool transparent_ = false;
  TransparentMode transparentMode_ = TransparentMode::Auto;
  Color transparentColor_ = clDefault;
  std::unique_ptr<BitmapStorage> storage_;
};

// An icon: a handle of the backend's icon (0: empty) with its size; the
// holder destroys the handle when it owns it.
class Icon {
 public:
  Icon() = default;
  Icon(const Icon&) = delete;
  Icon& operator=(const Icon&) = delete;
  ~Icon();
  bool Empty() const { return handle_ == 0; }
  uintptr_t Handle() const { return handle_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Takes a handle; owned handles are destroyed through the backend.
  void SetHandle(uintptr_t h, int width, int height, bool owned);
  void Clear();
  // Loads an .ico file / an icon resource through the backend.
  bool LoadFromFile(const std::string& path);
  bool LoadFromResourceName(const std::string& name);
  std::function<void(Icon&)> OnChange;

 private:
  uintptr_t handle_ = 0;
  int width_ = 0;
  int height_ = 0;
  bool owned_ = false;
};

}  // namespace gui
