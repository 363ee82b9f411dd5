// The window system's answers behind the layer's services: the
// environment (cursor, keys, timing, metrics), system colours, the
// clipboard's text and the registry under the current user's key.
#pragma once
#include "gui/clipboard.h"
#include "gui/color.h"
#include "gui/environment.h"
#include "gui/registry_ini_file.h"

namespace gui {

class Win32Environment : public Environment {
 public:
  Point CursorPos() const override;
  bool AsyncKeyDown(int vk) const override;
  bool KeyDown(int vk) const override;
  bool KeyToggled(int vk) const override;
  unsigned DoubleClickTime() const override;
  unsigned WheelScrollLines() const override;
  int SystemMetric(int index) const override;
  uint32_t TickCount() const override;
  // Version 4 and later.
  bool NewStyleControls() const override;
};

class Win32SystemColors : public SystemColorTable {
 public:
  Color RGBOf(int index) const override;
};

// CF_TEXT in the ANSI code page.
class Win32Clipboard : public Clipboard {
 public:
  bool HasText() const override;
  std::string GetText() const override;
  bool SetText(const std::string& text) override;
};

// Keys under HKEY_CURRENT_USER; values are written as text and read as
// text (a number value as its decimal text).
class Win32Registry : public RegistryAccess {
 public:
  bool KeyExists(const std::string& path) const override;
  bool CreateKey(const std::string& path) override;
  bool DeleteKey(const std::string& path) override;
  std::vector<std::string> SubKeys(const std::string& path) const override;
  std::vector<std::string> ValueNames(const std::string& path) const override;
  bool ReadValue(const std::string& path, const std::string& name,
                 std::string& out) const override;
  bool WriteValue(const std::string& path, const std::string& name,
                  const std::string& value) override;
  bool DeleteValue(const std::string& path, const std::string& name) override;
};

}  // namespace gui
