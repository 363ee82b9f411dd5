#include "peer/napster/napster_client_info_thread.h"

#include <atomic>
#include <mutex>
#include <unordered_set>

#include "core/global_functions.h"
#include "core/globals.h"
#include "core/icmp.h"
#include "platform/clock.h"
#include "platform/net.h"
#include "platform/text.h"
#include "platform/thread.h"

namespace {

constexpr const char* kProfileText =
    "NEWSTYLE ZIP: 48313\tCOUNTRY: United States Minor Outlying Islands\tSEX: Female\t"
    "AGE: 19 years or younger\tINCOME: Up to $20,000\tEDUCATION: Grammar/Middle School";
constexpr int kRedirectorAnswerLimit = 8190;

std::string Upper(std::string_view s) { return plat::UpperAscii(plat::Trim(s)); }
std::string Fold(std::string_view s) { return plat::UpperCase(s); }
std::string Quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }
// The protocol has no escape for a double quote inside a quoted field.
std::string Unquotable(std::string_view s) {
  std::string out;
  for (char c : plat::Trim(s))
    if (c != '"') out += c;
  return out;
}
std::string StripQuotes(std::string_view s) {
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
  return std::string(s);
}

// Takes a protocol text apart field by field, in order.
class FieldCutter {
 public:
  explicit FieldCutter(std::string text) : rest_(std::move(text)) {}
  std::string Word() { return SplitFirstWord(rest_); }
  std::string Quoted() { return ExtractQuoted(rest_); }
  std::string Rest() { return plat::Trim(rest_); }

 private:
  std::string rest_;
};

// Consecutive redirector answers naming no usable server, per session ID.
std::mutex redirectLock;
std::unordered_map<std::string, int> redirectTries;

// The program-wide ICMP base delay.
std::atomic<bool> icmpMeasured{false};
std::atomic<int> icmpBase{0};

}  // namespace

// ----------------------------------------------------------------- session

TNapsterClientSession::TNapsterClientSession()
    : random_(uint32_t(plat::MonotonicMs()) ^ uint32_t(reinterpret_cast<uintptr_t>(this))) {}

TNapsterClientSession::~TNapsterClientSession() = default;

bool TNapsterClientSession::IsAnnounced(std::string_view requestName) const {
  return announced_.count(Fold(requestName)) != 0;
}

std::size_t TNapsterClientSession::MaxText() const {
  return id_ == kGatewayID ? kGatewayMaxText : kNapsterClientMaxText;
}

void TNapsterClientSession::Pause(int ms) { plat::Thread::Sleep(ms); }

int64_t TNapsterClientSession::NowMs() { return plat::MonotonicMs(); }

int TNapsterClientSession::RandomDelay() {
  return int(std::uniform_int_distribution<int>(0, 999)(random_));
}

int TNapsterClientSession::IcmpBase(const std::string& ipText) {
  if (icmpMeasured.load()) return icmpBase.load();
  // Two sessions may both get here at once; that only measures twice.
  int delay = 0;
  uint32_t addr = uint32_t(DigitsToInt64(ipText));
  try {
    TICMP icmp;
    icmp.Timeout = kIcmpTimeoutMs;
    icmp.SetAddress(plat::AddressToText(addr));
    if (icmp.Ping() > 0) delay = int(icmp.Reply().RoundTripTime);
  } catch (const std::exception&) {
    delay = 0;  // no ICMP on this system: every base is 0
  }
  icmpBase.store(delay < 0 ? 0 : delay);
  icmpMeasured.store(true);
  return icmpBase.load();
}

// ----------------------------------------------------------------- framing

void TNapsterClientSession::SendMessage(uint16_t type, std::string_view text) {
  if (!Connected()) return;
  std::string frame;
  if (!EncodeNapsterMessage(type, text, MaxText(), frame)) {
    // The gateway closes on frames it cannot take; losing one oversized
    // message there is better than losing the session.
    if (id_ == kGatewayID && text.size() <= kNapsterClientMaxText) return;
    CloseConnection();
    return;
  }
  SendAll(frame.data(), int(frame.size()));
}

bool TNapsterClientSession::ReadMessage(uint16_t& type, std::string& text) {
  unsigned char header[2];
  ReceiveAll(header, 2);
  std::size_t length = NapsterTextLength(header);
  if (length > kNapsterClientMaxText) {
    CloseConnection();
    return false;
  }
  std::vector<unsigned char> body(length + 2);
  ReceiveAll(body.data(), int(body.size()));
  NapsterMessage m = DecodeNapsterBody(body.data(), body.size());
  type = m.Type;
  text = std::move(m.Text);
  return true;
}

// ----------------------------------------------------------------- the run

void TNapsterClientSession::ReadStartRecord() { id_ = StartValue("ID"); }

