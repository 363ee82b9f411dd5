#include "controls/menu_skin.h"

#include <algorithm>
#include <string>
#include <vector>

#include "controls/color_utils.h"
#include "controls/control_sub_class.h"
#include "gui/bitmap.h"
#include "gui/control_bar.h"
#include "gui/form.h"
#include "gui/image_list.h"
#include "gui/number_format.h"
#include "gui/tool_bar.h"
#include "gui/win_constants.h"
#include "platform/dispatcher.h"

using namespace gui;

namespace {

// An item or menu with this tag keeps the system's drawing.
constexpr intptr_t kLeaveAlone = 999;
// Programs run on the NT family, whose menu bar items need 8 pixels more.
constexpr int kTopLevelExtra = 8;

// The skin's hooks: distinct types, so that an item's hook can be told to
// be the skin's (std::function::target) and kept apart from the item's own.
struct SkinMeasure {
  TMenuSkin* skin;
  void operator()(Component* sender, Canvas& c, int& w, int& h) const {
    skin->MeasureItem(*static_cast<MenuItem*>(sender), c, w, h);
  }
};
struct SkinDraw {
  TMenuSkin* skin;
  void operator()(Component* sender, Canvas& c, const Rect& r, unsigned state) const {
    skin->DrawItem(*static_cast<MenuItem*>(sender), c, r, state);
  }
};

struct SkinToolDraw {
  TMenuSkin* skin;
  void operator()(ToolBar* bar, ToolButton* b, Canvas& c, const Rect& r, unsigned state, bool& dflt) const {
    skin->DrawToolButton(*bar, *b, c, r, state, dflt);
  }
};
struct SkinBandPaint {
  TMenuSkin* skin;
  void operator()(ControlBar* bar, Control* band, Canvas& c, Rect& area, unsigned& options) const {
    skin->PaintBand(*bar, *band, c, area, options);
  }
};

template <class Hook, class F>
bool IsHookOf(const F& f, const TMenuSkin* skin) {
  const Hook* h = f.template target<Hook>();
  return h && h->skin == skin;
}

// Installs (apply) or takes back (remove) the skin's handler in slot: an
// own handler stays unless override; a handler that is the skin's already
// stays as it is (it may be running).
template <class Hook, class F>
void ApplyHook(F& slot, TMenuSkin* skin, bool apply, bool override) {
  const bool ours = IsHookOf<Hook>(slot, skin);
  if (apply) {
    if (!ours && (!slot || override)) slot = Hook{skin};
  } else if (ours) {
    slot = nullptr;
  }
}

// An item's glyph: the image at its ImageIndex in the images it picks from
// (its parent's sub-menu images or its menu's), else its own bitmap.
struct Glyph {
  const ImageList* images = nullptr;
  const Bitmap* bitmap = nullptr;
  explicit Glyph(const MenuItem& item) {
    const ImageList* list = item.ItemImages();
    if (list && item.ImageIndex() >= 0 && item.ImageIndex() < list->Count())
      images = list;
    else
      bitmap = item.Bitmap();
  }
  bool Present() const { return images || bitmap; }
  gui::Size Extent() const {
    if (images) return {images->Width(), images->Height()};
    if (bitmap) return {bitmap->Width(), bitmap->Height()};
    return {};
  }
  void Get(const MenuItem& item, Bitmap& out) const {
    if (images)
      images->GetBitmap(item.ImageIndex(), out);
    else if (bitmap)
      out.Assign(*bitmap);
  }
};

// The skinned kinds of control and of container, by the control's kind
// (-1: none).
int SkinControlOf(ControlKind k) {
  switch (k) {
    case ControlKind::ComboBox: return scCombo;
    case ControlKind::Edit: return scEdit;
    case ControlKind::UpDown: return scEdit;  // the edit's partner
    case ControlKind::MaskEdit: return scMaskEdit;
    case ControlKind::Memo: return scMemo;
    case ControlKind::RichEdit: return scRichEdit;
    case ControlKind::CheckBox: return scCheckBox;
    case ControlKind::RadioButton: return scRadioButton;
    case ControlKind::Button: return scButton;
    case ControlKind::BitBtn: return scBitBtn;
    case ControlKind::SpeedButton: return scSpeedButton;
    case ControlKind::Panel: return scPanel;
    case ControlKind::GroupBox: return scGroupBox;
    default: return -1;
  }
}

int SkinContainerOf(ControlKind k) {
  switch (k) {
    case ControlKind::Form: return sccForm;
    case ControlKind::Frame: return sccFrame;
    case ControlKind::ToolBar: return sccToolbar;
    case ControlKind::CoolBar: return sccCoolbar;
    case ControlKind::ControlBar: return sccControlbar;
    case ControlKind::Panel: return sccPanel;
    case ControlKind::ScrollBox: return sccScrollBox;
    case ControlKind::GroupBox: return sccGroupBox;
    case ControlKind::TabSheet: return sccTabSheet;
    case ControlKind::PageScroller: return sccPageScroller;
    default: return -1;
  }
}

}  // namespace

