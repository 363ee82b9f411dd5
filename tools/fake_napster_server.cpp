#include "tools/fake_napster_server.h"

#include <chrono>

#include "platform/text.h"

namespace {

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }
std::string Num(int64_t v) { return std::to_string(v); }

std::string FirstWord(const std::string& text) { return text.substr(0, text.find(' ')); }

// The client name of a login ("nick password port \"client\" ..."): real
// servers refuse a login that names none.
std::string ClientName(const std::string& login) {
  const size_t open = login.find('"');
  const size_t close = open == std::string::npos ? open : login.find('"', open + 1);
  return close == std::string::npos ? std::string() : plat::Trim(login.substr(open + 1, close - open - 1));
}
constexpr const char* kNoClientName = "Your client, , is not allowed on this server.";

// The quoted terms after each "FILENAME CONTAINS" and the MAX_RESULTS
// number of a search text.
void ParseSearch(const std::string& query, std::vector<std::string>& terms, int& max) {
  const std::string kContains = "FILENAME CONTAINS \"";
  for (std::size_t at = query.find(kContains); at != std::string::npos; at = query.find(kContains, at)) {
    std::size_t open = at + kContains.size();
    std::size_t close = query.find('"', open);
    if (close == std::string::npos) break;
    terms.push_back(plat::UpperCase(query.substr(open, close - open)));
    at = close;
  }
  max = 100;
  std::size_t m = query.find("MAX_RESULTS ");
  if (m != std::string::npos) {
    max = 0;
    for (std::size_t i = m + 12; i < query.size() && query[i] >= '0' && query[i] <= '9'; ++i)
      max = max * 10 + (query[i] - '0');
  }
}

}  // namespace

FakeNapsterServer::Step FakeNapsterServer::Step::Frame(uint16_t type, std::string text) {
  Step s;
  s.kind = kFrame;
  s.type = type;
  s.bytes = std::move(text);
  return s;
}

FakeNapsterServer::Step FakeNapsterServer::Step::FrameWithLength(uint16_t type, std::size_t length,
                                                                 std::string text) {
  std::string raw;
  raw += char(length & 0xFF);
  raw += char((length >> 8) & 0xFF);
  raw += char(type & 0xFF);
  raw += char((type >> 8) & 0xFF);
  return Raw(raw + text);
}

FakeNapsterServer::Step FakeNapsterServer::Step::Raw(std::string bytes, int piece, int delayMs) {
  Step s;
  s.kind = kRaw;
  s.bytes = std::move(bytes);
  s.piece = piece;
  s.delayMs = delayMs;
  return s;
}

FakeNapsterServer::Step FakeNapsterServer::Step::Pause(int ms) {
  Step s;
  s.kind = kPause;
  s.delayMs = ms;
  return s;
}

FakeNapsterServer::Step FakeNapsterServer::Step::Close() {
  Step s;
  s.kind = kClose;
  return s;
}

FakeNapsterServer::FakeNapsterServer() = default;

FakeNapsterServer::~FakeNapsterServer() { Stop(); }

bool FakeNapsterServer::Start(int port) {
  plat::NetStartup();
  listener_ = plat::TcpSocket();
  if (listener_ == plat::kInvalidSocket) return false;
  uint32_t loopback = 0x7F000001;
  plat::SetReuseAddress(listener_, true);
  if (!plat::BindSocket(listener_, loopback, uint16_t(port)) || !plat::ListenSocket(listener_, 5)) {
    plat::CloseSocket(listener_);
    listener_ = plat::kInvalidSocket;
    return false;
  }
  uint32_t addr = 0;
  uint16_t bound = 0;
  plat::LocalAddress(listener_, &addr, &bound);
  port_ = bound;
  waiter_ = std::make_unique<plat::SocketWaiter>();
  stop_ = false;
  thread_ = std::thread([this] { Loop(); });
  return true;
}

void FakeNapsterServer::Stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> hold(lock_);
    stop_ = true;
    changed_.notify_all();
  }
  waiter_->Wake();
  CloseClient();
  thread_.join();
  plat::CloseSocket(listener_);
  listener_ = plat::kInvalidSocket;
}

void FakeNapsterServer::SetLoginReply(uint16_t type, std::string text) {
  std::lock_guard<std::mutex> hold(lock_);
  loginReply_ = {type, std::move(text)};
}

void FakeNapsterServer::SetNickCheckReply(uint16_t type, std::string text) {
  std::lock_guard<std::mutex> hold(lock_);
  nickCheckReply_ = {type, std::move(text)};
}

