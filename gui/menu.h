// Menus as a portable model: items with caption, shortcut, image, check
// and radio marks, enabled and visible states, sub-items, a click event
// and owner-drawing hooks; the main menu of a window and popup menus. The
// menu backend realises them (the window system's menus in the product;
// natively a recorder of what was shown).
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gui/canvas.h"
#include "gui/component.h"
#include "gui/services.h"

namespace gui {

class Bitmap;
class ImageList;
class Menu;

// Key code (low byte) with modifiers.
using ShortCut = uint16_t;
enum : ShortCut { scShift = 0x2000, scCtrl = 0x4000, scAlt = 0x8000, scNone = 0 };
ShortCut MakeShortCut(int vk, unsigned shiftState /* ss* flags */);
// "Ctrl+S", "Shift+Del", "F2", "Alt+Enter"... ("" for scNone).
std::string ShortCutToText(ShortCut s);
// The reverse; scNone when the text is not a shortcut.
ShortCut TextToShortCut(const std::string& text);
// The accelerator character of a caption ('&' before it; "&&" is a plain
// '&'), upper-cased; 0 when none.
char AcceleratorOf(const std::string& caption);
// The caption without its accelerator marks.
std::string StripAccelerator(const std::string& caption);

class MenuItem : public Component {
 public:
  explicit MenuItem(Component* owner = nullptr);
  ~MenuItem() override;

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& c);
  // A caption of "-" makes the item a separator.
  bool IsLine() const { return caption_ == "-"; }
  gui::ShortCut ShortCut() const { return shortCut_; }
  void SetShortCut(gui::ShortCut s);
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int i);
  bool Checked() const { return checked_; }
  // Checking a radio item unchecks the other radio items of its group.
  void SetChecked(bool c);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool e);
  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  bool RadioItem() const { return radio_; }
  void SetRadioItem(bool r);
  int GroupIndex() const { return group_; }
  void SetGroupIndex(int g);
  bool Default() const { return default_; }
  void SetDefault(bool d);
  // Images of the sub-items (nullptr: the menu's Images).
  ImageList* SubMenuImages() const { return subMenuImages_; }
  void SetSubMenuImages(ImageList* list);
  // The images the item's ImageIndex picks from: its parent's sub-menu
  // images, else its menu's (nullptr: none).
  ImageList* ItemImages() const;
  // A picture of the item's own (a copy is kept; nullptr: none), drawn by
  // owner drawing where no image of the list stands.
  const gui::Bitmap* Bitmap() const { return bitmap_.get(); }
  void SetBitmap(const gui::Bitmap* b);

  // Sub-items (owned by this item unless they have another owner).
  int Count() const { return int(items_.size()); }
  MenuItem* Items(int i) const { return items_[size_t(i)]; }
  MenuItem* Parent() const { return parent_; }
  void Add(MenuItem* item);
  void Insert(int index, MenuItem* item);
  // Takes the item out of the list without deleting it.
  void Remove(MenuItem* item);
  int IndexOf(const MenuItem* item) const;
  // The menu (main or popup) the item belongs to.
  gui::Menu* GetMenu() const;
  // Adds a new sub-item with a caption (and click handler); returns it.
  MenuItem* AddItem(const std::string& caption, std::function<void(Component*)> onClick = {});

  // Fires OnClick.
  virtual void Click();
  std::function<void(Component* sender)> OnClick;
  // Owner drawing: the size of the item, then its drawing in rect. State:
  // ODS_* flags.
  std::function<void(Component* sender, Canvas& canvas, int& width, int& height)> OnMeasureItem;
  std::function<void(Component* sender, Canvas& canvas, const Rect& rect, unsigned state)>
      OnDrawItem;

  // The realised item's identifier (command id) of the backend.
  unsigned Command() const { return command_; }
  // Finds the item with command id among this one and those below.
  MenuItem* FindCommand(unsigned id);

 protected:
  void Notification(Component* c, Operation op) override;

 private:
  void Changed(bool structure);
  std::string caption_;
  gui::ShortCut shortCut_ = scNone;
  int imageIndex_ = -1;
  bool checked_ = false;
  bool enabled_ = true;
  bool visible_ = true;
  bool radio_ = false;
  int group_ = 0;
  bool default_ = false;
  ImageList* subMenuImages_ = nullptr;
  std::unique_ptr<gui::Bitmap> bitmap_;
  std::vector<MenuItem*> items_;
  MenuItem* parent_ = nullptr;
  gui::Menu* menu_ = nullptr;  // set on the root item
  unsigned command_;
  friend class Menu;
};