// Right-to-left menus: every horizontal position mirrored within the
// item's rectangle (rectangles and pixel positions alike).
struct TMenuSkin::Mirror {
  bool on;
  int left, right;
  int X(int x) const { return on ? left + right - 1 - x : x; }
  Point P(Point p) const { return {X(p.X), p.Y}; }
  Rect R(const Rect& r) const { return on ? Rect{left + right - r.Right, r.Top, left + right - r.Left, r.Bottom} : r; }
};

TMenuSkin::TMenuSkin(Component* owner) : Component(owner) {
  MenuSkinSystemFont(font_);
  selectFontColor_ = font_.Color();
}

TMenuSkin::~TMenuSkin() {
  target_.reset();
  // A form that is going destroys its menus and controls itself.
  if (active_ && Owner() && !Owner()->Destroying()) Apply(false);
}

// ---------------------------------------------------------------- properties

void TMenuSkin::SetActive(bool a) {
  if (a == active_) return;
  active_ = a;
  if (Loading()) return;
  Apply(a);
  RedrawMenuBar();
}

void TMenuSkin::Loaded() {
  Component::Loaded();
  if (active_) {
    Apply(true);
    RedrawMenuBar();
  }
}

void TMenuSkin::SetOverrideOwnerDraw(bool o) {
  override_ = o;
  if (active_ && !Loading()) Apply(true);
}

void TMenuSkin::SetMenuBarColor(gui::Color c) {
  menuBarColor_ = c;
  RedrawMenuBar();
}

void TMenuSkin::SetUseSystemColors(bool u) {
  useSystemColors_ = u;
  RedrawMenuBar();
}

// ---------------------------------------------------------------- applying

// Removing takes back everything the skin applied, whatever kinds of
// control and container are chosen by then.
void TMenuSkin::Apply(bool apply) {
  applyPending_ = false;
  Component* form = Owner();
  if (!form || (apply && !(containers_ & SkinBit(sccForm)))) return;
  std::set<Component*> seen;
  for (int i = 0; i < form->ComponentCount(); ++i) Visit(form->Components(i), apply, seen);
  // A menu bar the form shows but does not own.
  if (auto* f = dynamic_cast<Form*>(form))
    if (f->Menu() && f->Menu()->Owner() != form) ApplyToMenu(*f->Menu(), apply);
  if (apply) return;
  // What the walk no longer reaches (moved out of the visited containers).
  while (!subclasses_.empty()) Unhook(*const_cast<Control*>(subclasses_.begin()->first));
  while (!skinnedMenus_.empty()) ApplyToMenu(**skinnedMenus_.begin(), false);
}

