#include "tools/gnutella_http_host.h"

#include <algorithm>

#include "core/network_wrapper.h"
#include "platform/text.h"

GnutellaHttpHost::GnutellaHttpHost(std::string content, Mode mode)
    : content_(std::move(content)),
      mode_(mode),
      server_(std::make_unique<FakeHttpServer>([this](const FakeHttpServer::Request& r) { return Answer(r); })) {}

FakeHttpServer::Reply GnutellaHttpHost::Answer(const FakeHttpServer::Request& r) {
  const int64_t size = int64_t(content_.size());
  int64_t from = 0;
  std::string range = r.Header("Range");
  size_t eq = range.find('=');
  if (eq != std::string::npos) from = std::min<int64_t>(size, std::atoll(range.substr(eq + 1).c_str()));
  std::string head;
  int64_t start = 0;
  int64_t end = size;  // one past the answer's last byte
  const Mode mode = mode_.load();
  const bool honoursRanges = mode == kServeRanges || mode == kCapped || mode == kCappedClosing;
  FakeHttpServer::Reply reply;
  reply.after = mode == kCapped && !closeKept_.load() ? FakeHttpServer::Reply::kKeepOpen : FakeHttpServer::Reply::kClose;
  if (honoursRanges && size > 0 && from >= size) {
    reply.bytes = "HTTP/1.1 416 Requested Range Not Satisfiable\r\nContent-Range: bytes */" + plat::IntToStr(size) +
                  "\r\nContent-Length: 0\r\n\r\n";
    return reply;
  }
  switch (mode) {
    case kNotFound:
      head = "HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\nNot found";
      break;
    case kBusy:
      head = "HTTP/1.0 503 Busy\r\nContent-Length: 0\r\n\r\n";
      break;
    case kHugeHeader:
      head = "HTTP/1.0 200 OK\r\nX-Filler: " + std::string(100 * 1024, 'x') + "\r\nContent-Length: " +
             plat::IntToStr(size) + "\r\n\r\n";
      break;
    case kManyHeaders:
      head = "HTTP/1.0 200 OK\r\n";
      for (int i = 0; i < 200; i++) head += "X-Header-" + plat::IntToStr(i) + ": x\r\n";
      head += "Content-Length: " + plat::IntToStr(size) + "\r\n\r\n";
      break;
    case kNoLength:
      head = "HTTP/1.0 200 OK\r\nServer: scripted\r\n\r\n";
      break;
    case kIgnoreRange:
      head = "HTTP/1.0 200 OK\r\nContent-Length: " + plat::IntToStr(size) + "\r\n\r\n";
      break;
    case kWrongRange:
      start = std::min(size, from + 1);
      head = "HTTP/1.0 206 Partial Content\r\nContent-Range: bytes " + plat::IntToStr(start) + "-" +
             plat::IntToStr(size - 1) + "/" + plat::IntToStr(size) + "\r\nContent-Length: " +
             plat::IntToStr(size - start) + "\r\n\r\n";
      break;
    case kCapped:
    case kCappedClosing:
      start = from;
      end = std::min(size, from + kAnswerCap);
      head = "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + plat::IntToStr(start) + "-" +
             plat::IntToStr(end - 1) + "/" + plat::IntToStr(size) + "\r\nContent-Length: " +
             plat::IntToStr(end - start) + (mode == kCappedClosing ? "\r\nConnection: close" : "") + "\r\n\r\n";
      break;
    case kServeRanges:
      start = from;
      if (from > 0) {
        head = "HTTP/1.0 206 Partial Content\r\nContent-Range: bytes " + plat::IntToStr(from) + "-" +
               plat::IntToStr(size - 1) + "/" + plat::IntToStr(size) + "\r\nContent-Length: " +
               plat::IntToStr(size - from) + "\r\n\r\n";
      } else {
        head = "HTTP/1.0 200 OK\r\nContent-Length: " + plat::IntToStr(size) + "\r\n\r\n";
      }
      break;
  }
  reply.bytes = head;
  if (mode != kNotFound && mode != kBusy) {
    std::string body = content_.substr(size_t(start), size_t(end - start));
    int64_t cut = cut_.load();
    if (cut >= 0 && cut < int64_t(body.size())) {
      body.resize(size_t(cut));
      reply.after = FakeHttpServer::Reply::kClose;  // cut off mid-answer
    }
    reply.writer = [body](TSocket& s) {
      if (!body.empty()) s.WriteAll(body);
    };
  }
  return reply;
}
