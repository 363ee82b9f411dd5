#include "app/legacy_settings_form.h"

#include <commctrl.h>

#include <algorithm>

#include "app/app_settings.h"
#include "app/language.h"
#include "app/view_parts.h"
#include "core/global_functions.h"
#include "core/simple_config.h"
#include "peer/gateway/gateway.h"
#include "peer/napster/napster_helpers.h"
#include "platform/files.h"
#include "platform/text.h"

namespace {

constexpr const char* kSection = "LegacySettings";

std::string NetworksFile(const std::string& folder) { return folder + "Legacy\\Legacy.cfg"; }

// Server n (from 1) of the networks file.
bool ReadServer(TSimpleConfig& cfg, int n, TLegacyServer& s) {
  if (!cfg.SetSection("Server" + std::to_string(n))) return false;
  s.Host = plat::Trim(cfg.ReadString("Host"));
  s.Port = cfg.ReadInteger("Port");
  s.Nick = cfg.ReadString("Nick");
  s.Password = DecodePassword(cfg.ReadString("Password"));
  s.Redirect = cfg.ReadBool("Redirect");
  return !s.Host.empty() && s.Port > 0 && s.Port <= 65535;
}

// False when the file cannot hold one of its values.
bool WriteServer(TSimpleConfig& cfg, int n, const TLegacyServer& s) {
  cfg.SetSection("Server" + std::to_string(n));
  bool stored = cfg.WriteString("Host", s.Host);
  cfg.WriteInteger("Port", s.Port);
  stored = cfg.WriteString("Nick", s.Nick) && stored;
  stored = cfg.WriteString("Password", EncodePassword(s.Password)) && stored;
  cfg.WriteBool("Redirect", s.Redirect);
  return stored;
}

// A server the file cannot hold whole would be read back as another one
// (a password cut short): then nothing is written.
bool SaveNetworks(const std::string& folder, const std::vector<TLegacyServer>& servers) {
  TSimpleConfig cfg;
  cfg.SetSection("Servers");
  cfg.WriteInteger("Count", int(servers.size()));
  for (size_t i = 0; i < servers.size(); ++i)
    if (!WriteServer(cfg, int(i) + 1, servers[i])) return false;
  plat::ForceDirectories(folder + "Legacy");
  return cfg.SaveToFile(NetworksFile(folder));
}

std::vector<TLegacyServer> LoadNetworks(const std::string& folder, bool* read = nullptr) {
  std::vector<TLegacyServer> servers;
  TSimpleConfig cfg;
  const bool ok = cfg.LoadFromFile(NetworksFile(folder));
  if (read) *read = ok;
  if (!ok) return servers;
  cfg.SetSection("Servers");
  const int n = cfg.ReadInteger("Count");
  for (int i = 1; i <= n; ++i) {
    TLegacyServer s;
    if (ReadServer(cfg, i, s)) servers.push_back(s);
  }
  return servers;
}

}  // namespace

std::string LegacyStateText(const TLegacyServer& server) {
  switch (server.State) {
    case TLegacyServer::Connecting:
      return server.Waiting.empty() ? LangText(kSection, "00030", "Connecting") : server.Waiting;
    case TLegacyServer::Online: return LangText(kSection, "00031", "Online");
    default: return LangText(kSection, "00032", "Offline");
  }
}

