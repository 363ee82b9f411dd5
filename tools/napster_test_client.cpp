#include "tools/napster_test_client.h"

#include "platform/clock.h"

TNapsterTestClient::TNapsterTestClient(const std::string& bindAddress) { sock_.SetBindAddress(bindAddress); }

void TNapsterTestClient::Connect(const std::string& host, int port) {
  sock_.SetTimeout(10);
  sock_.Connect(host, port);
}

void TNapsterTestClient::Send(uint16_t type, const std::string& text) {
  std::string frame;
  if (EncodeNapsterMessage(type, text, 0xFFFF, frame)) SendRaw(frame);
}

void TNapsterTestClient::SendRaw(const std::string& bytes) { sock_.WriteAll(bytes); }

bool TNapsterTestClient::Read(NapsterMessage& m, int timeoutMs) {
  const int64_t deadline = plat::MonotonicMs() + timeoutMs;
  for (;;) {
    if (reader_.Next(m) == NapsterFrameReader::Result::kMessage) {
      received_.push_back(m);
      return true;
    }
    if (closed_) return false;
    int64_t left = deadline - plat::MonotonicMs();
    if (left <= 0) return false;
    try {
      sock_.WaitReadable(int(left));
      char buf[8192];
      int n = sock_.Recv(buf, sizeof buf);
      if (n <= 0) {
        closed_ = true;
        continue;
      }
      reader_.Feed(buf, size_t(n));
    } catch (const ESocket& e) {
      if (e.Code == kNetTimeout) return false;
      closed_ = true;
    }
  }
}

bool TNapsterTestClient::WaitFor(uint16_t type, int timeoutMs, NapsterMessage* out) {
  const int64_t deadline = plat::MonotonicMs() + timeoutMs;
  NapsterMessage m;
  for (;;) {
    int64_t left = deadline - plat::MonotonicMs();
    if (left <= 0 || !Read(m, int(left))) return false;
    if (m.Type == type) {
      if (out) *out = m;
      return true;
    }
  }
}

bool TNapsterTestClient::WaitClosed(int timeoutMs) {
  const int64_t deadline = plat::MonotonicMs() + timeoutMs;
  NapsterMessage m;
  while (!closed_) {
    int64_t left = deadline - plat::MonotonicMs();
    if (left <= 0) return false;
    Read(m, int(left));
  }
  while (reader_.Next(m) == NapsterFrameReader::Result::kMessage) received_.push_back(m);
  return true;
}

int TNapsterTestClient::CountOfType(uint16_t type) const {
  int n = 0;
  for (const NapsterMessage& m : received_) n += m.Type == type;
  return n;
}

std::vector<NapsterMessage> TNapsterTestClient::OfType(uint16_t type) const {
  std::vector<NapsterMessage> out;
  for (const NapsterMessage& m : received_)
    if (m.Type == type) out.push_back(m);
  return out;
}
