#include "peer/napster/napster_client.h"

#include "core/file_find.h"

#include <algorithm>
#include <map>

#include <cmath>

#include "core/global_functions.h"
#include "core/mpeg.h"
#include "peer/napster/napster_helpers.h"
#include "platform/clock.h"
#include "platform/files.h"
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
// A remotely queued download is asked for again after this long.
constexpr int64_t kRemoteQueueRetryMs = 121 * 1000;
// The rate totals are summed at most this often.
constexpr int64_t kRateSumMs = 2000;

std::string Upper(std::string_view s) { return plat::UpperAscii(plat::Trim(s)); }
bool IsTrue(const TMessageItem& r, const char* key) { return Upper(r.GetValue(key)) == "TRUE"; }
bool IsSuccess(const TMessageItem& r) { return Upper(r.GetValue("STATUS")) == "SUCCESS"; }
// Digits of a text as a number, "0" when there are none.
std::string DigitsNumber(const std::string& s) { return plat::IntToStr(DigitsToInt64(s)); }

}  // namespace

// ----------------------------------------------------------------- life

TNapsterClient::TNapsterClient(void* /*owner*/) {
  waitList_.Timeout = kWaitListTimeout;
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
  // Each connection on the data port holds a thread: beyond the cap they
  // are closed at once.
  dataSockets_.OnAccept = [this](TEasyWinsock*, TEasySocket*, bool& accept) {
    if (dataSockets_.ThreadCount() >= MaxDataPortConnections) accept = false;
  };

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

void TNapsterClient::Post(const std::string& id, const char* verb,
                          std::initializer_list<std::pair<const char*, std::string>> fields) {
  TMessageItem r;
  r.SetValue("NAME", "NAPSTER_CLIENT");
  r.SetValue("ACTION", "METHOD");
  r.SetValue("METHOD", verb);
  r.SetValue("ID", id);
  for (const auto& [key, value] : fields) r.SetValue(key, value);
  pump_.Post(r);
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
  RemoveSession(i);
  Fire(OnFinish, id);
}

void TNapsterClient::Disconnect(const std::string& ID) {
  for (size_t i = 0; i < sessionIds_.size(); i++) {
    TEasySocket* s = sessionConnections_[i];
    // A session between a redirector and its server has no connection.
    if (!s || !plat::SameText(sessionIds_[i], ID)) continue;
    s->SetValue("REDIRECT", "FALSE");
    sessionSockets_.Cancel(s);
    return;
  }
}

void TNapsterClient::DisconnectAll() {
  for (TEasySocket* s : sessionConnections_)
    if (s) s->SetValue("REDIRECT", "FALSE");
  sessionSockets_.CloseAll();
}

void TNapsterClient::Redirected(const std::string& id, const std::string& host, int port) {
  int i = SessionIndex(id);
  if (i < 0) return;
  if (TEasySocket* s = sessionConnections_[size_t(i)]) s->SetValue("REDIRECT_FOUND", "TRUE");
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
    if (d && !d->Socket) ConnectTransfer(d, offer.IP, offer.Port, "DOWNLOAD", "0", "");
  };
  cb.OnStartPushUpload = [this](Sender, Id id, const TNapsterTransferOffer& offer) {
    TNapsterClientData* u = FindUpload(id + offer.Nick + offer.FileName);
    if (u && !u->Socket) ConnectTransfer(u, offer.IP, offer.Port, "UPLOAD", offer.LinkType, offer.MD5);
  };
}

// ----------------------------------------------------------------- requests

