#include "tools/fake_port_check_server.h"

#include <cstdlib>

#include "core/network_wrapper.h"

FakePortCheckServer::FakePortCheckServer(FakePortCheckOptions options)
    : options_(std::move(options)),
      server_(std::make_unique<LoopbackServer>([this](LoopbackServer& server, TSocket& s, int) { Serve(server, s); })) {}

FakePortCheckServer::~FakePortCheckServer() { server_.reset(); }

std::vector<std::string> FakePortCheckServer::ClientLines() const {
  std::lock_guard<std::mutex> g(lock_);
  return clientLines_;
}

std::vector<std::string> FakePortCheckServer::ListenerLines() const {
  std::lock_guard<std::mutex> g(lock_);
  return listenerLines_;
}

void FakePortCheckServer::Log(std::vector<std::string>& to, const std::string& line) {
  std::lock_guard<std::mutex> g(lock_);
  to.push_back(line);
}

bool FakePortCheckServer::CheckBack(LoopbackServer& server, int port) {
  std::shared_ptr<TSocket> back = server.NewSocket();
  if (!back) return false;
  try {
    back->SetTimeout(30);
    back->Connect("127.0.0.1", port);
    std::string ready = LoopbackServer::ReadLine(*back);
    Log(listenerLines_, ready);
    back->WriteAll(options_.checkLine + "\r\n");
    std::string answer = LoopbackServer::ReadLine(*back);
    Log(listenerLines_, answer);
    back->Close();
    return ready.rfind("200", 0) == 0 && answer.rfind("200", 0) == 0;
  } catch (const ESocket&) {
    back->Close();
    return false;
  }
}

void FakePortCheckServer::Serve(LoopbackServer& server, TSocket& s) {
  if (options_.silent) return server.HoldSilently(s);
  s.WriteAll(options_.greeting + "\r\n");
  std::string line = LoopbackServer::ReadLine(s);
  Log(clientLines_, line);
  bool ok = false;
  if (!options_.portReply.empty()) {
    s.WriteAll(options_.portReply + "\r\n");
  } else {
    int port = line.rfind("PORT ", 0) == 0 ? std::atoi(line.c_str() + 5) : 0;
    ok = port > 0 && CheckBack(server, port);
    s.WriteAll(ok ? "200 OK\r\n" : "500 Port Check Failed\r\n");
  }
  ++checks_;
}
