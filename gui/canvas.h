// The drawing surface that every control paints on. Two backends: the
// window system's (a device context of a window, a paint session or a
// bitmap), and the recording canvas (gui/recording_canvas.h) that logs
// every call for native tests.
//
// Coordinates are logical: the viewport origin is added to reach the
// surface. Lines follow the window system's rules: a 1-pixel line leaves
// out its end pixel; FillRect leaves out the right and bottom edges.
//
// State: the canvas owns a Pen, a Brush and a Font. Text is drawn in the
// text colour and, when the background mode is OPAQUE, on the background
// colour. Changing the Font sets the text colour to the font's colour;
// changing the Brush sets the background colour to the brush's colour and
// the mode to TRANSPARENT for a Clear brush, OPAQUE otherwise. Explicit
// SetTextColor / SetBkColor / SetBkMode hold until the next such change.
// Monochrome sources and patterns draw their 0 bits in the text colour and
// their 1 bits in the background colour; a colour source copied into a
// monochrome surface gives 1 where it equals the background colour.
#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "gui/color.h"
#include "gui/geometry.h"
#include "gui/graphics.h"
#include "gui/region.h"

namespace gui {

class Bitmap;
class Icon;

class Canvas {
 public:
  Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  virtual ~Canvas();

  // ------------------------------------------------------------ tools
  gui::Pen& Pen() { return pen_; }
  gui::Brush& Brush() { return brush_; }
  gui::Font& Font() { return font_; }
  const gui::Pen& Pen() const { return pen_; }
  const gui::Brush& Brush() const { return brush_; }
  const gui::Font& Font() const { return font_; }

  Color TextColor() const;
  Color BkColor() const;
  int BkMode() const;  // TRANSPARENT or OPAQUE
  void SetTextColor(Color c);
  void SetBkColor(Color c);
  void SetBkMode(int mode);
  // StretchBlt's mode: BLACKONWHITE, WHITEONBLACK, COLORONCOLOR, HALFTONE.
  int StretchMode() const { return stretchMode_; }
  virtual void SetStretchMode(int mode) { stretchMode_ = mode; }
  // Selects a logical palette of these colours (at most 256) into the
  // device and realises it: a device of 256 colours or fewer then shows
  // a picture in its own colours. The device's palette comes back when
  // the canvas goes. Devices without palettes ignore it.
  virtual void SelectPalette(std::span<const Color> colors) {}

  // Added to logical coordinates to reach the surface.
  Point ViewportOrigin() const { return origin_; }
  virtual void SetViewportOrigin(Point p) { origin_ = p; }

  // Saves the tools, colours, modes, origin, clip and pen position; Restore
  // goes back to the state saved by the matching Save (and drops the later
  // saves). A Restore without a Save does nothing.
  virtual int Save();
  virtual void Restore(int saved);

  // ------------------------------------------------------------ clipping
  // Regions in surface coordinates; rectangles in logical ones. With no
  // clip the whole surface (within a paint session: the area being
  // painted) is drawn on.
  virtual void SelectClip(const Region* r) = 0;  // nullptr: no clip
  virtual void IntersectClip(const Rect& r) = 0;
  virtual void ExcludeClip(const Rect& r) = 0;
  // false when there is no clip region; otherwise the region.
  virtual bool GetClip(Region& out) const = 0;
  // The smallest rectangle holding what can be drawn, in logical
  // coordinates.
  virtual Rect ClipBox() const = 0;
  virtual bool RectVisible(const Rect& r) const = 0;

  // ------------------------------------------------------------ lines and shapes
  Point PenPos() const { return penPos_; }
  virtual void MoveTo(int x, int y) { penPos_ = {x, y}; }
  virtual void LineTo(int x, int y) = 0;
  virtual void Polyline(std::span<const Point> points) = 0;
  // Several open polylines: counts[i] points each, one after the other.
  virtual void PolyPolyline(std::span<const Point> points, std::span<const int> counts) = 0;
  // Outlined with the pen, filled with the brush.
  virtual void Polygon(std::span<const Point> points) = 0;
  virtual void Rectangle(const Rect& r) = 0;
  virtual void Ellipse(const Rect& r) = 0;

  // ------------------------------------------------------------ areas
  virtual void FillRect(const Rect& r) = 0;   // with the brush
  virtual void FrameRect(const Rect& r) = 0;  // 1-pixel frame with the brush
  virtual void InvertRect(const Rect& r) = 0;
  // XOR of the dotted focus frame (drawing it twice restores the pixels).
  virtual void DrawFocusRect(const Rect& r) = 0;
  // 3-D edge (BDR_*/EDGE_* edge, BF_* flags); with BF_ADJUST r shrinks by
  // the drawn edge.
  virtual void DrawEdge(Rect& r, unsigned edge, unsigned flags) = 0;
  // Brush and destination combined by a raster operation (PATCOPY,
  // PATINVERT, DSTINVERT, BLACKNESS, WHITENESS...).
  virtual void PatBlt(const Rect& r, uint32_t rop) = 0;