// A component of the form, or a child of a visited container: each once.
void TMenuSkin::Visit(Component* c, bool apply, std::set<Component*>& seen) {
  if (!seen.insert(c).second || c == this) return;
  if (auto* menu = dynamic_cast<Menu*>(c)) {
    ApplyToMenu(*menu, apply);
    return;
  }
  auto* control = dynamic_cast<Control*>(c);
  if (!control) return;
  ApplyToControl(*control, apply);
  const int container = SkinContainerOf(control->Kind());
  if (container >= 0 && (!apply || (containers_ & SkinBit(container))))
    for (int i = 0; i < control->ControlCount(); ++i) Visit(control->Controls(i), apply, seen);
}

void TMenuSkin::ApplyToControl(Control& c, bool apply) {
  if (auto* bar = dynamic_cast<ToolBar*>(&c)) {
    if ((apply && !(controls_ & SkinBit(scToolbar))) || Designing()) return;
    if (apply) bar->SetFlat(true);
    ApplyHook<SkinToolDraw>(bar->OnCustomDrawButton, this, apply, override_);
    bar->Invalidate();
    return;
  }
  if (auto* bar = dynamic_cast<ControlBar*>(&c)) {
    if (apply && !(controls_ & SkinBit(scControlbar))) return;
    ApplyHook<SkinBandPaint>(bar->OnBandPaint, this, apply, override_);
    bar->Invalidate();
    return;
  }
  const int kind = SkinControlOf(c.Kind());
  if (!apply)
    Unhook(c);
  else if (kind >= 0 && (controls_ & SkinBit(kind)))
    Hook(c);
}

void TMenuSkin::Hook(Control& c) {
  if (subclasses_.count(&c)) return;
  subclasses_[&c] = new TControlSubClass(*this, c);
  FreeNotification(&c);
}

void TMenuSkin::Unhook(Control& c) {
  auto it = subclasses_.find(&c);
  if (it == subclasses_.end()) return;
  TControlSubClass* sub = it->second;
  subclasses_.erase(it);
  RemoveFreeNotification(&c);
  delete sub;
}

TControlSubClass* TMenuSkin::SubClassOf(const Control& c) const {
  auto it = subclasses_.find(&c);
  return it == subclasses_.end() ? nullptr : it->second;
}

bool TMenuSkin::SkinsBar(const ToolBar& bar) const { return IsHookOf<SkinToolDraw>(bar.OnCustomDrawButton, this); }
bool TMenuSkin::SkinsBar(const ControlBar& bar) const { return IsHookOf<SkinBandPaint>(bar.OnBandPaint, this); }

void TMenuSkin::Notification(Component* c, Operation op) {
  if (op == Operation::Remove) {
    for (auto it = skinnedMenus_.begin(); it != skinnedMenus_.end(); ++it)
      if (static_cast<Component*>(*it) == c) {
        skinnedMenus_.erase(it);
        break;
      }
    // A hooked control going away: its hook goes without touching it.
    for (auto it = subclasses_.begin(); it != subclasses_.end(); ++it)
      if (static_cast<const Component*>(it->first) == c) {
        TControlSubClass* sub = it->second;
        subclasses_.erase(it);
        sub->Forget();
        delete sub;
        break;
      }
  } else if (autoDetect_ && active_ && !Loading() && !Destroying() && c != this && c->Owner() != this) {
    ScheduleApply();
  }
  Component::Notification(c, op);
}

void TMenuSkin::ScheduleApply() {
  if (applyPending_) return;
  applyPending_ = true;
  if (!target_) target_ = std::make_unique<plat::MessageTarget>();
  target_->Post([this] {
    if (applyPending_ && active_) Apply(true);
    applyPending_ = false;
  });
}

