#include "controls/cool_bar_control.h"

#include <algorithm>

#include "gui/application.h"
#include "gui/graphics_backend.h"
#include "gui/menu.h"
#include "gui/number_format.h"
#include "platform/text.h"

using namespace gui;

namespace {

int Half(int v) { return int(Round(v / 2.0)); }

// Buttons of one group share this key.
std::string GroupKey(const std::string& group) { return plat::UpperCase(plat::Trim(group)); }

Size Extent(const Font& f, std::string_view text) { return Measurer().TextExtent(f, text); }

}  // namespace

// ---------------------------------------------------------------- TBarButton

TBarButton::TBarButton(TCoolBarControl& owner) : owner_(owner) {}

void TBarButton::SetCaption(const std::string& value) {
  caption_ = value;
  Measure();
  Recompute();
}

void TBarButton::SetHotImageIndex(int value) {
  hotIndex_ = value;
  Recompute();
}

void TBarButton::SetColdImageIndex(int value) {
  coldIndex_ = value;
  Recompute();
}

void TBarButton::SetDisabledImageIndex(int value) {
  disabledIndex_ = value;
  Recompute();
}

void TBarButton::SetStyle(TBarButtonStyle value) {
  style_ = value;
  Recompute();
}

void TBarButton::SetWidth(int value) {
  width_ = std::max(0, value);
  Recompute();
}

void TBarButton::SetHeight(int value) {
  height_ = std::max(0, value);
  Recompute();
}

void TBarButton::SetSeparator(bool value) {
  separator_ = value;
  if (value) state_ = Cold;
  Recompute();
}

void TBarButton::SetDown(bool value) {
  if (value == down_) return;
  down_ = value;
  owner_.DownChanged(*this);
}

void TBarButton::SetGroup(const std::string& value) {
  group_ = value;
  owner_.SizeChanged(*this);
}

void TBarButton::SetVisible(bool value) {
  visible_ = value;
  owner_.SizeChanged(*this);
}

void TBarButton::SetEnabled(bool value) {
  enabled_ = value;
  if (!value) state_ = Cold;
  owner_.RepaintButton(*this);
}

void TBarButton::Remove() { owner_.RemoveButton(*this); }

void TBarButton::Measure() {
  // The text before the first '&', the character after it, the rest. A
  // final '&' is an ordinary character and there is no accelerator.
  const size_t amp = caption_.find('&');
  if (amp == std::string::npos || amp + 1 >= caption_.size()) {
    lead_ = caption_;
    accel_ = 0;
    trail_.clear();
  } else {
    lead_ = caption_.substr(0, amp);
    accel_ = caption_[amp + 1];
    trail_ = caption_.substr(amp + 2);
  }
  const Font& f = owner_.Font();
  accelX_ = Extent(f, lead_).Width + 1;
  trailX_ = accelX_ + (accel_ ? Extent(f, std::string(1, accel_)).Width : 0) + 1;
}

void TBarButton::Recompute() {
  if (!separator_) {
    const Size text = Extent(owner_.Font(), caption_);
    const int tw = text.Width, th = text.Height;
    int iw = 0, ih = 0;
    for (const ImageList* l : {hotList_, coldList_, disabledList_})
      if (l) {
        iw = std::max(iw, l->Width());
        ih = std::max(ih, l->Height());
      }
    switch (style_) {
      case bsBottom: {
        const int h = ih + th + 6;
        if (autoSize_) {
          height_ = std::max(height_, h);
          width_ = std::max({width_, iw + 4, tw + 4});
        }
        const int y = Half(height_ - h);
        imagePos_ = {Half(width_ - iw), y + 2};
        captionPos_ = {Half(width_ - tw), y + ih + 4};
        break;
      }
      case bsRight: {
        const int w = tw + iw + 15;
        if (autoSize_) {
          width_ = std::max(width_, w);
          height_ = std::max({height_, ih + 4, th + 4});
        }
        const int x = Half(width_ - w);
        imagePos_ = {x + 2, Half(height_ - ih)};
        captionPos_ = {x + iw + 4, Half(height_ - th)};
        break;
      }
      case bsNone:
        if (autoSize_) {
          width_ = std::max(width_, iw + 4);
          height_ = std::max(height_, ih + 4);
        }
        imagePos_ = {Half(width_ - (iw + 4)) + 3, Half(height_ - (ih + 4)) + 3};
        break;
    }
  } else {
    width_ = 6;
  }
  owner_.SizeChanged(*this);
}

