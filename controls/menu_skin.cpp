#include "controls/menu_skin.h"

#include <algorithm>
#include <string>

#include "controls/color_utils.h"
#include "gui/bitmap.h"
#include "gui/form.h"
#include "gui/image_list.h"
#include "gui/number_format.h"
#include "gui/win_constants.h"

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

template <class Hook, class F>
bool IsHookOf(const F& f, const TMenuSkin* skin) {
  const Hook* h = f.template target<Hook>();
  return h && h->skin == skin;
}

// The item's glyph: its image in the menu's image list (nullptr: none).
const ImageList* GlyphImages(const MenuItem& item) {
  const Menu* menu = item.GetMenu();
  const ImageList* images = menu ? menu->Images() : nullptr;
  if (!images || item.ImageIndex() < 0 || item.ImageIndex() >= images->Count()) return nullptr;
  return images;
}

}  // namespace

TMenuSkin::TMenuSkin(Component* owner) : Component(owner) {
  MenuSkinSystemFont(font_);
  selectFontColor_ = font_.Color();
}

TMenuSkin::~TMenuSkin() {
  // A form that is going destroys its menus itself.
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

void TMenuSkin::Apply(bool apply) {
  Component* form = Owner();
  if (!form || !(containers_ & SkinBit(sccForm))) return;
  for (int i = 0; i < form->ComponentCount(); ++i)
    if (auto* menu = dynamic_cast<Menu*>(form->Components(i))) ApplyToMenu(*menu, apply);
  // A menu bar the form shows but does not own.
  if (auto* f = dynamic_cast<Form*>(form))
    if (f->Menu() && f->Menu()->Owner() != form) ApplyToMenu(*f->Menu(), apply);
}

void TMenuSkin::ApplyToMenu(Menu& menu, bool apply) {
  const int kind = dynamic_cast<MainMenu*>(&menu) ? scMainMenu : scPopupMenu;
  if (!(controls_ & SkinBit(kind)) || menu.Tag() == kLeaveAlone) return;
  // Hooks in place before the menu is rebuilt as owner-drawn; the system's
  // drawing back before the hooks go.
  if (apply) ApplyToItems(menu.Items(), true);
  menu.SetOwnerDraw(apply);
  // The bar beside the items in the colour the items are drawn on.
  if (kind == scMainMenu) menu.SetBarColor(apply ? WorkingColors(32, nullptr).MenuBar : clDefault);
  if (!apply) ApplyToItems(menu.Items(), false);
}

void TMenuSkin::ApplyToItems(MenuItem& parent, bool apply) {
  for (int i = 0; i < parent.Count(); ++i) {
    MenuItem& item = *parent.Items(i);
    if (item.Tag() != kLeaveAlone) {
      const bool measureOurs = IsHookOf<SkinMeasure>(item.OnMeasureItem, this);
      const bool drawOurs = IsHookOf<SkinDraw>(item.OnDrawItem, this);
      if (apply) {
        // A hook that is ours already stays as it is: it may be running.
        if (!measureOurs && (!item.OnMeasureItem || override_)) item.OnMeasureItem = SkinMeasure{this};
        if (!drawOurs && (!item.OnDrawItem || override_)) item.OnDrawItem = SkinDraw{this};
      } else {
        if (measureOurs) item.OnMeasureItem = nullptr;
        if (drawOurs) item.OnDrawItem = nullptr;
      }
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
    // The colour the system gives the rest of the bar (not every system
    // lets a menu bar have a brush of its own): bar and items agree.
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
  gui::Size s;
  if (const ImageList* images = GlyphImages(item)) s = {images->Width(), images->Height()};
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
    const bool hasGlyph = GlyphImages(item) != nullptr;
    const gui::Size glyph = GlyphSize(item, top);

    // Icon column, glyph box and where the text starts.
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
          c.FillRect({column.Left + x, r.Top, column.Left + x + 1, r.Bottom});
        }
      } else {
        c.Brush().SetColor(k.IconColumn);
        c.FillRect(column);
      }
      c.Brush().SetColor(k.MenuBackground);
      c.FillRect({column.Right, r.Top, r.Right, r.Bottom});
    }

    // Selection.
    if (selected && drawSelect_ && !item.IsLine()) {
      if (top) {
        DrawTopLevelSelection(c, r, k, rich);
      } else {
        const Rect sel{r.Left, r.Top + 1, r.Right - (flatMenu_ ? 1 : 0), r.Bottom - 1};
        c.Brush().SetColor(k.SelectFill);
        c.FillRect(sel);
        c.Brush().SetColor(k.SelectFrame);
        c.FrameRect(sel);
      }
    }

    // Check box and glyph.
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
      DrawCheckMark(c, item, box, textColor);

    // Separator line, or caption and shortcut.
    if (item.IsLine()) {
      c.Pen().SetColor(k.Separator);
      c.Pen().SetWidth(1);
      const int mid = r.Top + r.Height() / 2;
      c.MoveTo(textStart + 7, mid);
      c.LineTo(r.Right, mid);
    } else {
      c.SetBkMode(TRANSPARENT);
      c.Font().SetColor(textColor);
      const int th = c.TextHeight("W");
      Rect tr{textStart + 3, r.Top + (r.Height() - th) / 2, r.Right, 0};
      tr.Bottom = tr.Top + th;
      const unsigned prefix = (state & ODS_NOACCEL) ? DT_HIDEPREFIX : 0;
      c.DrawText(item.Caption(), tr, DT_SINGLELINE | DT_VCENTER | DT_LEFT | prefix);
      const std::string shortcut = ShortCutToText(item.ShortCut());
      if (!shortcut.empty()) {
        if (rich) c.Font().SetColor(Brighten(textColor, 40));
        Rect sr{textStart + 3, tr.Top, r.Right - 10, tr.Bottom};
        c.DrawText(shortcut + " ", sr, DT_SINGLELINE | DT_VCENTER | DT_RIGHT | DT_NOPREFIX);
      }
    }
  }
  // Items added since the menu was skinned are drawn by the skin too (only
  // their hooks change: the menu is not rebuilt while it is drawn).
  if (Menu* menu = item.GetMenu(); menu && active_ && menu->Tag() != kLeaveAlone)
    ApplyToItems(menu->Items(), true);
}

