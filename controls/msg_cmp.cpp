#include "controls/msg_cmp.h"

#include <algorithm>

#include "gui/control.h"
#include "gui/form.h"

TMsgComponent::TMsgComponent(gui::Component* owner) : gui::Component(owner) {
  for (gui::Component* o = owner; o; o = o->Owner()) {
    if (auto* f = dynamic_cast<gui::Form*>(o)) {
      form_ = f;
      break;
    }
  }
}

TMsgComponent::~TMsgComponent() {
  if (hooked_) UnhookWindow(window_);
}

void TMsgComponent::SetHookedWindow(uintptr_t h) {
  if (hooked_) UnhookWindow(window_);
  window_ = h;
  if (h && !Loading()) HookWindow(h);
}

void TMsgComponent::HookWindow(uintptr_t h) {
  if (hooked_ || !h) return;
  TMsgCmpList::Get().Add(this, h);
  hooked_ = true;
}

void TMsgComponent::UnhookWindow(uintptr_t h) {
  if (!hooked_) return;
  hooked_ = false;
  TMsgCmpList::Get().Remove(this, h);
}

void TMsgComponent::Loaded() {
  gui::Component::Loaded();
  if (window_) HookWindow(window_);
}

// ---------------------------------------------------------------- table

TMsgCmpList& TMsgCmpList::Get() {
  static TMsgCmpList list;
  return list;
}

void TMsgCmpList::Add(TMsgComponent* c, uintptr_t window) {
  const bool first = Components(window).empty();
  records_.push_back({c, window});
  if (first) MsgHooks().Attach(window);
}

void TMsgCmpList::Remove(TMsgComponent* c, uintptr_t window) {
  auto it = std::find_if(records_.begin(), records_.end(),
                         [&](const Record& r) { return r.component == c && r.window == window; });
  if (it == records_.end()) return;
  records_.erase(it);
  if (Components(window).empty()) MsgHooks().Detach(window);
}

std::vector<TMsgComponent*> TMsgCmpList::Components(uintptr_t window) const {
  std::vector<TMsgComponent*> out;
  for (const Record& r : records_)
    if (r.window == window) out.push_back(r.component);
  return out;
}

void TMsgCmpList::Dispatch(uintptr_t window, gui::Message& m) {
  const std::vector<TMsgComponent*> seen = Components(window);
  for (TMsgComponent* c : seen) {
    // Unhooked (or freed) by a component that saw the message before it.
    const bool still = std::any_of(records_.begin(), records_.end(), [&](const Record& r) {
      return r.component == c && r.window == window;
    });
    if (!still || c->Destroying()) continue;
    try {
      c->WndProc(m);
    } catch (...) {
      gui::ReportCurrentException(nullptr);
    }
  }
}

void TMsgCmpList::WindowDestroyed(uintptr_t window) {
  const std::vector<TMsgComponent*> gone = Components(window);
  if (gone.empty()) return;
  std::erase_if(records_, [&](const Record& r) { return r.window == window; });
  for (TMsgComponent* c : gone) {
    c->hooked_ = false;
    c->window_ = 0;
  }
  MsgHooks().Detach(window);
}
