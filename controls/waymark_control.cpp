#include "controls/waymark_control.h"

#include <algorithm>

#include "gui/graphics_backend.h"
#include "gui/number_format.h"

using namespace gui;

namespace {

// Half of v, rounded to the nearest whole number, halves to even.
int Half(int v) { return int(Round(v / 2.0)); }

int FloorDiv(int a, int b) {
  int q = a / b;
  if (a % b != 0 && (a < 0) != (b < 0)) --q;
  return q;
}

// Hit tests of this bar take both edges of a rectangle.
bool Within(Point p, int left, int top, int width, int height) {
  return p.X >= left && p.X <= left + width && p.Y >= top && p.Y <= top + height;
}

}  // namespace

// ---------------------------------------------------------------- TWaymarkButton

TWaymarkButton::TWaymarkButton(TWaymarkControl& owner) : owner_(owner) {}

void TWaymarkButton::SetCaption(const std::string& value) {
  caption_ = value;
  FitText();
  owner_.Changed(*this);
}

void TWaymarkButton::SetChecked(bool value) {
  checked_ = value;
  owner_.Changed(*this);
}

void TWaymarkButton::SetDown(bool value) {
  down_ = value;
  owner_.Changed(*this);
}

void TWaymarkButton::SetImageIndex(int value) {
  imageIndex_ = value;
  owner_.ImageIndexChanged(*this);
}

void TWaymarkButton::Remove() { owner_.RemoveButton(*this); }

void TWaymarkButton::TakeImage(const ImageList* list) {
  if (list && imageIndex_ >= 0) {
    // Out of the list's range the bitmap stays blank: it draws as nothing.
    list->GetBitmap(imageIndex_, image_);
    image_.SetTransparent(true);
    hasImage_ = true;
  } else {
    hasImage_ = false;
  }
  FitText();
}

void TWaymarkButton::FitText() {
  check_ = {2, Half(height_ - kCheckSize)};
  int x = kCheckSize + 6;
  if (hasImage_) {
    imagePos_ = {x, Half(height_ - image_.Height())};
    x += image_.Width() + 2;
  }
  const TextMeasurer& m = Measurer();
  if (!caption_.empty()) textPos_ = {x, Half(height_ - m.TextExtent(font_, caption_).Height)};
  const int room = width_ - (x + 2);
  const int fit = room <= 0 ? 0 : std::max(0, m.FitCount(font_, caption_, room));
  if (caption_.size() <= size_t(fit))
    shown_ = caption_;
  else
    shown_ = (fit >= 3 ? caption_.substr(0, size_t(fit - 3)) : std::string()) + "...";
}

Rect TWaymarkButton::CheckBox() const {
  return Rect::FromSize(left_ + check_.X, top_ + check_.Y, kCheckSize, kCheckSize);
}

// ---------------------------------------------------------------- TWaymarkScrollButton

void TWaymarkScrollButton::SetImage(const Bitmap& picture) {
  if (picture.Empty()) return;
  image_.Assign(picture);
  image_.SetTransparent(true);
  hasImage_ = true;
  height_ = std::max(16, image_.Height());
  const Rect all{0, 0, image_.Width(), image_.Height()};
  Bitmap mask;
  MakeInkMask(image_, all, image_.TransparentColor(), mask);
  embossed_.SetFormat(PixelFormat::Bits24);
  embossed_.SetSize(all.Width(), all.Height());
  Emboss(embossed_.GetCanvas(), all, mask);
}

void TWaymarkScrollButton::Place(int left, int top, int width) {
  left_ = left;
  top_ = top;
  width_ = width;
  if (hasImage_) imagePos_ = {Half(width_ - image_.Width()), Half(height_ - image_.Height())};
}

// ---------------------------------------------------------------- TWaymarkControl

TWaymarkControl::TWaymarkControl(Component* owner) : TOffscreenControl(owner) {
  UpdateMargin();
  SetBounds(Left(), Top(), 100, 25);
  FinishConstruction();
}

TWaymarkControl::~TWaymarkControl() {
  hot_ = nullptr;
  downButton_ = nullptr;
  buttons_.Clear();
}

TWaymarkButton* TWaymarkControl::Add() {
  std::unique_ptr<TWaymarkButton> b(new TWaymarkButton(*this));
  b->left_ = margin_;
  b->width_ = Width() - 2 * margin_;
  b->height_ = buttonHeight_;
  b->font_.Assign(Font());
  b->FitText();
  TWaymarkButton* raw = buttons_.Append(std::move(b));
  Relayout();
  return raw;
}

