#include "treelist/mask_edit_model.h"

#include <algorithm>

#include "treelist/grid_edit_error.h"

using namespace editkey;

TMaskEditModel::TMaskEditModel(TMaskEditControl& control, const MaskLocale& locale)
    : control_(control), locale_(locale), layout_("", locale) {}

// ------------------------------------------------------------------ text

void TMaskEditModel::SetEditMask(std::string_view mask) {
  if (mask == layout_.Mask()) return;
  const std::string value = Text();
  int start = 0, stop = 0;
  control_.GetSel(start, stop);
  layout_ = TMaskLayout(mask, locale_);
  masked_ = !mask.empty();
  control_.SetTextLimit(TextLimit());
  SetText(value);
  if (masked_ && control_.Focused()) SetCursor(start);
}

std::string TMaskEditModel::Text() const {
  const std::string text = control_.GetText();
  if (!masked_) return text;
  bool allBlank = true;
  for (int t = 0; t < MaxChars() && allBlank; ++t)
    if (layout_.IsInput(t) && size_t(t) < text.size() && text[size_t(t)] != MaskBlank())
      allBlank = false;
  if (allBlank) return ignoreMaskBlank_ ? text : std::string();
  std::string value = RemoveEditFormat(layout_, text, MaskBlank());
  if (MaskSave()) value = MaskDoFormatText(layout_, value, ' ');
  return value;
}

void TMaskEditModel::SetText(std::string_view value) {
  if (!masked_) {
    control_.SetText(std::string(value));
    return;
  }
  const std::string text = MaskSave() ? PadInputLiterals(layout_, value, MaskBlank())
                                      : MaskDoFormatText(layout_, value, MaskBlank());
  if (text != control_.GetText()) control_.SetText(text);
  CheckCursor();
}

std::string TMaskEditModel::CurrentText() const {
  std::string text = control_.GetText();
  if (static_cast<int>(text.size()) != MaxChars()) return PadInputLiterals(layout_, text, MaskBlank());
  for (int t = 0; t < MaxChars(); ++t)
    if (layout_.IsLiteral(t)) text[size_t(t)] = layout_.LiteralAt(t);
  return text;
}

void TMaskEditModel::Commit(const std::string& text) {
  if (text == control_.GetText()) return;
  control_.SetText(text);
  control_.SetModified(true);
}

void TMaskEditModel::BlankRange(std::string& text, int start, int stop) const {
  stop = std::min({stop, MaxChars(), static_cast<int>(text.size())});
  for (int t = std::max(start, 0); t < stop; ++t)
    if (layout_.IsInput(t)) text[size_t(t)] = MaskBlank();
}

int TMaskEditModel::CharLength(const std::string& text, int t) const {
  return t >= 0 && size_t(t) + 1 < text.size() && locale_.IsLead(text[size_t(t)]) ? 2 : 1;
}

void TMaskEditModel::GetSelection(int& start, int& stop) const {
  control_.GetSel(start, stop);
  start = std::clamp(start, 0, MaxChars());
  stop = std::clamp(stop, start, MaxChars());
}

// ------------------------------------------------------------------ validation

bool TMaskEditModel::Validate(std::string_view text, int& pos) const {
  return MaskValidateText(layout_, text, MaskBlank(), ignoreMaskBlank_, pos);
}

void TMaskEditModel::ValidateEdit() {
  int pos = 0;
  if (masked_ && control_.GetModified() && !Validate(control_.GetText(), pos)) {
    if (control_.AbandonInvalidInput()) {
      control_.RestoreSaved();
      CheckCursor();
      return;
    }
    reentering_ = true;
    control_.RefocusAfterRejection();
    SetCursor(pos);
    control_.Beep();
    throw EDBEditError(kMaskEditInvalidInputText);
  }
  CheckCursor();
  control_.BaseValidateEdit();
}

// ------------------------------------------------------------------ caret

void TMaskEditModel::SetCursor(int pos) {
  if (!masked_) return;
  pos = std::clamp(pos, 0, MaxChars());
  const int stop = std::min(pos + CharLength(control_.GetText(), pos), MaxChars());
  control_.SetSel(pos, stop, true);
  caretPos_ = pos;
}

void TMaskEditModel::CheckCursor() {
  if (!masked_) return;
  int start, stop;
  GetSelection(start, stop);
  if (start == stop) SetCursor(start);
}

