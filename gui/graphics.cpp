#include "gui/graphics.h"

#include "gui/bitmap.h"
#include "gui/geometry.h"

namespace gui {

void GraphicsObject::Changed() {
  ++revision_;
  if (OnChange) OnChange(*this);
}

// Sets a field and notifies when the value differs.
#define TARN_SET(field, v) \
  do {                     \
    if (field == (v)) return; \
    field = (v);           \
    Changed();             \
  } while (0)

int Font::Size() const { return height_ < 0 ? MulDiv(-height_, 72, 96) : height_ * 72 / 96; }
void Font::SetName(const std::string& n) { TARN_SET(name_, n); }
void Font::SetHeight(int h) { TARN_SET(height_, h); }
void Font::SetSize(int points) { SetHeight(-MulDiv(points, 96, 72)); }
void Font::SetStyle(FontStyles s) { TARN_SET(style_, s); }
void Font::SetColor(gui::Color c) { TARN_SET(color_, c); }
void Font::SetCharset(int c) { TARN_SET(charset_, c); }

bool Font::SameAs(const Font& o) const {
  return name_ == o.name_ && height_ == o.height_ && style_ == o.style_ && color_ == o.color_ &&
         charset_ == o.charset_;
}

void Font::Assign(const Font& o) {
  if (SameAs(o)) return;
  name_ = o.name_;
  height_ = o.height_;
  style_ = o.style_;
  color_ = o.color_;
  charset_ = o.charset_;
  Changed();
}

std::string Font::Describe() const {
  std::string s = name_ + "/" + std::to_string(height_);
  if (style_) {
    s += "/";
    if (style_ & fsBold) s += "B";
    if (style_ & fsItalic) s += "I";
    if (style_ & fsUnderline) s += "U";
    if (style_ & fsStrikeOut) s += "S";
  }
  return s;
}

void Pen::SetColor(gui::Color c) { TARN_SET(color_, c); }
void Pen::SetWidth(int w) { TARN_SET(width_, w < 0 ? 0 : w); }
void Pen::SetStyle(PenStyle s) { TARN_SET(style_, s); }
void Pen::SetMode(int m) { TARN_SET(mode_, m); }

void Pen::Assign(const Pen& o) {
  if (color_ == o.color_ && width_ == o.width_ && style_ == o.style_ && mode_ == o.mode_) return;
  color_ = o.color_;
  width_ = o.width_;
  style_ = o.style_;
  mode_ = o.mode_;
  Changed();
}

std::string Pen::Describe() const {
  if (style_ == PenStyle::Clear) return "clear";
  static const char* const kStyles[] = {"", "dash", "dot", "dashdot", "dashdotdot", "", "inside"};
  static const char* const kModes[] = {"",      "black",   "notmerge", "masknot", "notcopy",
                                       "maskpennot", "not", "xor",      "notmask", "mask",
                                       "notxor", "nop",     "mergenot", "copy",    "mergepennot",
                                       "merge", "white"};
  std::string s = ColorText(color_);
  if (width_ != 1) s += ",w" + std::to_string(width_);
  if (kStyles[int(style_)][0]) s += std::string(",") + kStyles[int(style_)];
  if (mode_ != 13) s += std::string(",") + (mode_ >= 1 && mode_ <= 16 ? kModes[mode_] : "?");
  return s;
}

void Brush::SetColor(gui::Color c) {
  if (color_ == c && style_ != BrushStyle::Clear) return;
  color_ = c;
  if (style_ == BrushStyle::Clear) style_ = BrushStyle::Solid;
  Changed();
}

void Brush::SetStyle(BrushStyle s) {
  if (s == BrushStyle::Pattern && !bitmap_) s = BrushStyle::Solid;
  TARN_SET(style_, s);
}

void Brush::SetBitmap(const gui::Bitmap* b) {
  if (bitmap_ == b) return;
  bitmap_ = b;
  style_ = b ? BrushStyle::Pattern : BrushStyle::Solid;
  Changed();
}

void Brush::Assign(const Brush& o) {
  if (color_ == o.color_ && style_ == o.style_ && bitmap_ == o.bitmap_) return;
  color_ = o.color_;
  style_ = o.style_;
  bitmap_ = o.bitmap_;
  Changed();
}

std::string Brush::Describe() const {
  static const char* const kHatch[] = {"", "", "horizontal", "vertical", "fdiagonal",
                                       "bdiagonal", "cross", "diagcross"};
  switch (style_) {
    case BrushStyle::Solid: return ColorText(color_);
    case BrushStyle::Clear: return "clear";
    case BrushStyle::Halftone: return "halftone";
    case BrushStyle::Pattern:
      return "pattern " + std::to_string(bitmap_->Width()) + "x" + std::to_string(bitmap_->Height());
    default: return std::string(kHatch[int(style_)]) + " " + ColorText(color_);
  }
}

#undef TARN_SET

}  // namespace gui
