#include "controls/control_sub_class.h"

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <span>

#include "controls/color_utils.h"
#include "controls/menu_skin.h"
#include "gui/environment.h"
#include "gui/win_constants.h"

using namespace gui;

struct TControlSubClass::Hook {
  gui::Control* control = nullptr;
  TControlSubClass* owner = nullptr;  // nullptr: unhooked, messages only pass on
  std::function<void(Message&)> previous;
  bool hot = false;
  bool pressed = false;
};

namespace {

// The handler the control is given: a distinct type, so that a hook can
// tell whether it is still the one in front.
struct SubClassProc {
  std::shared_ptr<TControlSubClass::Hook> hook;
  void operator()(Message& m) const;
};

// Messages after which the control's look may have changed.
bool ChangesLook(unsigned msg) {
  switch (msg) {
    case WM_PAINT: case WM_SETFOCUS: case WM_KILLFOCUS: case CM_MOUSEENTER: case CM_MOUSELEAVE:
    case CM_ENABLEDCHANGED: case WM_LBUTTONDOWN: case WM_LBUTTONUP: case WM_LBUTTONDBLCLK:
    case WM_KEYDOWN: case WM_KEYUP: case BM_SETCHECK:
      return true;
    default:
      return false;
  }
}

void SubClassProc::operator()(Message& m) const {
  const std::shared_ptr<TControlSubClass::Hook> h = hook;  // the handler may be replaced meanwhile
  gui::Control* control = h->control;
  if (!control) return;
  if (h->previous)
    h->previous(m);
  else
    control->ControlWndProc(m);
  TControlSubClass* owner = h->owner;
  if (!owner || !h->control) return;
  switch (m.Msg) {
    case CM_MOUSEENTER: h->hot = true; break;
    case CM_MOUSELEAVE: h->hot = h->pressed = false; break;
    case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK: h->pressed = true; break;
    case WM_LBUTTONUP: h->pressed = false; break;
    default: break;
  }
  if (!ChangesLook(m.Msg) || !control->HandleAllocated() || !control->Visible()) return;
  if (std::unique_ptr<Canvas> c = control->WindowCanvas()) owner->PaintFlat(*c);
}

// ---------------------------------------------------------------- painters

struct Shades {
  Color border;  // the frame at rest
  Color active;  // the frame under the mouse or with the focus
  Color face;
  Color hotFace;
  Color pressedFace;
  Color text;
  Color disabledText;
};

void Frame(Canvas& c, const Rect& r, Color color) {
  c.Brush().SetColor(color);
  c.FrameRect(r);
}

void Fill(Canvas& c, const Rect& r, Color color) {
  c.Brush().SetColor(color);
  c.FillRect(r);
}

// A small solid triangle pointing down (or up), centred in r.
void Arrow(Canvas& c, const Rect& r, bool down, Color color) {
  const int cx = r.Left + r.Width() / 2, cy = r.Top + r.Height() / 2, d = down ? 1 : -1;
  const Point p[] = {{cx - 3, cy - d}, {cx + 3, cy - d}, {cx, cy + 2 * d}};
  c.Pen().SetColor(color);
  c.Brush().SetColor(color);
  c.Polygon(p);
}

void Tick(Canvas& c, const Rect& box, Color color) {
  c.Pen().SetColor(color);
  c.Pen().SetWidth(1);
  for (int d = 0; d < 3; ++d) {
    const Point tick[] = {{box.Left + 3, box.Top + 5 + d}, {box.Left + 5, box.Top + 7 + d},
                          {box.Left + 10, box.Top + 2 + d}};
    c.Polyline(tick);
  }
}

}  // namespace

TControlSubClass::TControlSubClass(TMenuSkin& skin, gui::Control& control)
    : Component(&skin), skin_(skin), hook_(std::make_shared<Hook>()) {
  hook_->control = &control;
  hook_->owner = this;
  hook_->previous = control.WindowProc;
  control.WindowProc = SubClassProc{hook_};
  control.Invalidate();
}

TControlSubClass::~TControlSubClass() {
  gui::Control* control = hook_->control;
  hook_->owner = nullptr;
  if (!control) return;
  const SubClassProc* front = control->WindowProc.target<SubClassProc>();
  if (front && front->hook == hook_) {
    control->WindowProc = std::move(hook_->previous);  // frees the front handler and this hook's copy
    control->Invalidate();
  }
}

gui::Control* TControlSubClass::Control() const { return hook_->control; }

void TControlSubClass::Forget() {
  hook_->control = nullptr;
  hook_->owner = nullptr;
}

