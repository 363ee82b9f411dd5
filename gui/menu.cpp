#include "gui/menu.h"

#include <algorithm>

#include "gui/bitmap.h"
#include "gui/control.h"
#include "gui/image_list.h"
#include "gui/win_constants.h"
#include "platform/text.h"

namespace gui {

namespace {

unsigned NextCommand() {
  static unsigned next = 100;
  return next++;
}

const struct {
  int vk;
  const char* name;
} kKeyNames[] = {{VK_BACK, "BkSp"},  {VK_TAB, "Tab"},    {VK_RETURN, "Enter"}, {VK_ESCAPE, "Esc"},
                 {VK_SPACE, "Space"}, {VK_PRIOR, "PgUp"}, {VK_NEXT, "PgDn"},    {VK_END, "End"},
                 {VK_HOME, "Home"},  {VK_LEFT, "Left"},  {VK_UP, "Up"},        {VK_RIGHT, "Right"},
                 {VK_DOWN, "Down"},  {VK_INSERT, "Ins"}, {VK_DELETE, "Del"}};

std::string KeyName(int vk) {
  if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) return std::string(1, char(vk));
  if (vk >= VK_F1 && vk <= VK_F12) return std::string(1, 'F') += std::to_string(vk - VK_F1 + 1);
  for (const auto& k : kKeyNames)
    if (k.vk == vk) return k.name;
  return "";
}

}  // namespace

ShortCut MakeShortCut(int vk, unsigned shiftState) {
  ShortCut s = ShortCut(vk & 0xFF);
  if (shiftState & 1) s |= scShift;  // ssShift
  if (shiftState & 4) s |= scCtrl;   // ssCtrl
  if (shiftState & 2) s |= scAlt;    // ssAlt
  return s;
}

std::string ShortCutToText(ShortCut s) {
  const std::string key = KeyName(s & 0xFF);
  if (key.empty()) return "";
  std::string t;
  if (s & scShift) t += "Shift+";
  if (s & scCtrl) t += "Ctrl+";
  if (s & scAlt) t += "Alt+";
  return t + key;
}

ShortCut TextToShortCut(const std::string& text) {
  ShortCut mods = 0;
  std::string rest = text;
  for (;;) {
    const size_t plus = rest.find('+');
    if (plus == std::string::npos || plus + 1 == rest.size()) break;
    const std::string word = rest.substr(0, plus);
    if (plat::SameText(word, "Shift"))
      mods |= scShift;
    else if (plat::SameText(word, "Ctrl"))
      mods |= scCtrl;
    else if (plat::SameText(word, "Alt"))
      mods |= scAlt;
    else
      return scNone;
    rest = rest.substr(plus + 1);
  }
  for (int vk = 1; vk < 256; ++vk) {
    const std::string name = KeyName(vk);
    if (!name.empty() && plat::SameText(name, rest)) return ShortCut(vk | mods);
  }
  return scNone;
}

char AcceleratorOf(const std::string& caption) {
  for (size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] != '&') return plat::FoldChar(caption[i + 1]);
    ++i;
  }
  return 0;
}

std::string StripAccelerator(const std::string& caption) {
  std::string s;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] != '&') {
      s += caption[i];
    } else if (i + 1 < caption.size() && caption[i + 1] == '&') {
      s += '&';
      ++i;
    }
  }
  return s;
}

// ---------------------------------------------------------------- MenuItem

MenuItem::MenuItem(Component* owner) : Component(owner), command_(NextCommand()) {}

MenuItem::~MenuItem() {
  for (MenuItem* i : items_) i->parent_ = nullptr;
  items_.clear();
  if (parent_) parent_->Remove(this);
}

void MenuItem::Changed(bool structure) {
  if (Menu* m = GetMenu()) m->ItemChanged(this, structure);
}

#define TARN_MENU_SET(field, v) \
  do {                          \
    if (field == (v)) return;   \
    field = (v);                \
    Changed(false);             \
  } while (0)

void MenuItem::SetCaption(const std::string& c) { TARN_MENU_SET(caption_, c); }
void MenuItem::SetShortCut(gui::ShortCut s) { TARN_MENU_SET(shortCut_, s); }
void MenuItem::SetImageIndex(int i) { TARN_MENU_SET(imageIndex_, i); }
void MenuItem::SetEnabled(bool e) { TARN_MENU_SET(enabled_, e); }
void MenuItem::SetVisible(bool v) { TARN_MENU_SET(visible_, v); }
void MenuItem::SetRadioItem(bool r) { TARN_MENU_SET(radio_, r); }
void MenuItem::SetGroupIndex(int g) { TARN_MENU_SET(group_, g); }
void MenuItem::SetDefault(bool d) { TARN_MENU_SET(default_, d); }
#undef TARN_MENU_SET

void MenuItem::SetSubMenuImages(ImageList* list) {
  if (list == subMenuImages_) return;
  if (subMenuImages_) RemoveFreeNotification(subMenuImages_);
  subMenuImages_ = list;
  if (list) FreeNotification(list);
  Changed(false);
}

ImageList* MenuItem::ItemImages() const {
  if (parent_ && parent_->subMenuImages_) return parent_->subMenuImages_;
  const Menu* m = GetMenu();
  return m ? m->Images() : nullptr;
}

