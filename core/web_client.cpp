#include "core/web_client.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

#include "core/network_wrapper.h"
#include "platform/clock.h"
#include "platform/text.h"

namespace {

// A failure inside the client; becomes the result of the operation.
struct EInternalWebClient {
  int code;
};

[[noreturn]] void Fail(int code) { throw EInternalWebClient{code}; }

std::string Unquote(std::string_view s) {
  std::string t = plat::Trim(s);
  if (t.size() >= 2 && t.front() == '"' && t.back() == '"') t = t.substr(1, t.size() - 2);
  return t;
}

bool EndsWithText(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && plat::SameText(s.substr(s.size() - tail.size()), tail);
}

bool StartsWith(std::string_view s, std::string_view head) { return s.substr(0, head.size()) == head; }

// Decimal digits only (at most 18 of them): the value, else -1.
int64_t ParseDecimal(std::string_view s) {
  if (s.empty() || s.size() > 18) return -1;
  int64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

// ---------------------------------------------------------------- cookies

struct CookieJar {
  std::mutex lock;
  std::vector<std::pair<std::string, TCookieList>> domains;
  TCookieList all;

  TCookieList& ListFor(const std::string& domain) {
    for (auto& d : domains)
      if (plat::SameText(d.first, domain)) return d.second;
    domains.emplace_back(domain, TCookieList());
    return domains.back().second;
  }
};

CookieJar& Jar() {
  static CookieJar jar;
  return jar;
}

int64_t NowMs() { return plat::MonotonicMs(); }

// A DOMAIN attribute is taken when it begins with a full stop, holds at
// least two full stops, the host ends with it, and the part of the host
// before it holds no full stop.
bool DomainAccepted(std::string_view domain, std::string_view host) {
  if (domain.size() < 2 || domain[0] != '.') return false;
  if (std::count(domain.begin(), domain.end(), '.') < 2) return false;
  if (!EndsWithText(host, domain) || host.size() == domain.size()) return false;
  std::string_view before = host.substr(0, host.size() - domain.size());
  return before.find('.') == std::string_view::npos;
}

bool DomainMatches(std::string_view domain, std::string_view host) {
  if (plat::SameText(domain, host)) return true;
  return !domain.empty() && domain[0] == '.' && DomainAccepted(domain, host);
}

}  // namespace

void TCookieList::Store(const TCookieItem& c, int64_t maxAge, int64_t nowMs) {
  Delete(c.Name);
  entries_.insert(entries_.begin(), Entry{c, maxAge, nowMs});
  if (entries_.size() > size_t(kMaxCookies)) entries_.resize(size_t(kMaxCookies));
}

void TCookieList::Delete(std::string_view name) {
  entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                [&](const Entry& e) { return plat::SameText(e.item.Name, name); }),
                 entries_.end());
}

void TCookieList::DropExpired(int64_t nowMs) {
  entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                [&](const Entry& e) { return e.maxAge >= 0 && nowMs - e.storedMs >= e.maxAge * 1000; }),
                 entries_.end());
}

namespace WebCookies {

void Store(const std::string& host, const std::string& requestPath, std::string_view setCookie) {
  // name=value, then attributes separated by semicolons.
  TCookieItem c;
  c.Domain = host;
  int64_t maxAge = -1;
  size_t pos = 0;
  bool first = true;
  while (pos <= setCookie.size()) {
    size_t end = setCookie.find(';', pos);
    if (end == std::string_view::npos) end = setCookie.size();
    std::string_view part = setCookie.substr(pos, end - pos);
    pos = end + 1;
    size_t eq = part.find('=');
    std::string name = Unquote(part.substr(0, eq));
    std::string value = eq == std::string_view::npos ? std::string() : Unquote(part.substr(eq + 1));
    if (first) {
      first = false;
      c.Name = name;
      c.Value = value;
      continue;
    }
    std::string key = plat::UpperCase(name);
    if (key == "PATH") {
      if (!value.empty() && StartsWith(requestPath, value)) c.Path = value;
    } else if (key == "MAX-AGE") {
      if (!value.empty() && value[0] == '-') {
        maxAge = 0;
      } else {
        int64_t v = ParseDecimal(value);
        if (v >= 0) maxAge = std::min<int64_t>(v, int64_t(1) << 40);
      }
    } else if (key == "DOMAIN") {
      if (DomainAccepted(value, host)) c.Domain = value;
    }
  }
  if (c.Name.empty()) return;
  CookieJar& jar = Jar();
  std::lock_guard<std::mutex> g(jar.lock);
  TCookieList& list = jar.ListFor(c.Domain);
  if (maxAge == 0) {
    list.Delete(c.Name);
    jar.all.Delete(c.Name);
    return;
  }
  int64_t now = NowMs();
  list.Store(c, maxAge, now);
  jar.all.Store(c, maxAge, now);
}

std::string HeaderFor(const std::string& host, const std::string& path) {
  CookieJar& jar = Jar();
  std::lock_guard<std::mutex> g(jar.lock);
  int64_t now = NowMs();
  jar.all.DropExpired(now);
  std::string out;
  for (auto& d : jar.domains) {
    d.second.DropExpired(now);
    if (!DomainMatches(d.first, host)) continue;
    for (int i = 0; i < d.second.Count(); ++i) {
      const TCookieItem& c = d.second.Item(i);
      if (!StartsWith(path, c.Path)) continue;
      if (!out.empty()) out += "; ";
      out += c.Name + "=" + c.Value;
      if (!c.Path.empty()) out += "; $Path=" + c.Path;
    }
  }
  return out;
}

void Clear() {
  CookieJar& jar = Jar();
  std::lock_guard<std::mutex> g(jar.lock);
  jar.domains.clear();
  jar.all = TCookieList();
}

int TotalCount() {
  CookieJar& jar = Jar();
  std::lock_guard<std::mutex> g(jar.lock);
  jar.all.DropExpired(NowMs());
  return jar.all.Count();
}

}  // namespace WebCookies

