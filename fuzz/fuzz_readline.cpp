// Line reading over a real connection: a peer sends arbitrary bytes and
// closes; the connection thread reads some lines, then receives the rest.
// Every line must be the LF-ended piece of the stream, trimmed, and every
// byte after the last line read must arrive once, in order.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "core/easy_winsock.h"
#include "platform/dispatcher.h"
#include "platform/net.h"
#include "platform/text.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

struct Outcome {
  std::mutex m;
  int lines = 0;  // lines to read before receiving the rest
  std::vector<std::string> got;
  std::string rest;
  bool lineCut = false;  // the stream ended inside a line
};

class ReaderThread : public TEasyWinsockThread {
 public:
  explicit ReaderThread(Outcome* out) : out_(out) {}

 protected:
  void ServeConnection() override {
    TEasySocket* s = Socket();
    std::string line;
    for (int i = 0; i < out_->lines; ++i) {
      try {
        s->ReadLine(line);
      } catch (const EEasySocketClose&) {
        std::lock_guard<std::mutex> g(out_->m);
        out_->lineCut = true;
        return;
      }
      std::lock_guard<std::mutex> g(out_->m);
      out_->got.push_back(line);
    }
    char buf[512];
    for (;;) {  // until the peer's close ends it
      const int n = s->Receive(buf, sizeof buf);
      std::lock_guard<std::mutex> g(out_->m);
      if (n > 0) out_->rest.append(buf, size_t(n));
    }
  }
  void CancelHook() override {}

 private:
  Outcome* out_;
};

struct Harness {
  Harness() {
    w.TimeOut = 5;
    w.OnGetThread = [this](TEasyWinsock*, TEasyWinsockThread*& t) { t = new ReaderThread(&outcome); };
    w.OnDisconnect = [this](TEasyWinsock*, TEasySocket*) { ++finished; };
    listener = w.Listen(0, "127.0.0.1");
    Check(listener != nullptr);
  }
  TEasyWinsock w;
  TEasySocket* listener = nullptr;
  Outcome outcome;
  int finished = 0;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  plat::MainLoop::Init();
  plat::NetStartup();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Harness* h = new Harness();
  if (size < 1 || size > 65536) return 0;
  const int wanted = data[0] % 8;
  const std::string stream(reinterpret_cast<const char*>(data) + 1, size - 1);
  {
    std::lock_guard<std::mutex> g(h->outcome.m);
    h->outcome.lines = wanted;
    h->outcome.got.clear();
    h->outcome.rest.clear();
    h->outcome.lineCut = false;
  }
  const int before = h->finished;
  const plat::SocketHandle c = plat::TcpSocket();
  Check(plat::ConnectSocket(c, 0x7F000001, uint16_t(h->listener->LocalPort())));
  size_t sent = 0;
  while (sent < stream.size()) {
    const int n = plat::SendSocket(c, stream.data() + sent, int(stream.size() - sent));
    Check(n > 0);
    sent += size_t(n);
  }
  plat::ShutdownSocket(c);
  Check(plat::MainLoop::PumpUntil([&] { return h->finished > before; }, 10000));
  plat::CloseSocket(c);

  // What the lines must be: a bare line feed first is skipped, then each
  // line runs up to the next line feed.
  std::vector<std::string> lines;
  size_t pos = 0;
  bool cut = false;
  if (wanted > 0 && !stream.empty() && stream[0] == '\n') pos = 1;
  for (int i = 0; i < wanted; ++i) {
    const size_t lf = stream.find('\n', pos);
    if (lf == std::string::npos) {
      cut = true;
      break;
    }
    lines.push_back(plat::Trim(std::string_view(stream).substr(pos, lf - pos)));
    pos = lf + 1;
  }
  std::lock_guard<std::mutex> g(h->outcome.m);
  Check(h->outcome.lineCut == cut);
  Check(h->outcome.got == lines);
  if (!cut) Check(h->outcome.rest == stream.substr(pos));
  return 0;
}
