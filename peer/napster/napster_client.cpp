// TNapsterClient's sessions: its life, the sessions with the servers and
// the requests posted to them, the events they hand back, and the timer
// that drives the wait list and the transfer queue. Its transfers are in
// napster_client_transfers.cpp, its shares and disk searches in
// napster_client_shares.cpp.
#include "peer/napster/napster_client.h"

#include <algorithm>
#include <map>

#include "core/file_find.h"
#include "core/global_functions.h"
#include "peer/napster/napster_helpers.h"
#include "platform/clock.h"
#include "platform/text.h"

const char* const kNapsterClientEventNames[kNapsterClientEventCount] = {
    "OnLogin", "OnSendingSharedFiles", "OnLoginError", "OnRegister", "OnRegisterError", "OnSearchItem",
    "OnSearchEnd", "OnResumeSearchItem", "OnResumeSearchEnd", "OnPrivMsg", "On404", "OnSignOn", "OnSignOff",
    "OnDirItem", "OnDirEnd", "OnHotListAdd", "OnServerStats", "OnIgnoreItem", "OnIgnoreListEnd", "OnIgnoreAdd",
    "OnIgnoreRemove", "OnIgnoreListClear", "OnJoin", "OnMyJoin", "OnPart", "OnMyPart", "OnUserItem", "OnUserEnd",
    "OnTopic", "OnChannelBanItem", "OnBanItem", "OnLinkType", "OnWhoIS", "OnWhoWas", "OnChannelItem",
    "OnChannelEnd", "OnMOTD", "OnGlobalMessage", "OnOperatorMessage", "OnPubMsg", "OnEmote", "OnStart",
    "OnConnect", "OnFinish", "OnWinsockError", "OnUploadConnect", "OnDownloadConnect", "OnUploadStats",
    "OnDownloadStats", "OnUploadIncomplete", "OnDownloadIncomplete", "OnUploadFinish", "OnDownloadFinish",
    "OnUploadStart", "OnDownloadStart", "OnDownloadQueued", "OnDownloadLocalQueued", "OnDownloadUnavailable",
    "OnDownloadBothFirewalled", "OnDownloadFileCreateError", "OnDownloadFileWriteError", "OnUploadFileOpenError",
    "OnUploadFileReadError", "OnDownloadTimeout", "OnDownloadAutoResume", "OnUploadTimeout",
    "OnDownloadWinsockError", "OnUploadWinsockError", "OnDownloadError", "OnUploadError", "OnAddFile",
    "OnRemoveFile", "OnScanFinished"};

namespace {

constexpr const char* kSearchEntry = "SEARCH";
constexpr const char* kResumeEntry = "RESUME";

std::string Upper(std::string_view s) { return plat::UpperAscii(plat::Trim(s)); }
bool IsTrue(const TMessageItem& r, const char* key) { return Upper(r.GetValue(key)) == "TRUE"; }
bool IsSuccess(const TMessageItem& r) { return Upper(r.GetValue("STATUS")) == "SUCCESS"; }
// Digits of a text as a number, "0" when there are none.
std::string DigitsNumber(const std::string& s) { return plat::IntToStr(DigitsToInt64(s)); }

}  // namespace

// ----------------------------------------------------------------- life

TNapsterClient::TNapsterClient(void* /*owner*/) {
  waitList_.Timeout = kWaitListTimeout;
  // On a session's thread: the rest runs on the main thread.
  pump_.SetRoomHook([this](const std::string& id) { window_.Post([this, id] { QueueRoom(id); }); });
  for (TEasyWinsock* s : {&sessionSockets_, &transferSockets_, &dataSockets_}) s->TimeOut = kSocketTimeOut;

  sessionSockets_.OnConnect = [this](TEasyWinsock*, TEasySocket* s) { Fire(OnConnect, s->GetValue("ID")); };
  sessionSockets_.OnWinsockError = [this](TEasyWinsock*, TEasySocket* s, int number, const std::string& text) {
    Fire(OnWinsockError, s ? s->GetValue("ID") : std::string(), number, text);
  };
  sessionSockets_.OnGetThread = [this](TEasyWinsock*, TEasyWinsockThread*& thread) {
    auto* session = new TNapsterClientThread();
    WireSession(*session);
    thread = session;
  };
  sessionSockets_.OnFinish = [this](TEasyWinsock*, TEasySocket* s) { SessionFinished(s); };

  WireTransferSockets(transferSockets_);
  WireTransferSockets(dataSockets_);
  WireDataPort();

  window_.SetTimer(1, kTimerMs, [this] { Tick(); });
}

TNapsterClient::~TNapsterClient() {
  finder_.reset();  // its thread touches the shared-file list
  Shutdown();
  dataSockets_.StopListening();
  dataSockets_.CloseAll();
  transferSockets_.CloseAll();
  sessionSockets_.CloseAll();
}

void TNapsterClient::Shutdown() {
  window_.KillTimer(1);
  RemoveAllDownloads();
  RemoveAllUploads();
  StopScan();
  DisconnectAll();
}

// ----------------------------------------------------------------- helpers