  // ------------------------------------------------------------ copying
  // Copies dest.Width() x dest.Height() pixels from src at srcPos by any
  // ternary raster operation (source, destination and this canvas's brush).
  virtual void BitBlt(const Rect& dest, Canvas& src, Point srcPos, uint32_t rop) = 0;
  virtual void StretchBlt(const Rect& dest, Canvas& src, const Rect& srcRect, uint32_t rop) = 0;
  // Copies src, leaving out the pixels equal to key (transparent draw).
  virtual void TransparentBlt(const Rect& dest, Canvas& src, Point srcPos, Color key) = 0;
  // Draws a bitmap at (x, y); a bitmap marked Transparent leaves out its
  // transparent colour.
  virtual void Draw(int x, int y, const Bitmap& b) = 0;
  virtual void StretchDraw(const Rect& dest, const Bitmap& b) = 0;
  // Draws image where mask (monochrome, same size) is 0; a 1 in the mask
  // keeps the destination.
  virtual void DrawMasked(int x, int y, const Bitmap& image, const Bitmap& mask) = 0;
  // An empty icon draws nothing. w, h of 0: the icon's own size.
  virtual void DrawIcon(int x, int y, const Icon& icon, int w = 0, int h = 0) = 0;

  virtual Color Pixel(int x, int y) const = 0;  // as RGB
  virtual void SetPixel(int x, int y, Color c) = 0;

  // ------------------------------------------------------------ text
  // Draws at (x, y) in the font and text colour; the pen position is not
  // used or moved.
  virtual void TextOut(int x, int y, std::string_view text) = 0;
  // ETO_CLIPPED: clipped to r; ETO_OPAQUE: r filled with the background
  // colour first. r may be nullptr without those options.
  virtual void ExtTextOut(int x, int y, unsigned options, const Rect* r, std::string_view text) = 0;
  // Text at (x, y) clipped to r, on the brush unless the brush is Clear.
  virtual void TextRect(const Rect& r, int x, int y, std::string_view text) = 0;
  // Formatted text (DT_* flags, see LayoutText); returns its height. With
  // DT_CALCRECT nothing is drawn and r becomes the rectangle the text needs.
  virtual int DrawText(std::string_view text, Rect& r, unsigned flags) = 0;
  virtual Size TextExtent(std::string_view text) const = 0;
  // Characters that fit within maxExtent pixels (0 when maxExtent <= 0).
  virtual int TextFitCount(std::string_view text, int maxExtent) const = 0;
  int TextWidth(std::string_view text) const { return TextExtent(text).Width; }
  int TextHeight(std::string_view text) const { return TextExtent(text).Height; }

  // ------------------------------------------------------------ surface
  // The surface's size in pixels (a window: its client area).
  virtual Size SurfaceSize() const = 0;
  // Colour bits per pixel of the device (a true-colour 32 unless it says).
  virtual int BitsPerPixel() const { return 32; }
  // The backend's handle (a device context), 0 for the recording canvas.
  virtual uintptr_t Handle() const { return 0; }
  // A short name for logs ("bitmap 16x16", "window 0x1001"...).
  virtual std::string Describe() const { return "canvas"; }

 protected:
  // What Save keeps of the portable state.
  struct State {
    std::unique_ptr<gui::Pen> pen;
    std::unique_ptr<gui::Brush> brush;
    std::unique_ptr<gui::Font> font;
    Color textColor;
    Color bkColor;
    int bkMode;
    int stretchMode;
    Point origin;
    Point penPos;
  };
  // The backend's part of Save/Restore (the clip): called by Save with the
  // new level, and by Restore with the level restored.
  virtual void SaveBackend(int level) {}
  virtual void RestoreBackend(int level) {}
  void SetPenPos(Point p) { penPos_ = p; }

 private:
  gui::Pen pen_;
  gui::Brush brush_;
  gui::Font font_;
  mutable Color textColor_ = clBlack;
  mutable Color bkColor_ = clWhite;
  mutable int bkMode_ = 2;  // OPAQUE
  mutable uint64_t fontRev_ = 0;
  mutable uint64_t brushRev_ = 0;
  int stretchMode_ = 1;  // BLACKONWHITE
  Point origin_;
  Point penPos_;
  std::vector<State> saved_;
  void SyncFromTools() const;
};

// Saves a canvas's state for a scope.
class CanvasSaver {
 public:
  explicit CanvasSaver(Canvas& c) : canvas_(c), level_(c.Save()) {}
  ~CanvasSaver() { canvas_.Restore(level_); }
  CanvasSaver(const CanvasSaver&) = delete;
  CanvasSaver& operator=(const CanvasSaver&) = delete;

 private:
  Canvas& canvas_;
  int level_;
};

}  // namespace gui
