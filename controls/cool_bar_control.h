// The scrolling button bar: a horizontal row of flat buttons with an
// image and a caption (with an '&' accelerator), radio-like groups,
// separators, a grab handle of dots at the left and two scroll buttons
// that shift the row by whole buttons when it does not fit. A button
// lights up (raised frame, hot image) while the mouse is over it, polled
// every 50 ms while the mouse is over the bar; keyboard shortcuts reach the bar through the application's
// key hooks.
//
// Groups: buttons with the same Group key (trimmed, upper-cased) act as
// radio buttons: pressing one makes it down and releases the other, with
// one OnChange for the released button and then one for the pressed one.
// Unless AllowAllUp, a group always keeps one button down.
#pragma once
#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/offscreen_control.h"
#include "gui/image_list.h"

class TCoolBarControl;
class TBarButton;

enum TBarButtonStyle { bsBottom, bsRight, bsNone };
enum TCoolBarScrollStyle { ssAutoMatic, ssAlways, ssNever };
enum TCoolBarBorderStyle { csDouble, csSingle, csNone };

// ItemIndex: the button's position in the bar, -1 for a scroll button.
using TCoolBarOnChange = std::function<void(TCoolBarControl* Sender, TBarButton* Button, int ItemIndex)>;

// One button (also the two scroll buttons); made by TCoolBarControl::Add
// and owned by the bar.
class TBarButton {
 public:
  enum State { Hot = 0, Pressed = 1, Cold = 2 };

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  const std::string& Caption() const { return caption_; }
  TBarButtonStyle Style() const { return style_; }
  State GetState() const { return state_; }
  bool Enabled() const { return enabled_; }
  int HotImageIndex() const { return hotIndex_; }
  int ColdImageIndex() const { return coldIndex_; }
  int DisabledImageIndex() const { return disabledIndex_; }
  bool Separator() const { return separator_; }
  bool Down() const { return down_; }
  const std::string& Group() const { return group_; }
  uint16_t ShortCut() const { return shortCut_; }
  bool AutoSize() const { return autoSize_; }
  bool Visible() const { return visible_; }
  // Where image and caption stand inside the button.
  gui::Point ImageOffset() const { return imagePos_; }
  gui::Point CaptionOffset() const { return captionPos_; }
  // The caption around its accelerator: the text before it, the
  // accelerator (0: none) and the text after it, with the x offsets of
  // the last two from the caption's.
  const std::string& LeadingText() const { return lead_; }
  char Accelerator() const { return accel_; }
  const std::string& TrailingText() const { return trail_; }
  int AcceleratorOffset() const { return accelX_; }
  int TrailingOffset() const { return trailX_; }

  // Each stores and lays the button out again (with AutoSize it grows to
  // fit its image and caption).
  void SetCaption(const std::string& value);
  void SetHotImageIndex(int value);
  void SetColdImageIndex(int value);
  void SetDisabledImageIndex(int value);
  void SetStyle(TBarButtonStyle value);
  void SetWidth(int value);
  void SetHeight(int value);
  void SetSeparator(bool value);
  void SetDown(bool value);
  void SetGroup(const std::string& value);
  void SetVisible(bool value);
  void SetEnabled(bool value);
  // key code + 0x2000 Shift + 0x4000 Ctrl + 0x8000 Alt; 0 matches nothing.
  void SetShortCut(uint16_t value) { shortCut_ = value; }
  // Asks the bar to remove and free this button.
  void Remove();

 private:
  friend class TCoolBarControl;
  explicit TBarButton(TCoolBarControl& owner);
  // Image and caption geometry, then the bar's SizeChanged.
  void Recompute();
  void Measure();
  gui::Rect Bounds() const { return gui::Rect::FromSize(left_, top_, width_, height_); }

  TCoolBarControl& owner_;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  std::string caption_;
  TBarButtonStyle style_ = bsBottom;
  State state_ = Cold;
  bool enabled_ = true;
  int hotIndex_ = -1, coldIndex_ = -1, disabledIndex_ = -1;
  bool separator_ = false;
  bool down_ = false;
  std::string group_;
  uint16_t shortCut_ = 0;
  bool autoSize_ = true;
  bool visible_ = true;
  gui::ImageList* hotList_ = nullptr;
  gui::ImageList* coldList_ = nullptr;
  gui::ImageList* disabledList_ = nullptr;
  gui::Point imagePos_, captionPos_;
  std::string lead_, trail_;
  char accel_ = 0;
  int accelX_ = 0, trailX_ = 0;
};

class TCoolBarControl : public TOffscreenControl {
 public:
  static constexpr int kGrabWidth = 10;

  explicit TCoolBarControl(gui::Component* owner = nullptr);
  ~TCoolBarControl() override;

