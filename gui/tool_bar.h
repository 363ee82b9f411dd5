// Tool bars: a row of tool buttons (controls without windows of their own,
// children of the bar, laid out left to right in the bar's button size)
// with an image from the bar's image list or, without one, a caption. A
// button is drawn by the bar's OnCustomDrawButton when set (the handler
// draws on the canvas it is given and may leave the default face, which
// then follows), else as a face with a raised edge, or flat until the mouse
// is over it when the bar is Flat; a Down button is sunken.
#pragma once
#include <functional>

#include "gui/control.h"

namespace gui {

class ImageList;
class ToolBar;

// The state a button is drawn in (combinable).
enum CustomDrawState : unsigned {
  cdsSelected = 1, cdsGrayed = 2, cdsDisabled = 4, cdsChecked = 8, cdsFocused = 16, cdsDefault = 32,
  cdsHot = 64, cdsMarked = 128, cdsIndeterminate = 256,
};

class ToolButton : public GraphicControl {
 public:
  explicit ToolButton(Component* owner = nullptr);
  bool Down() const { return down_; }
  void SetDown(bool d);
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int i);
  // The bar it sits on (nullptr: none).
  ToolBar* Bar() const;

 protected:
  void Paint(Canvas& canvas, const Rect& clip) override;

 private:
  bool down_ = false;
  int imageIndex_ = -1;
};

class ToolBar : public Control {
 public:
  explicit ToolBar(Component* owner = nullptr);
  ControlKind Kind() const override { return ControlKind::ToolBar; }

  bool Flat() const { return flat_; }
  void SetFlat(bool f);
  ImageList* Images() const { return images_; }
  void SetImages(ImageList* list);
  int ButtonWidth() const { return buttonWidth_; }
  int ButtonHeight() const { return buttonHeight_; }
  void SetButtonSize(int w, int h);
  // The buttons in order (the tool-button children).
  int ButtonCount() const;
  ToolButton* Buttons(int i) const;
  // The button the mouse is over (nullptr: none).
  ToolButton* HotButton() const { return hot_; }
  // The state button is drawn in now.
  unsigned ButtonState(const ToolButton& button) const;
  // Draws button on canvas (its own coordinates, rect its client area).
  void DrawButton(ToolButton& button, Canvas& canvas, const Rect& rect);

  // (bar, button, canvas, rect, state, defaultDraw): defaultDraw starts
  // true; left true, the default face is drawn after the handler.
  std::function<void(ToolBar* sender, ToolButton* button, Canvas& canvas, const Rect& rect, unsigned state,
                     bool& defaultDraw)>
      OnCustomDrawButton;

 protected:
  void WndProc(Message& m) override;
  void AlignControls(Rect& area) override;
  void Notification(Component* c, Operation op) override;

 private:
  void SetHot(ToolButton* b);
  bool flat_ = false;
  ImageList* images_ = nullptr;
  int buttonWidth_ = 23;
  int buttonHeight_ = 22;
  ToolButton* hot_ = nullptr;
};

}  // namespace gui
