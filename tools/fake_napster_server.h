// A scripted Napster-protocol server for tests, listening on 127.0.0.1.
//
// It logs a client in (or refuses it), takes registrations, answers
// searches, browses, whois queries, channel joins and lists from a small
// in-memory world, and can play any scripted sequence of frames or raw
// bytes - well-formed or hostile - after the login, in answer to a message
// type, or whenever the test says so. Every frame it receives is recorded.
//
// It serves one client at a time on a thread of its own, over the platform
// sockets only (it does not use the code under test).
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
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
  struct User {
    std::string nick;
    std::string wireIP = "16777343";  // 127.0.0.1 as Napster decimal
    int dataPort = 6699;              // 0: firewalled
    int linkType = 7;
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
  // Reply to a login (type 2); a reply other than 3 is followed by a close.
  // A login (2 or 6) whose client name is empty is refused so whatever is
  // set, as real servers refuse it.
  void SetLoginReply(uint16_t type, std::string text);
  // Replies to the nick check (7) and to the new-account login (6; a
  // reply other than 3 is followed by a close).
  void SetNickCheckReply(uint16_t type, std::string text);
  void SetNewUserReply(uint16_t type, std::string text);
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

 private:
  void Loop();
  void Serve(plat::SocketHandle client);
  void Handle(const NapsterMessage& m);
  void BuiltIn(const NapsterMessage& m);
  bool SendBytes(const std::string& bytes, int piece, int delayMs);

  std::atomic<bool> stop_{false};
  std::atomic<int> accepted_{0};
  std::atomic<bool> clientOpen_{false};
  int port_ = 0;
  plat::SocketHandle listener_ = plat::kInvalidSocket;
  std::unique_ptr<plat::SocketWaiter> waiter_;
  std::thread thread_;

  std::mutex sendLock_;  // guards client_ for sends and closes
  plat::SocketHandle client_ = plat::kInvalidSocket;
  bool closeRequested_ = false;

  std::mutex lock_;  // behaviour, world and records
  std::condition_variable changed_;
  NapsterMessage loginReply_{3, "fake@tarnwick.test"};
  NapsterMessage nickCheckReply_{8, ""};
  NapsterMessage newUserReply_{3, "fake@tarnwick.test"};
  Script afterLogin_;
  std::map<uint16_t, Script> scripts_;
  std::string redirectAnswer_;
  int redirectPiece_ = 0;
  bool redirectHeld_ = false;
  bool redirector_ = false;
  std::map<std::string, User> users_;        // by nick
  std::map<std::string, Channel> channels_;  // by name
  std::string loginNick_;
  std::vector<NapsterMessage> received_;
  int gone_ = 0;  // clients served to the end
};