// ---------------------------------------------------------------- TCoolBarControl

TCoolBarControl::TCoolBarControl(Component* owner) : TOffscreenControl(owner) {
  for (auto* slot : {&leftScroll_, &rightScroll_}) {
    slot->reset(new TBarButton(*this));
    TBarButton& s = **slot;
    s.width_ = scrollWidth_;
    s.visible_ = false;
    s.style_ = bsNone;
    s.autoSize_ = false;  // the bar sizes its scroll buttons
  }
  SetBounds(Left(), Top(), 100, 25);
  // Shortcuts: every key press meets the bar before any window.
  hook_ = App().HookKeys([this](Message& m) {
    if (!ShortCutKey(uint16_t(m.WParam), ShiftState(m.LParam))) return false;
    m.Result = 1;
    return true;
  });
  FinishConstruction();
}

TCoolBarControl::~TCoolBarControl() {
  App().UnhookKeys(hook_);
  hot_ = nullptr;
  latched_ = false;
  buttons_.Clear();
}

TBarButton* TCoolBarControl::Add() {
  ForgetHot();
  std::unique_ptr<TBarButton> b(new TBarButton(*this));
  b->style_ = style_;
  b->height_ = std::max(0, Height() - (2 * border_ + 3));
  b->width_ = defaultWidth_;
  b->hotList_ = hotList_;
  b->coldList_ = coldList_;
  b->disabledList_ = disabledList_;
  TBarButton* raw = buttons_.Append(std::move(b));
  Relayout();
  return raw;
}

// ---------------------------------------------------------------- properties

void TCoolBarControl::SetGrabHandle(bool v) {
  grabHandle_ = v;
  ResizeSteps();
}

void TCoolBarControl::SetStyle(TBarButtonStyle s) {
  style_ = s;
  for (auto& b : buttons_) {
    b->style_ = s;
    b->height_ = Height();
    b->width_ = 25;
  }
  RecomputeAll();
}

void TCoolBarControl::SetList(ImageList*& slot, ImageList* l) {
  ImageList* old = slot;
  slot = l;
  // One list may serve several roles: the link goes with its last one.
  if (old && old != hotList_ && old != coldList_ && old != disabledList_) RemoveFreeNotification(old);
  if (l) FreeNotification(l);
  ApplyLists();
}

void TCoolBarControl::SetHotImageList(ImageList* l) { SetList(hotList_, l); }
void TCoolBarControl::SetColdImageList(ImageList* l) { SetList(coldList_, l); }
void TCoolBarControl::SetDisabledImageList(ImageList* l) { SetList(disabledList_, l); }

void TCoolBarControl::ApplyLists() {
  for (auto& b : buttons_) {
    b->hotList_ = hotList_;
    b->coldList_ = coldList_;
    b->disabledList_ = disabledList_;
  }
  RecomputeAll();
}

void TCoolBarControl::Notification(Component* c, Operation op) {
  if (op == Operation::Remove && c) {
    bool dropped = false;
    for (ImageList** slot : {&hotList_, &coldList_, &disabledList_})
      if (*slot && static_cast<Component*>(*slot) == c) {
        *slot = nullptr;
        dropped = true;
      }
    if (dropped && !Destroying()) ApplyLists();
  }
  TOffscreenControl::Notification(c, op);
}

