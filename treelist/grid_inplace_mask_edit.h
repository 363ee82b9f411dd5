// The grid's mask editor: the text editor that lets the user type only
// through an edit mask. The caret selects the one character it stands on
// and moves field by field over the input positions; typed characters are
// tested and case-converted, literals are skipped, deleting, cutting and
// pasting keep the literals in place, and the value is checked before the
// grid takes it. The editing itself is the mask editing model's; this
// window hands it its keys and messages.
//
// Cut and the context menu's Delete blank only the selected input
// positions, as the Delete key does; a clear message sent to the window
// blanks every input position.
#pragma once
#include <string>

#include "treelist/grid_inplace_text_edit.h"
#include "treelist/mask_edit_model.h"

class TGridInplaceMaskEdit : public TGridInplaceTextEdit {
 public:
  explicit TGridInplaceMaskEdit(gui::Component* owner);
  ~TGridInplaceMaskEdit() override;

  const std::string& EditMask() const { return model_.EditMask(); }
  // A new mask formats the value again and re-creates the window.
  virtual void SetEditMask(const std::string& mask);
  // As SetEditMask, marked as given explicitly.
  void AssignEditMask(const std::string& mask);
  bool IsMasked() const { return model_.IsMasked(); }
  bool IgnoreMaskBlank() const { return model_.IgnoreMaskBlank(); }
  void SetIgnoreMaskBlank(bool ignore) { model_.SetIgnoreMaskBlank(ignore); }
  // The length of the text the mask makes.
  int MaxChars() const { return model_.MaxChars(); }
  // The text as shown, literals and blanks included.
  std::string EditText() const { return WindowText(); }
  const TMaskEditModel& Model() const { return model_; }

  // The value through the mask (see TMaskEditModel::Text).
  std::string GetEditValue() const override { return model_.Text(); }
  // A modified text that leaves a required position empty is turned down
  // with EDBEditError (or put back silently when the grid asks for that);
  // then the editor's own check.
  void ValidateEdit() override;
  // Masked: the length is the mask's.
  void SetMaxLength(int n) override;

 protected:
  void SetDisplayValue(const std::string& value) override;
  bool UseOleCallback() const override { return IsMasked(); }
  int GetDefaultMaxLength() const override { return IsMasked() ? MaxChars() : 0; }
  void DeleteSelection() override;
  void TextEdited() override;
  bool HandleClipboardMessage(unsigned msg) override;
  void WndProc(gui::Message& m) override;
  void KeyDown(uint16_t& key, gui::ShiftState shift) override;
  void KeyPress(char& key) override;
  void KeyUp(uint16_t& key, gui::ShiftState shift) override;

 private:
  // The model's view of this editor.
  class Window : public TMaskEditControl {
   public:
    explicit Window(TGridInplaceMaskEdit& e) : e_(e) {}
    std::string GetText() const override { return e_.WindowText(); }
    void SetText(const std::string& text) override { e_.SetWindowText(text); }
    void GetSel(int& start, int& stop) const override { e_.GetSelection(start, stop); }
    void SetSel(int start, int stop, bool caretAtStart) override {
      e_.SetSelCaret(start, stop, caretAtStart);
    }
    void Beep() override { e_.Beep(); }
    std::string GetClipboardText() override;
    void SetClipboardText(const std::string& text) override;
    void PostPaste() override;
    void SetTextLimit(int limit) override { e_.TGridInplaceTextEdit::SetMaxLength(limit); }
    bool TakeTrailByte(char& trail) override;
    bool Focused() const override { return e_.Focused(); }
    bool CanModify() const override { return e_.CanModify(); }
    bool GetModified() const override { return e_.GetModified(); }
    void SetModified(bool m) override { e_.SetModified(m); }
    void RestoreSaved() override { e_.RestoreSaved(); }
    bool AbandonInvalidInput() const override { return e_.AbandonInvalidInput(); }
    void RefocusAfterRejection() override { e_.RefocusAfterRejection(); }
    void BaseValidateEdit() override { e_.TGridInplaceTextEdit::ValidateEdit(); }

   private:
    TGridInplaceMaskEdit& e_;
  };

  Window window_;
  TMaskEditModel model_;
};

using TGridInplaceTreeListMaskEdit = TGridInplaceMaskEdit;
