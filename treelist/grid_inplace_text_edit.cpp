#include "treelist/grid_inplace_text_edit.h"

#include <algorithm>

#include "gui/environment.h"
#include "platform/text.h"
#include "treelist/grid_edit_window.h"
#include "treelist/grid_utils.h"

using namespace gui;

namespace {

std::string InCase(const std::string& s, TGridEditCharCase c) {
  switch (c) {
    case ecUpperCase: return plat::UpperCase(s);
    case ecLowerCase: return plat::LowerCase(s);
    default: return s;
  }
}

struct MenuEntry {
  const char* caption;
  int tag;
};
constexpr MenuEntry kMenu[] = {
    {"&Undo", tmUndo}, {"&Redo", tmRedo},     {"-", tmSeparator},  {"Cu&t", tmCut},
    {"&Copy", tmCopy}, {"&Paste", tmPaste},   {"&Delete", tmDelete}, {"-", tmSeparator},
    {"Select &All", tmSelectAll},
};

// Ctrl+C, Ctrl+Insert, Ctrl+X and Shift+Delete.
bool IsCopyKey(uint16_t key, ShiftState shift) {
  const ShiftState mods = shift & (ssShift | ssCtrl | ssAlt);
  return (mods == ssCtrl && (key == 'C' || key == 'X' || key == VK_INSERT)) ||
         (mods == ssShift && key == VK_DELETE);
}

}  // namespace

// ---------------------------------------------------------------- view data

void TGridTextEditViewData::DrawBackground(Canvas& canvas, const Rect& r, bool fromWindow) {
  // The live control paints its text itself; a copy of it does not.
  if (fromWindow && HasEditableText && !PaintCopy) return;
  if (TextLength == 0) TextLength = int(Text.size());
  std::string text = InCase(Text, CharCase);
  if (PasswordChar != 0) text.assign(text.size(), PasswordChar);

  Rect area = r;
  if (SelectionBar) area.Left += 8;
  if (InPlace) {
    area = area.Inflate(-1, -1);
    area.Left += Margins.Left;
    area.Top += Margins.Top;
    area.Right -= Margins.Right;
    if (Alignment == taRightJustify) area.Right -= 1;
  } else {
    area = area.Inflate(-2, -2);
  }

  unsigned flags = Alignment == taRightJustify ? gtfRight : Alignment == taCenter ? gtfCenter : gtfLeft;
  switch (VertLayout) {
    case evlCenter: flags |= gtfVCenter; break;
    case evlBottom: flags |= gtfBottom; break;
    case evlWordWrap: flags |= gtfWordWrap; break;
    default: break;
  }
  if (EndEllipsis) flags |= gtfEndEllipsis;
  if (InPlace && Focused) flags |= gtfFocusRect;
  if (NoFill) flags |= gtfNoFill;
  Brush brush;
  brush.SetColor(BrushColor);
  if (!Measuring) {
    DrawTextEx(canvas, text, nullptr, TextColor, BkColor, Font, brush, flags, area, r);
    return;
  }
  int lineHeight = 0;
  const int needed = DrawTextEx(canvas, text, &lineHeight, TextColor, BkColor, Font, brush,
                                flags | gtfMeasure, area, r);
  MeasuredHeight = needed - (InPlace ? Margins.Top + 2 : 2);
  LineCount = LineHeight > 0 ? MeasuredHeight / LineHeight : 0;
}

bool GridTextEditMenuItemEnabled(int tag, const TGridTextEditMenuState& s) {
  switch (tag) {
    case tmUndo: return s.canUndo;
    case tmRedo: return s.canRedo;
    case tmCut: return s.hasSelection && s.editable && !s.password;
    case tmCopy: return s.hasSelection && !s.password;
    case tmPaste: return s.canPaste;
    case tmDelete: return s.hasSelection && s.editable;
    case tmSelectAll: return !s.allSelected;
    default: return true;
  }
}

// ---------------------------------------------------------------- life

TGridInplaceTextEdit::TGridInplaceTextEdit(Component* owner) : TGridInplaceEdit(owner) {
  InitGridRichEdit();
  // The control captures the mouse and clicks itself.
  SetControlStyle(ControlStyle() & ~(csCaptureMouse | csClickEvents));
}

TGridInplaceTextEdit::~TGridInplaceTextEdit() {
  // The control lets go of the callback before the editor goes.
  DestroyHandle();
  FinalizeGridRichEdit();
}

