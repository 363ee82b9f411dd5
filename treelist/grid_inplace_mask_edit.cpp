#include "treelist/grid_inplace_mask_edit.h"

#include "gui/clipboard.h"
#include "treelist/grid_edit_window.h"

using namespace gui;

namespace {

unsigned ModelShift(ShiftState s) {
  unsigned m = 0;
  if (s & ssShift) m |= editkey::kShift;
  if (s & ssCtrl) m |= editkey::kCtrl;
  if (s & ssAlt) m |= editkey::kAlt;
  return m;
}

}  // namespace

// ---------------------------------------------------------------- the model's window

std::string TGridInplaceMaskEdit::Window::GetClipboardText() { return TheClipboard().GetText(); }

void TGridInplaceMaskEdit::Window::SetClipboardText(const std::string& text) {
  if (e_.PasswordChar() != 0) return;  // a password text is never copied
  TheClipboard().SetText(text);
}

void TGridInplaceMaskEdit::Window::PostPaste() {
  if (e_.HandleAllocated()) e_.Peer()->Post(WM_PASTE, 0, 0);
}

bool TGridInplaceMaskEdit::Window::TakeTrailByte(char& trail) {
  return e_.HandleAllocated() && GridEditTakePendingChar(e_, trail);
}

// ---------------------------------------------------------------- editor

TGridInplaceMaskEdit::TGridInplaceMaskEdit(Component* owner)
    : TGridInplaceTextEdit(owner), window_(*this), model_(window_, GridEditMaskLocale()) {}

TGridInplaceMaskEdit::~TGridInplaceMaskEdit() { DestroyHandle(); }

void TGridInplaceMaskEdit::SetEditMask(const std::string& mask) {
  if (mask == model_.EditMask()) return;
  model_.SetEditMask(mask);
  // The callback and the limit go with the window's creation.
  RecreateWnd();
}

void TGridInplaceMaskEdit::AssignEditMask(const std::string& mask) {
  SetStoredValues(StoredValues() | gsvEditMask);
  SetEditMask(mask);
}

void TGridInplaceMaskEdit::SetMaxLength(int n) {
  TGridInplaceTextEdit::SetMaxLength(IsMasked() ? MaxChars() : n);
}

void TGridInplaceMaskEdit::SetDisplayValue(const std::string& value) { model_.SetText(value); }

void TGridInplaceMaskEdit::ValidateEdit() {
  if (ValidationSuppressed()) return;
  model_.ValidateEdit();
}

void TGridInplaceMaskEdit::DeleteSelection() {
  if (!model_.ClearSelection()) TGridInplaceTextEdit::DeleteSelection();
}

void TGridInplaceMaskEdit::TextEdited() { model_.Change(); }

bool TGridInplaceMaskEdit::HandleClipboardMessage(unsigned msg) {
  if (!IsMasked()) return false;
  if (msg == WM_CUT) return model_.Cut();
  if (msg == WM_CLEAR) return model_.Clear();
  if (msg == WM_PASTE) return model_.Paste();
  return false;
}

void TGridInplaceMaskEdit::WndProc(Message& m) {
  switch (m.Msg) {
    case EM_REPLACESEL: {
      const char* text = reinterpret_cast<const char*>(m.LParam);
      if (!model_.AllowReplaceSel(text ? text : "")) return;
      break;
    }
    case WM_SETFOCUS:
      TGridInplaceTextEdit::WndProc(m);
      model_.SetFocus();
      return;
    case CM_TEXTCHANGED:
      TGridInplaceTextEdit::WndProc(m);
      model_.TextChanged();
      return;
    case CM_ENTER:
      // Back after a value was turned down: not entered afresh.
      if (!model_.Reentering()) TGridInplaceTextEdit::WndProc(m);
      model_.Entered();
      return;
    case WM_LBUTTONDOWN:
      model_.LeftButtonDown(LoWordSigned(m.LParam));
      break;
    case WM_LBUTTONUP:
      TGridInplaceTextEdit::WndProc(m);
      model_.LeftButtonUp(LoWordSigned(m.LParam));
      return;
    case CM_WANTSPECIALKEY:
      if (m.WParam == uintptr_t(VK_ESCAPE) && model_.WantsEscape()) {
        m.Result = 1;
        return;
      }
      break;
    default:
      break;
  }
  TGridInplaceTextEdit::WndProc(m);
}

void TGridInplaceMaskEdit::KeyDown(uint16_t& key, ShiftState shift) {
  TGridInplaceTextEdit::KeyDown(key, shift);
  if (key != 0 && model_.KeyDown(key, ModelShift(shift))) key = 0;
}

void TGridInplaceMaskEdit::KeyPress(char& key) {
  TGridInplaceTextEdit::KeyPress(key);
  if (key != 0 && model_.KeyPress(key)) key = 0;
}

void TGridInplaceMaskEdit::KeyUp(uint16_t& key, ShiftState shift) {
  TGridInplaceTextEdit::KeyUp(key, shift);
  model_.KeyUp(key, ModelShift(shift));
}