void TNapsterClient::HotlistAdd(const std::string& ID, const std::string& Nick) { Post(ID, "HOTLIST_ADD", {{"NICK", Nick}}); }
void TNapsterClient::HotlistRemove(const std::string& ID, const std::string& Nick) {
  Post(ID, "HOTLIST_REMOVE", {{"NICK", Nick}});
}
void TNapsterClient::PrivMsg(const std::string& ID, const std::string& Nick, const std::string& Message) {
  Post(ID, "PRIVMSG", {{"NICK", Nick}, {"MESSAGE", Message}});
}
void TNapsterClient::GlobalMsg(const std::string& ID, const std::string& Message) {
  Post(ID, "GLOBALMSG", {{"MESSAGE", Message}});
}
void TNapsterClient::OperatorMsg(const std::string& ID, const std::string& Message) {
  Post(ID, "OPERATORMSG", {{"MESSAGE", Message}});
}
void TNapsterClient::RawCommand(const std::string& ID, int Command, const std::string& Message) {
  Post(ID, "RAWCOMMAND", {{"COMMAND", plat::IntToStr(Command)}, {"MESSAGE", Message}});
}
void TNapsterClient::GetDir(const std::string& ID, const std::string& Nick) { Post(ID, "GET_DIR", {{"NICK", Nick}}); }
void TNapsterClient::GetStats(const std::string& ID) { Post(ID, "GET_STATS"); }
void TNapsterClient::GetIgnoreList(const std::string& ID) { Post(ID, "GET_IGNORE_LIST"); }
void TNapsterClient::IgnoreAdd(const std::string& ID, const std::string& Nick) { Post(ID, "IGNORE_ADD", {{"NICK", Nick}}); }
void TNapsterClient::IgnoreRemove(const std::string& ID, const std::string& Nick) {
  Post(ID, "IGNORE_REMOVE", {{"NICK", Nick}});
}
void TNapsterClient::Join(const std::string& ID, const std::string& Channel) { Post(ID, "JOIN", {{"CHANNEL", Channel}}); }
void TNapsterClient::Part(const std::string& ID, const std::string& Channel) { Post(ID, "PART", {{"CHANNEL", Channel}}); }
void TNapsterClient::PubMsg(const std::string& ID, const std::string& Channel, const std::string& Message) {
  Post(ID, "PUBMSG", {{"CHANNEL", Channel}, {"MESSAGE", Message}});
}
void TNapsterClient::WhoIs(const std::string& ID, const std::string& Nick) { Post(ID, "WHOIS", {{"NICK", Nick}}); }
void TNapsterClient::GetChannelList(const std::string& ID) { Post(ID, "GET_CHANNEL_LIST"); }
void TNapsterClient::GetTopic(const std::string& ID, const std::string& Channel) {
  Post(ID, "GET_TOPIC", {{"CHANNEL", Channel}});
}
void TNapsterClient::SetUserLevel(const std::string& ID, const std::string& Nick, const std::string& Level) {
  Post(ID, "SET_USER_LEVEL", {{"NICK", Nick}, {"LEVEL", Level}});
}
void TNapsterClient::Kill(const std::string& ID, const std::string& Nick) { Post(ID, "KILL", {{"NICK", Nick}}); }
void TNapsterClient::NukeAdd(const std::string& ID, const std::string& Nick) { Post(ID, "NUKE_ADD", {{"NICK", Nick}}); }
void TNapsterClient::NukeRemove(const std::string& ID, const std::string& Nick) {
  Post(ID, "NUKE_REMOVE", {{"NICK", Nick}});
}
void TNapsterClient::GetChannelBanList(const std::string& ID, const std::string& Channel) {
  Post(ID, "GET_CHANNEL_BAN_LIST", {{"CHANNEL", Channel}});
}
void TNapsterClient::ChannelBanAdd(const std::string& ID, const std::string& Channel, const std::string& Nick) {
  Post(ID, "CHANNEL_BAN_ADD", {{"CHANNEL", Channel}, {"DEST", Nick}});
}
void TNapsterClient::ChannelBanRemove(const std::string& ID, const std::string& Channel, const std::string& Nick) {
  Post(ID, "CHANNEL_BAN_REMOVE", {{"CHANNEL", Channel}, {"DEST", Nick}});
}
void TNapsterClient::GetBanList(const std::string& ID) { Post(ID, "GET_BAN_LIST"); }
void TNapsterClient::BanAdd(const std::string& ID, const std::string& Dest, const std::string& Reason) {
  Post(ID, "BAN_ADD", {{"DEST", Dest}, {"REASON", Reason}});
}
void TNapsterClient::BanRemove(const std::string& ID, const std::string& Dest) { Post(ID, "BAN_REMOVE", {{"DEST", Dest}}); }
void TNapsterClient::GetMOTD(const std::string& ID) { Post(ID, "GET_MOTD"); }
void TNapsterClient::MuzzleAdd(const std::string& ID, const std::string& Nick, const std::string& Reason) {
  Post(ID, "MUZZLE_ADD", {{"NICK", Nick}, {"REASON", Reason}});
}
void TNapsterClient::MuzzleRemove(const std::string& ID, const std::string& Nick, const std::string& Reason) {
  Post(ID, "MUZZLE_REMOVE", {{"NICK", Nick}, {"REASON", Reason}});
}
void TNapsterClient::SetPassword(const std::string& ID, const std::string& Password) {
  Post(ID, "SET_PASSWORD", {{"PASSWORD", Password}});
}
void TNapsterClient::Emote(const std::string& ID, const std::string& Channel, const std::string& Message) {
  Post(ID, "EMOTE", {{"CHANNEL", Channel}, {"MESSAGE", Message}});
}
void TNapsterClient::Kick(const std::string& ID, const std::string& Nick, const std::string& Reason) {
  Post(ID, "KICK", {{"NICK", Nick}, {"REASON", Reason}});
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
  Post("", "SET_PORT", {{"PORT", plat::IntToStr(dataPort_)}});
  return true;
}

