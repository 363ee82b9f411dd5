// Tells whether this computer can be reached from outside on a TCP port:
// it listens on the port itself and asks an outside port-check server to
// connect back to it. Two socket components do the work: a listener that
// answers the server's check, and a client that talks to the server.
//
// Line protocol (lines end with CR LF; a line is judged by its first
// characters):
//   client -> server:  reads "200...", sends "PORT <listenPort>", reads "200..." = found
//   server -> listener: listener sends "200 Port Check Ready", reads a line; "CHECK"
//                       (any case) is answered "200 Port Check Ok", anything else
//                       "401 Invalid Command"
// Events fire on the main thread; none fire once destruction has begun.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "core/easy_winsock.h"

class TPortCheckClient;

using TPortCheckClientOnAction = std::function<void(TPortCheckClient* sender)>;

// Client side: the conversation with the port-check server.
class TPortCheckClientThread : public TEasyWinsockThread {
 public:
  // setAnswered: the server answered the PORT line (whatever it said).
  TPortCheckClientThread(int listenPort, std::function<void()> setFound, std::function<void()> setAnswered)
      : listenPort_(listenPort), setFound_(std::move(setFound)), setAnswered_(std::move(setAnswered)) {}

 protected:
  void ServeConnection() override;
  void CancelHook() override {}

 private:
  int listenPort_;
  std::function<void()> setFound_, setAnswered_;  // run on the main thread
};

// Listener side: answers the server that connected back.
class TPortCheckClientThread2 : public TEasyWinsockThread {
 protected:
  void ServeConnection() override;
  void CancelHook() override {}
};

class TPortCheckClient {
 public:
  static constexpr int kDefaultTimeOut = 100;  // seconds

  explicit TPortCheckClient(void* owner = nullptr);
  ~TPortCheckClient();
  TPortCheckClient(const TPortCheckClient&) = delete;
  TPortCheckClient& operator=(const TPortCheckClient&) = delete;

  // Starts a check when none runs: listens on listenPort (0 = any free
  // port) and connects to host:port. False when a check runs already or
  // listening failed. The outcome comes as OnFound or OnNotFound.
  bool Check(const std::string& host, int port, int listenPort);
  // Stops the check; it ends with OnNotFound.
  void Cancel();

  bool Busy() const { return busy_; }
  bool Found() const { return found_; }
  // Whether the server answered the last check at all: a check that ends
  // without (the server cannot be reached, it said nothing) tells nothing
  // about the port.
  bool Answered() const { return answered_; }
  int ListeningPort() const { return listenPort_; }
  // Seconds either side waits for a line (both components).
  void SetTimeOut(int seconds);
  // Replaces the name lookup of the server's host (tests).
  void SetResolverForTesting(TEasyResolver resolver) { client_->SetResolverForTesting(std::move(resolver)); }

  TPortCheckClientOnAction OnFound;
  TPortCheckClientOnAction OnNotFound;

 private:
  void EndCheck();

  std::unique_ptr<TEasyWinsock> listener_;
  std::unique_ptr<TEasyWinsock> client_;
  int listenPort_ = 0;
  bool found_ = false;
  bool answered_ = false;
  bool busy_ = false;
  bool destroying_ = false;
};
