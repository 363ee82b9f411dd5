// One session of the Napster-protocol client with one server: a public
// chat-and-index server, a redirector naming such a server, or the
// program's own gateway on 127.0.0.1.
//
// TNapsterClientSession is the protocol: the session run (redirector query,
// registration or login, then the receive-and-request loop), every request
// the client component posts as a METHOD record, and every incoming message
// turned into an EVENT record or a transfer callback. It reaches the wire,
// the start record and the main thread only through a few virtual calls,
// so it can be driven without sockets.
//
// TNapsterClientThread is the connection thread of the socket component
// that runs a session over its connected socket; callbacks into the client
// component are synchronised calls (the main thread runs them while the
// session waits).
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/easy_winsock.h"
#include "core/message_pump.h"
#include "peer/napster/napster_message.h"
#include "platform/sync.h"

class TNapsterClientSession;

// The program's own client name: what every login says it is when the
// component was given no VersionText (servers refuse a login that names
// no client).
constexpr const char* kOwnVersionText = "Tarnwick 2.0";

// One shared file as announced to servers (message 100).
struct TNapsterShareInfo {
  std::string RequestName;  // the announced name
  std::string MD5;
  int64_t Size = 0;
  int Bitrate = 0;
  int Frequency = 0;
  int Seconds = 0;
};

// What the server said about a transfer: the peer, the file and where to
// connect (start download, start push upload).
struct TNapsterTransferOffer {
  std::string Nick;
  std::string OwnNick;
  std::string FileName;
  std::string IP;  // host-order decimal text (see IPFromWire)
  std::string MD5;
  std::string LinkType;
  int Port = 0;
};

// The calls a session makes into the client component, each on the main
// thread while the session waits. Unassigned ones are skipped.
struct TNapsterClientCallbacks {
  using Sender = TNapsterClientSession&;
  using Id = const std::string&;
  using Text = const std::string&;
  std::function<void(Sender, Id)> OnSearchStarted;
  std::function<void(Sender, Id)> OnSearchEnded;
  std::function<void(Sender, Id, Text email)> OnLoggedIn;
  std::function<void(Sender, Id, Text reason)> OnLoginError;
  std::function<void(Sender, Id)> OnRegistered;
  // kind 0: invalid nick (or the account was refused), 1: nick taken.
  std::function<void(Sender, Id, int kind)> OnRegisterError;
  std::function<void(Sender, Id, Text host, int port)> OnRedirected;
  std::function<void(Sender, Id)> OnSendingSharedFiles;
  std::function<void(Sender, Id, const TMessageItem& event)> OnEventReceived;
  // The upload policy fills queued and accept (both start false).
  std::function<void(Sender, Id, Text nick, Text file, bool& queued, bool& accept)> OnUploadRequested;
  std::function<void(Sender, Id, Text nick, Text file, int64_t size, int64_t limit)> OnDownloadQueuedRemotely;
  std::function<void(Sender, Id, Text nick, Text file)> OnDownloadUnavailable;
  std::function<void(Sender, Id, Text nick, Text file)> OnBothFirewalled;
  std::function<void(Sender, Id, const TNapsterTransferOffer&)> OnStartDownload;
  std::function<void(Sender, Id, const TNapsterTransferOffer&)> OnStartPushUpload;
  // The server's error (404) that answered an accepted upload (608): the
  // peer will not come for that file.
  std::function<void(Sender, Id, Text nick, Text file, Text reason)> OnUploadRefused;
};

// Fills the list with the component's shared files, in list order. The
// session calls it under the share lock and sends nothing meanwhile.
using TNapsterShareReader = std::function<void(std::vector<TNapsterShareInfo>& files)>;

class TNapsterClientSession {
 public:
  // The session ID of the program's own gateway; frames to it are limited
  // to what the gateway reads.
  static constexpr const char* kGatewayID = "P2P";
  static constexpr std::size_t kGatewayMaxText = 8000;
  // The gateway answers a login once one of its networks has a peer, which
  // may take its whole login wait (180 s): longer than a socket time-out.
  static constexpr int64_t kGatewayLoginReplyMs = 190000;
  static constexpr int kPingCacheSize = 1000;
  static constexpr int kReportedPingLimit = 300;  // slower shows as 0
  static constexpr int kIcmpTimeoutMs = 300;

  TNapsterClientSession();
  virtual ~TNapsterClientSession();
  TNapsterClientSession(const TNapsterClientSession&) = delete;
  TNapsterClientSession& operator=(const TNapsterClientSession&) = delete;

  // Links lent by the client component; set before the session runs.
  TMessagePump* Pump = nullptr;
  plat::CriticalSection* ShareLock = nullptr;
  TNapsterShareReader ReadShares;
  TNapsterClientCallbacks Callbacks;

  // Timing. The idle cut ends a session that has received nothing for
  // IdleCutMs (monotonic clock); requests are polled every PollIntervalMs.
  int PollIntervalMs = 30;
  int64_t IdleCutMs = 300000;
  // A redirector that names no usable server ("127.0.0.1" or port 1111)
  // is asked again only after a pause growing with each try, and at most
  // RedirectMaxRetries times in a row for one session ID.
  int RedirectRetryDelayMs = 2000;
  int RedirectMaxRetries = 3;
  // Once part of the redirector's answer is in, the rest of its line is
  // waited for this long after the last piece; then the answer is what came.
  int RedirectorLineWaitMs = 2000;
  // A server error within this time after an accepted upload answers it.
  int64_t UploadAnswerMs = 5000;