void TMenuSkin::ApplyToMenu(Menu& menu, bool apply) {
  const int kind = dynamic_cast<MainMenu*>(&menu) ? scMainMenu : scPopupMenu;
  if (!apply) {
    // The system's drawing back before the hooks go.
    if (skinnedMenus_.erase(&menu)) {
      RemoveFreeNotification(&menu);
      menu.SetOwnerDraw(false);
      if (kind == scMainMenu) menu.SetBarColor(clDefault);
    }
    ApplyToItems(menu.Items(), false);
    return;
  }
  if (!(controls_ & SkinBit(kind)) || menu.Tag() == kLeaveAlone) return;
  // Hooks in place before the menu is rebuilt as owner-drawn.
  ApplyToItems(menu.Items(), true);
  if (skinnedMenus_.insert(&menu).second) FreeNotification(&menu);
  menu.SetOwnerDraw(true);
  // The bar beside the items in the colour the items are drawn on.
  if (kind == scMainMenu) menu.SetBarColor(WorkingColors(32, nullptr).MenuBar);
}

void TMenuSkin::ApplyToItems(MenuItem& parent, bool apply) {
  for (int i = 0; i < parent.Count(); ++i) {
    MenuItem& item = *parent.Items(i);
    if (item.Tag() != kLeaveAlone) {
      ApplyHook<SkinMeasure>(item.OnMeasureItem, this, apply, override_);
      ApplyHook<SkinDraw>(item.OnDrawItem, this, apply, override_);
    }
    ApplyToItems(item, apply);
  }
}

bool TMenuSkin::SkinsItem(const MenuItem& item) const {
  return IsHookOf<SkinMeasure>(item.OnMeasureItem, this) && IsHookOf<SkinDraw>(item.OnDrawItem, this);
}

void TMenuSkin::RedrawMenuBar() {
  auto* form = dynamic_cast<Form*>(Owner());
  if (!form || !form->Menu() || Loading()) return;
  Menu& bar = *form->Menu();
  if (active_ && bar.OwnerDraw() && bar.BarColor() != clDefault) bar.SetBarColor(WorkingColors(32, nullptr).MenuBar);
  Menus().Changed(bar, nullptr, false);
}

// ---------------------------------------------------------------- colours

TMenuSkinColors TMenuSkin::WorkingColors(int bitsPerPixel,
                                         const std::function<gui::Color(gui::Color)>& nearest) const {
  const bool rich = bitsPerPixel >= 16;
  auto lighten = [&](gui::Color c, int p) {
    const gui::Color l = Lighten(c, p);
    return nearest ? nearest(l) : l;
  };
  TMenuSkinColors k{};
  if (useSystemColors_) {
    k.MenuBackground = rich ? lighten(clBtnFace, 86) : clWhite;
    k.IconColumn = rich ? lighten(clBtnFace, 16) : clBtnFace;
    k.SelectFill = rich ? lighten(clHighlight, 68) : clWhite;
    k.SelectFrame = clHighlight;
    k.SelectedText = font_.Color();
    k.LightShade1 = rich ? lighten(clHighlight, 80) : clWhite;
    k.LightShade2 = rich ? lighten(clHighlight, 50) : clWhite;
    k.CheckMark = clHighlight;
    // The colour the system gives the rest of the bar, not the button
    // face: where the system ignores a menu bar's own brush (it paints the
    // bar's empty part in the menu colour) the bar would otherwise be in
    // two colours whenever the two differ; where it takes the brush the
    // bar is in one colour either way.
    k.MenuBar = clMenu;
    k.DisabledText = rich ? lighten(clBtnShadow, 10) : clBtnShadow;
    k.Separator = rich ? lighten(clBtnShadow, 25) : clBtnShadow;
  } else {
    k.MenuBackground = color_;
    k.IconColumn = iconBackColor_;
    k.SelectFill = rich ? lighten(selectColor_, 68) : selectColor_;
    k.SelectFrame = selectBorderColor_;
    k.SelectedText = selectFontColor_;
    k.LightShade1 = rich ? lighten(selectColor_, 80) : clWhite;
    k.LightShade2 = rich ? lighten(selectColor_, 50) : MakeRGB(0xC0, 0xC0, 0xC0);
    k.CheckMark = checkedColor_;
    k.MenuBar = menuBarColor_;
    k.DisabledText = disabledColor_;
    k.Separator = separatorColor_;
  }
  k.Shadow1 = rich ? Darken(clBtnFace, 90) : clBtnShadow;
  k.Shadow2 = rich ? Darken(clBtnFace, 76) : clBtnShadow;
  return k;
}

