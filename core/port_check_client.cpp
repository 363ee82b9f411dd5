#include "core/port_check_client.h"

#include "platform/text.h"

namespace {

bool Begins(const std::string& line, const char* prefix) { return line.rfind(prefix, 0) == 0; }

}  // namespace

void TPortCheckClientThread::ServeConnection() {
  std::string line;
  Socket()->ReadLine(line);
  if (!Begins(line, "200")) return;
  Socket()->SendString("PORT " + std::to_string(listenPort_) + "\r\n");
  Socket()->ReadLine(line);
  Synchronize(setAnswered_);
  if (Begins(line, "200")) Synchronize(setFound_);
}

void TPortCheckClientThread2::ServeConnection() {
  Socket()->SendString("200 Port Check Ready\r\n");
  std::string line;
  Socket()->ReadLine(line);
  if (plat::UpperCase(line.substr(0, 5)) == "CHECK")
    Socket()->SendString("200 Port Check Ok\r\n");
  else
    Socket()->SendString("401 Invalid Command\r\n");
}

TPortCheckClient::TPortCheckClient(void* owner)
    : listener_(std::make_unique<TEasyWinsock>(owner)), client_(std::make_unique<TEasyWinsock>(owner)) {
  listener_->TimeOut = kDefaultTimeOut;
  client_->TimeOut = kDefaultTimeOut;
  listener_->OnGetThread = [](TEasyWinsock*, TEasyWinsockThread*& thread) { thread = new TPortCheckClientThread2; };
  // One incoming connection is enough. (The accepted socket's pointer to
  // the listening socket dangles from here on: it is never used.)
  listener_->OnConnect = [this](TEasyWinsock*, TEasySocket*) { listener_->StopListening(); };
  client_->OnGetThread = [this](TEasyWinsock*, TEasyWinsockThread*& thread) {
    thread = new TPortCheckClientThread(listenPort_, [this] { found_ = true; }, [this] { answered_ = true; });
  };
  client_->OnFinish = [this](TEasyWinsock*, TEasySocket*) { EndCheck(); };
}

TPortCheckClient::~TPortCheckClient() {
  // The owner may be half destroyed: no event reaches it any more.
  destroying_ = true;
  OnFound = nullptr;
  OnNotFound = nullptr;
  listener_->StopListening();
  listener_->CloseAll();
  client_->CloseAll();
}

void TPortCheckClient::SetTimeOut(int seconds) {
  listener_->TimeOut = seconds;
  client_->TimeOut = seconds;
}

bool TPortCheckClient::Check(const std::string& host, int port, int listenPort) {
  if (busy_ || destroying_) return false;
  listener_->StopListening();
  TEasySocket* l = listener_->Listen(listenPort);
  if (!l) return false;
  // A result belongs to one check: an earlier success must not answer
  // for this one.
  found_ = false;
  answered_ = false;
  busy_ = true;
  listenPort_ = l->LocalPort();
  client_->Connect(host, port);
  return true;
}

void TPortCheckClient::Cancel() { client_->CloseAll(); }

void TPortCheckClient::EndCheck() {
  if (!busy_) return;
  busy_ = false;
  listener_->StopListening();
  if (destroying_) return;
  TPortCheckClientOnAction event = found_ ? OnFound : OnNotFound;  // a copy: the handler may replace it
  if (event) event(this);
}