void TCoolBarControl::SetScrollStyle(TCoolBarScrollStyle s) {
  scrollStyle_ = s;
  Relayout();
}

void TCoolBarControl::SetButtonSpacing(int v) {
  buttonSpacing_ = std::max(0, v);
  Relayout();
}

void TCoolBarControl::SetBorderStyle(TCoolBarBorderStyle s) {
  borderStyle_ = s;
  border_ = s == csDouble ? 2 : s == csSingle ? 1 : 0;
  ResizeSteps();
}

void TCoolBarControl::FontChanged() {
  // Captions are measured in the font: every button is laid out again.
  for (auto& b : buttons_) b->Measure();
  RecomputeAll();
}

// Each button's geometry again (without a layout per button), then one
// layout and one repaint.
void TCoolBarControl::RecomputeAll() {
  std::vector<TBarButton*> all;
  for (auto& b : buttons_) all.push_back(b.get());
  ++quiet_;
  for (TBarButton* b : all)
    if (IndexOf(b) >= 0) b->Recompute();
  --quiet_;
  Relayout();
}

// ---------------------------------------------------------------- owner callbacks

void TCoolBarControl::SizeChanged(TBarButton& b) {
  if (IsScroll(&b)) scrollWidth_ = b.width_;
  if (quiet_) return;
  GroupRule(GroupKey(b.group_));
  Relayout();
}

void TCoolBarControl::DownChanged(TBarButton& b) {
  GroupRelease(b);
  if (IndexOf(&b) >= 0) FireChange(b);
}

void TCoolBarControl::FireChange(TBarButton& b) {
  if (OnChange) OnChange(this, &b, ItemIndex(&b));
}

void TCoolBarControl::GroupRelease(TBarButton& x) {
  const std::string key = GroupKey(x.group_);
  if (key.empty()) return;
  TBarButton* other = nullptr;
  for (auto& b : buttons_)
    if (b.get() != &x && b->down_ && GroupKey(b->group_) == key) {
      other = b.get();
      break;
    }
  if (other) {
    x.down_ = true;
    other->down_ = false;
    RepaintButton(*other);
    FireChange(*other);
    if (IndexOf(&x) < 0) return;  // the handler removed it
  }
  RepaintButton(x);
}

void TCoolBarControl::GroupRule(const std::string& key) {
  if (key.empty() || allowAllUp_) return;
  TBarButton* last = nullptr;
  for (auto& b : buttons_)
    if (GroupKey(b->group_) == key) {
      if (b->down_) return;
      last = b.get();
    }
  if (last) last->SetDown(true);
}

void TCoolBarControl::RemoveButton(TBarButton& b) {
  const int i = IndexOf(&b);
  if (i < 0) return;
  std::unique_ptr<TBarButton> gone = buttons_.Take(i);
  // The timer's next tick must not reach a freed button.
  if (hot_ == gone.get()) {
    hot_ = nullptr;
    latched_ = false;
  }
  GroupRule(GroupKey(gone->group_));
  gone.reset();
  Relayout();
}

void TCoolBarControl::ForgetHot() {
  TBarButton* h = hot_;
  hot_ = nullptr;
  latched_ = false;
  if (h) {
    h->state_ = TBarButton::Cold;
    RepaintButton(*h);
  }
}

// ---------------------------------------------------------------- layout

void TCoolBarControl::Resize() {
  ResizeSteps();
  TOffscreenControl::Resize();
}

void TCoolBarControl::HandleCreated() {
  TOffscreenControl::HandleCreated();
  Bitmap left, right;
  const bool haveLeft = left.LoadFromResourceName("LEFTSCROLL");
  const bool haveRight = right.LoadFromResourceName("RIGHTSCROLL");
  arrows_ = std::make_unique<ImageList>(nullptr, haveLeft ? left.Width() : 6, haveLeft ? left.Height() : 10);
  if (haveLeft) arrows_->AddMasked(left, left.TransparentColor());
  if (haveRight) arrows_->AddMasked(right, right.TransparentColor());
  int index = 0;
  for (TBarButton* s : {leftScroll_.get(), rightScroll_.get()}) {
    s->hotList_ = s->coldList_ = s->disabledList_ = arrows_.get();
    s->hotIndex_ = s->coldIndex_ = s->disabledIndex_ = index++;
  }
  ResizeSteps();
}

