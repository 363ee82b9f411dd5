// The drawing tools of a canvas: font, pen and brush. Each is a plain
// description (the backend realises it when drawing) with a change
// notification and a revision number that grows with every change.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "gui/color.h"

namespace gui {

class Bitmap;

// Base of the drawing tools: change notification and revision.
class GraphicsObject {
 public:
  GraphicsObject() = default;
  GraphicsObject(const GraphicsObject&) = delete;
  GraphicsObject& operator=(const GraphicsObject&) = delete;
  virtual ~GraphicsObject() = default;

  // Called after every change, with this object.
  std::function<void(GraphicsObject&)> OnChange;
  uint64_t Revision() const { return revision_; }

 protected:
  void Changed();

 private:
  uint64_t revision_ = 0;
};

enum FontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using FontStyles = unsigned;

// A font by description. Height in pixels (negative: the character
// height without internal leading, as the window system takes it); Size in
// points at 96 pixels per inch (Size = -Height * 72 / 96).
class Font : public GraphicsObject {
 public:
  Font() = default;
  const std::string& Name() const { return name_; }
  int Height() const { return height_; }
  int Size() const;
  FontStyles Style() const { return style_; }
  gui::Color Color() const { return color_; }
  int Charset() const { return charset_; }

  void SetName(const std::string& n);
  void SetHeight(int h);
  void SetSize(int points);
  void SetStyle(FontStyles s);
  void SetColor(gui::Color c);
  void SetCharset(int c);
  // Copies every attribute (one change notification when anything differs).
  void Assign(const Font& other);
  bool SameAs(const Font& other) const;
  // "Name/height/style/#color" for logs, e.g. "MS Sans Serif/-11/B/#000000".
  std::string Describe() const;

 private:
  std::string name_ = "MS Sans Serif";
  int height_ = -11;
  FontStyles style_ = 0;
  gui::Color color_ = clWindowText;
  int charset_ = 1;  // the default character set
};

enum class PenStyle { Solid, Dash, Dot, DashDot, DashDotDot, Clear, InsideFrame };

class Pen : public GraphicsObject {
 public:
  gui::Color Color() const { return color_; }
  int Width() const { return width_; }
  PenStyle Style() const { return style_; }
  // Raster mode of lines: one of R2_* (R2_COPYPEN by default).
  int Mode() const { return mode_; }
  void SetColor(gui::Color c);
  void SetWidth(int w);
  void SetStyle(PenStyle s);
  void SetMode(int r2);
  void Assign(const Pen& other);
  std::string Describe() const;

 private:
  gui::Color color_ = clBlack;
  int width_ = 1;
  PenStyle style_ = PenStyle::Solid;
  int mode_ = 13;  // R2_COPYPEN
};

// Halftone: the 8x8 checkerboard (a pixel is set where x and y are both
// even or both odd), drawn like a monochrome pattern: set pixels in the
// text colour, the others in the background colour, aligned to the
// surface's origin. Pattern: the Bitmap (not owned) repeated the same way.
enum class BrushStyle { Solid, Clear, Horizontal, Vertical, FDiagonal, BDiagonal, Cross, DiagCross,
                        Halftone, Pattern };

class Brush : public GraphicsObject {
 public:
  gui::Color Color() const { return color_; }
  BrushStyle Style() const { return style_; }
  const gui::Bitmap* Bitmap() const { return bitmap_; }
  void SetColor(gui::Color c);  // a Clear brush becomes Solid
  void SetStyle(BrushStyle s);
  // Pattern brush of a bitmap that must outlive its use; nullptr: Solid.
  void SetBitmap(const gui::Bitmap* b);
  void Assign(const Brush& other);
  std::string Describe() const;

 private:
  gui::Color color_ = clWhite;
  BrushStyle style_ = BrushStyle::Solid;
  const gui::Bitmap* bitmap_ = nullptr;
};

}  // namespace gui