void TNapsterClient::Search(const std::string& ID, int MaxResults, const std::string& SongName,
                            const std::string& ArtistName, const std::string& FrequencyAction,
                            const std::string& FrequencyValue, const std::string& BitrateAction,
                            const std::string& BitrateValue, const std::string& LinkTypeAction,
                            const std::string& LinkTypeValue, const std::string& PingTimeAction,
                            const std::string& PingTimeValue) {
  Post(ID, "MP3_SEARCH",
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
  waitList_.Remove(kSearchEntry);
  pendingSearches_ = 0;
  const int64_t serial = ++searchSerial_;
  if (ID.empty() ? loggedIn_.empty() : !IsLoggedIn(ID)) {
    // No session will answer: the search ends at once (after the caller's
    // own work, from the message loop), unless another one began.
    window_.Post([this, serial] {
      if (serial == searchSerial_) Fire(OnSearchEnd);
    });
    return;
  }
  waitList_.Add(nullptr, kSearchEntry);
}

void TNapsterClient::SearchNonMp3(const std::string& ID, int MaxResults, const std::string& SongName,
                                  const std::string& LinkTypeAction, const std::string& LinkTypeValue,
                                  const std::string& PingTimeAction, const std::string& PingTimeValue) {
  Search(ID, MaxResults, SongName, "", "EQUAL TO", plat::IntToStr(kNonMp3Frequency), "EQUAL TO",
         plat::IntToStr(kNonMp3Bitrate), LinkTypeAction, LinkTypeValue, PingTimeAction, PingTimeValue);
}

// ----------------------------------------------------------------- events

void TNapsterClient::FireFileItem(const TNapsterClientOnFileItem& event, const std::string& id,
                                  const TMessageItem& r) {
  if (!event) return;
  const std::string request = r.GetValue("FILENAME");
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
    // Expired wait-list entries: taken off first, then reported, so a
    // handler may add fresh ones.
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
    RetryRemotelyQueued();
    StartLocallyQueued();
    TimeOutOneDownload();
    TimeOutUploads();
    TimeOutStalled();
    SumRates(false);
  } catch (...) {
    // A handler's failure stays out of the message loop.
  }
}

std::vector<TNapsterClientData*> TNapsterClient::Snapshot(
    const std::vector<std::unique_ptr<TNapsterClientData>>& list) {
  std::vector<TNapsterClientData*> out;
  for (const auto& d : list) out.push_back(d.get());
  return out;
}

bool TNapsterClient::IsActive(const TNapsterClientData* data, bool download) const {
  for (const auto& d : download ? downloads_ : uploads_)
    if (d.get() == data) return true;
  return false;
}

void TNapsterClient::RetryRemotelyQueued() {
  for (TNapsterClientData* d : Snapshot(downloads_)) {
    if (!IsActive(d, true) || !d->RemoteQueued) continue;
    if (plat::MonotonicMs() - d->StartTick < kRemoteQueueRetryMs) continue;
    Fire(OnDownloadQueued, *d);
    if (!IsActive(d, true)) continue;
    d->RemoteQueued = false;
    d->StartTime = SecondsOfDay();
    d->StartTick = plat::MonotonicMs();
    RequestDownload(d);
  }
}

void TNapsterClient::StartLocallyQueued() {
  if (localQueue_.empty() || int(downloads_.size()) >= MaxDownloads) return;
  std::unique_ptr<TNapsterClientData> d = std::move(localQueue_.front());
  localQueue_.erase(localQueue_.begin());
  d->StartTime = SecondsOfDay();
  d->StartTick = plat::MonotonicMs();
  TNapsterClientData* raw = d.get();
  downloads_.push_back(std::move(d));
  StartDownload(raw);
}

void TNapsterClient::TimeOutOneDownload() {
  const int64_t limit = int64_t(DownloadTimeout) * 1000;
  for (const auto& d : downloads_) {
    if (d->Connected || d->RemoteQueued || plat::MonotonicMs() - d->StartTick <= limit) continue;
    TNapsterClientData* raw = d.get();
    Fire(OnDownloadTimeout, *raw);
    if (IsActive(raw, true)) RemoveTransfer(*raw, true);  // it may resume
    return;
  }
}

void TNapsterClient::TimeOutUploads() {
  const int64_t limit = int64_t(UploadTimeout) * 1000;
  for (TNapsterClientData* u : Snapshot(uploads_)) {
    if (!IsActive(u, false) || u->Connected || plat::MonotonicMs() - u->StartTick <= limit) continue;
    Fire(OnUploadTimeout, *u);
    if (IsActive(u, false)) RemoveTransfer(*u, false);
  }
}

void TNapsterClient::TimeOutStalled() {
  for (bool download : {true, false}) {
    const int64_t limit = int64_t(download ? DownloadTimeout : UploadTimeout) * 1000;
    if (limit <= 0) continue;
    for (TNapsterClientData* d : Snapshot(download ? downloads_ : uploads_)) {
      if (!IsActive(d, download) || !d->Connected || d->RemoteQueued) continue;
      if (plat::MonotonicMs() - d->ProgressTick <= limit) continue;
      Fire(download ? OnDownloadTimeout : OnUploadTimeout, *d);
      // Its slot is free again; a download may resume.
      if (IsActive(d, download)) RemoveTransfer(*d, download);
    }
  }
}