class Menu : public Component {
 public:
  explicit Menu(Component* owner = nullptr);
  ~Menu() override;
  MenuItem& Items() { return *items_; }
  const MenuItem& Items() const { return *items_; }
  ImageList* Images() const { return images_; }
  void SetImages(ImageList* list);
  // Items drawn by their OnMeasureItem / OnDrawItem handlers.
  bool OwnerDraw() const { return ownerDraw_; }
  void SetOwnerDraw(bool o);
  // The colour a menu bar shows behind and beside its items (clDefault:
  // the system's), so that owner-drawn items and the rest of the bar agree.
  Color BarColor() const { return barColor_; }
  void SetBarColor(Color c);
  // Items read from right to left (their order, check marks and texts).
  bool RightToLeft() const { return rightToLeft_; }
  void SetRightToLeft(bool r);
  // The backend's handle of the realised menu (0 natively).
  uintptr_t Handle();
  // Dispatches a command id (WM_COMMAND from the menu): true when an item
  // had it (its OnClick has run).
  bool DispatchCommand(unsigned id);
  // Finds the item whose shortcut is s (visible and enabled ones only).
  MenuItem* FindShortCut(gui::ShortCut s);
  // Called by items after a change (structure: items added or removed).
  void ItemChanged(MenuItem* item, bool structure);

 protected:
  void Notification(Component* c, Operation op) override;

 private:
  MenuItem* items_;
  ImageList* images_ = nullptr;
  bool ownerDraw_ = false;
  bool rightToLeft_ = false;
  Color barColor_ = clDefault;
};

class MainMenu : public Menu {
 public:
  explicit MainMenu(Component* owner = nullptr) : Menu(owner) {}
};

class PopupMenu : public Menu {
 public:
  explicit PopupMenu(Component* owner = nullptr) : Menu(owner) {}
  // Fires OnPopup, then shows the menu at screen point (x, y) and waits
  // for the choice; the chosen item's OnClick runs before it returns.
  void Popup(int x, int y);
  std::function<void(Component* sender)> OnPopup;
  // Whether a right click (or the context-menu key) on a control or tray
  // that names this menu shows it; off, the owner's own handler decides.
  bool AutoPopup() const { return autoPopup_; }
  void SetAutoPopup(bool a) { autoPopup_ = a; }
  // The control whose popup menu this is while it is shown.
  Component* PopupComponent() const { return popupComponent_; }
  void SetPopupComponent(Component* c) { popupComponent_ = c; }

 private:
  Component* popupComponent_ = nullptr;
  bool autoPopup_ = true;
};

// The menu backend.
class MenuBackend {
 public:
  virtual ~MenuBackend() = default;
  // Shows popup at (x, y) and answers the chosen item (nullptr: none).
  virtual MenuItem* TrackPopup(PopupMenu& popup, int x, int y) = 0;
  // Realises menu (or refreshes it after a change) and answers its handle.
  virtual uintptr_t Realize(Menu& menu) = 0;
  // The menu or an item changed; the backend refreshes its realisation.
  virtual void Changed(Menu& menu, MenuItem* item, bool structure) = 0;
  // Only the menu's bar colour changed (by default the whole menu is
  // refreshed).
  virtual void BarColorChanged(Menu& menu) { Changed(menu, nullptr, false); }
  // The menu is going away.
  virtual void Forget(Menu& menu) = 0;
};

// Native stand-in: records every popup shown and answers the item a test
// chose beforehand.
class RecordingMenuBackend : public MenuBackend {
 public:
  struct Shown {
    PopupMenu* menu;
    int x;
    int y;
  };
  MenuItem* TrackPopup(PopupMenu& popup, int x, int y) override;
  uintptr_t Realize(Menu& menu) override { return 0; }
  void Changed(Menu& menu, MenuItem* item, bool structure) override { ++changes; }
  void Forget(Menu& menu) override {}
  // The item the next popup answers with (then cleared).
  MenuItem* choose = nullptr;
  std::vector<Shown> shown;
  int changes = 0;
};

inline MenuBackend& Menus() { return Service<MenuBackend>::Get(); }
template <>
MenuBackend& DefaultService<MenuBackend>();

}  // namespace gui
