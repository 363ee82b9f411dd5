#include "gui/drag_drop.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "gui/control.h"
#include "gui/environment.h"

namespace gui {

namespace {
std::unique_ptr<DragObject>& Current() {
  static std::unique_ptr<DragObject> drag;
  return drag;
}

// The screen point of the mouse message being handled.
std::optional<Point>& MessagePoint() {
  static std::optional<Point> p;
  return p;
}

// Our control whose window lies under a screen point (nullptr: none).
Control* ControlAtScreen(Point screen) { return Control::FromHandle(Peers().WindowAt(screen)); }
}  // namespace

DragObject* CurrentDrag() { return Current().get(); }

DragObject::DragObject(Control* source, Point screenStart, int threshold)
    : source_(source), start_(screenStart), threshold_(threshold) {}

DragObject::~DragObject() = default;

void DragObject::SetDragImage(std::unique_ptr<Bitmap> image, Point hotSpot) {
  HideDragImage();
  image_ = std::move(image);
  hotSpot_ = hotSpot;
  ShowDragImage();
}

void DragObject::HideDragImage() {
  if (hidden_++ == 0) DrawImage(false);
}

void DragObject::ShowDragImage() {
  if (hidden_ == 0 || --hidden_ > 0) return;
  DrawImage(true);
}

void DragObject::DrawImage(bool show) {
  if (!show) {
    // What lay under the image comes back.
    if (shown_ && imageOn_ && imageOn_->HandleAllocated() && saveUnder_)
      if (std::unique_ptr<Canvas> c = imageOn_->WindowCanvas())
        c->BitBlt(imageRect_, saveUnder_->GetCanvas(), {0, 0}, SRCCOPY);
    shown_ = false;
    saveUnder_.reset();
    return;
  }
  if (shown_ || !image_ || !started_ || !target_ || !target_->HandleAllocated()) return;
  std::unique_ptr<Canvas> c = target_->WindowCanvas();
  if (!c) return;
  imageOn_ = target_;
  imageRect_ = Rect::FromSize(targetPoint_.X - hotSpot_.X, targetPoint_.Y - hotSpot_.Y, image_->Width(),
                              image_->Height());
  saveUnder_ = std::make_unique<Bitmap>(image_->Width(), image_->Height());
  saveUnder_->GetCanvas().BitBlt(Rect(0, 0, image_->Width(), image_->Height()), *c, imageRect_.TopLeft(),
                                 SRCCOPY);
  c->BitBlt(imageRect_, image_->GetCanvas(), {0, 0}, SRCCOPY);
  shown_ = true;
}

// ---------------------------------------------------------------- the driver

void DragDriver::Begin(Control& source, bool immediate, int threshold) {
  if (Current()) Finish(false);
  if (threshold < 0) threshold = std::max(Env().SystemMetric(SM_CXDRAG), Env().SystemMetric(SM_CYDRAG));
  const Point at = MessagePoint().value_or(Env().CursorPos());
  Current() = std::make_unique<DragObject>(&source, at, threshold);
  source.SetMouseCapture(true);
  if (!immediate) return;
  DragObject& d = *Current();
  d.started_ = true;
  source.DoStartDrag();
  if (Current().get() == &d) MoveTo(d, at);
}

void DragDriver::MoveTo(DragObject& d, Point screen) {
  Control* target = ControlAtScreen(screen);
  const Point client = target ? target->ScreenToClient(screen) : screen;
  d.HideDragImage();
  if (target != d.target_ && d.target_) {
    bool ignored = false;
    d.target_->DragOver(d.source_, d.targetPoint_.X, d.targetPoint_.Y, dsDragLeave, ignored);
  }
  const DragState state = target == d.target_ ? dsDragMove : dsDragEnter;
  d.target_ = target;
  d.targetPoint_ = client;
  d.accepted_ = false;
  if (target) {
    bool accept = bool(target->OnDragOver);
    target->DragOver(d.source_, client.X, client.Y, state, accept);
    // The handler may have ended the drag.
    if (Current().get() != &d) return;
    d.accepted_ = accept;
  }
  if (WindowPeer* p = d.source_->Peer()) p->SetCursor(d.accepted_ ? Cursor::Drag : Cursor::NoDrop);
  d.ShowDragImage();
}

DragDriver::MouseMessageScope::MouseMessageScope(Point screen) : outer_(MessagePoint()) { MessagePoint() = screen; }

DragDriver::MouseMessageScope::~MouseMessageScope() { MessagePoint() = outer_; }

bool DragDriver::SourceMessage(Control& source, const Message& m) {
  DragObject* d = Current().get();
  if (!d || d->source_ != &source) return false;
  const Point screen = m.Msg == WM_KEYDOWN ? Env().CursorPos() : source.ClientToScreen(PointFromLParam(m.LParam));
  switch (m.Msg) {
    case WM_MOUSEMOVE:
      if (!d->started_) {
        if (std::abs(screen.X - d->start_.X) <= d->threshold_ && std::abs(screen.Y - d->start_.Y) <= d->threshold_)
          return false;
        d->started_ = true;
        source.DoStartDrag();
        if (Current().get() != d) return true;
      }
      MoveTo(*d, screen);
      return true;
    case WM_LBUTTONUP:
      // Not started: no drag at all, an ordinary release. Started: the drop
      // goes where the release is, after the control has seen it.
      if (!d->started_)
        Finish(false);
      else
        MoveTo(*d, screen);
      return false;
    case WM_RBUTTONDOWN:
      if (!d->started_) return false;
      Finish(false);
      return true;
    case WM_KEYDOWN:
      if (m.WParam != VK_ESCAPE) return false;
      Finish(false);
      return true;
    default:
      return false;
  }
}

void DragDriver::Finish(bool drop) {
  std::unique_ptr<DragObject> d = std::move(Current());
  if (!d) return;
  d->DrawImage(false);
  Control* source = d->source_;
  if (!d->started_) return;
  Control* target = d->target_;
  const Point p = d->targetPoint_;
  const bool dropped = drop && target && d->accepted_;
  if (target) {
    bool ignored = false;
    target->DragOver(source, p.X, p.Y, dsDragLeave, ignored);
  }
  if (WindowPeer* peer = source->Peer()) peer->SetCursor(source->Cursor());
  if (dropped) target->DragDrop(source, p.X, p.Y);
  source->DoEndDrag(dropped ? target : nullptr, p.X, p.Y);
}

void DragDriver::Forget(Control& c) {
  DragObject* d = Current().get();
  if (!d) return;
  if (d->imageOn_ == &c) {
    d->shown_ = false;
    d->saveUnder_.reset();
    d->imageOn_ = nullptr;
  }
  if (d->target_ == &c) {
    d->target_ = nullptr;
    d->accepted_ = false;
  }
  if (d->source_ == &c) Current().reset();
}

}  // namespace gui
