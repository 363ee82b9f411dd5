// The window system's canvas: every Canvas operation on a device context
// (a window's, a paint session's or a bitmap's memory context). The pen,
// brush and font are realised on first use after each change (a pen or
// brush also when its colour now resolves to another RGB); fonts are
// shared by description for the life of the program. Colours are resolved
// through the installed system-colour table when drawn, so the default
// marker never reaches the device (resolving it throws).
//
// Formatted text is laid out by the installed text measurer (as on every
// canvas) and then drawn line by line; an opaque background covers each
// line's measured box, so layout and background do not depend on the
// glyphs of the font.
#pragma once
#include <windows.h>

#include "gui/win_names.h"

#include <functional>
#include <string>
#include <vector>

#include "gui/canvas.h"
#include "gui/text_measurer.h"

namespace gui {

class GdiCanvas : public Canvas {
 public:
  // dc is drawn on and left in the state it had (objects, colours, clip)
  // when the canvas goes; release (when given) then gives it back.
  GdiCanvas(HDC dc, Size size, std::string name, std::function<void(HDC)> release = {});
  ~GdiCanvas() override;

  HDC DC() const { return dc_; }
  void SetSurfaceSize(Size s) { size_ = s; }

  void SetStretchMode(int mode) override;
  void SelectPalette(std::span<const Color> colors) override;
  void SetViewportOrigin(Point p) override;

  void SelectClip(const Region* r) override;
  void IntersectClip(const Rect& r) override;
  void ExcludeClip(const Rect& r) override;
  bool GetClip(Region& out) const override;
  Rect ClipBox() const override;
  bool RectVisible(const Rect& r) const override;

  void MoveTo(int x, int y) override;
  void LineTo(int x, int y) override;
  void Polyline(std::span<const Point> points) override;
  void PolyPolyline(std::span<const Point> points, std::span<const int> counts) override;
  void Polygon(std::span<const Point> points) override;
  void Rectangle(const Rect& r) override;
  void Ellipse(const Rect& r) override;
  void FillRect(const Rect& r) override;
  void FrameRect(const Rect& r) override;
  void InvertRect(const Rect& r) override;
  void DrawFocusRect(const Rect& r) override;
  void DrawEdge(Rect& r, unsigned edge, unsigned flags) override;
  void PatBlt(const Rect& r, uint32_t rop) override;
  void BitBlt(const Rect& dest, Canvas& src, Point srcPos, uint32_t rop) override;
  void StretchBlt(const Rect& dest, Canvas& src, const Rect& srcRect, uint32_t rop) override;
  void TransparentBlt(const Rect& dest, Canvas& src, Point srcPos, Color key) override;
  void Draw(int x, int y, const Bitmap& b) override;
  void StretchDraw(const Rect& dest, const Bitmap& b) override;
  void DrawMasked(int x, int y, const Bitmap& image, const Bitmap& mask) override;
  void DrawIcon(int x, int y, const Icon& icon, int w, int h) override;
  Color Pixel(int x, int y) const override;
  void SetPixel(int x, int y, Color c) override;
  void TextOut(int x, int y, std::string_view text) override;
  void ExtTextOut(int x, int y, unsigned options, const Rect* r, std::string_view text) override;
  void TextRect(const Rect& r, int x, int y, std::string_view text) override;
  int DrawText(std::string_view text, Rect& r, unsigned flags) override;
  Size TextExtent(std::string_view text) const override;
  int TextFitCount(std::string_view text, int maxExtent) const override;
  Size SurfaceSize() const override { return size_; }
  uintptr_t Handle() const override { return reinterpret_cast<uintptr_t>(dc_); }
  int BitsPerPixel() const override;
  std::string Describe() const override { return name_; }

 protected:
  void SaveBackend(int level) override;
  void RestoreBackend(int level) override;

 private:
  enum Need : unsigned { kPen = 1, kBrush = 2, kFont = 4, kColors = 8 };
  // Selects what a drawing call uses, realised afresh where it changed.
  void Prepare(unsigned need) const;
  // Makes the pen or brush afresh, drawing in rgb (resolved by the caller).
  void RealizePen(Color rgb) const;
  void RealizeBrush(Color rgb) const;
  // The device context of a source canvas (nullptr: not drawable here).
  static HDC SourceDC(Canvas& src);
  // Copies w x h pixels of srcDC at (sx, sy) to (x, y), leaving out those
  // where the monochrome mask (at (mx, my)) is 1.
  void MaskedCopy(int x, int y, int w, int h, HDC srcDC, int sx, int sy, HDC maskDC, int mx,
                  int my);

  HDC dc_;
  Size size_;
  std::string name_;
  int savedDC_;
  std::function<void(HDC)> release_;
  mutable HPEN pen_ = nullptr;
  mutable uint64_t penRev_ = ~uint64_t(0);
  mutable Color penRGB_ = 0;
  mutable HBRUSH brush_ = nullptr;
  mutable bool ownBrush_ = false;
  mutable uint64_t brushRev_ = ~uint64_t(0);
  mutable Color brushRGB_ = 0;
  // Clip regions saved by Save (nullptr: none), by level.
  std::vector<HRGN> savedClips_;
  std::vector<HPALETTE> palettes_;  // selected, deleted once the device has its own again
};

// A font realised for the device (shared, never deleted while the program
// runs).
HFONT RealizeFont(const Font& f);
// The 8x8 half-tone pattern brush (monochrome: drawn in the text and
// background colours).
HBRUSH HalftoneBrush();

// Measures with the window system's fonts on a screen-compatible context.
class GdiTextMeasurer : public TextMeasurer {
 public:
  GdiTextMeasurer();
  ~GdiTextMeasurer() override;
  Size TextExtent(const Font& font, std::string_view text) const override;
  int FitCount(const Font& font, std::string_view text, int maxExtent) const override;
  int LineHeight(const Font& font) const override;

 private:
  HDC dc_;
};

}  // namespace gui