intptr_t TGridInplaceTextEdit::SendToWindow(unsigned msg, uintptr_t wp, intptr_t lp) const {
  return HandleAllocated() ? Peer()->Send(msg, wp, lp) : 0;
}

void TGridInplaceTextEdit::CreateParams(WindowParams& p) {
  TGridInplaceEdit::CreateParams(p);
  p.ClassName = "RichEdit20A";
  p.SystemClass = true;
  p.Style |= ES_AUTOHSCROLL | ES_AUTOVSCROLL;
  if (Alignment() == taRightJustify) p.Style |= ES_RIGHT;
  if (Alignment() == taCenter) p.Style |= ES_CENTER;
  if (charCase_ == ecUpperCase) p.Style |= ES_UPPERCASE;
  if (charCase_ == ecLowerCase) p.Style |= ES_LOWERCASE;
  if (!hideSelection_) p.Style |= ES_NOHIDESEL;
  if (oemConvert_) p.Style |= ES_OEMCONVERT;
  if (passwordChar_ != 0) p.Style |= ES_PASSWORD;
  if (!IsEditable()) p.Style |= ES_READONLY;
}

void TGridInplaceTextEdit::HandleCreated() {
  TGridFlagScope creating(creatingWnd_);
  // Plain-text mode is taken by an empty control only.
  const std::string text = Caption();
  GridEditSendFont(*this);
  SendToWindow(WM_SETTEXT, 0, reinterpret_cast<intptr_t>(""));
  SendToWindow(EM_SETTEXTMODE, TM_PLAINTEXT);
  SendToWindow(WM_SETTEXT, 0, reinterpret_cast<intptr_t>(text.c_str()));
  SetMaxLengthToWindow(maxLength_);
  SendToWindow(EM_SETEVENTMASK, 0, intptr_t(ENM_CHANGE | ENM_DRAGDROPDONE | ENM_SELCHANGE));
  SendToWindow(EM_SETBKGNDCOLOR, 0, intptr_t(ColorToRGB(Color())));
  if (passwordChar_ != 0) SendToWindow(EM_SETPASSWORDCHAR, uint8_t(passwordChar_));
  if (UseOleCallback()) GridEditRegisterOleCallback(*this);
  SendToWindow(EM_SETMODIFY, savedModified_ ? 1 : 0);
  UpdateRegion();
}

void TGridInplaceTextEdit::HandleDestroying() {
  // What the new window starts from when the window is made again.
  savedModified_ = SendToWindow(EM_GETMODIFY) != 0;
  TextFromWindow(Peer()->Text());
  TGridInplaceEdit::HandleDestroying();
}

void TGridInplaceTextEdit::Loaded() {
  TGridInplaceEdit::Loaded();
  ApplyCharCase();
}

// ---------------------------------------------------------------- properties

void TGridInplaceTextEdit::SetCharCase(TGridEditCharCase c) {
  if (c == charCase_) return;
  charCase_ = c;
  ApplyCharCase();
}

void TGridInplaceTextEdit::SetHideSelection(bool h) {
  if (h == hideSelection_) return;
  hideSelection_ = h;
  RecreateWnd();
}

void TGridInplaceTextEdit::SetMaxLength(int n) {
  n = std::max(n, 0);
  if (n == maxLength_) return;
  maxLength_ = n;
  SetMaxLengthToWindow(n);
}

void TGridInplaceTextEdit::AssignMaxLength(int n) {
  SetStoredValues(StoredValues() | gsvMaxLength);
  SetMaxLength(n);
}

void TGridInplaceTextEdit::SetMaxLengthToWindow(int n) { SendToWindow(EM_EXLIMITTEXT, 0, n); }

void TGridInplaceTextEdit::SetOEMConvert(bool o) {
  if (o == oemConvert_) return;
  oemConvert_ = o;
  RecreateWnd();
}

void TGridInplaceTextEdit::SetPasswordChar(char c) {
  if (c == passwordChar_) return;
  passwordChar_ = c;
  if (!HandleAllocated()) return;
  SendToWindow(EM_SETPASSWORDCHAR, uint8_t(c));
  // Set again, the text is drawn masked (or plain).
  const bool modified = GetModified();
  const std::string text = WindowText();
  SendToWindow(WM_SETTEXT, 0, reinterpret_cast<intptr_t>(text.c_str()));
  SetModified(modified);
}

bool TGridInplaceTextEdit::GetModified() const {
  return HandleAllocated() ? SendToWindow(EM_GETMODIFY) != 0 : savedModified_;
}

