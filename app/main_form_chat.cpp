// The main window's chat: the verbs of the messages line (one for each
// request of the client component, read by the one text-command
// interpreter), the Chat menu, the channels joined with their users, and
// the hot list, all shown in the messages view.
#include <algorithm>

#include "app/language.h"
#include "app/legacy_settings_form.h"
#include "app/main_form.h"
#include "app/message_view.h"
#include "core/globals.h"
#include "peer/chat_command.h"
#include "peer/napster/napster_helpers.h"
#include "peer/text_command.h"
#include "platform/text.h"

namespace {

constexpr const char* kChat = "Chat";
constexpr const char* kSection = "MainForm";

bool Same(const std::string& a, const std::string& b) { return plat::SameText(a, b); }

template <class List>
auto FindText(List& list, const std::string& name) {
  return std::find_if(list.begin(), list.end(), [&](const std::string& n) { return Same(n, name); });
}

// Requests whose success no answer of a server shows: the log says what
// went out, and where.
bool Unanswered(const std::string& verb) {
  static const char* const kVerbs[] = {"KICK",   "CHANNELBAN", "UNCHANNELBAN", "BAN",  "UNBAN", "MUZZLE", "UNMUZZLE",
                                       "LEVEL",  "KILL",       "NUKE",         "UNNUKE", "RAW", "OPMSG"};
  return std::any_of(std::begin(kVerbs), std::end(kVerbs), [&](const char* v) { return verb == v; });
}

}  // namespace

void TMainForm::BuildChatMenu() {
  gui::MenuItem* chat = menu_->Items().AddItem(LangText(kChat, "00000", "&Chat"));
  // Each item is a command of the interpreter; its answer shows in the
  // messages view.
  auto run = [this](const char* line) {
    return [this, line](gui::Component*) {
      ShowView(vMessages);
      ExecuteCommand(line);
    };
  };
  chat->AddItem(LangText(kChat, "00001", "&Join a channel..."), [this](gui::Component*) {
    ShowView(vMessages);
    MessageView->MessageBox()->SetText("/join ");
    MessageView->MessageBox()->SetFocus();
  });
  chat->AddItem(LangText(kChat, "00002", "&Leave the channel"), run("PART"));
  chat->AddItem(LangText(kChat, "00003", "&Channels on the server"), run("CHANNELS"));
  chat->AddItem("-");
  chat->AddItem(LangText(kChat, "00004", "&Hot list"), run("HOTLIST"));
  chat->AddItem(LangText(kChat, "00005", "&Ignored users"), run("IGNORE"));
  chat->AddItem("-");
  chat->AddItem(LangText(kChat, "00006", "&Message of the day"), run("MOTD"));
  chat->AddItem(LangText(kChat, "00007", "Server &statistics"), run("STATS"));
  chat->AddItem("-");
  chat->AddItem(LangText(kChat, "00008", "C&ommands"), run("HELP"));
}

// ------------------------------------------------------------ the verbs