void TNapsterClient::SumRates(bool now) {
  const int64_t t = plat::MonotonicMs();
  if (!now && t - ratesSummedAt_ < kRateSumMs) return;
  int64_t down = 0, up = 0;
  for (const auto& d : downloads_) down += d->BytesPerSecond;
  for (const auto& u : uploads_) up += u->BytesPerSecond;
  downloadRate_ = down;
  uploadRate_ = up;
  ratesSummedAt_ = t;
}

// ----------------------------------------------------------------- transfers

TNapsterClientData* TNapsterClient::FindDownload(const std::string& key) const {
  for (const auto& d : downloads_)
    if (plat::SameText(d->Key, key)) return d.get();
  return nullptr;
}

TNapsterClientData* TNapsterClient::FindTransfer(const std::string& Key) const {
  for (const auto& q : localQueue_)
    if (plat::SameText(q->Key, Key)) return q.get();
  if (TNapsterClientData* d = FindDownload(Key)) return d;
  return FindUpload(Key);
}

TNapsterClientData* TNapsterClient::FindUpload(const std::string& key) const {
  for (const auto& u : uploads_)
    if (plat::SameText(u->Key, key)) return u.get();
  return nullptr;
}

TNapsterClientData* TNapsterClient::FindByNickAndFile(bool downloads, const std::string& nick,
                                                      const std::string& file) const {
  for (const auto& d : downloads ? downloads_ : uploads_)
    if (plat::SameText(d->Nick, nick) && plat::SameText(d->RemoteFile, file)) return d.get();
  return nullptr;
}

TNapsterClientData* TNapsterClient::DataOf(const TEasySocket* socket) const {
  for (const Connection& c : connections_)
    if (c.Socket == socket) return c.Data;
  return nullptr;
}

void TNapsterClient::FireData(const TNapsterClientDataOnAction& download, const TNapsterClientDataOnAction& upload,
                              TNapsterClientData& data) {
  Fire(data.IsDownload ? download : upload, data);
}

bool TNapsterClient::Download(const std::string& ID, const std::string& Nick, const std::string& RemoteFileName,
                              const std::string& LocalFileName, bool Resume, int ResumeCount,
                              const std::string& GnutellaHost, int GnutellaPort, bool IsGnutella,
                              const std::string& Index) {
  int session = SessionIndex(ID);
  if (session < 0) return false;
  const std::string key = ID + Nick + RemoteFileName;
  // One record per file and peer: a second request for it changes nothing.
  if (FindDownload(key)) return true;
  for (const auto& q : localQueue_)
    if (plat::SameText(q->Key, key)) return true;
  auto d = std::make_unique<TNapsterClientData>();
  d->IsDownload = true;
  d->StartTime = SecondsOfDay();
  d->StartTick = plat::MonotonicMs();
  d->ID = ID;
  d->Nick = Nick;
  d->RemoteFile = RemoteFileName;
  d->LocalFile = LocalFileName;
  d->Resume = Resume;
  d->ResumeCount = ResumeCount;
  d->GnutellaHost = GnutellaHost;
  d->GnutellaPort = GnutellaPort;
  d->IsGnutella = IsGnutella;
  d->Index = Index;
  d->Key = key;
  d->MyNick = sessionNicks_[size_t(session)];
  d->IsMP3 = IsMp3Name(RemoteFileName);
  d->FileName = d->IsMP3 ? RemoteFileName : DecodeNonMp3Name(RemoteFileName);
  TNapsterClientData* raw = d.get();
  if (int(downloads_.size()) >= MaxDownloads) {
    // It waits for a free slot; the server hears of it only when it is
    // actually requested.
    localQueue_.push_back(std::move(d));
    Fire(OnDownloadStart, *raw);
    for (const auto& q : localQueue_)
      if (q.get() == raw) {
        Fire(OnDownloadLocalQueued, *raw);
        break;
      }
    return true;
  }
  downloads_.push_back(std::move(d));
  StartDownload(raw);
  return true;
}

void TNapsterClient::StartDownload(TNapsterClientData* data) {
  Post(data->ID, "INDICATE_DOWNLOAD_START");
  const std::string key = data->Key;
  Fire(OnDownloadStart, *data);
  // A handler may have removed it.
  if (FindDownload(key) != data) return;
  if (data->ResumeCount >= 1) {
    Fire(OnDownloadAutoResume, *data);
    if (FindDownload(key) != data) return;
  }
  RequestDownload(data);
}

void TNapsterClient::RequestDownload(TNapsterClientData* data) {
  if (data->GnutellaPort > 0) {
    ConnectTransfer(data, data->GnutellaHost, data->GnutellaPort,
                    data->IsGnutella ? "DOWNLOAD_GNUTELLA" : "DOWNLOAD", "0", "");
    return;
  }
  Post(data->ID, "DOWNLOAD",
       {{"NICK", data->Nick}, {"REMOTE_FILENAME", data->RemoteFile}, {"LOCAL_FILENAME", data->LocalFile}});
}

