// What controls read of the system's state: the cursor, keys and mouse
// buttons, timing and metrics settings, the screen. Injectable (see
// gui/services.h): the product asks the window system; natively and in
// tests a FixedEnvironment answers with values a test can change.
#pragma once
#include <cstdint>
#include <map>
#include <set>

#include "gui/geometry.h"
#include "gui/services.h"

namespace gui {

class Environment {
 public:
  virtual ~Environment() = default;
  // Screen coordinates of the mouse cursor.
  virtual Point CursorPos() const = 0;
  // Whether the key (virtual-key code, VK_LBUTTON... for mouse buttons) is
  // down now (the asynchronous state) / was down when the message being
  // handled was sent (the synchronous state).
  virtual bool AsyncKeyDown(int vk) const = 0;
  virtual bool KeyDown(int vk) const = 0;
  // Whether a toggle key (caps lock, num lock) is on.
  virtual bool KeyToggled(int vk) const = 0;
  virtual unsigned DoubleClickTime() const = 0;  // milliseconds
  // Lines per wheel notch; WHEEL_PAGESCROLL means "a page".
  virtual unsigned WheelScrollLines() const = 0;
  // A system metric by SM_* index (screen size, drag threshold, double-click
  // box, scroll-bar sizes, swapped buttons...); 0 for an unknown one.
  virtual int SystemMetric(int index) const = 0;
  // Milliseconds since the system started (wraps at 2^32).
  virtual uint32_t TickCount() const = 0;
  // Whether the system draws the new-style (three-dimensional) controls:
  // sunken client edges, flat scroll bars...
  virtual bool NewStyleControls() const { return true; }

  Size ScreenSize() const;
  // Whether the primary button is the physical right one.
  bool ButtonsSwapped() const;
};

inline Environment& Env() { return Service<Environment>::Get(); }
template <>
Environment& DefaultService<Environment>();

// Fixed answers: cursor (0,0), no key down, double-click time 500 ms, three
// wheel lines, a 1024x768 screen, the classic metrics, tick count 0.
class FixedEnvironment : public Environment {
 public:
  FixedEnvironment();
  Point CursorPos() const override { return cursor_; }
  bool AsyncKeyDown(int vk) const override { return down_.count(vk) != 0; }
  bool KeyDown(int vk) const override { return down_.count(vk) != 0; }
  bool KeyToggled(int vk) const override { return toggled_.count(vk) != 0; }
  unsigned DoubleClickTime() const override { return doubleClick_; }
  unsigned WheelScrollLines() const override { return wheelLines_; }
  int SystemMetric(int index) const override;
  uint32_t TickCount() const override { return ticks_; }
  bool NewStyleControls() const override { return newStyle_; }

  void SetCursorPos(Point p) { cursor_ = p; }
  void SetNewStyleControls(bool v) { newStyle_ = v; }
  void SetKeyDown(int vk, bool down);
  void SetKeyToggled(int vk, bool on);
  void SetDoubleClickTime(unsigned ms) { doubleClick_ = ms; }
  void SetWheelScrollLines(unsigned n) { wheelLines_ = n; }
  void SetSystemMetric(int index, int value) { metrics_[index] = value; }
  void SetTickCount(uint32_t t) { ticks_ = t; }
  void AdvanceTicks(uint32_t ms) { ticks_ += ms; }

 private:
  Point cursor_;
  std::set<int> down_;
  std::set<int> toggled_;
  unsigned doubleClick_ = 500;
  unsigned wheelLines_ = 3;
  std::map<int, int> metrics_;
  uint32_t ticks_ = 0;
  bool newStyle_ = true;
};

}  // namespace gui
