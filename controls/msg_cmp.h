// Message components: non-visual components that see every message of a
// window (their form's, as a rule) before the window's own procedure does.
// Several components may watch one window: they see each message in the
// order they were hooked and cannot suppress it; the window's procedure
// runs once after them and its answer is the message's result.
//
// The hook table (TMsgCmpList) keeps which component watches which
// window. How a window's messages reach the table is the hook backend's
// business: in the product the window's procedure is replaced by one
// shared procedure while any component watches it (controls/win32/), and
// the window gets its own procedure back when the last one leaves; the
// native stand-in only keeps count, and tests hand messages to the table.
#pragma once
#include <cstdint>
#include <vector>

#include "gui/component.h"
#include "gui/services.h"
#include "gui/window_peer.h"

namespace gui {
class Form;
}

class TMsgComponent : public gui::Component {
 public:
  // Finds its form by walking the owner chain (none when there is none).
  explicit TMsgComponent(gui::Component* owner = nullptr);
  ~TMsgComponent() override;

  gui::Form* Form() const { return form_; }
  // The window watched (0: none). It goes back to 0 when the window is
  // destroyed.
  uintptr_t HookedWindow() const { return window_; }
  // Stops watching the previous window, then watches h (when not 0). While
  // the component is loading the handle is only stored; Loaded hooks it.
  virtual void SetHookedWindow(uintptr_t h);

 protected:
  virtual void HookWindow(uintptr_t h);
  virtual void UnhookWindow(uintptr_t h);
  // Each message of the watched window, before the window's own
  // procedure (whose answer replaces m.Result afterwards).
  virtual void WndProc(gui::Message& m) {}
  void Loaded() override;

 private:
  friend class TMsgCmpList;
  gui::Form* form_ = nullptr;
  uintptr_t window_ = 0;
  bool hooked_ = false;
};

// The program's one hook table: records {component, window} in the order
// they were added. GUI thread only.
class TMsgCmpList {
 public:
  static TMsgCmpList& Get();

  // Adds a record; the first record of a window attaches the backend.
  void Add(TMsgComponent* c, uintptr_t window);
  // Takes the record out; the last record of a window detaches it.
  void Remove(TMsgComponent* c, uintptr_t window);
  // The components watching window, in order.
  std::vector<TMsgComponent*> Components(uintptr_t window) const;
  // What the shared procedure does before the window's own: hands m to
  // every component watching window that is not being destroyed, in
  // order. A component hooked or unhooked meanwhile is seen (or skipped)
  // from the next message on; an exception a component lets escape is
  // reported and the others still see the message.
  void Dispatch(uintptr_t window, gui::Message& m);
  // The window is gone: its records go and their components forget it.
  void WindowDestroyed(uintptr_t window);

 private:
  struct Record {
    TMsgComponent* component;
    uintptr_t window;
  };
  std::vector<Record> records_;
};

// Routes a window's messages through TMsgCmpList::Dispatch while any
// component watches it.
class TMsgHookBackend {
 public:
  virtual ~TMsgHookBackend() = default;
  // The first component now watches window.
  virtual void Attach(uintptr_t window) = 0;
  // The last component stopped watching window (it may be gone already).
  virtual void Detach(uintptr_t window) = 0;
};

inline TMsgHookBackend& MsgHooks() { return gui::Service<TMsgHookBackend>::Get(); }
namespace gui {
template <>
TMsgHookBackend& DefaultService<TMsgHookBackend>();
}  // namespace gui
