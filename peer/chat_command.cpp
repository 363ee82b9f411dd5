#include "peer/chat_command.h"

#include <algorithm>

#include "peer/napster/napster_client.h"
#include "peer/napster/napster_helpers.h"
#include "peer/text_command.h"
#include "platform/text.h"

namespace {

using V = TChatVerb;
using C = TNapsterClient;
using R = TChatRequest;
using Id = const std::string&;

// A text that travels between double quotes on the wire cannot hold one.
std::string Unquoted(std::string s) {
  std::replace(s.begin(), s.end(), '"', '\'');
  return s;
}

// A reason typed in quotes loses them.
std::string Reason(std::string s) {
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
  return Unquoted(plat::Trim(s));
}

// clang-format off
const std::vector<TChatVerb> kVerbs = {
    {"HELP", "", "lists these commands", TChatScope::kLocal, V::kNone, nullptr},
    {"JOIN", "channel", "joins a channel", TChatScope::kServer, V::kNewChannel,
     [](C& c, Id id, const R& r) { return c.Join(id, r.Channel); }},
    {"PART", "[channel]", "leaves the channel", TChatScope::kChannel, V::kChannel,
     [](C& c, Id id, const R& r) { return c.Part(id, r.Channel); }},
    {"SAY", "[channel] text", "says something in the channel (so does a line without \"/\")", TChatScope::kChannel,
     V::kChannelText, [](C& c, Id id, const R& r) { return c.PubMsg(id, r.Channel, r.Text); }},
    {"ME", "[channel] text", "an action in the channel: \"/me waves\"", TChatScope::kChannel, V::kChannelText,
     [](C& c, Id id, const R& r) { return c.Emote(id, r.Channel, Unquoted(r.Text)); }},
    {"TOPIC", "[channel] [topic]", "shows the channel's topic, or sets it", TChatScope::kChannel, V::kChannelTopic,
     [](C& c, Id id, const R& r) {
       // The topic is set by the message that asks for it, with the new
       // topic after the channel.
       if (r.Text.empty()) return c.GetTopic(id, r.Channel);
       return c.RawCommand(id, 410, r.Channel + " " + r.Text);
     }},
    {"CHANNELS", "", "lists the server's channels", TChatScope::kServer, V::kNone,
     [](C& c, Id id, const R&) { return c.GetChannelList(id); }},
    {"MSG", "nick text", "a private message", TChatScope::kEvery, V::kNickText,
     [](C& c, Id id, const R& r) { return c.PrivMsg(id, r.Nick, r.Text); }},
    {"WHOIS", "nick", "who a user is", TChatScope::kEvery, V::kNick,
     [](C& c, Id id, const R& r) { return c.WhoIs(id, r.Nick); }},
    {"BROWSE", "nick", "a user's shared files", TChatScope::kEvery, V::kNick,
     [](C& c, Id id, const R& r) { return c.GetDir(id, r.Nick); }},
    {"HOTLIST", "[nick]", "puts a user on the hot list, to be told when they come and go; alone: shows the list",
     TChatScope::kServer, V::kNickOrList, [](C& c, Id id, const R& r) {
       return r.Nick.empty() || c.HotlistAdd(id, r.Nick);
     }},
    {"UNHOTLIST", "nick", "takes a user off the hot list", TChatScope::kServer, V::kNick,
     [](C& c, Id id, const R& r) { return c.HotlistRemove(id, r.Nick); }},
    {"IGNORE", "[nick]", "ignores a user's messages; alone: lists who is ignored", TChatScope::kServer,
     V::kNickOrList, [](C& c, Id id, const R& r) {
       if (r.Nick.empty()) return c.GetIgnoreList(id);
       return c.IgnoreAdd(id, r.Nick);
     }},
    {"UNIGNORE", "nick", "hears a user again", TChatScope::kServer, V::kNick,
     [](C& c, Id id, const R& r) { return c.IgnoreRemove(id, r.Nick); }},
    {"MOTD", "", "the server's message of the day", TChatScope::kServer, V::kNone,
     [](C& c, Id id, const R&) { return c.GetMOTD(id); }},
    {"STATS", "", "the server's users, files and gigabytes", TChatScope::kEvery, V::kNone,
     [](C& c, Id id, const R&) { return c.GetStats(id); }},
    {"PASSWORD", "new-password", "changes your password on the server", TChatScope::kServer, V::kWord,
     [](C& c, Id id, const R& r) { return c.SetPassword(id, r.Nick); }},
    {"KICK", "[channel] nick [reason]", "throws a user out of the channel (operators)", TChatScope::kChannel,
     V::kChannelNick, [](C& c, Id id, const R& r) { return c.Kick(id, r.Channel, r.Nick, r.Text); }},
    {"CHANNELBAN", "[channel] nick", "bans a user from the channel (operators)", TChatScope::kChannel,
     V::kChannelNick, [](C& c, Id id, const R& r) { return c.ChannelBanAdd(id, r.Channel, r.Nick); }},
    {"UNCHANNELBAN", "[channel] nick", "lifts a ban from the channel (operators)", TChatScope::kChannel,
     V::kChannelNick, [](C& c, Id id, const R& r) { return c.ChannelBanRemove(id, r.Channel, r.Nick); }},
    {"CHANNELBANS", "[channel]", "the channel's bans", TChatScope::kChannel, V::kChannel,
     [](C& c, Id id, const R& r) { return c.GetChannelBanList(id, r.Channel); }},
    {"BAN", "nick-or-address [reason]", "bans a user or an address from the server (operators)",
     TChatScope::kServer, V::kNickReason, [](C& c, Id id, const R& r) { return c.BanAdd(id, r.Nick, r.Text); }},
    {"UNBAN", "nick-or-address", "lifts a ban from the server (operators)", TChatScope::kServer, V::kNick,
     [](C& c, Id id, const R& r) { return c.BanRemove(id, r.Nick); }},
    {"BANS", "", "the server's bans", TChatScope::kServer, V::kNone, [](C& c, Id id, const R&) { return c.GetBanList(id); }},
    {"MUZZLE", "nick [reason]", "stops a user from talking in channels (operators)", TChatScope::kServer,
     V::kNickReason, [](C& c, Id id, const R& r) { return c.MuzzleAdd(id, r.Nick, r.Text); }},
    {"UNMUZZLE", "nick [reason]", "lets a muzzled user talk again (operators)", TChatScope::kServer, V::kNickReason,
     [](C& c, Id id, const R& r) { return c.MuzzleRemove(id, r.Nick, r.Text); }},
    {"GLOBAL", "text", "a message to every user of the server (administrators)", TChatScope::kServer, V::kText,
     [](C& c, Id id, const R& r) { return c.GlobalMsg(id, r.Text); }},
    {"OPMSG", "text", "a message to the server's operators (operators)", TChatScope::kServer, V::kText,
     [](C& c, Id id, const R& r) { return c.OperatorMsg(id, r.Text); }},
    {"LEVEL", "nick level", "sets a user's level: Leech, User, Moderator, Admin or Elite (administrators)",
     TChatScope::kServer, V::kNickWord, [](C& c, Id id, const R& r) { return c.SetUserLevel(id, r.Nick, r.Text); }},
    {"KILL", "nick", "disconnects a user (operators)", TChatScope::kServer, V::kNick,
     [](C& c, Id id, const R& r) { return c.Kill(id, r.Nick); }},
    {"NUKE", "nick", "deletes a user's account (administrators)", TChatScope::kServer, V::kNick,
     [](C& c, Id id, const R& r) { return c.NukeAdd(id, r.Nick); }},
    {"UNNUKE", "nick", "gives a deleted account back (administrators)", TChatScope::kServer, V::kNick,
     [](C& c, Id id, const R& r) { return c.NukeRemove(id, r.Nick); }},
    {"RAW", "type [text]", "sends one message of that type, the text as it stands", TChatScope::kServer,
     V::kNumberText, [](C& c, Id id, const R& r) { return c.RawCommand(id, r.Number, r.Text); }},
};
// clang-format on

}  // namespace

