#include "gui/form.h"

#include <algorithm>
#include <cstdint>

#include "gui/application.h"
#include "gui/environment.h"

namespace gui {

namespace {

// Sends msg to every enabled, showing control below parent until one
// answers other than 0.
bool Broadcast(Control* parent, unsigned msg, uintptr_t wp) {
  for (int i = 0; i < parent->ControlCount(); ++i) {
    Control* c = parent->Controls(i);
    if (!c->Enabled() || !c->Showing()) continue;
    if (c->Perform(msg, wp, 0) != 0 || Broadcast(c, msg, wp)) return true;
  }
  return false;
}

void CollectTabs(Control* parent, std::vector<Control*>& out) {
  for (Control* c : parent->TabList()) {
    if (c->TabStop() && c->CanFocus()) out.push_back(c);
    if (c->Visible() && c->Enabled()) CollectTabs(c, out);
  }
}

}  // namespace

Form::Form(Component* owner, std::string className)
    : Control(owner), className_(std::move(className)) {
  SetVisible(false);  // shown by Show, ShowAndActivate or ShowModal
  SetControlStyle(ControlStyle() | csAcceptsControls);
  SetParentFont(false);
}

Form::~Form() {
  MarkDestroying();
  if (App().MainForm() == this) App().SetMainForm(nullptr);
  DestroyComponents();
  DestroyHandle();
}

void Form::SetBorderStyle(FormBorder b) {
  if (b == border_) return;
  border_ = b;
  RecreateWnd();
}

void Form::SetMenu(MainMenu* m) {
  if (m == menu_) return;
  if (menu_) RemoveFreeNotification(menu_);
  menu_ = m;
  if (m) FreeNotification(m);
  RecreateWnd();  // the menu bar is a creation parameter
}

void Form::Notification(Component* c, Operation op) {
  // What is added anywhere in the form, its components hear of.
  if (op == Operation::Insert) NotifyOwned(c, op);
  if (op == Operation::Remove && c && c == static_cast<Component*>(menu_)) {
    menu_ = nullptr;
    if (!Destroying()) RecreateWnd();
  }
  Control::Notification(c, op);
}

void Form::CreateParams(WindowParams& p) {
  Control::CreateParams(p);
  p.ClassName = className_;
  p.Parent = 0;
  p.Style &= ~(WS_CHILD | WS_POPUP);
  p.Style |= WS_CLIPCHILDREN;
  switch (border_) {
    case FormBorder::None: p.Style |= WS_POPUP; break;
    case FormBorder::Single: p.Style |= WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX; break;
    case FormBorder::Sizeable: p.Style |= WS_OVERLAPPEDWINDOW; break;
    case FormBorder::Dialog:
      p.Style |= WS_CAPTION | WS_SYSMENU;
      p.ExStyle |= WS_EX_DLGMODALFRAME;
      break;
    case FormBorder::ToolWindow:
      p.Style |= WS_CAPTION | WS_SYSMENU;
      p.ExStyle |= WS_EX_TOOLWINDOW;
      break;
  }
  p.ExStyle |= WS_EX_CONTROLPARENT;
  p.Menu = menu_ && border_ != FormBorder::None ? menu_->Handle() : 0;
  if (center_) {
    const Size screen = Env().ScreenSize();
    p.Bounds = Rect::FromSize((screen.Width - Width()) / 2, (screen.Height - Height()) / 2, Width(),
                              Height());
  }
}

void Form::WndProc(Message& m) {
  switch (m.Msg) {
    case WM_CLOSE:
      Close();
      return;
    case WM_GETMINMAXINFO:
      Control::WndProc(m);
      // While the window is being made it has no client area to measure
      // its frame by (it asks already).
      if ((minClient_.Width > 0 || minClient_.Height > 0) && !ClientRect().IsEmpty() && Width() >= ClientWidth() &&
          Height() >= ClientHeight()) {
        // Five points of two 32-bit numbers; the fourth is the smallest
        // size the user may drag the window to.
        auto* p = reinterpret_cast<int32_t*>(m.LParam);
        p[6] = std::max<int32_t>(p[6], minClient_.Width + Width() - ClientWidth());
        p[7] = std::max<int32_t>(p[7], minClient_.Height + Height() - ClientHeight());
      }
      return;
    case WM_COMMAND:
      // A menu command (a control's notification comes with its window).
      if (m.LParam == 0 && HiWord(intptr_t(m.WParam)) == 0 && menu_ &&
          menu_->DispatchCommand(unsigned(LoWord(intptr_t(m.WParam)))))
        return;
      break;
    default:
      break;
  }
  Control::WndProc(m);
}

void Form::VisibleChanged() {
  Control::VisibleChanged();
  if (Visible()) {
    if (OnShow) OnShow(this);
  } else if (OnHide) {
    OnHide(this);
  }
}

bool Form::CloseQuery() {
  bool can = true;
  if (OnCloseQuery) OnCloseQuery(this, can);
  return can;
}

void Form::Close() {
  if (modal_) {
    if (CloseQuery()) modalResult_ = mrCancel;
    return;
  }
  if (!CloseQuery()) return;
  const bool main = App().MainForm() == this;
  CloseAction a = main ? CloseAction::Free : CloseAction::Hide;
  if (OnClose) OnClose(this, a);
  switch (a) {
    case CloseAction::None: return;
    case CloseAction::Hide:
    case CloseAction::Minimize: Hide(); return;
    case CloseAction::Free:
      Hide();
      if (main)
        App().Terminate();  // the program's end frees it
      else
        App().ReleaseLater(this);
      return;
  }
}

void Form::ShowAndActivate() {
  HandleNeeded();
  Show();
  if (Peer()) {
    Peer()->Show(true);  // also when hidden or minimised behind the layer's back
    Peer()->SetFocus();
  }
  if (Control* first = FirstTabControl()) first->SetFocus();
}

int Form::ShowModal() {
  if (modal_ || Visible()) throw std::logic_error("a visible or modal form cannot be shown modally");
  HandleNeeded();
  modalResult_ = mrNone;
  modal_ = true;
  const std::vector<uintptr_t> disabled = App().DisableWindowsExcept(Peer()->Handle());
  struct Restore {
    Form* f;
    const std::vector<uintptr_t>& windows;
    ~Restore() {
      App().EnableWindows(windows);
      f->modal_ = false;
      f->Hide();
    }
  } restore{this, disabled};
  ShowAndActivate();
  while (modalResult_ == mrNone) {
    if (App().Terminated()) {
      modalResult_ = mrCancel;  // the program ends: no more waiting
      break;
    }
    App().HandleMessage();
    if (modalResult_ != mrNone && !App().Terminated()) {
      // The close is asked for: OnCloseQuery / OnClose may keep the form.
      CloseAction a = CloseAction::Hide;
      if (!CloseQuery()) a = CloseAction::None;
      else if (OnClose) OnClose(this, a);
      if (a == CloseAction::None) modalResult_ = mrNone;
    }
  }
  return modalResult_;
}

std::vector<Control*> Form::TabSequence() {
  std::vector<Control*> seq;
  CollectTabs(this, seq);
  return seq;
}

Control* Form::FirstTabControl() {
  auto seq = TabSequence();
  return seq.empty() ? nullptr : seq.front();
}

void Form::SelectNext(Control* current, bool forward) {
  auto seq = TabSequence();
  if (seq.empty()) return;
  const int n = int(seq.size());
  int i = -1;
  for (Control* c = current; c && i < 0; c = c->Parent()) {
    auto it = std::find(seq.begin(), seq.end(), c);
    if (it != seq.end()) i = int(it - seq.begin());
  }
  const int next = i < 0 ? (forward ? 0 : n - 1) : (i + (forward ? 1 : n - 1)) % n;
  seq[size_t(next)]->SetFocus();
}

bool Form::PreviewKey(Control* c, uint16_t key, ShiftState shift) {
  if (menu_) {
    if (MenuItem* item = menu_->FindShortCut(MakeShortCut(key, shift))) {
      item->Click();
      return true;
    }
  }
  if (key != VK_TAB && key != VK_RETURN && key != VK_ESCAPE) return false;
  if (key == VK_TAB && (shift & (ssCtrl | ssAlt))) return false;
  if (c) {
    // The focused control may want the key itself.
    const unsigned code = unsigned(c->Perform(WM_GETDLGCODE, key, 0));
    if (code & DLGC_WANTALLKEYS) return false;
    if (key == VK_TAB && (code & DLGC_WANTTAB)) return false;
    if (c->Perform(CM_WANTSPECIALKEY, key, 0) != 0) return false;
  }
  if (key == VK_TAB) {
    SelectNext(c, !(shift & ssShift));
    return true;
  }
  // Enter and Escape: the default and cancel buttons answer.
  return Broadcast(this, CM_DIALOGKEY, key);
}

}  // namespace gui
