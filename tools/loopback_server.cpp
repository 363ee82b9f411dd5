#include "tools/loopback_server.h"

#include "core/network_wrapper.h"

LoopbackServer::LoopbackServer(Handler handler) : handler_(std::move(handler)), listener_(std::make_unique<TSocket>()) {
  listener_->Listen("127.0.0.1", 0, false);
  port_ = listener_->LocalPort();
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
  stop_ = true;
  listener_->Close();
  {
    std::lock_guard<std::mutex> g(lock_);
    for (auto& s : sockets_) s->Close();
  }
  if (acceptThread_.joinable()) acceptThread_.join();
  for (auto& t : threads_) t.join();  // no thread starts any more
}

std::shared_ptr<TSocket> LoopbackServer::NewSocket() {
  std::lock_guard<std::mutex> g(lock_);
  if (stop_) return nullptr;
  auto s = std::make_shared<TSocket>();
  sockets_.push_back(s);
  return s;
}

void LoopbackServer::AcceptLoop() {
  while (!stop_) {
    auto s = std::make_shared<TSocket>();
    s->SetTimeout(1);  // accept waits in steps so a stop is seen
    try {
      s->Accept(*listener_);
    } catch (const ESocket& e) {
      if (e.Code == -3) continue;
      return;
    }
    // No time-out of its own: a connection ends when its peer closes it or
    // the server stops. Socket time-outs run on the program's monotonic
    // clock, which tests move on to drive the program's timers; a scripted
    // peer that timed out by such a step would cut a connection the test
    // relies on.
    s->SetTimeout(0);
    std::lock_guard<std::mutex> g(lock_);
    if (stop_) return;
    int id = ++connections_;
    sockets_.push_back(s);
    threads_.emplace_back([this, s, id] {
      try {
        handler_(*this, *s, id);
      } catch (const ESocket&) {
      }
      s->Close();
    });
  }
}

void LoopbackServer::HoldSilently(TSocket& s) {
  char c;
  s.SetTimeout(0);
  while (!stop_) s.Recv(&c, 1);
}

std::string LoopbackServer::ReadLine(TSocket& s) {
  std::string line;
  for (;;) {
    char c = char(s.ReadByte());
    if (c == '\n') break;
    line += c;
    if (line.size() > 64 * 1024) throw ESocket(-12);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}
