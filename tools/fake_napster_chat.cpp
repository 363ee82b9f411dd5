// The chat of the scripted Napster server: what an OpenNap server answers
// to the clients logged in at once (channels, private messages, hot and
// ignore lists, the message of the day, whois, and the operators'
// requests). Every answer and notice is queued in an Outbox under the
// world's lock and sent once the lock is released.
#include <algorithm>

#include "platform/text.h"
#include "tools/fake_napster_server.h"

namespace {

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }
std::string Num(int64_t v) { return std::to_string(v); }

// The first word of a text, and what follows it (trimmed).
std::string Word(const std::string& text) { return plat::Trim(text).substr(0, plat::Trim(text).find(' ')); }
std::string After(const std::string& text, const std::string& word) {
  const std::string t = plat::Trim(text);
  return t.size() > word.size() ? plat::Trim(t.substr(word.size())) : "";
}
// The text of the first pair of double quotes ("" when there is none).
std::string QuotedText(const std::string& text) {
  const size_t open = text.find('"');
  const size_t close = open == std::string::npos ? open : text.find('"', open + 1);
  return close == std::string::npos ? "" : text.substr(open + 1, close - open - 1);
}

bool Has(const std::vector<std::string>& list, const std::string& nick) {
  return std::any_of(list.begin(), list.end(), [&](const std::string& n) { return plat::SameText(n, nick); });
}
void Erase(std::vector<std::string>& list, const std::string& nick) {
  std::erase_if(list, [&](const std::string& n) { return plat::SameText(n, nick); });
}

// The levels in their order; the operators' requests need Moderator.
int Rank(const std::string& level) {
  static const char* const kLevels[] = {"Leech", "User", "Moderator", "Admin", "Elite"};
  for (int i = 0; i < 5; ++i)
    if (plat::SameText(level, kLevels[i])) return i;
  return 1;
}
constexpr int kModerator = 2, kAdmin = 3;
constexpr const char* kDenied = "permission denied";

bool ValidName(const std::string& name) {
  return !name.empty() && name.find_first_of(" \t\"") == std::string::npos;
}

}  // namespace

FakeNapsterServer::ClientPtr FakeNapsterServer::Online(const std::string& nick) const {
  for (const ClientPtr& c : clients_)
    if (c->online && plat::SameText(c->nick, nick)) return c;
  return nullptr;
}

bool FakeNapsterServer::IsUser(const std::string& nick) const {
  return users_.count(nick) > 0 || Online(nick) != nullptr;
}

std::string FakeNapsterServer::MemberText(const std::string& channel, const std::string& nick) const {
  int files = 0, link = 0;
  if (ClientPtr c = Online(nick)) {
    files = c->files;
    link = c->linkType;
  } else if (auto u = users_.find(nick); u != users_.end()) {
    files = int(u->second.files.size());
    link = u->second.linkType;
  }
  return channel + " " + nick + " " + Num(files) + " " + Num(link);
}

void FakeNapsterServer::ToChannel(const std::string& channel, uint16_t type, const std::string& text, Outbox& out,
                                  const Client* except) const {
  auto it = channels_.find(channel);
  if (it == channels_.end()) return;
  for (const std::string& member : it->second.members)
    if (ClientPtr c = Online(member); c && c.get() != except) out.push_back({c, type, text});
}

void FakeNapsterServer::LeaveChannel(const std::string& channel, const std::string& nick, Outbox& out) {
  auto it = channels_.find(channel);
  if (it == channels_.end() || !Has(it->second.members, nick)) return;
  const std::string notice = MemberText(channel, nick);
  Erase(it->second.members, nick);
  ToChannel(channel, 407, notice, out);
}

