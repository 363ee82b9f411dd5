#include "controls/tray.h"

#include <algorithm>
#include <cstring>

#include "gui/environment.h"
#include "gui/form.h"
#include "gui/menu.h"
#include "gui/win_constants.h"

using namespace gui;

namespace {

// Icon ids: one counter for every tray of the program, starting at 1.
unsigned NextIconID() {
  static unsigned next = 0;
  return ++next;
}

}  // namespace

// ---------------------------------------------------------------- resources

void TTrayResources::Changed() {
  if (OnChange) OnChange(*this);
}

void TTrayResources::Add(const std::string& name) {
  list_.Add(name);
  Changed();
}

void TTrayResources::Clear() {
  list_.Clear();
  Changed();
}

void TTrayResources::Assign(const TTrayResources& other) {
  if (&other == this) return;
  list_ = other.list_;
  Changed();
}

// ---------------------------------------------------------------- tray

TTray::TTray(gui::Component* owner) : TMsgComponent(owner) {
  resources_.Add("MAINICON");
  icon_.OnChange = [this](gui::Icon&) { IconChanged(); };
  resources_.OnChange = [this](TTrayResources&) { IconChanged(); };
}

TTray::~TTray() {
  *alive_ = false;
  icon_.OnChange = nullptr;
  resources_.OnChange = nullptr;
  if (added_ && !Designing()) DeleteIcon();
}

bool TTray::Active() const {
  if (!Designing() && data_.Icon == 0) return false;
  return active_;
}

void TTray::SetActive(bool v) {
  if (v == Active()) return;
  active_ = v;
  if (Loading()) return;  // Loaded adds the icon
  if (v)
    AddIcon();
  else
    DeleteIcon();
}

void TTray::SetIcon(const gui::Icon& source) {
  if (&source == &icon_) return;
  icon_.SetHandle(source.Handle(), source.Width(), source.Height(), false);  // IconChanged follows
}

void TTray::SetIconIndex(int i) {
  if (i == iconIndex_) return;
  iconIndex_ = i;
  if (icon_.Empty()) IconChanged();
}

void TTray::SetPopupMenu(gui::PopupMenu* m) {
  if (m == popupMenu_) return;
  if (popupMenu_) RemoveFreeNotification(popupMenu_);
  popupMenu_ = m;
  if (m) FreeNotification(m);
}

void TTray::Notification(gui::Component* c, gui::Operation op) {
  if (op == gui::Operation::Remove && c && c == static_cast<gui::Component*>(popupMenu_))
    popupMenu_ = nullptr;
  TMsgComponent::Notification(c, op);
}

std::string TTray::Tip() const {
  return tipSet_ ? tip_ : Name().substr(0, size_t(kTrayTipLength));
}

void TTray::SetTip(const std::string& tip) {
  tip_ = tip.substr(0, size_t(kTrayTipLength));
  tipSet_ = true;
  ModifyIcon();
}

void TTray::SetName(const std::string& name) {
  TMsgComponent::SetName(name);
  if (!tipSet_) ModifyIcon();
}

void TTray::CopyTip() {
  const std::string tip = Tip();
  std::memset(data_.Tip, 0, sizeof data_.Tip);
  std::memcpy(data_.Tip, tip.data(), std::min(tip.size(), sizeof data_.Tip - 1));
  if (tip.empty())
    data_.Flags &= ~kNifTip;
  else
    data_.Flags |= kNifTip;
}

uintptr_t TTray::CurrentIcon() {
  if (!icon_.Empty()) return icon_.Handle();
  const std::string name =
      iconIndex_ >= 0 && iconIndex_ < resources_.Count() ? resources_[iconIndex_] : std::string();
  if (name != resourceName_) {
    resourceName_ = name;
    if (name.empty() || !resourceIcon_.LoadFromResourceName(name)) resourceIcon_.SetHandle(0, 0, 0, false);
  }
  return resourceIcon_.Handle();
}

void TTray::Loaded() {
  TMsgComponent::Loaded();
  AddIcon();  // whatever Active was set to while loading
}

void TTray::AddIcon() {
  if (Designing()) return;
  if (!HookedWindow() && Form()) SetHookedWindow(Form()->Handle());
  data_.Wnd = HookedWindow();
  if (!data_.ID) data_.ID = NextIconID();
  data_.CallbackMessage = kTrayCallbackMessage;
  data_.Icon = CurrentIcon();
  data_.Flags = kNifMessage | kNifIcon;
  CopyTip();
  if (!data_.Icon || !data_.Wnd) return;
  TrayShell().NotifyIcon(kNimAdd, data_);
  added_ = true;
}

void TTray::DeleteIcon() {
  if (Designing() || !added_) return;
  data_.Flags = 0;
  added_ = false;
  TrayShell().NotifyIcon(kNimDelete, data_);
}

void TTray::ModifyIcon() {
  if (Designing() || !Active()) return;
  Modify();
}

void TTray::Modify() {
  data_.Icon = CurrentIcon();
  CopyTip();
  TrayShell().NotifyIcon(kNimModify, data_);
}

void TTray::IconChanged() {
  if (CurrentIcon() == data_.Icon) return;
  // A tray left without an icon to show (and not switched off since) shows
  // the first one it gets: added now, or given to the shell's entry.
  if (data_.Icon == 0 && active_ && !Loading() && !Designing()) {
    if (added_)
      Modify();
    else
      AddIcon();
    return;
  }
  ModifyIcon();
}

void TTray::PopupAt(int x, int y) {
  if (Designing() || !popupMenu_ || !popupMenu_->AutoPopup()) return;
  const uintptr_t window = HookedWindow();
  const std::shared_ptr<bool> alive = alive_;
  TrayShell().SetForegroundWindow(window);
  popupMenu_->SetPopupComponent(this);
  popupMenu_->Popup(x, y);
  // Without a message after it the menu may not close on a click elsewhere.
  TrayShell().PostMessage(window, WM_NULL, 0, 0);
  if (*alive && popupMenu_) popupMenu_->SetPopupComponent(nullptr);
}

void TTray::WndProc(gui::Message& m) {
  if (m.Msg != kTrayCallbackMessage) return;
  m.Result = 0;
  if (data_.ID == 0 || m.WParam != data_.ID) return;
  const std::shared_ptr<bool> alive = alive_;
  switch (unsigned(m.LParam)) {
    case WM_LBUTTONDOWN:
      if (SimpleFunction) SimpleFunction(this);
      break;
    case WM_LBUTTONDBLCLK:
      if (DefaultFunction) DefaultFunction(this);
      break;
    case WM_RBUTTONDOWN: {
      if (ShowMenu) ShowMenu(this);
      if (!*alive) return;
      const gui::Point p = gui::Env().CursorPos();
      PopupAt(p.X, p.Y);
      break;
    }
    default:
      return;  // other mouse messages are not ours
  }
  if (*alive) m.Result = 1;
}