void TNapsterClient::ConnectTransfer(TNapsterClientData* data, const std::string& host, int port,
                                     const std::string& kind, const std::string& speed, const std::string& md5) {
  TEasySocket* s = nullptr;
  try {
    s = transferSockets_.Connect(host, port);
  } catch (const std::exception&) {
    return;  // the transfer waits for its time-out
  }
  s->SetValue("KIND", kind);
  s->SetValue("ID", data->Key);
  s->SetValue("SERVER_ID", data->ID);
  s->SetValue("REQUEST_FILENAME", data->RemoteFile);
  s->SetValue("REMOTE_FILENAME", data->RemoteFile);
  s->SetValue("LOCAL_FILENAME", data->LocalFile);
  s->SetValue("NICK", data->Nick);
  s->SetValue("MY_NICK", data->MyNick);
  s->SetValue("SPEED", speed);
  s->SetValue("MD5", md5);
  if (data->IsDownload) s->SetValue("INDEX", data->Index);
  s->SetValue("IS_MP3", data->IsMP3 ? "TRUE" : "FALSE");
  connections_.push_back({s, data});
  data->Socket = s;
  data->Connected = true;
  data->ProgressTick = plat::MonotonicMs();
}

void TNapsterClient::ForgetConnection(TNapsterClientData* data) {
  std::erase_if(connections_, [data](const Connection& c) { return c.Data == data; });
  data->Socket = nullptr;
  data->Connected = false;
}

std::unique_ptr<TNapsterClientData> TNapsterClient::TakeTransfer(TNapsterClientData* data) {
  std::unique_ptr<TNapsterClientData> held;
  for (auto* list : {&downloads_, &uploads_}) {
    for (auto it = list->begin(); it != list->end(); ++it) {
      if (it->get() != data) continue;
      held = std::move(*it);
      list->erase(it);
      break;
    }
  }
  if (!held) return held;
  TEasySocket* socket = data->Socket;
  ForgetConnection(data);
  if (socket) {
    transferSockets_.Cancel(socket);
    dataSockets_.Cancel(socket);
  }
  if (!held->IsDownload) {
    uploadTotal_ = std::max(0, uploadTotal_ - 1);
    const std::string who = held->ID + held->Nick;
    for (auto it = uploadsPerNick_.begin(); it != uploadsPerNick_.end(); ++it) {
      if (!plat::SameText(it->first, who)) continue;
      if (--it->second <= 0) uploadsPerNick_.erase(it);
      break;
    }
  }
  return held;
}

void TNapsterClient::FinishTransfer(TNapsterClientData& data) {
  if (data.IsDownload) {
    // The server heard of the attempt's end when it was taken off; only a
    // whole file joins the shared files.
    if (data.Complete) ShareFile(data.LocalFile, false);
    Fire(OnDownloadFinish, data);
  } else {
    Post(data.ID, "INDICATE_UPLOAD_FINISH");
    Fire(OnUploadFinish, data);
  }
}

void TNapsterClient::RemoveTransfer(TNapsterClientData& Data, bool Incomplete) {
  for (auto it = localQueue_.begin(); it != localQueue_.end(); ++it) {
    if (it->get() != &Data) continue;
    // Never requested: the server was not told of it, so nothing is sent.
    localQueue_.erase(it);
    return;
  }
  std::unique_ptr<TNapsterClientData> held = TakeTransfer(&Data);
  if (!held) return;
  // Exactly one 219 per requested attempt, whether it resumes or not.
  if (held->IsDownload) Post(held->ID, "INDICATE_DOWNLOAD_FINISH");
  if (held->IsDownload && Incomplete && EnableAutoResume && held->ResumeCount < MaxResume &&
      Download(held->ID, held->Nick, held->RemoteFile, held->LocalFile, true, held->ResumeCount + 1,
               held->GnutellaHost, held->GnutellaPort, held->IsGnutella, held->Index))
    return;
  FinishTransfer(*held);
  if (!held->IsDownload) SumRates(true);
}

void TNapsterClient::RemoveAllDownloads() {
  while (!localQueue_.empty()) RemoveTransfer(*localQueue_.front(), false);
  while (!downloads_.empty()) RemoveTransfer(*downloads_.front(), false);
}

void TNapsterClient::RemoveAllUploads() {
  while (!uploads_.empty()) RemoveTransfer(*uploads_.front(), false);
}

