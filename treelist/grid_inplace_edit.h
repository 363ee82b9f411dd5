// The window the grid places over a cell while the cell is edited. The
// editor keeps its style (the edit-style cascade), its read-only and
// modified state, checks its value before the grid moves on, decides which
// keys are its own and which go back to the grid, and describes its look
// in a view data record, so that the grid draws the cells that are not
// being edited exactly as the editor would.
//
// The editor is hosted by its owner, a TCustomGridContainer, which answers
// every decision the editor leaves to it. A value the check turns down
// raises EGridEditInvalidInput: the key or focus change that asked for the
// check is abandoned, the window boundary reports the message and the
// editor keeps the focus.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "gui/control.h"
#include "gui/region.h"
#include "treelist/grid_container.h"
#include "treelist/grid_edit_style.h"
#include "treelist/tree_list_types.h"  // TAlignment

// How the text stands in a cell from top to bottom (the grid's columns set
// the others; an editor on its own is top).
enum TGridEditVertLayout : uint8_t { evlTop, evlCenter, evlBottom, evlWordWrap };

// Properties an editor was given explicitly instead of taking them from
// the grid's column.
enum TGridEditStoredValue : uint16_t {
  gsvAlignment = 1,
  gsvMaxLength = 2,
  gsvEditMask = 4,
  gsvReadOnly = 64,
};

// Sets a flag for a scope, restoring it on every way out.
class TGridFlagScope {
 public:
  explicit TGridFlagScope(bool& f) : f_(f), old_(f) { f = true; }
  ~TGridFlagScope() { f_ = old_; }
  TGridFlagScope(const TGridFlagScope&) = delete;
  TGridFlagScope& operator=(const TGridFlagScope&) = delete;

 private:
  bool& f_;
  bool old_;
};

// Raises a counter for a scope, lowering it on every way out.
class TGridCountScope {
 public:
  explicit TGridCountScope(int& n) : n_(n) { ++n_; }
  ~TGridCountScope() { --n_; }
  TGridCountScope(const TGridCountScope&) = delete;
  TGridCountScope& operator=(const TGridCountScope&) = delete;

 private:
  int& n_;
};

// The border and shadow an editor's look works out to.
struct TGridEditViewInfo {
  int BorderWidth = 0;  // 0 none, 1 single, 2 thick, flat and 3-D
  int ShadowWidth = 0;  // 2 with a shadow
  gui::Rect Bounds;     // the whole editor
  gui::Rect BorderRect; // the bounds less the shadow strips (right, bottom)
  gui::Rect InnerRect;  // inside the border, on the edges drawn
};

// What an editor looks like, taken from the editor (CreateViewData) or set
// up by the grid for a cell. Its drawing operations need no window; a
// descendant editor's view data draws that editor's look.
class TGridEditViewData {
 public:
  virtual ~TGridEditViewData() = default;

  bool Enabled = true;
  bool Focused = false;
  bool Active = false;  // the mouse over it, or focused and enabled
  gui::Color BorderColor = gui::clWindowFrame;
  TGridEditBorderStyle BorderStyle = xbs3D;
  TGridEditButtonViewStyle ButtonStyle = bts3D;
  bool ButtonTransparent = false;
  TGridEditEdges Edges = kGridEditAllEdges;
  bool Shadow = false;
  bool DrawSelected = false;  // the grid's selection, the editor not focused
  gui::Rect Margins;          // left, top, right and bottom space inside
  gui::Rect Bounds;
  TAlignment Alignment = taLeftJustify;
  TGridEditVertLayout VertLayout = evlTop;
  gui::Color BrushColor = gui::clWindow;  // what the background is filled with
  gui::Color BkColor = gui::clWindow;
  gui::Font Font;
  gui::Color TextColor = gui::clWindowText;
  bool HasEditableText = false;
  bool InPlace = true;     // drawn for (or by) an editor in place
  bool PaintCopy = false;  // a picture of the editor, not its live window
  std::string Text;        // the text shown
  int TextLength = 0;      // 0: not yet measured
  bool Measuring = false;  // only measure, into the two results below
  int LineHeight = 0;
  int LineCount = 0;
  int MeasuredHeight = 0;
  gui::Cursor Cursor = gui::Cursor::Default;