void TNapsterClientSession::Run() {
  ReadStartRecord();
  if (Upper(StartValue("REDIRECT")) == "TRUE") {
    QueryRedirector();
    return;
  }

  TMessagePumpConnection* connection = Pump ? Pump->Connect(id_) : nullptr;
  struct Unsubscribe {
    TMessagePump* pump;
    TMessagePumpConnection* connection;
    ~Unsubscribe() {
      if (pump && connection) pump->Disconnect(connection);
    }
  } unsubscribe{Pump, connection};
  if (connection) {
    connection->AddFilter("ACTION", "METHOD");
    connection->AddFilter("NAME", "NAPSTER_CLIENT");
  }

  uint16_t type = 0;
  std::string text;
  if (Upper(StartValue("KIND")) == "REGISTER") {
    ownNick_ = StartValue("NICK");
    SendMessage(7, ownNick_);
    if (ReadMessage(type, text)) HandleLoginReply(type, text);
    return;
  }

  SendLogin(false);
  if (id_ == kGatewayID) {
    const int64_t deadline = NowMs() + kGatewayLoginReplyMs;
    while (Connected() && !Stopping() && DataAvailable() <= 0 && NowMs() < deadline) Pause(PollIntervalMs);
  }
  if (ReadMessage(type, text)) HandleLoginReply(type, text);
  if (!Connected()) return;
  SendMessage(214, "");

  int64_t lastIncoming = NowMs();
  while (Connected()) {
    Pause(PollIntervalMs);
    if (NowMs() - lastIncoming > IdleCutMs) break;
    while (Connected() && DataAvailable() > 0) {
      lastIncoming = NowMs();
      if (ReadMessage(type, text)) Dispatch(type, text);
      if (connection) ProcessMethods(*connection);
    }
    if (connection) ProcessMethods(*connection);
  }
}

void TNapsterClientSession::SendLogin(bool newUser) {
  ownNick_ = StartValue("NICK");
  std::string client = StartValue("VERSION_TEXT");
  if (plat::Trim(client).empty()) client = kOwnVersionText;
  std::string text = ownNick_ + " " + StartValue("PASSWORD") + " " + StartValue("LOCAL_PORT") + " " +
                     Quoted(client) + " " + StartValue("LINK_TYPE");
  if (newUser) {
    SendMessage(6, text + " " + StartValue("EMAIL") + " " + StartValue("BUILD_NUMBER"));
  } else {
    SendMessage(2, text + " " + StartValue("BUILD_NUMBER"));
  }
}

void TNapsterClientSession::HandleLoginReply(uint16_t type, const std::string& text) {
  const std::string reason = plat::Trim(text);
  if (type == 8) {
    account_ = reason;
    SendLogin(true);
    uint16_t replyType = 0;
    std::string reply;
    if (!ReadMessage(replyType, reply)) return;
    if (replyType != 3) {
      // The server refused the new account (e-mail refused, nick taken
      // meanwhile, banned): that is no registration.
      Call(Callbacks.OnRegisterError, 0);
      std::string why = plat::Trim(reply);
      Call(Callbacks.OnLoginError, why);
      CloseConnection();
      return;
    }
    SendMessage(14, kProfileText);
    Call(Callbacks.OnRegistered);
    return;
  }
  if (type == 9 || type == 10) {
    int kind = type == 9 ? 1 : 0;
    Call(Callbacks.OnRegisterError, kind);
    CloseConnection();
  }
  if (type == 3) {
    account_ = reason;
    Call(Callbacks.OnSendingSharedFiles);
    SendSharedFiles();
    Call(Callbacks.OnLoggedIn, account_);
    return;
  }
  Call(Callbacks.OnLoginError, reason);
  CloseConnection();
}

void TNapsterClientSession::QueryRedirector() {
  // The answer is one line "host:port". The first piece is waited for as
  // any receive is; the rest of the line only while it keeps coming, so a
  // redirector that leaves its line open and the connection with it does
  // not hold the session for a whole socket time-out.
  std::string answer;
  char buffer[1024];
  int64_t quietSince = NowMs();
  while (answer.size() < std::size_t(kRedirectorAnswerLimit) && answer.find('\n') == std::string::npos) {
    try {
      if (!answer.empty() && DataAvailable() <= 0) {
        if (NowMs() - quietSince >= RedirectorLineWaitMs || Stopping()) break;
        Pause(std::min(PollIntervalMs, RedirectorLineWaitMs));
        continue;
      }
      int want = int(std::min<std::size_t>(sizeof buffer, kRedirectorAnswerLimit - answer.size()));
      int got = ReceiveSome(buffer, want);
      if (got <= 0) break;
      answer.append(buffer, std::size_t(got));
      quietSince = NowMs();
    } catch (const EEasySocketClose&) {
      break;  // the redirector closes after answering
    }
  }
  std::size_t eol = answer.find_first_of("\r\n");
  if (eol != std::string::npos) answer.resize(eol);
  std::size_t colon = answer.find(':');
  std::string host = plat::Trim(answer.substr(0, colon));
  int64_t port = colon == std::string::npos ? 0 : DigitsToInt64(answer.substr(colon + 1));
  if (port > 65535) port = 0;
  RedirectTo(host, int(port));
}