// ---------------------------------------------------------------- properties

void TWaymarkControl::SetImageList(gui::ImageList* list) {
  if (list == imageList_) return;
  if (imageList_) RemoveFreeNotification(imageList_);
  imageList_ = list;
  if (list) FreeNotification(list);
  // Every button, shown or scrolled away, takes its image anew.
  for (auto& b : buttons_) b->TakeImage(list);
  Invalidate();
}

void TWaymarkControl::Notification(Component* c, Operation op) {
  if (op == Operation::Remove && c && c == static_cast<Component*>(imageList_)) {
    imageList_ = nullptr;
    if (!Destroying()) {
      for (auto& b : buttons_) b->TakeImage(nullptr);
      Invalidate();
    }
  }
  TOffscreenControl::Notification(c, op);
}

void TWaymarkControl::SetScrollStyle(TWaymarkScrollStyle s) {
  scrollStyle_ = s;
  Relayout();
}

void TWaymarkControl::SetButtonHeight(int h) {
  buttonHeight_ = std::max(0, h);
  Relayout();
}

void TWaymarkControl::SetButtonSpacing(int v) {
  buttonSpacing_ = std::max(0, v);
  Relayout();
}

void TWaymarkControl::SetOutsideSpacing(int v) {
  outsideSpacing_ = std::max(0, v);
  UpdateMargin();
  ResizeSteps();
}

void TWaymarkControl::SetInsideSpacing(int v) {
  insideSpacing_ = std::max(0, v);
  UpdateMargin();
  ResizeSteps();
}

void TWaymarkControl::SetBorderStyle(TWaymarkBorderStyle s) {
  borderStyle_ = s;
  UpdateMargin();
  ResizeSteps();
}

void TWaymarkControl::FontChanged() {
  // Every button takes the font, the ones scrolled away too.
  for (auto& b : buttons_) b->font_.Assign(Font());
  Relayout();
}

void TWaymarkControl::UpdateMargin() {
  const int border = borderStyle_ == nbsRaised ? 1 : borderStyle_ == nbsOutline ? 2 : 0;
  margin_ = outsideSpacing_ + insideSpacing_ + border;
}

// ---------------------------------------------------------------- layout

void TWaymarkControl::Resize() {
  ResizeSteps();
  TOffscreenControl::Resize();
}

void TWaymarkControl::HandleCreated() {
  TOffscreenControl::HandleCreated();
  Bitmap picture;
  if (picture.LoadFromResourceName("TOPSCROLL")) top_.SetImage(picture);
  if (picture.LoadFromResourceName("BOTTOMSCROLL")) bottom_.SetImage(picture);
  for (auto [name, bitmap] : {std::pair{"CHECKED", &checked_}, std::pair{"UNCHECKED", &unchecked_}})
    if (bitmap->LoadFromResourceName(name)) bitmap->SetTransparent(true);
  ResizeSteps();
}

void TWaymarkControl::ResizeSteps() {
  SizeOffscreen();
  const int inner = Width() - 2 * margin_;
  top_.Place(margin_, margin_, inner);
  bottom_.Place(margin_, Height() - (bottom_.height_ + margin_), inner);
  Relayout();
}

void TWaymarkControl::Layout() {
  last_ = -1;
  const int n = Count();
  const int pitch = std::max(1, buttonHeight_ + buttonSpacing_);
  int avail = Height() - 2 * margin_;
  // Scroll buttons that are always there take their room before the
  // buttons are measured against it: what does not fit can be scrolled to.
  if (scrollStyle_ == nssAlways) avail -= top_.height_ + bottom_.height_;
  const bool overflow = int64_t(pitch) * n > avail;
  if (scrollStyle_ == nssAutomatic && overflow) avail -= top_.height_;
  if (scrollStyle_ != nssNever) {
    // Never beyond the last button, however small the bar.
    maxFirst_ = std::clamp(n - FloorDiv(avail, pitch), 0, std::max(0, n - 1));
    first_ = std::min(first_, maxFirst_);
  }
  if (!overflow || scrollStyle_ == nssNever) first_ = maxFirst_ = 0;
  switch (scrollStyle_) {
    case nssNever:
      top_.visible_ = bottom_.visible_ = false;
      break;
    case nssAutomatic:
      top_.enabled_ = bottom_.enabled_ = true;
      top_.visible_ = overflow && first_ > 0;
      bottom_.visible_ = overflow && first_ < maxFirst_;
      break;
    case nssAlways:
      top_.visible_ = bottom_.visible_ = true;
      top_.enabled_ = overflow && first_ > 0;
      bottom_.enabled_ = overflow && first_ < maxFirst_;
      break;
  }
  // Every button takes the width and height, so that one scrolled into
  // view shows its text fitted to them.
  for (auto& b : buttons_) {
    b->left_ = margin_;
    b->width_ = Width() - 2 * margin_ - 1;
    b->height_ = buttonHeight_;
  }
  int y = margin_ + (top_.visible_ ? top_.height_ : 0);
  for (int i = first_; i < n; ++i) {
    buttons_.At(i)->top_ = y;
    y += pitch;
    last_ = i;
    if (y > avail) break;
  }
  for (auto& b : buttons_) b->FitText();
}