// ---------------------------------------------------------------- handle list

namespace {

struct HandleList {
  std::mutex lock;
  std::vector<TWebClientHandle*> handles;
};

HandleList& Handles() {
  static HandleList list;
  return list;
}

}  // namespace

int WebClientHandleCount() {
  HandleList& l = Handles();
  std::lock_guard<std::mutex> g(l.lock);
  return int(l.handles.size());
}

TWebClientHandle::TWebClientHandle()
    : socket_(std::make_unique<TSocket>()), in_(kWebPiece), piece_(kWebPiece) {
  socket_->SetTimeout(timeout_);
  HandleList& l = Handles();
  std::lock_guard<std::mutex> g(l.lock);
  l.handles.push_back(this);
}

TWebClientHandle::~TWebClientHandle() {
  {
    HandleList& l = Handles();
    std::lock_guard<std::mutex> g(l.lock);
    l.handles.erase(std::remove(l.handles.begin(), l.handles.end(), this), l.handles.end());
  }
  socket_->Close();
}

void TWebClientHandle::TransportConnect(const std::string& host, int port) {
  socket_->SetTimeout(timeout_);
  socket_->Connect(host, port);
}

bool TWebClientHandle::TransportConnected() { return socket_->Connected(); }

void TWebClientHandle::TransportSend(const std::string& bytes) { socket_->WriteAll(bytes.data(), int(bytes.size())); }

int TWebClientHandle::TransportRecv(void* buf, int count) { return socket_->Recv(buf, count); }

void TWebClientHandle::TransportClose() { socket_->Close(); }

void TWebClientHandle::SetProxy(const std::string& host, int port) {
  proxyHost_ = host;
  proxyPort_ = port;
}

void TWebClientHandle::SetTimeout(int seconds) {
  timeout_ = seconds < 0 ? 0 : seconds;
  socket_->SetTimeout(timeout_);
}

void TWebClientHandle::SetRequestHeader(const std::string& name, const std::string& value) {
  int i = requestNames_.IndexOf(name);
  if (i >= 0) {
    requestValues_[i] = value;
  } else {
    requestNames_.Add(name);
    requestValues_.Add(value);
  }
}

std::string TWebClientHandle::ResponseHeader(std::string_view name) const {
  int i = headerNames_.IndexOf(name);
  return i < 0 ? std::string() : headerValues_[i];
}

int TWebClientHandle::ParseUrl(const std::string& url) {
  for (char ch : url)
    if (static_cast<unsigned char>(ch) < 32) return kWebBadScheme;  // would break the request head
  if (!url.empty() && url[0] == '/') {
    path_ = url;
    return 0;
  }
  size_t slash = url.find('/');
  if (slash == std::string::npos) return kWebBadScheme;  // "http:" and nothing after it
  if (plat::UpperCase(plat::Trim(url.substr(0, slash))) != "HTTP:") return kWebBadScheme;
  size_t pos = slash;
  for (int i = 0; i < 2 && pos < url.size() && url[pos] == '/'; ++i) ++pos;
  size_t end = url.find('/', pos);
  std::string hostPort = url.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
  std::string path = end == std::string::npos ? "/" : url.substr(end);
  int port = 80;
  size_t colon = hostPort.find(':');
  if (colon != std::string::npos) {
    int64_t p = ParseDecimal(hostPort.substr(colon + 1));
    if (p <= 0 || p > 65535) return kWebBadScheme;
    port = int(p);
    hostPort.resize(colon);
  }
  if (hostPort.empty() || hostPort.find(' ') != std::string::npos) return kWebBadScheme;
  host_ = hostPort;
  port_ = port;
  path_ = path;
  return 0;
}

