// A scripted Duskwire peer for tests: connects to a node (optionally from a
// chosen 127.0.0.N address), sends requests, responses or raw bytes, and
// reads what the node sends, always with a time-out.
#pragma once
#include <string>

#include "peer/duskwire/duskwire.h"

class TDWHarnessPeer {
 public:
  explicit TDWHarnessPeer(const std::string& bindAddress = "");
  void Connect(const std::string& host, int port);  // raises ESocket
  // Bodies are given plain; the overlay's body transform is applied here.
  void SendRequest(const std::string& messageId, const std::string& routingInfo,
                   const std::string& to, const std::string& body, bool limited = false);
  void SendResponse(const std::string& messageId, const std::string& routingInfo,
                    const std::string& to, const std::string& body);
  void SendRaw(const std::string& bytes);
  // The next packet (body made plain again); false on time-out or close.
  bool Read(TDuskwirePacket& packet, std::string& body, int timeoutMs);
  // Reads and drops whatever comes until the node closes the connection:
  // true when it did within timeoutMs.
  bool WaitClosed(int timeoutMs);
  TDuskwire& Conn() { return conn_; }

 private:
  TDuskwire conn_;
};