void TNapsterClientSession::RedirectTo(const std::string& host, int port) {
  // The component asks the redirector again when it names this machine or
  // port 1111 ("busy"); keep that from turning into a tight loop.
  bool askAgain = host == "127.0.0.1" || port == 1111;
  int tries = 0;
  {
    std::lock_guard<std::mutex> hold(redirectLock);
    if (!askAgain) {
      redirectTries.erase(id_);
    } else {
      tries = ++redirectTries[id_];
      if (tries > RedirectMaxRetries) redirectTries.erase(id_);
    }
  }
  if (askAgain && tries > RedirectMaxRetries) {
    const std::string reason = "The redirector named no server";
    Call(Callbacks.OnLoginError, reason);
    return;
  }
  if (askAgain) {
    int64_t until = NowMs() + int64_t(RedirectRetryDelayMs) * tries;
    while (NowMs() < until) {
      if (Stopping()) return;
      Pause(std::min<int64_t>(50, until - NowMs()));
    }
  }
  Call(Callbacks.OnRedirected, host, port);
}

// ----------------------------------------------------------------- shares

std::vector<TNapsterShareInfo> TNapsterClientSession::SharedSnapshot() {
  std::vector<TNapsterShareInfo> files;
  if (!ReadShares) return files;
  if (ShareLock) {
    plat::Locked<plat::CriticalSection> hold(*ShareLock);
    ReadShares(files);
  } else {
    ReadShares(files);
  }
  return files;
}

void TNapsterClientSession::Announce(const std::string& name, const std::string& md5,
                                     const std::string& size, const std::string& bitrate,
                                     const std::string& frequency, const std::string& seconds) {
  const std::string figures = md5 + " " + size + " " + bitrate + " " + frequency + " " + seconds;
  // What tells one announcement's figures from another's (their letters
  // are hex digits, whose case never changes between two of them).
  const size_t print = plat::FoldedHash(figures);
  std::string key = Fold(name);
  auto it = announced_.find(key);
  if (it != announced_.end()) {
    if (it->second.Figures == print) return;
    // The server lists a file under its figures: changed ones replace the
    // entry.
    const std::string listed = it->second.Name;
    Withdraw(listed);
  }
  announced_.emplace(std::move(key), Announced{name, print});
  SendMessage(100, Quoted(name) + " " + figures);
}

void TNapsterClientSession::Withdraw(const std::string& name) {
  auto it = announced_.find(Fold(name));
  if (it == announced_.end()) return;
  announced_.erase(it);
  SendMessage(102, name);
}

void TNapsterClientSession::SendSharedFiles() {
  // Copied under the share lock, sent without it: a server that stops
  // reading must not hold up the main thread's share changes.
  for (const TNapsterShareInfo& f : SharedSnapshot()) {
    if (!Connected()) break;
    Announce(f.RequestName, f.MD5, plat::IntToStr(f.Size), plat::IntToStr(f.Bitrate),
             plat::IntToStr(f.Frequency), plat::IntToStr(f.Seconds));
  }
}

void TNapsterClientSession::ReconcileShares() {
  std::vector<TNapsterShareInfo> files = SharedSnapshot();
  std::unordered_set<std::string> listed;
  for (const TNapsterShareInfo& f : files) listed.insert(Fold(f.RequestName));
  std::vector<std::string> gone;
  for (const auto& [key, announced] : announced_)
    if (!listed.count(key)) gone.push_back(announced.Name);
  for (const std::string& name : gone) {
    if (!Connected()) return;
    Withdraw(name);
  }
  for (const TNapsterShareInfo& f : files) {
    if (!Connected()) return;
    Announce(f.RequestName, f.MD5, plat::IntToStr(f.Size), plat::IntToStr(f.Bitrate),
             plat::IntToStr(f.Frequency), plat::IntToStr(f.Seconds));
  }
}

// ----------------------------------------------------------------- requests

void TNapsterClientSession::ProcessMethods(TMessagePumpConnection& connection) {
  TMessageItem record;
  while (Connected() && connection.Receive(record)) {
    std::string target = record.GetValue("ID");
    if (target.empty() || plat::SameText(target, id_)) DoMethod(record);
  }
}