  // Border and shadow widths and the three rectangles of the look.
  void CalcViewInfo(TGridEditViewInfo& info) const;
  // The window's shape: false (the whole window) without a shadow when
  // the border is at least 2 pixels wide on all four edges; otherwise the
  // bordered rectangle joined with the shadow rectangle, so that the two
  // corners beside the shadow are not the window's.
  bool GetEditRegion(const TGridEditViewInfo& info, gui::Region& region) const;
  // The border in the colour or edges of the border style, then the shadow
  // strips, on a canvas of the whole editor.
  void DrawBorder(gui::Canvas& canvas, const TGridEditViewInfo& info) const;
  // The client area r: filled with the brush (nothing while measuring).
  // fromWindow: the editor's own window painting (not a cell of the grid).
  virtual void DrawBackground(gui::Canvas& canvas, const gui::Rect& r, bool fromWindow);
  // The cursor over the editor: its own, else the arrow without an
  // editable text, else Default (the window keeps its own).
  gui::Cursor GetCursor() const;
};

class TGridInplaceEdit : public gui::Control, public TGridStyledEditor {
 public:
  // owner: the hosting container (the editor's parent too).
  explicit TGridInplaceEdit(gui::Component* owner);
  ~TGridInplaceEdit() override;

  // Every editor of the grid is in place: hosted, never on its own.
  static bool IsInplace() { return true; }
  TCustomGridContainer* Container() const { return container_; }

  // ------------------------------------------------------------ style
  TGridEditStyle& Style() const { return *style_; }
  TGridEditStyleController* StyleController() const { return controller_; }
  void SetStyleController(TGridEditStyleController* c);
  TGridEditStyleController* GetStyleController() const override { return controller_; }
  TGridEditStyle* GetEditStyle() const override { return style_.get(); }
  // The region and look worked out again, and a repaint.
  void StyleChanged() override;

  // ------------------------------------------------------------ properties
  TAlignment Alignment() const { return alignment_; }
  // A new alignment re-creates the window.
  virtual void SetAlignment(TAlignment a);
  bool ReadOnly() const { return readOnly_; }
  virtual void SetReadOnly(bool r);
  // Read-only as given (by the grid's column): marked in StoredValues.
  void AssignReadOnly(bool r);
  virtual bool GetModified() const { return modified_; }
  virtual void SetModified(bool m) { modified_ = m; }
  // The space inside the editor around the text; a change re-creates
  // the window.
  gui::Rect InnerRect() const { return margins_; }
  void SetInnerRect(const gui::Rect& margins);
  uint16_t StoredValues() const { return storedValues_; }
  void SetStoredValues(uint16_t v) { storedValues_ = v; }
  // Clears StoredValues and takes the default alignment and read-only state.
  virtual void RestoreDefaults();
  bool Selected() const { return selected_; }
  void SetSelected(bool s) { selected_ = s; }
  bool MouseInside() const { return mouseInside_; }
  // When set, a value the mask turns down is put back silently.
  bool AbandonInvalidInput() const { return abandonInvalid_; }
  void SetAbandonInvalidInput(bool a) { abandonInvalid_ = a; }
  bool VisibleInPlace() const { return visibleInPlace_; }

  // ------------------------------------------------------------ the grid's use
  void IncLock() { ++lock_; }
  void DecLock() { --lock_; }
  int LockCount() const { return lock_; }
  // Placed over r enlarged by 2 on every side, shown, focused, all
  // selected (when selectAll); the first-show hook when it was hidden and
  // the lock count is 0. An empty r does nothing.
  void ShowAt(const gui::Rect& r, bool selectAll = true);
  // Moves the editor over the cell r (its bounds: r and 2 pixels around).
  void PlaceOver(const gui::Rect& r);
  // Moves the focus to to (the grid, or the editor itself) while the edit
  // goes on: the value is not checked, the Escape copy is kept and nothing
  // gets selected.
  void PassFocus(gui::Control& to);
  // Shown and hidden only here (not by the control's visibility).
  virtual void Show();
  virtual void Hide();
  // The tick count of the click that opened the editor: a press soon after
  // it counts as a double click.
  void SetOpeningClickTick(uint32_t tick);
  bool HasOpeningClickTick() const { return hasClickTick_; }
  // The grid's mouse handling: a press to ignore and an editor to keep
  // open, the press point handed over, the opening click over.
  bool IgnorePress = false;
  bool KeepOpen = false;
  virtual void ClickAt(int x, int y) {}
  virtual void ClickDone() {}

