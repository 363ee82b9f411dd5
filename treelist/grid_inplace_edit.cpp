#include "treelist/grid_inplace_edit.h"

#include <algorithm>

#include "gui/environment.h"
#include "treelist/grid_edit_error.h"
#include "treelist/grid_edit_window.h"

using namespace gui;

namespace {

// A hot-tracked border while the editor is active.
TGridEditBorderStyle HotBorderStyle(TGridEditBorderStyle bs) {
  switch (bs) {
    case xbsNone: return xbsFlat;
    case xbsSingle: return xbsThick;
    case xbsFlat: return xbs3D;
    default: return bs;
  }
}

// The button style btsDefault stands for with a border style.
TGridEditButtonViewStyle DefaultButtonStyle(TGridEditBorderStyle bs) {
  switch (bs) {
    case xbsNone: return btsSimple;
    case xbsSingle: return btsHotFlat;
    case xbsFlat: return btsFlat;
    default: return bts3D;
  }
}

unsigned EdgeFlags(TGridEditEdges e) {
  unsigned f = 0;
  if (e & edgLeft) f |= BF_LEFT;
  if (e & edgTop) f |= BF_TOP;
  if (e & edgRight) f |= BF_RIGHT;
  if (e & edgBottom) f |= BF_BOTTOM;
  return f;
}

}  // namespace

// ---------------------------------------------------------------- view data

void TGridEditViewData::CalcViewInfo(TGridEditViewInfo& info) const {
  switch (BorderStyle) {
    case xbsNone: info.BorderWidth = 0; break;
    case xbsSingle: info.BorderWidth = 1; break;
    default: info.BorderWidth = 2; break;
  }
  info.ShadowWidth = Shadow ? 2 : 0;
  info.Bounds = Bounds;
  info.BorderRect = Rect(Bounds.Left, Bounds.Top, Bounds.Right - info.ShadowWidth,
                         Bounds.Bottom - info.ShadowWidth);
  Rect in = info.BorderRect;
  const int w = info.BorderWidth;
  if (Edges & edgLeft) in.Left += w;
  if (Edges & edgTop) in.Top += w;
  if (Edges & edgRight) in.Right -= w;
  if (Edges & edgBottom) in.Bottom -= w;
  in.Right = std::max(in.Right, in.Left);
  in.Bottom = std::max(in.Bottom, in.Top);
  info.InnerRect = in;
}

bool TGridEditViewData::GetEditRegion(const TGridEditViewInfo& info, Region& region) const {
  region.Clear();
  if (!Shadow && info.BorderWidth >= 2 && Edges == kGridEditAllEdges) return false;
  region.Combine(info.BorderRect, RegionOp::Or);
  if (info.ShadowWidth > 0)
    region.Combine(info.BorderRect.Offset(info.ShadowWidth, info.ShadowWidth), RegionOp::Or);
  return true;
}

void TGridEditViewData::DrawBorder(Canvas& canvas, const TGridEditViewInfo& info) const {
  CanvasSaver saved(canvas);
  Rect r = info.BorderRect;
  const int w = info.BorderWidth;
  switch (BorderStyle) {
    case xbsSingle:
    case xbsThick:
      canvas.Brush().SetColor(BorderColor);
      if (Edges == kGridEditAllEdges) {
        for (int i = 0; i < w; ++i) {
          canvas.FrameRect(r);
          r = r.Inflate(-1, -1);
        }
      } else {
        if (Edges & edgLeft) canvas.FillRect({r.Left, r.Top, r.Left + w, r.Bottom});
        if (Edges & edgTop) canvas.FillRect({r.Left, r.Top, r.Right, r.Top + w});
        if (Edges & edgRight) canvas.FillRect({r.Right - w, r.Top, r.Right, r.Bottom});
        if (Edges & edgBottom) canvas.FillRect({r.Left, r.Bottom - w, r.Right, r.Bottom});
      }
      break;
    case xbsFlat:
      canvas.DrawEdge(r, BDR_SUNKENOUTER, EdgeFlags(Edges) | BF_ADJUST);
      canvas.DrawEdge(r, BDR_SUNKENINNER, EdgeFlags(Edges) | BF_FLAT);
      break;
    case xbs3D:
      canvas.DrawEdge(r, EDGE_SUNKEN, EdgeFlags(Edges));
      break;
    default:
      break;
  }
  if (info.ShadowWidth > 0) {
    const int s = info.ShadowWidth;
    const Rect& b = info.Bounds;
    canvas.Brush().Assign(GridEditShadowBrush());
    canvas.FillRect({b.Right - s, b.Top + s, b.Right, b.Bottom});
    canvas.FillRect({b.Left + s, b.Bottom - s, b.Right - s, b.Bottom});
  }
}

