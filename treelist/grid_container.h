// The grid's base control and the host side of the in-place editor
// protocol: every decision an editor leaves to its owner is a virtual
// operation here, with the answer a plain container gives (the grid
// overrides most of them). The container also owns the look of its flat
// scroll bars and turns mouse-wheel messages into scrolling.
//
// TGridContainerHintWindow is the small pop-up in which the grid shows
// hints and truncated cell texts; the mouse passes through it.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "gui/control.h"
#include "treelist/grid_edit_style.h"

enum TGridLookAndFeel : uint8_t { lfStandard, lfFlat, lfUltraFlat };

// The flat scroll bars' style for a look: regular, encarta or flat.
int GridScrollBarStyle(TGridLookAndFeel lf);

class TCustomGridContainer : public gui::Control {
 public:
  explicit TCustomGridContainer(gui::Component* owner = nullptr);
  ~TCustomGridContainer() override;

  // ------------------------------------------------ editor hosting
  // Whether the editor may change its value (Delete, Shift+Insert, paste).
  virtual bool CanEditModify() const { return false; }
  // Whether a printable character may be typed (false: refused, a beep).
  virtual bool CanEditAcceptKey(char key) const { return false; }
  // A new edit style for an editor being constructed (made in both steps).
  virtual std::unique_ptr<TGridEditStyle> CreateEditStyle(TGridStyledEditor* editor);
  // Scrolls count lines up or down: that many line scrolls to its own window.
  virtual void ScrollLines(bool up, int count);
  virtual gui::Color GetEditColor() const { return Color(); }
  virtual const gui::Font& GetEditFont() const { return Font(); }
  // Whether the editor hides its focus rectangle / always shows its buttons.
  virtual bool EditorHideFocusRect() const { return false; }
  virtual bool EditorShowButtonAlways() const { return false; }
  // A key the editor does not keep: fires OnKeyDown with the container as
  // sender.
  virtual void DoEditKeyDown(uint16_t& key, gui::ShiftState shift);
  // Whether the editor swallows key messages now.
  virtual bool EditorKeyVeto() const { return false; }
  // Whether a click soon after the editor opened counts as a double click.
  virtual bool AllowClickPromotion() const { return false; }
  virtual bool EditorWantsTab() const { return false; }
  // The editor asks to end the edit and move one row up or down.
  virtual void EditorMoveFocus(bool up) {}
  // The editor received the focus.
  virtual void EditorFocused() {}
  virtual void BeginEditorChange() { editorChanging_ = true; }
  virtual void EndEditorChange() { editorChanging_ = false; }
  bool EditorChanging() const { return editorChanging_; }
  // The container's own handling of what the editor does not keep: a key
  // down, a character, a key up, a double click.
  void EditorKeyDown(uint16_t& key, gui::ShiftState shift) { KeyDown(key, shift); }
  void EditorKeyPress(char& key) { KeyPress(key); }
  void EditorKeyUp(uint16_t& key, gui::ShiftState shift) { KeyUp(key, shift); }
  void EditorDblClick() { DblClick(); }
  // The border kind the editor draws in place: 2 for a plain container
  // (the grid answers 1 in its flat looks).
  virtual int EditorBorderKind() const { return 2; }

  // ------------------------------------------------ look and scrolling
  TGridLookAndFeel LookAndFeel() const { return lookAndFeel_; }
  // A different look re-creates the window (the scroll bars take it).
  void SetLookAndFeel(TGridLookAndFeel lf);
  // GetScrollInfo / SetScrollInfo are the control's own: the flat scroll
  // bars where the system has them, the plain ones elsewhere.

 protected:
  // The scroll bars take the style of the look.
  void HandleCreated() override;
  // The wheel events first, then one step of scrolling per message,
  // whatever the size of the delta: the system's wheel-lines setting in
  // lines, one page when the setting says "a page", nothing for a setting
  // of 0 or a zero delta.
  bool MouseWheel(gui::ShiftState s, int delta, gui::Point pos) override;
  // One WM_VSCROLL with code (SB_LINEUP...) to its own window.
  void SendVScroll(int code);

 private:
  // The program-wide default style controller and the editors' shadow
  // brush live while a container does.
  TGridEditStylesUse editStylesUse_;
  bool editorChanging_ = false;
  TGridLookAndFeel lookAndFeel_ = lfStandard;
};

// Where a hint of size goes for a point on a screen of screen size: at the
// point, moved left and up to stay on the screen, never to negative
// coordinates.
gui::Rect PlaceGridHint(gui::Point at, gui::Size size, gui::Size screen);

class TGridContainerHintWindow : public gui::Control {
 public:
  // The text begins this far right of and below the window's corner.
  static constexpr int kTextInset = 2;

  explicit TGridContainerHintWindow(gui::Component* owner = nullptr);
  ~TGridContainerHintWindow() override;

  // As ShowHintEx with the screen's width as the limit and the font's size
  // not taken.
  void ShowHintAt(gui::Point screenPoint, std::string_view text, const gui::Font& font);
  // Shows text at a screen point, word-wrapped within maxWidth (below 1:
  // the screen's width), in the system's status-bar font with the name and
  // character set of font (and its size when useFontSize), topmost and
  // without taking the activation.
  void ShowHintEx(gui::Point screenPoint, int maxWidth, bool useFontSize, const gui::Font& font,
                  std::string_view text);
  void HideHint();
  bool HintShowing() const;

  // The system's status-bar font into out; false when it cannot be read
  // (the hint then takes size 8 of its current font).
  static bool SystemStatusFont(gui::Font& out);

 protected:
  void CreateParams(gui::WindowParams& p) override;
  int NcHitTest(gui::Point screen, int defaultCode) override;
  void Paint(gui::Canvas& canvas, const gui::Rect& clip) override;

 private:
  // Shows the window (placed already) topmost without activating it.
  void ShowNoActivate();
};