void TMaskEditModel::SelectRange(int anchor, int caret) {
  control_.SetSel(std::min(anchor, caret), std::max(anchor, caret), caret <= anchor);
  caretPos_ = caret;
}

void TMaskEditModel::ArrowKeys(int key, unsigned shift) {
  if (!masked_ || (shift & kCtrl)) return;
  if (shift & kShift) {
    // The window extends the selection itself; the caret is only tracked.
    caretPos_ = std::clamp(caretPos_ + (key == kRight ? 1 : -1), 0, MaxChars());
    return;
  }
  int start, stop;
  GetSelection(start, stop);
  const std::string text = control_.GetText();
  const bool single = stop - start <= CharLength(text, start);
  if (key == kLeft) {
    const int prev = layout_.PrevInput(start);
    if (!single)
      SetCursor(layout_.NextInput(start));
    else
      SetCursor(prev >= 0 ? prev : start);
  } else if (key == kRight) {
    const int last = layout_.PrevInput(stop);
    if (!single)
      SetCursor(last >= start ? last : stop);
    else
      SetCursor(layout_.NextInput(start + CharLength(text, start)));
  }
}

void TMaskEditModel::HomeEnd(int key, unsigned shift) {
  int start, stop;
  GetSelection(start, stop);
  if (key == kHome) {
    const int first = layout_.NextInput(0);
    if (shift & kShift)
      SelectRange(stop, first);
    else
      SetCursor(first);
    return;
  }
  const int last = layout_.PrevInput(MaxChars());
  if (shift & kShift)
    SelectRange(start, last >= 0 ? last + 1 : MaxChars());
  else
    SetCursor(last >= 0 ? last : MaxChars());
}

void TMaskEditModel::LeftButtonUp(int x) {
  if (!masked_) return;
  int start, stop;
  GetSelection(start, stop);
  caretPos_ = (start != stop && x > btnDownX_) ? stop : start;
  CheckCursor();
}

void TMaskEditModel::TextChanged() {
  if (!masked_) return;
  int start, stop;
  GetSelection(start, stop);
  if (start == stop) SetCursor(layout_.NextInput(start));
}

void TMaskEditModel::Entered() {
  reentering_ = false;
  CheckCursor();
}

void TMaskEditModel::Change() {
  if (!masked_) return;
  Commit(CurrentText());
  CheckCursor();
}

// ------------------------------------------------------------------ typing

bool TMaskEditModel::InputChar(char& ch, int offset) {
  if (!masked_) return true;
  if (layout_.IsLiteral(offset)) {
    ch = layout_.LiteralAt(offset);
    return true;
  }
  if (layout_.AcceptChar(offset, ch)) return true;
  if (layout_.IsInput(offset)) {
    const int literal = layout_.NextLiteral(offset);
    if (literal >= 0 && layout_.LiteralAt(literal) == ch) {
      SetCursor(layout_.NextInput(literal + 1));
      return false;
    }
  }
  control_.Beep();
  return false;
}

void TMaskEditModel::DoInputChar(char ch) {
  if (!masked_) return;
  if (ch == '\x1B') {
    control_.RestoreSaved();
    CheckCursor();
    return;
  }
  if (!control_.CanModify() || static_cast<unsigned char>(ch) < 32) return;
  std::string text = CurrentText();
  int start, stop;
  GetSelection(start, stop);
  if (stop - start > CharLength(text, start)) {
    BlankRange(text, start, stop);
    Commit(text);
    start = layout_.NextInput(start);
    SetCursor(start);
  }
  if (locale_.IsLead(ch)) {
    char trail = 0;
    // A lead byte without its trail byte is dropped: no half character.
    if (!control_.TakeTrailByte(trail)) return;
    if (!layout_.AcceptPair(start)) {
      control_.Beep();
      return;
    }
    text[size_t(start)] = ch;
    text[size_t(start) + 1] = trail;
    Commit(text);
    SetCursor(layout_.NextInput(start + 2));
    return;
  }
  if (!InputChar(ch, start)) return;
  text[size_t(start)] = ch;
  Commit(text);
  SetCursor(layout_.NextInput(start + 1));
}

