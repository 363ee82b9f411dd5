// A scripted Napster-protocol server for tests, listening on 127.0.0.1.
//
// It logs clients in (or refuses them), keeps accounts and takes
// registrations as an OpenNap server does, answers searches, browses and
// whois queries from a small in-memory world, can refuse an accepted
// upload of a file the client did not announce, and
// can play any scripted sequence of frames or raw bytes - well-formed or
// hostile - after the login, in answer to a message type, or whenever the
// test says so. Every frame it receives is recorded.
//
// Between the clients logged in at once it is a chat server as OpenNap
// servers are (tools/fake_napster_chat.cpp): channels with their join and
// part notices, user lists, public messages, emotes and topics, the
// channel list, hot lists with their sign-on and sign-off notices, ignore
// lists, the message of the day, and the operators' requests (kick, ban,
// muzzle, global and operator messages) for users of a level that may.
//
// Each client is served on a thread of its own, over the platform sockets
// only (it does not use the code under test). Send, Play and CloseClient
// act on the client whose message is being answered when a script or an
// answer calls them, and on the client accepted last otherwise.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "peer/napster/napster_message.h"
#include "platform/net.h"

class FakeNapsterServer {
 public:
  // One thing the server does.
  struct Step {
    enum Kind { kFrame, kRaw, kPause, kClose };
    Kind kind = kFrame;
    uint16_t type = 0;
    std::string bytes;  // frame text, or raw bytes
    int piece = 0;      // raw bytes: sent in pieces of this size (0: at once)
    int delayMs = 0;    // pause; or the pause between pieces

    static Step Frame(uint16_t type, std::string text);
    // A frame header announcing `length` text bytes, followed by `text`
    // (which may be shorter or longer than announced).
    static Step FrameWithLength(uint16_t type, std::size_t length, std::string text);
    static Step Raw(std::string bytes, int piece = 0, int delayMs = 0);
    static Step Pause(int ms);
    static Step Close();
  };
  using Script = std::vector<Step>;

  struct File {
    std::string name;
    std::string md5 = "00000000000000000000000000000000";
    int64_t size = 0;
    int bitrate = 128;
    int frequency = 44100;
    int seconds = 200;
  };
  // A song of the world: its name, size, bit rate and length.
  static File Song(const std::string& name, int64_t size, int bitrate, int seconds);
  struct User {
    std::string nick;
    std::string wireIP = "16777343";  // 127.0.0.1 as Napster decimal
    int dataPort = 6699;              // 0: firewalled
    int linkType = 7;
    // "User", "Moderator", "Admin" or "Elite"; a client that logs in with
    // this nick has this level (the operators' requests need Moderator).
    std::string level = "User";
    std::string client = "fake client 1.0";
    std::vector<File> files;
  };
  struct Channel {
    std::string name;
    std::string topic;
    std::vector<std::string> members;  // nicks of known users
  };

  FakeNapsterServer();
  ~FakeNapsterServer();
  FakeNapsterServer(const FakeNapsterServer&) = delete;
  FakeNapsterServer& operator=(const FakeNapsterServer&) = delete;

  // Listens on 127.0.0.1 (port 0: any free port) and starts serving.
  bool Start(int port = 0);
  void Stop();
  int Port() const { return port_; }

  // --- behaviour (may be changed at any time) ---
  // Accounts. A login (2) with a registered nick and another password is
  // refused ("Invalid Password"); one with an unknown nick logs in and,
  // with auto-registration on (off at first), registers the nick with its
  // password. The nick check (7) answers 9 for a registered nick, 10 for
  // one no account may have, 8 otherwise; a new-account login (6) of a
  // registered nick is refused, of another one registers it.
  void SetAutoRegistration(bool on);
  void AddAccount(const std::string& nick, const std::string& password);
  // Whether the nick is registered (and with which password).
  bool HasAccount(const std::string& nick, std::string* password = nullptr);
  // Replies used instead of what the accounts say. Login (2): a reply
  // other than 3 is followed by a close; a login (2 or 6) whose client
  // name is empty is refused whatever is set, as real servers refuse it.
  void SetLoginReply(uint16_t type, std::string text);
  // The nick check (7) and the new-account login (6; a reply other than
  // 3 is followed by a close).
  void SetNickCheckReply(uint16_t type, std::string text);
  void SetNewUserReply(uint16_t type, std::string text);
  // An accepted upload (608) of a file the client has not announced (100)
  // is answered 404 "Not sharing that file", as an OpenNap server answers
  // it. Off at first: a test that asks for an upload (607) at once after
  // sharing a file may ask before the announcement can have arrived, which
  // a real server never does.
  void SetCheckUploads(bool on);
  // Played right after a successful login.
  void SetAfterLogin(Script script);
  // Played instead of the built-in answer whenever `type` arrives (an
  // empty script keeps the server silent about it).
  void SetScript(uint16_t type, Script script);
  // Turns the server into a redirector: each client gets these bytes
  // (in pieces of `piece` bytes when > 0), then the connection closes.
  void SetRedirectAnswer(std::string answer, int piece = 0);
  // While held, a redirector's answer waits (its connection stays open);
  // releasing sends it.
  void HoldRedirectAnswer(bool hold);

