// The base of the two button bars: a control that paints everything
// through an off-screen bitmap the size of its client area, tracks the
// mouse by polling on a 50 ms window timer (id 0) while polling can change
// anything: from the mouse's first move over the bar or a press on it until
// a tick finds the cursor off the bar with the primary button up (an idle
// bar runs no timer). It reads its left-button presses with the
// coordinates taken as unsigned 16-bit values. Also the emboss routine that gives a picture
// the look of a disabled one.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "gui/bitmap.h"
#include "gui/control.h"

// A monochrome mask (resized to area) of source's pixels in area: 1
// (white) where a pixel differs from paper, the picture's "ink"; 0 where it
// is paper.
void MakeInkMask(const gui::Bitmap& source, const gui::Rect& area, gui::Color paper, gui::Bitmap& mask);

// The embossed look of a picture within area of dest: area filled with
// clBtnFace, then the ink of mask (its 1 bits, mask.Width() x
// mask.Height(), top-left at area's) in clBtnHighlight one pixel right and
// down and in clBtnShadow in place. Both copies use raster operation
// 0x00E20746 (the brush where the source is 1, the destination kept where
// it is 0) and stay inside area.
void Emboss(gui::Canvas& dest, const gui::Rect& area, gui::Bitmap& mask);

// The buttons a bar owns, in display order.
template <class T>
class TOwnedItems {
 public:
  int Count() const { return int(items_.size()); }
  // nullptr out of range.
  T* At(int i) const { return i >= 0 && i < Count() ? items_[size_t(i)].get() : nullptr; }
  int IndexOf(const T* item) const {
    for (size_t i = 0; i < items_.size(); ++i)
      if (items_[i].get() == item) return int(i);
    return -1;
  }
  T* Append(std::unique_ptr<T> item) {
    items_.push_back(std::move(item));
    return items_.back().get();
  }
  // Takes the item at i out of the list (the caller frees it).
  std::unique_ptr<T> Take(int i) {
    std::unique_ptr<T> item = std::move(items_[size_t(i)]);
    items_.erase(items_.begin() + i);
    return item;
  }
  void Clear() { items_.clear(); }
  bool Empty() const { return items_.empty(); }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  std::vector<std::unique_ptr<T>> items_;
};

class TOffscreenControl : public gui::Control {
 public:
  static constexpr uintptr_t kHoverTimer = 0;
  static constexpr unsigned kHoverInterval = 50;  // milliseconds

  explicit TOffscreenControl(gui::Component* owner = nullptr);

  // The picture the window shows.
  gui::Bitmap& Offscreen() { return offscreen_; }
  // Whether the hover timer runs.
  bool Polling() const { return polling_; }

 protected:
  gui::Canvas& OffCanvas() { return offscreen_.GetCanvas(); }

  // Draws area (client coordinates) of the control into the off-screen
  // bitmap.
  virtual void Compose(const gui::Rect& area) = 0;
  // The left button went down / up at client point (x, y).
  virtual void LeftButtonDown(int x, int y) {}
  virtual void LeftButtonUp(int x, int y) {}
  // Each tick of the hover timer (the last one after the cursor has left
  // the bar included, so that nothing stays lit).
  virtual void HoverTick() {}
  // Places the items.
  virtual void Layout() {}

  // A new layout and the whole picture again (what most properties do).
  void Relayout() {
    Layout();
    RepaintAll();
  }
  // Composes the whole client area and copies it to the window at once,
  // without invalidating (nothing before the derived constructor has
  // finished or while there is no window).
  void RepaintAll();
  // Copies area of the off-screen bitmap to the window now.
  void CopyToScreen(const gui::Rect& area);
  // The first resize step: the off-screen bitmap takes the control's size.
  void SizeOffscreen();
  // Painting may run from now on (the derived constructor's last step).
  void FinishConstruction() { constructed_ = true; }
  bool Constructed() const { return constructed_; }

  // The cursor in client coordinates: its screen position less the
  // window's origin.
  gui::Point CursorPoint() const;
  // Whether the primary mouse button (the physical right one when the
  // system swaps them) is down now.
  static bool PrimaryButtonDown();

  void Paint(gui::Canvas& canvas, const gui::Rect& clip) override;
  void HandleDestroying() override;
  void WndProc(gui::Message& m) override;
  void Timer(uintptr_t id) override;

 private:
  void StartPolling();
  gui::Bitmap offscreen_;
  bool constructed_ = false;
  bool polling_ = false;
};