namespace {

enum class Layout {
  kEmpty,       // no text
  kOne,         // A
  kTwo,         // A B
  kOneQuoted,   // A "B"
  kTwoQuoted,   // A B "C"
  kSpecial,     // built by the session
};

enum Special {
  kNone,
  kClientInfo,
  kAddFile,
  kRemoveFile,
  kSearch,
  kRawCommand,
  kSetPort,
  kKick,
  kSharesChanged,
};

struct Verb {
  uint16_t type;
  Layout layout;
  const char* k1;
  const char* k2;
  const char* k3;
  Special special;
};

const std::unordered_map<std::string, Verb>& VerbTable() {
  using L = Layout;
  static const std::unordered_map<std::string, Verb> table = {
      {"SET_CLIENT_INFO", {14, L::kSpecial, nullptr, nullptr, nullptr, kClientInfo}},
      {"ADD_MP3_FILE", {100, L::kSpecial, nullptr, nullptr, nullptr, kAddFile}},
      {"REMOVE_MP3_FILE", {102, L::kSpecial, nullptr, nullptr, nullptr, kRemoveFile}},
      {"MP3_SEARCH", {200, L::kSpecial, nullptr, nullptr, nullptr, kSearch}},
      {"HOTLIST_ADD", {207, L::kOne, "NICK", nullptr, nullptr, kNone}},
      {"PRIVMSG", {205, L::kTwo, "NICK", "MESSAGE", nullptr, kNone}},
      {"GLOBALMSG", {628, L::kOne, "MESSAGE", nullptr, nullptr, kNone}},
      {"OPERATORMSG", {627, L::kOne, "MESSAGE", nullptr, nullptr, kNone}},
      {"RAWCOMMAND", {0, L::kSpecial, nullptr, nullptr, nullptr, kRawCommand}},
      {"GET_HOTLIST", {208, L::kEmpty, nullptr, nullptr, nullptr, kNone}},
      {"HOTLIST_REMOVE", {303, L::kOne, "NICK", nullptr, nullptr, kNone}},
      {"GET_DIR", {211, L::kOne, "NICK", nullptr, nullptr, kNone}},
      {"GET_STATS", {214, L::kEmpty, nullptr, nullptr, nullptr, kNone}},
      {"MP3_SEARCH_RESUME", {215, L::kTwo, "MD5", "FILESIZE", nullptr, kNone}},
      {"INDICATE_DOWNLOAD_START", {218, L::kEmpty, nullptr, nullptr, nullptr, kNone}},
      {"INDICATE_DOWNLOAD_FINISH", {219, L::kEmpty, nullptr, nullptr, nullptr, kNone}},
      {"INDICATE_UPLOAD_START", {220, L::kEmpty, nullptr, nullptr, nullptr, kNone}},
      {"INDICATE_UPLOAD_FINISH", {221, L::kEmpty, nullptr, nullptr, nullptr, kNone}},
      {"GET_IGNORE_LIST", {320, L::kEmpty, nullptr, nullptr, nullptr, kNone}},
      {"IGNORE_ADD", {322, L::kOne, "NICK", nullptr, nullptr, kNone}},
      {"IGNORE_REMOVE", {323, L::kOne, "NICK", nullptr, nullptr, kNone}},
      {"IGNORE_LIST_CLEAR", {326, L::kEmpty, nullptr, nullptr, nullptr, kNone}},
      {"BLOCKIP_ADD", {332, L::kOne, "IP", nullptr, nullptr, kNone}},
      {"BLOCKIP_REMOVE", {333, L::kOne, "IP", nullptr, nullptr, kNone}},
      {"GET_BLOCKIP_LIST", {330, L::kEmpty, nullptr, nullptr, nullptr, kNone}},
      {"JOIN", {400, L::kOne, "CHANNEL", nullptr, nullptr, kNone}},
      {"PART", {401, L::kOne, "CHANNEL", nullptr, nullptr, kNone}},
      {"PUBMSG", {402, L::kTwo, "CHANNEL", "MESSAGE", nullptr, kNone}},
      {"DOWNLOAD", {203, L::kOneQuoted, "NICK", "REMOTE_FILENAME", nullptr, kNone}},
      {"GET_LINK_TYPE", {600, L::kOne, "NICK", nullptr, nullptr, kNone}},
      {"WHOIS", {603, L::kOne, "NICK", nullptr, nullptr, kNone}},
      {"GET_CHANNEL_LIST", {617, L::kEmpty, nullptr, nullptr, nullptr, kNone}},
      {"GET_TOPIC", {410, L::kOne, "CHANNEL", nullptr, nullptr, kNone}},
      {"SET_USER_LEVEL", {606, L::kTwo, "NICK", "LEVEL", nullptr, kNone}},
      {"KILL", {610, L::kOne, "NICK", nullptr, nullptr, kNone}},
      {"NUKE_ADD", {611, L::kOne, "NICK", nullptr, nullptr, kNone}},
      // 624 is the protocol's un-nuke; 622 would muzzle the user instead.
      {"NUKE_REMOVE", {624, L::kOne, "NICK", nullptr, nullptr, kNone}},
      {"GET_CHANNEL_BAN_LIST", {420, L::kOne, "CHANNEL", nullptr, nullptr, kNone}},
      {"CHANNEL_BAN_ADD", {422, L::kTwoQuoted, "CHANNEL", "DEST", "REASON", kNone}},
      {"CHANNEL_BAN_REMOVE", {423, L::kTwoQuoted, "CHANNEL", "DEST", "REASON", kNone}},
      {"BAN_ADD", {612, L::kOneQuoted, "DEST", "REASON", nullptr, kNone}},
      {"BAN_REMOVE", {614, L::kOneQuoted, "DEST", "REASON", nullptr, kNone}},
      {"GET_BAN_LIST", {615, L::kEmpty, nullptr, nullptr, nullptr, kNone}},
      {"GET_MOTD", {621, L::kEmpty, nullptr, nullptr, nullptr, kNone}},
      {"MUZZLE_ADD", {622, L::kOneQuoted, "NICK", "REASON", nullptr, kNone}},
      {"MUZZLE_REMOVE", {623, L::kOneQuoted, "NICK", "REASON", nullptr, kNone}},
      {"SET_LINK_TYPE", {700, L::kOne, "LINK_TYPE", nullptr, nullptr, kNone}},
      {"SET_PASSWORD", {701, L::kOne, "PASSWORD", nullptr, nullptr, kNone}},
      {"SET_EMAIL", {702, L::kOne, "EMAIL", nullptr, nullptr, kNone}},
      {"SET_PORT", {703, L::kSpecial, nullptr, nullptr, nullptr, kSetPort}},
      {"EMOTE", {824, L::kOneQuoted, "CHANNEL", "MESSAGE", nullptr, kNone}},
      {"KICK", {829, L::kSpecial, nullptr, nullptr, nullptr, kKick}},
      // One record standing for any number of share changes: the session
      // brings the server's list in line with the component's.
      {"SHARES_CHANGED", {0, L::kSpecial, nullptr, nullptr, nullptr, kSharesChanged}},
  };
  return table;
}

}  // namespace

