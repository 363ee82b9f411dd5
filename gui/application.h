// The application object: start-up rules, the main form, the message loop
// (Run, ProcessMessages, HandleMessage), Terminate, the program's folder,
// the keyboard hooks that see every key press before any window (a button
// bar's shortcuts), the hint shown for the control under the mouse, and
// the reporting of errors that reach the loop.
//
// Each key press goes first to the hooks (CM_APPKEYDOWN: WParam the key,
// LParam the shift state; a hook that handles it answers true and the key
// goes no further), then to the shortcuts of the active form's main menu,
// then to the form's dialog keys (Tab moves the focus in tab order, Enter
// and Escape press the default and cancel buttons) unless the focused
// control asks for that key, and only then to the focused window.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gui/control.h"

namespace gui {

class Form;

class Application {
 public:
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // Single-instance rule: holds the named mutex when no other instance
  // does. When another instance holds it, posts wakeMessage to that
  // instance's window of class windowClass and returns false.
  static bool ClaimSingleInstance(const std::string& mutexName, const std::string& windowClass,
                                  unsigned wakeMessage);

  // The program's start: installs the window system's graphics, colours,
  // text measuring and error reporting (a message box).
  void Initialize();

  Form* MainForm() const { return mainForm_; }
  // The main form, whose window also owns what the shell opens.
  void SetMainForm(Form* f);
  // The main form's window (0 without one): the owner of shell calls.
  uintptr_t MainHandle() const;
  std::string ExeName() const;
  // The program's folder, ending in the path separator.
  std::string ProgramFolder() const;

  // Runs the loop until Terminate (or the main form closes); answers the
  // exit code.
  int Run();
  // Handles every message pending now, then returns.
  void ProcessMessages();
  // Waits for one message and handles it (what a modal loop repeats).
  void HandleMessage();
  // Ends Run (and every modal loop) after the message being handled.
  void Terminate();
  bool Terminated() const { return terminated_; }

  // Keyboard hooks, called in the order added; answers the id to remove.
  int HookKeys(std::function<bool(Message& appKeyDown)> hook);
  void UnhookKeys(int id);
  // Runs the hooks for a key press: true when one handled it.
  bool RunKeyHooks(uint16_t key, ShiftState shift);
  // What a key press meets before its window (see above): true when it
  // was taken.
  bool PreviewKey(uintptr_t target, uint16_t key, ShiftState shift);

  // The hint of the control under the mouse ("" when none); OnHint runs
  // when it changes.
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& h);
  std::function<void(Application& sender)> OnHint;
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool s) { showHint_ = s; }
  // The mouse moved over a window: the hint becomes that of its control
  // (or of the nearest parent that has one).
  void MouseOver(uintptr_t window);

  // Errors that reached the loop: OnException when set, else a message box.
  std::function<void(const std::string& what, Control* where)> OnException;
  void ShowException(const std::string& what, Control* where);
  // A message box owned by the main window (MB_* flags; answers ID*).
  int MessageBox(const std::string& text, const std::string& caption, unsigned flags);

  // Deletes c after the message being handled (a form that closes itself).
  void ReleaseLater(Component* c);

  // The top-level windows made inactive while a modal form runs, and back.
  std::vector<uintptr_t> DisableWindowsExcept(uintptr_t keep);
  void EnableWindows(const std::vector<uintptr_t>& windows);

 private:
  friend Application& App();
  Application() = default;
  void ReleasePending();
  Form* mainForm_ = nullptr;
  bool terminated_ = false;
  int exitCode_ = 0;
  std::vector<std::pair<int, std::function<bool(Message&)>>> hooks_;
  int nextHook_ = 1;
  std::string hint_;
  bool showHint_ = true;
  std::vector<Component*> release_;
};

// The one application object.
Application& App();

}  // namespace gui
