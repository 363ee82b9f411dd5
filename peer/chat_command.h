// The client component's requests as one-line text commands, one verb a
// request: "JOIN channel", "KICK [channel] nick [reason]", "ME text"...
// The main window's messages line takes them after "/" and tarnctl takes
// them as they stand; both read and send them with these routines, so a
// verb means the same in both and /help lists what both take.
//
// A verb that acts in a channel may leave the channel out when the caller
// has one in view (the channel the user talks in): a first word that names
// a joined channel is the channel, anything else is the verb's next word.
#pragma once
#include <functional>
#include <string>
#include <vector>

class TNapsterClient;
struct TChatRequest;

// Which sessions a request is for.
enum class TChatScope {
  kEvery,    // every session, the program's gateway too (it answers these)
  kServer,   // the chat servers: every session but the gateway
  kChannel,  // the sessions where its channel is joined
  kLocal,    // none: the caller answers it itself
};

struct TChatVerb {
  const char* Name;  // upper-case, as typed in any case
  const char* Args;  // the words it takes, for the usage line ("[channel] nick [reason]")
  const char* Help;  // what it does, for /help
  TChatScope Scope;
  // The words it needs.
  enum TShape {
    kNone,            //
    kNick,            // nick
    kNickOrList,      // [nick]: none lists (HOTLIST, IGNORE)
    kNickText,        // nick text
    kNickReason,      // nick [reason]
    kNickWord,        // nick word (LEVEL)
    kText,            // text
    kWord,            // word (PASSWORD)
    kNumberText,      // number [text] (RAW)
    kNewChannel,      // channel, named always (JOIN)
    kChannel,         // [channel]
    kChannelText,     // [channel] text
    kChannelTopic,    // [channel] [topic]: none asks for it
    kChannelNick,     // [channel] nick [reason]
  };
  TShape Shape;
  // Posts the request (nullptr for kLocal verbs); false when a session it
  // is for could not take it (see TNapsterClient::Unsent).
  bool (*Send)(TNapsterClient& client, const std::string& id, const TChatRequest& r);
};

// Every verb, in the order /help lists them.
const std::vector<TChatVerb>& ChatVerbs();
// The verb a word names (any case), or nullptr.
const TChatVerb* FindChatVerb(const std::string& word);
// "/kick [channel] nick [reason] - throws a user out of the channel" as
// the messages line takes it, or "KICK [channel] nick [reason] - ..." as
// tarnctl does.
std::string ChatVerbHelp(const TChatVerb& verb, bool slashed);

// A request read from a line.
struct TChatRequest {
  const TChatVerb* Verb = nullptr;
  std::string Channel;
  std::string Nick;  // the nick, address or word the verb names
  std::string Text;  // message, reason, topic or level
  int Number = 0;    // RAW's message type
};

// What the caller has in view, for the words a line may leave out.
struct TChatPlace {
  std::string Channel;                              // "": none
  std::function<bool(const std::string&)> Joined;  // whether a word names a joined channel
};

// Reads a command line (the verb first, without "/"). Returns "" when the
// request is complete, else what is wrong with the line: "unknown command"
// (Verb stays nullptr), or "missing arguments" / "no channel" (Verb set,
// for its usage line).
std::string ParseChatCommand(const std::string& line, const TChatPlace& place, TChatRequest& out);