void TNapsterClientSession::DoMethod(const TMessageItem& record) {
  const auto& table = VerbTable();
  auto it = table.find(Upper(record.GetValue("METHOD")));
  if (it == table.end()) return;
  const Verb& v = it->second;
  auto field = [&](const char* key) { return record.GetValue(key); };
  switch (v.layout) {
    case Layout::kEmpty:
      SendMessage(v.type, "");
      break;
    case Layout::kOne:
      SendMessage(v.type, field(v.k1));
      break;
    case Layout::kTwo:
      SendMessage(v.type, field(v.k1) + " " + field(v.k2));
      break;
    case Layout::kOneQuoted:
      SendMessage(v.type, field(v.k1) + " " + Quoted(field(v.k2)));
      break;
    case Layout::kTwoQuoted:
      SendMessage(v.type, field(v.k1) + " " + field(v.k2) + " " + Quoted(field(v.k3)));
      break;
    case Layout::kSpecial:
      DoSpecialMethod(v.special, record);
      break;
  }
}

void TNapsterClientSession::DoSpecialMethod(int action, const TMessageItem& record) {
  auto field = [&](const char* key) { return record.GetValue(key); };
  switch (action) {
    case kClientInfo:
      SendMessage(14, "NAME:" + field("NAME") + " ADDRESS:" + field("ADDRESS") + " CITY:" + field("CITY") +
                          " STATE:" + field("STATE") + " PHONE:" + field("PHONE") + " AGE:" + field("AGE") +
                          " INCOME:" + field("INCOME"));
      break;
    case kAddFile:
      Announce(field("FILENAME"), field("MD5"), field("SIZE"), field("BITRATE"), field("FREQUENCY"),
               field("SECONDS"));
      break;
    case kRemoveFile:
      Withdraw(field("FILENAME"));
      break;
    case kSearch: {
      std::string query = BuildSearchQuery(record);
      Call(Callbacks.OnSearchStarted);
      SendMessage(200, query);
      break;
    }
    case kRawCommand: {
      int command = record.GetInteger("COMMAND");
      if (command >= 0 && command <= 0xFFFF) SendMessage(uint16_t(command), field("MESSAGE"));
      break;
    }
    case kSetPort: {
      int port = record.GetInteger("PORT");
      SendMessage(703, plat::IntToStr(port));
      firewalled_ = port == 0;
      break;
    }
    case kKick: {
      // Servers expect the channel first; records without one keep the
      // short form.
      std::string channel = plat::Trim(field("CHANNEL"));
      std::string text = field("NICK") + " " + Quoted(field("REASON"));
      SendMessage(829, channel.empty() ? text : channel + " " + text);
      break;
    }
    case kSharesChanged:
      ReconcileShares();
      break;
    default:
      break;
  }
}