bool TMainForm::Chat(const std::string& line) {
  TChatRequest r;
  TChatPlace place;
  place.Channel = MessageView->Channel();
  place.Joined = [this](const std::string& name) { return FindChannel(name) != nullptr; };
  const std::string error = ParseChatCommand(line, place, r);
  if (!error.empty()) {
    const std::string usage = ChatVerbHelp(*r.Verb, true);
    const std::string said = error == "no channel"
                                 ? LangText(kChat, "00010", "No channel: join one, or name it.")
                                 : LangText(kChat, "00011", "Words are missing.");
    const std::string told = usage.substr(0, usage.find(' ')) + ": " + said;  // "/kick: Words are missing."
    SetStatus(told);
    Log(told + " " + LangText(kChat, "00012", "Usage:") + " " + usage);
    return false;
  }
  const std::string verb = r.Verb->Name;
  if (r.Verb->Scope == TChatScope::kLocal) {
    Log(LangText(kChat, "00013", "Commands, typed after / in the messages line (a plain line goes to the To: box):"));
    for (const TChatVerb& v : ChatVerbs()) Log("  " + ChatVerbHelp(v, true));
    return true;
  }
  if (verb == "HOTLIST" && r.Nick.empty()) {
    ShowHotList();
    return true;
  }
  std::vector<std::string> ids;
  switch (r.Verb->Scope) {
    case TChatScope::kEvery:
      if (NapsterClient.LoggedInCount() > 0) ids.push_back("");  // every session
      break;
    case TChatScope::kChannel:
      if (const TChannel* c = FindChannel(r.Channel)) {
        ids = c->Sessions;
        break;
      }
      [[fallthrough]];
    default: ids = ChatServers(); break;
  }
  if (ids.empty()) {
    const std::string why =
        NapsterClient.LoggedInCount() == 0
            ? LangText(kSection, "00070", "Connect to a network first.")
            : LangText(kChat, "00014", "Connect to a chat server first: the P2P network has no chat.");
    SetStatus(why);
    Log(why);
    return false;
  }
  // A session whose queue of requests is full takes nothing now: the user
  // is told where the request did not go (nowhere: the line stays).
  int queued = 0;
  std::string unsent;
  for (const std::string& id : ids) {
    r.Verb->Send(NapsterClient, id, r);
    queued += NapsterClient.Queued();
    for (const std::string& u : NapsterClient.Unsent()) unsent += (unsent.empty() ? "" : ", ") + ServerName(u);
  }
  if (queued == 0 && !unsent.empty()) {
    const std::string told = LangText(kChat, "00017", "Not sent: the server connection is busy.");
    SetStatus(told);
    Log(told);
    return false;
  }

  // What the log says of a request no answer will show.
  auto where = [&] {
    std::string names;
    for (const std::string& id : ids) names += (names.empty() ? "" : ", ") + ServerName(id);
    return names;
  };
  if (verb == "MSG") {
    Log("-> " + r.Nick + ": " + r.Text);
  } else if (verb == "BROWSE") {
    Log(r.Nick + "'s files:");
  } else if (verb == "HOTLIST") {
    if (FindText(hotList_, r.Nick) == hotList_.end()) hotList_.push_back(r.Nick);
  } else if (verb == "UNHOTLIST") {
    if (auto it = FindText(hotList_, r.Nick); it != hotList_.end()) hotList_.erase(it);
    for (auto& [id, untold] : hotListUntold_)
      if (auto it = FindText(untold, r.Nick); it != untold.end()) untold.erase(it);
    if (auto it = FindText(hotOnline_, r.Nick); it != hotOnline_.end()) hotOnline_.erase(it);
    Log(r.Nick + " is off the hot list.");
  } else if (verb == "STATS") {
    // Each session's answer goes to the messages view too.
    for (int i = 0; i < LegacySettings->Count(); ++i)
      if (LegacySettings->Server(i).State == TLegacyServer::Online) statsAsked_.insert(LegacySettings->Server(i).ID);
  } else if (verb == "PASSWORD") {
    Log("The new password went to " + where() + ".");
  } else if (Unanswered(verb)) {
    const std::string args = CommandRest(line, 1);
    Log("-> " + where() + ": /" + plat::LowerCase(verb) + (args.empty() ? "" : " " + args));
  }
  if (!unsent.empty()) {
    const std::string told =
        LangText(kChat, "00018", "Not sent to these servers, their connection is busy:") + " " + unsent;
    SetStatus(told);
    Log(told);
  }
  return true;
}

std::vector<std::string> TMainForm::ChatServers() const {
  std::vector<std::string> ids;
  for (int i = 0; i < LegacySettings->Count(); ++i) {
    const TLegacyServer& s = LegacySettings->Server(i);
    if (!s.Gateway && s.State == TLegacyServer::Online && NapsterClient.IsLoggedIn(s.ID)) ids.push_back(s.ID);
  }
  return ids;
}

void TMainForm::TellHotList(const std::string& id) {
  auto it = hotListUntold_.find(id);
  if (it == hotListUntold_.end()) return;
  std::vector<std::string>& untold = it->second;
  size_t told = 0;
  while (told < untold.size() && NapsterClient.HotlistAdd(id, untold[told])) ++told;
  untold.erase(untold.begin(), untold.begin() + long(told));
  if (untold.empty()) hotListUntold_.erase(it);
}

void TMainForm::ShowHotList() {
  if (hotList_.empty()) {
    Log(LangText(kChat, "00015", "The hot list is empty: /hotlist nick, or a user's popup, adds one."));
    return;
  }
  std::string text;
  for (const std::string& nick : hotList_)
    text += (text.empty() ? "" : ", ") + nick + " (" +
            (FindText(hotOnline_, nick) != hotOnline_.end() ? "online" : "offline") + ")";
  Log("Hot list: " + text);
}

