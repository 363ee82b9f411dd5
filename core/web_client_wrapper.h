// TWebClient: the HTTP/1.1 client object. Wraps a TWebClientHandle and
// raises EWebClient with the handle's negative code whenever an operation
// fails (socket failures included, with the socket layer's codes).
#pragma once
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "core/web_client.h"

class EWebClient : public std::runtime_error {
 public:
  explicit EWebClient(int code);
  int Code;
};

class TWebClient {
 public:
  TWebClient();
  ~TWebClient();
  TWebClient(const TWebClient&) = delete;
  TWebClient& operator=(const TWebClient&) = delete;

  void Open(const std::string& url);
  void Close();
  void SetRequestHeader(const std::string& name, const std::string& value);
  // Sends GET (following redirects) and returns the status code.
  int Request(int64_t rangeStart = 0, int64_t rangeEnd = 0);
  // Reads the body; data points at it (owned by the client, valid until
  // the next request; its length is Handle().Body().Size()); the range
  // is the response's.
  void ReadBody(const void*& data, int64_t& rangeStart, int64_t& rangeEnd);
  // The body as text, up to its first NUL byte.
  void ReadBodyAsString(std::string& text, int64_t& rangeStart, int64_t& rangeEnd);
  std::string GetResponseHeader(const std::string& name) const;

  void SetTimeout(int seconds) { handle_->SetTimeout(seconds); }
  void SetProxy(const std::string& host, int port) { handle_->SetProxy(host, port); }
  TWebClientHandle& Handle() { return *handle_; }

 private:
  std::unique_ptr<TWebClientHandle> handle_;
};