const std::vector<TChatVerb>& ChatVerbs() { return kVerbs; }

const TChatVerb* FindChatVerb(const std::string& word) {
  const std::string name = plat::UpperAscii(word);
  for (const TChatVerb& v : kVerbs)
    if (name == v.Name) return &v;
  return nullptr;
}

std::string ChatVerbHelp(const TChatVerb& verb, bool slashed) {
  std::string usage = slashed ? "/" + plat::LowerCase(verb.Name) : verb.Name;
  if (*verb.Args) usage += std::string(" ") + verb.Args;
  return usage + " - " + verb.Help;
}

std::string ParseChatCommand(const std::string& line, const TChatPlace& place, TChatRequest& out) {
  out = TChatRequest();
  const std::vector<std::string> w = SplitCommandWords(line);
  if (w.empty() || !(out.Verb = FindChatVerb(w[0]))) return "unknown command";
  const TChatVerb::TShape shape = out.Verb->Shape;
  constexpr const char* kMissing = "missing arguments";
  size_t next = 1;  // the next word to read
  auto more = [&] { return next < w.size(); };
  auto rest = [&] { return CommandRest(line, next); };

  // The channel: named first, or the one in view.
  if (shape == V::kNewChannel || shape == V::kChannel) {
    if (more()) out.Channel = w[next++];
  } else if (shape == V::kChannelText || shape == V::kChannelTopic || shape == V::kChannelNick) {
    const bool named = more() && !w[next].empty() &&
                       (w[next][0] == '#' || (place.Joined && place.Joined(w[next])));
    // A nick verb keeps its nick when that is the only word.
    const bool nickOnly = shape == V::kChannelNick && next + 1 >= w.size();
    if (named && !nickOnly) out.Channel = w[next++];
  }
  const bool inChannel = shape == V::kChannel || shape == V::kChannelText || shape == V::kChannelTopic ||
                         shape == V::kChannelNick;
  if (inChannel && out.Channel.empty()) out.Channel = place.Channel;

  switch (shape) {
    case V::kNone: break;
    case V::kNewChannel:
      if (out.Channel.empty()) return kMissing;
      break;
    case V::kNick:
    case V::kWord:
      if (!more()) return kMissing;
      out.Nick = w[next++];
      break;
    case V::kNickOrList:
      if (more()) out.Nick = w[next++];
      break;
    case V::kNickText:
      if (!more()) return kMissing;
      out.Nick = w[next++];
      out.Text = rest();
      if (out.Text.empty()) return kMissing;
      break;
    case V::kNickReason:
      if (!more()) return kMissing;
      out.Nick = w[next++];
      out.Text = Reason(rest());
      break;
    case V::kNickWord:
      if (next + 1 >= w.size()) return kMissing;
      out.Nick = w[next++];
      out.Text = w[next++];
      break;
    case V::kText:
      out.Text = rest();
      if (out.Text.empty()) return kMissing;
      break;
    case V::kNumberText: {
      if (!more()) return kMissing;
      out.Number = CommandInt(w[next++], -1);
      if (out.Number < 0 || out.Number > 0xFFFF) return kMissing;
      out.Text = rest();
      break;
    }
    case V::kChannel: break;
    case V::kChannelText:
      out.Text = rest();
      if (out.Text.empty()) return kMissing;
      break;
    case V::kChannelTopic: out.Text = rest(); break;
    case V::kChannelNick:
      if (!more()) return kMissing;
      out.Nick = w[next++];
      out.Text = Reason(rest());
      break;
  }
  if (inChannel && out.Channel.empty()) return "no channel";
  // Nicks, channels and words travel as one word each, by the nick's rule.
  for (const std::string* word : {&out.Channel, &out.Nick})
    if (!word->empty() && !UsableNick(*word)) return kMissing;
  return "";
}
