// The flat look of a form's menus: a component that switches its owner
// form's menus to owner drawing and measures and draws their items itself,
// with an icon column at the left of the drop-down items, a framed
// selection, a stepped shadow beside the selected item of the menu bar,
// boxed check marks, dimmed and greyed glyphs, thin separators and
// right-aligned shortcut texts, all in working colours derived from its
// properties, the system colours and the colour depth of the surface.
//
// The skin reaches the items through their owner-drawing hooks
// (MenuItem::OnMeasureItem / OnDrawItem), which the window layer calls for
// the measure and draw messages of owner-drawn menus. An item with a hook
// of its own keeps it unless OverrideOwnerDraw is set; an item or menu
// whose Tag is 999 keeps the system's drawing. Right-to-left menus are
// drawn mirrored.
//
// Beside the menus it visits the form's components and, recursively, the
// children of containers of the kinds in SkinContainers: tool bars are
// made flat and draw their buttons through the skin, control bars paint
// their bands through it, and controls of the kinds in SkinControls are
// hooked (TControlSubClass) and painted flat; removing the skin unhooks
// them and takes its handlers back.
#pragma once
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "gui/canvas.h"
#include "gui/color.h"
#include "gui/component.h"
#include "gui/graphics.h"
#include "gui/menu.h"

namespace gui {
class Control;
class ControlBar;
class ToolBar;
class ToolButton;
}  // namespace gui
namespace plat {
class MessageTarget;
}
class TControlSubClass;

// The kinds of container whose children the skin visits.
enum TSkinContainer {
  sccForm, sccFrame, sccToolbar, sccCoolbar, sccControlbar, sccPanel, sccScrollBox, sccGroupBox,
  sccTabSheet, sccPageScroller,
};
// The kinds of component that are skinned.
enum TSkinControl {
  scMainMenu, scPopupMenu, scToolbar, scControlbar, scCombo, scEdit, scMaskEdit, scMemo, scRichEdit,
  scCheckBox, scRadioButton, scButton, scBitBtn, scSpeedButton, scPanel, scGroupBox,
};
// Sets of them: bit (1 << kind).
using TSkinContainers = unsigned;
using TSkinControls = unsigned;
constexpr unsigned SkinBit(int kind) { return 1u << kind; }
constexpr TSkinContainers kAllSkinContainers = (1u << (sccPageScroller + 1)) - 1;
constexpr TSkinControls kAllSkinControls = (1u << (scGroupBox + 1)) - 1;

// The colours an item is drawn with, worked out before each drawing.
struct TMenuSkinColors {
  gui::Color MenuBackground;
  gui::Color IconColumn;
  gui::Color SelectFill;
  gui::Color SelectFrame;
  gui::Color SelectedText;
  gui::Color LightShade1;  // a checked item's glyph box
  gui::Color LightShade2;  // ... when the item is selected
  gui::Color CheckMark;
  gui::Color MenuBar;
  gui::Color DisabledText;
  gui::Color Separator;
  gui::Color Shadow1;
  gui::Color Shadow2;
};

// The surface the skin draws on, as the window system knows it: the
// nearest colour it can show, and the system's menu font.
gui::Color MenuSkinNearestColor(const gui::Canvas& c, gui::Color rgb);
void MenuSkinSystemFont(gui::Font& f);
// A canvas on the whole window of the popup menu c draws on (see
// TMenuSkin::PopupFrame); nullptr without one.
std::unique_ptr<gui::Canvas> MenuSkinPopupFrame(const gui::Canvas& c, gui::Size& size);

class TMenuSkin : public gui::Component {
 public:
  // owner: the form whose menus are skinned.
  explicit TMenuSkin(gui::Component* owner = nullptr);
  ~TMenuSkin() override;