  const std::string& ID() const { return id_; }
  const std::string& OwnNick() const { return ownNick_; }
  const std::string& AccountText() const { return account_; }
  bool Firewalled() const { return firewalled_; }
  void SetFirewalled(bool firewalled) { firewalled_ = firewalled; }
  const std::string& PingAction() const { return pingAction_; }
  int PingValue() const { return pingValue_; }
  bool IsAnnounced(std::string_view requestName) const;
  int AnnouncedCount() const { return int(announced_.size()); }
  // The record handed to OnEventReceived (valid during the call).
  const TMessageItem& EventRecord() const { return event_; }

  // The session run: what the connection thread does with its connection.
  void Run();

  // Frames and sends one message. A text over the session's limit closes
  // the connection (the gateway's session drops just that message).
  void SendMessage(uint16_t type, std::string_view text);
  // Reads one frame; false (and the connection closed) when it announces
  // more text than a session accepts.
  bool ReadMessage(uint16_t& type, std::string& text);
  void SendLogin(bool newUser);
  void HandleLoginReply(uint16_t type, const std::string& text);
  void QueryRedirector();
  void SendSharedFiles();
  void ProcessMethods(TMessagePumpConnection& connection);
  void DoMethod(const TMessageItem& record);

  // Incoming side.
  void Dispatch(uint16_t type, const std::string& text);
  void NewEvent(std::string_view eventName);
  void HandleSearchItem(uint16_t type, const std::string& text);
  void HandleTransferReply(uint16_t type, const std::string& text);
  void HandleUploadRequest(const std::string& text);
  bool PingFilter(int ping) const;
  // A Napster decimal address (the four bytes of the address in network
  // order read as a little-endian number) as host-order decimal text;
  // only the low 32 bits of an over-long number count.
  static std::string IPFromWire(std::string_view text);
  // The search text of an MP3_SEARCH record (also stores its ping filter).
  std::string BuildSearchQuery(const TMessageItem& record);

 protected:
  // The transport. Closed connections and time-outs raise (EEasySocketClose
  // / EEasySocketWinsock) out of the receive and send calls.
  virtual std::string StartValue(std::string_view key) = 0;
  virtual void ReceiveAll(void* buffer, int count) = 0;
  virtual int ReceiveSome(void* buffer, int count) = 0;
  virtual void SendAll(const void* buffer, int count) = 0;
  virtual int DataAvailable() = 0;
  virtual bool Connected() = 0;
  virtual void CloseConnection() = 0;
  // Runs fn on the main thread and waits for it.
  virtual void CallBack(const std::function<void()>& fn) = 0;
  // True once the session is being stopped from outside.
  virtual bool Stopping() { return !Connected(); }
  virtual void Pause(int ms);
  virtual int64_t NowMs();
  // The program-wide ICMP base delay (measured once, towards ipText, the
  // first time it is needed); 0 when no echo can be had.
  virtual int IcmpBase(const std::string& ipText);
  // 0 to 999.
  virtual int RandomDelay();

  // Takes the session ID from the start record (the first step of Run).
  void ReadStartRecord();

 private:
  std::size_t MaxText() const;
  // Makes one callback into the component (with this session and its ID
  // first) on the main thread; unassigned callbacks are skipped.
  template <class Callback, class... Args>
  void Call(const Callback& callback, Args&&... args) {
    if (callback) CallBack([&] { callback(*this, id_, args...); });
  }
  void SendEvent();
  int PingFor(const std::string& nick, const std::string& ipText);
  std::vector<TNapsterShareInfo> SharedSnapshot();
  void Announce(const std::string& name, const std::string& md5, const std::string& size,
                const std::string& bitrate, const std::string& frequency, const std::string& seconds);
  void Withdraw(const std::string& name);
  void ReconcileShares();
  void DoSpecialMethod(int action, const TMessageItem& record);
  void RedirectTo(const std::string& host, int port);

  std::string id_;
  std::string ownNick_;
  std::string account_;
  bool firewalled_ = false;
  std::string pingAction_;
  int pingValue_ = 0;
  // Announced request names with what their figures were, keyed by their
  // case-folded form.
  struct Announced {
    std::string Name;
    size_t Figures = 0;  // their hash
  };
  std::map<std::string, Announced> announced_;
  // Ping times by case-folded nick, with the order of adding for eviction.
  std::unordered_map<std::string, int> pingCache_;
  std::deque<std::string> pingOrder_;
  TMessageItem event_;
  std::minstd_rand random_;
  // The upload this side accepted last (608) while the server may still
  // refuse it, and until when.
  std::string acceptedNick_, acceptedFile_;
  int64_t acceptedUntil_ = 0;
};

// The connection thread of the client component's session socket
// component. Created suspended; the component wires Pump, ShareLock,
// ReadShares, Callbacks and the firewalled flag before it starts.
class TNapsterClientThread : public TEasyWinsockThread, public TNapsterClientSession {
 public:
  TNapsterClientThread();
  ~TNapsterClientThread() override;

 protected:
  void ServeConnection() override;
  void CancelHook() override {}

  std::string StartValue(std::string_view key) override;
  void ReceiveAll(void* buffer, int count) override;
  int ReceiveSome(void* buffer, int count) override;
  void SendAll(const void* buffer, int count) override;
  int DataAvailable() override;
  bool Connected() override;
  void CloseConnection() override;
  void CallBack(const std::function<void()>& fn) override;
  bool Stopping() override;
};