namespace {

TMessageItem MethodRecord(const std::string& id, const char* verb,
                          std::initializer_list<std::pair<const char*, std::string>> fields) {
  TMessageItem r;
  r.SetValue("NAME", "NAPSTER_CLIENT");
  r.SetValue("ACTION", "METHOD");
  r.SetValue("METHOD", verb);
  r.SetValue("ID", id);
  for (const auto& [key, value] : fields) r.SetValue(key, value);
  return r;
}

}  // namespace

bool TNapsterClient::Post(const std::string& id, const char* verb, Fields fields) {
  if (!Deliver(MethodRecord(id, verb, fields), id)) return false;
  // A request for one session that no queue took (its connection is still
  // being made, or it is gone) is not sent either.
  if (!id.empty() && queued_ == 0) {
    unsent_ = {id};
    return false;
  }
  return true;
}

bool TNapsterClient::Deliver(const TMessageItem& record, const std::string& id) {
  TMessagePump::Delivery delivery;
  const bool queued = pump_.Post(record, id, &delivery);
  unsent_ = std::move(delivery.Refused);
  queued_ = delivery.Queued;
  return queued;
}

bool TNapsterClient::TellPort(const std::string& id) {
  return Post(id, "SET_PORT", {{"PORT", plat::IntToStr(dataPort_)}});
}

bool TNapsterClient::Tell(const std::string& id, const std::string& key, const char* verb, Fields fields) {
  const TMessageItem record = MethodRecord(id, verb, fields);
  // Each session keeps its own order.
  std::vector<std::string> sessions;
  for (const std::string& s : id.empty() ? sessionIds_ : std::vector<std::string>{id})
    if (std::none_of(sessions.begin(), sessions.end(), [&](const std::string& t) { return plat::SameText(s, t); }))
      sessions.push_back(s);
  bool sent = true;
  for (const std::string& s : sessions) {
    const bool behind =
        std::any_of(waiting_.begin(), waiting_.end(), [&](const Waiting& w) { return plat::SameText(w.Session, s); });
    // Taken, or no session of that ID is left to take it; a session whose
    // connection is still being made takes it once it has logged in.
    if (!behind && Deliver(record, s) && (queued_ > 0 || SessionIndex(s) < 0)) continue;
    waiting_.push_back({s, key, verb, record});
    sent = false;
  }
  return sent;
}

void TNapsterClient::SendWaiting(const std::string& id) {
  auto next = [&] {
    return std::find_if(waiting_.begin(), waiting_.end(), [&](const Waiting& w) { return plat::SameText(w.Session, id); });
  };
  for (auto it = next(); it != waiting_.end(); it = next()) {
    if (!Deliver(it->Record, it->Session)) return;  // full again: its next room goes on
    const Waiting sent = *it;
    waiting_.erase(it);
    TNapsterClientData* d = sent.Verb == "DOWNLOAD" ? FindDownload(sent.Key) : nullptr;
    if (!d || !d->RequestHeld) continue;
    // Asked for now: it waits for the answer from here on, and says so.
    d->RequestHeld = false;
    d->StartTime = SecondsOfDay();
    d->StartTick = plat::MonotonicMs();
    Fire(OnDownloadStart, *d);
  }
}

void TNapsterClient::Unwait(const std::string& key, const char* verb) {
  std::erase_if(waiting_, [&](const Waiting& w) { return w.Verb == verb && plat::SameText(w.Key, key); });
}

void TNapsterClient::QueueRoom(const std::string& id) {
  SendWaiting(id);
  auto missed = std::find_if(portUnsent_.begin(), portUnsent_.end(),
                             [&](const std::string& s) { return plat::SameText(s, id); });
  if (missed != portUnsent_.end()) {
    portUnsent_.erase(missed);
    if (!TellPort(id)) portUnsent_.push_back(id);
  }
  Fire(OnQueueRoom, id);
}

int TNapsterClient::DataConnections() const { return int(connections_.size()); }

// ----------------------------------------------------------------- sessions

int TNapsterClient::SessionIndex(const std::string& id) const {
  for (size_t i = 0; i < sessionIds_.size(); i++)
    if (plat::SameText(sessionIds_[i], id)) return int(i);
  return -1;
}

int TNapsterClient::SessionIndexOf(const TEasySocket* connection) const {
  if (!connection) return -1;
  for (size_t i = 0; i < sessionConnections_.size(); i++)
    if (sessionConnections_[i] == connection) return int(i);
  return -1;
}

bool TNapsterClient::IsLoggedIn(const std::string& ID) const {
  return std::any_of(loggedIn_.begin(), loggedIn_.end(), [&](const std::string& l) { return plat::SameText(l, ID); });
}