// ------------------------------------------------------------ channels

TMainForm::TChannel* TMainForm::FindChannel(const std::string& name) {
  auto it = std::find_if(channels_.begin(), channels_.end(), [&](const TChannel& c) { return Same(c.Name, name); });
  return it == channels_.end() ? nullptr : &*it;
}

void TMainForm::ChannelsChanged(const std::string& shown) {
  std::vector<std::string> names;
  for (const TChannel& c : channels_) names.push_back(c.Name);
  MessageView->SetChannels(names, shown);
  ShowUsers(MessageView->Channel());
}

void TMainForm::ShowUsers(const std::string& channel) {
  if (!Same(channel, MessageView->Channel())) return;
  const TChannel* c = FindChannel(channel);
  std::vector<std::string> users = c ? c->Users : std::vector<std::string>();
  std::sort(users.begin(), users.end(), [](const std::string& a, const std::string& b) {
    return plat::CompareText(a, b) < 0;
  });
  MessageView->SetUsers(users);
}

// A session left a channel (or ended): the channel goes when no session
// of it is left.
void TMainForm::LeaveChannel(const std::string& id, const std::string& channel) {
  TChannel* c = FindChannel(channel);
  if (!c) return;
  std::erase(c->Sessions, id);
  if (!c->Sessions.empty()) return;
  const std::string name = c->Name;
  std::erase_if(channels_, [&](const TChannel& x) { return Same(x.Name, name); });
  // The line no longer talks to it.
  if (Same(plat::Trim(MessageView->NickBox()->GetText()), name)) MessageView->NickBox()->SetText("");
  ChannelsChanged();
}

