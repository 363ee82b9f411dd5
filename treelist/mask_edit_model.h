// The editing model of the grid's mask editor. With a mask the edit text
// always has MaxChars characters with every literal in place; the caret
// selects the one character it stands on and moves field by field over the
// input positions; typing, deleting, cutting and pasting go through the
// mask. The model works on an abstract edit control: the editor window
// implements it and forwards its keys and messages to the model.
#pragma once
#include <string>
#include <string_view>

#include "treelist/edit_mask.h"

// Virtual-key codes and shift bits of the keys the model handles.
namespace editkey {
constexpr int kBack = 0x08;
constexpr int kEscape = 0x1B;
constexpr int kEnd = 0x23;
constexpr int kHome = 0x24;
constexpr int kLeft = 0x25;
constexpr int kUp = 0x26;
constexpr int kRight = 0x27;
constexpr int kDown = 0x28;
constexpr int kInsert = 0x2D;
constexpr int kDelete = 0x2E;
constexpr int kC = 'C';
constexpr int kV = 'V';
constexpr int kX = 'X';
constexpr unsigned kShift = 1;
constexpr unsigned kCtrl = 2;
constexpr unsigned kAlt = 4;
}  // namespace editkey

// What the model needs of the editor window and of the editor around it.
class TMaskEditControl {
 public:
  virtual ~TMaskEditControl() = default;

  // The window.
  virtual std::string GetText() const = 0;
  virtual void SetText(const std::string& text) = 0;
  virtual void GetSel(int& start, int& stop) const = 0;
  // Selects [start, stop) with the caret at start (caretAtStart) or stop.
  virtual void SetSel(int start, int stop, bool caretAtStart) = 0;
  virtual void Beep() = 0;
  virtual std::string GetClipboardText() = 0;
  virtual void SetClipboardText(const std::string& text) = 0;
  // Pastes later, from the window's message queue.
  virtual void PostPaste() = 0;
  // The most characters the window lets the user type (0: no limit).
  virtual void SetTextLimit(int limit) {}
  // The trail byte of a double-byte character when one is waiting.
  virtual bool TakeTrailByte(char& trail) { return false; }
  virtual bool Focused() const { return true; }

  // The editor.
  virtual bool CanModify() const = 0;
  virtual bool GetModified() const = 0;
  virtual void SetModified(bool modified) = 0;
  // Escape: back to the text and modified flag saved on entering.
  virtual void RestoreSaved() = 0;
  // Whether the grid has asked to drop an invalid value without a word.
  virtual bool AbandonInvalidInput() const { return false; }
  // After a rejected value: the focus back to the editor when it is shown.
  virtual void RefocusAfterRejection() {}
  // The editor's own check (its OnValidate); may raise EGridEditInvalidInput.
  virtual void BaseValidateEdit() {}
};

class TMaskEditModel {
 public:
  explicit TMaskEditModel(TMaskEditControl& control, const MaskLocale& locale = {});
  TMaskEditModel(const TMaskEditModel&) = delete;
  TMaskEditModel& operator=(const TMaskEditModel&) = delete;

  const std::string& EditMask() const { return layout_.Mask(); }
  // A new mask: the current value is formatted again through it.
  void SetEditMask(std::string_view mask);
  bool IsMasked() const { return masked_; }
  // The length of the edit text: the literal and input positions of the pattern.
  int MaxChars() const { return layout_.TextLength(); }
  bool MaskSave() const { return layout_.Save(); }
  char MaskBlank() const { return layout_.Blank(); }
  const TMaskLayout& Layout() const { return layout_; }
  bool IgnoreMaskBlank() const { return ignoreMaskBlank_; }
  void SetIgnoreMaskBlank(bool ignore) { ignoreMaskBlank_ = ignore; }
  int TextLimit() const { return masked_ ? MaxChars() : 0; }
  int CaretPos() const { return caretPos_; }

  // The text as shown, literals and blanks included.
  std::string EditText() const { return control_.GetText(); }
  // The value: the edit text without literals (with them when the save flag
  // is set, blanks as spaces); empty when every input position is blank,
  // unless IgnoreMaskBlank, which hands over the edit text as shown.
  std::string Text() const;
  // Formats a value into the edit text.
  void SetText(std::string_view value);

  // Whether text fills every required position; pos gets the first that fails.
  bool Validate(std::string_view text, int& pos) const;
  // Checks a modified masked text. A failure either restores the saved text
  // (when the grid asks to abandon invalid input) or places the caret on the
  // failing position and raises EDBEditError; the editor is then re-entered
  // without its entering steps. Then the editor's own check runs.
  void ValidateEdit();

  // The caret: the character at pos selected (MaxChars bounds it).
  void SetCursor(int pos);
  // With nothing selected, the caret is set again at the selection start.
  void CheckCursor();
  // Left and Right, field by field; with Shift only the caret is tracked.
  void ArrowKeys(int key, unsigned shift);

  // Whether ch may stand at offset; ch takes its case or becomes the
  // literal there. A refused character that equals the next literal moves
  // the caret behind that literal; any other beeps.
  bool InputChar(char& ch, int offset);
  // One typed character (Escape restores the saved text).
  void DoInputChar(char ch);
  // Types s through the mask from offset, a refused character giving the
  // blank; answers the offset behind the last position filled.
  int InputString(std::string_view s, int offset);
  // Delete and Backspace: selected input positions become blank.
  void DeleteKeys(int key);

  // Keys and messages forwarded by the window; true when consumed.
  bool KeyDown(int key, unsigned shift);
  bool KeyPress(char ch);
  void KeyUp(int key, unsigned shift);
  // Cut: copies the selection, then blanks its input positions only (as
  // Delete does); ClearSelection is the same without the copy. Clear blanks
  // every input position whatever is selected. Paste types the clipboard
  // text over the selection and validates. Each answers false without a
  // mask (the window does it itself).
  bool Cut();
  bool ClearSelection();
  bool Clear();
  bool Paste();
  // A replacement of the selection is allowed only at the same length.
  bool AllowReplaceSel(std::string_view replacement) const;
  void SetFocus() { CheckCursor(); }
  void TextChanged();
  // Whether the window's entering steps (select all, save for Escape) run
  // now: not when the editor is re-entered after a rejected value.
  bool Reentering() const { return reentering_; }
  void Entered();
  // The window's change notification: a text that does not fit the mask
  // (from outside the model) is fitted again: one of another length field
  // by field, one of the right length by putting the literals back.
  void Change();
  bool WantsEscape() const { return masked_ && control_.GetModified(); }
  void LeftButtonDown(int x) { btnDownX_ = x; }
  void LeftButtonUp(int x);

 private:
  // The window's text, fitted to the mask as Change does.
  std::string CurrentText() const;
  // The window's selection, bounded by MaxChars.
  void GetSelection(int& start, int& stop) const;
  void HomeEnd(int key, unsigned shift);
  int CharLength(const std::string& text, int t) const;
  void BlankRange(std::string& text, int start, int stop) const;
  void Commit(const std::string& text);
  void SelectRange(int anchor, int caret);

  TMaskEditControl& control_;
  MaskLocale locale_;
  TMaskLayout layout_;
  bool masked_ = false;
  bool ignoreMaskBlank_ = false;
  bool reentering_ = false;
  int caretPos_ = 0;
  int btnDownX_ = 0;
};
