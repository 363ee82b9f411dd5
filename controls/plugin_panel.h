// A panel that hosts another top-level window of the program inside
// itself: the window becomes the panel's child, filling it, and is marked
// with the window text "TARNWICK_WINDOW_TRACKER" by which other code finds
// it. Hosting another window hides and closes the one before. The focus
// given to the panel goes on to the hosted window (with Shift held, to its
// last control, for backward tabbing).
//
// The hosted windows are any windows by handle, not controls of this
// layer: the panel reaches them through TForeignWindows, and checks that a
// window still exists before it touches it.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "gui/control.h"
#include "gui/services.h"

// The style every hosted window is given (all its style bits replaced).
constexpr uint32_t kHostedWindowStyle = 0x40010000u;
constexpr const char* kHostedWindowText = "TARNWICK_WINDOW_TRACKER";

// What the panel does to a window by its handle (the window system's
// calls on any window).
class TForeignWindows {
 public:
  virtual ~TForeignWindows() = default;
  virtual bool IsWindow(uintptr_t h) const = 0;
  virtual void Show(uintptr_t h, bool visible) = 0;
  virtual intptr_t Send(uintptr_t h, unsigned msg, uintptr_t wp, intptr_t lp) = 0;
  virtual void Post(uintptr_t h, unsigned msg, uintptr_t wp, intptr_t lp) = 0;
  // Replaces every style bit.
  virtual void SetStyle(uintptr_t h, uint32_t style) = 0;
  virtual void SetParent(uintptr_t h, uintptr_t parent) = 0;
  virtual void SetText(uintptr_t h, const std::string& text) = 0;
  // In the parent's client coordinates.
  virtual void Move(uintptr_t h, const gui::Rect& r) = 0;
  // The child window on top of parent's children (0: none).
  virtual uintptr_t TopChild(uintptr_t parent) const = 0;
  virtual void Focus(uintptr_t h) = 0;
};

inline TForeignWindows& ForeignWindows() { return gui::Service<TForeignWindows>::Get(); }
namespace gui {
template <>
TForeignWindows& DefaultService<TForeignWindows>();
}  // namespace gui

class TPluginPanel : public gui::Control {
 public:
  explicit TPluginPanel(gui::Component* owner = nullptr);

  uintptr_t HostedWindow() const { return hosted_; }
  // Hosts window h (nothing when it is hosted already, or when h is not a
  // window; 0 only lets the previous one go): the previous window, if it
  // still exists, is hidden and sent WM_CLOSE; h gets the hosted style,
  // the panel as parent, the tracker text, the panel's client area, and is
  // shown; then OnPanelChange(this, h, previous).
  void SetHostedWindow(uintptr_t h);

  std::function<void(gui::Control* sender, uintptr_t newWindow, uintptr_t oldWindow)> OnPanelChange;

 protected:
  void Resize() override;
  void FocusIn(uintptr_t other) override;

 private:
  uintptr_t hosted_ = 0;
};