std::string TNapsterClientSession::BuildSearchQuery(const TMessageItem& record) {
  auto term = [&](const char* key) { return Unquotable(record.GetValue(key)); };
  std::string query;
  std::string song = term("SONG_NAME");
  if (!song.empty()) query += "FILENAME CONTAINS " + Quoted(song) + " ";
  query += "MAX_RESULTS " + plat::Trim(record.GetValue("MAX_RESULTS")) + " ";
  std::string artist = term("ARTIST_NAME");
  if (!artist.empty()) query += "FILENAME CONTAINS " + Quoted(artist) + " ";
  // A filter goes out only when both its action and its value are given.
  struct Filter {
    const char* keyword;
    const char* value;
    const char* action;
    bool quoteValue;
  };
  static constexpr Filter kFilters[] = {{"BITRATE", "BITRATE_VALUE", "BITRATE_ACTION", true},
                                        {"FREQ", "FREQUENCY_VALUE", "FREQUENCY_ACTION", true},
                                        {"LINESPEED", "LINK_TYPE_VALUE", "LINK_TYPE_ACTION", false}};
  for (const Filter& f : kFilters) {
    std::string value = term(f.value);
    std::string action = plat::UpperAscii(term(f.action));
    if (value.empty() || action.empty()) continue;
    query += std::string(f.keyword) + " " + Quoted(action) + " " + (f.quoteValue ? Quoted(value) : value) + " ";
  }
  pingAction_ = Upper(record.GetValue("PING_TIME_ACTION"));
  pingValue_ = record.GetInteger("PING_TIME_VALUE");
  return plat::Trim(query);
}

// ----------------------------------------------------------------- incoming

void TNapsterClientSession::NewEvent(std::string_view eventName) {
  event_.Clear();
  event_.SetValue("NAME", "NAPSTER_CLIENT");
  event_.SetValue("ACTION", "EVENT");
  event_.SetValue("ID", id_);
  event_.SetValue("EVENT", eventName);
}

void TNapsterClientSession::SendEvent() {
  Call(Callbacks.OnEventReceived, event_);
}

std::string TNapsterClientSession::IPFromWire(std::string_view text) {
  uint32_t wire = uint32_t(uint64_t(DigitsToInt64(text)) & 0xFFFFFFFFu);
  uint32_t host = (wire >> 24) | ((wire >> 8) & 0xFF00u) | ((wire << 8) & 0xFF0000u) | (wire << 24);
  return plat::IntToStr(int64_t(host));
}

bool TNapsterClientSession::PingFilter(int ping) const {
  std::string action = plat::Trim(pingAction_);
  if (action.empty()) return true;
  if (ping == 0) return false;
  if (action == "AT LEAST") return ping >= pingValue_;
  if (action == "EQUAL TO") return ping == pingValue_;
  if (action == "AT BEST") return ping <= pingValue_;
  return true;
}

int TNapsterClientSession::PingFor(const std::string& nick, const std::string& ipText) {
  std::string key = Fold(nick);
  auto it = pingCache_.find(key);
  if (it != pingCache_.end()) return it->second;
  int ping = IcmpBase(ipText) + RandomDelay();
  pingCache_.emplace(key, ping);
  pingOrder_.push_back(key);
  if (int(pingOrder_.size()) > kPingCacheSize) {
    pingCache_.erase(pingOrder_.front());
    pingOrder_.pop_front();
  }
  return ping;
}

void TNapsterClientSession::HandleSearchItem(uint16_t type, const std::string& text) {
  // Every result is passed on, however many the search asked for: the
  // program's own gateway answers with more than that, and whoever keeps
  // the results bounds them.
  FieldCutter f(text);
  NewEvent("SEARCH_ITEM");
  event_.SetValue("FILENAME", f.Quoted());
  for (const char* key : {"MD5", "SIZE", "BITRATE", "FREQUENCY", "SECONDS", "NICK"}) event_.SetValue(key, f.Word());
  std::string ip = IPFromWire(f.Word());
  event_.SetValue("IP", ip);
  for (const char* key : {"LINK_TYPE", "PORT", "BPS"}) event_.SetValue(key, f.Word());
  if (type == 216) {
    event_.SetValue("IS_RESUME", "TRUE");
    SendEvent();
    return;
  }
  event_.SetValue("IS_RESUME", "FALSE");
  int ping = PingFor(event_.GetValue("NICK"), ip);
  if (!PingFilter(ping)) return;
  if (ping > kReportedPingLimit) ping = 0;
  event_.SetInteger("PING_TIME", ping);
  SendEvent();
}

void TNapsterClientSession::HandleTransferReply(uint16_t type, const std::string& text) {
  FieldCutter f(text);
  std::string nick = f.Word();
  if (type == 620) {
    std::string file = f.Quoted();
    int64_t size = DigitsToInt64(f.Word());
    int64_t limit = DigitsToInt64(f.Rest());
    Call(Callbacks.OnDownloadQueuedRemotely, nick, file, size, limit);
    return;
  }
  if (type == 206) {
    std::string file = f.Quoted();
    Call(Callbacks.OnDownloadUnavailable, nick, file);
    return;
  }
  // 204 (our download may start) and 501 (we are to push a file).
  TNapsterTransferOffer offer;
  offer.Nick = nick;
  offer.OwnNick = ownNick_;
  offer.IP = IPFromWire(f.Word());
  int64_t port = DigitsToInt64(f.Word());
  offer.FileName = f.Quoted();
  offer.MD5 = f.Word();
  offer.LinkType = f.Word();
  if (port > 65535 || offer.FileName.empty()) return;  // nothing sensible to do
  offer.Port = int(port);
  if (offer.Port == 0) {
    if (firewalled_) {
      Call(Callbacks.OnBothFirewalled, offer.Nick, offer.FileName);
    } else if (type == 204) {
      // The uploader cannot be reached: ask the server to have it push.
      SendMessage(500, offer.Nick + " " + Quoted(offer.FileName));
    }
    // A push request without a port to push to cannot be served; asking
    // for a push in return would be for a file we hold ourselves.
    return;
  }
  Call(type == 204 ? Callbacks.OnStartDownload : Callbacks.OnStartPushUpload, offer);
}

