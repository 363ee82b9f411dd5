// Registers a nick on a Napster-protocol server through a client component
// the window keeps for that alone (the settings dialog's and the setup
// wizard's): it starts a session that creates the account, tells the user
// what the server answered, and ends the session again. A session that
// ends without an answer is reported as such, never as a registration.
#pragma once
#include <functional>
#include <string>

#include "peer/napster_client.h"

class TNickRegistration {
 public:
  enum TState { Idle, Busy, Registered, Taken, Refused, Unreachable, NoAnswer, Invalid };

  explicit TNickRegistration(TNapsterClient& client);
  ~TNickRegistration();
  TNickRegistration(const TNickRegistration&) = delete;
  TNickRegistration& operator=(const TNickRegistration&) = delete;

  // Starts a registration (the port is a text: its digits count); false
  // with state Invalid when the host, port or nick cannot be used, or
  // while one runs.
  bool Start(const std::string& host, const std::string& port, const std::string& nick, const std::string& password,
             const std::string& email);
  TState State() const { return state_; }
  // What the user is shown about the last registration.
  const std::string& StatusText() const { return status_; }
  std::function<void()> OnChanged;

 private:
  void Set(TState s, const std::string& text);
  void End(TNapsterClient* c, TNapsterID id, TState s, const std::string& text);

  TNapsterClient& client_;
  std::string id_;
  TState state_ = Idle;
  std::string status_;
};
