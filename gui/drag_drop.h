// Drag-and-drop between the program's controls: one drag at a time. A
// control begins it (Control::BeginDrag) while it holds the mouse; past its
// threshold the drag starts, the control under the mouse is asked at each
// move whether it takes what is dragged (Control::DragOver), the release
// drops it there (Control::DragDrop) and the source hears the end
// (Control::DoEndDrag). Escape, a right press or a cancel-mode message
// end it without a drop.
//
// The drag image, when the source gives one, follows the mouse over the
// program's windows, drawn over what lies beneath (which is kept and put
// back). A control that paints under it hides it first and shows it again
// afterwards (the hide nests).
#pragma once
#include <memory>
#include <optional>

#include "gui/bitmap.h"
#include "gui/geometry.h"

namespace gui {

class Control;
struct Message;

enum DragMode { dmManual, dmAutomatic };
enum DragState { dsDragEnter, dsDragLeave, dsDragMove };

class DragObject {
 public:
  DragObject(Control* source, Point screenStart, int threshold);
  ~DragObject();
  DragObject(const DragObject&) = delete;
  DragObject& operator=(const DragObject&) = delete;

  Control* Source() const { return source_; }
  // Past the threshold: the drag is on.
  bool Started() const { return started_; }
  // The control under the mouse (nullptr: none of ours), the point in its
  // client coordinates, and whether it takes the drag there.
  Control* Target() const { return target_; }
  Point TargetPoint() const { return targetPoint_; }
  bool Accepted() const { return accepted_; }

  // The picture that follows the mouse, its hot spot (the pixel under the
  // mouse) inside it.
  void SetDragImage(std::unique_ptr<Bitmap> image, Point hotSpot);
  bool HasDragImage() const { return image_ != nullptr; }
  // Where the image is drawn now (client coordinates of the window it is
  // on; empty when it is not drawn).
  Rect DragImageRect() const { return shown_ ? imageRect_ : Rect(); }
  Control* DragImageWindow() const { return shown_ ? imageOn_ : nullptr; }
  void HideDragImage();
  void ShowDragImage();

 private:
  friend class DragDriver;
  void DrawImage(bool show);

  Control* source_;
  Point start_;
  int threshold_;
  bool started_ = false;
  Control* target_ = nullptr;
  Point targetPoint_;
  bool accepted_ = false;
  std::unique_ptr<Bitmap> image_;
  Point hotSpot_;
  int hidden_ = 0;
  bool shown_ = false;
  Control* imageOn_ = nullptr;
  Rect imageRect_;
  std::unique_ptr<Bitmap> saveUnder_;
};

// The drag in progress (nullptr: none).
DragObject* CurrentDrag();

// What Control uses (the drag's side of its messages).
class DragDriver {
 public:
  // Where the drag's threshold is measured from: the screen point of the
  // mouse message being handled (the cursor's place when none is).
  static void Begin(Control& source, bool immediate, int threshold);
  // While a control handles a mouse message: the message's screen point.
  class MouseMessageScope {
   public:
    explicit MouseMessageScope(Point screen);
    ~MouseMessageScope();
    MouseMessageScope(const MouseMessageScope&) = delete;
    MouseMessageScope& operator=(const MouseMessageScope&) = delete;

   private:
    std::optional<Point> outer_;
  };
  // A mouse or key message of the source while its drag is pending or on:
  // true when the drag took it (the control does not see it). A release
  // is seen by the control too; Finish completes it afterwards.
  static bool SourceMessage(Control& source, const Message& m);
  // Ends the drag (drop: on the target when it takes it).
  static void Finish(bool drop);
  // A control goes away: the drag forgets it (ended when it is the source).
  static void Forget(Control& c);

 private:
  // The mouse is at a screen point: the control under it is asked.
  static void MoveTo(DragObject& d, Point screen);
};

}  // namespace gui
