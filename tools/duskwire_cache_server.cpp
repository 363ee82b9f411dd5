#include "tools/duskwire_cache_server.h"

#include <algorithm>

TDWFakeCacheServer::TDWFakeCacheServer() = default;
TDWFakeCacheServer::~TDWFakeCacheServer() { Stop(); }

void TDWFakeCacheServer::Start(const std::string& address, int port) {
  listener_.Listen(address, port, true);
  port_ = listener_.LocalPort();
  stopping_ = false;
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

void TDWFakeCacheServer::Stop() {
  {
    std::lock_guard<std::mutex> g(lock_);
    stopping_ = true;
  }
  released_.notify_all();
  listener_.Close();
  if (acceptor_.joinable()) acceptor_.join();
  std::vector<std::unique_ptr<Session>> sessions;
  {
    std::lock_guard<std::mutex> g(lock_);
    for (auto& s : sessionList_) s->conn->Close();
    sessions.swap(sessionList_);
  }
  for (auto& s : sessions)
    if (s->thread.joinable()) s->thread.join();
}

void TDWFakeCacheServer::SetGreetingHeader(const std::string& name, const std::string& value) {
  std::lock_guard<std::mutex> g(lock_);
  greeting_.emplace_back(name, value);
}

void TDWFakeCacheServer::SetNetworkStatistic(const std::string& name, const std::string& value) {
  std::lock_guard<std::mutex> g(lock_);
  stats_.emplace_back(name, value);
}

void TDWFakeCacheServer::SetPlan(const std::string& node, const std::vector<std::string>& neighbours) {
  std::lock_guard<std::mutex> g(lock_);
  plan_[node] = neighbours;
}

std::vector<std::string> TDWFakeCacheServer::Commands() {
  std::lock_guard<std::mutex> g(lock_);
  return commands_;
}

int TDWFakeCacheServer::CountCommands(const std::string& address, const std::string& command) {
  std::lock_guard<std::mutex> g(lock_);
  return int(std::count(commands_.begin(), commands_.end(), address + " " + command));
}

std::map<std::string, int> TDWFakeCacheServer::AnnouncedNodes() {
  std::lock_guard<std::mutex> g(lock_);
  return announced_;
}

TDWFakeCacheServer::Headers TDWFakeCacheServer::LastStatistics(const std::string& address) {
  std::lock_guard<std::mutex> g(lock_);
  const std::vector<Headers>& sent = statsSent_[address];
  return sent.empty() ? Headers() : sent.back();
}

std::vector<TDWFakeCacheServer::Headers> TDWFakeCacheServer::StatisticsSent(const std::string& address) {
  std::lock_guard<std::mutex> g(lock_);
  return statsSent_[address];
}

void TDWFakeCacheServer::SetStatsReplies(const std::vector<StatsReply>& replies) {
  std::lock_guard<std::mutex> g(lock_);
  statsReplies_.assign(replies.begin(), replies.end());
}

void TDWFakeCacheServer::ReleaseStatsReply() {
  {
    std::lock_guard<std::mutex> g(lock_);
    releasing_ = true;
  }
  released_.notify_all();
}

bool TDWFakeCacheServer::StatsAnswered(std::unique_lock<std::mutex>& held) {
  if (statsReplies_.empty()) return true;
  const StatsReply reply = statsReplies_.front();
  statsReplies_.pop_front();
  if (reply == StatsReply::Hold) {
    releasing_ = false;
    released_.wait(held, [&] { return releasing_ || stopping_; });
    return !stopping_;
  }
  return reply == StatsReply::Answer;
}

void TDWFakeCacheServer::AcceptLoop() {
  while (!stopping_) {
    auto conn = std::make_unique<TDuskwire>();
    try {
      conn->Accept(listener_);
    } catch (const ESocket&) {
      if (stopping_ || !listener_.Connected()) return;
      continue;
    }
    ++sessions_;
    std::lock_guard<std::mutex> g(lock_);
    // Finished sessions are joined as new ones come.
    for (auto it = sessionList_.begin(); it != sessionList_.end();) {
      if (!(*it)->conn->Connected() && (*it)->thread.joinable()) {
        (*it)->thread.join();
        it = sessionList_.erase(it);
      } else {
        ++it;
      }
    }
    auto s = std::make_unique<Session>();
    s->conn = std::move(conn);
    TDuskwire* c = s->conn.get();
    s->thread = std::thread([this, c] {
      try {
        Serve(*c);
      } catch (...) {
      }
      c->Close();
    });
    sessionList_.push_back(std::move(s));
  }
}

bool TDWFakeCacheServer::PickNode(const std::string& node, std::string& ip, int& port) {
  std::vector<std::string> candidates;
  auto plan = plan_.find(node);
  if (plan != plan_.end()) {
    candidates = plan->second;
  } else {
    for (auto& a : announced_)
      if (a.first != node) candidates.push_back(a.first);
  }
  for (size_t tries = 0; tries < candidates.size(); ++tries) {
    size_t i = next_[node]++ % candidates.size();
    auto a = announced_.find(candidates[i]);
    if (a != announced_.end()) {
      ip = a->first;
      port = a->second;
      return true;
    }
  }
  return false;
}

void TDWFakeCacheServer::Serve(TDuskwire& conn) {
  conn.SetTimeout(30);
  const std::string node = conn.RemoteIP();
  {
    std::lock_guard<std::mutex> g(lock_);
    commands_.push_back(node + " CONNECT");
    for (auto& h : greeting_) conn.SetHeader(h.first, h.second);
  }
  conn.SetHeader("IP-Host", node);
  conn.SetHeader("IP-Number", std::to_string(conn.Socket().RemoteAddress()));
  conn.SendHeader(std::to_string(greetingCode_.load()));
  while (!stopping_) {
    std::string command;
    conn.ReadHeaderBlock(command);
    std::vector<std::pair<std::string, std::string>> headers;
    for (int i = 0; i < conn.HeaderCount(); ++i) headers.emplace_back(conn.HeaderName(i), conn.HeaderValue(i));
    std::string reply = "4004";
    {
      std::unique_lock<std::mutex> g(lock_);
      commands_.push_back(node + " " + command);
      conn.ClearHeaders();
      if (command == "UPDATE_STATS") {
        statsSent_[node].push_back(headers);
        if (!StatsAnswered(g)) return;
        for (auto& h : stats_) conn.SetHeader(h.first, h.second);
        reply = "2030";
      } else if (command == "SET_NODE") {
        for (auto& h : headers)
          if (h.first == "Port") announced_[node] = std::atoi(h.second.c_str());
        reply = "2000";
      } else if (command == "GET_NODE") {
        std::string ip;
        int port = 0;
        if (PickNode(node, ip, port)) {
          conn.SetHeader("IP", ip);
          conn.SetHeader("Port", std::to_string(port));
          reply = "2010";
        }
      }
    }
    conn.SendHeader(reply);
  }
}