void TGridEditViewData::DrawBackground(Canvas& canvas, const Rect& r, bool) {
  if (Measuring) return;
  CanvasSaver saved(canvas);
  canvas.Brush().SetColor(BrushColor);
  canvas.FillRect(r);
}

Cursor TGridEditViewData::GetCursor() const {
  if (Cursor != gui::Cursor::Default) return Cursor;
  return HasEditableText ? gui::Cursor::Default : gui::Cursor::Arrow;
}

// ---------------------------------------------------------------- life

TGridInplaceEdit::TGridInplaceEdit(Component* owner)
    : Control(owner), container_(dynamic_cast<TCustomGridContainer*>(owner)) {
  style_ = container_ ? container_->CreateEditStyle(this) : MakeGridEditStyle(this);
  SetTabStop(false);
  SetCtl3D(false);
  // Hidden until the grid shows it over a cell.
  SetVisible(false);
  if (container_) {
    SetColor(container_->GetEditColor());
    Font().Assign(container_->GetEditFont());
  } else {
    SetColor(clWindow);
  }
}

TGridInplaceEdit::~TGridInplaceEdit() {
  DestroyHandle();
  if (controller_ && !controller_->Destroying()) controller_->RemoveEditor(this);
}

// ---------------------------------------------------------------- style

void TGridInplaceEdit::SetStyleController(TGridEditStyleController* c) {
  if (c == controller_) return;
  if (controller_ && !controller_->Destroying()) {
    controller_->RemoveEditor(this);
    RemoveFreeNotification(controller_);
  }
  controller_ = c;
  if (!c) {
    StyleChanged();
    return;
  }
  c->AddEditor(this);
  FreeNotification(c);
  c->EditorChanged(this);
}

void TGridInplaceEdit::Notification(Component* c, Operation op) {
  if (op == Operation::Remove && c && c == static_cast<Component*>(controller_)) {
    controller_ = nullptr;
    if (!Destroying()) StyleChanged();
  }
  Control::Notification(c, op);
}

void TGridInplaceEdit::StyleChanged() {
  UpdateRegion();
  Invalidate();
}

void TGridInplaceEdit::UpdateRegion() {
  if (!HandleAllocated() || Destroying()) return;
  const auto vd = CreateViewData(false);
  TGridEditViewInfo info;
  vd->CalcViewInfo(info);
  // The frame follows the border; a size change comes back here once.
  GridEditFrameChanged(*this);
  Region region;
  if (!HandleAllocated()) return;
  if (vd->GetEditRegion(info, region))
    Peer()->SetRegion(&region);
  else
    Peer()->SetRegion(nullptr);
}

// ---------------------------------------------------------------- properties

void TGridInplaceEdit::SetAlignment(TAlignment a) {
  if (a == alignment_) return;
  alignment_ = a;
  RecreateWnd();
}

void TGridInplaceEdit::SetReadOnly(bool r) { readOnly_ = r; }

void TGridInplaceEdit::AssignReadOnly(bool r) {
  storedValues_ |= gsvReadOnly;
  SetReadOnly(r);
}

void TGridInplaceEdit::SetInnerRect(const Rect& margins) {
  if (margins == margins_) return;
  margins_ = margins;
  RecreateWnd();
}

void TGridInplaceEdit::RestoreDefaults() {
  storedValues_ = 0;
  SetAlignment(taLeftJustify);
  SetReadOnly(false);
}