void TNapsterClient::UploadPolicy(const std::string& id, const std::string& nick, const std::string& file,
                                  bool& queued, bool& accept) {
  int count = 0;
  for (const auto& [who, n] : uploadsPerNick_)
    if (plat::SameText(who, id + nick)) count = n;
  if (count >= MaxUploadsPerNick || uploadTotal_ >= MaxUploads) {
    queued = true;
    accept = true;
    return;
  }
  std::string local;
  {
    plat::Locked<plat::CriticalSection> hold(shareLock_);
    // The announced name or the local path; whatever matches, the file
    // served is the entry's own path, never one built from the peer's text.
    shares_.Find(file, &local);
  }
  if (local.empty()) {
    queued = false;
    accept = false;
    return;
  }
  uploadTotal_++;
  bool counted = false;
  for (auto& [who, n] : uploadsPerNick_)
    if (!counted && plat::SameText(who, id + nick)) n++, counted = true;
  if (!counted) uploadsPerNick_.emplace_back(id + nick, 1);
  Post(id, "INDICATE_UPLOAD_START");
  auto u = std::make_unique<TNapsterClientData>();
  u->IsDownload = false;
  u->StartTime = SecondsOfDay();
  u->StartTick = plat::MonotonicMs();
  u->RemoteFile = file;
  u->IsMP3 = IsMp3Name(file);
  u->FileName = u->IsMP3 ? file : DecodeNonMp3Name(file);
  u->LocalFile = local;
  u->Nick = nick;
  u->ID = id;
  u->Key = id + nick + file;
  int session = SessionIndex(id);
  if (session >= 0) u->MyNick = sessionNicks_[size_t(session)];
  TNapsterClientData* raw = u.get();
  uploads_.push_back(std::move(u));
  accept = true;
  queued = false;
  Fire(OnUploadStart, *raw);
}

void TNapsterClient::UploadDecision(TEasySocket* socket, TNapsterDataDecision& d) {
  d.Invalid = true;
  d.Allowed = false;
  TNapsterClientData* u = FindByNickAndFile(false, d.Nick, d.RequestFileName);
  if (!u) {
    bool queued = false;
    bool accept = false;
    UploadPolicy(d.ID, d.Nick, d.RequestFileName, queued, accept);
    d.Queued = queued;
    d.Invalid = accept;
    u = FindByNickAndFile(false, d.Nick, d.RequestFileName);
  }
  if (!u || d.Queued || u->Socket) {
    d.Allowed = false;
    return;
  }
  ConnectIncoming(socket, u, d);
}

void TNapsterClient::PushDecision(TEasySocket* socket, TNapsterDataDecision& d) {
  d.Allowed = false;
  TNapsterClientData* dl = FindByNickAndFile(true, d.Nick, d.RequestFileName);
  if (!dl || dl->Socket) return;
  ConnectIncoming(socket, dl, d);
}

bool TNapsterClient::ConnectIncoming(TEasySocket* socket, TNapsterClientData* data, TNapsterDataDecision& d) {
  connections_.push_back({socket, data});
  data->Socket = socket;
  data->Connected = true;
  data->ProgressTick = plat::MonotonicMs();
  d.ID = data->Key;
  d.IsMP3 = data->IsMP3;
  d.LocalFileName = data->LocalFile;
  d.RemoteFileName = data->RemoteFile;
  // Now that the connection's transfer is known it has connected; a
  // handler that removes the transfer refuses the connection.
  const bool download = data->IsDownload;
  FireData(OnDownloadConnect, OnUploadConnect, *data);
  d.Allowed = IsActive(data, download) && data->Socket == socket;
  return d.Allowed;
}

void TNapsterClient::WireTransfer(TNapsterDataThread& t) {
  t.MaxDownloadBPS = MaxDownloadBPS;
  t.MaxUploadBPS = MaxUploadBPS;
  t.RequestTimeOut = DataPortRequestTimeOut;
  t.OnUploadDecision = [this](TNapsterDataThread&, TEasySocket* s, TNapsterDataDecision& d) { UploadDecision(s, d); };
  t.OnPushDecision = [this](TNapsterDataThread&, TEasySocket* s, TNapsterDataDecision& d) { PushDecision(s, d); };
  t.OnStatistics = [this](TNapsterDataThread&, TEasySocket* s, const TTransferStatistics& st) {
    TNapsterClientData* d = DataOf(s);
    if (!d) return;
    if (st.Position != d->Position) d->ProgressTick = plat::MonotonicMs();
    d->TimeLeft = st.TimeLeft;
    d->Percent = st.Percent;
    d->FileSize = st.FileSize;
    d->Position = st.Position;
    d->BytesPerSecond = st.Rate;
    if (d->IsDownload) d->ResumeCount = 0;
    FireData(OnDownloadStats, OnUploadStats, *d);
  };
  t.OnIncomplete = [this](TNapsterDataThread&, TEasySocket* s) {
    if (TNapsterClientData* d = DataOf(s)) FireData(OnDownloadIncomplete, OnUploadIncomplete, *d);
  };
  t.OnComplete = [this](TNapsterDataThread& thread, TEasySocket* s) {
    TNapsterClientData* d = DataOf(s);
    if (!d) return;
    d->Complete = true;
    d->Position = thread.Position;
    d->FileSize = thread.FileSize;
    if (!d->IsDownload) return;
    const std::string local = d->LocalFile;
    ShareFile(local, false);
    FireAddFile(local);
  };
  t.OnError = [this](TNapsterDataThread&, TEasySocket* s, TNapsterDataErrorType kind) {
    TNapsterClientData* d = DataOf(s);
    if (!d) return;
    Fire(d->IsDownload ? OnDownloadError : OnUploadError, *d, kind);
  };
  t.OnRemotelyQueued = [this](TNapsterDataThread& thread, const std::string& serverID, const std::string& nick,
                              const std::string& file, int64_t, int) {
    TNapsterClientData* d = DataOf(thread.Socket());
    if (!d) d = FindDownload(serverID + nick + file);
    if (!d) return;
    d->RemoteQueued = true;
    Fire(OnDownloadQueued, *d);
  };
}

