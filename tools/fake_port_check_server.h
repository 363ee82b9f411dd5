// A port-check server on 127.0.0.1 for tests: it greets a client, takes
// its "PORT n" line, connects back to 127.0.0.1:n, checks the listener's
// greeting, sends its check line and tells the client what came of it.
// Each connection is served on a thread of its own; all of them end when
// the object is destroyed.
#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tools/loopback_server.h"

struct FakePortCheckOptions {
  std::string greeting = "200 Port Check Server Ready";
  std::string checkLine = "CHECK";  // sent to the listener
  bool silent = false;              // says nothing at all
  std::string portReply;            // when set: the answer to PORT, without connecting back
};

class FakePortCheckServer {
 public:
  explicit FakePortCheckServer(FakePortCheckOptions options = FakePortCheckOptions());
  ~FakePortCheckServer();
  FakePortCheckServer(const FakePortCheckServer&) = delete;
  FakePortCheckServer& operator=(const FakePortCheckServer&) = delete;

  int Port() const { return server_->Port(); }
  // What each side said, in order.
  std::vector<std::string> ClientLines() const;    // lines received from clients
  std::vector<std::string> ListenerLines() const;  // lines received from listeners
  int Checks() const { return checks_.load(); }    // conversations that reached their answer

 private:
  void Serve(LoopbackServer& server, TSocket& s);
  void Log(std::vector<std::string>& to, const std::string& line);
  bool CheckBack(LoopbackServer& server, int port);

  FakePortCheckOptions options_;
  std::atomic<int> checks_{0};
  mutable std::mutex lock_;
  std::vector<std::string> clientLines_;
  std::vector<std::string> listenerLines_;
  std::unique_ptr<LoopbackServer> server_;  // last: stops first
};