void TNapsterClient::StartSession(const std::string& Host, int Port, const std::string& Nick,
                                  const std::string& Password, const std::string& Email, bool Register,
                                  bool Redirect, std::string& ID) {
  auto server = std::make_unique<TNapsterServerData>();
  server->Host = Host;
  server->Port = Port;
  server->Nick = Nick;
  server->Password = Password;
  server->Email = Email;
  server->Register = Register;
  server->Redirect = Redirect;
  // The serial never repeats, so two sessions never share an ID (but for
  // the gateway's fixed "P2P").
  do {
    server->ID = NapsterSessionID(Host, Port, SecondsOfDay(), ++sessionSerial_);
  } while (server->ID != TNapsterClientSession::kGatewayID && SessionIndex(server->ID) >= 0);
  ID = server->ID;
  TNapsterServerData* raw = server.get();
  sessionIds_.push_back(raw->ID);
  sessionNicks_.push_back(raw->Nick);
  sessionConnections_.push_back(nullptr);
  sessionServers_.push_back(std::move(server));
  ConnectSession(raw);
}

void TNapsterClient::ConnectSession(TNapsterServerData* server) {
  TEasySocket* s = nullptr;
  try {
    s = sessionSockets_.Connect(server->Host, server->Port);
  } catch (const std::exception& e) {
    // Never into the caller: the session ends as any failed connect does.
    const std::string id = server->ID;
    for (size_t i = 0; i < sessionServers_.size(); i++)
      if (sessionServers_[i].get() == server) RemoveSession(int(i));
    Fire(OnWinsockError, id, int(plat::kWsaENOBUFS), std::string(e.what()));
    Fire(OnFinish, id);
    return;
  }
  s->SetValue("ID", server->ID);
  s->SetValue("NICK", server->Nick);
  s->SetValue("PASSWORD", server->Password);
  s->SetValue("EMAIL", server->Email);
  s->SetValue("LINK_TYPE", plat::IntToStr(LinkType));
  s->SetValue("VERSION_TEXT", VersionText);
  s->SetValue("LOCAL_PORT", plat::IntToStr(dataPort_));
  s->SetValue("BUILD_NUMBER", plat::IntToStr(BuildNumber));
  s->SetValue("KIND", server->Register ? "REGISTER" : "LOGIN");
  s->SetValue("REDIRECT", server->Redirect ? "TRUE" : "FALSE");
  for (size_t i = 0; i < sessionServers_.size(); i++)
    if (sessionServers_[i].get() == server) sessionConnections_[i] = s;
}

void TNapsterClient::RemoveSession(int index) {
  sessionIds_.erase(sessionIds_.begin() + index);
  sessionNicks_.erase(sessionNicks_.begin() + index);
  sessionConnections_.erase(sessionConnections_.begin() + index);
  sessionServers_.erase(sessionServers_.begin() + index);
}

void TNapsterClient::SessionFinished(TEasySocket* socket) {
  // A redirector's connection was already replaced by the connection to
  // the server it named: it finds nothing here.
  int i = SessionIndexOf(socket);
  if (i < 0) return;
  const std::string id = sessionIds_[size_t(i)];
  // A new connection of it starts with the port as it is.
  std::erase_if(portUnsent_, [&](const std::string& s) { return plat::SameText(s, id); });
  for (size_t l = 0; l < loggedIn_.size(); l++) {
    if (plat::SameText(loggedIn_[l], id)) {
      loggedIn_.erase(loggedIn_.begin() + long(l));
      loggedInCount_--;
      break;
    }
  }
  if (socket->GetValue("REDIRECT_FOUND") == "TRUE") {
    sessionConnections_[size_t(i)] = nullptr;
    return;
  }
  // What waited for the session dies with it, as its queue does; a
  // download whose request waited is left as one whose session is gone.
  std::erase_if(waiting_, [&](const Waiting& w) { return plat::SameText(w.Session, id); });
  for (const auto& d : downloads_)
    if (plat::SameText(d->ID, id)) d->RequestHeld = false;
  RemoveSession(i);
  Fire(OnFinish, id);
}

void TNapsterClient::Disconnect(const std::string& ID) {
  // Starting one ID twice (the gateway's "P2P") makes two sessions of it:
  // every one of them ends. The connections are gathered first, as
  // cancelling one may change the session lists.
  std::vector<TEasySocket*> ending;
  for (size_t i = 0; i < sessionIds_.size(); i++) {
    TEasySocket* s = sessionConnections_[i];
    // A session between a redirector and its server has no connection.
    if (!s || !plat::SameText(sessionIds_[i], ID)) continue;
    s->SetValue("REDIRECT", "FALSE");
    ending.push_back(s);
  }
  for (TEasySocket* s : ending) sessionSockets_.Cancel(s);
}

void TNapsterClient::DisconnectAll() {
  for (TEasySocket* s : sessionConnections_)
    if (s) s->SetValue("REDIRECT", "FALSE");
  sessionSockets_.CloseAll();
}

void TNapsterClient::Redirected(const std::string& id, const std::string& host, int port) {
  int i = SessionIndex(id);
  if (i < 0) return;
  // Disconnect, DisconnectAll and Shutdown take the redirect back from the
  // connection: an answer that comes while they close it leads nowhere.
  TEasySocket* s = sessionConnections_[size_t(i)];
  if (!s || Upper(s->GetValue("REDIRECT")) != "TRUE") return;
  s->SetValue("REDIRECT_FOUND", "TRUE");
  TNapsterServerData* server = sessionServers_[size_t(i)].get();
  if (host == "127.0.0.1" || port == 1111) {
    server->Redirect = true;  // no usable server yet: ask again
  } else {
    server->Host = host;
    server->Port = port;
    server->Redirect = false;
  }
  ConnectSession(server);
}

