// The application object: start-up rules, the main window and the message
// loop of the GUI program.
#pragma once
#include <string>

namespace gui {

class Form;

class Application {
 public:
  // Single-instance rule: holds the named mutex when no other instance
  // does. When another instance holds it, posts wakeMessage to that
  // instance's window of class windowClass and returns false.
  static bool ClaimSingleInstance(const std::string& mutexName,
                                  const std::string& windowClass,
                                  unsigned wakeMessage);
  static void SetMainForm(Form* form) { main_ = form; }
  static Form* MainForm() { return main_; }
  // Runs the message loop until the main form is destroyed.
  static int Run();
  static void Terminate();

 private:
  static Form* main_;
};

}  // namespace gui