void TGridInplaceTextEdit::SetModified(bool m) {
  if (HandleAllocated())
    SendToWindow(EM_SETMODIFY, m ? 1 : 0);
  else
    savedModified_ = m;
}

void TGridInplaceTextEdit::SetReadOnly(bool r) {
  TGridInplaceEdit::SetReadOnly(r);
  SendToWindow(EM_SETREADONLY, IsEditable() ? 0 : 1);
}

void TGridInplaceTextEdit::RestoreDefaults() {
  TGridInplaceEdit::RestoreDefaults();
  SetMaxLength(GetDefaultMaxLength());
}

void TGridInplaceTextEdit::ApplyCharCase() {
  if (charCase_ == ecNormal || !HandleAllocated()) return;
  const std::string text = WindowText();
  const std::string cased = InCase(text, charCase_);
  if (cased == text) return;
  TGridFlagScope changing(changingCase_);
  int start = 0, stop = 0;
  GetSelection(start, stop);
  const bool modified = GetModified();
  SetWindowText(cased);
  SetModified(modified);
  SetSelection(start, stop);
  SendToWindow(EM_SCROLLCARET);
}

// ---------------------------------------------------------------- selection

void TGridInplaceTextEdit::GetSelection(int& start, int& stop) const {
  TGridCharRange r;
  SendToWindow(EM_EXGETSEL, 0, reinterpret_cast<intptr_t>(&r));
  start = r.cpMin;
  stop = std::max(r.cpMax, r.cpMin);
}

void TGridInplaceTextEdit::SetSelection(int start, int stop) {
  TGridCharRange r;
  r.cpMin = start;
  r.cpMax = stop;
  SendToWindow(EM_EXSETSEL, 0, reinterpret_cast<intptr_t>(&r));
}

void TGridInplaceTextEdit::SetSelCaret(int start, int stop, bool caretAtStart) {
  if (!caretAtStart || stop <= start || !HandleAllocated()) {
    SetSelection(start, stop);
    return;
  }
  // The control puts its caret at the end of a selection it is given:
  // selecting leftwards from the end leaves it at the start.
  SetSelection(stop, stop);
  GridEditWithShiftHeld([&] {
    for (int i = start; i < stop; ++i) {
      Message key{WM_KEYDOWN, uintptr_t(VK_LEFT), 0, 0};
      DefaultHandler(key);
    }
  });
}

int TGridInplaceTextEdit::GetSelStart() const {
  int start = 0, stop = 0;
  GetSelection(start, stop);
  return start;
}

int TGridInplaceTextEdit::GetSelLength() const {
  int start = 0, stop = 0;
  GetSelection(start, stop);
  return stop - start;
}

std::string TGridInplaceTextEdit::GetSelText() const {
  int start = 0, stop = 0;
  GetSelection(start, stop);
  if (stop <= start) return {};
  // Room for two bytes a character and the terminator: the control writes
  // the selection whole, never past this.
  std::string buf(size_t(stop - start) * 2 + 1, '\0');
  const intptr_t n = SendToWindow(EM_GETSELTEXT, 0, reinterpret_cast<intptr_t>(buf.data()));
  buf.resize(size_t(std::clamp<intptr_t>(n, 0, intptr_t(buf.size()) - 1)));
  return buf;
}

void TGridInplaceTextEdit::SetSelStart(int n) { SetSelection(n, n); }

void TGridInplaceTextEdit::SetSelLength(int n) {
  const int start = GetSelStart();
  SetSelection(start, start + std::max(n, 0));
  SendToWindow(EM_SCROLLCARET);
}

void TGridInplaceTextEdit::SelectAll() { SetSelection(0, int(WindowText().size())); }

void TGridInplaceTextEdit::ProcessF2() {
  const int end = int(WindowText().size());
  SetSelection(end, end);
}

void TGridInplaceTextEdit::SelectionChange() {
  if (OnSelectionChange) OnSelectionChange(this);
}

// ---------------------------------------------------------------- editing