void MenuItem::SetBitmap(const gui::Bitmap* b) {
  if (b && !b->Empty()) {
    bitmap_ = std::make_unique<gui::Bitmap>();
    bitmap_->Assign(*b);
  } else {
    bitmap_.reset();
  }
  Changed(false);
}

void MenuItem::SetChecked(bool c) {
  if (c && radio_ && parent_)
    for (MenuItem* sib : parent_->items_)
      if (sib != this && sib->radio_ && sib->group_ == group_ && sib->checked_) {
        sib->checked_ = false;
        sib->Changed(false);
      }
  if (c == checked_) return;
  checked_ = c;
  Changed(false);
}

void MenuItem::Add(MenuItem* item) { Insert(Count(), item); }

void MenuItem::Insert(int index, MenuItem* item) {
  if (!item || item == this || item->parent_ == this) return;
  if (item->parent_) item->parent_->Remove(item);
  if (!item->Owner()) InsertComponent(item);
  index = std::clamp(index, 0, Count());
  items_.insert(items_.begin() + index, item);
  item->parent_ = this;
  Changed(true);
}

void MenuItem::Remove(MenuItem* item) {
  auto it = std::find(items_.begin(), items_.end(), item);
  if (it == items_.end()) return;
  items_.erase(it);
  item->parent_ = nullptr;
  Changed(true);
}

int MenuItem::IndexOf(const MenuItem* item) const {
  auto it = std::find(items_.begin(), items_.end(), item);
  return it == items_.end() ? -1 : int(it - items_.begin());
}

Menu* MenuItem::GetMenu() const {
  const MenuItem* root = this;
  while (root->parent_) root = root->parent_;
  return root->menu_;
}

MenuItem* MenuItem::AddItem(const std::string& caption, std::function<void(Component*)> onClick) {
  auto* item = new MenuItem(this);
  item->caption_ = caption;
  item->OnClick = std::move(onClick);
  Add(item);
  return item;
}

void MenuItem::Click() {
  if (OnClick) OnClick(this);
}

MenuItem* MenuItem::FindCommand(unsigned id) {
  if (command_ == id) return this;
  for (MenuItem* i : items_)
    if (MenuItem* f = i->FindCommand(id)) return f;
  return nullptr;
}

void MenuItem::Notification(Component* c, Operation op) {
  if (op == Operation::Remove && c && c == static_cast<Component*>(subMenuImages_)) subMenuImages_ = nullptr;
  Component::Notification(c, op);
}

// ---------------------------------------------------------------- Menu

Menu::Menu(Component* owner) : Component(owner), items_(new MenuItem(this)) { items_->menu_ = this; }

Menu::~Menu() {
  MarkDestroying();
  Menus().Forget(*this);
  items_->menu_ = nullptr;
  DestroyComponents();
}

void Menu::SetImages(ImageList* list) {
  if (list == images_) return;
  if (images_) RemoveFreeNotification(images_);
  images_ = list;
  if (list) FreeNotification(list);
  ItemChanged(items_, false);
}

void Menu::SetOwnerDraw(bool o) {
  if (o == ownerDraw_) return;
  ownerDraw_ = o;
  ItemChanged(items_, true);
}

void Menu::SetRightToLeft(bool r) {
  if (r == rightToLeft_) return;
  rightToLeft_ = r;
  ItemChanged(items_, true);
}

void Menu::SetBarColor(Color c) {
  if (c == barColor_) return;
  barColor_ = c;
  if (!Destroying()) Menus().BarColorChanged(*this);
}

uintptr_t Menu::Handle() { return Menus().Realize(*this); }

bool Menu::DispatchCommand(unsigned id) {
  MenuItem* item = items_->FindCommand(id);
  if (!item || item == items_) return false;
  if (item->Enabled()) item->Click();
  return true;
}

MenuItem* Menu::FindShortCut(gui::ShortCut s) {
  if (s == scNone) return nullptr;
  std::vector<MenuItem*> todo{items_};
  while (!todo.empty()) {
    MenuItem* i = todo.back();
    todo.pop_back();
    if (!i->Visible() || !i->Enabled()) continue;
    if (i != items_ && i->ShortCut() == s) return i;
    for (int k = i->Count() - 1; k >= 0; --k) todo.push_back(i->Items(k));
  }
  return nullptr;
}

void Menu::ItemChanged(MenuItem* item, bool structure) {
  if (Destroying()) return;
  Menus().Changed(*this, item, structure);
}

void Menu::Notification(Component* c, Operation op) {
  if (op == Operation::Remove && c && c == static_cast<Component*>(images_)) images_ = nullptr;
  Component::Notification(c, op);
}

void PopupMenu::Popup(int x, int y) {
  if (OnPopup) OnPopup(this);
  MenuItem* chosen = Menus().TrackPopup(*this, x, y);
  if (chosen && chosen->Enabled()) chosen->Click();
}

MenuItem* RecordingMenuBackend::TrackPopup(PopupMenu& popup, int x, int y) {
  shown.push_back({&popup, x, y});
  MenuItem* c = choose;
  choose = nullptr;
  return c;
}

}  // namespace gui