TLegacySettingsForm::TLegacySettingsForm(gui::Component* owner, TNapsterClient& client,
                                         const std::string& programFolder, const std::string& nick)
    : gui::Form(owner, "TLegacySettingsForm"), client_(client), folder_(plat::IncludeTrailingDelim(programFolder)) {
  SetCaption(LangText(kSection, "00000", "OpenNap Networks"));
  SetBorderStyle(gui::FormBorder::Dialog);
  SetBounds(140, 120, 470, 380);

  TLegacyServer gateway;
  gateway.Host = TNapsterClient::kGatewayHost;
  gateway.Port = TNapsterClient::kGatewayPort;
  gateway.Nick = nick;
  gateway.Gateway = true;
  servers_.push_back(gateway);
  Load();

  list_ = new gui::ListView(this);
  list_->SetBounds(8, 8, 446, 170);
  list_->AddColumn(LangText(kSection, "00001", "Server"), 190);
  list_->AddColumn(LangText(kSection, "00002", "Nick"), 90);
  list_->AddColumn(LangText(kSection, "00003", "Redirector"), 74);
  list_->AddColumn(LangText(kSection, "00004", "State"), 66);
  list_->SetParent(this);

  view::AddLabel(this, LangText(kSection, "00005", "Host:"), 8, 192, 60);
  host_ = view::AddEdit(this, 70, 188, 150);
  view::AddLabel(this, LangText(kSection, "00006", "Port:"), 232, 192, 40);
  port_ = view::AddEdit(this, 274, 188, 60);
  port_->SetText("8888");
  view::AddLabel(this, LangText(kSection, "00007", "Nick:"), 8, 220, 60);
  nick_ = view::AddEdit(this, 70, 216, 150);
  nick_->SetText(nick);
  view::AddLabel(this, LangText(kSection, "00008", "Password:"), 232, 220, 60);
  password_ = view::AddEdit(this, 294, 216, 160, true);
  redirect_ = new gui::CheckBox(this);
  redirect_->SetCaption(LangText(kSection, "00009", "Redirector"));
  redirect_->SetBounds(346, 190, 100, 17);
  redirect_->SetParent(this);

  int x = 8;
  auto button = [&](const std::string& caption, std::function<void()> fn) {
    gui::Button* b = view::AddButton(this, caption, x, 250, 84, std::move(fn));
    x += 90;
    return b;
  };
  button(LangText(kSection, "00010", "&Add"), [this] { AddFromFields(); });
  button(LangText(kSection, "00011", "&Remove"), [this] { Remove(Chosen()); });
  button(LangText(kSection, "00012", "&Connect"), [this] { Connect(Chosen()); });
  button(LangText(kSection, "00013", "&Disconnect"), [this] { Disconnect(Chosen()); });
  button(LangText(kSection, "00014", "Re&gister"), [this] { Register(); });
  gui::Button* close = view::AddButton(this, LangText(kSection, "00015", "Close"), 370, 318, 84, [this] { Hide(); });
  close->SetCancel(true);
  statusLabel_ = view::AddLabel(this, "", 8, 286, 446);

  registration_.OnChanged = [this] { SetStatus(registration_.StatusText()); };
  Changed();
}

TLegacySettingsForm::~TLegacySettingsForm() = default;

std::string TLegacySettingsForm::FileName() const { return NetworksFile(folder_); }

bool TLegacySettingsForm::Load() {
  bool read = false;
  for (const TLegacyServer& s : LoadNetworks(folder_, &read)) servers_.push_back(s);
  return read;
}

bool TLegacySettingsForm::Save() const {
  return SaveNetworks(folder_, std::vector<TLegacyServer>(servers_.begin() + 1, servers_.end()));
}

bool AddLegacyServer(const std::string& programFolder, const TLegacyServer& server) {
  const std::string folder = plat::IncludeTrailingDelim(programFolder);
  std::vector<TLegacyServer> servers = LoadNetworks(folder);
  for (const TLegacyServer& s : servers)
    if (plat::SameText(s.Address(), server.Address()) && plat::SameText(s.Nick, server.Nick)) return true;
  servers.push_back(server);
  return SaveNetworks(folder, servers);
}

void TLegacySettingsForm::Changed() {
  const int chosen = list_->Selected();
  list_->ClearRows();
  for (const TLegacyServer& s : servers_) {
    const std::string name =
        s.Gateway ? LangText(kSection, "00033", "Tarnwick P2P") + " (" + s.Address() + ")" : s.Address();
    list_->AddRow({name, s.Nick, s.Redirect ? LangText(kSection, "00034", "Yes") : "", LegacyStateText(s)});
  }
  if (chosen >= 0 && chosen < Count() && list_->HandleAllocated()) {
    LVITEMA item{};
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    list_->SendMsg(LVM_SETITEMSTATE, WPARAM(chosen), reinterpret_cast<LPARAM>(&item));
  }
  if (OnServersChanged) OnServersChanged();
}

void TLegacySettingsForm::SetStatus(const std::string& text) {
  status_ = text;
  statusLabel_->SetCaption(text);
}

int TLegacySettingsForm::Chosen() {
  const int i = list_->Selected();
  if (i < 0) SetStatus(LangText(kSection, "00024", "Choose a server in the list first."));
  return i;
}

int TLegacySettingsForm::Add(const TLegacyServer& s) {
  servers_.push_back(s);
  servers_.back().Gateway = false;
  servers_.back().ID.clear();
  servers_.back().State = TLegacyServer::Offline;
  Changed();
  SaveChange();
  return Count() - 1;
}

void TLegacySettingsForm::AddFromFields() {
  TLegacyServer s;
  s.Host = plat::Trim(host_->GetText());
  s.Port = int(std::min<int64_t>(EasyStrToInt64(port_->GetText()), 65536));  // digits only, as every port entry
  s.Nick = plat::Trim(nick_->GetText());
  s.Password = password_->GetText();
  s.Redirect = redirect_->Checked();
  const std::string unstorable = UnstorableEntry({{LangText(kSection, "00005", "Host:"), s.Host},
                                                  {LangText(kSection, "00007", "Nick:"), s.Nick},
                                                  {LangText(kSection, "00008", "Password:"), s.Password}});
  if (!unstorable.empty()) {
    SetStatus(unstorable);
    return;
  }
  if (s.Host.empty() || s.Port <= 0 || s.Port > 65535 || !UsableNick(s.Nick)) {
    SetStatus(LangText(kSection, "00025", "Give a host, a port from 1 to 65535 and a nick without blanks."));
    return;
  }
  Add(s);
  host_->SetText("");
}