std::string FakeNapsterServer::Whois(const std::string& nick) const {
  std::string level, client, ip = "16777343";
  int64_t files = 0;
  int link = 0, dataPort = 0;
  if (ClientPtr c = Online(nick)) {
    level = c->level;
    client = "napster client";
    files = c->files;
    link = c->linkType;
  } else if (auto u = users_.find(nick); u != users_.end()) {
    level = u->second.level;
    client = u->second.client;
    ip = u->second.wireIP;
    files = int64_t(u->second.files.size());
    link = u->second.linkType;
    dataPort = u->second.dataPort;
  } else {
    return "";
  }
  std::string channels;
  for (const auto& [name, c] : channels_)
    if (Has(c.members, nick)) channels += name + " ";
  return nick + " " + Quoted(level) + " 3600 " + Quoted(channels) + " \"Active\" " + Num(files) + " 0 0 " +
         Num(link) + " " + Quoted(client) + " 1 2 " + ip + " 8888 " + Num(dataPort);
}

void FakeNapsterServer::SignedOn(const ClientPtr& client, const std::string& login, Outbox& out) {
  // nick password port "client" link-type ...
  client->nick = Word(login);
  const size_t close = login.find('"', login.find('"') + 1);
  client->linkType = close == std::string::npos ? 0 : std::atoi(Word(login.substr(close + 1)).c_str());
  auto u = users_.find(client->nick);
  client->level = u == users_.end() ? "User" : u->second.level;
  client->online = true;
  for (const std::string& line : motd_) out.push_back({client, 621, line});
  for (const ClientPtr& c : clients_)
    if (c != client && c->online && Has(c->hotlist, client->nick))
      out.push_back({c, 209, client->nick + " " + Num(client->linkType)});
}

void FakeNapsterServer::SignedOff(Client& client, Outbox& out) {
  if (!client.online) return;
  // Still online while it leaves: the part notices show its files.
  for (const auto& [name, channel] : channels_) LeaveChannel(name, client.nick, out);
  client.online = false;
  for (const ClientPtr& c : clients_)
    if (c->online && Has(c->hotlist, client.nick)) out.push_back({c, 210, client.nick});
}