void TGridInplaceEdit::SetMouseInside(bool inside) {
  mouseInside_ = inside;
  if (Destroying()) return;
  if (style_->HotTrack() || style_->ButtonTransparence() != ebtNone) StyleChanged();
}

void TGridInplaceEdit::SetOpeningClickTick(uint32_t tick) {
  clickTick_ = tick;
  hasClickTick_ = true;
}

// ---------------------------------------------------------------- showing

void TGridInplaceEdit::ShowAt(const Rect& r, bool selectAll) {
  if (r.IsEmpty()) return;
  if (!Parent() && container_) SetParent(container_);
  const bool wasVisible = visibleInPlace_;
  PlaceOver(r);
  Show();
  if (!Focused()) SetFocus();
  if (selectAll) SelectAll();
  if (!wasVisible && lock_ == 0) FirstShow();
}

void TGridInplaceEdit::PlaceOver(const Rect& r) { SetBounds(r.Left - 2, r.Top - 2, r.Width() + 4, r.Height() + 4); }

void TGridInplaceEdit::Show() {
  SetVisible(true);
  visibleInPlace_ = true;
}

void TGridInplaceEdit::Hide() {
  visibleInPlace_ = false;
  if (HandleAllocated() && Peer()->IsVisible() && Parent()) Parent()->InvalidateRect(BoundsRect(), true);
  SetVisible(false);
}

// ---------------------------------------------------------------- value

std::string TGridInplaceEdit::WindowText() const {
  return HandleAllocated() ? Peer()->Text() : Caption();
}

void TGridInplaceEdit::SetWindowText(const std::string& text) {
  // The control's copy may be behind what was typed since.
  TextFromWindow(WindowText());
  SetCaption(text);
}

std::string TGridInplaceEdit::GetDisplayText() const { return WindowText(); }

void TGridInplaceEdit::SetEditValue(const std::string& value) { SetDisplayValue(value); }

void TGridInplaceEdit::SetText(const std::string& value) {
  if (CanModify()) SetDisplayValue(value);
  SetModified(false);
}

bool TGridInplaceEdit::CanModify() const {
  return !readOnly_ && (!container_ || container_->CanEditModify());
}

bool TGridInplaceEdit::CanAcceptKey(char key) const {
  return !container_ || container_->CanEditAcceptKey(key);
}

bool TGridInplaceEdit::IsModifyKey(uint16_t key, ShiftState shift) const {
  const ShiftState mods = shift & (ssShift | ssCtrl | ssAlt);
  return (mods == ssCtrl && (key == 'V' || key == 'X')) || key == VK_BACK || key == VK_DELETE ||
         (mods == ssShift && key == VK_INSERT);
}

bool TGridInplaceEdit::IsCtrlOnly() { return Env().KeyDown(VK_CONTROL) && !Env().KeyDown(VK_MENU); }

void TGridInplaceEdit::Beep() { GridEditBeep(); }

void TGridInplaceEdit::Change() {
  if (Control* parent = Parent()) parent->Perform(CM_CHANGED, 0, reinterpret_cast<intptr_t>(this));
  if (OnChange) OnChange(this);
}

void TGridInplaceEdit::MoveFocus(bool up) {
  if (container_) container_->EditorMoveFocus(up);
}

void TGridInplaceEdit::SetEditing(bool) {
  savedModified_ = GetModified();
  savedText_ = WindowText();
}

void TGridInplaceEdit::RestoreSaved() {
  if (!GetModified() || !HasEditableText()) return;
  SetWindowText(savedText_);
  SetModified(savedModified_);
}

void TGridInplaceEdit::ValidateEdit() {
  if (!GetModified() || suppressValidation_ > 0) return;
  bool accept = true;
  std::string error = kGridEditInvalidInputText;
  if (OnValidate) OnValidate(this, error, accept);
  if (accept) return;
  Beep();
  RefocusAfterRejection();
  throw EGridEditInvalidInput(error);
}

