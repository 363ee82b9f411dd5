// A scripted Gnutella host for HTTP download tests, on 127.0.0.1: it
// answers "GET /get/<index>/<name>" requests for one file, honouring or
// ignoring "Range: bytes=N-", or misbehaving on purpose. Each request is
// logged. A range past the end of the file is answered 416. The capped
// modes answer as common servents do, with at most kAnswerCap bytes per
// answer (206 with the part's range), keeping the connection open for the
// next request or closing it after each answer; every other mode closes
// after its answer.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/fake_http_server.h"

class GnutellaHttpHost {
 public:
  enum Mode {
    kServeRanges,  // 206 with Content-Range for N > 0, else 200
    kIgnoreRange,  // always 200 with the whole file
    kNotFound,     // 404
    kBusy,         // 503
    kHugeHeader,   // 200 with a 100 KB header line
    kNoLength,     // 200 without Content-Length, the body, then close
    kWrongRange,   // 206 whose range starts one byte after N
    kManyHeaders,  // 200 with 200 header lines
    kCapped,         // HTTP/1.1 206 parts of at most kAnswerCap bytes, connection kept open
    kCappedClosing,  // the same with "Connection: close", closing after each answer
  };
  static constexpr int64_t kAnswerCap = 512 * 1024;

  explicit GnutellaHttpHost(std::string content, Mode mode = kServeRanges);
  int Port() const { return server_->Port(); }
  void SetMode(Mode mode) { mode_.store(mode); }
  // Sends only this many body bytes, then closes (-1: all).
  void SetCutAfter(int64_t bytes) { cut_.store(bytes); }
  // Closes after each answer even where it said the connection stays open
  // (as a host whose connection limit ran out).
  void SetCloseKeptConnections(bool on) { closeKept_.store(on); }
  std::vector<FakeHttpServer::Request> Requests() const { return server_->Requests(); }

 private:
  FakeHttpServer::Reply Answer(const FakeHttpServer::Request& r);

  std::string content_;
  std::atomic<Mode> mode_;
  std::atomic<int64_t> cut_{-1};
  std::atomic<bool> closeKept_{false};
  std::unique_ptr<FakeHttpServer> server_;  // last: stops first
};
