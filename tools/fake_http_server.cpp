#include "tools/fake_http_server.h"

#include "core/network_wrapper.h"
#include "platform/text.h"

namespace {

constexpr int kMaxHead = 64 * 1024;

}  // namespace

std::string FakeHttpServer::Request::Header(const std::string& name) const {
  size_t pos = head.find("\r\n");
  while (pos != std::string::npos && pos + 2 < head.size()) {
    size_t start = pos + 2;
    size_t end = head.find("\r\n", start);
    std::string l = head.substr(start, end == std::string::npos ? std::string::npos : end - start);
    size_t colon = l.find(':');
    if (colon != std::string::npos && plat::SameText(plat::Trim(l.substr(0, colon)), name))
      return plat::Trim(l.substr(colon + 1));
    pos = end;
  }
  return std::string();
}

bool FakeHttpServer::Request::HasHeader(const std::string& name) const {
  std::string needle = "\r\n" + plat::UpperCase(name) + ":";
  return plat::UpperCase(head).find(needle) != std::string::npos;
}

FakeHttpServer::FakeHttpServer(Script script)
    : script_(std::move(script)),
      server_(std::make_unique<LoopbackServer>([this](LoopbackServer& server, TSocket& s, int id) { Serve(server, s, id); })) {}

FakeHttpServer::~FakeHttpServer() { server_.reset(); }

std::string FakeHttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(Port()) + path;
}

std::vector<FakeHttpServer::Request> FakeHttpServer::Requests() const {
  std::lock_guard<std::mutex> g(lock_);
  return requests_;
}

void FakeHttpServer::Serve(LoopbackServer& server, TSocket& s, int id) {
  while (!server.Stopping()) {
    Request r;
    r.connection = id;
    // The head ends with an empty line.
    while (r.head.size() < 4 || r.head.compare(r.head.size() - 4, 4, "\r\n\r\n") != 0) {
      r.head += char(s.ReadByte());
      if (r.head.size() > size_t(kMaxHead)) return;
    }
    r.head.resize(r.head.size() - 2);
    r.line = r.head.substr(0, r.head.find("\r\n"));
    size_t sp = r.line.find(' ');
    if (sp != std::string::npos) r.target = r.line.substr(sp + 1, r.line.find(' ', sp + 1) - sp - 1);
    {
      std::lock_guard<std::mutex> g(lock_);
      requests_.push_back(r);
    }
    Reply reply = script_(r);
    if (!reply.bytes.empty()) s.WriteAll(reply.bytes);
    if (reply.writer) reply.writer(s);
    if (reply.after == Reply::kClose) return;
    if (reply.after == Reply::kSilent) return server.HoldSilently(s);
  }
}

FakeHttpServer::Reply FakeHttpServer::Text(int status, const std::string& body, const std::string& extraHeaders) {
  Reply r;
  r.bytes = "HTTP/1.1 " + std::to_string(status) + " Status\r\nContent-Length: " + std::to_string(body.size()) +
            "\r\n" + extraHeaders + "\r\n" + body;
  return r;
}

FakeHttpServer::Reply FakeHttpServer::Redirect(int status, const std::string& location) {
  return Text(status, "", "Location: " + location + "\r\n");
}
