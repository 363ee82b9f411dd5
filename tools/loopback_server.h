// The accept loop the fake servers share: listens on 127.0.0.1 (a free
// port), serves every accepted connection on a thread of its own, and on
// destruction closes the listener and every connection it knows of, then
// waits for all its threads.
#pragma once
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TSocket;

class LoopbackServer {
 public:
  // Serves one connection; the number counts connections from 1.
  using Handler = std::function<void(LoopbackServer& server, TSocket& s, int connection)>;

  explicit LoopbackServer(Handler handler);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int Port() const { return port_; }
  int Connections() const { return connections_.load(); }
  bool Stopping() const { return stop_.load(); }
  // A socket for an outgoing connection that is closed with the server
  // (nullptr once it stops).
  std::shared_ptr<TSocket> NewSocket();

  // Holds a connection without a word until the peer or the server ends it.
  void HoldSilently(TSocket& s);
  // A line ended by LF (CR dropped), at most 64 KiB; ESocket on failure.
  static std::string ReadLine(TSocket& s);

 private:
  void AcceptLoop();

  Handler handler_;
  std::unique_ptr<TSocket> listener_;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::mutex lock_;
  std::vector<std::shared_ptr<TSocket>> sockets_;
  std::vector<std::thread> threads_;
  std::thread acceptThread_;
};