void TGridInplaceEdit::RefocusAfterRejection() {
  if (!HandleAllocated() || !Peer()->IsVisible() || Focused()) return;
  PassFocus(*this);
}

void TGridInplaceEdit::PassFocus(gui::Control& to) {
  TGridFlagScope refocusing(refocusing_);
  to.SetFocus();
}

// ---------------------------------------------------------------- view data

std::unique_ptr<TGridEditViewData> TGridInplaceEdit::NewViewData() const {
  return std::make_unique<TGridEditViewData>();
}

std::unique_ptr<TGridEditViewData> TGridInplaceEdit::CreateViewData(bool paintCopy) const {
  auto vd = NewViewData();
  vd->Enabled = Enabled();
  vd->Focused = Focused();
  vd->Active = mouseInside_ || (vd->Focused && vd->Enabled);
  vd->BorderColor = style_->BorderColor();
  vd->BorderStyle = style_->BorderStyle();
  if (vd->Active && style_->HotTrack()) vd->BorderStyle = HotBorderStyle(vd->BorderStyle);
  vd->ButtonStyle = style_->ButtonStyle();
  if (vd->ButtonStyle == btsDefault) vd->ButtonStyle = DefaultButtonStyle(vd->BorderStyle);
  const TGridEditButtonTransparence t = style_->ButtonTransparence();
  vd->ButtonTransparent = t == ebtAlways || (t == ebtInactive && !vd->Active);
  vd->Edges = style_->Edges();
  vd->Shadow = style_->Shadow();
  vd->DrawSelected = !vd->Focused && selected_;
  vd->Margins = margins_;
  vd->Bounds = Rect(0, 0, Width(), Height());
  vd->Alignment = alignment_;
  vd->VertLayout = evlTop;
  vd->Font.Assign(Font());
  if (vd->Enabled) {
    vd->BrushColor = vd->BkColor = Color();
    vd->TextColor = Font().Color();
  } else {
    vd->BrushColor = vd->BkColor = clBtnFace;
    vd->TextColor = clBtnShadow;
  }
  vd->HasEditableText = HasEditableText();
  vd->InPlace = IsInplace();
  vd->PaintCopy = paintCopy;
  vd->Text = GetDisplayText();
  vd->TextLength = 0;
  FillViewData(*vd);
  vd->Cursor = Cursor();
  return vd;
}

// ---------------------------------------------------------------- window

void TGridInplaceEdit::CreateParams(WindowParams& p) {
  Control::CreateParams(p);
  p.Style &= ~WS_TABSTOP;
}

void TGridInplaceEdit::NcCalcSize(Message& m) {
  auto* r = reinterpret_cast<TGridRect32*>(m.LParam);
  if (!r) return;
  auto vd = CreateViewData(false);
  vd->Bounds = Rect(r->left, r->top, r->right, r->bottom);
  TGridEditViewInfo info;
  vd->CalcViewInfo(info);
  r->left = info.InnerRect.Left;
  r->top = info.InnerRect.Top;
  r->right = std::max(info.InnerRect.Right, info.InnerRect.Left);
  r->bottom = std::max(info.InnerRect.Bottom, info.InnerRect.Top);
  m.Result = 0;
}

uint32_t TGridInplaceEdit::ScrollBarsShown() const {
  return HandleAllocated() ? Peer()->CurrentStyle() & (WS_HSCROLL | WS_VSCROLL) : 0u;
}

void TGridInplaceEdit::NcPaint(Message& m) {
  // Scroll bars the window shows are its own to draw; the border goes
  // round them.
  if (ScrollBarsShown()) DefaultHandler(m);
  if (std::unique_ptr<Canvas> c = GridEditWindowCanvas(*this)) DrawNonClient(*c);
  m.Result = 0;
}