int TWebClientHandle::Connect() {
  inPos_ = inLen_ = 0;
  try {
    if (proxyHost_.empty())
      TransportConnect(host_, port_);
    else
      TransportConnect(proxyHost_, proxyPort_);
  } catch (const ESocket& e) {
    return e.Code;
  }
  return 0;
}

int TWebClientHandle::Open(const std::string& url) {
  int r = ParseUrl(url);
  return r < 0 ? r : Connect();
}

void TWebClientHandle::Close() {
  TransportClose();
  inPos_ = inLen_ = 0;
}

void TWebClientHandle::ResetResponse() {
  status_ = 0;
  headerNames_.Clear();
  headerValues_.Clear();
  contentLength_ = -1;
  rangeStart_ = rangeEnd_ = 0;
}

int TWebClientHandle::ReadSome(void* buf, int count) {
  if (inPos_ < inLen_) {
    int n = int(std::min<size_t>(size_t(count), inLen_ - inPos_));
    std::memcpy(buf, in_.data() + inPos_, size_t(n));
    inPos_ += size_t(n);
    return n;
  }
  return TransportRecv(buf, std::min(count, kWebPiece));
}

int TWebClientHandle::ReadLine(std::string& line) {
  line.clear();
  for (;;) {
    if (inPos_ >= inLen_) {
      inPos_ = 0;
      inLen_ = size_t(TransportRecv(in_.data(), int(in_.size())));
    }
    const char* start = in_.data() + inPos_;
    const char* lf = static_cast<const char*>(std::memchr(start, '\n', inLen_ - inPos_));
    size_t take = lf ? size_t(lf - start) : inLen_ - inPos_;
    if (line.size() + take > size_t(kWebMaxLine)) Fail(kWebBadResponse);
    line.append(start, take);
    inPos_ += take;
    if (lf) {
      ++inPos_;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return int(line.size());
    }
  }
}

int TWebClientHandle::SendRequest(int64_t rangeStart, int64_t rangeEnd) {
  std::string hostPort = port_ == 80 ? host_ : host_ + ":" + std::to_string(port_);
  std::string head = "GET ";
  if (!proxyHost_.empty()) head += "http://" + hostPort;
  head += path_ + " HTTP/1.1\r\n";
  for (int i = 0; i < requestNames_.Count(); ++i) head += requestNames_[i] + ": " + requestValues_[i] + "\r\n";
  std::string cookies = WebCookies::HeaderFor(host_, path_);
  if (!cookies.empty()) head += "Cookie: " + cookies + "\r\n";
  head += "Host: " + hostPort + "\r\n";
  if (rangeStart > 0 || rangeEnd > 0) {
    head += "Range: bytes=" + std::to_string(rangeStart) + "-";
    if (rangeEnd > 0) head += std::to_string(rangeEnd);
    head += "\r\n";
  }
  head += "\r\n";
  head += requestBody_;
  TransportSend(head);
  return 0;
}

int TWebClientHandle::ReadOneHead() {
  headerNames_.Clear();
  headerValues_.Clear();
  std::string line;
  int lines = 0;
  do {  // empty lines before the status line are skipped
    ReadLine(line);
    if (++lines > kWebMaxHeaders) Fail(kWebBadResponse);
  } while (line.empty());
  size_t sp = line.find(' ');
  if (sp == std::string::npos || line.size() < sp + 4) Fail(kWebBadResponse);
  int status = 0;
  for (size_t i = sp + 1; i < sp + 4; ++i) {
    if (line[i] < '0' || line[i] > '9') Fail(kWebBadResponse);
    status = status * 10 + (line[i] - '0');
  }
  if (line.size() > sp + 4 && line[sp + 4] != ' ') Fail(kWebBadResponse);
  status_ = status;
  while (ReadLine(line) > 0) {
    if (++lines > kWebMaxHeaders) Fail(kWebBadResponse);
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string name = plat::Trim(std::string_view(line).substr(0, colon));
    std::string value = plat::Trim(std::string_view(line).substr(colon + 1));
    if (plat::SameText(name, "SET-COOKIE")) WebCookies::Store(host_, path_, value);
    headerNames_.Add(std::move(name));
    headerValues_.Add(std::move(value));
  }
  return status;
}