// ---------------------------------------------------------------- measuring

bool TMenuSkin::IsTopLevel(const MenuItem& item) const {
  auto* form = dynamic_cast<const Form*>(Owner());
  return form && form->Menu() && item.Parent() == &form->Menu()->Items();
}

gui::Size TMenuSkin::GlyphSize(const MenuItem& item, bool topLevel) const {
  gui::Size s = Glyph(item).Extent();
  if (!topLevel) s.Width = std::max(s.Width, iconWidth_);
  return s;
}

void TMenuSkin::PrepareFont(Canvas& c, const MenuItem& item) {
  if (useSystemColors_) SystemMenuFont(font_);
  c.Font().Assign(font_);
  if (item.Default()) c.Font().SetStyle(font_.Style() | fsBold);
}

void TMenuSkin::MeasureItem(MenuItem& item, Canvas& c, int& width, int& height) {
  if (!active_) return;
  if (item.IsLine()) {
    height = 4;
    return;
  }
  CanvasSaver saved(c);
  PrepareFont(c, item);
  std::string text = item.Caption();
  const std::string shortcut = ShortCutToText(item.ShortCut());
  // "WWW" keeps a gap between the caption and the shortcut.
  if (!shortcut.empty()) text += shortcut + "WWW";
  const gui::Size extent = c.TextExtent(text);
  const bool top = IsTopLevel(item);
  const gui::Size glyph = GlyphSize(item, top);
  int w = extent.Width + 5;
  if (text.find('&') != std::string::npos) w -= c.TextWidth("&");
  if (glyph.Width > 0) w += glyph.Width;
  if (top) w += kTopLevelExtra;
  const int h = std::max(extent.Height + int(gui::Round(extent.Height * 0.75)), glyph.Height + 6);
  width = std::max(width, w);
  height = std::max(height, h);
}

// ---------------------------------------------------------------- drawing