void FakeNapsterServer::SetNewUserReply(uint16_t type, std::string text) {
  std::lock_guard<std::mutex> hold(lock_);
  newUserReply_ = {type, std::move(text)};
}

void FakeNapsterServer::SetAfterLogin(Script script) {
  std::lock_guard<std::mutex> hold(lock_);
  afterLogin_ = std::move(script);
}

void FakeNapsterServer::SetScript(uint16_t type, Script script) {
  std::lock_guard<std::mutex> hold(lock_);
  scripts_[type] = std::move(script);
}

void FakeNapsterServer::SetRedirectAnswer(std::string answer, int piece) {
  std::lock_guard<std::mutex> hold(lock_);
  redirector_ = true;
  redirectAnswer_ = std::move(answer);
  redirectPiece_ = piece;
}

void FakeNapsterServer::HoldRedirectAnswer(bool hold) {
  std::lock_guard<std::mutex> held(lock_);
  redirectHeld_ = hold;
  changed_.notify_all();
}

void FakeNapsterServer::AddUser(User user) {
  std::lock_guard<std::mutex> hold(lock_);
  std::string nick = user.nick;
  users_[nick] = std::move(user);
}

void FakeNapsterServer::AddChannel(Channel channel) {
  std::lock_guard<std::mutex> hold(lock_);
  std::string name = channel.name;
  channels_[name] = std::move(channel);
}

// ----------------------------------------------------------------- serving

void FakeNapsterServer::Loop() {
  while (!stop_) {
    plat::WaitResult r = waiter_->Wait(listener_, plat::kWaitRead, 100);
    if (stop_) break;
    if (r == plat::WaitResult::kWoken) waiter_->Clear();
    if (r != plat::WaitResult::kReady) continue;
    uint32_t addr = 0;
    uint16_t port = 0;
    plat::SocketHandle client = plat::AcceptSocket(listener_, &addr, &port);
    if (client == plat::kInvalidSocket) continue;
    Serve(client);
  }
}

void FakeNapsterServer::Serve(plat::SocketHandle client) {
  plat::SetNoDelay(client, true);
  {
    std::lock_guard<std::mutex> hold(sendLock_);
    client_ = client;
    closeRequested_ = false;
  }
  clientOpen_ = true;
  accepted_++;

  bool redirector;
  std::string answer;
  int piece;
  {
    std::lock_guard<std::mutex> hold(lock_);
    redirector = redirector_;
    answer = redirectAnswer_;
    piece = redirectPiece_;
    loginNick_.clear();
  }
  if (redirector) {
    {
      std::unique_lock<std::mutex> hold(lock_);
      changed_.wait(hold, [this] { return !redirectHeld_ || stop_; });
    }
    SendBytes(answer, piece, piece > 0 ? 5 : 0);
  } else {
    NapsterFrameReader reader(0xFFFF);
    plat::SocketWaiter waiter;
    while (!stop_) {
      {
        std::lock_guard<std::mutex> hold(sendLock_);
        if (closeRequested_) break;
      }
      plat::WaitResult r = waiter.Wait(client, plat::kWaitRead, 50);
      if (r == plat::WaitResult::kTimeout) continue;
      if (r != plat::WaitResult::kReady) break;
      char buffer[8192];
      int n = plat::RecvSocket(client, buffer, sizeof buffer);
      if (n <= 0) break;
      reader.Feed(buffer, std::size_t(n));
      NapsterMessage m;
      while (reader.Next(m) == NapsterFrameReader::Result::kMessage) Handle(m);
    }
  }
  {
    std::lock_guard<std::mutex> hold(sendLock_);
    client_ = plat::kInvalidSocket;
  }
  plat::ShutdownSocket(client);
  plat::CloseSocket(client);
  clientOpen_ = false;
  std::lock_guard<std::mutex> hold(lock_);
  gone_++;
  changed_.notify_all();
}

bool FakeNapsterServer::SendBytes(const std::string& bytes, int piece, int delayMs) {
  std::lock_guard<std::mutex> hold(sendLock_);
  if (client_ == plat::kInvalidSocket || closeRequested_) return false;
  std::size_t step = piece > 0 ? std::size_t(piece) : bytes.size();
  for (std::size_t at = 0; at < bytes.size();) {
    std::size_t end = std::min(bytes.size(), at + step);
    while (at < end) {
      int n = plat::SendSocket(client_, bytes.data() + at, int(end - at));
      if (n <= 0) return false;
      at += std::size_t(n);
    }
    if (delayMs > 0 && at < bytes.size()) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
  }
  return true;
}

bool FakeNapsterServer::Send(uint16_t type, const std::string& text) {
  std::string frame;
  if (!EncodeNapsterMessage(type, text, 0xFFFF, frame)) return false;
  return SendBytes(frame, 0, 0);
}