void TCoolBarControl::ResizeSteps() {
  const int h = std::max(0, Height() - (2 * border_ + 4));
  ++quiet_;
  for (TBarButton* s : {leftScroll_.get(), rightScroll_.get()}) {
    s->height_ = h;
    s->top_ = border_ + 2;
    s->width_ = scrollWidth_;
    s->Recompute();  // the arrow's place in the new size
  }
  --quiet_;
  rightScroll_->left_ = Width() - (rightScroll_->width_ + border_ + 2);
  leftScroll_->left_ = border_ + (grabHandle_ ? kGrabWidth : 0);
  SizeOffscreen();
  Relayout();
}

void TCoolBarControl::Layout() {
  last_ = -1;
  int avail = Width() - 2 * border_;
  int x = border_;
  if (grabHandle_) {
    avail -= kGrabWidth;
    x += kGrabWidth;
  }
  int64_t total = 0;
  for (auto& b : buttons_) total += b->width_ + buttonSpacing_;
  // Scroll buttons that are always there take their room before the
  // buttons are measured against it: what does not fit can be scrolled to.
  if (scrollStyle_ == ssAlways) avail -= 2 * scrollWidth_;
  const bool overflow = total > avail;
  if (scrollStyle_ != ssNever) {
    if (scrollStyle_ == ssAutoMatic && overflow) avail -= scrollWidth_;
    maxFirst_ = 0;
    for (int i = Count() - 1; i >= 0; --i) {
      avail -= buttons_.At(i)->width_ + buttonSpacing_;
      if (avail < 1) {
        maxFirst_ = i + 1;
        break;
      }
    }
    // However narrow the bar, the last button can still be reached.
    maxFirst_ = std::min(maxFirst_, std::max(0, Count() - 1));
    first_ = std::min(first_, maxFirst_);
  }
  if (!overflow || scrollStyle_ == ssNever) first_ = maxFirst_ = 0;
  TBarButton& l = *leftScroll_;
  TBarButton& r = *rightScroll_;
  switch (scrollStyle_) {
    case ssAutoMatic:
      l.enabled_ = r.enabled_ = true;
      l.visible_ = overflow && first_ > 0;
      r.visible_ = overflow && first_ < maxFirst_;
      break;
    case ssNever:
      l.visible_ = r.visible_ = false;
      break;
    case ssAlways:
      l.visible_ = r.visible_ = true;
      l.enabled_ = overflow && first_ > 0;
      r.enabled_ = overflow && first_ < maxFirst_;
      break;
  }
  if (l.visible_) x += scrollWidth_;
  const int limit = r.visible_ ? r.left_ : Width();
  for (int i = first_; i < Count(); ++i) {
    TBarButton& b = *buttons_.At(i);
    b.left_ = x;
    b.top_ = border_ + 1;
    x += b.width_ + buttonSpacing_;
    if (x > limit) break;
    last_ = i;
  }
}

bool TCoolBarControl::Shown(const TBarButton& b) const {
  if (IsScroll(&b)) return b.visible_;
  const int i = IndexOf(&b);
  return b.visible_ && i >= first_ && i <= last_;
}

TBarButton* TCoolBarControl::ItemAt(int x, int y) const {
  if (x < 0 || y < 0 || x > Width() || y > Height()) return nullptr;
  for (TBarButton* s : {leftScroll_.get(), rightScroll_.get()})
    if (s->visible_ && x >= s->left_ && x <= s->left_ + s->width_) return s;
  for (int i = std::max(0, first_); i <= last_ && i < Count(); ++i) {
    TBarButton* b = buttons_.At(i);
    if (b->visible_ && x >= b->left_ && x <= b->left_ + b->width_) return b;
  }
  return nullptr;
}