void TNapsterClient::SearchEnded() {
  waitList_.Remove(kSearchEntry);
  if (pendingSearches_ <= 0) return;
  if (--pendingSearches_ == 0) Fire(OnSearchEnd);
}

void TNapsterClient::WireSession(TNapsterClientThread& session) {
  session.Pump = &pump_;
  session.ShareLock = &shareLock_;
  // Called by the session under the share lock.
  session.ReadShares = [this](std::vector<TNapsterShareInfo>& files) {
    // A change after this reading asks for another one.
    sharesChangePosted_.store(false);
    files.reserve(size_t(shares_.Count()));
    shares_.ForEach([&files](const SharedEntry& e) {
      TNapsterShareInfo f;
      f.RequestName = e.RequestName();
      f.MD5 = e.MD5();
      f.Size = e.Size;
      f.Bitrate = e.Bitrate;
      f.Frequency = e.Frequency;
      f.Seconds = e.Seconds;
      files.push_back(std::move(f));
    });
  };
  session.SetFirewalled(dataPort_ == 0);
  using Sender = TNapsterClientCallbacks::Sender;
  using Id = TNapsterClientCallbacks::Id;
  using Text = TNapsterClientCallbacks::Text;
  TNapsterClientCallbacks& cb = session.Callbacks;
  cb.OnSearchStarted = [this](Sender, Id) { pendingSearches_++; };
  cb.OnSearchEnded = [this](Sender, Id) { SearchEnded(); };
  cb.OnLoggedIn = [this](Sender, Id id, Text email) {
    loggedInCount_++;
    loggedIn_.push_back(id);
    SendWaiting(id);  // before what the handlers ask of it
    Fire(OnLogin, id, email);
  };
  cb.OnLoginError = [this](Sender, Id id, Text reason) { Fire(OnLoginError, id, reason); };
  cb.OnRegistered = [this](Sender, Id id) { Fire(OnRegister, id); };
  cb.OnRegisterError = [this](Sender, Id id, int kind) {
    Fire(OnRegisterError, id, kind == 1 ? retNickRegistered : retInvalidNick);
  };
  cb.OnRedirected = [this](Sender, Id id, Text host, int port) { Redirected(id, host, port); };
  cb.OnSendingSharedFiles = [this](Sender, Id id) { Fire(OnSendingSharedFiles, id); };
  cb.OnEventReceived = [this](Sender, Id id, const TMessageItem& r) { EventReceived(id, r); };
  cb.OnUploadRequested = [this](Sender, Id id, Text nick, Text file, bool& queued, bool& accept) {
    UploadPolicy(id, nick, file, queued, accept);
  };
  cb.OnDownloadQueuedRemotely = [this](Sender, Id id, Text nick, Text file, int64_t, int64_t) {
    if (TNapsterClientData* d = FindDownload(id + nick + file)) {
      d->RemoteQueued = true;
      Fire(OnDownloadQueued, *d);
    }
  };
  // The attempt ends as any other: the server hears of its end too.
  auto dropDownload = [this](const TNapsterClientDataOnAction& event) {
    return [this, e = &event](Sender, Id id, Text nick, Text file) {
      if (TNapsterClientData* d = FindDownload(id + nick + file)) {
        Fire(*e, *d);
        if (IsActive(d, true)) RemoveTransfer(*d, false);
      }
    };
  };
  cb.OnDownloadUnavailable = dropDownload(OnDownloadUnavailable);
  cb.OnBothFirewalled = dropDownload(OnDownloadBothFirewalled);
  cb.OnStartDownload = [this](Sender, Id id, const TNapsterTransferOffer& offer) {
    TNapsterClientData* d = FindDownload(id + offer.Nick + offer.FileName);
    if (d && !d->Socket)
      ConnectTransfer(d, offer.IP, offer.Port, d->IsGnutella ? "DOWNLOAD_GNUTELLA" : "DOWNLOAD", "0", "");
  };
  // Nobody will come for it: the row says why and the upload ends.
  cb.OnUploadRefused = [this](Sender, Id id, Text nick, Text file, Text reason) {
    TNapsterClientData* u = FindUpload(id + nick + file);
    if (!u || u->Socket) return;
    u->Refusal = reason;
    Fire(OnUploadError, *u, kDataErrorInvalid);
    if (IsActive(u, false)) RemoveTransfer(*u, false);
  };
  cb.OnStartPushUpload = [this](Sender, Id id, const TNapsterTransferOffer& offer) {
    TNapsterClientData* u = FindUpload(id + offer.Nick + offer.FileName);
    if (u && !u->Socket) ConnectTransfer(u, offer.IP, offer.Port, "UPLOAD", offer.LinkType, offer.MD5);
  };
}

