#include "gui/application.h"

#include <algorithm>

#include "gui/form.h"
#include "platform/system.h"

namespace gui {

Application& App() {
  static Application app;
  return app;
}

uintptr_t Application::MainHandle() const {
  return mainForm_ && mainForm_->HandleAllocated() ? mainForm_->Peer()->Handle() : 0;
}

void Application::SetMainForm(Form* f) {
  mainForm_ = f;
  plat::SetShellOwner([this] { return MainHandle(); });
}

std::string Application::ExeName() const { return plat::ExecutablePath(); }
std::string Application::ProgramFolder() const { return plat::ProgramFolder(); }

int Application::Run() {
  while (!terminated_) HandleMessage();
  ReleasePending();
  return exitCode_;
}

int Application::HookKeys(std::function<bool(Message&)> hook) {
  hooks_.emplace_back(nextHook_, std::move(hook));
  return nextHook_++;
}

void Application::UnhookKeys(int id) {
  hooks_.erase(std::remove_if(hooks_.begin(), hooks_.end(), [id](auto& h) { return h.first == id; }),
               hooks_.end());
}

bool Application::RunKeyHooks(uint16_t key, ShiftState shift) {
  // A copy: a hook may remove itself or another.
  auto hooks = hooks_;
  for (auto& [id, fn] : hooks) {
    Message m{CM_APPKEYDOWN, key, intptr_t(shift), 0};
    if (fn && fn(m)) return true;
  }
  return false;
}

bool Application::PreviewKey(uintptr_t target, uint16_t key, ShiftState shift) {
  if (RunKeyHooks(key, shift)) return true;
  Control* c = Control::FromHandle(target);
  Form* form = nullptr;
  for (Control* p = c; p; p = p->Parent())
    if (auto* f = dynamic_cast<Form*>(p)) form = f;
  return form && form->PreviewKey(c, key, shift);
}

void Application::SetHint(const std::string& h) {
  if (h == hint_) return;
  hint_ = h;
  if (OnHint) OnHint(*this);
}

void Application::MouseOver(uintptr_t window) {
  std::string h;
  for (Control* c = Control::FromHandle(window); c; c = c->Parent())
    if (!c->Hint().empty()) {
      h = c->Hint();
      break;
    }
  SetHint(h);
}

void Application::ShowException(const std::string& what, Control* where) {
  if (OnException) {
    OnException(what, where);
    return;
  }
  MessageBox(what, "", 0x10 /* MB_ICONERROR */);
}

void Application::ReleaseLater(Component* c) {
  if (c && std::find(release_.begin(), release_.end(), c) == release_.end()) release_.push_back(c);
}

void Application::ReleasePending() {
  while (!release_.empty()) {
    Component* c = release_.back();
    release_.pop_back();
    delete c;
  }
}

}  // namespace gui