void TMainForm::BindChat() {
  TNapsterClient& c = NapsterClient;
  using ID = const std::string&;
  using Text = const std::string&;
  MessageView->OnChannelShown = [this](const std::string& channel) { ShowUsers(channel); };

  // A chat server that logs in is told the hot list again, as fast as its
  // queue takes it; a session that ends leaves its channels.
  c.OnLogin = Live([this, login = c.OnLogin](TNapsterClient* sender, ID id, Text email) {
    login(sender, id, email);
    if (id == "P2P" || hotList_.empty()) return;
    hotListUntold_[id] = hotList_;
    TellHotList(id);
  });
  c.OnQueueRoom = Live([this](TNapsterClient*, ID id) { TellHotList(id); });
  c.OnFinish = Live([this, finish = c.OnFinish](TNapsterClient* sender, ID id) {
    finish(sender, id);
    hotListUntold_.erase(id);
    std::vector<std::string> names;
    for (const TChannel& ch : channels_) names.push_back(ch.Name);
    for (const std::string& name : names) LeaveChannel(id, name);
  });

  // ---------------------------------------------------------------- users
  c.OnHotListAdd = Live([this](TNapsterClient*, ID, Text nick, bool ok) {
    if (ok) {
      Log(nick + " is on the hot list.");
      return;
    }
    if (auto it = FindText(hotList_, nick); it != hotList_.end()) hotList_.erase(it);
    Log(nick + " could not be put on the hot list.");
  });
  c.OnSignOn = Live([this](TNapsterClient*, ID, Text nick, int linkType) {
    if (FindText(hotOnline_, nick) == hotOnline_.end()) hotOnline_.push_back(nick);
    Log(nick + " is online (" + LinkSpeedToText(linkType) + ").");
  });
  c.OnSignOff = Live([this](TNapsterClient*, ID, Text nick) {
    if (auto it = FindText(hotOnline_, nick); it != hotOnline_.end()) hotOnline_.erase(it);
    Log(nick + " went offline.");
  });
  c.OnIgnoreItem = Live([this](TNapsterClient*, ID, Text nick) { Log("Ignored: " + nick); });
  c.OnIgnoreListEnd = Live([this](TNapsterClient*, ID, int count) {
    Log(count == 0 ? std::string("Nobody is ignored.") : std::to_string(count) + " ignored.");
  });
  c.OnIgnoreAdd = Live([this](TNapsterClient*, ID, Text nick, bool ok) {
    Log(ok ? nick + " is ignored now." : nick + " could not be ignored.");
  });
  c.OnIgnoreRemove = Live([this](TNapsterClient*, ID, Text nick, bool ok) {
    Log(ok ? nick + " is no longer ignored." : nick + " was not ignored.");
  });
  c.OnIgnoreListClear = Live([this](TNapsterClient*, ID) { Log("The ignore list is empty now."); });
  c.OnGlobalMessage = Live([this](TNapsterClient*, ID, Text nick, Text msg) {
    // A server's global message names no sender of its own.
    Log(nick == "GLOBAL_MESSAGE" ? "[global] " + msg : "[global] " + nick + ": " + msg);
  });

  // ---------------------------------------------------------------- channels
  c.OnMyJoin = Live([this](TNapsterClient*, ID id, Text channel, bool ok) {
    if (!ok) {
      Log("You could not join " + channel + ".");
      return;
    }
    TChannel* ch = FindChannel(channel);
    if (!ch) {
      channels_.push_back(TChannel{channel, {}, {}});
      ch = &channels_.back();
    }
    if (std::find(ch->Sessions.begin(), ch->Sessions.end(), id) == ch->Sessions.end()) ch->Sessions.push_back(id);
    ch->Users.clear();  // the user list follows
    ChannelsChanged(channel);
    MessageView->NickBox()->SetText(ch->Name);
    Log("You joined " + channel + ".");
    ShowView(vMessages);
  });
  c.OnMyPart = Live([this](TNapsterClient*, ID id, Text channel) {
    Log("You left " + channel + ".");
    LeaveChannel(id, channel);
  });
  auto member = [this](Text channel, Text nick, bool in) {
    TChannel* ch = FindChannel(channel);
    if (!ch) return;
    auto it = FindText(ch->Users, nick);
    if (in && it == ch->Users.end()) ch->Users.push_back(nick);
    if (!in && it != ch->Users.end()) ch->Users.erase(it);
    ShowUsers(ch->Name);
  };
  c.OnUserItem = Live([member](TNapsterClient*, ID, Text nick, Text channel, int, int) { member(channel, nick, true); });
  c.OnUserEnd = Live([this](TNapsterClient*, ID, Text channel) {
    const TChannel* ch = FindChannel(channel);
    if (!ch) return;
    std::string names;
    for (const std::string& n : ch->Users) names += (names.empty() ? "" : ", ") + n;
    Log("[" + channel + "] " + std::to_string(ch->Users.size()) + (ch->Users.size() == 1 ? " user: " : " users: ") +
        names);
  });
  c.OnJoin = Live([this, member](TNapsterClient*, ID, Text nick, Text channel, int, int) {
    member(channel, nick, true);
    Log("[" + channel + "] " + nick + " joined.");
  });
  c.OnPart = Live([this, member](TNapsterClient*, ID, Text nick, Text channel, int, int) {
    member(channel, nick, false);
    Log("[" + channel + "] " + nick + " left.");
  });
  c.OnTopic = Live([this](TNapsterClient*, ID, Text channel, Text topic) {
    Log(topic.empty() ? "[" + channel + "] has no topic." : "[" + channel + "] topic: " + topic);
  });
  c.OnChannelItem = Live([this](TNapsterClient*, ID, Text channel, Text topic, int users) {
    Log("Channel " + channel + ": " + std::to_string(users) + (users == 1 ? " user" : " users") +
        (topic.empty() ? "" : " - " + topic));
  });
  c.OnChannelEnd = Live([this](TNapsterClient*, ID) { Log("End of the channel list (\"/join channel\" joins one)."); });
  c.OnPubMsg = Live([this](TNapsterClient*, ID, Text nick, Text channel, Text msg) {
    Log("[" + channel + "] <" + nick + "> " + msg);
  });
  c.OnEmote = Live([this](TNapsterClient*, ID, Text channel, Text nick, Text msg) {
    Log("[" + channel + "] * " + nick + " " + msg);
  });
  c.OnChannelBanItem = Live([this](TNapsterClient*, ID, Text channel, Text dest) {
    Log("[" + channel + "] bans " + dest + ".");
  });
  c.OnBanItem = Live([this](TNapsterClient*, ID id, Text dest, Text by, Text reason) {
    Log(ServerName(id) + " bans " + dest + " (" + by + ": " + reason + ").");
  });
}