bool FakeNapsterServer::Play(const Script& script) {
  for (const Step& s : script) {
    switch (s.kind) {
      case Step::kFrame:
        if (!Send(s.type, s.bytes)) return false;
        break;
      case Step::kRaw:
        if (!SendBytes(s.bytes, s.piece, s.delayMs)) return false;
        break;
      case Step::kPause:
        std::this_thread::sleep_for(std::chrono::milliseconds(s.delayMs));
        break;
      case Step::kClose:
        CloseClient();
        return true;
    }
  }
  return true;
}

void FakeNapsterServer::CloseClient() {
  std::lock_guard<std::mutex> hold(sendLock_);
  closeRequested_ = true;
  if (client_ != plat::kInvalidSocket) plat::ShutdownSocket(client_);
}

void FakeNapsterServer::Handle(const NapsterMessage& m) {
  Script script;
  bool scripted = false;
  {
    std::lock_guard<std::mutex> hold(lock_);
    received_.push_back(m);
    changed_.notify_all();
    auto it = scripts_.find(m.Type);
    if (it != scripts_.end()) {
      scripted = true;
      script = it->second;
    }
  }
  if (scripted) {
    Play(script);
  } else {
    BuiltIn(m);
  }
}

void FakeNapsterServer::BuiltIn(const NapsterMessage& m) {
  const std::string& text = m.Text;
  std::unique_lock<std::mutex> hold(lock_);
  switch (m.Type) {
    case 2: {  // login
      loginNick_ = FirstWord(text);
      NapsterMessage reply = ClientName(text).empty() ? NapsterMessage{0, kNoClientName} : loginReply_;
      Script after = afterLogin_;
      hold.unlock();
      Send(reply.Type, reply.Text);
      if (reply.Type != 3) {
        CloseClient();
      } else {
        Play(after);
      }
      return;
    }
    case 7: {  // nick check
      NapsterMessage reply = nickCheckReply_;
      hold.unlock();
      Send(reply.Type, reply.Text);
      return;
    }
    case 6: {  // new account
      loginNick_ = FirstWord(text);
      NapsterMessage reply = ClientName(text).empty() ? NapsterMessage{0, kNoClientName} : newUserReply_;
      hold.unlock();
      Send(reply.Type, reply.Text);
      if (reply.Type != 3) CloseClient();
      return;
    }
    case 200: {  // search
      std::vector<std::string> terms;
      int max = 0;
      ParseSearch(text, terms, max);
      std::vector<std::string> results;
      for (const auto& [nick, user] : users_) {
        for (const File& f : user.files) {
          std::string name = plat::UpperCase(f.name);
          bool all = true;
          for (const std::string& t : terms) all = all && name.find(t) != std::string::npos;
          if (!all || int(results.size()) >= max) continue;
          results.push_back(Quoted(f.name) + " " + f.md5 + " " + Num(f.size) + " " + Num(f.bitrate) + " " +
                            Num(f.frequency) + " " + Num(f.seconds) + " " + nick + " " + user.wireIP + " " +
                            Num(user.linkType));
        }
      }
      hold.unlock();
      for (const std::string& r : results) Send(201, r);
      Send(202, "");
      return;
    }
    case 211: {  // browse
      std::string nick = plat::Trim(text);
      auto it = users_.find(nick);
      std::vector<std::string> items;
      bool known = it != users_.end();
      // The end of a browse names the user and its address, as real servers do.
      std::string end = known ? nick + " " + it->second.wireIP : nick;
      if (known) {
        for (const File& f : it->second.files)
          items.push_back(nick + " " + Quoted(f.name) + " " + f.md5 + " " + Num(f.size) + " " + Num(f.bitrate) +
                          " " + Num(f.frequency) + " " + Num(f.seconds));
      }
      hold.unlock();
      if (!known) Send(210, nick);
      for (const std::string& i : items) Send(212, i);
      Send(213, end);
      return;
    }
    case 603: {  // whois, in the quoted form real servers use
      std::string nick = plat::Trim(text);
      auto it = users_.find(nick);
      if (it == users_.end()) {
        hold.unlock();
        Send(404, "user " + nick + " is not currently online");
        return;
      }
      const User& u = it->second;
      std::string channels;
      for (const auto& [name, c] : channels_)
        for (const std::string& member : c.members)
          if (member == nick) channels += name + " ";
      std::string reply = nick + " " + Quoted(u.level) + " 3600 " + Quoted(channels) + " \"Active\" " +
                          Num(int64_t(u.files.size())) + " 0 0 " + Num(u.linkType) + " " + Quoted(u.client) +
                          " 1 2 " + u.wireIP + " 8888 " + Num(u.dataPort);
      hold.unlock();
      Send(604, reply);
      return;
    }
    case 400: {  // join
      std::string name = plat::Trim(text);
      Channel& c = channels_[name];
      c.name = name;
      std::string me = loginNick_;
      bool present = false;
      for (const std::string& member : c.members) present = present || member == me;
      if (!present) c.members.push_back(me);
      std::vector<std::string> entries;
      for (const std::string& member : c.members) {
        auto u = users_.find(member);
        int files = u == users_.end() ? 0 : int(u->second.files.size());
        int link = u == users_.end() ? 0 : u->second.linkType;
        entries.push_back(name + " " + member + " " + Num(files) + " " + Num(link));
      }
      std::string topic = c.topic;
      hold.unlock();
      Send(405, name);
      for (const std::string& e : entries) Send(408, e);
      Send(409, name);
      Send(410, name + " " + topic);
      return;
    }
    case 401: {  // part
      std::string name = plat::Trim(text);
      auto it = channels_.find(name);
      if (it != channels_.end()) std::erase(it->second.members, loginNick_);
      hold.unlock();
      Send(401, name);
      return;
    }
    case 402: {  // public message, echoed to the channel
      std::string channel = FirstWord(text);
      std::string rest = text.size() > channel.size() ? text.substr(channel.size() + 1) : "";
      std::string me = loginNick_;
      hold.unlock();
      Send(403, channel + " " + me + " " + rest);
      return;
    }
    case 205: {  // private message: the user "echo" answers
      std::string to = FirstWord(text);
      std::string rest = text.size() > to.size() ? text.substr(to.size() + 1) : "";
      hold.unlock();
      if (to == "echo") Send(205, "echo " + rest);
      return;
    }
    case 617: {  // channel list
      std::vector<std::string> items;
      for (const auto& [name, c] : channels_) items.push_back(name + " " + Num(int64_t(c.members.size())) + " " + c.topic);
      hold.unlock();
      for (const std::string& i : items) Send(618, i);
      Send(617, "");
      return;
    }
    case 203: {  // download request: the uploader's address, or a push
      std::string nick = FirstWord(text);
      std::string rest = text.size() > nick.size() ? text.substr(nick.size() + 1) : "";
      auto it = users_.find(nick);
      if (it == users_.end()) {
        hold.unlock();
        Send(206, nick + " " + rest);
        return;
      }
      const User& u = it->second;
      std::string reply = u.dataPort > 0
                              ? nick + " " + u.wireIP + " " + Num(u.dataPort) + " " + rest + " " +
                                    "00000000000000000000000000000000 " + Num(u.linkType)
                              : nick + " " + u.wireIP + " 0 " + rest + " firewallerror 0";
      hold.unlock();
      Send(204, reply);
      return;
    }
    case 214: {  // statistics
      int64_t users = int64_t(users_.size()) + 1;
      int64_t files = 0;
      for (const auto& [nick, u] : users_) files += int64_t(u.files.size());
      hold.unlock();
      Send(214, Num(users) + " " + Num(files) + " 1");
      return;
    }
    default:
      return;
  }
}