// ----------------------------------------------------------------- requests

bool TNapsterClient::HotlistAdd(const std::string& ID, const std::string& Nick) {
  return Post(ID, "HOTLIST_ADD", {{"NICK", Nick}});
}
bool TNapsterClient::HotlistRemove(const std::string& ID, const std::string& Nick) {
  return Post(ID, "HOTLIST_REMOVE", {{"NICK", Nick}});
}
bool TNapsterClient::PrivMsg(const std::string& ID, const std::string& Nick, const std::string& Message) {
  return Post(ID, "PRIVMSG", {{"NICK", Nick}, {"MESSAGE", Message}});
}
bool TNapsterClient::GlobalMsg(const std::string& ID, const std::string& Message) {
  return Post(ID, "GLOBALMSG", {{"MESSAGE", Message}});
}
bool TNapsterClient::OperatorMsg(const std::string& ID, const std::string& Message) {
  return Post(ID, "OPERATORMSG", {{"MESSAGE", Message}});
}
bool TNapsterClient::RawCommand(const std::string& ID, int Command, const std::string& Message) {
  return Post(ID, "RAWCOMMAND", {{"COMMAND", plat::IntToStr(Command)}, {"MESSAGE", Message}});
}
bool TNapsterClient::GetDir(const std::string& ID, const std::string& Nick) {
  return Post(ID, "GET_DIR", {{"NICK", Nick}});
}
bool TNapsterClient::GetStats(const std::string& ID) { return Post(ID, "GET_STATS"); }
bool TNapsterClient::GetIgnoreList(const std::string& ID) { return Post(ID, "GET_IGNORE_LIST"); }
bool TNapsterClient::IgnoreAdd(const std::string& ID, const std::string& Nick) {
  return Post(ID, "IGNORE_ADD", {{"NICK", Nick}});
}
bool TNapsterClient::IgnoreRemove(const std::string& ID, const std::string& Nick) {
  return Post(ID, "IGNORE_REMOVE", {{"NICK", Nick}});
}
bool TNapsterClient::Join(const std::string& ID, const std::string& Channel) {
  return Post(ID, "JOIN", {{"CHANNEL", Channel}});
}
bool TNapsterClient::Part(const std::string& ID, const std::string& Channel) {
  return Post(ID, "PART", {{"CHANNEL", Channel}});
}
bool TNapsterClient::PubMsg(const std::string& ID, const std::string& Channel, const std::string& Message) {
  return Post(ID, "PUBMSG", {{"CHANNEL", Channel}, {"MESSAGE", Message}});
}
bool TNapsterClient::WhoIs(const std::string& ID, const std::string& Nick) {
  return Post(ID, "WHOIS", {{"NICK", Nick}});
}
bool TNapsterClient::GetChannelList(const std::string& ID) { return Post(ID, "GET_CHANNEL_LIST"); }
bool TNapsterClient::GetTopic(const std::string& ID, const std::string& Channel) {
  return Post(ID, "GET_TOPIC", {{"CHANNEL", Channel}});
}
bool TNapsterClient::SetUserLevel(const std::string& ID, const std::string& Nick, const std::string& Level) {
  return Post(ID, "SET_USER_LEVEL", {{"NICK", Nick}, {"LEVEL", Level}});
}
bool TNapsterClient::Kill(const std::string& ID, const std::string& Nick) { return Post(ID, "KILL", {{"NICK", Nick}}); }
bool TNapsterClient::NukeAdd(const std::string& ID, const std::string& Nick) {
  return Post(ID, "NUKE_ADD", {{"NICK", Nick}});
}
bool TNapsterClient::NukeRemove(const std::string& ID, const std::string& Nick) {
  return Post(ID, "NUKE_REMOVE", {{"NICK", Nick}});
}
bool TNapsterClient::GetChannelBanList(const std::string& ID, const std::string& Channel) {
  return Post(ID, "GET_CHANNEL_BAN_LIST", {{"CHANNEL", Channel}});
}
bool TNapsterClient::ChannelBanAdd(const std::string& ID, const std::string& Channel, const std::string& Nick) {
  return Post(ID, "CHANNEL_BAN_ADD", {{"CHANNEL", Channel}, {"DEST", Nick}});
}
bool TNapsterClient::ChannelBanRemove(const std::string& ID, const std::string& Channel, const std::string& Nick) {
  return Post(ID, "CHANNEL_BAN_REMOVE", {{"CHANNEL", Channel}, {"DEST", Nick}});
}
bool TNapsterClient::GetBanList(const std::string& ID) { return Post(ID, "GET_BAN_LIST"); }
bool TNapsterClient::BanAdd(const std::string& ID, const std::string& Dest, const std::string& Reason) {
  return Post(ID, "BAN_ADD", {{"DEST", Dest}, {"REASON", Reason}});
}
bool TNapsterClient::BanRemove(const std::string& ID, const std::string& Dest) {
  return Post(ID, "BAN_REMOVE", {{"DEST", Dest}});
}
bool TNapsterClient::GetMOTD(const std::string& ID) { return Post(ID, "GET_MOTD"); }
bool TNapsterClient::MuzzleAdd(const std::string& ID, const std::string& Nick, const std::string& Reason) {
  return Post(ID, "MUZZLE_ADD", {{"NICK", Nick}, {"REASON", Reason}});
}
bool TNapsterClient::MuzzleRemove(const std::string& ID, const std::string& Nick, const std::string& Reason) {
  return Post(ID, "MUZZLE_REMOVE", {{"NICK", Nick}, {"REASON", Reason}});
}
bool TNapsterClient::SetPassword(const std::string& ID, const std::string& Password) {
  return Post(ID, "SET_PASSWORD", {{"PASSWORD", Password}});
}
bool TNapsterClient::Emote(const std::string& ID, const std::string& Channel, const std::string& Message) {
  return Post(ID, "EMOTE", {{"CHANNEL", Channel}, {"MESSAGE", Message}});
}
bool TNapsterClient::Kick(const std::string& ID, const std::string& Nick, const std::string& Reason) {
  return Post(ID, "KICK", {{"NICK", Nick}, {"REASON", Reason}});
}
bool TNapsterClient::Kick(const std::string& ID, const std::string& Channel, const std::string& Nick,
                          const std::string& Reason) {
  return Post(ID, "KICK", {{"CHANNEL", Channel}, {"NICK", Nick}, {"REASON", Reason}});
}

