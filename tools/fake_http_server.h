// A scripted HTTP server on 127.0.0.1 for tests and benchmarks. Every
// accepted connection is served on a thread of its own: each request head
// it reads is logged and handed to the script, whose reply says what bytes
// go back and what happens to the connection next. The server stops (and
// every connection with it) when the object is destroyed.
#pragma once
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tools/loopback_server.h"

class FakeHttpServer {
 public:
  struct Request {
    int connection = 0;  // 1 for the first accepted connection, ...
    std::string head;    // request line and headers, CR LF kept, without the empty line
    std::string line;    // the request line
    std::string target;  // its second word
    // A header's value (first of that name, without regard to case), "" when absent.
    std::string Header(const std::string& name) const;
    bool HasHeader(const std::string& name) const;
  };

  struct Reply {
    std::string bytes;  // sent as they are
    // Then, when set, called to send more (big or paced bodies).
    std::function<void(TSocket&)> writer;
    enum After { kKeepOpen, kClose, kSilent } after = kKeepOpen;  // kSilent: read nothing more, never answer
  };

  using Script = std::function<Reply(const Request&)>;

  explicit FakeHttpServer(Script script);
  ~FakeHttpServer();
  FakeHttpServer(const FakeHttpServer&) = delete;
  FakeHttpServer& operator=(const FakeHttpServer&) = delete;

  int Port() const { return server_->Port(); }
  std::string Url(const std::string& path = "/") const;
  std::vector<Request> Requests() const;
  int Connections() const { return server_->Connections(); }

  // Common replies.
  static Reply Text(int status, const std::string& body, const std::string& extraHeaders = "");
  static Reply Redirect(int status, const std::string& location);

 private:
  void Serve(LoopbackServer& server, TSocket& s, int id);

  Script script_;
  mutable std::mutex lock_;
  std::vector<Request> requests_;
  std::unique_ptr<LoopbackServer> server_;  // last: stops first
};
