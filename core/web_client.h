// HTTP/1.1 client over the blocking socket object: one handle per client,
// used by one thread, blocking it. It opens a URL (directly or through a
// proxy), sends GET with the caller's headers, a Host header, an optional
// byte range and the stored cookies, skips interim 1xx responses, follows
// redirects, stores the cookies the server sets and reads the body (by
// Content-Length, chunked, or to the end of the connection).
//
// Every operation returns 0 (or a status) on success and a negative code
// on failure: the socket layer's codes (core/network.h) or the kWeb ones
// below. The server is not trusted: lines, header counts, interim responses
// and bodies are bounded, and no length the server sends is allocated at
// once.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/net.h"
#include "platform/stream.h"
#include "platform/stringlist.h"

class TSocket;

enum WebResult : int {
  kWebCannotStore = -4,        // the body could not be stored (or exceeds the cap)
  kWebBadScheme = -8,          // not an "HTTP:" URL (or not a usable one)
  kWebTooManyRedirects = -10,  // more than kWebMaxRedirects redirects
  kWebBadResponse = -12,       // malformed or over-long response head or chunk line
};

constexpr int kWebDefaultTimeout = 60;                 // seconds a receive may wait
constexpr int64_t kWebMaxBody = int64_t(16) << 20;     // default body cap
constexpr int kWebMaxRedirects = 100;
constexpr int kWebMaxLine = 8192;                      // bytes in one head line
constexpr int kWebMaxHeaders = 256;                    // lines in one response head
constexpr int kWebMaxInterim = 32;                     // 1xx responses before the real one
constexpr int kWebPiece = plat::kBulkReceive;          // bytes per read

// ---------------------------------------------------------------- cookies

struct TCookieItem {
  std::string Name;
  std::string Value;
  std::string Domain;
  std::string Path;  // empty: no path
};

// At most kMaxCookies cookies, newest first; each has a maximum age in
// seconds (-1: no limit) counted from when it was stored.
class TCookieList {
 public:
  static constexpr int kMaxCookies = 5;

  // Stores c, replacing a cookie of the same name; the oldest beyond
  // kMaxCookies go.
  void Store(const TCookieItem& c, int64_t maxAge, int64_t nowMs);
  void Delete(std::string_view name);
  // Drops the cookies whose maximum age has passed.
  void DropExpired(int64_t nowMs);
  int Count() const { return int(entries_.size()); }
  const TCookieItem& Item(int i) const { return entries_[size_t(i)].item; }

 private:
  struct Entry {
    TCookieItem item;
    int64_t maxAge;
    int64_t storedMs;
  };
  std::vector<Entry> entries_;
};

// The program-wide cookie store: one list per domain and one of all
// cookies, under one lock.
namespace WebCookies {
// Stores the cookie of one Set-Cookie header value received from host for
// requestPath (a Max-Age of 0 deletes it instead).
void Store(const std::string& host, const std::string& requestPath, std::string_view setCookie);
// The value of the Cookie header for a request of path on host: cookies
// "name=value" (with "; $Path=p" for one with a path) joined by "; ";
// empty when there is none.
std::string HeaderFor(const std::string& host, const std::string& path);
// Forgets every cookie.
void Clear();
// Cookies in the list of all cookies.
int TotalCount();
}  // namespace WebCookies

// ---------------------------------------------------------------- handle

class TWebClientHandle {
 public:
  TWebClientHandle();  // registers the handle in the program-wide list
  virtual ~TWebClientHandle();
  TWebClientHandle(const TWebClientHandle&) = delete;
  TWebClientHandle& operator=(const TWebClientHandle&) = delete;

  // Parses url and connects to its host (or to the proxy). A URL that
  // begins with "/" keeps the host and port.
  int Open(const std::string& url);
  void Close();
  // Sends the next requests through host:port ("" = no proxy).
  void SetProxy(const std::string& host, int port);
  // Seconds a receive may wait for data (0 = no limit).
  void SetTimeout(int seconds);
  int Timeout() const { return timeout_; }
  void SetRequestHeader(const std::string& name, const std::string& value);
  void SetRequestBody(std::string body) { requestBody_ = std::move(body); }

  // Sends GET for the current URL (with the range when either bound is
  // above 0; an end of 0 leaves the range open), reads the response head,
  // following redirects when FollowRedirects is set. Returns the status.
  int Request(int64_t rangeStart, int64_t rangeEnd);

  // Reads the body into Body (emptied first), at most MaxBodySize bytes.
  int ReadBody();
  // Reads the body into out, at most maxBytes (negative: no limit).
  int ReadBodyTo(plat::Stream& out, int64_t maxBytes);

  // Response header value by name, without regard to case; "" when absent.
  std::string ResponseHeader(std::string_view name) const;
  int ResponseHeaderCount() const { return headerNames_.Count(); }
  const std::string& ResponseHeaderName(int i) const { return headerNames_[i]; }
  const std::string& ResponseHeaderValue(int i) const { return headerValues_[i]; }

  bool FollowRedirects = true;
  int64_t MaxBodySize = kWebMaxBody;

  int Status() const { return status_; }
  int64_t ContentLength() const { return contentLength_; }
  int64_t RangeStart() const { return rangeStart_; }
  int64_t RangeEnd() const { return rangeEnd_; }
  plat::MemoryStream& Body() { return body_; }
  const std::string& Host() const { return host_; }
  int Port() const { return port_; }
  const std::string& Path() const { return path_; }

 protected:
  // The connection underneath (the socket object); failures raise ESocket.
  // Replaced only where responses are fed from memory (fuzzing).
  virtual void TransportConnect(const std::string& host, int port);
  virtual bool TransportConnected();
  virtual void TransportSend(const std::string& bytes);
  virtual int TransportRecv(void* buf, int count);
  virtual void TransportClose();

 private:
  int ParseUrl(const std::string& url);
  int Connect();
  int SendRequest(int64_t rangeStart, int64_t rangeEnd);
  int ReadHead();
  int ReadOneHead();
  int ReadLine(std::string& line);
  int ReadSome(void* buf, int count);
  int CopyBody(plat::Stream& out, int64_t count, int64_t& total, int64_t maxBytes);
  void ResetResponse();

  std::unique_ptr<TSocket> socket_;
  int timeout_ = kWebDefaultTimeout;
  std::string host_;
  int port_ = 80;
  std::string path_ = "/";
  std::string proxyHost_;
  int proxyPort_ = 0;
  plat::StringList requestNames_;
  plat::StringList requestValues_;
  std::string requestBody_;

  int status_ = 0;
  plat::StringList headerNames_;
  plat::StringList headerValues_;
  int64_t contentLength_ = -1;
  int64_t rangeStart_ = 0;
  int64_t rangeEnd_ = 0;
  plat::MemoryStream body_;

  // What was received but not yet used.
  std::vector<char> in_;
  size_t inPos_ = 0;
  size_t inLen_ = 0;
  std::vector<char> piece_;  // a piece of the body on its way to the stream
};

// Handles that exist now (the program-wide list).
int WebClientHandleCount();