bool TNapsterClient::SetPort(int Port) {
  if (dataListener_) {
    dataSockets_.CloseListener(dataListener_);
    dataListener_ = nullptr;
  }
  dataPort_ = 0;
  if (Port >= 0) {
    TEasySocket* listener = dataSockets_.Listen(Port);
    if (!listener) return false;
    dataListener_ = listener;
    dataPort_ = listener->LocalPort();
  }
  // Every session that takes it has the newest port; the others are told
  // once they have room.
  TellPort("");
  portUnsent_ = unsent_;
  return true;
}

bool TNapsterClient::Search(const std::string& ID, int MaxResults, const std::string& SongName,
                            const std::string& ArtistName, const std::string& FrequencyAction,
                            const std::string& FrequencyValue, const std::string& BitrateAction,
                            const std::string& BitrateValue, const std::string& LinkTypeAction,
                            const std::string& LinkTypeValue, const std::string& PingTimeAction,
                            const std::string& PingTimeValue) {
  const bool queued = Post(ID, "MP3_SEARCH",
                           {{"MAX_RESULTS", plat::IntToStr(MaxResults)},
                            {"SONG_NAME", SongName},
                            {"ARTIST_NAME", ArtistName},
                            {"FREQUENCY_ACTION", FrequencyAction},
                            {"FREQUENCY_VALUE", DigitsNumber(FrequencyValue)},
                            {"BITRATE_ACTION", BitrateAction},
                            {"BITRATE_VALUE", DigitsNumber(BitrateValue)},
                            {"LINK_TYPE_ACTION", LinkTypeAction},
                            {"LINK_TYPE_VALUE", LinkTypeValue},
                            {"PING_TIME_ACTION", PingTimeAction},
                            {"PING_TIME_VALUE", DigitsNumber(PingTimeValue)}});
  // Refused everywhere: no search started.
  if (!queued && queued_ == 0) return false;
  // A session still logging in sends the search once it is in; the wait
  // list ends a search that no session takes up.
  waitList_.Remove(kSearchEntry);
  waitList_.Add(nullptr, kSearchEntry);
  pendingSearches_ = 0;
  return queued;
}

bool TNapsterClient::SearchNonMp3(const std::string& ID, int MaxResults, const std::string& SongName,
                                  const std::string& LinkTypeAction, const std::string& LinkTypeValue,
                                  const std::string& PingTimeAction, const std::string& PingTimeValue) {
  return Search(ID, MaxResults, SongName, "", "EQUAL TO", plat::IntToStr(kNonMp3Frequency), "EQUAL TO",
         plat::IntToStr(kNonMp3Bitrate), LinkTypeAction, LinkTypeValue, PingTimeAction, PingTimeValue);
}

// ----------------------------------------------------------------- events

void TNapsterClient::FireFileItem(const TNapsterClientOnFileItem& event, const std::string& id,
                                  const TMessageItem& r) {
  const std::string request = r.GetValue("FILENAME");
  // A download of it knows its size (see the transfer thread's reply).
  NoteAnnouncedSize(id + r.GetValue("NICK") + request, DigitsToInt64(r.GetValue("SIZE")));
  if (!event) return;
  const int bitrate = r.GetInteger("BITRATE");
  const int frequency = r.GetInteger("FREQUENCY");
  bool isMp3 = true;
  std::string name = request;
  if (bitrate == kNonMp3Bitrate && frequency == kNonMp3Frequency) {
    isMp3 = false;
    if (!IsMp3Name(request)) name = DecodeNonMp3Name(request);
  }
  // Sizes of a billion bytes and more keep all their digits.
  event(this, id, name, request, r.GetValue("MD5"), r.GetValue("NICK"), r.GetValue("IP"),
        DigitsToInt64(r.GetValue("SIZE")), bitrate, frequency, r.GetInteger("SECONDS"), r.GetInteger("LINK_TYPE"),
        r.GetInteger("PING_TIME"), r.GetInteger("PORT"), r.GetInteger("BPS"), isMp3);
}