void TMenuSkin::DrawItem(MenuItem& item, Canvas& c, const Rect& rect, unsigned state) {
  if (!active_) return;
  {
    CanvasSaver saved(c);
    const Rect r{rect.Left, rect.Top, rect.Right, rect.Bottom + 1};
    const int bits = SurfaceBits(c);
    const bool rich = bits >= 16;
    PrepareFont(c, item);
    const TMenuSkinColors k = WorkingColors(bits, [&](gui::Color x) { return NearestColor(c, x); });
    const bool top = IsTopLevel(item);
    const bool selected = (state & ODS_SELECTED) != 0;
    const bool disabled = (state & (ODS_GRAYED | ODS_DISABLED)) != 0;
    const bool checked = (state & ODS_CHECKED) != 0;
    const bool hasGlyph = Glyph(item).Present();
    const gui::Size glyph = GlyphSize(item, top);
    const Menu* menu = item.GetMenu();
    const Mirror m{menu && menu->RightToLeft(), r.Left, r.Right};

    // Icon column, glyph box and where the text starts (left to right;
    // mirrored when drawn).
    const Rect column{r.Left, r.Top, r.Left + std::max(iconWidth_, glyph.Width), r.Bottom};
    Rect box = hasGlyph ? Rect{column.Left + 1, column.Top + 2, column.Right - 3, column.Bottom - 2}
                        : Rect::FromSize(column.Left + (column.Width() - 10) / 2,
                                         column.Top + (column.Height() - 10) / 2, 10, 10);
    if (top) box = box.Offset(0, -1);
    int textStart = top ? r.Left + 4 : r.Left + iconWidth_;
    if (glyph.Width > iconWidth_) textStart = r.Left + glyph.Width + 4;

    // Background.
    if (top) {
      c.Brush().SetColor(k.MenuBar);
      c.FillRect(r);
    } else {
      if (gradient_ && rich) {
        // The column shades from the menu's background into its own colour.
        const gui::Color from = ColorToRGB(k.MenuBackground), to = ColorToRGB(k.IconColumn);
        const int w = std::max(column.Width(), 1);
        for (int x = 0; x < column.Width(); ++x) {
          auto mix = [&](int a, int b) { return a + (b - a) * (x + 1) / w; };
          c.Brush().SetColor(MakeRGB(mix(RedOf(from), RedOf(to)), mix(GreenOf(from), GreenOf(to)),
                                     mix(BlueOf(from), BlueOf(to))));
          c.FillRect(m.R({column.Left + x, r.Top, column.Left + x + 1, r.Bottom}));
        }
      } else {
        c.Brush().SetColor(k.IconColumn);
        c.FillRect(m.R(column));
      }
      c.Brush().SetColor(k.MenuBackground);
      c.FillRect(m.R({column.Right, r.Top, r.Right, r.Bottom}));
    }

    // Selection.
    if (selected && drawSelect_ && !item.IsLine()) {
      if (top) {
        DrawTopLevelSelection(c, r, k, rich, m);
      } else {
        const Rect sel = m.R({r.Left, r.Top + 1, r.Right - (flatMenu_ ? 1 : 0), r.Bottom - 1});
        c.Brush().SetColor(k.SelectFill);
        c.FillRect(sel);
        c.Brush().SetColor(k.SelectFrame);
        c.FrameRect(sel);
      }
    }

    // Check box and glyph.
    box = m.R(box);
    if (checked) {
      c.Brush().SetColor(selected ? k.LightShade2 : k.LightShade1);
      c.FillRect(box);
      c.Brush().SetColor(hasGlyph ? k.SelectFrame : k.CheckMark);
      c.FrameRect(box);
    }
    const gui::Color textColor = disabled ? k.DisabledText : selected ? k.SelectedText : c.Font().Color();
    if (hasGlyph)
      DrawGlyph(c, item, box, k, state, rich);
    else if (checked)
      DrawCheckMark(c, item, box, textColor, m);

    // Separator line, or caption and shortcut.
    if (item.IsLine()) {
      c.Pen().SetColor(k.Separator);
      c.Pen().SetWidth(1);
      const int mid = r.Top + r.Height() / 2;
      const Rect line = m.R({textStart + 7, mid, r.Right, mid + 1});
      c.MoveTo(line.Left, mid);
      c.LineTo(line.Right, mid);
    } else {
      c.SetBkMode(TRANSPARENT);
      c.Font().SetColor(textColor);
      const int th = c.TextHeight("W");
      Rect tr{textStart + 3, r.Top + (r.Height() - th) / 2, r.Right, 0};
      tr.Bottom = tr.Top + th;
      const unsigned prefix = (state & ODS_NOACCEL) ? DT_HIDEPREFIX : 0;
      const unsigned reading = m.on ? DT_RIGHT | DT_RTLREADING : DT_LEFT;
      Rect caption = m.R(tr);
      c.DrawText(item.Caption(), caption, DT_SINGLELINE | DT_VCENTER | reading | prefix);
      const std::string shortcut = ShortCutToText(item.ShortCut());
      if (!shortcut.empty()) {
        if (rich) c.Font().SetColor(Brighten(textColor, 40));
        Rect sr = m.R({textStart + 3, tr.Top, r.Right - 10, tr.Bottom});
        c.DrawText(shortcut + " ", sr, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | (m.on ? DT_LEFT : DT_RIGHT));
      }
    }

    // The popup window's border, flat in the skin's colours.
    if (flatMenu_ && !top && !Designing()) {
      gui::Size size;
      if (std::unique_ptr<Canvas> frame = PopupFrame(c, size)) DrawFlatPopupBorder(*frame, size, k);
    }
  }
  // Items added since the menu was skinned are drawn by the skin too (only
  // their hooks change: the menu is not rebuilt while it is drawn).
  if (Menu* menu = item.GetMenu(); menu && active_ && menu->Tag() != kLeaveAlone)
    ApplyToItems(menu->Items(), true);
}