void TGridInplaceTextEdit::ClearSelection() { SendToWindow(WM_CLEAR); }
void TGridInplaceTextEdit::CutToClipboard() { SendToWindow(WM_CUT); }
void TGridInplaceTextEdit::CopyToClipboard() { SendToWindow(WM_COPY); }
void TGridInplaceTextEdit::PasteFromClipboard() { SendToWindow(WM_PASTE); }
void TGridInplaceTextEdit::Undo() { SendToWindow(EM_UNDO); }
void TGridInplaceTextEdit::Redo() { SendToWindow(EM_REDO); }
void TGridInplaceTextEdit::ClearUndo() { SendToWindow(EM_EMPTYUNDOBUFFER); }
bool TGridInplaceTextEdit::CanUndo() const { return SendToWindow(EM_CANUNDO) != 0; }
bool TGridInplaceTextEdit::CanRedo() const { return SendToWindow(EM_CANREDO) != 0; }

bool TGridInplaceTextEdit::CanPaste() const {
  return HandleAllocated() && IsEditable() && SendToWindow(EM_CANPASTE) != 0;
}

void TGridInplaceTextEdit::SetEditValue(const std::string& value) {
  TGridFlagScope setting(settingValue_);
  TGridInplaceEdit::SetEditValue(value);
  ClearUndo();
}

void TGridInplaceTextEdit::ControlChanged() {
  if (Loading() || changingCase_) return;
  ApplyCharCase();
  if (creatingWnd_ || settingValue_) return;
  TextEdited();
  Change();
}

// ---------------------------------------------------------------- context menu

TGridTextEditMenuState TGridInplaceTextEdit::MenuState() const {
  TGridTextEditMenuState s;
  int start = 0, stop = 0;
  GetSelection(start, stop);
  s.canUndo = CanUndo();
  s.canRedo = CanRedo();
  s.hasSelection = stop > start;
  s.allSelected = start == 0 && stop >= int(WindowText().size());
  s.editable = IsEditable();
  s.password = passwordChar_ != 0;
  s.canPaste = CanPaste();
  return s;
}

void TGridInplaceTextEdit::BuildMenu() {
  menu_ = new gui::PopupMenu(this);
  for (const MenuEntry& e : kMenu) {
    const int tag = e.tag;
    MenuItem* item = menu_->Items().AddItem(e.caption, [this, tag](Component*) { MenuAction(tag); });
    item->SetTag(tag);
  }
}

void TGridInplaceTextEdit::MenuAction(int tag) {
  switch (tag) {
    case tmUndo: Undo(); break;
    case tmRedo: Redo(); break;
    case tmCut: CutToClipboard(); break;
    case tmCopy: CopyToClipboard(); break;
    case tmPaste: PasteFromClipboard(); break;
    case tmDelete: DeleteSelection(); break;
    case tmSelectAll: SelectAll(); break;
    default: break;
  }
}

void TGridInplaceTextEdit::ShowContextMenu(Point screen) {
  if (screen.X == -1 && screen.Y == -1) {
    // From the keyboard: at the caret, within the client width.
    int start = 0, stop = 0;
    GetSelection(start, stop);
    TGridPoint32 caret;
    SendToWindow(EM_POSFROMCHAR, reinterpret_cast<uintptr_t>(&caret), stop);
    screen = ClientToScreen({std::clamp(int(caret.x), 0, ClientWidth()), int(caret.y)});
  } else if (!ClientRect().Contains(ScreenToClient(screen))) {
    return;
  }
  if (!menu_) BuildMenu();
  const TGridTextEditMenuState state = MenuState();
  for (int i = 0; i < menu_->Items().Count(); ++i) {
    MenuItem* item = menu_->Items().Items(i);
    item->SetEnabled(GridTextEditMenuItemEnabled(int(item->Tag()), state));
  }
  menu_->SetPopupComponent(this);
  menu_->Popup(screen.X, screen.Y);
}

bool TGridInplaceTextEdit::ParentHasPopupMenu() const {
  for (const Control* c = Parent(); c; c = c->Parent())
    if (c->PopupMenu()) return true;
  return false;
}

// ---------------------------------------------------------------- messages

void TGridInplaceTextEdit::UpdateFormatRect() {
  if (!HandleAllocated()) return;
  const bool selectionBar = (uint32_t(SendToWindow(EM_GETOPTIONS)) & ECO_SELECTIONBAR) != 0;
  Rect r = ClientRect().Inflate(-1, -1);
  if (selectionBar) r.Left += 8;
  if (Alignment() == taRightJustify) r.Right -= 1;
  const Rect m = InnerRect();
  TGridRect32 f;
  f.left = r.Left + m.Left;
  f.top = r.Top + m.Top;
  f.right = r.Right - m.Right;
  f.bottom = r.Bottom;
  SendToWindow(EM_SETRECTNP, 0, reinterpret_cast<intptr_t>(&f));
}