void TNapsterClient::WireTransferSockets(TEasyWinsock& sockets) {
  sockets.OnGetThread = [this](TEasyWinsock*, TEasyWinsockThread*& thread) {
    auto* t = new TNapsterDataThread();
    WireTransfer(*t);
    thread = t;
  };
  sockets.OnConnect = [this](TEasyWinsock*, TEasySocket* s) {
    if (TNapsterClientData* d = DataOf(s)) FireData(OnDownloadConnect, OnUploadConnect, *d);
  };
  sockets.OnWinsockError = [this](TEasyWinsock*, TEasySocket* s, int number, const std::string& text) {
    TNapsterClientData* d = DataOf(s);
    if (d) Fire(d->IsDownload ? OnDownloadWinsockError : OnUploadWinsockError, *d, number, text);
  };
  sockets.OnStreamCreateError = [this](TEasyWinsock*, TEasySocket* s) {
    if (TNapsterClientData* d = DataOf(s)) FireData(OnDownloadFileCreateError, OnUploadFileOpenError, *d);
  };
  sockets.OnStreamWriteError = [this](TEasyWinsock*, TEasySocket* s) {
    TNapsterClientData* d = DataOf(s);
    if (d && d->IsDownload) Fire(OnDownloadFileWriteError, *d);
  };
  sockets.OnStreamReadError = [this](TEasyWinsock*, TEasySocket* s) {
    TNapsterClientData* d = DataOf(s);
    if (d && !d->IsDownload) Fire(OnUploadFileReadError, *d);
  };
  sockets.OnFinish = [this](TEasyWinsock*, TEasySocket* s) { TransferFinished(s); };
}

void TNapsterClient::TransferFinished(TEasySocket* socket) {
  TNapsterClientData* d = DataOf(socket);
  if (!d) return;
  if (d->IsDownload && d->RemoteQueued) {
    // It waits for its retry; the connection is gone.
    ForgetConnection(d);
    return;
  }
  RemoveTransfer(*d, !d->Complete);
}

// ----------------------------------------------------------------- shares

namespace {

// A file other than MP3 is announced with figures that mark it as such and
// a name that carries its real one (TSharedFileList makes the name).
// Whether a path lies in one of the folders (a substring test).
bool InFolderList(const std::vector<std::string>& folders, std::string_view path) {
  return std::any_of(folders.begin(), folders.end(),
                     [&](const std::string& f) { return !f.empty() && path.find(f) != std::string_view::npos; });
}

void Disguise(TSharedFileList::Entry& e) {
  e.IsMP3 = false;
  e.Bitrate = kNonMp3Bitrate;
  e.Frequency = kNonMp3Frequency;
  e.Seconds = kNonMp3Seconds;
}

}  // namespace

int TNapsterClient::SharedCount() const {
  plat::Locked<plat::CriticalSection> hold(shareLock_);
  return shares_.Count();
}

void TNapsterClient::ShareFile(const std::string& FileName, bool Mark) {
  if (!plat::FileExists(FileName)) return;
  SharedEntry e;
  e.State = Mark ? 2 : 1;
  e.Path = FileName;
  e.Size = plat::FileSize(FileName);
  if (plat::UpperAscii(plat::ExtractFileExt(FileName)) == ".MP3") {
    TMPEGaudio mpeg;
    if (e.Size <= 0 || !mpeg.ReadFromFile(FileName) || !mpeg.Valid()) return;
    e.IsMP3 = true;
    e.Bitrate = mpeg.BitRate();
    e.Frequency = mpeg.SampleRate();
    e.Seconds = int(std::nearbyint(mpeg.Duration()));
  } else {
    if (e.Size <= 0) return;
    Disguise(e);
  }
  AddShare(e);
}

bool TNapsterClient::AddShare(const SharedEntry& e) {
  {
    plat::Locked<plat::CriticalSection> hold(shareLock_);
    if (!shares_.Add(e)) return false;  // listed already
  }
  SharesChanged();
  return true;
}

void TNapsterClient::SharesChanged() {
  // One record stands for any number of changes: each session brings the
  // server's list in line with the component's when it takes it, so a
  // burst never fills the sessions' queues and nothing is lost.
  if (!sharesChangePosted_.exchange(true)) Post("", "SHARES_CHANGED");
}

// Taken off under the lock; announced and reported after it, so that a
// handler never runs while the sessions wait for the list.
void TNapsterClient::Withdrawn(const std::vector<TMPEGInfo>& gone) {
  if (gone.empty()) return;
  SharesChanged();
  for (const TMPEGInfo& info : gone) Fire(OnRemoveFile, info.FileName);
}