  // Applies the skin to the owner form (or removes it) and redraws the
  // menu bar. While loading, the skin is applied when loading ends.
  bool Active() const { return active_; }
  void SetActive(bool a);
  // Items with hooks of their own get the skin's too (applied again now).
  bool OverrideOwnerDraw() const { return override_; }
  void SetOverrideOwnerDraw(bool o);
  gui::Color MenuBarColor() const { return menuBarColor_; }
  void SetMenuBarColor(gui::Color c);
  bool UseSystemColors() const { return useSystemColors_; }
  void SetUseSystemColors(bool u);

  int DimLevel() const { return dimLevel_; }
  void SetDimLevel(int v) { dimLevel_ = v; }
  int GrayLevel() const { return grayLevel_; }
  void SetGrayLevel(int v) { grayLevel_ = v; }
  gui::Font& Font() { return font_; }
  const gui::Font& Font() const { return font_; }
  void SetFont(const gui::Font& f) { font_.Assign(f); }
  gui::Color Color() const { return color_; }
  void SetColor(gui::Color c) { color_ = c; }
  gui::Color IconBackColor() const { return iconBackColor_; }
  void SetIconBackColor(gui::Color c) { iconBackColor_ = c; }
  gui::Color SelectColor() const { return selectColor_; }
  void SetSelectColor(gui::Color c) { selectColor_ = c; }
  gui::Color SelectBorderColor() const { return selectBorderColor_; }
  void SetSelectBorderColor(gui::Color c) { selectBorderColor_ = c; }
  gui::Color SelectFontColor() const { return selectFontColor_; }
  void SetSelectFontColor(gui::Color c) { selectFontColor_ = c; }
  gui::Color DisabledColor() const { return disabledColor_; }
  void SetDisabledColor(gui::Color c) { disabledColor_ = c; }
  gui::Color SeparatorColor() const { return separatorColor_; }
  void SetSeparatorColor(gui::Color c) { separatorColor_ = c; }
  gui::Color CheckedColor() const { return checkedColor_; }
  void SetCheckedColor(gui::Color c) { checkedColor_ = c; }
  int IconWidth() const { return iconWidth_; }
  void SetIconWidth(int w) { iconWidth_ = w; }
  bool DrawSelect() const { return drawSelect_; }
  void SetDrawSelect(bool d) { drawSelect_ = d; }
  bool Gradient() const { return gradient_; }
  void SetGradient(bool g) { gradient_ = g; }
  // A selected drop-down item's frame a pixel narrower, and the popup
  // windows' borders redrawn flat in the skin's colours.
  bool FlatMenu() const { return flatMenu_; }
  void SetFlatMenu(bool f) { flatMenu_ = f; }
  // While active, a component added to the form (a menu item anywhere in
  // its menus, a tool button, a control bar...) has the skin applied again
  // as soon as the program's loop runs, when the new component is complete.
  bool AutoDetect() const { return autoDetect_; }
  void SetAutoDetect(bool a) { autoDetect_ = a; }
  TSkinContainers SkinContainers() const { return containers_; }
  void SetSkinContainers(TSkinContainers s) { containers_ = s; }
  TSkinControls SkinControls() const { return controls_; }
  void SetSkinControls(TSkinControls s) { controls_ = s; }

  // The working colours for a surface of that many bits per pixel;
  // nearest maps a lightened colour to what the surface can show (none:
  // as it is).
  TMenuSkinColors WorkingColors(int bitsPerPixel,
                                const std::function<gui::Color(gui::Color)>& nearest = {}) const;

  // The skin's hooks: the item's size (the proposed values only grow) and
  // its drawing in rect with the ODS_* state.
  void MeasureItem(gui::MenuItem& item, gui::Canvas& c, int& width, int& height);
  void DrawItem(gui::MenuItem& item, gui::Canvas& c, const gui::Rect& rect, unsigned state);
  // Whether the item's hooks are this skin's.
  bool SkinsItem(const gui::MenuItem& item) const;
  // The hook of a control (nullptr: not hooked).
  TControlSubClass* SubClassOf(const gui::Control& c) const;
  // Whether the bar's handler is this skin's.
  bool SkinsBar(const gui::ToolBar& bar) const;
  bool SkinsBar(const gui::ControlBar& bar) const;
  // The skin's handlers of tool buttons and control-bar bands.
  void DrawToolButton(gui::ToolBar& bar, gui::ToolButton& button, gui::Canvas& c, const gui::Rect& rect,
                      unsigned state, bool& defaultDraw);
  void PaintBand(gui::ControlBar& bar, gui::Control& band, gui::Canvas& c, gui::Rect& area, unsigned& options);