// The system's raised popup border (three pixels) becomes a one-pixel
// frame in the shadow colour around the menu's own background.
void TMenuSkin::DrawFlatPopupBorder(Canvas& c, gui::Size size, const TMenuSkinColors& k) {
  CanvasSaver keep(c);
  const Rect all{0, 0, size.Width, size.Height};
  c.Brush().SetColor(k.Shadow2);
  c.FrameRect(all);
  c.Brush().SetColor(k.MenuBackground);
  c.FrameRect(all.Inflate(-1, -1));
  c.FrameRect(all.Inflate(-2, -2));
}

void TMenuSkin::DrawTopLevelSelection(Canvas& c, const Rect& r, const TMenuSkinColors& k, bool rich,
                                      const Mirror& m) {
  const int L = r.Left, T = r.Top, R = r.Right, B = r.Bottom;
  const gui::Color bar = k.MenuBar;
  auto fill = [&](gui::Color col, const Rect& area) {
    c.Brush().SetColor(col);
    c.FillRect(m.R(area));
  };
  auto line = [&](gui::Color col, std::initializer_list<Point> pts) {
    std::vector<Point> mirrored;
    for (Point p : pts) mirrored.push_back(m.P(p));
    c.Pen().SetColor(col);
    c.Polyline(mirrored);
  };
  c.Pen().SetWidth(1);
  const int frameRight = rich ? R - 8 : R - 3;
  fill(k.SelectFill, {L, T, frameRight, B});
  line(k.SelectFrame, {{L, B - 1}, {L, T}, {frameRight, T}, {frameRight, B}});
  if (!rich) {
    fill(Darken(bar, 70), {R - 2, T + 2, R, B});
    fill(bar, {R - 2, T, R, T + 2});
    return;
  }
  // A stepped shadow in the 7 pixels at the right, its top corner rounded.
  fill(Darken(bar, 10), {R - 7, T, R, B});
  fill(Darken(bar, 30), {R - 7, T + 3, R - 2, B});
  fill(Darken(bar, 60), {R - 7, T + 5, R - 3, B});
  fill(Darken(bar, 100), {R - 7, T + 6, R - 5, B});
  line(bar, {{R - 5, T + 1}, {R - 1, T + 1}, {R - 1, T + 6}});
  fill(bar, {R - 3, T + 2, R - 2, T + 3});
  line(Darken(bar, 10), {{R - 6, T + 3}, {R - 3, T + 3}, {R - 3, T + 6}, {R - 4, T + 6}, {R - 4, T + 3}});
  line(Darken(bar, 30), {{R - 5, T + 5}, {R - 4, T + 5}, {R - 4, T + 9}});
  line(Darken(bar, 40), {{R - 6, T + 5}, {R - 6, T + 7}});
}