void TGridInplaceTextEdit::ButtonDown(Message& m) {
  const unsigned msg = m.Msg;
  TGridInplaceEdit::WndProc(m);
  if (!HandleAllocated() || Focused() || Designing()) return;
  // The press did not bring the focus here: the control must not keep
  // the mouse (nor wait for a middle button's release).
  if (msg == WM_MBUTTONDOWN) Peer()->Post(WM_MBUTTONUP, m.WParam, m.LParam);
  Peer()->ReleaseCapture();
}

void TGridInplaceTextEdit::WndProc(Message& m) {
  switch (m.Msg) {
    case WM_CHAR:
      if (charCase_ != ecNormal) {
        const char c = char(m.WParam);
        m.WParam = uint8_t(charCase_ == ecUpperCase ? plat::FoldChar(c) : plat::LowerChar(c));
      }
      break;
    case WM_COPY:
    case WM_CUT:
      if (passwordChar_ != 0) return;  // a password text is never copied
      break;
    case WM_SETTEXT:
      TGridInplaceEdit::WndProc(m);
      SetMaxLengthToWindow(maxLength_);
      return;
    case WM_SETFONT:
      TGridInplaceEdit::WndProc(m);
      GridEditSetTextColor(*this, Font().Color());
      return;
    case CM_FONTCHANGED:
      TGridInplaceEdit::WndProc(m);
      if (HandleAllocated()) GridEditSendFont(*this);
      return;
    case CM_COLORCHANGED:
    case CM_SYSCOLORCHANGE:
      TGridInplaceEdit::WndProc(m);
      SendToWindow(EM_SETBKGNDCOLOR, 0, intptr_t(ColorToRGB(Color())));
      return;
    case WM_SIZE:
      DefaultHandler(m);
      TGridInplaceEdit::WndProc(m);
      UpdateFormatRect();
      return;
    case CM_ENTER:
      if (autoSelect_ && !Refocusing() && !Env().KeyDown(VK_LBUTTON)) SelectAll();
      break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      ButtonDown(m);
      return;
    case WM_RBUTTONUP:
      if (!UseOleCallback()) break;
      // With the callback the control keeps the release to itself.
      if (HandleAllocated()) {
        const Point at = ClientToScreen(PointFromLParam(m.LParam));
        Peer()->Post(WM_CONTEXTMENU, Peer()->Handle(), MakeLParam(at.X, at.Y));
      }
      return;
    case WM_CONTEXTMENU:
      if (PopupMenu() || ParentHasPopupMenu()) break;
      ShowContextMenu(PointFromLParam(m.LParam));
      m.Result = 1;
      return;
    default:
      if (m.Msg == CN_BASE + WM_COMMAND) {
        if (unsigned(HiWord(intptr_t(m.WParam))) == EN_CHANGE) ControlChanged();
        return;
      }
      if (m.Msg == CN_BASE + WM_NOTIFY) {
        const auto* h = reinterpret_cast<const TGridNotifyHeader*>(m.LParam);
        if (h && h->code == EN_SELCHANGE && !Loading()) SelectionChange();
        return;
      }
      break;
  }
  TGridInplaceEdit::WndProc(m);
}

void TGridInplaceTextEdit::KeyDown(uint16_t& key, ShiftState shift) {
  if (passwordChar_ != 0 && IsCopyKey(key, shift)) {
    key = 0;
    return;
  }
  TGridInplaceEdit::KeyDown(key, shift);
}

void TGridInplaceTextEdit::KeyPress(char& key) {
  // Ctrl+C and Ctrl+X as characters.
  if (passwordChar_ != 0 && (key == '\x03' || key == '\x18')) {
    key = 0;
    return;
  }
  TGridInplaceEdit::KeyPress(key);
}

// ---------------------------------------------------------------- view data

std::unique_ptr<TGridEditViewData> TGridInplaceTextEdit::NewViewData() const {
  return std::make_unique<TGridTextEditViewData>();
}

void TGridInplaceTextEdit::FillViewData(TGridEditViewData& vd) const {
  auto* t = dynamic_cast<TGridTextEditViewData*>(&vd);
  if (!t) return;
  t->CharCase = charCase_;
  t->PasswordChar = passwordChar_;
  t->SelectionBar = (uint32_t(SendToWindow(EM_GETOPTIONS)) & ECO_SELECTIONBAR) != 0;
}