void TNapsterClient::UnshareFile(const std::string& FileName) {
  std::vector<TMPEGInfo> gone(1);
  {
    plat::Locked<plat::CriticalSection> hold(shareLock_);
    // Files shared by a scan stay.
    if (!shares_.Withdraw(FileName, 2, &gone[0])) gone.clear();
  }
  Withdrawn(gone);
}

void TNapsterClient::ClearSharedFiles() {
  std::vector<TMPEGInfo> gone;
  {
    plat::Locked<plat::CriticalSection> hold(shareLock_);
    gone = shares_.WithdrawAll([](std::string_view, uint8_t) { return true; });
  }
  Withdrawn(gone);
}

// ----------------------------------------------------------------- scans

void TNapsterClient::ScanAllDrives(const std::string& Mask) {
  ClearSharedFiles();
  StartScan(Mask);
}

void TNapsterClient::ScanFolders(const std::string& Mask, bool /*Recursive: the share tree decides*/) {
  // What the scan lists again goes first: the files it found in the folder
  // list. A finished download elsewhere (listed in the same state) is no
  // scan's to withdraw and stays shared.
  std::vector<TMPEGInfo> gone;
  {
    plat::Locked<plat::CriticalSection> hold(shareLock_);
    gone = shares_.WithdrawAll(
        [this](std::string_view path, uint8_t state) { return state == 1 && InFolderList(folders_, path); });
  }
  Withdrawn(gone);
  StartScan(Mask);
}

void TNapsterClient::StopScan() {
  if (finder_) finder_->Stop();
}

void TNapsterClient::StartScan(const std::string& mask) {
  scanMask_ = mask;
  {
    plat::Locked<plat::CriticalSection> hold(shareLock_);
    scanSeen_.clear();
    shares_.ClearSeen();
  }
  if (!ShareManager) {
    Fire(OnScanFinished);
    return;
  }
  if (!finder_) {
    finder_ = std::make_unique<TFileFind>(ShareManager);
    finder_->OnSearchItem = [this](TFileFind*, const std::string& run, const std::string& path) {
      ScanItemFound(run, path);
    };
    // The end of a run reaches the handlers on the main thread.
    finder_->OnSearchEnd = [this](TFileFind*, const std::string& run) {
      {
        plat::Locked<plat::CriticalSection> hold(shareLock_);
        scanPrepared_.erase(run);  // what a stopped run found and never reported
        shares_.Trim();
      }
      Fire(OnScanFinished);
    };
  }
  // The folder list as it is now: the scanner's thread reads this copy.
  std::vector<std::string> folders = folders_;
  finder_->OnThreadSearchItem = [this, folders](TFileFindThread* run, const std::string&, const std::string& path,
                                                bool isMP3, int bitrate, int frequency, int seconds, uint32_t size) {
    SharedEntry e;
    e.State = InFolderList(folders, path) ? 1 : 2;
    e.Path = path;
    e.Size = size;
    if (isMP3) {
      e.IsMP3 = true;
      e.Bitrate = bitrate;
      e.Frequency = frequency;
      e.Seconds = seconds;
    } else {
      Disguise(e);
    }
    ScanItemPrepared(run->ID(), std::move(e));
  };
  std::string id;
  finder_->Start(mask, 0, id);
}

void TNapsterClient::ScanItemPrepared(const std::string& run, SharedEntry entry) {
  plat::Locked<plat::CriticalSection> hold(shareLock_);
  scanPrepared_[run].push_back(std::move(entry));
}

void TNapsterClient::ScanItemFound(const std::string& run, const std::string& path) {
  // The scanner's thread prepared this file's entry before it handed the
  // file over: a file not yet shared is listed now, just before it is
  // reported, so that a scan stopped midway lists no more than it reported.
  TMPEGInfo info;
  bool added = false, shared = false;
  {
    plat::Locked<plat::CriticalSection> hold(shareLock_);
    SharedEntry fresh;
    bool prepared = false;
    auto queue = scanPrepared_.find(run);
    if (queue != scanPrepared_.end() && !queue->second.empty()) {
      fresh = std::move(queue->second.front());
      queue->second.pop_front();
      // An empty file other than MP3 is not shared.
      prepared = fresh.Path == path && (fresh.IsMP3 || fresh.Size > 0);
    }
    shared = shares_.Report(path, prepared ? &fresh : nullptr, &added, &info);
    if (!shared) scanSeen_.insert(path);
  }
  if (added) SharesChanged();
  if (shared) FireAddFile(info);
}

void TNapsterClient::FireAddFile(const std::string& path) {
  TMPEGInfo info;
  {
    plat::Locked<plat::CriticalSection> hold(shareLock_);
    if (!shares_.InfoOf(path, &info)) return;
  }
  FireAddFile(info);
}

void TNapsterClient::FireAddFile(const TMPEGInfo& info) {
  Fire(OnAddFile, info.FileName, info.RequestFileName, info.MD5, info.Bitrate, info.Frequency, info.Seconds,
       info.Size, info.IsMP3);
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