// ----------------------------------------------------------------- observing

std::vector<NapsterMessage> FakeNapsterServer::Received() {
  std::lock_guard<std::mutex> hold(lock_);
  return received_;
}

void FakeNapsterServer::ClearReceived() {
  std::lock_guard<std::mutex> hold(lock_);
  received_.clear();
}

bool FakeNapsterServer::WaitFor(const std::function<bool(const std::vector<NapsterMessage>&)>& pred,
                                int timeoutMs) {
  std::unique_lock<std::mutex> hold(lock_);
  return changed_.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] { return pred(received_); });
}

bool FakeNapsterServer::WaitForType(uint16_t type, int timeoutMs, NapsterMessage* out, int n) {
  return WaitFor(
      [&](const std::vector<NapsterMessage>& all) {
        int seen = 0;
        for (const NapsterMessage& m : all) {
          if (m.Type != type || ++seen < n) continue;
          if (out) *out = m;
          return true;
        }
        return false;
      },
      timeoutMs);
}

int FakeNapsterServer::CountOfType(uint16_t type) {
  std::lock_guard<std::mutex> hold(lock_);
  int n = 0;
  for (const NapsterMessage& m : received_) n += m.Type == type;
  return n;
}

bool FakeNapsterServer::WaitForClientGone(int n, int timeoutMs) {
  std::unique_lock<std::mutex> hold(lock_);
  return changed_.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] { return gone_ >= n; });
}
