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

FakeHttpServer::FakeHttpServer(Script script) : script_(std::move(script)), listener_(std::make_unique<TSocket>()) {
  listener_->Listen("127.0.0.1", 0, false);
  port_ = listener_->LocalPort();
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

FakeHttpServer::~FakeHttpServer() {
  stop_ = true;
  listener_->Close();
  {
    std::lock_guard<std::mutex> g(lock_);
    for (auto& s : sockets_) s->Close();
  }
  if (acceptThread_.joinable()) acceptThread_.join();
  // No new threads can start now.
  for (auto& t : threads_) t.join();
}

std::string FakeHttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<FakeHttpServer::Request> FakeHttpServer::Requests() const {
  std::lock_guard<std::mutex> g(lock_);
  return requests_;
}

void FakeHttpServer::AcceptLoop() {
  while (!stop_) {
    auto s = std::make_shared<TSocket>();
    s->SetTimeout(1);  // accept waits in steps, so a stop is seen
    try {
      s->Accept(*listener_);
    } catch (const ESocket& e) {
      if (e.Code == -3) continue;
      return;
    }
    s->SetTimeout(30);
    std::lock_guard<std::mutex> g(lock_);
    if (stop_) return;
    int id = ++connections_;
    sockets_.push_back(s);
    threads_.emplace_back([this, s, id] { Serve(s, id); });
  }
}

void FakeHttpServer::Serve(std::shared_ptr<TSocket> s, int id) {
  try {
    while (!stop_) {
      Request r;
      r.connection = id;
      // The head ends with an empty line.
      while (r.head.size() < 4 || r.head.compare(r.head.size() - 4, 4, "\r\n\r\n") != 0) {
        r.head += char(s->ReadByte());
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
      if (!reply.bytes.empty()) s->WriteAll(reply.bytes);
      if (reply.writer) reply.writer(*s);
      if (reply.after == Reply::kClose) break;
      if (reply.after == Reply::kSilent) {
        // Hold the connection without a word until the client or the
        // server ends it.
        char c;
        s->SetTimeout(0);
        while (!stop_) s->Recv(&c, 1);
        break;
      }
    }
  } catch (const ESocket&) {
  }
  s->Close();
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