void TMenuSkin::DrawTopLevelSelection(Canvas& c, const Rect& r, const TMenuSkinColors& k, bool rich) {
  const int L = r.Left, T = r.Top, R = r.Right, B = r.Bottom;
  const gui::Color bar = k.MenuBar;
  auto fill = [&](gui::Color col, const Rect& area) {
    c.Brush().SetColor(col);
    c.FillRect(area);
  };
  auto line = [&](gui::Color col, std::initializer_list<Point> pts) {
    c.Pen().SetColor(col);
    c.Polyline(std::span<const Point>(pts.begin(), pts.size()));
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
  const ImageList& images = *GlyphImages(item);
  const bool selected = (state & ODS_SELECTED) != 0;
  const bool disabled = (state & (ODS_GRAYED | ODS_DISABLED)) != 0;
  const bool checked = (state & ODS_CHECKED) != 0;
  const int x = box.Left + (box.Width() - images.Width()) / 2;
  const int y = box.Top + (box.Height() - images.Height()) / 2;
  if (!rich) {
    images.Draw(c, x, y, item.ImageIndex(), !disabled);
    return;
  }
  Bitmap glyph;
  images.GetBitmap(item.ImageIndex(), glyph);
  // Transparent: the glyph's bottom-left colour (the mask is made before
  // any effect changes the colours).
  Bitmap mask;
  mask.MakeMask(glyph, glyph.Pixel(0, glyph.Height() - 1));
  if (disabled) {
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

void TMenuSkin::DrawCheckMark(Canvas& c, const MenuItem& item, const Rect& box, gui::Color color) {
  if (item.RadioItem()) {
    c.Brush().SetColor(color);
    c.Pen().SetColor(color);
    c.Ellipse(box.Inflate(-3, -3));
    return;
  }
  // A tick three pixels thick.
  c.Pen().SetColor(color);
  c.Pen().SetWidth(1);
  for (int d = 0; d < 3; ++d) {
    const Point tick[] = {{box.Left + 2, box.Top + 3 + d}, {box.Left + 4, box.Top + 5 + d},
                          {box.Left + 9, box.Top + d}};
    c.Polyline(tick);
  }
}
