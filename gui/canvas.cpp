#include "gui/canvas.h"

#include "gui/win_constants.h"

namespace gui {

Canvas::Canvas() {
  textColor_ = font_.Color();
  bkColor_ = brush_.Color();
  fontRev_ = font_.Revision();
  brushRev_ = brush_.Revision();
}

Canvas::~Canvas() = default;

// A change of the font or brush since the colours were last taken
// overrides the explicit colours (see canvas.h).
void Canvas::SyncFromTools() const {
  if (font_.Revision() != fontRev_) {
    fontRev_ = font_.Revision();
    textColor_ = font_.Color();
  }
  if (brush_.Revision() != brushRev_) {
    brushRev_ = brush_.Revision();
    bkColor_ = brush_.Color();
    bkMode_ = brush_.Style() == BrushStyle::Clear ? TRANSPARENT : OPAQUE;
  }
}

Color Canvas::TextColor() const {
  SyncFromTools();
  return textColor_;
}

Color Canvas::BkColor() const {
  SyncFromTools();
  return bkColor_;
}

int Canvas::BkMode() const {
  SyncFromTools();
  return bkMode_;
}

void Canvas::SetTextColor(Color c) {
  SyncFromTools();
  textColor_ = c;
}

void Canvas::SetBkColor(Color c) {
  SyncFromTools();
  bkColor_ = c;
}

void Canvas::SetBkMode(int mode) {
  SyncFromTools();
  bkMode_ = mode;
}

int Canvas::Save() {
  SyncFromTools();
  State s;
  s.pen = std::make_unique<gui::Pen>();
  s.pen->Assign(pen_);
  s.brush = std::make_unique<gui::Brush>();
  s.brush->Assign(brush_);
  s.font = std::make_unique<gui::Font>();
  s.font->Assign(font_);
  s.textColor = textColor_;
  s.bkColor = bkColor_;
  s.bkMode = bkMode_;
  s.stretchMode = stretchMode_;
  s.origin = origin_;
  s.penPos = penPos_;
  saved_.push_back(std::move(s));
  const int level = int(saved_.size());
  SaveBackend(level);
  return level;
}

void Canvas::Restore(int level) {
  if (level < 1 || level > int(saved_.size())) return;
  State& s = saved_[size_t(level - 1)];
  pen_.Assign(*s.pen);
  brush_.Assign(*s.brush);
  font_.Assign(*s.font);
  // The explicit colours as they were, not those of the tools' changes.
  fontRev_ = font_.Revision();
  brushRev_ = brush_.Revision();
  textColor_ = s.textColor;
  bkColor_ = s.bkColor;
  bkMode_ = s.bkMode;
  stretchMode_ = s.stretchMode;
  origin_ = s.origin;
  penPos_ = s.penPos;
  RestoreBackend(level);
  saved_.resize(size_t(level - 1));
}

}  // namespace gui