void TGridInplaceEdit::DrawNonClient(Canvas& canvas) {
  const auto vd = CreateViewData(false);
  TGridEditViewInfo info;
  vd->CalcViewInfo(info);
  vd->DrawBorder(canvas, info);
  if (ScrollBarsShown() != (WS_HSCROLL | WS_VSCROLL)) return;
  const Rect& in = info.InnerRect;
  const Rect corner(std::max(in.Left, in.Right - Env().SystemMetric(SM_CXVSCROLL)),
                    std::max(in.Top, in.Bottom - Env().SystemMetric(SM_CYHSCROLL)), in.Right, in.Bottom);
  CanvasSaver saved(canvas);
  canvas.Brush().SetColor(clBtnFace);
  canvas.FillRect(corner);
}

void TGridInplaceEdit::PaintCopy(Message& m) {
  std::unique_ptr<Canvas> c = HandleAllocated() ? Peer()->GetCanvas(m.WParam) : nullptr;
  if (c) CreateViewData(true)->DrawBackground(*c, ClientRect(), true);
  m.Result = 0;
}

void TGridInplaceEdit::PromoteClick(Message& m) {
  if (!hasClickTick_) return;
  hasClickTick_ = false;
  // An unsigned difference holds across the tick count's wrap.
  const uint32_t elapsed = Env().TickCount() - clickTick_;
  if (container_ && container_->AllowClickPromotion() && elapsed < Env().DoubleClickTime())
    m.Msg = WM_LBUTTONDBLCLK;
}

void TGridInplaceEdit::WndProc(Message& m) {
  switch (m.Msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_CHAR:
      if (container_ && container_->EditorKeyVeto()) return;
      if (m.Msg == WM_KEYDOWN && (m.WParam == uintptr_t(VK_RETURN) || m.WParam == uintptr_t(VK_TAB)) &&
          HandleAllocated()) {
        // The character of Enter or Tab would type into the editor too.
        char pending;
        GridEditTakePendingChar(*this, pending);
      }
      break;
    case WM_CUT:
    case WM_CLEAR:
    case WM_PASTE:
      if (!CanModify() || HandleClipboardMessage(m.Msg)) return;
      break;
    case WM_IME_COMPOSITION:
      if ((uint32_t(m.LParam) & GCS_RESULTSTR) && HasEditableText() && !CanModify()) return;
      break;
    case WM_NCCALCSIZE:
      NcCalcSize(m);
      return;
    case WM_NCPAINT:
      NcPaint(m);
      return;
    case WM_PAINT:
    case WM_PRINTCLIENT:
      if (m.WParam == 0) break;  // the window paints itself
      PaintCopy(m);
      return;
    case WM_SIZE:
    case CM_FONTCHANGED:
      Control::WndProc(m);
      UpdateRegion();
      return;
    case CM_ENABLEDCHANGED:
      Control::WndProc(m);
      StyleChanged();
      return;
    // The editor's OnEnter and OnExit come with its own focus messages
    // (below), not with the entering and leaving of the controls.
    case CM_ENTER:
      if (!refocusing_) SetEditing(true);
      return;
    case CM_EXIT:
      if (refocusing_) return;
      // A value turned down raises here: the move of the focus is abandoned.
      ValidateEdit();
      SetEditing(false);
      return;
    case CM_MOUSEENTER:
    case CM_MOUSELEAVE:
      SetMouseInside(m.Msg == CM_MOUSEENTER);
      break;
    case CM_TEXTCHANGED:
      Control::WndProc(m);
      if (!HasEditableText()) Invalidate();
      return;
    case WM_LBUTTONDOWN:
      PromoteClick(m);
      break;
    case WM_MOUSEWHEEL:
      if (!container_) break;
      container_->Perform(CM_CANCELMODE, 0, reinterpret_cast<intptr_t>(this));
      if (container_->HandleAllocated())
        m.Result = container_->Peer()->Send(WM_MOUSEWHEEL, m.WParam, m.LParam);
      return;
    case WM_SETFOCUS:
      // The library's handling, then the grid hears of it, then OnEnter.
      Control::WndProc(m);
      if (container_) container_->EditorFocused();
      DoEnter();
      return;
    case WM_KILLFOCUS:
      DoExit();
      Control::WndProc(m);
      return;
    default:
      break;
  }
  Control::WndProc(m);
}