// ---------------------------------------------------------------- painting

void TWaymarkControl::Compose(const Rect& area) {
  Canvas& c = OffCanvas();
  c.Brush().SetColor(clBtnFace);
  c.FillRect(area);
  for (int i = std::max(0, first_); i <= last_ && i < Count(); ++i) PaintButton(*buttons_.At(i));
  for (TWaymarkScrollButton* s : {&top_, &bottom_})
    if (s->visible_ && s->Bounds().Intersects(area)) PaintScroll(*s);
  PaintBorder();
}

void TWaymarkControl::PaintButton(TWaymarkButton& b) {
  Canvas& c = OffCanvas();
  const int l = b.left_, t = b.top_, w = b.width_, h = b.height_;
  c.Brush().SetColor(b.down_ ? clBtnHighlight : clBtnFace);
  c.FillRect(b.Bounds());
  c.Pen().SetWidth(1);
  c.Pen().SetColor(b.down_ ? clBtnShadow : clBtnHighlight);
  c.MoveTo(l, t + h);
  c.LineTo(l, t);
  c.LineTo(l + w, t);
  c.Pen().SetColor(b.down_ ? clBtnHighlight : clBtnShadow);
  c.LineTo(l + w, t + h);
  c.LineTo(l, t + h);
  const int d = b.down_ ? 1 : 0;
  const Bitmap& check = b.checked_ ? checked_ : unchecked_;
  if (!check.Empty()) c.Draw(l + b.check_.X + d, t + b.check_.Y + d, check);
  if (!b.shown_.empty()) {
    c.Font().Assign(b.font_);
    c.SetBkMode(TRANSPARENT);
    c.TextOut(l + b.textPos_.X + d, t + b.textPos_.Y + d, b.shown_);
  }
  if (b.hasImage_) c.Draw(l + b.imagePos_.X + d, t + b.imagePos_.Y + d, b.image_);
}

void TWaymarkControl::PaintScroll(TWaymarkScrollButton& s) {
  if (!s.visible_) return;
  Canvas& c = OffCanvas();
  const int l = s.left_, t = s.top_, r = s.left_ + s.width_ - 1, b = s.top_ + s.height_ - 1;
  c.Brush().SetColor(clBtnFace);
  c.FillRect(s.Bounds());
  const bool pressed = s.state_ == TWaymarkScrollButton::Pressed;
  const bool hot = s.state_ == TWaymarkScrollButton::Hot;
  c.Pen().SetWidth(1);
  c.Pen().SetColor(pressed ? clBtnShadow : hot ? clBtnHighlight : clBtnFace);
  c.MoveTo(r, t);
  c.LineTo(l, t);
  c.LineTo(l, b);
  c.Pen().SetColor(pressed ? clBtnHighlight : hot ? clBtnShadow : clBtnFace);
  c.LineTo(r, b);
  c.LineTo(r, t);
  if (!s.hasImage_) return;
  if (s.enabled_) {
    const int d = pressed ? 1 : 0;
    c.Draw(l + s.imagePos_.X + d, t + s.imagePos_.Y + d, s.image_);
  } else {
    c.Draw(l + s.imagePos_.X, t + s.imagePos_.Y, s.embossed_);
  }
}

void TWaymarkControl::RepaintScroll(TWaymarkScrollButton& s) {
  PaintScroll(s);
  CopyToScreen(s.Bounds());
}

