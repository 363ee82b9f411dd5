// A Napster-protocol test client: speaks raw frames to a server (the local
// gateway) over a socket, with time-outs on every read. It keeps every frame
// it read, so a test can check that nothing but whole, expected frames came.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/network_wrapper.h"
#include "peer/napster/napster_message.h"

class TNapsterTestClient {
 public:
  explicit TNapsterTestClient(const std::string& bindAddress = "");
  void Connect(const std::string& host, int port);  // raises ESocket
  // Sends one frame (texts up to 65535 bytes).
  void Send(uint16_t type, const std::string& text);
  void SendRaw(const std::string& bytes);
  // The next frame; false on time-out or when the server closed.
  bool Read(NapsterMessage& m, int timeoutMs);
  // Reads until a frame of this type arrives (others are kept too).
  bool WaitFor(uint16_t type, int timeoutMs, NapsterMessage* out = nullptr);
  // Reads everything until the server closes; true when it did in time.
  bool WaitClosed(int timeoutMs);
  bool Closed() const { return closed_; }
  void Close() { sock_.Close(); }
  // Every frame read so far, in order.
  const std::vector<NapsterMessage>& Received() const { return received_; }
  int CountOfType(uint16_t type) const;
  std::vector<NapsterMessage> OfType(uint16_t type) const;

 private:
  TSocket sock_;
  NapsterFrameReader reader_{0xFFFF};
  std::vector<NapsterMessage> received_;
  bool closed_ = false;
};