void TLegacySettingsForm::Remove(int i) {
  if (i == IndexOfGateway()) {
    SetStatus(LangText(kSection, "00200", "Tarnwick P2P belongs to the program and stays; Disconnect ends its session."));
    return;
  }
  if (i <= 0 || i >= Count()) return;
  Disconnect(i);
  servers_.erase(servers_.begin() + i);
  Changed();
  SaveChange();
}

void TLegacySettingsForm::SaveChange() {
  if (Save()) return;
  // In use all the same; the message names the file.
  SetStatus(LangText(kSection, "00201", "In use now, but not saved: the networks file cannot be written."));
  view::ShowMessage(LangText(kSection, "00202", "The networks could not be saved to") + " " + FileName() + ".");
}

void TLegacySettingsForm::Connect(int i) {
  if (i < 0 || i >= Count()) return;
  TLegacyServer& s = servers_[size_t(i)];
  if (s.State != TLegacyServer::Offline) return;
  // The gateway is wherever it listens (10000 unless it was told otherwise).
  if (s.Gateway && GatewayListeningPort() > 0) s.Port = GatewayListeningPort();
  std::string id;
  // A connection that fails at once finishes inside StartSession, before
  // its ID is known here.
  connecting_ = true;
  finishedEarly_.clear();
  client_.StartSession(s.Host, s.Port, s.Nick, s.Password, kEmail, false, s.Redirect, id);
  connecting_ = false;
  if (finishedEarly_ == id) {
    // It never got going: the buttons that were checked for it show it
    // offline again.
    Changed();
    return;
  }
  s.ID = id;
  s.State = TLegacyServer::Connecting;
  SetStatus(LangText(kSection, "00026", "Connecting to") + " " + s.Address());
  Changed();
}

void TLegacySettingsForm::Disconnect(int i) {
  if (i < 0 || i >= Count()) return;
  TLegacyServer& s = servers_[size_t(i)];
  if (s.State == TLegacyServer::Offline) return;
  client_.Disconnect(s.ID);
}

void TLegacySettingsForm::Register() {
  registration_.Start(host_->GetText(), port_->GetText(), nick_->GetText(), password_->GetText(), kEmail,
                      redirect_->Checked());
}

void TLegacySettingsForm::SetGatewayNick(const std::string& nick) {
  servers_[size_t(IndexOfGateway())].Nick = nick;
  Changed();
}

void TLegacySettingsForm::SetWaiting(int i, const std::string& text) {
  if (i < 0 || i >= Count() || servers_[size_t(i)].Waiting == text) return;
  servers_[size_t(i)].Waiting = text;
  if (i < list_->RowCount()) list_->SetText(i, 3, LegacyStateText(servers_[size_t(i)]));
}

int TLegacySettingsForm::IndexOfSession(const std::string& id) const {
  for (int i = 0; i < Count(); ++i)
    if (servers_[size_t(i)].State != TLegacyServer::Offline && plat::SameText(servers_[size_t(i)].ID, id)) return i;
  return -1;
}

void TLegacySettingsForm::SessionLogin(const std::string& id) {
  const int i = IndexOfSession(id);
  if (i < 0) return;
  servers_[size_t(i)].State = TLegacyServer::Online;
  servers_[size_t(i)].Waiting.clear();
  SetStatus(LangText(kSection, "00028", "Logged in to") + " " + servers_[size_t(i)].Address());
  Changed();
}

void TLegacySettingsForm::SessionLoginError(const std::string& id, const std::string& reason) {
  const int i = IndexOfSession(id);
  if (i >= 0) SetStatus(servers_[size_t(i)].Address() + ": " + reason);
}

void TLegacySettingsForm::SessionFinished(const std::string& id) {
  if (connecting_) finishedEarly_ = id;
  const int i = IndexOfSession(id);
  if (i < 0) return;
  servers_[size_t(i)].State = TLegacyServer::Offline;
  servers_[size_t(i)].ID.clear();
  servers_[size_t(i)].Waiting.clear();
  Changed();
}

void TLegacySettingsForm::SessionSocketError(const std::string& id, int number, const std::string& text) {
  const int i = IndexOfSession(id);
  if (i >= 0 || connecting_) SetStatus(text + " (" + std::to_string(number) + ")");
}
