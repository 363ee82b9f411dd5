// A cache server for tests of the Duskwire overlay. It greets each client
// with a chosen code and settings, tells the client its own address
// (IP-Host / IP-Number: the address the client connected from), records
// UPDATE_STATS and SET_NODE, and answers GET_NODE from a plan: for each
// node address, the addresses it is to be told about, in turn, once they
// have announced their port with SET_NODE. Without a plan entry a node is
// told about every other announced node. UPDATE_STATS may be answered late
// or not at all, as a server that is slow or goes away does.
#pragma once
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "peer/duskwire/duskwire.h"

class TDWFakeCacheServer {
 public:
  TDWFakeCacheServer();
  ~TDWFakeCacheServer();
  TDWFakeCacheServer(const TDWFakeCacheServer&) = delete;
  TDWFakeCacheServer& operator=(const TDWFakeCacheServer&) = delete;

  // Listens on address:port (port 0: any free port); raises ESocket.
  void Start(const std::string& address = "127.0.0.1", int port = 0);
  void Stop();
  int Port() const { return port_; }

  void SetGreetingCode(int code) { greetingCode_ = code; }
  // A header of the 2000 greeting (settings, ServerMessage, ...).
  void SetGreetingHeader(const std::string& name, const std::string& value);
  // A header of the 2030 answer to UPDATE_STATS.
  void SetNetworkStatistic(const std::string& name, const std::string& value);
  void SetPlan(const std::string& node, const std::vector<std::string>& neighbours);
  // How the next UPDATE_STATS commands are met, one each, in turn (then
  // answered): answered, held unanswered until ReleaseStatsReply (or Stop),
  // or the session closed without an answer.
  enum class StatsReply { Answer, Hold, Close };
  void SetStatsReplies(const std::vector<StatsReply>& replies);
  void ReleaseStatsReply();

  // What happened: "address COMMAND" lines, sessions, announced ports and
  // the last statistics each node sent.
  std::vector<std::string> Commands();
  int CountCommands(const std::string& address, const std::string& command);
  int Sessions() const { return sessions_; }
  std::map<std::string, int> AnnouncedNodes();
  using Headers = std::vector<std::pair<std::string, std::string>>;
  Headers LastStatistics(const std::string& address);
  // The statistics of each UPDATE_STATS a node sent, in order.
  std::vector<Headers> StatisticsSent(const std::string& address);

 private:
  struct Session {
    std::unique_ptr<TDuskwire> conn;
    std::thread thread;
  };
  void AcceptLoop();
  void Serve(TDuskwire& conn);
  bool PickNode(const std::string& node, std::string& ip, int& port);
  // Takes the next way to meet UPDATE_STATS and waits while it holds;
  // false when the session is to close unanswered.
  bool StatsAnswered(std::unique_lock<std::mutex>& held);

  TSocket listener_;
  std::thread acceptor_;
  std::atomic<bool> stopping_{false};
  std::atomic<int> port_{0};
  std::atomic<int> greetingCode_{2000};
  std::atomic<int> sessions_{0};

  std::mutex lock_;
  std::condition_variable released_;
  std::deque<StatsReply> statsReplies_;
  bool releasing_ = false;
  std::vector<std::unique_ptr<Session>> sessionList_;
  std::vector<std::pair<std::string, std::string>> greeting_;
  std::vector<std::pair<std::string, std::string>> stats_;
  std::map<std::string, std::vector<std::string>> plan_;
  std::map<std::string, size_t> next_;
  std::map<std::string, int> announced_;
  std::map<std::string, std::vector<Headers>> statsSent_;
  std::vector<std::string> commands_;
};
