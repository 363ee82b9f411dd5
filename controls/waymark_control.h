// The side bar of service buttons: a vertical bar of full-width buttons,
// each with a check box, an optional image and a caption fitted with
// "...", one of which at a time is the down (selected) button. It scrolls
// by whole buttons through two small scroll buttons at its top and bottom
// edges, which light up under the mouse (polled every 50 ms).
//
// Selecting: a click on a button (not on its check box) makes it the down
// button and fires OnClick while DownButton still names the previous one;
// a click on a check box toggles it and fires OnCheck. Removing the down
// button moves the selection to its neighbour and fires one OnClick, with
// the neighbour's index after the removal, once DownButton names it.
// OnChange is kept for its users and never fired.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/offscreen_control.h"
#include "gui/image_list.h"

class TWaymarkControl;
class TWaymarkButton;

enum TWaymarkScrollStyle { nssNever, nssAutomatic, nssAlways };
enum TWaymarkBorderStyle { nbsNone, nbsRaised, nbsOutline };

using TWaymarkOnAction = std::function<void(TWaymarkControl* Sender, TWaymarkButton* Button, int Index)>;
using TWaymarkOnChange = std::function<void(TWaymarkControl* Sender)>;

// One button; made by TWaymarkControl::Add and owned by the bar.
class TWaymarkButton {
 public:
  static constexpr int kCheckSize = 16;

  bool Checked() const { return checked_; }
  bool Down() const { return down_; }
  const std::string& Caption() const { return caption_; }
  // The caption as shown: cut to the width with "...".
  const std::string& ShownText() const { return shown_; }
  const gui::Font& Font() const { return font_; }
  int ImageIndex() const { return imageIndex_; }
  bool HasImage() const { return hasImage_; }
  const gui::Bitmap& Image() const { return image_; }
  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Offsets inside the button of the check box, image and text.
  gui::Point CheckOffset() const { return check_; }
  gui::Point ImageOffset() const { return imagePos_; }
  gui::Point TextOffset() const { return textPos_; }

  void SetCaption(const std::string& value);
  void SetChecked(bool value);
  // A button that goes down becomes the bar's DownButton; the DownButton
  // going up leaves the bar without one.
  void SetDown(bool value);
  // A negative index keeps the image shown before.
  void SetImageIndex(int value);
  // Asks the bar to remove and free this button.
  void Remove();

 private:
  friend class TWaymarkControl;
  explicit TWaymarkButton(TWaymarkControl& owner);
  void FitText();
  void TakeImage(const gui::ImageList* list);
  gui::Rect Bounds() const { return gui::Rect::FromSize(left_, top_, width_, height_); }
  gui::Rect CheckBox() const;

  TWaymarkControl& owner_;
  bool checked_ = false;
  bool down_ = false;
  std::string caption_;
  std::string shown_;
  gui::Font font_;
  int imageIndex_ = -1;
  gui::Bitmap image_;
  bool hasImage_ = false;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  gui::Point check_, imagePos_, textPos_;
};

// The two scroll buttons at the bar's top and bottom edges.
class TWaymarkScrollButton {
 public:
  enum State { Normal = 0, Pressed = 1, Hot = 2 };
  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Enabled() const { return enabled_; }
  bool Visible() const { return visible_; }
  State GetState() const { return state_; }
  const gui::Bitmap& Image() const { return image_; }
  const gui::Bitmap& Embossed() const { return embossed_; }
  gui::Point ImageOffset() const { return imagePos_; }

 private:
  friend class TWaymarkControl;
  gui::Rect Bounds() const { return gui::Rect::FromSize(left_, top_, width_, height_); }
  // Takes the picture (drawn transparent) and makes its embossed copy.
  void SetImage(const gui::Bitmap& picture);
  void Place(int left, int top, int width);

