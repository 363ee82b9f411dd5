// Drives a Napster session with what a hostile server could send: either
// one message straight into the dispatcher, or a whole byte stream read by
// the session run (login reply, then frames of any shape).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "peer/napster/napster_client_info_thread.h"

namespace {

class FuzzSession : public TNapsterClientSession {
 public:
  FuzzSession(const uint8_t* data, std::size_t size) : in_(reinterpret_cast<const char*>(data), size) {
    Callbacks.OnUploadRequested = [](TNapsterClientSession&, const std::string&, const std::string&, const std::string&,
                                     bool& queued, bool& accept) {
      queued = false;
      accept = true;
    };
    Callbacks.OnEventReceived = [](TNapsterClientSession&, const std::string&, const TMessageItem& e) {
      if (e.GetValue("EVENT").empty()) __builtin_trap();
    };
  }
  void Prime() {
    ReadStartRecord();
    SendLogin(false);
  }

 protected:
  std::string StartValue(std::string_view key) override {
    if (key == "ID") return "F1";
    if (key == "NICK") return "me";
    return "";
  }
  void ReceiveAll(void* buffer, int count) override {
    if (in_.size() - pos_ < std::size_t(count)) throw EEasySocketClose(0, nullptr);
    std::memcpy(buffer, in_.data() + pos_, std::size_t(count));
    pos_ += std::size_t(count);
  }
  int ReceiveSome(void* buffer, int count) override {
    if (pos_ >= in_.size()) throw EEasySocketClose(0, nullptr);
    std::size_t n = std::min(in_.size() - pos_, std::size_t(count));
    std::memcpy(buffer, in_.data() + pos_, n);
    pos_ += n;
    return int(n);
  }
  void SendAll(const void*, int count) override {
    if (count < 4 || std::size_t(count) > 4 + kNapsterClientMaxText) __builtin_trap();
  }
  int DataAvailable() override {
    if (pos_ >= in_.size()) throw EEasySocketClose(0, nullptr);
    return int(in_.size() - pos_);
  }
  bool Connected() override { return !closed_; }
  void CloseConnection() override { closed_ = true; }
  void CallBack(const std::function<void()>& fn) override { fn(); }
  void Pause(int) override {}
  int IcmpBase(const std::string&) override { return 120; }

 private:
  std::string in_;
  std::size_t pos_ = 0;
  bool closed_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint8_t mode = data[0];
  if (mode & 1) {
    FuzzSession s(data + 1, size - 1);
    try {
      s.Run();
    } catch (const EEasySocketClose&) {
    }
    return 0;
  }
  FuzzSession s(nullptr, 0);
  s.Prime();
  s.SetFirewalled(mode & 2);
  uint16_t type = uint16_t(data[1] | (data[2] << 8));
  std::string text(reinterpret_cast<const char*>(data + 3), size - 3);
  s.Dispatch(type, text);
  s.Dispatch(type, text);  // a second time: cached ping times, repeated state
  return 0;
}