  // A new cold button at the end, of DefaultButtonWidth and the bar's
  // Style and image lists.
  TBarButton* Add();
  TBarButton* GetButton(int index) const { return buttons_.At(index); }
  int Count() const { return buttons_.Count(); }
  int IndexOf(const TBarButton* b) const { return buttons_.IndexOf(b); }

  TCoolBarOnChange OnChange;

  bool GrabHandle() const { return grabHandle_; }
  void SetGrabHandle(bool v);
  TBarButtonStyle Style() const { return style_; }
  void SetStyle(TBarButtonStyle s);
  gui::ImageList* HotImageList() const { return hotList_; }
  void SetHotImageList(gui::ImageList* l);
  gui::ImageList* ColdImageList() const { return coldList_; }
  void SetColdImageList(gui::ImageList* l);
  gui::ImageList* DisabledImageList() const { return disabledList_; }
  void SetDisabledImageList(gui::ImageList* l);
  TCoolBarScrollStyle ScrollStyle() const { return scrollStyle_; }
  void SetScrollStyle(TCoolBarScrollStyle s);
  int ButtonSpacing() const { return buttonSpacing_; }
  void SetButtonSpacing(int v);
  bool AllowAllUp() const { return allowAllUp_; }
  void SetAllowAllUp(bool v) { allowAllUp_ = v; }
  TCoolBarBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TCoolBarBorderStyle s);
  int BorderWidth() const { return border_; }
  int DefaultButtonWidth() const { return defaultWidth_; }
  void SetDefaultButtonWidth(int v) { defaultWidth_ = std::max(0, v); }
  // The caption font is the control's own Font().

  // A key press offered by the application before any window: the first
  // enabled button whose ShortCut is the key with its Shift, Ctrl and Alt
  // state is selected (group release, then OnChange); true when one was.
  bool ShortCutKey(uint16_t key, gui::ShiftState shift);

  // Layout state.
  int First() const { return first_; }
  int MaxFirst() const { return maxFirst_; }
  int Last() const { return last_; }
  const TBarButton& LeftScroll() const { return *leftScroll_; }
  const TBarButton& RightScroll() const { return *rightScroll_; }
  // The item the mouse is over (a button or a scroll button; nullptr:
  // none) and whether a press is latched.
  const TBarButton* HotButton() const { return hot_; }
  bool PressLatched() const { return latched_; }
  // The item at a client point (nullptr: none).
  TBarButton* ItemAt(int x, int y) const;

 protected:
  void Compose(const gui::Rect& area) override;
  void LeftButtonDown(int x, int y) override;
  void HoverTick() override;
  void Resize() override;
  void HandleCreated() override;
  void FontChanged() override;
  void Notification(gui::Component* c, gui::Operation op) override;

 private:
  friend class TBarButton;
  bool IsScroll(const TBarButton* b) const { return b == leftScroll_.get() || b == rightScroll_.get(); }
  int ItemIndex(const TBarButton* b) const { return IsScroll(b) ? -1 : IndexOf(b); }
  // The owner callbacks of the buttons.
  void SizeChanged(TBarButton& b);
  void DownChanged(TBarButton& b);
  void RemoveButton(TBarButton& b);
  void GroupRelease(TBarButton& x);
  void GroupRule(const std::string& key);
  void FireChange(TBarButton& b);
  void ForgetHot();
  void SetList(gui::ImageList*& slot, gui::ImageList* l);
  void ApplyLists();
  void RecomputeAll();
  void ResizeSteps();
  void Layout() override;
  void PaintButton(TBarButton& b);
  void RepaintButton(TBarButton& b);
  bool Shown(const TBarButton& b) const;
  void PaintGrabDots();
  void PaintBorder();

  TOwnedItems<TBarButton> buttons_;
  std::unique_ptr<TBarButton> leftScroll_;
  std::unique_ptr<TBarButton> rightScroll_;
  std::unique_ptr<gui::ImageList> arrows_;
  bool grabHandle_ = false;
  TBarButtonStyle style_ = bsBottom;
  gui::ImageList* hotList_ = nullptr;
  gui::ImageList* coldList_ = nullptr;
  gui::ImageList* disabledList_ = nullptr;
  TCoolBarScrollStyle scrollStyle_ = ssAutoMatic;
  int buttonSpacing_ = 0;
  bool allowAllUp_ = false;
  TCoolBarBorderStyle borderStyle_ = csDouble;
  int border_ = 0;  // B: set by SetBorderStyle only, as the forms all do
  int defaultWidth_ = 0;
  int first_ = 0;
  int maxFirst_ = 0;
  int last_ = -1;
  int scrollWidth_ = 16;
  TBarButton* hot_ = nullptr;
  bool latched_ = false;
  int quiet_ = 0;  // above 0: a button's new size waits for one layout
  int hook_ = 0;
};
