// Registers a nick on a Napster-protocol server through a client component
// the window keeps for that alone (the settings dialog's, the setup
// wizard's and the networks window's): it starts a session that creates
// the account, tells the user what the server answered, and ends the
// session again. A refusal shows what the server said when it said
// anything; a session that ends without an answer is reported as such,
// never as a registration.
#pragma once
#include <functional>
#include <string>

#include "peer/napster/napster_client.h"

class TNickRegistration {
 public:
  enum TState { Idle, Busy, Registered, Taken, Refused, Unreachable, NoAnswer, Invalid };
  // The account a registration asks for.
  struct TAccount {
    std::string Host;
    int Port = 0;
    std::string Nick;
    std::string Password;
    bool Redirect = false;
  };

  explicit TNickRegistration(TNapsterClient& client);
  ~TNickRegistration();
  TNickRegistration(const TNickRegistration&) = delete;
  TNickRegistration& operator=(const TNickRegistration&) = delete;

  // Starts a registration (the port is a text: its digits count; redirect:
  // the address is a redirector); false with state Invalid when the host,
  // port or nick cannot be used, or the settings files could not keep the
  // account (a double quote or a line break), or while one runs.
  bool Start(const std::string& host, const std::string& port, const std::string& nick, const std::string& password,
             const std::string& email, bool redirect = false);
  TState State() const { return state_; }
  // The account of the last registration started.
  const TAccount& Account() const { return account_; }
  // What the user is shown about the last registration.
  const std::string& StatusText() const { return status_; }
  std::function<void()> OnChanged;

 private:
  bool Ours(const std::string& id) const;
  void Set(TState s, const std::string& text);
  void End(TNapsterClient* c, TNapsterID id, TState s, const std::string& text);

  TNapsterClient& client_;
  TAccount account_;
  std::string id_;
  TState state_ = Idle;
  std::string status_;
  // The server refused the account; the login error that follows says why.
  bool awaitingReason_ = false;
};
