// The built-in OpenNap provider: a list of Napster-protocol servers (host,
// port, nick, password, redirector flag), kept in its own sectioned file
// "Legacy\Legacy.cfg" in the program folder, with the program's own gateway
// ("127.0.0.1:10000") always offered first. Each server is connected and
// disconnected through the main window's client component (StartSession,
// Disconnect), whose session ID the provider keeps; the gateway's session is
// "P2P". The main window hands it back that component's login, login-error,
// finish and socket-error events.
//
// Accounts are registered through a component of the provider's own,
// ManualServerNapsterClient (every property 0), whose register, register-
// error and socket-error events answer the Register button (see
// TNickRegistration). Register asks the server typed in the Host and Port
// entries for the nick and password typed beside them, as the wizard's and
// the settings dialog's pages do: the rows are servers to log in to, and a
// row's nick may be registered by its logins already.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "app/nick_registration.h"
#include "gui/form.h"
#include "gui/win32/std_controls.h"
#include "peer/napster/napster_client.h"

struct TLegacyServer {
  enum TState { Offline, Connecting, Online };
  std::string Host;
  int Port = 8888;
  std::string Nick;
  std::string Password;
  bool Redirect = false;
  bool Gateway = false;  // the program's own gateway
  std::string ID;        // the session's while one is open
  TState State = Offline;
  std::string Waiting;   // how long a connecting session may still wait ("": not known)
  std::string Address() const { return Host + ":" + std::to_string(Port); }
};

// "Online", "Offline", or "Connecting" (what a connecting session waits
// for, when that is known), as the windows that list sessions show it.
std::string LegacyStateText(const TLegacyServer& server);

class TLegacySettingsForm : public gui::Form {
 public:
  // The e-mail text every login and registration sends.
  static constexpr const char* kEmail = "user@tarnwick";

  // nick: the user's nick, which the gateway's session uses.
  TLegacySettingsForm(gui::Component* owner, TNapsterClient& client, const std::string& programFolder,
                      const std::string& nick);
  ~TLegacySettingsForm() override;

  TNapsterClient ManualServerNapsterClient;
  TNickRegistration& Registration() { return registration_; }

  int Count() const { return int(servers_.size()); }
  const TLegacyServer& Server(int i) const { return servers_[size_t(i)]; }
  // A new server at the end (saved at once: a save that fails is told);
  // its index.
  int Add(const TLegacyServer& s);
  // Disconnects and forgets a server; the gateway stays (the status says so).
  void Remove(int i);
  void Connect(int i);
  void Disconnect(int i);
  // Asks the server in the Host and Port entries to register the nick and
  // password in theirs (Redirector: the address is a redirector's).
  void Register();
  // The nick the gateway's session logs in with (from the next login).
  void SetGatewayNick(const std::string& nick);
  // What the row of a connecting session shows beside its state.
  void SetWaiting(int i, const std::string& text);
  int IndexOfGateway() const { return 0; }
  // The server whose session has this ID (-1: none).
  int IndexOfSession(const std::string& id) const;

  // The main component's events about the provider's sessions.
  void SessionLogin(const std::string& id);
  void SessionLoginError(const std::string& id, const std::string& reason);
  void SessionFinished(const std::string& id);
  void SessionSocketError(const std::string& id, int number, const std::string& text);

  // "Legacy\Legacy.cfg": the servers other than the gateway.
  bool Load();
  bool Save() const;
  std::string FileName() const;

  gui::ListView* List() const { return list_; }
  gui::Edit* HostBox() const { return host_; }
  gui::Edit* PortBox() const { return port_; }
  gui::Edit* NickBox() const { return nick_; }
  gui::Edit* PasswordBox() const { return password_; }
  // What the last action or answer was, as the window shows it.
  const std::string& StatusText() const { return status_; }

  // The servers or their states changed.
  std::function<void()> OnServersChanged;

 private:
  void Changed();
  // Saves the servers after a change, telling the user when it cannot.
  void SaveChange();
  void SetStatus(const std::string& text);
  void AddFromFields();
  int Chosen();

  TNapsterClient& client_;
  std::string folder_;
  std::vector<TLegacyServer> servers_;
  TNickRegistration registration_{ManualServerNapsterClient};
  bool connecting_ = false;
  std::string finishedEarly_;
  std::string status_;
  gui::ListView* list_;
  gui::Edit* host_;
  gui::Edit* port_;
  gui::Edit* nick_;
  gui::Edit* password_;
  gui::CheckBox* redirect_;
  gui::Label* statusLabel_;
};

// Adds a server to the networks file of the program folder (the setup
// wizard's registered account), unless one of that address and nick is
// there; false when the file cannot be written.
bool AddLegacyServer(const std::string& programFolder, const TLegacyServer& server);