bool FakeNapsterServer::Chat(Client& from, const NapsterMessage& m, Outbox& out) {
  // `me` is the shared handle of the sender, for answers in the outbox.
  ClientPtr me;
  for (const ClientPtr& c : clients_)
    if (c.get() == &from) me = c;
  if (!me) return false;
  const std::string text = plat::Trim(m.Text);
  const std::string first = Word(text);
  const std::string rest = After(text, first);
  auto tell = [&](uint16_t type, const std::string& t) { out.push_back({me, type, t}); };
  auto error = [&](const std::string& t) { tell(404, t); };
  auto may = [&](int rank) {
    if (Rank(from.level) >= rank) return true;
    error(kDenied);
    return false;
  };
  switch (m.Type) {
    case 100:  // a shared file
      from.files++;
      return true;
    case 102:
      from.files = std::max(0, from.files - 1);
      return true;

    // ------------------------------------------------------------ users
    case 205: {  // private message; the user "echo" answers
      if (first == "echo") {
        tell(205, "echo " + rest);
      } else if (ClientPtr to = Online(first)) {
        if (!Has(to->ignored, from.nick)) out.push_back({to, 205, from.nick + " " + rest});
      } else if (!users_.count(first)) {
        error("user " + first + " is not currently online");
      }
      return true;
    }
    case 603: {  // whois, in the quoted form real servers use
      const std::string reply = Whois(text);
      if (reply.empty())
        error("user " + text + " is not currently online");
      else
        tell(604, reply);
      return true;
    }
    case 207:
    case 208: {  // hot list entry: acknowledged, and the user's presence told
      if (!ValidName(text)) {
        tell(302, text);
        return true;
      }
      if (!Has(from.hotlist, text)) from.hotlist.push_back(text);
      tell(301, text);
      if (ClientPtr c = Online(text))
        tell(209, c->nick + " " + Num(c->linkType));
      else if (auto u = users_.find(text); u != users_.end())
        tell(209, text + " " + Num(u->second.linkType));
      return true;
    }
    case 303:
      Erase(from.hotlist, text);
      return true;
    case 320:  // ignore list
      for (const std::string& n : from.ignored) tell(321, n);
      tell(320, Num(int64_t(from.ignored.size())));
      return true;
    case 322:
      if (!ValidName(text) || Has(from.ignored, text)) {
        tell(325, text);
      } else {
        from.ignored.push_back(text);
        tell(322, text);
      }
      return true;
    case 323:
      if (Has(from.ignored, text)) {
        Erase(from.ignored, text);
        tell(323, text);
      } else {
        tell(324, text);
      }
      return true;
    case 326:
      tell(326, Num(int64_t(from.ignored.size())));
      from.ignored.clear();
      return true;
    case 621:
      for (const std::string& line : motd_) tell(621, line);
      return true;
    case 214: {  // statistics: the world's users and the clients online
      int64_t users = int64_t(users_.size()), files = 0;
      for (const auto& [nick, u] : users_) files += int64_t(u.files.size());
      for (const ClientPtr& c : clients_) {
        users += c->online;
        files += c->online ? c->files : 0;
      }
      tell(214, Num(users) + " " + Num(files) + " 1");
      return true;
    }
    case 701:  // a new password: taken without an answer
      return true;

    // ------------------------------------------------------------ channels
    case 400: {  // join
      if (!ValidName(text)) {
        error("invalid channel name: " + text);
        return true;
      }
      if (Has(channelBans_[text], from.nick)) {
        error("You are banned from channel " + text);
        return true;
      }
      Channel& c = channels_[text];
      c.name = text;
      const bool fresh = !Has(c.members, from.nick);
      if (fresh) {
        c.members.push_back(from.nick);
        ToChannel(text, 406, MemberText(text, from.nick), out, &from);
      }
      tell(405, text);
      for (const std::string& member : c.members) tell(408, MemberText(text, member));
      tell(409, text);
      tell(410, text + " " + c.topic);
      return true;
    }
    case 401: {  // part
      auto it = channels_.find(text);
      if (it == channels_.end() || !Has(it->second.members, from.nick)) {
        error("You are not on channel " + text);
        return true;
      }
      LeaveChannel(text, from.nick, out);
      tell(401, text);
      return true;
    }
    case 402:    // public message
    case 824: {  // emote: channel "text"
      auto it = channels_.find(first);
      if (it == channels_.end() || !Has(it->second.members, from.nick)) {
        error("You are not on channel " + first);
      } else if (from.muzzled) {
        error("You are muzzled");
      } else if (m.Type == 402) {
        ToChannel(first, 403, first + " " + from.nick + " " + rest, out);
      } else {
        ToChannel(first, 824, first + " " + from.nick + " " + Quoted(QuotedText(rest)), out);
      }
      return true;
    }
    case 410: {  // topic: asked (channel alone) or set
      auto it = channels_.find(first);
      if (it == channels_.end()) {
        error("channel " + first + " does not exist");
      } else if (rest.empty()) {
        tell(410, first + " " + it->second.topic);
      } else if (!Has(it->second.members, from.nick)) {
        error("You are not on channel " + first);
      } else {
        it->second.topic = rest;
        ToChannel(first, 410, first + " " + rest, out);
      }
      return true;
    }
    case 617:  // channel list
      for (const auto& [name, c] : channels_) tell(618, name + " " + Num(int64_t(c.members.size())) + " " + c.topic);
      tell(617, "");
      return true;
    case 829: {  // kick: channel nick ["reason"]; servers refuse one without a channel
      const std::string nick = Word(rest);
      const std::string reason = QuotedText(rest);
      auto it = channels_.find(first);
      if (it == channels_.end()) {
        error("kick failed: no such channel " + first);
      } else if (!may(kModerator)) {
      } else if (!Has(it->second.members, nick)) {
        error("kick failed: " + nick + " is not on channel " + first);
      } else {
        LeaveChannel(first, nick, out);
        if (ClientPtr c = Online(nick)) {
          out.push_back({c, 404, "You were kicked from channel " + first + " by " + from.nick + ": " + reason});
          out.push_back({c, 401, first});
        }
        error(nick + " was kicked from channel " + first);
      }
      return true;
    }
    case 420: {  // channel ban list
      for (const std::string& dest : channelBans_[text]) tell(421, text + " " + dest);
      tell(420, text);
      return true;
    }
    case 422:
    case 423: {  // channel ban: channel nick ["reason"]
      const std::string nick = Word(rest);
      if (!may(kModerator)) return true;
      std::vector<std::string>& list = channelBans_[first];
      if (m.Type == 422 && !Has(list, nick)) list.push_back(nick);
      if (m.Type == 423) Erase(list, nick);
      error(nick + (m.Type == 422 ? " is banned from channel " : " is no longer banned from channel ") + first);
      return true;
    }

    // ------------------------------------------------------------ operators
    case 628:  // global message, to everyone online
      if (!may(kAdmin)) return true;
      for (const ClientPtr& c : clients_)
        if (c->online) out.push_back({c, 628, from.nick + " " + text});
      return true;
    case 627:  // operator message, to the operators online
      if (!may(kModerator)) return true;
      for (const ClientPtr& c : clients_)
        if (c->online && Rank(c->level) >= kModerator) out.push_back({c, 627, from.nick + " " + text});
      return true;
    case 612: {  // ban: nick or address ["reason"]
      if (!may(kModerator)) return true;
      bans_.push_back({first, from.nick, QuotedText(rest)});
      error(first + " is banned");
      return true;
    }
    case 614: {
      if (!may(kModerator)) return true;
      const size_t before = bans_.size();
      std::erase_if(bans_, [&](const Ban& b) { return plat::SameText(b.target, first); });
      error(bans_.size() < before ? first + " is no longer banned" : first + " is not banned");
      return true;
    }
    case 615:  // ban list
      for (const Ban& b : bans_) tell(616, b.target + " " + b.by + " " + Quoted(b.reason) + " 0 0");
      tell(615, "");
      return true;
    case 622:
    case 623: {  // muzzle: nick ["reason"]
      if (!may(kModerator)) return true;
      ClientPtr c = Online(first);
      if (!c) {
        error("user " + first + " is not currently online");
        return true;
      }
      c->muzzled = m.Type == 622;
      const std::string reason = QuotedText(rest);
      out.push_back({c, 404, std::string(c->muzzled ? "You were muzzled by " : "You were unmuzzled by ") + from.nick +
                                 (reason.empty() ? "" : ": " + reason)});
      error(first + (c->muzzled ? " is muzzled" : " is no longer muzzled"));
      return true;
    }
    case 606: {  // user level: nick level
      if (!may(kAdmin)) return true;
      if (ClientPtr c = Online(first)) c->level = rest;
      if (auto u = users_.find(first); u != users_.end()) u->second.level = rest;
      error(first + "'s level is " + rest);
      return true;
    }
    case 610: {  // kill: the user is disconnected
      if (!may(kModerator)) return true;
      ClientPtr c = Online(first);
      if (!c) {
        error("user " + first + " is not currently online");
        return true;
      }
      out.push_back({c, 404, "You were killed by " + from.nick});
      out.push_back({c, 0, "", true});
      error(first + " was killed");
      return true;
    }
    case 611:
    case 624:  // nuke and un-nuke of an account
      if (!may(kAdmin)) return true;
      error(first + (m.Type == 611 ? " is nuked" : " is no longer nuked"));
      return true;
    default:
      return false;
  }
}

std::vector<std::string> FakeNapsterServer::ChannelMembers(const std::string& channel) {
  std::lock_guard<std::mutex> hold(lock_);
  auto it = channels_.find(channel);
  return it == channels_.end() ? std::vector<std::string>() : it->second.members;
}