// ---------------------------------------------------------------- painting

void TCoolBarControl::Compose(const Rect& area) {
  Canvas& c = OffCanvas();
  c.Brush().SetColor(clBtnFace);
  c.FillRect(area);
  if (grabHandle_ && area.Left <= kGrabWidth && area.Right >= 1) PaintGrabDots();
  for (int i = std::max(0, first_); i <= last_ && i < Count(); ++i) PaintButton(*buttons_.At(i));
  for (TBarButton* s : {leftScroll_.get(), rightScroll_.get()})
    if (s->visible_ && s->left_ <= area.Right && s->left_ + s->width_ >= area.Left) PaintButton(*s);
  PaintBorder();
}

void TCoolBarControl::PaintButton(TBarButton& b) {
  if (!b.visible_ || Offscreen().Empty()) return;
  Canvas& c = OffCanvas();
  const int l = b.left_, t = b.top_, r = b.left_ + b.width_ - 1, btm = b.top_ + b.height_ - 1;
  c.Brush().SetColor(b.down_ ? clBtnHighlight : clBtnFace);
  c.FillRect(b.Bounds());
  gui::Color first = clBtnFace, second = clBtnFace;  // cold: flat
  if (b.down_ || b.state_ == TBarButton::Pressed) {
    first = clBtnShadow;
    second = clBtnHighlight;
  } else if (b.state_ == TBarButton::Hot) {
    first = clBtnHighlight;
    second = clBtnShadow;
  }
  c.Pen().SetWidth(1);
  c.Pen().SetColor(first);
  c.MoveTo(r, t);
  c.LineTo(l, t);
  c.LineTo(l, btm);
  c.Pen().SetColor(second);
  c.LineTo(r, btm);
  c.LineTo(r, t);
  if (b.separator_) {
    c.Pen().SetColor(clBtnShadow);
    c.MoveTo(l + 2, t + 1);
    c.LineTo(l + 2, btm - 1);
    c.Pen().SetColor(clBtnHighlight);
    c.MoveTo(l + 3, t + 1);
    c.LineTo(l + 3, btm - 1);
    return;
  }
  const int d = (b.down_ || b.state_ == TBarButton::Pressed) ? 1 : 0;
  const ImageList* list = nullptr;
  int index = -1;
  if (b.state_ != TBarButton::Cold) {
    list = b.hotList_;
    index = b.hotIndex_;
  } else if (b.enabled_) {
    list = b.coldList_;
    index = b.coldIndex_;
  } else {
    list = b.disabledList_;
    index = b.disabledIndex_;
  }
  if (list) list->Draw(c, l + b.imagePos_.X + d, t + b.imagePos_.Y + d, index);
  if (b.style_ != bsNone) {
    c.Font().Assign(Font());
    c.SetBkMode(TRANSPARENT);
    const int x = l + b.captionPos_.X + d, y = t + b.captionPos_.Y + d;
    if (!b.lead_.empty()) c.TextOut(x, y, b.lead_);
    if (b.accel_) {
      const FontStyles plain = c.Font().Style();
      c.Font().SetStyle(plain | fsUnderline);
      c.TextOut(x + b.accelX_, y, std::string(1, b.accel_));
      c.Font().SetStyle(plain);
      c.SetBkMode(TRANSPARENT);
      if (!b.trail_.empty()) c.TextOut(x + b.trailX_, y, b.trail_);
    }
  }
  if (!b.enabled_) {
    Bitmap mask;
    MakeInkMask(Offscreen(), b.Bounds(), clBtnFace, mask);
    Emboss(c, b.Bounds(), mask);
  }
}

