#include "controls/plugin_panel.h"

#include "gui/environment.h"

using namespace gui;

namespace {

constexpr unsigned kNextDialogControl = 0x0028;  // WM_NEXTDLGCTL

}  // namespace

TPluginPanel::TPluginPanel(Component* owner) : Control(owner) {
  SetControlStyle(ControlStyle() | csAcceptsControls);
  SetBounds(0, 0, 185, 41);
}

void TPluginPanel::SetHostedWindow(uintptr_t h) {
  if (h == hosted_) return;
  TForeignWindows& w = ForeignWindows();
  if (h && !w.IsWindow(h)) return;
  const uintptr_t previous = hosted_;
  if (previous && w.IsWindow(previous)) {
    w.Show(previous, false);
    w.Send(previous, WM_CLOSE, 0, 0);
  }
  hosted_ = h;
  if (h) {
    w.SetStyle(h, kHostedWindowStyle);
    w.SetParent(h, Handle());
    w.SetText(h, kHostedWindowText);
    w.Move(h, ClientRect());
    // The hosted style has no visible bit: the window is shown here.
    w.Show(h, true);
  }
  if (OnPanelChange) OnPanelChange(this, h, previous);
}

void TPluginPanel::Resize() {
  if (hosted_ && ForeignWindows().IsWindow(hosted_)) ForeignWindows().Move(hosted_, ClientRect());
  Control::Resize();
}

void TPluginPanel::FocusIn(uintptr_t other) {
  Control::FocusIn(other);
  if (Designing() || !HandleAllocated()) return;
  TForeignWindows& w = ForeignWindows();
  if (const uintptr_t child = w.TopChild(Handle())) w.Focus(child);
  // Backward tabbing enters the hosted window at its last control.
  if (hosted_ && w.IsWindow(hosted_) && Env().KeyDown(VK_SHIFT)) w.Post(hosted_, kNextDialogControl, 1, 0);
}
