#include "tools/fake_napster_server.h"

#include <chrono>

#include "platform/text.h"

namespace {

// The client whose message this thread is answering (none on the test's
// threads).
thread_local void* tServing = nullptr;

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
constexpr const char* kEmail = "fake@tarnwick.test";

// The n-th word (from 0) of a text.
std::string Word(const std::string& text, int n) {
  size_t at = 0;
  for (int i = 0; i < n && at != std::string::npos; ++i) {
    at = text.find(' ', at);
    if (at != std::string::npos) ++at;
  }
  return at == std::string::npos ? std::string() : FirstWord(text.substr(at));
}

// A nick no account may have.
bool InvalidNick(const std::string& nick) {
  if (nick.empty() || nick.size() > 19) return true;
  for (unsigned char c : nick)
    if (c <= ' ' || c == '"' || c >= 127) return true;
  return false;
}

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

FakeNapsterServer::File FakeNapsterServer::Song(const std::string& name, int64_t size, int bitrate, int seconds) {
  File f;
  f.name = name;
  f.size = size;
  f.bitrate = bitrate;
  f.seconds = seconds;
  return f;
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
  thread_.join();
  std::vector<ClientPtr> clients;
  {
    std::lock_guard<std::mutex> hold(lock_);
    clients = clients_;
  }
  for (const ClientPtr& c : clients) {
    CloseTo(*c);
    if (c->thread.joinable()) c->thread.join();
  }
  std::lock_guard<std::mutex> hold(lock_);
  clients_.clear();
  latest_.reset();
  plat::CloseSocket(listener_);
  listener_ = plat::kInvalidSocket;
}

void FakeNapsterServer::SetAutoRegistration(bool on) {
  std::lock_guard<std::mutex> hold(lock_);
  autoRegistration_ = on;
}

void FakeNapsterServer::SetCheckUploads(bool on) {
  std::lock_guard<std::mutex> hold(lock_);
  checkUploads_ = on;
}

void FakeNapsterServer::AddAccount(const std::string& nick, const std::string& password) {
  std::lock_guard<std::mutex> hold(lock_);
  accounts_[nick] = password;
}

bool FakeNapsterServer::HasAccount(const std::string& nick, std::string* password) {
  std::lock_guard<std::mutex> hold(lock_);
  auto it = accounts_.find(nick);
  if (it == accounts_.end()) return false;
  if (password) *password = it->second;
  return true;
}

void FakeNapsterServer::SetLoginReply(uint16_t type, std::string text) {
  std::lock_guard<std::mutex> hold(lock_);
  loginReply_ = NapsterMessage{type, std::move(text)};
}

void FakeNapsterServer::SetNickCheckReply(uint16_t type, std::string text) {
  std::lock_guard<std::mutex> hold(lock_);
  nickCheckReply_ = NapsterMessage{type, std::move(text)};
}

void FakeNapsterServer::SetNewUserReply(uint16_t type, std::string text) {
  std::lock_guard<std::mutex> hold(lock_);
  newUserReply_ = NapsterMessage{type, std::move(text)};
}

NapsterMessage FakeNapsterServer::AccountReply(uint16_t type, const std::string& login) {
  const std::string nick = Word(login, 0), password = Word(login, 1);
  auto account = accounts_.find(nick);
  if (type == 6) {
    if (InvalidNick(nick)) return {10, ""};
    if (account != accounts_.end()) return {0, "Nick is already registered."};
    accounts_[nick] = password;
    return {3, kEmail};
  }
  if (account != accounts_.end()) return account->second == password ? NapsterMessage{3, kEmail} : NapsterMessage{0, "Invalid Password"};
  if (autoRegistration_ && !InvalidNick(nick)) accounts_[nick] = password;
  return {3, kEmail};
}

bool FakeNapsterServer::Announced(const std::string& file) const {
  for (const NapsterMessage& m : received_)
    if (m.Type == 100 && m.Text.rfind(Quoted(file) + " ", 0) == 0) return true;
  return false;
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

void FakeNapsterServer::SetMotd(std::vector<std::string> lines) {
  std::lock_guard<std::mutex> hold(lock_);
  motd_ = std::move(lines);
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
    plat::SocketHandle socket = plat::AcceptSocket(listener_, &addr, &port);
    if (socket == plat::kInvalidSocket) continue;
    auto client = std::make_shared<Client>();
    client->socket = socket;
    std::vector<ClientPtr> ended;
    {
      std::lock_guard<std::mutex> hold(lock_);
      // Clients served to the end leave the list (their threads are joined
      // below, outside the lock).
      for (auto it = clients_.begin(); it != clients_.end();) {
        if ((*it)->done) {
          ended.push_back(*it);
          it = clients_.erase(it);
        } else {
          ++it;
        }
      }
      // What a redirector answers is what it was told before it counted
      // this client as accepted.
      client->redirected = redirector_;
      client->redirectAnswer = redirectAnswer_;
      client->redirectPiece = redirectPiece_;
      clients_.push_back(client);
      latest_ = client;
      clientOpen_ = true;
      accepted_++;
    }
    for (const ClientPtr& c : ended)
      if (c->thread.joinable()) c->thread.join();
    client->thread = std::thread([this, client] { Serve(client); });
  }
}

void FakeNapsterServer::Serve(ClientPtr client) {
  tServing = client.get();
  const plat::SocketHandle socket = client->socket;
  plat::SetNoDelay(socket, true);

  if (client->redirected) {
    {
      std::unique_lock<std::mutex> hold(lock_);
      changed_.wait(hold, [this] { return !redirectHeld_ || stop_; });
    }
    SendBytes(client->redirectAnswer, client->redirectPiece, client->redirectPiece > 0 ? 5 : 0);
  } else {
    NapsterFrameReader reader(0xFFFF);
    plat::SocketWaiter waiter;
    while (!stop_) {
      {
        std::lock_guard<std::mutex> hold(client->sendLock);
        if (client->closeRequested) break;
      }
      plat::WaitResult r = waiter.Wait(socket, plat::kWaitRead, 50);
      if (r == plat::WaitResult::kTimeout) continue;
      if (r != plat::WaitResult::kReady) break;
      char buffer[8192];
      int n = plat::RecvSocket(socket, buffer, sizeof buffer);
      if (n <= 0) break;
      reader.Feed(buffer, std::size_t(n));
      NapsterMessage m;
      while (reader.Next(m) == NapsterFrameReader::Result::kMessage) Handle(m);
    }
  }
  {
    std::lock_guard<std::mutex> hold(client->sendLock);
    client->socket = plat::kInvalidSocket;
  }
  plat::ShutdownSocket(socket);
  plat::CloseSocket(socket);
  Outbox out;
  {
    std::lock_guard<std::mutex> hold(lock_);
    SignedOff(*client, out);
  }
  Deliver(out);
  std::lock_guard<std::mutex> hold(lock_);
  if (latest_ == client) clientOpen_ = false;
  client->done = true;
  gone_++;
  changed_.notify_all();
  tServing = nullptr;
}

FakeNapsterServer::ClientPtr FakeNapsterServer::Target() {
  std::lock_guard<std::mutex> hold(lock_);
  if (tServing)
    for (const ClientPtr& c : clients_)
      if (c.get() == tServing) return c;
  return latest_;
}

bool FakeNapsterServer::SendTo(Client& client, const std::string& bytes, int piece, int delayMs) {
  std::lock_guard<std::mutex> hold(client.sendLock);
  if (client.socket == plat::kInvalidSocket || client.closeRequested) return false;
  std::size_t step = piece > 0 ? std::size_t(piece) : bytes.size();
  for (std::size_t at = 0; at < bytes.size();) {
    std::size_t end = std::min(bytes.size(), at + step);
    while (at < end) {
      int n = plat::SendSocket(client.socket, bytes.data() + at, int(end - at));
      if (n <= 0) return false;
      at += std::size_t(n);
    }
    if (delayMs > 0 && at < bytes.size()) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
  }
  return true;
}

bool FakeNapsterServer::SendBytes(const std::string& bytes, int piece, int delayMs) {
  ClientPtr to = Target();
  return to && SendTo(*to, bytes, piece, delayMs);
}

bool FakeNapsterServer::Send(uint16_t type, const std::string& text) {
  std::string frame;
  if (!EncodeNapsterMessage(type, text, 0xFFFF, frame)) return false;
  return SendBytes(frame, 0, 0);
}

void FakeNapsterServer::Deliver(const Outbox& out) {
  for (const Delivery& d : out) {
    std::string frame;
    if (d.close) {
      CloseTo(*d.to);
    } else if (EncodeNapsterMessage(d.type, d.text, 0xFFFF, frame)) {
      SendTo(*d.to, frame);
    }
  }
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
  if (ClientPtr to = Target()) CloseTo(*to);
}

void FakeNapsterServer::CloseTo(Client& client) {
  std::lock_guard<std::mutex> hold(client.sendLock);
  client.closeRequested = true;
  if (client.socket != plat::kInvalidSocket) plat::ShutdownSocket(client.socket);
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
  const ClientPtr me = Target();
  if (!me) return;
  std::unique_lock<std::mutex> hold(lock_);
  Outbox out;  // what the others are told
  switch (m.Type) {
    case 2: {  // login
      NapsterMessage reply = ClientName(text).empty() ? NapsterMessage{0, kNoClientName}
                             : loginReply_            ? *loginReply_
                                                      : AccountReply(2, text);
      Script after = afterLogin_;
      if (reply.Type == 3) SignedOn(me, text, out);
      hold.unlock();
      Send(reply.Type, reply.Text);
      if (reply.Type != 3) {
        CloseClient();
      } else {
        Deliver(out);
        Play(after);
      }
      return;
    }
    case 7: {  // nick check
      const std::string nick = plat::Trim(text);
      NapsterMessage reply = nickCheckReply_            ? *nickCheckReply_
                             : InvalidNick(nick)        ? NapsterMessage{10, ""}
                             : accounts_.count(nick) > 0 ? NapsterMessage{9, ""}
                                                         : NapsterMessage{8, ""};
      hold.unlock();
      Send(reply.Type, reply.Text);
      return;
    }
    case 6: {  // new account
      NapsterMessage reply = ClientName(text).empty() ? NapsterMessage{0, kNoClientName}
                             : newUserReply_          ? *newUserReply_
                                                      : AccountReply(6, text);
      if (reply.Type == 3) SignedOn(me, text, out);
      hold.unlock();
      Send(reply.Type, reply.Text);
      if (reply.Type != 3) CloseClient();
      Deliver(out);
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
    case 608: {  // an accepted upload: the file must be in the client's list
      std::string nick = FirstWord(text);
      std::string rest = text.size() > nick.size() ? text.substr(nick.size() + 1) : "";
      std::string file = rest.size() >= 2 && rest.front() == '"' ? rest.substr(1, rest.find('"', 1) - 1) : rest;
      const bool shared = !checkUploads_ || Announced(file);
      hold.unlock();
      if (!shared) Send(404, "Not sharing that file");
      return;
    }
    default:
      if (!Chat(*me, m, out)) return;
      hold.unlock();
      Deliver(out);
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