 protected:
  void Loaded() override;
  // The surface's side (the platform's answers by default).
  virtual int SurfaceBits(const gui::Canvas& c) const { return c.BitsPerPixel(); }
  virtual gui::Color NearestColor(const gui::Canvas& c, gui::Color rgb) const {
    return MenuSkinNearestColor(c, rgb);
  }
  virtual void SystemMenuFont(gui::Font& f) const { MenuSkinSystemFont(f); }
  // A canvas on the whole window (its border included) of the popup menu
  // that c draws on, and the window's size; nullptr when c draws on no
  // popup menu window.
  virtual std::unique_ptr<gui::Canvas> PopupFrame(const gui::Canvas& c, gui::Size& size) const {
    return MenuSkinPopupFrame(c, size);
  }
  void Notification(gui::Component* c, gui::Operation op) override;

 private:
  void Apply(bool apply);
  void Visit(gui::Component* c, bool apply, std::set<gui::Component*>& seen);
  void ApplyToControl(gui::Control& c, bool apply);
  void Hook(gui::Control& c);
  void Unhook(gui::Control& c);
  // AutoDetect: one application again, after the message being handled.
  void ScheduleApply();
  void DrawFlatPopupBorder(gui::Canvas& c, gui::Size size, const TMenuSkinColors& k);
  void ApplyToMenu(gui::Menu& menu, bool apply);
  // Hooks only: never the menu's owner drawing (changing that rebuilds
  // the menu, which must not happen while one of its items is drawn).
  void ApplyToItems(gui::MenuItem& parent, bool apply);
  void RedrawMenuBar();
  bool IsTopLevel(const gui::MenuItem& item) const;
  gui::Size GlyphSize(const gui::MenuItem& item, bool topLevel) const;
  void PrepareFont(gui::Canvas& c, const gui::MenuItem& item);
  struct Mirror;
  void DrawTopLevelSelection(gui::Canvas& c, const gui::Rect& r, const TMenuSkinColors& k, bool rich,
                             const Mirror& m);
  void DrawGlyph(gui::Canvas& c, const gui::MenuItem& item, const gui::Rect& box,
                 const TMenuSkinColors& k, unsigned state, bool rich);
  void DrawCheckMark(gui::Canvas& c, const gui::MenuItem& item, const gui::Rect& box, gui::Color color,
                     const Mirror& m);

  int dimLevel_ = 30;
  int grayLevel_ = 10;
  gui::Font font_;
  gui::Color color_ = gui::clBtnFace;
  gui::Color iconBackColor_ = gui::clBtnFace;
  gui::Color menuBarColor_ = gui::clBtnFace;
  gui::Color selectColor_ = gui::clHighlight;
  gui::Color selectBorderColor_ = gui::clHighlight;
  gui::Color selectFontColor_;
  gui::Color disabledColor_ = gui::clInactiveCaption;
  gui::Color separatorColor_ = gui::clBtnFace;
  gui::Color checkedColor_ = gui::clHighlight;
  int iconWidth_ = 24;
  bool drawSelect_ = true;
  bool useSystemColors_ = true;
  bool override_ = false;
  bool gradient_ = false;
  bool flatMenu_ = false;
  bool autoDetect_ = false;
  TSkinContainers containers_ = kAllSkinContainers;
  TSkinControls controls_ = kAllSkinControls;
  bool active_ = false;
  std::map<const gui::Control*, TControlSubClass*> subclasses_;
  std::set<gui::Menu*> skinnedMenus_;  // made owner-drawn by the skin
  std::unique_ptr<plat::MessageTarget> target_;  // the AutoDetect application's post
  bool applyPending_ = false;
};
