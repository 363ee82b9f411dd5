// The messages view: one plain-text log of what the servers and other
// users say (private, channel and server messages, whois answers, browse
// lists and the sessions' comings and goings), a line to answer, and on
// the right the channels joined with the users of the one in view.
//
// The line sends to what the "To:" box names: a joined channel (its users
// hear it), or a nick (a private message); with the box empty, to the
// channel in view. A line beginning with "/" is a text command
// ("/whois nick", "/join channel"; "/help" lists them). The users' popup
// (right click) and the channels' popup act on the user or the channel
// they were opened on, through text commands.
#pragma once
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "gui/menu.h"
#include "gui/win32/std_controls.h"

class TMessageView : public gui::Panel {
 public:
  // Lines the log keeps; older ones go.
  static constexpr size_t kMaxLines = 2000;
  static constexpr int kUsersWidth = 150;

  explicit TMessageView(gui::Component* owner);

  // Appends a line (a peer's line breaks become blanks).
  void Add(const std::string& line);
  const std::deque<std::string>& Lines() const { return lines_; }
  // The log as shown.
  std::string Text() const;

  // Sends what the answer line holds: to what the "To:" box names, or as
  // a text command.
  void Send();
  gui::Memo* LogBox() const { return log_; }
  gui::Edit* NickBox() const { return nick_; }
  gui::Edit* MessageBox() const { return message_; }
  gui::ComboBox* ChannelBox() const { return channelBox_; }
  gui::ListView* UserList() const { return users_; }

  // The channels joined (in the order joined) and the one in view ("":
  // the first; one that is not joined: none). Showing another channel
  // asks for its users (OnChannelShown).
  void SetChannels(const std::vector<std::string>& joined, const std::string& shown = "");
  // The channel in view ("" when none is joined).
  std::string Channel();
  // The users of the channel in view.
  void SetUsers(const std::vector<std::string>& nicks);
  // The popups for a user and for a channel, at the mouse.
  void PopupUser(const std::string& nick);
  void PopupChannel(const std::string& channel);
  gui::PopupMenu* UserMenu() const { return userMenu_; }
  gui::PopupMenu* ChannelMenu() const { return channelMenu_; }

  // A line that was not carried out (false) stays in the box.
  std::function<bool(const std::string& line)> OnCommand;
  std::function<void(const std::string& channel)> OnChannelShown;

 protected:
  void Resize() override;

 private:
  void Command(const std::string& verb, const std::string& subject);
  // Whether a name is one of the channels joined (in any case).
  bool Joined(const std::string& name) const;
  // The nick of the user list's chosen row ("" when none).
  std::string ChosenUser();

  gui::Memo* log_;
  gui::Edit* nick_;
  gui::Edit* message_;
  gui::Button* send_;
  gui::ComboBox* channelBox_;
  gui::Label* usersLabel_;
  gui::ListView* users_;
  gui::PopupMenu* userMenu_;
  gui::PopupMenu* channelMenu_;
  std::vector<std::string> channels_;
  std::string menuSubject_;  // the user or channel the popup shown acts on
  std::deque<std::string> lines_;
};