void TWaymarkControl::PaintBorder() {
  if (borderStyle_ == nbsNone) return;
  Canvas& c = OffCanvas();
  const int o = outsideSpacing_, r = Width() - (o + 1), b = Height() - (o + 1);
  c.Pen().SetWidth(1);
  if (borderStyle_ == nbsRaised) {
    c.Pen().SetColor(clBtnHighlight);
    c.MoveTo(o, b);
    c.LineTo(o, o);
    c.LineTo(r, o);
    c.Pen().SetColor(clBtnShadow);
    c.LineTo(r, b);
    c.LineTo(o, b);
    return;
  }
  // Outlines only: a filled rectangle would wipe out the buttons.
  c.Brush().SetStyle(BrushStyle::Clear);
  c.Pen().SetColor(clBtnHighlight);
  c.Rectangle({o + 1, o + 1, r, b});
  c.Pen().SetColor(clBtnShadow);
  c.Rectangle({o, o, r - 1, b - 1});
}

// ---------------------------------------------------------------- mouse and buttons

TWaymarkScrollButton* TWaymarkControl::ScrollAt(Point p) {
  // The bottom one wins; a hidden one is not there.
  for (TWaymarkScrollButton* s : {&bottom_, &top_})
    if (s->visible_ && Within(p, s->left_, s->top_, s->width_, s->height_)) return s;
  return nullptr;
}

void TWaymarkControl::LeftButtonDown(int x, int y) {
  const Point p{x, y};
  if (TWaymarkScrollButton* s = ScrollAt(p)) {
    // A disabled scroll button takes the click and does nothing.
    if (!s->enabled_) return;
    first_ = std::clamp(first_ + (s == &top_ ? -1 : 1), 0, maxFirst_);
    if (hot_ && hot_ != s) hot_->state_ = TWaymarkScrollButton::Normal;
    s->state_ = TWaymarkScrollButton::Pressed;
    latched_ = true;
    hot_ = s;
    Relayout();
    return;
  }
  for (int i = std::max(0, first_); i <= last_ && i < Count(); ++i) {
    TWaymarkButton* b = buttons_.At(i);
    const Rect box = b->CheckBox();
    if (Within(p, box.Left, box.Top, box.Width(), box.Height())) {
      b->SetChecked(!b->checked_);
      const int index = IndexOf(b);
      if (OnCheck && index >= 0) OnCheck(this, b, index);
      return;
    }
    if (Within(p, b->left_, b->top_, b->width_, b->height_)) {
      if (b != downButton_) b->SetDown(true);
      return;
    }
  }
}

void TWaymarkControl::LeftButtonUp(int, int) { HoverTick(); }

void TWaymarkControl::HoverTick() {
  if (latched_ && PrimaryButtonDown()) return;
  TWaymarkScrollButton* under = ScrollAt(CursorPoint());
  if (under == hot_ && !latched_) return;
  latched_ = false;
  if (hot_) {
    hot_->state_ = TWaymarkScrollButton::Normal;
    if (hot_->visible_) RepaintScroll(*hot_);
    hot_ = nullptr;
  }
  if (under && under->enabled_) {
    under->state_ = TWaymarkScrollButton::Hot;
    RepaintScroll(*under);
    hot_ = under;
  }
}

void TWaymarkControl::Changed(TWaymarkButton& b) {
  if (b.down_ && &b != downButton_) {
    // The handler sees the previous DownButton still in place.
    if (OnClick) {
      OnClick(this, &b, IndexOf(&b));
      if (IndexOf(&b) < 0) {  // the handler removed it
        RepaintAll();
        return;
      }
    }
    if (downButton_ && downButton_ != &b) downButton_->down_ = false;
    downButton_ = &b;
  } else if (!b.down_ && &b == downButton_) {
    // Up again: no button is selected, and a click selects it anew.
    downButton_ = nullptr;
  }
  RepaintAll();
}

void TWaymarkControl::ImageIndexChanged(TWaymarkButton& b) {
  if (!imageList_ || b.imageIndex_ < 0) return;
  b.TakeImage(imageList_);
  Changed(b);
}

void TWaymarkControl::RemoveButton(TWaymarkButton& b) {
  const int i = IndexOf(&b);
  if (i < 0) return;
  std::unique_ptr<TWaymarkButton> gone = buttons_.Take(i);
  TWaymarkButton* next = nullptr;
  if (downButton_ == gone.get()) {
    downButton_ = nullptr;
    if (!buttons_.Empty()) {
      // The neighbour above, or the one that followed the first.
      next = buttons_.At(i == 0 ? 0 : i - 1);
      next->down_ = true;
      downButton_ = next;
    }
  }
  gone.reset();
  Relayout();
  // One event, once the selection has moved, with the index it has now.
  if (next && OnClick) OnClick(this, next, IndexOf(next));
}