void TNapsterClient::EventReceived(const std::string& ID, const TMessageItem& r) {
  using Handler = void (*)(TNapsterClient& c, const std::string& id, const TMessageItem& r);
  static const std::map<std::string, Handler> table = {
      {"SEARCH_ITEM",
       [](TNapsterClient& c, const std::string& id, const TMessageItem& r) {
         c.FireFileItem(IsTrue(r, "IS_RESUME") ? c.OnResumeSearchItem : c.OnSearchItem, id, r);
       }},
      {"DIR_ITEM", [](TNapsterClient& c, const std::string& id, const TMessageItem& r) { c.FireFileItem(c.OnDirItem, id, r); }},
      {"PRIVMSG",
       [](TNapsterClient& c, const std::string& id, const TMessageItem& r) {
         c.Fire(c.OnPrivMsg, id, r.GetValue("NICK"), r.GetValue("MESSAGE"));
       }},
      {"404", [](TNapsterClient& c, const std::string& id, const TMessageItem& r) { c.Fire(c.On404, id, r.GetValue("MESSAGE")); }},
      {"SIGN_ON",
       [](TNapsterClient& c, const std::string& id, const TMessageItem& r) {
         c.Fire(c.OnSignOn, id, r.GetValue("NICK"), r.GetInteger("LINK_TYPE"));
       }},
      {"SIGN_OFF", [](TNapsterClient& c, const std::string& id, const TMessageItem& r) { c.Fire(c.OnSignOff, id, r.GetValue("NICK")); }},
      {"DIR_END", [](TNapsterClient& c, const std::string& id, const TMessageItem& r) { c.Fire(c.OnDirEnd, id, r.GetValue("NICK")); }},
      {"HOTLIST_ADD",
       [](TNapsterClient& c, const std::string& id, const TMessageItem& r) {
         c.Fire(c.OnHotListAdd, id, r.GetValue("NICK"), IsSuccess(r));
       }},
      {"STATS",
       [](TNapsterClient& c, const std::string& id, const TMessageItem& r) {
         c.Fire(c.OnServerStats, id, r.GetInteger("USERS"), r.GetInteger("FILES"), r.GetInteger("GB"));
       }},
      {"IGNORE_ITEM", [](TNapsterClient& c, const std::string& id, const TMessageItem& r) { c.Fire(c.OnIgnoreItem, id, r.GetValue("NICK")); }},
      {"IGNORE_LIST_END",
       [](TNapsterClient& c, const std::string& id, const TMessageItem& r) { c.Fire(c.OnIgnoreListEnd, id, r.GetInteger("COUNT")); }},
      {"IGNORE_ADD",
       [](TNapsterClient& c, const std::string& id, const TMessageItem& r) {
         c.Fire(c.OnIgnoreAdd, id, r.GetValue("NICK"), IsSuccess(r));
       }},
      {"IGNORE_REMOVE",
       [](TNapsterClient& c, const std::string& id, const TMessageItem& r) {
         c.Fire(c.OnIgnoreRemove, id, r.GetValue("NICK"), IsSuccess(r));
       }},
      {"IGNORE_LIST_CLEAR", [](TNapsterClient& c, const std::string& id, const TMessageItem&) { c.Fire(c.OnIgnoreListClear, id); }},
      {"JOIN",
       [](TNapsterClient& c, const std::string& id, const TMessageItem& r) {
         if (IsTrue(r, "IS_MINE"))
           c.Fire(c.OnMyJoin, id, r.GetValue("CHANNEL"), IsSuccess(r));
         else
           c.Fire(c.OnJoin, id, r.GetValue("NICK"), r.GetValue("CHANNEL"), r.GetInteger("FILES"), r.GetInteger("LINK_TYPE"));
       }},
      {"PART",
       [](TNapsterClient& c, const std::string& id, const TMessageItem& r) {
         if (IsTrue(r, "IS_MINE"))
           c.Fire(c.OnMyPart, id, r.GetValue("CHANNEL"));
         else
           c.Fire(c.OnPart, id, r.GetValue("NICK"), r.GetValue("CHANNEL"), r.GetInteger("FILES"), r.GetInteger("LINK_TYPE"));
       }},
      {"USER_ITEM",
       [](TNapsterClient& c, const std::string& id, const TMessageItem& r) {
         c.Fire(c.OnUserItem, id, r.GetValue("NICK"), r.GetValue("CHANNEL"), r.GetInteger("FILES"), r.GetInteger("LINK_TYPE"));
       }},
      {"USER_LIST_END", [](TNapsterClient& c, const std::string& id, const TMessageItem& r) { c.Fire(c.OnUserEnd, id, r.GetValue("CHANNEL")); }},
      {"CHANNEL_BAN_ITEM",
       [](TNapsterClient& c, const std::string& id, const TMessageItem& r) {
         c.Fire(c.OnChannelBanItem, id, r.GetValue("CHANNEL"), r.GetValue("DEST"));
       }},
      {"LINK_TYPE",
       [](TNapsterClient& c, const std::string& id, const TMessageItem& r) {
         c.Fire(c.OnLinkType, id, r.GetValue("NICK"), r.GetInteger("LINK_TYPE"));
       }},
      {"CHANNEL_LIST_ITEM",
       [](TNapsterClient& c, const std::string& id, const TMessageItem& r) {
         c.Fire(c.OnChannelItem, id, r.GetValue("CHANNEL"), r.GetValue("TOPIC"), r.GetInteger("USERS"));
       }},
      {"CHANNEL_LIST_END", [](TNapsterClient& c, const std::string& id, const TMessageItem&) { c.Fire(c.OnChannelEnd, id); }},
      {"BAN_ITEM",
       [](TNapsterClient& c, const std::string& id, const TMessageItem& r) {
         c.Fire(c.OnBanItem, id, r.GetValue("IP"), r.GetValue("NICK"), r.GetValue("REASON"));
       }},
      {"MOTD", [](TNapsterClient& c, const std::string& id, const TMessageItem& r) { c.Fire(c.OnMOTD, id, r.GetValue("MESSAGE")); }},
      {"GLOBAL_MESSAGE",
       [](TNapsterClient& c, const std::string& id, const TMessageItem& r) {
         c.Fire(c.OnGlobalMessage, id, r.GetValue("NICK"), r.GetValue("MESSAGE"));
       }},
      {"OPERATOR_MESSAGE",
       [](TNapsterClient& c, const std::string& id, const TMessageItem& r) {
         c.Fire(c.OnOperatorMessage, id, r.GetValue("NICK"), r.GetValue("MESSAGE"));
       }},
      {"PUBMSG",
       [](TNapsterClient& c, const std::string& id, const TMessageItem& r) {
         c.Fire(c.OnPubMsg, id, r.GetValue("NICK"), r.GetValue("CHANNEL"), r.GetValue("MESSAGE"));
       }},
      {"EMOTE",
       [](TNapsterClient& c, const std::string& id, const TMessageItem& r) {
         c.Fire(c.OnEmote, id, r.GetValue("CHANNEL"), r.GetValue("NICK"), r.GetValue("MESSAGE"));
       }},
      {"WHOIS",
       [](TNapsterClient& c, const std::string& id, const TMessageItem& r) {
         c.Fire(c.OnWhoIS, id, r.GetValue("NICK"), r.GetValue("CHANNELS"), r.GetValue("CLIENT_VERSION"),
                r.GetValue("USER_LEVEL"), r.GetInteger("SECONDS_ONLINE"), r.GetInteger("FILES"),
                r.GetInteger("DOWNLOADS"), r.GetInteger("UPLOADS"), r.GetInteger("LINK_TYPE"), r.GetValue("IP"));
       }},
      {"TOPIC",
       [](TNapsterClient& c, const std::string& id, const TMessageItem& r) {
         c.Fire(c.OnTopic, id, r.GetValue("CHANNEL"), r.GetValue("TOPIC"));
       }},
  };
  // SEARCH_END, WHOWAS, PING and PONG fire nothing here (a search's end
  // comes through the search-ended callback).
  auto it = table.find(Upper(r.GetValue("EVENT")));
  if (it != table.end()) it->second(*this, plat::UpperAscii(ID), r);
}

