// The messages view: one plain-text log of what the servers and other
// users say (private and server messages, whois answers, browse lists and
// the sessions' comings and goings), and a line to answer: a message to a
// nick, or a text command when it begins with "/" ("/whois nick").
#pragma once
#include <deque>
#include <functional>
#include <string>

#include "gui/win32/std_controls.h"

class TMessageView : public gui::Panel {
 public:
  // Lines the log keeps; older ones go.
  static constexpr size_t kMaxLines = 2000;

  explicit TMessageView(gui::Component* owner);

  // Appends a line (a peer's line breaks become blanks).
  void Add(const std::string& line);
  const std::deque<std::string>& Lines() const { return lines_; }
  // The log as shown.
  std::string Text() const;

  // Sends what the answer line holds: to the nick in the nick box, or as a
  // text command.
  void Send();
  gui::Memo* LogBox() const { return log_; }
  gui::Edit* NickBox() const { return nick_; }
  gui::Edit* MessageBox() const { return message_; }

  std::function<void(const std::string& line)> OnCommand;

 protected:
  void Resize() override;

 private:
  gui::Memo* log_;
  gui::Edit* nick_;
  gui::Edit* message_;
  gui::Button* send_;
  std::deque<std::string> lines_;
};