unsigned TGridInplaceEdit::GetDlgCode(unsigned defaultCode) {
  unsigned code = defaultCode | DLGC_WANTCHARS | DLGC_WANTARROWS;
  if (container_ && container_->EditorWantsTab())
    code |= DLGC_WANTTAB;
  else
    code &= ~unsigned(DLGC_WANTTAB);
  return code;
}

bool TGridInplaceEdit::EraseBackground(Canvas& canvas) {
  // An editor with a text paints all of its client area itself.
  if (HasEditableText()) return true;
  return Control::EraseBackground(canvas);
}

void TGridInplaceEdit::Paint(Canvas& canvas, const Rect&) {
  CreateViewData(false)->DrawBackground(canvas, ClientRect(), true);
}

void TGridInplaceEdit::MouseDown(MouseButton b, ShiftState s, int x, int y) {
  if (!Loading() && !Focused() && CanFocus()) SetFocus();
  Control::MouseDown(b, s, x, y);
}

void TGridInplaceEdit::DblClick() {
  Control::DblClick();
  if (container_) container_->EditorDblClick();
}

bool TGridInplaceEdit::UpdateCursor(int hitTest) {
  if (hitTest != HTCLIENT || !HandleAllocated()) return false;
  const gui::Cursor c = CreateViewData(false)->GetCursor();
  if (c == gui::Cursor::Default) return false;
  Peer()->SetCursor(c);
  return true;
}

// ---------------------------------------------------------------- keys

void TGridInplaceEdit::KeyDown(uint16_t& key, ShiftState shift) {
  if (!container_) {
    Control::KeyDown(key, shift);
    return;
  }
  if (key == VK_ESCAPE) RestoreSaved();
  switch (key) {
    case VK_TAB: case VK_RETURN: case VK_ESCAPE: case VK_PRIOR:
    case VK_NEXT: case VK_UP: case VK_DOWN: case VK_INSERT:
      ValidateEdit();
      break;
    default:
      break;
  }
  TGridCountScope quiet(suppressValidation_);
  const ShiftState mods = shift & (ssShift | ssCtrl | ssAlt);
  switch (key) {
    case VK_UP: case VK_DOWN: case VK_PRIOR: case VK_NEXT: case VK_RETURN: case VK_ESCAPE:
      container_->EditorKeyDown(key, shift);
      key = 0;
      return;
    case VK_TAB:
      if (mods & ssAlt) break;
      container_->EditorKeyDown(key, shift);
      key = 0;
      return;
    case VK_INSERT:
      if (mods == 0) {
        container_->EditorKeyDown(key, shift);
        key = 0;
        return;
      }
      if (mods == ssShift && !container_->CanEditModify()) key = 0;
      break;
    case VK_F2:
      container_->DoEditKeyDown(key, shift);
      if (key == VK_F2) ProcessF2();
      return;
    case VK_DELETE:
      if (!container_->CanEditModify()) key = 0;
      break;
    default:
      break;
  }
  if (key == 0) return;
  container_->DoEditKeyDown(key, shift);
  if (key != 0 && IsModifyKey(key, shift) && IsEditable() && !CanModify()) key = 0;
  if (key != 0) Control::KeyDown(key, shift);
}

void TGridInplaceEdit::KeyPress(char& key) {
  if (!container_) {
    Control::KeyPress(key);
    return;
  }
  container_->EditorKeyPress(key);
  if (key == 0) return;
  const bool printable = uint8_t(key) >= 32;
  if (printable && !CanAcceptKey(key)) {
    Beep();
    key = 0;
    return;
  }
  if ((key == '\t' && !WantsTab()) || key == '\x1B') {
    key = 0;
    return;
  }
  if ((printable || key == '\t') && HasEditableText() && !CanModify()) {
    key = 0;
    return;
  }
  Control::KeyPress(key);
}

void TGridInplaceEdit::KeyUp(uint16_t& key, ShiftState shift) {
  if (!container_) {
    Control::KeyUp(key, shift);
    return;
  }
  container_->EditorKeyUp(key, shift);
}