bool TControlSubClass::Hot() const { return hook_->hot; }
bool TControlSubClass::Pressed() const { return hook_->pressed; }

void TControlSubClass::PaintFlat(Canvas& c) {
  gui::Control* control = hook_->control;
  if (!control) return;
  CanvasSaver keep(c);
  const TMenuSkinColors k = skin_.WorkingColors(c.BitsPerPixel());
  const Shades s{Darken(clBtnFace, 40), k.SelectFrame, clBtnFace, k.SelectFill, k.LightShade2, clBtnText,
                 k.DisabledText};
  const bool enabled = control->Enabled();
  const bool hot = enabled && hook_->hot;
  const bool active = hot || control->Focused();
  const Rect r = control->ClientRect();
  c.Pen().SetWidth(1);
  switch (control->Kind()) {
    case ControlKind::ComboBox: {
      Frame(c, r, active ? s.active : s.border);
      // The drop button: a flat strip at the right with its arrow.
      const int w = std::min(Env().SystemMetric(SM_CXVSCROLL), r.Width() - 2);
      const Rect button{r.Right - 1 - w, r.Top + 1, r.Right - 1, r.Bottom - 1};
      Fill(c, button, hot ? s.hotFace : Lighten(clBtnFace, 50));
      c.Pen().SetColor(active ? s.active : s.border);
      c.MoveTo(button.Left, button.Top);
      c.LineTo(button.Left, button.Bottom);
      Arrow(c, button, true, enabled ? s.text : s.disabledText);
      break;
    }
    case ControlKind::Edit: case ControlKind::MaskEdit: case ControlKind::Memo: case ControlKind::RichEdit:
      Frame(c, r, active ? s.active : s.border);
      break;
    case ControlKind::CheckBox: case ControlKind::RadioButton: {
      const bool radio = control->Kind() == ControlKind::RadioButton;
      const Rect box = Rect::FromSize(r.Left, r.Top + (r.Height() - 13) / 2, 13, 13);
      const bool checked = control->Perform(BM_GETCHECK) == BST_CHECKED;
      const Color boxFace = !enabled ? clBtnFace : hook_->pressed ? s.pressedFace : hot ? s.hotFace : clWindow;
      const Color mark = enabled ? s.text : s.disabledText;
      if (radio) {
        c.Pen().SetColor(active ? s.active : s.border);
        c.Brush().SetColor(boxFace);
        c.Ellipse(box);
        if (checked) {
          c.Pen().SetColor(mark);
          c.Brush().SetColor(mark);
          c.Ellipse(box.Inflate(-4, -4));
        }
      } else {
        Fill(c, box, boxFace);
        Frame(c, box, active ? s.active : s.border);
        if (checked) Tick(c, box, mark);
      }
      break;
    }
    case ControlKind::Button: case ControlKind::BitBtn: case ControlKind::SpeedButton: {
      Fill(c, r, hook_->pressed && hot ? s.pressedFace : hot ? s.hotFace : s.face);
      Frame(c, r, active ? s.active : s.border);
      c.SetBkMode(TRANSPARENT);
      c.Font().Assign(control->Font());
      c.Font().SetColor(enabled ? s.text : s.disabledText);
      Rect text = r;
      c.DrawText(control->Caption(), text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      break;
    }
    case ControlKind::Panel:
      Frame(c, r, s.border);
      break;
    case ControlKind::GroupBox: {
      // The frame from the middle of the caption down, the caption on a
      // face-coloured gap at the left.
      c.Font().Assign(control->Font());
      const Size t = c.TextExtent(control->Caption());
      Frame(c, {r.Left, r.Top + t.Height / 2, r.Right, r.Bottom}, s.border);
      if (!control->Caption().empty()) {
        const Rect gap = Rect::FromSize(r.Left + 6, r.Top, t.Width + 4, t.Height);
        Fill(c, gap, s.face);
        c.SetBkMode(TRANSPARENT);
        c.Font().SetColor(enabled ? s.text : s.disabledText);
        c.TextOut(gap.Left + 2, gap.Top, control->Caption());
      }
      break;
    }
    case ControlKind::UpDown: {
      const int half = r.Height() / 2;
      for (const bool up : {true, false}) {
        const Rect part = up ? Rect{r.Left, r.Top, r.Right, r.Top + half} : Rect{r.Left, r.Top + half, r.Right, r.Bottom};
        Fill(c, part, hot ? s.hotFace : s.face);
        Frame(c, part, active ? s.active : s.border);
        Arrow(c, part, !up, enabled ? s.text : s.disabledText);
      }
      break;
    }
    default:
      break;
  }
}