  // ------------------------------------------------------------ value
  // The cell's value as the editor's text ("" clears it); descendants
  // format it.
  virtual void SetEditValue(const std::string& value);
  virtual std::string GetEditValue() const { return GetDisplayText(); }
  // From the grid: the text when the editor may change it, then not modified.
  virtual void SetText(const std::string& value);
  // The window's text.
  virtual std::string GetDisplayText() const;
  // Checks a modified value (nothing while a key is being handled):
  // OnValidate may turn it down; then a beep, the focus back to the
  // editor, and EGridEditInvalidInput with the message.
  virtual void ValidateEdit();
  // Escape: a modified editor with an editable text gets back the text and
  // modified flag saved when it was entered.
  virtual void RestoreSaved();
  // Saves the modified flag and the text for Escape.
  virtual void SetEditing(bool editing);
  virtual bool HasEditableText() const { return false; }
  virtual bool CanModify() const;
  bool IsEditable() const { return !readOnly_; }
  virtual void SelectAll() {}
  virtual void ProcessF2() {}
  // Asks the container to end the edit and move the focus one row up or
  // down.
  virtual void MoveFocus(bool up);

  // The view data of the editor now (descendants' fields added).
  std::unique_ptr<TGridEditViewData> CreateViewData(bool paintCopy) const;

  // ------------------------------------------------------------ events
  std::function<void(gui::Control* sender)> OnChange;
  std::function<void(gui::Control* sender, std::string& error, bool& accept)> OnValidate;

 protected:
  // A fresh view data of the editor's kind, and the descendant's fields.
  virtual std::unique_ptr<TGridEditViewData> NewViewData() const;
  virtual void FillViewData(TGridEditViewData& vd) const {}
  // The text the window shows now, and a new one (no change notification
  // of the editor's own).
  virtual std::string WindowText() const;
  virtual void SetWindowText(const std::string& text);
  // The value the grid hands over, put into the window (a mask formats it).
  virtual void SetDisplayValue(const std::string& value) { SetWindowText(value); }
  // Cut, clear or paste that the editor may do: true when handled here
  // (the window's own handling otherwise).
  virtual bool HandleClipboardMessage(unsigned msg) { return false; }
  virtual bool CanAcceptKey(char key) const;
  // Ctrl+V, Ctrl+X, Backspace, Delete and Shift+Insert.
  virtual bool IsModifyKey(uint16_t key, gui::ShiftState shift) const;
  // Ctrl held and Alt not, on the keyboard now.
  static bool IsCtrlOnly();
  virtual bool WantsTab() const { return false; }
  virtual bool ValidatesOnEnter() const { return false; }
  virtual void FirstShow() {}
  virtual void Beep();
  // The library's changed notification to the parent, then OnChange.
  virtual void Change();
  bool ValidationSuppressed() const { return suppressValidation_ > 0; }
  // After a value was turned down: the focus back to the editor when it is
  // shown, without entering it afresh (what Escape restores stays).
  void RefocusAfterRejection();
  bool Refocusing() const { return refocusing_; }
  void SetMouseInside(bool inside);
  // The window's region and look from a fresh view data.
  void UpdateRegion();
  // The non-client area on a canvas of the whole window: the border, and
  // with both scroll bars shown the corner between them in the button face.
  void DrawNonClient(gui::Canvas& canvas);

  void CreateParams(gui::WindowParams& p) override;
  void WndProc(gui::Message& m) override;
  void KeyDown(uint16_t& key, gui::ShiftState shift) override;
  void KeyPress(char& key) override;
  void KeyUp(uint16_t& key, gui::ShiftState shift) override;
  unsigned GetDlgCode(unsigned defaultCode) override;
  bool EraseBackground(gui::Canvas& canvas) override;
  void Paint(gui::Canvas& canvas, const gui::Rect& clip) override;
  void MouseDown(gui::MouseButton b, gui::ShiftState s, int x, int y) override;
  void DblClick() override;
  bool UpdateCursor(int hitTest) override;
  void Notification(gui::Component* c, gui::Operation op) override;

 private:
  void NcCalcSize(gui::Message& m);
  void NcPaint(gui::Message& m);
  // WS_HSCROLL and WS_VSCROLL as the window has them now.
  uint32_t ScrollBarsShown() const;
  // WM_PAINT or WM_PRINTCLIENT with a device: a picture of the editor
  // drawn from its view data, not the live window.
  void PaintCopy(gui::Message& m);
  void PromoteClick(gui::Message& m);

  TCustomGridContainer* container_;
  TAlignment alignment_ = taLeftJustify;
  int lock_ = 0;
  bool modified_ = false;
  gui::Rect margins_;
  bool savedModified_ = false;
  std::string savedText_;
  bool readOnly_ = false;
  bool mouseInside_ = false;
  std::unique_ptr<TGridEditStyle> style_;
  TGridEditStyleController* controller_ = nullptr;
  bool selected_ = false;
  bool visibleInPlace_ = false;
  int suppressValidation_ = 0;
  bool refocusing_ = false;
  bool abandonInvalid_ = false;
  uint16_t storedValues_ = 0;
  uint32_t clickTick_ = 0;
  bool hasClickTick_ = false;
};