void TNapsterClientSession::HandleUploadRequest(const std::string& text) {
  FieldCutter f(text);
  std::string nick = f.Word();
  std::string file = f.Quoted();
  bool queued = false;
  bool accept = false;
  Call(Callbacks.OnUploadRequested, nick, file, queued, accept);
  if (accept && !queued) {
    SendMessage(608, nick + " " + Quoted(file));
    acceptedNick_ = nick;
    acceptedFile_ = file;
    acceptedUntil_ = NowMs() + UploadAnswerMs;
  } else {
    SendMessage(619, nick + " " + Quoted(file) + " 0");
  }
}

void TNapsterClientSession::Dispatch(uint16_t type, const std::string& text) {
  FieldCutter f(text);
  const std::string whole = plat::Trim(text);
  auto words = [&](std::initializer_list<const char*> keys) {
    for (const char* key : keys) event_.SetValue(key, f.Word());
  };
  switch (type) {
    case 201:
    case 216:
      HandleSearchItem(type, text);
      return;
    case 202:
      Call(Callbacks.OnSearchEnded);
      NewEvent("SEARCH_END");
      event_.SetValue("IS_RESUME", "FALSE");
      break;
    case 217:
      NewEvent("SEARCH_END");
      event_.SetValue("IS_RESUME", "TRUE");
      break;
    case 205:
      NewEvent("PRIVMSG");
      words({"NICK"});
      event_.SetValue("MESSAGE", f.Rest());
      break;
    case 404:
      // A server answers an accepted upload it cannot pass on (the file is
      // not in its list, the peer has gone) with an error at once.
      if (!acceptedFile_.empty() && NowMs() <= acceptedUntil_) {
        std::string nick = std::move(acceptedNick_), file = std::move(acceptedFile_);
        acceptedFile_.clear();
        Call(Callbacks.OnUploadRefused, nick, file, whole);
      }
      NewEvent("404");
      event_.SetValue("MESSAGE", whole);
      break;
    case 209:
      NewEvent("SIGN_ON");
      words({"NICK", "LINK_TYPE"});
      break;
    case 210:
      NewEvent("SIGN_OFF");
      event_.SetValue("NICK", whole);
      break;
    case 212:
      NewEvent("DIR_ITEM");
      words({"NICK"});
      event_.SetValue("FILENAME", f.Quoted());
      words({"MD5", "SIZE", "BITRATE", "FREQUENCY", "SECONDS"});
      break;
    case 213:
      // "<nick> [ip]": the nick alone.
      NewEvent("DIR_END");
      words({"NICK"});
      break;
    case 301:
    case 302:
      NewEvent("HOTLIST_ADD");
      event_.SetValue("STATUS", type == 301 ? "SUCCESS" : "ERROR");
      event_.SetValue("NICK", whole);
      break;
    case 214:
      NewEvent("STATS");
      words({"USERS", "FILES", "GB"});
      break;
    case 320:
      NewEvent("IGNORE_LIST_END");
      event_.SetValue("COUNT", whole);
      break;
    case 321:
      NewEvent("IGNORE_ITEM");
      event_.SetValue("NICK", whole);
      break;
    case 322:
    case 325:
      NewEvent("IGNORE_ADD");
      event_.SetValue("STATUS", type == 322 ? "SUCCESS" : "ERROR");
      event_.SetValue("NICK", whole);
      break;
    case 323:
    case 324:
      NewEvent("IGNORE_REMOVE");
      event_.SetValue("STATUS", type == 323 ? "SUCCESS" : "ERROR");
      event_.SetValue("NICK", whole);
      break;
    case 326:
      NewEvent("IGNORE_LIST_CLEAR");
      event_.SetValue("COUNT", whole);
      break;
    case 402:
    case 403:
      NewEvent("PUBMSG");
      words({"CHANNEL", "NICK"});
      event_.SetValue("MESSAGE", f.Rest());
      break;
    case 405:
      NewEvent("JOIN");
      event_.SetValue("NICK", ownNick_);
      event_.SetValue("STATUS", "SUCCESS");
      event_.SetValue("CHANNEL", whole);
      event_.SetValue("IS_MINE", "TRUE");
      break;
    case 406:
      NewEvent("JOIN");
      words({"CHANNEL", "NICK", "FILES", "LINK_TYPE"});
      event_.SetValue("IS_MINE", "FALSE");
      event_.SetValue("STATUS", "SUCCESS");
      break;
    case 401:
      NewEvent("PART");
      event_.SetValue("CHANNEL", whole);
      event_.SetValue("NICK", ownNick_);
      event_.SetValue("IS_MINE", "TRUE");
      break;
    case 407:
      NewEvent("PART");
      words({"CHANNEL", "NICK", "FILES", "LINK_TYPE"});
      event_.SetValue("IS_MINE", "FALSE");
      break;
    case 408:
      NewEvent("USER_ITEM");
      words({"CHANNEL", "NICK", "FILES", "LINK_TYPE"});
      break;
    case 409:
      NewEvent("USER_LIST_END");
      event_.SetValue("CHANNEL", whole);
      break;
    case 410:
      NewEvent("TOPIC");
      words({"CHANNEL"});
      event_.SetValue("TOPIC", f.Rest());
      break;
    case 421:
      NewEvent("CHANNEL_BAN_ITEM");
      words({"CHANNEL"});
      event_.SetValue("DEST", f.Rest());
      break;
    case 601:
      NewEvent("LINK_TYPE");
      words({"NICK"});
      event_.SetValue("LINK_TYPE", f.Rest());
      break;
    case 604: {
      NewEvent("WHOIS");
      words({"NICK"});
      // Servers quote the level ("User"); the quotes are no part of it.
      event_.SetValue("USER_LEVEL", StripQuotes(f.Word()));
      words({"SECONDS_ONLINE"});
      event_.SetValue("CHANNELS", f.Quoted());
      event_.SetBool("ONLINE", Upper(f.Word()) == "ACTIVE.");
      words({"FILES", "DOWNLOADS", "UPLOADS", "LINK_TYPE"});
      event_.SetValue("CLIENT_VERSION", f.Quoted());
      words({"TOTAL_UPLOADS", "TOTAL_DOWNLOADS", "IP"});
      break;
    }
    case 605:
      NewEvent("WHOWAS");
      words({"NICK", "LEVEL"});
      event_.SetValue("LAST_SEEN", f.Rest());
      break;
    case 616:
      NewEvent("BAN_ITEM");
      words({"IP", "NICK"});
      event_.SetValue("REASON", f.Quoted());
      event_.SetValue("TIME", plat::IntToStr(DigitsToInt64(f.Word())));
      words({"UNKNOWN"});
      break;
    case 617:
      NewEvent("CHANNEL_LIST_END");
      break;
    case 618:
      NewEvent("CHANNEL_LIST_ITEM");
      words({"CHANNEL", "USERS"});
      event_.SetValue("TOPIC", f.Rest());
      break;
    case 621:
      NewEvent("MOTD");
      event_.SetValue("MESSAGE", whole);
      break;
    case 627:
      NewEvent("OPERATOR_MESSAGE");
      words({"NICK"});
      event_.SetValue("MESSAGE", f.Rest());
      break;
    case 628:
      NewEvent("GLOBAL_MESSAGE");
      event_.SetValue("NICK", "GLOBAL_MESSAGE");
      event_.SetValue("MESSAGE", whole);
      break;
    case 750:
    case 751:
      NewEvent("PING");
      event_.SetValue("NICK", whole);
      break;
    case 752:
      NewEvent("PONG");
      event_.SetValue("NICK", whole);
      break;
    case 824:
      NewEvent("EMOTE");
      words({"CHANNEL", "NICK"});
      event_.SetValue("MESSAGE", f.Quoted());
      break;
    case 204:
    case 501:
    case 620:
    case 206:
      HandleTransferReply(type, text);
      return;
    case 607:
      HandleUploadRequest(text);
      return;
    default:
      return;  // among them 5, the server's offer of a program to run
  }
  SendEvent();
}

// ----------------------------------------------------------------- thread

TNapsterClientThread::TNapsterClientThread() = default;
TNapsterClientThread::~TNapsterClientThread() = default;

void TNapsterClientThread::ServeConnection() { Run(); }

std::string TNapsterClientThread::StartValue(std::string_view key) { return Socket()->GetValue(key); }

void TNapsterClientThread::ReceiveAll(void* buffer, int count) { Socket()->ReceiveBuffer(buffer, count, true); }

int TNapsterClientThread::ReceiveSome(void* buffer, int count) { return Socket()->Receive(buffer, count); }

void TNapsterClientThread::SendAll(const void* buffer, int count) { Socket()->SendBuffer(buffer, count); }

int TNapsterClientThread::DataAvailable() { return Socket()->DataAvailable(); }

bool TNapsterClientThread::Connected() { return !Socket()->Closed(); }

void TNapsterClientThread::CloseConnection() { Socket()->Close(); }

void TNapsterClientThread::CallBack(const std::function<void()>& fn) { Synchronize(fn); }

bool TNapsterClientThread::Stopping() { return Terminated() || Socket()->Closed(); }