int TWebClientHandle::ReadHead() {
  int interim = 0;
  while (ReadOneHead() / 100 == 1)
    if (++interim > kWebMaxInterim) Fail(kWebBadResponse);
  // Length and range of the body. A length that is missing or no plain
  // decimal number ("", "12abc", "-1", more digits than any body has) is
  // not given: the body is read to the close.
  contentLength_ = ParseDecimal(ResponseHeader("Content-Length"));
  rangeStart_ = 0;
  rangeEnd_ = contentLength_ > 0 ? contentLength_ - 1 : 0;
  std::string range = ResponseHeader("Content-Range");
  if (contentLength_ > 1 && !range.empty()) {
    // "bytes first-last/total"
    size_t a = range.find_first_of("0123456789");
    size_t dash = a == std::string::npos ? a : range.find('-', a);
    if (dash != std::string::npos) {
      size_t b = dash + 1;
      size_t bEnd = range.find_first_not_of("0123456789", b);
      int64_t first = ParseDecimal(std::string_view(range).substr(a, dash - a));
      int64_t last = ParseDecimal(std::string_view(range).substr(b, bEnd == std::string::npos ? bEnd : bEnd - b));
      if (first >= 0 && last >= 0) {
        rangeStart_ = first;
        rangeEnd_ = last;
      }
    }
  }
  return status_;
}

int TWebClientHandle::Request(int64_t rangeStart, int64_t rangeEnd) {
  int redirects = 0;
  for (;;) {
    ResetResponse();
    if (path_.empty()) path_ = "/";
    try {
      if (!TransportConnected()) {
        int r = Connect();
        if (r < 0) return r;
      }
      SendRequest(rangeStart, rangeEnd);
      ReadHead();
    } catch (const ESocket& e) {
      Close();
      return e.Code;
    } catch (const EInternalWebClient& e) {
      Close();
      return e.code;
    }
    if (!FollowRedirects || status_ < 300 || status_ > 399) return status_;
    std::string location = ResponseHeader("Location");
    if (location.empty()) return status_;  // nowhere to go: the 3xx is the answer
    if (++redirects > kWebMaxRedirects) {
      Close();
      return kWebTooManyRedirects;
    }
    Close();
    int r = ParseUrl(location);
    if (r < 0) return r;
    r = Connect();
    if (r < 0) return r;
  }
}

int TWebClientHandle::CopyBody(plat::Stream& out, int64_t count, int64_t& total, int64_t maxBytes) {
  char* buf = piece_.data();
  while (count != 0) {
    int want = count < 0 || count > kWebPiece ? kWebPiece : int(count);
    int n;
    try {
      n = ReadSome(buf, want);
    } catch (const ESocket& e) {
      if (count < 0 && e.Code == kNetPeerClosed) return 0;  // to-close body: the end
      throw;
    }
    if (maxBytes >= 0 && total + n > maxBytes) Fail(kWebCannotStore);
    try {
      if (out.Write(buf, n) != n) Fail(kWebCannotStore);
    } catch (const std::bad_alloc&) {
      Fail(kWebCannotStore);
    } catch (const plat::EStreamError&) {
      Fail(kWebCannotStore);
    }
    total += n;
    if (count > 0) count -= n;
  }
  return 0;
}

int TWebClientHandle::ReadBodyTo(plat::Stream& out, int64_t maxBytes) {
  int64_t total = 0;
  try {
    if (status_ == 204 || status_ == 304) return 0;  // never a body
    if (plat::UpperCase(ResponseHeader("Transfer-Encoding")).find("CHUNKED") != std::string::npos) {
      std::string line;
      for (;;) {
        ReadLine(line);
        std::string size = plat::Trim(std::string_view(line).substr(0, line.find(';')));
        if (size.empty() || size.size() > 15) Fail(kWebBadResponse);
        int64_t n = 0;
        for (char ch : size) {
          int d = ch >= '0' && ch <= '9' ? ch - '0'
                  : ch >= 'a' && ch <= 'f' ? ch - 'a' + 10
                  : ch >= 'A' && ch <= 'F' ? ch - 'A' + 10 : -1;
          if (d < 0) Fail(kWebBadResponse);
          n = n * 16 + d;
        }
        if (n == 0) break;  // the last chunk: nothing after it is read
        CopyBody(out, n, total, maxBytes);
        if (ReadLine(line) != 0) Fail(kWebBadResponse);
      }
    } else if (contentLength_ >= 0) {
      if (maxBytes >= 0 && contentLength_ > maxBytes) Fail(kWebCannotStore);
      CopyBody(out, contentLength_, total, maxBytes);
    } else {
      CopyBody(out, -1, total, maxBytes);
      Close();  // the server ended the connection
    }
  } catch (const ESocket& e) {
    Close();
    return e.Code;
  } catch (const EInternalWebClient& e) {
    Close();  // the rest of the response cannot be told from the next one
    return e.code;
  }
  return 0;
}

int TWebClientHandle::ReadBody() {
  body_.Clear();
  return ReadBodyTo(body_, MaxBodySize);
}