  int left_ = 0, top_ = 0, width_ = 0, height_ = 16;
  bool enabled_ = true;
  bool visible_ = true;
  State state_ = Normal;
  gui::Bitmap image_;
  gui::Bitmap embossed_;
  bool hasImage_ = false;
  gui::Point imagePos_;
};

class TWaymarkControl : public TOffscreenControl {
 public:
  explicit TWaymarkControl(gui::Component* owner = nullptr);
  ~TWaymarkControl() override;

  // A new button at the end (its caption, image, check and down state set
  // by the caller afterwards).
  TWaymarkButton* Add();
  // The button at index (nullptr out of range).
  TWaymarkButton* GetButton(int index) const { return buttons_.At(index); }
  int Count() const { return buttons_.Count(); }
  int IndexOf(const TWaymarkButton* b) const { return buttons_.IndexOf(b); }
  TWaymarkButton* DownButton() const { return downButton_; }

  TWaymarkOnAction OnClick;
  TWaymarkOnAction OnCheck;
  TWaymarkOnChange OnChange;

  // The buttons take their images from the list (it is dropped when freed).
  gui::ImageList* ImageList() const { return imageList_; }
  void SetImageList(gui::ImageList* list);
  TWaymarkScrollStyle ScrollStyle() const { return scrollStyle_; }
  void SetScrollStyle(TWaymarkScrollStyle s);
  int ButtonHeight() const { return buttonHeight_; }
  void SetButtonHeight(int h);
  int OutsideSpacing() const { return outsideSpacing_; }
  void SetOutsideSpacing(int v);
  int InsideSpacing() const { return insideSpacing_; }
  void SetInsideSpacing(int v);
  TWaymarkBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TWaymarkBorderStyle s);
  int ButtonSpacing() const { return buttonSpacing_; }
  void SetButtonSpacing(int v);
  // The font (Font(), given to every button) is the control's own.

  // Layout state: the first shown button, the highest first allowed, the
  // last laid-out button (-1: none), the margin to the buttons.
  int First() const { return first_; }
  int MaxFirst() const { return maxFirst_; }
  int Last() const { return last_; }
  int Margin() const { return margin_; }
  const TWaymarkScrollButton& TopScroll() const { return top_; }
  const TWaymarkScrollButton& BottomScroll() const { return bottom_; }

 protected:
  void Compose(const gui::Rect& area) override;
  void LeftButtonDown(int x, int y) override;
  void LeftButtonUp(int x, int y) override;
  void HoverTick() override;
  void Resize() override;
  void HandleCreated() override;
  void FontChanged() override;
  void Notification(gui::Component* c, gui::Operation op) override;

 private:
  friend class TWaymarkButton;
  void Changed(TWaymarkButton& b);
  void ImageIndexChanged(TWaymarkButton& b);
  void RemoveButton(TWaymarkButton& b);
  void UpdateMargin();
  void ResizeSteps();
  void Layout() override;
  void PaintButton(TWaymarkButton& b);
  void PaintScroll(TWaymarkScrollButton& s);
  void RepaintScroll(TWaymarkScrollButton& s);
  void PaintBorder();
  TWaymarkScrollButton* ScrollAt(gui::Point p);

  TOwnedItems<TWaymarkButton> buttons_;
  TWaymarkButton* downButton_ = nullptr;
  gui::ImageList* imageList_ = nullptr;
  TWaymarkScrollStyle scrollStyle_ = nssNever;
  int buttonHeight_ = 20;
  int outsideSpacing_ = 1;
  int insideSpacing_ = 1;
  TWaymarkBorderStyle borderStyle_ = nbsRaised;
  int buttonSpacing_ = 1;
  int first_ = 0;
  int maxFirst_ = 0;
  int last_ = -1;
  int margin_ = 0;
  TWaymarkScrollButton top_;
  TWaymarkScrollButton bottom_;
  TWaymarkScrollButton* hot_ = nullptr;
  bool latched_ = false;
  gui::Bitmap checked_;
  gui::Bitmap unchecked_;
};
