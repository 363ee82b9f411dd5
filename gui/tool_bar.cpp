#include "gui/tool_bar.h"

#include "gui/image_list.h"

namespace gui {

// ---------------------------------------------------------------- ToolButton

ToolButton::ToolButton(Component* owner) : GraphicControl(owner) { SetBounds(0, 0, 23, 22); }

ToolBar* ToolButton::Bar() const { return dynamic_cast<ToolBar*>(Parent()); }

void ToolButton::SetDown(bool d) {
  if (d == down_) return;
  down_ = d;
  Invalidate();
}

void ToolButton::SetImageIndex(int i) {
  if (i == imageIndex_) return;
  imageIndex_ = i;
  Invalidate();
}

void ToolButton::Paint(Canvas& canvas, const Rect&) {
  if (ToolBar* bar = Bar()) bar->DrawButton(*this, canvas, ClientRect());
}

// ---------------------------------------------------------------- ToolBar

ToolBar::ToolBar(Component* owner) : Control(owner) {
  SetControlStyle(ControlStyle() | csAcceptsControls);
  SetBounds(0, 0, 150, 29);
}

void ToolBar::SetFlat(bool f) {
  if (f == flat_) return;
  flat_ = f;
  Invalidate();
}

void ToolBar::SetImages(ImageList* list) {
  if (list == images_) return;
  if (images_) RemoveFreeNotification(images_);
  images_ = list;
  if (list) FreeNotification(list);
  Invalidate();
}

void ToolBar::SetButtonSize(int w, int h) {
  buttonWidth_ = w;
  buttonHeight_ = h;
  Realign();
}

int ToolBar::ButtonCount() const {
  int n = 0;
  for (int i = 0; i < ControlCount(); ++i) n += dynamic_cast<ToolButton*>(Controls(i)) != nullptr;
  return n;
}

ToolButton* ToolBar::Buttons(int i) const {
  for (int k = 0; k < ControlCount(); ++k)
    if (auto* b = dynamic_cast<ToolButton*>(Controls(k)); b && i-- == 0) return b;
  return nullptr;
}

unsigned ToolBar::ButtonState(const ToolButton& b) const {
  unsigned s = 0;
  if (b.Down()) s |= cdsChecked | cdsSelected;
  if (!b.Enabled()) s |= cdsDisabled | cdsGrayed;
  if (&b == hot_) s |= cdsHot;
  return s;
}

void ToolBar::DrawButton(ToolButton& b, Canvas& c, const Rect& rect) {
  const unsigned state = ButtonState(b);
  bool defaultDraw = true;
  if (OnCustomDrawButton) {
    CanvasSaver keep(c);
    OnCustomDrawButton(this, &b, c, rect, state, defaultDraw);
  }
  if (!defaultDraw) return;
  CanvasSaver keep(c);
  c.Brush().SetColor(clBtnFace);
  c.FillRect(rect);
  Rect edge = rect;
  if (b.Down())
    c.DrawEdge(edge, BDR_SUNKENOUTER, BF_RECT);
  else if (!flat_ || (state & cdsHot))
    c.DrawEdge(edge, BDR_RAISEDINNER, BF_RECT);
  const int d = b.Down() ? 1 : 0;
  if (images_ && b.ImageIndex() >= 0 && b.ImageIndex() < images_->Count()) {
    images_->Draw(c, rect.Left + (rect.Width() - images_->Width()) / 2 + d,
                  rect.Top + (rect.Height() - images_->Height()) / 2 + d, b.ImageIndex(), b.Enabled());
  } else {
    c.SetBkMode(TRANSPARENT);
    c.Font().SetColor(b.Enabled() ? clBtnText : clGrayText);
    Rect text = rect.Offset(d, d);
    c.DrawText(b.Caption(), text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
}

void ToolBar::SetHot(ToolButton* b) {
  if (b == hot_) return;
  if (hot_) {
    hot_->Invalidate();
    RemoveFreeNotification(hot_);
  }
  hot_ = b;
  if (hot_) {
    FreeNotification(hot_);
    hot_->Invalidate();
  }
}

void ToolBar::WndProc(Message& m) {
  if (m.Msg == WM_MOUSEMOVE) {
    const Point p = PointFromLParam(m.LParam);
    ToolButton* over = nullptr;
    for (int i = 0; i < ButtonCount(); ++i)
      if (ToolButton* b = Buttons(i); b->Visible() && b->Enabled() && b->BoundsRect().Contains(p)) over = b;
    SetHot(over);
  } else if (m.Msg == CM_MOUSELEAVE) {
    SetHot(nullptr);
  }
  Control::WndProc(m);
}

void ToolBar::AlignControls(Rect& area) {
  int x = area.Left;
  for (int i = 0; i < ButtonCount(); ++i) {
    ToolButton* b = Buttons(i);
    if (!b->Visible()) continue;
    b->SetBounds(x, area.Top, buttonWidth_, buttonHeight_);
    x += buttonWidth_;
  }
  area.Left = x;
  Control::AlignControls(area);
}

void ToolBar::Notification(Component* c, Operation op) {
  if (op == Operation::Remove && c) {
    if (c == static_cast<Component*>(images_)) images_ = nullptr;
    if (c == static_cast<Component*>(hot_)) hot_ = nullptr;
  }
  Control::Notification(c, op);
}

}  // namespace gui