void TCoolBarControl::RepaintButton(TBarButton& b) {
  if (!Shown(b)) return;
  PaintButton(b);
  if (IndexOf(&b) == last_ && rightScroll_->visible_) PaintButton(*rightScroll_);
  CopyToScreen(b.Bounds());
}

void TCoolBarControl::PaintGrabDots() {
  Canvas& c = OffCanvas();
  const int n = Height() < 1 ? 0 : (Height() + 4) / 5 - 3;
  for (int i = 1; i <= n; ++i) {
    c.Pen().SetColor(clBtnShadow);
    c.Pen().SetWidth(2);
    c.MoveTo(border_ + 6, border_ + 3 + 5 * i);
    c.LineTo(border_ + 6, border_ + 3 + 5 * i);
    c.Pen().SetColor(clBtnHighlight);
    c.Pen().SetWidth(3);
    c.MoveTo(border_ + 4, border_ + 1 + 5 * i);
    c.LineTo(border_ + 4, border_ + 1 + 5 * i);
  }
  c.Pen().SetWidth(1);
}

void TCoolBarControl::PaintBorder() {
  if (borderStyle_ == csNone) return;
  Canvas& c = OffCanvas();
  c.Pen().SetWidth(1);
  // Drawn by the style: B may still be 0 while the constructor's double
  // border stands.
  const int lines = borderStyle_ == csDouble ? 2 : 1;
  for (int in = 0; in < lines; ++in) {
    const int r = Width() - 1 - in, b = Height() - 1 - in;
    c.Pen().SetColor(clBtnHighlight);
    c.MoveTo(r, in);
    c.LineTo(in, in);
    c.LineTo(in, b);
    c.Pen().SetColor(clBtnShadow);
    c.LineTo(r, b);
    c.LineTo(r, in);
  }
}

// ---------------------------------------------------------------- mouse and keys

void TCoolBarControl::LeftButtonDown(int x, int y) {
  TBarButton* item = ItemAt(x, y);
  if (!item || !item->enabled_ || item->separator_) return;
  latched_ = true;
  if (hot_ && hot_ != item) {
    hot_->state_ = TBarButton::Cold;
    RepaintButton(*hot_);
  }
  hot_ = item;
  if (IsScroll(item)) {
    first_ = std::clamp(first_ + (item == leftScroll_.get() ? -1 : 1), 0, maxFirst_);
    item->state_ = TBarButton::Pressed;
    RepaintButton(*item);
    Relayout();
    FireChange(*item);
    return;
  }
  bool changed = true;
  if (!GroupKey(item->group_).empty()) {
    // Down is stored here (not through SetDown): the press fires its one
    // OnChange below, after the group's release.
    const bool was = item->down_;
    item->down_ = allowAllUp_ ? !was : true;
    GroupRelease(*item);
    if (IndexOf(item) < 0) return;
    changed = item->down_ != was;
  } else {
    item->state_ = TBarButton::Pressed;
  }
  RepaintButton(*item);
  if (changed) FireChange(*item);
}

void TCoolBarControl::HoverTick() {
  if (!Visible()) return;
  if (latched_ && PrimaryButtonDown()) return;
  const Point p = CursorPoint();
  TBarButton* item = ItemAt(p.X, p.Y);
  if (item == hot_ && !latched_) return;
  latched_ = false;
  if (hot_) {
    hot_->state_ = TBarButton::Cold;
    RepaintButton(*hot_);
  }
  if (item && item->enabled_ && !item->separator_) {
    item->state_ = TBarButton::Hot;
    RepaintButton(*item);
  }
  hot_ = item;
}

bool TCoolBarControl::ShortCutKey(uint16_t key, ShiftState shift) {
  const uint16_t code = MakeShortCut(key, shift);
  for (auto& b : buttons_)
    if (b->shortCut_ != 0 && b->shortCut_ == code && b->enabled_) {
      DownChanged(*b);
      return true;
    }
  return false;
}