int TMaskEditModel::InputString(std::string_view s, int offset) {
  if (!masked_) return offset;
  std::string text = CurrentText();
  int p = std::max(offset, 0);
  size_t i = 0;
  while (i < s.size() && p < MaxChars()) {
    char c = s[i];
    if (layout_.IsLiteral(p)) {
      // The literal stays; a pasted copy of it is used up by it.
      if (c == layout_.LiteralAt(p)) ++i;
      ++p;
      continue;
    }
    if (locale_.IsLead(c)) {
      if (i + 1 < s.size() && layout_.AcceptPair(p)) {
        text[size_t(p)] = c;
        text[size_t(p) + 1] = s[i + 1];
        p += 2;
      } else {
        text[size_t(p++)] = MaskBlank();
      }
      i += 2;
      continue;
    }
    if (!layout_.AcceptChar(p, c)) c = MaskBlank();
    text[size_t(p++)] = c;
    ++i;
  }
  Commit(text);
  return p;
}

void TMaskEditModel::DeleteKeys(int key) {
  if (!masked_ || !control_.CanModify()) return;
  std::string text = CurrentText();
  int start, stop;
  GetSelection(start, stop);
  const bool single = stop - start <= CharLength(text, start);
  if (key == kBack && single) {
    const int prev = layout_.PrevInput(start);
    if (prev < 0) return;
    BlankRange(text, prev, prev + 1);
    Commit(text);
    SetCursor(prev);
    return;
  }
  if (start >= MaxChars()) return;
  if (start == stop) stop = start + CharLength(text, start);
  BlankRange(text, start, stop);
  Commit(text);
  SetCursor(layout_.NextInput(key == kDelete && single ? stop : start));
}

// ------------------------------------------------------------------ keys

bool TMaskEditModel::KeyDown(int key, unsigned shift) {
  if (!masked_) return false;
  const unsigned mods = shift & (kShift | kCtrl | kAlt);
  if ((key == kV && mods == kCtrl) || (key == kInsert && mods == kShift)) {
    control_.PostPaste();
    return true;
  }
  // Every way to cut goes through the mask, so the rest of the entry stays.
  if ((key == kX && mods == kCtrl) || (key == kDelete && mods == kShift)) {
    Cut();
    return true;
  }
  if (mods & kAlt) return false;
  switch (key) {
    case kLeft:
    case kRight:
      ArrowKeys(key, shift);
      return (mods & (kShift | kCtrl)) == 0;
    case kUp:
    case kDown:
      return true;
    case kHome:
    case kEnd:
      HomeEnd(key, shift);
      return true;
    case kDelete:
    case kBack:
      // With Ctrl too: the window's word deletion would break the mask.
      DeleteKeys(key);
      return true;
    default:
      CheckCursor();
      return false;
  }
}

bool TMaskEditModel::KeyPress(char ch) {
  if (!masked_) return false;
  if (ch == '\x03' || ch == '\x16' || ch == '\x18') return false;  // Ctrl+C, Ctrl+V, Ctrl+X
  DoInputChar(ch);
  return true;
}

void TMaskEditModel::KeyUp(int key, unsigned shift) {
  if ((key == kLeft || key == kRight) && (shift & kCtrl)) CheckCursor();
}

// ------------------------------------------------------------------ clipboard

bool TMaskEditModel::Cut() {
  if (!masked_) return false;
  int start, stop;
  GetSelection(start, stop);
  if (!control_.CanModify() || start == stop) return true;
  control_.SetClipboardText(CurrentText().substr(size_t(start), size_t(stop - start)));
  return ClearSelection();
}

bool TMaskEditModel::ClearSelection() {
  if (!masked_) return false;
  int start, stop;
  GetSelection(start, stop);
  if (start != stop) DeleteKeys(kDelete);
  return true;
}

bool TMaskEditModel::Clear() {
  if (!masked_) return false;
  if (!control_.CanModify()) return true;
  control_.SetSel(0, MaxChars(), true);
  DeleteKeys(kDelete);
  return true;
}

bool TMaskEditModel::Paste() {
  if (!masked_) return false;
  if (!control_.CanModify()) return true;
  std::string text = CurrentText();
  int start, stop;
  GetSelection(start, stop);
  BlankRange(text, start, stop);
  Commit(text);
  const int end = InputString(control_.GetClipboardText(), start);
  SetCursor(layout_.NextInput(end));
  control_.SetModified(true);
  ValidateEdit();
  return true;
}

bool TMaskEditModel::AllowReplaceSel(std::string_view replacement) const {
  if (!masked_) return true;
  int start, stop;
  control_.GetSel(start, stop);
  return static_cast<int>(replacement.size()) == stop - start;
}
