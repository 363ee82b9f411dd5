// The notification-area icon: TTray keeps one icon in the shell's tray
// with a tooltip, watches its form's window for the icon's callback
// message and turns it into events: a left press (SimpleFunction), a
// double click (DefaultFunction) and a right press (ShowMenu, then the
// popup menu at the cursor).
//
// The icon is added when the component has been loaded, whatever Active
// was set to while loading: closing the main window hides it to the tray,
// so the icon must be there. The shell is reached through TTrayShell (the
// window system's in the product; a recorder in tests).
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/msg_cmp.h"
#include "gui/bitmap.h"
#include "gui/services.h"
#include "platform/stringlist.h"

namespace gui {
class PopupMenu;
}

// The shell's notification messages and record flags (its own numbers).
enum : unsigned { kNimAdd = 0, kNimModify = 1, kNimDelete = 2 };
enum : unsigned { kNifMessage = 1, kNifIcon = 2, kNifTip = 4 };
// The callback message of every tray icon of the program.
inline constexpr unsigned kTrayCallbackMessage = 0x0400 + 9100;  // WM_USER + 9100
inline constexpr int kTrayTipLength = 63;

// The notification-icon record (the shell's first layout: window, id,
// flags, callback message, icon and a 64-byte tooltip).
struct TNotifyIconData {
  uintptr_t Wnd = 0;
  unsigned ID = 0;
  unsigned Flags = 0;
  unsigned CallbackMessage = 0;
  uintptr_t Icon = 0;
  char Tip[kTrayTipLength + 1] = {};
};

class TTrayShell {
 public:
  virtual ~TTrayShell() = default;
  // kNimAdd, kNimModify or kNimDelete with the record; the shell's answer.
  virtual bool NotifyIcon(unsigned message, const TNotifyIconData& data) = 0;
  // Brings window forward (before a tray popup menu, so that it closes
  // when the user clicks elsewhere).
  virtual void SetForegroundWindow(uintptr_t window) = 0;
  virtual void PostMessage(uintptr_t window, unsigned msg, uintptr_t wp, intptr_t lp) = 0;
};

inline TTrayShell& TrayShell() { return gui::Service<TTrayShell>::Get(); }
namespace gui {
template <>
TTrayShell& DefaultService<TTrayShell>();
}  // namespace gui

// Records every call and answers Result.
class TRecordingTrayShell : public TTrayShell {
 public:
  struct Call {
    unsigned Message;
    TNotifyIconData Data;
  };
  bool NotifyIcon(unsigned message, const TNotifyIconData& data) override {
    calls.push_back({message, data});
    return Result;
  }
  void SetForegroundWindow(uintptr_t window) override { foreground.push_back(window); }
  void PostMessage(uintptr_t window, unsigned msg, uintptr_t, intptr_t) override {
    posted.push_back({window, msg});
  }
  bool Result = true;
  std::vector<Call> calls;
  std::vector<uintptr_t> foreground;
  std::vector<std::pair<uintptr_t, unsigned>> posted;
};

class TTray;

// The tray's icon: a gui::Icon whose changes reach its tray.
class TTrayIcon : public gui::Icon {};

// Icon resource names ("MAINICON" at first); changes reach the tray.
class TTrayResources {
 public:
  int Count() const { return list_.Count(); }
  const std::string& operator[](int i) const { return list_[i]; }
  void Add(const std::string& name);
  void Clear();
  void Assign(const TTrayResources& other);
  std::function<void(TTrayResources&)> OnChange;

 private:
  void Changed();
  plat::StringList list_;
};

using TTrayEvent = std::function<void(TTray* Sender)>;

class TTray : public TMsgComponent {
 public:
  explicit TTray(gui::Component* owner = nullptr);
  ~TTray() override;

  // False outside design mode until an icon has been registered; setting
  // it to a value other than what it reads adds (True) or deletes (False)
  // the icon.
  bool Active() const;
  void SetActive(bool v);
  TTrayIcon& Icon() { return icon_; }
  // Shows source's icon (the tray does not own the handle: source must
  // outlive its use) and updates the shell.
  void SetIcon(const gui::Icon& source);
  TTrayResources& IconResources() { return resources_; }
  void SetIconResources(const TTrayResources& r) { resources_.Assign(r); }
  int IconIndex() const { return iconIndex_; }
  void SetIconIndex(int i);
  gui::PopupMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(gui::PopupMenu* m);
  // At most 63 characters; the component's name until set.
  std::string Tip() const;
  void SetTip(const std::string& tip);
  // Renaming sets the tip too, as long as none was set explicitly.
  void SetName(const std::string& name) override;
  // 0 until the icon is first added; then one of a counter shared by all
  // trays of the program.
  unsigned IconID() const { return data_.ID; }
  const TNotifyIconData& Data() const { return data_; }

  TTrayEvent ShowMenu, SimpleFunction, DefaultFunction;

 protected:
  virtual void AddIcon();
  virtual void DeleteIcon();
  virtual void ModifyIcon();
  virtual void PopupAt(int x, int y);
  virtual void IconChanged();
  void WndProc(gui::Message& m) override;
  void Loaded() override;
  void Notification(gui::Component* c, gui::Operation op) override;

 private:
  // The Icon's handle, else the resource IconResources[IconIndex] (0: none).
  uintptr_t CurrentIcon();
  // The record's flags and tip from the current Tip.
  void CopyTip();
  // A modify call with the current icon and tip, whatever Active reads.
  void Modify();
  bool active_ = true;
  TTrayIcon icon_;
  TTrayResources resources_;
  int iconIndex_ = 0;
  gui::PopupMenu* popupMenu_ = nullptr;
  std::string tip_;
  bool tipSet_ = false;
  bool added_ = false;  // an add went out and no delete since
  TNotifyIconData data_;
  gui::Icon resourceIcon_;  // loaded from resourceName_
  std::string resourceName_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