// ----------------------------------------------------------------- timer

void TNapsterClient::Tick() {
  // A handler running a nested message loop must not start another tick
  // while this one walks the lists.
  if (ticking_) return;
  ticking_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{ticking_};
  try {
    RetryRemotelyQueued();
    StartLocallyQueued();
    TimeOutOneDownload();
    TimeOutUploads();
    TimeOutStalled();
    SumRates(false);
    if (sharesChangeDropped_) SharesChanged();
    // Expired wait-list entries, last: taken off first, then reported, so
    // a handler may add fresh ones.
    std::vector<std::string> expired;
    for (int i = waitList_.Count() - 1; i >= 0; i--) {
      if (!waitList_.Expired(i)) continue;
      expired.insert(expired.begin(), waitList_.Keys(i));
      waitList_.Delete(i);
    }
    for (const std::string& key : expired) {
      if (plat::SameText(key, kSearchEntry)) Fire(OnSearchEnd);
      if (plat::SameText(key, kResumeEntry)) Fire(OnResumeSearchEnd);
    }
  } catch (...) {
    // A handler's failure stays out of the message loop.
  }
}

void ApplyMainWindowProperties(TNapsterClient& c) {
  c.MaxDownloadBPS = 0;
  c.MaxUploadBPS = 0;
  c.MaxUploads = 20;
  c.MaxUploadsPerNick = 20;
  c.MaxDownloads = 1;
  c.MaxResume = 0;
  c.EnableAutoResume = false;
  c.LinkType = 2;
  c.BuildNumber = 100;
  c.UploadTimeout = 500;
  c.DownloadTimeout = 500;
}