  void AddUser(User user);
  void AddChannel(Channel channel);
  // The message of the day: one 621 a line, after each login and when asked.
  void SetMotd(std::vector<std::string> lines);

  // --- live control of the current client ---
  bool Send(uint16_t type, const std::string& text);
  bool Play(const Script& script);
  void CloseClient();

  // --- observation ---
  std::vector<NapsterMessage> Received();
  void ClearReceived();
  // Waits until a frame of `type` has arrived (the n-th one when n > 1).
  bool WaitForType(uint16_t type, int timeoutMs, NapsterMessage* out = nullptr, int n = 1);
  bool WaitFor(const std::function<bool(const std::vector<NapsterMessage>&)>& pred, int timeoutMs);
  int CountOfType(uint16_t type);
  int Accepted() const { return accepted_.load(); }
  bool ClientConnected() const { return clientOpen_.load(); }
  // Waits until the accepted count reaches n and that client has gone.
  bool WaitForClientGone(int n, int timeoutMs);
  // The members of a channel (users of the world and clients).
  std::vector<std::string> ChannelMembers(const std::string& channel);

 private:
  // One client's connection.
  struct Client {
    plat::SocketHandle socket = plat::kInvalidSocket;
    std::mutex sendLock;  // sends and closes
    bool closeRequested = false;
    bool done = false;  // its thread has ended (under lock_)
    std::thread thread;
    // A redirector's answer, taken when the client was accepted.
    bool redirected = false;
    std::string redirectAnswer;
    int redirectPiece = 0;
    // What the chat knows of it (under lock_).
    std::string nick;  // once it logs in
    bool online = false;
    int linkType = 0;
    int files = 0;  // files it announced
    std::string level = "User";
    bool muzzled = false;
    std::vector<std::string> hotlist;
    std::vector<std::string> ignored;
  };
  using ClientPtr = std::shared_ptr<Client>;
  // A frame for a client, sent once the world's lock is released.
  struct Delivery {
    ClientPtr to;
    uint16_t type;
    std::string text;
    bool close = false;  // the connection ends instead (after what went before)
  };
  using Outbox = std::vector<Delivery>;

  void Loop();
  void Serve(ClientPtr client);
  void Handle(const NapsterMessage& m);
  void BuiltIn(const NapsterMessage& m);
  // The accounts' answer to a login (2) or new-account login (6); under lock_.
  NapsterMessage AccountReply(uint16_t type, const std::string& login);
  // Whether the client announced the file (type 100); under lock_.
  bool Announced(const std::string& file) const;
  bool SendBytes(const std::string& bytes, int piece, int delayMs);
  // The client Send, Play and CloseClient act on.
  ClientPtr Target();
  bool SendTo(Client& client, const std::string& bytes, int piece = 0, int delayMs = 0);
  // Ends the client's connection; its thread stops serving it.
  void CloseTo(Client& client);
  void Deliver(const Outbox& out);

  // The chat (fake_napster_chat.cpp); under lock_, answers in out.
  // Whether the message type is one the chat answers.
  bool Chat(Client& from, const NapsterMessage& m, Outbox& out);
  // A client logged in as nick, or left.
  void SignedOn(const ClientPtr& client, const std::string& login, Outbox& out);
  void SignedOff(Client& client, Outbox& out);
  ClientPtr Online(const std::string& nick) const;
  bool IsUser(const std::string& nick) const;
  // Files and link type of a channel member, as the user lists show them.
  std::string MemberText(const std::string& channel, const std::string& nick) const;
  void ToChannel(const std::string& channel, uint16_t type, const std::string& text, Outbox& out,
                 const Client* except = nullptr) const;
  void LeaveChannel(const std::string& channel, const std::string& nick, Outbox& out);
  std::string Whois(const std::string& nick) const;

  std::atomic<bool> stop_{false};
  std::atomic<int> accepted_{0};
  std::atomic<bool> clientOpen_{false};
  int port_ = 0;
  plat::SocketHandle listener_ = plat::kInvalidSocket;
  std::unique_ptr<plat::SocketWaiter> waiter_;
  std::thread thread_;

  std::mutex lock_;  // behaviour, world, clients and records
  std::condition_variable changed_;
  std::optional<NapsterMessage> loginReply_;
  std::optional<NapsterMessage> nickCheckReply_;
  std::optional<NapsterMessage> newUserReply_;
  bool autoRegistration_ = false;
  bool checkUploads_ = false;
  std::map<std::string, std::string> accounts_;  // nick -> password
  Script afterLogin_;
  std::map<uint16_t, Script> scripts_;
  std::string redirectAnswer_;
  int redirectPiece_ = 0;
  bool redirectHeld_ = false;
  bool redirector_ = false;
  std::map<std::string, User> users_;        // by nick
  std::map<std::string, Channel> channels_;  // by name
  std::vector<std::string> motd_;
  struct Ban {
    std::string target, by, reason;
  };
  std::vector<Ban> bans_;
  std::map<std::string, std::vector<std::string>> channelBans_;  // by channel
  std::vector<ClientPtr> clients_;  // in order of acceptance; ended ones until reaped
  ClientPtr latest_;
  std::vector<NapsterMessage> received_;
  int gone_ = 0;  // clients served to the end
};