void TMenuSkin::DrawGlyph(Canvas& c, const MenuItem& item, const Rect& box, const TMenuSkinColors& k,
                          unsigned state, bool rich) {
  const Glyph source(item);
  const gui::Size size = source.Extent();
  const bool selected = (state & ODS_SELECTED) != 0;
  const bool disabled = (state & (ODS_GRAYED | ODS_DISABLED)) != 0;
  const bool checked = (state & ODS_CHECKED) != 0;
  const int x = box.Left + (box.Width() - size.Width) / 2;
  const int y = box.Top + (box.Height() - size.Height) / 2;
  if (!rich && source.images) {
    source.images->Draw(c, x, y, item.ImageIndex(), !disabled);
    return;
  }
  Bitmap glyph;
  source.Get(item, glyph);
  // Transparent: the glyph's bottom-left colour (the mask is made before
  // any effect changes the colours).
  Bitmap mask;
  mask.MakeMask(glyph, glyph.Pixel(0, glyph.Height() - 1));
  if (!rich) {
    c.DrawMasked(x, y, glyph, mask);
  } else if (disabled) {
    GrayPixels(glyph, grayLevel_);
    LightenPixels(glyph, 40);
    c.DrawMasked(x, y, glyph, mask);
  } else if (selected) {
    // Lifted by a pixel, casting its silhouette two pixels right and down.
    Bitmap shadow(glyph.Width(), glyph.Height());
    shadow.Fill(ColorToRGB(Darken(k.SelectFill, 50)));
    c.DrawMasked(x + 1, y + 1, shadow, mask);
    c.DrawMasked(x - 1, y - 1, glyph, mask);
  } else {
    if (!checked) LightenPixels(glyph, dimLevel_);
    c.DrawMasked(x, y, glyph, mask);
  }
}

void TMenuSkin::DrawCheckMark(Canvas& c, const MenuItem& item, const Rect& box, gui::Color color,
                              const Mirror& m) {
  if (item.RadioItem()) {
    c.Brush().SetColor(color);
    c.Pen().SetColor(color);
    c.Ellipse(box.Inflate(-3, -3));
    return;
  }
  // A tick three pixels thick, its long stroke rising away from the text.
  const auto at = [&](int dx, int y) { return Point{m.on ? box.Right - 1 - dx : box.Left + dx, y}; };
  c.Pen().SetColor(color);
  c.Pen().SetWidth(1);
  for (int d = 0; d < 3; ++d) {
    const Point tick[] = {at(2, box.Top + 3 + d), at(4, box.Top + 5 + d), at(9, box.Top + d)};
    c.Polyline(tick);
  }
}

// ---------------------------------------------------------------- bars

void TMenuSkin::DrawToolButton(ToolBar& bar, ToolButton& button, Canvas& c, const Rect& r, unsigned state,
                               bool& defaultDraw) {
  defaultDraw = false;
  const TMenuSkinColors k = WorkingColors(SurfaceBits(c), [&](gui::Color x) { return NearestColor(c, x); });
  const bool disabled = (state & cdsDisabled) != 0;
  const bool hot = (state & cdsHot) && !disabled;
  const bool down = (state & cdsChecked) != 0;
  c.Brush().SetColor(down ? k.LightShade2 : hot ? k.SelectFill : k.MenuBar);
  c.FillRect(r);
  if (hot || down) {
    c.Brush().SetColor(k.SelectFrame);
    c.FrameRect(r);
  }
  const ImageList* images = bar.Images();
  if (images && button.ImageIndex() >= 0 && button.ImageIndex() < images->Count()) {
    images->Draw(c, r.Left + (r.Width() - images->Width()) / 2, r.Top + (r.Height() - images->Height()) / 2,
                 button.ImageIndex(), !disabled);
    return;
  }
  c.SetBkMode(TRANSPARENT);
  c.Font().SetColor(disabled ? k.DisabledText : font_.Color());
  Rect text = r;
  c.DrawText(button.Caption(), text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

void TMenuSkin::PaintBand(ControlBar&, Control&, Canvas& c, Rect& area, unsigned& options) {
  const TMenuSkinColors k = WorkingColors(SurfaceBits(c), [&](gui::Color x) { return NearestColor(c, x); });
  c.Brush().SetColor(k.MenuBar);
  c.FillRect(area);
  c.Brush().SetColor(k.Separator);
  c.FrameRect(area);
  // A flat grab handle: a column of dots.
  c.Brush().SetColor(k.Shadow2);
  for (int y = area.Top + 3; y + 2 <= area.Bottom - 3; y += 4) c.FillRect(Rect::FromSize(area.Left + 4, y, 2, 2));
  options = 0;
}
