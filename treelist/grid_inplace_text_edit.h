// The grid's single-line text editor: an in-place editor whose window is
// the rich edit control in plain-text mode. It adds character case, a
// maximum length, OEM conversion, a password character, selection access,
// undo and redo, a context menu of its own, and the cell text drawing the
// grid uses to paint text cells exactly as the editor shows them.
//
// A password text never leaves the editor: copying and cutting are refused
// by every path (the menu, Ctrl+C, Ctrl+X, Ctrl+Insert, Shift+Delete, the
// copy and cut messages).
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "gui/menu.h"
#include "treelist/grid_inplace_edit.h"

// The text editor's look: the editor's, plus how its text is written.
class TGridTextEditViewData : public TGridEditViewData {
 public:
  TGridEditCharCase CharCase = ecNormal;
  bool EndEllipsis = false;
  char PasswordChar = 0;
  bool SelectionBar = false;
  bool NoFill = false;  // the text only, on what is there

  // The cell text (nothing for the editor's own window, whose control
  // writes its text itself): in the character case, masked by the password
  // character, within the margins; in measuring mode only the height the
  // text takes (MeasuredHeight) and the lines of LineHeight it holds.
  void DrawBackground(gui::Canvas& canvas, const gui::Rect& r, bool fromWindow) override;
};

// The context menu's items by tag.
enum TGridTextEditMenuTag : int {
  tmUndo = -1,
  tmRedo = -2,
  tmCut = -3,
  tmCopy = -4,
  tmPaste = -5,
  tmDelete = -6,
  tmSelectAll = -7,
  tmSeparator = 2147483647,
};

// What decides which menu items can be chosen.
struct TGridTextEditMenuState {
  bool canUndo = false;
  bool canRedo = false;
  bool hasSelection = false;
  bool allSelected = false;
  bool editable = false;
  bool password = false;
  bool canPaste = false;
};
bool GridTextEditMenuItemEnabled(int tag, const TGridTextEditMenuState& s);

class TGridInplaceTextEdit : public TGridInplaceEdit {
 public:
  explicit TGridInplaceTextEdit(gui::Component* owner);
  ~TGridInplaceTextEdit() override;

  bool HasEditableText() const override { return true; }

  // ------------------------------------------------------------ properties
  bool AutoSelect() const { return autoSelect_; }
  void SetAutoSelect(bool a) { autoSelect_ = a; }
  TGridEditCharCase CharCase() const { return charCase_; }
  // A new case rewrites the text in it.
  void SetCharCase(TGridEditCharCase c);
  bool HideSelection() const { return hideSelection_; }
  void SetHideSelection(bool h);
  int MaxLength() const { return maxLength_; }
  // A negative length is 0 (no limit of the editor's).
  virtual void SetMaxLength(int n);
  // As SetMaxLength, marked as given explicitly.
  void AssignMaxLength(int n);
  bool OEMConvert() const { return oemConvert_; }
  void SetOEMConvert(bool o);
  char PasswordChar() const { return passwordChar_; }
  void SetPasswordChar(char c);
  bool GetModified() const override;
  void SetModified(bool m) override;
  void SetReadOnly(bool r) override;
  void RestoreDefaults() override;

  // ------------------------------------------------------------ selection
  void GetSelection(int& start, int& stop) const;
  int GetSelStart() const;
  int GetSelLength() const;
  // The selected text (the whole of it, however long).
  std::string GetSelText() const;
  // The caret at n, nothing selected.
  void SetSelStart(int n);
  // n characters from the selection's start, the caret scrolled into view.
  void SetSelLength(int n);
  void SelectAll() override;
  // The caret after the last character, nothing selected.
  void ProcessF2() override;

  // ------------------------------------------------------------ editing
  void ClearSelection();
  void CutToClipboard();
  void CopyToClipboard();
  void PasteFromClipboard();
  void Undo();
  void Redo();
  void ClearUndo();
  bool CanUndo() const;
  bool CanRedo() const;
  // The window exists, the editor is editable and the control can paste.
  bool CanPaste() const;
  // The value set, the undo buffer emptied.
  void SetEditValue(const std::string& value) override;

  // ------------------------------------------------------------ context menu
  TGridTextEditMenuState MenuState() const;
  // Shows the menu at a screen point; (-1, -1) from the keyboard means the
  // caret. A point outside the client area shows nothing.
  void ShowContextMenu(gui::Point screen);
  gui::PopupMenu* ContextMenu() const { return menu_; }
  // What a menu item does, by tag.
  void MenuAction(int tag);

  std::function<void(gui::Control* sender)> OnSelectionChange;

 protected:
  // Rewrites the text in the character case, keeping the selection and
  // the modified flag.
  virtual void ApplyCharCase();
  virtual void SetMaxLengthToWindow(int n);
  // Whether the rich edit's callback is registered (it refuses drag and
  // drop; a right click then posts the context menu itself).
  virtual bool UseOleCallback() const { return false; }
  virtual void SelectionChange();
  virtual int GetDefaultMaxLength() const { return 0; }
  // The menu's Delete.
  virtual void DeleteSelection() { ClearSelection(); }
  // The control changed its text (not while the window is made or a value
  // is set).
  virtual void TextEdited() {}
  // Selects [start, stop); with caretAtStart the caret stands at start.
  void SetSelCaret(int start, int stop, bool caretAtStart);
  intptr_t SendToWindow(unsigned msg, uintptr_t wp = 0, intptr_t lp = 0) const;

  std::unique_ptr<TGridEditViewData> NewViewData() const override;
  void FillViewData(TGridEditViewData& vd) const override;
  void CreateParams(gui::WindowParams& p) override;
  void HandleCreated() override;
  void HandleDestroying() override;
  void Loaded() override;
  void WndProc(gui::Message& m) override;
  void KeyDown(uint16_t& key, gui::ShiftState shift) override;
  void KeyPress(char& key) override;

 private:
  void SetSelection(int start, int stop);
  void ControlChanged();
  void UpdateFormatRect();
  void ButtonDown(gui::Message& m);
  bool ParentHasPopupMenu() const;
  void BuildMenu();

  bool settingValue_ = false;
  bool autoSelect_ = true;
  TGridEditCharCase charCase_ = ecNormal;
  bool changingCase_ = false;
  bool creatingWnd_ = false;
  gui::PopupMenu* menu_ = nullptr;  // owned (a component of the editor)
  bool hideSelection_ = true;
  int maxLength_ = 0;
  bool savedModified_ = false;
  bool oemConvert_ = false;
  char passwordChar_ = 0;
};

using TGridInplaceTreeListTextEdit = TGridInplaceTextEdit;
